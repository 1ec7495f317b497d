#include "DialogTemplateBuilder.h"
#include "WindowTestSupport.h"

#include "platform/win/Dib.h"

#include <QRegion>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>

using namespace window_test;

// Windows laid out from the left and from the right -------------------------------------------------------

namespace
{
struct Layout
{
    const char* name;
    DWORD exStyle;
};

void PrintTo(const Layout& l, std::ostream* os)
{
    *os << l.name;
}

constexpr int kLeft = 100, kTop = 100, kWidth = 200, kHeight = 150;

class LayoutTest : public WindowFixture, public testing::WithParamInterface<Layout>
{
protected:
    bool Rtl() const { return (GetParam().exStyle & WS_EX_LAYOUTRTL) != 0; }
    /// Where something at client x with `width` lies from the left of a client `clientWidth` wide.
    int Across(int x, int width, int clientWidth = kWidth) const
    {
        return Rtl() ? clientWidth - x - width : x;
    }
    HWND Parent() { return Top(kLeft, kTop, kWidth, kHeight, WS_POPUP | WS_VISIBLE, GetParam().exStyle); }
    /// A click straight onto the window's widget at `local`, its own pixels from the left.
    static void Press(HWND hwnd, QPoint local)
    {
        QWidget* w = platform::window::HostWidgetOf(hwnd);
        ASSERT_NE(w, nullptr);
        QMouseEvent e(QEvent::MouseButtonPress, QPointF(local), QPointF(w->mapToGlobal(local)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
        QMouseEvent up(QEvent::MouseButtonRelease, QPointF(local), QPointF(w->mapToGlobal(local)),
                       Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &up);
        platform::window::PumpPendingMessages();
    }
    LPARAM LastDown(HWND hwnd) const
    {
        for (auto it = recorder.log.rbegin(); it != recorder.log.rend(); ++it)
            if (it->hwnd == hwnd && it->msg == WM_LBUTTONDOWN)
                return it->lParam;
        return -1;
    }
};
} // namespace

TEST_P(LayoutTest, ChildrenArePlacedFromTheLeadingEdgeAndStayThere)
{
    HWND top = Parent();
    HWND child = Child(top, 1, 10, 20, 30, 15);
    EXPECT_EQ((GetWindowLongPtr(child, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0, Rtl()) << "inherited";
    QWidget* widget = platform::window::HostWidgetOf(child);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), QRect(Across(10, 30), 20, 30, 15));

    RECT screen;
    GetWindowRect(child, &screen);
    EXPECT_EQ(screen.left, kLeft + Across(10, 30));
    EXPECT_EQ(screen.right, screen.left + 30);
    RECT inParent = screen;
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&inParent), 2);
    EXPECT_EQ(inParent.left, 10);
    EXPECT_EQ(inParent.right, 40);
    EXPECT_EQ(inParent.top, 20);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    ASSERT_TRUE(GetWindowPlacement(child, &placement));
    EXPECT_EQ(placement.rcNormalPosition.left, 10);
    EXPECT_EQ(placement.rcNormalPosition.right, 40);

    recorder.log.clear();
    MoveWindow(child, 50, 20, 30, 15, TRUE);
    EXPECT_EQ(widget->geometry(), QRect(Across(50, 30), 20, 30, 15));
    const auto moves = std::find_if(recorder.log.begin(), recorder.log.end(),
                                    [&](const Received& r) { return r.hwnd == child && r.msg == WM_MOVE; });
    ASSERT_NE(moves, recorder.log.end());
    EXPECT_EQ(GET_X_LPARAM(moves->lParam), 50);

    // Growing without moving keeps the edge the coordinates count from.
    SetWindowPos(child, nullptr, 0, 0, 40, 15, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(widget->geometry(), QRect(Across(50, 40), 20, 40, 15));
    // So does the parent growing.
    SetWindowPos(top, nullptr, 0, 0, 260, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(widget->geometry(), QRect(Across(50, 40, 260), 20, 40, 15));
    GetWindowRect(child, &screen);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&screen), 2);
    EXPECT_EQ(screen.left, 50);

