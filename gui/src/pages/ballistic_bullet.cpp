// The bullet and barrel of the current group: ballistic coefficient, drag
// model, muzzle velocity, twist rate and direction, bullet length, diameter
// and weight. It returns to whichever page opened it.
#include <stdint.h>

#include "ballistic_limits.h"
#include "ballistic_rows.h"
#include "navigator.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"

int32_t ballistic_bullet_enable;

typedef enum {
    BALLISTIC_BULLET_COEF = 1,
    BALLISTIC_BULLET_MODEL,
    BALLISTIC_BULLET_VELOCITY,
    BALLISTIC_BULLET_TWISTRATE,
    BALLISTIC_BULLET_TWIST_DIR,
    BALLISTIC_BULLET_LENGTH,
    BALLISTIC_BULLET_DIAMETER,
    BALLISTIC_BULLET_WEIGHT,
    BALLISTIC_BULLET_MENU_MIN = BALLISTIC_BULLET_COEF,
    BALLISTIC_BULLET_MENU_MAX = BALLISTIC_BULLET_WEIGHT,
} ballistic_bullet_menu_item_t;

static const char *const model_names[] = {"G1", "G2", "G5", "G6", "G7", "G8", "GI", "GS", "GC"};

static digit_param_t PARAM_BULLET_COEF =
    DIGIT_PLAIN(BALLISTIC_BULLET_COEF, 4, 1, 3, false, 0.05, 2.0, "coef", NULL,
                DIGIT_LIST("label_coef_one", "label_coef_point1", "label_coef_point2", "label_coef_point3"),
                DIGIT_LIST(0, 32, 48, 64));
static digit_param_t PARAM_BULLET_VELOCITY =
    DIGIT_PLAIN(BALLISTIC_BULLET_VELOCITY, 4, 4, 0, false, 100, 1500, "velocity", NULL,
                DIGIT_LIST("label_velocity_four", "label_velocity_three", "label_velocity_two", "label_velocity_one"),
                DIGIT_LIST(0, 16, 32, 48));
/* Two integer and two fraction digits, the widgets named after the stem
 * (label_length_two, label_length_one, label_length_point1 ...). */
#define BULLET_PARAM_2_2(row, lo, hi, stem)                                                                            \
    DIGIT_PLAIN(                                                                                                       \
        row, 4, 2, 2, false, lo, hi, stem, NULL,                                                                       \
        DIGIT_LIST("label_" stem "_two", "label_" stem "_one", "label_" stem "_point1", "label_" stem "_point2"),      \
        DIGIT_LIST(0, 16, 48, 64))
static digit_param_t PARAM_BULLET_TWISTRATE = BULLET_PARAM_2_2(BALLISTIC_BULLET_TWISTRATE, 3.94, 24.02, "twistrate");
static digit_param_t PARAM_BULLET_LENGTH = BULLET_PARAM_2_2(BALLISTIC_BULLET_LENGTH, 5.0, 80.0, "length");
static digit_param_t PARAM_BULLET_DIAMETER = BULLET_PARAM_2_2(BALLISTIC_BULLET_DIAMETER, 2.54, 20.3, "diameter");
static digit_param_t PARAM_BULLET_WEIGHT =
    DIGIT_PLAIN(BALLISTIC_BULLET_WEIGHT, 6, 4, 2, false, 1.55, 3086.47, "weight", NULL,
                DIGIT_LIST("label_weight_four", "label_weight_three", "label_weight_two", "label_weight_one",
                           "label_weight_point1", "label_weight_point2"),
                DIGIT_LIST(0, 16, 32, 48, 80, 96));

/* A number row's double in profile p, its limit and its request: one
 * place that pairs each row with its field. */
typedef struct {
    double *field;
    ui_limit_field limit;
    int index;
    int sub;
} bullet_field_t;

static bullet_field_t bullet_field(Info_ballistics *p, int row)
{
    Info_bullet *b = &p->gun.bullet;
    switch (row) {
    case BALLISTIC_BULLET_COEF:
        return {&b->ballisticsCoef, UI_LIMIT_BULLET_COEF, BALLISTIC_BULLET_INFO, 3};
    case BALLISTIC_BULLET_VELOCITY:
        return {&b->velocity, UI_LIMIT_BULLET_VELOCITY, BALLISTIC_BULLET_INFO, 5};
    case BALLISTIC_BULLET_TWISTRATE:
        return {&p->gun.riflingRange, UI_LIMIT_RIFLING, BALLISTIC_TWIST_INFO, 0};
    case BALLISTIC_BULLET_LENGTH:
        return {&b->length, UI_LIMIT_BULLET_LENGTH, BALLISTIC_BULLET_INFO, 0};
    case BALLISTIC_BULLET_DIAMETER:
        return {&b->diameter, UI_LIMIT_BULLET_DIAMETER, BALLISTIC_BULLET_INFO, 1};
    default: /* the weight row */
        return {&b->weight, UI_LIMIT_BULLET_WEIGHT, BALLISTIC_BULLET_INFO, 2};
    }
}

/* The number rows: each edits one double of the current group's profile. */
static void field_load(int row, double *v1, double *) { *v1 = *bullet_field(ui_current_profile(), row).field; }

static int field_store(int row, double v1, double)
{
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return -1;
    bullet_field_t f = bullet_field(p, row);
    *f.field = ui_limit(f.limit, v1);
    GUI_SEND_BALLISTIC_PARM_MSG(f.index, f.sub);
    return 0;
}

