#include "app/barwiseview.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyle>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/datafactsdlg.h"
#include "app/gridmodels.h"
#include "app/placement.h"
#include "app/searchfilter.h"
#include "app/searchfilterdlg.h"
#include "app/searchprogressdlg.h"
#include "datafiles/ascii.h"
#include "datafiles/datafacts.h"
#include "discovery/symbollist.h"
#include "ui/settingsstore.h"
#include "ui/uihost.h"

using namespace barwise;

namespace {

const std::string kNoDrive(1, '?');

QString FromLocal(const std::string& s) { return QString::fromStdString(s); }

std::string CurrentDirectory() {
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    return ec ? std::string() : cwd.string();
}

constexpr int kPathRole = Qt::UserRole;

std::string PortfolioPath(const QListWidgetItem* item) {
    return item->data(kPathRole).toByteArray().toStdString();
}

// The MASTER file of a portfolio list entry.
std::string MasterPathOf(const std::string& portfolio) {
    std::string path = portfolio;
    if (path.empty() || !IsPathSeparator(path.back())) path += kPathSeparator;
    path += kMasterFileName;
    return path;
}

// The index file that lists a security.
std::string_view IndexFileName(const SecurityId& id) {
    return id.inXmaster() ? kXmasterFileName : kMasterFileName;
}
QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The "Symbols" table and the "Quotes" table look and behave alike.
QTableView* MakeGrid(QWidget* parent, const char* objectName) {
    auto* grid = new QTableView(parent);
    grid->setObjectName(QString::fromLatin1(objectName));
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setShowGrid(false);
    grid->setWordWrap(false);
    grid->setCornerButtonEnabled(false);
    grid->setTabKeyNavigation(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 3);
    grid->horizontalHeader()->setSectionsClickable(false);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->horizontalHeader()->setStretchLastSection(false);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid->setItemDelegate(new GridRowDelegate(grid));
    return grid;
}

}  // namespace

CBarwiseView::CBarwiseView(SettingsStore& settings, UiHost& host, QWidget* parent)
    : QWidget(parent),
      m_settings(settings),
      m_host(host),
      m_readSeries([](QuoteSeries& s, const SecurityId& id, std::int32_t start, std::int32_t count) {
          return ReadSeries(s, id, start, count);
      }),
      m_listDrives([] { return ListDrives(); }) {
    setObjectName(QStringLiteral("view101"));
    m_searchLimit = m_settings.GetProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), 1);
    m_startDir = CurrentDirectory();
    m_searchName = m_settings
                       .GetProfileString(QStringLiteral("Search"), QStringLiteral("Name"),
                                         FromLocal(m_startDir))
                       .toStdString();
    m_searchNameUpper = ToUpperAscii(m_searchName);
    BuildForm();
}

CBarwiseView::~CBarwiseView() = default;

