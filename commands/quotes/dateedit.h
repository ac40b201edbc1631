// CDateEdit: a date field edited one digit at a time. The text is MM/DD/YY, or MM/DD/YYYY
// for dates outside 1960-2059; the separators are never typed. A digit replaces the digit
// the selection (or caret) stands on and selects the next part; cursor keys, Home, End and
// Delete do nothing; any other character, backspace included, is dropped with the default
// beep. Tab moves on as usual; Enter and Escape reach the dialog. The field takes the focus
// with its text selected, so typing replaces the date. A pasted date (MM/DD/YY, MM/DD/YYYY
// or YYYY-MM-DD) is shown in the field's own form, or refused with the beep when it is no
// day or the field's form cannot name it; one or two pasted digits are typed.
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
    // A text as pasted; false when it was refused.
    bool pasteText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void writeDigit(int position, QChar digit, int selStart, int selEnd);

    barwise::UiHost& m_host;
};
