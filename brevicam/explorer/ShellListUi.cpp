// The file list's links with the rest of the desktop: dragging files out, taking files dropped in, the
// shell's context menu of the selection and the information tooltips of the items.

#include "brevicam/core/Params.h"
#include "brevicam/core/StartupObjects.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/media/FileOperation.h"
#include "brevicam/media/VideoFileProbe.h"
#include "brevicam/media/WmvFileInfo.h"
#include "platform/com/Com.h"
#include "platform/listview/ListView.h"
#include "platform/menu/Menu.h"
#include "platform/olepicture/OlePicture.h"
#include "platform/shell/ContextMenu.h"
#include "platform/window/Controls.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <QImageReader>

#include <cstdio>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <string>
#include <vector>

namespace
{
constexpr DWORD kBalloonTipStyle = TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON;

CString LoadText(HINSTANCE resources, UINT id)
{
    CString text;
    if (resources)
        text.LoadString(resources, id);
    else
        text.LoadString(id);
    return text;
}

/// The pattern with each printf conversion ("%s", "%d", "%.02f"...) replaced by the next of `values`, in
/// order, and "%%" by "%". The patterns come from (possibly translated) resources, so they are never
/// handed to printf: a conversion without a value stays empty.
CString FillIn(const CString& pattern, std::initializer_list<std::string> values)
{
    const std::string& text = pattern.Str();
    std::string out;
    auto next = values.begin();
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%')
        {
            out += '%';
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && std::strchr("-+ #0123456789.lhLqjzt", text[end]))
            ++end;
        if (end >= text.size())
            break;
        if (next != values.end())
            out += *next++;
        i = end;
    }
    return CString(out);
}

std::string Decimal(int value)
{
    return std::to_string(value);
}

/// The depth the program's image object gives a picture of this kind: greys and palettes of up to 256
/// colours are 8 bits, everything else 24.
int DepthOf(QImage::Format format)
{
    switch (format)
    {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_Alpha8:
        return 8;
    default:
        return 24;
    }
}

/// The text after the last "." of the file name, empty without one.
std::string ExtensionOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(dot + 1);
}

/// A picture's tooltip text from its header alone: decoding a whole photo here would stall the window
/// for as long as the pointer rests on it.
CString PictureText(HINSTANCE resources, const std::string& path, const std::string& extension)
{
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid() || size.isEmpty())
        return FillIn(LoadText(resources, IDS_TIP_PICTURE_UNREADABLE), {extension});
    return FillIn(
        LoadText(resources, IDS_TIP_PICTURE),
        {extension, Decimal(size.width()), Decimal(size.height()), Decimal(DepthOf(reader.imageFormat()))});
}

/// A video's tooltip text from the transcoder library's probe, else from the Windows Media readers.
CString VideoText(HINSTANCE resources, const std::string& path)
{
    transcoder::VideoFileInfo info{};
    SetUnknownVideoInfo(info);
    bool probed = false;
    try
    {
        const VideoFileProbe probe{CString(path)};
        if (probe.valid)
        {
            info = probe;
            probed = true;
        }
    }
    catch (const std::exception&)
    {
        // A transcoder library that cannot be loaded counts as a probe that read nothing.
    }
    if (!probed)
        GetWmvFileInfo(info, CString(path));
    if (!info.valid)
        return LoadText(resources, IDS_NOT_AVAILABLE);

    std::string width = "N/A";
    std::string height = "N/A";
    std::string rate = "N/A";
    if (info.width != 0)
    {
        width = Decimal(info.width);
        height = Decimal(info.height);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.02f", info.frameRate);
        rate = buffer;
    }
    std::string codec(info.codec, strnlen(info.codec, sizeof info.codec));
    if (probed && codec == "No_compression")
        codec = LoadText(resources, IDS_UNCOMPRESSED).Str();
    return FillIn(LoadText(resources, IDS_TIP_VIDEO),
                  {std::string(info.container, strnlen(info.container, sizeof info.container)), width, height,
                   rate, codec, std::string(info.duration, strnlen(info.duration, sizeof info.duration))});
}

