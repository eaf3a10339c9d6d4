// The sandbox: the board's file tree, device stand-ins and namespaces around
// the programs, made fresh per run, and the handles a peer needs from
// outside (pty masters, key and sensor feeds, host paths of every file).
//
// One sandbox is one bubblewrap run: new user, mount, IPC, PID, network and
// UTS namespaces, CAP_SYS_BOOT only, so the programs' own reboot() ends it.
// Its first process (PID 1 inside) is vesk-sim-agent, which starts every
// program asked for here in those namespaces (so they share the System V
// queues), passes signals on and reports how each ended. Works as root and,
// where bwrap may make user namespaces, unprivileged. See sim/README.md. All calls are safe from several
// threads. Call sim_create from a thread that outlives the sandbox: the
// sandbox is killed when the thread that made it ends (bwrap's
// --die-with-parent).
//
// Inside paths and where they live outside (<dir> is the sandbox folder):
//   /factory /factory2 /usrdata /tmp /var /etc /sim   <dir>/<same name>
//   /usrdata/media     a tmpfs of options.media_bytes (a mount of its own);
//                      outside through the agent's descriptor, see sim_path;
//                      copied from and back to <dir>/usrdata/media
//   /sys               a tmpfs holding only the sysfs files the programs use
//   /dev/ttyS2 ttyS4 ttyS5   pty slaves; the masters are sim_pty
//   /dev/input/event0, /dev/iio:device1, /dev/iio:device2   FIFOs
//   /dev/hardware /dev/uart_switch /dev/rtc0   <dir>/dev/..., empty files
//   /dev/mem           <dir>/dev/mem, sparse, USB registers at SIM_USB_REG_BASE
//   /opt/vesk/bin /opt/vesk/lib   the build's bin/ and lib/, read-only
//   /sim/board.log     the board log (format in vesk_board.h)
//   /sim/tools         the stand-in board tools, first on PATH
//   /usr (/bin /sbin /lib ...)    the host's own, read-only
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#define SIM_INSIDE_BIN "/opt/vesk/bin"
#define SIM_INSIDE_LIB "/opt/vesk/lib"
#define SIM_BOARD_LOG "/sim/board.log"
#define SIM_TOOLS_DIR "/sim/tools"
#define SIM_KEY_DEVICE "/dev/input/event0"
#define SIM_EEPROM "/sys/bus/nvmem/devices/5-00500/nvmem"
#define SIM_BATTERY_RAW "/sys/bus/iio/devices/iio:device0/in_voltage2_raw"
#define SIM_ZOOM_RAW "/sys/bus/iio/devices/iio:device0/in_voltage1_raw"
/* The USB controller registers as /dev/mem offsets. */
#define SIM_USB_REG_BASE 0x08000000UL
#define SIM_USB_REG_BYTES 2060

struct sim_file {
    std::string path; /* inside path */
    std::string data;
    unsigned mode = 0644;
};

struct sim_bind {
    std::string host;
    std::string inside;
    bool writable = false;
};

struct sim_options {
    uint64_t media_bytes = 64ull << 20;      /* size of the /usrdata/media tmpfs */
    std::string dir;                         /* use (and keep) this folder, e.g. one kept
                                          * by an earlier run: a boot after a reboot */
    bool keep = false;                       /* leave the fresh folder after sim_destroy, for
                                          * a later boot; it goes when the process exits
                                          * (VESK_KEEP_SANDBOX=1 keeps every fresh one) */
    std::vector<sim_file> files;             /* files put in place before anything runs */
    std::vector<sim_bind> binds;             /* further host folders, e.g. a GUI's res/ */
    std::vector<int> gpio_pins = {113, 114}; /* /sys/class/gpio/gpioN folders */
    std::string display;                     /* X display such as ":99": its socket is bound
                                          * and DISPLAY set for every program */
    std::string xauthority;                  /* host file, bound and named by XAUTHORITY */
    std::string bin_dir;                     /* the build's bin/; empty: found by itself */
    bool factory_image = true;               /* a folder without the firmware image's
                                          * templates gets them, as a freshly
                                          * flashed unit has them */
};

enum sim_end {
    SIM_RUNNING = 0, /* nothing ended within the time-out */
    SIM_EXITED,      /* code: exit status */
    SIM_SIGNALED,    /* code: signal number */
    SIM_REBOOT,      /* a program rebooted the board (RB_AUTOBOOT) */
    SIM_POWER_OFF,   /* a program powered the board off (RB_POWER_OFF) */
    SIM_ENDED,       /* the sandbox ended otherwise (stopped; code: bwrap's status) */
};

struct sim_outcome {
    sim_end end = SIM_RUNNING;
    int code = 0;
};

struct sim_spawn_args {
    std::vector<std::string> argv; /* argv[0]: an inside path, or a name of the build's
                                    * bin/ (else looked up on the sandbox's PATH) */
    std::vector<std::string> env;  /* "NAME=value", over the defaults (PATH, HOME,
                                    * LD_LIBRARY_PATH, DISPLAY, sanitizer options) */
    std::string cwd = "/";
    int stdin_fd = -1; /* host descriptors handed over; -1: /dev/null */
    int stdout_fd = 1;
    int stderr_fd = 2;
};

