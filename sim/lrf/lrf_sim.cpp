#include "lrf_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

/* The module's link layer: EE 16, a length byte L counting the address,
 * the command and the parameters, the address 03, the command, the
 * parameters, and the low byte of the sum from the address onward. */
enum { SIM_SYNC0 = 0xEE, SIM_SYNC1 = 0x16, SIM_ADDR = 0x03 };

#define SIM_MAX_TARGETS 3
#define SIM_QUEUE 32

typedef struct {
    int count;                    /* 0 = no target */
    uint32_t dm[SIM_MAX_TARGETS]; /* decimetres */
} sim_shot;

struct lrf_sim {
    pthread_t thread;
    pthread_mutex_t lock;
    int master;
    int slave; /* held so the master never sees a hang-up between opens */
    int wake[2];
    char slave_path[64];
    char *board_log;

    /* script */
    sim_shot standing;
    sim_shot queued[SIM_QUEUE];
    int queued_count;
    int silent, badsum, readback; /* readback < 0: the gate in force */
    unsigned period_ms, delay_ms;

    /* module state */
    uint8_t rx[512];
    size_t rx_count;
    uint64_t next_reading_ns;
    uint64_t single_due_ns; /* 0: none pending */
    lrf_sim_stats stats;
};

static uint64_t sim_now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000000000ull + (uint64_t)t.tv_nsec;
}

static void sim_write_all(lrf_sim *sim, const uint8_t *bytes, size_t n)
{
    size_t done = 0;
    while (done < n) {
        ssize_t w = write(sim->master, bytes + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            struct pollfd p = {sim->master, POLLOUT, 0};
            poll(&p, 1, 10);
            continue;
        }
        if (w <= 0) return;
        done += (size_t)w;
    }
    sim->stats.last_reply_ns = sim_now_ns();
}

/* Sends one reply; called with the lock held. */
static void sim_reply(lrf_sim *sim, uint8_t cmd, const uint8_t *params, size_t n)
{
    uint8_t f[16];
    size_t len = 0;
    f[len++] = SIM_SYNC0;
    f[len++] = SIM_SYNC1;
    f[len++] = (uint8_t)(n + 2);
    f[len++] = SIM_ADDR;
    f[len++] = cmd;
    unsigned sum = SIM_ADDR + cmd;
    for (size_t i = 0; i < n; i++) {
        f[len++] = params[i];
        sum += params[i];
    }
    f[len++] = (uint8_t)(sim->badsum ? sum + 1 : sum);
    sim_write_all(sim, f, len);
}

static void sim_reply_u16(lrf_sim *sim, uint8_t cmd, unsigned value)
{
    const uint8_t p[2] = {(uint8_t)(value >> 8), (uint8_t)value};
    sim_reply(sim, cmd, p, 2);
}

static int sim_powered(lrf_sim *sim)
{
    if (sim->board_log == NULL) return 1;
    FILE *f = fopen(sim->board_log, "r");
    if (f == NULL) return 0;
    char *text = NULL;
    size_t cap = 0, len = 0;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (len + n + 1 > cap) {
            cap = (len + n + 1) * 2;
            char *grown = (char *)realloc(text, cap);
            if (grown == NULL) break;
            text = grown;
        }
        memcpy(text + len, chunk, n);
        len += n;
    }
    fclose(f);
    int on = text != NULL && lrf_sim_power_from_log(text, len);
    free(text);
    return on;
}

static sim_shot sim_next_shot(lrf_sim *sim)
{
    if (sim->queued_count == 0) return sim->standing;
    sim_shot s = sim->queued[0];
    memmove(sim->queued, sim->queued + 1, (size_t)(sim->queued_count - 1) * sizeof s);
    sim->queued_count--;
    return s;
}

/* One shot as measurement replies: a single target in first or last
 * target mode, one reply per target (index in the high nibble, "more
 * follow" in bit 1) in multi-target mode. */
static void sim_send_shot(lrf_sim *sim, uint8_t cmd)
{
    sim_shot s = sim_next_shot(sim);
    if (s.count == 0) {
        const uint8_t none[4] = {0x04, 0, 0, 0};
        sim_reply(sim, cmd, none, 4);
        return;
    }
    int first = 0, last = s.count - 1;
    if (sim->stats.target_mode == 1) last = 0;
    if (sim->stats.target_mode == 2) first = last;
    for (int i = first; i <= last; i++) {
        uint8_t flags = 0;
        if (sim->stats.target_mode == 3) flags = (uint8_t)((i << 4) | (i < last ? 0x02 : 0x00));
        uint32_t m = s.dm[i] / 10;
        const uint8_t p[4] = {flags, (uint8_t)(m >> 8), (uint8_t)m, (uint8_t)(s.dm[i] % 10)};
        sim_reply(sim, cmd, p, 4);
    }
}

