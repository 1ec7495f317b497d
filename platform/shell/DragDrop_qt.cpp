// Drag and drop over Qt: data objects keep their formats as MIME data, drags run as QDrag, and a window's
// drop target is fed from the drop events of its widget.

#include "platform/com/Com.h"
#include "platform/com/ComObject.h"
#include "platform/shell/DragDrop.h"
#include "platform/win/Dib.h"
#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"

#include <QApplication>
#include <QByteArray>
#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QPixmap>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{
// Asks a data object whether it is one of ours.
DEFINE_GUID(IID_OurDataObject, 0x6C1D4A52, 0x0B7E, 0x4F3A, 0x9A, 0x61, 0x2D, 0x83, 0x5E, 0x17, 0xC4, 0x90);

const char* const kUriList = "text/uri-list";

std::function<DWORD(const QMimeData&, DWORD)> g_dragHook;

/// The file names of a CF_HDROP block, read within its bounds.
bool ReadDropFiles(const BYTE* block, std::size_t size, std::vector<std::string>& names)
{
    if (!block || size < sizeof(DROPFILES))
        return false;
    DROPFILES header;
    std::memcpy(&header, block, sizeof header);
    if (header.pFiles < sizeof(DROPFILES) || header.pFiles > size)
        return false;
    std::size_t at = header.pFiles;
    if (header.fWide)
    {
        for (;;)
        {
            std::wstring name;
            WCHAR c = 0;
            while (at + sizeof c <= size && (std::memcpy(&c, block + at, sizeof c), at += sizeof c, c != 0))
                name.push_back(c);
            if (name.empty())
                return true;
            names.push_back(platform::WideToUtf8(name));
        }
    }
    for (;;)
    {
        const auto* start = reinterpret_cast<const char*>(block + at);
        const auto* end = static_cast<const char*>(std::memchr(start, 0, size - at));
        const std::size_t length = end ? static_cast<std::size_t>(end - start) : size - at;
        if (length == 0)
            return true;
        names.emplace_back(start, length);
        at += length + 1;
        if (at >= size)
            return true;
    }
}

QByteArray UriList(const std::vector<std::string>& paths)
{
    QByteArray list;
    for (const std::string& path : paths)
        list += QUrl::fromLocalFile(QString::fromStdString(path)).toEncoded() + "\r\n";
    return list;
}

