// The board module: the basic commands of object 0 from the GUI (aiming
// laser, reboot, shutdown, format, factory reset, serial-line routing, wind
// switch) become device controls or lifecycle requests; the zoom-ring and
// USB-state threads; the hooks that ready the device status for a factory
// reset or a format, and undo them when it is abandoned.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "boardcast.h"
#include "qel_power.h"

/* Registers notifier_other on app_bus and starts the zoom and USB threads
 * (reports on main_bus). 0 or -1. */
int Qel_OtherInit(event_handle *main_bus, event_handle *app_bus);
/* Stops and joins the zoom and USB threads. */
void Qel_OtherExit(void);
/* App-bus callback for object 0. */
void notifier_other(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);

/* The self-inspection of object 11 (value 0: the storage check; value 3:
 * byte 7 echoed), reported on main_bus. Nothing starts it yet. */
int Qel_SelfInit(event_handle *main_bus, event_handle *app_bus);
void notifier_self(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);
void emmc_self_inspection(void);

/* The image settings a factory reset replaces, kept to undo it. */
typedef struct {
    int irParam[7]; /* elements 0..4 and 6 */
    char s8HotTrack;
} vesk_reset_prior;
extern vesk_reset_prior g_vesk_reset_prior;

/* Lifecycle hooks: run once a format or reset is admitted, and when an
 * admitted reset (5) or format (6) is abandoned. */
void vesk_other_format_prepublish(void *context);
void vesk_other_reset_prepublish(void *context);
void vesk_other_cancel_factory_state(int reason);

#define VESK_SSID_MAX 32
/* 1 when sn is non-empty, made only of A-Z a-z 0-9 '_' '-', and short enough
 * for the access-point name built from it to stay within 32 characters. */
int vesk_other_sn_fits_ssid(const char *sn);
/* The access-point name a factory reset stages for this serial number. */
void vesk_other_reset_ssid(const char *sn, char *out, size_t size);

/* The zoom ring: ADC counts mapped onto a magnification x 100. */
typedef struct {
    int min, max; /* counts at the ring's two ends */
} vesk_zoom_map;
/* Limits as the ring thread takes them (ends swapped into order, within
 * 1000..12000): 0, or -1 when their span is too narrow to map. */
int vesk_zoom_limits(int min, int max, vesk_zoom_map *out);
/* Magnification x 100 (100..800) for a reversed reading. */
int vesk_zoom_of(const vesk_zoom_map *map, int rev);
/* One reading of the ring: the dead band, the first zoom to the media
 * process, and the report once the GUI is ready. */
void get_zoom_by_voltage(int raw);
/* Resets the ring thread's memory and binds its bus (tests). */
void vesk_zoom_reset(event_handle *bus);

/* USB supply state from the controller's registers: 0 none, 1 steady, 2
 * changing; sleep_ms paces the eight samples of the charger line. */
int vesk_usb_state(const volatile uint8_t *regs, void (*sleep_ms)(int ms));
/* One pass of the USB thread with a state just read. */
void vesk_usb_step(int state);
void vesk_usb_reset(event_handle *bus);
#define VESK_USB_REG_BASE 0x08000000UL
#define VESK_USB_REG_BYTES 2060
