// The update watcher from outside: packages in a Media root, what is
// claimed, set aside, published and reported.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <zlib.h>

#include "sim_ns.h"
#include "update_fixture.h"
#include "update_zip.h"
#include "vesk_update.h"
#include "vesk_update_internal.h"

static const char kTop[] = "device_upgrade_v2.1";
#define CLAIMED "VeskUpdate/device_upgrade_claimed.zip"
#define REPORT "vesk_update_failed.txt"

/* ---- the name rule ---- */

struct name_row {
    const char *name;
    bool candidate, package;
};

TEST(UpdateNames, CandidatesAndTheNameRule)
{
    static const name_row rows[] = {
        {"device_upgrade.zip", false, false},    /* 18 characters */
        {"device_upgrade_.zip", false, false},   /* 19: nothing between prefix and ending */
        {"device_upgrade_a.zip", true, true},    /* 20 */
        {"device_upgrade_a b.zip", true, false}, /* a blank */
        {"device_upgrade_V1.2-rc_3.zip", true, true}, {"device_upgrade_a.ZIP", false, false},
        {"Device_upgrade_a.zip", false, false},       {"device_upgrade_a\n.zip", true, false},
        {"device_upgrade_\xc3\xa9.zip", true, false}, {"device_upgrade_a.zip.zip", true, true},
    };
    for (const name_row &r : rows) {
        EXPECT_EQ(vesk_update_is_candidate(r.name) != 0, r.candidate) << r.name;
        EXPECT_EQ(vesk_update_name_ok(r.name, strlen(r.name), ".zip") != 0, r.package) << r.name;
    }
    /* The top folder inside a package: the same rule without an ending. */
    EXPECT_TRUE(vesk_update_name_ok("device_upgrade_x", 16, ""));
    EXPECT_FALSE(vesk_update_name_ok("device_upgrade_", 15, ""));
    EXPECT_FALSE(vesk_update_name_ok("..", 2, ""));
}

/* ---- the listing check ---- */

typedef std::vector<update_zip_entry> entries;

static entries with(entries e, const std::vector<std::string> &more)
{
    for (const std::string &n : more) {
        update_zip_entry x;
        x.name = std::string(kTop) + "/" + n;
        x.data = "extra";
        e.push_back(x);
    }
    return e;
}

static entries edit_last(entries e, const std::function<void(update_zip_entry &)> &f)
{
    f(e.back());
    return e;
}

static entries legacy() { return update_zip_package(kTop, update_zip_legacy); }

struct listing_row {
    const char *what;
    entries pkg;
    int rc;
};

static std::vector<listing_row> listing_rows()
{
    entries seventeen = update_zip_package(kTop, update_zip_single);
    while (seventeen.size() < 17) seventeen = with(seventeen, {"sightd"});
    entries eighteen = with(seventeen, {"sightd"});
    entries sixteen_dual_plus = with(update_zip_package(kTop, update_zip_dual), {"VESK_VERSION.txt"});
    return {
        {"legacy", legacy(), 0},
        {"legacy without the folder entry", update_zip_package(kTop, update_zip_legacy, false), 0},
        {"legacy with both morv programs", with(legacy(), {"morv_httpd", "morv_qzpro_media"}), 0},
        {"legacy with one morv program", with(legacy(), {"morv_httpd"}), 0},
        {"legacy with VESK_VERSION.txt", with(legacy(), {"morv_httpd", "VESK_VERSION.txt"}), -EINVAL},
        {"single", update_zip_package(kTop, update_zip_single), 0},
        {"single missing one", update_zip_package(kTop, {update_zip_single.begin(), update_zip_single.end() - 1}),
         -EINVAL},
        {"dual", update_zip_package(kTop, update_zip_dual), 0},
        {"dual with a single-form member", sixteen_dual_plus, -EINVAL},
        {"legacy missing release.tar", update_zip_package(kTop, {"update.sh", "sightd"}), -EINVAL},
        {"17 entries (a repeat among them)", seventeen, -EINVAL},
        {"18 entries", eighteen, -EINVAL},
        {"a member in a sub-folder", with(legacy(), {"bin/morv_httpd"}), -EINVAL},
        {"a repeated member", with(legacy(), {"sightd"}), -EINVAL},
        {"two top folders",
         edit_last(legacy(), [](update_zip_entry &e) { e.name = "device_upgrade_other/release.tar"; }), -EINVAL},
        {"an encrypted entry", edit_last(legacy(), [](update_zip_entry &e) { e.flags = 1; }), -EINVAL},
        {"an unknown method", edit_last(legacy(), [](update_zip_entry &e) { e.method = 12; }), -EINVAL},
        {"a backslash", edit_last(legacy(), [](update_zip_entry &e) { e.name = std::string(kTop) + "\\release.tar"; }),
         -EINVAL},
        {"a NUL in a name",
         edit_last(legacy(), [](update_zip_entry &e) { e.name = std::string(kTop) + "/release.tar" + '\0' + "x"; }),
         -EINVAL},
        {"../ member", edit_last(legacy(), [](update_zip_entry &e) { e.name = "../release.tar"; }), -EINVAL},
        {"../ under the top",
         edit_last(legacy(), [](update_zip_entry &e) { e.name = std::string(kTop) + "/../release.tar"; }), -EINVAL},
        {"an absolute name", edit_last(legacy(), [](update_zip_entry &e) { e.name = "/release.tar"; }), -EINVAL},
        {"a symlink entry", edit_last(legacy(), [](update_zip_entry &e) { e.external = 0120777u << 16; }), -EINVAL},
        {"a DOS folder attribute", edit_last(legacy(), [](update_zip_entry &e) { e.external |= 0x10; }), -EINVAL},
        {"a name outside the table", with(legacy(), {"evil.sh"}), -EINVAL},
        {"no folder at all", edit_last(legacy(), [](update_zip_entry &e) { e.name = "release.tar"; }), -EINVAL},
        {"a top folder that breaks the name rule", update_zip_package("device_upgrade_a b", update_zip_legacy),
         -EINVAL},
        {"the folder entry twice",
         [] {
             entries e = legacy();
             e.push_back(e[0]);
             return e;
         }(),
         -EINVAL},
        {"a folder entry with data", edit_last(legacy(), [](update_zip_entry &e) { e.name = std::string(kTop) + "/"; }),
         -EINVAL},
        {"an empty name", edit_last(legacy(), [](update_zip_entry &e) { e.name = ""; }), -EINVAL},
    };
}

