#include "ui/focus.h"

#include "ui/control_ids.h"

int32_t g_focusId = kNoControl;
bool g_focusRingShown = false;
