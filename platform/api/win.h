#pragma once
// Umbrella header of the platform layer: everything the program's Parts call.
#include "platform/api/types.h"
#include "platform/api/errors.h"
#include "platform/api/text.h"
#include "platform/api/fileapi.h"
#include "platform/api/kernel.h"
#include "platform/api/shell.h"
#include "platform/api/resource.h"
#include "platform/api/version.h"
