#include "CaptureGraph.h"
#include "ComErrors.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/SystemProbes.h"
#include "platform/com/ComPtr.h"
#include "platform/ostrago/Ostrago.h"
#include "shared/exceptions/Exceptions.h"

#include <ctime>
#include <filesystem>
#include <system_error>

using platform::com::ComPtr;

namespace
{
/// Every name tried takes the counter's value and moves it on; it starts at 1 with the program.
int g_videoFileCounter = 1;

bool ProcessorsAreFast()
{
    DWORD total = 0;
    const DWORD result = GetTotalCpuMHz(&total);
    return result != static_cast<DWORD>(-1) && result >= 2000;
}

bool Exists(const CString& path)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path.GetString(), error));
}

bool IsFolder(const CString& path)
{
    std::error_code error;
    return std::filesystem::is_directory(path.GetString(), error);
}
} // namespace

void CCaptureGraph::ConnectStreams()
{
    ComPtr<IUnknown> unknown;
    ComPtr<ICaptureGraphBuilder2> builder;
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL, IID_IUnknown,
                                unknown.PutVoid())) ||
        FAILED(OleRun(unknown.Get())) ||
        FAILED(unknown->QueryInterface(IID_ICaptureGraphBuilder2, builder.PutVoid())))
        throw GE_NO_GRAPH_BUILDER;
    builder->SetFiltergraph(m_pGraph);
    IBaseFilter* camera = m_pVideoCaptureFilter->GetFilter();

    if (m_nGraphMode == 1)
    {
        const CString videoFolder = g_params.GetVideoPath();
        if (IsFolder(videoFolder) && GetAvailableSpace(videoFolder).QuadPart < kMinRecordingSpace)
            throw CNotEnoughSpaceException("");

        builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, camera, nullptr,
                              m_pSmartTee->GetFilter());
        if (FAILED(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera, nullptr,
                                         m_pSmartTee->GetFilter())))
            throw CVideoInUseException("");
        if (m_bAudioAvailable && m_pAudioCaptureFilter &&
            FAILED(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio,
                                         m_pAudioCaptureFilter->GetFilter(), nullptr,
                                         m_pAsfWriter->GetFilter())))
            throw GE_AUDIO_NOT_CONNECTED;

        const int folder = CParams::CheckFolder(g_params.GetMainWnd(), videoFolder);
        if (folder == 2 || folder == 3)
            throw CFolderMissing("");
        if (IsWebcamModel(24))
            TapStillPin(builder.Get());

        ComPtr<IPin> capture;
        HRESULT hr = m_pSmartTee->FindPin(capture.Put(), PINDIR_OUTPUT, L"Capture");
        if (FAILED(hr))
            AtlThrow(hr);
        const CString fileName = ChooseVideoFileName();
        ComPtr<IFileSinkFilter> sink;
        hr = m_pAsfWriter->GetFilter()->QueryInterface(IID_IFileSinkFilter, sink.PutVoid());
        if (FAILED(hr))
            AtlThrow(hr);
        const std::wstring wideName = platform::Utf8ToWide(fileName.Str());
        sink->SetFileName(wideName.c_str(), nullptr);

        if (FAILED(ConnectToFilter(capture.Get(), m_pEncoderFilter->GetFilter())))
            throw CVideoCaptureException("");
        if (m_pAudioCaptureFilter)
        {
            ComPtr<IReferenceClock> clock;
            m_pAudioCaptureFilter->GetFilter()->GetSyncSource(clock.Put());
            m_pEncoderFilter->GetFilter()->SetSyncSource(clock.Get());
        }
        EnableStreamOffsetSync();

        FreeMediaType(m_captureMediaType);
        m_captureMediaType = AM_MEDIA_TYPE{};
        m_captureMediaType.majortype = MEDIATYPE_Video;
        ProbeCaptureType(m_pGraph, m_pSmartTee->GetFilter(), &m_captureMediaType);

        ComPtr<IPin> videoInput;
        if (FAILED(m_pAsfWriter->GetFilter()->FindPin(L"Video Input 01", videoInput.Put())))
            throw CVideoCaptureException("");
        if (FAILED(m_pGraph->ConnectDirect(capture.Get(), videoInput.Get(), nullptr)))
            throw CVideoCaptureException("");
        ComPtr<IMediaObject> encoder;
        if (FAILED(m_pEncoderFilter->GetFilter()->QueryInterface(IID_IMediaObject, encoder.PutVoid())))
            throw CVideoCaptureException("");

        g_wmvEncoderConfig.bitRate = 0;
        g_wmvEncoderConfig.frameRate = ProcessorsAreFast() ? 30.0f : 14.99f;
        g_wmvEncoderConfig.keyDistance = 8;
        g_wmvEncoderConfig.videoWindow = 5000;
        g_wmvEncoderConfig.crispness = 75;
        g_wmvEncoderConfig.vbrQuality = 98;
        g_wmvEncoderConfig.decoderComplexity = 0;
        g_wmvEncoderConfig.vbrEnabled = 1;
        g_wmvEncoderConfig.fourCC = MAKEFOURCC('W', 'M', 'V', '2');
        FreeMediaType(m_encoderOutputMediaType);
        m_encoderOutputMediaType = AM_MEDIA_TYPE{};
        if (FAILED(SetEncoderTypes(encoder.Get(), &m_captureMediaType, &m_encoderOutputMediaType)))
            throw CVideoCaptureException("");

        ComPtr<IPin> encoderOutput;
        ComPtr<IAMStreamConfig> encoderConfig;
        if (FAILED(FindFirstPin(m_pEncoderFilter->GetFilter(), PINDIR_OUTPUT, encoderOutput.Put())) ||
            FAILED(encoderOutput->QueryInterface(IID_IAMStreamConfig, encoderConfig.PutVoid())) ||
            FAILED(encoderConfig->SetFormat(&m_encoderOutputMediaType)))
            throw CVideoCaptureException("");

        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_CaptureFileName = fileName;
        }

        ComPtr<IPin> preview;
        hr = m_pSmartTee->FindPin(preview.Put(), PINDIR_OUTPUT, L"Preview");
        if (FAILED(hr))
            AtlThrow(hr);
        hr = builder->RenderStream(nullptr, &MEDIATYPE_Video, preview.Get(), m_pColourConverter->GetFilter(),
                                   m_pRenderer->GetFilter());
        if (FAILED(hr))
            AtlThrow(hr);
    }
    else
    {
        if (FAILED(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, camera,
                                         m_pColourConverter->GetFilter(), m_pRenderer->GetFilter())))
            throw CVideoInUseException("");
        if (IsWebcamModel(24))
            TapStillPin(builder.Get());
        if (!ProcessorsAreFast())
            SetCaptureFrameRate(14.99f, builder.Get());
    }
    SetCaptureFrameRate(IsReducedRateSize(m_currentResolution.m_width, m_currentResolution.m_height) ? 15.0f
                                                                                                     : 30.0f,
                        builder.Get());
    m_bBuilt = true;
}

