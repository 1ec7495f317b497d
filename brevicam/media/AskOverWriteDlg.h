#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/TransparentDialogBase.h"
#include "brevicam/media/FileOperation.h"

#include <string>
#include <vector>

/// The overwrite prompt: names a file that already lies in the destination and asks whether to replace
/// it, with "Yes", "Yes to all", "No", "No to all" and, unless left out, "Cancel". User-interface thread;
/// a worker thread asks through AskFromAnyThread.
class CAskOverWriteDlg : public CTransparentDialogBase
{
public:
    CAskOverWriteDlg(BOOL noCancel, CWnd* parent);

    /// Runs the prompt modally with string `textId` (its "%s" replaced by the file name, shortened to fit)
    /// and returns the answer; closing it without a button (Escape) answers OVERWRITE_CANCEL.
    EOverwriteAnswer Ask(CString fileName, UINT textId);
    /// The same from any thread: the prompt is built and run on the user-interface thread while the
    /// caller waits. OVERWRITE_CANCEL when it cannot be shown (no user-interface thread, or the program
    /// is closing).
    static EOverwriteAnswer AskFromAnyThread(BOOL noCancel, CWnd* parent, const CString& fileName,
                                             UINT textId);

    BOOL OnInitDialog() override;

    /// One prompt asked for while answers are scripted.
    struct ShownPrompt
    {
        HWND Owner = nullptr;
        std::string FileName;
        UINT TextId = 0;
        bool NoCancel = false;
    };
    /// For tests: while scripted answers are set, every prompt is recorded instead of shown and gets the
    /// next answer; once they are used up, prompts answer OVERWRITE_CANCEL. Any thread.
    static void SetScriptedAnswers(std::vector<EOverwriteAnswer> answers);
    /// Ends scripting and forgets the record.
    static void ClearScriptedAnswers();
    /// The prompts recorded since SetScriptedAnswers, oldest first.
    static std::vector<ShownPrompt> ScriptedPrompts();

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnCancel() override;
    afx_msg void OnYes();
    afx_msg void OnYesToAll();
    afx_msg void OnNo();
    afx_msg void OnNoToAll();
    afx_msg void OnCancelButton();
    void Answer(EOverwriteAnswer answer);

    CString m_strFileName;
    UINT m_nTextId = 0;
    CGdipButton m_btnYes;
    CGdipButton m_btnYesToAll;
    CGdipButton m_btnNo;
    CGdipButton m_btnNoToAll;
    CGdipButton m_btnCancel;
    CLabel m_label;
    BOOL m_bNoCancel;
    int m_nAnswer = OVERWRITE_CANCEL;

    DECLARE_MESSAGE_MAP()
};
