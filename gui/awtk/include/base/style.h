/* Style property names. A style lives in the theme ("res/styles/<theme>.xml",
 * one element per widget type holding <style name=...> elements with one
 * element per state) or is set per widget with widget_set_style_*. */
#pragma once

#define STYLE_ID_BG_COLOR "bg_color"
#define STYLE_ID_FG_COLOR "fg_color"
#define STYLE_ID_FONT_NAME "font_name"
#define STYLE_ID_FONT_SIZE "font_size"
#define STYLE_ID_FONT_STYLE "font_style"
#define STYLE_ID_TEXT_COLOR "text_color"
#define STYLE_ID_TEXT_ALIGN_H "text_align_h"
#define STYLE_ID_TEXT_ALIGN_V "text_align_v"
#define STYLE_ID_BORDER_COLOR "border_color"
#define STYLE_ID_BORDER_WIDTH "border_width"
#define STYLE_ID_BORDER "border"
#define STYLE_ID_BG_IMAGE "bg_image"
#define STYLE_ID_BG_IMAGE_DRAW_TYPE "bg_image_draw_type"
#define STYLE_ID_FG_IMAGE "fg_image"
#define STYLE_ID_FG_IMAGE_DRAW_TYPE "fg_image_draw_type"
#define STYLE_ID_ICON "icon"
#define STYLE_ID_SPACER "spacer"
#define STYLE_ID_MARGIN "margin"
#define STYLE_ID_MARGIN_LEFT "margin_left"
#define STYLE_ID_MARGIN_RIGHT "margin_right"
#define STYLE_ID_MARGIN_TOP "margin_top"
#define STYLE_ID_MARGIN_BOTTOM "margin_bottom"
#define STYLE_ID_ROUND_RADIUS "round_radius"
