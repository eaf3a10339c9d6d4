// The values the EEPROM's fields take on a unit that has none stored (or
// whose EEPROM reads empty), written out here once for every test that
// boots such a unit.
#pragma once

#include <gtest/gtest.h>

#include "qel_dev_status.h"

inline void expect_eeprom_defaults(const Qel_DevStatus &s)
{
    EXPECT_EQ(s.s16RangeOffsetX, 639);
    EXPECT_EQ(s.s16RangeOffsetY, 639);
    EXPECT_EQ(s.s16LaserIndicatX, 639);
    EXPECT_EQ(s.s16LaserIndicatY, 639);
    EXPECT_EQ(s.s16RangeMinScale, 1000);
    EXPECT_EQ(s.s16RangeMaxScale, 12000);
    EXPECT_STREQ(s.sn, "");
    EXPECT_STREQ(s.pn, "");
}
