#pragma once

#include "platform/window/WinUser.h"

/// The common controls the layer provides: the tooltip control, and the notification codes shared by the
/// controls. The ANSI forms of the messages are the ones defined; the tooltip's text request also has its
/// wide form, for tool windows that ask for it.

struct INITCOMMONCONTROLSEX
{
    DWORD dwSize;
    DWORD dwICC;
};
constexpr DWORD ICC_WIN95_CLASSES = 0x000000FF;
constexpr DWORD ICC_STANDARD_CLASSES = 0x00004000;
/// Nothing to do: the controls exist from the start. Always TRUE.
PLATFORM_API BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);
PLATFORM_API void InitCommonControls();

constexpr COLORREF CLR_NONE = 0xFFFFFFFF;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

// Notification codes common to the controls (WM_NOTIFY, NMHDR::code).
constexpr UINT NM_FIRST = 0u;
constexpr UINT NM_OUTOFMEMORY = NM_FIRST - 1;
constexpr UINT NM_CLICK = NM_FIRST - 2;
constexpr UINT NM_DBLCLK = NM_FIRST - 3;
constexpr UINT NM_RETURN = NM_FIRST - 4;
constexpr UINT NM_RCLICK = NM_FIRST - 5;
constexpr UINT NM_RDBLCLK = NM_FIRST - 6;
constexpr UINT NM_SETFOCUS = NM_FIRST - 7;
constexpr UINT NM_KILLFOCUS = NM_FIRST - 8;
constexpr UINT NM_CUSTOMDRAW = NM_FIRST - 12;
constexpr UINT NM_HOVER = NM_FIRST - 13;

// The tooltip control.
#define TOOLTIPS_CLASS "tooltips_class32"

constexpr DWORD TTS_ALWAYSTIP = 0x01;
constexpr DWORD TTS_NOPREFIX = 0x02;
constexpr DWORD TTS_NOANIMATE = 0x10;
constexpr DWORD TTS_NOFADE = 0x20;
constexpr DWORD TTS_BALLOON = 0x40;
constexpr DWORD TTS_CLOSE = 0x80;

constexpr UINT TTF_IDISHWND = 0x0001;
constexpr UINT TTF_CENTERTIP = 0x0002;
constexpr UINT TTF_RTLREADING = 0x0004;
constexpr UINT TTF_SUBCLASS = 0x0010;
constexpr UINT TTF_TRACK = 0x0020;
constexpr UINT TTF_ABSOLUTE = 0x0080;
constexpr UINT TTF_TRANSPARENT = 0x0100;
constexpr UINT TTF_PARSELINKS = 0x1000;
constexpr UINT TTF_DI_SETITEM = 0x8000;

// The icon of TTM_SETTITLE's title (or an icon handle).
constexpr WPARAM TTI_NONE = 0;
constexpr WPARAM TTI_INFO = 1;
constexpr WPARAM TTI_WARNING = 2;
constexpr WPARAM TTI_ERROR = 3;
constexpr WPARAM TTI_INFO_LARGE = 4;
constexpr WPARAM TTI_WARNING_LARGE = 5;
constexpr WPARAM TTI_ERROR_LARGE = 6;

constexpr WPARAM TTDT_AUTOMATIC = 0;
constexpr WPARAM TTDT_RESHOW = 1;
constexpr WPARAM TTDT_AUTOPOP = 2;
constexpr WPARAM TTDT_INITIAL = 3;

