// Physics of the calculator, in SI units: the air, one trajectory, the zero
// angle and the gyroscopic drift. The exported entry points validate the
// records and call these.
#ifndef FBC_SOLVER_H
#define FBC_SOLVER_H

#include "fbc_drag_tables.h"

// Air at the muzzle.
struct fbc_air {
    double density;       // kg/m3
    double sound;         // m/s
    double kelvin;        // K
    double pressure_inhg; // station pressure, for the stability correction
};

// Temperature in degrees Celsius, station pressure in kPa, relative
// humidity as a fraction.
void fbc_air_make(double celsius, double pressure_kpa, double humidity, fbc_air *air);

// A bullet as the drag sees it: deceleration = retard * density * Cd(M) * v^2.
struct fbc_load {
    const fbc_drag_table *table;
    double retard; // pi / (8 * BC in kg/m2)
    double muzzle_velocity;
};

// Sets up a load from a coefficient in lb/in2 against its table. With
// dynamic set and a table other than G7, the drag follows the G7 shape
// matched to the given table at the muzzle Mach number of that air.
void fbc_load_make(const fbc_drag_table *table, double bc_lb_in2, double muzzle_velocity, bool dynamic,
                   const fbc_air *air, fbc_load *load);

struct fbc_shot {
    fbc_load load;
    fbc_air air;
    double bore_angle;   // rad, bore above the line of sight
    double sight_height; // m, line of sight above the bore
    double shot_angle;   // rad, line of sight above the horizontal
    double distance;     // m along the line of sight
    double wind_forward; // m/s, air velocity along the horizontal line of fire
    double wind_right;   // m/s, air velocity to the right
    double wind_end;     // m along the line of sight where the wind stops
    double omega[3];     // rad/s, earth rotation: forward (horizontal), up, right
    double fixed_step;   // m; 0 lets the solver choose its steps, more flies
                         // classic fourth-order steps of this length: the
                         // slow, plain reference that the step choice is held to
};

struct fbc_impact {
    double below; // m under the line of sight
    double right; // m right of it
    double time;  // s
    double speed; // m/s
};

// Flies one trajectory to the target. 0, or -1 when the bullet stops short.
int fbc_fly(const fbc_shot *shot, fbc_impact *impact);

// The bore angle that puts the load on the line of sight at the level
// distance under the given air, with the time of flight there. 0, or -1
// when no angle reaches it.
int fbc_zero(const fbc_load *load, const fbc_air *air, double sight_height, double distance, double *bore_angle,
             double *time);

// The same with classic fourth-order steps of the given length.
int fbc_zero_fixed_step(const fbc_load *load, const fbc_air *air, double sight_height, double distance, double step,
                        double *bore_angle, double *time);

// Miller's gyroscopic stability factor, corrected for velocity and air.
double fbc_stability(double grains, double diameter_in, double length_in, double twist_in, double velocity_fps,
                     const fbc_air *air);

// The usual empirical spin drift (1.25 (SG + 1.2) t^1.83 inches), in metres.
double fbc_spin_drift(double stability, double time);

#endif
