// Two roads from outside into what the scope keeps: the phone's profile
// exchange file (left by the HTTP daemon, applied on the phone's import
// command, in the profile database after a restart and served back on the
// export command), and a serial number the PC tool writes, which renames
// the running access point.
#include <sqlite3.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "pc_tool.h"
#include "scope_e2e.h"

namespace {

const char *const kImport = "/usrdata/http_send_bccalfile.txt";
const char *const kExport = "/usrdata/http_get_bccalfile.txt";

/* The rows of a query on the profile database, columns joined by '|';
 * empty while the database cannot be read. */
std::vector<std::string> db_rows(const std::string &path, const std::string &sql)
{
    std::vector<std::string> out;
    sqlite3 *db = nullptr;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(st); i++) {
                const unsigned char *t = sqlite3_column_text(st, i);
                row += (i ? "|" : "") + std::string(t ? (const char *)t : "");
            }
            out.push_back(row);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

/* A "key=value" line's value in an exchange file ("" when missing). */
std::string value_of(const std::string &file, const std::string &key)
{
    const std::string want = "\n" + key + "=";
    size_t at = file.find(want);
    if (at == std::string::npos) return "";
    at += want.size();
    return file.substr(at, file.find('\n', at) - at);
}

TEST(PhoneLinks, AProfileFileFromThePhoneIsKeptAndServedBack)
{
    sim_harness h;
    SCOPE_START(h, {"media", "gui", "http"});
    ASSERT_TRUE(h.boot_all_modules()) << h.why;
    ASSERT_TRUE(h.send("gui", sim_gui_ready()));
    const sim_head profile_frame = {0x10, 0x02, -1, 0x80};
    const size_t pushed = h.frames("gui", profile_frame).size();

    /* Lines before the section are the daemon's own and ignored; a
     * distance beyond 3000 m is held at 3000. */
    ASSERT_EQ(sim_write_file(h.sb, kImport,
                             "target_distance=10\n[bccal]\ntarget_distance=4000\nwind_speed=3.5\n"
                             "gun_riflingDirection=left\ngun_bullet_weight=10\ngun_scope_height=55.5\n"),
              0);
    ASSERT_TRUE(h.send("http", sim_http_command(8, {})));
    /* The import ends with the profiles pushed to the GUI. */
    ASSERT_EQ(h.wait_frames("gui", profile_frame, pushed + SCOPE_PROFILES).size(), pushed + SCOPE_PROFILES);

    const std::string db = sim_path(h.sb, SCOPE_PROFILES_DB);
    const std::string query = "SELECT distance, wind_velocity, twist_direction FROM ballistics ORDER BY device_id;";
    const std::vector<std::string> want(SCOPE_PROFILES, "30000|3.5|0");
    EXPECT_TRUE(h.wait(SIM_REPLY_MS, [&] { return db_rows(db, query) == want; }));

    ASSERT_TRUE(scope_stop_sightd(h));
    EXPECT_EQ(db_rows(db, query), want);
    ASSERT_TRUE(h.boot_all_modules()) << h.why;

    ASSERT_TRUE(h.send("http", sim_http_command(9, {})));
    std::string out;
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] {
        out = h.read(kExport);
        return out.find("\ngun_scope_verticalUnitPerCard=") != std::string::npos;
    })) << out;
    EXPECT_EQ(out.rfind("[bccal]\n", 0), 0u) << out;
    EXPECT_EQ(value_of(out, "target_distance"), "3000.000000");
    EXPECT_EQ(value_of(out, "wind_speed"), "3.500000");
    EXPECT_EQ(value_of(out, "gun_riflingDirection"), "0");
    EXPECT_NEAR(atof(value_of(out, "gun_bullet_weight").c_str()), 10.0, 0.01) << out;
    EXPECT_EQ(value_of(out, "gun_scope_height"), "55.500000");
    scope_stop_sightd(h);
}

TEST(PhoneLinks, ANewSerialNumberRenamesTheRunningAccessPoint)
{
    sim_harness h;
    SCOPE_START(h, {"media", "gui", "http", "ble"});
    ASSERT_TRUE(h.boot_all_modules()) << h.why;
    ASSERT_TRUE(h.send("gui", sim_gui_ready()));
    ASSERT_TRUE(h.send("gui", sim_gui_request(5, 0, 0xFF, {1})));
    const std::string first = scope_wait_hostapd(h, 0, "VeskNV_SN_NuraxPRO520_LRF");
    ASSERT_FALSE(first.empty()) << "hostapd starts: " << scope_hostapd_starts(h).size();
    const size_t starts = scope_hostapd_starts(h).size();

    pc_tool *tool = sim_pc_tool(h);
    ASSERT_NE(tool, nullptr) << h.why;
    const pc_tool_bytes probe = pc_tool_request(0x00, 0x1A, 0, 1, {0});
    ASSERT_TRUE(h.wait(SIM_REPLY_MS, [&] { return pc_tool_ask(tool, probe, 250, nullptr); })) << "the link answers";
    const std::string sn = "VK2026X7";
    ASSERT_TRUE(pc_tool_send(tool, pc_tool_request(0x00, 0x1A, 1, 0, pc_tool_bytes(sn.begin(), sn.end()))));

    const std::string name = "VeskNV_" + sn + "_NuraxPRO520_LRF";
    const std::string renamed = scope_wait_hostapd(h, starts, name);
    ASSERT_FALSE(renamed.empty()) << "no hostapd start named " << name;
    EXPECT_EQ(sim_log_field(renamed, "wpa_passphrase"), sim_log_field(first, "wpa_passphrase"));
    EXPECT_NE(h.read("/etc/wifi/hostapd_wpa2.conf").find("\nssid=" + name + "\n"), std::string::npos);
    scope_stop_sightd(h);
}

} // namespace
