#include "shared/faldra/PictureEx.h"

#include <gtest/gtest.h>

TEST(PictureExResourceTest, LoadsANamedResourceAndFailsCleanlyWithoutIt)
{
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                CRect(0, 0, 100, 100), nullptr, 0));
    {
        CPictureEx picture;
        ASSERT_TRUE(picture.Create("", WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), &parent));
        ASSERT_TRUE(picture.Load("THREE_FRAMES", "GIF"));
        EXPECT_EQ(picture.GetFrameCount(), 3);
        EXPECT_EQ(picture.GetSize().cx, 16);
        EXPECT_FALSE(picture.Load("MISSING", "GIF"));
        EXPECT_FALSE(picture.IsGIF());
        EXPECT_EQ(picture.GetSize().cx, 0);
    }
    parent.DestroyWindow();
}
