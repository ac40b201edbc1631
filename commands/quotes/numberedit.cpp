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

bool CNumberEdit::wouldHold(const QString& inserted) const {
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int end = hasSelectedText() ? selectionEnd() : start;
    const QString t = text().left(start) + inserted + text().mid(end);
    if (t.size() > maxLength()) return false;
    bool point = false;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) continue;
        if (c == QLatin1Char('.') && !point) {
            point = true;
            continue;
        }
        if (c == QLatin1Char('-')) {
            if (i == 0 && m_allowMinus) continue;
            return false;  // one sign, at the start
        }
        // What the field already showed (such as "N/A") stays where the new text does not reach.
        if (i < start || i >= start + inserted.size()) continue;
        return false;
    }
    return true;
}

bool CNumberEdit::insertFiltered(const QString& text) {
    QString clean = text;
    while (!clean.isEmpty() && clean.back().unicode() < 32)
        clean.chop(1);  // line ends of a pasted text
    while (!clean.isEmpty() && clean.front().unicode() < 32) clean.remove(0, 1);
    if (clean.isEmpty() || !wouldHold(clean)) {
        m_host.beep(barwise::UiHost::Beep::Default);
        return false;
    }
    insert(clean);
    return true;
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
    if (typed.size() == 1 && wouldHold(typed)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    insertFiltered(typed);
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
