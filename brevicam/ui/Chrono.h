#pragma once

#include "Controls/Label.h"

class CCaptureController;

/// The label beside the capture button that shows, by capture mode, the burst shots still to take or the
/// elapsed time of a recording ("hh:mm:ss", the hours widening past 99). It has no timer of its own: the
/// capture window feeds it the elapsed milliseconds of its capture timer. User-interface thread only.
class CChrono : public CLabel
{
public:
    /// How long a burst series counts down before its first frame; the label hides meanwhile.
    static constexpr UINT kBurstCountdownMs = 3000;

    CChrono() = default;
    ~CChrono() override;
    CChrono(const CChrono&) = delete;
    CChrono& operator=(const CChrono&) = delete;

    /// The controller whose burst series is counted; not owned. Without one no frame counts as taken.
    void SetController(CCaptureController* controller);
    /// Shows the shots left ("NbPictures" before the series, then less the frames taken) or the clock of
    /// `elapsedMs` by "CamMode"; hides itself in photo and self-timer mode and during a burst's countdown.
    /// Repaints only when the text changes.
    void Display(UINT elapsedMs);

    afx_msg void OnDestroy();

protected:
    DECLARE_MESSAGE_MAP()

private:
    CCaptureController* m_pController = nullptr;
    CBitmap m_bitmap;
};
