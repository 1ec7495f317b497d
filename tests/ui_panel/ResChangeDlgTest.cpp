#include "brevicam/ui/ResChangeDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/ui/DummyDlg.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinApp.h"
#include "resources/brevicam/resource.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/media/WindowFinder.h"
#include "tests/support/GdiTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/ui_panel/PixelCount.h"

#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

using controls_test::Grab;
using controls_test::Pixel;
using ui_panel_test::CountNear;

namespace
{
constexpr COLORREF kDark = RGB(0x33, 0x33, 0x33);
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);

/// What a test does once a notice is on the screen; runs on the notice's modal loop.
std::function<void(HWND)> s_act;
int s_shown = 0;
UINT_PTR s_timer = 0;

HWND FindNotice()
{
    return media_test::ShownWindowWithControl(IDC_RES_CHANGE_MESSAGE);
}

void CALLBACK ActOnNotice(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND notice = FindNotice();
    if (!notice)
        return;
    ::KillTimer(nullptr, id);
    s_timer = 0;
    ++s_shown;
    s_act(notice);
}

std::string TextOf(HWND dialog, int id)
{
    char text[512] = {};
    ::GetWindowText(::GetDlgItem(dialog, id), text, sizeof text);
    return text;
}

CRect PlaceOf(HWND dialog, int id)
{
    CRect rect;
    ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<LPPOINT>(&rect), 2);
    return rect;
}

void ClickControl(HWND dialog, int id)
{
    const CRect rect = PlaceOf(dialog, id);
    controls_test::Click(::GetDlgItem(dialog, id), QPoint(rect.Width() / 2, rect.Height() / 2));
}

bool Checked(HWND dialog)
{
    return ::SendMessage(::GetDlgItem(dialog, IDC_RES_CHANGE_CHECK), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int Brightness(COLORREF c)
{
    return (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3;
}

class ResChangeDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        capture_testing::PrepareCaptureSettings(m_dir.Path());
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_ResWarning = 1;
            g_params.m_BMResWarning = 1;
        }
        m_parent.CreateEx(0, AfxRegisterWndClass(0), "panel", WS_POPUP | WS_VISIBLE, 700, 100, 300, 475,
                          nullptr, nullptr);
        s_shown = 0;
    }
    void TearDown() override
    {
        Disarm();
        s_act = nullptr;
        m_parent.DestroyWindow();
        m_app.reset();
    }

    /// Arms the action for the next notice that shows.
    static void WhenShown(std::function<void(HWND)> act)
    {
        Disarm();
        s_act = std::move(act);
        s_timer = ::SetTimer(nullptr, 0, 10, &ActOnNotice);
    }
    static void Disarm()
    {
        if (s_timer)
            ::KillTimer(nullptr, s_timer);
        s_timer = 0;
    }

    testing_support::TempDir m_dir;
    std::optional<CWinApp> m_app;
    CWnd m_parent;
};

enum class Answer
{
    TickThenOk,
    Ok,
    TickThenEscape
};

struct AnswerCase
{
    const char* name;
    Answer answer;
    INT_PTR result;
    int dontWarnAgain;
};

class NoticeAnswerTest : public ResChangeDlgTest, public testing::WithParamInterface<AnswerCase>
{
};

TEST_P(NoticeAnswerTest, OkTakesTheBoxAndEscapeLeavesItUnread)
{
    const AnswerCase& c = GetParam();
    CResChangeDlg notice(&m_parent);
    notice.m_strMessage = "The message";
    notice.m_strCheckCaption = "The caption";
    bool startedUnchecked = false;
    bool parentDisabled = false;
    std::string title, message, caption, ok;
    WhenShown(
        [&](HWND dialog)
        {
            startedUnchecked = !Checked(dialog);
            parentDisabled = !m_parent.IsWindowEnabled();
            title = TextOf(dialog, IDC_RES_CHANGE_TITLE);
            message = TextOf(dialog, IDC_RES_CHANGE_MESSAGE);
            caption = TextOf(dialog, IDC_RES_CHANGE_CHECK_CAPTION);
            ok = TextOf(dialog, IDOK);
            if (c.answer != Answer::Ok)
            {
                ClickControl(dialog, IDC_RES_CHANGE_CHECK);
                EXPECT_TRUE(Checked(dialog));
            }
            if (c.answer == Answer::TickThenEscape)
                ::PostMessage(::GetDlgItem(dialog, IDC_RES_CHANGE_CHECK), WM_KEYDOWN, VK_ESCAPE, 0);
            else
                ClickControl(dialog, IDOK);
        });
    EXPECT_EQ(notice.DoModal(), c.result);
    EXPECT_EQ(s_shown, 1);
    EXPECT_EQ(notice.m_nDontWarnAgain, c.dontWarnAgain);
    EXPECT_TRUE(startedUnchecked);
    EXPECT_TRUE(parentDisabled) << "the notice is modal to the window that opened it";
    EXPECT_TRUE(m_parent.IsWindowEnabled());
    EXPECT_EQ(title, "Brevicam");
    EXPECT_EQ(message, "The message");
    EXPECT_EQ(caption, "The caption");
    EXPECT_EQ(ok, "OK");
}

