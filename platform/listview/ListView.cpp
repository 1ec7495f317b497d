#include "platform/listview/ListView.h"

#include "platform/listview/CustomDraw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <strings.h>
#include <vector>

namespace
{
constexpr int kDefaultColumnWidth = 100;
constexpr int kDragDistance = 4;
constexpr int kIconLineStep = 20;
constexpr int kMaxTextLength = 1024;

struct Item
{
    std::string text;
    bool textCallback = false;
    int image = 0;
    LPARAM param = 0;
    UINT state = 0;
    int indent = 0;
    std::vector<std::string> sub; // sub-item texts, index 0 = sub-item 1
};

struct Column
{
    std::string text;
    int width = kDefaultColumnWidth;
    int fmt = LVCFMT_LEFT;
};

struct ViewState
{
    std::vector<Item> items;
    std::vector<Column> columns;
    HIMAGELIST lists[3] = {nullptr, nullptr, nullptr};
    int spacingX = 0; // 0: derived from the image size
    int spacingY = 0;
    int originX = 0; // pixels
    int originY = 0; // pixels in the icon views, the top row in report and list views
    int mark = -1;
    int hot = -1;
    HFONT font = nullptr;
    int textHeight = 0;
    COLORREF back = CLR_DEFAULT;
    COLORREF text = CLR_DEFAULT;
    COLORREF textBack = CLR_DEFAULT;
    DWORD exStyle = 0;
    HWND tooltips = nullptr;
    bool redraw = true;
    int pressed = -1; // item under a button press, until a drag starts or the button goes up
    bool pressedRight = false;
    POINT pressPoint{0, 0};
    bool dragged = false;
    bool hovering = false;
};

DWORD Style(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
}

DWORD View(HWND hwnd)
{
    return Style(hwnd) & LVS_TYPEMASK;
}

bool RowView(HWND hwnd)
{
    return View(hwnd) == LVS_REPORT || View(hwnd) == LVS_LIST;
}

int Count(const ViewState& s)
{
    return static_cast<int>(s.items.size());
}

bool Valid(const ViewState& s, long long index)
{
    return index >= 0 && index < static_cast<long long>(s.items.size());
}

RECT Client(HWND hwnd)
{
    RECT r{};
    GetClientRect(hwnd, &r);
    return r;
}

int TextHeight(HWND hwnd, ViewState& s)
{
    if (s.textHeight > 0)
        return s.textHeight;
    s.textHeight = platform::window::TextLineHeight(hwnd, s.font ? s.font : GetStockObject(DEFAULT_GUI_FONT));
    return s.textHeight;
}

SIZE ImageSize(const ViewState& s, int which)
{
    int cx = 0;
    int cy = 0;
    if (s.lists[which] && ImageList_GetIconSize(s.lists[which], &cx, &cy))
        return SIZE{cx, cy};
    return which == LVSIL_NORMAL ? SIZE{32, 32} : SIZE{0, 0};
}

int RowHeight(HWND hwnd, ViewState& s)
{
    return std::max<int>(TextHeight(hwnd, s), static_cast<int>(ImageSize(s, LVSIL_SMALL).cy)) + 2;
}

/// The cell of one item in the icon views.
SIZE Spacing(HWND hwnd, ViewState& s)
{
    if (View(hwnd) == LVS_SMALLICON)
        return SIZE{static_cast<LONG>(ImageSize(s, LVSIL_SMALL).cx + 100), RowHeight(hwnd, s)};
    if (s.spacingX > 0 && s.spacingY > 0)
        return SIZE{s.spacingX, s.spacingY};
    const SIZE image = ImageSize(s, LVSIL_NORMAL);
    return SIZE{std::max<LONG>(image.cx + 16, 76), image.cy + 2 * TextHeight(hwnd, s) + 10};
}

int Columns(HWND hwnd, ViewState& s)
{
    const RECT c = Client(hwnd);
    return std::max<int>(1, static_cast<int>((c.right - c.left) / std::max<LONG>(Spacing(hwnd, s).cx, 1)));
}

int TotalWidth(HWND hwnd, const ViewState& s)
{
    if (s.columns.empty() || View(hwnd) == LVS_LIST)
        return Client(hwnd).right;
    return std::accumulate(s.columns.begin(), s.columns.end(), 0,
                           [](int sum, const Column& c) { return sum + std::max(c.width, 0); });
}

int RowsPerPage(HWND hwnd, ViewState& s)
{
    return std::max(1, static_cast<int>(Client(hwnd).bottom / RowHeight(hwnd, s)));
}

SIZE ContentSize(HWND hwnd, ViewState& s, int count, int width)
{
    if (RowView(hwnd))
        return SIZE{TotalWidth(hwnd, s), count * RowHeight(hwnd, s)};
    const SIZE cell = Spacing(hwnd, s);
    const int cols = std::max<int>(1, width / std::max<LONG>(cell.cx, 1));
    const int rows = (count + cols - 1) / cols;
    return SIZE{std::min(count, cols) * cell.cx, rows * cell.cy};
}

void UpdateScroll(HWND hwnd, ViewState& s)
{
    const RECT c = Client(hwnd);
    const SIZE content = ContentSize(hwnd, s, Count(s), c.right);
    SCROLLINFO h{sizeof(SCROLLINFO),         SIF_ALL, 0, std::max<int>(content.cx - 1, 0),
                 static_cast<UINT>(c.right), 0,       0};
    s.originX = std::clamp<int>(s.originX, 0, std::max<int>(content.cx - c.right, 0));
    h.nPos = s.originX;
    SCROLLINFO v{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    if (RowView(hwnd))
    {
        const int page = RowsPerPage(hwnd, s);
        s.originY = std::clamp(s.originY, 0, std::max(Count(s) - page, 0));
        v.nMax = std::max(Count(s) - 1, 0);
        v.nPage = static_cast<UINT>(page);
    }
    else
    {
        s.originY = std::clamp<int>(s.originY, 0, std::max<int>(content.cy - c.bottom, 0));
        v.nMax = std::max<int>(content.cy - 1, 0);
        v.nPage = static_cast<UINT>(c.bottom);
    }
    v.nPos = s.originY;
    SetScrollInfo(hwnd, SB_HORZ, &h, s.redraw);
    SetScrollInfo(hwnd, SB_VERT, &v, s.redraw);
}

void Changed(HWND hwnd, ViewState& s)
{
    UpdateScroll(hwnd, s);
    if (s.redraw)
        InvalidateRect(hwnd, nullptr, TRUE);
}

/// The rectangles of one item: bounds, icon and label.
bool ItemRects(HWND hwnd, ViewState& s, int index, RECT& bounds, RECT& icon, RECT& label)
{
    if (!Valid(s, index))
        return false;
    if (RowView(hwnd))
    {
        const int h = RowHeight(hwnd, s);
        const int y = (index - s.originY) * h;
        const int x = -s.originX;
        bounds = RECT{x, y, x + TotalWidth(hwnd, s), y + h};
        const SIZE small = ImageSize(s, LVSIL_SMALL);
        icon = RECT{x, y, x + (small.cx ? small.cx + 2 : 0), y + h};
        const int first = s.columns.empty() || View(hwnd) == LVS_LIST ? bounds.right : x + s.columns[0].width;
        label = RECT{icon.right, y, std::max<int>(first, icon.right), y + h};
        return true;
    }
    const SIZE cell = Spacing(hwnd, s);
    const int cols = Columns(hwnd, s);
    const int x = (index % cols) * cell.cx - s.originX;
    const int y = (index / cols) * cell.cy - s.originY;
    bounds = RECT{x, y, x + cell.cx, y + cell.cy};
    if (View(hwnd) == LVS_SMALLICON)
    {
        const SIZE small = ImageSize(s, LVSIL_SMALL);
        icon = RECT{x, y, x + small.cx + 2, y + cell.cy};
        label = RECT{icon.right, y, bounds.right, bounds.bottom};
        return true;
    }
    const SIZE image = ImageSize(s, LVSIL_NORMAL);
    icon = RECT{x, y, x + cell.cx, y + image.cy + 4};
    label = RECT{x, icon.bottom, x + cell.cx, bounds.bottom};
    return true;
}

LRESULT Notify(HWND hwnd, NMHDR& header, UINT code)
{
    return platform::window::NotifyParent(hwnd, header, code);
}

LRESULT NotifyItem(HWND hwnd, UINT code, int index, LPARAM param, POINT at = POINT{0, 0}, UINT newState = 0,
                   UINT oldState = 0, UINT changed = 0)
{
    NMLISTVIEW nm{};
    nm.iItem = index;
    nm.uNewState = newState;
    nm.uOldState = oldState;
    nm.uChanged = changed;
    nm.ptAction = at;
    nm.lParam = param;
    return Notify(hwnd, nm.hdr, code);
}

LRESULT NotifyActivate(HWND hwnd, UINT code, int index, POINT at, UINT keys)
{
    NMITEMACTIVATE nm{};
    nm.iItem = index;
    nm.ptAction = at;
    nm.uKeyFlags = keys;
    return Notify(hwnd, nm.hdr, code);
}

/// The item's text, asking the parent for it when the item holds a callback.
std::string TextOf(HWND hwnd, ViewState& s, int index, int subItem)
{
    if (!Valid(s, index))
        return {};
    const Item& item = s.items[static_cast<size_t>(index)];
    if (subItem > 0)
        return static_cast<size_t>(subItem) <= item.sub.size() ? item.sub[static_cast<size_t>(subItem) - 1]
                                                               : std::string();
    if (!item.textCallback)
        return item.text;
    char buffer[kMaxTextLength + 1] = {};
    NMLVDISPINFOA info{};
    info.item.mask = LVIF_TEXT;
    info.item.iItem = index;
    info.item.pszText = buffer;
    info.item.cchTextMax = kMaxTextLength;
    info.item.lParam = item.param;
    Notify(hwnd, info.hdr, LVN_GETDISPINFOA);
    std::string text;
    if (info.item.pszText && info.item.pszText != LPSTR_TEXTCALLBACKA)
        text.assign(info.item.pszText, strnlen(info.item.pszText, kMaxTextLength));
    if ((info.item.mask & LVIF_DI_SETITEM) && Valid(s, index))
    {
        s.items[static_cast<size_t>(index)].text = text;
        s.items[static_cast<size_t>(index)].textCallback = false;
    }
    return text;
}

int ImageOf(HWND hwnd, ViewState& s, int index)
{
    if (!Valid(s, index))
        return I_IMAGENONE;
    const Item& item = s.items[static_cast<size_t>(index)];
    if (item.image != I_IMAGECALLBACK)
        return item.image;
    NMLVDISPINFOA info{};
    info.item.mask = LVIF_IMAGE;
    info.item.iItem = index;
    info.item.iImage = I_IMAGECALLBACK;
    info.item.lParam = item.param;
    Notify(hwnd, info.hdr, LVN_GETDISPINFOA);
    if ((info.item.mask & LVIF_DI_SETITEM) && Valid(s, index))
        s.items[static_cast<size_t>(index)].image = info.item.iImage;
    return info.item.iImage;
}

void InvalidateItem(HWND hwnd, ViewState& s, int index)
{
    RECT bounds{};
    RECT icon{};
    RECT label{};
    if (s.redraw && ItemRects(hwnd, s, index, bounds, icon, label))
        InvalidateRect(hwnd, &bounds, TRUE);
}

/// Changes the state bits of `mask` of one item, with LVN_ITEMCHANGING (which may veto) and
/// LVN_ITEMCHANGED. The focus stays on one item and LVS_SINGLESEL keeps one selection.
bool SetState(HWND hwnd, ViewState& s, int index, UINT state, UINT mask)
{
    if (!Valid(s, index))
        return false;
    const UINT old = s.items[static_cast<size_t>(index)].state;
    const UINT next = (old & ~mask) | (state & mask);
    if (next == old)
        return true;
    const LPARAM param = s.items[static_cast<size_t>(index)].param;
    if (NotifyItem(hwnd, LVN_ITEMCHANGING, index, param, POINT{0, 0}, next, old, LVIF_STATE))
        return false;
    if (next & ~old & LVIS_FOCUSED)
        for (int i = 0; i < Count(s); ++i)
            if (i != index && (s.items[static_cast<size_t>(i)].state & LVIS_FOCUSED))
                SetState(hwnd, s, i, 0, LVIS_FOCUSED);
    if ((next & ~old & LVIS_SELECTED) && (Style(hwnd) & LVS_SINGLESEL))
        for (int i = 0; i < Count(s); ++i)
            if (i != index && (s.items[static_cast<size_t>(i)].state & LVIS_SELECTED))
                SetState(hwnd, s, i, 0, LVIS_SELECTED);
    if (!Valid(s, index))
        return false;
    s.items[static_cast<size_t>(index)].state = next;
    InvalidateItem(hwnd, s, index);
    NotifyItem(hwnd, LVN_ITEMCHANGED, index, param, POINT{0, 0}, next, old, LVIF_STATE);
    return true;
}

void SetStateAll(HWND hwnd, ViewState& s, UINT state, UINT mask)
{
    for (int i = 0; i < Count(s); ++i)
        SetState(hwnd, s, i, state, mask);
}

int Focused(const ViewState& s)
{
    for (int i = 0; i < Count(s); ++i)
        if (s.items[static_cast<size_t>(i)].state & LVIS_FOCUSED)
            return i;
    return -1;
}

void ScrollTo(HWND hwnd, ViewState& s, int x, int y)
{
    const int oldX = s.originX;
    const int oldY = s.originY;
    s.originX = x;
    s.originY = y;
    UpdateScroll(hwnd, s);
    if ((oldX != s.originX || oldY != s.originY) && s.redraw)
        InvalidateRect(hwnd, nullptr, TRUE);
}

bool EnsureVisible(HWND hwnd, ViewState& s, int index, bool partialOK)
{
    if (!Valid(s, index))
        return false;
    if (RowView(hwnd))
    {
        const int page = RowsPerPage(hwnd, s);
        int top = s.originY;
        if (index < top)
            top = index;
        else if (index >= top + page)
            top = index - page + 1;
        ScrollTo(hwnd, s, s.originX, top);
        return true;
    }
    RECT bounds{};
    RECT icon{};
    RECT label{};
    ItemRects(hwnd, s, index, bounds, icon, label);
    const RECT c = Client(hwnd);
    const bool partly = bounds.bottom > c.top && bounds.top < c.bottom;
    if (partialOK && partly)
        return true;
    int y = s.originY;
    if (bounds.top < c.top)
        y += bounds.top - c.top;
    else if (bounds.bottom > c.bottom)
        y += std::min<int>(bounds.bottom - c.bottom, bounds.top - c.top);
    ScrollTo(hwnd, s, s.originX, y);
    return true;
}

/// The item under a client point, with LVHT_ flags.
int HitTest(HWND hwnd, ViewState& s, POINT p, UINT& flags, int* subItem = nullptr)
{
    flags = LVHT_NOWHERE;
    if (subItem)
        *subItem = 0;
    const RECT c = Client(hwnd);
    if (p.y < c.top)
        flags = LVHT_ABOVE;
    else if (p.y >= c.bottom)
        flags = LVHT_BELOW;
    else if (p.x < c.left)
        flags = LVHT_TOLEFT;
    else if (p.x >= c.right)
        flags = LVHT_TORIGHT;
    if (flags != LVHT_NOWHERE)
        return -1;
    int index = -1;
    if (RowView(hwnd))
    {
        if (p.y >= 0)
            index = s.originY + p.y / RowHeight(hwnd, s);
    }
    else
    {
        const SIZE cell = Spacing(hwnd, s);
        const int x = p.x + s.originX;
        const int y = p.y + s.originY;
        const int col = x / std::max<LONG>(cell.cx, 1);
        if (x >= 0 && y >= 0 && col < Columns(hwnd, s))
            index = (y / std::max<LONG>(cell.cy, 1)) * Columns(hwnd, s) + col;
    }
    RECT bounds{};
    RECT icon{};
    RECT label{};
    if (!ItemRects(hwnd, s, index, bounds, icon, label) || !PtInRect(&bounds, p))
        return -1;
    if (PtInRect(&icon, p))
        flags = LVHT_ONITEMICON;
    else if (PtInRect(&label, p))
        flags = LVHT_ONITEMLABEL;
    else if (RowView(hwnd) && (s.exStyle & LVS_EX_FULLROWSELECT))
        flags = LVHT_ONITEMLABEL;
    else if (RowView(hwnd))
        flags = LVHT_ONITEMLABEL; // sub-item columns of the row
    else
        return -1;
    if (subItem && View(hwnd) == LVS_REPORT)
    {
        int x = -s.originX;
        for (size_t col = 0; col < s.columns.size(); ++col)
        {
            if (p.x >= x && p.x < x + s.columns[col].width)
                *subItem = static_cast<int>(col);
            x += s.columns[col].width;
        }
    }
    return index;
}

int Insert(HWND hwnd, ViewState& s, const LVITEMA* in)
{
    if (!in || in->iSubItem != 0 || in->iItem < 0)
        return -1;
    Item item;
    if (in->mask & LVIF_TEXT)
    {
        if (in->pszText == LPSTR_TEXTCALLBACKA)
            item.textCallback = true;
        else if (in->pszText)
            item.text = in->pszText;
    }
    if (in->mask & LVIF_IMAGE)
        item.image = in->iImage;
    if (in->mask & LVIF_PARAM)
        item.param = in->lParam;
    if (in->mask & LVIF_STATE)
        item.state = in->state & in->stateMask;
    if (in->mask & LVIF_INDENT)
        item.indent = in->iIndent;
    int index = std::min(in->iItem, Count(s));
    const DWORD sort = Style(hwnd) & (LVS_SORTASCENDING | LVS_SORTDESCENDING);
    if (sort && !item.textCallback)
    {
        index = 0;
        while (index < Count(s))
        {
            const int order = strcasecmp(s.items[static_cast<size_t>(index)].text.c_str(), item.text.c_str());
            if ((sort & LVS_SORTASCENDING) ? order > 0 : order < 0)
                break;
            ++index;
        }
    }
    s.items.insert(s.items.begin() + index, std::move(item));
    if (s.mark >= index)
        ++s.mark;
    if (s.hot >= index)
        ++s.hot;
    Changed(hwnd, s);
    NotifyItem(hwnd, LVN_INSERTITEM, index, Valid(s, index) ? s.items[static_cast<size_t>(index)].param : 0);
    return index;
}

/// Before an item is deleted: a selected or focused item loses that first, as the owner is told, so that what
/// the owner shows of the selection (buttons enabled for it, say) follows the deletion.
void LoseSelectionBeforeDeletion(HWND hwnd, ViewState& s, int index)
{
    const UINT old = s.items[static_cast<size_t>(index)].state;
    if (!(old & (LVIS_SELECTED | LVIS_FOCUSED)))
        return;
    const UINT next = old & ~(LVIS_SELECTED | LVIS_FOCUSED);
    s.items[static_cast<size_t>(index)].state = next;
    NotifyItem(hwnd, LVN_ITEMCHANGED, index, s.items[static_cast<size_t>(index)].param, POINT{0, 0}, next,
               old, LVIF_STATE);
}

bool Delete(HWND hwnd, ViewState& s, long long index)
{
    if (!Valid(s, index))
        return false;
    LoseSelectionBeforeDeletion(hwnd, s, static_cast<int>(index));
    if (!Valid(s, index))
        return false;
    NotifyItem(hwnd, LVN_DELETEITEM, static_cast<int>(index), s.items[static_cast<size_t>(index)].param);
    if (!Valid(s, index))
        return false;
    s.items.erase(s.items.begin() + static_cast<ptrdiff_t>(index));
    for (int* at : {&s.mark, &s.hot, &s.pressed})
    {
        if (*at == index)
            *at = -1;
        else if (*at > index)
            --*at;
    }
    Changed(hwnd, s);
    return true;
}

void DeleteAll(HWND hwnd, ViewState& s)
{
    if (s.items.empty())
        return;
    // A parent that answers TRUE does not want one LVN_DELETEITEM per item.
    if (!NotifyItem(hwnd, LVN_DELETEALLITEMS, -1, 0))
        for (int i = 0; i < Count(s); ++i)
            NotifyItem(hwnd, LVN_DELETEITEM, i, s.items[static_cast<size_t>(i)].param);
    s.items.clear();
    s.mark = s.hot = s.pressed = -1;
    s.originX = s.originY = 0;
    Changed(hwnd, s);
}

bool GetItem(HWND hwnd, ViewState& s, LVITEMA* out)
{
    if (!out || !Valid(s, out->iItem) || out->iSubItem < 0)
        return false;
    const int index = out->iItem;
    if (out->mask & LVIF_TEXT)
    {
        const std::string text = TextOf(hwnd, s, index, out->iSubItem);
        platform::window::CopyTextOut(text.data(), text.size(), out->pszText, out->cchTextMax);
    }
    if (!Valid(s, index))
        return false;
    if (out->iSubItem == 0)
    {
        if (out->mask & LVIF_IMAGE)
            out->iImage = ImageOf(hwnd, s, index);
        if (!Valid(s, index))
            return false;
        const Item& item = s.items[static_cast<size_t>(index)];
        if (out->mask & LVIF_PARAM)
            out->lParam = item.param;
        if (out->mask & LVIF_STATE)
            out->state = item.state & out->stateMask;
        if (out->mask & LVIF_INDENT)
            out->iIndent = item.indent;
    }
    return true;
}

bool SetText(HWND hwnd, ViewState& s, int index, int subItem, LPCSTR text)
{
    if (!Valid(s, index) || subItem < 0)
        return false;
    Item& item = s.items[static_cast<size_t>(index)];
    if (subItem == 0)
    {
        item.textCallback = text == LPSTR_TEXTCALLBACKA;
        item.text = text && !item.textCallback ? text : "";
    }
    else
    {
        if (item.sub.size() < static_cast<size_t>(subItem))
            item.sub.resize(static_cast<size_t>(subItem));
        item.sub[static_cast<size_t>(subItem) - 1] = text && text != LPSTR_TEXTCALLBACKA ? text : "";
    }
    InvalidateItem(hwnd, s, index);
    return true;
}

bool SetItem(HWND hwnd, ViewState& s, const LVITEMA* in)
{
    if (!in || !Valid(s, in->iItem) || in->iSubItem < 0)
        return false;
    const int index = in->iItem;
    if (in->mask & LVIF_TEXT)
        SetText(hwnd, s, index, in->iSubItem, in->pszText);
    if (in->iSubItem > 0 || !Valid(s, index))
        return Valid(s, index);
    Item& item = s.items[static_cast<size_t>(index)];
    if (in->mask & LVIF_IMAGE)
        item.image = in->iImage;
    if (in->mask & LVIF_PARAM)
        item.param = in->lParam;
    if (in->mask & LVIF_INDENT)
        item.indent = in->iIndent;
    InvalidateItem(hwnd, s, index);
    if (in->mask & LVIF_STATE)
        return SetState(hwnd, s, index, in->state, in->stateMask);
    return true;
}

int NextItem(HWND hwnd, ViewState& s, int start, UINT flags)
{
    const UINT want = flags & (LVNI_FOCUSED | LVNI_SELECTED | LVNI_CUT | LVNI_DROPHILITED);
    auto matches = [&](int i)
    { return Valid(s, i) && (s.items[static_cast<size_t>(i)].state & want) == want; };
    const UINT direction = flags & (LVNI_ABOVE | LVNI_BELOW | LVNI_TOLEFT | LVNI_TORIGHT);
    if (direction)
    {
        const int step = RowView(hwnd) ? 1 : Columns(hwnd, s);
        int delta = 0;
        if (direction & LVNI_ABOVE)
            delta = -step;
        else if (direction & LVNI_BELOW)
            delta = step;
        else if (direction & LVNI_TOLEFT)
            delta = RowView(hwnd) ? 0 : -1;
        else
            delta = RowView(hwnd) ? 0 : 1;
        if (delta == 0)
            return -1;
        for (int i = start + delta; Valid(s, i); i += delta)
            if (matches(i))
                return i;
        return -1;
    }
    for (int i = std::max(start + 1, 0); i < Count(s); ++i)
        if (matches(i))
            return i;
    return -1;
}

void Sort(HWND hwnd, ViewState& s, PFNLVCOMPARE compare, LPARAM data)
{
    if (!compare)
        return;
    // The callback may talk to the control, so the items are sorted as a copy.
    std::vector<Item> items = s.items;
    std::stable_sort(items.begin(), items.end(),
                     [&](const Item& a, const Item& b) { return compare(a.param, b.param, data) < 0; });
    s.items = std::move(items);
    s.mark = s.hot = s.pressed = -1;
    Changed(hwnd, s);
}

int Find(ViewState& s, HWND hwnd, int start, const LVFINDINFOA* info)
{
    if (!info || s.items.empty())
        return -1;
    const int n = Count(s);
    const int first = std::max(start + 1, 0);
    const int span = (info->flags & LVFI_WRAP) ? n : n - first;
    for (int k = 0; k < span; ++k)
    {
        const int i = (first + k) % n;
        if (info->flags & LVFI_PARAM)
        {
            if (s.items[static_cast<size_t>(i)].param == info->lParam)
                return i;
            continue;
        }
        if (!info->psz)
            return -1;
        const std::string text = TextOf(hwnd, s, i, 0);
        const bool hit = (info->flags & LVFI_PARTIAL)
                             ? strncasecmp(text.c_str(), info->psz, std::strlen(info->psz)) == 0
                             : strcasecmp(text.c_str(), info->psz) == 0;
        if (hit)
            return i;
    }
    return -1;
}

COLORREF Or(COLORREF color, int sys)
{
    return color == CLR_DEFAULT ? GetSysColor(sys) : color;
}

void DrawDefault(HWND hwnd, ViewState& s, HDC dc, int index, const NMLVCUSTOMDRAW& cd)
{
    RECT bounds{};
    RECT icon{};
    RECT label{};
    if (!ItemRects(hwnd, s, index, bounds, icon, label))
        return;
    const bool focus = GetFocus() == hwnd;
    const UINT state = s.items[static_cast<size_t>(index)].state;
    const bool shown = (state & LVIS_SELECTED) && (focus || (Style(hwnd) & LVS_SHOWSELALWAYS));
    const int which = View(hwnd) == LVS_ICON ? LVSIL_NORMAL : LVSIL_SMALL;
    const int image = ImageOf(hwnd, s, index);
    if (s.lists[which] && image >= 0)
    {
        const SIZE size = ImageSize(s, which);
        const int x = icon.left + std::max<int>(0, (icon.right - icon.left - size.cx) / 2);
        const int y = icon.top + std::max<int>(0, (icon.bottom - icon.top - size.cy) / 2);
        // Cut items are drawn faded towards the background; overlays (links, shares) go on top.
        const bool cut = (state & LVIS_CUT) != 0;
        const UINT style =
            (cut ? ILD_BLEND50 : (shown && focus ? ILD_SELECTED : ILD_NORMAL)) | (state & LVIS_OVERLAYMASK);
        ImageList_DrawEx(s.lists[which], image, dc, x, y, 0, 0, CLR_NONE,
                         cut ? Or(s.back == CLR_NONE ? CLR_DEFAULT : s.back, COLOR_WINDOW) : CLR_DEFAULT,
                         style);
    }
    const std::string text = TextOf(hwnd, s, index, 0);
    const UINT format = View(hwnd) == LVS_ICON
                            ? DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX
                            : DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX;
    HGDIOBJ oldFont = SelectObject(dc, s.font ? s.font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    if (shown)
    {
        HBRUSH brush = CreateSolidBrush(GetSysColor(focus ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
        FillRect(dc, &label, brush);
        DeleteObject(brush);
        SetTextColor(dc, GetSysColor(focus ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    }
    else
    {
        if (cd.clrTextBk != CLR_NONE && cd.clrTextBk != CLR_DEFAULT)
        {
            HBRUSH brush = CreateSolidBrush(cd.clrTextBk);
            FillRect(dc, &label, brush);
            DeleteObject(brush);
        }
        SetTextColor(dc, cd.clrText);
    }
    RECT textRect = label;
    InflateRect(&textRect, -2, 0);
    DrawText(dc, text.c_str(), static_cast<int>(text.size()), &textRect, format);
    if (View(hwnd) == LVS_REPORT)
    {
        int x = label.right;
        for (size_t col = 1; col < s.columns.size(); ++col)
        {
            const std::string sub = TextOf(hwnd, s, index, static_cast<int>(col));
            RECT r{x + 2, bounds.top, x + s.columns[col].width - 2, bounds.bottom};
            const UINT align = s.columns[col].fmt == LVCFMT_RIGHT    ? DT_RIGHT
                               : s.columns[col].fmt == LVCFMT_CENTER ? DT_CENTER
                                                                     : DT_LEFT;
            DrawText(dc, sub.c_str(), static_cast<int>(sub.size()), &r,
                     align | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
            x += s.columns[col].width;
        }
    }
    if ((state & LVIS_FOCUSED) && focus)
        DrawFocusRect(dc, &label);
    SelectObject(dc, oldFont);
}

void Paint(HWND hwnd, ViewState& s)
{
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    const RECT c = Client(hwnd);
    if (s.back != CLR_NONE)
    {
        HBRUSH brush = CreateSolidBrush(Or(s.back, COLOR_WINDOW));
        FillRect(dc, &c, brush);
        DeleteObject(brush);
    }
    // Custom drawing gets the DC as the control would draw with it: its font and text colours.
    HGDIOBJ oldFont = SelectObject(dc, s.font ? s.font : GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(dc, Or(s.text, COLOR_WINDOWTEXT));
    SetBkColor(dc, Or(s.back == CLR_NONE ? CLR_DEFAULT : s.back, COLOR_WINDOW));
    const LRESULT wants =
        platform::listview::detail::NotifyPaintStage<NMLVCUSTOMDRAW>(hwnd, CDDS_PREPAINT, dc, c);
    if (!(wants & CDRF_SKIPDEFAULT))
    {
        const bool focus = GetFocus() == hwnd;
        for (int i = 0; i < Count(s); ++i)
        {
            RECT bounds{};
            RECT icon{};
            RECT label{};
            if (!ItemRects(hwnd, s, i, bounds, icon, label))
                break;
            RECT visible{};
            if (!IntersectRect(&visible, &bounds, &c))
                continue;
            const Item& item = s.items[static_cast<size_t>(i)];
            NMLVCUSTOMDRAW cd{};
            cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
            cd.nmcd.hdc = dc;
            cd.nmcd.rc = bounds;
            cd.nmcd.dwItemSpec = static_cast<DWORD_PTR>(i);
            cd.nmcd.uItemState = ((item.state & LVIS_SELECTED) ? CDIS_SELECTED : 0u) |
                                 ((item.state & LVIS_FOCUSED) && focus ? CDIS_FOCUS : 0u) |
                                 (i == s.hot ? CDIS_HOT : 0u);
            cd.nmcd.lItemlParam = item.param;
            cd.clrText = Or(s.text, COLOR_WINDOWTEXT);
            cd.clrTextBk = s.textBack == CLR_DEFAULT ? CLR_NONE : s.textBack;
            const LRESULT itemWants = platform::listview::detail::NotifyItemPrePaint(hwnd, cd.nmcd, wants);
            if (!Valid(s, i))
                break;
            if (!(itemWants & CDRF_SKIPDEFAULT))
                DrawDefault(hwnd, s, dc, i, cd);
            platform::listview::detail::NotifyItemPostPaint(hwnd, cd.nmcd, itemWants);
        }
    }
    if (wants & CDRF_NOTIFYPOSTPAINT)
        platform::listview::detail::NotifyPaintStage<NMLVCUSTOMDRAW>(hwnd, CDDS_POSTPAINT, dc, c);
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

void Scroll(HWND hwnd, ViewState& s, bool vertical, WORD code, int thumb)
{
    const RECT c = Client(hwnd);
    const bool rows = RowView(hwnd);
    int pos = vertical ? s.originY : s.originX;
    const int line = vertical ? (rows ? 1 : kIconLineStep) : kIconLineStep;
    const int page =
        vertical ? (rows ? RowsPerPage(hwnd, s) : static_cast<int>(c.bottom)) : static_cast<int>(c.right);
    if (!platform::window::ScrollRequestPosition(code, line, page, thumb, 0x7FFFFFF, pos))
        return;
    if (vertical)
        ScrollTo(hwnd, s, s.originX, pos);
    else
        ScrollTo(hwnd, s, pos, s.originY);
}

void Click(HWND hwnd, ViewState& s, POINT p, UINT keys, bool right)
{
    if (GetFocus() != hwnd)
        SetFocus(hwnd);
    UINT flags = 0;
    const int hit = HitTest(hwnd, s, p, flags);
    const bool single = (Style(hwnd) & LVS_SINGLESEL) != 0;
    if (hit < 0)
    {
        if (!(keys & (MK_CONTROL | MK_SHIFT)))
            SetStateAll(hwnd, s, 0, LVIS_SELECTED);
    }
    else if (right)
    {
        if (!(s.items[static_cast<size_t>(hit)].state & LVIS_SELECTED))
        {
            SetStateAll(hwnd, s, 0, LVIS_SELECTED);
            SetState(hwnd, s, hit, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        }
    }
    else if ((keys & MK_SHIFT) && !single && Valid(s, s.mark))
    {
        const int low = std::min(s.mark, hit);
        const int high = std::max(s.mark, hit);
        for (int i = 0; i < Count(s); ++i)
            SetState(hwnd, s, i, (i >= low && i <= high) ? LVIS_SELECTED : 0, LVIS_SELECTED);
        SetState(hwnd, s, hit, LVIS_FOCUSED, LVIS_FOCUSED);
    }
    else if ((keys & MK_CONTROL) && !single)
    {
        const UINT now = s.items[static_cast<size_t>(hit)].state;
        SetState(hwnd, s, hit, (now ^ LVIS_SELECTED) | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        s.mark = hit;
    }
    else
    {
        for (int i = 0; i < Count(s); ++i)
            if (i != hit)
                SetState(hwnd, s, i, 0, LVIS_SELECTED);
        SetState(hwnd, s, hit, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        s.mark = hit;
    }
    s.pressed = hit;
    s.pressedRight = right;
    s.pressPoint = p;
    s.dragged = false;
    SetCapture(hwnd);
}

void KeyDown(HWND hwnd, ViewState& s, UINT key)
{
    NMLVKEYDOWN nm{};
    nm.wVKey = static_cast<WORD>(key);
    Notify(hwnd, nm.hdr, LVN_KEYDOWN);
    if (s.items.empty())
        return;
    const int current = Focused(s);
    const int last = Count(s) - 1;
    const int across = RowView(hwnd) ? 1 : Columns(hwnd, s);
    const int page =
        RowView(hwnd)
            ? RowsPerPage(hwnd, s)
            : across *
                  std::max(1, static_cast<int>(Client(hwnd).bottom / std::max<LONG>(Spacing(hwnd, s).cy, 1)));
    int next = current;
    switch (key)
    {
    case VK_UP:
        next = current - across;
        break;
    case VK_DOWN:
        next = current < 0 ? 0 : current + across;
        break;
    case VK_LEFT:
        next = RowView(hwnd) ? current : current - 1;
        break;
    case VK_RIGHT:
        next = RowView(hwnd) ? current : current + 1;
        break;
    case VK_PRIOR:
        next = current - page;
        break;
    case VK_NEXT:
        next = current + page;
        break;
    case VK_HOME:
        next = 0;
        break;
    case VK_END:
        next = last;
        break;
    case VK_SPACE:
        if (current >= 0)
            SetState(hwnd, s, current, LVIS_SELECTED, LVIS_SELECTED);
        return;
    case VK_RETURN:
    {
        NMHDR header{};
        Notify(hwnd, header, NM_RETURN);
        return;
    }
    default:
        return;
    }
    next = std::clamp(next, 0, last);
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0 && !(Style(hwnd) & LVS_SINGLESEL);
    if (control)
        SetState(hwnd, s, next, LVIS_FOCUSED, LVIS_FOCUSED);
    else if (shift && Valid(s, s.mark))
    {
        const int low = std::min(s.mark, next);
        const int high = std::max(s.mark, next);
        for (int i = 0; i < Count(s); ++i)
            SetState(hwnd, s, i, (i >= low && i <= high) ? LVIS_SELECTED : 0, LVIS_SELECTED);
        SetState(hwnd, s, next, LVIS_FOCUSED, LVIS_FOCUSED);
    }
    else
    {
        for (int i = 0; i < Count(s); ++i)
            if (i != next)
                SetState(hwnd, s, i, 0, LVIS_SELECTED);
        SetState(hwnd, s, next, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        s.mark = next;
    }
    EnsureVisible(hwnd, s, next, false);
}

void DestroyLists(HWND hwnd, ViewState& s)
{
    if (Style(hwnd) & LVS_SHAREIMAGELISTS)
        return;
    // The control owns the lists it was given unless they are shared; each is destroyed once.
    for (int i = 0; i < 3; ++i)
    {
        HIMAGELIST list = s.lists[i];
        if (!list)
            continue;
        for (HIMAGELIST& other : s.lists)
            if (other == list)
                other = nullptr;
        ImageList_Destroy(list);
    }
}

LRESULT Handle(HWND hwnd, ViewState& s, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const auto index = static_cast<long long>(static_cast<INT_PTR>(wParam));
    switch (msg)
    {
    case LVM_GETITEMCOUNT:
        return Count(s);
    case LVM_INSERTITEMA:
        return Insert(hwnd, s, reinterpret_cast<const LVITEMA*>(lParam));
    case LVM_DELETEITEM:
        return Delete(hwnd, s, index) ? TRUE : FALSE;
    case LVM_DELETEALLITEMS:
        // Not when the window goes: its owner is being torn down too.
        for (int i = 0; i < Count(s); ++i)
            LoseSelectionBeforeDeletion(hwnd, s, i);
        DeleteAll(hwnd, s);
        return TRUE;
    case LVM_GETITEMA:
        return GetItem(hwnd, s, reinterpret_cast<LVITEMA*>(lParam)) ? TRUE : FALSE;
    case LVM_SETITEMA:
        return SetItem(hwnd, s, reinterpret_cast<const LVITEMA*>(lParam)) ? TRUE : FALSE;
    case LVM_GETITEMTEXTA:
    {
        auto* item = reinterpret_cast<LVITEMA*>(lParam);
        if (!item || !item->pszText || item->cchTextMax <= 0)
            return 0;
        const std::string text = TextOf(hwnd, s, static_cast<int>(index), item->iSubItem);
        return platform::window::CopyTextOut(text.data(), text.size(), item->pszText, item->cchTextMax);
    }
    case LVM_SETITEMTEXTA:
    {
        auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        return item && SetText(hwnd, s, static_cast<int>(index), item->iSubItem, item->pszText) ? TRUE
                                                                                                : FALSE;
    }
    case LVM_GETITEMSTATE:
        return Valid(s, index) ? static_cast<LRESULT>(s.items[static_cast<size_t>(index)].state &
                                                      static_cast<UINT>(lParam))
                               : 0;
    case LVM_SETITEMSTATE:
    {
        auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (!item)
            return FALSE;
        if (index == -1)
        {
            SetStateAll(hwnd, s, item->state, item->stateMask);
            return TRUE;
        }
        return SetState(hwnd, s, static_cast<int>(index), item->state, item->stateMask) ? TRUE : FALSE;
    }
    case LVM_GETNEXTITEM:
        return NextItem(hwnd, s, static_cast<int>(index), static_cast<UINT>(LOWORD(lParam)));
    case LVM_GETSELECTEDCOUNT:
        return std::count_if(s.items.begin(), s.items.end(),
                             [](const Item& i) { return (i.state & LVIS_SELECTED) != 0; });
    case LVM_GETSELECTIONMARK:
        return s.mark;
    case LVM_SETSELECTIONMARK:
    {
        const int old = s.mark;
        s.mark = Valid(s, lParam) ? static_cast<int>(lParam) : -1;
        return old;
    }
    case LVM_GETITEMRECT:
    {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        RECT bounds{};
        RECT icon{};
        RECT label{};
        if (!rect || !ItemRects(hwnd, s, static_cast<int>(index), bounds, icon, label))
            return FALSE;
        switch (rect->left)
        {
        case LVIR_ICON:
            *rect = icon;
            break;
        case LVIR_LABEL:
            *rect = label;
            break;
        case LVIR_SELECTBOUNDS:
            UnionRect(rect, &icon, &label);
            break;
        default:
            *rect = bounds;
            break;
        }
        return TRUE;
    }
    case LVM_GETITEMPOSITION:
    {
        auto* point = reinterpret_cast<POINT*>(lParam);
        RECT bounds{};
        RECT icon{};
        RECT label{};
        if (!point || !ItemRects(hwnd, s, static_cast<int>(index), bounds, icon, label))
            return FALSE;
        *point = POINT{bounds.left, bounds.top};
        return TRUE;
    }
    case LVM_HITTEST:
    case LVM_SUBITEMHITTEST:
    {
        auto* info = reinterpret_cast<LVHITTESTINFO*>(lParam);
        if (!info)
            return -1;
        info->iItem =
            HitTest(hwnd, s, info->pt, info->flags, msg == LVM_SUBITEMHITTEST ? &info->iSubItem : nullptr);
        return info->iItem;
    }
    case LVM_ENSUREVISIBLE:
        return EnsureVisible(hwnd, s, static_cast<int>(index), lParam != 0) ? TRUE : FALSE;
    case LVM_SCROLL:
    {
        const int dx = static_cast<int>(static_cast<INT_PTR>(wParam));
        const int dy = static_cast<int>(lParam);
        // Report and list views scroll whole rows: the pixels are turned into rows.
        const int rows = RowView(hwnd) ? dy / RowHeight(hwnd, s) : dy;
        ScrollTo(hwnd, s, s.originX + dx, s.originY + rows);
        return TRUE;
    }
    case LVM_REDRAWITEMS:
        for (long long i = std::max(index, 0LL); i <= lParam && Valid(s, i); ++i)
            InvalidateItem(hwnd, s, static_cast<int>(i));
        return TRUE;
    case LVM_UPDATE:
        InvalidateItem(hwnd, s, static_cast<int>(index));
        return Valid(s, index) ? TRUE : FALSE;
    case LVM_ARRANGE:
        Changed(hwnd, s);
        return TRUE;
    case LVM_GETTOPINDEX:
        if (RowView(hwnd))
            return s.originY;
        return std::min<LRESULT>(Count(s),
                                 (s.originY / std::max<LONG>(Spacing(hwnd, s).cy, 1)) * Columns(hwnd, s));
    case LVM_GETCOUNTPERPAGE:
        if (RowView(hwnd))
            return RowsPerPage(hwnd, s);
        return Columns(hwnd, s) *
               std::max(1, static_cast<int>(Client(hwnd).bottom / std::max<LONG>(Spacing(hwnd, s).cy, 1)));
    case LVM_GETORIGIN:
    {
        auto* point = reinterpret_cast<POINT*>(lParam);
        if (!point || RowView(hwnd))
            return FALSE;
        *point = POINT{s.originX, s.originY};
        return TRUE;
    }
    case LVM_GETVIEWRECT:
    {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect || RowView(hwnd))
            return FALSE;
        const SIZE content = ContentSize(hwnd, s, Count(s), Client(hwnd).right);
        *rect = RECT{-s.originX, -s.originY, content.cx - s.originX, content.cy - s.originY};
        return TRUE;
    }
    case LVM_APPROXIMATEVIEWRECT:
    {
        const int count = index < 0 ? Count(s) : static_cast<int>(index);
        const int cx = static_cast<short>(LOWORD(lParam));
        const SIZE size = ContentSize(hwnd, s, count, cx < 0 ? Client(hwnd).right : cx);
        return MAKELONG(static_cast<WORD>(std::clamp<LONG>(size.cx, 0, 0xFFFF)),
                        static_cast<WORD>(std::clamp<LONG>(size.cy, 0, 0xFFFF)));
    }
    case LVM_SORTITEMS:
        Sort(hwnd, s, reinterpret_cast<PFNLVCOMPARE>(lParam), static_cast<LPARAM>(wParam));
        return TRUE;
    case LVM_FINDITEMA:
        return Find(s, hwnd, static_cast<int>(index), reinterpret_cast<const LVFINDINFOA*>(lParam));
    case LVM_GETIMAGELIST:
        return wParam <= 2 ? reinterpret_cast<LRESULT>(s.lists[wParam]) : 0;
    case LVM_SETIMAGELIST:
    {
        if (wParam > 2)
            return 0;
        HIMAGELIST old = s.lists[wParam];
        s.lists[wParam] = reinterpret_cast<HIMAGELIST>(lParam);
        Changed(hwnd, s);
        return reinterpret_cast<LRESULT>(old);
    }
    case LVM_SETICONSPACING:
    {
        const SIZE old = Spacing(hwnd, s);
        const int cx = static_cast<short>(LOWORD(lParam));
        const int cy = static_cast<short>(HIWORD(lParam));
        s.spacingX = cx > 0 ? cx : 0;
        s.spacingY = cy > 0 ? cy : 0;
        Changed(hwnd, s);
        return MAKELONG(static_cast<WORD>(old.cx), static_cast<WORD>(old.cy));
    }
    case LVM_GETITEMSPACING:
    {
        const SIZE cell = Spacing(hwnd, s);
        return MAKELONG(static_cast<WORD>(cell.cx), static_cast<WORD>(cell.cy));
    }
    case LVM_INSERTCOLUMNA:
    {
        auto* info = reinterpret_cast<const LVCOLUMNA*>(lParam);
        if (!info || index < 0)
            return -1;
        Column column;
        if ((info->mask & LVCF_TEXT) && info->pszText)
            column.text = info->pszText;
        if (info->mask & LVCF_WIDTH)
            column.width = std::max(info->cx, 0);
        if (info->mask & LVCF_FMT)
            column.fmt = info->fmt;
        const auto at =
            static_cast<size_t>(std::min<long long>(index, static_cast<long long>(s.columns.size())));
        s.columns.insert(s.columns.begin() + static_cast<ptrdiff_t>(at), column);
        Changed(hwnd, s);
        return static_cast<LRESULT>(at);
    }
    case LVM_GETCOLUMNA:
    case LVM_SETCOLUMNA:
    {
        auto* info = reinterpret_cast<LVCOLUMNA*>(lParam);
        if (!info || index < 0 || index >= static_cast<long long>(s.columns.size()))
            return FALSE;
        Column& column = s.columns[static_cast<size_t>(index)];
        if (msg == LVM_SETCOLUMNA)
        {
            if ((info->mask & LVCF_TEXT) && info->pszText)
                column.text = info->pszText;
            if (info->mask & LVCF_WIDTH)
                column.width = std::max(info->cx, 0);
            if (info->mask & LVCF_FMT)
                column.fmt = info->fmt;
            Changed(hwnd, s);
            return TRUE;
        }
        if (info->mask & LVCF_WIDTH)
            info->cx = column.width;
        if (info->mask & LVCF_FMT)
            info->fmt = column.fmt;
        if (info->mask & LVCF_TEXT)
            platform::window::CopyTextOut(column.text.data(), column.text.size(), info->pszText,
                                          info->cchTextMax);
        return TRUE;
    }
    case LVM_DELETECOLUMN:
        if (index < 0 || index >= static_cast<long long>(s.columns.size()))
            return FALSE;
        s.columns.erase(s.columns.begin() + static_cast<ptrdiff_t>(index));
        Changed(hwnd, s);
        return TRUE;
    case LVM_GETCOLUMNWIDTH:
        if (View(hwnd) == LVS_LIST || s.columns.empty())
            return Client(hwnd).right;
        return index >= 0 && index < static_cast<long long>(s.columns.size())
                   ? s.columns[static_cast<size_t>(index)].width
                   : 0;
    case LVM_SETCOLUMNWIDTH:
        if (index < 0 || index >= static_cast<long long>(s.columns.size()))
            return FALSE;
        s.columns[static_cast<size_t>(index)].width =
            std::max(static_cast<int>(static_cast<short>(LOWORD(lParam))), kDefaultColumnWidth / 2);
        Changed(hwnd, s);
        return TRUE;
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return static_cast<LRESULT>(s.exStyle);
    case LVM_SETEXTENDEDLISTVIEWSTYLE:
    {
        const DWORD old = s.exStyle;
        const DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
        s.exStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
        Changed(hwnd, s);
        return static_cast<LRESULT>(old);
    }
    case LVM_GETBKCOLOR:
        return static_cast<LRESULT>(Or(s.back, COLOR_WINDOW));
    case LVM_SETBKCOLOR:
        s.back = static_cast<COLORREF>(lParam);
        Changed(hwnd, s);
        return TRUE;
    case LVM_GETTEXTCOLOR:
        return static_cast<LRESULT>(Or(s.text, COLOR_WINDOWTEXT));
    case LVM_SETTEXTCOLOR:
        s.text = static_cast<COLORREF>(lParam);
        Changed(hwnd, s);
        return TRUE;
    case LVM_GETTEXTBKCOLOR:
        return static_cast<LRESULT>(s.textBack == CLR_DEFAULT ? CLR_NONE : s.textBack);
    case LVM_SETTEXTBKCOLOR:
        s.textBack = static_cast<COLORREF>(lParam);
        Changed(hwnd, s);
        return TRUE;
    case LVM_GETHOTITEM:
        return s.hot;
    case LVM_SETHOTITEM:
    {
        const int old = s.hot;
        s.hot = Valid(s, index) ? static_cast<int>(index) : -1;
        InvalidateItem(hwnd, s, old);
        InvalidateItem(hwnd, s, s.hot);
        return old;
    }
    case LVM_GETTOOLTIPS:
        return reinterpret_cast<LRESULT>(s.tooltips);
    case LVM_SETTOOLTIPS:
    {
        HWND old = s.tooltips;
        s.tooltips = reinterpret_cast<HWND>(wParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETSTRINGWIDTHA:
    {
        const char* text = reinterpret_cast<const char*>(lParam);
        if (!text)
            return 0;
        HDC dc = GetDC(hwnd);
        HGDIOBJ old = SelectObject(dc, s.font ? s.font : GetStockObject(DEFAULT_GUI_FONT));
        SIZE size{};
        GetTextExtentPoint32(dc, text, static_cast<int>(std::strlen(text)), &size);
        SelectObject(dc, old);
        ReleaseDC(hwnd, dc);
        return size.cx;
    }
    case LVM_SETITEMCOUNT:
        return TRUE;
    case WM_SETFONT:
        s.font = reinterpret_cast<HFONT>(wParam);
        s.textHeight = 0;
        if (LOWORD(lParam))
            Changed(hwnd, s);
        else
            UpdateScroll(hwnd, s);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s.font);
    case WM_SIZE:
    case WM_STYLECHANGED:
        Changed(hwnd, s);
        return 0;
    case WM_SETREDRAW:
        s.redraw = wParam != 0;
        DefWindowProc(hwnd, msg, wParam, lParam);
        if (s.redraw)
            Changed(hwnd, s);
        return 0;
    case WM_PAINT:
        Paint(hwnd, s);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    {
        NMHDR header{};
        Notify(hwnd, header, msg == WM_SETFOCUS ? NM_SETFOCUS : NM_KILLFOCUS);
        if (s.redraw)
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        Click(hwnd, s, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, static_cast<UINT>(wParam),
              msg == WM_RBUTTONDOWN);
        return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    {
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        UINT flags = 0;
        const int hit = HitTest(hwnd, s, p, flags);
        NotifyActivate(hwnd, msg == WM_LBUTTONDBLCLK ? NM_DBLCLK : NM_RDBLCLK, hit, p, 0);
        if (hit >= 0 && msg == WM_LBUTTONDBLCLK)
            NotifyActivate(hwnd, LVN_ITEMACTIVATE, hit, p, 0);
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    {
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const bool clicked = !s.dragged;
        s.pressed = -1;
        s.dragged = false;
        if (GetCapture() == hwnd)
            ReleaseCapture();
        if (clicked)
        {
            UINT flags = 0;
            const int hit = HitTest(hwnd, s, p, flags);
            NotifyActivate(hwnd, msg == WM_LBUTTONUP ? NM_CLICK : NM_RCLICK, hit, p, 0);
            if (msg == WM_RBUTTONUP && IsWindow(hwnd))
            {
                POINT screen = p;
                ClientToScreen(hwnd, &screen);
                SendMessage(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd),
                            MAKELPARAM(screen.x, screen.y));
            }
        }
        return 0;
    }
    case WM_MOUSEMOVE:
    {
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const bool down = (wParam & (s.pressedRight ? MK_RBUTTON : MK_LBUTTON)) != 0;
        if (s.pressed >= 0 && !s.dragged && down &&
            (std::abs(p.x - s.pressPoint.x) > kDragDistance ||
             std::abs(p.y - s.pressPoint.y) > kDragDistance))
        {
            // One drag per press; the parent runs it, so the control lets the mouse go.
            s.dragged = true;
            const int item = s.pressed;
            s.pressed = -1;
            if (GetCapture() == hwnd)
                ReleaseCapture();
            NotifyItem(hwnd, s.pressedRight ? LVN_BEGINRDRAG : LVN_BEGINDRAG, item,
                       Valid(s, item) ? s.items[static_cast<size_t>(item)].param : 0, s.pressPoint);
        }
        if ((s.exStyle & LVS_EX_INFOTIP) && !s.hovering)
        {
            TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, hwnd, HOVER_DEFAULT};
            s.hovering = TrackMouseEvent(&track) != FALSE;
        }
        return 0;
    }
    case WM_MOUSEHOVER:
    {
        s.hovering = false;
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        NMHDR header{};
        if (Notify(hwnd, header, NM_HOVER))
            return 0;
        UINT flags = 0;
        const int hit = HitTest(hwnd, s, p, flags);
        if (hit >= 0 && (s.exStyle & LVS_EX_INFOTIP))
        {
            char buffer[kMaxTextLength + 1] = {};
            NMLVGETINFOTIPA tip{};
            tip.pszText = buffer;
            tip.cchTextMax = kMaxTextLength;
            tip.iItem = hit;
            tip.lParam = s.items[static_cast<size_t>(hit)].param;
            Notify(hwnd, tip.hdr, LVN_GETINFOTIPA);
        }
        return 0;
    }
    case WM_MOUSELEAVE:
        s.hovering = false;
        return 0;
    case WM_MOUSEWHEEL:
    {
        const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
        const int step = RowView(hwnd) ? 3 : std::max<int>(Spacing(hwnd, s).cy / 2, kIconLineStep);
        ScrollTo(hwnd, s, s.originX, s.originY - notches * step);
        return 0;
    }
    case WM_VSCROLL:
    case WM_HSCROLL:
        Scroll(hwnd, s, msg == WM_VSCROLL, LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_KEYDOWN:
        KeyDown(hwnd, s, static_cast<UINT>(wParam));
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK ListViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    ViewState* state = platform::window::ControlStateFor<ViewState>(
        hwnd, msg, [hwnd](ViewState& s) { DestroyLists(hwnd, s); });
    if (!state)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    if (msg == WM_DESTROY)
    {
        // Owners free their item data on LVN_DELETEITEM, so every item is reported while the window lives.
        DeleteAll(hwnd, *state);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    return Handle(hwnd, *state, msg, wParam, lParam);
}

} // namespace

BOOL InitListViewClass()
{
    static const BOOL registered = platform::window::RegisterControlClass(WC_LISTVIEW, ListViewProc);
    return registered;
}

// --- CListCtrl -----------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

CListCtrl::CListCtrl()
{
    InitListViewClass();
}

BOOL CListCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    InitListViewClass();
    return CWnd::Create(WC_LISTVIEW, nullptr, style, rect, parent, id);
}

BOOL CListCtrl::CreateEx(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    InitListViewClass();
    return CWnd::CreateEx(exStyle, WC_LISTVIEW, nullptr, style, rect, parent, id);
}

int CListCtrl::GetItemCount() const
{
    return static_cast<int>(SendMessage(LVM_GETITEMCOUNT));
}

BOOL CListCtrl::GetItem(LVITEM* item) const
{
    return static_cast<BOOL>(SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CListCtrl::SetItem(const LVITEM* item)
{
    return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CListCtrl::SetItem(int item, int subItem, UINT mask, LPCTSTR text, int image, UINT state, UINT stateMask,
                        LPARAM lParam)
{
    LVITEMA lv{mask, item, subItem, state, stateMask, const_cast<LPSTR>(text), 0, image, lParam, 0};
    return SetItem(&lv);
}

int CListCtrl::InsertItem(const LVITEM* item)
{
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(item)));
}

int CListCtrl::InsertItem(int item, LPCTSTR text)
{
    return InsertItem(LVIF_TEXT, item, text, 0, 0, 0, 0);
}

int CListCtrl::InsertItem(int item, LPCTSTR text, int image)
{
    return InsertItem(LVIF_TEXT | LVIF_IMAGE, item, text, 0, 0, image, 0);
}

int CListCtrl::InsertItem(UINT mask, int item, LPCTSTR text, UINT state, UINT stateMask, int image,
                          LPARAM lParam)
{
    LVITEMA lv{mask, item, 0, state, stateMask, const_cast<LPSTR>(text), 0, image, lParam, 0};
    return InsertItem(&lv);
}

BOOL CListCtrl::DeleteItem(int item)
{
    return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(item)));
}

BOOL CListCtrl::DeleteAllItems()
{
    return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS));
}

CString CListCtrl::GetItemText(int item, int subItem) const
{
    char buffer[kMaxTextLength + 1] = {};
    GetItemText(item, subItem, buffer, sizeof buffer);
    return CString(buffer);
}

int CListCtrl::GetItemText(int item, int subItem, LPTSTR buffer, int length) const
{
    LVITEMA lv{};
    lv.iSubItem = subItem;
    lv.pszText = buffer;
    lv.cchTextMax = length;
    return static_cast<int>(
        SendMessage(LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, LPCTSTR text)
{
    LVITEMA lv{};
    lv.iSubItem = subItem;
    lv.pszText = const_cast<LPSTR>(text);
    return static_cast<BOOL>(
        SendMessage(LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv)));
}

DWORD_PTR CListCtrl::GetItemData(int item) const
{
    LVITEMA lv{};
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    return GetItem(&lv) ? static_cast<DWORD_PTR>(lv.lParam) : 0;
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data)
{
    return SetItem(item, 0, LVIF_PARAM, nullptr, 0, 0, 0, static_cast<LPARAM>(data));
}

UINT CListCtrl::GetItemState(int item, UINT mask) const
{
    return static_cast<UINT>(
        SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), static_cast<LPARAM>(mask)));
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask)
{
    LVITEMA lv{};
    lv.state = state;
    lv.stateMask = mask;
    return SetItemState(item, &lv);
}

BOOL CListCtrl::SetItemState(int item, LVITEM* item2)
{
    return static_cast<BOOL>(
        SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(item2)));
}

int CListCtrl::GetNextItem(int item, int flags) const
{
    return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(item), MAKELPARAM(flags, 0)));
}

UINT CListCtrl::GetSelectedCount() const
{
    return static_cast<UINT>(SendMessage(LVM_GETSELECTEDCOUNT));
}

int CListCtrl::GetSelectionMark() const
{
    return static_cast<int>(SendMessage(LVM_GETSELECTIONMARK));
}

int CListCtrl::SetSelectionMark(int item)
{
    return static_cast<int>(SendMessage(LVM_SETSELECTIONMARK, 0, static_cast<LPARAM>(item)));
}

BOOL CListCtrl::GetItemRect(int item, LPRECT rect, UINT code) const
{
    if (!rect)
        return FALSE;
    rect->left = static_cast<LONG>(code);
    return static_cast<BOOL>(
        SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(rect)));
}

BOOL CListCtrl::GetItemPosition(int item, LPPOINT point) const
{
    return static_cast<BOOL>(
        SendMessage(LVM_GETITEMPOSITION, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(point)));
}

int CListCtrl::HitTest(LVHITTESTINFO* info) const
{
    return static_cast<int>(SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(info)));
}

int CListCtrl::HitTest(CPoint point, UINT* flags) const
{
    LVHITTESTINFO info{};
    info.pt = point;
    const int item = HitTest(&info);
    if (flags)
        *flags = info.flags;
    return item;
}

BOOL CListCtrl::EnsureVisible(int item, BOOL partialOK)
{
    return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), partialOK));
}

BOOL CListCtrl::Scroll(CSize size)
{
    return static_cast<BOOL>(
        SendMessage(LVM_SCROLL, static_cast<WPARAM>(size.cx), static_cast<LPARAM>(size.cy)));
}

BOOL CListCtrl::RedrawItems(int first, int last)
{
    return static_cast<BOOL>(
        SendMessage(LVM_REDRAWITEMS, static_cast<WPARAM>(first), static_cast<LPARAM>(last)));
}

BOOL CListCtrl::Update(int item)
{
    return static_cast<BOOL>(SendMessage(LVM_UPDATE, static_cast<WPARAM>(item)));
}

BOOL CListCtrl::Arrange(UINT code)
{
    return static_cast<BOOL>(SendMessage(LVM_ARRANGE, code));
}

int CListCtrl::GetTopIndex() const
{
    return static_cast<int>(SendMessage(LVM_GETTOPINDEX));
}

int CListCtrl::GetCountPerPage() const
{
    return static_cast<int>(SendMessage(LVM_GETCOUNTPERPAGE));
}

BOOL CListCtrl::GetOrigin(LPPOINT point) const
{
    return static_cast<BOOL>(SendMessage(LVM_GETORIGIN, 0, reinterpret_cast<LPARAM>(point)));
}

BOOL CListCtrl::GetViewRect(LPRECT rect) const
{
    return static_cast<BOOL>(SendMessage(LVM_GETVIEWRECT, 0, reinterpret_cast<LPARAM>(rect)));
}

CSize CListCtrl::ApproximateViewRect(CSize size, int count) const
{
    const auto result = static_cast<DWORD>(
        SendMessage(LVM_APPROXIMATEVIEWRECT, static_cast<WPARAM>(count), MAKELPARAM(size.cx, size.cy)));
    return CSize(LOWORD(result), HIWORD(result));
}

BOOL CListCtrl::SortItems(PFNLVCOMPARE compare, DWORD_PTR data)
{
    return static_cast<BOOL>(SendMessage(LVM_SORTITEMS, data, reinterpret_cast<LPARAM>(compare)));
}

int CListCtrl::FindItem(LVFINDINFO* info, int start) const
{
    return static_cast<int>(
        SendMessage(LVM_FINDITEMA, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(info)));
}

CImageList* CListCtrl::GetImageList(int type) const
{
    return CImageList::FromHandle(
        reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, static_cast<WPARAM>(type))));
}

CImageList* CListCtrl::SetImageList(CImageList* list, int type)
{
    return CImageList::FromHandle(SetImageList(list ? list->GetSafeHandle() : nullptr, type));
}

HIMAGELIST CListCtrl::SetImageList(HIMAGELIST list, int type)
{
    return reinterpret_cast<HIMAGELIST>(
        SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(type), reinterpret_cast<LPARAM>(list)));
}

