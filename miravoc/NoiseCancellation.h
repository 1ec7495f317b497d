#pragma once

#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

/// The noise cancellation of the webcam's audio lower-filter driver, which has one instance per webcam
/// microphone. Each function opens the driver, makes its requests and closes it again; without the
/// driver (always so on Linux, where it has no counterpart) they find no instance, read "off" and switch
/// nothing. An instance below 0 is no instance: nothing is read or switched for it. Any thread.

/// The four values a switch request carries besides the instance; the second is sent as 0 to switch off.
struct NoiseCancellationParameters
{
    DWORD values[4];
};

/// The instance whose USB vendor and product ids, as "%04x%04x", equal `vendorId` followed by
/// `productId` (ignoring case); -1 when none does or there is no driver.
int FindMicFilter(const CString& vendorId, const CString& productId);
/// Whether instance `instance` has its noise cancellation on; false when it cannot be read.
bool GetNoiseCancellation(int instance);
/// Switches the noise cancellation of instance `instance`.
void SetNoiseCancellation(bool on, int instance, const NoiseCancellationParameters& parameters);
