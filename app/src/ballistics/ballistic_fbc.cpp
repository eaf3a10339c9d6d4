#include "ballistic_fbc.h"

#include <dlfcn.h>
#include <math.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>

#include "ballistic_units.h"
#include "iniparser_handler.h"
#include "vesk_debug.h"

CustAmmunition M855_Ammunition;
CustSight M855_Sight;
CustRifling M855_Rifling;
CustZeroing M855_Zeroing;
CustAtmosphere M855_Atmosphere;
CustAtmosphere ZeroingAtmosphere;
CustShotParameters M855_ShotParameters;
CustWind M855_Wind;
CustBallisticCalculationOption M855_Option;

// The working profile is written by the exchange-file apply on the app-bus
// thread and by the calculation thread, and read by the phone's result
// sender; a torn copy would report one profile's range with another's angle.
static Info_ballistics ballistics;
static pthread_mutex_t ballistics_lock = PTHREAD_MUTEX_INITIALIZER;

static pthread_once_t dynamic_bc_once = PTHREAD_ONCE_INIT;
static VeskSingleCustBallisticCalculation_fn dynamic_bc_entry;

void Qel_ballistics_DebugLogSet(int on) { Ballistic_Calculation_LogSet(on != 0); }

void FBC_params_init(void)
{
    M855_Ammunition = {4.0175318, 943.356, 0.224 * 25.4, 0.9 * 25.4, 0.205, G1};
    M855_Sight = {88.9, 1.0 / 3, 1.0 / 3, 50, 2};
    M855_Rifling = {304.8, 1};
    M855_Zeroing = {91.44, NULL, NULL};
    M855_Atmosphere = {0, 101.32073365744, 15, 0.78};
    ZeroingAtmosphere = {0, 118.7, -15.7, 0.53};
    M855_ShotParameters = {298.0944, 0, 45.72, 2743.2};
    M855_Wind = {6.7056, 45};
    M855_Option = {false, false, 0, 0};
}

void Qel_ballistics_Init_FBC(void)
{
    char version[33] = {0};
    const char *text = GetThisLibVerion();
    if (text != NULL) strncpy(version, text, 32);
    if (vesk_debug_enabled()) printf("FBC_lib_version = %s\n", version);
    Qel_ballistics_DebugLogSet(vesk_debug_enabled());
    FBC_params_init();
}

static void atmosphere_from(const Info_atmosphere *in, CustAtmosphere *out)
{
    out->Altitude = in->altitude;
    out->Temperature = in->temperature;
    out->Pressure = convertmmHgTokPa(in->barometer);
    out->Humidity = in->relative_humidity / 100.0;
}

int FBC_params_change(Info_ballistics *b)
{
    M855_Ammunition = {};
    M855_Sight = {};
    M855_Rifling = {};
    M855_Zeroing = {};
    M855_Atmosphere = {};
    M855_ShotParameters = {};
    M855_Wind = {};
    M855_Option = {};

    const Info_bullet *bullet = &b->gun.bullet;
    Info_scope *scope = &b->gun.scope;
    M855_Ammunition.Weight = bullet->weight * 0.0647989;
    M855_Ammunition.MuzzleVelocity = bullet->velocity;
    M855_Ammunition.BulletDiameter = bullet->diameter;
    M855_Ammunition.BulletLength = bullet->length;
    M855_Ammunition.BallisticCoefficientValue = bullet->ballisticsCoef;
    M855_Ammunition.TableId = (DragTableId)bullet->dragFunction;

    M855_Sight.SightHeight = scope->sightHeightOverBore;
    if (scope->verticalUnitPerCard == 0) scope->verticalUnitPerCard = 0.1;
    M855_Sight.VerticalClick = scope->verticalUnitPerCard;
    M855_Sight.HorizontalClick = scope->horizontalUnitPerCard;
    if (vesk_enum_value(&scope->unit) != MOA) {
        M855_Sight.VerticalClick = mrad2Moa(M855_Sight.VerticalClick);
        M855_Sight.HorizontalClick = mrad2Moa(M855_Sight.HorizontalClick);
    }
    M855_Sight.ObjectiveLense_FocalLength = 60;
    M855_Sight.ImagesensorPixel_Size = 12;

    M855_Rifling.RiflingStep = convertInchToMM(b->gun.riflingRange);
    M855_Rifling.Direction = vesk_enum_value(&b->gun.direction);

    atmosphere_from(&b->atmosphere, &M855_Atmosphere);
    M855_Zeroing.Distance = scope->zeroRange;
    M855_Zeroing.pZeroingAmmunition = &M855_Ammunition;
    if (bullet->isOpenAtmosphere) {
        atmosphere_from(&bullet->atmosphere, &ZeroingAtmosphere);
        M855_Zeroing.pZeroingAtmosphere = &ZeroingAtmosphere;
    } else {
        M855_Zeroing.pZeroingAtmosphere = &M855_Atmosphere;
    }

    M855_ShotParameters.ShootDistance = b->target.range / 10.0;
    M855_ShotParameters.ShotAngle = b->target.shootingAngle;
    M855_ShotParameters.Step = 300;
    M855_ShotParameters.MaximumDistance = 3000;

    if (!(b->wind.angle < 180)) b->wind.angle = -(360 - b->wind.angle);
    M855_Wind.Velocity = b->wind.speed;
    M855_Wind.Direction = b->wind.angle;

    M855_Option.SpinDrift_option = b->spinDriftOpt != 0;
    M855_Option.CoriolisEffect_option = b->corioliseffect.CoriolisEffectSwitch != 0;
    if (M855_Option.CoriolisEffect_option) {
        M855_Option.Latitude = b->corioliseffect.lat;
        M855_Option.Azimuth = b->corioliseffect.angle;
    }
    return 1;
}

