#pragma once
// Umbrella header of the platform layer: everything the program's Parts call.
#include "platform/api/types.h"
#include "platform/api/errors.h"
#include "platform/api/text.h"
#include "platform/api/inet.h"
#include "platform/api/netbios.h"
#include "platform/api/intrin.h"
