#include "qel_wifi.h"

#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "iniparser_handler.h"
#include "qel_dev_status.h"
#include "qel_other.h"
#include "qel_wifi_internal.h"
#include "vesk_frame.h"
#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_persist.h"
#include "vesk_signal.h"

#define WIFI_TAG "wifi"
#define WIFI_CYCLE_MS 200
#define WIFI_STEP_MS 1000
#define WIFI_DRIVER_MS 3000

#define WIFI_INSMOD                                                                                                    \
    "insmod /mod/bcmdhd.ko \"firmware_path=/etc/wifi/fw_bcm43438a1.bin nvram_path=/etc/wifi/nvram_ap6212a.txt\""
#define WIFI_HOSTAPD "hostapd /etc/wifi/hostapd_wpa2.conf &"
#define WIFI_ADDRESS "ifconfig wlan0 192.168.11.123"
#define WIFI_UDHCPD "udhcpd -S /etc/wifi/udhcpd.conf &"
#define WIFI_DOWN "ifconfig wlan0 down"
#define WIFI_KILL_UDHCPD "kill -9 $(pidof udhcpd)"
#define WIFI_KILL_HOSTAPD "kill -9 $(pidof hostapd)"
#define WIFI_COUNT_HOSTAPD "ps -A | grep hostapd | grep -v grep | wc -l"
#define WIFI_LEASES "/var/udhcpd.leases"
#define WIFI_MAC "cat /sys/class/net/wlan0/address"

enum { WIFI_RESULT_SSID = 1, WIFI_RESULT_PASSWORD = 3 };
enum { WIFI_CODE_OPEN = 0, WIFI_CODE_CONNECT = 7, WIFI_CODE_END = 255 };
enum { WIFI_ITEM_NAME = 5 };

/* ---- the board's calls ---------------------------------------------------- */

static int board_run(const char *command) { return system(command); }

static int board_read_line(const char *command, char *line, size_t size)
{
    FILE *p = popen(command, "r");
    if (p == NULL) return -1;
    line[0] = '\0';
    int rc = fgets(line, (int)size, p) != NULL ? 0 : -1;
    pclose(p);
    line[strcspn(line, "\n")] = '\0';
    return rc == 0 && line[0] != '\0' ? 0 : -1;
}

static pthread_mutex_t wake_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t wake_cond;
static pthread_once_t wake_once = PTHREAD_ONCE_INIT;
static int wake_stop;

static void wake_init(void)
{
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&wake_cond, &attr);
    pthread_condattr_destroy(&attr);
}

/* The waits between daemon steps end early at shutdown, so the exit's join
 * never sits out a restart. */
static void board_sleep_ms(unsigned ms)
{
    pthread_once(&wake_once, wake_init);
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += (long)(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&wake_lock);
    while (!wake_stop && pthread_cond_timedwait(&wake_cond, &wake_lock, &until) == 0) {}
    pthread_mutex_unlock(&wake_lock);
}

static int board_stage(const char *ssid, const char *passphrase, uint64_t *out_generation)
{
    int rc = vesk_persist_edit_begin();
    if (rc != 0) return rc;
    rc = vesk_persist_stage_wifi(ssid, passphrase, out_generation);
    vesk_persist_edit_end();
    return rc;
}

static uint64_t board_durable(void)
{
    vesk_persist_status status;
    if (vesk_persist_get_status(&status) != 0) return 0;
    return status.vesk_durable[VESK_PERSIST_WIFI];
}

static const vesk_wifi_ops board_ops = {
    board_run, board_read_line, board_sleep_ms, board_stage, vesk_persist_get_wifi, board_durable,
};

/* ---- module state ---------------------------------------------------------- */

static const vesk_wifi_ops *ops = &board_ops;
/* Written by the app-bus thread (phone, GUI), the PC-link thread and the
 * watch thread; plain values, as a lost update only costs one cycle. */
static volatile uint64_t g_wifi_last_accepted_gen;
static volatile uint64_t g_wifi_last_applied_gen;
static volatile int g_wifi_ap_started;
static volatile int need_reboot_wifi;
static int previous_switch;

static pthread_t watch_thread;
static int watch_started;

void vesk_wifi_set_ops(const vesk_wifi_ops *test_ops)
{
    ops = test_ops != NULL ? test_ops : &board_ops;
    g_wifi_last_accepted_gen = 0;
    g_wifi_last_applied_gen = 0;
    g_wifi_ap_started = 0;
    need_reboot_wifi = 0;
    previous_switch = 0;
}

void vesk_wifi_get_state(vesk_wifi_state *out)
{
    out->last_accepted_gen = g_wifi_last_accepted_gen;
    out->last_applied_gen = g_wifi_last_applied_gen;
    out->ap_started = g_wifi_ap_started;
    out->need_reboot = need_reboot_wifi;
    out->previous_switch = previous_switch;
}

