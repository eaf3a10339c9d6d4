// Inside the logging library: the record, the rings, the line builder and
// the process-wide logger state its source files share. Only the library
// and its tests include this header.
#pragma once

#include "vesk_log.h"

#include <pthread.h>
#include <semaphore.h>
#include <stddef.h>
#include <stdio.h>
#include <sys/types.h>

#define VESK_LOG_TAG_SIZE 32
#define VESK_LOG_PAYLOAD_SIZE 2048
#define VESK_LOG_HEX_KEEP 512
#define VESK_LOG_LINE_SIZE 8448
#define VESK_LOG_DETAIL_SLOTS 64
#define VESK_LOG_ERROR_SLOTS 32
#define VESK_LOG_CONSOLE_SLOTS 32
#define VESK_LOG_IPC_SLOTS 8
#define VESK_LOG_IPC_LAST 4
#define VESK_LOG_IPC_KEEP 32
#define VESK_LOG_IPC_WINDOW_MS 1000
#define VESK_LOG_PASS_MS 50
#define VESK_LOG_STITCH_AGE_MS 100
#define VESK_LOG_LOSS_PERIOD_MS 1000
#define VESK_LOG_THREAD_STACK (128 * 1024)
#define VESK_LOG_BATCH_SIZE 16384
#define VESK_LOG_SEGMENT_LIMIT 5000000u
#define VESK_LOG_MEDIA_RETRY_MS 5000
/* A logger thread holds a ring's lock for the copy of one record or one
 * batch, a few microseconds; a producer spins that long (pause between
 * tries) and then gives up, so it never waits on a holder that is not
 * running. Four tries were shorter than one copy: a record pushed while the
 * console thread took the one before it was lost. */
#define VESK_LOG_PUSH_TRIES 256
#define VESK_LOG_TAKE_BATCH 16

typedef enum {
    VESK_LOG_REC_TEXT = 0,
    VESK_LOG_REC_HEX = 1,
    VESK_LOG_REC_STDIO = 2, /* a chunk of captured standard output or error */
} vesk_log_rec_kind;

enum {
    VESK_LOG_FLAG_PARTIAL = 1u << 0,   /* a STDIO chunk without its line end */
    VESK_LOG_FLAG_TRUNCATED = 1u << 1, /* payload was cut */
    VESK_LOG_FLAG_GAP = 1u << 2,       /* records were lost before this one */
};

/* One ring slot, copied by value. Only the bytes up to payload + len are
 * ever copied, so a short message costs a short copy. */
typedef struct {
    uint64_t mono_ms;
    int64_t wall_ms;
    uint8_t wall_valid;
    uint8_t kind;
    uint8_t level;
    uint8_t flags;
    uint64_t epoch;
    int32_t hex_result;
    uint32_t orig_len;
    uint32_t len;
    char tag[VESK_LOG_TAG_SIZE];
    uint8_t payload[VESK_LOG_PAYLOAD_SIZE];
} vesk_log_record;

#define VESK_LOG_RECORD_HEAD offsetof(vesk_log_record, payload)

typedef struct {
    pthread_mutex_t lock;
    pthread_cond_t *wake; /* signalled on push, or null */
    sem_t *drain;         /* posted when the ring reaches a quarter full, or null */
    int drain_asked;      /* posted since the consumer last looked */
    vesk_log_record *slots;
    uint32_t capacity;
    uint32_t head;
    uint32_t count;
    uint64_t pushed; /* records ever pushed; lets a cut-off know what came before it */
    uint64_t popped;
} vesk_log_ring;

void vesk_log_ring_init(vesk_log_ring *ring, vesk_log_record *slots, uint32_t capacity, pthread_cond_t *wake,
                        sem_t *drain);
void vesk_log_ring_destroy(vesk_log_ring *ring);
/* 0, -EBUSY when the lock stays held over a few tries, -ENOSPC when full.
 * Never sleeps. */
