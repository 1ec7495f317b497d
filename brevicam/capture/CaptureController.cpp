// The capture controller: construction, the preview, the shared run-and-settle and teardown steps, the
// failure steps, and the operations that change devices, capture sizes and capture modes.

#include "CaptureController.h"

#include "CaptureInternal.h"
#include "CaptureMessages.h"
#include "ComErrors.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "miravoc/Miravoc.h"
#include "platform/com/ComPtr.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/window/WinApp.h"
#include "platform/window/WinUser.h"
#include "platform/window/Wnd.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <cstdio>
#include <cstdlib>

using platform::com::ComPtr;

namespace capture_detail
{
CString LoadText(HINSTANCE module, UINT id)
{
    CString text;
    if (!text.LoadString(module, id))
        text.LoadString(id);
    return text;
}

HWND AppMainWindow()
{
    if (CWnd* main = AfxGetMainWnd(); main && main->GetSafeHwnd())
        return main->GetSafeHwnd();
    return g_params.GetMainWnd();
}

HWND ActiveWindowOfMainThread()
{
    HWND main = AppMainWindow();
    const DWORD thread = main ? GetWindowThreadProcessId(main, nullptr) : 0;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (thread && GetGUIThreadInfo(thread, &info) && info.hwndActive)
        return info.hwndActive;
    return main;
}

bool SameObject(IUnknown* first, IUnknown* second)
{
    if (!first || !second)
        return false;
    ComPtr<IUnknown> a;
    ComPtr<IUnknown> b;
    if (FAILED(first->QueryInterface(IID_IUnknown, a.PutVoid())) ||
        FAILED(second->QueryInterface(IID_IUnknown, b.PutVoid())))
        return false;
    return a.Get() == b.Get();
}

void SelectMicrophoneInAudioLibrary(CDevicesSubj& microphones)
{
    if (!microphones.HasSelection())
        return;
    std::string name = microphones.GetName(microphones.GetSelection()).Str();
    SetDevice(name.data());
}
} // namespace capture_detail

using namespace capture_detail;

namespace
{
/// How long run and settle polls a graph that has not reached its state: 30 polls of 100 ms.
constexpr int kMaxSettlePolls = 30;
constexpr DWORD kSettleMs = 500;
constexpr DWORD kResolutionSettleMs = 1250;
constexpr HRESULT kInvalidFunction = static_cast<HRESULT>(0x80070001u);

bool IsNarrowModel(int model)
{
    switch (model)
    {
    case 4:
    case 5:
    case 6:
    case 9:
    case 10:
    case 17:
    case 20:
    case 23:
        return true;
    default:
        return false;
    }
}
} // namespace

// ---------------------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------------------

CCaptureController::CCaptureController()
    : m_pVideoState(nullptr), m_pProgState(nullptr), m_bBurstRunning(false), m_hMainWindow(nullptr),
      m_bGraphRunning(false), m_hResourceModule(AppResourceInstance()), m_soundTimeout(INFINITE),
      m_hSoundKick(nullptr), m_hSoundQuit(nullptr), m_hSoundThread(nullptr),
      m_seriesOutcome(SeriesOutcome::Saved)
{
    m_burstImages.reserve(kReservedBurstFrames);
    m_pVideoState = new CBasicStateSubj<EVideoState>(VS_RUNNING);
    m_pProgState = new CAdvStateSubj<EProgState>(PS_INITIAL, "");
    if (m_graph.GetAudioDevices().GetCount() == 0)
        g_params.SetAudioEnabled(false);
    m_hSoundKick = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hSoundQuit = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // Without both events the thread could neither be woken nor ended: then there is none, and a sound
    // simply plays to its end.
    if (m_hSoundKick && m_hSoundQuit)
        m_hSoundThread = CreateThread(nullptr, 0, SoundStopThreadProc, this, 0, nullptr);
}

CCaptureController::~CCaptureController()
{
    StopSoundThread();
    delete m_pProgState;
    delete m_pVideoState;
    ClearBurstImages();
}

void CCaptureController::StopSoundThread()
{
    if (m_hSoundThread)
    {
        SetEvent(m_hSoundQuit);
        WaitForSingleObject(m_hSoundThread, INFINITE);
        CloseHandle(m_hSoundThread);
        m_hSoundThread = nullptr;
    }
    if (m_hSoundKick)
        CloseHandle(m_hSoundKick);
    if (m_hSoundQuit)
        CloseHandle(m_hSoundQuit);
    m_hSoundKick = nullptr;
    m_hSoundQuit = nullptr;
}

