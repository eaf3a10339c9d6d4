// The persistence service: debounce, edit sections, the stores' writers,
// crash consistency at every kill point, every fault switch, and the EEPROM.
#include <ctype.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <thread>

#include <dirent.h>
#include <sqlite3.h>
#include <zlib.h>

#include "iniparser_handler.h"
#include "persist_unit_test.h"
#include "vesk_device_db.h"
#include "vesk_device_db_schema.h"
#include "vesk_fault.h"
#include "vesk_io.h"
#include "vesk_persist.h"
#include "vesk_persist_internal.h"
#include "vesk_profile_fields.h"

namespace {

uint64_t now_ms() { return vesk_persist_mono_ms(); }

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int count_lines(const std::string &path, const std::string &tag)
{
    std::string text = read_text(path);
    if (text == "<missing>") return 0;
    int n = 0;
    for (size_t at = 0; (at = text.find(tag + "\n", at)) != std::string::npos; at += tag.size() + 1)
        if (at == 0 || text[at - 1] == '\n') n++;
    return n;
}

class Service : public PersistUnitTest {
protected:
    std::string count_file;

    void SetUp() override
    {
        PersistUnitTest::SetUp();
        count_file = dir.root + "/count";
        setenv("VESK_PERSIST_TEST_COUNT_FILE", count_file.c_str(), 1);
    }
    vesk_persist_status status()
    {
        vesk_persist_status st;
        vesk_persist_get_status(&st);
        return st;
    }
    int stage_range(int range)
    {
        int rc = vesk_persist_edit_begin();
        if (rc != 0) return rc;
        vesk_profiles_lock();
        qel_ballistics.ballistics[0].target.range = (short)range;
        vesk_persist_profiles snap = {qel_ballistics, qel_ir_cursor};
        rc = vesk_persist_stage_profiles(&snap);
        vesk_profiles_unlock();
        vesk_persist_edit_end();
        return rc;
    }
    /* Times (ms after t0) at which the count file gained each tag line,
     * polled every 2 ms until until_ms after t0. */
    std::vector<uint64_t> write_times(const std::string &tag, uint64_t t0, uint64_t until_ms)
    {
        std::vector<uint64_t> times;
        while (now_ms() - t0 < until_ms) {
            int n = count_lines(count_file, tag);
            while ((int)times.size() < n) times.push_back(now_ms() - t0);
            sleep_ms(2);
        }
        return times;
    }
};

TEST_F(Service, StartArgumentsAndSecondStart)
{
    vesk_persist_paths p = dir.paths();
    vesk_persist_hooks hooks = {};
    EXPECT_EQ(vesk_persist_start(&p, NULL, &qel_dev_status, &profiles), -EINVAL);
    EXPECT_EQ(vesk_persist_start(&p, &hooks, NULL, &profiles), -EINVAL);
    EXPECT_EQ(vesk_persist_start(&p, &hooks, &qel_dev_status, NULL), -EINVAL);
    EXPECT_EQ(vesk_persist_edit_begin(), -ENODEV);
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(start(), -EBUSY);
    EXPECT_EQ(status().vesk_phase, VESK_PERSIST_RUNNING);
    EXPECT_EQ(profiles.vesk_ballistics.ballistics[3].target.range, 103);
    EXPECT_EQ(profiles.vesk_cursor.group[5].zero[1].u16IrCursorDistance, 151);
    EXPECT_EQ(vesk_persist_stop(2000), 0);
    EXPECT_EQ(status().vesk_phase, VESK_PERSIST_STOPPED);
    EXPECT_EQ(vesk_persist_stop(2000), 0);
    EXPECT_EQ(start(), 0); /* starts again after a stop */
}

/* When the debounce rule writes, given the times of the changes: 100 ms
 * after the last change, at most 500 ms after the first unsaved one. */
std::vector<uint64_t> expected_writes(const std::vector<uint64_t> &changes)
{
    std::vector<uint64_t> writes;
    uint64_t first = changes[0], last = changes[0];
    for (size_t i = 1; i < changes.size(); i++) {
        uint64_t due = std::min(last + 100, first + 500);
        if (changes[i] >= due) {
            writes.push_back(due);
            first = changes[i];
        }
        last = changes[i];
    }
    writes.push_back(std::min(last + 100, first + 500));
    return writes;
}

class Debounce : public Service, public ::testing::WithParamInterface<int> {};

TEST_P(Debounce, ChangesFiftyMsApartAreWrittenByTheRule)
{
    ASSERT_EQ(start(), 0);
    const int count = GetParam();
    uint64_t t0 = now_ms();
    std::vector<uint64_t> changes;
    std::thread burst([&] {
        /* Each change at its own time after t0, so one late wake-up does
         * not push every later change (and the rule's answer) along. */
        for (int i = 1; i <= count; i++) {
            const uint64_t at = (uint64_t)(i - 1) * 50;
            if (now_ms() - t0 < at) sleep_ms((int)(at - (now_ms() - t0)));
            changes.push_back(now_ms() - t0);
            Qel_DevStatusSet("s8language", 10 + i, 0);
        }
    });
    std::vector<uint64_t> times = write_times("current-ini", t0, 50 * count + 500);
    burst.join();
    // With ten changes the rule writes once, at 500 ms (the last change came
    // at 450 ms); with fourteen, at 500 ms and 100 ms after the last change.
    std::vector<uint64_t> want = expected_writes(changes);
    ASSERT_EQ(times.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_GE(times[i] + 5, want[i]) << "write " << i;
        /* Never early; late only by the worker's wake-up on a busy machine. */
        EXPECT_LE(times[i], want[i] + 400) << "write " << i;
    }
    EXPECT_NE(read_text(dir.current_ini).find("= " + std::to_string(10 + count)), std::string::npos);

    // The same text again writes nothing.
    Qel_DevStatusSet("s8language", 10 + count, 0);
    EXPECT_EQ(write_times("current-ini", now_ms(), 400).size(), want.size());
    EXPECT_EQ(status().vesk_pending_mask, 0u);
}

INSTANTIATE_TEST_SUITE_P(Burst, Debounce, ::testing::Values(10, 14));

TEST_F(Service, SettingsWaitForOpenEditSectionsButProfilesDoNot)
{
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(vesk_persist_edit_begin(), 0);
    Qel_DevStatusSet("s8language", 5, 0); /* nested section */
    ASSERT_EQ(stage_range(321), 0);
    EXPECT_EQ(vesk_persist_flush(400), -ETIMEDOUT);
    EXPECT_EQ(sql_value(dir.profiles_db, "SELECT distance FROM ballistics WHERE device_id = 1"), "321");
    EXPECT_EQ(read_text(dir.current_ini).find("= 5"), std::string::npos);
    vesk_persist_edit_end();
    EXPECT_EQ(vesk_persist_flush(2000), 0);
    EXPECT_NE(read_text(dir.current_ini).find("s8language"), std::string::npos);
    vesk_persist_edit_end(); /* an end without a begin does nothing */
    EXPECT_EQ(vesk_persist_edit_begin(), 0);
    vesk_persist_edit_end();
}

TEST_F(Service, SnapshotsWithNonFiniteNumbersOrBadIndexesAreRefused)
{
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(vesk_persist_edit_begin(), 0);
    const std::function<void(vesk_persist_profiles &)> damage[] = {
        [](vesk_persist_profiles &p) { p.vesk_cursor.u8CurrentGroup = 6; },
        [](vesk_persist_profiles &p) { p.vesk_ballistics.u8CurrentBallistics = 6; },
        [](vesk_persist_profiles &p) { p.vesk_cursor.group[2].u8CurrentZero = 2; },
        [](vesk_persist_profiles &p) { p.vesk_cursor.group[5].zero[1].flIrCursorOffsetY = NAN; },
        [](vesk_persist_profiles &p) { p.vesk_ballistics.ballistics[4].gun.bullet.ballisticsCoef = INFINITY; },
        [](vesk_persist_profiles &p) { p.vesk_ballistics.ballistics[0].atmosphere.temperature = NAN; },
        [](vesk_persist_profiles &p) { p.vesk_ballistics.ballistics[1].gun.bullet.atmosphere.barometer = -INFINITY; },
        [](vesk_persist_profiles &p) { p.vesk_ballistics.ballistics[5].wind.speed = NAN; },
    };
    uint64_t before = status().vesk_accepted[2];
    for (const auto &d : damage) {
        vesk_persist_profiles p = profiles;
        d(p);
        EXPECT_EQ(vesk_persist_stage_profiles(&p), -EINVAL);
    }
    EXPECT_EQ(vesk_persist_stage_profiles(NULL), -EINVAL);
    EXPECT_EQ(status().vesk_accepted[2], before);
    Qel_DevStatus s = qel_dev_status;
    s.f_zero_slant = NAN;
    EXPECT_EQ(vesk_persist_stage_eeprom(&s, NULL), -EINVAL);
    vesk_persist_edit_end();
}

TEST_F(Service, ProfilesReachTheDatabaseInOneTransaction)
{
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(vesk_persist_edit_begin(), 0);
    vesk_profiles_lock();
    for (int p = 0; p < 6; p++) qel_ballistics.ballistics[p].gun.bullet.velocity = 700 + p;
    qel_ir_cursor.group[3].zero[1].flIrCursorOffsetX = -1.25f;
    qel_ir_cursor.group[3].zero[1].u16IrCursorDistanceYD = 77;
    vesk_persist_profiles snap = {qel_ballistics, qel_ir_cursor};
    ASSERT_EQ(vesk_persist_stage_profiles(&snap), 0);
    vesk_profiles_unlock();
    vesk_persist_edit_end();
    ASSERT_EQ(vesk_persist_flush(3000), 0);
    EXPECT_EQ(sql_value(dir.profiles_db, "SELECT group_concat(muzzie_velocity) FROM ballistics ORDER BY device_id"),
              "700,701,702,703,704,705");
    EXPECT_EQ(sql_value(dir.profiles_db, "SELECT remark2 || '/' || remark FROM zero_point WHERE device_id = 4 AND "
                                         "index_show = 1"),
              "-1.25/77");
    EXPECT_EQ(sql_value(dir.profiles_db, "PRAGMA integrity_check"), "ok");
    ASSERT_EQ(vesk_persist_stop(2000), 0);
    ASSERT_EQ(start(), 0);
    EXPECT_DOUBLE_EQ(profiles.vesk_ballistics.ballistics[5].gun.bullet.velocity, 705.0);
    EXPECT_FLOAT_EQ(profiles.vesk_cursor.group[3].zero[1].flIrCursorOffsetX, -1.25f);
}

TEST_F(Service, WifiNamesAndPassphrasesCannotInjectLines)
{
    ASSERT_EQ(start(), 0);
    vesk_persist_wifi w;
    ASSERT_EQ(vesk_persist_get_wifi(&w), 0);
    EXPECT_STREQ(w.vesk_ssid, "Scope-1");
    EXPECT_STREQ(w.vesk_password, "12345678");
    EXPECT_EQ(w.vesk_generation, 1u);
    static const std::string too_long(64, 'a');
    const char *bad_names[] = {"", "two words", "x\nssid=evil", "semi;colon", too_long.c_str()};
    for (const char *n : bad_names) EXPECT_EQ(vesk_persist_stage_wifi(n, NULL, NULL), -EINVAL) << n;
    EXPECT_EQ(vesk_persist_stage_wifi(NULL, "pass\nwpa=1", NULL), -EINVAL);
    EXPECT_EQ(vesk_persist_stage_wifi(NULL, "tab\tinside", NULL), -EINVAL);
    uint64_t gen = 0;
    ASSERT_EQ(vesk_persist_stage_wifi("Scope_2", "new pass #9", &gen), 0);
    EXPECT_EQ(gen, 2u);
    ASSERT_EQ(vesk_persist_flush(3000), 0);
    EXPECT_EQ(read_text(dir.wifi_wpa2), "interface=wlan0\nssid=Scope_2\nwpa_passphrase=new pass #9\nwpa=2\n");
    EXPECT_EQ(read_text(dir.wifi_none), "interface=wlan0\nssid=Scope_2\n");
}

TEST_F(Service, WifiPatchAppendsMissingKeysAndEndsEveryLine)
{
    char *out = NULL;
    size_t n = 0;
    const char text[] = "ctrl=1\nssid=old\nssid=older\nlast";
    ASSERT_EQ(vesk_wifi_patch(text, strlen(text), "NEW", "secret12", &out, &n), 0);
    EXPECT_EQ(std::string(out, n), "ctrl=1\nssid=NEW\nssid=NEW\nlast\nwpa_passphrase=secret12\n");
    free(out);
    ASSERT_EQ(vesk_wifi_patch("", 0, "N", NULL, &out, &n), 0);
    EXPECT_EQ(std::string(out, n), "ssid=N\n");
    free(out);
}

TEST_F(Service, StaleTemporaryFilesAreSweptAtStart)
{
    const std::string stale[] = {dir.current_ini + ".tmp-4242-4243", dir.authority_ini + ".tmp-1-2",
                                 dir.wifi_wpa2 + ".tmp-77-78"};
    for (const std::string &s : stale) write_text(s, "partial");
    write_text(dir.current_ini + ".tmp-notours", "kept"); /* not a temporary name */
    ASSERT_EQ(start(), 0);
    for (const std::string &s : stale) EXPECT_FALSE(file_exists(s)) << s;
    EXPECT_TRUE(file_exists(dir.current_ini + ".tmp-notours"));
}

TEST_F(Service, FailedStoreWaitsForAChangeOrAForce)
{
    ASSERT_EQ(start(), 0);
    setenv("VESK_PERSIST_FAULT_OP", "rename", 1);
    setenv("VESK_PERSIST_FAULT_HITS", "1", 1);
    Qel_DevStatusSet("s8language", 8, 0);
    sleep_ms(300);
    vesk_persist_status st = status();
    EXPECT_EQ(st.vesk_store_error[0], EIO);
    EXPECT_EQ(st.vesk_pending_mask, 1u);
    sleep_ms(300); /* held: no second attempt */
    EXPECT_EQ(count_lines(count_file, "current-ini"), 0);
    EXPECT_EQ(vesk_persist_flush(2000), 0); /* the fault fired once: the forced retry stores it */
    EXPECT_NE(read_text(dir.current_ini).find("= 8"), std::string::npos);
}

TEST_F(Service, RenameFaultHitsTheThirdReplaceAndReArmsOnANewNonce)
{
    ASSERT_EQ(start(), 0);
    setenv("VESK_PERSIST_FAULT_OP", "rename", 1);
    setenv("VESK_PERSIST_FAULT_HITS", "3", 1);
    setenv("VESK_PERSIST_FAULT_NONCE", "a", 1);
    int results[5];
    for (int i = 0; i < 5; i++) {
        Qel_DevStatusSet("s8language", 40 + i, 0);
        results[i] = vesk_persist_flush(2000);
    }
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(results[2], -EIO);
    EXPECT_EQ(results[3], 0);
    EXPECT_EQ(results[4], 0);
    setenv("VESK_PERSIST_FAULT_NONCE", "b", 1);
    for (int i = 0; i < 3; i++) {
        Qel_DevStatusSet("s8language", 50 + i, 0);
        results[i] = vesk_persist_flush(2000);
    }
    EXPECT_EQ(results[2], -EIO);
    EXPECT_EQ(read_text(dir.current_ini).find("= 52"), std::string::npos);
    EXPECT_TRUE(temp_files(dir.root + "/factory").empty());
}

TEST_F(Service, CorruptEepromReadBackLeavesTheStoreInError)
{
    ASSERT_EQ(start(), 0);
    setenv("VESK_PERSIST_FAULT_OP", "eeprom_verify_corrupt", 1);
    snprintf(qel_dev_status.sn, sizeof qel_dev_status.sn, "SN-99");
    uint64_t gen = 0;
    ASSERT_EQ(vesk_persist_stage_eeprom(&qel_dev_status, &gen), 0);
    EXPECT_EQ(gen, 1u);
    EXPECT_EQ(vesk_persist_flush(2000), -EIO);
    vesk_persist_status st = status();
    EXPECT_EQ(st.vesk_store_error[4], EIO);
    EXPECT_EQ(st.vesk_pending_mask, 1u << 4);
    EXPECT_TRUE(file_exists(dir.recovery + "/eeprom.pending")); /* the record waits in its journal */
    unsetenv("VESK_PERSIST_FAULT_OP");
    EXPECT_EQ(vesk_persist_flush(2000), 0);
    std::string e = read_text(dir.eeprom);
    EXPECT_EQ(e.size(), 4096u);
    EXPECT_EQ(e.substr(0, 28), "[info]\npn=PN-7\nsn=SN-99\ns16r");
    EXPECT_FALSE(file_exists(dir.recovery + "/eeprom.pending"));
}

TEST_F(Service, UnreadableEepromIsNeverOverwrittenWithDefaults)
{
    /* Tests run as root, which reads any mode: take the device away. */
    rename(dir.eeprom.c_str(), (dir.eeprom + ".away").c_str());
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(qel_dev_status.s16RangeOffsetX, 639);
    EXPECT_EQ(vesk_persist_stage_eeprom(&qel_dev_status, NULL), -EIO);
    EXPECT_EQ(status().vesk_pending_mask, 0u);
    EXPECT_FALSE(file_exists(dir.eeprom));
}

// ---- crash consistency -------------------------------------------------

struct CrashCase {
    const char *action; /* probe arguments, space separated */
    const char *point;
};

std::vector<std::string> split(const std::string &s)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < s.size()) {
        size_t sp = s.find(' ', at);
        if (sp == std::string::npos) sp = s.size();
        out.push_back(s.substr(at, sp - at));
        at = sp + 1;
    }
    return out;
}

