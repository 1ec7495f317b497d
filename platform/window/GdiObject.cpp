// The class library's GDI objects and device contexts.

#include "platform/window/GdiObject.h"

#include "platform/resources/Resources.h"
#include "platform/window/DC.h"
#include "platform/window/Extras.h"

#include <memory>
#include <mutex>
#include <unordered_map>

struct GdiObjectAccess
{
    static void MarkTemporary(CGdiObject& object) { object.m_temporary = true; }
};

namespace
{
// Temporary objects handed out by FromHandle, kept until their handle closes. Never destroyed, so that
// nothing runs on them at process exit.
std::mutex g_tempLock;
auto& g_temp = *new std::unordered_map<void*, std::unique_ptr<CObject>>;

void InstallHook()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       platform::window::SetGdiHandleClosedHook(
                           [](void* handle)
                           {
                               std::unique_ptr<CObject> gone;
                               std::lock_guard lock(g_tempLock);
                               auto it = g_temp.find(handle);
                               if (it != g_temp.end())
                               {
                                   gone = std::move(it->second);
                                   g_temp.erase(it);
                                   // The handle is closed already; the wrapper must not close it again.
                                   if (auto* object = dynamic_cast<CGdiObject*>(gone.get()))
                                       object->m_hObject = nullptr;
                               }
                           });
                   });
}

template <class T, class H> T* TempFor(H handle)
{
    if (!handle)
        return nullptr;
    InstallHook();
    std::lock_guard lock(g_tempLock);
    auto& slot = g_temp[reinterpret_cast<void*>(handle)];
    if (slot)
        if (auto* typed = dynamic_cast<T*>(slot.get()))
            return typed;
    // New, or wrapped as a more general object before.
    auto object = std::make_unique<T>();
    object->m_hObject = reinterpret_cast<HGDIOBJ>(handle);
    GdiObjectAccess::MarkTemporary(*object);
    slot = std::move(object);
    return static_cast<T*>(slot.get());
}

/// A temporary DC wrapper: it never deletes or releases the DC it wraps.
class CTempDC final : public CDC
{
public:
    ~CTempDC() override { m_hDC = m_hAttribDC = nullptr; }
};
} // namespace

// ---------------------------------------------------------------------------------------------------------
// GDI objects
// ---------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CPen, CGdiObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)
IMPLEMENT_DYNAMIC(CRgn, CGdiObject)

CGdiObject::~CGdiObject()
{
    // Temporary wrappers are released by the handle's closing; they own nothing.
    if (m_hObject && !m_temporary)
        ::DeleteObject(m_hObject);
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ object)
{
    return TempFor<CGdiObject>(object);
}

BOOL CGdiObject::Attach(HGDIOBJ object)
{
    if (!object || m_hObject)
        return FALSE;
    m_hObject = object;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ object = m_hObject;
    m_hObject = nullptr;
    return object;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    return ::DeleteObject(Detach());
}

int CGdiObject::GetObject(int size, LPVOID buffer) const
{
    return ::GetObject(m_hObject, size, buffer);
}

UINT CGdiObject::GetObjectType() const
{
    return ::GetObjectType(m_hObject);
}

BOOL CGdiObject::CreateStockObject(int index)
{
    return Attach(::GetStockObject(index));
}

CPen::CPen(int style, int width, COLORREF color)
{
    CreatePen(style, width, color);
}

CPen* CPen::FromHandle(HPEN pen)
{
    return TempFor<CPen>(pen);
}

BOOL CPen::CreatePen(int style, int width, COLORREF color)
{
    return Attach(::CreatePen(style, width, color));
}

BOOL CPen::CreatePenIndirect(LPLOGPEN logPen)
{
    return Attach(::CreatePenIndirect(logPen));
}

CBrush::CBrush(COLORREF color)
{
    CreateSolidBrush(color);
}

CBrush* CBrush::FromHandle(HBRUSH brush)
{
    return TempFor<CBrush>(brush);
}

BOOL CBrush::CreateSolidBrush(COLORREF color)
{
    return Attach(::CreateSolidBrush(color));
}

BOOL CBrush::CreateHatchBrush(int index, COLORREF color)
{
    return Attach(::CreateHatchBrush(index, color));
}

