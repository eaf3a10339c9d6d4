#include "bccal.h"

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ballistic_fbc.h"
#include "ballistic_thread.h"
#include "ballistic_units.h"
#include "vesk_log.h"
#include "vesk_persist.h"
#include "vesk_profile_fields.h"

#define BCCAL_TAG "bccal"
#define BCCAL_TOKEN_CAP (VESK_BCCAL_LINE_MAX + 1)
/* Beyond any value a profile holds; keeps every later float conversion
 * and x 10 scaling in range. */
#define BCCAL_DECIMAL_MAX 1e9
/* A hold the phone reports is an angle off the line of sight to a target
 * ahead: at most a right angle, 5400 MOA (in mrad by the factor the
 * scope converts with). Anything larger is no solution and would draw the
 * mark off any screen. */
#define BCCAL_RESULT_MAX_MOA 5400.0
#define BCCAL_RESULT_MAX_MRAD (BCCAL_RESULT_MAX_MOA / 3.44)

/* ---- the value token ---------------------------------------------------- */

static int blank(char c) { return c == ' ' || c == '\t'; }

int parse_equal_value_str(const char *line, const char *key, char *out, size_t capacity)
{
    if (out == NULL || capacity == 0) return -1;
    out[0] = '\0';
    if (line == NULL || key == NULL || *key == '\0') return -1;
    const char *at = strstr(line, key);
    if (at == NULL) return -1;
    const char *eq = strchr(at + strlen(key), '=');
    if (eq == NULL) return -1;
    const char *start = eq + 1;
    while (blank(*start)) start++;
    size_t n = 0;
    while (start[n] != '\0' && !blank(start[n])) n++;
    if (n == 0 || n >= capacity) return -1;
    memcpy(out, start, n);
    out[n] = '\0';
    return 0;
}

/* ---- the import keys ---------------------------------------------------- */

/* One key of the import: a profile field of vesk_profile_fields (its key
 * and form come from there), or a hold of the last result the phone
 * reports. */
typedef struct {
    const char *key;
    vesk_pf_xchg form;
    size_t seen;  /* offset of the flag in vesk_bccal_pending */
    size_t value; /* offset of the value */
    const vesk_profile_field *field;
    const vesk_profile_field *mrad; /* an offset's MRAD field beside its MOA one */
    size_t result;                  /* a hold: offset in Result_ballistics */
    double result_max;              /* a hold: its largest size */
} key_row;

#define PENDING(member) offsetof(vesk_bccal_pending, seen_##member), offsetof(vesk_bccal_pending, member)

/* A profile field's key; an offset names its MRAD field beside it. */
static constexpr key_row field_row(vesk_pf_id id, size_t seen, size_t value, vesk_pf_id mrad = VESK_PF_COUNT)
{
    return {vesk_profile_fields[id].xchg_import,
            vesk_profile_fields[id].xchg,
            seen,
            value,
            &vesk_profile_fields[id],
            mrad < VESK_PF_COUNT ? &vesk_profile_fields[mrad] : nullptr,
            0,
            0};
}

static constexpr key_row result_row(const char *key, size_t seen, size_t value, size_t hold, double max)
{
    return {key, VESK_PF_X_DECIMAL, seen, value, nullptr, nullptr, hold, max};
}

