// The media browser, the photo viewer and the video player.
#include "media_pages.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "media_list.h"
#include "navigator.h"
#include "pages.h"
#include "storage_pages.h"
#include "ui_events.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "utils_common.h"
#include "vesk_page.h"

int32_t QZ_photos_last_page = 1, QZ_video_last_page = 1;
int32_t QZ_file_title_index = 2;
int32_t QZ_file_default_index = MENU_FILE;
int32_t QZ_file_default_play_index = 1;
int32_t QZ_file_default_delete_index = 1;
uint8_t QZ_play_status;

#define GRID_COLUMNS 3
#define CELL_W 272
#define CELL_H 276
#define NOTICE_MS 1000
#define ICON_RESTORE_MS 500
#define SEEK_REPEAT_MS 500
/* A video this short (in frames) cannot be played. */
#define VIDEO_MIN_FRAMES 29
/* Paths of the media folders with a name of up to 63 characters. */
#define MEDIA_PATH_LEN 160

/* ---- the current tab's list ---- */

typedef struct {
    int type; /* FILE_PHOTO or FILE_VIDEO */
    int32_t *num, *index, *current_page, *total_page, *last_page;
} media_kind_t;

static media_kind_t kind_of(int tab)
{
    if (tab == 1)
        return {FILE_PHOTO,          &QZ_photo_num, &QZ_photos_index, &QZ_photos_current_page, &QZ_photos_total_page,
                &QZ_photos_last_page};
    return {FILE_VIDEO,           &QZ_video_num,      &QZ_video_index, &QZ_video_current_page,
            &QZ_video_total_page, &QZ_video_last_page};
}

static media_kind_t current_kind(void) { return kind_of(QZ_file_title_index); }

/* The file name at index i of a kind; "" outside the list. */
static const char *name_at(const media_kind_t &k, int i)
{
    if (QZ_file_info == NULL || i < 0 || i >= *k.num) return "";
    return k.type == FILE_PHOTO ? QZ_file_info[i].photo_name : QZ_file_info[i].video_name;
}

/* The name less its extension (its last four characters). */
/* File names come from the Media partition, written by the PC as well:
 * any UTF-8. */
static void shown_name(const char *name, char *out, size_t size)
{
    size_t n = strlen(name);
    n = n >= 4 ? n - 4 : 0;
    vesk_utf8_format(out, size, "%.*s", (int)n, name);
}

static bool_t file_exists(int type, const char *name)
{
    if (name == NULL || *name == '\0') return FALSE;
    char path[MEDIA_PATH_LEN];
    if (type == FILE_PHOTO)
        snprintf(path, sizeof path, "%s%s", VESK_MEDIA_PHOTO_DIR, name);
    else
        snprintf(path, sizeof path, "%s/%s", VESK_MEDIA_VIDEO_DIR, name);
    return access(path, F_OK) == 0;
}

static void free_list(void)
{
    free(QZ_file_info);
    QZ_file_info = NULL;
    QZ_photo_num = 0;
    QZ_video_num = 0;
}

static int page_of(int index) { return index / VESK_MEDIA_PAGE_FILES + 1; }

/* The file list changed under a viewer or player: the browser lists again. */
static void raise_list_changed(void)
{
    event_t e = event_init(UI_EVT(UI_EV_FILE_LIST), NULL);
    widget_dispatch(window_manager(), &e);
}

/* ---- browser drawing ---- */

static void QZ_change_storage_size(widget_t *win)
{
    storage_show_usage(win, "label_storage_used_value", "label_storage_total_value", " G");
}

static void show_storage(widget_t *win, bool_t visible)
{
    vesk_page_set_visible(win, "label_storage_used", visible);
    vesk_page_set_visible(win, "label_storage_used_value", visible);
    vesk_page_set_visible(win, "label_storage_slash", visible);
    vesk_page_set_visible(win, "label_storage_total_value", visible);
    vesk_page_set_visible(win, "progress_bar", visible);
}

