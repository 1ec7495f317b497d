// The class library's object model, message maps and CWnd.

#include "platform/window/Wnd.h"

#include "platform/window/DC.h"
#include "platform/window/Extras.h"
#include "platform/window/GdiObject.h"
#include "platform/window/WinApp.h"
#include "platform/window/WindowInternal.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
// User-interface thread only. Never destroyed, so that objects outliving them at process exit find them.
auto& g_permanent = *new std::unordered_map<HWND, CWnd*>;
auto& g_temporary = *new std::unordered_map<HWND, std::unique_ptr<CWnd>>;
thread_local std::vector<MSG> t_current;

/// A window object made for a handle that has none; it never destroys the window.
class CTempWnd final : public CWnd
{
public:
    explicit CTempWnd(HWND hwnd) { m_hWnd = hwnd; }
    ~CTempWnd() override { m_hWnd = nullptr; }
};

void InstallHooks()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       platform::window::SetWindowDestroyedHook(
                           [](HWND hwnd)
                           {
                               g_temporary.erase(hwnd);
                               auto it = g_permanent.find(hwnd);
                               if (it != g_permanent.end())
                               {
                                   // The object outlives its window; it forgets the handle.
                                   it->second->m_hWnd = nullptr;
                                   g_permanent.erase(it);
                               }
                           });
                   });
}

void SubclassForObject(CWnd* wnd, HWND hwnd)
{
    auto old = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
    if (old != AfxWndProc)
        wnd->m_pfnSuper = old;
}

/// Attaches `wnd` to the next window this thread creates, before that window's first message.
class CreationHook
{
public:
    explicit CreationHook(CWnd* wnd)
    {
        platform::window::SetCreateHook(
            [wnd](HWND hwnd)
            {
                wnd->Attach(hwnd);
                wnd->PreSubclassWindow();
                SubclassForObject(wnd, hwnd);
            });
    }
    ~CreationHook() { platform::window::SetCreateHook(nullptr); }
    CreationHook(const CreationHook&) = delete;
    CreationHook& operator=(const CreationHook&) = delete;
};
} // namespace

// ---------------------------------------------------------------------------------------------------------
// Run-time classes
// ---------------------------------------------------------------------------------------------------------

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const
{
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
        if (c == base)
            return TRUE;
    return FALSE;
}

const CRuntimeClass CObject::classCObject = {"CObject", nullptr};

CRuntimeClass* CObject::GetRuntimeClass() const
{
    return RUNTIME_CLASS(CObject);
}

BOOL CObject::IsKindOf(const CRuntimeClass* runtimeClass) const
{
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

BOOL CCmdTarget::DispatchToMap(UINT message, UINT code, UINT id, UINT original, WPARAM wParam, LPARAM lParam,
                               LRESULT* result)
{
    LRESULT dummy = 0;
    if (!result)
        result = &dummy;
    const bool command = message == WM_COMMAND || message == WM_NOTIFY;
    const bool reflected = message == WM_REFLECT_BASE + WM_COMMAND || message == WM_REFLECT_BASE + WM_NOTIFY;
    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
    {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e)
        {
            if (e->registeredMessage)
            {
                if (*e->registeredMessage != original || message != original)
                    continue;
            }
            else if (e->nMessage != message)
                continue;
            else if (command && (e->nCode != code || id < e->nID || id > e->nLastID))
                continue;
            else if (reflected && e->nCode != code)
                continue;
            if (e->pfn(this, original, wParam, lParam, result))
                return TRUE;
        }
    }
    return FALSE;
}

BOOL CCmdTarget::OnCmdMsg(UINT id, int code, void*, void*)
{
    LRESULT result = 0;
    return DispatchToMap(WM_COMMAND, static_cast<UINT>(code), id, WM_COMMAND,
                         MAKEWPARAM(static_cast<int>(id), code), 0, &result);
}

// ---------------------------------------------------------------------------------------------------------
// CWnd
// ---------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
ON_WM_CTLCOLOR()
ON_WM_DRAWITEM()
ON_WM_MEASUREITEM()
ON_WM_HSCROLL()
ON_WM_VSCROLL()
ON_WM_NCDESTROY()
END_MESSAGE_MAP()

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::CWnd()
{
    InstallHooks();
}

