#include "Gst.h"
#include "GstFilter.h"
#include "StandardFilters_gst.h"

#include "platform/dshow/Dmo.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace platform::dshow
{
namespace
{
class CDmoWrapper;

/// The encoder's output pin, whose format the recording graph sets through IAMStreamConfig.
class CDmoOutputPin final : public CGstOutputPin, public IAMStreamConfig
{
public:
    CDmoOutputPin(CDmoWrapper* filter, CCritSec* lock);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IAMStreamConfig)
            return GetInterface(static_cast<IAMStreamConfig*>(this), object);
        return CGstOutputPin::NonDelegatingQueryInterface(iid, object);
    }
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override
    {
        if (!count || !size)
            return E_POINTER;
        *count = 1;
        *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
        return S_OK;
    }
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

private:
    CDmoWrapper* m_wrapper;
};

bool IsWmvSubtype(const GUID& subtype)
{
    for (DWORD code :
         {MAKEFOURCC('M', 'S', 'S', '1'), MAKEFOURCC('W', 'M', 'V', '1'), MAKEFOURCC('M', 'S', 'S', '2'),
          MAKEFOURCC('W', 'M', 'V', '2'), MAKEFOURCC('W', 'M', 'V', '3'), MAKEFOURCC('W', 'M', 'V', 'P')})
        if (subtype == FOURCCMap(code))
            return true;
    return false;
}

