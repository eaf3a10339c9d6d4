// sightd's client of the two System V queues: it sends on 12345 and a
// listener thread receives its own message type on 54321, handing every
// record to one callback.
#pragma once

#include "vesk_msgq.h"

/* Called on the listener thread for every received record; the second
 * argument is always null. */
typedef void (*QelMsgEventCallback)(Qel_MsgText *text, void *unused);

/* Opens both queues and starts the listener for mtype. 0, or -1. */
int Qel_InitMsgEvent(QelMsgEventCallback callback, long mtype);
/* One record, never blocking on the queue: 0, or -1 with errno as msgsnd
 * left it. length must be at most 512. A thread's frames go out at least
 * 10 ms apart (the wait comes before a send, never after it), which paces
 * bursts. */
int Qel_SendMsgEvent(long mtype, uint8_t type, uint8_t command, const void *data, uint32_t length);
/* Removes both queues, which ends the listener, and clears the callback. */
int Qel_DeinitMsgEvent(void);

/* The queue identifiers in use (-1 before init), for senders that need to
 * look at the send queue itself. */
int Qel_MsgEvent_SendQueue(void);
