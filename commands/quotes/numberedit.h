// CNumberEdit: an edit field for a number that takes digits, one point and control keys
// only (a price field of the Edit dialog also one leading minus sign, for back-adjusted
// series). A key or a pasted text that would leave anything else, or more than the field's
// length, is refused whole with the default beep: a paste is never trimmed into another
// number ("1e40" does not become "140"). Line ends around a pasted text are left out.
#pragma once

#include <QLineEdit>

namespace barwise {
class UiHost;
}

class CNumberEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CNumberEdit(barwise::UiHost& host, QWidget* parent = nullptr);
    // Lets one minus sign stand at the start of the text.
    void setAllowMinus(bool allow) { m_allowMinus = allow; }
    // Inserts text at the caret (over the selection) as if it had been typed, when the field
    // then still holds a number in the making; else changes nothing, beeps and gives false.
    bool insertFiltered(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Whether the text with `inserted` put over the selection (or at the caret) is one the
    // field may hold.
    bool wouldHold(const QString& inserted) const;
    void pasteFiltered();

    barwise::UiHost& m_host;
    bool m_allowMinus = false;
};