CString CCaptureGraph::ChooseVideoFileName()
{
    const CString folder = g_params.GetVideoPath();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    CString name;
    do
    {
        name.Format("%sVid-%d%.2d%.2d-%.3d.wmv", folder.GetString(), local.tm_year + 1900, local.tm_mon + 1,
                    local.tm_mday, g_videoFileCounter++);
    } while (Exists(name));
    return name;
}

void CCaptureGraph::TapStillPin(ICaptureGraphBuilder2* builder)
{
    ComPtr<IBaseFilter> grabber;
    ComPtr<IBaseFilter> sink;
    if (FAILED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                grabber.PutVoid())))
        return;
    m_pGraph->AddFilter(grabber.Get(), L"SampleGrab");
    ComPtr<ISampleGrabber> control;
    grabber->QueryInterface(IID_ISampleGrabber, control.PutVoid());
    if (control)
    {
        control->SetOneShot(FALSE);
        control->SetBufferSamples(TRUE);
    }
    if (FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                sink.PutVoid())))
    {
        // Not connected, the grabber would outlive the teardown, which only follows connections.
        m_pGraph->RemoveFilter(grabber.Get());
        return;
    }
    m_pGraph->AddFilter(sink.Get(), L"NullRender");
    if (SUCCEEDED(builder->RenderStream(&PIN_CATEGORY_STILL, &MEDIATYPE_Video,
                                        m_pVideoCaptureFilter->GetFilter(), grabber.Get(), sink.Get())) &&
        control)
    {
        m_snapShotCallback.SetTargetWindow(m_hOwnerWindow);
        control->SetCallback(&m_snapShotCallback, 0);
        return;
    }
    m_pGraph->RemoveFilter(grabber.Get());
    m_pGraph->RemoveFilter(sink.Get());
}

