#pragma once

#include "platform/com/Unknown.h"
#include "platform/olepicture/OlePicture.h"
#include "platform/win/Export.h"
#include "platform/window/Wnd.h"

#include <functional>
#include <string>

class QMimeData;

/// Drag and drop between windows and with other programs, over the desktop's drag and drop (Qt's QDrag
/// and drop events). A data object carries its formats as MIME data: CF_HDROP (a DROPFILES block of file
/// names) as "text/uri-list", and a format registered with RegisterClipboardFormat as the private MIME type
/// "application/x-" followed by the format's name; other formats are not carried.
///
/// Drags, drop targets and the class library's objects belong to the user-interface thread. Failures are
/// reported by HRESULT (or FALSE); nothing throws.

using CLIPFORMAT = WORD;
DECLARE_HANDLE(HDROP);

constexpr CLIPFORMAT CF_TEXT = 1;
constexpr CLIPFORMAT CF_HDROP = 15;

constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD TYMED_NULL = 0;
constexpr DWORD TYMED_HGLOBAL = 1;

using DROPEFFECT = DWORD;
constexpr DROPEFFECT DROPEFFECT_NONE = 0;
constexpr DROPEFFECT DROPEFFECT_COPY = 1;
constexpr DROPEFFECT DROPEFFECT_MOVE = 2;
constexpr DROPEFFECT DROPEFFECT_LINK = 4;
constexpr DROPEFFECT DROPEFFECT_SCROLL = 0x80000000;

/// The Alt key in a drag's key state (the other MK_ values are the mouse messages').
constexpr DWORD MK_ALT = 0x0020;

constexpr HRESULT DRAGDROP_S_DROP = 0x00040100;
constexpr HRESULT DRAGDROP_S_CANCEL = 0x00040101;
constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = 0x00040102;
constexpr HRESULT DRAGDROP_E_NOTREGISTERED = static_cast<HRESULT>(0x80040100u);
constexpr HRESULT DRAGDROP_E_ALREADYREGISTERED = static_cast<HRESULT>(0x80040101u);
constexpr HRESULT DRAGDROP_E_INVALIDHWND = static_cast<HRESULT>(0x80040102u);
constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064u);
constexpr HRESULT DV_E_TYMED = static_cast<HRESULT>(0x80040069u);
constexpr HRESULT DV_E_DVASPECT = static_cast<HRESULT>(0x8004006Bu);

struct DVTARGETDEVICE;

struct FORMATETC
{
    CLIPFORMAT cfFormat;
    DVTARGETDEVICE* ptd;
    DWORD dwAspect;
    LONG lindex;
    DWORD tymed;
};
using LPFORMATETC = FORMATETC*;

/// Data handed over in global memory (the only medium here). With pUnkForRelease set, releasing the medium
/// releases that object instead of freeing the block.
struct STGMEDIUM
{
    DWORD tymed;
    HGLOBAL hGlobal;
    IUnknown* pUnkForRelease;
};
using LPSTGMEDIUM = STGMEDIUM*;

/// The block of CF_HDROP: the header, then at `pFiles` the names, each ended by a zero, and one more zero.
/// The names are UTF-8 bytes, or wide characters when `fWide` is set.
struct DROPFILES
{
    DWORD pFiles;
    POINT pt;
    BOOL fNC;
    BOOL fWide;
};
static_assert(sizeof(DROPFILES) == 20, "the header of a CF_HDROP block is 20 bytes");

struct POINTL
{
    LONG x;
    LONG y;
};

struct SHDRAGIMAGE
{
    SIZE sizeDragImage;
    POINT ptOffset;
    HBITMAP hbmpDragImage;
    COLORREF crColorKey;
};

