// The phone's exchange files against the six profiles of a unit's files:
// which keys reach all six and which the current one, the conversions, the
// four result values, the export's lines, a round trip, and files that
// must change nothing.
#include "bccal.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ballistic_fbc.h"
#include "ballistic_thread.h"
#include "ballistic_units.h"
#include "log_keep_terminal.h"
#include "persist_fixture.h"
#include "qel_dev_status.h"
#include "vesk_log.h"
#include "vesk_persist.h"

namespace {

std::string g_log_root;

/* Every line the logger wrote to its files, joined. */
std::string logged()
{
    std::string all;
    const std::string dir = g_log_root + "/VeskLogs";
    DIR *d = opendir(dir.c_str());
    if (d == nullptr) return all;
    while (struct dirent *e = readdir(d))
        if (e->d_name[0] != '.') all += read_text(dir + "/" + e->d_name);
    closedir(d);
    return all;
}

bool wait_logged(const std::string &needle)
{
    for (int i = 0; i < 500; i++) {
        if (logged().find(needle) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class Exchange : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/vesk-bccal-log-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        g_log_root = tmpl;
        vesk_log_config cfg;
        memset(&cfg, 0, sizeof cfg);
        snprintf(cfg.vesk_media_root, sizeof cfg.vesk_media_root, "%s", tmpl);
        snprintf(cfg.vesk_socket_path, sizeof cfg.vesk_socket_path, "%s/log.sock", tmpl);
        cfg.vesk_require_vfat = 0;
        ASSERT_EQ(vesk_log_start_keeping_terminal(VESK_LOG_APP, &cfg), 0);
    }
    static void TearDownTestSuite()
    {
        vesk_log_stop();
        std::string rm = "rm -rf '" + g_log_root + "'";
        EXPECT_EQ(system(rm.c_str()), 0);
    }

    PersistDir dir;
    vesk_persist_profiles profiles = {};
    std::string file;

    void SetUp() override
    {
        dir.create();
        vesk_persist_paths p = dir.paths();
        vesk_persist_hooks hooks = {};
        ASSERT_EQ(vesk_persist_start(&p, &hooks, &qel_dev_status, &profiles), 0);
        qel_ballistics = profiles.vesk_ballistics;
        qel_ir_cursor = profiles.vesk_cursor;
        memset(&g_ballistics_result, 0, sizeof g_ballistics_result);
        file = dir.root + "/usrdata/http_send_bccalfile.txt";
    }
    void TearDown() override
    {
        vesk_persist_stop(2000);
        dir.remove();
    }

    void current(unsigned index)
    {
        qel_ballistics.u8CurrentBallistics = (uint8_t)index;
        qel_ir_cursor.u8CurrentGroup = (uint8_t)index;
    }
    int import(const std::string &text)
    {
        write_text(file, text);
        return vesk_bccal_import_from(file.c_str());
    }
    Info_ballistics &profile(int i) { return qel_ballistics.ballistics[i]; }
};

TEST_F(Exchange, TargetDistanceIsClampedAndReachesEveryProfile)
{
    current(3);
    const uint64_t before = persist_accepted(VESK_PERSIST_PROFILES);
    ASSERT_EQ(import("[bccal]\ntarget_distance=4000\n"), 0);
    for (int i = 0; i < 6; i++) EXPECT_EQ(profile(i).target.range, 30000) << "profile " << i;
    EXPECT_GT(persist_accepted(VESK_PERSIST_PROFILES), before) << "the profiles are staged";
    EXPECT_EQ(vesk_persist_flush(5000), 0);

    ASSERT_EQ(import("[bccal]\ntarget_distance=123.45\n"), 0);
    for (int i = 0; i < 6; i++) EXPECT_EQ(profile(i).target.range, 1234) << "truncated, profile " << i;
    ASSERT_EQ(import("[bccal]\ntarget_distance=-5\n"), 0);
    for (int i = 0; i < 6; i++) EXPECT_EQ(profile(i).target.range, 0) << "profile " << i;
}

TEST_F(Exchange, BulletValuesReachTheCurrentProfileOnly)
{
    current(2);
    Qel_IR_Ballistics before = qel_ballistics;
    ASSERT_EQ(import("[bccal]\ngun_bullet_weight=10\ngun_bullet_muzzleVelocity=850\n"
                     "gun_bullet_zeroingWeather_temperature=-5\ngun_bullet_isOpenzeroingWeather=true\n"),
              0);
    EXPECT_NEAR(profile(2).gun.bullet.weight, 154.32, 1e-9);
    EXPECT_EQ(profile(2).gun.bullet.velocity, 850);
    EXPECT_EQ(profile(2).gun.bullet.atmosphere.temperature, -5.0f);
    EXPECT_EQ(profile(2).gun.bullet.isOpenAtmosphere, 1);
    for (int i : {0, 1, 3, 4, 5})
        EXPECT_EQ(memcmp(&profile(i).gun.bullet, &before.ballistics[i].gun.bullet, sizeof(Info_bullet)), 0) << i;
}

TEST_F(Exchange, OffsetsAreHeldInBothUnits)
{
    ASSERT_EQ(import("[bccal]\ngun_bullet_zeroOffsetUnit=mrad\ngun_bullet_zeroOffsetVertical=1\n"
                     "gun_bullet_zeroOffsetHorizontal=-0.5\ngun_scope_unit=x\n"),
              0);
    for (int i = 0; i < 6; i++) {
        const Info_bullet &b = profile(i).gun.bullet;
        EXPECT_EQ(b.zeroOffsetUnit, MRAD) << i;
        EXPECT_DOUBLE_EQ(b.zeroOffsetVerticalMRAD, 1) << i;
        EXPECT_DOUBLE_EQ(b.zeroOffsetVerticalMOA, 3.44) << i;
        EXPECT_DOUBLE_EQ(b.zeroOffsetHorizontalMRAD, -0.5) << i;
        EXPECT_DOUBLE_EQ(b.zeroOffsetHorizontalMOA, -1.72) << i;
        EXPECT_EQ(profile(i).gun.scope.unit, MRAD) << i;
    }
    ASSERT_EQ(import("[bccal]\ngun_bullet_zeroOffsetUnit=moa\ngun_bullet_zeroOffsetVertical=3.44\ngun_scope_unit=0\n"),
              0);
    for (int i = 0; i < 6; i++) {
        EXPECT_DOUBLE_EQ(profile(i).gun.bullet.zeroOffsetVerticalMOA, 3.44) << i;
        EXPECT_DOUBLE_EQ(profile(i).gun.bullet.zeroOffsetVerticalMRAD, 1) << i;
        EXPECT_EQ(profile(i).gun.scope.unit, MOA) << i;
    }
}

TEST_F(Exchange, WordsAndTheirConversions)
{
    current(1);
    const struct {
        const char *line;
        int (*got)(Info_ballistics &b);
        int want;
    } rows[] = {
        {"gun_bullet_dragModel=g1", [](Info_ballistics &b) { return b.gun.bullet.dragFunction; }, 0},
        {"gun_bullet_dragModel=g2", [](Info_ballistics &b) { return b.gun.bullet.dragFunction; }, 1},
        {"gun_bullet_dragModel=g5", [](Info_ballistics &b) { return b.gun.bullet.dragFunction; }, 2},
        {"gun_bullet_dragModel=g6", [](Info_ballistics &b) { return b.gun.bullet.dragFunction; }, 3},
        {"gun_bullet_dragModel=g8", [](Info_ballistics &b) { return b.gun.bullet.dragFunction; }, 5},
        {"gun_bullet_dragModel=g7", [](Info_ballistics &b) { return b.gun.bullet.dragFunction; }, 4},
        {"gun_bullet_dragModel=xyz", [](Info_ballistics &b) { return b.gun.bullet.dragFunction; }, 4},
        {"gun_riflingDirection=left", [](Info_ballistics &b) { return (int)b.gun.direction; }, LEFT},
        {"gun_riflingDirection=1", [](Info_ballistics &b) { return (int)b.gun.direction; }, LEFT},
        {"gun_riflingDirection=right", [](Info_ballistics &b) { return (int)b.gun.direction; }, RIGHT},
        {"spinDrift=false", [](Info_ballistics &b) { return (int)b.spinDriftOpt; }, 0},
        {"spinDrift=true", [](Info_ballistics &b) { return (int)b.spinDriftOpt; }, 1},
        {"spinDrift=0", [](Info_ballistics &b) { return (int)b.spinDriftOpt; }, 0},
        {"spinDrift=1", [](Info_ballistics &b) { return (int)b.spinDriftOpt; }, 1},
        {"wind_direction=-90", [](Info_ballistics &b) { return (int)lround(b.wind.angle); }, 270},
        {"wind_direction = 45", [](Info_ballistics &b) { return (int)lround(b.wind.angle); }, 45},
        {"target_angle=12.4 degrees", [](Info_ballistics &b) { return (int)lround(b.target.shootingAngle); }, 12},
        {"target_angle=abc", [](Info_ballistics &b) { return (int)lround(b.target.shootingAngle); }, 12},
        {"target_angle=nan", [](Info_ballistics &b) { return (int)lround(b.target.shootingAngle); }, 12},
        {"gun_scope_zeroingDistance=99.6", [](Info_ballistics &b) { return (int)b.gun.scope.zeroRange; }, 100},
        {"gun_scope_zeroingDistance=5000", [](Info_ballistics &b) { return (int)b.gun.scope.zeroRange; }, 1500},
    };
    for (const auto &r : rows) {
        ASSERT_EQ(import(std::string("[bccal]\n") + r.line + "\n"), 0) << r.line;
        EXPECT_EQ(r.got(profile(1)), r.want) << r.line;
    }
    /* The zero point follows the zeroing distance within its limits. */
    EXPECT_EQ(qel_ir_cursor.group[1].zero[0].u16IrCursorDistance, 1500);
}

TEST_F(Exchange, WordsAreTakenAsThePhoneWritesThem)
{
    /* The phone writes its words in lower case; another spelling is no
     * word of the file: an unknown drag model is the g7 model, the other
     * words leave the scope's value alone. */
    current(4);
    const struct {
        const char *line;
        int (*got)(Info_ballistics &b);
        int before, want;
    } rows[] = {
        {"gun_bullet_dragModel=G1", [](Info_ballistics &b) { return b.gun.bullet.dragFunction; }, 0, 4},
        {"gun_bullet_dragModel=G8", [](Info_ballistics &b) { return b.gun.bullet.dragFunction; }, 0, 4},
        {"gun_riflingDirection=LEFT", [](Info_ballistics &b) { return (int)b.gun.direction; }, RIGHT, RIGHT},
        {"gun_riflingDirection=Right", [](Info_ballistics &b) { return (int)b.gun.direction; }, LEFT, LEFT},
        {"gun_bullet_zeroOffsetUnit=MRAD", [](Info_ballistics &b) { return (int)b.gun.bullet.zeroOffsetUnit; }, MOA,
         MOA},
        {"gun_bullet_isOpenzeroingWeather=TRUE", [](Info_ballistics &b) { return b.gun.bullet.isOpenAtmosphere; }, 0,
         0},
        {"gun_bullet_isOpenzeroingWeather=False", [](Info_ballistics &b) { return b.gun.bullet.isOpenAtmosphere; }, 1,
         1},
        {"spinDrift=FALSE", [](Info_ballistics &b) { return (int)b.spinDriftOpt; }, 0, 1},
        {"spinDrift=falsely", [](Info_ballistics &b) { return (int)b.spinDriftOpt; }, 1, 0},
    };
    for (const auto &r : rows) {
        for (int i = 0; i < 6; i++) {
            Info_ballistics &b = profile(i);
            b.gun.bullet.dragFunction = r.before;
            b.gun.direction = (RiflingDirection)r.before;
            b.gun.bullet.zeroOffsetUnit = (ScopeUnit)r.before;
            b.gun.bullet.isOpenAtmosphere = r.before;
            b.spinDriftOpt = (uint8_t)r.before;
        }
        ASSERT_EQ(import(std::string("[bccal]\n") + r.line + "\n"), 0) << r.line;
        EXPECT_EQ(r.got(profile(4)), r.want) << r.line;
    }
}

TEST_F(Exchange, DistancesAreHeldAtTheLimitAndTheirYardsFollow)
{
    /* Any number is a distance held at its limit. A scope set to yards
     * shows and edits the yard fields: they follow the metres the file
     * brought, as the GUI's own editors keep them. */
    current(2);
    const struct {
        const char *text;
        short range, range_yard, zero, zero_yard;
    } rows[] = {
        {"[bccal]\ntarget_distance=812.5\ngun_scope_zeroingDistance=200\n", 8125, 8885, 200, 218},
        {"[bccal]\ntarget_distance=250\ngun_scope_zeroingDistance=1250\n", 2500, 2734, 1250, 1367},
        {"[bccal]\ntarget_distance=4000\ngun_scope_zeroingDistance=5000\n", 30000, 32767, 1500, 1640},
        {"[bccal]\ntarget_distance=1e12\ngun_scope_zeroingDistance=1e12\n", 30000, 32767, 1500, 1640},
        {"[bccal]\ntarget_distance=1e400\ngun_scope_zeroingDistance=-1e400\n", 30000, 32767, 11, 12},
        {"[bccal]\ntarget_distance=-1e12\ngun_scope_zeroingDistance=40000\n", 0, 0, 1500, 1640},
    };
    for (const auto &r : rows) {
        for (int i = 0; i < 6; i++) profile(i).target.range = 1234;
        profile(2).gun.scope.zeroRange = 100;
        ASSERT_EQ(import(r.text), 0) << r.text;
        for (int i = 0; i < 6; i++) {
            EXPECT_EQ(profile(i).target.range, r.range) << r.text << " profile " << i;
            EXPECT_EQ(profile(i).target.range_yard, r.range_yard) << r.text << " profile " << i;
        }
        EXPECT_EQ(profile(2).gun.scope.zeroRange, r.zero) << r.text;
        EXPECT_EQ(profile(2).gun.scope.zeroRange_yard, r.zero_yard) << r.text;
        EXPECT_EQ(qel_ir_cursor.group[2].zero[0].u16IrCursorDistance, r.zero) << r.text;
        EXPECT_EQ(qel_ir_cursor.group[2].zero[0].u16IrCursorDistanceYD, r.zero_yard) << r.text;
    }
    const short range_yard = profile(2).target.range_yard, other_zero = profile(4).gun.scope.zeroRange_yard;
    ASSERT_EQ(import("[bccal]\nwind_speed=3\n"), 0);
    EXPECT_EQ(profile(2).target.range_yard, range_yard) << "no distance in the file";
    EXPECT_EQ(profile(4).gun.scope.zeroRange_yard, other_zero) << "another group's zero";
}

TEST_F(Exchange, ValuesForEveryProfileAreKeptInTheirLimitsInEveryProfile)
{
    /* Profile 0 carries the values common to all groups, whichever is
     * current: the GUI shows them and the export serves them from there. */
    current(3);
    ASSERT_EQ(import("[bccal]\nwind_speed=50\ntarget_angle=120\nweather_airPressure=2000\n"
                     "weather_temperature=-60\ngun_riflingRange=40\ngun_bullet_zeroOffsetVertical=150\n"),
              0);
    for (int i = 0; i < 6; i++) {
        const Info_ballistics &b = profile(i);
        EXPECT_EQ(b.wind.speed, 30) << i;
        EXPECT_EQ(b.target.shootingAngle, 90) << i;
        EXPECT_FLOAT_EQ(b.atmosphere.barometer, 825.1f) << i;
        EXPECT_FLOAT_EQ(b.atmosphere.temperature, -40.0f) << i;
        EXPECT_DOUBLE_EQ(b.gun.riflingRange, 24.02) << i;
        EXPECT_DOUBLE_EQ(b.gun.bullet.zeroOffsetVerticalMOA, 99.99) << i;
    }
    char text[4096];
    ASSERT_GT(vesk_bccal_export_text(&qel_ballistics, text, sizeof text), 0);
    EXPECT_NE(strstr(text, "\nwind_speed=30.000000\n"), nullptr) << text;
    EXPECT_NE(strstr(text, "\ntarget_angle=90.000000\n"), nullptr) << text;
}

TEST_F(Exchange, ResultValuesAndTheCoriolisSwitch)
{
    ASSERT_EQ(import("[bccal]\nresult_moaVertical=1.5\nresult_moaHorizontal=-2\nresult_mradVertical=0.25\n"
                     "result_mradHorizontal=3\ncoriolisEffect_lat=45\ncoriolisEffect_azimuth=0\n"),
              0);
    EXPECT_DOUBLE_EQ(g_ballistics_result.moaV, -1.5);
    EXPECT_DOUBLE_EQ(g_ballistics_result.moaH, 2);
    EXPECT_DOUBLE_EQ(g_ballistics_result.mradV, -0.25);
    EXPECT_DOUBLE_EQ(g_ballistics_result.mradH, -3);
    for (int i = 0; i < 6; i++) EXPECT_EQ(profile(i).corioliseffect.CoriolisEffectSwitch, 1) << i;
    ASSERT_EQ(import("[bccal]\ncoriolisEffect_lat=0\n"), 0);
    for (int i = 0; i < 6; i++) EXPECT_EQ(profile(i).corioliseffect.CoriolisEffectSwitch, 0) << i;
}

/* The holds a phone can report are angles of at most a right angle (5400
 * MOA, 5400 / 3.44 mrad); a value past them is no solution and its line is
 * skipped, the others apply. */
TEST_F(Exchange, ResultValuesOutsideASolutionAreSkipped)
{
    const double mrad_max = 5400 / 3.44;
    const struct {
        const char *key;
        double value;
        bool taken;
    } rows[] = {
        {"result_moaVertical", 5400, true},         {"result_moaVertical", -5400, true},
        {"result_moaVertical", 5400.01, false},     {"result_moaVertical", -1e9, false},
        {"result_moaHorizontal", -5399.5, true},    {"result_moaHorizontal", 1e9, false},
        {"result_mradVertical", mrad_max, true},    {"result_mradVertical", -1600, false},
        {"result_mradHorizontal", -mrad_max, true}, {"result_mradHorizontal", 1e9, false},
        {"result_mradHorizontal", 1570, false},     {"result_moaHorizontal", 0, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.key << "=" << r.value);
        g_ballistics_result = {};
        g_ballistics_result.moaV = g_ballistics_result.moaH = g_ballistics_result.mradV = g_ballistics_result.mradH =
            7.0;
        char line[96];
        snprintf(line, sizeof line, "[bccal]\n%s=%.17g\ntarget_angle=3\n", r.key, r.value);
        for (int i = 0; i < 6; i++) profile(i).target.shootingAngle = 0;
        ASSERT_EQ(import(line), 0);
        const double got = strstr(r.key, "mradVertical")     ? g_ballistics_result.mradV
                           : strstr(r.key, "mradHorizontal") ? g_ballistics_result.mradH
                           : strstr(r.key, "moaVertical")    ? g_ballistics_result.moaV
                                                             : g_ballistics_result.moaH;
        EXPECT_DOUBLE_EQ(got, r.taken ? -r.value : 7.0);
        EXPECT_EQ(profile(0).target.shootingAngle, 3) << "the other lines apply";
    }
}

/* A file need not end its last line with a newline: that line is read
 * like any other, whatever it holds. */
TEST_F(Exchange, TheLastLineCountsWithoutItsNewline)
{
    const struct {
        const char *name;
        const char *text;
    } rows[] = {
        {"a value", "[bccal]\ntarget_angle=7\nwind_speed=4"},
        {"a value behind CR LF lines", "[bccal]\r\ntarget_angle=7\r\nwind_speed=4"},
        {"a value with blanks behind", "[bccal]\ntarget_angle=7\nwind_speed = 4  "},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        for (int i = 0; i < 6; i++) profile(i).wind.speed = 0, profile(i).target.shootingAngle = 0;
        ASSERT_EQ(import(r.text), 0);
        for (int i = 0; i < 6; i++) {
            EXPECT_EQ(profile(i).wind.speed, 4) << i;
            EXPECT_EQ(profile(i).target.shootingAngle, 7) << i;
        }
    }
    /* A section line alone, without its newline, is still the section. */
    EXPECT_EQ(import("[bccal]"), 0);
    EXPECT_EQ(import("target_angle=7"), -EINVAL);
}

TEST_F(Exchange, LinesBeforeTheSectionAndBadValuesAreSkipped)
{
    ASSERT_EQ(import("wind_speed=9\n[bccal] \r\nwind_speed=fast\ntarget_angle=7\r\nunknown=1\n\n"), 0);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(profile(i).target.shootingAngle, 7) << i;
        EXPECT_NE(profile(i).wind.speed, 9) << i;
    }
    EXPECT_TRUE(wait_logged("no value for wind_speed")) << logged();
}

TEST_F(Exchange, ALineTooLongIsSkippedAndTheOthersApply)
{
    /* A value cut at the line's limit would be another number: 1.5e-07
     * cut after its mantissa reads 1.5. */
    const std::string pad(63 - strlen("wind_speed=e-07"), '0');
    const std::string text = "[bccal]\nwind_speed=1.5" + pad + "e-07\ntarget_angle=12\n" + "x_" + std::string(80, 'y') +
                             "\ntarget_distance=250\n";
    for (int i = 0; i < 6; i++) profile(i).wind.speed = 7;
    ASSERT_EQ(import(text), 0);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(profile(i).wind.speed, 7) << i;
        EXPECT_EQ(profile(i).target.shootingAngle, 12) << i;
        EXPECT_EQ(profile(i).target.range, 2500) << i;
    }
    EXPECT_TRUE(wait_logged("line 2 skipped: 66 characters, at most 63")) << logged();
    EXPECT_TRUE(wait_logged("line 4 skipped: 82 characters, at most 63")) << logged();
}

