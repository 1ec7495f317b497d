#include "FaldraTestSupport.h"

#include "shared/faldra/AlphaDialog2.h"
#include "shared/faldra/CoreDialog.h"

using faldra::CAlphaDialog2;
using faldra::CCoreDialog;
using faldra_test::Grab;
using faldra_test::Pump;

namespace
{
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

COLORREF Pixel(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

class CoreDialogTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create(IDD_PLAIN, nullptr)); }
    void TearDown() override { dialog.DestroyWindow(); }
    void Resize(int cx, int cy)
    {
        dialog.SetWindowPos(nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER);
        dialog.ShowWindow(SW_SHOW);
    }
    QImage Paint()
    {
        dialog.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return Grab(dialog.GetSafeHwnd());
    }

    CCoreDialog dialog;
};
} // namespace

TEST_F(CoreDialogTest, CornerStyleSizesTheWindowToEachBitmap)
{
    EXPECT_TRUE(dialog.SetBitmap(IDB_TILE10));
    CRect window;
    dialog.GetWindowRect(&window);
    EXPECT_EQ(window.Size(), CSize(10, 10));
    EXPECT_TRUE(dialog.SetBitmap(IDB_HALVES));
    dialog.GetWindowRect(&window);
    EXPECT_EQ(window.Size(), CSize(8, 8));
    dialog.SetStyle(CCoreDialog::Stretch);
    Resize(30, 30);
    dialog.SetStyle(CCoreDialog::Normal);
    dialog.GetWindowRect(&window);
    EXPECT_EQ(window.Size(), CSize(8, 8));
    EXPECT_TRUE(dialog.SetBitmap(static_cast<HBITMAP>(nullptr)));
    EXPECT_TRUE(dialog.SetBitmap(IDB_MISSING)); // not found: no background, still 1
}

TEST_F(CoreDialogTest, TiledCentredAndStretchedLayouts)
{
    dialog.SetStyle(CCoreDialog::Tile);
    dialog.SetBitmap(IDB_TILE10); // red top-left pixel on blue
    Resize(25, 25);
    QImage image = Paint();
    for (int x : {0, 10, 20})
        for (int y : {0, 10, 20})
            EXPECT_EQ(Pixel(image, x, y), kRed) << x << "," << y;
    EXPECT_EQ(Pixel(image, 5, 5), kBlue);
    EXPECT_EQ(Pixel(image, 24, 24), kBlue);

    dialog.SetStyle(CCoreDialog::Center);
    dialog.SetBitmap(IDB_HALVES); // 8x8, left half red: its middle shows in a 4x4 client
    Resize(4, 4);
    image = Paint();
    EXPECT_EQ(Pixel(image, 1, 1), kRed);
    EXPECT_EQ(Pixel(image, 2, 1), kBlue);

    dialog.SetStyle(CCoreDialog::Stretch);
    Resize(20, 20);
    image = Paint();
    EXPECT_EQ(Pixel(image, 0, 0), kRed);
    EXPECT_EQ(Pixel(image, 19, 19), kBlue);
}

TEST(AlphaDialog2Test, PictureIsPremultipliedAndOnlyThirtyTwoBitPicturesAreTaken)
{
    CAlphaDialog2 dialog;
    EXPECT_EQ(dialog.SetAlphaBitmap(IDB_HALVES), 0);
    EXPECT_EQ(dialog.GetAlphaBitmap(), nullptr);
    EXPECT_EQ(dialog.SetAlphaBitmap(IDB_MISSING), 0);
    ASSERT_EQ(dialog.SetAlphaBitmap(IDB_HALF_ALPHA), 1);
    DIBSECTION dib{};
    ASSERT_NE(GetObject(dialog.GetAlphaBitmap(), sizeof(dib), &dib), 0);
    const auto* pixel = static_cast<const BYTE*>(dib.dsBm.bmBits);
    EXPECT_EQ(pixel[2], 100); // red
    EXPECT_EQ(pixel[1], 50);  // green
    EXPECT_EQ(pixel[0], 25);  // blue
    EXPECT_EQ(pixel[3], 128);
}

TEST(AlphaDialog2Test, DialogFloatsOverItsBackgroundWindowWhichFollowsAndCloses)
{
    CAlphaDialog2 dialog;
    dialog.SetAlphaBitmap(IDB_HALF_ALPHA);
    ASSERT_TRUE(dialog.Create(IDD_PLAIN, nullptr));
    const HWND background = dialog.GetBackgroundWindow();
    ASSERT_TRUE(IsWindow(background));
    EXPECT_EQ(GetWindow(background, GW_OWNER), nullptr);
    char text[64];
    GetWindowText(background, text, sizeof text);
    EXPECT_EQ(std::string(text), std::string(48, 'X'));
    EXPECT_TRUE(GetWindowLongPtr(background, GWL_EXSTYLE) & WS_EX_LAYERED);

    EXPECT_TRUE(dialog.GetExStyle() & WS_EX_LAYERED);
    COLORREF key = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(dialog.GetSafeHwnd(), &key, nullptr, &flags));
    EXPECT_EQ(key, CAlphaDialog2::kKeyColor);
    EXPECT_TRUE(flags & LWA_COLORKEY);
    CRect client;
    dialog.GetClientRect(&client);
    CRect back;
    GetWindowRect(background, &back);
    EXPECT_EQ(back.Size(), client.Size());

    dialog.SendMessage(WM_MOVE, 0, MAKELPARAM(40, 50));
    GetWindowRect(background, &back);
    EXPECT_EQ(back.TopLeft(), CPoint(40, 50));

    dialog.SendMessage(WM_CLOSE);
    Pump();
    EXPECT_FALSE(IsWindow(background));
    EXPECT_EQ(dialog.GetBackgroundWindow(), nullptr);
    if (dialog.GetSafeHwnd())
        dialog.DestroyWindow();
}

TEST(AlphaDialog2Test, CancelDestroysTheBackgroundWindow)
{
    CWnd owner;
    ASSERT_TRUE(
        owner.CreateEx(0, AfxRegisterWndClass(0), "owner", WS_POPUP, CRect(0, 0, 10, 10), nullptr, 0));
    CAlphaDialog2 dialog;
    ASSERT_TRUE(dialog.Create(IDD_PLAIN, &owner));
    const HWND background = dialog.GetBackgroundWindow();
    EXPECT_EQ(GetWindow(background, GW_OWNER), owner.GetSafeHwnd());
    dialog.OnCancel();
    EXPECT_FALSE(IsWindow(background));
    if (dialog.GetSafeHwnd())
        dialog.DestroyWindow();
    owner.DestroyWindow();
}
