#include "FilterGraph_gst.h"

#include "Gst.h"
#include "GstFilter.h"
#include "RecordingBin_gst.h"
#include "StandardFilters_gst.h"

#include "platform/dshow/Presentation.h"
#include "platform/win/Kernel.h"

#include <chrono>
#include <cwchar>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <thread>

namespace platform::dshow
{
namespace
{
DEFINE_GUID(IID_IGraphPrivate, 0x5E2D6A10, 0x41C7, 0x4B0E, 0x9B, 0x61, 0x2F, 0x0D, 0x7A, 0x93, 0x11, 0x04);

constexpr auto kRunTimeout = std::chrono::seconds(5);
constexpr auto kFinishTimeout = std::chrono::seconds(10);

std::mutex g_posterLock;
MessagePoster g_poster = nullptr;

MessagePoster CurrentPoster()
{
    std::lock_guard lock(g_posterLock);
    return g_poster;
}

class CEnumFilters final : public IEnumFilters
{
public:
    explicit CEnumFilters(std::vector<IBaseFilter*> filters, size_t position = 0)
        : m_filters(std::move(filters)), m_position(position)
    {
        for (auto* filter : m_filters)
            filter->AddRef();
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IEnumFilters)
        {
            *object = static_cast<IEnumFilters*>(this);
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
        if (!left)
            delete this;
        return left;
    }
    STDMETHODIMP Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override
    {
        if (!filters || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && m_position < m_filters.size())
        {
            filters[n] = m_filters[m_position++];
            filters[n]->AddRef();
            ++n;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        m_position = std::min(m_filters.size(), m_position + count);
        return m_position < m_filters.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        m_position = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumFilters** clone) override
    {
        if (!clone)
            return E_POINTER;
        *clone = new (std::nothrow) CEnumFilters(m_filters, m_position);
        return *clone ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~CEnumFilters()
    {
        for (auto* filter : m_filters)
            filter->Release();
    }
    std::atomic<ULONG> m_refs{1};
    std::vector<IBaseFilter*> m_filters;
    size_t m_position;
};

struct Event
{
    long code;
    LONG_PTR param1;
    LONG_PTR param2;
};

class CFilterGraph;

/// Lets device notifications reach a graph only while it exists.
struct GraphLink
{
    std::mutex lock;
    CFilterGraph* graph = nullptr;
};

class CFilterGraph final : public CUnknown,
                           public IFilterGraph2,
                           public IMediaControl,
                           public IMediaEventEx,
                           public IAMGraphStreams
{
public:
    CFilterGraph();
    ~CFilterGraph() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IGraphBuilder, IFilterGraph2
    STDMETHODIMP AddFilter(IBaseFilter* filter, LPCWSTR name) override;
    STDMETHODIMP RemoveFilter(IBaseFilter* filter) override;
    STDMETHODIMP EnumFilters(IEnumFilters** filters) override;
    STDMETHODIMP FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
    STDMETHODIMP ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Reconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect(IPin* pin) override;
    STDMETHODIMP SetDefaultSyncSource() override { return S_OK; }
    STDMETHODIMP Connect(IPin* output, IPin* input) override { return ConnectDirect(output, input, nullptr); }
    STDMETHODIMP Render(IPin*) override { return VFW_E_CANNOT_RENDER; }
    STDMETHODIMP RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter** filter) override
    {
        if (filter)
            *filter = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetLogFile(DWORD_PTR) override { return S_OK; }
    STDMETHODIMP Abort() override { return S_OK; }
    STDMETHODIMP ShouldOperationContinue() override { return S_OK; }
    STDMETHODIMP AddSourceFilterForMoniker(IMoniker* moniker, IBindCtx* context, LPCWSTR name,
                                           IBaseFilter** filter) override;
    STDMETHODIMP ReconnectEx(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP RenderEx(IPin*, DWORD, DWORD*) override { return VFW_E_CANNOT_RENDER; }

    // IMediaControl
    STDMETHODIMP Run() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP GetState(LONG timeoutMs, OAFilterState* state) override;
    STDMETHODIMP StopWhenReady() override { return Stop(); }

    // IMediaEvent, IMediaEventEx
    STDMETHODIMP GetEventHandle(OAEVENT* handle) override;
    STDMETHODIMP GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) override;
    STDMETHODIMP WaitForCompletion(long timeoutMs, long* code) override;
    STDMETHODIMP CancelDefaultHandling(long) override { return S_OK; }
    STDMETHODIMP RestoreDefaultHandling(long) override { return S_OK; }
    STDMETHODIMP FreeEventParams(long code, LONG_PTR param1, LONG_PTR param2) override;
    STDMETHODIMP SetNotifyWindow(OAHWND window, long message, LONG_PTR instance) override;
    STDMETHODIMP SetNotifyFlags(long flags) override;
    STDMETHODIMP GetNotifyFlags(long* flags) override;

    // IAMGraphStreams
    STDMETHODIMP FindUpstreamInterface(IPin*, REFIID, void** object, DWORD) override
    {
        if (object)
            *object = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SyncUsingStreamOffset(BOOL) override { return S_OK; }
    STDMETHODIMP SetMaxGraphLatency(REFERENCE_TIME) override { return S_OK; }

    HRESULT SetCaptureHold(bool hold);
    void OnDeviceChange(DeviceKind kind, const std::string& path, bool arrived);

private:
    struct Entry
    {
        IBaseFilter* filter;
        std::wstring name;
    };
    struct FileStream
    {
        CGstFilter* writer = nullptr;
        GstElement* videoTee = nullptr;
        GstElement* audioTee = nullptr;
        std::unique_ptr<gst::RecordingBin> recording;
    };

    bool IsMember(IBaseFilter* filter) const;
    bool HasLiveConnection(CGstFilter* filter) const;
    void DisconnectPins(IBaseFilter* filter);
    HRESULT BuildPipeline();
    void DestroyPipeline();
    HRESULT LinkOutputs(CGstFilter* filter, std::string* missing);
    void StartFileStreams();
    void FinishFileStreams();
    void SetFilterStates(FILTER_STATE state);
    void Queue(long code, LONG_PTR param1, LONG_PTR param2);
    void ReportAbort(HRESULT hr);
    void ReportDeviceLost(CGstFilter* filter);
    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer data);
    void OnError(GstMessage* message);

    CCritSec m_graphLock;
    std::vector<Entry> m_filters;
    FILTER_STATE m_state = State_Stopped;
    bool m_pending = false;
    GstElement* m_pipeline = nullptr;
    std::vector<CGstFilter*> m_realised;
    std::vector<FileStream> m_fileStreams;
    bool m_captureHeld = false;

    // Shared with streaming threads.
    std::mutex m_streamLock;
    bool m_inRun = false;
    HRESULT m_runError = S_OK;
    bool m_abortReported = false;
    std::set<CGstFilter*> m_lost;
    std::vector<std::pair<CGstFilter*, std::string>> m_devices;

    std::mutex m_eventLock;
    std::deque<Event> m_events;
    HANDLE m_eventHandle = nullptr;
    HWND m_notifyWindow = nullptr;
    UINT m_notifyMessage = 0;
    LONG_PTR m_notifyInstance = 0;
    long m_notifyFlags = 0;

    std::shared_ptr<GraphLink> m_link;
    int m_watch = 0;
};

CFilterGraph::CFilterGraph() : CUnknown("filter graph", nullptr)
{
    m_eventHandle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_link = std::make_shared<GraphLink>();
    m_link->graph = this;
    std::weak_ptr<GraphLink> link = m_link;
    m_watch = DeviceWatch::Subscribe(
        [link](DeviceKind kind, const std::string& path, bool arrived)
        {
            if (auto strong = link.lock())
            {
                std::lock_guard lock(strong->lock);
                if (strong->graph)
                    strong->graph->OnDeviceChange(kind, path, arrived);
            }
        });
}

CFilterGraph::~CFilterGraph()
{
    {
        std::lock_guard lock(m_link->lock);
        m_link->graph = nullptr;
    }
    DeviceWatch::Unsubscribe(m_watch);
    Stop();
    // Connected pins hold each other's filters; only disconnected filters can go with the graph.
    for (auto& entry : m_filters)
        DisconnectPins(entry.filter);
    for (auto& entry : m_filters)
    {
        entry.filter->JoinFilterGraph(nullptr, nullptr);
        entry.filter->Release();
    }
    m_filters.clear();
    for (auto& event : m_events)
        FreeEventParams(event.code, event.param1, event.param2);
    if (m_eventHandle)
        CloseHandle(m_eventHandle);
}

STDMETHODIMP CFilterGraph::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IFilterGraph || iid == IID_IGraphBuilder || iid == IID_IFilterGraph2 ||
        iid == IID_IGraphPrivate)
        return GetInterface(static_cast<IFilterGraph2*>(this), object);
    if (iid == IID_IMediaControl)
        return GetInterface(static_cast<IMediaControl*>(this), object);
    if (iid == IID_IMediaEvent || iid == IID_IMediaEventEx)
        return GetInterface(static_cast<IMediaEventEx*>(this), object);
    if (iid == IID_IAMGraphStreams)
        return GetInterface(static_cast<IAMGraphStreams*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

bool CFilterGraph::IsMember(IBaseFilter* filter) const
{
    for (const auto& entry : m_filters)
        if (entry.filter == filter)
            return true;
    return false;
}

STDMETHODIMP CFilterGraph::AddFilter(IBaseFilter* filter, LPCWSTR name)
{
    if (!filter)
        return E_POINTER;
    CAutoLock lock(&m_graphLock);
    if (IsMember(filter))
        return E_INVALIDARG;
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    std::wstring base = name && *name ? name : L"Filter";
    std::wstring unique = base;
    HRESULT result = S_OK;
    for (int n = 1;; ++n)
    {
        bool taken = false;
        for (const auto& entry : m_filters)
            taken = taken || entry.name == unique;
        if (!taken)
            break;
        wchar_t suffix[16];
        std::swprintf(suffix, 16, L" %04d", n);
        unique = base + suffix;
        result = VFW_S_DUPLICATE_NAME;
    }
    HRESULT hr = filter->JoinFilterGraph(static_cast<IFilterGraph2*>(this), unique.c_str());
    if (FAILED(hr))
        return hr;
    filter->AddRef();
    m_filters.push_back({filter, unique});
    if (CGstFilter* ours = CGstFilter::From(filter); ours && ours->Device())
    {
        std::lock_guard streamLock(m_streamLock);
        m_devices.emplace_back(ours, ours->Device()->devicePath);
    }
    return result;
}

void CFilterGraph::DisconnectPins(IBaseFilter* filter)
{
    // Every connection of the filter's pins goes, on both sides, also those whose other side no longer
    // points back.
    std::vector<IPin*> pins;
    IEnumPins* pinList = nullptr;
    if (SUCCEEDED(filter->EnumPins(&pinList)) && pinList)
    {
        IPin* pin = nullptr;
        while (pinList->Next(1, &pin, nullptr) == S_OK)
            pins.push_back(pin);
        pinList->Release();
    }
    for (IPin* pin : pins)
    {
        IPin* peer = nullptr;
        if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer)
        {
            IPin* back = nullptr;
            if (SUCCEEDED(peer->ConnectedTo(&back)) && back)
            {
                if (back == pin)
                    peer->Disconnect();
                back->Release();
            }
            peer->Release();
        }
        pin->Disconnect();
    }
    for (const auto& entry : m_filters)
    {
        if (entry.filter == filter)
            continue;
        IEnumPins* others = nullptr;
        if (FAILED(entry.filter->EnumPins(&others)) || !others)
            continue;
        IPin* pin = nullptr;
        while (others->Next(1, &pin, nullptr) == S_OK)
        {
            IPin* peer = nullptr;
            if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer)
            {
                for (IPin* mine : pins)
                    if (peer == mine)
                    {
                        pin->Disconnect();
                        break;
                    }
                peer->Release();
            }
            pin->Release();
        }
        others->Release();
    }
    for (IPin* pin : pins)
        pin->Release();
}

STDMETHODIMP CFilterGraph::RemoveFilter(IBaseFilter* filter)
{
    if (!filter)
        return E_POINTER;
    CAutoLock lock(&m_graphLock);
    if (!IsMember(filter))
        return VFW_E_NOT_IN_GRAPH;
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    DisconnectPins(filter);
    {
        std::lock_guard streamLock(m_streamLock);
        CGstFilter* ours = CGstFilter::From(filter);
        std::erase_if(m_devices, [ours](const auto& device) { return device.first == ours; });
        m_lost.erase(ours);
    }
    for (auto it = m_filters.begin(); it != m_filters.end(); ++it)
        if (it->filter == filter)
        {
            m_filters.erase(it);
            break;
        }
    filter->JoinFilterGraph(nullptr, nullptr);
    filter->Release();
    return S_OK;
}

STDMETHODIMP CFilterGraph::EnumFilters(IEnumFilters** filters)
{
    if (!filters)
        return E_POINTER;
    CAutoLock lock(&m_graphLock);
    std::vector<IBaseFilter*> list;
    for (const auto& entry : m_filters)
        list.push_back(entry.filter);
    *filters = new (std::nothrow) CEnumFilters(std::move(list));
    return *filters ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CFilterGraph::FindFilterByName(LPCWSTR name, IBaseFilter** filter)
{
    if (!name || !filter)
        return E_POINTER;
    CAutoLock lock(&m_graphLock);
    *filter = nullptr;
    for (const auto& entry : m_filters)
        if (entry.name == name)
        {
            *filter = entry.filter;
            entry.filter->AddRef();
            return S_OK;
        }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CFilterGraph::ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type)
{
    if (!output || !input)
        return E_POINTER;
    CAutoLock lock(&m_graphLock);
    for (IPin* pin : {output, input})
    {
        PIN_INFO info{};
        if (FAILED(pin->QueryPinInfo(&info)))
            return VFW_E_NOT_IN_GRAPH;
        bool member = IsMember(info.pFilter);
        if (info.pFilter)
            info.pFilter->Release();
        if (!member)
            return VFW_E_NOT_IN_GRAPH;
    }
    PIN_DIRECTION direction;
    if (FAILED(output->QueryDirection(&direction)) || direction != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    return output->Connect(input, type);
}

STDMETHODIMP CFilterGraph::Disconnect(IPin* pin)
{
    if (!pin)
        return E_POINTER;
    CAutoLock lock(&m_graphLock);
    return pin->Disconnect();
}

STDMETHODIMP CFilterGraph::AddSourceFilterForMoniker(IMoniker* moniker, IBindCtx* context, LPCWSTR name,
                                                     IBaseFilter** filter)
{
    if (!moniker || !filter)
        return E_POINTER;
    *filter = nullptr;
    IBaseFilter* made = nullptr;
    HRESULT hr = moniker->BindToObject(context, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&made));
    if (FAILED(hr))
        return hr;
    hr = AddFilter(made, name);
    if (FAILED(hr))
    {
        made->Release();
        return hr;
    }
    *filter = made;
    return hr;
}

bool CFilterGraph::HasLiveConnection(CGstFilter* filter) const
{
    for (int i = 0; i < filter->GetPinCount(); ++i)
    {
        CBasePin* pin = filter->GetPin(i);
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction == PINDIR_OUTPUT ? static_cast<CGstOutputPin*>(pin)->LivePeer() != nullptr
                                       : static_cast<CGstInputPin*>(pin)->LivePeer() != nullptr)
            return true;
    }
    return false;
}

HRESULT CFilterGraph::BuildPipeline()
{
    gst::EnsureInit();
    std::string missing = gst::FirstMissingFactory({"queue", "tee", "fakesink"});
    if (!missing.empty())
    {
        g_warning("The GStreamer element \"%s\" is missing; the camera cannot run.", missing.c_str());
        return REGDB_E_CLASSNOTREG;
    }
    m_pipeline = GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("graph")));
    gst::BusPtr bus(gst_element_get_bus(m_pipeline));
    gst_bus_set_sync_handler(bus.get(), &CFilterGraph::OnBusMessage, this, nullptr);
    Realisation realisation;
    realisation.pipeline = GST_BIN(m_pipeline);
    HRESULT hr = S_OK;
    for (const auto& entry : m_filters)
    {
        CGstFilter* filter = CGstFilter::From(entry.filter);
        if (!filter)
        {
            hr = VFW_E_CANNOT_RENDER;
            break;
        }
        if (!HasLiveConnection(filter))
            continue;
        hr = filter->Realise(realisation);
        {
            std::lock_guard lock(m_streamLock);
            m_realised.push_back(filter);
        }
        if (FAILED(hr))
            break;
    }
    for (size_t i = 0; SUCCEEDED(hr) && i < m_realised.size(); ++i)
        hr = LinkOutputs(m_realised[i], &realisation.missing);
    if (FAILED(hr))
    {
        if (!realisation.missing.empty())
            g_warning("The GStreamer element \"%s\" is missing; the camera cannot run.",
                      realisation.missing.c_str());
        DestroyPipeline();
    }
    return hr;
}

