// The main window on temporary portfolio trees: start-up, the symbols and quotes fills,
// their failure messages, selection tracking, the search filter, the data facts and what
// the window keeps in its settings. The listing and reading rules themselves are the
// discovery and data-file tests'.
#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>
#include <tuple>

#include "app/barwiseapp.h"
#include "app/commandids.h"
#include "app/searchprogressdlg.h"
#include "commands/datafacts/datafactsdlg.h"
#include "discovery/quoteloader.h"
#include "tests/app/viewtestbed.h"

using namespace barwise;
namespace fsys = std::filesystem;

namespace {

QString DateText(DateCode code) { return QString::fromStdString(FormatDateMdy(code)); }

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
    void seriesBeyondSignedCount();
    void longHistoriesNegativePricesAndIntradayBars();
    void clickAndKeyboardSelectQuotes();
    void lookAlikeSymbolsShowTheirOwnQuotes();
    void cancelledScanListsWhatItFound();
    void nothingFound();
    void searchFilter();
    void dataFacts();
    void untrustedDopIsNamedOnce();
    void columnWidthsSurviveARestart();
    void placementMenuAndToolbar();
    void undoAndRedoFromTheEditMenu();
    void iniImportedOnFirstRunOnly();
    void refusedPortfolioShowsNoOtherSymbols();
};

void ViewTest::startupShowsFirstPortfolio() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("ZETA", {MakeSeries(1, "ZZZ", "ZED", 2)}));
    QVERIFY(t.addPortfolio("alpha", {MakeSeries(1, "MSFT", "MICROSOFT", 5), MakeSeries(2, "aapl", "APPLE", 3),
                                     MakeSeries(3, "IBM", "IBM", 4)}));
    QVERIFY(t.start());
    CBarwiseView& v = t.view();

    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    QCOMPARE(t.host.countBeeps(UiHost::Beep::Asterisk), 1);
    QCOMPARE(v.PortfolioPane().PortfolioList()->count(), 2);
    QCOMPARE(v.PortfolioPane().PortfolioList()->currentRow(), 0);
    QCOMPARE(v.PortfolioDir(), t.dir("alpha"));
    QCOMPARE(t.symbolColumn(), (QStringList{"aapl", "IBM", "MSFT"}));
    QCOMPARE(v.SelectedSecurity()->symbol, std::string("aapl"));

    // Newest first, the newest selected.
    const DateCode first = MakeDate(2000, 1, 3);
    QCOMPARE(t.quotes().rowCount(), 3);
    QCOMPARE(t.quotes().cellText(0, 0), DateText(first + 2));
    QCOMPARE(t.quotes().cellText(2, 1), QStringLiteral("10.0000"));
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
    QCOMPARE(t.view().SymbolCount(), 255);
    QCOMPARE(t.symbolColumn().back(), QStringLiteral("S255"));
    QCOMPARE(t.quotes().rowCount(), 4);
}

void ViewTest::blankSymbolIsRepairedOnce() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "ACME", "ACME CORP", 3), MakeSeries(2, "", "ELMWOOD", 5)}));
    const std::string master = t.dir("p") + "/MASTER";
    const QByteArray before = ReadAll(master);
    QVERIFY(t.start());

    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    // Listed under its name, shown without the blanks that pad it; the repair's bytes are
    // the repair's own test.
    QCOMPARE(t.symbolColumn(), (QStringList{"ACME", "ELMWOOD"}));
    QCOMPARE(ReadAll(master + ".BAK"), before);

    // The repaired series reads under its new symbol; that a second listing repairs nothing
    // is the listing's own test.
    t.view().SymbolGrid()->selectRow(1);
    t.view().FillQuotesGrid(0);
    QCOMPARE(t.quotes().rowCount(), 5);
}

void ViewTest::lyingHeaderFailsTheSymbolsFill() {
    ViewTestbed t;
    std::vector<DemoSeries> series;
    for (int i = 1; i <= 12; ++i) series.push_back(MakeSeries(i, i == 3 ? "" : "SYM" + std::to_string(i), "NAME", 2));
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
    QCOMPARE(t.view().QuoteCount(), 0);
    QVERIFY(!t.enabled(kCmdSymbolAbout));
    // Nothing written: the blank symbol is not repaired in a MASTER that cannot be listed.
    QCOMPARE(ReadAll(master), bytes);
    QVERIFY(!QFile::exists(QString::fromStdString(master + ".BAK")));
}

