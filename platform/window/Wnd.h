#pragma once

#include "platform/win/CString.h"
#include "platform/win/Export.h"
#include "platform/window/CommCtrl.h"
#include "platform/window/Rect.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WinUser.h"

/// The class library's object model and window class: run-time classes, message maps, and CWnd, the C++
/// object that a window handle is attached to. User-interface thread only, like the windows themselves.

class CDC;
class CFont;
class CRgn;
class CScrollBar;
class CWnd;

#define afx_msg
#define AFX_MSG_CALL

// ---------------------------------------------------------------------------------------------------------
// Run-time classes
// ---------------------------------------------------------------------------------------------------------

struct PLATFORM_API CRuntimeClass
{
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(theClass) (const_cast<CRuntimeClass*>(&theClass::class##theClass))

#define DECLARE_DYNAMIC(theClass)                                                                            \
public:                                                                                                      \
    static const CRuntimeClass class##theClass;                                                              \
    CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(theClass, baseClass)                                                               \
    const CRuntimeClass theClass::class##theClass = {#theClass, &baseClass::class##baseClass};               \
    CRuntimeClass* theClass::GetRuntimeClass() const                                                         \
    {                                                                                                        \
        return RUNTIME_CLASS(theClass);                                                                      \
    }

/// The object's class when it is (derived from) `theClass`, else null.
#define DYNAMIC_DOWNCAST(theClass, object)                                                                   \
    ((object) && (object)->IsKindOf(RUNTIME_CLASS(theClass)) ? static_cast<theClass*>(object) : nullptr)

class PLATFORM_API CObject
{
public:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
    virtual ~CObject() = default;
    virtual CRuntimeClass* GetRuntimeClass() const;
    BOOL IsKindOf(const CRuntimeClass* runtimeClass) const;
    static const CRuntimeClass classCObject;
};

// ---------------------------------------------------------------------------------------------------------
// Message maps
// ---------------------------------------------------------------------------------------------------------

class CCmdTarget;

/// Calls one handler; `message` is the message as it arrived. Returns false when the handler declined
/// (the _EX forms), so that the search goes on.
using AFX_PMSG_THUNK = bool (*)(CCmdTarget* target, UINT message, WPARAM wParam, LPARAM lParam,
                                LRESULT* result);

struct AFX_MSGMAP_ENTRY
{
    UINT nMessage;
    UINT nCode;   // control notification code (WM_COMMAND, WM_NOTIFY)
    UINT nID;     // control id, first of a range
    UINT nLastID; // last id of a range
    AFX_PMSG_THUNK pfn;
    const UINT* registeredMessage; // ON_REGISTERED_MESSAGE
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

/// Offset added to a message reflected to the control that sent it.
constexpr UINT WM_REFLECT_BASE = 0xBC00;
/// Notification code of commands from menus and accelerators.
constexpr UINT CN_COMMAND = 0;

/// A reflected colour message: the control, its DC and the CTLCOLOR_ type.
struct AFX_CTLCOLOR
{
    HWND hWnd;
    HDC hDC;
    UINT nCtlType;
};
constexpr UINT CTLCOLOR_MSGBOX = 0;
constexpr UINT CTLCOLOR_EDIT = 1;
constexpr UINT CTLCOLOR_LISTBOX = 2;
constexpr UINT CTLCOLOR_BTN = 3;
constexpr UINT CTLCOLOR_DLG = 4;
constexpr UINT CTLCOLOR_SCROLLBAR = 5;
constexpr UINT CTLCOLOR_STATIC = 6;

#define DECLARE_MESSAGE_MAP()                                                                                \
protected:                                                                                                   \
    static const AFX_MSGMAP* GetThisMessageMap();                                                            \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                               \
    const AFX_MSGMAP* theClass::GetMessageMap() const                                                        \
    {                                                                                                        \
        return GetThisMessageMap();                                                                          \
    }                                                                                                        \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                                          \
    {                                                                                                        \
        using ThisClass [[maybe_unused]] = theClass;                                                         \
        using TheBaseClass = baseClass;                                                                      \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                                    \
    {                                                                                                        \
        0, 0, 0, 0, nullptr, nullptr                                                                         \
    }                                                                                                        \
    }                                                                                                        \
    ;                                                                                                        \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]};            \
    return &messageMap;                                                                                      \
    }

/// One entry whose handler body sees `self` (the class of the map), `message`, `wParam`, `lParam` and
/// `result`, and returns whether it handled the message.
#define AFX_MSG_ENTRY(msg, code, id, lastId, ...)                                                            \
    {msg,                                                                                                    \
     code,                                                                                                   \
     id,                                                                                                     \
     lastId,                                                                                                 \
     [](CCmdTarget* afxTarget, [[maybe_unused]] UINT message, [[maybe_unused]] WPARAM wParam,                \
        [[maybe_unused]] LPARAM lParam, [[maybe_unused]] LRESULT* result) -> bool                            \
     {                                                                                                       \
         [[maybe_unused]] ThisClass* self = static_cast<ThisClass*>(afxTarget);                              \
         __VA_ARGS__                                                                                         \
     },                                                                                                      \
     nullptr},

#define AFX_POINT_LPARAM CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))

// Window messages, with the class library's handler signatures.
#define ON_WM_CREATE()                                                                                       \
    AFX_MSG_ENTRY(WM_CREATE, 0, 0, 0, *result = self->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));    \
                  return true;)