int vesk_log_ring_try_push(vesk_log_ring *ring, const vesk_log_record *rec);
/* 1 with the oldest record removed into rec, 0 when empty. */
int vesk_log_ring_pop(vesk_log_ring *ring, vesk_log_record *rec);
/* Removes up to max of the oldest records under one hold of the lock. */
int vesk_log_ring_pop_many(vesk_log_ring *ring, vesk_log_record *recs, int max);
/* Waits while the ring is empty and *running is set; 1 or 0 as pop. */
int vesk_log_ring_wait_pop(vesk_log_ring *ring, vesk_log_record *rec, const int *running);
/* The consumer, before it sleeps: lets the next push past a quarter call
 * it again, and tells whether records wait (then it should not sleep). */
int vesk_log_ring_rearm(vesk_log_ring *ring);
/* Records pushed so far (under the lock). */
uint64_t vesk_log_ring_pushed(vesk_log_ring *ring);

/* What every line of this process names: source, boot and run. */
typedef struct {
    char src[4];
    char boot[64];
    uint64_t pid;
    uint64_t start_mono_ms;
} vesk_log_identity;

typedef struct {
    vesk_log_stream stream;
    char text[VESK_LOG_LINE_SIZE];
    size_t len;
    uint64_t epoch; /* 0 for ERROR lines */
} vesk_log_line;

typedef struct {
    uint64_t mono_ms;
    int64_t wall_ms;
    int wall_valid;
    uint64_t seq;
    int level;
    const char *tag;
    unsigned flags;
    uint64_t epoch;
} vesk_log_prefix_ctx;

/* Builds one finished line (prefix, escaped message, line feed) into out.
 * lf_follows tells that the message ended at a line feed, so a carriage
 * return at its end is the first half of a CR LF pair and is dropped.
 * Returns the line length. */
size_t vesk_log_line_build(const vesk_log_identity *id, const vesk_log_prefix_ctx *ctx, const void *msg, size_t len,
                           int lf_follows, vesk_log_line *out);
/* The wall-clock word of a line: local time with milliseconds and offset. */
void vesk_log_format_wall(int64_t wall_ms, int wall_valid, char *out, size_t size);

/* Where finished lines go. */
/* 0 when the line was taken, negative when it was not (and is counted there). */
typedef int (*vesk_log_line_sink)(void *ctx, const vesk_log_line *line);

typedef struct {
    const vesk_log_identity *id;
    vesk_log_role role;
    int copy_errors; /* while debug is on, ERROR lines also go to the role's stream */
    vesk_log_line_sink sink;
    void *sink_ctx;
    vesk_log_line *scratch; /* one line of working space, owned by the calling thread */
} vesk_log_emitter;

/* One unfinished line of captured standard output or error. */
typedef struct {
    uint8_t buf[VESK_LOG_PAYLOAD_SIZE];
    size_t len;
    int has_data;
    uint64_t started_mono_ms;
    int64_t started_wall_ms;
    int started_wall_valid;
    uint64_t epoch;
    int level;
    int pending_gap;
    int truncated;
    uint64_t truncated_bytes;
} vesk_log_stitch;

/* Builds a line and hands it to the stream(s) of its level; the sink's
 * answer for the first stream. */
int vesk_log_emit_line(const vesk_log_emitter *em, const vesk_log_prefix_ctx *ctx, const void *msg, size_t len,
                       int lf_follows);
/* Turns a TEXT or HEX record into lines (a stale DETAIL record is counted as
 * suppressed). A STDIO record is cut at its line feeds as it stands, which
 * is what the console wants; the primary thread stitches them instead. */
void vesk_log_emit_record(const vesk_log_emitter *em, const vesk_log_record *rec);
void vesk_log_stitch_feed(const vesk_log_emitter *em, vesk_log_stitch *st, const vesk_log_record *rec);
/* Flushes the stitch as a partial line when forced or older than 100 ms. */
void vesk_log_stitch_flush(const vesk_log_emitter *em, vesk_log_stitch *st, uint64_t now_ms, int force);
/* Emits one line made by the logger itself, stamped now: to the streams of
 * its level, or only to stream when that is not -1. */
