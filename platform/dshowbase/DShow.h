#pragma once

/// The media filter base classes: interfaces, media types, allocators, filters, pins, transform filters
/// and registration.
#include "platform/com/Com.h"
#include "platform/com/FilterMapper.h"
#include "platform/dshowbase/Allocator.h"
#include "platform/dshowbase/ComBase.h"
#include "platform/dshowbase/Filter.h"
#include "platform/dshowbase/Interfaces.h"
#include "platform/dshowbase/MediaType.h"
#include "platform/dshowbase/MediaTypes.h"
#include "platform/dshowbase/Setup.h"
#include "platform/dshowbase/Transform.h"
