#include "StandardFilters_gst.h"

#include "Gst.h"
#include "GstFilter.h"

#include "platform/dshow/Qedit.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace platform::dshow
{
namespace
{
/// Filters whose outputs carry their input's stream unchanged.
class CPassFilter : public CGstFilter
{
public:
    using CGstFilter::CGstFilter;

    HRESULT GetOutputType(CGstOutputPin*, int position, CMediaType* type) override
    {
        CGstInputPin* input = Input();
        if (!input->IsConnected())
            return VFW_E_NOT_CONNECTED;
        if (position != 0)
            return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
        *type = input->CurrentMediaType();
        return S_OK;
    }
    HRESULT CheckOutputType(CGstOutputPin*, const CMediaType* type) override
    {
        CGstInputPin* input = Input();
        if (!input->IsConnected())
            return VFW_E_NOT_CONNECTED;
        return type->majortype == input->CurrentMediaType().majortype ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    void OnInputChanged(CGstInputPin* pin) override { PassTypeDownstream(pin); }

protected:
    virtual CGstInputPin* Input() = 0;
};

class CSmartTee final : public CPassFilter
{
public:
    CSmartTee()
        : CPassFilter("smart tee", nullptr, CLSID_SmartTee),
          m_input(this, &m_filterLock, L"Input", GUID_NULL),
          m_capture(this, &m_filterLock, L"Capture", PIN_CATEGORY_CAPTURE),
          m_preview(this, &m_filterLock, L"Preview", PIN_CATEGORY_PREVIEW)
    {
    }
    ~CSmartTee() override { Unrealise(); }
    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int index) override
    {
        switch (index)
        {
        case 0:
            return &m_input;
        case 1:
            return &m_capture;
        case 2:
            return &m_preview;
        default:
            return nullptr;
        }
    }
    HRESULT Realise(Realisation& realisation) override
    {
        m_tee = gst::MakeElement("tee");
        if (!m_tee)
        {
            realisation.missing = "tee";
            return REGDB_E_CLASSNOTREG;
        }
        g_object_set(m_tee, "allow-not-linked", TRUE, nullptr);
        Adopt(realisation, m_tee);
        return S_OK;
    }
    void Unrealise() override
    {
        m_tee = nullptr;
        CGstFilter::Unrealise();
    }
    GstPad* InputPad(CGstInputPin*) override
    {
        return m_tee ? gst_element_get_static_pad(m_tee, "sink") : nullptr;
    }
    GstPad* OutputPad(CGstOutputPin*) override
    {
        return m_tee ? gst_element_request_pad_simple(m_tee, "src_%u") : nullptr;
    }
    bool NeedsSinkForUnconnected(CGstOutputPin*) const override { return false; }

private:
    CGstInputPin* Input() override { return &m_input; }

    CGstInputPin m_input;
    CGstOutputPin m_capture;
    CGstOutputPin m_preview;
    GstElement* m_tee = nullptr;
};

class CColourConverter final : public CPassFilter
{
public:
    CColourConverter()
        : CPassFilter("colour space converter", nullptr, CLSID_Colour),
          m_input(this, &m_filterLock, L"Input", MEDIATYPE_Video),
          m_output(this, &m_filterLock, L"XForm Out", GUID_NULL)
    {
    }
    ~CColourConverter() override { Unrealise(); }
    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int index) override
    {
        return index == 0 ? static_cast<CBasePin*>(&m_input) : index == 1 ? &m_output : nullptr;
    }
    HRESULT Realise(Realisation& realisation) override
    {
        m_convert = gst::MakeElement("videoconvert");
        if (!m_convert)
        {
            realisation.missing = "videoconvert";
            return REGDB_E_CLASSNOTREG;
        }
        Adopt(realisation, m_convert);
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
    GstPad* OutputPad(CGstOutputPin*) override
    {
        return m_convert ? gst_element_get_static_pad(m_convert, "src") : nullptr;
    }

private:
    CGstInputPin* Input() override { return &m_input; }

    CGstInputPin m_input;
    CGstOutputPin m_output;
    GstElement* m_convert = nullptr;
};

class CNullRenderer final : public CGstFilter
{
public:
    CNullRenderer()
        : CGstFilter("null renderer", nullptr, CLSID_NullRenderer),
          m_input(this, &m_filterLock, L"In", GUID_NULL)
    {
    }
    ~CNullRenderer() override { Unrealise(); }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &m_input : nullptr; }
    HRESULT Realise(Realisation& realisation) override
    {
        m_sink = gst::MakeElement("fakesink");
        if (!m_sink)
        {
            realisation.missing = "fakesink";
            return REGDB_E_CLASSNOTREG;
        }
        g_object_set(m_sink, "sync", FALSE, "async", FALSE, nullptr);
        Adopt(realisation, m_sink);
        return S_OK;
    }
    void Unrealise() override
    {
        m_sink = nullptr;
        CGstFilter::Unrealise();
    }
    GstPad* InputPad(CGstInputPin*) override
    {
        return m_sink ? gst_element_get_static_pad(m_sink, "sink") : nullptr;
    }

private:
    CGstInputPin m_input;
    GstElement* m_sink = nullptr;
};

/// A sample handed to a grabber's callback: the frame's bytes, mapped for as long as the sample lives.
class CGstMediaSample final : public IMediaSample
{
public:
    CGstMediaSample(GstBuffer* buffer, REFERENCE_TIME start)
        : m_buffer(gst_buffer_ref(buffer)), m_start(start)
    {
        m_mapped = gst_buffer_map(m_buffer, &m_map, GST_MAP_READ);
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IMediaSample)
        {
            *object = static_cast<IMediaSample*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHODIMP GetPointer(BYTE** buffer) override
    {
        if (!buffer)
            return E_POINTER;
        *buffer = m_mapped ? m_map.data : nullptr;
        return S_OK;
    }
    STDMETHODIMP_(long) GetSize() override { return m_mapped ? static_cast<long>(m_map.size) : 0; }
    STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override
    {
        if (!start || !stop)
            return E_POINTER;
        *start = m_start;
        *stop = m_start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    STDMETHODIMP SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    STDMETHODIMP IsSyncPoint() override
    {
        return GST_BUFFER_FLAG_IS_SET(m_buffer, GST_BUFFER_FLAG_DELTA_UNIT) ? S_FALSE : S_OK;
    }
    STDMETHODIMP SetSyncPoint(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP IsPreroll() override { return S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP_(long) GetActualDataLength() override { return GetSize(); }
    STDMETHODIMP SetActualDataLength(long) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override
    {
        if (!type)
            return E_POINTER;
        *type = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDiscontinuity() override
    {
        return GST_BUFFER_FLAG_IS_SET(m_buffer, GST_BUFFER_FLAG_DISCONT) ? S_OK : S_FALSE;
    }
    STDMETHODIMP SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
    STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

private:
    ~CGstMediaSample()
    {
        if (m_mapped)
            gst_buffer_unmap(m_buffer, &m_map);
        gst_buffer_unref(m_buffer);
    }
    static constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = static_cast<HRESULT>(0x80040251u);

    std::atomic<ULONG> m_refs{1};
    GstBuffer* m_buffer;
    GstMapInfo m_map{};
    bool m_mapped = false;
    REFERENCE_TIME m_start;
};

class CSampleGrabber final : public CPassFilter, public ISampleGrabber
{
public:
    CSampleGrabber()
        : CPassFilter("sample grabber", nullptr, CLSID_SampleGrabber),
          m_input(this, &m_filterLock, L"Input", GUID_NULL),
          m_output(this, &m_filterLock, L"Output", GUID_NULL)
    {
    }
    ~CSampleGrabber() override
    {
        Unrealise();
        if (m_callback)
            m_callback->Release();
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_ISampleGrabber)
            return GetInterface(static_cast<ISampleGrabber*>(this), object);
        return CPassFilter::NonDelegatingQueryInterface(iid, object);
    }

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int index) override
    {
        return index == 0 ? static_cast<CBasePin*>(&m_input) : index == 1 ? &m_output : nullptr;
    }

    HRESULT CheckInputType(CGstInputPin*, const CMediaType* type) override
    {
        std::lock_guard lock(m_lock);
        if (m_wanted.majortype != GUID_NULL && m_wanted.majortype != type->majortype)
            return VFW_E_TYPE_NOT_ACCEPTED;
        if (m_wanted.subtype != GUID_NULL && m_wanted.subtype != type->subtype)
            return VFW_E_TYPE_NOT_ACCEPTED;
        if (m_wanted.formattype != GUID_NULL && m_wanted.formattype != type->formattype)
            return VFW_E_TYPE_NOT_ACCEPTED;
        return S_OK;
    }

    STDMETHODIMP SetOneShot(BOOL oneShot) override
    {
        m_oneShot = oneShot != FALSE;
        return S_OK;
    }
    STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE* type) override
    {
        if (!type)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        m_wanted = *type;
        return S_OK;
    }
    STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* type) override
    {
        if (!type)
            return E_POINTER;
        if (!m_input.IsConnected())
            return VFW_E_NOT_CONNECTED;
        return CopyMediaType(type, &m_input.CurrentMediaType());
    }
    STDMETHODIMP SetBufferSamples(BOOL buffer) override
    {
        m_bufferSamples = buffer != FALSE;
        return S_OK;
    }
    STDMETHODIMP GetCurrentBuffer(long* size, long* buffer) override
    {
        if (!size)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        if (!m_hasSample)
            return VFW_E_WRONG_STATE;
        if (!buffer)
        {
            *size = static_cast<long>(m_sample.size());
            return S_OK;
        }
        if (*size < static_cast<long>(m_sample.size()))
            return E_OUTOFMEMORY;
        std::memcpy(buffer, m_sample.data(), m_sample.size());
        *size = static_cast<long>(m_sample.size());
        return S_OK;
    }
    STDMETHODIMP GetCurrentSample(IMediaSample** sample) override
    {
        if (!sample)
            return E_POINTER;
        *sample = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetCallback(ISampleGrabberCB* callback, long method) override
    {
        if (callback && method != 0 && method != 1)
            return E_INVALIDARG;
        std::lock_guard lock(m_lock);
        if (callback)
            callback->AddRef();
        if (m_callback)
            m_callback->Release();
        m_callback = callback;
        m_method = method;
        return S_OK;
    }

    HRESULT Realise(Realisation& realisation) override
    {
        m_pass = gst::MakeElement("identity");
        if (!m_pass)
        {
            realisation.missing = "identity";
            return REGDB_E_CLASSNOTREG;
        }
        Adopt(realisation, m_pass);
        m_delivered = false;
        gst::PadPtr pad(gst_element_get_static_pad(m_pass, "sink"));
        gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &CSampleGrabber::OnBuffer, this, nullptr);
        return S_OK;
    }
    void Unrealise() override
    {
        m_pass = nullptr;
        CGstFilter::Unrealise();
    }
    GstPad* InputPad(CGstInputPin*) override
    {
        return m_pass ? gst_element_get_static_pad(m_pass, "sink") : nullptr;
    }
    GstPad* OutputPad(CGstOutputPin*) override
    {
        return m_pass ? gst_element_get_static_pad(m_pass, "src") : nullptr;
    }

private:
    CGstInputPin* Input() override { return &m_input; }

    static GstPadProbeReturn OnBuffer(GstPad*, GstPadProbeInfo* info, gpointer data)
    {
        auto* self = static_cast<CSampleGrabber*>(data);
        if (self->m_oneShot && self->m_delivered.exchange(true))
            return GST_PAD_PROBE_DROP;
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        REFERENCE_TIME start =
            GST_BUFFER_PTS_IS_VALID(buffer) ? static_cast<REFERENCE_TIME>(GST_BUFFER_PTS(buffer) / 100) : 0;
        double seconds = static_cast<double>(start) / UNITS;
        ISampleGrabberCB* callback = nullptr;
        long method = 0;
        {
            std::lock_guard lock(self->m_lock);
            if (self->m_bufferSamples)
            {
                GstMapInfo map;
                if (gst_buffer_map(buffer, &map, GST_MAP_READ))
                {
                    self->m_sample.assign(map.data, map.data + map.size);
                    self->m_hasSample = true;
                    gst_buffer_unmap(buffer, &map);
                }
            }
            callback = self->m_callback;
            method = self->m_method;
            if (callback)
                callback->AddRef();
        }
        if (callback)
        {
            if (method == 0)
            {
                auto* sample = new CGstMediaSample(buffer, start);
                callback->SampleCB(seconds, sample);
                sample->Release();
            }
            else
            {
                GstMapInfo map;
                if (gst_buffer_map(buffer, &map, GST_MAP_READ))
                {
                    callback->BufferCB(seconds, map.data, static_cast<long>(map.size));
                    gst_buffer_unmap(buffer, &map);
                }
            }
            callback->Release();
        }
        return GST_PAD_PROBE_OK;
    }

    CGstInputPin m_input;
    CGstOutputPin m_output;
    GstElement* m_pass = nullptr;
    std::mutex m_lock;
    CMediaType m_wanted{};
    std::atomic<bool> m_oneShot{false};
    std::atomic<bool> m_bufferSamples{false};
    std::atomic<bool> m_delivered{false};
    std::vector<BYTE> m_sample;
    bool m_hasSample = false;
    ISampleGrabberCB* m_callback = nullptr;
    long m_method = 0;
};
} // namespace

HRESULT CreateSmartTee(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CSmartTee, iid, object);
}

HRESULT CreateColourConverter(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CColourConverter, iid, object);
}

HRESULT CreateNullRenderer(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CNullRenderer, iid, object);
}

HRESULT CreateSampleGrabber(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CSampleGrabber, iid, object);
}
} // namespace platform::dshow
