// The zero offset of the current group: its unit (MOA or MRAD) and the
// vertical and horizontal offsets in that unit.
#include <math.h>
#include <stdint.h>

#include "ballistic_limits.h"
#include "ballistic_rows.h"
#include "navigator.h"
#include "pages.h"
#include "ui_senders.h"
#include "ui_status.h"

typedef enum {
    BULLISTIC_LENS_UNIT = 1,
    BULLISTIC_LENS_VERTICAL,
    BULLISTIC_LENS_HORIZONTAL,
    BULLISTIC_LENS_MENU_MIN = BULLISTIC_LENS_UNIT,
    BULLISTIC_LENS_MENU_MAX = BULLISTIC_LENS_HORIZONTAL,
} bullistic_lens_menu_item_t;

static int32_t QZ_reticle_zero_child_index = BULLISTIC_LENS_MENU_MIN;
static int32_t edit_mode;
static int32_t edit_index;

static digit_param_t PARAM_VERT = DIGIT_PLAIN(
    BULLISTIC_LENS_VERTICAL, 5, 2, 2, true, -99.99, 99.99, "vert", NULL,
    DIGIT_LIST("label_vert_sign", "label_vert_two", "label_vert_one", "label_vert_point1", "label_vert_point2"),
    DIGIT_LIST(0, 16, 32, 64, 80));
static digit_param_t PARAM_HORI = DIGIT_PLAIN(
    BULLISTIC_LENS_HORIZONTAL, 5, 2, 2, true, -99.99, 99.99, "hori", NULL,
    DIGIT_LIST("label_hori_sign", "label_hori_two", "label_hori_one", "label_hori_point1", "label_hori_point2"),
    DIGIT_LIST(0, 16, 32, 64, 80));

static bool in_mrad(const Info_bullet *b) { return b->zeroOffsetUnit != MOA; }

/* The largest MRAD offset whose MOA twin stays inside the MOA limit, to
 * the hundredth the page shows. */
static double mrad_limit(void) { return floor(ui_limit_max(UI_LIMIT_ZERO_OFFSET_MOA) / UI_MOA_PER_MRAD * 100) / 100; }

static void vertical_load(double *v1, double *v2)
{
    (void)v2;
    const Info_bullet *b = &ui_current_profile()->gun.bullet;
    *v1 = in_mrad(b) ? b->zeroOffsetVerticalMRAD : b->zeroOffsetVerticalMOA;
}

static void horizontal_load(double *v1, double *v2)
{
    (void)v2;
    const Info_bullet *b = &ui_current_profile()->gun.bullet;
    *v1 = in_mrad(b) ? b->zeroOffsetHorizontalMRAD : b->zeroOffsetHorizontalMOA;
}

/* The typed value is kept in the unit shown and its conversion in the
 * other, so the pair agrees whichever unit is later put in force. */
static void store_pair(const Info_bullet *b, double v, double *moa, double *mrad)
{
    if (in_mrad(b)) {
        double lim = mrad_limit();
        *mrad = v < -lim ? -lim : v > lim ? lim : v;
        *moa = ui_limit(UI_LIMIT_ZERO_OFFSET_MOA, *mrad * UI_MOA_PER_MRAD);
    } else {
        *moa = ui_limit(UI_LIMIT_ZERO_OFFSET_MOA, v);
        *mrad = *moa / UI_MOA_PER_MRAD;
    }
}

static int vertical_store(double v1, double v2)
{
    (void)v2;
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return -1;
    Info_bullet *b = &p->gun.bullet;
    store_pair(b, v1, &b->zeroOffsetVerticalMOA, &b->zeroOffsetVerticalMRAD);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_ZEROWEATHER_LENSOFFSET, 5);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_ZEROWEATHER_LENSOFFSET, 7);
    return 0;
}

static int horizontal_store(double v1, double v2)
{
    (void)v2;
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return -1;
    Info_bullet *b = &p->gun.bullet;
    store_pair(b, v1, &b->zeroOffsetHorizontalMOA, &b->zeroOffsetHorizontalMRAD);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_ZEROWEATHER_LENSOFFSET, 6);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_ZEROWEATHER_LENSOFFSET, 8);
    return 0;
}

ROW_EDITOR_DECLARE
ROW_EDITOR_NUMBER_KEY(on_key_lens_vertical, BULLISTIC_LENS_VERTICAL)
ROW_EDITOR_NUMBER_KEY(on_key_lens_horizontal, BULLISTIC_LENS_HORIZONTAL)
ROW_EDITOR_NUMBER_UI(update_digit_lens_item_ui)

static ret_t on_update_lens_unit_ui(widget_t *win, int row, int key)
{
    (void)row;
    (void)key;
    const char *unit = in_mrad(&ui_current_profile()->gun.bullet) ? "MRAD" : "MOA";
    row_editor_set_text(win, "label_unit_sel", unit);
    row_editor_set_text(win, "label_vert_unit", unit);
    row_editor_set_text(win, "label_hori_unit", unit);
    return RET_OK;
}

static ret_t on_key_lens_unit(widget_t *win, int key)
{
    if (!row_editor_toggle_key(key)) return RET_OK;
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return RET_OK;
    p->gun.bullet.zeroOffsetUnit = p->gun.bullet.zeroOffsetUnit == MOA ? MRAD : MOA;
    on_update_lens_unit_ui(win, BULLISTIC_LENS_UNIT, key);
    for (int row = BULLISTIC_LENS_VERTICAL; row <= BULLISTIC_LENS_HORIZONTAL; row++) {
        const row_item_config_t *item = row_editor_row(this_editor(), row);
        row_editor_load_draft(item);
        item->on_update_ui(win, row, key);
    }
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_ZEROWEATHER_LENSOFFSET, 4);
    return RET_OK;
}

static const lens_menu_item_config_t s_lens_menu_table[] = {
    {BULLISTIC_LENS_UNIT, "label_lens_unit", "label_unit_sel", NULL, on_key_lens_unit, on_update_lens_unit_ui, NULL,
     NULL},
    {BULLISTIC_LENS_VERTICAL, "label_vert", NULL, &PARAM_VERT, on_key_lens_vertical, update_digit_lens_item_ui,
     vertical_load, vertical_store},
    {BULLISTIC_LENS_HORIZONTAL, "label_hori", NULL, &PARAM_HORI, on_key_lens_horizontal, update_digit_lens_item_ui,
     horizontal_load, horizontal_store},
};

static const row_editor_t s_editor = {s_lens_menu_table,
                                      BULLISTIC_LENS_MENU_MAX,
                                      &QZ_reticle_zero_child_index,
                                      &edit_mode,
                                      &edit_index,
                                      "ballistic_menu",
                                      4,
                                      NULL,
                                      0,
                                      ROW_EDITOR_DOT_COMMITS_ONLY | ROW_EDITOR_NO_SAVE};

ROW_EDITOR_HANDLERS(s_editor)

ret_t bullistic_lens_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    return row_editor_open(&s_editor, win, BULLISTIC_LENS_UNIT, on_key_pressed_event, on_window_close);
}
