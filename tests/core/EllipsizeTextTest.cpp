#include "Controls/Label.h"
#include "brevicam/core/Params.h"

#include <gtest/gtest.h>

namespace
{
class EllipsizeTextTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_parent.CreateEx(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 0, 0, 600, 100, nullptr,
                                      nullptr));
    }
    void MakeLabel(int width)
    {
        RECT rect{0, 0, width, 20};
        ASSERT_TRUE(m_label.Create("", WS_CHILD | WS_VISIBLE, rect, &m_parent, 5));
        m_label.SetFontFace("Liberation Sans", FALSE).SetFontSize(10);
    }
    int Width(const std::string& text)
    {
        CDC* dc = m_label.GetDC();
        CFont* old = dc->SelectObject(&m_label.GetLabelFont());
        const int cx = dc->GetTextExtent(text.c_str(), static_cast<int>(text.size())).cx;
        dc->SelectObject(old);
        m_label.ReleaseDC(dc);
        return cx;
    }
    CWnd m_parent;
    CLabel m_label;
};

TEST_F(EllipsizeTextTest, TextThatFitsIsReturnedUnchanged)
{
    MakeLabel(300);
    EXPECT_EQ(CParams::EllipsizeText("Short name.jpg", m_label).Str(), "Short name.jpg");
}

TEST_F(EllipsizeTextTest, LongTextLosesOneTwoThreeMoreCharactersPerStepAndFits)
{
    MakeLabel(120);
    const std::string text = "A rather long file name that cannot fit the label.jpg";
    const std::string result = CParams::EllipsizeText(text.c_str(), m_label).Str();
    ASSERT_GE(result.size(), 3u);
    EXPECT_EQ(result.substr(result.size() - 3), "...");
    const std::string kept = result.substr(0, result.size() - 3);
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0);
    EXPECT_LE(Width(result), 120);
    // After k steps k(k+1)/2 characters are gone, and one step fewer would not have fitted.
    const std::size_t removed = text.size() - kept.size();
    std::size_t k = 0;
    while (k * (k + 1) / 2 < removed)
        ++k;
    EXPECT_EQ(k * (k + 1) / 2, removed);
    const std::string previous = text.substr(0, text.size() - (k - 1) * k / 2) + "...";
    EXPECT_GT(Width(previous), 120);
}

TEST_F(EllipsizeTextTest, LabelNarrowerThanTheEllipsisEndsWithTheEllipsisAlone)
{
    MakeLabel(2);
    EXPECT_EQ(CParams::EllipsizeText("Some text", m_label).Str(), "...");
}

TEST_F(EllipsizeTextTest, WindowPointerOfALabelMeasuresInTheLabelsFont)
{
    MakeLabel(90);
    const CString text = "Another quite long text for a narrow label";
    EXPECT_EQ(CParams::EllipsizeText(text, static_cast<CWnd*>(&m_label)).Str(),
              CParams::EllipsizeText(text, m_label).Str());
    EXPECT_EQ(CParams::EllipsizeText(text, static_cast<CWnd*>(nullptr)).Str(), text.Str());
}
} // namespace
