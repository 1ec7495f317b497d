#include "brevicam/media/AviConversionProgressDlg.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <new>
#include <string>

namespace
{
constexpr int kBarMax = 1000;
constexpr int kBarWidth = 420;
constexpr int kBarHeight = 14;
constexpr int kCancelWidth = 87;
constexpr int kCancelHeight = 34;
constexpr int kCancelTop = 150;
constexpr UINT_PTR kQueueDoneTimer = 1;
/// The full bar stays in sight for a moment before the dialog closes.
constexpr UINT kQueueDoneDelayMs = 500;
constexpr int kMessagePathChars = 50;
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kDark = RGB(0x33, 0x33, 0x33);

/// The part after the last path separator.
CString FileNameOf(const CString& path)
{
    const int slash = path.ReverseFind('/');
    return slash < 0 ? path : path.Mid(slash + 1);
}

/// The name of the folder a path lies in.
CString FolderNameOf(const CString& path)
{
    const int slash = path.ReverseFind('/');
    return slash < 0 ? CString() : FileNameOf(path.Left(slash));
}

/// `text` with its first two "%s" replaced by `first` and `second`; a translated string is never read as a
/// format.
CString WithTwoTexts(const CString& text, const CString& first, const CString& second)
{
    std::string result = text.Str();
    std::size_t at = 0;
    for (const CString* value : {&first, &second})
    {
        const std::size_t mark = result.find("%s", at);
        if (mark == std::string::npos)
            break;
        result.replace(mark, 2, value->Str());
        at = mark + value->Str().size();
    }
    return CString(result);
}

/// The character boundaries of UTF-8 text: the byte offset of every character, and the length at the end.
std::vector<std::size_t> CharacterOffsets(const std::string& text)
{
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            offsets.push_back(i);
    offsets.push_back(text.size());
    return offsets;
}
} // namespace

BEGIN_MESSAGE_MAP(CAviConversionProgressDlg, CTransparentDialogBase)
ON_MESSAGE(WM_TRANSCODER_EVENT, OnTranscoderEvent)
ON_WM_DESTROY()
ON_WM_TIMER()
END_MESSAGE_MAP()

CAviConversionProgressDlg::CAviConversionProgressDlg(transcoder::IVideoTranscoder* transcoder, CWnd* parent)
    : CTransparentDialogBase(IDP_CONVERSION_BACKGROUND, IDD_CONVERSION_PROGRESS, parent, TRUE),
      m_hResources(AppResourceInstance()), m_pTranscoder(transcoder)
{
    // The template's bar is a progress control, whose class must exist before the window does.
    InitProgressClass();
}

CAviConversionProgressDlg::~CAviConversionProgressDlg()
{
    std::lock_guard lock(m_pendingLock);
    for (TranscoderEventRecord* record : m_pending)
        delete record;
    m_pending.clear();
}

void CAviConversionProgressDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_CONVERSION_TEXT, m_label);
    DDX_Control(dx, IDCANCEL, m_cancel);
    DDX_Control(dx, IDC_CONVERSION_PROGRESS, m_progress);
}

BOOL CAviConversionProgressDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();

    m_progress.ModifyStyleEx(WS_EX_CLIENTEDGE, 0, SWP_FRAMECHANGED);
    m_progress.SetBitmap(static_cast<UINT>(IDB_CONVERSION_BAR), static_cast<UINT>(IDB_CONVERSION_TROUGH));
    m_progress.SetWindowPos(nullptr, 0, 0, kBarWidth, kBarHeight, SWP_NOMOVE | SWP_NOZORDER);
    m_progress.SetRange(1, kBarMax);
    m_progress.SetPos((GetExStyle() & WS_EX_LAYOUTRTL) ? 10 : 0);

    m_label.SetTransparent(TRUE);
    m_label.SetFontBold(TRUE);
    m_label.SetFontName("Arial");
    m_label.SetTextColor(kDark, 255);
    m_label.SetText("");
    m_label.SetFontSize(11);

    CString caption;
    caption.LoadString(m_hResources, IDS_CANCEL);
    m_cancel.SetWindowText(caption);
    CRect client;
    GetClientRect(&client);
    m_cancel.SetWindowPos(nullptr, client.Width() / 2 - 43, kCancelTop, kCancelWidth, kCancelHeight,
                          SWP_NOZORDER);
    m_cancel.LoadImages(IDP_CONVERSION_CANCEL, IDP_CONVERSION_CANCEL_HOVER, IDP_CONVERSION_CANCEL_PRESSED);
    m_cancel.SetTextColors(kWhite, kDark);
    m_cancel.SetHoverTextColor(kWhite);
    m_cancel.SetPressedTextColor(kWhite);
    m_cancel.SetFontBold(TRUE);
    m_cancel.SetTextOffset(0, 1);
    // The button composes its state images at the first paint, which setting the size brings about; so
    // the size comes last, when the rest of the caption's look is set.
    m_cancel.SetFontSize(85);

    m_nJobCount = m_pTranscoder ? m_pTranscoder->GetJobCount() : 0;
    m_nCurrentJob = 0;
    m_nFailed = 0;
    m_nDone = 0;
    if (!m_pTranscoder)
    {
        EndDialog(3);
        return TRUE;
    }
    m_pTranscoder->RegisterCallback(this);
    try
    {
        m_pTranscoder->RunJobQueue();
        m_bRunStarted = true;
    }
    catch (const COSResourceException& e)
    {
        // No worker could be started: the run ends as a queue whose start failed.
        const int code = e.GetErrorCode();
        Notify(WM_TRANSCODER_EVENT, transcoder::TE_QUEUE_DONE, &code);
    }
    catch (const std::exception&)
    {
        const int code = -1;
        Notify(WM_TRANSCODER_EVENT, transcoder::TE_QUEUE_DONE, &code);
    }
    return TRUE;
}

