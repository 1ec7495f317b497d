#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/xSkinButton.h"
#include "brevicam/core/MyTimer.h"
#include "brevicam/core/Observer.h"
#include "brevicam/core/Resolution.h"
#include "brevicam/explorer/ExplorerMediator.h"
#include "brevicam/ui/Anim.h"
#include "brevicam/ui/Border.h"
#include "brevicam/ui/Chrono.h"
#include "brevicam/ui/DialogColleague.h"
#include "platform/window/Controls.h"
#include "shared/faldra/SkinComboBox.h"

#include <thread>
#include <vector>

class CBrevicamDlg;
class CCaptureController;
class CDllAccessor;
class CCaptureSettingsDlg;
class CResChangeDlg;
class CShellListCtrl;
class CShellTreeCtrl;
class CSubject;
namespace transcoder
{
class IVideoTranscoder;
}

/// The capture panel docked beside the main window: the four capture modes, the resolution list of the
/// current mode, the capture button with its countdown, clock and REC indicator, the capture settings, and
/// the folder tree and thumbnail list of what was captured with their file buttons. The main dialog owns
/// the object for the whole run and creates and destroys its window; while the window exists the panel
/// follows the capture controller's two state subjects and takes the capture accelerators.
/// User-interface thread only.
class CCaptureDlg : public CDialogColleague, public CObserver, public CExplorerMediator
{
public:
    static constexpr UINT IDD = 127;
    static constexpr UINT kBackgroundPng = 8902;

    // The panel's own messages.
    static constexpr UINT WM_SERIES_TICK = WM_APP + 0x101;
    static constexpr UINT WM_RELEASE_CAPTURE_BUTTON = WM_APP + 0x103;
    static constexpr UINT WM_DEVICE_CHECK = WM_APP + 0x105;
    /// Ours: a box a notification asked for, shown once the notification has returned (wParam the
    /// string id).
    static constexpr UINT WM_PANEL_DEFERRED_BOX = WM_APP + 0x106;
    /// Ours: one try of the preview rebuild after a session change (wParam the tries left).
    static constexpr UINT WM_PANEL_REBUILD_PREVIEW = WM_APP + 0x107;
    /// Ours: the delete thread has ended (wParam its shell result, lParam the number of files).
    static constexpr UINT WM_PANEL_DELETE_DONE = WM_APP + 0x108;

    /// Docking: the panel sits 18 pixels below the main window's top and overlaps it by 23 pixels.
    static constexpr int kDockTopOffset = 18;
    static constexpr int kDockOverlap = 23;
    static constexpr DWORD kDeviceCheckDelayMs = 4000;
    static constexpr DWORD kSeriesStepMs = 250;
    static constexpr UINT kBurstCountdownMs = 3000;
    /// At most this many files go into one e-mail.
    static constexpr int kMaxEmailAttachments = 256;
    /// How often the preview is rebuilt after a session change before giving up.
    static constexpr int kPreviewRebuildTries = 3;

    /// `mainDialog` is the logical parent and owner of the panel (may be null in tests).
    explicit CCaptureDlg(CBrevicamDlg* mainDialog);
    ~CCaptureDlg() override;
    CCaptureDlg(const CCaptureDlg&) = delete;
    CCaptureDlg& operator=(const CCaptureDlg&) = delete;

    void SetController(CCaptureController* controller) { m_pController = controller; }
    CCaptureController* GetController() const { return m_pController; }

    /// Places the panel beside the main window (at its left edge when mirrored).
    void DockToMainWindow();
    /// Moves the main window so that the panel sits docked beside it; the main window keeps its size.
    void MoveMainWindowToPanel();
    /// Initialises the folder tree and shows the capture folder of the current mode.
    virtual void ExploreCaptureFolder();
    void RebuildFolderTree();
    /// Ends the copy, overwrite or conversion dialog that runs modally over the panel.
    void EndModalChild();
    void EnableCaptureControls(bool on);
    /// The mode buttons' check states and the REC indicator from "CamMode".
    void UpdateModeButtons();
    void ShowRecordIndicator(bool recording);
    void FillResolutionCombo();
    void UpdateRecordControls();
    /// Enables Delete, Open, the copy buttons and Select all by the list's selection.
    virtual void UpdateButtons();
    virtual void OpenFile(const CString& path);
    virtual LRESULT OnShellChange(long event);

