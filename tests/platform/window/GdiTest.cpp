#include "WindowTestSupport.h"

#include "tests/support/ScaledPicture.h"

#include <QFont>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPixmap>
#include <QRegion>

#include <cstring>
#include <ostream>
#include <vector>

using namespace window_test;

namespace
{
/// A memory DC with a 32-bit top-down DIB section of its own, filled with one colour.
struct Canvas
{
    Canvas(int w, int h, COLORREF fill = RGB(255, 255, 255), bool bottomUp = false) : width(w), height(h)
    {
        BITMAPINFO bmi = Dib32Info(w, bottomUp ? h : -h);
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        old = SelectObject(dc, bitmap);
        Fill(fill);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Fill(COLORREF c, RECT r)
    {
        HBRUSH b = CreateSolidBrush(c);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    void Fill(COLORREF c) { Fill(c, RECT{0, 0, width, height}); }
    /// Sets one pixel's bytes directly, premultiplied BGRA as a DIB holds them.
    void Put(int x, int y, BYTE b, BYTE g, BYTE r, BYTE a)
    {
        BYTE* p = bits + (static_cast<std::size_t>(y) * width + x) * 4;
        p[0] = b;
        p[1] = g;
        p[2] = r;
        p[3] = a;
    }
    int Ink(RECT r) const
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += GetRValue(GetPixel(dc, x, y)) < 128 ? 1 : 0;
        return n;
    }
    int width, height;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    BYTE* bits = nullptr;
};

int Near(int actual, int expected)
{
    return std::abs(actual - expected);
}
} // namespace

class GdiTest : public WindowFixture
{
};

TEST_F(GdiTest, RectangleWithoutAPenStopsOnePixelShortAndLinesLeaveTheirLastPixel)
{
    Canvas c(10, 10);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(c.dc, red);
    Rectangle(c.dc, 2, 2, 6, 6);
    EXPECT_EQ(GetPixel(c.dc, 2, 2), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 4, 4), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 5, 5), RGB(255, 255, 255));

    c.Fill(RGB(255, 255, 255));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    Rectangle(c.dc, 2, 2, 6, 6);
    EXPECT_EQ(GetPixel(c.dc, 5, 5), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 3, 3), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 6, 6), RGB(255, 255, 255));

    c.Fill(RGB(255, 255, 255));
    MoveToEx(c.dc, 0, 8, nullptr);
    LineTo(c.dc, 5, 8);
    EXPECT_EQ(GetPixel(c.dc, 0, 8), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 4, 8), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 5, 8), RGB(255, 255, 255));
    POINT at;
    GetCurrentPositionEx(c.dc, &at);
    EXPECT_EQ(at.x, 5);
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(red);
}

TEST_F(GdiTest, BottomUpDibSectionKeepsTheRowOrderOfWindows)
{
    Canvas c(4, 3, RGB(255, 255, 255), true);
    c.Fill(RGB(0, 0, 255), RECT{0, 0, 4, 1});
    // The picture's top row is the last row in memory.
    const BYTE* lastRow = c.bits + 2 * 4 * 4;
    EXPECT_EQ(lastRow[0], 255); // blue
    EXPECT_EQ(lastRow[2], 0);
    EXPECT_EQ(c.bits[0], 255);
    EXPECT_EQ(c.bits[2], 255); // memory row 0 is the white bottom row
    c.Put(1, 0, 0, 255, 0, 255);
    EXPECT_EQ(GetPixel(c.dc, 1, 2), RGB(0, 255, 0));

    DIBSECTION ds{};
    ASSERT_EQ(GetObject(c.bitmap, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmBits, c.bits);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(ds.dsBmih.biHeight, 3);
    BITMAP bm{};
    EXPECT_EQ(GetObject(c.bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 4);
}

TEST_F(GdiTest, BitBltCopiesEveryByteAndStretchBltScalesWithoutBlending)
{
    Canvas src(2, 2), dst(4, 4, RGB(0, 0, 0));
    src.Put(0, 0, 10, 20, 30, 255);
    src.Put(1, 0, 0, 0, 0, 0);
    src.Put(0, 1, 0, 0, 200, 200);
    src.Put(1, 1, 255, 255, 255, 255);
    BitBlt(dst.dc, 1, 1, 2, 2, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(std::memcmp(dst.bits + (1 * 4 + 1) * 4, src.bits, 8), 0);
    EXPECT_EQ(std::memcmp(dst.bits + (2 * 4 + 1) * 4, src.bits + 8, 8), 0);
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 0, 0));

    StretchBlt(dst.dc, 0, 0, 4, 4, src.dc, 0, 0, 2, 2, SRCCOPY);
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(30, 20, 10));
    EXPECT_EQ(GetPixel(dst.dc, 1, 1), RGB(30, 20, 10));
    EXPECT_EQ(GetPixel(dst.dc, 3, 3), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dst.dc, 0, 3), RGB(200, 0, 0));
}