void CCaptureGraph::ProbeCaptureType(IGraphBuilder* graph, IBaseFilter* upstream, AM_MEDIA_TYPE* type)
{
    ComPtr<IBaseFilter> dummy;
    if (SUCCEEDED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   dummy.PutVoid())))
        graph->AddFilter(dummy.Get(), L"Dummy Filter");
    if (dummy)
        ConnectFilters(upstream, dummy.Get(), graph, type);
    ComPtr<IPin> pin;
    if (SUCCEEDED(FindPinByMajorType(upstream, PINDIR_OUTPUT, type->majortype, pin.Put())))
    {
        AM_MEDIA_TYPE connection{};
        if (SUCCEEDED(pin->ConnectionMediaType(&connection)))
        {
            FreeMediaType(*type);
            *type = connection;
        }
        pin->Disconnect();
    }
    if (dummy)
        graph->RemoveFilter(dummy.Get());
}

HRESULT CCaptureGraph::ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream, IGraphBuilder* graph,
                                      AM_MEDIA_TYPE* type)
{
    ComPtr<IPin> output;
    HRESULT hr = type ? FindPinByMajorType(upstream, PINDIR_OUTPUT, type->majortype, output.Put())
                      : FindFirstPin(upstream, PINDIR_OUTPUT, output.Put());
    if (FAILED(hr))
        return hr;
    ComPtr<IPin> input;
    if (FAILED(FindFirstPin(downstream, PINDIR_INPUT, input.Put())))
        return E_FAIL;
    if (type && type->cbFormat != 0)
        return graph->ConnectDirect(output.Get(), input.Get(), type);
    return graph->Connect(output.Get(), input.Get());
}

HRESULT CCaptureGraph::FindPinByMajorType(IBaseFilter* filter, PIN_DIRECTION direction, const GUID& majorType,
                                          IPin** pin)
{
    *pin = nullptr;
    ComPtr<IEnumPins> pins;
    HRESULT hr = filter->EnumPins(pins.Put());
    if (FAILED(hr))
        return hr;
    IPin* raw = nullptr;
    while (pins->Next(1, &raw, nullptr) == S_OK)
    {
        ComPtr<IPin> candidate = ComPtr<IPin>::Adopt(raw);
        raw = nullptr;
        AM_MEDIA_TYPE connection{};
        hr = candidate->ConnectionMediaType(&connection);
        bool match = false;
        if (SUCCEEDED(hr))
        {
            PIN_DIRECTION actual;
            match = SUCCEEDED(candidate->QueryDirection(&actual)) && actual == direction &&
                    connection.majortype == majorType;
            FreeMediaType(connection);
        }
        else if (hr == VFW_E_NOT_CONNECTED)
        {
            ComPtr<IEnumMediaTypes> types;
            if (SUCCEEDED(candidate->EnumMediaTypes(types.Put())) && types)
            {
                AM_MEDIA_TYPE* offered = nullptr;
                while (!match && types->Next(1, &offered, nullptr) == S_OK && offered)
                {
                    match = offered->majortype == majorType;
                    DeleteMediaType(offered);
                    offered = nullptr;
                }
            }
        }
        if (match)
        {
            *pin = candidate.Detach();
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT CCaptureGraph::FindFirstPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin)
{
    *pin = nullptr;
    ComPtr<IEnumPins> pins;
    HRESULT hr = filter->EnumPins(pins.Put());
    if (FAILED(hr))
        return hr;
    IPin* raw = nullptr;
    while (pins->Next(1, &raw, nullptr) == S_OK)
    {
        ComPtr<IPin> candidate = ComPtr<IPin>::Adopt(raw);
        raw = nullptr;
        PIN_DIRECTION actual;
        if (SUCCEEDED(candidate->QueryDirection(&actual)) && actual == direction)
        {
            *pin = candidate.Detach();
            return S_OK;
        }
    }
    return E_FAIL;
}

void CCaptureGraph::SetCaptureFrameRate(float framesPerSecond, ICaptureGraphBuilder2* builder)
{
    ComPtr<IAMStreamConfig> config;
    if (FAILED(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                      m_pVideoCaptureFilter->GetFilter(), IID_IAMStreamConfig,
                                      config.PutVoid())))
        return;
    AM_MEDIA_TYPE* type = nullptr;
    if (config->GetFormat(&type) == S_OK && type->formattype == FORMAT_VideoInfo && type->pbFormat &&
        type->cbFormat >= sizeof(VIDEOINFOHEADER))
    {
        auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
        info->AvgTimePerFrame = static_cast<REFERENCE_TIME>(10000000.0f / framesPerSecond);
        config->SetFormat(type);
    }
    DeleteMediaType(type);
}

void CCaptureGraph::EnableStreamOffsetSync()
{
    ComPtr<IAMGraphStreams> streams =
        ComPtr<IAMGraphStreams>::Adopt(QueryOrThrow<IAMGraphStreams>(m_pGraph, IID_IAMGraphStreams));
    if (streams)
        streams->SyncUsingStreamOffset(TRUE);
}
