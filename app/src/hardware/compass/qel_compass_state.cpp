#include "qel_compass.h"

/* Level and heading north until the compass reports. */
Qel_Angle_Value AngelDispVal;
float Acc_x, Acc_y, Acc_z;
