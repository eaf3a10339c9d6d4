// The rangefinder service of sightd: the module's power sequence, the
// receive thread that turns the serial byte stream into module frames, the
// service's start and teardown, and its command callback on the app bus.
// The decisions live in the state machine (vesk_lrf_core.h) and its worker
// (vesk_lrf_worker.h).
#pragma once

#include <pthread.h>

#include "boardcast.h"

/* The open serial line, the wake pipe (-1 when closed), the receive thread. */
extern int laserFd;
extern int laser_wake_fd[2];
extern pthread_t mPthreadRcvLaser;

/* Power sequence, on or off: 0 or a negative errno. */
int laser_enable(int on);

/* Starts the service on the serial device: ui_bus carries the payloads to
 * the report router, cmd_bus is where notifier_laser registers. 0, -1, or
 * the failing result of uart_set. */
int Qel_LaserInit(const char *device, event_handle *ui_bus, event_handle *cmd_bus);
/* Tears the service down; safe after a failed or partial start. */
void Qel_laserExit(void);

/* Command-bus callback: object-4 frames from the GUI. */
void notifier_laser(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size);
