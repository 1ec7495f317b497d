#include "Miravoc.h"

#include "AudioDeviceEngine.h"
#include "Languages.h"
#include "MiravocApp.h"
#include "MiravocDlg.h"
#include "NoiseCancellation.h"
#include "PelmoraLibrary.h"

#include "platform/ostrago/Ostrago.h"
#include "platform/resources/Resources.h"
#include "platform/wave/MMSystem.h"
#include "resources/miravoc/resource.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace
{
constexpr DWORD kUnreadable = 0xFFFFFFFF;
constexpr size_t kMicNameBytes = 255;
// What ShowVolumeDialog switches the noise cancellation with: the main program's values.
constexpr NoiseCancellationParameters kDefaultNoiseCancellation = {{1, 30, 950, 900}};

/// The audio settings dialog that ShowVolumeDialog or ShowVolumeSlider runs; null otherwise.
CMiravocDlg* g_pCurrentDialog = nullptr;

/// Texts, templates and images come from this library while one of its dialogs runs.
class LibraryResources
{
public:
    LibraryResources() : m_previous(AfxGetResourceHandle())
    {
        AfxSetResourceHandle(platform::resources::ThisModule());
    }
    ~LibraryResources() { AfxSetResourceHandle(m_previous); }
    LibraryResources(const LibraryResources&) = delete;
    LibraryResources& operator=(const LibraryResources&) = delete;

private:
    HINSTANCE m_previous;
};

bool IsVista()
{
    return isWindowsVista() != 0;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c)
                   { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// The device-interface path of a device, lower-cased; empty when the device cannot tell it.
std::string InterfacePath(UINT id)
{
    const auto device = reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(id));
    ULONG bytes = 0;
    if (waveInMessage(device, DRV_QUERYDEVICEINTERFACESIZE, reinterpret_cast<DWORD_PTR>(&bytes), 0) !=
            MMSYSERR_NOERROR ||
        bytes < sizeof(WCHAR))
        return {};
    std::vector<WCHAR> path(bytes / sizeof(WCHAR) + 1, L'\0');
    if (waveInMessage(device, DRV_QUERYDEVICEINTERFACE, reinterpret_cast<DWORD_PTR>(path.data()),
                      path.size() * sizeof(WCHAR)) != MMSYSERR_NOERROR)
        return {};
    path.back() = L'\0';
    return Lower(platform::WideToUtf8(path.data()));
}

// Runs an export's body; whatever goes wrong inside answers `failed`, as nothing may leave the library.
template <typename T, typename F> T Guarded(T failed, F body)
{
    try
    {
        return body();
    }
    catch (...)
    {
        return failed;
    }
}

template <typename F> void Guarded(F body)
{
    try
    {
        body();
    }
    catch (...)
    {
    }
}
} // namespace

unsigned GetNumDevices()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    return engine ? Guarded(0u, [&] { return engine->GetDeviceCount(); }) : 0;
}

bool SetDevice(int index)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return false;
    Guarded(
        [&]
        {
            engine->SetPreferredDevice(index);
            engine->Open(-2);
        });
    return true;
}

int SetDevice(char* name)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return -1;
    return Guarded(-1,
                   [&]
                   {
                       engine->RefreshDeviceList();
                       const int index = engine->SelectDeviceByName(name);
                       engine->Open(IsVista() ? index : -2);
                       return index;
                   });
}

int CheckDevice(char* name)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return -1;
    return Guarded(-1,
                   [&]
                   {
                       // The callers' device lists are fresh; so must ours be.
                       engine->RefreshDeviceList();
                       return engine->FindDeviceByName(name);
                   });
}

int GetCurrentDevice(char* dst, size_t len)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return -2;
    return Guarded(-2,
                   [&]
                   {
                       engine->GetOpenDeviceName(dst, static_cast<int>(std::min<size_t>(len, INT_MAX)));
                       return engine->GetOpenDeviceIndex();
                   });
}

bool IsDeviceVolumeControlAvailable()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return false;
    return Guarded(
        false, [&]
        { return IsVista() ? miravoc::pelmora::IsVolumeSupported() : engine->IsDestinationVolumeFound(); });
}

DWORD GetVolumeMeterValue()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return 0;
    return Guarded(DWORD{0},
                   [&]
                   {
                       const int level = IsVista() ? miravoc::pelmora::GetVolume() : engine->GetMeterLevel();
                       return static_cast<DWORD>(std::clamp(level, 0, 100));
                   });
}

bool EnableVolumeMetering(bool on)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return false;
    return Guarded(false, [&] { return on ? engine->StartMetering() : engine->StopMetering(); });
}

bool OpenAudioDevice()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return false;
    return Guarded(false, [&] { return engine->Open(-2); });
}

bool CloseAudioDevice()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return false;
    return Guarded(false,
                   [&]
                   {
                       if (IsVista())
                           return (miravoc::pelmora::CloseDevice() & 0xFF) != 0;
                       engine->Close();
                       return true;
                   });
}

bool GetDeviceNameById(int index, char* dst, size_t len)
{
    return Guarded(false, [&] { return CAudioDeviceEngine::GetDeviceName(index, dst, len); });
}

DWORD GetCurrentVolume()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return kUnreadable;
    return Guarded(kUnreadable,
                   [&]
                   {
                       if (IsVista())
                           return static_cast<DWORD>(std::clamp(miravoc::pelmora::GetVolumeLevel(), 0, 100));
                       return engine->GetCurrentVolume();
                   });
}

void SetCurrentVolume(DWORD volume)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return;
    Guarded(
        [&]
        {
            if (IsVista())
                miravoc::pelmora::SetVolumeLevel(static_cast<int>(std::min<DWORD>(volume, 100)));
            else
                engine->SetCurrentVolume(volume);
        });
}