CSize CListCtrl::SetIconSpacing(int cx, int cy)
{
    const auto old = static_cast<DWORD>(SendMessage(LVM_SETICONSPACING, 0, MAKELPARAM(cx, cy)));
    return CSize(LOWORD(old), HIWORD(old));
}

CSize CListCtrl::SetIconSpacing(CSize size)
{
    return SetIconSpacing(size.cx, size.cy);
}

int CListCtrl::InsertColumn(int column, const LVCOLUMN* info)
{
    return static_cast<int>(
        SendMessage(LVM_INSERTCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(info)));
}

int CListCtrl::InsertColumn(int column, LPCTSTR heading, int format, int width, int subItem)
{
    LVCOLUMNA info{};
    info.mask = LVCF_TEXT | LVCF_FMT;
    info.pszText = const_cast<LPSTR>(heading);
    info.fmt = format;
    if (width >= 0)
    {
        info.mask |= LVCF_WIDTH;
        info.cx = width;
    }
    if (subItem >= 0)
    {
        info.mask |= LVCF_SUBITEM;
        info.iSubItem = subItem;
    }
    return InsertColumn(column, &info);
}

BOOL CListCtrl::DeleteColumn(int column)
{
    return static_cast<BOOL>(SendMessage(LVM_DELETECOLUMN, static_cast<WPARAM>(column)));
}

