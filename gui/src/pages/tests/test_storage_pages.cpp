// The storage, reset and power pages: every choice opens on Cancel, the
// format and reset requests and their delays, the lifecycle report that ends
// (or not) the wait, the power-off countdowns, one countdown at a time, and
// the screens.
#include "menu_test.h"

#include "setting_menu.h"
#include "storage_pages.h"

using namespace menu_test;
using sightui_test::in_gui_child;

namespace {

const std::string k_save_all = request_hex(16, 3, 0, {0});

std::string shutdown_request(uint8_t reason) { return request_hex(0, 0, 13, {reason}); }

bool focused(const char *name)
{
    char *dump = awtk_host_dump_tree();
    std::string text = dump;
    free(dump);
    return text.find(std::string("name=\"") + name + "\" visible=1 state=focused") != std::string::npos;
}

void lifecycle(uint8_t reason, uint8_t outcome)
{
    sightui_test::deliver(sightui_test::report(0, 0, 42, {reason, outcome}));
}

} // namespace

TEST(StoragePages, EveryChoiceOpensOnCancelAndCancelReturnsToItsRow)
{
    struct Row {
        const char *page;
        const char *yes_view;
        const char *back_to;
        int row;
    } rows[] = {{"memory_menu", "view_Format", "setting_menu", SETTING_ROW_FORMAT},
                {"restore_factory", "view_OK", "setting_menu", SETTING_ROW_RESET},
                {"memory_format_sel", "view_OK", "memory_menu", 0}};
    for (const Row &r : rows) {
        for (const char *leave : {",", "."}) {
            in_gui_child([&] {
                boot_to_home();
                open("memory_menu");
                if (strcmp(r.page, "memory_menu") != 0) open(r.page);
                EXPECT_TRUE(focused("view_Cancel")) << r.page;
                EXPECT_TRUE(focused("label_Cancel")) << r.page;
                EXPECT_FALSE(focused(r.yes_view)) << r.page;
                press("5[");
                EXPECT_TRUE(focused("view_Cancel")) << r.page;
                press(']');
                EXPECT_TRUE(focused(r.yes_view)) << r.page;
                press('3');
                press(leave);
                EXPECT_EQ(top(), r.back_to) << r.page << leave;
                if (r.row != 0) {
                    EXPECT_EQ(setting_menu_index, r.row);
                }
                EXPECT_TRUE(sent_hex().size() <= 1u); /* the settings menu's debug query */
            });
        }
    }
}

TEST(StoragePages, StorageFiguresOfTheMediaPartition)
{
    in_gui_child([] {
        private_root();
        ASSERT_EQ(mount("tmpfs", "/usrdata/media", "tmpfs", 0, "size=1g"), 0);
        int fd = ::open("/usrdata/media/big", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(posix_fallocate(fd, 0, 300 << 20), 0);
        close(fd);
        boot_to_home();
        open("memory_menu");
        EXPECT_EQ(node("label_storage_total").text, "1.0G");
        EXPECT_EQ(node("label_storage_used").text, "0.3G");
        expect_resolved("memory_menu");
        EXPECT_TRUE(page_screenshot::matches("memory_menu"));
    });
}

TEST(StoragePages, FormatSavesThenAsksAfter200MsAndGoesHomeOnTheReport)
{
    in_gui_child([] {
        boot_to_home();
        stUIStatus.s8RecordingState = 1;
        open("memory_menu");
        press("],],");
        EXPECT_EQ(top(), "memory_format_restart");
        bytes stop(25, 0);
        stop[0] = 1;
        EXPECT_EQ(sent_hex(), (std::vector<std::string>{request_hex(23, 1, 0, stop), k_save_all}));
        awtk_test_step(199);
        EXPECT_TRUE(sent_hex().empty());
        awtk_test_step(1);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(0, 0, 12, {1})});
        expect_resolved("memory_format_restart");
        EXPECT_TRUE(page_screenshot::matches("memory_format_restart"));
        /* A failed save keeps the page with its text. */
        lifecycle(6, 2);
        EXPECT_EQ(top(), "memory_format_restart");
        EXPECT_EQ(node("lable_restoring").text, "Settings could not be saved");
        lifecycle(9, 2);
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}

TEST(StoragePages, AReportWithinTheDelayCancelsTheRequest)
{
    struct Row {
        const char *confirm;
        const char *busy;
        uint32_t delay;
        uint8_t reason;
    } rows[] = {{"memory_format_sel", "memory_format_restart", 200, 6}, {"restore_factory", "restoring", 1000, 5}};
    for (const Row &r : rows) {
        in_gui_child([&] {
            boot_to_home();
            open(r.confirm);
            press("],");
            EXPECT_EQ(top(), r.busy);
            EXPECT_EQ(sent_hex(), std::vector<std::string>{k_save_all});
            awtk_test_step(r.delay - 50);
            lifecycle(r.reason, 1);
            EXPECT_EQ(top(), "QZ_home_page_1");
            awtk_test_step(2000);
            EXPECT_TRUE(sent_hex().empty()) << r.busy;
        });
    }
}

TEST(StoragePages, ResetSavesThenAsksAfterOneSecond)
{
    in_gui_child([] {
        boot_to_home();
        open("restore_factory");
        press("3,");
        EXPECT_EQ(top(), "restoring");
        EXPECT_EQ(sent_hex(), std::vector<std::string>{k_save_all});
        awtk_test_step(999);
        EXPECT_TRUE(sent_hex().empty());
        awtk_test_step(1);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(0, 0, 11, {1})});
        /* The busy page has no keys. */
        press("1.,");
        EXPECT_EQ(top(), "restoring");
        expect_resolved("restoring");
        EXPECT_TRUE(page_screenshot::matches("restoring"));
    });
}

