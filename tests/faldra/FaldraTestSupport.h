#pragma once

#include "faldra_test_ids.h"

#include "platform/resources/Resources.h"
#include "platform/window/Afx.h"
#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"
#include "tests/support/ExceptionTestSupport.h"
#include "tests/support/GdiTestSupport.h"

#include <QImage>
#include <gtest/gtest.h>

namespace faldra_test
{
/// A 32-bit off-screen surface with a DC, for drawing and reading back pixels.
class Canvas
{
public:
    Canvas(int width, int height, COLORREF fill = RGB(0, 0, 0))
    {
        void* bits = nullptr;
        m_bitmap = testing_support::TopDownBitmap(width, height, &bits);
        m_dc.CreateCompatibleDC(nullptr);
        m_old = SelectObject(m_dc.GetSafeHdc(), m_bitmap);
        m_dc.FillSolidRect(0, 0, width, height, fill);
    }
    ~Canvas()
    {
        SelectObject(m_dc.GetSafeHdc(), m_old);
        m_dc.DeleteDC();
        DeleteObject(m_bitmap);
    }
    CDC& dc() { return m_dc; }
    COLORREF at(int x, int y) const { return m_dc.GetPixel(x, y) & 0xFFFFFF; }

private:
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    CDC m_dc;
};

inline HBITMAP Load(UINT id)
{
    return static_cast<HBITMAP>(LoadImage(AfxFindResourceHandle(MAKEINTRESOURCE(id), RT_BITMAP),
                                          MAKEINTRESOURCE(id), IMAGE_BITMAP, 0, 0, 0));
}

using testing_support::Grab;
using testing_support::Pixel;
using testing_support::Pump;
using testing_support::SolidBitmap;

/// A visible top-level window destroyed with the guard.
class TopWindow
{
public:
    explicit TopWindow(int width = 120, int height = 80)
    {
        m_hwnd = CreateWindowEx(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr,
                                nullptr, nullptr);
    }
    ~TopWindow()
    {
        if (IsWindow(m_hwnd))
            DestroyWindow(m_hwnd);
    }
    HWND hwnd() const { return m_hwnd; }

private:
    HWND m_hwnd = nullptr;
};

} // namespace faldra_test