std::vector<std::string> stored_files(const PersistDir &d)
{
    return {d.current_ini, d.authority_ini, d.defaults_ini, d.wifi_wpa2, d.wifi_none, d.eeprom};
}

/* The files one action leaves on a fresh unit, keyed by file index. */
std::vector<std::string> new_version(const char *action)
{
    static std::map<std::string, std::vector<std::string>> cache;
    auto it = cache.find(action);
    if (it != cache.end()) return it->second;
    PersistDir ref;
    ref.create();
    EXPECT_EQ(run_probe(ref, split(action)), 0) << action;
    std::vector<std::string> files;
    for (const std::string &f : stored_files(ref)) files.push_back(read_text(f));
    ref.remove();
    cache[action] = files;
    return files;
}

const char *const kSet = "set s8language 7";
const char *const kDefaults = "defaults s8language 7";
const char *const kWifi = "wifi Scope_9 passphrase9";
const char *const kEeprom = "eeprom SN-NEW";

const CrashCase kCrashCases[] = {
    {kSet, "current-ini:written"},
    {kSet, "current-ini:fsynced"},
    {kSet, "current-ini:renamed"},
    {kSet, "current-ini:done"},
    {kDefaults, "defaults-authority:written"},
    {kDefaults, "defaults-authority:fsynced"},
    {kDefaults, "defaults-authority:renamed"},
    {kDefaults, "defaults-authority:done"},
    {kDefaults, "defaults:authority-done"},
    {kDefaults, "defaults-mirror:written"},
    {kDefaults, "defaults-mirror:fsynced"},
    {kDefaults, "defaults-mirror:renamed"},
    {kDefaults, "defaults-mirror:done"},
    {kDefaults, "defaults:ini-mirror-done"},
    {kWifi, "wifi-wpa2:written"},
    {kWifi, "wifi-wpa2:fsynced"},
    {kWifi, "wifi-wpa2:renamed"},
    {kWifi, "wifi-wpa2:done"},
    {kWifi, "wifi:wpa2-done"},
    {kWifi, "wifi-none:written"},
    {kWifi, "wifi-none:fsynced"},
    {kWifi, "wifi-none:renamed"},
    {kWifi, "wifi-none:done"},
    {kEeprom, "eeprom-journal:written"},
    {kEeprom, "eeprom-journal:fsynced"},
    {kEeprom, "eeprom-journal:renamed"},
    {kEeprom, "eeprom-journal:done"},
    {kEeprom, "eeprom:cleared"},
    {kEeprom, "eeprom:done"},
    {kEeprom, "eeprom:verified"},
};