void CCaptureController::FitVideoWindow(BOOL stretch)
{
    if (CWindowlessRenderer* renderer = m_graph.GetRenderer())
        renderer->UpdateVideoPosition(stretch != FALSE);
}

// ---------------------------------------------------------------------------------------------------------
// Shared steps
// ---------------------------------------------------------------------------------------------------------

void CCaptureController::StopAndTearDown()
{
    m_bGraphRunning = false;
    m_bBurstRunning = false;
    m_graph.Stop();
    m_graph.TearDown();
}

HRESULT CCaptureController::RunGraph()
{
    HRESULT hr = m_graph.Run();
    if (FAILED(hr))
        return hr;
    // A graph that never reaches its state would otherwise hold the user-interface thread for good.
    int polls = 0;
    while (hr != S_OK && hr != E_FAIL && hr != kInvalidFunction)
    {
        if (++polls > kMaxSettlePolls)
            return FAILED(hr) ? hr : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        OAFilterState state = 0;
        hr = m_graph.GetState(100, &state);
    }
    Sleep(kSettleMs);
    m_bGraphRunning = true;
    SetProgState(PS_GRAPH_RUNNING);
    return hr;
}

HRESULT CCaptureController::RunGraphChecked()
{
    // Another program holding the camera shows when the graph runs, not while it is built.
    const HRESULT hr = RunGraph();
    if (hr == VFW_E_DEVICE_IN_USE)
        throw CVideoInUseException("");
    return hr;
}

void CCaptureController::RebuildPreview()
{
    StopAndTearDown();
    m_graph.SetGraphMode(0);
    RunGraphChecked();
}

// ---------------------------------------------------------------------------------------------------------
// Preview
// ---------------------------------------------------------------------------------------------------------

void CCaptureController::StartPreview()
{
    ComPtr<IMediaEventEx> events =
        ComPtr<IMediaEventEx>::Adopt(QueryOrThrow<IMediaEventEx>(m_graph.GetGraph(), IID_IMediaEventEx));
    if (!events)
        _com_issue_error(E_POINTER);
    events->SetNotifyWindow(reinterpret_cast<OAHWND>(g_params.GetMainWnd()), WM_GRAPH_NOTIFY, 0);
    try
    {
        m_graph.SetGraphMode(0);
        RunGraphChecked();
    }
    catch (const CMissingVideoException&)
    {
        OnMissingVideo();
        return;
    }
    catch (const CVideoInUseException&)
    {
        if (!TryOtherCameras())
            return;
    }
    catch (const CMissingModuleException&)
    {
        OnFatalError();
    }
    catch (const CVMRInitException&)
    {
        OnRendererFailure();
        return;
    }
    SetVideoState(VS_RUNNING);
    SetProgState(PS_READY);
    UpdateDeviceStatus();
}

bool CCaptureController::TryOtherCameras()
{
    const int count = m_graph.GetVideoDevices().GetCount();
    for (int index = 0; index < count; ++index)
    {
        try
        {
            // A failed build leaves its filters in the graph; the next camera starts from an empty one.
            StopAndTearDown();
            m_graph.SelectDevice(CDeviceGraph::kVideo, index);
            m_graph.SetGraphMode(0);
            RunGraphChecked();
            return true;
        }
        catch (const CVideoInUseException&)
        {
        }
        catch (const CMissingVideoException&)
        {
            OnFatalError();
        }
        catch (const CMissingModuleException&)
        {
            OnFatalError();
        }
        catch (const CVMRInitException&)
        {
            OnRendererFailure();
            return false;
        }
    }
    OnVideoInUse();
    return false;
}

void CCaptureController::StopPreview()
{
    StopAndTearDown();
}

void CCaptureController::StopPreviewIfIdle()
{
    if (m_graph.GetGraphMode() == 0)
        StopAndTearDown();
}

