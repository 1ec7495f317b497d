#pragma once

/// The base of the Windows-shaped layer: types, last error, strings, kernel objects and locks.
#include "platform/win/CString.h"
#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "platform/win/Sync.h"
#include "platform/win/WinTypes.h"
