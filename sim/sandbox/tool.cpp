// vesk-sim-tool: the sandbox's stand-in for the board's shell tools, one
// program under each tool's name. Each run logs its arguments to the board
// log (call=tool) and does the least the programs depend on. A file
// /sim/tools/<name>.status holding a number makes the tool exit with that
// status after logging, so tests can make a tool fail.
#include "vesk_board.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#define TOOL_MEDIA "/usrdata/media"
#define TOOL_WLAN_ADDRESS "/sys/class/net/wlan0/address"

static void tool_log(const char *name, int argc, char **argv)
{
    std::string fields = "name=";
    char escaped[1024];
    vesk_board_log_escape(escaped, sizeof escaped, name);
    fields += escaped;
    for (int i = 1; i < argc; i++) {
        vesk_board_log_escape(escaped, sizeof escaped, argv[i]);
        fields += " arg=";
        fields += escaped;
    }
    vesk_board_log_line("tool", fields.c_str());
}

/* The status a test asked for, or -1. */
static int tool_forced_status(const char *name)
{
    std::string path = std::string("/sim/tools/") + name + ".status";
    FILE *f = fopen(path.c_str(), "r");
    if (!f) return -1;
    int status = -1;
    if (fscanf(f, "%d", &status) != 1) status = -1;
    fclose(f);
    return status;
}

/* A daemon of the board: stays up until it is killed. */
static int tool_stay_up(void)
{
    for (;;) pause();
}

static int tool_mkdirs(const char *path)
{
    std::string p;
    for (const char *c = path; *c; c++) {
        p += *c;
        if (c[1] == '/' || c[1] == '\0')
            if (mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) return -1;
    }
    return 0;
}

static int tool_insmod(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "insmod: missing module name\n");
        return 1;
    }
    /* The Wi-Fi driver brings up its interface, and with it the MAC address
     * the programs read. */
    if (strstr(argv[1], "bcmdhd")) {
        if (tool_mkdirs("/sys/class/net/wlan0") != 0) return 1;
        FILE *f = fopen(TOOL_WLAN_ADDRESS, "w");
        if (!f) return 1;
        fputs("02:00:5e:10:00:01\n", f);
        fclose(f);
    }
    return 0;
}

static bool tool_is_key(const std::string &key)
{
    if (key.empty()) return false;
    for (char c : key)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

/* The configuration a daemon was started with, one field per setting:
 *   call=config name=<tool> file=<path> <key>=<value> ... [line=<other>]
 * Every line counts, so a setting given twice shows twice. */
static void tool_log_config(const char *name, const char *path, FILE *f)
{
    char escaped[1024];
    std::string fields = std::string("name=") + name;
    vesk_board_log_escape(escaped, sizeof escaped, path);
    fields += std::string(" file=") + escaped;
    char buf[1024];
    while (fgets(buf, sizeof buf, f)) {
        std::string line = buf;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        size_t eq = line.find('=');
        std::string key = eq == std::string::npos ? "" : line.substr(0, eq);
        std::string value = tool_is_key(key) ? line.substr(eq + 1) : line;
        if (!tool_is_key(key)) key = "line";
        vesk_board_log_escape(escaped, sizeof escaped, value.c_str());
        fields += " " + key + "=" + escaped;
    }
    vesk_board_log_line("config", fields.c_str());
}

/* hostapd and udhcpd read their configuration file (the last argument that
 * is no option) at start, log what it says and stay up until killed. */
static int tool_daemon_with_config(int argc, char **argv)
{
    const char *config = nullptr;
    for (int i = 1; i < argc; i++)
        if (argv[i][0] != '-') config = argv[i];
    if (config) {
        FILE *f = fopen(config, "r");
        if (!f) {
            fprintf(stderr, "%s: could not open configuration file '%s': %s\n", argv[0], config, strerror(errno));
            return 1;
        }
        const char *name = strrchr(argv[0], '/') ? strrchr(argv[0], '/') + 1 : argv[0];
        tool_log_config(name, config, f);
        fclose(f);
    }
    return tool_stay_up();
}

static int tool_daemon(int, char **) { return tool_stay_up(); }

static int tool_remove_entry(const char *path, const struct stat *, int, struct FTW *ftw)
{
    if (ftw->level == 0) return 0;
    return remove(path);
}

/* A new file system on the Media partition: the folder is empty after it. */
static int tool_mkfs_vfat(int argc, char **)
{
    if (argc < 2) {
        fprintf(stderr, "mkfs.vfat: no device specified\n");
        return 1;
    }
    return nftw(TOOL_MEDIA, tool_remove_entry, 16, FTW_DEPTH | FTW_PHYS) == 0 ? 0 : 1;
}

static int tool_done(int, char **) { return 0; }

/* ar_boardinfo -M pinmux -W <pin> <function>: switches a pin's function. */
static int tool_ar_boardinfo(int argc, char **argv)
{
    if (argc == 6 && strcmp(argv[1], "-M") == 0 && strcmp(argv[2], "pinmux") == 0 && strcmp(argv[3], "-W") == 0) {
        char *end;
        long pin = strtol(argv[4], &end, 10);
        if (*end == '\0' && pin >= 0 && (strcmp(argv[5], "0") == 0 || strcmp(argv[5], "1") == 0)) return 0;
    }
    fprintf(stderr, "usage: ar_boardinfo -M pinmux -W <pin> <0|1>\n");
    return 2;
}

typedef int (*tool_fn)(int argc, char **argv);

static const struct {
    const char *name;
    tool_fn run;
} tool_table[] = {
    {"insmod", tool_insmod},
    {"hostapd", tool_daemon_with_config},
    {"udhcpd", tool_daemon_with_config},
    {"umtprd", tool_daemon},
    {"mkfs.vfat", tool_mkfs_vfat},
    {"mount", tool_done},
    {"umount", tool_done},
    {"ifconfig", tool_done},
    {"ar_boardinfo", tool_ar_boardinfo},
};

int main(int argc, char **argv)
{
    const char *name = strrchr(argv[0], '/') ? strrchr(argv[0], '/') + 1 : argv[0];
    for (const auto &tool : tool_table) {
        if (strcmp(tool.name, name) != 0) continue;
        tool_log(name, argc, argv);
        int forced = tool_forced_status(name);
        if (forced >= 0) return forced;
        return tool.run(argc, argv);
    }
    fprintf(stderr, "vesk-sim-tool: no board tool is called '%s'\n", name);
    return 127;
}
