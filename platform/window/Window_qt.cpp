// Window objects: the handle table, classes, creation and destruction, the window tree, geometry and
// z-order, visibility, enabling, focus, capture and activation.

#include "platform/win/CString.h"
#include "platform/win/Kernel.h"
#include "platform/window/Extras.h"
#include "platform/window/GdiInternal.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WindowInternal.h"

#include <QApplication>
#include <QFontDatabase>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <unordered_map>

namespace gdi = platform::gdi::detail;

namespace platform::window::detail
{
namespace
{
std::mutex g_tableLock;
std::unordered_map<std::uintptr_t, WindowPtr> g_table; // under g_tableLock
std::uintptr_t g_nextHandle = 0x100000;                // under g_tableLock

// User-interface thread only.
std::vector<HWND> g_topLevels; // z-order, topmost first
HWND g_focus = nullptr;
HWND g_capture = nullptr;
HWND g_active = nullptr;

std::mutex g_classLock;
std::unordered_map<std::string, std::shared_ptr<WindowClass>> g_classes; // key: lower-case name
std::unordered_map<ATOM, std::shared_ptr<WindowClass>> g_atoms;
ATOM g_nextAtom = 0xC100;

std::function<void(HWND)> g_destroyedHook;
thread_local std::function<void(HWND)> t_createHook;

const HWND kDesktop = reinterpret_cast<HWND>(std::uintptr_t{0x10010});
/// Where the system's desktop keeps minimised windows.
constexpr LONG kIconicPosition = -32000;

void RaiseWidget(QWidget* widget)
{
    // The offscreen platform has no stacking of its own and complains when asked.
    if (!widget || (widget->isWindow() && QGuiApplication::platformName() == QLatin1String("offscreen")))
        return;
    widget->raise();
}

std::string Lower(std::string s)
{
    for (auto& ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

void EnsureFonts()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // Wine's Tahoma has the metrics of the dialog font the layouts were made with; fontconfig does not
    // index Wine's folder, so the application loads it itself.
    for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        if (std::filesystem::exists(file))
            QFontDatabase::addApplicationFont(QString::fromUtf8(file));
}

std::shared_ptr<WindowClass> FindClass(LPCSTR name)
{
    if (!name)
        return nullptr;
    RegisterSystemClasses();
    std::lock_guard lock(g_classLock);
    if (IS_INTRESOURCE(name))
    {
        auto atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
        if (atom == 0x8002)
        {
            auto it = g_classes.find("#32770");
            return it == g_classes.end() ? nullptr : it->second;
        }
        auto it = g_atoms.find(atom);
        return it == g_atoms.end() ? nullptr : it->second;
    }
    auto it = g_classes.find(Lower(name));
    return it == g_classes.end() ? nullptr : it->second;
}

std::vector<HWND>& SiblingsOf(Window& w)
{
    if (w.parent)
        if (auto p = Find(w.parent))
            return p->children;
    return g_topLevels;
}

void Unlink(Window& w)
{
    auto& list = SiblingsOf(w);
    list.erase(std::remove(list.begin(), list.end(), w.hwnd), list.end());
}

bool IsTopmost(HWND h)
{
    auto w = Find(h);
    return w && (w->exStyle & WS_EX_TOPMOST);
}

/// Puts a top-level window at the top of its band (top-most windows above all others).
void MoveToFront(HWND h)
{
    g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), h), g_topLevels.end());
    auto pos = g_topLevels.begin();
    if (!IsTopmost(h))
        while (pos != g_topLevels.end() && IsTopmost(*pos))
            ++pos;
    g_topLevels.insert(pos, h);
}

void RaiseOwned(HWND owner)
{
    std::vector<HWND> owned;
    for (HWND h : g_topLevels)
        if (auto w = Find(h); w && w->owner == owner)
            owned.push_back(h);
    for (auto it = owned.rbegin(); it != owned.rend(); ++it)
    {
        MoveToFront(*it);
        if (auto w = Find(*it); w && w->widget && w->visible)
            RaiseWidget(w->widget);
        RaiseOwned(*it);
    }
}

Qt::WindowFlags FlagsFor(const Window& w)
{
    if (w.cls && w.cls->tooltip)
        return Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
               Qt::WindowDoesNotAcceptFocus;
    Qt::WindowFlags f = Qt::Window;
    if ((w.style & WS_CAPTION) != WS_CAPTION)
        f |= Qt::FramelessWindowHint;
    if (w.exStyle & WS_EX_TOOLWINDOW)
        f |= Qt::Tool;
    if (w.exStyle & WS_EX_TOPMOST)
        f |= Qt::WindowStaysOnTopHint;
    if ((w.exStyle & WS_EX_LAYERED) && (w.exStyle & WS_EX_TRANSPARENT))
        f |= Qt::WindowTransparentForInput;
    if (w.exStyle & WS_EX_NOACTIVATE)
        f |= Qt::WindowDoesNotAcceptFocus;
    return f;
}

QRect WidgetGeometry(const Window& w)
{
    const int width = std::max<LONG>(0, w.rect.right - w.rect.left);
    const int height = std::max<LONG>(0, w.rect.bottom - w.rect.top);
    if (w.parent)
        if (auto p = Find(w.parent))
            return QRect(p->insets.left + w.rect.left, p->insets.top + w.rect.top, width, height);
    return QRect(w.rect.left, w.rect.top, width, height);
}

void SetTransientOwner(Window& w)
{
    if (!w.widget || w.parent)
        return;
    auto owner = Find(w.owner);
    QWindow* handle = w.widget->windowHandle();
    if (!handle)
    {
        w.widget->winId();
        handle = w.widget->windowHandle();
    }
    if (!handle)
        return;
    if (owner && owner->widget)
    {
        owner->widget->winId();
        handle->setTransientParent(owner->widget->windowHandle());
    }
    else
        handle->setTransientParent(nullptr);
}

/// Re-applies the top-level flags (top-most, tool, translucency, input transparency), which Qt can only
/// change by re-creating the native window.
void RefreshTopLevelFlags(Window& w)
{
    if (!w.widget || w.parent)
        return;
    const bool layered = (w.exStyle & WS_EX_LAYERED) != 0;
    const Qt::WindowFlags flags = FlagsFor(w);
    const bool translucent = w.widget->testAttribute(Qt::WA_TranslucentBackground);
    if (w.widget->windowFlags() == flags && translucent == layered)
        return;
    const QRect geometry = WidgetGeometry(w);
    w.widget->setAttribute(Qt::WA_TranslucentBackground, layered);
    w.widget->setWindowFlags(flags);
    w.widget->setGeometry(geometry);
    SetTransientOwner(w);
    if (w.visible && !w.minimized)
    {
        w.widget->setAttribute(Qt::WA_ShowWithoutActivating, true);
        w.widget->show();
        w.widget->setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}

void Subtree(HWND h, std::vector<HWND>& out)
{
    out.push_back(h);
    if (auto w = Find(h))
        for (HWND c : std::vector<HWND>(w->children))
            Subtree(c, out);
}

bool IsDescendantOrSelf(HWND ancestor, HWND h)
{
    for (auto w = Find(h); w; w = Find(w->parent))
        if (w->hwnd == ancestor)
            return true;
    return false;
}

RECT ComputeInsets(const Window& w)
{
    RECT r{};
    int edge = 0;
    const bool captioned = !w.parent && (w.style & WS_CAPTION) == WS_CAPTION;
    if (!captioned)
    {
        if (w.style & WS_THICKFRAME)
            edge += 4;
        else if ((w.style & WS_DLGFRAME) || (w.exStyle & WS_EX_DLGMODALFRAME))
            edge += 3;
        else if (w.style & WS_BORDER)
            edge += 1;
    }
    if (w.exStyle & WS_EX_CLIENTEDGE)
        edge += 2;
    if (w.exStyle & WS_EX_STATICEDGE)
        edge += 1;
    r.left = r.top = r.right = r.bottom = edge;
    return r;
}

void RecalcFrame(HWND h)
{
    auto w = Find(h);
    if (!w)
        return;
    RECT rc = w->rect;
    SendLocal(h, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&rc));
    w = Find(h);
    if (!w)
        return;
    RECT insets{rc.left - w->rect.left, rc.top - w->rect.top, w->rect.right - rc.right,
                w->rect.bottom - rc.bottom};
    const int width = w->rect.right - w->rect.left;
    const int height = w->rect.bottom - w->rect.top;
    insets.left = std::clamp<LONG>(insets.left, 0, width);
    insets.right = std::clamp<LONG>(insets.right, 0, width - insets.left);
    insets.top = std::clamp<LONG>(insets.top, 0, height);
    insets.bottom = std::clamp<LONG>(insets.bottom, 0, height - insets.top);
    const bool changed = std::memcmp(&insets, &w->insets, sizeof insets) != 0;
    w->insets = insets;
    if (insets.left || insets.top || insets.right || insets.bottom)
        OweFramePaint(*w);
    if (changed)
        for (HWND c : w->children)
            if (auto child = Find(c); child && child->widget)
                child->widget->setGeometry(WidgetGeometry(*child));
}

