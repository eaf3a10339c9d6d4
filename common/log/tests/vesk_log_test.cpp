// The logger is one per process and started once, so every case that
// starts it runs in a forked child; the child's failures come back over a
// pipe. Pure pieces (ring, record filling, line building) run in place.
#include "log_test_support.h"

#include <fstream>

namespace {
using namespace vesk_log_test;

/* Collects the lines an emitter makes. */
struct LineTap {
    std::vector<std::pair<int, std::string>> lines;
    static int sink(void *ctx, const vesk_log_line *line)
    {
        static_cast<LineTap *>(ctx)->lines.emplace_back(line->stream, std::string(line->text, line->len));
        return 0;
    }
};

struct EmitterFixture : testing::Test {
    vesk_log_identity id{};
    vesk_log_line scratch{};
    LineTap tap;
    vesk_log_emitter em{};
    void SetUp() override
    {
        memset(&vesk_log_cnt, 0, sizeof(vesk_log_cnt));
        vesk_debug_init();
        snprintf(id.src, sizeof(id.src), "app");
        snprintf(id.boot, sizeof(id.boot), "0d3c5a1e-0000-4000-8000-000000000001");
        id.pid = 42;
        id.start_mono_ms = 7;
        em = {&id, VESK_LOG_APP, 1, LineTap::sink, &tap, &scratch};
    }
    vesk_log_record record(vesk_log_level level, vesk_log_rec_kind kind, const std::string &payload,
                           const char *tag = "t")
    {
        vesk_log_record rec;
        EXPECT_EQ(vesk_log_record_fill(&rec, level, kind, tag, payload.data(), payload.size(),
                                       kind == VESK_LOG_REC_HEX ? VESK_LOG_HEX_KEEP : VESK_LOG_PAYLOAD_SIZE, 0),
                  0);
        return rec;
    }
};

/* ---- debug switch ---- */

TEST(DebugSwitch, SetBeforeInitIsRefused)
{
    in_child([] {
        EXPECT_EQ(vesk_debug_set(1), -ENODEV);
        EXPECT_EQ(vesk_debug_epoch(), 0u);
    });
}

TEST(DebugSwitch, EpochsFollowTheSwitchSequence)
{
    struct Row {
        int on;
        int rc;
        uint64_t epoch;
    } rows[] = {
        {1, 0, 1}, {1, 0, 1}, {0, 0, 0}, {0, 0, 0}, {1, 0, 2}, {2, -EINVAL, 2}, {-1, -EINVAL, 2}, {0, 0, 0}, {1, 0, 3},
    };
    in_child([&] {
        ASSERT_EQ(vesk_debug_init(), 0);
        EXPECT_EQ(vesk_debug_epoch(), 0u);
        EXPECT_EQ(vesk_debug_first_epoch(), 1u);
        for (const Row &r : rows) {
            EXPECT_EQ(vesk_debug_set(r.on), r.rc) << "on=" << r.on;
            EXPECT_EQ(vesk_debug_epoch(), r.epoch) << "on=" << r.on;
            EXPECT_EQ(vesk_debug_enabled() != 0, r.epoch != 0);
        }
        ASSERT_EQ(vesk_debug_init(), 0);
        EXPECT_EQ(vesk_debug_epoch(), 0u);
        EXPECT_EQ(vesk_debug_set(1), 0);
        EXPECT_EQ(vesk_debug_epoch(), vesk_debug_first_epoch());
    });
}

/* ---- rings ---- */

TEST(Ring, FullRingRefusesAndKeepsOrderAcrossWrap)
{
    static vesk_log_record slots[VESK_LOG_DETAIL_SLOTS];
    vesk_log_ring ring;
    vesk_log_ring_init(&ring, slots, VESK_LOG_DETAIL_SLOTS, NULL, NULL);
    vesk_log_record rec{};
    vesk_log_record out{};
    uint32_t next_in = 0;
    uint32_t next_out = 0;
    for (int round = 0; round < 3; round++) {
        for (int i = 0; i < VESK_LOG_DETAIL_SLOTS; i++) {
            rec.orig_len = next_in++;
            ASSERT_EQ(vesk_log_ring_try_push(&ring, &rec), 0);
        }
        rec.orig_len = 9999;
        EXPECT_EQ(vesk_log_ring_try_push(&ring, &rec), -ENOSPC);
        for (int i = 0; i < 40; i++) {
            ASSERT_EQ(vesk_log_ring_pop(&ring, &out), 1);
            EXPECT_EQ(out.orig_len, next_out++);
        }
        while (ring.count > 0) {
            ASSERT_EQ(vesk_log_ring_pop(&ring, &out), 1);
            EXPECT_EQ(out.orig_len, next_out++);
        }
        EXPECT_EQ(vesk_log_ring_pop(&ring, &out), 0);
    }
    EXPECT_EQ(ring.pushed, ring.popped);
    vesk_log_ring_destroy(&ring);
}

TEST(Ring, PushNeverWaitsForAHeldLock)
{
    static vesk_log_record slots[4];
    vesk_log_ring ring;
    vesk_log_ring_init(&ring, slots, 4, NULL, NULL);
    vesk_log_record rec{};
    pthread_mutex_lock(&ring.lock);
    int rc = 1;
    std::thread producer([&] { rc = vesk_log_ring_try_push(&ring, &rec); });
    producer.join();
    pthread_mutex_unlock(&ring.lock);
    EXPECT_EQ(rc, -EBUSY);
    EXPECT_EQ(ring.count, 0u);
    vesk_log_ring_destroy(&ring);
}

TEST(Ring, FillingRingCallsItsConsumerOnceUntilItLooks)
{
    static vesk_log_record slots[8];
    sem_t drain;
    sem_init(&drain, 0, 0);
    vesk_log_ring ring;
    vesk_log_ring_init(&ring, slots, 8, NULL, &drain);
    vesk_log_record rec{};
    vesk_log_record out{};
    auto posts = [&] {
        int value = 0;
        sem_getvalue(&drain, &value);
        return value;
    };
    for (int i = 0; i < 8; i++) {
        ASSERT_EQ(vesk_log_ring_try_push(&ring, &rec), 0);
        EXPECT_EQ(posts(), i >= 1 ? 1 : 0) << "push " << i << ": a quarter of 8 is 2";
    }
    /* Still full when the consumer looks: it is told to keep going, and
     * the next push past a quarter calls it again. */
    EXPECT_EQ(vesk_log_ring_rearm(&ring), 1);
    ASSERT_EQ(vesk_log_ring_pop(&ring, &out), 1);
    ASSERT_EQ(vesk_log_ring_try_push(&ring, &rec), 0);
    EXPECT_EQ(posts(), 2);
    while (vesk_log_ring_pop(&ring, &out)) {}
    EXPECT_EQ(vesk_log_ring_rearm(&ring), 0);
    ASSERT_EQ(vesk_log_ring_try_push(&ring, &rec), 0);
    EXPECT_EQ(posts(), 2) << "one record does not call the consumer";
    vesk_log_ring_destroy(&ring);
    sem_destroy(&drain);
}

/* ---- records ---- */

TEST_F(EmitterFixture, RecordsKeepWhatTheLimitsAllow)
{
    struct Row {
        vesk_log_level level;
        vesk_log_rec_kind kind;
        size_t length;
        size_t kept;
        bool truncated_flag;
    } rows[] = {
        {VESK_LOG_DETAIL, VESK_LOG_REC_HEX, 600, 512, true},   {VESK_LOG_DETAIL, VESK_LOG_REC_HEX, 512, 512, false},
        {VESK_LOG_ERROR, VESK_LOG_REC_TEXT, 3000, 2048, true}, {VESK_LOG_ERROR, VESK_LOG_REC_TEXT, 2048, 2048, false},
        {VESK_LOG_ERROR, VESK_LOG_REC_TEXT, 0, 0, false},
    };
    ASSERT_EQ(vesk_debug_set(1), 0);
    for (const Row &r : rows) {
        memset(&vesk_log_cnt, 0, sizeof(vesk_log_cnt));
        std::string data(r.length, 'x');
        vesk_log_record rec = record(r.level, r.kind, data);
        EXPECT_EQ(rec.len, r.kept) << r.length;
        EXPECT_EQ(rec.orig_len, r.length);
        EXPECT_EQ((rec.flags & VESK_LOG_FLAG_TRUNCATED) != 0, r.truncated_flag) << r.length;
        EXPECT_EQ(vesk_log_cnt.truncated_bytes[r.level], r.length - r.kept);
        EXPECT_EQ(rec.epoch, r.level == VESK_LOG_DETAIL ? 1u : 0u);
    }
}

TEST_F(EmitterFixture, TagIsCutAtThirtyOneCharacters)
{
    std::string tag(40, 'q');
    vesk_log_record rec = record(VESK_LOG_ERROR, VESK_LOG_REC_TEXT, "m", tag.c_str());
    EXPECT_EQ(std::string(rec.tag), std::string(31, 'q'));
}

TEST_F(EmitterFixture, DetailIsSuppressedWhileDebugIsOff)
{
    vesk_log_record rec;
    EXPECT_EQ(vesk_log_record_fill(&rec, VESK_LOG_DETAIL, VESK_LOG_REC_TEXT, "t", "m", 1, VESK_LOG_PAYLOAD_SIZE, 0),
              -1);
    EXPECT_EQ(vesk_log_load(&vesk_log_cnt.suppressed), 1u);
}

/* ---- lines ---- */

TEST_F(EmitterFixture, TextRecordsSplitAtLineFeedsAndEscape)
{
    struct Row {
        std::string payload;
        std::vector<std::string> messages;
    } rows[] = {
        {"a\r\nb", {"a", "b"}},
        {"a\tb", {"a\\x09b"}},
        {"back\\slash", {"back\\\\slash"}},
        {"", {""}},
        {"one\n", {"one"}},
        {"x\n\ny", {"x", "", "y"}},
        {"lone\rcr", {"lone\\x0Dcr"}},
        {"cr at end\r", {"cr at end\\x0D"}},
        {std::string("\x7f\x01\x1b", 3), {"\\x7F\\x01\\x1B"}},
        {"\xc3\xa9\x80\xff", {"\xc3\xa9\x80\xff"}},
    };
    ASSERT_EQ(vesk_debug_set(1), 0);
    for (const Row &r : rows) {
        tap.lines.clear();
        vesk_log_record rec = record(VESK_LOG_DETAIL, VESK_LOG_REC_TEXT, r.payload);
        vesk_log_emit_record(&em, &rec);
        ASSERT_EQ(tap.lines.size(), r.messages.size()) << r.payload;
        for (size_t i = 0; i < r.messages.size(); i++) {
            const std::string &line = tap.lines[i].second;
            EXPECT_TRUE(std::regex_match(line, line_shape)) << line;
            EXPECT_EQ(message_of(line), r.messages[i]) << r.payload;
            EXPECT_EQ(tap.lines[i].first, VESK_LOG_APP_STREAM);
        }
    }
}

TEST_F(EmitterFixture, PrefixNamesTheRecordAndTheRun)
{
    vesk_log_prefix_ctx ctx{};
    ctx.mono_ms = 123456;
    ctx.wall_ms = 1700000000123;
    ctx.wall_valid = 1;
    ctx.seq = 9;
    ctx.level = VESK_LOG_ERROR;
    ctx.tag = "";
    ctx.flags = VESK_LOG_FLAG_PARTIAL | VESK_LOG_FLAG_GAP;
    vesk_log_line_build(&id, &ctx, "hi", 2, 0, &scratch);
    std::string line(scratch.text, scratch.len);
    ASSERT_TRUE(std::regex_match(line, line_shape)) << line;
    EXPECT_EQ(line.rfind("mono_ms=123456 wall_ms=1700000000123 wall=", 0), 0u) << line;
    EXPECT_EQ(field_of(line, "boot"), id.boot);
    EXPECT_EQ(field_of(line, "run"), "42-7");
    EXPECT_EQ(field_of(line, "seq"), "9");
    EXPECT_EQ(field_of(line, "level"), "E");
    EXPECT_EQ(field_of(line, "tag"), "-");
    EXPECT_EQ(field_of(line, "flags"), "gap,partial");
    EXPECT_NE(field_of(line, "wall").find(".123"), std::string::npos) << line;

    ctx.wall_valid = 0;
    ctx.tag = "a b\n";
    ctx.flags = VESK_LOG_FLAG_TRUNCATED | VESK_LOG_FLAG_PARTIAL | VESK_LOG_FLAG_GAP;
    ctx.level = VESK_LOG_DETAIL;
    vesk_log_line_build(&id, &ctx, "", 0, 0, &scratch);
    line.assign(scratch.text, scratch.len);
    ASSERT_TRUE(std::regex_match(line, line_shape)) << line;
    EXPECT_EQ(field_of(line, "wall"), "unknown");
    EXPECT_EQ(field_of(line, "wall_ms"), "0");
    EXPECT_EQ(field_of(line, "tag"), "a\\x20b\\x0A");
    EXPECT_EQ(field_of(line, "flags"), "gap,truncated,partial");
    EXPECT_EQ(field_of(line, "level"), "D");
}

TEST_F(EmitterFixture, EscapedTextIsCappedAtTheLineSize)
{
    /* 2048 control bytes escape to 8192 characters; with a tag of control
     * bytes (escaped too) the line overflows. */
    std::string payload(2048, '\x01');
    std::string tag(31, '\x02');
    vesk_log_record rec = record(VESK_LOG_ERROR, VESK_LOG_REC_TEXT, payload, tag.c_str());
    memset(&vesk_log_cnt, 0, sizeof(vesk_log_cnt));
    em.copy_errors = 0;
    vesk_log_emit_record(&em, &rec);
    ASSERT_EQ(tap.lines.size(), 1u);
    const std::string &line = tap.lines[0].second;
    EXPECT_LE(line.size(), (size_t)VESK_LOG_LINE_SIZE);
    EXPECT_GT(line.size(), (size_t)VESK_LOG_LINE_SIZE - 4);
    EXPECT_TRUE(std::regex_match(line, line_shape));
    std::string msg = message_of(line);
    EXPECT_EQ(msg.size() % 4, 0u) << "an escape was split";
    EXPECT_EQ(vesk_log_cnt.truncated_bytes[VESK_LOG_ERROR], payload.size() - msg.size() / 4);
    EXPECT_EQ(tap.lines[0].first, VESK_LOG_ERRORS_STREAM);
}

TEST_F(EmitterFixture, HexDumpKeepsFiveHundredTwelveBytes)
{
    ASSERT_EQ(vesk_debug_set(1), 0);
    std::string data;
    for (int i = 0; i < 600; i++) data.push_back((char)i);
    vesk_log_record rec;
    ASSERT_EQ(vesk_log_record_fill(&rec, VESK_LOG_DETAIL, VESK_LOG_REC_HEX, "h", data.data(), data.size(),
                                   VESK_LOG_HEX_KEEP, -5),
              0);
    vesk_log_emit_record(&em, &rec);
    ASSERT_EQ(tap.lines.size(), 1u);
    const std::string &line = tap.lines[0].second;
    EXPECT_EQ(field_of(line, "flags"), "truncated");
    std::string msg = message_of(line);
    ASSERT_EQ(msg.rfind("n=600 rc=-5 hex=00 01 02 ", 0), 0u) << msg;
    EXPECT_EQ(msg.size(), strlen("n=600 rc=-5 hex=") + 512 * 3 - 1);
    EXPECT_EQ(msg.substr(msg.size() - 5), "FE FF") << "512th byte is 0xFF";
    EXPECT_EQ(vesk_log_cnt.truncated_bytes[VESK_LOG_DETAIL], 88u);
}

TEST_F(EmitterFixture, ErrorLinesAlsoReachTheRoleStreamWhileDebugIsOn)
{
    vesk_log_record rec = record(VESK_LOG_ERROR, VESK_LOG_REC_TEXT, "boom");
    vesk_log_emit_record(&em, &rec);
    ASSERT_EQ(tap.lines.size(), 1u);
    EXPECT_EQ(tap.lines[0].first, VESK_LOG_ERRORS_STREAM);
    tap.lines.clear();
    ASSERT_EQ(vesk_debug_set(1), 0);
    vesk_log_emit_record(&em, &rec);
    ASSERT_EQ(tap.lines.size(), 2u);
    EXPECT_EQ(tap.lines[0].first, VESK_LOG_ERRORS_STREAM);
    EXPECT_EQ(tap.lines[1].first, VESK_LOG_APP_STREAM);
    EXPECT_EQ(tap.lines[0].second, tap.lines[1].second);
}

TEST_F(EmitterFixture, DetailOfAnEarlierEpochIsNotWritten)
{
    ASSERT_EQ(vesk_debug_set(1), 0);
    vesk_log_record rec = record(VESK_LOG_DETAIL, VESK_LOG_REC_TEXT, "old");
    ASSERT_EQ(vesk_debug_set(0), 0);
    ASSERT_EQ(vesk_debug_set(1), 0);
    vesk_log_emit_record(&em, &rec);
    EXPECT_TRUE(tap.lines.empty());
    EXPECT_EQ(vesk_log_load(&vesk_log_cnt.suppressed), 1u);
}

/* ---- the running logger ---- */

TEST(Logger, CallsBeforeStartDoNothing)
{
    in_child([] {
        errno = 77;
        vesk_log_printf(VESK_LOG_ERROR, "t", "x");
        vesk_log_hex("t", "ab", 2, 0);
        vesk_log_ipc("t", "ab", 2, 0);
        EXPECT_EQ(errno, 77);
        vesk_log_stats st;
        memset(&st, 0xff, sizeof(st));
        vesk_log_get_stats(&st);
        EXPECT_EQ(st.vesk_console_drops, 0u);
        EXPECT_EQ(st.vesk_input_drops[VESK_LOG_ERROR], 0u);
    });
}

TEST(Logger, SuppressedDetailFromEightThreadsIsCountedAndKeepsErrno)
{
    TempDir dir;
    in_child([&] {
        start_logger(dir, VESK_LOG_APP);
        const int threads = 8;
        const int calls = 10000;
        std::vector<std::thread> pool;
        std::vector<int> errno_faults(threads, 0);
        for (int t = 0; t < threads; t++) {
            pool.emplace_back([t, &errno_faults] {
                for (int i = 0; i < calls; i++) {
                    errno = 1000 + t;
                    vesk_log_printf(VESK_LOG_DETAIL, "spin", "call %d of %d", i, t);
                    if (errno != 1000 + t) errno_faults[t]++;
                }
            });
        }
        for (auto &th : pool) th.join();
        vesk_log_stats st;
        vesk_log_get_stats(&st);
        EXPECT_EQ(st.vesk_suppressed_records, (uint64_t)threads * calls);
        EXPECT_EQ(st.vesk_input_drops[VESK_LOG_DETAIL], 0u);
        for (int t = 0; t < threads; t++) EXPECT_EQ(errno_faults[t], 0) << "thread " << t;
        vesk_log_stop();
    });
}

TEST(Logger, BusyRingRefusesWithoutMakingTheCallerWait)
{
    TempDir dir;
    in_child([&] {
        start_logger(dir, VESK_LOG_APP);
        ASSERT_EQ(vesk_debug_set(1), 0);
        /* Holding the lock as a logger thread would: producers must not wait for it. */
        pthread_mutex_lock(&vesk_log_g.detail_ring.lock);
        std::thread producer([] {
            for (int i = 0; i < 100; i++) {
                errno = EDOM;
                vesk_log_printf(VESK_LOG_DETAIL, "busy", "%05d", i);
                EXPECT_EQ(errno, EDOM);
            }
        });
        producer.join();
        pthread_mutex_unlock(&vesk_log_g.detail_ring.lock);
        vesk_log_stats st;
        vesk_log_get_stats(&st);
        EXPECT_EQ(st.vesk_input_drops[VESK_LOG_DETAIL], 100u);
        EXPECT_EQ(st.vesk_input_drop_bytes[VESK_LOG_DETAIL], 500u);
        vesk_log_stop();
    });
}

TEST(Logger, EveryRecordOfABurstIsWrittenOrCounted)
{
    TempDir dir;
    const uint64_t burst = 1000;
    in_child([&] {
        start_logger(dir, VESK_LOG_APP);
        ASSERT_EQ(vesk_debug_set(1), 0);
        /* The first hundred meet a ring held by another thread; the rest race the writer. */
        pthread_mutex_lock(&vesk_log_g.detail_ring.lock);
        for (uint64_t i = 0; i < burst; i++) {
            if (i == 100) pthread_mutex_unlock(&vesk_log_g.detail_ring.lock);
            vesk_log_printf(VESK_LOG_DETAIL, "burst", "line %llu", (unsigned long long)i);
        }
        vesk_log_stop();
        uint64_t dropped = vesk_log_load(&vesk_log_cnt.input_drops[VESK_LOG_DETAIL]);
        EXPECT_GE(dropped, 100u);
        std::vector<std::string> kept = lines_with(dir, "app0.log", "line ");
        EXPECT_EQ(kept.size() + dropped, burst);
        /* The loss is reported in the errors stream: the deltas add up to the total. */
        std::vector<std::string> reports = lines_with(dir, "errors0.log", "stage=input level=detail");
        ASSERT_GE(reports.size(), 1u);
        uint64_t sum = 0;
        for (const std::string &r : reports) {
            EXPECT_EQ(field_of(r, "tag"), "logger.loss");
            std::string msg = message_of(r);
            EXPECT_EQ(msg.rfind("origin=app stage=input level=detail delta=", 0), 0u) << msg;
            sum += std::stoull(field_of(msg, "delta"));
        }
        EXPECT_EQ(sum, dropped);
        EXPECT_EQ(field_of(message_of(reports.back()), "total"), std::to_string(dropped));
    });
}

/* The console's records, and how many the logger counted as dropped on
 * their way there: a push never waits for a ring whose holder was
 * preempted, so a loaded machine can lose one, but never silently. */
struct ConsoleRun {
    std::vector<std::string> lines;
    uint64_t dropped;
};

ConsoleRun console_of_four_errors()
{
    TempDir dir;
    in_child([&] {
        start_logger(dir, VESK_LOG_APP);
        errno = ENOENT;
        vesk_log_printf(VESK_LOG_ERROR, "probe", "open failed: %d", errno);
        EXPECT_EQ(errno, ENOENT);
        vesk_log_printf(VESK_LOG_DETAIL, "quiet", "not shown");
        std::string long_text(3000, 'z');
        vesk_log_printf(VESK_LOG_ERROR, "long", "%s", long_text.c_str());
        vesk_log_write(VESK_LOG_ERROR, "two", "first\r\nsecond", 13);
        vesk_log_stats st;
        vesk_log_get_stats(&st);
        EXPECT_EQ(st.vesk_truncated_bytes[VESK_LOG_ERROR], 3000u - 2047u);
        EXPECT_EQ(st.vesk_suppressed_records, 1u);
        vesk_log_stop();
        vesk_log_get_stats(&st);
        std::ofstream(dir / "dropped") << st.vesk_input_drops[VESK_LOG_ERROR] + st.vesk_console_drops;
    });
    ConsoleRun run{split_lines(read_file(dir / "console.txt")), 0};
    std::ifstream(dir / "dropped") >> run.dropped;
    return run;
}

TEST(Logger, ErrorsAreEchoedToTheConsoleInLineFormat)
{
    ConsoleRun run = console_of_four_errors();
    /* A counted drop is the logger keeping its promise not to wait; try
     * again for a run that shows every line. */
    for (int again = 0; again < 5 && run.dropped > 0; again++) run = console_of_four_errors();
    const std::vector<std::string> &lines = run.lines;
    ASSERT_EQ(run.dropped, 0u) << "every run lost a record";
    ASSERT_EQ(lines.size(), 4u);
    for (const std::string &line : lines) {
        EXPECT_TRUE(std::regex_match(line, line_shape)) << line;
        EXPECT_EQ(field_of(line, "level"), "E");
        EXPECT_EQ(field_of(line, "src"), "app");
    }
    EXPECT_EQ(message_of(lines[0]), "open failed: 2");
    EXPECT_EQ(field_of(lines[0], "tag"), "probe");
    EXPECT_EQ(message_of(lines[1]), std::string(2047, 'z'));
    EXPECT_EQ(field_of(lines[1], "flags"), "none");
    EXPECT_EQ(message_of(lines[2]), "first");
    EXPECT_EQ(message_of(lines[3]), "second");
    uint64_t seq0 = std::stoull(field_of(lines[0], "seq"));
    for (size_t i = 1; i < lines.size(); i++) EXPECT_GT(std::stoull(field_of(lines[i], "seq")), seq0);
}

} // namespace
