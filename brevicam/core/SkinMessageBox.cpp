#include "SkinMessageBox.h"

#include "brevicam/core/ResourceInstance.h"
#include "platform/resources/Resources.h"
#include "platform/window/WinApp.h"
#include "platform/window/WinUser.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"

#include <cstdio>

namespace
{
CString LoadText(UINT id)
{
    CString text;
    text.LoadString(AppResourceInstance(), id);
    return text;
}

struct SystemText
{
    DWORD code;
    const char* text;
};

// The system's message table for the codes the program can meet.
constexpr SystemText kSystemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {0x80004001, "Not implemented\r\n"},
    {0x80004005, "Unspecified error\r\n"},
};
} // namespace

HINSTANCE AppResourceInstance()
{
    if (auto* provider = dynamic_cast<IResourceInstanceProvider*>(AfxGetApp()))
        return provider->GetResourceInstance();
    return AfxGetInstanceHandle();
}

CString LoadStringWithText(UINT id, const char* text)
{
    std::string result = LoadText(id).Str();
    if (const auto at = result.find("%s"); at != std::string::npos)
        result.replace(at, 2, text ? text : "");
    return CString(result.c_str());
}

int SkinMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    const CString ok = LoadText(IDS_OK);
    const CString cancel = LoadText(IDS_CANCEL);
    const CString yes = LoadText(IDS_YES);
    const CString no = LoadText(IDS_NO);
    return MessageBoxSkinEx(ok, cancel, yes, no, owner, text, caption, style);
}

int SkinMessageBoxId(HWND owner, UINT textId, LPCSTR caption, UINT style)
{
    const CString text = LoadText(textId);
    return SkinMessageBox(owner, text, caption, style);
}

int SkinMessageBoxIds(HWND owner, UINT textId, UINT captionId, UINT style)
{
    const CString caption = LoadText(captionId);
    const CString text = LoadText(textId);
    return SkinMessageBox(owner, text, caption, style);
}

int ShowStartupErrorBox(HRESULT code, LPCSTR /*text*/)
{
    char detail[300];
    std::snprintf(detail, sizeof detail, "\n%s", static_cast<const char*>(GetSystemErrorText(DWORD(code))));
    CString message = LoadText(IDS_INIT_FAILED);
    message += detail;
    const CString caption = LoadText(IDS_APP_NAME);
    return ::MessageBox(nullptr, message, caption, MB_OK);
}

CString GetSystemErrorText(DWORD code)
{
    // An HRESULT that wraps a system error number has the same text as the number.
    DWORD lookup = code;
    if ((code & 0xFFFF0000u) == 0x80070000u)
        lookup = code & 0xFFFFu;
    for (const auto& entry : kSystemTexts)
    {
        if (entry.code == lookup)
        {
            std::string text(entry.text);
            text = text.substr(0, text.find('\r'));
            return CString(text.c_str());
        }
    }
    return CString("Unknown error");
}