TEST_F(Exchange, BrokenFilesChangeNothingAndAreLogged)
{
    std::string big = "[bccal]\n";
    while (big.size() <= VESK_BCCAL_FILE_MAX) big += "wind_speed=3\n";
    const struct {
        const char *name;
        std::string text;
        int rc;
        const char *log;
    } rows[] = {
        {"no section", "target_distance=100\n", -EINVAL, "no [bccal] line"},
        {"empty", "", -EINVAL, "no [bccal] line"},
        {"binary", std::string("[bccal]\ntarget_distance=100\n\0\x01\n", 31), -EINVAL, "is no text"},
        {"oversized", big, -EFBIG, "import refused: 16"},
    };
    for (const auto &r : rows) {
        const Qel_IR_Ballistics before = qel_ballistics;
        const Qel_IR_Cursor cursor = qel_ir_cursor;
        const uint64_t staged = persist_accepted(VESK_PERSIST_PROFILES);
        EXPECT_EQ(import(r.text), r.rc) << r.name;
        EXPECT_EQ(memcmp(&before, &qel_ballistics, sizeof before), 0) << r.name;
        EXPECT_EQ(memcmp(&cursor, &qel_ir_cursor, sizeof cursor), 0) << r.name;
        EXPECT_EQ(persist_accepted(VESK_PERSIST_PROFILES), staged) << r.name;
        EXPECT_TRUE(wait_logged(r.log)) << r.name << "\n" << logged();
    }
    EXPECT_EQ(vesk_bccal_import_from((dir.root + "/no-such-file").c_str()), -1);
}