std::vector<std::string> LocalFiles(const QByteArray& uriList)
{
    std::vector<std::string> paths;
    for (const QByteArray& line : uriList.split('\n'))
    {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(trimmed);
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

/// A CF_HDROP block with UTF-8 names; null when there are none or memory cannot be had.
HGLOBAL MakeDropFiles(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return nullptr;
    std::size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths)
        size += path.size() + 1;
    HGLOBAL block = GlobalAlloc(GHND, size);
    auto* p = static_cast<BYTE*>(GlobalLock(block));
    if (!p)
    {
        if (block)
            GlobalFree(block);
        return nullptr;
    }
    const DROPFILES header{sizeof(DROPFILES), {0, 0}, FALSE, FALSE};
    std::memcpy(p, &header, sizeof header);
    std::size_t at = sizeof(DROPFILES);
    for (const std::string& path : paths)
    {
        std::memcpy(p + at, path.c_str(), path.size() + 1);
        at += path.size() + 1;
    }
    GlobalUnlock(block);
    return block;
}

HGLOBAL MakeBlock(const QByteArray& bytes)
{
    HGLOBAL block = GlobalAlloc(GHND, static_cast<std::size_t>(bytes.size()));
    void* p = GlobalLock(block);
    if (!p)
    {
        if (block)
            GlobalFree(block);
        return nullptr;
    }
    std::memcpy(p, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    GlobalUnlock(block);
    return block;
}

bool ValidFormat(const FORMATETC* format)
{
    return format && (format->dwAspect == 0 || format->dwAspect == DVASPECT_CONTENT);
}

/// Formats kept by MIME type: either our own copies, or those of the drop being received (read when asked,
/// while the drop lasts).
class DataObject final : public platform::com::ComObject<IDataObject, IID_IDataObject, IID_OurDataObject>
{
public:
    DataObject() = default;
    explicit DataObject(const QMimeData* received)
        : m_received(const_cast<QMimeData*>(received)), m_live(true)
    {
    }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (!medium)
            return E_POINTER;
        *medium = STGMEDIUM{TYMED_NULL, nullptr, nullptr};
        if (!ValidFormat(format))
            return DV_E_DVASPECT;
        if (!(format->tymed & TYMED_HGLOBAL))
            return DV_E_TYMED;
        QByteArray bytes;
        if (!Find(format->cfFormat, bytes))
            return DV_E_FORMATETC;
        HGLOBAL block = format->cfFormat == CF_HDROP ? MakeDropFiles(LocalFiles(bytes)) : MakeBlock(bytes);
        if (!block)
            return format->cfFormat == CF_HDROP ? DV_E_FORMATETC : E_OUTOFMEMORY;
        *medium = STGMEDIUM{TYMED_HGLOBAL, block, nullptr};
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override
    {
        if (!ValidFormat(format))
            return DV_E_DVASPECT;
        QByteArray bytes;
        if (!Find(format->cfFormat, bytes) || (format->cfFormat == CF_HDROP && LocalFiles(bytes).empty()))
            return DV_E_FORMATETC;
        return S_OK;
    }
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override
    {
        if (!ValidFormat(format) || !medium)
            return E_INVALIDARG;
        if (medium->tymed != TYMED_HGLOBAL || !medium->hGlobal)
            return DV_E_TYMED;
        const std::string type = platform::shell::MimeTypeOfFormat(format->cfFormat);
        if (type.empty() || m_live)
            return DV_E_FORMATETC;
        const auto* p = static_cast<const BYTE*>(GlobalLock(medium->hGlobal));
        if (!p)
            return E_INVALIDARG;
        const std::size_t size = GlobalSize(medium->hGlobal);
        QByteArray bytes;
        bool read = true;
        if (format->cfFormat == CF_HDROP)
        {
            std::vector<std::string> names;
            read = ReadDropFiles(p, size, names);
            bytes = UriList(names);
        }
        else
            bytes = QByteArray(reinterpret_cast<const char*>(p), static_cast<qsizetype>(size));
        GlobalUnlock(medium->hGlobal);
        if (!read)
            return DV_E_FORMATETC;
        m_own[type] = bytes;
        if (release)
            ReleaseStgMedium(medium);
        return S_OK;
    }

    /// The formats as other programs see them.
    void Export(QMimeData& mime) const
    {
        for (const auto& [type, bytes] : m_own)
            mime.setData(QString::fromStdString(type), bytes);
    }
    /// The drop is over: what was not read by now cannot be any more.
    void EndOfDrop() { m_received = nullptr; }

    QImage dragImage;
    QPoint dragHotSpot;

private:
    ~DataObject() = default;

    bool Find(CLIPFORMAT format, QByteArray& bytes) const
    {
        const std::string type = platform::shell::MimeTypeOfFormat(format);
        if (type.empty())
            return false;
        if (m_live)
        {
            const QString name = QString::fromStdString(type);
            if (!m_received || !m_received->hasFormat(name))
                return false;
            bytes = m_received->data(name);
            return true;
        }
        auto it = m_own.find(type);
        if (it == m_own.end())
            return false;
        bytes = it->second;
        return true;
    }

    std::map<std::string, QByteArray> m_own;
    QPointer<QMimeData> m_received;
    bool m_live = false;
};

DataObject* Ours(IDataObject* data)
{
    void* ours = nullptr;
    if (!data || FAILED(data->QueryInterface(IID_OurDataObject, &ours)))
        return nullptr;
    data->Release(); // the caller holds the object; only its identity was asked
    return static_cast<DataObject*>(static_cast<IDataObject*>(ours));
}

/// The data a drag hands to other programs. A data object of another kind gives its file names.
void Export(IDataObject* data, QMimeData& mime)
{
    if (DataObject* ours = Ours(data))
    {
        ours->Export(mime);
        return;
    }
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium)))
        return;
    std::vector<std::string> names;
    if (const auto* p = static_cast<const BYTE*>(GlobalLock(medium.hGlobal)))
    {
        ReadDropFiles(p, GlobalSize(medium.hGlobal), names);
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    if (!names.empty())
        mime.setData(kUriList, UriList(names));
}

