#include "qel_key.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include "vesk_board.h"
#include "vesk_signal.h"
#include "vesk_worker.h"

#define KEY_BUS_TIMEOUT_MS 100
#define KEY_WAIT_MS 1000
#define KEY_DOUBLE_TICK_MS 10
#define KEY_DOUBLE_WINDOW_MS 401 /* a second short release sooner than this is a double press */
#define KEY_DOUBLE_TICKS 40      /* ticks a single short press waits for a second one */
#define KEY_COMB_STEP_MS 200     /* what each matching event adds to a timed combination */
#define KEY_LONG_REPEATS 3
#define KEY_BITMAP_BYTES 96 /* EV_KEY capability bitmap (KEY_MAX bits) */

const combk_t combkey_table[COMBKEY_ROWS] = {
    {9, 2, {KEY_CODE_LEFT, KEY_CODE_RIGHT}, 5000},
    {10, 2, {KEY_CODE_LEFT, KEY_CODE_DOWN}, -1},
    {11, 3, {KEY_CODE_UP, KEY_CODE_MIDDLE, KEY_CODE_DOWN}, -1},
};

volatile int g_key_power_state;

static struct {
    key_state_table *table;
    int key_num;
    event_handle *bus;
    int double_ticks;
} machine;

static vesk_worker key_worker = VESK_WORKER_INIT;
/* The power-key thread sleeps here while no short press of the power key
 * waits for a second one, so an idle scope is not woken every tick. */
static pthread_mutex_t power_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t power_pending = PTHREAD_COND_INITIALIZER;
static int key_fd = -1;
static pthread_t key_thread, double_thread;
static int key_thread_started, double_thread_started;

static void key_report(int code, int kind, int twice)
{
    const uint8_t ev[KEY_REPORT_SIZE] = {7, (uint8_t)code, (uint8_t)kind, (uint8_t)twice, 0};
    if (machine.bus != NULL) event_broadcast_send(machine.bus, 1, ev, sizeof ev, KEY_BUS_TIMEOUT_MS);
}

void vesk_key_bind(key_state_table *table, int key_num, event_handle *bus)
{
    machine.table = table;
    machine.key_num = key_num;
    machine.bus = bus;
    machine.double_ticks = 0;
    g_key_power_state = 0;
}

int SetAutorepatTime(int fd)
{
    unsigned int rep[2] = {KEY_AUTOREPEAT_DELAY_MS, KEY_AUTOREPEAT_PERIOD_MS};
    int rc = vesk_board_ioctl(fd, EVIOCSREP, rep);
    if (rc < 0) printf("Don't support autorep or set failed\n");
    return rc;
}

int GetKeyNum(int fd, key_state_table *table)
{
    unsigned char bits[KEY_BITMAP_BYTES];
    memset(bits, 0, sizeof bits);
    if (vesk_board_ioctl(fd, EVIOCGBIT(EV_KEY, sizeof bits), bits) < 0) {
        printf("EVIOCGBIT failed\n");
        return 0;
    }
    int n = 0;
    for (int code = 0; code < KEY_BITMAP_BYTES * 8; code++) {
        if (!(bits[code / 8] & (1u << (code % 8)))) continue;
        if (table != NULL) {
            key_state_table *e = &table[n];
            e->key_code = code;
            e->need_double = code == KEY_CODE_POWER;
            e->key_state = 0;
            e->key_long_repet = 0;
            e->has_combkey = 0;
        }
        n++;
    }
    return n;
}

void CombKey_Init(key_state_table *table, int key_num)
{
    for (int k = 0; k < key_num; k++) {
        key_state_table *e = &table[k];
        for (const combk_t &row : combkey_table) {
            for (int m = 0; m < row.key_num; m++) {
                if (row.key_code[m] != e->key_code || e->has_combkey >= KEY_COMB_SLOTS) continue;
                combkey_info *slot = &e->combkey_info[(int)e->has_combkey];
                slot->time_ms = row.time_ms;
                slot->combkey_value = row.key_value;
                slot->combkey_num = row.key_num;
                memcpy(slot->combkey_code, row.key_code, sizeof slot->combkey_code);
                e->time_count = 0;
                e->has_combkey++;
            }
        }
    }
}

static key_state_table *key_entry(key_state_table *table, int key_num, int code)
{
    for (int k = 0; k < key_num; k++)
        if (table[k].key_code == code) return &table[k];
    return NULL;
}