TEST_F(Exchange, ARefusalOfTheStoreAppliesNothing)
{
    const struct {
        const char *name;
        int rc;
        const char *log;
    } rows[] = {
        {"a profile the store cannot keep", -EINVAL, "profiles not staged"},
        {"an edit refused", -ECANCELED, "edit refused"},
    };
    for (const auto &r : rows) {
        if (r.rc == -EINVAL) profile(4).corioliseffect.lat = NAN;
        Info_ballistics working_before;
        vesk_ballistics_working_get(&working_before);
        const Qel_IR_Ballistics before = qel_ballistics;
        const Qel_IR_Cursor cursor = qel_ir_cursor;
        const uint64_t staged = persist_accepted(VESK_PERSIST_PROFILES);
        if (r.rc == -ECANCELED) vesk_persist_abandon_pending();
        EXPECT_EQ(import("[bccal]\ntarget_distance=250\ngun_scope_zeroingDistance=300\nresult_moaVertical=2\n"), r.rc)
            << r.name;
        EXPECT_EQ(memcmp(&before, &qel_ballistics, sizeof before), 0) << r.name;
        EXPECT_EQ(memcmp(&cursor, &qel_ir_cursor, sizeof cursor), 0) << r.name;
        EXPECT_EQ(g_ballistics_result.moaV, 0) << r.name;
        Info_ballistics working;
        vesk_ballistics_working_get(&working);
        EXPECT_EQ(memcmp(&working, &working_before, sizeof working), 0) << r.name << ": the calculator's profile";
        EXPECT_EQ(persist_accepted(VESK_PERSIST_PROFILES), staged) << r.name;
        EXPECT_TRUE(wait_logged(r.log)) << r.name << "\n" << logged();
        profile(4).corioliseffect.lat = 0;
    }
}

