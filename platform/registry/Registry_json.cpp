#include "CpuProbe.h"
#include "Registry.h"

#include "platform/win/LastError.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <stdio.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace
{
using Json = nlohmann::json;
using Bytes = std::vector<BYTE>;

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
// Keys nest at most this deep, as on Windows. Loading and saving walk the tree recursively, so a file
// nested deeper is damaged rather than a reason to run out of stack.
constexpr std::size_t kMaxKeyDepth = 512;
// The JSON nesting of a hive with keys that deep: two objects per key level, then the values, a value
// and the list of a REG_MULTI_SZ.
constexpr int kMaxJsonDepth = 2 * static_cast<int>(kMaxKeyDepth) + 3;
constexpr int kFormatVersion = 1;
constexpr const char* kFormatName = "brevicam-registry";

// Names compare without case as the Windows registry compares them; only ASCII letters fold, which is
// all the names the program uses.
std::string Fold(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size())
    {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        unsigned min = 0;
        if (c < 0x80)
            extra = 0;
        else if ((c & 0xE0) == 0xC0)
            extra = 1, min = 0x80;
        else if ((c & 0xF0) == 0xE0)
            extra = 2, min = 0x800;
        else if ((c & 0xF8) == 0xF0)
            extra = 3, min = 0x10000;
        else
            return false;
        if (i + extra >= text.size())
            return false;
        unsigned code = extra == 0 ? c : (c & (0x3F >> extra));
        for (std::size_t k = 1; k <= extra; ++k)
        {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (cc & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string ToHex(const Bytes& data)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(data.size() * 2);
    for (BYTE b : data)
    {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0xF];
    }
    return hex;
}

std::optional<Bytes> FromHex(std::string_view hex)
{
    if (hex.size() % 2 != 0)
        return std::nullopt;
    auto digit = [](char c) -> int
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    Bytes data;
    data.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2)
    {
        const int hi = digit(hex[i]);
        const int lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        data.push_back(static_cast<BYTE>(hi << 4 | lo));
    }
    return data;
}

// ---------------------------------------------------------------------------------------------------------
// The tree of one hive.

struct Value
{
    std::string name;
    DWORD type = REG_NONE;
    Bytes data;
};

struct Key
{
    std::string name;
    std::map<std::string, std::unique_ptr<Key>> keys; // by folded name
    std::map<std::string, Value> values;              // by folded name
};

// Texts are kept in one form whatever the caller passed: the characters up to the first terminator, then
// one terminator (a list ends with an empty text). Readers then always get what they expect back.
Bytes Canonical(DWORD type, const BYTE* data, DWORD size)
{
    const char* text = reinterpret_cast<const char*>(data);
    if (type == REG_SZ || type == REG_EXPAND_SZ)
    {
        // An empty text may come without any bytes at all, and then without a pointer to them.
        const std::string_view s(text, size ? strnlen(text, size) : 0);
        Bytes out(s.begin(), s.end());
        out.push_back(0);
        return out;
    }
    if (type == REG_MULTI_SZ)
    {
        Bytes out;
        std::size_t pos = 0;
        while (pos < size)
        {
            const std::size_t len = strnlen(text + pos, size - pos);
            if (len == 0)
                break;
            out.insert(out.end(), data + pos, data + pos + len);
            out.push_back(0);
            pos += len + 1;
        }
        out.push_back(0);
        return out;
    }
    return Bytes(data, data + size);
}

std::vector<std::string> SplitMulti(const Bytes& data)
{
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos < data.size() && data[pos] != 0)
    {
        std::size_t end = pos;
        while (end < data.size() && data[end] != 0)
            ++end;
        items.emplace_back(reinterpret_cast<const char*>(data.data()) + pos, end - pos);
        pos = end + 1;
    }
    return items;
}

const std::array<std::pair<DWORD, const char*>, 6> kTypeNames = {{{REG_NONE, "REG_NONE"},
                                                                  {REG_SZ, "REG_SZ"},
                                                                  {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
                                                                  {REG_BINARY, "REG_BINARY"},
                                                                  {REG_DWORD, "REG_DWORD"},
                                                                  {REG_MULTI_SZ, "REG_MULTI_SZ"}}};

// Each value is {"type": ..., "data": ...} with data in its natural JSON form (text, number, list of
// texts), or {"type": ..., "hex": "..."} for bytes: binary values, and any value whose bytes have no
// natural form (text that is not UTF-8, a REG_DWORD that is not four bytes, types without a name).
Json ValueToJson(const Value& v)
{
    Json j = Json::object();
    const auto name = std::find_if(kTypeNames.begin(), kTypeNames.end(),
                                   [&](const auto& entry) { return entry.first == v.type; });
    if (name != kTypeNames.end())
        j["type"] = name->second;
    else
        j["type"] = v.type;

    const std::string_view text(reinterpret_cast<const char*>(v.data.data()),
                                v.data.empty() ? 0 : v.data.size() - 1);
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && IsValidUtf8(text))
        j["data"] = std::string(text);
    else if (v.type == REG_MULTI_SZ)
    {
        auto items = SplitMulti(v.data);
        if (std::all_of(items.begin(), items.end(), [](const std::string& s) { return IsValidUtf8(s); }))
            j["data"] = items;
    }
    else if (v.type == REG_DWORD && v.data.size() == sizeof(DWORD))
    {
        DWORD number = 0;
        std::memcpy(&number, v.data.data(), sizeof number);
        j["data"] = number;
    }
    if (!j.contains("data"))
        j["hex"] = ToHex(v.data);
    return j;
}

