// The tool's own reading of the scope's replies and its script lines,
// checked against bytes written out by hand from the line's layout.
#include "pc_tool.h"

#include <gtest/gtest.h>

namespace {

TEST(PcTool, RepliesAreCutOutOfNoise)
{
    /* 55 07 00 1A 00 81 05 FC EB AA: the identity probe's answer. */
    const pc_tool_bytes probe = {0x55, 0x07, 0x00, 0x1A, 0x00, 0x81, 0x05, 0xFC, 0xEB, 0xAA};
    pc_tool_bytes bad = probe;
    bad[7] = 0xFD;
    pc_tool_bytes line = {0x00, 0x55, 0x02};
    line.insert(line.end(), bad.begin(), bad.end());
    line.insert(line.end(), probe.begin(), probe.end());
    for (size_t piece : {(size_t)1, (size_t)4, line.size()}) {
        pc_tool_parser p;
        std::vector<pc_tool_reply> got;
        for (size_t at = 0; at < line.size(); at += piece)
            p.feed(line.data() + at, std::min(piece, line.size() - at), &got);
        ASSERT_EQ(got.size(), 1u) << piece;
        EXPECT_EQ(got[0].frame, probe);
        EXPECT_EQ(got[0].data, pc_tool_bytes{5});
        EXPECT_GT(p.stray, 0u);
    }
}

TEST(PcTool, RepliesLongerThan255BytesAreNotTaken)
{
    /* A reply-shaped run of 256 bytes (L 253), sound but for its length. */
    pc_tool_bytes big = {0x55, 253, 0x00, 0x1A, 0x01, 0x81};
    big.resize(253, 'A');
    unsigned sum = 0;
    for (uint8_t b : big) sum += b;
    big.push_back((uint8_t)sum);
    big.push_back(0xEB);
    big.push_back(0xAA);
    ASSERT_EQ(big.size(), 256u);
    pc_tool_parser p;
    std::vector<pc_tool_reply> got;
    p.feed(big.data(), big.size(), &got);
    EXPECT_TRUE(got.empty());
    EXPECT_GT(p.stray, 0u);
}

TEST(PcTool, ScriptLines)
{
    const struct {
        const char *line;
        pc_tool_bytes request;
        bool reply;
    } rows[] = {
        {"read probe", {0xCC, 0x07, 0x00, 0x1A, 0x00, 0x01, 0x00, 0xEE, 0xEB, 0xAA}, true},
        {"read sn", {0xCC, 0x06, 0x00, 0x1A, 0x01, 0x01, 0xEE, 0xEB, 0xAA}, true},
        {"read voltage", {0xCC, 0x06, 0x0F, 0x00, 0x00, 0x01, 0xE2, 0xEB, 0xAA}, true},
        {"write sn AB-1", {0xCC, 0x0A, 0x00, 0x1A, 0x01, 0x00, 'A', 'B', '-', '1', 0xD2, 0xEB, 0xAA}, false},
        {"write zero slant -2.5", {0xCC, 0x09, 0x06, 0x01, 0x03, 0x00, 0x01, 0x19, 0x00, 0xF9, 0xEB, 0xAA}, false},
        {"key 3", {0xCC, 0x07, 0x07, 0x00, 0x00, 0x00, 0x03, 0xDD, 0xEB, 0xAA}, false},
        {"send 0F 00 00 01", {0xCC, 0x06, 0x0F, 0x00, 0x00, 0x01, 0xE2, 0xEB, 0xAA}, true},
        {"raw CC 55", {0xCC, 0x55}, false},
        /* A reply is due where the scope answers, whatever the direction byte. */
        {"send 0F 00 00 00", {0xCC, 0x06, 0x0F, 0x00, 0x00, 0x00, 0xE1, 0xEB, 0xAA}, true},
        {"send 00 1A 00 00 00", {0xCC, 0x07, 0x00, 0x1A, 0x00, 0x00, 0x00, 0xED, 0xEB, 0xAA}, true},
        {"send 00 1A 01 00", {0xCC, 0x06, 0x00, 0x1A, 0x01, 0x00, 0xED, 0xEB, 0xAA}, false},
        {"send 00 23 07 01", {0xCC, 0x06, 0x00, 0x23, 0x07, 0x01, 0xFD, 0xEB, 0xAA}, true},
        {"send 16 09 03 01 00", {0xCC, 0x07, 0x16, 0x09, 0x03, 0x01, 0x00, 0xF6, 0xEB, 0xAA}, false},
        {"send 06 01 04 01", {0xCC, 0x06, 0x06, 0x01, 0x04, 0x01, 0xDE, 0xEB, 0xAA}, false},
        {"send 42 00 00 01", {0xCC, 0x06, 0x42, 0x00, 0x00, 0x01, 0x15, 0xEB, 0xAA}, false},
    };
    for (const auto &r : rows) {
        pc_tool_bytes req;
        bool reply = false;
        std::string why;
        ASSERT_TRUE(pc_tool_line(r.line, &req, &reply, &why)) << r.line << ": " << why;
        EXPECT_EQ(req, r.request) << r.line;
        EXPECT_EQ(reply, r.reply) << r.line;
    }
    for (const char *bad : {"", "read nothing", "key 300", "write date 2024-02-29", "send 1 2 3", "raw ZZ"}) {
        pc_tool_bytes req;
        bool reply;
        std::string why;
        EXPECT_FALSE(pc_tool_line(bad, &req, &reply, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

} // namespace
