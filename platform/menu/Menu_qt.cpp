// Popup menus: the items live in a table of ours by handle; TrackPopupMenu turns them into Qt menus while
// they are shown, owner-drawn items painted by their owner through a memory DC.

#include "platform/menu/Menu.h"
#include "platform/win/Dib.h"
#include "platform/win/LastError.h"
#include "platform/window/Extras.h"
#include "platform/window/WinGdi.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QWidgetAction>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace
{
constexpr DWORD ERROR_POPUP_ALREADY_ACTIVE = 1446;
constexpr std::uintptr_t kFirstHandle = 0x30000;
constexpr UINT kStateBits = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT;

struct Item
{
    UINT type = MF_STRING; // MF_STRING, MF_SEPARATOR or MF_OWNERDRAW
    UINT state = 0;        // kStateBits
    UINT id = 0;
    HMENU submenu = nullptr; // owned
    std::string text;
    ULONG_PTR data = 0;
};

struct MenuObject
{
    bool popup = true;
    std::vector<Item> items;
};

struct Table
{
    std::recursive_mutex lock;
    std::uintptr_t next = kFirstHandle;
    std::map<std::uintptr_t, MenuObject> menus;
};

Table& Menus()
{
    static Table* table = new Table; // menus may be destroyed by static destructors
    return *table;
}

MenuObject* Lookup(HMENU menu)
{
    auto& menus = Menus().menus;
    auto it = menus.find(reinterpret_cast<std::uintptr_t>(menu));
    return it == menus.end() ? nullptr : &it->second;
}

struct Place
{
    MenuObject* menu = nullptr;
    std::size_t index = 0;
};

/// The item `item` names: a position of `menu`, or the first item with that command id in `menu` and,
/// depth first, its submenus.
std::optional<Place> Locate(HMENU menu, UINT item, UINT flags)
{
    MenuObject* m = Lookup(menu);
    if (!m)
        return std::nullopt;
    if (flags & MF_BYPOSITION)
    {
        if (item >= m->items.size())
            return std::nullopt;
        return Place{m, item};
    }
    for (std::size_t i = 0; i < m->items.size(); ++i)
    {
        const Item& it = m->items[i];
        if (!it.submenu && it.type != MF_SEPARATOR && it.id == item)
            return Place{m, i};
        if (it.submenu)
            if (auto inner = Locate(it.submenu, item, flags))
                return inner;
    }
    return std::nullopt;
}

HMENU NewMenu(bool popup)
{
    Table& t = Menus();
    std::lock_guard guard(t.lock);
    const std::uintptr_t handle = t.next++;
    t.menus[handle].popup = popup;
    return reinterpret_cast<HMENU>(handle);
}

void Destroy(HMENU menu)
{
    Table& t = Menus();
    auto it = t.menus.find(reinterpret_cast<std::uintptr_t>(menu));
    if (it == t.menus.end())
        return;
    std::vector<HMENU> submenus;
    for (const Item& item : it->second.items)
        if (item.submenu)
            submenus.push_back(item.submenu);
    t.menus.erase(it);
    for (HMENU sub : submenus)
        Destroy(sub);
}

Item FromFlags(UINT flags, UINT_PTR item, LPCSTR text)
{
    Item made;
    made.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE);
    if (flags & MF_SEPARATOR)
        made.type = MF_SEPARATOR;
    else if (flags & MF_OWNERDRAW)
    {
        made.type = MF_OWNERDRAW;
        made.data = reinterpret_cast<ULONG_PTR>(text);
    }
    else if (!(flags & MF_BITMAP) && text)
        made.text = text;
    if (flags & MF_POPUP)
    {
        made.submenu = reinterpret_cast<HMENU>(item);
        made.id = static_cast<UINT>(-1);
    }
    else
        made.id = static_cast<UINT>(item);
    return made;
}

