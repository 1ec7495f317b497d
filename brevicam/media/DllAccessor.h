#pragma once

#include "platform/resources/Resources.h"
#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

#include <utility>

/// Owns one library loaded by name for as long as it lives, and calls its exported functions by name.
class CDllAccessor
{
public:
    /// Loads the library (a bare name is looked for in the program's folder first). Throws
    /// CDynamicLinkException with the system error code and a message that names the library and gives the
    /// loader's reason when it cannot be loaded.
    explicit CDllAccessor(const char* libraryName);
    /// Frees the library.
    ~CDllAccessor();
    CDllAccessor(const CDllAccessor&) = delete;
    CDllAccessor& operator=(const CDllAccessor&) = delete;

    /// Calls the export `name`, a function of type `Fn`, with the arguments and returns its result.
    /// Throws CDynamicLinkException when the library has no such export.
    template <typename Fn, typename... Args> auto GetGenericFn(const char* name, Args&&... args)
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(FindExport(name)))(std::forward<Args>(args)...);
    }

    /// The loaded library, for finding further exports with GetProcAddress.
    HMODULE GetModule() const noexcept { return m_hModule; }

private:
    FARPROC FindExport(const char* name) const;

    HMODULE m_hModule = nullptr;
};

/// Where the video transcoder library is loaded from: "libkestavo.so" in the program's folder.
CString GetTranscoderLibraryPath();
/// Loads the transcoder library from another file from now on (tests); an empty path restores the
/// program's folder. Any thread.
void SetTranscoderLibraryPath(const CString& path);
