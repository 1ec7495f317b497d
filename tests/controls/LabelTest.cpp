#include "Controls/Label.h"

#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"

#include <QImage>
#include <gtest/gtest.h>

#include <memory>

namespace
{
constexpr UINT kLabelId = 77;

/// A parent that records the notifications its children send.
class NotifiedParent : public CWnd
{
public:
    std::vector<NMHDR> notifications;

protected:
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header && header->code == NM_LABEL_CLICK && wParam == kLabelId)
            notifications.push_back(*header);
        return CWnd::OnNotify(wParam, lParam, result);
    }
};

class LabelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_parent.CreateEx(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 0, 0, 400, 200, nullptr,
                                      nullptr));
    }
    void TearDown() override { CLabel::SetShellOpenHook(nullptr); }

    void MakeLabel(int width, int height, const char* text = "", DWORD style = 0)
    {
        RECT rect{10, 10, 10 + width, 10 + height};
        ASSERT_TRUE(m_label.Create(text, WS_CHILD | WS_VISIBLE | style, rect, &m_parent, kLabelId));
    }

    QImage Grab()
    {
        m_label.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        platform::window::PumpPendingMessages();
        return platform::window::ClientImage(m_label.GetSafeHwnd()).convertToFormat(QImage::Format_RGB32);
    }

    static COLORREF At(const QImage& image, int x, int y)
    {
        const QRgb p = image.pixel(x, y);
        return RGB(qRed(p), qGreen(p), qBlue(p));
    }

    static int CountColour(const QImage& image, const QRect& area, COLORREF colour)
    {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += At(image, x, y) == colour;
        return count;
    }

    NotifiedParent m_parent;
    CLabel m_label;
};

TEST_F(LabelTest, SolidBackgroundAndTextAreDrawnInTheirColours)
{
    MakeLabel(120, 30, "WWWW");
    m_label.SetBkColor(RGB(200, 0, 0)).SetTextColor(RGB(0, 0, 255)).SetFontSize(14);
    const QImage image = Grab();
    ASSERT_EQ(image.width(), 120);
    EXPECT_EQ(At(image, 118, 28), RGB(200, 0, 0));
    EXPECT_GT(CountColour(image, QRect(0, 0, 60, 30), RGB(0, 0, 255)), 20);
    EXPECT_EQ(CountColour(image, QRect(90, 0, 30, 30), RGB(0, 0, 255)), 0);
}

TEST_F(LabelTest, GradientOfAWideLabelHasAHundredBandsTheLastReachingTheRightEdge)
{
    MakeLabel(250, 20);
    m_label.SetBkColor(RGB(255, 0, 0), RGB(0, 0, 255), 1);
    const QImage image = Grab();
    // Each channel steps by (end - start) * 256 / 100, truncated: red 65280 - i * 652, blue i * 652.
    auto band = [](int i) { return RGB((65280 - i * 652) / 256, 0, (i * 652) / 256); };
    EXPECT_EQ(At(image, 0, 5), band(0));
    EXPECT_EQ(At(image, 1, 5), band(0));
    EXPECT_EQ(At(image, 2, 5), band(1));
    EXPECT_EQ(At(image, 101, 5), band(50));
    EXPECT_EQ(At(image, 198, 5), band(99));
    EXPECT_EQ(At(image, 249, 5), band(99));
}

TEST_F(LabelTest, GradientOfANarrowLabelHasOnePixelBands)
{
    MakeLabel(50, 20);
    m_label.SetBkColor(RGB(255, 0, 0), RGB(0, 0, 255), 1);
    const QImage image = Grab();
    auto band = [](int i) { return RGB((65280 - i * 1305) / 256, 0, (i * 1305) / 256); };
    for (int x : {0, 1, 17, 48, 49})
        EXPECT_EQ(At(image, x, 5), band(x)) << "x = " << x;
}

TEST_F(LabelTest, RotatedTextStartsAtTheCentreOnItsBaseline)
{
    MakeLabel(120, 120, "WWWW");
    m_label.SetBkColor(RGB(255, 255, 255)).SetTextColor(RGB(0, 0, 0)).SetFontSize(12);
    m_label.SetRotationAngle(90, TRUE);
    const QImage image = Grab();
    // Written upwards from the centre (60, 60): ink above the centre, just left of the baseline, and
    // nothing at the top-left corner where unrotated text would be, nor below the centre.
    EXPECT_GT(CountColour(image, QRect(44, 0, 20, 60), RGB(0, 0, 0)), 10);
    EXPECT_EQ(CountColour(image, QRect(0, 0, 40, 120), RGB(0, 0, 0)), 0);
    EXPECT_EQ(CountColour(image, QRect(0, 64, 120, 56), RGB(0, 0, 0)), 0);
}

