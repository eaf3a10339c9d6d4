// The media browser, viewer and player on real files: grid moves over ten
// videos, pages, the delete of the only photo (and of a long name), a video
// without thumbnail, the missing-file notice, the player's requests and
// reports and its return to the page of its video, and the screens.
#include "menu_test.h"

#include <algorithm>

#include "media_files.h"
#include "media_list.h"
#include "media_pages.h"
#include "media_replay.h"
#include "ui_events.h"

using namespace menu_test;
using sightui_test::in_gui_child;

namespace {

const char *const k_photo_dir = "/usrdata/media/Picture/";
const char *const k_video_dir = "/usrdata/media/Video/";
const char *const k_thumb_dir = "/usrdata/media/.thumbnails/";

void write_bytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    write_file(path, std::string(bytes.begin(), bytes.end()));
}

void add_photo(const std::string &stem, uint8_t r, uint8_t g, uint8_t b)
{
    write_bytes(k_photo_dir + stem + ".bmp", sim_media_bmp(320, 256, r, g, b));
    write_bytes(k_thumb_dir + stem + ".jpg", sim_media_jpeg(160, 128, r, g, b));
}

void add_video(const std::string &stem, bool thumb = true)
{
    write_file(k_video_dir + stem + ".mp4", sim_media_fixture_video(300, 300));
    if (thumb) write_bytes(k_thumb_dir + stem + ".jpg", sim_media_jpeg(160, 128, 40, 90, 160));
}

/* The browser over the main menu, as its File row opens it. */
void open_browser()
{
    boot_to_home();
    open("main_menu");
    open("file_menu");
    ASSERT_EQ(top(), "file_menu");
}

std::string video_name(int i)
{
    char name[32];
    snprintf(name, sizeof name, "VID_20261210_%02d", i);
    return name;
}

std::string replay(uint8_t op, const std::string &name = "")
{
    bytes payload(25, 0);
    payload[0] = op;
    if (op == 3 || op == 4)
        std::copy(name.begin(), name.begin() + std::min<size_t>(name.size(), 24), payload.begin() + 1);
    return request_hex(23, 1, 1, payload);
}

} // namespace

TEST(MediaGrid, MovesOverTheWholeList)
{
    struct Row {
        int from;
        char key;
        int to;
    } rows[] = {{6, '5', 9}, {7, '5', 9}, {9, '5', 0}, {0, '3', 9}, {1, '3', 9}, {2, '3', 9},
                {4, '3', 1}, {9, ']', 0}, {0, '[', 9}, {5, ']', 6}, {3, '5', 6}, {8, '5', 9}};
    for (const Row &r : rows) EXPECT_EQ(QZ_menu_list_navigate(r.from, 10, (uint32_t)r.key), r.to) << r.from << r.key;
    EXPECT_EQ(QZ_menu_list_navigate(0, 1, '5'), 0);
    EXPECT_EQ(QZ_menu_list_navigate(0, 1, '3'), 0);
    EXPECT_EQ(QZ_menu_list_navigate(1, 2, '5'), 1);
}

