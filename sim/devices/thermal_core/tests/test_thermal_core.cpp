// The simulated thermal core as the scope meets it on its serial line:
// frames written here from the link's layout, replies read back.
#include "thermal_core.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> bytes;

/* AA LEN cmd_hi cmd_lo kind params chk EB AA, LEN = total - 4. */
bytes scope_frame(uint16_t cmd, uint8_t kind, const bytes &params)
{
    bytes f = {0xAA, (uint8_t)(params.size() + 4), (uint8_t)(cmd >> 8), (uint8_t)cmd, kind};
    f.insert(f.end(), params.begin(), params.end());
    unsigned sum = 0;
    for (uint8_t b : f) sum += b;
    f.push_back((uint8_t)sum);
    f.push_back(0xEB);
    f.push_back(0xAA);
    return f;
}

bytes reply(uint16_t cmd, uint8_t kind, const bytes &data)
{
    bytes f = scope_frame(cmd, kind, data);
    f[0] = 0x55;
    f[f.size() - 3] = (uint8_t)(f[f.size() - 3] - 0xAA + 0x55);
    return f;
}

bytes text(const std::string &s, bytes lead = {})
{
    lead.insert(lead.end(), s.begin(), s.end());
    return lead;
}

/* The scope's end of the line: the slave of a pseudo-terminal whose master
 * the core holds. */
class CoreLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        scope = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(scope, 0);
        struct termios t;
        for (int fd : {master, scope}) {
            ASSERT_EQ(tcgetattr(fd, &t), 0);
            cfmakeraw(&t);
            ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
        }
        core = thermal_core_start(master);
        ASSERT_NE(core, nullptr);
    }
    void TearDown() override
    {
        thermal_core_stop(core);
        close(scope);
        close(master);
    }

    void send(const bytes &f) { ASSERT_EQ(write(scope, f.data(), f.size()), (ssize_t)f.size()); }

    /* Reads until n bytes came or 3 s passed. */
    bytes read_n(size_t n)
    {
        bytes got;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (got.size() < n && std::chrono::steady_clock::now() < until) {
            struct pollfd p = {scope, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            uint8_t buf[256];
            ssize_t r = read(scope, buf, sizeof buf);
            if (r > 0) got.insert(got.end(), buf, buf + r);
        }
        return got;
    }

    /* Sends f and returns every reply up to the acknowledgement of a
     * freeze command sent after it. */
    bytes answer_to(const bytes &f)
    {
        const bytes marker = scope_frame(0x030A, 0x01, {0x00});
        send(f);
        send(marker);
        bytes want_end = reply(0x030A, 0x01, {0x00});
        bytes got;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < until) {
            if (got.size() >= want_end.size() &&
                std::equal(want_end.begin(), want_end.end(), got.end() - want_end.size()))
                return bytes(got.begin(), got.end() - want_end.size());
            bytes more = read_n(1);
            got.insert(got.end(), more.begin(), more.end());
        }
        ADD_FAILURE() << "no acknowledgement of the marker";
        return got;
    }

    /* The first frame also brings the core's introduction. */
    void skip_introduction()
    {
        const bytes want = cat(identity(), reply(0x030C, 0x01, {0x00}));
        send(scope_frame(0x030C, 0x01, {0x00}));
        EXPECT_EQ(read_n(want.size()), want);
    }

    static bytes cat(bytes a, const bytes &b)
    {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    static bytes identity()
    {
        return cat(cat(reply(0x0102, 0x00, text("TC-640-SIM")), reply(0x0103, 0x00, text("SIM0001"))),
                   reply(0x00CE, 0x00, text("fw1.0", {0x01})));
    }

    int master = -1, scope = -1;
    thermal_core *core = nullptr;
};

