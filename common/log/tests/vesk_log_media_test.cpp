// The "VeskLogs" files, driven directly as the app writer drives them:
// lines in, checkpoints, card changes, with a temporary folder as the card.
#include "log_test_support.h"

#include "vesk_board.h"

#include <signal.h>
#include <sys/resource.h>

namespace {
using namespace vesk_log_test;

/* A segment header as the format describes it, written by the test. */
std::string header_line(const std::string &stream, const std::string &generation)
{
    return "mono_ms=1 wall_ms=0 wall=unknown boot=b run=1-1 seq=1 src=app level=D tag=logger.segment flags=none | "
           "version=1 stream=" +
           stream + " generation=" + generation + "\n";
}

void write_file(const std::string &path, const std::string &text)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
    close(fd);
}

off_t size_of(const std::string &path)
{
    struct stat sb;
    return stat(path.c_str(), &sb) == 0 ? sb.st_size : -1;
}

struct Media : testing::Test {
    TempDir dir;
    vesk_log_identity id{};
    vesk_log_line line{};
    uint64_t t0 = 100000;

    void SetUp() override
    {
        memset(&vesk_log_cnt, 0, sizeof(vesk_log_cnt));
        vesk_debug_init();
        snprintf(id.src, sizeof(id.src), "app");
        snprintf(id.boot, sizeof(id.boot), "boot-id");
        vesk_log_media_setup(dir.path.c_str(), 0, &id);
    }
    void TearDown() override { vesk_log_media_close(0); }

    std::string logs(const std::string &name) const { return dir / ("VeskLogs/" + name); }

    /* One finished line of the stream with the given message. */
    const vesk_log_line &make(vesk_log_stream stream, const std::string &msg, uint64_t epoch = 0)
    {
        vesk_log_prefix_ctx ctx{};
        ctx.seq = vesk_log_next_seq();
        ctx.level = epoch ? VESK_LOG_DETAIL : VESK_LOG_ERROR;
        ctx.tag = "media.test";
        ctx.epoch = epoch;
        vesk_log_line_build(&id, &ctx, msg.data(), msg.size(), 0, &line);
        line.stream = stream;
        return line;
    }
    int put(vesk_log_stream stream, const std::string &msg, uint64_t epoch = 0, uint64_t at = 0)
    {
        return vesk_log_media_put(&make(stream, msg, epoch), at ? at : t0, 1);
    }
    void seed(const std::string &name, const std::string &text)
    {
        mkdir((dir / "VeskLogs").c_str(), 0755);
        write_file(logs(name), text);
    }
};