#define ON_WM_DESTROY() AFX_MSG_ENTRY(WM_DESTROY, 0, 0, 0, self->OnDestroy(); return true;)
#define ON_WM_NCDESTROY() AFX_MSG_ENTRY(WM_NCDESTROY, 0, 0, 0, self->OnNcDestroy(); return true;)
#define ON_WM_CLOSE() AFX_MSG_ENTRY(WM_CLOSE, 0, 0, 0, self->OnClose(); return true;)
#define ON_WM_PAINT() AFX_MSG_ENTRY(WM_PAINT, 0, 0, 0, self->OnPaint(); return true;)
#define ON_WM_NCPAINT() AFX_MSG_ENTRY(WM_NCPAINT, 0, 0, 0, self->OnNcPaint(); return true;)
#define ON_WM_ERASEBKGND()                                                                                   \
    AFX_MSG_ENTRY(WM_ERASEBKGND, 0, 0, 0,                                                                    \
                  *result = self->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam)));              \
                  return true;)
#define ON_WM_ICONERASEBKGND()                                                                               \
    AFX_MSG_ENTRY(WM_ICONERASEBKGND, 0, 0, 0,                                                                \
                  self->OnIconEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam)));                    \
                  return true;)
#define ON_WM_TIMER()                                                                                        \
    AFX_MSG_ENTRY(WM_TIMER, 0, 0, 0, self->OnTimer(static_cast<UINT_PTR>(wParam)); return true;)
#define AFX_MOUSE_ENTRY(msg, fn)                                                                             \
    AFX_MSG_ENTRY(msg, 0, 0, 0, self->fn(static_cast<UINT>(wParam), AFX_POINT_LPARAM); return true;)
#define ON_WM_MOUSEMOVE() AFX_MOUSE_ENTRY(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_LBUTTONDOWN() AFX_MOUSE_ENTRY(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_MOUSE_ENTRY(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() AFX_MOUSE_ENTRY(WM_LBUTTONDBLCLK, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() AFX_MOUSE_ENTRY(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_RBUTTONUP() AFX_MOUSE_ENTRY(WM_RBUTTONUP, OnRButtonUp)
#define ON_WM_RBUTTONDBLCLK() AFX_MOUSE_ENTRY(WM_RBUTTONDBLCLK, OnRButtonDblClk)
#define ON_WM_MBUTTONDOWN() AFX_MOUSE_ENTRY(WM_MBUTTONDOWN, OnMButtonDown)
#define ON_WM_MBUTTONUP() AFX_MOUSE_ENTRY(WM_MBUTTONUP, OnMButtonUp)
#define ON_WM_MOUSEHOVER() AFX_MOUSE_ENTRY(WM_MOUSEHOVER, OnMouseHover)
#define ON_WM_NCLBUTTONDOWN() AFX_MOUSE_ENTRY(WM_NCLBUTTONDOWN, OnNcLButtonDown)
#define ON_WM_NCLBUTTONUP() AFX_MOUSE_ENTRY(WM_NCLBUTTONUP, OnNcLButtonUp)
#define ON_WM_NCMOUSEMOVE() AFX_MOUSE_ENTRY(WM_NCMOUSEMOVE, OnNcMouseMove)
#define ON_WM_MOUSELEAVE() AFX_MSG_ENTRY(WM_MOUSELEAVE, 0, 0, 0, self->OnMouseLeave(); return true;)
#define ON_WM_MOUSEWHEEL()                                                                                   \
    AFX_MSG_ENTRY(WM_MOUSEWHEEL, 0, 0, 0,                                                                    \
                  *result = self->OnMouseWheel(GET_KEYSTATE_WPARAM(wParam), GET_WHEEL_DELTA_WPARAM(wParam),  \
                                               AFX_POINT_LPARAM);                                            \
                  return true;)
