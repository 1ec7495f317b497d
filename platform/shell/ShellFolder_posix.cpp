#include "platform/com/Com.h"
#include "platform/com/ComObject.h"
#include "platform/shell/ContextMenu.h"
#include "platform/shell/ExtractImage.h"
#include "platform/shell/ShellFolder.h"
#include "platform/shell/ShellInternal.h"
#include "platform/shell/StrCmpLogical.h"
#include "platform/win/LastError.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
using namespace platform::shell;

/// One child of a folder as its record will carry it, with what sorting and filtering need.
struct Child
{
    char kind;
    std::string text;
    bool folder;
};

HRESULT FromErrno(int err)
{
    return HRESULT_FROM_WIN32(platform::ErrorFromErrno(err));
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

LPWSTR TaskWide(const std::string& text)
{
    const std::wstring wide = detail::WideFromUtf8(text);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(WCHAR)));
    if (copy)
        std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    return copy;
}

using platform::com::ComObject;

class EnumIDList final : public ComObject<IEnumIDList, IID_IEnumIDList>
{
public:
    explicit EnumIDList(std::shared_ptr<const std::vector<Child>> children, std::size_t next = 0)
        : m_children(std::move(children)), m_next(next)
    {
    }

    STDMETHODIMP Next(ULONG count, PITEMID_CHILD* items, ULONG* fetched) override
    {
        if (!items || (count > 1 && !fetched))
            return E_POINTER;
        ULONG done = 0;
        while (done < count && m_next < m_children->size())
        {
            const Child& child = (*m_children)[m_next];
            PITEMID_CHILD item = MakeItemID(child.kind, child.text);
            if (!item)
            {
                for (ULONG i = 0; i < done; ++i)
                    ILFree(items[i]);
                if (fetched)
                    *fetched = 0;
                return E_OUTOFMEMORY;
            }
            items[done++] = item;
            ++m_next;
        }
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        const std::size_t left = m_children->size() - m_next;
        m_next += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        m_next = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumIDList** copy) override
    {
        if (!copy)
            return E_POINTER;
        *copy = new EnumIDList(m_children, m_next);
        return S_OK;
    }

private:
    ~EnumIDList() override = default;

    std::shared_ptr<const std::vector<Child>> m_children;
    std::size_t m_next;
};

/// A folder of the namespace: the desktop root (empty path) or a file-system folder.
class ShellFolder final : public ComObject<IShellFolder, IID_IShellFolder>
{
public:
    explicit ShellFolder(std::string path) : m_path(std::move(path)) {}

    STDMETHODIMP ParseDisplayName(HWND, LPBC, LPWSTR name, ULONG* eaten, PIDLIST_RELATIVE* list,
                                  ULONG* attributes) override
    {
        if (!list)
            return E_POINTER;
        *list = nullptr;
        if (!name)
            return E_INVALIDARG;
        const std::string text = detail::Utf8FromWide(name);
        if (text.empty())
            return E_INVALIDARG;
        if (IsDesktop())
        {
            *list = ILCreateFromPathA(text.c_str());
            if (!*list)
                return text.front() == '/' ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : E_INVALIDARG;
        }
        else
        {
            // A name inside this folder, given by itself or by its absolute path.
            const std::string path =
                detail::CleanAbsolutePath(text.front() == '/' ? text : m_path + "/" + text);
            const std::string prefix = m_path == "/" ? m_path : m_path + "/";
            if (!path.starts_with(prefix) || path.size() == prefix.size())
                return E_INVALIDARG;
            struct stat entry;
            if (lstat(path.c_str(), &entry) != 0)
                return FromErrno(errno);
            std::string_view rest = std::string_view(path).substr(prefix.size());
            LPITEMIDLIST built = nullptr;
            while (!rest.empty())
            {
                const auto slash = rest.find('/');
                LPITEMIDLIST id = MakeItemID('N', std::string(rest.substr(0, slash)));
                rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
                LPITEMIDLIST longer = id ? ILCombine(built, id) : nullptr;
                ILFree(id);
                ILFree(built);
                built = longer;
                if (!built)
                    return E_OUTOFMEMORY;
            }
            *list = built;
        }
        if (eaten)
            *eaten = static_cast<ULONG>(std::wcslen(name));
        if (attributes && *attributes)
        {
            const ITEMIDLIST* items[] = {*list};
            return GetAttributesOf(1, items, attributes);
        }
        return S_OK;
    }

