#include "FilterGraph_gst.h"
#include "Gst.h"
#include "GstFilter.h"
#include "StandardFilters_gst.h"

#include "platform/com/ComPtr.h"

#include <new>

namespace platform::dshow
{
namespace
{
using platform::com::ComPtr;

/// Whether a pin carries the major type `type`: by its connection, or by any type it offers.
bool PinCarries(IPin* pin, const GUID* type)
{
    if (!type)
        return true;
    AM_MEDIA_TYPE connection{};
    if (SUCCEEDED(pin->ConnectionMediaType(&connection)))
    {
        bool same = connection.majortype == *type;
        FreeMediaType(connection);
        return same;
    }
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(types.Put())) || !types)
        return false;
    AM_MEDIA_TYPE* offered = nullptr;
    bool found = false;
    while (!found && types->Next(1, &offered, nullptr) == S_OK && offered)
    {
        found = offered->majortype == *type;
        DeleteMediaType(offered);
        offered = nullptr;
    }
    return found;
}

bool PinInCategory(IPin* pin, const GUID* category)
{
    if (!category)
        return true;
    CGstOutputPin* ours = CGstFilter::OutputFrom(pin);
    return ours && ours->Category() == *category;
}

bool IsConnected(IPin* pin)
{
    ComPtr<IPin> peer;
    return SUCCEEDED(pin->ConnectedTo(peer.Put())) && peer;
}

HRESULT FindPinOf(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                  BOOL unconnected, int index, IPin** result)
{
    if (!source || !result)
        return E_POINTER;
    *result = nullptr;
    ComPtr<IPin> single;
    if (SUCCEEDED(source->QueryInterface(IID_IPin, single.PutVoid())) && single)
    {
        PIN_DIRECTION actual;
        single->QueryDirection(&actual);
        if (index == 0 && actual == direction && PinInCategory(single.Get(), category) &&
            PinCarries(single.Get(), type) && !(unconnected && IsConnected(single.Get())))
        {
            *result = single.Detach();
            return S_OK;
        }
        return E_FAIL;
    }
    ComPtr<IBaseFilter> filter;
    if (FAILED(source->QueryInterface(IID_IBaseFilter, filter.PutVoid())) || !filter)
        return E_NOINTERFACE;
    ComPtr<IEnumPins> pins;
    HRESULT hr = filter->EnumPins(pins.Put());
    if (FAILED(hr))
        return hr;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK && pin)
    {
        ComPtr<IPin> held = ComPtr<IPin>::Adopt(pin);
        PIN_DIRECTION actual;
        held->QueryDirection(&actual);
        if (actual != direction ||
            !PinInCategory(held.Get(), direction == PINDIR_OUTPUT ? category : nullptr) ||
            !PinCarries(held.Get(), type) || (unconnected && IsConnected(held.Get())))
            continue;
        if (index-- == 0)
        {
            *result = held.Detach();
            return S_OK;
        }
    }
    return E_FAIL;
}

