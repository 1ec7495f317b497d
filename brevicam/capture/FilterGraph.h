#pragma once

#include "platform/dshow/DShow.h"
#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

class CDSFilter;

/// One Filter Graph Manager and what the capture engine needs of it. It remembers the last run state it
/// was asked for (0 running, 1 paused, 2 stopped; not the platform's FILTER_STATE numbering) and never
/// reads it back from the graph. User-interface thread only; no locks.
class CFilterGraph
{
public:
    /// Makes the Filter Graph Manager; throws CAtlException with the HRESULT of a failing step.
    CFilterGraph();
    ~CFilterGraph();
    CFilterGraph(const CFilterGraph&) = delete;
    CFilterGraph& operator=(const CFilterGraph&) = delete;

    /// Adds the held filter under the holder's display name.
    HRESULT AddFilter(CDSFilter* filter);
    /// E_INVALIDARG for a null holder, else the graph's RemoveFilter of the held filter.
    HRESULT RemoveFilter(CDSFilter* filter);
    /// Disconnects and removes every filter downstream of `filter`, leaving `filter` itself.
    void RemoveDownstream(IBaseFilter* filter);
    /// Connects `output` directly to the first unconnected input pin of `filter`.
    HRESULT ConnectToFilter(IPin* output, IBaseFilter* filter);
    /// The first pin of `filter` with the direction that is not connected (a new reference in *pin);
    /// E_FAIL when there is none.
    static HRESULT GetUnconnectedPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin);

    /// S_OK at once when the run state already is the target; E_INVALIDARG without IMediaControl.
    /// Otherwise the run state becomes the target first, whatever the graph answers.
    HRESULT Run();
    HRESULT Pause();
    HRESULT Stop();
    HRESULT GetState(LONG timeoutMs, OAFilterState* state);
    bool IsRunning() const { return m_nRunState == 0; }

    IGraphBuilder* GetGraph() const { return m_pGraph; }

protected:
    bool m_bBuilt;
    int m_nRunState;
    IGraphBuilder* m_pGraph;

private:
    HRESULT ChangeState(int target);
};

/// One filter with its display name (at most 128 bytes). The owner calls ReleaseFilter before it deletes
/// a holder; the destructor releases whatever is still held.
class CDSFilter
{
public:
    static constexpr int kNameSize = 129;
    /// Selects the constructor that binds a device of a category by its friendly name.
    struct FromCategory
    {
    };

    /// No filter; the display name is string 111 ("None"). Filled later through AttachFilter.
    CDSFilter();
    /// Makes the class in-process; throws CMissingModuleException with string 114 when it cannot.
    CDSFilter(const char* name, REFCLSID classId);
    /// Binds the device of `category` whose friendly name is `name`; throws CMissingModuleException
    /// with string 114 when there is none.
    CDSFilter(const char* name, REFCLSID category, FromCategory);
    ~CDSFilter();
    CDSFilter(const CDSFilter&) = delete;
    CDSFilter& operator=(const CDSFilter&) = delete;

    void CreateFromClsid(const char* name, REFCLSID classId);
    void CreateFromCategory(const char* name, REFCLSID category);

    IBaseFilter* GetFilter() const { return m_pFilter; }
    const char* GetName() const { return m_szName; }
    /// Takes over the caller's reference, without releasing a filter held before.
    void AttachFilter(IBaseFilter* filter) { m_pFilter = filter; }
    void ReleaseFilter();

    /// The first pin of the direction whose name and `name` agree over the shorter length (any pin of
    /// the direction when `name` is null); a new reference in *pin, E_FAIL when none matches.
    HRESULT FindPin(IPin** pin, PIN_DIRECTION direction, LPCWSTR name);
    /// Shows the settings of the filter owned by `owner`; false when it has none or they cannot be shown.
    bool ShowPropertyPages(HWND owner);

protected:
    void SetName(const char* name);
    /// Binds the first device of the category whose friendly name equals `name`.
    HRESULT BindByFriendlyName(const char* name, REFCLSID category);
    /// Throws CMissingModuleException with string 114 formatted with the display name.
    [[noreturn]] void ThrowMissingModule() const;

    IBaseFilter* m_pFilter;
    char m_szName[kNameSize];
    HINSTANCE m_hResInst;
};

/// A capture filter made from a device moniker of the device enumeration.
class CDSDeviceFilter : public CDSFilter
{
public:
    /// Throws CAtlException: E_FAIL for a null moniker, else the failure of BindMoniker.
    CDSDeviceFilter(IGraphBuilder* graph, IMoniker* moniker);
    ~CDSDeviceFilter();

    /// Makes the device's filter and takes its friendly name as the display name.
    HRESULT BindMoniker(IMoniker* moniker);
    /// Releases the graph, the moniker and the filter.
    void ReleaseDevice();
    /// The moniker the filter was made from, without a new reference.
    IMoniker* GetMoniker() const { return m_pMoniker; }

private:
    IMoniker* m_pMoniker;
    IGraphBuilder* m_pGraph;
};

/// Reads a text property of a bag as UTF-8 (other types are converted to text). The bag's failure is
/// returned; a failed conversion raises `_com_error` with its code.
HRESULT ReadBagText(IPropertyBag* bag, LPCOLESTR name, CString* text);
