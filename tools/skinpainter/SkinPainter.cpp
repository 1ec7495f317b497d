// Paints the program's skin: every background, button state, bar, mask and small bitmap that the
// windows take by resource id, the program's icon and the edit fields' pointer, in one look (dark
// surface, one accent colour, crisp 1-px edges), and writes the .rc fragment that embeds them.
//
//   skinpainter <output folder>   e.g. resources/skin/brevicam; the folder's name chooses the module
//                                 (brevicam, miravoc, corrowin)

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace
{
// The palette.
const QColor kSurface(0x1E, 0x21, 0x29);
const QColor kTitle(0x26, 0x2A, 0x34);
const QColor kRaised(0x2C, 0x31, 0x3D);
const QColor kHover(0x37, 0x3D, 0x4C);
const QColor kEdge(0x3F, 0x45, 0x54);
const QColor kEdgeLight(0x55, 0x5C, 0x6E);
const QColor kAccent(0x3D, 0x9B, 0xFF);
const QColor kAccentDark(0x2A, 0x6F, 0xC0);
const QColor kInk(0xE8, 0xEA, 0xF0);
const QColor kInkDim(0x6A, 0x70, 0x80);
const QColor kRecord(0xE5, 0x48, 0x4D);
// The body of dialogs whose texts are dark (0x333333 and black captions).
const QColor kPaper(0xE9, 0xEB, 0xEF);

enum class State
{
    Normal,
    Hover,
    Pressed,
    Disabled,
    PressedHover
};

enum class Glyph
{
    None,
    Camera,
    Burst,
    Timer,
    Video,
    Close,
    Minimise,
    Gear,
    Info,
    Mic,
    MicOff,
    FullScreen,
    ExitFullScreen,
    Panel,
    Refresh,
    Folder,
    Mail,
    Tick,
    Sliders,
    Shutter
};

struct Entry
{
    int id;
    bool png; // else a 24-bit BMP
    int width;
    int height;
    std::function<void(QPainter&, const QRectF&)> paint;
    std::string note;
};

QRectF Inner(const QRectF& r, qreal by)
{
    return r.adjusted(by, by, -by, -by);
}

/// A dialog background: rounded surface with a title strip, a 1-px edge and a soft outer rim whose
/// pixels are partly transparent (the layered window blends them with the desktop).
void Background(QPainter& p, const QRectF& r, bool titleStrip, bool paper = false)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int i = 3; i >= 1; --i)
    {
        QColor rim(0, 0, 0, 40 / i);
        p.setPen(Qt::NoPen);
        p.setBrush(rim);
        p.drawRoundedRect(Inner(r, 3 - i), 12, 12);
    }
    const QRectF body = Inner(r, 3);
    QPainterPath shape;
    shape.addRoundedRect(body, 10, 10);
    p.fillPath(shape, kSurface);
    if (titleStrip && body.height() > 60)
    {
        p.save();
        p.setClipPath(shape);
        p.fillRect(QRectF(body.left(), body.top(), body.width(), 34), kTitle);
        p.fillRect(QRectF(body.left(), body.top() + 34, body.width(), 2), kAccent);
        if (paper)
            p.fillRect(QRectF(body.left() + 8, body.top() + 44, body.width() - 16, body.height() - 52),
                       kPaper);
        p.restore();
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kEdge, 1));
    p.setBrush(Qt::NoBrush);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.drawPath(shape.translated(0.5, 0.5) - QPainterPath());
    p.setPen(QPen(kEdgeLight, 1));
    p.drawLine(QPointF(body.left() + 10, body.top() + 0.5), QPointF(body.right() - 10, body.top() + 0.5));
}

QColor FaceOf(State s)
{
    switch (s)
    {
    case State::Hover:
        return kHover;
    case State::Pressed:
    case State::PressedHover:
        return kAccentDark;
    case State::Disabled:
        return kSurface;
    default:
        return kRaised;
    }
}

QColor InkOf(State s)
{
    return s == State::Disabled ? kInkDim : kInk;
}