void PrintTo(const CrashCase &c, std::ostream *os) { *os << c.action << " @ " << c.point; }

/* The "ssid=" line of an access-point file, empty when it has none. */
std::string ssid_line(const std::string &path)
{
    const std::string text = "\n" + read_text(path);
    size_t at = text.find("\nssid=");
    if (at == std::string::npos) return "";
    return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

class CrashAtKillPoint : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashAtKillPoint, EachFileIsOldOrNewAndTheSettingSurvives)
{
    const CrashCase &c = GetParam();
    std::vector<std::string> fresh = new_version(c.action);
    PersistDir dir;
    dir.create();
    std::vector<std::string> paths = stored_files(dir);
    std::vector<std::string> old;
    for (const std::string &f : paths) old.push_back(read_text(f));
    const bool eeprom_case = std::string(c.action) == kEeprom;

    std::string ready = dir.root + "/ready";
    ProbeRun run;
    run.start(dir, split(c.action),
              {std::string("VESK_PERSIST_TEST_KILL_AT=") + c.point, "VESK_PERSIST_TEST_READY_FILE=" + ready});
    ASSERT_TRUE(wait_for_file(ready, 10000)) << c.point << " never reached";
    run.kill9();

    // The EEPROM is a device without rename: between its clear and its
    // read-back it may hold neither version until the next boot replays
    // the journal. Every other file is old or new at every instant.
    for (size_t i = 0; i < paths.size(); i++) {
        if (eeprom_case && i == paths.size() - 1) continue;
        std::string now = read_text(paths[i]);
        EXPECT_TRUE(now == old[i] || now == fresh[i]) << c.point << ": torn " << paths[i];
    }

    ASSERT_EQ(run_probe(dir, {"boot"}), 0) << c.point;
    for (size_t i = 0; i < paths.size(); i++) {
        std::string now = read_text(paths[i]);
        EXPECT_TRUE(now == old[i] || now == fresh[i]) << c.point << ": after restart " << paths[i];
    }
    // Both access points carry one name again, whichever it is, and the
    // next boot keeps it so.
    EXPECT_EQ(ssid_line(dir.wifi_none), ssid_line(dir.wifi_wpa2)) << c.point << ": the access points disagree";
    ASSERT_EQ(run_probe(dir, {"boot"}), 0) << c.point;
    EXPECT_EQ(ssid_line(dir.wifi_none), ssid_line(dir.wifi_wpa2)) << c.point << ": after a second restart";
    bool journalled = strcmp(c.point, "eeprom-journal:written") != 0 && strcmp(c.point, "eeprom-journal:fsynced") != 0;
    if (eeprom_case && journalled) {
        EXPECT_EQ(read_text(paths.back()), fresh.back()) << c.point << ": journal not replayed";
    }
    EXPECT_TRUE(temp_files(dir.root).empty()) << c.point;

    // Running again, the same change is stored.
    ASSERT_EQ(run_probe(dir, split(c.action)), 0) << c.point;
    for (size_t i = 0; i < paths.size(); i++) EXPECT_EQ(read_text(paths[i]), fresh[i]) << c.point << " " << paths[i];
    dir.remove();
}

std::string case_name(const testing::TestParamInfo<CrashCase> &info)
{
    std::string s = std::to_string(info.index) + "_" + info.param.point;
    for (char &ch : s)
        if (!isalnum((unsigned char)ch)) ch = '_';
    return s;
}