BOOL CBrush::CreatePatternBrush(CBitmap* bitmap)
{
    return bitmap ? Attach(::CreatePatternBrush(*bitmap)) : FALSE;
}

BOOL CBrush::CreateSysColorBrush(int index)
{
    return Attach(::GetSysColorBrush(index));
}

BOOL CBrush::CreateBrushIndirect(const LOGBRUSH* logBrush)
{
    return Attach(::CreateBrushIndirect(logBrush));
}

CFont* CFont::FromHandle(HFONT font)
{
    return TempFor<CFont>(font);
}

BOOL CFont::CreateFontIndirect(const LOGFONT* logFont)
{
    return Attach(::CreateFontIndirect(logFont));
}

BOOL CFont::CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                       BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision,
                       BYTE quality, BYTE pitchAndFamily, LPCTSTR face)
{
    return Attach(::CreateFont(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                               charSet, outPrecision, clipPrecision, quality, pitchAndFamily, face));
}

BOOL CFont::CreatePointFont(int pointSize, LPCTSTR face, CDC* dc)
{
    LOGFONT lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfHeight = pointSize;
    if (face)
        platform::CopyTruncated(lf.lfFaceName, sizeof lf.lfFaceName, face);
    return CreatePointFontIndirect(&lf, dc);
}

BOOL CFont::CreatePointFontIndirect(const LOGFONT* logFont, CDC* dc)
{
    if (!logFont)
        return FALSE;
    LOGFONT lf = *logFont;
    // Tenths of a point at the device's resolution, as a character height.
    const int dpi = dc ? dc->GetDeviceCaps(LOGPIXELSY) : 96;
    lf.lfHeight = -std::abs(MulDiv(dpi, lf.lfHeight, 720));
    return CreateFontIndirect(&lf);
}

int CFont::GetLogFont(LOGFONT* logFont) const
{
    return ::GetObject(m_hObject, sizeof(LOGFONT), logFont);
}

CBitmap* CBitmap::FromHandle(HBITMAP bitmap)
{
    return TempFor<CBitmap>(bitmap);
}

BOOL CBitmap::LoadBitmap(UINT id)
{
    return LoadBitmap(MAKEINTRESOURCE(id));
}

BOOL CBitmap::LoadBitmap(LPCTSTR name)
{
    return Attach(::LoadBitmap(AfxFindResourceHandle(name, RT_BITMAP), name));
}

BOOL CBitmap::CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
{
    return Attach(::CreateBitmap(width, height, planes, bitsPerPixel, bits));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height)
{
    return Attach(::CreateCompatibleBitmap(dc ? dc->m_hDC : nullptr, width, height));
}

int CBitmap::GetBitmap(BITMAP* bitmap) const
{
    return ::GetObject(m_hObject, sizeof(BITMAP), bitmap);
}

CSize CBitmap::SetBitmapDimension(int width, int height)
{
    SIZE old{};
    ::SetBitmapDimensionEx(*this, width, height, &old);
    return old;
}

CSize CBitmap::GetBitmapDimension() const
{
    SIZE size{};
    ::GetBitmapDimensionEx(*this, &size);
    return size;
}

CRgn* CRgn::FromHandle(HRGN region)
{
    return TempFor<CRgn>(region);
}

BOOL CRgn::CreateRectRgn(int left, int top, int right, int bottom)
{
    return Attach(::CreateRectRgn(left, top, right, bottom));
}

BOOL CRgn::CreateRectRgnIndirect(LPCRECT rect)
{
    return Attach(::CreateRectRgnIndirect(rect));
}

BOOL CRgn::CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height)
{
    return Attach(::CreateRoundRectRgn(left, top, right, bottom, width, height));
}

BOOL CRgn::CreateEllipticRgn(int left, int top, int right, int bottom)
{
    return Attach(::CreateEllipticRgn(left, top, right, bottom));
}

BOOL CRgn::CreatePolygonRgn(const POINT* points, int count, int fillMode)
{
    return Attach(::CreatePolygonRgn(points, count, fillMode));
}

int CRgn::CombineRgn(const CRgn* a, const CRgn* b, int mode)
{
    return ::CombineRgn(*this, a ? static_cast<HRGN>(*a) : nullptr, b ? static_cast<HRGN>(*b) : nullptr,
                        mode);
}

