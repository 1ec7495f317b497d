#pragma once

#include "platform/registry/Profile.h"
#include "platform/window/Wnd.h"

/// The code of messages a modal dialog's loop offers to CWinApp::ProcessMessageFilter.
constexpr int MSGF_DIALOGBOX = 0;

/// The class library's application object. One exists per program (a global object); AfxGetApp returns
/// it. Its profile functions keep the settings under Software\<registry key>\<application name>.
class PLATFORM_API CWinApp : public CCmdTarget, public CRegistryProfile
{
    DECLARE_DYNAMIC(CWinApp)
public:
    explicit CWinApp(LPCTSTR appName = nullptr);
    ~CWinApp() override;

    /// Starts the application; FALSE ends the program without running the message loop.
    virtual BOOL InitInstance();
    /// Runs the message loop until WM_QUIT and returns ExitInstance's result.
    virtual int Run();
    virtual int ExitInstance();
    virtual BOOL PreTranslateMessage(MSG* msg);
    /// Offered every message of a modal loop before it is translated; TRUE when the message was handled
    /// (it is then not dispatched).
    virtual BOOL ProcessMessageFilter(int code, LPMSG msg);
    virtual BOOL OnIdle(LONG count);
    /// Handles one message of the thread's queue; FALSE when it was WM_QUIT.
    BOOL PumpMessage();

    HCURSOR LoadStandardCursor(LPCTSTR name) const;
    HCURSOR LoadCursor(UINT id) const;
    HICON LoadIcon(UINT id) const;

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    MSG m_msgCur{};
};

PLATFORM_API CWinApp* AfxGetApp();
PLATFORM_API CWnd* AfxGetMainWnd();
/// A system message box owned by the main window, with the application's name as caption.
PLATFORM_API int AfxMessageBox(LPCTSTR text, UINT type = MB_OK, UINT helpId = 0);
PLATFORM_API int AfxMessageBox(UINT textId, UINT type = MB_OK, UINT helpId = UINT(-1));

namespace platform::window
{
/// Application objects of libraries, beside the program's own (which AfxGetApp returns). A library adds its
/// object when it is loaded and removes it when it is unloaded; AfxWinMain ends those still there with
/// ExitInstance, newest first, once the program's application object is done and while windows and
/// messages still work, so that a library's end runs from the program's orderly shutdown and never from a
/// static destructor. Add and remove: any thread, also while the library loads.
PLATFORM_API void AddModuleApp(CWinApp* app);
PLATFORM_API void RemoveModuleApp(CWinApp* app);
/// Ends the module applications still added (each once, then forgotten), as AfxWinMain does at its end;
/// for programs and tests that run without AfxWinMain. User-interface thread.
PLATFORM_API void EndModuleApps();
} // namespace platform::window

/// The program's start: makes the Qt application, runs InitInstance of the application object and, when it
/// returns TRUE, Run; then ends the module applications (platform::window::AddModuleApp), closes the window
/// layer (pending cross-thread sends return). Returns the exit code.
PLATFORM_API int AfxWinMain(int argc, char** argv);
