#include "vesk_lrf_ui.h"

#include <stdio.h>

#include "qel_msg.h"
#include "ui_senders.h"

vesk_lrf_ui_state vesk_lrf_ui;

#define LRF_CMD_SETTINGS 8
#define LRF_CMD_ACCEPT 9

/* Frame sizes that carry every payload byte a report reads (bytes 6..7,
 * 6..21, 6..16) besides the checksum and trailer: anything shorter would
 * read those as data. */
#define LRF_STATE_MIN (8 + 3)
#define LRF_RESULT_MIN (22 + 3)
#define LRF_SETTINGS_MIN (17 + 3)

static uint16_t be16(const uint8_t *p) { return (uint16_t)((p[0] << 8) | p[1]); }

static void put_be16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

int vesk_lrf_ui_on_state(const uint8_t *frame, int length)
{
    if (frame == NULL || length < LRF_STATE_MIN) return -1;
    vesk_lrf_ui.state = frame[6];
    vesk_lrf_ui.reason = frame[7];
    return 0;
}

int vesk_lrf_ui_on_result(const uint8_t *frame, int length)
{
    if (frame == NULL || length < LRF_RESULT_MIN) return -1;
    vesk_lrf_ui.has_result = 1;
    vesk_lrf_ui.status = frame[6];
    vesk_lrf_ui.session = frame[7];
    vesk_lrf_ui.target = frame[8];
    vesk_lrf_ui.processing = frame[9];
    vesk_lrf_ui.count = frame[10];
    for (int i = 0; i < 3; i++) {
        const uint8_t *d = frame + 11 + 3 * i;
        vesk_lrf_ui.dm[i] = (uint32_t)be16(d) * 10 + d[2];
    }
    vesk_lrf_ui.nib[0] = frame[20] & 0x0F;
    vesk_lrf_ui.nib[1] = frame[20] >> 4;
    vesk_lrf_ui.nib[2] = frame[21];
    return 0;
}

int vesk_lrf_ui_on_settings(const uint8_t *frame, int length)
{
    if (frame == NULL || length < LRF_SETTINGS_MIN) return -1;
    vesk_lrf_ui.set_target = frame[6];
    vesk_lrf_ui.set_processing = frame[7];
    vesk_lrf_ui.min_m = be16(frame + 8);
    vesk_lrf_ui.max_m = be16(frame + 10);
    vesk_lrf_ui.eff_min_m = be16(frame + 12);
    vesk_lrf_ui.eff_max_m = be16(frame + 14);
    vesk_lrf_ui.config_status = frame[16];
    return 0;
}

int vesk_lrf_ui_send_settings(int key, int value)
{
    uint8_t p[4] = {(uint8_t)key, 0, 0, 0};
    if (key == 3 || key == 4) {
        put_be16(p + 1, (uint16_t)value);
    } else if (key == 1 || key == 2) {
        p[1] = (uint8_t)value;
    }
    return VeskLrfHandlerToApp(MSGQ_TYPE_DISTANCE, LRF_CMD_SETTINGS, VESK_FRAME_NONE, p);
}

int vesk_lrf_ui_send_query(void) { return vesk_lrf_ui_send_settings(0, 0); }

int vesk_lrf_ui_send_accept(int index, uint32_t decimetres)
{
    uint8_t p[4];
    p[0] = (uint8_t)index;
    put_be16(p + 1, (uint16_t)(decimetres / 10));
    p[3] = (uint8_t)(decimetres % 10);
    return VeskLrfHandlerToApp(MSGQ_TYPE_DISTANCE, LRF_CMD_ACCEPT, VESK_FRAME_NONE, p);
}

void vesk_lrf_ui_format_dm(uint32_t decimetres, char *buffer, size_t size)
{
    if (buffer == NULL || size == 0) return;
    snprintf(buffer, size, "%u.%u m", decimetres / 10, decimetres % 10);
}
