// The logging library both programs link. Any thread may log at any time:
// no call blocks, allocates on the caller's path or changes errno. Records
// go into bounded rings; the library's own threads turn them into lines on
// the console, in the "VeskLogs" files (app role) or over the log socket to
// the app role (GUI role). Every record that cannot be kept is counted.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

typedef enum { VESK_LOG_APP = 0, VESK_LOG_GUI = 1 } vesk_log_role;

typedef enum {
    VESK_LOG_DETAIL = 0, /* kept only while debug mode is on */
    VESK_LOG_ERROR = 1,  /* always kept, also echoed to the console */
    VESK_LOG_LEVEL_COUNT = 2,
} vesk_log_level;

typedef enum {
    VESK_LOG_APP_STREAM = 0,
    VESK_LOG_GUI_STREAM = 1,
    VESK_LOG_ERRORS_STREAM = 2,
    VESK_LOG_STREAM_COUNT = 3,
} vesk_log_stream;

typedef struct {
    char vesk_media_root[256];  /* default "/usrdata/media" */
    char vesk_socket_path[108]; /* default "/tmp/vesk-log.sock" */
    int vesk_require_vfat;      /* default 1 */
} vesk_log_config;

typedef struct {
    uint64_t vesk_input_drops[VESK_LOG_LEVEL_COUNT];
    uint64_t vesk_input_drop_bytes[VESK_LOG_LEVEL_COUNT];
    uint64_t vesk_truncated_bytes[VESK_LOG_LEVEL_COUNT];
    uint64_t vesk_sink_drops[VESK_LOG_STREAM_COUNT];
    uint64_t vesk_sink_drop_bytes[VESK_LOG_STREAM_COUNT];
    uint64_t vesk_console_drops;
    uint64_t vesk_suppressed_records;
    int vesk_media_errno;
    int vesk_media_paused;
    int vesk_peer_connected;
} vesk_log_stats;

/* Barrier kinds (app role). */
typedef enum { VESK_LOG_FLUSH = 1, VESK_LOG_PAUSE_MEDIA = 2 } vesk_log_barrier_kind;

/* Starts the logger once per process; config may be null for the defaults.
 * 0 or a negative errno. */
int vesk_log_start(vesk_log_role role, const vesk_log_config *config);
/* Stops the logger threads; the app role drains the rings to the files. */
void vesk_log_stop(void);

/* vesk_log_vprintf with the arguments listed; defined here, so that the
 * logger and the capture tests link in its place share it. */
inline void vesk_log_printf(vesk_log_level level, const char *tag, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void vesk_log_vprintf(vesk_log_level level, const char *tag, const char *format, va_list ap)
    __attribute__((format(printf, 3, 0)));
inline void vesk_log_printf(vesk_log_level level, const char *tag, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    vesk_log_vprintf(level, tag, format, ap);
    va_end(ap);
}
void vesk_log_write(vesk_log_level level, const char *tag, const char *text, size_t length);
/* DETAIL hex dump of at most 512 bytes. */
void vesk_log_hex(const char *tag, const void *bytes, size_t length, int result);
/* DETAIL trace of one queue frame; compass frames fold into summaries. */
void vesk_log_ipc(const char *tag, const void *frame, size_t length, int result);

void vesk_log_get_stats(vesk_log_stats *stats);

/* Barriers (app role). request: the kind and an absolute CLOCK_MONOTONIC
 * deadline in ms; 0 with *ticket set, -EINVAL, -EOPNOTSUPP (GUI role),
 * -ENODEV (not started) or -EBUSY (one is active). poll: 0 pending, 1 done,
 * -EIO failed, -ETIMEDOUT past the deadline, -ESTALE for a ticket that is no
 * longer active (finished, cancelled or replaced). resume_media reopens the
 * Media files after PAUSE_MEDIA and cancels a pause still pending. */
int vesk_log_request(vesk_log_barrier_kind kind, uint64_t deadline_ms, uint64_t *ticket);
int vesk_log_poll(uint64_t ticket);
void vesk_log_resume_media(void);
