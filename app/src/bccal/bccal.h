// The phone's ballistic exchange files on the data partition. Import: the
// HTTP daemon leaves "/usrdata/http_send_bccalfile.txt", a "[bccal]" line
// and then key=value lines; some values go to all six profiles, some to
// the current one, four into the last ballistic result. Export: the same
// form written to "/usrdata/http_get_bccalfile.txt" for the daemon to
// serve. The phone command handler calls the two entry points on the app
// bus thread; the rest is offered for tests and the fuzz target.
//
// Errors: 0 or a negative value; -1 is a file that cannot be opened or
// created, every other failure a negative errno.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "qel_dev_status.h" /* Qel_IR_Ballistics */

#define VESK_BCCAL_IMPORT_PATH "/usrdata/http_send_bccalfile.txt"
#define VESK_BCCAL_EXPORT_PATH "/usrdata/http_get_bccalfile.txt"
#define VESK_BCCAL_SECTION "[bccal]"
/* A line, and a value token, hold at most 63 characters. */
#define VESK_BCCAL_LINE_MAX 63
/* A larger import file is refused whole: the export is under 2 KiB. */
#define VESK_BCCAL_FILE_MAX 16384

/* The parsed import: a flag per key and the value, already converted
 * (grains, 0..360 wind, range x 10, signs of the results inverted). Only
 * values whose flag is set are applied. */
typedef struct {
    int seen_spin_drift_on;
    int spin_drift_on;
    int seen_target_range_x10;
    short target_range_x10;
    int seen_target_angle;
    double target_angle;
    int seen_wind_angle_360;
    double wind_angle_360;
    int seen_wind_speed;
    double wind_speed;
    int seen_coriolis_lat;
    double coriolis_lat;
    int seen_coriolis_azimuth;
    double coriolis_azimuth;
    int seen_weather_temperature;
    double weather_temperature;
    int seen_weather_pressure;
    double weather_pressure;
    int seen_weather_humidity;
    double weather_humidity;
    int seen_rifling_range;
    double rifling_range;
    int seen_rifling_direction;
    int rifling_direction;
    int seen_bullet_length;
    double bullet_length;
    int seen_bullet_diameter;
    double bullet_diameter;
    int seen_bullet_weight_gr;
    double bullet_weight_gr;
    int seen_bullet_coefficient;
    double bullet_coefficient;
    int seen_drag_function;
    int drag_function;
    int seen_muzzle_velocity;
    double muzzle_velocity;
    int seen_zero_weather_temperature;
    double zero_weather_temperature;
    int seen_zero_weather_pressure;
    double zero_weather_pressure;
    int seen_zero_weather_humidity;
    double zero_weather_humidity;
    int seen_open_zero_weather;
    int open_zero_weather;
    int seen_zero_offset_unit;
    int zero_offset_unit; /* 0 MOA, 1 MRAD */
    int seen_zero_offset_vertical;
    double zero_offset_vertical;
    int seen_zero_offset_horizontal;
    double zero_offset_horizontal;
    int seen_zeroing_distance;
    short zeroing_distance;
    int seen_scope_height;
    double scope_height;
    int seen_scope_unit_moa;
    int scope_unit_moa; /* 1 MOA, 0 MRAD */
    int seen_result_moa_v;
    double result_moa_v;
    int seen_result_moa_h;
    double result_moa_h;
    int seen_result_mrad_v;
    double result_mrad_v;
    int seen_result_mrad_h;
    double result_mrad_h;
} vesk_bccal_pending;

static_assert(sizeof(vesk_bccal_pending) == 448, "vesk_bccal_pending is 448 bytes");

/* Imports the phone's file: parsed whole first (a file that is oversized,
 * holds bytes that are no text or lacks its section changes nothing and is
 * logged; its last line needs no newline), then
 * applied under an edit section and the profiles lock, staged and written
 * now. -1 when the file cannot be opened, -EFBIG, -EINVAL, -EIO, the edit
 * section's refusal, or the staging error (the import is then taken back
 * whole). */
int http_send_bccal_read(void);
/* Writes the export file from a copy of the profiles; -1 when it cannot be
 * created, -EOVERFLOW when a value does not fit its line, -EIO. On failure
 * no earlier export is left to be served. */
int bccal_save_4http(void);

/* The same two on other paths. */
int vesk_bccal_import_from(const char *path);
int vesk_bccal_export_to(const char *path);

/* The value token of key in line (see the file rules): 0, or -1 for a
 * missing key, '=' or token, or a token of capacity characters or more;
 * out is cleared first. */
int parse_equal_value_str(const char *line, const char *key, char *out, size_t capacity);

/* Parses a file, or text of len bytes, into *out (cleared first): 0, -1
 * (file not opened), -EFBIG, -EINVAL (no "[bccal]" line, a byte that is
 * no text), -EIO. Lines over 63 characters and lines whose value cannot be
 * read (a result hold beyond a right angle among them) are skipped
 * and logged. */
int vesk_bccal_parse_file(const char *path, vesk_bccal_pending *out);
int vesk_bccal_parse_text(const char *text, size_t len, vesk_bccal_pending *out);

/* Applies a parse to qel_ballistics, qel_ir_cursor and g_ballistics_result
 * (profiles lock held): into the current profile, which is brought into
 * its limits and handed to the calculator, and the values common to all
 * six from it into the other five. current: the current profile, 0..5. */
void vesk_bccal_apply_pending(const vesk_bccal_pending *pending, unsigned current);

/* The export text of a profile set into out (cap bytes): its length, or
 * -EOVERFLOW. */
int vesk_bccal_export_text(const Qel_IR_Ballistics *ballistics, char *out, size_t cap);