HRESULT CFilterGraph::LinkOutputs(CGstFilter* filter, std::string* missing)
{
    auto realised = [this](CGstFilter* f)
    { return std::find(m_realised.begin(), m_realised.end(), f) != m_realised.end(); };
    for (int i = 0; i < filter->GetPinCount(); ++i)
    {
        CBasePin* base = filter->GetPin(i);
        PIN_DIRECTION direction;
        base->QueryDirection(&direction);
        if (direction != PINDIR_OUTPUT)
            continue;
        auto* output = static_cast<CGstOutputPin*>(base);
        CGstInputPin* peer = output->LivePeer();
        if (peer && !realised(peer->Filter()))
            peer = nullptr;
        if (!peer && !filter->NeedsSinkForUnconnected(output))
            continue;
        gst::PadPtr source(filter->OutputPad(output));
        if (!source)
            return E_FAIL;
        if (!peer)
        {
            GstElement* sink = gst::MakeElement("fakesink");
            g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
            gst_bin_add(GST_BIN(m_pipeline), sink);
            gst::PadPtr sinkPad(gst_element_get_static_pad(sink, "sink"));
            if (gst_pad_link(source.get(), sinkPad.get()) != GST_PAD_LINK_OK)
                return E_FAIL;
            continue;
        }
        CGstFilter* downstream = peer->Filter();
        if (downstream->LinksLate(peer))
        {
            GstElement* tee = gst::MakeElement("tee");
            g_object_set(tee, "allow-not-linked", TRUE, nullptr);
            gst_bin_add(GST_BIN(m_pipeline), tee);
            gst::PadPtr teeSink(gst_element_get_static_pad(tee, "sink"));
            if (gst_pad_link(source.get(), teeSink.get()) != GST_PAD_LINK_OK)
                return E_FAIL;
            auto stream = std::find_if(m_fileStreams.begin(), m_fileStreams.end(),
                                       [downstream](const FileStream& s) { return s.writer == downstream; });
            if (stream == m_fileStreams.end())
            {
                m_fileStreams.push_back({downstream, nullptr, nullptr, nullptr});
                stream = m_fileStreams.end() - 1;
            }
            (peer->MajorType() == MEDIATYPE_Audio ? stream->audioTee : stream->videoTee) = tee;
            continue;
        }
        gst::PadPtr sinkPad(downstream->InputPad(peer));
        if (!sinkPad)
            return E_FAIL;
        GstElement* queue = gst::MakeElement("queue");
        if (!queue)
        {
            *missing = "queue";
            return REGDB_E_CLASSNOTREG;
        }
        // A late frame is dropped rather than held up behind a slow consumer.
        g_object_set(queue, "max-size-buffers", 3u, "max-size-bytes", 0u, "max-size-time",
                     static_cast<guint64>(0), nullptr);
        gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
        gst_bin_add(GST_BIN(m_pipeline), queue);
        gst::PadPtr queueSink(gst_element_get_static_pad(queue, "sink"));
        gst::PadPtr queueSource(gst_element_get_static_pad(queue, "src"));
        if (gst_pad_link(source.get(), queueSink.get()) != GST_PAD_LINK_OK ||
            gst_pad_link(queueSource.get(), sinkPad.get()) != GST_PAD_LINK_OK)
            return E_FAIL;
    }
    return S_OK;
}