/// Puts `item` before position `at` (past the end: at the end), or before the item with command id
/// `position`. A submenu must be another menu.
BOOL Insert(HMENU menu, std::size_t at, bool byPosition, UINT position, Item item)
{
    Table& t = Menus();
    std::lock_guard guard(t.lock);
    MenuObject* m = Lookup(menu);
    if (!m || (item.submenu && (item.submenu == menu || !Lookup(item.submenu))))
    {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (!byPosition)
    {
        auto place = Locate(menu, position, MF_BYCOMMAND);
        if (!place)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        m = place->menu;
        at = place->index;
    }
    at = std::min(at, m->items.size());
    m->items.insert(m->items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    return TRUE;
}

/// Whether `id` names an enabled command item of `menu` or its submenus.
bool IsChoosable(HMENU menu, UINT id)
{
    std::lock_guard guard(Menus().lock);
    auto place = Locate(menu, id, MF_BYCOMMAND);
    return place && !(place->menu->items[place->index].state & (MF_GRAYED | MF_DISABLED));
}

std::function<UINT(HMENU, QWidget*)> g_trackHook;
bool g_tracking = false;

class MenuKeyFilter;

/// One TrackPopupMenu: the Qt menus it shows and the choice made in them.
class Tracker
{
public:
    explicit Tracker(HWND owner);
    ~Tracker();

    /// Tells the owner the menu opens and fills `shown` from it, as it is now.
    void Open(QMenu* shown, HMENU menu, int index);
    void Choose(UINT id)
    {
        if (m_chosen)
            return;
        m_chosen = id;
        CloseAll();
    }
    void CloseAll()
    {
        for (auto it = m_menus.rbegin(); it != m_menus.rend(); ++it)
            if (it->first)
                it->first->hide();
    }
    bool Decided() const { return m_chosen.has_value(); }
    UINT Chosen() const { return m_chosen.value_or(0); }
    HWND Owner() const { return m_owner; }
    /// The menu's handle, when it is one of ours.
    HMENU HandleOf(QMenu* shown) const
    {
        for (const auto& [menu, handle] : m_menus)
            if (menu == shown)
                return handle;
        return nullptr;
    }
    bool OnMenuKey(QMenu* shown, QKeyEvent* e);

private:
    HWND m_owner;
    std::unique_ptr<MenuKeyFilter> m_keys;
    std::optional<UINT> m_chosen;
    std::vector<std::pair<QPointer<QMenu>, HMENU>> m_menus;
};

/// An owner-drawn item: its size comes from WM_MEASUREITEM and its picture from WM_DRAWITEM, drawn into a
/// memory DC of the item's size.
class OwnerDrawnItem : public QWidget
{
public:
    OwnerDrawnItem(Tracker& tracker, HMENU menu, const Item& item)
        : m_tracker(tracker), m_menu(menu), m_id(item.id), m_state(item.state), m_data(item.data)
    {
        MEASUREITEMSTRUCT mis{ODT_MENU, 0, m_id, 0, 0, m_data};
        SendMessage(m_tracker.Owner(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));
        setMinimumSize(static_cast<int>(std::clamp<UINT>(mis.itemWidth, 1, 4096)),
                       static_cast<int>(std::clamp<UINT>(mis.itemHeight, 1, 4096)));
        setMouseTracking(true);
        setAttribute(Qt::WA_Hover);
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::HoverEnter || e->type() == QEvent::HoverLeave)
            update();
        return QWidget::event(e);
    }

    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton)
            if (!(m_state & (MF_GRAYED | MF_DISABLED)))
                m_tracker.Choose(m_id);
    }

    void paintEvent(QPaintEvent*) override
    {
        const int w = width();
        const int h = height();
        BITMAPINFO bi = Dib32Info(w, -h);
        void* bits = nullptr;
        HBITMAP surface = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HDC dc = CreateCompatibleDC(nullptr);
        if (!surface || !bits || !dc)
        {
            if (surface)
                DeleteObject(surface);
            if (dc)
                DeleteDC(dc);
            return;
        }
        HGDIOBJ old = SelectObject(dc, surface);
        RECT r{0, 0, w, h};
        FillRect(dc, &r, GetSysColorBrush(COLOR_MENU));
        UINT state = 0;
        if (m_state & MF_GRAYED)
            state |= ODS_GRAYED;
        if (m_state & MF_DISABLED)
            state |= ODS_DISABLED;
        if (m_state & MF_CHECKED)
            state |= ODS_CHECKED;
        if (m_state & MF_DEFAULT)
            state |= ODS_DEFAULT;
        if (underMouse())
            state |= ODS_SELECTED;
        DRAWITEMSTRUCT dis{
            ODT_MENU, 0, m_id,  m_drawn ? ODA_SELECT : ODA_DRAWENTIRE, state, reinterpret_cast<HWND>(m_menu),
            dc,       r, m_data};
        m_drawn = true;
        SendMessage(m_tracker.Owner(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
        const QImage picture(static_cast<const uchar*>(bits), w, h, w * 4, QImage::Format_RGB32);
        QPainter(this).drawImage(0, 0, picture);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(surface);
    }

private:
    Tracker& m_tracker;
    HMENU m_menu;
    UINT m_id;
    UINT m_state;
    ULONG_PTR m_data;
    bool m_drawn = false;
};

/// Hands keys that name no item of a menu to its owner (WM_MENUCHAR), as owner-drawn items have no text
/// of their own to take a mnemonic from.
class MenuKeyFilter : public QObject
{
public:
    explicit MenuKeyFilter(Tracker& tracker) : m_tracker(tracker) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress)
            if (auto* shown = qobject_cast<QMenu*>(watched))
                return m_tracker.OnMenuKey(shown, static_cast<QKeyEvent*>(e));
        return false;
    }

