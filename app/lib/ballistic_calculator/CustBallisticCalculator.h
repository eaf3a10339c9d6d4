/*
 * libCustBallisticCalculator.so: point-mass exterior ballistics for one shot.
 *
 * Every entry point is exported under the symbol version VESKNURAX. The
 * extended entry VeskSingleCustBallisticCalculation exists only in the full
 * build; callers look it up at run time and fall back to
 * SingleCustBallisticCalculation when it is missing.
 *
 * Units: metres, seconds, m/s, degrees, grams, millimetres, kPa, degrees
 * Celsius, angles of the result in minutes of angle (1/60 degree).
 *
 * Sign convention of the result, the one the device's screen is built on
 * (it draws the vertical value as given and the windage with its sign
 * turned, up and right positive):
 *   DropAdjustment: the height of the point of impact over the line of
 *                   sight. A bullet that drops below it gives a negative
 *                   value; the shooter holds up by its size.
 *   WindageAdjustment: the hold to the right that brings the point of
 *                   impact back onto the line of sight. A bullet that
 *                   drifts right (wind from the left, spin drift of a
 *                   right-hand twist) gives a negative value; the shooter
 *                   holds left, into the wind, by its size.
 *   Time: time of flight to the target, seconds.
 *   AimX, AimY: the point of impact on the image sensor, in pixels from the
 *   centre, x to the right and y downwards (AimX has the sign opposite to
 *   the windage, AimY the sign opposite to the drop); both 0 when no lens
 *   or pixel size is given.
 *
 * A call returns 0 and fills the result, or returns one of the CUSTBC_E_*
 * codes and leaves the result untouched. It never returns 0 with a value
 * that is not finite.
 */
#ifndef CUST_BALLISTIC_CALCULATOR_H
#define CUST_BALLISTIC_CALCULATOR_H

#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum DragTableId {
    G1 = 0,
    G2 = 1,
    G5 = 2,
    G6 = 3,
    G7 = 4,
    G8 = 5,
    GI = 6,
    GS = 7,
    GC = 8 /* custom curve: no table can be given through this interface, refused */
} DragTableId;

typedef enum TwistDirection { Left = 0, Right = 1 } TwistDirection;

typedef struct CustAmmunition {
    double Weight;                    /* g, above 0, at most 1000 */
    double MuzzleVelocity;            /* m/s, above 0, at most 2000 */
    double BulletDiameter;            /* mm, above 0, at most 100 */
    double BulletLength;              /* mm, above 0, at most 500 */
    double BallisticCoefficientValue; /* lb/in2 against TableId, above 0, at most 10 */
    DragTableId TableId;
} CustAmmunition;

typedef struct CustSight {
    double SightHeight;                /* mm, line of sight above the bore axis, 0 to 500 */
    double VerticalClick;              /* MOA per turret click, 0 to 100 */
    double HorizontalClick;            /* MOA per turret click, 0 to 100 */
    double ObjectiveLense_FocalLength; /* mm, 0 to 10000 (0: none given) */
    double ImagesensorPixel_Size;      /* micrometres, 0 to 1000 (0: none given) */
} CustSight;

typedef struct CustRifling {
    double RiflingStep; /* mm per turn; above 0 (at most 5000) when spin drift is asked for */
    double Direction;   /* TwistDirection as a double: 0 left, 1 right */
} CustRifling;

typedef struct CustAtmosphere {
    double Altitude;    /* m above sea level, -1000 to 10000; the pressure given already holds it */
    double Pressure;    /* kPa, station (not sea-level) pressure, 10 to 120 */
    double Temperature; /* degrees Celsius, -80 to 70 */
    double Humidity;    /* relative, fraction 0 to 1 */
} CustAtmosphere;

typedef struct CustZeroing {
    double Distance;                          /* m, the level range at which the sight was zeroed */
    const CustAmmunition *pZeroingAmmunition; /* the load it was zeroed with */
    const CustAtmosphere *pZeroingAtmosphere; /* the weather it was zeroed in */
} CustZeroing;