/// The DMO wrapper filter holding the Windows Media Video 8 encoder's settings. Its pins exist once
/// Init has loaded the encoder.
class CDmoWrapper final : public CGstFilter,
                          public IDMOWrapperFilter,
                          public IMediaObject,
                          public IWMCodecPrivateData,
                          public IPropertyBag
{
public:
    CDmoWrapper() : CGstFilter("DMO wrapper", nullptr, CLSID_DMOWrapperFilter) {}
    ~CDmoWrapper() override
    {
        Unrealise();
        for (auto& [name, value] : m_properties)
            VariantClear(&value);
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IDMOWrapperFilter)
            return GetInterface(static_cast<IDMOWrapperFilter*>(this), object);
        if (m_loaded)
        {
            if (iid == IID_IMediaObject)
                return GetInterface(static_cast<IMediaObject*>(this), object);
            if (iid == IID_IWMCodecPrivateData)
                return GetInterface(static_cast<IWMCodecPrivateData*>(this), object);
            if (iid == IID_IPropertyBag)
                return GetInterface(static_cast<IPropertyBag*>(this), object);
        }
        return CGstFilter::NonDelegatingQueryInterface(iid, object);
    }

    int GetPinCount() override { return m_loaded ? 2 : 0; }
    CBasePin* GetPin(int index) override
    {
        if (!m_loaded)
            return nullptr;
        return index == 0 ? static_cast<CBasePin*>(m_input.get()) : index == 1 ? m_output.get() : nullptr;
    }

    // IDMOWrapperFilter
    STDMETHODIMP Init(REFCLSID dmo, REFCLSID category) override
    {
        CAutoLock lock(&m_filterLock);
        if (m_loaded)
            return E_UNEXPECTED;
        if (dmo != CLSID_CWMV8EncMediaObject || category != DMOCATEGORY_VIDEO_ENCODER)
            return REGDB_E_CLASSNOTREG;
        m_input = std::make_unique<CGstInputPin>(this, &m_filterLock, L"in0", MEDIATYPE_Video);
        m_output = std::make_unique<CDmoOutputPin>(this, &m_filterLock);
        m_loaded = true;
        return S_OK;
    }

    HRESULT CheckInputType(CGstInputPin*, const CMediaType* type) override
    {
        return VideoInfoOf(*type, nullptr, nullptr, nullptr) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetOutputType(CGstOutputPin*, int position, CMediaType* type) override
    {
        std::lock_guard lock(m_lock);
        if (position != 0 || !m_outputType)
            return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
        *type = *m_outputType;
        return S_OK;
    }

    // IMediaObject
    STDMETHODIMP GetStreamCount(DWORD* inputs, DWORD* outputs) override
    {
        if (!inputs || !outputs)
            return E_POINTER;
        *inputs = 1;
        *outputs = 1;
        return S_OK;
    }
    STDMETHODIMP SetInputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        std::lock_guard lock(m_lock);
        if (flags & DMO_SET_TYPEF_CLEAR)
        {
            m_inputType.reset();
            return S_OK;
        }
        if (!type)
            return E_POINTER;
        if (type->majortype != MEDIATYPE_Video || !VideoInfoOf(*type, nullptr, nullptr, nullptr))
            return DMO_E_INVALIDTYPE;
        if (!(flags & DMO_SET_TYPEF_TEST_ONLY))
            m_inputType = std::make_unique<CMediaType>(*type);
        return S_OK;
    }
    STDMETHODIMP SetOutputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        std::lock_guard lock(m_lock);
        if (flags & DMO_SET_TYPEF_CLEAR)
        {
            m_outputType.reset();
            return S_OK;
        }
        if (!type)
            return E_POINTER;
        if (type->majortype != MEDIATYPE_Video || !IsWmvSubtype(type->subtype) ||
            !VideoInfoOf(*type, nullptr, nullptr, nullptr))
            return DMO_E_INVALIDTYPE;
        if (!(flags & DMO_SET_TYPEF_TEST_ONLY))
            m_outputType = std::make_unique<CMediaType>(*type);
        return S_OK;
    }
    STDMETHODIMP GetInputCurrentType(DWORD stream, DMO_MEDIA_TYPE* type) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        if (!type)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        const CMediaType* current = InputType();
        return current ? CopyMediaType(type, current) : DMO_E_TYPE_NOT_SET;
    }
    STDMETHODIMP GetOutputCurrentType(DWORD stream, DMO_MEDIA_TYPE* type) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        if (!type)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        return m_outputType ? CopyMediaType(type, m_outputType.get()) : DMO_E_TYPE_NOT_SET;
    }
    STDMETHODIMP GetInputSizeInfo(DWORD stream, DWORD* size, DWORD* lookahead, DWORD* alignment) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        if (!size || !lookahead || !alignment)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        const CMediaType* current = InputType();
        int width = 0;
        int height = 0;
        if (!current || !VideoInfoOf(*current, &width, &height, nullptr))
            return DMO_E_TYPE_NOT_SET;
        *size = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
        *lookahead = 0;
        *alignment = 1;
        return S_OK;
    }
    STDMETHODIMP GetOutputSizeInfo(DWORD stream, DWORD* size, DWORD* alignment) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        if (!size || !alignment)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        int width = 0;
        int height = 0;
        if (!m_outputType || !VideoInfoOf(*m_outputType, &width, &height, nullptr))
            return DMO_E_TYPE_NOT_SET;
        *size = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 3;
        *alignment = 1;
        return S_OK;
    }

    // IWMCodecPrivateData
    STDMETHODIMP SetPartialOutputType(DMO_MEDIA_TYPE* type) override
    {
        if (!type)
            return E_POINTER;
        if (type->majortype != MEDIATYPE_Video || !IsWmvSubtype(type->subtype))
            return DMO_E_INVALIDTYPE;
        std::lock_guard lock(m_lock);
        m_partialType = std::make_unique<CMediaType>(*type);
        return S_OK;
    }
    STDMETHODIMP GetPrivateData(BYTE*, ULONG* size) override
    {
        if (!size)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        if (!m_partialType)
            return E_UNEXPECTED;
        // The codec's own headers travel in the stream; the output type needs none.
        *size = 0;
        return S_OK;
    }

    // IPropertyBag: the encoder's settings, checked by name and type.
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        if (!name || !value)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        auto it = m_properties.find(name);
        if (it == m_properties.end())
            return E_INVALIDARG;
        if (value->vt == VT_EMPTY)
            return VariantCopy(value, &it->second);
        return VariantChangeType(value, &it->second, 0, value->vt);
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override
    {
        if (!name || !value)
            return E_POINTER;
        std::wstring key = name;
        VARTYPE wanted = ExpectedType(key);
        if (wanted == VT_EMPTY)
            return E_INVALIDARG;
        if (value->vt != wanted)
            return DISP_E_TYPEMISMATCH;
        if (wanted == VT_I4 && !InRange(key, value->lVal))
            return E_INVALIDARG;
        if (wanted == VT_BSTR)
        {
            std::wstring text = value->bstrVal ? value->bstrVal : L"";
            if (text != L"MP" && text != L"SP" && text != L"CP" && text != L"AU")
                return E_INVALIDARG;
        }
        std::lock_guard lock(m_lock);
        VARIANT& stored = m_properties[key];
        return VariantCopy(&stored, value);
    }

    HRESULT Realise(Realisation& realisation) override
    {
        // The encoder's own output feeds nothing; a stream reaching its input ends here.
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
    bool NeedsSinkForUnconnected(CGstOutputPin*) const override { return false; }

    HRESULT SetStreamFormat(AM_MEDIA_TYPE* type)
    {
        if (!type)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        if (type->majortype != MEDIATYPE_Video || !IsWmvSubtype(type->subtype) ||
            !VideoInfoOf(*type, nullptr, nullptr, nullptr))
            return VFW_E_INVALIDMEDIATYPE;
        if (m_output && m_output->IsConnected())
            return VFW_E_ALREADY_CONNECTED;
        m_outputType = std::make_unique<CMediaType>(*type);
        return S_OK;
    }
    HRESULT GetStreamFormat(AM_MEDIA_TYPE** type)
    {
        if (!type)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        *type = m_outputType ? CreateMediaType(m_outputType.get()) : nullptr;
        return m_outputType ? (*type ? S_OK : E_OUTOFMEMORY) : VFW_E_NOT_CONNECTED;
    }

private:
    const CMediaType* InputType() const
    {
        if (m_inputType)
            return m_inputType.get();
        if (m_input && m_input->IsConnected())
            return &m_input->CurrentMediaType();
        return nullptr;
    }
    static VARTYPE ExpectedType(const std::wstring& name)
    {
        if (name == L"_VBRENABLED")
            return VT_BOOL;
        if (name == L"_DECODERCOMPLEXITYREQUESTED")
            return VT_BSTR;
        for (const wchar_t* number : {L"_VBRQUALITY", L"_RAVG", L"_VIDEOWINDOW", L"_COMPLEXITYEX",
                                      L"_KEYDIST", L"_CRISP", L"_PEAKBITRATE"})
            if (name == number)
                return VT_I4;
        return VT_EMPTY;
    }
    static bool InRange(const std::wstring& name, LONG value)
    {
        if (name == L"_VBRQUALITY" || name == L"_CRISP")
            return value >= 0 && value <= 100;
        if (name == L"_COMPLEXITYEX")
            return value >= 0 && value <= 5;
        return value >= 0;
    }

    std::mutex m_lock;
    bool m_loaded = false;
    std::unique_ptr<CGstInputPin> m_input;
    std::unique_ptr<CDmoOutputPin> m_output;
    std::unique_ptr<CMediaType> m_inputType;
    std::unique_ptr<CMediaType> m_outputType;
    std::unique_ptr<CMediaType> m_partialType;
    std::map<std::wstring, VARIANT> m_properties;
    GstElement* m_sink = nullptr;
};

CDmoOutputPin::CDmoOutputPin(CDmoWrapper* filter, CCritSec* lock)
    : CGstOutputPin(filter, lock, L"out0", GUID_NULL), m_wrapper(filter)
{
}

STDMETHODIMP CDmoOutputPin::SetFormat(AM_MEDIA_TYPE* type)
{
    return m_wrapper->SetStreamFormat(type);
}

STDMETHODIMP CDmoOutputPin::GetFormat(AM_MEDIA_TYPE** type)
{
    return m_wrapper->GetStreamFormat(type);
}

STDMETHODIMP CDmoOutputPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps)
{
    if (!type || !caps)
        return E_POINTER;
    if (index != 0)
        return S_FALSE;
    HRESULT hr = m_wrapper->GetStreamFormat(type);
    if (FAILED(hr))
        return hr;
    *reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps) = VIDEO_STREAM_CONFIG_CAPS{};
    return S_OK;
}
} // namespace

HRESULT CreateDmoWrapper(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CDmoWrapper, iid, object);
}
} // namespace platform::dshow
