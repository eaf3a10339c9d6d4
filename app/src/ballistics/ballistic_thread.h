// The ballistic calculation: a change of profile or distance turned into a
// fresh hold-over, kept here and sent as one 29-byte result frame to the GUI
// and then to the media process; and the same frame for a result that the
// phone computed.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "ballistic_request.h"
#include "boardcast.h"
#include "vesk_frame.h"
#include "vesk_records.h"

typedef struct {
    double moaV; /* vertical hold, MOA, zero offset removed */
    double moaH; /* horizontal hold, MOA, zero offset removed, sign as sent */
    double mradV;
    double mradH;
    double clicksV;
    double clicksH;
    int moveX;
    int moveY;
} Result_ballistics;

#define VESK_BALLISTIC_FRAME_SIZE 29
#define VESK_BALLISTIC_COMMAND 10

extern Result_ballistics g_ballistics_result;
extern _union_float_data moa_data_v;
extern _union_float_data moa_data_h;

/* A copy of the current profile under the profiles lock: 1, or 0 for a null
 * pointer or a current index outside the six profiles. */
int Qel_ballistics_getParams_FBC(Info_ballistics *out);
/* One calculation and, with the switch of profile 0 on, its frame. Range
 * <= 0, wind < 0, angle >= 99 and azimuth < 0 take the profile's value. */
void Qel_ballistics_CalcResult_FBC(Info_ballistics info, int range_current, double wind_speed, double shootingAngle,
                                   double azimuth);
void set_ballistics_result_from_mobile_app(const Result_ballistics *result);
int Qel_ballistics_getResult_FBC(Result_ballistics *out);

/* One cycle of the calculation thread with the inclinometer's pitch and the
 * compass azimuth (degrees): 1 when it calculated (the next cycle starts at
 * once), 0 when the thread waits for a request, 100 ms at most, before the
 * next. */
int vesk_ballistics_cycle(float pitch_display, float azimuth_display);

size_t vesk_ballistic_build_frame(uint8_t *out, float moaV, float moaH, float distance, float pitch, float azimuth);

/* Sets up the calculator binding and starts the calculation thread: 0 or -1.
 * The thread ends on the quit flag, so Qel_BallisticsExit's join returns. */
int Qel_BallisticsInit(event_handle *main_bus, event_handle *app_bus);
void Qel_BallisticsExit(void);
