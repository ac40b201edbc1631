// The view's answers to the commands that show something themselves: a symbol row renamed
// in place, and a security's quote chosen from the split search window.
#include <QListWidget>
#include <QTableView>
#include <QTimer>

#include "app/barwiseview.h"
#include "app/gridmodels.h"
#include "app/portfoliopane.h"

using namespace barwise;

void CBarwiseView::SetSymbolRowTexts(int row, const std::string& symbol, const std::string& name) {
    if (row < 0 || row >= m_symbolModel->rowCount()) return;
    std::vector<SymbolGridModel::Row> rows;
    rows.reserve(static_cast<std::size_t>(m_symbolModel->rowCount()));
    for (int i = 0; i < m_symbolModel->rowCount(); ++i) rows.push_back(m_symbolModel->row(i));
    rows[static_cast<std::size_t>(row)].symbol = symbol;
    rows[static_cast<std::size_t>(row)].name = name;
    // A name longer than MASTER's 16 characters is shown whole, as EMASTER or XMASTER now holds it.
    rows[static_cast<std::size_t>(row)].longName =
        DisplayText(name).size() > kMasterNameSize ? name : std::string();
    const int selected = m_selSymbolRow;
    m_symbolModel->setRows(std::move(rows));
    // The rows were given again: select the same row, its quotes are still the ones shown.
    SelectGridRow(m_symbolGrid, selected);
    m_keyboardLoad->stop();
    m_selSymbolRow = selected;
    if (row == selected) {
        m_selSymbol = symbol.substr(0, 16);
        m_selName = name.substr(0, 16);
    }
    emit StateChanged();
}

bool CBarwiseView::ShowSecurityQuote(const SecurityId& id, DateCode date) {
    if (Scanning() || !id.valid()) return false;
    const auto rowOf = [&] {
        for (int i = 0; i < m_symbolModel->rowCount(); ++i)
            if (m_symbolModel->row(i).id == id) return i;
        return -1;
    };
    int row = rowOf();
    if (row < 0) {
        // Another portfolio is shown: show the one that lists the entry.
        const std::vector<std::string> portfolios = Portfolios();
        for (std::size_t i = 0; i < portfolios.size(); ++i) {
            if (WithTrailingSeparator(portfolios[i]) != id.directory) continue;
            if (m_pane->PortfolioList()->currentRow() != static_cast<int>(i))
                m_pane->PortfolioList()->setCurrentRow(static_cast<int>(i));
            break;
        }
        row = rowOf();
    }
    if (row < 0) return false;
    m_selSymbolRow = row;
    SelectGridRow(m_symbolGrid, row);
    m_keyboardLoad->stop();
    FillQuotesGrid(0);
    if (m_selId != id) return false;
    // Newest first: the last row of that date is the day's first quote.
    int quote = -1;
    for (int j = 0; j < m_quoteModel->rowCount(); ++j)
        if (m_quoteModel->row(j).date == date) quote = j;
    if (quote >= 0) {
        m_selQuoteRow = quote;
        SelectGridRow(m_quoteGrid, quote);
    }
    emit StateChanged();
    return true;
}

bool CBarwiseView::SelectQuote(int position, DateCode date, TimeCode time) {
    const int rows = m_quoteModel->rowCount();
    // Row 0 is the newest quote, the last row the oldest.
    int row = rows - 1 - position;
    const auto holds = [&](int r) {
        return r >= 0 && r < rows && m_quoteModel->row(r).date == date &&
               m_quoteModel->row(r).time == time;
    };
    if (!holds(row)) {
        row = -1;
        for (int r = rows - 1; r >= 0 && row < 0; --r)
            if (holds(r)) row = r;
    }
    if (row < 0) return false;
    SelectGridRow(m_quoteGrid, row);
    m_selQuoteRow = row;
    emit StateChanged();
    return true;
}
