// The boot image the GUI decodes byte by byte, and the defaults a unit with
// no stored settings boots on.
#include "qel_dev_status.h"

#include <gtest/gtest.h>
#include <string.h>

#include "eeprom_defaults.h"

namespace {

// A status whose every source field of the boot image holds its own value,
// so a field copied to the wrong offset shows up as a wrong byte.
Qel_DevStatus distinct_status()
{
    Qel_DevStatus s;
    memset(&s, 0xEE, sizeof s);
    s.s8VideoMode = 1;
    for (int i = 0; i < 7; i++) s.irParam[i] = 10 + i;
    for (int i = 0; i < 7; i++) s.reticleParam[i] = 20 + i;
    s.s8IrSize = 30;
    s.s16ReticlePositionX = 0x0102;
    s.s16ReticlePositionY = 0x0304;
    s.s16RangeOffsetX = 0x0506;
    s.s16RangeOffsetY = 0x0708;
    s.s16LaserIndicatX = 0x090A;
    s.s16LaserIndicatY = -2;
    s.s8VideoOut = 31;
    s.s8ScreenBrightness = 32;
    s.s8ScreenHue = 33;
    s.s8Language = 34;
    s.s8SortType = 35;
    s.compassParam[0] = -2.9f;
    s.s8DistanceUint = 36;
    s.s8RangeType = 37;
    s.s8CompassSwitch = 38;
    s.s8HotTrack = 39;
    s.s8AutoShutter = 40;
    s.s8ShotFrontTime = 41;
    s.s8ShotBackTime = 42;
    s.s8ShotVideoSwitch = 43;
    s.s8MicSwitch = 44;
    s.s8BallisticReticle = 45;
    s.s8RangeSwitch = 1; /* never reaches the image */
    s.s8RecoilSensitivity = 46;
    s.s8RangeReticleType = 47;
    s.s8RangeReticleColor = 48;
    s.s8PIPReticleType = 49;
    s.s8PIPReticleColor = 50;
    s.s8LaserReticleType = 51;
    s.s8LaserReticleColor = 52;
    s.s8BallisticReticleColor = 53;
    s.s8WiFiSwitch = 54;
    s.s8CompassAutoAngleSwitch = 55;
    memcpy(s.version, "v1.2.3-long-text-over", 16); /* not terminated within 16 */
    return s;
}

struct ImageByte {
    int offset;
    uint8_t value;
};

// Written from the boot image's layout table: every byte that is not listed
// here must be zero.
const ImageByte kImage[] = {
    {1, 1},     {3, 13},    {4, 10},    {5, 11},    {7, 15},    {8, 12},    {9, 16},    {10, 14},   {11, 30},
    {18, 24},   {19, 20},   {20, 21},   {21, 23},   {22, 22},   {24, 0x02}, {25, 0x01}, {26, 0x04}, {27, 0x03},
    {28, 0x06}, {29, 0x05}, {30, 0x08}, {31, 0x07}, {32, 0x0A}, {33, 0x09}, {34, 0xFE}, {35, 0xFF}, {36, 31},
    {37, 32},   {38, 33},   {39, 34},   {40, 35},   {48, 0xFE}, {49, 0xFF}, {54, 36},   {55, 37},   {56, 38},
    {57, 39},   {58, 40},   {59, 41},   {60, 42},   {61, 43},   {62, 44},   {63, 45},   {65, 46},   {66, 47},
    {67, 48},   {68, 49},   {69, 50},   {70, 51},   {71, 52},   {72, 53},   {75, 54},   {78, 55},   {79, 'v'},
    {80, '1'},  {81, '.'},  {82, '2'},  {83, '.'},  {84, '3'},  {85, '-'},  {86, 'l'},  {87, 'o'},  {88, 'n'},
    {89, 'g'},  {90, '-'},  {91, 't'},  {92, 'e'},  {93, 'x'},
};

TEST(Records, BootImageHoldsEachFieldAtItsOffset)
{
    Qel_DevStatus s = distinct_status();
    uint8_t image[sizeof(UI_DevStatus)];
    memset(image, 0x77, sizeof image);
    Qel_Ui_Param_Init(&s, reinterpret_cast<UI_DevStatus *>(image));

    uint8_t want[96] = {};
    for (const ImageByte &b : kImage) want[b.offset] = b.value;
    for (int i = 0; i < 96; i++) EXPECT_EQ(image[i], want[i]) << "byte " << i;
}

TEST(Records, DeclinationIsTruncatedTowardZero)
{
    const struct {
        float decl;
        short want;
    } rows[] = {{2.9f, 2}, {-2.9f, -2}, {0.4f, 0}, {-0.99f, 0}, {15.0f, 15}};
    for (const auto &r : rows) {
        Qel_DevStatus s = {};
        s.compassParam[0] = r.decl;
        UI_DevStatus ui;
        Qel_Ui_Param_Init(&s, &ui);
        EXPECT_EQ(ui.s16CompassMagnetic, r.want) << r.decl;
    }
}

TEST(Records, DefaultsAreThoseOfAnEmptyUnit)
{
    Qel_DevStatus s;
    memset(&s, 0x55, sizeof s);
    vesk_dev_status_defaults(&s);

    const int ir[7] = {5, 5, 3, 0, 0, 3, 1};
    const int reticle[7] = {5, 0, 0, 2, 0, 0, 0};
    for (int i = 0; i < 7; i++) EXPECT_EQ(s.irParam[i], ir[i]) << i;
    for (int i = 0; i < 7; i++) EXPECT_EQ(s.reticleParam[i], reticle[i]) << i;
    for (int i = 0; i < 4; i++) EXPECT_EQ(s.compassParam[i], 0.0f);
    EXPECT_EQ(s.s8ScreenBrightness, 5);
    EXPECT_EQ(s.s8RecoilSensitivity, 3);
    EXPECT_EQ(s.s16ShotThreshold, 150);
    EXPECT_EQ(s.s8RangeType, 1);
    EXPECT_EQ(s.vesk_lrf_target, 1);
    EXPECT_EQ(s.s8DistanceUint, 1);
    EXPECT_EQ(s.s8AutoShutter, 5);
    EXPECT_EQ(s.s8RangeReticleColor, 1);
    EXPECT_EQ(s.s8LaserReticleColor, 2);
    EXPECT_EQ(s.s8BallisticReticleColor, 1);
    expect_eeprom_defaults(s);
    EXPECT_STREQ(s.version, "v1.0.4");
    // Run-time fields start at zero.
    EXPECT_EQ(s.ui_ready, 0);
    EXPECT_EQ(s.voltage_now, 0);
    EXPECT_EQ(s.s8WiFiSwitch, 0);
    EXPECT_EQ(s.wifi_ssid[0], 0);
}

TEST(Records, FieldTablesCoverEachStoredKeyOnce)
{
    for (int i = 0; i < VESK_DEV_FIELD_COUNT; i++)
        for (int j = i + 1; j < VESK_DEV_FIELD_COUNT; j++) {
            EXPECT_STRNE(vesk_dev_fields[i].key, vesk_dev_fields[j].key);
            EXPECT_NE(vesk_dev_fields[i].offset, vesk_dev_fields[j].offset);
        }
}

TEST(Records, TextFieldsStayTerminated)
{
    Qel_DevStatus s = {};
    char longer[300];
    memset(longer, 'x', sizeof longer - 1);
    longer[sizeof longer - 1] = 0;
    vesk_dev_field_store(&s, &vesk_eeprom_fields[1], 0, longer); /* sn */
    EXPECT_EQ(strlen(s.sn), 127u);
    EXPECT_EQ(s.pn[0], 0); /* the next field is untouched */
}

} // namespace
