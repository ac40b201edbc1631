// The main window on temporary portfolio trees: start-up, the symbols and quotes fills,
// their failure messages, selection tracking, the search filter and the data facts.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QPushButton>
#include <QTableView>
#include <QTextBrowser>
#include <QtTest>
#include <tuple>
#include <filesystem>

#include "app/barwiseapp.h"
#include "app/commandids.h"
#include "commands/datafacts/datafactsdlg.h"
#include "discovery/quoteloader.h"
#include "app/searchfilterdlg.h"
#include "app/searchprogressdlg.h"
#include "commands/quotes/quotedialogs.h"
#include "datafiles/series.h"
#include "discovery/symbollist.h"
#include "tests/app/viewtestbed.h"
#include "testsupport/indexcheck.h"

using namespace barwise;
namespace fsys = std::filesystem;

namespace {

QByteArray ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const std::string& path, const QByteArray& bytes) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString DateText(DateCode code) { return QString::fromStdString(FormatDateMdy(code)); }

QString YmdText(int ymd) { return DateText(MakeDate(ymd / 10000, ymd / 100 % 100, ymd % 100)); }

// Copies one of the real databases into the testbed's tree; false when they are not here.
bool CopyRealDb(const ViewTestbed& t, const char* name, const std::string& relative) {
    const fsys::path from = fsys::path(BARWISE_REALDB_DIR) / name;
    std::error_code ec;
    if (!fsys::is_directory(from, ec)) return false;
    fsys::copy(from, t.dir(relative), fsys::copy_options::recursive, ec);
    if (ec) return false;
    // A working copy, writable as a user's own files are (the originals are read-only).
    for (const auto& e : fsys::directory_iterator(t.dir(relative), ec))
        fsys::permissions(e.path(), fsys::perms::owner_read | fsys::perms::owner_write, fsys::perm_options::add, ec);
    return true;
}

// The grid row of the security the index file lists with this file number; -1 when none.
int RowOf(ViewTestbed& t, IndexFile index, int fileNumber) {
    for (int r = 0; r < t.symbols().rowCount(); ++r) {
        const SecurityId& id = t.symbols().row(r).id;
        if (id.index == index && id.fileNumber == fileNumber) return r;
    }
    return -1;
}

// Selects a symbols-grid row as a click does and shows its quotes.
void ShowRow(ViewTestbed& t, int row) {
    t.view().SymbolGrid()->selectRow(row);
    t.view().SettleSelection();
    t.settle();
}

// The security of the independent decoding with this index file and file number.
barwise::testing::DecodedSecurity Decoded(const std::string& dir, barwise::testing::IndexKind index, int fileNumber) {
    for (const auto& s : barwise::testing::DecodeIndexFiles(dir).securities)
        if (s.index == index && s.fileNumber == fileNumber) return s;
    return {};
}

// The one message a confirmed delete shows is its question.
bool AskedToDeleteOnly(ScriptedUiHost& host) {
    const bool asked = host.messages.size() == 1 &&
                       host.messages.front().text.startsWith(QStringLiteral("You are about to delete"));
    host.messages.clear();
    return asked;
}

// Presses OK on the quote-command dialogs, with the close typed into Edit's.
bool EditCloseAndAccept(QDialog& d, const QString& close) {
    if (auto* edit = d.findChild<QLineEdit*>(QStringLiteral("ctl1010"))) edit->setText(close);
    d.accept();
    return d.result() == QDialog::Accepted;
}

}  // namespace

class ViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(barwise); }
    void startupShowsFirstPortfolio();
    void selectionSignals();
    void moreThan255Symbols();
    void blankSymbolIsRepairedOnce();
    void lyingHeaderFailsTheSymbolsFill();
    void unreadableSeries();
    void blockFailingPartWay();
    void seriesBeyondSignedCount();
    void cellTexts();
    void longHistoriesNegativePricesAndIntradayBars();
    void clickAndKeyboardSelectQuotes();
    void lookAlikeSymbolsShowTheirOwnQuotes();
    void cancelledScanListsWhatItFound();
    void nothingFound();
    void filterDialogAcceptance_data();
    void filterDialogAcceptance();
    void searchFilterRescan_data();
    void searchFilterRescan();
    void dataFacts_data();
    void dataFacts();
    void dataFactsFailureOpensNoDialog();
    void untrustedDopIsNamedOnce();
    void columnWidthsSurviveARestart();
    void firstStartStoresPlacement();
    void menuAndToolbar();
    void iniImportedOnFirstRunOnly();
    void refusedPortfolioShowsNoOtherSymbols();
    void extendedIndexesListEverySecurity_data();
    void extendedIndexesListEverySecurity();
    void xmasterQuoteEditsReachItsFiles();
    void dialogsTakeOnlyWhatTheyCanHoldWhole();
    void setAsideIndexIsNamedOnceAndLeftAlone();
};

void ViewTest::startupShowsFirstPortfolio() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("ZETA", {MakeSeries(1, "ZZZ", "ZED", 2)}));
    QVERIFY(t.addPortfolio("alpha", {MakeSeries(1, "MSFT", "MICROSOFT", 5), MakeSeries(2, "aapl", "APPLE", 3),
                                     MakeSeries(3, "IBM", "IBM", 4)}));
    QVERIFY(t.start());
    CBarwiseView& v = t.view();

    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    QCOMPARE(t.host.countBeeps(UiHost::Beep::Asterisk), 1);
    QCOMPARE(v.PortfolioPane().PortfoliosFound(), true);
    QCOMPARE(v.PortfolioPane().PortfolioList()->count(), 2);
    QCOMPARE(v.PortfolioPane().PortfolioList()->item(0)->text().toStdString(), t.dir("alpha"));
    QCOMPARE(v.PortfolioPane().PortfolioList()->item(1)->text().toStdString(), t.dir("ZETA"));
    QCOMPARE(v.PortfolioPane().PortfolioList()->currentRow(), 0);
    QCOMPARE(v.PortfolioDir(), t.dir("alpha"));

    QCOMPARE(t.symbolColumn(), (QStringList{"aapl", "IBM", "MSFT"}));
    QCOMPARE(v.SymbolCount(), 3);
    QCOMPARE(v.SelectedSymbolRow(), 0);
    QCOMPARE(v.SelectedSecurity()->symbol, std::string("aapl"));

    // Newest first, the newest selected.
    const DateCode first = MakeDate(2000, 1, 3);
    QCOMPARE(t.quotes().rowCount(), 3);
    QCOMPARE(t.quotes().cellText(0, 0), DateText(first + 2));
    QCOMPARE(t.quotes().cellText(2, 0), DateText(first));
    QCOMPARE(t.quotes().cellText(0, 1), QStringLiteral("10.5000"));
    QCOMPARE(v.QuoteCount(), 3);
    QCOMPARE(v.SelectedQuoteRow(), 0);
    QCOMPARE(v.QuoteGrid()->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(v.QuoteGrid()->selectionModel()->selectedRows().front().row(), 0);
    QCOMPARE(QString::fromStdString(v.FirstDateText()), DateText(first));
    QCOMPARE(QString::fromStdString(v.LastDateText()), DateText(first + 2));

    t.settle();
    QCOMPARE(t.frame->SymbolPaneText(), QStringLiteral("Symbol 1 of 3"));
    QCOMPARE(t.frame->QuotePaneText(), QStringLiteral("Quote 3 of 3"));
    QCOMPARE(t.frame->windowTitle(), QString::fromStdString("Barwise - " + t.dir("alpha") + " - aapl"));
    QVERIFY(t.enabled(kCmdSymbolMove));
    QVERIFY(t.enabled(kCmdQuoteAdd));

    // Choosing the other portfolio lists its symbols.
    v.PortfolioPane().PortfolioList()->setCurrentRow(1);
    QCOMPARE(t.symbolColumn(), QStringList{"ZZZ"});
    QCOMPARE(t.frame->windowTitle(), QString::fromStdString("Barwise - " + t.dir("ZETA") + " - ZZZ"));
    QCOMPARE(v.QuoteCount(), 2);
}

