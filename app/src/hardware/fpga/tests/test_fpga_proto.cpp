// The thermal core's frames and receive parser, against frames written out
// here from the link's layout.
#include "fpga_proto.h"
#include "fpga_test_frames.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

bytes text_bytes(const std::string &s) { return bytes(s.begin(), s.end()); }

struct key_row {
    const char *what;
    uint8_t key, value;
    bytes frame; /* empty: nothing is sent for this key */
};

TEST(FpgaProto, EachImageKeyBecomesItsFrame)
{
    const key_row rows[] = {
        {"brightness 0 is level 1", 1, 0, to_core(0x0309, {0x01, 0x00, 44})},
        {"brightness 1", 1, 1, to_core(0x0309, {0x01, 0x00, 44})},
        {"brightness 20 is level 10", 1, 20, to_core(0x0309, {0x01, 0x00, 89})},
        {"brightness 255", 1, 255, to_core(0x0309, {0x01, 0x00, 89})},
        {"contrast 0", 2, 0, to_core(0x0309, {0x01, 0x01, 40})},
        {"contrast 4", 2, 4, to_core(0x0309, {0x01, 0x01, 58})},
        {"contrast 11", 2, 11, to_core(0x0309, {0x01, 0x01, 94})},
        {"enhancement 0", 3, 0, to_core(0x0309, {0x01, 0x03, 34})},
        {"enhancement 5", 3, 5, to_core(0x0309, {0x01, 0x03, 114})},
        {"enhancement 9", 3, 9, to_core(0x0309, {0x01, 0x03, 114})},
        {"polarity white hot", 4, 0, to_core(0x0305, {0x01, 0x00})},
        {"polarity black hot", 4, 1, to_core(0x0305, {0x01, 0x01})},
        {"polarity red hot", 4, 2, to_core(0x0305, {0x01, 0x00})},
        {"calibrate", 0, 7, to_core(0x0503, {0x01, 0x01})},
        {"calibrate off", 0, 0, to_core(0x0503, {0x01, 0x00})},
        {"highlight", 8, 3, to_core(0x0306, {0x01, 0x01})},
        {"freeze", 10, 1, to_core(0x030A, {0x01, 0x01})},
        {"hot point off", 12, 0, to_core(0x030C, {0x01, 0x00})},
        {"auto shutter sends nothing", 13, 1, {}},
        {"scene has its own rule", 9, 1, {}},
        {"unknown key", 5, 1, {}},
    };
    for (const key_row &r : rows) {
        fpga_tx_frame f;
        int sent = irUartSet_frame(r.key, r.value, &f);
        if (r.frame.empty()) {
            EXPECT_EQ(sent, 0) << r.what;
            continue;
        }
        ASSERT_EQ(sent, 1) << r.what;
        EXPECT_EQ(bytes(f.bytes, f.bytes + f.size), r.frame) << r.what;
    }
}

TEST(FpgaProto, FixedFramesHaveTheirLengths)
{
    fpga_tx_frame f;
    ASSERT_EQ(fpga_frame_build(&f, 0x0104, 0x00, nullptr, 0), 0);
    EXPECT_EQ(bytes(f.bytes, f.bytes + f.size), to_core(0x0104, {0x00}));
    EXPECT_EQ(f.size, 8u);
    const uint8_t cursor[4] = {0x40, 0x01, 0x00, 0x01};
    ASSERT_EQ(fpga_frame_build(&f, 0x0405, 0x01, cursor, 4), 0);
    EXPECT_EQ(f.size, 12u);
    EXPECT_EQ(bytes(f.bytes, f.bytes + f.size), to_core(0x0405, {0x01, 0x40, 0x01, 0x00, 0x01}));
    const uint8_t too_many[5] = {};
    EXPECT_EQ(fpga_frame_build(&f, 0x0405, 0x01, too_many, 5), -1);
}

TEST(FpgaProto, ScenesMapToTheirTwoBytes)
{
    const struct {
        int scene;
        uint8_t t1, t2;
    } rows[] = {{1, 0, 0}, {2, 1, 0}, {3, 2, 1}, {4, 9, 0}, {0, 0, 0}, {5, 0, 0}, {-3, 0, 0}};
    for (const auto &r : rows) {
        uint8_t t1 = 0xEE, t2 = 0xEE;
        fpga_scene_params(r.scene, &t1, &t2);
        EXPECT_EQ(t1, r.t1) << "scene " << r.scene;
        EXPECT_EQ(t2, r.t2) << "scene " << r.scene;
    }
}