static void QZ_updata_Thumbnail_Info(widget_t *win)
{
    media_kind_t k = current_kind();
    if (*k.num == 0) {
        vesk_page_set_image(win, "image_no_file", k.type == FILE_PHOTO ? "QZ_img_empty" : "QZ_video_empty");
        vesk_page_set_visible(win, "image_no_file", TRUE);
        vesk_page_set_visible(win, "view_file_option", FALSE);
        vesk_page_set_text(win, "label_index_page", "1/1");
        return;
    }
    vesk_page_set_visible(win, "image_no_file", FALSE);
    vesk_page_set_visible(win, "view_file_option", TRUE);
    char text[64];
    snprintf(text, sizeof text, "%d/%d", *k.current_page, *k.total_page);
    vesk_page_set_text(win, "label_index_page", text);
    *k.last_page = *k.current_page;
    int first = (*k.current_page - 1) * VESK_MEDIA_PAGE_FILES;
    for (int s = 0; s < VESK_MEDIA_PAGE_FILES; s++) {
        char label[32], image[32];
        snprintf(label, sizeof label, "label_FileName%d", s + 1);
        snprintf(image, sizeof image, "image_file_%d", s + 1);
        vesk_page_set_text(win, label, "");
        vesk_page_set_visible(win, image, FALSE);
        const char *name = name_at(k, first + s);
        if (*name == '\0') continue;
        char shown[VESK_MEDIA_NAME_LEN], thumb[MEDIA_PATH_LEN];
        shown_name(name, shown, sizeof shown);
        vesk_page_set_text(win, label, shown);
        snprintf(thumb, sizeof thumb, "file://%s%s.jpg", VESK_MEDIA_THUMB_DIR, shown);
        /* A video's thumbnail is made after its recording: it may be missing. */
        if (k.type == FILE_VIDEO && access(thumb + strlen("file://"), F_OK) != 0) continue;
        vesk_page_set_image(win, image, thumb);
        vesk_page_set_visible(win, image, TRUE);
    }
}

static void set_time_value(widget_t *win, const char *name, const char *format, uint64_t frames)
{
    uint16_t rate = stUIStatus.u8VideoCurrentFrames;
    uint64_t seconds = rate != 0 ? frames * 10 / rate : 0;
    char text[32];
    snprintf(text, sizeof text, format, (int)(seconds / 60 % 60), (int)(seconds % 60));
    vesk_page_set_text(win, name, text);
}

static void QZ_updata_File_Info(widget_t *win)
{
    media_kind_t k = current_kind();
    if (*k.num == 0) return;
    const char *name = name_at(k, *k.index);
    char shown[VESK_MEDIA_NAME_LEN], text[32];
    shown_name(name, shown, sizeof shown);
    vesk_page_set_text(win, "label_Type_value", k.type == FILE_PHOTO ? "BMP" : "MP4");
    vesk_page_set_text(win, "label_File_Name_value", shown);
    snprintf(text, sizeof text, "%.1fMB", Get_file_size(k.type, name) / 1000000.0);
    vesk_page_set_text(win, "label_Size_value", text);
    if (k.type == FILE_VIDEO) GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_REPLAY, TAP_REPLAY_VEDIO_TOTAL_TIME, name);
    int slot = *k.index % VESK_MEDIA_PAGE_FILES;
    widget_t *frame = vesk_page_widget(win, "view_file_sel");
    if (frame != NULL) widget_move(frame, (xy_t)(slot % GRID_COLUMNS * CELL_W), (xy_t)(slot / GRID_COLUMNS * CELL_H));
    for (int s = 0; s < VESK_MEDIA_PAGE_FILES; s++) {
        char label[32];
        snprintf(label, sizeof label, "label_FileName%d", s + 1);
        vesk_page_set_state(win, label, s == slot ? WIDGET_STATE_FOCUSED : WIDGET_STATE_NORMAL);
    }
}

static void draw_tabs(widget_t *win)
{
    bool_t videos = QZ_file_title_index == 2;
    vesk_page_set_image(win, "image_image_video", videos ? "tab_video_sel" : "tab_image_sel");
    vesk_page_set_state(win, "label_video", videos ? WIDGET_STATE_FOCUSED : WIDGET_STATE_NORMAL);
    vesk_page_set_state(win, "label_image", videos ? WIDGET_STATE_NORMAL : WIDGET_STATE_FOCUSED);
    vesk_page_set_visible(win, "label_Time", videos);
    if (!videos) vesk_page_set_visible(win, "label_Time_value", FALSE);
}

