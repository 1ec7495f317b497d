#pragma once

#include "Controls/EditTrans.h"
#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/TransparentDialogBase.h"
#include "Controls/xSkinButton.h"
#include "brevicam/core/Observer.h"
#include "shared/faldra/SkinComboBox.h"

#include <cstdint>
#include <optional>

class CCaptureController;

/// The capture settings: the webcam, the photo and video folders, the photo format, the burst and
/// self-timer numbers, the shutter sound and the video quality. The controls edit copies that Apply (and
/// OK, which also saves the settings) takes over into the settings store; a choice of camera switches the
/// capture controller at once, and a confirmed Cancel switches back to the camera of the opening or of the
/// last successful Apply. While open it follows the controller's camera list and locks the photo or video
/// controls while a capture of their kind runs. Run modally on the user-interface thread; the opener sets
/// the controller between construction and DoModal.
class CCaptureSettingsDlg : public CTransparentDialogBase, public CObserver
{
public:
    static constexpr UINT kBackgroundPng = 768;
    /// The longest shutter sound accepted.
    static constexpr std::uint64_t kMaxSoundMs = 5000;

    /// A number field: its control, its range and the message naming that range.
    struct NumberField
    {
        int id;
        int low;
        int high;
        UINT message;
    };

    explicit CCaptureSettingsDlg(CWnd* parent);
    ~CCaptureSettingsDlg() override;
    CCaptureSettingsDlg(const CCaptureSettingsDlg&) = delete;
    CCaptureSettingsDlg& operator=(const CCaptureSettingsDlg&) = delete;

    /// Not owned; may be null (no camera to choose).
    void SetController(CCaptureController* controller) { m_pController = controller; }
    /// 1 once an Apply created a destination folder or chose another one; the opener reads it after DoModal.
    int GetFoldersChanged() const { return m_nFoldersChanged; }

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    /// Apply, then the settings are saved and the dialog ends; it stays open when Apply refused.
    void OnOK() override;
    /// The controller's camera list and program state.
    void Update(CSubject* subject) override;

    /// Enables Apply while the controls differ from the last values taken over, Default while they differ
    /// from the defaults.
    virtual void OnSettingChanged();
    /// Takes the controls' values as the ones changes are measured against.
    virtual void StoreInitialValues();
    virtual void EnableVideoControls(BOOL enable);
    /// `captureMode` 1 (burst) and 2 (self-timer) include that mode's number fields.
    virtual void EnablePhotoControls(int captureMode, BOOL enable);

    /// Checks every value and takes them over into the settings store (not the registry); false, with the
    /// reason shown and the focus on the first bad field, when something cannot be taken over.
    bool Apply();

    /// The value of a number field's text: decimal digits only, surrounding blanks ignored, an empty text
    /// counting as 0; none for anything else ("1-5", "-2", "3a").
    static std::optional<int> ReadNumber(CString text);
    /// Why a shutter sound cannot be used: the string id of the message (149 missing, unreadable or not a
    /// sound we play; 148 not shorter than five seconds), or 0 when it can.
    static UINT SoundFileProblem(const CString& path);

protected:
    void DoDataExchange(CDataExchange* dx) override;

    afx_msg void OnPaint();
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg void OnBrowsePhotoFolder();
    afx_msg void OnBrowseVideoFolder();
    afx_msg void OnBrowseSound();
    afx_msg void OnSoundCheck();
    afx_msg void OnCancelButton();
    afx_msg void OnApply();
    afx_msg void OnDefault();
    afx_msg void OnCameraChange();
    afx_msg void OnPhotosKillFocus();
    afx_msg void OnRateKillFocus();
    afx_msg void OnDelayKillFocus();
    afx_msg void OnDestroy();

    DECLARE_MESSAGE_MAP()

private:
    struct Snapshot
    {
        CString photoFolder;
        CString videoFolder;
        CString soundFile;
        int soundOn = 0;
        int photos = 0;
        int rate = 0;
        int delay = 0;
        int quality = 0;
        int format = 0;
    };

    void SetUpControls();
    void FillValues();
    void CreateToolTips();
    /// Checks one number field; an invalid one is reported, focused and selected. A valid self-timer of 0
    /// is written as "0".
    bool ValidateNumber(const NumberField& field);
    void ValidateOnLeave(const NumberField& field);
    void FocusAndSelect(CEditTrans& edit);
    bool DiffersFromDefaults();
    /// The camera list's choice as an index of the controller's list; -1 when it lists no camera.
    int SelectedCamera();
    bool SoundChecked();
    CEditTrans& EditOf(int id);
    CString LoadText(UINT id) const;
    static CString Trimmed(const CWnd& edit);
    void DetachFromController();

    CCaptureController* m_pController = nullptr;
    CToolTipCtrl* m_pToolTip = nullptr;
    int m_nCameraIndexAtOpen = -1;

    CLabel m_lblTitle;
    CLabel m_lblCameraSection;
    CLabel m_lblCameraPrompt;
    CLabel m_lblPhotosSection;
    CLabel m_lblPhotoFolder;
    CLabel m_lblPhotoFormat;
    CLabel m_lblPlaySound;
    CLabel m_lblBurstSection;
    CLabel m_lblPhotosCount;
    CLabel m_lblAtRate;
    CLabel m_lblPerSecond;
    CLabel m_lblSelfTimerSection;
    CLabel m_lblTakeAfter;
    CLabel m_lblSeconds;
    CLabel m_lblVideosSection;
    CLabel m_lblVideoFolder;
    CLabel m_lblVideoQuality;

    faldra::CSkinComboBox m_photoFormatList{0};
    faldra::CSkinComboBox m_qualityList{0};
    faldra::CSkinComboBox m_cameraList{0};

    CGdipButton m_btnOK;
    CGdipButton m_btnCancel;
    CGdipButton m_btnApply;
    CGdipButton m_btnDefault;
    CGdipButton m_btnBrowsePhoto;
    CGdipButton m_btnBrowseSound;
    CGdipButton m_btnBrowseVideo;
    CxSkinButton m_chkSound;
    CxSkinButton m_btnClose;

    CEditTrans m_editRate;
    CEditTrans m_editSound;
    CEditTrans m_editPhotoFolder;
    CEditTrans m_editVideoFolder;
    CEditTrans m_editPhotos;
    CEditTrans m_editDelay;

    int m_bSnapshotValid = 0;
    Snapshot m_snapshot;
    int m_nFoldersChanged = 0;
    HINSTANCE m_hResource = nullptr;
    /// A number field's box is up: the focus changes it causes validate nothing more.
    bool m_bValidating = false;
    bool m_bAttached = false;
};
