#include "app/barwiseview.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "app/gridmodels.h"
#include "app/gridviews.h"
#include "app/portfoliopane.h"
#include "discovery/masterpath.h"
#include "discovery/quoteloader.h"
#include "discovery/symbollist.h"
#include "ui/latin1.h"
#include "ui/settingsstore.h"
#include "ui/uihost.h"
#include "undo/undoable.h"

using namespace barwise;

namespace {

// Paths as the system gives them (UTF-8).
QString FromUtf8(const std::string& s) {
    return QString::fromStdString(s);
}

// Names the quote file that could not be read and why.
QString QuotesUnreadText(const SecurityId& id, DataStatus status) {
    const std::string file =
        SeriesFilePath(id.directory, id.fileNumber, DataExtensionOf(id)).string();
    return QStringLiteral("The quotes in %1 cannot be read: %2 (status %3)")
        .arg(FromUtf8(file), Latin1(DataStatusName(status)))
        .arg(StatusCode(status));
}

}  // namespace

CBarwiseView::CBarwiseView(SettingsStore& settings, UiHost& host, QWidget* parent)
    : QWidget(parent),
      m_settings(settings),
      m_host(host),
      m_makeLoader([] { return std::make_unique<QuoteLoader>(); }) {
    setObjectName(QStringLiteral("view101"));
    BuildForm();
}

CBarwiseView::~CBarwiseView() = default;

void CBarwiseView::BuildForm() {
    // The form keeps its arrangement: portfolios top left, symbols top right, quotes below.
    // It grows with the window and, below its own size, the frame's scroll area scrolls it.
    const QFontMetrics fm = fontMetrics();
    setMinimumSize(405 * fm.averageCharWidth() / 4, 300 * fm.height() / 8);

    m_pane = new CPortfolioPane(m_settings, m_host, this);

    auto* symbols = new QGroupBox(tr("Symbols"), this);
    m_symbolGrid = MakeGrid(symbols, "ctl1037");
    m_symbolModel = new SymbolGridModel(this);
    m_symbolGrid->setModel(m_symbolModel);
    auto* symbolLayout = new QVBoxLayout(symbols);
    symbolLayout->addWidget(m_symbolGrid);

    auto* quotes = new QGroupBox(tr("Quotes"), this);
    // The quotes grid stands in a splitter, so a second pane can share the space beside it.
    m_quoteArea = new QSplitter(Qt::Horizontal, quotes);
    m_quoteArea->setChildrenCollapsible(false);
    m_quoteGrid = MakeGrid(m_quoteArea, "ctl1038");
    m_quoteArea->addWidget(m_quoteGrid);
    m_quoteModel = new QuoteGridModel(this);
    m_quoteGrid->setModel(m_quoteModel);
    // The time of an intraday bar stands after its date; a daily series has no such column.
    m_quoteGrid->horizontalHeader()->moveSection(QuoteGridModel::kTimeColumn, 1);
    m_quoteGrid->setColumnHidden(QuoteGridModel::kTimeColumn, true);
    auto* quoteLayout = new QVBoxLayout(quotes);
    quoteLayout->addWidget(m_quoteArea);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_pane, 0, 0);
    grid->addWidget(symbols, 0, 1);
    grid->addWidget(quotes, 1, 0, 1, 2);
    grid->setColumnStretch(0, 200);
    grid->setColumnStretch(1, 180);
    grid->setRowStretch(0, 110);
    grid->setRowStretch(1, 255);

    setTabOrder(m_pane->PortfolioList(), m_symbolGrid);
    setTabOrder(m_symbolGrid, m_quoteGrid);

    connect(m_pane, &CPortfolioPane::PortfoliosCleared, this, &CBarwiseView::ClearSymbols);
    connect(m_pane, &CPortfolioPane::PortfolioChosen, this, &CBarwiseView::OnPortfolioChosen);
    connect(m_pane, &CPortfolioPane::StateChanged, this, &CBarwiseView::StateChanged);
    connect(m_symbolGrid, &QTableView::clicked, this, &CBarwiseView::OnSymbolClicked);
    connect(m_symbolGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { OnSymbolSelectionChanged(); });
    connect(m_quoteGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { OnQuoteSelectionChanged(); });
    connect(this, &CBarwiseView::StateChanged, this, &CBarwiseView::TellSelection);

    m_keyboardLoad = new QTimer(this);
    m_keyboardLoad->setSingleShot(true);
    m_keyboardLoad->setInterval(kKeyboardLoadDelayMs);
    connect(m_keyboardLoad, &QTimer::timeout, this, [this] {
        WaitCursor wait(m_host);
        FillQuotesGrid(0);
    });
}

