#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// Resources and module handles.
///
/// A module is the executable, a shared library loaded with it or by LoadLibrary, or a file loaded as
/// data (LOAD_LIBRARY_AS_DATAFILE). Its handle (HINSTANCE/HMODULE) is, for a loaded module, the address
/// at which the module is mapped (the same value for every way of naming it: GetModuleHandle, LoadLibrary,
/// ThisModule); for a data file, a handle of ours with the lowest bit set, as Windows marks them.
///
/// A module's resources are the .res stream that the build (brevicam_add_resources in
/// cmake/Resources.cmake) compiled from its .rc and embedded as an ELF note (owner "Brevicam", type
/// 0x43525352) in an allocated section, so they are found through the program headers: in memory for a
/// loaded module, in the file for a data file. The stream is parsed on first use and checked against its
/// bounds; a damaged stream makes the lookups fail with ERROR_INVALID_DATA (and is reported once on
/// standard error), never crash.
///
/// Pointers handed out (resource data, HRSRC, HGLOBAL) stay valid until the module is freed. Every
/// function may be called from any thread and reports failure through GetLastError:
/// ERROR_RESOURCE_DATA_NOT_FOUND (the module has no resources), ERROR_RESOURCE_TYPE_NOT_FOUND,
/// ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_LANG_NOT_FOUND, ERROR_INVALID_HANDLE (not a module).
/// A null module means the executable.

#define RT_CURSOR MAKEINTRESOURCE(1)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_FONTDIR MAKEINTRESOURCE(7)
#define RT_FONT MAKEINTRESOURCE(8)
#define RT_ACCELERATOR MAKEINTRESOURCE(9)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_MESSAGETABLE MAKEINTRESOURCE(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCE(12)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)
#define RT_VERSION MAKEINTRESOURCE(16)
#define RT_MANIFEST MAKEINTRESOURCE(24)

constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_NEUTRAL = 0x00;
constexpr WORD MAKELANGID(WORD primary, WORD sub)
{
    return static_cast<WORD>((sub << 10) | primary);
}

constexpr DWORD DONT_RESOLVE_DLL_REFERENCES = 0x00000001;
constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;
constexpr DWORD LOAD_LIBRARY_AS_IMAGE_RESOURCE = 0x00000020;
constexpr DWORD LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE = 0x00000040;

using FARPROC = INT_PTR (*)();

/// The resource of that type and name; with several languages, the neutral one, else the first.
PLATFORM_API HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
/// The resource of that type, name and language; language 0 (neutral) behaves as FindResourceA.
PLATFORM_API HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language);
/// The resource's data as a handle for LockResource (no copy is made).
PLATFORM_API HGLOBAL LoadResource(HMODULE module, HRSRC resource);
/// The first byte of the resource's data (read only).
PLATFORM_API LPVOID LockResource(HGLOBAL data);
PLATFORM_API DWORD SizeofResource(HMODULE module, HRSRC resource);
/// Nothing to free: the data belongs to the module. Returns FALSE, as Windows does.
PLATFORM_API BOOL FreeResource(HGLOBAL data);

/// Copies string `id` of the module's string tables, as UTF-8, into `buffer` (`bufferMax` bytes with the
/// terminator), cut at a character boundary when it does not fit. Returns the bytes copied without the
/// terminator; 0 with ERROR_RESOURCE_NAME_NOT_FOUND (empty buffer) when there is no such string.
PLATFORM_API int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int bufferMax);

/// Loads a shared library (dlopen, symbols local). A name without "/" is looked for in the executable's
/// folder first, then along the system's library path. Null with ERROR_MOD_NOT_FOUND when the file
/// cannot be found, ERROR_BAD_FORMAT when it cannot be loaded.
PLATFORM_API HMODULE LoadLibraryA(LPCSTR fileName);
/// With LOAD_LIBRARY_AS_DATAFILE (or _EXCLUSIVE, or LOAD_LIBRARY_AS_IMAGE_RESOURCE) the file is only
/// read for its resources: none of its code runs and its symbols cannot be bound. Other flags load it as
/// LoadLibraryA does. `reserved` must be null.
PLATFORM_API HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE reserved, DWORD flags);
/// Drops one load of the module; the last one unloads it (or releases the data file).
PLATFORM_API BOOL FreeLibrary(HMODULE module);
/// An exported symbol of a loaded module; null with ERROR_PROC_NOT_FOUND (numbered exports are not
/// supported) or ERROR_INVALID_HANDLE for a data file.
PLATFORM_API FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
/// Null: the executable. A name: the loaded module whose file has that name (or that path, when the
/// name holds a "/"); null with ERROR_MOD_NOT_FOUND.
PLATFORM_API HMODULE GetModuleHandleA(LPCSTR moduleName);
/// The module's full path (null: the executable) into `buffer` of `size` bytes. Returns the length; on
/// truncation the text is cut at a character boundary, terminated, `size` is returned and the last
/// error is ERROR_INSUFFICIENT_BUFFER. 0 on failure.
PLATFORM_API DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

#define FindResource FindResourceA
#define FindResourceEx FindResourceExA
#define LoadLibrary LoadLibraryA
#define LoadLibraryEx LoadLibraryExA
#define GetModuleHandle GetModuleHandleA
#define GetModuleFileName GetModuleFileNameA

/// The class library's process-wide module handles: the instance (the program's module) and the
/// resource module that texts, dialogs and images are loaded from. Both are the executable until set.
PLATFORM_API HINSTANCE AfxGetInstanceHandle();
PLATFORM_API void AfxSetInstanceHandle(HINSTANCE instance);
PLATFORM_API HINSTANCE AfxGetResourceHandle();
PLATFORM_API void AfxSetResourceHandle(HINSTANCE resources);
/// The module to load a resource from: the resource module when it holds the resource, else the
/// instance when that holds it, else the resource module.
PLATFORM_API HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);
// CString::LoadString(UINT) (declared in platform/win/CString.h, defined here) searches the same way:
// a language library lacking a text yields the program's own.

namespace platform::resources
{
/// The loaded module whose mapping contains `address`; null with ERROR_MOD_NOT_FOUND when none does.
PLATFORM_API HINSTANCE ModuleFromAddress(const void* address);

/// The dynamic loader's own words on the calling thread's last LoadLibrary that failed to load a library
/// (dlerror: which file, and why); empty after a LoadLibrary that succeeded or failed before loading.
PLATFORM_API const char* LastLoadError();

namespace detail
{
// One per translation unit, so its address lies in the module that the calling code is part of.
[[maybe_unused]] static const char thisModuleAnchor = 0;
} // namespace detail

/// The module that the calling code is compiled into (the executable or a shared library).
[[maybe_unused]] static inline HINSTANCE ThisModule()
{
    return ModuleFromAddress(&detail::thisModuleAnchor);
}
} // namespace platform::resources
