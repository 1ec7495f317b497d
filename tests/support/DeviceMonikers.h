#pragma once

#include "platform/com/ComPtr.h"
#include "platform/dshow/DShow.h"

#include <string>

namespace testing_support
{
/// The device moniker whose "DevicePath" (video) or "FriendlyName" (audio) is `key`; empty when none.
platform::com::ComPtr<IMoniker> FindMoniker(REFCLSID category, const std::string& key);
/// A property of a moniker's bag as UTF-8 text; empty when it cannot be read.
std::string ReadProperty(IMoniker* moniker, const wchar_t* name);
} // namespace testing_support