void CBarwiseView::SetProgressPlace(QStatusBar* statusBar, QWidget* firstPane) {
    m_statusBar = statusBar;
    m_firstPane = firstPane;
}

void CBarwiseView::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!m_startupQueued) {
        m_startupQueued = true;
        QTimer::singleShot(kStartupDelayMs, this, &CBarwiseView::FinishStartup);
    }
}

void CBarwiseView::FinishStartup() {
    RestoreColumnWidths(m_symbolGrid, m_quoteGrid, m_settings);
    m_columnsSet = true;
    m_pane->FillDriveList();
}

void CBarwiseView::SaveColumnWidths() {
    // Closed before the columns were set up: there is nothing of the user's to keep.
    if (m_columnsSet) StoreColumnWidths(m_symbolGrid, m_quoteGrid, m_settings);
}

bool CBarwiseView::Scanning() const {
    return m_pane->Scanning();
}

// ----- portfolio and symbols -----

bool CBarwiseView::SelectPortfolio(const std::string& masterPath) {
    const std::optional<PortfolioPaths> paths = PortfolioOfMaster(masterPath);
    if (!paths) return false;
    m_portfolioDir = paths->directory;
    m_masterPath = paths->masterFile;
    m_portfolioValid = true;
    return true;
}

void CBarwiseView::OnPortfolioChosen(const std::string& masterPath) {
    // A portfolio whose path cannot be taken is shown as a failure, never as the previous
    // portfolio's symbols.
    if (!SelectPortfolio(masterPath)) m_portfolioValid = false;
    FillSymbolsGrid(0);
}

void CBarwiseView::FillSymbolsGrid(int selectRow) {
    ClearSymbols();
    WaitCursor wait(m_host);
    SymbolListing listing;
    ListingVerdict verdict;
    if (m_portfolioValid) {
        listing = ListSymbols(m_masterPath, kMaxSymbolRows);
        verdict = JudgeListing(listing);
    }
    bool failed = !verdict.shown;
    if (verdict.shown) {
        // The count and the message concern MASTER's own records; XMASTER's come on top.
        m_symbolCount = static_cast<int>(listing.rows.size());
        if (!verdict.overLimit.empty()) m_host.messageBox(Latin1(verdict.overLimit));
        std::vector<SymbolGridModel::Row> rows;
        rows.reserve(listing.rows.size());
        for (const SymbolRow& r : listing.rows)
            rows.push_back({r.symbol, r.name, r.id, r.record.longName});
        m_symbolModel->setRows(std::move(rows));
        // Once per portfolio and text: an EMASTER or XMASTER set aside is never written to,
        // and the portfolio is shown from MASTER.
        if (!listing.indexWarning.empty() &&
            m_indexWarnings.insert(m_masterPath + '\n' + listing.indexWarning).second) {
            m_host.messageBox(
                QStringLiteral("%1\n\n%2\n\nNo change is written to a file set aside.")
                    .arg(FromUtf8(m_portfolioDir), FromUtf8(listing.indexWarning)),
                UiHost::Buttons::Ok, UiHost::Icon::Information);
        }
        if (verdict.repair) {
            UndoableChange change(fs::path(m_masterPath).parent_path().string());
            if (RepairMasterSymbols(m_masterPath, change.fs()) != kSuccess) failed = true;
            if (const DataStatus kept = change.commit(kBlankSymbolRepairLabel); kept != kSuccess)
                m_host.messageBox(QString::fromStdString(NotUndoableMessage(kept)),
                                  UiHost::Buttons::Ok, UiHost::Icon::Warning);
        }
    }
    if (!failed) {
        m_selSymbolRow = selectRow;
        SelectGridRow(m_symbolGrid, selectRow);
        if (m_symbolCount == 0) SetTitle(QStringLiteral("(no symbols)"));
        emit StateChanged();
        FillQuotesGrid(0);
        return;
    }
    ClearSymbols();
    SetTitle(QStringLiteral("(no symbols)"));
    QString text = QStringLiteral("Failure while filling symbols grid");
    if (!verdict.refusal.empty()) text += QStringLiteral("\n\n") + FromUtf8(verdict.refusal);
    m_host.messageBox(text, UiHost::Buttons::Ok, UiHost::Icon::Stop);
    m_symbolCount = 0;
    emit StateChanged();
}