void ViewTest::unreadableSeries() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "GONE", 3), MakeSeries(2, "BBB", "EMPTY", 0)}));
    QVERIFY(QFile::remove(QString::fromStdString(t.dir("p") + "/F1.DAT")));
    QVERIFY(t.start());

    // The message names the file and why it could not be read.
    QCOMPARE(t.host.messageTexts(),
             QStringList{QStringLiteral("The quotes in %1/F1.DAT cannot be read: File Open (status -2)")
                             .arg(QString::fromStdString(t.dir("p")))});
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

    // The second block of 400 quotes cannot be read.
    struct FailingLoader : QuoteLoader {
        int blocks = 0;
        DataStatus read(int start, int n, std::vector<LoadedQuote>& out) override {
            if (n == CBarwiseView::kQuoteBlock && ++blocks == 2) return kFileRead;
            return QuoteLoader::read(start, n, out);
        }
    };
    t.view().SetLoaderFactory([] { return std::make_unique<FailingLoader>(); });
    t.view().FillQuotesGrid(0);
    QCOMPARE(t.host.messageTexts(),
             QStringList{QStringLiteral("The quotes in %1/F2.DAT cannot be read: File Read (status -4)")
                             .arg(QString::fromStdString(t.dir("p")))});
    // The rows read so far stay, and the dates and the selection are still set.
    QCOMPARE(t.quotes().rowCount(), 400);
    QCOMPARE(QString::fromStdString(t.view().FirstDateText()), DateText(first));
    QCOMPARE(t.view().QuoteGrid()->selectionModel()->selectedRows().front().row(), 0);
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
    QVERIFY(!t.enabled(kCmdSymbolAbout));
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

// The Search Filter dialog through the window: the edit follows the switch, a path on no
// listed volume is refused with the dialog left open, and a new search runs only when the
// filter changed; the path is kept as typed even when it calls for none.
void ViewTest::searchFilter() {
    const struct {
        const char* name;
        bool limit;
        const char* path;  // below the tree's root when it starts with '/'
        bool ok;           // OK pressed (else Cancel)
        int scans, portfolios;
        const char* refusal;
    } rows[] = {
        // The search starts limited to <root>/one.
        {"widened to the tree", true, "", true, 2, 2, nullptr},
        {"letter case only", true, "/ONE", true, 1, 1, nullptr},
        {"switched off, same path", false, "/one", true, 2, 2, nullptr},
        {"cancelled", true, "", false, 1, 1, nullptr},
        {"relative path", true, "data", true, 1, 1, "The Search Filter path refers to an unknown drive"},
    };
    for (const auto& r : rows) {
        ViewTestbed t;
        const QString root = QString::fromStdString(t.root);
        const QString initial = root + QStringLiteral("/one");
        t.settings->WriteProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), 1);
        t.settings->WriteProfileString(QStringLiteral("Search"), QStringLiteral("Name"), initial);
        QVERIFY(t.addPortfolio("one", {MakeSeries(1, "ONE", "ONE", 1)}));
        QVERIFY(t.addPortfolio("two", {MakeSeries(1, "TWO", "TWO", 1)}));
        QVERIFY(t.start());
        QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), 1);

        const QString path = (*r.path == '/' || !*r.path ? root : QString()) + QString::fromLatin1(r.path);
        bool followed = true, accepted = false;
        t.host.onDialog = [&](QDialog& d) {
            auto* check = d.findChild<QCheckBox*>(QStringLiteral("ctl1110"));
            auto* edit = d.findChild<QLineEdit*>(QStringLiteral("ctl1111"));
            if (check->isChecked() != r.limit) check->click();
            followed = edit->isEnabled() == r.limit;
            edit->setText(path);
            if (!r.ok) return false;
            d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
            accepted = d.result() == QDialog::Accepted;
            return accepted;
        };
        t.frame->Action(kCmdSearchFilter)->trigger();
        QVERIFY2(followed, r.name);
        QCOMPARE(t.host.countBeeps(UiHost::Beep::Asterisk), r.scans);
        QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), r.portfolios);
        QCOMPARE(t.host.messageTexts(), r.refusal ? QStringList{QString::fromLatin1(r.refusal)} : QStringList{});
        const QString kept = accepted ? path : initial;
        QCOMPARE(t.settings->GetProfileString(QStringLiteral("Search"), QStringLiteral("Name"), QString()), kept);
        QCOMPARE(t.settings->GetProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), -1),
                 accepted ? int(r.limit) : 1);
        QCOMPARE(QString::fromStdString(t.view().PortfolioPane().SearchKeyUpper()), kept.toUpper());
    }
}