static void show_details(widget_t *win, bool_t visible)
{
    vesk_page_set_visible(win, "view_current_file", visible);
    vesk_page_set_visible(win, "label_File_Name_value", visible);
    vesk_page_set_visible(win, "label_Type_value", visible);
    vesk_page_set_visible(win, "label_Size_value", visible);
    vesk_page_set_visible(win, "label_Time_value", visible && QZ_file_title_index == 2);
}

static void reset_details(widget_t *win)
{
    vesk_page_set_text(win, "label_File_Name_value", "");
    vesk_page_set_text(win, "label_Type_value", "");
    vesk_page_set_text(win, "label_Size_value", "");
    vesk_page_set_text(win, "label_Time_value", "00:00");
}

/* Level 1 with nothing in the tab: the empty picture, no grid, no details. */
static void to_empty_level(widget_t *win)
{
    QZ_file_default_index = MENU_FILE;
    vesk_page_set_visible(win, "view_file_sel", FALSE);
    show_details(win, FALSE);
    reset_details(win);
    for (int s = 0; s < VESK_MEDIA_PAGE_FILES; s++) {
        char label[32];
        snprintf(label, sizeof label, "label_FileName%d", s + 1);
        vesk_page_set_state(win, label, WIDGET_STATE_NORMAL);
    }
    QZ_updata_Thumbnail_Info(win);
}

/* Level 2 on the current file: frame, details and grid drawn again. */
static void to_grid_level(widget_t *win)
{
    QZ_file_default_index = MENU_LIST;
    vesk_page_set_visible(win, "view_file_option", TRUE);
    vesk_page_set_visible(win, "view_file_sel", TRUE);
    show_details(win, TRUE);
    QZ_updata_Thumbnail_Info(win);
    QZ_updata_File_Info(win);
}

static void relist(widget_t *win)
{
    s_need_reanchor = 1;
    get_file_list_info();
    if (*current_kind().num > 0)
        to_grid_level(win);
    else
        to_empty_level(win);
}

/* ---- browser notices ---- */

static void hide_popups(widget_t *win)
{
    vesk_page_set_visible(win, "view_file_display_delete", FALSE);
    vesk_page_set_visible(win, "view_delete_file", FALSE);
}

static ret_t on_corrupted_timer(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    vesk_page_set_visible(win, "view_file_corrupted", FALSE);
    show_storage(win, TRUE);
    return RET_REMOVE;
}

static ret_t on_missing_timer(const timer_info_t *timer)
{
    widget_t *win = WIDGET(timer->ctx);
    vesk_page_set_visible(win, "view_file_corrupted", FALSE);
    relist(win);
    QZ_change_storage_size(win);
    show_storage(win, TRUE);
    return RET_REMOVE;
}

static void show_notice(widget_t *win, timer_func_t then)
{
    vesk_page_set_visible(win, "view_file_corrupted", TRUE);
    show_storage(win, FALSE);
    widget_add_timer(win, then, NOTICE_MS);
}

/* The file in focus has gone since the listing (taken off over USB, or by
 * the phone): say so, then list again keeping the others by name. */
static void missing_file(widget_t *win)
{
    hide_popups(win);
    show_notice(win, on_missing_timer);
}

static void draw_popup(widget_t *win)
{
    static const char *const rows[][2] = {
        {"view_display", "label_display"}, {"view_delete", "label_delete"}, {"view_exit", "label_exit"}};
    for (int r = 0; r < 3; r++) {
        const char *state = r + 1 == QZ_file_default_play_index ? WIDGET_STATE_FOCUSED : WIDGET_STATE_NORMAL;
        vesk_page_set_state(win, rows[r][0], state);
        vesk_page_set_state(win, rows[r][1], state);
    }
}

static void draw_confirmation(widget_t *win)
{
    bool_t ok = QZ_file_default_delete_index == 1;
    vesk_page_set_state(win, "view_OK", ok ? WIDGET_STATE_FOCUSED : WIDGET_STATE_NORMAL);
    vesk_page_set_state(win, "label_OK", ok ? WIDGET_STATE_FOCUSED : WIDGET_STATE_NORMAL);
    vesk_page_set_state(win, "view_Cancel", ok ? WIDGET_STATE_NORMAL : WIDGET_STATE_FOCUSED);
    vesk_page_set_state(win, "label_Cancel", ok ? WIDGET_STATE_NORMAL : WIDGET_STATE_FOCUSED);
}