Qt::DropActions ToQt(DWORD effects)
{
    Qt::DropActions actions;
    if (effects & DROPEFFECT_COPY)
        actions |= Qt::CopyAction;
    if (effects & DROPEFFECT_MOVE)
        actions |= Qt::MoveAction;
    if (effects & DROPEFFECT_LINK)
        actions |= Qt::LinkAction;
    return actions;
}

DWORD FromQt(Qt::DropActions actions)
{
    DWORD effects = DROPEFFECT_NONE;
    if (actions & Qt::CopyAction)
        effects |= DROPEFFECT_COPY;
    if (actions & Qt::MoveAction)
        effects |= DROPEFFECT_MOVE;
    if (actions & Qt::LinkAction)
        effects |= DROPEFFECT_LINK;
    return effects;
}

/// One effect of those given: a target may name several, and a drop carries out one.
Qt::DropAction OneAction(DWORD effects)
{
    if (effects & DROPEFFECT_COPY)
        return Qt::CopyAction;
    if (effects & DROPEFFECT_MOVE)
        return Qt::MoveAction;
    if (effects & DROPEFFECT_LINK)
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

DWORD KeyState(const QDropEvent& e)
{
    DWORD keys = static_cast<DWORD>(platform::window::MouseKeys(e.buttons(), e.modifiers()));
    if (e.modifiers() & Qt::AltModifier)
        keys |= MK_ALT;
    return keys;
}

/// Feeds a window's drop target from the drop events of the window's widget. It holds the target's
/// reference and goes with the widget, or when the target is revoked.
class DropFilter final : public QObject
{
public:
    DropFilter(IDropTarget* target, QWidget* widget) : QObject(widget), m_target(target), m_widget(widget)
    {
        m_target->AddRef();
    }
    ~DropFilter() override
    {
        EndDrag();
        m_target->Release();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched != m_widget)
            return false;
        switch (e->type())
        {
        case QEvent::DragEnter:
        {
            auto* de = static_cast<QDragEnterEvent*>(e);
            EndDrag();
            m_data = new DataObject(de->mimeData());
            DWORD effect = FromQt(de->possibleActions());
            const HRESULT hr = m_target->DragEnter(m_data, KeyState(*de), Point(*de), &effect);
            Answer(*de, hr, effect);
            // The enter is taken whatever the answer, so that the moves that follow are asked too.
            de->accept();
            return true;
        }
        case QEvent::DragMove:
        {
            auto* de = static_cast<QDragMoveEvent*>(e);
            DWORD effect = FromQt(de->possibleActions());
            const HRESULT hr = m_target->DragOver(KeyState(*de), Point(*de), &effect);
            Answer(*de, hr, effect);
            return true;
        }
        case QEvent::DragLeave:
            m_target->DragLeave();
            EndDrag();
            return true;
        case QEvent::Drop:
        {
            auto* de = static_cast<QDropEvent*>(e);
            if (!m_data)
                m_data = new DataObject(de->mimeData());
            DWORD effect = FromQt(de->possibleActions());
            const HRESULT hr = m_target->Drop(m_data, KeyState(*de), Point(*de), &effect);
            Answer(*de, hr, effect);
            EndDrag();
            return true;
        }
        default:
            return false;
        }
    }

private:
    POINTL Point(const QDropEvent& e) const
    {
        const QPoint screen = m_widget->mapToGlobal(e.position().toPoint());
        return POINTL{screen.x(), screen.y()};
    }

    static void Answer(QDropEvent& e, HRESULT hr, DWORD effect)
    {
        const Qt::DropAction action =
            SUCCEEDED(hr) ? OneAction(effect & FromQt(e.possibleActions())) : Qt::IgnoreAction;
        e.setDropAction(action);
        if (action == Qt::IgnoreAction)
            e.ignore();
        else
            e.accept();
    }

    void EndDrag()
    {
        if (m_data)
        {
            m_data->EndOfDrop();
            m_data->Release();
            m_data = nullptr;
        }
    }

    IDropTarget* m_target;
    QWidget* m_widget;
    DataObject* m_data = nullptr;
};

