// The crash table: a shutdown, a reset and a format through the coordinator,
// killed with SIGKILL at every checkpoint and step boundary. The next boot
// finds the settings and the profile database old or new, never torn, and
// no request half done: a reset whose manifest was published is finished.
#include <ctype.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <set>
#include <string>
#include <vector>

#include "persist_fixture.h"

namespace {

const int kOldLanguage = 1, kNewLanguage = 7, kOldRange = 100, kNewRange = 321;

/* What is saved once the point is reached. */
enum Saved {
    NOTHING_YET, /* old or new: the new values may or may not be written */
    SETTINGS,    /* the settings file is new; the profiles old or new */
    EVERYTHING,  /* new values (for a reset: the finished reset) */
};

struct CrashCase {
    int reason;
    const char *point;
    Saved saved;
};

std::vector<CrashCase> crash_cases()
{
    std::vector<CrashCase> out;
    const char *shutdown_early[] = {"prepare:edits-drained", "current-ini:written", "current-ini:fsynced",
                                    "current-ini:renamed"};
    const char *shutdown_late[] = {"prepare:prepared", "lifecycle:prepared", "lifecycle:committed", "lifecycle:flushed",
                                   "lifecycle:synced"};
    for (int reason : {1, 6}) {
        for (const char *p : shutdown_early) out.push_back({reason, p, NOTHING_YET});
        out.push_back({reason, "current-ini:done", SETTINGS});
        for (const char *p : shutdown_late) out.push_back({reason, p, EVERYTHING});
    }
    out.push_back({6, "format:emptied", EVERYTHING});
    const char *reset_early[] = {"prepare:edits-drained",
                                 "reset:staged",
                                 "prepare:prepared",
                                 "lifecycle:prepared",
                                 "commit:reset-intent:written",
                                 "commit:reset-intent:fsynced"};
    /* From the manifest's rename on, the next boot finishes the reset. */
    const char *reset_late[] = {"commit:reset-intent:renamed",
                                "commit:reset-intent:done",
                                "commit:reset-intent-published",
                                "reset:settings:db-closed",
                                "reset:settings:defaults-done",
                                "reset:settings:current-ini-done",
                                "reset:settings:current-db-done",
                                "reset:settings:wifi-done",
                                "reset:before-marker-removed",
                                "reset:done",
                                "lifecycle:committed",
                                "lifecycle:flushed",
                                "lifecycle:synced"};
    for (const char *p : reset_early) out.push_back({5, p, NOTHING_YET});
    for (const char *p : reset_late) out.push_back({5, p, EVERYTHING});
    return out;
}

std::vector<std::string> request_args(int reason)
{
    return {std::to_string(reason), std::to_string(kNewLanguage), std::to_string(kNewRange)};
}

int language(const PersistDir &dir)
{
    std::string text = read_text(dir.current_ini);
    size_t at = text.find("\ns8language ");
    if (at == std::string::npos) return -1;
    size_t eq = text.find('=', at);
    return eq == std::string::npos ? -1 : atoi(text.c_str() + eq + 1);
}

int range(const PersistDir &dir)
{
    return atoi(sql_value(dir.profiles_db, "SELECT distance FROM ballistics WHERE device_id = 1").c_str());
}

ProbeRun lifecycle_probe()
{
    ProbeRun run;
    run.program = VESK_LIFECYCLE_PROBE;
    return run;
}

/* A run to its end: the terminal call names what the power did. */
struct Finished {
    std::string terminal;
    int language, range;
};

Finished finish(int reason)
{
    PersistDir dir;
    dir.create();
    ProbeRun run = lifecycle_probe();
    run.start(dir, request_args(reason), {});
    EXPECT_EQ(run.wait(), 0);
    Finished f = {read_text(dir.root + "/terminal"), language(dir), range(dir)};
    dir.remove();
    return f;
}

TEST(LifecycleCrash, UninterruptedRunsSaveAndEndAsAsked)
{
    const struct {
        int reason;
        const char *terminal;
    } rows[] = {{1, "power_off"}, {5, "reboot"}, {6, "reboot"}};
    for (const auto &row : rows) {
        Finished f = finish(row.reason);
        EXPECT_EQ(f.terminal, row.terminal) << row.reason;
        if (row.reason != 5) {
            EXPECT_EQ(f.language, kNewLanguage);
            EXPECT_EQ(f.range, kNewRange);
        }
    }
}

class LifecycleKilledAt : public ::testing::TestWithParam<CrashCase> {};

TEST_P(LifecycleKilledAt, NextBootFindsOldOrNewNeverTorn)
{
    const CrashCase &c = GetParam();
    static const Finished reset = finish(5);
    PersistDir dir;
    dir.create();
    int old_language = language(dir);
    ASSERT_EQ(old_language, kOldLanguage);
    ASSERT_EQ(range(dir), kOldRange);

    std::string ready = dir.root + "/ready";
    ProbeRun run = lifecycle_probe();
    run.start(dir, request_args(c.reason),
              {std::string("VESK_PERSIST_TEST_KILL_AT=") + c.point, "VESK_PERSIST_TEST_READY_FILE=" + ready});
    ASSERT_TRUE(wait_for_file(ready, 10000)) << c.point << " never reached";
    run.kill9();
    EXPECT_FALSE(file_exists(dir.root + "/terminal")) << "killed before the power went";

    ASSERT_EQ(run_probe(dir, {"boot"}), 0) << "the next boot starts cleanly";
    EXPECT_EQ(sql_value(dir.profiles_db, "PRAGMA integrity_check"), "ok");
    EXPECT_TRUE(temp_files(dir.root + "/factory").empty());
    EXPECT_FALSE(file_exists(dir.manifest)) << "a published reset is finished at boot, an unpublished one dropped";
    const int lang = language(dir), rng = range(dir);
    if (c.reason == 5 && c.saved == EVERYTHING) {
        EXPECT_EQ(lang, reset.language);
        EXPECT_EQ(rng, reset.range);
    } else if (c.saved == EVERYTHING) {
        EXPECT_EQ(lang, kNewLanguage);
        EXPECT_EQ(rng, kNewRange);
    } else {
        if (c.saved == SETTINGS)
            EXPECT_EQ(lang, kNewLanguage);
        else
            EXPECT_TRUE(lang == kOldLanguage || lang == kNewLanguage) << lang;
        EXPECT_TRUE(rng == kOldRange || rng == kNewRange) << rng;
    }
    dir.remove();
}

/* The row as its reason and step, not bytes (ctest shows it in the test's name). */
void PrintTo(const CrashCase &c, std::ostream *os) { *os << "reason " << c.reason << " at " << c.point; }

INSTANTIATE_TEST_SUITE_P(EveryStep, LifecycleKilledAt, ::testing::ValuesIn(crash_cases()),
                         [](const testing::TestParamInfo<CrashCase> &info) {
                             std::string s = "reason" + std::to_string(info.param.reason) + "_" + info.param.point;
                             for (char &ch : s)
                                 if (!isalnum((unsigned char)ch)) ch = '_';
                             return s;
                         });

} // namespace
