#include "platform/shell/FileInfo.h"
#include "platform/shell/ShellInternal.h"
#include "platform/window/Extras.h"
#include "platform/window/WinGdi.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace
{
using namespace platform::shell;

enum class Fallback
{
    Folder,
    OpenFolder,
    File,
    Picture,
    Video,
    LinkOverlay
};

/// What an item looks like: the theme's icon names to try, best first, and our own picture.
struct IconChoice
{
    std::vector<QString> names;
    Fallback fallback;
};

/// Our own pictures, drawn on a 16-unit grid and scaled to the list's size: plain shapes in the colours
/// of the program's skin.
QImage DrawFallback(Fallback kind, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    const QPen outline(QColor(0x55, 0x5B, 0x66), 1.0);
    switch (kind)
    {
    case Fallback::Folder:
    case Fallback::OpenFolder:
    {
        p.setPen(QPen(QColor(0xA8, 0x74, 0x1A), 1.0));
        p.setBrush(QColor(0xE3, 0xA8, 0x3C));
        QPainterPath back;
        back.moveTo(1.5, 3.5);
        back.lineTo(6.0, 3.5);
        back.lineTo(7.5, 5.0);
        back.lineTo(14.5, 5.0);
        back.lineTo(14.5, 13.5);
        back.lineTo(1.5, 13.5);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(0xF6, 0xC9, 0x6A));
        if (kind == Fallback::Folder)
            p.drawRect(QRectF(1.5, 6.5, 13.0, 7.0));
        else
        {
            QPolygonF front;
            front << QPointF(3.5, 7.5) << QPointF(15.5, 7.5) << QPointF(13.5, 13.5) << QPointF(1.5, 13.5);
            p.drawPolygon(front);
        }
        break;
    }
    case Fallback::File:
    case Fallback::Picture:
    {
        p.setPen(outline);
        p.setBrush(Qt::white);
        QPainterPath page;
        page.moveTo(3.5, 1.5);
        page.lineTo(10.0, 1.5);
        page.lineTo(12.5, 4.0);
        page.lineTo(12.5, 14.5);
        page.lineTo(3.5, 14.5);
        page.closeSubpath();
        p.drawPath(page);
        if (kind == Fallback::File)
        {
            p.setPen(QPen(QColor(0xA0, 0xA6, 0xB0), 1.0));
            for (double y : {6.5, 8.5, 10.5, 12.5})
                p.drawLine(QPointF(5.0, y), QPointF(11.0, y));
            break;
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x6F, 0xB3, 0xE8));
        p.drawRect(QRectF(4.0, 5.0, 8.0, 9.0));
        p.setBrush(QColor(0x4C, 0xA0, 0x4A));
        QPolygonF hill;
        hill << QPointF(4.0, 14.0) << QPointF(7.5, 9.0) << QPointF(10.0, 11.5) << QPointF(12.0, 10.0)
             << QPointF(12.0, 14.0);
        p.drawPolygon(hill);
        p.setBrush(QColor(0xF5, 0xD0, 0x3B));
        p.drawEllipse(QPointF(9.5, 7.0), 1.3, 1.3);
        break;
    }
    case Fallback::LinkOverlay:
    {
        // A small curved arrow in the lower left corner, over whatever icon it marks.
        p.setPen(QPen(QColor(0x55, 0x5B, 0x66), 1.0));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(0.5, 8.5, 7.0, 7.0));
        p.setPen(QPen(QColor(0x1F, 0x5F, 0xB8), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath arrow;
        arrow.moveTo(2.3, 14.0);
        arrow.quadTo(2.3, 10.8, 5.8, 10.6);
        p.drawPath(arrow);
        p.drawLine(QPointF(4.4, 9.4), QPointF(5.9, 10.6));
        p.drawLine(QPointF(4.4, 11.9), QPointF(5.9, 10.6));
        break;
    }
    case Fallback::Video:
    {
        p.setPen(outline);
        p.setBrush(QColor(0x34, 0x3A, 0x44));
        p.drawRoundedRect(QRectF(1.5, 2.5, 13.0, 11.0), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xD8, 0xDC, 0xE2));
        for (double x : {2.5, 5.5, 8.5, 11.5})
        {
            p.drawRect(QRectF(x, 3.3, 1.6, 1.2));
            p.drawRect(QRectF(x, 11.5, 1.6, 1.2));
        }
        p.setBrush(QColor(0xF2, 0x6B, 0x3A));
        QPolygonF play;
        play << QPointF(6.5, 5.5) << QPointF(10.5, 8.0) << QPointF(6.5, 10.5);
        p.drawPolygon(play);
        break;
    }
    }
    return image;
}

