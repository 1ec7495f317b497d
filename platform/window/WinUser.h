#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// The window layer: window classes and objects, numbered messages, message queues, timers, input,
/// dialogs and the system's metrics, shaped after the Windows user interface and implemented over Qt.
///
/// Threads: windows exist on the user-interface thread only (the thread that runs the Qt application; it
/// is created on the first window when the program has not made one). Calls that read or change a window
/// may come from any thread: from another thread they are carried out on the user-interface thread while
/// the caller waits, and give up (returning 0 or FALSE) when that thread is closing. SendMessage across
/// threads waits the same way and returns 0 when the target window is destroyed first. Every thread that
/// calls GetMessage or PeekMessage gets its own message queue. Failures are reported by the result and
/// through GetLastError.

#define CALLBACK
#define WINAPI

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
using WNDENUMPROC = BOOL (*)(HWND, LPARAM);
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using UCHAR = unsigned char;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPINT = int*;
using LPWORD = WORD*;
using LPLONG = LONG*;
using PBYTE = BYTE*;
using PDWORD_PTR = DWORD_PTR*;

// ---------------------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETREDRAW = 0x000B;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUERYENDSESSION = 0x0011;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SYSCOLORCHANGE = 0x0015;
constexpr UINT WM_ENDSESSION = 0x0016;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_CTLCOLOR = 0x0019;
constexpr UINT WM_WININICHANGE = 0x001A;
constexpr UINT WM_SETTINGCHANGE = WM_WININICHANGE;
constexpr UINT WM_FONTCHANGE = 0x001D;
constexpr UINT WM_TIMECHANGE = 0x001E;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_CANCELMODE = 0x001F;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_MOUSEACTIVATE = 0x0021;
constexpr UINT WM_CHILDACTIVATE = 0x0022;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_ICONERASEBKGND = 0x0027;
constexpr UINT WM_NEXTDLGCTL = 0x0028;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_MEASUREITEM = 0x002C;
constexpr UINT WM_DELETEITEM = 0x002D;
constexpr UINT WM_VKEYTOITEM = 0x002E;
constexpr UINT WM_CHARTOITEM = 0x002F;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_QUERYDRAGICON = 0x0037;
constexpr UINT WM_COMPAREITEM = 0x0039;
constexpr UINT WM_GETOBJECT = 0x003D;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_INPUTLANGCHANGE = 0x0051;
constexpr UINT WM_HELP = 0x0053;
constexpr UINT WM_NOTIFYFORMAT = 0x0055;
// WM_NOTIFYFORMAT: the question (lParam) and the answers. The layer's windows answer NFR_ANSI by default.
constexpr LPARAM NF_QUERY = 3;
constexpr LPARAM NF_REQUERY = 4;
constexpr LRESULT NFR_ANSI = 1;
constexpr LRESULT NFR_UNICODE = 2;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_STYLECHANGING = 0x007C;
constexpr UINT WM_STYLECHANGED = 0x007D;
constexpr UINT WM_DISPLAYCHANGE = 0x007E;
constexpr UINT WM_GETICON = 0x007F;
constexpr UINT WM_SETICON = 0x0080;
// WM_SETICON / WM_GETICON: which of the window's icons.
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;
constexpr WPARAM ICON_SMALL2 = 2;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr UINT WM_NCMOUSEMOVE = 0x00A0;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_NCLBUTTONUP = 0x00A2;
constexpr UINT WM_NCLBUTTONDBLCLK = 0x00A3;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_DEADCHAR = 0x0103;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_SYSDEADCHAR = 0x0107;
constexpr UINT WM_KEYLAST = 0x0109;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_INITMENU = 0x0116;
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_MENUSELECT = 0x011F;
constexpr UINT WM_MENUCHAR = 0x0120;
constexpr UINT WM_ENTERIDLE = 0x0121;
constexpr UINT WM_CHANGEUISTATE = 0x0127;
constexpr UINT WM_UPDATEUISTATE = 0x0128;
constexpr UINT WM_QUERYUISTATE = 0x0129;
constexpr UINT WM_CTLCOLORMSGBOX = 0x0132;
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
constexpr UINT WM_CTLCOLORBTN = 0x0135;
constexpr UINT WM_CTLCOLORDLG = 0x0136;
constexpr UINT WM_CTLCOLORSCROLLBAR = 0x0137;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT WM_MOUSEFIRST = 0x0200;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSEHWHEEL = 0x020E;
constexpr UINT WM_MOUSELAST = 0x020E;
constexpr UINT WM_PARENTNOTIFY = 0x0210;
constexpr UINT WM_ENTERMENULOOP = 0x0211;
constexpr UINT WM_EXITMENULOOP = 0x0212;
constexpr UINT WM_SIZING = 0x0214;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_MOVING = 0x0216;
constexpr UINT WM_POWERBROADCAST = 0x0218;
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;
constexpr UINT WM_DROPFILES = 0x0233;
constexpr UINT WM_MOUSEHOVER = 0x02A1;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_WTSSESSION_CHANGE = 0x02B1;
constexpr UINT WM_CUT = 0x0300;
constexpr UINT WM_COPY = 0x0301;
constexpr UINT WM_PASTE = 0x0302;
constexpr UINT WM_CLEAR = 0x0303;
constexpr UINT WM_UNDO = 0x0304;
constexpr UINT WM_PRINT = 0x0317;
constexpr UINT WM_PRINTCLIENT = 0x0318;
constexpr UINT WM_APPCOMMAND = 0x0319;
constexpr UINT WM_THEMECHANGED = 0x031A;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// WM_ACTIVATE
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;
// WM_SIZE
constexpr UINT SIZE_RESTORED = 0;
constexpr UINT SIZE_MINIMIZED = 1;
constexpr UINT SIZE_MAXIMIZED = 2;
// WM_SYSCOMMAND
constexpr UINT SC_SIZE = 0xF000;
constexpr UINT SC_MOVE = 0xF010;
constexpr UINT SC_MINIMIZE = 0xF020;
constexpr UINT SC_MAXIMIZE = 0xF030;
constexpr UINT SC_CLOSE = 0xF060;
constexpr UINT SC_KEYMENU = 0xF100;
constexpr UINT SC_RESTORE = 0xF120;
// WM_POWERBROADCAST
constexpr UINT PBT_APMSUSPEND = 0x0004;
constexpr UINT PBT_APMRESUMESUSPEND = 0x0007;
constexpr UINT PBT_APMRESUMEAUTOMATIC = 0x0012;
// WM_DEVICECHANGE
constexpr UINT DBT_DEVNODES_CHANGED = 0x0007;
constexpr UINT DBT_DEVICEARRIVAL = 0x8000;
constexpr UINT DBT_DEVICEREMOVECOMPLETE = 0x8004;
// WM_WTSSESSION_CHANGE
constexpr UINT WTS_CONSOLE_CONNECT = 0x1;
constexpr UINT WTS_CONSOLE_DISCONNECT = 0x2;
constexpr UINT WTS_REMOTE_CONNECT = 0x3;
constexpr UINT WTS_REMOTE_DISCONNECT = 0x4;
constexpr UINT WTS_SESSION_LOGON = 0x5;
constexpr UINT WTS_SESSION_LOGOFF = 0x6;
constexpr UINT WTS_SESSION_LOCK = 0x7;
constexpr UINT WTS_SESSION_UNLOCK = 0x8;
// WM_UPDATEUISTATE / WM_CHANGEUISTATE
constexpr UINT UIS_SET = 1;
constexpr UINT UIS_CLEAR = 2;
constexpr UINT UIS_INITIALIZE = 3;
constexpr UINT UISF_HIDEFOCUS = 0x1;
constexpr UINT UISF_HIDEACCEL = 0x2;

