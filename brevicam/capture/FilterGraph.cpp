#include "FilterGraph.h"

#include "CameraControlsDialog.h"
#include "CaptureInternal.h"
#include "ComErrors.h"

#include "platform/com/ComPtr.h"
#include "platform/resources/Resources.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <cstring>
#include <string>

using platform::com::ComPtr;

namespace
{
/// The formatted text of string 114 holds at most this many characters.
constexpr size_t kMissingModuleTextMax = 157;

using capture_detail::LoadText;

std::wstring Wide(const char* text)
{
    return platform::Utf8ToWide(text ? text : "");
}
} // namespace

HRESULT ReadBagText(IPropertyBag* bag, LPCOLESTR name, CString* text)
{
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    HRESULT hr = bag->Read(name, &value, nullptr);
    if (FAILED(hr))
    {
        VariantClear(&value);
        return hr;
    }
    if (value.vt != VT_BSTR)
    {
        VARIANT converted;
        VariantInit(&converted);
        HRESULT conversion = VariantChangeType(&converted, &value, 0, VT_BSTR);
        VariantClear(&value);
        if (FAILED(conversion))
            _com_issue_error(conversion);
        value = converted;
    }
    *text = platform::WideToUtf8(value.bstrVal ? value.bstrVal : L"");
    VariantClear(&value);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------------------
// CFilterGraph
// ---------------------------------------------------------------------------------------------------------

CFilterGraph::CFilterGraph() : m_bBuilt(false), m_nRunState(2), m_pGraph(nullptr)
{
    ComPtr<IUnknown> manager;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IUnknown, manager.PutVoid());
    if (FAILED(hr))
        AtlThrow(hr);
    hr = OleRun(manager.Get());
    if (FAILED(hr))
        AtlThrow(hr);
    hr = manager->QueryInterface(IID_IGraphBuilder, reinterpret_cast<void**>(&m_pGraph));
    if (FAILED(hr))
    {
        m_pGraph = nullptr;
        AtlThrow(hr);
    }
}

CFilterGraph::~CFilterGraph()
{
    if (m_pGraph)
        m_pGraph->Release();
    m_pGraph = nullptr;
}

HRESULT CFilterGraph::AddFilter(CDSFilter* filter)
{
    if (!m_pGraph)
        _com_issue_error(E_POINTER);
    std::wstring name = Wide(filter->GetName());
    return m_pGraph->AddFilter(filter->GetFilter(), name.c_str());
}

HRESULT CFilterGraph::RemoveFilter(CDSFilter* filter)
{
    if (!filter)
        return E_INVALIDARG;
    if (!m_pGraph)
        _com_issue_error(E_POINTER);
    return m_pGraph->RemoveFilter(filter->GetFilter());
}

void CFilterGraph::RemoveDownstream(IBaseFilter* filter)
{
    if (!filter || !m_pGraph)
        return;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put())) || !pins)
        return;
    pins->Reset();
    IPin* raw = nullptr;
    while (pins->Next(1, &raw, nullptr) == S_OK)
    {
        ComPtr<IPin> pin = ComPtr<IPin>::Adopt(raw);
        raw = nullptr;
        if (!pin)
            continue;
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.Put())) || !peer)
            continue;
        PIN_INFO info{};
        if (FAILED(peer->QueryPinInfo(&info)))
            return;
        ComPtr<IBaseFilter> peerFilter = ComPtr<IBaseFilter>::Adopt(info.pFilter);
        if (info.dir == PINDIR_INPUT)
        {
            RemoveDownstream(peerFilter.Get());
            m_pGraph->Disconnect(peer.Get());
            m_pGraph->Disconnect(pin.Get());
            m_pGraph->RemoveFilter(peerFilter.Get());
        }
    }
}

HRESULT CFilterGraph::ConnectToFilter(IPin* output, IBaseFilter* filter)
{
    if (!m_pGraph || !output || !filter)
        return E_POINTER;
    ComPtr<IPin> input;
    HRESULT hr = GetUnconnectedPin(filter, PINDIR_INPUT, input.Put());
    if (FAILED(hr))
        return hr;
    return m_pGraph->ConnectDirect(output, input.Get(), nullptr);
}

