// Icons and cursors from a module's resources: group directories and their images (DIB or PNG), the
// shared handles that LoadIcon and LoadCursor hand out, and their Qt forms (window icons, pointer shapes).

#include "platform/resources/Resources.h"
#include "platform/win/LastError.h"
#include "platform/window/Extras.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WindowInternal.h"

#include <QCursor>
#include <QIcon>
#include <QPixmap>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

namespace
{
// Handles of ours start above the numbers of the standard icons and cursors (IDI_x, IDC_x).
constexpr std::uintptr_t kFirstHandle = 0x10000;
// SM_CXICON and SM_CXCURSOR: the size LoadIcon and LoadCursor pick.
constexpr int kSystemSize = 32;
// Icons and cursors are at most 256 pixels wide; anything far beyond that is not one.
constexpr int kMaxSide = 1024;
constexpr std::size_t kDirectoryHeader = 6;
constexpr std::size_t kDirectoryEntry = 14;
constexpr std::size_t kInfoHeader = 40;

struct IconObject
{
    bool icon = true;
    bool shared = false;
    QPoint hotSpot;
    QImage image;              // the picture at the system size, premultiplied ARGB
    std::vector<QImage> sizes; // one readable picture per size of the group, `image` included
};

struct Registry
{
    std::mutex lock;
    std::uintptr_t next = kFirstHandle;
    std::map<std::uintptr_t, std::shared_ptr<IconObject>> objects;
    // Loaded icons and cursors by module, group data and kind, with the group's bytes to tell a resource
    // apart from another that came to lie at the same address.
    std::map<std::tuple<HMODULE, const BYTE*, bool>, std::pair<std::uintptr_t, std::vector<BYTE>>> loaded;
};

Registry& GetRegistry()
{
    static Registry* registry = new Registry; // used until the very end of the process
    return *registry;
}

// Pointer shapes made from loaded cursors; user-interface thread only.
std::map<std::uintptr_t, QCursor>& QtCursors()
{
    static auto* cursors = new std::map<std::uintptr_t, QCursor>;
    return *cursors;
}

std::shared_ptr<IconObject> Lookup(const void* handle)
{
    const auto key = reinterpret_cast<std::uintptr_t>(handle);
    if (key < kFirstHandle)
        return nullptr;
    Registry& r = GetRegistry();
    std::lock_guard guard(r.lock);
    auto it = r.objects.find(key);
    return it == r.objects.end() ? nullptr : it->second;
}

WORD Word(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD Dword(const BYTE* p)
{
    return Word(p) | (static_cast<DWORD>(Word(p + 2)) << 16);
}

DWORD BigEndian(const BYTE* p)
{
    return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) |
           (static_cast<DWORD>(p[2]) << 8) | p[3];
}

struct GroupEntry
{
    int width = 0;
    int height = 0;
    int bitCount = 0;
    WORD id = 0;
};

/// The entries of a group directory: reserved word, kind (1 icon, 2 cursor), count, then 14 bytes per
/// image. Icon entries hold byte sizes (0 meaning 256); cursor entries hold word sizes, the height counting
/// the mask rows too.
bool ReadGroup(const BYTE* data, std::size_t size, bool icon, std::vector<GroupEntry>& entries)
{
    if (!data || size < kDirectoryHeader || Word(data) != 0 || Word(data + 2) != (icon ? 1 : 2))
        return false;
    const std::size_t count = Word(data + 4);
    if (count == 0 || (size - kDirectoryHeader) / kDirectoryEntry < count)
        return false;
    for (std::size_t i = 0; i < count; ++i)
    {
        const BYTE* p = data + kDirectoryHeader + i * kDirectoryEntry;
        GroupEntry e;
        if (icon)
        {
            e.width = p[0] ? p[0] : 256;
            e.height = p[1] ? p[1] : 256;
        }
        else
        {
            e.width = Word(p);
            e.height = Word(p + 2) / 2;
        }
        e.bitCount = Word(p + 6);
        e.id = Word(p + 12);
        entries.push_back(e);
    }
    return true;
}

/// The entry nearest the wanted size, the deepest of those.
std::size_t Choose(const std::vector<GroupEntry>& entries, int wanted)
{
    std::size_t best = 0;
    auto distance = [wanted](const GroupEntry& e)
    { return std::abs(e.width - wanted) + std::abs(e.height - wanted); };
    for (std::size_t i = 1; i < entries.size(); ++i)
    {
        const int d = distance(entries[i]);
        const int bestD = distance(entries[best]);
        if (d < bestD || (d == bestD && entries[i].bitCount > entries[best].bitCount))
            best = i;
    }
    return best;
}

QImage ReadPng(std::span<const BYTE> bytes)
{
    // The header's size is checked before the decoder is let loose on the rest.
    static const BYTE signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < 24 || std::memcmp(bytes.data(), signature, sizeof signature) != 0 ||
        std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
        return QImage();
    const DWORD width = BigEndian(bytes.data() + 16);
    const DWORD height = BigEndian(bytes.data() + 20);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
        return QImage();
    QImage image;
    if (!image.loadFromData(bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), INT32_MAX)),
                            "PNG") ||
        image.width() != static_cast<int>(width) || image.height() != static_cast<int>(height))
        return QImage();
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