/* ---- name and passphrase --------------------------------------------------- */

int vesk_wifi_text_ok(const char *text, unsigned min, unsigned max)
{
    if (text == NULL) return 0;
    size_t n = strnlen(text, (size_t)max + 1);
    if (n < min || n > max) return 0;
    for (size_t i = 0; i < n; i++)
        if ((unsigned char)text[i] < 0x20 || (unsigned char)text[i] > 0x7E) return 0;
    return 1;
}

static int stage(const char *ssid, const char *passphrase)
{
    uint64_t generation = 0;
    int rc = ops->vesk_stage(ssid, passphrase, &generation);
    if (rc == 0) g_wifi_last_accepted_gen = generation;
    return rc;
}

static int _setWiFiSSID(const char *ssid) { return stage(ssid, NULL); }

static int _SetWiFiPassphrase(const char *passphrase) { return stage(NULL, passphrase); }

/* The rows both values share; the messages are the ones the field tools
 * grep for. */
typedef struct {
    char *field;
    unsigned min, max;
    int (*stage)(const char *value);
    const char *same, *bad, *rejected, *done;
    int show_value; /* the name is printed, the passphrase only counted */
} wifi_value;

static const wifi_value wifi_ssid_value = {
    qel_dev_status.wifi_ssid,
    WIFI_SSID_MIN,
    WIFI_SSID_MAX,
    _setWiFiSSID,
    "modifyWifiSSID: %s finish\n",
    "modifyWifiSSID: error length!\n",
    "modifyWifiSSID: rejected, rc=%d\n",
    NULL,
    1,
};

static const wifi_value wifi_password_value = {
    qel_dev_status.wifi_password,
    WIFI_PASSWORD_MIN,
    WIFI_PASSWORD_MAX,
    _SetWiFiPassphrase,
    "wifiSetPassword: finish, len=%d\n",
    "wifiSetPassword: error length!\n",
    "wifiSetPassword: rejected, rc=%d\n",
    "wifiSetPassword: finish, len=%d\n",
    0,
};

static int set_value(const wifi_value *v, const char *value)
{
    const size_t cap = sizeof qel_dev_status.wifi_ssid;
    if (value == NULL) value = "";
    /* The value becomes a line of the daemon's configuration: a line end or
     * any other control byte in it would start a line of its own. An empty value never
     * counts as the one already set. */
    if (!vesk_wifi_text_ok(value, v->min, v->max)) {
        printf("%s", v->bad);
        vesk_log_printf(VESK_LOG_ERROR, WIFI_TAG, "refused a %s of %zu bytes (length %u..%u, printable only)",
                        v->show_value ? "name" : "passphrase", strnlen(value, cap), v->min, v->max);
        return -1;
    }
    if (strncmp(value, v->field, cap) == 0) {
        if (v->show_value)
            printf(v->same, value);
        else
            printf(v->same, (int)strlen(value));
        return 0;
    }
    int rc = v->stage(value);
    if (rc != 0) {
        printf(v->rejected, rc);
        return rc;
    }
    snprintf(v->field, cap, "%s", value);
    if (v->done != NULL) printf(v->done, (int)strlen(value));
    if (qel_dev_status.s8WiFiSwitch) need_reboot_wifi = 1;
    /* The GUI's main menu shows the name the access point comes up with. */
    if (v->field == qel_dev_status.wifi_ssid) make_wifiSsid(qel_dev_status.wifi_ssid);
    return 0;
}

int wifiSetSSID(const char *ssid) { return set_value(&wifi_ssid_value, ssid); }

int wifiSetPassword(const char *password) { return set_value(&wifi_password_value, password); }

int make_wifiSsid(const char *ssid)
{
    uint8_t frame[VESK_FRAME_BUILD_MAX];
    const size_t n = strnlen(ssid, sizeof qel_dev_status.wifi_ssid);
    size_t size = vesk_frame_build(frame, sizeof frame, SUB_NOTIFIER_WIFI, WIFI_ITEM_NAME, VESK_FRAME_NONE,
                                   VESK_FRAME_FLAG_REPORT, ssid, n);
    if (size == 0) return -1;
    printf("make_wifiSsid: ssid = %s, len = %d\n", ssid, (int)n);
    return Msgtext_App_To_Ui(MSGQ_COMMAND_APP_TO_UI, (uint32_t)size, frame) == 1 ? 0 : -1;
}

