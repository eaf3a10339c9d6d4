// The peers against hand-made records on queues of a private IPC namespace.
#include "sim_peer.h"

#include "app_queues.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

using SimPeerTest = AppQueues;

TEST(SimFrame, BuildsAndChecksFrames)
{
    /* The shot-video-ready frame and a key event as the frame layout gives them. */
    EXPECT_EQ(sim_frame(0x1C, 0x08, 0xFF, 0x80),
              (std::vector<uint8_t>{0xAA, 0x06, 0x1C, 0x08, 0xFF, 0x80, 0x53, 0xEB, 0xAA}));
    auto key = sim_frame(7, 0, 0, 0x80, {35});
    EXPECT_EQ(key.size(), 10u);
    EXPECT_EQ(key[7], (uint8_t)(0xAA + 7 + 7 + 0x80 + 35));
    EXPECT_TRUE(sim_frame_sound(key));
    struct {
        size_t at;
        uint8_t value;
    } faults[] = {{0, 0xAB}, {1, 8}, {7, 0}, {8, 0xEA}, {9, 0xAB}};
    for (auto f : faults) {
        auto bad = key;
        bad[f.at] = f.value;
        EXPECT_FALSE(sim_frame_sound(bad)) << "byte " << f.at;
    }
}

TEST(SimFrame, ParsesTxLines)
{
    sim_peer_tx tx;
    ASSERT_TRUE(sim_peer_parse_tx_line("AA 06 1C 08 FF 80 9D EB AA", &tx));
    EXPECT_EQ(tx.type, -1);
    EXPECT_EQ(tx.frame.size(), 9u);
    ASSERT_TRUE(sim_peer_parse_tx_line("type=48 length=513 AA06", &tx));
    EXPECT_EQ(tx.type, 48);
    EXPECT_EQ(tx.length, 513);
    EXPECT_EQ(tx.frame, (std::vector<uint8_t>{0xAA, 0x06}));
    EXPECT_FALSE(sim_peer_parse_tx_line("AA0", &tx));
    EXPECT_FALSE(sim_peer_parse_tx_line("type=300 AA", &tx));
}

TEST_F(SimPeerTest, EachRoleDrainsOnlyItsOwnType)
{
    sim_peer *peers[4];
    for (int r = 0; r < 4; r++) ASSERT_NE(peers[r] = sim_peer_start((sim_peer_role)r, dir.c_str()), nullptr);
    const struct {
        sim_peer_role role;
        long mtype;
        uint8_t type;
    } rows[] = {{SIM_PEER_MEDIA, 3, 32}, {SIM_PEER_HTTP, 6, 48}, {SIM_PEER_BLE, 7, 64}, {SIM_PEER_GUI, 4, 33}};
    for (auto row : rows) app_send(row.mtype, row.type, sim_frame(8, 0, 0, 0x80, {(uint8_t)row.mtype}));
    for (auto row : rows) {
        sim_peer *p = peers[row.role];
        ASSERT_TRUE(sim_peer_wait(p, 1, 2000)) << sim_peer_role_name(row.role);
        usleep(20000);
        auto got = sim_peer_received(p);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].type, row.type);
        EXPECT_EQ(got[0].length, 10u);
        EXPECT_EQ(got[0].frame[6], row.mtype);
    }
    for (auto p : peers) sim_peer_stop(p);
    /* The files hold the same, one line per record. */
    auto logged = sim_peer_read_log(dir + "/gui.rx");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].type, 33u);
    EXPECT_EQ(logged[0].frame, sim_frame(8, 0, 0, 0x80, {4}));
}

TEST_F(SimPeerTest, DrainsMoreThanTheQueueHolds)
{
    /* About 31 records fill a queue; a peer that drains keeps them flowing. */
    sim_peer *media = sim_peer_start(SIM_PEER_MEDIA, nullptr);
    ASSERT_NE(media, nullptr);
    for (int i = 0; i < 200; i++) {
        raw_record r;
        memset(&r, 0, sizeof(r));
        r.mtype = 3;
        r.type = 32;
        r.length = 9;
        ASSERT_EQ(msgsnd(to_peers, &r, 520, 0), 0);
    }
    EXPECT_TRUE(sim_peer_wait(media, 200, 5000));
    sim_peer_stop(media);
}

