#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/xSkinButton.h"
#include "brevicam/core/MyTimer.h"
#include "brevicam/core/Observer.h"
#include "brevicam/ui/CaptureDlg.h"
#include "brevicam/ui/CaptureSmallDlg.h"
#include "brevicam/ui/DialogColleague.h"
#include "brevicam/ui/DummyDlg.h"
#include "brevicam/ui/ExitFullscreenDlg.h"
#include "brevicam/ui/FullscreenWnd.h"
#include "brevicam/ui/LiveVideo.h"
#include "brevicam/ui/VolumeIndicator.h"
#include "platform/window/Controls.h"

#include <functional>

class CAboutDlg;
class CCaptureController;
class CSubject;

/// The program's main window: the live picture, the microphone level and mute buttons, the product title
/// and version, and the buttons of the program's commands. The application object runs it modally for the
/// whole life of the program; it ends only through CloseApplication (the close button, the system menu's
/// or the window manager's close, the end of the session), a suspend on Windows Vista, or result 8 when
/// the preview cannot start for a missing module.
///
/// It observes the capture controller's program-state and video-state subjects from its construction
/// until its window is destroyed or the object goes away. Every handler that calls into the controller
/// catches what it throws: a failure shows as the state message, never ends the event loop.
/// User-interface thread only.
class CBrevicamDlg : public CDialogColleague, public CObserver
{
public:
    static constexpr UINT IDD = 102;
    static constexpr UINT kBackgroundPng = 872;
    static constexpr UINT kCaptureTemplate = 127;

    // Messages of the main window.
    static constexpr UINT WM_UNUSED_50 = WM_APP + 50;
    static constexpr UINT WM_STARTUP_UPDATE_CHECK = WM_APP + 999;
    static constexpr UINT WM_BRING_BACK_RESTORED = WM_APP + 260;
    static constexpr UINT WM_MIC_WAIT_TICK = WM_APP + 261;
    /// Ours: a message box a notification asked for, shown once the notification has returned
    /// (wParam the string id, lParam 0).
    static constexpr UINT WM_DEFERRED_STATE_BOX = WM_APP + 262;
    static constexpr UINT WM_REBUILD_FOLDER_TREE = WM_APP + 272;
    static constexpr UINT WM_REFIT_VIDEO = WM_APP + 822;
    static constexpr UINT kAboutSysCommand = 16;

    // Window timers.
    static constexpr UINT_PTR kVolumeTimer = 1;
    static constexpr UINT kVolumePeriodMs = 500;
    static constexpr UINT_PTR kDockTimer = 2;
    static constexpr UINT kDockDelayMs = 100;
    static constexpr UINT_PTR kCompactWindowTimer = 3;
    static constexpr UINT kCompactWindowPeriodMs = 1000;
    /// The compact capture window shows while the last keyboard or mouse input is this recent.
    static constexpr DWORD kCompactWindowShowMs = 4000;
    static constexpr UINT_PTR kResolutionTimer = 4;
    static constexpr UINT kResolutionDelayMs = 1000;

    // The microphone wait.
    static constexpr DWORD kMicWaitIntervalMs = 4000;
    static constexpr int kMicWaitRetries = 10;
    /// The brand word the microphone wait looks for in a device name, case-sensitive.
    static constexpr const char* kBrandWord = "Tavisk";

    // Where the live picture sits in the main window.
    static constexpr int kVideoLeft = 63;
    static constexpr int kVideoTop = 77;
    static constexpr int kVideoWidth = 320;
    static constexpr int kVideoHeight = 240;

    /// `controller` is not owned and must outlive the dialog. Attaches the dialog to the controller's
    /// program-state and video-state subjects; nothing is shown until the window exists.
    explicit CBrevicamDlg(CCaptureController* controller, CWnd* parent = nullptr);
    ~CBrevicamDlg() override;

    /// The dialog's window handle (null before the window exists and after it is gone).
    virtual HWND GetHwnd() const;