/// An icon image in DIB form: the header (its height counts the colour rows and the mask rows), the
/// colour table, the colour rows and the mask rows, both bottom-up. A set mask bit is a transparent pixel;
/// a 32-bit image with any alpha carries its transparency in the alpha bytes instead.
QImage ReadDib(std::span<const BYTE> bytes)
{
    const BYTE* data = bytes.data();
    const std::size_t size = bytes.size();
    if (size < kInfoHeader)
        return QImage();
    const DWORD headerSize = Dword(data);
    const auto width = static_cast<LONG>(Dword(data + 4));
    const auto doubleHeight = static_cast<LONG>(Dword(data + 8));
    const int bitCount = Word(data + 14);
    const DWORD compression = Dword(data + 16);
    const DWORD coloursUsed = Dword(data + 32);
    if (headerSize < kInfoHeader || headerSize > size || width <= 0 || width > kMaxSide ||
        doubleHeight <= 0 || doubleHeight % 2 != 0 || doubleHeight / 2 > kMaxSide || compression != BI_RGB)
        return QImage();
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return QImage();
    if (coloursUsed > 256 || (bitCount <= 8 && coloursUsed > (1u << bitCount)))
        return QImage();
    const std::size_t colours =
        bitCount <= 8 ? (coloursUsed ? coloursUsed : (std::size_t{1} << bitCount)) : coloursUsed;
    const int height = doubleHeight / 2;
    const std::size_t table = headerSize;
    const std::size_t rows = table + colours * 4;
    const std::size_t colourStride = ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4;
    const std::size_t maskStride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
    const std::size_t maskAt = rows + colourStride * height;
    if (maskAt > size)
        return QImage();
    // A 32-bit image may leave its mask out; every other needs it.
    const bool hasMask = size - maskAt >= maskStride * height;
    if (!hasMask && bitCount != 32)
        return QImage();

    bool anyAlpha = false;
    if (bitCount == 32)
        for (std::size_t i = rows + 3; i < maskAt && !anyAlpha; i += 4)
            anyAlpha = data[i] != 0;
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
    {
        const std::size_t memoryRow = static_cast<std::size_t>(height - 1 - y);
        const BYTE* colour = data + rows + memoryRow * colourStride;
        const BYTE* mask = hasMask ? data + maskAt + memoryRow * maskStride : nullptr;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
        {
            const bool masked = mask && ((mask[x / 8] >> (7 - x % 8)) & 1);
            if (bitCount == 32)
            {
                const BYTE* p = colour + 4 * x;
                out[x] = qRgba(p[2], p[1], p[0], anyAlpha ? p[3] : (masked ? 0 : 255));
                continue;
            }
            if (bitCount == 24)
            {
                const BYTE* p = colour + 3 * x;
                out[x] = qRgba(p[2], p[1], p[0], masked ? 0 : 255);
                continue;
            }
            std::size_t index = 0;
            if (bitCount == 8)
                index = colour[x];
            else if (bitCount == 4)
                index = (colour[x / 2] >> ((1 - x % 2) * 4)) & 15;
            else
                index = (colour[x / 8] >> (7 - x % 8)) & 1;
            const BYTE* entry = index < colours ? data + table + index * 4 : nullptr;
            out[x] = entry ? qRgba(entry[2], entry[1], entry[0], masked ? 0 : 255)
                           : qRgba(0, 0, 0, masked ? 0 : 255);
        }
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

/// One image resource: a cursor's begins with its hot spot (two words). An icon's hot spot is its middle.
bool ReadImage(std::span<const BYTE> bytes, bool icon, QImage& image, QPoint& hotSpot)
{
    QPoint hot;
    if (!icon)
    {
        if (bytes.size() < 4)
            return false;
        hot = QPoint(Word(bytes.data()), Word(bytes.data() + 2));
        bytes = bytes.subspan(4);
    }
    static const BYTE png[] = {0x89, 'P', 'N', 'G'};
    const bool isPng = bytes.size() >= sizeof png && std::memcmp(bytes.data(), png, sizeof png) == 0;
    image = isPng ? ReadPng(bytes) : ReadDib(bytes);
    if (image.isNull())
        return false;
    hotSpot =
        icon ? QPoint(image.width() / 2, image.height() / 2)
             : QPoint(std::clamp(hot.x(), 0, image.width() - 1), std::clamp(hot.y(), 0, image.height() - 1));
    return true;
}

HICON Register(std::shared_ptr<IconObject> object)
{
    Registry& r = GetRegistry();
    std::lock_guard guard(r.lock);
    const std::uintptr_t handle = r.next++;
    r.objects.emplace(handle, std::move(object));
    return reinterpret_cast<HICON>(handle);
}

HICON LoadFromModule(HINSTANCE module, LPCSTR name, bool icon)
{
    HRSRC group = FindResourceA(module, name, icon ? RT_GROUP_ICON : RT_GROUP_CURSOR);
    if (!group)
        return nullptr;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    const DWORD size = SizeofResource(module, group);
    if (!data)
        return nullptr;
    const auto key = std::make_tuple(module, data, icon);
    Registry& r = GetRegistry();
    {
        std::lock_guard guard(r.lock);
        auto it = r.loaded.find(key);
        if (it != r.loaded.end() && it->second.second.size() == size &&
            std::equal(data, data + size, it->second.second.begin()))
            return reinterpret_cast<HICON>(it->second.first);
    }
    HICON made = platform::window::CreateIconFromGroup(
        data, size, icon,
        [&](WORD id) -> std::span<const BYTE>
        {
            HRSRC image = FindResourceA(module, MAKEINTRESOURCE(id), icon ? RT_ICON : RT_CURSOR);
            if (!image)
                return {};
            const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, image)));
            return bytes ? std::span<const BYTE>(bytes, SizeofResource(module, image))
                         : std::span<const BYTE>();
        });
    if (!made)
        return nullptr;
    std::lock_guard guard(r.lock);
    auto& slot = r.loaded[key];
    if (slot.first && r.objects.count(slot.first) && slot.second.size() == size &&
        std::equal(data, data + size, slot.second.begin()))
    {
        // Another thread loaded it meanwhile.
        r.objects.erase(reinterpret_cast<std::uintptr_t>(made));
        return reinterpret_cast<HICON>(slot.first);
    }
    r.objects[reinterpret_cast<std::uintptr_t>(made)]->shared = true;
    slot = {reinterpret_cast<std::uintptr_t>(made), std::vector<BYTE>(data, data + size)};
    return made;
}