void CBarwiseView::BuildForm() {
    // The form keeps its arrangement: portfolios top left, symbols top right, quotes below.
    // It grows with the window and, below its own size, the frame's scroll area scrolls it.
    const QFontMetrics fm = fontMetrics();
    const auto dluX = [&](int x) { return x * fm.averageCharWidth() / 4; };
    const auto dluY = [&](int y) { return y * fm.height() / 8; };
    setMinimumSize(dluX(405), dluY(300));

    auto* portfolios = new QGroupBox(tr("Portfolios"), this);
    m_driveCombo = new QComboBox(portfolios);
    m_driveCombo->setObjectName(QStringLiteral("ctl1000"));
    m_driveCombo->setMinimumWidth(dluX(96));
    m_driveCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_portfolioList = new QListWidget(portfolios);
    m_portfolioList->setObjectName(QStringLiteral("ctl1001"));
    m_portfolioList->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* portfolioLayout = new QVBoxLayout(portfolios);
    auto* comboRow = new QHBoxLayout;
    comboRow->addWidget(m_driveCombo);
    comboRow->addStretch(1);
    portfolioLayout->addLayout(comboRow);
    portfolioLayout->addWidget(m_portfolioList, 1);

    auto* symbols = new QGroupBox(tr("Symbols"), this);
    m_symbolGrid = MakeGrid(symbols, "ctl1037");
    m_symbolModel = new SymbolGridModel(this);
    m_symbolGrid->setModel(m_symbolModel);
    auto* symbolLayout = new QVBoxLayout(symbols);
    symbolLayout->addWidget(m_symbolGrid);

    auto* quotes = new QGroupBox(tr("Quotes"), this);
    m_quoteGrid = MakeGrid(quotes, "ctl1038");
    m_quoteModel = new QuoteGridModel(this);
    m_quoteGrid->setModel(m_quoteModel);
    // The time of an intraday bar stands after its date; a daily series has no such column.
    m_quoteGrid->horizontalHeader()->moveSection(QuoteGridModel::kTimeColumn, 1);
    m_quoteGrid->setColumnHidden(QuoteGridModel::kTimeColumn, true);
    auto* quoteLayout = new QVBoxLayout(quotes);
    quoteLayout->addWidget(m_quoteGrid);

    auto* grid = new QGridLayout(this);
    grid->addWidget(portfolios, 0, 0);
    grid->addWidget(symbols, 0, 1);
    grid->addWidget(quotes, 1, 0, 1, 2);
    grid->setColumnStretch(0, 200);
    grid->setColumnStretch(1, 180);
    grid->setRowStretch(0, 110);
    grid->setRowStretch(1, 255);

    setTabOrder(m_driveCombo, m_portfolioList);
    setTabOrder(m_portfolioList, m_symbolGrid);
    setTabOrder(m_symbolGrid, m_quoteGrid);

    connect(m_driveCombo, &QComboBox::activated, this, [this](int) { OnDriveChanged(); });
    connect(m_portfolioList, &QListWidget::currentRowChanged, this,
            [this](int) { OnPortfolioSelected(); });
    connect(m_symbolGrid, &QTableView::clicked, this, &CBarwiseView::OnSymbolClicked);
    connect(m_symbolGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { OnSymbolSelectionChanged(); });
    connect(m_quoteGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { OnQuoteSelectionChanged(); });

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
    if (!m_timerStarted) {
        m_timerStarted = 1;
        QTimer::singleShot(kStartupDelayMs, this, &CBarwiseView::OnTimer);
    }
}

// ----- start-up -----

void CBarwiseView::OnTimer() {
    const QString symbolSection = QStringLiteral("SymbolGrid");
    // The width the rows will have once the vertical scroll bar shows beside them.
    int sw = m_symbolGrid->viewport()->width();
    if (!m_symbolGrid->verticalScrollBar()->isVisible())
        sw -= m_symbolGrid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_symbolGrid);
    // A symbol column as wide as 14 capitals and the rest for the name, unless the user's
    // own widths are kept.
    const int symbolFit = m_symbolGrid->fontMetrics().horizontalAdvance(QString(14, QLatin1Char('N'))) +
                          2 * GridRowDelegate::kInset + 1;
    const auto sd = DefaultSymbolColumnWidths(sw, symbolFit);
    const auto symbolWidths =
        SymbolColumnWidths(sw, m_settings.GetProfileInt(symbolSection, QStringLiteral("col0"), sd[0]),
                           m_settings.GetProfileInt(symbolSection, QStringLiteral("col1"), sd[1]), symbolFit);
    for (int i = 0; i < SymbolGridModel::kColumns; ++i)
        m_symbolGrid->horizontalHeader()->resizeSection(i, symbolWidths[static_cast<std::size_t>(i)]);

    const QString quoteSection = QStringLiteral("QuoteGrid");
    const int qw = m_quoteGrid->viewport()->width();
    const int qd = DefaultQuoteColumnWidth(qw);
    std::array<int, QuoteGridModel::kColumns> stored{};
    for (int i = 0; i < QuoteGridModel::kColumns; ++i)
        stored[static_cast<std::size_t>(i)] =
            m_settings.GetProfileInt(quoteSection, QStringLiteral("col%1").arg(i), qd);
    const auto quoteWidths = QuoteColumnWidths(qw, stored);
    for (int i = 0; i < QuoteGridModel::kColumns; ++i)
        m_quoteGrid->horizontalHeader()->resizeSection(i, quoteWidths[static_cast<std::size_t>(i)]);
    m_quoteGrid->horizontalHeader()->resizeSection(QuoteGridModel::kTimeColumn, quoteWidths[0]);
    m_columnsSet = true;

    FillDriveList();
}

