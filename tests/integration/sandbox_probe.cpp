// sandbox-probe: a small program the sandbox tests run inside the sandbox.
// Each subcommand does one thing a real program does there and prints what
// it saw, so that the test outside can check it.
#include "vesk_board.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/msg.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

static std::string probe_read(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

static std::string probe_trim(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

static const char *probe_kind(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0) return "missing";
    return S_ISCHR(st.st_mode)    ? "chr"
           : S_ISFIFO(st.st_mode) ? "fifo"
           : S_ISREG(st.st_mode)  ? "reg"
           : S_ISDIR(st.st_mode)  ? "dir"
                                  : "other";
}

static int probe_writable(const std::string &dir)
{
    std::string path = dir + "/.probe-write";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return 0;
    close(fd);
    unlink(path.c_str());
    return 1;
}

static std::string probe_status_field(const char *key)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, strlen(key), key) == 0) return probe_trim(line.substr(line.find(':') + 2));
    return "";
}

/* What the sandbox looks like from inside, one key=value per line. */
static int probe_facts(void)
{
    struct utsname u;
    uname(&u);
    printf("uid=%d\nhostname=%s\npid=%d\n", (int)getuid(), u.nodename, (int)getpid());
    printf("capeff=%s\n", probe_status_field("CapEff").c_str());
    printf("parent=%s\n", probe_trim(probe_read("/proc/" + std::to_string(getppid()) + "/comm")).c_str());
    std::ifstream net("/proc/net/dev");
    std::string devs;
    int row = 0;
    for (std::string line; std::getline(net, line);)
        if (row++ >= 2)
            devs += (devs.empty() ? "" : ",") +
                    probe_trim(line.substr(line.find_first_not_of(' '), line.find(':') - line.find_first_not_of(' ')));
    printf("netdevs=%s\n", devs.c_str());
    printf("usr_writable=%d\n", probe_writable("/usr"));
    for (const char *dir :
         {"/factory", "/factory2", "/usrdata", "/usrdata/media", "/tmp", "/etc/wifi", "/var", "/sim", "/sys"})
        printf("writable:%s=%d\n", dir, probe_writable(dir));
    struct stat media, usrdata;
    stat("/usrdata/media", &media);
    stat("/usrdata", &usrdata);
    printf("media_mount=%d\n", media.st_dev != usrdata.st_dev);
    struct statvfs v;
    statvfs("/usrdata/media", &v);
    printf("media_bytes=%llu\n", (unsigned long long)v.f_blocks * v.f_frsize);
    int fd = open("/usrdata/media", O_RDONLY | O_DIRECTORY);
    struct statfs fs;
    vesk_board_fstatfs(fd, &fs);
    printf("media_board_type=0x%lx\n", (unsigned long)fs.f_type);
    close(fd);
    for (const char *dev : {"/dev/ttyS2", "/dev/ttyS4", "/dev/ttyS5", "/dev/input/event0", "/dev/iio:device1",
                            "/dev/iio:device2", "/dev/hardware", "/dev/uart_switch", "/dev/rtc0", "/dev/mem"})
        printf("dev:%s=%s\n", dev, probe_kind(dev));
    struct stat mem;
    stat("/dev/mem", &mem);
    printf("mem_size=%lld\n", (long long)mem.st_size);
    printf("battery=%s\n", probe_trim(probe_read("/sys/bus/iio/devices/iio:device0/in_voltage2_raw")).c_str());
    printf("zoom=%s\n", probe_trim(probe_read("/sys/bus/iio/devices/iio:device0/in_voltage1_raw")).c_str());
    printf("eeprom_size=%zu\n", probe_read("/sys/bus/nvmem/devices/5-00500/nvmem").size());
    printf("gpio113=%s\n", probe_kind("/sys/class/gpio/gpio113/value"));
    printf("gpio_export=%s\n", probe_kind("/sys/class/gpio/export"));
    for (const char *tool : {"insmod", "hostapd", "udhcpd", "mkfs.vfat", "mount", "umount", "umtprd", "ifconfig"}) {
        std::string cmd = std::string("command -v ") + tool;
        FILE *p = popen(cmd.c_str(), "r");
        char where[256] = "";
        if (p && fgets(where, sizeof where, p)) where[strcspn(where, "\n")] = '\0';
        if (p) pclose(p);
        printf("tool:%s=%s\n", tool, where);
    }
    printf("ar_boardinfo=%s\n", probe_kind("/usrdata/bin/ar_boardinfo"));
    const char *display = getenv("DISPLAY");
    printf("display=%s\n", display ? display : "");
    return 0;
}

