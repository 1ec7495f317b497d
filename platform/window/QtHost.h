#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <QtCore/qnamespace.h>

#include <optional>
#include <string>

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

/// The MK_ bits of mouse messages for Qt's buttons and modifiers (MK_LBUTTON, MK_RBUTTON, MK_MBUTTON,
/// MK_SHIFT, MK_CONTROL).
/// Runs a prepared file or folder dialog modally over `owner` (disabled meanwhile; may be null) and
/// returns the path chosen, or nothing when cancelled.
PLATFORM_API std::optional<std::string> RunFileDialog(QFileDialog& dialog, HWND owner);

PLATFORM_API WPARAM MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
} // namespace platform::window
