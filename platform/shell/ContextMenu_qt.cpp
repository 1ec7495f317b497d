// The context menu of files: opening them with the desktop's choice and moving them to the trash.

#include "platform/com/ComObject.h"
#include "platform/shell/ContextMenu.h"
#include "platform/shell/ShellExecute.h"
#include "platform/shell/ShellInternal.h"
#include "platform/win/CString.h"
#include "platform/win/LastError.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <string>
#include <strings.h>
#include <system_error>
#include <vector>

namespace
{
constexpr DWORD ERROR_NO_ASSOCIATION = 1155;

struct Command
{
    const char* text;
    const char* verb;
};

// By offset from the first command id.
constexpr Command kCommands[] = {{"Open", "open"}, {"Move to Trash", "delete"}};
constexpr UINT kOpen = 0;
constexpr UINT kTrash = 1;
constexpr UINT kCommandCount = sizeof kCommands / sizeof kCommands[0];

class FileContextMenu final
    : public platform::com::ComObject<IContextMenu3, IID_IContextMenu, IID_IContextMenu2, IID_IContextMenu3>
{
public:
    explicit FileContextMenu(std::vector<std::string> paths) : m_paths(std::move(paths)) {}

    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override
    {
        if (!IsMenu(menu))
            return E_INVALIDARG;
        const UINT wanted = (flags & CMF_DEFAULTONLY) ? kOpen + 1 : kCommandCount;
        UINT used = 0;
        for (UINT offset = 0; offset < wanted; ++offset)
        {
            if (firstId > lastId || lastId - firstId < offset)
                break;
            if (!InsertMenuA(menu, index + offset, MF_BYPOSITION | MF_STRING, firstId + offset,
                             kCommands[offset].text))
                return E_FAIL;
            used = offset + 1;
        }
        if (used > kOpen)
            SetMenuDefaultItem(menu, firstId + kOpen, FALSE);
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, used);
    }

    STDMETHODIMP InvokeCommand(LPCMINVOKECOMMANDINFO info) override
    {
        if (!info || info->cbSize < offsetof(CMINVOKECOMMANDINFO, dwHotKey))
            return E_INVALIDARG;
        UINT command = kCommandCount;
        if (IS_INTRESOURCE(info->lpVerb))
            command = LOWORD(reinterpret_cast<ULONG_PTR>(info->lpVerb));
        else
            for (UINT i = 0; i < kCommandCount; ++i)
                if (::strcasecmp(info->lpVerb, kCommands[i].verb) == 0)
                    command = i;
        switch (command)
        {
        case kOpen:
            return Open(info->hwnd);
        case kTrash:
            return MoveToTrash();
        default:
            return E_INVALIDARG;
        }
    }

    STDMETHODIMP GetCommandString(UINT_PTR command, UINT type, UINT*, LPSTR name, UINT size) override
    {
        if (command >= kCommandCount)
            return type == GCS_VALIDATEA ? S_FALSE : E_INVALIDARG;
        switch (type)
        {
        case GCS_VALIDATEA:
            return S_OK;
        case GCS_VERBA:
            if (!name || size == 0)
                return E_INVALIDARG;
            platform::CopyTruncated(name, size, kCommands[command].verb);
            return S_OK;
        default:
            return E_NOTIMPL;
        }
    }

    STDMETHODIMP HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        LRESULT ignored = 0;
        return HandleMenuMsg2(message, wParam, lParam, &ignored);
    }

    // None of the commands is drawn by the owner: the menu messages need nothing from us.
    STDMETHODIMP HandleMenuMsg2(UINT message, WPARAM, LPARAM, LRESULT* result) override
    {
        if (result)
            *result = 0;
        switch (message)
        {
        case WM_INITMENUPOPUP:
        case WM_MEASUREITEM:
        case WM_DRAWITEM:
        case WM_MENUCHAR:
            return S_OK;
        default:
            return E_INVALIDARG;
        }
    }

private:
    ~FileContextMenu() = default;

    /// Every file goes to the desktop, even after one failed; the result is the first failure.
    HRESULT Open(HWND owner) const
    {
        HRESULT result = S_OK;
        for (const std::string& path : m_paths)
        {
            const auto opened =
                reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", path.c_str(), nullptr, nullptr, 1));
            if (opened > 32 || FAILED(result))
                continue;
            result = opened == SE_ERR_NOASSOC ? HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION)
                                              : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        return result;
    }

    HRESULT MoveToTrash() const
    {
        HRESULT result = S_OK;
        for (const std::string& path : m_paths)
        {
            const DWORD deleted = platform::shell::detail::DeletePath(path.c_str(), true);
            if (deleted != ERROR_SUCCESS && SUCCEEDED(result))
                result = HRESULT_FROM_WIN32(deleted);
        }
        return result;
    }

    std::vector<std::string> m_paths;
};
} // namespace

HRESULT CreateFileContextMenu(HWND, const std::vector<std::string>& paths, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (paths.empty())
        return E_INVALIDARG;
    std::vector<std::string> absolute;
    for (const std::string& path : paths)
    {
        if (path.empty())
            return E_INVALIDARG;
        // A name read relative to the current folder could begin with a dash, which xdg-open takes for
        // an option; an absolute path never does.
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(path, error);
        if (error)
            return E_INVALIDARG;
        absolute.push_back(full.lexically_normal().string());
    }
    auto* menu = new FileContextMenu(std::move(absolute));
    const HRESULT hr = menu->QueryInterface(iid, out);
    menu->Release();
    return hr;
}
