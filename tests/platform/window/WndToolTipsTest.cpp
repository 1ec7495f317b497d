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
