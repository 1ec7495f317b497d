// The default window procedure, system colours and metrics, cursors, rectangles and the plain message box.

#include "platform/win/CString.h"
#include "platform/window/Extras.h"
#include "platform/window/GdiInternal.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WindowInternal.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyleHints>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace platform::window::detail
{
HWND LastMouseWindow();

namespace
{
std::mutex g_boxLock;
std::function<int(HWND, const char*, const char*, UINT)> g_boxHook;
HCURSOR g_cursor = nullptr;

Qt::CursorShape ShapeOf(HCURSOR cursor)
{
    switch (reinterpret_cast<std::uintptr_t>(cursor))
    {
    case 32513:
        return Qt::IBeamCursor;
    case 32514:
        return Qt::WaitCursor;
    case 32515:
        return Qt::CrossCursor;
    case 32516:
        return Qt::UpArrowCursor;
    case 32642:
        return Qt::SizeFDiagCursor;
    case 32643:
        return Qt::SizeBDiagCursor;
    case 32644:
        return Qt::SizeHorCursor;
    case 32645:
        return Qt::SizeVerCursor;
    case 32646:
        return Qt::SizeAllCursor;
    case 32648:
        return Qt::ForbiddenCursor;
    case 32649:
        return Qt::PointingHandCursor;
    case 32650:
        return Qt::BusyCursor;
    case 32651:
        return Qt::WhatsThisCursor;
    case 0:
        return Qt::BlankCursor;
    default:
        return Qt::ArrowCursor;
    }
}

void PaintFrame(HWND hwnd, const Window& w)
{
    if (!w.insets.left && !w.insets.top && !w.insets.right && !w.insets.bottom)
        return;
    HDC dc = GetWindowDC(hwnd);
    if (!dc)
        return;
    RECT r{0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top};
    const RECT client{w.insets.left, w.insets.top, r.right - w.insets.right, r.bottom - w.insets.bottom};
    SaveDC(dc);
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (w.exStyle & WS_EX_CLIENTEDGE)
        DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    else if (w.exStyle & WS_EX_STATICEDGE)
        DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    if ((w.style & WS_BORDER) && !(w.exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)))
        FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    RestoreDC(dc, -1);
    ReleaseDC(hwnd, dc);
}
} // namespace
} // namespace platform::window::detail

using namespace platform::window::detail;