DEFINE_GUID(IID_IDataObject, 0x0000010E, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IDropSource, 0x00000121, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IDropTarget, 0x00000122, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(CLSID_DragDropHelper, 0x4657278A, 0x411B, 0x11D2, 0x83, 0x9A, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0);
DEFINE_GUID(IID_IDropTargetHelper, 0x4657278B, 0x411B, 0x11D2, 0x83, 0x9A, 0x00, 0xC0, 0x4F, 0xD9, 0x18,
            0xD0);
DEFINE_GUID(IID_IDragSourceHelper, 0xDE5BF786, 0x477A, 0x11D2, 0x83, 0x9D, 0x00, 0xC0, 0x4F, 0xD9, 0x18,
            0xD0);

struct IDataObject : IUnknown
{
    /// A new block with the format's data, which the caller releases (ReleaseStgMedium); DV_E_FORMATETC
    /// when the object does not carry it, DV_E_TYMED unless TYMED_HGLOBAL is asked for.
    STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) PURE;
    STDMETHOD(GetDataHere)(FORMATETC* format, STGMEDIUM* medium) PURE;
    /// S_OK when the format can be had, else DV_E_FORMATETC.
    STDMETHOD(QueryGetData)(FORMATETC* format) PURE;
    /// Stores a copy of the block's data under the format (replacing what it had); with `release`, the
    /// medium is released once the data is taken.
    STDMETHOD(SetData)(FORMATETC* format, STGMEDIUM* medium, BOOL release) PURE;

protected:
    ~IDataObject() = default;
};
using LPDATAOBJECT = IDataObject*;

struct IDropSource : IUnknown
{
    STDMETHOD(QueryContinueDrag)(BOOL escapePressed, DWORD keyState) PURE;
    STDMETHOD(GiveFeedback)(DWORD effect) PURE;

protected:
    ~IDropSource() = default;
};

/// A window's drop target: the point is in screen coordinates, the key state holds MK_ values, and `effect`
/// comes in with the effects the drag allows and goes out with the one the target takes.
struct IDropTarget : IUnknown
{
    STDMETHOD(DragEnter)(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) PURE;
    STDMETHOD(DragOver)(DWORD keyState, POINTL point, DWORD* effect) PURE;
    STDMETHOD(DragLeave)() PURE;
    STDMETHOD(Drop)(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) PURE;

protected:
    ~IDropTarget() = default;
};

/// The drag image of a drop target. The desktop draws the image of every drag itself, so the object only
/// answers S_OK.
struct IDropTargetHelper : IUnknown
{
    STDMETHOD(DragEnter)(HWND target, IDataObject* data, POINT* point, DWORD effect) PURE;
    STDMETHOD(DragLeave)() PURE;
    STDMETHOD(DragOver)(POINT* point, DWORD effect) PURE;
    STDMETHOD(Drop)(IDataObject* data, POINT* point, DWORD effect) PURE;
    STDMETHOD(Show)(BOOL show) PURE;

protected:
    ~IDropTargetHelper() = default;
};

/// The drag image of a drag source: InitializeFromBitmap gives a data object of ours the picture (copied;
/// the caller keeps the bitmap) that the desktop shows under the pointer while it is dragged.
struct IDragSourceHelper : IUnknown
{
    STDMETHOD(InitializeFromBitmap)(SHDRAGIMAGE* image, IDataObject* data) PURE;
    /// E_NOTIMPL: windows do not draw their own drag images here.
    STDMETHOD(InitializeFromWindow)(HWND window, POINT* point, IDataObject* data) PURE;

protected:
    ~IDragSourceHelper() = default;
};

/// Releases the medium's object, or frees its block, and empties it.
PLATFORM_API void ReleaseStgMedium(STGMEDIUM* medium);

/// Runs a drag of `data` with the effects `allowed` and waits until it ends. DRAGDROP_S_DROP with the
/// effect the target took, or DRAGDROP_S_CANCEL with DROPEFFECT_NONE when nobody took it; E_INVALIDARG for
/// a missing argument, E_UNEXPECTED off the user-interface thread. The desktop's drag loop decides when
/// the drag ends (release drops, Escape cancels); `source` is kept for the drag but not asked.
PLATFORM_API HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD allowed, DWORD* effect);
/// Makes `target` (one reference held until revoked) receive the drags over `window`.
/// DRAGDROP_E_INVALIDHWND for a window that does not exist, DRAGDROP_E_ALREADYREGISTERED when it has one.
PLATFORM_API HRESULT RegisterDragDrop(HWND window, IDropTarget* target);
/// DRAGDROP_E_NOTREGISTERED when the window has no drop target (also once the window is gone).
PLATFORM_API HRESULT RevokeDragDrop(HWND window);