void ShowWidget(Window& w, bool activate)
{
    if (!w.widget)
        return;
    if (w.parent)
    {
        w.widget->setVisible(w.visible);
        return;
    }
    if (!w.visible)
    {
        w.widget->hide();
        return;
    }
    w.widget->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    if (w.minimized)
        w.widget->showMinimized();
    else if (w.maximized)
        w.widget->showMaximized();
    else
        w.widget->showNormal();
    w.widget->setAttribute(Qt::WA_ShowWithoutActivating, false);
}
} // namespace

bool IsUiThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

namespace
{
/// Tells every top-level window when the display or the work area changes, as the system broadcasts it.
void WatchScreens()
{
    static bool watching = false;
    if (watching)
        return;
    watching = true;
    auto* app = qGuiApp;
    auto watch = [app](QScreen* screen)
    {
        QObject::connect(screen, &QScreen::geometryChanged, app,
                         [screen](const QRect& g)
                         {
                             PostMessage(HWND_BROADCAST, WM_DISPLAYCHANGE,
                                         static_cast<WPARAM>(screen->depth()),
                                         MAKELPARAM(g.width(), g.height()));
                         });
        QObject::connect(screen, &QScreen::availableGeometryChanged, app,
                         [](const QRect&)
                         { PostMessage(HWND_BROADCAST, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0); });
    };
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    QObject::connect(app, &QGuiApplication::screenAdded, app, watch);
    QObject::connect(app, &QGuiApplication::primaryScreenChanged, app,
                     [](QScreen* screen)
                     {
                         if (!screen)
                             return;
                         const QRect g = screen->geometry();
                         PostMessage(HWND_BROADCAST, WM_DISPLAYCHANGE, static_cast<WPARAM>(screen->depth()),
                                     MAKELPARAM(g.width(), g.height()));
                     });
}
} // namespace

bool ShouldMarshal()
{
    return QCoreApplication::instance() && !IsUiThread();
}

bool EnsureApplication()
{
    if (!QCoreApplication::instance())
    {
        static int argc = 1;
        static char name[] = "brevicam";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || !IsUiThread())
        return false;
    EnsureFonts();
    EnsureOwnQueue();
    WatchScreens();
    return true;
}

void SyncGeometryFromQt(HWND hwnd)
{
    auto w = Find(hwnd);
    if (!w || !w->widget || w->parent || w->minimized || w->destroying || !w->widget->isVisible())
        return;
    const QRect g = w->widget->geometry();
    if (g == WidgetGeometry(*w) || g.isEmpty())
        return;
    // The desktop moved or sized the window (its frame, its placement): the window learns it as from
    // SetWindowPos.
    SetWindowPos(hwnd, nullptr, g.x(), g.y(), g.width(), g.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

WindowPtr Find(HWND hwnd)
{
    if (!hwnd || !IsUiThread())
        return nullptr;
    std::lock_guard lock(g_tableLock);
    auto it = g_table.find(reinterpret_cast<std::uintptr_t>(hwnd));
    return it == g_table.end() ? nullptr : it->second;
}

WindowPtr Get(HWND hwnd)
{
    auto w = Find(hwnd);
    if (!w)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

std::vector<HWND> TopLevelWindows()
{
    return g_topLevels;
}

RECT ClientRectOf(const Window& w)
{
    const LONG width = w.rect.right - w.rect.left - w.insets.left - w.insets.right;
    const LONG height = w.rect.bottom - w.rect.top - w.insets.top - w.insets.bottom;
    return RECT{0, 0, std::max<LONG>(0, width), std::max<LONG>(0, height)};
}

QPoint WindowOriginOnScreen(const Window& w)
{
    if (w.parent)
        if (auto p = Find(w.parent))
            return ClientOriginOnScreen(*p) + QPoint(w.rect.left, w.rect.top);
    return QPoint(w.rect.left, w.rect.top);
}

QPoint ClientOriginOnScreen(const Window& w)
{
    return WindowOriginOnScreen(w) + QPoint(w.insets.left, w.insets.top);
}

void ResizeBuffer(Window& w)
{
    const int width = std::max<LONG>(0, w.rect.right - w.rect.left);
    const int height = std::max<LONG>(0, w.rect.bottom - w.rect.top);
    if (w.buffer.width() == width && w.buffer.height() == height && !w.buffer.isNull())
        return;
    QImage next(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
    next.fill(Qt::transparent);
    if (!w.buffer.isNull())
    {
        QPainter p(&next);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, w.buffer);
    }
    w.buffer = next;
    if (w.layeredImage && (w.layered.width() != width || w.layered.height() != height))
    {
        QImage layered(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
        layered.fill(Qt::transparent);
        QPainter p(&layered);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, w.layered);
        p.end();
        w.layered = layered;
    }
    w.maskDirty = true;
}

void UpdateWidgetArea(Window& w, const QRect& windowArea)
{
    if (!w.widget)
        return;
    if (w.exStyle & WS_EX_LAYERED)
    {
        w.maskDirty = true;
        ScheduleIdleWork();
    }
    w.widget->update(windowArea);
}

void InvalidateClient(Window& w, const QRegion& area, bool erase)
{
    const RECT c = ClientRectOf(w);
    const QRegion clipped = area & QRect(0, 0, c.right, c.bottom);
    if (clipped.isEmpty())
        return;
    w.update |= clipped;
    PaintOwed();
    if (erase)
        w.erase = true;
}

void OweFramePaint(Window& w)
{
    w.ncPaint = true;
    PaintOwed();
}

void SendPaintNow(HWND hwnd)
{
    auto w = Find(hwnd);
    if (!w || (w->update.isEmpty() && !w->ncPaint && !w->internalPaint))
        return;
    // A window that is not on screen (it or an ancestor hidden) keeps its update region for the paint that
    // comes when it is shown: controls set up while their dialog initialises would otherwise draw, and
    // cache, a look before their set-up is done.
    for (auto p = w; p; p = Find(p->parent))
        if (!p->visible)
            return;
    SendLocal(hwnd, WM_PAINT, 0, 0);
}

bool IsInputEnabled(const Window& w)
{
    for (auto p = Find(w.hwnd); p; p = Find(p->parent))
        if (!p->enabled)
            return false;
    return true;
}

WindowPtr MouseTarget(WindowPtr w)
{
    // A disabled child passes the mouse to its parent, as the system's hit test skips it; a disabled
    // top-level window (one under a modal dialog) takes nothing.
    while (w && !w->enabled)
    {
        if (!w->parent)
            return nullptr;
        w = Find(w->parent);
    }
    if (w && !IsInputEnabled(*w))
        return nullptr;
    return w;
}

void ApplyShape(Window& w)
{
    if (!w.widget)
        return;
    QRegion mask;
    bool masked = false;
    if (w.hasRegion)
    {
        mask = w.shape;
        masked = true;
    }
    if ((w.exStyle & WS_EX_LAYERED) && !w.parent && !CompositingAvailable())
    {
        // Without a compositing manager a translucent window would show black where it is clear: cut it
        // to the pixels that are meant to be seen instead.
        QRegion opaque;
        const QImage& picture = w.layeredImage ? w.layered : w.buffer;
        const bool keyed = !w.layeredImage && (w.layeredFlags & LWA_COLORKEY);
        const QRgb key = qRgb(GetRValue(w.colorKey), GetGValue(w.colorKey), GetBValue(w.colorKey));
        if (w.layeredImage || keyed)
        {
            for (int y = 0; y < picture.height(); ++y)
            {
                const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
                int start = -1;
                for (int x = 0; x <= picture.width(); ++x)
                {
                    bool seen = false;
                    if (x < picture.width())
                        seen = keyed ? (row[x] & 0xFFFFFF) != (key & 0xFFFFFF) : qAlpha(row[x]) >= 128;
                    if (seen && start < 0)
                        start = x;
                    else if (!seen && start >= 0)
                    {
                        opaque |= QRect(start, y, x - start, 1);
                        start = -1;
                    }
                }
            }
            mask = masked ? (mask & opaque) : opaque;
            masked = true;
        }
    }
    if (masked)
        w.widget->setMask(mask.isEmpty() ? QRegion(-1, -1, 1, 1) : mask);
    else
        w.widget->clearMask();
    w.maskDirty = false;
}

void ForgetWindowInput(HWND hwnd)
{
    if (g_capture && IsDescendantOrSelf(hwnd, g_capture))
        g_capture = nullptr;
    if (g_focus && IsDescendantOrSelf(hwnd, g_focus))
        g_focus = nullptr;
}

void SetActiveInternal(HWND hwnd, bool fromQt)
{
    if (hwnd == g_active)
        return;
    if (hwnd)
    {
        auto w = Find(hwnd);
        if (!w || w->parent || w->destroying)
            return;
    }
    const HWND prev = g_active;
    g_active = hwnd;
    if (auto p = Find(prev))
    {
        if (g_focus && IsDescendantOrSelf(prev, g_focus))
            p->lastFocus = g_focus;
        SendLocal(prev, WM_NCACTIVATE, FALSE, 0);
        SendLocal(prev, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, p->minimized), reinterpret_cast<LPARAM>(hwnd));
    }
    if (g_active != hwnd)
        return;
    if (auto w = Find(hwnd))
    {
        MoveToFront(hwnd);
        if (!fromQt && w->widget && w->visible)
        {
            RaiseWidget(w->widget);
            w->widget->activateWindow();
        }
        // After the window itself, so that on the screen too the windows it owns stay above it.
        RaiseOwned(hwnd);
        SendLocal(hwnd, WM_NCACTIVATE, TRUE, 0);
        SendLocal(hwnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, w->minimized), reinterpret_cast<LPARAM>(prev));
    }
}

void FocusFromQt(HWND hwnd)
{
    if (hwnd == g_focus || !Find(hwnd))
        return;
    // Qt's focus report arrives after the fact. When Qt has moved its focus on since (most often because
    // our own focus went on, say from a dialog to its control), the report is stale: following it would
    // take the focus back and start the same round again.
    HWND holder = nullptr;
    for (QWidget* x = QApplication::focusWidget(); x && !holder; x = x->parentWidget())
        if (auto* host = dynamic_cast<HostWidget*>(x))
            holder = host->Handle();
    if (holder != hwnd)
        return;
    // Stale too when our activation has moved on to another window since, with our focus in it (most often
    // a drop-down list opened by the click that focused its combo box): following the report would take the
    // activation back, and the list would close.
    const HWND root = GetAncestor(hwnd, GA_ROOT);
    if (root && g_active && root != g_active && g_focus && IsDescendantOrSelf(g_active, g_focus))
        return;
    SetFocus(hwnd);
}

void SetClassTooltip(const char* name)
{
    std::lock_guard lock(g_classLock);
    auto it = g_classes.find(Lower(name));
    if (it != g_classes.end())
        it->second->tooltip = true;
}

void RegisterClassInternal(const WNDCLASSEXA& wc, bool system)
{
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc.lpszClassName;
    cls->style = wc.style;
    cls->proc = wc.lpfnWndProc;
    cls->clsExtra = std::max(0, wc.cbClsExtra);
    cls->wndExtra = std::max(0, wc.cbWndExtra);
    cls->instance = wc.hInstance;
    cls->icon = wc.hIcon;
    cls->cursor = wc.hCursor;
    cls->background = wc.hbrBackground;
    cls->system = system;
    cls->extra.assign(static_cast<std::size_t>(cls->clsExtra), 0);
    std::lock_guard lock(g_classLock);
    cls->atom = g_nextAtom++;
    g_atoms[cls->atom] = cls;
    g_classes[Lower(cls->name)] = cls;
}
} // namespace platform::window::detail

