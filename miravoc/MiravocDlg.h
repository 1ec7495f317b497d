#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/ProgressCtrlST.h"
#include "Controls/TransparentDialogBase.h"
#include "Controls/xSkinButton.h"
#include "miravoc/BitmapSlider.h"
#include "miravoc/NoiseCancellation.h"
#include "shared/faldra/SkinComboBox.h"
#include "shared/faldra/SkinListBox.h"

#include <mutex>
#include <vector>

/// Posted to the audio settings dialog for each event of the capture-device engine: wParam the event's
/// type, lParam its value. The engine's threads only post; the dialog handles the event on its own thread.
constexpr UINT WM_MIRAVOC_ENGINE_EVENT = WM_APP + 0x41;

/// The audio settings dialog: the microphone's recording volume on a vertical bitmap slider with its value
/// in percent, a live level meter, mute and unmute, and either a microphone chooser with the system's
/// sound settings (microphone-selection mode) or the noise cancellation of the webcam's driver
/// (noise-cancellation mode). Changes take effect at once; Cancel and the close button put back what was
/// read when the dialog last listed the devices. Run modally through ShowVolumeSlider and
/// ShowVolumeDialog, on the user-interface thread; texts come in the installation's language.
class CMiravocDlg : public CTransparentDialogBase
{
public:
    /// `templateId` is the dialog's template, mirrored or not.
    CMiravocDlg(CWnd* parent, UINT templateId);
    ~CMiravocDlg() override;

    // Set before DoModal.
    /// 0: noise-cancellation mode; otherwise microphone-selection mode.
    void SetMode(int mode) { m_nMode = mode; }
    /// The microphone the caller uses: preselected, and opened again by Cancel.
    void SetDeviceName(const CString& name) { m_strDeviceName = name; }
    void SetNoiseCancellationParameters(const NoiseCancellationParameters& parameters)
    {
        m_ncParameters = parameters;
    }
    /// 1 shows the noise cancellation without letting it be switched.
    void LockNoiseCancellation(int locked) { m_nNcLocked = locked; }

    /// Lists the devices again in the chooser, reads the volume and mute state that Cancel puts back, and
    /// selects the caller's microphone. False when the list could not be had.
    bool RefreshDeviceChooser();
    /// Shows whether the volume can be set, and the volume, on the slider and its label.
    void UpdateVolumeControls();
    /// Shows the slider's position in percent (or the audio-mixer library's volume, on Windows Vista) when
    /// it changed since last shown, or always with `force`.
    void UpdateVolumeLabel(DWORD vistaVolume, bool force);
    /// Shows the mute or the unmute button as the microphone is.
    void UpdateMuteButtons();

    /// Whether the noise cancellation of the driver instance is on.
    bool GetNoiseCancellation(int instance) const;
    /// Switches it, sending the dialog's noise-cancellation parameters.
    void SetNoiseCancellation(bool on, int instance) const;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    afx_msg void OnTimer(UINT_PTR id);
    afx_msg HICON OnQueryDragIcon();
    afx_msg void OnVScroll(UINT code, UINT pos, CScrollBar* scrollBar);
    afx_msg LRESULT OnSliderMoved(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnEngineEvent(WPARAM wParam, LPARAM lParam);
    afx_msg void OnMute();
    afx_msg void OnUnmute();
    afx_msg void OnChooserChanged();
    afx_msg void OnNoiseCancellation();
    afx_msg void OnSoundSettings();
    afx_msg void OnCloseButton();
    afx_msg void OnSliderCustomDraw(NMHDR* header, LRESULT* result);
    afx_msg void OnDestroy();

protected:
    void DoDataExchange(CDataExchange* dx) override;

private:
    void SetUpControls();
    /// Moves the dialog, unchanged in size, so that all of it lies in the desktop's work area.
    void KeepInWorkArea();
    void SliderChanged();
    void OpenChosenDevice(int entry);
    void RestoreAndCancel();

    CString m_strDeviceName;
    HICON m_hIcon = nullptr;
    bool m_bMeterStarted = false;
    bool m_bSliderInactive = true;
    int m_nSavedDevice = -1;
    DWORD m_dwSavedVolume = 0xFFFFFFFF;
    bool m_bSavedMute = false;
    /// Serialises the device-list work; whoever cannot have it within 500 ms leaves that work undone.
    std::timed_mutex m_refreshLock;
    HINSTANCE m_hModule = nullptr;
    NoiseCancellationParameters m_ncParameters{};
    bool m_bNcEditable = false;
    bool m_bNcSaved = false;
    int m_nNcLocked = 0;
    int m_nFilterId = -1;
    /// The wave-in device of each chooser entry.
    std::vector<UINT> m_deviceIds;

    CBitmapSlider m_slider;
    CProgressCtrlST m_meter;
    CxSkinButton m_soundSettingsButton;
    CGdipButton m_okButton;
    CGdipButton m_cancelButton;
    CGdipButton m_ncCheck;
    CxSkinButton m_closeButton;
    CLabel m_title;
    CLabel m_volumeCaption;
    CLabel m_chooserCaption;
    CLabel m_soundSettingsCaption;
    CLabel m_volumeValue;
    CLabel m_ncCaption;
    CGdipButton m_muteButton;
    CGdipButton m_unmuteButton;
    faldra::CSkinComboBox m_chooser{0};
    faldra::CSkinListBox m_listBox;
    int m_nMode = 0;
    CToolTipCtrl* m_pToolTip = nullptr;

    DECLARE_MESSAGE_MAP()
};
