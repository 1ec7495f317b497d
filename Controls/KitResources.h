#pragma once

#include "platform/window/Afx.h"

/// The module a resource of the kit's controls and dialogs is loaded from. The kit is compiled into the
/// program and into libraries, and the same id names different images in each: inside a library the
/// library's own resources come first; in the program (and for what a library lacks) the class library's
/// resource search decides (language library, then the program).
HINSTANCE FindKitResourceModule(LPCSTR name, LPCSTR type);

/// A BITMAP resource of the kit's module as a new GDI bitmap owned by the caller; null when missing.
HBITMAP LoadKitBitmap(UINT id);