#define AFX_KEY_ENTRY(msg, fn)                                                                               \
    AFX_MSG_ENTRY(msg, 0, 0, 0,                                                                              \
                  self->fn(static_cast<UINT>(wParam), LOWORD(static_cast<DWORD_PTR>(lParam)),                \
                           HIWORD(static_cast<DWORD_PTR>(lParam)));                                          \
                  return true;)
#define ON_WM_KEYDOWN() AFX_KEY_ENTRY(WM_KEYDOWN, OnKeyDown)
#define ON_WM_KEYUP() AFX_KEY_ENTRY(WM_KEYUP, OnKeyUp)
#define ON_WM_CHAR() AFX_KEY_ENTRY(WM_CHAR, OnChar)
#define ON_WM_SYSKEYDOWN() AFX_KEY_ENTRY(WM_SYSKEYDOWN, OnSysKeyDown)
#define ON_WM_SYSKEYUP() AFX_KEY_ENTRY(WM_SYSKEYUP, OnSysKeyUp)
#define ON_WM_SETFOCUS()                                                                                     \
    AFX_MSG_ENTRY(WM_SETFOCUS, 0, 0, 0, self->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)));  \
                  return true;)
#define ON_WM_KILLFOCUS()                                                                                    \
    AFX_MSG_ENTRY(WM_KILLFOCUS, 0, 0, 0,                                                                     \
                  self->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)));                       \
                  return true;)
#define ON_WM_SIZE()                                                                                         \
    AFX_MSG_ENTRY(WM_SIZE, 0, 0, 0,                                                                          \
                  self->OnSize(static_cast<UINT>(wParam), LOWORD(static_cast<DWORD_PTR>(lParam)),            \
                               HIWORD(static_cast<DWORD_PTR>(lParam)));                                      \
                  return true;)
#define ON_WM_MOVE()                                                                                         \
    AFX_MSG_ENTRY(WM_MOVE, 0, 0, 0, self->OnMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return true;)
#define ON_WM_SHOWWINDOW()                                                                                   \
    AFX_MSG_ENTRY(WM_SHOWWINDOW, 0, 0, 0,                                                                    \
                  self->OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam));                  \
                  return true;)
#define ON_WM_ENABLE()                                                                                       \
    AFX_MSG_ENTRY(WM_ENABLE, 0, 0, 0, self->OnEnable(static_cast<BOOL>(wParam)); return true;)
#define ON_WM_ACTIVATE()                                                                                     \
    AFX_MSG_ENTRY(WM_ACTIVATE, 0, 0, 0,                                                                      \
                  self->OnActivate(LOWORD(wParam), CWnd::FromHandle(reinterpret_cast<HWND>(lParam)),         \
                                   static_cast<BOOL>(HIWORD(wParam)));                                       \
                  return true;)
#define ON_WM_ACTIVATEAPP()                                                                                  \
    AFX_MSG_ENTRY(WM_ACTIVATEAPP, 0, 0, 0,                                                                   \
                  self->OnActivateApp(static_cast<BOOL>(wParam), static_cast<DWORD>(lParam));                \
                  return true;)
#define ON_WM_SETCURSOR()                                                                                    \
    AFX_MSG_ENTRY(WM_SETCURSOR, 0, 0, 0,                                                                     \
                  *result = self->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)),              \
                                              LOWORD(static_cast<DWORD_PTR>(lParam)),                        \
                                              HIWORD(static_cast<DWORD_PTR>(lParam)));                       \
                  return true;)
#define ON_WM_CTLCOLOR()                                                                                     \
    AFX_MSG_ENTRY(WM_CTLCOLOR, 0, 0, 0,                                                                      \
                  *result = reinterpret_cast<LRESULT>(self->OnCtlColor(                                      \
                      CDC::FromHandle(reinterpret_cast<HDC>(wParam)),                                        \
                      CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), message - WM_CTLCOLORMSGBOX));       \
                  return true;)
#define ON_WM_CTLCOLOR_REFLECT()                                                                             \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0, 0,                                                    \
                  auto* afxCtl = reinterpret_cast<AFX_CTLCOLOR*>(lParam);                                    \
                  HBRUSH afxBrush = self->CtlColor(CDC::FromHandle(afxCtl->hDC), afxCtl->nCtlType);          \
                  *result = reinterpret_cast<LRESULT>(afxBrush); return afxBrush != nullptr;)
