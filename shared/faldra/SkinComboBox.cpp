#include "shared/faldra/SkinComboBox.h"

#include "shared/exceptions/Exceptions.h"

#include <algorithm>
#include <cstring>
#include <vector>

#define FALDRA_REQUIRE_POPUP()                                                                               \
    if (!GetPopupCtrl())                                                                                     \
    throw CNullPointerException(THROW_SITE_MESSAGE("No popup control instantiated"))

namespace faldra
{
namespace
{
constexpr UINT kRedraw = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW;
}

// --- CCustomComboBox<CCBDlgCtrl>
// ----------------------------------------------------------------------------

CCustomComboBox<CCBDlgCtrl>::~CCustomComboBox()
{
    delete m_popup;
}

void CCustomComboBox<CCBDlgCtrl>::PreSubclassWindow()
{
    ReplaceStdCtrl();
}

void CCustomComboBox<CCBDlgCtrl>::ReplaceStdCtrl()
{
    COMBOBOXINFO info{sizeof(COMBOBOXINFO), {}, {}, 0, nullptr, nullptr, nullptr};
    ::GetComboBoxInfo(m_hWnd, &info);
    CListBox list;
    CListBox* native = nullptr;
    if (info.hwndList && list.Attach(info.hwndList))
        native = &list;
    CCBDlgCtrl* popup = m_factory.CreateCBPopupCtl(native, *this);
    if (!popup)
    {
        if (native)
            list.Detach();
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot create custom popup control"));
    }
    delete m_popup;
    m_popup = popup;
    if (native)
    {
        list.SendMessage(LB_RESETCONTENT);
        list.Detach();
    }
}

void CCustomComboBox<CCBDlgCtrl>::Redraw()
{
    RedrawWindow(nullptr, nullptr, kRedraw);
}

void CCustomComboBox<CCBDlgCtrl>::SetTextFromItem(int index)
{
    CString text;
    if (index != -1)
        m_popup->GetText(index, text);
    CWnd::DefWindowProc(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(static_cast<LPCTSTR>(text)));
}

void CCustomComboBox<CCBDlgCtrl>::Notify(UINT code)
{
    if (HWND parent = ::GetParent(m_hWnd))
        ::SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID()), code),
                      reinterpret_cast<LPARAM>(m_hWnd));
}

LRESULT CCustomComboBox<CCBDlgCtrl>::DoShowDropDown(WPARAM show)
{
    if (!m_popup || show == static_cast<WPARAM>(m_dropped))
        return 0;
    UINT code = 0;
    if (show)
    {
        m_dropped = true;
        CRect window;
        GetWindowRect(&window);
        m_popup->SetWindowPos(&CWnd::wndTopMost, window.left, window.bottom - 2, 0, 0,
                              SWP_NOSIZE | SWP_SHOWWINDOW);
        m_popup->Notify(CBN_DROPDOWN, 0, 0);
        Redraw();
        code = CBN_DROPDOWN;
    }
    else
    {
        m_dropped = false;
        CRect popupRect;
        m_popup->GetWindowRect(&popupRect);
        CWnd* parent = GetParent();
        if (parent)
            parent->ScreenToClient(&popupRect);
        m_popup->ShowWindow(SW_HIDE);
        m_popup->Notify(CBN_CLOSEUP, 0, 0);
        Redraw();
        if (parent)
            parent->RedrawWindow(&popupRect, nullptr, kRedraw);
        code = CBN_CLOSEUP;
    }
    if (GetStyle() & 0x3)
        Notify(code);
    return 0;
}

