#include "app/gridmodels.h"

#include <QPainter>
#include <cstdio>

#include "ui/latin1.h"

namespace barwise {

namespace {

const char* const kSymbolHeaders[SymbolGridModel::kColumns] = {"Symbol", "Name"};
const char* const kQuoteHeaders[QuoteGridModel::kColumns + 1] = {
    "Date", "Open", "High", "Low", "Close", "Volume", "Open Interest", "Time"};

const QColor kGridLineColour(192, 192, 192);

}  // namespace

// ----- symbols -----

int SymbolGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int SymbolGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant SymbolGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) return {};
    const Row& r = m_rows[static_cast<std::size_t>(index.row())];
    // Shown without the NULs and blanks that pad the stored bytes.
    return Latin1(index.column() == 0 ? DisplayText(r.symbol) : r.shownName());
}

QVariant SymbolGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumns)
        return {};
    return QString::fromLatin1(kSymbolHeaders[section]);
}

void SymbolGridModel::setRows(std::vector<Row> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void SymbolGridModel::clear() {
    setRows({});
}

// ----- quotes -----

QString QuoteValueText(float value, bool isPrice, bool present) {
    if (!present) return QStringLiteral("N/A");
    char text[64];
    std::snprintf(text, sizeof text, isPrice ? "%.4f" : "%.0f", static_cast<double>(value));
    return QString::fromLatin1(text);
}

int QuoteGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int QuoteGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns + 1;
}

void QuoteGridModel::setFields(const std::array<bool, 6>& present, bool hasTime) {
    m_present = present;
    m_hasTime = hasTime;
    if (!m_rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kTimeColumn));
}

QString QuoteGridModel::cellText(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column > kTimeColumn) return {};
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    if (column == 0) return QString::fromStdString(FormatDateMdy(r.date));
    if (column == kTimeColumn) {
        if (!m_hasTime) return {};
        return QString::fromStdString(FormatTime(r.time));
    }
    const auto field = static_cast<std::size_t>(column - 1);
    return QuoteValueText(r.values[field], column <= 4, m_present[field]);
}

QVariant QuoteGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return cellText(index.row(), index.column());
}

QVariant QuoteGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section > kTimeColumn)
        return {};
    return QString::fromLatin1(kQuoteHeaders[section]);
}

void QuoteGridModel::appendRows(const std::vector<Row>& rows) {
    if (rows.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.end(), rows.begin(), rows.end());
    endInsertRows();
}

void QuoteGridModel::clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

// ----- painting -----

void GridRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const QRect cell = option.rect;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette& pal = option.palette;
    // Selected rows keep the active highlight when the window loses the focus.
    const QColor background =
        selected ? pal.color(QPalette::Active, QPalette::Highlight) : pal.color(QPalette::Base);
    const QColor text = selected ? pal.color(QPalette::Active, QPalette::HighlightedText)
                                 : pal.color(QPalette::Text);

    painter->save();
    painter->fillRect(cell, background);

    painter->setPen(QPen(kGridLineColour, 1));
    const int right = cell.left() + cell.width() - kInset;
    painter->drawLine(cell.left(), cell.bottom(), right, cell.bottom());
    painter->drawLine(right, cell.bottom(), right, cell.top());

    const QRect textRect(cell.left() + kInset, cell.top(), cell.width() - 2 * kInset,
                         cell.height());
    painter->setClipRect(textRect);
    painter->setFont(option.font);
    painter->setPen(text);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize GridRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    return {option.fontMetrics.horizontalAdvance(text) + 2 * kInset + 1,
            option.fontMetrics.height() + 2};
}

}  // namespace barwise
