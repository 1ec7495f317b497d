#include "Allocator.h"

#include <cstdint>
#include <new>

CMediaSample::CMediaSample(LPCSTR, CMemAllocator* allocator, HRESULT* result, BYTE* buffer, long length)
    : m_pAllocator(allocator), m_pBuffer(buffer), m_cbBuffer(length)
{
    if (result && length < 0)
        *result = VFW_E_BUFFER_OVERFLOW;
}

CMediaSample::~CMediaSample()
{
    DeleteMediaType(m_pMediaType);
}

void CMediaSample::ResetProperties()
{
    m_lActual = 0;
    m_syncPoint = m_preroll = m_discontinuity = false;
    m_timeValid = m_stopValid = m_mediaTimeValid = false;
    m_start = m_end = 0;
    m_mediaStart = m_mediaEnd = 0;
    DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
}

STDMETHODIMP CMediaSample::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMediaSample)
        return GetInterface(static_cast<IMediaSample*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSample::AddRef()
{
    return static_cast<ULONG>(++m_cRef);
}

STDMETHODIMP_(ULONG) CMediaSample::Release()
{
    const LONG left = --m_cRef;
    if (left == 0)
    {
        ResetProperties();
        m_pAllocator->ReleaseBuffer(this);
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP CMediaSample::GetPointer(BYTE** buffer)
{
    if (!buffer)
        return E_POINTER;
    *buffer = m_pBuffer;
    return S_OK;
}

STDMETHODIMP_(long) CMediaSample::GetSize()
{
    return m_cbBuffer;
}

STDMETHODIMP CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    if (!start || !stop)
        return E_POINTER;
    if (!m_timeValid)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = m_start;
    if (!m_stopValid)
    {
        *stop = m_start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *stop = m_end;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    if (!start)
    {
        m_timeValid = m_stopValid = false;
        return S_OK;
    }
    m_start = *start;
    m_timeValid = true;
    m_stopValid = stop != nullptr;
    m_end = stop ? *stop : 0;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsSyncPoint()
{
    return m_syncPoint ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetSyncPoint(BOOL syncPoint)
{
    m_syncPoint = syncPoint != FALSE;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsPreroll()
{
    return m_preroll ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetPreroll(BOOL preroll)
{
    m_preroll = preroll != FALSE;
    return S_OK;
}

STDMETHODIMP_(long) CMediaSample::GetActualDataLength()
{
    return m_lActual;
}

STDMETHODIMP CMediaSample::SetActualDataLength(long length)
{
    if (length < 0 || length > m_cbBuffer)
        return VFW_E_BUFFER_OVERFLOW;
    m_lActual = length;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaType(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    if (!m_pMediaType)
    {
        *type = nullptr;
        return S_FALSE;
    }
    *type = CreateMediaType(m_pMediaType);
    return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaSample::SetMediaType(AM_MEDIA_TYPE* type)
{
    DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
    if (!type)
        return S_OK;
    m_pMediaType = CreateMediaType(type);
    return m_pMediaType ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaSample::IsDiscontinuity()
{
    return m_discontinuity ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetDiscontinuity(BOOL discontinuity)
{
    m_discontinuity = discontinuity != FALSE;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start || !end)
        return E_POINTER;
    if (!m_mediaTimeValid)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = m_mediaStart;
    *end = m_mediaEnd;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end)
{
    if (!start)
    {
        m_mediaTimeValid = false;
        return S_OK;
    }
    if (!end)
        return E_POINTER;
    m_mediaStart = *start;
    m_mediaEnd = *end;
    m_mediaTimeValid = true;
    return S_OK;
}

CMemAllocator::CMemAllocator(LPCSTR name, LPUNKNOWN outer, HRESULT* result) : CUnknown(name, outer, result) {}

CMemAllocator::~CMemAllocator()
{
    Free();
}

STDMETHODIMP CMemAllocator::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IMemAllocator)
        return GetInterface(static_cast<IMemAllocator*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (!request || !actual)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    if (m_committed)
        return VFW_E_ALREADY_COMMITTED;
    if (m_free.size() < m_samples.size())
        return VFW_E_BUFFERS_OUTSTANDING;
    const long align = request->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0)
        return VFW_E_BADALIGN;
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0)
        return E_INVALIDARG;
    // Sizes are rounded up so that every buffer starts aligned; refuse what would not fit a long.
    const long long total = static_cast<long long>(request->cbBuffer) + request->cbPrefix + align;
    if (total > 0x7FFFFFFFLL)
        return E_INVALIDARG;
    long size = request->cbBuffer + request->cbPrefix;
    if (size % align)
        size += align - size % align;
    m_props.cBuffers = request->cBuffers;
    m_props.cbBuffer = size - request->cbPrefix;
    m_props.cbAlign = align;
    m_props.cbPrefix = request->cbPrefix;
    m_changed = true;
    *actual = m_props;
    return S_OK;
}

STDMETHODIMP CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    *props = m_props;
    return S_OK;
}

HRESULT CMemAllocator::Alloc()
{
    if (!m_changed && !m_samples.empty())
        return S_OK;
    Free();
    try
    {
        for (long i = 0; i < m_props.cBuffers; ++i)
        {
            const std::size_t bytes =
                static_cast<std::size_t>(m_props.cbPrefix) + static_cast<std::size_t>(m_props.cbBuffer);
            auto block = std::make_unique<BYTE[]>(bytes + static_cast<std::size_t>(m_props.cbAlign));
            const auto base =
                reinterpret_cast<std::uintptr_t>(block.get()) + static_cast<std::uintptr_t>(m_props.cbPrefix);
            const std::uintptr_t align = static_cast<std::uintptr_t>(m_props.cbAlign);
            BYTE* buffer = block.get() + m_props.cbPrefix + ((align - base % align) % align);
            m_samples.push_back(
                std::make_unique<CMediaSample>("Sample", this, nullptr, buffer, m_props.cbBuffer));
            m_blocks.push_back(std::move(block));
            m_free.push_back(m_samples.back().get());
        }
    }
    catch (const std::bad_alloc&)
    {
        Free();
        return E_OUTOFMEMORY;
    }
    m_changed = false;
    return S_OK;
}

void CMemAllocator::Free()
{
    m_free.clear();
    m_samples.clear();
    m_blocks.clear();
}

STDMETHODIMP CMemAllocator::Commit()
{
    std::unique_lock lock(m_mutex);
    if (m_committed)
        return S_OK;
    if (m_props.cBuffers <= 0 || m_props.cbBuffer <= 0)
        return VFW_E_SIZENOTSET;
    if (!m_decommitInProgress)
    {
        const HRESULT hr = Alloc();
        if (FAILED(hr))
            return hr;
    }
    m_committed = true;
    m_decommitInProgress = false;
    return S_OK;
}

STDMETHODIMP CMemAllocator::Decommit()
{
    std::unique_lock lock(m_mutex);
    if (!m_committed)
        return S_OK;
    m_committed = false;
    m_freed.notify_all();
    if (m_free.size() < m_samples.size())
    {
        m_decommitInProgress = true;
        return S_OK;
    }
    Free();
    return S_OK;
}

STDMETHODIMP CMemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        if (!m_committed)
            return VFW_E_NOT_COMMITTED;
        if (!m_free.empty())
        {
            CMediaSample* taken = m_free.back();
            m_free.pop_back();
            taken->m_cRef = 1;
            *sample = taken;
            NonDelegatingAddRef();
            return S_OK;
        }
        if (flags & AM_GBF_NOWAIT)
            return VFW_E_TIMEOUT;
        m_freed.wait(lock);
    }
}

STDMETHODIMP CMemAllocator::ReleaseBuffer(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    {
        std::lock_guard lock(m_mutex);
        m_free.push_back(static_cast<CMediaSample*>(sample));
        m_freed.notify_one();
        if (m_decommitInProgress && m_free.size() == m_samples.size())
        {
            m_decommitInProgress = false;
            Free();
        }
    }
    // The reference the sample held; this may be the allocator's last.
    NonDelegatingRelease();
    return S_OK;
}

long CMemAllocator::SamplesOutstanding()
{
    std::lock_guard lock(m_mutex);
    return static_cast<long>(m_samples.size() - m_free.size());
}