/* The confirmation takes the pop-up's place rather than lying over it, and
 * hands it back on Cancel or back. */
static void show_confirmation(widget_t *win, bool_t on)
{
    QZ_file_default_index = on ? MENU_DELETE_CHOOSE : MENU_PLAY_DELETE;
    if (on) {
        QZ_file_default_delete_index = 1;
        draw_confirmation(win);
    }
    vesk_page_set_visible(win, "view_file_display_delete", !on);
    vesk_page_set_visible(win, "view_delete_file", on);
}

/* ---- browser keys ---- */

int QZ_menu_list_navigate(int i, int n, uint32_t key)
{
    if (n <= 0) return 0;
    int column = i % GRID_COLUMNS, last_row = (n - 1) / GRID_COLUMNS;
    switch (key) {
    case GUI_KEY_FOCUS_UP_S: {
        if (i >= GRID_COLUMNS) return i - GRID_COLUMNS;
        int below = last_row * GRID_COLUMNS + column;
        return below < n ? below : n - 1;
    }
    case GUI_KEY_FOCUS_DOWN_S:
        if (i + GRID_COLUMNS < n) return i + GRID_COLUMNS;
        return i / GRID_COLUMNS == last_row ? column : n - 1;
    case GUI_KEY_LEFT_S:
        return i <= 0 ? n - 1 : i - 1;
    case GUI_KEY_RIGHT_S:
        return i >= n - 1 ? 0 : i + 1;
    default:
        return i;
    }
}

static void navigate(widget_t *win, uint32_t key)
{
    media_kind_t k = current_kind();
    *k.index = QZ_menu_list_navigate(*k.index, *k.num, key);
    *k.current_page = page_of(*k.index);
    if (*k.current_page != *k.last_page) QZ_updata_Thumbnail_Info(win);
    QZ_updata_File_Info(win);
}

static void key_tabs(widget_t *win, uint32_t key)
{
    media_kind_t k = current_kind();
    switch (key) {
    case GUI_KEY_MID_S:
    case GUI_KEY_FOCUS_DOWN_S:
        if (*k.num == 0) break;
        QZ_file_default_index = MENU_LIST;
        QZ_updata_File_Info(win);
        vesk_page_set_visible(win, "view_file_sel", TRUE);
        vesk_page_set_text(win, "label_currnent_file",
                           locale_info_tr(locale_info(), k.type == FILE_PHOTO ? "Image " : "Video"));
        show_details(win, TRUE);
        break;
    case GUI_KEY_LEFT_S:
    case GUI_KEY_RIGHT_S: {
        QZ_file_title_index = QZ_file_title_index == 1 ? 2 : 1;
        media_kind_t n = current_kind();
        *n.index = 0;
        *n.current_page = 1;
        vesk_page_set_visible(win, "view_file_display_delete", FALSE);
        draw_tabs(win);
        QZ_updata_Thumbnail_Info(win);
        break;
    }
    case GUI_KEY_MID_L:
        free_list();
        navigator_back();
        break;
    default:
        break;
    }
}

static void key_grid(widget_t *win, uint32_t key)
{
    switch (key) {
    case GUI_KEY_FOCUS_UP_S:
    case GUI_KEY_FOCUS_DOWN_S:
    case GUI_KEY_LEFT_S:
    case GUI_KEY_RIGHT_S:
        navigate(win, key);
        break;
    case GUI_KEY_MID_S:
        QZ_file_default_index = MENU_PLAY_DELETE;
        QZ_file_default_play_index = 1;
        draw_popup(win);
        vesk_page_set_visible(win, "view_file_display_delete", TRUE);
        break;
    case GUI_KEY_MID_L:
        QZ_file_default_index = MENU_FILE;
        vesk_page_set_visible(win, "view_file_sel", FALSE);
        for (int s = 0; s < VESK_MEDIA_PAGE_FILES; s++) {
            char label[32];
            snprintf(label, sizeof label, "label_FileName%d", s + 1);
            vesk_page_set_state(win, label, WIDGET_STATE_NORMAL);
        }
        show_details(win, FALSE);
        break;
    default:
        break;
    }
}

