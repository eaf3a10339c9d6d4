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

// A bullet slower than this along the line of sight has stopped short.
const double k_min_forward_speed = 1.0;

// Step length. A fourth-order step is exact for a path whose slope changes
// as a cubic; what breaks that is the change of the forces along the step,
// above all the drag where its coefficient bends with the Mach number (the
// transonic rows). Each step is therefore k_step_share of the distance over
// which the velocity would change by its own size, shortened by how much
// faster than the speed the drag coefficient can change nearby, and no
// longer than half the flight (the zero flight too is at least two steps).
// Against 0.5 m steps this keeps the hold within a hundredth of an MOA out
// to 3000 m and in slow, steep, hot, cold and thin-air shots, with long
// steps where the bullet is fast and the drag flat and short ones through
// the sound barrier.
constexpr double k_step_share = 0.2;
const double k_max_step = 100.0;   // m
const double k_min_step = 0.05;    // m
const double k_max_share = 0.5;    // of the flight
const double k_stretch_pad = 0.05; // of the flight, see integrate()
// Work for any input: a flight that needs more steps has stalled.
const int k_max_steps = 200000;
const int k_plan_steps = 256; // steps a zero search replays

struct flight {
    const fbc_drag_table *table;
    double retard_density;  // retard * density at the muzzle
    double cells_per_speed; // drag-table cells per m/s at the muzzle
    double inv_kelvin;
    double g_s, g_n;      // gravity in the line-of-sight frame
    double w_s, w_n, w_z; // wind in the line-of-sight frame
    double o_s, o_n, o_z; // earth rotation in the line-of-sight frame
    double sin_t, cos_t;
};

// State along the line of sight s: n (up from it), z (right), t, and the
// velocity (vs, vn, vz). The derivatives are with respect to s.
enum { N, Z, T, VS, VN, VZ, STATE };

// The air's density and inverse speed of sound at a height above the
// muzzle, as factors of their muzzle values.
inline void air_at(const flight *f, double height, double *density, double *inv_sound)
{
    double d = -k_lapse * height * f->inv_kelvin;
    *density = 1.0 + k_density_exp * d + 0.5 * k_density_exp * (k_density_exp - 1.0) * d * d;
    *inv_sound = 1.0 - 0.5 * d + 0.375 * d * d;
}

// False where the bullet no longer moves forward along the line of sight.
// The Mach number, in drag-table cells, goes to *mach when it is asked for.
inline __attribute__((always_inline)) bool derive(const flight *f, double s, const double *y, double *dy,
                                                  double *mach = nullptr)
{
    double vs = y[VS];
    if (!(vs > k_min_forward_speed)) return false;
    double inv = 1.0 / vs;
    double density, inv_sound;
    air_at(f, s * f->sin_t + y[N] * f->cos_t, &density, &inv_sound);
    double rs = vs - f->w_s, rn = y[VN] - f->w_n, rz = y[VZ] - f->w_z;
    double rv = sqrt(rs * rs + rn * rn + rz * rz);
    // Everything but the root and the look-up is formed beside them, so
    // that each stage waits on those two alone.
    double cells = rv * (f->cells_per_speed * inv_sound);
    if (mach) *mach = cells;
    double drag = -f->retard_density * density * inv * rv;
    // Coriolis: -2 omega x v.
    double cs = -2.0 * (f->o_n * y[VZ] - f->o_z * y[VN]);
    double cn = -2.0 * (f->o_z * vs - f->o_s * y[VZ]);
    double cz = -2.0 * (f->o_s * y[VN] - f->o_n * vs);
    double k = drag * fbc_drag_cd_cells(f->table, cells);
    dy[N] = y[VN] * inv;
    dy[Z] = y[VZ] * inv;
    dy[T] = inv;
    dy[VS] = k * rs + (f->g_s + cs) * inv;
    dy[VN] = k * rn + (f->g_n + cn) * inv;
    dy[VZ] = k * rz + cz * inv;
    return true;
}

// One classic fourth-order step of length h from y with slope k1.
inline __attribute__((always_inline)) bool rk4_step(const flight *f, double s, double h, const double *k1, double *y)
{
    double k2[STATE], k3[STATE], k4[STATE], tmp[STATE];
    for (int i = 0; i < STATE; i++) tmp[i] = y[i] + 0.5 * h * k1[i];
    if (!derive(f, s + 0.5 * h, tmp, k2)) return false;
    for (int i = 0; i < STATE; i++) tmp[i] = y[i] + 0.5 * h * k2[i];
    if (!derive(f, s + 0.5 * h, tmp, k3)) return false;
    for (int i = 0; i < STATE; i++) tmp[i] = y[i] + h * k3[i];
    if (!derive(f, s + h, tmp, k4)) return false;
    for (int i = 0; i < STATE; i++) y[i] += h * (1.0 / 6.0) * (k1[i] + 2.0 * (k2[i] + k3[i]) + k4[i]);
    return true;
}

