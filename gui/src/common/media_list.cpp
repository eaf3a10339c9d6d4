#include "media_list.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "utils_common.h"

const vesk_media_dirs vesk_media_board_dirs = {VESK_MEDIA_PHOTO_DIR, VESK_MEDIA_VIDEO_DIR, VESK_MEDIA_THUMB_DIR};

void list_head_init(struct list_head *head)
{
    head->next = head;
    head->prev = head;
}

void list_add_prev(struct list_head *entry, struct list_head *node)
{
    entry->prev = node->prev;
    entry->next = node;
    node->prev->next = entry;
    node->prev = entry;
}

void list_add_next(struct list_head *entry, struct list_head *node)
{
    entry->next = node->next;
    entry->prev = node;
    node->next->prev = entry;
    node->next = entry;
}

void list_add_tail(struct list_head *entry, struct list_head *head) { list_add_prev(entry, head); }

void list_del(struct list_head *entry)
{
    entry->prev->next = entry->next;
    entry->next->prev = entry->prev;
    entry->next = NULL;
    entry->prev = NULL;
}

FILE_TYPE vesk_media_file_type(const char *name)
{
    const char *dot = name != NULL ? strrchr(name, '.') : NULL;
    if (dot == NULL) return FILE_NULL;
    if (strncmp(dot, ".bmp", 4) == 0) return FILE_PHOTO;
    if (strncmp(dot, ".mp4", 4) == 0) return FILE_VIDEO;
    return FILE_NULL;
}

static int is_regular(DIR *dir, const struct dirent *e)
{
    if (e->d_type == DT_REG) return 1;
    if (e->d_type != DT_UNKNOWN) return 0;
    struct stat st;
    return fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

namespace {

/* The names taken from both folders, packed one after the other in blocks
 * that never move: a listing of tens of thousands of files makes a few
 * allocations, copies each name once and touches little fresh memory. */
struct taken_names {
    enum { BLOCK = 64 * 1024 };
    std::vector<std::unique_ptr<char[]>> blocks;
    size_t used = BLOCK;             /* bytes used in the last block */
    std::vector<const char *> order; /* every name, in the order taken */
    int photos = 0;
    int videos = 0;

    void add(const char *name, size_t len)
    {
        if (used + len + 1 > BLOCK) {
            blocks.emplace_back(new char[BLOCK]);
            used = 0;
        }
        char *field = blocks.back().get() + used;
        memcpy(field, name, len + 1);
        used += len + 1;
        order.push_back(field);
    }
};

} // namespace

/* Appends the folder's listable names and counts them. */
static void take_folder(DIR *dir, int sort_type, const char *prefix, taken_names *taken)
{
    const struct dirent *e;
    while ((e = readdir(dir)) != NULL) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0 || !is_regular(dir, e)) continue;
        FILE_TYPE type = vesk_media_file_type(e->d_name);
        if (type == FILE_NULL) continue;
        if ((sort_type == SORT_DATE_POSITIVE || sort_type == SORT_DATE_REVERSE) &&
            strncmp(e->d_name, prefix, VESK_MEDIA_DATE_PREFIX_LEN) != 0)
            continue;
        /* A name that does not fit the browser's field could only be shown
         * or deleted cut short, that is as some other file. */
        size_t len = strlen(e->d_name);
        if (len >= VESK_MEDIA_NAME_LEN) {
            printf("skip media file with a name over %d bytes: %.40s...\n", VESK_MEDIA_NAME_LEN - 1, e->d_name);
            continue;
        }
        taken->add(e->d_name, len);
        if (type == FILE_PHOTO)
            taken->photos++;
        else
            taken->videos++;
    }
}