TEST(MediaBrowser, TenVideosOnTwoPages)
{
    in_gui_child([] {
        private_root();
        for (int i = 0; i < 10; i++) add_video(video_name(i), i != 3);
        open_browser();
        EXPECT_EQ(node("label_index_page").text, "1/2");
        /* Newest (highest) name first; video 3 has no thumbnail. */
        EXPECT_EQ(node("label_FileName1").text, video_name(9));
        EXPECT_EQ(node("label_FileName7").text, video_name(3));
        EXPECT_FALSE(node("image_file_7").visible);
        EXPECT_TRUE(node("image_file_6").visible);
        EXPECT_EQ(node("image_file_6").image, "file:///usrdata/media/.thumbnails/" + video_name(4) + ".jpg");
        expect_resolved("file_menu");
        EXPECT_TRUE(page_screenshot::matches("file_menu_videos"));
        press(',');
        EXPECT_EQ(QZ_file_default_index, MENU_LIST);
        EXPECT_TRUE(node("view_file_sel").visible);
        EXPECT_EQ(node("label_Type_value").text, "MP4");
        EXPECT_EQ(node("label_File_Name_value").text, video_name(9));
        /* Its length is asked of the media process and shown from its report. */
        std::vector<std::string> sent = sent_hex();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), replay(4, video_name(9) + ".mp4"));
        sightui_test::deliver(
            sightui_test::report(23, 1, 4, sightui_test::cat({sightui_test::le64(1234), sightui_test::le16(100)})));
        EXPECT_EQ(node("label_Time_value").text, "02:03");
        press('3');
        EXPECT_EQ(QZ_video_index, 9);
        EXPECT_EQ(node("label_index_page").text, "2/2");
        EXPECT_EQ(node("label_FileName1").text, video_name(0));
        EXPECT_EQ(node("label_FileName2").text, "");
        EXPECT_EQ(node("view_file_sel").rect, "0,0,272,276");
        EXPECT_TRUE(page_screenshot::matches("file_menu_page2"));
        press(']');
        EXPECT_EQ(QZ_video_index, 0);
        EXPECT_EQ(node("label_index_page").text, "1/2");
        EXPECT_EQ(node("label_FileName1").text, video_name(9));
        press('.');
        EXPECT_FALSE(node("view_file_sel").visible);
        EXPECT_FALSE(node("view_current_file").visible);
        press('.');
        EXPECT_EQ(top(), "main_menu");
    });
}

TEST(MediaBrowser, DeletingTheOnlyPhotoLeavesTheEmptyTab)
{
    in_gui_child([] {
        private_root();
        add_photo("IMG_20261210_0001", 200, 60, 40);
        add_video(video_name(1));
        open_browser();
        press('[');
        EXPECT_EQ(QZ_file_title_index, 1);
        EXPECT_EQ(node("image_image_video").image, "tab_image_sel");
        EXPECT_FALSE(node("label_Time").visible);
        EXPECT_TRUE(page_screenshot::matches("file_menu_photos"));
        press(",,");
        EXPECT_TRUE(node("view_file_display_delete").visible);
        press("5,");
        EXPECT_TRUE(node("view_delete_file").visible);
        EXPECT_FALSE(node("view_file_display_delete").visible) << "the confirmation takes the pop-up's place";
        EXPECT_EQ(QZ_file_default_delete_index, 1);
        /* Cancel and back each hand the pop-up back, on its delete row. */
        for (const char *leave : {"5,", "."}) {
            press(leave);
            EXPECT_EQ(QZ_file_default_index, MENU_PLAY_DELETE) << leave;
            EXPECT_FALSE(node("view_delete_file").visible) << leave;
            EXPECT_TRUE(node("view_file_display_delete").visible) << leave;
            EXPECT_EQ(QZ_file_default_play_index, 2) << leave;
            press(',');
            EXPECT_FALSE(node("view_file_display_delete").visible) << leave;
        }
        EXPECT_EQ(QZ_file_default_delete_index, 1);
        EXPECT_TRUE(page_screenshot::matches("file_menu_delete"));
        press(',');
        EXPECT_FALSE(exists("/usrdata/media/Picture/IMG_20261210_0001.bmp"));
        EXPECT_FALSE(exists("/usrdata/media/.thumbnails/IMG_20261210_0001.jpg"));
        EXPECT_TRUE(exists("/usrdata/media/Video/" + video_name(1) + ".mp4"));
        EXPECT_EQ(QZ_file_default_index, MENU_FILE);
        EXPECT_TRUE(node("image_no_file").visible);
        EXPECT_EQ(node("image_no_file").image, "QZ_img_empty");
        EXPECT_EQ(node("label_index_page").text, "1/1");
        EXPECT_FALSE(node("view_delete_file").visible);
        EXPECT_FALSE(node("view_file_display_delete").visible);
    });
}

