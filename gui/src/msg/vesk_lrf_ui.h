// The GUI's view of the rangefinder: the last state, result and settings
// reports, and the settings and accept requests.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef struct {
    uint8_t state;
    uint8_t reason;
    uint8_t has_result;
    uint8_t status;
    uint8_t session;
    uint8_t target;
    uint8_t processing;
    uint8_t count;
    uint32_t dm[3];
    uint8_t nib[3];
    uint8_t set_target;
    uint8_t set_processing;
    uint16_t min_m;
    uint16_t max_m;
    uint16_t eff_min_m;
    uint16_t eff_max_m;
    uint8_t config_status;
} vesk_lrf_ui_state;

extern vesk_lrf_ui_state vesk_lrf_ui;

/* Store one report: 0 when stored, -1 when rejected. */
int vesk_lrf_ui_on_state(const uint8_t *frame, int length);
int vesk_lrf_ui_on_result(const uint8_t *frame, int length);
int vesk_lrf_ui_on_settings(const uint8_t *frame, int length);

/* key 0 query, 1 target mode, 2 processing, 3 minimum m, 4 maximum m. */
int vesk_lrf_ui_send_settings(int key, int value);
int vesk_lrf_ui_send_query(void);
int vesk_lrf_ui_send_accept(int index, uint32_t decimetres);
/* "123.4 m" for 1234 decimetres. */
void vesk_lrf_ui_format_dm(uint32_t decimetres, char *buffer, size_t size);