// Mouse key state in wParam of mouse messages.
constexpr UINT MK_LBUTTON = 0x0001;
constexpr UINT MK_RBUTTON = 0x0002;
constexpr UINT MK_SHIFT = 0x0004;
constexpr UINT MK_CONTROL = 0x0008;
constexpr UINT MK_MBUTTON = 0x0010;
constexpr int WHEEL_DELTA = 120;

// Hit-test codes (WM_NCHITTEST, WM_SETCURSOR).
constexpr int HTERROR = -2;
constexpr int HTTRANSPARENT = -1;
constexpr int HTNOWHERE = 0;
constexpr int HTCLIENT = 1;
constexpr int HTCAPTION = 2;
constexpr int HTSYSMENU = 3;
constexpr int HTBORDER = 18;

// Virtual-key codes.
constexpr UINT VK_LBUTTON = 0x01;
constexpr UINT VK_RBUTTON = 0x02;
constexpr UINT VK_CANCEL = 0x03;
constexpr UINT VK_MBUTTON = 0x04;
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_CLEAR = 0x0C;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;
constexpr UINT VK_PAUSE = 0x13;
constexpr UINT VK_CAPITAL = 0x14;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_SELECT = 0x29;
constexpr UINT VK_PRINT = 0x2A;
constexpr UINT VK_SNAPSHOT = 0x2C;
constexpr UINT VK_INSERT = 0x2D;
constexpr UINT VK_DELETE = 0x2E;
constexpr UINT VK_HELP = 0x2F;
constexpr UINT VK_LWIN = 0x5B;
constexpr UINT VK_RWIN = 0x5C;
constexpr UINT VK_APPS = 0x5D;
constexpr UINT VK_NUMPAD0 = 0x60;
constexpr UINT VK_NUMPAD9 = 0x69;
constexpr UINT VK_MULTIPLY = 0x6A;
constexpr UINT VK_ADD = 0x6B;
constexpr UINT VK_SEPARATOR = 0x6C;
constexpr UINT VK_SUBTRACT = 0x6D;
constexpr UINT VK_DECIMAL = 0x6E;
constexpr UINT VK_DIVIDE = 0x6F;
constexpr UINT VK_F1 = 0x70;
constexpr UINT VK_F2 = 0x71;
constexpr UINT VK_F3 = 0x72;
constexpr UINT VK_F4 = 0x73;
constexpr UINT VK_F5 = 0x74;
constexpr UINT VK_F6 = 0x75;
constexpr UINT VK_F7 = 0x76;
constexpr UINT VK_F8 = 0x77;
constexpr UINT VK_F9 = 0x78;
constexpr UINT VK_F10 = 0x79;
constexpr UINT VK_F11 = 0x7A;
constexpr UINT VK_F12 = 0x7B;
constexpr UINT VK_F24 = 0x87;
constexpr UINT VK_NUMLOCK = 0x90;
constexpr UINT VK_SCROLL = 0x91;
constexpr UINT VK_LSHIFT = 0xA0;
constexpr UINT VK_RSHIFT = 0xA1;
constexpr UINT VK_LCONTROL = 0xA2;
constexpr UINT VK_RCONTROL = 0xA3;
constexpr UINT VK_LMENU = 0xA4;
constexpr UINT VK_RMENU = 0xA5;
constexpr UINT VK_OEM_1 = 0xBA;
constexpr UINT VK_OEM_PLUS = 0xBB;
constexpr UINT VK_OEM_COMMA = 0xBC;
constexpr UINT VK_OEM_MINUS = 0xBD;
constexpr UINT VK_OEM_PERIOD = 0xBE;
constexpr UINT VK_OEM_2 = 0xBF;
constexpr UINT VK_OEM_3 = 0xC0;
constexpr UINT VK_OEM_4 = 0xDB;
constexpr UINT VK_OEM_5 = 0xDC;
constexpr UINT VK_OEM_6 = 0xDD;
constexpr UINT VK_OEM_7 = 0xDE;

// ---------------------------------------------------------------------------------------------------------
// Styles
// ---------------------------------------------------------------------------------------------------------
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_TILED = WS_OVERLAPPED;
constexpr DWORD WS_ICONIC = WS_MINIMIZE;
constexpr DWORD WS_SIZEBOX = WS_THICKFRAME;
constexpr DWORD WS_CHILDWINDOW = WS_CHILD;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_NOPARENTNOTIFY = 0x00000004;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_ACCEPTFILES = 0x00000010;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_MDICHILD = 0x00000040;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_CONTEXTHELP = 0x00000400;
constexpr DWORD WS_EX_RIGHT = 0x00001000;
constexpr DWORD WS_EX_LEFT = 0x00000000;
constexpr DWORD WS_EX_RTLREADING = 0x00002000;
constexpr DWORD WS_EX_LEFTSCROLLBAR = 0x00004000;
constexpr DWORD WS_EX_CONTROLPARENT = 0x00010000;
constexpr DWORD WS_EX_STATICEDGE = 0x00020000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD WS_EX_LAYERED = 0x00080000;
constexpr DWORD WS_EX_NOINHERITLAYOUT = 0x00100000;
constexpr DWORD WS_EX_LAYOUTRTL = 0x00400000;
constexpr DWORD WS_EX_COMPOSITED = 0x02000000;
constexpr DWORD WS_EX_NOACTIVATE = 0x08000000;

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_OWNDC = 0x0020;
constexpr UINT CS_CLASSDC = 0x0040;
constexpr UINT CS_PARENTDC = 0x0080;
constexpr UINT CS_NOCLOSE = 0x0200;
constexpr UINT CS_SAVEBITS = 0x0800;
constexpr UINT CS_GLOBALCLASS = 0x4000;
constexpr UINT CS_DROPSHADOW = 0x00020000;

// Window long and class long indices.
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8;
constexpr int GWLP_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;
constexpr int GWL_WNDPROC = GWLP_WNDPROC;
constexpr int GWL_ID = GWLP_ID;
constexpr int GWL_USERDATA = GWLP_USERDATA;
constexpr int DWLP_MSGRESULT = 0;
constexpr int DWLP_DLGPROC = static_cast<int>(sizeof(LRESULT));
constexpr int DWLP_USER = DWLP_DLGPROC + static_cast<int>(sizeof(DLGPROC));
constexpr int DLGWINDOWEXTRA = 30;
constexpr int GCLP_HBRBACKGROUND = -10;
constexpr int GCLP_HCURSOR = -12;
constexpr int GCLP_HICON = -14;
constexpr int GCLP_WNDPROC = -24;
constexpr int GCL_STYLE = -26;

// GetWindow, GetAncestor
constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;
constexpr UINT GW_ENABLEDPOPUP = 6;
constexpr UINT GA_PARENT = 1;
constexpr UINT GA_ROOT = 2;
constexpr UINT GA_ROOTOWNER = 3;

