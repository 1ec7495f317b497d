#include "Controls/DialogTemplateFont.h"

#include "platform/resources/Resources.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/controls/controls_test_ids.h"

using namespace controls_test;

namespace
{
struct Units
{
    int h;
    int v;
};

/// The dialog base units of a font, measured the way dialogs measure them.
Units UnitsOf(HFONT font)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    SIZE extent{};
    GetTextExtentPoint32(dc, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52, &extent);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {((extent.cx / 26) + 1) / 2, tm.tmHeight};
}

LOGFONT LogFontOf(HWND hwnd)
{
    LOGFONT lf{};
    GetObject(reinterpret_cast<HFONT>(SendMessage(hwnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

CRect ChildRect(HWND dialog, int id)
{
    CRect r;
    HWND child = GetDlgItem(dialog, id);
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class DialogTemplateFontTest : public ::testing::TestWithParam<double>
{
protected:
    void Make(UINT id) { ASSERT_TRUE(dialog.Create(id)); }
    void TearDown() override
    {
        dialog.DestroyWindow();
        Pump();
    }
    CDialog dialog;
};
} // namespace

TEST_P(DialogTemplateFontTest, AppliesTheTemplateFontAndLayoutAtTheResolution)
{
    const double dpi = GetParam();
    Make(IDD_FONT_EX);
    HFONT before = reinterpret_cast<HFONT>(dialog.SendMessage(WM_GETFONT));
    {
        CDialogTemplateFont font;
        font.Apply(platform::resources::ThisModule(), dialog, IDD_FONT_EX, dpi);
        const LOGFONT lf = LogFontOf(dialog);
        EXPECT_EQ(lf.lfHeight, -static_cast<int>(9 * dpi / 72 + 0.5));
        EXPECT_EQ(lf.lfWeight, 700);
        EXPECT_TRUE(lf.lfItalic);
        EXPECT_STREQ(lf.lfFaceName, "Arial");
        EXPECT_EQ(LogFontOf(dialog.GetDlgItem(IDC_THIRD)->GetSafeHwnd()).lfHeight, lf.lfHeight);

        const Units u = UnitsOf(font.GetFont());
        CRect client;
        dialog.GetClientRect(&client);
        EXPECT_EQ(client.Width(), static_cast<int>(160 * u.h * 0.25 + 0.5));
        EXPECT_EQ(client.Height(), static_cast<int>(80 * u.v * 0.125 + 0.5));
        const CRect third = ChildRect(dialog, IDC_THIRD);
        EXPECT_EQ(third.left, static_cast<int>(70 * u.h / 4.0 + 0.5));
        EXPECT_EQ(third.top, static_cast<int>(30 * u.v / 8.0 + 0.5));
        EXPECT_EQ(third.Width(), static_cast<int>(80 * u.h / 4.0 + 0.5));
        EXPECT_EQ(third.Height(), static_cast<int>(14 * u.v / 8.0 + 0.5));
    }
    EXPECT_EQ(reinterpret_cast<HFONT>(dialog.SendMessage(WM_GETFONT)), before) << "destruction restores";
}

INSTANTIATE_TEST_SUITE_P(Dpi, DialogTemplateFontTest, ::testing::Values(96.0, 120.0),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)); });

TEST_F(DialogTemplateFontTest, PlainTemplateIsLaidOutFromItsOwnFields)
{
    Make(IDD_FONT_PLAIN);
    CDialogTemplateFont font;
    font.Apply(platform::resources::ThisModule(), dialog, IDD_FONT_PLAIN, 96.0);
    EXPECT_EQ(LogFontOf(dialog).lfHeight, -11);
    const Units u = UnitsOf(font.GetFont());
    CRect client;
    dialog.GetClientRect(&client);
    EXPECT_EQ(client.Width(), static_cast<int>(120 * u.h * 0.25 + 0.5));
    EXPECT_EQ(ChildRect(dialog, IDC_SECOND).top, static_cast<int>(20 * u.v / 8.0 + 0.5));
}

TEST_F(DialogTemplateFontTest, TemplateWithoutFontGetsTahomaEightPoints)
{
    Make(IDD_FONT_NOFONT);
    CDialogTemplateFont font;
    font.Apply(platform::resources::ThisModule(), dialog, IDD_FONT_NOFONT, 96.0);
    const LOGFONT lf = LogFontOf(dialog);
    EXPECT_EQ(lf.lfHeight, -11);
    EXPECT_STREQ(lf.lfFaceName, "Tahoma");
    EXPECT_EQ(lf.lfWeight, 400);
}

TEST_F(DialogTemplateFontTest, MissingControlEndsTheWalk)
{
    Make(IDD_FONT_EX);
    const CRect thirdBefore = ChildRect(dialog, IDC_THIRD);
    dialog.GetDlgItem(IDC_SECOND)->DestroyWindow();
    CDialogTemplateFont font;
    font.Apply(platform::resources::ThisModule(), dialog, IDD_FONT_EX, 120.0);
    EXPECT_EQ(LogFontOf(dialog.GetDlgItem(IDC_FIRST)->GetSafeHwnd()).lfHeight, -15);
    EXPECT_NE(LogFontOf(dialog.GetDlgItem(IDC_THIRD)->GetSafeHwnd()).lfHeight, -15);
    EXPECT_EQ(ChildRect(dialog, IDC_THIRD), thirdBefore);
}

TEST(DialogTemplateFontLifetimeTest, RestoreAfterTheDialogIsGoneOnlyFreesTheFont)
{
    CDialogTemplateFont font;
    {
        CDialog dialog;
        ASSERT_TRUE(dialog.Create(IDD_FONT_EX));
        font.Apply(platform::resources::ThisModule(), dialog, IDD_FONT_EX, 96.0);
        EXPECT_NE(font.GetFont(), nullptr);
        dialog.DestroyWindow();
    }
    font.Restore();
    EXPECT_EQ(font.GetFont(), nullptr);
}

TEST(DialogTemplateFontLifetimeTest, MissingTemplateChangesNothing)
{
    CDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_FONT_EX));
    HFONT before = reinterpret_cast<HFONT>(dialog.SendMessage(WM_GETFONT));
    CDialogTemplateFont font;
    font.Apply(platform::resources::ThisModule(), dialog, 4242, 96.0);
    EXPECT_EQ(font.GetFont(), nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(dialog.SendMessage(WM_GETFONT)), before);
    dialog.DestroyWindow();
}