void CBarwiseView::SaveColumnWidths() {
    // Closed before the columns were set up: there is nothing of the user's to keep.
    if (!m_columnsSet) return;
    const SettingsStore::Batch batch(m_settings);  // one write of the file, at the end
    for (int i = 0; i < SymbolGridModel::kColumns; ++i)
        m_settings.WriteProfileInt(QStringLiteral("SymbolGrid"), QStringLiteral("col%1").arg(i),
                                   m_symbolGrid->horizontalHeader()->sectionSize(i));
    for (int i = 0; i < QuoteGridModel::kColumns; ++i)
        m_settings.WriteProfileInt(QStringLiteral("QuoteGrid"), QStringLiteral("col%1").arg(i),
                                   m_quoteGrid->horizontalHeader()->sectionSize(i));
}

// ----- drives and the portfolio search -----

void CBarwiseView::FillDriveList() {
    m_drives = m_listDrives();
    m_driveCombo->clear();
    for (const Drive& d : m_drives) m_driveCombo->addItem(FromLocal(d.listText));

    std::string remembered =
        m_settings.GetProfileString(QStringLiteral("Settings"), QStringLiteral("Drive"), QString())
            .toStdString();
    if (remembered.empty()) {
        const Drive* current = DriveOfPath(CurrentDirectory(), m_drives);
        if (current) remembered = DriveSettingText(*current);
    }
    std::size_t index = 0;
    while (index < m_drives.size() && !DriveMatchesSetting(m_drives[index], remembered)) ++index;

    // A remembered drive that is no longer listed: the last listed drive is searched, and
    // the list shows no selection.
    if (!m_drives.empty()) {
        const Drive& chosen = m_drives[std::min(index, m_drives.size() - 1)];
        m_driveLetter = chosen.root;
        m_settings.WriteProfileString(QStringLiteral("Settings"), QStringLiteral("Drive"),
                                      FromLocal(DriveSettingText(chosen)));
    }
    m_driveCombo->setCurrentIndex(index < m_drives.size() ? static_cast<int>(index) : -1);
    ScanDrive();
}

void CBarwiseView::OnDriveChanged() {
    if (Scanning()) return;
    const int index = m_driveCombo->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_drives.size())) return;
    const Drive& drive = m_drives[static_cast<std::size_t>(index)];
    if (drive.root == m_driveLetter) return;
    m_driveLetter = drive.root;
    m_settings.WriteProfileString(QStringLiteral("Settings"), QStringLiteral("Drive"),
                                  FromLocal(DriveSettingText(drive)));
    ResetView(1);
    ScanDrive();
}

void CBarwiseView::PumpScanWindow(bool force) {
    // Let the progress window paint now and then and take a click on its Cancel button.
    // It is application-modal, so the main window takes no input until the search ends.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!force && now - m_lastPump < 40) return;
    m_lastPump = now;
    QCoreApplication::processEvents();
}

void CBarwiseView::ScanDrive() {
    // The progress window lets events through; a shortcut that reaches the main window
    // anyway must not start a second search inside this one.
    if (Scanning()) return;
    ResetView(2);
    m_scanDialog = std::make_unique<CSearchProgressDlg>(window());
    m_scanDialog->Create();
    emit StateChanged();  // the frame holds every command while the search runs
    m_foundCount = 0;
    m_scanDialog->SetCountText(QStringLiteral("0"));
    m_scanDialog->SetPathText(QStringLiteral("starting..."));
    PumpScanWindow(true);

    SearchOptions options;
    options.limit = m_searchLimit != 0;
    options.filterKeyUpper = m_searchNameUpper;
    for (const Drive& d : m_drives)
        if (d.root != m_driveLetter) options.otherVolumeRoots.push_back(d.root);
    SearchObserver observer;
    observer.visiting = [this](const std::string& path) {
        m_scanDialog->SetPathText(FromLocal(path));
        PumpScanWindow(false);
    };
    observer.found = [this](int count) {
        m_foundCount = count;
        m_scanDialog->SetCountText(QString::number(count));
        PumpScanWindow(true);
    };
    observer.cancelled = [this] { return m_scanDialog->Cancelled(); };
    std::vector<std::string> results;
    const bool complete = SearchDirectory(m_driveLetter, results, options, observer);

    m_host.beep(UiHost::Beep::Asterisk);
    m_scanDialog.reset();

    // A cancelled search lists what it found until then.
    if (results.empty()) {
        m_portfoliosFound = 0;
        emit StateChanged();
        if (!complete) return;
        m_host.messageBox(QStringLiteral("No master files found on drive ") +
                              FromLocal(m_driveLetter) +
                              QStringLiteral("\n\n(Is your Portfolio Search Filter setting correct?)"),
                          UiHost::Buttons::Ok, UiHost::Icon::Information);
        return;
    }
    m_portfoliosFound = 1;
    {
        const QSignalBlocker quiet(m_portfolioList);
        for (const std::string& p : SortPortfolios(std::move(results))) {
            // The path as the system gave it, whatever the encoding of its name.
            auto* item = new QListWidgetItem(FromLocal(p), m_portfolioList);
            item->setData(kPathRole, QByteArray::fromStdString(p));
        }
        m_portfolioList->setCurrentRow(0);
    }
    SelectPortfolio(MasterPathOf(PortfolioPath(m_portfolioList->item(0))));
    FillSymbolsGrid(0);
}

