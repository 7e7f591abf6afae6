#pragma once
// Our ATL/WTL subset in one include.
#include "platform/atl/atlapp.h"
#include "platform/atl/atlbase.h"
#include "platform/atl/atlwin.h"
