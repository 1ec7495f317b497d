#pragma once

#include "platform/window/Afx.h"

#include <cstddef>

/// The module a resource of the kit's controls and dialogs is loaded from. The kit is compiled into the
/// program and into libraries, and the same id names different images in each: inside a library the
/// library's own resources come first; in the program (and for what a library lacks) the class library's
/// resource search decides (language library, then the program).
HINSTANCE FindKitResourceModule(LPCSTR name, LPCSTR type);

/// The dialog template `id` of the kit's module when that module is a library holding it (a library's own
/// template comes first, as its images do), with its size; null for the class library's own search.
const DLGTEMPLATE* FindKitDialogTemplate(UINT id, std::size_t& size);

/// A BITMAP resource of the kit's module as a new GDI bitmap owned by the caller; null when missing.
HBITMAP LoadKitBitmap(UINT id);