// The About Selected Quote Series dialog shows the facts of the selected series, each in
// its control; with the data file gone it says so instead.
void ViewTest::dataFacts() {
    const struct {
        bool withDop;
        QList<int> ids;
        QStringList texts;
    } rows[] = {
        {false,
         {1060, 1062, 1061, 1064, 1071, 1066, 1065, 1067, 1068, 1072, 1081, 1074, 1083, 1085, 1087},
         {"4", "28", "7", "3", "FACTS CORP      ", "1000103", "1000105", "D Daily", "FCT             ", "Whole Num.",
          "Whole Num.", "", "", "Whole Num.", "Whole Num."}},
        // DOP with volume in thousands.
        {true, {1076, 1085, 1077, 1086, 1074}, {"1,000s", "100s", "100ths", "1,000ths", ""}},
    };
    for (const auto& r : rows) {
        ViewTestbed t;
        DemoSeries s = MakeSeries(4, "FCT", "FACTS CORP", 3);
        if (r.withDop) {
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
            for (int id : r.ids) shown[id] = facts->Text(id);
            shown[1053] = facts->Text(1053);
            return true;
        };
        t.frame->Action(kCmdSymbolAbout)->trigger();
        QCOMPARE(t.host.dialogs, std::vector<QString>{QStringLiteral("About Selected Quote Series")});
        for (int i = 0; i < r.ids.size(); ++i) QCOMPARE(shown[r.ids[i]], r.texts[i]);
        QCOMPARE(shown[1053].toStdString(), t.dir("p"));

        // A series whose data file is gone since opens no dialog and names the symbol.
        QVERIFY(QFile::remove(QString::fromStdString(t.dir("p") + "/F4.DAT")));
        t.host.dialogs.clear();
        QVERIFY(t.enabled(kCmdSymbolAbout));
        t.frame->Action(kCmdSymbolAbout)->trigger();
        QVERIFY(t.host.dialogs.empty());
        QCOMPARE(t.host.messages.size(), std::size_t(1));
        QVERIFY(t.host.messages.front().text.contains(QStringLiteral("FCT")));
    }
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

void ViewTest::columnWidthsSurviveARestart() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A", 2)}));
    QVERIFY(t.start());
    QHeaderView* quotes = t.view().QuoteGrid()->horizontalHeader();
    QHeaderView* symbols = t.view().SymbolGrid()->horizontalHeader();
    const int defaultWidth = quotes->sectionSize(0);  // the rule itself is the logic test's
    quotes->resizeSection(0, defaultWidth + 23);
    symbols->resizeSection(1, 61);
    // Closing keeps the widths in one write of the settings file (each write is a synced
    // replacement of the whole file).
    int writes = t.settings->FileWrites();
    t.frame->close();
    QCOMPARE(t.settings->FileWrites() - writes, 1);
    QCOMPARE(t.settings->GetProfileInt(QStringLiteral("QuoteGrid"), QStringLiteral("col0"), 0), defaultWidth + 23);
    QCOMPARE(t.settings->GetProfileInt(QStringLiteral("SymbolGrid"), QStringLiteral("col1"), 0), 61);

    t.host.beeps.clear();
    QVERIFY(t.start());
    QCOMPARE(t.view().QuoteGrid()->horizontalHeader()->sectionSize(0), defaultWidth + 23);
    QCOMPARE(t.view().SymbolGrid()->horizontalHeader()->sectionSize(1), 61);
    // Nothing changed: nothing written.
    writes = t.settings->FileWrites();
    t.frame->close();
    QCOMPARE(t.settings->FileWrites(), writes);

    // Widths that no longer fit give way to the defaults.
    t.settings->WriteProfileInt(QStringLiteral("QuoteGrid"), QStringLiteral("col3"), 5000);
    t.host.beeps.clear();
    QVERIFY(t.start());
    QCOMPARE(t.view().QuoteGrid()->horizontalHeader()->sectionSize(0), defaultWidth);
}