int vesk_log_emit_now(const vesk_log_emitter *em, int stream, int level, const char *tag, uint64_t epoch,
                      const char *fmt, ...) __attribute__((format(printf, 6, 7)));

/* IPC trace slots. */
typedef struct {
    int used;
    int has_axis;
    uint8_t axis;
    int result;
    size_t orig_len;
    size_t len;
    uint8_t bytes[VESK_LOG_IPC_KEEP];
} vesk_log_ipc_entry;

typedef struct {
    int in_use;
    char tag[VESK_LOG_TAG_SIZE];
    uint64_t epoch;
    uint64_t window_start_ms;
    uint64_t last_seen_ms;
    uint64_t pending;
    vesk_log_ipc_entry last[VESK_LOG_IPC_LAST];
} vesk_log_ipc_slot;

/* A counter that producers on many cores bump at once: one cache line per
 * stripe, each thread on its own stripe, summed when read. */
#define VESK_LOG_STRIPES 8
typedef struct {
    struct {
        uint64_t value;
        char pad[64 - sizeof(uint64_t)];
    } stripe[VESK_LOG_STRIPES];
} vesk_log_striped;

/* Counters: 64-bit words touched only with atomic adds and loads. */
typedef struct {
    vesk_log_striped input_drops[VESK_LOG_LEVEL_COUNT];
    vesk_log_striped input_drop_bytes[VESK_LOG_LEVEL_COUNT];
    uint64_t truncated_bytes[VESK_LOG_LEVEL_COUNT];
    uint64_t sink_drops[VESK_LOG_STREAM_COUNT];
    uint64_t sink_drop_bytes[VESK_LOG_STREAM_COUNT];
    vesk_log_striped console_drops;
    vesk_log_striped suppressed;
    int media_errno;
    int media_paused;
    int peer_connected;
} vesk_log_counters;

extern vesk_log_counters vesk_log_cnt;
unsigned vesk_log_stripe_assign(void);
extern __thread int vesk_log_stripe_id;

static inline void vesk_log_count(uint64_t *counter, uint64_t n) { __atomic_fetch_add(counter, n, __ATOMIC_RELAXED); }

static inline void vesk_log_count(vesk_log_striped *counter, uint64_t n)
{
    int id = vesk_log_stripe_id;
    if (__builtin_expect(id < 0, 0)) id = (int)vesk_log_stripe_assign();
    __atomic_fetch_add(&counter->stripe[id].value, n, __ATOMIC_RELAXED);
}

static inline uint64_t vesk_log_load(const uint64_t *counter) { return __atomic_load_n(counter, __ATOMIC_RELAXED); }

static inline uint64_t vesk_log_load(const vesk_log_striped *counter)
{
    uint64_t sum = 0;
    for (int i = 0; i < VESK_LOG_STRIPES; i++) sum += __atomic_load_n(&counter->stripe[i].value, __ATOMIC_RELAXED);
    return sum;
}

static inline void vesk_log_set_int(int *word, int value) { __atomic_store_n(word, value, __ATOMIC_RELAXED); }

uint64_t vesk_log_mono_ms(void);
/* 1 with *wall_ms set, 0 (and *wall_ms = 0) when the clock cannot be read. */
int vesk_log_wall_ms(int64_t *wall_ms);
/* Next line number, 1 for the first line of the process. */
uint64_t vesk_log_next_seq(void);
const char *vesk_log_stream_name(int stream);

/* Admits a record built by the caller (level, kind, tag, payload, len,
 * orig_len set); fills the clocks and epoch and pushes it. Returns 0 when
 * kept, negative when refused or suppressed. */
int vesk_log_admit(vesk_log_record *rec);
/* Starts a record of the level; 0 when it is to be kept, -1 when DETAIL is
 * suppressed (counted). */
int vesk_log_record_begin(vesk_log_record *rec, vesk_log_level level, vesk_log_rec_kind kind, const char *tag);
/* A whole record of length bytes, of which at most limit are kept (the rest
 * counted as truncated and the record flagged); 0 or -1 as begin. */
int vesk_log_record_fill(vesk_log_record *rec, vesk_log_level level, vesk_log_rec_kind kind, const char *tag,
                         const void *data, size_t length, size_t limit, int result);

