// The media peer's replay against hand-made requests as sightd relays them:
// the length of a fixture video, positions up to its end, a seek, and the
// name cut to the 24 bytes the request carries.
#include "media_replay.h"

#include "app_queues.h"

#include <gtest/gtest.h>
#include <string.h>

#include <fstream>

namespace {

uint64_t le64(const std::vector<uint8_t> &f, size_t at)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--) v = v << 8 | f[at + (size_t)i];
    return v;
}

class MediaReplay : public AppQueues {
protected:
    void SetUp() override
    {
        AppQueues::SetUp();
        if (HasFatalFailure()) return;
        peer = sim_peer_start(SIM_PEER_MEDIA, nullptr);
        ASSERT_NE(peer, nullptr);
        replay = sim_media_replay_start(peer, dir + "/");
        ASSERT_NE(replay, nullptr);
    }
    void TearDown() override
    {
        sim_media_replay_stop(replay);
        sim_peer_stop(peer);
        AppQueues::TearDown();
    }
    void video(const std::string &name, const std::string &text) { std::ofstream(dir + "/" + name) << text; }
    /* A replay request as sightd passes the GUI's on (type 32, mtype 3). */
    void request(uint8_t item, const std::vector<uint8_t> &payload)
    {
        app_send(3, 32, sim_frame(23, 1, item, 0x00, payload));
    }
    void replay_op(uint8_t op, const std::string &name = "")
    {
        std::vector<uint8_t> p(25, 0);
        p[0] = op;
        memcpy(&p[1], name.data(), std::min<size_t>(name.size(), 24));
        request(1, p);
    }
    /* The next report the peer sent sightd (type 17), within the deadline. */
    bool report(std::vector<uint8_t> *frame, int timeout_ms = 5000)
    {
        raw_record r;
        if (!app_receive(&r, timeout_ms)) return false;
        EXPECT_EQ(r.type, 17);
        frame->assign(r.frame, r.frame + r.length);
        EXPECT_TRUE(sim_frame_sound(*frame));
        return true;
    }
    sim_peer *peer = nullptr;
    sim_media_replay *replay = nullptr;
};

} // namespace

TEST_F(MediaReplay, LengthOfAFixtureAndOfAnyOtherFile)
{
    video("a.mp4", sim_media_fixture_video(1234, 300));
    video("b.mp4", "not a fixture");
    replay_op(4, "a.mp4");
    std::vector<uint8_t> f;
    ASSERT_TRUE(report(&f));
    ASSERT_EQ(f.size(), 19u);
    EXPECT_EQ(f[2], 23);
    EXPECT_EQ(f[4], 4);
    EXPECT_EQ(f[5], 0x80);
    EXPECT_EQ(le64(f, 6), 1234u);
    EXPECT_EQ(f[14] | f[15] << 8, 300);
    replay_op(4, "b.mp4");
    ASSERT_TRUE(report(&f));
    EXPECT_EQ(le64(f, 6), 300u);
}

TEST_F(MediaReplay, PlaysToTheEndAndSeeks)
{
    /* 40 frames at 30 a second; a long name, cut to 24 bytes. */
    std::string name = "VID_20261210_120000_long_name.mp4";
    video(name, sim_media_fixture_video(40, 300));
    replay_op(3, name);
    std::vector<uint8_t> f;
    ASSERT_TRUE(report(&f));
    EXPECT_EQ(f[4], 4);
    EXPECT_EQ(le64(f, 6), 40u);
    uint64_t last = 0;
    bool saw_end = false;
    while (!saw_end && report(&f)) {
        ASSERT_EQ(f[4], 2);
        uint64_t at = le64(f, 6);
        EXPECT_GE(at, last);
        last = at;
        saw_end = at == 40;
    }
    EXPECT_TRUE(saw_end);
    request(3, {20, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(report(&f));
    EXPECT_EQ(f[4], 2);
    EXPECT_EQ(le64(f, 6), 20u);
}
