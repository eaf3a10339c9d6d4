// scope-sim's update commands: a package put into the Media root as the
// phone app leaves it (the package, then its check marker), and the boot
// installer told how the next boot goes.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "boot_installer_sim.h"
#include "scope_sim.h"

static const char kMarker[] = "http_md5_check_ok.txt";

static bool read_host(const char *path, std::string *data)
{
    FILE *f = fopen(path, "rb");
    if (f == nullptr) return false;
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) data->append(buf, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

static int cmd_update(scope_run *run, int argc, char **argv)
{
    std::string data;
    if (!read_host(argv[1], &data)) {
        scope_error("update: %s: %s", argv[1], strerror(errno));
        return SCOPE_FAIL;
    }
    const char *base = strrchr(argv[1], '/');
    std::string name = base != nullptr ? base + 1 : argv[1];
    bool mark = true;
    for (int i = 2; i < argc; i++) {
        if (strcmp(argv[i], "nomark") == 0)
            mark = false;
        else
            name = argv[i];
    }
    if (name.empty() || name.find('/') != std::string::npos) {
        scope_error("update: '%s' is no file name", name.c_str());
        return SCOPE_FAIL;
    }
    int rc = sim_write_file(run->h->sb, "/usrdata/media/" + name, data);
    if (rc == 0 && mark) rc = sim_write_file(run->h->sb, std::string("/usrdata/media/") + kMarker, "ok\n");
    if (rc < 0) {
        scope_error("update: %s", strerror(-rc));
        return SCOPE_FAIL;
    }
    scope_say("update: %s in the Media root (%zu bytes)%s", name.c_str(), data.size(), mark ? ", marker written" : "");
    return SCOPE_OK;
}

static int cmd_installer(scope_run *run, int argc, char **argv)
{
    std::string reason;
    if (strcmp(argv[1], "fail") == 0) {
        for (int i = 2; i < argc; i++) reason += std::string(reason.empty() ? "" : " ") + argv[i];
        if (reason.empty()) reason = "the package did not install";
    } else if (strcmp(argv[1], "ok") != 0) {
        scope_error("installer: fail or ok, not '%s'", argv[1]);
        return SCOPE_FAIL;
    }
    if (!boot_installer_fail_next(*run->h, reason)) {
        scope_error("installer: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    scope_say("installer: the next boot %s", reason.empty() ? "installs" : ("fails: " + reason).c_str());
    return SCOPE_OK;
}

static const scope_command update_commands[] = {
    {"update", "PATH [NAME] [nomark]",
     "put the host file PATH into the Media root (as NAME), then the phone's check marker unless nomark", 1, 3,
     cmd_update},
    {"installer", "fail [REASON...]|ok", "the boot installer's next boot fails with REASON, or installs", 1, -1,
     cmd_installer},
};

SCOPE_COMMANDS(update_commands);