/// A CF_HDROP block of the UTF-8 paths, sized from the paths themselves; null without memory.
HGLOBAL MakeDropFiles(const std::vector<CString>& paths)
{
    std::size_t size = sizeof(DROPFILES) + 1;
    for (const CString& path : paths)
        size += path.Str().size() + 1;
    HGLOBAL block = GlobalAlloc(GHND, size);
    if (!block)
        return nullptr;
    auto* bytes = static_cast<BYTE*>(GlobalLock(block));
    if (!bytes)
    {
        GlobalFree(block);
        return nullptr;
    }
    const DROPFILES header{sizeof(DROPFILES), {0, 0}, FALSE, FALSE};
    std::memcpy(bytes, &header, sizeof header);
    std::size_t at = sizeof(DROPFILES);
    for (const CString& path : paths)
    {
        std::memcpy(bytes + at, path.Str().data(), path.Str().size());
        at += path.Str().size() + 1; // the block is zeroed: each name keeps its terminator
    }
    GlobalUnlock(block);
    return block;
}

/// Passes a menu message to the open context menu: to IContextMenu3 when it is held, else to
/// IContextMenu2. False when neither is held or the one asked failed; `result` gets IContextMenu3's answer
/// (0 otherwise).
bool PassToContextMenu(IContextMenu2* menu2, IContextMenu3* menu3, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT* result = nullptr)
{
    LRESULT answer = 0;
    bool handled = false;
    if (menu3)
        handled = SUCCEEDED(menu3->HandleMenuMsg2(message, wParam, lParam, &answer));
    else if (menu2)
        handled = SUCCEEDED(menu2->HandleMenuMsg(message, wParam, lParam));
    if (result)
        *result = handled ? answer : 0;
    return handled;
}
} // namespace

// ---------------------------------------------------------------------------------------------------------
// Dropping files onto the list
// ---------------------------------------------------------------------------------------------------------

CShellListCtrl::CDropTarget::CDropTarget(CShellListCtrl* list) : m_pList(list)
{
    const HRESULT hr = CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IDropTargetHelper, reinterpret_cast<void**>(&m_pDropHelper));
    if (FAILED(hr))
        throw CCOMException(".\\ShellList[CShellListCtrl::CDropTarget::CDropTarget]: Cannot instantiate "
                            "Drag'n'Drop helper object",
                            hr);
}

CShellListCtrl::CDropTarget::~CDropTarget()
{
    if (m_pDropHelper)
        m_pDropHelper->Release();
}

DROPEFFECT CShellListCtrl::CDropTarget::EffectFor(COleDataObject* data)
{
    // The list's own drags carry the private format: it never takes its own files back.
    if (!data || data->IsDataAvailable(static_cast<CLIPFORMAT>(g_cfInternalDrag)))
        return DROPEFFECT_NONE;
    if (m_pList->GetCurrentFolderPath().IsEmpty() || !data->IsDataAvailable(CF_HDROP))
        return DROPEFFECT_NONE;
    return DROPEFFECT_COPY;
}

DROPEFFECT CShellListCtrl::CDropTarget::OnDragEnter(CWnd*, COleDataObject* data, DWORD, CPoint point)
{
    const DROPEFFECT effect = EffectFor(data);
    m_pDropHelper->DragEnter(m_pList->GetSafeHwnd(), data ? data->m_lpDataObject : nullptr, &point, effect);
    return effect;
}

DROPEFFECT CShellListCtrl::CDropTarget::OnDragOver(CWnd*, COleDataObject* data, DWORD, CPoint point)
{
    const DROPEFFECT effect = EffectFor(data);
    m_pDropHelper->DragOver(&point, effect);
    return effect;
}