private:
    Tracker& m_tracker;
};

Tracker::Tracker(HWND owner) : m_owner(owner), m_keys(std::make_unique<MenuKeyFilter>(*this)) {}

Tracker::~Tracker() = default;

void Tracker::Open(QMenu* shown, HMENU menu, int index)
{
    SendMessage(m_owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                MAKELPARAM(static_cast<WORD>(index), FALSE));
    shown->clear();
    auto known =
        std::find_if(m_menus.begin(), m_menus.end(), [&](const auto& p) { return p.first == shown; });
    if (known == m_menus.end())
    {
        m_menus.emplace_back(shown, menu);
        shown->installEventFilter(m_keys.get());
    }
    std::vector<Item> items;
    {
        std::lock_guard guard(Menus().lock);
        if (MenuObject* m = Lookup(menu))
            items = m->items;
    }
    for (std::size_t i = 0; i < items.size(); ++i)
    {
        const Item& item = items[i];
        QAction* action = nullptr;
        if (item.type == MF_SEPARATOR)
        {
            shown->addSeparator();
            continue;
        }
        if (item.type == MF_OWNERDRAW)
        {
            auto* widgetAction = new QWidgetAction(shown);
            widgetAction->setDefaultWidget(new OwnerDrawnItem(*this, menu, item));
            shown->addAction(widgetAction);
            action = widgetAction;
        }
        else
            action = shown->addAction(QString::fromUtf8(item.text.c_str()));
        action->setEnabled(!(item.state & (MF_GRAYED | MF_DISABLED)));
        if (item.state & MF_CHECKED)
        {
            action->setCheckable(true);
            action->setChecked(true);
        }
        if (item.state & MF_DEFAULT)
        {
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
        }
        if (item.submenu)
        {
            auto* sub = new QMenu(shown);
            const HMENU handle = item.submenu;
            const int at = static_cast<int>(i);
            QObject::connect(sub, &QMenu::aboutToShow, sub,
                             [this, sub, handle, at] { Open(sub, handle, at); });
            action->setMenu(sub);
            continue;
        }
        const UINT id = item.id;
        QObject::connect(action, &QAction::triggered, shown, [this, id] { Choose(id); });
    }
}

bool Tracker::OnMenuKey(QMenu* shown, QKeyEvent* e)
{
    const QString text = e->text();
    if (text.size() != 1 || !text[0].isPrint() || text[0].isSpace())
        return false;
    const QChar key = text[0].toLower();
    for (QAction* action : shown->actions())
    {
        const QString label = action->text();
        const int amp = label.indexOf('&');
        if (amp >= 0 && amp + 1 < label.size() && label[amp + 1].toLower() == key && action->isEnabled())
            return false; // the menu's own mnemonic
    }
    const HMENU menu = HandleOf(shown);
    if (!menu)
        return false;
    const LRESULT answer =
        SendMessage(m_owner, WM_MENUCHAR, MAKEWPARAM(static_cast<WORD>(key.unicode()), MF_POPUP),
                    reinterpret_cast<LPARAM>(menu));
    const UINT what = HIWORD(static_cast<DWORD_PTR>(answer));
    const int index = LOWORD(static_cast<DWORD_PTR>(answer));
    const QList<QAction*> actions = shown->actions();
    switch (what)
    {
    case MNC_CLOSE:
        CloseAll();
        return true;
    case MNC_EXECUTE:
    case MNC_SELECT:
        if (index >= actions.size() || actions[index]->isSeparator() || !actions[index]->isEnabled())
            return true;
        shown->setActiveAction(actions[index]);
        if (what == MNC_EXECUTE)
        {
            if (actions[index]->menu())
                actions[index]->menu()->popup(shown->actionGeometry(actions[index]).topRight() +
                                              shown->pos());
            else
                actions[index]->trigger();
        }
        return true;
    default:
        return false;
    }
}