// User-interface thread only, as the widgets.
std::map<HWND, QPointer<DropFilter>> g_targets;

/// The drag image object: the desktop draws drag images, so a target has nothing to do; a source's
/// picture goes with its data object to the drag.
class DragDropHelper final : public IDropTargetHelper, public IDragSourceHelper
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDropTargetHelper)
            *object = static_cast<IDropTargetHelper*>(this);
        else if (iid == IID_IDragSourceHelper)
            *object = static_cast<IDragSourceHelper*>(this);
        else
        {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    STDMETHODIMP DragEnter(HWND, IDataObject*, POINT*, DWORD) override { return S_OK; }
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP DragOver(POINT*, DWORD) override { return S_OK; }
    STDMETHODIMP Drop(IDataObject*, POINT*, DWORD) override { return S_OK; }
    STDMETHODIMP Show(BOOL) override { return S_OK; }

    STDMETHODIMP InitializeFromBitmap(SHDRAGIMAGE* image, IDataObject* data) override
    {
        DataObject* ours = Ours(data);
        if (!image || !ours)
            return E_INVALIDARG;
        BITMAP info{};
        if (!image->hbmpDragImage || !GetObject(image->hbmpDragImage, sizeof info, &info) ||
            info.bmWidth <= 0 || info.bmHeight == 0)
            return E_INVALIDARG;
        const int width = info.bmWidth;
        const int height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
        QImage picture(width, height, QImage::Format_ARGB32);
        BITMAPINFO bi = Dib32Info(width, -height);
        HDC dc = CreateCompatibleDC(nullptr);
        const int lines = GetDIBits(dc, image->hbmpDragImage, 0, static_cast<UINT>(height), picture.bits(),
                                    &bi, DIB_RGB_COLORS);
        DeleteDC(dc);
        if (lines <= 0)
            return E_FAIL;
        // The key colour is the picture's transparent part; other pixels are opaque.
        const QRgb key =
            qRgb(GetRValue(image->crColorKey), GetGValue(image->crColorKey), GetBValue(image->crColorKey));
        for (int y = 0; y < height; ++y)
        {
            auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < width; ++x)
                row[x] = (row[x] & 0xFFFFFF) == (key & 0xFFFFFF) ? 0 : (row[x] | 0xFF000000u);
        }
        ours->dragImage = picture;
        ours->dragHotSpot = QPoint(image->ptOffset.x, image->ptOffset.y);
        return S_OK;
    }
    STDMETHODIMP InitializeFromWindow(HWND, POINT*, IDataObject*) override { return E_NOTIMPL; }

private:
    ~DragDropHelper() = default;
    std::atomic<ULONG> m_refs{1};
};

HRESULT CreateDragDropHelper(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* helper = new DragDropHelper;
    const HRESULT hr = static_cast<IDropTargetHelper*>(helper)->QueryInterface(iid, object);
    static_cast<IDropTargetHelper*>(helper)->Release();
    return hr;
}

