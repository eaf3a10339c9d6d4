// Shared by the coordinator and its persistence hooks.
#pragma once

#include "vesk_lifecycle.h"

#define VESK_LIFECYCLE_TAG "lifecycle"

/* The calls table the start-up code set (never null). */
const vesk_lifecycle_calls *vesk_lifecycle_calls_get(void);