TEST(MediaBrowser, DeleteUsesTheWholeLongName)
{
    in_gui_child([] {
        private_root();
        /* 59 characters and the extension: 63 in all. */
        std::string a = "IMG_20261210_120000_" + std::string(39, 'a');
        std::string b = "IMG_20261210_120000_" + std::string(39, 'b');
        add_photo(a, 10, 200, 10);
        add_photo(b, 10, 10, 200);
        open_browser();
        press("[,");
        press("]");
        EXPECT_EQ(QZ_photos_index, 1);
        press(",5,,");
        EXPECT_FALSE(exists(k_photo_dir + a + ".bmp"));
        EXPECT_FALSE(exists(k_thumb_dir + a + ".jpg"));
        EXPECT_TRUE(exists(k_photo_dir + b + ".bmp"));
        EXPECT_EQ(QZ_photo_num, 1);
        EXPECT_EQ(QZ_file_default_index, MENU_LIST);
        EXPECT_EQ(node("label_File_Name_value").text, b);
    });
}

TEST(MediaBrowser, AFileGoneSinceTheListingIsNeitherOpenedNorDeleted)
{
    in_gui_child([] {
        private_root();
        add_photo("IMG_1", 1, 2, 3);
        add_photo("IMG_2", 1, 2, 3);
        open_browser();
        press("[,");
        EXPECT_EQ(node("label_File_Name_value").text, "IMG_2");
        unlink("/usrdata/media/Picture/IMG_2.bmp");
        press(",,");
        EXPECT_NE(top(), "file_image");
        EXPECT_TRUE(node("view_file_corrupted").visible);
        EXPECT_FALSE(node("progress_bar").visible);
        awtk_test_step(1000);
        EXPECT_FALSE(node("view_file_corrupted").visible);
        EXPECT_TRUE(node("progress_bar").visible);
        EXPECT_EQ(QZ_photo_num, 1);
        EXPECT_EQ(node("label_File_Name_value").text, "IMG_1");
        EXPECT_EQ(QZ_file_default_index, MENU_LIST);
    });
}

TEST(MediaBrowser, AShortVideoIsTreatedAsCorrupted)
{
    in_gui_child([] {
        private_root();
        add_video(video_name(1));
        open_browser();
        press(',');
        stUIStatus.u64VideoTotalFrames = 29;
        press(',');
        press(',');
        EXPECT_EQ(top(), "file_menu");
        EXPECT_TRUE(node("view_file_corrupted").visible);
        awtk_test_step(1000);
        EXPECT_FALSE(node("view_file_corrupted").visible);
    });
}

TEST(PhotoViewer, ShowsStepsAndReturns)
{
    in_gui_child([] {
        private_root();
        add_photo("IMG_A", 200, 40, 40);
        add_photo("IMG_B", 40, 200, 40);
        add_photo("IMG_C", 40, 40, 200);
        open_browser();
        press("[,,,");
        ASSERT_EQ(top(), "file_image");
        EXPECT_EQ(node("image_photo").image, "file:///usrdata/media/Picture/IMG_C.bmp");
        EXPECT_EQ(node("label_video_name").text, "IMG_C");
        EXPECT_TRUE(page_screenshot::matches("file_image"));
        press('5');
        EXPECT_EQ(node("label_video_name").text, "IMG_B");
        unlink("/usrdata/media/Picture/IMG_A.bmp");
        press('5');
        EXPECT_EQ(node("label_video_name").text, "IMG_C");
        press('3');
        EXPECT_EQ(node("label_video_name").text, "IMG_B");
        press('.');
        EXPECT_EQ(top(), "file_menu");
        /* The browser listed again: two photos, the viewer's one in focus. */
        EXPECT_EQ(QZ_photo_num, 2);
        EXPECT_EQ(node("label_File_Name_value").text, "IMG_B");
    });
}

