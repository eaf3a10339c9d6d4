// Records become lines of one fixed shape that tools can split on blanks:
// a prefix of key=value words, " | ", and the message with every byte that
// could break a line or a terminal escaped.
#include "vesk_debug.h"
#include "vesk_log_internal.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

void vesk_log_format_wall(int64_t wall_ms, int wall_valid, char *out, size_t size)
{
    snprintf(out, size, "unknown");
    if (!wall_valid) return;
    int64_t secs = wall_ms / 1000;
    long ms = (long)(wall_ms % 1000);
    if (ms < 0) {
        ms += 1000;
        secs--;
    }
    time_t t = (time_t)secs;
    struct tm tm;
    if (localtime_r(&t, &tm) == NULL) return;
    long off = tm.tm_gmtoff;
    char sign = off < 0 ? '-' : '+';
    if (off < 0) off = -off;
    snprintf(out, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld%02ld", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
             tm.tm_hour, tm.tm_min, tm.tm_sec, ms, sign, off / 3600, (off % 3600) / 60);
}

static const char vesk_log_hexdig[] = "0123456789ABCDEF";

/* Escapes src into out (at most cap bytes). A byte that does not fit whole
 * stops the copy; *used tells how many source bytes went in. */
static size_t vesk_log_escape(char *out, size_t cap, const uint8_t *src, size_t len, int lf_follows, int escape_blank,
                              size_t *used)
{
    size_t pos = 0;
    size_t i = 0;
    for (; i < len; i++) {
        uint8_t c = src[i];
        if (c == '\r' && ((i + 1 < len && src[i + 1] == '\n') || (i + 1 == len && lf_follows))) continue;
        int plain = c != '\\' && c != 127 && c >= 32 && !(escape_blank && c == ' ');
        size_t need = plain ? 1 : c == '\\' ? 2 : 4;
        if (pos + need > cap) break;
        if (plain) {
            out[pos++] = (char)c;
        } else if (c == '\\') {
            out[pos++] = '\\';
            out[pos++] = '\\';
        } else {
            out[pos++] = '\\';
            out[pos++] = 'x';
            out[pos++] = vesk_log_hexdig[c >> 4];
            out[pos++] = vesk_log_hexdig[c & 15];
        }
    }
    *used = i;
    return pos;
}

static void vesk_log_flag_words(unsigned flags, char *out, size_t size)
{
    static const struct {
        unsigned bit;
        const char *word;
    } words[] = {
        {VESK_LOG_FLAG_GAP, "gap"}, {VESK_LOG_FLAG_TRUNCATED, "truncated"}, {VESK_LOG_FLAG_PARTIAL, "partial"}};
    size_t pos = 0;
    out[0] = '\0';
    for (const auto &w : words) {
        if (!(flags & w.bit)) continue;
        int n = snprintf(out + pos, size - pos, "%s%s", pos ? "," : "", w.word);
        if (n > 0) pos += (size_t)n;
    }
    if (pos == 0) snprintf(out, size, "none");
}

size_t vesk_log_line_build(const vesk_log_identity *id, const vesk_log_prefix_ctx *ctx, const void *msg, size_t len,
                           int lf_follows, vesk_log_line *out)
{
    char wall[48];
    char flags[32];
    /* A tag is one word of the prefix: a blank or control byte in it would
     * split or break the line, so it is escaped like the message. */
    char tag[VESK_LOG_TAG_SIZE * 4 + 1];
    size_t used;
    const char *raw_tag = ctx->tag != NULL ? ctx->tag : "";
    size_t tag_len = vesk_log_escape(tag, sizeof(tag) - 1, (const uint8_t *)raw_tag,
                                     strnlen(raw_tag, VESK_LOG_TAG_SIZE), 0, 1, &used);
    tag[tag_len] = '\0';
    vesk_log_format_wall(ctx->wall_ms, ctx->wall_valid, wall, sizeof(wall));
    vesk_log_flag_words(ctx->flags, flags, sizeof(flags));
    int n =
        snprintf(out->text, sizeof(out->text),
                 "mono_ms=%llu wall_ms=%lld wall=%s boot=%s run=%llu-%llu seq=%llu src=%s level=%c tag=%s flags=%s | ",
                 (unsigned long long)ctx->mono_ms, (long long)(ctx->wall_valid ? ctx->wall_ms : 0), wall, id->boot,
                 (unsigned long long)id->pid, (unsigned long long)id->start_mono_ms, (unsigned long long)ctx->seq,
                 id->src, ctx->level == VESK_LOG_ERROR ? 'E' : 'D', tag_len ? tag : "-", flags);
    size_t pos = n < 0 ? 0 : (size_t)n;
    if (pos > sizeof(out->text) - 1) pos = sizeof(out->text) - 1;
    size_t cap = sizeof(out->text) - 1 - pos; /* one byte stays for the line feed */
    pos += vesk_log_escape(out->text + pos, cap, (const uint8_t *)msg, len, lf_follows, 0, &used);
    if (used < len) {
        int level = ctx->level == VESK_LOG_ERROR ? VESK_LOG_ERROR : VESK_LOG_DETAIL;
        vesk_log_count(&vesk_log_cnt.truncated_bytes[level], len - used);
    }
    out->text[pos++] = '\n';
    out->len = pos;
    out->epoch = ctx->epoch;
    return pos;
}

