#include "WindowTestSupport.h"

#include "platform/window/Controls.h"
#include "tests/support/AppLoopSupport.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace window_test;
using testing_support::PumpAppUntil;

namespace
{
/// A top-level window that describes the tools of the windows it holds, whatever their tool ids.
class CToolOwnerWnd : public CWnd
{
public:
    std::vector<UINT> codes;

    afx_msg BOOL OnNeedText(UINT, NMHDR* header, LRESULT* result)
    {
        codes.push_back(header->code);
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        const HWND tool = reinterpret_cast<HWND>(header->idFrom);
        std::snprintf(info->szText, sizeof info->szText, "control %d", ::GetDlgCtrlID(tool));
        *result = 0;
        return TRUE;
    }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CToolOwnerWnd, CWnd)
ON_NOTIFY_EX_RANGE(TTN_NEEDTEXTA, 0, 0xFFFF, OnNeedText)
END_MESSAGE_MAP()

class WndToolTipsTest : public WindowFixture
{
protected:
    std::string TipText(CToolTipCtrl& tip)
    {
        CString text;
        tip.GetWindowText(text);
        return text.GetString();
    }
};
} // namespace

TEST_F(WndToolTipsTest, ChildWindowsAreToolsWhoseTextTheOwnerChainGives)
{
    CToolOwnerWnd frame;
    ASSERT_TRUE(
        frame.CreateEx(0, nullptr, "frame", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200, nullptr, nullptr));
    // The panel turns tooltips on but answers no text requests: they go on to the frame that owns it.
    CWnd panel;
    ASSERT_TRUE(panel.Create(nullptr, "panel", WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 200), &frame, 1));
    CButton first, second;
    ASSERT_TRUE(first.Create("first", WS_CHILD | WS_VISIBLE, CRect(10, 10, 110, 40), &panel, 5));
    ASSERT_TRUE(second.Create("second", WS_CHILD | WS_VISIBLE, CRect(10, 60, 110, 90), &panel, 6));
    ASSERT_TRUE(panel.EnableToolTips(TRUE));
    CToolTipCtrl* tip = platform::window::ThreadToolTip();
    ASSERT_NE(tip, nullptr);
    tip->SetDelayTime(TTDT_INITIAL, 10);
    tip->SetDelayTime(TTDT_RESHOW, 10);

    Mouse(first, QEvent::MouseMove, QPoint(20, 10));
    ASSERT_TRUE(PumpAppUntil([&] { return tip->IsWindowVisible() && TipText(*tip) == "control 5"; }));
    Mouse(second, QEvent::MouseMove, QPoint(20, 10));
    ASSERT_TRUE(PumpAppUntil([&] { return tip->IsWindowVisible() && TipText(*tip) == "control 6"; }));
    EXPECT_EQ(frame.codes, std::vector<UINT>({TTN_NEEDTEXTA, TTN_NEEDTEXTA}));

    // Between the buttons no window is under the pointer but the panel: no tool.
    Mouse(panel, QEvent::MouseMove, QPoint(50, 50));
    EXPECT_TRUE(PumpAppUntil([&] { return !tip->IsWindowVisible(); }));
    EXPECT_EQ(tip->GetToolCount(), 0);
}

namespace
{
/// A window whose whole client area is one tool; its text request dresses the thread's tooltip as a
/// balloon with a title, as the file list does on its first request.
class CBalloonWnd : public CWnd
{
public:
    DWORD styleAfter = 0x43;
    int requests = 0;

    INT_PTR OnToolHitTest(CPoint point, TOOLINFO* info) const override
    {
        CRect client;
        GetClientRect(&client);
        if (!client.PtInRect(point))
            return -1;
        info->hwnd = m_hWnd;
        info->uId = 1;
        info->rect = client;
        info->lpszText = LPSTR_TEXTCALLBACK;
        return 1;
    }

