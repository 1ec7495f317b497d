#include "CameraButton.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/input.h>
#include <poll.h>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace platform::dshow
{
namespace
{
/// Whether a capability bitmap of sysfs ("10000 0 0 0", the highest word first) has `bit` set.
bool HasBit(const std::string& bitmap, unsigned bit)
{
    std::istringstream words(bitmap);
    std::vector<unsigned long long> values;
    std::string word;
    while (words >> word)
        values.push_back(std::strtoull(word.c_str(), nullptr, 16));
    const unsigned bitsPerWord = sizeof(long) * 8;
    size_t fromEnd = bit / bitsPerWord;
    if (fromEnd >= values.size())
        return false;
    return (values[values.size() - 1 - fromEnd] >> (bit % bitsPerWord)) & 1u;
}
} // namespace

std::string CameraButtonNode(const std::string& sysfsRoot, const std::string& videoNodeName)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path usbDevice =
        fs::canonical(fs::path(sysfsRoot) / "class/video4linux" / videoNodeName / "device", error);
    if (error)
        return {};
    usbDevice = usbDevice.parent_path();
    fs::recursive_directory_iterator it(usbDevice, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
    {
        if (it.depth() > 4)
        {
            it.disable_recursion_pending();
            continue;
        }
        const fs::path& path = it->path();
        std::string name = path.filename().string();
        if (name.rfind("event", 0) != 0 || path.parent_path().parent_path().filename() != "input")
            continue;
        std::ifstream keys(path.parent_path() / "capabilities" / "key");
        std::string bitmap;
        std::getline(keys, bitmap);
        if (HasBit(bitmap, KEY_CAMERA))
            return "/dev/input/" + name;
    }
    return {};
}

CameraButtonReader::CameraButtonReader(int fd, std::function<void()> pressed)
    : m_fd(fd), m_pressed(std::move(pressed))
{
    if (pipe2(m_wake, O_CLOEXEC) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_thread = std::thread([this] { Run(); });
}

CameraButtonReader::~CameraButtonReader()
{
    if (m_wake[1] >= 0)
    {
        char stop = 0;
        while (write(m_wake[1], &stop, 1) < 0 && errno == EINTR)
        {
        }
    }
    m_thread.join();
    for (int fd : {m_fd, m_wake[0], m_wake[1]})
        if (fd >= 0)
            close(fd);
}

void CameraButtonReader::Run()
{
    pollfd watched[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    std::vector<char> pending;
    for (;;)
    {
        int ready = poll(watched, m_wake[0] >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || watched[1].revents)
            return;
        if (!(watched[0].revents & POLLIN))
            return;
        char buffer[sizeof(input_event) * 16];
        ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        // The device went (ENODEV) or the writer closed: nothing more will come.
        if (n <= 0)
            return;
        pending.insert(pending.end(), buffer, buffer + n);
        size_t whole = pending.size() / sizeof(input_event) * sizeof(input_event);
        for (size_t at = 0; at < whole; at += sizeof(input_event))
        {
            input_event event;
            std::memcpy(&event, pending.data() + at, sizeof event);
            if (event.type == EV_KEY && event.code == KEY_CAMERA && event.value == 1)
                m_pressed();
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(whole));
    }
}
} // namespace platform::dshow
