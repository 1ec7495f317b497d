#include "Controls/xSkinButton.h"

#include "Controls/KitButton.h"
#include "Controls/KitResources.h"
#include "Controls/RadioGroup.h"

#include <algorithm>

BEGIN_MESSAGE_MAP(CxSkinButton, CButton)
ON_WM_ERASEBKGND()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONDBLCLK()
ON_WM_KILLFOCUS()
ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
ON_WM_KEYDOWN()
ON_WM_MOUSELEAVE()
ON_MESSAGE(WM_KIT_RADIO_UNCHECK, OnRadioUncheck)
ON_MESSAGE(BM_SETCHECK, OnSetCheck)
ON_MESSAGE(BM_GETCHECK, OnGetCheck)
ON_WM_TIMER()
ON_WM_DESTROY()
END_MESSAGE_MAP()

namespace
{
CSize SizeOf(CBitmap& bitmap)
{
    BITMAP info{};
    if (!bitmap.GetSafeHandle() || !bitmap.GetBitmap(&info))
        return CSize(0, 0);
    return CSize(info.bmWidth, info.bmHeight);
}
} // namespace

CxSkinButton::CxSkinButton()
    : m_crNormal(GetSysColor(COLOR_BTNTEXT)), m_crHover(m_crNormal),
      m_crDisabled(GetSysColor(COLOR_GRAYTEXT)), m_crPressed(m_crNormal)
{
    m_font.CreatePointFont(85, "Arial");
    m_font.GetLogFont(&m_lf);
}

CxSkinButton::~CxSkinButton()
{
    // A region never handed to the window is still ours.
    if (m_hRegion)
        DeleteObject(m_hRegion);
}