int CRgn::CopyRgn(const CRgn* source)
{
    return ::CombineRgn(*this, source ? static_cast<HRGN>(*source) : nullptr, nullptr, RGN_COPY);
}

int CRgn::OffsetRgn(int dx, int dy)
{
    return ::OffsetRgn(*this, dx, dy);
}

int CRgn::OffsetRgn(POINT offset)
{
    return ::OffsetRgn(*this, offset.x, offset.y);
}

void CRgn::SetRectRgn(int left, int top, int right, int bottom)
{
    ::SetRectRgn(*this, left, top, right, bottom);
}

void CRgn::SetRectRgn(LPCRECT rect)
{
    ::SetRectRgn(*this, rect->left, rect->top, rect->right, rect->bottom);
}

BOOL CRgn::PtInRegion(int x, int y) const
{
    return ::PtInRegion(*this, x, y);
}

BOOL CRgn::PtInRegion(POINT point) const
{
    return ::PtInRegion(*this, point.x, point.y);
}

BOOL CRgn::RectInRegion(LPCRECT rect) const
{
    return ::RectInRegion(*this, rect);
}

int CRgn::GetRgnBox(LPRECT rect) const
{
    return ::GetRgnBox(*this, rect);
}

BOOL CRgn::EqualRgn(const CRgn* other) const
{
    return other ? ::EqualRgn(*this, *other) : FALSE;
}

// ---------------------------------------------------------------------------------------------------------
// Device contexts
// ---------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CDC, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)
IMPLEMENT_DYNAMIC(CClientDC, CDC)
IMPLEMENT_DYNAMIC(CWindowDC, CDC)

CDC::~CDC()
{
    if (m_hDC)
        ::DeleteDC(m_hDC);
}

CDC* CDC::FromHandle(HDC dc)
{
    if (!dc)
        return nullptr;
    InstallHook();
    std::lock_guard lock(g_tempLock);
    auto& slot = g_temp[dc];
    if (!slot)
    {
        auto wrapper = std::make_unique<CTempDC>();
        wrapper->m_hDC = wrapper->m_hAttribDC = dc;
        slot = std::move(wrapper);
    }
    return static_cast<CDC*>(slot.get());
}

BOOL CDC::Attach(HDC dc)
{
    if (!dc || m_hDC)
        return FALSE;
    m_hDC = m_hAttribDC = dc;
    return TRUE;
}

HDC CDC::Detach()
{
    HDC dc = m_hDC;
    m_hDC = m_hAttribDC = nullptr;
    return dc;
}

BOOL CDC::CreateCompatibleDC(CDC* dc)
{
    return Attach(::CreateCompatibleDC(dc ? dc->m_hDC : nullptr));
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    return ::DeleteDC(Detach());
}

int CDC::SaveDC()
{
    return ::SaveDC(m_hDC);
}

BOOL CDC::RestoreDC(int saved)
{
    return ::RestoreDC(m_hDC, saved);
}

int CDC::GetDeviceCaps(int index) const
{
    return ::GetDeviceCaps(m_hDC, index);
}

CWnd* CDC::GetWindow() const
{
    return CWnd::FromHandle(::WindowFromDC(m_hDC));
}

CPen* CDC::SelectObject(CPen* pen)
{
    return CPen::FromHandle(static_cast<HPEN>(::SelectObject(m_hDC, pen ? pen->m_hObject : nullptr)));
}

CBrush* CDC::SelectObject(CBrush* brush)
{
    return CBrush::FromHandle(static_cast<HBRUSH>(::SelectObject(m_hDC, brush ? brush->m_hObject : nullptr)));
}

CFont* CDC::SelectObject(CFont* font)
{
    return CFont::FromHandle(static_cast<HFONT>(::SelectObject(m_hDC, font ? font->m_hObject : nullptr)));
}

CBitmap* CDC::SelectObject(CBitmap* bitmap)
{
    return CBitmap::FromHandle(
        static_cast<HBITMAP>(::SelectObject(m_hDC, bitmap ? bitmap->m_hObject : nullptr)));
}

int CDC::SelectObject(CRgn* region)
{
    return static_cast<int>(
        reinterpret_cast<std::intptr_t>(::SelectObject(m_hDC, region ? region->m_hObject : nullptr)));
}

