#include "platform/commctrl/Caret.h"

#include "platform/window/Extras.h"
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

/// A caret goes with the window that owns it.
void DropIfOwnerGone()
{
    if (caret.owner && !IsWindow(caret.owner))
        caret = CaretState{};
}

bool Shown(const CaretState& c)
{
    return c.owner && c.hideCount == 0;
}

/// Replaces the caret's state and tells the windows whose caret appeared or went away.
void Change(const CaretState& next)
{
    const HWND before = Shown(caret) ? caret.owner : nullptr;
    caret = next;
    const HWND after = Shown(caret) ? caret.owner : nullptr;
    if (before == after)
        return;
    if (before && IsWindow(before))
        platform::window::CaretShownChanged(before, false);
    if (after)
        platform::window::CaretShownChanged(after, true);
}

BOOL DestroyCaretOwnedBy(HWND owner)
{
    return owner && caret.owner == owner ? DestroyCaret() : FALSE;
}

// The edit control takes its own caret with the focus, as soon as this module is loaded.
[[maybe_unused]] const bool installed = []
{
    platform::window::CaretFunctions f;
    f.create = &CreateCaret;
    f.show = &ShowCaret;
    f.destroyOwnedBy = &DestroyCaretOwnedBy;
    platform::window::SetCaretFunctions(f);
    return true;
}();
} // namespace

BOOL CreateCaret(HWND hwnd, HBITMAP bitmap, int width, int height)
{
    if (!hwnd || !IsWindow(hwnd))
        return FALSE;
    CaretState next;
    next.owner = hwnd;
    next.bitmap = bitmap;
    next.width = width;
    next.height = height;
    Change(next);
    return TRUE;
}

BOOL DestroyCaret()
{
    DropIfOwnerGone();
    if (!caret.owner)
        return FALSE;
    Change(CaretState{});
    return TRUE;
}

BOOL ShowCaret(HWND hwnd)
{
    DropIfOwnerGone();
    if (!caret.owner || (hwnd && hwnd != caret.owner) || caret.hideCount == 0)
        return FALSE;
    CaretState next = caret;
    --next.hideCount;
    Change(next);
    return TRUE;
}

BOOL HideCaret(HWND hwnd)
{
    DropIfOwnerGone();
    if (!caret.owner || (hwnd && hwnd != caret.owner))
        return FALSE;
    CaretState next = caret;
    ++next.hideCount;
    Change(next);
    return TRUE;
}

BOOL SetCaretPos(int x, int y)
{
    DropIfOwnerGone();
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