static volatile sig_atomic_t g_term;

static void probe_on_term(int) { g_term = 1; }

static int probe_wait_term(void)
{
    struct sigaction sa = {};
    sa.sa_handler = probe_on_term;
    sigaction(SIGTERM, &sa, nullptr);
    printf("ready\n");
    fflush(stdout);
    while (!g_term) pause();
    printf("got SIGTERM\n");
    return 0;
}

struct probe_msg {
    long mtype;
    char text[128];
};

/* A record of the programs' queues, written down from its layout. */
struct probe_record {
    long mtype;
    uint8_t type, command, pad[2];
    uint32_t length;
    uint8_t frame[512];
};
static_assert(sizeof(probe_record) == 8 + 520, "queue record");
static_assert(offsetof(probe_record, length) == 12, "length field");

/* Waits for one record of mtype on the queue and prints its fields. */
static int probe_record_of(int key, long mtype)
{
    int q = msgget(key, 0);
    probe_record r;
    if (q < 0 || msgrcv(q, &r, sizeof r - sizeof r.mtype, mtype, 0) != (ssize_t)(sizeof r - sizeof r.mtype)) return 2;
    printf("type=%u command=%u length=%u frame=", r.type, r.command, (unsigned)r.length);
    for (uint32_t i = 0; i < r.length && i < sizeof r.frame; i++) printf("%02X", r.frame[i]);
    printf("\n");
    return 0;
}

/* Puts one record with a frame given in hex on the queue, as a program of
 * the scope sends it: "put KEY MTYPE TYPE HEX". */
static int probe_put(int key, long mtype, unsigned type, const char *hex)
{
    int q = msgget(key, IPC_CREAT | 0666);
    probe_record r = {};
    r.mtype = mtype;
    r.type = (uint8_t)type;
    size_t n = strlen(hex) / 2;
    if (q < 0 || n > sizeof r.frame) return 2;
    for (size_t i = 0; i < n; i++)
        if (sscanf(hex + 2 * i, "%2hhx", &r.frame[i]) != 1) return 3;
    r.length = (uint32_t)n;
    return msgsnd(q, &r, sizeof r - sizeof r.mtype, 0) == 0 ? 0 : 4;
}

static int probe_queue(const char *what, int key, const char *text)
{
    if (strcmp(what, "absent") == 0) return msgget(key, 0) < 0 && errno == ENOENT ? 0 : 1;
    if (strcmp(what, "present") == 0) return msgget(key, 0) >= 0 ? 0 : 1;
    int q = msgget(key, IPC_CREAT | 0666);
    if (q < 0) return 2;
    probe_msg m = {1, {}};
    if (strcmp(what, "send") == 0) {
        snprintf(m.text, sizeof m.text, "%s", text);
        return msgsnd(q, &m, strlen(m.text) + 1, 0) == 0 ? 0 : 3;
    }
    if (msgrcv(q, &m, sizeof m.text, 0, 0) < 0) return 4;
    printf("%s\n", m.text);
    return 0;
}

static int probe_tty_echo(const char *path, int count)
{
    int fd = open(path, O_RDWR | O_NOCTTY);
    if (fd < 0) return 2;
    struct termios t;
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    printf("open\n");
    fflush(stdout);
    char buf[256];
    int got = 0;
    while (got < count) {
        ssize_t n = read(fd, buf, sizeof buf < (size_t)(count - got) ? sizeof buf : (size_t)(count - got));
        if (n <= 0) return 3;
        if (write(fd, buf, (size_t)n) != n) return 4;
        got += (int)n;
    }
    tcdrain(fd);
    return 0;
}

/* Opens the key device as the key thread does and prints what arrives. */
static int probe_keys(int count)
{
    int fd = open("/dev/input/event0", O_RDWR);
    if (fd < 0) return 2;
    unsigned int rep[2] = {500, 200};
    if (vesk_board_ioctl(fd, EVIOCSREP, rep) != 0) return 3;
    unsigned char keys[96] = {};
    printf("keybits=%d\n", vesk_board_ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys));
    fflush(stdout);
    for (int i = 0; i < count; i++) {
        struct input_event ev;
        if (read(fd, &ev, sizeof ev) != (ssize_t)sizeof ev) return 4;
        printf("%u %u %d\n", ev.type, ev.code, ev.value);
    }
    return 0;
}