TEST_F(CoreLine, IntroducesItselfOnceThenAnswersQueries)
{
    thermal_core_command(core, "version v1.2.3-rc");
    send(scope_frame(0x0104, 0x00, {}));
    const bytes version = reply(0x0104, 0x00, text("v1.2.3-rc"));
    EXPECT_EQ(read_n(identity().size() + version.size()), cat(identity(), version));
    EXPECT_EQ(answer_to(scope_frame(0x0104, 0x00, {})), version);
    ASSERT_EQ(thermal_core_command(core, "pn P-77"), 0);
    EXPECT_EQ(answer_to(scope_frame(0x0102, 0x00, {})), reply(0x0102, 0x00, text("P-77")));
    EXPECT_EQ(answer_to(scope_frame(0x00CE, 0x00, {})), reply(0x00CE, 0x00, text("fw1.0", {0x01})));
}

TEST_F(CoreLine, AcknowledgesAndFollowsImageCommands)
{
    skip_introduction();
    /* Searches and saves answer later; here only the acknowledgements. */
    ASSERT_EQ(thermal_core_command(core, "answers off"), 0);
    const struct {
        const char *what;
        bytes frame;
        bool acknowledged;
    } rows[] = {
        {"brightness level 1", scope_frame(0x0309, 0x01, {0x00, 44}), true},
        {"contrast level 10", scope_frame(0x0309, 0x01, {0x01, 94}), true},
        {"enhancement level 3", scope_frame(0x0309, 0x01, {0x03, 74}), true},
        {"black hot", scope_frame(0x0305, 0x01, {0x01}), true},
        {"scene 3", scope_frame(0x030B, 0x01, {0x02, 0x01}), true},
        {"bad-pixel cursor", scope_frame(0x0405, 0x01, {0x41, 0x01, 0x00, 0x01}), true},
        {"bad-pixel mode on", scope_frame(0x0408, 0x01, {0x01}), true},
        {"manual repair: answered when done", scope_frame(0x0508, 0x01, {0x00}), false},
        {"automatic repair: answered when done", scope_frame(0x0509, 0x01, {0x08}), false},
        {"shutter", scope_frame(0x0502, 0x01, {0x00, 0x00}), true},
    };
    for (const auto &r : rows) {
        bytes ack = r.frame;
        ack[0] = 0x55;
        ack[ack.size() - 3] = (uint8_t)(ack[ack.size() - 3] - 0xAA + 0x55);
        EXPECT_EQ(answer_to(r.frame), r.acknowledged ? ack : bytes{}) << r.what;
    }
    thermal_core_image im;
    thermal_core_get_image(core, &im);
    EXPECT_EQ(im.brightness, 1);
    EXPECT_EQ(im.contrast, 10);
    EXPECT_EQ(im.enhancement, 3);
    EXPECT_EQ(im.black_hot, 1);
    EXPECT_EQ(im.scene, 2);
    EXPECT_EQ(im.cursor_x, 321);
    EXPECT_EQ(im.cursor_y, 256);
    EXPECT_EQ(im.badpix_mode, 1);
    EXPECT_EQ(im.repairs, 2u);
    EXPECT_EQ(im.shutter_closes, 1u);

    /* Each frame is recorded byte for byte. */
    auto got = thermal_core_received(core);
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[1].frame, rows[0].frame);
    EXPECT_EQ(got[1].cmd, 0x0309);
    EXPECT_EQ(got[1].params, bytes({0x00, 44}));
}