// SetWindowPos
#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))
#define HWND_TOPMOST (reinterpret_cast<HWND>(-1))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(-2))
#define HWND_MESSAGE (reinterpret_cast<HWND>(-3))
#define HWND_DESKTOP (reinterpret_cast<HWND>(0))
#define HWND_BROADCAST (reinterpret_cast<HWND>(0xFFFF))
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_DRAWFRAME = SWP_FRAMECHANGED;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOCOPYBITS = 0x0100;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;
constexpr UINT SWP_NOREPOSITION = SWP_NOOWNERZORDER;
constexpr UINT SWP_NOSENDCHANGING = 0x0400;
constexpr UINT SWP_DEFERERASE = 0x2000;
constexpr UINT SWP_ASYNCWINDOWPOS = 0x4000;

// ShowWindow
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;
constexpr int SW_FORCEMINIMIZE = 11;

// RedrawWindow
constexpr UINT RDW_INVALIDATE = 0x0001;
constexpr UINT RDW_INTERNALPAINT = 0x0002;
constexpr UINT RDW_ERASE = 0x0004;
constexpr UINT RDW_VALIDATE = 0x0008;
constexpr UINT RDW_NOINTERNALPAINT = 0x0010;
constexpr UINT RDW_NOERASE = 0x0020;
constexpr UINT RDW_NOCHILDREN = 0x0040;
constexpr UINT RDW_ALLCHILDREN = 0x0080;
constexpr UINT RDW_UPDATENOW = 0x0100;
constexpr UINT RDW_ERASENOW = 0x0200;
constexpr UINT RDW_FRAME = 0x0400;
constexpr UINT RDW_NOFRAME = 0x0800;

// PeekMessage
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;

// SendMessageTimeout
constexpr UINT SMTO_NORMAL = 0x0000;
constexpr UINT SMTO_BLOCK = 0x0001;
constexpr UINT SMTO_ABORTIFHUNG = 0x0002;

// TrackMouseEvent
constexpr DWORD TME_HOVER = 0x00000001;
constexpr DWORD TME_LEAVE = 0x00000002;
constexpr DWORD TME_NONCLIENT = 0x00000010;
constexpr DWORD TME_QUERY = 0x40000000;
constexpr DWORD TME_CANCEL = 0x80000000;
constexpr DWORD HOVER_DEFAULT = 0xFFFFFFFF;

constexpr UINT USER_TIMER_MINIMUM = 0x0000000A;

// System colours (GetSysColor, and COLOR_x + 1 as a class background brush).
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_HOTLIGHT = 26;
constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int COLOR_MENUHILIGHT = 29;
constexpr int COLOR_MENUBAR = 30;
constexpr int COLOR_DESKTOP = COLOR_BACKGROUND;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_3DSHADOW = COLOR_BTNSHADOW;
constexpr int COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_3DHILIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_BTNHILIGHT = COLOR_BTNHIGHLIGHT;

// System metrics.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CYVSCROLL = 20;
constexpr int SM_CXHSCROLL = 21;
constexpr int SM_SWAPBUTTON = 23;
constexpr int SM_CXMIN = 28;
constexpr int SM_CYMIN = 29;
constexpr int SM_CXSIZE = 30;
constexpr int SM_CYSIZE = 31;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int SM_XVIRTUALSCREEN = 76;
constexpr int SM_YVIRTUALSCREEN = 77;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;

// SystemParametersInfo
constexpr UINT SPI_GETICONTITLELOGFONT = 0x001F;
constexpr UINT SPI_GETNONCLIENTMETRICS = 0x0029;
constexpr UINT SPI_SETWORKAREA = 0x002F;
constexpr UINT SPI_GETWORKAREA = 0x0030;

// Standard cursors and icons (LoadCursor / LoadIcon with a null module).
#define IDC_ARROW MAKEINTRESOURCE(32512)
#define IDC_IBEAM MAKEINTRESOURCE(32513)
#define IDC_WAIT MAKEINTRESOURCE(32514)
#define IDC_CROSS MAKEINTRESOURCE(32515)
#define IDC_UPARROW MAKEINTRESOURCE(32516)
#define IDC_SIZENWSE MAKEINTRESOURCE(32642)
#define IDC_SIZENESW MAKEINTRESOURCE(32643)
#define IDC_SIZEWE MAKEINTRESOURCE(32644)
#define IDC_SIZENS MAKEINTRESOURCE(32645)
#define IDC_SIZEALL MAKEINTRESOURCE(32646)
#define IDC_NO MAKEINTRESOURCE(32648)
#define IDC_HAND MAKEINTRESOURCE(32649)
#define IDC_APPSTARTING MAKEINTRESOURCE(32650)
#define IDC_HELP MAKEINTRESOURCE(32651)
#define IDI_APPLICATION MAKEINTRESOURCE(32512)
#define IDI_HAND MAKEINTRESOURCE(32513)
#define IDI_QUESTION MAKEINTRESOURCE(32514)
#define IDI_EXCLAMATION MAKEINTRESOURCE(32515)
#define IDI_ASTERISK MAKEINTRESOURCE(32516)
#define IDI_ERROR IDI_HAND
#define IDI_WARNING IDI_EXCLAMATION
#define IDI_INFORMATION IDI_ASTERISK

// ---------------------------------------------------------------------------------------------------------
// Dialogs, buttons, statics, edits
// ---------------------------------------------------------------------------------------------------------
constexpr DWORD DS_ABSALIGN = 0x01;
constexpr DWORD DS_SYSMODAL = 0x02;
constexpr DWORD DS_3DLOOK = 0x04;
constexpr DWORD DS_FIXEDSYS = 0x08;
constexpr DWORD DS_NOFAILCREATE = 0x10;
constexpr DWORD DS_LOCALEDIT = 0x20;
constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_NOIDLEMSG = 0x100;
constexpr DWORD DS_SETFOREGROUND = 0x200;
constexpr DWORD DS_CONTROL = 0x400;
constexpr DWORD DS_CENTER = 0x800;
constexpr DWORD DS_CENTERMOUSE = 0x1000;
constexpr DWORD DS_CONTEXTHELP = 0x2000;
constexpr DWORD DS_SHELLFONT = DS_SETFONT | DS_FIXEDSYS;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDCLOSE = 8;
constexpr int IDHELP = 9;
constexpr int IDC_STATIC = -1;

constexpr UINT DM_GETDEFID = WM_USER + 0;
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr WORD DC_HASDEFID = 0x534B;

constexpr UINT DLGC_WANTARROWS = 0x0001;
constexpr UINT DLGC_WANTTAB = 0x0002;
constexpr UINT DLGC_WANTALLKEYS = 0x0004;
constexpr UINT DLGC_WANTMESSAGE = 0x0004;
constexpr UINT DLGC_HASSETSEL = 0x0008;
constexpr UINT DLGC_DEFPUSHBUTTON = 0x0010;
constexpr UINT DLGC_UNDEFPUSHBUTTON = 0x0020;
constexpr UINT DLGC_RADIOBUTTON = 0x0040;
constexpr UINT DLGC_WANTCHARS = 0x0080;
constexpr UINT DLGC_STATIC = 0x0100;
constexpr UINT DLGC_BUTTON = 0x2000;

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;
constexpr UINT MB_RIGHT = 0x00080000;
constexpr UINT MB_RTLREADING = 0x00100000;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;
constexpr UINT MB_DEFMASK = 0x00000F00;

constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_CHECKBOX = 0x2;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_RADIOBUTTON = 0x4;
constexpr DWORD BS_3STATE = 0x5;
constexpr DWORD BS_AUTO3STATE = 0x6;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_USERBUTTON = 0x8;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_PUSHBOX = 0xA;
constexpr DWORD BS_OWNERDRAW = 0xB;
constexpr DWORD BS_TYPEMASK = 0xF;
constexpr DWORD BS_LEFTTEXT = 0x20;
constexpr DWORD BS_TEXT = 0x0;
constexpr DWORD BS_ICON = 0x40;
constexpr DWORD BS_BITMAP = 0x80;
constexpr DWORD BS_LEFT = 0x100;
constexpr DWORD BS_RIGHT = 0x200;
constexpr DWORD BS_CENTER = 0x300;
constexpr DWORD BS_TOP = 0x400;
constexpr DWORD BS_BOTTOM = 0x800;
constexpr DWORD BS_VCENTER = 0xC00;
constexpr DWORD BS_PUSHLIKE = 0x1000;
constexpr DWORD BS_MULTILINE = 0x2000;
constexpr DWORD BS_NOTIFY = 0x4000;
constexpr DWORD BS_FLAT = 0x8000;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_GETSTATE = 0x00F2;
constexpr UINT BM_SETSTATE = 0x00F3;
constexpr UINT BM_SETSTYLE = 0x00F4;
constexpr UINT BM_CLICK = 0x00F5;
constexpr UINT BM_GETIMAGE = 0x00F6;
constexpr UINT BM_SETIMAGE = 0x00F7;
constexpr UINT BST_UNCHECKED = 0x0;
constexpr UINT BST_CHECKED = 0x1;
constexpr UINT BST_INDETERMINATE = 0x2;
constexpr UINT BST_PUSHED = 0x4;
constexpr UINT BST_FOCUS = 0x8;
constexpr UINT BN_CLICKED = 0;
constexpr UINT BN_PAINT = 1;
constexpr UINT BN_HILITE = 2;
constexpr UINT BN_UNHILITE = 3;
constexpr UINT BN_DISABLE = 4;
constexpr UINT BN_DOUBLECLICKED = 5;
constexpr UINT BN_SETFOCUS = 6;
constexpr UINT BN_KILLFOCUS = 7;

constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_RIGHT = 0x2;
constexpr DWORD SS_ICON = 0x3;
constexpr DWORD SS_BLACKRECT = 0x4;
constexpr DWORD SS_GRAYRECT = 0x5;
constexpr DWORD SS_WHITERECT = 0x6;
constexpr DWORD SS_BLACKFRAME = 0x7;
constexpr DWORD SS_GRAYFRAME = 0x8;
constexpr DWORD SS_WHITEFRAME = 0x9;
constexpr DWORD SS_USERITEM = 0xA;
constexpr DWORD SS_SIMPLE = 0xB;
constexpr DWORD SS_LEFTNOWORDWRAP = 0xC;
constexpr DWORD SS_OWNERDRAW = 0xD;
constexpr DWORD SS_BITMAP = 0xE;
constexpr DWORD SS_ENHMETAFILE = 0xF;
constexpr DWORD SS_ETCHEDHORZ = 0x10;
constexpr DWORD SS_ETCHEDVERT = 0x11;
constexpr DWORD SS_ETCHEDFRAME = 0x12;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD SS_REALSIZECONTROL = 0x40;
constexpr DWORD SS_NOPREFIX = 0x80;
constexpr DWORD SS_NOTIFY = 0x100;
constexpr DWORD SS_CENTERIMAGE = 0x200;
constexpr DWORD SS_RIGHTJUST = 0x400;
constexpr DWORD SS_REALSIZEIMAGE = 0x800;
constexpr DWORD SS_SUNKEN = 0x1000;
constexpr DWORD SS_EDITCONTROL = 0x2000;
constexpr DWORD SS_ENDELLIPSIS = 0x4000;
constexpr DWORD SS_PATHELLIPSIS = 0x8000;
constexpr DWORD SS_WORDELLIPSIS = 0xC000;
constexpr UINT STM_SETICON = 0x0170;
constexpr UINT STM_GETICON = 0x0171;
constexpr UINT STM_SETIMAGE = 0x0172;
constexpr UINT STM_GETIMAGE = 0x0173;
constexpr UINT STN_CLICKED = 0;
constexpr UINT STN_DBLCLK = 1;

constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_CENTER = 0x0001;
constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_UPPERCASE = 0x0008;
constexpr DWORD ES_LOWERCASE = 0x0010;
constexpr DWORD ES_PASSWORD = 0x0020;
constexpr DWORD ES_AUTOVSCROLL = 0x0040;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_NOHIDESEL = 0x0100;
constexpr DWORD ES_OEMCONVERT = 0x0400;
constexpr DWORD ES_READONLY = 0x0800;
constexpr DWORD ES_WANTRETURN = 0x1000;
constexpr DWORD ES_NUMBER = 0x2000;
constexpr UINT EM_GETSEL = 0x00B0;
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_GETRECT = 0x00B2;
constexpr UINT EM_SETRECT = 0x00B3;
constexpr UINT EM_SETRECTNP = 0x00B4;
constexpr UINT EM_SCROLL = 0x00B5;
constexpr UINT EM_LINESCROLL = 0x00B6;
constexpr UINT EM_SCROLLCARET = 0x00B7;
constexpr UINT EM_GETMODIFY = 0x00B8;
constexpr UINT EM_SETMODIFY = 0x00B9;
constexpr UINT EM_GETLINECOUNT = 0x00BA;
constexpr UINT EM_LINEINDEX = 0x00BB;
constexpr UINT EM_LINELENGTH = 0x00C1;
constexpr UINT EM_REPLACESEL = 0x00C2;
constexpr UINT EM_GETLINE = 0x00C4;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_SETLIMITTEXT = EM_LIMITTEXT;
constexpr UINT EM_CANUNDO = 0x00C6;
constexpr UINT EM_UNDO = 0x00C7;
constexpr UINT EM_EMPTYUNDOBUFFER = 0x00CD;
constexpr UINT EM_SETREADONLY = 0x00CF;
constexpr UINT EM_SETMARGINS = 0x00D3;
/// EM_SETMARGINS: wParam says which margins lParam (MAKELONG(left, right), in pixels) sets.
constexpr WPARAM EC_LEFTMARGIN = 0x0001;
constexpr WPARAM EC_RIGHTMARGIN = 0x0002;
constexpr UINT EM_GETLIMITTEXT = 0x00D5;
constexpr UINT EN_SETFOCUS = 0x0100;
constexpr UINT EN_KILLFOCUS = 0x0200;
constexpr UINT EN_CHANGE = 0x0300;
constexpr UINT EN_UPDATE = 0x0400;
constexpr UINT EN_ERRSPACE = 0x0500;
constexpr UINT EN_MAXTEXT = 0x0501;
constexpr UINT EN_HSCROLL = 0x0601;
constexpr UINT EN_VSCROLL = 0x0602;

// Combo box and list box notifications (the controls themselves come with the skinned controls).
constexpr UINT CBN_ERRSPACE = static_cast<UINT>(-1);
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT CBN_DBLCLK = 2;
constexpr UINT CBN_SETFOCUS = 3;
constexpr UINT CBN_KILLFOCUS = 4;
constexpr UINT CBN_EDITCHANGE = 5;
constexpr UINT CBN_EDITUPDATE = 6;
constexpr UINT CBN_DROPDOWN = 7;
constexpr UINT CBN_CLOSEUP = 8;
constexpr UINT CBN_SELENDOK = 9;
constexpr UINT CBN_SELENDCANCEL = 10;
constexpr UINT LBN_ERRSPACE = static_cast<UINT>(-2);
constexpr UINT LBN_SELCHANGE = 1;
constexpr UINT LBN_DBLCLK = 2;
constexpr UINT LBN_SELCANCEL = 3;
constexpr UINT LBN_SETFOCUS = 4;
constexpr UINT LBN_KILLFOCUS = 5;

