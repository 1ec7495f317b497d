// The end of the session and system sleep, told to the top-level windows as the system's messages: a
// termination signal becomes WM_QUERYENDSESSION and WM_ENDSESSION, logind's PrepareForSleep becomes
// WM_POWERBROADCAST. A logind delay lock lets the windows finish (a recording's file) before the
// machine sleeps.

#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"
#include "platform/window/WindowInternal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace
{
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: the user-interface thread reads the pipe.
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    return TRUE;
}

void SendToTopLevelWindows(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::vector<HWND> windows;
    EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
    for (HWND hwnd : windows)
        if (IsWindow(hwnd))
            SendMessage(hwnd, message, wParam, lParam);
}

class SessionWatcher : public QObject
{
    Q_OBJECT
public:
    SessionWatcher()
    {
        if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0)
        {
            m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &SessionWatcher::OnSignal);
            struct sigaction action
            {
            };
            action.sa_handler = &OnTerminationSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            sigaction(SIGTERM, &action, nullptr);
            sigaction(SIGHUP, &action, nullptr);
        }
        QDBusConnection bus = QDBusConnection::systemBus();
        if (bus.isConnected() &&
            bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                        "PrepareForSleep", this, SLOT(OnPrepareForSleep(bool))))
            TakeSleepDelay();
    }

private slots:
    void OnSignal()
    {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0)
        {
        }
        if (m_ending)
            return;
        m_ending = true;
        // The session ends without questions: every window answers yes and then ends.
        SendToTopLevelWindows(WM_QUERYENDSESSION, 0, 0);
        SendToTopLevelWindows(WM_ENDSESSION, TRUE, 0);
    }

    void OnPrepareForSleep(bool sleeping)
    {
        if (sleeping)
        {
            SendToTopLevelWindows(WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
            m_sleepDelay = QDBusUnixFileDescriptor(); // done: the machine may sleep
        }
        else
        {
            TakeSleepDelay();
            SendToTopLevelWindows(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        }
    }

private:
    void TakeSleepDelay()
    {
        QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.login1.Manager", QDBusConnection::systemBus());
        QDBusReply<QDBusUnixFileDescriptor> reply =
            manager.call("Inhibit", "sleep", "Brevicam", "Finishing the file being recorded", "delay");
        if (reply.isValid())
            m_sleepDelay = reply.value();
    }

    QSocketNotifier* m_notifier = nullptr;
    QDBusUnixFileDescriptor m_sleepDelay;
    bool m_ending = false;
};
} // namespace

namespace platform::window
{
void WatchSessionAndPower()
{
    static SessionWatcher* watcher = nullptr;
    if (watcher || !detail::IsUiThread())
        return;
    watcher = new SessionWatcher;
    watcher->setParent(QCoreApplication::instance());
}
} // namespace platform::window

#include "Session_qt.moc"
