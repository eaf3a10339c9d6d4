// The navigator over fixture windows: opening and closing, the resources'
// single-instance and modal rules, replace and switch, and its failures;
// the page table over the real resources; page subscriptions that end with
// their window.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "awtk_host.h"
#include "navigator.h"
#include "pages.h"
#include "sightui_test.h"
#include "ui_events.h"
#include "ui_status.h"
#include "vesk_page.h"

using namespace sightui_test;

namespace {

/* A resource root of fixture windows, removed with the fixture. */
class FixtureRes : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/sightui-nav-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        ASSERT_EQ(mkdir((root + "/ui").c_str(), 0755), 0);
        put("plain", "<window name=\"plain\" x=\"0\" y=\"0\" w=\"100%\" h=\"100%\"/>");
        put("other", "<window name=\"other\" x=\"0\" y=\"0\" w=\"100%\" h=\"100%\"/>");
        put("single", "<window name=\"single\" x=\"0\" y=\"0\" w=\"100%\" h=\"100%\" single_instance=\"true\"/>");
        put("modal", "<dialog name=\"modal\" x=\"100\" y=\"100\" w=\"400\" h=\"200\"/>");
        put("free", "<dialog name=\"free\" x=\"100\" y=\"100\" w=\"400\" h=\"200\" to_modal=\"false\"/>");
        put("broken", "<window name=\"broken\" x=\"0\"");
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + root + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    void put(const char *name, const char *xml) { std::ofstream(root + "/ui/" + name + ".xml") << xml << "\n"; }
    std::string root;
};

std::vector<std::string> stack()
{
    std::vector<std::string> names;
    widget_t *wm = window_manager();
    for (int32_t i = 0; i < widget_count_children(wm); i++) names.push_back(widget_get_child(wm, i)->name);
    return names;
}

typedef std::vector<std::string> names;

TEST_F(FixtureRes, OpenStacksAndCloseRemovesByName)
{
    in_gui_child(
        [] {
            EXPECT_EQ(navigator_to("plain"), RET_OK);
            EXPECT_EQ(navigator_to("other"), RET_OK);
            EXPECT_EQ(navigator_to("plain"), RET_OK);
            awtk_test_pump();
            EXPECT_EQ(stack(), (names{"plain", "other", "plain"})) << "without single_instance a second one stacks";
            EXPECT_EQ(navigator_close("other"), RET_OK);
            EXPECT_EQ(stack(), (names{"plain", "plain"}));
            EXPECT_EQ(navigator_close("other"), RET_FAIL);
            EXPECT_EQ(stack(), (names{"plain", "plain"}));
            EXPECT_EQ(navigator_back(), RET_OK);
            EXPECT_EQ(stack(), (names{"plain"}));
        },
        1280, 1024, root.c_str());
}

TEST_F(FixtureRes, SingleInstanceClosesTheOpenOneFirst)
{
    in_gui_child(
        [] {
            EXPECT_EQ(navigator_to("single"), RET_OK);
            EXPECT_EQ(navigator_to("plain"), RET_OK);
            widget_t *first = navigator_find_window("single");
            EXPECT_EQ(navigator_to("single"), RET_OK);
            awtk_test_pump();
            EXPECT_EQ(stack(), (names{"plain", "single"}));
            EXPECT_NE(navigator_find_window("single"), first);
        },
        1280, 1024, root.c_str());
}

TEST_F(FixtureRes, ReplaceClosesTheTopMainWindow)
{
    in_gui_child(
        [] {
            EXPECT_EQ(navigator_to("plain"), RET_OK);
            EXPECT_EQ(navigator_to("other"), RET_OK);
            EXPECT_EQ(navigator_replace("single"), RET_OK);
            awtk_test_pump();
            EXPECT_EQ(stack(), (names{"plain", "single"}));
            /* Replacing a single-instance window by itself leaves one. */
            EXPECT_EQ(navigator_replace("single"), RET_OK);
            awtk_test_pump();
            EXPECT_EQ(stack(), (names{"plain", "single"}));
        },
        1280, 1024, root.c_str());
}

