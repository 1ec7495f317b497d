#pragma once

#include "platform/window/Afx.h"
#include "shared/faldra/Export.h"

namespace faldra
{
/// A resizable skin image: four edge strips stretched along their length around a centre bitmap. The image
/// owns its five bitmaps; copies are deep. Used on the thread that owns the windows it draws into; never
/// throws.
class FALDRA_API CModularImage
{
public:
    enum EFrameType
    {
        FT_TOP = 0,
        FT_BOTTOM = 1,
        FT_LEFT = 2,
        FT_RIGHT = 3,
    };

    explicit CModularImage(COLORREF back = GetSysColor(COLOR_WINDOW));
    /// Takes ownership of `centre`.
    CModularImage(HBITMAP centre, COLORREF back);
    CModularImage(const CModularImage& other);
    CModularImage& operator=(const CModularImage& other);
    virtual ~CModularImage();

    UINT GetStyle() const { return m_style; }
    void SetStyle(UINT style) { m_style = style; }
    COLORREF GetBackgndColor() const { return m_backColor; }
    /// Returns the previous colour.
    COLORREF SetBackgndColor(COLORREF color);
    void EnableBkgndErase(BOOL erase) { m_erase = erase; }
    BOOL IsBkgndEraseEnabled() const { return m_erase; }

    /// A strip by index 0 to 3; an index outside that range gives the top strip.
    CBitmap& GetFrame(EFrameType type);
    CBitmap& GetBackground() { return m_center; }
    /// The image takes `bitmap`; the strip held so far is detached and returned to the caller, who owns it.
    HBITMAP SetFrame(HBITMAP bitmap, EFrameType type);
    /// Loads bitmap `id` of the calling program, mirrored left to right when `mirror` is TRUE. A failed load
    /// leaves the strip empty. The previous strip is detached and returned.
    HBITMAP SetFrame(UINT id, EFrameType type, BOOL mirror);
    HBITMAP SetBackground(HBITMAP bitmap);

    /// A new screen-compatible bitmap holding `source` flipped left to right, or null.
    static HBITMAP CreateMirroredBitmap(HBITMAP source);

    /// Deletes the four strips and the centre bitmap.
    void Clear();
    void SetRefDC(CDC* dc) { m_refDC = dc ? dc->GetSafeHdc() : nullptr; }
    HDC GetRefDC() const { return m_refDC; }

    /// Style 12 stretches the centre; otherwise bits 2/1 place it at the bottom/middle and bits 8/4 at the
    /// right/centre, unscaled and clipped.
    virtual void DrawImage(CDC& dc, CRect rect);
    /// The four numbers are top, left, bottom, right.
    void DrawImage(CDC& dc, int top, int left, int bottom, int right);

protected:
    HBITMAP SetInternalImage(HBITMAP bitmap, CBitmap& target);

private:
    void CopyFrom(const CModularImage& other);

    HDC m_refDC = nullptr;
    COLORREF m_backColor;
    UINT m_style = 0;
    BOOL m_erase = TRUE;
    CBitmap m_frames[4];
    CBitmap m_center;
};
} // namespace faldra
