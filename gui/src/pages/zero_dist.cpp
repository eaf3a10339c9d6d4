// The zero movement panel ("QZ_reticle_zero_dist"): the reticle of the
// current zero slot moved in steps of one pixel of the zoomed picture, its
// shift shown in millimetres at the zero distance and in mils against the
// old zero, whose mark stays on the picture.
#include <math.h>

#include "move_panel.h"
#include "navigator.h"
#include "pages.h"
#include "ui_keys.h"
#include "ui_senders.h"
#include "ui_status.h"
#include "vesk_page.h"
#include "zero_pages.h"

#define ZERO_DIST_CENTRE 639

typedef move_panel_btn_state_t reticle_zero_dist_btn_state_t;

static move_panel_t s_panel;
static int currzero;
static int x_value, y_value;
static float x_offset, y_offset;
static float last_x_offset, last_y_offset;
static int curr_distance;
static float temp_reticle_x, temp_reticle_y;

/* The slot the panel edits: the one current at entry. */
static Qel_Cursor_Zero *zero_slot(void)
{
    int z = currzero >= 0 && currzero < VESK_ZERO_COUNT ? currzero : ui_current_zero();
    return &IR_Cursor.group[ui_current_group()].zero[z];
}

static void set_mm(widget_t *win, const char *name, const char *format, float v)
{
    char text[32];
    tk_snprintf(text, sizeof text, format, fabsf(v) < 0.0001f ? 0.0f : v);
    vesk_page_set_text(win, name, text);
}

static void draw_readouts(widget_t *win)
{
    float k = calc_pix2mm((float)curr_distance, 1);
    float X = (float)x_value + x_offset, Y = (float)y_value + y_offset;
    float Tx = temp_reticle_x, Ty = temp_reticle_y;
    set_mm(win, "label_x_set_mm_value", "%.2f mm", Tx * k);
    set_mm(win, "label_y_set_mm_value", "%.2f mm", -(Ty * k));
    set_mm(win, "label_x_cur_mm_value", "%.2f mm", X * k);
    set_mm(win, "label_y_cur_mm_value", "%.2f mm", -(Y * k));
    set_mm(win, "label_x_diff_mm_value", "%.2f mm", X * k - Tx * k);
    set_mm(win, "label_y_diff_mm_value", "%.2f mm", -(Y * k) + Ty * k);
    set_mm(win, "label_x_diff_mil_value", "%.2f mil", (X - Tx) * calc_pix2mil());
    set_mm(win, "label_y_diff_mil_value", "%.2f mil", -((Y - Ty) * calc_pix2mil()));
}

static void draw_calibration(widget_t *win, float z)
{
    char text[48];
    tk_snprintf(text, sizeof text, ": 1pix=%.2fmm", calc_pix2mm((float)zero_slot()->u16IrCursorDistance, z));
    vesk_page_set_text(win, "label_Calibration_Text_value", text);
}

/* The old zero where the zoom shows it, with the scale at this zoom. */
static void draw_old_zero(widget_t *win)
{
    float z = move_panel_zoom();
    char text[48];
    tk_snprintf(text, sizeof text, "%.4f mm", calc_pix2mm((float)curr_distance, z));
    vesk_page_set_text(win, "label_curr_mm", text);
    tk_snprintf(text, sizeof text, "/%.4f mil", calc_pix2mil() / z);
    vesk_page_set_text(win, "label_curr_mil", text);
    move_panel_place_mark(win, "image_temp_reticle", temp_reticle_x, temp_reticle_y, z, 2);
    draw_calibration(win, z);
}

static void send_position(void)
{
    Qel_Cursor_Zero *slot = zero_slot();
    slot->s8IrCursorCurrentX = (short)(x_value + ZERO_DIST_CENTRE);
    slot->s8IrCursorCurrentY = (short)(y_value + ZERO_DIST_CENTRE);
    GUI_SEND_RETICLE_POSITION_MSG(RETICLE_POSITION);
}

