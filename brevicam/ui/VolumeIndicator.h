#pragma once

#include "Controls/ProgressCtrlST.h"

/// The microphone level bar: while metering, reads the audio library's input level every 33 ms and
/// shows it, redrawing only when it changed. User-interface thread only.
class CVolumeIndicator : public CProgressCtrlST
{
public:
    /// The bar's timer and its period.
    static constexpr UINT_PTR kMeterTimerId = 1;
    static constexpr UINT kMeterPeriodMs = 33;

    CVolumeIndicator() = default;
    ~CVolumeIndicator() override;

    /// On: switches the audio library's metering on (not on Windows Vista, where the level comes without
    /// it) and starts polling; the bar's window must exist. Off: stops polling and switches metering off.
    /// Destroying the window stops both.
    void SetMetering(BOOL on);

    afx_msg void OnTimer(UINT_PTR id);
    afx_msg void OnDestroy();

protected:
    /// Whether this bar switched the audio library's metering on.
    bool m_bMetering = false;

    DECLARE_MESSAGE_MAP()
};