// ----- portfolio and symbols -----

bool CBarwiseView::SelectPortfolio(const std::string& masterPath) {
    if (masterPath.empty() || masterPath.size() > kMaxMasterPath ||
        !masterPath.ends_with(kMasterFileName))
        return false;
    std::size_t cut = masterPath.size() - kMasterFileName.size();
    while (cut > 0 && !IsPathSeparator(masterPath[cut - 1])) --cut;
    if (cut == 0) {
        m_portfolioDir.clear();
    } else {
        // A portfolio at the root keeps its separator ("/"); any other none.
        const bool root = cut == 1 || (cut == 3 && masterPath[1] == ':');
        m_portfolioDir = masterPath.substr(0, root && kPathSeparator == '/' ? cut : cut - 1);
    }
    // Use the file as it is named on disk (MASTER may be "Master" or "master").
    std::error_code ec;
    m_masterPath = masterPath;
    if (!std::filesystem::exists(masterPath, ec)) {
        const auto found = FindNoCase(m_portfolioDir.empty() ? "." : m_portfolioDir,
                                      std::string(kMasterFileName));
        if (std::filesystem::exists(found, ec)) m_masterPath = found.string();
    }
    m_masterPathValid = 1;
    return true;
}

void CBarwiseView::OnPortfolioSelected() {
    if (!m_portfoliosFound) return;
    const QListWidgetItem* item = m_portfolioList->currentItem();
    if (!item) return;
    // A portfolio whose path cannot be taken is shown as a failure, never as the previous
    // portfolio's symbols.
    if (!SelectPortfolio(MasterPathOf(PortfolioPath(item)))) m_masterPathValid = 0;
    FillSymbolsGrid(0);
}

void CBarwiseView::FillSymbolsGrid(int selectRow) {
    ResetView(3);
    WaitCursor wait(m_host);
    bool failed = !m_masterPathValid;
    SymbolListing listing;
    QString why;  // what disagrees, when the listing fails for a reason the files show
    if (!failed) {
        listing = ListSymbols(m_masterPath, kMaxSymbolRows);
        failed = listing.status != kSuccess;
    }
    // A MASTER whose records disagree with its header is not listed, so it is not repaired
    // either: nothing is written to a portfolio the grid then refuses to show.
    if (!failed && listing.countMismatch(kMaxSymbolRows)) {
        failed = true;
        why = FromLocal(listing.countMismatchText());
    }
    if (!failed) {
        // The count and the message concern MASTER's own records; XMASTER's come on top.
        m_symbolCount = static_cast<int>(listing.rows.size());
        if (listing.headerCount > kMaxSymbolRows) {
            m_host.messageBox(QStringLiteral("File has %1 symbols.\nWill only display the first %2 symbols")
                                  .arg(listing.headerCount)
                                  .arg(kMaxSymbolRows));
        }
        std::vector<SymbolGridModel::Row> rows;
        rows.reserve(listing.rows.size());
        for (const SymbolRow& r : listing.rows) rows.push_back({r.symbol, r.name, r.id, r.record.longName});
        m_symbolModel->setRows(std::move(rows));
        // Once per portfolio and text: an EMASTER or XMASTER set aside is never written to,
        // and the portfolio is shown from MASTER.
        if (!listing.indexWarning.empty() &&
            m_indexWarnings.insert(m_masterPath + '\n' + listing.indexWarning).second) {
            m_host.messageBox(QStringLiteral("%1\n\n%2\n\nNo change is written to a file set aside.")
                                  .arg(FromLocal(m_portfolioDir), FromLocal(listing.indexWarning)),
                              UiHost::Buttons::Ok, UiHost::Icon::Information);
        }
        if (listing.needsRepair && !RepairMasterSymbols()) failed = true;
    }
    if (!failed) {
        m_selSymbolRow = selectRow;
        SelectGridRow(m_symbolGrid, selectRow);
        if (m_symbolCount == 0) SetTitle(QStringLiteral("(no symbols)"));
        emit StateChanged();
        FillQuotesGrid(0);
        return;
    }
    ResetView(3);
    SetTitle(QStringLiteral("(no symbols)"));
    QString text = QStringLiteral("Failure while filling symbols grid");
    if (!why.isEmpty()) text += QStringLiteral("\n\n") + why;
    m_host.messageBox(text, UiHost::Buttons::Ok, UiHost::Icon::Stop);
    m_symbolCount = 0;
    emit StateChanged();
}