// The fine reference: steps of one length.
bool integrate_fixed(const flight *f, double s0, double s1, double step, double *y)
{
    double span = s1 - s0;
    if (span <= 0.0) return true;
    int steps = (int)ceil(span / step);
    double h = span / steps;
    double k1[STATE];
    for (int n = 0; n < steps; n++) {
        double s = s0 + n * h;
        if (!derive(f, s, y, k1) || !rk4_step(f, s, h, k1, y)) return false;
    }
    return true;
}

// The step length at a state with slope k1 and Mach number x (in
// drag-table cells), longer by stretch and at most longest.
double step_length(const flight *f, const double *y, const double *k1, double x, double stretch, double longest)
{
    double last = (double)f->table->last_cell;
    if (!(x < last)) x = last;
    const fbc_drag_cell *c = &f->table->cells[(size_t)x];
    bool slowing = y[VS] * k1[VS] + y[VN] * k1[VN] + y[VZ] * k1[VZ] < 0.0;
    double bend = 1.0 + (slowing ? c->bend_slower : c->bend_faster);
    double h = k_step_share * y[VS] / ((fabs(k1[VS]) + fabs(k1[VN]) + fabs(k1[VZ])) * bend);
    if (!(h < k_max_step)) h = k_max_step; // also a rate of 0
    h *= stretch;
    if (h > longest) h = longest;
    return h > k_min_step ? h : k_min_step;
}

// Steps a zero search took on its first flight, replayed on the next ones:
// the same steps make the miss a smooth function of the bore angle, which
// the secant walk needs to converge to far below the step error.
struct plan {
    double step[k_plan_steps];
    int count; // may exceed k_plan_steps: then there is nothing to replay
};

// Integrates from s0 to s1 of a flight that ends at end, recording the steps in rec when it is given.
bool integrate(const flight *f, double s0, double s1, double end, double *y, plan *rec)
{
    double s = s0;
    double k1[STATE];
    // An error in the velocity moves the impact by the distance still to
    // fly, so steps near the end may be longer for the same miss: equal
    // miss per metre asks for h^4 (ahead + h) to stay the same. With a
    // twentieth of the flight standing in for h, the stretch waits on
    // nothing the step computes.
    const double pad = end * k_stretch_pad, reach = end + pad;
    for (int n = 0; n < k_max_steps && s < s1; n++) {
        double stretch = sqrt(sqrt(reach / (end - s + pad)));
        double mach;
        if (!derive(f, s, y, k1, &mach)) return false;
        double h = step_length(f, y, k1, mach, stretch, end * k_max_share);
        // The end of the span exactly, in two even steps rather than a
        // long one and a sliver.
        if (s + h >= s1) {
            h = s1 - s;
        } else if (s + 2.0 * h > s1) {
            h = 0.5 * (s1 - s);
        }
        if (!rk4_step(f, s, h, k1, y)) return false;
        if (rec) {
            if (rec->count < k_plan_steps) rec->step[rec->count] = h;
            rec->count++;
        }
        s = s + h >= s1 ? s1 : s + h;
    }
    return s >= s1;
}

// Replays recorded steps from 0.
bool integrate_plan(const flight *f, const plan *p, double *y)
{
    double s = 0.0;
    double k1[STATE];
    for (int n = 0; n < p->count; n++) {
        if (!derive(f, s, y, k1) || !rk4_step(f, s, p->step[n], k1, y)) return false;
        s += p->step[n];
    }
    return true;
}

} // namespace

void fbc_air_make(double celsius, double pressure_kpa, double humidity, fbc_air *air)
{
    double kelvin = celsius + 273.15;
    double pressure = pressure_kpa * 1000.0;
    // Tetens' saturation vapour pressure over water, in Pa.
    double vapour = humidity * 610.78 * exp(M_LN10 * 7.5 * celsius / (celsius + 237.3));
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
        double mach = muzzle_velocity / air->sound;
        double own = fbc_drag_cd_at(table, mach);
        double shape = fbc_drag_cd_at(g7, mach);
        bc = bc_lb_in2 * shape / own;
        table = g7;
    }
    load->table = table;
    load->retard = M_PI / (8.0 * bc * k_bc_si);
    load->muzzle_velocity = muzzle_velocity;
}

namespace {

// Everything of a flight but its wind and its bore angle.
void flight_make(const fbc_shot *shot, flight *f)
{
    f->table = shot->load.table;
    f->retard_density = shot->load.retard * shot->air.density;
    f->cells_per_speed = k_fbc_cells_per_mach / shot->air.sound;
    f->inv_kelvin = 1.0 / shot->air.kelvin;
    f->sin_t = sin(shot->shot_angle);
    f->cos_t = cos(shot->shot_angle);
    // The line-of-sight frame is the horizontal one turned up by the shot
    // angle about the right-hand axis.
    f->g_s = -k_gravity * f->sin_t;
    f->g_n = -k_gravity * f->cos_t;
    f->o_s = shot->omega[0] * f->cos_t + shot->omega[1] * f->sin_t;
    f->o_n = -shot->omega[0] * f->sin_t + shot->omega[1] * f->cos_t;
    f->o_z = shot->omega[2];
    f->w_s = f->w_n = f->w_z = 0.0;
}

void muzzle_state(const fbc_shot *shot, double bore_angle, double *y)
{
    double v0 = shot->load.muzzle_velocity;
    y[N] = -shot->sight_height;
    y[Z] = 0.0;
    y[T] = 0.0;
    y[VS] = v0 * cos(bore_angle);
    y[VN] = v0 * sin(bore_angle);
    y[VZ] = 0.0;
}

void impact_of(const double *y, fbc_impact *impact)
{
    impact->below = -y[N];
    impact->right = y[Z];
    impact->time = y[T];
    impact->speed = sqrt(y[VS] * y[VS] + y[VN] * y[VN] + y[VZ] * y[VZ]);
}

} // namespace

