// Shared by the home page's sources: the page's state record, which its
// window owns, and the redraws that one source asks of another.
#pragma once

#include "awtk.h"
#include "home_page.h"

#define HOME_RECORD_TICK_MS 200
#define HOME_LOG_TAG "home"
/* s8VideoMode of picture in picture. */
#define HOME_VIDEO_PIP 3
#define HOME_RETICLE_NAME "general_reticle"
/* Half size of the 14-pixel marks moved over the picture. */
#define HOME_MARK_HALF 7

/* Recording state of the record key and the recording clock. */
typedef struct {
    int32_t hour;
    int32_t minute;
    int32_t second;
    char status; /* 1 recording */
    int32_t timer_id;
    int64_t time_start;  /* time_now_s at the start */
    int64_t time_record; /* seconds recorded */
} record;

/* What the home page remembers between its events. Made by init, handed
 * to every handler of the page as its context (a window timer finds it
 * through its window), freed with the window.
 *
 * Timers are kept as full ids (0: not running): the toolkit's ids keep
 * growing, and a 16-bit copy would name another timer after some hours. */
struct home_state_t {
    widget_t *win;
    record record_status;
    /* The range read-out and range mark are shown; toggled by the range
     * double press. */
    uint8_t is_range_info_visible = 1;

    /* Window timers: they end with the window. */
    uint32_t timer_id_RAV; /* the recoil-video blink */
    int16_t Rav_count;
    bool_t rav_blink;
    uint32_t timer_id_record_1;              /* recording tip */
    uint32_t timer_id_range_2;               /* ranging refused tip */
    uint32_t vesk_save_error_timer_id;       /* lifecycle banner */
    uint32_t bg_image_reset_timer_id;        /* shutter correction tip */
    uint32_t bright_progress_reset_timer_id; /* screen brightness bar */
    uint32_t photo_timer_id;                 /* photo taken */

    /* Global timers: they outlive the window, so its end removes them. */
    uint32_t watch_timer_id;       /* compass and menu-level watch */
    uint32_t range_blink_timer_id; /* range icon during a scan */
    uint32_t shutter_timer_id;     /* shutter countdown icon */

    /* The watch compares with its previous tick. */
    bool_t watch_first = TRUE;
    char watch_occlusion;
    char watch_menu;

    /* Zoom and positions. */
    float ballistic_zoom_value;
    float ballistic_pip_zoom_value;
    int reticle_value_x, reticle_value_y;
    int ballistic_value_x, ballistic_value_y;
    int rangeX, rangeY;
    /* The ballistic point's centre lies on the picture. */
    bool_t point_on_screen;
    /* The target whose distance the range read-out shows. */
    int readout_target;

    /* The timers of timer_add outlive the window, and would call into a
     * state that is gone. */
    ~home_state_t();
};

/* The state of a home window; NULL for any other widget. */
home_state_t *home_state_of(widget_t *win);
/* The state of the newest home window; NULL while none is open. */
home_state_t *home_state_current(void);

/* The named widget of the home window, or NULL when the resource has none;
 * the setters do nothing for a missing widget. */
widget_t *home_widget(widget_t *win, const char *name);
void home_set_visible(widget_t *win, const char *name, bool_t visible);
void home_set_text(widget_t *win, const char *name, const char *text);
void home_set_image(widget_t *win, const char *name, const char *image);
void home_move(widget_t *win, const char *name, int x, int y);
void home_move_resize(widget_t *win, const char *name, int x, int y, int w, int h);
/* A number through tk_snprintf_float into a widget. */
void home_set_number(widget_t *win, const char *name, const char *format, double value);
bool_t home_is_pip(void);
/* The name is one of the n in the list. */
int home_name_in(const char *name, const char *const *list, size_t n);
/* Removes a timer of timer_add or of the window if it runs; the id becomes 0. */
void home_remove_global_timer(uint32_t *id);
void home_remove_window_timer(widget_t *win, uint32_t *id);

