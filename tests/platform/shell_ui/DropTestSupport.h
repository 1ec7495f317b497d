#pragma once

// Drops as the desktop's drag loop delivers them to a window of ours, for the tests of drop targets.
// Header-only: include it from tests that link the window layer and Qt Widgets.

#include "platform/window/QtHost.h"
#include "platform/window/Wnd.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace testing_support
{
/// Sends a whole drag over the window's widget (enter, move, drop at `client`), as the desktop's drag loop
/// delivers one, and returns the action the drop was answered with (IgnoreAction when refused).
inline Qt::DropAction SendDrop(HWND hwnd, const QMimeData& data, QPoint client, Qt::DropActions actions,
                               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* widget = platform::window::HostWidgetOf(hwnd);
    if (!widget)
        return Qt::IgnoreAction;
    POINT screen{client.x(), client.y()};
    ClientToScreen(hwnd, &screen);
    const QPoint local = widget->mapFromGlobal(QPoint(screen.x, screen.y));
    QDragEnterEvent enter(local, actions, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(widget, &enter);
    QDragMoveEvent move(local, actions, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(widget, &move);
    if (!move.isAccepted())
    {
        QDragLeaveEvent leave;
        QApplication::sendEvent(widget, &leave);
        return Qt::IgnoreAction;
    }
    QDropEvent drop(QPointF(local), actions, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(widget, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}
} // namespace testing_support