void CShellListCtrl::CDropTarget::OnDragLeave(CWnd*)
{
    m_pDropHelper->DragLeave();
}

BOOL CShellListCtrl::CDropTarget::OnDrop(CWnd*, COleDataObject* data, DROPEFFECT effect, CPoint point)
{
    const BOOL dropped = DropFiles(data);
    m_pDropHelper->Drop(data ? data->m_lpDataObject : nullptr, &point, effect);
    return dropped;
}

BOOL CShellListCtrl::CDropTarget::DropFiles(COleDataObject* data)
{
    HGLOBAL block = data ? data->GetGlobalData(CF_HDROP) : nullptr;
    if (!block)
        return FALSE;
    const auto drop = reinterpret_cast<HDROP>(block);
    try
    {
        // Each name is read at its full length: a long path cut short would name another file.
        std::vector<CString> accepted;
        const UINT count = DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i)
        {
            const UINT length = DragQueryFile(drop, i, nullptr, 0);
            if (length == 0)
                continue;
            std::vector<char> name(length + 1, '\0');
            DragQueryFile(drop, i, name.data(), length + 1);
            if (!m_pList->m_pMediator->FilterItem(name.data()))
                accepted.emplace_back(name.data());
        }
        DragFinish(drop);
        block = nullptr;

        if (!accepted.empty())
        {
            // A name already in the folder gives the copy a new one; nothing is ever overwritten, and
            // failures are not shown.
            const CString destination = m_pList->GetCurrentFolderPath();
            CFileOperation operation;
            operation.m_bOverwriteMode = false;
            for (const CString& source : accepted)
                operation.Copy(source, destination, false, nullptr);
        }
        m_pList->SendMessage(WM_SHELLLIST_POPULATE, ShellListShowFolder, 0);
        return TRUE;
    }
    catch (const std::exception&)
    {
        if (block)
            DragFinish(drop);
        return FALSE;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Dragging files out of the list
// ---------------------------------------------------------------------------------------------------------

void CShellListCtrl::OnBeginDrag(NMHDR*, LRESULT* result)
{
    *result = 0;
    std::vector<CString> paths;
    try
    {
        for (const CString& path : GetSelectedPaths())
            if (!path.IsEmpty()) // an empty name would end the block's list early
                paths.push_back(path);
    }
    catch (const std::exception&)
    {
        return; // an item the folder cannot name: no drag
    }
    if (paths.empty())
        return;

    HGLOBAL files = MakeDropFiles(paths);
    if (!files)
        return;
    HGLOBAL marker = GlobalAlloc(GHND, 1);
    if (!marker)
    {
        GlobalFree(files);
        return;
    }
    COleDataSource source;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    source.CacheGlobalData(CF_HDROP, files, &format);
    source.CacheGlobalData(static_cast<CLIPFORMAT>(g_cfInternalDrag), marker);

    CRect start;
    GetClientRect(&start);
    ClientToScreen(&start);
    const DROPEFFECT effect = source.DoDragDrop(DROPEFFECT_COPY | DROPEFFECT_MOVE, &start);
    if (effect == DROPEFFECT_MOVE)
    {
        SendMessage(WM_SHELLLIST_POPULATE, ShellListShowFolder, 0);
    }
    else if (effect == DROPEFFECT_NONE && g_bIsNT)
    {
        // A target may have moved the files itself and still answered "none".
        for (const CString& path : paths)
            if (!CParams::PathExists(path, FALSE))
            {
                SendMessage(WM_SHELLLIST_POPULATE, ShellListShowFolder, 0);
                break;
            }
    }
}

void CShellListCtrl::OnBeginRDrag(NMHDR*, LRESULT* result)
{
    *result = 0;
}

// ---------------------------------------------------------------------------------------------------------
// The shell's context menu
// ---------------------------------------------------------------------------------------------------------

void CShellListCtrl::EnableContextMenu(int enable)
{
    m_bContextMenuEnabled = enable;
}

void CShellListCtrl::OnContextMenu(CWnd*, CPoint point)
{
    if (!m_bContextMenuEnabled || GetCurrentFolderPath().IsEmpty() || GetSelectedCount() == 0)
        return;

    std::vector<LPCITEMIDLIST> items;
    IShellFolder* folder = nullptr;
    for (int i = GetNextItem(-1, LVNI_SELECTED); i != -1; i = GetNextItem(i, LVNI_SELECTED))
    {
        const auto* record = reinterpret_cast<tagTShellItemData*>(GetItemData(i));
        if (!record || !record->pidlRelative)
            continue;
        items.push_back(record->pidlRelative);
        folder = record->pFolder;
    }
    if (!folder || items.empty())
        return;

    IContextMenu* menu = nullptr;
    if (FAILED(folder->GetUIObjectOf(m_hWnd, static_cast<UINT>(items.size()), items.data(), IID_IContextMenu,
                                     nullptr, reinterpret_cast<void**>(&menu))) ||
        !menu)
        return;

    HMENU popup = ::CreatePopupMenu();
    if (popup && SUCCEEDED(menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL)))
    {
        menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&m_pContextMenu2));
        menu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&m_pContextMenu3));
        const UINT command = static_cast<UINT>(
            ::TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, m_hWnd, nullptr));
        if (m_pContextMenu2)
            m_pContextMenu2->Release();
        if (m_pContextMenu3)
            m_pContextMenu3->Release();
        m_pContextMenu2 = nullptr;
        m_pContextMenu3 = nullptr;

        if (command != 0)
        {
            CMINVOKECOMMANDINFO info{};
            info.cbSize = sizeof info;
            info.hwnd = m_hWnd;
            info.lpVerb = MAKEINTRESOURCE(command - 1);
            info.nShow = SW_SHOWNORMAL;
            menu->InvokeCommand(&info);
        }
    }
    menu->Release();
    if (popup)
        ::DestroyMenu(popup);
}

