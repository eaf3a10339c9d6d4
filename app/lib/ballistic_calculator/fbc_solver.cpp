#include "fbc_solver.h"

#include <math.h>

namespace {

const double k_gravity = 9.80665;    // m/s2, standard gravity
const double k_r_dry = 287.058;      // J/(kg K), dry air
const double k_r_vapour = 461.495;   // J/(kg K), water vapour
const double k_gamma = 1.4;          // heat capacity ratio of air
const double k_lapse = 0.0065;       // K/m, standard temperature lapse
const double k_bc_si = 703.06957964; // (kg/m2) per (lb/in2)
const double k_kpa_per_inhg = 3.386388640341;

// The bullet rises and falls by some metres at most over flat ground but by
// hundreds on a steep shot, so density and speed of sound follow the
// standard lapse above the muzzle. The power law of the standard atmosphere,
// (T/T0)^4.2559 for density and (T/T0)^0.5 for sound, is taken to second
// order (the speed of sound as its inverse, which the Mach number needs):
// within 0.2 % over 3 km of height and free of a pow() or a division.
const double k_density_exp = k_gravity / (k_r_dry * k_lapse) - 1.0;

// Integration step along the line of sight. Against 0.5 m steps the
// fourth-order step is off by under 0.001 MOA at 1000 m and 0.005 MOA at
// 1800 m, where the transonic kinks of the tables dominate the error: far
// inside a turret click, at a quarter of the cost of 5 m steps.
const double k_step = 20.0;
const int k_min_steps = 6;

// A bullet slower than this along the line of sight has stopped short.
const double k_min_forward_speed = 1.0;

struct flight {
    const fbc_drag_table *table;
    size_t hint;
    double retard_density; // retard * density at the muzzle
    double inv_sound;      // 1 / speed of sound at the muzzle
    double inv_kelvin;
    double g_s, g_n;      // gravity in the line-of-sight frame
    double w_s, w_n, w_z; // wind in the line-of-sight frame
    double o_s, o_n, o_z; // earth rotation in the line-of-sight frame
    double sin_t, cos_t;
};

// State along the line of sight s: n (up from it), z (right), t, and the
// velocity (vs, vn, vz). The derivatives are with respect to s.
enum { N, Z, T, VS, VN, VZ, STATE };

bool derive(flight *f, double s, const double *y, double *dy)
{
    double vs = y[VS];
    if (!(vs > k_min_forward_speed)) return false;
    double height = s * f->sin_t + y[N] * f->cos_t;
    double d = -k_lapse * height * f->inv_kelvin;
    double density = 1.0 + k_density_exp * d + 0.5 * k_density_exp * (k_density_exp - 1.0) * d * d;
    double inv_sound = 1.0 - 0.5 * d + 0.375 * d * d;
    double rs = vs - f->w_s, rn = y[VN] - f->w_n, rz = y[VZ] - f->w_z;
    double rv = sqrt(rs * rs + rn * rn + rz * rz);
    double cd = fbc_drag_cd(f->table, rv * f->inv_sound * inv_sound, &f->hint);
    double k = -f->retard_density * density * cd * rv;
    // Coriolis: -2 omega x v.
    double cs = -2.0 * (f->o_n * y[VZ] - f->o_z * y[VN]);
    double cn = -2.0 * (f->o_z * vs - f->o_s * y[VZ]);
    double cz = -2.0 * (f->o_s * y[VN] - f->o_n * vs);
    double inv = 1.0 / vs;
    dy[N] = y[VN] * inv;
    dy[Z] = y[VZ] * inv;
    dy[T] = inv;
    dy[VS] = (f->g_s + k * rs + cs) * inv;
    dy[VN] = (f->g_n + k * rn + cn) * inv;
    dy[VZ] = (k * rz + cz) * inv;
    return true;
}

bool rk4_step(flight *f, double s, double h, double *y)
{
    double k1[STATE], k2[STATE], k3[STATE], k4[STATE], tmp[STATE];
    if (!derive(f, s, y, k1)) return false;
    for (int i = 0; i < STATE; i++) tmp[i] = y[i] + 0.5 * h * k1[i];
    if (!derive(f, s + 0.5 * h, tmp, k2)) return false;
    for (int i = 0; i < STATE; i++) tmp[i] = y[i] + 0.5 * h * k2[i];
    if (!derive(f, s + 0.5 * h, tmp, k3)) return false;
    for (int i = 0; i < STATE; i++) tmp[i] = y[i] + h * k3[i];
    if (!derive(f, s + h, tmp, k4)) return false;
    for (int i = 0; i < STATE; i++) y[i] += h / 6.0 * (k1[i] + 2.0 * (k2[i] + k3[i]) + k4[i]);
    return true;
}

// Integrates from s0 to s1 in equal steps.
bool integrate(flight *f, double s0, double s1, double *y)
{
    double span = s1 - s0;
    if (span <= 0.0) return true;
    int steps = (int)ceil(span / k_step);
    if (steps < k_min_steps) steps = k_min_steps;
    double h = span / steps;
    for (int i = 0; i < steps; i++)
        if (!rk4_step(f, s0 + i * h, h, y)) return false;
    return true;
}

} // namespace