static void sim_handle(lrf_sim *sim, uint8_t cmd, const uint8_t *p, size_t n)
{
    sim->stats.last_cmd = cmd;
    if (sim->silent || !sim_powered(sim)) {
        sim->stats.ignored++;
        return;
    }
    sim->stats.commands++;
    switch (cmd) {
    case 0xA1:
    case 0x03:
        if (cmd == 0x03 && n >= 1) sim->stats.target_mode = p[0];
        sim_reply(sim, cmd, p, n);
        break;
    case 0xA2:
    case 0xA4:
        if (n >= 2) {
            uint16_t v = (uint16_t)(p[0] << 8 | p[1]);
            if (cmd == 0xA2)
                sim->stats.gate_min = v;
            else
                sim->stats.gate_max = v;
        }
        sim_reply(sim, cmd, p, n);
        break;
    case 0xA3:
        sim_reply_u16(sim, cmd, sim->stats.gate_min);
        break;
    case 0xA5:
        sim_reply_u16(sim, cmd, sim->readback >= 0 ? (unsigned)sim->readback : sim->stats.gate_max);
        break;
    case 0x02:
        sim->single_due_ns = sim_now_ns() + (uint64_t)sim->delay_ms * 1000000ull;
        if (sim->delay_ms == 0) {
            sim->single_due_ns = 0;
            sim->stats.singles++;
            sim_send_shot(sim, 0x02);
        }
        break;
    case 0x04:
        sim->stats.scanning = 1;
        sim->next_reading_ns = sim_now_ns();
        break;
    case 0x05:
        sim->stats.scanning = 0;
        sim->stats.stops++;
        sim_reply(sim, 0x05, NULL, 0);
        break;
    default:
        break; /* the module ignores what it does not know */
    }
}

/* Cuts frames out of what sightd wrote; a byte that cannot start one is
 * dropped. */
static void sim_parse(lrf_sim *sim)
{
    size_t at = 0;
    while (sim->rx_count - at >= 3) {
        const uint8_t *b = sim->rx + at;
        if (b[0] != SIM_SYNC0 || b[1] != SIM_SYNC1 || b[2] < 2 || b[2] > 7) {
            at++;
            sim->stats.bad++;
            continue;
        }
        size_t total = (size_t)b[2] + 4;
        if (sim->rx_count - at < total) break;
        unsigned sum = 0;
        for (size_t i = 3; i < total - 1; i++) sum += b[i];
        if (b[3] != SIM_ADDR || (uint8_t)sum != b[total - 1]) {
            at++;
            sim->stats.bad++;
            continue;
        }
        sim_handle(sim, b[4], b + 5, total - 6);
        at += total;
    }
    memmove(sim->rx, sim->rx + at, sim->rx_count - at);
    sim->rx_count -= at;
}

static void sim_timers(lrf_sim *sim)
{
    uint64_t now = sim_now_ns();
    if (sim->single_due_ns && now >= sim->single_due_ns) {
        sim->single_due_ns = 0;
        if (!sim->silent && sim_powered(sim)) {
            sim->stats.singles++;
            sim_send_shot(sim, 0x02);
        }
    }
    if (sim->stats.scanning && now >= sim->next_reading_ns) {
        sim->next_reading_ns = now + (uint64_t)sim->period_ms * 1000000ull;
        /* Power lost mid-scan ends the scan, as it does on the module. */
        if (!sim_powered(sim)) {
            sim->stats.scanning = 0;
        } else if (!sim->silent) {
            sim->stats.readings++;
            sim_send_shot(sim, 0x04);
        }
    }
}

static int sim_wait_ms(lrf_sim *sim)
{
    uint64_t now = sim_now_ns(), due = UINT64_MAX;
    if (sim->single_due_ns) due = sim->single_due_ns;
    if (sim->stats.scanning && sim->next_reading_ns < due) due = sim->next_reading_ns;
    if (due == UINT64_MAX) return 1000;
    return due <= now ? 0 : (int)((due - now) / 1000000ull) + 1;
}