TEST_F(Exchange, ExportLinesInOrder)
{
    current(1);
    Info_ballistics &p0 = profile(0), &p1 = profile(1);
    p0.target.range = 4567;
    p0.wind.angle = 270;
    p0.spinDriftOpt = 1;
    p0.corioliseffect.CoriolisEffectSwitch = 0;
    p0.corioliseffect.lat = 12;
    p0.gun.direction = LEFT;
    p0.gun.bullet.zeroOffsetVerticalMOA = 1.25;
    p1.gun.bullet.dragFunction = 4;
    p1.gun.bullet.weight = 154.32;
    p1.gun.scope.zeroRange = 100;
    char text[4096];
    int n = vesk_bccal_export_text(&qel_ballistics, text, sizeof text);
    ASSERT_GT(n, 0);
    ASSERT_EQ(text[n - 1], '\n');
    std::vector<std::string> lines;
    for (char *l = strtok(text, "\n"); l != nullptr; l = strtok(nullptr, "\n")) {
        EXPECT_LE(strlen(l), 63u) << l;
        lines.push_back(l);
    }
    const char *keys[] = {"[bccal]",
                          "spinDrift=",
                          "target_distance=",
                          "target_angle=",
                          "wind_direction=",
                          "wind_speed=",
                          "coriolisEffect_lat=",
                          "coriolisEffect_azimuth=",
                          "weather_temperature=",
                          "weather_airPressure=",
                          "weather_humidity=",
                          "gun_riflingRange=",
                          "gun_riflingDirection=",
                          "gun_bullet_length=",
                          "gun_bullet_diameter=",
                          "gun_bullet_weight=",
                          "gun_bullet_coefficient=",
                          "gun_bullet_dragModel=",
                          "gun_bullet_muzzleVelocity=",
                          "gun_bullet_zeroingWeather_temperature=",
                          "gun_bullet_zeroingWeather_airPressure=",
                          "gun_bullet_zeroingWeather_humidity=",
                          "gun_bullet_isOpenzeroingWeather=",
                          "gun_bullet_zeroOffsetUnit=",
                          "gun_bullet_zeroOffsetVertical=",
                          "gun_bullet_zeroOffsetHorizontalMOA=",
                          "gun_scope_zeroingDistance=",
                          "gun_scope_height=",
                          "gun_scope_unit=",
                          "gun_scope_verticalUnitPerCard=",
                          "gun_scope_horizontalUnitPerCard="};
    ASSERT_EQ(lines.size(), sizeof keys / sizeof keys[0]);
    for (size_t i = 0; i < lines.size(); i++) EXPECT_EQ(lines[i].rfind(keys[i], 0), 0u) << lines[i];
    const char *exact[] = {"spinDrift=1",
                           "target_distance=456.700000",
                           "wind_direction=-90.000000",
                           "coriolisEffect_lat=0",
                           "coriolisEffect_azimuth=0",
                           "gun_riflingDirection=0",
                           "gun_bullet_dragModel=g7",
                           "gun_bullet_zeroOffsetUnit=0",
                           "gun_bullet_zeroOffsetVertical=1.250000",
                           "gun_scope_zeroingDistance=100",
                           "gun_scope_unit=0"};
    for (const char *e : exact) EXPECT_NE(std::find(lines.begin(), lines.end(), e), lines.end()) << e;
    EXPECT_NEAR(atof(lines[15].c_str() + strlen("gun_bullet_weight=")), 10, 1e-3);
}