struct Registration
{
    Registration() { platform::com::RegisterBuiltinClass(CLSID_DragDropHelper, &CreateDragDropHelper); }
} g_registration;
} // namespace

void ReleaseStgMedium(STGMEDIUM* medium)
{
    if (!medium)
        return;
    if (medium->pUnkForRelease)
        medium->pUnkForRelease->Release();
    else if (medium->tymed == TYMED_HGLOBAL && medium->hGlobal)
        GlobalFree(medium->hGlobal);
    *medium = STGMEDIUM{TYMED_NULL, nullptr, nullptr};
}

HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD allowed, DWORD* effect)
{
    if (!data || !source || !effect)
        return E_INVALIDARG;
    *effect = DROPEFFECT_NONE;
    if (!platform::window::IsUserInterfaceThread() || !QApplication::instance())
        return E_UNEXPECTED;
    // The objects live until the drag is over, whatever the target does with them meanwhile.
    data->AddRef();
    source->AddRef();
    auto mime = std::make_unique<QMimeData>();
    Export(data, *mime);
    DWORD taken = DROPEFFECT_NONE;
    if (auto hook = g_dragHook)
        taken = hook(*mime, allowed) & allowed;
    else
    {
        QObject* from = QApplication::widgetAt(QCursor::pos());
        if (!from)
            from = QApplication::activeWindow();
        if (!from)
            from = QApplication::instance();
        QPointer<QDrag> drag = new QDrag(from);
        if (DataObject* ours = Ours(data); ours && !ours->dragImage.isNull())
        {
            drag->setPixmap(QPixmap::fromImage(ours->dragImage));
            drag->setHotSpot(ours->dragHotSpot);
        }
        drag->setMimeData(mime.release());
        taken = FromQt(drag->exec(ToQt(allowed), OneAction(allowed))) & allowed;
        if (drag)
            drag->deleteLater();
    }
    source->Release();
    data->Release();
    *effect = taken;
    return taken == DROPEFFECT_NONE ? DRAGDROP_S_CANCEL : DRAGDROP_S_DROP;
}

HRESULT RegisterDragDrop(HWND window, IDropTarget* target)
{
    if (!target)
        return E_INVALIDARG;
    HRESULT hr = DRAGDROP_E_INVALIDHWND;
    platform::window::CallOnUiThread(
        [&]
        {
            QWidget* widget = IsWindow(window) ? platform::window::HostWidgetOf(window) : nullptr;
            if (!widget)
                return;
            auto it = g_targets.find(window);
            if (it != g_targets.end() && it->second)
            {
                hr = DRAGDROP_E_ALREADYREGISTERED;
                return;
            }
            auto* filter = new DropFilter(target, widget);
            widget->installEventFilter(filter);
            widget->setAcceptDrops(true);
            g_targets[window] = filter;
            hr = S_OK;
        });
    return hr;
}

HRESULT RevokeDragDrop(HWND window)
{
    HRESULT hr = DRAGDROP_E_NOTREGISTERED;
    platform::window::CallOnUiThread(
        [&]
        {
            auto it = g_targets.find(window);
            if (it == g_targets.end())
                return;
            QPointer<DropFilter> filter = it->second;
            g_targets.erase(it);
            if (!filter)
                return;
            if (auto* widget = qobject_cast<QWidget*>(filter->parent()))
                widget->setAcceptDrops(false);
            delete filter.data();
            hr = S_OK;
        });
    return hr;
}

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR buffer, UINT size)
{
    const auto block = reinterpret_cast<HGLOBAL>(drop);
    const auto* p = static_cast<const BYTE*>(GlobalLock(block));
    if (!p)
        return 0;
    std::vector<std::string> names;
    const bool read = ReadDropFiles(p, GlobalSize(block), names);
    GlobalUnlock(block);
    if (!read)
        return 0;
    if (index == 0xFFFFFFFFu)
        return static_cast<UINT>(names.size());
    if (index >= names.size())
        return 0;
    const std::string& name = names[index];
    if (!buffer)
        return static_cast<UINT>(name.size());
    if (size == 0)
        return 0;
    return static_cast<UINT>(platform::CopyTruncated(buffer, size, name));
}

