#include "vesk_lrf_proto.h"

#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

typedef std::vector<uint8_t> Bytes;

std::string hex(const uint8_t *p, size_t n)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; i++) {
        snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
        s += b;
    }
    return s;
}

TEST(LrfFrameBuild, FramesAreByteExact)
{
    const struct {
        uint8_t cmd;
        Bytes params;
        const char *frame;
    } rows[] = {
        {0x05, {}, "EE 16 02 03 05 08"},
        {0x02, {}, "EE 16 02 03 02 05"},
        {0xA1, {0x03, 0x00}, "EE 16 04 03 A1 03 00 A7"},
        {0xA4, {0x4E, 0x20}, "EE 16 04 03 A4 4E 20 15"},
        {0x03, {0x03}, "EE 16 03 03 03 03 09"},
        {0x77, {1, 2, 3, 4, 5}, "EE 16 07 03 77 01 02 03 04 05 89"},
    };
    for (const auto &r : rows) {
        uint8_t out[VESK_LRF_FRAME_MAX];
        size_t n = vesk_lrf_frame_build(r.cmd, r.params.data(), r.params.size(), out);
        EXPECT_EQ(n, r.params.size() + 6);
        EXPECT_EQ(hex(out, n), r.frame);
    }
    uint8_t six[6] = {0}, out[16];
    memset(out, 0xCC, sizeof out);
    EXPECT_EQ(vesk_lrf_frame_build(0x02, six, 6, out), 0u);
    EXPECT_EQ(out[0], 0xCC) << "a refused frame writes nothing";
}

TEST(LrfFrameParse, Table)
{
    const struct {
        const char *what;
        Bytes in;
        int result;
        size_t consumed;
        uint8_t cmd, nparams;
    } rows[] = {
        {"stop", {0xEE, 0x16, 0x02, 0x03, 0x05, 0x08}, 1, 6, 0x05, 0},
        {"reply", {0xEE, 0x16, 0x06, 0x03, 0x02, 0x00, 0x00, 0x7B, 0x04, 0x84, 0xEE}, 1, 10, 0x02, 4},
        {"five params", {0xEE, 0x16, 0x07, 0x03, 0x77, 1, 2, 3, 4, 5, 0x89}, 1, 11, 0x77, 5},
        {"two bytes", {0xEE, 0x16}, 0, 0, 0, 0},
        {"short body", {0xEE, 0x16, 0x02, 0x03, 0x05}, 0, 0, 0, 0},
        {"bad head", {0xEE, 0x17, 0x02, 0x03, 0x05, 0x08}, -1, 1, 0, 0},
        {"garbage", {0x00, 0x16, 0x02}, -1, 1, 0, 0},
        {"length 8 at once", {0xEE, 0x16, 0x08}, -1, 1, 0, 0},
        {"length 1", {0xEE, 0x16, 0x01, 0x03, 0x05}, -1, 1, 0, 0},
        {"length 255", {0xEE, 0x16, 0xFF}, -1, 1, 0, 0},
        {"address", {0xEE, 0x16, 0x02, 0x04}, -1, 1, 0, 0},
        {"checksum", {0xEE, 0x16, 0x02, 0x03, 0x05, 0x09}, -1, 1, 0, 0},
    };
    for (const auto &r : rows) {
        vesk_lrf_frame f;
        memset(&f, 0xAB, sizeof f);
        size_t used = 99;
        EXPECT_EQ(vesk_lrf_frame_parse(r.in.data(), r.in.size(), &f, &used), r.result) << r.what;
        EXPECT_EQ(used, r.consumed) << r.what;
        if (r.result == 1) {
            EXPECT_EQ(f.cmd, r.cmd) << r.what;
            EXPECT_EQ(f.nparams, r.nparams) << r.what;
            EXPECT_EQ(0, memcmp(f.params, r.in.data() + 5, f.nparams)) << r.what;
        }
    }
}

/* The assembly buffer fed as the receive thread feeds it. */
class LrfRx : public ::testing::Test {
protected:
    vesk_lrf_rx rx;
    std::vector<std::string> frames;
    void SetUp() override { memset(&rx, 0, sizeof rx); }

    static void on_frame(void *ctx, const vesk_lrf_frame *f, const uint8_t *raw, size_t len)
    {
        auto *self = static_cast<LrfRx *>(ctx);
        self->frames.push_back(hex(&f->cmd, 1) + "/" + hex(raw, len));
    }
    /* Bytes read at ms on the monotonic clock; none is a quiet poll. */
    void feed(const Bytes &bytes, uint64_t ms = 0)
    {
        if (bytes.empty()) vesk_lrf_rx_commit(&rx, 0, ms, on_frame, this);
        size_t done = 0;
        while (done < bytes.size()) {
            int forced;
            size_t room = vesk_lrf_rx_room(&rx, &forced);
            size_t n = std::min(room, bytes.size() - done);
            memcpy(rx.buf + rx.count, bytes.data() + done, n);
            vesk_lrf_rx_commit(&rx, n, ms, on_frame, this);
            done += n;
        }
    }
};

