// The update page on the virtual clock: the first check by battery and free
// space, the steps that follow the device's update states, the keys of each
// step, the one reboot timer, the lifecycle outcomes and every picture.
#include "menu_test.h"

#include <sys/mount.h>

#include "pages.h"
#include "ui_keys.h"
#include "update_page.h"

using namespace menu_test;
using sightui_test::deliver;
using sightui_test::in_gui_child;
using sightui_test::report;

namespace {

const int k_any = -1;
/* A press of the function key in a walk of states. */
const int k_function = -2;

std::string check_request(int value) { return request_hex(26, 2, 0xFF, {(uint8_t)value}); }

std::string confirm_request(int value) { return request_hex(26, 1, 0xFF, {(uint8_t)value}); }

const std::string k_reboot = request_hex(0, 0, 32, {1});

/* The Media partition with this much room (a tmpfs, all of it free). */
void media_of(const char *size)
{
    private_root();
    std::string options = std::string("size=") + size;
    ASSERT_EQ(mount("tmpfs", "/usrdata/media", "tmpfs", 0, options.c_str()), 0) << size;
}

void update_state(int state) { deliver(report(26, 0, 0xFF, {(uint8_t)state})); }

/* The device's first start notice opens the page over the home page; with
 * the battery and storage of the arguments the page takes its first step. */
void open_by_notice(int battery = 800, const char *media = "1g")
{
    ASSERT_NO_FATAL_FAILURE(media_of(media));
    ASSERT_NO_FATAL_FAILURE(boot_to_home());
    stUIStatus.s16BatteryValue = (int16_t)battery;
    deliver(report(26, 2, 0xFF, {}));
    ASSERT_EQ(top(), "QZ_updata");
}

std::string picture() { return node("image_updata").image; }

/* The picture of step n as its name. */
std::string picture_of(int n) { return "image_updata_" + std::to_string(n); }

/* Plays states (and function-key presses) from step 4. */
void walk(const std::vector<int> &moves)
{
    for (int m : moves) {
        if (m == k_function)
            press(GUI_KEY_FUCTION_S);
        else if (m == k_any)
            deliver(report(26, 1, 0xFF, {0}));
        else
            update_state(m);
    }
}

/* A device key as sightd reports it, through the GUI's key rules. */
void device_key(uint8_t code) { deliver(report(7, 0, 0, {code})); }

int labels_named(const char *name)
{
    char *dump = awtk_host_dump_tree();
    std::string text = dump;
    free(dump);
    int n = 0;
    for (size_t at = 0; (at = text.find(std::string(" name=\"") + name + "\"", at)) != std::string::npos; at++) n++;
    return n;
}

} // namespace

TEST(UpdatePage, OpensOnStepZeroAndChecksOnTheFirstReport)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(media_of("1g"));
        ASSERT_NO_FATAL_FAILURE(boot_to_home());
        stUIStatus.s8Updata_check = 9;
        open("QZ_updata");
        EXPECT_EQ(QZ_updata_index, 0);
        EXPECT_EQ(stUIStatus.s8Updata_check, 5);
        EXPECT_EQ(picture(), picture_of(0));
        EXPECT_TRUE(sent_hex().empty()) << "nothing is asked before the device reports";
        update_state(0);
        EXPECT_EQ(QZ_updata_index, 4) << "the first report runs the check, whatever its state";
        EXPECT_EQ(sent_hex(), std::vector<std::string>{check_request(0)});
        EXPECT_EQ(QZ_updata_init(nullptr, nullptr), RET_BAD_PARAMS);
    });
}

TEST(UpdatePage, FirstCheckByBatteryAndFreeSpace)
{
    struct Row {
        const char *media;
        int battery;
        int step, check;
    } rows[] = {
        {"1g", 729, 2, 2},   {"1g", 730, 4, 0},   {"150m", 729, 3, 1},
        {"150m", 730, 1, 1}, {"300m", 729, 2, 2}, {"300m", 900, 4, 0}, /* under 500 MiB still counts as enough */
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(r.media) + " free, battery " + std::to_string(r.battery));
        in_gui_child([&] {
            ASSERT_NO_FATAL_FAILURE(open_by_notice(r.battery, r.media));
            EXPECT_EQ(QZ_updata_index, r.step);
            EXPECT_EQ(stUIStatus.s8Updata_check, r.check);
            EXPECT_EQ(sent_hex(), std::vector<std::string>{check_request(r.check)});
            EXPECT_EQ(picture(), picture_of(r.step));
        });
    }
}

