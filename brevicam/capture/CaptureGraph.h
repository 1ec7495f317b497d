#pragma once

#include "DeviceGraph.h"

/// The one capture graph of the program: mode 0 shows the live picture, mode 1 also records a WMV file.
class CCaptureGraph : public CDeviceGraph
{
public:
    /// Model 18 captures its larger sizes at 15 frames per second.
    static bool IsReducedRateSize(int width, int height);
};
