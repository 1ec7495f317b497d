#include "Mapi.h"
#include "MapiProcess.h"

#include "platform/win/Process.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace platform::mapi
{
namespace
{
/// xdg-settings asks the desktop, which may be slow to answer, or not answer at all.
constexpr int kSettingsTimeoutMs = 5000;

std::string Trimmed(std::string text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

/// The folders desktop entries are installed in, most important first.
std::vector<std::filesystem::path> ApplicationFolders()
{
    std::vector<std::filesystem::path> folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome == '/')
        folders.emplace_back(std::filesystem::path(dataHome) / "applications");
    else if (const char* home = std::getenv("HOME"); home && *home)
        folders.emplace_back(std::filesystem::path(home) / ".local" / "share" / "applications");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share/:/usr/share/";
    std::size_t start = 0;
    while (start <= dirs.size())
    {
        const std::size_t end = dirs.find(':', start);
        const std::string dir =
            dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && dir.front() == '/')
            folders.emplace_back(std::filesystem::path(dir) / "applications");
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return folders;
}

/// The file of a desktop entry id: "a-b-c.desktop" may be applications/a-b-c.desktop, or lie in
/// subfolders whose names were joined to the id with '-' (a/b-c.desktop, a/b/c.desktop).
std::filesystem::path FindDesktopEntry(const std::string& id)
{
    std::vector<std::string> candidates{id};
    std::string nested = id;
    const std::size_t stem = nested.size() - std::string(".desktop").size();
    for (std::size_t i = 0; i < stem; ++i)
        if (nested[i] == '-')
        {
            nested[i] = '/';
            candidates.push_back(nested);
        }
    for (const auto& folder : ApplicationFolders())
        for (const auto& candidate : candidates)
        {
            std::error_code error;
            const std::filesystem::path file = folder / candidate;
            if (std::filesystem::is_regular_file(file, error))
                return file;
        }
    return {};
}

/// The untranslated "Name" of the entry's [Desktop Entry] group; empty when it has none.
std::string EntryName(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line))
    {
        line = Trimmed(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[')
        {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const auto equals = line.find('=');
        if (equals != std::string::npos && Trimmed(line.substr(0, equals)) == "Name")
            return Trimmed(line.substr(equals + 1));
    }
    return {};
}
} // namespace

std::string GetDefaultMailClientName()
{
    try
    {
        const detail::ProgramRun run = detail::RunProgram(
            {"xdg-settings", "get", "default-url-scheme-handler", "mailto"}, true, kSettingsTimeoutMs);
        if (run.exitCode != 0)
            return {};
        const std::string answer = Trimmed(run.output.substr(0, run.output.find('\n')));
        const std::string suffix = ".desktop";
        if (answer.size() <= suffix.size() || !answer.ends_with(suffix) ||
            answer.find('/') != std::string::npos)
            return {};
        const std::filesystem::path file = FindDesktopEntry(answer);
        if (file.empty())
            return {};
        const std::string name = EntryName(file);
        return name.empty() ? answer.substr(0, answer.size() - suffix.size()) : name;
    }
    catch (const std::exception&)
    {
        return {};
    }
}

std::string GetMailHandOffLibrary()
{
    if (platform::FindProgramOnPath("xdg-email").empty())
        return {};
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&MAPISendMail), &info) || !info.dli_fname)
        return {};
    std::error_code error;
    const std::filesystem::path library = std::filesystem::canonical(info.dli_fname, error);
    return error ? std::string() : library.string();
}
} // namespace platform::mapi
