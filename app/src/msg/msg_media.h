// Frames that keep the media process's copy of the image, reticle and
// recording settings in step, the boot parameter push to the GUI and the
// reticle position senders.
#pragma once

#include <stdint.h>

#include "boardcast.h"
#include "vesk_msg_hooks.h"
#include "vesk_records.h"

/* Builders. Each sends one frame and returns the sender's result (1, or -1
 * when nothing was sent); the ones that go to a bus return the post's (0,
 * or -1). */
int ir_MsgTextSend(event_handle *bus, uint8_t sub, uint8_t item, uint8_t a, uint8_t b); /* app bus, event 1 */
int pip_MsgTextSend(event_handle *bus, uint8_t sub, uint8_t item, uint8_t a, uint8_t b);
int reticle_MsgTextSend(event_handle *bus, uint8_t sub, uint8_t item, uint8_t a, uint8_t b);
int ballistics_reticle_color_MsgTextSend(event_handle *bus);
/* data: X, Y (LE 16-bit) and the two offsets (LE floats), 12 bytes. */
int reticle_point_MsgTextSend(event_handle *bus, uint8_t sub, uint8_t item, const uint8_t data[12]);
int usual_MsgTextSend(event_handle *bus, uint8_t item, uint8_t value); /* main bus, event 4 */
int video_MsgTextSend(uint8_t item, uint8_t value);
int uvc_MsgTextSend(uint8_t value);
int irState_MsgTextSend(void);
int BalState_MsgTextSend(uint8_t sub, uint8_t value);
int shotVideo_MsgTextSend(uint8_t sub, uint8_t value);
int shotThreshold_MsgTextSend(int16_t threshold);
int waterMark_MsgTextSend(uint8_t value);
/* Every stored image setting, once at boot (waits up to 2 s for the core). */
void init_MsgTextSet(event_handle *bus);

/* The reticle point to the media process, only when it changed since the
 * last send; the quick form sends it regardless, then the video mode and
 * the ballistic switch. */
void updateReticlePointToMedia(event_handle *bus);
void Qel_Media_Param_Send_Quick(event_handle *bus);

/* Parameter frames to the GUI (mtype 4, type 33, no trace or limiter). */
int sendDevStatusToQtMenu(const UI_DevStatus *ui_status, int flags);
int sendCursorInfoToQtMenu(const Qel_IR_Cursor *cursor);
int sendBallisticsInfoToQtMenu(const Info_ballistics *profile, uint8_t index);
/* The zero store and then the six profiles, copied under the profiles lock. */
void sendProfilesToQtMenu(void);
int sendShotVideoReadyToUI(void);
/* The boot push of the whole device state to the GUI. */
void Qel_Ui_Param_Send(event_handle *app_bus);

/* Set by the command router when the media process reports its video link. */
extern volatile int voUartInitFinished;
