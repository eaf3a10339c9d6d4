#pragma once
#include "tkc/types_def.h"