LRESULT CCustomComboBox<CCBDlgCtrl>::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto text = reinterpret_cast<const char*>(lParam);
    const auto index = static_cast<int>(static_cast<INT_PTR>(wParam));
    switch (message)
    {
    case CB_GETCOUNT:
        return m_popup ? m_popup->GetCount() : 0;
    case CB_GETCURSEL:
        return m_popup ? m_popup->GetCurSel() : 0;
    case CB_ADDSTRING:
        return m_popup ? m_popup->AddString(text) : 0;
    case CB_INSERTSTRING:
        return m_popup ? m_popup->InsertString(index, text) : 0;
    case CB_DIR:
        return m_popup ? m_popup->Dir(static_cast<UINT>(wParam), text) : 0;
    case CB_FINDSTRING:
        return m_popup ? m_popup->FindString(index, text) : 0;
    case CB_FINDSTRINGEXACT:
        return m_popup ? m_popup->FindStringExact(index, text) : 0;
    case CB_GETLBTEXT:
        return m_popup ? m_popup->GetText(index, reinterpret_cast<char*>(lParam)) : 0;
    case CB_GETLBTEXTLEN:
        return m_popup ? m_popup->GetTextLen(index) : 0;
    case CB_SETCURSEL:
    {
        if (!m_popup)
            return 0;
        const int result = m_popup->SetCurSel(index);
        SetTextFromItem(result != -1 ? index : -1);
        Redraw();
        return result;
    }
    case CB_SELECTSTRING:
    {
        if (!m_popup)
            return 0;
        const int result = m_popup->SelectString(index, text);
        if (result != -1)
        {
            SetTextFromItem(result);
            Redraw();
        }
        return result;
    }
    case CB_DELETESTRING:
    {
        if (!m_popup)
            return 0;
        const int result = m_popup->DeleteString(static_cast<UINT>(wParam));
        Redraw();
        return result;
    }
    case CB_RESETCONTENT:
        if (m_popup)
        {
            m_popup->ResetContent();
            Redraw();
        }
        return 0;
    case CB_SHOWDROPDOWN:
        return DoShowDropDown(wParam);
    case CB_GETDROPPEDSTATE:
        return m_dropped ? 1 : 0;
    case CB_GETDROPPEDCONTROLRECT:
        if (m_popup && lParam)
            m_popup->GetWindowRect(reinterpret_cast<RECT*>(lParam));
        return 0;
    case WM_GETTEXT:
    {
        const auto size = static_cast<size_t>(wParam);
        auto* buffer = reinterpret_cast<char*>(lParam);
        if (!m_popup || size == 0 || !buffer)
            return 0;
        CString current;
        const int selection = m_popup->GetCurSel();
        if (selection != -1)
            m_popup->GetText(selection, current);
        const size_t length = static_cast<size_t>(current.GetLength());
        const size_t copied = std::min(length, size - 1);
        std::memcpy(buffer, static_cast<LPCTSTR>(current), copied);
        buffer[copied] = '\0';
        return copied == length ? static_cast<LRESULT>(copied) : 0;
    }
    case WM_GETTEXTLENGTH:
        return m_popup ? m_popup->GetTextLen(m_popup->GetCurSel()) : 0;
    case WM_KEYDOWN:
        if (!m_popup)
            return 0;
        if (wParam == VK_RETURN)
        {
            PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID()), CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(m_hWnd));
            SendMessage(CB_SHOWDROPDOWN, !SendMessage(CB_GETDROPPEDSTATE));
        }
        else if (wParam == VK_F4)
            SendMessage(CB_SHOWDROPDOWN, !SendMessage(CB_GETDROPPEDSTATE));
        else if (wParam == VK_UP || wParam == VK_DOWN)
        {
            m_popup->SendMessage(WM_KEYDOWN, wParam, lParam);
            Redraw();
        }
        return 0;
    case WM_SYSKEYDOWN:
        if ((wParam == VK_UP || wParam == VK_DOWN) && IsWindowEnabled())
            SendMessage(CB_SHOWDROPDOWN, !SendMessage(CB_GETDROPPEDSTATE));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!m_popup)
            break;
        SetFocus();
        if (::GetFocus() == m_hWnd && !m_dropped)
            SendMessage(CB_SHOWDROPDOWN, TRUE);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    {
        const HWND other = reinterpret_cast<HWND>(wParam);
        if (m_popup && other &&
            (other == m_popup->GetSafeHwnd() || ::GetAncestor(other, GA_ROOT) == m_popup->GetSafeHwnd()))
            return 0;
        Notify(message == WM_SETFOCUS ? CBN_SETFOCUS : CBN_KILLFOCUS);
        Redraw();
        UpdateWindow();
        return 0;
    }
    case WM_DESTROY:
    {
        const LRESULT result = CComboBox::WindowProc(message, wParam, lParam);
        if (m_popup)
        {
            m_popup->Destroy();
            delete m_popup;
            m_popup = nullptr;
        }
        return result;
    }
    default:
        break;
    }
    return CComboBox::WindowProc(message, wParam, lParam);
}

BOOL CCustomComboBox<CCBDlgCtrl>::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_COMMAND && HIWORD(wParam) == CBN_EDITCHANGE)
        SendMessage(CB_SETCURSEL, static_cast<WPARAM>(-1));
    return CComboBox::OnChildNotify(message, wParam, lParam, result);
}

// --- CSkinComboBox ----------------------------------------------------------------------------------------

