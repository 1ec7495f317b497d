#include "CaptureFilter_gst.h"

#include "CameraButton.h"
#include "CameraControls.h"
#include "Gst.h"
#include "GstFilter.h"
#include "VirtualCamera.h"

#include "platform/com/Com.h"

#include <gst/app/gstappsrc.h>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>

namespace platform::dshow
{
namespace
{
class CVideoCaptureFilter;

/// The camera's capture or still pin, with its stream configuration.
class CCapturePin final : public CGstOutputPin, public IAMStreamConfig
{
public:
    CCapturePin(CVideoCaptureFilter* filter, CCritSec* lock, LPCWSTR name, const GUID& category);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

private:
    CVideoCaptureFilter* m_camera;
};

class CVideoCaptureFilter final : public CGstFilter, public IAMVideoProcAmp
{
public:
    explicit CVideoCaptureFilter(const DeviceRecord& device)
        : CGstFilter("video capture filter", nullptr, CLSID_VideoInputDeviceCategory), m_device(device),
          m_capture(this, &m_filterLock, L"Capture", PIN_CATEGORY_CAPTURE)
    {
        if (device.stillButton)
            m_still = new CCapturePin(this, &m_filterLock, L"Still", PIN_CATEGORY_STILL);
        m_mode = 0;
        for (size_t i = 0; i < m_device.modes.size(); ++i)
            if (m_device.modes[i].format == "YUY2" && m_device.modes[i].width == 640 &&
                m_device.modes[i].height == 480)
            {
                m_mode = i;
                break;
            }
        if (!m_device.modes.empty())
            m_rate = m_device.modes[m_mode].rates.front();
    }
    ~CVideoCaptureFilter() override
    {
        Unrealise();
        delete m_still;
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IAMVideoProcAmp)
            return GetInterface(static_cast<IAMVideoProcAmp*>(this), object);
        return CGstFilter::NonDelegatingQueryInterface(iid, object);
    }

    STDMETHODIMP GetRange(long property, long* min, long* max, long* step, long* defaultValue,
                          long* capsFlags) override
    {
        if (!min || !max || !step || !defaultValue || !capsFlags)
            return E_POINTER;
        ControlRange range;
        CameraControls* controls = Controls();
        if (!controls || !controls->Range(property, &range))
            return E_PROP_ID_UNSUPPORTED;
        *min = range.min;
        *max = range.max;
        *step = range.step;
        *defaultValue = range.defaultValue;
        *capsFlags = VideoProcAmp_Flags_Manual | (range.hasAuto ? VideoProcAmp_Flags_Auto : 0);
        return S_OK;
    }
    STDMETHODIMP Set(long property, long value, long flags) override
    {
        ControlRange range;
        CameraControls* controls = Controls();
        if (!controls || !controls->Range(property, &range))
            return E_PROP_ID_UNSUPPORTED;
        bool automatic = (flags & VideoProcAmp_Flags_Auto) != 0;
        if (automatic && !range.hasAuto)
            return E_INVALIDARG;
        if (!automatic && (value < range.min || value > range.max || (value - range.min) % range.step != 0))
            return E_INVALIDARG;
        return controls->Set(property, value, automatic) ? S_OK : E_FAIL;
    }
    STDMETHODIMP Get(long property, long* value, long* flags) override
    {
        if (!value || !flags)
            return E_POINTER;
        bool automatic = false;
        CameraControls* controls = Controls();
        if (!controls || !controls->Get(property, value, &automatic))
            return E_PROP_ID_UNSUPPORTED;
        *flags = automatic ? VideoProcAmp_Flags_Auto : VideoProcAmp_Flags_Manual;
        return S_OK;
    }

    int GetPinCount() override { return m_still ? 2 : 1; }
    CBasePin* GetPin(int index) override
    {
        if (index == 0)
            return &m_capture;
        return index == 1 ? m_still : nullptr;
    }
    const DeviceRecord* Device() const override { return &m_device; }

    CMediaType CurrentType()
    {
        CAutoLock lock(&m_filterLock);
        if (m_device.modes.empty())
            return CMediaType();
        return VideoTypeForMode(m_device.modes[m_mode], m_rate);
    }

