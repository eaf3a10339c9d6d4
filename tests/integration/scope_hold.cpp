#include "scope_hold.h"

#include <gtest/gtest.h>

#include "CustBallisticCalculator.h"

scope_hold scope_library_hold(const wire_profile &p, int range_dm, double shot_angle, int dynamic_bc)
{
    CustAmmunition ammo = {};
    const wire_bullet &b = p.gun.bullet;
    ammo.Weight = b.weight * 0.0647989; /* grains to grams */
    ammo.MuzzleVelocity = b.velocity;
    ammo.BulletDiameter = b.diameter;
    ammo.BulletLength = b.length;
    ammo.BallisticCoefficientValue = b.ballisticsCoef;
    ammo.TableId = (DragTableId)b.dragFunction;

    const bool mrad = p.gun.scope.unit != 0;
    CustSight sight = {};
    sight.SightHeight = p.gun.scope.sightHeightOverBore;
    double vclick = p.gun.scope.verticalUnitPerCard == 0 ? 0.1 : p.gun.scope.verticalUnitPerCard;
    sight.VerticalClick = mrad ? vclick * 3.44 : vclick;
    sight.HorizontalClick = mrad ? p.gun.scope.horizontalUnitPerCard * 3.44 : p.gun.scope.horizontalUnitPerCard;
    sight.ObjectiveLense_FocalLength = 60;
    sight.ImagesensorPixel_Size = 12;

    CustRifling rifling = {p.gun.riflingRange * 25.4, (double)p.gun.direction};
    auto weather = [](const wire_atmosphere &a) {
        return CustAtmosphere{a.altitude, a.barometer * 0.1333, a.temperature, a.relative_humidity / 100.0};
    };
    CustAtmosphere shooting = weather(p.atmosphere);
    CustAtmosphere zeroing_weather = weather(b.atmosphere);
    CustZeroing zeroing = {(double)p.gun.scope.zeroRange, &ammo, b.isOpenAtmosphere ? &zeroing_weather : &shooting};
    CustShotParameters shot = {range_dm / 10.0, shot_angle, 300, 3000};
    CustWind wind = {p.wind.speed, p.wind.angle < 180 ? p.wind.angle : -(360 - p.wind.angle)};
    CustBallisticCalculationOption option = {};
    option.SpinDrift_option = p.spinDriftOpt != 0;
    option.CoriolisEffect_option = p.corioliseffect.CoriolisEffectSwitch != 0;
    if (option.CoriolisEffect_option) {
        option.Latitude = p.corioliseffect.lat;
        option.Azimuth = p.corioliseffect.angle;
    }

    CustBallisticCalculationResult r = {};
    int rc = VeskSingleCustBallisticCalculation(&r, &ammo, &sight, &rifling, &zeroing, &shooting, &shot, &wind, true,
                                                1.0, &option, dynamic_bc);
    EXPECT_EQ(rc, 0) << "the library refused the profile";
    return {r.DropAdjustment, r.WindageAdjustment};
}

int scope_boot_dynamic_bc(const sim_harness &run)
{
    std::vector<sim_bytes> bc = run.frames("gui", sim_boot_done);
    return bc.size() == 1 ? bc[0][6] : -1;
}