TEST_F(FixtureRes, SwitchRaisesAnOpenWindowOrOpensIt)
{
    in_gui_child(
        [] {
            EXPECT_EQ(navigator_to("plain"), RET_OK);
            EXPECT_EQ(navigator_to("other"), RET_OK);
            EXPECT_EQ(navigator_switch_to("plain", FALSE), RET_OK);
            awtk_test_pump();
            EXPECT_EQ(top_name(), "plain");
            EXPECT_EQ(stack().size(), 2u);
            EXPECT_EQ(navigator_switch_to("other", TRUE), RET_OK);
            awtk_test_pump();
            EXPECT_EQ(stack(), (names{"other"}));
            EXPECT_EQ(navigator_switch_to("single", TRUE), RET_OK) << "not open: opened like navigator_to";
            awtk_test_pump();
            EXPECT_EQ(stack(), (names{"other", "single"}));
        },
        1280, 1024, root.c_str());
}

TEST_F(FixtureRes, DialogRunsModallyUnlessItsResourceSaysNot)
{
    in_gui_child(
        [] {
            EXPECT_EQ(navigator_to("plain"), RET_OK);
            EXPECT_EQ(navigator_to("free"), RET_OK);
            EXPECT_EQ(top_name(), "free");
            EXPECT_EQ(navigator_back(), RET_OK);
            /* The modal loop runs until the dialog quits; an idle ends it. */
            idle_add(
                [](const idle_info_t *) {
                    dialog_quit(navigator_find_window("modal"), DIALOG_QUIT_OK);
                    return RET_REMOVE;
                },
                NULL);
            EXPECT_EQ(navigator_to("modal"), (ret_t)DIALOG_QUIT_OK);
            awtk_test_pump();
            EXPECT_EQ(stack(), (names{"plain"}));
        },
        1280, 1024, root.c_str());
}

TEST_F(FixtureRes, FailuresAreReportedAsTheirCodes)
{
    in_gui_child(
        [] {
            EXPECT_EQ(navigator_to("missing"), RET_FAIL);
            EXPECT_EQ(navigator_to("broken"), RET_FAIL);
            EXPECT_EQ(navigator_replace("missing"), RET_FAIL);
            EXPECT_EQ(navigator_to(""), RET_BAD_PARAMS);
            EXPECT_EQ(navigator_to(NULL), RET_BAD_PARAMS);
            EXPECT_EQ(navigator_to_with_context("", NULL), RET_BAD_PARAMS);
            EXPECT_EQ(navigator_replace(""), RET_BAD_PARAMS);
            EXPECT_EQ(navigator_switch_to("", FALSE), RET_BAD_PARAMS);
            EXPECT_EQ(navigator_close(""), RET_BAD_PARAMS);
            EXPECT_EQ(navigator_request_close(NULL), RET_BAD_PARAMS);
            EXPECT_EQ(navigator_request_close("plain"), RET_FAIL);
            EXPECT_EQ(stack(), names{});
        },
        1280, 1024, root.c_str());
}

TEST_F(FixtureRes, EmptyNameIsLoggedAtWarningLevel)
{
    in_gui_child(
        [] {
            log_set_log_level(LOG_LEVEL_WARN);
            std::string out = stdout_of([] {
                navigator_to("");
                navigator_close("missing");
            });
            EXPECT_NE(out.find("condition(target != NULL && *target != '\\0') failed!"), std::string::npos) << out;
            EXPECT_NE(out.find("condition(win != NULL) failed!"), std::string::npos) << out;
        },
        1280, 1024, root.c_str());
}

TEST_F(FixtureRes, RequestCloseLetsTheWindowDecide)
{
    in_gui_child(
        [] {
            EXPECT_EQ(navigator_to("plain"), RET_OK);
            int asked = 0;
            widget_on(
                navigator_find_window("plain"), EVT_REQUEST_CLOSE_WINDOW,
                [](void *ctx, event_t *) {
                    (*(int *)ctx)++;
                    return RET_OK;
                },
                &asked);
            EXPECT_EQ(navigator_request_close("plain"), RET_OK);
            EXPECT_EQ(asked, 1);
            EXPECT_EQ(stack(), (names{"plain"}));
        },
        1280, 1024, root.c_str());
}

/* ---- the page table over the real resources ---- */

