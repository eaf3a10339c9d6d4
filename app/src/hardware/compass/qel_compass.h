// The scope's attitude as the compass and inclinometer publish it. The
// ballistic thread reads it without a lock: each field is a plain float
// written whole by the compass calculation thread.
#pragma once

typedef struct {
    float Pitch_display;   /* degrees, bore inclination */
    float Roll_display;    /* degrees, cant */
    float Azimuth_display; /* degrees, magnetic heading */
    float Rad_pitch;
    float Rad_roll;
} Qel_Angle_Value;

extern Qel_Angle_Value AngelDispVal;