void CShellListCtrl::OnMeasureItem(int controlId, MEASUREITEMSTRUCT* measure)
{
    if (!PassToContextMenu(m_pContextMenu2, m_pContextMenu3, WM_MEASUREITEM, static_cast<WPARAM>(controlId),
                           reinterpret_cast<LPARAM>(measure)))
        faldra::CSkinListCtrl::OnMeasureItem(controlId, measure);
}

void CShellListCtrl::OnDrawItem(int controlId, DRAWITEMSTRUCT* draw)
{
    if (!PassToContextMenu(m_pContextMenu2, m_pContextMenu3, WM_DRAWITEM, static_cast<WPARAM>(controlId),
                           reinterpret_cast<LPARAM>(draw)))
        faldra::CSkinListCtrl::OnDrawItem(controlId, draw);
}

LRESULT CShellListCtrl::OnMenuChar(UINT character, UINT flags, CMenu* menu)
{
    if (!m_pContextMenu2 && !m_pContextMenu3)
        return Default();
    LRESULT result = 0;
    PassToContextMenu(m_pContextMenu2, m_pContextMenu3, WM_MENUCHAR, MAKEWPARAM(character, flags),
                      reinterpret_cast<LPARAM>(menu ? menu->GetSafeHmenu() : nullptr), &result);
    return result;
}

void CShellListCtrl::OnInitMenuPopup(CMenu* popup, UINT index, BOOL sysMenu)
{
    PassToContextMenu(m_pContextMenu2, m_pContextMenu3, WM_INITMENUPOPUP,
                      reinterpret_cast<WPARAM>(popup ? popup->GetSafeHmenu() : nullptr),
                      MAKELPARAM(index, sysMenu));
}

// ---------------------------------------------------------------------------------------------------------
// Tooltips
// ---------------------------------------------------------------------------------------------------------

