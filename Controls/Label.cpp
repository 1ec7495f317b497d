#include "Label.h"

#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace
{
std::mutex g_shellLock;
std::function<void(const char*, const char*)> g_shellHook;

void ShellOpen(const char* verb, const char* target)
{
    std::function<void(const char*, const char*)> hook;
    {
        std::lock_guard lock(g_shellLock);
        hook = g_shellHook;
    }
    if (hook)
    {
        hook(verb, target);
        return;
    }
    // The desktop's opener, as the shell's "open" does; its outcome is not waited for.
    pid_t child = 0;
    char program[] = "xdg-open";
    std::string arg(target);
    char* argv[] = {program, arg.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&child, program, &actions, nullptr, argv, environ) == 0)
    {
        // xdg-open hands the target over and ends; reap it so it leaves no zombie.
        std::thread([child] { ::waitpid(child, nullptr, 0); }).detach();
    }
    posix_spawn_file_actions_destroy(&actions);
}
} // namespace

BEGIN_MESSAGE_MAP(CLabel, CStatic)
ON_WM_TIMER()
ON_WM_LBUTTONDOWN()
ON_WM_SETCURSOR()
ON_WM_SYSCOLORCHANGE()
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_DESTROY()
ON_WM_CTLCOLOR_REFLECT()
ON_WM_UPDATEUISTATE()
END_MESSAGE_MAP()

CLabel::CLabel() : m_crText(::GetSysColor(COLOR_WINDOWTEXT))
{
    m_hwndBrush = ::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
}

CLabel::~CLabel()
{
    // A label destroyed without its window going first still owns its brushes.
    if (m_hwndBrush)
        ::DeleteObject(m_hwndBrush);
    if (m_hBackBrush)
        ::DeleteObject(m_hBackBrush);
}

void CLabel::SetShellOpenHook(std::function<void(const char*, const char*)> hook)
{
    std::lock_guard lock(g_shellLock);
    g_shellHook = std::move(hook);
}

void CLabel::PreSubclassWindow()
{
    CStatic::PreSubclassWindow();
    HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    if (!font)
        font = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
    ::GetObject(font, sizeof m_lf, &m_lf);
    m_font.DeleteObject();
    m_font.CreateFontIndirect(&m_lf);
}

BOOL CLabel::PreCreateWindow(CREATESTRUCT& cs)
{
    return CStatic::PreCreateWindow(cs);
}

void CLabel::Repaint()
{
    if (!GetSafeHwnd())
        return;
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (CWnd* parent = GetParent())
    {
        RECT rect;
        GetWindowRect(&rect);
        parent->ScreenToClient(&rect);
        parent->InvalidateRect(&rect, TRUE);
        parent->UpdateWindow();
    }
}

void CLabel::ReconstructFont()
{
    m_font.DeleteObject();
    m_font.CreateFontIndirect(&m_lf);
}

CLabel& CLabel::SetBkColor(COLORREF back, COLORREF backEnd, int fillMode)
{
    m_crLoColor = back;
    m_crHiColor = backEnd;
    m_fillmode = fillMode;
    if (m_hBackBrush)
        ::DeleteObject(m_hBackBrush);
    m_hBackBrush = fillMode == 0 ? ::CreateSolidBrush(back) : nullptr;
    Repaint();
    return *this;
}

CLabel& CLabel::SetTextColor(COLORREF text, BYTE /*alpha*/)
{
    m_crText = text;
    Repaint();
    return *this;
}

CLabel& CLabel::SetText(const CString& text)
{
    m_strText = text;
    if (GetSafeHwnd())
    {
        const BOOL visible = IsWindowVisible();
        if (visible)
            ShowWindow(SW_HIDE);
        SetWindowText(text);
        if (visible)
            ShowWindow(SW_SHOW);
    }
    Repaint();
    return *this;
}

