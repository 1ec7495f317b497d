#pragma once

// Helpers shared by the capture engine's sources; not part of its interface.

#include "DevicesSubj.h"

#include "platform/com/Unknown.h"
#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

namespace capture_detail
{
/// String `id` of `module`, else of the program's own string table.
CString LoadText(HINSTANCE module, UINT id);
/// The application's main window: the class library's main window, else the one of the settings store.
HWND AppMainWindow();
/// The active window of the thread that owns the application's main window (the main window when that
/// thread has none): the owner of the controller's message boxes.
HWND ActiveWindowOfMainThread();
/// Whether two interface pointers belong to one COM object.
bool SameObject(IUnknown* first, IUnknown* second);
/// Hands the selected microphone to the audio library; nothing without a selection.
void SelectMicrophoneInAudioLibrary(CDevicesSubj& microphones);
} // namespace capture_detail