/* Tested in this order; the first key a line begins with decides. */
static const key_row key_rows[] = {
    field_row(VESK_PF_SPIN_DRIFT, PENDING(spin_drift_on)),
    field_row(VESK_PF_TARGET_RANGE, PENDING(target_range_x10)),
    field_row(VESK_PF_TARGET_ANGLE, PENDING(target_angle)),
    field_row(VESK_PF_WIND_ANGLE, PENDING(wind_angle_360)),
    field_row(VESK_PF_WIND_SPEED, PENDING(wind_speed)),
    field_row(VESK_PF_CORIOLIS_LAT, PENDING(coriolis_lat)),
    field_row(VESK_PF_CORIOLIS_AZIMUTH, PENDING(coriolis_azimuth)),
    field_row(VESK_PF_WEATHER_TEMPERATURE, PENDING(weather_temperature)),
    field_row(VESK_PF_WEATHER_PRESSURE, PENDING(weather_pressure)),
    field_row(VESK_PF_WEATHER_HUMIDITY, PENDING(weather_humidity)),
    field_row(VESK_PF_TWIST_RATE, PENDING(rifling_range)),
    field_row(VESK_PF_TWIST_DIRECTION, PENDING(rifling_direction)),
    field_row(VESK_PF_BULLET_LENGTH, PENDING(bullet_length)),
    field_row(VESK_PF_BULLET_DIAMETER, PENDING(bullet_diameter)),
    field_row(VESK_PF_BULLET_WEIGHT, PENDING(bullet_weight_gr)),
    field_row(VESK_PF_BULLET_COEFFICIENT, PENDING(bullet_coefficient)),
    field_row(VESK_PF_DRAG_FUNCTION, PENDING(drag_function)),
    field_row(VESK_PF_MUZZLE_VELOCITY, PENDING(muzzle_velocity)),
    field_row(VESK_PF_ZERO_WEATHER_TEMPERATURE, PENDING(zero_weather_temperature)),
    field_row(VESK_PF_ZERO_WEATHER_PRESSURE, PENDING(zero_weather_pressure)),
    field_row(VESK_PF_ZERO_WEATHER_HUMIDITY, PENDING(zero_weather_humidity)),
    field_row(VESK_PF_ZERO_WEATHER_ON, PENDING(open_zero_weather)),
    field_row(VESK_PF_OFFSET_UNIT, PENDING(zero_offset_unit)),
    field_row(VESK_PF_OFFSET_VERTICAL_MOA, PENDING(zero_offset_vertical), VESK_PF_OFFSET_VERTICAL_MRAD),
    field_row(VESK_PF_OFFSET_HORIZONTAL_MOA, PENDING(zero_offset_horizontal), VESK_PF_OFFSET_HORIZONTAL_MRAD),
    field_row(VESK_PF_ZERO_RANGE, PENDING(zeroing_distance)),
    field_row(VESK_PF_SCOPE_HEIGHT, PENDING(scope_height)),
    field_row(VESK_PF_SCOPE_UNIT, PENDING(scope_unit_moa)),
    result_row("result_moaVertical", PENDING(result_moa_v), offsetof(Result_ballistics, moaV), BCCAL_RESULT_MAX_MOA),
    result_row("result_moaHorizontal", PENDING(result_moa_h), offsetof(Result_ballistics, moaH), BCCAL_RESULT_MAX_MOA),
    result_row("result_mradVertical", PENDING(result_mrad_v), offsetof(Result_ballistics, mradV),
               BCCAL_RESULT_MAX_MRAD),
    result_row("result_mradHorizontal", PENDING(result_mrad_h), offsetof(Result_ballistics, mradH),
               BCCAL_RESULT_MAX_MRAD),
};
#undef PENDING

/* How vesk_bccal_pending holds a form's value: a short, an int or a
 * double. */
static vesk_pf_type held(vesk_pf_xchg form)
{
    switch (form) {
    case VESK_PF_X_TENTHS:
    case VESK_PF_X_WHOLE:
        return VESK_PF_S16;
    case VESK_PF_X_SWITCH:
    case VESK_PF_X_LEFT_RIGHT:
    case VESK_PF_X_DRAG:
    case VESK_PF_X_FALSE_TRUE:
    case VESK_PF_X_OFFSET_UNIT:
    case VESK_PF_X_SCOPE_UNIT:
        return VESK_PF_I32;
    default:
        return VESK_PF_F64;
    }
}

/* Drag model names of the import; any other name is the g7 model. */
static const struct {
    const char *name;
    int drag;
} drag_names[] = {{"g1", 0}, {"g2", 1}, {"g5", 2}, {"g6", 3}, {"g8", 5}};
#define DRAG_OTHER 4

/* A number, however large: for the values that are held at a limit as
 * they are read. */
static int number(const char *token, double *out)
{
    char *end = NULL;
    const double v = strtod(token, &end);
    if (end == token || *end != '\0' || isnan(v)) return -1;
    *out = v;
    return 0;
}

static int decimal(const char *token, double *out)
{
    double v = 0;
    if (number(token, &v) != 0 || !isfinite(v) || fabs(v) > BCCAL_DECIMAL_MAX) return -1;
    *out = v;
    return 0;
}

/* One word of a pair: 0 for the first, 1 for the second, -1 for neither.
 * The phone writes its words in lower case; another spelling is no word. */
static int word(const char *token, const char *first, const char *second)
{
    if (strcmp(token, first) == 0) return 0;
    if (strcmp(token, second) == 0) return 1;
    return -1;
}