CWnd::CWnd(HWND special)
{
    m_hWnd = special;
}

CWnd::~CWnd()
{
    if (!m_hWnd)
        return;
    auto it = g_permanent.find(m_hWnd);
    if (it == g_permanent.end() || it->second != this)
        return;
    // A window outliving its object would call into a dead object; it goes with it.
    if (::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    if (m_hWnd)
    {
        g_permanent.erase(m_hWnd);
        m_hWnd = nullptr;
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    auto it = g_permanent.find(hwnd);
    return it == g_permanent.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    if (!hwnd || !::IsWindow(hwnd))
        return nullptr;
    if (CWnd* w = FromHandlePermanent(hwnd))
        return w;
    InstallHooks();
    auto& temp = g_temporary[hwnd];
    if (!temp)
        temp = std::make_unique<CTempWnd>(hwnd);
    return temp.get();
}

BOOL CWnd::Attach(HWND hwnd)
{
    if (!hwnd || m_hWnd || FromHandlePermanent(hwnd) || !::IsWindow(hwnd))
        return FALSE;
    InstallHooks();
    m_hWnd = hwnd;
    g_permanent[hwnd] = this;
    g_temporary.erase(hwnd);
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hwnd = m_hWnd;
    if (hwnd)
    {
        auto it = g_permanent.find(hwnd);
        if (it != g_permanent.end() && it->second == this)
            g_permanent.erase(it);
    }
    m_hWnd = nullptr;
    return hwnd;
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    if (!Attach(hwnd))
        return FALSE;
    PreSubclassWindow();
    SubclassForObject(this, hwnd);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (!parent)
        return FALSE;
    HWND item = ::GetDlgItem(parent->m_hWnd, static_cast<int>(id));
    return item ? SubclassWindow(item) : FALSE;
}

HWND CWnd::UnsubclassWindow()
{
    if (m_hWnd && m_pfnSuper)
        ::SetWindowLongPtr(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::Create(LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id,
                  void*)
{
    return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect,
                    CWnd* parent, UINT id, LPVOID param)
{
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), param);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU idOrMenu, LPVOID param)
{
    if (m_hWnd)
        return FALSE;
    CREATESTRUCT cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className ? className
                             : AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursor(nullptr, IDC_ARROW),
                                                   reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    cs.lpszName = windowName;
    cs.style = static_cast<LONG>(style);
    cs.x = x;
    cs.y = y;
    cs.cx = width;
    cs.cy = height;
    cs.hwndParent = parent;
    cs.hMenu = idOrMenu;
    cs.lpCreateParams = param;
    if (!PreCreateWindow(cs))
        return FALSE;
    HWND hwnd;
    {
        CreationHook hook(this);
        hwnd = ::CreateWindowEx(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x,
                                cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    }
    if (!hwnd && m_hWnd)
        Detach();
    return hwnd != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&)
{
    return TRUE;
}

void CWnd::PreSubclassWindow() {}

void CWnd::PostNcDestroy() {}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProc(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProc(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    LRESULT dummy = 0;
    if (!result)
        result = &dummy;
    if (message == WM_COMMAND)
    {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        *result = 1;
        return TRUE;
    }
    if (message == WM_NOTIFY)
    {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        return header && OnNotify(wParam, lParam, result);
    }
    UINT lookup = message;
    UINT code = 0;
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)
        lookup = WM_CTLCOLOR;
    else if (message == WM_REFLECT_BASE + WM_COMMAND)
        code = HIWORD(wParam);
    else if (message == WM_REFLECT_BASE + WM_NOTIFY)
        code = lParam ? reinterpret_cast<NMHDR*>(lParam)->code : 0;
    return DispatchToMap(lookup, code, 0, message, wParam, lParam, result);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    int code = HIWORD(wParam);
    if (control)
    {
        if (control == m_hWnd)
            return FALSE;
        if (CWnd* child = FromHandlePermanent(control))
        {
            LRESULT r = 0;
            if (child->OnChildNotify(WM_COMMAND, wParam, lParam, &r))
                return TRUE;
        }
    }
    else if (code == 1)
        code = CN_COMMAND; // accelerators
    return OnCmdMsg(id, code, nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (CWnd* child = FromHandlePermanent(header->hwndFrom))
        if (child->OnChildNotify(WM_NOTIFY, wParam, lParam, result))
            return TRUE;
    // A tooltip's idFrom is its tool's id (an item index, a window handle); handlers are found by the id of
    // the control that sent the notification, as for every other control.
    const bool fromToolTip = platform::window::detail::IsToolTipWindow(header->hwndFrom);
    const UINT id =
        fromToolTip ? static_cast<UINT>(::GetDlgCtrlID(header->hwndFrom)) : static_cast<UINT>(header->idFrom);
    if (DispatchToMap(WM_NOTIFY, header->code, id, WM_NOTIFY, wParam, lParam, result))
        return TRUE;
    if (fromToolTip && (header->code == TTN_NEEDTEXTA || header->code == TTN_NEEDTEXTW))
    {
        // A text nobody here gives is asked of the owner, which often describes the tools of its windows.
        HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
        if (!owner)
            owner = ::GetParent(m_hWnd);
        if (owner)
        {
            *result = ::SendMessage(owner, WM_NOTIFY, wParam, lParam);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    return ReflectChildNotify(message, wParam, lParam, result);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    LRESULT dummy = 0;
    if (!result)
        result = &dummy;
    switch (message)
    {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_PARENTNOTIFY:
        return OnWndMsg(WM_REFLECT_BASE + message, wParam, lParam, result);
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    {
        AFX_CTLCOLOR ctl{m_hWnd, reinterpret_cast<HDC>(wParam), message - WM_CTLCOLORMSGBOX};
        return OnWndMsg(WM_REFLECT_BASE + WM_CTLCOLOR, 0, reinterpret_cast<LPARAM>(&ctl), result);
    }
    default:
        return FALSE;
    }
}

BOOL CWnd::SendChildNotifyLastMsg(LRESULT* result)
{
    if (t_current.empty())
        return FALSE;
    const MSG m = t_current.back();
    return OnChildNotify(m.message, m.wParam, m.lParam, result);
}

LRESULT CWnd::Default()
{
    if (t_current.empty())
        return 0;
    const MSG m = t_current.back();
    return DefWindowProc(m.message, m.wParam, m.lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

BOOL CWnd::WalkPreTranslateTree(HWND stop, MSG* msg)
{
    for (HWND hwnd = msg->hwnd; hwnd; hwnd = ::GetParent(hwnd))
    {
        if (CWnd* w = FromHandlePermanent(hwnd))
            if (w->PreTranslateMessage(msg))
                return TRUE;
        if (hwnd == stop)
            break;
    }
    return FALSE;
}

int CWnd::RunModalLoop(DWORD flags)
{
    m_nFlags |= WF_MODALLOOP | WF_CONTINUEMODAL;
    const HWND hwnd = m_hWnd;
    if ((flags & MLF_SHOWONIDLE) && !(GetStyle() & WS_VISIBLE))
    {
        ShowWindow(SW_SHOWNORMAL);
        UpdateWindow();
    }
    for (;;)
    {
        if (!ContinueModal())
            break;
        MSG msg;
        const BOOL got = ::GetMessage(&msg, nullptr, 0, 0);
        if (got == 0)
        {
            // A quit ends the modal loop and stays owed to the loop outside it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            m_nModalResult = -1;
            break;
        }
        if (got < 0)
            break;
        // The application sees every message of a modal loop first, as a message filter would.
        CWinApp* app = AfxGetApp();
        if (app && app->ProcessMessageFilter(MSGF_DIALOGBOX, &msg))
            continue;
        if (!AfxPreTranslateMessage(&msg))
        {
            ::TranslateMessage(&msg);
            ::DispatchMessage(&msg);
        }
        if (!::IsWindow(hwnd))
            break;
    }
    m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
    return m_nModalResult;
}

BOOL CWnd::ContinueModal()
{
    return (m_nFlags & WF_CONTINUEMODAL) != 0;
}

void CWnd::EndModalLoop(int result)
{
    m_nModalResult = result;
    if (m_nFlags & WF_CONTINUEMODAL)
    {
        m_nFlags &= ~WF_CONTINUEMODAL;
        ::PostMessage(m_hWnd, WM_NULL, 0, 0);
    }
}

// Default handlers of CWnd's own map.

HBRUSH CWnd::OnCtlColor(CDC*, CWnd* wnd, UINT)
{
    LRESULT result = 0;
    if (wnd && wnd->SendChildNotifyLastMsg(&result))
        return reinterpret_cast<HBRUSH>(result);
    return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT dis)
{
    if (dis && dis->CtlType != ODT_MENU)
        if (CWnd* child = FromHandlePermanent(dis->hwndItem))
            if (child->SendChildNotifyLastMsg())
                return;
    Default();
}

void CWnd::OnMeasureItem(int id, LPMEASUREITEMSTRUCT mis)
{
    if (mis && mis->CtlType != ODT_MENU)
        if (CWnd* child = FromHandlePermanent(::GetDlgItem(m_hWnd, id)))
            if (child->SendChildNotifyLastMsg())
                return;
    Default();
}

void CWnd::OnHScroll(UINT, UINT, CScrollBar* scrollBar)
{
    auto* child = reinterpret_cast<CWnd*>(scrollBar);
    if (child && FromHandlePermanent(child->m_hWnd) == child && child->SendChildNotifyLastMsg())
        return;
    Default();
}

void CWnd::OnVScroll(UINT, UINT, CScrollBar* scrollBar)
{
    auto* child = reinterpret_cast<CWnd*>(scrollBar);
    if (child && FromHandlePermanent(child->m_hWnd) == child && child->SendChildNotifyLastMsg())
        return;
    Default();
}

void CWnd::OnNcDestroy()
{
    Default();
}

// Window state.

DWORD CWnd::GetStyle() const
{
    return static_cast<DWORD>(::GetWindowLongPtr(m_hWnd, GWL_STYLE));
}

DWORD CWnd::GetExStyle() const
{
    return static_cast<DWORD>(::GetWindowLongPtr(m_hWnd, GWL_EXSTYLE));
}

BOOL CWnd::ModifyStyle(HWND hwnd, DWORD remove, DWORD add, UINT flags)
{
    const auto style = static_cast<DWORD>(::GetWindowLongPtr(hwnd, GWL_STYLE));
    const DWORD next = (style & ~remove) | add;
    if (style == next)
        return FALSE;
    ::SetWindowLongPtr(hwnd, GWL_STYLE, static_cast<LONG_PTR>(next));
    if (flags)
        ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(HWND hwnd, DWORD remove, DWORD add, UINT flags)
{
    const auto style = static_cast<DWORD>(::GetWindowLongPtr(hwnd, GWL_EXSTYLE));
    const DWORD next = (style & ~remove) | add;
    if (style == next)
        return FALSE;
    ::SetWindowLongPtr(hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(next));
    if (flags)
        ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags)
{
    return ModifyStyle(m_hWnd, remove, add, flags);
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags)
{
    return ModifyStyleEx(m_hWnd, remove, add, flags);
}

int CWnd::GetDlgCtrlID() const
{
    return ::GetDlgCtrlID(m_hWnd);
}

int CWnd::SetDlgCtrlID(int id)
{
    return static_cast<int>(::SetWindowLongPtr(m_hWnd, GWLP_ID, id));
}

BOOL CWnd::ShowWindow(int cmd)
{
    return ::ShowWindow(m_hWnd, cmd);
}

BOOL CWnd::IsWindowVisible() const
{
    return ::IsWindowVisible(m_hWnd);
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    return ::EnableWindow(m_hWnd, enable);
}

BOOL CWnd::IsWindowEnabled() const
{
    return ::IsWindowEnabled(m_hWnd);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

BOOL CWnd::IsZoomed() const
{
    return ::IsZoomed(m_hWnd);
}

BOOL CWnd::IsChild(const CWnd* wnd) const
{
    return wnd ? ::IsChild(m_hWnd, wnd->m_hWnd) : FALSE;
}

void CWnd::SetWindowText(LPCTSTR text)
{
    ::SetWindowText(m_hWnd, text);
}

int CWnd::GetWindowText(LPTSTR buffer, int size) const
{
    return ::GetWindowText(m_hWnd, buffer, size);
}

void CWnd::GetWindowText(CString& text) const
{
    const int length = ::GetWindowTextLength(m_hWnd);
    char* buffer = text.GetBuffer(length);
    ::GetWindowText(m_hWnd, buffer, length + 1);
    text.ReleaseBuffer();
}

int CWnd::GetWindowTextLength() const
{
    return ::GetWindowTextLength(m_hWnd);
}

void CWnd::SetFont(CFont* font, BOOL redraw)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font ? font->m_hObject : nullptr), redraw);
}

CFont* CWnd::GetFont() const
{
    return CFont::FromHandle(reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)));
}

// Tree.

CWnd* CWnd::GetParent() const
{
    return FromHandle(::GetParent(m_hWnd));
}

CWnd* CWnd::SetParent(CWnd* parent)
{
    return FromHandle(::SetParent(m_hWnd, parent ? parent->m_hWnd : nullptr));
}

CWnd* CWnd::GetOwner() const
{
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    return FromHandle(owner ? owner : ::GetParent(m_hWnd));
}

void CWnd::SetOwner(CWnd* owner)
{
    ::SetWindowLongPtr(m_hWnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner ? owner->m_hWnd : nullptr));
}

CWnd* CWnd::GetTopLevelParent() const
{
    return FromHandle(::GetAncestor(m_hWnd, GA_ROOT));
}

CWnd* CWnd::GetDesktopWindow()
{
    return FromHandle(::GetDesktopWindow());
}

CWnd* CWnd::GetWindow(UINT cmd) const
{
    return FromHandle(::GetWindow(m_hWnd, cmd));
}

CWnd* CWnd::GetTopWindow() const
{
    return FromHandle(::GetTopWindow(m_hWnd));
}

CWnd* CWnd::GetDlgItem(int id) const
{
    return FromHandle(::GetDlgItem(m_hWnd, id));
}

void CWnd::GetDlgItem(int id, HWND* item) const
{
    if (item)
        *item = ::GetDlgItem(m_hWnd, id);
}

CWnd* CWnd::GetNextDlgTabItem(CWnd* control, BOOL previous) const
{
    return FromHandle(::GetNextDlgTabItem(m_hWnd, control ? control->m_hWnd : nullptr, previous));
}

CWnd* CWnd::GetNextDlgGroupItem(CWnd* control, BOOL previous) const
{
    return FromHandle(::GetNextDlgGroupItem(m_hWnd, control ? control->m_hWnd : nullptr, previous));
}

CWnd* CWnd::GetDescendantWindow(int id, BOOL onlyPermanent) const
{
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    {
        if (::GetDlgCtrlID(child) == id)
        {
            if (!onlyPermanent || FromHandlePermanent(child))
                return FromHandle(child);
        }
        if (CWnd* w = FromHandle(child))
            if (CWnd* found = w->GetDescendantWindow(id, onlyPermanent))
                return found;
    }
    return nullptr;
}

void CWnd::SetDlgItemText(int id, LPCTSTR text)
{
    ::SetDlgItemText(m_hWnd, id, text);
}

int CWnd::GetDlgItemText(int id, CString& text) const
{
    HWND item = ::GetDlgItem(m_hWnd, id);
    if (!item)
    {
        text.Empty();
        return 0;
    }
    const int length = ::GetWindowTextLength(item);
    char* buffer = text.GetBuffer(length);
    ::GetWindowText(item, buffer, length + 1);
    text.ReleaseBuffer();
    return text.GetLength();
}

int CWnd::GetDlgItemText(int id, LPTSTR buffer, int size) const
{
    return static_cast<int>(::GetDlgItemText(m_hWnd, id, buffer, size));
}

void CWnd::SetDlgItemInt(int id, UINT value, BOOL isSigned)
{
    ::SetDlgItemInt(m_hWnd, id, value, isSigned);
}

UINT CWnd::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const
{
    return ::GetDlgItemInt(m_hWnd, id, translated, isSigned);
}

void CWnd::CheckDlgButton(int id, UINT check)
{
    ::CheckDlgButton(m_hWnd, id, check);
}

UINT CWnd::IsDlgButtonChecked(int id) const
{
    return ::IsDlgButtonChecked(m_hWnd, id);
}

void CWnd::CheckRadioButton(int first, int last, int check)
{
    ::CheckRadioButton(m_hWnd, first, last, check);
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendDlgItemMessage(m_hWnd, id, message, wParam, lParam);
}

// Geometry.

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    return ::SetWindowPos(m_hWnd, insertAfter ? insertAfter->m_hWnd : nullptr, x, y, cx, cy, flags);
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint)
{
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}

void CWnd::MoveWindow(LPCRECT rect, BOOL repaint)
{
    ::MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

void CWnd::GetWindowRect(LPRECT rect) const
{
    ::GetWindowRect(m_hWnd, rect);
}

void CWnd::GetClientRect(LPRECT rect) const
{
    ::GetClientRect(m_hWnd, rect);
}

void CWnd::ClientToScreen(LPPOINT point) const
{
    ::ClientToScreen(m_hWnd, point);
}

// Rectangles go through the rectangle form of the point mapping, which keeps a mirrored window's edges.
void CWnd::ClientToScreen(LPRECT rect) const
{
    ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<LPPOINT>(rect), 2);
}

void CWnd::ScreenToClient(LPPOINT point) const
{
    ::ScreenToClient(m_hWnd, point);
}

void CWnd::ScreenToClient(LPRECT rect) const
{
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<LPPOINT>(rect), 2);
}

void CWnd::MapWindowPoints(CWnd* to, LPPOINT points, UINT count) const
{
    ::MapWindowPoints(m_hWnd, to ? to->m_hWnd : nullptr, points, count);
}

void CWnd::MapWindowPoints(CWnd* to, LPRECT rect) const
{
    ::MapWindowPoints(m_hWnd, to ? to->m_hWnd : nullptr, reinterpret_cast<LPPOINT>(rect), 2);
}

BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* placement) const
{
    return ::GetWindowPlacement(m_hWnd, placement);
}

BOOL CWnd::SetWindowPlacement(const WINDOWPLACEMENT* placement)
{
    return ::SetWindowPlacement(m_hWnd, placement);
}

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    CRect area;
    HWND around = alternateOwner ? alternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
    if (GetStyle() & WS_CHILD)
        ::GetClientRect(::GetParent(m_hWnd), &area);
    else if (around && ::IsWindowVisible(around))
        ::GetWindowRect(around, &area);
    else
        ::SystemParametersInfo(SPI_GETWORKAREA, 0, &area, 0);
    CRect mine;
    GetWindowRect(&mine);
    int x = area.left + (area.Width() - mine.Width()) / 2;
    int y = area.top + (area.Height() - mine.Height()) / 2;
    if (GetStyle() & WS_CHILD)
    {
        ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    CRect work;
    ::SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    x = std::clamp<int>(x, work.left, std::max<int>(work.left, work.right - mine.Width()));
    y = std::clamp<int>(y, work.top, std::max<int>(work.top, work.bottom - mine.Height()));
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::BringWindowToTop()
{
    ::BringWindowToTop(m_hWnd);
}

int CWnd::SetWindowRgn(HRGN region, BOOL redraw)
{
    return ::SetWindowRgn(m_hWnd, region, redraw);
}

int CWnd::GetWindowRgn(HRGN region) const
{
    return ::GetWindowRgn(m_hWnd, region);
}

// Focus, activation, capture, timers.

CWnd* CWnd::SetFocus()
{
    return FromHandle(::SetFocus(m_hWnd));
}

CWnd* CWnd::GetFocus()
{
    return FromHandle(::GetFocus());
}

CWnd* CWnd::SetCapture()
{
    return FromHandle(::SetCapture(m_hWnd));
}

CWnd* CWnd::GetCapture()
{
    return FromHandle(::GetCapture());
}

CWnd* CWnd::SetActiveWindow()
{
    return FromHandle(::SetActiveWindow(m_hWnd));
}

CWnd* CWnd::GetActiveWindow()
{
    return FromHandle(::GetActiveWindow());
}

BOOL CWnd::SetForegroundWindow()
{
    return ::SetForegroundWindow(m_hWnd);
}

CWnd* CWnd::GetForegroundWindow()
{
    return FromHandle(::GetForegroundWindow());
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs, TIMERPROC proc)
{
    return ::SetTimer(m_hWnd, id, elapseMs, proc);
}

BOOL CWnd::KillTimer(UINT_PTR id)
{
    return ::KillTimer(m_hWnd, id);
}

BOOL CWnd::FlashWindow(BOOL invert)
{
    return ::FlashWindow(m_hWnd, invert);
}

// Painting.

void CWnd::Invalidate(BOOL erase)
{
    ::InvalidateRect(m_hWnd, nullptr, erase);
}

void CWnd::InvalidateRect(LPCRECT rect, BOOL erase)
{
    ::InvalidateRect(m_hWnd, rect, erase);
}

void CWnd::InvalidateRgn(CRgn* region, BOOL erase)
{
    ::InvalidateRgn(m_hWnd, region ? static_cast<HRGN>(region->m_hObject) : nullptr, erase);
}

void CWnd::ValidateRect(LPCRECT rect)
{
    ::ValidateRect(m_hWnd, rect);
}

void CWnd::UpdateWindow()
{
    ::UpdateWindow(m_hWnd);
}

BOOL CWnd::RedrawWindow(LPCRECT rect, CRgn* region, UINT flags)
{
    return ::RedrawWindow(m_hWnd, rect, region ? static_cast<HRGN>(region->m_hObject) : nullptr, flags);
}

BOOL CWnd::GetUpdateRect(LPRECT rect, BOOL erase)
{
    return ::GetUpdateRect(m_hWnd, rect, erase);
}

void CWnd::SetRedraw(BOOL redraw)
{
    SendMessage(WM_SETREDRAW, static_cast<WPARAM>(redraw));
}

CDC* CWnd::GetDC()
{
    return CDC::FromHandle(::GetDC(m_hWnd));
}

CDC* CWnd::GetWindowDC()
{
    return CDC::FromHandle(::GetWindowDC(m_hWnd));
}

int CWnd::ReleaseDC(CDC* dc)
{
    return dc ? ::ReleaseDC(m_hWnd, dc->m_hDC) : 0;
}

// Messages.

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::PostMessage(m_hWnd, message, wParam, lParam);
}

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, BOOL deep)
{
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    {
        ::SendMessage(child, message, wParam, lParam);
        if (deep)
            if (CWnd* w = FromHandle(child))
                w->SendMessageToDescendants(message, wParam, lParam, TRUE);
    }
}

