// The entry to the current group's ballistic data, from the reticle menu:
// the bullet page, the sight height, and the zeroing-weather page.
#include <stdint.h>

#include "ballistic_rows.h"
#include "navigator.h"
#include "pages.h"

typedef enum {
    BALLISTIC_GROUP_BULLET = 1,
    BALLISTIC_GROUP_SCOPE_HEIGHT,
    BALLISTIC_GROUP_ZERO_WEATHER,
    BALLISTIC_GROUP_MENU_MIN = BALLISTIC_GROUP_BULLET,
    BALLISTIC_GROUP_MENU_MAX = BALLISTIC_GROUP_ZERO_WEATHER,
} ballistic_group_info_item_t;

/* The reticle menu's ballistic row. */
#define RETICLE_MENU_BALLISTIC_ROW 6

static digit_param_t PARAM_SCOPE_HEIGHT =
    DIGIT_PLAIN(BALLISTIC_GROUP_SCOPE_HEIGHT, 3, 3, 0, false, 0, 250, "scope", NULL,
                DIGIT_LIST("label_scope_three", "label_scope_two", "label_scope_one"), DIGIT_LIST(32, 48, 64));

ROW_EDITOR_DECLARE
ROW_EDITOR_LINK(on_key_nav_zero_weather, "ballistic_zeroweather")
ROW_EDITOR_NUMBER_KEY(on_key_scope, BALLISTIC_GROUP_SCOPE_HEIGHT)
ROW_EDITOR_NUMBER_UI(update_digit_group_info_item_ui)

static ret_t on_key_nav_bullet(widget_t *win, int key)
{
    (void)win;
    ballistic_bullet_link(key, 0);
    return RET_OK;
}

static const group_info_item_config_t s_group_info_item_table[] = {
    {BALLISTIC_GROUP_BULLET, "label_bullet", "label_arrow_bullet", NULL, on_key_nav_bullet, row_editor_draw_nothing,
     NULL, NULL},
    {BALLISTIC_GROUP_SCOPE_HEIGHT, "label_scope", NULL, &PARAM_SCOPE_HEIGHT, on_key_scope,
     update_digit_group_info_item_ui, ballistic_sight_height_load, ballistic_sight_height_store},
    {BALLISTIC_GROUP_ZERO_WEATHER, "label_zero_weather", "label_arrow_zero_weather", NULL, on_key_nav_zero_weather,
     row_editor_draw_nothing, NULL, NULL},
};

static ret_t on_back(widget_t *win)
{
    (void)win;
    navigator_back();
    reticle_menu_index = RETICLE_MENU_BALLISTIC_ROW;
    navigator_to("reticle_menu");
    return RET_OK;
}

static const row_editor_t s_editor = {s_group_info_item_table,
                                      BALLISTIC_GROUP_MENU_MAX,
                                      NULL,
                                      0,
                                      NULL,
                                      0,
                                      ROW_EDITOR_RIGHT_ENTERS /* ']' enters the sight height too */,
                                      NULL,
                                      on_back};

ROW_EDITOR_HANDLERS(s_editor)

ret_t ballistic_group_info_init(widget_t *win, void *ctx)
{
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    intptr_t c = (intptr_t)ctx;
    int row = c == 3 ? BALLISTIC_GROUP_ZERO_WEATHER : c == 4 ? BALLISTIC_GROUP_SCOPE_HEIGHT : BALLISTIC_GROUP_BULLET;
    return row_editor_open(&s_editor, win, row, on_key_pressed_event, on_window_close);
}