INSTANTIATE_TEST_SUITE_P(Answers, NoticeAnswerTest,
                         testing::Values(AnswerCase{"TickedAndOk", Answer::TickThenOk, IDOK, 1},
                                         AnswerCase{"OkAlone", Answer::Ok, IDOK, 0},
                                         AnswerCase{"TickedAndEscape", Answer::TickThenEscape, IDCANCEL, 1}),
                         [](const testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

struct LoweredCase
{
    const char* name;
    int state;
    const char* setting;
    const char* otherSetting;
    const char* message;
};

class LoweredResolutionTest : public ResChangeDlgTest, public testing::WithParamInterface<LoweredCase>
{
};

TEST_P(LoweredResolutionTest, DontWarnMeIsSavedAndHonouredNextTime)
{
    const LoweredCase& c = GetParam();
    std::string message, caption;
    WhenShown(
        [&](HWND dialog)
        {
            message = TextOf(dialog, IDC_RES_CHANGE_MESSAGE);
            caption = TextOf(dialog, IDC_RES_CHANGE_CHECK_CAPTION);
            ::SendMessage(::GetDlgItem(dialog, IDC_RES_CHANGE_CHECK), BM_SETCHECK, BST_CHECKED, 0);
            ClickControl(dialog, IDOK);
        });
    EXPECT_EQ(CResChangeDlg::WarnResolutionLowered(&m_parent, c.state), IDOK);
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(caption, "Don't warn me in the future.");

    g_params.Save();
    EXPECT_EQ(m_app->GetProfileInt("Settings", c.setting, 1), 0);
    EXPECT_EQ(m_app->GetProfileInt("Settings", c.otherSetting, 0), 1);

    // Next time nothing shows.
    WhenShown([](HWND dialog) { ClickControl(dialog, IDOK); });
    EXPECT_EQ(CResChangeDlg::WarnResolutionLowered(&m_parent, c.state), 0);
    EXPECT_EQ(s_shown, 1);
    g_params.Load();
    EXPECT_EQ(CResChangeDlg::WarnResolutionLowered(&m_parent, c.state), 0);
    EXPECT_EQ(s_shown, 1);
    s_act = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LoweredResolutionTest,
    testing::Values(LoweredCase{"Video", PS_RES_LOWERED_800, "ResWarning", "BMResWarning",
                                "Note: The selected resolution is not supported in video capture mode. Your "
                                "webcam's resolution will be automatically adjusted to the maximum value "
                                "supported."},
                    LoweredCase{
                        "Burst", PS_RES_LOWERED_640, "BMResWarning", "ResWarning",
                        "Note: The selected resolution is not supported in burst mode.\n Your webcam's "
                        "resolution will be automatically adjusted to the maximum value supported."}),
    [](const testing::TestParamInfo<LoweredCase>& info) { return info.param.name; });

TEST_F(ResChangeDlgTest, OkWithoutTheBoxKeepsWarningAndOtherStatesShowNothing)
{
    WhenShown([](HWND dialog) { ClickControl(dialog, IDOK); });
    EXPECT_EQ(CResChangeDlg::WarnResolutionLowered(&m_parent, PS_RES_LOWERED_640), IDOK);
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        EXPECT_EQ(g_params.m_BMResWarning, 1);
    }
    s_act = nullptr;
    EXPECT_EQ(CResChangeDlg::WarnResolutionLowered(&m_parent, PS_MODE_CHANGED), 0);
    EXPECT_EQ(s_shown, 1);
}

TEST_F(ResChangeDlgTest, ATopmostNoticeOpensAtTheScreensTopLeftCorner)
{
    CResChangeDlg* running = nullptr;
    CRect place;
    LONG exStyle = 0;
    bool knownWhileRunning = false;
    WhenShown(
        [&](HWND dialog)
        {
            ::GetWindowRect(dialog, &place);
            exStyle = ::GetWindowLong(dialog, GWL_EXSTYLE);
            knownWhileRunning = running && running->GetSafeHwnd() == dialog;
            ClickControl(dialog, IDOK);
        });
    EXPECT_EQ(CResChangeDlg::WarnResolutionLowered(&m_parent, PS_RES_LOWERED_640, 1, &running), IDOK);
    EXPECT_EQ(place.TopLeft(), CPoint(0, 0));
    EXPECT_EQ(place.Size(), CSize(473, 272));
    EXPECT_NE(exStyle & WS_EX_TOPMOST, 0);
    EXPECT_TRUE(knownWhileRunning);
    EXPECT_EQ(running, nullptr);
}

TEST_F(ResChangeDlgTest, TheTextsStandOnTheirGroundsLegibly)
{
    CResChangeDlg notice(&m_parent);
    notice.m_strMessage.LoadString(AppResourceInstance(), IDS_RES_LOWERED_BURST);
    notice.m_strCheckCaption.LoadString(AppResourceInstance(), IDS_DONT_WARN_AGAIN);
    QImage shown;
    CRect message, title, caption;
    WhenShown(
        [&](HWND dialog)
        {
            Grab(dialog);
            shown = platform::window::HostWidgetOf(dialog)->grab().toImage();
            message = PlaceOf(dialog, IDC_RES_CHANGE_MESSAGE);
            title = PlaceOf(dialog, IDC_RES_CHANGE_TITLE);
            caption = PlaceOf(dialog, IDC_RES_CHANGE_CHECK_CAPTION);
            ClickControl(dialog, IDOK);
        });
    ASSERT_EQ(notice.DoModal(), IDOK);
    ASSERT_EQ(shown.size(), QSize(473, 272));
    auto part = [&](const CRect& r) { return shown.copy(r.left, r.top, r.Width(), r.Height()); };
    // Dark text on a light ground, white text on a dark one.
    for (const QImage& dark : {part(message), part(caption)})
    {
        EXPECT_GT(CountNear(dark, kDark, 40), 40);
        EXPECT_GT(Brightness(Pixel(dark, dark.width() - 2, dark.height() - 2)), 200);
    }
    const QImage white = part(title);
    EXPECT_GT(CountNear(white, kWhite, 30), 20);
    EXPECT_LT(Brightness(Pixel(white, white.width() - 2, 2)), 80);
}

// The placeholder strip -------------------------------------------------------------------------------------

TEST_F(ResChangeDlgTest, ThePlaceholderKeepsItsPlaceByTheMainWindowsCorner)
{
    CWnd main;
    main.CreateEx(0, AfxRegisterWndClass(0), "main", WS_POPUP | WS_VISIBLE, 100, 80, 433, 475, nullptr,
                  nullptr);
    m_app->m_pMainWnd = &main;
    CDummyDlg placeholder(nullptr);
    ASSERT_TRUE(placeholder.Create(CDummyDlg::IDD, &main));
    placeholder.ShowWindow(SW_SHOW);
    for (const CPoint& at : {CPoint(100, 80), CPoint(260, 150)})
    {
        main.SetWindowPos(nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        placeholder.MoveToMainWindowCorner();
        CRect mainRect, strip;
        main.GetWindowRect(&mainRect);
        placeholder.GetWindowRect(&strip);
        EXPECT_EQ(strip.left, mainRect.right - 430);
        EXPECT_EQ(strip.bottom, mainRect.bottom - 230);
        EXPECT_EQ(strip.Size(), CSize(2, 150));
    }
    placeholder.DestroyWindow();
    m_app->m_pMainWnd = nullptr;
    main.DestroyWindow();
}
} // namespace