int CListCtrl::GetColumnWidth(int column) const
{
    return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
}

BOOL CListCtrl::SetColumnWidth(int column, int width)
{
    return static_cast<BOOL>(
        SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0)));
}

DWORD CListCtrl::GetExtendedStyle() const
{
    return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
}

DWORD CListCtrl::SetExtendedStyle(DWORD style)
{
    return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style)));
}

COLORREF CListCtrl::GetBkColor() const
{
    return static_cast<COLORREF>(SendMessage(LVM_GETBKCOLOR));
}

BOOL CListCtrl::SetBkColor(COLORREF color)
{
    return static_cast<BOOL>(SendMessage(LVM_SETBKCOLOR, 0, static_cast<LPARAM>(color)));
}

COLORREF CListCtrl::GetTextColor() const
{
    return static_cast<COLORREF>(SendMessage(LVM_GETTEXTCOLOR));
}

BOOL CListCtrl::SetTextColor(COLORREF color)
{
    return static_cast<BOOL>(SendMessage(LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(color)));
}

COLORREF CListCtrl::GetTextBkColor() const
{
    return static_cast<COLORREF>(SendMessage(LVM_GETTEXTBKCOLOR));
}

BOOL CListCtrl::SetTextBkColor(COLORREF color)
{
    return static_cast<BOOL>(SendMessage(LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(color)));
}

int CListCtrl::GetHotItem() const
{
    return static_cast<int>(SendMessage(LVM_GETHOTITEM));
}

int CListCtrl::SetHotItem(int item)
{
    return static_cast<int>(SendMessage(LVM_SETHOTITEM, static_cast<WPARAM>(item)));
}

CToolTipCtrl* CListCtrl::GetToolTips() const
{
    return static_cast<CToolTipCtrl*>(CWnd::FromHandle(reinterpret_cast<HWND>(SendMessage(LVM_GETTOOLTIPS))));
}

CToolTipCtrl* CListCtrl::SetToolTips(CToolTipCtrl* tip)
{
    return static_cast<CToolTipCtrl*>(CWnd::FromHandle(reinterpret_cast<HWND>(
        SendMessage(LVM_SETTOOLTIPS, reinterpret_cast<WPARAM>(tip ? tip->GetSafeHwnd() : nullptr)))));
}

int CListCtrl::GetStringWidth(LPCTSTR text) const
{
    return static_cast<int>(SendMessage(LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
}
