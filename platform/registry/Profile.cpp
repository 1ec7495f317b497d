#include "Profile.h"

#include "platform/win/LastError.h"

#include <cstring>
#include <memory>

namespace
{
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// Closes the key on every path out of a profile function.
class KeyCloser
{
public:
    explicit KeyCloser(HKEY key) : m_key(key) {}
    ~KeyCloser()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;
    HKEY Get() const { return m_key; }

private:
    HKEY m_key;
};

HKEY CreateSubKey(HKEY parent, LPCSTR name)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Deletes `name` below `parent` with everything under it.
LONG DeleteTree(HKEY parent, LPCSTR name)
{
    HKEY opened = nullptr;
    LONG rc = RegOpenKeyExA(parent, name, 0, kReadWrite, &opened);
    if (rc != ERROR_SUCCESS)
        return rc;
    {
        KeyCloser key(opened);
        char child[256];
        for (;;)
        {
            DWORD size = sizeof child;
            rc = RegEnumKeyExA(key.Get(), 0, child, &size, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS)
                break;
            if (rc != ERROR_SUCCESS)
                return rc;
            if ((rc = DeleteTree(key.Get(), child)) != ERROR_SUCCESS)
                return rc;
        }
    }
    return RegDeleteKeyA(parent, name);
}
} // namespace

void CRegistryProfile::SetRegistryKey(LPCTSTR registryKey)
{
    m_pszRegistryKey = registryKey ? registryKey : "";
}

HKEY CRegistryProfile::GetAppRegistryKey()
{
    // The application name is taken at each call, so the order in which the name and the key were set
    // does not matter.
    if (m_pszRegistryKey.IsEmpty() || m_pszAppName.IsEmpty())
        return nullptr;
    const KeyCloser software(CreateSubKey(HKEY_CURRENT_USER, "Software"));
    if (!software.Get())
        return nullptr;
    const KeyCloser company(CreateSubKey(software.Get(), m_pszRegistryKey));
    if (!company.Get())
        return nullptr;
    return CreateSubKey(company.Get(), m_pszAppName);
}

HKEY CRegistryProfile::GetSectionKey(LPCTSTR section)
{
    if (!section || !*section)
        return nullptr;
    const KeyCloser app(GetAppRegistryKey());
    if (!app.Get())
        return nullptr;
    return CreateSubKey(app.Get(), section);
}

UINT CRegistryProfile::GetProfileInt(LPCTSTR section, LPCTSTR entry, int defaultValue)
{
    const KeyCloser key(GetSectionKey(section));
    if (!key.Get())
        return static_cast<UINT>(defaultValue);
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.Get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return static_cast<UINT>(defaultValue);
    return value;
}

CString CRegistryProfile::GetProfileString(LPCTSTR section, LPCTSTR entry, LPCTSTR defaultValue)
{
    const CString fallback(defaultValue ? defaultValue : "");
    const KeyCloser key(GetSectionKey(section));
    if (!key.Get())
        return fallback;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), entry, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return fallback;
    std::string text(size, '\0');
    if (RegQueryValueExA(key.Get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return fallback;
    text.resize(strnlen(text.c_str(), size));
    return CString(std::move(text));
}

BOOL CRegistryProfile::GetProfileBinary(LPCTSTR section, LPCTSTR entry, BYTE** data, UINT* bytes)
{
    if (!data || !bytes)
        return FALSE;
    *data = nullptr;
    *bytes = 0;
    const KeyCloser key(GetSectionKey(section));
    if (!key.Get())
        return FALSE;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), entry, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return FALSE;
    auto buffer = std::make_unique<BYTE[]>(size ? size : 1);
    if (RegQueryValueExA(key.Get(), entry, nullptr, &type, buffer.get(), &size) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return FALSE;
    *data = buffer.release();
    *bytes = size;
    return TRUE;
}

BOOL CRegistryProfile::WriteProfileInt(LPCTSTR section, LPCTSTR entry, int value)
{
    const KeyCloser key(GetSectionKey(section));
    if (!key.Get())
        return FALSE;
    const auto number = static_cast<DWORD>(value);
    return RegSetValueExA(key.Get(), entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof number) == ERROR_SUCCESS;
}

BOOL CRegistryProfile::WriteProfileString(LPCTSTR section, LPCTSTR entry, LPCTSTR value)
{
    if (!entry)
    {
        const KeyCloser app(GetAppRegistryKey());
        if (!app.Get() || !section || !*section)
            return FALSE;
        const LONG rc = DeleteTree(app.Get(), section);
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    const KeyCloser key(GetSectionKey(section));
    if (!key.Get())
        return FALSE;
    if (!value)
    {
        const LONG rc = RegDeleteValueA(key.Get(), entry);
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    return RegSetValueExA(key.Get(), entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
}

BOOL CRegistryProfile::WriteProfileBinary(LPCTSTR section, LPCTSTR entry, const BYTE* data, UINT bytes)
{
    if (!data && bytes)
        return FALSE;
    const KeyCloser key(GetSectionKey(section));
    if (!key.Get())
        return FALSE;
    return RegSetValueExA(key.Get(), entry, 0, REG_BINARY, data, bytes) == ERROR_SUCCESS;
}
