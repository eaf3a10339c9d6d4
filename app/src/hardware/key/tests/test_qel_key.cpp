// The key state machine on a virtual clock: input events at given times,
// the power-key thread stepped every 10 ms, the reports seen on a real bus.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "bus_capture.h"
#include "qel_key.h"

namespace {

struct Report {
    int t;
    std::vector<int> bytes;
    bool operator==(const Report &o) const { return t == o.t && bytes == o.bytes; }
};

std::ostream &operator<<(std::ostream &os, const Report &r)
{
    os << "@" << r.t << " {";
    for (size_t i = 0; i < r.bytes.size(); i++) os << (i ? "," : "") << r.bytes[i];
    return os << "}";
}

/* One timed input: a key event at t ms of the virtual clock. */
struct Input {
    int t, code, value;
};

class KeyMachine : public ::testing::Test {
protected:
    BusCapture capture;
    event_handle *bus = capture.bus();
    std::vector<key_state_table> table;

    void SetUp() override
    {
        table.assign(8, key_state_table{});
        for (int i = 0; i < 8; i++) {
            table[i].key_code = i + 1;
            table[i].need_double = i + 1 == KEY_CODE_POWER;
        }
        CombKey_Init(table.data(), 8);
        vesk_key_bind(table.data(), 8, bus);
    }
    void TearDown() override { vesk_key_bind(nullptr, 0, nullptr); }