typedef struct CustShotParameters {
    double ShootDistance;   /* m along the line of sight, above 0, at most MaximumDistance */
    double ShotAngle;       /* degrees, line of sight above the horizontal, -90 to 90 */
    double Step;            /* m, spacing of range tables; a single shot does not use it, 0 or more */
    double MaximumDistance; /* m, the farthest range accepted, above 0, at most 10000 */
} CustShotParameters;

typedef struct CustWind {
    double Velocity;  /* m/s, 0 to 100 */
    double Direction; /* degrees, where the wind comes from, clockwise from the
                         line of fire: 0 from the target (head wind), 90 from the
                         right, -90 from the left, +-180 from behind; -180 to 180 */
} CustWind;

typedef struct CustBallisticCalculationOption {
    bool SpinDrift_option;      /* add the gyroscopic drift of the spinning bullet */
    bool CoriolisEffect_option; /* add the deflection by the earth's rotation */
    double Latitude;            /* degrees, north positive, -90 to 90 */
    double Azimuth;             /* degrees of the line of fire, clockwise from true north, -360 to 360 */
} CustBallisticCalculationOption;

typedef struct CustBallisticCalculationResult {
    double Time;
    double AimX;
    double AimY;
    double WindageAdjustment;
    double DropAdjustment;
} CustBallisticCalculationResult;

/* Return codes. */
#define CUSTBC_OK 0
#define CUSTBC_E_NULL 1        /* a record pointer, or a zeroing pointer, is null */
#define CUSTBC_E_NOT_FINITE 2  /* an input is NaN or infinite */
#define CUSTBC_E_RANGE 3       /* an input lies outside the range given above */
#define CUSTBC_E_DRAG_TABLE 4  /* TableId outside the list, or a table this library lacks */
#define CUSTBC_E_ZERO 5        /* no bore angle puts the zeroing load on the zero distance */
#define CUSTBC_E_FALLS_SHORT 6 /* the bullet stops short of the target */
#define CUSTBC_E_RESULT 7      /* the solution came out non-finite */

/* The library's version text, at most 31 characters. */
const char *GetThisLibVerion(void);

/* The library's own diagnostics on standard error, on or off (off at load). */
void Ballistic_Calculation_LogSet(bool on);

/*
 * One shot: the bore angle that puts the zeroing load on the zero distance
 * under the zeroing weather (reused while those stay the same), then the
 * trajectory of the load under the shot's weather, shot angle, wind (when
 * hasWind, over the first windLength, a fraction 0 to 1, of the distance),
 * spin drift and Coriolis deflection as the options ask.
 */
int SingleCustBallisticCalculation(CustBallisticCalculationResult *result, const CustAmmunition *ammunition,
                                   const CustSight *sight, const CustRifling *rifling, const CustZeroing *zeroing,
                                   const CustAtmosphere *atmosphere, const CustShotParameters *shot,
                                   const CustWind *wind, bool hasWind, double windLength,
                                   const CustBallisticCalculationOption *option);

/*
 * The extended entry: the same, with the dynamic ballistic coefficient
 * switch last (0 off, 1 on; other values are refused). On, the coefficient
 * given is taken as the one measured at the muzzle velocity, and downrange
 * it changes with speed as that of a modern boat-tail bullet does: the drag
 * follows the G7 shape, matched to the given table at the muzzle. For a G7
 * load the switch changes nothing.
 */
typedef int VeskSingleCustBallisticCalculation_t(CustBallisticCalculationResult *result,
                                                 const CustAmmunition *ammunition, const CustSight *sight,
                                                 const CustRifling *rifling, const CustZeroing *zeroing,
                                                 const CustAtmosphere *atmosphere, const CustShotParameters *shot,
                                                 const CustWind *wind, bool hasWind, double windLength,
                                                 const CustBallisticCalculationOption *option, int dynamicBc);
VeskSingleCustBallisticCalculation_t VeskSingleCustBallisticCalculation;
typedef VeskSingleCustBallisticCalculation_t *VeskSingleCustBallisticCalculation_fn;

#ifdef __cplusplus
}
#endif

#endif