static void load_stored(vesk_persist_wifi *stored)
{
    memset(stored, 0, sizeof *stored);
    if (ops->vesk_stored(stored) != 0) memset(stored, 0, sizeof *stored);
    stored->vesk_ssid[sizeof stored->vesk_ssid - 1] = '\0';
    stored->vesk_password[sizeof stored->vesk_password - 1] = '\0';
}

int wifiGetSSID(void)
{
    vesk_persist_wifi stored;
    load_stored(&stored);
    memcpy(qel_dev_status.wifi_ssid, stored.vesk_ssid, sizeof qel_dev_status.wifi_ssid);
    if (qel_dev_status.wifi_ssid[0] != '\0') {
        printf("wifiGetSSID: wifi_ssid is %s\n", qel_dev_status.wifi_ssid);
        make_wifiSsid(qel_dev_status.wifi_ssid);
        sendResultToHTTP(WIFI_RESULT_SSID, (const uint8_t *)qel_dev_status.wifi_ssid, strlen(qel_dev_status.wifi_ssid));
    }
    return 0;
}

int wifiGetPassword(void)
{
    vesk_persist_wifi stored;
    load_stored(&stored);
    memcpy(qel_dev_status.wifi_password, stored.vesk_password, sizeof qel_dev_status.wifi_password);
    const size_t n = strlen(qel_dev_status.wifi_password);
    printf("wifiGetPassword: pass retrieved, len=%d\n", (int)n);
    sendResultToHTTP(WIFI_RESULT_PASSWORD, (const uint8_t *)qel_dev_status.wifi_password, n);
    return 0;
}

int _setWiFiSSIDBySN(void)
{
    char name[sizeof qel_dev_status.wifi_ssid];
    vesk_other_reset_ssid(qel_dev_status.sn, name, sizeof name);
    if (strncmp(name, qel_dev_status.wifi_ssid, sizeof name) == 0) return 0;
    int rc = _setWiFiSSID(name);
    if (rc != 0) {
        /* A busy store is asked again by the watcher; anything else is a
         * refusal worth a line. */
        if (rc != -EBUSY) vesk_log_printf(VESK_LOG_ERROR, WIFI_TAG, "default name %s not staged rc=%d", name, rc);
        return rc;
    }
    snprintf(qel_dev_status.wifi_ssid, sizeof qel_dev_status.wifi_ssid, "%s", name);
    if (qel_dev_status.s8WiFiSwitch) need_reboot_wifi = 1;
    /* A unit's first name is this default: without the report the GUI's
     * main menu would show no name for the access point it starts. */
    make_wifiSsid(qel_dev_status.wifi_ssid);
    return 0;
}

int setWiFiSSIDByDefault(void)
{
    vesk_persist_wifi stored;
    load_stored(&stored);
    if (stored.vesk_ssid[0] != '\0') return 0;
    return _setWiFiSSIDBySN();
}

int vesk_wifi_durable_ready(void) { return ops->vesk_durable() >= g_wifi_last_accepted_gen; }

/* ---- the daemons ------------------------------------------------------------ */

static void run_step(const char *command, unsigned wait_ms)
{
    (void)ops->vesk_run(command);
    if (wait_ms) ops->vesk_sleep_ms(wait_ms);
}

static int isMacExist(void)
{
    char buf[sizeof qel_dev_status.mac];
    if (ops->vesk_read_line(WIFI_MAC, buf, sizeof buf) != 0) buf[0] = '\0';
    printf("getMac: buf = %s\n", buf);
    if (buf[0] == '\0') return 0;
    snprintf(qel_dev_status.mac, sizeof qel_dev_status.mac, "%s", buf);
    return 1;
}

static void load_driver(void) { run_step(WIFI_INSMOD, WIFI_DRIVER_MS); }

static void _setWifi_disable(void)
{
    run_step(WIFI_DOWN, WIFI_STEP_MS);
    run_step(WIFI_KILL_UDHCPD, WIFI_STEP_MS);
    run_step(WIFI_KILL_HOSTAPD, WIFI_STEP_MS);
    char count[32];
    int running = ops->vesk_read_line(WIFI_COUNT_HOSTAPD, count, sizeof count) == 0 ? atoi(count) : 0;
    printf("Qel_SetWiFi: _setWifi_disable isRunning = %d\n", running);
    if (running > 0) {
        printf("_setWifi_disable: hostapd is running, and try again.\n");
        run_step(WIFI_KILL_HOSTAPD, WIFI_STEP_MS);
    }
    if (access(WIFI_LEASES, F_OK) == 0) run_step("rm " WIFI_LEASES, WIFI_STEP_MS);
    g_wifi_ap_started = 0;
}

