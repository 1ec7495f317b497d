#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/ProgressCtrlST.h"
#include "Controls/TransparentDialogBase.h"
#include "kestavo/Transcoder.h"
#include "platform/window/Afx.h"

#include <mutex>
#include <set>
#include <utility>
#include <vector>

using transcoder::WM_TRANSCODER_EVENT;

/// One job event on its way from the transcoder's worker to the dialog: a copy of the event's data.
struct TranscoderEventRecord
{
    CString source;
    CString target;
    transcoder::TranscodeProgress progress{};
    int code = 0;
    int jobIndex = 0;
};

/// What came of converting the queued jobs behind the dialog.
struct ConversionOutcome
{
    /// The dialog's result: 1 every job ran, 2 cancelled, 3 failed, 0 or -1 when it did not run or was
    /// closed otherwise.
    INT_PTR result = 0;
    int failedJobs = 0;
    /// True only when the dialog ended with 1 and no job failed.
    bool converted = false;
};

/// The modal dialog that runs a transcoder's queued jobs and shows their progress: which file is being
/// converted and one bar for the whole queue. It observes the transcoder: the events arrive on the
/// transcoder's worker thread and are posted to the dialog as WM_TRANSCODER_EVENT (wParam the event,
/// lParam a TranscoderEventRecord the dialog owns), so everything visible happens on the user-interface
/// thread. DoModal ends with 1 when every job ran, 2 after the user cancelled, 3 when the run failed.
///
/// The transcoder is not owned and must outlive the dialog. A dialog closed before its run ended (by other
/// means than its events) halts the transcoder and waits for its worker, so the caller may delete the
/// instance once DoModal returned.
class CAviConversionProgressDlg : public CTransparentDialogBase, public transcoder::IUIObserver
{
public:
    CAviConversionProgressDlg(transcoder::IVideoTranscoder* transcoder, CWnd* parent);
    /// Deletes the records that were posted but never handled.
    ~CAviConversionProgressDlg() override;

    /// Runs the dialog modally over the transcoder's queued jobs, as the e-mail action does before it
    /// attaches the copies. Anything but a run in which every job was converted counts as a failure: the
    /// transcoder is then halted with its worker ended, and every target that the run started writing is
    /// deleted (never a job's own source), so that no half-made or unwanted copy stays behind.
    ConversionOutcome RunConversion();

    BOOL OnInitDialog() override;
    /// Enter does nothing.
    void OnOK() override;
    /// The Cancel button and Escape: halts the transcoder (returns when its worker has ended); the dialog
    /// then ends on the abort event the worker posted, or on the end of a queue that had already finished.
    void OnCancel() override;
    /// The transcoder's worker thread: copies the event and posts it; nothing else.
    int Notify(UINT message, int event, const void* data) override;

    virtual void OnJobStarted(const TranscoderEventRecord& record);
    virtual void OnJobProgress(const TranscoderEventRecord& record);
    virtual void OnJobError(const TranscoderEventRecord& record);
    virtual void OnJobDone(const TranscoderEventRecord& record);
    virtual void OnJobAborted(const TranscoderEventRecord& record);
    virtual void OnQueueDone(const TranscoderEventRecord& record);

    /// Jobs that reported an error in this run.
    int GetFailedJobCount() const noexcept { return m_nFailed; }
    /// The targets of the jobs that started in this run, each with its source, in order. Any thread.
    std::vector<std::pair<CString, CString>> GetStartedJobs() const;

    /// A file name shortened to its first 5 and last 10 characters around "..." when it has more than
    /// `maxChars` characters.
    static CString ShortenName(const CString& name, int maxChars);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    afx_msg LRESULT OnTranscoderEvent(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();
    afx_msg void OnTimer(UINT_PTR id);
    /// Redraws the dialog at once, erasing its background.
    void RedrawNow();

    HINSTANCE m_hResources;
    transcoder::IVideoTranscoder* m_pTranscoder;
    int m_nJobCount = 0;
    int m_nCurrentJob = 0;
    int m_nFailed = 0;
    int m_nDone = 0;
    CLabel m_label;
    CGdipButton m_cancel;
    CProgressCtrlST m_progress;
    /// Records posted and not yet handled; the worker inserts, the user-interface thread removes.
    std::set<TranscoderEventRecord*> m_pending;
    std::vector<std::pair<CString, CString>> m_startedJobs;
    mutable std::mutex m_pendingLock;
    bool m_bRunStarted = false;
    bool m_bRunEnded = false;

    DECLARE_MESSAGE_MAP()
};
