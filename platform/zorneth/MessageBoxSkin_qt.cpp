#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinUser.h"
#include "platform/zorneth/Zorneth.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace
{
std::mutex g_scriptLock;
std::optional<std::deque<int>> g_script;
std::vector<platform::zorneth::ShownBox> g_shown;

// One dark surface and one accent; text and buttons keep a contrast well above 4.5:1.
const QColor kSurface(0x20, 0x23, 0x2A);
const QColor kBand(0x2B, 0x2F, 0x38);
const QColor kAccent(0x2E, 0x9C, 0xE6);
const QColor kText(0xEC, 0xEE, 0xF1);

QString Caption(LPCSTR given, const char* english)
{
    return QString::fromUtf8(given && *given ? given : english);
}

/// The skinned box: a caption band, an icon drawn in the accent (or a warning colour), the text and the
/// buttons of the style.
class SkinBox final : public QDialog
{
public:
    SkinBox(QWidget* parent, const QString& caption, const QString& text, UINT style) : QDialog(parent)
    {
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint |
                       ((style & MB_TOPMOST) ? Qt::WindowStaysOnTopHint : Qt::WindowFlags()));
        setWindowTitle(caption);
        m_icon = style & MB_ICONMASK;
        m_caption = caption;
        auto* outer = new QVBoxLayout(this);
        outer->setContentsMargins(m_icon ? 76 : 20, kBandHeight + 16, 20, 16);
        outer->setSpacing(18);
        auto* label = new QLabel(text, this);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(260);
        label->setStyleSheet(QString("color: %1;").arg(kText.name()));
        outer->addWidget(label);
        m_buttons = new QHBoxLayout;
        m_buttons->addStretch(1);
        outer->addLayout(m_buttons);
        setStyleSheet(
            QString("QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 4px;"
                    " padding: 5px 18px; min-width: 64px; }"
                    "QPushButton:default, QPushButton:focus { background: %3; color: #0B1A26; }")
                .arg(kBand.name(), kText.name(), kAccent.name()));
    }

    void AddButton(const QString& text, int id, bool isDefault)
    {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(true);
        button->setDefault(isDefault);
        connect(button, &QPushButton::clicked, this, [this, id] { done(id); });
        m_buttons->addWidget(button);
        if (isDefault)
            button->setFocus();
    }

    void SetEscapeResult(int id) { m_escape = id; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), kSurface);
        p.fillRect(QRect(0, 0, width(), kBandHeight), kBand);
        p.fillRect(QRect(0, kBandHeight - 2, width(), 2), kAccent);
        p.setPen(kText);
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(14, 0, width() - 28, kBandHeight - 2), Qt::AlignVCenter | Qt::AlignLeft, m_caption);
        if (m_icon)
            PaintIcon(p, QRectF(20, kBandHeight + 16, 40, 40));
        p.setPen(kAccent);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
        {
            done(m_escape);
            return;
        }
        QDialog::keyPressEvent(event);
    }

    void reject() override { done(m_escape); }

private:
    static constexpr int kBandHeight = 32;

    void PaintIcon(QPainter& p, const QRectF& r) const
    {
        QColor colour = kAccent;
        QString glyph = "i";
        if (m_icon == MB_ICONHAND)
        {
            colour = QColor(0xE5, 0x4B, 0x4B);
            glyph = QString::fromUtf8("\u00D7");
        }
        else if (m_icon == MB_ICONEXCLAMATION)
        {
            colour = QColor(0xF2, 0xB1, 0x34);
            glyph = "!";
        }
        else if (m_icon == MB_ICONQUESTION)
            glyph = "?";
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        if (m_icon == MB_ICONEXCLAMATION)
        {
            QPainterPath triangle;
            triangle.moveTo(r.center().x(), r.top());
            triangle.lineTo(r.right(), r.bottom());
            triangle.lineTo(r.left(), r.bottom());
            triangle.closeSubpath();
            p.drawPath(triangle);
        }
        else
            p.drawEllipse(r);
        QFont f = font();
        f.setBold(true);
        f.setPixelSize(int(r.height() * 0.6));
        p.setFont(f);
        p.setPen(QColor(0x10, 0x12, 0x16));
        p.drawText(r.adjusted(0, m_icon == MB_ICONEXCLAMATION ? 6 : 0, 0, 0), Qt::AlignCenter, glyph);
    }

    UINT m_icon = 0;
    QString m_caption;
    QHBoxLayout* m_buttons = nullptr;
    int m_escape = IDCANCEL;
};