/* ---- records to lines ---- */

static vesk_log_stream vesk_log_role_stream(vesk_log_role role)
{
    return role == VESK_LOG_GUI ? VESK_LOG_GUI_STREAM : VESK_LOG_APP_STREAM;
}

int vesk_log_emit_line(const vesk_log_emitter *em, const vesk_log_prefix_ctx *ctx, const void *msg, size_t len,
                       int lf_follows)
{
    vesk_log_line *line = em->scratch;
    vesk_log_line_build(em->id, ctx, msg, len, lf_follows, line);
    if (ctx->level != VESK_LOG_ERROR) {
        line->stream = vesk_log_role_stream(em->role);
        return em->sink(em->sink_ctx, line);
    }
    line->stream = VESK_LOG_ERRORS_STREAM;
    int rc = em->sink(em->sink_ctx, line);
    if (em->copy_errors && vesk_debug_enabled()) {
        line->stream = vesk_log_role_stream(em->role);
        em->sink(em->sink_ctx, line);
    }
    return rc;
}

static void vesk_log_ctx_of(const vesk_log_record *rec, vesk_log_prefix_ctx *ctx)
{
    ctx->mono_ms = rec->mono_ms;
    ctx->wall_ms = rec->wall_ms;
    ctx->wall_valid = rec->wall_valid;
    ctx->level = rec->level;
    ctx->tag = rec->tag;
    ctx->flags = rec->flags;
    ctx->epoch = rec->level == VESK_LOG_ERROR ? 0 : rec->epoch;
}

/* One line per line-feed-terminated part; an unterminated tail is a line
 * too (marked partial for captured output), an empty payload one empty line. */
static void vesk_log_emit_parts(const vesk_log_emitter *em, const vesk_log_record *rec)
{
    vesk_log_prefix_ctx ctx;
    vesk_log_ctx_of(rec, &ctx);
    unsigned base = rec->flags & ~(unsigned)VESK_LOG_FLAG_PARTIAL;
    const uint8_t *p = rec->payload;
    size_t left = rec->len;
    if (left == 0) {
        ctx.seq = vesk_log_next_seq();
        ctx.flags = base;
        vesk_log_emit_line(em, &ctx, p, 0, 0);
        return;
    }
    while (left > 0) {
        const uint8_t *lf = (const uint8_t *)memchr(p, '\n', left);
        size_t part = lf != NULL ? (size_t)(lf - p) : left;
        ctx.seq = vesk_log_next_seq();
        ctx.flags = base;
        if (lf == NULL && rec->kind == VESK_LOG_REC_STDIO) ctx.flags |= VESK_LOG_FLAG_PARTIAL;
        vesk_log_emit_line(em, &ctx, p, part, lf != NULL);
        if (lf == NULL) break;
        p += part + 1;
        left -= part + 1;
    }
}

static void vesk_log_emit_hex(const vesk_log_emitter *em, const vesk_log_record *rec)
{
    char msg[64 + VESK_LOG_HEX_KEEP * 3];
    int n = snprintf(msg, sizeof(msg), "n=%u rc=%d hex=", rec->orig_len, rec->hex_result);
    size_t pos = n < 0 ? 0 : (size_t)n;
    size_t keep = rec->len < VESK_LOG_HEX_KEEP ? rec->len : VESK_LOG_HEX_KEEP;
    for (size_t i = 0; i < keep; i++) {
        if (i > 0) msg[pos++] = ' ';
        msg[pos++] = vesk_log_hexdig[rec->payload[i] >> 4];
        msg[pos++] = vesk_log_hexdig[rec->payload[i] & 15];
    }
    vesk_log_prefix_ctx ctx;
    vesk_log_ctx_of(rec, &ctx);
    ctx.seq = vesk_log_next_seq();
    vesk_log_emit_line(em, &ctx, msg, pos, 0);
}

void vesk_log_emit_record(const vesk_log_emitter *em, const vesk_log_record *rec)
{
    if (rec->level == VESK_LOG_DETAIL && rec->epoch != vesk_debug_epoch()) {
        vesk_log_count(&vesk_log_cnt.suppressed, 1);
        return;
    }
    if (rec->kind == VESK_LOG_REC_HEX) {
        vesk_log_emit_hex(em, rec);
    } else {
        vesk_log_emit_parts(em, rec);
    }
}

/* ---- stitching captured output ---- */

static void vesk_log_stitch_reset(vesk_log_stitch *st)
{
    st->len = 0;
    st->has_data = 0;
    st->truncated = 0;
    st->truncated_bytes = 0;
}