    /// Makes sure the photo and video folders exist and opens the capture panel.
    void OpenCaptureWindow();
    /// Closes the capture panel after asking whether a running capture may end; a recording is stopped
    /// and a burst series ends and is saved.
    void CloseCaptureWindow();
    /// TRUE when no capture runs, or the user agreed to end it. FALSE at once while the question is
    /// already on the screen.
    bool ConfirmEndOfCapture();
    /// Ends the program after asking whether a running capture may end: the recording is stopped, a
    /// burst series is saved, the preview stopped and the modal loop ended with IDOK.
    void CloseApplication();
    /// Moves the live picture into the full-screen host over the whole primary screen, with the compact
    /// capture window at the lower right and the leave-full-screen window at the upper left, and hands a
    /// running series or recording to the compact window. Refused (the full-screen flag cleared) while
    /// there is no live video.
    void EnterFullScreen();
    /// Puts the live picture back in its place in this window, hands a running series or recording back
    /// and destroys the compact and leave-full-screen windows (the host is only hidden). Nothing while
    /// the picture is not in full screen.
    void LeaveFullScreen();
    /// Places the live picture again while there is live video.
    void RefitVideo(BOOL stretch);
    /// Shows, hides and enables the mute and unmute buttons by the microphone's state.
    void RefreshVolumeControls();
    /// Asks the web update library for a check with the program's request (the result is not used).
    /// Throws COutOfMemoryException when the path buffer cannot be had.
    void CheckUpdate(HWND owner, BOOL background, BOOL ask);

    /// The controller's program-state and video-state notifications; nothing while there is no window.
    void Update(CSubject* subject) override;

    /// Runs `action`; what it throws becomes the program-state message. FALSE when it threw.
    bool Guarded(const std::function<void()>& action);

    /// The capture panel (its window may not exist).
    CCaptureDlg& GetCaptureDlg() { return m_captureDlg; }

    // Read by the capture windows.
    CCaptureController* m_pController;
    /// Set while the capture panel or the compact capture window shows its resolution notice.
    bool m_bNoticeOpen = false;
    /// TRUE while full-screen mode is on or being entered.
    BOOL m_bFullScreen = FALSE;
    /// A series handed back from the compact window when full screen ended without a panel window.
    int m_nSavedElapsedMs = -1;
    bool m_bSavedTimerRunning = false;
    int m_nSavedRecordStartTick = 0;
    /// The full-screen windows: the compact capture window and the leave-full-screen window have windows
    /// only in full screen; the host, once created, is only hidden.
    CCaptureSmallDlg m_smallDlg;
    ExitFullscreenDlg m_exitDlg;
    FullscreenWnd m_fullscreenWnd;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    /// Enter and Esc never end the main window.
    void OnOK() override {}
    void OnCancel() override {}

    afx_msg void OnSysCommand(UINT id, LPARAM lParam);
    afx_msg void OnClose();
    afx_msg void OnDestroy();
    afx_msg void OnMove(int x, int y);
    afx_msg void OnWindowPosChanged(WINDOWPOS* pos);
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg void OnShowWindow(BOOL show, UINT status);
    afx_msg void OnDisplayChange(UINT bitsPerPixel, int cx, int cy);
    afx_msg UINT OnPowerBroadcast(UINT event, LPARAM data);
    afx_msg BOOL OnQueryEndSession();
    afx_msg void OnEndSession(BOOL ending);
    afx_msg HICON OnQueryDragIcon();
    afx_msg void OnUpdateUIState(UINT action, UINT element);
    afx_msg BOOL OnCopyData(CWnd* sender, COPYDATASTRUCT* data);
    afx_msg void OnEnable(BOOL enable);
    afx_msg void OnSize(UINT type, int cx, int cy);
    afx_msg void OnSettingChange(UINT flags, LPCTSTR section);