INSTANTIATE_TEST_SUITE_P(EveryStore, CrashAtKillPoint, ::testing::ValuesIn(kCrashCases), case_name);

// ---- fault switches ----------------------------------------------------

struct FaultCase {
    const char *op;
    const char *action;
    int file;      /* index into stored_files, the file the action writes */
    bool fails;    /* reported as -EIO; else retried inside the write */
    bool kept_old; /* the failed save left the old file */
};

const FaultCase kFaultCases[] = {
    {"open", kSet, 0, true, true},
    {"write", kSet, 0, true, true},
    {"shortwrite", kSet, 0, false, false},
    {"eintr", kSet, 0, false, false},
    {"read", kWifi, 3, true, true},
    {"fsync", kSet, 0, true, true},
    {"rename", kSet, 0, true, true},
    /* the rename has happened: the new file is whole, the store retries */
    {"dirfsync", kSet, 0, true, false},
    {"eeprom_open", kEeprom, 5, true, true},
    /* written, but not confirmed: the store stays dirty and its journal kept */
    {"eeprom_verify_open", kEeprom, 5, true, false},
    {"eeprom_verify_corrupt", kEeprom, 5, true, false},
};

void PrintTo(const FaultCase &c, std::ostream *os) { *os << c.op << " during " << c.action; }

class FaultSwitch : public Service, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultSwitch, FailureIsReportedAndTheNextSaveStores)
{
    const FaultCase &c = GetParam();
    std::vector<std::string> fresh = new_version(c.action);
    std::string path = stored_files(dir)[c.file];
    std::string old = read_text(path);
    ASSERT_EQ(start(), 0);
    setenv("VESK_PERSIST_FAULT_OP", c.op, 1);
    int rc = persist_action(split(c.action));
    if (rc == 0) rc = vesk_persist_flush(3000);
    if (c.fails) {
        EXPECT_EQ(rc, -EIO) << c.op;
        EXPECT_NE(status().vesk_pending_mask, 0u) << c.op;
        std::string now = read_text(path);
        if (c.kept_old) {
            EXPECT_EQ(now, old) << c.op;
        } else {
            EXPECT_TRUE(now == old || now == fresh[c.file]) << c.op;
        }
    } else {
        EXPECT_EQ(rc, 0) << c.op;
        EXPECT_EQ(read_text(path), fresh[c.file]) << c.op;
    }
    EXPECT_TRUE(temp_files(dir.root).empty()) << c.op;
    unsetenv("VESK_PERSIST_FAULT_OP");
    EXPECT_EQ(vesk_persist_flush(3000), 0) << c.op;
    EXPECT_EQ(read_text(path), fresh[c.file]) << c.op;
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, FaultSwitch, ::testing::ValuesIn(kFaultCases),
                         [](const testing::TestParamInfo<FaultCase> &info) { return std::string(info.param.op); });

TEST(FaultPoints, CheckpointsAndSwitchesAreInertWithoutTheirVariables)
{
    for (const char *v : {"VESK_PERSIST_FAULT_OP", "VESK_PERSIST_TEST_KILL_AT", "VESK_PERSIST_TEST_PAUSE_AT",
                          "VESK_PERSIST_TEST_DELAY_AT", "VESK_PERSIST_TEST_COUNT_FILE"})
        unsetenv(v);
    EXPECT_FALSE(vesk_fault_should_fail("write"));
    vesk_test_checkpoint("current-ini:written");
    vesk_test_pause_point("attempt:ini-captured");
    vesk_test_delay_point("io:write");
    vesk_test_count("current-ini");
    setenv("VESK_PERSIST_FAULT_OP", "write", 1);
    setenv("VESK_PERSIST_FAULT_HITS", "0", 1); /* below 1 means the first call */
    setenv("VESK_PERSIST_FAULT_ERRNO", "28", 1);
    EXPECT_FALSE(vesk_fault_should_fail("read"));
    EXPECT_TRUE(vesk_fault_should_fail("write"));
    EXPECT_FALSE(vesk_fault_should_fail("write"));
    EXPECT_EQ(vesk_fault_errno(), ENOSPC);
}

TEST(FaultPoints, PausePointWaitsForTheResumeFile)
{
    char tmpl[] = "/tmp/vesk-pause-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string ready = std::string(tmpl) + "/ready", resume = std::string(tmpl) + "/resume";
    setenv("VESK_PERSIST_TEST_PAUSE_AT", "attempt:ini-captured", 1);
    setenv("VESK_PERSIST_TEST_READY_FILE", ready.c_str(), 1);
    setenv("VESK_PERSIST_TEST_RESUME_FILE", resume.c_str(), 1);
    std::atomic<bool> passed{false};
    std::thread t([&] {
        vesk_test_pause_point("attempt:ini-captured");
        passed = true;
    });
    ASSERT_TRUE(wait_for_file(ready, 2000));
    sleep_ms(20);
    EXPECT_FALSE(passed);
    write_text(resume, "");
    t.join();
    EXPECT_TRUE(passed);
    struct stat st;
    ASSERT_EQ(stat(ready.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    unlink(ready.c_str());
    unlink(resume.c_str());
    rmdir(tmpl);
}

TEST(DurableWrite, ReplaceSetsTheModeAndLeavesNoTemporaryOnFailure)
{
    char tmpl[] = "/tmp/vesk-io-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string path = std::string(tmpl) + "/f";
    ASSERT_EQ(vesk_io_atomic_replace("t", path.c_str(), "abc", 3, 0600), 0);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    setenv("VESK_PERSIST_FAULT_OP", "fsync", 1);
    setenv("VESK_PERSIST_FAULT_NONCE", "io", 1);
    setenv("VESK_PERSIST_FAULT_ERRNO", "28", 1);
    EXPECT_EQ(vesk_io_atomic_replace("t", path.c_str(), "defg", 4, 0644), -ENOSPC);
    EXPECT_EQ(read_text(path), "abc");
    EXPECT_TRUE(temp_files(tmpl).empty());
    EXPECT_EQ(vesk_io_atomic_replace("t", "/nonexistent-dir/x", "a", 1, 0644), -ENOENT);
    char *data = NULL;
    size_t n = 0;
    EXPECT_EQ(vesk_io_read_file((std::string(tmpl) + "/missing").c_str(), &data, &n), -ENOENT);
    unlink(path.c_str());
    rmdir(tmpl);
}

} // namespace

// ---- profile database ------------------------------------------------------

namespace {

struct DbCase {
    const char *what;
    const char *damage_sql; /* empty: a sound database */
    int want;
};

const DbCase kDbCases[] = {
    {"sound database", "", 0},
    {"missing ballistics row", "DELETE FROM ballistics WHERE device_id = 6;", -EINVAL},
    {"third zero slot of a device", "INSERT INTO zero_point VALUES(999, 3, 1, 1, 1, 1, '1', '0', '0');", -EINVAL},
    {"zero slot 2 beside the two", "INSERT INTO zero_point VALUES(999, 3, 2, 1, 1, 1, '1', '0', '0');", 0},
    {"swapped columns",
     "ALTER TABLE ballistics RENAME COLUMN distance TO tmp; ALTER TABLE ballistics RENAME COLUMN distance_yard TO "
     "distance; ALTER TABLE ballistics RENAME COLUMN tmp TO distance_yard;",
     -EINVAL},
    {"extra trailing column", "ALTER TABLE ballistics ADD COLUMN extra text;", 0},
    {"missing device table", "DROP TABLE device;", -EINVAL},
    {"null in a stored column", "UPDATE ballistics SET latitude = NULL WHERE device_id = 2;", -EINVAL},
    {"null altitude is allowed", "UPDATE ballistics SET remark = NULL;", 0},
    {"device id out of range", "UPDATE ballistics SET device_id = 7 WHERE device_id = 6;", -EINVAL},
    {"duplicate device id", "UPDATE ballistics SET device_id = 5 WHERE device_id = 6;", -EINVAL},
    {"fractional device id in zero points", "UPDATE zero_point SET device_id = 1.5 WHERE id = 10;", -EINVAL},
    {"negative zero slot", "UPDATE zero_point SET index_show = -1 WHERE id = 10;", -EINVAL},
};

void PrintTo(const DbCase &c, std::ostream *os) { *os << c.what; }

class DatabaseVerification : public ::testing::TestWithParam<DbCase> {};

TEST_P(DatabaseVerification, GivesThePartsVerdict)
{
    PersistDir dir;
    dir.create();
    make_profile_db(dir.profiles_db, GetParam().damage_sql);
    EXPECT_EQ(vesk_device_db_validate(dir.profiles_db.c_str()), GetParam().want) << GetParam().what;
    Qel_DevStatus s = {};
    vesk_persist_profiles p;
    int rc = vesk_device_db_open(dir.profiles_db.c_str(), &s, &p);
    EXPECT_EQ(rc, GetParam().want) << GetParam().what;
    if (rc == 0) {
        EXPECT_EQ(p.vesk_ballistics.ballistics[2].target.range, 102);
        EXPECT_EQ(p.vesk_cursor.group[2].zero[1].u16IrCursorDistance, 121); /* slot 2 rows are ignored */
        EXPECT_EQ(vesk_device_db_close(), 0);
    }
    dir.remove();
}

INSTANTIATE_TEST_SUITE_P(Table, DatabaseVerification, ::testing::ValuesIn(kDbCases));

/* Another connection (a copy of the file being read) holds the lock for a
 * moment: the write waits for it instead of failing the store. */
TEST(Database, AWriteWaitsForAReaderToLetGo)
{
    PersistDir dir;
    dir.create();
    const std::string path = dir.root + "/locked.db";
    __sql_db writer;
    ASSERT_EQ(sql_db_open(&writer, path.c_str(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), 0);
    ASSERT_EQ(sql_db_exec(&writer, "CREATE TABLE t(v INTEGER);", NULL, NULL), 0);
    sqlite3 *reader = NULL;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &reader, SQLITE_OPEN_READONLY, NULL), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM t;", NULL, NULL, NULL), SQLITE_OK);
    std::thread release([&] {
        sleep_ms(200);
        sqlite3_exec(reader, "COMMIT;", NULL, NULL, NULL);
    });
    EXPECT_EQ(sql_db_exec(&writer, "INSERT INTO t VALUES (1);", NULL, NULL), 0);
    release.join();
    sqlite3_close(reader);
    sql_db_close(&writer);
    dir.remove();
}

/* The profile fields' table names each stored field's column and its
 * declared type; reading, verifying and writing find a column only by its
 * place, so a type the table gets wrong would show nowhere else. */
TEST(Database, EveryProfileColumnStandsInTheSchemaAsTheFieldTableSays)
{
    sqlite3 *db = NULL;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, VESK_DEVICE_DB_SCHEMA, NULL, NULL, NULL), SQLITE_OK);
    char **t = NULL;
    int rows = 0, cols = 0;
    ASSERT_EQ(sqlite3_get_table(db, "PRAGMA table_info(ballistics);", &t, &rows, &cols, NULL), SQLITE_OK);
    ASSERT_EQ(cols, 6); /* cid, name, type, notnull, dflt_value, pk */
    EXPECT_EQ(rows, VESK_PF_DB_COLUMNS);
    int stored = 0;
    for (const vesk_profile_field &f : vesk_profile_fields) {
        if (f.db_column < 0) continue;
        stored++;
        ASSERT_LT(f.db_column, rows) << f.name;
        char *const *column = t + (f.db_column + 1) * cols;
        EXPECT_STREQ(column[1], f.db_name) << f.name;
        EXPECT_STRCASEEQ(column[2], f.db_type) << f.name; /* SQLite reports the type in capitals */
    }
    EXPECT_EQ(stored, rows - 2) << "every column but id and device_id holds a field";
    sqlite3_free_table(t);
    sqlite3_close(db);
}