void DrawGlyph(QPainter& p, Glyph g, const QRectF& box, const QColor& ink)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal u = std::min(box.width(), box.height());
    const QPointF c = box.center();
    QPen pen(ink, std::max<qreal>(1.5, u / 14), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const qreal s = u * 0.5; // glyph extent
    const QRectF g0(c.x() - s / 2, c.y() - s / 2, s, s);
    switch (g)
    {
    case Glyph::None:
        break;
    case Glyph::Camera:
    case Glyph::Shutter:
        p.drawRoundedRect(QRectF(g0.left(), g0.top() + s * 0.2, s, s * 0.7), s * 0.1, s * 0.1);
        p.drawEllipse(QPointF(c.x(), c.y() + s * 0.05), s * 0.2, s * 0.2);
        p.drawLine(QPointF(c.x() - s * 0.15, g0.top() + s * 0.2),
                   QPointF(c.x() - s * 0.08, g0.top() + s * 0.05));
        p.drawLine(QPointF(c.x() - s * 0.08, g0.top() + s * 0.05),
                   QPointF(c.x() + s * 0.12, g0.top() + s * 0.05));
        p.drawLine(QPointF(c.x() + s * 0.12, g0.top() + s * 0.05),
                   QPointF(c.x() + s * 0.18, g0.top() + s * 0.2));
        break;
    case Glyph::Burst:
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(g0.left() + i * s * 0.15, g0.top() + i * s * 0.15, s * 0.65, s * 0.5));
        break;
    case Glyph::Timer:
        p.drawEllipse(c, s * 0.45, s * 0.45);
        p.drawLine(c, QPointF(c.x(), c.y() - s * 0.3));
        p.drawLine(c, QPointF(c.x() + s * 0.22, c.y() + s * 0.1));
        break;
    case Glyph::Video:
        p.drawRoundedRect(QRectF(g0.left(), g0.top() + s * 0.2, s * 0.65, s * 0.6), s * 0.08, s * 0.08);
        p.drawPolygon(QPolygonF({QPointF(g0.left() + s * 0.7, c.y()), QPointF(g0.right(), g0.top() + s * 0.2),
                                 QPointF(g0.right(), g0.top() + s * 0.8)}));
        break;
    case Glyph::Close:
        p.drawLine(g0.topLeft() + QPointF(s * 0.1, s * 0.1), g0.bottomRight() - QPointF(s * 0.1, s * 0.1));
        p.drawLine(g0.topRight() + QPointF(-s * 0.1, s * 0.1), g0.bottomLeft() + QPointF(s * 0.1, -s * 0.1));
        break;
    case Glyph::Minimise:
        p.drawLine(QPointF(g0.left() + s * 0.1, c.y() + s * 0.2),
                   QPointF(g0.right() - s * 0.1, c.y() + s * 0.2));
        break;
    case Glyph::Gear:
        p.drawEllipse(c, s * 0.18, s * 0.18);
        for (int i = 0; i < 8; ++i)
        {
            const qreal a = i * M_PI / 4;
            p.drawLine(QPointF(c.x() + std::cos(a) * s * 0.32, c.y() + std::sin(a) * s * 0.32),
                       QPointF(c.x() + std::cos(a) * s * 0.48, c.y() + std::sin(a) * s * 0.48));
        }
        p.drawEllipse(c, s * 0.33, s * 0.33);
        break;
    case Glyph::Info:
        p.drawEllipse(c, s * 0.48, s * 0.48);
        p.drawLine(QPointF(c.x(), c.y() - s * 0.02), QPointF(c.x(), c.y() + s * 0.25));
        p.drawPoint(QPointF(c.x(), c.y() - s * 0.22));
        break;
    case Glyph::Mic:
    case Glyph::MicOff:
        p.drawRoundedRect(QRectF(c.x() - s * 0.15, g0.top(), s * 0.3, s * 0.55), s * 0.15, s * 0.15);
        p.drawArc(QRectF(c.x() - s * 0.3, g0.top() + s * 0.15, s * 0.6, s * 0.55), 180 * 16, 180 * 16);
        p.drawLine(QPointF(c.x(), g0.top() + s * 0.7), QPointF(c.x(), g0.bottom()));
        if (g == Glyph::MicOff)
        {
            p.setPen(QPen(kRecord, pen.widthF(), Qt::SolidLine, Qt::RoundCap));
            p.drawLine(g0.topLeft(), g0.bottomRight());
        }
        break;
    case Glyph::FullScreen:
    case Glyph::ExitFullScreen:
    {
        const qreal k = s * 0.3;
        const bool in = g == Glyph::ExitFullScreen;
        for (int i = 0; i < 4; ++i)
        {
            const QPointF corner(i % 2 ? g0.right() : g0.left(), i / 2 ? g0.bottom() : g0.top());
            const qreal dx = (i % 2 ? -1 : 1) * k;
            const qreal dy = (i / 2 ? -1 : 1) * k;
            const QPointF at = in ? corner + QPointF(dx, dy) : corner;
            p.drawLine(at, at + QPointF(in ? -dx : dx, 0));
            p.drawLine(at, at + QPointF(0, in ? -dy : dy));
        }
        break;
    }
    case Glyph::Panel:
        p.drawLine(QPointF(c.x() - s * 0.25, g0.top() + s * 0.1), QPointF(c.x() + s * 0.1, c.y()));
        p.drawLine(QPointF(c.x() + s * 0.1, c.y()), QPointF(c.x() - s * 0.25, g0.bottom() - s * 0.1));
        p.drawLine(QPointF(c.x() + s * 0.05, g0.top() + s * 0.1), QPointF(c.x() + s * 0.4, c.y()));
        p.drawLine(QPointF(c.x() + s * 0.4, c.y()), QPointF(c.x() + s * 0.05, g0.bottom() - s * 0.1));
        break;
    case Glyph::Refresh:
        p.drawArc(g0, 30 * 16, 300 * 16);
        p.drawLine(QPointF(g0.right() - s * 0.07, c.y() - s * 0.25),
                   QPointF(g0.right() - s * 0.07, c.y() - s * 0.02));
        p.drawLine(QPointF(g0.right() - s * 0.07, c.y() - s * 0.02),
                   QPointF(g0.right() - s * 0.3, c.y() - s * 0.02));
        break;
    case Glyph::Folder:
        p.drawPolygon(QPolygonF(
            {QPointF(g0.left(), g0.top() + s * 0.15), QPointF(c.x() - s * 0.1, g0.top() + s * 0.15),
             QPointF(c.x(), g0.top() + s * 0.28), QPointF(g0.right(), g0.top() + s * 0.28),
             QPointF(g0.right(), g0.bottom() - s * 0.1), QPointF(g0.left(), g0.bottom() - s * 0.1)}));
        break;
    case Glyph::Mail:
        p.drawRect(QRectF(g0.left(), g0.top() + s * 0.15, s, s * 0.7));
        p.drawPolyline(QPolygonF({QPointF(g0.left(), g0.top() + s * 0.15), QPointF(c.x(), c.y() + s * 0.05),
                                  QPointF(g0.right(), g0.top() + s * 0.15)}));
        break;
    case Glyph::Tick:
        p.drawPolyline(
            QPolygonF({QPointF(g0.left() + s * 0.05, c.y()), QPointF(c.x() - s * 0.1, g0.bottom() - s * 0.1),
                       QPointF(g0.right() - s * 0.05, g0.top() + s * 0.1)}));
        break;
    case Glyph::Sliders:
        for (int i = 0; i < 3; ++i)
        {
            const qreal y = g0.top() + s * (0.15 + 0.35 * i);
            p.drawLine(QPointF(g0.left(), y), QPointF(g0.right(), y));
            p.setBrush(ink);
            p.drawEllipse(QPointF(g0.left() + s * (0.25 + 0.25 * i), y), s * 0.08, s * 0.08);
            p.setBrush(Qt::NoBrush);
        }
        break;
    }
    p.restore();
}

