// sightd: the device service. Brings the services up in a fixed order,
// idles until the lifecycle coordinator sets the quit flag, then stops
// everything in a fixed order. Signals only ask the coordinator to stop.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <iniparser.h>

#include "ballistic_dynamic_bc.h"
#include "ballistic_thread.h"
#include "bccal.h"
#include "fpga.h"
#include "i2c_ms1100.h"
#include "iniparser_handler.h"
#include "laser.h"
#include "msg_media.h"
#include "notifier.h"
#include "qel_compass.h"
#include "qel_dev_status.h"
#include "qel_irsearch.h"
#include "qel_key.h"
#include "qel_other.h"
#include "qel_wifi.h"
#include "upper.h"
#include "version.h"
#include "vesk_debug_app.h"
#include "vesk_lifecycle.h"
#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_msg_hooks.h"
#include "vesk_persist.h"
#include "vesk_signal.h"
#include "vesk_update.h"

#define PERSIST_STOP_LIMIT_MS 2000
#define SHOT_VIDEO_DELAY_MS 5000

static event_handle *main_bus;
static event_handle *app_bus;

/* Formatting the Media partition and installing an update run inside the
 * persistence commit of their lifecycle request. */
static const vesk_persist_hooks persist_hooks = {vesk_lifecycle_format_media, vesk_lifecycle_install_update, NULL};

/* What the lifecycle coordinator calls outside itself; an empty entry makes
 * the system call itself (power-off, reboot) or is skipped. */
static const vesk_lifecycle_calls lifecycle_calls = {
    Power_Off,
    NULL, /* reboot */
    vesk_other_cancel_factory_state,
    vesk_update_note_result,
    vesk_update_media_ready,
    vesk_update_unpack,
    sendResultToHTTP,
};

/* The router's low-battery and low-temperature requests. */
static void request_lifecycle_kind(int kind)
{
    vesk_persist_request request;
    memset(&request, 0, sizeof request);
    request.vesk_reason = (vesk_persist_reason)kind;
    (void)vesk_lifecycle_request(&request);
}

/* The update watcher asks the coordinator for the install and tells the
 * phone side the free space. */
static const vesk_update_calls update_calls = {vesk_lifecycle_request, sendResultToHTTP};

static vesk_persist_profiles profiles;

/* The hold-over the phone computed, after its profiles were applied. */
static void show_phone_result(void) { set_ballistics_result_from_mobile_app(&g_ballistics_result); }

/* The phone's calls into the exchange files, the update watcher and the
 * ballistic results. */
static const vesk_irsearch_calls irsearch_calls = {
    http_send_bccal_read,
    bccal_save_4http,
    vesk_update_publish_storage,
    show_phone_result,
};

/* The calls the boot push and the command router make into modules. */
static const vesk_msg_hooks msg_hooks = {
    fpga_uart_ready,
    fpga_version_ready,
    ir_self_inspection,
    ir_setAutoShutterClose,
    ir_save_config,
    sendCmdDataSetScene,
    vesk_lifecycle_publish_boot_state,
    request_lifecycle_kind,
    vesk_debug_app_handle_ui,
    vesk_debug_app_publish,
    vesk_dynamic_bc_handle_ui,
    vesk_dynamic_bc_publish,
};

/* Persistence could not start: the built-in defaults of every section. */
static void load_builtin_defaults(void)
{
    dictionary *empty = dictionary_new(0);
    if (empty == NULL) {
        fputs("main: dictionary_new failed; qel_dev_status stays zeroed\n", stderr);
        return;
    }
    tevi_ini_ir_callback(empty, &qel_dev_status);
    tevi_ini_reticle_callback(empty, &qel_dev_status);
    tevi_ini_compass_callback(empty, &qel_dev_status);
    tevi_ini_devinfo_callback(empty, &qel_dev_status);
    tevi_ini_callback(empty, &qel_dev_status);
    dictionary_del(empty);
}

