#include "CaptureFilter_gst.h"
#include "Devices.h"
#include "Gst.h"
#include "GstFilter.h"
#include "StandardFilters_gst.h"

#include "platform/com/Com.h"
#include "platform/dshowbase/ComBase.h"

#include <cwchar>
#include <map>
#include <new>
#include <vector>

namespace platform::dshow
{
namespace
{
DEFINE_GUID(IID_IMonikerPrivate, 0x5E2D6A10, 0x41C7, 0x4B0E, 0x9B, 0x61, 0x2F, 0x0D, 0x7A, 0x93, 0x11, 0x05);

/// "FriendlyName" and "DevicePath" of one device; read-only.
class CDevicePropertyBag final : public CUnknown, public IPropertyBag
{
public:
    explicit CDevicePropertyBag(const DeviceRecord& device) : CUnknown("device properties", nullptr)
    {
        m_values[L"FriendlyName"] = Wide(device.friendlyName);
        if (device.kind == DeviceKind::Video)
            m_values[L"DevicePath"] = Wide(device.devicePath);
        else
            m_values[L"Description"] = Wide(device.friendlyName);
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IPropertyBag)
            return GetInterface(static_cast<IPropertyBag*>(this), object);
        return CUnknown::NonDelegatingQueryInterface(iid, object);
    }

    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        if (!name || !value)
            return E_POINTER;
        auto it = m_values.find(name);
        if (it == m_values.end())
            return E_INVALIDARG;
        VARIANT text;
        VariantInit(&text);
        text.vt = VT_BSTR;
        text.bstrVal = SysAllocString(it->second.c_str());
        if (!text.bstrVal)
            return E_OUTOFMEMORY;
        HRESULT hr = S_OK;
        if (value->vt == VT_EMPTY || value->vt == VT_BSTR)
        {
            VariantClear(value);
            *value = text;
            return S_OK;
        }
        hr = VariantChangeType(value, &text, 0, value->vt);
        VariantClear(&text);
        return hr;
    }
    STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_FAIL; }

private:
    std::map<std::wstring, std::wstring> m_values;
};

class CDeviceMoniker final : public CUnknown, public IMoniker
{
public:
    explicit CDeviceMoniker(DeviceRecord device)
        : CUnknown("device moniker", nullptr), m_device(std::move(device))
    {
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IMoniker || iid == IID_IMonikerPrivate)
            return GetInterface(static_cast<IMoniker*>(this), object);
        return CUnknown::NonDelegatingQueryInterface(iid, object);
    }

    STDMETHODIMP BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!DeviceWatch::IsPresent(m_device))
            return VFW_E_DEVICE_NOT_CONNECTED;
        return CreateCaptureFilter(m_device, iid, object);
    }
    STDMETHODIMP BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IPropertyBag)
            return E_NOINTERFACE;
        return HandOut(new (std::nothrow) CDevicePropertyBag(m_device), iid, object);
    }
    STDMETHODIMP IsEqual(IMoniker* other) override
    {
        if (!other)
            return E_INVALIDARG;
        void* object = nullptr;
        if (FAILED(other->QueryInterface(IID_IMonikerPrivate, &object)) || !object)
            return S_FALSE;
        auto* theirs = static_cast<CDeviceMoniker*>(static_cast<IMoniker*>(object));
        bool same = theirs->Key() == Key();
        theirs->Release();
        return same ? S_OK : S_FALSE;
    }
    STDMETHODIMP GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) override
    {
        if (!name)
            return E_POINTER;
        std::wstring text = Wide(Key());
        *name = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
        if (!*name)
            return E_OUTOFMEMORY;
        std::wmemcpy(*name, text.c_str(), text.size() + 1);
        return S_OK;
    }

private:
    std::string Key() const
    {
        return std::string(m_device.kind == DeviceKind::Video ? "@device:pnp:" : "@device:cm:") +
               m_device.devicePath;
    }

    DeviceRecord m_device;
};

class CEnumMoniker final : public CUnknown, public IEnumMoniker
{
public:
    CEnumMoniker(std::vector<DeviceRecord> devices, size_t position = 0)
        : CUnknown("moniker list", nullptr), m_devices(std::move(devices)), m_position(position)
    {
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IEnumMoniker)
            return GetInterface(static_cast<IEnumMoniker*>(this), object);
        return CUnknown::NonDelegatingQueryInterface(iid, object);
    }
    STDMETHODIMP Next(ULONG count, IMoniker** monikers, ULONG* fetched) override
    {
        if (!monikers || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && m_position < m_devices.size())
        {
            HRESULT hr = HandOut(new (std::nothrow) CDeviceMoniker(m_devices[m_position]), IID_IMoniker,
                                 reinterpret_cast<void**>(&monikers[n]));
            if (FAILED(hr))
                break;
            ++m_position;
            ++n;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        m_position = std::min(m_devices.size(), m_position + count);
        return m_position < m_devices.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        m_position = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumMoniker** clone) override
    {
        if (!clone)
            return E_POINTER;
        return HandOut(new (std::nothrow) CEnumMoniker(m_devices, m_position), IID_IEnumMoniker,
                       reinterpret_cast<void**>(clone));
    }

private:
    std::vector<DeviceRecord> m_devices;
    size_t m_position;
};

class CSystemDeviceEnum final : public CUnknown, public ICreateDevEnum
{
public:
    CSystemDeviceEnum() : CUnknown("system device enumerator", nullptr) {}

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_ICreateDevEnum)
            return GetInterface(static_cast<ICreateDevEnum*>(this), object);
        return CUnknown::NonDelegatingQueryInterface(iid, object);
    }

    STDMETHODIMP CreateClassEnumerator(REFCLSID category, IEnumMoniker** monikers, DWORD) override
    {
        if (!monikers)
            return E_POINTER;
        *monikers = nullptr;
        std::vector<DeviceRecord> devices;
        if (category == CLSID_VideoInputDeviceCategory)
            devices = EnumerateDevices(DeviceKind::Video);
        else if (category == CLSID_AudioInputDeviceCategory)
            devices = EnumerateDevices(DeviceKind::Audio);
        if (devices.empty())
            return S_FALSE;
        return HandOut(new (std::nothrow) CEnumMoniker(std::move(devices)), IID_IEnumMoniker,
                       reinterpret_cast<void**>(monikers));
    }
};
} // namespace

HRESULT CreateSystemDeviceEnum(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    gst::EnsureInit();
    return HandOut(new (std::nothrow) CSystemDeviceEnum, iid, object);
}
} // namespace platform::dshow