void CShellListCtrl::PreSubclassWindow()
{
    // The list shares the system's small image list and never destroys it.
    ModifyStyle(0, LVS_SHAREIMAGELISTS | LVS_SHOWSELALWAYS);
    if (m_toolTip.Create(this, WS_POPUP | kBalloonTipStyle))
        SetToolTips(&m_toolTip);
    m_bToolTipConfigured = 0;
    EnableToolTips(TRUE);
    faldra::CSkinListCtrl::PreSubclassWindow();
}

INT_PTR CShellListCtrl::OnToolHitTest(CPoint point, TOOLINFO* info) const
{
    CRect client;
    GetClientRect(&client);
    const int count = GetItemCount();
    if (!client.PtInRect(point) || count <= 0)
        return -1;
    const int top = GetTopIndex();
    int last = top + GetCountPerPage();
    if (last > count - 1)
        last = count - 1;
    for (int i = top < 0 ? 0 : top; i <= last; ++i)
    {
        CRect item;
        if (!GetItemRect(i, &item, LVIR_BOUNDS) || !item.PtInRect(point))
            continue;
        if (info)
        {
            info->hwnd = m_hWnd;
            info->uId = static_cast<UINT_PTR>(i);
            info->rect = item;
            info->lpszText = LPSTR_TEXTCALLBACK;
        }
        return i;
    }
    return -1;
}

BOOL CShellListCtrl::OnNeedToolTipText(UINT, NMHDR* header, LRESULT* result)
{
    *result = 0;
    CToolTipCtrl* tip = platform::window::ThreadToolTip();
    if (!tip)
        return TRUE;
    if (!m_bToolTipConfigured)
    {
        ::SetWindowLongPtr(tip->m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(kBalloonTipStyle));
        tip->SetMaxTipWidth(500);
        tip->SetDelayTime(TTDT_AUTOMATIC, 1000);
        tip->SetDelayTime(TTDT_RESHOW, 1000);
        tip->SetDelayTime(TTDT_AUTOPOP, 10000);
        m_bToolTipConfigured = 1;
    }
    if (!(::GetWindowLongPtr(tip->m_hWnd, GWL_STYLE) & TTS_BALLOON))
    {
        ::SetWindowLongPtr(tip->m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(TTS_BALLOON));
        SetFocus();
    }

    const UINT_PTR index = header->idFrom;
    if (index >= static_cast<UINT_PTR>(GetItemCount()))
        return FALSE;
    std::string path;
    try
    {
        path = GetItemPath(static_cast<int>(index)).Str();
    }
    catch (const std::exception&)
    {
        // An item the folder cannot name is described as unreadable.
    }

    CString text;
    if (g_params.GetImageType(CString(path)) != 0)
    {
        tip->SetTitle(TTI_INFO, LoadText(m_hResources, IDS_TIP_TITLE_IMAGE));
        text = PictureText(m_hResources, path, ExtensionOf(path));
    }
    else
    {
        tip->SetTitle(TTI_INFO, LoadText(m_hResources, IDS_TIP_TITLE_VIDEO));
        text = VideoText(m_hResources, path);
    }
    text.Replace("N/A", LoadText(m_hResources, IDS_NOT_AVAILABLE));

    if (header->code == TTN_NEEDTEXTA)
    {
        delete[] m_pszToolTip;
        m_pszToolTip = new char[text.Str().size() + 1];
        std::memcpy(m_pszToolTip, text.Str().c_str(), text.Str().size() + 1);
        reinterpret_cast<NMTTDISPINFOA*>(header)->lpszText = m_pszToolTip;
    }
    else
    {
        const std::wstring wide = platform::Utf8ToWide(text.Str());
        delete[] m_pwszToolTip;
        m_pwszToolTip = new wchar_t[wide.size() + 1];
        std::memcpy(m_pwszToolTip, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = m_pwszToolTip;
    }
    return TRUE;
}
