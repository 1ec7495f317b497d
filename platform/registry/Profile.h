#pragma once

#include "platform/registry/Registry.h"
#include "platform/win/CString.h"
#include "platform/win/Export.h"

/// The class library's profile functions: an application's settings kept in the current user's hive
/// under Software\<m_pszRegistryKey>\<m_pszAppName>\<section>, integers as REG_DWORD, texts as REG_SZ and
/// byte blocks as REG_BINARY. A value that is missing or of another type reads as the default. While the
/// registry key or the application name is empty there is no profile: reads give the defaults and writes
/// fail. The application object derives from this class; calls are safe from any thread.
class PLATFORM_API CRegistryProfile
{
public:
    CRegistryProfile() = default;
    virtual ~CRegistryProfile() = default;

    /// Names the company key under Software.
    void SetRegistryKey(LPCTSTR registryKey);

    /// The application's key, created when missing, opened for reading and writing; the caller closes it.
    /// Null when there is no profile or the key cannot be created.
    HKEY GetAppRegistryKey();
    /// The section's key below the application's key, as GetAppRegistryKey.
    HKEY GetSectionKey(LPCTSTR section);

    UINT GetProfileInt(LPCTSTR section, LPCTSTR entry, int defaultValue);
    CString GetProfileString(LPCTSTR section, LPCTSTR entry, LPCTSTR defaultValue = nullptr);
    /// A copy of a REG_BINARY value in `*data` (allocated with new[], the caller deletes it with delete[])
    /// and its size in `*bytes`; FALSE with a null pointer and 0 when there is none.
    BOOL GetProfileBinary(LPCTSTR section, LPCTSTR entry, BYTE** data, UINT* bytes);

    BOOL WriteProfileInt(LPCTSTR section, LPCTSTR entry, int value);
    /// A null `entry` deletes the whole section; a null `value` deletes the entry.
    BOOL WriteProfileString(LPCTSTR section, LPCTSTR entry, LPCTSTR value);
    BOOL WriteProfileBinary(LPCTSTR section, LPCTSTR entry, const BYTE* data, UINT bytes);

    CString m_pszAppName;
    CString m_pszRegistryKey;
};