// Owner draw.
constexpr UINT ODT_MENU = 1;
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODT_COMBOBOX = 3;
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODT_STATIC = 5;
constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODA_SELECT = 0x0002;
constexpr UINT ODA_FOCUS = 0x0004;
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_GRAYED = 0x0002;
constexpr UINT ODS_DISABLED = 0x0004;
constexpr UINT ODS_CHECKED = 0x0008;
constexpr UINT ODS_FOCUS = 0x0010;
constexpr UINT ODS_DEFAULT = 0x0020;
constexpr UINT ODS_HOTLIGHT = 0x0040;
constexpr UINT ODS_NOACCEL = 0x0100;
constexpr UINT ODS_NOFOCUSRECT = 0x0200;

// Window class names of the controls the layer provides, and the dialog class.
#define WC_DIALOG MAKEINTRESOURCE(0x8002)
#define WC_BUTTON "Button"
#define WC_STATIC "Static"
#define WC_EDIT "Edit"

// ---------------------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------------------
struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using LPMSG = MSG*;

struct WNDCLASSEXA
{
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};
using WNDCLASSEX = WNDCLASSEXA;

struct WNDCLASSA
{
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};
using WNDCLASS = WNDCLASSA;

struct CREATESTRUCTA
{
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};
using CREATESTRUCT = CREATESTRUCTA;
using LPCREATESTRUCT = CREATESTRUCT*;

struct PAINTSTRUCT
{
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

struct WINDOWPOS
{
    HWND hwnd;
    HWND hwndInsertAfter;
    int x;
    int y;
    int cx;
    int cy;
    UINT flags;
};
using LPWINDOWPOS = WINDOWPOS*;

struct WINDOWPLACEMENT
{
    UINT length;
    UINT flags;
    UINT showCmd;
    POINT ptMinPosition;
    POINT ptMaxPosition;
    RECT rcNormalPosition;
};

struct MINMAXINFO
{
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
};

struct NCCALCSIZE_PARAMS
{
    RECT rgrc[3];
    WINDOWPOS* lppos;
};

struct STYLESTRUCT
{
    DWORD styleOld;
    DWORD styleNew;
};

struct COPYDATASTRUCT
{
    ULONG_PTR dwData;
    DWORD cbData;
    PVOID lpData;
};
using PCOPYDATASTRUCT = COPYDATASTRUCT*;

struct TRACKMOUSEEVENT
{
    DWORD cbSize;
    DWORD dwFlags;
    HWND hwndTrack;
    DWORD dwHoverTime;
};
using LPTRACKMOUSEEVENT = TRACKMOUSEEVENT*;

struct NMHDR
{
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
using LPNMHDR = NMHDR*;

struct DRAWITEMSTRUCT
{
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;
    HDC hDC;
    RECT rcItem;
    ULONG_PTR itemData;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;

struct MEASUREITEMSTRUCT
{
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemWidth;
    UINT itemHeight;
    ULONG_PTR itemData;
};
using LPMEASUREITEMSTRUCT = MEASUREITEMSTRUCT*;

// Dialog templates, in the byte layout of the resource compiler's output.
#pragma pack(push, 2)
struct DLGTEMPLATE
{
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
};
struct DLGITEMTEMPLATE
{
    DWORD style;
    DWORD dwExtendedStyle;
    short x;
    short y;
    short cx;
    short cy;
    WORD id;
};
#pragma pack(pop)
using LPCDLGTEMPLATE = const DLGTEMPLATE*;

// GET_X_LPARAM and friends: signed coordinates packed into lParam.
constexpr int GET_X_LPARAM(LPARAM lp)
{
    return static_cast<short>(LOWORD(static_cast<DWORD_PTR>(lp)));
}
constexpr int GET_Y_LPARAM(LPARAM lp)
{
    return static_cast<short>(HIWORD(static_cast<DWORD_PTR>(lp)));
}
constexpr LPARAM MAKELPARAM(int lo, int hi)
{
    return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(lo), static_cast<WORD>(hi)));
}
constexpr WPARAM MAKEWPARAM(int lo, int hi)
{
    return static_cast<WPARAM>(MAKELONG(static_cast<WORD>(lo), static_cast<WORD>(hi)));
}
constexpr LRESULT MAKELRESULT(int lo, int hi)
{
    return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(lo), static_cast<WORD>(hi)));
}
constexpr short GET_WHEEL_DELTA_WPARAM(WPARAM wp)
{
    return static_cast<short>(HIWORD(wp));
}
constexpr WORD GET_KEYSTATE_WPARAM(WPARAM wp)
{
    return LOWORD(wp);
}
constexpr BYTE LOBYTE(DWORD_PTR v)
{
    return static_cast<BYTE>(v & 0xFF);
}
constexpr BYTE HIBYTE(DWORD_PTR v)
{
    return static_cast<BYTE>((v >> 8) & 0xFF);
}
constexpr WORD MAKEWORD(BYTE lo, BYTE hi)
{
    return static_cast<WORD>(lo | (hi << 8));
}

// ---------------------------------------------------------------------------------------------------------
// Functions
// ---------------------------------------------------------------------------------------------------------

/// Window classes. A class name is compared without regard to case; registering a name twice fails with
/// ERROR_CLASS_ALREADY_EXISTS, unregistering a class that still has windows fails with
/// ERROR_CLASS_HAS_WINDOWS. The layer's own classes always exist: the dialog class "#32770", "Button",
/// "Static", "Edit" (one line, over Qt's line edit) and the tooltip control (CommCtrl.h).
PLATFORM_API ATOM RegisterClassEx(const WNDCLASSEXA* wc);
PLATFORM_API ATOM RegisterClass(const WNDCLASSA* wc);
PLATFORM_API BOOL UnregisterClass(LPCSTR className, HINSTANCE instance);
PLATFORM_API BOOL GetClassInfoEx(HINSTANCE instance, LPCSTR className, WNDCLASSEXA* wc);
PLATFORM_API int GetClassName(HWND hwnd, LPSTR buffer, int size);
PLATFORM_API ULONG_PTR GetClassLongPtr(HWND hwnd, int index);
PLATFORM_API ULONG_PTR SetClassLongPtr(HWND hwnd, int index, LONG_PTR value);

