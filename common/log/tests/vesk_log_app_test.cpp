// The app role running: barriers, the log socket as a GUI peer sees it,
// captured standard output and error, and the IPC trace. Each case runs in
// its own child with its own logger and folder.
#include "log_test_support.h"

#include <sys/socket.h>
#include <sys/un.h>

namespace {
using namespace vesk_log_test;

/* A packet laid out byte by byte from the wire description. */
std::string packet(uint16_t kind, uint16_t stream, uint64_t epoch, const std::string &line = "",
                   uint32_t magic = 0x5645534B, uint16_t version = 1, int32_t len_override = -1)
{
    std::string p(28, '\0');
    uint32_t len = len_override >= 0 ? (uint32_t)len_override : (uint32_t)line.size();
    memcpy(&p[0], &magic, 4);
    memcpy(&p[4], &version, 2);
    memcpy(&p[6], &kind, 2);
    memcpy(&p[8], &stream, 2);
    memcpy(&p[16], &epoch, 8);
    memcpy(&p[24], &len, 4);
    return p + line;
}

enum { CONTROL = 1, LINE = 2, CUTOFF = 3, CUTOFF_ACK = 4 };

/* The GUI side of the log socket, played by the test. */
struct FakeGui {
    int fd = -1;
    explicit FakeGui(const std::string &path)
    {
        fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        struct sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path.c_str());
        if (connect(fd, (const struct sockaddr *)&addr, sizeof(addr)) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~FakeGui()
    {
        if (fd >= 0) close(fd);
    }
    bool send_raw(const std::string &p) { return send(fd, p.data(), p.size(), MSG_NOSIGNAL) == (ssize_t)p.size(); }
    /* The next packet within timeout_ms, or an empty string. */
    std::string receive(int timeout_ms)
    {
        struct timeval tv = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
        char buf[9000];
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        return n > 0 ? std::string(buf, (size_t)n) : std::string();
    }
};

uint64_t u64_at(const std::string &p, size_t off)
{
    uint64_t v = 0;
    memcpy(&v, p.data() + off, 8);
    return v;
}

uint16_t u16_at(const std::string &p, size_t off)
{
    uint16_t v = 0;
    memcpy(&v, p.data() + off, 2);
    return v;
}

/* A FLUSH that the fake GUI acknowledges: everything it sent before is in. */
int flush_with(FakeGui &gui)
{
    uint64_t ticket = 0;
    int rc = vesk_log_request(VESK_LOG_FLUSH, vesk_mono_ms() + 3000, &ticket);
    if (rc != 0) return rc;
    std::string cutoff = gui.receive(2000);
    if (cutoff.size() != 28 || u64_at(cutoff, 16) != ticket) return -EPROTO;
    if (!gui.send_raw(packet(CUTOFF_ACK, 0, ticket))) return -EPIPE;
    while ((rc = vesk_log_poll(ticket)) == 0) usleep(2000);
    return rc;
}

/* Asks for a barrier and waits for its end; returns the final poll result. */
int barrier(vesk_log_barrier_kind kind, int timeout_ms = 3000)
{
    uint64_t ticket = 0;
    int rc = vesk_log_request(kind, vesk_mono_ms() + (uint64_t)timeout_ms, &ticket);
    if (rc != 0) return rc;
    while ((rc = vesk_log_poll(ticket)) == 0) usleep(2000);
    return rc;
}

vesk_log_stats stats()
{
    vesk_log_stats st;
    vesk_log_get_stats(&st);
    return st;
}

TEST(Barrier, RequestAndPollFollowTheTicketRules)
{
    TempDir dir;
    in_child([&] {
        uint64_t ticket = 0;
        EXPECT_EQ(vesk_log_request(VESK_LOG_FLUSH, 0, &ticket), -ENODEV);
        start_logger(dir, VESK_LOG_APP);
        EXPECT_EQ(vesk_log_request(VESK_LOG_FLUSH, 0, nullptr), -EINVAL);
        EXPECT_EQ(vesk_log_request((vesk_log_barrier_kind)3, 0, &ticket), -EINVAL);
        EXPECT_EQ(vesk_log_poll(0), -EINVAL);

        /* Held pending by a GUI that never acknowledges its cut-off. */
        FakeGui gui(dir / "log.sock");
        ASSERT_GE(gui.fd, 0);
        ASSERT_TRUE(eventually([] { return stats().vesk_peer_connected == 1; }));
        ASSERT_EQ(vesk_log_request(VESK_LOG_FLUSH, vesk_mono_ms() + 200, &ticket), 0);
        EXPECT_EQ(ticket, 1u);
        uint64_t second = 0;
        EXPECT_EQ(vesk_log_request(VESK_LOG_PAUSE_MEDIA, vesk_mono_ms() + 200, &second), -EBUSY);
        EXPECT_EQ(vesk_log_poll(ticket), 0);
        EXPECT_EQ(vesk_log_poll(ticket + 1), -ESTALE);
        ASSERT_TRUE(eventually([&] { return vesk_log_poll(ticket) != 0; }));
        EXPECT_EQ(vesk_log_poll(ticket), -ESTALE) << "the time-out ended it";

        /* A resume cancels a pending pause. */
        ASSERT_EQ(vesk_log_request(VESK_LOG_PAUSE_MEDIA, vesk_mono_ms() + 3000, &second), 0);
        EXPECT_EQ(second, 2u);
        EXPECT_EQ(vesk_log_poll(second), 0);
        vesk_log_resume_media();
        EXPECT_EQ(vesk_log_poll(second), -ESTALE);
        usleep(120 * 1000);
        EXPECT_EQ(stats().vesk_media_paused, 0);
        vesk_log_stop();
    });
}

TEST(Barrier, FlushMakesWhatWasLoggedDurableAndPauseHoldsTheFilesClosed)
{
    TempDir dir;
    in_child([&] {
        start_logger(dir, VESK_LOG_APP);
        ASSERT_EQ(vesk_debug_set(1), 0);
        vesk_log_printf(VESK_LOG_ERROR, "b.err", "before flush");
        vesk_log_printf(VESK_LOG_DETAIL, "b.det", "detail before flush");
        fprintf(stdout, "unfinished output");
        ASSERT_EQ(barrier(VESK_LOG_FLUSH), 1);
        EXPECT_EQ(lines_with(dir, "errors0.log", "before flush").size(), 1u);
        EXPECT_EQ(lines_with(dir, "app0.log", "detail before flush").size(), 1u);
        std::vector<std::string> out = lines_with(dir, "app0.log", "unfinished output");
        ASSERT_EQ(out.size(), 1u) << "a barrier flushes the stitch at once";
        EXPECT_EQ(field_of(out[0], "flags"), "partial");

        ASSERT_EQ(barrier(VESK_LOG_PAUSE_MEDIA), 1);
        EXPECT_EQ(stats().vesk_media_paused, 1);
        std::string errors = read_file(dir / "VeskLogs/errors0.log");
        std::string app = read_file(dir / "VeskLogs/app0.log");
        for (int i = 0; i < 5; i++) vesk_log_printf(VESK_LOG_ERROR, "b.err", "while paused %d", i);
        EXPECT_EQ(barrier(VESK_LOG_FLUSH), 1);
        usleep(150 * 1000);
        EXPECT_EQ(read_file(dir / "VeskLogs/errors0.log"), errors);
        EXPECT_EQ(read_file(dir / "VeskLogs/app0.log"), app);

        vesk_log_resume_media();
        ASSERT_TRUE(eventually([] { return stats().vesk_media_paused == 0; }));
        vesk_log_printf(VESK_LOG_ERROR, "b.err", "after resume");
        ASSERT_EQ(barrier(VESK_LOG_FLUSH), 1);
        EXPECT_EQ(lines_with(dir, "errors0.log", "after resume").size(), 1u);
        EXPECT_EQ(lines_with(dir, "errors0.log", "while paused").size(), 0u);
        /* Five lines to each of two streams were lost while paused: counted and reported. */
        vesk_log_stats st = stats();
        EXPECT_EQ(st.vesk_sink_drops[VESK_LOG_ERRORS_STREAM], 5u);
        EXPECT_EQ(st.vesk_sink_drops[VESK_LOG_APP_STREAM], 5u);
        ASSERT_TRUE(eventually([&] {
            vesk_log_printf(VESK_LOG_ERROR, "b.err", "nudge");
            barrier(VESK_LOG_FLUSH);
            return lines_with(dir, "errors0.log", "origin=app stage=sink stream=errors delta=5 total=5").size() == 1;
        }));
        vesk_log_stop();
    });
}

TEST(Barrier, RemovedFileIsReopenedWithTheReasonLogged)
{
    TempDir dir;
    in_child([&] {
        start_logger(dir, VESK_LOG_APP);
        vesk_log_printf(VESK_LOG_ERROR, "m", "first");
        ASSERT_EQ(barrier(VESK_LOG_FLUSH), 1);
        ASSERT_EQ(unlink((dir / "VeskLogs/errors0.log").c_str()), 0);
        /* A new barrier runs the health check at once. */
        ASSERT_EQ(barrier(VESK_LOG_FLUSH), 1);
        ASSERT_TRUE(eventually([&] {
            barrier(VESK_LOG_FLUSH);
            return !lines_with(dir, "errors0.log", "reopened after external change").empty();
        }));
        std::vector<std::string> report = lines_with(dir, "errors0.log", "reopened after external change");
        EXPECT_EQ(message_of(report[0]), "reopened after external change object=errors0.log reason=unlinked changes=1");
        EXPECT_EQ(field_of(report[0], "tag"), "logger.media");
        EXPECT_EQ(field_of(report[0], "level"), "E");
        vesk_log_printf(VESK_LOG_ERROR, "m", "second");
        ASSERT_EQ(barrier(VESK_LOG_FLUSH), 1);
        EXPECT_EQ(lines_with(dir, "errors0.log", "second").size(), 1u);
        vesk_log_stop();
    });
}

TEST(LogSocket, PeerPacketsLandByStreamAndEpoch)
{
    TempDir dir;
    in_child([&] {
        start_logger(dir, VESK_LOG_APP);
        struct stat sb;
        ASSERT_EQ(stat((dir / "log.sock").c_str(), &sb), 0);
        EXPECT_TRUE(S_ISSOCK(sb.st_mode));
        EXPECT_EQ(sb.st_mode & 0777, 0600u);
        ASSERT_EQ(vesk_debug_set(1), 0);
        FakeGui gui(dir / "log.sock");
        ASSERT_GE(gui.fd, 0);
        const std::string g = "mono_ms=1 src=gui tag=x flags=none | ";
        struct Row {
            std::string pkt;
            const char *file; /* where its text lands, null for nowhere */
            const char *text;
        } rows[] = {
            {packet(CONTROL, 0, 7), "gui0.log", "gui connected epoch=7"},
            {packet(LINE, 1, 7, g + "gui detail\n"), "gui0.log", "gui detail"},
            {packet(LINE, 1, 6, g + "older period\n"), nullptr, "older period"},
            {packet(LINE, 2, 3, g + "gui error\n"), "errors0.log", "gui error"},
            {packet(LINE, 0, 7, g + "app stream\n"), nullptr, "app stream"},
            {packet(LINE, 1, 7, g + "bad magic\n", 0x12345678), nullptr, "bad magic"},
            {packet(LINE, 1, 7, g + "bad version\n", 0x5645534B, 2), nullptr, "bad version"},
            {packet(LINE, 1, 7, g + "too long\n", 0x5645534B, 1, 5000), nullptr, "too long"},
            {packet(LINE, 1, 7).substr(0, 20), nullptr, nullptr},
            {packet(LINE, 1, 7, g + "one\nforged line\n"), "gui0.log", "one"},
            {packet(LINE, 1, 7, g + "no line feed"), "gui0.log", "no line feed"},
            /* A line that fills the line buffer lands whole; one that runs
             * into the packet's padding, its line feed there, is refused. */
            {packet(LINE, 1, 7, g + "whole buffer" + std::string(8448 - g.size() - 13, 'w') + "\n"), "gui0.log",
             "whole buffer"},
            {packet(LINE, 1, 7, g + "past the buffer" + std::string(8452 - g.size() - 17, 'p') + "\ny"), nullptr,
             "past the buffer"},
        };
        for (const Row &r : rows) ASSERT_TRUE(gui.send_raw(r.pkt));
        ASSERT_EQ(flush_with(gui), 1);
        for (const Row &r : rows) {
            if (r.text == nullptr) continue;
            for (const char *file : {"gui0.log", "errors0.log", "app0.log"}) {
                size_t expect = r.file != nullptr && strcmp(file, r.file) == 0 ? 1 : 0;
                EXPECT_EQ(lines_with(dir, file, r.text).size(), expect) << r.text << " in " << file;
            }
        }
        EXPECT_TRUE(lines_with(dir, "gui0.log", "forged line").empty());
        for (const std::string &line : slot_lines(dir, "gui0.log")) EXPECT_EQ(line.back(), '\n');

        /* With debug mode off the GUI's detail stays out; its errors do not. */
        ASSERT_EQ(vesk_debug_set(0), 0);
        ASSERT_TRUE(gui.send_raw(packet(LINE, 1, 7, g + "detail while off\n")));
        ASSERT_TRUE(gui.send_raw(packet(LINE, 2, 0, g + "error while off\n")));
        ASSERT_EQ(flush_with(gui), 1);
        EXPECT_TRUE(lines_with(dir, "gui0.log", "detail while off").empty());
        EXPECT_EQ(lines_with(dir, "errors0.log", "error while off").size(), 1u);
        vesk_log_stop();
    });
}

TEST(LogSocket, FlushWaitsForTheGuiToAcknowledgeItsCutoff)
{
    TempDir dir;
    in_child([&] {
        start_logger(dir, VESK_LOG_APP);
        ASSERT_EQ(vesk_debug_set(1), 0);
        FakeGui gui(dir / "log.sock");
        ASSERT_GE(gui.fd, 0);
        ASSERT_TRUE(gui.send_raw(packet(CONTROL, 0, 1)));
        uint64_t ticket = 0;
        ASSERT_EQ(vesk_log_request(VESK_LOG_FLUSH, vesk_mono_ms() + 5000, &ticket), 0);
        std::string cutoff = gui.receive(2000);
        ASSERT_EQ(cutoff.size(), 28u);
        EXPECT_EQ(u16_at(cutoff, 6), CUTOFF);
        EXPECT_EQ(u64_at(cutoff, 16), ticket);
        usleep(150 * 1000);
        EXPECT_EQ(vesk_log_poll(ticket), 0) << "done before the GUI caught up";
        ASSERT_TRUE(gui.send_raw(packet(LINE, 1, 1, "gui | sent before the ack\n")));
        ASSERT_TRUE(gui.send_raw(packet(CUTOFF_ACK, 0, ticket + 5)));
        usleep(150 * 1000);
        EXPECT_EQ(vesk_log_poll(ticket), 0) << "an acknowledgement of another ticket";
        ASSERT_TRUE(gui.send_raw(packet(CUTOFF_ACK, 0, ticket)));
        int rc;
        while ((rc = vesk_log_poll(ticket)) == 0) usleep(2000);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(lines_with(dir, "gui0.log", "sent before the ack").size(), 1u);

        /* A GUI that goes away no longer holds a barrier up. */
        close(gui.fd);
        gui.fd = -1;
        ASSERT_TRUE(eventually([] { return stats().vesk_peer_connected == 0; }));
        EXPECT_EQ(barrier(VESK_LOG_FLUSH), 1);
        vesk_log_stop();
    });
}

TEST(Capture, StandardOutputAndErrorBecomeLines)
{
    TempDir dir;
    in_child([&] {
        struct stat before;
        ASSERT_EQ(fstat(STDOUT_FILENO, &before), 0);
        start_logger(dir, VESK_LOG_APP);
        struct stat null_st;
        struct stat fd1;
        ASSERT_EQ(stat("/dev/null", &null_st), 0);
        ASSERT_EQ(fstat(STDOUT_FILENO, &fd1), 0);
        EXPECT_EQ(fd1.st_rdev, null_st.st_rdev) << "a child process writes nowhere";
        printf("hidden while debug is off\n");
        ASSERT_EQ(vesk_debug_set(1), 0);
        errno = EXDEV;
        printf("out a\r\nout b\n");
        EXPECT_EQ(errno, EXDEV);
        fprintf(stderr, "err %s", "started ");
        fprintf(stderr, "and finished\n");
        fprintf(stderr, "left open");
        ASSERT_TRUE(eventually([&] {
            barrier(VESK_LOG_FLUSH);
            return !lines_with(dir, "errors0.log", "left open").empty();
        }));
        EXPECT_TRUE(lines_with(dir, "app0.log", "hidden").empty());
        std::vector<std::string> a = lines_with(dir, "app0.log", "out a");
        ASSERT_EQ(a.size(), 1u);
        EXPECT_EQ(message_of(a[0]), "out a");
        EXPECT_EQ(field_of(a[0], "tag"), "stdout");
        EXPECT_EQ(field_of(a[0], "level"), "D");
        EXPECT_EQ(lines_with(dir, "app0.log", "out b").size(), 1u);
        std::vector<std::string> e = lines_with(dir, "errors0.log", "err started");
        ASSERT_EQ(e.size(), 1u);
        EXPECT_EQ(message_of(e[0]), "err started and finished");
        EXPECT_EQ(field_of(e[0], "flags"), "none");
        EXPECT_EQ(field_of(e[0], "tag"), "stderr");
        std::vector<std::string> open_line = lines_with(dir, "errors0.log", "left open");
        EXPECT_EQ(field_of(open_line[0], "flags"), "partial");
        vesk_log_stop();
        struct stat after;
        ASSERT_EQ(fstat(STDOUT_FILENO, &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "stop gives standard output back";
        std::string console = read_file(dir / "console.txt");
        /* The console echoes the chunks as they are read: one read may
         * take both writes, or each alone. */
        const size_t started = console.find("err started ");
        ASSERT_NE(started, std::string::npos) << console;
        EXPECT_NE(console.find("and finished\n", started), std::string::npos) << console;
        EXPECT_EQ(console.find("out a"), std::string::npos);
    });
}

TEST(IpcTrace, CompassFramesFoldIntoOneSummary)
{
    TempDir dir;
    in_child([&] {
        start_logger(dir, VESK_LOG_APP);
        uint8_t compass[12] = {0xAA, 9, 6, 0, 0, 0x80, 1, 2, 3, 4, 0xEB, 0xAA};
        vesk_log_ipc("ipc.media_to_app", compass, sizeof(compass), 0);
        ASSERT_EQ(vesk_debug_set(1), 0);
        for (int i = 0; i < 10; i++) {
            compass[4] = (uint8_t)(i % 3);
            compass[6] = (uint8_t)i;
            errno = ENOSPC;
            vesk_log_ipc("ipc.app_to_gui", compass, sizeof(compass), i == 9 ? -11 : 0);
            EXPECT_EQ(errno, ENOSPC);
        }
        uint8_t other[10] = {0xAA, 7, 4, 0, 1, 0, 0, 0, 0xEB, 0xAA};
        vesk_log_ipc("ipc.app_to_gui", other, sizeof(other), 0);
        vesk_log_ipc("ipc.gui_to_app", other, 2, 0);
        ASSERT_EQ(barrier(VESK_LOG_FLUSH), 1);
        std::vector<std::string> lines = lines_with(dir, "app0.log", "");
        std::vector<std::string> hex, summary;
        for (const std::string &l : lines) {
            std::string m = message_of(l);
            if (m.rfind("n=", 0) == 0) hex.push_back(m);
            if (m.rfind("summary", 0) == 0) summary.push_back(m);
        }
        ASSERT_EQ(hex.size(), 3u);
        EXPECT_EQ(hex[0], "n=12 rc=0 hex=AA 09 06 00 00 80 00 02 03 04 EB AA");
        EXPECT_EQ(hex[1], "n=10 rc=0 hex=AA 07 04 00 01 00 00 00 EB AA");
        EXPECT_EQ(hex[2], "n=2 rc=0 hex=AA 07");
        ASSERT_EQ(summary.size(), 1u);
        EXPECT_EQ(summary[0], "summary sub=06 frames=9 last="
                              "[00 n=12 rc=-11: AA 09 06 00 00 80 09 02 03 04 EB AA] "
                              "[01 n=12 rc=0: AA 09 06 00 01 80 07 02 03 04 EB AA] "
                              "[02 n=12 rc=0: AA 09 06 00 02 80 08 02 03 04 EB AA]");
        vesk_log_stats st = stats();
        EXPECT_EQ(st.vesk_suppressed_records, 1u);
        vesk_log_stop();
    });
}

} // namespace