bool CBarwiseView::RepairMasterSymbols() {
    return barwise::RepairMasterSymbols(m_masterPath) == kSuccess;
}

// ----- quotes -----

void CBarwiseView::FillQuotesGrid(int selectRow) {
    WaitCursor wait(m_host);
    ResetView(4);
    m_selId = SecurityId{};
    if (m_symbolModel->rowCount() == 0) return;
    if (m_selSymbolRow < 0 || m_selSymbolRow >= m_symbolModel->rowCount()) return;
    // The row's entry is read, never a lookup of its text: two entries may read the same.
    const SymbolGridModel::Row& symbol = m_symbolModel->row(m_selSymbolRow);
    m_selSymbol = symbol.symbol.substr(0, 16);
    m_selName = symbol.name.substr(0, 16);
    m_selId = symbol.id;
    const SecurityId id = m_selId;

    QuoteSeries series;
    DataStatus status = AllocSeries(series, 1);
    if (status == kSuccess) status = m_readSeries(series, id, 0, 0);
    const std::int32_t total = std::clamp<std::int32_t>(series.total, 0, kMaxQuotesPerFile);
    // The layout, not a value's sign, tells which fields the series has.
    std::array<bool, 6> present = {true, true, true, true, true, true};
    bool hasTime = false;
    if (status == kSuccess && series.info) {
        const FieldLayout& layout = series.info->layout;
        const int fields = series.info->master.fieldCount();
        const auto has = [&](int f) {
            const int c = layout.column[static_cast<std::size_t>(f)];
            return c >= 1 && c <= fields;
        };
        for (int f = kFieldOpen; f <= kFieldOi; ++f) present[static_cast<std::size_t>(f - kFieldOpen)] = has(f);
        hasTime = has(kFieldTime);
        // Once per DOP file: it describes some other file, so it was set aside.
        if (series.info->dopIgnored && m_untrustedDops.insert(series.info->dopFile).second) {
            m_host.messageBox(QStringLiteral("%1 names no date, or more fields than each quote record holds, "
                                             "so it was not used: the quotes are shown with the default "
                                             "layout for their record length.")
                                  .arg(QString::fromStdString(series.info->dopFile)),
                              UiHost::Buttons::Ok, UiHost::Icon::Information);
        }
    }
    FreeSeries(series);
    m_quoteModel->setFields(present, hasTime);
    m_quoteGrid->setColumnHidden(QuoteGridModel::kTimeColumn, !hasTime);
    if (status != kSuccess) {
        m_host.messageBox(QStringLiteral("Error in FillQuotesGrid"));
        emit StateChanged();
        return;
    }
    m_quoteCount = total;
    m_quoteModel->reserve(m_quoteCount);
    if (AllocSeries(series, kQuoteBlock) != kSuccess) {
        m_quoteCount = 0;
        m_host.messageBox(QStringLiteral("Too many bars"));
        emit StateChanged();
        return;
    }

    // The progress bar covers the status bar's first pane while the quotes load.
    std::unique_ptr<QProgressBar> progress;
    if (m_statusBar && m_quoteCount > 0) {
        progress = std::make_unique<QProgressBar>(m_statusBar);
        progress->setRange(0, m_quoteCount - 1);
        progress->setTextVisible(false);
        QRect pane = m_firstPane ? m_firstPane->geometry() : QRect();
        if (!pane.isValid()) pane = QRect(0, 0, m_statusBar->width() / 2, m_statusBar->height());
        progress->setGeometry(pane.adjusted(2, 2, -2, -2));
        progress->show();
    }

    int rows = 0;
    int steps = 0;
    std::vector<QuoteGridModel::Row> pending;
    pending.reserve(kQuoteBlock);
    // Each change of the bar repaints it at once; a few changes a second are enough.
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    const auto flush = [&] {
        m_quoteModel->appendRows(pending);
        pending.clear();
        if (progress && sinceProgress.elapsed() >= kProgressIntervalMs) {
            progress->setValue(steps * kProgressStep);
            sinceProgress.restart();
        }
    };
    while (rows != m_quoteCount) {
        const int n = std::min(m_quoteCount - rows, kQuoteBlock);
        const std::int32_t start = m_quoteCount - rows - n;
        if (m_readSeries(series, id, start, n) != kSuccess ||
            series.count < n) {
            flush();
            m_host.messageBox(QStringLiteral("Error in FillQuotesGrid"));
            break;
        }
        for (int j = n - 1; j >= 0; --j) {
            QuoteGridModel::Row row;
            row.date = series.date(j);
            row.time = series.time(j);
            for (int f = kFieldOpen; f <= kFieldOi; ++f)
                row.values[static_cast<std::size_t>(f - kFieldOpen)] = series.value(f, j);
            pending.push_back(row);
            ++rows;
            if (rows % kProgressStep == 0) ++steps;
            if (rows == kFirstRowsShown) {
                // Show the newest quotes at once while the rest of a long series loads.
                flush();
                m_quoteGrid->viewport()->repaint();
            }
        }
        flush();
    }

    m_firstDay = m_lastDay = kNoDate;
    if (m_readSeries(series, id, 0, 1) == kSuccess && series.count > 0) m_firstDay = series.date(0);
    if (m_readSeries(series, id, -1, 1) == kSuccess && series.count > 0) m_lastDay = series.date(0);
    m_firstDate = m_firstDay != kNoDate ? FormatDateMdy(m_firstDay) : std::string();
    m_lastDate = m_lastDay != kNoDate ? FormatDateMdy(m_lastDay) : std::string();
    FreeSeries(series);

    m_selQuoteRow = selectRow;
    if (m_quoteCount != 0) SelectGridRow(m_quoteGrid, selectRow);
    emit StateChanged();
}

