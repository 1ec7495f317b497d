#pragma once

#include "platform/listview/ImageList.h"
#include "platform/window/Afx.h"
#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"
#include "tests/support/GdiTestSupport.h"

#include <QImage>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace view_test
{
constexpr UINT kListId = 1;
constexpr UINT kTreeId = 2;

/// A top-level window that records the notifications of its controls and lets a test answer them.
class Parent : public CWnd
{
public:
    struct Note
    {
        UINT code;
        int item;
        UINT newState;
        UINT oldState;
        LPARAM lParam;
        UINT action;
    };
    std::vector<Note> notes;
    std::function<LRESULT(NMHDR*)> answer;

    Parent(int width = 300, int height = 300)
    {
        CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE, CRect(0, 0, width, height),
                 nullptr, 0);
    }
    ~Parent() override
    {
        if (GetSafeHwnd())
            DestroyWindow();
    }

    /// The codes recorded so far, in order.
    std::vector<UINT> Codes() const
    {
        std::vector<UINT> codes;
        for (const Note& n : notes)
            codes.push_back(n.code);
        return codes;
    }
    int CountOf(UINT code) const
    {
        int n = 0;
        for (const Note& note : notes)
            n += note.code == code ? 1 : 0;
        return n;
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_NOTIFY)
        {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            Record(header);
            if (answer)
                return answer(header);
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }

private:
    void Record(NMHDR* header);
};

using testing_support::Grab;
using testing_support::Pixel;
using testing_support::Pump;
using testing_support::SolidBitmap;

inline LPARAM MousePoint(int x, int y)
{
    return MAKELPARAM(x, y);
}
} // namespace view_test
