// The zero movement panel ("QZ_reticle_zero_dist"): the reticle of the
// current zero slot moved in steps of one pixel of the zoomed picture, its
// shift shown in millimetres at the zero distance and in mils against the
// old zero, whose mark stays on the picture.
#include <math.h>

#include "move_panel.h"
#include "navigator.h"
#include "page_state.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"
#include "zero_pages.h"

#define ZERO_DIST_CENTRE 639

typedef move_panel_btn_state_t reticle_zero_dist_btn_state_t;

/* The panel's working state, its window's. */
typedef struct {
    move_panel_t panel;
    int currzero;
    int x_value, y_value;
    float x_offset, y_offset;
    float last_x_offset, last_y_offset;
    int curr_distance;
    float temp_reticle_x, temp_reticle_y;
} zero_dist_page_t;
#define ZERO_DIST_PAGE_KEY "zero_dist_page"

static zero_dist_page_t *zero_dist_of(widget_t *win)
{
    return page_state_of<zero_dist_page_t>(win, ZERO_DIST_PAGE_KEY);
}

/* The slot the panel edits: the one current at entry. */
static Qel_Cursor_Zero *zero_slot(const zero_dist_page_t *zd)
{
    int z = zd->currzero >= 0 && zd->currzero < VESK_ZERO_COUNT ? zd->currzero : ui_current_zero();
    return &IR_Cursor.group[ui_current_group()].zero[z];
}

static void set_mm(widget_t *win, const char *name, const char *format, float v)
{
    char text[32];
    tk_snprintf(text, sizeof text, format, fabsf(v) < 0.0001f ? 0.0f : v);
    vesk_page_set_text(win, name, text);
}

static void draw_readouts(widget_t *win, const zero_dist_page_t *zd)
{
    float k = calc_pix2mm((float)zd->curr_distance, 1);
    float X = (float)zd->x_value + zd->x_offset, Y = (float)zd->y_value + zd->y_offset;
    float Tx = zd->temp_reticle_x, Ty = zd->temp_reticle_y;
    set_mm(win, "label_x_set_mm_value", "%.2f mm", Tx * k);
    set_mm(win, "label_y_set_mm_value", "%.2f mm", -(Ty * k));
    set_mm(win, "label_x_cur_mm_value", "%.2f mm", X * k);
    set_mm(win, "label_y_cur_mm_value", "%.2f mm", -(Y * k));
    set_mm(win, "label_x_diff_mm_value", "%.2f mm", X * k - Tx * k);
    set_mm(win, "label_y_diff_mm_value", "%.2f mm", -(Y * k) + Ty * k);
    set_mm(win, "label_x_diff_mil_value", "%.2f mil", (X - Tx) * calc_pix2mil());
    set_mm(win, "label_y_diff_mil_value", "%.2f mil", -((Y - Ty) * calc_pix2mil()));
}

static void draw_calibration(widget_t *win, const zero_dist_page_t *zd, float z)
{
    char text[48];
    tk_snprintf(text, sizeof text, ": 1pix=%.2fmm", calc_pix2mm((float)zero_slot(zd)->u16IrCursorDistance, z));
    vesk_page_set_text(win, "label_Calibration_Text_value", text);
}

/* The old zero where the zoom shows it, with the scale at this zoom. */
static void draw_old_zero(widget_t *win, const zero_dist_page_t *zd)
{
    float z = move_panel_zoom();
    char text[48];
    tk_snprintf(text, sizeof text, "%.4f mm", calc_pix2mm((float)zd->curr_distance, z));
    vesk_page_set_text(win, "label_curr_mm", text);
    tk_snprintf(text, sizeof text, "/%.4f mil", calc_pix2mil() / z);
    vesk_page_set_text(win, "label_curr_mil", text);
    move_panel_place_mark(win, "image_temp_reticle", zd->temp_reticle_x, zd->temp_reticle_y, z, 2);
    draw_calibration(win, zd, z);
}

static void send_position(const zero_dist_page_t *zd)
{
    Qel_Cursor_Zero *slot = zero_slot(zd);
    slot->s8IrCursorCurrentX = (short)(zd->x_value + ZERO_DIST_CENTRE);
    slot->s8IrCursorCurrentY = (short)(zd->y_value + ZERO_DIST_CENTRE);
    GUI_SEND_RETICLE_POSITION_MSG(RETICLE_POSITION);
}

static void send_offset(const zero_dist_page_t *zd, bool_t x_axis)
{
    Qel_Cursor_Zero *slot = zero_slot(zd);
    if (x_axis) {
        slot->flIrCursorOffsetX = zd->x_offset;
        GUI_SEND_RETICLE_POSITION_MSG(RETICLE_POSITION_OFFSET_X);
    } else {
        slot->flIrCursorOffsetY = zd->y_offset;
        GUI_SEND_RETICLE_POSITION_MSG(RETICLE_POSITION_OFFSET_Y);
    }
}

/* One pixel of the zoomed picture, in screen pixels. */
static float zoom_step(void) { return 100.0f / (float)ui_ir_zoom_percent(); }

/* Moves one axis by delta pixels: the whole part goes into the position
 * (sent when it changes), the total stays within the panel's limits. */
static bool_t move_axis(int *value, float *offset, float delta)
{
    *offset += delta;
    int moved = splitFloat(offset, value);
    clamp_offset(value, offset);
    return moved != 0;
}

