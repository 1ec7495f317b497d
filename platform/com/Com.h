#pragma once

#include "platform/com/Unknown.h"
#include "platform/win/Export.h"

#include <cstddef>
#include <string>

/// Object creation by class id. A class is either built into the platform layer or served by a plug-in:
/// a shared object named under HKEY_CLASSES_ROOT "CLSID\{class id}\InprocServer32" (default value: its
/// path) that exports DllGetClassObject, DllCanUnloadNow, DllRegisterServer and DllUnregisterServer as
/// plain "C" functions. Plug-ins are loaded once and stay loaded until the process ends. All functions
/// may be called from any thread; none throws.

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

/// The exports of a plug-in, as bound by name.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID classId, REFIID iid, void** object);
using LPFNCANUNLOADNOW = HRESULT (*)();
using LPFNREGISTERSERVER = HRESULT (*)();

/// Counted per thread: S_OK for the first call of a thread, S_FALSE for further ones. Creation does not
/// require it; it is kept for the callers that pair it with CoUninitialize.
PLATFORM_API HRESULT CoInitialize(void* reserved);
PLATFORM_API HRESULT CoInitializeEx(void* reserved, DWORD flags);
PLATFORM_API void CoUninitialize();

/// The class factory of `classId` (built-in or from its plug-in), asked for `iid`. REGDB_E_CLASSNOTREG for
/// an unknown class or a context without CLSCTX_INPROC_SERVER; HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) when
/// the registered file cannot be loaded; CO_E_ERRORINDLL when it lacks DllGetClassObject.
PLATFORM_API HRESULT CoGetClassObject(REFCLSID classId, DWORD context, void* reserved, REFIID iid,
                                      void** object);
/// Makes an object of `classId` through its class factory and asks it for `iid`.
PLATFORM_API HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID iid,
                                      void** object);

/// Memory handed across interfaces (format blocks, strings); CoTaskMemFree(NULL) does nothing.
PLATFORM_API void* CoTaskMemAlloc(std::size_t size);
PLATFORM_API void* CoTaskMemRealloc(void* block, std::size_t size);
PLATFORM_API void CoTaskMemFree(void* block);

namespace platform::com
{
/// Makes an object of a built-in class: as IClassFactory::CreateInstance.
using BuiltinCreateFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

/// Adds a class served by the platform layer itself (found before any registered plug-in). Meant for
/// static initialisers of the platform libraries; registering a class id again replaces the function.
PLATFORM_API void RegisterBuiltinClass(REFCLSID classId, BuiltinCreateFunction create);

/// The path of the loaded module (program, library or plug-in) that holds `address`; empty when none.
PLATFORM_API std::string ModulePathOf(const void* address);

/// Writes the server entries of a class: "CLSID\{id}" with `name` as default value, its sub-key
/// "InprocServer32" with `modulePath` as default value and `threadingModel` as "ThreadingModel".
/// Returns S_OK or the registry's error as an HRESULT.
PLATFORM_API HRESULT RegisterInprocServer(REFCLSID classId, const std::string& name,
                                          const std::string& modulePath, const std::string& threadingModel);
/// Removes "CLSID\{id}" with everything below it; S_OK also when it did not exist.
PLATFORM_API HRESULT UnregisterInprocServer(REFCLSID classId);

/// Removes `subKey` of `root` with all its sub-keys and values; ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when
/// it does not exist, or another registry error.
PLATFORM_API LONG DeleteKeyTree(HKEY root, const std::string& subKey);
} // namespace platform::com
