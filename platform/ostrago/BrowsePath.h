#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <optional>
#include <string>

/// Lets the user choose a folder in a modal folder browser owned by `owner` (disabled meanwhile), titled
/// `title` and opened at `initialFolder` (null or empty: the home folder). `path` (260 bytes) receives the
/// chosen folder as UTF-8, or an empty text when the user cancels or the folder's path does not fit the
/// buffer. TRUE when a folder was chosen. User-interface thread.
PLATFORM_API BOOL GetBrowsePath(HWND owner, const char* title, char* path, const wchar_t* initialFolder);

namespace platform::ostrago
{
/// What the folder browser was asked, while answers are scripted.
struct BrowseRequest
{
    HWND Owner = nullptr;
    std::string Title;
    std::string InitialFolder;
};

/// For tests: while set, GetBrowsePath shows nothing, records its request and answers `folder` (nullopt:
/// as if cancelled). ClearScriptedBrowse shows the real browser again.
PLATFORM_API void SetScriptedBrowse(std::optional<std::string> folder);
PLATFORM_API void ClearScriptedBrowse();
/// The last request recorded while scripted.
PLATFORM_API BrowseRequest LastBrowseRequest();
} // namespace platform::ostrago