TEST(FpgaProto, VersionTextIsCutAtTheHyphen)
{
    const struct {
        const char *in, *shown;
    } rows[] = {
        {"v1.2.3-rc", "V1.2.3"}, {"v1.2.3", "V1.2.3"}, {"V2.0-beta-1", "V2.0"}, {"-rc", ""}, {"", ""},
        {"x1-2", "x1"},          {"1.0v-a", "1.0v"},
    };
    for (const auto &r : rows) {
        char out[32];
        get_show_version(r.in, out, sizeof out);
        EXPECT_STREQ(out, r.shown) << r.in;
    }
    char small[4];
    get_show_version("v1.2.3-rc", small, sizeof small);
    EXPECT_STREQ(small, "V1.");
}

/* ---- receive ---- */

struct collected {
    std::vector<bytes> frames;
};

void collect(void *ctx, const fpga_rx_frame *f)
{
    static_cast<collected *>(ctx)->frames.push_back(bytes(f->bytes, f->bytes + f->size));
}

/* Feeds the stream in reads of `chunk` bytes (0: all at once). */
std::vector<bytes> parse(const bytes &stream, size_t chunk = 0, fpga_rx *rx_out = nullptr)
{
    fpga_rx rx;
    fpga_rx_init(&rx);
    collected got;
    if (chunk == 0) chunk = stream.size() ? stream.size() : 1;
    for (size_t at = 0; at < stream.size(); at += chunk) {
        size_t n = std::min(chunk, stream.size() - at);
        fpga_rx_feed(&rx, stream.data() + at, n, 0, collect, &got);
    }
    if (rx_out != nullptr) *rx_out = rx;
    return got.frames;
}

TEST(FpgaRx, FramesAreFoundWhereverTheyStart)
{
    const bytes version = from_core(0x0104, cat({{0x00}, text_bytes("v1.2.3-rc")}));
    const bytes bright = from_core(0xDD00, {0x00});
    bytes bad_tail = bright;
    bad_tail[bad_tail.size() - 1] = 0x00;
    const bytes huge_len = {0x55, 0xFF, 0x01, 0x02};

    const struct {
        const char *what;
        bytes stream;
        std::vector<bytes> frames;
    } rows[] = {
        {"one frame", version, {version}},
        {"55 55 04 ...: the frame starts at the second 0x55", cat({{0x55}, bright}), {bright}},
        {"noise before", cat({{0x00, 0x13, 0xAA, 0xEB}, bright}), {bright}},
        {"two frames in one read", cat({version, bright}), {version, bright}},
        {"many frames in one read",
         cat({bright, bright, bright, bright, bright, bright, bright, bright, bright, bright, bright, bright}),
         std::vector<bytes>(12, bright)},
        {"wrong tail, then a frame", cat({bad_tail, bright}), {bright}},
        {"a length longer than the ring, then a frame", cat({huge_len, bright}), {bright}},
        {"frame at the end of a long read", cat({bytes(300, 0x00), bright}), {bright}},
        {"a bad checksum still comes out whole (the handler drops it)",
         [&] {
             bytes f = version;
             f[f.size() - 3] ^= 0x5A;
             return f;
         }(),
         {[&] {
             bytes f = version;
             f[f.size() - 3] ^= 0x5A;
             return f;
         }()}},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(parse(r.stream), r.frames) << r.what;
        EXPECT_EQ(parse(r.stream, 1), r.frames) << r.what << ", byte by byte";
        EXPECT_EQ(parse(r.stream, 7), r.frames) << r.what << ", in reads of 7";
    }
}

