#pragma once

#include "platform/com/Unknown.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <cstddef>

/// Pictures loaded from memory: global memory blocks, a stream over such a block, and the OLE picture
/// loader with its picture object, decoding through Qt's image readers (PNG, JPEG, BMP, GIF and the other
/// formats Qt reads) and drawing onto any device context of the window layer.
///
/// Every function may be called from any thread and none throws. A picture object may be rendered from
/// one thread at a time per target DC; its own state is guarded.

// Global memory blocks.
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

/// A block of `size` bytes (zeroed with GMEM_ZEROINIT); NULL with ERROR_NOT_ENOUGH_MEMORY when it cannot be
/// had. The handle of a GMEM_FIXED block is its address; any block is read and written through GlobalLock.
PLATFORM_API HGLOBAL GlobalAlloc(UINT flags, std::size_t size);
/// The block's memory, counting a lock; NULL with ERROR_INVALID_HANDLE for a handle that names no block.
PLATFORM_API LPVOID GlobalLock(HGLOBAL block);
/// Drops one lock: TRUE while locks remain, FALSE with NO_ERROR when the last one went (or the block was
/// not locked), FALSE with ERROR_INVALID_HANDLE for an unknown handle.
PLATFORM_API BOOL GlobalUnlock(HGLOBAL block);
/// The size asked for at allocation; 0 for an unknown handle.
PLATFORM_API std::size_t GlobalSize(HGLOBAL block);
/// Frees the block (also while locked): NULL on success, the handle itself for an unknown handle.
PLATFORM_API HGLOBAL GlobalFree(HGLOBAL block);

// Streams.
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009u);
constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070u);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STGTY_STREAM = 2;

/// What IStream::Stat reports; `pwcsName` is always null here.
struct STATSTG
{
    wchar_t* pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
};

DEFINE_GUID(IID_ISequentialStream, 0x0C733A30, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77,
            0x3D);
DEFINE_GUID(IID_IStream, 0x0000000C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct ISequentialStream : IUnknown
{
    /// Reads up to `size` bytes; S_FALSE when fewer than asked were left. `read` may be null.
    STDMETHOD(Read)(void* buffer, ULONG size, ULONG* read) PURE;
    /// Writes at the position, growing the stream as needed. `written` may be null.
    STDMETHOD(Write)(const void* buffer, ULONG size, ULONG* written) PURE;

protected:
    ~ISequentialStream() = default;
};

struct IStream : ISequentialStream
{
    /// Moves the position; STG_E_INVALIDFUNCTION for a bad origin or a position before the start.
    STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) PURE;
    STDMETHOD(Stat)(STATSTG* stat, DWORD flags) PURE;

protected:
    ~IStream() = default;
};
using LPSTREAM = IStream*;

/// A stream over a global memory block (a new, empty moveable one when `block` is NULL). The stream's size
/// starts at the block's size. With `deleteOnRelease` the block is freed with the stream's last Release;
/// otherwise the caller keeps it and must keep it alive as long as the stream. Writing past the end grows
/// the block only for a stream that owns it (else STG_E_MEDIUMFULL). E_INVALIDARG for an unknown block,
/// E_POINTER without `stream`.
PLATFORM_API HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, LPSTREAM* stream);

// Pictures.
using OLE_XSIZE_HIMETRIC = LONG;
using OLE_YSIZE_HIMETRIC = LONG;
using OLE_XPOS_HIMETRIC = LONG;
using OLE_YPOS_HIMETRIC = LONG;
using SHORT_PICTYPE = short;
constexpr SHORT_PICTYPE PICTYPE_NONE = 0;
constexpr SHORT_PICTYPE PICTYPE_BITMAP = 1;
constexpr HRESULT CTL_E_INVALIDPICTURE = static_cast<HRESULT>(0x800A01E1u);

DEFINE_GUID(IID_IPicture, 0x7BF80980, 0xBF32, 0x101A, 0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB);

/// A decoded picture. Sizes are in HIMETRIC units (hundredths of a millimetre) at 96 pixels per inch:
/// width = MulDiv(pixels, 2540, 96). The HIMETRIC y axis points up, so the whole picture upright is the
/// source (0, height) with extents (width, -height).
struct IPicture : IUnknown
{
    STDMETHOD(get_Type)(SHORT_PICTYPE* type) PURE;
    STDMETHOD(get_Width)(OLE_XSIZE_HIMETRIC* width) PURE;
    STDMETHOD(get_Height)(OLE_YSIZE_HIMETRIC* height) PURE;
    /// Draws the source part (HIMETRIC, see above; a positive `cySrc` turns the picture upside down) into
    /// the destination rectangle of `dc` in logical units, stretching it. Transparent pixels (GIF
    /// transparency, PNG alpha) leave the destination as it was. E_INVALIDARG for a zero size or a DC the
    /// window layer does not know; `bounds` is ignored.
    STDMETHOD(Render)
    (HDC dc, LONG x, LONG y, LONG cx, LONG cy, OLE_XPOS_HIMETRIC xSrc, OLE_YPOS_HIMETRIC ySrc,
     OLE_XSIZE_HIMETRIC cxSrc, OLE_YSIZE_HIMETRIC cySrc, LPCRECT bounds) PURE;

protected:
    ~IPicture() = default;
};
using LPPICTURE = IPicture*;

/// Decodes a picture from the stream's current position: `size` bytes, or everything to the end for 0.
/// A GIF yields its first image, the size of that image's own rectangle (its place on the logical screen
/// is the caller's business), with the GIF's transparency. `keepOriginalFormat` is ignored.
/// S_OK with the interface `iid` (IID_IPicture or IID_IUnknown) in *object; E_POINTER for null arguments,
/// E_NOINTERFACE for another iid, CTL_E_INVALIDPICTURE for data that does not decode (truncated, unknown,
/// an image of zero or oversized extent), with *object NULL.
PLATFORM_API HRESULT OleLoadPicture(LPSTREAM stream, LONG size, BOOL keepOriginalFormat, REFIID iid,
                                    LPVOID* object);
