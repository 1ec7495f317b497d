#include "TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support
{
TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "brevicam-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable again so that they can go.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::filesystem::path TempDir::WriteFile(const std::string& name, const std::string& content) const
{
    const auto path = m_path / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::filesystem::path SourceDir()
{
    const char* dir = std::getenv("BREVICAM_TEST_SOURCE_DIR");
    return dir ? dir : ".";
}

std::filesystem::path BinaryDir()
{
    const char* dir = std::getenv("BREVICAM_TEST_BINARY_DIR");
    return dir ? dir : ".";
}
std::vector<std::string> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &local);
    return text;
}
} // namespace testing_support