void CFilterGraph::DestroyPipeline()
{
    if (!m_pipeline)
        return;
    FinishFileStreams();
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    {
        gst::BusPtr bus(gst_element_get_bus(m_pipeline));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }
    std::vector<CGstFilter*> realised;
    {
        std::lock_guard lock(m_streamLock);
        realised.swap(m_realised);
    }
    for (CGstFilter* filter : realised)
        filter->Unrealise();
    m_fileStreams.clear();
    gst_object_unref(m_pipeline);
    m_pipeline = nullptr;
}

void CFilterGraph::StartFileStreams()
{
    for (auto& stream : m_fileStreams)
    {
        if (stream.recording || !stream.videoTee)
            continue;
        HRESULT hr = S_OK;
        std::string missing;
        stream.recording = stream.writer->MakeRecording(stream.audioTee != nullptr, &hr, &missing);
        if (!stream.recording)
        {
            if (!missing.empty())
                g_warning("The GStreamer element \"%s\" is missing; nothing can be recorded.",
                          missing.c_str());
            ReportAbort(hr);
            continue;
        }
        if (!stream.recording->Attach(m_pipeline, stream.videoTee, stream.audioTee))
            ReportAbort(E_FAIL);
    }
}

void CFilterGraph::FinishFileStreams()
{
    for (auto& stream : m_fileStreams)
        if (stream.recording)
        {
            stream.recording->Finish(kFinishTimeout);
            stream.recording.reset();
        }
}