    STDMETHODIMP EnumObjects(HWND, SHCONTF flags, IEnumIDList** list) override
    {
        if (!list)
            return E_POINTER;
        *list = nullptr;
        auto children = std::make_shared<std::vector<Child>>();
        if (IsDesktop())
        {
            if (flags & SHCONTF_FOLDERS)
                for (const auto& root : detail::DesktopRoots())
                    children->push_back({'R', root.path, true});
        }
        else
        {
            if (detail::IsLoopingFolder(m_path))
                return S_FALSE;
            if (const HRESULT hr = ReadFolder(flags, *children); FAILED(hr))
                return hr;
            detail::NoteFolderEnumerated(m_path);
        }
        if (children->empty())
            return S_FALSE;
        *list = new EnumIDList(std::move(children));
        return S_OK;
    }

    STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE list, LPBC, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!list)
            return E_INVALIDARG;
        if (list->mkid.cb == 0)
            return QueryInterface(iid, object);
        std::string path;
        if (!detail::AppendIDListToPath(m_path, list, path))
            return E_INVALIDARG;
        struct stat st;
        if (stat(path.c_str(), &st) != 0)
            return FromErrno(errno);
        if (!S_ISDIR(st.st_mode))
            return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
        auto* folder = new ShellFolder(path);
        const HRESULT hr = folder->QueryInterface(iid, object);
        folder->Release();
        return hr;
    }

    STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE, LPBC, REFIID, void** object) override
    {
        if (object)
            *object = nullptr;
        return E_NOTIMPL;
    }

    STDMETHODIMP CompareIDs(LPARAM, PCUIDLIST_RELATIVE first, PCUIDLIST_RELATIVE second) override
    {
        std::string a;
        std::string b;
        if (!first || !second || !detail::AppendIDListToPath(m_path, first, a) ||
            !detail::AppendIDListToPath(m_path, second, b))
            return E_INVALIDARG;
        const bool folderA = IsFolder(a);
        const bool folderB = IsFolder(b);
        int order = folderA != folderB ? (folderA ? -1 : 1) : 0;
        if (order == 0)
            order = StrCmpLogical(detail::LastComponent(a).c_str(), detail::LastComponent(b).c_str());
        if (order == 0)
            order = a.compare(b);
        return static_cast<HRESULT>(static_cast<USHORT>(order < 0 ? -1 : (order > 0 ? 1 : 0)));
    }

    STDMETHODIMP CreateViewObject(HWND, REFIID, void** object) override
    {
        if (object)
            *object = nullptr;
        return E_NOTIMPL;
    }

    STDMETHODIMP GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY items, SFGAOF* attributes) override
    {
        if (!attributes)
            return E_POINTER;
        if (count > 0 && !items)
            return E_INVALIDARG;
        const SFGAOF wanted = *attributes;
        SFGAOF common = wanted;
        for (UINT i = 0; i < count; ++i)
        {
            SFGAOF found = 0;
            if (const HRESULT hr = AttributesOf(items[i], wanted, found); FAILED(hr))
                return hr;
            common &= found;
        }
        *attributes = common;
        return S_OK;
    }

    STDMETHODIMP GetUIObjectOf(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, UINT*,
                               void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!items || count == 0)
            return E_INVALIDARG;
        std::vector<std::string> paths;
        for (UINT i = 0; i < count; ++i)
        {
            std::string path;
            if (!items[i] || !detail::AppendIDListToPath(m_path, items[i], path, nullptr))
                return E_INVALIDARG;
            paths.push_back(std::move(path));
        }
        if (IsEqualGUID(iid, IID_IExtractImage))
        {
            if (count != 1)
                return E_INVALIDARG;
            return platform::shell::CreateImageExtractor(paths.front(),
                                                         reinterpret_cast<IExtractImage**>(object));
        }
        return CreateFileContextMenu(owner, paths, iid, object);
    }

    STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD item, SHGDNF flags, STRRET* name) override
    {
        if (!name)
            return E_POINTER;
        if (!item)
            return E_INVALIDARG;
        std::string text;
        if (item->mkid.cb == 0 && IsDesktop())
            text = (flags & SHGDN_FORPARSING) ? detail::DesktopFolderPath() : std::string("Desktop");
        else
        {
            std::string path;
            bool lastIsRoot = false;
            if (!detail::AppendIDListToPath(m_path, item, path, &lastIsRoot))
                return E_INVALIDARG;
            if ((flags & SHGDN_FORPARSING) && !(flags & SHGDN_INFOLDER))
                text = path;
            else if (lastIsRoot && !(flags & SHGDN_FORPARSING))
            {
                const auto roots = detail::DesktopRoots();
                const detail::DesktopRoot* root = detail::FindRoot(roots, path);
                text = root ? root->displayName : detail::LastComponent(path);
            }
            else
                text = detail::LastComponent(path);
        }
        name->uType = STRRET_WSTR;
        name->pOleStr = TaskWide(text);
        return name->pOleStr ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD* newItem) override
    {
        if (newItem)
            *newItem = nullptr;
        return E_NOTIMPL;
    }

