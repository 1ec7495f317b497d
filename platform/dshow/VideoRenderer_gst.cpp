#include "Gst.h"
#include "GstFilter.h"
#include "StandardFilters_gst.h"

#include "platform/com/Com.h"
#include "platform/dshow/Presentation.h"
#include "platform/dshow/Vmr.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <cstring>
#include <mutex>
#include <new>

namespace platform::dshow
{
namespace
{
std::mutex g_sinkLock;
VideoFrameSink g_frameSink;

VideoFrameSink CurrentSink()
{
    std::lock_guard lock(g_sinkLock);
    return g_frameSink;
}

/// A mapped frame of an appsink sample, kept for as long as a VideoFrame refers to it.
struct MappedFrame
{
    explicit MappedFrame(GstSample* sample) : sample(gst_sample_ref(sample))
    {
        GstCaps* caps = gst_sample_get_caps(sample);
        if (caps && gst_video_info_from_caps(&info, caps))
            mapped = gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ);
    }
    ~MappedFrame()
    {
        if (mapped)
            gst_video_frame_unmap(&frame);
        gst_sample_unref(sample);
    }
    MappedFrame(const MappedFrame&) = delete;
    MappedFrame& operator=(const MappedFrame&) = delete;

    VideoFrame View(const std::shared_ptr<MappedFrame>& self) const
    {
        VideoFrame view;
        if (!mapped)
            return view;
        view.width = GST_VIDEO_FRAME_WIDTH(&frame);
        view.height = GST_VIDEO_FRAME_HEIGHT(&frame);
        view.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
        view.pixels = static_cast<const BYTE*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
        view.owner = self;
        return view;
    }

    GstSample* sample;
    GstVideoInfo info{};
    GstVideoFrame frame{};
    bool mapped = false;
};

class CVideoRenderer final : public CGstFilter,
                             public IVMRFilterConfig,
                             public IVMRFilterConfig9,
                             public IVMRWindowlessControl,
                             public IVMRWindowlessControl9
{
public:
    CVideoRenderer(REFCLSID classId)
        : CGstFilter("video renderer", nullptr, classId),
          m_input(this, &m_filterLock, L"VMR Input0", MEDIATYPE_Video)
    {
    }
    ~CVideoRenderer() override { Unrealise(); }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IVMRFilterConfig)
            return GetInterface(static_cast<IVMRFilterConfig*>(this), object);
        if (iid == IID_IVMRFilterConfig9)
            return GetInterface(static_cast<IVMRFilterConfig9*>(this), object);
        // The windowless control exists only in windowless mode, as with the system's renderer.
        if (iid == IID_IVMRWindowlessControl || iid == IID_IVMRWindowlessControl9)
        {
            if (m_mode != VMRMode_Windowless)
            {
                if (object)
                    *object = nullptr;
                return E_NOINTERFACE;
            }
            if (iid == IID_IVMRWindowlessControl)
                return GetInterface(static_cast<IVMRWindowlessControl*>(this), object);
            return GetInterface(static_cast<IVMRWindowlessControl9*>(this), object);
        }
        return CGstFilter::NonDelegatingQueryInterface(iid, object);
    }

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_input : nullptr; }

    void OnInputChanged(CGstInputPin* pin) override
    {
        std::lock_guard lock(m_lock);
        int width = 0;
        int height = 0;
        if (pin->IsConnected() && VideoInfoOf(pin->CurrentMediaType(), &width, &height, nullptr))
        {
            m_native = {width, height};
            m_source = {0, 0, width, height};
        }
        else
        {
            m_native = {0, 0};
            m_source = {0, 0, 0, 0};
        }
    }

    // IVMRFilterConfig, IVMRFilterConfig9
    STDMETHODIMP SetRenderingMode(DWORD mode) override
    {
        if (mode != VMRMode_Windowless && mode != VMRMode_Windowed)
            return E_INVALIDARG;
        if (m_input.IsConnected())
            return VFW_E_WRONG_STATE;
        m_mode = mode;
        return S_OK;
    }
    STDMETHODIMP GetRenderingMode(DWORD* mode) override
    {
        if (!mode)
            return E_POINTER;
        *mode = m_mode;
        return S_OK;
    }
    STDMETHODIMP SetNumberOfStreams(DWORD streams) override { return streams <= 1 ? S_OK : E_NOTIMPL; }

    // IVMRWindowlessControl, IVMRWindowlessControl9
    STDMETHODIMP GetNativeVideoSize(LONG* width, LONG* height, LONG* aspectWidth, LONG* aspectHeight) override
    {
        std::lock_guard lock(m_lock);
        if (width)
            *width = m_native.cx;
        if (height)
            *height = m_native.cy;
        if (aspectWidth)
            *aspectWidth = m_native.cx;
        if (aspectHeight)
            *aspectHeight = m_native.cy;
        return m_input.IsConnected() ? S_OK : VFW_E_NOT_CONNECTED;
    }
    STDMETHODIMP SetVideoPosition(const RECT* source, const RECT* destination) override
    {
        if (!source && !destination)
            return E_POINTER;
        if (source && (source->left < 0 || source->top < 0 || source->right < source->left ||
                       source->bottom < source->top))
            return E_INVALIDARG;
        if (destination && (destination->right < destination->left || destination->bottom < destination->top))
            return E_INVALIDARG;
        std::lock_guard lock(m_lock);
        if (source)
            m_source = *source;
        if (destination)
            m_destination = *destination;
        return S_OK;
    }
    STDMETHODIMP GetVideoPosition(RECT* source, RECT* destination) override
    {
        if (!source && !destination)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        if (source)
            *source = m_source;
        if (destination)
            *destination = m_destination;
        return S_OK;
    }
    STDMETHODIMP SetVideoClippingWindow(HWND window) override
    {
        std::lock_guard lock(m_lock);
        m_window = window;
        return S_OK;
    }
    STDMETHODIMP RepaintVideo(HWND window, HDC) override
    {
        std::shared_ptr<MappedFrame> frame;
        RECT source;
        RECT destination;
        {
            std::lock_guard lock(m_lock);
            frame = m_last;
            source = m_source;
            destination = m_destination;
        }
        VideoFrameSink sink = CurrentSink();
        if (frame && sink && window)
            sink(window, frame->View(frame), source, destination);
        return S_OK;
    }
    STDMETHODIMP GetCurrentImage(BYTE** dib) override
    {
        if (!dib)
            return E_POINTER;
        *dib = nullptr;
        std::shared_ptr<MappedFrame> frame;
        {
            std::lock_guard lock(m_lock);
            frame = m_last;
        }
        if (!frame || !frame->mapped)
            return E_FAIL;
        VideoFrame view = frame->View(frame);
        const size_t rowBytes = (static_cast<size_t>(view.width) * 3 + 3) & ~static_cast<size_t>(3);
        const size_t imageBytes = rowBytes * static_cast<size_t>(view.height);
        auto* block = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(BITMAPINFOHEADER) + imageBytes));
        if (!block)
            return E_OUTOFMEMORY;
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = view.width;
        header.biHeight = view.height;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<DWORD>(imageBytes);
        std::memcpy(block, &header, sizeof header);
        BYTE* pixels = block + sizeof header;
        // A DIB with a positive height stores its bottom row first.
        for (int y = 0; y < view.height; ++y)
        {
            const BYTE* in = view.pixels + static_cast<size_t>(y) * static_cast<size_t>(view.stride);
            BYTE* out = pixels + static_cast<size_t>(view.height - 1 - y) * rowBytes;
            for (int x = 0; x < view.width; ++x)
            {
                out[x * 3] = in[x * 4];
                out[x * 3 + 1] = in[x * 4 + 1];
                out[x * 3 + 2] = in[x * 4 + 2];
            }
            std::memset(out + static_cast<size_t>(view.width) * 3, 0,
                        rowBytes - static_cast<size_t>(view.width) * 3);
        }
        *dib = block;
        return S_OK;
    }
    STDMETHODIMP SetBorderColor(COLORREF colour) override
    {
        m_border = colour;
        return S_OK;
    }
    STDMETHODIMP DisplayModeChanged() override { return S_OK; }

    HRESULT Realise(Realisation& realisation) override
    {
        std::string missing = gst::FirstMissingFactory({"videoconvert", "capsfilter", "appsink"});
        if (!missing.empty())
        {
            realisation.missing = missing;
            return REGDB_E_CLASSNOTREG;
        }
        m_convert = gst::MakeElement("videoconvert");
        GstElement* filter = gst::MakeElement("capsfilter");
        gst::CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr));
        g_object_set(filter, "caps", caps.get(), nullptr);
        GstElement* sink = gst::MakeElement("appsink");
        g_object_set(sink, "sync", FALSE, "max-buffers", 1u, "drop", TRUE, "enable-last-sample", FALSE,
                     nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &CVideoRenderer::OnSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        Adopt(realisation, m_convert);
        Adopt(realisation, filter);
        Adopt(realisation, sink);
        gst_element_link_many(m_convert, filter, sink, nullptr);
        return S_OK;
    }
    void Unrealise() override
    {
        m_convert = nullptr;
        CGstFilter::Unrealise();
    }
    GstPad* InputPad(CGstInputPin*) override
    {
        return m_convert ? gst_element_get_static_pad(m_convert, "sink") : nullptr;
    }

