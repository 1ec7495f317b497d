#pragma once

#include "platform/window/Afx.h"

/// Posts a WM_KEYDOWN or WM_SYSKEYDOWN of F11 or Escape in `msg` to `mainDialog`, with the same message and
/// key and lParam 0, so that the main window toggles or leaves full screen whichever window has the key.
/// TRUE when the key was one of them (the caller swallows it); FALSE for every other message.
BOOL ForwardFullScreenKey(const MSG* msg, HWND mainDialog);

/// The borderless full-screen host: a plain pop-up from template 882 with a taskbar button, into which the
/// main window moves its live-video surface while full screen is on. It is created once and only hidden
/// afterwards. Enter and Escape never close it; F11 and Escape typed while it has the focus go to the
/// window that owns it (the main dialog). User-interface thread only.
class FullscreenWnd : public CDialog
{
    DECLARE_DYNAMIC(FullscreenWnd)
public:
    static constexpr UINT IDD = 882;

    FullscreenWnd();
    ~FullscreenWnd() override;
    FullscreenWnd(const FullscreenWnd&) = delete;
    FullscreenWnd& operator=(const FullscreenWnd&) = delete;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;

protected:
    void OnOK() override {}
    void OnCancel() override {}

    DECLARE_MESSAGE_MAP()
};
