// The multi-line edit control (ES_MULTILINE): a QPlainTextEdit inside the window whose viewport is the
// formatting rectangle, driven by the edit messages. Line breaks are "\r\n" in the texts the messages
// carry and count as two characters in their positions.

#include "platform/win/CString.h"
#include "platform/window/EditInternal.h"
#include "platform/window/GdiInternal.h"
#include "platform/window/WindowInternal.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace platform::window::detail
{
namespace
{
constexpr int kDefaultLimit = 32767;

/// The plain-text widget with what the edit styles add: digits only (ES_NUMBER), a length limit, the
/// formatting rectangle as viewport margins, and a text cursor that follows the caret module.
class EditText : public QPlainTextEdit
{
public:
    explicit EditText(QWidget* parent) : QPlainTextEdit(parent) {}

    bool digitsOnly = false;
    int limit = kDefaultLimit;

    void SetFormattingRect(const QMargins& margins) { setViewportMargins(margins); }

    /// Whether `added` may replace the selection: digits only when asked, and within the limit.
    bool Accepts(const QString& added) const
    {
        if (digitsOnly && !AllDigits(added))
            return false;
        const QTextCursor cursor = textCursor();
        const auto selected = cursor.selectionEnd() - cursor.selectionStart();
        return document()->characterCount() - 1 - selected + added.size() <= limit;
    }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        const QString typed = e->text();
        const bool printable = !typed.isEmpty() && typed.front().isPrint() &&
                               !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (printable && !Accepts(typed))
        {
            e->accept();
            return;
        }
        QPlainTextEdit::keyPressEvent(e);
    }
    bool canInsertFromMimeData(const QMimeData* source) const override
    {
        return source->hasText() && Accepts(source->text());
    }
    void insertFromMimeData(const QMimeData* source) override
    {
        // Pasted or dropped text is refused whole, as typing it would be refused key by key.
        if (source->hasText() && Accepts(source->text()))
            QPlainTextEdit::insertFromMimeData(source);
    }
};

EditText* TextOf(const EditState& st)
{
    return static_cast<EditText*>(st.text);
}

/// The control's text as the messages carry it: "\r\n" between lines.
QString WindowsText(const QPlainTextEdit& text)
{
    QString plain = text.toPlainText();
    plain.replace(u'\n', QStringLiteral("\r\n"));
    return plain;
}

/// The document position of a byte offset into the message text (negative: the end). An offset between
/// "\r" and "\n" lies before the line break.
int ToDocumentPosition(const QPlainTextEdit& text, LPARAM byteOffset)
{
    const QString windows = WindowsText(text);
    const QByteArray utf8 = windows.toUtf8();
    const qsizetype bytes = byteOffset < 0 ? utf8.size() : std::min<qsizetype>(byteOffset, utf8.size());
    const QString before = QString::fromUtf8(utf8.left(bytes));
    return static_cast<int>(before.size() - before.count(QStringLiteral("\r\n")) -
                            (before.endsWith(u'\r') ? 1 : 0));
}

/// The byte offset in the message text of a document position.
LRESULT ToByteOffset(const QPlainTextEdit& text, int position)
{
    QString before = text.toPlainText().left(position);
    before.replace(u'\n', QStringLiteral("\r\n"));
    return static_cast<LRESULT>(before.toUtf8().size());
}

/// The number of lines as laid out in the formatting rectangle (wrapped lines count each).
int LaidOutLines(const QPlainTextEdit& text)
{
    int lines = 0;
    for (QTextBlock block = text.document()->begin(); block.isValid(); block = block.next())
    {
        const QTextLayout* layout = block.layout();
        lines += layout && layout->lineCount() > 0 ? layout->lineCount() : 1;
    }
    return std::max(lines, 1);
}

void SetText(EditState& st, const QString& value)
{
    st.quiet = true;
    QString plain = value;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    st.text->setPlainText(plain);
    st.quiet = false;
}

void ApplyStyle(EditState& st, DWORD style)
{
    EditText* text = TextOf(st);
    text->setReadOnly((style & ES_READONLY) != 0);
    text->digitsOnly = (style & ES_NUMBER) != 0;
    text->setVerticalScrollBarPolicy((style & WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    text->setHorizontalScrollBarPolicy((style & WS_HSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    QTextOption option = text->document()->defaultTextOption();
    option.setAlignment((style & ES_CENTER)  ? Qt::AlignHCenter
                        : (style & ES_RIGHT) ? Qt::AlignRight
                                             : Qt::AlignLeft);
    text->document()->setDefaultTextOption(option);
    // Without ES_AUTOHSCROLL lines wrap at the right of the formatting rectangle.
    text->setLineWrapMode((style & ES_AUTOHSCROLL) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
}

void ApplyFormattingRect(EditState& st)
{
    const RECT& m = st.margins;
    TextOf(st)->SetFormattingRect(QMargins(std::max<LONG>(0, m.left), std::max<LONG>(0, m.top),
                                           std::max<LONG>(0, m.right), std::max<LONG>(0, m.bottom)));
}
} // namespace

BOOL CreateMultilineEdit(HWND hwnd, const CREATESTRUCTA* cs)
{
    auto w = Find(hwnd);
    if (!w || !w->widget)
        return FALSE;
    auto state = std::make_shared<EditState>();
    auto* text = new EditText(w->widget);
    state->text = text;
    text->setFrameShape(QFrame::NoFrame);
    text->setAutoFillBackground(false);
    text->viewport()->setAutoFillBackground(false);
    // The formatting rectangle is the viewport: no margin of the document's own inside it.
    text->document()->setDocumentMargin(0);
    text->setCursorWidth(EditCaret().create ? 0 : 1);
    RouteEditInput(hwnd, text);
    RouteEditInput(hwnd, text->viewport());
    w->widget->setFocusProxy(text);
    w->controlState = state;
    ApplyStyle(*state, w->style);
    QObject::connect(text, &QPlainTextEdit::textChanged, [hwnd] { EditTextChanged(hwnd); });
    if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName))
        SetText(*state, QString::fromUtf8(cs->lpszName));
    text->show();
    return TRUE;
}

LRESULT MultilineEditProc(HWND hwnd, EditState& st, UINT msg, WPARAM wParam, LPARAM lParam)
{
    EditText* text = TextOf(st);
    switch (msg)
    {
    case WM_SETTEXT:
        SetText(st, QString::fromUtf8(lParam ? reinterpret_cast<const char*>(lParam) : ""));
        st.modified = false;
        NotifyEditParent(hwnd, EN_UPDATE);
        NotifyEditParent(hwnd, EN_CHANGE);
        return TRUE;
    case WM_GETTEXT:
    {
        if (!lParam || wParam == 0)
            return 0;
        const QByteArray bytes = WindowsText(*text).toUtf8();
        return static_cast<LRESULT>(platform::CopyTruncated(
            reinterpret_cast<char*>(lParam), wParam, std::string_view(bytes.constData(), bytes.size())));
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(WindowsText(*text).toUtf8().size());
    case WM_SETFONT:
        st.font = reinterpret_cast<HFONT>(wParam);
        if (auto f = platform::gdi::detail::LookupAs<platform::gdi::detail::Font>(
                reinterpret_cast<HGDIOBJ>(wParam), platform::gdi::detail::Kind::Font))
            text->setFont(f->qfont);
        return 0;
    case WM_SETFOCUS:
        text->setFocus(Qt::OtherFocusReason);
        if (EditCaret().create && EditCaret().create(hwnd, nullptr, 1, text->fontMetrics().height()) &&
            EditCaret().show)
            EditCaret().show(hwnd);
        NotifyEditParent(hwnd, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (EditCaret().destroyOwnedBy)
            EditCaret().destroyOwnedBy(hwnd);
        NotifyEditParent(hwnd, EN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
    case WM_STYLECHANGED:
        ApplyStyle(st, static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)));
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case EM_SETSEL:
    {
        QTextCursor cursor = text->textCursor();
        if (static_cast<int>(wParam) < 0)
        {
            cursor.clearSelection();
            text->setTextCursor(cursor);
            return 0;
        }
        // The cursor ends at the second position: a backward selection keeps its moving end first.
        cursor.setPosition(ToDocumentPosition(*text, static_cast<int>(wParam)));
        cursor.setPosition(ToDocumentPosition(*text, lParam), QTextCursor::KeepAnchor);
        text->setTextCursor(cursor);
        return 0;
    }
    case EM_GETSEL:
    {
        const QTextCursor cursor = text->textCursor();
        const LRESULT a = ToByteOffset(*text, cursor.selectionStart());
        const LRESULT b = ToByteOffset(*text, cursor.selectionEnd());
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(a);
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(b);
        return MAKELRESULT(static_cast<int>(a), static_cast<int>(b));
    }
    case EM_REPLACESEL:
    {
        QString inserted = QString::fromUtf8(lParam ? reinterpret_cast<const char*>(lParam) : "");
        inserted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text->insertPlainText(inserted);
        return 0;
    }
    case EM_LIMITTEXT:
        text->limit = wParam == 0 ? kDefaultLimit : static_cast<int>(std::min<WPARAM>(wParam, kDefaultLimit));
        return 0;
    case EM_GETLIMITTEXT:
        return text->limit;
    case EM_CANUNDO:
        return text->document()->isUndoAvailable() ? TRUE : FALSE;
    case EM_UNDO:
    case WM_UNDO:
        text->undo();
        return TRUE;
    case EM_EMPTYUNDOBUFFER:
        text->document()->clearUndoRedoStacks();
        return 0;
    case EM_SETRECT:
    case EM_SETRECTNP:
        if (lParam)
        {
            RECT c;
            GetClientRect(hwnd, &c);
            const auto* r = reinterpret_cast<const RECT*>(lParam);
            st.margins = RECT{r->left, r->top, c.right - r->right, c.bottom - r->bottom};
            ApplyFormattingRect(st);
        }
        return 0;
    case EM_SETMARGINS:
        if (wParam & EC_LEFTMARGIN)
            st.margins.left = static_cast<short>(LOWORD(static_cast<DWORD_PTR>(lParam)));
        if (wParam & EC_RIGHTMARGIN)
            st.margins.right = static_cast<short>(HIWORD(static_cast<DWORD_PTR>(lParam)));
        ApplyFormattingRect(st);
        return 0;
    case EM_SCROLLCARET:
        text->ensureCursorVisible();
        return TRUE;
    case EM_GETLINECOUNT:
        return LaidOutLines(*text);
    case EM_LINELENGTH:
    {
        // The length of the paragraph holding the character (-1: the cursor's), without its line break.
        const int at = static_cast<int>(wParam) < 0 ? text->textCursor().position()
                                                    : ToDocumentPosition(*text, static_cast<LPARAM>(wParam));
        const QTextBlock block = text->document()->findBlock(at);
        return block.isValid() ? static_cast<LRESULT>(block.text().toUtf8().size()) : 0;
    }
    case WM_CUT:
        text->cut();
        return 0;
    case WM_COPY:
        text->copy();
        return 0;
    case WM_PASTE:
        text->paste();
        return 0;
    case WM_CLEAR:
        text->textCursor().removeSelectedText();
        return 0;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

bool ShowMultilineCursor(QWidget* widget, bool shown)
{
    auto* text = dynamic_cast<EditText*>(widget);
    if (!text)
        return false;
    text->setCursorWidth(shown ? 1 : 0);
    return true;
}
} // namespace platform::window::detail