private:
    static GstFlowReturn OnSample(GstAppSink* sink, gpointer data)
    {
        auto* self = static_cast<CVideoRenderer*>(data);
        gst::SamplePtr sample(gst_app_sink_pull_sample(sink));
        if (!sample)
            return GST_FLOW_OK;
        auto frame = std::make_shared<MappedFrame>(sample.get());
        HWND window;
        RECT source;
        RECT destination;
        {
            std::lock_guard lock(self->m_lock);
            self->m_last = frame;
            window = self->m_window;
            source = self->m_source;
            destination = self->m_destination;
        }
        VideoFrameSink frameSink = CurrentSink();
        if (frameSink && window && frame->mapped)
            frameSink(window, frame->View(frame), source, destination);
        return GST_FLOW_OK;
    }

    CGstInputPin m_input;
    GstElement* m_convert = nullptr;
    DWORD m_mode = VMRMode_Windowed;
    std::mutex m_lock;
    HWND m_window = nullptr;
    SIZE m_native{0, 0};
    RECT m_source{0, 0, 0, 0};
    RECT m_destination{0, 0, 0, 0};
    COLORREF m_border = 0;
    std::shared_ptr<MappedFrame> m_last;
};
} // namespace

void SetVideoFrameSink(VideoFrameSink sink)
{
    std::lock_guard lock(g_sinkLock);
    g_frameSink = std::move(sink);
}

HRESULT CreateVideoRenderer7(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CVideoRenderer(CLSID_VideoMixingRenderer), iid, object);
}

HRESULT CreateVideoRenderer9(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CVideoRenderer(CLSID_VideoMixingRenderer9), iid, object);
}
} // namespace platform::dshow