using namespace platform::window::detail;

namespace platform::window
{
void SetCreateHook(std::function<void(HWND)> hook)
{
    t_createHook = std::move(hook);
}

void SetWindowDestroyedHook(std::function<void(HWND)> hook)
{
    g_destroyedHook = std::move(hook);
}
} // namespace platform::window

// ---------------------------------------------------------------------------------------------------------
// Classes
// ---------------------------------------------------------------------------------------------------------

ATOM RegisterClassEx(const WNDCLASSEXA* wc)
{
    if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName) || !wc->lpfnWndProc)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RegisterSystemClasses();
    {
        std::lock_guard lock(g_classLock);
        if (g_classes.count(Lower(wc->lpszClassName)))
        {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    RegisterClassInternal(*wc, false);
    std::lock_guard lock(g_classLock);
    return g_classes[Lower(wc->lpszClassName)]->atom;
}

ATOM RegisterClass(const WNDCLASSA* wc)
{
    if (!wc)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXA ex{};
    ex.cbSize = sizeof ex;
    ex.style = wc->style;
    ex.lpfnWndProc = wc->lpfnWndProc;
    ex.cbClsExtra = wc->cbClsExtra;
    ex.cbWndExtra = wc->cbWndExtra;
    ex.hInstance = wc->hInstance;
    ex.hIcon = wc->hIcon;
    ex.hCursor = wc->hCursor;
    ex.hbrBackground = wc->hbrBackground;
    ex.lpszMenuName = wc->lpszMenuName;
    ex.lpszClassName = wc->lpszClassName;
    return RegisterClassEx(&ex);
}

BOOL UnregisterClass(LPCSTR className, HINSTANCE)
{
    auto cls = FindClass(className);
    std::lock_guard lock(g_classLock);
    if (!cls || cls->system)
    {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return FALSE;
    }
    if (cls->windows > 0)
    {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    g_classes.erase(Lower(cls->name));
    g_atoms.erase(cls->atom);
    return TRUE;
}

BOOL GetClassInfoEx(HINSTANCE, LPCSTR className, WNDCLASSEXA* wc)
{
    auto cls = FindClass(className);
    if (!cls || !wc)
    {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return FALSE;
    }
    wc->style = cls->style;
    wc->lpfnWndProc = cls->proc;
    wc->cbClsExtra = cls->clsExtra;
    wc->cbWndExtra = cls->wndExtra;
    wc->hInstance = cls->instance;
    wc->hIcon = cls->icon;
    wc->hCursor = cls->cursor;
    wc->hbrBackground = cls->background;
    wc->lpszMenuName = nullptr;
    wc->lpszClassName = className;
    wc->hIconSm = nullptr;
    return TRUE;
}

int GetClassName(HWND hwnd, LPSTR buffer, int size)
{
    PW_ON_UI_THREAD(GetClassName(hwnd, buffer, size));
    auto w = Get(hwnd);
    if (!w || !buffer || size <= 0)
        return 0;
    return static_cast<int>(platform::CopyTruncated(buffer, static_cast<std::size_t>(size), w->cls->name));
}

ULONG_PTR GetClassLongPtr(HWND hwnd, int index)
{
    PW_ON_UI_THREAD(GetClassLongPtr(hwnd, index));
    auto w = Get(hwnd);
    if (!w)
        return 0;
    auto& c = *w->cls;
    switch (index)
    {
    case GCLP_HBRBACKGROUND:
        return reinterpret_cast<ULONG_PTR>(c.background);
    case GCLP_HCURSOR:
        return reinterpret_cast<ULONG_PTR>(c.cursor);
    case GCLP_HICON:
        return reinterpret_cast<ULONG_PTR>(c.icon);
    case GCLP_WNDPROC:
        return reinterpret_cast<ULONG_PTR>(c.proc);
    case GCL_STYLE:
        return c.style;
    default:
        if (index >= 0 && static_cast<std::size_t>(index) + sizeof(ULONG_PTR) <= c.extra.size())
        {
            ULONG_PTR v;
            std::memcpy(&v, c.extra.data() + index, sizeof v);
            return v;
        }
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

ULONG_PTR SetClassLongPtr(HWND hwnd, int index, LONG_PTR value)
{
    PW_ON_UI_THREAD(SetClassLongPtr(hwnd, index, value));
    auto w = Get(hwnd);
    if (!w)
        return 0;
    const ULONG_PTR old = GetClassLongPtr(hwnd, index);
    auto& c = *w->cls;
    switch (index)
    {
    case GCLP_HBRBACKGROUND:
        c.background = reinterpret_cast<HBRUSH>(value);
        break;
    case GCLP_HCURSOR:
        c.cursor = reinterpret_cast<HCURSOR>(value);
        break;
    case GCLP_HICON:
        c.icon = reinterpret_cast<HICON>(value);
        break;
    case GCLP_WNDPROC:
        c.proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GCL_STYLE:
        c.style = static_cast<UINT>(value);
        break;
    default:
        if (index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG_PTR) <= c.extra.size())
            std::memcpy(c.extra.data() + index, &value, sizeof value);
        else
            SetLastError(ERROR_INVALID_PARAMETER);
    }
    return old;
}

// ---------------------------------------------------------------------------------------------------------
// Creation and destruction
// ---------------------------------------------------------------------------------------------------------

HWND CreateWindowEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                    int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    if (!QCoreApplication::instance() || IsUiThread())
    {
        if (!EnsureApplication())
        {
            SetLastError(ERROR_INVALID_THREAD_ID);
            return nullptr;
        }
    }
    else
        return OnUi(
            [&]
            {
                return CreateWindowEx(exStyle, className, windowName, style, x, y, width, height, parent,
                                      menu, instance, param);
            });

    auto cls = FindClass(className);
    if (!cls)
    {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (parent == kDesktop)
        parent = nullptr;
    WindowPtr parentWindow;
    if (parent)
    {
        parentWindow = Get(parent);
        if (!parentWindow || parentWindow->destroying)
            return nullptr;
    }
    const bool child = (style & WS_CHILD) != 0;
    if (child && !parentWindow)
    {
        SetLastError(1406); // ERROR_TLW_WITH_WSCHILD
        return nullptr;
    }

    auto w = std::make_shared<Window>();
    w->cls = cls;
    w->proc = cls->proc;
    w->style = style;
    w->exStyle = exStyle;
    if (!child && !(style & WS_POPUP) && !cls->tooltip)
        w->style |= WS_CLIPSIBLINGS | WS_CAPTION;
    if (child)
    {
        w->parent = parent;
        w->id = reinterpret_cast<LONG_PTR>(menu);
        if ((parentWindow->exStyle & WS_EX_LAYOUTRTL) && !(parentWindow->exStyle & WS_EX_NOINHERITLAYOUT))
            w->exStyle |= WS_EX_LAYOUTRTL;
        w->exStyle &= ~WS_EX_TOPMOST;
    }
    else if (parentWindow)
    {
        // The owner of a top-level window is always a top-level window.
        auto root = parentWindow;
        while (root->parent)
            root = Find(root->parent);
        w->owner = root->hwnd;
    }
    w->instance = instance;
    w->enabled = !(style & WS_DISABLED);
    w->extra.assign(static_cast<std::size_t>(cls->wndExtra), 0);
    if (x == CW_USEDEFAULT)
        x = y = child ? 0 : 100;
    if (width == CW_USEDEFAULT)
    {
        width = child ? 0 : 400;
        height = child ? 0 : 300;
    }
    w->rect = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
    if (child)
        w->rect = MirroredInParent(*parentWindow, w->rect);
    {
        std::lock_guard lock(g_tableLock);
        w->hwnd = reinterpret_cast<HWND>(g_nextHandle);
        g_nextHandle += 4;
        g_table[reinterpret_cast<std::uintptr_t>(w->hwnd)] = w;
    }
    {
        std::lock_guard lock(g_classLock);
        ++cls->windows;
    }
    const HWND hwnd = w->hwnd;
    if (child)
        parentWindow->children.push_back(hwnd);
    else
        MoveToFront(hwnd);

    QWidget* parentWidget = child ? parentWindow->widget : nullptr;
    w->widget = new HostWidget(hwnd, parentWidget, child ? Qt::Widget : FlagsFor(*w));
    // A top-level window's picture covers all of it, so Qt need not fill the background first.
    if (!child)
        w->widget->setAttribute(Qt::WA_OpaquePaintEvent, true);
    if (!child && (w->exStyle & WS_EX_LAYERED))
        w->widget->setAttribute(Qt::WA_TranslucentBackground, true);
    w->widget->setGeometry(WidgetGeometry(*w));
    if (child)
    {
        // Hidden explicitly: Qt would show a child it was never told about along with its parent, which
        // a child window without WS_VISIBLE must not be.
        w->widget->hide();
        w->widget->lower();
    }
    else
        SetTransientOwner(*w);
    ResizeBuffer(*w);
    // Whether the window is shown at the end of its creation is decided by the style it was created with:
    // a style set while it is being created (without WS_VISIBLE, as it reads back then) does not hide it.
    const bool showWhenCreated = (w->style & WS_VISIBLE) != 0;

    if (auto hook = std::move(t_createHook))
    {
        t_createHook = nullptr;
        hook(hwnd);
    }

    CREATESTRUCTA cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cx = width;
    cs.cy = height;
    cs.x = x;
    cs.y = y;
    cs.style = static_cast<LONG>(w->style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = w->exStyle;
    if (!SendLocal(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) || w->destroyed)
    {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    RecalcFrame(hwnd);
    if (SendLocal(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1 || w->destroyed)
    {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    w->created = true;
    ResizeBuffer(*w);
    const RECT client = ClientRectOf(*w);
    SendLocal(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    const RECT placed = RectInParent(*w);
    SendLocal(hwnd, WM_MOVE, 0, MAKELPARAM(placed.left + w->insets.left, placed.top + w->insets.top));
    if (child && !(w->exStyle & WS_EX_NOPARENTNOTIFY) && !w->destroyed)
        SendLocal(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, static_cast<int>(w->id)),
                  reinterpret_cast<LPARAM>(hwnd));
    if (w->destroyed)
        return nullptr;
    if (showWhenCreated)
    {
        w->style &= ~WS_VISIBLE;
        ShowWindow(hwnd, SW_SHOW);
    }
    return w->destroyed ? nullptr : hwnd;
}

HWND CreateWindow(LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width, int height,
                  HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    return CreateWindowEx(0, className, windowName, style, x, y, width, height, parent, menu, instance,
                          param);
}

BOOL DestroyWindow(HWND hwnd)
{
    PW_ON_UI_THREAD(DestroyWindow(hwnd));
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    if (w->destroying)
        return TRUE;
    w->destroying = true;

    if (w->parent && !(w->exStyle & WS_EX_NOPARENTNOTIFY))
        SendLocal(w->parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, static_cast<int>(w->id)),
                  reinterpret_cast<LPARAM>(hwnd));
    // Windows it owns go first, as in the system.
    for (HWND h : std::vector<HWND>(g_topLevels))
        if (auto o = Find(h); o && o->owner == hwnd)
            DestroyWindow(h);

    if (w->visible && w->widget)
        w->widget->hide();
    if (g_active == hwnd)
    {
        HWND next = w->owner;
        if (!next)
            for (HWND h : g_topLevels)
                if (auto o = Find(h); o && h != hwnd && o->visible && !o->destroying)
                {
                    next = h;
                    break;
                }
        g_active = nullptr;
        if (next)
            SetActiveInternal(next, false);
    }
    if (g_capture && IsDescendantOrSelf(hwnd, g_capture))
        ReleaseCapture();
    if (g_focus && IsDescendantOrSelf(hwnd, g_focus))
    {
        const HWND old = g_focus;
        g_focus = nullptr;
        SendLocal(old, WM_KILLFOCUS, 0, 0);
    }

    std::vector<HWND> tree;
    Subtree(hwnd, tree);
    for (HWND h : tree)
        if (auto x = Find(h); x && !x->destroyed)
        {
            x->destroying = true;
            SendLocal(h, WM_DESTROY, 0, 0);
        }
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
        if (auto x = Find(*it); x && !x->destroyed)
            SendLocal(*it, WM_NCDESTROY, 0, 0);

    // Children destroyed by the handlers above left the tree already; the rest go now.
    HostWidget* rootWidget = w->widget;
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
    {
        auto x = Find(*it);
        if (!x || x->destroyed)
            continue;
        x->destroyed = true;
        KillWindowTimers(*it);
        CancelSendsTo(*it);
        RemoveQueuedFor(*it);
        ForgetWindowInput(*it);
        gdi::ReleaseWindowDcs(*it);
        if (x->shapeHandle)
            DeleteObject(x->shapeHandle);
        x->shapeHandle = nullptr;
        Unlink(*x);
        if (x->widget)
            x->widget->Detach();
        x->widget = nullptr;
        {
            std::lock_guard lock(g_tableLock);
            g_table.erase(reinterpret_cast<std::uintptr_t>(*it));
        }
        {
            std::lock_guard lock(g_classLock);
            --x->cls->windows;
        }
        if (g_destroyedHook)
            g_destroyedHook(*it);
    }
    if (rootWidget)
    {
        // Child widgets go with their parent; a widget inside its own event handler is deleted later.
        rootWidget->hide();
        if (rootWidget->InEvent())
            rootWidget->deleteLater();
        else
            delete rootWidget;
    }
    return TRUE;
}

BOOL IsWindow(HWND hwnd)
{
    if (!hwnd)
        return FALSE;
    if (hwnd == kDesktop)
        return TRUE;
    std::lock_guard lock(g_tableLock);
    auto it = g_table.find(reinterpret_cast<std::uintptr_t>(hwnd));
    return it != g_table.end() && !it->second->destroyed;
}

BOOL IsChild(HWND parent, HWND hwnd)
{
    PW_ON_UI_THREAD(IsChild(parent, hwnd));
    auto w = Find(hwnd);
    if (!w || !parent || w->hwnd == parent)
        return FALSE;
    for (auto p = Find(w->parent); p; p = Find(p->parent))
        if (p->hwnd == parent)
            return TRUE;
    return FALSE;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

// ---------------------------------------------------------------------------------------------------------
// Window longs and properties
// ---------------------------------------------------------------------------------------------------------

LONG_PTR GetWindowLongPtr(HWND hwnd, int index)
{
    PW_ON_UI_THREAD(GetWindowLongPtr(hwnd, index));
    auto w = Get(hwnd);
    if (!w)
        return 0;
    switch (index)
    {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>((w->style & ~(WS_VISIBLE | WS_DISABLED)) |
                                     (w->visible ? WS_VISIBLE : 0) | (w->enabled ? 0 : WS_DISABLED) |
                                     (w->minimized ? WS_MINIMIZE : 0) | (w->maximized ? WS_MAXIMIZE : 0));
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_USERDATA:
        return w->userData;
    default:
        if (index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG_PTR) <= w->extra.size())
        {
            LONG_PTR v;
            std::memcpy(&v, w->extra.data() + index, sizeof v);
            return v;
        }
        SetLastError(1413); // ERROR_INVALID_INDEX
        return 0;
    }
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value)
{
    PW_ON_UI_THREAD(SetWindowLongPtr(hwnd, index, value));
    auto w = Get(hwnd);
    if (!w)
        return 0;
    const LONG_PTR old = GetWindowLongPtr(hwnd, index);
    switch (index)
    {
    case GWLP_WNDPROC:
        w->proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_HINSTANCE:
        w->instance = reinterpret_cast<HINSTANCE>(value);
        break;
    case GWLP_HWNDPARENT:
        if (!w->parent)
        {
            HWND owner = reinterpret_cast<HWND>(value);
            if (owner == kDesktop || !Find(owner))
                owner = nullptr;
            w->owner = owner;
            SetTransientOwner(*w);
        }
        break;
    case GWLP_ID:
        w->id = value;
        break;
    case GWLP_USERDATA:
        w->userData = value;
        break;
    case GWL_STYLE:
    case GWL_EXSTYLE:
    {
        STYLESTRUCT ss{static_cast<DWORD>(old), static_cast<DWORD>(value)};
        SendLocal(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
        if (w->destroyed)
            return old;
        if (index == GWL_STYLE)
        {
            const DWORD changed = ss.styleOld ^ ss.styleNew;
            w->style = ss.styleNew;
            if (changed & WS_DISABLED)
                w->enabled = !(ss.styleNew & WS_DISABLED);
            if (changed & WS_VISIBLE)
            {
                w->visible = (ss.styleNew & WS_VISIBLE) != 0;
                ShowWidget(*w, false);
            }
            if (!w->parent && (changed & WS_CAPTION))
                RefreshTopLevelFlags(*w);
        }
        else
        {
            const DWORD changed = ss.styleOld ^ ss.styleNew;
            w->exStyle = ss.styleNew;
            if (changed & WS_EX_LAYERED)
            {
                if (!(w->exStyle & WS_EX_LAYERED))
                {
                    w->layeredImage = false;
                    w->layered = QImage();
                    w->layeredFlags = 0;
                }
                ApplyShape(*w);
            }
            if (changed & (WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW))
                RefreshTopLevelFlags(*w);
            if (w->widget)
                w->widget->update();
        }
        SendLocal(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
        break;
    }
    default:
        if (index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG_PTR) <= w->extra.size())
            std::memcpy(w->extra.data() + index, &value, sizeof value);
        else
            SetLastError(1413); // ERROR_INVALID_INDEX
    }
    return old;
}

LONG GetWindowLong(HWND hwnd, int index)
{
    return static_cast<LONG>(GetWindowLongPtr(hwnd, index));
}

LONG SetWindowLong(HWND hwnd, int index, LONG value)
{
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        return static_cast<LONG>(
            SetWindowLongPtr(hwnd, index, static_cast<LONG_PTR>(static_cast<DWORD>(value))));
    return static_cast<LONG>(SetWindowLongPtr(hwnd, index, value));
}

namespace
{
std::string PropKey(LPCSTR name)
{
    if (IS_INTRESOURCE(name))
    {
        // Appended rather than prefixed: GCC 12 warns falsely (-Wrestrict) on a literal + a temporary.
        std::string key(1, '#');
        key += std::to_string(reinterpret_cast<std::uintptr_t>(name));
        return key;
    }
    return name ? name : "";
}
} // namespace

BOOL SetProp(HWND hwnd, LPCSTR name, HANDLE data)
{
    PW_ON_UI_THREAD(SetProp(hwnd, name, data));
    auto w = Get(hwnd);
    if (!w || !name)
        return FALSE;
    w->props[PropKey(name)] = data;
    return TRUE;
}

HANDLE GetProp(HWND hwnd, LPCSTR name)
{
    PW_ON_UI_THREAD(GetProp(hwnd, name));
    auto w = Find(hwnd);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(PropKey(name));
    return it == w->props.end() ? nullptr : it->second;
}

HANDLE RemoveProp(HWND hwnd, LPCSTR name)
{
    PW_ON_UI_THREAD(RemoveProp(hwnd, name));
    auto w = Find(hwnd);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(PropKey(name));
    if (it == w->props.end())
        return nullptr;
    HANDLE h = it->second;
    w->props.erase(it);
    return h;
}

// ---------------------------------------------------------------------------------------------------------
// The window tree
// ---------------------------------------------------------------------------------------------------------

HWND GetParent(HWND hwnd)
{
    PW_ON_UI_THREAD(GetParent(hwnd));
    auto w = Get(hwnd);
    if (!w)
        return nullptr;
    if (w->parent)
        return w->parent;
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND SetParent(HWND hwnd, HWND newParent)
{
    PW_ON_UI_THREAD(SetParent(hwnd, newParent));
    auto w = Get(hwnd);
    if (!w)
        return nullptr;
    if (newParent == kDesktop)
        newParent = nullptr;
    WindowPtr np;
    if (newParent)
    {
        np = Get(newParent);
        if (!np || IsDescendantOrSelf(hwnd, newParent))
            return nullptr;
    }
    const HWND old = w->parent ? w->parent : kDesktop;
    Unlink(*w);
    w->parent = newParent;
    if (np)
    {
        np->children.insert(np->children.begin(), hwnd);
        w->owner = nullptr;
    }
    else
        MoveToFront(hwnd);
    if (w->widget)
    {
        const bool visible = w->visible;
        if (np)
            w->widget->setParent(np->widget, Qt::Widget);
        else
        {
            w->widget->setParent(nullptr, FlagsFor(*w));
            if (w->exStyle & WS_EX_LAYERED)
                w->widget->setAttribute(Qt::WA_TranslucentBackground, true);
        }
        w->widget->setGeometry(WidgetGeometry(*w));
        if (visible)
            w->widget->show();
        if (np)
            RaiseWidget(w->widget);
    }
    return old;
}

HWND GetAncestor(HWND hwnd, UINT flags)
{
    PW_ON_UI_THREAD(GetAncestor(hwnd, flags));
    auto w = Get(hwnd);
    if (!w)
        return nullptr;
    switch (flags)
    {
    case GA_PARENT:
        return w->parent ? w->parent : kDesktop;
    case GA_ROOT:
    case GA_ROOTOWNER:
    {
        auto root = w;
        while (root->parent)
            root = Find(root->parent);
        if (flags == GA_ROOTOWNER)
            while (auto o = Find(root->owner))
                root = o;
        return root->hwnd;
    }
    default:
        return nullptr;
    }
}

HWND GetWindow(HWND hwnd, UINT cmd)
{
    PW_ON_UI_THREAD(GetWindow(hwnd, cmd));
    auto w = Get(hwnd);
    if (!w)
        return nullptr;
    if (cmd == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front();
    if (cmd == GW_OWNER)
        return w->parent ? nullptr : w->owner;
    if (cmd == GW_ENABLEDPOPUP)
        return nullptr;
    const auto& list = SiblingsOf(*w);
    auto it = std::find(list.begin(), list.end(), hwnd);
    if (it == list.end())
        return nullptr;
    switch (cmd)
    {
    case GW_HWNDFIRST:
        return list.front();
    case GW_HWNDLAST:
        return list.back();
    case GW_HWNDNEXT:
        return (it + 1) == list.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
        return it == list.begin() ? nullptr : *(it - 1);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HWND GetTopWindow(HWND hwnd)
{
    PW_ON_UI_THREAD(GetTopWindow(hwnd));
    if (!hwnd || hwnd == kDesktop)
        return g_topLevels.empty() ? nullptr : g_topLevels.front();
    return GetWindow(hwnd, GW_CHILD);
}

HWND GetDesktopWindow()
{
    return kDesktop;
}

HWND GetDlgItem(HWND dialog, int id)
{
    PW_ON_UI_THREAD(GetDlgItem(dialog, id));
    auto w = Get(dialog);
    if (!w)
        return nullptr;
    for (HWND c : w->children)
        if (auto x = Find(c); x && static_cast<int>(x->id) == id)
            return c;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd)
{
    PW_ON_UI_THREAD(GetDlgCtrlID(hwnd));
    auto w = Get(hwnd);
    return w && w->parent ? static_cast<int>(w->id) : 0;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lParam)
{
    PW_ON_UI_THREAD(EnumChildWindows(parent, proc, lParam));
    if (!proc)
        return FALSE;
    std::vector<HWND> all;
    if (!parent || parent == kDesktop)
    {
        for (HWND h : g_topLevels)
            Subtree(h, all);
    }
    else
    {
        Subtree(parent, all);
        if (!all.empty())
            all.erase(all.begin());
    }
    for (HWND h : all)
        if (IsWindow(h) && !proc(h, lParam))
            break;
    return TRUE;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam)
{
    PW_ON_UI_THREAD(EnumWindows(proc, lParam));
    if (!proc)
        return FALSE;
    for (HWND h : std::vector<HWND>(g_topLevels))
        if (IsWindow(h) && !proc(h, lParam))
            break;
    return TRUE;
}

HWND FindWindow(LPCSTR className, LPCSTR windowName)
{
    PW_ON_UI_THREAD(FindWindow(className, windowName));
    auto cls = className ? FindClass(className) : nullptr;
    if (className && !cls)
        return nullptr;
    for (HWND h : g_topLevels)
    {
        auto w = Find(h);
        if (!w || w->destroying)
            continue;
        if (cls && w->cls != cls)
            continue;
        if (windowName && w->text != windowName)
            continue;
        return h;
    }
    return nullptr;
}

namespace
{
bool Contains(const Window& w, QPoint screen)
{
    const QPoint local = screen - WindowOriginOnScreen(w);
    const QRect r(0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top);
    if (!r.contains(local))
        return false;
    return !w.hasRegion || w.shape.contains(local);
}

HWND Deepest(const WindowPtr& w, QPoint screen)
{
    for (HWND c : w->children)
    {
        auto child = Find(c);
        if (!child || !child->visible || !Contains(*child, screen))
            continue;
        if (!child->enabled)
            return w->hwnd;
        return Deepest(child, screen);
    }
    return w->hwnd;
}
} // namespace

HWND WindowFromPoint(POINT p)
{
    PW_ON_UI_THREAD(WindowFromPoint(p));
    const QPoint screen(p.x, p.y);
    for (HWND h : g_topLevels)
    {
        auto w = Find(h);
        if (!w || !w->visible || w->minimized || w->destroying)
            continue;
        if ((w->exStyle & WS_EX_LAYERED) && (w->exStyle & WS_EX_TRANSPARENT))
            continue;
        if (Contains(*w, screen))
            return Deepest(w, screen);
    }
    return nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT p)
{
    PW_ON_UI_THREAD(ChildWindowFromPoint(parent, p));
    auto w = Get(parent);
    if (!w)
        return nullptr;
    const RECT c = ClientRectOf(*w);
    if (p.x < 0 || p.y < 0 || p.x >= c.right || p.y >= c.bottom)
        return nullptr;
    if (IsMirrored(*w))
        p.x = c.right - 1 - p.x;
    for (HWND h : w->children)
    {
        auto child = Find(h);
        if (child && p.x >= child->rect.left && p.x < child->rect.right && p.y >= child->rect.top &&
            p.y < child->rect.bottom)
            return h;
    }
    return parent;
}

// ---------------------------------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------------------------------

BOOL SetWindowText(HWND hwnd, LPCSTR text)
{
    PW_ON_UI_THREAD(SetWindowText(hwnd, text));
    if (!Get(hwnd))
        return FALSE;
    return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) ? TRUE : FALSE;
}

int GetWindowText(HWND hwnd, LPSTR buffer, int size)
{
    PW_ON_UI_THREAD(GetWindowText(hwnd, buffer, size));
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = '\0';
    if (!Get(hwnd))
        return 0;
    return static_cast<int>(
        SendMessage(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND hwnd)
{
    PW_ON_UI_THREAD(GetWindowTextLength(hwnd));
    if (!Get(hwnd))
        return 0;
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

// ---------------------------------------------------------------------------------------------------------
// Position, size and z-order
// ---------------------------------------------------------------------------------------------------------

namespace
{
void ApplyZOrder(Window& w, HWND after, UINT flags)
{
    if (w.parent)
    {
        auto& list = SiblingsOf(w);
        list.erase(std::remove(list.begin(), list.end(), w.hwnd), list.end());
        if (after == HWND_BOTTOM)
        {
            list.push_back(w.hwnd);
            if (w.widget)
                w.widget->lower();
        }
        else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST)
        {
            list.insert(list.begin(), w.hwnd);
            if (w.widget)
                RaiseWidget(w.widget);
        }
        else
        {
            auto it = std::find(list.begin(), list.end(), after);
            if (it == list.end())
                list.insert(list.begin(), w.hwnd);
            else
                list.insert(it + 1, w.hwnd);
            auto a = Find(after);
            if (w.widget && a && a->widget && a->widget->parentWidget() == w.widget->parentWidget())
                w.widget->stackUnder(a->widget);
        }
        return;
    }
    const bool wasTopmost = (w.exStyle & WS_EX_TOPMOST) != 0;
    if (after == HWND_TOPMOST)
        w.exStyle |= WS_EX_TOPMOST;
    else if (after == HWND_NOTOPMOST || after == HWND_BOTTOM)
        w.exStyle &= ~WS_EX_TOPMOST;
    if (wasTopmost != ((w.exStyle & WS_EX_TOPMOST) != 0))
        RefreshTopLevelFlags(w);
    if (after == HWND_BOTTOM)
    {
        g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), w.hwnd), g_topLevels.end());
        g_topLevels.push_back(w.hwnd);
        if (w.widget)
            w.widget->lower();
    }
    else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST)
    {
        MoveToFront(w.hwnd);
        if (w.widget && w.visible)
            RaiseWidget(w.widget);
    }
    else
    {
        g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), w.hwnd), g_topLevels.end());
        auto it = std::find(g_topLevels.begin(), g_topLevels.end(), after);
        g_topLevels.insert(it == g_topLevels.end() ? g_topLevels.begin() : it + 1, w.hwnd);
    }
    if (!(flags & SWP_NOOWNERZORDER))
        RaiseOwned(w.hwnd);
}
} // namespace

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    PW_ON_UI_THREAD(SetWindowPos(hwnd, insertAfter, x, y, cx, cy, flags));
    auto w = Get(hwnd);
    if (!w || w->destroyed)
        return FALSE;
    // The position is in the parent's client coordinates, which a mirrored parent counts from the right.
    auto parent = w->parent ? Find(w->parent) : nullptr;
    const RECT placed = RectInParent(*w);
    WINDOWPOS pos{hwnd, insertAfter, x, y, cx, cy, flags};
    if (flags & SWP_NOMOVE)
    {
        pos.x = placed.left;
        pos.y = placed.top;
    }
    if (flags & SWP_NOSIZE)
    {
        pos.cx = w->rect.right - w->rect.left;
        pos.cy = w->rect.bottom - w->rect.top;
    }
    if (!(flags & SWP_NOSENDCHANGING))
        SendLocal(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    if (w->destroyed)
        return FALSE;
    pos.cx = std::max(0, pos.cx);
    pos.cy = std::max(0, pos.cy);
    flags = pos.flags;

    const RECT old = w->rect;
    RECT target{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
    if (parent)
        target = MirroredInParent(*parent, target);
    const bool moved = pos.x != placed.left || pos.y != placed.top;
    const bool sized = pos.cx != old.right - old.left || pos.cy != old.bottom - old.top;
    if (!moved)
        pos.flags |= SWP_NOMOVE;
    if (!sized)
        pos.flags |= SWP_NOSIZE;

    if (!(flags & SWP_NOZORDER))
        ApplyZOrder(*w, pos.hwndInsertAfter, flags);
    // A child that keeps its place in a mirrored parent still moves on the screen when its width changes.
    if (moved || sized || target.left != old.left)
    {
        const LONG oldClientWidth = ClientRectOf(*w).right;
        w->rect = target;
        if (sized)
        {
            const RECT oldClient = ClientRectOf(*w);
            RecalcFrame(hwnd);
            if (w->destroyed)
                return FALSE;
            KeepChildrenAnchored(*w, oldClientWidth);
            if (IsMirrored(*w) && w->hasRegion)
            {
                // The region stays where it was from the right edge.
                w->shape.translate((w->rect.right - w->rect.left) - (old.right - old.left), 0);
                ApplyShape(*w);
            }
            ResizeBuffer(*w);
            const RECT client = ClientRectOf(*w);
            if (w->cls->style & (CS_HREDRAW | CS_VREDRAW))
                InvalidateClient(*w, QRect(0, 0, client.right, client.bottom), true);
            else
                InvalidateClient(*w,
                                 QRegion(0, 0, client.right, client.bottom) -
                                     QRegion(0, 0, oldClient.right, oldClient.bottom),
                                 true);
        }
        if (w->widget)
            w->widget->setGeometry(WidgetGeometry(*w));
    }
    if (flags & SWP_FRAMECHANGED)
    {
        const LONG oldClientWidth = ClientRectOf(*w).right;
        RecalcFrame(hwnd);
        if (w->destroyed)
            return FALSE;
        OweFramePaint(*w);
        KeepChildrenAnchored(*w, oldClientWidth);
        InvalidateClient(*w, QRect(0, 0, ClientRectOf(*w).right, ClientRectOf(*w).bottom), true);
        for (HWND c : w->children)
            if (auto child = Find(c); child && child->widget)
                child->widget->setGeometry(WidgetGeometry(*child));
    }
    const bool wasVisible = w->visible;
    if ((flags & SWP_SHOWWINDOW) && !w->visible)
    {
        w->visible = true;
        InvalidateClient(*w, QRect(0, 0, ClientRectOf(*w).right, ClientRectOf(*w).bottom), true);
        OweFramePaint(*w);
        ShowWidget(*w, !(flags & SWP_NOACTIVATE));
    }
    else if ((flags & SWP_HIDEWINDOW) && w->visible)
    {
        w->visible = false;
        ShowWidget(*w, false);
        pos.flags &= ~SWP_SHOWWINDOW;
    }
    if (!(flags & SWP_NOACTIVATE) && !w->parent && w->visible && !(w->exStyle & WS_EX_NOACTIVATE))
        SetActiveInternal(hwnd, false);
    else if (!w->visible && wasVisible && g_active == hwnd)
        SetActiveInternal(w->owner, false);
    if (moved || sized || (flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW | SWP_FRAMECHANGED)) ||
        !(flags & SWP_NOZORDER))
        SendLocal(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect)
{
    PW_ON_UI_THREAD(GetWindowRect(hwnd, rect));
    if (!rect)
        return FALSE;
    if (hwnd == kDesktop)
    {
        rect->left = rect->top = 0;
        rect->right = GetSystemMetrics(SM_CXSCREEN);
        rect->bottom = GetSystemMetrics(SM_CYSCREEN);
        return TRUE;
    }
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    const QPoint o = WindowOriginOnScreen(*w);
    *rect =
        RECT{o.x(), o.y(), o.x() + (w->rect.right - w->rect.left), o.y() + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect)
{
    PW_ON_UI_THREAD(GetClientRect(hwnd, rect));
    if (!rect)
        return FALSE;
    if (hwnd == kDesktop)
        return GetWindowRect(hwnd, rect);
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    *rect = ClientRectOf(*w);
    return TRUE;
}

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* placement)
{
    PW_ON_UI_THREAD(GetWindowPlacement(hwnd, placement));
    auto w = Get(hwnd);
    if (!w || !placement)
        return FALSE;
    placement->flags = 0;
    placement->showCmd = !w->visible    ? SW_HIDE
                         : w->minimized ? SW_SHOWMINIMIZED
                         : w->maximized ? SW_SHOWMAXIMIZED
                                        : SW_SHOWNORMAL;
    placement->ptMinPosition = POINT{-1, -1};
    placement->ptMaxPosition = POINT{-1, -1};
    placement->rcNormalPosition = w->minimized ? w->normalRect : RectInParent(*w);
    if (w->minimized)
        placement->ptMinPosition = POINT{w->rect.left, w->rect.top};
    return TRUE;
}

BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* placement)
{
    PW_ON_UI_THREAD(SetWindowPlacement(hwnd, placement));
    auto w = Get(hwnd);
    if (!placement || !w)
        return FALSE;
    const RECT& r = placement->rcNormalPosition;
    if (w->minimized)
        w->normalRect = r;
    else
        SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd, static_cast<int>(placement->showCmd));
    return TRUE;
}

BOOL BringWindowToTop(HWND hwnd)
{
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL, DWORD exStyle)
{
    if (!rect)
        return FALSE;
    Window probe;
    probe.style = style;
    probe.exStyle = exStyle;
    probe.parent = (style & WS_CHILD) ? reinterpret_cast<HWND>(1) : nullptr;
    const RECT in = ComputeInsets(probe);
    rect->left -= in.left;
    rect->top -= in.top;
    rect->right += in.right;
    rect->bottom += in.bottom;
    return TRUE;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu)
{
    return AdjustWindowRectEx(rect, style, menu, 0);
}

// ---------------------------------------------------------------------------------------------------------
// Visibility, enabling, focus, capture, activation
// ---------------------------------------------------------------------------------------------------------

BOOL ShowWindow(HWND hwnd, int cmd)
{
    PW_ON_UI_THREAD(ShowWindow(hwnd, cmd));
    auto w = Get(hwnd);
    if (!w || w->destroyed)
        return FALSE;
    const BOOL wasVisible = w->visible ? TRUE : FALSE;
    const bool show = cmd != SW_HIDE;
    if (show != w->visible)
        SendLocal(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (w->destroyed)
        return wasVisible;
    const bool minimize =
        cmd == SW_MINIMIZE || cmd == SW_SHOWMINIMIZED || cmd == SW_SHOWMINNOACTIVE || cmd == SW_FORCEMINIMIZE;
    const bool wasMinimized = w->minimized;
    if (!w->parent)
    {
        if (minimize)
            w->minimized = true;
        else if (cmd == SW_MAXIMIZE)
        {
            w->minimized = false;
            w->maximized = true;
        }
        else if (cmd == SW_RESTORE || cmd == SW_SHOWNORMAL)
        {
            w->minimized = false;
            w->maximized = false;
        }
    }
    w->visible = show;
    if (w->minimized != wasMinimized)
    {
        // As on the system's desktop, a minimised window sits far off screen, where it covers nothing even
        // without a window manager to iconify it, and windows that follow it (WM_MOVE) go along; the place
        // it comes back to is its normal position.
        RECT target = w->normalRect;
        if (w->minimized)
        {
            w->normalRect = w->rect;
            target = RECT{kIconicPosition, kIconicPosition, kIconicPosition + (w->rect.right - w->rect.left),
                          kIconicPosition + (w->rect.bottom - w->rect.top)};
        }
        SetWindowPos(hwnd, nullptr, target.left, target.top, target.right - target.left,
                     target.bottom - target.top, SWP_NOZORDER | SWP_NOACTIVATE);
        if (w->destroyed)
            return wasVisible;
    }
    const bool activate = show && !w->parent && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE &&
                          cmd != SW_SHOWMINNOACTIVE && cmd != SW_MINIMIZE && !(w->exStyle & WS_EX_NOACTIVATE);
    if (show && (!wasVisible || wasMinimized != w->minimized))
    {
        OweFramePaint(*w);
        InvalidateClient(*w, QRect(0, 0, ClientRectOf(*w).right, ClientRectOf(*w).bottom), true);
    }
    if (show && !w->parent && !wasVisible)
        MoveToFront(hwnd);
    ShowWidget(*w, activate);
    // Mapping the window again puts it on top of the stack: the windows it owns go back above it.
    if (show && !w->parent && !w->minimized && (!wasVisible || wasMinimized))
        RaiseOwned(hwnd);
    if (show != static_cast<bool>(wasVisible))
    {
        WINDOWPOS pos{hwnd,
                      nullptr,
                      w->rect.left,
                      w->rect.top,
                      w->rect.right - w->rect.left,
                      w->rect.bottom - w->rect.top,
                      SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW)};
        SendLocal(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    }
    if (w->destroyed)
        return wasVisible;
    if (activate)
        SetActiveInternal(hwnd, false);
    else if (!show && g_active == hwnd)
    {
        HWND next = w->owner;
        g_active = nullptr;
        if (auto o = Find(next); o && o->visible)
            SetActiveInternal(next, false);
        else
            SendLocal(hwnd, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
    }
    // A hidden control hands the focus to the dialog's next control, as a disabled one does.
    if (!show && g_focus && IsDescendantOrSelf(hwnd, g_focus) && w->parent && !FocusNextDialogControl(hwnd))
        SetFocus(w->parent);
    if (minimize != wasMinimized || cmd == SW_MAXIMIZE)
    {
        const RECT c = ClientRectOf(*w);
        SendLocal(hwnd, WM_SIZE,
                  w->minimized   ? SIZE_MINIMIZED
                  : w->maximized ? SIZE_MAXIMIZED
                                 : SIZE_RESTORED,
                  MAKELPARAM(c.right, c.bottom));
    }
    return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd)
{
    PW_ON_UI_THREAD(IsWindowVisible(hwnd));
    auto w = Find(hwnd);
    if (!w)
        return FALSE;
    for (auto p = w; p; p = Find(p->parent))
        if (!p->visible)
            return FALSE;
    return TRUE;
}

BOOL IsIconic(HWND hwnd)
{
    PW_ON_UI_THREAD(IsIconic(hwnd));
    auto w = Find(hwnd);
    return w && w->minimized;
}

BOOL IsZoomed(HWND hwnd)
{
    PW_ON_UI_THREAD(IsZoomed(hwnd));
    auto w = Find(hwnd);
    return w && w->maximized;
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    PW_ON_UI_THREAD(EnableWindow(hwnd, enable));
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    const BOOL wasDisabled = w->enabled ? FALSE : TRUE;
    const bool on = enable != FALSE;
    if (on == w->enabled)
        return wasDisabled;
    if (!on)
    {
        if (g_capture && IsDescendantOrSelf(hwnd, g_capture))
            ReleaseCapture();
        if (g_focus && IsDescendantOrSelf(hwnd, g_focus))
        {
            // The dialog's next control takes the focus; outside a dialog it goes nowhere.
            if (!w->parent || !FocusNextDialogControl(hwnd))
                SetFocus(nullptr);
        }
    }
    w->enabled = on;
    SendLocal(hwnd, WM_ENABLE, on ? TRUE : FALSE, 0);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd)
{
    PW_ON_UI_THREAD(IsWindowEnabled(hwnd));
    auto w = Find(hwnd);
    return w && w->enabled;
}

HWND SetFocus(HWND hwnd)
{
    PW_ON_UI_THREAD(SetFocus(hwnd));
    const HWND prev = g_focus;
    if (!hwnd)
    {
        g_focus = nullptr;
        if (auto p = Find(prev))
        {
            if (p->widget)
                p->widget->clearFocus();
            SendLocal(prev, WM_KILLFOCUS, 0, 0);
        }
        return prev;
    }
    auto w = Get(hwnd);
    if (!w || w->destroying)
        return nullptr;
    if (hwnd == prev)
        return prev;
    auto root = w;
    while (root->parent)
        root = Find(root->parent);
    if (root->hwnd != g_active && root->visible)
        SetActiveInternal(root->hwnd, false);
    const HWND before = g_focus;
    g_focus = hwnd;
    root->lastFocus = hwnd;
    if (before && before != hwnd && Find(before))
        SendLocal(before, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (g_focus != hwnd || w->destroyed)
        return prev;
    if (w->widget)
        w->widget->setFocus(Qt::OtherFocusReason);
    SendLocal(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(before), 0);
    return prev;
}

HWND GetFocus()
{
    PW_ON_UI_THREAD(GetFocus());
    return Find(g_focus) ? g_focus : nullptr;
}

HWND SetActiveWindow(HWND hwnd)
{
    PW_ON_UI_THREAD(SetActiveWindow(hwnd));
    const HWND prev = g_active;
    if (hwnd)
    {
        auto w = Get(hwnd);
        if (!w)
            return nullptr;
        while (w->parent)
            w = Find(w->parent);
        hwnd = w->hwnd;
    }
    SetActiveInternal(hwnd, false);
    return prev;
}

HWND GetActiveWindow()
{
    PW_ON_UI_THREAD(GetActiveWindow());
    return Find(g_active) ? g_active : nullptr;
}

// Every window lives on the user-interface thread, so that thread owns them all.
DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId)
{
    PW_ON_UI_THREAD(GetWindowThreadProcessId(hwnd, processId));
    if (!Find(hwnd))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId)
        *processId = GetCurrentProcessId();
    return GetCurrentThreadId();
}

BOOL GetGUIThreadInfo(DWORD threadId, LPGUITHREADINFO info)
{
    PW_ON_UI_THREAD(GetGUIThreadInfo(threadId, info));
    if (!info || info->cbSize != sizeof(GUITHREADINFO))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (threadId != 0 && threadId != GetCurrentThreadId())
    {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    const DWORD size = info->cbSize;
    *info = GUITHREADINFO{};
    info->cbSize = size;
    info->hwndActive = GetActiveWindow();
    info->hwndFocus = GetFocus();
    info->hwndCapture = GetCapture();
    return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd)
{
    return SetActiveWindow(hwnd) || GetActiveWindow() == hwnd;
}

HWND GetForegroundWindow()
{
    return GetActiveWindow();
}

HWND SetCapture(HWND hwnd)
{
    PW_ON_UI_THREAD(SetCapture(hwnd));
    auto w = Get(hwnd);
    if (!w)
        return nullptr;
    const HWND prev = g_capture;
    if (prev == hwnd)
        return prev;
    g_capture = hwnd;
    if (auto p = Find(prev); p && p->widget && p->widget->isVisible())
        p->widget->releaseMouse();
    if (w->widget && w->widget->isVisible())
        w->widget->grabMouse();
    if (prev && Find(prev))
        SendLocal(prev, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return prev;
}

BOOL ReleaseCapture()
{
    PW_ON_UI_THREAD(ReleaseCapture());
    const HWND prev = g_capture;
    if (!prev)
        return TRUE;
    g_capture = nullptr;
    auto p = Find(prev);
    if (p && p->widget && p->widget->isVisible())
        p->widget->releaseMouse();
    if (p)
        SendLocal(prev, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture()
{
    PW_ON_UI_THREAD(GetCapture());
    return Find(g_capture) ? g_capture : nullptr;
}

namespace platform::window
{
bool SetWindowOpaque(HWND hwnd)
{
    auto w = Find(hwnd);
    if (!w || w->destroyed)
        return false;
    w->opaque = true;
    if (w->widget)
        w->widget->setAttribute(Qt::WA_OpaquePaintEvent, true);
    return true;
}

QWidget* HostWidgetOf(HWND hwnd)
{
    auto w = Find(hwnd);
    return w ? w->widget : nullptr;
}

QImage ClientImage(HWND hwnd)
{
    auto w = Find(hwnd);
    if (!w)
        return QImage();
    const RECT c = ClientRectOf(*w);
    return w->buffer.copy(w->insets.left, w->insets.top, c.right, c.bottom);
}
} // namespace platform::window
