#include "platform/listview/TreeView.h"

#include "platform/listview/CustomDraw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <unordered_set>
#include <vector>

struct _TREEITEM
{
    std::string text;
    bool textCallback = false;
    int image = 0;
    int selectedImage = 0;
    LPARAM param = 0;
    UINT state = 0;
    int children = 0;   // cChildren: 0, 1 or I_CHILDRENCALLBACK
    int textWidth = -1; // measured on demand, -1 until then
    _TREEITEM* parent = nullptr;
    std::vector<_TREEITEM*> kids;
};

namespace
{
constexpr int kDefaultIndent = 19;
constexpr int kDragDistance = 4;
constexpr int kMaxTextLength = 1024;
constexpr int kButtonSize = 9;

struct TreeState
{
    _TREEITEM root; // holds the top-level items; never handed out
    std::unordered_set<_TREEITEM*> live;
    HIMAGELIST lists[3] = {nullptr, nullptr, nullptr};
    HTREEITEM caret = nullptr;
    HTREEITEM drop = nullptr;
    int top = 0;     // first visible row
    int originX = 0; // pixels
    int indent = kDefaultIndent;
    int itemHeight = 0; // 0: derived from the font and the images
    int textHeight = 0;
    HFONT font = nullptr;
    COLORREF back = CLR_DEFAULT;
    COLORREF text = CLR_DEFAULT;
    HWND tooltips = nullptr;
    bool redraw = true;
    HTREEITEM pressed = nullptr;
    bool pressedRight = false;
    POINT pressPoint{0, 0};
    bool dragged = false;

