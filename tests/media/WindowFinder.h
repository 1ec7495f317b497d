#pragma once

// Finds the program's dialogs that a test did not make itself (wait windows, prompts) by a control they
// hold. Header-only; user-interface thread.

#include "platform/window/WinUser.h"

#include <vector>

namespace media_test
{
/// The top-level windows holding a control with id `controlId`.
inline std::vector<HWND> WindowsWithControl(int controlId)
{
    struct Search
    {
        int id;
        std::vector<HWND> found;
    } search{controlId, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL
        {
            auto* s = reinterpret_cast<Search*>(data);
            if (::GetDlgItem(hwnd, s->id))
                s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

/// The first of them, or null.
inline HWND WindowWithControl(int controlId)
{
    const std::vector<HWND> found = WindowsWithControl(controlId);
    return found.empty() ? nullptr : found.front();
}

/// The first of them that is visible, or null: a box on the screen, not one made or left hidden.
inline HWND ShownWindowWithControl(int controlId)
{
    for (HWND hwnd : WindowsWithControl(controlId))
        if (::IsWindowVisible(hwnd))
            return hwnd;
    return nullptr;
}
} // namespace media_test
