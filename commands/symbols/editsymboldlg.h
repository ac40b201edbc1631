// The "Edit Symbol" dialog: the symbol and the name of one security, as long as the
// entry's index files hold them (16 characters each in MASTER alone; 14 and 45 where EMASTER
// or XMASTER holds the entry). OK with an empty or too long text, a character the text rule
// refuses or (for the entry SetEntry names) a symbol another security answers to says so,
// selects the text at fault and keeps the dialog open.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>

#include "commands/symbols/symbolops.h"

class QLineEdit;

namespace barwise {
class UiHost;
}

class CEditSymbolDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxText = 16;  // without SetLimits

    explicit CEditSymbolDlg(barwise::UiHost& host, QWidget* parent = nullptr);

    void SetData(const QString& symbol, const QString& name);
    // The entry being renamed: OK also refuses a symbol another of its portfolio answers to.
    void SetEntry(const barwise::SecurityId& id) { m_entry = id; }
    // The longest texts the entry takes (EntryTextLimits).
    void SetLimits(const barwise::TextLimits& limits);
    QString Symbol() const;
    QString Name() const;

    void OnOK();

private:
    barwise::UiHost& m_host;
    barwise::TextLimits m_limits;
    std::optional<barwise::SecurityId> m_entry;
    std::string m_oldSymbol, m_oldName;  // the texts SetData gave, as Latin-1
    QLineEdit* m_symbol;
    QLineEdit* m_name;
};