ROW_EDITOR_DECLARE
ROW_EDITOR_NUMBER_KEY(on_key_bullet_coef, BALLISTIC_BULLET_COEF)
ROW_EDITOR_NUMBER_KEY(on_key_bullet_velocity, BALLISTIC_BULLET_VELOCITY)
ROW_EDITOR_NUMBER_KEY(on_key_bullet_twistrate, BALLISTIC_BULLET_TWISTRATE)
ROW_EDITOR_NUMBER_KEY(on_key_bullet_length, BALLISTIC_BULLET_LENGTH)
ROW_EDITOR_NUMBER_KEY(on_key_bullet_diameter, BALLISTIC_BULLET_DIAMETER)
ROW_EDITOR_NUMBER_KEY(on_key_bullet_weight, BALLISTIC_BULLET_WEIGHT)
ROW_EDITOR_NUMBER_UI(update_digit_bullet_item_ui)

static ret_t on_update_bullet_model_ui(widget_t *win, int row, int key)
{
    (void)row;
    (void)key;
    int v = ui_current_profile()->gun.bullet.dragFunction;
    row_editor_set_text(win, "label_model_setval", model_names[v < 0 ? 0 : v > 5 ? 5 : v]);
    return RET_OK;
}

/* The page offers the first six models: G1 to G8, wrapping. */
static ret_t on_key_bullet_model(widget_t *win, int key)
{
    if (key != GUI_KEY_LEFT_S && key != GUI_KEY_RIGHT_S && key != GUI_KEY_MID_S) return RET_OK;
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return RET_OK;
    int v = p->gun.bullet.dragFunction;
    if (key == GUI_KEY_LEFT_S)
        v = v < 1 ? 5 : v - 1;
    else
        v = v >= 5 ? 0 : v + 1;
    p->gun.bullet.dragFunction = v;
    on_update_bullet_model_ui(win, BALLISTIC_BULLET_MODEL, key);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_BULLET_INFO, 4);
    return RET_OK;
}

static ret_t on_update_bullet_twist_dir_ui(widget_t *win, int row, int key)
{
    (void)row;
    (void)key;
    bool right = ui_current_profile()->gun.direction != LEFT;
    row_editor_set_tr_text(win, "label_twist_setval", right ? "Right" : "Left");
    return RET_OK;
}

static ret_t on_key_bullet_twist_dir(widget_t *win, int key)
{
    if (!row_editor_toggle_key(key)) return RET_OK;
    Info_ballistics *p = row_editor_group_profile();
    if (p == NULL) return RET_OK;
    p->gun.direction = p->gun.direction == LEFT ? RIGHT : LEFT;
    on_update_bullet_twist_dir_ui(win, BALLISTIC_BULLET_TWIST_DIR, key);
    GUI_SEND_BALLISTIC_PARM_MSG(BALLISTIC_TWIST_INFO, 1);
    return RET_OK;
}

static const bullet_menu_item_config_t s_bullet_menu_table[] = {
    {BALLISTIC_BULLET_COEF, "label_coef", NULL, &PARAM_BULLET_COEF, on_key_bullet_coef, update_digit_bullet_item_ui,
     field_load, field_store},
    {BALLISTIC_BULLET_MODEL, "label_model", "label_model_setval", NULL, on_key_bullet_model, on_update_bullet_model_ui,
     NULL, NULL},
    {BALLISTIC_BULLET_VELOCITY, "label_velocity", NULL, &PARAM_BULLET_VELOCITY, on_key_bullet_velocity,
     update_digit_bullet_item_ui, field_load, field_store},
    {BALLISTIC_BULLET_TWISTRATE, "label_twistrate", NULL, &PARAM_BULLET_TWISTRATE, on_key_bullet_twistrate,
     update_digit_bullet_item_ui, field_load, field_store},
    {BALLISTIC_BULLET_TWIST_DIR, "label_twist", "label_twist_setval", NULL, on_key_bullet_twist_dir,
     on_update_bullet_twist_dir_ui, NULL, NULL},
    {BALLISTIC_BULLET_LENGTH, "label_length", NULL, &PARAM_BULLET_LENGTH, on_key_bullet_length,
     update_digit_bullet_item_ui, field_load, field_store},
    {BALLISTIC_BULLET_DIAMETER, "label_diameter", NULL, &PARAM_BULLET_DIAMETER, on_key_bullet_diameter,
     update_digit_bullet_item_ui, field_load, field_store},
    {BALLISTIC_BULLET_WEIGHT, "label_weight", NULL, &PARAM_BULLET_WEIGHT, on_key_bullet_weight,
     update_digit_bullet_item_ui, field_load, field_store},
};

static ret_t on_back(widget_t *win)
{
    (void)win;
    row_editor_return(ballistic_bullet_enable == 1 ? "ballistic_menu" : "ballistic_group_info", 2);
    return RET_OK;
}

static const row_editor_t s_editor = {
    s_bullet_menu_table, BALLISTIC_BULLET_MENU_MAX, NULL, 0, NULL, 0, 0, NULL, on_back};

ROW_EDITOR_HANDLERS(s_editor)

ret_t ballistic_bullet_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    return row_editor_open(&s_editor, win, BALLISTIC_BULLET_COEF, on_key_pressed_event, on_window_close);
}