struct FormatError
{
    std::string text;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what)
{
    throw FormatError{where.empty() ? what : "key \"" + where + "\": " + what};
}

Value ValueFromJson(const std::string& where, const std::string& name, const Json& j)
{
    const std::string at = "value \"" + name + "\" ";
    if (!j.is_object() || !j.contains("type"))
        Fail(where, at + "has no type");
    Value v;
    v.name = name;
    const Json& type = j["type"];
    if (type.is_string())
    {
        const auto known = std::find_if(kTypeNames.begin(), kTypeNames.end(),
                                        [&](const auto& entry) { return type == entry.second; });
        if (known == kTypeNames.end())
            Fail(where, at + "has the unknown type " + type.dump());
        v.type = known->first;
    }
    else if (type.is_number_unsigned() && type.get<std::uint64_t>() <= 0xFFFFFFFFu)
        v.type = type.get<DWORD>();
    else
        Fail(where, at + "has a malformed type");

    if (j.contains("hex"))
    {
        const auto bytes = j["hex"].is_string() ? FromHex(j["hex"].get<std::string>()) : std::nullopt;
        if (!bytes)
            Fail(where, at + "has malformed hex data");
        v.data = Canonical(v.type, bytes->data(), static_cast<DWORD>(bytes->size()));
        return v;
    }
    if (!j.contains("data"))
        Fail(where, at + "has no data");
    const Json& data = j["data"];
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && data.is_string())
    {
        const auto& s = data.get_ref<const std::string&>();
        v.data = Canonical(v.type, reinterpret_cast<const BYTE*>(s.data()), static_cast<DWORD>(s.size()));
    }
    else if (v.type == REG_MULTI_SZ && data.is_array())
    {
        for (const auto& item : data)
        {
            if (!item.is_string() || item.get_ref<const std::string&>().empty())
                Fail(where, at + "has a malformed list of texts");
            const auto& s = item.get_ref<const std::string&>();
            v.data.insert(v.data.end(), s.begin(), s.end());
            v.data.push_back(0);
        }
        v.data.push_back(0);
    }
    else if (v.type == REG_DWORD && data.is_number_unsigned() && data.get<std::uint64_t>() <= 0xFFFFFFFFu)
    {
        const DWORD number = data.get<DWORD>();
        v.data.resize(sizeof number);
        std::memcpy(v.data.data(), &number, sizeof number);
    }
    else
        Fail(where, at + "has data that does not fit its type");
    return v;
}

Json KeyToJson(const Key& key, bool skipHardware)
{
    Json j = Json::object();
    if (!key.values.empty())
    {
        Json values = Json::object();
        for (const auto& [folded, v] : key.values)
            values[v.name] = ValueToJson(v);
        j["values"] = std::move(values);
    }
    Json keys = Json::object();
    for (const auto& [folded, sub] : key.keys)
        if (!(skipHardware && folded == "hardware"))
            keys[sub->name] = KeyToJson(*sub, false);
    if (!keys.empty())
        j["keys"] = std::move(keys);
    return j;
}

std::unique_ptr<Key> KeyFromJson(const std::string& where, const std::string& name, const Json& j)
{
    if (!j.is_object())
        Fail(where, "is not an object");
    auto key = std::make_unique<Key>();
    key->name = name;
    if (j.contains("values"))
    {
        if (!j["values"].is_object())
            Fail(where, "has malformed values");
        for (const auto& [valueName, data] : j["values"].items())
        {
            if (valueName.size() > kMaxValueNameLength)
                Fail(where, "has a value name that is too long");
            if (!key->values.emplace(Fold(valueName), ValueFromJson(where, valueName, data)).second)
                Fail(where, "has two values named \"" + valueName + "\" apart from case");
        }
    }
    if (j.contains("keys"))
    {
        if (!j["keys"].is_object())
            Fail(where, "has malformed sub-keys");
        for (const auto& [subName, data] : j["keys"].items())
        {
            const std::string subWhere = where.empty() ? subName : where + "\\" + subName;
            if (subName.empty() || subName.size() > kMaxKeyNameLength ||
                subName.find('\\') != std::string::npos)
                Fail(subWhere, "is not a valid key name");
            if (!key->keys.emplace(Fold(subName), KeyFromJson(subWhere, subName, data)).second)
                Fail(where, "has two sub-keys named \"" + subName + "\" apart from case");
        }
    }
    return key;
}

