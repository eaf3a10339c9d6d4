#include "vesk_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> frame_of(std::vector<uint8_t> body)
{
    // body holds bytes 0..size-4; append checksum and trailer.
    body.resize(body.size() + 3);
    vesk_frame_seal(body.data(), body.size());
    return body;
}

TEST(Frame, ChecksumCoversHeaderAndLengthButNotItsOwnByteOrTrailer)
{
    // Shot-video-ready report: AA 06 1C 08 FF 80 CHK EB AA.
    std::vector<uint8_t> f = {0xAA, 0x06, 0x1C, 0x08, 0xFF, 0x80, 0x00, 0xEB, 0xAA};
    EXPECT_EQ(msg_check_num(f.data(), f.size()), (uint8_t)(0xAA + 0x06 + 0x1C + 0x08 + 0xFF + 0x80));
    f[6] = 0x55;
    f[7] = 0x00;
    f[8] = 0x00;
    EXPECT_EQ(msg_check_num(f.data(), f.size()), (uint8_t)(0xAA + 0x06 + 0x1C + 0x08 + 0xFF + 0x80));
}

struct SizeCase {
    const char *what;
    size_t size;
    int len_byte_delta; // byte 1 = size - 3 + delta
    int valid;
};

TEST(Frame, SizeValidity)
{
    const SizeCase cases[] = {
        {"empty payload", 9, 0, 1},
        {"one byte payload", 10, 0, 1},
        {"largest a length byte describes", 258, 0, 1},
        {"too short", 8, 0, 0},
        {"too long", 513, 0, 0},
        {"length byte one short", 12, -1, 0},
        {"length byte one long", 12, +1, 0},
    };
    for (const SizeCase &c : cases) {
        std::vector<uint8_t> f(c.size + 1, 0);
        f[0] = 0xAA;
        f[1] = (uint8_t)((int)c.size - 3 + c.len_byte_delta);
        EXPECT_EQ(vesk_control_size_valid(f.data(), c.size) != 0, c.valid != 0) << c.what;
    }
    EXPECT_EQ(vesk_control_size_valid(nullptr, 9), 0);
}

TEST(Frame, BuildLaysOutHeaderPayloadAndSeal)
{
    uint8_t out[32];
    const uint8_t key = 0x21;
    size_t n = vesk_frame_build(out, sizeof out, SUB_NOTIFIER_KEY, 0, 0, VESK_FRAME_FLAG_REPORT, &key, 1);
    std::vector<uint8_t> expect = frame_of({0xAA, 0x07, 0x07, 0x00, 0x00, 0x80, 0x21});
    ASSERT_EQ(n, expect.size());
    EXPECT_EQ(std::vector<uint8_t>(out, out + n), expect);
    EXPECT_TRUE(vesk_control_size_valid(out, n));
}

TEST(Frame, BuildRefusesWhatTheLengthByteCannotDescribeOrTheBufferCannotHold)
{
    std::vector<uint8_t> payload(300, 0x11), out(600);
    EXPECT_EQ(vesk_frame_build(out.data(), out.size(), 27, 0, 0, 0, payload.data(), 249), 258u);
    EXPECT_EQ(vesk_frame_build(out.data(), out.size(), 27, 0, 0, 0, payload.data(), 250), 0u);
    EXPECT_EQ(vesk_frame_build(out.data(), 9, 27, 0, 0, 0, payload.data(), 1), 0u);
    EXPECT_EQ(vesk_frame_build(out.data(), out.size(), 27, 0, 0, 0, nullptr, 4), 0u);
}

TEST(Frame, LittleEndianFieldsRoundTrip)
{
    uint8_t b[4];
    vesk_put_u16(b, 0xBEEF);
    EXPECT_EQ(b[0], 0xEF);
    EXPECT_EQ(vesk_get_u16(b), 0xBEEF);
    vesk_put_u32(b, 0x01020304u);
    EXPECT_EQ(b[0], 0x04);
    EXPECT_EQ(vesk_get_u32(b), 0x01020304u);
    vesk_put_f32(b, 1.0f);
    EXPECT_EQ(b[3], 0x3F);
    EXPECT_EQ(b[2], 0x80);
    EXPECT_EQ(vesk_get_f32(b), 1.0f);
}

} // namespace
