#pragma once

// Internal to platform_window: what the single-line edit (Edit_qt.cpp) and the multi-line edit
// (EditMultiline_qt.cpp) share. Not installed, not for other modules.

#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include <algorithm>

namespace platform::window::detail
{
/// The per-window data of an edit control: a QLineEdit, or for ES_MULTILINE a QPlainTextEdit (`text`).
struct EditState
{
    QLineEdit* edit = nullptr;      // owned by the window's widget; single-line
    QPlainTextEdit* text = nullptr; // owned by the window's widget; multi-line
    HFONT font = nullptr;
    bool quiet = false; // a change made by a message, notified by that message
    bool modified = false;
    RECT margins{};

    QWidget* Widget() const { return edit ? static_cast<QWidget*>(edit) : text; }

    /// Hands the formatting rectangle's insets to the line edit.
    void ApplyMargins() const
    {
        if (edit)
            edit->setTextMargins(std::max<LONG>(0, margins.left), std::max<LONG>(0, margins.top),
                                 std::max<LONG>(0, margins.right), std::max<LONG>(0, margins.bottom));
    }
};

EditState* EditStateOf(HWND hwnd);
/// Sends WM_COMMAND with `code` to the edit's parent.
void NotifyEditParent(HWND hwnd, UINT code);
/// Routes the input of `object` (the edit's Qt widget or its viewport) through the window layer.
void RouteEditInput(HWND hwnd, QObject* object);
/// Paints the field's background as the parent's WM_CTLCOLOREDIT / WM_CTLCOLORSTATIC asks and gives its
/// text colour to the Qt widget.
void ApplyEditColours(HWND hwnd, HDC dc);
/// Places the Qt widget over the client area.
void LayoutEdit(HWND hwnd);
/// The caret functions installed by the caret module (all null before).
const CaretFunctions& EditCaret();
/// True when every character of `text` is a decimal digit (what ES_NUMBER lets in).
bool AllDigits(const QString& text);

/// The Qt widget's text changed: the edit is modified and the parent hears EN_UPDATE and EN_CHANGE, unless
/// a message made the change (it notifies itself).
void EditTextChanged(HWND hwnd);
/// The messages both kinds of edit answer alike; false for any other.
bool SharedEditMessage(HWND hwnd, EditState& st, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

/// The multi-line edit's part of WM_NCCREATE: makes the QPlainTextEdit and the state.
BOOL CreateMultilineEdit(HWND hwnd, const CREATESTRUCTA* cs);
/// The window procedure of a multi-line edit, once created.
LRESULT MultilineEditProc(HWND hwnd, EditState& st, UINT msg, WPARAM wParam, LPARAM lParam);
/// Shows or hides the text cursor of a multi-line edit's Qt widget; false when `widget` is not one.
bool ShowMultilineCursor(QWidget* widget, bool shown);
} // namespace platform::window::detail