/// A button state: rounded face (or round for `round`), 1-px edge, accent edge on hover, glyph.
void Button(QPainter& p, const QRectF& r, State s, Glyph g, bool round, const QColor& back = Qt::transparent)
{
    if (back.alpha())
        p.fillRect(r, back);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF face = Inner(r, 1);
    const QColor edge = s == State::Hover || s == State::PressedHover ? kAccent
                        : s == State::Disabled                        ? kEdge
                                                                      : kEdgeLight;
    p.setPen(QPen(edge, 1));
    p.setBrush(FaceOf(s));
    if (round)
        p.drawEllipse(face.adjusted(0.5, 0.5, -0.5, -0.5));
    else
        p.drawRoundedRect(face.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    if (s == State::PressedHover)
    {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 28));
        if (round)
            p.drawEllipse(Inner(face, 2));
        else
            p.drawRoundedRect(Inner(face, 2), 5, 5);
    }
    DrawGlyph(p, g, Inner(face, 2), InkOf(s));
}

/// The capture button: a ring in the accent colour around a shutter disc; red while pressed (recording).
void CaptureButton(QPainter& p, const QRectF& r, State s)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF ring = Inner(r, 2);
    p.setPen(QPen(s == State::Disabled ? kEdge : (s == State::Hover ? kInk : kAccent), 3));
    p.setBrush(kSurface);
    p.drawEllipse(ring);
    p.setPen(Qt::NoPen);
    const QColor disc = s == State::Disabled
                            ? kRaised
                            : (s == State::Pressed ? kRecord : (s == State::Hover ? kHover : kRaised));
    p.setBrush(disc);
    p.drawEllipse(Inner(ring, 6));
    DrawGlyph(p, Glyph::Camera, Inner(ring, 8), InkOf(s));
}

Entry Png(int id, int w, int h, std::function<void(QPainter&, const QRectF&)> f, std::string note)
{
    return {id, true, w, h, std::move(f), std::move(note)};
}

Entry Bmp(int id, int w, int h, std::function<void(QPainter&, const QRectF&)> f, std::string note)
{
    return {id, false, w, h, std::move(f), std::move(note)};
}

/// The five state images of a glyph button with ids in state order (0 = not painted).
void States(std::vector<Entry>& out, std::initializer_list<int> ids, int w, int h, Glyph g, bool round,
            const char* note)
{
    const State states[] = {State::Normal, State::Hover, State::Pressed, State::Disabled,
                            State::PressedHover};
    int i = 0;
    for (int id : ids)
    {
        const State s = states[i++];
        if (id)
            out.push_back(Png(
                id, w, h, [=](QPainter& p, const QRectF& r) { Button(p, r, s, g, round); }, note));
    }
}

/// A BITMAP button face (opaque: the kit's bitmap button draws it with GDI).
void BmpStates(std::vector<Entry>& out, std::initializer_list<int> ids, int w, int h, Glyph g,
               const char* note)
{
    const State states[] = {State::Normal, State::Pressed, State::Hover, State::Disabled};
    int i = 0;
    for (int id : ids)
    {
        const State s = states[i++];
        if (id)
            out.push_back(Bmp(
                id, w, h, [=](QPainter& p, const QRectF& r) { Button(p, r, s, g, false, kSurface); }, note));
    }
}

/// The light panel that dark texts stand on, with a hairline edge.
void Paper(QPainter& p, const QRectF& r)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kEdgeLight, 1));
    p.setBrush(kPaper);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    p.restore();
}

/// A text field sunk into the paper: white, with a darker top edge.
void Field(QPainter& p, const QRectF& r)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0xB4, 0xB9, 0xC4), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.setPen(QPen(QColor(0x8A, 0x90, 0x9C), 1));
    p.drawLine(QPointF(r.left() + 3, r.top() + 0.5), QPointF(r.right() - 3, r.top() + 0.5));
    p.restore();
}

/// The filled part of a progress bar: the accent colour, lighter at the top edge.
void ProgressFill(QPainter& p, const QRectF& r)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kAccent.lighter(115));
    g.setColorAt(1, kAccentDark);
    p.fillRect(r, g);
    p.fillRect(QRectF(r.left(), r.top(), r.width(), 1), kAccent.lighter(140));
}

/// The fill of a meter whose value grows from the left (microphone level, download progress): dark to
/// light accent, with a lit top edge.
void MeterFill(QPainter& p, const QRectF& r)
{
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, kAccentDark);
    g.setColorAt(1, kAccent);
    p.fillRect(r, g);
    p.fillRect(QRectF(r.left(), r.top(), r.width(), 1), kAccent.lighter(130));
}

/// A skinned drop-down list's closed face: left end, stretched middle and right end with the arrow, light
/// under dark text; `what` names the list in the notes.
void ComboFace(std::vector<Entry>& e, int left, int middle, int right, const std::string& what)
{
    const QColor field(0xE3, 0xE3, 0xE3);
    e.push_back(Bmp(
        left, 6, 25,
        [field](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, field);
            p.fillRect(QRectF(r.left(), r.top(), 1, r.height()), kEdgeLight);
            p.fillRect(QRectF(r.left(), r.top(), r.width(), 1), kEdgeLight);
            p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), kEdgeLight);
        },
        what + ", left"));
    e.push_back(Bmp(
        middle, 8, 25,
        [field](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, field);
            p.fillRect(QRectF(r.left(), r.top(), r.width(), 1), kEdgeLight);
            p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), kEdgeLight);
        },
        what + ", middle"));
    e.push_back(Bmp(
        right, 25, 25,
        [field](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, field);
            p.fillRect(QRectF(r.left(), r.top(), r.width(), 1), kEdgeLight);
            p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), kEdgeLight);
            p.fillRect(QRectF(r.right() - 1, r.top(), 1, r.height()), kEdgeLight);
            p.fillRect(QRectF(r.left(), r.top() + 4, 1, r.height() - 8), kEdgeLight);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(Qt::NoPen);
            p.setBrush(kInkDim);
            const QPointF c = r.center();
            p.drawPolygon(QPolygonF(
                {QPointF(c.x() - 5, c.y() - 2), QPointF(c.x() + 5, c.y() - 2), QPointF(c.x(), c.y() + 3)}));
        },
        what + ", right"));
}