/// With `index` 0xFFFFFFFF the number of names of the CF_HDROP block; else the name at `index` copied into
/// `buffer` (at most size - 1 characters and a zero) and the characters copied, or with a null buffer the
/// name's length. 0 for an index past the end or a block that is not one.
PLATFORM_API UINT DragQueryFileA(HDROP drop, UINT index, LPSTR buffer, UINT size);
/// Frees a CF_HDROP block.
PLATFORM_API void DragFinish(HDROP drop);
#define DragQueryFile DragQueryFileA

namespace platform::shell
{
/// A new, empty data object of ours, which takes any carried format through SetData.
PLATFORM_API HRESULT CreateDataObject(REFIID iid, void** object);

/// The MIME type that carries `format` in a drag: "text/uri-list" for CF_HDROP, "application/x-" and the
/// name for a registered format, empty for any other.
PLATFORM_API std::string MimeTypeOfFormat(CLIPFORMAT format);

/// Plays the desktop's drag loop for tests (the offscreen platform cannot drag): while set, DoDragDrop
/// hands the hook the data as other programs would receive it and the effects allowed, without a drag,
/// and takes the returned effect (limited to the allowed ones) as the target's answer; DROPEFFECT_NONE
/// cancels. User-interface thread; nullptr restores real drags.
PLATFORM_API void SetDragHook(std::function<DWORD(const QMimeData& data, DWORD allowed)> hook);
} // namespace platform::shell

// ---------------------------------------------------------------------------------------------------------
// The class library's drag and drop objects
// ---------------------------------------------------------------------------------------------------------

/// A view of a data object that the caller got (a drop's); it holds one reference while attached.
class PLATFORM_API COleDataObject
{
public:
    COleDataObject() = default;
    ~COleDataObject();
    COleDataObject(const COleDataObject&) = delete;
    COleDataObject& operator=(const COleDataObject&) = delete;

    /// Takes the object; with `autoRelease` FALSE the caller's reference is not released on Detach.
    void Attach(IDataObject* data, BOOL autoRelease = TRUE);
    IDataObject* Detach();
    void Release();
    BOOL IsDataAvailable(CLIPFORMAT format, FORMATETC* formatEtc = nullptr);
    /// A new global block with the data, freed by the caller; null when the format is not there.
    HGLOBAL GetGlobalData(CLIPFORMAT format, FORMATETC* formatEtc = nullptr);

    IDataObject* m_lpDataObject = nullptr;
    BOOL m_bAutoRelease = TRUE;
};

/// Data offered by a drag that starts here: the blocks it caches are its own from then on.
class PLATFORM_API COleDataSource : public CCmdTarget
{
public:
    COleDataSource();
    ~COleDataSource() override;

    /// Offers `block` as `format`; the source frees it. A format cached again replaces the older block.
    void CacheGlobalData(CLIPFORMAT format, HGLOBAL block, FORMATETC* formatEtc = nullptr);
    /// Drags the cached data with the effects `allowed`; the effect the target took, DROPEFFECT_NONE when
    /// the drag was cancelled or could not start. `startRect` (screen coordinates) is where the drag began.
    DROPEFFECT DoDragDrop(DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK,
                          LPCRECT startRect = nullptr, IDropSource* source = nullptr);
    /// The data object that carries the cached data (no reference added).
    IDataObject* GetDataObject() const { return m_data; }

private:
    IDataObject* m_data = nullptr;
};

/// A window's drop target: a derived class answers the steps of the drags over its window. Points are in
/// the window's client coordinates; the data object is valid during the call.
class PLATFORM_API COleDropTarget : public CCmdTarget
{
public:
    COleDropTarget();
    ~COleDropTarget() override;

    /// Receives the drags over `window` from now on; FALSE when the window does not exist or has a target.
    BOOL Register(CWnd* window);
    void Revoke();

    virtual DROPEFFECT OnDragEnter(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point);
    virtual DROPEFFECT OnDragOver(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point);
    virtual BOOL OnDrop(CWnd* window, COleDataObject* data, DROPEFFECT effect, CPoint point);
    virtual void OnDragLeave(CWnd* window);

    HWND m_hWnd = nullptr;

private:
    class Target;
    Target* m_target = nullptr;
};
