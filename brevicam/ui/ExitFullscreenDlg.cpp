#include "brevicam/ui/ExitFullscreenDlg.h"

#include "Controls/ControlLayout.h"
#include "brevicam/ui/FullscreenWnd.h"
#include "resources/brevicam/resource.h"

namespace
{
constexpr ControlPlace kLayout[] = {{IDC_EXIT_FULLSCREEN, 10, 10, 50, 50}};
} // namespace

IMPLEMENT_DYNAMIC(ExitFullscreenDlg, CDialogColleague)

BEGIN_MESSAGE_MAP(ExitFullscreenDlg, CDialogColleague)
ON_BN_CLICKED(IDC_EXIT_FULLSCREEN, OnExitButton)
END_MESSAGE_MAP()

ExitFullscreenDlg::ExitFullscreenDlg() : CDialogColleague(IDD)
{
    SetBackgroundImage(kBackgroundPng);
    // Dragging a colleague moves the whole group, and the others are hidden behind the full screen.
    m_bMovable = FALSE;
}

ExitFullscreenDlg::~ExitFullscreenDlg() = default;

void ExitFullscreenDlg::DoDataExchange(CDataExchange* dx)
{
    CDialogColleague::DoDataExchange(dx);
    DDX_Control(dx, IDC_EXIT_FULLSCREEN, m_exitButton);
}

BOOL ExitFullscreenDlg::OnInitDialog()
{
    CDialogColleague::OnInitDialog();
    PlaceControls(*this, kLayout);
    m_exitButton.LoadImages(IDP_EXIT_FULLSCREEN, IDP_EXIT_FULLSCREEN_HOVER, IDP_EXIT_FULLSCREEN);
    DrawLayeredBackground();
    return TRUE;
}

BOOL ExitFullscreenDlg::PreTranslateMessage(MSG* msg)
{
    CWnd* main = GetParent();
    if (ForwardFullScreenKey(msg, main ? main->GetSafeHwnd() : nullptr))
        return TRUE;
    return CDialogColleague::PreTranslateMessage(msg);
}

void ExitFullscreenDlg::OnExitButton()
{
    if (CWnd* main = GetParent())
        main->PostMessage(WM_KEYDOWN, VK_F11, 0);
}