void CAviConversionProgressDlg::OnOK() {}

void CAviConversionProgressDlg::OnCancel()
{
    if (!m_bRunStarted)
        EndDialog(2);
    else if (!m_bRunEnded)
        m_pTranscoder->Halt();
}

int CAviConversionProgressDlg::Notify(UINT message, int event, const void* data)
{
    auto* record = new (std::nothrow) TranscoderEventRecord;
    if (!record)
        return 0;
    try
    {
        switch (event)
        {
        case transcoder::TE_JOB_STARTED:
        {
            const auto* info = static_cast<const transcoder::TranscoderJobInfo*>(data);
            record->source = info->source;
            record->target = info->target;
            record->jobIndex = m_nJobCount - m_pTranscoder->GetJobCount() - 1;
            break;
        }
        case transcoder::TE_JOB_PROGRESS:
            record->progress = *static_cast<const transcoder::TranscodeProgress*>(data);
            break;
        case transcoder::TE_JOB_ERROR:
        case transcoder::TE_JOB_DONE:
        case transcoder::TE_JOB_ABORTED:
        {
            const auto* status = static_cast<const transcoder::TranscoderJobStatus*>(data);
            record->source = status->source;
            record->code = status->code;
            break;
        }
        case transcoder::TE_QUEUE_DONE:
            record->code = *static_cast<const int*>(data);
            break;
        default:
            break;
        }
        std::lock_guard lock(m_pendingLock);
        if (event == transcoder::TE_JOB_STARTED)
            m_startedJobs.emplace_back(record->source, record->target);
        m_pending.insert(record);
    }
    catch (const std::bad_alloc&)
    {
        delete record;
        return 0;
    }
    if (!::PostMessage(m_hWnd, message, static_cast<WPARAM>(event), reinterpret_cast<LPARAM>(record)))
    {
        // The window is gone: nobody will handle the record.
        std::lock_guard lock(m_pendingLock);
        m_pending.erase(record);
        delete record;
    }
    return 0;
}

LRESULT CAviConversionProgressDlg::OnTranscoderEvent(WPARAM wParam, LPARAM lParam)
{
    auto* record = reinterpret_cast<TranscoderEventRecord*>(lParam);
    {
        std::lock_guard lock(m_pendingLock);
        // A record that is not pending was never ours, or has been handled already.
        if (!m_pending.erase(record))
            return 0;
    }
    const std::unique_ptr<TranscoderEventRecord> owned(record);
    SetRedraw(FALSE);
    try
    {
        switch (static_cast<int>(wParam))
        {
        case transcoder::TE_JOB_STARTED:
            OnJobStarted(*record);
            break;
        case transcoder::TE_JOB_PROGRESS:
            OnJobProgress(*record);
            break;
        case transcoder::TE_JOB_ERROR:
            OnJobError(*record);
            break;
        case transcoder::TE_JOB_DONE:
            OnJobDone(*record);
            break;
        case transcoder::TE_JOB_ABORTED:
            OnJobAborted(*record);
            break;
        case transcoder::TE_QUEUE_DONE:
            OnQueueDone(*record);
            break;
        default:
            break;
        }
    }
    catch (...)
    {
        // An event that cannot be shown must not end the dialog; the next one shows the state again.
    }
    if (::IsWindow(m_hWnd))
    {
        SetRedraw(TRUE);
        RedrawNow();
    }
    return 0;
}