void CxSkinButton::SetSkin(UINT normal, UINT down, UINT over, UINT disabled, UINT focus, UINT mask,
                           short drawMode, short border, int margin, UINT overChecked)
{
    for (CBitmap* b : {&m_bNormal, &m_bDown, &m_bDisabled, &m_bMask, &m_bOver, &m_bFocus, &m_bOverChecked})
        b->DeleteObject();
    auto load = [](CBitmap& bitmap, UINT id)
    {
        if (id)
            bitmap.Attach(LoadKitBitmap(id));
    };
    load(m_bNormal, normal);
    load(m_bDown, down);
    load(m_bOver, over);
    load(m_bFocus, focus);
    load(m_bOverChecked, overChecked);
    load(m_bDisabled, disabled ? disabled : normal);
    m_nDrawMode = drawMode > 1 ? 2 : (drawMode < 0 ? 0 : drawMode);
    m_nBorder = border;
    m_nMargin = static_cast<short>(std::clamp(margin, 0, 0x7FFF));
    if (mask && m_bMask.Attach(LoadKitBitmap(mask)))
    {
        if (m_hRegion)
            DeleteObject(m_hRegion);
        m_hRegion = CreateRgnFromBitmap(m_bMask, RGB(255, 255, 255));
        if (m_hWnd && m_hRegion)
        {
            SetWindowRgn(m_hRegion, TRUE);
            m_hRegion = nullptr; // the window owns it now
        }
        if (m_hWnd && m_nDrawMode == 0)
        {
            const CSize size = SizeOf(m_bMask);
            SetWindowPos(nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        }
    }
}

HRGN CxSkinButton::CreateRgnFromBitmap(CBitmap& bitmap, COLORREF key)
{
    const CSize size = SizeOf(bitmap);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (size.cx <= 0 || size.cy <= 0)
        return region;
    CDC memory;
    memory.CreateCompatibleDC(nullptr);
    CBitmap* old = memory.SelectObject(&bitmap);
    for (int y = size.cy - 1; y >= 0; --y)
    {
        int x = 0;
        while (x < size.cx)
        {
            while (x < size.cx && memory.GetPixel(x, y) == key)
                ++x;
            const int start = x;
            while (x < size.cx && memory.GetPixel(x, y) != key)
                ++x;
            if (x > start)
            {
                HRGN run = CreateRectRgn(start, y, x, y + 1);
                CombineRgn(region, region, run, RGN_OR);
                DeleteObject(run);
            }
        }
    }
    memory.SelectObject(old);
    return region;
}

void CxSkinButton::SetTextOffset(int dx, int dy)
{
    m_nTextDx = dx;
    m_nTextDy = dy;
}

void CxSkinButton::SetTextColors(COLORREF normal, COLORREF disabled)
{
    if (m_crNormal == m_crHover)
        m_crHover = m_crPressed = normal;
    m_crDisabled = disabled;
    m_crNormal = normal;
}

void CxSkinButton::SetPressedTextColor(COLORREF color)
{
    m_crPressed = color;
}

void CxSkinButton::SetHoverTextColor(COLORREF color)
{
    m_crHover = color;
}

void CxSkinButton::SetFadeHover(BOOL fade)
{
    m_bFadeHover = fade ? TRUE : FALSE;
}

void CxSkinButton::SetFontSize(int tenthsOfPoint)
{
    CFont probe;
    probe.CreateFont(-static_cast<int>((tenthsOfPoint / 10) * 96 / 72.0 + 0.5), 0, 0, 0, FW_NORMAL, FALSE,
                     FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH, m_lf.lfFaceName);
    LOGFONT lf{};
    probe.GetLogFont(&lf);
    m_lf.lfHeight = lf.lfHeight;
    m_lf.lfWidth = lf.lfWidth;
    RecreateFont();
    Repaint();
}

void CxSkinButton::SetFontBold(BOOL bold)
{
    m_lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    RecreateFont();
    Repaint();
}

void CxSkinButton::RecreateFont()
{
    m_font.DeleteObject();
    m_font.CreateFontIndirect(&m_lf);
}

void CxSkinButton::Repaint()
{
    if (!m_hWnd)
        return;
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (CWnd* parent = GetParent())
    {
        CRect rect;
        GetWindowRect(&rect);
        parent->ScreenToClient(&rect);
        parent->InvalidateRect(&rect, TRUE);
        parent->UpdateWindow();
    }
}

void CxSkinButton::PreSubclassWindow()
{
    const DWORD style = GetStyle();
    ReadKitButtonStyle(style, &m_nAlign, &m_nKind);
    m_bMultiLine = (style & BS_MULTILINE) ? TRUE : FALSE;
    CButton::PreSubclassWindow();
    ModifyStyle(0, BS_OWNERDRAW);
    m_pFadeIn = std::make_unique<CControlTimer>(m_hWnd, kFadeInTimer);
    m_pFadeOut = std::make_unique<CControlTimer>(m_hWnd, kFadeOutTimer);
    if (m_hRegion)
    {
        SetWindowRgn(m_hRegion, TRUE);
        m_hRegion = nullptr;
    }
}

void CxSkinButton::DrawBitmap(CDC* dc, CBitmap& bitmap, const CRect& rect)
{
    CRect client;
    GetClientRect(&client);
    const CSize size = SizeOf(bitmap);
    if (m_nDrawMode == 2)
    {
        if (size.cx <= 0 || size.cy <= 0)
            return;
        CDC* scratch = AcquireDrawDC(dc, client);
        scratch->BitBlt(0, 0, client.Width(), client.Height(), dc, 0, 0, SRCCOPY);
        CDC source;
        source.CreateCompatibleDC(dc);
        CBitmap* old = source.SelectObject(&bitmap);
        for (int y = rect.top; y < rect.bottom; y += size.cy)
            for (int x = rect.left; x < rect.right; x += size.cx)
                scratch->BitBlt(x, y, std::min<int>(size.cx, rect.right - x),
                                std::min<int>(size.cy, rect.bottom - y), &source, 0, 0, SRCCOPY);
        source.SelectObject(old);
        FlushDrawDC(dc, scratch, client);
        return;
    }
    if (size.cx <= 0 || size.cy <= 0)
        return;
    CDC source;
    source.CreateCompatibleDC(dc);
    CBitmap* old = source.SelectObject(&bitmap);
    const bool stretch = m_nDrawMode == 1;
    auto blit = [&](CDC* target, int x, int y, CDC* from, DWORD rop)
    {
        if (stretch)
            target->StretchBlt(x, y, rect.Width(), rect.Height(), from, 0, 0, size.cx, size.cy, rop);
        else
            target->BitBlt(x, y, rect.Width(), rect.Height(), from, 0, 0, rop);
    };
    if (m_bMask.GetSafeHandle())
    {
        const CSize maskSize = SizeOf(m_bMask);
        CDC* scratch = AcquireDrawDC(dc, rect);
        scratch->BitBlt(0, 0, rect.Width(), rect.Height(), dc, rect.left, rect.top, SRCCOPY);
        CDC mask;
        mask.CreateCompatibleDC(dc);
        CBitmap* oldMask = mask.SelectObject(&m_bMask);
        blit(scratch, 0, 0, &source, SRCINVERT);
        if (stretch)
            scratch->StretchBlt(0, 0, rect.Width(), rect.Height(), &mask, 0, 0, maskSize.cx, maskSize.cy,
                                SRCAND);
        else
            scratch->BitBlt(0, 0, rect.Width(), rect.Height(), &mask, 0, 0, SRCAND);
        blit(scratch, 0, 0, &source, SRCINVERT);
        mask.SelectObject(oldMask);
        dc->BitBlt(rect.left, rect.top, rect.Width(), rect.Height(), scratch, 0, 0, SRCCOPY);
        ReleaseDrawDC(scratch);
    }
    else
        blit(dc, rect.left, rect.top, &source, SRCCOPY);
    source.SelectObject(old);
}

void CxSkinButton::DrawFadingHover(CDC* face, const CRect& client)
{
    if (!m_bOver.GetSafeHandle())
        return;
    CDC* pair = AcquireDrawDC(face, client);
    pair->BitBlt(0, 0, client.Width(), client.Height(), face, 0, 0, SRCCOPY);
    CDC over;
    over.CreateCompatibleDC(face);
    CBitmap* old = over.SelectObject(&m_bOver);
    pair->TransparentBlt(0, 0, client.Width(), client.Height(), &over, 0, 0, client.Width(), client.Height(),
                         RGB(255, 255, 255));
    over.SelectObject(old);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(static_cast<int>(m_nFadeLevel * 2.54)), 0};
    face->AlphaBlend(0, 0, client.Width(), client.Height(), pair, 0, 0, client.Width(), client.Height(),
                     blend);
    ReleaseDrawDC(pair);
}