#define ON_WM_SYSCOLORCHANGE()                                                                               \
    AFX_MSG_ENTRY(WM_SYSCOLORCHANGE, 0, 0, 0, self->OnSysColorChange(); return true;)
#define ON_WM_SETTINGCHANGE()                                                                                \
    AFX_MSG_ENTRY(WM_SETTINGCHANGE, 0, 0, 0,                                                                 \
                  self->OnSettingChange(static_cast<UINT>(wParam), reinterpret_cast<LPCTSTR>(lParam));       \
                  return true;)
#define ON_WM_DISPLAYCHANGE()                                                                                \
    AFX_MSG_ENTRY(WM_DISPLAYCHANGE, 0, 0, 0,                                                                 \
                  self->OnDisplayChange(static_cast<UINT>(wParam), LOWORD(static_cast<DWORD_PTR>(lParam)),   \
                                        HIWORD(static_cast<DWORD_PTR>(lParam)));                             \
                  return true;)
#define ON_WM_QUERYDRAGICON()                                                                                \
    AFX_MSG_ENTRY(WM_QUERYDRAGICON, 0, 0, 0, *result = reinterpret_cast<LRESULT>(self->OnQueryDragIcon());   \
                  return true;)
#define ON_WM_GETMINMAXINFO()                                                                                \
    AFX_MSG_ENTRY(WM_GETMINMAXINFO, 0, 0, 0, self->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));   \
                  return true;)
#define ON_WM_WINDOWPOSCHANGING()                                                                            \
    AFX_MSG_ENTRY(WM_WINDOWPOSCHANGING, 0, 0, 0,                                                             \
                  self->OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lParam));                           \
                  return true;)
#define ON_WM_WINDOWPOSCHANGED()                                                                             \
    AFX_MSG_ENTRY(WM_WINDOWPOSCHANGED, 0, 0, 0,                                                              \
                  self->OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(lParam));                            \
                  return true;)
#define ON_WM_HSCROLL()                                                                                      \
    AFX_MSG_ENTRY(                                                                                           \
        WM_HSCROLL, 0, 0, 0,                                                                                 \
        self->OnHScroll(LOWORD(wParam), HIWORD(wParam),                                                      \
                        reinterpret_cast<CScrollBar*>(CWnd::FromHandle(reinterpret_cast<HWND>(lParam))));    \
        return true;)
#define ON_WM_VSCROLL()                                                                                      \
    AFX_MSG_ENTRY(                                                                                           \
        WM_VSCROLL, 0, 0, 0,                                                                                 \
        self->OnVScroll(LOWORD(wParam), HIWORD(wParam),                                                      \
                        reinterpret_cast<CScrollBar*>(CWnd::FromHandle(reinterpret_cast<HWND>(lParam))));    \
        return true;)
#define ON_WM_NCCALCSIZE()                                                                                   \
    AFX_MSG_ENTRY(                                                                                           \
        WM_NCCALCSIZE, 0, 0, 0,                                                                              \
        self->OnNcCalcSize(static_cast<BOOL>(wParam), reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam));         \
        return true;)
#define ON_WM_NCHITTEST()                                                                                    \
    AFX_MSG_ENTRY(WM_NCHITTEST, 0, 0, 0, *result = self->OnNcHitTest(AFX_POINT_LPARAM); return true;)
#define ON_WM_SYSCOMMAND()                                                                                   \
    AFX_MSG_ENTRY(WM_SYSCOMMAND, 0, 0, 0, self->OnSysCommand(static_cast<UINT>(wParam), lParam); return true;)
#define ON_WM_COPYDATA()                                                                                     \
    AFX_MSG_ENTRY(WM_COPYDATA, 0, 0, 0,                                                                      \
                  *result = self->OnCopyData(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)),               \
                                             reinterpret_cast<COPYDATASTRUCT*>(lParam));                     \
                  return true;)
#define ON_WM_DRAWITEM()                                                                                     \
    AFX_MSG_ENTRY(WM_DRAWITEM, 0, 0, 0,                                                                      \
                  self->OnDrawItem(static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));    \
                  *result = TRUE; return true;)
#define ON_WM_MEASUREITEM()                                                                                  \
    AFX_MSG_ENTRY(                                                                                           \
        WM_MEASUREITEM, 0, 0, 0,                                                                             \
        self->OnMeasureItem(static_cast<int>(wParam), reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));        \
        *result = TRUE; return true;)
#define ON_WM_CONTEXTMENU()                                                                                  \
    AFX_MSG_ENTRY(WM_CONTEXTMENU, 0, 0, 0,                                                                   \
                  self->OnContextMenu(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)), AFX_POINT_LPARAM);   \
                  return true;)