TEST(Database, ForeignFilesAreRejected)
{
    PersistDir dir;
    dir.create();
    write_text(dir.profiles_db, std::string(4096, 'x'));
    EXPECT_EQ(vesk_device_db_validate(dir.profiles_db.c_str()), -EINVAL);
    EXPECT_EQ(vesk_device_db_validate((dir.root + "/none.db").c_str()), -ENOENT);
    EXPECT_EQ(vesk_device_db_errno(13 /* SQLITE_FULL */), -ENOSPC);
    dir.remove();
}

} // namespace

TEST_F(Service, RejectedDatabaseIsSetAsideAndTheDefaultsRestored)
{
    make_profile_db(dir.authority_db, "UPDATE ballistics SET distance = '555' WHERE device_id = 1;");
    for (int round = 0; round < 2; round++) {
        make_profile_db(dir.profiles_db, "DELETE FROM ballistics WHERE device_id = 6;");
        ASSERT_EQ(start(), 0);
        EXPECT_EQ(status().vesk_profiles_recovered, 1);
        EXPECT_EQ(profiles.vesk_ballistics.ballistics[0].target.range, 555);
        ASSERT_EQ(vesk_persist_stop(2000), 0);
    }
    // Both rejected files are kept, neither replaced the other.
    EXPECT_EQ(sql_value(dir.profiles_db + ".rejected", "SELECT count(*) FROM ballistics"), "5");
    EXPECT_EQ(sql_value(dir.profiles_db + ".rejected-1", "SELECT count(*) FROM ballistics"), "5");
    EXPECT_EQ(sql_value(dir.profiles_db, "PRAGMA integrity_check"), "ok");
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(status().vesk_profiles_recovered, 0);
}

// ---- prepare and commit ----------------------------------------------------

namespace {

vesk_persist_request request(vesk_persist_reason reason, const char *ssid = "")
{
    vesk_persist_request r = {};
    r.vesk_reason = reason;
    snprintf(r.vesk_reset_ssid, sizeof r.vesk_reset_ssid, "%s", ssid);
    snprintf(r.vesk_update_path, sizeof r.vesk_update_path, "/usrdata/media/update.zip");
    return r;
}

/* Polls a status call until it leaves 0. */
int settle(int (*call)(const vesk_persist_token *), const vesk_persist_token &t)
{
    int rc;
    for (int i = 0; i < 2500 && (rc = call(&t)) == 0; i++) sleep_ms(2);
    return rc;
}

int busy_format(void *) { return -EBUSY; }

/* A prepare that completes, and its admitted commit. */
void prepare_and_commit(vesk_persist_reason reason, vesk_persist_token *t)
{
    vesk_persist_request r = request(reason);
    ASSERT_EQ(vesk_persist_prepare(&r, now_ms() + 3000, t), 0);
    ASSERT_EQ(settle(vesk_persist_prepare_status, *t), 1);
    ASSERT_EQ(vesk_persist_commit(t), 0);
}

} // namespace

TEST_F(Service, PrepareWhoseDeadlinePassesWithAnEditOpenLeavesTheTokenStale)
{
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(vesk_persist_edit_begin(), 0);
    vesk_persist_token t;
    vesk_persist_request r = request(VESK_PERSIST_SHUTDOWN_VOLUNTARY);
    ASSERT_EQ(vesk_persist_prepare(&r, now_ms() + 120, &t), 0);
    EXPECT_EQ(vesk_persist_prepare(&r, now_ms() + 120, &t), -EBUSY);
    EXPECT_EQ(vesk_persist_edit_begin(), 0); /* nested: admitted */
    vesk_persist_edit_end();
    std::thread other([] { EXPECT_EQ(vesk_persist_edit_begin(), -EBUSY); });
    other.join();
    EXPECT_EQ(vesk_persist_prepare_status(&t), 0);
    sleep_ms(200);
    EXPECT_EQ(vesk_persist_prepare_status(&t), -ESTALE);
    EXPECT_EQ(vesk_persist_commit(&t), -ESTALE);
    EXPECT_EQ(vesk_persist_resume(&t), -ESTALE);
    vesk_persist_status st = status();
    EXPECT_EQ(st.vesk_phase, VESK_PERSIST_RUNNING);
    EXPECT_EQ(st.vesk_lifecycle_error, -ETIMEDOUT);
    EXPECT_EQ(st.vesk_token.vesk_epoch, t.vesk_epoch + 1);
    vesk_persist_edit_end();
}

