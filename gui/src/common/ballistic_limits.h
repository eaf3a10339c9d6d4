// The legal range of every ballistic profile field the GUI edits, the same
// limits sightd brings a stored profile into, so that what a page stores in
// its mirror and sends is what sightd would keep. sightui has no access to
// sightd's module, hence this copy; keep the numbers in step with it.
#pragma once

typedef enum {
    UI_LIMIT_TARGET_RANGE, /* tenths of a metre */
    UI_LIMIT_SHOOTING_ANGLE,
    UI_LIMIT_WIND_ANGLE, /* clock direction, 0 .. 359.9 */
    UI_LIMIT_WIND_SPEED,
    UI_LIMIT_BAROMETER,
    UI_LIMIT_HUMIDITY,
    UI_LIMIT_TEMPERATURE,
    UI_LIMIT_BULLET_LENGTH,
    UI_LIMIT_BULLET_DIAMETER,
    UI_LIMIT_BULLET_WEIGHT,
    UI_LIMIT_BULLET_COEF,
    UI_LIMIT_BULLET_VELOCITY,
    UI_LIMIT_ZERO_OFFSET_MOA,
    UI_LIMIT_SIGHT_HEIGHT,
    UI_LIMIT_ZERO_RANGE, /* metres */
    UI_LIMIT_RIFLING,
    UI_LIMIT_COUNT
} ui_limit_field;

/* The clamp on magnitudes that sightd applies: a range straddling zero
 * limits each sign to its own end; a range of positive values sends a
 * negative value to the minimum. Other ranges and NaN pass unchanged. */
double ui_params_limit(double value, double minimum, double maximum);
/* value brought into the field's range; a value that is not a finite
 * number takes the field's minimum. */
double ui_limit(ui_limit_field field, double value);
double ui_limit_min(ui_limit_field field);
double ui_limit_max(ui_limit_field field);

/* One milliradian in minutes of angle, as the exchange files convert. */
#define UI_MOA_PER_MRAD 3.4377