/// A theme icon at exactly `size`, centred; null when the theme cannot draw it.
QImage ThemeImage(const QString& name, int size)
{
    const QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull())
        return {};
    QImage picture = icon.pixmap(QSize(size, size)).toImage();
    if (picture.isNull())
        return {};
    picture.setDevicePixelRatio(1.0);
    if (picture.width() > size || picture.height() > size)
        picture = picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.drawImage((size - picture.width()) / 2, (size - picture.height()) / 2, picture);
    return image;
}

HBITMAP BitmapOf(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    return CreateBitmap(argb.width(), argb.height(), 1, 32, argb.constBits());
}

class SystemImageList
{
public:
    static SystemImageList& Instance()
    {
        // Never destroyed: controls hold the handles until the very end of the process.
        static auto* list = new SystemImageList;
        return *list;
    }

    /// The index of the icon, adding it the first time; -1 when it cannot be added.
    int IndexOf(const IconChoice& choice, bool small, HIMAGELIST& list)
    {
        std::lock_guard lock(m_lock);
        Lists& lists = small ? m_small : m_large;
        list = lists.handle;
        if (!list)
            return -1;
        const int size = small ? 16 : 32;
        QImage picture;
        std::string key;
        const bool theme = qGuiApp && platform::window::IsUserInterfaceThread();
        for (const QString& name : choice.names)
        {
            const std::string themed = "theme:" + name.toStdString();
            if (auto found = lists.indexes.find(themed); found != lists.indexes.end())
                return found->second;
            if (!theme || !QIcon::hasThemeIcon(name))
                continue;
            picture = ThemeImage(name, size);
            if (!picture.isNull())
            {
                key = themed;
                break;
            }
        }
        if (picture.isNull())
        {
            key = "own:" + std::to_string(static_cast<int>(choice.fallback));
            if (auto found = lists.indexes.find(key); found != lists.indexes.end())
                return found->second;
            picture = DrawFallback(choice.fallback, size);
        }
        HBITMAP bitmap = BitmapOf(picture);
        const int index = bitmap ? ImageList_Add(list, bitmap, nullptr) : -1;
        DeleteObject(bitmap);
        if (index >= 0)
            lists.indexes.emplace(key, index);
        return index;
    }

    void Reload()
    {
        std::lock_guard lock(m_lock);
        for (Lists* lists : {&m_small, &m_large})
        {
            ImageList_RemoveAll(lists->handle);
            lists->indexes.clear();
        }
        AddOverlays();
    }

private:
    struct Lists
    {
        HIMAGELIST handle = nullptr;
        std::map<std::string, int> indexes;
    };

    SystemImageList()
    {
        m_small.handle = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 16);
        m_large.handle = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 0, 16);
        AddOverlays();
    }

    /// Overlay 2 marks symbolic links, as items with the link state show it.
    void AddOverlays()
    {
        for (auto [lists, size] : {std::pair{&m_small, 16}, std::pair{&m_large, 32}})
        {
            HBITMAP bitmap = BitmapOf(DrawFallback(Fallback::LinkOverlay, size));
            const int index = bitmap ? ImageList_Add(lists->handle, bitmap, nullptr) : -1;
            DeleteObject(bitmap);
            if (index >= 0)
                ImageList_SetOverlayImage(lists->handle, index, 2);
        }
    }

    std::mutex m_lock;
    Lists m_small;
    Lists m_large;
};