struct sim_sandbox;

/* 1 when bwrap can make the sandbox's namespaces on this machine; else 0
 * and why (for the failure message). Checked once per process. */
int sim_available(std::string *why);

/* Makes the folder, the stand-ins and the namespaces and starts the agent.
 * 0, or a negative errno with *error telling what failed. */
int sim_create(const sim_options &options, sim_sandbox **out, std::string *error);
/* Ends the sandbox if it still runs, copies the tmpfs contents into the
 * folder when it is kept, removes it otherwise, frees everything. */
void sim_destroy(sim_sandbox *sb);

/* Starts a program inside; its pid as the sandbox sees it, or a negative
 * errno. A program that rebooted or powered the board off before the
 * agent could answer gets SIM_PID_GONE, whose sim_wait says which. */
#define SIM_PID_GONE 0x7fffffff
int sim_spawn(sim_sandbox *sb, const sim_spawn_args &args);
/* Sends a signal to a pid inside; 0 or a negative errno. */
int sim_kill(sim_sandbox *sb, int pid, int sig);
/* Waits for a program started by sim_spawn to end: 0 with the outcome (a
 * reboot or power-off ends every program), -ETIMEDOUT (outcome
 * SIM_RUNNING), or another negative errno. timeout_ms < 0 waits for ever. */
int sim_wait(sim_sandbox *sb, int pid, int timeout_ms, sim_outcome *out);
/* Waits for the sandbox itself to end; 0 or -ETIMEDOUT. */
int sim_wait_end(sim_sandbox *sb, int timeout_ms, sim_outcome *out);
/* Ends the sandbox now (every program is killed); how it ended. */
void sim_stop(sim_sandbox *sb, sim_outcome *out);
/* "exit 3", "signal 15", "reboot", "power-off", "ended 1", "running". */
std::string sim_outcome_text(const sim_outcome &outcome);

/* The sandbox folder. */
const std::string &sim_dir(const sim_sandbox *sb);
/* Where an inside path lives outside; usable by this process and its
 * children for as long as sb exists. */
std::string sim_path(const sim_sandbox *sb, const std::string &inside);
/* Host path of a program in the build's bin/. */
std::string sim_host_bin(const sim_sandbox *sb, const std::string &name);

/* Master end of a serial line ("/dev/ttyS2", "/dev/ttyS4", "/dev/ttyS5");
 * owned by the sandbox; -1 for another name. */
int sim_pty(const sim_sandbox *sb, const char *tty);
/* Writes one input event to the key device; 0 or a negative errno
 * (-EAGAIN when the reader is 2700 events behind). */
int sim_input_event(sim_sandbox *sb, uint16_t type, uint16_t code, int32_t value);
/* A key event (value 1 press, 2 repeat, 0 release) and its SYN_REPORT. */
int sim_key_event(sim_sandbox *sb, uint16_t code, int32_t value);
/* One buffer sample (x, y, z) of iio device 1 (accelerometer) or 2 (magnetometer). */
int sim_iio_sample(sim_sandbox *sb, int device, int16_t x, int16_t y, int16_t z);
/* Bytes of iio device 1 or 2 that the reader has not taken yet, or a
 * negative errno. */
int sim_iio_unread(const sim_sandbox *sb, int device);

/* Replaces a file's contents as one step, so that a program reading it
 * never sees it half written (the device stand-ins under /dev are written
 * in place); parent folders are made. 0 or a negative errno. */
int sim_write_file(sim_sandbox *sb, const std::string &inside, const std::string &data);
/* A sysfs attribute's new value, written in place as the kernel changes
 * one: a program holding the file open reads the new value from offset 0.
 * The text is written over the old one before the file is cut to its
 * length, so a reader sees the old value, or the new one possibly followed
 * by the old one's tail after its newline, never an empty file. A missing
 * file is made. 0 or a negative errno. */
int sim_write_attribute(sim_sandbox *sb, const std::string &inside, const std::string &text);
/* Writes bytes at an offset in place, e.g. USB registers in /dev/mem. */
int sim_pwrite(sim_sandbox *sb, const std::string &inside, uint64_t offset, const void *data, size_t length);
/* Reads a whole file; 0 or a negative errno. */
int sim_read_file(const sim_sandbox *sb, const std::string &inside, std::string *data);

/* From now on the stand-in tool exits with this status after logging (a
 * daemon then does not stay up); status < 0 restores success. */
int sim_tool_status(sim_sandbox *sb, const std::string &tool, int status);

/* Lines of the board log, those of one call ("ioctl", "tool", ...) when call is set. */
std::vector<std::string> sim_board_log(const sim_sandbox *sb, const char *call = nullptr);
/* The first value of key in a board-log line, \xHH undone; "" when absent. */
std::string sim_log_field(const std::string &line, const std::string &key);
/* Every arg= value of a tool line, in order, \xHH undone. */
std::vector<std::string> sim_log_args(const std::string &line);