    EXPECT_EQ(ChildWindowFromPoint(top, POINT{55, 25}), child);
    EXPECT_EQ(ChildWindowFromPoint(top, POINT{45, 25}), top);
    EXPECT_EQ(ChildWindowFromPoint(top, POINT{95, 25}), top);
}

TEST_P(LayoutTest, PointsAndRectanglesMapFromTheLeadingEdge)
{
    HWND top = Parent();
    POINT p{0, 5};
    ASSERT_TRUE(ClientToScreen(top, &p));
    EXPECT_EQ(p.x, Rtl() ? kLeft + kWidth - 1 : kLeft);
    EXPECT_EQ(p.y, kTop + 5);
    ASSERT_TRUE(ScreenToClient(top, &p));
    EXPECT_EQ(p.x, 0);
    POINT q{kLeft + 50, kTop};
    ScreenToClient(top, &q);
    EXPECT_EQ(q.x, Rtl() ? kWidth - 1 - 50 : 50);

    // Two points are a rectangle: its edges map, and left stays left of right.
    RECT r{10, 0, 40, 10};
    MapWindowPoints(top, nullptr, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, kLeft + Across(10, 30));
    EXPECT_EQ(r.right, r.left + 30);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right, 40);
    // Between two windows, and back.
    HWND other = Top(400, 300, 50, 50);
    MapWindowPoints(top, other, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, kLeft + Across(10, 30) - 400);
    MapWindowPoints(other, top, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right, 40);
}

TEST_P(LayoutTest, MouseMessagesCarryTheWindowsOwnCoordinates)
{
    HWND top = Parent();
    HWND child = Child(top, 1, 10, 20, 30, 15);
    Press(top, QPoint(5, 7));
    EXPECT_EQ(GET_X_LPARAM(LastDown(top)), Rtl() ? kWidth - 1 - 5 : 5);
    EXPECT_EQ(GET_Y_LPARAM(LastDown(top)), 7);
    // The child is mirrored with its parent, so its own coordinates also run from its right edge.
    Press(child, QPoint(2, 3));
    EXPECT_EQ(GET_X_LPARAM(LastDown(child)), Rtl() ? 30 - 1 - 2 : 2);
    EXPECT_EQ(WindowFromPoint(POINT{kLeft + Across(10, 30) + 1, kTop + 21}), child);
}

