#include "Controls/TransparentDialogBase.h"

#include "Controls/KitResources.h"
#include "platform/resources/Resources.h"

namespace
{
constexpr const char* kLayeredClass = "TranFakeWnd";
UINT refreshMessage = 0;

HINSTANCE ProgramModule()
{
    return GetModuleHandle(nullptr);
}

/// The dialog shown over a layered background: the pop-up the background owns.
HWND DialogOver(HWND layered)
{
    struct Search
    {
        HWND layered;
        HWND dialog;
    } search{layered, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL
        {
            auto* s = reinterpret_cast<Search*>(data);
            if (GetWindow(hwnd, GW_OWNER) != s->layered)
                return TRUE;
            s->dialog = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.dialog;
}

// The layered background is the part of the dialog the window manager sees first: a close request that
// reaches it (title-bar button, Alt+F4, taskbar) is the dialog's, never a reason to destroy the background.
LRESULT CALLBACK LayeredProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE))
    {
        if (HWND dialog = DialogOver(hwnd))
            return SendMessage(dialog, WM_SYSCOMMAND, SC_CLOSE, lParam);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

void RegisterLayeredClass()
{
    // Registering again fails harmlessly while the class exists.
    WNDCLASS wc{};
    wc.style = 0;
    wc.lpfnWndProc = LayeredProc;
    wc.hInstance = ProgramModule();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kLayeredClass;
    RegisterClass(&wc);
}

struct RefreshTarget
{
    UINT message;
    CDC* dc;
};

BOOL CALLBACK SendRefresh(HWND child, LPARAM lParam)
{
    const auto* target = reinterpret_cast<const RefreshTarget*>(lParam);
    CWnd* object = CWnd::FromHandlePermanent(child);
    if (object && IsWindowVisible(child) &&
        std::string_view(object->GetRuntimeClass()->m_lpszClassName) == "CButton")
        SendMessage(child, target->message, reinterpret_cast<WPARAM>(target->dc), 0);
    return TRUE;
}
} // namespace

IMPLEMENT_DYNAMIC(CTransparentDialogBase, CDialog)

BEGIN_MESSAGE_MAP(CTransparentDialogBase, CDialog)
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_ERASEBKGND()
ON_WM_MOVE()
ON_WM_MOUSEMOVE()
ON_WM_SHOWWINDOW()
ON_WM_SIZE()
ON_MESSAGE(WM_MODAL_TASK_STATE, OnModalTaskState)
ON_MESSAGE(WM_ENABLE_COUNTED, OnEnableCounted)
ON_WM_DISPLAYCHANGE()
ON_WM_SETTINGCHANGE()
END_MESSAGE_MAP()

CTransparentDialogBase::CTransparentDialogBase(UINT pngId, UINT templateId, CWnd* parent, BOOL movable)
{
    CreateLayeredWindow(parent);
    m_lpszTemplateName = MAKEINTRESOURCE(templateId);
    m_pParentWnd = CWnd::FromHandle(m_hLayered);
    m_nTemplateId = templateId;
    m_bMovable = movable ? TRUE : FALSE;
    if (pngId)
        LoadBackground(pngId);
}

CTransparentDialogBase::CTransparentDialogBase(UINT pngId, UINT templateId, CWnd* parent, void*, BOOL movable)
    : CTransparentDialogBase(pngId, templateId, parent, movable)
{
}

CTransparentDialogBase::CTransparentDialogBase(UINT pngId)
{
    if (pngId)
        LoadBackground(pngId);
}

CTransparentDialogBase::~CTransparentDialogBase()
{
    // Destroyed here, while this class still handles its own destruction, so that the layered window
    // goes with the dialog.
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
    m_background.Empty();
    m_templateFont.Restore();
    DeleteBackgroundBitmap();
    if (m_hLayered && IsWindow(m_hLayered) && !m_hWnd)
    {
        ::DestroyWindow(m_hLayered);
        m_hLayered = nullptr;
    }
}

void CTransparentDialogBase::CreateLayeredWindow(CWnd* parent)
{
    RegisterLayeredClass();
    HWND owner = parent ? parent->GetSafeHwnd() : nullptr;
    if (!owner)
        owner = ::GetActiveWindow();
    m_hLayered =
        CreateWindowEx(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOINHERITLAYOUT,
                       kLayeredClass, "", WS_POPUP, 0, 0, 0, 0, owner, nullptr, ProgramModule(), nullptr);
}

void CTransparentDialogBase::LoadBackground(UINT pngId)
{
    m_background.Load(pngId);
    m_nBackgroundWidth = static_cast<int>(m_background.GetWidth());
    m_nBackgroundHeight = static_cast<int>(m_background.GetHeight());
}

void CTransparentDialogBase::DeleteBackgroundBitmap()
{
    if (m_hBackgroundBitmap)
        DeleteObject(m_hBackgroundBitmap);
    m_hBackgroundBitmap = nullptr;
}

BOOL CTransparentDialogBase::PreCreateWindow(CREATESTRUCT& cs)
{
    return CDialog::PreCreateWindow(cs);
}

void CTransparentDialogBase::PostNcDestroy()
{
    CDialog::PostNcDestroy();
    if (m_hLayered)
    {
        ::DestroyWindow(m_hLayered);
        m_hLayered = nullptr;
        // Fails while other dialogs still use the class, which is as it should be.
        UnregisterClass(kLayeredClass, ProgramModule());
    }
}

BOOL CTransparentDialogBase::Create(UINT templateId, CWnd* parent)
{
    m_nTemplateId = templateId;
    if (!m_hLayered || !IsWindow(m_hLayered))
        CreateLayeredWindow(parent);
    if (!m_hLayered)
        return FALSE;
    std::size_t size = 0;
    if (const DLGTEMPLATE* own = FindKitDialogTemplate(templateId, size))
        return CDialog::CreateIndirect(own, CWnd::FromHandle(m_hLayered), size);
    return CDialog::Create(templateId, CWnd::FromHandle(m_hLayered));
}

INT_PTR CTransparentDialogBase::DoModal()
{
    if (m_bRunningModal)
    {
        SendMessage(WM_SHOWWINDOW, TRUE, 0);
        return 0;
    }
    m_bRunningModal = TRUE;
    if (CWnd* parent = GetParent())
    {
        m_bParentWasEnabled = parent->IsWindowEnabled();
        m_bParentDisabled = TRUE;
        parent->EnableWindow(FALSE);
    }
    std::size_t size = 0;
    if (const DLGTEMPLATE* own = FindKitDialogTemplate(m_nTemplateId, size))
        InitModalIndirect(own, m_pParentWnd, size);
    return CDialog::DoModal();
}

void CTransparentDialogBase::OnOK()
{
    CDialog::OnOK();
    m_bRunningModal = FALSE;
}

void CTransparentDialogBase::OnCancel()
{
    CDialog::OnCancel();
    m_bRunningModal = FALSE;
}

BOOL CTransparentDialogBase::DestroyWindow()
{
    m_bRunningModal = FALSE;
    // A parent that was disabled before the dialog ran stays disabled.
    if (m_bParentDisabled)
    {
        m_bParentDisabled = FALSE;
        if (CWnd* parent = GetParent(); parent && m_bParentWasEnabled)
            parent->EnableWindow(TRUE);
    }
    if (m_hLayered)
        ::ShowWindow(m_hLayered, SW_HIDE);
    DeleteBackgroundBitmap();
    return CDialog::DestroyWindow();
}

BOOL CTransparentDialogBase::OnInitDialog()
{
    ModifyStyle(WS_CAPTION | DS_MODALFRAME, 0);
    ModifyStyleEx(WS_EX_DLGMODALFRAME, 0);
    CDialog::OnInitDialog();
    m_templateFont.Apply(FindKitResourceModule(MAKEINTRESOURCE(m_nTemplateId), RT_DIALOG), m_hWnd,
                         m_nTemplateId, 96.0);
    if (m_background.IsLoaded())
    {
        SetWindowPos(nullptr, 0, 0, m_nBackgroundWidth, m_nBackgroundHeight, SWP_NOMOVE | SWP_NOZORDER);
        if (m_hLayered)
            ::SetWindowPos(m_hLayered, nullptr, 0, 0, m_nBackgroundWidth, m_nBackgroundHeight,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowRgn(m_background.CreateRegion((GetExStyle() & WS_EX_LAYOUTRTL) != 0), TRUE);
        DeleteBackgroundBitmap();
        m_background.GetBitmap()->GetHBITMAP(Gdiplus::Color(0xFFFFFFFF), &m_hBackgroundBitmap);
    }
    DrawLayeredBackground();
    return TRUE;
}

void CTransparentDialogBase::DrawLayeredBackground()
{
    if (!m_hLayered || m_nBackgroundWidth <= 0 || m_nBackgroundHeight <= 0)
        return;
    RECT layered{};
    ::GetWindowRect(m_hLayered, &layered);
    POINT destination{layered.left, layered.top};
    SIZE size{m_nBackgroundWidth, m_nBackgroundHeight};

    BITMAPINFO info = Dib32Info(m_nBackgroundWidth, m_nBackgroundHeight);
    HDC layeredDc = ::GetDC(m_hLayered);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(layeredDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(layeredDc);
    if (dib && memory)
    {
        HGDIOBJ old = SelectObject(memory, dib);
        {
            Gdiplus::Graphics graphics(memory);
            graphics.SetPageUnit(Gdiplus::UnitPixel);
            graphics.SetPageScale(1.0f);
            graphics.SetSmoothingMode(Gdiplus::SmoothingModeNone);
            graphics.DrawImage(m_background, 0, 0, m_nBackgroundWidth, m_nBackgroundHeight);
        }
        HDC screen = ::GetDC(nullptr);
        POINT source{0, 0};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(m_hLayered, screen, &destination, &size, memory, &source, 0, &blend, ULW_ALPHA);
        ::ReleaseDC(nullptr, screen);
        SelectObject(memory, old);
    }
    if (memory)
        DeleteDC(memory);
    if (dib)
        DeleteObject(dib);
    ::ReleaseDC(m_hLayered, layeredDc);
}

CWnd* CTransparentDialogBase::GetParent() const
{
    if (!m_hLayered)
        return nullptr;
    return CWnd::FromHandle(::GetWindow(m_hLayered, GW_OWNER));
}

void CTransparentDialogBase::SetBackgroundImage(UINT pngId)
{
    m_background.Empty();
    m_nBackgroundWidth = m_nBackgroundHeight = 0;
    LoadBackground(pngId);
}

void CTransparentDialogBase::MoveWindow(const RECT& rect, BOOL repaint)
{
    CDialog::MoveWindow(&rect, repaint);
    if (m_hLayered)
        ::MoveWindow(m_hLayered, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                     repaint);
}

void CTransparentDialogBase::OnDestroy()
{
    DeleteBackgroundBitmap();
    Default();
}

void CTransparentDialogBase::SetRefreshMessage(UINT message)
{
    refreshMessage = message;
}

UINT CTransparentDialogBase::GetRefreshMessage() noexcept
{
    return refreshMessage;
}

void CTransparentDialogBase::OnLButtonDown(UINT, CPoint point)
{
    m_bDragging = TRUE;
    m_ptPress = point;
    GetWindowRect(&m_rcDrag);
    SetCapture();
}

void CTransparentDialogBase::OnLButtonUp(UINT, CPoint)
{
    m_bDragging = FALSE;
    ReleaseCapture();
}

void CTransparentDialogBase::OnMouseMove(UINT, CPoint point)
{
    if (m_bDragging)
    {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(&placement);
        const CRect normal(placement.rcNormalPosition);
        bool rebased = false;
        if (IsWindowVisible() && normal.Width() > 35 && normal.Height() > 35)
        {
            RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
            const int dy = point.y - m_ptPress.y;
            const int newTop = normal.top + dy;
            const int newBottom = normal.bottom + dy;
            if (newBottom - work.top < 35 && point.y <= m_ptPress.y)
                rebased = true;
            else if (work.bottom - newTop < 35 && point.y >= m_ptPress.y)
                rebased = true;
            if (rebased)
                m_ptPress = point;
        }
        if (!rebased && GetAsyncKeyState(VK_LBUTTON) < 0)
            DragMove(&point);
    }
    Default();
}

void CTransparentDialogBase::DragMove(POINT* point)
{
    if (!m_bMovable || !point)
        return;
    const int dx = m_ptPress.x - point->x;
    const int dy = m_ptPress.y - point->y;
    const bool rtl = (GetExStyle() & WS_EX_LAYOUTRTL) != 0;
    CRect target = m_rcDrag;
    target.OffsetRect(rtl ? dx : -dx, -dy);
    CDialog::MoveWindow(&target, TRUE);
    if (m_hLayered)
        ::SetWindowPos(m_hLayered, nullptr, target.left, target.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    GetWindowRect(&m_rcDrag);
}

BOOL CTransparentDialogBase::OnEraseBkgnd(CDC* dc)
{
    const BOOL result = static_cast<BOOL>(Default());
    if (!m_hBackgroundBitmap || !dc)
        return result;
    CDC memory;
    memory.CreateCompatibleDC(dc);
    HGDIOBJ old = memory.SelectObject(m_hBackgroundBitmap);
    CRect client;
    GetClientRect(&client);
    dc->StretchBlt(0, 0, client.Width(), client.Height(), &memory, 0, 0, m_nBackgroundWidth,
                   m_nBackgroundHeight, SRCCOPY);
    if (refreshMessage)
    {
        RefreshTarget target{refreshMessage, &memory};
        EnumChildWindows(m_hWnd, SendRefresh, reinterpret_cast<LPARAM>(&target));
    }
    memory.SelectObject(old);
    return result;
}

void CTransparentDialogBase::OnMove(int x, int y)
{
    if (m_hLayered)
        ::SetWindowPos(m_hLayered, nullptr, x, y, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER |
                           (IsWindowVisible() ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void CTransparentDialogBase::OnShowWindow(BOOL show, UINT)
{
    if (m_hLayered)
    {
        ::ShowWindow(m_hLayered, show ? SW_SHOWDEFAULT : SW_HIDE);
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(&placement);
        ::SetWindowPos(m_hLayered, nullptr, placement.rcNormalPosition.left, placement.rcNormalPosition.top,
                       0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
    Default();
}

void CTransparentDialogBase::OnSize(UINT, int, int) {}

LRESULT CTransparentDialogBase::OnModalTaskState(WPARAM, LPARAM)
{
    return 0;
}

LRESULT CTransparentDialogBase::OnEnableCounted(WPARAM wParam, LPARAM)
{
    m_nEnableCount += wParam ? 1 : -1;
    EnableWindow(m_nEnableCount >= 0);
    return 0;
}

void CTransparentDialogBase::AlignLayeredWindow(const RECT& rect)
{
    if (m_hLayered)
        ::SetWindowPos(m_hLayered, nullptr, rect.left, rect.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER |
                           (IsWindowVisible() ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void CTransparentDialogBase::OnDisplayChange(UINT, int, int)
{
    CRect rect;
    GetWindowRect(&rect);
    AlignLayeredWindow(rect);
    Default();
}

void CTransparentDialogBase::OnSettingChange(UINT flags, LPCTSTR)
{
    if (flags != SPI_SETWORKAREA)
        return;
    CRect rect;
    GetWindowRect(&rect);
    AlignLayeredWindow(rect);
}
