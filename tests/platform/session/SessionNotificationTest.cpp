#include "platform/session/WtsApi.h"
#include "platform/win/LastError.h"
#include "platform/window/Extras.h"
#include "tests/support/DesktopTestSupport.h"
#include "tests/support/TempDir.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using platform::session::CurrentSessionWatch;
using platform::session::SessionWatch;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;

namespace
{
constexpr const char* kSessionPath = "/org/freedesktop/login1/session/_37";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";
constexpr DWORD kSessionNumber = 7;
constexpr int kLimitMs = 20000;

/// A message bus of the test's own (dbus-daemon with the session bus's rules, listening in the test's
/// folder); DBUS_SYSTEM_BUS_ADDRESS names it while it lives.
class PrivateBus
{
public:
    explicit PrivateBus(const std::filesystem::path& folder)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        const std::string listen = "--address=unix:path=" + (folder / "system_bus_socket").string();
        m_pid = ::fork();
        if (m_pid == 0)
        {
            ::dup2(out[1], STDOUT_FILENO);
            ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile",
                     "--print-address=1", listen.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // The address comes as one line once the daemon listens.
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLimitMs);
        std::string line;
        while (std::chrono::steady_clock::now() < end && line.find('\n') == std::string::npos)
        {
            pollfd ready{out[0], POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0)
                continue;
            char chunk[256];
            const ssize_t got = ::read(out[0], chunk, sizeof chunk);
            if (got <= 0)
                break;
            line.append(chunk, static_cast<std::size_t>(got));
        }
        ::close(out[0]);
        if (line.find('\n') != std::string::npos)
        {
            m_address = line.substr(0, line.find('\n'));
            m_env.Set("DBUS_SYSTEM_BUS_ADDRESS", m_address);
        }
    }
    ~PrivateBus()
    {
        if (m_pid > 0)
        {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& Address() const { return m_address; }

private:
    pid_t m_pid = -1;
    std::string m_address;
    ScopedEnvironment m_env;
};

/// What this test's logind answers for the program's session.
class FakeSession : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool Active READ Active)
    Q_PROPERTY(QString Id READ Id)
public:
    bool Active() const { return m_active; }
    QString Id() const { return QString::number(kSessionNumber); }
    void SetActive(bool active) { m_active = active; }

private:
    bool m_active = true;
};

class FakeManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList asked;

public slots:
    QDBusObjectPath GetSession(const QString& id)
    {
        asked << id;
        return QDBusObjectPath(kSessionPath);
    }
};

/// logind as far as the watch uses it: the manager that names the session, and the session with its
/// Lock and Unlock signals and its "Active" and "Id" properties.
class FakeLogind
{
public:
    explicit FakeLogind(const std::string& address)
        : m_bus(QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("fake-logind")))
    {
        m_registered = m_bus.isConnected() &&
                       m_bus.registerService(QStringLiteral("org.freedesktop.login1")) &&
                       m_bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager,
                                            QDBusConnection::ExportAllSlots) &&
                       m_bus.registerObject(kSessionPath, &session, QDBusConnection::ExportAllProperties);
    }
    ~FakeLogind() { QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind")); }
    FakeLogind(const FakeLogind&) = delete;
    FakeLogind& operator=(const FakeLogind&) = delete;

    bool Registered() const { return m_registered; }

    void Emit(const char* name)
    {
        m_bus.send(QDBusMessage::createSignal(kSessionPath, kSessionInterface, QString::fromLatin1(name)));
    }

    /// Changes "Active" and says so, with the value (`withValue`) or only its name, as logind may.
    void SetActive(bool active, bool withValue = true)
    {
        session.SetActive(active);
        QDBusMessage changed =
            QDBusMessage::createSignal(kSessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("PropertiesChanged"));
        QVariantMap values;
        QStringList names;
        if (withValue)
            values.insert(QStringLiteral("Active"), active);
        else
            names << QStringLiteral("Active");
        changed << QString::fromLatin1(kSessionInterface) << values << names;
        m_bus.send(changed);
    }

    FakeManager manager;
    FakeSession session;

private:
    QDBusConnection m_bus;
    bool m_registered = false;
};

