#include "platform/listview/ImageList.h"

#include "ViewTestSupport.h"

namespace
{
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

using testing_support::Canvas;

/// A strip of two 4 x 4 images: the first red with a blue corner pixel, the second blue.
HBITMAP Strip()
{
    HBITMAP strip = view_test::SolidBitmap(8, 4, kBlue);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, strip);
    const RECT first{0, 0, 4, 4};
    HBRUSH red = CreateSolidBrush(kRed);
    FillRect(dc, &first, red);
    DeleteObject(red);
    SetPixel(dc, 0, 0, kBlue);
    SelectObject(dc, old);
    DeleteDC(dc);
    return strip;
}

TEST(ImageListTest, AStripIsCutIntoImagesAndTheMaskColourBecomesTransparent)
{
    HIMAGELIST list = ImageList_Create(4, 4, ILC_COLOR32 | ILC_MASK, 2, 2);
    ASSERT_NE(list, nullptr);
    HBITMAP strip = Strip();
    EXPECT_EQ(ImageList_AddMasked(list, strip, kBlue), 0);
    EXPECT_EQ(ImageList_GetImageCount(list), 2);
    EXPECT_EQ(ImageList_Add(list, strip, nullptr), 2);
    DeleteObject(strip);

    Canvas canvas(20, 10, kWhite);
    ASSERT_TRUE(ImageList_Draw(list, 0, canvas.dc(), 2, 2, ILD_NORMAL));
    EXPECT_EQ(canvas.at(3, 3), kRed);
    EXPECT_EQ(canvas.at(2, 2), kWhite); // the masked corner
    ASSERT_TRUE(ImageList_Draw(list, 1, canvas.dc(), 10, 2, ILD_NORMAL));
    EXPECT_EQ(canvas.at(11, 3), kWhite); // all blue: all transparent
    ASSERT_TRUE(ImageList_DrawEx(list, 2, canvas.dc(), 10, 2, 0, 0, CLR_NONE, CLR_NONE, ILD_NORMAL));
    EXPECT_EQ(canvas.at(10, 2), kBlue); // added without a mask: opaque

    int cx = 0;
    int cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(cx, 4);
    EXPECT_TRUE(ImageList_Remove(list, 0));
    EXPECT_EQ(ImageList_GetImageCount(list), 3);
    EXPECT_FALSE(ImageList_Draw(list, 5, canvas.dc(), 0, 0, ILD_NORMAL));
    EXPECT_TRUE(ImageList_Remove(list, -1));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_TRUE(ImageList_Destroy(list));
}

TEST(ImageListTest, BadInputIsRefusedWithoutHarm)
{
    EXPECT_EQ(ImageList_Create(0, 4, ILC_COLOR32, 0, 0), nullptr);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32, 0, 0);
    HBITMAP narrow = view_test::SolidBitmap(8, 16, kRed);
    EXPECT_EQ(ImageList_Add(list, narrow, nullptr), -1); // narrower than one image
    EXPECT_EQ(ImageList_Add(list, nullptr, nullptr), -1);
    EXPECT_EQ(ImageList_Add(nullptr, narrow, nullptr), -1);
    EXPECT_FALSE(ImageList_Replace(list, 0, narrow, nullptr));
    DeleteObject(narrow);
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_FALSE(ImageList_Destroy(nullptr));
    ImageList_Destroy(list);
}

TEST(ImageListTest, TheObjectOwnsItsListAndTemporariesDoNot)
{
    HIMAGELIST raw = nullptr;
    {
        CImageList owner;
        ASSERT_TRUE(owner.Create(4, 4, ILC_COLOR32, 0, 1));
        raw = owner.m_hImageList;
        CImageList* temporary = CImageList::FromHandle(raw);
        ASSERT_NE(temporary, nullptr);
        EXPECT_EQ(temporary->GetSafeHandle(), raw);
        EXPECT_EQ(CImageList::FromHandle(nullptr), nullptr);
    }
    // The owner destroyed the list; the temporary never does (the sanitizer build checks both).
    SUCCEED();
}
} // namespace

namespace
{
TEST(ImageListTest, AnOverlayIsDrawnOverTheImageThatAsksForIt)
{
    HIMAGELIST list = ImageList_Create(4, 4, ILC_COLOR32 | ILC_MASK, 2, 2);
    HBITMAP red = view_test::SolidBitmap(4, 4, kRed);
    ImageList_Add(list, red, nullptr);
    DeleteObject(red);
    HBITMAP corner = view_test::SolidBitmap(4, 4, kWhite);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, corner);
    SetPixel(dc, 0, 0, kBlue);
    SelectObject(dc, old);
    DeleteDC(dc);
    ASSERT_EQ(ImageList_AddMasked(list, corner, kWhite), 1); // only the corner pixel is opaque
    DeleteObject(corner);
    EXPECT_FALSE(ImageList_SetOverlayImage(list, 1, 16));
    EXPECT_FALSE(ImageList_SetOverlayImage(list, 7, 1));
    ASSERT_TRUE(ImageList_SetOverlayImage(list, 1, 1));