#define ON_WM_GETDLGCODE() AFX_MSG_ENTRY(WM_GETDLGCODE, 0, 0, 0, *result = self->OnGetDlgCode(); return true;)
#define ON_WM_CAPTURECHANGED()                                                                               \
    AFX_MSG_ENTRY(WM_CAPTURECHANGED, 0, 0, 0,                                                                \
                  self->OnCaptureChanged(CWnd::FromHandle(reinterpret_cast<HWND>(lParam)));                  \
                  return true;)
#define ON_WM_STYLECHANGED()                                                                                 \
    AFX_MSG_ENTRY(WM_STYLECHANGED, 0, 0, 0,                                                                  \
                  self->OnStyleChanged(static_cast<int>(wParam), reinterpret_cast<STYLESTRUCT*>(lParam));    \
                  return true;)
#define ON_WM_MOUSEACTIVATE()                                                                                \
    AFX_MSG_ENTRY(WM_MOUSEACTIVATE, 0, 0, 0,                                                                 \
                  *result = self->OnMouseActivate(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)),          \
                                                  LOWORD(static_cast<DWORD_PTR>(lParam)),                    \
                                                  HIWORD(static_cast<DWORD_PTR>(lParam)));                   \
                  return true;)
#define ON_WM_POWERBROADCAST()                                                                               \
    AFX_MSG_ENTRY(WM_POWERBROADCAST, 0, 0, 0,                                                                \
                  *result = self->OnPowerBroadcast(static_cast<UINT>(wParam), lParam);                       \
                  return true;)
#define ON_WM_QUERYENDSESSION()                                                                              \
    AFX_MSG_ENTRY(WM_QUERYENDSESSION, 0, 0, 0, *result = self->OnQueryEndSession(); return true;)
#define ON_WM_ENDSESSION()                                                                                   \
    AFX_MSG_ENTRY(WM_ENDSESSION, 0, 0, 0, self->OnEndSession(static_cast<BOOL>(wParam)); return true;)
#define ON_WM_DEVICECHANGE()                                                                                 \
    AFX_MSG_ENTRY(WM_DEVICECHANGE, 0, 0, 0,                                                                  \
                  *result = self->OnDeviceChange(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam)); \
                  return true;)
#define ON_WM_UPDATEUISTATE()                                                                                \
    AFX_MSG_ENTRY(WM_UPDATEUISTATE, 0, 0, 0, self->OnUpdateUIState(LOWORD(wParam), HIWORD(wParam));          \
                  return true;)
#define ON_WM_WTSSESSION_CHANGE()                                                                            \
    AFX_MSG_ENTRY(WM_WTSSESSION_CHANGE, 0, 0, 0,                                                             \
                  self->OnSessionChange(static_cast<UINT>(wParam), static_cast<UINT>(lParam));               \
                  return true;)

// Any message.
#define ON_MESSAGE(msg, memberFxn)                                                                           \
    AFX_MSG_ENTRY(msg, 0, 0, 0, *result = self->memberFxn(wParam, lParam); return true;)
#define ON_MESSAGE_VOID(msg, memberFxn) AFX_MSG_ENTRY(msg, 0, 0, 0, self->memberFxn(); return true;)
#define ON_REGISTERED_MESSAGE(messageVariable, memberFxn)                                                    \
    {0xC000,                                                                                                 \
     0,                                                                                                      \
     0,                                                                                                      \
     0,                                                                                                      \
     [](CCmdTarget* afxTarget, UINT, WPARAM wParam, LPARAM lParam, LRESULT* result) -> bool                  \
     {                                                                                                       \
         *result = static_cast<ThisClass*>(afxTarget)->memberFxn(wParam, lParam);                            \
         return true;                                                                                        \
     },                                                                                                      \
     &(messageVariable)},

// Commands and control notifications.
#define ON_COMMAND(id, memberFxn)                                                                            \
    AFX_MSG_ENTRY(WM_COMMAND, CN_COMMAND, id, id, self->memberFxn(); return true;)
#define ON_COMMAND_RANGE(id, idLast, memberFxn)                                                              \
    AFX_MSG_ENTRY(WM_COMMAND, CN_COMMAND, id, idLast, self->memberFxn(LOWORD(wParam)); return true;)
#define ON_CONTROL(code, id, memberFxn)                                                                      \
    AFX_MSG_ENTRY(WM_COMMAND, code, id, id, self->memberFxn(); return true;)
