#pragma once

#include "platform/window/Rect.h"
#include "platform/window/Wnd.h"

/// The class library's GDI objects. An object owns its handle and deletes it when it is destroyed (or when
/// DeleteObject is called); objects handed out by FromHandle are temporary, do not own their handle, and
/// live until the handle is deleted.
class CDC;

class PLATFORM_API CGdiObject : public CObject
{
    DECLARE_DYNAMIC(CGdiObject)
public:
    CGdiObject() = default;
    ~CGdiObject() override;

    HGDIOBJ m_hObject = nullptr;
    operator HGDIOBJ() const noexcept { return m_hObject; }
    HGDIOBJ GetSafeHandle() const noexcept { return m_hObject; }

    static CGdiObject* FromHandle(HGDIOBJ object);
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int size, LPVOID buffer) const;
    UINT GetObjectType() const;
    BOOL CreateStockObject(int index);

private:
    friend struct GdiObjectAccess;
    bool m_temporary = false; // made by FromHandle: owns nothing
};

class PLATFORM_API CPen : public CGdiObject
{
    DECLARE_DYNAMIC(CPen)
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color);
    static CPen* FromHandle(HPEN pen);
    BOOL CreatePen(int style, int width, COLORREF color);
    BOOL CreatePenIndirect(LPLOGPEN logPen);
    operator HPEN() const noexcept { return static_cast<HPEN>(m_hObject); }
};

class PLATFORM_API CBrush : public CGdiObject
{
    DECLARE_DYNAMIC(CBrush)
public:
    CBrush() = default;
    explicit CBrush(COLORREF color);
    static CBrush* FromHandle(HBRUSH brush);
    BOOL CreateSolidBrush(COLORREF color);
    BOOL CreateHatchBrush(int index, COLORREF color);
    BOOL CreatePatternBrush(class CBitmap* bitmap);
    BOOL CreateSysColorBrush(int index);
    BOOL CreateBrushIndirect(const LOGBRUSH* logBrush);
    operator HBRUSH() const noexcept { return static_cast<HBRUSH>(m_hObject); }
};

class PLATFORM_API CFont : public CGdiObject
{
    DECLARE_DYNAMIC(CFont)
public:
    CFont() = default;
    static CFont* FromHandle(HFONT font);
    BOOL CreateFontIndirect(const LOGFONT* logFont);
    BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                    BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision,
                    BYTE quality, BYTE pitchAndFamily, LPCTSTR face);
    /// A font of `pointSize` tenths of a point at the DC's (or the screen's) resolution.
    BOOL CreatePointFont(int pointSize, LPCTSTR face, CDC* dc = nullptr);
    BOOL CreatePointFontIndirect(const LOGFONT* logFont, CDC* dc = nullptr);
    int GetLogFont(LOGFONT* logFont) const;
    operator HFONT() const noexcept { return static_cast<HFONT>(m_hObject); }
};

class PLATFORM_API CBitmap : public CGdiObject
{
    DECLARE_DYNAMIC(CBitmap)
public:
    CBitmap() = default;
    static CBitmap* FromHandle(HBITMAP bitmap);
    /// A BITMAP resource found through the class library's resource search.
    BOOL LoadBitmap(UINT id);
    BOOL LoadBitmap(LPCTSTR name);
    BOOL CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    int GetBitmap(BITMAP* bitmap) const;
    CSize SetBitmapDimension(int width, int height);
    CSize GetBitmapDimension() const;
    operator HBITMAP() const noexcept { return static_cast<HBITMAP>(m_hObject); }
};

class PLATFORM_API CRgn : public CGdiObject
{
    DECLARE_DYNAMIC(CRgn)
public:
    CRgn() = default;
    static CRgn* FromHandle(HRGN region);
    BOOL CreateRectRgn(int left, int top, int right, int bottom);
    BOOL CreateRectRgnIndirect(LPCRECT rect);
    BOOL CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
    BOOL CreateEllipticRgn(int left, int top, int right, int bottom);
    BOOL CreatePolygonRgn(const POINT* points, int count, int fillMode);
    int CombineRgn(const CRgn* a, const CRgn* b, int mode);
    int CopyRgn(const CRgn* source);
    int OffsetRgn(int dx, int dy);
    int OffsetRgn(POINT offset);
    void SetRectRgn(int left, int top, int right, int bottom);
    void SetRectRgn(LPCRECT rect);
    BOOL PtInRegion(int x, int y) const;
    BOOL PtInRegion(POINT point) const;
    BOOL RectInRegion(LPCRECT rect) const;
    int GetRgnBox(LPRECT rect) const;
    BOOL EqualRgn(const CRgn* other) const;
    operator HRGN() const noexcept { return static_cast<HRGN>(m_hObject); }
};
