#include "WindowTestSupport.h"
#include "window_test_ids.h"

#include "platform/resources/Resources.h"
#include "platform/win/Dib.h"
#include "platform/window/WinApp.h"
#include "tests/support/GdiTestSupport.h"

#include <QBuffer>
#include <QCursor>
#include <QIcon>
#include <QPixmap>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

using namespace window_test;

namespace
{
HINSTANCE Program()
{
    return GetModuleHandle(nullptr);
}

/// What GetIconInfo tells of an icon or cursor, with the size of its colour bitmap.
struct Described
{
    bool ok = false;
    bool icon = false;
    POINT hotSpot{};
    SIZE size{};
    COLORREF topLeft = 0;
    COLORREF bottomLeft = 0;
};

Described Describe(HICON handle)
{
    Described d;
    ICONINFO info{};
    if (!GetIconInfo(handle, &info))
        return d;
    d.ok = info.hbmColor && info.hbmMask;
    d.icon = info.fIcon != FALSE;
    d.hotSpot = POINT{static_cast<LONG>(info.xHotspot), static_cast<LONG>(info.yHotspot)};
    BITMAP bm{};
    GetObject(info.hbmColor, sizeof bm, &bm);
    d.size = SIZE{bm.bmWidth, bm.bmHeight};
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, info.hbmColor);
    d.topLeft = GetPixel(dc, 0, 0);
    d.bottomLeft = GetPixel(dc, 0, bm.bmHeight - 1);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return d;
}

// --- Icon bytes, laid out as the resource compiler writes them --------------------------------------------

struct Bytes
{
    std::vector<BYTE> v;
    Bytes& B(BYTE b)
    {
        v.push_back(b);
        return *this;
    }
    Bytes& W(WORD w) { return B(static_cast<BYTE>(w)).B(static_cast<BYTE>(w >> 8)); }
    Bytes& D(DWORD d) { return W(static_cast<WORD>(d)).W(static_cast<WORD>(d >> 16)); }
    Bytes& Add(const std::vector<BYTE>& more)
    {
        v.insert(v.end(), more.begin(), more.end());
        return *this;
    }
};

/// A square 32-bit image of one opaque colour with its mask; the header's fields may be overridden.
struct DibImage
{
    int size = 32;
    LONG width = 0;  // 0: size
    LONG height = 0; // 0: twice the size (colour rows and mask rows)
    WORD bitCount = 32;
    DWORD compression = 0;
    DWORD headerSize = 40;
    std::size_t keepBytes = SIZE_MAX;

    std::vector<BYTE> Build() const
    {
        Bytes b;
        b.D(headerSize)
            .D(static_cast<DWORD>(width ? width : size))
            .D(static_cast<DWORD>(height ? height : 2 * size));
        b.W(1).W(bitCount).D(compression).D(0).D(0).D(0).D(0).D(0);
        for (int i = 0; i < size * size; ++i)
            b.B(0x20).B(0x40).B(0x80).B(0xFF);
        const int maskStride = ((size + 31) / 32) * 4;
        b.v.resize(b.v.size() + static_cast<std::size_t>(maskStride * size), 0);
        if (keepBytes < b.v.size())
            b.v.resize(keepBytes);
        return b.v;
    }
};

std::vector<BYTE> Png(DWORD width, DWORD height, bool whole)
{
    // A real PNG from Qt, or its signature and header alone with the dimensions given.
    if (whole)
    {
        QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32);
        image.fill(Qt::green);
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return std::vector<BYTE>(data.begin(), data.end());
    }
    Bytes b;
    const BYTE head[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (BYTE c : head)
        b.B(c);
    for (DWORD big : {width, height})
        b.B(static_cast<BYTE>(big >> 24))
            .B(static_cast<BYTE>(big >> 16))
            .B(static_cast<BYTE>(big >> 8))
            .B(static_cast<BYTE>(big));
    b.B(8).B(6).B(0).B(0).B(0);
    return b.v;
}

