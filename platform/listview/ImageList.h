#pragma once

#include "platform/window/Afx.h"

/// Image lists: equally sized images kept as premultiplied 32-bit pixels, drawn with alpha blending. Masks
/// (a monochrome mask bitmap or a mask colour) and the alpha channel of 32-bit bitmaps become transparency.
/// Any thread may hold a handle, but one list must not be used from two threads at once. Failures are
/// reported by result (-1, FALSE or null), never by exception.

struct _IMAGELIST;
using HIMAGELIST = _IMAGELIST*;

constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLORDDB = 0x00FE;
constexpr UINT ILC_COLOR4 = 0x0004;
constexpr UINT ILC_COLOR8 = 0x0008;
constexpr UINT ILC_COLOR16 = 0x0010;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILC_COLOR32 = 0x0020;

constexpr UINT ILD_NORMAL = 0x0000;
constexpr UINT ILD_TRANSPARENT = 0x0001;
constexpr UINT ILD_BLEND25 = 0x0002;
constexpr UINT ILD_FOCUS = ILD_BLEND25;
constexpr UINT ILD_BLEND50 = 0x0004;
constexpr UINT ILD_SELECTED = ILD_BLEND50;
constexpr UINT ILD_BLEND = ILD_BLEND50;
constexpr UINT ILD_MASK = 0x0010;
constexpr UINT ILD_OVERLAYMASK = 0x0F00;
/// The drawing style that adds overlay `overlay` (1 to 15) over an image.
constexpr UINT INDEXTOOVERLAYMASK(UINT overlay)
{
    return overlay << 8;
}

/// An image list of `cx` x `cy` images; null for a size below 1.
PLATFORM_API HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
/// Frees the list; FALSE for null.
PLATFORM_API BOOL ImageList_Destroy(HIMAGELIST list);
PLATFORM_API int ImageList_GetImageCount(HIMAGELIST list);
PLATFORM_API BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
/// Changes the image size and removes every image.
PLATFORM_API BOOL ImageList_SetIconSize(HIMAGELIST list, int cx, int cy);
/// Adds the bitmap (a strip of width / cx images) and returns the index of the first; -1 on failure. With a
/// mask bitmap, its set (white) pixels are transparent. The caller keeps both bitmaps.
PLATFORM_API int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
/// As ImageList_Add, the pixels of colour `mask` being transparent.
PLATFORM_API int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask);
PLATFORM_API BOOL ImageList_Replace(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask);
/// Puts the icon, scaled to the list's image size, in place of image `index`, or after the last image for
/// -1; returns the image's index, or -1 for a bad index or icon. The caller keeps the icon.
PLATFORM_API int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon);
/// ImageList_ReplaceIcon with -1.
PLATFORM_API int ImageList_AddIcon(HIMAGELIST list, HICON icon);
/// A new icon with image `index` (and its overlay, when `style` names one), which the caller ends with
/// DestroyIcon; null for a bad index.
PLATFORM_API HICON ImageList_GetIcon(HIMAGELIST list, int index, UINT style);
/// Removes image `index`, or every image for -1.
PLATFORM_API BOOL ImageList_Remove(HIMAGELIST list, int index);
PLATFORM_API BOOL ImageList_RemoveAll(HIMAGELIST list);
/// The colour drawn behind the images (CLR_NONE: none, the default).
PLATFORM_API COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF color);
PLATFORM_API COLORREF ImageList_GetBkColor(HIMAGELIST list);
PLATFORM_API BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
/// Draws image `index` at (x, y), clipped to dx x dy when those are not 0. `background` (CLR_DEFAULT: the
/// list's colour, CLR_NONE: none) fills behind it; ILD_BLEND25/50 blend it with `foreground`; an overlay
/// named in the style is drawn over it.
PLATFORM_API BOOL ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy,
                                   COLORREF background, COLORREF foreground, UINT style);
/// Makes image `image` the overlay `overlay` (1 to 15), drawn over another image whose drawing style
/// carries INDEXTOOVERLAYMASK(overlay); FALSE for an index outside the list or the overlay range.
PLATFORM_API BOOL ImageList_SetOverlayImage(HIMAGELIST list, int image, int overlay);
/// A new list with the same images; null on failure.
PLATFORM_API HIMAGELIST ImageList_Duplicate(HIMAGELIST list);

/// The class library's image list object; it owns the list it created or attached.
class PLATFORM_API CImageList : public CObject
{
public:
    CImageList() = default;
    ~CImageList() override;

    HIMAGELIST m_hImageList = nullptr;
    operator HIMAGELIST() const { return m_hImageList; }
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }

    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    BOOL DeleteImageList();
    BOOL Attach(HIMAGELIST list);
    HIMAGELIST Detach();
    /// A temporary object for a list this object does not own (valid until the next call on this thread).
    static CImageList* FromHandle(HIMAGELIST list);

    int GetImageCount() const;
    int Add(CBitmap* image, CBitmap* mask);
    int Add(CBitmap* image, COLORREF mask);
    int Add(HICON icon);
    int Replace(int index, HICON icon);
    HICON ExtractIcon(int index);
    BOOL Replace(int index, CBitmap* image, CBitmap* mask);
    BOOL Remove(int index);
    COLORREF SetBkColor(COLORREF color);
    COLORREF GetBkColor() const;
    BOOL Draw(CDC* dc, int index, POINT point, UINT style);
    BOOL DrawEx(CDC* dc, int index, POINT point, SIZE size, COLORREF background, COLORREF foreground,
                UINT style);
    BOOL SetImageCount(UINT count);
    BOOL SetOverlayImage(int image, int overlay);

private:
    bool m_temporary = false; // made by FromHandle: owns nothing
};