static void fine_step(widget_t *win, zero_dist_page_t *zd, int button, int dx, int dy)
{
    move_panel_stop(&zd->panel);
    move_panel_flash(&zd->panel, button);
    bool_t x_axis = dx != 0;
    int *value = x_axis ? &zd->x_value : &zd->y_value;
    float *offset = x_axis ? &zd->x_offset : &zd->y_offset;
    float *last = x_axis ? &zd->last_x_offset : &zd->last_y_offset;
    if (move_axis(value, offset, (float)(x_axis ? dx : dy) * zoom_step())) send_position(zd);
    set_b_when_a_zero(*value, offset, *last);
    send_offset(zd, x_axis);
    draw_readouts(win, zd);
    *last = (float)*value + *offset;
}

static void held_step(widget_t *win, int dx, int dy)
{
    zero_dist_page_t *zd = zero_dist_of(win);
    if (zd == NULL) return;
    bool_t x_axis = dx != 0;
    int *value = x_axis ? &zd->x_value : &zd->y_value;
    float *offset = x_axis ? &zd->x_offset : &zd->y_offset;
    if (move_axis(value, offset, (float)(x_axis ? dx : dy) * zoom_step())) send_position(zd);
    send_offset(zd, x_axis);
    draw_readouts(win, zd);
}

static void centre(widget_t *win, zero_dist_page_t *zd)
{
    move_panel_stop(&zd->panel);
    move_panel_flash(&zd->panel, MOVE_BTN_CENTRE);
    zd->x_value = zd->y_value = 0;
    zd->x_offset = zd->y_offset = 0;
    send_position(zd);
    send_offset(zd, TRUE);
    send_offset(zd, FALSE);
    draw_readouts(win, zd);
}

static ret_t on_zero_dist_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *ke = key_event_cast(e);
    zero_dist_page_t *zd = zero_dist_of(win);
    if (ke == NULL || zd == NULL) return RET_OK;
    move_key_t k = move_panel_key(ke->key);
    switch (k.kind) {
    case MOVE_KEY_FINE:
        fine_step(win, zd, k.button, k.dx, k.dy);
        break;
    case MOVE_KEY_HELD:
        move_panel_hold(&zd->panel, k.button, k.dx, k.dy);
        break;
    case MOVE_KEY_RELEASE:
        move_panel_stop(&zd->panel);
        move_panel_restore(&zd->panel, k.button, "ic_key_bg_def");
        break;
    case MOVE_KEY_CENTRE:
        centre(win, zd);
        break;
    case MOVE_KEY_FREEZE:
        move_panel_toggle_freeze(&zd->panel);
        break;
    default:
        move_panel_leave(k, "QZ_reticle_zero_child", RETICLE_ZERO_CHILD_MOVEMENT);
        break;
    }
    return RET_OK;
}

static ret_t on_zero_dist_zoom(void *ctx, event_t *e)
{
    (void)e;
    widget_t *win = WIDGET(ctx);
    const zero_dist_page_t *zd = zero_dist_of(win);
    if (zd != NULL) draw_old_zero(win, zd);
    return RET_OK;
}

static ret_t on_zero_dist_close(void *ctx, event_t *e)
{
    (void)e;
    zero_dist_page_t *zd = zero_dist_of(WIDGET(ctx));
    if (zd != NULL) move_panel_close(&zd->panel);
    return RET_OK;
}

ret_t QZ_reticle_zero_dist_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    zero_dist_page_t *zd = page_state_new<zero_dist_page_t>(win, ZERO_DIST_PAGE_KEY);
    zd->currzero = ui_current_zero();
    const Qel_Cursor_Zero *slot = zero_slot(zd);
    zd->x_value = slot->s8IrCursorCurrentX - ZERO_DIST_CENTRE;
    zd->y_value = slot->s8IrCursorCurrentY - ZERO_DIST_CENTRE;
    zd->x_offset = slot->flIrCursorOffsetX;
    zd->y_offset = slot->flIrCursorOffsetY;
    zd->curr_distance = slot->u16IrCursorDistance;
    zd->last_x_offset = (float)zd->x_value + zd->x_offset;
    zd->last_y_offset = (float)zd->y_value + zd->y_offset;

    move_panel_leave_pip();
    move_panel_calculation_off();
    move_panel_open(&zd->panel, win, held_step);
    draw_calibration(win, zd, (float)ui_ir_zoom_percent() * 0.01f);
    vesk_page_set_visible(win, "label_Calibration_Text_value", FALSE);
    vesk_page_set_visible(win, "label_Calibration_Text", FALSE);

    zd->temp_reticle_x = (float)zd->x_value + zd->x_offset;
    zd->temp_reticle_y = (float)zd->y_value + zd->y_offset;
    static const char *const marks[] = {"ballistics_reticle_white_5px", NULL, "ballistics_reticle_green_5px",
                                        "ballistics_reticle_red_5px", "ballistics_reticle_blue_5px"};
    int colour = stDevStatus.s8ReticleColour;
    const char *mark =
        colour < (int)ARRAY_SIZE(marks) && marks[colour] != NULL ? marks[colour] : "ballistics_reticle_black_5px";
    vesk_page_set_image(win, "image_temp_reticle", mark);

    draw_old_zero(win, zd);
    draw_readouts(win, zd);
    move_panel_bind(win, on_zero_dist_key, on_zero_dist_close);
    static const int zoom_events[] = {UI_EV_IR_ZOOM};
    vesk_page_subscribe(win, zoom_events, ARRAY_SIZE(zoom_events), on_zero_dist_zoom);
    return RET_OK;
}