// ---------------------------------------------------------------------------------------------------------
// The window procedure of attached windows, and window classes
// ---------------------------------------------------------------------------------------------------------

LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (!wnd)
        return ::DefWindowProc(hwnd, message, wParam, lParam);
    t_current.push_back(MSG{hwnd, message, wParam, lParam, 0, {}});
    struct Pop
    {
        ~Pop() { t_current.pop_back(); }
    } pop;
    const LRESULT result = wnd->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY && CWnd::FromHandlePermanent(hwnd) == wnd)
    {
        // The window is gone: the object lets go of it and is told so last.
        wnd->Detach();
        wnd->m_pfnSuper = nullptr;
        wnd->PostNcDestroy();
    }
    return result;
}

LPCTSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon)
{
    static std::set<std::string> names;
    char name[96];
    std::snprintf(name, sizeof name, "Afx:%x:%lx:%lx:%lx", classStyle,
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(cursor)),
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(background)),
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(icon)));
    auto [it, added] = names.insert(name);
    if (added)
    {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.style = classStyle;
        wc.lpfnWndProc = ::DefWindowProc;
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.hIcon = icon;
        wc.lpszClassName = it->c_str();
        ::RegisterClassEx(&wc);
    }
    return it->c_str();
}

BOOL AfxPreTranslateMessage(MSG* msg)
{
    if (CWinApp* app = AfxGetApp())
        return app->PreTranslateMessage(msg);
    platform::window::detail::RouteToolTipMessage(msg);
    return CWnd::WalkPreTranslateTree(nullptr, msg);
}