TEST_F(SimPeerTest, SendsWithItsRoleTypeFromApiAndFifo)
{
    const struct {
        sim_peer_role role;
        uint8_t type;
        uint8_t command;
    } rows[] = {{SIM_PEER_MEDIA, 17, 0}, {SIM_PEER_HTTP, 49, 0}, {SIM_PEER_BLE, 65, 0}, {SIM_PEER_GUI, 1, 255}};
    for (auto row : rows) {
        sim_peer *p = sim_peer_start(row.role, dir.c_str());
        ASSERT_NE(p, nullptr);
        auto frame = sim_ble_wind(0x0123);
        ASSERT_EQ(sim_peer_send(p, frame), 0);
        raw_record r;
        ASSERT_TRUE(app_receive(&r, 1000));
        EXPECT_EQ(r.type, row.type);
        EXPECT_EQ(r.command, row.command);
        EXPECT_EQ(r.length, frame.size());
        EXPECT_EQ(std::vector<uint8_t>(r.frame, r.frame + r.length), frame);

        std::string fifo = dir + "/" + sim_peer_role_name(row.role) + ".tx";
        ASSERT_EQ(sim_peer_write_tx(fifo, sim_gui_ready()), 0);
        ASSERT_TRUE(app_receive(&r, 2000));
        EXPECT_EQ(r.type, row.type);
        EXPECT_EQ(std::vector<uint8_t>(r.frame, r.frame + r.length), sim_gui_ready());
        sim_peer_stop(p);
    }
}

TEST_F(SimPeerTest, FifoLineChoosesTypeAndLength)
{
    sim_peer *p = sim_peer_start(SIM_PEER_GUI, dir.c_str());
    ASSERT_NE(p, nullptr);
    std::ofstream(dir + "/gui.tx") << "type=64 length=513 AA0608000000B8EBAA\n";
    raw_record r;
    ASSERT_TRUE(app_receive(&r, 2000));
    EXPECT_EQ(r.type, 64);
    EXPECT_EQ(r.length, 513u);
    sim_peer_stop(p);
}

TEST_F(SimPeerTest, SurvivesTheQueueBeingRemoved)
{
    /* sightd removes both queues when it stops and makes them again on start. */
    sim_peer *gui = sim_peer_start(SIM_PEER_GUI, nullptr);
    ASSERT_NE(gui, nullptr);
    app_send(4, 33, sim_frame(8, 0, 0, 0x80));
    ASSERT_TRUE(sim_peer_wait(gui, 1, 2000));
    ASSERT_EQ(msgctl(to_peers, IPC_RMID, nullptr), 0);
    usleep(10000);
    to_peers = msgget(12345, IPC_CREAT | 0777);
    app_send(4, 33, sim_frame(8, 0, 1, 0x80));
    EXPECT_TRUE(sim_peer_wait(gui, 2, 2000));
    sim_peer_stop(gui);
}

} // namespace

/* ---- the sim-peer program, through its files only ---- */

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

bool wait_for_file(const std::string &path, int timeout_ms)
{
    for (int i = 0; i < timeout_ms; i++) {
        if (access(path.c_str(), F_OK) == 0) return true;
        usleep(1000);
    }
    return false;
}

TEST_F(SimPeerTest, ProgramSpeaksThroughPlainFiles)
{
    const char *argv[] = {SIM_PEER_PROGRAM, "--role", "media", "--dir", dir.c_str(), nullptr};
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, SIM_PEER_PROGRAM, nullptr, nullptr, (char **)argv, environ), 0);
    ASSERT_TRUE(wait_for_file(dir + "/media.ready", 5000));

    const auto sent = sim_frame(1, 1, 9, 0, {5, 0});
    app_send(3, 32, sent);
    std::vector<sim_peer_record> logged;
    for (int i = 0; i < 2000 && logged.empty(); i++) {
        usleep(1000);
        logged = sim_peer_read_log(dir + "/media.rx");
    }
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].type, 32u);
    EXPECT_EQ(logged[0].length, 11u);
    EXPECT_EQ(logged[0].frame, sent);

    ASSERT_EQ(sim_peer_write_tx(dir + "/media.tx", sim_media_video_ready()), 0);
    raw_record r;
    ASSERT_TRUE(app_receive(&r, 2000));
    EXPECT_EQ(r.type, 17);
    EXPECT_EQ(std::vector<uint8_t>(r.frame, r.frame + r.length), sim_media_video_ready());

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(SimPeerProgram, RefusesABadCommandLine)
{
    const char *argv[] = {SIM_PEER_PROGRAM, "--role", "printer", "--dir", "/tmp", nullptr};
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, SIM_PEER_PROGRAM, nullptr, nullptr, (char **)argv, environ), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
