#include "Controls/GdipButton.h"

#include "Controls/KitButton.h"
#include "Controls/RadioGroup.h"
#include "Controls/TransparentDialogBase.h"

#include <algorithm>

BEGIN_MESSAGE_MAP(CGdipButton, CButton)
ON_WM_ERASEBKGND()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_MOUSEMOVE()
ON_WM_KILLFOCUS()
ON_WM_DRAWITEM()
ON_WM_KEYDOWN()
ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
ON_WM_CTLCOLOR_REFLECT()
ON_WM_MOUSELEAVE()
ON_MESSAGE(WM_KIT_RADIO_UNCHECK, OnRadioUncheck)
ON_MESSAGE(BM_SETCHECK, OnSetCheck)
ON_MESSAGE(BM_GETCHECK, OnGetCheck)
ON_MESSAGE(WM_REFRESH_BUTTON_BKGND, OnRefreshBackground)
ON_WM_DESTROY()
END_MESSAGE_MAP()

void CGdipButton::StateImage::Create(CDC* compatible, int width, int height)
{
    Delete();
    dc.CreateCompatibleDC(compatible);
    bitmap.CreateCompatibleBitmap(compatible, std::max(width, 1), std::max(height, 1));
    old = dc.SelectObject(&bitmap);
}

void CGdipButton::StateImage::Delete()
{
    if (dc.GetSafeHdc())
    {
        dc.SelectObject(old);
        dc.DeleteDC();
    }
    bitmap.DeleteObject();
    old = nullptr;
}

CGdipButton::CGdipButton()
    : m_crNormal(GetSysColor(COLOR_BTNTEXT)), m_crHover(m_crNormal),
      m_crDisabled(GetSysColor(COLOR_GRAYTEXT)), m_crPressed(m_crNormal)
{
    m_font.CreatePointFont(85, "Arial");
    m_font.GetLogFont(&m_lf);
}

CGdipButton::~CGdipButton()
{
    DeleteStateImages();
    m_background.Delete();
}

void CGdipButton::LoadImages(UINT normal, UINT hover, UINT pressed, UINT disabled, UINT pressedHover)
{
    auto load = [](std::unique_ptr<CPNGResource>& image, UINT id)
    {
        if (id)
            image = std::make_unique<CPNGResource>(id);
    };
    load(m_pNormal, normal);
    load(m_pHover, hover);
    load(m_pPressed, pressed);
    load(m_pDisabled, disabled);
    load(m_pPressedHover, pressedHover);
}

void CGdipButton::SetTextColors(COLORREF normal, COLORREF disabled)
{
    if (m_crNormal == m_crHover)
        m_crHover = m_crPressed = normal;
    m_crDisabled = disabled;
    m_crNormal = normal;
}

void CGdipButton::SetPressedTextColor(COLORREF color)
{
    m_crPressed = color;
}

void CGdipButton::SetHoverTextColor(COLORREF color)
{
    m_crHover = color;
}

void CGdipButton::SetTextOffset(int dx, int dy)
{
    m_textOffset = CPoint(dx, dy);
}

void CGdipButton::SetPressedLook(BOOL pressed)
{
    if (m_pHover)
        m_pCurrent = pressed ? &m_imgPressed : &m_imgNormal;
}

void CGdipButton::SetFontBold(BOOL bold)
{
    m_lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    RecreateFont();
    Repaint();
}

void CGdipButton::SetFontName(const CString& face, BYTE charset)
{
    if (face == "Arial")
        return;
    m_lf.lfCharSet = charset;
    const int n = std::min(face.GetLength(), LF_FACESIZE - 1);
    std::copy_n(static_cast<LPCTSTR>(face), n, m_lf.lfFaceName);
    m_lf.lfFaceName[n] = '\0';
    RecreateFont();
    Repaint();
}

void CGdipButton::SetFontSize(int tenthsOfPoint)
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

void CGdipButton::RecreateFont()
{
    m_font.DeleteObject();
    m_font.CreateFontIndirect(&m_lf);
}

void CGdipButton::Repaint()
{
    if (!m_hWnd)
        return;
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (CWnd* parent = CWnd::GetParent())
    {
        CRect rect;
        GetWindowRect(&rect);
        parent->ScreenToClient(&rect);
        parent->InvalidateRect(&rect, TRUE);
        parent->UpdateWindow();
    }
}

void CGdipButton::SetTooltipText(const CString& text, BOOL activate)
{
    if (text.IsEmpty() || !m_hWnd)
        return;
    if (!m_pToolTip)
    {
        m_pToolTip = std::make_unique<CToolTipCtrl>();
        m_pToolTip->Create(this);
        m_pToolTip->Activate(TRUE);
    }
    m_strTooltip = text;
    if (m_pToolTip->GetToolCount() == 0)
    {
        CRect client;
        GetClientRect(&client);
        m_pToolTip->AddTool(this, m_strTooltip, &client, 1);
    }
    m_pToolTip->UpdateTipText(m_strTooltip, this, 1);
    m_pToolTip->SetDelayTime(TTDT_AUTOMATIC, 2000);
    m_pToolTip->Activate(activate);
    m_pToolTip->SetMaxTipWidth(200);
}