struct RopCase
{
    const char* name;
    DWORD rop;
    COLORREF expected;
};

class RopTest : public GdiTest, public ::testing::WithParamInterface<RopCase>
{
};

TEST_P(RopTest, CombinesSourcePatternAndDestinationBitwise)
{
    // Source 0x0F0F0F-ish and destination 0x33..., brush 0x55... in every channel.
    Canvas src(1, 1, RGB(0xF0, 0x0F, 0xFF)), dst(1, 1, RGB(0x3C, 0x3C, 0x00));
    HBRUSH brush = CreateSolidBrush(RGB(0x55, 0x55, 0x55));
    SelectObject(dst.dc, brush);
    BitBlt(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, GetParam().rop);
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), GetParam().expected);
    SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
}

INSTANTIATE_TEST_SUITE_P(Rops, RopTest,
                         ::testing::Values(RopCase{"SrcCopy", SRCCOPY, RGB(0xF0, 0x0F, 0xFF)},
                                           RopCase{"SrcAnd", SRCAND, RGB(0x30, 0x0C, 0x00)},
                                           RopCase{"SrcPaint", SRCPAINT, RGB(0xFC, 0x3F, 0xFF)},
                                           RopCase{"SrcInvert", SRCINVERT, RGB(0xCC, 0x33, 0xFF)},
                                           RopCase{"NotSrcCopy", NOTSRCCOPY, RGB(0x0F, 0xF0, 0x00)},
                                           RopCase{"DstInvert", DSTINVERT, RGB(0xC3, 0xC3, 0xFF)},
                                           RopCase{"PatCopy", PATCOPY, RGB(0x55, 0x55, 0x55)},
                                           RopCase{"PatInvert", PATINVERT, RGB(0x69, 0x69, 0x55)},
                                           RopCase{"MergeCopy", MERGECOPY, RGB(0x50, 0x05, 0x55)},
                                           RopCase{"Blackness", BLACKNESS, RGB(0, 0, 0)},
                                           RopCase{"Whiteness", WHITENESS, RGB(0xFF, 0xFF, 0xFF)}),
                         [](const auto& info) { return info.param.name; });

TEST_F(GdiTest, AlphaBlendUsesPremultipliedSourceAlphaAndTheConstantAlpha)
{
    Canvas src(2, 1), dst(2, 1, RGB(255, 255, 255));
    src.Put(0, 0, 25, 50, 100, 128); // premultiplied: half-transparent (200, 100, 50)
    src.Put(1, 0, 0, 0, 0, 0);       // fully transparent
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 2, 1, blend));
    const COLORREF p = GetPixel(dst.dc, 0, 0);
    EXPECT_LE(Near(GetRValue(p), 100 + 127), 1);
    EXPECT_LE(Near(GetGValue(p), 50 + 127), 1);
    EXPECT_LE(Near(GetBValue(p), 25 + 127), 1);
    EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(255, 255, 255));

    Canvas red(1, 1, RGB(255, 0, 0)), blue(1, 1, RGB(0, 0, 255));
    BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
    AlphaBlend(blue.dc, 0, 0, 1, 1, red.dc, 0, 0, 1, 1, half);
    const COLORREF q = GetPixel(blue.dc, 0, 0);
    EXPECT_LE(Near(GetRValue(q), 128), 1);
    EXPECT_LE(Near(GetBValue(q), 127), 1);
}

TEST_F(GdiTest, TransparentBltLeavesTheKeyColourOut)
{
    Canvas src(2, 1), dst(4, 1, RGB(0, 255, 0));
    src.Fill(RGB(255, 0, 255), RECT{0, 0, 1, 1});
    src.Fill(RGB(255, 0, 0), RECT{1, 0, 2, 1});
    ASSERT_TRUE(TransparentBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, 2, 1, RGB(255, 0, 255)));
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dst.dc, 2, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dst.dc, 3, 0), RGB(255, 0, 0));
}