CCBDlgCtrl* CSkinComboBox::CPopupInternalFactory::CreateCBPopupCtl(CListBox* list, CComboBox& combo)
{
    if (!list)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Invalid control to clone"));
    auto* popup = new (std::nothrow) CCBDlgCtrl(combo);
    if (!popup)
        return nullptr;
    CRect rect;
    list->GetWindowRect(&rect);
    rect.right += m_extraWidth;
    if (!popup->Create(rect, list->GetStyle(), CSize(1, 1)))
    {
        delete popup;
        return nullptr;
    }
    if (combo.GetExStyle() & WS_EX_LAYOUTRTL)
        ::SetWindowLongPtr(popup->GetSafeHwnd(), GWL_EXSTYLE,
                           static_cast<LONG_PTR>(popup->GetExStyle() & WS_EX_LAYOUTRTL));
    for (int i = 0; i < list->GetCount(); ++i)
    {
        CString text;
        list->GetText(i, text);
        const int j = popup->InsertString(i, text);
        if (j >= 0)
            popup->SetItemData(j, static_cast<DWORD>(list->GetItemData(i)));
    }
    return popup;
}

BEGIN_MESSAGE_MAP(CSkinComboBox, CComboBox)
ON_WM_PAINT()
END_MESSAGE_MAP()

CSkinComboBox::CSkinComboBox(int extraPopupWidth)
    : CCustomComboBox<CCBDlgCtrl>(m_factory), m_factory(extraPopupWidth)
{
}

CSkinComboBox::~CSkinComboBox() = default;

void CSkinComboBox::PreSubclassWindow()
{
    COMBOBOXINFO info{sizeof(COMBOBOXINFO), {}, {}, 0, nullptr, nullptr, nullptr};
    if (::GetComboBoxInfo(m_hWnd, &info))
    {
        m_editRect = info.rcItem;
        m_buttonRect = info.rcButton;
    }
    ReplaceStdCtrl();
}

void CSkinComboBox::SetSkin(UINT left, UINT centre, UINT right, UINT style)
{
    auto* image = new CModularImage(
        static_cast<HBITMAP>(CDrawContext::LoadResourceHlp(MAKEINTRESOURCE(centre), RT_BITMAP)),
        GetSysColor(COLOR_WINDOW));
    const BOOL mirror = GetSafeHwnd() && (GetExStyle() & WS_EX_LAYOUTRTL) ? TRUE : FALSE;
    if (HBITMAP old = image->SetFrame(left, CModularImage::FT_LEFT, mirror))
        ::DeleteObject(old);
    if (HBITMAP old = image->SetFrame(right, CModularImage::FT_RIGHT, mirror))
        ::DeleteObject(old);
    image->SetStyle(style);
    SetBackgroundImage(image);
}

void CSkinComboBox::SetVScrollSkin(UINT up, UINT channel, UINT boxTop, UINT boxCentre, UINT boxBottom,
                                   UINT down)
{
    FALDRA_REQUIRE_POPUP();
    GetPopupCtrl()->GetScrollbar().SetVSkin(up, channel, boxTop, boxCentre, boxBottom, down);
}

COLORREF CSkinComboBox::SetTextColor(COLORREF color)
{
    FALDRA_REQUIRE_POPUP();
    GetPopupCtrl()->SetTextColor(color);
    return m_context.SetTextColor(color);
}

COLORREF CSkinComboBox::SetTextHighlight(COLORREF color)
{
    FALDRA_REQUIRE_POPUP();
    GetPopupCtrl()->SetTextHighlight(color);
    return m_context.SetTextHighlight(color);
}

COLORREF CSkinComboBox::SetBackColor(COLORREF color)
{
    FALDRA_REQUIRE_POPUP();
    GetPopupCtrl()->SetBackColor(color);
    return m_context.SetBackColor(color);
}

COLORREF CSkinComboBox::SetBackHighlight(COLORREF color)
{
    FALDRA_REQUIRE_POPUP();
    GetPopupCtrl()->SetBackHighlight(color);
    return m_context.SetBackHighlight(color);
}

void CSkinComboBox::SetIndentation(int indentation)
{
    FALDRA_REQUIRE_POPUP();
    GetPopupCtrl()->SetIndentation(indentation);
    m_context.SetIndentation(indentation);
}

void CSkinComboBox::SetHighlightImage(CModularImage* image)
{
    FALDRA_REQUIRE_POPUP();
    CModularImage* copy = nullptr;
    if (image)
    {
        copy = new (std::nothrow) CModularImage(*image);
        if (!copy)
            throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate list highlight object"));
    }
    GetPopupCtrl()->SetHighlightImage(copy);
    m_context.SetHighlight(image);
}

CSkinListBox& CSkinComboBox::GetListBox()
{
    FALDRA_REQUIRE_POPUP();
    return GetPopupCtrl()->GetListBox();
}