/// A drop-down list's scroll bar: the arrows, the channel, the box's middle and its ends.
void ComboScrollBar(std::vector<Entry>& e, int up, int down, int channel, int box,
                    std::initializer_list<int> ends, const std::string& what)
{
    auto arrow = [](bool upward)
    {
        return [upward](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, kRaised);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            const QPointF c = r.center();
            const qreal d = upward ? -1 : 1;
            p.drawPolygon(QPolygonF({QPointF(c.x() - 4, c.y() - 2 * d), QPointF(c.x() + 4, c.y() - 2 * d),
                                     QPointF(c.x(), c.y() + 2 * d)}));
        };
    };
    e.push_back(Bmp(up, 14, 14, arrow(true), what + ", up"));
    e.push_back(Bmp(down, 14, 14, arrow(false), what + ", down"));
    e.push_back(Bmp(
        channel, 14, 14, [](QPainter& p, const QRectF& r) { p.fillRect(r, kSurface); }, what + ", channel"));
    e.push_back(Bmp(
        box, 14, 14, [](QPainter& p, const QRectF& r) { p.fillRect(r.adjusted(2, 0, -2, 0), kEdgeLight); },
        what + ", box"));
    for (int id : ends)
        e.push_back(Bmp(
            id, 14, 4,
            [](QPainter& p, const QRectF& r)
            {
                p.fillRect(r, kSurface);
                p.fillRect(r.adjusted(3, 0, -3, 0), kEdgeLight);
            },
            what + ", box ends"));
}

/// The capture settings dialog (607 x 615): the light body with a hairline under each section title and a
/// white field under each text field; its text buttons (captions drawn by the buttons), the close cross,
/// the sound check box and the three drop-down lists.
void CaptureSettingsSkin(std::vector<Entry>& e)
{
    e.push_back(Png(
        768, 607, 615,
        [](QPainter& p, const QRectF& r)
        {
            Background(p, r, true, true);
            p.setRenderHint(QPainter::Antialiasing, false);
            for (int y : {70, 134, 304, 370, 436})
                p.fillRect(QRectF(28, y, 552, 1), kEdgeLight);
            // The fields, each a little larger than its edit (x, y, width, height of the edit).
            const QRectF edits[] = {{215, 142, 270, 20}, {215, 248, 270, 20}, {215, 312, 25, 20},
                                    {350, 312, 25, 20},  {215, 378, 25, 20},  {215, 444, 280, 20}};
            for (const QRectF& edit : edits)
                Field(p, edit.adjusted(-4, -3, 4, 3));
        },
        "capture settings"));
    States(e, {486, 487, 488, 489}, 87, 34, Glyph::None, false, "Browse (photo)");
    States(e, {482, 483, 484, 485}, 87, 34, Glyph::None, false, "Browse (sound)");
    States(e, {478, 479, 480, 481}, 87, 34, Glyph::None, false, "Browse (video)");
    States(e, {810, 811, 812}, 80, 44, Glyph::None, false, "OK");
    States(e, {553, 554, 555, 552}, 112, 44, Glyph::None, false, "Cancel and Apply");
    States(e, {470, 471, 472, 473}, 150, 44, Glyph::None, false, "Default");
    BmpStates(e, {813, 815, 814}, 27, 27, Glyph::Close, "close the settings");
    e.push_back(Bmp(
        492, 27, 28,
        [](QPainter& p, const QRectF& r) { Button(p, r, State::Normal, Glyph::None, false, kPaper); },
        "sound check box"));
    e.push_back(Bmp(
        491, 27, 28,
        [](QPainter& p, const QRectF& r) { Button(p, r, State::Pressed, Glyph::Tick, false, kPaper); },
        "sound check box ticked"));
    e.push_back(Bmp(
        867, 27, 28,
        [](QPainter& p, const QRectF& r) { Button(p, r, State::Hover, Glyph::None, false, kPaper); },
        "sound check box under the pointer"));
    ComboFace(e, 604, 605, 606, "camera and photo format lists");
    ComboFace(e, 625, 626, 627, "video quality list");
    ComboScrollBar(e, 602, 598, 785, 600, {784, 690}, "settings lists' scroll bar");
}

/// The video conversion progress dialog: a light body under its dark text, the bar with its trough, and
/// the Cancel button (caption drawn by the button).
void ConversionProgressSkin(std::vector<Entry>& e)
{
    // No title: the light body fills the dialog inside its rim, under an accent line.
    e.push_back(Png(
        447, 460, 200,
        [](QPainter& p, const QRectF& r)
        {
            Background(p, r, false);
            p.setRenderHint(QPainter::Antialiasing, true);
            const QRectF body = Inner(r, 10);
            QPainterPath paper;
            paper.addRoundedRect(body, 6, 6);
            p.fillPath(paper, kPaper);
            p.save();
            p.setClipPath(paper);
            p.fillRect(QRectF(body.left(), body.top(), body.width(), 3), kAccent);
            p.restore();
        },
        "conversion progress"));
    States(e, {711, 715, 714}, 87, 34, Glyph::None, false, "Cancel (conversion)");
    e.push_back(Bmp(819, 420, 14, ProgressFill, "conversion bar"));
    e.push_back(Bmp(
        818, 420, 14,
        [](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, kPaper.darker(112));
            p.setPen(kPaper.darker(135));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        },
        "conversion trough"));
}

/// The windows of the file operations: the overwrite prompt, the copy-to-folder dialog, the wait
/// window's light body and its progress bar, and their text buttons (captions drawn by the buttons).
void FileOperationSkin(std::vector<Entry>& e)
{
    // Overwrite prompt (604 x 272): the question on paper, the five answers on the dark row below.
    e.push_back(Png(
        869, 604, 272,
        [](QPainter& p, const QRectF& r)
        {
            Background(p, r, false);
            Paper(p, QRectF(14, 14, r.width() - 28, 182));
        },
        "overwrite prompt"));
    // Copy to folder (444 x 250): the dialog is cut to (15, 14)-(429, 235); the rim around it is the
    // layered window's soft shadow.
    e.push_back(Png(
        521, 444, 250,
        [](QPainter& p, const QRectF&)
        {
            Background(p, QRectF(12, 11, 420, 227), true);
            Paper(p, QRectF(23, 58, 398, 104));
            Field(p, QRectF(30, 102, 256, 24));
        },
        "copy to folder"));
    // The wait windows (484 x 130, the size they give themselves): the dark frame around a light body, so
    // that their dark text reads.
    e.push_back(Png(
        448, 484, 130,
        [](QPainter& p, const QRectF& r)
        {
            Background(p, r, false);
            Paper(p, QRectF(10, 10, r.width() - 20, r.height() - 20));
        },
        "wait window"));
    States(e, {509, 510, 511, 512}, 119, 34, Glyph::None, false, "Browse (copy to folder)");
    States(e, {513, 514, 515, 516}, 112, 44, Glyph::None, false, "overwrite answers and Cancel");
    States(e, {517, 518, 519, 520}, 80, 44, Glyph::None, false, "OK (copy to folder)");
    e.push_back(Bmp(8901, 249, 17, ProgressFill, "copy progress bar"));
    e.push_back(Bmp(
        446, 249, 17,
        [](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, Qt::white);
            p.setPen(QColor(0xB4, 0xB9, 0xC4));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        },
        "copy progress trough"));
}

