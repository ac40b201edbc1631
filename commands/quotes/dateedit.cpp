#include "commands/quotes/dateedit.h"

#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>

#include "datafiles/encoding.h"
#include "ui/uihost.h"

CDateEdit::CDateEdit(barwise::UiHost& host, QWidget* parent) : QLineEdit(parent), m_host(host) {
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setMaxLength(10);
}

void CDateEdit::writeDigit(int position, QChar digit, int selStart, int selEnd) {
    QString t = text();
    if (position >= t.size()) {
        m_host.beep(barwise::UiHost::Beep::Default);
        return;
    }
    t[position] = digit;
    setText(t);
    setSelection(selStart, selEnd - selStart);
}

void CDateEdit::typeChar(QChar c) {
    if (c == QLatin1Char('\t')) return;
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
        m_host.beep(barwise::UiHost::Beep::Default);
        return;
    }
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int end = hasSelectedText() ? selectionEnd() : start;
    // The year is two digits (positions 6, 7) or four (6 to 9).
    const int len = text().size() == 10 ? 10 : 8;
    const auto is = [&](int s, int e) { return start == s && end == e; };
    if (is(0, 0) || is(0, 1) || is(0, 2) || is(0, len)) return writeDigit(0, c, 1, 2);
    if (is(1, 2)) return writeDigit(1, c, 3, 5);
    if (is(3, 5) || is(4, 4)) return writeDigit(3, c, 4, 5);
    if (is(4, 5)) return writeDigit(4, c, 6, len);
    if (is(6, 7) || is(6, len)) return writeDigit(6, c, 7, len);
    if (len == 8 && is(7, 8)) return writeDigit(7, c, 0, 2);
    if (len == 10) {
        if (is(7, 10)) return writeDigit(7, c, 8, 10);
        if (is(8, 10)) return writeDigit(8, c, 9, 10);
        if (is(9, 10)) return writeDigit(9, c, 0, 2);
    }
    m_host.beep(barwise::UiHost::Beep::Default);
    if (start == 1)
        setSelection(0, 2);
    else if (start == 4)
        setSelection(3, 2);
    else if (start >= 7 && start < len)
        setSelection(6, len - 6);
    else
        setSelection(0, 2);
}

void CDateEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->ignore();
            return;
        default:
            break;
    }
    if (event->matches(QKeySequence::Paste)) {
        pasteText(QGuiApplication::clipboard()->text());
        return;
    }
    // Keys without a character (arrows, Home, End, Delete) are taken and do nothing.
    for (QChar c : event->text())
        if (c.unicode() != 0x7f) typeChar(c);
}

bool CDateEdit::pasteText(const QString& pasted) {
    const QString t = pasted.trimmed();
    bool digits = !t.isEmpty() && t.size() <= 2;
    for (QChar c : t) digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (digits) {
        for (QChar c : t) typeChar(c);
        return true;
    }
    const bool wide = text().size() == 10;
    const QByteArray bytes = t.toLatin1();
    const barwise::DateCode date =
        t.size() == bytes.size() ? barwise::ParseDateText(bytes.toStdString()) : barwise::kNoDate;
    if (date == barwise::kNoDate || (!wide && !barwise::HasTwoDigitYear(date))) {
        m_host.beep(barwise::UiHost::Beep::Default);
        return false;
    }
    setText(QString::fromLatin1(barwise::FormatDateMdy(date, wide)));
    selectAll();
    return true;
}

void CDateEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason) selectAll();
}
