#pragma once

#include "Devices.h"

#include "platform/dshow/Strmif.h"

namespace platform::dshow
{
/// Makes the capture filter of a camera or microphone, asked for `iid`.
HRESULT CreateCaptureFilter(const DeviceRecord& device, REFIID iid, void** object);
} // namespace platform::dshow
