#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/TransparentDialogBase.h"
#include "brevicam/core/MyTimer.h"
#include "brevicam/core/Observer.h"
#include "brevicam/ui/Anim.h"
#include "brevicam/ui/Chrono.h"
#include "shared/faldra/SkinComboBox.h"

class CCaptureController;
class CResChangeDlg;

/// The compact capture window that floats over the live picture in full screen: the four capture-mode
/// buttons, the resolution list of the mode, the capture button, the elapsed-time label, the countdown and
/// the REC/PAUSE indicator. It drives the capture controller directly and follows its program-state and
/// video-state subjects while its window exists.
///
/// The main dialog owns the object for its whole life; the window is created at every entry into full
/// screen (template 870) and destroyed at every exit, while the series and recording bookkeeping (elapsed
/// milliseconds, the recording's start tick, whether the tick timer counts a series) stays with the object
/// so that full screen can hand it over. The two timers tick on threads of their own and deliver their
/// ticks synchronously to the window; everything else runs on the user-interface thread.
class CCaptureSmallDlg : public CTransparentDialogBase, public CObserver
{
    DECLARE_DYNAMIC(CCaptureSmallDlg)
public:
    static constexpr UINT IDD = 870;
    static constexpr UINT kBackgroundPng = 871;
    static constexpr UINT WM_TICK = WM_APP + 0x101;
    static constexpr UINT WM_DEVICE_CHECK = WM_APP + 0x105;
    static constexpr UINT kTickMs = 250;
    static constexpr UINT kDeviceCheckMs = 4000;

    CCaptureSmallDlg();
    ~CCaptureSmallDlg() override;
    CCaptureSmallDlg(const CCaptureSmallDlg&) = delete;
    CCaptureSmallDlg& operator=(const CCaptureSmallDlg&) = delete;

    /// The controller (not owned) and the main dialog's notice-open flag, set by the main dialog before
    /// the window is created.
    void SetController(CCaptureController* controller) { m_pController = controller; }
    void SetNoticeOpenFlag(bool* noticeOpen) { m_pNoticeOpen = noticeOpen; }

    // The hand-over of a running series or recording (full-screen entry and exit).
    int GetElapsed() const { return m_nElapsedMs; }
    void SetElapsed(int elapsedMs) { m_nElapsedMs = elapsedMs; }
    DWORD GetRecordStartTick() const { return m_dwRecordStartTick; }
    void SetRecordStartTick(DWORD tick) { m_dwRecordStartTick = tick; }
    bool IsTimerRunning() const { return m_bTimerRunning != 0; }
    /// Starts the tick timer at `intervalMs`; `series` marks it as counting a burst or self-timer.
    void StartTickTimer(UINT intervalMs, bool series);
    /// Pauses the tick timer and clears the series mark; elapsed milliseconds stay.
    void PauseTickTimer();
    /// Hides the countdown (when the window exists).
    void HideCountdown();
    /// Takes over a burst or self-timer series at `elapsedMs` of its clock: the tick timer counts it on
    /// from there, and the other modes stay off meanwhile, as after a press of this window's button.
    void ContinueSeries(int elapsedMs);
    /// Takes over the clock of the recording that started at `startTick` (0: none runs, the clock stops).
    void ContinueRecording(DWORD startTick);
    /// No series runs: the tick timer stops, the clock goes back to 0 and the countdown hides.
    void ClearSeries();
    /// TRUE while the drop-down list of the resolution box is open.
    BOOL IsResolutionListOpen();

    void Update(CSubject* subject) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnCancel() override {}

    afx_msg void OnCapture();
    afx_msg void OnPhotoMode();
    afx_msg void OnBurstMode();
    afx_msg void OnTimerMode();
    afx_msg void OnVideoMode();
    afx_msg void OnResolutionChange();
    afx_msg void OnDestroy();
    afx_msg LRESULT OnTick(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDeviceCheck(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void SetUpControls();
    void SetUpToolTips();
    void OnProgramState(int state);
    void OnVideoState(int state);
    void ChooseMode(int mode);
    void FillResolutionList();
    /// The list is enabled when there are sizes; while recording it is disabled and REC shows.
    void UpdateListState();
    void ShowRecordIndicator(bool recording);
    /// Enables or disables the mode buttons other than the one of `mode`.
    void EnableOtherModes(int mode, BOOL enable);
    void EnableAllModes();
    /// Unchecks the capture button and enables it when a video device is selected.
    void ResetCaptureButton();
    bool HasVideoDevice() const;
    /// The photo and video folders exist again, as their defaults when they were gone.
    void RestoreCaptureFolders();
    bool EnoughSpaceForPhoto();
    void ShowElapsed();
    void ShowLoweredResolutionNotice(int state);
    void EndOpenNotice();
    void Detach();
    CString LoadText(UINT id) const;

    CMyTimer m_tickTimer;
    CMyTimer m_deviceTimer;
    BYTE m_bTimerRunning = 0;
    CCaptureController* m_pController = nullptr;
    int m_nElapsedMs = 0;
    DWORD m_dwRecordStartTick = 0;
    CBitmap m_recBitmap;
    HINSTANCE m_hResourceInstance = nullptr;
    CToolTipCtrl* m_pToolTip = nullptr;
    CLabel m_modeCaption;        // 1299
    CLabel m_resolutionCaption;  // 1300
    CLabel m_captureCaption;     // 1302
    CGdipButton m_photoButton;   // 1295
    CGdipButton m_burstButton;   // 1296
    CGdipButton m_timerButton;   // 1297
    CGdipButton m_videoButton;   // 1298
    CGdipButton m_captureButton; // 1303
    CChrono m_chrono;            // 1305
    CLabel m_recLabel;           // 1306
    CResChangeDlg* m_pOpenNotice = nullptr;
    faldra::CSkinComboBox m_resolutionList{10}; // 1301
    CStatic m_recDot;                           // 1307
    CAnim m_countdown;                          // 1308
    bool* m_pNoticeOpen = nullptr;
    bool m_bAttached = false;
};
