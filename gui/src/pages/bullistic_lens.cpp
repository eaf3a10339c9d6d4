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

/* Both axes: sign, two integer and two fraction digits, the widgets named
 * after the axis (label_vert_sign ... label_vert_point2). */
#define LENS_OFFSET_PARAM(row, stem)                                                                                   \
    DIGIT_PLAIN(row, 5, 2, 2, true, -99.99, 99.99, stem, NULL,                                                         \
                DIGIT_LIST("label_" stem "_sign", "label_" stem "_two", "label_" stem "_one", "label_" stem "_point1", \
                           "label_" stem "_point2"),                                                                   \
                DIGIT_LIST(0, 16, 32, 64, 80))
static digit_param_t PARAM_VERT = LENS_OFFSET_PARAM(BULLISTIC_LENS_VERTICAL, "vert");
static digit_param_t PARAM_HORI = LENS_OFFSET_PARAM(BULLISTIC_LENS_HORIZONTAL, "hori");

static bool in_mrad(const Info_bullet *b) { return b->zeroOffsetUnit != MOA; }

/* The largest MRAD offset whose MOA twin stays inside the MOA limit, to
 * the hundredth the page shows. */
static double mrad_limit(void) { return floor(ui_limit_max(UI_LIMIT_ZERO_OFFSET_MOA) / UI_MOA_PER_MRAD * 100) / 100; }

/* One axis of the offset: its MOA and MRAD fields and their requests. */
typedef struct {
    double Info_bullet::*moa;
    double Info_bullet::*mrad;
    int moa_item, mrad_item;
} lens_axis_t;

static const lens_axis_t vertical_axis = {&Info_bullet::zeroOffsetVerticalMOA, &Info_bullet::zeroOffsetVerticalMRAD, 5,
                                          7};
static const lens_axis_t horizontal_axis = {&Info_bullet::zeroOffsetHorizontalMOA,
                                            &Info_bullet::zeroOffsetHorizontalMRAD, 6, 8};

/* Rows 2 and 3: the vertical and the horizontal axis. */
static const lens_axis_t *axis_of(int row)
{
    return row == BULLISTIC_LENS_VERTICAL ? &vertical_axis : &horizontal_axis;
}

static void offset_load(int row, double *v1, double *)
{
    const lens_axis_t *axis = axis_of(row);
    const Info_bullet *b = &ui_current_profile()->gun.bullet;
    *v1 = in_mrad(b) ? b->*axis->mrad : b->*axis->moa;
}

/* The typed value is kept in the unit shown and its conversion in the
 * other, so the pair agrees whichever unit is later put in force. */
static int offset_store(int row, double v, double)
{
    const lens_axis_t *axis = axis_of(row);
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return -1;
    Info_bullet *b = &p->gun.bullet;
    double *moa = &(b->*axis->moa);
    double *mrad = &(b->*axis->mrad);
    if (in_mrad(b)) {
        double lim = mrad_limit();
        *mrad = v < -lim ? -lim : v > lim ? lim : v;
        *moa = ui_limit(UI_LIMIT_ZERO_OFFSET_MOA, *mrad * UI_MOA_PER_MRAD);
    } else {
        *moa = ui_limit(UI_LIMIT_ZERO_OFFSET_MOA, v);
        *mrad = *moa / UI_MOA_PER_MRAD;
    }
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_ZEROWEATHER_LENSOFFSET, axis->moa_item);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_ZEROWEATHER_LENSOFFSET, axis->mrad_item);
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
     offset_load, offset_store},
    {BULLISTIC_LENS_HORIZONTAL, "label_hori", NULL, &PARAM_HORI, on_key_lens_horizontal, update_digit_lens_item_ui,
     offset_load, offset_store},
};

static const row_editor_t s_editor = {s_lens_menu_table,
                                      BULLISTIC_LENS_MENU_MAX,
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
