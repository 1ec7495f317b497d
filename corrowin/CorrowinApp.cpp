#include "corrowin/CorrowinApp.h"

#include "corrowin/WebUpdate.h"
#include "platform/registry/Registry.h"
#include "platform/resources/Resources.h"
#include "platform/shell/ShellExecute.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/corrowin/resource.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr const char* kInstallationKey = "SOFTWARE\\Tavisk\\";
constexpr const char* kLanguageValue = "Language";
constexpr const char* kCheckLockName = "brevicam-webupdate.lock";

/// The folder of the lock file: the user's runtime folder, else a folder of the user's own under /tmp.
std::string LockFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
        return runtime;
    const std::string folder = "/tmp/brevicam-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    struct stat info
    {
    };
    // Anyone may make a folder under /tmp: only one that is ours, and only ours, will do.
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0)
        return {};
    return folder;
}
} // namespace

CCorrowinApp::CCorrowinApp() = default;

CCorrowinApp::~CCorrowinApp()
{
    DropCheckLock();
}

BOOL CCorrowinApp::InitInstance()
{
    CWinApp::InitInstance();
    char folder[MAX_PATH] = {};
    GetModuleDirectory(folder, sizeof folder);
    const CString key = CString(kInstallationKey) + folder;
    SetLanguageInstance(
        m_languageLoader.LoadLangResourceDLL(platform::resources::ThisModule(), key, kLanguageValue));
    // The network needs no start of its own here; the owner and the dialog start out empty.
    CSingleLock lock(&m_lock, TRUE);
    m_hOwner = nullptr;
    m_pUpdateDialog = nullptr;
    return TRUE;
}

int CCorrowinApp::ExitInstance()
{
    if (m_bStarted && GetStateBit(kPackagePending))
        InstallDownloadedPackage();
    SetLanguageInstance(nullptr);
    return CWinApp::ExitInstance();
}

void CCorrowinApp::EnsureStarted()
{
    if (m_bStarted)
        return;
    m_bStarted = true;
    InitInstance();
}

void CCorrowinApp::SetLanguageInstance(HINSTANCE instance)
{
    if (m_hLangInstance)
        FreeLibrary(m_hLangInstance);
    m_hLangInstance = instance;
}

HINSTANCE CCorrowinApp::GetResourceInstance() const
{
    return m_hLangInstance ? m_hLangInstance : platform::resources::ThisModule();
}

CString CCorrowinApp::LoadText(UINT id) const
{
    CString text;
    if (!text.LoadString(GetResourceInstance(), id) || text.IsEmpty())
        text.LoadString(platform::resources::ThisModule(), id);
    return text;
}

CString CCorrowinApp::LoadTextWith(UINT id, const char* text) const
{
    std::string result = LoadText(id).Str();
    if (const auto at = result.find("%s"); at != std::string::npos)
        result.replace(at, 2, text ? text : "");
    return CString(result);
}

void CCorrowinApp::ReleaseUpdateDialog()
{
    CWebUpdateDlg* dialog = nullptr;
    {
        CSingleLock lock(&m_lock, TRUE);
        dialog = m_pUpdateDialog;
        m_pUpdateDialog = nullptr;
        DropCheckLock();
    }
    delete dialog;
}

void CCorrowinApp::Notify(ULONG_PTR code, ULONG_PTR value)
{
    HWND owner = nullptr;
    HWND dialog = nullptr;
    {
        CSingleLock lock(&m_lock, TRUE);
        owner = m_hOwner;
        dialog = m_pUpdateDialog ? m_pUpdateDialog->GetSafeHwnd() : nullptr;
    }
    if (!owner || !::IsWindow(owner))
        return;
    COPYDATASTRUCT data{};
    data.dwData = code;
    data.cbData = 0;
    data.lpData = reinterpret_cast<PVOID>(value);
    ::SendMessage(owner, WM_COPYDATA, reinterpret_cast<WPARAM>(dialog), reinterpret_cast<LPARAM>(&data));
}

void CCorrowinApp::NotifyAnswer(int answer)
{
    Notify(COPYDATA_UPDATE_ANSWER, static_cast<ULONG_PTR>(answer));
}

void CCorrowinApp::NotifyDownloaded()
{
    Notify(COPYDATA_UPDATE_DOWNLOADED, 0);
}

void CCorrowinApp::NotifyClosed()
{
    Notify(COPYDATA_UPDATE_CLOSED, 0);
}

void CCorrowinApp::SetTargetFolder(const char* folder)
{
    CSingleLock lock(&m_lock, TRUE);
    m_targetPath = UpdateDownloadFolder().c_str();
    m_targetPath += "/";
    if (folder && *folder)
    {
        m_targetPath += folder;
        m_targetPath += "/";
    }
}

void CCorrowinApp::Append2TargetName(const char* name)
{
    CSingleLock lock(&m_lock, TRUE);
    m_targetPath += name;
}

void CCorrowinApp::SetStateBit(unsigned bit, BOOL on)
{
    CSingleLock lock(&m_lock, TRUE);
    if (on)
        m_wState = static_cast<WORD>(m_wState | (1u << bit));
    else
        m_wState = static_cast<WORD>(m_wState & ~(1u << bit));
}

BOOL CCorrowinApp::GetStateBit(unsigned bit)
{
    CSingleLock lock(&m_lock, TRUE);
    return (m_wState >> bit) & 1u;
}

CString CCorrowinApp::GetTargetPath()
{
    CSingleLock lock(&m_lock, TRUE);
    return m_targetPath;
}

