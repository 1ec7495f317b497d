#include "Controls/GdiPlusBitmap.h"
#include "tests/controls/controls_test_ids.h"

#include <gtest/gtest.h>

extern "C" UINT ControlsProbePngWidth(UINT id);

TEST(KitResourcesTest, EachModuleLoadsItsOwnImageOfAnId)
{
    EXPECT_EQ(CPNGResource(IDP_ALPHA).GetWidth(), 40u) << "the program's image";
    EXPECT_EQ(ControlsProbePngWidth(IDP_ALPHA), 8u) << "the library's image of the same id";
    EXPECT_EQ(ControlsProbePngWidth(IDP_DIALOG), 120u) << "what the library lacks comes from the program";
    EXPECT_EQ(ControlsProbePngWidth(4242), 0u);
}
