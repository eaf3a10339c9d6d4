// Exported entry points: argument checks, the zero-angle cache and the
// conversion from the records' units to the solver's.
#include "CustBallisticCalculator.h"

#include <atomic>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "fbc_solver.h"

namespace {

const double k_moa_per_rad = 10800.0 / M_PI;
const double k_earth_rotation = 7.2921159e-5; // rad/s, sidereal
const double k_grains_per_gram = 15.432358353;
const double k_mm_per_inch = 25.4;
const double k_fps_per_mps = 1.0 / 0.3048;

#ifdef CUSTBC_WITH_DYNAMIC_BC
const char k_version[] = "CustBC 1.0.0 dynamic-bc";
#else
const char k_version[] = "CustBC 1.0.0";
#endif
static_assert(sizeof(k_version) <= 32, "the caller copies at most 32 characters");

std::atomic<bool> g_log{false};

#define FBC_LOG(...)                                                                                                   \
    do {                                                                                                               \
        if (g_log.load(std::memory_order_relaxed)) {                                                                   \
            fprintf(stderr, "CustBallisticCalculator: " __VA_ARGS__);                                                  \
        }                                                                                                              \
    } while (0)

// One numeric input with its legal range; lower bounds are open where a
// zero would divide or mean no bullet at all.
struct limit {
    const char *name;
    double value;
    double low;
    double high;
    bool low_open;
};

int check_limits(const limit *rows, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (!isfinite(rows[i].value)) {
            FBC_LOG("%s is not finite\n", rows[i].name);
            return CUSTBC_E_NOT_FINITE;
        }
    for (size_t i = 0; i < count; i++) {
        const limit *r = &rows[i];
        bool low_ok = r->low_open ? r->value > r->low : r->value >= r->low;
        if (!low_ok || r->value > r->high) {
            FBC_LOG("%s = %g outside %g..%g\n", r->name, r->value, r->low, r->high);
            return CUSTBC_E_RANGE;
        }
    }
    return CUSTBC_OK;
}

int check_ammunition(const CustAmmunition *a)
{
    const limit rows[] = {
        {"Weight", a->Weight, 0.0, 1000.0, true},
        {"MuzzleVelocity", a->MuzzleVelocity, 0.0, 2000.0, true},
        {"BulletDiameter", a->BulletDiameter, 0.0, 100.0, true},
        {"BulletLength", a->BulletLength, 0.0, 500.0, true},
        {"BallisticCoefficientValue", a->BallisticCoefficientValue, 0.0, 10.0, true},
    };
    int rc = check_limits(rows, sizeof(rows) / sizeof(rows[0]));
    if (rc != CUSTBC_OK) return rc;
    // Read as an int: a stored or foreign record may hold any bit pattern.
    int id;
    memcpy(&id, &a->TableId, sizeof(id));
    if (fbc_drag_table_get(id) == nullptr) {
        FBC_LOG("no drag table for TableId %d\n", id);
        return CUSTBC_E_DRAG_TABLE;
    }
    return CUSTBC_OK;
}

int check_atmosphere(const CustAtmosphere *a)
{
    const limit rows[] = {
        {"Altitude", a->Altitude, -1000.0, 10000.0, false},
        {"Pressure", a->Pressure, 10.0, 120.0, false},
        {"Temperature", a->Temperature, -80.0, 70.0, false},
        {"Humidity", a->Humidity, 0.0, 1.0, false},
    };
    return check_limits(rows, sizeof(rows) / sizeof(rows[0]));
}

struct request {
    CustBallisticCalculationResult *result;
    const CustAmmunition *ammunition;
    const CustSight *sight;
    const CustRifling *rifling;
    const CustZeroing *zeroing;
    const CustAtmosphere *atmosphere;
    const CustShotParameters *shot;
    const CustWind *wind;
    bool has_wind;
    double wind_length;
    const CustBallisticCalculationOption *option;
    int dynamic;
};

int check_request(const request *q)
{
    if (!q->result || !q->ammunition || !q->sight || !q->rifling || !q->zeroing || !q->atmosphere || !q->shot ||
        !q->wind || !q->option || !q->zeroing->pZeroingAmmunition || !q->zeroing->pZeroingAtmosphere) {
        FBC_LOG("null record\n");
        return CUSTBC_E_NULL;
    }
    const CustSight *s = q->sight;
    const CustRifling *r = q->rifling;
    const CustShotParameters *p = q->shot;
    const CustWind *w = q->wind;
    const CustBallisticCalculationOption *o = q->option;
    const limit rows[] = {
        {"SightHeight", s->SightHeight, 0.0, 500.0, false},
        {"VerticalClick", s->VerticalClick, 0.0, 100.0, false},
        {"HorizontalClick", s->HorizontalClick, 0.0, 100.0, false},
        {"ObjectiveLense_FocalLength", s->ObjectiveLense_FocalLength, 0.0, 10000.0, false},
        {"ImagesensorPixel_Size", s->ImagesensorPixel_Size, 0.0, 1000.0, false},
        {"RiflingStep", r->RiflingStep, 0.0, 5000.0, o->SpinDrift_option},
        {"Rifling Direction", r->Direction, 0.0, 1.0, false},
        {"Zeroing Distance", q->zeroing->Distance, 0.0, 10000.0, true},
        {"MaximumDistance", p->MaximumDistance, 0.0, 10000.0, true},
        {"ShootDistance", p->ShootDistance, 0.0, p->MaximumDistance, true},
        {"ShotAngle", p->ShotAngle, -90.0, 90.0, false},
        {"Step", p->Step, 0.0, 10000.0, false},
        {"Wind Velocity", w->Velocity, 0.0, 100.0, false},
        {"Wind Direction", w->Direction, -180.0, 180.0, false},
        {"windLength", q->wind_length, 0.0, 1.0, false},
        {"Latitude", o->Latitude, -90.0, 90.0, false},
        {"Azimuth", o->Azimuth, -360.0, 360.0, false},
        {"dynamicBc", (double)q->dynamic, 0.0, 1.0, false},
    };
    int rc = check_limits(rows, sizeof(rows) / sizeof(rows[0]));
    if (rc == CUSTBC_OK && r->Direction != 0.0 && r->Direction != 1.0) {
        FBC_LOG("rifling Direction %g is neither 0 nor 1\n", r->Direction);
        rc = CUSTBC_E_RANGE;
    }
    if (rc == CUSTBC_OK) rc = check_ammunition(q->ammunition);
    if (rc == CUSTBC_OK) rc = check_ammunition(q->zeroing->pZeroingAmmunition);
    if (rc == CUSTBC_OK) rc = check_atmosphere(q->atmosphere);
    if (rc == CUSTBC_OK) rc = check_atmosphere(q->zeroing->pZeroingAtmosphere);
    return rc;
}

// The zero angle depends only on the zeroing load, the zeroing weather, the
// zero distance, the sight height and the dynamic switch; a device solves
// shot after shot with all of these unchanged, so the last answer is kept.
// One per thread: callers on different threads never share it.
struct zero_key {
    double velocity, bc, table, celsius, kpa, humidity, distance, sight_height, dynamic;
};

struct zero_memo {
    bool valid;
    zero_key key;
    double angle;
    double time;
};

thread_local zero_memo t_zero;

int solve_zero(const request *q, const fbc_air *air, double *angle, double *time)
{
    const CustAmmunition *a = q->zeroing->pZeroingAmmunition;
    const CustAtmosphere *w = q->zeroing->pZeroingAtmosphere;
    const zero_key key = {
        a->MuzzleVelocity, a->BallisticCoefficientValue, (double)a->TableId,    w->Temperature,    w->Pressure,
        w->Humidity,       q->zeroing->Distance,         q->sight->SightHeight, (double)q->dynamic};
    if (t_zero.valid && memcmp(&t_zero.key, &key, sizeof(key)) == 0) {
        *angle = t_zero.angle;
        *time = t_zero.time;
        return 0;
    }
    fbc_load load;
    fbc_load_make(fbc_drag_table_get(a->TableId), a->BallisticCoefficientValue, a->MuzzleVelocity, q->dynamic != 0, air,
                  &load);
    if (fbc_zero(&load, air, q->sight->SightHeight / 1000.0, q->zeroing->Distance, angle, time) != 0) return -1;
    t_zero.valid = true;
    t_zero.key = key;
    t_zero.angle = *angle;
    t_zero.time = *time;
    return 0;
}

double stability_of(const CustAmmunition *a, const CustRifling *r, const fbc_air *air)
{
    return fbc_stability(a->Weight * k_grains_per_gram, a->BulletDiameter / k_mm_per_inch,
                         a->BulletLength / k_mm_per_inch, r->RiflingStep / k_mm_per_inch,
                         a->MuzzleVelocity * k_fps_per_mps, air);
}

// The shot as the solver flies it: the load in today's air, the zero's
// bore angle, the line of sight's slope, the wind and the earth's turn.
void make_shot(const request *q, const fbc_air *air, double zero_angle, fbc_shot *shot)
{
    const CustAmmunition *a = q->ammunition;
    const CustShotParameters *p = q->shot;
    const CustBallisticCalculationOption *o = q->option;
    *shot = {};
    fbc_load_make(fbc_drag_table_get(a->TableId), a->BallisticCoefficientValue, a->MuzzleVelocity, q->dynamic != 0, air,
                  &shot->load);
    shot->air = *air;
    shot->bore_angle = zero_angle;
    shot->sight_height = q->sight->SightHeight / 1000.0;
    shot->shot_angle = p->ShotAngle * M_PI / 180.0;
    shot->distance = p->ShootDistance;
    if (q->has_wind) {
        // The air moves away from where the wind comes from.
        double from = q->wind->Direction * M_PI / 180.0;
        shot->wind_forward = -q->wind->Velocity * cos(from);
        shot->wind_right = -q->wind->Velocity * sin(from);
        shot->wind_end = q->wind_length * p->ShootDistance;
    }
    if (o->CoriolisEffect_option) {
        double lat = o->Latitude * M_PI / 180.0;
        double az = o->Azimuth * M_PI / 180.0;
        shot->omega[0] = k_earth_rotation * cos(lat) * cos(az);
        shot->omega[1] = k_earth_rotation * sin(lat);
        shot->omega[2] = -k_earth_rotation * cos(lat) * sin(az);
    }
}

// The result of an impact below and right of the line of sight (m).
CustBallisticCalculationResult result_of(const request *q, double time, double below, double right)
{
    const double distance = q->shot->ShootDistance;
    double drop_rad = atan2(below, distance);
    double wind_rad = atan2(right, distance);
    CustBallisticCalculationResult out;
    out.Time = time;
    // The device draws the vertical value as it comes and the windage with
    // its sign turned (up and right positive on its screen): so the drop is
    // the height of the impact (negative below the line of sight) and the
    // windage the hold that answers the drift (negative for a drift to the
    // right). Both then put the device's mark on the point of impact.
    out.DropAdjustment = -drop_rad * k_moa_per_rad;
    out.WindageAdjustment = -wind_rad * k_moa_per_rad;
    out.AimX = out.AimY = 0.0;
    if (q->sight->ObjectiveLense_FocalLength > 0.0 && q->sight->ImagesensorPixel_Size > 0.0) {
        double pixel_rad = q->sight->ImagesensorPixel_Size * 1e-3 / q->sight->ObjectiveLense_FocalLength;
        out.AimX = wind_rad / pixel_rad;
        out.AimY = drop_rad / pixel_rad;
    }
    return out;
}

int calculate(const request *q)
{
    int rc = check_request(q);
    if (rc != CUSTBC_OK) return rc;
    const CustAmmunition *a = q->ammunition;
    const CustShotParameters *p = q->shot;
    const CustAtmosphere *zw = q->zeroing->pZeroingAtmosphere;

    fbc_air air, zero_air;
    fbc_air_make(q->atmosphere->Temperature, q->atmosphere->Pressure, q->atmosphere->Humidity, &air);
    fbc_air_make(zw->Temperature, zw->Pressure, zw->Humidity, &zero_air);

    double zero_angle, zero_time;
    if (solve_zero(q, &zero_air, &zero_angle, &zero_time) != 0) {
        FBC_LOG("zero distance %g m cannot be reached\n", q->zeroing->Distance);
        return CUSTBC_E_ZERO;
    }
    fbc_shot shot;
    make_shot(q, &air, zero_angle, &shot);
    fbc_impact hit;
    if (fbc_fly(&shot, &hit) != 0) {
        FBC_LOG("bullet stops short of %g m\n", p->ShootDistance);
        return CUSTBC_E_FALLS_SHORT;
    }
    double right = hit.right;
    if (q->option->SpinDrift_option) {
        // Zeroing took the drift at the zero distance out of the sight; what
        // remains grows with the time of flight faster than the range.
        double drift = fbc_spin_drift(stability_of(a, q->rifling, &air), hit.time);
        double zero_drift =
            fbc_spin_drift(stability_of(q->zeroing->pZeroingAmmunition, q->rifling, &zero_air), zero_time);
        double d = drift - zero_drift * p->ShootDistance / q->zeroing->Distance;
        right += q->rifling->Direction == 1.0 ? d : -d;
    }
    const CustBallisticCalculationResult out = result_of(q, hit.time, hit.below, right);
    if (!isfinite(out.Time) || !isfinite(out.DropAdjustment) || !isfinite(out.WindageAdjustment) ||
        !isfinite(out.AimX) || !isfinite(out.AimY)) {
        FBC_LOG("solution is not finite\n");
        return CUSTBC_E_RESULT;
    }
    FBC_LOG("%g m at %g deg: drop %.3f MOA, windage %.3f MOA, %.3f s, %.1f m/s, zero %.4f mrad\n", p->ShootDistance,
            p->ShotAngle, out.DropAdjustment, out.WindageAdjustment, out.Time, hit.speed, zero_angle * 1000.0);
    *q->result = out;
    return CUSTBC_OK;
}

} // namespace

