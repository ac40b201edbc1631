// CDateEdit: a date field edited one digit at a time. The text is MM/DD/YY, or MM/DD/YYYY
// for dates outside 1960-2059; the separators are never typed. A digit replaces the digit
// the selection (or caret) stands on and selects the next part; cursor keys, Home, End and
// Delete do nothing; any other character, backspace included, is dropped with the default
// beep. Tab moves on as usual; Enter and Escape reach the dialog. Pasted text is typed.
#pragma once

#include <QLineEdit>

namespace barwise {
class UiHost;
}

class CDateEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CDateEdit(barwise::UiHost& host, QWidget* parent = nullptr);
    // One character as typed.
    void typeChar(QChar c);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void writeDigit(int position, QChar digit, int selStart, int selEnd);

    barwise::UiHost& m_host;
};