private:
    ~ShellFolder() override = default;

    bool IsDesktop() const { return m_path.empty(); }

    HRESULT ReadFolder(SHCONTF flags, std::vector<Child>& children) const
    {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(m_path.c_str()), closedir);
        if (!dir)
            return FromErrno(errno);
        while (dirent* entry = readdir(dir.get()))
        {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            if (detail::IsHiddenName(name) && !(flags & SHCONTF_INCLUDEHIDDEN))
                continue;
            bool folder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
                folder = IsFolder(m_path + "/" + name);
            if ((folder && (flags & SHCONTF_FOLDERS)) || (!folder && (flags & SHCONTF_NONFOLDERS)))
                children.push_back({'N', name, folder});
        }
        // Each name is converted once, not at every comparison: folders may hold thousands of files.
        std::vector<std::pair<std::wstring, std::size_t>> keys;
        keys.reserve(children.size());
        for (std::size_t i = 0; i < children.size(); ++i)
            keys.emplace_back(detail::WideFromUtf8(children[i].text), i);
        std::sort(keys.begin(), keys.end(),
                  [&children](const auto& a, const auto& b)
                  {
                      const int order = StrCmpLogicalW(a.first.c_str(), b.first.c_str());
                      return order != 0 ? order < 0 : children[a.second].text < children[b.second].text;
                  });
        std::vector<Child> sorted;
        sorted.reserve(children.size());
        for (const auto& key : keys)
            sorted.push_back(std::move(children[key.second]));
        children = std::move(sorted);
        return S_OK;
    }

    HRESULT AttributesOf(PCUITEMID_CHILD item, SFGAOF wanted, SFGAOF& found) const
    {
        if (!item)
            return E_INVALIDARG;
        if (item->mkid.cb == 0 && IsDesktop())
        {
            found = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER;
            return S_OK;
        }
        std::string path;
        bool lastIsRoot = false;
        if (!detail::AppendIDListToPath(m_path, item, path, &lastIsRoot))
            return E_INVALIDARG;
        struct stat entry;
        if (lstat(path.c_str(), &entry) != 0)
            return FromErrno(errno);
        found = SFGAO_FILESYSTEM;
        struct stat target = entry;
        if (S_ISLNK(entry.st_mode))
        {
            found |= SFGAO_LINK;
            if (stat(path.c_str(), &target) != 0)
                target = entry;
        }
        if (S_ISDIR(target.st_mode))
        {
            found |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
            if ((wanted & SFGAO_HASSUBFOLDER) && !detail::IsLoopingFolder(path) && detail::HasSubfolder(path))
                found |= SFGAO_HASSUBFOLDER;
        }
        if (!lastIsRoot && detail::IsHiddenName(detail::LastComponent(path)))
            found |= SFGAO_GHOSTED | SFGAO_HIDDEN;
        if ((wanted & SFGAO_READONLY) && access(path.c_str(), W_OK) != 0)
            found |= SFGAO_READONLY;
        return S_OK;
    }

    std::string m_path;
};
} // namespace