void ViewTest::selectionSignals() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A", 2), MakeSeries(2, "BBB", "B", 3)}));
    QVERIFY(t.start());
    CBarwiseView& v = t.view();
    std::vector<SecurityId> securities;
    std::vector<std::tuple<int, DateCode, TimeCode>> quotes;
    connect(&v, &CBarwiseView::SecuritySelected, &v, [&](const SecurityId& id) { securities.push_back(id); });
    connect(&v, &CBarwiseView::QuoteSelected, &v,
            [&](int position, DateCode date, TimeCode time) { quotes.emplace_back(position, date, time); });
    const DateCode first = MakeDate(2000, 1, 3);

    // Another symbol: its security, then its newest quote (position 2 of 0..2).
    v.SymbolGrid()->selectRow(1);
    v.SettleSelection();
    QVERIFY(!securities.empty());
    QCOMPARE(securities.back(), t.symbols().row(1).id);
    QVERIFY(!quotes.empty());
    QCOMPARE(quotes.back(), std::make_tuple(2, first + 2, TimeCode{0}));

    // Another quote of the same security: the quote alone is told.
    const std::size_t told = securities.size();
    QTest::mouseClick(v.QuoteGrid()->viewport(), Qt::LeftButton, {},
                      v.QuoteGrid()->visualRect(t.quotes().index(2, 0)).center());
    QCOMPARE(securities.size(), told);
    QCOMPARE(quotes.back(), std::make_tuple(0, first, TimeCode{0}));

    // A search that finds nothing leaves no security and no quote selected.
    fsys::remove_all(t.dir("p"));
    v.PortfolioPane().ScanDrive();
    QVERIFY(!securities.back().valid());
    QCOMPARE(std::get<0>(quotes.back()), -1);
}

void ViewTest::moreThan255Symbols() {
    ViewTestbed t;
    std::vector<MasterRecord> records;
    for (int i = 1; i <= 300; ++i) {
        const std::string symbol = QStringLiteral("S%1").arg(i, 3, 10, QLatin1Char('0')).toStdString();
        records.push_back(MakeMasterRecord(MakeSeries(i % 255 + 1, symbol, "NAME", 1)));
    }
    fsys::create_directories(t.dir("big"));
    QVERIFY(WriteMasterFile(t.dir("big") + "/MASTER", records, 255));
    QVERIFY(WriteDatFile(t.dir("big") + "/F2.DAT", MakeSeries(2, "S001", "NAME", 4)));
    QVERIFY(t.start());

    QCOMPARE(t.host.messageTexts(),
             QStringList{QStringLiteral("File has 300 symbols.\nWill only display the first 255 symbols")});
    QCOMPARE(t.symbols().rowCount(), 255);
    QCOMPARE(t.view().SymbolCount(), 255);
    QCOMPARE(t.symbolColumn().front(), QStringLiteral("S001"));
    QCOMPARE(t.symbolColumn().back(), QStringLiteral("S255"));
    QCOMPARE(t.quotes().rowCount(), 4);
}

void ViewTest::blankSymbolIsRepairedOnce() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "ACME", "ACME CORP", 3), MakeSeries(2, "", "ELMWOOD", 5)}));
    const std::string master = t.dir("p") + "/MASTER";
    const QByteArray before = ReadAll(master);
    QVERIFY(t.start());

    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    // Listed under its name, shown without the blanks that pad it.
    QCOMPARE(t.symbolColumn(), (QStringList{"ACME", "ELMWOOD"}));
    const QByteArray after = ReadAll(master);
    QCOMPARE(after.size(), before.size());
    const int second = 2 * static_cast<int>(kMasterRecordSize);
    QCOMPARE(after.mid(second + kMasterSymbolOffset, kMasterSymbolSize), QByteArray("ELMWOOD         "));
    // Only the empty symbol field changed; the old file is kept beside it.
    QByteArray expected = before;
    expected.replace(second + kMasterSymbolOffset, kMasterSymbolSize, "ELMWOOD         ");
    QCOMPARE(after, expected);
    QCOMPARE(ReadAll(master + ".BAK"), before);

    // The repaired series reads under its new symbol, and a second fill repairs nothing.
    t.view().SymbolGrid()->selectRow(1);
    t.view().FillQuotesGrid(0);
    QCOMPARE(t.quotes().rowCount(), 5);
    QVERIFY(QFile::remove(QString::fromStdString(master + ".BAK")));
    t.view().FillSymbolsGrid(0);
    QVERIFY(!QFile::exists(QString::fromStdString(master + ".BAK")));
    QCOMPARE(ReadAll(master), expected);
    QVERIFY(t.host.messages.empty());
}

void ViewTest::lyingHeaderFailsTheSymbolsFill() {
    ViewTestbed t;
    std::vector<DemoSeries> series;
    for (int i = 1; i <= 12; ++i) series.push_back(MakeSeries(i, "SYM" + std::to_string(i), "NAME", 2));
    QVERIFY(t.addPortfolio("liar", series));
    const std::string master = t.dir("liar") + "/MASTER";
    QByteArray bytes = ReadAll(master);
    bytes[0] = 10;  // the header claims 10 records; the file holds 12
    QVERIFY(WriteAll(master, bytes));
    QVERIFY(t.start());

    // The message names the file and what disagrees.
    QCOMPARE(t.host.messageTexts(),
             QStringList{QStringLiteral("Failure while filling symbols grid\n\n%1 holds 12 records, its header says 10")
                             .arg(QString::fromStdString(master))});
    QCOMPARE(t.host.messages.front().icon, UiHost::Icon::Stop);
    QCOMPARE(t.symbols().rowCount(), 0);
    QCOMPARE(t.quotes().rowCount(), 0);
    QCOMPARE(t.view().SymbolCount(), 0);
    QCOMPARE(t.view().QuoteCount(), 0);
    QVERIFY(!t.enabled(kCmdSymbolAbout));
    QCOMPARE(ReadAll(master), bytes);  // nothing written
}

void ViewTest::unreadableSeries() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "GONE", 3), MakeSeries(2, "BBB", "EMPTY", 0)}));
    QVERIFY(QFile::remove(QString::fromStdString(t.dir("p") + "/F1.DAT")));
    QVERIFY(t.start());

    QCOMPARE(t.host.messageTexts(), QStringList{QStringLiteral("Error in FillQuotesGrid")});
    QCOMPARE(t.quotes().rowCount(), 0);
    QCOMPARE(t.view().QuoteCount(), 0);
    t.settle();
    QCOMPARE(t.frame->QuotePaneText(), QStringLiteral("No Quotes Read"));
    QVERIFY(!t.enabled(kCmdQuoteEdit));

    // A series without quotes shows nothing and says nothing.
    t.host.messages.clear();
    t.view().SymbolGrid()->selectRow(1);
    t.view().FillQuotesGrid(0);
    QVERIFY(t.host.messages.empty());
    QCOMPARE(t.quotes().rowCount(), 0);
}