static void open_current(widget_t *win)
{
    media_kind_t k = current_kind();
    if (k.type == FILE_PHOTO) {
        navigator_to("file_image");
    } else if (stUIStatus.u64VideoTotalFrames > VIDEO_MIN_FRAMES) {
        navigator_to("file_video");
    } else {
        show_notice(win, on_corrupted_timer);
    }
}

static void key_popup(widget_t *win, uint32_t key)
{
    media_kind_t k = current_kind();
    bool_t exists = file_exists(k.type, name_at(k, *k.index));
    switch (key) {
    case GUI_KEY_FOCUS_UP_S:
        QZ_file_default_play_index = QZ_file_default_play_index <= 1 ? 3 : QZ_file_default_play_index - 1;
        draw_popup(win);
        break;
    case GUI_KEY_FOCUS_DOWN_S:
        QZ_file_default_play_index = QZ_file_default_play_index >= 3 ? 1 : QZ_file_default_play_index + 1;
        draw_popup(win);
        break;
    case GUI_KEY_MID_L:
        QZ_file_default_index = MENU_LIST;
        vesk_page_set_visible(win, "view_file_display_delete", FALSE);
        break;
    case GUI_KEY_MID_S:
        if (QZ_file_default_play_index == 3) {
            vesk_page_set_visible(win, "view_file_display_delete", FALSE);
            QZ_file_default_index = MENU_LIST;
        } else if (!exists) {
            missing_file(win);
        } else if (QZ_file_default_play_index == 1) {
            open_current(win);
        } else {
            show_confirmation(win, TRUE);
        }
        break;
    default:
        break;
    }
}

/* The whole name from the list (up to 63 characters) goes to the delete:
 * a shortened copy would name another file or none. */
static void delete_current(widget_t *win)
{
    media_kind_t k = current_kind();
    const char *name = name_at(k, *k.index);
    if (!file_exists(k.type, name)) {
        missing_file(win);
        return;
    }
    char whole[VESK_MEDIA_NAME_LEN];
    snprintf(whole, sizeof whole, "%s", name);
    Remove_file(k.type, whole);
    hide_popups(win);
    relist(win);
    QZ_change_storage_size(win);
}

static void key_confirmation(widget_t *win, uint32_t key)
{
    switch (key) {
    case GUI_KEY_FOCUS_UP_S:
    case GUI_KEY_FOCUS_DOWN_S:
    case GUI_KEY_LEFT_S:
    case GUI_KEY_RIGHT_S:
        QZ_file_default_delete_index = QZ_file_default_delete_index ? 0 : 1;
        draw_confirmation(win);
        break;
    case GUI_KEY_MID_L:
        show_confirmation(win, FALSE);
        break;
    case GUI_KEY_MID_S:
        if (QZ_file_default_delete_index == 1)
            delete_current(win);
        else
            show_confirmation(win, FALSE);
        break;
    default:
        break;
    }
}

static ret_t on_browser_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    if (key == NULL) return RET_OK;
    if (key->key == GUI_KEY_POWER_S) {
        free_list();
        vesk_page_go_home();
        return RET_OK;
    }
    switch (QZ_file_default_index) {
    case MENU_FILE:
        key_tabs(win, key->key);
        break;
    case MENU_LIST:
        key_grid(win, key->key);
        break;
    case MENU_PLAY_DELETE:
        key_popup(win, key->key);
        break;
    case MENU_DELETE_CHOOSE:
        key_confirmation(win, key->key);
        break;
    default:
        break;
    }
    return RET_OK;
}

static ret_t on_video_length(void *ctx, event_t *e)
{
    (void)e;
    set_time_value(WIDGET(ctx), "label_Time_value", "%02d:%02d", stUIStatus.u64VideoTotalFrames);
    return RET_OK;
}