void CBarwiseView::ResetView(int level) {
    // Whatever was waiting for the keyboard pause belongs to rows that are going.
    if (level >= 1 && level <= 4) m_keyboardLoad->stop();
    switch (level) {
        case 1:
            m_portfoliosFound = 0;
            m_symbolCount = 0;
            m_quoteCount = 0;
            [[fallthrough]];
        case 2: {
            const QSignalBlocker quiet(m_portfolioList);
            m_portfolioList->clear();
            m_symbolCount = 0;
            m_quoteCount = 0;
        }
            [[fallthrough]];
        case 3: {
            WaitCursor wait(m_host);
            m_symbolModel->clear();
            m_symbolCount = 0;
            m_quoteCount = 0;
            m_selId = SecurityId{};
        }
            [[fallthrough]];
        case 4: {
            WaitCursor wait(m_host);
            m_quoteModel->clear();
            m_quoteCount = 0;
            m_firstDay = m_lastDay = kNoDate;
            m_firstDate.clear();
            m_lastDate.clear();
        } break;
        default: break;
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
    SetTitle(m_symbolModel->data(m_symbolModel->index(m_selSymbolRow, 0), Qt::DisplayRole).toString());
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

bool CBarwiseView::QuotesPending() const { return m_keyboardLoad->isActive(); }

void CBarwiseView::SetTitle(const QString& symbolText) {
    window()->setWindowTitle(QStringLiteral("Barwise - ") + FromLocal(m_portfolioDir) +
                             QStringLiteral(" - ") + symbolText);
}

// ----- commands -----

void CBarwiseView::OnSearchFilter() {
    if (Scanning()) return;
    CSearchFilterDlg dialog(m_host, m_drives, window());
    dialog.SetData(m_searchLimit != 0, FromLocal(m_searchName));
    const bool oldLimit = m_searchLimit != 0;
    const std::string oldKey = m_searchNameUpper;
    if (!m_host.runDialog(dialog)) return;

    m_searchLimit = dialog.Limit() ? 1 : 0;
    m_searchName = dialog.Path().toStdString();
    m_searchNameUpper = ToUpperAscii(m_searchName);
    m_settings.WriteProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), m_searchLimit);
    m_settings.WriteProfileString(QStringLiteral("Search"), QStringLiteral("Name"),
                                  FromLocal(m_searchName));
    if (!FilterChanged(oldLimit, oldKey, m_searchLimit != 0, m_searchNameUpper)) return;

    // Search the drive the path names; when it names none, the current drive again.
    if (const Drive* drive = DriveOfPath(m_searchName, m_drives)) {
        const auto at = static_cast<int>(drive - m_drives.data());
        m_driveCombo->setCurrentIndex(at);
    }
    m_driveLetter = kNoDrive;
    if (m_driveCombo->currentIndex() < 0 && !m_drives.empty()) {
        // Nothing selected in the drive list: search the drive that was searched last.
        const QString kept = m_settings.GetProfileString(QStringLiteral("Settings"),
                                                         QStringLiteral("Drive"), QString());
        for (std::size_t i = 0; i < m_drives.size(); ++i)
            if (DriveMatchesSetting(m_drives[i], kept.toStdString()))
                m_driveCombo->setCurrentIndex(static_cast<int>(i));
        if (m_driveCombo->currentIndex() < 0)
            m_driveCombo->setCurrentIndex(static_cast<int>(m_drives.size()) - 1);
    }
    OnDriveChanged();
}