QPoint Aligned(QPoint at, QSize size, UINT flags)
{
    if (flags & TPM_RIGHTALIGN)
        at.rx() -= size.width();
    else if (flags & TPM_CENTERALIGN)
        at.rx() -= size.width() / 2;
    if (flags & TPM_BOTTOMALIGN)
        at.ry() -= size.height();
    else if (flags & TPM_VCENTERALIGN)
        at.ry() -= size.height() / 2;
    return at;
}
} // namespace

HMENU CreatePopupMenu()
{
    return NewMenu(true);
}

HMENU CreateMenu()
{
    return NewMenu(false);
}

BOOL DestroyMenu(HMENU menu)
{
    Table& t = Menus();
    std::lock_guard guard(t.lock);
    if (!Lookup(menu))
    {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    Destroy(menu);
    return TRUE;
}

BOOL IsMenu(HMENU menu)
{
    std::lock_guard guard(Menus().lock);
    return Lookup(menu) ? TRUE : FALSE;
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR item, LPCSTR text)
{
    return Insert(menu, SIZE_MAX, true, 0, FromFlags(flags, item, text));
}

BOOL InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR item, LPCSTR text)
{
    const bool byPosition = (flags & MF_BYPOSITION) != 0;
    return Insert(menu, byPosition ? position : 0, byPosition, position, FromFlags(flags, item, text));
}

BOOL InsertMenuItemA(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFOA info)
{
    if (!info || info->cbSize < sizeof(MENUITEMINFOA) - sizeof(HBITMAP))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Item made;
    if (info->fMask & (MIIM_TYPE | MIIM_FTYPE))
        made.type = info->fType & MFT_SEPARATOR   ? MF_SEPARATOR
                    : info->fType & MFT_OWNERDRAW ? MF_OWNERDRAW
                                                  : 0;
    if ((info->fMask & (MIIM_TYPE | MIIM_STRING)) && made.type == MF_STRING && info->dwTypeData)
        made.text = info->dwTypeData;
    if ((info->fMask & MIIM_TYPE) && made.type == MF_OWNERDRAW)
        made.data = reinterpret_cast<ULONG_PTR>(info->dwTypeData);
    if (info->fMask & MIIM_DATA)
        made.data = info->dwItemData;
    if (info->fMask & MIIM_STATE)
        made.state = info->fState & kStateBits;
    if (info->fMask & MIIM_ID)
        made.id = info->wID;
    if (info->fMask & MIIM_SUBMENU)
        made.submenu = info->hSubMenu;
    const bool positional = byPosition != FALSE;
    return Insert(menu, positional ? item : 0, positional, item, std::move(made));
}

