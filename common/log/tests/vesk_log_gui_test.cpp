// The GUI role: its lines reach the app role's files over the log socket,
// whichever program starts first, and what it cannot send is counted.
#include "log_test_support.h"

namespace {
using namespace vesk_log_test;

vesk_log_stats stats()
{
    vesk_log_stats st;
    vesk_log_get_stats(&st);
    return st;
}

TEST(GuiRole, BarriersAreTheAppRolesAlone)
{
    TempDir dir;
    in_child([&] {
        start_logger(dir, VESK_LOG_GUI);
        uint64_t ticket = 0;
        EXPECT_EQ(vesk_log_request(VESK_LOG_FLUSH, vesk_mono_ms() + 100, &ticket), -EOPNOTSUPP);
        EXPECT_EQ(vesk_log_request(VESK_LOG_PAUSE_MEDIA, vesk_mono_ms() + 100, &ticket), -EOPNOTSUPP);
        vesk_log_resume_media();
        vesk_log_printf(VESK_LOG_ERROR, "gui", "nobody listens");
        usleep(100 * 1000);
        vesk_log_stats st = stats();
        EXPECT_EQ(st.vesk_peer_connected, 0);
        EXPECT_EQ(st.vesk_media_paused, 0);
        struct stat sb;
        EXPECT_NE(stat((dir / "VeskLogs").c_str(), &sb), 0) << "the GUI role writes no files";
        EXPECT_NE(stat((dir / "log.sock").c_str(), &sb), 0) << "nor listens";
        vesk_log_stop();
    });
    EXPECT_NE(read_file(dir / "console.txt").find("src=gui level=E tag=gui flags=none | nobody listens"),
              std::string::npos);
}

TEST(GuiRole, GuiStartedBeforeTheAppConnectsAndNothingIsLostUnseen)
{
    TempDir dir;
    int done[2];
    int ready[2];
    ASSERT_EQ(pipe(done), 0);
    ASSERT_EQ(pipe(ready), 0);
    Child gui = spawn_child([&] {
        close(done[1]);
        close(ready[0]);
        start_logger(dir, VESK_LOG_GUI, "console_gui.txt");
        ASSERT_EQ(vesk_debug_set(1), 0);
        vesk_log_printf(VESK_LOG_ERROR, "gui.err", "error before the app");
        vesk_log_printf(VESK_LOG_DETAIL, "gui.det", "detail before the app");
        /* More than the rings hold while nobody takes them: the app starts
         * only once they have overflowed, so nothing listens before. */
        for (int i = 0; i < 500; i++) vesk_log_printf(VESK_LOG_DETAIL, "gui.burst", "burst %d", i);
        EXPECT_GT(stats().vesk_input_drops[VESK_LOG_DETAIL], 0u);
        EXPECT_EQ(stats().vesk_peer_connected, 0);
        ssize_t w = write(ready[1], "r", 1);
        (void)w;
        EXPECT_TRUE(eventually([] { return stats().vesk_peer_connected == 1; }, 20000));
        /* Once the app has the loss report the rings have drained; a line
         * written before that could find them still full and be dropped. */
        EXPECT_TRUE(eventually(
            [&] { return !lines_with(dir, "errors0.log", "origin=gui stage=input level=detail").empty(); }, 20000));
        vesk_log_printf(VESK_LOG_DETAIL, "gui.det", "detail after connect");
        char c;
        while (read(done[0], &c, 1) < 0 && errno == EINTR) {}
        vesk_log_stop();
    });
    close(done[0]);
    close(ready[1]);
    char r;
    ASSERT_EQ(read(ready[0], &r, 1), 1);
    close(ready[0]);
    in_child([&] {
        start_logger(dir, VESK_LOG_APP, "console_app.txt");
        ASSERT_EQ(vesk_debug_set(1), 0);
        ASSERT_TRUE(eventually(
            [&] {
                return !lines_with(dir, "gui0.log", "detail after connect").empty() &&
                       !lines_with(dir, "errors0.log", "origin=gui stage=input level=detail").empty();
            },
            25000));
        std::vector<std::string> early = lines_with(dir, "gui0.log", "detail before the app");
        ASSERT_EQ(early.size(), 1u);
        EXPECT_TRUE(std::regex_match(early[0], line_shape)) << early[0];
        EXPECT_EQ(field_of(early[0], "src"), "gui");
        EXPECT_EQ(field_of(early[0], "tag"), "gui.det");
        std::vector<std::string> err = lines_with(dir, "errors0.log", "error before the app");
        ASSERT_EQ(err.size(), 1u);
        EXPECT_EQ(field_of(err[0], "src"), "gui");
        EXPECT_EQ(lines_with(dir, "gui0.log", "error before the app").size(), 1u) << "debug on: also in gui";
        EXPECT_EQ(lines_with(dir, "gui0.log", "gui connected epoch=1").size(), 1u);
        /* Every burst line landed or was counted by the GUI, and the count was reported. */
        std::vector<std::string> loss = lines_with(dir, "errors0.log", "origin=gui stage=input level=detail");
        ASSERT_EQ(loss.size(), 1u);
        std::string total = field_of(message_of(loss[0]), "total");
        size_t landed = lines_with(dir, "gui0.log", "burst ").size();
        EXPECT_EQ(landed + std::stoul(total), 500u) << loss[0];
        /* A FLUSH now waits for the real GUI's acknowledgement, and gets it. */
        uint64_t ticket = 0;
        ASSERT_EQ(vesk_log_request(VESK_LOG_FLUSH, vesk_mono_ms() + 3000, &ticket), 0);
        int rc;
        while ((rc = vesk_log_poll(ticket)) == 0) usleep(2000);
        EXPECT_EQ(rc, 1);
        vesk_log_stop();
    });
    ssize_t n = write(done[1], "x", 1);
    (void)n;
    close(done[1]);
    join_child(gui);
}

} // namespace