TEST(UpdatePage, StepsFollowTheDeviceStates)
{
    struct Row {
        const char *what;
        std::vector<int> moves; /* from step 4 */
        int step;
    } rows[] = {
        {"installed", {0, k_function, 2, 4, 6, k_any}, 14},
        {"package refused", {1}, 5},
        {"first stage fails", {0, k_function, 3}, 9},
        {"second stage fails", {0, k_function, 2, 5}, 11},
        {"third stage fails", {0, k_function, 2, 4, 7}, 13},
        {"last stage done", {0, k_function, 2, 4, 6}, 12},
        {"other states leave the step", {3, 9, 0, 2, k_function, 4, 6, 2, 6, 7, 4}, 10},
        {"no key, no install", {0, 2, 4, 6}, 6},
        {"the last step stays", {0, k_function, 2, 4, 6, 0, 1, 7, k_any}, 14},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        in_gui_child([&] {
            ASSERT_NO_FATAL_FAILURE(open_by_notice());
            walk(r.moves);
            EXPECT_EQ(QZ_updata_index, r.step);
            EXPECT_EQ(picture(), picture_of(r.step));
            EXPECT_EQ(top(), "QZ_updata");
        });
    }
}

/* The confirmation: '7' goes on and the picture waits for the device;
 * power cancels and restarts. */
TEST(UpdatePage, ConfirmationByKeys)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_by_notice());
        update_state(0);
        sent_hex();
        press(",.35[]a");
        EXPECT_EQ(QZ_updata_index, 6);
        EXPECT_TRUE(sent_hex().empty());
        press(GUI_KEY_FUCTION_S);
        EXPECT_EQ(QZ_updata_index, 7);
        EXPECT_EQ(stUIStatus.s8Updata_confirm, 0);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{confirm_request(0)});
        EXPECT_EQ(picture(), picture_of(6)) << "drawn with the next report";
        press(GUI_KEY_FUCTION_S);
        EXPECT_TRUE(sent_hex().empty());
        update_state(9);
        EXPECT_EQ(picture(), picture_of(7));
        awtk_test_step(5000);
        EXPECT_TRUE(sent_hex().empty()) << "no reboot while installing";
    });
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_by_notice());
        update_state(0);
        sent_hex();
        device_key(KEY_POWER_S);
        EXPECT_EQ(top(), "QZ_updata") << "power short does not go home here";
        EXPECT_EQ(picture(), picture_of(15));
        EXPECT_EQ(stUIStatus.s8Updata_confirm, 1);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{confirm_request(1)});
        awtk_test_step(2999);
        EXPECT_TRUE(sent_hex().empty());
        awtk_test_step(1);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{k_reboot});
    });
}

/* What '7', '1' and '2' do on every step: only the rows of the key table
 * act. */
