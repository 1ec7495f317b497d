#include "brevicam/media/AskOverWriteDlg.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/media/TextButtonStyle.h"
#include "platform/window/Extras.h"
#include "resources/brevicam/resource.h"

#include <deque>
#include <mutex>
#include <optional>

namespace
{
constexpr int kButtonWidth = 112;
constexpr int kButtonHeight = 44;
constexpr int kButtonTop = 210;
constexpr int kLabelWidth = 530;
constexpr int kLabelHeight = 69;
// The three lines of the question stand in the middle of the paper panel above the buttons.
constexpr int kLabelTop = 82;
// Five buttons fill the row; without Cancel the four others spread out.
constexpr int kFiveLeft = 14;
constexpr int kFiveStep = kButtonWidth + 4;
constexpr int kFourLeft = 55;
constexpr int kFourStep = 120;
const UINT kWideImages[4] = {IDP_WIDE_BUTTON, IDP_WIDE_BUTTON_HOVER, IDP_WIDE_BUTTON_PRESSED,
                             IDP_WIDE_BUTTON_DISABLED};
constexpr COLORREF kText = RGB(0x33, 0x33, 0x33);

std::mutex g_scriptLock;
std::optional<std::deque<EOverwriteAnswer>> g_script;
std::vector<CAskOverWriteDlg::ShownPrompt> g_shown;

/// The scripted answer of a prompt, recorded; nothing while prompts are shown for real.
std::optional<EOverwriteAnswer> ScriptedAnswer(HWND owner, const CString& fileName, UINT textId,
                                               BOOL noCancel)
{
    std::lock_guard lock(g_scriptLock);
    if (!g_script)
        return std::nullopt;
    g_shown.push_back({owner, fileName.Str(), textId, noCancel != FALSE});
    if (g_script->empty())
        return OVERWRITE_CANCEL;
    const EOverwriteAnswer answer = g_script->front();
    g_script->pop_front();
    return answer;
}

CString LoadText(UINT id)
{
    CString text;
    text.LoadString(AppResourceInstance(), id);
    return text;
}
} // namespace

BEGIN_MESSAGE_MAP(CAskOverWriteDlg, CTransparentDialogBase)
ON_BN_CLICKED(IDC_OVERWRITE_YES, OnYes)
ON_BN_CLICKED(IDC_OVERWRITE_YES_ALL, OnYesToAll)
ON_BN_CLICKED(IDC_OVERWRITE_NO, OnNo)
ON_BN_CLICKED(IDC_OVERWRITE_NO_ALL, OnNoToAll)
ON_BN_CLICKED(IDC_OVERWRITE_CANCEL, OnCancelButton)
END_MESSAGE_MAP()

CAskOverWriteDlg::CAskOverWriteDlg(BOOL noCancel, CWnd* parent)
    : CTransparentDialogBase(IDP_ASK_OVERWRITE_BACKGROUND, IDD_ASK_OVERWRITE, parent, TRUE),
      m_bNoCancel(noCancel)
{
}

EOverwriteAnswer CAskOverWriteDlg::Ask(CString fileName, UINT textId)
{
    CWnd* owner = GetParent();
    if (auto scripted = ScriptedAnswer(owner ? owner->GetSafeHwnd() : nullptr, fileName, textId, m_bNoCancel))
        return *scripted;
    m_strFileName = fileName;
    m_nTextId = textId;
    m_nAnswer = OVERWRITE_CANCEL;
    DoModal();
    return static_cast<EOverwriteAnswer>(m_nAnswer);
}

EOverwriteAnswer CAskOverWriteDlg::AskFromAnyThread(BOOL noCancel, CWnd* parent, const CString& fileName,
                                                    UINT textId)
{
    if (auto scripted = ScriptedAnswer(parent ? parent->GetSafeHwnd() : nullptr, fileName, textId, noCancel))
        return *scripted;
    EOverwriteAnswer answer = OVERWRITE_CANCEL;
    platform::window::CallOnUiThread(
        [&]
        {
            CAskOverWriteDlg prompt(noCancel, parent);
            answer = prompt.Ask(fileName, textId);
        });
    return answer;
}

void CAskOverWriteDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_OVERWRITE_YES, m_btnYes);
    DDX_Control(dx, IDC_OVERWRITE_YES_ALL, m_btnYesToAll);
    DDX_Control(dx, IDC_OVERWRITE_NO, m_btnNo);
    DDX_Control(dx, IDC_OVERWRITE_NO_ALL, m_btnNoToAll);
    DDX_Control(dx, IDC_OVERWRITE_CANCEL, m_btnCancel);
    DDX_Control(dx, IDC_OVERWRITE_TEXT, m_label);
}

BOOL CAskOverWriteDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();
    CRect client;
    GetClientRect(&client);
    m_label.MoveWindow((client.Width() - kLabelWidth) / 2, kLabelTop, kLabelWidth, kLabelHeight);
    m_label.SetFontBold(TRUE);
    m_label.SetFontName("Arial");

    const struct
    {
        CGdipButton* button;
        UINT caption;
    } buttons[] = {{&m_btnYes, IDS_YES},
                   {&m_btnYesToAll, IDS_YES_TO_ALL},
                   {&m_btnNo, IDS_NO},
                   {&m_btnNoToAll, IDS_NO_TO_ALL},
                   {&m_btnCancel, IDS_CANCEL}};
    int index = 0;
    for (const auto& b : buttons)
    {
        b.button->SetWindowPos(nullptr, kFiveLeft + kFiveStep * index, kButtonTop, kButtonWidth,
                               kButtonHeight, SWP_NOZORDER);
        StyleTextButton(*b.button, LoadText(b.caption), kWideImages);
        ++index;
    }
    if (m_bNoCancel)
    {
        m_btnCancel.ShowWindow(SW_HIDE);
        index = 0;
        for (CGdipButton* b : {&m_btnYes, &m_btnYesToAll, &m_btnNo, &m_btnNoToAll})
            b->SetWindowPos(nullptr, kFourLeft + kFourStep * index++, kButtonTop, 0, 0,
                            SWP_NOZORDER | SWP_NOSIZE);
    }

    m_label.SetFontSize(9);
    m_label.SetTransparent(TRUE);
    m_label.SetTextColor(kText, 255);
    m_label.SetFontBold(TRUE);
    m_label.SetText(LoadStringWithText(m_nTextId, CParams::EllipsizeText(m_strFileName, m_label)));

    m_nAnswer = OVERWRITE_CANCEL;
    m_btnYesToAll.EnableWindow(TRUE);
    m_btnNoToAll.EnableWindow(TRUE);
    // Over the window that opened it (or the screen's middle); the layered background follows.
    CenterWindow(GetParent());
    return TRUE;
}

void CAskOverWriteDlg::Answer(EOverwriteAnswer answer)
{
    m_nAnswer = answer;
    CTransparentDialogBase::OnOK();
}

void CAskOverWriteDlg::OnYes()
{
    Answer(OVERWRITE_YES);
}

void CAskOverWriteDlg::OnYesToAll()
{
    Answer(OVERWRITE_YES_ALL);
}

void CAskOverWriteDlg::OnNo()
{
    Answer(OVERWRITE_NO);
}

void CAskOverWriteDlg::OnNoToAll()
{
    Answer(OVERWRITE_NO_ALL);
}

void CAskOverWriteDlg::OnCancelButton()
{
    Answer(OVERWRITE_CANCEL);
}

void CAskOverWriteDlg::OnCancel()
{
    m_nAnswer = OVERWRITE_CANCEL;
    CTransparentDialogBase::OnCancel();
}

void CAskOverWriteDlg::SetScriptedAnswers(std::vector<EOverwriteAnswer> answers)
{
    std::lock_guard lock(g_scriptLock);
    g_script.emplace(answers.begin(), answers.end());
    g_shown.clear();
}

void CAskOverWriteDlg::ClearScriptedAnswers()
{
    std::lock_guard lock(g_scriptLock);
    g_script.reset();
    g_shown.clear();
}

std::vector<CAskOverWriteDlg::ShownPrompt> CAskOverWriteDlg::ScriptedPrompts()
{
    std::lock_guard lock(g_scriptLock);
    return g_shown;
}