namespace platform::window
{
void SetMessageBoxHook(std::function<int(HWND, const char*, const char*, UINT)> hook)
{
    std::lock_guard lock(g_boxLock);
    g_boxHook = std::move(hook);
}
} // namespace platform::window

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    PW_ON_UI_THREAD(DefWindowProc(hwnd, msg, wParam, lParam));
    auto w = Find(hwnd);
    if (!w)
        return 0;
    switch (msg)
    {
    case WM_NCCREATE:
    {
        auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName))
        {
            w->text = cs->lpszName;
            // The desktop names the window by its title: a dialog's caption must reach it from the start.
            if (!w->parent && w->widget)
                w->widget->setWindowTitle(QString::fromUtf8(w->text.c_str()));
        }
        return TRUE;
    }
    case WM_NCCALCSIZE:
    {
        RECT* r =
            wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
        if (!r)
            return 0;
        RECT outer{0, 0, 0, 0};
        AdjustWindowRectEx(&outer, w->style | (w->parent ? WS_CHILD : 0), FALSE, w->exStyle);
        const RECT in{-outer.left, -outer.top, outer.right, outer.bottom};
        r->left += in.left;
        r->top += in.top;
        r->right -= in.right;
        r->bottom -= in.bottom;
        if (r->right < r->left)
            r->right = r->left;
        if (r->bottom < r->top)
            r->bottom = r->top;
        return 0;
    }
    case WM_NCPAINT:
        PaintFrame(hwnd, *w);
        return 0;
    case WM_NCHITTEST:
    {
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        RECT wr;
        GetWindowRect(hwnd, &wr);
        if (!PtInRect(&wr, p))
            return HTNOWHERE;
        ScreenToClient(hwnd, &p);
        const RECT c = ClientRectOf(*w);
        return PtInRect(&c, p) ? HTCLIENT : HTBORDER;
    }
    case WM_ERASEBKGND:
    {
        HBRUSH brush = w->cls->background;
        if (!brush)
            return 0;
        RECT c = ClientRectOf(*w);
        FillRect(reinterpret_cast<HDC>(wParam), &c, brush);
        return 1;
    }
    case WM_PAINT:
    {
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps))
            EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        return 0;
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        if (!w->parent && w->widget)
            w->widget->setWindowTitle(QString::fromUtf8(w->text.c_str()));
        return TRUE;
    case WM_GETTEXT:
        if (!lParam || wParam == 0)
            return 0;
        return static_cast<LRESULT>(platform::CopyTruncated(reinterpret_cast<char*>(lParam),
                                                            static_cast<std::size_t>(wParam), w->text));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_SETICON:
    {
        HICON& slot = wParam == ICON_BIG ? w->bigIcon : w->smallIcon;
        const HICON previous = slot;
        slot = reinterpret_cast<HICON>(lParam);
        if (!w->parent && w->widget)
            w->widget->setWindowIcon(WindowIconOf(w->bigIcon, w->smallIcon));
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_GETICON:
        if (wParam == ICON_BIG)
            return reinterpret_cast<LRESULT>(w->bigIcon);
        if (wParam == ICON_SMALL2 && !w->smallIcon)
            return reinterpret_cast<LRESULT>(w->bigIcon);
        return reinterpret_cast<LRESULT>(w->smallIcon);
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0)
        {
        case SC_CLOSE:
            SendMessage(hwnd, WM_CLOSE, 0, 0);
            break;
        case SC_MINIMIZE:
            ShowWindow(hwnd, SW_MINIMIZE);
            break;
        case SC_MAXIMIZE:
            ShowWindow(hwnd, SW_MAXIMIZE);
            break;
        case SC_RESTORE:
            ShowWindow(hwnd, SW_RESTORE);
            break;
        default:
            break;
        }
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (LPARAM{1} << 29)) && !w->parent)
            PostMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SETCURSOR:
        if (w->parent && SendMessage(w->parent, WM_SETCURSOR, wParam, lParam))
            return TRUE;
        if (LOWORD(static_cast<DWORD_PTR>(lParam)) == HTCLIENT && w->cls->cursor)
        {
            SetCursor(w->cls->cursor);
            return TRUE;
        }
        return FALSE;
    case WM_MOUSEACTIVATE:
        return 1; // MA_ACTIVATE
    case WM_WINDOWPOSCHANGING:
    {
        auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (pos && !w->parent && !(pos->flags & SWP_NOSIZE))
        {
            MINMAXINFO info{};
            info.ptMaxSize = POINT{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            info.ptMaxTrackSize = POINT{32767, 32767};
            SendMessage(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
            pos->cx = std::clamp<int>(pos->cx, info.ptMinTrackSize.x,
                                      std::max(info.ptMinTrackSize.x, info.ptMaxTrackSize.x));
            pos->cy = std::clamp<int>(pos->cy, info.ptMinTrackSize.y,
                                      std::max(info.ptMinTrackSize.y, info.ptMaxTrackSize.y));
        }
        return 0;
    }
    case WM_WINDOWPOSCHANGED:
    {
        auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!pos)
            return 0;
        if (!(pos->flags & SWP_NOMOVE))
        {
            const RECT placed = RectInParent(*w);
            SendMessage(hwnd, WM_MOVE, 0,
                        MAKELPARAM(placed.left + w->insets.left, placed.top + w->insets.top));
        }
        if (!(pos->flags & SWP_NOSIZE) && !w->destroyed)
        {
            const RECT c = ClientRectOf(*w);
            SendMessage(hwnd, WM_SIZE,
                        w->minimized   ? SIZE_MINIMIZED
                        : w->maximized ? SIZE_MAXIMIZED
                                       : SIZE_RESTORED,
                        MAKELPARAM(c.right, c.bottom));
        }
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam))
        {
            HWND focus = w->lastFocus && IsWindow(w->lastFocus) ? w->lastFocus : hwnd;
            SetFocus(focus);
        }
        return 0;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    {
        HDC dc = reinterpret_cast<HDC>(wParam);
        const bool window = msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX;
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(window ? COLOR_WINDOW : COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(window ? COLOR_WINDOW : COLOR_BTNFACE));
    }
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
    case WM_CONTEXTMENU:
        if (w->parent)
            return SendMessage(w->parent, msg, wParam, lParam);
        return 0;
    case WM_SETREDRAW:
        w->redraw = wParam != 0;
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_NOTIFYFORMAT:
        return NFR_ANSI;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------------------
// System colours and metrics
// ---------------------------------------------------------------------------------------------------------

DWORD GetSysColor(int index)
{
    static const COLORREF colors[31] = {
        RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219), RGB(240, 240, 240),
        RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),
        RGB(180, 180, 180), RGB(244, 247, 252), RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255),
        RGB(240, 240, 240), RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
        RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),       RGB(255, 255, 225),
        RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234), RGB(215, 228, 242), RGB(51, 153, 255),
        RGB(240, 240, 240)};
    if (index < 0 || index >= 31)
        return 0;
    return colors[index];
}

namespace
{
QRect ScreenGeometry(bool available)
{
    if (!QGuiApplication::instance())
        return QRect(0, 0, 1024, 768);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QRect(0, 0, 1024, 768);
    return available ? screen->availableGeometry() : screen->geometry();
}
} // namespace

