// A test on a unit's files (persist_fixture.h) with the persistence
// service started on them: what a module's tests need to change settings
// and profiles as sightd does.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "persist_fixture.h"
#include "qel_dev_status.h"
#include "vesk_persist.h"

/* The service reads its fault and checkpoint switches from the environment
 * at each operation, and a fault counter stays spent until its key
 * (operation, hits, nonce) changes. Each case starts with every switch off
 * and the nonce set to its own name, so a case run after others in one
 * process sees what it would see alone. */
class PersistSwitchReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &info) override
    {
        for (const char *v :
             {"VESK_PERSIST_FAULT_OP", "VESK_PERSIST_FAULT_HITS", "VESK_PERSIST_FAULT_ERRNO",
              "VESK_PERSIST_TEST_KILL_AT", "VESK_PERSIST_TEST_PAUSE_AT", "VESK_PERSIST_TEST_DELAY_AT",
              "VESK_PERSIST_TEST_COUNT_FILE", "VESK_PERSIST_TEST_READY_FILE", "VESK_PERSIST_TEST_RESUME_FILE",
              "VESK_PERSIST_TEST_DELAY_MS", "VESK_PERSIST_TEST_MANIFEST_ACCESS_ERRNO"})
            unsetenv(v);
        const std::string name = std::string(info.test_suite_name()) + "." + info.name();
        setenv("VESK_PERSIST_FAULT_NONCE", name.c_str(), 1);
    }
};
inline const bool persist_switch_reset_installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new PersistSwitchReset);
    return true;
}();

class PersistUnitTest : public ::testing::Test {
protected:
    PersistDir dir;
    vesk_persist_profiles profiles = {};
    vesk_persist_hooks hooks = {};

    void SetUp() override { dir.create(); }
    void TearDown() override
    {
        vesk_persist_stop(2000);
        dir.remove();
    }
    /* Starts the service on the folder; the settings record and the
     * profiles then hold what it loaded. 0 or its negative errno. */
    int start()
    {
        vesk_persist_paths p = dir.paths();
        int rc = vesk_persist_start(&p, &hooks, &qel_dev_status, &profiles);
        qel_ballistics = profiles.vesk_ballistics;
        qel_ir_cursor = profiles.vesk_cursor;
        return rc;
    }
};