/* 1 when the configuration the daemons were started with is the newest. */
static int _setWifi_enable(void)
{
    const uint64_t generation = g_wifi_last_accepted_gen;
    if (ops->vesk_durable() < generation) return 0;
    if (g_wifi_ap_started) _setWifi_disable();
    if (!isMacExist()) load_driver();
    run_step(WIFI_HOSTAPD, WIFI_STEP_MS);
    g_wifi_ap_started = 1;
    run_step(WIFI_ADDRESS, WIFI_STEP_MS);
    run_step(WIFI_UDHCPD, WIFI_STEP_MS);
    g_wifi_last_applied_gen = generation;
    return generation == g_wifi_last_accepted_gen;
}

static int _setWifi_reboot(void)
{
    _setWifi_disable();
    return _setWifi_enable();
}

/* Set while the default name waits for a store that was busy saving (on a
 * first boot, the files that boot makes): each cycle asks again, so the
 * name is kept on this boot rather than the next. */
static int default_name_pending;

void vesk_wifi_watch_begin(void)
{
    wifiGetSSID();
    if (!isMacExist()) load_driver();
    /* A unit that never had a name gets the default one before its access
     * point first comes up, whether or not the driver was loaded already. */
    default_name_pending = setWiFiSSIDByDefault() == -EBUSY;
}

void vesk_wifi_watch_cycle(void)
{
    if (default_name_pending) default_name_pending = setWiFiSSIDByDefault() == -EBUSY;
    const int now = qel_dev_status.s8WiFiSwitch;
    if (now != previous_switch) {
        printf("wifi switch changed %d\n", now);
        if (now == 0) {
            _setWifi_disable();
            previous_switch = 0;
            need_reboot_wifi = 0;
        } else if (vesk_wifi_durable_ready() && _setWifi_enable() == 1) {
            previous_switch = now;
            need_reboot_wifi = 0;
        }
        return;
    }
    if (!need_reboot_wifi) return;
    if (now == 0)
        need_reboot_wifi = 0;
    else if (vesk_wifi_durable_ready() && _setWifi_reboot() == 1)
        need_reboot_wifi = 0;
}

static void *PthreadWifiChangeEvent(void *unused)
{
    (void)unused;
    vesk_wifi_watch_begin();
    while (is_signal_exit() != 1) {
        vesk_wifi_watch_cycle();
        pthread_mutex_lock(&wake_lock);
        int stop = wake_stop;
        pthread_mutex_unlock(&wake_lock);
        if (stop) break;
        ops->vesk_sleep_ms(WIFI_CYCLE_MS);
    }
    return NULL;
}

/* ---- GUI frames ---------------------------------------------------------------- */

static void wifiOpen(uint8_t value)
{
    qel_dev_status.s8WiFiSwitch = (char)value;
    Qel_DevStatusSet("s8WiFiSwitch", value, 0);
}

static void wifiConnect(uint8_t value) { (void)value; }

static const struct {
    int code;
    void (*run)(uint8_t value);
} wifi_handler[] = {
    {WIFI_CODE_OPEN, wifiOpen},
    {WIFI_CODE_CONNECT, wifiConnect},
    {WIFI_CODE_END, NULL},
};

void msg_WifiHandler(const uint8_t *frame, int size)
{
    /* Byte 6 is the argument only when the frame carries one; without it,
     * byte 6 is the checksum. */
    if (frame == NULL || size < VESK_FRAME_OVERHEAD + 1) return;
    for (int i = 0; wifi_handler[i].code != WIFI_CODE_END; i++)
        if (wifi_handler[i].code == frame[VESK_FRAME_OFF_SUB]) wifi_handler[i].run(frame[VESK_FRAME_OFF_PAYLOAD]);
}

void notifier_wifi(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    if (evtype != SUB_NOTIFIER_WIFI || evdata == NULL) return;
    msg_WifiHandler((const uint8_t *)evdata, size);
}

int Qel_WifiInit(event_handle *app_bus)
{
    if (event_receive_register(app_bus, notifier_wifi, NULL) != 0) {
        printf("notifier_wifi faild\n");
        return -1;
    }
    pthread_mutex_lock(&wake_lock);
    wake_stop = 0;
    pthread_mutex_unlock(&wake_lock);
    if (pthread_create(&watch_thread, NULL, PthreadWifiChangeEvent, NULL) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, WIFI_TAG, "watch thread not created; the access point stays off");
        return -1;
    }
    watch_started = 1;
    printf("%s End\n", "Qel_WifiInit");
    return 0;
}

void Qel_WifiExit(void)
{
    if (!watch_started) return;
    pthread_once(&wake_once, wake_init);
    pthread_mutex_lock(&wake_lock);
    wake_stop = 1;
    pthread_cond_broadcast(&wake_cond);
    pthread_mutex_unlock(&wake_lock);
    pthread_join(watch_thread, NULL);
    watch_started = 0;
}