void CBarwiseView::OnSymbolAbout() {
    SettleSelection();
    const std::optional<SymbolSelection> security = SelectedSecurity();
    if (!security) return;
    DataFacts facts;
    if (ReadDataFacts(security->id, facts) != 0) {
        m_host.messageBox(QStringLiteral("The facts of %1 cannot be read: its MASTER entry, its "
                                         "layout or its data file is missing or damaged.")
                              .arg(QString::fromLatin1(security->symbol).trimmed()));
        return;
    }
    CDataFactsDlg dialog(SecurityFactTexts(security->id, facts), window());
    m_host.runDialog(dialog);
}

// ----- state for the frame -----

ViewState CBarwiseView::State() const {
    ViewState s;
    s.portfolioRows = m_portfolioList->count();
    s.symbolRows = m_symbolModel->rowCount();
    s.quoteRows = m_quoteModel->rowCount();
    s.symbolCount = m_symbolCount;
    s.selQuoteRow = m_selQuoteRow;
    s.portfoliosFound = m_portfoliosFound != 0;
    s.splitSearchOpen = m_splitSearchOpen != 0;
    return s;
}

QString CBarwiseView::SymbolPaneText() const {
    if (m_symbolCount == 0) return QStringLiteral("No Symbols Read");
    return QStringLiteral("Symbol %1 of %2").arg(m_selSymbolRow + 1).arg(m_symbolCount);
}

QString CBarwiseView::SecurityPaneText() const {
    // Follows the selected row, as the symbol pane does.
    if (m_symbolCount == 0 || m_selSymbolRow < 0 || m_selSymbolRow >= m_symbolModel->rowCount()) return {};
    const SymbolGridModel::Row& r = m_symbolModel->row(m_selSymbolRow);
    return QStringLiteral("%1 - %2 in %3")
        .arg(Latin1(r.shownName()), Latin1(QuoteFileName(r.id)),
             Latin1(IndexFileName(r.id)));
}

QString CBarwiseView::QuotePaneText() const {
    if (m_quoteCount == 0) return QStringLiteral("No Quotes Read");
    return QStringLiteral("Quote %1 of %2").arg(m_quoteCount - m_selQuoteRow).arg(m_quoteCount);
}

// ----- what the commands see -----

std::vector<std::string> CBarwiseView::Portfolios() const {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(m_portfolioList->count()));
    for (int i = 0; i < m_portfolioList->count(); ++i) out.push_back(PortfolioPath(m_portfolioList->item(i)));
    return out;
}

int CBarwiseView::CurrentPortfolio() const { return m_portfolioList->currentRow(); }

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
    m_splitSearchOpen = open ? 1 : 0;
    emit StateChanged();
}