const Bytes kStop = {0xEE, 0x16, 0x02, 0x03, 0x05, 0x08};
const Bytes kReply = {0xEE, 0x16, 0x06, 0x03, 0x02, 0x00, 0x00, 0x7B, 0x04, 0x84};

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST_F(LrfRx, TwoFramesInOneRead)
{
    feed(cat({kReply, kStop}));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], "02/EE 16 06 03 02 00 00 7B 04 84");
    EXPECT_EQ(frames[1], "05/EE 16 02 03 05 08");
    EXPECT_EQ(rx.count, 0u);
}

TEST_F(LrfRx, FrameSplitOverTwoReadsAtEveryPoint)
{
    for (size_t cut = 1; cut < kReply.size(); cut++) {
        frames.clear();
        feed(Bytes(kReply.begin(), kReply.begin() + cut));
        EXPECT_TRUE(frames.empty()) << "cut " << cut;
        feed(Bytes(kReply.begin() + cut, kReply.end()));
        ASSERT_EQ(frames.size(), 1u) << "cut " << cut;
        EXPECT_EQ(rx.count, 0u);
    }
}

TEST_F(LrfRx, ResyncAfterGarbageCostsOneBytePerBadStart)
{
    /* A false start (EE 16 with a length that promises too much, then one
     * with a bad checksum) must not swallow the real frame behind it. */
    feed(cat({{0x00, 0xEE, 0x16, 0x09, 0xEE, 0x16, 0x02, 0x03, 0x05, 0x00, 0xFF}, kStop, {0xEE, 0x16, 0x07}, kReply}));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], "05/EE 16 02 03 05 08");
    EXPECT_EQ(frames[1], "02/EE 16 06 03 02 00 00 7B 04 84");
}

TEST_F(LrfRx, APartialFrameIsDroppedAfterASilenceOnTheLine)
{
    const Bytes head(kReply.begin(), kReply.begin() + 5), rest(kReply.begin() + 5, kReply.end());
    const std::string stop = "05/EE 16 02 03 05 08", reply = "02/EE 16 06 03 02 00 00 7B 04 84";
    const struct {
        const char *what;
        std::vector<std::pair<uint64_t, Bytes>> line;
        std::vector<std::string> frames;
    } rows[] = {
        {"a stray start and the longest length, then a reply", {{0, {0xEE, 0x16, 0x07, 0x03}}, {100, kStop}}, {stop}},
        {"a lone stray start byte, then a reply", {{0, {0xEE}}, {100, kStop}}, {stop}},
        {"a garbage tail ending in a start", {{0, {0x13, 0x7B, 0xEE, 0x16, 0x05}}, {60, kStop}}, {stop}},
        {"a torn reply, then the reply again", {{0, head}, {50, kReply}}, {reply}},
        {"a reply behind a stray start is taken when the line goes quiet",
         {{0, cat({{0xEE, 0x16, 0x07, 0x03}, kStop})}, {100, {}}},
         {stop}},
        {"a reply whose halves come 49 ms apart is whole", {{0, head}, {49, rest}}, {reply}},
        {"a reply whose halves come 50 ms apart is torn", {{0, head}, {50, rest}, {300, kStop}}, {stop}},
        {"a quiet poll within the bound keeps a partial reply", {{0, head}, {30, {}}, {45, rest}}, {reply}},
        {"a quiet poll past the bound tears it", {{0, head}, {60, {}}, {70, rest}, {200, kStop}}, {stop}},
    };
    for (const auto &r : rows) {
        memset(&rx, 0, sizeof rx);
        frames.clear();
        for (const auto &at : r.line) feed(at.second, at.first);
        EXPECT_EQ(frames, r.frames) << r.what;
    }
}

TEST_F(LrfRx, NoiseNeverFillsTheBuffer)
{
    Bytes noise;
    for (int i = 0; i < 300; i++) noise.push_back((uint8_t)(i * 7 % 0xE0));
    feed(noise);
    EXPECT_LT(rx.count, 3u);
    feed(kStop);
    EXPECT_EQ(frames.size(), 1u);
}

TEST_F(LrfRx, FullBufferDropsItsFirstByte)
{
    /* Only a caller that fills the buffer itself can get here. */
    memset(rx.buf, 0xEE, sizeof rx.buf);
    rx.count = sizeof rx.buf;
    int forced = 0;
    EXPECT_EQ(vesk_lrf_rx_room(&rx, &forced), 1u);
    EXPECT_EQ(forced, 1);
    EXPECT_EQ(rx.count, sizeof rx.buf - 1);
}

TEST(LrfDistance, DecimetresRoundTrip)
{
    vesk_lrf_distance d = vesk_lrf_distance_split(1234);
    EXPECT_EQ(d.m, 123);
    EXPECT_EQ(d.dm, 4);
    EXPECT_EQ(vesk_lrf_dm(d), 1234u);
    EXPECT_EQ(vesk_lrf_dm(vesk_lrf_distance_split(200000)), 200000u);
}

} // namespace
