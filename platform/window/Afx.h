#pragma once

/// The class library in one include: objects and message maps, windows, dialogs, DCs and GDI objects,
/// controls and the application object, over the window layer.
#include "platform/window/Controls.h"
#include "platform/window/DC.h"
#include "platform/window/Dialog.h"
#include "platform/window/GdiObject.h"
#include "platform/window/Rect.h"
#include "platform/window/WinApp.h"
#include "platform/window/Wnd.h"
