// scope-sim's commands for the analogue sensors: the attitude the
// accelerometer and the magnetometer read, the battery voltage and the
// zoom ring's position on the ADC.
#include "scope_sim.h"

#include <stdlib.h>
#include <string.h>

#include "sim_iio.h"

/* The attitude stays as set: a tilt keeps the heading and back. So does
 * the magnetometer's hard-iron offset that a turn gave. */
static double scope_pitch, scope_roll, scope_heading;
static int16_t scope_hard_iron[3];

static bool scope_number(const char *text, double *out)
{
    char *end;
    *out = strtod(text, &end);
    return end != text && *end == '\0';
}

static int scope_attitude(scope_run *run, const char *who)
{
    int rc = sim_iio_set_attitude(run->h->sb, scope_pitch, scope_roll, scope_heading, scope_hard_iron);
    if (rc != 0) {
        scope_error("%s: the sensors took no sample: %s", who, strerror(-rc));
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static int cmd_tilt(scope_run *run, int argc, char **argv)
{
    double pitch, roll = 0;
    if (!scope_number(argv[1], &pitch) || (argc > 2 && !scope_number(argv[2], &roll)) || pitch < -90 || pitch > 90 ||
        roll < -180 || roll > 180) {
        scope_error("tilt: give the pitch (-90..90) and the roll (-180..180) in degrees");
        return SCOPE_FAIL;
    }
    scope_pitch = pitch;
    scope_roll = roll;
    return scope_attitude(run, "tilt");
}

static int cmd_heading(scope_run *run, int, char **argv)
{
    double heading;
    if (!scope_number(argv[1], &heading) || heading < 0 || heading >= 360) {
        scope_error("heading: give the magnetic heading in degrees (0..360)");
        return SCOPE_FAIL;
    }
    scope_heading = heading;
    return scope_attitude(run, "heading");
}

/* The turns of a compass calibration, each back to level and north. */
static int cmd_turn(scope_run *run, int argc, char **argv)
{
    const bool horizontal = strcmp(argv[1], "horizontal") == 0;
    if ((!horizontal && strcmp(argv[1], "vertical") != 0) || (argc != 2 && argc != 5)) {
        scope_error("turn: give horizontal or vertical, and maybe the magnetometer's offset X Y Z");
        return SCOPE_FAIL;
    }
    for (int i = 0; argc == 5 && i < 3; i++) {
        double v;
        if (!scope_number(argv[2 + i], &v) || v < -2000 || v > 2000) {
            scope_error("turn: the offset is three counts in -2000..2000");
            return SCOPE_FAIL;
        }
        scope_hard_iron[i] = (int16_t)v;
    }
    int rc = sim_iio_turn(run->h->sb, horizontal ? SIM_IIO_TURN_HORIZONTAL : SIM_IIO_TURN_VERTICAL, scope_hard_iron,
                          SIM_BOOT_MS);
    if (rc != 0) {
        scope_error("turn: the sensors did not take the turn: %s", strerror(-rc));
        return SCOPE_FAIL;
    }
    scope_pitch = scope_roll = scope_heading = 0;
    return SCOPE_OK;
}

static int cmd_battery(scope_run *run, int, char **argv)
{
    double volts;
    if (!scope_number(argv[1], &volts) || volts < 0 || volts > 20) {
        scope_error("battery: give the battery voltage in volts (0..20)");
        return SCOPE_FAIL;
    }
    if (sim_adc_set_battery(run->h->sb, volts) != 0) {
        scope_error("battery: the ADC file could not be written");
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static int cmd_zoom(scope_run *run, int argc, char **argv)
{
    double value;
    const bool counts = argc > 2 && strcmp(argv[2], "counts") == 0;
    if (!scope_number(argv[1], &value) || value < 0 || (argc > 2 && !counts) ||
        (counts ? value > SIM_ADC_FULL_COUNTS : value > SIM_ADC_REFERENCE_V)) {
        scope_error("zoom: give the ring's voltage (0..4.096), or its ADC counts followed by 'counts'");
        return SCOPE_FAIL;
    }
    if (sim_adc_set_zoom_counts(run->h->sb, counts ? (int)value : sim_adc_counts(value)) != 0) {
        scope_error("zoom: the ADC file could not be written");
        return SCOPE_FAIL;
    }
    return SCOPE_OK;
}

static const scope_command iio_commands[] = {
    {"tilt", "PITCH [ROLL]", "tilt the scope: bore up by PITCH degrees, canted right by ROLL", 1, 2, cmd_tilt},
    {"heading", "DEGREES", "turn the scope to a magnetic heading", 1, 1, cmd_heading},
    {"turn", "horizontal|vertical [X Y Z]",
     "turn the scope round as a compass calibration asks (the magnetometer reading X Y Z counts more)", 1, 4, cmd_turn},
    {"battery", "VOLTS", "the battery's voltage (8.0 full, 5.7 low)", 1, 1, cmd_battery},
    {"zoom", "VOLTS|N counts", "the zoom ring's position as the voltage (or ADC counts) it gives", 1, 2, cmd_zoom},
};

SCOPE_COMMANDS(iio_commands);