bool IsMuteAvailable()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return false;
    return Guarded(false, [&]
                   { return IsVista() ? miravoc::pelmora::IsMuteSupported() : engine->IsMuteAvailable(); });
}

DWORD GetVolumeMute()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return kUnreadable;
    return Guarded(kUnreadable,
                   [&]
                   {
                       if (IsVista())
                           return miravoc::pelmora::IsMute() ? DWORD{1} : DWORD{0};
                       return engine->GetVolumeMute();
                   });
}

void SetVolumeMute(DWORD mute)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return;
    Guarded(
        [&]
        {
            if (!IsVista())
                engine->SetVolumeMute(mute);
            else if (mute)
                miravoc::pelmora::Mute();
            else
                miravoc::pelmora::UnMute();
        });
}

DWORD GetMaximalVolume()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return kUnreadable;
    return Guarded(kUnreadable, [&] { return engine->GetMaximalVolume(); });
}

int GetDefaultMicName(CString& name)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return -1;
    return Guarded(-1,
                   [&]
                   {
                       engine->RefreshDeviceList();
                       const auto devices = engine->GetDevices();
                       const std::string pattern =
                           Lower(std::string("Vid_") + engine->GetMicVendorId().Str() + "&Pid_" +
                                 engine->GetMicProductId().Str());
                       const CAudioDeviceEngine::Device* chosen = nullptr;
                       // Each pass runs over every device before the next pass is tried.
                       for (const auto& device : devices)
                       {
                           if (InterfacePath(device.id).find(pattern) != std::string::npos)
                           {
                               chosen = &device;
                               break;
                           }
                       }
                       for (size_t i = 0; !chosen && i < devices.size(); ++i)
                       {
                           if (devices[i].fullName.find("Tavisk") != std::string::npos)
                               chosen = &devices[i];
                       }
                       for (size_t i = 0; !chosen && i < devices.size(); ++i)
                       {
                           if (CString(devices[i].fullName).CompareNoCase("USB Audio Device") == 0)
                               chosen = &devices[i];
                       }
                       if (!chosen)
                           return -1;
                       // The whole name, so that callers find the device in their own lists by it.
                       name = CString(platform::Utf8Prefix(chosen->fullName, kMicNameBytes));
                       return static_cast<int>(chosen->id);
                   });
}

void SetDefaultMic()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return;
    Guarded(
        [&]
        {
            CString name;
            const int index = GetDefaultMicName(name);
            if (index >= 0)
                engine->Open(index);
        });
}

void SetDefaultMicVidPid(char* vid, char* pid)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return;
    Guarded([&] { engine->SetMicVidPid(vid, pid); });
}

int GetDefaultMicFilterId()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return -1;
    return Guarded(-1, [&] { return FindMicFilter(engine->GetMicVendorId(), engine->GetMicProductId()); });
}

namespace
{
/// Runs `dialog` modally as the current dialog; whether it ended with OK.
bool RunDialog(CMiravocDlg& dialog)
{
    g_pCurrentDialog = &dialog;
    const INT_PTR result = dialog.DoModal();
    g_pCurrentDialog = nullptr;
    return result == IDOK;
}
} // namespace

bool ShowVolumeDialog(CWnd* parent)
{
    if (!AudioDeviceEngine())
        return false;
    return Guarded(false,
                   [&]
                   {
                       LibraryResources resources;
                       CMiravocDlg dialog(parent,
                                          IsArabicLanguage() ? IDD_AUDIO_SETTINGS_RTL : IDD_AUDIO_SETTINGS);
                       dialog.SetMode(0);
                       dialog.SetNoiseCancellationParameters(kDefaultNoiseCancellation);
                       return RunDialog(dialog);
                   });
}

bool ShowVolumeSlider(int mode, CString& device, CWnd* parent, int ncParam1, DWORD ncParam2, DWORD ncParam3,
                      DWORD ncParam4, int lockNc)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return false;
    return Guarded(false,
                   [&]
                   {
                       LibraryResources resources;
                       const bool arabic = IsArabicLanguage();
                       if (arabic && parent && parent->GetSafeHwnd())
                           parent->ModifyStyleEx(0, WS_EX_LAYOUTRTL);
                       bool ok = false;
                       {
                           CMiravocDlg dialog(parent, arabic ? IDD_AUDIO_SETTINGS_RTL : IDD_AUDIO_SETTINGS);
                           dialog.SetMode(mode);
                           dialog.SetDeviceName(device);
                           dialog.SetNoiseCancellationParameters(
                               {{static_cast<DWORD>(ncParam1), ncParam2, ncParam3, ncParam4}});
                           dialog.LockNoiseCancellation(lockNc == 1 ? 1 : 0);
                           ok = RunDialog(dialog);
                       }
                       // The whole name of the device left open, so that the caller finds it by it.
                       std::string name;
                       if (IsVista())
                           miravoc::pelmora::GetCurrentDeviceName(name);
                       else
                           name = CAudioDeviceEngine::GetDeviceFullName(engine->GetOpenDeviceIndex());
                       if (!name.empty())
                           device = CString(std::string(platform::Utf8Prefix(name, kMicNameBytes)));
                       return ok;
                   });
}

bool CloseVolumeDialog()
{
    Guarded(
        []
        {
            CMiravocDlg* dialog = g_pCurrentDialog;
            if (dialog && dialog->GetSafeHwnd() && ::IsWindow(dialog->GetSafeHwnd()) &&
                dialog->IsWindowVisible())
                dialog->CTransparentDialogBase::OnCancel();
        });
    return true;
}
