#pragma once

/// The shell family in one include, as the system's sources take it: item ID lists, the namespace's
/// folders, file information and the system image list, change notification, the name order of file
/// managers and opening documents.
#include "platform/shell/ChangeNotify.h"
#include "platform/shell/FileInfo.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellExecute.h"
#include "platform/shell/ShellFolder.h"
#include "platform/shell/StrCmpLogical.h"
