#include "PelmoraLibrary.h"

#include "platform/pelmora/Pelmora.h"
#include "platform/win/CString.h"

#include <array>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>

namespace
{
struct Functions
{
    void* library = nullptr;
    pelmora::OpenDeviceFn openDevice = nullptr;
    pelmora::GetListDeviceNameFn getListDeviceName = nullptr;
    pelmora::GetCurrentDeviceNameFn getCurrentDeviceName = nullptr;
    pelmora::GetIntFn getVolumeLevel = nullptr;
    pelmora::SetVolumeLevelFn setVolumeLevel = nullptr;
    pelmora::GetIntFn getVolume = nullptr;
    pelmora::GetBoolFn isVolumeSupported = nullptr;
    pelmora::GetBoolFn isMuteSupported = nullptr;
    pelmora::GetBoolFn isMute = nullptr;
    pelmora::ActionFn mute = nullptr;
    pelmora::ActionFn unMute = nullptr;
    pelmora::GetIntFn closeDevice = nullptr;
};

std::mutex g_lock;
Functions g_functions;
bool g_tried = false;

// The folder of the module this code is in: the library, or a program built with it.
std::filesystem::path OwnFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || !info.dli_fname)
        return {};
    return std::filesystem::path(info.dli_fname).parent_path();
}

template <typename T> void Bind(void* library, const char* name, T& function)
{
    function = reinterpret_cast<T>(dlsym(library, name));
}

const Functions& Bound()
{
    std::lock_guard held(g_lock);
    if (g_tried)
        return g_functions;
    g_tried = true;
    const auto beside = OwnFolder() / "libpelmora.so";
    void* library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        library = dlopen("libpelmora.so", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return g_functions;
    Functions& f = g_functions;
    f.library = library;
    Bind(library, "OpenDevice", f.openDevice);
    Bind(library, "GetListDeviceName", f.getListDeviceName);
    Bind(library, "GetCurrentDeviceName", f.getCurrentDeviceName);
    Bind(library, "GetVolumeLevel", f.getVolumeLevel);
    Bind(library, "SetVolumeLevel", f.setVolumeLevel);
    Bind(library, "GetVolume", f.getVolume);
    Bind(library, "IsVolumeSupported", f.isVolumeSupported);
    Bind(library, "IsMuteSupported", f.isMuteSupported);
    Bind(library, "IsMute", f.isMute);
    Bind(library, "Mute", f.mute);
    Bind(library, "UnMute", f.unMute);
    Bind(library, "CloseDevice", f.closeDevice);
    return g_functions;
}

// Reads a wide name through `get`, which fills a buffer of N characters.
template <size_t N, typename Get> bool ReadName(Get get, std::string& name)
{
    name.clear();
    std::array<wchar_t, N> buffer{};
    if (!get(buffer.data(), static_cast<int>(buffer.size())))
        return false;
    buffer.back() = L'\0';
    name = platform::WideToUtf8(buffer.data());
    return true;
}
} // namespace

namespace miravoc::pelmora
{
void OpenDevice(const std::string& name)
{
    if (const auto open = Bound().openDevice)
    {
        std::wstring wide = platform::Utf8ToWide(name);
        open(wide.data());
    }
}

bool GetListDeviceName(int index, std::string& name)
{
    const auto get = Bound().getListDeviceName;
    name.clear();
    return get && ReadName<256>([&](wchar_t* buffer, int chars) { return get(index, buffer, chars); }, name);
}

bool GetCurrentDeviceName(std::string& name)
{
    const auto get = Bound().getCurrentDeviceName;
    name.clear();
    return get && ReadName<1024>(get, name);
}

int GetVolumeLevel()
{
    const auto get = Bound().getVolumeLevel;
    return get ? get() : 0;
}

void SetVolumeLevel(int level)
{
    if (const auto set = Bound().setVolumeLevel)
        set(level);
}

int GetVolume()
{
    const auto get = Bound().getVolume;
    return get ? get() : 0;
}

bool IsVolumeSupported()
{
    const auto get = Bound().isVolumeSupported;
    return get && get();
}

bool IsMuteSupported()
{
    const auto get = Bound().isMuteSupported;
    return get && get();
}

bool IsMute()
{
    const auto get = Bound().isMute;
    return get && get();
}

void Mute()
{
    if (const auto mute = Bound().mute)
        mute();
}

void UnMute()
{
    if (const auto unMute = Bound().unMute)
        unMute();
}

int CloseDevice()
{
    const auto close = Bound().closeDevice;
    return close ? close() : 0;
}

void Release()
{
    std::lock_guard held(g_lock);
    if (g_functions.library)
    {
        if (g_functions.closeDevice)
            g_functions.closeDevice();
        dlclose(g_functions.library);
    }
    g_functions = {};
    g_tried = false;
}
} // namespace miravoc::pelmora
