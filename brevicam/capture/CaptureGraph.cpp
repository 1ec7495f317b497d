#include "CaptureGraph.h"

#include "CameraControlsDialog.h"
#include "CaptureFormat.h"
#include "ComErrors.h"

#include "brevicam/core/Params.h"
#include "miravoc/Miravoc.h"
#include "platform/com/ComPtr.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/win/Kernel.h"
#include "platform/window/WinUser.h"
#include "shared/exceptions/Exceptions.h"

#include <string>

using platform::com::ComPtr;

namespace
{
constexpr DWORD kTearDownWaitMs = 3000;
} // namespace

CCaptureGraph::CCaptureGraph()
    : CDeviceGraph(), m_nGraphMode(0), m_bAudioAvailable(true), m_hGraphMutex(nullptr), m_pSmartTee(nullptr),
      m_pColourConverter(nullptr), m_pRenderer(nullptr), m_pNullRenderer(nullptr), m_pAsfWriter(nullptr),
      m_hOwnerWindow(nullptr), m_captureMediaType{}, m_encoderOutputMediaType{}
{
    EnumerateDevices(kVideo);
    EnumerateDevices(kAudio);
    SelectDevicesFromSettings();
    m_hGraphMutex = CreateMutex(nullptr, FALSE, nullptr);
}

CCaptureGraph::~CCaptureGraph()
{
    if (m_hGraphMutex)
        CloseHandle(m_hGraphMutex);
    FreeMediaType(m_captureMediaType);
    FreeMediaType(m_encoderOutputMediaType);
}

void CCaptureGraph::SelectDevicesFromSettings()
{
    const CString videoSetting = g_params.GetVideoDevice();
    const CString audioSetting = g_params.GetAudioDevice();

    const int video = m_videoDevices.IndexOf(videoSetting);
    if (video >= 0)
        m_videoDevices.Select(video);
    else if (m_videoDevices.GetCount() > 0)
        m_videoDevices.Select(0);
    else
        m_videoDevices.SetSelectionNone();

    const int audio = m_audioDevices.IndexOf(audioSetting);
    if (audio >= 0)
    {
        m_audioDevices.Select(audio);
        return;
    }
    if (video < 0 && !audioSetting.IsEmpty())
    {
        m_audioDevices.SetSelectionNone();
        return;
    }
    if (m_audioDevices.GetCount() == 0)
    {
        m_audioDevices.SetSelectionNone();
        return;
    }
    if (m_videoDevices.GetCount() == 0)
    {
        m_audioDevices.Select(0);
        return;
    }
    // The webcam's own microphone, asked for with the ids of the first listed camera.
    std::string vendorId = m_videoDevices.GetVendorId(0).Str();
    std::string productId = m_videoDevices.GetProductId(0).Str();
    SetDefaultMicVidPid(vendorId.data(), productId.data());
    CString name;
    const int index = GetDefaultMicName(name);
    // The library answers with a wave-in number, which is no index into this list: the microphone is
    // chosen by its name, or the first listed one stands in.
    if (index == -1 || name.IsEmpty() || m_audioDevices.IndexOf(name) < 0)
        m_audioDevices.Select(0);
    else
        m_audioDevices.SelectByName(name);
}

bool CCaptureGraph::SetGraphMode(int mode)
{
    if (m_bBuilt)
    {
        if (mode == m_nGraphMode)
            return true;
        CFilterGraph::Stop();
        TearDown();
    }
    m_nGraphMode = mode;
    BuildFilters(mode);

    if (m_currentResolution == CResolution(0, 0, false))
    {
        CString model;
        model.Format("%d", GetWebcamModel());
        g_params.LoadCameraSettings(model);
        const CString text =
            g_params.GetCamMode() == 3 ? g_params.GetVideoResolution() : g_params.GetPhotoResolution();
        ParseResolutionText(text, &m_currentResolution.m_width, &m_currentResolution.m_height);
    }
    EnsureResolution(GetDefaultResolution());
    if (m_currentResolution == CResolution(0, 0, false))
        m_currentResolution = GetDefaultResolution();

    const int camMode = g_params.GetCamMode();
    if (camMode == 3)
        FillVideoResolutions();
    else if (camMode != 1)
        FillPhotoResolutions();
    m_currentResolution.m_interpolated = IsInterpolated(m_currentResolution);

    if (camMode == 1)
        RemoveResolutionsAbove(CResolution(640, 480, false));
    else if (camMode == 3)
    {
        switch (GetWebcamModel())
        {
        case 4:
        case 5:
        case 6:
        case 9:
        case 10:
        case 17:
        case 23:
            RemoveResolutionsAbove(CResolution(800, 600, false));
            break;
        default:
            break;
        }
    }

    const CResolution captureSize =
        m_currentResolution.m_interpolated != 0 ? GetFallbackCaptureSize() : m_currentResolution;
    try
    {
        SetCaptureFormat(captureSize, m_pVideoCaptureFilter->GetFilter(), m_pGraph);
    }
    catch (const CAtlException&)
    {
        throw CMissingVideoException("");
    }

    ConnectStreams();
    if (m_pRenderer)
        m_pRenderer->UpdateVideoPosition(false);

    if (mode == 0)
    {
        if (m_audioDevices.GetCount() == 0)
            m_audioDevices.SetSelectionNone();
        std::string microphone = m_audioDevices.GetSelectedName().Str();
        if (!microphone.empty())
            SetDevice(microphone.data());
    }
    return true;
}

