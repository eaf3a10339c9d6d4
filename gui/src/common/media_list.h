// The photo and video lists of the Media partition as the media browser
// shows them, and the deletion of a file with its thumbnail.
#pragma once

#include <stdint.h>

#define VESK_MEDIA_PHOTO_DIR "/usrdata/media/Picture/"
#define VESK_MEDIA_VIDEO_DIR "/usrdata/media/Video/"
#define VESK_MEDIA_THUMB_DIR "/usrdata/media/.thumbnails/"
/* Names in the media folders fit a 64-byte field with its NUL. */
#define VESK_MEDIA_NAME_LEN 64
/* Sort types 2 and 3 keep names that start with this many date characters. */
#define VESK_MEDIA_DATE_PREFIX_LEN 9

typedef enum { FILE_NULL = 0, FILE_PHOTO = 1, FILE_VIDEO = 2, FILE_NUM = 3 } FILE_TYPE;

typedef enum {
    SORT_FILENAME_POSITIVE = 0,
    SORT_FILENAME_REVERSE = 1,
    SORT_DATE_POSITIVE = 2,
    SORT_DATE_REVERSE = 3,
    SORT_NUM = 255,
} SORT_TYPE;

/* Intrusive circular doubly linked list. */
struct list_head {
    struct list_head *next;
    struct list_head *prev;
};

void list_head_init(struct list_head *head);
/* Puts entry just before node (list_add_tail: before the head, at the end). */
void list_add_prev(struct list_head *entry, struct list_head *node);
void list_add_next(struct list_head *entry, struct list_head *node);
void list_add_tail(struct list_head *entry, struct list_head *head);
/* Unlinks entry and clears its links. */
void list_del(struct list_head *entry);

typedef struct {
    char file_name[VESK_MEDIA_NAME_LEN];
    struct list_head list_node;
} file_list;

typedef struct {
    char dir_name[VESK_MEDIA_NAME_LEN];
    struct list_head file_list_head;
    struct list_head list_node;
} dir_list;

/* One row of the list handed to the pages. Photos fill photo_name from row 0
 * and videos video_name, each column as long as its count; the counts stand
 * in row 0 only, and there are as many rows as the longer column. */
typedef struct {
    int32_t photo_num;
    int32_t video_num;
    char photo_name[VESK_MEDIA_NAME_LEN];
    char video_name[VESK_MEDIA_NAME_LEN];
} file_unit;

static_assert(sizeof(file_unit) == 136, "file_unit is the browser's 136-byte row");

/* Type of a name by the four characters from its last '.': ".bmp" photo,
 * ".mp4" video, anything else FILE_NULL. Case-sensitive. */
FILE_TYPE vesk_media_file_type(const char *name);

/* The folders the functions below work in; the board's are the defaults,
 * and a test hands in folders of its own. */
typedef struct {
    const char *photo;
    const char *video;
    const char *thumb;
} vesk_media_dirs;
extern const vesk_media_dirs vesk_media_board_dirs;

/* The sorted list as a new array of rows (the caller frees it), or NULL
 * when there is no photo and no video. Sort types 2 and 3 keep
 * names whose first nine characters equal those of date_prefix; 1 and 3
 * fill each column from its last row. */
file_unit *getFileListInfo(int sort_type, const char *date_prefix);
/* Size in bytes of a photo (type 1) or video (type 2), 0 when unreadable. */
long Get_file_size(int type, const char *name);
/* Deletes the file and its thumbnail, then flushes the file systems; the
 * result of deleting the thumbnail (0 or -1). A name that is not a plain
 * file name of its folder is refused with -1 and nothing is deleted. */
int Remove_file(int type, const char *name);
/* Deletes the thumbnail folder and creates it again, empty: 0 or -1. */
int Remove_Matefile(void);

file_unit *vesk_media_list_in(const vesk_media_dirs *dirs, int sort_type, const char *date_prefix);
long vesk_media_size_in(const vesk_media_dirs *dirs, int type, const char *name);
int vesk_media_remove_in(const vesk_media_dirs *dirs, int type, const char *name);
int vesk_media_clear_thumbs_in(const vesk_media_dirs *dirs);

/* The media browser's list, held between openings of the browser: the
 * newest names first. */
extern file_unit *QZ_file_info;
extern int32_t QZ_photo_num, QZ_video_num;
extern int32_t QZ_photos_index, QZ_video_index;               /* 0-based current file */
extern int32_t QZ_photos_current_page, QZ_video_current_page; /* 1-based */
extern int32_t QZ_photos_total_page, QZ_video_total_page;
/* Set to keep the current files by name at the next listing. */
extern uint8_t s_need_reanchor;
#define VESK_MEDIA_PAGE_FILES 9
/* Lists the Media folders again into the held list; without any photo or
 * video the thumbnail folder is emptied. */
void get_file_list_info(void);
void vesk_media_refresh_in(const vesk_media_dirs *dirs);
