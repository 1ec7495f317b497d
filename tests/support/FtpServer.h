#pragma once

#include "TempDir.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support
{
/// An FTP server on 127.0.0.1 for one test, serving the files of Root() to anonymous users. Real is the
/// system's pyftpdlib (/usr/bin/python3 -m pyftpdlib); Hostile is our own tests/fixtures/ftp/hostile_ftp.py,
/// which lies about sizes and times, refuses or ignores restarts, truncates or stalls transfers and never
/// greets, as SetBehaviour tells it. The server is stopped on destruction.
class FtpServer
{
public:
    enum class Kind
    {
        Real,
        Hostile
    };

    /// Starts the server and waits (bounded) until it accepts connections; Started() tells whether it did.
    explicit FtpServer(Kind kind);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    bool Started() const { return m_port > 0; }
    int Port() const { return m_port; }
    /// "127.0.0.1:<port>", as a server name for InternetConnect.
    std::string Address() const;
    /// The served folder.
    const std::filesystem::path& Root() const { return m_root.Path(); }
    /// Writes a file below the served folder (creating its folders) with the given modification time (seconds
    /// since 1970; 0 keeps the current time) and returns its path.
    std::filesystem::path Put(const std::string& name, const std::string& content, long long mtime = 0) const;

    /// The hostile server's behaviour as JSON (see hostile_ftp.py); read again for every command.
    void SetBehaviour(const std::string& json) const;
    /// The commands the hostile server received so far, in order.
    std::vector<std::string> Commands() const;

private:
    TempDir m_root;
    TempDir m_state;
    pid_t m_pid = -1;
    int m_port = 0;
};
} // namespace testing_support