int Check_Combkey(key_state_table *table, int key_num, key_state_table *entry)
{
    const combkey_info *best = NULL;
    for (int c = 0; c < entry->has_combkey; c++) {
        const combkey_info *info = &entry->combkey_info[c];
        int all = 1;
        for (int m = 0; m < info->combkey_num && all; m++) {
            const key_state_table *member = key_entry(table, key_num, info->combkey_code[m]);
            all = member != NULL && member->key_state != 0;
        }
        if (all && (best == NULL || info->combkey_num > best->combkey_num)) best = info;
    }
    if (best == NULL) return 0;
    entry->combkey_value = best->combkey_value;
    entry->time_ms = best->time_ms;
    return 1;
}

static const combkey_info *comb_of(const key_state_table *entry, int value)
{
    for (int c = 0; c < entry->has_combkey; c++)
        if (entry->combkey_info[c].combkey_value == value) return &entry->combkey_info[c];
    return NULL;
}

/* After a combination: its keys go up again, except one other key that is
 * held, whose own release after a long press is still to come. */
static void comb_release_members(key_state_table *entry)
{
    const int value = entry->combkey_value;
    const combkey_info *info = comb_of(entry, value);
    for (int k = 0; k < machine.key_num; k++) {
        key_state_table *e = &machine.table[k];
        int member = e->combkey_value == value;
        for (int m = 0; info != NULL && m < info->combkey_num && !member; m++)
            member = info->combkey_code[m] == e->key_code;
        if (!member) continue;
        if (e != entry && e->key_state == 2) continue;
        printf("send after find key %d combkey_value = %d\n", e->key_code, value);
        e->key_state = 0;
        e->key_long_repet = 0;
        if (e != entry) e->combkey_value = 0;
    }
    entry->combkey_value = 0;
    entry->time_count = 0;
}

static void key_combination(key_state_table *entry, int value)
{
    int send = entry->time_ms < 0;
    if (!send) {
        entry->time_count += KEY_COMB_STEP_MS;
        send = entry->time_count >= entry->time_ms;
    }
    if (send) {
        entry->time_count = 0;
        key_report(entry->combkey_value, KEY_KIND_COMB, 0);
    }
    /* A release ends the combination whether or not it was reported; a
     * fresh hold then counts from 0 again. */
    if (send || value == 0) comb_release_members(entry);
}

static void wake_power_thread(void)
{
    pthread_mutex_lock(&power_lock);
    pthread_cond_signal(&power_pending);
    pthread_mutex_unlock(&power_lock);
}

static void key_power_short(key_state_table *entry, uint64_t now_ms)
{
    if (g_key_power_state == 0) {
        g_key_power_state = 1;
        wake_power_thread();
    } else if (g_key_power_state == 1 && now_ms - entry->last_timestamp < KEY_DOUBLE_WINDOW_MS) {
        printf("KeyRepValueFunc: double short\n");
        g_key_power_state = 2;
    }
    entry->last_timestamp = now_ms;
}

void KeyRepValueFunc(const struct input_event *ev, uint64_t now_ms)
{
    key_state_table *entry = machine.table ? key_entry(machine.table, machine.key_num, ev->code) : NULL;
    if (entry == NULL) {
        printf("unknow error!\n");
        return;
    }
    if (entry->has_combkey && Check_Combkey(machine.table, machine.key_num, entry)) {
        key_combination(entry, ev->value);
        return;
    }
    switch (ev->value) {
    case 1:
        entry->key_state = 1;
        break;
    case 2:
        if (entry->key_state == 1) entry->key_state = 2;
        if (entry->key_state == 2 && entry->key_long_repet < KEY_LONG_REPEATS) {
            entry->key_long_repet++;
            if (entry->key_long_repet == KEY_LONG_REPEATS) key_report(entry->key_code, KEY_KIND_LONG, 0);
        }
        break;
    case 0:
        if (entry->key_state == 1) {
            if (entry->need_double)
                key_power_short(entry, now_ms);
            else
                key_report(entry->key_code, KEY_KIND_SHORT, 0);
        } else if (entry->key_state == 2) {
            key_report(entry->key_code, KEY_KIND_LONG_RELEASE, 0);
        }
        entry->key_state = 0;
        entry->key_long_repet = 0;
        break;
    default:
        break;
    }
}