/// Creates a window on the user-interface thread. WS_CHILD windows live in their parent's client area;
/// other windows are top-level, owned by `parent` when one is given (an owned window stays above its
/// owner and goes with it). WM_NCCREATE, WM_NCCALCSIZE and WM_CREATE are sent before it returns;
/// a result of FALSE or -1 from them destroys the window and gives NULL.
PLATFORM_API HWND CreateWindowEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                                 int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                 LPVOID param);
PLATFORM_API HWND CreateWindow(LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                               int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

/// Destroys the window, the windows it owns and its children: WM_DESTROY goes to the window and then to
/// its descendants, WM_NCDESTROY to the descendants and last to the window. Sends from other threads
/// still waiting for it return 0. A handle that no longer names a window is refused harmlessly.
PLATFORM_API BOOL DestroyWindow(HWND hwnd);
/// TRUE while `hwnd` names a live window; any value is safe to pass, from any thread.
PLATFORM_API BOOL IsWindow(HWND hwnd);
PLATFORM_API BOOL IsChild(HWND parent, HWND hwnd);

PLATFORM_API LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Calls a window procedure as the system would; exceptions are not caught here (see DispatchMessage).
PLATFORM_API LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

PLATFORM_API LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
/// GWLP_WNDPROC subclasses the window (the old procedure is returned for CallWindowProc); GWL_STYLE and
/// GWL_EXSTYLE send WM_STYLECHANGING and WM_STYLECHANGED and apply visibility, enabling, layering and
/// top-most changes; GWLP_HWNDPARENT changes a top-level window's owner.
PLATFORM_API LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);
PLATFORM_API LONG GetWindowLong(HWND hwnd, int index);
PLATFORM_API LONG SetWindowLong(HWND hwnd, int index, LONG value);
PLATFORM_API BOOL SetProp(HWND hwnd, LPCSTR name, HANDLE data);
PLATFORM_API HANDLE GetProp(HWND hwnd, LPCSTR name);
PLATFORM_API HANDLE RemoveProp(HWND hwnd, LPCSTR name);

// Messages and queues.
/// Calls the window's procedure on its thread and returns its result. From another thread the caller
/// waits; the wait ends with 0 when the window is destroyed or the user-interface thread is closing.
PLATFORM_API LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// As SendMessage, giving up after `timeoutMs` (with ERROR_TIMEOUT); the result goes to `result`.
PLATFORM_API LRESULT SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags,
                                        UINT timeoutMs, PDWORD_PTR result);
/// Queues the message for the window's thread and returns at once; FALSE for a window that does not exist.
/// HWND_BROADCAST gives every top-level window a copy (and SendMessage sends it to each).
PLATFORM_API BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Queues a message without a window for a thread that has a message queue.
PLATFORM_API BOOL PostThreadMessage(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);
PLATFORM_API void PostQuitMessage(int exitCode);
/// Waits for the next message of the calling thread (handling sends from other threads meanwhile) and
/// returns FALSE for WM_QUIT, -1 for a bad window filter. Order: posted and input messages first in
/// their order of arrival, then WM_PAINT for windows with an invalid area, then due WM_TIMER messages.
PLATFORM_API BOOL GetMessage(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);
PLATFORM_API BOOL PeekMessage(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
PLATFORM_API BOOL WaitMessage();
/// Queues WM_CHAR for a WM_KEYDOWN that produced text (wParam = the character's Unicode code point).
PLATFORM_API BOOL TranslateMessage(const MSG* msg);
/// Calls the window procedure of `msg->hwnd` (or the timer procedure of a WM_TIMER). An exception thrown
/// by the procedure is caught here, logged, and the message gives 0.
PLATFORM_API LRESULT DispatchMessage(const MSG* msg);
PLATFORM_API DWORD GetMessageTime();
PLATFORM_API DWORD GetMessagePos();
PLATFORM_API DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId);
PLATFORM_API BOOL InSendMessage();
PLATFORM_API UINT RegisterWindowMessage(LPCSTR name);

// Timers.
/// Starts or restarts timer `id` of the window (WM_TIMER, or `proc` when given); without a window a new
/// id is returned. Intervals below USER_TIMER_MINIMUM are raised to it.
PLATFORM_API UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
PLATFORM_API BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Window tree.
PLATFORM_API HWND GetParent(HWND hwnd);
PLATFORM_API HWND SetParent(HWND hwnd, HWND newParent);
PLATFORM_API HWND GetAncestor(HWND hwnd, UINT flags);
PLATFORM_API HWND GetWindow(HWND hwnd, UINT cmd);
PLATFORM_API HWND GetTopWindow(HWND hwnd);
PLATFORM_API HWND GetDesktopWindow();
PLATFORM_API HWND GetDlgItem(HWND dialog, int id);
PLATFORM_API int GetDlgCtrlID(HWND hwnd);
PLATFORM_API BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lParam);
PLATFORM_API BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam);
PLATFORM_API HWND FindWindow(LPCSTR className, LPCSTR windowName);
PLATFORM_API HWND WindowFromPoint(POINT screenPoint);
PLATFORM_API HWND ChildWindowFromPoint(HWND parent, POINT clientPoint);

// Text.
PLATFORM_API BOOL SetWindowText(HWND hwnd, LPCSTR text);
PLATFORM_API int GetWindowText(HWND hwnd, LPSTR buffer, int size);
PLATFORM_API int GetWindowTextLength(HWND hwnd);

// Position, size and z-order. Top-level windows use screen coordinates, children their parent's client
// coordinates. The client area is the window minus the frame that WM_NCCALCSIZE leaves (WS_BORDER and the
// edge styles); the frames of captioned top-level windows belong to the desktop and are not counted.
PLATFORM_API BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
PLATFORM_API BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
PLATFORM_API BOOL GetWindowRect(HWND hwnd, LPRECT rect);
PLATFORM_API BOOL GetClientRect(HWND hwnd, LPRECT rect);
PLATFORM_API BOOL ScreenToClient(HWND hwnd, LPPOINT point);
PLATFORM_API BOOL ClientToScreen(HWND hwnd, LPPOINT point);
PLATFORM_API int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count);
PLATFORM_API BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* placement);
PLATFORM_API BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* placement);
PLATFORM_API BOOL BringWindowToTop(HWND hwnd);
PLATFORM_API BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle);
PLATFORM_API BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu);

// Visibility, state and activation.
PLATFORM_API BOOL ShowWindow(HWND hwnd, int cmd);
PLATFORM_API BOOL IsWindowVisible(HWND hwnd);
PLATFORM_API BOOL IsIconic(HWND hwnd);
PLATFORM_API BOOL IsZoomed(HWND hwnd);
/// Sets the window's own enabled flag and sends WM_ENABLE on a change. A disabled window and the windows
/// inside it receive no mouse or keyboard input; nothing is greyed, and owned windows are not affected.
PLATFORM_API BOOL EnableWindow(HWND hwnd, BOOL enable);
PLATFORM_API BOOL IsWindowEnabled(HWND hwnd);
PLATFORM_API HWND SetFocus(HWND hwnd);
PLATFORM_API HWND GetFocus();
PLATFORM_API HWND SetActiveWindow(HWND hwnd);
PLATFORM_API HWND GetActiveWindow();
/// What GetGUIThreadInfo reports of a thread's windows.
struct GUITHREADINFO
{
    DWORD cbSize;
    DWORD flags;
    HWND hwndActive;
    HWND hwndFocus;
    HWND hwndCapture;
    HWND hwndMenuOwner;
    HWND hwndMoveSize;
    HWND hwndCaret;
    RECT rcCaret;
};
typedef GUITHREADINFO* LPGUITHREADINFO;
/// The active, focus and capture windows of the user-interface thread (`threadId` 0 or its id); FALSE
/// with ERROR_INVALID_THREAD_ID for any other thread, which owns no windows here.
PLATFORM_API BOOL GetGUIThreadInfo(DWORD threadId, LPGUITHREADINFO info);
PLATFORM_API BOOL SetForegroundWindow(HWND hwnd);
PLATFORM_API HWND GetForegroundWindow();
/// Sends the window every mouse message until ReleaseCapture, wherever the pointer is.
PLATFORM_API HWND SetCapture(HWND hwnd);
PLATFORM_API BOOL ReleaseCapture();
PLATFORM_API HWND GetCapture();
PLATFORM_API BOOL TrackMouseEvent(LPTRACKMOUSEEVENT track);
struct LASTINPUTINFO
{
    UINT cbSize;
    DWORD dwTime;
};
/// The tick count (GetTickCount) of the last keyboard or mouse input that reached one of the process's
/// windows. FALSE for a null `info` or a wrong cbSize.
PLATFORM_API BOOL GetLastInputInfo(LASTINPUTINFO* info);
PLATFORM_API BOOL GetCursorPos(LPPOINT point);
PLATFORM_API BOOL SetCursorPos(int x, int y);
PLATFORM_API SHORT GetKeyState(int virtualKey);

