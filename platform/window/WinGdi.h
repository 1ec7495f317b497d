#pragma once

#include "platform/win/Dib.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// GDI over QPainter: device contexts, pens, brushes, fonts, bitmaps and DIB sections, regions, text,
/// block transfers with raster operations, alpha blending, colour keys and layered windows.
///
/// Handles are validated: a stale or foreign handle makes a call fail (FALSE, NULL or GDI_ERROR) without
/// harm. Objects may be made and used on any thread; one DC is used by one thread at a time, and window DCs
/// (GetDC, BeginPaint) belong to the user-interface thread. A 32-bit bitmap holds premultiplied BGRA in the
/// byte order of a Windows DIB; a DIB section's pixel pointer stays valid until the bitmap is deleted and
/// no longer selected into a DC, and rows run bottom-up for a positive height, as in Windows.
///
/// Fonts: faces resolve through fontconfig with the substitutions of the system's look: "Arial" →
/// Liberation Sans, "Times New Roman" → Liberation Serif, "Courier New" → Liberation Mono, "Tahoma", "MS
/// Shell Dlg" and "MS Sans Serif" → Wine's Tahoma where installed, else DejaVu Sans.

using COLOR16 = std::uint16_t;

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
constexpr int GDI_ERROR = -1;
#define HGDI_ERROR (reinterpret_cast<HGDIOBJ>(static_cast<LONG_PTR>(-1)))

// Raster operations.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGECOPY = 0x00C000CA;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATPAINT = 0x00FB0A09;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
constexpr DWORD NOMIRRORBITMAP = 0x80000000;
constexpr DWORD CAPTUREBLT = 0x40000000;

constexpr int R2_BLACK = 1;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_COPYPEN = 13;
constexpr int R2_WHITE = 16;

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

constexpr int MM_TEXT = 1;

constexpr DWORD LAYOUT_RTL = 0x00000001;
constexpr DWORD LAYOUT_BITMAPORIENTATIONPRESERVED = 0x00000008;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int OEM_FIXED_FONT = 10;
constexpr int ANSI_FIXED_FONT = 11;
constexpr int ANSI_VAR_FONT = 12;
constexpr int SYSTEM_FONT = 13;
constexpr int DEVICE_DEFAULT_FONT = 14;
constexpr int DEFAULT_PALETTE = 15;
constexpr int SYSTEM_FIXED_FONT = 16;
constexpr int DEFAULT_GUI_FONT = 17;
constexpr int DC_BRUSH = 18;
constexpr int DC_PEN = 19;

// Object types (GetObjectType).
constexpr DWORD OBJ_PEN = 1;
constexpr DWORD OBJ_BRUSH = 2;
constexpr DWORD OBJ_DC = 3;
constexpr DWORD OBJ_PAL = 5;
constexpr DWORD OBJ_FONT = 6;
constexpr DWORD OBJ_BITMAP = 7;
constexpr DWORD OBJ_REGION = 8;
constexpr DWORD OBJ_MEMDC = 10;

// Pens and brushes.
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_DASHDOT = 3;
constexpr int PS_DASHDOTDOT = 4;
constexpr int PS_NULL = 5;
constexpr int PS_INSIDEFRAME = 6;
constexpr int PS_STYLE_MASK = 0x0000000F;
constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = BS_NULL;
constexpr UINT BS_HATCHED = 2;
constexpr UINT BS_PATTERN = 3;
constexpr int HS_HORIZONTAL = 0;
constexpr int HS_VERTICAL = 1;
constexpr int HS_FDIAGONAL = 2;
constexpr int HS_BDIAGONAL = 3;
constexpr int HS_CROSS = 4;
constexpr int HS_DIAGCROSS = 5;