class CCaptureGraphBuilder final : public CUnknown, public ICaptureGraphBuilder2
{
public:
    CCaptureGraphBuilder() : CUnknown("capture graph builder", nullptr) {}

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_ICaptureGraphBuilder2)
            return GetInterface(static_cast<ICaptureGraphBuilder2*>(this), object);
        return CUnknown::NonDelegatingQueryInterface(iid, object);
    }

    STDMETHODIMP SetFiltergraph(IGraphBuilder* graph) override
    {
        if (!graph)
            return E_POINTER;
        if (m_graph)
            return E_UNEXPECTED;
        m_graph = graph;
        return S_OK;
    }
    STDMETHODIMP GetFiltergraph(IGraphBuilder** graph) override
    {
        if (!graph)
            return E_POINTER;
        *graph = m_graph.Get();
        if (!*graph)
            return E_UNEXPECTED;
        (*graph)->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetOutputFileName(const GUID*, LPCOLESTR, IBaseFilter** multiplexer,
                                   IFileSinkFilter** sink) override
    {
        if (multiplexer)
            *multiplexer = nullptr;
        if (sink)
            *sink = nullptr;
        return E_NOTIMPL;
    }

    STDMETHODIMP FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
                               void** object) override
    {
        if (!filter || !object)
            return E_POINTER;
        *object = nullptr;
        if (!category)
        {
            if (SUCCEEDED(filter->QueryInterface(iid, object)))
                return S_OK;
            ComPtr<IEnumPins> pins;
            if (FAILED(filter->EnumPins(pins.Put())))
                return E_NOINTERFACE;
            IPin* pin = nullptr;
            while (pins->Next(1, &pin, nullptr) == S_OK && pin)
            {
                ComPtr<IPin> held = ComPtr<IPin>::Adopt(pin);
                if (PinCarries(held.Get(), type) && SUCCEEDED(held->QueryInterface(iid, object)))
                    return S_OK;
            }
            return E_NOINTERFACE;
        }
        if (*category == LOOK_UPSTREAM_ONLY || *category == LOOK_DOWNSTREAM_ONLY)
            return E_NOINTERFACE;
        ComPtr<IPin> pin;
        if (FAILED(FindPinOf(filter, PINDIR_OUTPUT, category, type, FALSE, 0, pin.Put())))
            return E_NOINTERFACE;
        return SUCCEEDED(pin->QueryInterface(iid, object)) ? S_OK : E_NOINTERFACE;
    }

    STDMETHODIMP RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                              IBaseFilter* intermediate, IBaseFilter* sink) override
    {
        if (!source)
            return E_POINTER;
        if (!m_graph)
            return E_UNEXPECTED;
        ComPtr<IPin> output;
        HRESULT hr = FindPinOf(source, PINDIR_OUTPUT, category, type, TRUE, 0, output.Put());
        if (FAILED(hr) && category && *category == PIN_CATEGORY_PREVIEW)
            hr = SplitCapturePin(source, type, output.Put());
        if (FAILED(hr))
            return hr;
        if (intermediate)
        {
            ComPtr<IPin> input;
            hr = FindPinOf(intermediate, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, input.Put());
            if (FAILED(hr))
                return hr;
            hr = m_graph->Connect(output.Get(), input.Get());
            if (FAILED(hr))
                return hr;
            hr = FindPinOf(intermediate, PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0, output.Put());
            if (FAILED(hr))
                return sink ? hr : S_OK;
        }
        if (!sink)
            return intermediate ? S_OK : VFW_E_CANNOT_RENDER;
        // The first free input that takes the stream (an ASF writer has one per stream type).
        HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
        for (int index = 0;; ++index)
        {
            ComPtr<IPin> input;
            if (FAILED(FindPinOf(sink, PINDIR_INPUT, nullptr, nullptr, TRUE, index, input.Put())))
                return last;
            last = m_graph->Connect(output.Get(), input.Get());
            if (SUCCEEDED(last))
                return last;
        }
    }

    STDMETHODIMP ControlStream(const GUID* category, const GUID*, IBaseFilter*, REFERENCE_TIME* start,
                               REFERENCE_TIME*, WORD, WORD) override
    {
        if (!m_graph)
            return E_UNEXPECTED;
        if (category && *category != PIN_CATEGORY_CAPTURE)
            return E_NOTIMPL;
        bool hold = start && *start == 0x7FFFFFFFFFFFFFFFLL;
        return SetCaptureHold(m_graph.Get(), hold);
    }

    STDMETHODIMP AllocCapFile(LPCOLESTR, ULONGLONG) override { return E_NOTIMPL; }
    STDMETHODIMP CopyCaptureFile(LPOLESTR, LPOLESTR, int, void*) override { return E_NOTIMPL; }
    STDMETHODIMP FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                         BOOL unconnected, int index, IPin** pin) override
    {
        return FindPinOf(source, direction, category, type, unconnected, index, pin);
    }

private:
    /// A camera without a preview pin previews through a Smart Tee on its capture pin.
    HRESULT SplitCapturePin(IUnknown* source, const GUID* type, IPin** preview)
    {
        ComPtr<IPin> capture;
        HRESULT hr = FindPinOf(source, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, type, TRUE, 0, capture.Put());
        if (FAILED(hr))
            return hr;
        ComPtr<IBaseFilter> tee;
        hr = CreateSmartTee(nullptr, IID_IBaseFilter, tee.PutVoid());
        if (FAILED(hr))
            return hr;
        hr = m_graph->AddFilter(tee.Get(), L"Smart Tee");
        if (FAILED(hr))
            return hr;
        ComPtr<IPin> input;
        hr = tee->FindPin(L"Input", input.Put());
        if (SUCCEEDED(hr))
            hr = m_graph->Connect(capture.Get(), input.Get());
        if (SUCCEEDED(hr))
            hr = tee->FindPin(L"Preview", preview);
        if (FAILED(hr))
            m_graph->RemoveFilter(tee.Get());
        return hr;
    }

    ComPtr<IGraphBuilder> m_graph;
};
} // namespace

HRESULT CreateCaptureGraphBuilder(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    return HandOut(new (std::nothrow) CCaptureGraphBuilder, iid, object);
}
} // namespace platform::dshow