namespace platform::shell::detail
{
std::string CleanAbsolutePath(std::string_view path)
{
    if (path.empty() || path.front() != '/')
        return {};
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos < path.size())
    {
        const auto slash = path.find('/', pos);
        const std::string_view part =
            path.substr(pos, slash == std::string_view::npos ? path.npos : slash - pos);
        if (part == "..")
        {
            if (!parts.empty())
                parts.pop_back();
        }
        else if (!part.empty() && part != ".")
            parts.push_back(part);
        if (slash == std::string_view::npos)
            break;
        pos = slash + 1;
    }
    if (parts.empty())
        return "/";
    std::string clean;
    for (std::string_view part : parts)
    {
        clean += '/';
        clean += part;
    }
    return clean;
}

std::string LastComponent(const std::string& path)
{
    if (path == "/")
        return path;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadRecord(const SHITEMID& id, char& kind, std::string& text)
{
    // Size, kind, at least one byte of text and the terminator.
    if (id.cb < sizeof(USHORT) + 3)
        return false;
    const auto* bytes = reinterpret_cast<const char*>(id.abID);
    const std::size_t length = id.cb - sizeof(USHORT) - 2;
    if (bytes[1 + length] != '\0' || std::memchr(bytes + 1, '\0', length) != nullptr)
        return false;
    kind = bytes[0];
    text.assign(bytes + 1, length);
    return kind == 'R' || kind == 'N';
}

bool AppendIDListToPath(const std::string& base, LPCITEMIDLIST relative, std::string& path, bool* lastIsRoot)
{
    if (!relative)
        return false;
    path = base;
    bool root = false;
    for (const SHITEMID* id = &relative->mkid; id->cb != 0;
         id = reinterpret_cast<const SHITEMID*>(reinterpret_cast<const BYTE*>(id) + id->cb))
    {
        char kind = 0;
        std::string text;
        if (!ReadRecord(*id, kind, text))
            return false;
        if (kind == 'R')
        {
            if (!path.empty() || CleanAbsolutePath(text) != text)
                return false;
            path = text;
            root = true;
        }
        else
        {
            if (path.empty() || text.find('/') != std::string::npos || text == "." || text == "..")
                return false;
            path += path == "/" ? text : "/" + text;
            root = false;
        }
    }
    if (path.empty())
        return false;
    if (lastIsRoot)
        *lastIsRoot = root;
    return true;
}

bool IsLoopingFolder(const std::string& path)
{
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return false;
    const std::string self = resolved;
    if (self == path)
        return false;
    // Any folder on the way there that is the same folder closes a circle.
    for (std::string prefix = path; prefix.size() > 1;)
    {
        const auto slash = prefix.rfind('/');
        prefix.erase(slash == 0 ? 1 : slash);
        char above[PATH_MAX];
        if (realpath(prefix.c_str(), above) && self == above)
            return true;
    }
    return false;
}

bool HasSubfolder(const std::string& path)
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
    if (!dir)
        return false;
    while (dirent* entry = readdir(dir.get()))
    {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || IsHiddenName(name))
            continue;
        if (entry->d_type == DT_DIR)
            return true;
        if ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
            IsFolder(path + "/" + std::string(name)))
            return true;
    }
    return false;
}

bool IsHiddenName(std::string_view name)
{
    return !name.empty() && name.front() == '.';
}

std::wstring WideFromUtf8(std::string_view text)
{
    std::wstring wide;
    wide.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size())
    {
        const auto byte = static_cast<unsigned char>(text[i]);
        int length = byte < 0x80           ? 1
                     : (byte >> 5) == 0x6  ? 2
                     : (byte >> 4) == 0xE  ? 3
                     : (byte >> 3) == 0x1E ? 4
                                           : 0;
        char32_t code = length == 1   ? byte
                        : length == 2 ? byte & 0x1F
                        : length == 3 ? byte & 0x0F
                                      : byte & 0x07;
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k)
        {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are no valid UTF-8 either.
        static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= kLeast[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid)
        {
            wide.push_back(static_cast<wchar_t>(0xDC00 + byte));
            ++i;
            continue;
        }
        wide.push_back(static_cast<wchar_t>(code));
        i += static_cast<std::size_t>(length);
    }
    return wide;
}