    afx_msg BOOL OnNeedText(UINT, NMHDR* header, LRESULT* result)
    {
        ++requests;
        CToolTipCtrl* tip = platform::window::ThreadToolTip();
        ::SetWindowLongPtr(tip->m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(styleAfter));
        tip->SetMaxTipWidth(500);
        tip->SetDelayTime(TTDT_AUTOMATIC, 1000);
        tip->SetDelayTime(TTDT_RESHOW, 1000);
        tip->SetDelayTime(TTDT_AUTOPOP, 10000);
        tip->SetTitle(TTI_INFO, "Image");
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        std::snprintf(info->szText, sizeof info->szText, "Media type: jpg\nWidth (in pixels): 640");
        *result = 0;
        return TRUE;
    }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBalloonWnd, CWnd)
ON_NOTIFY_EX_RANGE(TTN_NEEDTEXTA, 0, 0xFFFF, OnNeedText)
END_MESSAGE_MAP()
} // namespace

TEST_F(WndToolTipsTest, ATipRestyledAsABalloonKeepsShowingWithItsTitleAndIcon)
{
    CBalloonWnd owner;
    ASSERT_TRUE(
        owner.CreateEx(0, nullptr, "list", WS_POPUP | WS_VISIBLE, 200, 200, 300, 200, nullptr, nullptr));
    ASSERT_TRUE(owner.EnableToolTips(TRUE));
    CToolTipCtrl* tip = platform::window::ThreadToolTip();
    ASSERT_NE(tip, nullptr);
    tip->SetDelayTime(TTDT_INITIAL, 10);

    Mouse(owner, QEvent::MouseMove, QPoint(40, 30));
    ASSERT_TRUE(
        PumpAppUntil([&] { return tip->IsWindowVisible() && TipText(*tip).rfind("Media type", 0) == 0; }));
    // Setting the control's style leaves it a shown pop-up.
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtr(tip->m_hWnd, GWL_STYLE));
    EXPECT_EQ(style & 0xFFFF, 0x43u);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(tip->GetDelayTime(TTDT_INITIAL), 1000);
    EXPECT_EQ(tip->GetDelayTime(TTDT_RESHOW), 1000);
    EXPECT_EQ(tip->GetDelayTime(TTDT_AUTOPOP), 10000);

    // A balloon: rounded corners and a stem that points up at the pointer from the balloon's top edge.
    CRect box;
    tip->GetWindowRect(&box);
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(tip->m_hWnd, shape), ERROR);
    EXPECT_FALSE(PtInRegion(shape, 0, box.Height() - 1));
    EXPECT_FALSE(PtInRegion(shape, box.Width() - 1, 0));
    EXPECT_TRUE(PtInRegion(shape, box.Width() / 2, box.Height() / 2));
    int stem = 0; // near the top edge only the stem is inside
    for (int x = 0; x < box.Width(); ++x)
        stem += PtInRegion(shape, x, 2) ? 1 : 0;
    EXPECT_GT(stem, 0);
    EXPECT_LT(stem, 12);
    DeleteObject(shape);

    // The title's information icon is drawn at the top left of the text.
    const QImage picture = platform::window::ClientImage(tip->m_hWnd);
    int blue = 0;
    for (int y = 0; y < picture.height() / 2; ++y)
        for (int x = 0; x < picture.width() / 2; ++x)
            blue += picture.pixel(x, y) == qRgb(0x1E, 0x6F, 0xD9) ? 1 : 0;
    EXPECT_GT(blue, 50);

    // Restyled as a balloon alone on a later request, the tip still shows.
    owner.styleAfter = TTS_BALLOON;
    tip->Pop();
    ASSERT_FALSE(tip->IsWindowVisible());
    const int before = owner.requests;
    tip->SendMessage(TTM_POPUP);
    EXPECT_GT(owner.requests, before);
    EXPECT_TRUE(tip->IsWindowVisible());
    EXPECT_EQ(::GetWindowLongPtr(tip->m_hWnd, GWL_STYLE) & 0xFFFF, static_cast<LONG_PTR>(TTS_BALLOON));
    owner.DestroyWindow();
}
