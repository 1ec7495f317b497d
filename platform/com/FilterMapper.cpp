#include "FilterMapper.h"

#include "platform/com/Com.h"
#include "platform/registry/Registry.h"
#include "platform/win/CString.h"
#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"

#include <atomic>
#include <new>
#include <string>

namespace
{
HRESULT FromRegistry(LONG rc)
{
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}

/// A key created (or opened) for writing, closed on scope exit.
class WriteKey
{
public:
    explicit WriteKey(const std::string& path)
    {
        m_rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_WRITE, nullptr, &m_key, nullptr);
    }
    ~WriteKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    WriteKey(const WriteKey&) = delete;
    WriteKey& operator=(const WriteKey&) = delete;

    LONG Result() const { return m_rc; }

    void Text(const char* name, const std::string& value)
    {
        if (m_rc == ERROR_SUCCESS)
            m_rc = RegSetValueExA(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1));
    }
    void Number(const char* name, DWORD value)
    {
        if (m_rc == ERROR_SUCCESS)
            m_rc = RegSetValueExA(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                  sizeof(value));
    }

private:
    HKEY m_key = nullptr;
    LONG m_rc;
};

std::string Utf8(LPCWSTR text)
{
    return text ? platform::WideToUtf8(text) : std::string();
}

std::string GuidText(const CLSID* guid)
{
    return platform::com::GuidToString(guid ? *guid : GUID_NULL);
}

std::string InstanceKey(const CLSID* category, LPCWSTR instance, REFCLSID classId)
{
    return "CLSID\\" + GuidText(category ? category : &CLSID_LegacyAmFilterCategory) + "\\Instance\\" +
           (instance ? Utf8(instance) : platform::com::GuidToString(classId));
}

class FilterMapper final : public IFilterMapper2
{
public:
    virtual ~FilterMapper() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IFilterMapper2)
        {
            *object = static_cast<IFilterMapper2*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    STDMETHODIMP RegisterFilter(REFCLSID classId, LPCWSTR name, IMoniker** moniker, const CLSID* category,
                                LPCWSTR instance, const REGFILTER2* data) override
    {
        if (moniker)
            *moniker = nullptr;
        if (!name || !data || (data->cPins && !data->rgPins))
            return E_POINTER;
        if (data->dwVersion != 1)
            return E_NOTIMPL;
        const std::string key = InstanceKey(category, instance, classId);
        const LONG removed = platform::com::DeleteKeyTree(HKEY_CLASSES_ROOT, key);
        if (removed != ERROR_SUCCESS && removed != static_cast<LONG>(ERROR_FILE_NOT_FOUND))
            return FromRegistry(removed);
        {
            WriteKey filter(key);
            filter.Text("FriendlyName", Utf8(name));
            filter.Text("CLSID", platform::com::GuidToString(classId));
            filter.Number("Merit", data->dwMerit);
            if (filter.Result() != ERROR_SUCCESS)
                return FromRegistry(filter.Result());
        }
        for (ULONG p = 0; p < data->cPins; ++p)
        {
            const REGFILTERPINS& pin = data->rgPins[p];
            if (pin.nMediaTypes && !pin.lpMediaType)
                return E_POINTER;
            const std::string pinKey = key + "\\Pins\\" + std::to_string(p);
            {
                WriteKey k(pinKey);
                k.Text("Name", Utf8(pin.strName));
                k.Number("Output", pin.bOutput ? 1 : 0);
                k.Number("Rendered", pin.bRendered ? 1 : 0);
                k.Number("Zero", pin.bZero ? 1 : 0);
                k.Number("Many", pin.bMany ? 1 : 0);
                k.Text("ConnectsToFilter", GuidText(pin.clsConnectsToFilter));
                k.Text("ConnectsToPin", Utf8(pin.strConnectsToPin));
                if (k.Result() != ERROR_SUCCESS)
                    return FromRegistry(k.Result());
            }
            for (UINT t = 0; t < pin.nMediaTypes; ++t)
            {
                WriteKey k(pinKey + "\\Types\\" + std::to_string(t));
                k.Text("MajorType", GuidText(pin.lpMediaType[t].clsMajorType));
                k.Text("SubType", GuidText(pin.lpMediaType[t].clsMinorType));
                if (k.Result() != ERROR_SUCCESS)
                    return FromRegistry(k.Result());
            }
        }
        return S_OK;
    }

    STDMETHODIMP UnregisterFilter(const CLSID* category, LPCWSTR instance, REFCLSID classId) override
    {
        return FromRegistry(
            platform::com::DeleteKeyTree(HKEY_CLASSES_ROOT, InstanceKey(category, instance, classId)));
    }

private:
    std::atomic<ULONG> m_refs{0};
};

HRESULT CreateFilterMapper(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* mapper = new (std::nothrow) FilterMapper;
    if (!mapper)
        return E_OUTOFMEMORY;
    mapper->AddRef();
    const HRESULT hr = mapper->QueryInterface(iid, object);
    mapper->Release();
    return hr;
}

[[maybe_unused]] const bool g_registered =
    (platform::com::RegisterBuiltinClass(CLSID_FilterMapper2, CreateFilterMapper), true);
} // namespace