void DragFinish(HDROP drop)
{
    GlobalFree(reinterpret_cast<HGLOBAL>(drop));
}

namespace platform::shell
{
HRESULT CreateDataObject(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    auto* data = new DataObject;
    const HRESULT hr = data->QueryInterface(iid, object);
    data->Release();
    return hr;
}

std::string MimeTypeOfFormat(CLIPFORMAT format)
{
    if (format == CF_HDROP)
        return kUriList;
    char name[256];
    const int length = GetClipboardFormatNameA(format, name, sizeof name);
    return length > 0 ? "application/x-" + std::string(name, static_cast<std::size_t>(length))
                      : std::string();
}

void SetDragHook(std::function<DWORD(const QMimeData& data, DWORD allowed)> hook)
{
    g_dragHook = std::move(hook);
}
} // namespace platform::shell

// --- the class library ------------------------------------------------------------------------------------

COleDataObject::~COleDataObject()
{
    Release();
}

void COleDataObject::Attach(IDataObject* data, BOOL autoRelease)
{
    Release();
    m_lpDataObject = data;
    m_bAutoRelease = autoRelease;
}

IDataObject* COleDataObject::Detach()
{
    IDataObject* data = m_lpDataObject;
    m_lpDataObject = nullptr;
    return data;
}

void COleDataObject::Release()
{
    if (IDataObject* data = Detach(); data && m_bAutoRelease)
        data->Release();
}

BOOL COleDataObject::IsDataAvailable(CLIPFORMAT format, FORMATETC* formatEtc)
{
    if (!m_lpDataObject)
        return FALSE;
    FORMATETC asked =
        formatEtc ? *formatEtc : FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    asked.cfFormat = format;
    return m_lpDataObject->QueryGetData(&asked) == S_OK;
}