void ViewTest::blockFailingPartWay() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "LONG", "LONG SERIES", 1000)}));
    QVERIFY(t.start());
    // The second block of 400 quotes cannot be read.
    struct FailingLoader : QuoteLoader {
        int blocks = 0;
        DataStatus read(int start, int count, std::vector<LoadedQuote>& out) override {
            if (count == CBarwiseView::kQuoteBlock && ++blocks == 2) return kFileRead;
            return QuoteLoader::read(start, count, out);
        }
    };
    t.view().SetLoaderFactory([] { return std::make_unique<FailingLoader>(); });
    t.view().FillQuotesGrid(0);
    QCOMPARE(t.host.messageTexts(), QStringList{QStringLiteral("Error in FillQuotesGrid")});
    // The rows read so far stay, and the dates and the selection are still set.
    QCOMPARE(t.quotes().rowCount(), 400);
    QCOMPARE(QString::fromStdString(t.view().FirstDateText()), DateText(MakeDate(2000, 1, 3)));
    QCOMPARE(t.view().QuoteGrid()->selectionModel()->selectedRows().front().row(), 0);
}

void ViewTest::seriesBeyondSignedCount() {
    ViewTestbed t;
    const int count = 33000;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "A", "SHORT", 1), MakeSeries(2, "LONG", "LONG SERIES", count)}));
    QVERIFY(t.start());
    t.quoteTester.reset();  // it checks the whole model on every insertion
    t.view().SymbolGrid()->selectRow(1);
    t.view().FillQuotesGrid(0);
    QCOMPARE(t.quotes().rowCount(), count);
    QCOMPARE(t.view().QuoteCount(), count);
    // Newest first across the blocks it is read in.
    const DateCode first = MakeDate(2000, 1, 3);
    QCOMPARE(t.quotes().cellText(0, 0), DateText(first + count - 1));
    QCOMPARE(t.quotes().cellText(CBarwiseView::kQuoteBlock, 0), DateText(first + count - 1 - CBarwiseView::kQuoteBlock));
    QCOMPARE(t.quotes().cellText(count - 1, 0), DateText(first));
    t.settle();
    QCOMPARE(t.frame->QuotePaneText(), QStringLiteral("Quote 33000 of 33000"));
}

void ViewTest::cellTexts() {
    ViewTestbed t;
    DemoSeries s = MakeSeries(1, "NOOI", "NO OPEN INTEREST", 1, 24);
    s.quotes[0].close = 12.5f;
    s.quotes[0].volume = 1234.6f;
    QVERIFY(t.addPortfolio("p", {s}));
    QVERIFY(t.start());
    QCOMPARE(t.quotes().rowCount(), 1);
    QCOMPARE(t.quotes().cellText(0, 4), QStringLiteral("12.5000"));
    QCOMPARE(t.quotes().cellText(0, 5), QStringLiteral("1235"));
    QCOMPARE(t.quotes().cellText(0, 6), QStringLiteral("N/A"));
    QCOMPARE(t.quotes().headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Open Interest"));
    QVERIFY(t.view().QuoteGrid()->isColumnHidden(QuoteGridModel::kTimeColumn));
}

// Real histories: a bar of 1928 shows its century, a back-adjusted negative price is a number,
// and the bars of one intraday day are told apart by a Time column right after the date.
void ViewTest::longHistoriesNegativePricesAndIntradayBars() {
    ViewTestbed t;
    DemoSeries old = MakeSeries(1, "OLD", "CASH 1928", 2, 24);
    old.quotes[0].date = MakeDate(1928, 10, 1);
    old.quotes[1].date = MakeDate(1928, 10, 2);
    old.quotes[1].close = -6.352f;
    DemoSeries bars = MakeSeries(2, "BARS", "ONE MINUTE", 2, 32);
    bars.quotes[1].date = bars.quotes[0].date;
    bars.quotes[0].time = MakeTime(9, 16, 0);
    bars.quotes[1].time = MakeTime(9, 17, 0);
    QVERIFY(t.addPortfolio("p", {old, bars}));
    QVERIFY(t.start());
    QCOMPARE(t.symbolColumn(), (QStringList{"BARS", "OLD"}));

    QCOMPARE(t.quotes().cellText(0, 0), DateText(bars.quotes[0].date));
    QCOMPARE(t.quotes().cellText(0, QuoteGridModel::kTimeColumn), QStringLiteral("09:17:00"));
    QCOMPARE(t.quotes().cellText(1, QuoteGridModel::kTimeColumn), QStringLiteral("09:16:00"));
    QCOMPARE(t.quotes().row(0).time, MakeTime(9, 17, 0));
    QHeaderView* header = t.view().QuoteGrid()->horizontalHeader();
    QVERIFY(!t.view().QuoteGrid()->isColumnHidden(QuoteGridModel::kTimeColumn));
    QCOMPARE(header->visualIndex(QuoteGridModel::kTimeColumn), 1);
    QCOMPARE(t.quotes().headerData(QuoteGridModel::kTimeColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Time"));

    t.view().SymbolGrid()->selectRow(1);
    t.view().FillQuotesGrid(0);
    QVERIFY(t.view().QuoteGrid()->isColumnHidden(QuoteGridModel::kTimeColumn));
    QCOMPARE(t.quotes().cellText(0, 0), QStringLiteral("10/02/1928"));
    QCOMPARE(t.quotes().cellText(1, 0), QStringLiteral("10/01/1928"));
    QCOMPARE(t.quotes().cellText(0, 4), QStringLiteral("-6.3520"));
    QCOMPARE(t.quotes().cellText(0, 6), QStringLiteral("N/A"));  // no open interest in 24 bytes
    QCOMPARE(t.view().FirstDate(), MakeDate(1928, 10, 1));
}

void ViewTest::clickAndKeyboardSelectQuotes() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A", 2), MakeSeries(2, "BBB", "B", 3),
                                 MakeSeries(3, "CCC", "C", 4)}));
    QVERIFY(t.start());
    CBarwiseView& v = t.view();
    int fills = 0;  // a fill opens the series once
    v.SetLoaderFactory([&] {
        ++fills;
        return std::make_unique<QuoteLoader>();
    });
    QTableView* grid = v.SymbolGrid();
    const QPoint third = grid->visualRect(t.symbols().index(2, 1)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, third);

    // A click shows the quotes at once.
    QCOMPARE(fills, 1);
    QVERIFY(!v.QuotesPending());
    QCOMPARE(v.SelectedSymbolRow(), 2);
    QCOMPARE(v.SelectedSecurity()->symbol, std::string("CCC"));
    QCOMPARE(t.quotes().rowCount(), 4);
    QCOMPARE(v.SelectedQuoteRow(), 0);
    QCOMPARE(t.frame->windowTitle(), QString::fromStdString("Barwise - " + t.dir("p") + " - CCC"));
    t.settle();
    QCOMPARE(t.frame->SymbolPaneText(), QStringLiteral("Symbol 3 of 3"));

    // Keys held down move the title along but read no series on the way; the quotes of
    // the symbol the selection rests on follow after the pause.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(v.SelectedSymbolRow(), 1);
    QCOMPARE(t.frame->windowTitle(), QString::fromStdString("Barwise - " + t.dir("p") + " - BBB"));
    QCOMPARE(fills, 1);
    QTRY_COMPARE(fills, 2);
    QCOMPARE(v.SelectedSecurity()->symbol, std::string("BBB"));
    QCOMPARE(t.quotes().rowCount(), 3);
    QCOMPARE(v.QuoteCount(), 3);
    QTest::qWait(2 * CBarwiseView::kKeyboardLoadDelayMs);
    QCOMPARE(fills, 2);

    // A command chosen before the pause is over acts on the symbol the user sees selected.
    QTest::keyClick(grid, Qt::Key_Up);
    QVERIFY(v.QuotesPending());
    QString factsSymbol;
    t.host.onDialog = [&](QDialog& d) {
        if (auto* facts = qobject_cast<CDataFactsDlg*>(&d)) factsSymbol = facts->Text(1068);
        return true;
    };
    t.frame->Action(kCmdSymbolAbout)->trigger();
    QCOMPARE(factsSymbol.trimmed(), QStringLiteral("AAA"));
    QCOMPARE(t.quotes().rowCount(), 2);
    QVERIFY(!v.QuotesPending());
    // So does every command the frame routes, whatever its handler.
    QTest::keyClick(grid, Qt::Key_Down);
    QVERIFY(v.QuotesPending());
    t.frame->Action(kCmdQuoteEdit)->trigger();
    QVERIFY(!v.QuotesPending());
    QCOMPARE(t.quotes().rowCount(), 3);
    QTest::keyClick(grid, Qt::Key_Up);
    t.frame->Action(kCmdQuoteEdit)->trigger();

    // Selecting the oldest quote disables Quotes > Add, and the pane counts from the oldest.
    QTest::mouseClick(v.QuoteGrid()->viewport(), Qt::LeftButton, {},
                      v.QuoteGrid()->visualRect(t.quotes().index(1, 0)).center());
    QCOMPARE(v.SelectedQuoteRow(), 1);
    QVERIFY(!t.enabled(kCmdQuoteAdd));
    QCOMPARE(t.frame->QuotePaneText(), QStringLiteral("Quote 1 of 2"));
}

