// The settings store's dealings with the user about folders and texts: the check and offer to create a
// capture folder, and texts shortened to a label's width.

#include "Params.h"

#include "Controls/Label.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "platform/window/Afx.h"
#include "resources/brevicam/resource.h"

#include <filesystem>
#include <linux/magic.h>
#include <string>
#include <sys/statfs.h>
#include <system_error>

namespace fs = std::filesystem;

namespace
{
constexpr int kLiveVideoId = 1002;

/// Where the drive-type test of the system lands on Linux: the file system holding the nearest existing
/// folder of the path.
enum class DriveKind
{
    Local,
    Other,
};

DriveKind KindOf(const std::string& path)
{
    fs::path existing(path);
    std::error_code ec;
    while (!existing.empty() && !fs::exists(existing, ec))
    {
        if (existing == existing.parent_path())
            break;
        existing = existing.parent_path();
    }
    struct statfs info
    {
    };
    if (::statfs(existing.empty() ? "/" : existing.c_str(), &info) != 0)
        return DriveKind::Other;
    // Network shares and optical media are what the system's network and CD-ROM drive types name.
    switch (static_cast<unsigned long>(info.f_type))
    {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case CODA_SUPER_MAGIC:
    case NCP_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case V9FS_MAGIC:
    case ISOFS_SUPER_MAGIC:
    case 0x15013346: // UDF
        return DriveKind::Other;
    default:
        return DriveKind::Local;
    }
}

CString FormatWithPath(UINT id, const CString& path)
{
    return LoadStringWithText(id, CParams::CompactPath(path, -1));
}

/// The last `count` characters (not bytes) of a UTF-8 text cut off.
void CutCharacters(std::string& text, std::size_t count)
{
    for (std::size_t i = 0; i < count && !text.empty(); ++i)
    {
        std::size_t end = text.size() - 1;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        text.erase(end);
    }
}

CString Ellipsize(const CString& text, HWND window, HFONT font)
{
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int available = rect.right - rect.left;
    HDC dc = ::GetDC(window);
    HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
    auto width = [dc](const std::string& s)
    {
        SIZE size{};
        ::GetTextExtentPoint32(dc, s.c_str(), static_cast<int>(s.size()), &size);
        return size.cx;
    };
    std::string current = text.Str();
    std::string result = current;
    if (width(current) > available)
    {
        for (std::size_t k = 1;; ++k)
        {
            CutCharacters(current, k);
            // Even "..." alone may not fit; the shortest text is then "...".
            if (width(current + "...") <= available || current.empty())
                break;
        }
        result = current + "...";
    }
    if (old)
        ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    return CString(result.c_str());
}
} // namespace

int CParams::CheckFolder(HWND owner, CString path)
{
    const CString title = GetAppTitle();
    if (!IsValidPath(path))
    {
        if (owner)
            SkinMessageBox(owner, FormatWithPath(IDS_DIRECTORY_INVALID, path), title, MB_ICONHAND);
        return 2;
    }
    if (PathExists(path, TRUE))
        return 0;
    if (KindOf(path.Str()) != DriveKind::Local)
    {
        SkinMessageBox(owner, FormatWithPath(IDS_DIRECTORY_INVALID, path), title, MB_ICONHAND);
        return 2;
    }
    if (SkinMessageBox(owner, FormatWithPath(IDS_FOLDER_MISSING_CREATE, path), title,
                       MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 3;
    if (CreateFolderTree(path))
        return 1;
    SkinMessageBox(owner, FormatWithPath(IDS_FOLDER_CREATE_FAILED, path), title, MB_ICONHAND);
    return 2;
}

CString CParams::EllipsizeText(CString text, CLabel& label)
{
    return Ellipsize(text, label.GetSafeHwnd(), static_cast<HFONT>(label.GetLabelFont().GetSafeHandle()));
}

CString CParams::EllipsizeText(CString text, CWnd* window)
{
    if (!window || !window->GetSafeHwnd())
        return text;
    if (auto* label = dynamic_cast<CLabel*>(window))
        return EllipsizeText(text, *label);
    return Ellipsize(text, window->GetSafeHwnd(), reinterpret_cast<HFONT>(window->SendMessage(WM_GETFONT)));
}

BOOL CParams::IsFullScreen()
{
    CWnd* main = AfxGetMainWnd();
    if (!main || !main->GetSafeHwnd())
        return FALSE;
    HWND surface = ::GetDlgItem(main->GetSafeHwnd(), kLiveVideoId);
    if (!surface)
    {
        // Re-parented to the full-screen host, the surface is no longer among the main window's children;
        // the full-screen window kept here is the surface itself (or, for older callers, its host).
        HWND stored = GetFullscreenWnd();
        if (stored && ::IsWindow(stored))
            surface = ::GetDlgCtrlID(stored) == kLiveVideoId ? stored : ::GetDlgItem(stored, kLiveVideoId);
    }
    return surface && ::GetParent(surface) != main->GetSafeHwnd();
}
