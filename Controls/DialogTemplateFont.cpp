#include "Controls/DialogTemplateFont.h"

#include "platform/resources/Resources.h"
#include "platform/win/CString.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace
{
/// Reads a dialog template within its resource's size; every read past the end fails.
class TemplateReader
{
public:
    TemplateReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t Offset() const noexcept { return m_offset; }
    bool Seek(std::size_t offset)
    {
        if (offset > m_size)
            return false;
        m_offset = offset;
        return true;
    }
    bool AlignDword() { return Seek((m_offset + 3) & ~std::size_t(3)); }
    template <class T> std::optional<T> Read()
    {
        if (m_size - m_offset < sizeof(T))
            return std::nullopt;
        T value;
        std::memcpy(&value, m_data + m_offset, sizeof(T));
        m_offset += sizeof(T);
        return value;
    }
    /// A zero-terminated UTF-16 string, as UTF-8.
    std::optional<std::string> ReadString()
    {
        std::u16string text;
        for (;;)
        {
            auto c = Read<WORD>();
            if (!c)
                return std::nullopt;
            if (*c == 0)
                break;
            text += static_cast<char16_t>(*c);
        }
        return platform::Utf16ToUtf8(text);
    }
    /// A menu, class or title field: none (0), an ordinal (0xFFFF + word) or a string. True when present.
    std::optional<bool> SkipNameOrOrdinal()
    {
        auto first = Read<WORD>();
        if (!first)
            return std::nullopt;
        if (*first == 0)
            return false;
        if (*first == 0xFFFF)
            return Read<WORD>() ? std::optional<bool>(true) : std::nullopt;
        m_offset -= sizeof(WORD);
        return ReadString() ? std::optional<bool>(true) : std::nullopt;
    }

private:
    const BYTE* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
};

struct TemplateItem
{
    DWORD id;
    short x, y, cx, cy;
};

struct ParsedTemplate
{
    DWORD style = 0;
    DWORD exStyle = 0;
    bool hasMenu = false;
    short cx = 0;
    short cy = 0;
    int pointSize = 8;
    int weight = FW_NORMAL;
    bool italic = false;
    std::string face = "Tahoma";
    std::vector<TemplateItem> items; // as many as could be read
};

std::optional<ParsedTemplate> Parse(const BYTE* data, std::size_t size)
{
    TemplateReader r(data, size);
    ParsedTemplate t;
    auto signature = r.Read<DWORD>();
    if (!signature)
        return std::nullopt;
    const bool extended = *signature == 0xFFFF0001;
    WORD count = 0;
    if (extended)
    {
        auto help = r.Read<DWORD>();
        auto exStyle = r.Read<DWORD>();
        auto style = r.Read<DWORD>();
        auto items = r.Read<WORD>();
        if (!help || !exStyle || !style || !items)
            return std::nullopt;
        t.exStyle = *exStyle;
        t.style = *style;
        count = *items;
    }
    else
    {
        r.Seek(0);
        auto style = r.Read<DWORD>();
        auto exStyle = r.Read<DWORD>();
        auto items = r.Read<WORD>();
        if (!style || !exStyle || !items)
            return std::nullopt;
        t.style = *style;
        t.exStyle = *exStyle;
        count = *items;
    }
    auto x = r.Read<short>();
    auto y = r.Read<short>();
    auto cx = r.Read<short>();
    auto cy = r.Read<short>();
    if (!x || !y || !cx || !cy)
        return std::nullopt;
    t.cx = *cx;
    t.cy = *cy;
    auto menu = r.SkipNameOrOrdinal();
    if (!menu || !r.SkipNameOrOrdinal() || !r.ReadString())
        return std::nullopt;
    t.hasMenu = *menu;
    if (t.style & DS_SETFONT)
    {
        auto points = r.Read<WORD>();
        if (!points)
            return std::nullopt;
        // A value above 0x7FFF stands for a negative size; its magnitude is used.
        t.pointSize = *points > 0x7FFF ? 0x10000 - *points : *points;
        t.weight = 0;
        t.italic = false;
        if (extended)
        {
            auto weight = r.Read<WORD>();
            auto italic = r.Read<BYTE>();
            auto charset = r.Read<BYTE>();
            if (!weight || !italic || !charset)
                return std::nullopt;
            t.weight = *weight;
            t.italic = *italic != 0;
        }
        auto face = r.ReadString();
        if (!face)
            return std::nullopt;
        t.face = *face;
    }
    for (WORD i = 0; i < count; ++i)
    {
        if (!r.AlignDword())
            break;
        TemplateItem item{};
        if (extended)
        {
            auto help = r.Read<DWORD>();
            auto exStyle = r.Read<DWORD>();
            auto style = r.Read<DWORD>();
            if (!help || !exStyle || !style)
                break;
        }
        else
        {
            auto style = r.Read<DWORD>();
            auto exStyle = r.Read<DWORD>();
            if (!style || !exStyle)
                break;
        }
        auto ix = r.Read<short>();
        auto iy = r.Read<short>();
        auto icx = r.Read<short>();
        auto icy = r.Read<short>();
        if (!ix || !iy || !icx || !icy)
            break;
        if (extended)
        {
            auto id = r.Read<DWORD>();
            if (!id)
                break;
            item.id = *id;
        }
        else
        {
            auto id = r.Read<WORD>();
            if (!id)
                break;
            item.id = *id;
        }
        item.x = *ix;
        item.y = *iy;
        item.cx = *icx;
        item.cy = *icy;
        if (!r.SkipNameOrOrdinal() || !r.SkipNameOrOrdinal())
            break;
        auto extra = r.Read<WORD>();
        if (!extra || !r.Seek(r.Offset() + *extra))
            break;
        t.items.push_back(item);
    }
    return t;
}

/// The template's controls with their windows: each found from the window after the previous one; the
/// walk ends at the first control the dialog lacks.
template <class F> void WalkItems(HWND dialog, const ParsedTemplate& t, F&& visit)
{
    HWND next = GetWindow(dialog, GW_CHILD);
    for (const TemplateItem& item : t.items)
    {
        HWND found = next;
        while (found && static_cast<DWORD>(GetDlgCtrlID(found)) != item.id)
            found = GetWindow(found, GW_HWNDNEXT);
        if (!found)
            return;
        visit(found, item);
        next = GetWindow(found, GW_HWNDNEXT);
    }
}

std::optional<ParsedTemplate> LoadTemplate(HINSTANCE module, UINT templateId)
{
    HRSRC resource = FindResource(module, MAKEINTRESOURCE(templateId), RT_DIALOG);
    if (!resource)
        return std::nullopt;
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL handle = LoadResource(module, resource);
    const auto* data = handle ? static_cast<const BYTE*>(LockResource(handle)) : nullptr;
    std::optional<ParsedTemplate> parsed;
    if (data)
        parsed = Parse(data, size);
    if (handle)
        FreeResource(handle);
    return parsed;
}
} // namespace

