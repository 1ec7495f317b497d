#pragma once

#include "Controls/Label.h"
#include "platform/window/Afx.h"

/// The countdown beside the capture button: during the first three seconds of a burst series and during a
/// self-timer delay, one of four phase bitmaps (562 to 565, turning once a second) with the seconds left
/// written over it. It has no timer of its own: the capture window feeds it the elapsed milliseconds of its
/// capture timer. Bound to a bitmap static (SS_BITMAP). User-interface thread only.
class CAnim : public CStatic
{
public:
    /// The phase bitmaps, for elapsed milliseconds modulo 1000 of 0, 250, 500 and 750.
    static constexpr UINT kPhaseBitmaps[4] = {562, 563, 564, 565};
    /// The id of the seconds label, a child of the countdown while it shows.
    static constexpr UINT kSecondsLabelId = 0xFFFF;
    /// How long a burst series counts down before its first frame.
    static constexpr UINT kBurstCountdownMs = 3000;

    CAnim() = default;
    ~CAnim() override;
    CAnim(const CAnim&) = delete;
    CAnim& operator=(const CAnim&) = delete;

    /// Shows the countdown for `elapsedMs` of the current series by the capture mode ("CamMode", and
    /// "NbSeconds" for the self-timer): hidden in photo and video mode and once a burst's countdown is
    /// over, the seconds left otherwise.
    void Update(UINT elapsedMs);

protected:
    DECLARE_MESSAGE_MAP()

private:
    void HideCountdown();

    /// The phase bitmap the static shows; replaced on every update.
    CBitmap m_image;
    /// The seconds left; its window exists only while the countdown shows.
    CLabel m_seconds;
};
