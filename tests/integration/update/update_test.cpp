// An update package on the Media partition, seen from outside: a good one
// is claimed, unpacked for the boot installer and installed across the
// reboot; a bad one leaves a plain-text report on the Media partition and
// is set aside.
#include "scope_e2e.h"

#include <filesystem>

#include "boot_installer_sim.h"
#include "update_zip.h"

namespace {

const char kMedia[] = "/usrdata/media/";
const char kReport[] = "/usrdata/media/vesk_update_failed.txt";
const sim_head lifecycle_result = {0x00, 0x00, 0x2A, 0x80};

std::string package(const std::vector<update_zip_entry> &entries) { return update_zip_bytes(entries); }

std::string field(const std::string &report, const std::string &key)
{
    size_t at = report.find("\n" + key + "=");
    if (at == std::string::npos) return "";
    at += key.size() + 2;
    return report.substr(at, report.find('\n', at) - at);
}

/* The package, then the phone's marker that has the watcher look. */
bool drop_package(sim_harness &h, const std::string &name, const std::string &bytes)
{
    return sim_write_file(h.sb, kMedia + name, bytes) == 0 &&
           sim_write_file(h.sb, std::string(kMedia) + "http_md5_check_ok.txt", "ok\n") == 0;
}

sim_outcome wait_end(sim_harness &h, int timeout_ms)
{
    sim_outcome out;
    h.wait(timeout_ms, [&] { return h.ended(h.sightd, &out); });
    h.sightd = -1;
    return out;
}

struct kept_folder {
    std::string dir;
    ~kept_folder()
    {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
};

/* Boots the kept folder as the board would after the reboot: the boot
 * installer first, then sightd. */
void boot_again(sim_harness &h, const std::string &dir, std::vector<std::string> *installed)
{
    sim_options kept;
    kept.dir = dir;
    SCOPE_START(h, {"media", "gui"}, kept);
    ASSERT_TRUE(boot_installer_boot(h, installed)) << h.why;
    ASSERT_TRUE(h.boot_sightd()) << h.why;
}

TEST(Update, AGoodPackageIsInstalledAcrossTheReboot)
{
    kept_folder folder;
    {
        sim_harness run;
        sim_options keep;
        keep.keep = true;
        SCOPE_START(run, {"media", "gui"}, keep);
        folder.dir = sim_dir(run.sb);
        ASSERT_TRUE(run.boot_sightd()) << run.why;
        ASSERT_TRUE(drop_package(run, "device_upgrade_v2.0.zip",
                                 package(update_zip_package("device_upgrade_v2.0", update_zip_single))));
        sim_outcome out = wait_end(run, SIM_BOOT_MS);
        EXPECT_EQ(out.end, SIM_REBOOT) << sim_outcome_text(out);
        EXPECT_TRUE(run.exists("/usrdata/update/device_upgrade/VESK_INSTALL.meta"));
        EXPECT_FALSE(run.exists("/usrdata/media/VeskUpdate/device_upgrade_claimed.zip"));
        EXPECT_FALSE(run.exists("/usrdata/media/device_upgrade_v2.0.zip"));
        EXPECT_FALSE(run.exists(kReport));
    }
    sim_harness again;
    std::vector<std::string> installed;
    boot_again(again, folder.dir, &installed);
    ASSERT_EQ(installed.size(), 1u);
    EXPECT_EQ(installed[0], "installed device_upgrade: VESK_INSTALL.meta VESK_PAYLOAD.sha256 VESK_RELEASE.sha256 "
                            "VESK_VERSION.txt libCustBallisticCalculator.so release.tar sightd update.sh");
    EXPECT_NE(again.read(BOOT_INSTALLER_LOG).find("installed device_upgrade:"), std::string::npos);
    EXPECT_FALSE(again.exists("/usrdata/update/device_upgrade"));
    EXPECT_FALSE(again.exists(kReport));
    scope_stop_sightd(again);
}

TEST(Update, AFailedInstallIsCopiedOntoTheMediaPartition)
{
    kept_folder folder;
    {
        sim_harness run;
        sim_options keep;
        keep.keep = true;
        std::vector<update_zip_entry> pkg = update_zip_package("device_upgrade_v2.1", update_zip_legacy);
        keep.files.push_back({"/usrdata/media/device_upgrade_v2.1.zip", package(pkg), 0644});
        SCOPE_START(run, {"media", "gui"}, keep);
        folder.dir = sim_dir(run.sb);
        ASSERT_TRUE(boot_installer_fail_next(run, "release.tar does not fit")) << run.why;
        /* Found at start: claimed and installed before the boot is over. */
        ASSERT_TRUE(run.start_sightd()) << run.why;
        sim_outcome out = wait_end(run, SIM_BOOT_MS);
        EXPECT_EQ(out.end, SIM_REBOOT) << sim_outcome_text(out);
    }
    sim_harness again;
    std::vector<std::string> said;
    boot_again(again, folder.dir, &said);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], "failed device_upgrade: release.tar does not fit");
    std::string report;
    ASSERT_TRUE(again.wait(SIM_REPLY_MS, [&] { return !(report = again.read(kReport)).empty(); }));
    EXPECT_EQ(report.rfind("VESK NURAX PRO: the boot installer reported a failure\n", 0), 0u) << report;
    EXPECT_EQ(field(report, "reported_by"), "boot installer");
    EXPECT_NE(report.find("reason=release.tar does not fit"), std::string::npos) << report;
    EXPECT_TRUE(again.wait(SIM_REPLY_MS, [&] {
        return !again.log_lines("errors", "boot installer: reason=release.tar does not fit").empty();
    }));
    scope_stop_sightd(again);
}