CDialogTemplateFont::~CDialogTemplateFont()
{
    Restore();
}

void CDialogTemplateFont::Apply(HINSTANCE module, HWND dialog, UINT templateId, double dpi)
{
    if (m_hDialog)
        Restore();
    const auto parsed = LoadTemplate(module, templateId);
    if (!parsed || !IsWindow(dialog))
        return;
    const ParsedTemplate& t = *parsed;
    m_hModule = module;
    m_nTemplateId = static_cast<WORD>(templateId);
    m_hDialog = dialog;

    m_hFont = CreateFont(-static_cast<int>(t.pointSize * dpi / 72 + 0.5), 0, 0, 0, t.weight, t.italic, FALSE,
                         FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH, t.face.c_str());
    m_hPreviousFont = reinterpret_cast<HFONT>(SendMessage(dialog, WM_GETFONT, 0, 0));
    SendMessage(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), TRUE);

    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, m_hFont);
    TEXTMETRIC metrics{};
    GetTextMetrics(dc, &metrics);
    SIZE extent{};
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    GetTextExtentPoint32(dc, letters, 52, &extent);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    const int h = ((extent.cx / 26) + 1) / 2;
    const int v = metrics.tmHeight;

    RECT client{};
    GetClientRect(dialog, &client);
    POINT origin{client.left, client.top};
    ClientToScreen(dialog, &origin);
    RECT frame{origin.x, origin.y, origin.x + static_cast<int>(t.cx * h * 0.25 + 0.5),
               origin.y + static_cast<int>(t.cy * v * 0.125 + 0.5)};
    AdjustWindowRectEx(&frame, t.style, t.hasMenu, t.exStyle);
    MoveWindow(dialog, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top, TRUE);

    WalkItems(dialog, t,
              [&](HWND control, const TemplateItem& item)
              {
                  MoveWindow(control, static_cast<int>(item.x * h / 4.0 + 0.5),
                             static_cast<int>(item.y * v / 8.0 + 0.5),
                             static_cast<int>(item.cx * h / 4.0 + 0.5),
                             static_cast<int>(item.cy * v / 8.0 + 0.5), TRUE);
                  SendMessage(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), TRUE);
              });
}

void CDialogTemplateFont::Restore()
{
    if (!m_hDialog)
        return;
    // The dialog may be gone already (a dialog object outliving its window): its controls then have
    // nothing to give back.
    if (IsWindow(m_hDialog))
    {
        SendMessage(m_hDialog, WM_SETFONT, reinterpret_cast<WPARAM>(m_hPreviousFont), TRUE);
        if (const auto parsed = LoadTemplate(m_hModule, m_nTemplateId))
            WalkItems(m_hDialog, *parsed,
                      [&](HWND control, const TemplateItem&)
                      { SendMessage(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_hPreviousFont), TRUE); });
    }
    if (m_hFont)
        DeleteObject(m_hFont);
    m_hFont = nullptr;
    m_hPreviousFont = nullptr;
    m_hDialog = nullptr;
}