constexpr UINT TTM_ACTIVATE = WM_USER + 1;
constexpr UINT TTM_SETDELAYTIME = WM_USER + 3;
constexpr UINT TTM_ADDTOOLA = WM_USER + 4;
constexpr UINT TTM_DELTOOLA = WM_USER + 5;
constexpr UINT TTM_NEWTOOLRECTA = WM_USER + 6;
constexpr UINT TTM_RELAYEVENT = WM_USER + 7;
constexpr UINT TTM_GETTOOLINFOA = WM_USER + 8;
constexpr UINT TTM_SETTOOLINFOA = WM_USER + 9;
constexpr UINT TTM_HITTESTA = WM_USER + 10;
constexpr UINT TTM_GETTEXTA = WM_USER + 11;
constexpr UINT TTM_UPDATETIPTEXTA = WM_USER + 12;
constexpr UINT TTM_GETTOOLCOUNT = WM_USER + 13;
constexpr UINT TTM_ENUMTOOLSA = WM_USER + 14;
constexpr UINT TTM_GETCURRENTTOOLA = WM_USER + 15;
constexpr UINT TTM_WINDOWFROMPOINT = WM_USER + 16;
constexpr UINT TTM_TRACKACTIVATE = WM_USER + 17;
constexpr UINT TTM_TRACKPOSITION = WM_USER + 18;
constexpr UINT TTM_SETTIPBKCOLOR = WM_USER + 19;
constexpr UINT TTM_SETTIPTEXTCOLOR = WM_USER + 20;
constexpr UINT TTM_GETDELAYTIME = WM_USER + 21;
constexpr UINT TTM_GETTIPBKCOLOR = WM_USER + 22;
constexpr UINT TTM_GETTIPTEXTCOLOR = WM_USER + 23;
constexpr UINT TTM_SETMAXTIPWIDTH = WM_USER + 24;
constexpr UINT TTM_GETMAXTIPWIDTH = WM_USER + 25;
constexpr UINT TTM_SETMARGIN = WM_USER + 26;
constexpr UINT TTM_GETMARGIN = WM_USER + 27;
constexpr UINT TTM_POP = WM_USER + 28;
constexpr UINT TTM_UPDATE = WM_USER + 29;
constexpr UINT TTM_SETTITLEA = WM_USER + 32;
constexpr UINT TTM_POPUP = WM_USER + 34;
constexpr UINT TTM_ADDTOOL = TTM_ADDTOOLA;
constexpr UINT TTM_DELTOOL = TTM_DELTOOLA;
constexpr UINT TTM_NEWTOOLRECT = TTM_NEWTOOLRECTA;
constexpr UINT TTM_GETTOOLINFO = TTM_GETTOOLINFOA;
constexpr UINT TTM_SETTOOLINFO = TTM_SETTOOLINFOA;
constexpr UINT TTM_GETTEXT = TTM_GETTEXTA;
constexpr UINT TTM_UPDATETIPTEXT = TTM_UPDATETIPTEXTA;
constexpr UINT TTM_SETTITLE = TTM_SETTITLEA;

constexpr UINT TTN_FIRST = 0u - 520u;
constexpr UINT TTN_GETDISPINFOA = TTN_FIRST - 0;
constexpr UINT TTN_SHOW = TTN_FIRST - 1;
constexpr UINT TTN_POP = TTN_FIRST - 2;
constexpr UINT TTN_LINKCLICK = TTN_FIRST - 3;
constexpr UINT TTN_GETDISPINFOW = TTN_FIRST - 10;
constexpr UINT TTN_NEEDTEXTA = TTN_GETDISPINFOA;
constexpr UINT TTN_NEEDTEXTW = TTN_GETDISPINFOW;
constexpr UINT TTN_GETDISPINFO = TTN_GETDISPINFOA;
constexpr UINT TTN_NEEDTEXT = TTN_NEEDTEXTA;

#define LPSTR_TEXTCALLBACKA (reinterpret_cast<LPSTR>(static_cast<LONG_PTR>(-1)))
#define LPSTR_TEXTCALLBACK LPSTR_TEXTCALLBACKA
#define LPSTR_TEXTCALLBACKW (reinterpret_cast<LPWSTR>(static_cast<LONG_PTR>(-1)))

