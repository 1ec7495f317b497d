#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"
#include "platform/window/WinGdi.h"

/// The caret of the calling thread: one per thread, owned by a window, shaped by a bitmap or a size,
/// hidden when created and gone with its window. Every HideCaret needs one ShowCaret before the caret shows;
/// ShowCaret on a shown caret fails and counts for nothing. The edit control takes a caret of its own with
/// the focus and draws its text cursor only while that window shows the caret; for other windows these
/// functions keep the state and never draw. They fail (FALSE) for a window that does not own the caret.
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