TEST_F(Service, ShutdownPrepareFlushesEveryStoreAndResumesAfterCommit)
{
    ASSERT_EQ(start(), 0);
    Qel_DevStatusSet("s8language", 9, 0);
    ASSERT_EQ(stage_range(444), 0);
    vesk_persist_token t;
    vesk_persist_request r = request(VESK_PERSIST_SHUTDOWN_VOLUNTARY);
    ASSERT_EQ(vesk_persist_prepare(&r, now_ms() + 3000, &t), 0);
    EXPECT_EQ(settle(vesk_persist_prepare_status, t), 1);
    EXPECT_EQ(status().vesk_pending_mask, 0u);
    EXPECT_NE(read_text(dir.current_ini).find("= 9"), std::string::npos);
    EXPECT_EQ(sql_value(dir.profiles_db, "SELECT distance FROM ballistics WHERE device_id = 1"), "444");
    vesk_persist_token other = {t.vesk_epoch, VESK_PERSIST_REBOOT};
    EXPECT_EQ(vesk_persist_commit(&other), -ESTALE); /* right epoch, other reason */
    ASSERT_EQ(vesk_persist_commit(&t), 0);
    EXPECT_EQ(settle(vesk_persist_completion, t), 1);
    EXPECT_EQ(vesk_persist_resume(&t), 0);
    EXPECT_EQ(status().vesk_phase, VESK_PERSIST_RUNNING);
    EXPECT_EQ(vesk_persist_edit_begin(), 0);
    vesk_persist_edit_end();
}

/* A power-off that did not happen (safety ones included) may go on
 * working; a process exit closed the database and may not. */
TEST_F(Service, ResumeAfterCommitOnlyForPowerOffAndReboot)
{
    const struct {
        vesk_persist_reason reason;
        int resume;
    } rows[] = {
        {VESK_PERSIST_SHUTDOWN_VOLUNTARY, 0}, {VESK_PERSIST_REBOOT, 0},        {VESK_PERSIST_SHUTDOWN_LOW_BATTERY, 0},
        {VESK_PERSIST_SHUTDOWN_LOW_TEMP, 0},  {VESK_PERSIST_PROCESS_EXIT, -1},
    };
    for (const auto &row : rows) {
        ASSERT_EQ(start(), 0);
        vesk_persist_token t;
        ASSERT_NO_FATAL_FAILURE(prepare_and_commit(row.reason, &t));
        ASSERT_EQ(settle(vesk_persist_completion, t), 1);
        EXPECT_EQ(vesk_persist_resume(&t), row.resume) << row.reason;
        ASSERT_EQ(vesk_persist_stop(2000), 0);
    }
}

TEST_F(Service, HookOutcomesCancelOrRequireRecovery)
{
    const struct {
        vesk_persist_reason reason;
        int (*format)(void *);
        vesk_persist_phase phase;
        int completion;
        int error;
    } rows[] = {
        {VESK_PERSIST_FORMAT, busy_format, VESK_PERSIST_RUNNING, -EBUSY, -EBUSY},
        {VESK_PERSIST_FORMAT, NULL, VESK_PERSIST_RUNNING, -ENOSYS, -ENOSYS},
        {VESK_PERSIST_UPDATE, NULL, VESK_PERSIST_RECOVERY_REQUIRED, -EIO, -ENOSYS},
    };
    for (const auto &row : rows) {
        hooks.vesk_format_media = row.format;
        ASSERT_EQ(start(), 0);
        vesk_persist_token t;
        ASSERT_NO_FATAL_FAILURE(prepare_and_commit(row.reason, &t));
        EXPECT_EQ(settle(vesk_persist_completion, t), row.completion);
        vesk_persist_status st = status();
        EXPECT_EQ(st.vesk_phase, row.phase);
        EXPECT_EQ(st.vesk_lifecycle_error, row.error);
        if (row.phase == VESK_PERSIST_RECOVERY_REQUIRED) {
            EXPECT_EQ(vesk_persist_resume(&t), -1);
        }
        ASSERT_EQ(vesk_persist_stop(2000), 0);
    }
}

TEST_F(Service, ResetPrepareFlushesOnlyTheEepromAndStagesThePayloads)
{
    ASSERT_EQ(start(), 0);
    std::string ini_before = read_text(dir.current_ini);
    Qel_DevStatusSet("s8language", 9, 0);
    snprintf(qel_dev_status.sn, sizeof qel_dev_status.sn, "SN-RESET");
    ASSERT_EQ(vesk_persist_stage_eeprom(&qel_dev_status, NULL), 0);
    vesk_persist_token t;
    vesk_persist_request r = request(VESK_PERSIST_RESET, "Scope_R");
    r.vesk_from_upper = 1;
    r.vesk_reticle_menu = 1;
    ASSERT_EQ(vesk_persist_prepare(&r, now_ms() + 3000, &t), 0);
    ASSERT_EQ(settle(vesk_persist_prepare_status, t), 1);
    EXPECT_EQ(read_text(dir.current_ini), ini_before);
    EXPECT_EQ(status().vesk_pending_mask, 1u << VESK_PERSIST_CURRENT_INI);
    EXPECT_NE(read_text(dir.eeprom).find("sn=SN-RESET"), std::string::npos);
    std::string stage = dir.recovery + "/reset-" + std::to_string(t.vesk_epoch) + "-" + std::to_string(getpid());
    for (const char *p : {"current_ini", "defaults_ini", "current_db", "wifi_wpa2", "wifi_none"})
        EXPECT_TRUE(file_exists(stage + "/" + p)) << p;
    std::string staged = read_text(stage + "/current_ini");
    EXPECT_EQ(staged, read_text(stage + "/defaults_ini"));
    EXPECT_NE(staged.find("s8reticleswitch                = 0"), std::string::npos) << staged;
    EXPECT_NE(staged.find("s8reticlemenuswitch            = 1"), std::string::npos) << staged;
    EXPECT_NE(staged.find("vesk_dynamic_bc                = 1"), std::string::npos) << staged;
    EXPECT_EQ(read_text(stage + "/wifi_wpa2"), "interface=wlan0\nssid=Scope_R\nwpa_passphrase=40715926\nwpa=2\n");
    EXPECT_EQ(read_text(stage + "/current_db"), read_text(dir.authority_db));
    EXPECT_FALSE(file_exists(dir.manifest));
    ASSERT_EQ(vesk_persist_resume(&t), 0);
    for (int i = 0; i < 500 && file_exists(stage); i++) sleep_ms(2);
    EXPECT_FALSE(file_exists(stage)); /* the dropped stage is removed by the worker */
}

TEST_F(Service, ResetWithABadNameIsRefusedAtPrepare)
{
    ASSERT_EQ(start(), 0);
    for (const char *ssid : {"", "bad name", "../x"}) {
        vesk_persist_token t;
        vesk_persist_request r = request(VESK_PERSIST_RESET, ssid);
        ASSERT_EQ(vesk_persist_prepare(&r, now_ms() + 3000, &t), 0);
        EXPECT_EQ(settle(vesk_persist_prepare_status, t), -ESTALE) << ssid;
        EXPECT_EQ(status().vesk_lifecycle_error, -EINVAL) << ssid;
    }
}

TEST_F(Service, AbandonRefusesEditsAndPrepares)
{
    ASSERT_EQ(start(), 0);
    vesk_persist_abandon_pending();
    EXPECT_EQ(vesk_persist_edit_begin(), -ECANCELED);
    vesk_persist_token t;
    vesk_persist_request r = request(VESK_PERSIST_SHUTDOWN_VOLUNTARY);
    EXPECT_EQ(vesk_persist_prepare(&r, now_ms() + 100, &t), -ECANCELED);
}