/// The picture at cx x cy (0: the icon's own size), from the nearest of its sizes, the larger one on a tie.
QImage Picture(const IconObject& object, int cx, int cy)
{
    const int width = cx > 0 ? cx : object.image.width();
    const int height = cy > 0 ? cy : object.image.height();
    const QImage* best = &object.image;
    auto distance = [&](const QImage& p)
    { return std::abs(p.width() - width) + std::abs(p.height() - height); };
    for (const QImage& p : object.sizes)
        if (distance(p) < distance(*best) || (distance(p) == distance(*best) && p.width() > best->width()))
            best = &p;
    if (best->width() == width && best->height() == height)
        return *best;
    return best->scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

/// A bitmap's pixels as 32-bit ARGB, top row first, with whether its alpha channel carries anything (a
/// 32-bit bitmap whose alpha is zero everywhere has none); without alpha every pixel is opaque.
QImage ReadBitmap(HBITMAP bitmap, bool& hasAlpha)
{
    hasAlpha = false;
    BITMAP info{};
    if (!bitmap || !GetObject(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight == 0 ||
        info.bmWidth > kMaxSide || std::abs(info.bmHeight) > kMaxSide)
        return QImage();
    const int height = std::abs(info.bmHeight);
    QImage picture(info.bmWidth, height, QImage::Format_ARGB32);
    BITMAPINFO bi = Dib32Info(info.bmWidth, -height);
    HDC dc = CreateCompatibleDC(nullptr);
    const int lines =
        GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), picture.bits(), &bi, DIB_RGB_COLORS);
    DeleteDC(dc);
    if (lines <= 0)
        return QImage();
    for (int y = 0; y < height && info.bmBitsPixel == 32 && !hasAlpha; ++y)
    {
        const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        hasAlpha = std::any_of(row, row + info.bmWidth, [](QRgb p) { return qAlpha(p) != 0; });
    }
    if (!hasAlpha)
        for (int y = 0; y < height; ++y)
        {
            auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < info.bmWidth; ++x)
                row[x] |= 0xFF000000u;
        }
    return picture;
}

