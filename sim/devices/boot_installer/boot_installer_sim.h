// The boot installer, outside the system: at a boot it takes the package
// sightd published as "/usrdata/update/device_upgrade", records what it
// installed in "/sim/boot-installer.log" and removes it; told to fail, it
// removes the package all the same and leaves its own report,
// "vesk_update_failed.txt", in the update directory. It runs before sightd
// starts, as the board's boot runs it, so call it right after the sandbox
// is made (a fresh one has nothing to take).
#pragma once

#include <string>
#include <vector>

#include "sim_harness.h"

#define BOOT_INSTALLER_LOG "/sim/boot-installer.log"
#define BOOT_INSTALLER_FAIL "/sim/boot-installer.fail"

/* One boot's work; what it did, a line each, in *said (empty: nothing to
 * take). False with h.why when it could not work on the folder. */
bool boot_installer_boot(sim_harness &h, std::vector<std::string> *said);
/* The next boot fails with this reason in its report ("" : it succeeds). */
bool boot_installer_fail_next(sim_harness &h, const std::string &reason);