TEST(VideoPlayer, RequestsReportsAndTheReturnToItsPage)
{
    in_gui_child([] {
        private_root();
        for (int i = 0; i < 12; i++) add_video(video_name(i));
        open_browser();
        press(',');
        press('['); /* from the first file to the last */
        ASSERT_EQ(QZ_video_index, 11);
        /* The length report of the file in focus. */
        sightui_test::deliver(
            sightui_test::report(23, 1, 4, sightui_test::cat({sightui_test::le64(300), sightui_test::le16(300)})));
        press(',');
        sent_hex();
        press(',');
        ASSERT_EQ(top(), "file_video");
        EXPECT_EQ(sent_hex(), std::vector<std::string>{replay(3, video_name(0) + ".mp4")});
        EXPECT_EQ(node("label_video_name").text, video_name(0));
        EXPECT_FALSE(node("image_play").visible);
        sightui_test::deliver(
            sightui_test::report(23, 1, 4, sightui_test::cat({sightui_test::le64(600), sightui_test::le16(300)})));
        EXPECT_EQ(node("label_total_time").text, "/00:20");
        sightui_test::deliver(sightui_test::report(23, 1, 2, sightui_test::le64(269)));
        /* 31 frames ahead: 300 frames of 600, 10 s */
        EXPECT_EQ(node("label_play_time").text, "00:10");
        EXPECT_TRUE(page_screenshot::matches("file_video"));
        press(',');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{replay(0)});
        EXPECT_TRUE(node("image_play").visible);
        press(',');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{replay(1)});
        press(']');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(23, 1, 3, sightui_test::le64(569))});
        EXPECT_TRUE(node("image_forward").visible);
        awtk_test_step(500);
        EXPECT_FALSE(node("image_forward").visible);
        press('[');
        EXPECT_EQ(sent_hex(), std::vector<std::string>{request_hex(23, 1, 3, sightui_test::le64(0))});
        press('>');
        awtk_test_step(1000);
        EXPECT_EQ(sent_hex().size(), 2u);
        press('l');
        awtk_test_step(1000);
        EXPECT_TRUE(sent_hex().empty());
        /* Up goes to the previous video of the list, on the page before. */
        press('3');
        EXPECT_EQ(sent_hex(), (std::vector<std::string>{replay(2), replay(3, video_name(1) + ".mp4")}));
        EXPECT_EQ(QZ_video_index, 10);
        press('.');
        EXPECT_EQ(sent_hex()[0], replay(2));
        EXPECT_EQ(top(), "file_menu");
        EXPECT_EQ(node("label_index_page").text, "2/2");
        EXPECT_EQ(node("label_File_Name_value").text, video_name(1));
        EXPECT_EQ(node("view_file_sel").rect, "272,0,272,276");
    });
}

TEST(VideoPlayer, TheEndOfTheVideoClosesThePlayer)
{
    in_gui_child([] {
        private_root();
        add_video(video_name(1));
        open_browser();
        press(',');
        stUIStatus.u64VideoTotalFrames = 300;
        press(",,");
        ASSERT_EQ(top(), "file_video");
        sightui_test::deliver(
            sightui_test::report(23, 1, 4, sightui_test::cat({sightui_test::le64(300), sightui_test::le16(300)})));
        sent_hex();
        sightui_test::deliver(sightui_test::report(23, 1, 2, sightui_test::le64(300)));
        EXPECT_EQ(top(), "file_menu");
        EXPECT_EQ(sent_hex()[0], replay(2));
    });
}

TEST(MediaBrowser, ItsEventsEndWithItsWindow)
{
    in_gui_child([] {
        private_root();
        add_video(video_name(1));
        for (int round = 0; round < 2; round++) {
            open_browser();
            press('1');
        }
        /* Nothing of the closed browsers answers any more. */
        awtk_test_pump();
        sightui_test::EventTap tap;
        sightui_test::deliver(
            sightui_test::report(23, 1, 4, sightui_test::cat({sightui_test::le64(300), sightui_test::le16(300)})));
        event_t e = event_init(UI_EVT(UI_EV_FILE_LIST), NULL);
        widget_dispatch(window_manager(), &e);
        EXPECT_EQ(top(), "QZ_home_page_1");
        EXPECT_EQ(QZ_file_info, nullptr);
    });
}