/// A group directory (icon or cursor) listing `ids`, each said to be 32 x 32 of 32 bits; `count`
/// overrides the number of entries the header claims.
std::vector<BYTE> Directory(bool icon, std::vector<WORD> ids, int count = -1, WORD kind = 0)
{
    Bytes b;
    b.W(0).W(kind ? kind : (icon ? 1 : 2)).W(static_cast<WORD>(count < 0 ? ids.size() : count));
    for (WORD id : ids)
    {
        if (icon)
            b.B(32).B(32).B(0).B(0).W(1).W(32);
        else
            b.W(32).W(64).W(1).W(32);
        b.D(0).W(id);
    }
    return b.v;
}

std::vector<BYTE> WithHotSpot(WORD x, WORD y, const std::vector<BYTE>& image)
{
    return Bytes{}.W(x).W(y).Add(image).v;
}

HICON FromBytes(bool icon, const std::vector<BYTE>& group, const std::map<WORD, std::vector<BYTE>>& images)
{
    return platform::window::CreateIconFromGroup(group.data(), group.size(), icon,
                                                 [&](WORD id) -> std::span<const BYTE>
                                                 {
                                                     auto it = images.find(id);
                                                     if (it == images.end())
                                                         return {};
                                                     return it->second;
                                                 });
}

class IconTest : public WindowFixture
{
};
} // namespace

TEST_F(IconTest, IconOfAModuleTakesTheSystemSizeAndCentresItsHotSpot)
{
    const HICON icon = LoadIcon(Program(), MAKEINTRESOURCE(IDI_AFX_APP));
    ASSERT_NE(icon, nullptr) << GetLastError();
    // Loaded icons are shared: the same handle each time, and destroying it leaves it usable.
    EXPECT_EQ(LoadIcon(Program(), MAKEINTRESOURCE(IDI_AFX_APP)), icon);
    DestroyIcon(icon);
    const Described d = Describe(icon);
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(d.icon);
    EXPECT_EQ(d.size.cx, 32);
    EXPECT_EQ(d.size.cy, 32);
    EXPECT_EQ(d.hotSpot.x, 16);
    EXPECT_EQ(d.hotSpot.y, 16);
    // Rows in the order the picture shows them: red above blue.
    EXPECT_EQ(d.topLeft, RGB(255, 0, 0));
    EXPECT_EQ(GetRValue(d.bottomLeft), 0);
    EXPECT_GT(GetBValue(d.bottomLeft), 0);
}

TEST_F(IconTest, CursorOfAModuleKeepsItsHotSpot)
{
    const HCURSOR cursor = LoadCursor(Program(), MAKEINTRESOURCE(IDC_AFX_POINTER));
    ASSERT_NE(cursor, nullptr) << GetLastError();
    EXPECT_EQ(LoadCursor(Program(), MAKEINTRESOURCE(IDC_AFX_POINTER)), cursor);
    const Described d = Describe(reinterpret_cast<HICON>(cursor));
    ASSERT_TRUE(d.ok);
    EXPECT_FALSE(d.icon);
    EXPECT_EQ(d.size.cx, 32);
    EXPECT_EQ(d.size.cy, 32);
    EXPECT_EQ(d.hotSpot.x, 5);
    EXPECT_EQ(d.hotSpot.y, 9);
    EXPECT_EQ(d.topLeft, RGB(255, 255, 255));
    EXPECT_EQ(d.bottomLeft, RGB(0, 0, 0));
}

TEST_F(IconTest, MissingIconsAndCursorsGiveNull)
{
    const HMODULE withoutResources = GetModuleHandle("libplatform_window.so");
    ASSERT_NE(withoutResources, nullptr);
    struct Case
    {
        const char* what;
        HICON handle;
    };
    for (const Case& c :
         {Case{"unknown icon id", LoadIcon(Program(), MAKEINTRESOURCE(999))},
          Case{"unknown cursor id", reinterpret_cast<HICON>(LoadCursor(Program(), MAKEINTRESOURCE(999)))},
          Case{"a cursor asked for as an icon", LoadIcon(Program(), MAKEINTRESOURCE(IDC_AFX_POINTER))},
          Case{"an icon asked for as a cursor",
               reinterpret_cast<HICON>(LoadCursor(Program(), MAKEINTRESOURCE(IDI_AFX_APP)))},
          Case{"unknown icon name", LoadIcon(Program(), "NOSUCHICON")},
          Case{"module without resources", LoadIcon(withoutResources, MAKEINTRESOURCE(IDI_AFX_APP))}})
    {
        EXPECT_EQ(c.handle, nullptr) << c.what;
        ICONINFO info{};
        EXPECT_FALSE(GetIconInfo(c.handle, &info)) << c.what;
    }
}