static void start_persistence(void)
{
    memset(&profiles, 0, sizeof profiles);
    /* The stored debug setting switches the calculator's log as well. */
    vesk_ini_set_debug_apply(vesk_debug_app_apply);
    vesk_ini_register_persist();
    int rc = vesk_persist_start(NULL, &persist_hooks, &qel_dev_status, &profiles);
    vesk_lifecycle_note_boot(rc);
    if (rc != 0) {
        fprintf(stderr, "main: vesk_persist_start failed (%d); continuing boot with built-in vendor defaults\n", rc);
        load_builtin_defaults();
    }
    qel_ballistics = profiles.vesk_ballistics;
    qel_ir_cursor = profiles.vesk_cursor;

    /* The reticle starts where zero point 0 of the current group puts it. */
    const unsigned group = qel_ir_cursor.u8CurrentGroup < VESK_PROFILE_COUNT ? qel_ir_cursor.u8CurrentGroup : 0;
    const Qel_Cursor_Zero *zero = &qel_ir_cursor.group[group].zero[0];
    qel_dev_status.s16ReticlePositionX = zero->s8IrCursorCurrentX;
    qel_dev_status.s16ReticlePositionY = zero->s8IrCursorCurrentY;
    qel_dev_status.f32ReticleOffsetX = zero->flIrCursorOffsetX;
    qel_dev_status.f32ReticleOffsetY = zero->flIrCursorOffsetY;
    qel_dev_status.s16ReticlePositionXMedia = qel_dev_status.s16ReticlePositionX;
    qel_dev_status.s16ReticlePositionYMedia = qel_dev_status.s16ReticlePositionY;
    qel_dev_status.f32ReticleOffsetXMedia = qel_dev_status.f32ReticleOffsetX;
    qel_dev_status.f32ReticleOffsetYMedia = qel_dev_status.f32ReticleOffsetY;
}

static void start_modules(void)
{
    (void)notifier_init(&main_bus, &app_bus);
    vesk_msg_set_hooks(&msg_hooks);
    Qel_FpgaInit("/dev/ttyS4", main_bus, app_bus);
    if (Qel_MsgEvent_Init(main_bus) != 0)
        fputs("main: Qel_MsgEvent_Init failed, GUI/HTTP/BLE commands will not be received\n", stderr);
    vesk_irsearch_set_calls(&irsearch_calls);
    Qel_IRSearchInit(main_bus, app_bus);
    Qel_OtherInit(main_bus, app_bus);
    Qel_Media_Param_Send_Quick(app_bus);
    i2c_Ms1100Init("/dev/i2c-3", main_bus);
    Qel_KeyInit(main_bus);
    Qel_CompassInit("/dev/ttyS6", main_bus, app_bus);
    Qel_LaserInit("/dev/ttyS5", main_bus, app_bus);
    Qel_Ui_Param_Send(app_bus);
    Qel_BallisticsInit(main_bus, app_bus);
    Qel_WifiInit(app_bus);
    Qel_BluetoothInit(app_bus);
    /* A new serial number renames the access point. */
    vesk_upper_set_sn_hook(_setWiFiSSIDBySN);
    Qel_UpperComputerInit(VESK_UPPER_DEVICE, main_bus, app_bus);
    vesk_update_set_calls(&update_calls);
    if (Qel_UpgradeInit(main_bus, app_bus) != 0)
        vesk_log_printf(VESK_LOG_ERROR, "main", "Qel_UpgradeInit failed: no update from Media this run");
    capabilitySetInit();
    Power_Ctrl_UART(access(POWER_UART_SWITCH_FILE, F_OK) == 0 ? 2 : 0);
}

/* The media process takes the shot-video setting once its pipeline is up. */
static void send_shot_video_setting(void)
{
    for (int waited = 0; waited < SHOT_VIDEO_DELAY_MS && is_signal_exit() != 1; waited += 100) usleep(100 * 1000);
    if (is_signal_exit() == 1) return;
    shotVideo_MsgTextSend(0, qel_dev_status.s8ShotVideoSwitch);
    sendShotVideoReadyToUI();
}

static void stop_modules(void)
{
    Qel_laserExit();
    Qel_UpperComputerExit();
    Qel_WifiExit();
    vesk_update_stop();
    Qel_MsgEvent_Deinit();
    Qel_FpgaExit();
    Qel_KeyExit();
    i2c_Ms1100Deinit();
    Qel_CompassExit();
    Qel_BallisticsExit();
    Qel_OtherExit();
    notifier_unregister(main_bus);
    event_destroy(&main_bus);
    event_destroy(&app_bus);
}

int main(int argc, char **argv)
{
    if (vesk_log_start(VESK_LOG_APP, NULL) != 0) {
        fputs("main: vesk_log_start failed\n", stderr);
        return 1;
    }
    version_info_init(argc, argv);
    signal_init();
    /* The rangefinder's serial power stays off until its module starts. */
    Power_Ctrl_IO(VESK_BOARD_HW_REQUEST(VESK_BOARD_HW_LRF_SERIAL_POWER), 0);
    start_persistence();

    vesk_lifecycle_set_calls(&lifecycle_calls);
    if (vesk_lifecycle_start() != 0) {
        fputs("main: vesk_lifecycle_start failed\n", stderr);
        return 1;
    }
    start_modules();
    send_shot_video_setting();

    while (is_signal_exit() != 1) sleep(1);

    stop_modules();
    vesk_lifecycle_stop();
    vesk_persist_stop(PERSIST_STOP_LIMIT_MS);
    vesk_log_stop();
    return 0;
}
