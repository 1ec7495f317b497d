#include "BrevicamApp.h"

#include "Controls/TransparentDialogBase.h"
#include "brevicam/core/InstanceMutex.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/core/SystemProbes.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/registry/Registry.h"
#include "platform/resources/Resources.h"
#include "platform/window/WinUser.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

HACCEL g_hAccelTable = nullptr;

namespace
{
/// A process of this program file run by this user: the same executable (device and inode of
/// /proc/<pid>/exe), so that a name alone can never make us end an unrelated program.
bool IsOwnProgram(pid_t pid, const struct stat& own)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    struct stat exe
    {
    };
    struct stat dir
    {
    };
    if (::stat((proc + "/exe").c_str(), &exe) != 0 || ::stat(proc.c_str(), &dir) != 0)
        return false;
    return exe.st_dev == own.st_dev && exe.st_ino == own.st_ino && dir.st_uid == ::getuid();
}
} // namespace

CBrevicamApp::CBrevicamApp() = default;

CBrevicamApp::~CBrevicamApp()
{
    m_accelWindows.clear();
}

HINSTANCE CBrevicamApp::GetResourceInstance() const
{
    if (m_hLangResourceDLL)
        return m_hLangResourceDLL;
    return m_hInstance ? m_hInstance : AfxGetInstanceHandle();
}

void CBrevicamApp::ChooseResourceHandle(const CString& installationKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, installationKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char language[4] = {};
    DWORD size = sizeof language;
    DWORD type = 0;
    const LONG result =
        RegQueryValueExA(key, "Language", nullptr, &type, reinterpret_cast<BYTE*>(language), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return;
    if (std::memcmp(language, "ARA", 4) == 0 && m_hLangResourceDLL)
        AfxSetResourceHandle(m_hLangResourceDLL);
    else
        AfxSetResourceHandle(m_hInstance ? m_hInstance : AfxGetInstanceHandle());
}

BOOL CBrevicamApp::InitInstance()
{
    CWinApp::InitInstance();
    StartupGdiPlus();
    CTransparentDialogBase::SetRefreshMessage(WM_REFRESH_BUTTON_BKGND);

    m_pszAppName = "QPX_SE";
    SetRegistryKey("Tavisk");

    char folder[MAX_PATH] = {};
    GetModuleDirectory(folder, sizeof folder);
    const CString installationKey = CString("SOFTWARE\\Tavisk\\") + folder;
    CMultiLanguage languages;
    m_hLangResourceDLL = languages.LoadLangResourceDLL(m_hInstance, installationKey, "Language");
    ChooseResourceHandle(installationKey);

    if (!isOSVersionCorrect())
        return FALSE;

    if (!IsDesktopIn16Bits())
    {
        if (const DWORD other = FindOtherInstance())
            ::kill(static_cast<pid_t>(other), SIGTERM);
        const CString title = CParams::GetAppTitle();
        SkinMessageBox(nullptr, LoadStringWithText(IDS_NEED_24BIT_COLOUR, title), title, MB_OK);
        return FALSE;
    }

    if (g_dwInstanceMutexError == ERROR_ALREADY_EXISTS ||
        (!g_hInstanceMutex && g_dwInstanceMutexError == ERROR_ACCESS_DENIED))
        return FALSE;

    g_params.Load();
    if (!g_hAccelTable)
        g_hAccelTable = LoadAccelerators(m_hInstance, MAKEINTRESOURCE(kAcceleratorTable));

    try
    {
        RunMainDialog();
    }
    catch (const COutOfMemoryException& e)
    {
        ShowStartupErrorBox(E_OUTOFMEMORY, e.what());
    }
    catch (...)
    {
        // Anything else ends the run silently; the settings are still saved below.
    }
    m_pMainWnd = nullptr;
    g_params.Save();
    return FALSE;
}

int CBrevicamApp::ExitInstance()
{
    ShutdownGdiPlus();
    return CWinApp::ExitInstance();
}

BOOL CBrevicamApp::ProcessMessageFilter(int code, LPMSG msg)
{
    if (m_pMainWnd && ::IsWindow(m_pMainWnd->GetSafeHwnd()) && g_hAccelTable && msg &&
        msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST)
    {
        HWND active = ::GetActiveWindow();
        if (IsAcceleratorWindow(active) && TranslateAccelerator(active, g_hAccelTable, msg))
            return TRUE;
    }
    return CWinApp::ProcessMessageFilter(code, msg);
}

BOOL CBrevicamApp::AddAcceleratorWindow(HWND window)
{
    if (HWND parent = ::GetParent(window); parent && !::IsWindowEnabled(parent))
        return FALSE;
    m_accelWindows.insert(window);
    return TRUE;
}

std::size_t CBrevicamApp::RemoveAcceleratorWindow(HWND window)
{
    return m_accelWindows.erase(window);
}

bool CBrevicamApp::IsAcceleratorWindow(HWND window) const
{
    return m_accelWindows.count(window) != 0;
}

DWORD CBrevicamApp::FindOtherInstance()
{
    struct stat own
    {
    };
    if (::stat("/proc/self/exe", &own) != 0)
        return 0;
    const pid_t self = ::getpid();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec))
    {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(),
                                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            continue;
        const pid_t pid = static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10));
        if (pid != self && IsOwnProgram(pid, own))
            return static_cast<DWORD>(pid);
    }
    return 0;
}

CString& CBrevicamApp::FormatTime(const std::time_t* time, CString& out, const char* format)
{
    out.Empty();
    std::tm local{};
    if (!time || !format || !::localtime_r(time, &local))
        return out;
    char buffer[128];
    // The format is the caller's, by design of this helper; strftime cannot overrun the buffer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
#pragma GCC diagnostic pop
    if (length != 0)
        out = buffer;
    return out;
}

// Built with the program's static objects. It reads nothing of the others while it is built, so the order
// against the settings store and the start-up objects of core does not matter; its InitInstance, which uses
// them, runs after all of them exist.
CBrevicamApp theApp;