/// A DIB section of the picture's size holding its pixels, selected into a new memory DC.
struct PictureDc
{
    explicit PictureDc(const QImage& picture)
    {
        BITMAPINFO bi = Dib32Info(picture.width(), -picture.height());
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        if (!bitmap || !bits || !dc)
            return;
        for (int y = 0; y < picture.height(); ++y)
            std::memcpy(static_cast<BYTE*>(bits) + static_cast<std::size_t>(y) * picture.width() * 4,
                        picture.constScanLine(y), static_cast<std::size_t>(picture.width()) * 4);
        old = SelectObject(dc, bitmap);
        ready = true;
    }
    ~PictureDc()
    {
        if (old)
            SelectObject(dc, old);
        if (dc)
            DeleteDC(dc);
        if (bitmap)
            DeleteObject(bitmap);
    }
    PictureDc(const PictureDc&) = delete;
    PictureDc& operator=(const PictureDc&) = delete;

    HBITMAP bitmap = nullptr;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
    bool ready = false;
};

BOOL Destroy(const void* handle, DWORD invalidError)
{
    const auto key = reinterpret_cast<std::uintptr_t>(handle);
    if (key && key < kFirstHandle)
        return TRUE; // a standard icon or cursor
    Registry& r = GetRegistry();
    {
        std::lock_guard guard(r.lock);
        auto it = r.objects.find(key);
        if (it == r.objects.end())
        {
            SetLastError(invalidError);
            return FALSE;
        }
        if (!it->second->shared)
            r.objects.erase(it);
    }
    if (platform::window::detail::IsUiThread())
        QtCursors().erase(key);
    return TRUE;
}
} // namespace

