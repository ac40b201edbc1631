// The "Delete Symbol" dialog: shows the symbol and asks; "No" is the default button.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

class CDeleteSymbolDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxText = 100;

    explicit CDeleteSymbolDlg(QWidget* parent = nullptr);
    void SetSymbol(const QString& symbol);
    QString Symbol() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_symbol;
};
