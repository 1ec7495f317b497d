// The edit control: a single-line QLineEdit inside the window, driven by the edit messages; ES_MULTILINE
// edits are made and driven by EditMultiline_qt.cpp.

#include "platform/win/CString.h"
#include "platform/window/EditInternal.h"
#include "platform/window/Extras.h"
#include "platform/window/GdiInternal.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WindowInternal.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QRegularExpressionValidator>

#include <algorithm>

namespace pg = platform::gdi::detail;

namespace platform::window::detail
{
namespace
{
platform::window::CaretFunctions g_caret;

/// The application's style, except that the text cursor has no width while the field does not show the
/// caret: the line edit has no other way to keep its cursor from blinking.
class CaretStyle : public QProxyStyle
{
public:
    bool hidden = false;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_TextCursorWidth && hidden)
            return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

/// Routes the line edit's input through the window layer: blocked while the window is disabled, queued as
/// window messages so that dialogs see their keys, and the dialog keys kept from Qt's own focus chain.
class EditFilter : public QObject
{
public:
    explicit EditFilter(HWND hwnd) : m_hwnd(hwnd) {}
    bool eventFilter(QObject* object, QEvent* e) override
    {
        auto w = Find(m_hwnd);
        if (!w)
            return false;
        switch (e->type())
        {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        {
            if (!IsInputEnabled(*w))
                return true;
            auto* key = static_cast<QKeyEvent*>(e);
            QueueKeyInput(m_hwnd, key, e->type() == QEvent::KeyPress);
            const int k = key->key();
            // Without ES_WANTRETURN the dialog's default button takes Enter, in a multi-line edit too.
            const bool wantReturn = (w->style & ES_MULTILINE) && (w->style & ES_WANTRETURN);
            return k == Qt::Key_Tab || k == Qt::Key_Backtab || k == Qt::Key_Escape ||
                   ((k == Qt::Key_Return || k == Qt::Key_Enter) && !wantReturn);
        }
        case QEvent::ShortcutOverride:
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        {
            if (!IsInputEnabled(*w))
                return true;
            auto* m = static_cast<QMouseEvent*>(e);
            QueueMouseInput(
                m_hwnd, m, e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick,
                e->type() == QEvent::MouseButtonRelease, e->type() == QEvent::MouseButtonDblClick);
            return false;
        }
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return !IsInputEnabled(*w);
        case QEvent::FocusIn:
        {
            const HWND self = m_hwnd;
            DeferUiWork([self] { FocusFromQt(self); });
            return false;
        }
        default:
            return QObject::eventFilter(object, e);
        }
    }

private:
    HWND m_hwnd;
};

EditState* StateOf(HWND hwnd)
{
    return EditStateOf(hwnd);
}

void Notify(HWND hwnd, UINT code)
{
    NotifyEditParent(hwnd, code);
}

/// Digits only, typed or pasted, while the style has ES_NUMBER; text set by a message is not checked.
void ApplyNumberStyle(QLineEdit* edit, DWORD style)
{
    const bool digits = (style & ES_NUMBER) != 0;
    if (digits == (edit->validator() != nullptr))
        return;
    if (!digits)
    {
        delete edit->validator();
        edit->setValidator(nullptr);
        return;
    }
    static const QRegularExpression kDigits(QStringLiteral("[0-9]*"));
    edit->setValidator(new QRegularExpressionValidator(kDigits, edit));
}

int ToQtPosition(const QString& text, LPARAM byteOffset)
{
    if (byteOffset < 0)
        return static_cast<int>(text.size());
    const QByteArray utf8 = text.toUtf8();
    const qsizetype bytes = std::min<qsizetype>(static_cast<qsizetype>(byteOffset), utf8.size());
    return static_cast<int>(QString::fromUtf8(utf8.left(bytes)).size());
}

LRESULT ToBytes(const QString& text, int position)
{
    return static_cast<LRESULT>(text.left(position).toUtf8().size());
}

/// Empties the field's own pixels under `rc`, so that the parent beneath shows through them again instead
/// of a fill left from a time the field had a background.
void ClearBackground(HDC dc, const RECT& rc)
{
    auto d = pg::LookupDc(dc);
    pg::Surface s;
    if (!d || !pg::SurfaceOf(*d, s))
        return;
    const QRect r(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    QPainter p;
    pg::BeginPainter(p, *d, s);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.fillRect(r, Qt::transparent);
    p.end();
    pg::Touched(*d, QRegion(r) & pg::DeviceClip(*d, s));
}

} // namespace

EditState* EditStateOf(HWND hwnd)
{
    auto w = Find(hwnd);
    return w && w->controlState ? static_cast<EditState*>(w->controlState.get()) : nullptr;
}

void NotifyEditParent(HWND hwnd, UINT code)
{
    if (!IsWindow(hwnd))
        return;
    if (HWND parent = GetParent(hwnd))
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
}

void RouteEditInput(HWND hwnd, QObject* object)
{
    auto* filter = new EditFilter(hwnd);
    filter->setParent(object);
    object->installEventFilter(filter);
}

void LayoutEdit(HWND hwnd)
{
    auto w = Find(hwnd);
    auto* st = StateOf(hwnd);
    if (!w || !st || !st->Widget())
        return;
    const RECT c = ClientRectOf(*w);
    st->Widget()->setGeometry(w->insets.left, w->insets.top, c.right, c.bottom);
}

const CaretFunctions& EditCaret()
{
    return g_caret;
}

bool AllDigits(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

void EditTextChanged(HWND hwnd)
{
    auto* s = StateOf(hwnd);
    if (!s || s->quiet)
        return;
    s->modified = true;
    // Handlers may destroy the control; they run after Qt is done with it.
    DeferUiWork(
        [hwnd]
        {
            Notify(hwnd, EN_UPDATE);
            Notify(hwnd, EN_CHANGE);
        });
}

bool SharedEditMessage(HWND hwnd, EditState& st, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (msg)
    {
    case WM_CREATE:
    case WM_SIZE:
        LayoutEdit(hwnd);
        return true;
    case WM_PAINT:
    {
        PAINTSTRUCT ps;
        if (HDC dc = BeginPaint(hwnd, &ps))
        {
            ApplyEditColours(hwnd, dc);
            EndPaint(hwnd, &ps);
        }
        return true;
    }
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_GETFONT:
        result = reinterpret_cast<LRESULT>(st.font);
        return true;
    case WM_GETDLGCODE:
        result = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        return true;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        // The Qt widget has handled the key itself already.
        return true;
    case EM_SETREADONLY:
    {
        DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
        style = wParam ? (style | ES_READONLY) : (style & ~ES_READONLY);
        SetWindowLongPtr(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
        result = TRUE;
        return true;
    }
    case EM_GETMODIFY:
        result = st.modified ? TRUE : FALSE;
        return true;
    case EM_SETMODIFY:
        st.modified = wParam != 0;
        return true;
    case EM_GETRECT:
        if (lParam)
        {
            RECT c;
            GetClientRect(hwnd, &c);
            const RECT m = st.margins;
            *reinterpret_cast<RECT*>(lParam) = RECT{m.left, m.top, c.right - m.right, c.bottom - m.bottom};
        }
        return true;
    default:
        return false;
    }
}

void ApplyEditColours(HWND hwnd, HDC dc)
{
    auto* st = StateOf(hwnd);
    if (!st || !st->Widget())
        return;
    const DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
    const bool readOnly = (style & ES_READONLY) || !IsWindowEnabled(hwnd);
    const HWND parent = GetParent(hwnd);
    const UINT msg = readOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(readOnly ? COLOR_BTNFACE : COLOR_WINDOW));
    HBRUSH brush = parent ? reinterpret_cast<HBRUSH>(SendMessage(parent, msg, reinterpret_cast<WPARAM>(dc),
                                                                 reinterpret_cast<LPARAM>(hwnd)))
                          : nullptr;
    if (!brush)
        brush = GetSysColorBrush(readOnly ? COLOR_BTNFACE : COLOR_WINDOW);
    RECT rc;
    GetClientRect(hwnd, &rc);
    auto b = pg::BrushOf(brush);
    const bool clear = !b || b->style == BS_NULL || GetBkMode(dc) == TRANSPARENT;
    if (b && b->style != BS_NULL)
        FillRect(dc, &rc, brush);
    else
        ClearBackground(dc, rc);
    QWidget* widget = st->Widget();
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, pg::ColorOf(GetTextColor(dc)));
    if (clear)
        palette.setColor(QPalette::Base, Qt::transparent);
    else
    {
        LOGBRUSH lb{};
        GetObject(brush, sizeof lb, &lb);
        palette.setColor(QPalette::Base, pg::ColorOf(lb.lbColor));
    }
    widget->setPalette(palette);
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* st = msg == WM_NCCREATE ? nullptr : StateOf(hwnd);
    LRESULT shared = 0;
    if (st && SharedEditMessage(hwnd, *st, msg, wParam, lParam, shared))
        return shared;
    if (st && st->text)
        return MultilineEditProc(hwnd, *st, msg, wParam, lParam);
    switch (msg)
    {
    case WM_NCCREATE:
    {
        auto w = Find(hwnd);
        if (!w || !w->widget)
            return FALSE;
        if (w->style & ES_MULTILINE)
            return CreateMultilineEdit(hwnd, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        auto state = std::make_shared<EditState>();
        state->edit = new QLineEdit(w->widget);
        state->edit->setFrame(false);
        state->edit->setAutoFillBackground(false);
        auto* caretStyle = new CaretStyle;
        caretStyle->setParent(state->edit);
        caretStyle->hidden = g_caret.create != nullptr;
        state->edit->setStyle(caretStyle);
        RouteEditInput(hwnd, state->edit);
        ApplyNumberStyle(state->edit, w->style);
        if (w->style & ES_PASSWORD)
            state->edit->setEchoMode(QLineEdit::Password);
        state->edit->setReadOnly((w->style & ES_READONLY) != 0);
        const Qt::Alignment align = (w->style & ES_CENTER)  ? Qt::AlignHCenter
                                    : (w->style & ES_RIGHT) ? Qt::AlignRight
                                                            : Qt::AlignLeft;
        state->edit->setAlignment(align | Qt::AlignVCenter);
        w->widget->setFocusProxy(state->edit);
        w->controlState = state;
        QObject::connect(state->edit, &QLineEdit::textChanged,
                         [hwnd](const QString&) { EditTextChanged(hwnd); });
        auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName))
        {
            state->quiet = true;
            state->edit->setText(QString::fromUtf8(cs->lpszName));
            state->quiet = false;
        }
        state->edit->show();
        return TRUE;
    }
    case WM_SETTEXT:
    {
        if (!st || !st->edit)
            return FALSE;
        st->quiet = true;
        st->edit->setText(QString::fromUtf8(lParam ? reinterpret_cast<const char*>(lParam) : ""));
        st->quiet = false;
        st->modified = false;
        Notify(hwnd, EN_UPDATE);
        Notify(hwnd, EN_CHANGE);
        return TRUE;
    }
    case WM_GETTEXT:
    {
        if (!st || !st->edit || !lParam || wParam == 0)
            return 0;
        const QByteArray text = st->edit->text().toUtf8();
        return static_cast<LRESULT>(platform::CopyTruncated(reinterpret_cast<char*>(lParam), wParam,
                                                            std::string_view(text.constData(), text.size())));
    }
    case WM_GETTEXTLENGTH:
        return st && st->edit ? static_cast<LRESULT>(st->edit->text().toUtf8().size()) : 0;
    case WM_SETFONT:
        if (st && st->edit)
        {
            st->font = reinterpret_cast<HFONT>(wParam);
            if (auto f = pg::LookupAs<pg::Font>(reinterpret_cast<HGDIOBJ>(wParam), pg::Kind::Font))
                st->edit->setFont(f->qfont);
        }
        return 0;
    case WM_SETFOCUS:
        if (st && st->edit)
            st->edit->setFocus(Qt::OtherFocusReason);
        // The field's own caret, shown, before the parent hears of the focus and may replace it.
        if (g_caret.create &&
            g_caret.create(hwnd, nullptr, 1, st && st->edit ? st->edit->fontMetrics().height() : 0) &&
            g_caret.show)
            g_caret.show(hwnd);
        Notify(hwnd, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (g_caret.destroyOwnedBy)
            g_caret.destroyOwnedBy(hwnd);
        Notify(hwnd, EN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
    case WM_STYLECHANGED:
        if (st && st->edit)
        {
            const DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
            st->edit->setReadOnly((style & ES_READONLY) != 0);
            ApplyNumberStyle(st->edit, style);
        }
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case EM_SETSEL:
        if (st && st->edit)
        {
            const QString text = st->edit->text();
            const auto start = static_cast<LPARAM>(static_cast<int>(wParam));
            if (start < 0)
            {
                st->edit->deselect();
                return 0;
            }
            const int a = ToQtPosition(text, start);
            const int b = ToQtPosition(text, lParam);
            // A negative length leaves the cursor at the selection's start, at the moving end.
            st->edit->setSelection(a, b - a);
        }
        return 0;
    case EM_GETSEL:
    {
        if (!st || !st->edit)
            return 0;
        const QString text = st->edit->text();
        int start = st->edit->cursorPosition(), end = start;
        if (st->edit->hasSelectedText())
        {
            start = st->edit->selectionStart();
            end = start + static_cast<int>(st->edit->selectedText().size());
        }
        const LRESULT a = ToBytes(text, start), b = ToBytes(text, end);
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(a);
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(b);
        return MAKELRESULT(static_cast<int>(a), static_cast<int>(b));
    }
    case EM_REPLACESEL:
        if (st && st->edit)
            st->edit->insert(QString::fromUtf8(lParam ? reinterpret_cast<const char*>(lParam) : ""));
        return 0;
    case EM_LIMITTEXT:
        if (st && st->edit)
            st->edit->setMaxLength(wParam == 0 ? 32767 : static_cast<int>(std::min<WPARAM>(wParam, 32767)));
        return 0;
    case EM_GETLIMITTEXT:
        return st && st->edit ? st->edit->maxLength() : 0;
    case EM_CANUNDO:
        return st && st->edit && st->edit->isUndoAvailable() ? TRUE : FALSE;
    case EM_UNDO:
        if (st && st->edit)
            st->edit->undo();
        return TRUE;
    case EM_EMPTYUNDOBUFFER:
        if (st && st->edit)
        {
            // Setting the same text again leaves the line edit without undo steps; the selection is put back
            // with its anchor and moving end where they were.
            const int cursor = st->edit->cursorPosition();
            const int start = st->edit->hasSelectedText() ? st->edit->selectionStart() : cursor;
            const int length = st->edit->hasSelectedText() ? st->edit->selectionLength() : 0;
            st->quiet = true;
            st->edit->setText(st->edit->text());
            st->quiet = false;
            if (length > 0)
            {
                const int anchor = cursor == start ? start + length : start;
                st->edit->setSelection(anchor, cursor - anchor);
            }
            else
                st->edit->setCursorPosition(cursor);
        }
        return 0;
    case EM_SETRECT:
    case EM_SETRECTNP:
        if (st && st->edit && lParam)
        {
            RECT c;
            GetClientRect(hwnd, &c);
            const auto* r = reinterpret_cast<const RECT*>(lParam);
            st->margins = RECT{r->left, r->top, c.right - r->right, c.bottom - r->bottom};
            st->ApplyMargins();
        }
        return 0;
    case EM_SETMARGINS:
        if (st && st->edit)
        {
            if (wParam & EC_LEFTMARGIN)
                st->margins.left = static_cast<short>(LOWORD(static_cast<DWORD_PTR>(lParam)));
            if (wParam & EC_RIGHTMARGIN)
                st->margins.right = static_cast<short>(HIWORD(static_cast<DWORD_PTR>(lParam)));
            st->ApplyMargins();
        }
        return 0;
    case EM_SCROLLCARET:
        return TRUE;
    case EM_GETLINECOUNT:
        return 1;
    case EM_LINELENGTH:
        return st && st->edit ? static_cast<LRESULT>(st->edit->text().toUtf8().size()) : 0;
    case WM_CUT:
        if (st && st->edit)
            st->edit->cut();
        return 0;
    case WM_COPY:
        if (st && st->edit)
            st->edit->copy();
        return 0;
    case WM_PASTE:
        if (st && st->edit)
            st->edit->paste();
        return 0;
    case WM_CLEAR:
        if (st && st->edit)
            st->edit->del();
        return 0;
    case WM_UNDO:
        if (st && st->edit)
            st->edit->undo();
        return TRUE;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}
} // namespace platform::window::detail

namespace platform::window
{
void SetCaretFunctions(const CaretFunctions& functions)
{
    detail::g_caret = functions;
}

void CaretShownChanged(HWND hwnd, bool shown)
{
    // Found through the line edit's own style, so that no other window's state is taken for an edit's.
    auto w = detail::Find(hwnd);
    if (w && w->widget && detail::ShowMultilineCursor(w->widget->focusProxy(), shown))
        return;
    auto* line = w && w->widget ? qobject_cast<QLineEdit*>(w->widget->focusProxy()) : nullptr;
    auto* style = line ? dynamic_cast<detail::CaretStyle*>(line->style()) : nullptr;
    if (!style || style->hidden == !shown)
        return;
    style->hidden = !shown;
    line->update();
}
} // namespace platform::window