// Fonts.
constexpr int LF_FACESIZE = 32;
constexpr int FW_DONTCARE = 0;
constexpr int FW_THIN = 100;
constexpr int FW_EXTRALIGHT = 200;
constexpr int FW_LIGHT = 300;
constexpr int FW_NORMAL = 400;
constexpr int FW_REGULAR = 400;
constexpr int FW_MEDIUM = 500;
constexpr int FW_SEMIBOLD = 600;
constexpr int FW_BOLD = 700;
constexpr int FW_EXTRABOLD = 800;
constexpr int FW_HEAVY = 900;
constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE SYMBOL_CHARSET = 2;
constexpr BYTE SHIFTJIS_CHARSET = 128;
constexpr BYTE HANGUL_CHARSET = 129;
constexpr BYTE GB2312_CHARSET = 134;
constexpr BYTE CHINESEBIG5_CHARSET = 136;
constexpr BYTE GREEK_CHARSET = 161;
constexpr BYTE TURKISH_CHARSET = 162;
constexpr BYTE HEBREW_CHARSET = 177;
constexpr BYTE ARABIC_CHARSET = 178;
constexpr BYTE BALTIC_CHARSET = 186;
constexpr BYTE RUSSIAN_CHARSET = 204;
constexpr BYTE EASTEUROPE_CHARSET = 238;
constexpr BYTE OEM_CHARSET = 255;
constexpr BYTE OUT_DEFAULT_PRECIS = 0;
constexpr BYTE OUT_TT_PRECIS = 4;
constexpr BYTE OUT_TT_ONLY_PRECIS = 7;
constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE DRAFT_QUALITY = 1;
constexpr BYTE PROOF_QUALITY = 2;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE ANTIALIASED_QUALITY = 4;
constexpr BYTE CLEARTYPE_QUALITY = 5;
constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FIXED_PITCH = 1;
constexpr BYTE VARIABLE_PITCH = 2;
constexpr BYTE FF_DONTCARE = 0x00;
constexpr BYTE FF_ROMAN = 0x10;
constexpr BYTE FF_SWISS = 0x20;
constexpr BYTE FF_MODERN = 0x30;
constexpr BYTE FF_SCRIPT = 0x40;
constexpr BYTE FF_DECORATIVE = 0x50;

// Text.
constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004;
constexpr UINT DT_BOTTOM = 0x00000008;
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_EXPANDTABS = 0x00000040;
constexpr UINT DT_TABSTOP = 0x00000080;
constexpr UINT DT_NOCLIP = 0x00000100;
constexpr UINT DT_EXTERNALLEADING = 0x00000200;
constexpr UINT DT_CALCRECT = 0x00000400;
constexpr UINT DT_NOPREFIX = 0x00000800;
constexpr UINT DT_INTERNAL = 0x00001000;
constexpr UINT DT_EDITCONTROL = 0x00002000;
constexpr UINT DT_PATH_ELLIPSIS = 0x00004000;
constexpr UINT DT_END_ELLIPSIS = 0x00008000;
constexpr UINT DT_MODIFYSTRING = 0x00010000;
constexpr UINT DT_RTLREADING = 0x00020000;
constexpr UINT DT_WORD_ELLIPSIS = 0x00040000;
constexpr UINT DT_NOFULLWIDTHCHARBREAK = 0x00080000;
constexpr UINT DT_HIDEPREFIX = 0x00100000;
constexpr UINT DT_PREFIXONLY = 0x00200000;
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
constexpr UINT TA_RTLREADING = 256;
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;

// Regions.
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;
// Polygon fill modes.
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;

// Bitmaps.
constexpr DWORD BI_JPEG = 4;
constexpr DWORD BI_PNG = 5;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;
constexpr DWORD CBM_INIT = 0x04;

// Device capabilities.
constexpr int DRIVERVERSION = 0;
constexpr int TECHNOLOGY = 2;
constexpr int HORZSIZE = 4;
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int DT_RASDISPLAY = 1;

// Blending and gradients.
constexpr BYTE AC_SRC_OVER = 0x00;
constexpr BYTE AC_SRC_ALPHA = 0x01;
constexpr ULONG GRADIENT_FILL_RECT_H = 0x00000000;
constexpr ULONG GRADIENT_FILL_RECT_V = 0x00000001;
constexpr ULONG GRADIENT_FILL_TRIANGLE = 0x00000002;