/* The IPC summaries: emit due ones (all pending ones when forced). */
void vesk_log_ipc_tick(int force);

/* Barrier state, under barrier_lock. */
typedef struct {
    pthread_mutex_t lock;
    uint64_t next_ticket;
    uint64_t active_ticket;
    int kind;
    uint64_t deadline_ms;
    int done;
    int failed;
    uint64_t media_epoch;
} vesk_log_barrier;

/* The process-wide logger. */
typedef struct {
    int started; /* atomic: entry points act only once set */
    int running; /* atomic: logger threads loop while set */
    vesk_log_role role;
    vesk_log_config config;
    vesk_log_identity id;
    int console_fd;
    int listen_fd;
    vesk_log_ring detail_ring;
    vesk_log_ring error_ring;
    vesk_log_ring console_ring;
    vesk_log_record detail_slots[VESK_LOG_DETAIL_SLOTS];
    vesk_log_record error_slots[VESK_LOG_ERROR_SLOTS];
    vesk_log_record console_slots[VESK_LOG_CONSOLE_SLOTS];
    pthread_cond_t console_wake;
    pthread_mutex_t ipc_lock;
    vesk_log_ipc_slot ipc[VESK_LOG_IPC_SLOTS];
    vesk_log_barrier barrier;
    uint64_t seq;
    /* Primary thread pacing: its 50 ms sleep ends early on a stop, a
     * barrier request or a ring filling up. A semaphore, because posting
     * one never waits, so producers may do it. */
    sem_t pace;
    /* Standard output and error as they were before capture, for stop. */
    int stdio_captured;
    FILE *orig_stdout;
    FILE *orig_stderr;
    int saved_stdout_fd;
    int stdio_gap[2]; /* atomic: chunks of that stream were refused since the last kept one */
    pthread_t console_thread;
    pthread_t primary_thread;
    int console_thread_up;
    int primary_thread_up;
} vesk_log_state;

extern vesk_log_state vesk_log_g;

static inline int vesk_log_is_started(void) { return __atomic_load_n(&vesk_log_g.started, __ATOMIC_ACQUIRE); }

static inline int vesk_log_is_running(void) { return __atomic_load_n(&vesk_log_g.running, __ATOMIC_ACQUIRE); }

/* Media files (vesk_log_media.cpp), app writer thread only. */
void vesk_log_media_setup(const char *root, int require_vfat, const vesk_log_identity *id);
/* The card rule when FAT is required: 0, or -ENOTBLK when the root is not
 * a FAT file system or not a mount point. */
int vesk_log_media_root_check(int root_fd, const char *root);
/* The generation a slot's first line names, 0 when it is no segment header. */
uint64_t vesk_log_media_parse_generation(const char *text, size_t len, int stream);
/* Appends a finished line to its stream's batch, opening the files on
 * demand; a line that cannot be placed is a sink drop when counted. */
int vesk_log_media_put(const vesk_log_line *line, uint64_t now_ms, int counted);
/* Opens the folder and every stream (forced: even within the retry delay). */
int vesk_log_media_open_all(uint64_t now_ms, int force);
/* Writes all batches and syncs what is due (everything when forced): 0 or -EIO. */
int vesk_log_media_checkpoint(int force, uint64_t now_ms);
/* Closes every file (unwritten batches become sink drops); a card change
 * also forgets the slot generations. */
void vesk_log_media_close(int card_change);
void vesk_log_media_pause(int paused);
int vesk_log_media_is_paused(void);
/* Card-change check, due every 5000 ms, while a report is pending and when
 * a new barrier appears. 1 with the report's text once the files are open
 * again after a change. */
int vesk_log_media_health(uint64_t now_ms, uint64_t barrier_ticket, char *report, size_t size);

/* One SOCK_SEQPACKET message between the GUI role and the app role; only
 * the first 28 + line_len bytes travel. */