struct TOOLINFOA
{
    UINT cbSize;
    UINT uFlags;
    HWND hwnd;
    UINT_PTR uId;
    RECT rect;
    HINSTANCE hinst;
    LPSTR lpszText;
    LPARAM lParam;
    void* lpReserved;
};
using TOOLINFO = TOOLINFOA;
using LPTOOLINFO = TOOLINFOA*;
using TTTOOLINFO = TOOLINFOA;

struct NMTTDISPINFOA
{
    NMHDR hdr;
    LPSTR lpszText;
    char szText[80];
    HINSTANCE hinst;
    UINT uFlags;
    LPARAM lParam;
};
using NMTTDISPINFO = NMTTDISPINFOA;
using LPNMTTDISPINFO = NMTTDISPINFOA*;
using TOOLTIPTEXTA = NMTTDISPINFOA;
using TOOLTIPTEXT = NMTTDISPINFOA;

/// The text request (TTN_NEEDTEXTW) sent instead of TTN_NEEDTEXTA to a tool window that answers
/// WM_NOTIFYFORMAT with NFR_UNICODE when its tool is added.
struct NMTTDISPINFOW
{
    NMHDR hdr;
    LPWSTR lpszText;
    WCHAR szText[80];
    HINSTANCE hinst;
    UINT uFlags;
    LPARAM lParam;
};
using LPNMTTDISPINFOW = NMTTDISPINFOW*;
using TOOLTIPTEXTW = NMTTDISPINFOW;

namespace platform::window
{
/// Registers the window class of one of the layer's controls: double clicks, one pointer of window data for
/// the control's state, the arrow cursor, no background brush. FALSE where the class cannot be registered.
/// Callers register once per class (from a function-local static), from any thread.
PLATFORM_API BOOL RegisterControlClass(LPCSTR className, WNDPROC proc);

/// The state a control keeps in the first pointer of its window data: made on WM_NCCREATE, detached and
/// deleted on WM_NCDESTROY after `onDestroy` has run on it. Call it first in the window procedure with
/// every message. Null for WM_NCCREATE, WM_NCDESTROY and any message before or after them: the procedure
/// passes those to DefWindowProc.
template <class State, class OnDestroy> State* ControlStateFor(HWND hwnd, UINT msg, OnDestroy onDestroy)
{
    if (msg == WM_NCCREATE)
    {
        SetWindowLongPtr(hwnd, 0, reinterpret_cast<LONG_PTR>(new State));
        return nullptr;
    }
    auto* state = reinterpret_cast<State*>(GetWindowLongPtr(hwnd, 0));
    if (msg == WM_NCDESTROY)
    {
        SetWindowLongPtr(hwnd, 0, 0);
        if (state)
            onDestroy(*state);
        delete state;
        return nullptr;
    }
    return state;
}

template <class State> State* ControlStateFor(HWND hwnd, UINT msg)
{
    return ControlStateFor<State>(hwnd, msg, [](State&) {});
}

/// Copies `length` chars of `text` into a caller's buffer of `size` chars, cut to fit and always
/// terminated. The number of chars copied; nothing is written to a null buffer or one of no size.
PLATFORM_API int CopyTextOut(const char* text, std::size_t length, LPSTR buffer, int size);

/// The height of one line of text in `font` on the window's DC; at least 1.
PLATFORM_API int TextLineHeight(HWND window, HGDIOBJ font);

/// Fills the header of a control's notification (window, control id, code) and sends WM_NOTIFY to the
/// control's parent. The parent's answer, or 0 where the control has no parent.
PLATFORM_API LRESULT NotifyParent(HWND control, NMHDR& header, UINT code);

/// The scroll position a scroll bar request (SB_ code of WM_VSCROLL/WM_HSCROLL) asks for, from the current
/// position `pos`, one line, one page, the thumb's position and the end that SB_BOTTOM goes to. Unclamped;
/// FALSE (and `pos` untouched) for codes that move nothing (SB_ENDSCROLL).
PLATFORM_API BOOL ScrollRequestPosition(UINT code, int line, int page, int thumb, int bottom, int& pos);
} // namespace platform::window