/* The distance a form holds within the field's limit, where the row has
 * one for the import, else within a short. */
static short held_short(const vesk_profile_field *f, double d)
{
    const int limited = f->limit_in & VESK_PF_LIMIT_XCHG_IMPORT;
    const double lo = limited ? f->lo : INT16_MIN, hi = limited ? f->hi : INT16_MAX;
    return (short)(d > hi ? hi : d < lo ? lo : d);
}

/* The value of one line into *p; -1 when it cannot be read. */
static int read_value(const key_row *row, const char *token, vesk_bccal_pending *p)
{
    unsigned char *base = (unsigned char *)p;
    double d = 0;
    int i = 0;
    short s = 0;
    switch (row->form) {
    case VESK_PF_X_DECIMAL:
    case VESK_PF_X_CORIOLIS:
    case VESK_PF_X_OFFSET:
    case VESK_PF_X_WIND:
    case VESK_PF_X_GRAMS:
        if (decimal(token, &d) != 0) return -1;
        if (row->result_max > 0) {
            if (fabs(d) > row->result_max) return -1;
            d = -d;
        }
        if (row->form == VESK_PF_X_WIND) d = convertWindTo360(d);
        if (row->form == VESK_PF_X_GRAMS) d = convertGToGr(d);
        break;
    case VESK_PF_X_TENTHS:
        /* No range below the muzzle: a negative one would wrap the field. */
        if (number(token, &d) != 0) return -1;
        s = held_short(row->field, d * 10);
        break;
    case VESK_PF_X_WHOLE:
        if (number(token, &d) != 0) return -1;
        s = held_short(row->field, round(d));
        break;
    case VESK_PF_X_SWITCH:
        /* The export writes the switch as a number: 0 must read back off. */
        i = strncmp(token, "false", 5) == 0 || strcmp(token, "0") == 0 ? 0 : 1;
        break;
    case VESK_PF_X_LEFT_RIGHT:
    case VESK_PF_X_FALSE_TRUE:
    case VESK_PF_X_OFFSET_UNIT:
        i = row->form == VESK_PF_X_LEFT_RIGHT   ? word(token, "left", "right")
            : row->form == VESK_PF_X_FALSE_TRUE ? word(token, "false", "true")
                                                : word(token, "moa", "mrad");
        if (i < 0) return -1;
        break;
    case VESK_PF_X_DRAG:
        i = DRAG_OTHER;
        for (const auto &n : drag_names)
            if (strcmp(token, n.name) == 0) i = n.drag;
        break;
    case VESK_PF_X_SCOPE_UNIT:
        i = !(p->seen_zero_offset_unit && p->zero_offset_unit == 1);
        break;
    case VESK_PF_X_NONE:
        return -1;
    }
    const vesk_pf_type as = held(row->form);
    if (as == VESK_PF_S16)
        memcpy(base + row->value, &s, sizeof s);
    else if (as == VESK_PF_I32)
        memcpy(base + row->value, &i, sizeof i);
    else
        memcpy(base + row->value, &d, sizeof d);
    const int one = 1;
    memcpy(base + row->seen, &one, sizeof one);
    return 0;
}

static void parse_line(const char *line, int number, vesk_bccal_pending *p)
{
    for (const key_row &row : key_rows) {
        if (strncmp(line, row.key, strlen(row.key)) != 0) continue;
        char token[BCCAL_TOKEN_CAP];
        if (parse_equal_value_str(line, row.key, token, sizeof token) != 0 || read_value(&row, token, p) != 0)
            vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "line %d skipped: no value for %s in '%s'", number, row.key,
                            line);
        return;
    }
}

/* A byte a text file holds: printable, blank, or a line end. */
static int text_byte(unsigned char c) { return c >= 0x20 || c == '\t' || c == '\n' || c == '\r'; }