namespace platform::window
{
HICON CreateIconFromGroup(const BYTE* group, std::size_t size, BOOL icon,
                          const std::function<std::span<const BYTE>(WORD id)>& image)
{
    std::vector<GroupEntry> entries;
    if (!ReadGroup(group, size, icon != FALSE, entries) || !image)
    {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    auto object = std::make_shared<IconObject>();
    object->icon = icon != FALSE;
    const std::size_t chosen = Choose(entries, kSystemSize);
    const std::span<const BYTE> chosenBytes = image(entries[chosen].id);
    if (chosenBytes.empty())
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    if (!ReadImage(chosenBytes, object->icon, object->image, object->hotSpot))
    {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    // The other sizes are extras for the window system: one per size, the deepest readable one.
    object->sizes.push_back(object->image);
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return entries[a].bitCount > entries[b].bitCount; });
    for (std::size_t i : order)
    {
        if (i == chosen)
            continue;
        QImage extra;
        QPoint ignored;
        if (!ReadImage(image(entries[i].id), object->icon, extra, ignored))
            continue;
        const bool known = std::any_of(object->sizes.begin(), object->sizes.end(),
                                       [&](const QImage& s) { return s.size() == extra.size(); });
        if (!known)
            object->sizes.push_back(extra);
    }
    return Register(std::move(object));
}

bool IconPixels(HICON icon, int cx, int cy, std::vector<std::uint32_t>& pixels, int& width, int& height)
{
    auto object = Lookup(icon);
    if (!object)
        return false;
    const QImage picture = Picture(*object, cx, cy);
    width = picture.width();
    height = picture.height();
    pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(pixels.data() + static_cast<std::size_t>(y) * width, picture.constScanLine(y),
                    static_cast<std::size_t>(width) * 4);
    return true;
}

namespace detail
{
std::optional<QCursor> LoadedCursorShape(HCURSOR cursor)
{
    const auto key = reinterpret_cast<std::uintptr_t>(cursor);
    auto& cursors = QtCursors();
    if (auto it = cursors.find(key); it != cursors.end())
        return it->second;
    auto object = Lookup(cursor);
    if (!object)
        return std::nullopt;
    QCursor shape(QPixmap::fromImage(object->image), object->hotSpot.x(), object->hotSpot.y());
    cursors.emplace(key, shape);
    return shape;
}

QIcon WindowIconOf(HICON big, HICON small)
{
    QIcon shown;
    std::vector<QSize> added;
    for (HICON handle : {big, small})
        if (auto object = Lookup(handle))
            for (const QImage& picture : object->sizes)
                if (std::find(added.begin(), added.end(), picture.size()) == added.end())
                {
                    added.push_back(picture.size());
                    shown.addPixmap(QPixmap::fromImage(picture));
                }
    return shown;
}
} // namespace detail
} // namespace platform::window

HICON LoadIcon(HINSTANCE instance, LPCSTR name)
{
    if (instance)
        return LoadFromModule(instance, name, true);
    if (!IS_INTRESOURCE(name))
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HICON>(reinterpret_cast<std::uintptr_t>(name));
}

HCURSOR LoadCursor(HINSTANCE instance, LPCSTR name)
{
    if (instance)
        return reinterpret_cast<HCURSOR>(LoadFromModule(instance, name, false));
    const auto id = reinterpret_cast<std::uintptr_t>(name);
    if (!IS_INTRESOURCE(name) || id < 32512 || id > 32651)
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HCURSOR>(id);
}

BOOL DestroyIcon(HICON icon)
{
    return Destroy(icon, ERROR_INVALID_ICON_HANDLE);
}

BOOL DestroyCursor(HCURSOR cursor)
{
    return Destroy(cursor, ERROR_INVALID_CURSOR_HANDLE);
}

