#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <QtCore/qnamespace.h>

#include <optional>
#include <string>

class QDialog;
class QFileDialog;
class QImage;
class QWidget;

/// The Qt side of the window layer, for code that must meet Qt itself: controls that embed a Qt widget
/// and tests that look at pixels or feed input. User-interface thread only.
namespace platform::window
{
/// The widget that shows `hwnd` (its whole window rectangle), or null for a handle that names no window.
PLATFORM_API QWidget* HostWidgetOf(HWND hwnd);

/// A copy of what the window has drawn into its client area, as premultiplied ARGB, top row first; a
/// null image for a handle that names no window.
PLATFORM_API QImage ClientImage(HWND hwnd);

/// Runs a prepared file or folder dialog modally over `owner` (disabled meanwhile; may be null) and
/// returns the path chosen, or nothing when cancelled.
PLATFORM_API std::optional<std::string> RunFileDialog(QFileDialog& dialog, HWND owner);

/// Shows a Qt dialog application-modal and runs the thread's message loop until it is done, as the
/// system's modal boxes do: posted messages, timers and graph events keep being dispatched meanwhile.
/// A WM_QUIT rejects the dialog and stays owed to the loop outside. Returns the dialog's result.
/// User-interface thread.
PLATFORM_API int RunDialogInMessageLoop(QDialog& dialog);

/// The MK_ bits of mouse messages for Qt's buttons and modifiers (MK_LBUTTON, MK_RBUTTON, MK_MBUTTON,
/// MK_SHIFT, MK_CONTROL).
PLATFORM_API WPARAM MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
} // namespace platform::window