#define ON_CONTROL_RANGE(code, id, idLast, memberFxn)                                                        \
    AFX_MSG_ENTRY(WM_COMMAND, code, id, idLast, self->memberFxn(LOWORD(wParam)); return true;)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_DOUBLECLICKED(id, memberFxn) ON_CONTROL(BN_DOUBLECLICKED, id, memberFxn)
#define ON_BN_SETFOCUS(id, memberFxn) ON_CONTROL(BN_SETFOCUS, id, memberFxn)
#define ON_BN_KILLFOCUS(id, memberFxn) ON_CONTROL(BN_KILLFOCUS, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_EN_UPDATE(id, memberFxn) ON_CONTROL(EN_UPDATE, id, memberFxn)
#define ON_EN_SETFOCUS(id, memberFxn) ON_CONTROL(EN_SETFOCUS, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)
#define ON_EN_HSCROLL(id, memberFxn) ON_CONTROL(EN_HSCROLL, id, memberFxn)
#define ON_STN_CLICKED(id, memberFxn) ON_CONTROL(STN_CLICKED, id, memberFxn)
#define ON_STN_DBLCLK(id, memberFxn) ON_CONTROL(STN_DBLCLK, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_CBN_DROPDOWN(id, memberFxn) ON_CONTROL(CBN_DROPDOWN, id, memberFxn)
#define ON_CBN_CLOSEUP(id, memberFxn) ON_CONTROL(CBN_CLOSEUP, id, memberFxn)
#define ON_CBN_SELENDOK(id, memberFxn) ON_CONTROL(CBN_SELENDOK, id, memberFxn)
#define ON_CBN_EDITCHANGE(id, memberFxn) ON_CONTROL(CBN_EDITCHANGE, id, memberFxn)
#define ON_CBN_SETFOCUS(id, memberFxn) ON_CONTROL(CBN_SETFOCUS, id, memberFxn)
#define ON_CBN_KILLFOCUS(id, memberFxn) ON_CONTROL(CBN_KILLFOCUS, id, memberFxn)
#define ON_LBN_SELCHANGE(id, memberFxn) ON_CONTROL(LBN_SELCHANGE, id, memberFxn)
#define ON_LBN_DBLCLK(id, memberFxn) ON_CONTROL(LBN_DBLCLK, id, memberFxn)
#define ON_NOTIFY(code, id, memberFxn)                                                                       \
    AFX_MSG_ENTRY(WM_NOTIFY, code, id, id, self->memberFxn(reinterpret_cast<NMHDR*>(lParam), result);        \
                  return true;)
#define ON_NOTIFY_RANGE(code, id, idLast, memberFxn)                                                         \
    AFX_MSG_ENTRY(WM_NOTIFY, code, id, idLast,                                                               \
                  self->memberFxn(static_cast<UINT>(reinterpret_cast<NMHDR*>(lParam)->idFrom),               \
                                  reinterpret_cast<NMHDR*>(lParam), result);                                 \
                  return true;)
#define ON_NOTIFY_EX(code, id, memberFxn)                                                                    \
    AFX_MSG_ENTRY(WM_NOTIFY, code, id, id,                                                                   \
                  return self->memberFxn(static_cast<UINT>(reinterpret_cast<NMHDR*>(lParam)->idFrom),        \
                                         reinterpret_cast<NMHDR*>(lParam), result) != FALSE;)
/// Notifications from any control of the id range; the handler returns FALSE to let the search go on.
/// Tooltips' notifications are looked up under the tooltip's own id, so a range from 0 takes them whatever
/// their tool id.
#define ON_NOTIFY_EX_RANGE(code, id, idLast, memberFxn)                                                      \
    AFX_MSG_ENTRY(WM_NOTIFY, code, id, idLast,                                                               \
                  return self->memberFxn(static_cast<UINT>(reinterpret_cast<NMHDR*>(lParam)->idFrom),        \
                                         reinterpret_cast<NMHDR*>(lParam), result) != FALSE;)

// Reflected notifications, handled by the control that sent them.
#define ON_CONTROL_REFLECT(code, memberFxn)                                                                  \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, self->memberFxn(); return true;)
#define ON_CONTROL_REFLECT_EX(code, memberFxn)                                                               \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, return self->memberFxn() != FALSE;)
#define ON_NOTIFY_REFLECT(code, memberFxn)                                                                   \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, code, 0, 0,                                                   \
                  self->memberFxn(reinterpret_cast<NMHDR*>(lParam), result);                                 \
                  return true;)
#define ON_NOTIFY_REFLECT_EX(code, memberFxn)                                                                \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, code, 0, 0,                                                   \
                  return self->memberFxn(reinterpret_cast<NMHDR*>(lParam), result) != FALSE;)

