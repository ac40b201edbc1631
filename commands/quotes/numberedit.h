// CNumberEdit: an edit field for a number that takes digits, the point and control keys
// only (a price field of the Edit dialog also one leading minus sign, for back-adjusted
// series). Anything else is dropped with the default beep; pasted text goes through the
// same rule, character by character.
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
    // Inserts text at the caret as if it had been typed; false when a character was dropped.
    bool insertFiltered(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool accepts(QChar c) const;
    void pasteFiltered();

    barwise::UiHost& m_host;
    bool m_allowMinus = false;
};
