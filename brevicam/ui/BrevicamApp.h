#pragma once

#include "brevicam/core/ResourceInstance.h"
#include "brevicam/ui/AcceleratorWindows.h"
#include "platform/win/CString.h"
#include "platform/window/WinApp.h"
#include "resources/brevicam/resource.h"

#include <ctime>
#include <set>
#include <sys/types.h>

class CCaptureController;

/// The program's application object, theApp. It is built with the program's static objects: no language
/// library yet, no accelerator windows. Its InitInstance runs the whole program: checks, settings, the
/// capture controller and the main dialog run modally, and the settings saved again; it always returns
/// FALSE, so the program ends without a message loop of its own.
class CBrevicamApp : public CWinApp, public IResourceInstanceProvider, public IAcceleratorWindows
{
public:
    /// The accelerator table of the capture panel's shortcuts.
    static constexpr UINT kAcceleratorTable = IDR_CAPTURE_ACCELERATORS;

    CBrevicamApp();
    ~CBrevicamApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;
    /// TRUE when a key message for a registered accelerator window was translated into its command.
    BOOL ProcessMessageFilter(int code, LPMSG msg) override;

    /// The language resource library (m_hLangResourceDLL) when one was loaded, else the program's own
    /// instance handle.
    HINSTANCE GetResourceInstance() const override;

    /// FALSE (and nothing added) when the window's parent is disabled.
    BOOL AddAcceleratorWindow(HWND window) override;
    std::size_t RemoveAcceleratorWindow(HWND window) override;
    bool IsAcceleratorWindow(HWND window) const;

    /// Another running process of this program file of this user, 0 when there is none.
    static DWORD FindOtherInstance();
    /// The local time of `time` formatted with strftime; `out` is empty when that fails.
    static CString& FormatTime(const std::time_t* time, CString& out, const char* format);

    /// The language resource library loaded at start-up; null until then, or when none was found.
    HINSTANCE m_hLangResourceDLL = nullptr;
    /// Windows whose accelerators the application translates.
    std::set<HWND> m_accelWindows;

private:
    /// Step of InitInstance: the controller and the main dialog, run modally; exceptions are the caller's.
    void RunMainDialog();
    /// The resource handle follows the user's "Language" value (only "ARA" moves dialogs and images to
    /// the language library).
    void ChooseResourceHandle(const CString& installationKey);
};

extern CBrevicamApp theApp;
/// The capture panel's accelerator table, null until InitInstance loads it.
extern HACCEL g_hAccelTable;