    HRESULT GetOutputType(CGstOutputPin*, int position, CMediaType* type) override
    {
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0 || m_device.modes.empty())
            return VFW_S_NO_MORE_ITEMS;
        *type = CurrentType();
        return S_OK;
    }

    HRESULT SetFormat(AM_MEDIA_TYPE* type)
    {
        if (!type)
            return E_POINTER;
        CAutoLock lock(&m_filterLock);
        if (!IsStopped())
            return VFW_E_NOT_STOPPED;
        int width = 0;
        int height = 0;
        REFERENCE_TIME frameTime = 0;
        if (type->majortype != MEDIATYPE_Video || !VideoInfoOf(*type, &width, &height, &frameTime))
            return VFW_E_INVALIDMEDIATYPE;
        std::string format = FormatForSubtype(type->subtype);
        for (size_t i = 0; i < m_device.modes.size(); ++i)
        {
            const VideoMode& mode = m_device.modes[i];
            if (mode.format != format || mode.width != width || mode.height != height)
                continue;
            m_mode = i;
            m_rate = mode.rates.front();
            if (frameTime > 0)
            {
                // A camera runs at the rates it lists; the nearest one stands for the interval asked.
                double wanted = static_cast<double>(UNITS) / static_cast<double>(frameTime);
                for (const Fraction& rate : mode.rates)
                    if (std::fabs(rate.Value() - wanted) < std::fabs(m_rate.Value() - wanted))
                        m_rate = rate;
            }
            CMediaType current = VideoTypeForMode(mode, m_rate);
            if (m_capture.IsConnected())
                m_capture.Retype(current);
            if (m_still && m_still->IsConnected())
                m_still->Retype(current);
            return S_OK;
        }
        return VFW_E_INVALIDMEDIATYPE;
    }

    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps)
    {
        if (!type || !caps)
            return E_POINTER;
        if (index < 0 || static_cast<size_t>(index) >= m_device.modes.size())
            return S_FALSE;
        const VideoMode& mode = m_device.modes[static_cast<size_t>(index)];
        CMediaType offered = VideoTypeForMode(mode, mode.rates.front());
        *type = CreateMediaType(&offered);
        if (!*type)
            return E_OUTOFMEMORY;
        auto* config = reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps);
        *config = VIDEO_STREAM_CONFIG_CAPS{};
        config->guid = FORMAT_VideoInfo;
        config->InputSize = {mode.width, mode.height};
        config->MinCroppingSize = config->MaxCroppingSize = config->InputSize;
        config->MinOutputSize = config->MaxOutputSize = config->InputSize;
        config->CropGranularityX = config->CropGranularityY = 1;
        config->OutputGranularityX = config->OutputGranularityY = 1;
        const Fraction& fastest = mode.rates.front();
        const Fraction& slowest = mode.rates.back();
        config->MinFrameInterval = static_cast<LONGLONG>(UNITS) * fastest.den / fastest.num;
        config->MaxFrameInterval = static_cast<LONGLONG>(UNITS) * slowest.den / slowest.num;
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(offered.Format());
        config->MaxBitsPerSecond = static_cast<LONG>(std::min<double>(info->dwBitRate, 0x7FFFFFFF));
        config->MinBitsPerSecond = static_cast<LONG>(std::min<double>(
            static_cast<double>(info->dwBitRate) * slowest.Value() / fastest.Value(), 0x7FFFFFFF));
        return S_OK;
    }

    int ModeCount() const { return static_cast<int>(m_device.modes.size()); }

    HRESULT Realise(Realisation& realisation) override
    {
        CAutoLock lock(&m_filterLock);
        if (m_device.modes.empty())
            return VFW_E_NOT_CONNECTED;
        GstElement* source =
            CreateVideoSource(m_device, m_device.modes[m_mode], m_rate, &realisation.missing);
        if (!source)
            return REGDB_E_CLASSNOTREG;
        GstElement* tee = gst::MakeElement("tee");
        if (!tee)
        {
            gst_object_unref(gst_object_ref_sink(source));
            realisation.missing = "tee";
            return REGDB_E_CLASSNOTREG;
        }
        g_object_set(tee, "allow-not-linked", TRUE, nullptr);
        Adopt(realisation, source);
        Adopt(realisation, tee);
        gst_element_link(source, tee);
        m_tee = tee;
        if (m_still && m_still->LivePeer())
        {
            m_stillSource = gst::MakeElement("appsrc");
            if (!m_stillSource)
            {
                realisation.missing = "appsrc";
                return REGDB_E_CLASSNOTREG;
            }
            g_object_set(m_stillSource, "is-live", TRUE, "do-timestamp", TRUE, "format", GST_FORMAT_TIME,
                         nullptr);
            Adopt(realisation, m_stillSource);
            gst::PadPtr pad(gst_element_get_static_pad(source, "src"));
            m_frameProbe = gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER,
                                             &CVideoCaptureFilter::KeepFrame, this, nullptr);
            m_framePad = GST_PAD(gst_object_ref(pad.get()));
            if (m_device.virtualCamera)
                m_stillListener = m_device.virtualCamera->AddStillListener([this] { PushStill(); });
            else if (!m_device.buttonNode.empty())
            {
                int fd = open(m_device.buttonNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0)
                    m_button = std::make_unique<CameraButtonReader>(fd, [this] { PushStill(); });
                else
                    // Input devices are often readable by their group only; the picture runs without
                    // the button then.
                    g_message("The camera button \"%s\" cannot be read: %s", m_device.buttonNode.c_str(),
                              g_strerror(errno));
            }
        }
        return S_OK;
    }

    void Unrealise() override
    {
        m_button.reset();
        if (m_stillListener && m_device.virtualCamera)
            m_device.virtualCamera->RemoveStillListener(m_stillListener);
        m_stillListener = 0;
        if (m_framePad)
        {
            gst_pad_remove_probe(m_framePad, m_frameProbe);
            gst_object_unref(m_framePad);
            m_framePad = nullptr;
        }
        {
            std::lock_guard lock(m_frameLock);
            m_lastFrame.reset();
            m_stillSource = nullptr;
        }
        m_tee = nullptr;
        CGstFilter::Unrealise();
    }

    GstPad* OutputPad(CGstOutputPin* pin) override
    {
        if (pin == &m_capture && m_tee)
            return gst_element_request_pad_simple(m_tee, "src_%u");
        if (pin == m_still && m_stillSource)
            return gst_element_get_static_pad(m_stillSource, "src");
        return nullptr;
    }
    bool NeedsSinkForUnconnected(CGstOutputPin*) const override { return false; }