HGLOBAL COleDataObject::GetGlobalData(CLIPFORMAT format, FORMATETC* formatEtc)
{
    if (!m_lpDataObject)
        return nullptr;
    FORMATETC asked =
        formatEtc ? *formatEtc : FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    asked.cfFormat = format;
    STGMEDIUM medium{};
    if (FAILED(m_lpDataObject->GetData(&asked, &medium)))
        return nullptr;
    if (!medium.pUnkForRelease)
        return medium.hGlobal;
    // The block belongs to another object: the caller gets a copy of its own.
    HGLOBAL copy = nullptr;
    if (const void* p = GlobalLock(medium.hGlobal))
    {
        const std::size_t size = GlobalSize(medium.hGlobal);
        copy = GlobalAlloc(GMEM_MOVEABLE, size);
        if (void* q = GlobalLock(copy))
        {
            std::memcpy(q, p, size);
            GlobalUnlock(copy);
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return copy;
}

namespace
{
/// The drop source of the class library's drags: the desktop's drag loop decides, so it only agrees.
class DefaultDropSource final : public IDropSource
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDropSource)
        {
            *object = static_cast<IDropSource*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack of the drag.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP QueryContinueDrag(BOOL escapePressed, DWORD keyState) override
    {
        if (escapePressed)
            return DRAGDROP_S_CANCEL;
        return (keyState & (MK_LBUTTON | MK_RBUTTON)) ? S_OK : DRAGDROP_S_DROP;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};
} // namespace

COleDataSource::COleDataSource()
{
    platform::shell::CreateDataObject(IID_IDataObject, reinterpret_cast<void**>(&m_data));
}

COleDataSource::~COleDataSource()
{
    if (m_data)
        m_data->Release();
}

void COleDataSource::CacheGlobalData(CLIPFORMAT format, HGLOBAL block, FORMATETC* formatEtc)
{
    FORMATETC given =
        formatEtc ? *formatEtc : FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    given.cfFormat = format;
    STGMEDIUM medium{TYMED_HGLOBAL, block, nullptr};
    if (!m_data || FAILED(m_data->SetData(&given, &medium, TRUE)))
        GlobalFree(block); // the block is ours whatever becomes of it
}

DROPEFFECT COleDataSource::DoDragDrop(DWORD allowed, LPCRECT, IDropSource* source)
{
    if (!m_data)
        return DROPEFFECT_NONE;
    DefaultDropSource fallback;
    DWORD effect = DROPEFFECT_NONE;
    if (::DoDragDrop(m_data, source ? source : &fallback, allowed, &effect) != DRAGDROP_S_DROP)
        return DROPEFFECT_NONE;
    return effect;
}

/// The drop target a COleDropTarget registers: it turns the steps into calls of its virtual operations,
/// with client coordinates and a view of the data.
class COleDropTarget::Target final : public IDropTarget
{
public:
    explicit Target(COleDropTarget& owner) : m_owner(owner) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDropTarget)
        {
            *object = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Owned by the COleDropTarget, which revokes it before it goes.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override
    {
        if (!effect)
            return E_INVALIDARG;
        if (data)
            data->AddRef();
        m_data.Attach(data);
        *effect &= m_owner.OnDragEnter(Window(), &m_data, keyState, Client(point));
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD keyState, POINTL point, DWORD* effect) override
    {
        if (!effect)
            return E_INVALIDARG;
        *effect &= m_owner.OnDragOver(Window(), &m_data, keyState, Client(point));
        return S_OK;
    }
    STDMETHODIMP DragLeave() override
    {
        m_owner.OnDragLeave(Window());
        m_data.Release();
        return S_OK;
    }
    STDMETHODIMP Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override
    {
        if (!effect)
            return E_INVALIDARG;
        if (data)
            data->AddRef();
        m_data.Attach(data);
        // The effect of the drop is the one the target would take at this point.
        DROPEFFECT taken = *effect & m_owner.OnDragOver(Window(), &m_data, keyState, Client(point));
        if (taken != DROPEFFECT_NONE)
        {
            if (!m_owner.OnDrop(Window(), &m_data, taken, Client(point)))
                taken = DROPEFFECT_NONE;
        }
        else
            m_owner.OnDragLeave(Window());
        m_data.Release();
        *effect = taken;
        return S_OK;
    }

private:
    CWnd* Window() const { return CWnd::FromHandle(m_owner.m_hWnd); }
    CPoint Client(POINTL point) const
    {
        POINT p{point.x, point.y};
        ScreenToClient(m_owner.m_hWnd, &p);
        return CPoint(p);
    }

    COleDropTarget& m_owner;
    COleDataObject m_data;
};

COleDropTarget::COleDropTarget() : m_target(new Target(*this)) {}

COleDropTarget::~COleDropTarget()
{
    Revoke();
    delete m_target;
}

BOOL COleDropTarget::Register(CWnd* window)
{
    if (!window || m_hWnd || FAILED(RegisterDragDrop(window->GetSafeHwnd(), m_target)))
        return FALSE;
    m_hWnd = window->GetSafeHwnd();
    return TRUE;
}

void COleDropTarget::Revoke()
{
    if (!m_hWnd)
        return;
    RevokeDragDrop(m_hWnd);
    m_hWnd = nullptr;
}

DROPEFFECT COleDropTarget::OnDragEnter(CWnd*, COleDataObject*, DWORD, CPoint)
{
    return DROPEFFECT_NONE;
}

DROPEFFECT COleDropTarget::OnDragOver(CWnd*, COleDataObject*, DWORD, CPoint)
{
    return DROPEFFECT_NONE;
}

BOOL COleDropTarget::OnDrop(CWnd*, COleDataObject*, DROPEFFECT, CPoint)
{
    return FALSE;
}

void COleDropTarget::OnDragLeave(CWnd*) {}