BOOL GetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOA info)
{
    std::lock_guard guard(Menus().lock);
    auto place = Locate(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
    if (!place || !info)
    {
        SetLastError(place ? ERROR_INVALID_PARAMETER : ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    const Item& it = place->menu->items[place->index];
    if (info->fMask & (MIIM_TYPE | MIIM_FTYPE))
        info->fType = it.type;
    if (info->fMask & MIIM_STATE)
        info->fState = it.state;
    if (info->fMask & MIIM_ID)
        info->wID = it.id;
    if (info->fMask & MIIM_SUBMENU)
        info->hSubMenu = it.submenu;
    if (info->fMask & MIIM_DATA)
        info->dwItemData = it.data;
    if (info->fMask & (MIIM_TYPE | MIIM_STRING))
    {
        if (info->dwTypeData && info->cch > 0)
            platform::CopyTruncated(info->dwTypeData, info->cch, it.text);
        info->cch = static_cast<UINT>(it.text.size());
    }
    return TRUE;
}

int GetMenuItemCount(HMENU menu)
{
    std::lock_guard guard(Menus().lock);
    MenuObject* m = Lookup(menu);
    if (!m)
    {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return -1;
    }
    return static_cast<int>(m->items.size());
}

UINT GetMenuItemID(HMENU menu, int position)
{
    std::lock_guard guard(Menus().lock);
    auto place = Locate(menu, static_cast<UINT>(position), MF_BYPOSITION);
    if (!place || position < 0 || place->menu->items[place->index].submenu)
        return static_cast<UINT>(-1);
    return place->menu->items[place->index].id;
}

HMENU GetSubMenu(HMENU menu, int position)
{
    std::lock_guard guard(Menus().lock);
    auto place = Locate(menu, static_cast<UINT>(position), MF_BYPOSITION);
    return place && position >= 0 ? place->menu->items[place->index].submenu : nullptr;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags)
{
    std::lock_guard guard(Menus().lock);
    auto place = Locate(menu, item, flags);
    if (!place)
        return static_cast<UINT>(-1);
    const Item& it = place->menu->items[place->index];
    UINT state = it.type | it.state;
    if (it.submenu)
    {
        const MenuObject* sub = Lookup(it.submenu);
        state |= MF_POPUP | (static_cast<UINT>(sub ? sub->items.size() : 0) << 8);
    }
    return state;
}

int GetMenuStringA(HMENU menu, UINT item, LPSTR buffer, int size, UINT flags)
{
    std::lock_guard guard(Menus().lock);
    auto place = Locate(menu, item, flags);
    if (!place)
        return 0;
    const std::string& text = place->menu->items[place->index].text;
    if (!buffer || size <= 0)
        return static_cast<int>(text.size());
    return static_cast<int>(platform::CopyTruncated(buffer, static_cast<std::size_t>(size), text));
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable)
{
    std::lock_guard guard(Menus().lock);
    auto place = Locate(menu, item, enable & MF_BYPOSITION);
    if (!place)
        return -1;
    Item& it = place->menu->items[place->index];
    const UINT previous = it.state & (MF_GRAYED | MF_DISABLED);
    it.state = (it.state & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    return static_cast<BOOL>(previous);
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT check)
{
    std::lock_guard guard(Menus().lock);
    auto place = Locate(menu, item, check & MF_BYPOSITION);
    if (!place)
        return static_cast<DWORD>(-1);
    Item& it = place->menu->items[place->index];
    const DWORD previous = it.state & MF_CHECKED;
    it.state = (it.state & ~MF_CHECKED) | (check & MF_CHECKED);
    return previous;
}

BOOL SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition)
{
    std::lock_guard guard(Menus().lock);
    MenuObject* m = Lookup(menu);
    if (!m)
    {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    std::optional<std::size_t> chosen;
    if (item != static_cast<UINT>(-1))
    {
        for (std::size_t i = 0; i < m->items.size() && !chosen; ++i)
            if (byPosition ? i == item : (!m->items[i].submenu && m->items[i].id == item))
                chosen = i;
        if (!chosen)
            return FALSE;
    }
    for (std::size_t i = 0; i < m->items.size(); ++i)
        m->items[i].state = (m->items[i].state & ~MF_DEFAULT) | (chosen == i ? MF_DEFAULT : 0);
    return TRUE;
}

UINT GetMenuDefaultItem(HMENU menu, UINT byPosition, UINT)
{
    std::lock_guard guard(Menus().lock);
    if (MenuObject* m = Lookup(menu))
        for (std::size_t i = 0; i < m->items.size(); ++i)
            if (m->items[i].state & MF_DEFAULT)
                return byPosition ? static_cast<UINT>(i) : m->items[i].id;
    return static_cast<UINT>(-1);
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*)
{
    return TrackPopupMenuEx(menu, flags, x, y, owner, nullptr);
}

BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS)
{
    if (!IsMenu(menu))
    {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (!IsWindow(owner))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!platform::window::IsUserInterfaceThread() || !QApplication::instance())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // One menu at a time: the owner may try to open another from a message the first one sent.
    if (g_tracking)
    {
        SetLastError(ERROR_POPUP_ALREADY_ACTIVE);
        return FALSE;
    }
    g_tracking = true;
    SendMessage(owner, WM_ENTERMENULOOP, TRUE, 0);
    SendMessage(owner, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    UINT chosen = 0;
    {
        // The Qt menus go before the tracker their items call.
        Tracker tracker(owner);
        QMenu shown;
        tracker.Open(&shown, menu, 0);
        const QPoint at = Aligned(QPoint(x, y), shown.sizeHint(), flags);
        if (auto hook = g_trackHook)
        {
            shown.popup(at);
            QCoreApplication::processEvents();
            const UINT picked = hook(menu, &shown);
            if (!tracker.Decided() && picked && IsChoosable(menu, picked))
                tracker.Choose(picked);
            tracker.CloseAll();
        }
        else
            shown.exec(at);
        chosen = tracker.Chosen();
    }
    SendMessage(owner, WM_EXITMENULOOP, TRUE, 0);
    g_tracking = false;
    if (flags & TPM_RETURNCMD)
        return static_cast<BOOL>(chosen);
    if (chosen && !(flags & TPM_NONOTIFY))
        PostMessage(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(chosen), 0), 0);
    return TRUE;
}

namespace platform::menu
{
void SetTrackHook(std::function<UINT(HMENU menu, QWidget* shown)> hook)
{
    g_trackHook = std::move(hook);
}
} // namespace platform::menu

// --- CMenu -----------------------------------------------------------------------------------------------

CMenu::~CMenu()
{
    if (!m_temporary)
        DestroyMenu();
}

CMenu* CMenu::FromHandle(HMENU menu)
{
    if (!menu)
        return nullptr;
    static std::mutex lock;
    static std::map<HMENU, std::unique_ptr<CMenu>> temporaries;
    std::lock_guard guard(lock);
    // A handle may name another menu once its menu is gone; drop what no longer lives.
    for (auto it = temporaries.begin(); it != temporaries.end();)
        it = ::IsMenu(it->first) ? std::next(it) : temporaries.erase(it);
    auto& slot = temporaries[menu];
    if (!slot)
    {
        slot = std::make_unique<CMenu>();
        slot->m_temporary = true;
        slot->m_hMenu = menu;
    }
    return slot.get();
}

BOOL CMenu::Attach(HMENU menu)
{
    if (m_hMenu || !menu)
        return FALSE;
    m_hMenu = menu;
    return TRUE;
}

HMENU CMenu::Detach()
{
    HMENU menu = m_hMenu;
    m_hMenu = nullptr;
    return menu;
}

BOOL CMenu::CreatePopupMenu()
{
    return !m_hMenu && Attach(::CreatePopupMenu());
}

BOOL CMenu::CreateMenu()
{
    return !m_hMenu && Attach(::CreateMenu());
}

BOOL CMenu::DestroyMenu()
{
    if (!m_hMenu)
        return FALSE;
    return ::DestroyMenu(Detach());
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR item, LPCSTR text)
{
    return ::AppendMenuA(m_hMenu, flags, item, text);
}

BOOL CMenu::InsertMenu(UINT position, UINT flags, UINT_PTR item, LPCSTR text)
{
    return ::InsertMenuA(m_hMenu, position, flags, item, text);
}

BOOL CMenu::InsertMenuItem(UINT item, LPMENUITEMINFO info, BOOL byPosition)
{
    return ::InsertMenuItemA(m_hMenu, item, byPosition, info);
}

UINT CMenu::GetMenuItemCount() const
{
    return static_cast<UINT>(::GetMenuItemCount(m_hMenu));
}

UINT CMenu::GetMenuItemID(int position) const
{
    return ::GetMenuItemID(m_hMenu, position);
}

UINT CMenu::GetMenuState(UINT item, UINT flags) const
{
    return ::GetMenuState(m_hMenu, item, flags);
}

int CMenu::GetMenuString(UINT item, CString& text, UINT flags) const
{
    const int length = ::GetMenuStringA(m_hMenu, item, nullptr, 0, flags);
    std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = ::GetMenuStringA(m_hMenu, item, buffer.data(), length + 1, flags);
    buffer.resize(static_cast<std::size_t>(copied));
    text = buffer.c_str();
    return copied;
}

CMenu* CMenu::GetSubMenu(int position) const
{
    return FromHandle(::GetSubMenu(m_hMenu, position));
}

UINT CMenu::EnableMenuItem(UINT item, UINT enable)
{
    return static_cast<UINT>(::EnableMenuItem(m_hMenu, item, enable));
}

UINT CMenu::CheckMenuItem(UINT item, UINT check)
{
    return ::CheckMenuItem(m_hMenu, item, check);
}

BOOL CMenu::SetDefaultItem(UINT item, BOOL byPosition)
{
    return ::SetMenuDefaultItem(m_hMenu, item, static_cast<UINT>(byPosition));
}

UINT CMenu::GetDefaultItem(UINT flags, BOOL byPosition) const
{
    return ::GetMenuDefaultItem(m_hMenu, static_cast<UINT>(byPosition), flags);
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT rect)
{
    return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, owner ? owner->GetSafeHwnd() : nullptr, rect);
}

BOOL CMenu::TrackPopupMenuEx(UINT flags, int x, int y, CWnd* owner, LPTPMPARAMS params)
{
    return ::TrackPopupMenuEx(m_hMenu, flags, x, y, owner ? owner->GetSafeHwnd() : nullptr, params);
}
