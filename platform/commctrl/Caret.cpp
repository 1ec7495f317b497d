#include "platform/commctrl/Caret.h"

#include "platform/window/WinUser.h"

namespace
{
struct CaretState
{
    HWND owner = nullptr;
    HBITMAP bitmap = nullptr;
    int width = 0;
    int height = 0;
    int hideCount = 1; // a new caret is hidden
    POINT position{0, 0};
};

thread_local CaretState caret;
} // namespace

BOOL CreateCaret(HWND hwnd, HBITMAP bitmap, int width, int height)
{
    if (!hwnd || !IsWindow(hwnd))
        return FALSE;
    caret = CaretState{};
    caret.owner = hwnd;
    caret.bitmap = bitmap;
    caret.width = width;
    caret.height = height;
    return TRUE;
}

BOOL DestroyCaret()
{
    if (!caret.owner)
        return FALSE;
    caret = CaretState{};
    return TRUE;
}

BOOL ShowCaret(HWND hwnd)
{
    if (!caret.owner || (hwnd && hwnd != caret.owner) || caret.hideCount == 0)
        return FALSE;
    --caret.hideCount;
    return TRUE;
}

BOOL HideCaret(HWND hwnd)
{
    if (!caret.owner || (hwnd && hwnd != caret.owner))
        return FALSE;
    ++caret.hideCount;
    return TRUE;
}

BOOL SetCaretPos(int x, int y)
{
    if (!caret.owner)
        return FALSE;
    caret.position = POINT{x, y};
    return TRUE;
}

BOOL GetCaretPos(LPPOINT point)
{
    if (!point)
        return FALSE;
    *point = caret.position;
    return TRUE;
}

namespace platform::window
{
HWND CaretOwner()
{
    return caret.owner && IsWindow(caret.owner) ? caret.owner : nullptr;
}

bool IsCaretVisible()
{
    return CaretOwner() && caret.hideCount == 0;
}
} // namespace platform::window