/// The icon of a file by its name alone, as the MIME database tells it from the extension.
IconChoice FileIcon(const QMimeType& mime)
{
    IconChoice choice{{mime.iconName(), mime.genericIconName(), QStringLiteral("text-x-generic")},
                      Fallback::File};
    const QString name = mime.name();
    if (name.startsWith("image/"))
        choice.fallback = Fallback::Picture;
    else if (name.startsWith("video/"))
        choice.fallback = Fallback::Video;
    return choice;
}

void CopyText(char* field, std::size_t size, const std::string& text)
{
    std::size_t length = std::min(text.size(), size - 1);
    while (length > 0 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}
} // namespace

DWORD_PTR SHGetFileInfoA(LPCSTR path, DWORD attributes, SHFILEINFOA* info, UINT infoSize, UINT flags)
{
    if (!path || (info && infoSize < sizeof(SHFILEINFOA)))
        return 0;
    std::string fullPath;
    std::string displayName;
    std::string specialIcon;
    bool folder = false;
    if (flags & SHGFI_PIDL)
    {
        const auto* list = reinterpret_cast<LPCITEMIDLIST>(path);
        if (list->mkid.cb == 0)
        {
            folder = true;
            displayName = "Desktop";
            specialIcon = "user-desktop";
        }
        else
        {
            bool lastIsRoot = false;
            if (!detail::AppendIDListToPath({}, list, fullPath, &lastIsRoot))
                return 0;
            struct stat st;
            if (stat(fullPath.c_str(), &st) != 0 && lstat(fullPath.c_str(), &st) != 0)
                return 0;
            folder = S_ISDIR(st.st_mode);
            displayName = detail::LastComponent(fullPath);
            if (lastIsRoot)
            {
                const auto roots = detail::DesktopRoots();
                if (const auto* root = detail::FindRoot(roots, fullPath))
                {
                    displayName = root->displayName;
                    specialIcon = root->iconName;
                }
            }
        }
    }
    else if (flags & SHGFI_USEFILEATTRIBUTES)
    {
        fullPath = path;
        folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const auto slash = fullPath.rfind('/');
        displayName = slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
    }
    else
    {
        fullPath = path;
        struct stat st;
        if (stat(fullPath.c_str(), &st) != 0 && lstat(fullPath.c_str(), &st) != 0)
            return 0;
        folder = S_ISDIR(st.st_mode);
        const auto slash = fullPath.rfind('/');
        displayName = slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
    }

    QMimeType mime;
    if (!folder)
        mime = QMimeDatabase().mimeTypeForFile(QString::fromStdString(displayName),
                                               QMimeDatabase::MatchExtension);
    if (info)
    {
        info->hIcon = nullptr;
        if (flags & SHGFI_DISPLAYNAME)
            CopyText(info->szDisplayName, sizeof info->szDisplayName, displayName);
        if (flags & SHGFI_TYPENAME)
            CopyText(info->szTypeName, sizeof info->szTypeName,
                     folder ? "Folder" : mime.comment().toStdString());
    }
    if (!(flags & (SHGFI_SYSICONINDEX | SHGFI_ICON)))
        return 1;

    IconChoice choice;
    if (folder)
    {
        const bool open = (flags & SHGFI_OPENICON) != 0;
        choice.fallback = open ? Fallback::OpenFolder : Fallback::Folder;
        if (!specialIcon.empty())
            choice.names.push_back(QString::fromStdString(specialIcon));
        choice.names.push_back(QString::fromLatin1(open ? "folder-open" : "folder"));
    }
    else
        choice = FileIcon(mime);
    HIMAGELIST list = nullptr;
    const int index = SystemImageList::Instance().IndexOf(choice, (flags & SHGFI_SMALLICON) != 0, list);
    if (index < 0)
        return 0;
    if (info)
    {
        info->iIcon = index;
        if (flags & SHGFI_ICON)
            info->hIcon = ImageList_GetIcon(list, index, ILD_NORMAL);
    }
    if (!(flags & SHGFI_SYSICONINDEX))
        return 1;
    return reinterpret_cast<DWORD_PTR>(list);
}

namespace platform::shell
{
void ReloadSystemIcons()
{
    SystemImageList::Instance().Reload();
}
} // namespace platform::shell