void ViewTest::lookAlikeSymbolsShowTheirOwnQuotes() {
    // Both symbol fields read "BRK" up to their blank.
    ViewTestbed t;
    DemoSeries b = MakeSeries(7, "BRK B", "BERKSHIRE B", 5);
    for (DemoQuote& q : b.quotes) q.close = 250.0f;
    QVERIFY(t.addPortfolio("p", {MakeSeries(3, "BRK A", "BERKSHIRE A", 3), b}));
    QVERIFY(t.start());
    CBarwiseView& v = t.view();
    CommandView& commands = v;
    QCOMPARE(t.symbolColumn(), (QStringList{"BRK", "BRK"}));
    QCOMPARE(t.quotes().rowCount(), 3);

    QTest::mouseClick(v.SymbolGrid()->viewport(), Qt::LeftButton, {},
                      v.SymbolGrid()->visualRect(t.symbols().index(1, 0)).center());
    QCOMPARE(t.quotes().rowCount(), 5);
    QCOMPARE(t.quotes().cellText(0, 4), QStringLiteral("250.0000"));
    QString fileNumber;
    t.host.onDialog = [&](QDialog& d) {
        if (auto* facts = qobject_cast<CDataFactsDlg*>(&d)) fileNumber = facts->Text(1060);
        return true;
    };
    t.frame->Action(kCmdSymbolAbout)->trigger();
    QCOMPARE(fileNumber, QStringLiteral("7"));

    // What the commands are given: the entry, the texts and the selected quote.
    const std::optional<SymbolSelection> security = commands.SelectedSecurity();
    QVERIFY(security);
    QCOMPARE(security->id.fileNumber, 7);
    QCOMPARE(security->id.position, 2);
    QCOMPARE(security->symbol, std::string("BRK"));
    QCOMPARE(security->name, std::string("BERKSHIRE B     "));
    const DateCode first = MakeDate(2000, 1, 3);
    QCOMPARE(commands.FirstDate(), first);
    QCOMPARE(commands.LastDate(), DateCode(first + 4));
    QTest::mouseClick(v.QuoteGrid()->viewport(), Qt::LeftButton, {},
                      v.QuoteGrid()->visualRect(t.quotes().index(3, 0)).center());
    const std::optional<QuoteSelection> quote = commands.SelectedQuote();
    QVERIFY(quote);
    QCOMPARE(quote->row, 3);
    QCOMPARE(quote->date, DateCode(first + 1));
    QCOMPARE(quote->values[3], 250.0f);
    QCOMPARE(commands.Portfolios(), std::vector<std::string>{t.dir("p")});
    QCOMPARE(commands.CurrentPortfolio(), 0);

    // The split search window's flag reaches the command states through the view.
    QVERIFY(t.enabled(kCmdSplitSearch));
    commands.SetSplitSearchOpen(true);
    QVERIFY(!t.enabled(kCmdSplitSearch));
    QVERIFY(!t.enabled(kCmdSymbolEdit));
    commands.SetSplitSearchOpen(false);
    QVERIFY(t.enabled(kCmdSymbolEdit));
}

void ViewTest::cancelledScanListsWhatItFound() {
    ViewTestbed t;
    for (const char* dir : {"a", "b", "c"}) QVERIFY(t.addPortfolio(dir, {MakeSeries(1, "S", "S", 1)}));
    QVERIFY(t.start());
    QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), 3);

    // While the box is up every command is held, and a second search does not start
    // inside the first; Cancel, once the box counts the first portfolio, ends it.
    QTimer user;
    user.setInterval(0);
    bool rescanHeld = true;
    connect(&user, &QTimer::timeout, [&] {
        auto* box = qobject_cast<CSearchProgressDlg*>(QApplication::activeModalWidget());
        if (!box) return;
        rescanHeld = rescanHeld && !t.frame->Action(kCmdRescan)->isEnabled();
        t.view().PortfolioPane().ScanDrive();
        if (box->findChild<QLabel*>(QStringLiteral("ctl1030"))->text() == QStringLiteral("1"))
            box->findChild<QPushButton*>(QStringLiteral("ctl2"))->click();
    });
    user.start();
    t.frame->Action(kCmdRescan)->trigger();
    user.stop();

    QVERIFY(rescanHeld);
    QCOMPARE(t.host.countBeeps(UiHost::Beep::Asterisk), 2);
    QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), 1);
    QVERIFY(t.enabled(kCmdRescan));
    QCOMPARE(t.view().PortfolioPane().PortfoliosFound(), true);
    QCOMPARE(t.symbolColumn(), QStringList{"S"});
    QVERIFY(t.host.messages.empty());
    QVERIFY(!QApplication::activeModalWidget());
}

