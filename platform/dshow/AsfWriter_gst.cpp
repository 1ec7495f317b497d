#include "Gst.h"
#include "GstFilter.h"
#include "ProfileXml.h"
#include "StandardFilters_gst.h"

#include "platform/com/Com.h"
#include "platform/dshow/Wmsdk.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <vector>

namespace platform::dshow
{
namespace
{
DEFINE_GUID(IID_IProfilePrivate, 0x5E2D6A10, 0x41C7, 0x4B0E, 0x9B, 0x61, 0x2F, 0x0D, 0x7A, 0x93, 0x11, 0x03);

/// A loaded profile.
class CWMProfile final : public CUnknown, public IWMProfile
{
public:
    explicit CWMProfile(Profile profile) : CUnknown("profile", nullptr), m_profile(std::move(profile)) {}

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IWMProfile || iid == IID_IProfilePrivate)
            return GetInterface(static_cast<IWMProfile*>(this), object);
        return CUnknown::NonDelegatingQueryInterface(iid, object);
    }

    STDMETHODIMP GetName(WCHAR* name, DWORD* length) override
    {
        if (!length)
            return E_POINTER;
        std::wstring wide = Wide(m_profile.name);
        DWORD needed = static_cast<DWORD>(wide.size() + 1);
        if (!name)
        {
            *length = needed;
            return S_OK;
        }
        if (*length < needed)
        {
            *length = needed;
            return E_INVALIDARG;
        }
        std::wmemcpy(name, wide.c_str(), needed);
        *length = needed;
        return S_OK;
    }
    STDMETHODIMP GetStreamCount(DWORD* count) override
    {
        if (!count)
            return E_POINTER;
        *count = (m_profile.audio ? 1u : 0u) + (m_profile.video ? 1u : 0u);
        return S_OK;
    }

    const Profile& Data() const { return m_profile; }

    static const CWMProfile* From(IWMProfile* profile)
    {
        void* object = nullptr;
        if (!profile || FAILED(profile->QueryInterface(IID_IProfilePrivate, &object)) || !object)
            return nullptr;
        auto* self = static_cast<CWMProfile*>(static_cast<IWMProfile*>(object));
        self->Release();
        return self;
    }

private:
    Profile m_profile;
};

class CWMProfileManager final : public CUnknown, public IWMProfileManager
{
public:
    CWMProfileManager() : CUnknown("profile manager", nullptr) {}

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IWMProfileManager)
            return GetInterface(static_cast<IWMProfileManager*>(this), object);
        return CUnknown::NonDelegatingQueryInterface(iid, object);
    }

    STDMETHODIMP LoadProfileByData(LPCWSTR xml, IWMProfile** profile) override
    {
        if (!xml || !profile)
            return E_POINTER;
        *profile = nullptr;
        Profile parsed;
        if (!ParseProfileXml(Narrow(xml), &parsed))
            return NS_E_INVALID_PROFILE;
        return HandOut(new (std::nothrow) CWMProfile(std::move(parsed)), IID_IWMProfile,
                       reinterpret_cast<void**>(profile));
    }
};

