// The phone's commands (through the HTTP daemon, object 244) and the
// Bluetooth wind meter's frames (through the BLE service, object 29): the
// network name and passphrase, storage and device information, the
// ballistic exchange files, the clock, and the meter's state and wind speed.
//
// Functions return 0 or -1 unless said otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "boardcast.h"

/* The payload buffer: a text payload always keeps room for its terminator. */
#define VESK_PHONE_PAYLOAD_CAP 240
#define VESK_PHONE_PAYLOAD_MAX (VESK_PHONE_PAYLOAD_CAP - 1)

/* Calls into modules that are started beside this one; an empty entry is
 * logged and skipped. Filled at start-up. */
typedef struct {
    /* Reads the phone's exchange file and applies it: 0 or negative. */
    int (*vesk_bccal_import)(void);
    /* Writes the exchange file for the phone: 0 or -1. */
    int (*vesk_bccal_export)(void);
    /* Sends the Media partition's free space to the phone (result 13). */
    int (*vesk_publish_storage)(void);
    /* Shows the hold-over the phone computed (the ballistic result frame). */
    void (*vesk_show_phone_result)(void);
} vesk_irsearch_calls;
/* Copied; null clears every entry. */
void vesk_irsearch_set_calls(const vesk_irsearch_calls *calls);

/* Registers notifier_irsearch on the app bus; handle is the HTTP side's. */
int Qel_IRSearchInit(event_handle *handle, event_handle *app_bus);
/* Registers notifier_bluetooth on the app bus. */
int Qel_BluetoothInit(event_handle *app_bus);

/* App-bus callbacks, acting only on object 244 and 29. */
void notifier_irsearch(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);
void notifier_bluetooth(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);

/* A phone command frame taken apart: the command (byte 4) and the payload
 * (bytes 6 .. L-1), copied into a zero-filled buffer. */
typedef struct {
    uint8_t cmd;
    size_t length;
    char payload[VESK_PHONE_PAYLOAD_CAP];
} vesk_phone_command;
/* 0, or -1 for a frame to refuse: shorter than its length byte says, L
 * below 6 or a payload above 239 bytes. */
int vesk_phone_command_parse(const uint8_t *frame, int size, vesk_phone_command *out);

/* Sets the real-time clock and then the system clock from fourteen digits
 * YYYYMMDDhhmmss: the system clock's result, or -1 for a field out of
 * range (nothing is set then). */
int set_date_and_time(const char *text);