CLabel& CLabel::UpdateText(const CString& text)
{
    m_strText = text;
    if (text.Str() != m_strPaintedText.Str() && GetSafeHwnd())
    {
        m_strPaintedText = text;
        if (CWnd* parent = GetParent())
        {
            RECT rect;
            GetWindowRect(&rect);
            parent->ScreenToClient(&rect);
            parent->InvalidateRect(&rect, TRUE);
            parent->UpdateWindow();
        }
        // The parent's repaint does not reach its children here; the label draws the new text itself.
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    return *this;
}

CLabel& CLabel::SetFontBold(BOOL bold)
{
    m_lf.lfWeight = bold ? 700 : 400;
    ReconstructFont();
    Repaint();
    return *this;
}

CLabel& CLabel::SetFontUnderline(BOOL underline)
{
    m_lf.lfUnderline = underline ? 1 : 0;
    ReconstructFont();
    Repaint();
    return *this;
}

CLabel& CLabel::SetFontItalic(BOOL italic)
{
    m_lf.lfItalic = italic ? 1 : 0;
    ReconstructFont();
    Repaint();
    return *this;
}

CLabel& CLabel::SetFontSize(int points)
{
    CFont sizer;
    sizer.CreateFont(static_cast<int>(points * -96 / 72.0), 0, 0, 0, 400, FALSE, FALSE, 0, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     m_bFontAntiAlias ? ANTIALIASED_QUALITY : DEFAULT_QUALITY, DEFAULT_PITCH,
                     m_lf.lfFaceName);
    LOGFONT measured{};
    sizer.GetLogFont(&measured);
    m_lf.lfHeight = measured.lfHeight;
    m_lf.lfWidth = measured.lfWidth;
    ReconstructFont();
    Repaint();
    return *this;
}

CLabel& CLabel::SetSunken(BOOL sunken)
{
    if (sunken)
        ModifyStyleEx(0, WS_EX_STATICEDGE, SWP_DRAWFRAME);
    else
        ModifyStyleEx(WS_EX_STATICEDGE, 0, SWP_DRAWFRAME);
    return *this;
}

CLabel& CLabel::SetBorder(BOOL border)
{
    if (border)
        ModifyStyle(0, WS_BORDER, SWP_DRAWFRAME);
    else
        ModifyStyle(WS_BORDER, 0, SWP_DRAWFRAME);
    return *this;
}

CLabel& CLabel::SetTransparent(BOOL transparent)
{
    m_bTransparent = transparent;
    if (GetSafeHwnd())
        ModifyStyleEx(0, WS_EX_TRANSPARENT);
    Repaint();
    return *this;
}

CLabel& CLabel::FlashText(BOOL on, UINT intervalMs, int count)
{
    if (m_bTimer && GetSafeHwnd())
        KillTimer(1);
    m_bTimer = FALSE;
    SetText(m_strText);
    if (on)
    {
        m_bState = TRUE;
        m_bTimer = TRUE;
        if (GetSafeHwnd())
            SetTimer(1, intervalMs);
        m_Type = 1;
        m_nFlashCount = count > 0 ? count * 2 + 1 : -1;
    }
    else
        m_Type = 0;
    return *this;
}

CLabel& CLabel::FlashBackground(BOOL on)
{
    if (m_bTimer && GetSafeHwnd())
        KillTimer(1);
    m_bTimer = FALSE;
    if (on)
    {
        m_bState = FALSE;
        m_bTimer = TRUE;
        if (GetSafeHwnd())
            SetTimer(1, 500);
        m_Type = 2;
    }
    return *this;
}

CLabel& CLabel::SetLink(BOOL link, BOOL notifyParent)
{
    m_Link = link ? 1 : 0;
    m_bNotifyParent = notifyParent;
    if (GetSafeHwnd())
    {
        if (link)
            ModifyStyle(0, SS_NOTIFY);
        else
            ModifyStyle(SS_NOTIFY, 0);
    }
    return *this;
}

CLabel& CLabel::SetMailLink(BOOL mail, BOOL notifyParent)
{
    m_Link = mail ? 2 : 0;
    m_bNotifyParent = notifyParent;
    if (GetSafeHwnd())
    {
        if (mail)
            ModifyStyle(0, SS_NOTIFY);
        else
            ModifyStyle(SS_NOTIFY, 0);
    }
    return *this;
}

CLabel& CLabel::SetLinkCursor(HCURSOR cursor)
{
    m_hCursor = cursor;
    return *this;
}

CLabel& CLabel::SetLinkTarget(const CString& target)
{
    m_sLink = target;
    return *this;
}

CLabel& CLabel::SetFont3D(BOOL on, int type)
{
    m_bFont3d = on;
    m_3dType = type;
    Repaint();
    return *this;
}

CLabel& CLabel::SetText3DHiliteColor(COLORREF colour)
{
    m_cr3DHiliteColor = colour;
    Repaint();
    return *this;
}

CLabel& CLabel::SetRotationAngle(int degrees, BOOL rotate)
{
    m_bRotation = rotate;
    m_lf.lfEscapement = m_lf.lfOrientation = degrees * 10;
    ReconstructFont();
    Repaint();
    return *this;
}

CLabel& CLabel::SetFont(const LOGFONT* font)
{
    if (font)
        std::memcpy(&m_lf, font, sizeof m_lf);
    ReconstructFont();
    Repaint();
    return *this;
}

CLabel& CLabel::SetFontName(const CString& face, BYTE charset)
{
    m_lf.lfCharSet = charset;
    std::memset(m_lf.lfFaceName, 0, sizeof m_lf.lfFaceName);
    std::strncpy(m_lf.lfFaceName, face, sizeof m_lf.lfFaceName - 1);
    ReconstructFont();
    Repaint();
    return *this;
}

CLabel& CLabel::SetFontFace(const CString& face, BOOL antialias, int /*reserved*/)
{
    m_bFontAntiAlias = antialias;
    return SetFontName(face, DEFAULT_CHARSET);
}

void CLabel::OnDestroy()
{
    m_font.DeleteObject();
    if (m_hwndBrush)
        ::DeleteObject(m_hwndBrush);
    m_hwndBrush = nullptr;
    if (m_hBackBrush)
        ::DeleteObject(m_hBackBrush);
    m_hBackBrush = nullptr;
    Default();
}

void CLabel::OnTimer(UINT_PTR /*id*/)
{
    m_bState = !m_bState;
    if (m_Type == 1)
    {
        if (m_nFlashCount > 0 && --m_nFlashCount == 0)
            FlashText(FALSE, 500, -1);
        if (m_Type == 1)
        {
            if (!m_bState)
                SetWindowText("");
            else
                SetText(m_strText);
        }
    }
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (CWnd* parent = GetParent())
    {
        RECT rect;
        GetWindowRect(&rect);
        parent->ScreenToClient(&rect);
        parent->InvalidateRect(&rect, TRUE);
        parent->UpdateWindow();
    }
    Default();
}

void CLabel::OnLButtonDown(UINT /*flags*/, CPoint /*point*/)
{
    if (m_bNotifyParent)
    {
        NMHDR nm{};
        nm.hwndFrom = GetSafeHwnd();
        nm.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID());
        nm.code = NM_LABEL_CLICK;
        if (CWnd* parent = GetParent())
            parent->SendMessage(WM_NOTIFY, nm.idFrom, reinterpret_cast<LPARAM>(&nm));
    }
    else if (m_Link == 1)
    {
        CString window;
        GetWindowText(window);
        ShellOpen("open", m_sLink.IsEmpty() ? window : m_sLink);
    }
    else if (m_Link == 2)
    {
        CString window;
        GetWindowText(window);
        ShellOpen(nullptr, CString("mailto:") + window);
    }
    Default();
}

