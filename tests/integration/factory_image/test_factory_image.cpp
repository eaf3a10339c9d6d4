// The factory templates: the settings INI holds every key the settings store
// reads at the value it defaults to, the profile database passes sightd's
// checks and reads back as the factory profiles, and an empty unit boots on
// them twice over.
#include <errno.h>
#include <gtest/gtest.h>
#include <iniparser.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ballistic_units.h"
#include "iniparser_handler.h"
#include "persist_fixture.h"
#include "sim_factory.h"
#include "vesk_device_db.h"
#include "vesk_persist.h"

namespace {

/* A unit as the sandbox lays it out before its first boot: the partitions'
 * folders exist, no file is in them, and the image brought its templates. */
class FactoryImage : public ::testing::Test {
protected:
    PersistDir dir;
    std::string usrdata;

    void SetUp() override
    {
        char tmpl[] = "/tmp/vesk-factory-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir.layout(tmpl);
        for (const char *d : {"/factory", "/factory2", "/sys", "/wifi", "/usrdata"})
            ASSERT_EQ(mkdir((dir.root + d).c_str(), 0755), 0) << d;
        usrdata = dir.root + "/usrdata";
        std::string error;
        ASSERT_EQ(sim_factory_image(usrdata, &error), 0) << error;
    }
    void TearDown() override
    {
        vesk_persist_stop(2000);
        dir.remove();
    }
};

/* The record sightd builds when no settings file has any key. */
Qel_DevStatus built_in_defaults()
{
    Qel_DevStatus s;
    memset(&s, 0, sizeof s);
    dictionary *empty = dictionary_new(0);
    tevi_ini_ir_callback(empty, &s);
    tevi_ini_reticle_callback(empty, &s);
    tevi_ini_compass_callback(empty, &s);
    tevi_ini_devinfo_callback(empty, &s);
    tevi_ini_callback(empty, &s);
    iniparser_freedict(empty);
    return s;
}

/* Names what differs before the byte comparison, so a failure says which
 * setting came out wrong. */
void expect_same_status(const Qel_DevStatus &got, const Qel_DevStatus &want)
{
    for (const vesk_dev_field &f : vesk_dev_fields)
        EXPECT_EQ(vesk_dev_field_value(&got, &f), vesk_dev_field_value(&want, &f)) << "qeldevstatus:" << f.key;
    for (int i = 0; i < VESK_IR_PARAM_COUNT; i++) EXPECT_EQ(got.irParam[i], want.irParam[i]) << vesk_ir_keys[i].key;
    for (int i = 0; i < VESK_RETICLE_PARAM_COUNT; i++)
        EXPECT_EQ(got.reticleParam[i], want.reticleParam[i]) << vesk_reticle_keys[i].key;
    for (int i = 0; i < VESK_COMPASS_PARAM_COUNT; i++)
        EXPECT_EQ(got.compassParam[i], want.compassParam[i]) << vesk_compass_keys[i].key;
    EXPECT_EQ(memcmp(&got, &want, sizeof got), 0) << "Qel_DevStatus differs";
}

void expect_factory_profiles(const vesk_persist_profiles &got)
{
    Qel_IR_Ballistics ballistics;
    Qel_IR_Cursor cursor;
    sim_factory_profiles(&ballistics, &cursor);
    for (int p = 0; p < VESK_PROFILE_COUNT; p++) {
        const Info_ballistics &b = got.vesk_ballistics.ballistics[p];
        EXPECT_EQ(memcmp(&b, &ballistics.ballistics[p], sizeof b), 0) << "profile " << p;
    }
    EXPECT_EQ(memcmp(&got.vesk_ballistics, &ballistics, sizeof ballistics), 0);
    EXPECT_EQ(memcmp(&got.vesk_cursor, &cursor, sizeof cursor), 0) << "zero store differs";
}

int debug_applied = -1;
int capture_debug(int on)
{
    debug_applied = on;
    return 0;
}

TEST_F(FactoryImage, SettingsTemplateHoldsEveryKeyTheStoreReadsAtItsDefault)
{
    dictionary *d = iniparser_load(dir.image_ini.c_str());
    ASSERT_NE(d, nullptr);
    struct section {
        const char *name;
        const vesk_ini_key_row *rows;
        int count;
    };
    const section tables[] = {
        {"irparam", vesk_ir_keys, VESK_IR_PARAM_COUNT},
        {"reticleparam", vesk_reticle_keys, VESK_RETICLE_PARAM_COUNT},
        {"compassparam", vesk_compass_keys, VESK_COMPASS_PARAM_COUNT},
    };
    for (const section &s : tables) {
        EXPECT_EQ(iniparser_getsecnkeys(d, s.name), s.count) << s.name;
        for (int i = 0; i < s.count; i++) {
            std::string key = std::string(s.name) + ":" + s.rows[i].key;
            EXPECT_NE(iniparser_getstring(d, key.c_str(), NULL), nullptr) << key;
            EXPECT_EQ(iniparser_getdouble(d, key.c_str(), -999), s.rows[i].def) << key;
        }
    }
    /* The switches read by name: debug off, dynamic coefficient on. */
    EXPECT_EQ(iniparser_getsecnkeys(d, "qeldevstatus"), VESK_DEV_FIELD_COUNT + 2);
    for (const vesk_dev_field &f : vesk_dev_fields) {
        std::string key = std::string("qeldevstatus:") + f.key;
        EXPECT_NE(iniparser_getstring(d, key.c_str(), NULL), nullptr) << key;
        EXPECT_EQ(iniparser_getdouble(d, key.c_str(), -999), f.def) << key;
    }
    EXPECT_STREQ(iniparser_getstring(d, "qeldevstatus:vesk_debug", NULL), "0");
    EXPECT_STREQ(iniparser_getstring(d, "qeldevstatus:vesk_dynamic_bc", NULL), "1");
    /* Calibration is the unit's own, in its EEPROM: never in an image. */
    EXPECT_EQ(iniparser_getnsec(d), 4);
    EXPECT_EQ(iniparser_find_entry(d, "info"), 0);
    iniparser_freedict(d);
}

TEST_F(FactoryImage, SettingsLoadAsTheBuiltInDefaults)
{
    std::string no_eeprom = dir.root + "/sys/no-eeprom";
    vesk_ini_configure_paths(dir.image_ini.c_str(), dir.image_ini.c_str(), no_eeprom.c_str());
    Qel_DevStatus loaded;
    memset(&loaded, 0xA5, sizeof loaded);
    ASSERT_EQ(Para_init(&loaded), 0);
    expect_same_status(loaded, built_in_defaults());
    EXPECT_EQ(vesk_dynamic_bc_get(), 1);
    vesk_ini_set_debug_apply(capture_debug);
    vesk_ini_apply_debug();
    vesk_ini_set_debug_apply(NULL);
    EXPECT_EQ(debug_applied, 0);
}

TEST_F(FactoryImage, ProfileTemplatePassesTheChecksAndReadsAsTheFactoryProfiles)
{
    ASSERT_EQ(vesk_device_db_validate(dir.image_db.c_str()), 0);
    Qel_DevStatus status = built_in_defaults();
    vesk_persist_profiles got;
    memset(&got, 0, sizeof got);
    ASSERT_EQ(vesk_device_db_open(dir.image_db.c_str(), &status, &got), 0);
    EXPECT_EQ(vesk_device_db_close(), 0);
    expect_factory_profiles(got);
}

TEST_F(FactoryImage, FactoryProfilesLieInsideSightdsLimits)
{
    /* A profile outside them would change at the first exchange-file apply
     * without the shooter having touched it. */
    Qel_IR_Ballistics ballistics;
    Qel_IR_Cursor cursor;
    sim_factory_profiles(&ballistics, &cursor);
    for (int p = 0; p < VESK_PROFILE_COUNT; p++) {
        Info_ballistics b = ballistics.ballistics[p];
        Info_ballistics_valid(&b);
        EXPECT_EQ(memcmp(&b, &ballistics.ballistics[p], sizeof b), 0) << "profile " << p;
    }
}

TEST_F(FactoryImage, ProfileTemplateTakesSightdsCommit)
{
    /* The rows are the ones sightd's UPDATE statements address: a change
     * written by the worker reads back as written. */
    write_text(dir.profiles_db, read_text(dir.image_db));
    Qel_DevStatus status = built_in_defaults();
    vesk_persist_profiles snap;
    ASSERT_EQ(vesk_device_db_open(dir.profiles_db.c_str(), &status, &snap), 0);
    snap.vesk_ballistics.ballistics[4].gun.bullet.velocity = 853;
    snap.vesk_ballistics.ballistics[5].target.range = 4321;
    snap.vesk_cursor.group[5].zero[1].s8IrCursorCurrentX = 700;
    snap.vesk_cursor.group[0].zero[0].flIrCursorOffsetY = 0.25f;
    ASSERT_EQ(vesk_device_db_commit(&snap), 0);
    ASSERT_EQ(vesk_device_db_close(), 0);
    vesk_persist_profiles again;
    ASSERT_EQ(vesk_device_db_open(dir.profiles_db.c_str(), &status, &again), 0);
    EXPECT_EQ(vesk_device_db_close(), 0);
    EXPECT_EQ(memcmp(&again, &snap, sizeof snap), 0);
}

TEST_F(FactoryImage, EmptyUnitBootsOnTheTemplatesAndBootsAgain)
{
    const std::string ini = read_text(dir.image_ini), db = read_text(dir.image_db);
    vesk_persist_paths p = dir.paths();
    vesk_persist_profiles profiles;
    ASSERT_EQ(vesk_persist_start(&p, NULL, &qel_dev_status, &profiles), -EINVAL); /* hooks are required */
    vesk_persist_hooks hooks = {};
    for (int boot = 1; boot <= 2; boot++) {
        SCOPED_TRACE("boot " + std::to_string(boot));
        memset(&profiles, 0, sizeof profiles);
        ASSERT_EQ(vesk_persist_start(&p, &hooks, &qel_dev_status, &profiles), 0);
        vesk_persist_status st;
        ASSERT_EQ(vesk_persist_get_status(&st), 0);
        EXPECT_EQ(st.vesk_phase, VESK_PERSIST_RUNNING);
        /* The first boot restores the missing profile database. */
        EXPECT_EQ(st.vesk_profiles_recovered, boot == 1);
        EXPECT_EQ(read_text(dir.authority_ini), ini);
        EXPECT_EQ(read_text(dir.authority_db), db);
        EXPECT_EQ(read_text(dir.defaults_ini), ini);
        EXPECT_EQ(read_text(dir.defaults_db), db);
        EXPECT_EQ(read_text(dir.ready), "1\n");
        EXPECT_EQ(read_text(dir.image_marker), "1\n");
        EXPECT_EQ(read_text(dir.current_ini), ini);
        EXPECT_TRUE(file_exists(dir.profiles_db));
        expect_same_status(qel_dev_status, built_in_defaults());
        expect_factory_profiles(profiles);
        ASSERT_EQ(vesk_persist_stop(2000), 0);
    }
}

/* ---- errors and the program ------------------------------------------- */

class FactoryTool : public ::testing::Test {
protected:
    std::string root;
    void SetUp() override
    {
        char tmpl[] = "/tmp/vesk-factory-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
    }
    void TearDown() override
    {
        PersistDir d;
        d.root = root;
        d.remove();
    }
    int run(const std::vector<std::string> &args)
    {
        std::string cmd = VESK_FACTORY_IMAGE;
        for (const std::string &a : args) cmd += " '" + a + "'";
        int status = system((cmd + " 2>/dev/null").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(FactoryTool, UnusableFoldersAreReportedAndLeaveNothingBehind)
{
    struct row {
        const char *what;
        const char *file; /* made as a regular file first, or null */
        const char *usrdata;
        int rc;
    };
    const row rows[] = {
        {"missing usrdata", NULL, "/none", -ENOENT},
        {"usrdata is a file", "/file", "/file", -ENOTDIR},
        {"out_sightd is a file", "/u/out_sightd", "/u", -ENOTDIR},
        {"empty name", NULL, "", -EINVAL},
    };
    ASSERT_EQ(mkdir((root + "/u").c_str(), 0755), 0);
    for (const row &r : rows) {
        SCOPED_TRACE(r.what);
        if (r.file) write_text(root + r.file, "x");
        std::string error;
        std::string usrdata = r.usrdata[0] ? root + r.usrdata : "";
        EXPECT_EQ(sim_factory_image(usrdata, &error), r.rc);
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(temp_files(root).empty());
    EXPECT_FALSE(file_exists(root + "/u/out_sightd/defconfig.ini"));
}

TEST_F(FactoryTool, DamagedTemplatesAreReplacedWhole)
{
    ASSERT_EQ(mkdir((root + "/out_sightd").c_str(), 0755), 0);
    write_text(root + "/out_sightd/defconfig.ini", "[qeldevstatus\ngarbage");
    write_text(root + "/out_sightd/ballistics_defconfig.db", "not a database at all");
    std::string error;
    ASSERT_EQ(sim_factory_image(root, &error), 0) << error;
    EXPECT_EQ(vesk_device_db_validate((root + "/out_sightd/ballistics_defconfig.db").c_str()), 0);
    dictionary *d = iniparser_load((root + "/out_sightd/defconfig.ini").c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(iniparser_getnsec(d), 4);
    iniparser_freedict(d);
    EXPECT_FALSE(file_exists(root + "/out_sightd/ballistics_defconfig.db-journal"));
    EXPECT_TRUE(temp_files(root).empty());
}

TEST_F(FactoryTool, ProgramWritesTheSameTemplates)
{
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({root + "/none"}), 1);
    ASSERT_EQ(run({root}), 0);
    const std::string ini = read_text(root + "/out_sightd/defconfig.ini");
    EXPECT_EQ(vesk_device_db_validate((root + "/out_sightd/ballistics_defconfig.db").c_str()), 0);
    ASSERT_EQ(sim_factory_image(root, NULL), 0);
    EXPECT_EQ(read_text(root + "/out_sightd/defconfig.ini"), ini);
}

} // namespace