TEST_F(IconTest, DamagedIconResourceGivesNull)
{
    SetLastError(0);
    EXPECT_EQ(LoadIcon(Program(), MAKEINTRESOURCE(IDI_AFX_DAMAGED)), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
}

TEST_F(IconTest, ApplicationFindsTheProgramsIconAndCursorBehindALanguageModule)
{
    CWinApp app("IconTest");
    // A resource module that holds neither: the search goes on to the program.
    const HINSTANCE language = GetModuleHandle("libplatform_window.so");
    AfxSetResourceHandle(language);
    EXPECT_EQ(app.LoadIcon(IDI_AFX_APP), LoadIcon(Program(), MAKEINTRESOURCE(IDI_AFX_APP)));
    EXPECT_NE(app.LoadIcon(IDI_AFX_APP), nullptr);
    EXPECT_EQ(app.LoadCursor(IDC_AFX_POINTER), LoadCursor(Program(), MAKEINTRESOURCE(IDC_AFX_POINTER)));
    EXPECT_NE(app.LoadCursor(IDC_AFX_POINTER), nullptr);
    AfxSetResourceHandle(Program());
}

TEST_F(IconTest, TopLevelWindowShowsEverySizeOfItsIcon)
{
    const HICON icon = LoadIcon(Program(), MAKEINTRESOURCE(IDI_AFX_APP));
    ASSERT_NE(icon, nullptr);
    const HWND top = Top();
    EXPECT_EQ(SendMessage(top, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(SendMessage(top, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessage(top, WM_GETICON, ICON_BIG, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessage(top, WM_GETICON, ICON_SMALL, 0)), icon);

    const QIcon shown = platform::window::HostWidgetOf(top)->windowIcon();
    std::set<int> sizes;
    for (const QSize& size : shown.availableSizes())
        sizes.insert(size.width());
    EXPECT_EQ(sizes, (std::set<int>{16, 32, 48}));
    // Each size is its own picture: 16 colours with a masked pixel, 32 bits with alpha, PNG.
    const QImage small = shown.pixmap(16).toImage();
    EXPECT_EQ(qAlpha(small.pixel(0, 0)), 0);
    EXPECT_EQ(Pixel(small, 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(Pixel(small, 1, 15), RGB(255, 255, 0));
    const QImage middle = shown.pixmap(32).toImage();
    EXPECT_EQ(Pixel(middle, 0, 0), RGB(255, 0, 0));
    EXPECT_NEAR(qAlpha(middle.pixel(0, 31)), 128, 1);
    const QImage large = shown.pixmap(48).toImage();
    EXPECT_EQ(Pixel(large, 0, 0), RGB(255, 0, 255));
    EXPECT_EQ(Pixel(large, 47, 47), RGB(200, 200, 200));

    // Taking the icon away again leaves the window without one.
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessage(top, WM_SETICON, ICON_BIG, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessage(top, WM_SETICON, ICON_SMALL, 0)), icon);
    EXPECT_TRUE(platform::window::HostWidgetOf(top)->windowIcon().availableSizes().isEmpty());
}

TEST_F(IconTest, CursorSetForAWindowBecomesItsWidgetsCursor)
{
    const HCURSOR cursor = LoadCursor(Program(), MAKEINTRESOURCE(IDC_AFX_POINTER));
    ASSERT_NE(cursor, nullptr);
    recorder.handlers[WM_SETCURSOR] = [&](HWND, WPARAM, LPARAM)
    {
        SetCursor(cursor);
        return TRUE;
    };
    const HWND top = Top();
    Mouse(top, QEvent::MouseMove, QPoint(10, 10));
    QWidget* widget = platform::window::HostWidgetOf(top);
    ASSERT_TRUE(PumpUntil([&] { return widget->cursor().shape() == Qt::BitmapCursor; }));
    EXPECT_EQ(GetCursor(), cursor);
    EXPECT_EQ(widget->cursor().hotSpot(), QPoint(5, 9));
    EXPECT_EQ(widget->cursor().pixmap().size(), QSize(32, 32));
}

// --- Bytes from outside: every damaged group or image is refused, nothing read beyond it ---------------

TEST(IconBytesTest, SoundBytesMakeAnIconAndACursor)
{
    const HICON icon = FromBytes(true, Directory(true, {1}), {{1, DibImage{}.Build()}});
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(Describe(icon).size.cx, 32);
    EXPECT_TRUE(DestroyIcon(icon));
    const HICON png = FromBytes(true, Directory(true, {1}), {{1, Png(32, 32, true)}});
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(Describe(png).topLeft, RGB(0, 255, 0));
    EXPECT_TRUE(DestroyIcon(png));
    const HICON cursor =
        FromBytes(false, Directory(false, {2}), {{2, WithHotSpot(3, 4, DibImage{}.Build())}});
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(Describe(cursor).hotSpot.y, 4);
    EXPECT_TRUE(DestroyCursor(reinterpret_cast<HCURSOR>(cursor)));
    // A destroyed handle is gone.
    ICONINFO info{};
    EXPECT_FALSE(GetIconInfo(cursor, &info));
}

struct DamagedCase
{
    const char* name;
    bool icon;
    std::vector<BYTE> group;
    std::map<WORD, std::vector<BYTE>> images;
};

class DamagedIconTest : public testing::TestWithParam<DamagedCase>
{
};

TEST_P(DamagedIconTest, IsRefused)
{
    const DamagedCase& c = GetParam();
    SetLastError(0);
    EXPECT_EQ(FromBytes(c.icon, c.group, c.images), nullptr);
    EXPECT_NE(GetLastError(), 0u);
}

DamagedCase Icon(const char* name, std::vector<BYTE> image)
{
    return {name, true, Directory(true, {1}), {{1, std::move(image)}}};
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedIconTest,
    testing::Values(
        DamagedCase{"EmptyDirectory", true, {}, {}},
        DamagedCase{"DirectoryCutShort", true, Directory(true, {1}, 3), {{1, DibImage{}.Build()}}},
        DamagedCase{"CursorDirectoryAsIcon", true, Directory(true, {1}, -1, 2), {{1, DibImage{}.Build()}}},
        DamagedCase{"NoEntries", true, Directory(true, {}), {}},
        DamagedCase{"ImageMissing", true, Directory(true, {5}), {{1, DibImage{}.Build()}}},
        Icon("ImageCutShort", DibImage{.keepBytes = 40 + 4 * 32 * 3}.Build()),
        Icon("HeaderCutShort", DibImage{.keepBytes = 20}.Build()),
        Icon("HeaderLargerThanTheImage", DibImage{.headerSize = 0x10000000}.Build()),
        Icon("AbsurdWidth", DibImage{.width = 0x40000000}.Build()),
        Icon("NegativeWidth", DibImage{.width = -32}.Build()), Icon("NoRows", DibImage{.height = 1}.Build()),
        Icon("UnknownDepth", DibImage{.bitCount = 7}.Build()),
        Icon("Compressed", DibImage{.compression = 1}.Build()), Icon("PngCutShort", Png(32, 32, false)),
        Icon("PngOfAbsurdSize", Png(100000, 100000, false)),
        DamagedCase{"CursorWithoutHotSpot", false, Directory(false, {1}), {{1, {5, 0}}}},
        DamagedCase{"CursorImageCutShort",
                    false,
                    Directory(false, {1}),
                    {{1, WithHotSpot(1, 1, DibImage{.keepBytes = 60}.Build())}}}),
    [](const testing::TestParamInfo<DamagedCase>& info) { return std::string(info.param.name); });

namespace
{
/// A 32-bit DIB section of `size` x `size` whose pixels `pixel(x, y)` gives as 0xAARRGGBB.
HBITMAP Dib32(int size, const std::function<DWORD(int x, int y)>& pixel)
{
    BITMAPINFO bi = Dib32Info(size, -size);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* p = static_cast<DWORD*>(bits);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            p[y * size + x] = pixel(x, y);
    return bitmap;
}

/// A 16 x 16 icon: an opaque red square from 4 to 12, the rest transparent (blue under zero alpha, which
/// straight alpha allows).
HICON RedSquare()
{
    HBITMAP colour = Dib32(16, [](int x, int y)
                           { return x >= 4 && x < 12 && y >= 4 && y < 12 ? 0xFFFF0000u : 0x000000FFu; });
    ICONINFO info{TRUE, 0, 0, nullptr, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    return icon;
}

class IconDrawTest : public ::testing::Test
{
protected:
    testing_support::Canvas canvas{64, 64, RGB(255, 255, 255)};
};
} // namespace

TEST_F(IconDrawTest, AnIconFromBitmapsIsDrawnWithItsTransparency)
{
    HICON straight = RedSquare();
    ASSERT_NE(straight, nullptr);
    ASSERT_TRUE(DrawIconEx(canvas.dc(), 0, 0, straight, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(canvas.at(8, 8), RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(1, 1), RGB(255, 255, 255));

    // Without alpha the mask tells the transparent pixels; GetIconInfo's copies make the same icon again.
    HBITMAP opaque = Dib32(16, [](int, int) { return 0x0000FF00u; });
    HBITMAP mask = CreateBitmap(16, 16, 1, 1, nullptr);
    {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, mask);
        const RECT all{0, 0, 16, 16};
        const RECT hole{0, 0, 16, 8};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        FillRect(dc, &hole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    ICONINFO masked{TRUE, 0, 0, mask, opaque};
    HICON green = CreateIconIndirect(&masked);
    DeleteObject(opaque);
    DeleteObject(mask);
    ASSERT_TRUE(DrawIconEx(canvas.dc(), 20, 0, green, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(canvas.at(24, 2), RGB(255, 255, 255));
    EXPECT_EQ(canvas.at(24, 12), RGB(0, 255, 0));
    ICONINFO copies{};
    ASSERT_TRUE(GetIconInfo(straight, &copies));
    HICON again = CreateIconIndirect(&copies);
    DeleteObject(copies.hbmColor);
    DeleteObject(copies.hbmMask);
    ASSERT_TRUE(DrawIcon(canvas.dc(), 40, 20, again)); // the system size: twice as large
    EXPECT_EQ(canvas.at(40 + 16, 20 + 16), RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(40 + 4, 20 + 4), RGB(255, 255, 255));

    ICONINFO empty{TRUE, 0, 0, nullptr, nullptr};
    EXPECT_EQ(CreateIconIndirect(&empty), nullptr);
    for (HICON icon : {straight, green, again})
        EXPECT_TRUE(DestroyIcon(icon));
}

TEST_F(IconDrawTest, DrawIconExScalesAndDrawsEachPartAlone)
{
    HICON icon = RedSquare();
    // Scaled to 32 x 32, the square covers 8 to 24.
    ASSERT_TRUE(DrawIconEx(canvas.dc(), 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(canvas.at(16, 16), RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(10, 10), RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(4, 4), RGB(255, 255, 255));
    // The image alone is black where the icon is transparent; the mask alone blackens where it is opaque.
    ASSERT_TRUE(DrawIconEx(canvas.dc(), 32, 0, icon, 0, 0, 0, nullptr, DI_IMAGE));
    EXPECT_EQ(canvas.at(33, 1), RGB(0, 0, 0));
    EXPECT_EQ(canvas.at(40, 8), RGB(255, 0, 0));
    ASSERT_TRUE(DrawIconEx(canvas.dc(), 32, 32, icon, 0, 0, 0, nullptr, DI_MASK));
    EXPECT_EQ(canvas.at(33, 33), RGB(255, 255, 255));
    EXPECT_EQ(canvas.at(40, 40), RGB(0, 0, 0));
    // A brush fills behind the icon.
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    ASSERT_TRUE(DrawIconEx(canvas.dc(), 0, 40, icon, 0, 0, 0, blue, DI_NORMAL));
    DeleteObject(blue);
    EXPECT_EQ(canvas.at(1, 41), RGB(0, 0, 255));
    EXPECT_EQ(canvas.at(8, 48), RGB(255, 0, 0));

    EXPECT_FALSE(
        DrawIconEx(canvas.dc(), 0, 0, LoadIcon(nullptr, IDI_APPLICATION), 0, 0, 0, nullptr, DI_NORMAL));
    DestroyIcon(icon);
    EXPECT_FALSE(DrawIconEx(canvas.dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
}