class CAsfWriter final : public CGstFilter, public IConfigAsfWriter, public IFileSinkFilter
{
public:
    CAsfWriter() : CGstFilter("ASF writer", nullptr, CLSID_WMAsfWriter)
    {
        // Until a profile is given, the writer takes one audio and one video stream.
        Profile initial;
        initial.name = "Default";
        initial.audio = AudioStream{};
        initial.video = VideoStream{};
        initial.video->frameTime = 0;
        Configure(initial);
    }
    ~CAsfWriter() override
    {
        Unrealise();
        if (m_profileObject)
            m_profileObject->Release();
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IConfigAsfWriter)
            return GetInterface(static_cast<IConfigAsfWriter*>(this), object);
        if (iid == IID_IFileSinkFilter)
            return GetInterface(static_cast<IFileSinkFilter*>(this), object);
        return CGstFilter::NonDelegatingQueryInterface(iid, object);
    }

    int GetPinCount() override { return static_cast<int>(m_pins.size()); }
    CBasePin* GetPin(int index) override
    {
        return index >= 0 && static_cast<size_t>(index) < m_pins.size()
                   ? m_pins[static_cast<size_t>(index)].get()
                   : nullptr;
    }

    STDMETHODIMP ConfigureFilterUsingProfile(IWMProfile* profile) override
    {
        if (!profile)
            return E_POINTER;
        const CWMProfile* ours = CWMProfile::From(profile);
        if (!ours)
            return E_INVALIDARG;
        CAutoLock lock(&m_filterLock);
        if (!IsStopped())
            return VFW_E_NOT_STOPPED;
        for (auto& pin : m_pins)
            if (pin->IsConnected())
                return VFW_E_ALREADY_CONNECTED;
        Configure(ours->Data());
        if (m_profileObject)
            m_profileObject->Release();
        m_profileObject = profile;
        m_profileObject->AddRef();
        return S_OK;
    }
    STDMETHODIMP GetCurrentProfile(IWMProfile** profile) override
    {
        if (!profile)
            return E_POINTER;
        *profile = m_profileObject;
        if (!m_profileObject)
            return E_FAIL;
        m_profileObject->AddRef();
        return S_OK;
    }

    STDMETHODIMP SetFileName(LPCOLESTR fileName, const AM_MEDIA_TYPE*) override
    {
        if (!fileName)
            return E_POINTER;
        CAutoLock lock(&m_filterLock);
        m_fileName = fileName;
        return S_OK;
    }
    STDMETHODIMP GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) override
    {
        if (!fileName)
            return E_POINTER;
        CAutoLock lock(&m_filterLock);
        *fileName = nullptr;
        if (m_fileName.empty())
            return E_FAIL;
        auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((m_fileName.size() + 1) * sizeof(OLECHAR)));
        if (!copy)
            return E_OUTOFMEMORY;
        std::wmemcpy(copy, m_fileName.c_str(), m_fileName.size() + 1);
        *fileName = copy;
        if (type)
            *type = AM_MEDIA_TYPE{};
        return S_OK;
    }

    HRESULT CheckInputType(CGstInputPin*, const CMediaType* type) override
    {
        if (type->majortype == MEDIATYPE_Video)
            return VideoInfoOf(*type, nullptr, nullptr, nullptr) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
        return S_OK;
    }

    HRESULT Realise(Realisation&) override { return S_OK; }
    bool LinksLate(CGstInputPin*) const override { return true; }

    std::unique_ptr<gst::RecordingBin> MakeRecording(bool audio, HRESULT* hr, std::string* missing) override
    {
        CAutoLock lock(&m_filterLock);
        if (m_fileName.empty())
        {
            *hr = E_FAIL;
            return nullptr;
        }
        gst::RecordingFormat format;
        format.path = Narrow(m_fileName);
        const VideoStream video = m_profile.video.value_or(VideoStream{});
        format.width = video.width;
        format.height = video.height;
        REFERENCE_TIME frameTime = video.frameTime;
        for (auto& pin : m_pins)
        {
            int width = 0;
            int height = 0;
            REFERENCE_TIME inputTime = 0;
            if (pin->MajorType() == MEDIATYPE_Video && pin->IsConnected() &&
                VideoInfoOf(pin->CurrentMediaType(), &width, &height, &inputTime))
            {
                // Without a profile size the file keeps the camera's picture and rate.
                if (format.width <= 0 || format.height <= 0)
                {
                    format.width = width;
                    format.height = height;
                }
                if (frameTime <= 0)
                    frameTime = inputTime;
            }
        }
        if (format.width <= 0 || format.height <= 0)
        {
            format.width = 640;
            format.height = 480;
        }
        if (frameTime <= 0)
            frameTime = 333667;
        // Frame times are whole 100 ns units: 333667 stands for 30000/1001 frames per second.
        if (frameTime == 333667)
            format.rate = {30000, 1001};
        else
        {
            long long den = std::min<long long>(frameTime, 0x7FFFFFFF);
            long long divisor = std::gcd(static_cast<long long>(UNITS), den);
            format.rate = {static_cast<int>(UNITS / divisor), static_cast<int>(den / divisor)};
        }
        format.quality = video.vbr ? std::clamp(video.quality, 1, 100) : 0;
        format.videoBitrate = video.bitrate;
        format.keyFrameSeconds =
            video.keyFrameSpacing > 0
                ? static_cast<int>(std::max<REFERENCE_TIME>(1, video.keyFrameSpacing / UNITS))
                : 8;
        format.audio = audio && m_profile.audio.has_value();
        if (format.audio)
        {
            format.audioBitrate = m_profile.audio->bitrate;
            format.sampleRate = m_profile.audio->sampleRate;
            format.channels = m_profile.audio->channels;
        }
        auto recording = gst::RecordingBin::Create(format, missing);
        *hr = recording ? S_OK : REGDB_E_CLASSNOTREG;
        return recording;
    }

private:
    void Configure(const Profile& profile)
    {
        m_profile = profile;
        m_pins.clear();
        if (profile.audio)
            m_pins.push_back(
                std::make_unique<CGstInputPin>(this, &m_filterLock, L"Audio Input 01", MEDIATYPE_Audio));
        if (profile.video)
            m_pins.push_back(
                std::make_unique<CGstInputPin>(this, &m_filterLock, L"Video Input 01", MEDIATYPE_Video));
    }

    Profile m_profile;
    IWMProfile* m_profileObject = nullptr;
    std::vector<std::unique_ptr<CGstInputPin>> m_pins;
    std::wstring m_fileName;
};
} // namespace

HRESULT CreateAsfWriter(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CAsfWriter, iid, object);
}
} // namespace platform::dshow

HRESULT WMCreateProfileManager(IWMProfileManager** manager)
{
    if (!manager)
        return E_POINTER;
    return platform::dshow::HandOut(new (std::nothrow) platform::dshow::CWMProfileManager,
                                    IID_IWMProfileManager, reinterpret_cast<void**>(manager));
}
