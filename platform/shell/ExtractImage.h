#pragma once

#include "platform/com/Unknown.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <string>

/// The shell's picture of a file's content: the folder hands out an image extractor for a regular file
/// (IShellFolder::GetUIObjectOf with IID_IExtractImage), the caller asks where it would come from and at
/// which size (GetLocation), then has it made (Extract). Pictures are decoded at the asked size by Qt's
/// image readers, reading only the header for the picture's size (JPEG, PNG, BMP, GIF, TIFF and what
/// else Qt reads), and by the project's image object where Qt has no reader (JPEG 2000). Usable from
/// any thread, one thread at a time.

constexpr DWORD IEIFLAG_ASYNC = 0x0001;
constexpr DWORD IEIFLAG_CACHE = 0x0002;
/// Fit the picture into the asked size, keeping its proportions.
constexpr DWORD IEIFLAG_ASPECT = 0x0004;
constexpr DWORD IEIFLAG_OFFLINE = 0x0008;
constexpr DWORD IEIFLAG_SCREEN = 0x0020;
/// As IEIFLAG_ASPECT, but a picture smaller than the asked size keeps its own size.
constexpr DWORD IEIFLAG_ORIGSIZE = 0x0040;

/// A file that is still being written: its picture cannot be read yet.
constexpr HRESULT HRESULT_SHARING_VIOLATION = static_cast<HRESULT>(0x80070020u);

DEFINE_GUID(IID_IExtractImage, 0xBB2E617C, 0x0920, 0x11D1, 0x9A, 0x0B, 0x00, 0xC0, 0x4F, 0xC2, 0xD6, 0xC1);

struct IExtractImage : IUnknown
{
    /// Writes the file's path (UTF-8, cut to `size` bytes and terminated) into `path` and takes the size
    /// (`wanted`, both sides positive), the colour depth and the IEIFLAG_ flags (in and out) of the
    /// picture that Extract will make. E_INVALIDARG for a missing buffer or size.
    STDMETHOD(GetLocation)
    (LPSTR path, DWORD size, DWORD* priority, const SIZE* wanted, DWORD colorDepth, DWORD* flags) PURE;
    /// A new 32-bit bitmap (owned by the caller) of the picture at the size GetLocation took:
    /// - E_FAIL for a file that is no picture (no reader knows its content), or that is gone;
    /// - HRESULT_SHARING_VIOLATION for a picture whose decoding failed or came out short while the file
    ///   is still being written (writes to it go on without it being closed);
    /// - HRESULT_FROM_WIN32(ERROR_INVALID_DATA) for a damaged picture that nobody writes to;
    /// - E_UNEXPECTED before GetLocation.
    STDMETHOD(Extract)(HBITMAP* bitmap) PURE;

protected:
    ~IExtractImage() = default;
};

namespace platform::shell
{
/// The image extractor of the file at `path` (an absolute path of a regular file; symbolic links are
/// followed) with one reference for the caller; E_FAIL for anything else.
PLATFORM_API HRESULT CreateImageExtractor(const std::string& path, IExtractImage** extractor);

/// How long Extract watches a file whose picture could not be read for writes that are still going on.
constexpr int WriteWatchMs = 250;
} // namespace platform::shell
