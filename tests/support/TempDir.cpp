#include "TempDir.h"

#include <cstdlib>
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
} // namespace testing_support