int vesk_bccal_parse_text(const char *text, size_t len, vesk_bccal_pending *out)
{
    if (out == NULL || (text == NULL && len > 0)) return -EINVAL;
    memset(out, 0, sizeof *out);
    if (len > VESK_BCCAL_FILE_MAX) {
        vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "import refused: %zu bytes, at most %d", len, VESK_BCCAL_FILE_MAX);
        return -EFBIG;
    }
    for (size_t i = 0; i < len; i++) {
        if (!text_byte((unsigned char)text[i])) {
            vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "import refused: byte 0x%02x at %zu is no text",
                            (unsigned char)text[i], i);
            return -EINVAL;
        }
    }
    /* Values are gathered aside: a file without its section gives none. */
    vesk_bccal_pending scratch;
    memset(&scratch, 0, sizeof scratch);
    int in_section = 0, number = 0;
    for (size_t at = 0; at < len;) {
        /* The last line ends at the end of the file, newline or not. */
        const char *nl = (const char *)memchr(text + at, '\n', len - at);
        size_t n = nl != NULL ? (size_t)(nl - (text + at)) : len - at;
        const size_t next = at + n + 1;
        number++;
        if (n > 0 && text[at + n - 1] == '\r') n--;
        std::string line(text + at, n);
        at = next;
        if (!in_section) {
            while (!line.empty() && blank(line.back())) line.pop_back();
            in_section = line == VESK_BCCAL_SECTION;
            continue;
        }
        /* A value cut to fit the line would be taken as another value. */
        if (n > VESK_BCCAL_LINE_MAX) {
            vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "line %d skipped: %zu characters, at most %d", number, n,
                            VESK_BCCAL_LINE_MAX);
            continue;
        }
        parse_line(line.c_str(), number, &scratch);
    }
    if (!in_section) {
        vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "import refused: no %s line", VESK_BCCAL_SECTION);
        return -EINVAL;
    }
    *out = scratch;
    return 0;
}

int vesk_bccal_parse_file(const char *path, vesk_bccal_pending *out)
{
    if (out == NULL) return -EINVAL;
    memset(out, 0, sizeof *out);
    int fd = path != NULL ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return -1;
    /* One byte more than allowed tells an oversized file from a full one. */
    std::string text(VESK_BCCAL_FILE_MAX + 1, '\0');
    size_t got = 0;
    int rc = 0;
    while (got < text.size()) {
        ssize_t n = read(fd, &text[got], text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) rc = -EIO;
        if (n <= 0) break;
        got += (size_t)n;
    }
    close(fd);
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "import refused: %s could not be read", path);
        return rc;
    }
    return vesk_bccal_parse_text(text.data(), got, out);
}

/* ---- applying an import ------------------------------------------------- */

static int seen(const vesk_bccal_pending *p, const key_row *k)
{
    int v = 0;
    memcpy(&v, (const unsigned char *)p + k->seen, sizeof v);
    return v;
}

/* The value a key row read, as a number. */
static double pending_value(const vesk_bccal_pending *p, const key_row *k)
{
    return vesk_pf_number_at((const unsigned char *)p + k->value, held(k->form));
}

static void set_field(Info_ballistics *b, const vesk_profile_field *f, double v)
{
    if (f->type == VESK_PF_F32 || f->type == VESK_PF_F64)
        vesk_pf_set_real(b, f, v);
    else
        vesk_pf_set_int(b, f, (int32_t)v);
}

/* One value of the file into the profile. An offset is read in profile 0's
 * unit (or the file's own) and held in both its fields. */
static void apply_key(Info_ballistics *cur, const key_row *k, double v, int offsets_in_mrad)
{
    switch (k->form) {
    case VESK_PF_X_OFFSET:
        set_field(cur, k->field, offsets_in_mrad ? mrad2Moa(v) : v);
        set_field(cur, k->mrad, offsets_in_mrad ? v : moa2Mrad(v));
        break;
    case VESK_PF_X_SCOPE_UNIT:
        set_field(cur, k->field, v != 0 ? MOA : MRAD);
        break;
    default:
        set_field(cur, k->field, v);
        break;
    }
}

