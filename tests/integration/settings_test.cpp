// Settings and profiles changed by the GUI stand-in, as they land in the
// files and come back on the next boot.
#include "scope_e2e.h"

#include <sqlite3.h>

namespace {

const sim_head status_frame = {0x10, 0x00, 0x00, 0x80};
const sim_head profile_frame = {0x10, 0x02, -1, 0x80};

/* Frames of the latest boot push: the newest status frame and the six
 * profile frames after it. */
std::vector<scope_frame> latest(const sim_harness &run, const sim_head &head, size_t n)
{
    std::vector<scope_frame> all = run.frames("gui", head);
    return all.size() < n ? std::vector<scope_frame>() : std::vector<scope_frame>(all.end() - (long)n, all.end());
}

TEST(Settings, AGuiSettingIsOnDiskWithinTheWriteDelayAndSurvivesARestart)
{
    sim_harness run;
    SCOPE_START(run, {"media", "gui"});
    ASSERT_TRUE(run.boot_sightd()) << run.why;
    const std::string ini = sim_path(run.sb, SCOPE_CURRENT_INI);
    std::string value;
    ASSERT_TRUE(scope_ini_get(ini, "qeldevstatus:s8screenbrightness", &value)) << "no settings seeded";
    ASSERT_EQ(value, "5");

    /* Screen brightness 8 (basic item 7). */
    auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(run.send("gui", scope_request(0x00, 0x00, 0x07, 8)));
    ASSERT_TRUE(run.wait(SIM_REPLY_MS,
                         [&] { return scope_ini_get(ini, "qeldevstatus:s8screenbrightness", &value) && value == "8"; }))
        << "the file still reads " << value;
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
    /* A change is written at most 500 ms after it was made. */
    EXPECT_LE(took.count(), 600 * SIM_SLOW);
    /* The media process has it too. */
    EXPECT_EQ(run.frames("media", [](const scope_frame &f) { return f == scope_request(0, 0, 7, 8); }).size(), 1u);

    ASSERT_TRUE(scope_stop_sightd(run));
    ASSERT_TRUE(run.boot_sightd()) << run.why;
    std::vector<scope_frame> status = latest(run, status_frame, 1);
    ASSERT_EQ(status.size(), 1u);
    std::vector<uint8_t> want = scope_factory_status_image();
    want[37] = 8;
    EXPECT_EQ(std::vector<uint8_t>(status[0].begin() + 6, status[0].end() - 3), want);
    scope_stop_sightd(run);
}

/* The ballistic profiles through the profile database. */
class ProfileDb {
public:
    explicit ProfileDb(const std::string &path)
    {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        }
    }
    ~ProfileDb() { sqlite3_close(db_); }
    bool open() const { return db_ != nullptr; }

    /* The rows of a query, each column as text. */
    std::vector<std::vector<std::string>> rows(const std::string &sql) const
    {
        std::vector<std::vector<std::string>> out;
        sqlite3_stmt *st = nullptr;
        if (db_ == nullptr || sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return out;
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(st); i++) {
                const unsigned char *t = sqlite3_column_text(st, i);
                row.push_back(t ? (const char *)t : "");
            }
            out.push_back(row);
        }
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3 *db_ = nullptr;
};

/* A ballistic edit as the GUI sends it, and what it must do to the stored
 * profiles. */
struct edit_row {
    const char *what;
    scope_frame frame;
    void (*apply)(wire_profile *p, int index, int current);
};

uint8_t byte_of(int v) { return (uint8_t)v; }

scope_frame words(uint8_t sub, uint8_t item, uint16_t w1, uint16_t w2)
{
    const uint8_t b[4] = {byte_of(w1), byte_of(w1 >> 8), byte_of(w2), byte_of(w2 >> 8)};
    return scope_request4(0x1B, sub, item, b);
}

scope_frame one(uint8_t sub, uint8_t item, uint8_t value)
{
    const uint8_t b[4] = {value, 0, 0, 0};
    return scope_request4(0x1B, sub, item, b);
}