    DWORD GetRecordStartTick() const { return m_recordStartTick; }
    void SetRecordStartTick(DWORD tick) { m_recordStartTick = tick; }
    int GetElapsed() const { return m_nElapsedMs; }
    void SetElapsed(int elapsedMs) { m_nElapsedMs = elapsedMs; }

    /// The capture command of button 1091: a photo, the start or end of a burst or self-timer series, the
    /// start or end of a recording.
    void OnCapture();

    /// The media kind of a file by its name: 1 to 15 a picture format, 100 a video, 0 not shown.
    static int GetFileType(const char* name);
    /// Where the e-mail copy of `source` goes: the Emails folder (created) and the source's file name, with
    /// its extension replaced by `extension` when one is given.
    static CString MakeEmailCopyPath(const CString& source, const char* extension);

    // The controller's notifications.
    void Update(CSubject* subject) override;

    // CExplorerMediator.
    bool IsReady() override { return m_bExplorerReady; }
    LRESULT OnExplorerEvent(int code, WPARAM first, LPARAM second) override;
    void OnFolderSelected(tagTShellItemData* folder) override;
    void OnFolderExpanding(tagTShellItemData* folder, BOOL expanding) override;
    void OpenItem(tagTShellItemData* item) override;
    bool FilterItem(const char* path) override;
    bool FilterShellItem(IShellFolder* folder, LPCITEMIDLIST folderList, LPCITEMIDLIST child) override;

    BOOL PreTranslateMessage(MSG* msg) override;

    /// The series' or the recording's clock counts from now on, in steps of kSeriesStepMs.
    void StartSeriesTimer();
    void StopSeriesTimer();

    // Read by the main dialog and the full-screen hand-over.
    bool m_bSeriesTimerRunning = false;
    bool m_bFileActionBusy = false;
    int m_nCloseRequested = 0;
    bool m_bRestartPending = false;
    CMyTimer m_seriesTimer;
    CMyTimer m_deviceCheckTimer;

    CShellTreeCtrl* GetTree() const { return m_pTree; }
    CShellListCtrl* GetList() const { return m_pList; }

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    /// Enter and Esc never end the panel.
    void OnOK() override {}
    void OnCancel() override {}