// Every number handed to the library, for the check that none is NaN or
// infinite: a profile edited on the GUI or the phone is not clamped.
static int records_finite(void)
{
    const CustAtmosphere *zero_air = M855_Zeroing.pZeroingAtmosphere;
    const double values[] = {
        M855_Ammunition.Weight,
        M855_Ammunition.MuzzleVelocity,
        M855_Ammunition.BulletDiameter,
        M855_Ammunition.BulletLength,
        M855_Ammunition.BallisticCoefficientValue,
        M855_Sight.SightHeight,
        M855_Sight.VerticalClick,
        M855_Sight.HorizontalClick,
        M855_Rifling.RiflingStep,
        M855_Rifling.Direction,
        M855_Atmosphere.Altitude,
        M855_Atmosphere.Pressure,
        M855_Atmosphere.Temperature,
        M855_Atmosphere.Humidity,
        zero_air->Altitude,
        zero_air->Pressure,
        zero_air->Temperature,
        zero_air->Humidity,
        M855_Zeroing.Distance,
        M855_ShotParameters.ShootDistance,
        M855_ShotParameters.ShotAngle,
        M855_Wind.Velocity,
        M855_Wind.Direction,
        M855_Option.Latitude,
        M855_Option.Azimuth,
    };
    for (double v : values)
        if (!isfinite(v)) return 0;
    return 1;
}

static void resolve_once(void)
{
    dlerror();
    void *entry = dlsym(RTLD_DEFAULT, "VeskSingleCustBallisticCalculation");
    if (dlerror() == NULL && entry != NULL) dynamic_bc_entry = (VeskSingleCustBallisticCalculation_fn)entry;
}

void vesk_dynamic_bc_resolve(void) { pthread_once(&dynamic_bc_once, resolve_once); }

int vesk_dynamic_bc_supported(void)
{
    vesk_dynamic_bc_resolve();
    return dynamic_bc_entry != NULL;
}

int vesk_dynamic_bc_calculate(CustBallisticCalculationResult *result, const CustAmmunition *ammunition,
                              const CustSight *sight, const CustRifling *rifling, const CustZeroing *zeroing,
                              const CustAtmosphere *atmosphere, const CustShotParameters *shot, const CustWind *wind,
                              bool hasWind, double windLength, const CustBallisticCalculationOption *option,
                              int dynamicBc)
{
    vesk_dynamic_bc_resolve();
    if (dynamic_bc_entry == NULL) return -1;
    return dynamic_bc_entry(result, ammunition, sight, rifling, zeroing, atmosphere, shot, wind, hasWind, windLength,
                            option, dynamicBc);
}

int Qel_ballistics_FBC_Calculator(Info_ballistics b, int range_current, double wind_speed, double shootingAngle,
                                  double azimuth, double *DropAdjustment, double *WindageAdjustment)
{
    const bool has_wind = true;
    const double wind_length = 1.0;
    CustBallisticCalculationResult result = {};
    if (DropAdjustment == NULL || WindageAdjustment == NULL) return -1;
    FBC_params_change(&b);
    if (range_current > 0) M855_ShotParameters.ShootDistance = range_current / 10.0;
    if (wind_speed >= 0) M855_Wind.Velocity = wind_speed;
    if (shootingAngle < 99) M855_ShotParameters.ShotAngle = shootingAngle;
    if (azimuth >= 0) M855_Option.Azimuth = azimuth;
    if (M855_Zeroing.pZeroingAmmunition == NULL || M855_Zeroing.pZeroingAtmosphere == NULL) return -1;
    // The drag function indexes the library's tables: a stored index from
    // outside the list never reaches it, nor does a number that is not one.
    if (b.gun.bullet.dragFunction < G1 || b.gun.bullet.dragFunction > GC || !records_finite()) return -1;
    if (vesk_debug_enabled())
        printf("range_current = %f, wind_speed = %f, ShotAngle = %f\n", (double)range_current, wind_speed,
               M855_ShotParameters.ShotAngle);
    int rc;
    if (vesk_dynamic_bc_supported())
        rc = vesk_dynamic_bc_calculate(&result, &M855_Ammunition, &M855_Sight, &M855_Rifling, &M855_Zeroing,
                                       &M855_Atmosphere, &M855_ShotParameters, &M855_Wind, has_wind, wind_length,
                                       &M855_Option, vesk_dynamic_bc_get());
    else
        rc = SingleCustBallisticCalculation(&result, &M855_Ammunition, &M855_Sight, &M855_Rifling, &M855_Zeroing,
                                            &M855_Atmosphere, &M855_ShotParameters, &M855_Wind, has_wind, wind_length,
                                            &M855_Option);
    if (vesk_debug_enabled())
        printf("\n\n\n++++++++%0.5f;%0.5f;%0.5f;%0.5f\n\n\n", result.AimX, result.AimY, result.DropAdjustment,
               result.WindageAdjustment);
    if (rc != 0) return rc;
    if (!isfinite(result.DropAdjustment) || !isfinite(result.WindageAdjustment)) return -1;
    *DropAdjustment = result.DropAdjustment;
    *WindageAdjustment = result.WindageAdjustment;
    return 0;
}

int Qel_ballistics_paramsSave_FBC(const Info_ballistics *info)
{
    if (info == NULL) return 0;
    pthread_mutex_lock(&ballistics_lock);
    ballistics = *info;
    pthread_mutex_unlock(&ballistics_lock);
    return 0;
}

void vesk_ballistics_working_get(Info_ballistics *out)
{
    pthread_mutex_lock(&ballistics_lock);
    *out = ballistics;
    pthread_mutex_unlock(&ballistics_lock);
}