int GetSystemMetrics(int index)
{
    if (QGuiApplication::instance() && !IsUiThread())
        return OnUi([&] { return GetSystemMetrics(index); });
    const QRect screen = ScreenGeometry(false);
    const QRect work = ScreenGeometry(true);
    switch (index)
    {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
        return screen.width();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return screen.height();
    case SM_XVIRTUALSCREEN:
        return screen.x();
    case SM_YVIRTUALSCREEN:
        return screen.y();
    case SM_CXFULLSCREEN:
        return work.width();
    case SM_CYFULLSCREEN:
        return work.height() - 23;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        return 17;
    case SM_CYCAPTION:
        return 23;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CYMENU:
        return 20;
    case SM_CXMIN:
        return 112;
    case SM_CYMIN:
        return 27;
    case SM_CXSIZE:
    case SM_CYSIZE:
        return 18;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    case SM_SWAPBUTTON:
        return 0;
    case SM_CMONITORS:
        return QGuiApplication::instance() ? static_cast<int>(QGuiApplication::screens().size()) : 1;
    default:
        return 0;
    }
}

BOOL SystemParametersInfo(UINT action, UINT, PVOID data, UINT)
{
    if (QGuiApplication::instance() && !IsUiThread())
        return OnUi([&] { return SystemParametersInfo(action, 0, data, 0); });
    switch (action)
    {
    case SPI_GETWORKAREA:
    {
        if (!data)
            return FALSE;
        const QRect r = ScreenGeometry(true);
        *static_cast<RECT*>(data) = RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
        return TRUE;
    }
    case SPI_GETICONTITLELOGFONT:
    {
        if (!data)
            return FALSE;
        auto* lf = static_cast<LOGFONTA*>(data);
        std::memset(lf, 0, sizeof *lf);
        lf->lfHeight = -12;
        lf->lfWeight = FW_NORMAL;
        lf->lfCharSet = DEFAULT_CHARSET;
        std::strcpy(lf->lfFaceName, "Tahoma");
        return TRUE;
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
}

UINT GetDoubleClickTime()
{
    if (QGuiApplication::instance() && IsUiThread())
        return static_cast<UINT>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    return 500;
}

// ---------------------------------------------------------------------------------------------------------
// Cursors and icons
// ---------------------------------------------------------------------------------------------------------

HCURSOR SetCursor(HCURSOR cursor)
{
    PW_ON_UI_THREAD(SetCursor(cursor));
    const HCURSOR old = g_cursor;
    g_cursor = cursor;
    HWND target = GetCapture();
    if (!target)
        target = LastMouseWindow();
    if (auto w = Find(target); w && w->widget)
    {
        const QCursor shape = LoadedCursorShape(cursor).value_or(QCursor(ShapeOf(cursor)));
        w->widget->setCursor(shape);
        // Qt widgets that a control embeds (the edit's line edit) carry pointer shapes of their own, which
        // would show over the one the window chose.
        for (QWidget* inner : w->widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!dynamic_cast<HostWidget*>(inner))
                inner->setCursor(shape);
    }
    return old;
}

HCURSOR GetCursor()
{
    return g_cursor;
}

BOOL FlashWindow(HWND hwnd, BOOL)
{
    PW_ON_UI_THREAD(FlashWindow(hwnd, FALSE));
    if (auto w = Find(hwnd); w && w->widget)
        QApplication::alert(w->widget);
    return FALSE;
}

BOOL MessageBeep(UINT)
{
    if (QGuiApplication::instance() && IsUiThread())
        QApplication::beep();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------------------
// Rectangles
// ---------------------------------------------------------------------------------------------------------

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom)
{
    if (!rect)
        return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL SetRectEmpty(LPRECT rect)
{
    return SetRect(rect, 0, 0, 0, 0);
}

BOOL CopyRect(LPRECT dst, LPCRECT src)
{
    if (!dst || !src)
        return FALSE;
    *dst = *src;
    return TRUE;
}

BOOL InflateRect(LPRECT rect, int dx, int dy)
{
    if (!rect)
        return FALSE;
    rect->left -= dx;
    rect->top -= dy;
    rect->right += dx;
    rect->bottom += dy;
    return TRUE;
}

BOOL OffsetRect(LPRECT rect, int dx, int dy)
{
    if (!rect)
        return FALSE;
    rect->left += dx;
    rect->right += dx;
    rect->top += dy;
    rect->bottom += dy;
    return TRUE;
}

BOOL IsRectEmpty(LPCRECT rect)
{
    return !rect || rect->right <= rect->left || rect->bottom <= rect->top;
}

BOOL IntersectRect(LPRECT dst, LPCRECT a, LPCRECT b)
{
    if (!dst || !a || !b)
        return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r))
    {
        SetRectEmpty(dst);
        return FALSE;
    }
    *dst = r;
    return TRUE;
}

BOOL UnionRect(LPRECT dst, LPCRECT a, LPCRECT b)
{
    if (!dst || !a || !b)
        return FALSE;
    if (IsRectEmpty(a))
    {
        if (IsRectEmpty(b))
        {
            SetRectEmpty(dst);
            return FALSE;
        }
        *dst = *b;
        return TRUE;
    }
    if (IsRectEmpty(b))
    {
        *dst = *a;
        return TRUE;
    }
    *dst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                std::max(a->bottom, b->bottom)};
    return TRUE;
}