static void *sim_thread(void *arg)
{
    lrf_sim *sim = (lrf_sim *)arg;
    for (;;) {
        pthread_mutex_lock(&sim->lock);
        int wait = sim_wait_ms(sim);
        pthread_mutex_unlock(&sim->lock);
        struct pollfd fds[2] = {{sim->master, POLLIN, 0}, {sim->wake[0], POLLIN, 0}};
        int r = poll(fds, 2, wait);
        if (r < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        pthread_mutex_lock(&sim->lock);
        if (r > 0 && (fds[0].revents & POLLIN)) {
            ssize_t n = read(sim->master, sim->rx + sim->rx_count, sizeof sim->rx - sim->rx_count);
            if (n > 0) {
                sim->rx_count += (size_t)n;
                sim_parse(sim);
                if (sim->rx_count == sizeof sim->rx) sim->rx_count = 0;
            }
        }
        sim_timers(sim);
        pthread_mutex_unlock(&sim->lock);
    }
    return NULL;
}

static void sim_close_fds(lrf_sim *sim)
{
    const int fds[] = {sim->master, sim->slave, sim->wake[0], sim->wake[1]};
    for (int fd : fds)
        if (fd >= 0) close(fd);
}

lrf_sim *lrf_sim_start(const char *board_log)
{
    lrf_sim *sim = (lrf_sim *)calloc(1, sizeof *sim);
    if (sim == NULL) return NULL;
    sim->master = sim->slave = sim->wake[0] = sim->wake[1] = -1;
    sim->readback = -1;
    sim->period_ms = 100;
    sim->standing.count = 1;
    sim->standing.dm[0] = 1000;
    sim->stats.target_mode = 1;
    sim->stats.gate_min = 10;
    sim->stats.gate_max = 20000;
    pthread_mutex_init(&sim->lock, NULL);
    if (board_log != NULL) sim->board_log = strdup(board_log);
    sim->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (sim->master < 0 || grantpt(sim->master) != 0 || unlockpt(sim->master) != 0 ||
        ptsname_r(sim->master, sim->slave_path, sizeof sim->slave_path) != 0)
        goto fail;
    sim->slave = open(sim->slave_path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (sim->slave < 0) goto fail;
    {
        struct termios t;
        if (tcgetattr(sim->slave, &t) != 0) goto fail;
        cfmakeraw(&t);
        cfsetspeed(&t, B115200);
        tcsetattr(sim->slave, TCSANOW, &t);
    }
    fcntl(sim->master, F_SETFL, fcntl(sim->master, F_GETFL) | O_NONBLOCK);
    if (pipe2(sim->wake, O_CLOEXEC) != 0) goto fail;
    if (pthread_create(&sim->thread, NULL, sim_thread, sim) != 0) goto fail;
    return sim;
fail:
    sim_close_fds(sim);
    free(sim->board_log);
    free(sim);
    return NULL;
}

void lrf_sim_stop(lrf_sim *sim)
{
    if (sim == NULL) return;
    const char one = 1;
    if (write(sim->wake[1], &one, 1) != 1) {
        /* The pipe is ours and empty; a failed write here cannot happen. */
    }
    pthread_join(sim->thread, NULL);
    sim_close_fds(sim);
    pthread_mutex_destroy(&sim->lock);
    free(sim->board_log);
    free(sim);
}

const char *lrf_sim_slave_path(const lrf_sim *sim) { return sim->slave_path; }

void lrf_sim_get_stats(lrf_sim *sim, lrf_sim_stats *out)
{
    pthread_mutex_lock(&sim->lock);
    *out = sim->stats;
    pthread_mutex_unlock(&sim->lock);
}

/* "none", or up to three distances in metres with one decimal. */
static int sim_parse_shot(const char *args, sim_shot *out)
{
    memset(out, 0, sizeof *out);
    while (*args == ' ') args++;
    if (strncmp(args, "none", 4) == 0) return 0;
    while (*args != '\0' && out->count < SIM_MAX_TARGETS) {
        char *end;
        double metres = strtod(args, &end);
        if (end == args || metres < 0 || metres > 6553.5) return -1;
        out->dm[out->count++] = (uint32_t)(metres * 10.0 + 0.5);
        args = end;
        while (*args == ' ') args++;
    }
    return out->count > 0 && *args == '\0' ? 0 : -1;
}

static int sim_on_off(const char *arg, int *flag)
{
    if (strcmp(arg, "on") == 0)
        *flag = 1;
    else if (strcmp(arg, "off") == 0)
        *flag = 0;
    else
        return -1;
    return 0;
}

int lrf_sim_command(lrf_sim *sim, const char *line)
{
    char word[16] = "";
    int used = 0;
    if (sscanf(line, " %15s %n", word, &used) < 1) return -1;
    const char *arg = line + used;
    char value[32] = "";
    sscanf(arg, "%31s", value);
    int rc = 0;
    pthread_mutex_lock(&sim->lock);
    if (strcmp(word, "range") == 0) {
        sim_shot s;
        rc = sim_parse_shot(arg, &s);
        if (rc == 0) sim->standing = s;
    } else if (strcmp(word, "queue") == 0) {
        sim_shot s;
        rc = sim_parse_shot(arg, &s);
        if (rc == 0 && sim->queued_count < SIM_QUEUE)
            sim->queued[sim->queued_count++] = s;
        else
            rc = -1;
    } else if (strcmp(word, "silent") == 0) {
        rc = sim_on_off(value, &sim->silent);
    } else if (strcmp(word, "badsum") == 0) {
        rc = sim_on_off(value, &sim->badsum);
    } else if (strcmp(word, "readback") == 0) {
        sim->readback = strcmp(value, "off") == 0 ? -1 : atoi(value);
    } else if (strcmp(word, "noise") == 0) {
        int n = atoi(value);
        uint8_t bytes[64];
        unsigned seed = (unsigned)n * 2654435761u;
        /* No sync byte, so the noise can never be taken for a frame. */
        while (n > 0) {
            int chunk = n > 64 ? 64 : n;
            for (int i = 0; i < chunk; i++) {
                seed = seed * 1103515245u + 12345u;
                bytes[i] = (uint8_t)((seed >> 16) % 0xEE);
            }
            sim_write_all(sim, bytes, (size_t)chunk);
            n -= chunk;
        }
    } else if (strcmp(word, "anomaly") == 0) {
        unsigned b[4];
        if (sscanf(arg, "%x %x %x %x", &b[0], &b[1], &b[2], &b[3]) != 4) {
            rc = -1;
        } else {
            const uint8_t p[4] = {(uint8_t)b[0], (uint8_t)b[1], (uint8_t)b[2], (uint8_t)b[3]};
            if (!sim->silent && sim_powered(sim)) sim_reply(sim, 0x06, p, 4);
        }
    } else if (strcmp(word, "period") == 0 && atoi(value) > 0) {
        sim->period_ms = (unsigned)atoi(value);
    } else if (strcmp(word, "delay") == 0 && atoi(value) >= 0 && value[0] != '\0') {
        sim->delay_ms = (unsigned)atoi(value);
    } else {
        rc = -1;
    }
    pthread_mutex_unlock(&sim->lock);
    return rc;
}

/* The rangefinder laser power is request 10 of the power-control group,
 * _IOW(0x17, 10, 8 bytes), on /dev/hardware. The board log has one line per
 * call, "key=value" fields separated by blanks; only a call that succeeded
 * (rc=0) switched anything. */
static int sim_field(const char *line, const char *key, char *out, size_t cap)
{
    size_t klen = strlen(key);
    for (const char *p = line; (p = strstr(p, key)) != NULL; p += klen) {
        if (p != line && p[-1] != ' ') continue;
        p += klen;
        size_t n = strcspn(p, " ");
        if (n >= cap) n = cap - 1;
        memcpy(out, p, n);
        out[n] = '\0';
        return 1;
    }
    return 0;
}

int lrf_sim_power_from_log(const char *text, size_t length)
{
    int on = 0;
    const char *end = text + length;
    for (const char *line = text; line < end;) {
        const char *nl = (const char *)memchr(line, '\n', (size_t)(end - line));
        size_t n = nl ? (size_t)(nl - line) : (size_t)(end - line);
        char buf[512], node[64], req[16], value[16], rc[16];
        if (n >= sizeof buf) n = sizeof buf - 1;
        memcpy(buf, line, n);
        buf[n] = '\0';
        if (sim_field(buf, "call=", node, sizeof node) && strcmp(node, "ioctl") == 0 &&
            sim_field(buf, "node=", node, sizeof node) && strcmp(node, "/dev/hardware") == 0 &&
            sim_field(buf, "req=", req, sizeof req) && strcasecmp(req, "0x4008170a") == 0 &&
            sim_field(buf, "value=", value, sizeof value) && sim_field(buf, "rc=", rc, sizeof rc) &&
            strcmp(rc, "0") == 0)
            on = atoi(value) != 0;
        line = nl ? nl + 1 : end;
    }
    return on;
}