/* The viewer or the player closes: the files may have changed. */
static ret_t on_file_list_changed(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    s_need_reanchor = 1;
    get_file_list_info();
    media_kind_t k = current_kind();
    if (*k.num > 0) {
        vesk_page_set_visible(win, "view_file_option", TRUE);
        vesk_page_set_visible(win, "view_file_sel", TRUE);
        vesk_page_set_visible(win, "view_current_file", TRUE);
        *k.current_page = page_of(*k.index);
        *k.last_page = *k.current_page;
        QZ_updata_Thumbnail_Info(win);
        QZ_updata_File_Info(win);
    } else {
        to_empty_level(win);
    }
    QZ_change_storage_size(win);
    return RET_OK;
}

static ret_t on_browser_destroy(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    s_need_reanchor = 0;
    free_list();
    return RET_REMOVE;
}

ret_t file_menu_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    ret_t ret = image_manager_unload_all(image_manager());
    if (ret != RET_OK) printf("image_manager_unload_all ret = %d error!!!\n", ret);
    widget_t *used = vesk_page_widget(win, "label_storage_used");
    if (used != NULL) {
        widget_set_prop_bool(used, "loop", TRUE);
        widget_set_prop_float(used, "speed", 0.04f);
        widget_set_prop_bool(used, "only_parent_focus", FALSE);
        widget_set_prop_bool(used, "only_focus", FALSE);
        widget_set_prop_int(used, "lull", 1000);
    }
    s_need_reanchor = 0;
    free_list();
    QZ_file_default_index = MENU_FILE;
    QZ_photos_index = QZ_video_index = 0;
    QZ_photos_current_page = QZ_video_current_page = 1;
    QZ_photos_last_page = QZ_video_last_page = 1;
    QZ_file_title_index = 2;
    draw_tabs(win);
    get_file_list_info();
    QZ_updata_Thumbnail_Info(win);
    reset_details(win);
    QZ_change_storage_size(win);
    vesk_page_set_visible(win, "view_file_sel", FALSE);
    hide_popups(win);
    vesk_page_set_visible(win, "view_file_corrupted", FALSE);
    show_details(win, FALSE);
    show_storage(win, TRUE);
    /* On the window, not its children: they end with the window. */
    static const int length_events[] = {UI_EV_REPLAY_LENGTH};
    vesk_page_subscribe(win, length_events, ARRAY_SIZE(length_events), on_video_length);
    static const int list_events[] = {UI_EV_FILE_LIST};
    vesk_page_subscribe(win, list_events, ARRAY_SIZE(list_events), on_file_list_changed);
    widget_on(win, EVT_KEY_DOWN, on_browser_key, win);
    widget_on(win, EVT_DESTROY, on_browser_destroy, win);
    vesk_page_bind_close(win, NULL);
    return RET_OK;
}

/* ---- viewer and player: finding an existing file ---- */

/* From index (itself first when with_self) in direction dir, wrapping: the
 * first file that still exists, or -1 after count tries. */
static int find_existing(const media_kind_t &k, int index, int dir, bool_t with_self)
{
    int n = *k.num;
    if (n <= 0) return -1;
    int i = index;
    if (with_self && i >= 0 && i < n && file_exists(k.type, name_at(k, i))) return i;
    for (int tries = 0; tries < n; tries++) {
        i = ((i + dir) % n + n) % n;
        if (file_exists(k.type, name_at(k, i))) return i;
    }
    return -1;
}

static void leave_viewer(void)
{
    raise_list_changed();
    navigator_back();
}

/* ---- photo viewer ---- */

static void show_photo(widget_t *win, int index)
{
    media_kind_t k = kind_of(1);
    *k.index = index;
    *k.current_page = page_of(index);
    const char *name = name_at(k, index);
    char path[MEDIA_PATH_LEN], shown[VESK_MEDIA_NAME_LEN];
    snprintf(path, sizeof path, "file://%s%s", VESK_MEDIA_PHOTO_DIR, name);
    shown_name(name, shown, sizeof shown);
    vesk_page_set_image(win, "image_photo", path);
    vesk_page_set_text(win, "label_video_name", shown);
}