void CCaptureGraph::BuildFilters(int mode)
{
    IMoniker* camera = m_videoDevices.GetSelectedMoniker();
    try
    {
        m_pVideoCaptureFilter = new CDSDeviceFilter(m_pGraph, camera);
    }
    catch (const CAtlException&)
    {
        if (camera)
            camera->Release();
        throw CMissingVideoException("");
    }
    if (camera)
        camera->Release();
    AddFilter(m_pVideoCaptureFilter);

    m_pRenderer = new CWindowlessRenderer(isWindowsVista() || isWindows7());
    if (FAILED(m_pRenderer->AddToGraph(m_pGraph)))
        throw CMissingModuleException("vmr");
    if (FAILED(m_pRenderer->InitWindowless()))
        throw CVMRInitException("");

    m_pColourConverter = new CDSFilter("Color Space Converter", CLSID_Colour);
    AddFilter(m_pColourConverter);

    // A microphone that cannot be made leaves this build without sound; the next build tries again.
    m_bAudioAvailable = true;
    IMoniker* microphone = m_audioDevices.GetSelectedMoniker();
    try
    {
        m_pAudioCaptureFilter = new CDSDeviceFilter(m_pGraph, microphone);
        AddFilter(m_pAudioCaptureFilter);
    }
    catch (const CAtlException&)
    {
        m_bAudioAvailable = false;
    }
    if (microphone)
        microphone->Release();

    if (mode == 0)
    {
        m_pNullRenderer = new CDSFilter("Null renderer", CLSID_NullRenderer);
        AddFilter(m_pNullRenderer);
        return;
    }

    m_pSmartTee = new CDSFilter("Smart Tee", CLSID_SmartTee);
    AddFilter(m_pSmartTee);

    m_pEncoderFilter = new CDSFilter();
    IBaseFilter* encoder = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DMOWrapperFilter, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                                reinterpret_cast<void**>(&encoder))))
        throw CVideoCaptureException("");
    m_pEncoderFilter->AttachFilter(encoder);
    ComPtr<IDMOWrapperFilter> wrapper;
    if (FAILED(encoder->QueryInterface(IID_IDMOWrapperFilter, wrapper.PutVoid())))
        throw CVideoCaptureException("");
    if (FAILED(wrapper->Init(CLSID_CWMV8EncMediaObject, DMOCATEGORY_VIDEO_ENCODER)))
        throw CVideoCaptureException("");
    if (FAILED(m_pGraph->AddFilter(encoder, L"WMV8DMO Encoder")))
        throw CVideoCaptureException("");

    m_pAsfWriter = new CDSFilter("ASF Writer", CLSID_WMAsfWriter);
    AddFilter(m_pAsfWriter);
    ConfigureAsfWriter();
}

void CCaptureGraph::ConfigureAsfWriter()
{
    ComPtr<IConfigAsfWriter> config;
    m_pAsfWriter->GetFilter()->QueryInterface(IID_IConfigAsfWriter, config.PutVoid());
    ComPtr<IWMProfileManager> manager;
    WMCreateProfileManager(manager.Put());

    int width = 0;
    int height = 0;
    int quality = 0;
    long long frameTime = 0;
    GetProfileValues(m_currentResolution, &width, &height, &quality, &frameTime);
    wchar_t xml[kProfileXmlSize];
    BuildProfileXml(xml, width, height, quality, frameTime);

    ComPtr<IWMProfile> profile;
    HRESULT hr = manager ? manager->LoadProfileByData(xml, profile.Put()) : E_POINTER;
    if (SUCCEEDED(hr))
        hr = config ? config->ConfigureFilterUsingProfile(profile.Get()) : E_NOINTERFACE;
    // A writer without its profile would record nothing; the recording fails here instead, so that the
    // user is told rather than left with an empty file.
    if (FAILED(hr))
        throw CVideoCaptureException("The recording profile cannot be loaded");
}

