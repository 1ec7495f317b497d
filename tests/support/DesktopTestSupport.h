#pragma once

// What the tests of downloads and of the desktop hand-off share: a private home with its XDG folders, the
// desktop's opener replaced by a stand-in that records its calls, and file contents to serve. Header-only.

#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support
{
/// Bytes of a pseudo-random sequence fixed by `seed`.
inline std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

/// Environment variables set for a scope; their former values come back on destruction.
class ScopedEnvironment
{
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment()
    {
        for (const auto& [name, value] : m_saved)
        {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    void Set(const char* name, const std::string& value)
    {
        if (!m_saved.count(name))
        {
            const char* old = std::getenv(name);
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        setenv(name, value.c_str(), 1);
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

/// A home of the test's own: HOME, XDG_CACHE_HOME (home/.cache) and XDG_RUNTIME_DIR (home/run, mode 0700),
/// and an `xdg-open` first on PATH that records each call's arguments and exits with the number written by
/// SetOpenerStatus (0 until then).
class PrivateDesktop
{
public:
    PrivateDesktop()
    {
        namespace fs = std::filesystem;
        m_env.Set("HOME", Home().string());
        m_env.Set("XDG_CACHE_HOME", (Home() / ".cache").string());
        fs::create_directories(Home() / "run");
        fs::permissions(Home() / "run", fs::perms::owner_all);
        m_env.Set("XDG_RUNTIME_DIR", (Home() / "run").string());
        fs::create_directories(Home() / "bin");
        std::ofstream(Home() / "bin/xdg-open")
            << "#!/bin/sh\n{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done; printf -- '--\\n'; } >> '"
            << (Home() / "opener.log").string() << "'\nexit $(cat '" << (Home() / "opener-status").string()
            << "' 2>/dev/null || echo 0)\n";
        fs::permissions(Home() / "bin/xdg-open", fs::perms::owner_all);
        const char* path = std::getenv("PATH");
        m_env.Set("PATH", (Home() / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"));
    }

    const std::filesystem::path& Home() const { return m_home.Path(); }
    /// The lock file of the update checks, in the runtime folder.
    std::filesystem::path UpdateLock() const { return Home() / "run/brevicam-webupdate.lock"; }

    void SetOpenerStatus(int status) const { std::ofstream(Home() / "opener-status") << status; }

    /// Each call of the opener: its arguments.
    std::vector<std::vector<std::string>> OpenerCalls() const
    {
        std::vector<std::vector<std::string>> calls(1);
        std::istringstream lines(ReadFile(Home() / "opener.log"));
        for (std::string line; std::getline(lines, line);)
        {
            if (line == "--")
                calls.emplace_back();
            else
                calls.back().push_back(line);
        }
        calls.pop_back();
        return calls;
    }

private:
    TempDir m_home;
    ScopedEnvironment m_env;
};
} // namespace testing_support