private:
    CameraControls* Controls()
    {
        CAutoLock lock(&m_filterLock);
        if (!m_controls)
            m_controls = OpenCameraControls(m_device);
        return m_controls.get();
    }

    static GstPadProbeReturn KeepFrame(GstPad* pad, GstPadProbeInfo* info, gpointer data)
    {
        auto* self = static_cast<CVideoCaptureFilter*>(data);
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        gst::CapsPtr caps(gst_pad_get_current_caps(pad));
        std::lock_guard lock(self->m_frameLock);
        self->m_lastFrame.reset(gst_sample_new(buffer, caps.get(), nullptr, nullptr));
        return GST_PAD_PROBE_OK;
    }

    void PushStill()
    {
        std::lock_guard lock(m_frameLock);
        if (!m_lastFrame || !m_stillSource)
            return;
        GstBuffer* copy = gst_buffer_copy(gst_sample_get_buffer(m_lastFrame.get()));
        GST_BUFFER_PTS(copy) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
        gst::SamplePtr sample(gst_sample_new(copy, gst_sample_get_caps(m_lastFrame.get()), nullptr, nullptr));
        gst_buffer_unref(copy);
        gst_app_src_push_sample(GST_APP_SRC(m_stillSource), sample.get());
    }

    DeviceRecord m_device;
    CCapturePin m_capture;
    CCapturePin* m_still = nullptr;
    size_t m_mode = 0;
    Fraction m_rate{30, 1};
    GstElement* m_tee = nullptr;
    GstElement* m_stillSource = nullptr;
    GstPad* m_framePad = nullptr;
    gulong m_frameProbe = 0;
    int m_stillListener = 0;
    std::unique_ptr<CameraButtonReader> m_button;
    std::unique_ptr<CameraControls> m_controls;
    std::mutex m_frameLock;
    gst::SamplePtr m_lastFrame;

    friend class CCapturePin;
};

