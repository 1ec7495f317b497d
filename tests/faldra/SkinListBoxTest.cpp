#include "shared/faldra/SkinListBox.h"

#include "FaldraTestSupport.h"

#include "platform/window/Controls.h"
#include "tests/support/AppLoopSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

using faldra::CModularImage;
using faldra::CSkinListBox;
using faldra_test::Grab;
using faldra_test::Load;
using faldra_test::Pump;
using testing_support::PumpAppUntil;

namespace
{
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

COLORREF Pixel(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

/// A parent that reflects owner-draw requests to its controls and records their commands.
class Host : public CWnd
{
public:
    std::vector<std::pair<UINT, UINT>> commands; // (id, code)
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_COMMAND)
            commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

/// A list box that notes the tooltip text requests it answers, and that can ask for them in wide
/// characters as a Unicode window does.
class TipListBox : public CSkinListBox
{
public:
    bool wide = false;
    std::vector<UINT> requests;
    std::wstring lastWideText;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_NOTIFYFORMAT && lParam == NF_QUERY)
            return wide ? NFR_UNICODE : NFR_ANSI;
        const LRESULT result = CSkinListBox::WindowProc(message, wParam, lParam);
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (message == WM_NOTIFY && (header->code == TTN_NEEDTEXTA || header->code == TTN_NEEDTEXTW))
        {
            requests.push_back(header->code);
            if (header->code == TTN_NEEDTEXTW)
                lastWideText = reinterpret_cast<const NMTTDISPINFOW*>(lParam)->szText;
        }
        return result;
    }
};

/// The pointer as the windowing system reports it, at client point `p` of `hwnd`.
void SendMouse(HWND hwnd, QEvent::Type type, POINT p)
{
    POINT screen = p;
    ClientToScreen(hwnd, &screen);
    RECT frame;
    GetWindowRect(hwnd, &frame);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent e(type, QPointF(screen.x - frame.left, screen.y - frame.top), QPointF(screen.x, screen.y),
                  button, buttons, Qt::NoModifier);
    QApplication::sendEvent(platform::window::HostWidgetOf(hwnd), &e);
}

void MoveMouse(HWND hwnd, POINT p)
{
    SendMouse(hwnd, QEvent::MouseMove, p);
}

class SkinListBoxTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(top.CreateEx(exStyle, AfxRegisterWndClass(0), "top", WS_POPUP | WS_VISIBLE,
                                 CRect(0, 0, 220, 220), nullptr, 0));
        ASSERT_TRUE(host.CreateEx(0, AfxRegisterWndClass(0), "host", WS_CHILD | WS_VISIBLE,
                                  CRect(0, 0, 200, 200), &top, 1));
    }
    void TearDown() override
    {
        if (list.GetSafeHwnd())
            list.DestroyWindow();
        host.DestroyWindow();
        top.DestroyWindow();
    }
    void MakeList(int items = 5)
    {
        ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY,
                                CRect(0, 0, 100, 100), &host, 7));
        list.SetItemHeight(0, 20);
        list.SetBackColor(kBlack);
        auto* highlight = new CModularImage(kBlack);
        highlight->SetBackground(Load(IDB_MAGENTA));
        highlight->SetStyle(12);
        list.SetHighlightImage(highlight);
        for (int i = 0; i < items; ++i)
            list.AddString(("item " + std::to_string(i)).c_str());
    }
    /// The colour at the right end of item `i`, where no text is drawn.
    static COLORREF ItemColour(const QImage& image, int i) { return Pixel(image, 95, i * 20 + 10); }

    DWORD exStyle = 0;
    CWnd top;
    Host host;
    TipListBox list;
};

/// The list's tooltips with a thread tooltip that shows a tip 10 ms after the pointer stops on an item.
class SkinListBoxToolTipTest : public SkinListBoxTest
{
protected:
    void EnableTips(CWnd& wnd)
    {
        ASSERT_TRUE(wnd.EnableToolTips(TRUE));
        tip = platform::window::ThreadToolTip();
        ASSERT_NE(tip, nullptr);
        tip->SetDelayTime(TTDT_INITIAL, 10);
        tip->SetDelayTime(TTDT_RESHOW, 10);
    }
    std::string TipText() const
    {
        CString text;
        tip->GetWindowText(text);
        return text.GetString();
    }
    /// Runs the application's loop until the tip shows `text`.
    bool TipShows(const std::string& text)
    {
        return PumpAppUntil([&] { return tip->IsWindowVisible() && TipText() == text; });
    }
    bool TipHidden()
    {
        return PumpAppUntil([&] { return !tip->IsWindowVisible(); });
    }

    CToolTipCtrl* tip = nullptr;
};
} // namespace

