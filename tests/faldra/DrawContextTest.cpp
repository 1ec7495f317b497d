#include "shared/faldra/DrawContext.h"

#include "FaldraTestSupport.h"

#include "shared/exceptions/Exceptions.h"

#include <cstring>

using faldra::CDrawContext;
using faldra::CModularImage;
using faldra::ITEMCONTEXT;
using faldra_test::Canvas;
using faldra_test::Load;
using faldra_test::TopWindow;

namespace
{
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

/// A context drawing a large bold font, so that text strokes hold pixels of the exact text colour.
void UseLargeFont(CDrawContext& context)
{
    HFONT big = CreateFont(-40, 0, 0, 0, 900, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
    DeleteObject(context.SetFont(big, false));
}

bool HasPixel(const Canvas& canvas, const CRect& area, COLORREF color)
{
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (canvas.at(x, y) == color)
                return true;
    return false;
}

/// The leftmost and rightmost columns holding a pixel other than `back`, or {-1, -1}.
std::pair<int, int> InkColumns(const Canvas& canvas, const CRect& area, COLORREF back)
{
    std::pair<int, int> ink{-1, -1};
    for (int x = area.left; x < area.right; ++x)
        for (int y = area.top; y < area.bottom; ++y)
            if (canvas.at(x, y) != back)
            {
                if (ink.first < 0)
                    ink.first = x;
                ink.second = x;
                break;
            }
    return ink;
}

ITEMCONTEXT Item(HWND hwnd, HDC dc, CRect rect, UINT state, const char* text)
{
    ITEMCONTEXT item;
    item.hwndItem = hwnd;
    item.hDC = dc;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.rcItem = rect;
    item.text = text;
    return item;
}
} // namespace

struct FixedColourCase
{
    const char* name;
    UINT state;
    COLORREF text;
};

void PrintTo(const FixedColourCase& c, std::ostream* os)
{
    *os << c.name;
}

class FixedTextColoursTest : public testing::TestWithParam<FixedColourCase>
{
};

TEST_P(FixedTextColoursTest, OverrideTheConfiguredColours)
{
    TopWindow window(200, 60);
    CDrawContext context;
    context.m_bFixedTextColors = TRUE;
    context.SetBackColor(kBlack);
    context.SetBackHighlight(kBlue);
    context.SetTextColor(kGreen);
    context.SetDisabledColor(kMagenta);
    UseLargeFont(context);
    Canvas canvas(200, 60);
    ITEMCONTEXT item = Item(window.hwnd(), canvas.dc(), CRect(0, 0, 200, 60), GetParam().state, "WM");
    context.DrawItem(&item);
    EXPECT_TRUE(HasPixel(canvas, CRect(0, 0, 200, 60), GetParam().text));
    EXPECT_FALSE(HasPixel(canvas, CRect(0, 0, 200, 60), kGreen));
    EXPECT_FALSE(HasPixel(canvas, CRect(0, 0, 200, 60), kMagenta));
}

INSTANTIATE_TEST_SUITE_P(States, FixedTextColoursTest,
                         testing::Values(FixedColourCase{"Selected", ODS_SELECTED, RGB(255, 255, 255)},
                                         FixedColourCase{"Plain", 0, RGB(0x33, 0x33, 0x33)},
                                         FixedColourCase{"Disabled", ODS_DISABLED, RGB(0x33, 0x33, 0x33)}),
                         [](const testing::TestParamInfo<FixedColourCase>& info) { return info.param.name; });

TEST(DrawContextTest, ConfiguredColoursAreUsedWithoutTheFixedFlag)
{
    TopWindow window(200, 60);
    CDrawContext context;
    context.SetBackColor(kBlack);
    context.SetTextColor(kGreen);
    context.SetDisabledColor(kMagenta);
    UseLargeFont(context);
    Canvas plain(200, 60);
    ITEMCONTEXT item = Item(window.hwnd(), plain.dc(), CRect(0, 0, 200, 60), 0, "WM");
    context.DrawItem(&item);
    EXPECT_TRUE(HasPixel(plain, CRect(0, 0, 200, 60), kGreen));

    Canvas disabled(200, 60);
    item.hDC = disabled.dc();
    item.itemState = ODS_DISABLED;
    context.DrawItem(&item);
    EXPECT_TRUE(HasPixel(disabled, CRect(0, 0, 200, 60), kMagenta));
    EXPECT_EQ(disabled.dc().GetTextColor() & 0xFFFFFF, kBlack); // the DC's colour is restored
}

TEST(DrawContextTest, SelectedItemGetsTheHighlightWhateverTheActionAndNoTextWhenEmpty)
{
    TopWindow window(100, 40);
    CDrawContext context;
    context.SetBackColor(kBlack);
    Canvas canvas(100, 40, kWhite);
    for (const char* text : {static_cast<const char*>(nullptr), ""})
    {
        ITEMCONTEXT item = Item(window.hwnd(), canvas.dc(), CRect(10, 10, 50, 30), ODS_SELECTED, text);
        item.itemAction = ODA_SELECT;
        context.DrawItem(&item);
        EXPECT_EQ(canvas.at(10, 10), GetSysColor(COLOR_HIGHLIGHT) & 0xFFFFFF);
        EXPECT_EQ(canvas.at(49, 29), GetSysColor(COLOR_HIGHLIGHT) & 0xFFFFFF);
        EXPECT_EQ(canvas.at(9, 9), kWhite); // untouched canvas is white below
    }
    EXPECT_EQ(InkColumns(canvas, CRect(10, 10, 50, 30), GetSysColor(COLOR_HIGHLIGHT) & 0xFFFFFF),
              std::make_pair(-1, -1));

    auto* highlight = new CModularImage(kBlack);
    highlight->SetBackground(Load(IDB_MAGENTA));
    highlight->SetStyle(12);
    context.SetHighlight(highlight);
    ITEMCONTEXT item = Item(window.hwnd(), canvas.dc(), CRect(60, 10, 90, 30), ODS_SELECTED, nullptr);
    context.DrawItem(&item);
    EXPECT_EQ(canvas.at(75, 20), kMagenta);
}

TEST(DrawContextTest, BackgroundSpansTheOwnerWindowAndShowsOnlyInsideTheItem)
{
    TopWindow window(40, 40);
    CDrawContext context;
    auto* background = new CModularImage(kBlack);
    background->SetFrame(IDB_GREEN_LEFT, CModularImage::FT_LEFT, FALSE);
    background->SetFrame(IDB_BLUE_BOTTOM, CModularImage::FT_BOTTOM, FALSE);
    context.SetBackground(background);
    Canvas canvas(40, 40, kWhite);
    // The lower item shows the bottom strip of the whole client area; nothing outside it is painted.
    ITEMCONTEXT item = Item(window.hwnd(), canvas.dc(), CRect(0, 30, 40, 40), 0, nullptr);
    context.DrawItem(&item);
    EXPECT_EQ(canvas.at(20, 39), kBlue);
    EXPECT_EQ(canvas.at(1, 32), kGreen);
    EXPECT_EQ(canvas.at(20, 32), kBlack);
    EXPECT_EQ(canvas.at(1, 10), kWhite);
}

TEST(DrawContextTest, IndentationMovesLeftAndRightTextButNotCentredText)
{
    TopWindow window(300, 60);
    CDrawContext context;
    context.SetBackColor(kBlack);
    context.SetTextColor(kWhite);
    UseLargeFont(context);
    const CRect rect(0, 0, 300, 60);

    auto inkWith = [&](UINT format, int indentation)
    {
        context.SetFormat(format);
        context.SetIndentation(indentation);
        Canvas canvas(300, 60);
        ITEMCONTEXT item = Item(window.hwnd(), canvas.dc(), rect, 0, "II");
        context.DrawItem(&item);
        return InkColumns(canvas, rect, kBlack);
    };
    const auto left = inkWith(DT_VCENTER, 0);
    EXPECT_EQ(inkWith(DT_VCENTER, 50).first, left.first + 50);
    const auto right = inkWith(DT_RIGHT | DT_VCENTER, 0);
    EXPECT_EQ(inkWith(DT_RIGHT | DT_VCENTER, 50).second, right.second - 50);
    EXPECT_EQ(inkWith(DT_CENTER | DT_VCENTER, 50), inkWith(DT_CENTER | DT_VCENTER, 0));
}

TEST(DrawContextTest, SettersKeepTheirRules)
{
    CDrawContext context;
    EXPECT_EQ(context.GetFormat(), DT_SINGLELINE | DT_VCENTER);
    context.SetFormat(DT_WORDBREAK | DT_CENTER);
    EXPECT_EQ(context.GetFormat(), DT_CENTER | DT_SINGLELINE);
    EXPECT_EQ(context.GetHighlightOpacity(), 80u);
    context.SetHighlightOpacity(150);
    EXPECT_EQ(context.GetHighlightOpacity(), 100u);

    COLORREF highlight = 0;
    EXPECT_EQ(context.GetBackColor(&highlight), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(highlight, GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(context.SetBackColor(kGreen), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(context.GetBackColor(), kGreen);
    ASSERT_NE(context.GetBackground(), nullptr);

    EXPECT_EQ(context.SetTextHighlight(kGreen), kGreen);
    context.GetTextColor(&highlight);
    EXPECT_EQ(highlight, 0xFFFFFFFFu);
    EXPECT_EQ(context.SetTextColor(kBlue), 0u);
    EXPECT_EQ(context.SetDisabledColor(kBlue), 0x88888888u);
    COLORREF member = kGreen;
    EXPECT_EQ(context.SetInternalColor(kBlue, member), kGreen);
    EXPECT_EQ(member, kBlue);
    EXPECT_EQ(context.SetInternalColor_New(kMagenta), kMagenta);
}

TEST(DrawContextTest, FontDescriptionFollowsTheStringFormOnly)
{
    CDrawContext context;
    EXPECT_STREQ(context.GetLogFont().lfFaceName, "Arial");
    EXPECT_EQ(context.GetLogFont().lfHeight, -11);
    EXPECT_EQ(context.GetLogFont().lfCharSet, DEFAULT_CHARSET);
    context.SetFont("Arial", 14, 5, 0 /* ANSI_CHARSET */);
    EXPECT_EQ(context.GetLogFont().lfCharSet, 0);
    context.SetFont("Arial", 14, 5, DEFAULT_CHARSET);
    EXPECT_EQ(context.GetLogFont().lfCharSet, 0);
    EXPECT_EQ(context.GetLogFont().lfHeight, 14);
    EXPECT_EQ(context.GetLogFont().lfWidth, 5);

    context.SetFont(CString(std::string(40, 'x').c_str()), 12, 0);
    EXPECT_EQ(std::strlen(context.GetLogFont().lfFaceName), 31u);

    HFONT given = CreateFont(-30, 0, 0, 0, 700, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
    HFONT previous = context.SetFont(given, true);
    ASSERT_NE(previous, nullptr);
    LOGFONTA desc{};
    GetObject(previous, sizeof(desc), &desc);
    EXPECT_EQ(desc.lfHeight, 12);
    DeleteObject(previous);
    EXPECT_NE(static_cast<HFONT>(context.GetFont()), given);
    GetObject(context.GetFont(), sizeof(desc), &desc);
    EXPECT_EQ(desc.lfHeight, -30);
    EXPECT_EQ(context.GetLogFont().lfHeight, 12); // the description stays
    DeleteObject(given);
    context.ReconstructFont();
    GetObject(context.GetFont(), sizeof(desc), &desc);
    EXPECT_EQ(desc.lfHeight, 12);
}

TEST(DrawContextTest, CopiesOwnTheirImagesAndKeepTheFlagRules)
{
    faldra::CCBDrawContext source;
    source.m_bFixedTextColors = TRUE;
    source.SetBackColor(kGreen);
    source.SetBackHighlight(kBlue);
    source.SetIndentation(7);
    source.SetTextColor(kMagenta);

    faldra::CCBDrawContext copy(source);
    EXPECT_EQ(copy.m_bFixedTextColors, FALSE);
    EXPECT_EQ(copy.GetIndentation(), 7);
    EXPECT_EQ(copy.GetTextColor(), kMagenta);
    EXPECT_NE(copy.GetBackground(), source.GetBackground());
    COLORREF highlight = 0;
    EXPECT_EQ(copy.GetBackColor(&highlight), kGreen);
    EXPECT_EQ(highlight, kBlue);

    faldra::CCBDrawContext target;
    target.m_bFixedTextColors = 2;
    target.SetBackColor(kBlack);
    CModularImage* kept = target.GetBackground();
    target = source;
    EXPECT_EQ(target.m_bFixedTextColors, 2);
    EXPECT_EQ(target.GetBackground(), kept); // assigned in place
    EXPECT_EQ(target.GetBackColor(), kGreen);

    faldra::CCBDrawContext plain;
    target = plain;
    EXPECT_EQ(target.GetBackground(), nullptr);
    EXPECT_EQ(target.GetHighlight(), nullptr);
}

TEST(DrawContextTest, NullArgumentsRaiseTheirFailures)
{
    ITEMCONTEXT item;
    EXPECT_THROW_MESSAGE(
        CDrawContext::FillItemContextHlp(item, nullptr, "x"), CNullPointerException,
        ".\\DrawContext[faldra::CDrawContext::FillItemContextHlp]: No DRAWITEMSTRUCT to fill in");
    CDrawContext context;
    EXPECT_THROW_MESSAGE(context.DrawItem(nullptr), CNullPointerException,
                         ".\\DrawContext[faldra::CDrawContext::DrawItem]: Invalid ITEMCONTEXT");

    DRAWITEMSTRUCT dis{};
    dis.itemAction = ODA_FOCUS;
    dis.itemState = ODS_SELECTED;
    dis.rcItem = RECT{1, 2, 3, 4};
    dis.itemData = 42;
    CDrawContext::FillItemContextHlp(item, &dis, "text");
    EXPECT_EQ(item.itemAction, static_cast<UINT>(ODA_FOCUS));
    EXPECT_EQ(item.itemData, 42u);
    EXPECT_EQ(CRect(item.rcItem), CRect(1, 2, 3, 4));
    EXPECT_STREQ(item.text, "text");
}
