#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"
#include "platform/window/WinGdi.h"

/// The caret of the calling thread: one per thread, owned by a window, shaped by a bitmap or a size,
/// hidden when created. The edit control draws its own text cursor; these functions keep the caret's
/// state for the windows that ask for it and never draw. They fail (FALSE) for a window that does not own
/// the caret, as on Windows.
PLATFORM_API BOOL CreateCaret(HWND hwnd, HBITMAP bitmap, int width, int height);
PLATFORM_API BOOL DestroyCaret();
PLATFORM_API BOOL ShowCaret(HWND hwnd);
PLATFORM_API BOOL HideCaret(HWND hwnd);
PLATFORM_API BOOL SetCaretPos(int x, int y);
PLATFORM_API BOOL GetCaretPos(LPPOINT point);

namespace platform::window
{
/// The caret's owner, or null; and whether it is shown (every ShowCaret undoes one HideCaret).
PLATFORM_API HWND CaretOwner();
PLATFORM_API bool IsCaretVisible();
} // namespace platform::window