HICON CreateIconIndirect(PICONINFO info)
{
    bool hasAlpha = false;
    QImage colour = info ? ReadBitmap(info->hbmColor, hasAlpha) : QImage();
    if (colour.isNull())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool ignored = false;
    const QImage mask = hasAlpha ? QImage() : ReadBitmap(info->hbmMask, ignored);
    // A picture with colour above its alpha somewhere has straight alpha; a premultiplied one never does.
    bool straight = false;
    for (int y = 0; y < colour.height() && hasAlpha && !straight; ++y)
    {
        const auto* row = reinterpret_cast<const QRgb*>(colour.constScanLine(y));
        straight = std::any_of(
            row, row + colour.width(),
            [](QRgb p) { return qRed(p) > qAlpha(p) || qGreen(p) > qAlpha(p) || qBlue(p) > qAlpha(p); });
    }
    for (int y = 0; y < colour.height(); ++y)
    {
        auto* row = reinterpret_cast<QRgb*>(colour.scanLine(y));
        const auto* maskRow =
            y < mask.height() ? reinterpret_cast<const QRgb*>(mask.constScanLine(y)) : nullptr;
        for (int x = 0; x < colour.width(); ++x)
        {
            if (straight)
                row[x] = qPremultiply(row[x]);
            else if (maskRow && x < mask.width() && (maskRow[x] & 0xFFFFFF) != 0)
                row[x] = 0;
        }
    }
    if (!colour.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<IconObject>();
    object->icon = info->fIcon != FALSE;
    object->image = colour;
    object->hotSpot = object->icon
                          ? QPoint(colour.width() / 2, colour.height() / 2)
                          : QPoint(std::clamp<int>(static_cast<int>(info->xHotspot), 0, colour.width() - 1),
                                   std::clamp<int>(static_cast<int>(info->yHotspot), 0, colour.height() - 1));
    object->sizes.push_back(object->image);
    return Register(std::move(object));
}

BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int cx, int cy, UINT, HBRUSH background, UINT flags)
{
    auto object = Lookup(icon);
    if (!object || !dc)
    {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_ICON_HANDLE);
        return FALSE;
    }
    if (flags & DI_DEFAULTSIZE)
    {
        cx = cx > 0 ? cx : kSystemSize;
        cy = cy > 0 ? cy : kSystemSize;
    }
    QImage picture = Picture(*object, cx, cy);
    const int width = picture.width();
    const int height = picture.height();
    if (background)
    {
        const RECT area{x, y, x + width, y + height};
        FillRect(dc, &area, background);
    }
    const UINT parts = flags & DI_NORMAL;
    if (parts == DI_IMAGE || parts == DI_MASK)
    {
        // One part alone is raster work: the colours over black, or the mask as black and white.
        for (int row = 0; row < height; ++row)
        {
            auto* p = reinterpret_cast<QRgb*>(picture.scanLine(row));
            for (int col = 0; col < width; ++col)
                p[col] =
                    parts == DI_IMAGE ? (p[col] | 0xFF000000u) : (qAlpha(p[col]) ? 0xFF000000u : 0xFFFFFFFFu);
        }
        PictureDc source(picture);
        return source.ready &&
               BitBlt(dc, x, y, width, height, source.dc, 0, 0, parts == DI_IMAGE ? SRCCOPY : SRCAND);
    }
    if (parts == 0)
        return TRUE;
    PictureDc source(picture);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return source.ready && AlphaBlend(dc, x, y, width, height, source.dc, 0, 0, width, height, blend);
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon)
{
    return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
}

BOOL GetIconInfo(HICON icon, PICONINFO info)
{
    auto object = Lookup(icon);
    if (!object)
    {
        SetLastError(ERROR_INVALID_ICON_HANDLE);
        return FALSE;
    }
    if (!info)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const QImage& picture = object->image;
    const int width = picture.width();
    const int height = picture.height();
    BITMAPINFO bmi = Dib32Info(width, -height);
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    // Monochrome bitmap rows are aligned to 16 bits.
    const std::size_t maskStride = ((static_cast<std::size_t>(width) + 15) / 16) * 2;
    std::vector<BYTE> maskBits(maskStride * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y)
    {
        const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        if (bits)
            std::memcpy(static_cast<BYTE*>(bits) + static_cast<std::size_t>(y) * width * 4, row,
                        static_cast<std::size_t>(width) * 4);
        for (int x = 0; x < width; ++x)
            if (qAlpha(row[x]) == 0)
                maskBits[static_cast<std::size_t>(y) * maskStride + x / 8] |=
                    static_cast<BYTE>(0x80 >> (x % 8));
    }
    HBITMAP mask = CreateBitmap(width, height, 1, 1, maskBits.data());
    if (!colour || !bits || !mask)
    {
        if (colour)
            DeleteObject(colour);
        if (mask)
            DeleteObject(mask);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    info->fIcon = object->icon ? TRUE : FALSE;
    info->xHotspot = static_cast<DWORD>(object->hotSpot.x());
    info->yHotspot = static_cast<DWORD>(object->hotSpot.y());
    info->hbmMask = mask;
    info->hbmColor = colour;
    return TRUE;
}