// The first start stores the window's placement; then the toolbar, the status bar and the
// help through the menus.
void ViewTest::placementMenuAndToolbar() {
    ViewTestbed t;
    SettingsStore& s = *t.settings;
    const auto stored = [&] {
        const auto read = [&](const char* e) { return s.GetProfileInt(QStringLiteral("Screen"), QString::fromLatin1(e), -1); };
        return WindowPlacement{read("x"), read("y"), read("cx"), read("cy")};
    };
    QCOMPARE(stored(), (WindowPlacement{-1, -1, -1, -1}));
    QCOMPARE(CMainFrame::RestorePlacement(s, 1024, 768), (WindowPlacement{26, 19, 972, 729}));
    QCOMPARE(stored(), (WindowPlacement{26, 19, 972, 729}));
    // A usable stored placement is taken as it is, and not written again.
    s.WriteProfileInt(QStringLiteral("Screen"), QStringLiteral("cx"), 500);
    QCOMPARE(CMainFrame::RestorePlacement(s, 1024, 768), (WindowPlacement{26, 19, 500, 729}));
    // One too wide for the screen gives way to the default, which is stored.
    s.WriteProfileInt(QStringLiteral("Screen"), QStringLiteral("cx"), 1025);
    QCOMPARE(CMainFrame::RestorePlacement(s, 1024, 768), (WindowPlacement{26, 19, 972, 729}));
    QCOMPARE(stored().cx, 972);

    QVERIFY(t.start());
    for (QAction* a : t.frame->ToolBar()->actions())
        if (!a->isSeparator()) QVERIFY2(!a->icon().isNull(), qPrintable(a->text()));

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

void ViewTest::undoAndRedoFromTheEditMenu() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "ACME", "ACME CORP", 3), MakeSeries(2, "BOLT", "BOLT INC", 5)}));
    const std::string master = t.dir("p") + "/MASTER";
    QVERIFY(t.start());
    QVERIFY(!t.enabled(kCmdEditUndo));
    QCOMPARE(t.frame->Action(kCmdEditUndo)->text(), QStringLiteral("&Undo"));
    t.host.onDialog = [](QDialog&) { return true; };
    t.frame->Action(kCmdSymbolDelete)->trigger();
    QCOMPARE(t.symbolColumn(), (QStringList{"BOLT"}));
    QVERIFY(t.enabled(kCmdEditUndo));
    QCOMPARE(t.frame->Action(kCmdEditUndo)->text(), QStringLiteral("&Undo Delete of ACME"));

    // Ctrl+Z brings the security back, Ctrl+Y takes it out again (that the files come back
    // byte for byte is the undo history's own test).
    QApplication::setActiveWindow(t.frame.get());
    QVERIFY(QTest::qWaitForWindowActive(t.frame.get()));
    QWidget* grid = t.view().SymbolGrid();
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(t.symbolColumn(), (QStringList{"ACME", "BOLT"}));
    QVERIFY(QFile::exists(QString::fromStdString(t.dir("p") + "/F1.DAT")));
    QVERIFY(!t.enabled(kCmdEditUndo));
    QCOMPARE(t.frame->Action(kCmdEditRedo)->text(), QStringLiteral("&Redo Delete of ACME"));
    QTest::keyClick(grid, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(t.symbolColumn(), (QStringList{"BOLT"}));

    // A file changed by another program since is not overwritten: the undo says so.
    QVERIFY(WriteAll(master, ReadAll(master) + "x"));
    QVERIFY(t.enabled(kCmdEditUndo));
    t.frame->Action(kCmdEditUndo)->trigger();
    QVERIFY(Joined(t.host.messageTexts()).contains(QStringLiteral("was changed since")));
    QVERIFY(!QFile::exists(QString::fromStdString(t.dir("p") + "/F1.DAT")));
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

QTEST_MAIN(ViewTest)
#include "view_test.moc"
