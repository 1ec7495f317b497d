#pragma once

#include "platform/dshowbase/ComBase.h"
#include "platform/dshowbase/Interfaces.h"
#include "platform/dshowbase/MediaType.h"
#include "platform/win/Export.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class CMemAllocator;

/// A buffer of an allocator with its times, flags and an optional media type. It goes back to its
/// allocator (it is not deleted) when its last reference is released; its flags, times and type are
/// cleared then, and its data length set back to 0.
class PLATFORM_API CMediaSample final : public IMediaSample
{
public:
    CMediaSample(LPCSTR name, CMemAllocator* allocator, HRESULT* result, BYTE* buffer, long length);
    virtual ~CMediaSample();
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetPointer(BYTE** buffer) override;
    STDMETHODIMP_(long) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(BOOL syncPoint) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(BOOL preroll) override;
    STDMETHODIMP_(long) GetActualDataLength() override;
    STDMETHODIMP SetActualDataLength(long length) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(BOOL discontinuity) override;
    STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    STDMETHODIMP SetMediaTime(LONGLONG* start, LONGLONG* end) override;

private:
    friend class CMemAllocator;
    void ResetProperties();

    std::atomic<LONG> m_cRef{0};
    CMemAllocator* m_pAllocator;
    BYTE* m_pBuffer;
    long m_cbBuffer;
    long m_lActual = 0;
    bool m_syncPoint = false;
    bool m_preroll = false;
    bool m_discontinuity = false;
    bool m_timeValid = false;
    bool m_stopValid = false;
    bool m_mediaTimeValid = false;
    REFERENCE_TIME m_start = 0;
    REFERENCE_TIME m_end = 0;
    LONGLONG m_mediaStart = 0;
    LONGLONG m_mediaEnd = 0;
    AM_MEDIA_TYPE* m_pMediaType = nullptr;
};

/// An allocator of equal buffers in memory. Every sample that is out holds a reference to it, so that it
/// outlives the pins that used it until the last sample is back. Thread-safe.
class PLATFORM_API CMemAllocator final : public CUnknown, public IMemAllocator
{
public:
    CMemAllocator(LPCSTR name, LPUNKNOWN outer, HRESULT* result);
    ~CMemAllocator() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    /// cbAlign must be a power of two (else VFW_E_BADALIGN); negative counts or sizes: E_INVALIDARG.
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
    /// VFW_E_SIZENOTSET before properties with buffers are set.
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                           DWORD flags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

    /// The samples that are out (handed out and not yet back).
    long SamplesOutstanding();

private:
    HRESULT Alloc();
    void Free();

    std::mutex m_mutex;
    std::condition_variable m_freed;
    ALLOCATOR_PROPERTIES m_props{0, 0, 1, 0};
    bool m_committed = false;
    bool m_decommitInProgress = false;
    bool m_changed = false;
    std::vector<std::unique_ptr<CMediaSample>> m_samples;
    std::vector<std::unique_ptr<BYTE[]>> m_blocks;
    std::vector<CMediaSample*> m_free;
};