    /* Plays the inputs, ticking the power-key thread every 10 ms, until end. */
    std::vector<Report> play(const std::vector<Input> &inputs, int end)
    {
        std::vector<Report> out;
        size_t next = 0;
        for (int t = 0; t <= end; t++) {
            bool acted = false;
            while (next < inputs.size() && inputs[next].t == t) {
                struct input_event ev = {};
                ev.type = EV_KEY;
                ev.code = (uint16_t)inputs[next].code;
                ev.value = inputs[next].value;
                KeyRepValueFunc(&ev, (uint64_t)t + 100000);
                next++;
                acted = true;
            }
            if (t % 10 == 0 && t > 0) {
                vesk_key_double_tick();
                acted = true;
            }
            if (!acted) continue;
            for (auto &e : capture.take_payloads()) out.push_back({t, e});
        }
        return out;
    }
};

/* A key held from down to up as the device repeats it: press, repeats
 * 500 ms after the press and every 200 ms after that, release. */
std::vector<Input> held(int code, int down, int up)
{
    std::vector<Input> v = {{down, code, 1}};
    for (int t = down + KEY_AUTOREPEAT_DELAY_MS; t < up; t += KEY_AUTOREPEAT_PERIOD_MS) v.push_back({t, code, 2});
    v.push_back({up, code, 0});
    return v;
}

std::vector<Input> merge(std::vector<std::vector<Input>> parts)
{
    std::vector<Input> all;
    for (auto &p : parts) all.insert(all.end(), p.begin(), p.end());
    std::stable_sort(all.begin(), all.end(), [](const Input &a, const Input &b) { return a.t < b.t; });
    return all;
}

struct TimingCase {
    const char *name;
    std::vector<Input> inputs;
    int end;
    std::vector<Report> want;
};

TEST_F(KeyMachine, TimingsOnAVirtualClock)
{
    const std::vector<TimingCase> cases = {
        {"middle short", {{0, 1, 1}, {300, 1, 0}}, 1000, {{300, {7, 1, 0, 0, 0}}}},
        {"middle long: at the third repeat, and its release",
         held(1, 0, 1500),
         2000,
         {{900, {7, 1, 2, 0, 0}}, {1500, {7, 1, 3, 0, 0}}}},
        {"up short at the release, without waiting", {{0, 2, 1}, {120, 2, 0}}, 1000, {{120, {7, 2, 0, 0, 0}}}},
        {"left then down held: at down's first repeat, no short presses after",
         merge({{{0, 4, 1}, {1400, 4, 0}}, held(3, 100, 1300)}),
         2000,
         {{600, {7, 10, 1, 0, 0}}}},
        {"left then down, down released early: at that release",
         {{0, 4, 1}, {100, 3, 1}, {300, 3, 0}, {400, 4, 0}},
         1000,
         {{300, {7, 10, 1, 0, 0}}}},
        {"left and right for 5000 ms: at the 25th matching event",
         merge({{{0, 4, 1}, {6200, 4, 0}}, held(5, 100, 6000)}),
         7000,
         {{5400, {7, 9, 1, 0, 0}}}},
        {"left and right let go before 5000 ms: nothing",
         merge({{{0, 4, 1}, {3200, 4, 0}}, held(5, 100, 3000)}),
         4000,
         {}},
        {"left and right twice 3 s each: a fresh hold counts from 0",
         merge({{{0, 4, 1}, {3200, 4, 0}}, held(5, 100, 3000), {{4000, 4, 1}, {7200, 4, 0}}, held(5, 4100, 7000)}),
         8000,
         {}},
        {"up, middle, down: the three-key combination",
         merge({{{0, 2, 1}, {1000, 2, 0}, {50, 1, 1}, {1000, 1, 0}}, held(3, 100, 900)}),
         1500,
         {{600, {7, 11, 1, 0, 0}}}},
        /* The 10 ms ticks fall on the releases here: 41 ticks after it. */
        {"power single: 400 ms after its release", {{0, 8, 1}, {100, 8, 0}}, 1000, {{500, {7, 8, 0, 0, 0}}}},
        {"power double 300 ms apart: one double report",
         {{0, 8, 1}, {100, 8, 0}, {300, 8, 1}, {400, 8, 0}},
         1500,
         {{400, {7, 8, 0, 1, 0}}}},
        {"power twice 500 ms apart: two singles",
         {{0, 8, 1}, {50, 8, 0}, {550, 8, 1}, {600, 8, 0}},
         1500,
         {{450, {7, 8, 0, 0, 0}}, {1000, {7, 8, 0, 0, 0}}}},
        {"power long: at once, and its release",
         held(8, 0, 1500),
         2500,
         {{900, {7, 8, 2, 0, 0}}, {1500, {7, 8, 3, 0, 0}}}},
    };
    for (const TimingCase &c : cases) {
        SCOPED_TRACE(c.name);
        for (auto &e : table) e.key_state = e.key_long_repet = e.time_count = e.combkey_value = 0;
        vesk_key_bind(table.data(), 8, bus);
        EXPECT_EQ(play(c.inputs, c.end), c.want);
    }
}

TEST_F(KeyMachine, UnknownCodeReportsNothing) { EXPECT_TRUE(play({{0, 30, 1}, {100, 30, 0}}, 200).empty()); }

TEST_F(KeyMachine, EventsSplitAcrossReadsAreReassembled)
{
    struct input_event evs[4] = {};
    evs[0].type = EV_KEY, evs[0].code = 2, evs[0].value = 1;
    evs[1].type = EV_SYN;
    evs[2].type = EV_KEY, evs[2].code = 2, evs[2].value = 0;
    evs[3].type = EV_SYN;
    vesk_key_reader reader = {{0}, 0};
    const unsigned char *bytes = (const unsigned char *)evs;
    /* Reads of 1, 7, 13 ... bytes: never one whole event at a time. */
    for (size_t at = 0, step = 1; at < sizeof evs; at += step, step += 6)
        vesk_key_feed(&reader, bytes + at, std::min(step, sizeof evs - at), 100000);
    EXPECT_EQ(capture.take_payloads(), (std::vector<std::vector<int>>{{7, 2, 0, 0, 0}}));
}

/* The capability bitmap and the auto-repeat go through the board layer. */
TEST(KeyDevice, KeysAndAutoRepeatThroughTheBoardLayer)
{
    char dir[] = "/tmp/qel_key_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir, log = root + "/board.log";
    mkdir((root + "/dev").c_str(), 0755);
    mkdir((root + "/dev/input").c_str(), 0755);
    int fd = open((root + "/dev/input/event0").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    setenv("VESK_BOARD_ROOT", dir, 1);
    setenv("VESK_BOARD_LOG", log.c_str(), 1);

    EXPECT_EQ(SetAutorepatTime(fd), 0);
    key_state_table table[16] = {};
    ASSERT_EQ(GetKeyNum(fd, nullptr), 8);
    ASSERT_EQ(GetKeyNum(fd, table), 8);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(table[i].key_code, i + 1);
        EXPECT_EQ(table[i].need_double, i == 7);
    }
    CombKey_Init(table, 8);
    const int combos[8] = {1, 1, 2, 2, 1, 0, 0, 0}; /* middle, up, down, left, right ... */
    for (int i = 0; i < 8; i++) EXPECT_EQ(table[i].has_combkey, combos[i]) << "key " << i + 1;

    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("node=/dev/input/event0"), std::string::npos) << text;
    EXPECT_NE(text.find("delay=500 period=200"), std::string::npos) << text;
    EXPECT_NE(text.find("ev=1 len=96"), std::string::npos) << text;

    /* A node the board layer refuses: no keys, and auto-repeat reported failed. */
    int other = open(log.c_str(), O_RDONLY);
    EXPECT_EQ(GetKeyNum(other, nullptr), 0);
    EXPECT_LT(SetAutorepatTime(other), 0);
    close(other);
    close(fd);
    unsetenv("VESK_BOARD_ROOT");
    unsetenv("VESK_BOARD_LOG");
    std::string rm = "rm -rf " + root;
    ASSERT_EQ(system(rm.c_str()), 0);
}

} // namespace