TEST_F(Exchange, AFailedExportLeavesNoEarlierFileToServe)
{
    const std::string out = dir.root + "/usrdata/http_get_bccalfile.txt";
    const struct {
        const char *name;
        int rc;
    } rows[] = {{"a value that does not fit its line", -EOVERFLOW}, {"a file that cannot be created", -1}};
    for (const auto &r : rows) {
        write_text(out, "[bccal]\ntarget_distance=1.000000\n");
        const Qel_IR_Ballistics before = qel_ballistics;
        if (r.rc == -EOVERFLOW) {
            profile(0).corioliseffect.CoriolisEffectSwitch = 1;
            profile(0).corioliseffect.lat = 1e60;
        } else {
            ASSERT_EQ(mkdir((out + ".tmp").c_str(), 0700), 0);
        }
        EXPECT_EQ(vesk_bccal_export_to(out.c_str()), r.rc) << r.name;
        EXPECT_FALSE(file_exists(out)) << r.name;
        qel_ballistics = before;
        rmdir((out + ".tmp").c_str());
    }
    ASSERT_EQ(vesk_bccal_export_to(out.c_str()), 0);
    EXPECT_EQ(read_text(out).rfind("[bccal]\nspinDrift=", 0), 0u);
}

TEST(ExchangeExport, EveryLineAsThePhoneReadsIt)
{
    /* The common values from profile 0, the bullet and scope from the
     * current profile (2), the offsets and clicks from profile 0. */
    Qel_IR_Ballistics set = {};
    set.u8CurrentBallistics = 2;
    Info_ballistics &p0 = set.ballistics[0], &cur = set.ballistics[2];
    p0.spinDriftOpt = 1;
    p0.target.range = 3005;
    p0.target.shootingAngle = -12.5;
    p0.wind.angle = 200;
    p0.wind.speed = 4.25;
    p0.corioliseffect = {48.5, 270, 1};
    p0.atmosphere = {0, 760, -5.5f, 40};
    p0.gun.riflingRange = 10;
    p0.gun.direction = RIGHT;
    p0.gun.bullet.zeroOffsetVerticalMOA = 1.5;
    p0.gun.bullet.zeroOffsetHorizontalMOA = -0.75;
    p0.gun.bullet.zeroOffsetUnit = MRAD;
    p0.gun.scope.verticalUnitPerCard = 0.1;
    p0.gun.scope.horizontalUnitPerCard = 0.25;
    cur.gun.bullet.length = 31.5;
    cur.gun.bullet.diameter = 7.82;
    cur.gun.bullet.weight = 175;
    cur.gun.bullet.ballisticsCoef = 0.243;
    cur.gun.bullet.dragFunction = 7;
    cur.gun.bullet.velocity = 790;
    cur.gun.bullet.atmosphere = {0, 750, 20, 55};
    cur.gun.bullet.isOpenAtmosphere = 1;
    cur.gun.scope.zeroRange = 100;
    cur.gun.scope.sightHeightOverBore = 45;
    cur.gun.scope.unit = MRAD;
    char text[4096];
    ASSERT_GT(vesk_bccal_export_text(&set, text, sizeof text), 0);
    EXPECT_STREQ(text, "[bccal]\n"
                       "spinDrift=1\n"
                       "target_distance=300.500000\n"
                       "target_angle=-12.500000\n"
                       "wind_direction=-160.000000\n"
                       "wind_speed=4.250000\n"
                       "coriolisEffect_lat=48.500000\n"
                       "coriolisEffect_azimuth=270.000000\n"
                       "weather_temperature=-5.500000\n"
                       "weather_airPressure=760.000000\n"
                       "weather_humidity=40.000000\n"
                       "gun_riflingRange=10.000000\n"
                       "gun_riflingDirection=1\n"
                       "gun_bullet_length=31.500000\n"
                       "gun_bullet_diameter=7.820000\n"
                       "gun_bullet_weight=11.340000\n"
                       "gun_bullet_coefficient=0.243000\n"
                       "gun_bullet_dragModel=gs\n"
                       "gun_bullet_muzzleVelocity=790.000000\n"
                       "gun_bullet_zeroingWeather_temperature=20.000000\n"
                       "gun_bullet_zeroingWeather_airPressure=750.000000\n"
                       "gun_bullet_zeroingWeather_humidity=55.000000\n"
                       "gun_bullet_isOpenzeroingWeather=1\n"
                       "gun_bullet_zeroOffsetUnit=0\n"
                       "gun_bullet_zeroOffsetVertical=1.500000\n"
                       "gun_bullet_zeroOffsetHorizontalMOA=-0.750000\n"
                       "gun_scope_zeroingDistance=100\n"
                       "gun_scope_height=45.000000\n"
                       "gun_scope_unit=0\n"
                       "gun_scope_verticalUnitPerCard=0.100000\n"
                       "gun_scope_horizontalUnitPerCard=0.250000\n");
}

