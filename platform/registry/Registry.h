#pragma once

#include "platform/win/Export.h"
#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "platform/win/WinTypes.h"

#include <string>

/// The registry: typed values (text, 32-bit number, binary) in a tree of keys under the predefined roots.
/// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT are each kept as one JSON file (HKCU.json,
/// HKLM.json, HKCR.json) in the folder named by BREVICAM_REGISTRY_DIR, else $XDG_CONFIG_HOME/brevicam
/// (~/.config/brevicam), created on the first write. Every write outside a write batch (below) reaches the
/// file at once, atomically and durably (a crash leaves the old or the new file, never half of one); a
/// write that cannot be saved returns its error and changes nothing. A file that cannot be read or parsed,
/// or whose keys nest deeper than 512 levels, is moved aside as "<name>.bad" (or "<name>.N.bad" when that
/// exists), reported once on standard error, and the hive starts empty, so callers see their defaults.
/// Creating a key deeper than that gives ERROR_INVALID_PARAMETER. Key and value names are compared without
/// case, as Windows does, and keep the case they were first given. Texts are returned with their terminator
/// counted.
///
/// Several processes may share the folder: a hive is read again whenever its file was replaced, and
/// writers take turns on a lock of the folder, each adding its change to the newest file.
///
/// HKEY_LOCAL_MACHINE\HARDWARE is volatile: never saved, built at each load with one key per processor
/// under DESCRIPTION\System\CentralProcessor holding its highest clock as the REG_DWORD "~MHz" (from
/// cpufreq in sysfs, else /proc/cpuinfo; a processor with no readable clock has no key). The roots of
/// those two trees are BREVICAM_SYSFS_ROOT and BREVICAM_PROC_ROOT when set ("/sys" and "/proc" otherwise).
///
/// Handles are checked: a handle that was never opened or is already closed gives ERROR_INVALID_HANDLE, a
/// handle whose key was deleted ERROR_KEY_DELETED, and writing through a handle opened without
/// KEY_SET_VALUE (or creating below one without KEY_CREATE_SUB_KEY) ERROR_ACCESS_DENIED.
/// All functions are safe to call from any thread; they return ERROR_SUCCESS or a system error number.

using REGSAM = DWORD;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

PLATFORM_API LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result);
PLATFORM_API LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                                  REGSAM access, LPSECURITY_ATTRIBUTES attributes, HKEY* result,
                                  DWORD* disposition);
PLATFORM_API LONG RegCloseKey(HKEY key);
/// ERROR_MORE_DATA with the needed size in *dataSize when the buffer is too small; a null `data` asks for
/// the type and size only. Texts are returned with their terminator counted.
PLATFORM_API LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                   DWORD* dataSize);
PLATFORM_API LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                                 DWORD dataSize);
PLATFORM_API LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
/// Deletes a key that has no sub-keys (ERROR_ACCESS_DENIED for one that has, or for a root).
PLATFORM_API LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
/// Sub-keys by index from 0; ERROR_NO_MORE_ITEMS past the last. *nameSize is the buffer size in, the
/// name's length without terminator out.
PLATFORM_API LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                                LPSTR keyClass, DWORD* classSize, FILETIME* lastWrite);
PLATFORM_API LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, DWORD* valueNameSize, DWORD* reserved,
                                DWORD* type, BYTE* data, DWORD* dataSize);
PLATFORM_API LONG RegFlushKey(HKEY key);

#define RegOpenKeyEx RegOpenKeyExA
#define RegCreateKeyEx RegCreateKeyExA
#define RegQueryValueEx RegQueryValueExA
#define RegSetValueEx RegSetValueExA
#define RegDeleteValue RegDeleteValueA
#define RegDeleteKey RegDeleteKeyA
#define RegEnumKeyEx RegEnumKeyExA
#define RegEnumValue RegEnumValueA

namespace platform::registry
{
/// The folder holding the hive files, as chosen at first use.
PLATFORM_API std::string RootFolder();
/// Forgets every loaded hive so that the next access reads the files again (tests change the folder or
/// the files underneath). Open keys of the old hives become invalid.
PLATFORM_API void Reload();
/// The text of the last hive load failure ("" when every hive loaded cleanly).
PLATFORM_API std::string LastLoadError();
/// Fault injection for tests: while `err` (a POSIX error number) is not 0, every save of a hive stops
/// half-way through its temporary file and fails with that error, as a full disk would.
PLATFORM_API void SetWriteFaultForTesting(int err);

/// Groups the writes made while it is open, from any thread of the process, into one save of each hive
/// they change. The changes are seen at once but reach the file, atomically and durably, when the last
/// open batch ends (RegFlushKey saves the key's hive earlier); from the first change to the save, other
/// processes wait to write the folder. Batches nest. When the save fails, every change of the batch is
/// taken back and End (or RegFlushKey) returns the error.
class PLATFORM_API WriteBatch
{
public:
    WriteBatch();
    /// Ends the batch unless End did.
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    /// Ends the batch; ERROR_SUCCESS, or the error of a save that failed. Further calls do nothing.
    LONG End();

private:
    bool m_open = true;
};
} // namespace platform::registry