static ret_t on_photo_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    if (key == NULL) return RET_OK;
    media_kind_t k = kind_of(1);
    switch (key->key) {
    case GUI_KEY_FOCUS_UP_S:
    case GUI_KEY_FOCUS_DOWN_S: {
        int found = find_existing(k, *k.index, key->key == GUI_KEY_FOCUS_UP_S ? -1 : 1, FALSE);
        if (found < 0)
            leave_viewer();
        else
            show_photo(win, found);
        break;
    }
    case GUI_KEY_POWER_S:
        free_list();
        QZ_photos_index = 0;
        vesk_page_go_home();
        break;
    case GUI_KEY_MID_S:
    case GUI_KEY_MID_L:
        leave_viewer();
        break;
    default:
        return RET_OK;
    }
    return RET_STOP;
}

ret_t file_image_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    vesk_page_bind_named_keys(win, on_photo_key);
    media_kind_t k = kind_of(1);
    int found = find_existing(k, *k.index, 1, TRUE);
    if (found < 0) {
        leave_viewer();
        return RET_OK;
    }
    show_photo(win, found);
    return RET_OK;
}

/* ---- video player ---- */

enum { PLAY_PAUSED = 0, PLAY_PLAYING = 1, PLAY_FORWARD = 2, PLAY_REWIND = 3 };

static uint32_t timer_rewind_id, timer_forward_id, s_icon_timer_id;

static void show_play_icons(widget_t *win, int state)
{
    vesk_page_set_visible(win, "image_play", state == PLAY_PAUSED);
    vesk_page_set_visible(win, "image_forward", state == PLAY_FORWARD);
    vesk_page_set_visible(win, "image_rewind", state == PLAY_REWIND);
}

static void start_video(widget_t *win, int index)
{
    media_kind_t k = kind_of(2);
    *k.index = index;
    *k.current_page = page_of(index);
    stUIStatus.u64VideoTotalFrames = 0;
    const char *name = name_at(k, index);
    char shown[VESK_MEDIA_NAME_LEN];
    shown_name(name, shown, sizeof shown);
    vesk_page_set_text(win, "label_video_name", shown);
    vesk_page_set_visible(win, "view_file_corrupted", FALSE);
    GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_REPLAY, TAP_REPLAY_START, name);
    QZ_play_status = 1;
    show_play_icons(win, PLAY_PLAYING);
}

/* One seek step back or forward from the position reported last. */
static void seek(widget_t *win, int forward)
{
    uint64_t rate = stUIStatus.u8VideoCurrentFrames;
    uint64_t now = stUIStatus.u64VideoCurrentFrames, total = stUIStatus.u64VideoTotalFrames;
    if (forward)
        stUIStatus.u64VideoForwardFrames = total - now < rate || now > total ? total : now + rate;
    else
        stUIStatus.u64VideoForwardFrames = now > rate ? now - rate : 0;
    GUI_SEND_VIDEO_FRAME_MSG(TAP_REWIND_FORWARD);
    show_play_icons(win, forward ? PLAY_FORWARD : PLAY_REWIND);
}

static ret_t on_icon_restore(const timer_info_t *timer)
{
    s_icon_timer_id = 0;
    show_play_icons(WIDGET(timer->ctx), QZ_play_status);
    return RET_REMOVE;
}

static ret_t on_seek_repeat(const timer_info_t *timer)
{
    seek(WIDGET(timer->ctx), timer->id == timer_forward_id);
    return RET_REPEAT;
}

static void remove_timer(widget_t *win, uint32_t *id)
{
    if (*id != 0) widget_remove_timer(win, *id);
    *id = 0;
}

static void stop_and_leave(void)
{
    GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_REPLAY, TAP_REPLAY_STOP, NULL);
    leave_viewer();
}

