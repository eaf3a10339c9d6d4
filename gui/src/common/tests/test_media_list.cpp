#include "media_list.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

/* A Media partition of our own: Picture/, Video/ and .thumbnails/. */
class MediaFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/vesk-media-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        photo = root + "/Picture/";
        video = root + "/Video/";
        thumb = root + "/.thumbnails/";
        ASSERT_EQ(mkdir(photo.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(video.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(thumb.c_str(), 0755), 0);
        dirs = {photo.c_str(), video.c_str(), thumb.c_str()};
    }
    void TearDown() override
    {
        std::string rm = "rm -rf " + root;
        ASSERT_EQ(system(rm.c_str()), 0);
    }
    static void touch(const std::string &path, size_t bytes = 0)
    {
        FILE *f = fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr) << path;
        for (size_t i = 0; i < bytes; i++) fputc('x', f);
        fclose(f);
    }
    static bool exists(const std::string &path)
    {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }
    std::string root, photo, video, thumb;
    vesk_media_dirs dirs;
};

struct Column {
    int photo_num, video_num;
    std::vector<std::string> photos, videos; /* one per row, "" for empty */
};

void expect_rows(const file_unit *rows, const Column &c, const char *what)
{
    ASSERT_NE(rows, nullptr) << what;
    /* The longer column is all the rows there are. */
    size_t n = c.photos.size();
    ASSERT_EQ(n, (size_t)std::max(c.photo_num, c.video_num)) << what;
    ASSERT_EQ(c.videos.size(), n) << what;
    EXPECT_EQ(rows[0].photo_num, c.photo_num) << what;
    EXPECT_EQ(rows[0].video_num, c.video_num) << what;
    for (size_t i = 0; i < n; i++) {
        EXPECT_STREQ(rows[i].photo_name, c.photos[i].c_str()) << what << " row " << i;
        EXPECT_STREQ(rows[i].video_name, c.videos[i].c_str()) << what << " row " << i;
        if (i > 0) {
            EXPECT_EQ(rows[i].photo_num, 0) << what;
            EXPECT_EQ(rows[i].video_num, 0) << what;
        }
    }
}

TEST_F(MediaFolders, TwoPhotosAndAVideoInReverseOrder)
{
    touch(photo + "b.bmp");
    touch(photo + "a.bmp");
    touch(video + "c.mp4");
    file_unit *rows = vesk_media_list_in(&dirs, SORT_FILENAME_REVERSE, nullptr);
    expect_rows(rows, {2, 1, {"b.bmp", "a.bmp"}, {"c.mp4", ""}}, "reverse");
    free(rows);
}

TEST_F(MediaFolders, EverySortTypeOverOneFixture)
{
    const std::string longest(59, 'z'); /* 59 + ".bmp" = 63 characters: fits */
    for (const char *name :
         {"b.bmp", "a.bmp", "20240105_1200.bmp", "20240106_0900.bmp", "notes.txt", "x.BMP", "bmp", "a.b.bmp"})
        touch(photo + name);
    touch(photo + longest + ".bmp");
    touch(photo + std::string(60, 'y') + ".bmp");         /* 64 characters: not listed */
    ASSERT_EQ(mkdir((photo + "d.bmp").c_str(), 0755), 0); /* not a regular file */
    for (const char *name : {"c.mp4", "20240105_1300.mp4", "clip.MP4", "photo.bmp"}) touch(video + name);

    const std::string z = longest + ".bmp";
    struct Row {
        int sort;
        const char *prefix;
        Column expect;
    } rows[] = {
        {SORT_FILENAME_POSITIVE,
         nullptr,
         {7,
          2,
          {"20240105_1200.bmp", "20240106_0900.bmp", "a.b.bmp", "a.bmp", "b.bmp", "photo.bmp", z},
          {"20240105_1300.mp4", "c.mp4", "", "", "", "", ""}}},
        {SORT_FILENAME_REVERSE,
         nullptr,
         {7,
          2,
          {z, "photo.bmp", "b.bmp", "a.bmp", "a.b.bmp", "20240106_0900.bmp", "20240105_1200.bmp"},
          {"c.mp4", "20240105_1300.mp4", "", "", "", "", ""}}},
        /* Only the first nine characters of the prefix count. */
        {SORT_DATE_POSITIVE, "20240105_xyz", {1, 1, {"20240105_1200.bmp"}, {"20240105_1300.mp4"}}},
        {SORT_DATE_REVERSE, "20240105_", {1, 1, {"20240105_1200.bmp"}, {"20240105_1300.mp4"}}},
        {SORT_DATE_POSITIVE, "20240106_0000", {1, 0, {"20240106_0900.bmp"}, {""}}},
    };
    /* A file in the video folder with a photo's name is a photo. */
    for (const Row &r : rows) {
        file_unit *got = vesk_media_list_in(&dirs, r.sort, r.prefix);
        expect_rows(got, r.expect, (std::to_string(r.sort) + " " + (r.prefix ? r.prefix : "-")).c_str());
        free(got);
    }
    /* A prefix shorter than nine characters compares its end as well. */
    EXPECT_EQ(vesk_media_list_in(&dirs, SORT_DATE_POSITIVE, "2024010"), nullptr);
    EXPECT_EQ(vesk_media_list_in(&dirs, SORT_DATE_POSITIVE, "20250101_"), nullptr);
    EXPECT_EQ(vesk_media_list_in(&dirs, 7, nullptr), nullptr);
}