void ViewTest::nothingFound() {
    ViewTestbed t;
    fsys::create_directories(t.dir("empty/deeper"));
    QVERIFY(t.start());
    QCOMPARE(t.host.messageTexts(),
             QStringList{QString::fromStdString("No master files found on drive " + t.root +
                                                "\n\n(Is your Portfolio Search Filter setting correct?)")});
    QCOMPARE(t.view().PortfolioPane().PortfoliosFound(), false);
    QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), 0);
    for (int id : {kCmdQuoteEdit, kCmdQuoteSplit, kCmdQuoteAdjust, kCmdQuoteAdd, kCmdQuoteDelete,
                   kCmdExport, kCmdSymbolDelete, kCmdSymbolEdit, kCmdSymbolAbout, kCmdSplitSearch,
                   kCmdSymbolMove, kCmdSymbolCopy})
        QVERIFY2(!t.enabled(id), qPrintable(QString::number(id)));
    QVERIFY(t.enabled(kCmdSearchFilter));
    QVERIFY(t.enabled(kCmdRescan));
    t.settle();
    QCOMPARE(t.frame->SymbolPaneText(), QStringLiteral("No Symbols Read"));

    // ReScan (F5) searches again and finds what is there now.
    QVERIFY(t.addPortfolio("empty/deeper", {MakeSeries(1, "NEW", "NEW", 1)}));
    t.frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(t.frame.get()));
    QTest::keyClick(t.frame.get(), Qt::Key_F5);
    QCOMPARE(t.host.countBeeps(UiHost::Beep::Asterisk), 2);
    QCOMPARE(t.view().PortfolioPane().PortfoliosFound(), true);
    QCOMPARE(t.symbolColumn(), QStringList{"NEW"});
}

void ViewTest::filterDialogAcceptance_data() {
    QTest::addColumn<bool>("limit");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("path on the volume") << true << "/srv/data" << true;
    QTest::newRow("relative path") << true << "data" << false;
    QTest::newRow("drive letter") << true << "q:\\data" << false;
    QTest::newRow("empty") << true << "" << false;
    QTest::newRow("switch off") << false << "" << true;
}

void ViewTest::filterDialogAcceptance() {
    QFETCH(bool, limit);
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    ScriptedUiHost host;
    const std::vector<Drive> drives = {{"/", "/"}};
    CSearchFilterDlg dialog(host, drives);
    dialog.SetData(!limit, QStringLiteral("/old"));
    auto* check = dialog.findChild<QCheckBox*>(QStringLiteral("ctl1110"));
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("ctl1111"));
    QVERIFY(check && edit);
    QCOMPARE(edit->isEnabled(), !limit);
    check->click();  // the edit follows the switch
    QCOMPARE(edit->isEnabled(), limit);
    edit->setText(path);
    dialog.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(host.messageTexts(),
             accepted ? QStringList{} : QStringList{QStringLiteral("The Search Filter path refers to an unknown drive")});
}

void ViewTest::searchFilterRescan_data() {
    QTest::addColumn<bool>("limit");
    QTest::addColumn<QString>("relativePath");  // appended to the tree's root
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("scans");
    QTest::addColumn<int>("portfolios");
    // The search starts limited to <root>/one.
    QTest::newRow("widened to the tree") << true << "" << true << 2 << 2;
    QTest::newRow("letter case only") << true << "/ONE" << true << 1 << 1;
    QTest::newRow("switched off, same path") << false << "/one" << true << 2 << 2;
    QTest::newRow("cancelled") << true << "" << false << 1 << 1;
}

void ViewTest::searchFilterRescan() {
    QFETCH(bool, limit);
    QFETCH(QString, relativePath);
    QFETCH(bool, ok);
    QFETCH(int, scans);
    QFETCH(int, portfolios);
    ViewTestbed t;
    const QString root = QString::fromStdString(t.root);
    const QString initial = root + QStringLiteral("/one");
    t.settings->WriteProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), 1);
    t.settings->WriteProfileString(QStringLiteral("Search"), QStringLiteral("Name"), initial);
    QVERIFY(t.addPortfolio("one", {MakeSeries(1, "ONE", "ONE", 1)}));
    QVERIFY(t.addPortfolio("two", {MakeSeries(1, "TWO", "TWO", 1)}));
    QVERIFY(t.start());
    QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), 1);

    const QString path = root + relativePath;
    t.host.onDialog = [&](QDialog& d) {
        auto* check = d.findChild<QCheckBox*>(QStringLiteral("ctl1110"));
        if (check->isChecked() != limit) check->click();
        d.findChild<QLineEdit*>(QStringLiteral("ctl1111"))->setText(path);
        if (!ok) return false;
        d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
        return d.result() == QDialog::Accepted;
    };
    t.frame->Action(kCmdSearchFilter)->trigger();

    QCOMPARE(t.host.countBeeps(UiHost::Beep::Asterisk), scans);
    QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), portfolios);
    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    // The path is kept as typed even when it calls for no new search.
    const QString kept = ok ? path : initial;
    QCOMPARE(t.settings->GetProfileString(QStringLiteral("Search"), QStringLiteral("Name"), QString()), kept);
    QCOMPARE(t.settings->GetProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), -1), ok ? int(limit) : 1);
    QCOMPARE(QString::fromStdString(t.view().PortfolioPane().SearchKeyUpper()), kept.toUpper());
}

void ViewTest::dataFacts_data() {
    QTest::addColumn<bool>("withDop");
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("no DOP") << false
                            << QList<int>{1060, 1062, 1061, 1064, 1071, 1066, 1065, 1067, 1068, 1072,
                                          1081, 1074, 1083, 1085, 1087}
                            << QStringList{"4", "28", "7", "3", "FACTS CORP      ", "1000103",
                                           "1000105", "D Daily", "FCT             ", "Whole Num.", "Whole Num.",
                                           "", "", "Whole Num.", "Whole Num."};
    QTest::newRow("DOP with volume in thousands") << true << QList<int>{1076, 1085, 1077, 1086, 1074}
                                                  << QStringList{"1,000s", "100s", "100ths", "1,000ths", ""};
}

void ViewTest::dataFacts() {
    QFETCH(bool, withDop);
    QFETCH(QList<int>, ids);
    QFETCH(QStringList, texts);
    ViewTestbed t;
    DemoSeries s = MakeSeries(4, "FCT", "FACTS CORP", 3);
    if (withDop) {
        s.writeDop = true;
        // DATE OPEN HIGH LOW CLOSE VOL OI
        s.formats = {{0, 0}, {2, 2}, {2, 2}, {2, 2}, {2, 3}, {1000, 100}, {0, 0}};
    }
    QVERIFY(t.addPortfolio("p", {s}));
    QVERIFY(t.start());
    QMap<int, QString> shown;
    t.host.onDialog = [&](QDialog& d) {
        auto* facts = qobject_cast<CDataFactsDlg*>(&d);
        if (!facts) return false;
        for (int id : ids) shown[id] = facts->Text(id);
        shown[1053] = facts->Text(1053);
        return true;
    };
    QVERIFY(t.enabled(kCmdSymbolAbout));
    t.frame->Action(kCmdSymbolAbout)->trigger();
    QCOMPARE(t.host.dialogs, std::vector<QString>{QStringLiteral("About Selected Quote Series")});
    for (int i = 0; i < ids.size(); ++i) QCOMPARE(shown[ids[i]], texts[i]);
    QCOMPARE(shown[1053].toStdString(), t.dir("p"));
}

// A DOP that names no date describes some other file: the quotes are shown by the default
// layout, the user is told once which DOP was set aside, and the data facts name it.
void ViewTest::untrustedDopIsNamedOnce() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "DOPX", "DAMAGED DOP", 3)}));
    QFile dop(QString::fromStdString(t.dir("p") + "/F1.DOP"));
    QVERIFY(dop.open(QIODevice::WriteOnly));
    dop.write("\"CLOSE\",2,2\n");
    dop.close();
    QVERIFY(t.start());
    QCOMPARE(t.host.messages.size(), std::size_t(1));
    QVERIFY(t.host.messages.front().text.contains(QStringLiteral("F1.DOP")));
    QCOMPARE(t.quotes().cellText(2, 4), QStringLiteral("10.5000"));  // the close, by the 28-byte layout
    t.view().FillQuotesGrid(0);
    QCOMPARE(t.host.messages.size(), std::size_t(1));
    QString note;
    t.host.onDialog = [&](QDialog& d) {
        if (auto* facts = qobject_cast<CDataFactsDlg*>(&d)) note = facts->Text(kDopIgnoredControl);
        return true;
    };
    t.frame->Action(kCmdSymbolAbout)->trigger();
    QVERIFY2(note.startsWith(QStringLiteral("F1.DOP not used")), qPrintable(note));
}

