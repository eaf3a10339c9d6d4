// The date and time page: field wraps, leap days, the day brought back
// when the month or year leaves it past the month's end, the selection,
// and what leaving writes to the clocks.
#include "menu_test.h"

#include <time.h>

#include <fstream>
#include <sstream>

#include "date_time_page.h"
#include "setting_menu.h"

using namespace menu_test;
using sightui_test::in_gui_child;

namespace {

const char *const k_labels[] = {"label_year", "label_month", "label_day", "label_hour", "label_minute", "label_second"};

void open_date()
{
    boot_to_home();
    open("DataTime");
    ASSERT_EQ(top(), "DataTime");
}

/* Moves the selection to field f (1..6) with right. */
void go_field(int f)
{
    static int at = 1;
    if (top() == "DataTime" && node("view_sel").rect.rfind("154,", 0) == 0) at = 1;
    while (at != f) {
        press(']');
        at = at % 6 + 1;
    }
}

/* Steps field f up until it shows text (at most 100 presses). */
void set_field(int f, const std::string &text)
{
    go_field(f);
    for (int i = 0; i < 100 && node(k_labels[f - 1]).text != text; i++) press('3');
    ASSERT_EQ(node(k_labels[f - 1]).text, text) << k_labels[f - 1];
}

std::string fields()
{
    std::string out;
    for (const char *l : k_labels) out += node(l).text + " ";
    return out;
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(DataTime, WrapsOfEveryField)
{
    in_gui_child([] {
        open_date();
        set_field(1, "99");
        press('3');
        EXPECT_EQ(node("label_year").text, "23");
        press('5');
        EXPECT_EQ(node("label_year").text, "99");
        set_field(2, "12");
        press('3');
        EXPECT_EQ(node("label_month").text, "01");
        press('5');
        EXPECT_EQ(node("label_month").text, "12");
        set_field(4, "23");
        press('3');
        EXPECT_EQ(node("label_hour").text, "00");
        set_field(5, "00");
        press('5');
        EXPECT_EQ(node("label_minute").text, "59");
        set_field(6, "59");
        press('3');
        EXPECT_EQ(node("label_second").text, "00");
    });
}

TEST(DataTime, LeapDaysAndTheDayBroughtBackIntoItsMonth)
{
    struct Row {
        const char *year;
        const char *month;
        const char *day;
        int change_field; /* 1 year, 2 month */
        char key;
        const char *want_day;
    } rows[] = {
        {"24", "01", "31", 2, '3', "29"}, /* 31 January to February 2024 */
        {"25", "01", "31", 2, '3', "28"}, {"24", "03", "31", 2, '5', "29"},
        {"24", "02", "29", 1, '3', "28"}, /* 29 February 2024, year to 2025 */
        {"25", "04", "30", 2, '3', "30"}, /* May keeps 30 */
        {"24", "05", "31", 2, '3', "30"},
    };
    for (const Row &r : rows) {
        in_gui_child([&] {
            open_date();
            set_field(1, r.year);
            set_field(2, r.month);
            set_field(3, r.day);
            set_field(r.change_field, r.change_field == 1 ? node("label_year").text : node("label_month").text);
            press((uint32_t)r.key);
            EXPECT_EQ(node("label_day").text, r.want_day) << r.year << "-" << r.month << "-" << r.day << " " << r.key;
        });
    }
    in_gui_child([] {
        /* 29 February is reachable in 2024, not in 2023. */
        open_date();
        set_field(1, "24");
        set_field(2, "02");
        set_field(3, "01");
        press('5');
        EXPECT_EQ(node("label_day").text, "29");
        press('3');
        EXPECT_EQ(node("label_day").text, "01");
        set_field(1, "23");
        set_field(3, "01");
        press('5');
        EXPECT_EQ(node("label_day").text, "28");
    });
    EXPECT_EQ(vesk_days_in_month(2100, 2), 28);
    EXPECT_EQ(vesk_days_in_month(2000, 2), 29);
}

TEST(DataTime, SelectionWrapsAndMovesFrameAndArrows)
{
    in_gui_child([] {
        open_date();
        EXPECT_EQ(node("view_sel").rect, "154,244,42,48");
        EXPECT_EQ(node("view_arrow").rect, "163,216,24,104");
        press('[');
        EXPECT_EQ(node("view_sel").rect, "511,244,42,48");
        EXPECT_EQ(node("view_arrow").rect, "520,216,24,104");
        press(']');
        EXPECT_EQ(node("view_sel").rect, "154,244,42,48");
        press(']');
        EXPECT_EQ(node("view_sel").rect, "228,244,42,48");
        press('3');
        EXPECT_EQ(node("image_arrow_up").image, "ic_stepper2_up_sel");
        EXPECT_EQ(node("image_arrow_down").image, "ic_stepper2_down_def");
        press('5');
        EXPECT_EQ(node("image_arrow_up").image, "ic_stepper2_up_def");
        EXPECT_EQ(node("image_arrow_down").image, "ic_stepper2_down_sel");
        press(']');
        EXPECT_EQ(node("image_arrow_down").image, "ic_stepper2_down_def");
    });
}

TEST(DataTime, LeavingWritesBothClocksInUtcAndReturnsToItsRow)
{
    for (const char *zone : {"UTC", "UTC-2"}) {
        for (char leave : {',', '.', '1'}) {
            in_gui_child([&] {
                private_root();
                setenv("TZ", zone, 1);
                tzset();
                setenv("VESK_BOARD_LOG", "/tmp/board.log", 1);
                /* The hardware clock's node, which the board layer answers for. */
                ASSERT_EQ(mount("tmpfs", "/dev", "tmpfs", 0, "size=1m"), 0);
                close(::open("/dev/rtc0", O_WRONLY | O_CREAT, 0600));
                open_date();
                set_field(1, "24");
                set_field(2, "02");
                set_field(3, "29");
                set_field(4, "13");
                set_field(5, "45");
                set_field(6, "07");
                std::string shown = fields();
                press((uint32_t)leave);
                std::string log = slurp("/tmp/board.log");
                /* 2024-02-29 13:45:07 UTC */
                EXPECT_NE(log.find("call=settimeofday sec=1709214307 usec=0"), std::string::npos) << zone << log;
                EXPECT_NE(log.find("sec=7 min=45 hour=13 mday=29 mon=1 year=124"), std::string::npos) << log;
                if (leave == '1') {
                    EXPECT_EQ(top(), "QZ_home_page_1");
                } else {
                    EXPECT_EQ(top(), "setting_menu");
                    EXPECT_EQ(setting_menu_index, SETTING_ROW_DATE_TIME);
                }
                EXPECT_EQ(shown, "24 02 29 13 45 07 ");
            });
        }
    }
}

TEST(DataTime, OpensOnTheClockAndScreen)
{
    in_gui_child([] {
        open_date();
        time_t t = time(nullptr);
        struct tm now;
        gmtime_r(&t, &now);
        char want[16];
        snprintf(want, sizeof want, "%d", (now.tm_year + 1900) % 100);
        EXPECT_EQ(node("label_year").text, want);
        snprintf(want, sizeof want, "%02d", now.tm_mon + 1);
        EXPECT_EQ(node("label_month").text, want);
        set_field(1, "26");
        set_field(2, "03");
        set_field(3, "14");
        set_field(4, "09");
        set_field(5, "30");
        set_field(6, "00");
        go_field(2);
        press('3');
        press('5');
        expect_resolved("DataTime");
        EXPECT_TRUE(page_screenshot::matches("DataTime"));
    });
}