#define VESK_LOG_WIRE_MAGIC 0x5645534Bu
#define VESK_LOG_WIRE_VERSION 1
#define VESK_LOG_WIRE_HEAD 28
#define VESK_LOG_SOCK_BUF 65536
#define VESK_LOG_CONNECT_RETRY_MS 5000
typedef enum {
    VESK_LOG_WIRE_CONTROL = 1,
    VESK_LOG_WIRE_LINE = 2,
    VESK_LOG_WIRE_CUTOFF = 3,
    VESK_LOG_WIRE_CUTOFF_ACK = 4,
} vesk_log_wire_kind;

typedef struct {
    uint32_t magic;
    uint16_t version;
    uint16_t kind;
    uint16_t stream;
    uint16_t reserved;
    uint8_t padding[4];
    uint64_t epoch; /* CONTROL: GUI epoch; LINE: epoch when built; CUTOFF(_ACK): ticket */
    uint32_t line_len;
    char line[VESK_LOG_LINE_SIZE];
} vesk_log_wire_packet;

static_assert(offsetof(vesk_log_wire_packet, kind) == 6, "wire layout");
static_assert(offsetof(vesk_log_wire_packet, stream) == 8, "wire layout");
static_assert(offsetof(vesk_log_wire_packet, epoch) == 16, "wire layout");
static_assert(offsetof(vesk_log_wire_packet, line_len) == 24, "wire layout");
static_assert(offsetof(vesk_log_wire_packet, line) == VESK_LOG_WIRE_HEAD, "wire layout");

/* Fills the packet head; the line, if any, is copied by the caller. */
void vesk_log_wire_init(vesk_log_wire_packet *pkt, int kind, int stream, uint64_t epoch, uint32_t line_len);
/* 0 sent, -EAGAIN when the socket is full, another negative errno when broken. */
int vesk_log_wire_send(int fd, const vesk_log_wire_packet *pkt);
/* 1 with a well-formed packet, 0 when none waits, -EBADMSG for one to
 * ignore, -EPIPE when the peer is gone. */
int vesk_log_wire_recv(int fd, vesk_log_wire_packet *pkt);
/* Sets both socket buffers to 65536 bytes. */
void vesk_log_wire_buffers(int fd);

/* What the primary thread of either role carries from pass to pass. */
typedef struct {
    vesk_log_emitter em;      /* lines of records, to the role's sink */
    vesk_log_emitter loss_em; /* loss reports: "errors" only, their own losses not counted */
    vesk_log_line line;
    vesk_log_record rec;
    vesk_log_record batch[VESK_LOG_TAKE_BATCH];
    vesk_log_stitch stitch[2]; /* standard output, standard error */
    uint64_t now_ms;
    uint64_t last_loss_ms;
    uint64_t reported_input[VESK_LOG_LEVEL_COUNT];
    uint64_t reported_sink[VESK_LOG_STREAM_COUNT];
    uint64_t reported_console;
} vesk_log_primary;

extern vesk_log_primary vesk_log_pri;

void vesk_log_primary_init(vesk_log_line_sink sink);
/* Moves up to max records of the ring into lines while *blocked is clear;
 * with blocked null nothing stops it, and records leave the ring in batches. */
void vesk_log_primary_take(vesk_log_ring *ring, int max, const int *blocked);
/* Moves every record pushed before the call into lines (a barrier's cut). */
void vesk_log_primary_take_all(void);
void vesk_log_primary_flush_stitches(int force);
/* Loss reports, at most once every 1000 ms; with_sink adds the sink stage. */
void vesk_log_primary_loss_reports(int with_sink);

/* Sleeps one pass interval (less after a kick), notes the time; 0 once stopping. */
int vesk_log_primary_pace(void);

/* The primary thread's loop, by role. */
void vesk_log_app_run(void);
void vesk_log_gui_run(void);

/* Threads (vesk_log_thread.cpp). */
int vesk_log_threads_start(void);
void vesk_log_threads_stop(void);
/* Ends the primary thread's current sleep (a barrier was asked for). */
void vesk_log_kick(void);
/* Points standard output and error at the logger; undone by release. */
int vesk_log_stdio_capture(void);
void vesk_log_stdio_release(void);
