// The scope's keys: two threads turn the input events of the key device
// into five-byte key reports on the main bus (short press at the release,
// long press, release after a long press, combinations, and a single or
// double short press of the power key).
#pragma once

#include <linux/input.h>
#include <stddef.h>
#include <stdint.h>

#include "boardcast.h"

#define KEY_DEVICE "/dev/input/event0"

/* Input codes of the device, also the key values of the reports. */
enum {
    KEY_CODE_MIDDLE = 1,
    KEY_CODE_UP = 2,
    KEY_CODE_DOWN = 3,
    KEY_CODE_LEFT = 4,
    KEY_CODE_RIGHT = 5,
    KEY_CODE_FUNC = 6,
    KEY_CODE_LASER = 7,
    KEY_CODE_POWER = 8,
};

/* Kinds of a key report (byte 2). */
enum { KEY_KIND_SHORT = 0, KEY_KIND_COMB = 1, KEY_KIND_LONG = 2, KEY_KIND_LONG_RELEASE = 3 };

#define KEY_AUTOREPEAT_DELAY_MS 500
#define KEY_AUTOREPEAT_PERIOD_MS 200
#define KEY_REPORT_SIZE 5
#define KEY_COMB_MAX 4   /* keys in one combination */
#define KEY_COMB_SLOTS 4 /* combinations one key may belong to */

typedef struct {
    int time_ms; /* -1: at once */
    int combkey_value;
    int combkey_num;
    int combkey_code[KEY_COMB_MAX];
} combkey_info;

typedef struct {
    int key_code;
    int key_state;      /* 0 up, 1 pressed, 2 held */
    int key_long_repet; /* repeats counted while held, 0..3 */
    char has_combkey;
    int time_count; /* ms a timed combination has been held */
    int time_ms;
    int combkey_value;
    ::combkey_info combkey_info[KEY_COMB_SLOTS]; /* the combinations of this key */
    char need_double;
    uint64_t last_timestamp;
} key_state_table;

typedef struct {
    int key_value;
    int key_num;
    int key_code[KEY_COMB_MAX];
    int time_ms;
} combk_t;

#define COMBKEY_ROWS 3
extern const combk_t combkey_table[COMBKEY_ROWS];

/* 0 none, 1 one short release seen, 2 a second one within 400 ms. */
extern volatile int g_key_power_state;

/* Starts the key thread and the power-key thread; reports go to bus. 0. */
int Qel_KeyInit(event_handle *bus);
/* Stops and joins both threads and closes the device. */
void Qel_KeyExit(void);

/* Auto-repeat 500 ms delay, 200 ms period; the ioctl's result. */
int SetAutorepatTime(int fd);
/* Number of keys the device reports; fills table (may be null) in
 * ascending code order. 0 when the capability bitmap cannot be read. */
int GetKeyNum(int fd, key_state_table *table);
void CombKey_Init(key_state_table *table, int key_num);
/* 1 when one of the key's combinations has every member pressed. */
int Check_Combkey(key_state_table *table, int key_num, key_state_table *entry);

/* The state machine, for the key thread and for tests on a virtual clock:
 * the table it works on, where reports go, and the clock in ms. */
void vesk_key_bind(key_state_table *table, int key_num, event_handle *bus);
/* One key event (value 1 press, 2 repeat, 0 release) at now_ms. */
void KeyRepValueFunc(const struct input_event *ev, uint64_t now_ms);
/* One 10 ms step of the power-key thread. */
void vesk_key_double_tick(void);

/* Reassembles input events from the bytes read off the device, however the
 * reads split them, and hands each EV_KEY event to KeyRepValueFunc. */
typedef struct {
    unsigned char buf[sizeof(struct input_event)];
    size_t used;
} vesk_key_reader;
void vesk_key_feed(vesk_key_reader *reader, const void *bytes, size_t n, uint64_t now_ms);
