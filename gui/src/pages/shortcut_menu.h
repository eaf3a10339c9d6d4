// The quick image menu ("QZ_shortcut_menu"), opened with OK from the home
// page: six image settings of the thermal picture and the screen, each sent
// to the device as soon as it changes.
#pragma once

#include "awtk.h"

#define SHORTCUT_MENU_ROWS 6

/* The row's value; rows outside 1..6 read 0 and write nothing. */
int get_menu_value(int row);
void set_menu_value(int row, int value);
/* Copies the row's value into its mirror field and sends its request. */
void send_menu_command(int row);
/* Draws every row and the title. */
void on_menu_display(widget_t *win);