TEST_F(LabelTest, FontChangesReachTheLabelsFont)
{
    MakeLabel(100, 20, "text");
    m_label.SetFontSize(8);
    LOGFONT lf{};
    m_label.GetLabelFont().GetLogFont(&lf);
    EXPECT_EQ(lf.lfHeight, -10);
    m_label.SetFontSize(10).SetFontBold(TRUE).SetFontItalic(TRUE).SetFontFace("Liberation Sans", TRUE);
    m_label.GetLabelFont().GetLogFont(&lf);
    EXPECT_EQ(lf.lfHeight, -13);
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_TRUE(lf.lfItalic);
    EXPECT_STREQ(lf.lfFaceName, "Liberation Sans");
}

TEST_F(LabelTest, CountedFlashingEndsAfterItsTicksWithTheTextShown)
{
    MakeLabel(100, 20, "blink");
    m_label.SetText("blink");
    m_label.FlashText(TRUE, 300, 2);
    CString text;
    m_label.SendMessage(WM_TIMER, 1);
    m_label.GetWindowText(text);
    EXPECT_EQ(text.Str(), "");
    for (int tick = 2; tick <= 5; ++tick)
        m_label.SendMessage(WM_TIMER, 1);
    m_label.GetWindowText(text);
    EXPECT_EQ(text.Str(), "blink");
    // Flashing is over: further ticks leave the text alone.
    m_label.SendMessage(WM_TIMER, 1);
    m_label.GetWindowText(text);
    EXPECT_EQ(text.Str(), "blink");
}

TEST_F(LabelTest, UpdatedTextIsPaintedInsteadOfTheWindowTextUntilCleared)
{
    MakeLabel(150, 30, "");
    m_label.SetBkColor(RGB(255, 255, 255)).SetTextColor(RGB(0, 0, 0)).SetFontSize(14);
    m_label.UpdateText("WWWWWWW");
    m_label.SetText("i");
    CString window;
    m_label.GetWindowText(window);
    EXPECT_EQ(window.Str(), "i");
    const int wide = CountColour(Grab(), QRect(0, 0, 150, 30), RGB(0, 0, 0));
    m_label.UpdateText("");
    const int narrow = CountColour(Grab(), QRect(0, 0, 150, 30), RGB(0, 0, 0));
    EXPECT_GT(wide, 4 * narrow);
}

TEST_F(LabelTest, ClickNotifiesTheParentInsteadOfOpeningTheLink)
{
    MakeLabel(100, 20, "https://example.invalid/");
    std::vector<std::string> opened;
    CLabel::SetShellOpenHook([&](const char*, const char* target) { opened.emplace_back(target); });
    m_label.SetLink(TRUE, TRUE);
    m_label.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ASSERT_EQ(m_parent.notifications.size(), 1u);
    EXPECT_EQ(m_parent.notifications[0].hwndFrom, m_label.GetSafeHwnd());
    EXPECT_EQ(m_parent.notifications[0].idFrom, kLabelId);
    EXPECT_TRUE(opened.empty());
}

TEST_F(LabelTest, LinksOpenTheirTargetOrMailtoFollowedByTheText)
{
    MakeLabel(100, 20, "someone@example.invalid");
    std::vector<std::pair<std::string, std::string>> opened;
    CLabel::SetShellOpenHook([&](const char* verb, const char* target)
                             { opened.emplace_back(verb ? verb : "", target); });
    m_label.SetMailLink(TRUE, FALSE);
    m_label.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, 0);
    m_label.SetLink(TRUE, FALSE);
    m_label.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, 0);
    m_label.SetLinkTarget("https://example.invalid/page");
    m_label.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0], std::make_pair(std::string(), std::string("mailto:someone@example.invalid")));
    EXPECT_EQ(opened[1], std::make_pair(std::string("open"), std::string("someone@example.invalid")));
    EXPECT_EQ(opened[2], std::make_pair(std::string("open"), std::string("https://example.invalid/page")));
}
} // namespace