TEST_F(CoreLine, SearchesAndSavesEndWithTheirNotices)
{
    skip_introduction();
    ASSERT_EQ(thermal_core_command(core, "search-ms 300"), 0);
    ASSERT_EQ(thermal_core_command(core, "save-ms 50"), 0);
    /* A mark at the cursor is taken in silence; the save reports. */
    send(scope_frame(0x0405, 0x01, {0x41, 0x01, 0x10, 0x00}));
    EXPECT_EQ(read_n(12), reply(0x0405, 0x01, {0x41, 0x01, 0x10, 0x00}));
    send(scope_frame(0x0508, 0x01, {0x00}));
    send(scope_frame(0x0508, 0x01, {0x02}));
    EXPECT_EQ(read_n(9), reply(0x0508, 0x01, {0x01}));
    thermal_core_image im;
    thermal_core_get_image(core, &im);
    EXPECT_EQ(im.marks, 1u);
    EXPECT_EQ(im.saved_marks, 1u);
    EXPECT_EQ(im.mark_x, 321);
    EXPECT_EQ(im.mark_y, 16);

    /* The search's notice comes once it is done, after what was sent meanwhile. */
    const auto start = std::chrono::steady_clock::now();
    send(scope_frame(0x0509, 0x01, {0x08}));
    send(scope_frame(0x0306, 0x01, {0x01}));
    bytes want = cat(reply(0x0306, 0x01, {0x01}), reply(0x0509, 0x01, {}));
    EXPECT_EQ(read_n(want.size()), want);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

    for (const char *wrong : {"answers maybe", "search-ms", "save-ms -1", "search-ms 12x"})
        EXPECT_EQ(thermal_core_command(core, wrong), -1) << wrong;
}

TEST_F(CoreLine, ScriptedFaultsAndNotices)
{
    skip_introduction();
    const bytes freeze = scope_frame(0x030A, 0x01, {0x01});
    ASSERT_EQ(thermal_core_command(core, "silent on"), 0);
    send(freeze);
    ASSERT_TRUE(thermal_core_wait(core, 2, 3000));
    EXPECT_FALSE(thermal_core_received(core).back().answered);
    ASSERT_EQ(thermal_core_command(core, "silent off"), 0);
    const bytes highlight = scope_frame(0x0306, 0x01, {0x01});
    EXPECT_EQ(answer_to(highlight), reply(0x0306, 0x01, {0x01})) << "the silent frame was answered";

    ASSERT_EQ(thermal_core_command(core, "badsum on"), 0);
    send(freeze);
    bytes bad = reply(0x030A, 0x01, {0x01});
    bad[bad.size() - 3] ^= 0xFF;
    EXPECT_EQ(read_n(bad.size()), bad);
    ASSERT_EQ(thermal_core_command(core, "badsum off"), 0);

    const struct {
        const char *line;
        bytes sent;
    } notices[] = {
        {"notice repair", reply(0x0509, 0x01, {})},
        {"notice save-ok", reply(0x0508, 0x01, {0x01})},
        {"notice save-failed", reply(0x0508, 0x01, {0x00})},
        {"notice calibrated", reply(0x050A, 0x01, {})},
        {"notice bright-on", reply(0xDD00, 0x01, {})},
        {"notice bright-off", reply(0xDC00, 0x01, {})},
        {"send 55 03 01 04 5D EB AA", {0x55, 0x03, 0x01, 0x04, 0x5D, 0xEB, 0xAA}},
    };
    for (const auto &n : notices) {
        ASSERT_EQ(thermal_core_command(core, n.line), 0) << n.line;
        EXPECT_EQ(read_n(n.sent.size()), n.sent) << n.line;
    }
    for (const char *wrong : {"notice nothing", "silent maybe", "send 1FF", "dance", "send"})
        EXPECT_EQ(thermal_core_command(core, wrong), -1) << wrong;
}

TEST_F(CoreLine, FramesWithAWrongChecksumAreCountedNotTaken)
{
    skip_introduction();
    bytes f = scope_frame(0x0305, 0x01, {0x01});
    f[f.size() - 3] ^= 0x01;
    /* Noise, a bad frame, then a sound one split over two writes. */
    send({0x00, 0x13, 0xEB});
    send(f);
    const bytes good = scope_frame(0x0306, 0x01, {0x01});
    send(bytes(good.begin(), good.begin() + 4));
    send(bytes(good.begin() + 4, good.end()));
    ASSERT_TRUE(thermal_core_wait(core, 2, 3000));
    thermal_core_image im;
    thermal_core_get_image(core, &im);
    EXPECT_EQ(im.bad_frames, 1u);
    EXPECT_EQ(im.black_hot, 0);
    EXPECT_EQ(im.highlight, 1);
}

} // namespace
