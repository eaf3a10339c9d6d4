// The calculation thread: runs one cycle with the inclinometer's pitch and
// the compass azimuth as soon as a recalculation is requested, and at least
// every 100 ms (the flag may also be set without the hand-off).
#include <pthread.h>
#include <stdio.h>
#include <sys/prctl.h>

#include "ballistic_fbc.h"
#include "ballistic_request.h"
#include "ballistic_thread.h"
#include "qel_compass.h"
#include "vesk_signal.h"

#define BALLISTIC_POLL_MS 100

static pthread_t ballistic_thread;
static int ballistic_thread_started;

static void *PthreadBallisticCalculation(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "BallisticCalc", 0, 0, 0);
    while (!is_signal_exit()) {
        if (!vesk_ballistics_cycle(AngelDispVal.Pitch_display, AngelDispVal.Azimuth_display))
            vesk_ballistics_wait_request(BALLISTIC_POLL_MS);
    }
    return NULL;
}

int Qel_BallisticsInit(event_handle *main_bus, event_handle *app_bus)
{
    (void)main_bus;
    (void)app_bus;
    Qel_ballistics_Init_FBC();
    if (pthread_create(&ballistic_thread, NULL, PthreadBallisticCalculation, NULL) != 0) {
        printf("Ballistic Calculation : pthread create failed!\n");
        return -1;
    }
    ballistic_thread_started = 1;
    printf("%s End\n", "Qel_BallisticsInit");
    return 0;
}

void Qel_BallisticsExit(void)
{
    if (!ballistic_thread_started) return;
    pthread_join(ballistic_thread, NULL);
    ballistic_thread_started = 0;
}
