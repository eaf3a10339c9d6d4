// The dynamic-coefficient frames, against the calculator build this test is
// linked with: the full one (extended entry present) or the basic one.
#include <errno.h>
#include <gtest/gtest.h>

#include <vector>

#include "ballistic_dynamic_bc.h"
#include "ballistic_fbc.h"
#include "qel_dev_status.h"

#ifdef FBC_EXPECT_UNSUPPORTED
const int kUnsupported = 1;
#else
const int kUnsupported = 0;
#endif

// The INI key "qeldevstatus:vesk_dynamic_bc", the quiet sender and the
// debug switch, as this test keeps them.
enum KeyState { ABSENT, OFF, ON };
static KeyState g_key = ABSENT;
static int g_store_fails;
static int g_sets;
static std::vector<std::vector<uint8_t>> g_sent;

int vesk_dynamic_bc_get(void) { return g_key == OFF ? 0 : 1; }
int vesk_dynamic_bc_set(int value)
{
    g_sets++;
    if (g_store_fails) return -EIO;
    g_key = value ? ON : OFF;
    return 0;
}
int vesk_debug_enabled(void) { return 0; }
/* The recalculation this switch raises never asks for the profiles. */
void vesk_profiles_lock(void) { ADD_FAILURE() << "profiles lock taken"; }
void vesk_profiles_unlock(void) {}
int vesk_msg_send_quiet(int target, const uint8_t *frame, uint32_t length)
{
    EXPECT_EQ(0, target) << "the reply goes to the GUI";
    g_sent.emplace_back(frame, frame + length);
    return 0;
}

namespace {

uint8_t sum(const std::vector<uint8_t> &f, size_t n)
{
    unsigned s = 0;
    for (size_t i = 0; i < n; i++) s += f[i];
    return (uint8_t)s;
}

std::vector<uint8_t> request(uint8_t value)
{
    std::vector<uint8_t> f = {0xAA, 0x07, 0x00, 0x00, 0x2B, 0x00, value, 0, 0xEB, 0xAA};
    f[7] = sum(f, 7);
    return f;
}

std::vector<uint8_t> reply(uint8_t value, uint8_t unsupported)
{
    std::vector<uint8_t> f = {0xAA, 0x08, 0x00, 0x00, 0x2B, 0x80, value, unsupported, 0, 0xEB, 0xAA};
    f[8] = sum(f, 8);
    return f;
}

struct Row {
    const char *name;
    KeyState key;
    int store_fails;
    std::vector<uint8_t> frame;
    int consumed;
    int replied;     // a reply is expected
    int reply_value; // its value byte
    KeyState key_after;
    int refresh; // ballistics_refresh raised
};

std::vector<Row> rows()
{
    std::vector<uint8_t> bad_sum = request(1), short_frame = request(1), long_frame = request(1),
                         other_item = request(1), report = request(1);
    bad_sum[7] ^= 1;
    short_frame.pop_back();
    long_frame.push_back(0xAA);
    other_item[4] = 0x2A;
    report[5] = 0x80;
    report[7] = sum(report, 7);
    const bool s = !kUnsupported;
    return {
        {"query, key 0", OFF, 0, request(255), 1, 1, 0, OFF, 0},
        {"query, key absent", ABSENT, 0, request(255), 1, 1, 1, ABSENT, 0},
        {"on while read as on", ABSENT, 0, request(1), 1, 1, 1, ABSENT, 0},
        {"off while on", ABSENT, 0, request(0), 1, 1, s ? 0 : 1, s ? OFF : ABSENT, s},
        {"on while off", OFF, 0, request(1), 1, 1, s ? 1 : 0, s ? ON : OFF, s},
        {"off while off", OFF, 0, request(0), 1, 1, 0, OFF, 0},
        {"store fails", ON, 1, request(0), 1, 1, 1, ON, 0},
        {"value 2", OFF, 0, request(2), 1, 0, 0, OFF, 0},
        {"wrong checksum", OFF, 0, bad_sum, 1, 0, 0, OFF, 0},
        {"nine bytes", OFF, 0, short_frame, 1, 0, 0, OFF, 0},
        {"eleven bytes", OFF, 0, long_frame, 1, 0, 0, OFF, 0},
        {"report flag", OFF, 0, report, 1, 0, 0, OFF, 0},
        {"another item", OFF, 0, other_item, 0, 0, 0, OFF, 0},
        {"four bytes", OFF, 0, {0xAA, 0x07, 0x00, 0x00}, 0, 0, 0, OFF, 0},
    };
}

TEST(BallisticDynamicBc, RequestsAndReplies)
{
    EXPECT_EQ(!kUnsupported, vesk_dynamic_bc_supported());
    for (const Row &r : rows()) {
        SCOPED_TRACE(r.name);
        g_key = r.key;
        g_store_fails = r.store_fails;
        g_sets = 0;
        g_sent.clear();
        qel_dev_status.ballistics_refresh = 0;
        EXPECT_EQ(r.consumed, vesk_dynamic_bc_handle_ui(r.frame.data(), r.frame.size()));
        if (r.replied) {
            ASSERT_EQ(1u, g_sent.size());
            EXPECT_EQ(reply((uint8_t)r.reply_value, (uint8_t)kUnsupported), g_sent[0]);
        } else {
            EXPECT_TRUE(g_sent.empty());
        }
        EXPECT_EQ(r.key_after, g_key);
        EXPECT_EQ(r.refresh, qel_dev_status.ballistics_refresh);
        if (kUnsupported) {
            EXPECT_EQ(0, g_sets) << "an unsupported library changes nothing";
        }
    }
    EXPECT_EQ(0, vesk_dynamic_bc_handle_ui(nullptr, 10));
}

TEST(BallisticDynamicBc, PublishedUnasked)
{
    g_sent.clear();
    g_key = OFF;
    vesk_dynamic_bc_publish();
    ASSERT_EQ(1u, g_sent.size());
    EXPECT_EQ(reply(0, (uint8_t)kUnsupported), g_sent[0]);
}

} // namespace
