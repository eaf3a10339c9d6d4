// The worker's queue rules and the outbox's coalescing, case by case.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vesk_lrf_worker.h"

namespace {

vesk_lrf_event ev(vesk_lrf_ev_kind kind, uint8_t tag = 0)
{
    vesk_lrf_event e;
    memset(&e, 0, sizeof e);
    e.kind = kind;
    e.settings.target = tag; /* tells copies of one kind apart */
    return e;
}

class LrfQueue : public ::testing::Test {
protected:
    vesk_lrf_worker w;
    void SetUp() override { memset(&w, 0, sizeof w); }
    vesk_lrf_queue_result post(vesk_lrf_ev_kind kind, uint8_t tag = 0)
    {
        vesk_lrf_event e = ev(kind, tag);
        return vesk_lrf_queue_event(&w, &e);
    }
    /* "kind/tag" of every queued event, oldest first, without taking them. */
    std::string dump()
    {
        std::string s;
        for (size_t i = 0; i < w.queue_count; i++) {
            const vesk_lrf_event &e = w.queue[(w.queue_head + i) % VESK_LRF_QUEUE_CAP];
            s += (i ? " " : "") + std::to_string(e.kind) + "/" + std::to_string(e.settings.target);
        }
        return s;
    }
};

TEST_F(LrfQueue, ReserveDropsRequestsButNeverAStop)
{
    for (int i = 0; i < 12; i++) ASSERT_EQ(post(VESK_LRF_EV_FRAME), VESK_LRF_QUEUED) << i;
    EXPECT_EQ(post(VESK_LRF_EV_REQ_SINGLE), VESK_LRF_DROPPED_RESERVE);
    EXPECT_EQ(post(VESK_LRF_EV_REQ_STOP_CANCEL), VESK_LRF_QUEUED);
    EXPECT_EQ(post(VESK_LRF_EV_REQ_SETTINGS), VESK_LRF_QUEUED);
    EXPECT_EQ(w.queue_count, 14u);
    /* Critical events may use the reserve up to the last slot. */
    vesk_lrf_worker full;
    memset(&full, 0, sizeof full);
    for (int i = 0; i < 16; i++) {
        vesk_lrf_event e = ev(VESK_LRF_EV_FRAME);
        full.queue[i] = e;
    }
    full.queue_count = 16;
    vesk_lrf_event stop = ev(VESK_LRF_EV_REQ_STOP_ACCEPT);
    EXPECT_EQ(vesk_lrf_queue_event(&full, &stop), VESK_LRF_DROPPED_FULL);
}

TEST_F(LrfQueue, ANewStopReplacesTheOldAndClearsRequestsBehindIt)
{
    post(VESK_LRF_EV_FRAME, 1);
    post(VESK_LRF_EV_REQ_STOP_CANCEL, 2);
    post(VESK_LRF_EV_REQ_SINGLE, 3);
    post(VESK_LRF_EV_FRAME, 4);
    post(VESK_LRF_EV_REQ_SCAN, 5);
    post(VESK_LRF_EV_REQ_SINGLE, 6);
    EXPECT_EQ(post(VESK_LRF_EV_REQ_STOP_ACCEPT, 7), VESK_LRF_REPLACED);
    EXPECT_EQ(dump(), "7/1 2/7 7/4");
    EXPECT_EQ(w.queue_head, 0u) << "the ring restarts at slot 0";
    EXPECT_EQ(w.queue_tail, 3u);
    post(VESK_LRF_EV_REQ_SINGLE, 8);
    EXPECT_EQ(dump(), "7/1 2/7 7/4 0/8");
}

TEST_F(LrfQueue, CompactionKeepsOrderAcrossTheRingEnd)
{
    /* Start the ring near its end so the queued events wrap. */
    w.queue_head = w.queue_tail = 14;
    post(VESK_LRF_EV_REQ_SINGLE, 1);
    post(VESK_LRF_EV_REQ_STOP_CANCEL, 2);
    post(VESK_LRF_EV_REQ_SCAN, 3);
    post(VESK_LRF_EV_FRAME, 4);
    post(VESK_LRF_EV_REQ_STOP_CANCEL, 5);
    EXPECT_EQ(dump(), "0/1 3/5 7/4");
    vesk_lrf_event out;
    ASSERT_EQ(vesk_lrf_queue_take(&w, &out), 1);
    EXPECT_EQ(out.kind, VESK_LRF_EV_REQ_SINGLE);
}

TEST_F(LrfQueue, SettingsReplaceInPlaceAndOtherKindsAppend)
{
    post(VESK_LRF_EV_REQ_SETTINGS, 1);
    post(VESK_LRF_EV_REQ_SINGLE, 2);
    EXPECT_EQ(post(VESK_LRF_EV_REQ_SETTINGS, 3), VESK_LRF_REPLACED);
    EXPECT_EQ(dump(), "4/3 0/2") << "a settings event removes no request";
    post(VESK_LRF_EV_REQ_SETTINGS_QUERY, 4);
    post(VESK_LRF_EV_REQ_SETTINGS_QUERY, 5);
    EXPECT_EQ(dump(), "4/3 0/2 5/4 5/5");
    vesk_lrf_event out;
    for (int i = 0; i < 4; i++) ASSERT_EQ(vesk_lrf_queue_take(&w, &out), 1);
    EXPECT_EQ(vesk_lrf_queue_take(&w, &out), 0);
}

class LrfOutbox : public ::testing::Test {
protected:
    vesk_lrf_ui_outbox box;
    void SetUp() override { memset(&box, 0, sizeof box); }
    int put(std::vector<uint8_t> p) { return vesk_lrf_outbox_queue(&box, p.data(), p.size()); }
    static std::vector<uint8_t> state(uint8_t wire, uint8_t reason) { return {4, 0, 0xFF, wire, reason}; }
    static std::vector<uint8_t> result(uint8_t status, uint8_t session)
    {
        std::vector<uint8_t> r(19, 0);
        r[0] = 4;
        r[1] = 2;
        r[2] = 0xFF;
        r[3] = status;
        r[4] = session;
        return r;
    }
    std::string dump()
    {
        std::string s;
        for (size_t i = 0; i < box.queue_count; i++) {
            const vesk_lrf_ui_msg &m = box.queue[(box.queue_head + i) % VESK_LRF_QUEUE_CAP];
            char b[32];
            snprintf(b, sizeof b, "%s%u:%u:%u", i ? " " : "", m.bytes[1], m.bytes[3], m.len > 4 ? m.bytes[4] : 0);
            s += b;
        }
        return s;
    }
};

TEST_F(LrfOutbox, StateAndSettingsKeepOnlyTheLatest)
{
    put(state(1, 0));
    put(result(0, 0));
    put(state(2, 0));
    put(state(0, 7));
    put({4, 8, 0xFF, 1, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    put({4, 8, 0xFF, 3, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(dump(), "0:0:7 2:0:0 8:3:0");
}

TEST_F(LrfOutbox, AFullBoxEvictsAScanReadingFirst)
{
    put(result(0, 0));
    put(result(0, 0x81)); /* a stored set re-sent: not a passing reading */
    put(result(0, 1));
    for (int i = 0; i < 13; i++) put({4, 7, 0xFF, (uint8_t)i});
    ASSERT_EQ(box.queue_count, 16u);
    EXPECT_EQ(put(result(1, 0)), 2);
    EXPECT_EQ(dump().substr(0, 17), "2:0:0 2:0:129 7:0");
    EXPECT_EQ(put(result(4, 0)), 2) << "then the first result";
    EXPECT_EQ(dump().substr(0, 9), "2:0:129 7");
    put(result(4, 0));
    put(result(4, 0));
    /* No result left ahead of the others: only results remain evictable. */
    EXPECT_EQ(box.queue_count, 16u);
}

TEST_F(LrfOutbox, WithoutResultsTheOldestGoes)
{
    for (int i = 0; i < 16; i++) put({4, 7, 0xFF, (uint8_t)i});
    EXPECT_EQ(put({4, 7, 0xFF, 99}), 7);
    EXPECT_EQ(dump().substr(0, 5), "7:1:0");
    vesk_lrf_ui_msg m;
    ASSERT_EQ(vesk_lrf_outbox_take(&box, &m), 1);
    EXPECT_EQ(m.bytes[3], 1);
    std::vector<uint8_t> longer(30, 4);
    put(longer);
    EXPECT_EQ(box.queue[(box.queue_head + box.queue_count - 1) % 16].len, 24) << "cut to 24 bytes";
}

} // namespace