// ---------------------------------------------------------------------------------------------------------
// Command targets and windows
// ---------------------------------------------------------------------------------------------------------

class PLATFORM_API CCmdTarget : public CObject
{
    DECLARE_DYNAMIC(CCmdTarget)
public:
    /// Finds and calls the handler of command `id` with notification `code` in the message maps.
    virtual BOOL OnCmdMsg(UINT id, int code, void* extra, void* handlerInfo);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    /// Runs the first handler of the maps (derived class first) that takes the message.
    BOOL DispatchToMap(UINT message, UINT code, UINT id, UINT original, WPARAM wParam, LPARAM lParam,
                       LRESULT* result);
};

/// A window object. A window made through it (Create, CreateEx, dialogs) or attached with
/// SubclassWindow routes its messages through the object's message map and WindowProc; messages nobody
/// handles go to the window's previous procedure. The object does not own the window's lifetime: the
/// destructor destroys a window still attached, and PostNcDestroy is called when the window is gone.
class PLATFORM_API CWnd : public CCmdTarget
{
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd();
    ~CWnd() override;

    HWND m_hWnd = nullptr;
    operator HWND() const noexcept { return m_hWnd; }
    /// The handle; callers test a CWnd pointer for null themselves.
    HWND GetSafeHwnd() const noexcept { return m_hWnd; }

    /// The permanent object attached to `hwnd`, or a temporary one (valid until the window is destroyed);
    /// null for a null or dead handle.
    static CWnd* FromHandle(HWND hwnd);
    static CWnd* FromHandlePermanent(HWND hwnd);
    BOOL Attach(HWND hwnd);
    HWND Detach();
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    virtual BOOL Create(LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                        UINT id, void* context = nullptr);
    virtual BOOL CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, int x, int y,
                          int width, int height, HWND parent, HMENU idOrMenu, LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id, LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual void PreSubclassWindow();
    virtual void PostNcDestroy();
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    /// Offers a notification the control sent to its parent back to the control (reflection); TRUE when the
    /// control handled it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    BOOL SendChildNotifyLastMsg(LRESULT* result = nullptr);
    /// The current message handed to the previous window procedure.
    LRESULT Default();
    /// Offers `msg` to PreTranslateMessage of its window and of each parent up to `stop`.
    static BOOL WalkPreTranslateTree(HWND stop, MSG* msg);

    // Modal loops (used by dialogs).
    int RunModalLoop(DWORD flags = 0);
    virtual BOOL ContinueModal();
    virtual void EndModalLoop(int result);

    // Window state.
    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
    static BOOL ModifyStyle(HWND hwnd, DWORD remove, DWORD add, UINT flags);
    static BOOL ModifyStyleEx(HWND hwnd, DWORD remove, DWORD add, UINT flags);
    int GetDlgCtrlID() const;
    int SetDlgCtrlID(int id);
    BOOL ShowWindow(int cmd);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsIconic() const;
    BOOL IsZoomed() const;
    BOOL IsChild(const CWnd* wnd) const;
    void SetWindowText(LPCTSTR text);
    int GetWindowText(LPTSTR buffer, int size) const;
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    void SetFont(CFont* font, BOOL redraw = TRUE);
    CFont* GetFont() const;