void CCaptureController::UpdateDeviceStatus()
{
    const CString videoName = m_graph.GetVideoDevices().GetSelectedName();
    const CString audioName = m_graph.GetAudioDevices().GetSelectedName();
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        if (!videoName.IsEmpty())
            g_params.m_VideoDevice = videoName;
        if (!audioName.IsEmpty())
            g_params.m_AudioDevice = audioName;
    }
    const CString none = LoadText(m_hResourceModule, IDS_NONE);
    char videoPart[CDSFilter::kNameSize];
    char audioPart[CDSFilter::kNameSize];
    const CDSDeviceFilter* video = m_graph.GetVideoCaptureFilter();
    const CDSDeviceFilter* audio = m_graph.GetAudioCaptureFilter();
    platform::CopyTruncated(videoPart, sizeof videoPart, video ? video->GetName() : none.GetString());
    platform::CopyTruncated(audioPart, sizeof audioPart, audio ? audio->GetName() : none.GetString());
    CString message;
    message.Format("%s / %s", videoPart, audioPart);
    m_pProgState->SetMessage(message.GetString());
}

// ---------------------------------------------------------------------------------------------------------
// Failure steps
// ---------------------------------------------------------------------------------------------------------

void CCaptureController::OnMissingVideo()
{
    StopAndTearDown();
    SetVideoState(VS_MISSING);
    SetProgState(PS_READY);
    UpdateDeviceStatus();
}

void CCaptureController::OnVideoInUse()
{
    // The busy camera's graph shows no picture; it goes, and the state says why.
    StopAndTearDown();
    SetVideoState(VS_IN_USE);
    SetProgState(PS_READY);
    UpdateDeviceStatus();
}

void CCaptureController::OnRendererFailure()
{
    StopAndTearDown();
    SetProgState(PS_VMR_FAILED);
}