extern "C" {

const char *GetThisLibVerion(void) { return k_version; }

void Ballistic_Calculation_LogSet(bool on) { g_log.store(on, std::memory_order_relaxed); }

int SingleCustBallisticCalculation(CustBallisticCalculationResult *result, const CustAmmunition *ammunition,
                                   const CustSight *sight, const CustRifling *rifling, const CustZeroing *zeroing,
                                   const CustAtmosphere *atmosphere, const CustShotParameters *shot,
                                   const CustWind *wind, bool hasWind, double windLength,
                                   const CustBallisticCalculationOption *option)
{
    request q = {result, ammunition, sight, rifling, zeroing, atmosphere, shot, wind, hasWind, windLength, option, 0};
    return calculate(&q);
}

#ifdef CUSTBC_WITH_DYNAMIC_BC
int VeskSingleCustBallisticCalculation(CustBallisticCalculationResult *result, const CustAmmunition *ammunition,
                                       const CustSight *sight, const CustRifling *rifling, const CustZeroing *zeroing,
                                       const CustAtmosphere *atmosphere, const CustShotParameters *shot,
                                       const CustWind *wind, bool hasWind, double windLength,
                                       const CustBallisticCalculationOption *option, int dynamicBc)
{
    request q = {result, ammunition, sight,   rifling,    zeroing, atmosphere,
                 shot,   wind,       hasWind, windLength, option,  dynamicBc};
    return calculate(&q);
}
#endif

} // extern "C"
