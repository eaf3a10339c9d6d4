// The media browser ("file_menu"), the photo viewer ("file_image") and the
// video player ("file_video") over the photos and videos of the Media
// partition. The browser holds the list (media_list.h); the viewer and the
// player step through it and make the browser list again when they close.
// Their init functions are in pages.h.
#pragma once

#include <stdint.h>

#include "awtk.h"

/* The browser's levels. */
enum {
    MENU_FILE = 1,
    MENU_LIST = 2,
    MENU_PLAY_DELETE = 3,
    MENU_DELETE_CHOOSE = 4,
    MENU_FILE_SET = 5,
    MENU_COUNT = 255
};

/* Replay requests to the media process (recording request kind 1). */
typedef enum {
    TAP_REPLAY_PAUSE = 0,
    TAP_REPLAY_CONTINUE = 1,
    TAP_REPLAY_STOP = 2,
    TAP_REPLAY_START = 3,
    TAP_REPLAY_VEDIO_TOTAL_TIME = 4,
} _TAP_VIDEO_REPLAY;

extern int32_t QZ_photos_last_page, QZ_video_last_page; /* the pages drawn last */
extern int32_t QZ_file_title_index;                     /* tab: 1 photos, 2 videos */
extern int32_t QZ_file_default_index;                   /* the browser's level */
extern int32_t QZ_file_default_play_index;              /* pop-up row 1..3 */
extern int32_t QZ_file_default_delete_index;            /* 1 OK, 0 Cancel */
extern uint8_t QZ_play_status;                          /* 1 playing, 0 paused */

/* The grid index after key ('3' '5' '[' ']') from index among count files,
 * three to a row. */
int QZ_menu_list_navigate(int index, int count, uint32_t key);