std::string Serialize(const Key& root, bool skipHardware)
{
    Json j = KeyToJson(root, skipHardware);
    j["format"] = kFormatName;
    j["version"] = kFormatVersion;
    return j.dump(2) + "\n";
}

std::unique_ptr<Key> Parse(const std::string& text)
{
    Json j;
    // The parser keeps its own stack, but everything after it recurses, so depth is checked as it reads.
    const auto depthCheck = [](int depth, Json::parse_event_t event, Json&)
    {
        if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
            depth > kMaxJsonDepth)
            throw FormatError{"the keys are nested too deeply"};
        return true;
    };
    try
    {
        j = Json::parse(text, depthCheck);
    }
    catch (const Json::exception& e)
    {
        // "[json.exception.parse_error.101] parse error at line 3, column 1: ..." without the prefix.
        std::string what = e.what();
        const auto close = what.find("] ");
        throw FormatError{close == std::string::npos ? what : what.substr(close + 2)};
    }
    if (!j.is_object() || !j.contains("format") || j["format"] != kFormatName)
        throw FormatError{"the file does not hold a registry hive"};
    if (!j.contains("version") || j["version"] != kFormatVersion)
        throw FormatError{"the file has an unknown format version"};
    return KeyFromJson("", "", j);
}

// ---------------------------------------------------------------------------------------------------------
// Files.

struct FileStamp
{
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;