file_unit *vesk_media_list_in(const vesk_media_dirs *dirs, int sort_type, const char *date_prefix)
{
    if (dirs == NULL) return NULL;
    if (sort_type < SORT_FILENAME_POSITIVE || sort_type > SORT_DATE_REVERSE) {
        printf("error! sort type %d\n", sort_type);
        return NULL;
    }
    DIR *photo = opendir(dirs->photo);
    DIR *video = opendir(dirs->video);
    if (photo == NULL) printf("error! opendir %s fail\n", dirs->photo);
    if (video == NULL) printf("error! openvideodir %s fail\n", dirs->video);
    if (photo == NULL && video == NULL) return NULL;

    taken_names taken;
    const char *prefix = date_prefix != NULL ? date_prefix : "";
    if (photo != NULL) {
        take_folder(photo, sort_type, prefix, &taken);
        closedir(photo);
    }
    if (video != NULL) {
        take_folder(video, sort_type, prefix, &taken);
        closedir(video);
    }
    const int photos = taken.photos;
    const int videos = taken.videos;
    if (photos + videos == 0) return NULL;

    /* Byte order of the names. Each folder is usually in creation order
     * already, so the list is two sorted runs back to back: the worst case
     * of a quicksort, and the best of a merge sort, which stays O(n log n)
     * on any order. Equal names (one name in both folders) are the same
     * text and type, so their order does not show. */
    std::vector<const char *> &order = taken.order;
    std::stable_sort(order.begin(), order.end(), [](const char *a, const char *b) { return strcmp(a, b) < 0; });

    /* Photos fill one column and videos the other, so the longer column
     * is all the rows there are. */
    const int nrows = photos > videos ? photos : videos;
    file_unit *rows = (file_unit *)calloc((size_t)nrows, sizeof *rows);
    if (rows != NULL) {
        int reverse = sort_type == SORT_FILENAME_REVERSE || sort_type == SORT_DATE_REVERSE;
        int p = 0;
        int v = 0;
        for (const char *name : order) {
            if (vesk_media_file_type(name) == FILE_PHOTO) {
                int row = reverse ? photos - 1 - p : p;
                memcpy(rows[row].photo_name, name, strlen(name) + 1);
                p++;
            } else {
                int row = reverse ? videos - 1 - v : v;
                memcpy(rows[row].video_name, name, strlen(name) + 1);
                v++;
            }
        }
        rows[0].photo_num = photos;
        rows[0].video_num = videos;
    }
    return rows;
}

file_unit *getFileListInfo(int sort_type, const char *date_prefix)
{
    return vesk_media_list_in(&vesk_media_board_dirs, sort_type, date_prefix);
}

/* "<folder><name>" for a plain file name of the folder; -1 for anything that
 * could reach outside it or does not fit. */
static int media_path(char *out, size_t size, const char *dir, const char *name)
{
    if (dir == NULL || name == NULL || name[0] == '\0' || strchr(name, '/') != NULL || strcmp(name, ".") == 0 ||
        strcmp(name, "..") == 0)
        return -1;
    int n = snprintf(out, size, "%s%s", dir, name);
    return n > 0 && (size_t)n < size ? 0 : -1;
}

static const char *media_dir_of(const vesk_media_dirs *dirs, int type)
{
    if (dirs == NULL) return NULL;
    return type == FILE_PHOTO ? dirs->photo : type == FILE_VIDEO ? dirs->video : NULL;
}

long vesk_media_size_in(const vesk_media_dirs *dirs, int type, const char *name)
{
    char path[PATH_MAX];
    struct stat st;
    if (media_path(path, sizeof path, media_dir_of(dirs, type), name) != 0) {
        printf("Error:  fstat  %s\n", strerror(EINVAL));
        return 0;
    }
    if (stat(path, &st) != 0) {
        printf("Error:  fstat  %s\n", strerror(errno));
        return 0;
    }
    return (long)st.st_size;
}

long Get_file_size(int type, const char *name) { return vesk_media_size_in(&vesk_media_board_dirs, type, name); }

int vesk_media_remove_in(const vesk_media_dirs *dirs, int type, const char *name)
{
    char path[PATH_MAX];
    if (media_path(path, sizeof path, media_dir_of(dirs, type), name) != 0) {
        printf("Error: file remove  %s\n", strerror(EINVAL));
        return -1;
    }
    printf("Delete filepath = %s\n", path);
    if (remove(path) != 0) printf("Error: file remove  %s\n", strerror(errno));

    /* The thumbnail carries the file's name with "jpg" for its last three
     * characters. */
    char thumb_name[VESK_MEDIA_NAME_LEN];
    size_t len = strlen(name);
    int rc = -1;
    if (len >= 3 && len < sizeof thumb_name) {
        memcpy(thumb_name, name, len - 3);
        memcpy(thumb_name + len - 3, "jpg", 4);
        char thumb[PATH_MAX];
        if (media_path(thumb, sizeof thumb, dirs->thumb, thumb_name) == 0) {
            rc = remove(thumb) == 0 ? 0 : -1;
            if (rc != 0) printf("Error: mp4 remove [%s] : %s\n", thumb, strerror(errno));
        }
    }
    sync();
    return rc;
}

