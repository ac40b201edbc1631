// The two grids of the main view as table models, and the delegate that paints their rows.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStyledItemDelegate>
#include <array>
#include <string>
#include <vector>

#include "datafiles/encoding.h"
#include "datafiles/master.h"

namespace barwise {

// The symbols grid: "Symbol" and "Name", in the order the rows are given. The name shown is
// the whole name where EMASTER or XMASTER holds one longer than MASTER's 16 characters.
class SymbolGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The texts as the MASTER file holds them (single-byte, shown as Latin-1), and the
    // entry they came from: two rows may read the same and still be different securities.
    struct Row {
        std::string symbol;
        std::string name;  // the 16 name bytes
        SecurityId id;
        std::string longName;  // the whole name, when longer than the 16 bytes; else empty
        // The text of the Name column.
        std::string shownName() const { return longName.empty() ? DisplayText(name) : longName; }
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

// The quotes grid: one row per quote, newest first. A field the series' layout does not have
// shows as "N/A"; every other value as a number, negative ones too (back-adjusted futures).
// Columns 0..6 are Date, Open, High, Low, Close, Volume, Open Interest; column 7 is the
// time of an intraday bar, which the view shows after the date and only for a series with
// a TIME column.
class QuoteGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // A quote is found again in its file by its date and time, never by the row's texts.
    struct Row {
        DateCode date = kNoDate;
        TimeCode time = 0;
        std::array<float, 6> values{};  // open, high, low, close, volume, open interest
    };
    // The columns whose widths are kept in the settings.
    static constexpr int kColumns = 7;
    static constexpr int kTimeColumn = 7;

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
    // Which of open .. open interest the series has, and whether it has a time of day; set
    // by the fill from the series' layout before its rows are added.
    void setFields(const std::array<bool, 6>& present, bool hasTime);
    bool hasTime() const { return m_hasTime; }

private:
    std::vector<Row> m_rows;
    std::array<bool, 6> m_present = {true, true, true, true, true, true};
    bool m_hasTime = false;
};

// The text of a quote value: "%.4f" for prices, "%.0f" for volume and open interest,
// "N/A" for a field the series does not have.
QString QuoteValueText(float value, bool isPrice, bool present = true);

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