/// The About box of the program: its text buttons, the OK button and the small close button.
void AboutBoxSkin(std::vector<Entry>& e)
{
    States(e, {842, 843, 844, 845}, 200, 34, Glyph::None, false, "About: manual and update");
    BmpStates(e, {846, 848, 847, 849}, 100, 34, Glyph::None, "About: OK");
    States(e, {850, 851, 852}, 28, 28, Glyph::Close, false, "About: close");
}

/// The resolution list face of the capture panel and of the compact capture window, and the horizontal scroll
/// bar of its folder tree and thumbnail list (the vertical one is the settings lists' bar): arrows, channel,
/// the box's middle and its ends.
void CapturePanelSkin(std::vector<Entry>& e)
{
    // The background: the capture controls on the dark surface, the files (tree, list, file buttons and
    // the copy buttons) on a sheet of paper under their dark captions.
    e.push_back(Png(
        8902, 300, 475,
        [](QPainter& p, const QRectF& r)
        {
            Background(p, r, true);
            Paper(p, QRectF(8, 204, 284, 264));
        },
        "capture panel"));
    // The resolution list's face: the light field of the other drop-down lists, under their dark text.
    ComboFace(e, 623, 622, 624, "resolution list");
    auto arrow = [](bool leftward)
    {
        return [leftward](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, kRaised);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            const QPointF c = r.center();
            const qreal d = leftward ? -1 : 1;
            p.drawPolygon(QPolygonF({QPointF(c.x() - 2 * d, c.y() - 4), QPointF(c.x() - 2 * d, c.y() + 4),
                                     QPointF(c.x() + 2 * d, c.y())}));
        };
    };
    e.push_back(Bmp(593, 14, 14, arrow(true), "file views' horizontal bar, left"));
    e.push_back(Bmp(594, 14, 14, arrow(false), "file views' horizontal bar, right"));
    e.push_back(Bmp(
        595, 14, 14, [](QPainter& p, const QRectF& r) { p.fillRect(r, kSurface); },
        "file views' horizontal bar, channel"));
    e.push_back(Bmp(
        596, 14, 14, [](QPainter& p, const QRectF& r) { p.fillRect(r.adjusted(0, 2, 0, -2), kEdgeLight); },
        "file views' horizontal bar, box"));
    for (int id : {783, 689})
        e.push_back(Bmp(
            id, 4, 14,
            [](QPainter& p, const QRectF& r)
            {
                p.fillRect(r, kSurface);
                p.fillRect(r.adjusted(0, 3, 0, -3), kEdgeLight);
            },
            "file views' horizontal bar, box ends"));
}

/// The countdown beside the capture button, the resolution-change notice and the placeholder strip.
void CaptureClockSkin(std::vector<Entry>& e)
{
    // Countdown (20 x 20, the size of the seconds label drawn over it in dark ink): a light disc whose
    // accent ring gains a quarter in each frame.
    for (int i = 0; i < 4; ++i)
        e.push_back(Bmp(
            562 + i, 20, 20,
            [=](QPainter& p, const QRectF& r)
            {
                p.fillRect(r, kSurface);
                p.setRenderHint(QPainter::Antialiasing, true);
                p.setPen(Qt::NoPen);
                p.setBrush(kInk);
                p.drawEllipse(Inner(r, 1));
                p.setPen(QPen(kEdgeLight, 2));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(Inner(r, 2));
                p.setPen(QPen(kAccent, 2, Qt::SolidLine, Qt::FlatCap));
                p.drawArc(Inner(r, 2), 90 * 16, -(i + 1) * 90 * 16);
            },
            "countdown"));

    // Resolution-change notice (473 x 272): the product's name on the title strip, the dark texts and
    // the check box on the light body, OK at the bottom.
    e.push_back(Png(
        868, 473, 272, [](QPainter& p, const QRectF& r) { Background(p, r, true, true); },
        "resolution change notice"));
    e.push_back(Png(
        655, 29, 29, [](QPainter& p, const QRectF& r) { Button(p, r, State::Normal, Glyph::None, false); },
        "check box"));
    e.push_back(Png(
        656, 29, 29, [](QPainter& p, const QRectF& r) { Button(p, r, State::Pressed, Glyph::Tick, false); },
        "check box ticked"));
    States(e, {659, 660, 661, 662}, 87, 34, Glyph::None, false, "OK");

    // The placeholder: a thin, almost invisible strip, near-white at alpha 11.
    e.push_back(Png(
        888, 2, 150, [](QPainter& p, const QRectF& r) { p.fillRect(r, QColor(254, 254, 254, 11)); },
        "placeholder strip"));
}

/// A dialog of the web update library: the program's background with a title strip tall enough for the
/// product's name and the dialog's title under it.
void UpdateBackground(QPainter& p, const QRectF& r)
{
    Background(p, r, true, true);
    const QRectF body = Inner(r, 3);
    p.fillRect(QRectF(body.left() + 1, body.top() + 34, body.width() - 2, 22), kTitle);
    p.fillRect(QRectF(body.left() + 1, body.top() + 56, body.width() - 2, 2), kAccent);
    p.fillRect(QRectF(body.left() + 8, body.top() + 58, body.width() - 16, 6), kSurface);
}

