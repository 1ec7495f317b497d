#pragma once

#include "platform/win/Export.h"
#include "platform/window/WinUser.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

/// Dialog templates as the resource compiler writes them (DLGTEMPLATE and DLGTEMPLATEEX), read within
/// their bounds, and dialogs made from them. For the class library's dialogs and for code that lays a
/// dialog out again from its template.
namespace platform::window
{
/// A name-or-ordinal field of a template: absent, an ordinal, or a text (UTF-8).
struct DialogName
{
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::string text;
};

struct DialogItem
{
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0; // dialog units
    DWORD id = 0;
    DialogName windowClass; // ordinals 0x80-0x85: Button, Edit, Static, ListBox, ScrollBar, ComboBox
    DialogName title;
    const BYTE* creationData = nullptr; // the size word and the data that follows it, inside the template
    WORD creationSize = 0;
};

struct DialogTemplate
{
    bool valid = false; // false when the data ended before the template did
    bool extended = false;
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0; // dialog units, client area
    DialogName menu;
    DialogName windowClass;
    std::string title;
    bool hasFont = false; // DS_SETFONT
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::string face;
    std::vector<DialogItem> items;
};

/// Reads the template in the `size` bytes at `data`; `valid` is false for a truncated or damaged one.
/// The items point into `data`, which must outlive them.
PLATFORM_API DialogTemplate ParseDialogTemplate(const BYTE* data, std::size_t size);

/// Makes the dialog and its controls from a parsed template, as CreateDialogIndirectParam does;
/// `beforeControls`, when given, is called with the dialog's handle before its first control exists.
/// User-interface thread.
PLATFORM_API HWND CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& dialogTemplate,
                                           HWND parent, DLGPROC proc, LPARAM initParam,
                                           const std::function<void(HWND)>& beforeControls);

/// Runs the modal loop of a dialog made by CreateDialogFromTemplate until EndDialog, a quit message or the
/// dialog's destruction; returns EndDialog's result, or -1 when the dialog did not end through it.
PLATFORM_API INT_PTR RunModalDialog(HWND dialog);

/// True for a window made by the dialog manager that has not been destroyed.
PLATFORM_API bool IsDialog(HWND hwnd);
} // namespace platform::window
