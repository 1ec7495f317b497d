#include "corrowin/UpdateQuestionDlg.h"

#include "corrowin/CorrowinApp.h"
#include "resources/corrowin/resource.h"

namespace
{
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kDark = RGB(0x33, 0x33, 0x33);
} // namespace

BEGIN_MESSAGE_MAP(CUpdateQuestionDlg, CTransparentDialogBase)
ON_BN_CLICKED(IDYES, OnYes)
ON_BN_CLICKED(IDNO, OnNo)
END_MESSAGE_MAP()

CUpdateQuestionDlg::CUpdateQuestionDlg(const CString& applicationName, CWnd* parent)
    : CTransparentDialogBase(kBackgroundPng, IDD, parent, TRUE), m_applicationName(applicationName)
{
}

void CUpdateQuestionDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_QUESTION, m_question);
    DDX_Control(dx, IDC_QUESTION_NAME, m_name);
    DDX_Control(dx, IDC_DONT_WARN, m_dontWarn);
    DDX_Control(dx, IDC_DONT_WARN_TEXT, m_dontWarnText);
    DDX_Control(dx, IDC_EDITION, m_edition);
    DDX_Control(dx, IDYES, m_yes);
    DDX_Control(dx, IDNO, m_no);
}

BOOL CUpdateQuestionDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();
    const CCorrowinApp& app = CorrowinApp();
    const CString question = app.LoadTextWith(IDS_UPDATE_QUESTION, m_applicationName);
    m_question.SetFontFace("Arial", TRUE)
        .SetFontSize(9)
        .SetFontBold(TRUE)
        .SetTextColor(kDark)
        .SetTransparent(TRUE);
    m_question.SetText(question);
    m_name.SetTextColor(kWhite).SetFontBold(TRUE).SetFontSize(11).SetTransparent(TRUE);
    m_name.SetText(m_applicationName);
    m_dontWarn.LoadImages(IDP_CHECK, 0, IDP_CHECK_TICKED);
    m_dontWarn.SetTextOffset(15, 0);
    m_dontWarnText.SetFontFace("Arial", TRUE)
        .SetFontSize(9)
        .SetFontBold(TRUE)
        .SetTextColor(kDark)
        .SetTransparent(TRUE);
    m_dontWarnText.SetText(app.LoadText(IDS_DONT_WARN));
    if (m_applicationName.GetLength() >= 3 && m_applicationName.Right(3) == " SE")
    {
        m_edition.SetFontSize(20).SetFontItalic(TRUE).SetTextColor(kWhite).SetTransparent(TRUE);
        m_edition.SetText("SE");
        m_edition.ShowWindow(SW_SHOW);
    }
    for (auto [button, caption] : {std::pair{&m_yes, IDS_OK}, std::pair{&m_no, IDS_CANCEL}})
    {
        button->LoadImages(IDP_BUTTON, IDP_BUTTON_HOVER, IDP_BUTTON_PRESSED, IDP_BUTTON);
        button->SetWindowText(app.LoadText(caption));
        button->SetTextColors(kWhite, kDark);
        button->SetHoverTextColor(kWhite);
        button->SetPressedTextColor(kWhite);
        button->SetFontBold(TRUE);
        button->SetFontSize(90);
    }
    // Centred on the desktop.
    CRect window;
    GetWindowRect(&window);
    SetWindowPos(nullptr, (GetSystemMetrics(SM_CXSCREEN) - window.Width()) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - window.Height()) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    DrawLayeredBackground();
    return TRUE;
}

void CUpdateQuestionDlg::End(int result)
{
    m_nAnswer = m_dontWarn.SendMessage(BM_GETCHECK, 0, 0) != 0 ? 1 : 0;
    CWnd* dialog = GetParent();
    EndDialog(result);
    m_bRunningModal = FALSE;
    if (CWnd* owner = dialog ? dialog->GetParent() : nullptr; owner && owner->GetSafeHwnd())
        owner->SetFocus();
}

void CUpdateQuestionDlg::OnYes()
{
    End(IDYES);
}

void CUpdateQuestionDlg::OnNo()
{
    End(IDNO);
}