BOOL SubtractRect(LPRECT dst, LPCRECT a, LPCRECT b)
{
    if (!dst || !a || !b)
        return FALSE;
    RECT r = *a;
    RECT i;
    if (IntersectRect(&i, a, b))
    {
        if (i.top == r.top && i.bottom == r.bottom)
        {
            if (i.left == r.left)
                r.left = i.right;
            else if (i.right == r.right)
                r.right = i.left;
        }
        else if (i.left == r.left && i.right == r.right)
        {
            if (i.top == r.top)
                r.top = i.bottom;
            else if (i.bottom == r.bottom)
                r.bottom = i.top;
        }
    }
    *dst = r;
    if (IsRectEmpty(dst))
    {
        SetRectEmpty(dst);
        return FALSE;
    }
    return TRUE;
}

BOOL EqualRect(LPCRECT a, LPCRECT b)
{
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL PtInRect(LPCRECT rect, POINT p)
{
    return rect && p.x >= rect->left && p.x < rect->right && p.y >= rect->top && p.y < rect->bottom;
}

// ---------------------------------------------------------------------------------------------------------
// The plain message box
// ---------------------------------------------------------------------------------------------------------

int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    std::function<int(HWND, const char*, const char*, UINT)> hook;
    {
        std::lock_guard lock(g_boxLock);
        hook = g_boxHook;
    }
    if (hook)
        return hook(owner, text ? text : "", caption ? caption : "Error", type);
    if (!QCoreApplication::instance() || IsUiThread())
    {
        if (!EnsureApplication())
            return 0;
    }
    else
        return OnUi([&] { return MessageBox(owner, text, caption, type); });

    QMessageBox box;
    box.setWindowTitle(QString::fromUtf8(caption ? caption : "Error"));
    box.setText(QString::fromUtf8(text ? text : ""));
    switch (type & MB_ICONMASK)
    {
    case MB_ICONHAND:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONEXCLAMATION:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONASTERISK:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    std::vector<std::pair<QPushButton*, int>> buttons;
    auto add = [&](const char* label, QMessageBox::ButtonRole role, int id)
    { buttons.emplace_back(box.addButton(QString::fromUtf8(label), role), id); };
    switch (type & MB_TYPEMASK)
    {
    case MB_OKCANCEL:
        add("OK", QMessageBox::AcceptRole, IDOK);
        add("Cancel", QMessageBox::RejectRole, IDCANCEL);
        break;
    case MB_ABORTRETRYIGNORE:
        add("&Abort", QMessageBox::RejectRole, IDABORT);
        add("&Retry", QMessageBox::AcceptRole, IDRETRY);
        add("&Ignore", QMessageBox::AcceptRole, IDIGNORE);
        break;
    case MB_YESNOCANCEL:
        add("&Yes", QMessageBox::YesRole, IDYES);
        add("&No", QMessageBox::NoRole, IDNO);
        add("Cancel", QMessageBox::RejectRole, IDCANCEL);
        break;
    case MB_YESNO:
        add("&Yes", QMessageBox::YesRole, IDYES);
        add("&No", QMessageBox::NoRole, IDNO);
        break;
    case MB_RETRYCANCEL:
        add("&Retry", QMessageBox::AcceptRole, IDRETRY);
        add("Cancel", QMessageBox::RejectRole, IDCANCEL);
        break;
    default:
        add("OK", QMessageBox::AcceptRole, IDOK);
        break;
    }
    const std::size_t defIndex = (type & MB_DEFMASK) >> 8;
    if (defIndex < buttons.size())
        box.setDefaultButton(buttons[defIndex].first);
    if (type & MB_TOPMOST)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner)
        EnableWindow(owner, FALSE);
    platform::window::RunDialogInMessageLoop(box);
    if (disableOwner && IsWindow(owner))
        EnableWindow(owner, TRUE);
    for (auto& [button, id] : buttons)
        if (box.clickedButton() == button)
            return id;
    // Closed without a button: the box's cancel answer, or OK for a box that has only OK.
    for (auto& [button, id] : buttons)
        if (id == IDCANCEL)
            return IDCANCEL;
    return (type & MB_TYPEMASK) == MB_OK ? IDOK : IDNO;
}
