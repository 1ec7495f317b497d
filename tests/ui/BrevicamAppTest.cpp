#include "brevicam/ui/BrevicamApp.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "platform/resources/Resources.h"
#include "platform/window/WinUser.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace
{
class BrevicamAppTest : public testing::Test
{
protected:
    void TearDown() override
    {
        platform::zorneth::ClearScriptedAnswers();
        if (theApp.m_hLangResourceDLL)
            ::FreeLibrary(theApp.m_hLangResourceDLL);
        theApp.m_hLangResourceDLL = nullptr;
    }
};

TEST_F(BrevicamAppTest, WithoutALanguageLibraryTextsComeFromTheProgram)
{
    EXPECT_EQ(AfxGetApp(), &theApp);
    EXPECT_EQ(theApp.GetResourceInstance(), AfxGetInstanceHandle());
    EXPECT_EQ(CParams::GetAppTitle().Str(), "Brevicam");
}

TEST_F(BrevicamAppTest, ALoadedLanguageLibraryGivesTheTitleTheCaptionsAndTheTexts)
{
    const auto path = testing_support::BinaryDir() / "bin" / "ui_tests-FRA.so";
    HMODULE library = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(library, nullptr) << path;
    theApp.m_hLangResourceDLL = library;
    EXPECT_EQ(theApp.GetResourceInstance(), library);
    EXPECT_EQ(CParams::GetAppTitle().Str(), "Brevicam (français)");

    platform::zorneth::SetScriptedAnswers({IDOK});
    SkinMessageBoxId(nullptr, IDS_NOT_ENOUGH_SPACE, CParams::GetAppTitle(), MB_OK);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Captions, (std::vector<std::string>{"D'accord", "Annuler", "&Oui", "&Non"}));
    EXPECT_EQ(boxes[0].Text, "Espace disque insuffisant.");
    EXPECT_EQ(boxes[0].Caption, "Brevicam (français)");
}
} // namespace
