#pragma once

#include "platform/commctrl2/ComboBox.h"
#include "platform/window/Afx.h"
#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace controls_test
{
/// Handles messages until `done` holds or the safety limit passes; false when it never held.
inline bool PumpUntil(const std::function<bool()>& done, int limitMs = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (platform::window::PumpPendingMessages() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

/// The texts of a combo box's items, in order.
inline std::vector<std::string> ComboItems(HWND combo)
{
    std::vector<std::string> items;
    const LRESULT count = ::SendMessage(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
    {
        char text[256] = {};
        ::SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.emplace_back(text);
    }
    return items;
}

inline void Pump()
{
    for (int i = 0; i < 5; ++i)
        platform::window::PumpPendingMessages();
}

/// A Qt mouse event for the window at client point `p`; `held` are the buttons down after the event.
inline void Mouse(HWND hwnd, QEvent::Type type, QPoint p, Qt::MouseButtons held,
                  Qt::MouseButton button = Qt::LeftButton)
{
    QWidget* w = platform::window::HostWidgetOf(hwnd);
    ASSERT_NE(w, nullptr);
    POINT screen{p.x(), p.y()};
    ClientToScreen(hwnd, &screen);
    RECT wr;
    GetWindowRect(hwnd, &wr);
    const QPointF local(screen.x - wr.left, screen.y - wr.top);
    QMouseEvent e(type, local, QPointF(screen.x, screen.y), type == QEvent::MouseMove ? Qt::NoButton : button,
                  held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
    Pump();
}

inline void Click(HWND hwnd, QPoint p)
{
    Mouse(hwnd, QEvent::MouseMove, p, Qt::NoButton);
    Mouse(hwnd, QEvent::MouseButtonPress, p, Qt::LeftButton);
    Mouse(hwnd, QEvent::MouseButtonRelease, p, Qt::NoButton);
}

/// The window's client pixels after every pending paint.
inline QImage Grab(HWND hwnd)
{
    UpdateWindow(hwnd);
    Pump();
    return platform::window::ClientImage(hwnd);
}

/// Whether the top-level window still shows anything on the screen: its widget is shown and lies on the
/// screen. Being minimised alone proves nothing, since a desktop without a window manager keeps such a
/// window where it is.
inline bool ShowsOnScreen(HWND hwnd)
{
    QWidget* widget = platform::window::HostWidgetOf(hwnd);
    if (!widget || !widget->isVisible())
        return false;
    const QRect screen(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return screen.intersects(widget->geometry());
}

inline COLORREF Pixel(const QImage& img, int x, int y)
{
    const QRgb p = img.pixel(x, y);
    return RGB(static_cast<BYTE>(qRed(p)), static_cast<BYTE>(qGreen(p)), static_cast<BYTE>(qBlue(p)));
}
} // namespace controls_test
