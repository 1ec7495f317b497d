// Fonts and text: LOGFONT to QFont with the system's font substitutes, measuring, TextOut and DrawText.

#include "platform/win/CString.h"
#include "platform/window/GdiInternal.h"
#include "platform/window/WindowInternal.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace win = platform::window::detail;

namespace platform::gdi::detail
{
namespace
{
/// Text needs the font database, which needs the application; the main thread may make it.
bool EnsureFontSupport()
{
    if (QCoreApplication::instance())
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (gettid() != getpid())
        return false;
    return win::EnsureApplication();
}

QString Lower(const char* face)
{
    return QString::fromUtf8(face).trimmed().toLower();
}

QString DialogFace()
{
    static const QString face = QFontDatabase::hasFamily(QStringLiteral("Tahoma"))
                                    ? QStringLiteral("Tahoma")
                                    : QStringLiteral("DejaVu Sans");
    return face;
}

QString FamilyFor(const LOGFONTA& lf)
{
    const QString face = Lower(lf.lfFaceName);
    if (face == QLatin1String("arial") || face == QLatin1String("helvetica"))
        return QStringLiteral("Liberation Sans");
    if (face == QLatin1String("times new roman") || face == QLatin1String("times"))
        return QStringLiteral("Liberation Serif");
    if (face == QLatin1String("courier new") || face == QLatin1String("courier"))
        return QStringLiteral("Liberation Mono");
    if (face == QLatin1String("tahoma") || face == QLatin1String("ms shell dlg") ||
        face == QLatin1String("ms shell dlg 2") || face == QLatin1String("ms sans serif") ||
        face == QLatin1String("microsoft sans serif") || face == QLatin1String("system") ||
        face == QLatin1String("segoe ui") || face == QLatin1String("verdana"))
        return DialogFace();
    if (face.isEmpty())
    {
        const int family = lf.lfPitchAndFamily & 0xF0;
        if ((lf.lfPitchAndFamily & 3) == FIXED_PITCH || family == FF_MODERN)
            return QStringLiteral("Liberation Mono");
        if (family == FF_ROMAN)
            return QStringLiteral("Liberation Serif");
        return DialogFace();
    }
    return QString::fromUtf8(lf.lfFaceName);
}

QString Utf8(LPCSTR text, int count)
{
    if (!text)
        return QString();
    if (count < 0)
        return QString::fromUtf8(text);
    return QString::fromUtf8(text, static_cast<qsizetype>(::strnlen(text, static_cast<std::size_t>(count))));
}

std::shared_ptr<Font> FontOf(const Dc& dc)
{
    return dc.state.font ? dc.state.font : LookupAs<Font>(GetStockObject(SYSTEM_FONT), Kind::Font);
}

int TabWidth(const QFontMetrics& fm)
{
    return std::max(1, 8 * fm.averageCharWidth());
}

int Advance(const QFontMetrics& fm, const QString& line, bool tabs)
{
    if (!tabs || !line.contains(QLatin1Char('\t')))
        return fm.horizontalAdvance(line);
    int x = 0;
    const int tab = TabWidth(fm);
    const auto parts = line.split(QLatin1Char('\t'));
    for (qsizetype i = 0; i < parts.size(); ++i)
    {
        x += fm.horizontalAdvance(parts[i]);
        if (i + 1 < parts.size())
            x = (x / tab + 1) * tab;
    }
    return x;
}

void DrawLine(QPainter& p, const QFontMetrics& fm, const QString& line, QPoint baseline, bool tabs)
{
    if (!tabs || !line.contains(QLatin1Char('\t')))
    {
        p.drawText(baseline, line);
        return;
    }
    int x = 0;
    const int tab = TabWidth(fm);
    const auto parts = line.split(QLatin1Char('\t'));
    for (qsizetype i = 0; i < parts.size(); ++i)
    {
        p.drawText(baseline + QPoint(x, 0), parts[i]);
        x += fm.horizontalAdvance(parts[i]);
        if (i + 1 < parts.size())
            x = (x / tab + 1) * tab;
    }
}

/// Text in a right-to-left DC goes where the DC puts it, yet reads the right way round: the run is turned
/// within its own box, [left, left + width), before the DC turns it back.
void ReadableRun(QPainter& p, const Surface& s, int left, int width)
{
    if (!s.mirrored)
        return;
    p.translate(2 * left + width, 0);
    p.scale(-1, 1);
}

/// Removes the mnemonic marks: "&&" stands for "&", a single "&" marks the next letter.
QString StripPrefix(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
    {
        if (text[i] == QLatin1Char('&'))
        {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&'))
            {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

QStringList WrapParagraph(const QFontMetrics& fm, const QString& paragraph, int width, bool tabs)
{
    QStringList lines;
    QString current;
    qsizetype i = 0;
    const qsizetype n = paragraph.size();
    while (i < n)
    {
        // The next word with the spaces before it.
        qsizetype j = i;
        while (j < n && paragraph[j] == QLatin1Char(' '))
            ++j;
        while (j < n && paragraph[j] != QLatin1Char(' '))
            ++j;
        const QString piece = paragraph.mid(i, j - i);
        const QString candidate = current + piece;
        if (current.isEmpty() || Advance(fm, candidate, tabs) <= width)
            current = candidate;
        else
        {
            lines << current;
            current = piece;
            while (current.startsWith(QLatin1Char(' ')))
                current.remove(0, 1);
        }
        i = j;
    }
    lines << current;
    for (auto& line : lines)
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
    return lines;
}

QString EndEllipsis(const QFontMetrics& fm, const QString& line, int width, bool tabs)
{
    if (Advance(fm, line, tabs) <= width)
        return line;
    const QString dots = QStringLiteral("...");
    QString head = line;
    while (!head.isEmpty() && Advance(fm, head + dots, tabs) > width)
        head.chop(1);
    return head + dots;
}

QString PathEllipsis(const QFontMetrics& fm, const QString& line, int width)
{
    if (fm.horizontalAdvance(line) <= width)
        return line;
    const qsizetype slash = std::max(line.lastIndexOf(QLatin1Char('/')), line.lastIndexOf(QLatin1Char('\\')));
    const QString tail = slash >= 0 ? line.mid(slash) : QString();
    QString head = slash >= 0 ? line.left(slash) : line;
    const QString dots = QStringLiteral("...");
    while (!head.isEmpty() && fm.horizontalAdvance(head + dots + tail) > width)
        head.chop(1);
    if (head.isEmpty())
        return EndEllipsis(fm, dots + tail, width, false);
    return head + dots + tail;
}
} // namespace

QFont QFontFor(const LOGFONTA& lf)
{
    if (!EnsureFontSupport())
        return QFont();
    QFont font(FamilyFor(lf));
    font.setStyleHint(QFont::AnyStyle, QFont::PreferMatch);
    font.setWeight(
        static_cast<QFont::Weight>(std::clamp<int>(lf.lfWeight == 0 ? FW_NORMAL : lf.lfWeight, 1, 1000)));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    if (lf.lfQuality == NONANTIALIASED_QUALITY)
        font.setStyleStrategy(QFont::NoAntialias);
    else if (lf.lfQuality == ANTIALIASED_QUALITY || lf.lfQuality == CLEARTYPE_QUALITY)
        font.setStyleStrategy(QFont::PreferAntialias);
    LONG height = lf.lfHeight == 0 ? 16 : lf.lfHeight;
    if (height < 0)
        font.setPixelSize(std::max<LONG>(1, -height));
    else
    {
        // A positive height is the whole cell; find the character size that gives it.
        QFont probe = font;
        probe.setPixelSize(100);
        const QFontMetricsF fm(probe);
        const qreal cell = fm.ascent() + fm.descent();
        font.setPixelSize(std::max(1, static_cast<int>(height * 100.0 / (cell > 0 ? cell : 100.0) + 0.5)));
    }
    if (lf.lfWidth > 0)
    {
        const QFontMetricsF fm(font);
        const qreal natural = fm.averageCharWidth();
        if (natural > 0)
            font.setStretch(std::clamp(static_cast<int>(lf.lfWidth * 100.0 / natural + 0.5), 1, 4000));
    }
    return font;
}
} // namespace platform::gdi::detail

using namespace platform::gdi::detail;

HFONT CreateFontIndirect(const LOGFONTA* lf)
{
    if (!lf)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto f = std::make_shared<Font>();
    f->lf = *lf;
    f->lf.lfFaceName[LF_FACESIZE - 1] = '\0';
    f->qfont = QFontFor(f->lf);
    return reinterpret_cast<HFONT>(Register(f));
}

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                 DWORD quality, DWORD pitchAndFamily, LPCSTR face)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = static_cast<BYTE>(italic != 0);
    lf.lfUnderline = static_cast<BYTE>(underline != 0);
    lf.lfStrikeOut = static_cast<BYTE>(strikeOut != 0);
    lf.lfCharSet = static_cast<BYTE>(charSet);
    lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
    lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    lf.lfQuality = static_cast<BYTE>(quality);
    lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    if (face)
        platform::CopyTruncated(lf.lfFaceName, sizeof lf.lfFaceName, face);
    return CreateFontIndirect(&lf);
}

BOOL GetTextExtentPoint32(HDC hdc, LPCSTR text, int count, SIZE* size)
{
    auto dc = LookupDc(hdc);
    if (!dc || !size || !text || !EnsureFontSupport())
        return FALSE;
    const QFontMetrics fm(FontOf(*dc)->qfont);
    size->cx = fm.horizontalAdvance(Utf8(text, count));
    size->cy = fm.ascent() + fm.descent();
    return TRUE;
}

BOOL GetTextMetrics(HDC hdc, LPTEXTMETRIC tm)
{
    auto dc = LookupDc(hdc);
    if (!dc || !tm || !EnsureFontSupport())
        return FALSE;
    auto font = FontOf(*dc);
    const QFontMetrics fm(font->qfont);
    std::memset(tm, 0, sizeof *tm);
    tm->tmAscent = fm.ascent();
    tm->tmDescent = fm.descent();
    tm->tmHeight = tm->tmAscent + tm->tmDescent;
    tm->tmInternalLeading = std::max(0, tm->tmHeight - font->qfont.pixelSize());
    tm->tmExternalLeading = std::max(0, fm.leading());
    tm->tmAveCharWidth = fm.averageCharWidth();
    tm->tmMaxCharWidth = fm.maxWidth();
    tm->tmWeight = font->lf.lfWeight == 0 ? FW_NORMAL : font->lf.lfWeight;
    tm->tmDigitizedAspectX = 96;
    tm->tmDigitizedAspectY = 96;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFF;
    tm->tmDefaultChar = 0x1F;
    tm->tmBreakChar = 0x20;
    tm->tmItalic = font->lf.lfItalic;
    tm->tmUnderlined = font->lf.lfUnderline;
    tm->tmStruckOut = font->lf.lfStrikeOut;
    // The low bit is set for a variable-pitch font, as the system does.
    tm->tmPitchAndFamily =
        static_cast<BYTE>((font->qfont.fixedPitch() ? 0 : 1) | 0x06 | (font->lf.lfPitchAndFamily & 0xF0));
    tm->tmCharSet = font->lf.lfCharSet;
    return TRUE;
}

int GetTextFace(HDC hdc, int size, LPSTR face)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return 0;
    const std::string name = FontOf(*dc)->lf.lfFaceName;
    if (!face)
        return static_cast<int>(name.size() + 1);
    return static_cast<int>(platform::CopyTruncated(face, static_cast<std::size_t>(std::max(size, 0)), name));
}

BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, LPCRECT rect, LPCSTR text, UINT count, const INT*)
{
    auto dc = LookupDc(hdc);
    if (!dc || !EnsureFontSupport())
        return FALSE;
    Surface s;
    if (!SurfaceOf(*dc, s))
        return FALSE;
    auto font = FontOf(*dc);
    const QString str = text ? Utf8(text, static_cast<int>(count)) : QString();
    const QFontMetrics fm(font->qfont);
    const int width = fm.horizontalAdvance(str);
    const int ascent = fm.ascent(), descent = fm.descent();
    const UINT align = dc->state.textAlign;
    if (align & TA_UPDATECP)
    {
        x = dc->state.position.x;
        y = dc->state.position.y;
    }
    int left = x;
    if ((align & TA_CENTER) == TA_CENTER)
        left = x - width / 2;
    else if (align & TA_RIGHT)
        left = x - width;
    int baseline = y + ascent;
    if ((align & TA_BASELINE) == TA_BASELINE)
        baseline = y;
    else if (align & TA_BOTTOM)
        baseline = y - descent;
    if (align & TA_UPDATECP)
        dc->state.position.x += width;

    QPainter p;
    BeginPainter(p, *dc, s);
    QRect touched(left, baseline - ascent, width, ascent + descent);
    if (rect)
    {
        const QRect r(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
        if (options & ETO_OPAQUE)
            p.fillRect(r, ColorOf(dc->state.bkColor));
        if (options & ETO_CLIPPED)
            p.setClipRect(r, Qt::IntersectClip);
        touched |= r;
    }
    p.setFont(font->qfont);
    p.setPen(ColorOf(dc->state.textColor));
    const double angle = font->lf.lfEscapement / 10.0;
    if (angle != 0.0)
    {
        p.translate(x, y);
        p.rotate(-angle);
        p.translate(left - x, baseline - y);
        if (dc->state.bkMode == OPAQUE)
            p.fillRect(QRect(0, -ascent, width, ascent + descent), ColorOf(dc->state.bkColor));
        p.drawText(QPoint(0, 0), str);
        const int reach = width + ascent + descent;
        touched = QRect(x - reach, y - reach, 2 * reach, 2 * reach);
    }
    else
    {
        if (dc->state.bkMode == OPAQUE)
            p.fillRect(QRect(left, baseline - ascent, width, ascent + descent), ColorOf(dc->state.bkColor));
        ReadableRun(p, s, left, width);
        p.drawText(QPoint(left, baseline), str);
    }
    const QPoint offset(dc->state.viewportOrg.x - dc->state.windowOrg.x,
                        dc->state.viewportOrg.y - dc->state.windowOrg.y);
    p.end();
    Touched(*dc, QRegion(touched.translated(offset)) & DeviceClip(*dc, s));
    return TRUE;
}

BOOL TextOut(HDC hdc, int x, int y, LPCSTR text, int count)
{
    return ExtTextOut(hdc, x, y, 0, nullptr, text,
                      count < 0 ? static_cast<UINT>(text ? std::strlen(text) : 0) : static_cast<UINT>(count),
                      nullptr);
}

int DrawText(HDC hdc, LPCSTR text, int count, LPRECT rect, UINT format)
{
    auto dc = LookupDc(hdc);
    if (!dc || !rect || !text || !EnsureFontSupport())
        return 0;
    auto font = FontOf(*dc);
    const QFontMetrics fm(font->qfont);
    QString str = Utf8(text, count);
    if (!(format & DT_NOPREFIX))
        str = StripPrefix(str);
    const bool tabs = (format & DT_EXPANDTABS) != 0;
    const bool single = (format & DT_SINGLELINE) != 0;
    const int width = rect->right - rect->left;

    QStringList paragraphs;
    if (single)
        paragraphs << QString(str).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    else
        paragraphs = QString(str)
                         .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                         .replace(QLatin1Char('\r'), QLatin1Char('\n'))
                         .split(QLatin1Char('\n'));
    QStringList lines;
    for (const QString& para : paragraphs)
    {
        if ((format & DT_WORDBREAK) && !single)
            lines << WrapParagraph(fm, para, width, tabs);
        else
            lines << para;
    }
    if (format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS))
        for (auto& line : lines)
            line = EndEllipsis(fm, line, width, tabs);
    else if (format & DT_PATH_ELLIPSIS)
        for (auto& line : lines)
            line = PathEllipsis(fm, line, width);
    if ((format & DT_MODIFYSTRING) && (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS)) && count < 0 &&
        lines.size() == 1)
    {
        // The caller's buffer holds the shortened text afterwards; it has room for four more bytes.
        const QByteArray shortened = lines.front().toUtf8();
        const std::size_t room = std::strlen(text) + 4;
        platform::CopyTruncated(const_cast<char*>(text), room + 1,
                                std::string_view(shortened.constData(), shortened.size()));
    }

    const int lineHeight =
        fm.ascent() + fm.descent() + ((format & DT_EXTERNALLEADING) ? std::max(0, fm.leading()) : 0);
    const int total = lineHeight * static_cast<int>(lines.size());
    int widest = 0;
    for (const auto& line : lines)
        widest = std::max(widest, Advance(fm, line, tabs));

    if (format & DT_CALCRECT)
    {
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }

    int top = rect->top;
    if (single && (format & DT_VCENTER))
        top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
    else if (single && (format & DT_BOTTOM))
        top = rect->bottom - lineHeight;

    Surface s;
    if (!SurfaceOf(*dc, s))
        return 0;
    QPainter p;
    BeginPainter(p, *dc, s);
    const QRect box(rect->left, rect->top, width, rect->bottom - rect->top);
    if (!(format & DT_NOCLIP))
        p.setClipRect(box, Qt::IntersectClip);
    if (format & DT_RTLREADING)
        p.setLayoutDirection(Qt::RightToLeft);
    p.setFont(font->qfont);
    p.setPen(ColorOf(dc->state.textColor));
    QRect touched;
    for (qsizetype i = 0; i < lines.size(); ++i)
    {
        const int lineWidth = Advance(fm, lines[i], tabs);
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (width - lineWidth) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - lineWidth;
        const int y = top + static_cast<int>(i) * lineHeight;
        const QRect lineBox(x, y, lineWidth, lineHeight);
        if (dc->state.bkMode == OPAQUE)
            p.fillRect(lineBox, ColorOf(dc->state.bkColor));
        p.save();
        ReadableRun(p, s, x, lineWidth);
        DrawLine(p, fm, lines[i], QPoint(x, y + fm.ascent()), tabs);
        p.restore();
        touched |= lineBox;
    }
    p.end();
    const QPoint offset(dc->state.viewportOrg.x - dc->state.windowOrg.x,
                        dc->state.viewportOrg.y - dc->state.windowOrg.y);
    if (!(format & DT_NOCLIP))
        touched &= box;
    Touched(*dc, QRegion(touched.translated(offset)) & DeviceClip(*dc, s));
    if (single && (format & (DT_VCENTER | DT_BOTTOM)))
        return top - rect->top + lineHeight;
    return total;
}
