// The capture controller's recording: switching the graph between preview and recording, the failure
// steps of a recording start, and the graph's events (aborts, full disk, devices unplugged or back).

#include "CaptureController.h"
#include "CaptureInternal.h"
#include "ComErrors.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/core/StartupObjects.h"
#include "platform/com/Com.h"
#include "platform/com/ComPtr.h"
#include "platform/dshow/OleAuto.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/window/WinUser.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <cstdio>

using namespace capture_detail;
using platform::com::ComPtr;

namespace
{
constexpr DWORD kFileStreamDelayMs = 1000;
constexpr REFERENCE_TIME kMaxTime = 0x7FFFFFFFFFFFFFFFLL;

bool IsDiskFull(LONG_PTR hr)
{
    const auto value = static_cast<unsigned long long>(hr);
    const auto diskFull = static_cast<unsigned long long>(HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    return value == diskFull || (value & 0xFFFFFFFFull) == (diskFull & 0xFFFFFFFFull);
}

ComPtr<ICaptureGraphBuilder2> MakeCaptureGraphBuilder()
{
    ComPtr<IUnknown> object;
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL, IID_IUnknown,
                                object.PutVoid())))
        throw GE_NO_GRAPH_BUILDER;
    ComPtr<ICaptureGraphBuilder2> builder;
    if (FAILED(OleRun(object.Get())) ||
        FAILED(object->QueryInterface(IID_ICaptureGraphBuilder2, builder.PutVoid())) || !builder)
        throw GE_NO_GRAPH_BUILDER;
    return builder;
}
} // namespace

// ---------------------------------------------------------------------------------------------------------
// Recording
// ---------------------------------------------------------------------------------------------------------

void CCaptureController::ToggleRecording(int stateAfterStop)
{
    const bool starting = m_graph.GetGraphMode() != 1;
    try
    {
        if (starting)
            StartRecording();
        else
            StopRecording(stateAfterStop);
        return;
    }
    catch (const CMissingVideoException&)
    {
        OnMissingVideo();
    }
    catch (const CVideoInUseException&)
    {
        OnVideoInUse();
    }
    catch (const CVideoCaptureException&)
    {
        OnCodecError();
    }
    catch (const CFolderMissing&)
    {
        OnRecordFolderError();
    }
    catch (const CNotEnoughSpaceException&)
    {
        OnDiskFull();
    }
    catch (const CVMRInitException&)
    {
        OnRendererFailure();
    }
    if (starting)
        RemoveAttemptFile();
}

void CCaptureController::StartRecording()
{
    m_attemptFile.Empty();
    SetProgState(PS_RECORD_STARTING);
    StopAndTearDown();
    m_graph.SetGraphMode(1);
    // The graph names a file that does not exist yet; whatever appears under that name is this start's.
    const CString file = g_params.GetCaptureFileName();
    if (!FileExists(file.GetString(), 0))
        m_attemptFile = file;

    ComPtr<ICaptureGraphBuilder2> builder = MakeCaptureGraphBuilder();
    builder->SetFiltergraph(m_graph.GetGraph());
    REFERENCE_TIME holdUntil = kMaxTime;
    const HRESULT blocked =
        builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &holdUntil, nullptr, 0, 0);
    bool givenUp = false;
    if (FAILED(blocked))
        m_graph.Pause();
    else if (FAILED(RunGraphChecked()))
    {
        StopAndTearDown();
        RemoveAttemptFile();
        m_graph.SetGraphMode(0);
        RunGraph();
        ShowSaveError(g_params.GetCaptureFileName(), false);
        givenUp = true;
    }
    Sleep(kFileStreamDelayMs);
    if (FAILED(blocked))
        RunGraph();
    else if (!givenUp)
    {
        REFERENCE_TIME noStop = kMaxTime;
        builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, nullptr, &noStop, 0, 0);
    }
    builder.Reset();
    SelectMicrophoneInAudioLibrary(m_graph.GetAudioDevices());
    m_attemptFile.Empty();
    SetProgState(givenUp ? PS_READY : PS_RECORDING);
    SetVideoState(VS_RUNNING);
}

void CCaptureController::StopRecording(int stateAfterStop)
{
    StopAndTearDown();
    // The recording has ended here, whatever the rebuild of the preview meets.
    g_bCaptureDlgButtonsRestored = 0;
    g_bSmallDlgButtonsRestored = 0;
    m_graph.SetGraphMode(0);
    RunGraphChecked();
    SelectMicrophoneInAudioLibrary(m_graph.GetAudioDevices());
    if (stateAfterStop != 0)
        SetProgState(static_cast<EProgState>(stateAfterStop));
    SetProgState(PS_READY);
    SetVideoState(VS_RUNNING);
}

void CCaptureController::RemoveAttemptFile()
{
    if (m_attemptFile.IsEmpty())
        return;
    // The writer lets go of its file when the graph stops; a recording graph left built (a busy camera)
    // is rebuilt by the next toggle anyway.
    if (m_graph.GetGraphMode() == 1 && m_graph.IsBuilt())
    {
        m_bGraphRunning = false;
        m_graph.Stop();
    }
    std::remove(m_attemptFile.GetString());
    m_attemptFile.Empty();
}

