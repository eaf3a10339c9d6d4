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

#define BCCAL_TAG "bccal"
#define BCCAL_TOKEN_CAP (VESK_BCCAL_LINE_MAX + 1)
/* Beyond any value a profile holds; keeps every later float conversion
 * and x 10 scaling in range. */
#define BCCAL_DECIMAL_MAX 1e9
#define BCCAL_DISTANCE_MAX_M 3000.0
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

typedef enum {
    K_DECIMAL,     /* a number as it stands */
    K_SPIN,        /* "false" (or "0") off, anything else on */
    K_DISTANCE,    /* metres, at most 3000, stored x 10 */
    K_WIND,        /* -180..180 turned into 0..360 */
    K_DIRECTION,   /* "left" / "right" */
    K_WEIGHT,      /* grams into grains */
    K_DRAG,        /* a drag model name */
    K_OPEN,        /* "true" / "false" */
    K_UNIT,        /* "moa" / "mrad" */
    K_ROUNDED,     /* a whole number of metres */
    K_SCOPE,       /* any token; the unit comes from the offset unit */
    K_RESULT_MOA,  /* a hold in MOA, sign inverted */
    K_RESULT_MRAD, /* a hold in mrad, sign inverted */
} key_kind;

typedef struct {
    const char *key;
    key_kind kind;
    size_t seen;  /* offset of the flag */
    size_t value; /* offset of the value */
} key_row;