void CxSkinButton::DrawItem(LPDRAWITEMSTRUCT drawItem)
{
    m_bPressedLook = FALSE;
    CString caption;
    GetWindowText(caption);
    if (m_bLButtonDown && GetCapture() == this)
    {
        CPoint cursor;
        GetCursorPos(&cursor);
        if (PushedFollowsPointer(this, cursor))
            return;
    }
    CDC* itemDc = CDC::FromHandle(drawItem->hDC);
    CRect client;
    GetClientRect(&client);
    CDC* dc = AcquireDrawDC(itemDc, client);
    dc->BitBlt(0, 0, client.Width(), client.Height(), itemDc, 0, 0, SRCCOPY);
    const CRect item(drawItem->rcItem);
    CRect text = item;
    text.DeflateRect(m_nMargin + 2, 0);
    const UINT state = drawItem->itemState;
    COLORREF colour = m_crNormal;

    if (state & ODS_DISABLED)
    {
        if (m_bDisabled.GetSafeHandle())
            DrawBitmap(dc, m_bDisabled, item);
        else
            dc->FillSolidRect(&item, GetSysColor(COLOR_BTNFACE));
        if (m_nBorder)
        {
            CRect edge = item;
            dc->DrawEdge(&edge, EDGE_RAISED, BF_RECT);
        }
        colour = m_crDisabled;
    }
    else
    {
        // A check box or radio button shows its down face exactly while checked, a push button while
        // pushed.
        const bool pressed = ((state & ODS_SELECTED) || m_bChecked) && !(m_nKind != 0 && !m_bChecked);
        if (pressed)
        {
            m_bPressedLook = TRUE;
            if (m_bDown.GetSafeHandle())
                DrawBitmap(dc, m_bDown, item);
            else
                dc->FillSolidRect(&item, GetSysColor(COLOR_BTNFACE));
            if (m_nBorder)
            {
                CRect edge = item;
                dc->DrawEdge(&edge, EDGE_SUNKEN, BF_RECT);
            }
        }
        else
        {
            if (!m_bNormal.GetSafeHandle())
                dc->FillSolidRect(&item, GetSysColor(COLOR_BTNFACE));
            else if (!m_bHover || !m_bOver.GetSafeHandle())
            {
                if ((state & ODS_FOCUS) && m_bFocus.GetSafeHandle())
                    DrawBitmap(dc, m_bFocus, item);
                else
                {
                    DrawBitmap(dc, m_bNormal, item);
                    if (m_bFadeHover)
                        DrawFadingHover(dc, client);
                }
            }
            else if (m_bChecked && m_bOverChecked.GetSafeHandle())
                DrawBitmap(dc, m_bOverChecked, item);
            else if (!m_bFadeHover)
                DrawBitmap(dc, m_bOver, item);
            else
            {
                DrawBitmap(dc, m_bNormal, item);
                if (m_pFadeIn && !m_pFadeIn->IsRunning() && m_nFadeLevel == 0)
                {
                    if (m_pFadeOut->IsRunning())
                        m_pFadeOut->Stop();
                    m_pFadeIn->Start(15);
                }
                DrawFadingHover(dc, client);
            }
            if (m_nBorder)
            {
                CRect edge = item;
                dc->DrawEdge(&edge, EDGE_RAISED, BF_RECT);
            }
        }
        if ((state & ODS_FOCUS) && m_nMargin > 0)
        {
            CRect focus = item;
            focus.DeflateRect(m_nMargin, m_nMargin);
            dc->DrawFocusRect(&focus);
        }
        colour = m_bPressedLook ? m_crPressed : (m_bHover ? m_crHover : m_crNormal);
    }

    text.OffsetRect(m_nTextDx, m_nTextDy);
    CFont* oldFont = dc->SelectObject(&m_font);
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(colour);
    if (!m_bMultiLine)
        dc->DrawText(caption, &text, m_nAlign | DT_VCENTER | DT_SINGLELINE);
    else if (text.Width() > 0)
    {
        // Without a positive width there is no line estimate to make; such a caption is not drawn.
        TEXTMETRIC tm{};
        dc->GetTextMetrics(&tm);
        const int lines = dc->GetTextExtent(caption).cx / text.Width() + 1;
        text.top += (text.Height() - lines * tm.tmHeight) / 2;
        dc->DrawText(caption, &text, m_nAlign | DT_WORDBREAK);
    }
    dc->SelectObject(oldFont);
    FlushDrawDC(itemDc, dc, client);
}