static ret_t on_video_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    if (key == NULL) return RET_OK;
    media_kind_t k = kind_of(2);
    switch (key->key) {
    case GUI_KEY_MID_S:
        QZ_play_status = QZ_play_status ? 0 : 1;
        GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_REPLAY, QZ_play_status ? TAP_REPLAY_CONTINUE : TAP_REPLAY_PAUSE, NULL);
        show_play_icons(win, QZ_play_status);
        break;
    case GUI_KEY_LEFT_S:
    case GUI_KEY_RIGHT_S:
        seek(win, key->key == GUI_KEY_RIGHT_S);
        remove_timer(win, &s_icon_timer_id);
        s_icon_timer_id = widget_add_timer(win, on_icon_restore, ICON_RESTORE_MS);
        break;
    case GUI_KEY_LEFT_L:
        if (timer_rewind_id == 0) timer_rewind_id = widget_add_timer(win, on_seek_repeat, SEEK_REPEAT_MS);
        show_play_icons(win, PLAY_REWIND);
        break;
    case GUI_KEY_RIGHT_L:
        if (timer_forward_id == 0) timer_forward_id = widget_add_timer(win, on_seek_repeat, SEEK_REPEAT_MS);
        show_play_icons(win, PLAY_FORWARD);
        break;
    case GUI_KEY_FOCUS_UP_S:
    case GUI_KEY_FOCUS_DOWN_S: {
        int found = find_existing(k, *k.index, key->key == GUI_KEY_FOCUS_UP_S ? -1 : 1, FALSE);
        if (found < 0) {
            stop_and_leave();
        } else if (found != *k.index) {
            remove_timer(win, &timer_rewind_id);
            remove_timer(win, &timer_forward_id);
            GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_REPLAY, TAP_REPLAY_STOP, NULL);
            start_video(win, found);
        }
        break;
    }
    case GUI_KEY_MID_L:
        stop_and_leave();
        break;
    case GUI_KEY_POWER_S:
        GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_REPLAY, TAP_REPLAY_STOP, NULL);
        free_list();
        QZ_video_index = 0;
        vesk_page_go_home();
        break;
    default:
        return RET_OK;
    }
    return RET_STOP;
}

/* The releases of a held left or right end its repeating seek. */
static ret_t on_video_key_up(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *key = key_event_cast(e);
    if (key == NULL) return RET_OK;
    if (key->key == GUI_KEY_LEFT_L_POP)
        remove_timer(win, &timer_rewind_id);
    else if (key->key == GUI_KEY_RIGHT_L_POP)
        remove_timer(win, &timer_forward_id);
    else
        return RET_OK;
    show_play_icons(win, QZ_play_status);
    return RET_STOP;
}

static ret_t on_replay_position(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    uint64_t now = stUIStatus.u64VideoCurrentFrames, total = stUIStatus.u64VideoTotalFrames;
    /* Shown 31 frames ahead: the picture is that far ahead of the report. */
    set_time_value(win, "label_play_time", "%02d:%02d", now + 31);
    widget_t *bar = vesk_page_widget(win, "progress_bar");
    if (bar != NULL) widget_set_value(bar, total != 0 ? (float)((now * 3600 + 111600) / total) : 0.0f);
    if (now == total) stop_and_leave();
    return RET_OK;
}

static ret_t on_replay_length(void *ctx, event_t *e)
{
    (void)e;
    set_time_value(WIDGET(ctx), "label_total_time", "/%02d:%02d", stUIStatus.u64VideoTotalFrames);
    return RET_OK;
}

static ret_t on_player_close(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    /* The window's timers end with it. */
    timer_rewind_id = timer_forward_id = s_icon_timer_id = 0;
    return RET_OK;
}

static ret_t bind_key_up(void *ctx, const void *data)
{
    widget_t *w = WIDGET(data);
    if (w->name != NULL && *w->name != '\0') widget_on(w, EVT_KEY_UP, on_video_key_up, ctx);
    return RET_OK;
}

ret_t file_video_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    timer_rewind_id = timer_forward_id = s_icon_timer_id = 0;
    media_kind_t k = kind_of(2);
    int found = find_existing(k, *k.index, 1, TRUE);
    if (found < 0) {
        GUI_SEND_TAP_VIDEO_MSG(TAP_VIDEO_REPLAY, TAP_REPLAY_STOP, NULL);
        leave_viewer();
        return RET_OK;
    }
    start_video(win, found);
    vesk_page_bind_named_keys(win, on_video_key);
    widget_foreach(win, bind_key_up, win);
    static const int position_events[] = {UI_EV_REPLAY_POSITION};
    vesk_page_subscribe(win, position_events, ARRAY_SIZE(position_events), on_replay_position);
    static const int length_events[] = {UI_EV_REPLAY_LENGTH};
    vesk_page_subscribe(win, length_events, ARRAY_SIZE(length_events), on_replay_length);
    vesk_page_bind_close(win, on_player_close);
    return RET_OK;
}