    // Tree.
    CWnd* GetParent() const;
    CWnd* SetParent(CWnd* parent);
    CWnd* GetOwner() const;
    void SetOwner(CWnd* owner);
    CWnd* GetTopLevelParent() const;
    static CWnd* GetDesktopWindow();
    CWnd* GetWindow(UINT cmd) const;
    CWnd* GetTopWindow() const;
    CWnd* GetDlgItem(int id) const;
    void GetDlgItem(int id, HWND* item) const;
    CWnd* GetNextDlgTabItem(CWnd* control, BOOL previous = FALSE) const;
    CWnd* GetNextDlgGroupItem(CWnd* control, BOOL previous = FALSE) const;
    CWnd* GetDescendantWindow(int id, BOOL onlyPermanent = FALSE) const;
    void SetDlgItemText(int id, LPCTSTR text);
    int GetDlgItemText(int id, CString& text) const;
    int GetDlgItemText(int id, LPTSTR buffer, int size) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE);
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    void CheckRadioButton(int first, int last, int check);
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Geometry.
    static const CWnd wndTop;
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    void GetWindowRect(LPRECT rect) const;
    void GetClientRect(LPRECT rect) const;
    void ClientToScreen(LPPOINT point) const;
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const;
    void ScreenToClient(LPRECT rect) const;
    void MapWindowPoints(CWnd* to, LPPOINT points, UINT count) const;
    void MapWindowPoints(CWnd* to, LPRECT rect) const;
    BOOL GetWindowPlacement(WINDOWPLACEMENT* placement) const;
    BOOL SetWindowPlacement(const WINDOWPLACEMENT* placement);
    void CenterWindow(CWnd* alternateOwner = nullptr);
    void BringWindowToTop();
    int SetWindowRgn(HRGN region, BOOL redraw);
    int GetWindowRgn(HRGN region) const;

    // Focus, activation, capture, timers.
    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* SetCapture();
    static CWnd* GetCapture();
    CWnd* SetActiveWindow();
    static CWnd* GetActiveWindow();
    BOOL SetForegroundWindow();
    static CWnd* GetForegroundWindow();
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs, TIMERPROC proc = nullptr);
    BOOL KillTimer(UINT_PTR id);
    BOOL FlashWindow(BOOL invert);

    // Tooltips of the class library: one tooltip control per thread shows the tool under the pointer of the
    // windows that turn them on.
    /// Turns tooltips on or off for this window (the WF_TOOLTIPS flag); on, the thread's tooltip control is
    /// made if it does not exist yet. FALSE when it cannot be made.
    BOOL EnableToolTips(BOOL enable = TRUE);
    /// The tool under `point` (client coordinates of this window): fills `info` (cbSize set by the caller)
    /// and returns a value that names the tool, or -1 for none. The tooltip asks the tool's window for a
    /// LPSTR_TEXTCALLBACK text with TTN_NEEDTEXTA/W; a window that does not answer passes the request to its
    /// owner. By default the visible child window under the point is the tool (TTF_IDISHWND, the text asked
    /// of this window) and the child's control id is returned.
    virtual INT_PTR OnToolHitTest(CPoint point, TOOLINFO* info) const;
    /// Shows, changes or hides the thread's tip for a message of the thread's loop meant for this window or
    /// its children: a mouse move asks OnToolHitTest and points the tooltip at a new tool when the tool
    /// changed; no tool, leaving the tool's window, a click, a wheel turn or a key hides the tip. The
    /// application's pre-translation calls it for the nearest window with tooltips on.
    void FilterToolTipMessage(MSG* msg);

    // Painting.
    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    void InvalidateRgn(CRgn* region, BOOL erase = TRUE);
    void ValidateRect(LPCRECT rect);
    void UpdateWindow();
    BOOL RedrawWindow(LPCRECT rect = nullptr, CRgn* region = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    BOOL GetUpdateRect(LPRECT rect, BOOL erase = FALSE);
    void SetRedraw(BOOL redraw = TRUE);
    CDC* GetDC();
    CDC* GetWindowDC();
    int ReleaseDC(CDC* dc);

    // Messages.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void SendMessageToDescendants(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, BOOL deep = TRUE);

    // Default handlers of the messages in CWnd's own map (reflection to controls and the default handling).
    afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    afx_msg void OnDrawItem(int id, LPDRAWITEMSTRUCT dis);
    afx_msg void OnMeasureItem(int id, LPMEASUREITEMSTRUCT mis);
    afx_msg void OnHScroll(UINT code, UINT pos, CScrollBar* scrollBar);
    afx_msg void OnVScroll(UINT code, UINT pos, CScrollBar* scrollBar);
    afx_msg void OnNcDestroy();

    /// Per-window state of the class library (WF_ flags).
    UINT m_nFlags = 0;
    WNDPROC m_pfnSuper = nullptr;
    int m_nModalResult = 0;

protected:
    DECLARE_MESSAGE_MAP()

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    explicit CWnd(HWND special);
};

constexpr UINT WF_TOOLTIPS = 0x0001;
constexpr UINT WF_MODALLOOP = 0x0004;
constexpr UINT WF_CONTINUEMODAL = 0x0008;
constexpr DWORD MLF_NOIDLEMSG = 0x0001;
constexpr DWORD MLF_NOKICKIDLE = 0x0002;
constexpr DWORD MLF_SHOWONIDLE = 0x0004;
constexpr UINT WM_KICKIDLE = 0x036A;

/// The window procedure of every window with an attached CWnd.
PLATFORM_API LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
/// Registers (once) a window class with these properties for CWnd::Create and returns its name.
PLATFORM_API LPCTSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr,
                                         HBRUSH background = nullptr, HICON icon = nullptr);
/// Offers `msg` to the PreTranslateMessage chain of its window and parents, then to the application.
PLATFORM_API BOOL AfxPreTranslateMessage(MSG* msg);