void CxSkinButton::OnTimer(UINT_PTR id)
{
    if (id == kFadeInTimer)
    {
        m_nFadeLevel += 5;
        if (m_nFadeLevel > 100)
        {
            m_pFadeIn->Stop();
            m_nFadeLevel = 100;
        }
        Invalidate();
    }
    else if (id == kFadeOutTimer)
    {
        m_nFadeLevel -= 5;
        if (m_nFadeLevel < 0)
        {
            m_pFadeOut->Stop();
            m_nFadeLevel = 0;
        }
        Invalidate();
    }
    else
        Default();
}

void CxSkinButton::FadeOut()
{
    if (!m_pFadeIn)
        return;
    if (m_pFadeIn->IsRunning())
    {
        m_pFadeIn->Stop();
        m_pFadeOut->Start(15);
    }
    else if (m_nFadeLevel > 0)
        m_pFadeOut->Start(15);
}

BOOL CxSkinButton::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void CxSkinButton::OnMouseMove(UINT, CPoint point)
{
    if (m_bLButtonDown && GetCapture() == this)
    {
        CPoint screen = point;
        ClientToScreen(&screen);
        if (PushedFollowsPointer(this, screen))
        {
            Invalidate();
            FadeOut();
        }
    }
    else if (!m_bHover)
    {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
        if (TrackMouseEvent(&track))
        {
            m_bHover = TRUE;
            Invalidate();
        }
    }
    Default();
}

