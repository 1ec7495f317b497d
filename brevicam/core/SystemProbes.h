#pragma once

#include "platform/win/WinTypes.h"

/// The processors' summed clock in MHz, from the "~MHz" value of each processor's key under
/// HKEY_LOCAL_MACHINE\HARDWARE\DESCRIPTION\System\CentralProcessor. Sets `*total` and returns it; returns
/// (DWORD)-1 on failure, with `*total` untouched when the processor key cannot be opened and holding the
/// sum so far otherwise. With no processor key the result is 0.
DWORD GetTotalCpuMHz(DWORD* total);

/// The graphics library's start-up token, 0 while it is not started.
extern ULONG_PTR g_gdiplusToken;

/// Starts the graphics library for the whole process; returns its status, 0 when it is ready.
/// Called on the user-interface thread before any window or image exists.
int StartupGdiPlus();
/// Ends what StartupGdiPlus started; called after all windows are gone.
void ShutdownGdiPlus();