void vesk_bccal_apply_pending(const vesk_bccal_pending *p, unsigned current)
{
    if (p == NULL) return;
    if (current >= VESK_PROFILE_COUNT) current = 0;
    Info_ballistics *all = qel_ballistics.ballistics;
    Info_ballistics *cur = &all[current];
    const int in_mrad = p->seen_zero_offset_unit ? p->zero_offset_unit == MRAD
                                                 : vesk_enum_value(&all[0].gun.bullet.zeroOffsetUnit) == MRAD;
    /* Everything goes into the current profile first; the values common to
     * all six follow into the others once it is within its limits. */
    for (const key_row &k : key_rows) {
        if (!seen(p, &k)) continue;
        const double v = pending_value(p, &k);
        if (k.field != NULL)
            apply_key(cur, &k, v, in_mrad);
        else
            memcpy((unsigned char *)&g_ballistics_result + k.result, &v, sizeof v);
    }

    Info_ballistics_valid(cur);
    /* Profile 0 holds the common values the GUI shows and the export
     * serves: the others take them as the current profile now holds them,
     * within its limits; their own values stay as they were. */
    for (const key_row &k : key_rows) {
        if (k.field == NULL || k.field->scope != VESK_PF_ALL_SIX || !seen(p, &k)) continue;
        for (int i = 0; i < VESK_PROFILE_COUNT; i++) {
            if (&all[i] == cur) continue;
            vesk_pf_copy(&all[i], cur, k.field);
            if (k.mrad != NULL) vesk_pf_copy(&all[i], cur, k.mrad);
        }
    }

    /* The yard fields are what a scope set to yards shows and edits: they
     * follow the metres, as the GUI's editors keep them. */
    if (p->seen_target_range_x10)
        for (int i = 0; i < VESK_PROFILE_COUNT; i++)
            all[i].target.range_yard = vesk_yards_of_metres(all[i].target.range);
    if (p->seen_zeroing_distance) cur->gun.scope.zeroRange_yard = vesk_yards_of_metres(cur->gun.scope.zeroRange);

    const char coriolis = all[0].corioliseffect.lat != 0 || all[0].corioliseffect.angle != 0;
    for (int i = 0; i < VESK_PROFILE_COUNT; i++) all[i].corioliseffect.CoriolisEffectSwitch = coriolis;

    /* The zero point takes the zeroing distance as the profile keeps it,
     * within its limits. */
    if (p->seen_zeroing_distance) {
        const unsigned group =
            qel_ir_cursor.u8CurrentGroup < VESK_PROFILE_COUNT ? qel_ir_cursor.u8CurrentGroup : current;
        qel_ir_cursor.group[group].zero[0].u16IrCursorDistance = cur->gun.scope.zeroRange;
        qel_ir_cursor.group[group].zero[0].u16IrCursorDistanceYD = cur->gun.scope.zeroRange_yard;
    }
    Qel_ballistics_paramsSave_FBC(cur);
}

int vesk_bccal_import_from(const char *path)
{
    vesk_bccal_pending pending;
    int rc = vesk_bccal_parse_file(path, &pending);
    if (rc == -1) {
        printf("http_send_bccal_read: fp is NULL!\n");
        return -1;
    }
    if (rc != 0) return rc;
    rc = vesk_persist_edit_begin();
    if (rc != 0) {
        vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "import not applied: edit refused (%d)", rc);
        return rc;
    }
    vesk_profiles_lock();
    /* What the import replaces, for a store that refuses it: nothing of
     * it may stay in use that is not kept. */
    vesk_persist_profiles before;
    before.vesk_ballistics = qel_ballistics;
    before.vesk_cursor = qel_ir_cursor;
    const Result_ballistics result = g_ballistics_result;
    Info_ballistics working;
    vesk_ballistics_working_get(&working);
    vesk_bccal_apply_pending(&pending, qel_ballistics.u8CurrentBallistics);
    vesk_persist_profiles snapshot;
    snapshot.vesk_ballistics = qel_ballistics;
    snapshot.vesk_cursor = qel_ir_cursor;
    rc = vesk_persist_stage_profiles(&snapshot);
    if (rc != 0) {
        qel_ballistics = before.vesk_ballistics;
        qel_ir_cursor = before.vesk_cursor;
        g_ballistics_result = result;
        Qel_ballistics_paramsSave_FBC(&working);
    }
    vesk_profiles_unlock();
    if (rc != 0) vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "import not applied: profiles not staged (%d)", rc);
    vesk_persist_checkpoint();
    vesk_persist_edit_end();
    return rc;
}

int http_send_bccal_read(void) { return vesk_bccal_import_from(VESK_BCCAL_IMPORT_PATH); }

/* ---- the export --------------------------------------------------------- */

struct export_text {
    char *out;
    size_t cap;
    size_t len;
    int failed;
};

static void line(export_text *t, const char *format, ...) __attribute__((format(printf, 2, 3)));
static void line(export_text *t, const char *format, ...)
{
    char buf[VESK_BCCAL_LINE_MAX + 1];
    va_list ap;
    va_start(ap, format);
    const int n = vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    /* A value cut to fit would be served as a different value. */
    if (n < 0 || n > VESK_BCCAL_LINE_MAX || t->len + (size_t)n + 1 >= t->cap) {
        if (!t->failed) vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "export refused: '%s' does not fit", buf);
        t->failed = 1;
        return;
    }
    memcpy(t->out + t->len, buf, (size_t)n);
    t->len += (size_t)n;
    t->out[t->len++] = '\n';
    t->out[t->len] = '\0';
}

