#include "brevicam/ui/ResChangeDlg.h"

#include "Controls/ControlLayout.h"
#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "resources/brevicam/resource.h"

namespace
{
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kDark = RGB(0x33, 0x33, 0x33);

// In pixels of the background: the title on the dark strip, the message, the check box and its caption
// on the light panel, OK on the dark row below it.
constexpr ControlPlace kLayout[] = {
    {IDC_RES_CHANGE_TITLE, 16, 8, 440, 26},
    {IDC_RES_CHANGE_MESSAGE, 30, 62, 413, 104},
    {IDC_RES_CHANGE_CHECK, 30, 172, 29, 29},
    {IDC_RES_CHANGE_CHECK_CAPTION, 68, 176, 375, 22},
    {IDOK, 193, 224, 87, 34},
};
} // namespace

IMPLEMENT_DYNAMIC(CResChangeDlg, CTransparentDialogBase)

BEGIN_MESSAGE_MAP(CResChangeDlg, CTransparentDialogBase)
ON_BN_CLICKED(IDOK, OnOKButton)
END_MESSAGE_MAP()

CResChangeDlg::CResChangeDlg(CWnd* parent) : CTransparentDialogBase(kBackgroundPng, IDD, parent, TRUE) {}

CResChangeDlg::~CResChangeDlg() = default;

void CResChangeDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_RES_CHANGE_MESSAGE, m_message);
    DDX_Control(dx, IDC_RES_CHANGE_TITLE, m_title);
    DDX_Control(dx, IDC_RES_CHANGE_CHECK_CAPTION, m_checkCaption);
    DDX_Control(dx, IDC_RES_CHANGE_CHECK, m_checkBox);
    DDX_Control(dx, IDOK, m_ok);
}

BOOL CResChangeDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();
    m_hResourceInstance = AppResourceInstance();
    PlaceControls(*this, kLayout);

    m_message.SetTransparent(TRUE);
    m_message.SetText(m_strMessage);
    m_message.SetTextColor(kDark, 255);
    m_message.SetFontBold(TRUE);
    m_message.SetFontSize(9);
    m_message.SetFontName("Arial");

    m_title.SetTransparent(TRUE);
    m_title.SetText(CParams::GetAppTitle());
    m_title.SetTextColor(kWhite, 255);
    m_title.SetFontSize(14);
    m_title.SetFontFace("Arial", TRUE);

    m_checkCaption.SetTransparent(TRUE);
    m_checkCaption.SetText(m_strCheckCaption);
    m_checkCaption.SetTextColor(kDark, 255);
    m_checkCaption.SetFontBold(TRUE);
    m_checkCaption.SetFontSize(9);
    m_checkCaption.SetFontName("Arial");

    m_checkBox.LoadImages(IDP_RES_CHANGE_CHECK, 0, IDP_RES_CHANGE_CHECK_TICKED);
    m_checkBox.SetCheck(BST_UNCHECKED);

    CString caption;
    caption.LoadString(m_hResourceInstance, IDS_OK);
    m_ok.SetWindowText(caption);
    m_ok.LoadImages(IDP_RES_CHANGE_OK, IDP_RES_CHANGE_OK_HOVER, IDP_RES_CHANGE_OK_PRESSED,
                    IDP_RES_CHANGE_OK_DISABLED);
    m_ok.SetTextColors(kWhite, kDark);
    m_ok.SetPressedTextColor(kWhite);
    m_ok.SetHoverTextColor(kWhite);
    m_ok.SetFontName("Arial", DEFAULT_CHARSET);
    m_ok.SetFontSize(85);
    m_ok.SetFontBold(TRUE);
    m_ok.SetTextOffset(0, 2);

    if (m_nTopMost)
        SetWindowPos(&CWnd::wndTopMost, 0, 0, 0, 0, SWP_NOSIZE);
    else
        CenterWindow(GetParent());
    DrawLayeredBackground();
    return TRUE;
}

void CResChangeDlg::OnOKButton()
{
    m_nDontWarnAgain = m_checkBox.GetCheck() == BST_CHECKED ? 1 : 0;
    CTransparentDialogBase::OnOK();
}

INT_PTR CResChangeDlg::WarnResolutionLowered(CWnd* parent, int loweredState, int topMost,
                                             CResChangeDlg** running)
{
    if (loweredState != PS_RES_LOWERED_800 && loweredState != PS_RES_LOWERED_640)
        return 0;
    const bool video = loweredState == PS_RES_LOWERED_800;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        if ((video ? g_params.m_ResWarning : g_params.m_BMResWarning) == 0)
            return 0;
    }
    CResChangeDlg notice(parent);
    const HINSTANCE texts = AppResourceInstance();
    notice.m_strMessage.LoadString(texts, video ? IDS_RES_LOWERED_VIDEO : IDS_RES_LOWERED_BURST);
    notice.m_strCheckCaption.LoadString(texts, IDS_DONT_WARN_AGAIN);
    notice.SetTopMost(topMost);
    if (running)
        *running = &notice;
    const INT_PTR result = notice.DoModal();
    if (running)
        *running = nullptr;
    if (result == IDOK && notice.m_nDontWarnAgain != 0)
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        (video ? g_params.m_ResWarning : g_params.m_BMResWarning) = 0;
    }
    return result;
}