    static FileStamp Of(const struct stat& st)
    {
        return {true, st.st_dev, st.st_ino, st.st_size,
                static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
    }
    bool operator==(const FileStamp&) const = default;
};

struct Fd
{
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

std::string ErrnoText(int err)
{
    return std::strerror(err);
}

// Writers of the same folder in other processes take turns through a lock on the folder itself, so a
// writer always starts from the newest file and adds its change to it.
class FolderLock
{
public:
    explicit FolderLock(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd.fd >= 0)
            while (::flock(m_fd.fd, LOCK_EX) != 0 && errno == EINTR)
            {
            }
    }

private:
    Fd m_fd;
};

int CreateFolder(const std::string& folder)
{
    std::string path;
    std::size_t pos = 0;
    while (pos != std::string::npos)
    {
        pos = folder.find('/', pos + 1);
        path = folder.substr(0, pos);
        if (path.empty())
            continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat st
    {
    };
    if (::stat(folder.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// ---------------------------------------------------------------------------------------------------------
// The store.

enum HiveIndex
{
    kClassesRoot,
    kCurrentUser,
    kLocalMachine,
    kHiveCount
};

struct Hive
{
    const char* fileName;
    bool loaded = false;
    std::unique_ptr<Key> root;
    // The file the tree was last read from or written to; a different file means another writer.
    FileStamp stamp;
    // Changed by a write batch and not saved yet.
    bool dirty = false;
};

struct OpenKey
{
    int hive = 0;
    std::vector<std::string> path; // folded names from the hive's root
    REGSAM access = 0;
};

std::optional<int> PredefinedHive(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT)
        return kClassesRoot;
    if (key == HKEY_CURRENT_USER)
        return kCurrentUser;
    if (key == HKEY_LOCAL_MACHINE)
        return kLocalMachine;
    return std::nullopt;
}

// HKEY_LOCAL_MACHINE\HARDWARE describes the running machine: it is built afresh at every load and never
// reaches the file.
bool IsVolatile(int hive, const std::vector<std::string>& path)
{
    return hive == kLocalMachine && !path.empty() && path.front() == "hardware";
}

std::string EnvOr(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::unique_ptr<Key> BuildHardwareKey()
{
    auto make = [](Key& parent, const std::string& name) -> Key&
    {
        auto& slot = parent.keys[Fold(name)];
        slot = std::make_unique<Key>();
        slot->name = name;
        return *slot;
    };
    auto hardware = std::make_unique<Key>();
    hardware->name = "HARDWARE";
    Key& processors = make(make(make(*hardware, "DESCRIPTION"), "System"), "CentralProcessor");
    const auto clocks = platform::registry::detail::ProbeCpuClocks(EnvOr("BREVICAM_SYSFS_ROOT", "/sys"),
                                                                   EnvOr("BREVICAM_PROC_ROOT", "/proc"));
    for (const auto& [number, mhz] : clocks)
    {
        Key& cpu = make(processors, std::to_string(number));
        Value v{"~MHz", REG_DWORD, Bytes(sizeof(DWORD))};
        std::memcpy(v.data.data(), &mhz, sizeof mhz);
        cpu.values.emplace(Fold(v.name), std::move(v));
    }
    return hardware;
}

class Store
{
public:
    static Store& Instance()
    {
        // Never destroyed: keys may be closed by static destructors of other modules at exit.
        static Store* store = new Store;
        return *store;
    }

    std::string RootFolder()
    {
        std::lock_guard lock(m_mutex);
        return Folder();
    }

    void Reload()
    {
        std::lock_guard lock(m_mutex);
        for (auto& hive : m_hives)
        {
            hive.loaded = false;
            hive.root.reset();
            hive.stamp = {};
            hive.dirty = false;
        }
        m_handles.clear();
        m_folder.reset();
        m_lastLoadError.clear();
    }

    std::string LastLoadError()
    {
        std::lock_guard lock(m_mutex);
        return m_lastLoadError;
    }

    void SetWriteFault(int err)
    {
        std::lock_guard lock(m_mutex);
        m_writeFault = err;
    }

    void BeginBatch()
    {
        std::lock_guard lock(m_mutex);
        ++m_batchDepth;
    }

    LONG EndBatch()
    {
        std::lock_guard lock(m_mutex);
        if (m_batchDepth == 0 || --m_batchDepth > 0)
            return ERROR_SUCCESS;
        LONG result = ERROR_SUCCESS;
        for (Hive& hive : m_hives)
            if (const LONG rc = SaveBatch(hive); rc != ERROR_SUCCESS && result == ERROR_SUCCESS)
                result = rc;
        m_batchLock.reset();
        return result;
    }

    LONG Open(HKEY parent, LPCSTR subKey, REGSAM access, HKEY* result)
    {
        if (!result)
            return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        std::lock_guard lock(m_mutex);
        OpenKey target;
        if (const LONG rc = Target(parent, subKey, target); rc != ERROR_SUCCESS)
            return rc;
        if (!Find(target))
            return ERROR_FILE_NOT_FOUND;
        target.access = access;
        *result = NewHandle(std::move(target));
        return ERROR_SUCCESS;
    }

    LONG Create(HKEY parent, LPCSTR subKey, REGSAM access, HKEY* result, DWORD* disposition)
    {
        if (!result)
            return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        std::lock_guard lock(m_mutex);
        OpenKey target;
        std::vector<std::string> given;
        if (const LONG rc = Target(parent, subKey, target, &given); rc != ERROR_SUCCESS)
            return rc;
        // A deeper key would make a file that cannot be loaded again.
        if (target.path.size() > kMaxKeyDepth)
            return ERROR_INVALID_PARAMETER;
        if (!Find(target))
        {
            if (!Allowed(parent, KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            const std::size_t parentDepth = target.path.size() - given.size();
            const LONG rc = Mutate(target.hive, target.path,
                                   [&](Hive& hive, std::function<void()>& undo) -> LONG
                                   {
                                       const std::vector<std::string> parentPath(
                                           target.path.begin(), target.path.begin() + parentDepth);
                                       Key* key = Walk(hive, parentPath);
                                       if (!key)
                                           return ERROR_KEY_DELETED;
                                       Key* firstParent = nullptr;
                                       std::string firstName;
                                       for (std::size_t i = 0; i < given.size(); ++i)
                                       {
                                           const std::string& folded = target.path[parentDepth + i];
                                           auto& slot = key->keys[folded];
                                           if (!slot)
                                           {
                                               if (!firstParent)
                                                   firstParent = key, firstName = folded;
                                               slot = std::make_unique<Key>();
                                               slot->name = given[i];
                                           }
                                           key = slot.get();
                                       }
                                       undo = [firstParent, firstName]
                                       {
                                           if (firstParent)
                                               firstParent->keys.erase(firstName);
                                       };
                                       return ERROR_SUCCESS;
                                   });
            if (rc != ERROR_SUCCESS)
                return rc;
            if (disposition)
                *disposition = REG_CREATED_NEW_KEY;
        }
        else if (disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
        target.access = access;
        *result = NewHandle(std::move(target));
        return ERROR_SUCCESS;
    }

    LONG Close(HKEY key)
    {
        if (PredefinedHive(key))
            return ERROR_SUCCESS;
        std::lock_guard lock(m_mutex);
        return m_handles.erase(reinterpret_cast<ULONG_PTR>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }

    LONG Query(HKEY handle, LPCSTR valueName, DWORD* type, BYTE* data, DWORD* dataSize)
    {
        if (data && !dataSize)
            return ERROR_INVALID_PARAMETER;
        std::lock_guard lock(m_mutex);
        Key* key = nullptr;
        if (const LONG rc = Resolve(handle, KEY_QUERY_VALUE, key); rc != ERROR_SUCCESS)
            return rc;
        const auto it = key->values.find(Fold(valueName ? valueName : ""));
        if (it == key->values.end())
            return ERROR_FILE_NOT_FOUND;
        return CopyValue(it->second, type, data, dataSize);
    }

    LONG Set(HKEY handle, LPCSTR valueName, DWORD type, const BYTE* data, DWORD dataSize)
    {
        if (!data && dataSize)
            return ERROR_INVALID_PARAMETER;
        const std::string name = valueName ? valueName : "";
        if (name.size() > kMaxValueNameLength)
            return ERROR_INVALID_PARAMETER;
        std::lock_guard lock(m_mutex);
        OpenKey target;
        if (const LONG rc = ResolveHandle(handle, target); rc != ERROR_SUCCESS)
            return rc;
        if (!(target.access & KEY_SET_VALUE))
            return ERROR_ACCESS_DENIED;
        Value value{name, type, Canonical(type, data, dataSize)};
        return Mutate(target.hive, target.path,
                      [&](Hive& hive, std::function<void()>& undo) -> LONG
                      {
                          Key* key = Walk(hive, target.path);
                          if (!key)
                              return ERROR_KEY_DELETED;
                          const std::string folded = Fold(name);
                          std::optional<Value> old;
                          if (auto it = key->values.find(folded); it != key->values.end())
                          {
                              old = std::move(it->second);
                              // The name keeps the case it was first given.
                              value.name = old->name;
                          }
                          key->values[folded] = std::move(value);
                          undo = [key, folded, old = std::move(old)]() mutable
                          {
                              if (old)
                                  key->values[folded] = std::move(*old);
                              else
                                  key->values.erase(folded);
                          };
                          return ERROR_SUCCESS;
                      });
    }

    LONG DeleteValue(HKEY handle, LPCSTR valueName)
    {
        std::lock_guard lock(m_mutex);
        OpenKey target;
        if (const LONG rc = ResolveHandle(handle, target); rc != ERROR_SUCCESS)
            return rc;
        if (!(target.access & KEY_SET_VALUE))
            return ERROR_ACCESS_DENIED;
        const std::string folded = Fold(valueName ? valueName : "");
        return Mutate(target.hive, target.path,
                      [&](Hive& hive, std::function<void()>& undo) -> LONG
                      {
                          Key* key = Walk(hive, target.path);
                          if (!key)
                              return ERROR_KEY_DELETED;
                          auto it = key->values.find(folded);
                          if (it == key->values.end())
                              return ERROR_FILE_NOT_FOUND;
                          auto old = std::make_shared<Value>(std::move(it->second));
                          key->values.erase(it);
                          undo = [key, folded, old] { key->values[folded] = std::move(*old); };
                          return ERROR_SUCCESS;
                      });
    }

    LONG DeleteKey(HKEY parent, LPCSTR subKey)
    {
        if (!subKey)
            return ERROR_INVALID_PARAMETER;
        std::lock_guard lock(m_mutex);
        OpenKey target;
        if (const LONG rc = Target(parent, subKey, target); rc != ERROR_SUCCESS)
            return rc;
        if (target.path.empty())
            return ERROR_ACCESS_DENIED;
        return Mutate(target.hive, target.path,
                      [&](Hive& hive, std::function<void()>& undo) -> LONG
                      {
                          std::vector<std::string> parentPath(target.path.begin(), target.path.end() - 1);
                          Key* owner = Walk(hive, parentPath);
                          if (!owner)
                              return ERROR_FILE_NOT_FOUND;
                          const std::string& name = target.path.back();
                          auto it = owner->keys.find(name);
                          if (it == owner->keys.end())
                              return ERROR_FILE_NOT_FOUND;
                          if (!it->second->keys.empty())
                              return ERROR_ACCESS_DENIED;
                          auto old = std::shared_ptr<Key>(it->second.release());
                          owner->keys.erase(it);
                          undo = [owner, name, old]
                          { owner->keys[name] = std::make_unique<Key>(std::move(*old)); };
                          return ERROR_SUCCESS;
                      });
    }

    LONG EnumKey(HKEY handle, DWORD index, LPSTR name, DWORD* nameSize, LPSTR keyClass, DWORD* classSize,
                 FILETIME* lastWrite)
    {
        if (!name || !nameSize)
            return ERROR_INVALID_PARAMETER;
        std::lock_guard lock(m_mutex);
        Key* key = nullptr;
        if (const LONG rc = Resolve(handle, KEY_ENUMERATE_SUB_KEYS, key); rc != ERROR_SUCCESS)
            return rc;
        if (index >= key->keys.size())
            return ERROR_NO_MORE_ITEMS;
        const std::string& found = std::next(key->keys.begin(), index)->second->name;
        if (found.size() + 1 > *nameSize)
            return ERROR_MORE_DATA;
        std::memcpy(name, found.c_str(), found.size() + 1);
        *nameSize = static_cast<DWORD>(found.size());
        if (keyClass && classSize && *classSize > 0)
            keyClass[0] = '\0';
        if (classSize)
            *classSize = 0;
        if (lastWrite)
            *lastWrite = FILETIME{0, 0};
        return ERROR_SUCCESS;
    }

    LONG EnumValue(HKEY handle, DWORD index, LPSTR valueName, DWORD* valueNameSize, DWORD* type, BYTE* data,
                   DWORD* dataSize)
    {
        if (!valueName || !valueNameSize || (data && !dataSize))
            return ERROR_INVALID_PARAMETER;
        std::lock_guard lock(m_mutex);
        Key* key = nullptr;
        if (const LONG rc = Resolve(handle, KEY_QUERY_VALUE, key); rc != ERROR_SUCCESS)
            return rc;
        if (index >= key->values.size())
            return ERROR_NO_MORE_ITEMS;
        const Value& value = std::next(key->values.begin(), index)->second;
        if (value.name.size() + 1 > *valueNameSize)
            return ERROR_MORE_DATA;
        std::memcpy(valueName, value.name.c_str(), value.name.size() + 1);
        *valueNameSize = static_cast<DWORD>(value.name.size());
        return CopyValue(value, type, data, dataSize);
    }

    LONG Flush(HKEY handle)
    {
        std::lock_guard lock(m_mutex);
        OpenKey target;
        if (const LONG rc = ResolveHandle(handle, target); rc != ERROR_SUCCESS)
            return rc;
        // Outside a write batch every change is already on disk.
        return SaveBatch(m_hives[target.hive]);
    }

private:
    Store()
    {
        m_hives[kClassesRoot].fileName = "HKCR.json";
        m_hives[kCurrentUser].fileName = "HKCU.json";
        m_hives[kLocalMachine].fileName = "HKLM.json";
    }

    // --- Handles

    HKEY NewHandle(OpenKey key)
    {
        // Handles are numbers that are never reused, so a stale or made-up handle is always recognised.
        m_nextHandle += 4;
        m_handles.emplace(m_nextHandle, std::move(key));
        return reinterpret_cast<HKEY>(m_nextHandle);
    }

    LONG ResolveHandle(HKEY handle, OpenKey& out)
    {
        if (const auto hive = PredefinedHive(handle))
        {
            out = OpenKey{*hive, {}, KEY_ALL_ACCESS};
            return ERROR_SUCCESS;
        }
        const auto it = m_handles.find(reinterpret_cast<ULONG_PTR>(handle));
        if (it == m_handles.end())
            return ERROR_INVALID_HANDLE;
        out = it->second;
        return ERROR_SUCCESS;
    }

    bool Allowed(HKEY handle, REGSAM right)
    {
        OpenKey key;
        return ResolveHandle(handle, key) == ERROR_SUCCESS && (key.access & right);
    }

    LONG Resolve(HKEY handle, REGSAM right, Key*& key)
    {
        OpenKey target;
        if (const LONG rc = ResolveHandle(handle, target); rc != ERROR_SUCCESS)
            return rc;
        if (!(target.access & right))
            return ERROR_ACCESS_DENIED;
        key = Find(target);
        return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    }

    // The key `subKey` names below `parent`; empty parts of the path (a trailing backslash) are skipped.
    // `given` receives the parts as the caller wrote them.
    LONG Target(HKEY parent, LPCSTR subKey, OpenKey& target, std::vector<std::string>* given = nullptr)
    {
        if (const LONG rc = ResolveHandle(parent, target); rc != ERROR_SUCCESS)
            return rc;
        if (!Find(target))
            return ERROR_KEY_DELETED;
        const std::string_view path = subKey ? subKey : "";
        std::size_t start = 0;
        while (start <= path.size())
        {
            std::size_t end = path.find('\\', start);
            if (end == std::string_view::npos)
                end = path.size();
            const auto part = path.substr(start, end - start);
            if (part.size() > kMaxKeyNameLength)
                return ERROR_INVALID_PARAMETER;
            if (!part.empty())
            {
                target.path.push_back(Fold(part));
                if (given)
                    given->emplace_back(part);
            }
            start = end + 1;
        }
        return ERROR_SUCCESS;
    }

    Key* Find(const OpenKey& target) { return Walk(Fresh(target.hive), target.path); }

    static Key* Walk(Hive& hive, const std::vector<std::string>& path)
    {
        Key* key = hive.root.get();
        for (const auto& name : path)
        {
            const auto it = key->keys.find(name);
            if (it == key->keys.end())
                return nullptr;
            key = it->second.get();
        }
        return key;
    }

    static LONG CopyValue(const Value& value, DWORD* type, BYTE* data, DWORD* dataSize)
    {
        if (type)
            *type = value.type;
        const auto size = static_cast<DWORD>(value.data.size());
        if (!dataSize)
            return ERROR_SUCCESS;
        if (data && *dataSize < size)
        {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (data && size)
            std::memcpy(data, value.data.data(), size);
        *dataSize = size;
        return ERROR_SUCCESS;
    }

    // --- Hives and files

    const std::string& Folder()
    {
        if (!m_folder)
        {
            std::string folder = EnvOr("BREVICAM_REGISTRY_DIR", "");
            if (folder.empty())
            {
                std::string config = EnvOr("XDG_CONFIG_HOME", "");
                if (config.empty() || config.front() != '/')
                {
                    std::string home = EnvOr("HOME", "");
                    if (home.empty())
                        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
                            home = pw->pw_dir;
                    config = home + "/.config";
                }
                folder = config + "/brevicam";
            }
            while (folder.size() > 1 && folder.back() == '/')
                folder.pop_back();
            m_folder = folder;
        }
        return *m_folder;
    }

    std::string PathOf(const Hive& hive) { return Folder() + "/" + hive.fileName; }

    // The hive as the file holds it now: read at first use and again whenever another writer replaced it.
    Hive& Fresh(int index)
    {
        Hive& hive = m_hives[index];
        const std::string path = PathOf(hive);
        struct stat st
        {
        };
        FileStamp now;
        if (::stat(path.c_str(), &st) == 0)
            now = FileStamp::Of(st);
        if (hive.loaded && (now == hive.stamp || hive.dirty))
            return hive;

        std::unique_ptr<Key> hardware;
        if (index == kLocalMachine && hive.root)
        {
            // Changes made to the machine description in memory survive another writer's save.
            auto it = hive.root->keys.find("hardware");
            if (it != hive.root->keys.end())
                hardware = std::move(it->second);
        }
        Load(hive);
        if (index == kLocalMachine)
        {
            if (!hardware)
                hardware = BuildHardwareKey();
            hive.root->keys["hardware"] = std::move(hardware);
        }
        return hive;
    }

    void Load(Hive& hive)
    {
        hive.loaded = true;
        hive.root = std::make_unique<Key>();
        hive.stamp = {};
        const std::string path = PathOf(hive);

        std::string problem;
        Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st
        {
        };
        if (fd.fd < 0)
        {
            // No folder, or a file where the folder should be: there is no hive yet.
            if (errno == ENOENT || errno == ENOTDIR)
                return;
            problem = "it cannot be opened: " + ErrnoText(errno);
        }
        else if (::fstat(fd.fd, &st) != 0)
            problem = "it cannot be read: " + ErrnoText(errno);
        else
        {
            std::string text;
            char buffer[65536];
            for (;;)
            {
                const ssize_t n = ::read(fd.fd, buffer, sizeof buffer);
                if (n > 0)
                    text.append(buffer, static_cast<std::size_t>(n));
                else if (n == 0)
                    break;
                else if (errno != EINTR)
                {
                    problem = "it cannot be read: " + ErrnoText(errno);
                    break;
                }
            }
            if (problem.empty())
            {
                hive.stamp = FileStamp::Of(st);
                if (text.find_first_not_of(" \t\r\n") == std::string::npos)
                    problem = "it is empty";
                else
                {
                    try
                    {
                        std::unique_ptr<Key> root = Parse(text);
                        root->keys.erase("hardware");
                        hive.root = std::move(root);
                        return;
                    }
                    catch (const FormatError& e)
                    {
                        problem = "it is damaged: " + e.text;
                    }
                }
            }
        }
        SetAside(hive, path, problem);
    }

    // A hive that cannot be used is moved out of the way, so that the next save does not destroy what a
    // user may still want to recover; the program goes on with defaults.
    void SetAside(Hive& hive, const std::string& path, const std::string& problem)
    {
        std::string keptAs;
        int moveError = 0;
        for (int n = 0; n < 1000; ++n)
        {
            const std::string candidate = n == 0 ? path + ".bad" : path + "." + std::to_string(n) + ".bad";
            if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0)
            {
                keptAs = candidate;
                break;
            }
            if (errno == EINVAL || errno == ENOSYS)
            {
                // File systems without the no-replace rename: check first, which is good enough here.
                struct stat st
                {
                };
                if (::lstat(candidate.c_str(), &st) == 0)
                    continue;
                if (::rename(path.c_str(), candidate.c_str()) == 0)
                {
                    keptAs = candidate;
                    break;
                }
            }
            if (errno != EEXIST)
            {
                moveError = errno;
                break;
            }
        }

        std::string message = "The settings file " + path + " cannot be used (" + problem + "); ";
        if (!keptAs.empty())
        {
            message += "it was kept as " + keptAs + " and the default settings are used.";
            hive.stamp = {};
        }
        else
        {
            message += "it could not be moved aside (" + ErrnoText(moveError) +
                       ") and the default settings are used.";
            // Stay with this file's stamp, so it is reported once and not read again until it changes.
            struct stat st
            {
            };
            if (::stat(path.c_str(), &st) == 0)
                hive.stamp = FileStamp::Of(st);
        }
        m_lastLoadError = message;
        std::fprintf(stderr, "brevicam: %s\n", message.c_str());
    }

    // Applies `change` to the newest state of the hive and saves it. A change that cannot be saved is
    // taken back, so the caller's error and the store agree.
    LONG Mutate(int index, const std::vector<std::string>& path,
                const std::function<LONG(Hive&, std::function<void()>&)>& change)
    {
        if (IsVolatile(index, path))
        {
            std::function<void()> undo;
            return change(Fresh(index), undo);
        }
        const std::string& folder = Folder();
        if (m_batchDepth > 0)
        {
            // The batch keeps the folder locked from its first change to its save, so the hive it changes
            // stays the newest one and no other writer's change is lost.
            if (!m_batchLock)
            {
                if (const int err = CreateFolder(folder); err != 0)
                    return static_cast<LONG>(platform::ErrorFromErrno(err));
                m_batchLock = std::make_unique<FolderLock>(folder);
            }
            Hive& hive = Fresh(index);
            std::function<void()> undo;
            const LONG rc = change(hive, undo);
            if (rc == ERROR_SUCCESS)
                hive.dirty = true;
            return rc;
        }
        if (const int err = CreateFolder(folder); err != 0)
            return static_cast<LONG>(platform::ErrorFromErrno(err));
        FolderLock lock(folder);
        Hive& hive = Fresh(index);
        std::function<void()> undo;
        if (const LONG rc = change(hive, undo); rc != ERROR_SUCCESS)
            return rc;
        const LONG rc = Save(hive);
        if (rc != ERROR_SUCCESS && undo)
            undo();
        return rc;
    }

    // Saves the changes a write batch made to the hive. When they cannot be saved they are all dropped:
    // the hive is read again from its file, which no other writer changed meanwhile.
    LONG SaveBatch(Hive& hive)
    {
        if (!hive.dirty)
            return ERROR_SUCCESS;
        hive.dirty = false;
        const LONG rc = Save(hive);
        if (rc != ERROR_SUCCESS)
            hive.loaded = false;
        return rc;
    }

    LONG Save(Hive& hive)
    {
        const std::string path = PathOf(hive);
        std::string text;
        try
        {
            text = Serialize(*hive.root, &hive == &m_hives[kLocalMachine]);
        }
        catch (const std::exception&)
        {
            return ERROR_INVALID_DATA;
        }

        std::string temp = Folder() + "/." + hive.fileName + ".XXXXXX";
        Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
        if (fd.fd < 0)
            return static_cast<LONG>(platform::ErrorFromErrno(errno));
        auto fail = [&](int err) -> LONG
        {
            ::unlink(temp.c_str());
            return static_cast<LONG>(platform::ErrorFromErrno(err));
        };

        std::size_t written = 0;
        const std::size_t limit = m_writeFault ? text.size() / 2 : text.size();
        while (written < limit)
        {
            const ssize_t n = ::write(fd.fd, text.data() + written, limit - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return fail(errno);
            written += static_cast<std::size_t>(n);
        }
        if (m_writeFault)
            return fail(m_writeFault);
        if (::fsync(fd.fd) != 0)
            return fail(errno);
        struct stat st
        {
        };
        if (::fstat(fd.fd, &st) != 0)
            return fail(errno);
        const int closeResult = ::close(fd.fd);
        fd.fd = -1;
        if (closeResult != 0)
            return fail(errno);
        if (::rename(temp.c_str(), path.c_str()) != 0)
            return fail(errno);
        hive.stamp = FileStamp::Of(st);

        // The new name must reach the disk too; a failure here leaves a complete old or new file.
        Fd dir(::open(Folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.fd >= 0)
            ::fsync(dir.fd);
        return ERROR_SUCCESS;
    }

    std::mutex m_mutex;
    std::optional<std::string> m_folder;
    std::array<Hive, kHiveCount> m_hives{};
    std::unordered_map<ULONG_PTR, OpenKey> m_handles;
    ULONG_PTR m_nextHandle = 0x10000;
    std::string m_lastLoadError;
    int m_writeFault = 0;
    int m_batchDepth = 0;
    std::unique_ptr<FolderLock> m_batchLock;
};
} // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, HKEY* result)
{
    return Store::Instance().Open(key, subKey, access, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES,
                     HKEY* result, DWORD* disposition)
{
    return Store::Instance().Create(key, subKey, access, result, disposition);
}

LONG RegCloseKey(HKEY key)
{
    return Store::Instance().Close(key);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize)
{
    return Store::Instance().Query(key, valueName, type, data, dataSize);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize)
{
    return Store::Instance().Set(key, valueName, type, data, dataSize);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName)
{
    return Store::Instance().DeleteValue(key, valueName);
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    return Store::Instance().DeleteKey(key, subKey);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD*, LPSTR keyClass,
                   DWORD* classSize, FILETIME* lastWrite)
{
    return Store::Instance().EnumKey(key, index, name, nameSize, keyClass, classSize, lastWrite);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, DWORD* valueNameSize, DWORD*, DWORD* type,
                   BYTE* data, DWORD* dataSize)
{
    return Store::Instance().EnumValue(key, index, valueName, valueNameSize, type, data, dataSize);
}

LONG RegFlushKey(HKEY key)
{
    return Store::Instance().Flush(key);
}

namespace platform::registry
{
std::string RootFolder()
{
    return Store::Instance().RootFolder();
}

void Reload()
{
    Store::Instance().Reload();
}

std::string LastLoadError()
{
    return Store::Instance().LastLoadError();
}

void SetWriteFaultForTesting(int err)
{
    Store::Instance().SetWriteFault(err);
}

WriteBatch::WriteBatch()
{
    Store::Instance().BeginBatch();
}

WriteBatch::~WriteBatch()
{
    End();
}

LONG WriteBatch::End()
{
    if (!m_open)
        return ERROR_SUCCESS;
    m_open = false;
    return Store::Instance().EndBatch();
}
} // namespace platform::registry