TEST(UpdateListing, FormsAndTheirNearMisses)
{
    update_dirs d;
    for (const listing_row &r : listing_rows()) {
        std::string path = d.media_path("pkg.zip");
        ASSERT_TRUE(update_zip_file(path, r.pkg)) << r.what;
        unzFile z = vesk_update_open_zip(path.c_str());
        ASSERT_NE(z, nullptr) << r.what;
        vesk_update_listing l;
        EXPECT_EQ(vesk_update_check_listing(z, &l), r.rc) << r.what;
        unzClose(z);
    }
}

TEST(UpdateListing, AnEmptyArchiveIsRefused)
{
    update_dirs d;
    std::string path = d.media_path("pkg.zip");
    ASSERT_TRUE(update_zip_file(path, {}));
    unzFile z = vesk_update_open_zip(path.c_str());
    vesk_update_listing l;
    EXPECT_TRUE(z == nullptr || vesk_update_check_listing(z, &l) == -EINVAL);
    if (z != nullptr) unzClose(z);
}

/* ---- unpack ---- */

struct UpdateUnpack : testing::Test {
    update_dirs d;
    std::string zip = d.media_path("device_upgrade_claimed.zip");
    std::vector<std::string> members_of(const std::string &dir) { return sim_folder_names(dir); }
    bool nothing_published() { return sim_folder_names(d.update).empty() && update_exists(zip); }
};