void CFilterGraph::SetFilterStates(FILTER_STATE state)
{
    for (const auto& entry : m_filters)
    {
        if (state == State_Stopped)
            entry.filter->Stop();
        else if (state == State_Paused)
            entry.filter->Pause();
        else
            entry.filter->Run(0);
    }
}

STDMETHODIMP CFilterGraph::Run()
{
    CAutoLock lock(&m_graphLock);
    if (m_state == State_Running)
        return S_OK;
    if (!m_pipeline)
    {
        {
            std::lock_guard streamLock(m_streamLock);
            m_abortReported = false;
            m_runError = S_OK;
        }
        HRESULT hr = BuildPipeline();
        if (FAILED(hr))
            return hr;
    }
    {
        std::lock_guard streamLock(m_streamLock);
        m_inRun = true;
        m_runError = S_OK;
    }
    SetFilterStates(State_Paused);
    SetFilterStates(State_Running);
    GstStateChangeReturn change = gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
    HRESULT hr = change == GST_STATE_CHANGE_FAILURE ? E_FAIL : S_FALSE;
    auto deadline = std::chrono::steady_clock::now() + kRunTimeout;
    while (hr == S_FALSE)
    {
        {
            std::lock_guard streamLock(m_streamLock);
            if (FAILED(m_runError))
                break;
        }
        GstState current = GST_STATE_NULL;
        GstStateChangeReturn state = gst_element_get_state(m_pipeline, &current, nullptr, 50 * GST_MSECOND);
        if (state == GST_STATE_CHANGE_FAILURE)
            hr = E_FAIL;
        else if ((state == GST_STATE_CHANGE_SUCCESS || state == GST_STATE_CHANGE_NO_PREROLL) &&
                 current == GST_STATE_PLAYING)
            hr = S_OK;
        else if (std::chrono::steady_clock::now() >= deadline)
            break;
    }
    if (hr == E_FAIL)
    {
        // The pipeline learns of an element's failure before the error reaches our bus handler; the
        // error tells what failed.
        auto errorDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        for (;;)
        {
            {
                std::lock_guard streamLock(m_streamLock);
                if (FAILED(m_runError))
                    break;
            }
            if (std::chrono::steady_clock::now() >= errorDeadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    {
        std::lock_guard streamLock(m_streamLock);
        m_inRun = false;
        if (FAILED(m_runError))
            hr = m_runError;
    }
    if (FAILED(hr))
    {
        DestroyPipeline();
        SetFilterStates(State_Stopped);
        m_state = State_Stopped;
        m_pending = false;
        return hr;
    }
    m_state = State_Running;
    m_pending = hr == S_FALSE;
    if (!m_captureHeld)
        StartFileStreams();
    return hr;
}

STDMETHODIMP CFilterGraph::Pause()
{
    CAutoLock lock(&m_graphLock);
    if (m_state == State_Paused)
        return S_OK;
    if (!m_pipeline)
    {
        {
            std::lock_guard streamLock(m_streamLock);
            m_abortReported = false;
            m_runError = S_OK;
        }
        HRESULT hr = BuildPipeline();
        if (FAILED(hr))
            return hr;
    }
    SetFilterStates(State_Paused);
    if (gst_element_set_state(m_pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
    {
        DestroyPipeline();
        SetFilterStates(State_Stopped);
        m_state = State_Stopped;
        return E_FAIL;
    }
    m_state = State_Paused;
    Queue(EC_PAUSED, S_OK, 0);
    return S_OK;
}

STDMETHODIMP CFilterGraph::Stop()
{
    CAutoLock lock(&m_graphLock);
    DestroyPipeline();
    if (m_state != State_Stopped)
        SetFilterStates(State_Stopped);
    m_state = State_Stopped;
    m_pending = false;
    return S_OK;
}

STDMETHODIMP CFilterGraph::GetState(LONG timeoutMs, OAFilterState* state)
{
    if (!state)
        return E_POINTER;
    CAutoLock lock(&m_graphLock);
    *state = m_state;
    if (m_pending && m_pipeline)
    {
        GstState current = GST_STATE_NULL;
        GstStateChangeReturn result = gst_element_get_state(
            m_pipeline, &current, nullptr, timeoutMs < 0 ? GST_CLOCK_TIME_NONE : timeoutMs * GST_MSECOND);
        if ((result == GST_STATE_CHANGE_SUCCESS || result == GST_STATE_CHANGE_NO_PREROLL) &&
            current == GST_STATE_PLAYING)
            m_pending = false;
        else
            return VFW_S_STATE_INTERMEDIATE;
    }
    // Live sources cannot show a still picture while paused.
    if (m_state == State_Paused && m_pipeline)
        return VFW_S_CANT_CUE;
    return S_OK;
}

HRESULT CFilterGraph::SetCaptureHold(bool hold)
{
    CAutoLock lock(&m_graphLock);
    m_captureHeld = hold;
    if (!hold && m_state == State_Running)
        StartFileStreams();
    return S_OK;
}

void CFilterGraph::Queue(long code, LONG_PTR param1, LONG_PTR param2)
{
    HWND window;
    UINT message;
    LONG_PTR instance;
    {
        std::lock_guard lock(m_eventLock);
        m_events.push_back({code, param1, param2});
        SetEvent(m_eventHandle);
        window = m_notifyWindow;
        message = m_notifyMessage;
        instance = m_notifyInstance;
    }
    MessagePoster poster = CurrentPoster();
    if (window && poster)
        poster(window, message, 0, instance);
}

void CFilterGraph::ReportAbort(HRESULT hr)
{
    {
        std::lock_guard lock(m_streamLock);
        if (m_abortReported)
            return;
        m_abortReported = true;
    }
    Queue(EC_ERRORABORT, hr, 0);
}

void CFilterGraph::ReportDeviceLost(CGstFilter* filter)
{
    {
        std::lock_guard lock(m_streamLock);
        if (!m_lost.insert(filter).second)
            return;
    }
    IUnknown* unknown = nullptr;
    filter->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
    Queue(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(unknown), 0);
}

void CFilterGraph::OnDeviceChange(DeviceKind, const std::string& path, bool arrived)
{
    std::vector<CGstFilter*> matches;
    {
        std::lock_guard lock(m_streamLock);
        for (const auto& [filter, devicePath] : m_devices)
            if (devicePath == path)
                matches.push_back(filter);
    }
    for (CGstFilter* filter : matches)
    {
        if (!arrived)
        {
            ReportDeviceLost(filter);
            continue;
        }
        {
            std::lock_guard lock(m_streamLock);
            m_lost.erase(filter);
        }
        IUnknown* unknown = nullptr;
        filter->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
        Queue(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(unknown), 1);
    }
}

GstBusSyncReply CFilterGraph::OnBusMessage(GstBus*, GstMessage* message, gpointer data)
{
    auto* self = static_cast<CFilterGraph*>(data);
    switch (GST_MESSAGE_TYPE(message))
    {
    case GST_MESSAGE_ERROR:
        self->OnError(message);
        break;
    case GST_MESSAGE_EOS:
        self->Queue(EC_COMPLETE, S_OK, 0);
        break;
    default:
        break;
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void CFilterGraph::OnError(GstMessage* message)
{
    GError* raw = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &raw, &debug);
    gst::ErrorPtr error(raw);
    gst::CharPtr details(debug);
    HRESULT hr = gst::HresultFromError(error.get());
    CGstFilter* owner = nullptr;
    {
        std::lock_guard lock(m_streamLock);
        for (CGstFilter* filter : m_realised)
            if (filter->Owns(GST_MESSAGE_SRC(message)))
            {
                owner = filter;
                break;
            }
    }
    // A camera pulled out reports a failed read of a device that is gone (ENODEV), sometimes before
    // its node has disappeared.
    bool gone = owner && owner->Device() &&
                (!DeviceWatch::IsPresent(*owner->Device()) ||
                 (details && g_strstr_len(details.get(), -1, "No such device") != nullptr));
    {
        std::lock_guard lock(m_streamLock);
        // A failure while Run waits is Run's result, not an event.
        if (m_inRun)
        {
            if (SUCCEEDED(m_runError))
                m_runError = gone ? VFW_E_DEVICE_NOT_CONNECTED : hr;
            return;
        }
    }
    if (gone)
        ReportDeviceLost(owner);
    else
        ReportAbort(hr);
}

STDMETHODIMP CFilterGraph::GetEventHandle(OAEVENT* handle)
{
    if (!handle)
        return E_POINTER;
    *handle = reinterpret_cast<OAEVENT>(m_eventHandle);
    return S_OK;
}

STDMETHODIMP CFilterGraph::GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs)
{
    if (!code || !param1 || !param2)
        return E_POINTER;
    if (timeoutMs != 0)
        WaitForSingleObject(m_eventHandle, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    std::lock_guard lock(m_eventLock);
    if (m_events.empty())
    {
        *code = 0;
        *param1 = 0;
        *param2 = 0;
        return E_ABORT;
    }
    Event event = m_events.front();
    m_events.pop_front();
    if (m_events.empty())
        ResetEvent(m_eventHandle);
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

STDMETHODIMP CFilterGraph::WaitForCompletion(long timeoutMs, long* code)
{
    if (!code)
        return E_POINTER;
    *code = 0;
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;)
    {
        long remaining = timeoutMs < 0
                             ? -1
                             : static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                     deadline - std::chrono::steady_clock::now())
                                                     .count());
        if (timeoutMs >= 0 && remaining < 0)
            return E_ABORT;
        long eventCode = 0;
        LONG_PTR p1 = 0;
        LONG_PTR p2 = 0;
        if (GetEvent(&eventCode, &p1, &p2, remaining) != S_OK)
            return E_ABORT;
        FreeEventParams(eventCode, p1, p2);
        if (eventCode == EC_COMPLETE || eventCode == EC_ERRORABORT || eventCode == EC_USERABORT)
        {
            *code = eventCode;
            return S_OK;
        }
    }
}

STDMETHODIMP CFilterGraph::FreeEventParams(long code, LONG_PTR param1, LONG_PTR)
{
    if (code == EC_DEVICE_LOST && param1)
        reinterpret_cast<IUnknown*>(param1)->Release();
    return S_OK;
}

STDMETHODIMP CFilterGraph::SetNotifyWindow(OAHWND window, long message, LONG_PTR instance)
{
    std::lock_guard lock(m_eventLock);
    m_notifyWindow = reinterpret_cast<HWND>(window);
    m_notifyMessage = static_cast<UINT>(message);
    m_notifyInstance = instance;
    return S_OK;
}

STDMETHODIMP CFilterGraph::SetNotifyFlags(long flags)
{
    if (flags != 0 && flags != 1)
        return E_INVALIDARG;
    std::lock_guard lock(m_eventLock);
    m_notifyFlags = flags;
    return S_OK;
}

STDMETHODIMP CFilterGraph::GetNotifyFlags(long* flags)
{
    if (!flags)
        return E_POINTER;
    std::lock_guard lock(m_eventLock);
    *flags = m_notifyFlags;
    return S_OK;
}
} // namespace

HRESULT CreateFilterGraph(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CFilterGraph, iid, object);
}

HRESULT SetCaptureHold(IGraphBuilder* graph, bool hold)
{
    if (!graph)
        return E_POINTER;
    void* object = nullptr;
    if (FAILED(graph->QueryInterface(IID_IGraphPrivate, &object)) || !object)
        return E_NOINTERFACE;
    auto* ours = static_cast<CFilterGraph*>(static_cast<IFilterGraph2*>(object));
    HRESULT hr = ours->SetCaptureHold(hold);
    ours->Release();
    return hr;
}

void SetMessagePoster(MessagePoster poster)
{
    std::lock_guard lock(g_posterLock);
    g_poster = poster;
}
} // namespace platform::dshow