TEST(PowerOffPages, LowBatteryCountsDownThenAsksToPowerOff)
{
    in_gui_child([] {
        boot_to_home();
        open("shut_down_low_power");
        EXPECT_NE(stUIStatus.timer_id_shutdown, 0u);
        expect_resolved("shut_down_low_power");
        /* The countdown is drawn at its own size: scaled down it was
         * coarse and its ring uneven. */
        widget_t *count = widget_lookup(navigator_find_window("shut_down_low_power"), "image_shutdown", TRUE);
        ASSERT_NE(count, nullptr);
        for (const char *picture : {"pic_countdown_3s", "pic_countdown_2s", "pic_countdown_1s"}) {
            bitmap_t bmp;
            ASSERT_EQ(image_manager_get_bitmap(image_manager(), picture, &bmp), RET_OK) << picture;
            EXPECT_EQ(bmp.w, count->w) << picture;
            EXPECT_EQ(bmp.h, count->h) << picture;
        }
        EXPECT_TRUE(page_screenshot::matches("shut_down_low_power"));
        awtk_test_step(1000);
        EXPECT_EQ(node("image_shutdown").image, "pic_countdown_2s");
        EXPECT_EQ(sent_hex(), std::vector<std::string>{k_save_all});
        awtk_test_step(1000);
        EXPECT_EQ(node("image_shutdown").image, "pic_countdown_1s");
        EXPECT_TRUE(sent_hex().empty());
        awtk_test_step(1000);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{shutdown_request(3)});
        EXPECT_EQ(stUIStatus.timer_id_shutdown, 0u);
        awtk_test_step(5000);
        EXPECT_TRUE(sent_hex().empty());
    });
}

TEST(PowerOffPages, LowTemperaturePowersOffThreeSecondsAfterOpening)
{
    for (int language : {0, 2}) {
        in_gui_child([&] {
            stDevStatus.s8Language = (char)language;
            boot_to_home();
            stUIStatus.s8RecordingState = 1;
            /* As sightd's low-temperature report opens it. */
            sightui_test::deliver(sightui_test::report(0, 0, 13, {}));
            EXPECT_EQ(top(), "shut_down_low_temp");
            EXPECT_EQ(node("view_low_temp").rect.substr(0, 8), language == 0 ? "262,586," : "184,586,");
            awtk_test_step(1000);
            EXPECT_EQ(sent_hex(), std::vector<std::string>{k_save_all});
            awtk_test_step(1000);
            bytes stop(25, 0);
            stop[0] = 1;
            EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(23, 1, 0, stop)});
            awtk_test_step(999);
            EXPECT_TRUE(sent_hex().empty());
            awtk_test_step(1);
            EXPECT_EQ(sent_hex(), std::vector<std::string>{shutdown_request(4)});
            if (language == 0) {
                expect_resolved("shut_down_low_temp");
                EXPECT_TRUE(page_screenshot::matches("shut_down_low_temp"));
            }
        });
    }
}

TEST(PowerOffPages, OneCountdownWhicheverRuleOpensItAndHowOften)
{
    in_gui_child([] {
        boot_to_home();
        /* Two low-temperature reports a second apart, then a flat battery. */
        sightui_test::deliver(sightui_test::report(0, 0, 13, {}));
        awtk_test_step(1000);
        sightui_test::deliver(sightui_test::report(0, 0, 13, {}));
        int open_pages = 0;
        WIDGET_FOR_EACH_CHILD_BEGIN(window_manager(), w, i)
        if (w->name != nullptr && strncmp(w->name, "shut_down_low_", 14) == 0) open_pages++;
        WIDGET_FOR_EACH_CHILD_END();
        EXPECT_EQ(open_pages, 1);
        open("shut_down_low_power");
        EXPECT_EQ(navigator_find_window("shut_down_low_temp"), nullptr);
        sent_hex();
        awtk_test_step(10000);
        std::vector<std::string> sent = sent_hex();
        int requests = 0;
        for (const std::string &f : sent)
            if (f.rfind("AA 07 00 00 0D", 0) == 0) requests++;
        EXPECT_EQ(requests, 1);
        EXPECT_EQ(sent.back(), shutdown_request(3));
    });
}

TEST(OtherPages, StandbyHasNoKeysAndTheTipReturnsOrGoesHome)
{
    in_gui_child([] {
        boot_to_home();
        open("standby");
        press(".1");
        EXPECT_EQ(top(), "standby");
    });
    in_gui_child([] {
        boot_to_home();
        open("setting_menu");
        strcpy(stUIStatus.temp_window, "setting_menu");
        open("tip_ballistic");
        expect_resolved("tip_ballistic");
        awtk_test_step(1999);
        EXPECT_EQ(top(), "tip_ballistic");
        awtk_test_step(1);
        EXPECT_EQ(top(), "setting_menu");
    });
    in_gui_child([] {
        boot_to_home();
        open("ballistic_menu");
        strcpy(stUIStatus.temp_window, "ballistic_menu");
        open("tip_ballistic");
        awtk_test_step(2000);
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
    in_gui_child([] {
        boot_to_home();
        open("tip_ballistic");
        press('1');
        EXPECT_EQ(top(), "QZ_home_page_1");
    });
}
