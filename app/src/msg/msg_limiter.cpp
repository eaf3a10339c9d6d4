#include "vesk_log.h"
#include "vesk_msg.h"
#include "vesk_msgq_client.h"

const char *const vesk_msg_tags[VESK_MSG_DIRECTIONS] = {"ipc.app_to_gui", "ipc.app_to_media"};

static vesk_msgq_window s_windows[VESK_MSG_DIRECTIONS];

uint64_t vesk_msg_clock_ms(void) { return vesk_msgq_clock_ms(); }

int vesk_msg_is_compass(const uint8_t *frame, uint32_t length)
{
    return frame != NULL && length == 13 && frame[VESK_FRAME_OFF_HEAD] == VESK_FRAME_HEAD &&
           frame[VESK_FRAME_OFF_OBJ] == SUB_NOTIFIER_COMPASS && frame[VESK_FRAME_OFF_SUB] == 0;
}

void vesk_msg_note_send_at(vesk_msg_direction direction, uint8_t type, const uint8_t *frame, uint32_t length,
                           int failed, int err, uint64_t now)
{
    if ((unsigned)direction >= VESK_MSG_DIRECTIONS) return;
    /* The compass reports ten times a second whether anyone listens. */
    if (failed && vesk_msg_is_compass(frame, length)) failed = 0;
    vesk_msgq_note_send(&s_windows[direction], vesk_msg_tags[direction], type, length, failed, err, now);
}

void vesk_msg_note_send(vesk_msg_direction direction, uint8_t type, const uint8_t *frame, uint32_t length, int failed,
                        int err)
{
    vesk_msg_note_send_at(direction, type, frame, length, failed, err, vesk_msg_clock_ms());
}
