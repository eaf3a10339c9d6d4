// The key gestures as the device would send them.
#include "sim_keys.h"

#include <gtest/gtest.h>

namespace {

std::string show(const std::vector<sim_key_step> &steps)
{
    std::string s;
    for (const auto &k : steps)
        s += std::to_string(k.t_ms) + ":" + std::to_string(k.code) + "=" + std::to_string(k.value) + " ";
    return s;
}

TEST(SimKeys, Names)
{
    EXPECT_EQ(sim_keys_parse("range"), (std::vector<uint16_t>{7}));
    EXPECT_EQ(sim_keys_parse("ok"), (std::vector<uint16_t>{1}));
    EXPECT_EQ(sim_keys_parse("left+down"), (std::vector<uint16_t>{4, 3}));
    EXPECT_EQ(sim_keys_parse("up+middle+down"), (std::vector<uint16_t>{2, 1, 3}));
    EXPECT_TRUE(sim_keys_parse("photo").empty());
    EXPECT_TRUE(sim_keys_parse("left+").empty());
    EXPECT_TRUE(sim_keys_parse("left+left").empty());
    EXPECT_TRUE(sim_keys_parse("").empty());
}

TEST(SimKeys, Gestures)
{
    sim_key_repeat board;
    board.delay_ms = 500;
    board.period_ms = 200;
    EXPECT_EQ(show(sim_keys_hold({1}, 100, board)), "0:1=1 100:1=0 ");
    EXPECT_EQ(show(sim_keys_hold({1}, 1000, board)), "0:1=1 500:1=2 700:1=2 900:1=2 1000:1=0 ");
    /* Only the key pressed last repeats; the release runs backwards. */
    EXPECT_EQ(show(sim_keys_hold({4, 3}, 800, board)), "0:4=1 40:3=1 540:3=2 740:3=2 840:3=0 860:4=0 ");
    EXPECT_EQ(show(sim_keys_double(8, 220)), "0:8=1 80:8=0 300:8=1 380:8=0 ");
}

} // namespace
