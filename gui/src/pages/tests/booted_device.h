// The mirrors as the boot push leaves a device that the page tests start
// from: ready, on a charged battery, at 1x zoom, the reticle shown at full
// brightness and every zero slot at the centre at 100 m.
#pragma once

#include "ui_status.h"

inline void booted_device_defaults()
{
    stUIStatus.event_distrubut_reday = 1;
    stUIStatus.s16BatteryValue = 800;
    stUIStatus.s8IRZoom = 100;
    stDevStatus.s8ReticleSwitch = 1;
    stDevStatus.s8ScreenBrightness = 5;
    for (auto &g : IR_Cursor.group)
        for (auto &z : g.zero) {
            z.s8IrCursorCurrentX = 639;
            z.s8IrCursorCurrentY = 639;
            z.u16IrCursorDistance = 100;
        }
}
