#pragma once

#include "platform/win/LastError.h"
#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WinUser.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace window_test
{
struct Received
{
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

/// What the recording windows were sent, in order, with a hook per message for a test's own behaviour.
struct Recorder
{
    std::vector<Received> log;
    std::map<UINT, std::function<LRESULT(HWND, WPARAM, LPARAM)>> handlers;

    std::vector<UINT> Messages(HWND hwnd, std::initializer_list<UINT> only) const
    {
        std::vector<UINT> out;
        for (const auto& r : log)
            if ((!hwnd || r.hwnd == hwnd) && std::find(only.begin(), only.end(), r.msg) != only.end())
                out.push_back(r.msg);
        return out;
    }
    int Count(HWND hwnd, UINT msg) const
    {
        int n = 0;
        for (const auto& r : log)
            n += (r.hwnd == hwnd && r.msg == msg) ? 1 : 0;
        return n;
    }
};

inline Recorder*& CurrentRecorder()
{
    static Recorder* recorder = nullptr;
    return recorder;
}

inline LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (Recorder* r = CurrentRecorder())
    {
        r->log.push_back({hwnd, msg, wParam, lParam});
        auto it = r->handlers.find(msg);
        if (it != r->handlers.end())
            return it->second(hwnd, wParam, lParam);
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

inline const char* RecordingClass(bool doubleClicks = false)
{
    static bool registered = false;
    if (!registered)
    {
        registered = true;
        for (int i = 0; i < 2; ++i)
        {
            WNDCLASSEX wc{};
            wc.cbSize = sizeof wc;
            wc.style = i ? CS_DBLCLKS : 0;
            wc.lpfnWndProc = RecordingProc;
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            wc.lpszClassName = i ? "RecordingDbl" : "Recording";
            RegisterClassEx(&wc);
        }
    }
    return doubleClicks ? "RecordingDbl" : "Recording";
}

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

/// Fixture: a recorder for the test and every window it made destroyed afterwards.
class WindowFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CurrentRecorder() = &recorder;
        RecordingClass();
    }
    void TearDown() override
    {
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            if (IsWindow(*it))
                DestroyWindow(*it);
        platform::window::PumpPendingMessages();
        CurrentRecorder() = nullptr;
    }
    HWND Top(int x = 100, int y = 100, int width = 200, int height = 150, DWORD style = WS_POPUP | WS_VISIBLE,
             DWORD exStyle = 0, HWND owner = nullptr, const char* cls = nullptr)
    {
        HWND h = CreateWindowEx(exStyle, cls ? cls : RecordingClass(), "top", style, x, y, width, height,
                                owner, nullptr, nullptr, nullptr);
        windows.push_back(h);
        return h;
    }
    HWND Child(HWND parent, int id, int x, int y, int w, int h, DWORD style = WS_CHILD | WS_VISIBLE,
               DWORD exStyle = 0, const char* cls = nullptr)
    {
        return CreateWindowEx(exStyle, cls ? cls : RecordingClass(), "child", style, x, y, w, h, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }

    /// Sends a Qt mouse event to the widget of `hwnd` at client point `p`.
    static void Mouse(HWND hwnd, QEvent::Type type, QPoint p, Qt::MouseButton button = Qt::LeftButton)
    {
        QWidget* w = platform::window::HostWidgetOf(hwnd);
        ASSERT_NE(w, nullptr);
        POINT screen{p.x(), p.y()};
        ClientToScreen(hwnd, &screen);
        RECT wr;
        GetWindowRect(hwnd, &wr);
        const QPointF local(screen.x - wr.left, screen.y - wr.top);
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                                             ? Qt::NoButton
                                             : Qt::MouseButtons(button);
        QMouseEvent e(type, local, QPointF(screen.x, screen.y),
                      type == QEvent::MouseMove ? Qt::NoButton : button, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }

    Recorder recorder;
    std::vector<HWND> windows;
};

/// The colour of a pixel of an image as COLORREF.
inline COLORREF Pixel(const QImage& img, int x, int y)
{
    const QRgb p = img.pixel(x, y);
    return RGB(static_cast<BYTE>(qRed(p)), static_cast<BYTE>(qGreen(p)), static_cast<BYTE>(qBlue(p)));
}
} // namespace window_test