TEST_F(MediaFolders, ManyFilesInAnyOrderComeOutSorted)
{
    /* Photos scattered, videos made newest first: the videos' names sort
     * between the photos' ones, so each column is taken from both runs. */
    for (int i = 0; i < 500; i++) {
        char name[32];
        snprintf(name, sizeof name, "%03d.bmp", (i * 367) % 500);
        touch(photo + name);
    }
    for (int i = 299; i >= 0; i--) {
        char name[32];
        snprintf(name, sizeof name, "%03d_v.mp4", i);
        touch(video + name);
    }
    file_unit *rows = vesk_media_list_in(&dirs, SORT_FILENAME_POSITIVE, nullptr);
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(rows[0].photo_num, 500);
    ASSERT_EQ(rows[0].video_num, 300);
    for (int i = 0; i < 500; i++) {
        char name[32];
        snprintf(name, sizeof name, "%03d.bmp", i);
        ASSERT_STREQ(rows[i].photo_name, name);
        snprintf(name, sizeof name, "%03d_v.mp4", i);
        ASSERT_STREQ(rows[i].video_name, i < 300 ? name : "") << i;
    }
    free(rows);
}

TEST_F(MediaFolders, ANameInBothFoldersIsListedTwiceAsItsType)
{
    touch(photo + "same.bmp");
    touch(video + "same.bmp");
    touch(video + "v.mp4");
    file_unit *rows = vesk_media_list_in(&dirs, SORT_FILENAME_POSITIVE, nullptr);
    expect_rows(rows, {2, 1, {"same.bmp", "same.bmp"}, {"v.mp4", ""}}, "twice");
    free(rows);
}

TEST_F(MediaFolders, NothingToListGivesNull)
{
    EXPECT_EQ(vesk_media_list_in(&dirs, SORT_FILENAME_POSITIVE, nullptr), nullptr);
    touch(photo + "notes.txt");
    EXPECT_EQ(vesk_media_list_in(&dirs, SORT_FILENAME_POSITIVE, nullptr), nullptr);
    /* One folder missing: the other is still listed. */
    touch(video + "v.mp4");
    rmdir(thumb.c_str());
    std::string rm = "rm -rf " + photo;
    ASSERT_EQ(system(rm.c_str()), 0);
    file_unit *rows = vesk_media_list_in(&dirs, SORT_FILENAME_POSITIVE, nullptr);
    expect_rows(rows, {0, 1, {""}, {"v.mp4"}}, "video only");
    free(rows);
    rm = "rm -rf " + video;
    ASSERT_EQ(system(rm.c_str()), 0);
    EXPECT_EQ(vesk_media_list_in(&dirs, SORT_FILENAME_POSITIVE, nullptr), nullptr);
}

TEST_F(MediaFolders, SizeOfAFile)
{
    touch(photo + "p.bmp", 1234);
    touch(video + "v.mp4", 17);
    EXPECT_EQ(vesk_media_size_in(&dirs, FILE_PHOTO, "p.bmp"), 1234);
    EXPECT_EQ(vesk_media_size_in(&dirs, FILE_VIDEO, "v.mp4"), 17);
    EXPECT_EQ(vesk_media_size_in(&dirs, FILE_VIDEO, "p.bmp"), 0);
    EXPECT_EQ(vesk_media_size_in(&dirs, FILE_PHOTO, "missing.bmp"), 0);
    EXPECT_EQ(vesk_media_size_in(&dirs, FILE_NULL, "p.bmp"), 0);
}

TEST_F(MediaFolders, RemoveDeletesTheFileAndItsThumbnail)
{
    touch(photo + "p.bmp");
    touch(thumb + "p.jpg");
    touch(video + "v.mp4");
    EXPECT_EQ(vesk_media_remove_in(&dirs, FILE_PHOTO, "p.bmp"), 0);
    EXPECT_FALSE(exists(photo + "p.bmp"));
    EXPECT_FALSE(exists(thumb + "p.jpg"));
    /* No thumbnail: the video goes, the result is the thumbnail's. */
    EXPECT_EQ(vesk_media_remove_in(&dirs, FILE_VIDEO, "v.mp4"), -1);
    EXPECT_FALSE(exists(video + "v.mp4"));
}