TEST(UpdatePage, KeyTableOfEveryStep)
{
    for (int step = 0; step <= 15; step++) {
        for (uint32_t key : {GUI_KEY_FUCTION_S, GUI_KEY_POWER_S, GUI_KEY_POWER_L}) {
            SCOPED_TRACE("step " + std::to_string(step) + " key " + std::string(1, (char)key));
            in_gui_child([&] {
                ASSERT_NO_FATAL_FAILURE(open_by_notice());
                QZ_updata_index = (int16_t)step;
                sent_hex();
                std::string before = picture();
                if (key == GUI_KEY_POWER_L)
                    device_key(KEY_POWER_L);
                else if (key == GUI_KEY_POWER_S)
                    device_key(KEY_POWER_S);
                else
                    press(key);
                bool reboot_step =
                    step == 1 || step == 2 || step == 3 || step == 5 || step == 9 || step == 11 || step == 13;
                std::vector<std::string> now, later;
                std::string shown = before, on_top = "QZ_updata";
                if (key == GUI_KEY_FUCTION_S && reboot_step) {
                    shown = picture_of(15);
                    later = {k_reboot};
                } else if (key == GUI_KEY_FUCTION_S && step == 6) {
                    now = {confirm_request(0)};
                } else if (key == GUI_KEY_POWER_S && step == 6) {
                    shown = picture_of(15);
                    now = {confirm_request(1)};
                    later = {k_reboot};
                } else if (key == GUI_KEY_POWER_L && step == 14) {
                    on_top = "QZ_SHUT_DOWN";
                }
                EXPECT_EQ(sent_hex(), now);
                EXPECT_EQ(top(), on_top);
                if (on_top == "QZ_updata") {
                    EXPECT_EQ(picture(), shown);
                }
                if (on_top == "QZ_SHUT_DOWN") {
                    EXPECT_STREQ(stUIStatus.temp_window, "QZ_updata");
                    return;
                }
                awtk_test_step(3000);
                EXPECT_EQ(sent_hex(), later);
            });
        }
    }
}

TEST(UpdatePage, TwoFunctionPressesStartOneRebootTimer)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_by_notice());
        update_state(1);
        ASSERT_EQ(QZ_updata_index, 5);
        sent_hex();
        press(GUI_KEY_FUCTION_S);
        uint32_t timer = vesk_reboot_timer_id;
        EXPECT_NE(timer, 0u);
        awtk_test_step(1000);
        press(GUI_KEY_FUCTION_S);
        EXPECT_EQ(vesk_reboot_timer_id, timer);
        awtk_test_step(1999);
        EXPECT_TRUE(sent_hex().empty());
        awtk_test_step(1);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{k_reboot}) << "3000 ms after the first press";
        EXPECT_EQ(vesk_reboot_timer_id, 0u);
        awtk_test_step(6000);
        EXPECT_TRUE(sent_hex().empty());
    });
}

/* From the last step a long press of power opens the countdown over the
 * page; a key during the countdown comes back to it. */
TEST(UpdatePage, PowerLongOnTheLastStepOpensTheCountdown)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_by_notice());
        walk({0, k_function, 2, 4, 6, k_any});
        ASSERT_EQ(QZ_updata_index, 14);
        device_key(KEY_POWER_L);
        EXPECT_EQ(top(), "QZ_SHUT_DOWN");
        EXPECT_STREQ(stUIStatus.temp_window, "QZ_updata");
        awtk_test_step(1200);
        device_key(KEY_FOCUS_UP_S);
        EXPECT_EQ(top(), "QZ_updata");
        EXPECT_EQ(picture(), picture_of(14));
    });
}

TEST(UpdatePage, LifecycleOutcomes)
{
    struct Row {
        int reason, outcome;
        bool stays;
    } rows[] = {{7, 1, false}, {2, 3, false}, {9, 2, false}, {9, 5, false}, {7, 2, true}, {5, 2, true}};
    for (const Row &r : rows) {
        SCOPED_TRACE(std::to_string(r.reason) + "/" + std::to_string(r.outcome));
        in_gui_child([&] {
            ASSERT_NO_FATAL_FAILURE(open_by_notice());
            update_state(1);
            press(GUI_KEY_FUCTION_S);
            ASSERT_NE(vesk_reboot_timer_id, 0u);
            sent_hex();
            deliver(report(0, 0, 42, {(uint8_t)r.reason, (uint8_t)r.outcome}));
            if (!r.stays) {
                EXPECT_EQ(top(), "QZ_home_page_1");
                EXPECT_EQ(vesk_reboot_timer_id, 0u);
                awtk_test_step(5000);
                EXPECT_TRUE(sent_hex().empty()) << "the reboot was called off";
                return;
            }
            EXPECT_EQ(top(), "QZ_updata");
            sim_widget label = node("vesk_label_update_error");
            EXPECT_TRUE(label.visible);
            EXPECT_EQ(label.text, "Settings damaged: service required");
            EXPECT_EQ(label.rect, "243,308,794,160");
        });
    }
}