static void send_offset(bool_t x_axis)
{
    Qel_Cursor_Zero *slot = zero_slot();
    if (x_axis) {
        slot->flIrCursorOffsetX = x_offset;
        GUI_SEND_RETICLE_POSITION_MSG(RETICLE_POSITION_OFFSET_X);
    } else {
        slot->flIrCursorOffsetY = y_offset;
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

static void fine_step(widget_t *win, int button, int dx, int dy)
{
    move_panel_stop(&s_panel);
    move_panel_flash(&s_panel, button);
    bool_t x_axis = dx != 0;
    int *value = x_axis ? &x_value : &y_value;
    float *offset = x_axis ? &x_offset : &y_offset;
    float *last = x_axis ? &last_x_offset : &last_y_offset;
    if (move_axis(value, offset, (float)(x_axis ? dx : dy) * zoom_step())) send_position();
    set_b_when_a_zero(*value, offset, *last);
    send_offset(x_axis);
    draw_readouts(win);
    *last = (float)*value + *offset;
}

static void held_step(widget_t *win, int dx, int dy)
{
    bool_t x_axis = dx != 0;
    int *value = x_axis ? &x_value : &y_value;
    float *offset = x_axis ? &x_offset : &y_offset;
    if (move_axis(value, offset, (float)(x_axis ? dx : dy) * zoom_step())) send_position();
    send_offset(x_axis);
    draw_readouts(win);
}

static void centre(widget_t *win)
{
    move_panel_stop(&s_panel);
    move_panel_flash(&s_panel, MOVE_BTN_CENTRE);
    x_value = y_value = 0;
    x_offset = y_offset = 0;
    send_position();
    send_offset(TRUE);
    send_offset(FALSE);
    draw_readouts(win);
}

static ret_t on_zero_dist_key(void *ctx, event_t *e)
{
    widget_t *win = WIDGET(ctx);
    key_event_t *ke = key_event_cast(e);
    if (ke == NULL) return RET_OK;
    move_key_t k = move_panel_key(ke->key);
    switch (k.kind) {
    case MOVE_KEY_FINE:
        fine_step(win, k.button, k.dx, k.dy);
        break;
    case MOVE_KEY_HELD:
        move_panel_hold(&s_panel, k.button, k.dx, k.dy);
        break;
    case MOVE_KEY_RELEASE:
        move_panel_stop(&s_panel);
        move_panel_restore(&s_panel, k.button, "ic_key_bg_def");
        break;
    case MOVE_KEY_CENTRE:
        centre(win);
        break;
    case MOVE_KEY_FREEZE:
        move_panel_toggle_freeze(&s_panel);
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
    draw_old_zero(WIDGET(ctx));
    return RET_OK;
}

static ret_t on_zero_dist_close(void *ctx, event_t *e)
{
    (void)ctx, (void)e;
    move_panel_close(&s_panel);
    return RET_OK;
}

ret_t QZ_reticle_zero_dist_init(widget_t *win, void *ctx)
{
    (void)ctx;
    return_value_if_fail(win != NULL, RET_BAD_PARAMS);
    currzero = ui_current_zero();
    const Qel_Cursor_Zero *slot = zero_slot();
    x_value = slot->s8IrCursorCurrentX - ZERO_DIST_CENTRE;
    y_value = slot->s8IrCursorCurrentY - ZERO_DIST_CENTRE;
    x_offset = slot->flIrCursorOffsetX;
    y_offset = slot->flIrCursorOffsetY;
    curr_distance = slot->u16IrCursorDistance;
    last_x_offset = (float)x_value + x_offset;
    last_y_offset = (float)y_value + y_offset;

    move_panel_leave_pip();
    move_panel_calculation_off();
    move_panel_open(&s_panel, win, held_step);
    draw_calibration(win, (float)ui_ir_zoom_percent() * 0.01f);
    vesk_page_set_visible(win, "label_Calibration_Text_value", FALSE);
    vesk_page_set_visible(win, "label_Calibration_Text", FALSE);

    temp_reticle_x = (float)x_value + x_offset;
    temp_reticle_y = (float)y_value + y_offset;
    static const char *const marks[] = {"ballistics_reticle_white_5px", NULL, "ballistics_reticle_green_5px",
                                        "ballistics_reticle_red_5px", "ballistics_reticle_blue_5px"};
    int colour = stDevStatus.s8ReticleColour;
    const char *mark =
        colour < (int)ARRAY_SIZE(marks) && marks[colour] != NULL ? marks[colour] : "ballistics_reticle_black_5px";
    vesk_page_set_image(win, "image_temp_reticle", mark);

    draw_old_zero(win);
    draw_readouts(win);
    move_panel_bind(win, on_zero_dist_key, on_zero_dist_close);
    static const int zoom_events[] = {UI_EV_IR_ZOOM};
    vesk_page_subscribe(win, zoom_events, ARRAY_SIZE(zoom_events), on_zero_dist_zoom);
    return RET_OK;
}