/* Reads a file over and over while the outside rewrites it; prints each
 * distinct content with how often it was seen. */
static int probe_read_loop(const char *path, int count)
{
    std::map<std::string, int> seen;
    for (int i = 0; i < count; i++) {
        int fd = open(path, O_RDONLY);
        char buf[32];
        ssize_t n = fd >= 0 ? read(fd, buf, sizeof buf - 1) : -1;
        if (fd >= 0) close(fd);
        seen[n < 0 ? std::string("<error>") : std::string(buf, (size_t)n)]++;
    }
    for (const auto &s : seen) printf("seen [%s] %d\n", probe_trim(s.first).c_str(), s.second);
    return 0;
}

static int probe_usb(void)
{
    int fd = open("/dev/mem", O_RDWR | O_SYNC);
    if (fd < 0) return 2;
    void *map = mmap(nullptr, 2060, PROT_READ, MAP_SHARED, fd, 0x08000000);
    if (map == MAP_FAILED) return 3;
    const volatile uint32_t *regs = (const volatile uint32_t *)map;
    printf("word0=0x%08x word2056=0x%08x\n", regs[0], regs[2056 / 4]);
    return 0;
}

static int probe_iio(int device, int count)
{
    std::string path = "/dev/iio:device" + std::to_string(device);
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return 2;
    for (int i = 0; i < count; i++) {
        unsigned char s[6];
        if (read(fd, s, sizeof s) != (ssize_t)sizeof s) return 3;
        printf("%d %d %d\n", (int16_t)(s[0] | s[1] << 8), (int16_t)(s[2] | s[3] << 8), (int16_t)(s[4] | s[5] << 8));
    }
    return 0;
}

static int probe_board(void)
{
    int hw = open("/dev/hardware", O_RDWR);
    int uart = open("/dev/uart_switch", O_RDWR);
    int one = 1;
    if (hw < 0 || uart < 0) return 2;
    if (vesk_board_ioctl(hw, VESK_BOARD_HW_REQUEST(VESK_BOARD_HW_LRF_LASER_POWER), &one) != 0) return 3;
    if (vesk_board_ioctl(uart, VESK_BOARD_UART_SWITCH, (void *)(intptr_t)2) != 0) return 4;
    struct timeval tv = {1700000000, 0};
    return vesk_board_settimeofday(&tv) == 0 ? 0 : 5;
}

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string cmd = argc > 1 ? argv[1] : "";
    const char *a2 = argc > 2 ? argv[2] : "";
    const char *a3 = argc > 3 ? argv[3] : "";
    if (cmd == "exit") return atoi(a2);
    if (cmd == "reboot" || cmd == "poweroff") {
        sync();
        reboot(cmd == "reboot" ? RB_AUTOBOOT : RB_POWER_OFF);
        printf("reboot failed: %s\n", strerror(errno));
        return 99;
    }
    if (cmd == "raise") {
        signal(atoi(a2), SIG_DFL);
        raise(atoi(a2));
        return 98;
    }
    if (cmd == "facts") return probe_facts();
    if (cmd == "wait-term") return probe_wait_term();
    if (cmd == "queue") return probe_queue(a2, atoi(a3), argc > 4 ? argv[4] : "");
    if (cmd == "record") return probe_record_of(atoi(a2), atol(a3));
    if (cmd == "put" && argc > 5) return probe_put(atoi(a2), atol(a3), (unsigned)atoi(argv[4]), argv[5]);
    if (cmd == "tty-echo") return probe_tty_echo(a2, atoi(a3));
    if (cmd == "keys") return probe_keys(atoi(a2));
    if (cmd == "cat") {
        fputs(probe_read(a2).c_str(), stdout);
        return 0;
    }
    if (cmd == "read-loop") return probe_read_loop(a2, atoi(a3));
    if (cmd == "sh") {
        int status = system(a2);
        int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        printf("status=%d\n", code);
        return code;
    }
    if (cmd == "usb") return probe_usb();
    if (cmd == "iio") return probe_iio(atoi(a2), atoi(a3));
    if (cmd == "board") return probe_board();
    fprintf(stderr, "sandbox-probe: unknown command '%s'\n", cmd.c_str());
    return 64;
}