void ViewTest::dataFactsFailureOpensNoDialog() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "GONE", "GONE", 3)}));
    QVERIFY(t.start());
    QVERIFY(QFile::remove(QString::fromStdString(t.dir("p") + "/F1.DAT")));
    QVERIFY(t.enabled(kCmdSymbolAbout));
    t.frame->Action(kCmdSymbolAbout)->trigger();
    QVERIFY(t.host.dialogs.empty());
    QCOMPARE(t.host.messages.size(), std::size_t(1));
    QVERIFY(t.host.messages.front().text.contains(QStringLiteral("GONE")));
}

void ViewTest::columnWidthsSurviveARestart() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A", 2)}));
    QVERIFY(t.start());
    QHeaderView* quotes = t.view().QuoteGrid()->horizontalHeader();
    QHeaderView* symbols = t.view().SymbolGrid()->horizontalHeader();
    const int defaultWidth = quotes->sectionSize(0);
    QCOMPARE(defaultWidth, t.view().QuoteGrid()->viewport()->width() * 9 / 70);
    quotes->resizeSection(0, defaultWidth + 23);
    symbols->resizeSection(1, 61);
    t.frame->close();
    QCOMPARE(t.settings->GetProfileInt(QStringLiteral("QuoteGrid"), QStringLiteral("col0"), 0), defaultWidth + 23);
    QCOMPARE(t.settings->GetProfileInt(QStringLiteral("SymbolGrid"), QStringLiteral("col1"), 0), 61);

    t.host.beeps.clear();
    QVERIFY(t.start());
    QCOMPARE(t.view().QuoteGrid()->horizontalHeader()->sectionSize(0), defaultWidth + 23);
    QCOMPARE(t.view().SymbolGrid()->horizontalHeader()->sectionSize(1), 61);

    // Widths that no longer fit give way to the defaults.
    t.frame->close();
    t.settings->WriteProfileInt(QStringLiteral("QuoteGrid"), QStringLiteral("col3"), 5000);
    t.host.beeps.clear();
    QVERIFY(t.start());
    QCOMPARE(t.view().QuoteGrid()->horizontalHeader()->sectionSize(0),
             t.view().QuoteGrid()->viewport()->width() * 9 / 70);
}

void ViewTest::firstStartStoresPlacement() {
    ViewTestbed t;
    SettingsStore& s = *t.settings;
    const auto read = [&](const char* e) { return s.GetProfileInt(QStringLiteral("Screen"), QString::fromLatin1(e), -1); };
    QCOMPARE(read("cx"), -1);
    const WindowPlacement p = CMainFrame::RestorePlacement(s, 1024, 768);
    QCOMPARE(p, (WindowPlacement{26, 19, 972, 729}));
    QCOMPARE(read("x"), 26);
    QCOMPARE(read("y"), 19);
    QCOMPARE(read("cx"), 972);
    QCOMPARE(read("cy"), 729);
    // A usable stored placement is taken as it is, and not written again.
    s.WriteProfileInt(QStringLiteral("Screen"), QStringLiteral("cx"), 500);
    QCOMPARE(CMainFrame::RestorePlacement(s, 1024, 768), (WindowPlacement{26, 19, 500, 729}));
    // One too wide for the screen gives way to the default, which is stored.
    s.WriteProfileInt(QStringLiteral("Screen"), QStringLiteral("cx"), 1025);
    QCOMPARE(CMainFrame::RestorePlacement(s, 1024, 768), (WindowPlacement{26, 19, 972, 729}));
    QCOMPARE(read("cx"), 972);
}

void ViewTest::menuAndToolbar() {
    ViewTestbed t;
    QVERIFY(t.start());
    for (QAction* a : t.frame->ToolBar()->actions())
        if (!a->isSeparator()) QVERIFY2(!a->icon().isNull(), qPrintable(a->text()));

    QAction* split = t.frame->Action(kCmdQuoteSplit);
    QCOMPARE(split->statusTip(), QStringLiteral("Enter a split"));
    QCOMPARE(split->toolTip(), QStringLiteral("Enter split"));
    QCOMPARE(t.frame->Action(kCmdSymbolAbout)->statusTip(), QStringLiteral("Facts about the selected quote series"));
    QCOMPARE(t.frame->Action(kCmdRescan)->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(t.frame->IdleText(), QStringLiteral("For Help, press F1"));

    // Hiding the toolbar and the status bar from the View menu.
    t.frame->Action(kCmdViewToolbar)->trigger();
    QVERIFY(!t.frame->ToolBar()->isVisible());
    t.frame->Action(kCmdViewStatusBar)->trigger();
    QVERIFY(!t.frame->statusBar()->isVisible());

    // Help Topics shows the program's own help page.
    t.frame->Action(kCmdHelpTopics)->trigger();
    auto* help = t.frame->findChild<QTextBrowser*>();
    QVERIFY(help);
    QVERIFY(help->toPlainText().contains(QStringLiteral("Finding portfolios")));
}

void ViewTest::iniImportedOnFirstRunOnly() {
    QTemporaryDir dir;
    qputenv("BARWISE_SETTINGS", dir.filePath(QStringLiteral("Barwise.conf")).toLocal8Bit());
    qputenv("BARWISE_WINDIR", dir.path().toLocal8Bit());
    const std::string ini = dir.filePath(QStringLiteral("Barwise.INI")).toStdString();
    QVERIFY(WriteAll(ini, "[XportSel]\r\nStarter=old.txt\r\n"));
    const auto starter = [](CBarwiseApp& app) {
        return app.Settings().GetProfileString(QStringLiteral("XportSel"), QStringLiteral("Starter"),
                                               QStringLiteral("output.txt"));
    };
    {
        // The window is closed again before its start-up search begins.
        CBarwiseApp app;
        QVERIFY(app.InitInstance());
        QCOMPARE(starter(app), QStringLiteral("old.txt"));
        app.ExitInstance();
    }
    QVERIFY(WriteAll(ini, "[XportSel]\r\nStarter=changed.txt\r\n"));
    {
        CBarwiseApp app;
        QVERIFY(app.InitInstance());
        QCOMPARE(starter(app), QStringLiteral("old.txt"));
        app.ExitInstance();
    }
    qunsetenv("BARWISE_SETTINGS");
    qunsetenv("BARWISE_WINDIR");
}

void ViewTest::refusedPortfolioShowsNoOtherSymbols() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("zeta", {MakeSeries(1, "AAA", "A", 2)}));
    // A path longer than the view takes, listed first.
    std::string deep = "b" + std::string(200, 'x');
    deep += "/" + std::string(120, 'y');
    QVERIFY(t.addPortfolio(deep, {MakeSeries(1, "DEEP", "D", 2)}));
    QVERIFY(t.start());
    QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), 2);
    const QStringList failure{QStringLiteral("Failure while filling symbols grid")};
    QCOMPARE(t.host.messageTexts(), failure);
    t.view().PortfolioPane().PortfolioList()->setCurrentRow(1);
    QCOMPARE(t.symbolColumn(), QStringList{"AAA"});
    // Searched again, the first portfolio fails as well: never the symbols shown before.
    t.host.messages.clear();
    t.view().PortfolioPane().ScanDrive();
    QCOMPARE(t.host.messageTexts(), failure);
    QCOMPARE(t.symbols().rowCount(), 0);
    QCOMPARE(t.quotes().rowCount(), 0);
    QVERIFY(!t.enabled(kCmdSymbolAbout));
}

