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