// ----- quotes -----

void CBarwiseView::FillQuotesGrid(int selectRow) {
    WaitCursor wait(m_host);
    ClearQuotes();
    m_selId = SecurityId{};
    if (m_selSymbolRow < 0 || m_selSymbolRow >= m_symbolModel->rowCount()) {
        TellQuotesShown();
        return;
    }
    // The row's entry is read, never a lookup of its text: two entries may read the same.
    const SymbolGridModel::Row& symbol = m_symbolModel->row(m_selSymbolRow);
    m_selSymbol = symbol.symbol.substr(0, 16);
    m_selName = symbol.name.substr(0, 16);
    m_selId = symbol.id;

    const std::unique_ptr<QuoteLoader> loader = m_makeLoader();
    const DataStatus status = loader->open(m_selId);
    if (status == kSuccess) {
        m_quoteModel->setFields(loader->present(), loader->hasTime());
        // Once per DOP file: it describes some other file, so it was set aside.
        if (loader->dopIgnored() && m_untrustedDops.insert(loader->dopFile()).second) {
            m_host.messageBox(
                QStringLiteral("%1 names no date, or more fields than each quote record holds, "
                               "so it was not used: the quotes are shown with the default "
                               "layout for their record length.")
                    .arg(FromUtf8(loader->dopFile())),
                UiHost::Buttons::Ok, UiHost::Icon::Information);
        }
    } else {
        m_quoteModel->setFields({true, true, true, true, true, true}, false);
    }
    m_quoteGrid->setColumnHidden(QuoteGridModel::kTimeColumn,
                                 status != kSuccess || !loader->hasTime());
    if (status != kSuccess) {
        m_host.messageBox(status == kMalloc ? QStringLiteral("Too many bars")
                                            : QuotesUnreadText(m_selId, status));
        emit StateChanged();
        TellQuotesShown();
        return;
    }
    m_quoteCount = loader->total();
    m_quoteModel->reserve(m_quoteCount);

    LoadProgress progress(m_statusBar, m_firstPane, m_quoteCount);
    int rows = 0;
    std::vector<LoadedQuote> block;
    std::vector<QuoteGridModel::Row> pending;
    pending.reserve(kQuoteBlock);
    const auto flush = [&] {
        m_quoteModel->appendRows(pending);
        pending.clear();
        progress.show(rows);
    };
    while (!loader->done()) {
        block.clear();
        if (const DataStatus readStatus = loader->readNewer(kQuoteBlock, block);
            readStatus != kSuccess) {
            flush();
            m_host.messageBox(QuotesUnreadText(m_selId, readStatus));
            break;
        }
        for (const LoadedQuote& q : block) {
            pending.push_back({q.date, q.time, q.values});
            ++rows;
            if (rows == kFirstRowsShown) {
                // Show the newest quotes at once while the rest of a long series loads.
                flush();
                m_quoteGrid->viewport()->repaint();
            }
        }
        flush();
    }

    m_firstDay = loader->firstDate();
    m_lastDay = loader->lastDate();
    m_firstDate = m_firstDay != kNoDate ? FormatDateMdy(m_firstDay) : std::string();
    m_lastDate = m_lastDay != kNoDate ? FormatDateMdy(m_lastDay) : std::string();

    m_selQuoteRow = selectRow;
    if (m_quoteCount != 0) SelectGridRow(m_quoteGrid, selectRow);
    emit StateChanged();
    TellQuotesShown();
}