void vesk_key_double_tick(void)
{
    const int state = g_key_power_state;
    if (state != 1 && state != 2) {
        machine.double_ticks = 0;
        return;
    }
    machine.double_ticks++;
    if (state == 2) {
        printf("PthreadKeyDouble: wait 400ms, double short\n");
        key_report(KEY_CODE_POWER, KEY_KIND_SHORT, 1);
    } else if (machine.double_ticks > KEY_DOUBLE_TICKS) {
        printf("PthreadKeyDouble: wait 400ms, one short\n");
        key_report(KEY_CODE_POWER, KEY_KIND_SHORT, 0);
    } else {
        return;
    }
    g_key_power_state = 0;
    machine.double_ticks = 0;
}

void vesk_key_feed(vesk_key_reader *reader, const void *bytes, size_t n, uint64_t now_ms)
{
    const unsigned char *p = (const unsigned char *)bytes;
    while (n > 0) {
        size_t take = sizeof reader->buf - reader->used;
        if (take > n) take = n;
        memcpy(reader->buf + reader->used, p, take);
        reader->used += take;
        p += take;
        n -= take;
        if (reader->used < sizeof reader->buf) return;
        reader->used = 0;
        struct input_event ev;
        memcpy(&ev, reader->buf, sizeof ev);
        if (ev.type == EV_KEY) KeyRepValueFunc(&ev, now_ms);
    }
}

static uint64_t key_now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
}

static int key_running(void) { return !vesk_worker_stopping(&key_worker) && is_signal_exit() != 1; }

static void *PthreadKeyValue(void *arg)
{
    event_handle *bus = (event_handle *)arg;
    prctl(PR_SET_NAME, "key_value", 0, 0, 0);
    key_fd = open(KEY_DEVICE, O_RDWR | O_CLOEXEC);
    if (key_fd < 0) {
        printf("Open %s failed!\n", KEY_DEVICE);
        return NULL;
    }
    const int repeat_set = SetAutorepatTime(key_fd) >= 0;
    const int key_num = GetKeyNum(key_fd, NULL);
    key_state_table *table = (key_state_table *)calloc(key_num > 0 ? (size_t)key_num : 1, sizeof *table);
    if (table == NULL) {
        printf("key table malloc failed!\n");
        return NULL;
    }
    GetKeyNum(key_fd, table);
    CombKey_Init(table, key_num);
    vesk_key_bind(table, key_num, bus);

    vesk_key_reader reader = {{0}, 0};
    while (key_running()) {
        int ready = vesk_worker_wait(&key_worker, key_fd, KEY_WAIT_MS);
        if (ready == -1) break;
        if (ready == -2) {
            printf("select error!\n");
            break;
        }
        if (ready == 0) continue;
        unsigned char bytes[sizeof(struct input_event) * 8];
        ssize_t n = read(key_fd, bytes, sizeof bytes);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            /* The device went away; wait for the stop rather than spin. */
            vesk_worker_sleep(&key_worker, KEY_WAIT_MS);
            continue;
        }
        if (repeat_set) vesk_key_feed(&reader, bytes, (size_t)n, key_now_ms());
    }
    vesk_key_bind(NULL, 0, bus);
    free(table);
    printf("key : thread exit!\n");
    return NULL;
}

/* Until a power press is pending or the keys stop; 0 on a stop. */
static int wait_power_pending(void)
{
    pthread_mutex_lock(&power_lock);
    while (g_key_power_state == 0 && key_running()) pthread_cond_wait(&power_pending, &power_lock);
    pthread_mutex_unlock(&power_lock);
    return key_running();
}

/* The 10 ms ticks start at the first short release, so the single press is
 * still reported 41 ticks after it. */
static void *PthreadKeyDouble(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "key_double", 0, 0, 0);
    while (wait_power_pending()) {
        if (vesk_worker_sleep(&key_worker, KEY_DOUBLE_TICK_MS)) break;
        vesk_key_double_tick();
    }
    return NULL;
}

int Qel_KeyInit(event_handle *bus)
{
    machine.bus = bus;
    if (vesk_worker_open(&key_worker) != 0) printf("key : wake pipe failed!\n");
    key_thread_started = pthread_create(&key_thread, NULL, PthreadKeyValue, bus) == 0;
    double_thread_started = pthread_create(&double_thread, NULL, PthreadKeyDouble, NULL) == 0;
    if (!key_thread_started || !double_thread_started) printf("key : pthread create failed!\n");
    return 0;
}

void Qel_KeyExit(void)
{
    vesk_worker_stop(&key_worker);
    wake_power_thread();
    if (key_thread_started) pthread_join(key_thread, NULL);
    if (double_thread_started) pthread_join(double_thread, NULL);
    key_thread_started = double_thread_started = 0;
    if (key_fd >= 0) close(key_fd);
    key_fd = -1;
    vesk_worker_close(&key_worker);
}
