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

#define FILE_OF(node) ((file_list *)((char *)(node)-offsetof(file_list, list_node)))

FILE_TYPE vesk_media_file_type(const char *name)
{
    const char *dot = name != NULL ? strrchr(name, '.') : NULL;
    if (dot == NULL) return FILE_NULL;
    if (strncmp(dot, ".bmp", 4) == 0) return FILE_PHOTO;
    if (strncmp(dot, ".mp4", 4) == 0) return FILE_VIDEO;
    return FILE_NULL;
}

static size_t list_length(const struct list_head *head)
{
    size_t n = 0;
    for (const struct list_head *p = head->next; p != head; p = p->next) n++;
    return n;
}

/* Moves every node of from to the end of to. */
static void list_splice_tail(struct list_head *from, struct list_head *to)
{
    while (from->next != from) {
        struct list_head *n = from->next;
        list_del(n);
        list_add_tail(n, to);
    }
}

/* In-place quicksort of the nodes by name in byte order. The pivot is the
 * middle node, so that a folder already in order (the common case) does not
 * recurse once per file. */
static void list_quicksort(struct list_head *head)
{
    size_t n = list_length(head);
    if (n < 2) return;
    struct list_head *pivot = head->next;
    for (size_t i = 0; i < n / 2; i++) pivot = pivot->next;
    list_del(pivot);

    struct list_head less, more;
    list_head_init(&less);
    list_head_init(&more);
    while (head->next != head) {
        struct list_head *node = head->next;
        list_del(node);
        list_add_tail(node, strcmp(FILE_OF(node)->file_name, FILE_OF(pivot)->file_name) < 0 ? &less : &more);
    }
    list_quicksort(&less);
    list_quicksort(&more);
    list_splice_tail(&less, head);
    list_add_tail(pivot, head);
    list_splice_tail(&more, head);
}

static void list_free(struct list_head *head)
{
    while (head->next != head) {
        struct list_head *node = head->next;
        list_del(node);
        free(FILE_OF(node));
    }
}

static int is_regular(DIR *dir, const struct dirent *e)
{
    if (e->d_type == DT_REG) return 1;
    if (e->d_type != DT_UNKNOWN) return 0;
    struct stat st;
    return fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

/* Appends the folder's listable names to the list and counts them. */
static void take_folder(DIR *dir, int sort_type, const char *prefix, struct list_head *list, int *photos, int *videos)
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
        if (strlen(e->d_name) >= VESK_MEDIA_NAME_LEN) {
            printf("skip media file with a name over %d bytes: %.40s...\n", VESK_MEDIA_NAME_LEN - 1, e->d_name);
            continue;
        }
        file_list *f = (file_list *)calloc(1, sizeof *f);
        if (f == NULL) continue;
        memcpy(f->file_name, e->d_name, strlen(e->d_name) + 1);
        list_add_tail(&f->list_node, list);
        if (type == FILE_PHOTO)
            (*photos)++;
        else
            (*videos)++;
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

    dir_list taken;
    memset(&taken, 0, sizeof taken);
    list_head_init(&taken.file_list_head);
    int photos = 0;
    int videos = 0;
    const char *prefix = date_prefix != NULL ? date_prefix : "";
    if (photo != NULL) {
        take_folder(photo, sort_type, prefix, &taken.file_list_head, &photos, &videos);
        closedir(photo);
    }
    if (video != NULL) {
        take_folder(video, sort_type, prefix, &taken.file_list_head, &photos, &videos);
        closedir(video);
    }
    if (photos + videos == 0) return NULL;
    list_quicksort(&taken.file_list_head);

    file_unit *rows = (file_unit *)calloc((size_t)(photos + videos), sizeof *rows);
    if (rows != NULL) {
        int reverse = sort_type == SORT_FILENAME_REVERSE || sort_type == SORT_DATE_REVERSE;
        int p = 0;
        int v = 0;
        for (struct list_head *n = taken.file_list_head.next; n != &taken.file_list_head; n = n->next) {
            const char *name = FILE_OF(n)->file_name;
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
    list_free(&taken.file_list_head);
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