TEST_F(Exchange, AnExportImportedAgainKeepsTheScope)
{
    current(0);
    for (int i = 0; i < 6; i++) {
        profile(i).gun.bullet.zeroOffsetUnit = MRAD;
        profile(i).gun.direction = LEFT;
        profile(i).spinDriftOpt = 0;
        profile(i).wind.angle = 270;
    }
    Info_ballistics_valid(&profile(0));
    const Qel_IR_Ballistics before = qel_ballistics;
    const std::string out = dir.root + "/usrdata/http_get_bccalfile.txt";
    ASSERT_EQ(vesk_bccal_export_to(out.c_str()), 0);
    write_text(file, read_text(out));
    ASSERT_EQ(vesk_bccal_import_from(file.c_str()), 0);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(profile(i).gun.bullet.zeroOffsetUnit, MRAD) << i;
        EXPECT_EQ(profile(i).gun.direction, LEFT) << i;
        EXPECT_EQ(profile(i).spinDriftOpt, 0) << i;
        EXPECT_EQ(profile(i).target.range, before.ballistics[0].target.range) << i;
        EXPECT_NEAR(profile(i).wind.angle, 270, 1e-6) << i;
    }
    EXPECT_NEAR(profile(0).gun.bullet.weight, before.ballistics[0].gun.bullet.weight, 0.01);
    EXPECT_EQ(profile(0).gun.bullet.dragFunction, before.ballistics[0].gun.bullet.dragFunction);
}

