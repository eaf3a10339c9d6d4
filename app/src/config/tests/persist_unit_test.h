// A test on a unit's files (persist_fixture.h) with the persistence
// service started on them: what a module's tests need to change settings
// and profiles as sightd does.
#pragma once

#include <gtest/gtest.h>

#include "persist_fixture.h"
#include "qel_dev_status.h"
#include "vesk_persist.h"

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