/* A second recovery outcome makes no second label; it sets the face and
 * text again, in the language now chosen. */
TEST(UpdatePage, RecoveryRequiredIsShownOnce)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_by_notice());
        deliver(report(0, 0, 42, {7, 2}));
        ASSERT_EQ(labels_named("vesk_label_update_error"), 1);
        widget_t *label = vesk_update_error_label;
        ASSERT_NE(label, nullptr);
        EXPECT_STREQ(widget_get_style_str(label, "font_name", ""), "Roboto_Regular");
        EXPECT_EQ(widget_get_style_int(label, "font_size", 0), 32);
        EXPECT_EQ(widget_get_style_int(label, "text_align_h", 0), ALIGN_H_CENTER);
        EXPECT_EQ(widget_get_style_int(label, "round_radius", 0), 8);
        EXPECT_TRUE(LABEL(label)->line_wrap);
        EXPECT_TRUE(LABEL(label)->word_wrap);
        expect_resolved("QZ_updata");
        EXPECT_TRUE(page_screenshot::matches("QZ_updata_recovery"));

        ASSERT_EQ(locale_info_change(locale_info(), "zh", "CN"), RET_OK);
        widget_set_visible(label, FALSE);
        deliver(report(0, 0, 42, {6, 2}));
        EXPECT_EQ(labels_named("vesk_label_update_error"), 1);
        EXPECT_EQ(vesk_update_error_label, label);
        EXPECT_TRUE(label->visible);
        EXPECT_STREQ(widget_get_style_str(label, "font_name", ""), "default");
        EXPECT_EQ(node("vesk_label_update_error").text, "设置已损坏，请送修");
        expect_resolved("QZ_updata");
        EXPECT_TRUE(page_screenshot::matches("QZ_updata_recovery_zh"));
    });
}

TEST(UpdatePage, OpeningTwiceLeavesOneSubscription)
{
    in_gui_child([] {
        ASSERT_NO_FATAL_FAILURE(open_by_notice());
        sent_hex();
        open("QZ_updata");
        open("QZ_updata");
        EXPECT_EQ(labels_named("image_updata"), 1) << "the window is single-instance";
        update_state(0);
        EXPECT_EQ(sent_hex(), std::vector<std::string>{check_request(0)}) << "one handler ran the check";
    });
}

/* Every picture as the shooter sees it, reached the way the page reaches
 * it. */
TEST(UpdatePage, Screens)
{
    struct Row {
        int picture;
        int battery;
        const char *media;
        std::vector<int> moves;
    } rows[] = {
        {0, 800, "1g", {}},
        {1, 800, "150m", {k_any}},
        {2, 700, "1g", {k_any}},
        {3, 700, "150m", {k_any}},
        {4, 800, "1g", {k_any}},
        {5, 800, "1g", {k_any, 1}},
        {6, 800, "1g", {k_any, 0}},
        {7, 800, "1g", {k_any, 0, k_function, k_any}},
        {8, 800, "1g", {k_any, 0, k_function, 2}},
        {9, 800, "1g", {k_any, 0, k_function, 3}},
        {10, 800, "1g", {k_any, 0, k_function, 2, 4}},
        {11, 800, "1g", {k_any, 0, k_function, 2, 5}},
        {12, 800, "1g", {k_any, 0, k_function, 2, 4, 6}},
        {13, 800, "1g", {k_any, 0, k_function, 2, 4, 7}},
        {14, 800, "1g", {k_any, 0, k_function, 2, 4, 6, k_any}},
        {15, 800, "1g", {k_any, 1, k_function}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE("picture " + std::to_string(r.picture));
        in_gui_child([&] {
            ASSERT_NO_FATAL_FAILURE(media_of(r.media));
            ASSERT_NO_FATAL_FAILURE(boot_to_home());
            stUIStatus.s16BatteryValue = (int16_t)r.battery;
            open("QZ_updata");
            walk(r.moves);
            ASSERT_EQ(picture(), picture_of(r.picture));
            expect_resolved("QZ_updata");
            EXPECT_TRUE(page_screenshot::matches("QZ_updata_" + std::to_string(r.picture)));
        });
    }
}