TEST_F(GdiTest, MonochromeMaskDrawsABitmapWithoutItsKeyColour)
{
    // A bitmap with a key colour, its mask and the "transparent blit" of the two by raster operations.
    const COLORREF key = RGB(255, 2, 247);
    Canvas picture(3, 1, key), target(3, 1, RGB(0, 128, 0));
    picture.Fill(RGB(200, 30, 40), RECT{1, 0, 2, 1});
    picture.Fill(RGB(0, 0, 0), RECT{2, 0, 3, 1});

    // Copying colour into a one-bit bitmap: the source's background colour becomes white, the rest black.
    HDC maskDc = CreateCompatibleDC(nullptr);
    HBITMAP mask = CreateBitmap(3, 1, 1, 1, nullptr);
    HGDIOBJ oldMask = SelectObject(maskDc, mask);
    SetBkColor(picture.dc, key);
    ASSERT_TRUE(BitBlt(maskDc, 0, 0, 3, 1, picture.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(maskDc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(maskDc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(maskDc, 2, 0), RGB(0, 0, 0));

    // One bit into colour: black becomes the target's text colour, white its background colour.
    SetTextColor(picture.dc, RGB(255, 255, 255));
    SetBkColor(picture.dc, RGB(0, 0, 0));
    ASSERT_TRUE(BitBlt(picture.dc, 0, 0, 3, 1, maskDc, 0, 0, SRCAND));
    EXPECT_EQ(GetPixel(picture.dc, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(picture.dc, 1, 0), RGB(200, 30, 40));

    ASSERT_TRUE(BitBlt(target.dc, 0, 0, 3, 1, maskDc, 0, 0, SRCAND));
    ASSERT_TRUE(BitBlt(target.dc, 0, 0, 3, 1, picture.dc, 0, 0, SRCPAINT));
    EXPECT_EQ(GetPixel(target.dc, 0, 0), RGB(0, 128, 0));
    EXPECT_EQ(GetPixel(target.dc, 1, 0), RGB(200, 30, 40));
    EXPECT_EQ(GetPixel(target.dc, 2, 0), RGB(0, 0, 0));

    SelectObject(maskDc, oldMask);
    DeleteObject(mask);
    DeleteDC(maskDc);
}
TEST_F(GdiTest, FontsResolveToTheirMetricCompatibleSubstitutes)
{
    Canvas c(200, 40);
    HFONT arial =
        CreateFont(-20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    HGDIOBJ old = SelectObject(c.dc, arial);
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32(c.dc, "Hello world", -1, &size));
    QFont liberation(QStringLiteral("Liberation Sans"));
    liberation.setPixelSize(20);
    EXPECT_EQ(size.cx, QFontMetrics(liberation).horizontalAdvance(QStringLiteral("Hello world")));
    TEXTMETRIC tm{};
    GetTextMetrics(c.dc, &tm);
    EXPECT_EQ(size.cy, tm.tmHeight);
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    char face[LF_FACESIZE];
    GetTextFace(c.dc, sizeof face, face);
    EXPECT_STREQ(face, "Arial");

    LOGFONT lf{};
    ASSERT_EQ(GetObject(arial, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_EQ(lf.lfHeight, -20);

    // The dialog font names all resolve to the one dialog face (Wine's Tahoma where installed).
    SIZE tahoma{}, shell{};
    HFONT t = CreateFont(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
    HFONT s =
        CreateFont(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Shell Dlg");
    SelectObject(c.dc, t);
    GetTextExtentPoint32(c.dc, "Settings and folders", -1, &tahoma);
    SelectObject(c.dc, s);
    GetTextExtentPoint32(c.dc, "Settings and folders", -1, &shell);
    EXPECT_EQ(tahoma.cx, shell.cx);
    SelectObject(c.dc, old);
    DeleteObject(arial);
    DeleteObject(t);
    DeleteObject(s);
}

TEST_F(GdiTest, DrawTextPlacesTextByItsFlags)
{
    Canvas c(200, 40);
    HFONT font =
        CreateFont(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
    SelectObject(c.dc, font);
    SetBkMode(c.dc, TRANSPARENT);
    RECT r{0, 0, 200, 40};
    DrawText(c.dc, "Mm", -1, &r, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
    EXPECT_GT(c.Ink(RECT{0, 0, 40, 40}), 0);
    EXPECT_EQ(c.Ink(RECT{60, 0, 200, 40}), 0);

    c.Fill(RGB(255, 255, 255));
    DrawText(c.dc, "Mm", -1, &r, DT_RIGHT | DT_SINGLELINE);
    EXPECT_EQ(c.Ink(RECT{0, 0, 140, 40}), 0);
    EXPECT_GT(c.Ink(RECT{160, 0, 200, 40}), 0);

    c.Fill(RGB(255, 255, 255));
    DrawText(c.dc, "Mm", -1, &r, DT_CENTER | DT_SINGLELINE);
    EXPECT_EQ(c.Ink(RECT{0, 0, 70, 40}), 0);
    EXPECT_GT(c.Ink(RECT{80, 0, 120, 40}), 0);

    // An opaque background fills the text's cell with the background colour.
    c.Fill(RGB(255, 255, 255));
    SetBkMode(c.dc, OPAQUE);
    SetBkColor(c.dc, RGB(0, 0, 255));
    DrawText(c.dc, "Mm", -1, &r, DT_LEFT | DT_SINGLELINE);
    TEXTMETRIC tm{};
    GetTextMetrics(c.dc, &tm);
    SIZE cell{};
    GetTextExtentPoint32(c.dc, "Mm", 2, &cell);
    int blueInside = 0, blueOutside = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (GetPixel(c.dc, x, y) == RGB(0, 0, 255))
                (x < cell.cx && y < tm.tmHeight ? blueInside : blueOutside) += 1;
    EXPECT_GT(blueInside, cell.cx);
    EXPECT_EQ(blueOutside, 0);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST_F(GdiTest, DrawTextWrapsMeasuresAndShortens)
{
    Canvas c(100, 100);
    HFONT font =
        CreateFont(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    SelectObject(c.dc, font);
    TEXTMETRIC tm{};
    GetTextMetrics(c.dc, &tm);
    RECT calc{0, 0, 60, 0};
    const int height = DrawText(c.dc, "one two three four five", -1, &calc, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_GE(height, 3 * tm.tmHeight);
    EXPECT_EQ(calc.bottom, height);
    EXPECT_LE(calc.right, 60);

    RECT single{0, 0, 0, 0};
    DrawText(c.dc, "two\nlines", -1, &single, DT_CALCRECT);
    EXPECT_EQ(single.bottom, 2 * tm.tmHeight);
    RECT one{0, 0, 0, 0};
    DrawText(c.dc, "&File", -1, &one, DT_CALCRECT | DT_SINGLELINE);
    SIZE plain{};
    GetTextExtentPoint32(c.dc, "File", 4, &plain);
    EXPECT_EQ(one.right, plain.cx);

    char text[64] = "A rather long caption that will not fit";
    RECT narrow{0, 0, 50, 20};
    DrawText(c.dc, text, -1, &narrow, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
    const std::string shortened = text;
    ASSERT_GE(shortened.size(), 3u);
    EXPECT_EQ(shortened.substr(shortened.size() - 3), "...");
    SIZE s{};
    GetTextExtentPoint32(c.dc, text, -1, &s);
    EXPECT_LE(s.cx, 50);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST_F(GdiTest, RegionsCombineAndShapeWindows)
{
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(5, 0, 15, 10);
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(r, a, b, RGN_AND), SIMPLEREGION);
    RECT box;
    GetRgnBox(r, &box);
    EXPECT_EQ(box.left, 5);
    EXPECT_EQ(box.right, 10);
    EXPECT_EQ(CombineRgn(r, a, b, RGN_DIFF), SIMPLEREGION);
    EXPECT_TRUE(PtInRegion(r, 4, 4));
    EXPECT_FALSE(PtInRegion(r, 5, 4));
    EXPECT_EQ(CombineRgn(r, a, b, RGN_XOR), COMPLEXREGION);
    EXPECT_EQ(CombineRgn(r, a, a, RGN_DIFF), NULLREGION);

    HWND top = Top(0, 0, 40, 40);
    HRGN shape = CreateRectRgn(0, 0, 20, 40);
    ASSERT_TRUE(SetWindowRgn(top, shape, TRUE));
    const QRegion mask = platform::window::HostWidgetOf(top)->mask();
    EXPECT_TRUE(mask.contains(QPoint(10, 10)));
    EXPECT_FALSE(mask.contains(QPoint(30, 10)));
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(top, copy), SIMPLEREGION);
    EXPECT_TRUE(EqualRgn(copy, CreateRectRgn(0, 0, 20, 40)));
    EXPECT_EQ(WindowFromPoint(POINT{30, 10}), nullptr);
    EXPECT_EQ(WindowFromPoint(POINT{10, 10}), top);
    for (HRGN h : {a, b, r, copy})
        DeleteObject(h);
}

TEST_F(GdiTest, ClippingLimitsDrawing)
{
    Canvas c(10, 10);
    IntersectClipRect(c.dc, 2, 2, 5, 5);
    c.Fill(RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 3, 3), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 6, 6), RGB(255, 255, 255));
    RECT box;
    EXPECT_EQ(GetClipBox(c.dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 2);
    const int saved = SaveDC(c.dc);
    SetViewportOrgEx(c.dc, 5, 5, nullptr);
    SelectClipRgn(c.dc, nullptr);
    c.Fill(RGB(255, 0, 0), RECT{0, 0, 1, 1});
    EXPECT_EQ(GetPixel(c.dc, 0, 0), RGB(255, 0, 0));
    RestoreDC(c.dc, saved);
    EXPECT_EQ(GetPixel(c.dc, 5, 5), RGB(255, 0, 0));
}

TEST_F(GdiTest, DibBitsRoundTripInEitherRowOrder)
{
    Canvas c(3, 2);
    c.Fill(RGB(255, 0, 0), RECT{0, 0, 3, 1});
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    ASSERT_TRUE(GetDIBits(c.dc, c.bitmap, 0, 0, nullptr, &bmi, DIB_RGB_COLORS));
    EXPECT_EQ(bmi.bmiHeader.biWidth, 3);
    EXPECT_EQ(bmi.bmiHeader.biBitCount, 32);
    std::vector<BYTE> bits(3 * 2 * 4);
    bmi.bmiHeader.biHeight = 2; // bottom-up: the red top row comes last
    EXPECT_EQ(GetDIBits(c.dc, c.bitmap, 0, 2, bits.data(), &bmi, DIB_RGB_COLORS), 2);
    EXPECT_EQ(bits[12 + 2], 255);
    EXPECT_EQ(bits[12 + 0], 0);
    EXPECT_EQ(bits[2], 255);
    EXPECT_EQ(bits[0], 255);

    HBITMAP ddb = CreateCompatibleBitmap(c.dc, 3, 2);
    EXPECT_EQ(SetDIBits(c.dc, ddb, 0, 2, bits.data(), &bmi, DIB_RGB_COLORS), 2);
    HDC mem = CreateCompatibleDC(nullptr);
    SelectObject(mem, ddb);
    EXPECT_EQ(GetPixel(mem, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(mem, 0, 1), RGB(255, 255, 255));
    DeleteDC(mem);
    DeleteObject(ddb);

    BITMAPINFO eight{};
    eight.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    eight.bmiHeader.biWidth = 4;
    eight.bmiHeader.biHeight = 4;
    eight.bmiHeader.biPlanes = 1;
    eight.bmiHeader.biBitCount = 8;
    void* p = nullptr;
    EXPECT_EQ(CreateDIBSection(nullptr, &eight, DIB_RGB_COLORS, &p, nullptr, 0), nullptr);
    EXPECT_EQ(p, nullptr);
}

// Pictures drawn with StretchDIBits into a window -----------------------------------------------------------

namespace
{
struct DibDrawCase
{
    const char* name;
    int bits; ///< 32 or 24
    bool bottomUp;
    int width; ///< of the picture
    int height;
    /// Pixels of a colour the picture never has after each row's picture, as in a frame with padded rows.
    int extraColumns;
    RECT from; ///< the picture's rectangle to draw, top row first
    RECT to;   ///< where it goes in the window
    int stretchMode;
};

void PrintTo(const DibDrawCase& c, std::ostream* out)
{
    *out << c.name;
}

/// A picture of 8 x 6 blocks, each of its own colour, as the bits of a DIB of the case's depth and row order.
struct BlockPicture
{
    explicit BlockPicture(const DibDrawCase& c) : width(c.width), height(c.height)
    {
        const int dibWidth = c.width + c.extraColumns;
        const int bytes = c.bits / 8;
        const int stride = ((dibWidth * c.bits + 31) / 32) * 4;
        bits.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), 0xEE);
        for (int y = 0; y < height; ++y)
        {
            BYTE* row = bits.data() + static_cast<std::size_t>(c.bottomUp ? height - 1 - y : y) * stride;
            for (int x = 0; x < dibWidth; ++x)
            {
                const COLORREF colour = x < width ? At(x, y) : kPadding;
                BYTE* p = row + static_cast<std::size_t>(x) * bytes;
                p[0] = GetBValue(colour);
                p[1] = GetGValue(colour);
                p[2] = GetRValue(colour);
                if (bytes == 4)
                    p[3] = 255;
            }
        }
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = dibWidth;
        info.bmiHeader.biHeight = c.bottomUp ? height : -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = static_cast<WORD>(c.bits);
        info.bmiHeader.biCompression = BI_RGB;
    }
    COLORREF At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return testing_support::kNoPixel;
        const int i = x * 8 / width;
        const int j = y * 6 / height;
        return RGB(30 + 28 * i, 30 + 36 * j, 200 - 20 * i - 10 * j);
    }
    static constexpr COLORREF kPadding = RGB(255, 0, 255);
    int width;
    int height;
    std::vector<BYTE> bits;
    BITMAPINFO info{};
};

/// The area a widget was asked to repaint.
class PaintedArea : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            area |= static_cast<QPaintEvent*>(e)->region();
        return false;
    }
    QRegion area;
};
} // namespace

class DibDrawTest : public GdiTest, public testing::WithParamInterface<DibDrawCase>
{
};

TEST_P(DibDrawTest, WindowShowsThePictureInPlaceAndRepaintsOnlyIt)
{
    const DibDrawCase& c = GetParam();
    constexpr int kWidth = 530;
    constexpr int kHeight = 330;
    constexpr COLORREF kBackground = RGB(0, 128, 0);
    HWND window = Top(0, 0, kWidth, kHeight);
    QWidget* widget = platform::window::HostWidgetOf(window);
    ASSERT_NE(widget, nullptr);
    PaintedArea painted;
    widget->installEventFilter(&painted);
    RECT client{};
    GetClientRect(window, &client);
    ASSERT_EQ(client.right, kWidth);
    ASSERT_EQ(client.bottom, kHeight);
    // The window's first paint (its class background) comes before the test's own background.
    UpdateWindow(window);
    HDC dc = GetDC(window);
    HBRUSH background = CreateSolidBrush(kBackground);
    FillRect(dc, &client, background);
    DeleteObject(background);
    ReleaseDC(window, dc);
    // The whole window is shown once before the picture is drawn.
    ASSERT_TRUE(PumpUntil([&] { return (QRegion(0, 0, kWidth, kHeight) - painted.area).isEmpty(); }));

    painted.area = QRegion();
    BlockPicture picture(c);
    dc = GetDC(window);
    SetStretchBltMode(dc, c.stretchMode);
    const int fromHeight = c.from.bottom - c.from.top;
    // Source rows of a bottom-up DIB count from its bottom row.
    const int ySrc = c.bottomUp ? c.height - c.from.bottom : c.from.top;
    EXPECT_EQ(StretchDIBits(dc, c.to.left, c.to.top, c.to.right - c.to.left, c.to.bottom - c.to.top,
                            c.from.left, ySrc, c.from.right - c.from.left, fromHeight, picture.bits.data(),
                            &picture.info, DIB_RGB_COLORS, SRCCOPY),
              fromHeight);
    ReleaseDC(window, dc);
    ASSERT_TRUE(PumpUntil([&] { return !painted.area.isEmpty(); }));
    widget->removeEventFilter(&painted);
    const QRect target(c.to.left, c.to.top, c.to.right - c.to.left, c.to.bottom - c.to.top);
    const QRect beyond = (painted.area - target).boundingRect();
    EXPECT_TRUE(beyond.isEmpty()) << "repainted beyond the picture: " << beyond.x() << "," << beyond.y()
                                  << " " << beyond.width() << "x" << beyond.height();

    const QImage shown = platform::window::ClientImage(window);
    const auto check = testing_support::CompareScaledPicture(
        [&](int x, int y) { return Pixel(shown, x, y); }, kWidth, kHeight,
        [&](int x, int y) { return picture.At(x, y); }, c.from, c.to, kBackground);
    EXPECT_EQ(check.wrong, 0) << check.firstWrong;
    // Most of the picture lies inside its blocks, away from their edges.
    EXPECT_GT(check.compared, target.width() * target.height() / 3);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, DibDrawTest,
    testing::Values(
        DibDrawCase{"TopDownPartAtAnOddSize",
                    32,
                    false,
                    640,
                    480,
                    0,
                    {40, 24, 584, 424},
                    {13, 9, 513, 299},
                    HALFTONE},
        DibDrawCase{"BottomUpPartAtAnOddSize",
                    32,
                    true,
                    640,
                    480,
                    0,
                    {40, 24, 584, 424},
                    {13, 9, 513, 299},
                    HALFTONE},
        DibDrawCase{"PaddedRowsShowOnlyThePicture",
                    32,
                    false,
                    640,
                    480,
                    24,
                    {0, 0, 640, 480},
                    {7, 5, 507, 295},
                    HALFTONE},
        DibDrawCase{"TwentyFourBitOddWidthBottomUp",
                    24,
                    true,
                    637,
                    479,
                    0,
                    {3, 7, 603, 457},
                    {20, 11, 471, 337},
                    HALFTONE},
        DibDrawCase{"TwentyFourBitFillsTheWindow",
                    24,
                    false,
                    637,
                    479,
                    0,
                    {0, 0, 637, 479},
                    {0, 0, 530, 330},
                    HALFTONE},
        DibDrawCase{"UnscaledPartIsCopied",
                    32,
                    true,
                    640,
                    480,
                    0,
                    {100, 60, 420, 260},
                    {7, 3, 327, 203},
                    COLORONCOLOR},
        // A live frame that arrives at the size shown, at a size that is not half the camera's.
        DibDrawCase{"UnscaledTopDownOddSizeWithPaddedRows",
                    32,
                    false,
                    333,
                    211,
                    12,
                    {0, 0, 333, 211},
                    {101, 57, 434, 268},
                    HALFTONE},
        DibDrawCase{"UnscaledBottomUpOddSize",
                    32,
                    true,
                    333,
                    211,
                    0,
                    {0, 0, 333, 211},
                    {101, 57, 434, 268},
                    HALFTONE},
        DibDrawCase{"StretchWithoutHalftone",
                    32,
                    false,
                    640,
                    480,
                    0,
                    {0, 0, 640, 480},
                    {13, 9, 513, 299},
                    COLORONCOLOR},
        DibDrawCase{
            "LargeReduction", 32, false, 1280, 720, 0, {0, 0, 1280, 720}, {110, 70, 420, 244}, HALFTONE}),
    [](const testing::TestParamInfo<DibDrawCase>& info) { return std::string(info.param.name); });

TEST_F(GdiTest, OpaqueChildIsShownWithoutItsParentDrawnBeneathIt)
{
    constexpr COLORREF kParentColour = RGB(0, 128, 0);
    constexpr COLORREF kChildColour = RGB(200, 40, 90);
    const QRect childArea(30, 20, 120, 90);
    HWND parent = Top(0, 0, 200, 150);
    HWND child = CreateWindowEx(0, "Static", "", WS_CHILD | WS_VISIBLE, childArea.x(), childArea.y(),
                                childArea.width(), childArea.height(), parent, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_FALSE(platform::window::SetWindowOpaque(nullptr));
    ASSERT_TRUE(platform::window::SetWindowOpaque(child));
    QWidget* parentWidget = platform::window::HostWidgetOf(parent);
    QWidget* childWidget = platform::window::HostWidgetOf(child);
    ASSERT_NE(parentWidget, nullptr);
    ASSERT_NE(childWidget, nullptr);
    UpdateWindow(parent);
    HDC dc = GetDC(parent);
    HBRUSH brush = CreateSolidBrush(kParentColour);
    RECT client{0, 0, 200, 150};
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    ReleaseDC(parent, dc);
    PaintedArea parentPainted;
    PaintedArea childPainted;
    parentWidget->installEventFilter(&parentPainted);
    childWidget->installEventFilter(&childPainted);
    // The parent is shown around the child; the child shows itself.
    ASSERT_TRUE(PumpUntil(
        [&]
        {
            return (QRegion(0, 0, 200, 150) - childArea - parentPainted.area).isEmpty() &&
                   !childPainted.area.isEmpty();
        }));
    platform::window::PumpPendingMessages();

    // What a video renderer does for each frame: draw into the child alone.
    parentPainted.area = QRegion();
    childPainted.area = QRegion();
    dc = GetDC(child);
    brush = CreateSolidBrush(kChildColour);
    RECT picture{0, 0, childArea.width(), childArea.height()};
    FillRect(dc, &picture, brush);
    DeleteObject(brush);
    ReleaseDC(child, dc);
    ASSERT_TRUE(PumpUntil([&] { return !childPainted.area.isEmpty(); }));
    platform::window::PumpPendingMessages();
    parentWidget->removeEventFilter(&parentPainted);
    childWidget->removeEventFilter(&childPainted);
    const QRect under = parentPainted.area.boundingRect();
    EXPECT_TRUE(under.isEmpty()) << "the parent was drawn beneath the child: " << under.x() << ","
                                 << under.y() << " " << under.width() << "x" << under.height();

    const QImage screen = parentWidget->grab().toImage();
    EXPECT_EQ(Pixel(screen, childArea.x(), childArea.y()), kChildColour);
    EXPECT_EQ(Pixel(screen, childArea.right(), childArea.bottom()), kChildColour);
    EXPECT_EQ(Pixel(screen, childArea.x() - 1, childArea.y()), kParentColour);
    EXPECT_EQ(Pixel(screen, childArea.right() + 1, childArea.bottom() + 1), kParentColour);
}

TEST_F(GdiTest, StaleObjectsAreRefused)
{
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(brush));
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(dc, brush), nullptr);
    EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(GetObjectType(GetStockObject(WHITE_BRUSH)), OBJ_BRUSH);
    EXPECT_TRUE(DeleteDC(dc));
    RECT r{0, 0, 1, 1};
    EXPECT_EQ(FillRect(dc, &r, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 0);
    EXPECT_EQ(DrawText(dc, "x", -1, &r, 0), 0);

    // A bitmap deleted while selected stays usable through its DC.
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(nullptr, 2, 2);
    SelectObject(mem, bmp);
    DeleteObject(bmp);
    SetPixel(mem, 1, 1, RGB(9, 9, 9));
    EXPECT_EQ(GetPixel(mem, 1, 1), RGB(9, 9, 9));
    DeleteDC(mem);
}

TEST_F(GdiTest, LayeredWindowWithoutCompositingIsCutToItsVisiblePixels)
{
    HWND layered = Top(10, 10, 20, 10, WS_POPUP | WS_VISIBLE, WS_EX_LAYERED);
    Canvas picture(20, 10, RGB(0, 0, 0), true);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
        {
            if (x < 10)
                picture.Put(x, y, 0, 0, 255, 255); // opaque red
            else
                picture.Put(x, y, 0, 0, 0, 0); // clear
        }
    POINT at{30, 40};
    SIZE size{20, 10};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ASSERT_TRUE(UpdateLayeredWindow(layered, nullptr, &at, &size, picture.dc, &origin, 0, &blend, ULW_ALPHA));
    RECT wr;
    GetWindowRect(layered, &wr);
    EXPECT_EQ(wr.left, 30);
    EXPECT_EQ(wr.top, 40);
    QWidget* widget = platform::window::HostWidgetOf(layered);
    EXPECT_EQ(widget->mask(), QRegion(0, 0, 10, 10));
    const QImage shown = widget->grab().toImage();
    EXPECT_EQ(Pixel(shown, 5, 5), RGB(255, 0, 0));

    // A window that is not layered refuses the call.
    HWND plain = Top();
    EXPECT_FALSE(
        UpdateLayeredWindow(plain, nullptr, nullptr, nullptr, picture.dc, &origin, 0, &blend, ULW_ALPHA));
}

TEST_F(GdiTest, ColourKeyedWindowKeepsItsControlsAndNonKeyPixels)
{
    HWND dialog = Top(0, 0, 40, 40, WS_POPUP | WS_VISIBLE, WS_EX_LAYERED);
    HWND control = Child(dialog, 1, 20, 20, 10, 10);
    recorder.handlers[WM_ERASEBKGND] = [&](HWND hwnd, WPARAM w, LPARAM) -> LRESULT
    {
        RECT all{0, 0, 40, 40};
        HBRUSH key = CreateSolidBrush(hwnd == dialog ? RGB(255, 0, 255) : RGB(0, 0, 255));
        FillRect(reinterpret_cast<HDC>(w), &all, key);
        DeleteObject(key);
        if (hwnd == dialog)
        {
            RECT spot{0, 0, 5, 5};
            HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
            FillRect(reinterpret_cast<HDC>(w), &spot, green);
            DeleteObject(green);
        }
        return 1;
    };
    ASSERT_TRUE(SetLayeredWindowAttributes(dialog, RGB(255, 0, 255), 0, LWA_COLORKEY));
    ASSERT_TRUE(PumpUntil(
        [&] { return recorder.Count(control, WM_PAINT) > 0 && recorder.Count(dialog, WM_PAINT) > 0; }));
    platform::window::PumpPendingMessages();
    const QRegion mask = platform::window::HostWidgetOf(dialog)->mask();
    EXPECT_TRUE(mask.contains(QPoint(2, 2)));
    EXPECT_TRUE(mask.contains(QPoint(25, 25)));
    EXPECT_FALSE(mask.contains(QPoint(10, 10)));
    COLORREF key;
    DWORD flags;
    ASSERT_TRUE(GetLayeredWindowAttributes(dialog, &key, nullptr, &flags));
    EXPECT_EQ(key, RGB(255, 0, 255));
    EXPECT_EQ(flags, LWA_COLORKEY);
}
