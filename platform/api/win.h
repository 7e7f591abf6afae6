#pragma once
// Umbrella header of the platform layer: everything the program's Parts call.
#include "platform/api/types.h"
#include "platform/api/errors.h"
#include "platform/api/text.h"
#include "platform/api/user.h"
#include "platform/api/gdi.h"