TEST_F(SkinListBoxTest, ItemsArePaintedByTheDrawContext)
{
    MakeList();
    list.SetCurSel(1);
    const QImage image = Grab(list.GetSafeHwnd());
    EXPECT_EQ(ItemColour(image, 0), kBlack);
    EXPECT_EQ(ItemColour(image, 1), kMagenta);
    EXPECT_EQ(ItemColour(image, 2), kBlack);
    EXPECT_EQ(list.GetTrackedItem(), 1); // SetCurSel sets it even with tracking off
}

TEST_F(SkinListBoxTest, TrackingDrawsTheHoveredItemAtOnceWithoutSelectingIt)
{
    MakeList();
    list.SetCurSel(1);
    list.EnableMouseTracking(true);
    Grab(list.GetSafeHwnd());
    list.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(50, 50)); // item 2
    QImage image = platform::window::ClientImage(list.GetSafeHwnd());
    EXPECT_EQ(ItemColour(image, 2), kMagenta);
    list.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(50, 90)); // item 4
    image = platform::window::ClientImage(list.GetSafeHwnd());
    EXPECT_EQ(ItemColour(image, 4), kMagenta);
    EXPECT_EQ(ItemColour(image, 2), kBlack);
    EXPECT_EQ(list.GetTrackedItem(), 4);
    EXPECT_EQ(list.GetCurSel(), 1);

    list.Invalidate(); // a repaint shows only the tracked item selected
    image = Grab(list.GetSafeHwnd());
    EXPECT_EQ(ItemColour(image, 4), kMagenta);
    EXPECT_EQ(ItemColour(image, 1), kBlack);

    list.Notify(CBN_DROPDOWN, 0, 0);
    EXPECT_EQ(list.GetTrackedItem(), 1);
    list.EnableMouseTracking(false);
    list.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(50, 50));
    list.Notify(CBN_DROPDOWN, 0, 0);
    EXPECT_EQ(list.GetTrackedItem(), 1);
}

TEST_F(SkinListBoxTest, ClicksSelectAndNotifyTheParent)
{
    MakeList();
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 65)); // item 3
    EXPECT_EQ(list.GetCurSel(), 3);
    ASSERT_FALSE(host.commands.empty());
    EXPECT_EQ(host.commands.back(), std::make_pair(7u, LBN_SELCHANGE));
    list.SendMessage(WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(list.GetCurSel(), 4);
}

TEST_F(SkinListBoxTest, TooltipsNameEachItemAndCutLongTexts)
{
    MakeList(2);
    const std::string longText(100, 'x');
    list.AddString(longText.c_str());
    TOOLINFO info{};
    EXPECT_EQ(list.OnToolHitTest(CPoint(10, 45), &info), 2);
    EXPECT_EQ(info.uId, 2u);
    EXPECT_EQ(CRect(info.rect), CRect(0, 40, 100, 60));
    EXPECT_EQ(info.lpszText, LPSTR_TEXTCALLBACK);
    EXPECT_EQ(list.OnToolHitTest(CPoint(10, 95), &info), -1);

    NMTTDISPINFOA request{};
    request.hdr.code = TTN_NEEDTEXTA;
    request.hdr.idFrom = 2;
    LRESULT result = 1;
    EXPECT_TRUE(list.OnToolTipText(2, &request.hdr, &result));
    EXPECT_EQ(std::string(request.szText), std::string(79, 'x'));
    EXPECT_EQ(result, 0);
}

TEST_F(SkinListBoxTest, VariableItemsAreMeasuredFromTheirText)
{
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS,
                            CRect(0, 0, 100, 100), &host, 8));
    list.AddString("Ay");
    EXPECT_GT(list.GetItemHeight(0), 5);
    DRAWITEMSTRUCT none{};
    none.itemID = static_cast<UINT>(-1);
    list.DrawItem(&none); // an empty list with focus: nothing to draw
}

class RightToLeftListBoxTest : public SkinListBoxTest
{
protected:
    void SetUp() override
    {
        exStyle = WS_EX_LAYOUTRTL;
        SkinListBoxTest::SetUp();
    }
};

TEST_F(RightToLeftListBoxTest, ItemsLeaveRoomForTheScrollBarAndAlignRight)
{
    MakeList();
    list.SetIsScrollVisible(true);
    list.SetCurSel(0);
    const QImage image = Grab(list.GetSafeHwnd());
    // The list's own x runs from its right edge (99 on the screen): the scroll bar's room is on the right.
    EXPECT_EQ(Pixel(image, 99 - 5, 10), kBlack);
    EXPECT_EQ(Pixel(image, 99 - 16, 10), kMagenta);
    EXPECT_TRUE(list.GetDrawContext().GetFormat() & DT_RIGHT);
}