#define ROW(key, kind, field)                                                                                          \
    {                                                                                                                  \
        key, kind, offsetof(vesk_bccal_pending, seen_##field), offsetof(vesk_bccal_pending, field)                     \
    }

/* Tested in this order; the first key a line begins with decides. */
static const key_row key_rows[] = {
    ROW("spinDrift", K_SPIN, spin_drift_on),
    ROW("target_distance", K_DISTANCE, target_range_x10),
    ROW("target_angle", K_DECIMAL, target_angle),
    ROW("wind_direction", K_WIND, wind_angle_360),
    ROW("wind_speed", K_DECIMAL, wind_speed),
    ROW("coriolisEffect_lat", K_DECIMAL, coriolis_lat),
    ROW("coriolisEffect_azimuth", K_DECIMAL, coriolis_azimuth),
    ROW("weather_temperature", K_DECIMAL, weather_temperature),
    ROW("weather_airPressure", K_DECIMAL, weather_pressure),
    ROW("weather_humidity", K_DECIMAL, weather_humidity),
    ROW("gun_riflingRange", K_DECIMAL, rifling_range),
    ROW("gun_riflingDirection", K_DIRECTION, rifling_direction),
    ROW("gun_bullet_length", K_DECIMAL, bullet_length),
    ROW("gun_bullet_diameter", K_DECIMAL, bullet_diameter),
    ROW("gun_bullet_weight", K_WEIGHT, bullet_weight_gr),
    ROW("gun_bullet_coefficient", K_DECIMAL, bullet_coefficient),
    ROW("gun_bullet_dragModel", K_DRAG, drag_function),
    ROW("gun_bullet_muzzleVelocity", K_DECIMAL, muzzle_velocity),
    ROW("gun_bullet_zeroingWeather_temperature", K_DECIMAL, zero_weather_temperature),
    ROW("gun_bullet_zeroingWeather_airPressure", K_DECIMAL, zero_weather_pressure),
    ROW("gun_bullet_zeroingWeather_humidity", K_DECIMAL, zero_weather_humidity),
    ROW("gun_bullet_isOpenzeroingWeather", K_OPEN, open_zero_weather),
    ROW("gun_bullet_zeroOffsetUnit", K_UNIT, zero_offset_unit),
    ROW("gun_bullet_zeroOffsetVertical", K_DECIMAL, zero_offset_vertical),
    ROW("gun_bullet_zeroOffsetHorizontal", K_DECIMAL, zero_offset_horizontal),
    ROW("gun_scope_zeroingDistance", K_ROUNDED, zeroing_distance),
    ROW("gun_scope_height", K_DECIMAL, scope_height),
    ROW("gun_scope_unit", K_SCOPE, scope_unit_moa),
    ROW("result_moaVertical", K_RESULT_MOA, result_moa_v),
    ROW("result_moaHorizontal", K_RESULT_MOA, result_moa_h),
    ROW("result_mradVertical", K_RESULT_MRAD, result_mrad_v),
    ROW("result_mradHorizontal", K_RESULT_MRAD, result_mrad_h),
};

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

/* The value of one line into *p; -1 when it cannot be read. */
static int read_value(const key_row *row, const char *token, vesk_bccal_pending *p)
{
    unsigned char *base = (unsigned char *)p;
    double d = 0;
    int i = 0;
    short s = 0;
    switch (row->kind) {
    case K_RESULT_MOA:
    case K_RESULT_MRAD:
        if (decimal(token, &d) != 0) return -1;
        if (fabs(d) > (row->kind == K_RESULT_MOA ? BCCAL_RESULT_MAX_MOA : BCCAL_RESULT_MAX_MRAD)) return -1;
        d = -d;
        memcpy(base + row->value, &d, sizeof d);
        break;
    case K_DECIMAL:
    case K_WIND:
    case K_WEIGHT:
        if (decimal(token, &d) != 0) return -1;
        if (row->kind == K_WIND) d = convertWindTo360(d);
        if (row->kind == K_WEIGHT) d = convertGToGr(d);
        memcpy(base + row->value, &d, sizeof d);
        break;
    case K_DISTANCE:
        if (number(token, &d) != 0) return -1;
        /* No range below the muzzle: a negative one would wrap the field. */
        d = d > BCCAL_DISTANCE_MAX_M ? BCCAL_DISTANCE_MAX_M : d < 0 ? 0 : d;
        s = (short)(d * 10);
        memcpy(base + row->value, &s, sizeof s);
        break;
    case K_ROUNDED:
        if (number(token, &d) != 0) return -1;
        d = round(d);
        s = (short)(d > INT16_MAX ? INT16_MAX : d < INT16_MIN ? INT16_MIN : d);
        memcpy(base + row->value, &s, sizeof s);
        break;
    case K_SPIN:
        /* The export writes the switch as a number: 0 must read back off. */
        i = strncmp(token, "false", 5) == 0 || strcmp(token, "0") == 0 ? 0 : 1;
        memcpy(base + row->value, &i, sizeof i);
        break;
    case K_DIRECTION:
    case K_OPEN:
    case K_UNIT:
        i = row->kind == K_DIRECTION ? word(token, "left", "right")
            : row->kind == K_OPEN    ? word(token, "false", "true")
                                     : word(token, "moa", "mrad");
        if (i < 0) return -1;
        memcpy(base + row->value, &i, sizeof i);
        break;
    case K_DRAG:
        i = DRAG_OTHER;
        for (const auto &n : drag_names)
            if (strcmp(token, n.name) == 0) i = n.drag;
        memcpy(base + row->value, &i, sizeof i);
        break;
    case K_SCOPE:
        i = !(p->seen_zero_offset_unit && p->zero_offset_unit == 1);
        memcpy(base + row->value, &i, sizeof i);
        break;
    }
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

/* The values a file sets in all six profiles, with the flag that says the
 * file held them; an offset fills both fields of its pair. */
static const struct {
    size_t seen;  /* offset of the flag in vesk_bccal_pending */
    size_t field; /* offset in Info_ballistics */
    size_t size;
} common_fields[] = {
#define COMMON(flag, member)                                                                                           \
    {                                                                                                                  \
        offsetof(vesk_bccal_pending, seen_##flag), offsetof(Info_ballistics, member), sizeof(Info_ballistics::member)  \
    }
    COMMON(spin_drift_on, spinDriftOpt),
    COMMON(target_range_x10, target.range),
    COMMON(target_angle, target.shootingAngle),
    COMMON(wind_angle_360, wind.angle),
    COMMON(wind_speed, wind.speed),
    COMMON(coriolis_lat, corioliseffect.lat),
    COMMON(coriolis_azimuth, corioliseffect.angle),
    COMMON(weather_temperature, atmosphere.temperature),
    COMMON(weather_pressure, atmosphere.barometer),
    COMMON(weather_humidity, atmosphere.relative_humidity),
    COMMON(rifling_range, gun.riflingRange),
    COMMON(rifling_direction, gun.direction),
    COMMON(zero_offset_unit, gun.bullet.zeroOffsetUnit),
    COMMON(zero_offset_vertical, gun.bullet.zeroOffsetVerticalMOA),
    COMMON(zero_offset_vertical, gun.bullet.zeroOffsetVerticalMRAD),
    COMMON(zero_offset_horizontal, gun.bullet.zeroOffsetHorizontalMOA),
    COMMON(zero_offset_horizontal, gun.bullet.zeroOffsetHorizontalMRAD),
    COMMON(scope_unit_moa, gun.scope.unit),
#undef COMMON
};

void vesk_bccal_apply_pending(const vesk_bccal_pending *p, unsigned current)
{
    if (p == NULL) return;
    if (current >= VESK_PROFILE_COUNT) current = 0;
    Info_ballistics *all = qel_ballistics.ballistics;
    Info_ballistics *cur = &all[current];
    /* Everything goes into the current profile first; the values common to
     * all six follow into the others once it is within its limits. */
    if (p->seen_spin_drift_on) cur->spinDriftOpt = (uint8_t)p->spin_drift_on;
    if (p->seen_target_range_x10) cur->target.range = p->target_range_x10;
    if (p->seen_target_angle) cur->target.shootingAngle = p->target_angle;
    if (p->seen_wind_angle_360) cur->wind.angle = p->wind_angle_360;
    if (p->seen_wind_speed) cur->wind.speed = p->wind_speed;
    if (p->seen_coriolis_lat) cur->corioliseffect.lat = p->coriolis_lat;
    if (p->seen_coriolis_azimuth) cur->corioliseffect.angle = p->coriolis_azimuth;
    if (p->seen_weather_temperature) cur->atmosphere.temperature = (float)p->weather_temperature;
    if (p->seen_weather_pressure) cur->atmosphere.barometer = (float)p->weather_pressure;
    if (p->seen_weather_humidity) cur->atmosphere.relative_humidity = (float)p->weather_humidity;
    if (p->seen_rifling_range) cur->gun.riflingRange = p->rifling_range;
    if (p->seen_rifling_direction) cur->gun.direction = (RiflingDirection)p->rifling_direction;

    Info_bullet *bullet = &cur->gun.bullet;
    if (p->seen_bullet_length) bullet->length = p->bullet_length;
    if (p->seen_bullet_diameter) bullet->diameter = p->bullet_diameter;
    if (p->seen_bullet_weight_gr) bullet->weight = p->bullet_weight_gr;
    if (p->seen_bullet_coefficient) bullet->ballisticsCoef = p->bullet_coefficient;
    if (p->seen_drag_function) bullet->dragFunction = p->drag_function;
    if (p->seen_muzzle_velocity) bullet->velocity = p->muzzle_velocity;
    if (p->seen_zero_weather_temperature) bullet->atmosphere.temperature = (float)p->zero_weather_temperature;
    if (p->seen_zero_weather_pressure) bullet->atmosphere.barometer = (float)p->zero_weather_pressure;
    if (p->seen_zero_weather_humidity) bullet->atmosphere.relative_humidity = (float)p->zero_weather_humidity;
    if (p->seen_open_zero_weather) bullet->isOpenAtmosphere = p->open_zero_weather;

    if (p->seen_zero_offset_unit) bullet->zeroOffsetUnit = (ScopeUnit)p->zero_offset_unit;
    /* Offsets are read in profile 0's unit and held in both fields. */
    const int in_mrad = p->seen_zero_offset_unit ? p->zero_offset_unit == MRAD
                                                 : vesk_enum_value(&all[0].gun.bullet.zeroOffsetUnit) == MRAD;
    if (p->seen_zero_offset_vertical) {
        const double v = p->zero_offset_vertical;
        bullet->zeroOffsetVerticalMOA = in_mrad ? mrad2Moa(v) : v;
        bullet->zeroOffsetVerticalMRAD = in_mrad ? v : moa2Mrad(v);
    }
    if (p->seen_zero_offset_horizontal) {
        const double v = p->zero_offset_horizontal;
        bullet->zeroOffsetHorizontalMOA = in_mrad ? mrad2Moa(v) : v;
        bullet->zeroOffsetHorizontalMRAD = in_mrad ? v : moa2Mrad(v);
    }
    if (p->seen_zeroing_distance) cur->gun.scope.zeroRange = p->zeroing_distance;
    if (p->seen_scope_height) cur->gun.scope.sightHeightOverBore = p->scope_height;
    if (p->seen_scope_unit_moa) cur->gun.scope.unit = p->scope_unit_moa ? MOA : MRAD;
    if (p->seen_result_moa_v) g_ballistics_result.moaV = p->result_moa_v;
    if (p->seen_result_moa_h) g_ballistics_result.moaH = p->result_moa_h;
    if (p->seen_result_mrad_v) g_ballistics_result.mradV = p->result_mrad_v;
    if (p->seen_result_mrad_h) g_ballistics_result.mradH = p->result_mrad_h;

    Info_ballistics_valid(cur);
    /* Profile 0 holds the common values the GUI shows and the export
     * serves: the others take them as the current profile now holds them,
     * within its limits; their own values stay as they were. */
    const unsigned char *from = (const unsigned char *)cur;
    for (const auto &c : common_fields) {
        int seen = 0;
        memcpy(&seen, (const unsigned char *)p + c.seen, sizeof seen);
        if (!seen) continue;
        for (int i = 0; i < VESK_PROFILE_COUNT; i++)
            if (&all[i] != cur) memcpy((unsigned char *)&all[i] + c.field, from + c.field, c.size);
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

int vesk_bccal_export_text(const Qel_IR_Ballistics *b, char *out, size_t cap)
{
    if (b == NULL || out == NULL || cap == 0) return -EINVAL;
    export_text t = {out, cap, 0, 0};
    out[0] = '\0';
    unsigned current = b->u8CurrentBallistics;
    if (current >= VESK_PROFILE_COUNT) current = 0;
    const Info_ballistics *p0 = &b->ballistics[0], *cur = &b->ballistics[current];
    const Info_bullet *bullet = &cur->gun.bullet;
    line(&t, "%s", VESK_BCCAL_SECTION);
    line(&t, "spinDrift=%d", p0->spinDriftOpt);
    line(&t, "target_distance=%lf", p0->target.range / 10.0);
    line(&t, "target_angle=%lf", p0->target.shootingAngle);
    line(&t, "wind_direction=%lf", convertWindTo180(p0->wind.angle));
    line(&t, "wind_speed=%lf", p0->wind.speed);
    if (p0->corioliseffect.CoriolisEffectSwitch) {
        line(&t, "coriolisEffect_lat=%lf", p0->corioliseffect.lat);
        line(&t, "coriolisEffect_azimuth=%lf", p0->corioliseffect.angle);
    } else {
        line(&t, "coriolisEffect_lat=0");
        line(&t, "coriolisEffect_azimuth=0");
    }
    line(&t, "weather_temperature=%lf", (double)p0->atmosphere.temperature);
    line(&t, "weather_airPressure=%lf", (double)p0->atmosphere.barometer);
    line(&t, "weather_humidity=%lf", (double)p0->atmosphere.relative_humidity);
    line(&t, "gun_riflingRange=%lf", p0->gun.riflingRange);
    line(&t, "gun_riflingDirection=%d", (int)vesk_enum_value(&p0->gun.direction));
    line(&t, "gun_bullet_length=%lf", bullet->length);
    line(&t, "gun_bullet_diameter=%lf", bullet->diameter);
    line(&t, "gun_bullet_weight=%lf", convertGrToG(bullet->weight));
    line(&t, "gun_bullet_coefficient=%lf", bullet->ballisticsCoef);
    line(&t, "gun_bullet_dragModel=%s", setBallisticdragFunction(bullet->dragFunction));
    line(&t, "gun_bullet_muzzleVelocity=%lf", bullet->velocity);
    line(&t, "gun_bullet_zeroingWeather_temperature=%lf", (double)bullet->atmosphere.temperature);
    line(&t, "gun_bullet_zeroingWeather_airPressure=%lf", (double)bullet->atmosphere.barometer);
    line(&t, "gun_bullet_zeroingWeather_humidity=%lf", (double)bullet->atmosphere.relative_humidity);
    line(&t, "gun_bullet_isOpenzeroingWeather=%d", bullet->isOpenAtmosphere);
    line(&t, "gun_bullet_zeroOffsetUnit=0");
    line(&t, "gun_bullet_zeroOffsetVertical=%lf", p0->gun.bullet.zeroOffsetVerticalMOA);
    line(&t, "gun_bullet_zeroOffsetHorizontalMOA=%lf", p0->gun.bullet.zeroOffsetHorizontalMOA);
    line(&t, "gun_scope_zeroingDistance=%d", cur->gun.scope.zeroRange);
    line(&t, "gun_scope_height=%lf", cur->gun.scope.sightHeightOverBore);
    line(&t, "gun_scope_unit=0");
    line(&t, "gun_scope_verticalUnitPerCard=%lf", p0->gun.scope.verticalUnitPerCard);
    line(&t, "gun_scope_horizontalUnitPerCard=%lf", p0->gun.scope.horizontalUnitPerCard);
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
