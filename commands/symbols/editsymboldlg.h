// The "Edit Symbol" dialog: the symbol and the issue name of one security, 16 characters
// each. OK with an empty symbol says so and keeps the dialog open.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace barwise {
class UiHost;
}

class CEditSymbolDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxText = 16;

    explicit CEditSymbolDlg(barwise::UiHost& host, QWidget* parent = nullptr);

    void SetData(const QString& symbol, const QString& name);
    QString Symbol() const;
    QString Name() const;

    void OnOK();

private:
    barwise::UiHost& m_host;
    QLineEdit* m_symbol;
    QLineEdit* m_name;
};