// Layered windows.
constexpr DWORD ULW_COLORKEY = 0x00000001;
constexpr DWORD ULW_ALPHA = 0x00000002;
constexpr DWORD ULW_OPAQUE = 0x00000004;
constexpr DWORD LWA_COLORKEY = 0x00000001;
constexpr DWORD LWA_ALPHA = 0x00000002;

// DrawEdge and frames.
constexpr UINT BDR_RAISEDOUTER = 0x0001;
constexpr UINT BDR_SUNKENOUTER = 0x0002;
constexpr UINT BDR_RAISEDINNER = 0x0004;
constexpr UINT BDR_SUNKENINNER = 0x0008;
constexpr UINT EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr UINT EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr UINT BF_LEFT = 0x0001;
constexpr UINT BF_TOP = 0x0002;
constexpr UINT BF_RIGHT = 0x0004;
constexpr UINT BF_BOTTOM = 0x0008;
constexpr UINT BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr UINT BF_ADJUST = 0x2000;

struct LOGFONTA
{
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
};
using LOGFONT = LOGFONTA;
using LPLOGFONT = LOGFONT*;

struct LOGPEN
{
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
};
using LPLOGPEN = LOGPEN*;

struct LOGBRUSH
{
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
};

struct TEXTMETRICA
{
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};
using TEXTMETRIC = TEXTMETRICA;
using LPTEXTMETRIC = TEXTMETRIC*;

struct BITMAP
{
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

struct DIBSECTION
{
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
};

struct BLENDFUNCTION
{
    BYTE BlendOp;
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;
};

struct TRIVERTEX
{
    LONG x;
    LONG y;
    COLOR16 Red;
    COLOR16 Green;
    COLOR16 Blue;
    COLOR16 Alpha;
};

struct GRADIENT_RECT
{
    ULONG UpperLeft;
    ULONG LowerRight;
};

/// Multiplies and divides with 64-bit intermediate, rounding half away from zero; -1 for a zero divisor.
PLATFORM_API int MulDiv(int number, int numerator, int denominator);

// Device contexts.
PLATFORM_API HDC CreateCompatibleDC(HDC dc);
PLATFORM_API BOOL DeleteDC(HDC dc);
PLATFORM_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
PLATFORM_API HGDIOBJ GetCurrentObject(HDC dc, UINT type);
PLATFORM_API int SaveDC(HDC dc);
PLATFORM_API BOOL RestoreDC(HDC dc, int saved);
PLATFORM_API int GetDeviceCaps(HDC dc, int index);
PLATFORM_API COLORREF SetTextColor(HDC dc, COLORREF color);
PLATFORM_API COLORREF GetTextColor(HDC dc);
PLATFORM_API COLORREF SetBkColor(HDC dc, COLORREF color);
PLATFORM_API COLORREF GetBkColor(HDC dc);
PLATFORM_API int SetBkMode(HDC dc, int mode);
PLATFORM_API int GetBkMode(HDC dc);
PLATFORM_API UINT SetTextAlign(HDC dc, UINT align);
PLATFORM_API UINT GetTextAlign(HDC dc);
PLATFORM_API int SetROP2(HDC dc, int rop2);
PLATFORM_API int SetStretchBltMode(HDC dc, int mode);
PLATFORM_API int GetStretchBltMode(HDC dc);
PLATFORM_API int SetMapMode(HDC dc, int mode);
PLATFORM_API DWORD SetLayout(HDC dc, DWORD layout);
PLATFORM_API DWORD GetLayout(HDC dc);
PLATFORM_API COLORREF SetDCBrushColor(HDC dc, COLORREF color);
PLATFORM_API COLORREF SetDCPenColor(HDC dc, COLORREF color);
PLATFORM_API BOOL SetViewportOrgEx(HDC dc, int x, int y, LPPOINT old);
PLATFORM_API BOOL GetViewportOrgEx(HDC dc, LPPOINT origin);
PLATFORM_API BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, LPPOINT old);
PLATFORM_API BOOL SetWindowOrgEx(HDC dc, int x, int y, LPPOINT old);
PLATFORM_API BOOL GetWindowOrgEx(HDC dc, LPPOINT origin);
PLATFORM_API BOOL MoveToEx(HDC dc, int x, int y, LPPOINT old);
PLATFORM_API BOOL LineTo(HDC dc, int x, int y);
PLATFORM_API BOOL GetCurrentPositionEx(HDC dc, LPPOINT point);
PLATFORM_API BOOL LPtoDP(HDC dc, LPPOINT points, int count);
PLATFORM_API BOOL DPtoLP(HDC dc, LPPOINT points, int count);

