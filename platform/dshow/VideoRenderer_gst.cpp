#include "Gst.h"
#include "GstFilter.h"
#include "StandardFilters_gst.h"

#include "platform/com/Com.h"
#include "platform/dshow/Presentation.h"
#include "platform/dshow/Vmr.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

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

/// `source`, given in the camera's frame of `native` size, in the coordinates of a frame scaled to
/// `width` x `height`.
RECT InScaledFrame(const RECT& source, SIZE native, int width, int height)
{
    if (native.cx <= 0 || native.cy <= 0 || (width == native.cx && height == native.cy))
        return source;
    auto scale = [](LONG at, int to, LONG from)
    { return static_cast<LONG>((static_cast<long long>(at) * to + from / 2) / from); };
    return {scale(source.left, width, native.cx), scale(source.top, height, native.cy),
            scale(source.right, width, native.cx), scale(source.bottom, height, native.cy)};
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
    ~CVideoRenderer() override
    {
        Unrealise();
        std::lock_guard lock(m_lock);
        DropFullFrame();
    }

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
        UpdateShownSize();
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
        {
            std::lock_guard lock(m_lock);
            if (source)
                m_source = *source;
            if (destination)
                m_destination = *destination;
        }
        UpdateShownSize();
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
        SIZE native;
        {
            std::lock_guard lock(m_lock);
            frame = m_last;
            source = m_source;
            destination = m_destination;
            native = m_native;
        }
        VideoFrameSink sink = CurrentSink();
        if (frame && sink && window)
        {
            const VideoFrame view = frame->View(frame);
            sink(window, view, InScaledFrame(source, native, view.width, view.height), destination);
        }
        return S_OK;
    }
    STDMETHODIMP GetCurrentImage(BYTE** dib) override
    {
        if (!dib)
            return E_POINTER;
        *dib = nullptr;
        GstBuffer* buffer = nullptr;
        gst::CapsPtr caps;
        {
            std::lock_guard lock(m_lock);
            if (m_fullFrame && m_fullCaps)
            {
                buffer = gst_buffer_ref(m_fullFrame);
                caps.reset(gst_caps_ref(m_fullCaps.get()));
            }
        }
        if (!buffer)
            return E_FAIL;
        BYTE* block = FullFrameDib(buffer, caps.get());
        gst_buffer_unref(buffer);
        if (!block)
            return E_FAIL;
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
        std::string missing =
            gst::FirstMissingFactory({"videoscale", "videoconvert", "capsfilter", "appsink"});
        if (!missing.empty())
        {
            realisation.missing = missing;
            return REGDB_E_CLASSNOTREG;
        }
        // The picture is scaled to the size shown before it is converted, so that both steps work on as
        // few pixels as the window shows and the user-interface thread only draws it; the camera's
        // full-size frame is kept for GetCurrentImage, which converts it only when asked.
        m_scale = gst::MakeElement("videoscale");
        GstElement* convert = gst::MakeElement("videoconvert");
        // A camera's colours come one sample to two pixels (YUY2, I420): the shown picture gives both
        // pixels that colour instead of resampling it, which takes the converter's direct path, at no
        // visible cost at the size shown.
        gst_util_set_object_arg(G_OBJECT(convert), "chroma-mode", "none");
        GstElement* filter = gst::MakeElement("capsfilter");
        GstElement* sink = gst::MakeElement("appsink");
        g_object_set(sink, "sync", FALSE, "max-buffers", 1u, "drop", TRUE, "enable-last-sample", FALSE,
                     nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &CVideoRenderer::OnSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        gst::PadPtr input(gst_element_get_static_pad(m_scale, "sink"));
        gst_pad_add_probe(input.get(), GST_PAD_PROBE_TYPE_BUFFER, &CVideoRenderer::OnFullFrame, this,
                          nullptr);
        Adopt(realisation, m_scale);
        Adopt(realisation, convert);
        Adopt(realisation, filter);
        Adopt(realisation, sink);
        gst_element_link_many(m_scale, convert, filter, sink, nullptr);
        {
            std::lock_guard lock(m_lock);
            m_sizeFilter = filter;
            m_shown = {-1, -1};
        }
        UpdateShownSize();
        return S_OK;
    }
    void Unrealise() override
    {
        {
            std::lock_guard lock(m_lock);
            m_sizeFilter = nullptr;
        }
        m_scale = nullptr;
        CGstFilter::Unrealise();
    }
    GstPad* InputPad(CGstInputPin*) override
    {
        return m_scale ? gst_element_get_static_pad(m_scale, "sink") : nullptr;
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
        SIZE native;
        {
            std::lock_guard lock(self->m_lock);
            self->m_last = frame;
            window = self->m_window;
            source = self->m_source;
            destination = self->m_destination;
            native = self->m_native;
        }
        VideoFrameSink frameSink = CurrentSink();
        if (frameSink && window && frame->mapped)
        {
            const VideoFrame view = frame->View(frame);
            frameSink(window, view, InScaledFrame(source, native, view.width, view.height), destination);
        }
        return GST_FLOW_OK;
    }

    /// Keeps the newest frame as the camera delivered it (a reference, no copy).
    static GstPadProbeReturn OnFullFrame(GstPad* pad, GstPadProbeInfo* info, gpointer data)
    {
        auto* self = static_cast<CVideoRenderer*>(data);
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        GstCaps* caps = gst_pad_get_current_caps(pad);
        {
            std::lock_guard lock(self->m_lock);
            gst_buffer_replace(&self->m_fullFrame, buffer);
            if (caps && (!self->m_fullCaps || !gst_caps_is_equal(caps, self->m_fullCaps.get())))
                self->m_fullCaps.reset(gst_caps_ref(caps));
        }
        if (caps)
            gst_caps_unref(caps);
        return GST_PAD_PROBE_OK;
    }

    /// Call with m_lock held.
    void DropFullFrame()
    {
        gst_buffer_replace(&m_fullFrame, nullptr);
        m_fullCaps.reset();
    }

    /// The size the shown picture is scaled to: the part of the frame shown (the source rectangle) at the
    /// size of the destination, or the camera's own size when the picture is shown at that size or
    /// larger (scaling it up is left to the drawing). {0, 0} for the camera's own size.
    SIZE ShownSize() const
    {
        const LONG sourceWidth = m_source.right - m_source.left;
        const LONG sourceHeight = m_source.bottom - m_source.top;
        const LONG width = m_destination.right - m_destination.left;
        const LONG height = m_destination.bottom - m_destination.top;
        if (m_native.cx <= 0 || m_native.cy <= 0 || sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 ||
            height <= 0 || (width >= sourceWidth && height >= sourceHeight))
            return {0, 0};
        auto scaled = [](LONG native, LONG shown, LONG part)
        {
            if (shown >= part)
                return native;
            return std::max<LONG>(
                1, static_cast<LONG>((static_cast<long long>(native) * shown + part / 2) / part));
        };
        return {scaled(m_native.cx, width, sourceWidth), scaled(m_native.cy, height, sourceHeight)};
    }

    /// Asks the display branch for frames of the size shown when it has changed; the pipeline
    /// renegotiates while it runs.
    void UpdateShownSize()
    {
        GstElement* filter = nullptr;
        SIZE shown{};
        {
            std::lock_guard lock(m_lock);
            shown = ShownSize();
            if (!m_sizeFilter || (shown.cx == m_shown.cx && shown.cy == m_shown.cy))
                return;
            m_shown = shown;
            filter = GST_ELEMENT(gst_object_ref(m_sizeFilter));
        }
        gst::CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr));
        if (shown.cx > 0 && shown.cy > 0)
            gst_caps_set_simple(caps.get(), "width", G_TYPE_INT, static_cast<int>(shown.cx), "height",
                                G_TYPE_INT, static_cast<int>(shown.cy), nullptr);
        g_object_set(filter, "caps", caps.get(), nullptr);
        gst_object_unref(filter);
    }

    /// `buffer` of `caps` as a packed DIB (BITMAPINFOHEADER and bottom-up BGR rows) in a CoTaskMemAlloc
    /// block; null when it cannot be read.
    static BYTE* FullFrameDib(GstBuffer* buffer, GstCaps* caps)
    {
        GstVideoInfo in;
        if (!gst_video_info_from_caps(&in, caps))
            return nullptr;
        const int width = GST_VIDEO_INFO_WIDTH(&in);
        const int height = GST_VIDEO_INFO_HEIGHT(&in);
        GstVideoInfo out;
        if (width <= 0 || height <= 0 ||
            !gst_video_info_set_format(&out, GST_VIDEO_FORMAT_BGR, width, height))
            return nullptr;
        // The converter changes the pixels only; the rest of the description stays the frame's own.
        GST_VIDEO_INFO_FPS_N(&out) = GST_VIDEO_INFO_FPS_N(&in);
        GST_VIDEO_INFO_FPS_D(&out) = GST_VIDEO_INFO_FPS_D(&in);
        GST_VIDEO_INFO_PAR_N(&out) = GST_VIDEO_INFO_PAR_N(&in);
        GST_VIDEO_INFO_PAR_D(&out) = GST_VIDEO_INFO_PAR_D(&in);
        GST_VIDEO_INFO_INTERLACE_MODE(&out) = GST_VIDEO_INFO_INTERLACE_MODE(&in);
        const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
        const size_t imageBytes = rowBytes * static_cast<size_t>(height);
        if (static_cast<size_t>(GST_VIDEO_INFO_PLANE_STRIDE(&out, 0)) != rowBytes ||
            GST_VIDEO_INFO_SIZE(&out) != imageBytes)
            return nullptr;
        auto* block = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(BITMAPINFOHEADER) + imageBytes));
        if (!block)
            return nullptr;
        BYTE* pixels = block + sizeof(BITMAPINFOHEADER);
        bool converted = false;
        GstVideoFrame from;
        if (gst_video_frame_map(&from, &in, buffer, GST_MAP_READ))
        {
            GstBuffer* target = gst_buffer_new_wrapped_full(static_cast<GstMemoryFlags>(0), pixels,
                                                            imageBytes, 0, imageBytes, nullptr, nullptr);
            GstVideoFrame to;
            if (gst_video_frame_map(&to, &out, target, GST_MAP_WRITE))
            {
                if (GstVideoConverter* converter = gst_video_converter_new(&in, &out, nullptr))
                {
                    gst_video_converter_frame(converter, &from, &to);
                    gst_video_converter_free(converter);
                    converted = true;
                }
                gst_video_frame_unmap(&to);
            }
            gst_buffer_unref(target);
            gst_video_frame_unmap(&from);
        }
        if (!converted)
        {
            CoTaskMemFree(block);
            return nullptr;
        }
        // The rows came out top-down; a DIB with a positive height stores its bottom row first.
        std::vector<BYTE> row(rowBytes);
        for (int y = 0; y < height / 2; ++y)
        {
            BYTE* upper = pixels + static_cast<size_t>(y) * rowBytes;
            BYTE* lower = pixels + static_cast<size_t>(height - 1 - y) * rowBytes;
            std::memcpy(row.data(), upper, rowBytes);
            std::memcpy(upper, lower, rowBytes);
            std::memcpy(lower, row.data(), rowBytes);
        }
        for (int y = 0; y < height; ++y)
            std::memset(pixels + static_cast<size_t>(y) * rowBytes + static_cast<size_t>(width) * 3, 0,
                        rowBytes - static_cast<size_t>(width) * 3);
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = width;
        header.biHeight = height;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<DWORD>(imageBytes);
        std::memcpy(block, &header, sizeof header);
        return block;
    }

    CGstInputPin m_input;
    GstElement* m_scale = nullptr;
    DWORD m_mode = VMRMode_Windowed;
    std::mutex m_lock;
    HWND m_window = nullptr;
    SIZE m_native{0, 0};
    RECT m_source{0, 0, 0, 0};
    RECT m_destination{0, 0, 0, 0};
    COLORREF m_border = 0;
    std::shared_ptr<MappedFrame> m_last;
    /// The display branch's size step and the size it was last given ({0, 0}: the camera's own).
    GstElement* m_sizeFilter = nullptr;
    SIZE m_shown{-1, -1};
    GstBuffer* m_fullFrame = nullptr;
    gst::CapsPtr m_fullCaps;
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
