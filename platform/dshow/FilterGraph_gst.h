#pragma once

#include "platform/dshow/Strmif.h"

namespace platform::dshow
{
/// Holds back (true) or releases (false) the capture streams into the file writers of one of our graphs;
/// E_NOINTERFACE for a graph of others.
HRESULT SetCaptureHold(IGraphBuilder* graph, bool hold);
} // namespace platform::dshow