CGdiObject* CDC::SelectObject(CGdiObject* object)
{
    return CGdiObject::FromHandle(::SelectObject(m_hDC, object ? object->m_hObject : nullptr));
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object)
{
    return ::SelectObject(m_hDC, object);
}

CGdiObject* CDC::SelectStockObject(int index)
{
    return CGdiObject::FromHandle(::SelectObject(m_hDC, ::GetStockObject(index)));
}

CPen* CDC::GetCurrentPen() const
{
    return CPen::FromHandle(static_cast<HPEN>(::GetCurrentObject(m_hDC, OBJ_PEN)));
}

CBrush* CDC::GetCurrentBrush() const
{
    return CBrush::FromHandle(static_cast<HBRUSH>(::GetCurrentObject(m_hDC, OBJ_BRUSH)));
}

CFont* CDC::GetCurrentFont() const
{
    return CFont::FromHandle(static_cast<HFONT>(::GetCurrentObject(m_hDC, OBJ_FONT)));
}

CBitmap* CDC::GetCurrentBitmap() const
{
    return CBitmap::FromHandle(static_cast<HBITMAP>(::GetCurrentObject(m_hDC, OBJ_BITMAP)));
}

COLORREF CDC::SetTextColor(COLORREF color)
{
    return ::SetTextColor(m_hDC, color);
}

COLORREF CDC::GetTextColor() const
{
    return ::GetTextColor(m_hDC);
}

COLORREF CDC::SetBkColor(COLORREF color)
{
    return ::SetBkColor(m_hDC, color);
}

COLORREF CDC::GetBkColor() const
{
    return ::GetBkColor(m_hDC);
}

int CDC::SetBkMode(int mode)
{
    return ::SetBkMode(m_hDC, mode);
}

int CDC::GetBkMode() const
{
    return ::GetBkMode(m_hDC);
}

UINT CDC::SetTextAlign(UINT align)
{
    return ::SetTextAlign(m_hDC, align);
}

UINT CDC::GetTextAlign() const
{
    return ::GetTextAlign(m_hDC);
}

int CDC::SetROP2(int mode)
{
    return ::SetROP2(m_hDC, mode);
}

int CDC::SetStretchBltMode(int mode)
{
    return ::SetStretchBltMode(m_hDC, mode);
}

DWORD CDC::SetLayout(DWORD layout)
{
    return ::SetLayout(m_hDC, layout);
}

DWORD CDC::GetLayout() const
{
    return ::GetLayout(m_hDC);
}

CPoint CDC::SetViewportOrg(int x, int y)
{
    POINT old{};
    ::SetViewportOrgEx(m_hDC, x, y, &old);
    return old;
}

CPoint CDC::SetViewportOrg(POINT point)
{
    return SetViewportOrg(point.x, point.y);
}

CPoint CDC::GetViewportOrg() const
{
    POINT p{};
    ::GetViewportOrgEx(m_hDC, &p);
    return p;
}

CPoint CDC::OffsetViewportOrg(int dx, int dy)
{
    POINT old{};
    ::OffsetViewportOrgEx(m_hDC, dx, dy, &old);
    return old;
}

CPoint CDC::SetWindowOrg(int x, int y)
{
    POINT old{};
    ::SetWindowOrgEx(m_hDC, x, y, &old);
    return old;
}

CPoint CDC::SetWindowOrg(POINT point)
{
    return SetWindowOrg(point.x, point.y);
}

CPoint CDC::GetWindowOrg() const
{
    POINT p{};
    ::GetWindowOrgEx(m_hDC, &p);
    return p;
}

void CDC::LPtoDP(LPPOINT points, int count) const
{
    ::LPtoDP(m_hDC, points, count);
}

void CDC::LPtoDP(LPRECT rect) const
{
    ::LPtoDP(m_hDC, reinterpret_cast<LPPOINT>(rect), 2);
}

void CDC::DPtoLP(LPPOINT points, int count) const
{
    ::DPtoLP(m_hDC, points, count);
}

void CDC::DPtoLP(LPRECT rect) const
{
    ::DPtoLP(m_hDC, reinterpret_cast<LPPOINT>(rect), 2);
}

