#pragma once

#include "platform/window/WinUser.h"

#include <cstddef>

/// What the application object offers the windows that take the capture shortcuts: it translates the keys
/// of its accelerator table for the windows registered here. The capture windows reach it through the class
/// library's current application object, so they do not depend on the program's own application class.
class IAcceleratorWindows
{
public:
    /// FALSE (and nothing added) when the window's parent is disabled.
    virtual BOOL AddAcceleratorWindow(HWND window) = 0;
    virtual std::size_t RemoveAcceleratorWindow(HWND window) = 0;

protected:
    ~IAcceleratorWindows() = default;
};
