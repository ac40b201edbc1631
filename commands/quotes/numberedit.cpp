#include "commands/quotes/numberedit.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

#include "ui/uihost.h"

CNumberEdit::CNumberEdit(barwise::UiHost& host, QWidget* parent) : QLineEdit(parent), m_host(host) {
    setAcceptDrops(false);
}

bool CNumberEdit::accepts(QChar c) const {
    if (c.unicode() < 32 || c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))) return true;
    if (c != QLatin1Char('-') || !m_allowMinus) return false;
    // One minus sign, at the start: the caret (or the selection) begins the text, and no
    // other minus stays outside what is replaced.
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int end = hasSelectedText() ? selectionEnd() : start;
    if (start != 0) return false;
    return !text().mid(end).contains(QLatin1Char('-'));
}

bool CNumberEdit::insertFiltered(const QString& text) {
    bool dropped = false;
    for (QChar c : text) {
        if (c.unicode() < 32) continue;  // line ends of a pasted text
        if (accepts(c)) insert(QString(c));
        else dropped = true;
    }
    if (dropped) m_host.beep(barwise::UiHost::Beep::Default);
    return !dropped;
}

void CNumberEdit::pasteFiltered() {
    if (isReadOnly()) return;
    insertFiltered(QGuiApplication::clipboard()->text());
}

void CNumberEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        pasteFiltered();
        return;
    }
    const QString typed = event->text();
    if (typed.isEmpty() || typed.at(0).unicode() < 32) {
        QLineEdit::keyPressEvent(event);  // cursor keys, backspace, clipboard shortcuts
        return;
    }
    if (typed.size() == 1 && accepts(typed.at(0))) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (typed.size() > 1) {
        insertFiltered(typed);
        return;
    }
    m_host.beep(barwise::UiHost::Beep::Default);
}

void CNumberEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    // The menu's Paste goes through the same rule as typing.
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, &CNumberEdit::pasteFiltered);
        }
    }
    menu->exec(event->globalPos());
    delete menu;
}
