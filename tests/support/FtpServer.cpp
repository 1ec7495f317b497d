#include "FtpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

extern char** environ;

namespace testing_support
{
namespace
{
using Clock = std::chrono::steady_clock;
constexpr auto kStartLimit = std::chrono::seconds(20);

int FreePort()
{
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

bool Accepts(int port)
{
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return ok;
}

pid_t Spawn(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

bool Running(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}
} // namespace

FtpServer::FtpServer(Kind kind)
{
    const auto deadline = Clock::now() + kStartLimit;
    if (kind == Kind::Real)
    {
        // The port is chosen here and may be taken by someone else before the server binds it; then the
        // server ends at once and another port is tried.
        while (m_port == 0 && Clock::now() < deadline)
        {
            const int port = FreePort();
            m_pid = Spawn({"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                           std::to_string(port), "-d", m_root.Path().string()});
            if (m_pid < 0)
                return;
            while (Clock::now() < deadline && Running(m_pid))
            {
                if (Accepts(port))
                {
                    m_port = port;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (m_port == 0)
            {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
                m_pid = -1;
            }
        }
        return;
    }
    const std::filesystem::path portFile = m_state / "port";
    SetBehaviour("{}");
    m_pid = Spawn({"/usr/bin/python3", (SourceDir() / "tests/fixtures/ftp/hostile_ftp.py").string(),
                   m_root.Path().string(), (m_state / "behaviour.json").string(), portFile.string(),
                   (m_state / "commands.log").string()});
    if (m_pid < 0)
        return;
    while (Clock::now() < deadline && Running(m_pid))
    {
        const std::string text = ReadFile(portFile);
        if (!text.empty())
        {
            m_port = std::stoi(text);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FtpServer::~FtpServer()
{
    if (m_pid > 0)
    {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

std::string FtpServer::Address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::filesystem::path FtpServer::Put(const std::string& name, const std::string& content,
                                     long long mtime) const
{
    const std::filesystem::path path = m_root.WriteFile(name, content);
    if (mtime > 0)
    {
        utimbuf times{static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
        utime(path.c_str(), &times);
    }
    return path;
}

void FtpServer::SetBehaviour(const std::string& json) const
{
    const std::filesystem::path target = m_state / "behaviour.json";
    const std::filesystem::path temporary = m_state / "behaviour.json.tmp";
    std::ofstream(temporary) << json;
    std::filesystem::rename(temporary, target);
}

std::vector<std::string> FtpServer::Commands() const
{
    std::vector<std::string> commands;
    std::istringstream lines(ReadFile(m_state / "commands.log"));
    for (std::string line; std::getline(lines, line);)
        commands.push_back(line);
    return commands;
}
} // namespace testing_support
