#pragma once

#include "platform/com/ComPtr.h"
#include "platform/dshow/DShow.h"
#include "platform/dshow/VirtualCamera.h"

#include <memory>
#include <string>
#include <vector>

namespace capture_testing
{
using platform::com::ComPtr;

/// The moniker of the device whose "DevicePath" (video) or "FriendlyName" (audio) is `key`.
ComPtr<IMoniker> FindMoniker(REFCLSID category, const std::string& key);

/// The names of the filters in the graph, in the graph's order.
std::vector<std::string> FilterNames(IGraphBuilder* graph);

/// A virtual camera with the USB ids and sizes given, named `name`.
std::shared_ptr<platform::VirtualCamera> MakeCamera(const std::string& name, unsigned short vendorId,
                                                    unsigned short productId, std::vector<SIZE> sizes = {});
} // namespace capture_testing
