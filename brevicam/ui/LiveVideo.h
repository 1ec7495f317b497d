#pragma once

#include "brevicam/core/Observer.h"
#include "platform/window/Controls.h"

class CCaptureController;

/// Posted by the live-video surface to its parent after each paint (wParam 0, lParam 0). The parent
/// repaints what lies around the surface; the surface itself is opaque and needs no repaint from it.
constexpr UINT WM_LIVE_VIDEO_PAINTED = WM_APP + 110;

/// The window the capture engine's renderer draws the live picture into (control 1002 of the main
/// dialog, moved into the full-screen host in full screen). Without a live picture it shows why, in
/// white on black, by the controller's video state. It observes the controller's video-state subject
/// from construction until its window is destroyed or the object goes away, whichever comes first.
/// User-interface thread only.
class CLiveVideo : public CStatic, public CObserver
{
    DECLARE_DYNAMIC(CLiveVideo)
public:
    /// String ids of the texts shown per video state, loaded from the program's resource instance.
    static constexpr UINT kInUseTextId = 120;
    static constexpr UINT kLostTextId = 121;
    static constexpr UINT kMissingTextId = 122;

    /// `controller` is not owned and must outlive the surface's window, or the object when it has none.
    explicit CLiveVideo(CCaptureController* controller);
    ~CLiveVideo() override;

    /// The colour of the client area under the live picture, used by the next paint.
    void SetBackgroundColor(COLORREF colour);
    COLORREF GetBackgroundColor() const { return m_crBackground; }
    /// Notifications of the video state change nothing here: the owner repaints the surface.
    void Update(CSubject* subject) override;

    afx_msg void OnPaint();
    afx_msg BOOL OnEraseBkgnd(CDC* dc);

protected:
    void PreSubclassWindow() override;
    void PostNcDestroy() override;
    /// On a client DC of the surface: fills the client area black and draws the text `textId` in white,
    /// centred and wrapped, in a band about a quarter of the way down.
    void ShowMessage(UINT textId);

    CCaptureController* m_pController;
    HINSTANCE m_hResourceInstance;
    COLORREF m_crBackground;

    DECLARE_MESSAGE_MAP()

private:
    void PaintState(CDC& dc);
    void DetachFromController();
    bool m_bAttached = false;
};