/// Corrowin, the web update library: its two dialogs, their buttons, the progress bar and the check box.
std::vector<Entry> CorrowinSkin()
{
    std::vector<Entry> e;
    e.push_back(Png(1026, 435, 267, UpdateBackground, "update dialog"));
    e.push_back(Png(1011, 431, 234, UpdateBackground, "update question"));
    States(e, {1024, 1025, 1023}, 158, 34, Glyph::None, false, "text button");
    BmpStates(e, {1013, 1016, 1014, 1015}, 75, 23, Glyph::None, "Cancel");
    BmpStates(e, {1020, 1022, 1021}, 27, 27, Glyph::Close, "close");
    e.push_back(Bmp(
        1017, 386, 18,
        [](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, kPaper);
            p.fillRect(Inner(r, 1), kSurface);
            p.setPen(kEdge);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        },
        "progress trough"));
    e.push_back(Bmp(1018, 386, 18, MeterFill, "progress bar"));
    e.push_back(Png(
        1029, 20, 20, [](QPainter& p, const QRectF& r) { Button(p, r, State::Normal, Glyph::None, false); },
        "check box"));
    e.push_back(Png(
        1030, 20, 20, [](QPainter& p, const QRectF& r) { Button(p, r, State::Pressed, Glyph::Tick, false); },
        "check box ticked"));
    return e;
}

std::vector<Entry> Skin()
{
    std::vector<Entry> e;
    auto bg = [&](int id, int w, int h, bool title, const char* note, bool paper = false)
    {
        e.push_back(Png(
            id, w, h, [=](QPainter& p, const QRectF& r) { Background(p, r, title, paper); }, note));
    };

    // Dialog backgrounds.
    bg(872, 433, 475, true, "main window");
    bg(841, 460, 383, true, "About box", true);
    bg(871, 208, 246, true, "compact capture window");
    bg(881, 70, 71, false, "full-screen exit window");

    // Main window buttons.
    States(e, {634, 8903, 633, 635, 632}, 40, 40, Glyph::Panel, false, "capture panel toggle");
    States(e, {195, 196}, 32, 32, Glyph::Sliders, false, "webcam video settings");
    States(e, {199, 200}, 32, 32, Glyph::Mic, false, "audio settings");
    States(e, {252, 253, 254, 255}, 31, 32, Glyph::Close, false, "close");
    States(e, {2261, 2262, 2263}, 31, 32, Glyph::Minimise, false, "minimise");
    States(e, {8894, 8895}, 32, 32, Glyph::Info, false, "About");
    States(e, {8888, 8889, 8890, 8914}, 32, 32, Glyph::Mic, false, "mute");
    States(e, {8892, 8893}, 32, 32, Glyph::MicOff, false, "unmute");
    States(e, {873, 875}, 32, 32, Glyph::FullScreen, false, "full screen");
    States(e, {880, 879}, 50, 50, Glyph::ExitFullScreen, true, "leave full screen");
    BmpStates(e, {397, 400, 398}, 87, 97, Glyph::Refresh, "refresh the device lists");
    // Microphone level: the bar and its trough.
    e.push_back(Bmp(636, 100, 10, MeterFill, "level bar"));
    e.push_back(Bmp(
        638, 100, 10,
        [](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, kSurface);
            p.setPen(kEdge);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        },
        "level trough"));

    // Capture panel.
    const State four[] = {State::Normal, State::Hover, State::Pressed, State::Disabled};
    for (int i = 0; i < 4; ++i)
    {
        const State s = four[i];
        e.push_back(Png(
            449 + i, 56, 56, [=](QPainter& p, const QRectF& r) { CaptureButton(p, r, s); }, "capture"));
    }
    States(e, {8898, 8899, 8900}, 42, 44, Glyph::Camera, false, "photo mode");
    States(e, {771, 772, 773}, 42, 44, Glyph::Burst, false, "burst mode");
    States(e, {774, 775, 776}, 42, 44, Glyph::Timer, false, "self-timer mode");
    States(e, {777, 778, 779}, 42, 44, Glyph::Video, false, "video mode");
    States(e, {646, 647, 648}, 39, 39, Glyph::Gear, true, "capture settings");
    BmpStates(e, {780, 782, 781}, 27, 27, Glyph::Close, "close the panel");
    States(e, {422, 424, 425, 426}, 119, 24, Glyph::None, false, "Select all");
    States(e, {427, 428, 429, 430}, 59, 24, Glyph::None, false, "Open");
    States(e, {431, 432, 433, 434}, 79, 24, Glyph::None, false, "Delete");
    BmpStates(e, {435, 454, 453, 455}, 68, 47, Glyph::Folder, "copy to folder");
    BmpStates(e, {436, 457, 456, 458}, 68, 47, Glyph::Mail, "copy to e-mail");
    e.push_back(Bmp(
        664, 12, 12,
        [](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, kSurface);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(Qt::NoPen);
            p.setBrush(kRecord);
            p.drawEllipse(Inner(r, 1));
        },
        "recording dot"));
    CaptureSettingsSkin(e);
    FileOperationSkin(e);
    ConversionProgressSkin(e);
    CaptureClockSkin(e);
    CapturePanelSkin(e);
    AboutBoxSkin(e);

    // The transparent edit's caret: a light bar that reads on the dark surface.
    e.push_back(Bmp(
        861, 2, 14, [](QPainter& p, const QRectF& r) { p.fillRect(r, kInk); }, "edit caret"));
    return e;
}