// Clipping (regions in device coordinates, rectangles in logical ones).
PLATFORM_API int SelectClipRgn(HDC dc, HRGN region);
PLATFORM_API int ExtSelectClipRgn(HDC dc, HRGN region, int mode);
PLATFORM_API int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
PLATFORM_API int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
PLATFORM_API int GetClipBox(HDC dc, LPRECT rect);
PLATFORM_API int GetClipRgn(HDC dc, HRGN region);

// Objects.
PLATFORM_API HGDIOBJ GetStockObject(int index);
PLATFORM_API BOOL DeleteObject(HGDIOBJ object);
PLATFORM_API int GetObject(HGDIOBJ object, int size, LPVOID buffer);
PLATFORM_API DWORD GetObjectType(HGDIOBJ object);
PLATFORM_API HPEN CreatePen(int style, int width, COLORREF color);
PLATFORM_API HPEN CreatePenIndirect(const LOGPEN* pen);
PLATFORM_API HBRUSH CreateSolidBrush(COLORREF color);
PLATFORM_API HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);
PLATFORM_API HBRUSH CreateHatchBrush(int hatch, COLORREF color);
PLATFORM_API HBRUSH CreatePatternBrush(HBITMAP bitmap);
PLATFORM_API HFONT CreateFontIndirect(const LOGFONTA* font);
PLATFORM_API HFONT CreateFont(int height, int width, int escapement, int orientation, int weight,
                              DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                              DWORD outPrecision, DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily,
                              LPCSTR face);

// Bitmaps.
PLATFORM_API HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
/// A bitmap of `bitsPerPixel` 1, 24 or 32, filled from `bits` (rows of WORD-aligned width) when given.
PLATFORM_API HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
/// A 24- or 32-bit DIB section (BI_RGB, or BI_BITFIELDS with the standard masks), zero-filled; `bits`
/// receives the pixel pointer. Other formats fail with ERROR_INVALID_PARAMETER.
PLATFORM_API HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                      DWORD offset);
PLATFORM_API HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                                    const BITMAPINFO* info, UINT usage);
/// Copies rows of the bitmap into `bits` in the layout `info` asks for (24 or 32 bits, either row order);
/// with `bits` null fills in the header of the bitmap's own format.
PLATFORM_API int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info,
                           UINT usage);
PLATFORM_API int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits,
                           const BITMAPINFO* info, UINT usage);
PLATFORM_API int StretchDIBits(HDC dc, int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc, int wSrc,
                               int hSrc, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);
PLATFORM_API int SetDIBitsToDevice(HDC dc, int xDst, int yDst, DWORD w, DWORD h, int xSrc, int ySrc,
                                   UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info,
                                   UINT usage);
PLATFORM_API BOOL SetBitmapDimensionEx(HBITMAP bitmap, int width, int height, SIZE* old);
PLATFORM_API BOOL GetBitmapDimensionEx(HBITMAP bitmap, SIZE* size);
PLATFORM_API COLORREF GetPixel(HDC dc, int x, int y);
PLATFORM_API COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);

// Drawing.
PLATFORM_API int FillRect(HDC dc, LPCRECT rect, HBRUSH brush);
PLATFORM_API int FrameRect(HDC dc, LPCRECT rect, HBRUSH brush);
PLATFORM_API BOOL InvertRect(HDC dc, LPCRECT rect);
PLATFORM_API BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
PLATFORM_API BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height);
PLATFORM_API BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
PLATFORM_API BOOL Polygon(HDC dc, const POINT* points, int count);
PLATFORM_API BOOL Polyline(HDC dc, const POINT* points, int count);
PLATFORM_API BOOL DrawEdge(HDC dc, LPRECT rect, UINT edge, UINT flags);
PLATFORM_API BOOL DrawFocusRect(HDC dc, LPCRECT rect);
PLATFORM_API BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
PLATFORM_API BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc,
                         DWORD rop);