TEST_F(SkinListBoxToolTipTest, TipShowsTheTextOfTheItemUnderThePointer)
{
    MakeList(3);
    EnableTips(list);
    MoveMouse(list, {50, 30}); // item 1
    ASSERT_TRUE(TipShows("item 1"));
    MoveMouse(list, {50, 50}); // item 2
    ASSERT_TRUE(TipShows("item 2"));
    ASSERT_FALSE(list.requests.empty());
    EXPECT_EQ(list.requests.back(), TTN_NEEDTEXTA);
}

TEST_F(SkinListBoxToolTipTest, WithoutToolTipsTurnedOnTheListShowsNoTip)
{
    MakeList(3);
    list.EnableMouseTracking(true);
    TipListBox other;
    ASSERT_TRUE(other.Create(WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS,
                             CRect(100, 0, 200, 100), &host, 8));
    other.SetItemHeight(0, 20);
    other.AddString("other 0");
    EnableTips(other);

    MoveMouse(list, {50, 30});
    ASSERT_TRUE(PumpAppUntil([&] { return list.GetTrackedItem() == 1; })); // the move has been handled
    EXPECT_EQ(tip->GetToolCount(), 0);
    EXPECT_FALSE(tip->IsWindowVisible());

    // The same loop shows the tips of a list that turned them on.
    MoveMouse(other, {50, 10});
    ASSERT_TRUE(TipShows("other 0"));
    EXPECT_TRUE(list.requests.empty());
}

namespace
{
/// How a shown tip is made to go, and how many tools the tooltip keeps afterwards (a click only keeps the
/// tip away while the pointer stays on the same item).
struct TipEnd
{
    const char* name;
    std::function<void(CWnd& list, CWnd& host)> act;
    int toolsLeft = 0;
};

void PrintTo(const TipEnd& end, std::ostream* os)
{
    *os << end.name;
}

void PressDown(CWnd& wnd)
{
    wnd.SetFocus();
    QWidget* widget = platform::window::HostWidgetOf(wnd);
    if (QWidget* proxy = widget->focusProxy())
        widget = proxy;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}
} // namespace

class SkinListBoxTipEndTest : public SkinListBoxToolTipTest, public testing::WithParamInterface<TipEnd>
{
};

TEST_P(SkinListBoxTipEndTest, TipGoes)
{
    MakeList(3);
    EnableTips(list);
    MoveMouse(list, {50, 30});
    ASSERT_TRUE(TipShows("item 1"));
    GetParam().act(list, host);
    EXPECT_TRUE(TipHidden());
    EXPECT_EQ(tip->GetToolCount(), GetParam().toolsLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, SkinListBoxTipEndTest,
    testing::Values(TipEnd{"PointerBelowTheLastItem",
                           [](CWnd& list, CWnd&) {
                               MoveMouse(list, {50, 80});
                           }},
                    TipEnd{"PointerOntoTheParent",
                           [](CWnd&, CWnd& host) {
                               MoveMouse(host, {150, 150});
                           }},
                    TipEnd{"PointerOffAllWindows",
                           [](CWnd& list, CWnd&)
                           {
                               QEvent leave(QEvent::Leave);
                               QApplication::sendEvent(platform::window::HostWidgetOf(list), &leave);
                           }},
                    TipEnd{"Click",
                           [](CWnd& list, CWnd&) {
                               SendMouse(list, QEvent::MouseButtonPress, {50, 30});
                           },
                           1},
                    TipEnd{"Key", [](CWnd& list, CWnd&) { PressDown(list); }},
                    TipEnd{"TooltipsTurnedOff", [](CWnd& list, CWnd&) { list.EnableToolTips(FALSE); }}),
    [](const testing::TestParamInfo<TipEnd>& info) { return std::string(info.param.name); });

class SkinListBoxTipTextTest : public SkinListBoxToolTipTest, public testing::WithParamInterface<bool>
{
};

TEST_P(SkinListBoxTipTextTest, TipCarriesTheItemTextCutTo79Characters)
{
    const bool wide = GetParam();
    list.wide = wide;
    MakeList(0);
    const std::string text = "Aufl\xC3\xB6sung 1280\xC3\x97"
                             "720";
    list.AddString(text.c_str());
    list.AddString(std::string(100, 'x').c_str());
    EnableTips(list);

    MoveMouse(list, {50, 10});
    ASSERT_TRUE(TipShows(text));
    ASSERT_FALSE(list.requests.empty());
    EXPECT_EQ(list.requests.back(), wide ? TTN_NEEDTEXTW : TTN_NEEDTEXTA);
    if (wide)
    {
        EXPECT_EQ(list.lastWideText, L"Aufl\u00F6sung 1280\u00D7720");
    }

    MoveMouse(list, {50, 30});
    ASSERT_TRUE(TipShows(std::string(79, 'x')));
    if (wide)
    {
        EXPECT_EQ(list.lastWideText, std::wstring(79, L'x'));
    }
}

INSTANTIATE_TEST_SUITE_P(Requests, SkinListBoxTipTextTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info)
                         { return info.param ? "Wide" : "Ansi"; });
