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

namespace
{
TEST(IsFullScreenTest, TrueWhileTheLiveVideoSurfaceLivesInTheFullScreenHost)
{
    CWnd main, host, surface;
    ASSERT_TRUE(main.CreateEx(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr));
    ASSERT_TRUE(host.CreateEx(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr));
    ASSERT_TRUE(surface.Create("STATIC", "", WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 80), &main, 1002));
    theApp.m_pMainWnd = &main;
    EXPECT_FALSE(g_params.IsFullScreen());
    ::SetParent(surface.GetSafeHwnd(), host.GetSafeHwnd());
    g_params.SetFullscreenWnd(host.GetSafeHwnd());
    EXPECT_TRUE(g_params.IsFullScreen());
    ::SetParent(surface.GetSafeHwnd(), main.GetSafeHwnd());
    g_params.SetFullscreenWnd(nullptr);
    EXPECT_FALSE(g_params.IsFullScreen());
    theApp.m_pMainWnd = nullptr;
}
} // namespace
