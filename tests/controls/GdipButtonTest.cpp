#include "Controls/GdipButton.h"

#include "Controls/TransparentDialogBase.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/controls/controls_test_ids.h"

#include <vector>

using namespace controls_test;

namespace
{
constexpr COLORREF kNormal = RGB(10, 200, 10);
constexpr COLORREF kHover = RGB(10, 10, 200);
constexpr COLORREF kPressed = RGB(200, 10, 10);
constexpr COLORREF kDisabled = RGB(100, 100, 100);
constexpr COLORREF kPressedHover = RGB(200, 200, 10);

class ButtonsDialog : public CDialog
{
public:
    std::vector<int> clicked;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (HIWORD(wParam) == BN_CLICKED)
            clicked.push_back(LOWORD(wParam));
        return CDialog::OnCommand(wParam, lParam);
    }
};

/// A button of the group that is not one of the kit's: it must never see the kit's uncheck message.
class ForeignButton : public CButton
{
public:
    int uncheckMessages = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_USER + 0x100)
            ++uncheckMessages;
        return CButton::WindowProc(message, wParam, lParam);
    }
};

struct TooltipButton : CGdipButton
{
    using CGdipButton::m_pToolTip;
};

class GdipButtonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create(IDD_BUTTONS));
        dialog.SetWindowPos(nullptr, 50, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        for (auto [button, id] :
             {std::pair{&radio1, IDC_RADIO1}, {&radio2, IDC_RADIO2}, {&check, IDC_CHECK}, {&push, IDC_PUSH}})
        {
            button->LoadImages(IDP_BTN_NORMAL, IDP_BTN_HOVER, IDP_BTN_PRESSED, IDP_BTN_DISABLED,
                               IDP_BTN_PRESSEDHOVER);
            ASSERT_TRUE(button->SubclassDlgItem(id, &dialog));
        }
        ASSERT_TRUE(foreign.SubclassDlgItem(IDC_RADIO3, &dialog));
        dialog.ShowWindow(SW_SHOW);
        Pump();
    }
    void TearDown() override
    {
        dialog.DestroyWindow();
        Pump();
    }
    static COLORREF Face(CWnd& button) { return Pixel(Grab(button), 5, 5); }

    ButtonsDialog dialog;
    CGdipButton radio1, radio2, check;
    TooltipButton push;
    ForeignButton foreign;
};
} // namespace