TEST_F(Media, FirstUseCreatesTwoSlotsPerStreamAndStartsGenerationOne)
{
    ASSERT_EQ(put(VESK_LOG_ERRORS_STREAM, "first error"), 0);
    ASSERT_EQ(vesk_log_media_open_all(t0, 0), 0);
    ASSERT_EQ(vesk_log_media_checkpoint(1, t0), 0);
    for (const char *stream : {"app", "gui", "errors"}) {
        std::vector<std::string> lines = slot_lines(dir, std::string(stream) + "0.log");
        ASSERT_GE(lines.size(), 1u) << stream;
        EXPECT_TRUE(std::regex_match(lines[0], line_shape)) << lines[0];
        EXPECT_EQ(field_of(lines[0], "tag"), "logger.segment");
        EXPECT_EQ(field_of(lines[0], "level"), "D");
        EXPECT_EQ(message_of(lines[0]), "version=1 stream=" + std::string(stream) + " generation=1");
        EXPECT_EQ(size_of(logs(std::string(stream) + "1.log")), 0) << stream;
        struct stat sb;
        ASSERT_EQ(stat(logs(std::string(stream) + "0.log").c_str(), &sb), 0);
        EXPECT_EQ(sb.st_mode & 0777, 0644u);
    }
    struct stat sb;
    ASSERT_EQ(stat((dir / "VeskLogs").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0777, 0755u);
    std::vector<std::string> errors = slot_lines(dir, "errors0.log");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(message_of(errors[1]), "first error");
    EXPECT_EQ(__atomic_load_n(&vesk_log_cnt.media_errno, __ATOMIC_RELAXED), 0);
}

TEST_F(Media, WritingContinuesInTheSlotOfTheHigherGeneration)
{
    struct Row {
        const char *slot0; /* header generation text, "" for an empty file, null for no file */
        const char *slot1;
        int expect_slot;
        bool fresh; /* slot 0 restarted with generation 1 */
    } rows[] = {
        {"3", "4", 1, false},     {"4", "3", 0, false}, {"5", "5", 0, false},        {"", "2", 1, false},
        {"7", nullptr, 0, false}, {"x", "", 0, true},   {nullptr, nullptr, 0, true},
    };
    for (const Row &r : rows) {
        TempDir d;
        vesk_log_media_setup(d.path.c_str(), 0, &id);
        mkdir((d / "VeskLogs").c_str(), 0755);
        const char *gens[2] = {r.slot0, r.slot1};
        std::string before[2];
        for (int s = 0; s < 2; s++) {
            if (gens[s] == nullptr) continue;
            before[s] = *gens[s] ? header_line("app", gens[s]) + "mono_ms=2 | old line\n" : "";
            write_file(d / ("VeskLogs/app" + std::to_string(s) + ".log"), before[s]);
        }
        ASSERT_EQ(put(VESK_LOG_APP_STREAM, "new line", 0), 0);
        ASSERT_EQ(vesk_log_media_checkpoint(1, t0), 0);
        vesk_log_media_close(1);
        for (int s = 0; s < 2; s++) {
            std::string text = read_file(d / ("VeskLogs/app" + std::to_string(s) + ".log"));
            if (s != r.expect_slot) {
                EXPECT_EQ(text, before[s]) << "slot " << s << " of row " << (r.slot0 ? r.slot0 : "-");
                continue;
            }
            std::vector<std::string> lines = split_lines(text);
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(message_of(lines.back()), "new line");
            if (r.fresh) {
                ASSERT_EQ(lines.size(), 2u);
                EXPECT_EQ(message_of(lines[0]), "version=1 stream=app generation=1");
            } else {
                EXPECT_EQ(text.substr(0, before[s].size()), before[s]);
            }
        }
    }
}

TEST_F(Media, HeaderOfAnotherStreamOrVersionNamesNoGeneration)
{
    struct Row {
        std::string text;
        uint64_t generation;
    } rows[] = {
        {header_line("app", "12"), 12},
        {header_line("gui", "12"), 0},
        {header_line("app", ""), 0},
        {header_line("app", "9x"), 9},
        {"mono_ms=1 tag=logger.segment | version=2 stream=app generation=4\n", 0},
        {"mono_ms=1 tag=other | version=1 stream=app generation=4\n", 0},
        {"first line\n" + header_line("app", "4"), 0},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(vesk_log_media_parse_generation(r.text.data(), r.text.size(), VESK_LOG_APP_STREAM), r.generation)
            << r.text;
    }
}

TEST_F(Media, RotationTruncatesTheOtherSlotWithTheNextGeneration)
{
    seed("app0.log", header_line("app", "3"));
    seed("app1.log", header_line("app", "4"));
    const std::string filler(8000, 'f');
    int written = 0;
    while (size_of(logs("app0.log")) == (off_t)header_line("app", "3").size() && written < 1000) {
        ASSERT_EQ(put(VESK_LOG_APP_STREAM, std::to_string(written) + " " + filler), 0);
        written++;
        if (written % 16 == 0) {
            ASSERT_EQ(vesk_log_media_checkpoint(0, t0), 0);
        }
    }
    ASSERT_EQ(vesk_log_media_checkpoint(1, t0), 0);
    ASSERT_LT(written, 1000) << "no rotation";
    std::vector<std::string> slot0 = slot_lines(dir, "app0.log");
    std::vector<std::string> slot1 = slot_lines(dir, "app1.log");
    ASSERT_GE(slot0.size(), 2u);
    EXPECT_EQ(message_of(slot0[0]), "version=1 stream=app generation=5");
    EXPECT_LE(size_of(logs("app1.log")), 5000000);
    EXPECT_GT(size_of(logs("app1.log")), 5000000 - 8300);
    /* Nothing lost at the seam: slot 1 ends with the line before slot 0's first. */
    int last1 = std::stoi(message_of(slot1.back()));
    int first0 = std::stoi(message_of(slot0[1]));
    EXPECT_EQ(first0, last1 + 1);
    EXPECT_EQ(first0 + (int)slot0.size() - 1, written);
}

TEST_F(Media, DetailBatchOfAnEndedDebugPeriodIsDiscarded)
{
    ASSERT_EQ(vesk_debug_set(1), 0);
    ASSERT_EQ(put(VESK_LOG_APP_STREAM, "detail one", 1), 0);
    ASSERT_EQ(put(VESK_LOG_APP_STREAM, "detail two", 1), 0);
    ASSERT_EQ(put(VESK_LOG_APP_STREAM, "error copy", 0), 0);
    ASSERT_EQ(vesk_debug_set(0), 0);
    ASSERT_EQ(put(VESK_LOG_ERRORS_STREAM, "error kept"), 0);
    ASSERT_EQ(vesk_log_media_checkpoint(1, t0), 0);
    EXPECT_EQ(slot_lines(dir, "app0.log").size(), 1u) << "only the header";
    EXPECT_EQ(vesk_log_load(&vesk_log_cnt.suppressed), 3u);
    EXPECT_EQ(lines_with(dir, "errors0.log", "error kept").size(), 1u);

    /* A new period: a batch of the old one is written out (and dropped) before a line of the new one joins. */
    ASSERT_EQ(vesk_debug_set(1), 0);
    ASSERT_EQ(put(VESK_LOG_APP_STREAM, "period two", 2), 0);
    ASSERT_EQ(put(VESK_LOG_APP_STREAM, "stale line", 1), 0);
    ASSERT_EQ(vesk_log_media_checkpoint(1, t0), 0);
    std::vector<std::string> lines = slot_lines(dir, "app0.log");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(message_of(lines[1]), "period two");
    EXPECT_EQ(vesk_log_load(&vesk_log_cnt.suppressed), 4u);
}

TEST_F(Media, FolderIsRetriedOnlyAfterTheRetryDelay)
{
    TempDir parent;
    std::string root = parent / "card";
    vesk_log_media_setup(root.c_str(), 0, &id);
    EXPECT_EQ(put(VESK_LOG_ERRORS_STREAM, "no card"), -ENOENT);
    EXPECT_EQ(__atomic_load_n(&vesk_log_cnt.media_errno, __ATOMIC_RELAXED), ENOENT);
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    EXPECT_EQ(put(VESK_LOG_ERRORS_STREAM, "too soon", 0, t0 + 4999), -EAGAIN);
    EXPECT_EQ(put(VESK_LOG_ERRORS_STREAM, "card in", 0, t0 + 5000), 0);
    EXPECT_EQ(__atomic_load_n(&vesk_log_cnt.media_errno, __ATOMIC_RELAXED), 0);
    EXPECT_EQ(vesk_log_cnt.sink_drops[VESK_LOG_ERRORS_STREAM], 2u);
    ASSERT_EQ(vesk_log_media_checkpoint(1, t0 + 5000), 0);
    EXPECT_EQ(split_lines(read_file(root + "/VeskLogs/errors0.log")).size(), 2u);

    std::string long_root(300, 'r');
    vesk_log_media_setup(("/" + long_root).c_str(), 0, &id);
    EXPECT_EQ(put(VESK_LOG_ERRORS_STREAM, "long"), -ENAMETOOLONG);
}

TEST_F(Media, CardRuleRefusesAFolderThatIsNoMountedFatCard)
{
    vesk_log_media_setup(dir.path.c_str(), 1, &id);
    EXPECT_EQ(put(VESK_LOG_ERRORS_STREAM, "not a card"), -ENOTBLK);
    EXPECT_EQ(__atomic_load_n(&vesk_log_cnt.media_errno, __ATOMIC_RELAXED), ENOTBLK);
    struct stat sb;
    EXPECT_NE(stat((dir / "VeskLogs").c_str(), &sb), 0) << "nothing is created on a folder that is no card";
    int fd = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(vesk_log_media_root_check(fd, dir.path.c_str()), -ENOTBLK);
    close(fd);
}

TEST_F(Media, CardRuleAcceptsOnlyTheMountedFatRoot)
{
    /* The board layer answers FAT for the files of <VESK_BOARD_ROOT>/usrdata/media
     * when that is a mount of its own; /proc stands in for such a mount. */
    in_child([&] {
        ASSERT_EQ(mkdir((dir / "usrdata").c_str(), 0755), 0);
        ASSERT_EQ(symlink("/proc", (dir / "usrdata/media").c_str()), 0);
        setenv("VESK_BOARD_ROOT", dir.path.c_str(), 1);
        setenv("VESK_BOARD_LOG", (dir / "board.log").c_str(), 1);
        struct Row {
            std::string root;
            int rc;
        } rows[] = {
            {dir / "usrdata/media", 0},             /* FAT and a mount point */
            {dir / "usrdata/media/self", -ENOTBLK}, /* FAT, but only a folder on the card */
            {dir.path, -ENOTBLK},                   /* a mount point perhaps, but no FAT */
        };
        for (const Row &r : rows) {
            int fd = open(r.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ASSERT_GE(fd, 0) << r.root;
            EXPECT_EQ(vesk_log_media_root_check(fd, r.root.c_str()), r.rc) << r.root;
            close(fd);
        }
        struct statfs fs;
        int card = open((dir / "usrdata/media").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_EQ(vesk_board_fstatfs(card, &fs), 0);
        EXPECT_EQ((unsigned long)fs.f_type, 0x4D44ul) << "the board layer's answer for the Media mount";
        close(card);
        std::string board = read_file(dir / "board.log");
        EXPECT_NE(board.find("call=fstatfs"), std::string::npos) << board;
        EXPECT_NE(board.find("media=1"), std::string::npos) << board;
    });
}

TEST_F(Media, ExternalChangesAreFoundAtTheHealthCheckAndReopened)
{
    struct Row {
        const char *what;
        std::function<void(const Media &)> change;
        const char *object;
        const char *reason;
    } rows[] = {
        {"file removed", [](const Media &m) { unlink(m.logs("app0.log").c_str()); }, "app0.log", "unlinked"},
        {"file moved away", [](const Media &m) { rename(m.logs("app0.log").c_str(), (m.dir / "moved.log").c_str()); },
         "app0.log", "missing"},
        {"file replaced",
         [](const Media &m) {
             link(m.logs("app0.log").c_str(), (m.dir / "kept.log").c_str());
             write_file(m.dir / "other.log", "");
             rename((m.dir / "other.log").c_str(), m.logs("app0.log").c_str());
         },
         "app0.log", "replaced"},
        {"folder removed",
         [](const Media &m) {
             for (const char *f : {"app0.log", "app1.log", "gui0.log", "gui1.log", "errors0.log", "errors1.log"})
                 unlink(m.logs(f).c_str());
             rmdir((m.dir / "VeskLogs").c_str());
         },
         "VeskLogs", "unlinked"},
        {"folder moved away", [](const Media &m) { rename((m.dir / "VeskLogs").c_str(), (m.dir / "Old").c_str()); },
         "VeskLogs", "missing"},
    };
    unsigned changes = 0;
    for (const Row &r : rows) {
        char report[160] = "";
        ASSERT_EQ(vesk_log_media_open_all(t0, 0), 0) << r.what;
        EXPECT_EQ(vesk_log_media_health(t0, 0, report, sizeof(report)), 0) << r.what;
        r.change(*this);
        EXPECT_EQ(vesk_log_media_health(t0 + 4999, 0, report, sizeof(report)), 0) << "checked too soon: " << r.what;
        ASSERT_EQ(vesk_log_media_health(t0 + 5000, 0, report, sizeof(report)), 1) << r.what;
        changes++;
        EXPECT_EQ(std::string(report), std::string("reopened after external change object=") + r.object +
                                           " reason=" + r.reason + " changes=" + std::to_string(changes));
        ASSERT_EQ(put(VESK_LOG_APP_STREAM, std::string("after ") + r.what, 0, t0 + 5000), 0);
        ASSERT_EQ(vesk_log_media_checkpoint(1, t0 + 5000), 0);
        EXPECT_EQ(lines_with(dir, "app0.log", std::string("after ") + r.what).size(), 1u) << r.what;
        t0 += 5000;
        /* Start each row from a clean card. */
        vesk_log_media_close(1);
        std::string cmd = "rm -rf '" + dir.path + "'/*";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
}

TEST_F(Media, PausedMediaTakesNoLinesUntilResumed)
{
    ASSERT_EQ(put(VESK_LOG_ERRORS_STREAM, "before"), 0);
    ASSERT_EQ(vesk_log_media_checkpoint(1, t0), 0);
    off_t size = size_of(logs("errors0.log"));
    vesk_log_media_pause(1);
    EXPECT_EQ(put(VESK_LOG_ERRORS_STREAM, "while paused"), -EBUSY);
    EXPECT_EQ(vesk_log_media_checkpoint(1, t0), 0);
    EXPECT_EQ(size_of(logs("errors0.log")), size);
    EXPECT_EQ(vesk_log_cnt.sink_drops[VESK_LOG_ERRORS_STREAM], 1u);
    vesk_log_media_pause(0);
    EXPECT_EQ(put(VESK_LOG_ERRORS_STREAM, "resumed"), 0);
    ASSERT_EQ(vesk_log_media_checkpoint(1, t0), 0);
    EXPECT_EQ(lines_with(dir, "errors0.log", "resumed").size(), 1u);
}

TEST_F(Media, FailedWriteCountsTheBatchAndClosesTheFiles)
{
    in_child([&] {
        ASSERT_EQ(put(VESK_LOG_APP_STREAM, "fits"), 0);
        ASSERT_EQ(vesk_log_media_checkpoint(1, t0), 0);
        /* The card is full from here on: a write past this size fails. */
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {(rlim_t)size_of(logs("app0.log")) + 100, RLIM_INFINITY};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
        uint64_t bytes = 0;
        for (int i = 0; i < 5; i++) {
            ASSERT_EQ(put(VESK_LOG_APP_STREAM, "line " + std::to_string(i) + std::string(300, 'x')), 0);
            bytes += line.len;
        }
        EXPECT_EQ(vesk_log_media_checkpoint(1, t0), -EIO);
        EXPECT_EQ(vesk_log_cnt.sink_drops[VESK_LOG_APP_STREAM], 5u);
        EXPECT_EQ(vesk_log_cnt.sink_drop_bytes[VESK_LOG_APP_STREAM], bytes);
        EXPECT_EQ(__atomic_load_n(&vesk_log_cnt.media_errno, __ATOMIC_RELAXED), EFBIG);
        /* Room again: the next line reopens the files. */
        lim.rlim_cur = RLIM_INFINITY;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
        EXPECT_EQ(put(VESK_LOG_APP_STREAM, "room again"), 0);
        EXPECT_EQ(vesk_log_media_checkpoint(1, t0), 0);
        EXPECT_EQ(lines_with(dir, "app0.log", "room again").size(), 1u);
    });
}

} // namespace
