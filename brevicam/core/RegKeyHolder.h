#pragma once

#include "platform/registry/Registry.h"

/// Holds one open registry key for a scope: on destruction it closes the key, if any, and clears the
/// handle. Not copyable; ownership can be given up with Detach.
class CRegKeyHolder
{
public:
    CRegKeyHolder() = default;
    explicit CRegKeyHolder(HKEY key) noexcept : m_hKey(key) {}
    ~CRegKeyHolder() { Close(); }
    CRegKeyHolder(const CRegKeyHolder&) = delete;
    CRegKeyHolder& operator=(const CRegKeyHolder&) = delete;

    /// Closes any key held and returns the handle's address for a call that opens a key into it.
    HKEY* Receive() noexcept
    {
        Close();
        return &m_hKey;
    }
    void Close() noexcept
    {
        if (m_hKey)
            RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
    HKEY Detach() noexcept
    {
        HKEY key = m_hKey;
        m_hKey = nullptr;
        return key;
    }
    HKEY Get() const noexcept { return m_hKey; }
    operator HKEY() const noexcept { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};