TEST_F(UpdateUnpack, PublishesExactlyTheTableMembersAndRemovesTheZip)
{
    entries pkg = update_zip_package(kTop, update_zip_dual);
    ASSERT_TRUE(update_zip_file(zip, pkg));
    ASSERT_EQ(vesk_update_unpack(zip.c_str(), d.update.c_str()), 0);
    EXPECT_FALSE(update_exists(zip));
    EXPECT_EQ(sim_folder_names(d.update), std::vector<std::string>{"device_upgrade"});
    std::vector<std::string> want = update_zip_dual;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(members_of(d.update_path("device_upgrade")), want);
    for (const update_zip_entry &e : pkg) {
        if (e.name.back() == '/') continue;
        std::string member = e.name.substr(e.name.find('/') + 1);
        EXPECT_EQ(update_read(d.update_path("device_upgrade/" + member)), e.data) << member;
        struct stat st;
        ASSERT_EQ(lstat(d.update_path("device_upgrade/" + member).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u);
    }
}

TEST_F(UpdateUnpack, StoredMembersUnpackToo)
{
    entries pkg = update_zip_package(kTop, update_zip_legacy);
    for (update_zip_entry &e : pkg) e.method = 0;
    ASSERT_TRUE(update_zip_file(zip, pkg));
    ASSERT_EQ(vesk_update_unpack(zip.c_str(), d.update.c_str()), 0);
    EXPECT_EQ(update_read(d.update_path("device_upgrade/sightd")), pkg[2].data);
}

struct unpack_fault_row {
    const char *what;
    std::function<void(entries &)> edit;
};

TEST_F(UpdateUnpack, BadDataPublishesNothingAndKeepsTheZip)
{
    static const unpack_fault_row rows[] = {
        {"a wrong checksum", [](entries &e) { e[2].crc_xor = 1; }},
        {"more data than stated", [](entries &e) { e[2].stated_size = 3; }},
        {"less data than stated", [](entries &e) { e[2].stated_size = (int64_t)e[2].data.size() + 100; }},
        {"a stored member that lies", [](entries &e) { e[3].method = 0, e[3].stated_size = 1; }},
    };
    for (const unpack_fault_row &r : rows) {
        entries pkg = legacy();
        r.edit(pkg);
        ASSERT_TRUE(update_zip_file(zip, pkg)) << r.what;
        EXPECT_EQ(vesk_update_unpack(zip.c_str(), d.update.c_str()), -ECANCELED) << r.what;
        EXPECT_TRUE(nothing_published()) << r.what;
    }
}

TEST_F(UpdateUnpack, AnEarlierPackageIsNeverReplaced)
{
    ASSERT_EQ(mkdir(d.update_path("device_upgrade").c_str(), 0755), 0);
    ASSERT_TRUE(update_write(d.update_path("device_upgrade/sightd"), "old"));
    ASSERT_TRUE(update_zip_file(zip, legacy()));
    EXPECT_EQ(vesk_update_unpack(zip.c_str(), d.update.c_str()), -ECANCELED);
    EXPECT_EQ(update_read(d.update_path("device_upgrade/sightd")), "old");
    EXPECT_EQ(sim_folder_names(d.update), std::vector<std::string>{"device_upgrade"});
    EXPECT_TRUE(update_exists(zip));
}

TEST_F(UpdateUnpack, RefusesWhatIsNoClaimedPackage)
{
    EXPECT_EQ(vesk_update_unpack(nullptr, d.update.c_str()), -ECANCELED);
    EXPECT_EQ(vesk_update_unpack(zip.c_str(), nullptr), -ECANCELED);
    std::string badname = d.media_path("other.zip");
    ASSERT_TRUE(update_zip_file(badname, legacy()));
    EXPECT_EQ(vesk_update_unpack(badname.c_str(), d.update.c_str()), -ECANCELED);
    EXPECT_EQ(vesk_update_unpack(zip.c_str(), d.update.c_str()), -ECANCELED); /* missing */
    ASSERT_EQ(symlink(badname.c_str(), zip.c_str()), 0);
    EXPECT_EQ(vesk_update_unpack(zip.c_str(), d.update.c_str()), -ECANCELED);
    EXPECT_TRUE(sim_folder_names(d.update).empty());
    unlink(zip.c_str());
    ASSERT_TRUE(update_write(zip, "this is no zip"));
    EXPECT_EQ(vesk_update_unpack(zip.c_str(), d.update.c_str()), -ECANCELED);
    EXPECT_TRUE(nothing_published());
}

TEST_F(UpdateUnpack, APackageLargerThanTheFreeSpaceIsRefused)
{
    entries pkg = legacy();
    pkg[2].stated_size = 0xfffffff0LL; /* 4 GiB stated: more than the test's disk spares, surely */
    pkg[3].stated_size = 0xfffffff0LL;
    pkg[1].stated_size = 0xfffffff0LL;
    ASSERT_TRUE(update_zip_file(zip, pkg));
    EXPECT_EQ(vesk_update_unpack(zip.c_str(), d.update.c_str()), -ECANCELED);
    EXPECT_TRUE(nothing_published());
}

/* ---- the watcher ---- */

struct UpdateWatcher : testing::Test {
    update_dirs d;
    bool started = false;
    void start(int request_rc = 0)
    {
        update_fake_calls(request_rc);
        ASSERT_EQ(vesk_update_start(d.media.c_str(), d.update.c_str()), 0);
        started = true;
    }
    void stop()
    {
        if (started) vesk_update_stop();
        started = false;
    }
    void TearDown() override { stop(); }
    std::string report() { return update_read(d.media_path(REPORT)); }
    void put_package(const std::string &name, const entries &pkg = update_zip_package(kTop, update_zip_legacy))
    {
        ASSERT_TRUE(update_zip_file(d.media_path(name), pkg));
    }
};

TEST_F(UpdateWatcher, AGoodPackageIsClaimedAndRequested)
{
    put_package("device_upgrade_v2.1.zip");
    ASSERT_TRUE(update_write(d.media_path("http_md5_check_ok.txt"), "ok"));
    ASSERT_TRUE(update_write(d.media_path(REPORT), "old report"));
    start();
    update_calls_seen seen = update_calls_taken();
    ASSERT_EQ(seen.paths.size(), 1u);
    EXPECT_EQ(seen.reasons[0], VESK_PERSIST_UPDATE);
    EXPECT_EQ(seen.paths[0], d.media_path(CLAIMED));
    EXPECT_TRUE(update_exists(d.media_path(CLAIMED)));
    EXPECT_FALSE(update_exists(d.media_path("device_upgrade_v2.1.zip")));
    EXPECT_FALSE(update_exists(d.media_path("http_md5_check_ok.txt")));
    EXPECT_FALSE(update_exists(d.media_path(REPORT)));
}

TEST_F(UpdateWatcher, ABlankInTheNameIsSetAsideWithNumberedNames)
{
    put_package("device_upgrade_a b.zip");
    start();
    EXPECT_TRUE(update_exists(d.media_path("VeskUpdate/vesk_failed_000001.zip.failed")));
    EXPECT_FALSE(update_exists(d.media_path("device_upgrade_a b.zip")));
    std::string r = report();
    EXPECT_EQ(update_report_field(r, "step"), "name");
    EXPECT_EQ(update_report_field(r, "file"), "device_upgrade_a b.zip");
    EXPECT_EQ(update_report_field(r, "archive"),
              "moved to VeskUpdate/vesk_failed_000001.zip.failed; never installed automatically");
    EXPECT_EQ(update_report_field(r, "state"), "final");
    EXPECT_EQ(update_report_field(r, "live"), "unchanged");
    EXPECT_EQ(update_report_field(r, "installer_report"), "none");
    EXPECT_TRUE(update_calls_taken().paths.empty());
    stop();
    put_package("device_upgrade_c d.zip");
    start();
    EXPECT_TRUE(update_exists(d.media_path("VeskUpdate/vesk_failed_000002.zip.failed")));
}

TEST_F(UpdateWatcher, TwoOrThreePackagesAreLeftAndAllNamed)
{
    for (unsigned n : {2u, 3u}) {
        std::vector<std::string> names;
        for (unsigned i = 0; i < n; i++) names.push_back("device_upgrade_" + std::to_string(i) + ".zip");
        for (const std::string &name : names) put_package(name);
        start();
        for (const std::string &name : names) EXPECT_TRUE(update_exists(d.media_path(name))) << name;
        std::string r = report();
        auto fields = update_report_fields(r);
        EXPECT_EQ(fields.count("file"), n);
        EXPECT_EQ(update_report_field(r, "step"), "multiple");
        EXPECT_EQ(update_report_field(r, "detail"),
                  std::to_string(n) + " update packages in the Media root; none was installed");
        EXPECT_EQ(update_report_field(r, "archive"), "all left in the Media root, untouched");
        EXPECT_TRUE(update_calls_taken().paths.empty());
        stop();
        for (const std::string &name : names) unlink(d.media_path(name).c_str());
    }
}

TEST_F(UpdateWatcher, ANameCannotForgeReportLines)
{
    put_package("device_upgrade_x\nstate=pending\nreported_by=boot installer.zip");
    start();
    std::string r = report();
    auto fields = update_report_fields(r);
    EXPECT_EQ(fields.count("state"), 1u);
    EXPECT_EQ(update_report_field(r, "state"), "final");
    EXPECT_EQ(update_report_field(r, "reported_by"), "application");
    EXPECT_EQ(update_report_field(r, "file"), "device_upgrade_x?state?pending?reported_by?boot installer.zip");
    vesk_update_media_report m;
    int root = open(d.media.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(vesk_update_read_media_report(root, &m), 1);
    close(root);
    EXPECT_FALSE(m.vesk_installer);
    EXPECT_FALSE(m.vesk_pending);
}

struct claim_refusal_row {
    const char *what;
    std::function<void(update_dirs &)> setup;
    const char *step, *archive;
};

TEST_F(UpdateWatcher, ClaimRefusalsLeaveThePackageAndSayWhy)
{
    const claim_refusal_row rows[] = {
        {"a folder by the package's name",
         [](update_dirs &d) { mkdir(d.media_path("device_upgrade_a.zip").c_str(), 0755); }, "type",
         "left in the Media root"},
        {"a link by the package's name",
         [](update_dirs &d) { symlink("/etc/passwd", d.media_path("device_upgrade_a.zip").c_str()); }, "type",
         "left in the Media root"},
        {"a published package waits",
         [](update_dirs &d) {
             update_zip_file(d.media_path("device_upgrade_a.zip"), legacy());
             mkdir(d.update_path("device_upgrade").c_str(), 0755);
         },
         "busy", "left in the Media root"},
        {"a file named VeskUpdate",
         [](update_dirs &d) {
             update_zip_file(d.media_path("device_upgrade_a.zip"), legacy());
             update_write(d.media_path("VeskUpdate"), "x");
         },
         "claim", "left in the Media root"},
    };
    for (const claim_refusal_row &r : rows) {
        update_dirs fresh;
        std::swap(d.base, fresh.base), std::swap(d.media, fresh.media), std::swap(d.update, fresh.update);
        r.setup(d);
        start();
        std::string rep = report();
        EXPECT_EQ(update_report_field(rep, "step"), r.step) << r.what;
        EXPECT_EQ(update_report_field(rep, "archive"), r.archive) << r.what;
        EXPECT_EQ(update_report_field(rep, "file"), "device_upgrade_a.zip") << r.what;
        EXPECT_TRUE(update_exists(d.media_path("device_upgrade_a.zip"))) << r.what;
        EXPECT_TRUE(update_calls_taken().paths.empty()) << r.what;
        stop();
    }
}

TEST_F(UpdateWatcher, ARefusedRequestSetsTheClaimAside)
{
    put_package("device_upgrade_a.zip");
    start(-EBUSY);
    std::string r = report();
    EXPECT_EQ(update_report_field(r, "step"), "admission");
    EXPECT_EQ(update_report_field(r, "detail"), "the lifecycle did not take the update request: rc=-16");
    EXPECT_EQ(update_report_field(r, "archive"),
              "moved to VeskUpdate/vesk_failed_000001.zip.failed; never installed automatically");
    EXPECT_FALSE(update_exists(d.media_path(CLAIMED)));
}

TEST_F(UpdateWatcher, TheMarkerStartsAScanWhileRunning)
{
    start();
    ASSERT_TRUE(update_write(d.media_path("http_md5_check_ok.txt"), "ok"));
    /* A marker without a package is consumed. */
    ASSERT_TRUE(update_wait(5000, [&] { return !update_exists(d.media_path("http_md5_check_ok.txt")); }));
    EXPECT_TRUE(update_calls_taken().paths.empty());
    put_package("device_upgrade_a.zip");
    EXPECT_TRUE(update_calls_taken().paths.empty()); /* a package alone waits for the marker */
    ASSERT_TRUE(update_write(d.media_path("http_md5_check_ok.txt"), "ok"));
    ASSERT_TRUE(update_wait(5000, [&] { return update_calls_taken().paths.size() == 1; }));
    EXPECT_TRUE(update_exists(d.media_path(CLAIMED)));
}

TEST_F(UpdateWatcher, MediaReadyWatchesAndScansAgain)
{
    start();
    put_package("device_upgrade_a.zip");
    ASSERT_TRUE(update_write(d.media_path("http_md5_check_ok.txt"), "ok"));
    ASSERT_TRUE(update_wait(5000, [&] { return update_calls_taken().paths.size() == 1; }));
    size_t http = update_calls_taken().http.size();
    vesk_update_media_ready();
    ASSERT_TRUE(update_wait(5000, [&] { return update_calls_taken().http.size() == http + 1; }));
}

TEST_F(UpdateWatcher, AMediaRootMovedAwayIsWatchedAgainOnceMediaIsReady)
{
    start();
    std::string away = d.base + "/away";
    ASSERT_EQ(rename(d.media.c_str(), away.c_str()), 0);
    ASSERT_EQ(mkdir(d.media.c_str(), 0755), 0); /* a new file system mounted in its place */
    put_package("device_upgrade_a.zip");
    ASSERT_TRUE(update_write(d.media_path("http_md5_check_ok.txt"), "ok"));
    vesk_update_media_ready();
    ASSERT_TRUE(update_wait(5000, [&] { return update_calls_taken().paths.size() == 1; }));
    EXPECT_TRUE(update_exists(d.media_path(CLAIMED)));
}

struct note_row {
    vesk_update_result result;
    int rc;
    const char *step, *state, *detail;
    bool set_aside;
};

TEST_F(UpdateWatcher, EveryNoteOfTheCoordinatorIsReported)
{
    static const note_row rows[] = {
        {VESK_UPDATE_RESULT_PREPARE_FAILED, -110, "prepare", "final",
         "the lifecycle could not prepare the update: rc=-110; nothing was published", true},
        {VESK_UPDATE_RESULT_CANCELLED, -5, "commit", "final",
         "the lifecycle cancelled the update: rc=-5; nothing was published", true},
        {VESK_UPDATE_RESULT_UNCERTAIN, -5, "publication", "pending",
         "the install job failed after it may have published the package: rc=-5", false},
        {VESK_UPDATE_RESULT_SAFETY_BEFORE_COMMIT, 0, "safety", "final",
         "a low-battery or low-temperature poweroff took over; nothing was published", true},
        {VESK_UPDATE_RESULT_SAFETY_AFTER_COMMIT, 0, "safety", "pending",
         "a low-battery or low-temperature poweroff took over during the install job", false},
        {VESK_UPDATE_RESULT_REBOOT_FAILED, -1, "reboot", "pending", "the reboot failed: rc=-1", false},
    };
    for (const note_row &r : rows) {
        update_dirs fresh;
        std::swap(d.base, fresh.base), std::swap(d.media, fresh.media), std::swap(d.update, fresh.update);
        put_package("device_upgrade_a.zip");
        start();
        ASSERT_EQ(update_calls_taken().paths.size(), 1u);
        vesk_update_note_result(r.result, r.rc);
        /* The report is written first, then the claim moves aside. */
        ASSERT_TRUE(update_wait(5000, [&] {
            return update_exists(d.media_path(REPORT)) &&
                   (!r.set_aside || update_exists(d.media_path("VeskUpdate/vesk_failed_000001.zip.failed")));
        })) << r.step;
        std::string rep = report();
        EXPECT_EQ(update_report_field(rep, "step"), r.step);
        EXPECT_EQ(update_report_field(rep, "state"), r.state) << r.step;
        EXPECT_EQ(update_report_field(rep, "detail"), r.detail);
        EXPECT_EQ(update_report_field(rep, "file"), "device_upgrade_a.zip");
        EXPECT_EQ(update_exists(d.media_path("VeskUpdate/vesk_failed_000001.zip.failed")), r.set_aside) << r.step;
        EXPECT_EQ(update_exists(d.media_path(CLAIMED)), !r.set_aside) << r.step;
        EXPECT_EQ(update_report_field(rep, "live"),
                  std::string(r.state) == "pending" ? "decided by the boot installer at the next start" : "unchanged");
        stop();
    }
}

TEST_F(UpdateWatcher, ACancelAfterThePackageWasPublishedLeavesItToTheInstaller)
{
    put_package("device_upgrade_a.zip");
    start();
    ASSERT_EQ(update_calls_taken().paths.size(), 1u);
    /* Published, but the update directory's sync failed: the commit fails. */
    ASSERT_EQ(mkdir(d.update_path("device_upgrade").c_str(), 0755), 0);
    vesk_update_note_result(VESK_UPDATE_RESULT_CANCELLED, -EIO);
    ASSERT_TRUE(update_wait(5000, [&] { return update_exists(d.media_path(REPORT)); }));
    std::string rep = report();
    EXPECT_EQ(update_report_field(rep, "step"), "publication");
    EXPECT_EQ(update_report_field(rep, "state"), "pending");
    EXPECT_EQ(update_report_field(rep, "archive"), "published for the boot installer");
    /* The published folder is the claimed file's copy, as if the unpack
     * had removed it. */
    EXPECT_FALSE(update_exists(d.media_path(CLAIMED)));
    EXPECT_FALSE(update_exists(d.media_path("VeskUpdate/vesk_failed_000001.zip.failed")));
    stop();
    /* The boot installer takes the package before the next start: that
     * start settles the report and never calls the update interrupted. */
    ASSERT_EQ(rmdir(d.update_path("device_upgrade").c_str()), 0);
    start();
    EXPECT_FALSE(update_exists(d.media_path(REPORT))) << report();
    EXPECT_FALSE(update_exists(d.media_path("VeskUpdate/vesk_failed_000001.zip.failed")));
}

TEST_F(UpdateWatcher, ANoteWithoutAnAttemptIsDropped)
{
    start();
    vesk_update_note_result(VESK_UPDATE_RESULT_CANCELLED, -5);
    /* The stop is handled after anything woken before it. */
    stop();
    EXPECT_FALSE(update_exists(d.media_path(REPORT)));
}

TEST_F(UpdateWatcher, AFailedUnpackIsReportedWithItsStep)
{
    put_package("device_upgrade_a.zip", with(legacy(), {"evil.sh"}));
    start();
    ASSERT_EQ(update_calls_taken().paths.size(), 1u);
    EXPECT_EQ(vesk_update_unpack(d.media_path(CLAIMED).c_str(), d.update.c_str()), -ECANCELED);
    vesk_update_note_result(VESK_UPDATE_RESULT_CANCELLED, -ECANCELED);
    ASSERT_TRUE(update_wait(5000, [&] { return update_exists(d.media_path(REPORT)); }));
    std::string rep = report();
    EXPECT_EQ(update_report_field(rep, "step"), "unpack");
    EXPECT_EQ(update_report_field(rep, "detail"), "package check failed: errno=22; nothing was published");
    EXPECT_EQ(update_report_field(rep, "archive"),
              "moved to VeskUpdate/vesk_failed_000001.zip.failed; never installed automatically");
    EXPECT_TRUE(sim_folder_names(d.update).empty());
}

TEST_F(UpdateWatcher, AClaimLeftByARestartIsSetAsideAsInterrupted)
{
    ASSERT_EQ(mkdir(d.media_path("VeskUpdate").c_str(), 0755), 0);
    ASSERT_TRUE(update_zip_file(d.media_path(CLAIMED), legacy()));
    start();
    std::string rep = report();
    EXPECT_EQ(update_report_field(rep, "step"), "interrupted");
    EXPECT_EQ(update_report_field(rep, "detail"),
              "a claimed package was never published (power loss or a restart during the update)");
    EXPECT_TRUE(update_exists(d.media_path("VeskUpdate/vesk_failed_000001.zip.failed")));
    EXPECT_FALSE(update_exists(d.media_path(CLAIMED)));
}

TEST_F(UpdateWatcher, AClaimAlreadyPublishedIsRemovedAtStart)
{
    ASSERT_EQ(mkdir(d.media_path("VeskUpdate").c_str(), 0755), 0);
    ASSERT_TRUE(update_zip_file(d.media_path(CLAIMED), legacy()));
    ASSERT_EQ(mkdir(d.update_path("device_upgrade").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(d.update_path("vesk-unpack-abc123").c_str(), 0755), 0);
    ASSERT_TRUE(update_write(d.update_path("vesk-unpack-abc123/sightd"), "half"));
    start();
    EXPECT_FALSE(update_exists(d.media_path(CLAIMED)));
    EXPECT_FALSE(update_exists(d.media_path(REPORT)));
    EXPECT_EQ(sim_folder_names(d.update), std::vector<std::string>{"device_upgrade"});
}

TEST_F(UpdateWatcher, TheFreeSpaceGoesToThePhone)
{
    start();
    update_calls_seen seen = update_calls_taken();
    ASSERT_EQ(seen.http.size(), 1u);
    EXPECT_EQ(seen.http[0].size(), 3u);
    EXPECT_EQ(seen.http[0][0], 13);
    struct statfs fs;
    ASSERT_EQ(statfs(d.media.c_str(), &fs), 0);
    double gib = (double)fs.f_bavail * (double)fs.f_bsize / 1024 / 1024 / 1024;
    /* Whole GiB and hundredths; others write to this disk meanwhile. */
    if (gib < 255) {
        EXPECT_NEAR(seen.http[0][1] + seen.http[0][2] / 100.0, gib, 0.25);
    }
    EXPECT_LT(seen.http[0][2], 100);
    ASSERT_TRUE(update_write(d.media_path("SIMULATE_STORAGE_LOW.cfg"), ""));
    EXPECT_EQ(vesk_update_publish_storage(), 0);
    seen = update_calls_taken();
    ASSERT_EQ(seen.http.size(), 2u);
    EXPECT_EQ(seen.http[1], (std::vector<uint8_t>{13, 0, 46}));
}

struct storage_row {
    const char *size; /* of a fresh tmpfs as the Media partition */
    uint8_t whole, hundredths;
};

/* Whole GiB and hundredths, exactly; a partition with more free than the
 * byte holds says the most it can, never a figure wrapped round. */
TEST(UpdateStorage, FreeSpaceIsSentAsWholeGibAndHundredths)
{
    static const storage_row rows[] = {
        {"1536m", 1, 50}, {"2g", 2, 0}, {"255g", 255, 0}, {"256g", 255, 99}, {"300g", 255, 99},
    };
    for (const storage_row &r : rows) {
        update_dirs d;
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(out[0]);
            std::string options = std::string("size=") + r.size;
            if (sim_private_ns(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("tmpfs", d.media.c_str(), "tmpfs", 0, options.c_str()) != 0)
                _exit(2);
            update_fake_calls(0);
            if (vesk_update_start(d.media.c_str(), d.update.c_str()) != 0) _exit(3);
            update_calls_seen seen = update_calls_taken();
            if (seen.http.size() != 1 || seen.http[0].size() != 3 || seen.http[0][0] != 13) _exit(4);
            _exit(write(out[1], &seen.http[0][1], 2) == 2 ? 0 : 5);
        }
        close(out[1]);
        uint8_t got[2] = {0xEE, 0xEE};
        ssize_t n = read(out[0], got, 2);
        close(out[0]);
        int st = 0;
        ASSERT_EQ(waitpid(child, &st, 0), child);
        ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << r.size << " status " << st;
        ASSERT_EQ(n, 2) << r.size;
        EXPECT_EQ(got[0], r.whole) << r.size;
        EXPECT_EQ(got[1], r.hundredths) << r.size;
    }
}

TEST_F(UpdateWatcher, StartRefusesBadPathsAndASecondStart)
{
    EXPECT_EQ(vesk_update_start(nullptr, "/x"), -EINVAL);
    EXPECT_EQ(vesk_update_start(std::string(512, 'a').c_str(), "/x"), -EINVAL);
    start();
    EXPECT_EQ(vesk_update_start(d.media.c_str(), d.update.c_str()), -EALREADY);
}

/* ---- the report ---- */

TEST_F(UpdateWatcher, ThreeNamesGiveThreeFileLines)
{
    static const char *const files[] = {"a.zip", "b.zip", "c=d\n.zip"};
    vesk_update_watch w = {};
    snprintf(w.vesk_update, sizeof w.vesk_update, "%s", d.update.c_str());
    int root = open(d.media.c_str(), O_RDONLY | O_DIRECTORY);
    vesk_update_fail(&w, root, "multiple", 1, files, 3, "kept", "act", "detail %d", 7);
    close(root);
    std::string r = report();
    EXPECT_EQ(r.compare(0, 56, "VESK NURAX PRO: the update from Media was not installed\n"), 0);
    auto fields = update_report_fields(r);
    EXPECT_EQ(fields.count("file"), 3u);
    auto it = fields.equal_range("file");
    std::vector<std::string> got;
    for (auto i = it.first; i != it.second; ++i) got.push_back(i->second);
    EXPECT_EQ(got, (std::vector<std::string>{"a.zip", "b.zip", "c?d?.zip"}));
    EXPECT_EQ(update_report_field(r, "state"), "pending");
    EXPECT_EQ(update_report_field(r, "detail"), "detail 7");
    EXPECT_EQ(update_report_field(r, "live"), "decided by the boot installer at the next start");
    EXPECT_FALSE(update_exists(d.media_path(REPORT ".vesk-tmp")));
}

TEST_F(UpdateWatcher, ALongInstallerReportIsReadAsItsFirst4095Bytes)
{
    std::string text;
    for (int i = 0; text.size() < 5000; i++) text += "line " + std::to_string(i) + "\n";
    text.resize(5000);
    text[10] = '\x01';
    ASSERT_TRUE(update_write(d.update_path(REPORT), text));
    vesk_update_installer_report r;
    ASSERT_EQ(vesk_update_read_installer_report(d.update.c_str(), &r), 1);
    EXPECT_EQ(r.vesk_len, 4095u);
    char id[40];
    snprintf(id, sizeof id, "%08lx-%d", crc32(0L, (const Bytef *)text.data(), 4095), 5000);
    EXPECT_STREQ(r.vesk_id, id);
    EXPECT_EQ(r.vesk_text[10], '?');
    EXPECT_EQ(std::string(r.vesk_text, 20).substr(11), text.substr(11, 9));

    start();
    std::string m = report();
    EXPECT_EQ(update_report_field(m, "reported_by"), "boot installer");
    EXPECT_EQ(update_report_field(m, "installer_report"), id);
    EXPECT_NE(m.find("--- " + d.update_path(REPORT) + " ---\n"), std::string::npos);
}

TEST_F(UpdateWatcher, TheSameInstallerReportIsCopiedOnce)
{
    ASSERT_TRUE(update_write(d.update_path(REPORT), "no space for release.tar\n"));
    start();
    stop();
    std::string first = report();
    ASSERT_EQ(update_report_field(first, "reported_by"), "boot installer");
    /* The user may edit the copy; the next start keeps it as long as the
     * installer's report is the same one. */
    ASSERT_TRUE(update_write(d.media_path(REPORT), first + "seen\n"));
    start();
    stop();
    EXPECT_EQ(report(), first + "seen\n");
    ASSERT_TRUE(update_write(d.update_path(REPORT), "another failure\n"));
    start();
    EXPECT_NE(report().find("another failure"), std::string::npos);
}

struct settle_row {
    const char *what;
    std::string media_report;
    bool published, claimed, removed;
};

TEST_F(UpdateWatcher, APendingReportIsRemovedOnceTheInstallerTookThePackage)
{
    const std::string pending = "x\nreported_by=application\nstate=pending\n";
    const std::string installer = "x\nreported_by=boot installer\ninstaller_report=1-1\n";
    const std::string final_app = "x\nreported_by=application\nstate=final\n";
    const settle_row rows[] = {
        {"pending, consumed", pending, false, false, true},
        {"from the installer, consumed", installer, false, false, true},
        {"pending, still published", pending, true, false, false},
        {"pending, a claimed file left", pending, false, true, false},
        {"final from sightd", final_app, false, false, false},
        {"state=pending after the copied text", "x\nreported_by=application\n--- f ---\nstate=pending\n", false, false,
         false},
    };
    for (const settle_row &r : rows) {
        update_dirs fresh;
        std::swap(d.base, fresh.base), std::swap(d.media, fresh.media), std::swap(d.update, fresh.update);
        ASSERT_TRUE(update_write(d.media_path(REPORT), r.media_report));
        if (r.published) mkdir(d.update_path("device_upgrade").c_str(), 0755);
        if (r.claimed) {
            mkdir(d.media_path("VeskUpdate").c_str(), 0755);
            update_write(d.media_path(CLAIMED), "x");
        }
        vesk_update_watch w = {};
        snprintf(w.vesk_update, sizeof w.vesk_update, "%s", d.update.c_str());
        snprintf(w.vesk_slot, sizeof w.vesk_slot, "%s", d.media_path(CLAIMED).c_str());
        int root = open(d.media.c_str(), O_RDONLY | O_DIRECTORY);
        vesk_update_reconcile_reports(&w, root);
        close(root);
        EXPECT_EQ(!update_exists(d.media_path(REPORT)), r.removed) << r.what;
    }
}

TEST_F(UpdateWatcher, AnInstallerReportThatIsNoFileIsLeftAlone)
{
    ASSERT_EQ(mkfifo(d.update_path(REPORT).c_str(), 0644), 0);
    vesk_update_installer_report r;
    EXPECT_EQ(vesk_update_read_installer_report(d.update.c_str(), &r), 2);
    EXPECT_STREQ(r.vesk_id, "unreadable");
    start();
    EXPECT_FALSE(update_exists(d.media_path(REPORT)));
}