void CSkinComboBox::SetFont(CString face, int height, int width)
{
    m_context.SetFont(face, height, width, DEFAULT_CHARSET);
    if (GetPopupCtrl())
        GetPopupCtrl()->SetFont(static_cast<HFONT>(m_context.GetFont()), true);
}

void CSkinComboBox::SetEditRectangle(const RECT* rect)
{
    if (!GetSafeHwnd() || !rect)
        return;
    HDC display = ::GetDC(nullptr);
    const int dpi = display ? ::GetDeviceCaps(display, LOGPIXELSY) : 96;
    if (display)
        ::ReleaseDC(nullptr, display);
    const LONG previousRight = m_editRect.right;
    m_editRect = *rect;
    if (dpi == 120 && rect->right > previousRight)
        m_editRect.right = static_cast<LONG>(rect->right * 0.8 - rect->left);
}

CRect CSkinComboBox::FaceRectangle() const
{
    // The edit rectangle is measured on the control as its dialog template made it, which for a drop-down
    // list is as tall as the opened list; the closed face is only the window's own height. Text centred in
    // the template's height would fall below the face, so the face keeps its top margin at the bottom too.
    CRect client;
    GetClientRect(&client);
    CRect face = m_editRect;
    if (face.bottom > client.bottom)
        face.bottom = std::max(face.top, client.bottom - (face.top - client.top));
    face.right = std::min(face.right, client.right);
    return face;
}

BOOL CSkinComboBox::EnableWindow(BOOL enable)
{
    SendMessage(CB_SHOWDROPDOWN, FALSE);
    return CWnd::EnableWindow(enable);
}

void CSkinComboBox::OnPaint()
{
    CPaintDC paint(this);
    ::SelectClipRgn(paint.GetSafeHdc(), nullptr);
    m_context.DrawBackground(m_hWnd, paint.GetSafeHdc());
    const int selection = static_cast<int>(SendMessage(CB_GETCURSEL));
    CString text;
    if (selection != -1 && GetPopupCtrl())
        GetPopupCtrl()->GetText(selection, text);
    const bool focused = ::GetFocus() == m_hWnd;
    const bool dropped = SendMessage(CB_GETDROPPEDSTATE) != 0;
    const bool enabled = IsWindowEnabled() != FALSE;
    ITEMCONTEXT item;
    item.hwndItem = m_hWnd;
    item.hDC = ::GetDC(m_hWnd);
    item.itemState =
        ODS_COMBOBOXEDIT | (focused && !dropped ? ODS_SELECTED : 0) | (enabled ? 0 : ODS_DISABLED);
    item.itemAction = !enabled ? ODA_DRAWENTIRE : (focused && !dropped ? ODA_SELECT : 0);
    item.rcItem = FaceRectangle();
    item.text = text;
    item.itemData = static_cast<ULONG_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(selection)));
    if (GetExStyle() & WS_EX_LAYOUTRTL)
        m_context.SetFormat(m_context.GetFormat() | DT_RTLREADING);
    m_context.DrawItem(&item);
    ::ReleaseDC(m_hWnd, item.hDC);
}

void CSkinComboBox::DrawItem(LPDRAWITEMSTRUCT drawItem)
{
    if (!drawItem || !(drawItem->itemState & ODS_COMBOBOXEDIT) || drawItem->itemID == static_cast<UINT>(-1))
        return;
    DRAWITEMSTRUCT dis = *drawItem;
    dis.itemID = static_cast<UINT>(SendMessage(CB_GETCURSEL));
    CString text;
    if (dis.itemID != static_cast<UINT>(-1) && GetPopupCtrl())
        GetPopupCtrl()->GetText(static_cast<int>(dis.itemID), text);
    ::SelectClipRgn(dis.hDC, nullptr);
    m_context.DrawBackground(dis.hwndItem, dis.hDC);
    ITEMCONTEXT item;
    CDrawContext::FillItemContextHlp(item, &dis, text);
    m_context.DrawItem(&item);
}

void CSkinComboBox::MeasureItem(LPMEASUREITEMSTRUCT measureItem)
{
    if (!measureItem || measureItem->itemID == static_cast<UINT>(-1))
        return;
    CString text;
    if (GetPopupCtrl())
        GetPopupCtrl()->GetText(static_cast<int>(measureItem->itemID), text);
    HDC dc = ::GetDC(m_hWnd);
    SIZE size{};
    if (dc && ::GetTextExtentPoint32(dc, text, text.GetLength(), &size) && size.cy > 0)
        measureItem->itemHeight = static_cast<UINT>(size.cy);
    if (dc)
        ::ReleaseDC(m_hWnd, dc);
}
} // namespace faldra