// Through the window's commands: the date fields open selected (typing replaces the date)
// and in the ten-character form where the series reaches before 1960; a day that does not
// exist, a symbol another security answers to and text the index files cannot hold are
// refused, the field at fault named, and nothing is written.
void ViewTest::dialogsTakeOnlyWhatTheyCanHoldWhole() {
    ViewTestbed t;
    barwise::DemoSeries old = MakeSeries(1, "AAA", "AAA CORP", 10);
    old.quotes[0].date = MakeDate(1950, 1, 3);
    QVERIFY(t.addPortfolio("p", {old, MakeSeries(2, "BBB", "BBB CORP", 10)}));
    QVERIFY(t.start());
    QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "BBB"}));
    ShowRow(t, 0);
    const std::string dir = t.dir("p");
    const QByteArray dat = ReadAll(dir + "/F1.DAT"), master = ReadAll(dir + "/MASTER");

    QStringList seen;
    t.host.onDialog = [&](QDialog& d) {
        auto* date = d.findChild<QLineEdit*>(QStringLiteral("ctl1018"));
        seen << date->text() << date->selectedText();
        QTest::keyClicks(date, QStringLiteral("02302000"));  // 02/30/2000
        d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
        seen << date->text() << date->selectedText();
        return false;
    };
    t.frame->Action(kCmdQuoteSplit)->trigger();
    QCOMPARE(seen, (QStringList{"01/12/2000", "01/12/2000", "02/30/2000", "02/30/2000"}));
    QCOMPARE(t.host.messageTexts(), QStringList{QStringLiteral("Invalid Data Entered\n\nSplit Date")});
    t.host.messages.clear();

    // Adjust: both ends in the long form, so a range can end before 1960.
    seen.clear();
    t.host.onDialog = [&](QDialog& d) {
        auto* from = d.findChild<QLineEdit*>(QStringLiteral("ctl1019"));
        auto* to = d.findChild<QLineEdit*>(QStringLiteral("ctl1020"));
        seen << from->text() << to->text() << to->selectedText();
        QTest::keyClicks(to, QStringLiteral("12311950"));
        d.findChild<QLineEdit*>(QStringLiteral("ctl1024"))->setText(QStringLiteral("-1"));
        d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
        if (d.result() == QDialog::Accepted) return true;
        seen << t.host.messageTexts();
        d.findChild<QLineEdit*>(QStringLiteral("ctl1024"))->setText(QStringLiteral("2"));
        d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
        return d.result() == QDialog::Accepted;
    };
    t.frame->Action(kCmdQuoteAdjust)->trigger();
    QCOMPARE(seen, (QStringList{"01/03/1950", "01/12/2000", "01/12/2000", "Invalid Data Entered\n\nOpen Interest"}));
    const int oldest = t.quotes().rowCount() - 1;
    QCOMPARE(t.quotes().cellText(oldest, 6), QStringLiteral("1000"));  // 500 doubled
    QCOMPARE(t.quotes().cellText(oldest - 1, 6), QStringLiteral("501"));
    QVERIFY(ReadAll(dir + "/F1.DAT") != dat);
    t.host.messages.clear();

    // Symbol > Edit: each refusal keeps the dialog open and MASTER as it was.
    ShowRow(t, 0);
    QStringList refusals;
    t.host.onDialog = [&](QDialog& d) {
        auto* symbol = d.findChild<QLineEdit*>(QStringLiteral("ctl1039"));
        auto* name = d.findChild<QLineEdit*>(QStringLiteral("ctl1040"));
        for (const QString& text : {QStringLiteral(" AAA"), QStringLiteral("bbb")}) {
            symbol->setText(text);
            d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
            if (d.result() == QDialog::Accepted) return true;
        }
        symbol->setText(QStringLiteral("AAA"));
        name->setText(QStringLiteral("AAA \u20AC"));  // pasted text beyond Latin-1
        d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
        if (d.result() == QDialog::Accepted) return true;
        refusals << name->selectedText();
        return false;
    };
    t.frame->Action(kCmdSymbolEdit)->trigger();
    const QStringList texts = t.host.messageTexts();
    QCOMPARE(texts.size(), 3);
    QVERIFY2(texts[0].startsWith(QStringLiteral("A symbol cannot begin with a blank")), qPrintable(texts[0]));
    QVERIFY2(texts[1].startsWith(QStringLiteral("Symbol bbb is already used by BBB (F2)")), qPrintable(texts[1]));
    QVERIFY2(texts[2].contains(QStringLiteral("\"\u20AC\" (U+20AC)")), qPrintable(texts[2]));
    QCOMPARE(refusals, QStringList{QStringLiteral("AAA \u20AC")});
    QCOMPARE(ReadAll(dir + "/MASTER"), master);
    QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "BBB"}));
}

QTEST_MAIN(ViewTest)
#include "view_test.moc"

void ViewTest::extendedIndexesListEverySecurity_data() {
    QTest::addColumn<bool>("inXmaster");
    QTest::addColumn<int>("fileNumber");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("dataFile");
    QTest::newRow("MASTER entry, long name in EMASTER") << false << 151 << "FERROVIE NORD MILANO" << "F151.DAT";
    QTest::newRow("MASTER entry, short name") << false << 2 << "A2A" << "F2.DAT";
    QTest::newRow("XMASTER entry") << true << 334 << "AUTOSTRADE MERIDIONALI" << "F334.MWD";
}