int Remove_file(int type, const char *name) { return vesk_media_remove_in(&vesk_media_board_dirs, type, name); }

int vesk_media_clear_thumbs_in(const vesk_media_dirs *dirs)
{
    if (dirs == NULL || dirs->thumb == NULL) return -1;
    char command[PATH_MAX + 16];
    int n = snprintf(command, sizeof command, "rm -rf %s", dirs->thumb);
    if (n < 0 || (size_t)n >= sizeof command) return -1;
    if (system(command) != 0) printf("Error: %s\n", command);
    return Qel_CreateDirectory(dirs->thumb);
}

int Remove_Matefile(void) { return vesk_media_clear_thumbs_in(&vesk_media_board_dirs); }

file_unit *QZ_file_info;
int32_t QZ_photo_num, QZ_video_num;
int32_t QZ_photos_index, QZ_video_index;
int32_t QZ_photos_current_page = 1, QZ_video_current_page = 1;
int32_t QZ_photos_total_page = 1, QZ_video_total_page = 1;
uint8_t s_need_reanchor;

/* Index, page and page count of one kind after a new listing. */
static void place_kind(int32_t count, const char *remembered, const file_unit *rows, int photo, int32_t *index,
                       int32_t *page, int32_t *total)
{
    if (count <= 0) {
        *index = 0;
        *page = 1;
        *total = 1;
        return;
    }
    *total = (count + VESK_MEDIA_PAGE_FILES - 1) / VESK_MEDIA_PAGE_FILES;
    int32_t found = -1;
    for (int32_t i = 0; remembered[0] != '\0' && i < count && found < 0; i++) {
        if (strcmp(photo ? rows[i].photo_name : rows[i].video_name, remembered) == 0) found = i;
    }
    if (found >= 0)
        *index = found;
    else if (*index < 0)
        *index = 0;
    else if (*index > count - 1)
        *index = count - 1;
    *page = *index / VESK_MEDIA_PAGE_FILES + 1;
    if (*page > *total) *page = *total;
}

void vesk_media_refresh_in(const vesk_media_dirs *dirs)
{
    char photo[VESK_MEDIA_NAME_LEN] = "";
    char video[VESK_MEDIA_NAME_LEN] = "";
    if (s_need_reanchor && QZ_file_info != NULL) {
        if (QZ_photos_index >= 0 && QZ_photos_index < QZ_photo_num)
            memcpy(photo, QZ_file_info[QZ_photos_index].photo_name, sizeof photo);
        if (QZ_video_index >= 0 && QZ_video_index < QZ_video_num)
            memcpy(video, QZ_file_info[QZ_video_index].video_name, sizeof video);
    }
    s_need_reanchor = 0;
    free(QZ_file_info);
    QZ_file_info = vesk_media_list_in(dirs, SORT_FILENAME_REVERSE, NULL);
    QZ_photo_num = QZ_file_info != NULL ? QZ_file_info[0].photo_num : 0;
    QZ_video_num = QZ_file_info != NULL ? QZ_file_info[0].video_num : 0;
    place_kind(QZ_photo_num, photo, QZ_file_info, 1, &QZ_photos_index, &QZ_photos_current_page, &QZ_photos_total_page);
    place_kind(QZ_video_num, video, QZ_file_info, 0, &QZ_video_index, &QZ_video_current_page, &QZ_video_total_page);
    if (QZ_file_info == NULL) {
        vesk_media_clear_thumbs_in(dirs);
        printf("No photos and video, return...\n");
    }
}

void get_file_list_info(void) { vesk_media_refresh_in(&vesk_media_board_dirs); }