void fbc_air_make(double celsius, double pressure_kpa, double humidity, fbc_air *air)
{
    double kelvin = celsius + 273.15;
    double pressure = pressure_kpa * 1000.0;
    // Tetens' saturation vapour pressure over water, in Pa.
    double vapour = humidity * 610.78 * pow(10.0, 7.5 * celsius / (celsius + 237.3));
    if (vapour > pressure) vapour = pressure;
    air->density = (pressure - vapour) / (k_r_dry * kelvin) + vapour / (k_r_vapour * kelvin);
    // Moist air carries sound as dry air at its virtual temperature.
    double virtual_kelvin = kelvin / (1.0 - vapour / pressure * (1.0 - k_r_dry / k_r_vapour));
    air->sound = sqrt(k_gamma * k_r_dry * virtual_kelvin);
    air->kelvin = kelvin;
    air->pressure_inhg = pressure_kpa / k_kpa_per_inhg;
}

void fbc_load_make(const fbc_drag_table *table, double bc_lb_in2, double muzzle_velocity, bool dynamic,
                   const fbc_air *air, fbc_load *load)
{
    double bc = bc_lb_in2;
    const fbc_drag_table *g7 = fbc_drag_table_get(4);
    if (dynamic && table != g7) {
        size_t hint = 0;
        double mach = muzzle_velocity / air->sound;
        double own = fbc_drag_cd(table, mach, &hint);
        double shape = fbc_drag_cd(g7, mach, &hint);
        bc = bc_lb_in2 * shape / own;
        table = g7;
    }
    load->table = table;
    load->retard = M_PI / (8.0 * bc * k_bc_si);
    load->muzzle_velocity = muzzle_velocity;
}

int fbc_fly(const fbc_shot *shot, fbc_impact *impact)
{
    flight f;
    f.table = shot->load.table;
    f.hint = 0;
    f.retard_density = shot->load.retard * shot->air.density;
    f.inv_sound = 1.0 / shot->air.sound;
    f.inv_kelvin = 1.0 / shot->air.kelvin;
    f.sin_t = sin(shot->shot_angle);
    f.cos_t = cos(shot->shot_angle);
    // The line-of-sight frame is the horizontal one turned up by the shot
    // angle about the right-hand axis.
    f.g_s = -k_gravity * f.sin_t;
    f.g_n = -k_gravity * f.cos_t;
    f.o_s = shot->omega[0] * f.cos_t + shot->omega[1] * f.sin_t;
    f.o_n = -shot->omega[0] * f.sin_t + shot->omega[1] * f.cos_t;
    f.o_z = shot->omega[2];
    double wind_s = shot->wind_forward * f.cos_t;
    double wind_n = -shot->wind_forward * f.sin_t;

    double v0 = shot->load.muzzle_velocity;
    double y[STATE] = {-shot->sight_height, 0.0, 0.0, v0 * cos(shot->bore_angle), v0 * sin(shot->bore_angle), 0.0};
    double wind_end = shot->wind_end < shot->distance ? shot->wind_end : shot->distance;
    if (wind_end < 0.0) wind_end = 0.0;
    f.w_s = wind_s;
    f.w_n = wind_n;
    f.w_z = shot->wind_right;
    if (!integrate(&f, 0.0, wind_end, y)) return -1;
    f.w_s = f.w_n = f.w_z = 0.0;
    if (!integrate(&f, wind_end, shot->distance, y)) return -1;
    impact->below = -y[N];
    impact->right = y[Z];
    impact->time = y[T];
    impact->speed = sqrt(y[VS] * y[VS] + y[VN] * y[VN] + y[VZ] * y[VZ]);
    return 0;
}

int fbc_zero(const fbc_load *load, const fbc_air *air, double sight_height, double distance, double *bore_angle,
             double *time)
{
    fbc_shot shot = {};
    shot.load = *load;
    shot.air = *air;
    shot.sight_height = sight_height;
    shot.distance = distance;
    fbc_impact hit;
    // Start from the vacuum angle; the miss at the zero distance changes
    // almost exactly by distance * d(angle), so a secant walk converges in
    // three or four flights.
    double v0 = load->muzzle_velocity;
    double a0 = (sight_height + 0.5 * k_gravity * distance * distance / (v0 * v0)) / distance;
    shot.bore_angle = a0;
    if (fbc_fly(&shot, &hit) != 0) return -1;
    double m0 = hit.below;
    double a1 = a0 + m0 / distance;
    const double max_angle = M_PI / 4.0;
    for (int i = 0; i < 30; i++) {
        if (!(fabs(a1) < max_angle)) return -1;
        shot.bore_angle = a1;
        if (fbc_fly(&shot, &hit) != 0) return -1;
        double m1 = hit.below;
        if (fabs(m1) < 1e-7) {
            *bore_angle = a1;
            *time = hit.time;
            return 0;
        }
        double slope = (m0 - m1) / (a1 - a0);
        if (!(slope > 0.0)) slope = distance;
        a0 = a1;
        m0 = m1;
        a1 = a1 + m1 / slope;
    }
    return -1;
}

double fbc_stability(double grains, double diameter_in, double length_in, double twist_in, double velocity_fps,
                     const fbc_air *air)
{
    double twist = twist_in / diameter_in;
    double length = length_in / diameter_in;
    double sg =
        30.0 * grains / (twist * twist * diameter_in * diameter_in * diameter_in * length * (1.0 + length * length));
    double fahrenheit = air->kelvin * 1.8 - 459.67;
    sg *= cbrt(velocity_fps / 2800.0);
    sg *= (fahrenheit + 460.0) / (59.0 + 460.0) * 29.92 / air->pressure_inhg;
    return sg;
}

double fbc_spin_drift(double stability, double time)
{
    if (!(time > 0.0)) return 0.0;
    return 1.25 * (stability + 1.2) * pow(time, 1.83) * 0.0254;
}