HRESULT CFilterGraph::GetUnconnectedPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin)
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
        if (FAILED(candidate->QueryDirection(&actual)) || actual != direction)
            continue;
        ComPtr<IPin> peer;
        if (FAILED(candidate->ConnectedTo(peer.Put())))
        {
            *pin = candidate.Detach();
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT CFilterGraph::ChangeState(int target)
{
    if (m_nRunState == target)
        return S_OK;
    ComPtr<IMediaControl> control =
        ComPtr<IMediaControl>::Adopt(QueryOrThrow<IMediaControl>(m_pGraph, IID_IMediaControl));
    if (!control)
        return E_INVALIDARG;
    m_nRunState = target;
    switch (target)
    {
    case 0:
        return control->Run();
    case 1:
        return control->Pause();
    default:
        return control->Stop();
    }
}

HRESULT CFilterGraph::Run()
{
    return ChangeState(0);
}

HRESULT CFilterGraph::Pause()
{
    return ChangeState(1);
}

HRESULT CFilterGraph::Stop()
{
    return ChangeState(2);
}

HRESULT CFilterGraph::GetState(LONG timeoutMs, OAFilterState* state)
{
    ComPtr<IMediaControl> control =
        ComPtr<IMediaControl>::Adopt(QueryOrThrow<IMediaControl>(m_pGraph, IID_IMediaControl));
    if (!control)
        _com_issue_error(E_POINTER);
    return control->GetState(timeoutMs, state);
}

// ---------------------------------------------------------------------------------------------------------
// CDSFilter
// ---------------------------------------------------------------------------------------------------------

CDSFilter::CDSFilter() : m_pFilter(nullptr), m_szName{}, m_hResInst(AfxGetResourceHandle())
{
    SetName(LoadText(m_hResInst, IDS_NONE));
}

CDSFilter::CDSFilter(const char* name, REFCLSID classId) : CDSFilter()
{
    CreateFromClsid(name, classId);
}

CDSFilter::CDSFilter(const char* name, REFCLSID category, FromCategory) : CDSFilter()
{
    CreateFromCategory(name, category);
}

CDSFilter::~CDSFilter()
{
    ReleaseFilter();
}

void CDSFilter::SetName(const char* name)
{
    platform::CopyTruncated(m_szName, kNameSize, name ? name : "");
}

void CDSFilter::ThrowMissingModule() const
{
    std::string text(LoadText(m_hResInst, IDS_MISSING_MODULE).Str());
    // The name goes in by replacement, never as a format: the text comes from a resource file.
    if (size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, m_szName);
    throw CMissingModuleException(std::string(platform::Utf8Prefix(text, kMissingModuleTextMax)));
}

void CDSFilter::CreateFromClsid(const char* name, REFCLSID classId)
{
    SetName(name);
    ReleaseFilter();
    if (FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&m_pFilter))))
    {
        m_pFilter = nullptr;
        ThrowMissingModule();
    }
}

void CDSFilter::CreateFromCategory(const char* name, REFCLSID category)
{
    SetName(name);
    if (FAILED(BindByFriendlyName(name, category)))
        ThrowMissingModule();
}

HRESULT CDSFilter::BindByFriendlyName(const char* name, REFCLSID category)
{
    const CString wanted(name ? name : "");
    ComPtr<IUnknown> unknown;
    HRESULT hr =
        CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.PutVoid());
    if (FAILED(hr))
        _com_issue_error(hr);
    hr = OleRun(unknown.Get());
    if (FAILED(hr))
        _com_issue_error(hr);
    ComPtr<ICreateDevEnum> devices =
        ComPtr<ICreateDevEnum>::Adopt(QueryOrThrow<ICreateDevEnum>(unknown.Get(), IID_ICreateDevEnum));
    if (!devices)
        _com_issue_error(E_POINTER);
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(category, monikers.Put(), 0) != S_OK)
        return E_INVALIDARG;
    bool bound = false;
    IMoniker* raw = nullptr;
    while (!bound && monikers->Next(1, &raw, nullptr) == S_OK)
    {
        ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Adopt(raw);
        raw = nullptr;
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())))
            continue;
        CString friendlyName;
        if (FAILED(ReadBagText(bag.Get(), L"FriendlyName", &friendlyName)) || friendlyName != wanted)
            continue;
        ReleaseFilter();
        hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&m_pFilter));
        if (FAILED(hr))
        {
            m_pFilter = nullptr;
            return hr;
        }
        bound = true;
    }
    return bound ? S_OK : E_INVALIDARG;
}

