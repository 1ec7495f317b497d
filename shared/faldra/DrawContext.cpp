#include "shared/faldra/DrawContext.h"

#include "platform/resources/Resources.h"
#include "shared/exceptions/Exceptions.h"

#include <cstring>

namespace faldra
{
namespace
{
constexpr COLORREF kFixedSelectedText = 0xFFFFFF;
constexpr COLORREF kFixedText = 0x333333;
} // namespace

HANDLE CDrawContext::LoadResourceHlp(const char* name, const char* type)
{
    if (LOWORD(reinterpret_cast<ULONG_PTR>(type)) != LOWORD(reinterpret_cast<ULONG_PTR>(RT_BITMAP)) ||
        !IS_INTRESOURCE(type))
        return nullptr;
    HINSTANCE module = AfxFindResourceHandle(name, type);
    return ::LoadImage(module, name, IMAGE_BITMAP, 0, 0, 0);
}

void CDrawContext::FillItemContextHlp(ITEMCONTEXT& item, DRAWITEMSTRUCT* const dis, const char* text)
{
    if (!dis)
        throw CNullPointerException(THROW_SITE_MESSAGE("No DRAWITEMSTRUCT to fill in"));
    item.hwndItem = dis->hwndItem;
    item.hDC = dis->hDC;
    item.itemAction = dis->itemAction;
    item.itemState = dis->itemState;
    item.rcItem = dis->rcItem;
    item.itemData = dis->itemData;
    item.text = text;
}

CDrawContext::CDrawContext()
{
    HFONT initial = ::CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    if (initial)
    {
        ::GetObject(initial, sizeof(m_logFont), &m_logFont);
        ::DeleteObject(initial);
    }
    else
    {
        m_logFont.lfHeight = -11;
        m_logFont.lfWeight = FW_NORMAL;
        m_logFont.lfCharSet = DEFAULT_CHARSET;
        std::strcpy(m_logFont.lfFaceName, "Arial");
    }
    m_font.CreateFontIndirect(&m_logFont);
}

CDrawContext::CDrawContext(const CDrawContext& other)
{
    CopyCommon(other);
    if (other.m_background)
    {
        m_background = new (std::nothrow) CModularImage(*other.m_background);
        if (!m_background)
            throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate background object"));
    }
    if (other.m_highlight)
    {
        m_highlight = new (std::nothrow) CModularImage(*other.m_highlight);
        if (!m_highlight)
        {
            delete m_background;
            m_background = nullptr;
            throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate highlight object"));
        }
    }
}

CDrawContext& CDrawContext::operator=(const CDrawContext& other)
{
    if (this == &other)
        return *this;
    m_font.DeleteObject();
    CopyCommon(other);
    if (!other.m_background)
    {
        delete m_background;
        m_background = nullptr;
    }
    else if (m_background)
        *m_background = *other.m_background;
    else
    {
        m_background = new (std::nothrow) CModularImage(*other.m_background);
        if (!m_background)
            throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate background object"));
    }
    if (!other.m_highlight)
    {
        delete m_highlight;
        m_highlight = nullptr;
    }
    else if (m_highlight)
        *m_highlight = *other.m_highlight;
    else
    {
        m_highlight = new (std::nothrow) CModularImage(*other.m_highlight);
        if (!m_highlight)
            throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate highlight object"));
    }
    return *this;
}

CDrawContext::~CDrawContext()
{
    delete m_background;
    delete m_highlight;
}

void CDrawContext::CopyCommon(const CDrawContext& other)
{
    m_logFont = other.m_logFont;
    m_font.CreateFontIndirect(&m_logFont);
    m_format = other.m_format;
    m_highlightOpacity = other.m_highlightOpacity;
    m_indentation = other.m_indentation;
    m_textColor = other.m_textColor;
    m_textHighlightColor = other.m_textHighlightColor;
    m_disabledColor = other.m_disabledColor;
}

void CDrawContext::SetFont(const CString& face, int height, int width, BYTE charset)
{
    const char* text = static_cast<LPCTSTR>(face);
    const size_t length = std::min<size_t>(std::strlen(text), sizeof(m_logFont.lfFaceName) - 1);
    std::memcpy(m_logFont.lfFaceName, text, length);
    m_logFont.lfFaceName[length] = '\0';
    m_logFont.lfHeight = height;
    m_logFont.lfWidth = width;
    if (charset != DEFAULT_CHARSET)
        m_logFont.lfCharSet = charset;
    ReconstructFont();
}

HFONT CDrawContext::SetFont(HFONT font, bool copy)
{
    HFONT previous = ::CreateFontIndirect(&m_logFont);
    m_font.DeleteObject();
    if (!font)
    {
        LOGFONTA system{};
        if (::SystemParametersInfo(SPI_GETICONTITLELOGFONT, sizeof(system), &system, 0))
            m_font.CreateFontIndirect(&system);
        else
            m_font.CreateFontIndirect(&m_logFont);
    }
    else if (copy)
    {
        LOGFONTA description{};
        if (::GetObject(font, sizeof(description), &description) != 0)
            m_font.CreateFontIndirect(&description);
        else
            m_font.CreateFontIndirect(&m_logFont);
    }
    else
        m_font.Attach(font);
    return previous;
}

void CDrawContext::ReconstructFont()
{
    m_font.DeleteObject();
    m_font.CreateFontIndirect(&m_logFont);
}

void CDrawContext::SetBackground(CModularImage* image)
{
    if (image == m_background)
        return;
    delete m_background;
    m_background = image;
}

void CDrawContext::SetHighlight(CModularImage* image)
{
    if (image == m_highlight)
        return;
    delete m_highlight;
    m_highlight = image;
}

COLORREF CDrawContext::SetBackColor(COLORREF color)
{
    if (!m_background)
    {
        m_background = new (std::nothrow) CModularImage(GetSysColor(COLOR_WINDOW));
        if (!m_background)
            throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate background object"));
    }
    return m_background->SetBackgndColor(color);
}

COLORREF CDrawContext::SetBackHighlight(COLORREF color)
{
    if (!m_highlight)
    {
        m_highlight = new (std::nothrow) CModularImage(GetSysColor(COLOR_WINDOW));
        if (!m_highlight)
            throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate highlight object"));
    }
    return m_highlight->SetBackgndColor(color);
}

COLORREF CDrawContext::GetBackColor(COLORREF* highlight) const
{
    if (highlight)
        *highlight = m_highlight ? m_highlight->GetBackgndColor() : GetSysColor(COLOR_HIGHLIGHT);
    return m_background ? m_background->GetBackgndColor() : GetSysColor(COLOR_WINDOW);
}

COLORREF CDrawContext::GetTextColor(COLORREF* highlight) const
{
    if (highlight)
        *highlight = m_textHighlightColor;
    return m_textColor;
}

COLORREF CDrawContext::SetInternalColor(COLORREF value, COLORREF& member)
{
    const COLORREF old = member;
    member = value;
    return old;
}

void CDrawContext::DrawBackground(HWND hwnd, HDC hdc)
{
    CRect client;
    ::GetClientRect(hwnd, &client);
    CDC* dc = CDC::FromHandle(hdc);
    if (m_background)
        m_background->DrawImage(*dc, client);
    else
        dc->FillSolidRect(&client, GetSysColor(COLOR_WINDOW));
}

void CDrawContext::DrawItem(ITEMCONTEXT* const item)
{
    if (!item)
        throw CNullPointerException(THROW_SITE_MESSAGE("Invalid ITEMCONTEXT"));
    CDC* dc = CDC::FromHandle(item->hDC);
    CRgn clip;
    clip.CreateRectRgnIndirect(&item->rcItem);
    dc->SelectClipRgn(&clip);
    clip.DeleteObject();

    DrawBackground(item->hwndItem, item->hDC);

    CFont* previousFont = dc->SelectObject(&m_font);
    dc->SetBkMode(TRANSPARENT);
    const COLORREF previousText = dc->GetTextColor();

    if (item->itemState & ODS_SELECTED)
    {
        dc->SetTextColor(m_bFixedTextColors ? kFixedSelectedText : m_textHighlightColor);
        if (m_highlight)
            m_highlight->DrawImage(*dc, CRect(item->rcItem));
        else
            dc->FillSolidRect(&item->rcItem, GetSysColor(COLOR_HIGHLIGHT));
    }
    else if (item->itemState & ODS_DISABLED)
        dc->SetTextColor(m_bFixedTextColors ? kFixedText : m_disabledColor);
    else
        dc->SetTextColor(m_bFixedTextColors ? kFixedText : m_textColor);

    if (item->text && item->text[0] != '\0')
    {
        CRect textRect(item->rcItem);
        if (m_format & DT_RIGHT)
            textRect.right -= m_indentation;
        else if (!(m_format & DT_CENTER))
            textRect.left += m_indentation;
        ::DrawText(item->hDC, item->text, static_cast<int>(std::strlen(item->text)), &textRect, m_format);
    }

    if (previousFont)
        dc->SelectObject(previousFont);
    dc->SetTextColor(previousText);
}
} // namespace faldra