// Keyboard accelerators.
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FNOINVERT = 0x02;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;
struct ACCEL
{
    BYTE fVirt;
    WORD key;
    WORD cmd;
};
/// The accelerator table resource `name` of `instance`; null when there is none. Freed with
/// DestroyAcceleratorTable.
PLATFORM_API HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name);
PLATFORM_API BOOL DestroyAcceleratorTable(HACCEL accelerators);
/// For a key message that matches an entry (virtual key with exactly its Shift, Ctrl and Alt state, or a
/// character), sends WM_COMMAND (the entry's command, 1) to `hwnd` and returns non-zero.
PLATFORM_API int TranslateAcceleratorA(HWND hwnd, HACCEL accelerators, LPMSG msg);
#define LoadAccelerators LoadAcceleratorsA
#define TranslateAccelerator TranslateAcceleratorA
PLATFORM_API SHORT GetAsyncKeyState(int virtualKey);
/// With a null module, a standard cursor (IDC_x). Otherwise the RT_GROUP_CURSOR resource `name` of the
/// module, in the image closest to the system cursor size, with its hot spot. With a null module, a
/// standard icon (IDI_x); otherwise the RT_GROUP_ICON resource `name`, in the image closest to the system
/// icon size, its hot spot in the middle; its other sizes go with it to the window system when it becomes
/// a window's icon (WM_SETICON). Loaded icons and cursors are shared: the same handle for the same
/// resource each time, valid as long as the process runs (DestroyIcon leaves them). Null with the
/// resource error when there is no such resource, or ERROR_INVALID_DATA when it is damaged. Any thread.
PLATFORM_API HCURSOR LoadCursor(HINSTANCE instance, LPCSTR name);
PLATFORM_API HICON LoadIcon(HINSTANCE instance, LPCSTR name);
/// The pointer shape of the window under the mouse (or of the capture window) until the next SetCursor;
/// a loaded cursor shows its own picture. User-interface thread.
PLATFORM_API HCURSOR SetCursor(HCURSOR cursor);
PLATFORM_API HCURSOR GetCursor();
/// Ends an icon or cursor that CreateIconFromGroup made; loaded (shared) and standard ones stay. FALSE for
/// a handle that names none (ERROR_INVALID_ICON_HANDLE / ERROR_INVALID_CURSOR_HANDLE).
PLATFORM_API BOOL DestroyIcon(HICON icon);
PLATFORM_API BOOL DestroyCursor(HCURSOR cursor);

struct ICONINFO
{
    BOOL fIcon;
    DWORD xHotspot;
    DWORD yHotspot;
    HBITMAP hbmMask;
    HBITMAP hbmColor;
};
using PICONINFO = ICONINFO*;
/// The hot spot and new copies of the pictures of a loaded or created icon or cursor: a 32-bit colour
/// bitmap (premultiplied alpha) and a monochrome mask (set where the picture is fully transparent), both
/// of the image's size, for the caller to delete. FALSE for standard icons and cursors and for handles
/// that name none.
PLATFORM_API BOOL GetIconInfo(HICON icon, PICONINFO info);
/// A new icon (or cursor, fIcon FALSE, with its hot spot) from a colour bitmap and a mask (set where
/// transparent; optional when the colour bitmap is 32-bit with alpha, straight or premultiplied). The caller
/// keeps both bitmaps and ends the icon with DestroyIcon. Null with ERROR_INVALID_PARAMETER without a
/// readable colour bitmap. Any thread.
PLATFORM_API HICON CreateIconIndirect(PICONINFO info);

constexpr UINT DI_MASK = 0x0001;
constexpr UINT DI_IMAGE = 0x0002;
constexpr UINT DI_NORMAL = DI_MASK | DI_IMAGE;
constexpr UINT DI_COMPAT = 0x0004;
constexpr UINT DI_DEFAULTSIZE = 0x0008;
/// Draws the icon at (x, y) in cx x cy pixels (0: its own size, or the system icon size with
/// DI_DEFAULTSIZE), scaled smoothly from its nearest picture. DI_NORMAL blends it over the DC, DI_IMAGE
/// copies its colours (black where it is transparent), DI_MASK ANDs its mask (black where it is opaque).
/// With a brush, the rectangle is filled with it first. FALSE for standard icons and handles that name
/// none. `step` is not used: icons have one frame.
PLATFORM_API BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH background,
                             UINT flags);
/// DrawIconEx in the system icon size.
PLATFORM_API BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
PLATFORM_API BOOL FlashWindow(HWND hwnd, BOOL invert);
PLATFORM_API BOOL MessageBeep(UINT type);

// Images from resources or files.
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT IMAGE_CURSOR = 2;
constexpr UINT LR_DEFAULTCOLOR = 0x00000000;
constexpr UINT LR_MONOCHROME = 0x00000001;
constexpr UINT LR_LOADFROMFILE = 0x00000010;
constexpr UINT LR_LOADTRANSPARENT = 0x00000020;
constexpr UINT LR_DEFAULTSIZE = 0x00000040;
constexpr UINT LR_CREATEDIBSECTION = 0x00002000;
constexpr UINT LR_SHARED = 0x00008000;
/// A bitmap from a BITMAP resource of `instance` (or from a .bmp file with LR_LOADFROMFILE). With
/// LR_CREATEDIBSECTION it is a DIB section that keeps a 24- or 32-bit picture's bits and row order as
/// stored (other depths become 24-bit); otherwise a device bitmap. The caller deletes it with DeleteObject.
/// Icons and cursors are not supported (null, ERROR_NOT_SUPPORTED); a missing or damaged bitmap gives null
/// with the resource error or ERROR_INVALID_DATA.
PLATFORM_API HANDLE LoadImage(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags);
PLATFORM_API HBITMAP LoadBitmap(HINSTANCE instance, LPCSTR name);

// Painting. Every window draws into a back buffer of its own; BeginPaint and GetDC outside a paint both
// draw into it, and the screen shows it once the drawing ends.
PLATFORM_API HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint);
PLATFORM_API BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
PLATFORM_API BOOL InvalidateRect(HWND hwnd, LPCRECT rect, BOOL erase);
PLATFORM_API BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase);
PLATFORM_API BOOL ValidateRect(HWND hwnd, LPCRECT rect);
PLATFORM_API BOOL ValidateRgn(HWND hwnd, HRGN region);
PLATFORM_API BOOL UpdateWindow(HWND hwnd);
PLATFORM_API BOOL RedrawWindow(HWND hwnd, LPCRECT rect, HRGN region, UINT flags);
PLATFORM_API BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase);
PLATFORM_API int GetUpdateRgn(HWND hwnd, HRGN region, BOOL erase);
PLATFORM_API HDC GetDC(HWND hwnd);
PLATFORM_API HDC GetWindowDC(HWND hwnd);
PLATFORM_API HDC GetDCEx(HWND hwnd, HRGN clip, DWORD flags);
PLATFORM_API int ReleaseDC(HWND hwnd, HDC dc);
PLATFORM_API HWND WindowFromDC(HDC dc);
/// Shapes the window: outside the region nothing is drawn and no input is taken. The window owns the
/// region afterwards (the caller must not delete it); NULL removes the shape.
PLATFORM_API int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw);
PLATFORM_API int GetWindowRgn(HWND hwnd, HRGN region);

