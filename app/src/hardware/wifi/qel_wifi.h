// The scope's Wi-Fi access point: it follows the setting s8WiFiSwitch,
// starts and stops the access-point and DHCP daemons, keeps the network name
// and passphrase, and restarts the access point when either changes. The
// name and passphrase are stored by the persistence service, which also
// writes them into the daemon's configuration; the daemons are started only
// once that configuration is durable.
//
// Functions return 0 or -1 unless said otherwise.
#pragma once

#include <stdint.h>

#include "boardcast.h"

#define WIFI_SSID_MIN 1
#define WIFI_SSID_MAX 32
#define WIFI_PASSWORD_MIN 8
#define WIFI_PASSWORD_MAX 16

/* Registers notifier_wifi on the app bus and starts the watch thread. */
int Qel_WifiInit(event_handle *app_bus);
/* Stops and joins the watch thread. */
void Qel_WifiExit(void);

/* App-bus callback: frames of object 5 from the GUI. */
void notifier_wifi(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);
/* Calls every handler whose code equals byte 3 (byte 6 is the argument). */
void msg_WifiHandler(const uint8_t *frame, int size);

/* 1 when text is min..max characters, each printable ASCII (no line end),
 * so it can stand on one line of the daemon's configuration. */
int vesk_wifi_text_ok(const char *text, unsigned min, unsigned max);

/* Stage a new name or passphrase: 0 (also for the value already set), -1
 * for a bad length or character, or the persistence service's refusal. */
int wifiSetSSID(const char *ssid);
int wifiSetPassword(const char *password);
/* Load the stored name (passphrase) and send it to the phone side as result
 * 1 (3); the name is also reported to the GUI. */
int wifiGetSSID(void);
int wifiGetPassword(void);

/* Stage the default name made from the serial number, the name a factory
 * reset gives ("VeskNV_SN_NuraxPRO520_LRF" when there is none or it cannot
 * stand in a name). The PC link calls this when it writes a serial number:
 * the access point takes the new name at its next restart. 0 or the
 * staging error. */
int _setWiFiSSIDBySN(void);
/* The same, only when no name is stored. */
int setWiFiSSIDByDefault(void);

/* 1 when the newest staged name and passphrase are durable. */
int vesk_wifi_durable_ready(void);
/* The name report to the GUI: AA n+6 05 05 FF 80 name CHK EB AA. */
int make_wifiSsid(const char *ssid);
