#include "brevicam/core/SkinMessageBox.h"

#include "brevicam/core/Params.h"
#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"

#include <gtest/gtest.h>

namespace
{
class SkinMessageBoxTest : public testing::Test
{
protected:
    void SetUp() override { platform::zorneth::SetScriptedAnswers({IDYES, IDNO, IDCANCEL}); }
    void TearDown() override
    {
        platform::zorneth::ClearScriptedAnswers();
        platform::window::SetMessageBoxHook(nullptr);
    }
};

TEST_F(SkinMessageBoxTest, CaptionsComeFromTheStringTableAndTheResultIsReturnedUnchanged)
{
    EXPECT_EQ(SkinMessageBox(nullptr, "Question?", "Title", MB_YESNOCANCEL | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(SkinMessageBoxId(nullptr, IDS_NOT_ENOUGH_SPACE, "Caption", MB_ICONHAND), IDNO);
    EXPECT_EQ(SkinMessageBoxIds(nullptr, IDS_DONT_WARN_AGAIN, IDS_PRODUCT_NAME, MB_OK), IDCANCEL);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].Captions, (std::vector<std::string>{"OK", "Cancel", "&Yes", "&No"}));
    EXPECT_EQ(boxes[0].Text, "Question?");
    EXPECT_EQ(boxes[0].Style, UINT(MB_YESNOCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(boxes[1].Text, "You don't have enough free space on your hard drive.");
    EXPECT_EQ(boxes[1].Caption, "Caption");
    EXPECT_EQ(boxes[2].Text, "Don't warn me in the future.");
    EXPECT_EQ(boxes[2].Caption, "Brevicam");
}

TEST_F(SkinMessageBoxTest, ATextIsShownAsLoadedAndItsPlaceholderFilledWithTheProductName)
{
    SkinMessageBoxId(nullptr, IDS_NEED_24BIT_COLOUR, CParams::GetAppTitle(), MB_ICONHAND);
    CString format;
    format.LoadString(IDS_NEED_24BIT_COLOUR);
    std::string filled = format.Str();
    filled.replace(filled.find("%s"), 2, CParams::GetAppTitle().Str());
    SkinMessageBox(nullptr, filled.c_str(), CParams::GetAppTitle(), MB_ICONHAND);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[0].Text.find("before runing %s."), std::string::npos);
    EXPECT_NE(boxes[1].Text.find("before runing Brevicam."), std::string::npos);
    EXPECT_EQ(boxes[1].Caption, "Brevicam");
}

TEST_F(SkinMessageBoxTest, MissingStringGivesAnEmptyTextAndTheBoxIsStillShown)
{
    SkinMessageBoxIds(nullptr, 60000, 60001, MB_OK);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "");
    EXPECT_EQ(boxes[0].Caption, "");
}

TEST_F(SkinMessageBoxTest, StartupErrorBoxNamesTheSystemErrorAndIgnoresTheCallersText)
{
    std::string shownText, shownCaption;
    UINT shownStyle = 99;
    HWND shownOwner = reinterpret_cast<HWND>(1);
    platform::window::SetMessageBoxHook(
        [&](HWND owner, const char* text, const char* caption, UINT style)
        {
            shownOwner = owner;
            shownText = text;
            shownCaption = caption;
            shownStyle = style;
            return IDOK;
        });
    EXPECT_EQ(ShowStartupErrorBox(E_OUTOFMEMORY, "out of memory in the constructor"), IDOK);
    EXPECT_EQ(shownText, "The application failed to initialize properly\n"
                         "Not enough memory resources are available to complete this operation.");
    EXPECT_EQ(shownCaption, "Tavisk Webcam Vistrel");
    EXPECT_EQ(shownStyle, 0u);
    EXPECT_EQ(shownOwner, nullptr);
}

TEST(SystemErrorTextTest, TextEndsBeforeItsLineBreakAndUnknownCodesSaySo)
{
    EXPECT_EQ(GetSystemErrorText(5).Str(), "Access is denied.");
    EXPECT_EQ(GetSystemErrorText(0x80070005).Str(), "Access is denied.");
    EXPECT_EQ(GetSystemErrorText(0x12345).Str(), "Unknown error");
}
} // namespace
