// Keyboard accelerator tables: read from a module's RT_ACCELERATOR resource and matched against key
// messages, which become WM_COMMAND for the window they are translated for.

#include "platform/resources/Resources.h"
#include "platform/window/WinUser.h"

#include <cstring>
#include <vector>

namespace
{
/// One entry of a compiled accelerator table: flags, key, command and padding, 8 bytes each; the last
/// entry has bit 0x80 in its flags.
struct ResourceEntry
{
    WORD flags;
    WORD key;
    WORD command;
    WORD padding;
};
static_assert(sizeof(ResourceEntry) == 8);

constexpr WORD kLastEntry = 0x80;

struct Table
{
    std::vector<ACCEL> entries;
};

bool ModifiersMatch(BYTE flags)
{
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    return shift == ((flags & FSHIFT) != 0) && control == ((flags & FCONTROL) != 0) &&
           alt == ((flags & FALT) != 0);
}
} // namespace

HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name)
{
    HRSRC resource = FindResourceA(instance, name, RT_ACCELERATOR);
    if (!resource)
        return nullptr;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(instance, resource)));
    const DWORD size = SizeofResource(instance, resource);
    if (!data || size < sizeof(ResourceEntry))
        return nullptr;
    auto* table = new Table;
    for (DWORD at = 0; at + sizeof(ResourceEntry) <= size; at += sizeof(ResourceEntry))
    {
        ResourceEntry entry;
        std::memcpy(&entry, data + at, sizeof entry);
        table->entries.push_back(
            ACCEL{static_cast<BYTE>(entry.flags & ~kLastEntry), entry.key, entry.command});
        if (entry.flags & kLastEntry)
            break;
    }
    return reinterpret_cast<HACCEL>(table);
}

BOOL DestroyAcceleratorTable(HACCEL accelerators)
{
    delete reinterpret_cast<Table*>(accelerators);
    return accelerators != nullptr;
}

int TranslateAcceleratorA(HWND hwnd, HACCEL accelerators, LPMSG msg)
{
    if (!hwnd || !accelerators || !msg || !IsWindow(hwnd))
        return 0;
    const auto* table = reinterpret_cast<const Table*>(accelerators);
    const bool keyDown = msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN;
    for (const ACCEL& entry : table->entries)
    {
        bool match = false;
        if (entry.fVirt & FVIRTKEY)
            match = keyDown && msg->wParam == entry.key && ModifiersMatch(entry.fVirt);
        else
            match = msg->message == WM_CHAR && msg->wParam == entry.key;
        if (match)
        {
            SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(entry.cmd, 1), 0);
            return 1;
        }
    }
    return 0;
}
