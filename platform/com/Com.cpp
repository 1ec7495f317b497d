#include "Com.h"

#include "platform/registry/Registry.h"
#include "platform/win/LastError.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace
{
thread_local int t_initCount = 0;

std::mutex& BuiltinMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<GUID, platform::com::BuiltinCreateFunction>& BuiltinClasses()
{
    static std::map<GUID, platform::com::BuiltinCreateFunction> classes;
    return classes;
}

platform::com::BuiltinCreateFunction FindBuiltin(REFCLSID classId)
{
    std::lock_guard lock(BuiltinMutex());
    const auto it = BuiltinClasses().find(classId);
    return it == BuiltinClasses().end() ? nullptr : it->second;
}

/// A class factory over a built-in creation function; it lives as long as the process.
class BuiltinFactory final : public IClassFactory
{
public:
    explicit BuiltinFactory(platform::com::BuiltinCreateFunction create) : m_create(create) {}
    virtual ~BuiltinFactory() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory)
        {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        return m_create(outer, iid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    platform::com::BuiltinCreateFunction m_create;
};

BuiltinFactory* FactoryOf(platform::com::BuiltinCreateFunction create)
{
    static std::mutex mutex;
    static std::map<platform::com::BuiltinCreateFunction, std::unique_ptr<BuiltinFactory>> factories;
    std::lock_guard lock(mutex);
    auto& factory = factories[create];
    if (!factory)
        factory = std::make_unique<BuiltinFactory>(create);
    return factory.get();
}

/// The plug-ins loaded so far, by path; they are never unloaded, so that objects and factories handed
/// out stay valid until the process ends.
void* LoadPlugin(const std::string& path)
{
    static std::mutex mutex;
    static std::map<std::string, void*> loaded;
    std::lock_guard lock(mutex);
    if (const auto it = loaded.find(path); it != loaded.end())
        return it->second;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module)
        loaded.emplace(path, module);
    return module;
}

/// The registered server path of a class, or empty.
std::string InprocServerPath(REFCLSID classId)
{
    const std::string subKey = "CLSID\\" + platform::com::GuidToString(classId) + "\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    std::string path;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, "", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ &&
        size > 0)
    {
        std::vector<char> buffer(size + 1, '\0');
        if (RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
            ERROR_SUCCESS)
            path = buffer.data();
    }
    RegCloseKey(key);
    return path;
}

HRESULT SetText(HKEY key, const char* name, const std::string& value)
{
    const LONG rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>(value.size() + 1));
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}
} // namespace

HRESULT CoInitialize(void* reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(void*, DWORD)
{
    return t_initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_initCount > 0)
        --t_initCount;
}

HRESULT CoGetClassObject(REFCLSID classId, DWORD context, void*, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (const auto create = FindBuiltin(classId))
        return FactoryOf(create)->QueryInterface(iid, object);
    const std::string path = InprocServerPath(classId);
    if (path.empty())
        return REGDB_E_CLASSNOTREG;
    void* module = LoadPlugin(path);
    if (!module)
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    const auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(module, "DllGetClassObject"));
    if (!getClassObject)
        return CO_E_ERRORINDLL;
    return getClassObject(classId, iid, object);
}

HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr =
        CoGetClassObject(classId, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(outer, iid, object);
    factory->Release();
    return hr;
}

void* CoTaskMemAlloc(std::size_t size)
{
    return std::malloc(size ? size : 1);
}

void* CoTaskMemRealloc(void* block, std::size_t size)
{
    return std::realloc(block, size ? size : 1);
}

void CoTaskMemFree(void* block)
{
    std::free(block);
}

namespace platform::com
{
void RegisterBuiltinClass(REFCLSID classId, BuiltinCreateFunction create)
{
    std::lock_guard lock(BuiltinMutex());
    BuiltinClasses()[classId] = create;
}

std::string ModulePathOf(const void* address)
{
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname)
        return {};
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved))
        return resolved;
    return info.dli_fname;
}

HRESULT RegisterInprocServer(REFCLSID classId, const std::string& name, const std::string& modulePath,
                             const std::string& threadingModel)
{
    const std::string classKey = "CLSID\\" + GuidToString(classId);
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, classKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
    HRESULT hr = SetText(key, "", name);
    RegCloseKey(key);
    if (FAILED(hr))
        return hr;
    rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, (classKey + "\\InprocServer32").c_str(), 0, nullptr,
                         REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
    hr = SetText(key, "", modulePath);
    if (SUCCEEDED(hr))
        hr = SetText(key, "ThreadingModel", threadingModel);
    RegCloseKey(key);
    return hr;
}

HRESULT UnregisterInprocServer(REFCLSID classId)
{
    const LONG rc = DeleteKeyTree(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(classId));
    return rc == ERROR_SUCCESS || rc == static_cast<LONG>(ERROR_FILE_NOT_FOUND)
               ? S_OK
               : HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}

LONG DeleteKeyTree(HKEY root, const std::string& subKey)
{
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key);
    if (rc != ERROR_SUCCESS)
        return rc;
    std::vector<std::string> children;
    for (DWORD index = 0;; ++index)
    {
        char name[256];
        DWORD size = sizeof(name);
        rc = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS)
            break;
        children.emplace_back(name, size);
    }
    RegCloseKey(key);
    if (rc != static_cast<LONG>(ERROR_NO_MORE_ITEMS))
        return rc;
    for (const auto& child : children)
    {
        rc = DeleteKeyTree(root, subKey + "\\" + child);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    return RegDeleteKeyA(root, subKey.c_str());
}
} // namespace platform::com
