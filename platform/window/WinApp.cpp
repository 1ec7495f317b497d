// The class library's application object and the program's start.

#include "platform/window/WinApp.h"

#include "platform/resources/Resources.h"
#include "platform/window/Extras.h"
#include "platform/window/WindowInternal.h"

#include <QApplication>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <vector>

namespace
{
CWinApp* g_app = nullptr;
std::mutex g_moduleAppsMutex;
std::vector<CWinApp*> g_moduleApps;
} // namespace

namespace platform::window
{
void AddModuleApp(CWinApp* app)
{
    std::lock_guard<std::mutex> lock(g_moduleAppsMutex);
    if (app && std::find(g_moduleApps.begin(), g_moduleApps.end(), app) == g_moduleApps.end())
        g_moduleApps.push_back(app);
}

void RemoveModuleApp(CWinApp* app)
{
    std::lock_guard<std::mutex> lock(g_moduleAppsMutex);
    g_moduleApps.erase(std::remove(g_moduleApps.begin(), g_moduleApps.end(), app), g_moduleApps.end());
}

void EndModuleApps()
{
    for (;;)
    {
        CWinApp* app = nullptr;
        {
            std::lock_guard<std::mutex> lock(g_moduleAppsMutex);
            if (g_moduleApps.empty())
                return;
            app = g_moduleApps.back();
            g_moduleApps.pop_back();
        }
        app->ExitInstance();
    }
}
} // namespace platform::window

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

CWinApp::CWinApp(LPCTSTR appName)
{
    g_app = this;
    if (appName)
        m_pszAppName = appName;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return static_cast<int>(m_msgCur.wParam);
}

BOOL CWinApp::OnIdle(LONG)
{
    return FALSE;
}

BOOL CWinApp::PreTranslateMessage(MSG* msg)
{
    // The thread's tooltip sees the pointer and the keys first, whatever the windows then do with them.
    platform::window::detail::RouteToolTipMessage(msg);
    return CWnd::WalkPreTranslateTree(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr, msg);
}

BOOL CWinApp::ProcessMessageFilter(int, LPMSG)
{
    return FALSE;
}

BOOL CWinApp::PumpMessage()
{
    if (!::GetMessage(&m_msgCur, nullptr, 0, 0))
        return FALSE;
    if (!PreTranslateMessage(&m_msgCur))
    {
        ::TranslateMessage(&m_msgCur);
        ::DispatchMessage(&m_msgCur);
    }
    return TRUE;
}

int CWinApp::Run()
{
    LONG idle = 0;
    for (;;)
    {
        MSG peek;
        while (!::PeekMessage(&peek, nullptr, 0, 0, PM_NOREMOVE))
            if (!OnIdle(idle++))
                break;
        if (!PumpMessage())
            return ExitInstance();
        idle = 0;
    }
}

HCURSOR CWinApp::LoadStandardCursor(LPCTSTR name) const
{
    return ::LoadCursor(nullptr, name);
}

HCURSOR CWinApp::LoadCursor(UINT id) const
{
    // A language library need not hold the program's pictures: the search falls back to the program.
    const LPCSTR name = MAKEINTRESOURCE(id);
    return ::LoadCursor(AfxFindResourceHandle(name, RT_GROUP_CURSOR), name);
}

HICON CWinApp::LoadIcon(UINT id) const
{
    const LPCSTR name = MAKEINTRESOURCE(id);
    return ::LoadIcon(AfxFindResourceHandle(name, RT_GROUP_ICON), name);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app ? g_app->m_pMainWnd : nullptr;
}

int AfxMessageBox(LPCTSTR text, UINT type, UINT)
{
    CWnd* main = AfxGetMainWnd();
    HWND owner = main && ::IsWindow(main->m_hWnd) ? main->m_hWnd : ::GetActiveWindow();
    const char* caption = g_app && !g_app->m_pszAppName.IsEmpty() ? g_app->m_pszAppName.GetString() : "";
    return ::MessageBox(owner, text, caption, type);
}

int AfxMessageBox(UINT textId, UINT type, UINT helpId)
{
    CString text;
    text.LoadString(textId);
    return AfxMessageBox(text, type, helpId);
}

int AfxWinMain(int argc, char** argv)
{
    // The application object may have been made before Qt; Qt needs the real arguments.
    static int qtArgc = 1;
    static char name[] = "brevicam";
    static char* fallback[] = {name, nullptr};
    if (!QCoreApplication::instance())
    {
        if (argc > 0 && argv)
            qtArgc = argc;
        new QApplication(qtArgc, argc > 0 && argv ? argv : fallback);
    }
    platform::window::detail::EnsureApplication();
    CWinApp* app = AfxGetApp();
    int code = 0;
    if (app)
    {
        if (!app->m_hInstance)
            app->m_hInstance = AfxGetInstanceHandle();
        if (app->m_pszAppName.IsEmpty() && argc > 0 && argv && argv[0])
            app->m_pszAppName = std::filesystem::path(argv[0]).stem().string().c_str();
        code = app->InitInstance() ? app->Run() : app->ExitInstance();
    }
    platform::window::EndModuleApps();
    platform::window::BeginShutdown();
    return code;
}