void CGdipButton::SetTooltipText(UINT stringId, BOOL activate)
{
    CString text;
    text.LoadString(stringId);
    if (!text.IsEmpty())
        SetTooltipText(text, activate);
}

UINT CGdipButton::GetRefreshMessage()
{
    return WM_REFRESH_BUTTON_BKGND;
}

void CGdipButton::SetAutoRefresh()
{
    m_bAutoRefresh = TRUE;
}

void CGdipButton::PreSubclassWindow()
{
    ReadKitButtonStyle(GetStyle(), &m_nAlign, &m_nKind);
    CButton::PreSubclassWindow();
    ModifyStyle(0, BS_OWNERDRAW);
}

BOOL CGdipButton::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_LBUTTONDBLCLK && msg->hwnd == m_hWnd)
        msg->message = WM_LBUTTONDOWN;
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
        m_pToolTip->RelayEvent(msg);
    return CButton::PreTranslateMessage(msg);
}

void CGdipButton::PaintCaption(CDC* dc, COLORREF color)
{
    CString text;
    GetWindowText(text);
    if (text.IsEmpty())
        return;
    dc->SetTextColor(color);
    CFont* oldFont = dc->SelectObject(&m_font);
    dc->SetBkMode(TRANSPARENT);
    CRect rect;
    GetClientRect(&rect);
    if (text.Find('\n') < 0)
        dc->DrawText(text, &rect, m_nAlign | DT_VCENTER | DT_SINGLELINE);
    else
    {
        // Each segment wraps into (width / client width) + 1 lines; a button without width counts one.
        const int width = std::max(rect.Width(), 1);
        int lines = 1;
        int start = 0;
        for (int at = text.Find('\n'); at >= 0; at = text.Find('\n', start))
        {
            lines += dc->GetTextExtent(text.Mid(start, at - start)).cx / width + 1;
            start = at + 1;
        }
        TEXTMETRIC tm{};
        dc->GetTextMetrics(&tm);
        rect.top += (rect.Height() - lines * tm.tmHeight) / 2;
        dc->DrawText(text, &rect, m_nAlign | DT_WORDBREAK);
    }
    dc->SelectObject(oldFont);
}

HBRUSH CGdipButton::CtlColor(CDC* dc, UINT)
{
    if (m_bImagesReady || !dc)
        return nullptr;
    CRect client;
    GetClientRect(&client);
    {
        CMemDC mem(dc, &client);
        if (!m_background.Exists())
        {
            m_background.Create(dc, client.Width(), client.Height());
            if (CWnd* parent = CWnd::GetParent())
            {
                CRect inParent;
                GetWindowRect(&inParent);
                parent->ScreenToClient(&inParent);
                CClientDC parentDc(parent);
                m_background.dc.BitBlt(0, 0, client.Width(), client.Height(), &parentDc, inParent.left,
                                       inParent.top, SRCCOPY);
            }
        }
        const bool rtl = (dc->GetLayout() & LAYOUT_RTL) != 0;
        auto build = [&](StateImage& image, CPNGResource* png, const COLORREF* caption)
        {
            if (image.Exists() || !png || !png->IsLoaded())
                return;
            mem.BitBlt(0, 0, client.Width(), client.Height(), &m_background.dc, 0, 0, SRCCOPY);
            {
                Gdiplus::Graphics graphics(mem);
                if (rtl)
                    graphics.DrawImage(*png, client.Width(), 0, -static_cast<int>(png->GetWidth()),
                                       static_cast<int>(png->GetHeight()));
                else
                    graphics.DrawImage(*png, 0, 0);
            }
            if (caption)
                PaintCaption(&mem, *caption);
            image.Create(dc, client.Width(), client.Height());
            image.dc.BitBlt(0, 0, client.Width(), client.Height(), &mem, 0, 0, SRCCOPY);
        };
        build(m_imgNormal, m_pNormal.get(), &m_crNormal);
        build(m_imgHover, m_pHover.get(), &m_crHover);
        build(m_imgDisabled, m_pDisabled.get(), &m_crDisabled);
        build(m_imgPressed, m_pPressed.get(), &m_crPressed);
        if (m_pPressed && m_pPressed->IsLoaded())
            build(m_imgPressedHover, m_pPressedHover.get(), nullptr);
        if (!m_pCurrent)
            m_pCurrent = &m_imgNormal;
        m_bImagesReady = TRUE;
    }
    return nullptr;
}

void CGdipButton::DrawItem(LPDRAWITEMSTRUCT drawItem)
{
    CDC* dc = CDC::FromHandle(drawItem->hDC);
    if (m_bLButtonDown && CWnd::GetCapture() == this)
    {
        CPoint cursor;
        GetCursorPos(&cursor);
        if (PushedFollowsPointer(this, cursor))
            return;
    }
    const UINT state = drawItem->itemState;
    if (state & ODS_DISABLED)
        m_pCurrent = &m_imgDisabled;
    else if ((state & ODS_SELECTED) || m_bChecked)
    {
        if (m_bHover)
            m_pCurrent = &m_imgPressedHover;
        else if (m_imgPressed.Exists())
            m_pCurrent = &m_imgPressed;
    }
    else
        m_pCurrent = m_bHover ? &m_imgHover : &m_imgNormal;

    if (m_pCurrent && m_pCurrent->Exists())
    {
        const CRect client(drawItem->rcItem);
        dc->BitBlt(0, 0, client.Width(), client.Height(), &m_pCurrent->dc, 0, 0, SRCCOPY);
    }
}