TEST_F(Exchange, AnImportIsInTheProfileDatabaseAfterARestart)
{
    current(1);
    ASSERT_EQ(import("[bccal]\nspinDrift=true\ntarget_distance=812.5\nwind_direction=-45\nwind_speed=4.5\n"
                     "coriolisEffect_lat=48.25\nweather_humidity=55\ngun_riflingDirection=left\n"
                     "gun_bullet_weight=11.5\ngun_bullet_dragModel=g7\ngun_bullet_muzzleVelocity=812\n"
                     "gun_bullet_isOpenzeroingWeather=true\ngun_bullet_zeroOffsetUnit=mrad\n"
                     "gun_bullet_zeroOffsetVertical=0.4\ngun_bullet_zeroOffsetHorizontal=-0.2\n"
                     "gun_scope_zeroingDistance=200\ngun_scope_height=42\n"),
              0);
    const Qel_IR_Ballistics applied = qel_ballistics;
    ASSERT_EQ(vesk_persist_flush(5000), 0);
    ASSERT_EQ(vesk_persist_stop(2000), 0);
    vesk_persist_paths p = dir.paths();
    vesk_persist_hooks hooks = {};
    vesk_persist_profiles loaded = {};
    ASSERT_EQ(vesk_persist_start(&p, &hooks, &qel_dev_status, &loaded), 0);
    for (int i = 0; i < 6; i++) {
        const Info_ballistics &a = applied.ballistics[i], &b = loaded.vesk_ballistics.ballistics[i];
        EXPECT_EQ(b.spinDriftOpt, 1) << i;
        EXPECT_EQ(b.target.range, 8125) << i;
        EXPECT_EQ(b.target.range_yard, 8885) << i;
        EXPECT_DOUBLE_EQ(b.wind.angle, 315) << i;
        EXPECT_DOUBLE_EQ(b.wind.speed, 4.5) << i;
        EXPECT_DOUBLE_EQ(b.corioliseffect.lat, 48.25) << i;
        EXPECT_EQ(b.corioliseffect.CoriolisEffectSwitch, 1) << i;
        EXPECT_EQ(b.atmosphere.relative_humidity, 55) << i;
        EXPECT_EQ(b.gun.direction, LEFT) << i;
        EXPECT_EQ(b.gun.bullet.zeroOffsetUnit, MRAD) << i;
        EXPECT_NEAR(b.gun.bullet.zeroOffsetVerticalMRAD, 0.4, 1e-6) << i;
        EXPECT_NEAR(b.gun.bullet.zeroOffsetVerticalMOA, 1.376, 1e-6) << i;
        EXPECT_NEAR(b.gun.bullet.zeroOffsetHorizontalMRAD, -0.2, 1e-6) << i;
        EXPECT_NEAR(b.gun.bullet.zeroOffsetHorizontalMOA, -0.688, 1e-6) << i;
        EXPECT_NEAR(b.gun.bullet.weight, a.gun.bullet.weight, 1e-6) << i;
        EXPECT_EQ(b.gun.bullet.dragFunction, a.gun.bullet.dragFunction) << i;
        EXPECT_NEAR(b.gun.bullet.velocity, a.gun.bullet.velocity, 1e-6) << i;
        EXPECT_EQ(b.gun.bullet.isOpenAtmosphere, a.gun.bullet.isOpenAtmosphere) << i;
        EXPECT_EQ(b.gun.scope.zeroRange, a.gun.scope.zeroRange) << i;
        EXPECT_NEAR(b.gun.scope.sightHeightOverBore, a.gun.scope.sightHeightOverBore, 1e-6) << i;
    }
    const Info_bullet &cur = loaded.vesk_ballistics.ballistics[1].gun.bullet;
    EXPECT_NEAR(cur.weight, 11.5 * 15.432, 1e-6);
    EXPECT_EQ(cur.dragFunction, 4);
    EXPECT_EQ(cur.velocity, 812);
    EXPECT_EQ(cur.isOpenAtmosphere, 1);
    EXPECT_EQ(loaded.vesk_ballistics.ballistics[1].gun.scope.zeroRange, 200);
    EXPECT_EQ(loaded.vesk_ballistics.ballistics[1].gun.scope.sightHeightOverBore, 42);
    EXPECT_EQ(loaded.vesk_cursor.group[1].zero[0].u16IrCursorDistance, 200);
    EXPECT_EQ(loaded.vesk_cursor.group[1].zero[0].u16IrCursorDistanceYD, 218);
}

TEST(ExchangeToken, ValueAfterTheKey)
{
    const struct {
        const char *line, *key;
        int rc;
        const char *token;
    } rows[] = {
        {"wind_speed=5", "wind_speed", 0, "5"},
        {"wind_speed =  5 m/s", "wind_speed", 0, "5"},
        {"wind_speed=", "wind_speed", -1, ""},
        {"wind_speed 5", "wind_speed", -1, ""},
        {"gun_bullet_zeroOffsetHorizontalMOA=1.5", "gun_bullet_zeroOffsetHorizontal", 0, "1.5"},
        {"target_angle=1", "wind_speed", -1, ""},
        {"k=12345678", "k", -1, ""}, /* longer than the capacity of 8 */
        {"k=1234567", "k", 0, "1234567"},
    };
    for (const auto &r : rows) {
        char out[8] = "junk";
        EXPECT_EQ(parse_equal_value_str(r.line, r.key, out, sizeof out), r.rc) << r.line;
        EXPECT_STREQ(out, r.token) << r.line;
    }
}

} // namespace
