// The list menu: a vertical list of rows worked with up, down, left, right,
// OK, back and home. Each menu keeps its own row table and draws itself;
// this module gives them one key handling, one back rule and the row
// conventions (link, value, switch rows), so every list menu of the scope
// behaves alike.
#pragma once

#include <stdint.h>

#include "awtk.h"

/* Label and value styles of a row. */
#define LIST_MENU_LABEL_SEL "00E6BB_28_Medium_left"
#define LIST_MENU_LABEL_DEF "FFFFFF_28_Regular_left"
#define LIST_MENU_VALUE_SEL "00E6BB_28_Medium_right"
#define LIST_MENU_VALUE_SEL_REGULAR "00E6BB_28_Regular_right"
#define LIST_MENU_VALUE_DEF "FFFFFF_28_Regular_right"

typedef struct _list_menu_t {
    /* The selected row, 1-based, in the menu's own global: exactly one of
     * the two is set. */
    uint8_t *index_u8;
    int32_t *index_i32;
    /* Rows the up and down keys wrap over (1..count). */
    uint32_t (*row_count)(void);
    /* ',' ']' '[' on the selected row. */
    void (*on_row_key)(widget_t *win, uint32_t key);
    /* Redraws the whole menu for the selected row. */
    void (*draw)(widget_t *win);
    /* Redraw after the row's key handler (the settings menu's handlers
     * rewrite their own value). */
    bool_t redraw_after_row_key;
    /* Keys beyond the common table; RET_OK when taken. May be NULL. */
    ret_t (*on_other_key)(widget_t *win, uint32_t key);
    /* Called before the common table; RET_OK when it took the key (an
     * editor inside a row). May be NULL. */
    ret_t (*on_key_first)(widget_t *win, uint32_t key);
    /* Back ('.'): the parent menu to open again after closing this one,
     * with parent_ctx as its context; NULL for a menu whose back only
     * closes it. */
    const char *parent;
    intptr_t parent_ctx;
    /* Runs before '1' goes home (an editor commits). May be NULL. */
    void (*before_home)(widget_t *win);
} list_menu_t;

/* Binds the key-down handler of menu (a static descriptor) to the window. */
ret_t list_menu_bind(widget_t *win, const list_menu_t *menu);
/* The selected row. */
int32_t list_menu_index(const list_menu_t *menu);
void list_menu_set_index(const list_menu_t *menu, int32_t index);
/* The common reaction to one key (what the bound handler runs). */
ret_t list_menu_on_key(widget_t *win, const list_menu_t *menu, uint32_t key);

/* Row conventions. A link row acts on ',' and ']' only. */
bool_t list_menu_is_link_key(uint32_t key);
/* Closes the menu and opens child (with ctx): the child replaces it. */
void list_menu_replace(const char *child, intptr_t ctx);
/* A value row's step: '[' down, ']' and ',' up, wrapping over min..max. */
int list_menu_step(int value, int minimum, int maximum, uint32_t key);
/* "ON" or "OFF" through the locale. */
const char *list_menu_switch_text(int on);