TEST_F(MediaFolders, RemoveRefusesNamesOutsideTheFolder)
{
    touch(root + "/keep.bmp");
    touch(root + "/keep.jpg");
    for (const char *name : {"../keep.bmp", "/tmp/keep.bmp", "", "..", "."})
        EXPECT_EQ(vesk_media_remove_in(&dirs, FILE_PHOTO, name), -1) << name;
    EXPECT_EQ(vesk_media_remove_in(&dirs, FILE_PHOTO, nullptr), -1);
    EXPECT_EQ(vesk_media_remove_in(&dirs, FILE_NULL, "keep.bmp"), -1);
    EXPECT_TRUE(exists(root + "/keep.bmp"));
    EXPECT_TRUE(exists(root + "/keep.jpg"));
}

TEST_F(MediaFolders, ClearingThumbnailsLeavesAnEmptyFolder)
{
    touch(thumb + "a.jpg");
    ASSERT_EQ(mkdir((thumb + "sub").c_str(), 0755), 0);
    EXPECT_EQ(vesk_media_clear_thumbs_in(&dirs), 0);
    EXPECT_TRUE(exists(thumb));
    EXPECT_FALSE(exists(thumb + "a.jpg"));
    EXPECT_FALSE(exists(thumb + "sub"));
}

TEST_F(MediaFolders, BrowserListKeepsItsFilesByNameOrClampsTheIndex)
{
    for (int i = 0; i < 20; i++) {
        char name[32];
        snprintf(name, sizeof name, "p%02d.bmp", i);
        touch(photo + name);
    }
    touch(video + "v.mp4");
    vesk_media_refresh_in(&dirs);
    ASSERT_NE(QZ_file_info, nullptr);
    EXPECT_EQ(QZ_photo_num, 20);
    EXPECT_EQ(QZ_video_num, 1);
    EXPECT_STREQ(QZ_file_info[0].photo_name, "p19.bmp"); /* newest name first */
    EXPECT_EQ(QZ_photos_total_page, 3);

    /* The current photo is p04 (index 15); two newer ones are deleted. */
    QZ_photos_index = 15;
    s_need_reanchor = 1;
    unlink((photo + "p19.bmp").c_str());
    unlink((photo + "p18.bmp").c_str());
    vesk_media_refresh_in(&dirs);
    EXPECT_EQ(QZ_photo_num, 18);
    EXPECT_EQ(QZ_photos_index, 13);
    EXPECT_STREQ(QZ_file_info[13].photo_name, "p04.bmp");
    EXPECT_EQ(QZ_photos_current_page, 2);
    EXPECT_EQ(QZ_photos_total_page, 2);
    EXPECT_EQ(s_need_reanchor, 0);

    /* Without a remembered name the index is clamped into the list. */
    QZ_photos_index = 40;
    vesk_media_refresh_in(&dirs);
    EXPECT_EQ(QZ_photos_index, 17);
    EXPECT_EQ(QZ_photos_current_page, 2);

    /* Nothing left: both kinds reset and the thumbnails go. */
    std::string rm = "rm -f " + photo + "* " + video + "*";
    ASSERT_EQ(system(rm.c_str()), 0);
    touch(thumb + "old.jpg");
    vesk_media_refresh_in(&dirs);
    EXPECT_EQ(QZ_file_info, nullptr);
    EXPECT_EQ(QZ_photo_num, 0);
    EXPECT_EQ(QZ_photos_index, 0);
    EXPECT_EQ(QZ_photos_current_page, 1);
    EXPECT_EQ(QZ_video_total_page, 1);
    EXPECT_TRUE(exists(thumb));
    EXPECT_FALSE(exists(thumb + "old.jpg"));
}

TEST(MediaList, TypeByTheFourCharactersFromTheLastDot)
{
    struct Row {
        const char *name;
        FILE_TYPE type;
    } rows[] = {{"a.bmp", FILE_PHOTO},    {"a.mp4", FILE_VIDEO}, {"a.mp4.bmp", FILE_PHOTO},
                {"a.bmp.txt", FILE_NULL}, {"a.BMP", FILE_NULL},  {"bmp", FILE_NULL},
                {".mp4", FILE_VIDEO},     {"a.bm", FILE_NULL},   {nullptr, FILE_NULL}};
    for (const Row &r : rows) EXPECT_EQ(vesk_media_file_type(r.name), r.type) << (r.name ? r.name : "null");
}

TEST(MediaList, ListHelpersKeepTheRingConsistent)
{
    struct list_head head, a, b, c;
    list_head_init(&head);
    list_add_tail(&a, &head);
    list_add_tail(&c, &head);
    list_add_next(&b, &a);
    EXPECT_EQ(head.next, &a);
    EXPECT_EQ(a.next, &b);
    EXPECT_EQ(b.next, &c);
    EXPECT_EQ(c.next, &head);
    EXPECT_EQ(head.prev, &c);
    EXPECT_EQ(c.prev, &b);
    list_del(&b);
    EXPECT_EQ(b.next, nullptr);
    EXPECT_EQ(b.prev, nullptr);
    EXPECT_EQ(a.next, &c);
    EXPECT_EQ(c.prev, &a);
    list_add_prev(&b, &a);
    EXPECT_EQ(head.next, &b);
    EXPECT_EQ(b.next, &a);
}

} // namespace
