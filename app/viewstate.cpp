// What the frame and the commands read of the main view: the command states, the status
// bar's texts and the selection.
#include <QListWidget>

#include "app/barwiseview.h"
#include "app/gridmodels.h"
#include "app/portfoliopane.h"
#include "commands/datafacts/datafactsdlg.h"
#include "ui/latin1.h"

using namespace barwise;

// ----- state for the frame -----

ViewState CBarwiseView::State() const {
    ViewState s;
    s.portfolioRows = static_cast<int>(m_pane->Portfolios().size());
    s.symbolRows = m_symbolModel->rowCount();
    s.quoteRows = m_quoteModel->rowCount();
    s.symbolCount = m_symbolCount;
    s.selQuoteRow = m_selQuoteRow;
    s.portfoliosFound = m_pane->PortfoliosFound();
    s.splitSearchOpen = m_splitSearchOpen;
    return s;
}

QString CBarwiseView::SymbolPaneText() const {
    if (m_symbolCount == 0) return QStringLiteral("No Symbols Read");
    return QStringLiteral("Symbol %1 of %2").arg(m_selSymbolRow + 1).arg(m_symbolCount);
}

QString CBarwiseView::SecurityPaneText() const {
    // Follows the selected row, as the symbol pane does.
    if (m_symbolCount == 0 || m_selSymbolRow < 0 || m_selSymbolRow >= m_symbolModel->rowCount())
        return {};
    const SymbolGridModel::Row& r = m_symbolModel->row(m_selSymbolRow);
    return QStringLiteral("%1 - %2 in %3")
        .arg(Latin1(r.shownName()), Latin1(QuoteFileName(r.id)),
             Latin1(r.id.inXmaster() ? kXmasterFileName : kMasterFileName));
}

QString CBarwiseView::QuotePaneText() const {
    if (m_quoteCount == 0) return QStringLiteral("No Quotes Read");
    return QStringLiteral("Quote %1 of %2").arg(m_quoteCount - m_selQuoteRow).arg(m_quoteCount);
}

// ----- what the commands see -----

std::vector<std::string> CBarwiseView::Portfolios() const {
    return m_pane->Portfolios();
}

int CBarwiseView::CurrentPortfolio() const {
    return m_pane->CurrentPortfolio();
}

std::vector<SymbolSelection> CBarwiseView::Symbols() const {
    std::vector<SymbolSelection> out;
    out.reserve(static_cast<std::size_t>(m_symbolModel->rowCount()));
    for (int i = 0; i < m_symbolModel->rowCount(); ++i) {
        const SymbolGridModel::Row& r = m_symbolModel->row(i);
        out.push_back({r.id, r.symbol, r.name});
    }
    return out;
}

std::optional<SymbolSelection> CBarwiseView::SelectedSecurity() const {
    if (!m_selId.valid()) return std::nullopt;
    return SymbolSelection{m_selId, m_selSymbol, m_selName};
}

std::optional<QuoteSelection> CBarwiseView::SelectedQuote() const {
    if (m_selQuoteRow < 0 || m_selQuoteRow >= m_quoteModel->rowCount()) return std::nullopt;
    const QuoteGridModel::Row& r = m_quoteModel->row(m_selQuoteRow);
    return QuoteSelection{m_selQuoteRow, r.date, r.time, r.values};
}

void CBarwiseView::SetSplitSearchOpen(bool open) {
    m_splitSearchOpen = open;
    emit StateChanged();
}
