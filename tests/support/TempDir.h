#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support
{
/// A fresh folder under the system's temporary folder, removed with everything in it on destruction.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

    /// Writes `content` to `name` below the folder (creating parents) and returns its path.
    std::filesystem::path WriteFile(const std::string& name, const std::string& content) const;

private:
    std::filesystem::path m_path;
};

/// The whole content of a file, or an empty string when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

/// The names of the entries of a folder, sorted; empty when it is not a folder.
std::vector<std::string> FilesIn(const std::filesystem::path& folder);

/// Today's local date as "YYYYMMDD", as photo, video and GIF names carry it.
std::string Today();

/// The source and build folders of the checkout the tests were built from.
std::filesystem::path SourceDir();
std::filesystem::path BinaryDir();
} // namespace testing_support
