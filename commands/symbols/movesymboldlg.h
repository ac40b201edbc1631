// The "Move Symbol" / "Copy Symbol" dialog: the symbol, its name and its portfolio, and
// the list of the other portfolios to choose the destination from.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class QLabel;
class QListWidget;

class CMoveSymbolDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMoveSymbolDlg(QWidget* parent = nullptr);

    // Copy Symbol when move is false.
    void SetMove(bool move);
    bool Move() const { return m_move; }
    // The texts shown and the portfolios offered (every one except `current`, the index of
    // the source portfolio, -1 for none).
    void SetData(const QString& symbol, const QString& name, const QString& portfolio,
                 const std::vector<std::string>& portfolios, int current);
    // The portfolio chosen at OK; empty when none was selected.
    const std::string& Destination() const { return m_destination; }
    // The widest entry's width in pixels: how far the list scrolls sideways.
    int HorizontalExtent() const { return m_extent; }

    void OnOK();

private:
    QLabel* m_symbol;
    QLabel* m_name;
    QLabel* m_portfolio;
    QListWidget* m_list;
    bool m_move = true;
    int m_extent = 0;
    std::string m_destination;
};