/// Miravoc, the audio library: its settings dialog (texts in 0x333333 on the paper, the title in white).
void MiravocSkin(std::vector<Entry>& e)
{
    // The key colour of the slider's thumbs, left out when they are drawn.
    const QColor key(255, 2, 247);
    e.push_back(Png(
        129, 360, 520, [](QPainter& p, const QRectF& r) { Background(p, r, true, true); },
        "audio settings dialog"));

    // Level meter: the lit bar, lighter toward the top, and its trough.
    e.push_back(Bmp(
        130, 17, 222,
        [](QPainter& p, const QRectF& r)
        {
            QLinearGradient g(r.bottomLeft(), r.topLeft());
            g.setColorAt(0, kAccentDark);
            g.setColorAt(1, kAccent.lighter(125));
            p.fillRect(r, g);
            for (qreal y = r.top() + 5; y < r.bottom(); y += 6)
                p.fillRect(QRectF(r.left(), y, r.width(), 1), kPaper);
        },
        "level meter"));
    e.push_back(Bmp(
        142, 17, 222,
        [](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, kRaised);
            for (qreal y = r.top() + 5; y < r.bottom(); y += 6)
                p.fillRect(QRectF(r.left(), y, r.width(), 1), kPaper);
            p.setPen(kEdge);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        },
        "level meter trough"));

    // Volume slider: a groove on the paper, and a flat knob as long as the trackbar's thumb (20 px).
    e.push_back(Bmp(
        133, 24, 222,
        [](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, kPaper);
            const QRectF groove(r.center().x() - 2, r.top() + 8, 4, r.height() - 16);
            p.fillRect(groove, kEdge);
            p.fillRect(QRectF(groove.left(), groove.top(), 1, groove.height()), kSurface);
        },
        "volume slider channel"));
    auto knob = [key](const QColor& face, const QColor& edge)
    {
        return [=](QPainter& p, const QRectF& r)
        {
            // Crisp edges: a blended edge pixel would not match the key colour.
            p.fillRect(r, key);
            const QRectF body = r.adjusted(1, 2, -1, -2);
            p.fillRect(body, edge);
            p.fillRect(body.adjusted(1, 1, -1, -1), face);
            p.fillRect(QRectF(body.left() + 4, r.center().y() - 0.5, body.width() - 8, 1), kInk);
        };
    };
    e.push_back(Bmp(131, 24, 20, knob(kAccentDark, kAccent), "volume slider thumb"));
    e.push_back(Bmp(132, 24, 20, knob(kRaised, kEdge), "volume slider thumb, disabled"));

    // OK and Cancel: text buttons (the captions are drawn by the buttons).
    States(e, {134, 135, 136}, 80, 44, Glyph::None, false, "OK");
    States(e, {169, 170, 171}, 112, 44, Glyph::None, false, "Cancel");
    // Mute and unmute; one disabled look for both.
    States(e, {1023, 1024, 1025, 1029}, 37, 30, Glyph::Mic, false, "mute");
    States(e, {1027, 1028}, 37, 30, Glyph::MicOff, false, "unmute");
    // The noise-cancellation check box.
    const std::pair<int, State> boxes[] = {
        {1030, State::Normal}, {176, State::Hover}, {1031, State::Pressed}, {1032, State::Disabled}};
    for (const auto& [id, state] : boxes)
        e.push_back(Png(
            id, 29, 29,
            [state](QPainter& p, const QRectF& r)
            { Button(p, r, state, state == State::Pressed ? Glyph::Tick : Glyph::None, false); },
            "noise-cancellation check box"));

    // Bitmap buttons: the close cross on the title strip, the sound settings button on the paper.
    const std::pair<int, State> closes[] = {{165, State::Normal}, {168, State::Pressed}, {167, State::Hover}};
    for (const auto& [id, state] : closes)
        e.push_back(Bmp(
            id, 26, 26,
            [state](QPainter& p, const QRectF& r) { Button(p, r, state, Glyph::Close, false, kTitle); },
            "close the audio settings"));
    const std::pair<int, State> panels[] = {{138, State::Normal}, {140, State::Pressed}, {139, State::Hover}};
    for (const auto& [id, state] : panels)
        e.push_back(Bmp(
            id, 37, 34,
            [state](QPainter& p, const QRectF& r) { Button(p, r, state, Glyph::Sliders, false, kPaper); },
            "system sound settings"));

    // Microphone chooser and its drop-down's scroll bar.
    ComboFace(e, 154, 153, 155, "microphone chooser");
    ComboScrollBar(e, 160, 161, 162, 163, {164}, "chooser scroll bar");

    // The band behind the noise-cancellation row.
    e.push_back(Bmp(
        175, 336, 40,
        [](QPainter& p, const QRectF& r)
        {
            p.fillRect(r, kPaper);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(QPen(kEdgeLight, 1));
            p.setBrush(kPaper.darker(106));
            p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        },
        "noise-cancellation row"));
}

/// The audio settings' icon: the microphone on the program's tile.
void MicrophoneIcon(QPainter& p, const QRectF& r)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kEdgeLight, 1));
    p.setBrush(kTitle);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), r.width() * 0.22, r.width() * 0.22);
    DrawGlyph(p, Glyph::Mic, r.adjusted(r.width() * 0.05, r.width() * 0.05, 0, 0), kAccent);
}

/// An icon or cursor resource: one picture per size, each painted at its own size rather than scaled.
struct Pointer
{
    int id;
    bool cursor;
    std::vector<int> sizes;
    QPoint hotSpot; // cursors, at their only size
    std::function<void(QPainter&, const QRectF&)> paint;
    const char* note;
};

/// The program's icon: a webcam on the dark surface, its lens ringed in the accent colour. From 32 pixels
/// up the camera stands on a foot and shows the recording light.
void ProgramIcon(QPainter& p, const QRectF& r)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal s = r.width();
    const QRectF tile = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient face(tile.topLeft(), tile.bottomLeft());
    face.setColorAt(0, kTitle);
    face.setColorAt(1, kSurface);
    p.setPen(QPen(kEdgeLight, 1));
    p.setBrush(face);
    p.drawRoundedRect(tile, s * 0.22, s * 0.22);

    const bool detailed = s >= 32;
    const QPointF c(r.center().x(), r.center().y() - (detailed ? s * 0.06 : 0));
    const qreal body = s * (detailed ? 0.30 : 0.36);
    if (detailed)
    {
        p.setPen(QPen(kEdgeLight, s / 16, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(c.x(), c.y() + body), QPointF(c.x(), r.bottom() - s * 0.16));
        p.setPen(Qt::NoPen);
        p.setBrush(kEdgeLight);
        p.drawRoundedRect(QRectF(c.x() - s * 0.2, r.bottom() - s * 0.19, s * 0.4, s * 0.07), s * 0.035,
                          s * 0.035);
    }
    p.setPen(QPen(kEdgeLight, std::max<qreal>(1, s / 32)));
    p.setBrush(kRaised);
    p.drawEllipse(c, body, body);
    p.setPen(QPen(kAccent, std::max<qreal>(1.5, s / 14)));
    p.setBrush(kSurface);
    p.drawEllipse(c, body * 0.62, body * 0.62);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QPointF(c.x() - body * 0.22, c.y() - body * 0.22), body * 0.13, body * 0.13);
    if (detailed)
    {
        p.setBrush(kRecord);
        p.drawEllipse(QPointF(c.x() + body * 0.68, c.y() - body * 0.68), s * 0.045, s * 0.045);
    }
}