static void vesk_log_stitch_append(vesk_log_stitch *st, const vesk_log_record *rec, const uint8_t *p, size_t n)
{
    if (!st->has_data) {
        st->has_data = 1;
        st->started_mono_ms = rec->mono_ms;
        st->started_wall_ms = rec->wall_ms;
        st->started_wall_valid = rec->wall_valid;
        st->epoch = rec->level == VESK_LOG_ERROR ? 0 : rec->epoch;
        st->level = rec->level;
    }
    size_t room = sizeof(st->buf) - st->len;
    size_t take = n < room ? n : room;
    memcpy(st->buf + st->len, p, take);
    st->len += take;
    if (take < n) {
        vesk_log_count(&vesk_log_cnt.truncated_bytes[st->level], n - take);
        st->truncated_bytes += n - take;
        st->truncated = 1;
    }
}

static void vesk_log_stitch_emit(const vesk_log_emitter *em, vesk_log_stitch *st, int complete)
{
    vesk_log_prefix_ctx ctx;
    ctx.mono_ms = st->started_mono_ms;
    ctx.wall_ms = st->started_wall_ms;
    ctx.wall_valid = st->started_wall_valid;
    ctx.seq = vesk_log_next_seq();
    ctx.level = st->level;
    ctx.tag = st->level == VESK_LOG_ERROR ? "stderr" : "stdout";
    ctx.flags = (st->pending_gap ? VESK_LOG_FLAG_GAP : 0) | (st->truncated ? VESK_LOG_FLAG_TRUNCATED : 0) |
                (complete ? 0 : VESK_LOG_FLAG_PARTIAL);
    ctx.epoch = st->epoch;
    st->pending_gap = 0;
    vesk_log_emit_line(em, &ctx, st->buf, st->len, complete);
    vesk_log_stitch_reset(st);
}

void vesk_log_stitch_feed(const vesk_log_emitter *em, vesk_log_stitch *st, const vesk_log_record *rec)
{
    uint64_t epoch = vesk_debug_epoch();
    if (st->has_data && st->level == VESK_LOG_DETAIL && st->epoch != epoch) {
        vesk_log_count(&vesk_log_cnt.suppressed, 1);
        vesk_log_stitch_reset(st);
    }
    /* Output captured under an earlier debug period is not written in this one. */
    if (rec->level == VESK_LOG_DETAIL && rec->epoch != epoch) {
        vesk_log_count(&vesk_log_cnt.suppressed, 1);
        return;
    }
    if (rec->flags & VESK_LOG_FLAG_GAP) {
        if (st->has_data) vesk_log_stitch_emit(em, st, 0);
        st->pending_gap = 1;
    }
    const uint8_t *p = rec->payload;
    size_t left = rec->len;
    while (left > 0) {
        const uint8_t *lf = (const uint8_t *)memchr(p, '\n', left);
        if (lf == NULL) {
            vesk_log_stitch_append(st, rec, p, left);
            break;
        }
        size_t part = (size_t)(lf - p);
        vesk_log_stitch_append(st, rec, p, part);
        vesk_log_stitch_emit(em, st, 1);
        p += part + 1;
        left -= part + 1;
    }
    /* The chunk's own tail was cut on admission: the line it ends in is short. */
    if (rec->flags & VESK_LOG_FLAG_TRUNCATED) {
        if (!st->has_data) vesk_log_stitch_append(st, rec, p, 0);
        st->truncated = 1;
    }
}

void vesk_log_stitch_flush(const vesk_log_emitter *em, vesk_log_stitch *st, uint64_t now_ms, int force)
{
    if (!st->has_data) return;
    if (st->level == VESK_LOG_DETAIL && st->epoch != vesk_debug_epoch()) {
        vesk_log_count(&vesk_log_cnt.suppressed, 1);
        vesk_log_stitch_reset(st);
        return;
    }
    if (force || now_ms - st->started_mono_ms >= VESK_LOG_STITCH_AGE_MS) vesk_log_stitch_emit(em, st, 0);
}

int vesk_log_emit_now(const vesk_log_emitter *em, int stream, int level, const char *tag, uint64_t epoch,
                      const char *fmt, ...)
{
    char msg[VESK_LOG_PAYLOAD_SIZE];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(msg, sizeof(msg), fmt, ap);
    va_end(ap);
    if (n < 0) return -1;
    size_t len = (size_t)n < sizeof(msg) ? (size_t)n : sizeof(msg) - 1;
    vesk_log_prefix_ctx ctx;
    ctx.mono_ms = vesk_log_mono_ms();
    ctx.wall_valid = vesk_log_wall_ms(&ctx.wall_ms);
    ctx.seq = vesk_log_next_seq();
    ctx.level = level;
    ctx.tag = tag;
    ctx.flags = 0;
    ctx.epoch = level == VESK_LOG_ERROR ? 0 : epoch;
    if (stream < 0) return vesk_log_emit_line(em, &ctx, msg, len, 0);
    vesk_log_line *line = em->scratch;
    vesk_log_line_build(em->id, &ctx, msg, len, 0, line);
    line->stream = (vesk_log_stream)stream;
    return em->sink(em->sink_ctx, line);
}