int CDC::GetClipBox(LPRECT rect) const
{
    return ::GetClipBox(m_hDC, rect);
}

int CDC::SelectClipRgn(CRgn* region)
{
    return ::SelectClipRgn(m_hDC, region ? static_cast<HRGN>(*region) : nullptr);
}

int CDC::SelectClipRgn(CRgn* region, int mode)
{
    return ::ExtSelectClipRgn(m_hDC, region ? static_cast<HRGN>(*region) : nullptr, mode);
}

int CDC::IntersectClipRect(int left, int top, int right, int bottom)
{
    return ::IntersectClipRect(m_hDC, left, top, right, bottom);
}

int CDC::IntersectClipRect(LPCRECT rect)
{
    return ::IntersectClipRect(m_hDC, rect->left, rect->top, rect->right, rect->bottom);
}

int CDC::ExcludeClipRect(int left, int top, int right, int bottom)
{
    return ::ExcludeClipRect(m_hDC, left, top, right, bottom);
}

int CDC::ExcludeClipRect(LPCRECT rect)
{
    return ::ExcludeClipRect(m_hDC, rect->left, rect->top, rect->right, rect->bottom);
}

CPoint CDC::MoveTo(int x, int y)
{
    POINT old{};
    ::MoveToEx(m_hDC, x, y, &old);
    return old;
}

CPoint CDC::MoveTo(POINT point)
{
    return MoveTo(point.x, point.y);
}

BOOL CDC::LineTo(int x, int y)
{
    return ::LineTo(m_hDC, x, y);
}

BOOL CDC::LineTo(POINT point)
{
    return ::LineTo(m_hDC, point.x, point.y);
}

BOOL CDC::Rectangle(int left, int top, int right, int bottom)
{
    return ::Rectangle(m_hDC, left, top, right, bottom);
}

BOOL CDC::Rectangle(LPCRECT rect)
{
    return ::Rectangle(m_hDC, rect->left, rect->top, rect->right, rect->bottom);
}

BOOL CDC::RoundRect(int left, int top, int right, int bottom, int width, int height)
{
    return ::RoundRect(m_hDC, left, top, right, bottom, width, height);
}

BOOL CDC::Ellipse(int left, int top, int right, int bottom)
{
    return ::Ellipse(m_hDC, left, top, right, bottom);
}

BOOL CDC::Ellipse(LPCRECT rect)
{
    return ::Ellipse(m_hDC, rect->left, rect->top, rect->right, rect->bottom);
}

BOOL CDC::Polygon(const POINT* points, int count)
{
    return ::Polygon(m_hDC, points, count);
}

BOOL CDC::Polyline(const POINT* points, int count)
{
    return ::Polyline(m_hDC, points, count);
}

void CDC::FillRect(LPCRECT rect, CBrush* brush)
{
    ::FillRect(m_hDC, rect, brush ? static_cast<HBRUSH>(*brush) : nullptr);
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color)
{
    ::SetBkColor(m_hDC, color);
    ::ExtTextOut(m_hDC, 0, 0, ETO_OPAQUE, rect, nullptr, 0, nullptr);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color)
{
    const RECT r{x, y, x + cx, y + cy};
    FillSolidRect(&r, color);
}

void CDC::FrameRect(LPCRECT rect, CBrush* brush)
{
    ::FrameRect(m_hDC, rect, brush ? static_cast<HBRUSH>(*brush) : nullptr);
}

void CDC::InvertRect(LPCRECT rect)
{
    ::InvertRect(m_hDC, rect);
}

void CDC::Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight)
{
    Draw3dRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, topLeft,
               bottomRight);
}

void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight)
{
    FillSolidRect(x, y, cx - 1, 1, topLeft);
    FillSolidRect(x, y, 1, cy - 1, topLeft);
    FillSolidRect(x + cx, y, -1, cy, bottomRight);
    FillSolidRect(x, y + cy, cx, -1, bottomRight);
}

BOOL CDC::DrawEdge(LPRECT rect, UINT edge, UINT flags)
{
    return ::DrawEdge(m_hDC, rect, edge, flags);
}

void CDC::DrawFocusRect(LPCRECT rect)
{
    ::DrawFocusRect(m_hDC, rect);
}