std::string Utf8FromWide(std::wstring_view text)
{
    std::string utf8;
    utf8.reserve(text.size());
    for (wchar_t w : text)
    {
        const auto code = static_cast<char32_t>(w);
        if (code >= 0xDC80 && code <= 0xDCFF)
            utf8.push_back(static_cast<char>(code - 0xDC00));
        else if (code < 0x80)
            utf8.push_back(static_cast<char>(code));
        else if (code < 0x800)
        {
            utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        else if (code < 0x10000)
        {
            utf8.push_back(static_cast<char>(0xE0 | (code >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        else if (code <= 0x10FFFF)
        {
            utf8.push_back(static_cast<char>(0xF0 | (code >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
        else
            utf8 += "\xEF\xBF\xBD";
    }
    return utf8;
}
} // namespace platform::shell::detail

HRESULT SHGetDesktopFolder(IShellFolder** folder)
{
    if (!folder)
        return E_POINTER;
    *folder = new ShellFolder(std::string());
    return S_OK;
}

HRESULT SHParseDisplayName(LPCWSTR name, LPBC, PIDLIST_ABSOLUTE* list, SFGAOF wanted, SFGAOF* attributes)
{
    if (!list)
        return E_POINTER;
    *list = nullptr;
    if (!name)
        return E_INVALIDARG;
    *list = ILCreateFromPathW(name);
    if (!*list)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (attributes)
    {
        *attributes = wanted;
        IShellFolder* desktop = nullptr;
        SHGetDesktopFolder(&desktop);
        const ITEMIDLIST* items[] = {*list};
        const HRESULT hr = desktop->GetAttributesOf(1, items, attributes);
        desktop->Release();
        return hr;
    }
    return S_OK;
}

HRESULT StrRetToStrA(STRRET* name, PCUITEMID_CHILD item, LPSTR* text)
{
    if (!name || !text)
        return E_INVALIDARG;
    *text = nullptr;
    std::string utf8;
    switch (name->uType)
    {
    case STRRET_WSTR:
        if (!name->pOleStr)
            return E_INVALIDARG;
        utf8 = platform::shell::detail::Utf8FromWide(name->pOleStr);
        CoTaskMemFree(name->pOleStr);
        name->pOleStr = nullptr;
        break;
    case STRRET_CSTR:
        utf8.assign(name->cStr, strnlen(name->cStr, MAX_PATH));
        break;
    case STRRET_OFFSET:
    {
        if (!item || name->uOffset >= ILGetSize(item))
            return E_INVALIDARG;
        const char* start = reinterpret_cast<const char*>(item) + name->uOffset;
        utf8.assign(start, strnlen(start, ILGetSize(item) - name->uOffset));
        break;
    }
    default:
        return E_INVALIDARG;
    }
    *text = static_cast<LPSTR>(CoTaskMemAlloc(utf8.size() + 1));
    if (!*text)
        return E_OUTOFMEMORY;
    std::memcpy(*text, utf8.c_str(), utf8.size() + 1);
    return S_OK;
}

HRESULT StrRetToBufA(STRRET* name, PCUITEMID_CHILD item, LPSTR buffer, UINT size)
{
    if (!buffer || size == 0)
        return E_INVALIDARG;
    buffer[0] = '\0';
    LPSTR text = nullptr;
    const HRESULT hr = StrRetToStrA(name, item, &text);
    if (FAILED(hr))
        return hr;
    std::size_t length = std::min<std::size_t>(std::strlen(text), size - 1);
    // A cut never splits a UTF-8 sequence.
    while (length > 0 && length < std::strlen(text) &&
           (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    CoTaskMemFree(text);
    return S_OK;
}