const edit_row edits[] = {
    {"ballistics on: profile 0 only", one(0, 0, 1),
     [](wire_profile *p, int i, int) {
         if (i == 0) p->ballistics_sw = 1;
     }},
    {"bullet weight: the current profile", scope_request_float(0x1B, 1, 2, 175.5f),
     [](wire_profile *p, int i, int current) {
         if (i == current) p->gun.bullet.weight = 175.5;
     }},
    {"wind speed: all six", scope_request_float(0x1B, 6, 1, 4.25f),
     [](wire_profile *p, int, int) { p->wind.speed = 4.25; }},
    {"target range and yards: all six", words(7, 0, 4567, 4994),
     [](wire_profile *p, int, int) {
         p->target.range = 4567;
         p->target.range_yard = 4994;
     }},
    {"twist direction left: all six", one(2, 1, 0), [](wire_profile *p, int, int) { p->gun.direction = 0; }},
    {"profile 2 becomes current", one(0, 4, 2), [](wire_profile *, int, int) {}},
    {"bullet weight of profile 2", scope_request_float(0x1B, 1, 2, 190.25f),
     [](wire_profile *p, int i, int current) {
         if (i == current) p->gun.bullet.weight = 190.25;
     }},
    {"sight height: the current profile", scope_request_float(0x1B, 5, 0, 62.5f),
     [](wire_profile *p, int i, int current) {
         if (i == current) p->gun.scope.sightHeightOverBore = 62.5;
     }},
};

TEST(Settings, EditedProfilesAreInTheDatabaseAndSurviveARestart)
{
    sim_harness run;
    SCOPE_START(run, {"media", "gui"});
    ASSERT_TRUE(run.boot_sightd()) << run.why;

    wire_profile want[SCOPE_PROFILES];
    for (int i = 0; i < SCOPE_PROFILES; i++) want[i] = scope_factory_profile(i);
    int current = 0;
    for (const edit_row &row : edits) {
        ASSERT_TRUE(run.send("gui", row.frame)) << row.what;
        if (row.frame[3] == 0 && row.frame[4] == 4) current = row.frame[6];
        for (int i = 0; i < SCOPE_PROFILES; i++) row.apply(&want[i], i, current);
    }
    /* The save-all request of the editor pages. */
    ASSERT_TRUE(run.send("gui", scope_request(0x10, 0x03, 0x00, 0x00)));

    const std::string db_path = sim_path(run.sb, SCOPE_PROFILES_DB);
    const std::string query = "SELECT device_id, switch, bullet_weight, wind_velocity, distance, distance_yard, "
                              "twist_direction, scope_height FROM ballistics ORDER BY device_id;";
    auto expected_rows = [&] {
        std::vector<std::vector<std::string>> rows;
        for (int i = 0; i < SCOPE_PROFILES; i++) {
            const wire_profile &p = want[i];
            char line[256];
            snprintf(line, sizeof line, "%d|%d|%.2f|%.2f|%d|%d|%d|%.2f", i + 1, p.ballistics_sw, p.gun.bullet.weight,
                     p.wind.speed, p.target.range, p.target.range_yard, p.gun.direction,
                     p.gun.scope.sightHeightOverBore);
            rows.push_back({line});
        }
        return rows;
    };
    auto stored_rows = [&] {
        std::vector<std::vector<std::string>> rows;
        ProfileDb db(db_path);
        for (const auto &r : db.rows(query)) {
            char line[256];
            snprintf(line, sizeof line, "%s|%s|%.2f|%.2f|%s|%s|%s|%.2f", r[0].c_str(), r[1].c_str(), atof(r[2].c_str()),
                     atof(r[3].c_str()), r[4].c_str(), r[5].c_str(), r[6].c_str(), atof(r[7].c_str()));
            rows.push_back({line});
        }
        return rows;
    };
    EXPECT_TRUE(run.wait(SIM_REPLY_MS, [&] { return stored_rows() == expected_rows(); }));
    EXPECT_EQ(stored_rows(), expected_rows());

    ASSERT_TRUE(scope_stop_sightd(run));
    {
        ProfileDb db(db_path);
        ASSERT_TRUE(db.open());
        EXPECT_EQ(db.rows("PRAGMA integrity_check;"), (std::vector<std::vector<std::string>>{{"ok"}}));
        EXPECT_EQ(db.rows("SELECT count(*) FROM zero_point;"), (std::vector<std::vector<std::string>>{{"12"}}));
    }

    /* The next boot pushes the edited profiles, every byte of them. */
    const size_t before = run.frames("gui", profile_frame).size();
    ASSERT_TRUE(run.boot_sightd()) << run.why;
    ASSERT_TRUE(run.wait(SIM_REPLY_MS, [&] {
        return run.frames("gui", profile_frame).size() >= before + SCOPE_PROFILES;
    })) << "the second boot pushed no six profiles";
    std::vector<scope_frame> pushed = latest(run, profile_frame, SCOPE_PROFILES);
    ASSERT_EQ(pushed.size(), (size_t)SCOPE_PROFILES);
    for (int i = 0; i < SCOPE_PROFILES; i++) {
        SCOPED_TRACE("profile " + std::to_string(i));
        EXPECT_EQ(pushed[i][4], i);
        EXPECT_EQ(std::vector<uint8_t>(pushed[i].begin() + 6, pushed[i].end() - 3), scope_bytes(want[i]));
    }
    scope_stop_sightd(run);
}

} // namespace
