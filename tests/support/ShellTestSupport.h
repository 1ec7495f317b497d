#pragma once

// What the tests of the shell namespace and of the shell controls share: a private home whose XDG user
// folders the test chooses, folder trees made in it, and the text of item names. Header-only.

#include "DesktopTestSupport.h"
#include "TempDir.h"

#include "platform/com/Com.h"
#include "platform/shell/ShellFolder.h"

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

namespace testing_support
{
/// HOME, XDG_CONFIG_HOME (home/.config, with a user-dirs.dirs naming Documents, Pictures and Music in the
/// home) and XDG_DATA_HOME (home/.local/share) of the test's own. Only the user folders the test makes
/// exist.
class PrivateHome
{
public:
    PrivateHome()
    {
        namespace fs = std::filesystem;
        fs::create_directories(Home() / ".config");
        fs::create_directories(Home() / ".local/share");
        std::ofstream(Home() / ".config/user-dirs.dirs")
            << "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\nXDG_PICTURES_DIR=\"$HOME/Pictures\"\n"
               "XDG_MUSIC_DIR=\"$HOME/Music\"\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n";
        m_env.Set("HOME", Home().string());
        m_env.Set("XDG_CONFIG_HOME", (Home() / ".config").string());
        m_env.Set("XDG_DATA_HOME", (Home() / ".local/share").string());
    }

    const std::filesystem::path& Home() const { return m_home.Path(); }

    /// Makes the folders (paths relative to the home, parents included) and returns the first.
    std::filesystem::path Folders(std::initializer_list<std::string> paths) const
    {
        std::filesystem::path first;
        for (const auto& path : paths)
        {
            std::filesystem::create_directories(Home() / path);
            if (first.empty())
                first = Home() / path;
        }
        return first;
    }
    /// Makes an empty file (parents included).
    std::filesystem::path File(const std::string& path) const { return m_home.WriteFile(path, "x"); }
    /// Makes a symbolic link at `path` pointing to `target` (both relative to the home).
    void Link(const std::string& path, const std::string& target) const
    {
        std::filesystem::create_symlink(Home() / target, Home() / path);
    }

private:
    TempDir m_home;
    ScopedEnvironment m_env;
};

/// A display name as UTF-8, or "<error>" when the folder refuses it.
inline std::string NameOf(IShellFolder* folder, LPCITEMIDLIST item, DWORD flags)
{
    STRRET name{};
    if (FAILED(folder->GetDisplayNameOf(item, flags, &name)))
        return "<error>";
    char* text = nullptr;
    if (FAILED(StrRetToStr(&name, item, &text)))
        return "<error>";
    std::string result(text);
    CoTaskMemFree(text);
    return result;
}
} // namespace testing_support