/// The edit fields' pointer: a text beam in the light ink with a dark rim, so that it reads over the dark
/// surface and over light fields alike; the hot spot is the middle of the beam.
void TextBeam(QPainter& p, const QRectF&)
{
    const QRect parts[] = {QRect(12, 7, 3, 1), QRect(16, 7, 3, 1), QRect(15, 8, 1, 16), QRect(12, 24, 3, 1),
                           QRect(16, 24, 3, 1)};
    for (const QRect& part : parts)
        p.fillRect(part.adjusted(-1, -1, 1, 1), kSurface);
    for (const QRect& part : parts)
        p.fillRect(part, kInk);
}

std::vector<Pointer> Pointers(const QString& module)
{
    if (module == "corrowin")
        return {};
    if (module == "miravoc")
        return {{128, false, {16, 32}, {}, MicrophoneIcon, "audio settings icon"}};
    return {
        {7, false, {16, 32, 48}, {}, ProgramIcon, "program icon"},
        {860, true, {32}, QPoint(15, 16), TextBeam, "edit field pointer"},
    };
}

/// The images of one module, named by its skin folder: the program's, or a library's.
std::vector<Entry> SkinOf(const QString& module)
{
    if (module == "corrowin")
        return CorrowinSkin();
    if (module != "miravoc")
        return Skin();
    std::vector<Entry> e;
    MiravocSkin(e);
    return e;
}

/// The pictures of an icon or cursor file (.ico / .cur): the directory, then each picture as a 32-bit
/// bottom-up DIB with alpha (its header's height counting the mask rows) followed by its mask, set where
/// the picture is fully transparent. A cursor's entries carry its hot spot.
QByteArray IconFile(const Pointer& pointer, const std::vector<QImage>& pictures)
{
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    std::vector<QByteArray> images;
    for (const QImage& picture : pictures)
    {
        QByteArray dib;
        QDataStream d(&dib, QIODevice::WriteOnly);
        d.setByteOrder(QDataStream::LittleEndian);
        const int w = picture.width();
        const int h = picture.height();
        const int maskStride = ((w + 31) / 32) * 4;
        d << quint32(40) << qint32(w) << qint32(2 * h) << quint16(1) << quint16(32) << quint32(0)
          << quint32(w * h * 4 + maskStride * h) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
        for (int y = h - 1; y >= 0; --y)
            for (int x = 0; x < w; ++x)
            {
                const QRgb c = picture.pixel(x, y);
                d << quint8(qBlue(c)) << quint8(qGreen(c)) << quint8(qRed(c)) << quint8(qAlpha(c));
            }
        for (int y = h - 1; y >= 0; --y)
        {
            QByteArray row(maskStride, '\0');
            for (int x = 0; x < w; ++x)
                if (qAlpha(picture.pixel(x, y)) == 0)
                    row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            d.writeRawData(row.constData(), row.size());
        }
        images.push_back(dib);
    }
    out << quint16(0) << quint16(pointer.cursor ? 2 : 1) << quint16(pictures.size());
    quint32 offset = 6 + 16 * static_cast<quint32>(pictures.size());
    for (std::size_t i = 0; i < pictures.size(); ++i)
    {
        const int w = pictures[i].width();
        const int h = pictures[i].height();
        out << quint8(w >= 256 ? 0 : w) << quint8(h >= 256 ? 0 : h) << quint8(0) << quint8(0);
        if (pointer.cursor)
            out << quint16(pointer.hotSpot.x()) << quint16(pointer.hotSpot.y());
        else
            out << quint16(1) << quint16(32);
        out << quint32(images[i].size()) << offset;
        offset += static_cast<quint32>(images[i].size());
    }
    for (const QByteArray& image : images)
        out.writeRawData(image.constData(), image.size());
    return file;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: skinpainter <output folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QFile rc(folder + "/skin.rc");
    if (!rc.open(QIODevice::WriteOnly | QIODevice::Truncate))
    {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(rc.fileName()));
        return 1;
    }
    QTextStream out(&rc);
    out << "// Skin images painted by tools/skinpainter; generated, do not edit.\n"
           "// Paths are relative to the .rc that includes this file (resources/<module>/).\n";
    const QString module = QDir(folder).dirName();
    const QString relative = "../skin/" + module + "/";
    for (const Entry& entry : SkinOf(module))
    {
        QImage image(entry.width, entry.height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            entry.paint(painter, QRectF(0, 0, entry.width, entry.height));
        }
        const QString name = QString::number(entry.id) + (entry.png ? ".png" : ".bmp");
        const QImage saved = entry.png ? image.convertToFormat(QImage::Format_ARGB32)
                                       : image.convertToFormat(QImage::Format_RGB888);
        if (!saved.save(folder + "/" + name))
        {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
        out << entry.id << (entry.png ? " PNG " : " BITMAP ") << "\"" << relative << name << "\" // "
            << QString::fromStdString(entry.note) << "\n";
    }
    for (const Pointer& pointer : Pointers(module))
    {
        std::vector<QImage> pictures;
        for (int size : pointer.sizes)
        {
            QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            {
                QPainter painter(&image);
                pointer.paint(painter, QRectF(0, 0, size, size));
            }
            pictures.push_back(image.convertToFormat(QImage::Format_ARGB32));
        }
        const QString name = QString::number(pointer.id) + (pointer.cursor ? ".cur" : ".ico");
        QFile file(folder + "/" + name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(IconFile(pointer, pictures)) < 0)
        {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
        out << pointer.id << (pointer.cursor ? " CURSOR " : " ICON ") << "\"" << relative << name << "\" // "
            << pointer.note << "\n";
    }
    return 0;
}