PLATFORM_API BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc,
                             int wSrc, int hSrc, DWORD rop);
/// Blends the source over the destination: with AC_SRC_ALPHA the source is premultiplied BGRA, scaled by
/// SourceConstantAlpha; without it every source pixel has the constant alpha.
PLATFORM_API BOOL AlphaBlend(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc,
                             int wSrc, int hSrc, BLENDFUNCTION blend);
/// Copies (stretching when the sizes differ) every source pixel except those of colour `transparent`.
PLATFORM_API BOOL TransparentBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc,
                                 int wSrc, int hSrc, UINT transparent);
PLATFORM_API BOOL GradientFill(HDC dc, TRIVERTEX* vertices, ULONG count, PVOID mesh, ULONG meshCount,
                               ULONG mode);

// Text.
/// Draws `text` (UTF-8; `count` bytes, -1 for all) in `rect` with the DT_ flags; returns the height of the
/// text. DT_CALCRECT only measures, widening or heightening `rect`.
PLATFORM_API int DrawText(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format);
PLATFORM_API BOOL TextOut(HDC dc, int x, int y, LPCSTR text, int count);
PLATFORM_API BOOL ExtTextOut(HDC dc, int x, int y, UINT options, LPCRECT rect, LPCSTR text, UINT count,
                             const INT* dx);
PLATFORM_API BOOL GetTextExtentPoint32(HDC dc, LPCSTR text, int count, SIZE* size);
PLATFORM_API BOOL GetTextMetrics(HDC dc, LPTEXTMETRIC metrics);
PLATFORM_API int GetTextFace(HDC dc, int size, LPSTR face);

// Regions.
PLATFORM_API HRGN CreateRectRgn(int left, int top, int right, int bottom);
PLATFORM_API HRGN CreateRectRgnIndirect(LPCRECT rect);
PLATFORM_API HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
PLATFORM_API HRGN CreateEllipticRgn(int left, int top, int right, int bottom);
PLATFORM_API HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode);
PLATFORM_API int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode);
PLATFORM_API int OffsetRgn(HRGN region, int dx, int dy);
PLATFORM_API BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom);
PLATFORM_API BOOL PtInRegion(HRGN region, int x, int y);
PLATFORM_API BOOL RectInRegion(HRGN region, LPCRECT rect);
PLATFORM_API int GetRgnBox(HRGN region, LPRECT rect);
PLATFORM_API BOOL EqualRgn(HRGN a, HRGN b);
PLATFORM_API BOOL FillRgn(HDC dc, HRGN region, HBRUSH brush);
PLATFORM_API BOOL FrameRgn(HDC dc, HRGN region, HBRUSH brush, int width, int height);
PLATFORM_API BOOL PaintRgn(HDC dc, HRGN region);

// Layered windows.
/// Gives a WS_EX_LAYERED window its picture from `src` (premultiplied with ULW_ALPHA, keyed with
/// ULW_COLORKEY) and moves or sizes it to `position`/`size` when given. Without a compositing manager the
/// window is cut to the picture's opaque pixels instead.
PLATFORM_API BOOL UpdateLayeredWindow(HWND hwnd, HDC screen, POINT* position, SIZE* size, HDC src,
                                      POINT* srcPoint, COLORREF key, BLENDFUNCTION* blend, DWORD flags);
/// Makes pixels of colour `key` transparent (LWA_COLORKEY) and/or the whole window `alpha`-opaque
/// (LWA_ALPHA) for a WS_EX_LAYERED window that paints itself.
PLATFORM_API BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags);
PLATFORM_API BOOL GetLayeredWindowAttributes(HWND hwnd, COLORREF* key, BYTE* alpha, DWORD* flags);