void CBarwiseView::TellQuotesShown() {
    const bool listed =
        m_selId.valid() && m_selSymbolRow >= 0 && m_selSymbolRow < m_symbolModel->rowCount();
    const QString title = listed ? Latin1(m_selSymbol) + QStringLiteral("  ") +
                                       Latin1(m_symbolModel->row(m_selSymbolRow).shownName())
                                 : QString();
    emit QuotesShown(m_selId, title);
}

void CBarwiseView::ClearSymbols() {
    m_keyboardLoad->stop();
    {
        WaitCursor wait(m_host);
        m_symbolModel->clear();
        m_symbolCount = 0;
        m_selId = SecurityId{};
    }
    ClearQuotes();
}

void CBarwiseView::ClearQuotes() {
    // Whatever was waiting for the keyboard pause belongs to rows that are going.
    m_keyboardLoad->stop();
    {
        WaitCursor wait(m_host);
        m_quoteModel->clear();
        m_quoteCount = 0;
        m_firstDay = m_lastDay = kNoDate;
        m_firstDate.clear();
        m_lastDate.clear();
    }
    emit StateChanged();
}

// ----- selection tracking -----

void CBarwiseView::SelectGridRow(QTableView* grid, int row) {
    const QAbstractItemModel* model = grid->model();
    if (row < 0 || row >= model->rowCount()) return;
    const QModelIndex index = model->index(row, 0);
    auto* selection = grid->selectionModel();
    selection->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // The keyboard carries on from the selected row.
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    grid->scrollTo(index);
}

void CBarwiseView::OnSymbolSelectionChanged() {
    const QModelIndexList rows = m_symbolGrid->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    m_selSymbolRow = rows.front().row();
    SetTitle(
        m_symbolModel->data(m_symbolModel->index(m_selSymbolRow, 0), Qt::DisplayRole).toString());
    // The quotes follow once the selection rests (a click, and every fill, loads them at
    // once and stops the wait).
    m_keyboardLoad->start();
    emit StateChanged();
}

void CBarwiseView::OnQuoteSelectionChanged() {
    const QModelIndexList rows = m_quoteGrid->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    m_selQuoteRow = rows.front().row();
    emit StateChanged();
}

void CBarwiseView::OnSymbolClicked(const QModelIndex& index) {
    if (!index.isValid()) return;
    WaitCursor wait(m_host);
    FillQuotesGrid(0);
}

void CBarwiseView::SettleSelection() {
    if (!m_keyboardLoad->isActive()) return;
    WaitCursor wait(m_host);
    FillQuotesGrid(0);
}

bool CBarwiseView::QuotesPending() const {
    return m_keyboardLoad->isActive();
}

void CBarwiseView::TellSelection() {
    if (m_selId != m_toldId) {
        m_toldId = m_selId;
        emit SecuritySelected(m_toldId);
    }
    const std::optional<QuoteSelection> quote = SelectedQuote();
    const int position = quote ? m_quoteCount - 1 - quote->row : -1;
    const DateCode date = quote ? quote->date : kNoDate;
    const TimeCode time = quote ? quote->time : 0;
    if (position != m_toldPosition || date != m_toldDate || time != m_toldTime) {
        m_toldPosition = position;
        m_toldDate = date;
        m_toldTime = time;
        emit QuoteSelected(position, date, time);
    }
}

void CBarwiseView::SetTitle(const QString& symbolText) {
    window()->setWindowTitle(QStringLiteral("Barwise - ") + FromUtf8(m_portfolioDir) +
                             QStringLiteral(" - ") + symbolText);
}