CCapturePin::CCapturePin(CVideoCaptureFilter* filter, CCritSec* lock, LPCWSTR name, const GUID& category)
    : CGstOutputPin(filter, lock, name, category), m_camera(filter)
{
}

STDMETHODIMP CCapturePin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IAMStreamConfig)
        return GetInterface(static_cast<IAMStreamConfig*>(this), object);
    return CGstOutputPin::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CCapturePin::SetFormat(AM_MEDIA_TYPE* type)
{
    return m_camera->SetFormat(type);
}

STDMETHODIMP CCapturePin::GetFormat(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    CMediaType current = m_camera->CurrentType();
    *type = CreateMediaType(&current);
    return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CCapturePin::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size)
        return E_POINTER;
    *count = m_camera->ModeCount();
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP CCapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps)
{
    return m_camera->GetStreamCaps(index, type, caps);
}

/// A microphone: one capture pin of 16-bit PCM.
class CAudioCaptureFilter final : public CGstFilter
{
public:
    explicit CAudioCaptureFilter(const DeviceRecord& device)
        : CGstFilter("audio capture filter", nullptr, CLSID_AudioInputDeviceCategory), m_device(device),
          m_capture(this, &m_filterLock, L"Capture", PIN_CATEGORY_CAPTURE)
    {
    }
    ~CAudioCaptureFilter() override { Unrealise(); }

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_capture : nullptr; }
    const DeviceRecord* Device() const override { return &m_device; }

    HRESULT GetOutputType(CGstOutputPin*, int position, CMediaType* type) override
    {
        if (position != 0)
            return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
        *type = AudioType(44100, 2);
        return S_OK;
    }

    HRESULT Realise(Realisation& realisation) override
    {
        GstElement* source = CreateAudioSource(m_device, &realisation.missing);
        if (!source)
            return REGDB_E_CLASSNOTREG;
        GstElement* tee = gst::MakeElement("tee");
        if (!tee)
        {
            gst_object_unref(gst_object_ref_sink(source));
            realisation.missing = "tee";
            return REGDB_E_CLASSNOTREG;
        }
        g_object_set(tee, "allow-not-linked", TRUE, nullptr);
        Adopt(realisation, source);
        Adopt(realisation, tee);
        gst_element_link(source, tee);
        m_tee = tee;
        return S_OK;
    }
    void Unrealise() override
    {
        m_tee = nullptr;
        CGstFilter::Unrealise();
    }
    GstPad* OutputPad(CGstOutputPin*) override
    {
        return m_tee ? gst_element_request_pad_simple(m_tee, "src_%u") : nullptr;
    }
    bool NeedsSinkForUnconnected(CGstOutputPin*) const override { return false; }

private:
    DeviceRecord m_device;
    CGstOutputPin m_capture;
    GstElement* m_tee = nullptr;
};
} // namespace

HRESULT CreateCaptureFilter(const DeviceRecord& device, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    gst::EnsureInit();
    std::string missing;
    if (device.kind == DeviceKind::Video)
        missing = device.virtualCamera
                      ? gst::FirstMissingFactory({"videotestsrc", "videoconvert", "capsfilter", "tee"})
                      : gst::FirstMissingFactory({"v4l2src", "capsfilter", "tee"});
    else
        missing = gst::FirstMissingFactory({device.virtualMicrophone ? "audiotestsrc" : "pulsesrc", "tee"});
    if (missing.empty() && device.virtualCamera && device.virtualCamera->Config().clockOverlay)
        missing = gst::FirstMissingFactory({"clockoverlay"});
    if (!missing.empty())
    {
        g_warning("The GStreamer element \"%s\" is missing; \"%s\" cannot be used.", missing.c_str(),
                  device.friendlyName.c_str());
        return REGDB_E_CLASSNOTREG;
    }
    CGstFilter* filter = nullptr;
    if (device.kind == DeviceKind::Video)
        filter = new (std::nothrow) CVideoCaptureFilter(device);
    else
        filter = new (std::nothrow) CAudioCaptureFilter(device);
    if (!filter)
        return E_OUTOFMEMORY;
    filter->NonDelegatingAddRef();
    HRESULT hr = filter->NonDelegatingQueryInterface(iid, object);
    filter->NonDelegatingRelease();
    return hr;
}
} // namespace platform::dshow
