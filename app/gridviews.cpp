#include "app/gridviews.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <array>

#include "app/gridmodels.h"
#include "app/placement.h"
#include "ui/settingsstore.h"

using namespace barwise;

namespace {
const QString kSymbolSection = QStringLiteral("SymbolGrid");
const QString kQuoteSection = QStringLiteral("QuoteGrid");
}  // namespace

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

void RestoreColumnWidths(QTableView* symbols, QTableView* quotes, SettingsStore& settings) {
    // The width the rows will have once the vertical scroll bar shows beside them.
    int sw = symbols->viewport()->width();
    if (!symbols->verticalScrollBar()->isVisible())
        sw -= symbols->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, symbols);
    // A symbol column as wide as 14 capitals and the rest for the name, unless the user's
    // own widths are kept.
    const int symbolFit = symbols->fontMetrics().horizontalAdvance(QString(14, QLatin1Char('N'))) +
                          2 * GridRowDelegate::kInset + 1;
    const auto sd = DefaultSymbolColumnWidths(sw, symbolFit);
    const auto symbolWidths = SymbolColumnWidths(
        sw, settings.GetProfileInt(kSymbolSection, QStringLiteral("col0"), sd[0]),
        settings.GetProfileInt(kSymbolSection, QStringLiteral("col1"), sd[1]), symbolFit);
    for (int i = 0; i < SymbolGridModel::kColumns; ++i)
        symbols->horizontalHeader()->resizeSection(i, symbolWidths[static_cast<std::size_t>(i)]);

    const int qw = quotes->viewport()->width();
    const int qd = DefaultQuoteColumnWidth(qw);
    std::array<int, QuoteGridModel::kColumns> stored{};
    for (int i = 0; i < QuoteGridModel::kColumns; ++i)
        stored[static_cast<std::size_t>(i)] =
            settings.GetProfileInt(kQuoteSection, QStringLiteral("col%1").arg(i), qd);
    const auto quoteWidths = QuoteColumnWidths(qw, stored);
    for (int i = 0; i < QuoteGridModel::kColumns; ++i)
        quotes->horizontalHeader()->resizeSection(i, quoteWidths[static_cast<std::size_t>(i)]);
    quotes->horizontalHeader()->resizeSection(QuoteGridModel::kTimeColumn, quoteWidths[0]);
}

void StoreColumnWidths(const QTableView* symbols, const QTableView* quotes,
                       SettingsStore& settings) {
    const SettingsStore::Batch batch(settings);  // one write of the file, at the end
    for (int i = 0; i < SymbolGridModel::kColumns; ++i)
        settings.WriteProfileInt(kSymbolSection, QStringLiteral("col%1").arg(i),
                                 symbols->horizontalHeader()->sectionSize(i));
    for (int i = 0; i < QuoteGridModel::kColumns; ++i)
        settings.WriteProfileInt(kQuoteSection, QStringLiteral("col%1").arg(i),
                                 quotes->horizontalHeader()->sectionSize(i));
}

LoadProgress::LoadProgress(QStatusBar* statusBar, QWidget* firstPane, int total) {
    m_sinceShown.start();
    if (!statusBar || total <= 0) return;
    m_bar = std::make_unique<QProgressBar>(statusBar);
    m_bar->setRange(0, total - 1);
    m_bar->setTextVisible(false);
    QRect pane = firstPane ? firstPane->geometry() : QRect();
    if (!pane.isValid()) pane = QRect(0, 0, statusBar->width() / 2, statusBar->height());
    m_bar->setGeometry(pane.adjusted(2, 2, -2, -2));
    m_bar->show();
}

LoadProgress::~LoadProgress() = default;

void LoadProgress::show(int loaded) {
    if (!m_bar || m_sinceShown.elapsed() < kIntervalMs) return;
    m_bar->setValue(loaded / kStep * kStep);
    m_sinceShown.restart();
}