int fbc_fly(const fbc_shot *shot, fbc_impact *impact)
{
    flight f;
    flight_make(shot, &f);
    double y[STATE];
    muzzle_state(shot, shot->bore_angle, y);
    double end = shot->distance;
    double wind_end = shot->wind_end < end ? shot->wind_end : end;
    if (wind_end < 0.0) wind_end = 0.0;
    // The wind stops at wind_end: a kink in the drag that no step straddles.
    f.w_s = shot->wind_forward * f.cos_t;
    f.w_n = -shot->wind_forward * f.sin_t;
    f.w_z = shot->wind_right;
    bool fixed = shot->fixed_step > 0.0;
    if (!(fixed ? integrate_fixed(&f, 0.0, wind_end, shot->fixed_step, y)
                : integrate(&f, 0.0, wind_end, end, y, nullptr)))
        return -1;
    f.w_s = f.w_n = f.w_z = 0.0;
    if (!(fixed ? integrate_fixed(&f, wind_end, end, shot->fixed_step, y)
                : integrate(&f, wind_end, end, end, y, nullptr)))
        return -1;
    impact_of(y, impact);
    return 0;
}

namespace {

// A secant correction of the bore angle this small (rad) is taken without
// flying it: what it leaves is its square times the bend of the miss, some
// 1e-12 rad.
const double k_settled_turn = 1e-6;

int zero_search(const fbc_load *load, const fbc_air *air, double sight_height, double distance, double fixed_step,
                double *bore_angle, double *time)
{
    fbc_shot shot = {};
    shot.load = *load;
    shot.air = *air;
    shot.sight_height = sight_height;
    shot.distance = distance;
    flight f;
    flight_make(&shot, &f);
    plan steps;
    steps.count = 0;
    // The miss at the zero distance of one bore angle, in metres.
    auto miss = [&](double angle, double *y) {
        muzzle_state(&shot, angle, y);
        if (fixed_step > 0.0) return integrate_fixed(&f, 0.0, distance, fixed_step, y);
        if (steps.count > 0 && steps.count <= k_plan_steps) return integrate_plan(&f, &steps, y);
        steps.count = 0;
        return integrate(&f, 0.0, distance, distance, y, &steps);
    };
    // Replayed steps make the miss smooth in the angle, so the walk can go
    // far below the step error; without them it stops at that error.
    double y[STATE];
    // Start from the vacuum angle; the miss at the zero distance changes
    // almost exactly by distance * d(angle), so a secant walk converges in
    // one or two more flights.
    double v0 = load->muzzle_velocity;
    double a0 = (sight_height + 0.5 * k_gravity * distance * distance / (v0 * v0)) / distance;
    if (!miss(a0, y)) return -1;
    double m0 = -y[N];
    double a1 = a0 + m0 / distance;
    const double max_angle = M_PI / 4.0;
    for (int i = 0; i < 30; i++) {
        if (!(fabs(a1) < max_angle)) return -1;
        if (!miss(a1, y)) return -1;
        double m1 = -y[N];
        bool smooth = fixed_step > 0.0 || steps.count <= k_plan_steps;
        if (fabs(m1) < distance * (smooth ? 1e-9 : 1e-7)) {
            *bore_angle = a1;
            *time = y[T];
            return 0;
        }
        double slope = (m0 - m1) / (a1 - a0);
        if (!(slope > 0.0)) slope = distance;
        double turn = m1 / slope;
        if (smooth && fabs(turn) < k_settled_turn && fabs(a1 + turn) < max_angle) {
            // The miss is straight in the angle this close: the secant's
            // answer is off by far less than the flight that would check
            // it could show. The time of flight changes by nothing that
            // matters over so small a turn.
            *bore_angle = a1 + turn;
            *time = y[T];
            return 0;
        }
        a0 = a1;
        m0 = m1;
        a1 = a1 + turn;
    }
    return -1;
}

} // namespace

int fbc_zero(const fbc_load *load, const fbc_air *air, double sight_height, double distance, double *bore_angle,
             double *time)
{
    return zero_search(load, air, sight_height, distance, 0.0, bore_angle, time);
}

int fbc_zero_fixed_step(const fbc_load *load, const fbc_air *air, double sight_height, double distance, double step,
                        double *bore_angle, double *time)
{
    return zero_search(load, air, sight_height, distance, step, bore_angle, time);
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