TEST(PageTable, EveryNamedWindowOpensAndClosesWithItsInit)
{
    const char *const pages[] = {
        "Boot_logo",
        "HDP_Init",
        "QZ_home_page_1",
        "QZ_shortcut_menu",
        "QZ_reticle_zero",
        "QZ_reticle_zero_dist",
        "QZ_reticle_zero_child",
        "QZ_range_move",
        "QZ_updata",
        "QZ_SHUT_DOWN",
        "DataTime",
        "Info_menu",
        "standby",
        "shut_down_low_power",
        "shut_down_low_temp",
        "ballistic_menu",
        "ballistic_quickmenu",
        "ballistic_setting_menu",
        "ballistic_bullet",
        "ballistic_group_info",
        "ballistic_coriolis",
        "ballistic_weather",
        "ballistic_zeroweather",
        "bullistic_lens",
        "tip_ballistic",
        "main_menu",
        "setting_menu",
        "image_menu",
        "reticle_menu",
        "rav_menu",
        "recoil_menu",
        "lrf_menu",
        "vesk_lrf_select",
        "compass_menu",
        "compass_correction",
        "compass_level",
        "magnetic_declination",
        "reticle_move",
        "lrf_reticle_move",
        "pixel_menu",
        "pixel_child",
        "file_menu",
        "file_image",
        "file_video",
        "memory_menu",
        "memory_format_sel",
        "memory_format_restart",
        "restore_factory",
        "restoring",
    };
    ASSERT_EQ(sizeof(pages) / sizeof(pages[0]), 49u);
    in_gui_child([&] {
        for (const char *name : pages) {
            EXPECT_NE(navigator_page_init(name), nullptr) << name;
            EXPECT_EQ(navigator_to(name), RET_OK) << name;
            awtk_test_pump();
            /* The photo viewer and the video player close at once when
             * there is no file to show, as here. */
            if (strcmp(name, "file_image") == 0 || strcmp(name, "file_video") == 0) {
                EXPECT_EQ(navigator_find_window(name), nullptr) << name;
                continue;
            }
            EXPECT_EQ(top_name(), name);
            EXPECT_EQ(navigator_close(name), RET_OK) << name;
            awtk_test_pump();
            EXPECT_EQ(navigator_find_window(name), nullptr) << name;
        }
        EXPECT_EQ(navigator_page_init("boot_logo"), nullptr) << "names are case-sensitive";
    });
}

TEST(PageTable, TraceLineNamesOnlyTheLatePagesAndUnknownNames)
{
    in_gui_child([] {
        std::string out = stdout_of([] {
            navigator_to("main_menu");
            navigator_to("Boot_logo");
        });
        EXPECT_EQ(out, "name  =============Boot_logo\n");
    });
}

TEST(PageTable, PlainPagesGoBackAndHome)
{
    in_gui_child([] {
        ASSERT_EQ(navigator_to(VESK_HOME_PAGE), RET_OK);
        ASSERT_EQ(navigator_to("main_menu"), RET_OK);
        ASSERT_EQ(navigator_to("setting_menu"), RET_OK);
        ASSERT_EQ(navigator_to("Info_menu"), RET_OK);
        awtk_test_pump();
        awtk_test_key('.');
        EXPECT_EQ(top_name(), "setting_menu");
        awtk_test_key('7');
        EXPECT_EQ(top_name(), "setting_menu");
        awtk_test_key('1');
        EXPECT_EQ(stack(), (names{VESK_HOME_PAGE}));
    });
}

/* ---- page subscriptions ---- */

int g_redraws;

ret_t on_redraw(void *ctx, event_t *e)
{
    (void)ctx;
    (void)e;
    g_redraws++;
    return RET_OK;
}

/* What a page's init does: subscribe, then end the subscriptions on close. */
ret_t bind_page(widget_t *win)
{
    static const int events[] = {UI_EV_BATTERY, UI_EV_REDRAW, UI_EV_LIFECYCLE};
    vesk_page_subscribe(win, events, 3, on_redraw);
    return vesk_page_bind_close(win, NULL);
}

TEST_F(FixtureRes, PageOpenedClosedAndOpenedAgainHasOneSubscriptionPerEvent)
{
    in_gui_child(
        [] {
            for (int round = 0; round < 3; round++) {
                ASSERT_EQ(navigator_to("plain"), RET_OK);
                widget_t *win = navigator_find_window("plain");
                ASSERT_EQ(bind_page(win), RET_OK);
                awtk_test_pump();
                /* The window manager's emitter exists from the first subscription. */
                emitter_t *wm = window_manager()->emitter;
                ASSERT_NE(wm, nullptr);
                EXPECT_EQ(emitter_size(wm), 3u) << "round " << round;
                g_redraws = 0;
                event_distrubution(UI_EVT(UI_EV_REDRAW));
                awtk_test_pump();
                EXPECT_EQ(g_redraws, 1);
                ASSERT_EQ(navigator_close("plain"), RET_OK);
                awtk_test_pump();
                EXPECT_EQ(emitter_size(wm), 0u) << "round " << round;
            }
        },
        1280, 1024, root.c_str());
}

} // namespace