/// A plain top-level window to register.
HWND MakeWindow()
{
    return CreateWindowEx(0, "STATIC", "session", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

/// Handles the thread's messages, keeping the session changes each window was handed in order.
class ChangeRecorder
{
public:
    /// Pumps until `done` holds or the bound passes; false when it never held.
    bool PumpUntil(const std::function<bool()>& done, int limitMs = kLimitMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        for (;;)
        {
            MSG msg;
            while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            {
                if (msg.message == WM_WTSSESSION_CHANGE)
                    changes[msg.hwnd].push_back(
                        {static_cast<UINT>(msg.wParam), static_cast<DWORD>(msg.lParam)});
                DispatchMessage(&msg);
            }
            if (done())
                return true;
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::vector<UINT> Codes(HWND hwnd) const
    {
        std::vector<UINT> codes;
        if (auto it = changes.find(hwnd); it != changes.end())
            for (const auto& change : it->second)
                codes.push_back(change.first);
        return codes;
    }

    std::map<HWND, std::vector<std::pair<UINT, DWORD>>> changes;
};

class SessionNotificationTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_env.Set("XDG_SESSION_ID", std::to_string(kSessionNumber));
        m_bus.emplace(m_dir.Path());
        if (m_bus->Address().empty())
            GTEST_SKIP() << "dbus-daemon could not be started";
        m_logind.emplace(m_bus->Address());
        ASSERT_TRUE(m_logind->Registered());
    }

    void TearDown() override
    {
        for (HWND hwnd : m_windows)
        {
            WTSUnRegisterSessionNotification(hwnd);
            DestroyWindow(hwnd);
        }
        EXPECT_EQ(CurrentSessionWatch(), SessionWatch::Off);
        m_logind.reset();
        m_bus.reset();
    }

    /// A window registered once the watch follows the session.
    HWND Registered()
    {
        HWND hwnd = MakeWindow();
        m_windows.push_back(hwnd);
        EXPECT_TRUE(WTSRegisterSessionNotification(hwnd, NOTIFY_FOR_THIS_SESSION));
        EXPECT_TRUE(m_recorder.PumpUntil([] { return CurrentSessionWatch() != SessionWatch::Resolving; }));
        EXPECT_EQ(CurrentSessionWatch(), SessionWatch::Watching);
        return hwnd;
    }

    TempDir m_dir;
    ScopedEnvironment m_env;
    std::optional<PrivateBus> m_bus;
    std::optional<FakeLogind> m_logind;
    std::vector<HWND> m_windows;
    ChangeRecorder m_recorder;
};

enum class Step
{
    Lock,
    Unlock,
    Inactive,
    Active,
    InactiveByName,
    ActiveByName
};

/// A step and the change it tells (0: none).
struct StepTold
{
    Step step;
    UINT told;
};

struct ChangeCase
{
    const char* name;
    std::vector<StepTold> steps;
};

class SessionChangeTest : public SessionNotificationTest, public testing::WithParamInterface<ChangeCase>
{
};

TEST_P(SessionChangeTest, EachChangeReachesTheRegisteredWindowInOrder)
{
    const ChangeCase& c = GetParam();
    HWND hwnd = Registered();
    ASSERT_EQ(CurrentSessionWatch(), SessionWatch::Watching);
    std::vector<UINT> expected;
    for (const StepTold& s : c.steps)
    {
        switch (s.step)
        {
        case Step::Lock:
            m_logind->Emit("Lock");
            break;
        case Step::Unlock:
            m_logind->Emit("Unlock");
            break;
        case Step::Inactive:
        case Step::Active:
            m_logind->SetActive(s.step == Step::Active);
            break;
        case Step::InactiveByName:
        case Step::ActiveByName:
            m_logind->SetActive(s.step == Step::ActiveByName, false);
            break;
        }
        // A change named without its value is read back first: the next step waits for what this one told.
        if (s.told)
        {
            expected.push_back(s.told);
            ASSERT_TRUE(
                m_recorder.PumpUntil([&] { return m_recorder.Codes(hwnd).size() >= expected.size(); }))
                << "only " << m_recorder.Codes(hwnd).size() << " changes came";
        }
    }
    // A lock after the steps tells when all of them have been handled: what they told comes first.
    m_logind->Emit("Lock");
    expected.push_back(WTS_SESSION_LOCK);
    ASSERT_TRUE(m_recorder.PumpUntil([&] { return m_recorder.Codes(hwnd).size() >= expected.size(); }));
    EXPECT_EQ(m_recorder.Codes(hwnd), expected);
    for (const auto& change : m_recorder.changes[hwnd])
        EXPECT_EQ(change.second, kSessionNumber);
    EXPECT_EQ(m_logind->manager.asked, QStringList{QString::number(kSessionNumber)});
}

INSTANTIATE_TEST_SUITE_P(Logind, SessionChangeTest,
                         testing::Values(ChangeCase{"LockThenUnlock",
                                                    {{Step::Lock, WTS_SESSION_LOCK},
                                                     {Step::Unlock, WTS_SESSION_UNLOCK}}},
                                         ChangeCase{"SessionLeavesTheSeatAndComesBack",
                                                    {{Step::Inactive, WTS_CONSOLE_DISCONNECT},
                                                     {Step::Active, WTS_CONSOLE_CONNECT}}},
                                         ChangeCase{"ActiveChangeGivenByNameIsReadBack",
                                                    {{Step::InactiveByName, WTS_CONSOLE_DISCONNECT},
                                                     {Step::ActiveByName, WTS_CONSOLE_CONNECT}}},
                                         ChangeCase{"ActiveStayingTrueTellsNothing", {{Step::Active, 0}}}),
                         [](const testing::TestParamInfo<ChangeCase>& info) { return info.param.name; });

TEST_F(SessionNotificationTest, UnregisteringStopsTheChangesOfThatWindowOnly)
{
    HWND gone = Registered();
    HWND stays = Registered();
    ASSERT_TRUE(WTSUnRegisterSessionNotification(gone));
    m_logind->Emit("Lock");
    ASSERT_TRUE(m_recorder.PumpUntil([&] { return !m_recorder.Codes(stays).empty(); }));
    // Both would have been posted at once.
    EXPECT_TRUE(m_recorder.Codes(gone).empty());
    EXPECT_EQ(m_recorder.Codes(stays), std::vector<UINT>{WTS_SESSION_LOCK});

    ASSERT_TRUE(WTSUnRegisterSessionNotification(stays));
    EXPECT_EQ(CurrentSessionWatch(), SessionWatch::Off);
    EXPECT_FALSE(WTSUnRegisterSessionNotification(stays));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SessionNotificationTest, AWindowDestroyedWhileAChangeIsUnderWayIsDroppedQuietly)
{
    HWND destroyed = Registered();
    HWND stays = Registered();
    m_logind->Emit("Lock");
    DestroyWindow(destroyed);
    m_logind->Emit("Unlock");
    ASSERT_TRUE(m_recorder.PumpUntil([&] { return m_recorder.Codes(stays).size() >= 2; }));
    EXPECT_EQ(m_recorder.Codes(stays), (std::vector<UINT>{WTS_SESSION_LOCK, WTS_SESSION_UNLOCK}));
    EXPECT_TRUE(m_recorder.Codes(destroyed).empty());
    // It was dropped with the first change after its end.
    EXPECT_FALSE(WTSUnRegisterSessionNotification(destroyed));
}

TEST_F(SessionNotificationTest, UnregisteringWhileLogindIsStillAskedEndsTheWatchAtOnce)
{
    HWND hwnd = MakeWindow();
    m_windows.push_back(hwnd);
    ASSERT_TRUE(WTSRegisterSessionNotification(hwnd, NOTIFY_FOR_THIS_SESSION));
    EXPECT_EQ(CurrentSessionWatch(), SessionWatch::Resolving);
    ASSERT_TRUE(WTSUnRegisterSessionNotification(hwnd));
    EXPECT_EQ(CurrentSessionWatch(), SessionWatch::Off);
    // An answer to the watch that went arrives to nobody; a new watch starts afresh and works.
    HWND again = Registered();
    m_logind->Emit("Lock");
    ASSERT_TRUE(m_recorder.PumpUntil([&] { return !m_recorder.Codes(again).empty(); }));
    EXPECT_EQ(m_recorder.Codes(again), std::vector<UINT>{WTS_SESSION_LOCK});
    EXPECT_TRUE(m_recorder.Codes(hwnd).empty());
}

TEST_F(SessionNotificationTest, RefusesWindowsThatDoNotExistAndUnknownFlags)
{
    SetLastError(0);
    EXPECT_FALSE(WTSRegisterSessionNotification(nullptr, NOTIFY_FOR_THIS_SESSION));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    HWND hwnd = MakeWindow();
    m_windows.push_back(hwnd);
    SetLastError(0);
    EXPECT_FALSE(WTSRegisterSessionNotification(hwnd, 5));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CurrentSessionWatch(), SessionWatch::Off);
    // Registering twice registers once: one unregistration ends it.
    ASSERT_TRUE(WTSRegisterSessionNotification(hwnd, NOTIFY_FOR_ALL_SESSIONS));
    ASSERT_TRUE(WTSRegisterSessionNotification(hwnd, NOTIFY_FOR_THIS_SESSION));
    ASSERT_TRUE(WTSUnRegisterSessionNotification(hwnd));
    EXPECT_EQ(CurrentSessionWatch(), SessionWatch::Off);
}

/// Without logind nothing is ever told, and registering still succeeds.
class NoLogindTest : public testing::Test
{
protected:
    void TearDown() override
    {
        WTSUnRegisterSessionNotification(m_window);
        DestroyWindow(m_window);
    }

    TempDir m_dir;
    ScopedEnvironment m_env;
    HWND m_window = MakeWindow();
    ChangeRecorder m_recorder;
};

TEST_F(NoLogindTest, WithoutABusTheSessionNeverLocks)
{
    m_env.Set("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (m_dir.Path() / "no_bus_here").string());
    ASSERT_TRUE(WTSRegisterSessionNotification(m_window, NOTIFY_FOR_THIS_SESSION));
    EXPECT_EQ(CurrentSessionWatch(), SessionWatch::Unavailable);
}

TEST_F(NoLogindTest, ABusWithoutLogindMeansTheSessionNeverLocks)
{
    PrivateBus bus(m_dir.Path());
    if (bus.Address().empty())
        GTEST_SKIP() << "dbus-daemon could not be started";
    ASSERT_TRUE(WTSRegisterSessionNotification(m_window, NOTIFY_FOR_THIS_SESSION));
    ASSERT_TRUE(m_recorder.PumpUntil([] { return CurrentSessionWatch() != SessionWatch::Resolving; }));
    EXPECT_EQ(CurrentSessionWatch(), SessionWatch::Unavailable);
    EXPECT_TRUE(m_recorder.changes.empty());
}
} // namespace

#include "SessionNotificationTest.moc"
