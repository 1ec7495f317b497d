#pragma once

#include "corrowin/Corrowin.h"
#include "corrowin/UpdateWorker.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/win/Sync.h"
#include "platform/window/WinApp.h"

class CWebUpdateDlg;

/// The library's application object: the one running update dialog and the window that asked for it,
/// the download target and the state bits, the language library, and the exports' work. It lives beside
/// the calling program's application object (which AfxGetApp keeps returning): it starts with the first
/// export called (InitInstance, on the user-interface thread) and ends from the program's orderly shutdown
/// (ExitInstance, through platform::window::EndModuleApps), never from a static destructor.
///
/// The lock guards the owner, the dialog, the target and the state bits; the worker thread reaches the
/// object only through IUpdateTarget. Everything else runs on the user-interface thread.
class CCorrowinApp : public CWinApp, public IUpdateTarget
{
public:
    /// Bit 0 of the state: a downloaded package waits for installation.
    static constexpr unsigned kPackagePending = 0;

    CCorrowinApp();
    ~CCorrowinApp() override;
    CCorrowinApp(const CCorrowinApp&) = delete;
    CCorrowinApp& operator=(const CCorrowinApp&) = delete;

    /// Loads the language library of the user's language; with Arabic its dialogs come from there too.
    BOOL InitInstance() override;
    /// Hands a package still waiting to the installer, then lets the language library go.
    int ExitInstance() override;
    /// Runs InitInstance once, the first time an export needs the object.
    void EnsureStarted();

    /// Deletes the update dialog's object (after its window is gone) and ends the check.
    virtual void ReleaseUpdateDialog();
    /// The WM_COPYDATA notifications to the owner window, sent after the lock is released.
    virtual void NotifyAnswer(int answer);
    virtual void NotifyDownloaded();
    virtual void NotifyClosed();

    void SetTargetFolder(const char* folder) override;
    void Append2TargetName(const char* name) override;
    void SetStateBit(unsigned bit, BOOL on) override;
    BOOL GetStateBit(unsigned bit);
    CString GetTargetPath();

    /// Where the texts come from: the language library when there is one, else the library itself.
    HINSTANCE GetResourceInstance() const;
    /// String `id` of the resource instance; the library's own English text when the language library
    /// lacks it.
    CString LoadText(UINT id) const;
    /// The same with its "%s" replaced by `text`; nothing else of the text is read as a format, so a
    /// translation cannot make it read arguments that are not there.
    CString LoadTextWith(UINT id, const char* text) const;
    const CString& GetTitle() const noexcept { return m_title; }

    HWND CheckForUpdates(HWND owner, const UpdateRequest* request, HWND parent, int background);
    BOOL InstallDownloadedPackage();
    void InterruptUpdate(HWND owner);

private:
    void Notify(ULONG_PTR code, ULONG_PTR value);
    /// The lock file that keeps a second check, of this or another process, from starting.
    bool TakeCheckLock();
    void DropCheckLock();
    void SetLanguageInstance(HINSTANCE instance);

    HWND m_hOwner = nullptr;
    CWebUpdateDlg* m_pUpdateDialog = nullptr;
    CCriticalSection m_lock;
    CString m_targetPath;
    WORD m_wState = 0;
    HINSTANCE m_hLangInstance = nullptr;
    CString m_title = "Tavisk WebUpdate";
    CMultiLanguage m_languageLoader;
    bool m_bStarted = false;
    int m_nCheckLock = -1;
};

/// The library's application object.
CCorrowinApp& CorrowinApp();

/// A box in the program's skin with the library's captions for its buttons; the button pressed (IDYES,
/// IDNO ...), or 0 when it could not be shown.
int ShowSkinnedMessageBox(HWND owner, const char* text, const char* title, UINT flags);