void ViewTest::extendedIndexesListEverySecurity() {
    QFETCH(bool, inXmaster);
    QFETCH(int, fileNumber);
    QFETCH(QString, name);
    QFETCH(QString, dataFile);
    ViewTestbed t;
    if (!CopyRealDb(t, "equis-italy", "italy")) QSKIP("the real databases are not here");
    QVERIFY(t.start());
    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    QCOMPARE(t.symbols().rowCount(), 462);
    QCOMPARE(t.view().SymbolCount(), 462);

    // Every row shows the name an independent reading of the three index files gives.
    const auto decoded = barwise::testing::DecodeIndexFiles(t.dir("italy")).securities;
    QCOMPARE(decoded.size(), std::size_t(462));
    for (int r = 0; r < t.symbols().rowCount(); ++r) {
        const SecurityId& id = t.symbols().row(r).id;
        const auto kind = id.inXmaster() ? barwise::testing::IndexKind::kXmaster : barwise::testing::IndexKind::kMaster;
        const auto it = std::find_if(decoded.begin(), decoded.end(), [&](const auto& d) {
            return d.index == kind && d.position == id.position && d.fileNumber == id.fileNumber;
        });
        QVERIFY2(it != decoded.end(), qPrintable(QString::number(id.fileNumber)));
        QCOMPARE(t.symbols().data(t.symbols().index(r, 1), Qt::DisplayRole).toString(),
                 QString::fromLatin1(it->fullName()));
    }

    const IndexFile index = inXmaster ? IndexFile::kXMaster : IndexFile::kMaster;
    const int row = RowOf(t, index, fileNumber);
    QVERIFY(row >= 0);
    ShowRow(t, row);
    QCOMPARE(t.view().SelectedSecurity()->id, t.symbols().row(row).id);
    const QString listedIn = inXmaster ? QStringLiteral("XMASTER") : QStringLiteral("MASTER");
    QCOMPARE(t.frame->SecurityPaneText(), name + " - " + dataFile + " in " + listedIn);
    QCOMPARE(t.frame->SymbolPaneText(), QStringLiteral("Symbol %1 of 462").arg(row + 1));
    const auto kind = inXmaster ? barwise::testing::IndexKind::kXmaster : barwise::testing::IndexKind::kMaster;
    QCOMPARE(t.quotes().cellText(0, 0), YmdText(Decoded(t.dir("italy"), kind, fileNumber).lastDate));

    QMap<int, QString> shown;
    t.host.onDialog = [&](QDialog& d) {
        auto* facts = qobject_cast<CDataFactsDlg*>(&d);
        for (int id : {1060, 1071, kDataFileControl, kIndexFileControl}) shown[id] = facts ? facts->Text(id) : QString();
        return true;
    };
    t.frame->Action(kCmdSymbolAbout)->trigger();
    QCOMPARE(shown[1060], QString::number(fileNumber));
    QCOMPARE(shown[1071].trimmed(), name);
    QCOMPARE(shown[kDataFileControl], dataFile);
    QCOMPARE(shown[kIndexFileControl], listedIn);
}

// Quote commands on a security only XMASTER lists write its F<n>.MWD; deleting its newest
// quote brings XMASTER's last date along, and the three index files still agree.
void ViewTest::xmasterQuoteEditsReachItsFiles() {
    ViewTestbed t;
    if (!CopyRealDb(t, "equis-italy", "italy")) QSKIP("the real databases are not here");
    const std::string dir = t.dir("italy");
    const QByteArray master = ReadAll(dir + "/Master");
    const QByteArray emaster = ReadAll(dir + "/Emaster");
    QVERIFY(!master.isEmpty() && !emaster.isEmpty());
    QVERIFY(t.start());
    const int row = RowOf(t, IndexFile::kXMaster, 334);
    QVERIFY(row >= 0);
    ShowRow(t, row);
    const int count = t.quotes().rowCount();
    QVERIFY(count > 2);
    const QByteArray mwd = ReadAll(dir + "/F334.MWD");

    t.host.onDialog = [](QDialog& d) { return EditCloseAndAccept(d, QStringLiteral("12.5")); };
    t.frame->Action(kCmdQuoteEdit)->trigger();
    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    QCOMPARE(t.quotes().cellText(0, 4), QStringLiteral("12.5000"));
    QVERIFY(ReadAll(dir + "/F334.MWD") != mwd);
    QCOMPARE(ReadAll(dir + "/Master"), master);

    const QString secondNewest = t.quotes().cellText(1, 0);
    t.frame->Action(kCmdQuoteDelete)->trigger();
    QVERIFY2(AskedToDeleteOnly(t.host), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    QCOMPARE(t.quotes().rowCount(), count - 1);
    QCOMPARE(t.quotes().cellText(0, 0), secondNewest);
    QCOMPARE(YmdText(Decoded(dir, barwise::testing::IndexKind::kXmaster, 334).lastDate), secondNewest);
    QCOMPARE(ReadAll(dir + "/Master"), master);
    QCOMPARE(ReadAll(dir + "/Emaster"), emaster);
    QStringList disagreements;
    for (const std::string& line : barwise::testing::IndexDisagreements(dir)) disagreements << QString::fromStdString(line);
    QVERIFY2(disagreements.isEmpty(), qPrintable(disagreements.join(QLatin1Char('|'))));
    // The security is still listed, in its place.
    QCOMPARE(RowOf(t, IndexFile::kXMaster, 334), row);

    // Renamed to a name longer than MASTER's 16 characters, the row shows it whole.
    const QString longName = QStringLiteral("AUTOSTRADE MERIDIONALI HOLDING SPA");
    t.host.onDialog = [&](QDialog& d) {
        d.findChild<QLineEdit*>(QStringLiteral("ctl1040"))->setText(longName);
        d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
        return d.result() == QDialog::Accepted;
    };
    t.frame->Action(kCmdSymbolEdit)->trigger();
    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    QCOMPARE(t.symbols().data(t.symbols().index(row, 1), Qt::DisplayRole).toString(), longName);
    QCOMPARE(QString::fromStdString(Decoded(dir, barwise::testing::IndexKind::kXmaster, 334).name), longName);
}

// A portfolio whose EMASTER disagrees with MASTER and whose XMASTER is broken is shown from
// MASTER, named once, and neither file is ever written.
void ViewTest::setAsideIndexIsNamedOnceAndLeftAlone() {
    ViewTestbed t;
    if (!CopyRealDb(t, "bbfinance-inconsistent", "bb")) QSKIP("the real databases are not here");
    QVERIFY(t.addPortfolio("other", {MakeSeries(1, "AAA", "A", 3)}));
    const std::string dir = t.dir("bb");
    const QByteArray emaster = ReadAll(dir + "/EMASTER");
    const QByteArray xmaster = ReadAll(dir + "/XMASTER");
    QVERIFY(t.start());
    QCOMPARE(t.view().PortfolioDir(), dir);
    QCOMPARE(t.host.messages.size(), std::size_t(1));
    const QString warning = t.host.messages.front().text;
    QVERIFY2(warning.contains(QStringLiteral("EMASTER")) && warning.contains(QStringLiteral("XMASTER")),
             qPrintable(warning));
    QCOMPARE(t.host.messages.front().icon, UiHost::Icon::Information);
    int masterRecords = 0;
    for (const auto& s : barwise::testing::DecodeIndexFiles(dir).securities) masterRecords += !s.directoryEntry;
    QCOMPARE(t.symbols().rowCount(), masterRecords);

    // Not again for this portfolio: neither on a refill nor when it is opened again.
    t.view().FillSymbolsGrid(0);
    t.view().PortfolioPane().PortfolioList()->setCurrentRow(1);
    t.view().PortfolioPane().PortfolioList()->setCurrentRow(0);
    QCOMPARE(t.host.messages.size(), std::size_t(1));

    // Quote edits go to the data file and MASTER only.
    t.host.messages.clear();
    const QString secondNewest = t.quotes().cellText(1, 0);
    t.host.onDialog = [](QDialog& d) { return EditCloseAndAccept(d, QStringLiteral("7.25")); };
    t.frame->Action(kCmdQuoteEdit)->trigger();
    QCOMPARE(t.quotes().cellText(0, 4), QStringLiteral("7.2500"));
    t.frame->Action(kCmdQuoteDelete)->trigger();
    QVERIFY2(AskedToDeleteOnly(t.host), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    QCOMPARE(t.quotes().cellText(0, 0), secondNewest);
    const SecurityId id = t.view().SelectedSecurity()->id;
    QCOMPARE(YmdText(Decoded(dir, barwise::testing::IndexKind::kMaster, id.fileNumber).lastDate), secondNewest);
    QCOMPARE(ReadAll(dir + "/EMASTER"), emaster);
    QCOMPARE(ReadAll(dir + "/XMASTER"), xmaster);
}