/* home_compass.cpp */
void home_redraw_azimuth(home_state_t *home);
void home_redraw_pitch(home_state_t *home);
void home_redraw_slant(home_state_t *home);
/* The compass shows when switched on and not under a menu. */
void home_redraw_compass_visibility(home_state_t *home);
/* Starts the compass and menu-level watch of this window. */
void home_start_watch(home_state_t *home);

/* home_ballistic_mark.cpp */
void home_redraw_ballistic_mark(home_state_t *home);
void home_show_ballistic_point(home_state_t *home);
/* Moves the point for a hold at a cursor and zoom; shows it when on screen. */
void home_place_ballistic_point(home_state_t *home, int cursor_x, int cursor_y, float z, float ox, float oy);
void home_redraw_ballistic_result(home_state_t *home);
void home_hide_ballistic_box(home_state_t *home);

/* home_reticle.cpp */
/* Mark colour words by colour number; 5 follows the temporary colour. */
const char *home_mark_colour_word(int colour, int temporary);
void home_redraw_range_mark(home_state_t *home);
void home_redraw_pip_reticle(home_state_t *home);
void home_redraw_laser_image(home_state_t *home);
void home_redraw_laser_position(home_state_t *home);
void home_redraw_reticle_properties(home_state_t *home);
void home_redraw_reticle_brightness(home_state_t *home);
void home_redraw_reticle_switch(home_state_t *home);
void home_redraw_temp_switch(home_state_t *home);
void home_redraw_corner_info(home_state_t *home);
void home_redraw_reticle_position(home_state_t *home);
void home_redraw_zoom(home_state_t *home);
/* The ballistic box is shown: corner information, reticle and ballistics
 * on, hold-over not hidden. */
bool_t home_ballistic_box_shown(void);
/* The last measurement found more than one target. */
bool_t home_several_targets(void);

/* home_range.cpp */
void home_range_reset(widget_t *win);
void home_redraw_distance(home_state_t *home);
void home_redraw_lrf_result(home_state_t *home);
void home_redraw_lrf_state(home_state_t *home);
/* Once a hold-over is solved for one of several targets, the read-out
 * names that target. */
void home_follow_solved_target(home_state_t *home);

/* home_status_bar.cpp */
void home_redraw_battery(home_state_t *home);
/* Less than 200 MiB free on the Media partition. */
int home_storage_full(void);
void home_check_storage(home_state_t *home);
/* Starts a recording: clock, read-out, request and state. */
void home_record_start(home_state_t *home);
/* Ends a running recording: clock, read-out, request and state. */
void home_record_stop(home_state_t *home);
void home_redraw_palette(home_state_t *home);
void home_redraw_group_label(home_state_t *home);
void home_redraw_group_visibility(home_state_t *home);
void home_redraw_shutter_countdown(home_state_t *home);
void home_redraw_usb_mode(home_state_t *home);
void home_redraw_recoil_recording(home_state_t *home);
void home_redraw_recoil_icon(home_state_t *home);
void home_redraw_usb_connect(home_state_t *home);
void home_redraw_wifi(home_state_t *home);
void home_redraw_auto_shutter(home_state_t *home);
void home_redraw_micro(home_state_t *home);
void home_redraw_standby(home_state_t *home);

/* home_overlays.cpp */
/* Widgets shown for a while, each hidden again by its own timer. */
typedef enum {
    HOME_TIP_CORRECT,     /* shutter correction */
    HOME_TIP_BRIGHTNESS,  /* screen brightness bar */
    HOME_TIP_PHOTO,       /* photo taken */
    HOME_TIP_RECORD,      /* not while recording */
    HOME_TIP_FORBID_RANGE /* ranging refused on a low battery */
} home_tip_t;
/* Shows the tip for ms; restart: a running timer starts again, else it
 * keeps its time. */
void home_show_tip(home_state_t *home, home_tip_t tip, uint32_t ms, bool_t restart);
void home_show_record_tip(home_state_t *home);
void home_redraw_laser_switch(home_state_t *home);
void home_on_lifecycle_outcome(home_state_t *home);
void home_on_unsaved_power_off(home_state_t *home);

/* The key handler of the home window; ctx is its state. */
ret_t home_on_key(void *ctx, event_t *e);
