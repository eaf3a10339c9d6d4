#include "boot_installer_sim.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim_folder.h"

static const char kUpdateDir[] = "/usrdata/update/";
static const char kPackage[] = "device_upgrade";
static const char kReport[] = "vesk_update_failed.txt";

static bool remove_package(const std::string &dir, std::string *why)
{
    for (const std::string &n : sim_folder_names(dir))
        if (unlink((dir + "/" + n).c_str()) != 0) {
            *why = dir + "/" + n + ": " + strerror(errno);
            return false;
        }
    if (rmdir(dir.c_str()) != 0) {
        *why = dir + ": " + strerror(errno);
        return false;
    }
    return true;
}

static void append_log(sim_harness &h, const std::string &line)
{
    std::string log;
    sim_read_file(h.sb, BOOT_INSTALLER_LOG, &log);
    sim_write_file(h.sb, BOOT_INSTALLER_LOG, log + line + "\n");
}

bool boot_installer_boot(sim_harness &h, std::vector<std::string> *said)
{
    said->clear();
    std::string package = sim_path(h.sb, std::string(kUpdateDir) + kPackage);
    struct stat st;
    if (lstat(package.c_str(), &st) != 0) return true;
    std::string reason;
    bool fail = sim_read_file(h.sb, BOOT_INSTALLER_FAIL, &reason) == 0;
    if (fail) unlink(sim_path(h.sb, BOOT_INSTALLER_FAIL).c_str());
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();

    std::vector<std::string> members = sim_folder_names(package);
    std::string list;
    for (const std::string &m : members) list += " " + m;
    if (!remove_package(package, &h.why)) return false;
    std::string report = std::string(kUpdateDir) + kReport;
    std::string line;
    if (fail) {
        std::string text = "boot installer: the update was not installed\nreason=" + reason +
                           "\nmembers=" + list.substr(list.empty() ? 0 : 1) + "\n";
        int rc = sim_write_file(h.sb, report, text);
        if (rc < 0) {
            h.why = report + ": " + strerror(-rc);
            return false;
        }
        line = "failed " + std::string(kPackage) + ": " + reason;
    } else {
        /* A good install settles any earlier failure of its own. */
        unlink(sim_path(h.sb, report).c_str());
        line = "installed " + std::string(kPackage) + ":" + list;
    }
    append_log(h, line);
    said->push_back(line);
    return true;
}

bool boot_installer_fail_next(sim_harness &h, const std::string &reason)
{
    int rc = reason.empty() ? (unlink(sim_path(h.sb, BOOT_INSTALLER_FAIL).c_str()) == 0 || errno == ENOENT ? 0 : -errno)
                            : sim_write_file(h.sb, BOOT_INSTALLER_FAIL, reason + "\n");
    if (rc < 0) h.why = std::string(BOOT_INSTALLER_FAIL) + ": " + strerror(-rc);
    return rc >= 0;
}