void CAviConversionProgressDlg::RedrawNow()
{
    RedrawWindow(nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

CString CAviConversionProgressDlg::ShortenName(const CString& name, int maxChars)
{
    const std::string& text = name.Str();
    const std::vector<std::size_t> offsets = CharacterOffsets(text);
    const std::size_t characters = offsets.size() - 1;
    constexpr std::size_t kHead = 5;
    constexpr std::size_t kTail = 10;
    if (characters <= static_cast<std::size_t>(std::max(maxChars, 0)) || characters < kHead + kTail)
        return name;
    return CString(text.substr(0, offsets[kHead]) + "..." + text.substr(offsets[characters - kTail]));
}

void CAviConversionProgressDlg::OnJobStarted(const TranscoderEventRecord& record)
{
    m_nCurrentJob = record.jobIndex;
    const CString source = ShortenName(FileNameOf(record.source), 20);
    const CString target = ShortenName(FileNameOf(record.target), 15);
    const UINT textId = FolderNameOf(record.target) == "Youtube" ? IDS_CONVERTING_FOR_UPLOAD : IDS_CONVERTING;
    CString text;
    text.LoadString(m_hResources, textId);
    m_label.SetTransparent(TRUE);
    m_label.SetText(WithTwoTexts(text, source, target));
}

void CAviConversionProgressDlg::OnJobProgress(const TranscoderEventRecord& record)
{
    // The converter tells the input's length before its first progress line; until then there is no
    // fraction to show.
    if (record.progress.inputLength == 0.0f)
        return;
    const float fraction = record.progress.time / record.progress.inputLength * 1000.0f;
    const int permille = fraction >= static_cast<float>(kBarMax) ? kBarMax
                         : fraction > 0.0f                       ? static_cast<int>(fraction)
                                                                 : 0;
    // A queue that was empty at the start has no share per job; a job added meanwhile counts as one.
    const int jobs = std::max(m_nJobCount, 1);
    m_progress.SetPos((kBarMax / jobs) * m_nCurrentJob + permille / jobs);
}

void CAviConversionProgressDlg::OnJobError(const TranscoderEventRecord& record)
{
    ++m_nFailed;
    if (record.code != transcoder::kJobErrorConverterFailed)
    {
        SetRedraw(TRUE);
        RedrawNow();
        const CString name = CParams::CompactPath(FileNameOf(record.source), kMessagePathChars);
        CString caption;
        caption.LoadString(m_hResources, IDS_ERROR);
        SkinMessageBox(m_hWnd, LoadStringWithText(IDS_FILE_ACCESS_PROBLEM, name), caption,
                       MB_OK | MB_ICONERROR);
    }
    m_pTranscoder->SignalErrorHandled();
}

void CAviConversionProgressDlg::OnJobDone(const TranscoderEventRecord&)
{
    ++m_nDone;
    const int jobs = std::max(m_nJobCount, 1);
    m_progress.SetPos((kBarMax / jobs) * (m_nCurrentJob + 1));
}

void CAviConversionProgressDlg::OnJobAborted(const TranscoderEventRecord&)
{
    m_bRunEnded = true;
    EndDialog(2);
}

void CAviConversionProgressDlg::OnQueueDone(const TranscoderEventRecord& record)
{
    m_bRunEnded = true;
    if (record.code == 0)
    {
        SetTimer(kQueueDoneTimer, kQueueDoneDelayMs);
        return;
    }
    if (record.code != -1)
        SkinMessageBoxIds(m_hWnd, IDS_CONVERSION_NOT_STARTED, IDS_ERROR, MB_OK | MB_ICONERROR);
    EndDialog(3);
}

void CAviConversionProgressDlg::OnTimer(UINT_PTR id)
{
    if (id != kQueueDoneTimer)
        return;
    KillTimer(kQueueDoneTimer);
    EndDialog(1);
}

void CAviConversionProgressDlg::OnDestroy()
{
    if (m_pTranscoder)
    {
        // After this no event is posted any more; what was posted is freed with the dialog.
        m_pTranscoder->UnregisterCallback(this);
        if (m_bRunStarted && !m_bRunEnded)
        {
            // Closed before its run ended: the worker must not run on for a dialog that is gone.
            m_pTranscoder->Halt();
            m_bRunEnded = true;
        }
    }
    CTransparentDialogBase::OnDestroy();
}

std::vector<std::pair<CString, CString>> CAviConversionProgressDlg::GetStartedJobs() const
{
    std::lock_guard lock(m_pendingLock);
    return m_startedJobs;
}

ConversionOutcome CAviConversionProgressDlg::RunConversion()
{
    ConversionOutcome outcome;
    outcome.result = DoModal();
    outcome.failedJobs = m_nFailed;
    outcome.converted = outcome.result == 1 && outcome.failedJobs == 0;
    if (outcome.converted)
        return outcome;
    // A dialog that never ran started no worker; halting then only marks the instance as done.
    if (m_pTranscoder)
        m_pTranscoder->Halt();
    for (const auto& [source, target] : GetStartedJobs())
    {
        std::error_code error;
        if (std::filesystem::equivalent(source.Str(), target.Str(), error))
            continue;
        std::filesystem::remove(target.Str(), error);
    }
    return outcome;
}