// ---------------------------------------------------------------------------------------------------------
// Failure steps of a recording start
// ---------------------------------------------------------------------------------------------------------

void CCaptureController::OnDiskFull()
{
    StopAndTearDown();
    try
    {
        m_graph.SetGraphMode(0);
        RunGraphChecked();
    }
    catch (const CMissingVideoException&)
    {
        SetVideoState(VS_MISSING);
        SetProgState(PS_READY);
        UpdateDeviceStatus();
        return;
    }
    catch (const CVideoInUseException&)
    {
        SetVideoState(VS_IN_USE);
        SetProgState(PS_READY);
        UpdateDeviceStatus();
        return;
    }
    SetProgState(PS_DISK_FULL);
    SetProgState(PS_GRAPH_RESTARTED);
}

void CCaptureController::OnRecordFolderError()
{
    StopAndTearDown();
    m_graph.SetGraphMode(0);
    RunGraph();
    SetVideoState(VS_RUNNING);
    SetProgState(PS_GRAPH_RESTARTED);
}

void CCaptureController::OnCodecError()
{
    const CString title = CParams::GetAppTitle();
    if (g_params.IsFullScreen())
        SkinMessageBoxId(ActiveWindowOfMainThread(), IDS_CODEC_UNUSABLE, title.GetString(),
                         MB_TOPMOST | MB_ICONEXCLAMATION);
    else
        SkinMessageBoxId(AppMainWindow(), IDS_CODEC_UNUSABLE, title.GetString(), MB_ICONEXCLAMATION);
    StopAndTearDown();
    m_graph.DetectWebcamModel();
    if (GetWebcamModel() == 0)
        return;
    m_graph.SetGraphMode(0);
    RunGraph();
    SetVideoState(VS_RUNNING);
    SetProgState(PS_GRAPH_RESTARTED);
}

// ---------------------------------------------------------------------------------------------------------
// Graph events
// ---------------------------------------------------------------------------------------------------------

void CCaptureController::OnGraphEvent()
{
    IGraphBuilder* graph = m_graph.GetGraph();
    if (!graph)
        return;
    ComPtr<IMediaEventEx> events =
        ComPtr<IMediaEventEx>::Adopt(QueryOrThrow<IMediaEventEx>(graph, IID_IMediaEventEx));
    if (!events)
        return;
    long code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    if (FAILED(events->GetEvent(&code, &param1, &param2, 0)))
        return;
    // The event's parameters go back to the graph however the handling ends.
    struct FreeParams
    {
        IMediaEventEx* events;
        long code;
        LONG_PTR param1;
        LONG_PTR param2;
        ~FreeParams() { events->FreeEventParams(code, param1, param2); }
    } freeParams{events.Get(), code, param1, param2};

    switch (code)
    {
    case EC_ERRORABORT:
        // Only a recording can be stopped: in preview an abort, a full disk included, changes nothing,
        // and a recording stopped already is never started again by the event that reported it.
        if (m_graph.GetGraphMode() != 1)
            break;
        if (IsDiskFull(param1))
        {
            SetProgState(PS_DISK_FULL);
            if (m_pVideoState->GetState() == VS_RUNNING && m_graph.GetGraphMode() == 1)
                ToggleRecording(PS_RECORD_STOPPED);
        }
        else
        {
            ToggleRecording(PS_RECORD_ERROR);
            RefreshDevices();
        }
        break;
    case EC_DEVICE_LOST:
        OnDeviceLost(reinterpret_cast<IUnknown*>(param1), param2 != 0);
        break;
    default:
        break;
    }
}

void CCaptureController::OnDeviceLost(IUnknown* device, bool back)
{
    const CDSDeviceFilter* camera = m_graph.GetVideoCaptureFilter();
    if (!camera || !camera->GetFilter())
        return;
    const bool same = SameObject(device, camera->GetFilter());
    if (same && back)
    {
        RefreshDevices();
        for (int kind : {CDeviceGraph::kVideo, CDeviceGraph::kAudio})
        {
            const int selection = m_graph.GetSelectedIndex(kind);
            if (selection < 0)
                continue;
            try
            {
                SelectDevice(kind, selection);
            }
            catch (const CVideoInUseException&)
            {
                // Announced by the choice itself.
            }
        }
    }
    else if (same)
    {
        if (m_graph.GetGraphMode() == 1)
            ToggleRecording(PS_RECORD_STOPPED);
        else
            StopPreview();
        RefreshDevices();
        SetVideoState(VS_LOST);
    }
    else if (!back)
    {
        CDevicesSubj& microphones = m_graph.GetAudioDevices();
        m_graph.EnumerateDevices(CDeviceGraph::kAudio);
        if (microphones.GetCount() == 0)
            microphones.SetSelectionNone();
        if (!microphones.HasSelection())
            RefreshDevices();
    }
}