template <class T> void CCaptureGraph::RemoveHolder(T*& holder)
{
    if (!holder)
        return;
    RemoveFilter(holder);
    holder->ReleaseFilter();
    delete holder;
    holder = nullptr;
}

bool CCaptureGraph::TearDown()
{
    // An open settings dialog of a capture filter is closed before its filter goes; it keeps its own
    // reference to the filter until it has ended.
    if (HWND dialog = GetOpenCameraControls())
        EndDialog(dialog, IDCANCEL);
    if (m_hGraphMutex && WaitForSingleObject(m_hGraphMutex, kTearDownWaitMs) == WAIT_OBJECT_0)
        ReleaseMutex(m_hGraphMutex);
    CloseAudioDevice();

    if (m_pVideoCaptureFilter)
        RemoveDownstream(m_pVideoCaptureFilter->GetFilter());
    if (m_pVideoCaptureFilter)
    {
        RemoveFilter(m_pVideoCaptureFilter);
        m_pVideoCaptureFilter->ReleaseDevice();
        delete m_pVideoCaptureFilter;
        m_pVideoCaptureFilter = nullptr;
    }
    RemoveHolder(m_pColourConverter);
    if (m_pRenderer)
    {
        if (IBaseFilter* renderer = m_pRenderer->GetFilter())
            m_pGraph->RemoveFilter(renderer);
        delete m_pRenderer;
        m_pRenderer = nullptr;
    }
    if (m_pAudioCaptureFilter)
    {
        RemoveFilter(m_pAudioCaptureFilter);
        m_pAudioCaptureFilter->ReleaseDevice();
        delete m_pAudioCaptureFilter;
        m_pAudioCaptureFilter = nullptr;
    }
    // Whatever a build of either mode left is taken away, also after a build that failed half-way.
    RemoveHolder(m_pSmartTee);
    RemoveHolder(m_pAsfWriter);
    RemoveHolder(m_pEncoderFilter);
    RemoveHolder(m_pNullRenderer);
    m_bBuilt = false;
    return true;
}

bool CCaptureGraph::Stop()
{
    return SUCCEEDED(CFilterGraph::Stop());
}

void CCaptureGraph::ShowFilterProperties(int kind, HWND owner)
{
    CDSFilter* filter = kind == 0   ? static_cast<CDSFilter*>(m_pAudioCaptureFilter)
                        : kind == 1 ? static_cast<CDSFilter*>(m_pVideoCaptureFilter)
                                    : nullptr;
    if (!filter)
        return;
    WaitForSingleObject(m_hGraphMutex, INFINITE);
    filter->ShowPropertyPages(owner);
    ReleaseMutex(m_hGraphMutex);
}

void CCaptureGraph::SetOwnerWindow(HWND owner)
{
    m_hOwnerWindow = owner;
    m_snapShotCallback.SetTargetWindow(owner);
}

CResolution CCaptureGraph::GetLargestNativeResolution() const
{
    for (auto it = m_resolutions.rbegin(); it != m_resolutions.rend(); ++it)
        if (it->m_interpolated == 0)
            return *it;
    return CResolution(0, 0, false);
}

bool CCaptureGraph::IsAlwaysInterpolated(const CResolution& size)
{
    return (IsWebcamModel(17) || IsWebcamModel(23)) && size.m_width == 1280 && size.m_height == 1024;
}

int CCaptureGraph::IsInterpolated(const CResolution& size) const
{
    const CResolution largest = GetLargestNativeResolution();
    if (largest.m_width == 0 || largest.m_height == 0)
        return -1;
    if (IsAlwaysInterpolated(size))
        return 1;
    return size.m_width > largest.m_width || size.m_height > largest.m_height ? 1 : 0;
}

CResolution CCaptureGraph::GetFallbackCaptureSize() const
{
    if (IsWebcamModel(7) || IsWebcamModel(11))
        return CResolution(640, 480, false);
    if (IsWebcamModel(0))
        return CResolution(0, 0, false);
    return GetLargestNativeResolution();
}