BOOL CDC::FillRgn(CRgn* region, CBrush* brush)
{
    return region && brush ? ::FillRgn(m_hDC, *region, *brush) : FALSE;
}

BOOL CDC::FrameRgn(CRgn* region, CBrush* brush, int width, int height)
{
    return region && brush ? ::FrameRgn(m_hDC, *region, *brush, width, height) : FALSE;
}

BOOL CDC::PaintRgn(CRgn* region)
{
    return region ? ::PaintRgn(m_hDC, *region) : FALSE;
}

COLORREF CDC::GetPixel(int x, int y) const
{
    return ::GetPixel(m_hDC, x, y);
}

COLORREF CDC::GetPixel(POINT point) const
{
    return ::GetPixel(m_hDC, point.x, point.y);
}

COLORREF CDC::SetPixel(int x, int y, COLORREF color)
{
    return ::SetPixel(m_hDC, x, y, color);
}

COLORREF CDC::SetPixel(POINT point, COLORREF color)
{
    return ::SetPixel(m_hDC, point.x, point.y, color);
}

BOOL CDC::PatBlt(int x, int y, int width, int height, DWORD rop)
{
    return ::PatBlt(m_hDC, x, y, width, height, rop);
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, DWORD rop)
{
    return ::BitBlt(m_hDC, x, y, width, height, src ? src->m_hDC : nullptr, xSrc, ySrc, rop);
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, int wSrc, int hSrc,
                     DWORD rop)
{
    return ::StretchBlt(m_hDC, x, y, width, height, src ? src->m_hDC : nullptr, xSrc, ySrc, wSrc, hSrc, rop);
}

BOOL CDC::AlphaBlend(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, int wSrc, int hSrc,
                     BLENDFUNCTION blend)
{
    return ::AlphaBlend(m_hDC, x, y, width, height, src ? src->m_hDC : nullptr, xSrc, ySrc, wSrc, hSrc,
                        blend);
}

BOOL CDC::TransparentBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, int wSrc,
                         int hSrc, UINT transparent)
{
    return ::TransparentBlt(m_hDC, x, y, width, height, src ? src->m_hDC : nullptr, xSrc, ySrc, wSrc, hSrc,
                            transparent);
}

BOOL CDC::GradientFill(TRIVERTEX* vertices, ULONG count, void* mesh, ULONG meshCount, DWORD mode)
{
    return ::GradientFill(m_hDC, vertices, count, mesh, meshCount, mode);
}

int CDC::DrawText(LPCTSTR text, int count, LPRECT rect, UINT format)
{
    return ::DrawText(m_hDC, text, count, rect, format);
}

int CDC::DrawText(const CString& text, LPRECT rect, UINT format)
{
    return ::DrawText(m_hDC, text, text.GetLength(), rect, format);
}

BOOL CDC::TextOut(int x, int y, LPCTSTR text, int count)
{
    return ::TextOut(m_hDC, x, y, text, count);
}

BOOL CDC::TextOut(int x, int y, const CString& text)
{
    return ::TextOut(m_hDC, x, y, text, text.GetLength());
}

BOOL CDC::ExtTextOut(int x, int y, UINT options, LPCRECT rect, LPCTSTR text, UINT count, LPINT dx)
{
    return ::ExtTextOut(m_hDC, x, y, options, rect, text, count, dx);
}

CSize CDC::GetTextExtent(LPCTSTR text, int count) const
{
    SIZE size{};
    ::GetTextExtentPoint32(m_hAttribDC ? m_hAttribDC : m_hDC, text, count, &size);
    return size;
}

CSize CDC::GetTextExtent(const CString& text) const
{
    return GetTextExtent(text, text.GetLength());
}

BOOL CDC::GetTextMetrics(LPTEXTMETRIC metrics) const
{
    return ::GetTextMetrics(m_hAttribDC ? m_hAttribDC : m_hDC, metrics);
}

int CDC::GetTextFace(int size, LPTSTR face) const
{
    return ::GetTextFace(m_hDC, size, face);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC()
{
    if (m_hDC)
    {
        Detach();
        ::EndPaint(m_hWnd, &m_ps);
    }
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    Attach(::GetDC(m_hWnd));
}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, Detach());
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    Attach(::GetWindowDC(m_hWnd));
}

CWindowDC::~CWindowDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, Detach());
}
