// Session lock and unlock from logind: the program's session object on the system bus
// (org.freedesktop.login1.Session) emits Lock and Unlock and changes its "Active" property; each becomes
// WM_WTSSESSION_CHANGE posted to the registered windows. Every call to logind is asynchronous, so a slow
// or absent logind never holds the user-interface thread.

#include "platform/session/WtsApi.h"
#include "platform/win/LastError.h"
#include "platform/window/Extras.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QVariantMap>

#include <cstdlib>
#include <memory>
#include <vector>

namespace
{
using platform::session::SessionWatch;

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManagerInterface = "org.freedesktop.login1.Manager";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* kDefaultSystemBus = "unix:path=/var/run/dbus/system_bus_socket";
constexpr int kCallTimeoutMs = 5000;

std::vector<HWND> g_windows;

/// Posts the change to every registered window that still exists; the others are dropped.
void Tell(UINT change, DWORD sessionNumber)
{
    std::vector<HWND> alive;
    for (HWND hwnd : g_windows)
        if (IsWindow(hwnd))
        {
            alive.push_back(hwnd);
            PostMessage(hwnd, WM_WTSSESSION_CHANGE, change, static_cast<LPARAM>(sessionNumber));
        }
    g_windows.swap(alive);
}

/// Follows the program's logind session from the first registration to the last unregistration, on a
/// connection of its own to the system bus (so a new watch reads the bus address again).
class LogindSessionWatch : public QObject
{
    Q_OBJECT
public:
    LogindSessionWatch()
    {
        static int s_count = 0;
        m_connectionName = QStringLiteral("brevicam-session-watch-%1").arg(++s_count);
        const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            QString::fromUtf8(address && *address ? address : kDefaultSystemBus), m_connectionName));
        if (!m_bus->isConnected())
        {
            m_state = SessionWatch::Unavailable;
            return;
        }
        // The session the program was started in when it says so, else the one logind picks for the
        // calling process ("auto": its own session, or its user's graphical session).
        const char* own = std::getenv("XDG_SESSION_ID");
        AskForSession(own && *own ? QString::fromUtf8(own) : QString(), true);
    }

    ~LogindSessionWatch() override
    {
        // The pending calls' watchers are children of this object and go with it.
        m_bus.reset();
        QDBusConnection::disconnectFromBus(m_connectionName);
    }

    SessionWatch State() const { return m_state; }

private slots:
    void OnLock() { Tell(WTS_SESSION_LOCK, m_sessionNumber); }
    void OnUnlock() { Tell(WTS_SESSION_UNLOCK, m_sessionNumber); }

    /// PropertiesChanged(interface, changed values, names of changed values not given).
    void OnPropertiesChanged(const QDBusMessage& message)
    {
        const QList<QVariant> arguments = message.arguments();
        if (arguments.size() < 3 || arguments[0].toString() != QLatin1String(kSessionInterface))
            return;
        const QVariantMap changed = qdbus_cast<QVariantMap>(arguments[1]);
        if (changed.contains(QStringLiteral("Active")))
            SetActive(changed.value(QStringLiteral("Active")).toBool());
        else if (qdbus_cast<QStringList>(arguments[2]).contains(QStringLiteral("Active")))
            ReadProperties();
    }

private:
    void AskForSession(const QString& id, bool firstTry)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface,
                                                           QStringLiteral("GetSession"));
        call << (id.isEmpty() ? QStringLiteral("auto") : id);
        auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, kCallTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, watcher, tryAuto = firstTry && !id.isEmpty()]
                {
                    watcher->deleteLater();
                    QDBusPendingReply<QDBusObjectPath> reply = *watcher;
                    if (reply.isError())
                    {
                        if (tryAuto)
                            AskForSession(QString(), false);
                        else
                            m_state = SessionWatch::Unavailable;
                        return;
                    }
                    Follow(reply.value().path());
                });
    }

    void Follow(const QString& path)
    {
        m_sessionPath = path;
        const bool subscribed =
            m_bus->connect(kService, path, kSessionInterface, QStringLiteral("Lock"), this, SLOT(OnLock())) &&
            m_bus->connect(kService, path, kSessionInterface, QStringLiteral("Unlock"), this,
                           SLOT(OnUnlock())) &&
            m_bus->connect(kService, path, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                           SLOT(OnPropertiesChanged(QDBusMessage)));
        if (!subscribed)
        {
            m_state = SessionWatch::Unavailable;
            return;
        }
        ReadProperties();
    }

    /// Reads "Active" and "Id"; the watch counts as running once the answer is in, which also means that
    /// the subscriptions sent before it are in place on the bus.
    void ReadProperties()
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, m_sessionPath, kPropertiesInterface,
                                                           QStringLiteral("GetAll"));
        call << QString::fromLatin1(kSessionInterface);
        auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, kCallTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, watcher]
                {
                    watcher->deleteLater();
                    QDBusPendingReply<QVariantMap> reply = *watcher;
                    if (reply.isError())
                    {
                        if (m_state == SessionWatch::Resolving)
                            m_state = SessionWatch::Unavailable;
                        return;
                    }
                    const QVariantMap properties = reply.value();
                    bool numeric = false;
                    const uint number = properties.value(QStringLiteral("Id")).toString().toUInt(&numeric);
                    m_sessionNumber = numeric ? number : 0;
                    const bool active = properties.value(QStringLiteral("Active"), true).toBool();
                    if (m_state == SessionWatch::Resolving)
                    {
                        m_active = active;
                        m_state = SessionWatch::Watching;
                    }
                    else
                    {
                        SetActive(active);
                    }
                });
    }

    void SetActive(bool active)
    {
        if (active == m_active)
            return;
        m_active = active;
        Tell(active ? WTS_CONSOLE_CONNECT : WTS_CONSOLE_DISCONNECT, m_sessionNumber);
    }

    QString m_connectionName;
    std::unique_ptr<QDBusConnection> m_bus;
    QString m_sessionPath;
    SessionWatch m_state = SessionWatch::Resolving;
    bool m_active = true;
    DWORD m_sessionNumber = 0;
};

std::unique_ptr<LogindSessionWatch> g_watch;
} // namespace

BOOL WTSRegisterSessionNotification(HWND hwnd, DWORD flags)
{
    if (flags != NOTIFY_FOR_THIS_SESSION && flags != NOTIFY_FOR_ALL_SESSIONS)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BOOL registered = FALSE;
    platform::window::CallOnUiThread(
        [&]
        {
            if (!IsWindow(hwnd))
                return;
            registered = TRUE;
            for (HWND known : g_windows)
                if (known == hwnd)
                    return;
            g_windows.push_back(hwnd);
            if (!g_watch)
                g_watch = std::make_unique<LogindSessionWatch>();
        });
    if (!registered)
        SetLastError(ERROR_INVALID_PARAMETER);
    return registered;
}

BOOL WTSUnRegisterSessionNotification(HWND hwnd)
{
    BOOL found = FALSE;
    platform::window::CallOnUiThread(
        [&]
        {
            for (auto it = g_windows.begin(); it != g_windows.end(); ++it)
                if (*it == hwnd)
                {
                    g_windows.erase(it);
                    found = TRUE;
                    break;
                }
            if (g_windows.empty())
                g_watch.reset();
        });
    if (!found)
        SetLastError(ERROR_INVALID_PARAMETER);
    return found;
}

namespace platform::session
{
SessionWatch CurrentSessionWatch()
{
    return g_watch ? g_watch->State() : SessionWatch::Off;
}
} // namespace platform::session

#include "SessionNotification_logind.moc"