    Canvas canvas(10, 10, kWhite);
    ImageList_Draw(list, 0, canvas.dc(), 0, 0, ILD_NORMAL);
    EXPECT_EQ(canvas.at(0, 0), kRed);
    ImageList_Draw(list, 0, canvas.dc(), 0, 0, ILD_NORMAL | INDEXTOOVERLAYMASK(1));
    EXPECT_EQ(canvas.at(0, 0), kBlue);
    EXPECT_EQ(canvas.at(2, 2), kRed);
    ImageList_Draw(list, 0, canvas.dc(), 5, 5, ILD_NORMAL | INDEXTOOVERLAYMASK(2)); // no such overlay
    EXPECT_EQ(canvas.at(5, 5), kRed);

    ImageList_Remove(list, 1); // the overlay goes with its image
    ImageList_Draw(list, 0, canvas.dc(), 0, 0, ILD_NORMAL | INDEXTOOVERLAYMASK(1));
    EXPECT_EQ(canvas.at(0, 0), kRed);
    ImageList_Destroy(list);
}
} // namespace

namespace
{
/// An icon of `size` x `size` from its pixels (0xAARRGGBB, straight alpha).
HICON IconOf(int size, const std::function<DWORD(int x, int y)>& pixel)
{
    void* bits = nullptr;
    HBITMAP colour = testing_support::TopDownBitmap(size, size, &bits);
    auto* p = static_cast<DWORD*>(bits);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            p[y * size + x] = pixel(x, y);
    ICONINFO info{TRUE, 0, 0, nullptr, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    return icon;
}

TEST(ImageListTest, IconsAreAddedOrReplacedAtTheListsSize)
{
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 4);
    HICON red = IconOf(16, [](int x, int) { return x < 8 ? 0xFFFF0000u : 0u; }); // left half red
    HICON blue = IconOf(32, [](int, int) { return 0xFF0000FFu; });               // larger than the list's
    EXPECT_EQ(ImageList_AddIcon(list, red), 0);
    EXPECT_EQ(ImageList_AddIcon(list, blue), 1);
    EXPECT_EQ(ImageList_ReplaceIcon(list, 0, blue), 0);
    EXPECT_EQ(ImageList_ReplaceIcon(list, -1, red), 2);
    EXPECT_EQ(ImageList_ReplaceIcon(list, 9, red), -1);
    EXPECT_EQ(ImageList_AddIcon(list, nullptr), -1);
    EXPECT_EQ(ImageList_GetImageCount(list), 3);

    Canvas canvas(60, 20, kWhite);
    ImageList_Draw(list, 0, canvas.dc(), 0, 0, ILD_NORMAL);
    ImageList_Draw(list, 1, canvas.dc(), 20, 0, ILD_NORMAL);
    ImageList_Draw(list, 2, canvas.dc(), 40, 0, ILD_TRANSPARENT);
    EXPECT_EQ(canvas.at(12, 12), kBlue); // replaced
    EXPECT_EQ(canvas.at(35, 15), kBlue); // scaled down, whole
    EXPECT_EQ(canvas.at(36, 0), kWhite);
    EXPECT_EQ(canvas.at(42, 8), kRed);
    EXPECT_EQ(canvas.at(52, 8), kWhite); // transparent half
    DestroyIcon(red);
    DestroyIcon(blue);
    ImageList_Destroy(list);
}

TEST(ImageListTest, ALinkOverlayIconIsDrawnOverAnItemsIcon)
{
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 4);
    HICON file = IconOf(16, [](int, int) { return 0xFFFF0000u; });
    // The link arrow: a blue 6 x 6 corner at the bottom left, the rest transparent.
    HICON link = IconOf(16, [](int x, int y) { return x < 6 && y >= 10 ? 0xFF0000FFu : 0u; });
    ASSERT_EQ(ImageList_AddIcon(list, file), 0);
    ASSERT_EQ(ImageList_AddIcon(list, link), 1);
    ASSERT_TRUE(ImageList_SetOverlayImage(list, 1, 2));

    Canvas canvas(40, 20, kWhite);
    ImageList_Draw(list, 0, canvas.dc(), 0, 0, ILD_NORMAL | INDEXTOOVERLAYMASK(2));
    EXPECT_EQ(canvas.at(2, 13), kBlue);
    EXPECT_EQ(canvas.at(10, 4), kRed);
    ImageList_Draw(list, 0, canvas.dc(), 20, 0, ILD_NORMAL);
    EXPECT_EQ(canvas.at(22, 13), kRed);

    // The list's icon of an item carries the overlay too.
    HICON combined = ImageList_GetIcon(list, 0, INDEXTOOVERLAYMASK(2));
    ASSERT_NE(combined, nullptr);
    Canvas again(20, 20, kWhite);
    ASSERT_TRUE(DrawIconEx(again.dc(), 0, 0, combined, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(again.at(2, 13), kBlue);
    EXPECT_EQ(again.at(10, 4), kRed);
    EXPECT_EQ(ImageList_GetIcon(list, 5, ILD_NORMAL), nullptr);
    for (HICON icon : {file, link, combined})
        DestroyIcon(icon);
    ImageList_Destroy(list);
}
} // namespace