bool CCorrowinApp::TakeCheckLock()
{
    if (m_nCheckLock >= 0)
        return true;
    const std::string folder = LockFolder();
    if (folder.empty())
        return false;
    const std::string path = folder + "/" + kCheckLockName;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    {
        close(fd);
        return false;
    }
    m_nCheckLock = fd;
    return true;
}

void CCorrowinApp::DropCheckLock()
{
    if (m_nCheckLock < 0)
        return;
    close(m_nCheckLock);
    m_nCheckLock = -1;
}

HWND CCorrowinApp::CheckForUpdates(HWND owner, const UpdateRequest* request, HWND parent, int background)
{
    if (!owner || !request)
        return nullptr;
    EnsureStarted();
    CTransparentDialogBase::SetRefreshMessage(CGdipButton::GetRefreshMessage());
    // The program passes no key of its own; the language found at loading then stays.
    if (!request->bInstallerMode && !request->strRegistrySubKey.IsEmpty())
        SetLanguageInstance(m_languageLoader.LoadLangResourceDLL(
            platform::resources::ThisModule(), CString(kInstallationKey) + request->strRegistrySubKey,
            kLanguageValue));
    CSingleLock lock(&m_lock, TRUE);
    if ((m_wState >> kPackagePending) & 1u)
        return nullptr;
    if (m_pUpdateDialog)
    {
        m_pUpdateDialog->BringIntoView();
        return nullptr;
    }
    // One check at a time for the user, whichever process asks.
    if (!TakeCheckLock())
        return nullptr;
    try
    {
        m_pUpdateDialog = new CWebUpdateDlg(request, parent ? CWnd::FromHandle(parent) : nullptr, background);
    }
    catch (...)
    {
        m_pUpdateDialog = nullptr;
    }
    if (!m_pUpdateDialog)
    {
        DropCheckLock();
        return nullptr;
    }
    m_hOwner = owner;
    return m_pUpdateDialog->GetSafeHwnd();
}

BOOL CCorrowinApp::InstallDownloadedPackage()
{
    if (!GetStateBit(kPackagePending))
        return FALSE;
    char folder[MAX_PATH] = {};
    GetModuleDirectory(folder, sizeof folder);
    char code[4] = {};
    CMultiLanguage::GetLangCode(CString(kInstallationKey) + folder, kLanguageValue, code);
    const CString target = GetTargetPath();
    // Only the package the worker completed goes to the installer: a regular file, not a link, in the
    // download folder.
    struct stat info
    {
    };
    const std::string downloads = UpdateDownloadFolder() + "/";
    const bool sound = target.Str().rfind(downloads, 0) == 0 && target.Str().ends_with(".deb") &&
                       lstat(target, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
    const INT_PTR result =
        sound ? reinterpret_cast<INT_PTR>(
                    ShellExecuteA(nullptr, "open", target, GetLanguageSwitch(code), nullptr, SW_SHOWNORMAL))
              : SE_ERR_FNF;
    if (result <= 32)
    {
        const CString text = LoadTextWith(IDS_HANDOFF_FAILED, target);
        HWND owner = nullptr;
        {
            CSingleLock lock(&m_lock, TRUE);
            owner = m_hOwner && ::IsWindow(m_hOwner) ? m_hOwner : nullptr;
        }
        ShowSkinnedMessageBox(owner, text, m_title, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    SetStateBit(kPackagePending, FALSE);
    return TRUE;
}

void CCorrowinApp::InterruptUpdate(HWND owner)
{
    CSingleLock lock(&m_lock, TRUE);
    if (m_pUpdateDialog && owner == m_hOwner && m_pUpdateDialog->GetSafeHwnd())
        m_pUpdateDialog->PostMessage(WM_CLOSE, 0, 0);
}

int ShowSkinnedMessageBox(HWND owner, const char* text, const char* title, UINT flags)
{
    const CCorrowinApp& app = CorrowinApp();
    return MessageBoxSkinEx(app.LoadText(IDS_OK), app.LoadText(IDS_CANCEL), app.LoadText(IDS_YES),
                            app.LoadText(IDS_NO), owner, text, title, flags);
}

extern "C"
{
    HWND CheckForUpdates(HWND owner, const UpdateRequest* request, HWND parent, int background)
    {
        try
        {
            return CorrowinApp().CheckForUpdates(owner, request, parent, background);
        }
        catch (...)
        {
            return nullptr;
        }
    }

    BOOL InstallDownloadedPackage()
    {
        try
        {
            CorrowinApp().EnsureStarted();
            return CorrowinApp().InstallDownloadedPackage();
        }
        catch (...)
        {
            return FALSE;
        }
    }

    void InterruptUpdate(HWND owner)
    {
        try
        {
            CorrowinApp().EnsureStarted();
            CorrowinApp().InterruptUpdate(owner);
        }
        catch (...)
        {
        }
    }

    const char* GetLanguageSwitch(const char* code)
    {
        struct Switch
        {
            const char* code;
            const char* parameters;
        };
        // German and Portuguese name their primary language and the Portuguese of Portugal, as the
        // installer expects.
        static constexpr Switch kSwitches[] = {{"ENU", "/L0409"}, {"FRA", "/L040c"}, {"DEU", "/L0007"},
                                               {"NLD", "/L0413"}, {"ESP", "/L040a"}, {"ITA", "/L0410"},
                                               {"PTB", "/L0816"}};
        if (!code)
            return "";
        for (const Switch& entry : kSwitches)
            if (strcasecmp(code, entry.code) == 0)
                return entry.parameters;
        return "";
    }
}
