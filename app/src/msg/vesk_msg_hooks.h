// The calls the boot push and the command router make into modules that
// register themselves at start-up (thermal-core link, lifecycle, debug
// switch, dynamic coefficient). The start-up code fills the table once
// before the queue client starts. An empty entry counts as "not ready" for
// the link checks, "sound" for the boot state and "not consumed" for the
// frame handlers, and is skipped otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef struct {
    int (*vesk_core_uart_ready)(void);    /* thermal-core line configured */
    int (*vesk_core_version_ready)(void); /* the core's version text is in */
    void (*vesk_core_self_check)(void);   /* start the thermal-core self-check */
    void (*vesk_core_shutter_close)(void);
    void (*vesk_core_save_config)(void); /* the core's save-configuration command */
    void (*vesk_core_set_scene)(int scene);
    int (*vesk_boot_state_publish)(void);                           /* sends the boot outcome; 1 when sound */
    void (*vesk_lifecycle_request_kind)(int kind);                  /* a zeroed request of this kind */
    int (*vesk_debug_handle_ui)(const uint8_t *frame, size_t size); /* 1: consumed */
    void (*vesk_debug_publish)(void);
    int (*vesk_dynamic_bc_handle_ui)(const uint8_t *frame, size_t size); /* 1: consumed */
    void (*vesk_dynamic_bc_publish)(void);
} vesk_msg_hooks;

void vesk_msg_set_hooks(const vesk_msg_hooks *hooks);
const vesk_msg_hooks *vesk_msg_get_hooks(void);