// ---- defaults bootstrap ----------------------------------------------------

TEST_F(Service, DamagedAuthorityIsRepairedFromItsMirrorWhichStaysAsItWas)
{
    write_text(dir.authority_ini, "garbage without a section\n");
    write_text(dir.authority_db, std::string(2048, 'z'));
    std::string mirror_ini = read_text(dir.defaults_ini), mirror_db = read_text(dir.defaults_db);
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(read_text(dir.authority_ini), mirror_ini);
    EXPECT_EQ(read_text(dir.authority_db), mirror_db);
    EXPECT_EQ(read_text(dir.defaults_ini), mirror_ini);
    EXPECT_EQ(read_text(dir.defaults_db), mirror_db);
}

TEST_F(Service, AuthorityAndMirrorBothInvalidAreLeftForRecovery)
{
    write_text(dir.authority_ini, "nothing\n");
    write_text(dir.defaults_ini, "nothing either\n");
    EXPECT_EQ(start(), -EINVAL);
    EXPECT_EQ(read_text(dir.authority_ini), "nothing\n");
    EXPECT_EQ(read_text(dir.defaults_ini), "nothing either\n");
    EXPECT_EQ(vesk_persist_edit_begin(), -ENODEV);
}

TEST_F(Service, StaleMirrorFollowsTheAuthority)
{
    write_text(dir.defaults_ini, "[qeldevstatus]\ns8language = 3\n");
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(read_text(dir.defaults_ini), read_text(dir.authority_ini));
}

TEST_F(Service, VendorHandoffMarkerMustBeExact)
{
    std::string authority = read_text(dir.authority_ini);
    for (const char *marker : {"VESK_VENDOR_HANDOFF=1 \n", "VESK_VENDOR_HANDOFF=1", "VESK_VENDOR_HANDOFF=2\n"}) {
        write_text(dir.recovery + "/vendor.handoff", marker);
        EXPECT_EQ(start(), -EINVAL) << marker;
        EXPECT_TRUE(file_exists(dir.recovery + "/vendor.handoff"));
        EXPECT_EQ(read_text(dir.authority_ini), authority);
    }
    write_text(dir.defaults_ini, "[qeldevstatus]\ns8language = 4\n");
    write_text(dir.recovery + "/vendor.handoff", "VESK_VENDOR_HANDOFF=1\n");
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(read_text(dir.authority_ini), "[qeldevstatus]\ns8language = 4\n");
    EXPECT_FALSE(file_exists(dir.recovery + "/vendor.handoff"));
}

TEST_F(Service, FirstMigrationTakesTheTemplatesWhenTheMirrorsAreDamaged)
{
    unlink(dir.ready.c_str());
    unlink(dir.authority_ini.c_str());
    unlink(dir.authority_db.c_str());
    write_text(dir.defaults_ini, "damaged\n");
    write_text(dir.image_ini, "[qeldevstatus]\ns8language = 2\n");
    make_profile_db(dir.image_db, "UPDATE ballistics SET distance = '321';");
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(read_text(dir.authority_ini), read_text(dir.image_ini));
    EXPECT_EQ(read_text(dir.authority_db), read_text(dir.image_db));
    EXPECT_EQ(read_text(dir.ready), "1\n");
    EXPECT_EQ(read_text(dir.defaults_ini), read_text(dir.image_ini)); /* the mirror follows */
}

TEST_F(Service, ANewRecoveryFolderIsDurableBeforeAnythingIsWrittenInIt)
{
    for (const std::string &f : {dir.ready, dir.authority_ini, dir.authority_db}) unlink(f.c_str());
    ASSERT_EQ(rmdir(dir.recovery.c_str()), 0);
    /* The first directory fsync is refused: it must be the one of the
     * folder that holds the new recovery folder, so nothing lands inside. */
    setenv("VESK_PERSIST_FAULT_OP", "dirfsync", 1);
    EXPECT_EQ(start(), -EIO);
    EXPECT_TRUE(file_exists(dir.recovery));
    EXPECT_FALSE(file_exists(dir.authority_ini)) << "written into a folder not yet durable";
    EXPECT_FALSE(file_exists(dir.ready));
    unsetenv("VESK_PERSIST_FAULT_OP");
    vesk_persist_stop(2000);
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(read_text(dir.authority_ini), read_text(dir.defaults_ini));
    EXPECT_EQ(read_text(dir.ready), "1\n");
}

TEST_F(Service, EmptyUnitHasNoDefaultsSource)
{
    PersistDir empty;
    char tmpl[] = "/tmp/vesk-empty-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    empty.layout(tmpl);
    for (const char *d : {"/factory", "/factory2", "/usrdata"}) mkdir((empty.root + d).c_str(), 0755);
    vesk_persist_paths p = empty.paths();
    EXPECT_EQ(vesk_persist_start(&p, &hooks, &qel_dev_status, &profiles), -ENOENT);
    EXPECT_EQ(vesk_persist_edit_begin(), -ENODEV);
    empty.remove();
}

TEST_F(Service, MissingCurrentSettingsAreSeededFromTheAuthority)
{
    unlink(dir.current_ini.c_str());
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(read_text(dir.current_ini), read_text(dir.authority_ini));
    EXPECT_EQ(qel_dev_status.s8ScreenBrightness, 5);
}

TEST_F(Service, NewImageTemplatesReplaceTheAuthorityOnce)
{
    unlink(dir.image_marker.c_str());
    write_text(dir.image_ini, "[qeldevstatus]\ns8language = 6\n");
    make_profile_db(dir.image_db, "UPDATE ballistics SET distance = '222';");
    ASSERT_EQ(start(), 0);
    EXPECT_EQ(read_text(dir.authority_ini), read_text(dir.image_ini));
    EXPECT_EQ(read_text(dir.defaults_ini), read_text(dir.image_ini));
    EXPECT_EQ(read_text(dir.defaults_db), read_text(dir.image_db));
    EXPECT_EQ(read_text(dir.image_marker), "1\n");
    ASSERT_EQ(vesk_persist_stop(2000), 0);
    write_text(dir.image_ini, "[qeldevstatus]\ns8language = 7\n");
    ASSERT_EQ(start(), 0); /* the marker is there: no second take-over */
    EXPECT_EQ(read_text(dir.authority_ini), "[qeldevstatus]\ns8language = 6\n");
}

// ---- factory-reset staging -------------------------------------------------