TEST_P(LayoutTest, RegionsAndPaintingCountFromTheLeadingEdge)
{
    HWND top = Parent();
    ASSERT_TRUE(SetWindowRgn(top, CreateRectRgn(0, 0, 50, kHeight), FALSE));
    QWidget* widget = platform::window::HostWidgetOf(top);
    EXPECT_EQ(widget->mask().boundingRect(), QRect(Across(0, 50), 0, 50, kHeight));
    HRGN back = CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(GetWindowRgn(top, back), SIMPLEREGION);
    RECT box;
    GetRgnBox(back, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 50);
    DeleteObject(back);

    // After the first painting, one corner is painted over.
    PumpUntil([&] { return recorder.Count(top, WM_PAINT) > 0; });
    RECT painted{};
    DWORD layout = GDI_ERROR;
    recorder.handlers[WM_PAINT] = [&](HWND hwnd, WPARAM, LPARAM) -> LRESULT
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        painted = ps.rcPaint;
        layout = GetLayout(dc);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(dc, &ps.rcPaint, red);
        DeleteObject(red);
        EndPaint(hwnd, &ps);
        return 0;
    };
    RECT corner{0, 0, 10, 10};
    InvalidateRect(top, &corner, FALSE);
    UpdateWindow(top);
    EXPECT_EQ(painted.left, 0);
    EXPECT_EQ(painted.right, 10);
    EXPECT_EQ(layout, Rtl() ? LAYOUT_RTL : 0u);
    const QImage picture = platform::window::ClientImage(top);
    EXPECT_EQ(Pixel(picture, Across(0, 1), 5), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(picture, Across(9, 1), 5), RGB(255, 0, 0));
    EXPECT_NE(Pixel(picture, Across(10, 1), 5), RGB(255, 0, 0));
    EXPECT_NE(Pixel(picture, Across(kWidth - 1, 1), 5), RGB(255, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTest,
                         testing::Values(Layout{"LeftToRight", 0}, Layout{"RightToLeft", WS_EX_LAYOUTRTL}),
                         [](const testing::TestParamInfo<Layout>& info)
                         { return std::string(info.param.name); });

class LayoutInheritanceTest : public WindowFixture
{
};

TEST_F(LayoutInheritanceTest, ChildrenTakeTheLayoutUnlessTheirParentKeepsItToItself)
{
    auto rtl = [](HWND h) { return (GetWindowLongPtr(h, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0; };
    HWND mirrored = Top(0, 0, 200, 100, WS_POPUP | WS_VISIBLE, WS_EX_LAYOUTRTL);
    HWND child = Child(mirrored, 1, 0, 0, 100, 50);
    HWND keeper = Child(mirrored, 2, 0, 50, 100, 50, WS_CHILD | WS_VISIBLE, WS_EX_NOINHERITLAYOUT);
    HWND below = Child(keeper, 3, 0, 0, 10, 10);
    EXPECT_TRUE(rtl(child));
    EXPECT_TRUE(rtl(keeper)) << "the flag keeps the layout from the window's children, not from itself";
    EXPECT_FALSE(rtl(below));

    HWND closed = Top(0, 0, 200, 100, WS_POPUP | WS_VISIBLE, WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT);
    EXPECT_FALSE(rtl(Child(closed, 1, 0, 0, 10, 10)));
    EXPECT_FALSE(rtl(Top(0, 0, 50, 50, WS_POPUP, 0, mirrored))) << "owned windows have a layout of their own";

    // The style changed later leaves the children where they are on the screen.
    HWND plain = Top(0, 0, 200, 100);
    HWND placed = Child(plain, 1, 10, 0, 30, 10);
    SetWindowLongPtr(plain, GWL_EXSTYLE, GetWindowLongPtr(plain, GWL_EXSTYLE) | WS_EX_LAYOUTRTL);
    EXPECT_EQ(platform::window::HostWidgetOf(placed)->x(), 10);
    RECT r;
    GetWindowRect(placed, &r);
    MapWindowPoints(nullptr, plain, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 200 - 40) << "but counts them from the right";
}

namespace
{
INT_PTR CALLBACK PlainDialogProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}
} // namespace

TEST_F(LayoutInheritanceTest, ADialogTemplateWithTheRightToLeftStyleMakesAMirroredDialog)
{
    for (const DWORD exStyle : {DWORD{0}, WS_EX_LAYOUTRTL})
    {
        const auto bytes = TemplateBuilder(true, WS_POPUP, 100, 50)
                               .ExStyle(exStyle)
                               .Add({0x82, "", 7, WS_CHILD | WS_VISIBLE, 8, 4, 20, 10, "x"})
                               .Build();
        HWND dialog = CreateDialogIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()),
                                                nullptr, PlainDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        windows.push_back(dialog);
        HWND item = GetDlgItem(dialog, 7);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(GetWindowLongPtr(item, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, exStyle);
        RECT client, placed;
        GetClientRect(dialog, &client);
        GetWindowRect(item, &placed);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
        const int x = platform::window::HostWidgetOf(item)->x();
        const int width = placed.right - placed.left;
        EXPECT_GT(placed.left, 0);
        EXPECT_EQ(x, exStyle ? client.right - placed.left - width : placed.left) << exStyle;
    }
}

// Device contexts laid out from the right -----------------------------------------------------------------

namespace
{
/// A memory DC over a top-down 32-bit DIB section whose pixels the test reads as they lie in memory.
struct Surface32
{
    Surface32(int w, int h, DWORD layout = 0) : width(w), height(h)
    {
        BITMAPINFO bmi = Dib32Info(w, -h);
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        old = SelectObject(dc, bitmap);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetLayout(dc, layout);
    }
    ~Surface32()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    /// The pixel `x` from the left of the memory, whatever the DC's layout.
    COLORREF At(int x, int y) const
    {
        const BYTE* p = bits + (static_cast<std::size_t>(y) * width + x) * 4;
        return RGB(p[2], p[1], p[0]);
    }
    std::string Row(int y) const
    {
        std::string s;
        for (int x = 0; x < width; ++x)
            s += Letter(At(x, y));
        return s;
    }
    static char Letter(COLORREF c)
    {
        switch (c)
        {
        case RGB(255, 0, 0):
            return 'R';
        case RGB(0, 255, 0):
            return 'G';
        case RGB(0, 0, 255):
            return 'B';
        case RGB(255, 255, 255):
            return '.';
        default:
            return '#';
        }
    }
    int width, height;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    BYTE* bits = nullptr;
};

/// Red, green and blue pixels from left to right, in a DC of their own.
struct Stripe
{
    Stripe() : pixels(3, 1)
    {
        SetPixel(pixels.dc, 0, 0, RGB(255, 0, 0));
        SetPixel(pixels.dc, 1, 0, RGB(0, 255, 0));
        SetPixel(pixels.dc, 2, 0, RGB(0, 0, 255));
    }
    Surface32 pixels;
};
} // namespace

TEST(MirroredDcTest, DrawingLandsAcrossFromTheRightEdge)
{
    Surface32 s(20, 6);
    EXPECT_EQ(SetLayout(s.dc, LAYOUT_RTL), 0u);
    EXPECT_EQ(GetLayout(s.dc), LAYOUT_RTL);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{2, 1, 5, 3};
    FillRect(s.dc, &r, red);
    DeleteObject(red);
    EXPECT_EQ(s.Row(1), "...............RRR..");

    SetPixel(s.dc, 0, 5, RGB(0, 0, 255));
    EXPECT_EQ(s.At(19, 5), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(s.dc, 0, 5), RGB(0, 0, 255)) << "reading counts from the right too";

    MoveToEx(s.dc, 0, 4, nullptr);
    LineTo(s.dc, 4, 4);
    EXPECT_EQ(s.Row(4), "................####");

    // The clip rectangle is the DC's coordinates as well.
    IntersectClipRect(s.dc, 0, 0, 3, 6);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    RECT wide{0, 0, 20, 1};
    FillRect(s.dc, &wide, green);
    DeleteObject(green);
    EXPECT_EQ(s.Row(0), ".................GGG");
}

namespace
{
struct BlitCase
{
    const char* name;
    DWORD layout;
    DWORD rop;
    const char* row;
};

void PrintTo(const BlitCase& c, std::ostream* os)
{
    *os << c.name;
}

class MirroredBlitTest : public testing::TestWithParam<BlitCase>
{
};
} // namespace

TEST_P(MirroredBlitTest, BitmapsAreFlippedUnlessTheirOrientationIsKept)
{
    const auto& c = GetParam();
    Stripe stripe;
    Surface32 target(6, 1, c.layout);
    ASSERT_TRUE(BitBlt(target.dc, 1, 0, 3, 1, stripe.pixels.dc, 0, 0, c.rop));
    EXPECT_EQ(target.Row(0), c.row) << "BitBlt";

    Surface32 stretched(6, 1, c.layout);
    ASSERT_TRUE(StretchBlt(stretched.dc, 1, 0, 3, 1, stripe.pixels.dc, 0, 0, 3, 1, c.rop));
    EXPECT_EQ(stretched.Row(0), c.row) << "StretchBlt";

    // A DIB drawn straight from memory takes the same way.
    const DWORD pixels[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    BITMAPINFO bmi = Dib32Info(3, -1);
    Surface32 dib(6, 1, c.layout);
    ASSERT_NE(StretchDIBits(dib.dc, 1, 0, 3, 1, 0, 0, 3, 1, pixels, &bmi, DIB_RGB_COLORS, c.rop), 0);
    EXPECT_EQ(dib.Row(0), c.row) << "StretchDIBits";
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, MirroredBlitTest,
    testing::Values(BlitCase{"LeftToRight", 0, SRCCOPY, ".RGB.."},
                    BlitCase{"RightToLeft", LAYOUT_RTL, SRCCOPY, "..BGR."},
                    BlitCase{"OrientationPreserved", LAYOUT_RTL | LAYOUT_BITMAPORIENTATIONPRESERVED, SRCCOPY,
                             "..RGB."},
                    BlitCase{"NoMirrorBitmap", LAYOUT_RTL, SRCCOPY | NOMIRRORBITMAP, "..RGB."}),
    [](const testing::TestParamInfo<BlitCase>& info) { return std::string(info.param.name); });

TEST(MirroredDcTest, ACopyIntoAWholeRightToLeftBitmapFlipsIt)
{
    // The way a mirrored bitmap is made: a copy into a DC of the same size whose layout runs from the right.
    Stripe stripe;
    Surface32 flipped(3, 1, LAYOUT_RTL);
    ASSERT_TRUE(BitBlt(flipped.dc, 0, 0, 3, 1, stripe.pixels.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(flipped.Row(0), "BGR");
    // Back through a DC made for it, which is right-to-left too: the copy keeps the flipped order.
    HDC made = CreateCompatibleDC(flipped.dc);
    EXPECT_EQ(GetLayout(made), LAYOUT_RTL);
    DeleteDC(made);
    Surface32 again(3, 1, LAYOUT_RTL);
    ASSERT_TRUE(BitBlt(again.dc, 0, 0, 3, 1, flipped.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(again.Row(0), "BGR") << "between two right-to-left DCs nothing turns";
}

TEST(MirroredDcTest, TextGoesAcrossButReadsTheRightWayRound)
{
    HFONT font = CreateFont(-14, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
    auto draw = [&](Surface32& s, UINT format)
    {
        HGDIOBJ old = SelectObject(s.dc, font);
        SetBkMode(s.dc, TRANSPARENT);
        RECT r{0, 0, s.width, s.height};
        DrawText(s.dc, "Lb7", -1, &r, format | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(s.dc, old);
    };
    Surface32 left(80, 20), mirrored(80, 20, LAYOUT_RTL), trailing(80, 20, LAYOUT_RTL);
    draw(left, DT_LEFT);
    draw(mirrored, DT_RIGHT);
    draw(trailing, DT_LEFT);
    int ink = 0, differences = 0, inkOnTheLeft = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x)
        {
            ink += left.At(x, y) != RGB(255, 255, 255);
            differences += left.At(x, y) != mirrored.At(x, y);
            inkOnTheLeft += x < 40 && trailing.At(x, y) != RGB(255, 255, 255);
        }
    EXPECT_GT(ink, 20);
    EXPECT_EQ(differences, 0)
        << "the right edge of a right-to-left DC is on the left, and letters are not turned";
    EXPECT_EQ(inkOnTheLeft, 0) << "its left edge is on the right";

    Surface32 out(80, 20), outMirrored(80, 20, LAYOUT_RTL);
    for (Surface32* s : {&out, &outMirrored})
    {
        HGDIOBJ old = SelectObject(s->dc, font);
        SetBkMode(s->dc, TRANSPARENT);
        SetTextAlign(s->dc, s == &out ? TA_LEFT : TA_RIGHT);
        TextOut(s->dc, s == &out ? 0 : 80, 0, "Lb7", 3);
        SelectObject(s->dc, old);
    }
    differences = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x)
            differences += out.At(x, y) != outMirrored.At(x, y);
    EXPECT_EQ(differences, 0) << "TextOut";
    DeleteObject(font);
}