void CDSFilter::ReleaseFilter()
{
    if (m_pFilter)
        m_pFilter->Release();
    m_pFilter = nullptr;
}

HRESULT CDSFilter::FindPin(IPin** pin, PIN_DIRECTION direction, LPCWSTR name)
{
    if (!pin)
        return E_POINTER;
    *pin = nullptr;
    if (!m_pFilter)
        _com_issue_error(E_POINTER);
    ComPtr<IEnumPins> pins;
    HRESULT hr = m_pFilter->EnumPins(pins.Put());
    if (FAILED(hr))
        return hr;
    IPin* raw = nullptr;
    while (pins->Next(1, &raw, nullptr) == S_OK)
    {
        ComPtr<IPin> candidate = ComPtr<IPin>::Adopt(raw);
        raw = nullptr;
        PIN_INFO info{};
        hr = candidate->QueryPinInfo(&info);
        if (FAILED(hr))
            return hr;
        if (info.pFilter)
            info.pFilter->Release();
        if (info.dir != direction)
            continue;
        if (name)
        {
            size_t length = std::min(std::wcslen(info.achName), std::wcslen(name));
            if (std::wcsncmp(info.achName, name, length) != 0)
                continue;
        }
        *pin = candidate.Detach();
        return S_OK;
    }
    return E_FAIL;
}

bool CDSFilter::ShowPropertyPages(HWND owner)
{
    // The settings a filter has here are a camera's picture controls; no filter has a codec dialog or
    // property pages of its own.
    if (!m_pFilter)
        return false;
    return ShowCameraControls(owner, m_pFilter);
}

// ---------------------------------------------------------------------------------------------------------
// CDSDeviceFilter
// ---------------------------------------------------------------------------------------------------------

CDSDeviceFilter::CDSDeviceFilter(IGraphBuilder* graph, IMoniker* moniker)
    : CDSFilter(), m_pMoniker(nullptr), m_pGraph(graph)
{
    if (m_pGraph)
        m_pGraph->AddRef();
    try
    {
        if (!moniker)
            AtlThrow(E_FAIL);
        HRESULT hr = BindMoniker(moniker);
        if (hr != S_OK)
            AtlThrow(hr);
    }
    catch (...)
    {
        ReleaseDevice();
        throw;
    }
}

CDSDeviceFilter::~CDSDeviceFilter()
{
    ReleaseDevice();
}

HRESULT CDSDeviceFilter::BindMoniker(IMoniker* moniker)
{
    ComPtr<IPropertyBag> bag;
    HRESULT hr = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid());
    if (FAILED(hr))
        return hr;
    CString friendlyName;
    hr = ReadBagText(bag.Get(), L"FriendlyName", &friendlyName);
    if (FAILED(hr))
        return hr;
    IBaseFilter* filter = nullptr;
    try
    {
        hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
    }
    catch (...)
    {
        return E_ABORT;
    }
    if (SUCCEEDED(hr))
    {
        ReleaseFilter();
        m_pFilter = filter;
        SetName(friendlyName);
        // The new reference is taken before the old one goes, so rebinding the same moniker is safe.
        moniker->AddRef();
        if (m_pMoniker)
            m_pMoniker->Release();
        m_pMoniker = moniker;
    }
    return hr;
}

void CDSDeviceFilter::ReleaseDevice()
{
    if (m_pGraph)
        m_pGraph->Release();
    m_pGraph = nullptr;
    if (m_pMoniker)
        m_pMoniker->Release();
    m_pMoniker = nullptr;
    ReleaseFilter();
}
