// The settings store on a unit's files: load with defaults and clamps, the
// setters' marking rules and refusals and the EEPROM record text.
#include "iniparser_handler.h"

#include <gtest/gtest.h>
#include <iniparser.h>
#include <math.h>
#include <string.h>
#include <unistd.h>

#include <functional>

#include "persist_fixture.h"
#include "vesk_persist.h"

namespace {

class Settings : public ::testing::Test {
protected:
    PersistDir dir;
    vesk_persist_profiles profiles = {};

    void SetUp() override { dir.create(); }
    void TearDown() override
    {
        vesk_persist_stop(2000);
        dir.remove();
    }
    void start()
    {
        vesk_persist_paths p = dir.paths();
        vesk_persist_hooks hooks = {};
        ASSERT_EQ(vesk_persist_start(&p, &hooks, &qel_dev_status, &profiles), 0);
        qel_ballistics = profiles.vesk_ballistics;
        qel_ir_cursor = profiles.vesk_cursor;
    }
    uint64_t accepted(int store) { return persist_accepted(store); }
    std::string current_value(const char *key) { return current_ini_value(key); }
    Qel_DevStatus load_current(const std::string &ini)
    {
        write_text(dir.current_ini, ini);
        vesk_ini_configure_paths(dir.current_ini.c_str(), dir.authority_ini.c_str(), dir.eeprom.c_str());
        Qel_DevStatus s;
        EXPECT_EQ(Para_init(&s), 0);
        return s;
    }
};

TEST_F(Settings, LoadTakesTheFilesAndTheEepromCalibration)
{
    start();
    const Qel_DevStatus &s = qel_dev_status;
    EXPECT_EQ(s.s8ScreenBrightness, 4);
    EXPECT_EQ(s.s8Language, 1);
    EXPECT_EQ(s.irParam[0], 6);
    EXPECT_EQ(s.irParam[1], 5); /* missing key: default */
    EXPECT_EQ(s.reticleParam[5], 2);
    EXPECT_EQ(s.s16RangeOffsetX, 600);
    EXPECT_EQ(s.s16LaserIndicatY, 630);
    EXPECT_EQ(s.s16RangeMaxScale, 11000);
    EXPECT_FLOAT_EQ(s.f_zero_pitch, -0.5f);
    EXPECT_STREQ(s.sn, "SN-42");
    EXPECT_STREQ(s.pn, "PN-7");
    EXPECT_STREQ(g_stDeviceInfo.sn, "SN-42");
    EXPECT_EQ(s.s16ShotThreshold, 150);
    EXPECT_STREQ(s.version, "v1.0.4");
    EXPECT_EQ(vesk_ini_hardware_loaded(), 1);
    EXPECT_EQ(profiles.vesk_cursor.u8CurrentGroup, 2); /* from the reticle group index */
}

TEST_F(Settings, LoadedValuesAreClamped)
{
    struct Row {
        const char *ini;
        std::function<int(const Qel_DevStatus &)> get;
        int want;
    };
    const Row table[] = {
        {"[irparam]\ns8irenchance=0\n", [](const Qel_DevStatus &s) { return s.irParam[2]; }, 1},
        {"[irparam]\ns8irenchance=2\n", [](const Qel_DevStatus &s) { return s.irParam[2]; }, 2},
        {"[reticleparam]\ns8reticlegroupindex=6\n", [](const Qel_DevStatus &s) { return s.reticleParam[5]; }, 0},
        {"[reticleparam]\ns8reticlegroupindex=-1\n", [](const Qel_DevStatus &s) { return s.reticleParam[5]; }, 0},
        {"[reticleparam]\ns8reticlegroupindex=5\n", [](const Qel_DevStatus &s) { return s.reticleParam[5]; }, 5},
        {"[qeldevstatus]\nvesk_lrf_target=4\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_target; }, 1},
        {"[qeldevstatus]\nvesk_lrf_target=3\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_target; }, 3},
        {"[qeldevstatus]\nvesk_lrf_processing=2\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_processing; }, 0},
        {"[qeldevstatus]\nvesk_lrf_min_m=9\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_min_m; }, 0},
        {"[qeldevstatus]\nvesk_lrf_min_m=10\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_min_m; }, 10},
        {"[qeldevstatus]\nvesk_lrf_max_m=20001\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_max_m; }, 0},
        {"[qeldevstatus]\nvesk_lrf_max_m=20000\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_max_m; }, 20000},
        {"[qeldevstatus]\ns8shotfronttime=3\n", [](const Qel_DevStatus &s) { return (int)s.s8ShotFrontTime; }, 0},
        {"[qeldevstatus]\ns8shotbacktime=2\n", [](const Qel_DevStatus &s) { return (int)s.s8ShotBackTime; }, 2},
        {"[qeldevstatus]\ns8recoilsensitivity=5\n", [](const Qel_DevStatus &s) { return (int)s.s16ShotThreshold; }, 100},
        {"[compassparam]\nf32compassdeclination=nan\n", [](const Qel_DevStatus &s) { return (int)s.compassParam[0]; }, 0},
        {"[compassparam]\nf32compassdeclination=-3.75\n",
         [](const Qel_DevStatus &s) { return (int)(s.compassParam[0] * 100); }, -375},
    };
    for (const Row &r : table) {
        Qel_DevStatus s = load_current(r.ini);
        EXPECT_EQ(r.get(s), r.want) << r.ini;
    }
}

TEST_F(Settings, EmptyOrUnreadableEepromGivesTheDefaults)
{
    for (bool missing : {false, true}) {
        if (missing)
            unlink(dir.eeprom.c_str());
        else
            write_text(dir.eeprom, std::string(4096, '\0'));
        Qel_DevStatus s = load_current("[qeldevstatus]\n");
        EXPECT_EQ(s.s16RangeOffsetX, 639);
        EXPECT_EQ(s.s16RangeOffsetY, 639);
        EXPECT_EQ(s.s16LaserIndicatX, 639);
        EXPECT_EQ(s.s16LaserIndicatY, 639);
        EXPECT_EQ(s.s16RangeMinScale, 1000);
        EXPECT_EQ(s.s16RangeMaxScale, 12000);
        EXPECT_STREQ(s.sn, "");
        EXPECT_STREQ(s.pn, "");
        EXPECT_EQ(vesk_ini_hardware_loaded(), missing ? 0 : 1);
    }
}

TEST_F(Settings, EmptyDictionaryLoadersGiveTheBuiltInDefaults)
{
    dictionary *d = dictionary_new(0);
    Qel_DevStatus s;
    memset(&s, 0, sizeof s);
    tevi_ini_ir_callback(d, &s);
    tevi_ini_reticle_callback(d, &s);
    tevi_ini_compass_callback(d, &s);
    tevi_ini_devinfo_callback(d, &s);
    tevi_ini_callback(d, &s);
    dictionary_del(d);
    Qel_DevStatus want;
    vesk_dev_status_defaults(&want);
    EXPECT_EQ(memcmp(&s, &want, sizeof s), 0);
}

TEST_F(Settings, SetterMarksOnlyWhenTheTextChanges)
{
    start();
    struct Row {
        std::function<void()> call;
        int store;
        bool marks;
        const char *why;
    };
    const Row rows[] = {
        {[] { Qel_DevStatusSet("s8Language", 1, 0); }, 0, false, "same text as stored"},
        {[] { Qel_DevStatusSet("S8LANGUAGE", 2, 0); }, 0, true, "new value, key in capitals"},
        {[] { Qel_DevStatusSet("s8language", 2, 0); }, 0, false, "repeat"},
        {[] { tevi_ir_save(7, 0, 0); }, 0, true, "ir parameter"},
        {[] { tevi_ir_save(7, 7, 0); }, 0, false, "ir index out of range"},
        {[] { tevi_reticle_save(6, 5, 0); }, 0, false, "profile group 6"},
        {[] { tevi_reticle_save(2, 6, 0); }, 0, false, "zero slot 2"},
        {[] { tevi_reticle_save(3, 5, 0); }, 0, true, "profile group 3"},
        {[] { tevi_compass_save(NAN, 0, 0); }, 0, false, "not a number"},
        {[] { tevi_compass_save(INFINITY, 1, 0); }, 0, false, "infinite"},
        {[] { tevi_compass_save(2.5f, 0, 0); }, 0, true, "declination"},
        {[] { tevi_compass_save(2.501f, 0, 0); }, 0, false, "same text at two decimals"},
        {[] { Qel_DevStatusSet(std::string(64, 'k').c_str(), 1, 0); }, 0, false, "key of 64 characters"},
        {[] { Qel_DevStatusSet("s8BallisticGroup", 6, 0); }, 0, false, "ballistic group 6"},
        {[] { Qel_DevStatusSet("s8language", 3, 1); }, 1, true, "defaults dictionary"},
    };
    for (const Row &r : rows) {
        uint64_t before[2] = {accepted(0), accepted(1)};
        r.call();
        EXPECT_EQ(accepted(r.store), before[r.store] + (r.marks ? 1 : 0)) << r.why;
        EXPECT_EQ(accepted(1 - r.store), before[1 - r.store]) << r.why;
    }
    EXPECT_EQ(current_value("s8language"), "2");
    EXPECT_EQ(current_value("f32compassdeclination"), "2.50");
}

TEST_F(Settings, ZeroOverStoredDoubleZeroIsAChange)
{
    write_text(dir.current_ini, "[qeldevstatus]\ns8hottrack = 00\n");
    start();
    uint64_t before = accepted(0);
    Qel_DevStatusSet("s8HotTrack", 0, 0);
    EXPECT_EQ(accepted(0), before + 1);
    EXPECT_EQ(current_value("s8hottrack"), "0");
}

TEST_F(Settings, SetterOnAFileWithoutItsSectionAddsTheSection)
{
    write_text(dir.current_ini, "[qeldevstatus]\ns8language = 1\n");
    start();
    tevi_ir_save(4, 1, 0);
    ASSERT_EQ(vesk_persist_flush(3000), 0);
    dictionary *d = iniparser_load(dir.current_ini.c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(iniparser_getint(d, "irparam:s8ircontrast", -1), 4);
    EXPECT_EQ(iniparser_getint(d, "qeldevstatus:s8language", -1), 1);
    iniparser_freedict(d);
}

TEST_F(Settings, RefusedOrFailedSetterChangesNothingAndEndsItsSection)
{
    // Not started: every edit is refused.
    vesk_ini_configure_paths(dir.current_ini.c_str(), dir.authority_ini.c_str(), dir.eeprom.c_str());
    Qel_DevStatus s;
    ASSERT_EQ(Para_init(&s), 0);
    testing::internal::CaptureStderr();
    tevi_ir_save(9, 0, 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("tevi_ir_save: rejected, persistence not accepting edits"),
              std::string::npos);
    EXPECT_EQ(current_value("s8irbrightness"), "6");
    EXPECT_EQ(vesk_dynamic_bc_set(0), -ENODEV);

    // Started, but the dictionaries are gone: the setter fails inside its
    // section; a leaked section would keep the worker off store 0.
    start();
    vesk_ini_configure_paths((dir.root + "/none.ini").c_str(), NULL, NULL);
    EXPECT_EQ(tevi_init_config_value(&s), -ENOENT);
    testing::internal::CaptureStderr();
    tevi_ir_save(9, 0, 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("tevi_ir_save: rejected, dictionary not loaded"),
              std::string::npos);
    EXPECT_EQ(vesk_dynamic_bc_set(0), -ENODEV);
    vesk_ini_configure_paths(dir.current_ini.c_str(), NULL, NULL);
    ASSERT_EQ(tevi_init_config_value(&s), 0);
    tevi_ir_save(9, 0, 0);
    EXPECT_EQ(vesk_persist_flush(2000), 0);
    EXPECT_NE(read_text(dir.current_ini).find("s8irbrightness"), std::string::npos);
}

TEST_F(Settings, DynamicCoefficientOption)
{
    start();
    EXPECT_EQ(vesk_dynamic_bc_get(), 1); /* no entry: on */
    EXPECT_EQ(vesk_dynamic_bc_set(2), -EINVAL);
    EXPECT_EQ(vesk_dynamic_bc_set(0), 0);
    EXPECT_EQ(vesk_dynamic_bc_get(), 0);
    EXPECT_EQ(current_value("vesk_dynamic_bc"), "0");
    uint64_t before = accepted(0);
    EXPECT_EQ(vesk_dynamic_bc_set(0), 0);
    EXPECT_EQ(accepted(0), before);
    EXPECT_EQ(vesk_dynamic_bc_set(1), 0);
    EXPECT_EQ(vesk_dynamic_bc_get(), 1);
}

TEST_F(Settings, EepromRecordTextHasTheFixedForm)
{
    Qel_DevStatus s;
    vesk_dev_status_defaults(&s);
    strcpy(s.pn, "PN-1");
    strcpy(s.sn, "SN-2");
    s.f_zero_pitch = -1.5f;
    char *text = NULL;
    size_t n = 0;
    ASSERT_EQ(vesk_eeprom_serialize(&s, &text, &n), 0);
    EXPECT_EQ(std::string(text, n), "[info]\npn=PN-1\nsn=SN-2\ns16rangeoffsetx=639\ns16rangeoffsety=639\n"
                                    "s16laserindicatx=639\ns16laserindicaty=639\ns16rangeminscale=1000\n"
                                    "s16rangemaxscale=12000\nf_zero_azimuth=0.000000\nf_zero_pitch=-1.500000\n"
                                    "f_zero_slant=0.000000\n");
    free(text);
}

TEST_F(Settings, SerialNumberTextCannotBreakTheEepromRecord)
{
    const struct {
        const char *sn;
        const char *reads_back;
    } rows[] = {
        {"SN-1\n[info]\ns16rangeoffsetx=1", "SN-1_[info]_s16rangeoffsetx=1"},
        {"SN;comment", "SN_comment"},
        {"SN#2", "SN_2"},
        {"\"quoted\"", "_quoted_"},
        {" padded ", "_padded_"},
        {"AB 12\r", "AB 12_"},
        {"ok-SN_1.2/3", "ok-SN_1.2/3"},
    };
    for (const auto &r : rows) {
        Qel_DevStatus s;
        vesk_dev_status_defaults(&s);
        snprintf(s.sn, sizeof s.sn, "%s", r.sn);
        s.s16RangeOffsetX = 600;
        char *text = NULL;
        size_t n = 0;
        ASSERT_EQ(vesk_eeprom_serialize(&s, &text, &n), 0);
        write_text(dir.eeprom, std::string(text, n));
        free(text);
        Qel_DevStatus back = load_current("[qeldevstatus]\n");
        EXPECT_STREQ(back.sn, r.reads_back) << r.sn;
        EXPECT_EQ(back.s16RangeOffsetX, 600) << r.sn;
        EXPECT_STREQ(back.pn, "") << r.sn;
    }
}

} // namespace
