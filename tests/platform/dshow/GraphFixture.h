#pragma once

#include "platform/dshow/DShow.h"
#include "platform/dshow/VirtualCamera.h"
#include "tests/support/DeviceMonikers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace dshow_testing
{
using platform::com::ComPtr;

using testing_support::FindMoniker;
using testing_support::ReadProperty;
/// The capture filter of the device.
ComPtr<IBaseFilter> BindFilter(IMoniker* moniker);

ComPtr<IBaseFilter> MakeFilter(REFCLSID classId);
/// Adds `filter` to the graph under `name`.
void Add(IGraphBuilder* graph, IBaseFilter* filter, const wchar_t* name);
ComPtr<IPin> Pin(IBaseFilter* filter, const wchar_t* name);

/// Events taken from a graph until `code` arrives or `timeoutMs` passes; the matching event's
/// parameters are returned (and freed by the caller's FreeEventParams).
bool WaitForEvent(IMediaEventEx* events, long code, long timeoutMs, LONG_PTR* param1, LONG_PTR* param2);

/// Polls the renderer until it has a frame; the packed DIB, freed by the caller with CoTaskMemFree.
BYTE* WaitForImage(IVMRWindowlessControl9* control, int timeoutMs);

/// A Windows Media profile text of the recording's shape.
std::wstring ProfileXml(int width, int height, int quality, long long frameTime);

/// A preview graph: camera ! colour converter ! windowless renderer (VMR-9), plus the null renderer of
/// the preview mode, built as the capture graph builds it.
struct PreviewGraph
{
    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IBaseFilter> camera;
    ComPtr<IBaseFilter> renderer;
    ComPtr<IVMRWindowlessControl9> windowless;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;

    /// Builds the graph for the camera of `devicePath`; ADD_FAILURE on any failing step.
    void Build(const std::string& devicePath);
    /// Removes every filter, as the capture graph's teardown does.
    void TearDown();
};
} // namespace dshow_testing