BOOL CGdipButton::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void CGdipButton::OnLButtonDown(UINT, CPoint)
{
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
    {
        MSG msg{m_hWnd, WM_LBUTTONDOWN, 0, 0, 0, {}};
        m_pToolTip->RelayEvent(&msg);
    }
    if (m_bHover)
    {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_CANCEL | TME_LEAVE, m_hWnd, 0};
        if (TrackMouseEvent(&track))
            m_bHover = FALSE;
    }
    Default();
    m_bLButtonDown = TRUE;
}

void CGdipButton::ClickAction()
{
    if (m_nKind == 2)
        SendMessage(BM_SETCHECK, !m_bChecked);
    else if (m_nKind == 4)
        SendMessage(BM_SETCHECK, TRUE);
}

void CGdipButton::OnLButtonUp(UINT, CPoint point)
{
    CPoint screen = point;
    ClientToScreen(&screen);
    if (m_bLButtonDown && WindowFromPoint(screen) == m_hWnd)
        ClickAction();
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
    {
        MSG msg{m_hWnd, WM_LBUTTONUP, 0, 0, 0, {}};
        m_pToolTip->RelayEvent(&msg);
    }
    m_bLButtonDown = FALSE;
    Default();
}

void CGdipButton::OnMouseMove(UINT flags, CPoint point)
{
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
    {
        MSG msg{m_hWnd, WM_MOUSEMOVE, flags, MAKELPARAM(point.x, point.y), 0, {}};
        m_pToolTip->RelayEvent(&msg);
    }
    if (CWnd::GetCapture() == this)
    {
        CPoint screen = point;
        ClientToScreen(&screen);
        if (PushedFollowsPointer(this, screen))
            Invalidate();
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

void CGdipButton::OnKillFocus(CWnd*)
{
    if (CWnd::GetCapture() == this)
        ReleaseCapture();
    Default();
}

void CGdipButton::OnKeyDown(UINT key, UINT, UINT)
{
    if (key == VK_SPACE)
        ClickAction();
    Default();
}

BOOL CGdipButton::OnClicked()
{
    if (CWnd::GetCapture() == this)
        ReleaseCapture();
    m_bLButtonDown = FALSE;
    Invalidate();
    if (CWnd* parent = CWnd::GetParent())
        parent->UpdateWindow();
    return FALSE; // the parent receives the notification as well
}

void CGdipButton::OnMouseLeave()
{
    m_bHover = FALSE;
    Invalidate();
}

LRESULT CGdipButton::OnRadioUncheck(WPARAM, LPARAM)
{
    if (m_bChecked)
    {
        m_bChecked = FALSE;
        Invalidate();
    }
    return 0;
}

LRESULT CGdipButton::OnSetCheck(WPARAM wParam, LPARAM)
{
    m_bChecked = m_nKind != 0 && wParam != 0;
    if (m_nKind == 4 && m_bChecked)
        UncheckRadioGroup(this);
    Invalidate();
    return 0;
}

LRESULT CGdipButton::OnGetCheck(WPARAM, LPARAM)
{
    return m_bChecked;
}

LRESULT CGdipButton::OnRefreshBackground(WPARAM wParam, LPARAM)
{
    auto* source = reinterpret_cast<CDC*>(wParam);
    CWnd* parent = CWnd::GetParent();
    if (source && parent)
    {
        CRect client;
        GetClientRect(&client);
        CRect inParent;
        GetWindowRect(&inParent);
        parent->ScreenToClient(&inParent);
        m_background.Create(source, client.Width(), client.Height());
        m_background.dc.BitBlt(0, 0, client.Width(), client.Height(), source, inParent.left, inParent.top,
                               SRCCOPY);
    }
    if (m_bAutoRefresh)
    {
        m_bImagesReady = FALSE;
        DeleteStateImages();
    }
    return 0;
}

void CGdipButton::DeleteStateImages()
{
    for (StateImage* image : {&m_imgNormal, &m_imgHover, &m_imgPressed, &m_imgPressedHover, &m_imgDisabled})
        image->Delete();
}

void CGdipButton::DeleteImages()
{
    m_pNormal.reset();
    m_pHover.reset();
    m_pPressed.reset();
    m_pPressedHover.reset();
    m_pDisabled.reset();
}

void CGdipButton::OnDestroy()
{
    Default();
    m_bHover = FALSE;
    if (m_pToolTip)
    {
        if (m_pToolTip->GetSafeHwnd())
            m_pToolTip->DestroyWindow();
        m_pToolTip.reset();
    }
    DeleteImages();
}
