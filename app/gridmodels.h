// The two grids of the main view as table models, and the delegate that paints their rows.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/master.h"

namespace barwise {

// The symbols grid: "Symbol" and "Name", in the order the rows are given.
class SymbolGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The texts as the MASTER file holds them (single-byte, shown as Latin-1), and the
    // entry they came from: two rows may read the same and still be different securities.
    struct Row {
        std::string symbol;
        std::string name;
        SecurityId id;
    };
    static constexpr int kColumns = 2;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setRows(std::vector<Row> rows);
    void clear();
    const Row& row(int i) const { return m_rows[static_cast<std::size_t>(i)]; }

private:
    std::vector<Row> m_rows;
};

// The quotes grid: one row per quote, newest first. Values below 0 (the reader's mark of a
// field the file does not have) show as "N/A".
class QuoteGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // A quote is found again in its file by its date and time, never by the row's texts.
    struct Row {
        DateCode date = 0;
        TimeCode time = 0;
        std::array<float, 6> values{};  // open, high, low, close, volume, open interest
    };
    static constexpr int kColumns = 7;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Room for the rows a fill is about to add.
    void reserve(int rows) { m_rows.reserve(static_cast<std::size_t>(rows)); }
    void appendRows(const std::vector<Row>& rows);
    void clear();
    const Row& row(int i) const { return m_rows[static_cast<std::size_t>(i)]; }
    // The text of a cell, as the grid shows it.
    QString cellText(int row, int column) const;

private:
    std::vector<Row> m_rows;
};

// The text of a quote value: "%.4f" for prices, "%.0f" for volume and open interest,
// "N/A" for a value below 0.
QString QuoteValueText(float value, bool isPrice);

// Paints a grid row the way both grids look: window or highlight background, a light grey
// line under the row and right of every cell, text 2 pixels in from the cell's left edge,
// clipped 2 pixels before its right line.
class GridRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int kInset = 2;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace barwise