int ShowBox(LPCSTR ok, LPCSTR cancel, LPCSTR yes, LPCSTR no, HWND owner, LPCSTR text, LPCSTR caption,
            UINT style)
{
    QWidget* parent = owner ? platform::window::HostWidgetOf(owner) : nullptr;
    SkinBox box(parent, QString::fromUtf8(caption ? caption : ""), QString::fromUtf8(text ? text : ""),
                style);
    struct Button
    {
        QString text;
        int id;
    };
    std::vector<Button> buttons;
    int escape = IDOK;
    switch (style & MB_TYPEMASK)
    {
    case MB_OKCANCEL:
        buttons = {{Caption(ok, "OK"), IDOK}, {Caption(cancel, "Cancel"), IDCANCEL}};
        escape = IDCANCEL;
        break;
    case MB_YESNO:
        buttons = {{Caption(yes, "&Yes"), IDYES}, {Caption(no, "&No"), IDNO}};
        escape = IDNO;
        break;
    case MB_YESNOCANCEL:
        buttons = {
            {Caption(yes, "&Yes"), IDYES}, {Caption(no, "&No"), IDNO}, {Caption(cancel, "Cancel"), IDCANCEL}};
        escape = IDCANCEL;
        break;
    default:
        buttons = {{Caption(ok, "OK"), IDOK}};
        break;
    }
    const std::size_t defIndex = (style & MB_DEFMASK) >> 8;
    for (std::size_t i = 0; i < buttons.size(); ++i)
        box.AddButton(buttons[i].text, buttons[i].id, i == (defIndex < buttons.size() ? defIndex : 0));
    box.SetEscapeResult(escape);
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner)
        EnableWindow(owner, FALSE);
    const int result = platform::window::RunDialogInMessageLoop(box);
    if (disableOwner && IsWindow(owner))
        EnableWindow(owner, TRUE);
    return result;
}
} // namespace

int MessageBoxSkinEx(LPCSTR okCaption, LPCSTR cancelCaption, LPCSTR yesCaption, LPCSTR noCaption, HWND owner,
                     LPCSTR text, LPCSTR caption, UINT style)
{
    {
        std::lock_guard lock(g_scriptLock);
        if (g_script)
        {
            auto text8 = [](LPCSTR s) { return std::string(s ? s : ""); };
            g_shown.push_back(
                {owner,
                 text8(text),
                 text8(caption),
                 style,
                 {text8(okCaption), text8(cancelCaption), text8(yesCaption), text8(noCaption)}});
            if (g_script->empty())
                return IDCANCEL;
            const int answer = g_script->front();
            g_script->pop_front();
            return answer;
        }
    }
    if (platform::window::IsShuttingDown())
        return 0;
    if (!QCoreApplication::instance() && ::gettid() == ::getpid())
    {
        // The first window of the program makes the application; a box may come before any window.
        static int argc = 1;
        static char name[] = "brevicam";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return 0;
    if (QThread::currentThread() == app->thread())
        return ShowBox(okCaption, cancelCaption, yesCaption, noCaption, owner, text, caption, style);
    // A worker's box is shown by the user-interface thread while the worker waits for the answer; the
    // wait gives up when the program closes, so a user-interface thread that waits for the worker in turn
    // cannot hang.
    int result = 0;
    platform::window::CallOnUiThread(
        [&]
        {
            if (!platform::window::IsShuttingDown())
                result =
                    ShowBox(okCaption, cancelCaption, yesCaption, noCaption, owner, text, caption, style);
        });
    return result;
}

namespace platform::zorneth
{
void SetScriptedAnswers(std::vector<int> answers)
{
    std::lock_guard lock(g_scriptLock);
    g_script.emplace(answers.begin(), answers.end());
    g_shown.clear();
}

void ClearScriptedAnswers()
{
    std::lock_guard lock(g_scriptLock);
    g_script.reset();
    g_shown.clear();
}

std::vector<ShownBox> ScriptedBoxes()
{
    std::lock_guard lock(g_scriptLock);
    return g_shown;
}
} // namespace platform::zorneth