TEST_F(GdipButtonTest, EachStateShowsItsOwnImage)
{
    EXPECT_EQ(Face(push), kNormal);
    Mouse(push, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton);
    EXPECT_TRUE(push.IsHovering());
    EXPECT_EQ(Face(push), kHover);
    Mouse(push, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    EXPECT_FALSE(push.IsHovering()) << "pressing ends the hover";
    EXPECT_EQ(Face(push), kPressed);
    Mouse(push, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::NoButton);
    push.SendMessage(WM_MOUSELEAVE);
    EXPECT_EQ(Face(push), kNormal);
    EXPECT_EQ(dialog.clicked, std::vector<int>{IDC_PUSH});
    EXPECT_FALSE(push.SendMessage(BM_GETCHECK)) << "a push button never checks";

    push.EnableWindow(FALSE);
    EXPECT_EQ(Face(push), kDisabled);
}

TEST_F(GdipButtonTest, CheckedButtonUnderThePointerShowsPressedHover)
{
    Click(check, QPoint(5, 5));
    EXPECT_TRUE(check.IsChecked());
    Mouse(check, QEvent::MouseMove, QPoint(6, 6), Qt::NoButton);
    EXPECT_EQ(Face(check), kPressedHover);
    check.SendMessage(WM_MOUSELEAVE);
    EXPECT_EQ(Face(check), kPressed);
    Click(check, QPoint(5, 5));
    EXPECT_FALSE(check.IsChecked());
    check.SendMessage(WM_KEYDOWN, VK_SPACE);
    EXPECT_TRUE(check.IsChecked()) << "space toggles a check box";
}

TEST_F(GdipButtonTest, RadioGroupUnchecksOnlyTheKitsButtons)
{
    Click(radio1, QPoint(5, 5));
    EXPECT_TRUE(radio1.SendMessage(BM_GETCHECK));
    Click(radio2, QPoint(5, 5));
    EXPECT_TRUE(radio2.IsChecked());
    EXPECT_FALSE(radio1.IsChecked());
    Click(radio2, QPoint(5, 5));
    EXPECT_TRUE(radio2.IsChecked()) << "clicking a checked radio button leaves it checked";
    radio1.SendMessage(WM_KEYDOWN, VK_SPACE);
    EXPECT_TRUE(radio1.IsChecked());
    EXPECT_FALSE(radio2.IsChecked());
    EXPECT_EQ(foreign.uncheckMessages, 0);
    EXPECT_FALSE(check.IsChecked()) << "another group is left alone";
}

TEST_F(GdipButtonTest, RefreshReplacesTheBackgroundAndRebuildsOnlyWithAutoRefresh)
{
    CRect client;
    push.GetClientRect(&client);
    ASSERT_GT(client.Width(), 41);
    const QPoint outside(client.Width() - 1, client.Height() - 1); // beyond the 40 x 20 image
    const COLORREF before = Pixel(Grab(push), outside.x(), outside.y());

    CClientDC screen(&dialog);
    CDC source;
    source.CreateCompatibleDC(&screen);
    CBitmap bitmap;
    CRect dialogClient;
    dialog.GetClientRect(&dialogClient);
    bitmap.CreateCompatibleBitmap(&screen, dialogClient.Width(), dialogClient.Height());
    CBitmap* old = source.SelectObject(&bitmap);
    source.FillSolidRect(&dialogClient, RGB(250, 0, 250));

    push.SendMessage(CGdipButton::GetRefreshMessage(), reinterpret_cast<WPARAM>(&source));
    push.Invalidate();
    EXPECT_EQ(Pixel(Grab(push), outside.x(), outside.y()), before) << "built images stay";

    push.SetAutoRefresh();
    push.SendMessage(CGdipButton::GetRefreshMessage(), reinterpret_cast<WPARAM>(&source));
    push.Invalidate();
    const QImage rebuilt = Grab(push);
    EXPECT_EQ(Pixel(rebuilt, outside.x(), outside.y()), RGB(250, 0, 250));
    EXPECT_EQ(Pixel(rebuilt, 5, 5), kNormal);
    source.SelectObject(old);
}

namespace
{
struct ExposedButton : CGdipButton
{
    using CGdipButton::m_crHover;
    using CGdipButton::m_crNormal;
    using CGdipButton::m_crPressed;
    using CGdipButton::m_lf;
};
} // namespace

TEST(GdipButtonSettingsTest, FontSizeTakesWholePoints)
{
    ExposedButton button;
    button.SetFontSize(85);
    EXPECT_EQ(button.m_lf.lfHeight, -11);
    button.SetFontSize(95);
    EXPECT_EQ(button.m_lf.lfHeight, -12);
    const BYTE charset = button.m_lf.lfCharSet;
    button.SetFontName("Arial", 204);
    EXPECT_EQ(button.m_lf.lfCharSet, charset) << "Arial changes nothing, not even the character set";
    button.SetFontName("Tahoma", 204);
    EXPECT_STREQ(button.m_lf.lfFaceName, "Tahoma");
    EXPECT_EQ(button.m_lf.lfCharSet, 204);
}

TEST(GdipButtonSettingsTest, TextColoursMoveHoverAndPressedOnlyWhileTheyFollowNormal)
{
    ExposedButton button;
    button.SetTextColors(RGB(1, 1, 1), RGB(2, 2, 2));
    EXPECT_EQ(button.m_crHover, RGB(1, 1, 1));
    EXPECT_EQ(button.m_crPressed, RGB(1, 1, 1));
    button.SetHoverTextColor(RGB(3, 3, 3));
    button.SetTextColors(RGB(4, 4, 4), RGB(5, 5, 5));
    EXPECT_EQ(button.m_crNormal, RGB(4, 4, 4));
    EXPECT_EQ(button.m_crHover, RGB(3, 3, 3));
    EXPECT_EQ(button.m_crPressed, RGB(1, 1, 1));
}

TEST_F(GdipButtonTest, TooltipIsMadeOnceWithOneTool)
{
    push.SetTooltipText(4242u); // no such string: nothing happens
    EXPECT_EQ(push.m_pToolTip, nullptr);
    push.SetTooltipText(CString("Take a photo"));
    ASSERT_NE(push.m_pToolTip, nullptr);
    CToolTipCtrl* first = push.m_pToolTip.get();
    push.SetTooltipText(CString("Record a video"), FALSE);
    EXPECT_EQ(push.m_pToolTip.get(), first);
    EXPECT_EQ(push.m_pToolTip->GetToolCount(), 1);
    push.DestroyWindow();
    EXPECT_EQ(push.m_pToolTip, nullptr) << "destroying the button deletes its tooltip";
}