    ~TreeState()
    {
        for (_TREEITEM* item : live)
            delete item;
    }
};

DWORD Style(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
}

bool Live(const TreeState& s, HTREEITEM item)
{
    return item && s.live.count(item) != 0;
}

RECT Client(HWND hwnd)
{
    RECT r{};
    GetClientRect(hwnd, &r);
    return r;
}

HFONT FontOf(const TreeState& s)
{
    return s.font ? s.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

int TextHeight(HWND hwnd, TreeState& s)
{
    if (s.textHeight > 0)
        return s.textHeight;
    s.textHeight = platform::window::TextLineHeight(hwnd, FontOf(s));
    return s.textHeight;
}

SIZE ImageSize(const TreeState& s)
{
    int cx = 0;
    int cy = 0;
    if (s.lists[TVSIL_NORMAL] && ImageList_GetIconSize(s.lists[TVSIL_NORMAL], &cx, &cy))
        return SIZE{cx, cy};
    return SIZE{0, 0};
}

int RowHeight(HWND hwnd, TreeState& s)
{
    if (s.itemHeight > 0)
        return s.itemHeight;
    return std::max<int>(TextHeight(hwnd, s), static_cast<int>(ImageSize(s).cy)) + 2;
}

int RowsPerPage(HWND hwnd, TreeState& s)
{
    return std::max(1, static_cast<int>(Client(hwnd).bottom / RowHeight(hwnd, s)));
}

int Level(HTREEITEM item)
{
    int level = 0;
    for (HTREEITEM p = item->parent; p && p->parent; p = p->parent)
        ++level;
    return level;
}

bool HasChildren(HTREEITEM item)
{
    return !item->kids.empty() || item->children != 0;
}

bool Expanded(HTREEITEM item)
{
    return (item->state & TVIS_EXPANDED) != 0;
}

void CollectVisible(HTREEITEM parent, std::vector<HTREEITEM>& out)
{
    for (HTREEITEM kid : parent->kids)
    {
        out.push_back(kid);
        if (Expanded(kid))
            CollectVisible(kid, out);
    }
}

std::vector<HTREEITEM> Visible(TreeState& s)
{
    std::vector<HTREEITEM> rows;
    CollectVisible(&s.root, rows);
    return rows;
}

int RowOf(TreeState& s, HTREEITEM item)
{
    const std::vector<HTREEITEM> rows = Visible(s);
    const auto it = std::find(rows.begin(), rows.end(), item);
    return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

LRESULT Notify(HWND hwnd, NMHDR& header, UINT code)
{
    return platform::window::NotifyParent(hwnd, header, code);
}

TVITEMA Describe(HTREEITEM item)
{
    TVITEMA tv{};
    if (!item)
        return tv;
    tv.mask = TVIF_HANDLE | TVIF_PARAM | TVIF_STATE | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    tv.hItem = item;
    tv.state = item->state;
    tv.stateMask = 0xFFFF;
    tv.iImage = item->image;
    tv.iSelectedImage = item->selectedImage;
    tv.cChildren = item->children;
    tv.lParam = item->param;
    return tv;
}

LRESULT NotifyTree(HWND hwnd, UINT code, UINT action, HTREEITEM oldItem, HTREEITEM newItem,
                   POINT at = POINT{0, 0})
{
    NMTREEVIEWA nm{};
    nm.action = action;
    nm.itemOld = Describe(oldItem);
    nm.itemNew = Describe(newItem);
    nm.ptDrag = at;
    return Notify(hwnd, nm.hdr, code);
}

std::string TextOf(HWND hwnd, TreeState& s, HTREEITEM item)
{
    if (!Live(s, item))
        return {};
    if (!item->textCallback)
        return item->text;
    char buffer[kMaxTextLength + 1] = {};
    NMTVDISPINFOA info{};
    info.item.mask = TVIF_TEXT;
    info.item.hItem = item;
    info.item.pszText = buffer;
    info.item.cchTextMax = kMaxTextLength;
    info.item.lParam = item->param;
    Notify(hwnd, info.hdr, TVN_GETDISPINFOA);
    std::string text;
    if (info.item.pszText && info.item.pszText != LPSTR_TEXTCALLBACKA)
        text.assign(info.item.pszText, strnlen(info.item.pszText, kMaxTextLength));
    if ((info.item.mask & TVIF_DI_SETITEM) && Live(s, item))
    {
        item->text = text;
        item->textCallback = false;
        item->textWidth = -1;
    }
    return text;
}

int TextWidth(HWND hwnd, TreeState& s, const std::string& text)
{
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, FontOf(s));
    SIZE size{};
    GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return size.cx;
}

/// The left edge of the item's image (or text) in content coordinates.
int ContentLeft(HWND hwnd, TreeState& s, HTREEITEM item)
{
    const bool atRoot = (Style(hwnd) & TVS_LINESATROOT) != 0;
    return (Level(item) + (atRoot ? 1 : 0)) * s.indent + 2;
}

struct RowRects
{
    RECT row;
    RECT button;
    RECT icon;
    RECT label;
};

bool Rects(HWND hwnd, TreeState& s, HTREEITEM item, RowRects& r)
{
    const int row = RowOf(s, item);
    if (row < 0)
        return false;
    const int h = RowHeight(hwnd, s);
    const int y = (row - s.top) * h;
    const int left = ContentLeft(hwnd, s, item) - s.originX;
    r.row = RECT{0, y, Client(hwnd).right, y + h};
    r.button = RECT{left - s.indent, y, left, y + h};
    const SIZE image = ImageSize(s);
    r.icon = RECT{left, y, left + (image.cx ? image.cx + 3 : 0), y + h};
    r.label = RECT{r.icon.right, y, r.icon.right + TextWidth(hwnd, s, TextOf(hwnd, s, item)) + 4, y + h};
    return true;
}

void UpdateScroll(HWND hwnd, TreeState& s)
{
    const std::vector<HTREEITEM> rows = Visible(s);
    const int count = static_cast<int>(rows.size());
    const int page = RowsPerPage(hwnd, s);
    s.top = std::clamp(s.top, 0, std::max(count - page, 0));
    // Text widths are measured once per text (one DC for all new ones), so that filling a large tree
    // does not measure every row again on every insertion.
    HDC dc = nullptr;
    HGDIOBJ oldFont = nullptr;
    const SIZE image = ImageSize(s);
    int width = 0;
    for (HTREEITEM item : rows)
    {
        if (item->textWidth < 0)
        {
            if (!dc)
            {
                dc = GetDC(hwnd);
                oldFont = SelectObject(dc, FontOf(s));
            }
            SIZE size{};
            if (!item->textCallback)
                GetTextExtentPoint32(dc, item->text.c_str(), static_cast<int>(item->text.size()), &size);
            item->textWidth = size.cx;
        }
        width =
            std::max(width, ContentLeft(hwnd, s, item) + (image.cx ? image.cx + 3 : 0) + item->textWidth + 4);
    }
    if (dc)
    {
        SelectObject(dc, oldFont);
        ReleaseDC(hwnd, dc);
    }
    const RECT c = Client(hwnd);
    if (Style(hwnd) & TVS_NOHSCROLL)
        width = 0;
    s.originX = std::clamp<int>(s.originX, 0, std::max<int>(width - c.right, 0));
    SCROLLINFO v{sizeof(SCROLLINFO), SIF_ALL, 0, std::max(count - 1, 0), static_cast<UINT>(page), s.top, 0};
    SCROLLINFO h{sizeof(SCROLLINFO),         SIF_ALL,   0, std::max(width - 1, 0),
                 static_cast<UINT>(c.right), s.originX, 0};
    SetScrollInfo(hwnd, SB_VERT, &v, s.redraw);
    SetScrollInfo(hwnd, SB_HORZ, &h, s.redraw);
}

void Changed(HWND hwnd, TreeState& s)
{
    UpdateScroll(hwnd, s);
    if (s.redraw)
        InvalidateRect(hwnd, nullptr, TRUE);
}

void ScrollTo(HWND hwnd, TreeState& s, int x, int top)
{
    const int oldX = s.originX;
    const int oldTop = s.top;
    s.originX = x;
    s.top = top;
    UpdateScroll(hwnd, s);
    if ((oldX != s.originX || oldTop != s.top) && s.redraw)
        InvalidateRect(hwnd, nullptr, TRUE);
}

bool Expand(HWND hwnd, TreeState& s, HTREEITEM item, UINT code, bool always);

/// Opens every collapsed ancestor and scrolls the item into view.
bool EnsureVisible(HWND hwnd, TreeState& s, HTREEITEM item)
{
    if (!Live(s, item))
        return false;
    std::vector<HTREEITEM> chain;
    for (HTREEITEM p = item->parent; p && p->parent; p = p->parent)
        chain.push_back(p);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if (Live(s, *it) && !Expanded(*it))
            Expand(hwnd, s, *it, TVE_EXPAND, false);
    if (!Live(s, item))
        return false;
    const int row = RowOf(s, item);
    if (row < 0)
        return false;
    const int page = RowsPerPage(hwnd, s);
    int top = s.top;
    if (row < top)
        top = row;
    else if (row >= top + page)
        top = row - page + 1;
    ScrollTo(hwnd, s, s.originX, top);
    return true;
}

bool Select(HWND hwnd, TreeState& s, HTREEITEM item, UINT action)
{
    if (item && !Live(s, item))
        return false;
    if (item == s.caret)
    {
        if (item)
            EnsureVisible(hwnd, s, item);
        return true;
    }
    HTREEITEM old = s.caret;
    if (NotifyTree(hwnd, TVN_SELCHANGINGA, action, old, item))
        return false;
    if (item && !Live(s, item))
        return false;
    if (Live(s, old))
        old->state &= ~TVIS_SELECTED;
    s.caret = item;
    if (item)
    {
        item->state |= TVIS_SELECTED;
        EnsureVisible(hwnd, s, item);
    }
    if (s.redraw)
        InvalidateRect(hwnd, nullptr, TRUE);
    NotifyTree(hwnd, TVN_SELCHANGEDA, action, Live(s, old) ? old : nullptr, Live(s, item) ? item : nullptr);
    return true;
}

bool IsAncestor(HTREEITEM ancestor, HTREEITEM item)
{
    for (HTREEITEM p = item ? item->parent : nullptr; p; p = p->parent)
        if (p == ancestor)
            return true;
    return false;
}

void Forget(TreeState& s, HTREEITEM item);

/// Expands or collapses. `always` (mouse, keyboard) sends TVN_ITEMEXPANDING/ED every time; TVM_EXPAND sends
/// them only until the item has been expanded once.
bool Expand(HWND hwnd, TreeState& s, HTREEITEM item, UINT code, bool always)
{
    if (!Live(s, item))
        return false;
    UINT action = code & TVE_TOGGLE;
    if (action == TVE_TOGGLE)
        action = Expanded(item) ? TVE_COLLAPSE : TVE_EXPAND;
    if (action == 0)
        return false;
    const bool expand = action == TVE_EXPAND;
    if (expand && !HasChildren(item))
        return false;
    if (expand == Expanded(item) && !(code & TVE_COLLAPSERESET))
        return true;
    const bool notify = always || !(item->state & TVIS_EXPANDEDONCE);
    if (notify && NotifyTree(hwnd, TVN_ITEMEXPANDINGA, action, nullptr, item))
        return false;
    if (!Live(s, item))
        return false;
    if (expand)
        item->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    else
    {
        item->state &= ~TVIS_EXPANDED;
        if (code & TVE_COLLAPSERESET)
        {
            item->state &= ~TVIS_EXPANDEDONCE;
            const std::vector<HTREEITEM> kids = item->kids;
            for (HTREEITEM kid : kids)
                Forget(s, kid);
            item->kids.clear();
        }
        if (s.caret && IsAncestor(item, s.caret))
            Select(hwnd, s, item, TVC_UNKNOWN);
    }
    Changed(hwnd, s);
    if (notify && Live(s, item))
        NotifyTree(hwnd, TVN_ITEMEXPANDEDA, action, nullptr, item);
    return true;
}

void Forget(TreeState& s, HTREEITEM item)
{
    for (HTREEITEM kid : item->kids)
        Forget(s, kid);
    if (s.caret == item)
        s.caret = nullptr;
    if (s.drop == item)
        s.drop = nullptr;
    if (s.pressed == item)
        s.pressed = nullptr;
    s.live.erase(item);
    delete item;
}

void NotifyDeletes(HWND hwnd, HTREEITEM item)
{
    const std::vector<HTREEITEM> kids = item->kids;
    for (HTREEITEM kid : kids)
        NotifyDeletes(hwnd, kid);
    NotifyTree(hwnd, TVN_DELETEITEMA, 0, item, nullptr);
}

bool Delete(HWND hwnd, TreeState& s, HTREEITEM item)
{
    if (!item || item == TVI_ROOT)
    {
        const std::vector<HTREEITEM> roots = s.root.kids;
        for (HTREEITEM r : roots)
            NotifyDeletes(hwnd, r);
        for (HTREEITEM r : s.root.kids)
            Forget(s, r);
        s.root.kids.clear();
        s.caret = s.drop = s.pressed = nullptr;
        s.top = s.originX = 0;
        Changed(hwnd, s);
        return true;
    }
    if (!Live(s, item))
        return false;
    // The selection moves to a neighbour when the selected item (or an ancestor of it) goes.
    HTREEITEM next = nullptr;
    const bool losesCaret = s.caret == item || IsAncestor(item, s.caret);
    if (losesCaret)
    {
        auto& siblings = item->parent->kids;
        const auto at = std::find(siblings.begin(), siblings.end(), item);
        if (at != siblings.end() && at + 1 != siblings.end())
            next = *(at + 1);
        else if (at != siblings.begin() && at != siblings.end())
            next = *(at - 1);
        else if (item->parent != &s.root)
            next = item->parent;
    }
    NotifyDeletes(hwnd, item);
    if (!Live(s, item))
        return true;
    auto& siblings = item->parent->kids;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
    Forget(s, item);
    Changed(hwnd, s);
    if (losesCaret && Live(s, next))
        Select(hwnd, s, next, TVC_UNKNOWN);
    return true;
}

HTREEITEM Insert(HWND hwnd, TreeState& s, const TVINSERTSTRUCTA* in)
{
    if (!in)
        return nullptr;
    HTREEITEM parent = in->hParent == TVI_ROOT || !in->hParent ? &s.root : in->hParent;
    if (parent != &s.root && !Live(s, parent))
        return nullptr;
    auto item = std::make_unique<_TREEITEM>();
    const TVITEMA& tv = in->item;
    if (tv.mask & TVIF_TEXT)
    {
        if (tv.pszText == LPSTR_TEXTCALLBACKA)
            item->textCallback = true;
        else if (tv.pszText)
            item->text = tv.pszText;
    }
    if (tv.mask & TVIF_IMAGE)
        item->image = tv.iImage;
    if (tv.mask & TVIF_SELECTEDIMAGE)
        item->selectedImage = tv.iSelectedImage;
    if (tv.mask & TVIF_PARAM)
        item->param = tv.lParam;
    if (tv.mask & TVIF_STATE)
        item->state = tv.state & tv.stateMask & ~TVIS_SELECTED;
    if (tv.mask & TVIF_CHILDREN)
        item->children = tv.cChildren;
    item->parent = parent;
    auto& kids = parent->kids;
    auto at = kids.end();
    if (in->hInsertAfter == TVI_FIRST)
        at = kids.begin();
    else if (in->hInsertAfter == TVI_SORT && !item->textCallback)
        at = std::find_if(kids.begin(), kids.end(),
                          [&](HTREEITEM k) { return strcasecmp(k->text.c_str(), item->text.c_str()) > 0; });
    else if (in->hInsertAfter != TVI_LAST && in->hInsertAfter != TVI_SORT)
    {
        const auto sibling = std::find(kids.begin(), kids.end(), in->hInsertAfter);
        if (sibling != kids.end())
            at = sibling + 1;
    }
    HTREEITEM raw = item.release();
    kids.insert(at, raw);
    s.live.insert(raw);
    Changed(hwnd, s);
    return raw;
}

bool GetItem(HWND hwnd, TreeState& s, TVITEMA* out)
{
    if (!out || !Live(s, out->hItem))
        return false;
    HTREEITEM item = out->hItem;
    if (out->mask & TVIF_TEXT)
    {
        const std::string text = TextOf(hwnd, s, item);
        platform::window::CopyTextOut(text.data(), text.size(), out->pszText, out->cchTextMax);
    }
    if (!Live(s, item))
        return false;
    if (out->mask & TVIF_IMAGE)
        out->iImage = item->image;
    if (out->mask & TVIF_SELECTEDIMAGE)
        out->iSelectedImage = item->selectedImage;
    if (out->mask & TVIF_PARAM)
        out->lParam = item->param;
    if (out->mask & TVIF_STATE)
        out->state = item->state & out->stateMask;
    if (out->mask & TVIF_CHILDREN)
        out->cChildren = item->kids.empty() ? item->children : 1;
    return true;
}

bool SetItem(HWND hwnd, TreeState& s, const TVITEMA* in)
{
    if (!in || !Live(s, in->hItem))
        return false;
    HTREEITEM item = in->hItem;
    if (in->mask & TVIF_TEXT)
    {
        item->textCallback = in->pszText == LPSTR_TEXTCALLBACKA;
        item->text = in->pszText && !item->textCallback ? in->pszText : "";
        item->textWidth = -1;
    }
    if (in->mask & TVIF_IMAGE)
        item->image = in->iImage;
    if (in->mask & TVIF_SELECTEDIMAGE)
        item->selectedImage = in->iSelectedImage;
    if (in->mask & TVIF_PARAM)
        item->param = in->lParam;
    if (in->mask & TVIF_STATE)
        item->state = (item->state & ~in->stateMask) | (in->state & in->stateMask);
    if (in->mask & TVIF_CHILDREN)
        item->children = in->cChildren;
    Changed(hwnd, s);
    return true;
}

HTREEITEM Sibling(HTREEITEM item, int delta)
{
    auto& kids = item->parent->kids;
    const auto at = std::find(kids.begin(), kids.end(), item);
    const long long i = (at - kids.begin()) + delta;
    return i >= 0 && i < static_cast<long long>(kids.size()) ? kids[static_cast<size_t>(i)] : nullptr;
}

HTREEITEM Next(TreeState& s, UINT code, HTREEITEM item)
{
    switch (code)
    {
    case TVGN_ROOT:
        return s.root.kids.empty() ? nullptr : s.root.kids.front();
    case TVGN_CARET:
        return s.caret;
    case TVGN_DROPHILITE:
        return s.drop;
    case TVGN_FIRSTVISIBLE:
    {
        const std::vector<HTREEITEM> rows = Visible(s);
        return s.top < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(s.top)] : nullptr;
    }
    case TVGN_LASTVISIBLE:
    {
        const std::vector<HTREEITEM> rows = Visible(s);
        return rows.empty() ? nullptr : rows.back();
    }
    case TVGN_CHILD:
        if (!item || item == TVI_ROOT)
            return s.root.kids.empty() ? nullptr : s.root.kids.front();
        return Live(s, item) && !item->kids.empty() ? item->kids.front() : nullptr;
    default:
        break;
    }
    if (!Live(s, item))
        return nullptr;
    switch (code)
    {
    case TVGN_NEXT:
        return Sibling(item, 1);
    case TVGN_PREVIOUS:
        return Sibling(item, -1);
    case TVGN_PARENT:
        return item->parent == &s.root ? nullptr : item->parent;
    case TVGN_NEXTVISIBLE:
    case TVGN_PREVIOUSVISIBLE:
    {
        const std::vector<HTREEITEM> rows = Visible(s);
        const auto at = std::find(rows.begin(), rows.end(), item);
        if (at == rows.end())
            return nullptr;
        if (code == TVGN_NEXTVISIBLE)
            return at + 1 == rows.end() ? nullptr : *(at + 1);
        return at == rows.begin() ? nullptr : *(at - 1);
    }
    default:
        return nullptr;
    }
}

HTREEITEM HitTest(HWND hwnd, TreeState& s, POINT p, UINT& flags)
{
    const RECT c = Client(hwnd);
    flags = 0;
    if (p.y < c.top)
        flags |= TVHT_ABOVE;
    if (p.y >= c.bottom)
        flags |= TVHT_BELOW;
    if (p.x < c.left)
        flags |= TVHT_TOLEFT;
    if (p.x >= c.right)
        flags |= TVHT_TORIGHT;
    if (flags)
        return nullptr;
    const std::vector<HTREEITEM> rows = Visible(s);
    const int row = s.top + p.y / RowHeight(hwnd, s);
    if (p.y < 0 || row >= static_cast<int>(rows.size()))
    {
        flags = TVHT_NOWHERE;
        return nullptr;
    }
    HTREEITEM item = rows[static_cast<size_t>(row)];
    RowRects r{};
    Rects(hwnd, s, item, r);
    if (p.x >= r.button.left && p.x < r.button.right && HasChildren(item) && (Style(hwnd) & TVS_HASBUTTONS) &&
        (item->parent != &s.root || (Style(hwnd) & TVS_LINESATROOT)))
        flags = TVHT_ONITEMBUTTON;
    else if (p.x < r.icon.left)
        flags = TVHT_ONITEMINDENT;
    else if (p.x < r.icon.right)
        flags = TVHT_ONITEMICON;
    else if (p.x < r.label.right)
        flags = TVHT_ONITEMLABEL;
    else
        flags = TVHT_ONITEMRIGHT;
    return item;
}

void DrawButton(HDC dc, const RECT& area, bool expanded)
{
    const int cx = (area.left + area.right) / 2;
    const int cy = (area.top + area.bottom) / 2;
    const RECT box{cx - kButtonSize / 2, cy - kButtonSize / 2, cx + kButtonSize / 2 + 1,
                   cy + kButtonSize / 2 + 1};
    HBRUSH white = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    FillRect(dc, &box, white);
    DeleteObject(white);
    HBRUSH frame = CreateSolidBrush(GetSysColor(COLOR_GRAYTEXT));
    FrameRect(dc, &box, frame);
    DeleteObject(frame);
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, cx - 2, cy, nullptr);
    LineTo(dc, cx + 3, cy);
    if (!expanded)
    {
        MoveToEx(dc, cx, cy - 2, nullptr);
        LineTo(dc, cx, cy + 3);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

void DrawDefault(HWND hwnd, TreeState& s, HDC dc, HTREEITEM item, const NMTVCUSTOMDRAW& cd)
{
    RowRects r{};
    if (!Rects(hwnd, s, item, r))
        return;
    const DWORD style = Style(hwnd);
    const bool showButton = (style & TVS_HASBUTTONS) && HasChildren(item) &&
                            (item->parent != &s.root || (style & TVS_LINESATROOT));
    if (style & TVS_HASLINES)
    {
        HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_GRAYTEXT));
        HGDIOBJ old = SelectObject(dc, pen);
        const int cx = (r.button.left + r.button.right) / 2;
        const int cy = (r.row.top + r.row.bottom) / 2;
        if (item->parent != &s.root || (style & TVS_LINESATROOT))
        {
            MoveToEx(dc, cx, r.row.top, nullptr);
            LineTo(dc, cx, Sibling(item, 1) ? r.row.bottom : cy);
            MoveToEx(dc, cx, cy, nullptr);
            LineTo(dc, r.button.right, cy);
        }
        // Lines of the ancestors that have further siblings below.
        int x = cx - s.indent;
        for (HTREEITEM p = item->parent; p && p->parent; p = p->parent, x -= s.indent)
            if (Sibling(p, 1) && (p->parent != &s.root || (style & TVS_LINESATROOT)))
            {
                MoveToEx(dc, x, r.row.top, nullptr);
                LineTo(dc, x, r.row.bottom);
            }
        SelectObject(dc, old);
        DeleteObject(pen);
    }
    if (showButton)
        DrawButton(dc, r.button, Expanded(item));
    const bool focus = GetFocus() == hwnd;
    const bool selected = (item == s.caret && (focus || (style & TVS_SHOWSELALWAYS))) || item == s.drop;
    if (s.lists[TVSIL_NORMAL])
    {
        const int image = item == s.caret ? item->selectedImage : item->image;
        const SIZE size = ImageSize(s);
        // Cut items are drawn faded towards the background; overlays (links, shares) go on top.
        const bool cut = (item->state & TVIS_CUT) != 0;
        ImageList_DrawEx(s.lists[TVSIL_NORMAL], image, dc, r.icon.left,
                         r.icon.top + std::max<int>(0, (r.icon.bottom - r.icon.top - size.cy) / 2), 0, 0,
                         CLR_NONE,
                         cut ? (s.back == CLR_DEFAULT ? GetSysColor(COLOR_WINDOW) : s.back) : CLR_DEFAULT,
                         (cut ? ILD_BLEND50 : ILD_NORMAL) | (item->state & TVIS_OVERLAYMASK));
    }
    HGDIOBJ oldFont = SelectObject(dc, FontOf(s));
    SetBkMode(dc, TRANSPARENT);
    if (selected)
    {
        HBRUSH brush =
            CreateSolidBrush(GetSysColor(focus || item == s.drop ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
        FillRect(dc, &r.label, brush);
        DeleteObject(brush);
        SetTextColor(dc, GetSysColor(focus || item == s.drop ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    }
    else
        SetTextColor(dc, cd.clrText);
    RECT text = r.label;
    text.left += 2;
    const std::string label = TextOf(hwnd, s, item);
    DrawText(dc, label.c_str(), static_cast<int>(label.size()), &text,
             DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

void Paint(HWND hwnd, TreeState& s)
{
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    const RECT c = Client(hwnd);
    HBRUSH brush = CreateSolidBrush(s.back == CLR_DEFAULT ? GetSysColor(COLOR_WINDOW) : s.back);
    FillRect(dc, &c, brush);
    DeleteObject(brush);
    HGDIOBJ oldFont = SelectObject(dc, FontOf(s));
    SetTextColor(dc, s.text == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : s.text);
    const LRESULT wants =
        platform::listview::detail::NotifyPaintStage<NMTVCUSTOMDRAW>(hwnd, CDDS_PREPAINT, dc, c);
    if (!(wants & CDRF_SKIPDEFAULT))
    {
        const std::vector<HTREEITEM> rows = Visible(s);
        const int h = RowHeight(hwnd, s);
        for (int row = s.top; row < static_cast<int>(rows.size()) && (row - s.top) * h < c.bottom; ++row)
        {
            HTREEITEM item = rows[static_cast<size_t>(row)];
            if (!Live(s, item))
                break;
            NMTVCUSTOMDRAW cd{};
            cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
            cd.nmcd.hdc = dc;
            cd.nmcd.rc = RECT{0, (row - s.top) * h, c.right, (row - s.top + 1) * h};
            cd.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(item);
            cd.nmcd.uItemState = (item == s.caret ? CDIS_SELECTED : 0u) |
                                 (item == s.caret && GetFocus() == hwnd ? CDIS_FOCUS : 0u);
            cd.nmcd.lItemlParam = item->param;
            cd.clrText = s.text == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : s.text;
            cd.clrTextBk = CLR_NONE;
            cd.iLevel = Level(item);
            const LRESULT itemWants = platform::listview::detail::NotifyItemPrePaint(hwnd, cd.nmcd, wants);
            if (!Live(s, item))
                break;
            if (!(itemWants & CDRF_SKIPDEFAULT))
                DrawDefault(hwnd, s, dc, item, cd);
            platform::listview::detail::NotifyItemPostPaint(hwnd, cd.nmcd, itemWants);
        }
    }
    if (wants & CDRF_NOTIFYPOSTPAINT)
        platform::listview::detail::NotifyPaintStage<NMTVCUSTOMDRAW>(hwnd, CDDS_POSTPAINT, dc, c);
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

void Scroll(HWND hwnd, TreeState& s, bool vertical, WORD code, int thumb)
{
    int pos = vertical ? s.top : s.originX;
    const int line = vertical ? 1 : s.indent;
    const int page = vertical ? RowsPerPage(hwnd, s) : static_cast<int>(Client(hwnd).right);
    if (!platform::window::ScrollRequestPosition(code, line, page, thumb, 0x7FFFFFF, pos))
        return;
    if (vertical)
        ScrollTo(hwnd, s, s.originX, pos);
    else
        ScrollTo(hwnd, s, pos, s.top);
}

void KeyDown(HWND hwnd, TreeState& s, UINT key)
{
    NMTVKEYDOWN nm{};
    nm.wVKey = static_cast<WORD>(key);
    Notify(hwnd, nm.hdr, TVN_KEYDOWN);
    const std::vector<HTREEITEM> rows = Visible(s);
    if (rows.empty())
        return;
    HTREEITEM caret = Live(s, s.caret) ? s.caret : nullptr;
    const int row = caret ? RowOf(s, caret) : -1;
    const int last = static_cast<int>(rows.size()) - 1;
    auto go = [&](int r)
    { Select(hwnd, s, rows[static_cast<size_t>(std::clamp(r, 0, last))], TVC_BYKEYBOARD); };
    switch (key)
    {
    case VK_UP:
        go(row < 0 ? 0 : row - 1);
        break;
    case VK_DOWN:
        go(row + 1);
        break;
    case VK_PRIOR:
        go(row - RowsPerPage(hwnd, s) + 1);
        break;
    case VK_NEXT:
        go(row + RowsPerPage(hwnd, s) - 1);
        break;
    case VK_HOME:
        go(0);
        break;
    case VK_END:
        go(last);
        break;
    case VK_LEFT:
        if (caret && Expanded(caret))
            Expand(hwnd, s, caret, TVE_COLLAPSE, true);
        else if (caret && caret->parent != &s.root)
            Select(hwnd, s, caret->parent, TVC_BYKEYBOARD);
        break;
    case VK_RIGHT:
        if (caret && !Expanded(caret))
            Expand(hwnd, s, caret, TVE_EXPAND, true);
        else if (caret && !caret->kids.empty())
            Select(hwnd, s, caret->kids.front(), TVC_BYKEYBOARD);
        break;
    case VK_ADD:
        if (caret)
            Expand(hwnd, s, caret, TVE_EXPAND, true);
        break;
    case VK_SUBTRACT:
        if (caret)
            Expand(hwnd, s, caret, TVE_COLLAPSE, true);
        break;
    case VK_RETURN:
    {
        NMHDR header{};
        Notify(hwnd, header, NM_RETURN);
        break;
    }
    default:
        break;
    }
}

void SortKids(TreeState& s, HTREEITEM parent, bool recurse, PFNTVCOMPARE compare, LPARAM data)
{
    auto& kids = parent->kids;
    if (compare)
        std::stable_sort(kids.begin(), kids.end(),
                         [&](HTREEITEM a, HTREEITEM b) { return compare(a->param, b->param, data) < 0; });
    else
        std::stable_sort(kids.begin(), kids.end(),
                         [](HTREEITEM a, HTREEITEM b)
                         { return strcasecmp(a->text.c_str(), b->text.c_str()) < 0; });
    if (recurse)
        for (HTREEITEM kid : kids)
            SortKids(s, kid, true, compare, data);
}

LRESULT Handle(HWND hwnd, TreeState& s, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto item = reinterpret_cast<HTREEITEM>(lParam);
    switch (msg)
    {
    case TVM_INSERTITEMA:
        return reinterpret_cast<LRESULT>(Insert(hwnd, s, reinterpret_cast<const TVINSERTSTRUCTA*>(lParam)));
    case TVM_DELETEITEM:
        return Delete(hwnd, s, item) ? TRUE : FALSE;
    case TVM_EXPAND:
        return Expand(hwnd, s, item, static_cast<UINT>(wParam), false) ? TRUE : FALSE;
    case TVM_GETITEMA:
        return GetItem(hwnd, s, reinterpret_cast<TVITEMA*>(lParam)) ? TRUE : FALSE;
    case TVM_SETITEMA:
        return SetItem(hwnd, s, reinterpret_cast<const TVITEMA*>(lParam)) ? TRUE : FALSE;
    case TVM_GETITEMSTATE:
    {
        auto* target = reinterpret_cast<HTREEITEM>(wParam);
        return Live(s, target) ? static_cast<LRESULT>(target->state & static_cast<UINT>(lParam)) : 0;
    }
    case TVM_GETNEXTITEM:
        return reinterpret_cast<LRESULT>(Next(s, static_cast<UINT>(wParam), item));
    case TVM_SELECTITEM:
        switch (wParam)
        {
        case TVGN_CARET:
            return Select(hwnd, s, item, TVC_UNKNOWN) ? TRUE : FALSE;
        case TVGN_DROPHILITE:
            if (item && !Live(s, item))
                return FALSE;
            s.drop = item;
            if (s.redraw)
                InvalidateRect(hwnd, nullptr, TRUE);
            return TRUE;
        case TVGN_FIRSTVISIBLE:
        {
            if (!EnsureVisible(hwnd, s, item))
                return FALSE;
            ScrollTo(hwnd, s, s.originX, RowOf(s, item));
            return TRUE;
        }
        default:
            return FALSE;
        }
    case TVM_ENSUREVISIBLE:
        return EnsureVisible(hwnd, s, item) ? TRUE : FALSE;
    case TVM_GETITEMRECT:
    {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect)
            return FALSE;
        HTREEITEM target = nullptr;
        std::memcpy(&target, rect, sizeof target);
        RowRects r{};
        if (!Live(s, target) || !Rects(hwnd, s, target, r))
            return FALSE;
        *rect = wParam ? r.label : r.row;
        return TRUE;
    }
    case TVM_HITTEST:
    {
        auto* info = reinterpret_cast<TVHITTESTINFO*>(lParam);
        if (!info)
            return 0;
        info->hItem = HitTest(hwnd, s, info->pt, info->flags);
        return reinterpret_cast<LRESULT>(info->hItem);
    }
    case TVM_GETCOUNT:
        return static_cast<LRESULT>(s.live.size());
    case TVM_GETVISIBLECOUNT:
        return RowsPerPage(hwnd, s);
    case TVM_GETINDENT:
        return s.indent;
    case TVM_SETINDENT:
        s.indent = std::max(static_cast<int>(wParam), 4);
        Changed(hwnd, s);
        return 0;
    case TVM_GETITEMHEIGHT:
        return RowHeight(hwnd, s);
    case TVM_SETITEMHEIGHT:
    {
        const int old = RowHeight(hwnd, s);
        const int height = static_cast<short>(LOWORD(wParam));
        s.itemHeight = height > 0 ? height : 0;
        Changed(hwnd, s);
        return old;
    }
    case TVM_GETIMAGELIST:
        return wParam <= 2 ? reinterpret_cast<LRESULT>(s.lists[wParam]) : 0;
    case TVM_SETIMAGELIST:
    {
        if (wParam > 2)
            return 0;
        HIMAGELIST old = s.lists[wParam];
        s.lists[wParam] = reinterpret_cast<HIMAGELIST>(lParam);
        Changed(hwnd, s);
        return reinterpret_cast<LRESULT>(old);
    }
    case TVM_SORTCHILDREN:
    {
        HTREEITEM parent = !item || item == TVI_ROOT ? &s.root : item;
        if (parent != &s.root && !Live(s, parent))
            return FALSE;
        SortKids(s, parent, wParam != 0, nullptr, 0);
        Changed(hwnd, s);
        return TRUE;
    }
    case TVM_SORTCHILDRENCB:
    {
        auto* sort = reinterpret_cast<const TVSORTCB*>(lParam);
        if (!sort || !sort->lpfnCompare)
            return FALSE;
        HTREEITEM parent = !sort->hParent || sort->hParent == TVI_ROOT ? &s.root : sort->hParent;
        if (parent != &s.root && !Live(s, parent))
            return FALSE;
        SortKids(s, parent, wParam != 0, sort->lpfnCompare, sort->lParam);
        Changed(hwnd, s);
        return TRUE;
    }
    case TVM_GETBKCOLOR:
        return static_cast<LRESULT>(s.back == CLR_DEFAULT ? static_cast<COLORREF>(-1) : s.back);
    case TVM_SETBKCOLOR:
    {
        const COLORREF old = s.back;
        s.back = lParam == -1 ? CLR_DEFAULT : static_cast<COLORREF>(lParam);
        Changed(hwnd, s);
        return static_cast<LRESULT>(old == CLR_DEFAULT ? static_cast<COLORREF>(-1) : old);
    }
    case TVM_GETTEXTCOLOR:
        return static_cast<LRESULT>(s.text == CLR_DEFAULT ? static_cast<COLORREF>(-1) : s.text);
    case TVM_SETTEXTCOLOR:
    {
        const COLORREF old = s.text;
        s.text = lParam == -1 ? CLR_DEFAULT : static_cast<COLORREF>(lParam);
        Changed(hwnd, s);
        return static_cast<LRESULT>(old == CLR_DEFAULT ? static_cast<COLORREF>(-1) : old);
    }
    case TVM_GETTOOLTIPS:
        return reinterpret_cast<LRESULT>(s.tooltips);
    case TVM_SETTOOLTIPS:
    {
        HWND old = s.tooltips;
        s.tooltips = reinterpret_cast<HWND>(wParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case TVM_GETEDITCONTROL:
        return 0;
    case WM_SETFONT:
        s.font = reinterpret_cast<HFONT>(wParam);
        s.textHeight = 0;
        for (HTREEITEM each : s.live)
            each->textWidth = -1;
        Changed(hwnd, s);
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
    {
        if (GetFocus() != hwnd)
            SetFocus(hwnd);
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        UINT flags = 0;
        HTREEITEM hit = HitTest(hwnd, s, p, flags);
        s.pressed = nullptr;
        s.dragged = false;
        if (msg == WM_LBUTTONDOWN && hit && (flags & TVHT_ONITEMBUTTON))
        {
            Expand(hwnd, s, hit, TVE_TOGGLE, true);
            return 0;
        }
        if (msg == WM_LBUTTONDOWN && hit && (flags & (TVHT_ONITEM | TVHT_ONITEMRIGHT)))
            Select(hwnd, s, hit, TVC_BYMOUSE);
        if (hit && (flags & TVHT_ONITEM))
        {
            s.pressed = hit;
            s.pressedRight = msg == WM_RBUTTONDOWN;
            s.pressPoint = p;
            SetCapture(hwnd);
        }
        return 0;
    }
    case WM_LBUTTONDBLCLK:
    {
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        UINT flags = 0;
        HTREEITEM hit = HitTest(hwnd, s, p, flags);
        NMHDR header{};
        if (!Notify(hwnd, header, NM_DBLCLK) && Live(s, hit) && (flags & TVHT_ONITEM))
            Expand(hwnd, s, hit, TVE_TOGGLE, true);
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    {
        const bool clicked = !s.dragged;
        s.pressed = nullptr;
        s.dragged = false;
        if (GetCapture() == hwnd)
            ReleaseCapture();
        if (clicked)
        {
            NMHDR header{};
            const LRESULT handled = Notify(hwnd, header, msg == WM_LBUTTONUP ? NM_CLICK : NM_RCLICK);
            if (msg == WM_RBUTTONUP && !handled && IsWindow(hwnd))
            {
                POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
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
        if (Live(s, s.pressed) && !s.dragged && down && !(Style(hwnd) & TVS_DISABLEDRAGDROP) &&
            (std::abs(p.x - s.pressPoint.x) > kDragDistance ||
             std::abs(p.y - s.pressPoint.y) > kDragDistance))
        {
            s.dragged = true;
            HTREEITEM dragged = s.pressed;
            s.pressed = nullptr;
            if (GetCapture() == hwnd)
                ReleaseCapture();
            NotifyTree(hwnd, s.pressedRight ? TVN_BEGINRDRAGA : TVN_BEGINDRAGA, 0, nullptr, dragged,
                       s.pressPoint);
        }
        return 0;
    }
    case WM_MOUSEWHEEL:
    {
        const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
        ScrollTo(hwnd, s, s.originX, s.top - 3 * notches);
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

LRESULT CALLBACK TreeViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TreeState* state = platform::window::ControlStateFor<TreeState>(hwnd, msg);
    if (!state)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    if (msg == WM_DESTROY)
    {
        // Owners free their item data on TVN_DELETEITEM, so every item is reported while the window lives.
        Delete(hwnd, *state, TVI_ROOT);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    return Handle(hwnd, *state, msg, wParam, lParam);
}
} // namespace

BOOL InitTreeViewClass()
{
    static const BOOL registered = platform::window::RegisterControlClass(WC_TREEVIEW, TreeViewProc);
    return registered;
}

// --- CTreeCtrl -----------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CTreeCtrl, CWnd)

CTreeCtrl::CTreeCtrl()
{
    InitTreeViewClass();
}

BOOL CTreeCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    InitTreeViewClass();
    return CWnd::Create(WC_TREEVIEW, nullptr, style, rect, parent, id);
}

BOOL CTreeCtrl::CreateEx(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    InitTreeViewClass();
    return CWnd::CreateEx(exStyle, WC_TREEVIEW, nullptr, style, rect, parent, id);
}

HTREEITEM CTreeCtrl::InsertItem(LPTVINSERTSTRUCT insert)
{
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(insert)));
}

HTREEITEM CTreeCtrl::InsertItem(UINT mask, LPCTSTR text, int image, int selectedImage, UINT state,
                                UINT stateMask, LPARAM lParam, HTREEITEM parent, HTREEITEM after)
{
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = mask;
    insert.item.pszText = const_cast<LPSTR>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.state = state;
    insert.item.stateMask = stateMask;
    insert.item.lParam = lParam;
    return InsertItem(&insert);
}

HTREEITEM CTreeCtrl::InsertItem(LPCTSTR text, HTREEITEM parent, HTREEITEM after)
{
    return InsertItem(TVIF_TEXT, text, 0, 0, 0, 0, 0, parent, after);
}

HTREEITEM CTreeCtrl::InsertItem(LPCTSTR text, int image, int selectedImage, HTREEITEM parent, HTREEITEM after)
{
    return InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, text, image, selectedImage, 0, 0, 0,
                      parent, after);
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM item)
{
    return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::DeleteAllItems()
{
    return DeleteItem(TVI_ROOT);
}

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code)
{
    return static_cast<BOOL>(SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::GetItem(TVITEM* item) const
{
    return static_cast<BOOL>(SendMessage(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::SetItem(TVITEM* item)
{
    return static_cast<BOOL>(SendMessage(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::SetItem(HTREEITEM item, UINT mask, LPCTSTR text, int image, int selectedImage, UINT state,
                        UINT stateMask, LPARAM lParam)
{
    TVITEMA tv{mask, item, state, stateMask, const_cast<LPSTR>(text), 0, image, selectedImage, 0, lParam};
    return SetItem(&tv);
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const
{
    char buffer[kMaxTextLength + 1] = {};
    TVITEMA tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = sizeof buffer;
    GetItem(&tv);
    return CString(buffer);
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, LPCTSTR text)
{
    return SetItem(item, TVIF_TEXT, text, 0, 0, 0, 0, 0);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const
{
    TVITEMA tv{};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    return GetItem(&tv) ? static_cast<DWORD_PTR>(tv.lParam) : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data)
{
    return SetItem(item, TVIF_PARAM, nullptr, 0, 0, 0, 0, static_cast<LPARAM>(data));
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const
{
    TVITEMA tv{};
    tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.hItem = item;
    if (!GetItem(&tv))
        return FALSE;
    image = tv.iImage;
    selectedImage = tv.iSelectedImage;
    return TRUE;
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM item, int image, int selectedImage)
{
    return SetItem(item, TVIF_IMAGE | TVIF_SELECTEDIMAGE, nullptr, image, selectedImage, 0, 0, 0);
}

UINT CTreeCtrl::GetItemState(HTREEITEM item, UINT mask) const
{
    return static_cast<UINT>(
        SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), static_cast<LPARAM>(mask)));
}

BOOL CTreeCtrl::SetItemState(HTREEITEM item, UINT state, UINT mask)
{
    return SetItem(item, TVIF_STATE, nullptr, 0, 0, state, mask, 0);
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const
{
    TVITEMA tv{};
    tv.mask = TVIF_CHILDREN;
    tv.hItem = item;
    return GetItem(&tv) && tv.cChildren != 0;
}

HTREEITEM CTreeCtrl::GetNextItem(HTREEITEM item, UINT code) const
{
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM CTreeCtrl::GetRootItem() const
{
    return GetNextItem(nullptr, TVGN_ROOT);
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const
{
    return GetNextItem(item, TVGN_CHILD);
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const
{
    return GetNextItem(item, TVGN_NEXT);
}

HTREEITEM CTreeCtrl::GetPrevSiblingItem(HTREEITEM item) const
{
    return GetNextItem(item, TVGN_PREVIOUS);
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const
{
    return GetNextItem(item, TVGN_PARENT);
}

HTREEITEM CTreeCtrl::GetFirstVisibleItem() const
{
    return GetNextItem(nullptr, TVGN_FIRSTVISIBLE);
}

HTREEITEM CTreeCtrl::GetNextVisibleItem(HTREEITEM item) const
{
    return GetNextItem(item, TVGN_NEXTVISIBLE);
}

HTREEITEM CTreeCtrl::GetPrevVisibleItem(HTREEITEM item) const
{
    return GetNextItem(item, TVGN_PREVIOUSVISIBLE);
}

HTREEITEM CTreeCtrl::GetSelectedItem() const
{
    return GetNextItem(nullptr, TVGN_CARET);
}

HTREEITEM CTreeCtrl::GetDropHilightItem() const
{
    return GetNextItem(nullptr, TVGN_DROPHILITE);
}

BOOL CTreeCtrl::Select(HTREEITEM item, UINT code)
{
    return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, code, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::SelectItem(HTREEITEM item)
{
    return Select(item, TVGN_CARET);
}

BOOL CTreeCtrl::SelectDropTarget(HTREEITEM item)
{
    return Select(item, TVGN_DROPHILITE);
}

BOOL CTreeCtrl::SelectSetFirstVisible(HTREEITEM item)
{
    return Select(item, TVGN_FIRSTVISIBLE);
}

BOOL CTreeCtrl::EnsureVisible(HTREEITEM item)
{
    return static_cast<BOOL>(SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM CTreeCtrl::HitTest(CPoint point, UINT* flags) const
{
    TVHITTESTINFO info{};
    info.pt = point;
    HTREEITEM item = HitTest(&info);
    if (flags)
        *flags = info.flags;
    return item;
}

HTREEITEM CTreeCtrl::HitTest(TVHITTESTINFO* info) const
{
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(info)));
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM item, LPRECT rect, BOOL textOnly) const
{
    if (!rect)
        return FALSE;
    std::memcpy(rect, &item, sizeof item);
    return static_cast<BOOL>(
        SendMessage(TVM_GETITEMRECT, static_cast<WPARAM>(textOnly), reinterpret_cast<LPARAM>(rect)));
}

UINT CTreeCtrl::GetCount() const
{
    return static_cast<UINT>(SendMessage(TVM_GETCOUNT));
}

UINT CTreeCtrl::GetVisibleCount() const
{
    return static_cast<UINT>(SendMessage(TVM_GETVISIBLECOUNT));
}

UINT CTreeCtrl::GetIndent() const
{
    return static_cast<UINT>(SendMessage(TVM_GETINDENT));
}

void CTreeCtrl::SetIndent(UINT indent)
{
    SendMessage(TVM_SETINDENT, indent);
}

SHORT CTreeCtrl::GetItemHeight() const
{
    return static_cast<SHORT>(SendMessage(TVM_GETITEMHEIGHT));
}

SHORT CTreeCtrl::SetItemHeight(SHORT height)
{
    return static_cast<SHORT>(SendMessage(TVM_SETITEMHEIGHT, static_cast<WPARAM>(static_cast<WORD>(height))));
}

CImageList* CTreeCtrl::GetImageList(int type) const
{
    return CImageList::FromHandle(
        reinterpret_cast<HIMAGELIST>(SendMessage(TVM_GETIMAGELIST, static_cast<WPARAM>(type))));
}

CImageList* CTreeCtrl::SetImageList(CImageList* list, int type)
{
    return CImageList::FromHandle(reinterpret_cast<HIMAGELIST>(
        SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(type),
                    reinterpret_cast<LPARAM>(list ? list->GetSafeHandle() : nullptr))));
}

BOOL CTreeCtrl::SortChildren(HTREEITEM item)
{
    return static_cast<BOOL>(SendMessage(TVM_SORTCHILDREN, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::SortChildrenCB(LPTVSORTCB sort)
{
    return static_cast<BOOL>(SendMessage(TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(sort)));
}

COLORREF CTreeCtrl::GetBkColor() const
{
    return static_cast<COLORREF>(SendMessage(TVM_GETBKCOLOR));
}

COLORREF CTreeCtrl::SetBkColor(COLORREF color)
{
    return static_cast<COLORREF>(SendMessage(TVM_SETBKCOLOR, 0, static_cast<LPARAM>(color)));
}

COLORREF CTreeCtrl::GetTextColor() const
{
    return static_cast<COLORREF>(SendMessage(TVM_GETTEXTCOLOR));
}

COLORREF CTreeCtrl::SetTextColor(COLORREF color)
{
    return static_cast<COLORREF>(SendMessage(TVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(color)));
}

CToolTipCtrl* CTreeCtrl::GetToolTips() const
{
    return static_cast<CToolTipCtrl*>(CWnd::FromHandle(reinterpret_cast<HWND>(SendMessage(TVM_GETTOOLTIPS))));
}

CToolTipCtrl* CTreeCtrl::SetToolTips(CToolTipCtrl* tip)
{
    return static_cast<CToolTipCtrl*>(CWnd::FromHandle(reinterpret_cast<HWND>(
        SendMessage(TVM_SETTOOLTIPS, reinterpret_cast<WPARAM>(tip ? tip->GetSafeHwnd() : nullptr)))));
}