namespace {

const char *const kReset = "reset Scope_R 1 1 1";

/* Files a reset replaces, compared byte for byte with a finished reset. */
std::vector<std::string> reset_files(const PersistDir &d)
{
    return {d.current_ini, d.authority_ini, d.defaults_ini, d.profiles_db, d.wifi_wpa2, d.wifi_none};
}

/* A unit whose profiles and settings differ from its defaults, so a reset
 * that did not happen shows. */
void make_used_unit(PersistDir &d)
{
    d.create();
    make_profile_db(d.profiles_db, "UPDATE ballistics SET distance = '999';");
}

std::vector<std::string> finished_reset()
{
    PersistDir ref;
    make_used_unit(ref);
    EXPECT_EQ(run_probe(ref, split(kReset)), 0);
    std::vector<std::string> out;
    for (const std::string &f : reset_files(ref)) out.push_back(read_text(f));
    ref.remove();
    return out;
}

bool staging_left(const PersistDir &d)
{
    DIR *dir = opendir(d.recovery.c_str());
    bool found = false;
    struct dirent *e;
    while (dir && (e = readdir(dir)) != NULL)
        if (strncmp(e->d_name, "reset-", 6) == 0) found = true;
    if (dir) closedir(dir);
    return found;
}

struct ResetCase {
    const char *point;
    bool published; /* the manifest was on disk: the reset must complete */
};

/* Names built below live as long as the test program. */
const char *keep(const std::string &name)
{
    static std::deque<std::string> names;
    names.push_back(name);
    return names.back().c_str();
}

std::vector<ResetCase> reset_cases()
{
    std::vector<ResetCase> cases;
    const char *steps[] = {"written", "fsynced", "renamed", "done"};
    for (const char *p : {"current_ini", "defaults_ini", "current_db", "wifi_wpa2", "wifi_none"})
        for (const char *s : steps) cases.push_back({keep(std::string("reset:stage:") + p + ":" + s), false});
    cases.push_back({"reset:staged", false});
    cases.push_back({"prepare:prepared", false});
    cases.push_back({"commit:reset-intent:written", false});
    cases.push_back({"commit:reset-intent:fsynced", false});
    cases.push_back({"commit:reset-intent:renamed", true});
    cases.push_back({"commit:reset-intent:done", true});
    cases.push_back({"commit:reset-intent-published", true});
    cases.push_back({"reset:settings:db-closed", true});
    for (const char *tag : {"reset:authority-defaults-ini", "reset:mirror-defaults-ini"})
        for (const char *s : steps) cases.push_back({keep(std::string(tag) + ":" + s), true});
    cases.push_back({"reset:settings:defaults-done", true});
    for (const char *s : steps) cases.push_back({keep(std::string("reset:current-ini:") + s), true});
    cases.push_back({"reset:settings:current-ini-done", true});
    for (const char *s : steps) cases.push_back({keep(std::string("reset:current-db:") + s), true});
    cases.push_back({"reset:settings:current-db-done", true});
    for (const char *tag : {"reset:wifi-wpa2", "reset:wifi-none"})
        for (const char *s : steps) cases.push_back({keep(std::string(tag) + ":" + s), true});
    cases.push_back({"reset:settings:wifi-done", true});
    for (const char *tag : {"reset:phase1", "reset:phase2", "reset:phase3"})
        for (const char *s : steps) cases.push_back({keep(std::string(tag) + ":" + s), true});
    cases.push_back({"reset:before-marker-removed", true});
    cases.push_back({"reset:done", true});
    return cases;
}

void PrintTo(const ResetCase &c, std::ostream *os) { *os << c.point; }

class ResetKilledAt : public ::testing::TestWithParam<ResetCase> {};

TEST_P(ResetKilledAt, NextBootFinishesItOrLeavesTheUnitAsItWas)
{
    const ResetCase &c = GetParam();
    std::vector<std::string> reset = finished_reset();
    PersistDir dir;
    make_used_unit(dir);
    std::vector<std::string> files = reset_files(dir), old;
    for (const std::string &f : files) old.push_back(read_text(f));

    std::string ready = dir.root + "/ready";
    ProbeRun run;
    run.start(dir, split(kReset),
              {std::string("VESK_PERSIST_TEST_KILL_AT=") + c.point, "VESK_PERSIST_TEST_READY_FILE=" + ready});
    ASSERT_TRUE(wait_for_file(ready, 10000)) << c.point << " never reached";
    run.kill9();

    ASSERT_EQ(run_probe(dir, {"boot"}), 0) << c.point;
    for (size_t i = 0; i < files.size(); i++)
        EXPECT_EQ(read_text(files[i]), c.published ? reset[i] : old[i]) << c.point << ": " << files[i];
    EXPECT_FALSE(file_exists(dir.manifest)) << c.point;
    EXPECT_FALSE(staging_left(dir)) << c.point;
    EXPECT_TRUE(temp_files(dir.root).empty()) << c.point;
    EXPECT_EQ(sql_value(dir.profiles_db, "PRAGMA integrity_check"), "ok") << c.point;
    dir.remove();
}

INSTANTIATE_TEST_SUITE_P(EveryCheckpoint, ResetKilledAt, ::testing::ValuesIn(reset_cases()),
                         [](const testing::TestParamInfo<ResetCase> &info) {
                             std::string s = std::to_string(info.index) + "_" + info.param.point;
                             for (char &ch : s)
                                 if (!isalnum((unsigned char)ch)) ch = '_';
                             return s;
                         });

/* A unit killed with its manifest published, for tampering. */
void killed_after_publication(PersistDir &dir)
{
    make_used_unit(dir);
    std::string ready = dir.root + "/ready";
    ProbeRun run;
    run.start(dir, split(kReset),
              {"VESK_PERSIST_TEST_KILL_AT=commit:reset-intent-published", "VESK_PERSIST_TEST_READY_FILE=" + ready});
    ASSERT_TRUE(wait_for_file(ready, 10000));
    run.kill9();
}

/* Rewrites one manifest line and, when reseal, its CRC line. */
void tamper(const PersistDir &dir, const std::string &key, const std::string &value, bool reseal)
{
    std::string text = read_text(dir.manifest);
    size_t at = text.find(key + "=");
    ASSERT_NE(at, std::string::npos);
    size_t nl = text.find('\n', at);
    text.replace(at, nl - at, key + "=" + value);
    if (reseal) {
        size_t crc_at = text.find("manifest_crc32=");
        char line[32];
        snprintf(line, sizeof line, "manifest_crc32=%08lx\n", crc32(0L, (const Bytef *)text.data(), (uInt)crc_at));
        text = text.substr(0, crc_at) + line;
    }
    write_text(dir.manifest, text);
}

} // namespace

TEST(ResetManifest, TamperedManifestIsRefusedAndNothingApplied)
{
    static const std::string empty_name(128, '0');
    const struct {
        const char *key, *value;
        bool reseal;
    } rows[] = {
        {"phase", "1", false},                 /* CRC no longer matches */
        {"manifest_crc32", "00000000", false}, /* last line altered */
        {"staging", "../../etc", true},        /* outside the recovery folder */
        {"staging", "reset-1-2/../../x", true},
        {"ssid_hex", empty_name.c_str(), true}, /* empty name */
        {"phase", "4", true},
        {"magic", "OTHER", true},
    };
    for (const auto &r : rows) {
        PersistDir dir;
        killed_after_publication(dir);
        std::string current = read_text(dir.current_ini);
        tamper(dir, r.key, r.value, r.reseal);
        EXPECT_EQ(run_probe(dir, {"boot"}), 100 + EINVAL) << r.key << "=" << r.value;
        EXPECT_EQ(read_text(dir.current_ini), current) << r.key;
        EXPECT_TRUE(file_exists(dir.manifest)) << r.key;
        dir.remove();
    }
}

TEST(ResetManifest, DamagedPayloadStopsTheResetBeforeItsTarget)
{
    PersistDir dir;
    killed_after_publication(dir);
    std::string stage;
    DIR *d = opendir(dir.recovery.c_str());
    struct dirent *e;
    while ((e = readdir(d)) != NULL)
        if (strncmp(e->d_name, "reset-", 6) == 0) stage = dir.recovery + "/" + e->d_name;
    closedir(d);
    std::string payload = read_text(stage + "/current_ini");
    payload[payload.size() / 2] ^= 1;
    write_text(stage + "/current_ini", payload);
    std::string current = read_text(dir.current_ini);
    EXPECT_EQ(run_probe(dir, {"boot"}), 100 + EUCLEAN);
    EXPECT_EQ(read_text(dir.current_ini), current);
    EXPECT_TRUE(file_exists(dir.manifest));
    dir.remove();
}

TEST(ResetManifest, StrayFileKeepsItsStagingFolder)
{
    PersistDir dir;
    dir.create();
    std::string stage = dir.recovery + "/reset-3-77";
    mkdir(stage.c_str(), 0700);
    write_text(stage + "/current_ini", "x");
    write_text(stage + "/wifi_none.tmp-12-34", "x");
    write_text(stage + "/stray", "x");
    std::string orphan = dir.recovery + "/reset-4-78";
    mkdir(orphan.c_str(), 0700);
    write_text(orphan + "/defaults_ini", "x");
    ASSERT_EQ(run_probe(dir, {"boot"}), 0);
    EXPECT_FALSE(file_exists(stage + "/current_ini"));
    EXPECT_FALSE(file_exists(stage + "/wifi_none.tmp-12-34"));
    EXPECT_TRUE(file_exists(stage + "/stray"));
    EXPECT_FALSE(file_exists(orphan));
    dir.remove();
}
