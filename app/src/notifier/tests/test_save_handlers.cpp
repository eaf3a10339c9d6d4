// The router's setting frames on a unit's files: each changes the settings
// record and the stored setting, refuses what it cannot apply, and stages the
// zero store only for a zero change.
#include "save_handlers.h"

#include <gtest/gtest.h>
#include <iniparser.h>

#include <vector>

#include "iniparser_handler.h"
#include "persist_unit_test.h"
#include "vesk_persist.h"

namespace {

class SettingFrames : public PersistUnitTest {};

std::vector<uint8_t> frame(uint8_t obj, uint8_t sub, uint8_t item, std::vector<uint8_t> payload)
{
    uint8_t bytes[64] = {0xAA, 0, obj, sub, item, 0};
    size_t n = 6;
    for (uint8_t b : payload) bytes[n++] = b;
    n += 3;
    bytes[1] = (uint8_t)(n - 3);
    bytes[n - 2] = 0xEB;
    bytes[n - 1] = 0xAA;
    return std::vector<uint8_t>(bytes, bytes + n);
}

TEST_F(SettingFrames, RouterFramesSetStatusAndFile)
{
    ASSERT_EQ(start(), 0);
    auto usual = frame(0, 0, 7, {3});
    usualSaveSet(usual.data(), usual.size());
    EXPECT_EQ(qel_dev_status.s8ScreenBrightness, 3);
    EXPECT_EQ(current_ini_value("s8screenbrightness"), "3");

    auto shoot = frame(28, 3, 0, {4});
    EXPECT_EQ(shootSaveSet(shoot.data(), shoot.size()), 0);
    EXPECT_EQ(qel_dev_status.s8RecoilSensitivity, 4);
    EXPECT_EQ(qel_dev_status.s16ShotThreshold, 125);

    // Shot-video times beyond what the loader keeps (0..2) are refused, in
    // the record as in the file.
    for (uint8_t sub : {1, 2}) {
        const char *key = sub == 1 ? "s8shotfronttime" : "s8shotbacktime";
        for (uint8_t v : {3, 128, 255}) {
            const std::string before = current_ini_value(key);
            auto times = frame(28, sub, 0xFF, {v});
            EXPECT_EQ(shootSaveSet(times.data(), times.size()), -1) << key << " " << (int)v;
            EXPECT_EQ(sub == 1 ? qel_dev_status.s8ShotFrontTime : qel_dev_status.s8ShotBackTime, 0);
            EXPECT_EQ(current_ini_value(key), before);
        }
        auto two = frame(28, sub, 0xFF, {2});
        EXPECT_EQ(shootSaveSet(two.data(), two.size()), 0);
        EXPECT_EQ(current_ini_value(key), "2");
    }

    auto colour = frame(22, 9, 3, {2});
    reticleSaveSet(colour.data(), colour.size());
    EXPECT_EQ(qel_dev_status.s8RangeReticleColor, 2);
    EXPECT_EQ(current_ini_value("s8rangereticlecolor"), "2");

    // Group select: 7 is refused, 4 selects group 4 and its first zero.
    qel_ir_cursor.group[4].u8CurrentZero = 1;
    auto bad_group = frame(22, 6, 0xFF, {7});
    EXPECT_EQ(reticleSaveSet(bad_group.data(), bad_group.size()), -1);
    EXPECT_EQ(qel_ir_cursor.u8CurrentGroup, 2);
    auto group = frame(22, 6, 0xFF, {4});
    uint64_t staged = persist_accepted(2);
    reticleSaveSet(group.data(), group.size());
    EXPECT_EQ(qel_ir_cursor.u8CurrentGroup, 4);
    EXPECT_EQ(qel_ballistics.u8CurrentBallistics, 4);
    EXPECT_EQ(qel_ir_cursor.group[4].u8CurrentZero, 0);
    EXPECT_EQ(current_ini_value("s8reticlegroupindex"), "4");
    EXPECT_EQ(persist_accepted(2), staged); /* nothing staged for the database */

    // Zero position: signed little-endian values, staged for the database.
    auto pos = frame(22, 3, 0xFF, {0x80, 0x02, 0xFE, 0xFF});
    reticleSaveSet(pos.data(), pos.size());
    EXPECT_EQ(qel_ir_cursor.group[4].zero[0].s8IrCursorCurrentX, 640);
    EXPECT_EQ(qel_ir_cursor.group[4].zero[0].s8IrCursorCurrentY, -2);
    EXPECT_EQ(persist_accepted(2), staged + 1);

    // A frame too short for its two values changes nothing.
    auto short_pos = frame(22, 10, 0xFF, {0x10});
    reticleSaveSet(short_pos.data(), short_pos.size());
    EXPECT_EQ(persist_accepted(2), staged + 1);

    // Another object is not a reticle frame.
    auto other = frame(21, 0, 0xFF, {1});
    reticleSaveSet(other.data(), other.size());
    EXPECT_EQ(qel_dev_status.reticleParam[0], 5);
}

TEST_F(SettingFrames, ReticleSwitchGoesToBothDictionaries)
{
    ASSERT_EQ(start(), 0);
    auto sw = frame(22, 1, 0xFF, {0});
    uint64_t before[2] = {persist_accepted(0), persist_accepted(1)};
    reticleSaveSet(sw.data(), sw.size());
    EXPECT_EQ(qel_dev_status.reticleParam[1], 0);
    EXPECT_GT(persist_accepted(0), before[0]);
    EXPECT_GT(persist_accepted(1), before[1]);
    ASSERT_EQ(vesk_persist_flush(3000), 0);
    dictionary *d = iniparser_load(dir.authority_ini.c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(iniparser_getint(d, "reticleparam:s8reticleswitch", -1), 0);
    iniparser_freedict(d);
    EXPECT_EQ(read_text(dir.authority_ini), read_text(dir.defaults_ini)); /* the mirror follows */
}

} // namespace