    afx_msg LRESULT OnDisplayChangeMessage(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();
    afx_msg void OnResolutionSelChange();
    afx_msg void OnSettings();
    afx_msg void OnClose();
    afx_msg void OnCloseButton();
    afx_msg void OnEnable(BOOL enable);
    afx_msg void OnPhotoMode();
    afx_msg void OnBurstMode();
    afx_msg void OnSelfTimerMode();
    afx_msg void OnVideoMode();
    afx_msg void OnCaptureButton();
    afx_msg void OnCaptureAccelerator();
    afx_msg LRESULT OnCameraSnapshot(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnCaptureTimer(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnReleaseCaptureButton(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDeviceCheckTimer(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDeferredBox(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnRebuildPreview(WPARAM wParam, LPARAM lParam);
    afx_msg void OnOpen();
    afx_msg void OnSelectAll();
    afx_msg void OnDelete();
    afx_msg void OnEditClear();
    afx_msg void OnListItemChanged(NMHDR* header, LRESULT* result);
    afx_msg void OnListDeleteItem(NMHDR* header, LRESULT* result);
    afx_msg void OnCopyToFolder();
    afx_msg void OnBnClickedButtonCopyToEmail();
    afx_msg LRESULT OnDeleteDone(WPARAM wParam, LPARAM lParam);

    /// Hands the files to the default mail client, or tells where the copies lie when none is usable.
    virtual void SendByEmail(const std::vector<CString>& paths, int count);
    /// Message 168 with the Emails folder, when this action made copies.
    void ShowEmailFolderNotice();

    DECLARE_MESSAGE_MAP()

private:
    void OnModeButton(int mode);
    void SetUpControls();
    void SetUpToolTips();
    void SkinViews();
    /// Refreshes the device selection; true when a video device is selected.
    bool RefreshDeviceSelection();
    /// Enables the capture button when a video device is selected, else disables it.
    void RefreshCaptureButton();
    void OnProgramState(int state);
    void OnVideoState(int state);
    void ShowNewVideo();
    void ShowNewPictures();
    /// Explores `folder` in the tree when the list shows another folder, else brings the tree's selection
    /// into view.
    void ExploreIfElsewhere(const CString& folder);
    void SelectFileInList(const CString& path);
    void WarnResolutionLowered(int state);
    void ResetClock();
    /// Disables the buttons a capture of `mode` must not be disturbed by.
    void EnableModeButtons(bool photo, bool burst, bool selfTimer, bool video);
    void EnableFileButtons(bool on);
    bool HasEnoughPhotoSpace();
    void OnSessionChange(WPARAM change);
    void RebuildPreview();
    bool IsRecording() const;
    void SetCaptureCheck(int check);
    CString LoadText(UINT id) const;
    bool WindowAlive() const;
    /// The end of a delete, copy or e-mail action: closes the panel when a lost camera asked for it
    /// meanwhile.
    void EndFileAction();
    /// Prepares the e-mail copies of the selected files into `attachments`, converting videos through the
    /// transcoder library's instance; without them, videos are left out and `skippedVideos` set. Throws
    /// what ends the action.
    void PrepareEmailCopies(CDllAccessor* library, transcoder::IVideoTranscoder* transcoder,
                            std::vector<CString>& attachments, bool& skippedVideos);
    /// Deletes the paths on the delete thread and reports to the panel.
    void DeleteThreadProc(std::vector<CString> paths, bool forGood, HWND owner);
    /// Waits for a delete thread that has ended or is ending.
    void JoinDeleteThread();
    /// Whether the list shows the trash, where deleting is for good.
    bool ListShowsTrash();

    CBrevicamDlg* m_pMainDialog;
    CCaptureController* m_pController = nullptr;
    HINSTANCE m_hResources;
    bool m_bExplorerReady = false;
    int m_nSelectedRecordingCount = 0;
    CDialog* m_pModalChild = nullptr;
    CToolTipCtrl* m_pToolTip = nullptr;
    DWORD m_recordStartTick = 0;
    CCaptureSettingsDlg* m_pSettingsDialog = nullptr;
    CResChangeDlg* m_pResolutionNotice = nullptr;
    int m_nElapsedMs = 0;
    int m_nEmailCopiesMade = 0;
    /// Copies this e-mail action wrote or found in the Emails folder: what Cancel may remove.
    std::vector<CString> m_emailCopies;
    std::thread m_deleteThread;
    bool m_bAttached = false;
    /// Boxes that notifications asked for and that wait until the notification has returned.
    int m_nPendingRecordErrorBoxes = 0;
    int m_nPreviewRebuildTries = 0;

    CShellTreeCtrl* m_pTree = nullptr;
    CShellListCtrl* m_pList = nullptr;

    CGdipButton m_captureButton;            // 1091
    CGdipButton m_photoButton;              // 1271
    CGdipButton m_burstButton;              // 1272
    CGdipButton m_selfTimerButton;          // 1273
    CGdipButton m_videoButton;              // 1154
    faldra::CSkinComboBox m_resolutionList; // 1031
    CGdipButton m_settingsButton;           // 1003
    CxSkinButton m_closeButton;             // 1274
    CGdipButton m_selectAllButton;          // 1082
    CGdipButton m_openButton;               // 1080
    CGdipButton m_deleteButton;             // 1081
    CxSkinButton m_copyToFolderButton;      // 1166
    CxSkinButton m_copyToEmailButton;       // 1075
    CChrono m_chrono;                       // 1215
    CAnim m_anim;                           // 1216
    CBorder m_border;                       // 1224
    CLabel m_recLabel;                      // 1225
    CStatic m_recDot;                       // 1226
    CBitmap m_recDotBitmap;
    CLabel m_folderCaption;     // 1188
    CLabel m_emailCaption;      // 1189
    CLabel m_copyToCaption;     // 1193
    CLabel m_resolutionCaption; // 1195
    CLabel m_titleLabel;        // 1086
    CLabel m_captureCaption;    // 1275
    CLabel m_settingsCaption;   // 1276
    CLabel m_modeCaption;       // 1196
    CLabel m_treeCaption;       // 1277

    friend class CCaptureDlgTestAccess;
};
