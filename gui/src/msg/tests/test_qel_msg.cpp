// The queue client end to end in a private IPC namespace: sightd's records
// on queue 12345 reach the mirrors through the listener thread and the idle
// queue, in order; foreign or malformed records never do.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <functional>

#include "awtk_host.h"
#include "qel_msg.h"
#include "sightui_test.h"
#include "ui_status.h"

using namespace sightui_test;

namespace {

/* Pumps the GUI thread until done() or about ms have passed. */
bool pump_until(const std::function<bool()> &done, int ms = 2000)
{
    for (int i = 0; i < ms; i++) {
        awtk_test_pump();
        if (done()) return true;
        usleep(1000);
    }
    return false;
}

TEST(QueueClient, ReportsReachTheMirrorsInArrivalOrder)
{
    in_gui_child([] {
        start_queues();
        EventTap tap;
        for (int x = 1; x <= 40; x++) send_as_sightd(report(22, 3, 1, le16(x)));
        ASSERT_TRUE(pump_until([&] { return tap.seen.size() == 40; }));
        EXPECT_EQ(stDevStatus.s16ReticlePositionX, 40);
        EXPECT_EQ(tap.take(), std::vector<int>(40, 5));
    });
}

TEST(QueueClient, ForeignOrMalformedRecordsAreDroppedBeforeParsing)
{
    in_gui_child([] {
        start_queues();
        int q = msgget(MSGQ_KEY_TO_PEERS, 0);
        ASSERT_GE(q, 0);
        auto put = [&](uint8_t type, uint32_t length, const bytes &f) {
            Qel_MsgEvent ev;
            memset(&ev, 0, sizeof(ev));
            ev.msg_type = MSG_TYPE_FOR_QTMENU;
            ev.msg_text.type = type;
            ev.msg_text.length = length;
            memcpy(ev.msg_text.context, f.data(), f.size());
            ASSERT_EQ(msgsnd(q, &ev, MSGQ_TEXT_SIZE, IPC_NOWAIT), 0);
        };
        bytes good = report(0, 0, 14, {7});
        put(MSGQ_COMMAND_APP_TO_MEDIA, (uint32_t)good.size(), good);
        put(MSGQ_COMMAND_APP_TO_UI, 8, good);
        put(MSGQ_COMMAND_APP_TO_UI, 513, good);
        put(MSGQ_COMMAND_APP_TO_UI, (uint32_t)good.size() + 1, good);
        /* A marker behind them: once it is in, the others were dropped. */
        put(MSGQ_COMMAND_APP_TO_UI, 10, report(0, 0, 25, {1}));
        ASSERT_TRUE(pump_until([] { return stUIStatus.s8LightOverheat == 1; }));
        EXPECT_EQ(stUIStatus.Autoscreen, 0);
    });
}

TEST(QueueClient, ARecordLongerThanItsBufferDoesNotStopTheReports)
{
    in_gui_child([] {
        start_queues();
        int q = msgget(MSGQ_KEY_TO_PEERS, 0);
        ASSERT_GE(q, 0);
        /* A peer with another idea of the record: 600 bytes behind the mtype. */
        struct {
            long mtype;
            uint8_t text[600];
        } big;
        memset(&big, 0x55, sizeof(big));
        big.mtype = MSG_TYPE_FOR_QTMENU;
        ASSERT_EQ(msgsnd(q, &big, sizeof(big.text), IPC_NOWAIT), 0);
        send_as_sightd(report(0, 0, 14, {4}));
        ASSERT_TRUE(pump_until([] { return stUIStatus.Autoscreen == 4; }));
        send_as_sightd(report(0, 0, 14, {5}));
        EXPECT_TRUE(pump_until([] { return stUIStatus.Autoscreen == 5; }));
    });
}

TEST(QueueClient, CallbackTakesOnlyRecordsMeantForTheGui)
{
    in_gui_child([] {
        Qel_MsgText text;
        memset(&text, 0, sizeof(text));
        bytes f = report(0, 0, 14, {3});
        memcpy(text.context, f.data(), f.size());
        text.length = (uint32_t)f.size();
        text.type = MSGQ_COMMAND_APP_TO_MEDIA;
        msgEventCallback(&text, 0);
        msgEventCallback(NULL, 0);
        awtk_test_pump();
        EXPECT_EQ(stUIStatus.Autoscreen, 0);
        text.type = MSGQ_COMMAND_APP_TO_UI;
        msgEventCallback(&text, 0);
        awtk_test_pump();
        EXPECT_EQ(stUIStatus.Autoscreen, 3);
    });
}

TEST(QueueClient, TerminationSignalStopsTheReportsButNotTheProgram)
{
    in_gui_child([] {
        start_queues();
        send_as_sightd(report(0, 0, 14, {1}));
        ASSERT_TRUE(pump_until([] { return stUIStatus.Autoscreen == 1; }));
        /* Only the listener can take the signal: its receive is interrupted. */
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &term, NULL);
        kill(getpid(), SIGTERM);
        usleep(50000);
        send_as_sightd(report(0, 0, 14, {2}));
        EXPECT_FALSE(pump_until([] { return stUIStatus.Autoscreen == 2; }, 200));
        int q = msgget(MSGQ_KEY_TO_PEERS, 0);
        struct msqid_ds ds;
        ASSERT_EQ(msgctl(q, IPC_STAT, &ds), 0);
        EXPECT_EQ(ds.msg_qnum, 1u) << "the report stays queued";
    });
}

TEST(QueueClient, SendsAreMtypeFiveRecordsOnTheSightdQueue)
{
    in_gui_child([] {
        start_queues();
        bytes f = frame(8, 0, 0, 0, {0});
        ASSERT_EQ(Qel_SendMsgEvent(MSGQ_COMMAND_UI_TO_APP, 255, f.data(), (int)f.size()), 0);
        ASSERT_EQ(Qel_SendMsgEventQuiet(MSGQ_COMMAND_UI_TO_APP, 255, f.data(), (int)f.size()), 0);
        EXPECT_EQ(Qel_SendMsgEvent(MSGQ_COMMAND_UI_TO_APP, 255, f.data(), 513), -1);
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0], f);
        EXPECT_EQ(sent[1], f);
    });
}

TEST(QueueClient, DeinitRemovesBothQueues)
{
    in_gui_child([] {
        start_queues();
        EXPECT_EQ(Qel_DeinitMsgEvent(), 0);
        EXPECT_LT(msgget(MSGQ_KEY_TO_APP, 0), 0);
        EXPECT_LT(msgget(MSGQ_KEY_TO_PEERS, 0), 0);
    });
}

TEST(QueueClient, ListenerWithoutRecordReturnsAtOnce) { EXPECT_EQ(PthreadMsgEventListen(NULL), nullptr); }

TEST(FrameCheck, ChecksumCoversEverythingBeforeIt)
{
    bytes f = unhex("AA 06 1C 08 FF 80 00 EB AA");
    EXPECT_EQ(check_num(f.data(), (int)f.size()), (uint8_t)(0xAA + 0x06 + 0x1C + 0x08 + 0xFF + 0x80));
    f[6] = check_num(f.data(), (int)f.size());
    EXPECT_EQ(Protocol_parse(f.data(), (int)f.size()), 0);
    EXPECT_EQ(Protocol_parse(f.data(), -4), -1);
    EXPECT_EQ(Protocol_parse(NULL, 9), -1);
}

} // namespace