void CCaptureController::OnFatalError()
{
    StopAndTearDown();
    if (IsDesktopIn16Bits())
        SkinMessageBoxId(AppMainWindow(), IDS_INTERNAL_ERROR, CParams::GetAppTitle().GetString(),
                         MB_ICONHAND);
    else
        SetProgState(PS_FATAL);
    // The settings are not saved: their file keeps what the last save wrote. Our own thread ends first;
    // nothing else may run on after a failure that cannot be mended.
    StopSoundThread();
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

// ---------------------------------------------------------------------------------------------------------
// Devices, capture sizes and capture modes
// ---------------------------------------------------------------------------------------------------------

void CCaptureController::OfferSizesForMode()
{
    m_graph.ClearResolutions();
    m_graph.FillPhotoResolutions();
    switch (g_params.GetCamMode())
    {
    case 1:
        m_graph.RemoveResolutionsAbove(CResolution(640, 480, false));
        break;
    case 3:
        m_graph.ClearResolutions();
        m_graph.FillVideoResolutions();
        break;
    default:
        break;
    }
}

void CCaptureController::SelectDevice(int kind, int index)
{
    if (kind == CDeviceGraph::kVideo && index == m_graph.GetSelectedIndex(CDeviceGraph::kVideo) &&
        m_pVideoState->GetState() != VS_IN_USE)
        SetProgState(PS_DEVICE_RESELECTED);
    else if (index != m_graph.GetSelectedIndex(kind))
        SetProgState(PS_DEVICE_CHANGED);
    RestartWithDevices([&] { m_graph.SelectDevice(kind, index); }, false);
}

void CCaptureController::SelectDevices(int videoIndex, int audioIndex)
{
    if (videoIndex != m_graph.GetSelectedIndex(CDeviceGraph::kVideo) ||
        audioIndex != m_graph.GetSelectedIndex(CDeviceGraph::kAudio))
        SetProgState(PS_DEVICE_CHANGED);
    RestartWithDevices(
        [&]
        {
            m_graph.SelectDevice(CDeviceGraph::kAudio, audioIndex);
            m_graph.SelectDevice(CDeviceGraph::kVideo, videoIndex);
        },
        true);
}

void CCaptureController::RestartWithDevices(const std::function<void()>& select, bool fatalOnMissingModule)
{
    try
    {
        StopAndTearDown();
        select();
        m_graph.DetectWebcamModel();
        m_graph.SetGraphMode(0);
        RunGraphChecked();
        OfferSizesForMode();
    }
    catch (const CMissingVideoException&)
    {
        OnMissingVideo();
        return;
    }
    catch (const CVideoInUseException&)
    {
        // The caller still learns of it, so that it can offer another camera.
        OnVideoInUse();
        throw;
    }
    catch (const CVMRInitException&)
    {
        OnRendererFailure();
        return;
    }
    catch (const CMissingModuleException&)
    {
        if (!fatalOnMissingModule)
            throw;
        OnFatalError();
    }
    SetVideoState(VS_RUNNING);
    SetProgState(PS_READY);
    UpdateDeviceStatus();
}

void CCaptureController::RefreshDevices()
{
    CDevicesSubj& cameras = m_graph.GetVideoDevices();
    m_graph.EnumerateDevices(CDeviceGraph::kVideo);
    if (cameras.GetCount() == 0)
        cameras.SetSelectionNone();
    if (cameras.HasSelection())
        m_graph.EnumerateDevices(CDeviceGraph::kAudio);
    cameras.Notify();
    m_graph.GetAudioDevices().Notify();
}

void CCaptureController::ChangeResolution(CResolution size)
{
    if (!(size != m_graph.GetResolution()))
        return;
    SetVideoState(VS_RES_CHANGE);
    try
    {
        StopAndTearDown();
        m_graph.SetResolution(size);
        m_graph.SetGraphMode(0);
        RunGraphChecked();
        if (IsWindow(m_hMainWindow))
        {
            ShowWindow(m_hMainWindow, SW_HIDE);
            ShowWindow(m_hMainWindow, SW_SHOW);
            if (CWindowlessRenderer* renderer = m_graph.GetRenderer())
                renderer->Repaint();
        }
    }
    catch (const CVideoInUseException&)
    {
        OnVideoInUse();
        return;
    }
    catch (const CVMRInitException&)
    {
        OnRendererFailure();
        return;
    }
    catch (...)
    {
        OnMissingVideo();
        return;
    }
    Sleep(kResolutionSettleMs);
    SetVideoState(VS_RUNNING);
}

void CCaptureController::SetCamMode(int mode)
{
    const int previous = g_params.GetCamMode();
    if (previous == mode)
        return;
    CString id;
    id.Format("%d", GetWebcamModel());
    g_params.LoadCameraSettings(id);
    g_params.SetCamMode(mode);

    CString sizeText("0");
    if (mode == 3)
    {
        sizeText = g_params.GetVideoResolution();
        m_graph.ClearResolutions();
        m_graph.FillVideoResolutions();
    }
    else if (previous == 3)
    {
        sizeText = g_params.GetPhotoResolution();
        m_graph.ClearResolutions();
        m_graph.FillPhotoResolutions();
    }
    if (sizeText != "0")
    {
        CResolution size;
        CCaptureGraph::ParseResolutionText(sizeText, &size.m_width, &size.m_height);
        size.m_interpolated = m_graph.IsInterpolated(size);
        ChangeResolution(size);
    }

    const CResolution vga(640, 480, false);
    const CResolution svga(800, 600, false);
    const int model = GetWebcamModel();
    const bool narrow = IsNarrowModel(model);
    switch (mode)
    {
    case 1:
        if (vga < m_graph.GetResolution())
        {
            SetProgState(PS_RES_LOWERED_640);
            ChangeResolution(vga);
            if (narrow)
            {
                m_graph.DetectWebcamModel();
                if (GetWebcamModel() == 0)
                    return;
            }
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_PhotoResolution = "640 x 480";
        }
        m_graph.RemoveResolutionsAbove(vga);
        break;
    case 3:
        if (narrow)
        {
            if (svga < m_graph.GetResolution())
            {
                SetProgState(PS_RES_LOWERED_800);
                ChangeResolution(svga);
                CSingleLock lock(&g_params.m_cs, TRUE);
                g_params.m_VideoResolution = "800 x 600";
            }
            m_graph.ClearResolutions();
            m_graph.FillVideoResolutions();
            m_graph.RemoveResolutionsAbove(svga);
        }
        else
        {
            const CResolution current = m_graph.GetResolution();
            if (current.m_interpolated != 0 && !CCaptureGraph::IsAlwaysInterpolated(current))
            {
                SetProgState(PS_RES_LOWERED_800);
                ChangeResolution(m_graph.GetLargestNativeResolution());
            }
            m_graph.ClearResolutions();
            m_graph.FillVideoResolutions();
        }
        break;
    default:
        m_graph.ClearResolutions();
        m_graph.FillPhotoResolutions();
        if (model == 6 || model == 20)
            m_graph.RemoveResolutionsAbove(svga);
        break;
    }
    SetProgState(PS_MODE_CHANGED);
    g_params.SetCamMode(mode);
    g_params.SaveCameraSettings(id);
}
