// The factory defaults a freshly flashed unit carries in its firmware image:
// the settings template "out_sightd/defconfig.ini" and the profile template
// "out_sightd/ballistics_defconfig.db" under /usrdata. sightd's first boot
// takes its defaults authority, its mirrors, its settings and its profiles
// from them; on this host the simulator plays the image and writes them.
//
// The INI holds every key the settings store reads (sections "qeldevstatus",
// "irparam", "reticleparam", "compassparam"; the EEPROM's "info" is per-unit
// calibration and never part of an image), each at the value the store
// takes when the key is missing. The database holds the three tables with
// the six factory profiles and their twelve zero points. Both are written
// here from the stored layouts, never from sightd's own tables or schema:
// a drift between the two is caught when sightd validates them at boot.
#pragma once

#include <string>

#include "vesk_records.h"

#define SIM_FACTORY_IMAGE_DIR "out_sightd"
#define SIM_FACTORY_INI "defconfig.ini"
#define SIM_FACTORY_DB "ballistics_defconfig.db"

/* Writes <usrdata_dir>/out_sightd/defconfig.ini and ballistics_defconfig.db
 * (the folder is made when missing; usrdata_dir must exist). Each file is
 * built beside its place and renamed over it, so a template is whole or
 * the previous one. 0, or a negative errno with *error (may be null)
 * telling what failed. */
int sim_factory_image(const std::string &usrdata_dir, std::string *error);

/* The six factory profiles and twelve zero points as sightd reads them
 * from the template (profile group 0 selected, every padding byte 0). */
void sim_factory_profiles(Info_ballistics profiles[VESK_PROFILE_COUNT], Qel_IR_Cursor *cursor);

/* The access point's files of the image under wifi_dir (the board's
 * /etc/wifi): the WPA2 and open access-point configurations and the DHCP
 * daemon's, each written only when missing. 0 or a negative errno. */
#define SIM_FACTORY_WIFI_WPA2 "hostapd_wpa2.conf"
#define SIM_FACTORY_WIFI_NONE "hostapd_none.conf"
#define SIM_FACTORY_WIFI_DHCP "udhcpd.conf"
int sim_factory_wifi(const std::string &wifi_dir, std::string *error);