// Rectangles.
PLATFORM_API BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);
PLATFORM_API BOOL SetRectEmpty(LPRECT rect);
PLATFORM_API BOOL CopyRect(LPRECT dst, LPCRECT src);
PLATFORM_API BOOL InflateRect(LPRECT rect, int dx, int dy);
PLATFORM_API BOOL OffsetRect(LPRECT rect, int dx, int dy);
PLATFORM_API BOOL IntersectRect(LPRECT dst, LPCRECT a, LPCRECT b);
PLATFORM_API BOOL UnionRect(LPRECT dst, LPCRECT a, LPCRECT b);
PLATFORM_API BOOL SubtractRect(LPRECT dst, LPCRECT a, LPCRECT b);
PLATFORM_API BOOL EqualRect(LPCRECT a, LPCRECT b);
PLATFORM_API BOOL IsRectEmpty(LPCRECT rect);
PLATFORM_API BOOL PtInRect(LPCRECT rect, POINT point);

// System.
PLATFORM_API DWORD GetSysColor(int index);
PLATFORM_API HBRUSH GetSysColorBrush(int index);
PLATFORM_API int GetSystemMetrics(int index);
PLATFORM_API BOOL SystemParametersInfo(UINT action, UINT param, PVOID data, UINT winIni);
PLATFORM_API UINT GetDoubleClickTime();

/// The system's plain message box: modal to `owner`, with the buttons and icon of `type`; returns the
/// id of the pressed button (IDOK, IDYES, ...), 0 when it cannot be shown.
PLATFORM_API int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Dialogs.
/// Creates a modeless dialog from a template in memory (DLGTEMPLATE or DLGTEMPLATEEX with its items).
/// Dialog units are converted with the template's font; WM_SETFONT goes to each control and
/// WM_INITDIALOG to `proc` before the function returns.
PLATFORM_API HWND CreateDialogIndirectParam(HINSTANCE instance, LPCDLGTEMPLATE dlgTemplate, HWND parent,
                                            DLGPROC proc, LPARAM initParam);
/// Runs a modal dialog from a template in memory: the owner is disabled, a message loop of its own runs
/// until EndDialog, and the owner is enabled again before it returns EndDialog's result (-1 on failure).
PLATFORM_API INT_PTR DialogBoxIndirectParam(HINSTANCE instance, LPCDLGTEMPLATE dlgTemplate, HWND parent,
                                            DLGPROC proc, LPARAM initParam);
PLATFORM_API BOOL EndDialog(HWND dialog, INT_PTR result);
PLATFORM_API LRESULT DefDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
/// Handles the dialog keys of `msg` for `dialog` (Tab and arrows move the focus, Enter presses the default
/// button, Escape cancels) and dispatches the message when it belongs to the dialog; TRUE when handled.
PLATFORM_API BOOL IsDialogMessage(HWND dialog, LPMSG msg);
PLATFORM_API BOOL MapDialogRect(HWND dialog, LPRECT rect);
PLATFORM_API LONG GetDialogBaseUnits();
PLATFORM_API HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
PLATFORM_API HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);
PLATFORM_API BOOL SetDlgItemText(HWND dialog, int id, LPCSTR text);
PLATFORM_API UINT GetDlgItemText(HWND dialog, int id, LPSTR buffer, int size);
PLATFORM_API BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
PLATFORM_API UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
PLATFORM_API LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);
PLATFORM_API BOOL CheckDlgButton(HWND dialog, int id, UINT check);
PLATFORM_API UINT IsDlgButtonChecked(HWND dialog, int id);
PLATFORM_API BOOL CheckRadioButton(HWND dialog, int first, int last, int check);

// Clipboard formats.
/// The number of a private clipboard format, the same for every call with the same name (compared without
/// case) in the process; 0xC000 and up; 0 for an empty or null name. Any thread.
PLATFORM_API UINT RegisterClipboardFormatA(LPCSTR name);
/// The name a registered format was first registered with, copied into `buffer` (at most size - 1
/// characters); returns the characters copied, 0 for a format that is not registered. Any thread.
PLATFORM_API int GetClipboardFormatNameA(UINT format, LPSTR buffer, int size);
#define RegisterClipboardFormat RegisterClipboardFormatA
#define GetClipboardFormatName GetClipboardFormatNameA

// Window scroll bars (SB_HORZ/SB_VERT of a window, SB_CTL of a scroll-bar control): the scroll state only;
// the skinned controls draw their own bars.
constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
constexpr int SB_CTL = 2;
constexpr int SB_BOTH = 3;
constexpr UINT SB_LINEUP = 0;
constexpr UINT SB_LINELEFT = 0;
constexpr UINT SB_LINEDOWN = 1;
constexpr UINT SB_LINERIGHT = 1;
constexpr UINT SB_PAGEUP = 2;
constexpr UINT SB_PAGELEFT = 2;
constexpr UINT SB_PAGEDOWN = 3;
constexpr UINT SB_PAGERIGHT = 3;
constexpr UINT SB_THUMBPOSITION = 4;
constexpr UINT SB_THUMBTRACK = 5;
constexpr UINT SB_TOP = 6;
constexpr UINT SB_LEFT = 6;
constexpr UINT SB_BOTTOM = 7;
constexpr UINT SB_RIGHT = 7;
constexpr UINT SB_ENDSCROLL = 8;
constexpr DWORD SBS_HORZ = 0x0000;
constexpr DWORD SBS_VERT = 0x0001;
constexpr UINT SIF_RANGE = 0x0001;
constexpr UINT SIF_PAGE = 0x0002;
constexpr UINT SIF_POS = 0x0004;
constexpr UINT SIF_DISABLENOSCROLL = 0x0008;
constexpr UINT SIF_TRACKPOS = 0x0010;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

struct SCROLLINFO
{
    UINT cbSize;
    UINT fMask;
    int nMin;
    int nMax;
    UINT nPage;
    int nPos;
    int nTrackPos;
};
using LPSCROLLINFO = SCROLLINFO*;
using LPCSCROLLINFO = const SCROLLINFO*;

/// The scroll state of a window's bar: range 0 to 0, page 0 and position 0 until set. Setting clamps the
/// page to the range and the position to [min, max - page + 1]; returns the new position. Any thread.
PLATFORM_API int SetScrollInfo(HWND hwnd, int bar, LPCSCROLLINFO info, BOOL redraw);
/// Fills the fields `info->fMask` asks for; FALSE for a window that does not exist or a bad bar.
PLATFORM_API BOOL GetScrollInfo(HWND hwnd, int bar, LPSCROLLINFO info);
/// Returns the previous position.
PLATFORM_API int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw);
PLATFORM_API int GetScrollPos(HWND hwnd, int bar);
PLATFORM_API BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL redraw);
PLATFORM_API BOOL GetScrollRange(HWND hwnd, int bar, LPINT min, LPINT max);
