#include "Resources.h"

#include "ModuleResources.h"

#include "platform/win/CString.h"
#include "platform/win/LastError.h"

#include <atomic>
#include <string>

using namespace platform::resources;

namespace
{
const ResourceEntry* Find(const ModuleResources& res, LPCSTR type, LPCSTR name, WORD language,
                          bool anyLanguage)
{
    const ResourceId t = ResourceId::FromName(type);
    const ResourceId n = ResourceId::FromName(name);
    bool typeFound = false;
    bool nameFound = false;
    const ResourceEntry* first = nullptr;
    for (const auto& e : res.parsed.entries)
    {
        if (!(e.type == t))
            continue;
        typeFound = true;
        if (!(e.name == n))
            continue;
        nameFound = true;
        if (anyLanguage ? e.language == LANG_NEUTRAL : e.language == language)
            return &e;
        if (!first)
            first = &e;
    }
    if (anyLanguage && first)
        return first;
    SetLastError(!typeFound   ? ERROR_RESOURCE_TYPE_NOT_FOUND
                 : !nameFound ? ERROR_RESOURCE_NAME_NOT_FOUND
                              : ERROR_RESOURCE_LANG_NOT_FOUND);
    return nullptr;
}

const ResourceEntry* EntryOf(const ModuleResources& res, HRSRC resource)
{
    const auto* entry = reinterpret_cast<const ResourceEntry*>(resource);
    if (!res.Holds(entry))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return entry;
}

// String `id` from the module's string tables: 16 strings per block, block n + 1 holding ids 16n to
// 16n + 15, each string a 16-bit length followed by that many UTF-16 units.
bool LoadStringUtf8(HINSTANCE module, UINT id, std::string& text)
{
    if (id > 0xFFFF)
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return false;
    }
    const auto res = ResourcesOf(module);
    if (!res)
        return false;
    const ResourceEntry* block = Find(*res, RT_STRING, MAKEINTRESOURCE((id >> 4) + 1), LANG_NEUTRAL, true);
    if (!block)
        return false;
    std::size_t pos = 0;
    for (UINT i = 0;; ++i)
    {
        if (block->size - pos < 2)
        {
            SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        const std::size_t length = block->data[pos] | (block->data[pos + 1] << 8);
        pos += 2;
        if ((block->size - pos) / 2 < length)
        {
            SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        if (i == (id & 15))
        {
            if (length == 0)
            {
                SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
                return false;
            }
            text = Utf16LeToUtf8(block->data + pos, length);
            return true;
        }
        pos += 2 * length;
    }
}

std::atomic<HINSTANCE> g_instance{nullptr};
std::atomic<HINSTANCE> g_resources{nullptr};
} // namespace

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type)
{
    return FindResourceExA(module, type, name, LANG_NEUTRAL);
}

HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language)
{
    if (!type || !name)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto res = ResourcesOf(module);
    if (!res)
        return nullptr;
    const ResourceEntry* entry = Find(*res, type, name, language, language == LANG_NEUTRAL);
    return entry ? reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(entry)) : nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource)
{
    const auto res = ResourcesOf(module);
    if (!res)
        return nullptr;
    const ResourceEntry* entry = EntryOf(*res, resource);
    return entry ? reinterpret_cast<HGLOBAL>(const_cast<BYTE*>(entry->data)) : nullptr;
}

LPVOID LockResource(HGLOBAL data)
{
    return reinterpret_cast<LPVOID>(data);
}

DWORD SizeofResource(HMODULE module, HRSRC resource)
{
    const auto res = ResourcesOf(module);
    if (!res)
        return 0;
    const ResourceEntry* entry = EntryOf(*res, resource);
    return entry ? entry->size : 0;
}

BOOL FreeResource(HGLOBAL)
{
    return FALSE;
}

int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int bufferMax)
{
    if (!buffer || bufferMax <= 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    std::string text;
    if (!LoadStringUtf8(module, id, text))
        return 0;
    return static_cast<int>(platform::CopyTruncated(buffer, static_cast<std::size_t>(bufferMax), text));
}

HINSTANCE AfxGetInstanceHandle()
{
    HINSTANCE instance = g_instance.load();
    if (!instance)
    {
        const DWORD error = GetLastError();
        instance = GetModuleHandleA(nullptr);
        SetLastError(error);
    }
    return instance;
}

void AfxSetInstanceHandle(HINSTANCE instance)
{
    g_instance.store(instance);
}

HINSTANCE AfxGetResourceHandle()
{
    HINSTANCE resources = g_resources.load();
    return resources ? resources : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE resources)
{
    g_resources.store(resources);
}

HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type)
{
    const HINSTANCE resources = AfxGetResourceHandle();
    if (FindResourceA(resources, name, type))
        return resources;
    const HINSTANCE instance = AfxGetInstanceHandle();
    if (instance != resources && FindResourceA(instance, name, type))
        return instance;
    return resources;
}

BOOL CString::LoadString(UINT id)
{
    // As the class library searches: the resource module, then the program's own module, so that a
    // language library lacking a text still yields the original one.
    const HINSTANCE resources = AfxGetResourceHandle();
    if (LoadString(resources, id))
        return TRUE;
    const HINSTANCE instance = AfxGetInstanceHandle();
    return instance != resources && LoadString(instance, id);
}

BOOL CString::LoadString(HINSTANCE module, UINT id)
{
    std::string text;
    if (!LoadStringUtf8(module, id, text))
        return FALSE;
    m_text = std::move(text);
    return TRUE;
}