    afx_msg LRESULT OnLiveVideoPainted(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnGraphNotify(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnAnswerZero(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnStartupUpdateCheck(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnBringBackRestored(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnMicWaitTick(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDeferredStateBox(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnRebuildFolderTree(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnRefitVideo(WPARAM wParam, LPARAM lParam);

    // Commands.
    afx_msg void OnCaptureWindowButton();
    afx_msg void OnMinimize();
    afx_msg void OnCloseButton();
    afx_msg void OnVideoSettings();
    afx_msg void OnAbout();
    afx_msg void OnRefreshDevices();
    afx_msg void OnAudioSettings();
    afx_msg void OnMute();
    afx_msg void OnUnmute();
    afx_msg void OnFullScreenButton();

    DECLARE_MESSAGE_MAP()

private:
    void SetUpControls();
    void SetUpToolTips();
    void OnProgramState(int state);
    void OnVideoState(int state);
    /// Disables the buttons that need live video, closes what depends on it, stops the level timer.
    void DisableLiveControls();
    /// Timer 4: the live picture back in its place after a resolution change.
    void BringVideoBack();
    /// Timer 3: shows the compact capture window while input is recent, hides it otherwise.
    void ShowCompactWindowByInput();
    /// Puts the leave-full-screen window topmost at its corner over the picture (during and after a
    /// resolution change, while the surface is away).
    void LiftExitWindow();
    /// The capture panel's running series or recording, handed to the compact window on entering full
    /// screen and taken back on leaving, while the panel has a window: the series' clock, the recording's
    /// start tick and the counting timer move, so that exactly one window counts. FALSE, doing nothing,
    /// while the panel has no window: the saved hand-over values carry them instead.
    bool TakeCaptureFromPanel();
    bool HandCaptureToPanel();
    /// The full-screen windows go and the surface comes home before this window is destroyed.
    void DropFullScreenWindows();
    /// Closes the panel; `confirmed` when the caller has asked already.
    void CloseCaptureWindow(bool confirmed);
    /// Graph mode 1 and running.
    bool IsRecording() const;
    /// A burst series runs in burst mode.
    bool IsBurstSeriesRunning() const;
    /// Stops a running recording; `stateAfterStop` is announced before PS_READY.
    void StopRecordingIfRunning();
    /// Ends a running burst series, which saves its frames and makes the animated GIF.
    void EndBurstSeries();
    void StartMicrophoneWait();
    void DetachFromController();
    HWND MessageBoxOwner();
    /// Gives the panel the controller and creates its window (not shown yet) when it has none.
    void CreateCaptureWindow();
    bool CaptureWindowExists() const;
    CString LoadText(UINT id) const;

    /// The About box while it runs modally; not owned.
    CAboutDlg* m_pAboutDlg = nullptr;
    bool m_bOpenPanelOnShow = false;
    HICON m_hIcon = nullptr;
    bool m_bAttached = false;
    bool m_bClosing = false;
    /// The session is ending: the program closes without asking (a recording and a series end, saved).
    bool m_bSessionEnding = false;
    /// While a box a notification asked for is open, graph events wait for it to close.
    int m_nNotificationBoxes = 0;
    int m_nPendingGraphEvents = 0;

    CLiveVideo m_liveVideo;
    /// The capture panel; its window exists while the panel is open.
    CCaptureDlg m_captureDlg;
    /// The strip kept by the lower right corner on Windows 7; no window on other systems.
    CDummyDlg m_placeholder;
    CLabel m_editionLabel;     // 1240
    CLabel m_titleLabel;       // 1140
    CLabel m_statusLabel;      // 1019
    CLabel m_stateLabel;       // 1020
    CLabel m_versionCaption;   // 1026
    CLabel m_versionLabel;     // 1025
    CLabel m_captureModeLabel; // 8904
    CGdipButton m_captureButton;
    CGdipButton m_videoSettingsButton;
    CGdipButton m_audioSettingsButton;
    CGdipButton m_closeButton;
    CGdipButton m_minimizeButton;
    CGdipButton m_aboutButton;
    CxSkinButton m_refreshButton;
    CGdipButton m_muteButton;
    CGdipButton m_unmuteButton;
    CGdipButton m_fullScreenButton;
    CVolumeIndicator m_volumeIndicator;
    CToolTipCtrl* m_pToolTip;
    HINSTANCE m_hResourceInstance;
    CMyTimer m_micWaitTimer;
    int m_nMicWaitRetries = 0;

    friend class CBrevicamDlgTestAccess;
};