void CxSkinButton::OnMouseLeave()
{
    m_bHover = FALSE;
    m_bPressedLook = FALSE;
    Invalidate();
    if (m_pFadeIn && m_pFadeIn->IsRunning())
    {
        m_pFadeIn->Stop();
        m_pFadeOut->Stop();
        FadeOut();
    }
    else if (m_nFadeLevel > 0)
        FadeOut();
}

void CxSkinButton::OnLButtonDown(UINT, CPoint)
{
    m_bPressedLook = TRUE;
    if (m_bHover)
    {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_CANCEL | TME_LEAVE, m_hWnd, 0};
        if (TrackMouseEvent(&track))
            m_bHover = FALSE;
    }
    Default();
    m_bLButtonDown = TRUE;
}

void CxSkinButton::OnLButtonUp(UINT, CPoint point)
{
    m_bPressedLook = FALSE;
    CPoint screen = point;
    ClientToScreen(&screen);
    if (m_nKind != 0 && WindowFromPoint(screen) == m_hWnd)
        SendMessage(BM_SETCHECK, m_nKind == 2 ? !m_bChecked : TRUE);
    FadeOut();
    m_bLButtonDown = FALSE;
    Default();
}

void CxSkinButton::OnLButtonDblClk(UINT flags, CPoint point)
{
    SendMessage(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
}

void CxSkinButton::OnKillFocus(CWnd*)
{
    m_bPressedLook = FALSE;
    if (GetCapture() == this)
    {
        ReleaseCapture();
        m_bLButtonDown = FALSE;
    }
    FadeOut();
    Default();
}

BOOL CxSkinButton::OnClicked()
{
    if (GetCapture() == this)
        ReleaseCapture();
    m_bLButtonDown = FALSE;
    Invalidate();
    if (CWnd* parent = GetParent())
        parent->UpdateWindow();
    return FALSE; // the parent receives the notification as well
}

void CxSkinButton::OnKeyDown(UINT key, UINT, UINT)
{
    if (key == VK_SPACE && m_nKind != 0)
        SendMessage(BM_SETCHECK, m_nKind == 2 ? !m_bChecked : TRUE);
    Default();
}

LRESULT CxSkinButton::OnRadioUncheck(WPARAM, LPARAM)
{
    if (m_bChecked)
    {
        m_bChecked = FALSE;
        Invalidate();
    }
    return 0;
}

LRESULT CxSkinButton::OnSetCheck(WPARAM wParam, LPARAM)
{
    m_bChecked = (m_nKind != 0 && wParam != 0) ? TRUE : FALSE;
    if (m_nKind == 4 && m_bChecked)
        UncheckRadioGroup(this);
    Invalidate();
    return 0;
}

LRESULT CxSkinButton::OnGetCheck(WPARAM, LPARAM)
{
    return m_bChecked;
}

void CxSkinButton::OnDestroy()
{
    Default();
    m_bHover = FALSE;
    if (m_pFadeIn)
        m_pFadeIn->Stop();
    if (m_pFadeOut)
        m_pFadeOut->Stop();
    m_pFadeIn.reset();
    m_pFadeOut.reset();
}