/* One export line: the field's key and its value as the file writes it. */
static void export_field(export_text *t, const vesk_profile_field *f, const Info_ballistics *b)
{
    const char *key = f->xchg_export;
    switch (f->xchg) {
    case VESK_PF_X_SWITCH:
    case VESK_PF_X_LEFT_RIGHT:
    case VESK_PF_X_FALSE_TRUE:
    case VESK_PF_X_WHOLE:
        line(t, "%s=%d", key, (int)vesk_pf_get_int(b, f));
        break;
    case VESK_PF_X_TENTHS:
        line(t, "%s=%lf", key, vesk_pf_get(b, f) / 10.0);
        break;
    case VESK_PF_X_WIND:
        line(t, "%s=%lf", key, convertWindTo180(vesk_pf_get(b, f)));
        break;
    case VESK_PF_X_GRAMS:
        line(t, "%s=%lf", key, convertGrToG(vesk_pf_get(b, f)));
        break;
    case VESK_PF_X_DRAG:
        line(t, "%s=%s", key, setBallisticdragFunction(vesk_pf_get_int(b, f)));
        break;
    case VESK_PF_X_OFFSET_UNIT:
    case VESK_PF_X_SCOPE_UNIT:
        line(t, "%s=0", key);
        break;
    case VESK_PF_X_CORIOLIS:
        if (vesk_pf_get_int(b, &vesk_profile_fields[VESK_PF_CORIOLIS_SWITCH]))
            line(t, "%s=%lf", key, vesk_pf_get(b, f));
        else
            line(t, "%s=0", key);
        break;
    case VESK_PF_X_DECIMAL:
    case VESK_PF_X_OFFSET:
    case VESK_PF_X_NONE:
        line(t, "%s=%lf", key, vesk_pf_get(b, f));
        break;
    }
}

int vesk_bccal_export_text(const Qel_IR_Ballistics *b, char *out, size_t cap)
{
    if (b == NULL || out == NULL || cap == 0) return -EINVAL;
    export_text t = {out, cap, 0, 0};
    out[0] = '\0';
    unsigned current = b->u8CurrentBallistics;
    if (current >= VESK_PROFILE_COUNT) current = 0;
    line(&t, "%s", VESK_BCCAL_SECTION);
    /* A value of the current profile's own from it, one common to all six
     * from profile 0. */
    for (const vesk_profile_field &f : vesk_profile_fields)
        if (f.xchg_export != NULL) export_field(&t, &f, &b->ballistics[f.scope == VESK_PF_CURRENT ? current : 0]);
    return t.failed ? -EOVERFLOW : (int)t.len;
}

/* Written aside and moved into place, so the daemon never serves half a
 * file. */
static int write_export(const char *path, const char *text, size_t len)
{
    const std::string tmp = std::string(path) + ".tmp";
    FILE *f = fopen(tmp.c_str(), "w");
    if (f == NULL) {
        printf("bccal_save_4http: fp is NULL!\n");
        return -1;
    }
    int ok = fwrite(text, 1, len, f) == len;
    ok = fclose(f) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path) != 0) {
        vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "export to %s failed errno=%d", path, errno);
        unlink(tmp.c_str());
        return -EIO;
    }
    return 0;
}

int vesk_bccal_export_to(const char *path)
{
    if (path == NULL) return -1;
    Qel_IR_Ballistics copy;
    vesk_profiles_lock();
    copy = qel_ballistics;
    vesk_profiles_unlock();
    char text[4096];
    const int len = vesk_bccal_export_text(&copy, text, sizeof text);
    const int rc = len < 0 ? len : write_export(path, text, (size_t)len);
    /* An earlier export left in place would reach the phone as the scope's
     * profile of now. */
    if (rc != 0 && unlink(path) == 0) vesk_log_printf(VESK_LOG_ERROR, BCCAL_TAG, "the earlier export %s removed", path);
    return rc;
}

int bccal_save_4http(void) { return vesk_bccal_export_to(VESK_BCCAL_EXPORT_PATH); }
