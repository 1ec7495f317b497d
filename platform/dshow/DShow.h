#pragma once

/// Everything of the capture layer: graph, devices, filters, renderer, sample grabber, media objects and
/// the ASF writer's profiles.
#include "platform/com/Com.h"
#include "platform/com/ComPtr.h"
#include "platform/dshow/Dmo.h"
#include "platform/dshow/OleAuto.h"
#include "platform/dshow/Presentation.h"
#include "platform/dshow/Qedit.h"
#include "platform/dshow/Strmif.h"
#include "platform/dshow/Vmr.h"
#include "platform/dshow/Wmsdk.h"