TEST(Update, AMalformedPackageIsReportedAndSetAside)
{
    sim_harness run;
    sim_options options;
    std::vector<update_zip_entry> pkg = update_zip_package("device_upgrade_v9", update_zip_legacy);
    pkg.back().name = "device_upgrade_v9/../../etc/passwd";
    options.files.push_back({"/usrdata/media/device_upgrade_v9.zip", package(pkg), 0644});
    SCOPE_START(run, {"media", "gui"}, options);
    ASSERT_TRUE(run.boot_sightd()) << run.why;
    std::string report;
    /* The report is written first, then the package moves aside. */
    ASSERT_TRUE(run.wait(SIM_BOOT_MS, [&] {
        return !(report = run.read(kReport)).empty() &&
               run.exists("/usrdata/media/VeskUpdate/vesk_failed_000001.zip.failed");
    }));
    EXPECT_EQ(report.rfind("VESK NURAX PRO: the update from Media was not installed\n", 0), 0u) << report;
    EXPECT_EQ(field(report, "reported_by"), "application");
    EXPECT_EQ(field(report, "state"), "final");
    EXPECT_EQ(field(report, "step"), "unpack");
    EXPECT_EQ(field(report, "detail"), "package check failed: errno=22; nothing was published");
    EXPECT_EQ(field(report, "file"), "device_upgrade_v9.zip");
    EXPECT_EQ(field(report, "archive"),
              "moved to VeskUpdate/vesk_failed_000001.zip.failed; never installed automatically");
    EXPECT_TRUE(run.exists("/usrdata/media/VeskUpdate/vesk_failed_000001.zip.failed"));
    EXPECT_FALSE(run.exists("/usrdata/update/device_upgrade"));
    /* The GUI hears that the update was cancelled, and sightd goes on. */
    EXPECT_FALSE(run.wait_frames(
                        "gui", [](const sim_bytes &f) { return lifecycle_result(f) && f[6] == 7; }, 1)
                     .empty());
    EXPECT_FALSE(run.ended(run.sightd));
    scope_stop_sightd(run);
}

TEST(Update, TwoPackagesAreLeftAndBothNamed)
{
    sim_harness run;
    sim_options options;
    std::string pkg = package(update_zip_package("device_upgrade_a", update_zip_legacy));
    options.files.push_back({"/usrdata/media/device_upgrade_a.zip", pkg, 0644});
    options.files.push_back({"/usrdata/media/device_upgrade_b.zip", pkg, 0644});
    SCOPE_START(run, {"media", "gui"}, options);
    ASSERT_TRUE(run.boot_sightd()) << run.why;
    std::string report;
    ASSERT_TRUE(run.wait(SIM_REPLY_MS, [&] { return !(report = run.read(kReport)).empty(); }));
    EXPECT_EQ(field(report, "step"), "multiple");
    EXPECT_NE(report.find("\nfile=device_upgrade_a.zip\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nfile=device_upgrade_b.zip\n"), std::string::npos) << report;
    EXPECT_TRUE(run.exists("/usrdata/media/device_upgrade_a.zip"));
    EXPECT_TRUE(run.exists("/usrdata/media/device_upgrade_b.zip"));
    EXPECT_TRUE(run.wait(SIM_REPLY_MS, [&] { return !run.log_lines("errors", " (and others) ").empty(); }));
    /* The GUI's update confirm and check requests are taken and change
     * nothing: the packages stay where they are. */
    ASSERT_TRUE(run.send("gui", scope_request(26, 1, 0xFF, 0)));
    ASSERT_TRUE(run.send("gui", scope_request(26, 2, 0xFF, 0)));
    scope_stop_sightd(run);
    EXPECT_TRUE(run.exists("/usrdata/media/device_upgrade_a.zip"));
    EXPECT_TRUE(run.exists("/usrdata/media/device_upgrade_b.zip"));
}

} // namespace