TEST(FpgaRx, APartialFrameIsDroppedAfterASilenceOnTheLine)
{
    /* Reads as the line delivers them, each at its time in ms; an empty
     * read is a quiet poll. */
    struct read_at {
        uint64_t ms;
        bytes data;
    };
    const bytes version = from_core(0x0104, cat({{0x00}, text_bytes("v1.2.3-rc")}));
    const bytes head(version.begin(), version.begin() + 6), rest(version.begin() + 6, version.end());
    const bytes bright = from_core(0xDD00, {0x00});
    const struct {
        const char *what;
        std::vector<read_at> line;
        std::vector<bytes> frames;
    } rows[] = {
        {"a stray start byte and a length, then a frame", {{0, {0x55, 0x40}}, {100, bright}}, {bright}},
        {"a lone stray start byte, then a frame", {{0, {0x55}}, {100, bright}}, {bright}},
        {"a garbage tail ending in a start byte and a length", {{0, {0x00, 0x13, 0x55, 0xF0}}, {60, bright}}, {bright}},
        {"a torn frame, then the frame again", {{0, head}, {50, version}}, {version}},
        {"a frame behind a stray start byte is taken when the line goes quiet",
         {{0, cat({{0x55, 0x30}, bright})}, {100, {}}},
         {bright}},
        {"a frame whose halves come 49 ms apart is whole", {{0, head}, {49, rest}}, {version}},
        {"a frame whose halves come 50 ms apart is torn", {{0, head}, {50, rest}, {300, bright}}, {bright}},
        {"a quiet poll within the bound keeps a partial frame", {{0, head}, {30, {}}, {45, rest}}, {version}},
        {"a quiet poll past the bound tears it", {{0, head}, {60, {}}, {70, rest}, {200, bright}}, {bright}},
    };
    for (const auto &r : rows) {
        fpga_rx rx;
        fpga_rx_init(&rx);
        collected got;
        for (const read_at &at : r.line) fpga_rx_feed(&rx, at.data.data(), at.data.size(), at.ms, collect, &got);
        EXPECT_EQ(got.frames, r.frames) << r.what;
    }
}

TEST(FpgaRx, AHeldFrameIsTakenAsSoonAsItsLastByteArrives)
{
    const bytes bright = from_core(0xDC00, {0x00});
    fpga_rx rx;
    fpga_rx_init(&rx);
    collected got;
    fpga_rx_feed(&rx, bright.data(), bright.size() - 1, 0, collect, &got);
    EXPECT_TRUE(got.frames.empty());
    fpga_rx_feed(&rx, bright.data() + bright.size() - 1, 1, 0, collect, &got);
    ASSERT_EQ(got.frames.size(), 1u);
    EXPECT_EQ(rx.count, 0u);
}

TEST(FpgaRx, LongestFrameThatFitsIsTaken)
{
    /* LEN 252: 256 bytes, the whole ring. */
    const bytes big = from_core(0x0102, cat({{0x00}, bytes(248, 'x')}));
    ASSERT_EQ(big.size(), 256u);
    EXPECT_EQ(parse(big), std::vector<bytes>{big});
    EXPECT_EQ(parse(cat({bytes(100, 0x01), big}), 64), std::vector<bytes>{big});
}

TEST(FpgaRx, TextsStopBeforeTheChecksum)
{
    const bytes pn = from_core(0x0102, cat({{0x00}, text_bytes("PN-42")}));
    const bytes first = from_core(0x00CE, cat({{0x00, 0x01}, text_bytes("fw7.1")}));
    const bytes bare = {0x55, 0x03, 0x01, 0x04, 0x5D, 0xEB, 0xAA}; /* LEN 3: no byte for text */
    const struct {
        const char *what;
        bytes frame;
        size_t from;
        std::string text;
    } rows[] = {
        {"part number from offset 5", pn, 5, "PN-42"}, {"first version from offset 6", first, 6, "fw7.1"},
        {"length below 4, from 5", bare, 5, ""},       {"length below 4, from 6", bare, 6, ""},
        {"nothing past the end", pn, 200, ""},
    };
    for (const auto &r : rows) {
        const fpga_rx_frame f = {r.frame.data(), r.frame.size()};
        char out[64];
        memset(out, 0x7F, sizeof out);
        size_t n = fpga_rx_text(&f, r.from, out, sizeof out);
        EXPECT_EQ(std::string(out), r.text) << r.what;
        EXPECT_EQ(n, r.text.size()) << r.what;
    }
    const fpga_rx_frame f = {pn.data(), pn.size()};
    char small[3];
    EXPECT_EQ(fpga_rx_text(&f, 5, small, sizeof small), 2u);
    EXPECT_STREQ(small, "PN");
}

TEST(FpgaRx, CommandAndChecksumOfATakenFrame)
{
    const bytes bright = from_core(0xDD00, {0x00});
    fpga_rx_frame f = {bright.data(), bright.size()};
    EXPECT_EQ(fpga_rx_command(&f), 0xDD00);
    EXPECT_EQ(fpga_rx_sound(&f), 1);
    bytes bad = bright;
    bad[4] ^= 1;
    f = {bad.data(), bad.size()};
    EXPECT_EQ(fpga_rx_sound(&f), 0);
    const bytes too_short = {0x55, 0x01, 0x56, 0xEB, 0xAA};
    f = {too_short.data(), too_short.size()};
    EXPECT_EQ(fpga_rx_command(&f), -1);
}

} // namespace
