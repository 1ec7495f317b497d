// Module handles over the dynamic loader: loaded modules are found with dl_iterate_phdr, their
// resource streams in their PT_NOTE segments; data files are read with the same note walk from disk.

#include "ModuleResources.h"
#include "Resources.h"

#include "platform/win/CString.h"
#include "platform/win/LastError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <filesystem>
#include <link.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform::resources
{
namespace
{
constexpr char kNoteOwner[] = "Brevicam"; // with its terminator: 9 bytes
constexpr Elf64_Word kNoteType = 0x43525352;
// Resource streams beyond this are not ours; a damaged file must not make us allocate without limit.
constexpr std::uint64_t kMaxNoteSegment = 512ull << 20;

using Stream = std::pair<const BYTE*, std::size_t>;

// Finds our notes in one note segment of `size` bytes; every field is checked against the segment.
void FindNotes(const BYTE* segment, std::size_t size, std::size_t align, std::vector<Stream>& out)
{
    auto pad = [align](std::uint64_t v) { return (v + align - 1) & ~static_cast<std::uint64_t>(align - 1); };
    std::uint64_t pos = 0;
    // The padding after the last note can carry pos past the end.
    while (pos <= size && size - pos >= sizeof(Elf64_Nhdr))
    {
        Elf64_Nhdr header;
        std::memcpy(&header, segment + pos, sizeof header);
        const std::uint64_t nameStart = pos + sizeof header;
        const std::uint64_t descStart = nameStart + pad(header.n_namesz);
        const std::uint64_t descEnd = descStart + header.n_descsz;
        if (descStart > size || descEnd > size)
            return;
        if (header.n_type == kNoteType && header.n_namesz == sizeof kNoteOwner &&
            std::memcmp(segment + nameStart, kNoteOwner, sizeof kNoteOwner) == 0)
            out.emplace_back(segment + descStart, header.n_descsz);
        pos = pad(descEnd);
    }
}

// A snapshot of one loaded module, taken under the loader's lock.
struct LoadedModule
{
    bool found = false;
    bool isMain = false;
    std::uintptr_t base = 0;
    std::string path;
    std::vector<Stream> streams;
};

std::uintptr_t PageMask()
{
    static const long page = sysconf(_SC_PAGESIZE);
    return ~static_cast<std::uintptr_t>((page > 0 ? page : 4096) - 1);
}

std::uintptr_t BaseOf(const dl_phdr_info* info)
{
    std::uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD)
            lowest = std::min<std::uintptr_t>(lowest, info->dlpi_phdr[i].p_vaddr);
    if (lowest == UINTPTR_MAX)
        return 0;
    return (info->dlpi_addr + lowest) & PageMask();
}

bool InLoadSegment(const dl_phdr_info* info, std::uintptr_t start, std::uintptr_t size)
{
    for (int i = 0; i < info->dlpi_phnum; ++i)
    {
        const auto& ph = info->dlpi_phdr[i];
        const std::uintptr_t segStart = info->dlpi_addr + ph.p_vaddr;
        if (ph.p_type == PT_LOAD && start >= segStart && size <= ph.p_memsz &&
            start - segStart <= ph.p_memsz - size)
            return true;
    }
    return false;
}

std::string ReadExecutablePath()
{
    std::string buffer(256, '\0');
    while (true)
    {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size())
        {
            buffer.resize(static_cast<std::size_t>(n));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    constexpr std::string_view deleted = " (deleted)";
    if (buffer.size() > deleted.size() && buffer.ends_with(deleted))
        buffer.resize(buffer.size() - deleted.size());
    return buffer;
}

// The program file does not change while it runs; its path is read once.
const std::string& ExecutablePath()
{
    static const std::string path = ReadExecutablePath();
    return path;
}

struct Query
{
    enum class By
    {
        Main,
        Base,
        Address,
        Name
    } by;
    std::uintptr_t value = 0;
    std::string name;
    LoadedModule result;
    int index = 0;
};

std::string FileName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int Visit(dl_phdr_info* info, std::size_t, void* data)
{
    auto* q = static_cast<Query*>(data);
    const bool isMain = q->index++ == 0;
    const std::uintptr_t base = BaseOf(info);
    if (base == 0)
        return 0;
    const char* name = isMain ? ExecutablePath().c_str() : (info->dlpi_name ? info->dlpi_name : "");
    bool match = false;
    switch (q->by)
    {
    case Query::By::Main:
        match = isMain;
        break;
    case Query::By::Base:
        match = base == q->value;
        break;
    case Query::By::Address:
        match = InLoadSegment(info, q->value, 1);
        break;
    case Query::By::Name:
        match =
            *name && (q->name.find('/') != std::string::npos ? q->name == name : FileName(name) == q->name);
        break;
    }
    if (!match)
        return 0;
    LoadedModule& m = q->result;
    m.found = true;
    m.isMain = isMain;
    m.base = base;
    m.path = name;
    for (int i = 0; i < info->dlpi_phnum; ++i)
    {
        const auto& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE)
            continue;
        const std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (!InLoadSegment(info, start, ph.p_memsz))
            continue;
        FindNotes(reinterpret_cast<const BYTE*>(start), ph.p_memsz, ph.p_align == 8 ? 8 : 4, m.streams);
    }
    return 1;
}

LoadedModule FindLoaded(Query q)
{
    dl_iterate_phdr(Visit, &q);
    return std::move(q.result);
}

// A file read for its resources only.
struct DataFile
{
    std::string path;
    std::shared_ptr<ModuleResources> resources;
};

// Reads the resource streams of an ELF file from disk; false (with the last error) when it is no ELF
// file of this machine's kind or cannot be read.
bool ReadFileStreams(const std::string& path, std::vector<std::vector<BYTE>>& owned)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_MOD_NOT_FOUND : ErrorFromErrno(errno));
        return false;
    }
    struct Closer
    {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        SetLastError(ERROR_BAD_FORMAT);
        return false;
    }
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    auto readAt = [fd, fileSize](void* to, std::uint64_t size, std::uint64_t offset)
    {
        if (offset > fileSize || size > fileSize - offset)
            return false;
        auto* p = static_cast<char*>(to);
        while (size > 0)
        {
            const ssize_t n = pread(fd, p, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            size -= static_cast<std::uint64_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
        return true;
    };
    Elf64_Ehdr eh;
    if (!readAt(&eh, sizeof eh, 0) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
        eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB ||
        eh.e_phentsize != sizeof(Elf64_Phdr) || eh.e_phnum > 4096)
    {
        SetLastError(ERROR_BAD_FORMAT);
        return false;
    }
    std::vector<Elf64_Phdr> phdrs(eh.e_phnum);
    if (!readAt(phdrs.data(), phdrs.size() * sizeof(Elf64_Phdr), eh.e_phoff))
    {
        SetLastError(ERROR_BAD_FORMAT);
        return false;
    }
    for (const auto& ph : phdrs)
    {
        if (ph.p_type != PT_NOTE || ph.p_filesz == 0)
            continue;
        // Checked against the file before allocating: a damaged header must not cost its claimed size.
        if (ph.p_filesz > kMaxNoteSegment || ph.p_offset > fileSize || ph.p_filesz > fileSize - ph.p_offset)
        {
            SetLastError(ERROR_BAD_FORMAT);
            return false;
        }
        std::vector<BYTE> segment(ph.p_filesz);
        if (!readAt(segment.data(), segment.size(), ph.p_offset))
        {
            SetLastError(ERROR_BAD_FORMAT);
            return false;
        }
        std::vector<Stream> found;
        FindNotes(segment.data(), segment.size(), ph.p_align == 8 ? 8 : 4, found);
        for (const auto& [data, size] : found)
            owned.emplace_back(data, data + size);
    }
    return true;
}

struct LoadedLibrary
{
    void* handle = nullptr;
    int count = 0;
};

struct CachedResources
{
    std::string path;
    const BYTE* firstStream = nullptr;
    std::size_t streamCount = 0;
    std::shared_ptr<ModuleResources> resources;
};

struct State
{
    std::mutex lock;
    std::map<std::uintptr_t, LoadedLibrary> loaded;  // by base, what LoadLibrary loaded
    std::map<std::uintptr_t, CachedResources> cache; // by base, parsed resources of loaded modules
    std::set<DataFile*> dataFiles;
};

State& GetState()
{
    static State* state = new State(); // never destroyed: modules may be freed during static destruction
    return *state;
}

DataFile* AsDataFile(HMODULE module)
{
    const auto v = reinterpret_cast<std::uintptr_t>(module);
    return (v & 1) ? reinterpret_cast<DataFile*>(v & ~static_cast<std::uintptr_t>(1)) : nullptr;
}

HMODULE ToHandle(std::uintptr_t base)
{
    return reinterpret_cast<HMODULE>(base);
}

std::string ExecutableFolder()
{
    const std::string exe = ExecutablePath();
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

// Where a library name leads: a path as given, or the file beside the executable when there is one.
std::string ResolveLibrary(const std::string& name, bool searchSystem)
{
    std::error_code ec;
    if (name.find('/') != std::string::npos)
        return std::filesystem::absolute(name, ec).lexically_normal().string();
    const std::string beside = ExecutableFolder() + "/" + name;
    if (std::filesystem::exists(beside, ec))
        return beside;
    return searchSystem ? name : std::filesystem::absolute(name, ec).lexically_normal().string();
}
} // namespace

bool ModuleResources::Holds(const ResourceEntry* entry) const
{
    const auto& e = parsed.entries;
    if (e.empty())
        return false;
    const auto p = reinterpret_cast<std::uintptr_t>(entry);
    const auto first = reinterpret_cast<std::uintptr_t>(e.data());
    return p >= first && p < first + e.size() * sizeof(ResourceEntry) &&
           (p - first) % sizeof(ResourceEntry) == 0;
}

std::shared_ptr<ModuleResources> BuildModuleResources(const std::vector<Stream>& streams,
                                                      std::vector<std::vector<BYTE>> owned,
                                                      const char* modulePath)
{
    auto res = std::make_shared<ModuleResources>();
    res->owned = std::move(owned);
    std::vector<Stream> all = streams;
    for (const auto& o : res->owned)
        all.emplace_back(o.data(), o.size());
    res->hasStream = !all.empty();
    res->parsed.ok = true;
    for (const auto& [data, size] : all)
    {
        ParsedResources one = ParseResStream(data, size);
        if (!one.ok)
        {
            res->parsed.ok = false;
            res->parsed.entries.clear();
            res->parsed.error = std::string(modulePath) + ": " + one.error;
            break;
        }
        for (auto& e : one.entries)
            res->parsed.entries.push_back(std::move(e));
    }
    return res;
}

std::shared_ptr<const ModuleResources> ResourcesOf(HMODULE module)
{
    std::shared_ptr<ModuleResources> res;
    State& state = GetState();
    if (DataFile* file = AsDataFile(module))
    {
        std::lock_guard lock(state.lock);
        if (!state.dataFiles.count(file))
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        res = file->resources;
    }
    else
    {
        // The loader's lock is taken before ours, never inside it.
        const LoadedModule m =
            FindLoaded(module ? Query{Query::By::Base, reinterpret_cast<std::uintptr_t>(module), {}, {}, 0}
                              : Query{Query::By::Main, 0, {}, {}, 0});
        if (!m.found)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        const BYTE* first = m.streams.empty() ? nullptr : m.streams.front().first;
        std::lock_guard lock(state.lock);
        auto& cached = state.cache[m.base];
        if (!cached.resources || cached.path != m.path || cached.firstStream != first ||
            cached.streamCount != m.streams.size())
        {
            cached.path = m.path;
            cached.firstStream = first;
            cached.streamCount = m.streams.size();
            cached.resources = BuildModuleResources(m.streams, {}, m.path.c_str());
        }
        res = cached.resources;
    }
    if (!res->hasStream)
    {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (!res->parsed.ok)
    {
        if (!res->reported.exchange(true))
            std::fprintf(stderr, "brevicam: %s\n", res->parsed.error.c_str());
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return res;
}

HINSTANCE ModuleFromAddress(const void* address)
{
    const LoadedModule m =
        FindLoaded(Query{Query::By::Address, reinterpret_cast<std::uintptr_t>(address), {}, {}, 0});
    if (!m.found)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return ToHandle(m.base);
}
} // namespace platform::resources

using namespace platform::resources;

namespace
{
thread_local std::string t_lastLoadError;
} // namespace

const char* platform::resources::LastLoadError()
{
    return t_lastLoadError.c_str();
}

HMODULE LoadLibraryA(LPCSTR fileName)
{
    t_lastLoadError.clear();
    if (!fileName || !*fileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string path = ResolveLibrary(fileName, true);
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
    {
        const char* why = dlerror();
        t_lastLoadError = why ? why : "";
        std::error_code ec;
        const bool missing = path.find('/') != std::string::npos ? !std::filesystem::exists(path, ec)
                                                                 : (why && std::strstr(why, "No such file"));
        SetLastError(missing ? ERROR_MOD_NOT_FOUND : ERROR_BAD_FORMAT);
        return nullptr;
    }
    link_map* map = nullptr;
    std::uintptr_t base = 0;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map)
    {
        const void* inside = map->l_ld ? static_cast<const void*>(map->l_ld) : nullptr;
        const LoadedModule m =
            FindLoaded(Query{Query::By::Address, reinterpret_cast<std::uintptr_t>(inside), {}, {}, 0});
        base = m.found ? m.base : 0;
    }
    if (base == 0)
    {
        dlclose(handle);
        SetLastError(ERROR_BAD_FORMAT);
        return nullptr;
    }
    State& state = GetState();
    std::lock_guard lock(state.lock);
    auto& entry = state.loaded[base];
    if (entry.handle && entry.handle != handle)
        dlclose(entry.handle); // cannot happen for one mapping; keep the count honest if it does
    entry.handle = handle;
    ++entry.count;
    return ToHandle(base);
}

HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE reserved, DWORD flags)
{
    if (reserved)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!(flags &
          (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)))
        return LoadLibraryA(fileName);
    if (!fileName || !*fileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string path = ResolveLibrary(fileName, false);
    std::vector<std::vector<BYTE>> owned;
    if (!ReadFileStreams(path, owned))
        return nullptr;
    auto* file = new DataFile{path, BuildModuleResources({}, std::move(owned), path.c_str())};
    State& state = GetState();
    std::lock_guard lock(state.lock);
    state.dataFiles.insert(file);
    return reinterpret_cast<HMODULE>(reinterpret_cast<std::uintptr_t>(file) | 1);
}

BOOL FreeLibrary(HMODULE module)
{
    State& state = GetState();
    if (DataFile* file = AsDataFile(module))
    {
        {
            std::lock_guard lock(state.lock);
            if (!state.dataFiles.erase(file))
            {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
        }
        delete file;
        return TRUE;
    }
    void* handle = nullptr;
    {
        std::lock_guard lock(state.lock);
        auto it = state.loaded.find(reinterpret_cast<std::uintptr_t>(module));
        if (it == state.loaded.end())
        {
            // Modules that came with the program stay; freeing them is a no-op, as on Windows.
            if (FindLoaded(Query{Query::By::Base, reinterpret_cast<std::uintptr_t>(module), {}, {}, 0}).found)
                return TRUE;
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        handle = it->second.handle;
        if (--it->second.count == 0)
        {
            state.loaded.erase(it);
            state.cache.erase(reinterpret_cast<std::uintptr_t>(module));
        }
    }
    dlclose(handle);
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName)
{
    if (AsDataFile(module))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!procName || IS_INTRESOURCE(procName))
    {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = nullptr;
    bool known = false;
    {
        State& state = GetState();
        std::lock_guard lock(state.lock);
        auto it = state.loaded.find(reinterpret_cast<std::uintptr_t>(module));
        if (it != state.loaded.end())
        {
            known = true;
            symbol = dlsym(it->second.handle, procName);
        }
    }
    if (!known)
    {
        const LoadedModule m =
            FindLoaded(module ? Query{Query::By::Base, reinterpret_cast<std::uintptr_t>(module), {}, {}, 0}
                              : Query{Query::By::Main, 0, {}, {}, 0});
        if (!m.found)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        // A module that came with the program: a new reference only for the look-up.
        void* handle =
            m.isMain ? dlopen(nullptr, RTLD_LAZY) : dlopen(m.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (handle)
        {
            symbol = dlsym(handle, procName);
            dlclose(handle);
        }
    }
    if (!symbol)
    {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

HMODULE GetModuleHandleA(LPCSTR moduleName)
{
    const LoadedModule m = moduleName ? FindLoaded(Query{Query::By::Name, 0, moduleName, {}, 0})
                                      : FindLoaded(Query{Query::By::Main, 0, {}, {}, 0});
    if (!m.found)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return ToHandle(m.base);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    if (!buffer || size == 0)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    buffer[0] = '\0';
    std::string path;
    if (DataFile* file = AsDataFile(module))
    {
        State& state = GetState();
        std::lock_guard lock(state.lock);
        if (!state.dataFiles.count(file))
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        path = file->path;
    }
    else
    {
        const LoadedModule m =
            FindLoaded(module ? Query{Query::By::Base, reinterpret_cast<std::uintptr_t>(module), {}, {}, 0}
                              : Query{Query::By::Main, 0, {}, {}, 0});
        if (!m.found || m.path.empty())
        {
            SetLastError(m.found ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE);
            return 0;
        }
        path = m.path;
    }
    const std::size_t copied = platform::CopyTruncated(buffer, size, path);
    if (copied < path.size())
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return static_cast<DWORD>(copied);
}