BOOL CLabel::OnSetCursor(CWnd* /*wnd*/, UINT /*hitTest*/, UINT /*message*/)
{
    if (m_hCursor)
    {
        ::SetCursor(m_hCursor);
        return TRUE;
    }
    return static_cast<BOOL>(Default());
}

void CLabel::OnSysColorChange()
{
    if (m_hwndBrush)
        ::DeleteObject(m_hwndBrush);
    m_hwndBrush = ::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
    Repaint();
}

BOOL CLabel::OnEraseBkgnd(CDC* /*dc*/)
{
    return TRUE;
}

HBRUSH CLabel::CtlColor(CDC* dc, UINT /*ctlColor*/)
{
    dc->SetTextColor(m_crText);
    dc->SetBkColor(m_crLoColor);
    return m_hBackBrush;
}

void CLabel::OnUpdateUIState(UINT /*action*/, UINT /*state*/)
{
    OnPaint();
}

void CLabel::OnPaint()
{
    CPaintDC dc(this);
    Paint(&dc);
}

void CLabel::Paint(CDC* target)
{
    RECT client;
    GetClientRect(&client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;

    CString text = m_strPaintedText;
    if (text.IsEmpty())
        GetWindowText(text);

    CDC memory;
    CBitmap bitmap;
    CBitmap* oldBitmap = nullptr;
    CDC* dc = target;
    if (!m_bTransparent && width > 0 && height > 0 && memory.CreateCompatibleDC(target) &&
        bitmap.CreateCompatibleBitmap(target, width, height))
    {
        oldBitmap = memory.SelectObject(&bitmap);
        dc = &memory;
    }

    const int oldMode = dc->SetBkMode(TRANSPARENT);
    COLORREF textColour = m_crText;
    CFont* oldFont = dc->SelectObject(&m_font);

    if (!m_bTransparent)
    {
        if (m_fillmode != 0)
            DrawGradient(dc, client, m_crLoColor, m_crHiColor);
        else
            ::FillRect(*dc, &client, m_hBackBrush ? m_hBackBrush : m_hwndBrush);
    }

    if (m_Type == 1 && !m_bState)
        textColour = m_hBackBrush ? m_crLoColor : RGB(0, 0, 0);
    const COLORREF oldColour = dc->SetTextColor(textColour);

    const DWORD style = GetStyle();
    UINT flags = 0;
    switch (style & SS_TYPEMASK)
    {
    case SS_CENTER:
        flags = DT_CENTER | DT_WORDBREAK;
        break;
    case SS_RIGHT:
        flags = DT_RIGHT | DT_WORDBREAK;
        break;
    case SS_LEFTNOWORDWRAP:
        flags = DT_LEFT;
        break;
    default:
        flags = DT_LEFT | DT_WORDBREAK;
        break;
    }
    if (text.Find('\t') >= 0)
        flags |= DT_EXPANDTABS;
    if (style & SS_CENTERIMAGE)
        flags = text.Find("\r\n") >= 0 ? DT_CENTER : DT_CENTER | DT_VCENTER | DT_SINGLELINE;

    if (m_bRotation)
    {
        const UINT oldAlign = dc->SetTextAlign(TA_BASELINE | TA_LEFT);
        const CPoint oldOrigin = dc->SetViewportOrg(width / 2, height / 2);
        dc->TextOut(0, 0, text);
        dc->SetViewportOrg(oldOrigin);
        dc->SetTextAlign(oldAlign);
    }
    else
    {
        RECT r = client;
        dc->DrawText(text, &r, flags);
        if (m_bFont3d)
        {
            dc->SetTextColor(m_cr3DHiliteColor);
            const int offset = m_3dType != 0 ? 1 : -1;
            r.left += offset;
            r.right += offset;
            r.top += offset;
            r.bottom += offset;
            dc->DrawText(text, &r, flags);
        }
    }

    dc->SetBkMode(oldMode);
    dc->SelectObject(oldFont);
    dc->SetTextColor(oldColour);
    if (dc == &memory)
    {
        target->BitBlt(0, 0, width, height, &memory, 0, 0, SRCCOPY);
        memory.SelectObject(oldBitmap);
    }
}

void CLabel::DrawGradient(CDC* dc, const RECT& rect, COLORREF start, COLORREF end)
{
    const int width = rect.right - rect.left;
    if (width <= 0)
        return;
    const int bands = width < 100 ? width : 100;
    const int divisor = bands >= 2 ? bands : 1;
    const int bandWidth = width / divisor;
    int red = GetRValue(start) * 256;
    int green = GetGValue(start) * 256;
    int blue = GetBValue(start) * 256;
    const int redStep = ((GetRValue(end) - GetRValue(start)) * 256) / divisor;
    const int greenStep = ((GetGValue(end) - GetGValue(start)) * 256) / divisor;
    const int blueStep = ((GetBValue(end) - GetBValue(start)) * 256) / divisor;
    HGDIOBJ oldPen = ::SelectObject(*dc, ::GetStockObject(NULL_PEN));
    for (int i = 0; i < bands; ++i)
    {
        const int left = rect.left + i * bandWidth;
        const int right = i == bands - 1 ? rect.right : left + bandWidth;
        HBRUSH brush = ::CreateSolidBrush(RGB(red / 256, green / 256, blue / 256));
        HGDIOBJ oldBrush = ::SelectObject(*dc, brush);
        ::Rectangle(*dc, left, rect.top, right + 1, rect.bottom);
        ::SelectObject(*dc, oldBrush);
        ::DeleteObject(brush);
        red += redStep;
        green += greenStep;
        blue += blueStep;
    }
    ::SelectObject(*dc, oldPen);
}
