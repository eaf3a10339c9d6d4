// The settings store on a unit's files: load with defaults and clamps, the
// setters' marking rules and refusals and the EEPROM record text.
#include "iniparser_handler.h"

#include <gtest/gtest.h>
#include <iniparser.h>
#include <math.h>
#include <string.h>
#include <unistd.h>

#include <float.h>
#include <limits.h>

#include <functional>

#include "eeprom_defaults.h"
#include "persist_unit_test.h"
#include "vesk_ini_text.h"
#include "vesk_persist.h"

namespace {

class Settings : public PersistUnitTest {
protected:
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
    ASSERT_EQ(start(), 0);
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
        {"[qeldevstatus]\nvesk_lrf_processing=2\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_processing; },
         0},
        {"[qeldevstatus]\nvesk_lrf_min_m=9\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_min_m; }, 0},
        {"[qeldevstatus]\nvesk_lrf_min_m=10\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_min_m; }, 10},
        {"[qeldevstatus]\nvesk_lrf_max_m=20001\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_max_m; }, 0},
        {"[qeldevstatus]\nvesk_lrf_max_m=20000\n", [](const Qel_DevStatus &s) { return (int)s.vesk_lrf_max_m; }, 20000},
        {"[qeldevstatus]\ns8shotfronttime=3\n", [](const Qel_DevStatus &s) { return (int)s.s8ShotFrontTime; }, 0},
        {"[qeldevstatus]\ns8shotbacktime=2\n", [](const Qel_DevStatus &s) { return (int)s.s8ShotBackTime; }, 2},
        {"[qeldevstatus]\ns8recoilsensitivity=5\n", [](const Qel_DevStatus &s) { return (int)s.s16ShotThreshold; },
         100},
        {"[compassparam]\nf32compassdeclination=nan\n", [](const Qel_DevStatus &s) { return (int)s.compassParam[0]; },
         0},
        {"[compassparam]\nf32compassdeclination=-3.75\n",
         [](const Qel_DevStatus &s) { return (int)(s.compassParam[0] * 100); }, -375},
    };
    for (const Row &r : table) {
        Qel_DevStatus s = load_current(r.ini);
        EXPECT_EQ(r.get(s), r.want) << r.ini;
    }
}

/* Every setter of the store against its loader. Each row is a setting's
 * range as the settings describe it: a value inside is stored and read back
 * unchanged by the loader; a value outside is refused by the setter (nothing
 * stored, nothing marked) and reset or truncated by the loader. */
struct limit_row {
    char setter; /* 'i' tevi_ir_save, 'r' tevi_reticle_save, 'c' tevi_compass_save, 'd' Qel_DevStatusSet */
    int index;   /* parameter index of the i, r and c setters */
    const char *key;
    int lo, hi;
    char zero; /* '=' as the range says, '+' 0 kept as well, '-' 0 refused */
};

const limit_row kLimits[] = {
    {'i', 0, "s8irbrightness", INT_MIN, INT_MAX, '='},
    {'i', 1, "s8ircontrast", INT_MIN, INT_MAX, '='},
    {'i', 2, "s8irenchance", INT_MIN, INT_MAX, '-'},
    {'i', 3, "s8irpolarity", INT_MIN, INT_MAX, '='},
    {'i', 4, "s8stronglightenable", INT_MIN, INT_MAX, '='},
    {'i', 5, "s8redhotvalue", INT_MIN, INT_MAX, '='},
    {'i', 6, "s8irscene", INT_MIN, INT_MAX, '='},
    {'r', 0, "s8reticlecolour", INT_MIN, INT_MAX, '='},
    {'r', 1, "s8reticleswitch", INT_MIN, INT_MAX, '='},
    {'r', 2, "s8reticletype", INT_MIN, INT_MAX, '='},
    {'r', 3, "s8reticlebright", INT_MIN, INT_MAX, '='},
    {'r', 4, "s8reticlemenuswitch", INT_MIN, INT_MAX, '='},
    {'r', 5, "s8reticlegroupindex", 0, 5, '='},
    {'r', 6, "s8reticlezeroindex", 0, 1, '='},
    {'c', 0, "f32compassdeclination", 0, 0, '='},
    {'c', 1, "f32ccompassyaw", 0, 0, '='},
    {'c', 2, "f32compasspitch", 0, 0, '='},
    {'c', 3, "f32compassroll", 0, 0, '='},
    {'d', 0, "s8videomode", 0, 255, '='},
    {'d', 0, "s8videoout", 0, 255, '='},
    {'d', 0, "s8screenbrightness", 0, 255, '='},
    {'d', 0, "s8screenhue", 0, 255, '='},
    {'d', 0, "s8language", 0, 255, '='},
    {'d', 0, "s8sorttype", 0, 255, '='},
    {'d', 0, "s8shotvideoswitch", 0, 255, '='},
    {'d', 0, "s8shotfronttime", 0, 2, '='},
    {'d', 0, "s8shotbacktime", 0, 2, '='},
    {'d', 0, "s8recoilsensitivity", 0, 255, '='},
    {'d', 0, "s8rangetype", 0, 255, '='},
    {'d', 0, "vesk_lrf_target", 1, 3, '='},
    {'d', 0, "vesk_lrf_processing", 0, 1, '='},
    {'d', 0, "vesk_lrf_min_m", 10, 20000, '+'},
    {'d', 0, "vesk_lrf_max_m", 10, 20000, '+'},
    {'d', 0, "s8distanceuint", 0, 255, '='},
    {'d', 0, "s8compassswitch", 0, 255, '='},
    {'d', 0, "s8hottrack", 0, 255, '='},
    {'d', 0, "s8autoshutter", 0, 255, '='},
    {'d', 0, "s8ballisticreticle", 0, 255, '='},
    {'d', 0, "s8rangereticletype", 0, 255, '='},
    {'d', 0, "s8rangereticlecolor", 0, 255, '='},
    {'d', 0, "s8pipreticletype", 0, 255, '='},
    {'d', 0, "s8pipreticlecolor", 0, 255, '='},
    {'d', 0, "s8laserreticletype", 0, 255, '='},
    {'d', 0, "s8laserreticlecolor", 0, 255, '='},
    {'d', 0, "s8ballisticreticlecolor", 0, 255, '='},
    {'d', 0, "s8ballisticgroup", 0, 5, '='},
    {'d', 0, "s8wifiswitch", 0, 255, '='},
    {'d', 0, "s8micswitch", 0, 255, '='},
    {'d', 0, "s8watermarkclosed", 0, 255, '='},
    {'d', 0, "s8compassautoangleswitch", 0, 255, '='},
    {'d', 0, "vesk_debug", 0, 1, '='},
};

bool row_keeps(const limit_row &r, int v)
{
    if (v == 0 && r.zero != '=') return r.zero == '+';
    return v >= r.lo && v <= r.hi;
}

/* The numbers worth trying on a row: both edges, just beyond them, and the
 * values a byte or a word field would wrap. */
std::vector<int> probes(const limit_row &r)
{
    std::vector<int> v = {r.lo, r.hi, 0, 1, -1, 255, 256, 65535, 65536};
    if (r.lo > INT_MIN) v.push_back(r.lo - 1);
    if (r.hi < INT_MAX) v.push_back(r.hi + 1);
    return v;
}

const char *row_section(const limit_row &r)
{
    return r.setter == 'i'   ? "irparam"
           : r.setter == 'r' ? "reticleparam"
           : r.setter == 'c' ? "compassparam"
                             : "qeldevstatus";
}

/* What the row's loader makes of text stored under its key. */
double loaded(const limit_row &r, const std::string &text)
{
    Qel_DevStatus s;
    vesk_dev_status_defaults(&s);
    dictionary *d = dictionary_new(0);
    const std::string key = std::string(row_section(r)) + ":" + r.key;
    EXPECT_EQ(vesk_ini_dict_set(d, row_section(r), key.c_str(), text.c_str()), 0);
    double got = NAN;
    switch (r.setter) {
    case 'i':
        tevi_ini_ir_callback(d, &s);
        got = s.irParam[r.index];
        break;
    case 'r':
        tevi_ini_reticle_callback(d, &s);
        got = s.reticleParam[r.index];
        break;
    case 'c':
        tevi_ini_compass_callback(d, &s);
        got = s.compassParam[r.index];
        break;
    default:
        tevi_ini_callback(d, &s);
        for (const vesk_dev_field &f : vesk_dev_fields)
            if (strcmp(f.key, r.key) == 0) got = vesk_dev_field_value(&s, &f);
        break;
    }
    dictionary_del(d);
    return got;
}

static int g_debug_applied = -1;

TEST_F(Settings, EverySetterRefusesWhatItsLoaderWouldNotKeep)
{
    /* The loaders first, on dictionaries of their own (the debug switch is
     * read from the loaded current file). */
    for (const limit_row &r : kLimits) {
        if (r.setter == 'c') {
            const struct {
                const char *text;
                bool kept;
            } floats[] = {{"-3.75", true}, {"3.4e38", true}, {"nan", false},
                          {"inf", false},  {"1e39", false},  {"-1e300", false}};
            for (const auto &f : floats) {
                const double got = loaded(r, f.text);
                EXPECT_EQ(got != 0, f.kept) << r.key << "=" << f.text; /* refused: the default, 0 */
                EXPECT_TRUE(std::isfinite(got)) << r.key << "=" << f.text;
            }
            continue;
        }
        for (int v : probes(r)) {
            if (strcmp(r.key, "vesk_debug") == 0) {
                load_current("[qeldevstatus]\nvesk_debug=" + std::to_string(v) + "\n");
                vesk_ini_set_debug_apply([](int on) {
                    g_debug_applied = on;
                    return 0;
                });
                vesk_ini_apply_debug();
                vesk_ini_set_debug_apply(NULL);
                EXPECT_EQ(g_debug_applied == v, row_keeps(r, v)) << "loading " << r.key << "=" << v;
                continue;
            }
            EXPECT_EQ(loaded(r, std::to_string(v)) == v, row_keeps(r, v)) << "loading " << r.key << "=" << v;
        }
    }

    /* Then each setter on the running store. */
    ASSERT_EQ(start(), 0);
    for (const limit_row &r : kLimits) {
        if (r.setter == 'c') {
            for (float f : {-FLT_MAX, FLT_MAX, NAN, INFINITY, -INFINITY}) {
                const std::string before = current_value(r.key);
                tevi_compass_save(f, r.index, 0);
                if (std::isfinite(f))
                    EXPECT_NE(current_value(r.key), before) << r.key << " " << f;
                else
                    EXPECT_EQ(current_value(r.key), before) << r.key << " " << f;
            }
            continue;
        }
        for (int v : probes(r)) {
            const std::string before = current_value(r.key);
            const uint64_t marked = accepted(0);
            if (r.setter == 'i') tevi_ir_save(v, r.index, 0);
            if (r.setter == 'r') tevi_reticle_save(v, r.index, 0);
            if (r.setter == 'd') Qel_DevStatusSet(r.key, v, 0);
            if (row_keeps(r, v)) {
                EXPECT_EQ(current_value(r.key), std::to_string(v)) << "setting " << r.key << "=" << v;
            } else {
                EXPECT_EQ(current_value(r.key), before) << "setting " << r.key << "=" << v;
                EXPECT_EQ(accepted(0), marked) << "setting " << r.key << "=" << v;
            }
        }
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
        expect_eeprom_defaults(s);
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
    ASSERT_EQ(start(), 0);
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
    ASSERT_EQ(start(), 0);
    uint64_t before = accepted(0);
    Qel_DevStatusSet("s8HotTrack", 0, 0);
    EXPECT_EQ(accepted(0), before + 1);
    EXPECT_EQ(current_value("s8hottrack"), "0");
}

TEST_F(Settings, SetterOnAFileWithoutItsSectionAddsTheSection)
{
    write_text(dir.current_ini, "[qeldevstatus]\ns8language = 1\n");
    ASSERT_EQ(start(), 0);
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
    ASSERT_EQ(start(), 0);
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
    ASSERT_EQ(start(), 0);
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
