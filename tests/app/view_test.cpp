// The main window on temporary portfolio trees: start-up, the symbols and quotes fills,
// their failure messages, selection tracking, the search filter, the data facts and what
// the window keeps in its settings. The listing and reading rules themselves are the
// discovery and data-file tests'.
#include <QAction>
#include <QApplication>
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

QString DateText(DateCode code) {
    return QString::fromStdString(FormatDateMdy(code));
}

// The texts About Selected Quote Series shows in these controls; none when it did not open.
QStringList Facts(ViewTestbed& t, const QList<int>& ids) {
    QStringList shown;
    t.host.onDialog = [&](QDialog& d) {
        if (auto* facts = qobject_cast<CDataFactsDlg*>(&d))
            for (int id : ids) shown << facts->Text(id);
        return true;
    };
    t.frame->Action(kCmdSymbolAbout)->trigger();
    t.host.onDialog = nullptr;
    return shown;
}

}  // namespace

class ViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(barwise); }
    void startupAndSelection();
    void symbolListingRepairsLimitsAndRefusals();
    void quotesFillsAndDataFacts();
    void nothingFoundThenRescanAndCancel();
    void searchFilter();
    void placementWidthsAndMenus();
    void iniImportedOnFirstRunOnlyAndAboutOpens();
};

// Start-up shows the first portfolio's first symbol and its newest quote; a click shows a
// symbol's quotes at once, the keyboard after a pause; look-alike symbols keep their own
// quotes; and the commands are given the security and the quote the user sees.
void ViewTest::startupAndSelection() {
    ViewTestbed t;
    DemoSeries b = MakeSeries(7, "BRK B", "BERKSHIRE B", 5);
    for (DemoQuote& q : b.quotes) q.close = 250.0f;
    // Both symbol fields read "BRK" up to their blank.
    QVERIFY(t.addPortfolio("ZETA", {MakeSeries(3, "BRK A", "BERKSHIRE A", 3), b}));
    QVERIFY(t.addPortfolio(
        "alpha", {MakeSeries(1, "MSFT", "MICROSOFT", 5), MakeSeries(2, "aapl", "APPLE", 3),
                  MakeSeries(3, "IBM", "IBM", 4)}));
    QVERIFY(t.start());
    CBarwiseView& v = t.view();
    const auto title = [&](const char* dir, const char* symbol) {
        return QString::fromStdString("Barwise - " + t.dir(dir) + " - " + symbol);
    };

    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    QListWidget* portfolios = v.PortfolioPane().PortfolioList();
    QCOMPARE(std::make_tuple(t.host.countBeeps(UiHost::Beep::Asterisk), portfolios->count(),
                             portfolios->currentRow(), v.PortfolioDir()),
             std::make_tuple(1, 2, 0, t.dir("alpha")));
    QCOMPARE(t.symbolColumn(), (QStringList{"aapl", "IBM", "MSFT"}));
    QCOMPARE(v.SelectedSecurity()->symbol, std::string("aapl"));
    // Newest first, the newest selected.
    const DateCode first = MakeDate(2000, 1, 3);
    QCOMPARE(t.quoteColumn(0),
             (QStringList{DateText(first + 2), DateText(first + 1), DateText(first)}));
    QCOMPARE(t.quotes().cellText(2, 1), QStringLiteral("10.0000"));
    QCOMPARE(v.QuoteGrid()->selectionModel()->selectedRows(),
             QModelIndexList{t.quotes().index(0, 0)});
    QCOMPARE(QString::fromStdString(v.FirstDateText()), DateText(first));
    QCOMPARE(QString::fromStdString(v.LastDateText()), DateText(first + 2));
    t.settle();
    QCOMPARE(
        std::make_tuple(t.frame->SymbolPaneText(), t.frame->QuotePaneText(), t.frame->windowTitle(),
                        t.enabled(kCmdSymbolMove), t.enabled(kCmdQuoteAdd)),
        std::make_tuple(QStringLiteral("Symbol 1 of 3"), QStringLiteral("Quote 3 of 3"),
                        title("alpha", "aapl"), true, true));

    int fills = 0;  // a fill opens the series once
    v.SetLoaderFactory([&] {
        ++fills;
        return std::make_unique<QuoteLoader>();
    });
    // A click shows the quotes at once.
    QTableView* grid = v.SymbolGrid();
    ClickCell(grid, 2, 1);
    // The fills, whether one waits, the symbol row and its security, the quotes and the one
    // selected.
    QCOMPARE(
        std::make_tuple(fills, v.QuotesPending(), v.SelectedSymbolRow(),
                        v.SelectedSecurity()->symbol, t.quotes().rowCount(), v.SelectedQuoteRow()),
        std::make_tuple(1, false, 2, std::string("MSFT"), 5, 0));
    QCOMPARE(t.frame->windowTitle(), title("alpha", "MSFT"));
    t.settle();
    QCOMPARE(t.frame->SymbolPaneText(), QStringLiteral("Symbol 3 of 3"));

    // Keys held down move the title along but read no series on the way; the quotes of
    // the symbol the selection rests on follow after the pause.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(v.SelectedSymbolRow(), 1);
    QCOMPARE(t.frame->windowTitle(), title("alpha", "IBM"));
    QCOMPARE(fills, 1);
    QTRY_COMPARE(fills, 2);
    QCOMPARE(std::make_tuple(v.SelectedSecurity()->symbol, t.quotes().rowCount(), v.QuoteCount()),
             std::make_tuple(std::string("IBM"), 4, 4));
    QTest::qWait(2 * CBarwiseView::kKeyboardLoadDelayMs);
    QCOMPARE(fills, 2);

    // A command chosen before the pause is over acts on the symbol the user sees selected
    // (one connection shows them before the handler of every such command runs).
    QTest::keyClick(grid, Qt::Key_Up);
    QVERIFY(v.QuotesPending());
    QCOMPARE(Facts(t, {1068}).value(0).trimmed(), QStringLiteral("aapl"));
    QCOMPARE(std::make_pair(t.quotes().rowCount(), v.QuotesPending()), std::make_pair(3, false));

    // Selecting the oldest quote disables Quotes > Add, and the pane counts from the oldest.
    ClickCell(v.QuoteGrid(), 2);
    QCOMPARE(v.SelectedQuoteRow(), 2);
    QVERIFY(!t.enabled(kCmdQuoteAdd));
    QCOMPARE(t.frame->QuotePaneText(), QStringLiteral("Quote 1 of 3"));

    // The other portfolio: two rows that read alike, each showing its own quotes.
    portfolios->setCurrentRow(1);
    QCOMPARE(t.symbolColumn(), (QStringList{"BRK", "BRK"}));
    QCOMPARE(t.frame->windowTitle(), title("ZETA", "BRK"));
    QCOMPARE(v.QuoteCount(), 3);
    ClickCell(grid, 1);
    QCOMPARE(t.quotes().rowCount(), 5);
    QCOMPARE(t.quotes().cellText(0, 4), QStringLiteral("250.0000"));
    QCOMPARE(Facts(t, {1060}), QStringList{QStringLiteral("7")});

    // What the commands are given: the entry, the texts and the selected quote.
    CommandView& commands = v;
    const std::optional<SymbolSelection> security = commands.SelectedSecurity();
    QVERIFY(security);
    QCOMPARE(
        std::tie(security->id.fileNumber, security->id.position, security->symbol, security->name),
        std::make_tuple(7, 2, std::string("BRK"), std::string("BERKSHIRE B     ")));
    QCOMPARE(std::make_pair(commands.FirstDate(), commands.LastDate()),
             std::make_pair(first, DateCode(first + 4)));
    ClickCell(v.QuoteGrid(), 3);
    const std::optional<QuoteSelection> quote = commands.SelectedQuote();
    QVERIFY(quote);
    QCOMPARE(std::tie(quote->row, quote->date, quote->values[3]),
             std::make_tuple(3, DateCode(first + 1), 250.0f));
    QCOMPARE(commands.Portfolios(), (std::vector<std::string>{t.dir("alpha"), t.dir("ZETA")}));
}

// What a listing asks of the window: a blank symbol is repaired once, a MASTER of more
// than 255 records shows its first 255, and one whose header lies about its count or whose
// path is longer than the view takes is refused, with nothing written and no other
// portfolio's symbols shown; the panes that follow the selected security are told there is
// none (that a selection reaches them is the chart window's test).
void ViewTest::symbolListingRepairsLimitsAndRefusals() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio(
        "a", {MakeSeries(1, "ACME", "ACME CORP", 3), MakeSeries(2, "", "ELMWOOD", 5)}));
    std::vector<MasterRecord> records;
    for (int i = 1; i <= 300; ++i)  // S001 .. S300
        records.push_back(MakeMasterRecord(
            MakeSeries(i % 255 + 1, "S" + std::to_string(1000 + i).substr(1), "NAME", 1)));
    fsys::create_directories(t.dir("big"));
    QVERIFY(WriteMasterFile(t.dir("big") + "/MASTER", records, 255));
    QVERIFY(WriteDatFile(t.dir("big") + "/F2.DAT", MakeSeries(2, "S001", "NAME", 4)));
    std::vector<DemoSeries> series;
    for (int i = 1; i <= 12; ++i)
        series.push_back(MakeSeries(i, i == 3 ? "" : "SYM" + std::to_string(i), "NAME", 2));
    QVERIFY(t.addPortfolio("liar", series));
    const std::string liar = t.dir("liar") + "/MASTER";
    QByteArray lying = ReadAll(liar);
    lying[0] = 10;  // the header claims 10 records; the file holds 12
    testing::WriteText(liar, lying.toStdString());
    // A path longer than the view takes, listed first.
    QVERIFY(t.addPortfolio("0" + std::string(200, 'x') + "/" + std::string(120, 'y'),
                           {MakeSeries(1, "DEEP", "D", 2)}));
    const QByteArray before = ReadAll(t.dir("a") + "/MASTER");
    QVERIFY(t.start());
    CBarwiseView& v = t.view();
    const QStringList failure{QStringLiteral("Failure while filling symbols grid")};
    QCOMPARE(t.host.messageTexts(), failure);
    QCOMPARE(t.symbols().rowCount(), 0);
    std::vector<SecurityId> securities;
    std::vector<int> quotes;
    connect(&v, &CBarwiseView::SecuritySelected, &v,
            [&](const SecurityId& id) { securities.push_back(id); });
    connect(&v, &CBarwiseView::QuoteSelected, &v,
            [&](int position, DateCode, TimeCode) { quotes.push_back(position); });

    // Listed under its name, shown without the blanks that pad it; the repair's bytes are
    // the repair's own test, as is that a second listing repairs nothing.
    t.host.messages.clear();
    QListWidget* portfolios = v.PortfolioPane().PortfolioList();
    portfolios->setCurrentRow(1);
    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    QCOMPARE(t.symbolColumn(), (QStringList{"ACME", "ELMWOOD"}));
    QCOMPARE(ReadAll(t.dir("a") + "/MASTER.BAK"), before);
    ShowRow(t, 1);  // the repaired series reads under its new symbol
    QCOMPARE(t.quotes().rowCount(), 5);
    QCOMPARE(securities.back(), t.symbols().row(1).id);

    portfolios->setCurrentRow(2);
    QCOMPARE(t.host.messageTexts(),
             QStringList{
                 QStringLiteral("File has 300 symbols.\nWill only display the first 255 symbols")});
    QCOMPARE(t.view().SymbolCount(), 255);
    QCOMPARE(t.symbolColumn().back(), QStringLiteral("S255"));
    QCOMPARE(t.quotes().rowCount(), 4);

    // The message names the file and what disagrees.
    t.host.messages.clear();
    portfolios->setCurrentRow(3);
    QCOMPARE(
        t.host.messageTexts(),
        QStringList{
            QStringLiteral(
                "Failure while filling symbols grid\n\n%1 holds 12 records, its header says 10")
                .arg(QString::fromStdString(liar))});
    QCOMPARE(std::make_tuple(t.host.messages.front().icon, t.symbols().rowCount(),
                             t.view().QuoteCount(), t.enabled(kCmdSymbolAbout)),
             std::make_tuple(UiHost::Icon::Stop, 0, 0, false));
    // Nothing written: the blank symbol is not repaired in a MASTER that cannot be listed.
    QCOMPARE(ReadAll(liar), lying);
    QVERIFY(!QFile::exists(QString::fromStdString(liar + ".BAK")));

    // Searched again from a portfolio that lists, the first fails again: never the symbols
    // shown before.
    portfolios->setCurrentRow(1);
    QCOMPARE(t.symbols().rowCount(), 2);
    t.host.messages.clear();
    v.PortfolioPane().ScanDrive();
    QCOMPARE(t.host.messageTexts(), failure);
    // Nothing listed, nothing shown, and the panes told there is no security and no quote.
    QCOMPARE(std::make_tuple(t.symbols().rowCount(), t.quotes().rowCount(),
                             securities.back().valid(), quotes.back()),
             std::make_tuple(0, 0, false, -1));
}

// A data file gone says so and shows nothing, and a series without quotes says nothing.
// Real histories: a bar of 1928 shows its century, a back-adjusted negative price is a
// number, and a daily series shows no Time column (an intraday one's is the window test's). A
// series longer than a signed count shows every quote, newest first across the
// blocks it is read in, keeping what it read when a block fails.
// The About Selected Quote Series dialog shows the facts of the selected series, each in
// its control, and names a DOP set aside; with the data file gone it says so instead. A DOP
// that names no date describes some other file: the quotes are shown by the default
// layout and the user is told once which DOP was set aside.
void ViewTest::quotesFillsAndDataFacts() {
    ViewTestbed t;
    const int count = 33000;
    DemoSeries old = MakeSeries(5, "OLD", "CASH 1928", 2, 24);
    old.quotes[0].date = MakeDate(1928, 10, 1);
    old.quotes[1].date = MakeDate(1928, 10, 2);
    old.quotes[1].close = -6.352f;
    DemoSeries facts = MakeSeries(4, "FCT", "FACTS CORP", 3);
    facts.writeDop = true;
    // DATE OPEN HIGH LOW CLOSE VOL OI
    facts.formats = {{0, 0}, {2, 2}, {2, 2}, {2, 2}, {2, 3}, {1000, 100}, {0, 0}};
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "GONE", 3), MakeSeries(2, "BBB", "EMPTY", 0),
                                 MakeSeries(3, "LONG", "LONG SERIES", count), old,
                                 MakeSeries(6, "DOPX", "DAMAGED DOP", 3), facts}));
    testing::WriteText(t.dir("p") + "/F6.DOP", "\"CLOSE\",2,2\n");
    QVERIFY(QFile::remove(QString::fromStdString(t.dir("p") + "/F1.DAT")));
    QVERIFY(t.start());
    const auto unreadable = [&](const char* file, const char* why) {
        return QStringList{
            QStringLiteral("The quotes in %1/%2 cannot be read: %3")
                .arg(QString::fromStdString(t.dir("p")), QLatin1String(file), QLatin1String(why))};
    };
    QCOMPARE(t.host.messageTexts(), unreadable("F1.DAT", "File Open (status -2)"));
    t.settle();
    QCOMPARE(std::make_tuple(t.quotes().rowCount(), t.view().QuoteCount(), t.enabled(kCmdQuoteEdit),
                             t.frame->QuotePaneText()),
             std::make_tuple(0, 0, false, QStringLiteral("No Quotes Read")));
    t.host.messages.clear();
    ShowRow(t, 1);
    QVERIFY(t.host.messages.empty());
    QCOMPARE(t.quotes().rowCount(), 0);

    ShowRow(t, 5);
    QCOMPARE(t.quoteColumn(0), (QStringList{"10/02/1928", "10/01/1928"}));
    // Daily: no Time column; the negative close, no open interest in 24 bytes, the first date.
    QCOMPARE(
        std::make_tuple(t.view().QuoteGrid()->isColumnHidden(QuoteGridModel::kTimeColumn),
                        t.quotes().cellText(0, 4), t.quotes().cellText(0, 6), t.view().FirstDate()),
        std::make_tuple(true, QStringLiteral("-6.3520"), QStringLiteral("N/A"),
                        MakeDate(1928, 10, 1)));

    ShowRow(t, 2);
    QCOMPARE(t.host.messages.size(), std::size_t(1));
    QVERIFY(t.host.messages.front().text.contains(QStringLiteral("F6.DOP")));
    QCOMPARE(t.quotes().cellText(2, 4),
             QStringLiteral("10.5000"));  // the close, by the 28-byte layout
    t.view().FillQuotesGrid(0);
    QCOMPARE(t.host.messages.size(), std::size_t(1));
    const QStringList note = Facts(t, {kDopIgnoredControl});
    QVERIFY2(note.value(0).startsWith(QStringLiteral("F6.DOP not used")), qPrintable(Joined(note)));

    ShowRow(t, 3);
    t.host.dialogs.clear();
    QCOMPARE(Facts(t, {1053, 1060, 1062, 1061, 1064, 1071, 1066, 1065, 1067, 1068, 1072, 1081, 1074,
                       1076, 1085, 1077, 1086}),
             (QStringList{QString::fromStdString(t.dir("p")), "4", "28", "7", "3",
                          "FACTS CORP      ", "1000103", "1000105", "D Daily", "FCT             ",
                          "Whole Num.", "Whole Num.", "", "1,000s", "100s", "100ths", "1,000ths"}));
    QCOMPARE(t.host.dialogs, std::vector<QString>{QStringLiteral("About Selected Quote Series")});

    // A series whose data file is gone since opens no dialog and names the symbol.
    QVERIFY(QFile::remove(QString::fromStdString(t.dir("p") + "/F4.DAT")));
    t.host.messages.clear();
    t.host.dialogs.clear();
    QVERIFY(t.enabled(kCmdSymbolAbout));
    QVERIFY(Facts(t, {1060}).isEmpty() && t.host.dialogs.empty());
    QCOMPARE(t.host.messages.size(), std::size_t(1));
    QVERIFY(t.host.messages.front().text.contains(QStringLiteral("FCT")));

    t.host.messages.clear();
    t.quoteTester.reset();  // it checks the whole model on every insertion
    ShowRow(t, 4);
    QCOMPARE(t.quotes().rowCount(), count);
    QCOMPARE(t.view().QuoteCount(), count);
    const DateCode first = MakeDate(2000, 1, 3);
    QCOMPARE(t.quotes().cellText(0, 0), DateText(first + count - 1));
    QCOMPARE(t.quotes().cellText(CBarwiseView::kQuoteBlock, 0),
             DateText(first + count - 1 - CBarwiseView::kQuoteBlock));
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
    QCOMPARE(t.host.messageTexts(), unreadable("F3.DAT", "File Read (status -4)"));
    // The rows read so far stay, and the dates and the selection are still set.
    QCOMPARE(t.quotes().rowCount(), 400);
    QCOMPARE(QString::fromStdString(t.view().FirstDateText()), DateText(first));
    QCOMPARE(t.view().QuoteGrid()->selectionModel()->selectedRows().front().row(), 0);
}

// A search that finds nothing says so; ReScan (F5) searches again and finds what is there
// now. While its box is up every command is held and a second search does not start inside
// the first; Cancel, once the box counts the first portfolio, ends it with what it found.
void ViewTest::nothingFoundThenRescanAndCancel() {
    ViewTestbed t;
    fsys::create_directories(t.dir("empty/deeper"));
    QVERIFY(t.start());
    QCOMPARE(t.host.messageTexts(), QStringList{QString::fromStdString(
                                        "No master files found on drive " + t.root +
                                        "\n\n(Is your Portfolio Search Filter setting correct?)")});
    t.settle();
    QCOMPARE(std::make_tuple(t.view().PortfolioPane().PortfoliosFound(), t.enabled(kCmdSymbolAbout),
                             t.enabled(kCmdRescan), t.frame->SymbolPaneText()),
             std::make_tuple(false, false, true, QStringLiteral("No Symbols Read")));

    for (const char* dir : {"empty/deeper", "b", "c"})
        QVERIFY(t.addPortfolio(dir, {MakeSeries(1, "S", "S", 1)}));
    t.frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(t.frame.get()));
    QTest::keyClick(t.frame.get(), Qt::Key_F5);
    QCOMPARE(t.host.countBeeps(UiHost::Beep::Asterisk), 2);
    QCOMPARE(t.view().PortfolioPane().PortfoliosFound(), true);
    QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), 3);

    t.host.messages.clear();
    QTimer user;
    bool rescanHeld = true;
    connect(&user, &QTimer::timeout, [&] {
        auto* box = qobject_cast<CSearchProgressDlg*>(QApplication::activeModalWidget());
        if (!box) return;
        rescanHeld = rescanHeld && !t.frame->Action(kCmdRescan)->isEnabled();
        t.view().PortfolioPane().ScanDrive();
        if (box->findChild<QLabel*>(QStringLiteral("ctl1030"))->text() == QStringLiteral("1"))
            box->findChild<QPushButton*>(QStringLiteral("ctl2"))->click();
    });
    user.start(0);
    QVERIFY(t.enabled(kCmdRescan));
    t.frame->Action(kCmdRescan)->trigger();
    user.stop();
    QVERIFY(rescanHeld);
    // Three searches, the first portfolio found, Rescan free again.
    QCOMPARE(std::make_tuple(t.host.countBeeps(UiHost::Beep::Asterisk),
                             t.view().PortfolioPane().PortfolioList()->count(),
                             t.view().PortfolioPane().PortfoliosFound(), t.symbolColumn(),
                             t.enabled(kCmdRescan)),
             std::make_tuple(3, 1, true, QStringList{"S"}, true));
    QVERIFY(t.host.messages.empty());
    QVERIFY(!QApplication::activeModalWidget());
}

// The Search Filter dialog through the window: the edit follows the switch, a path on no
// listed volume is refused with the dialog left open, and a new search runs only when the
// filter changed; the path is kept as typed even when it calls for none.
void ViewTest::searchFilter() {
    // The case, the switch, the path (below the tree's root when it starts with '/'), OK
    // pressed (else Cancel), the searches and portfolios after it, and the refusal.
    const std::tuple<const char*, bool, const char*, bool, int, int, const char*> rows[] = {
        // The search starts limited to <root>/one.
        {"widened to the tree", true, "", true, 2, 2, ""},
        {"letter case only", true, "/ONE", true, 1, 1, ""},
        {"switched off, same path", false, "/one", true, 2, 2, ""},
        {"cancelled", true, "", false, 1, 1, ""},
        {"relative path", true, "data", true, 1, 1,
         "The Search Filter path refers to an unknown drive"},
    };
    for (const auto& [name, limit, typed, ok, scans, portfolios, refusal] : rows) {
        ViewTestbed t;
        SettingsStore& s = *t.settings;
        const QString root = QString::fromStdString(t.root);
        const QString initial = root + QStringLiteral("/one");
        s.WriteProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), 1);
        s.WriteProfileString(QStringLiteral("Search"), QStringLiteral("Name"), initial);
        QVERIFY(t.addPortfolio("one", {MakeSeries(1, "ONE", "ONE", 1)}));
        QVERIFY(t.addPortfolio("two", {MakeSeries(1, "TWO", "TWO", 1)}));
        QVERIFY(t.start());
        QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), 1);

        const QString path =
            (*typed == '/' || !*typed ? root : QString()) + QString::fromLatin1(typed);
        bool followed = true, accepted = false;
        t.host.onDialog = [&](QDialog& d) {
            auto* check = d.findChild<QCheckBox*>(QStringLiteral("ctl1110"));
            auto* edit = d.findChild<QLineEdit*>(QStringLiteral("ctl1111"));
            if (check->isChecked() != limit) check->click();
            followed = edit->isEnabled() == limit;
            edit->setText(path);
            if (!ok) return false;
            accepted = ClickOk(d);
            return accepted;
        };
        t.frame->Action(kCmdSearchFilter)->trigger();
        QVERIFY2(followed, name);
        QCOMPARE(t.host.countBeeps(UiHost::Beep::Asterisk), scans);
        QCOMPARE(t.view().PortfolioPane().PortfolioList()->count(), portfolios);
        QCOMPARE(Joined(t.host.messageTexts()), QLatin1String(refusal));
        const QString kept = accepted ? path : initial;
        QCOMPARE(s.GetProfileString(QStringLiteral("Search"), QStringLiteral("Name"), {}), kept);
        QCOMPARE(s.GetProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), -1),
                 accepted ? int(limit) : 1);
        QCOMPARE(QString::fromStdString(t.view().PortfolioPane().SearchKeyUpper()), kept.toUpper());
    }
}

// The first start stores the window's placement, closing keeps the column widths; the
// toolbar, the status bar, the help and Undo and Redo through the menus.
void ViewTest::placementWidthsAndMenus() {
    ViewTestbed t;
    SettingsStore& s = *t.settings;
    const auto stored = [&] {
        const auto read = [&](const char* e) {
            return s.GetProfileInt(QStringLiteral("Screen"), QString::fromLatin1(e), -1);
        };
        return WindowPlacement{read("x"), read("y"), read("cx"), read("cy")};
    };
    QCOMPARE(stored(), (WindowPlacement{-1, -1, -1, -1}));
    QCOMPARE(CMainFrame::RestorePlacement(s, 1024, 768), (WindowPlacement{26, 19, 972, 729}));
    QCOMPARE(stored(), (WindowPlacement{26, 19, 972, 729}));
    // A usable stored placement is taken as it is, and not written again (which placements
    // are usable is the logic test's).
    s.WriteProfileInt(QStringLiteral("Screen"), QStringLiteral("cx"), 500);
    QCOMPARE(CMainFrame::RestorePlacement(s, 1024, 768), (WindowPlacement{26, 19, 500, 729}));

    QVERIFY(t.addPortfolio(
        "p", {MakeSeries(1, "ACME", "ACME CORP", 3), MakeSeries(2, "BOLT", "BOLT INC", 5)}));
    QVERIFY(t.start());
    // The first column has its caption too.
    const auto caption = [](QTableView* grid, int column) {
        return grid->model()->headerData(column, Qt::Horizontal).toString();
    };
    QCOMPARE(QStringList({caption(t.view().SymbolGrid(), 0), caption(t.view().SymbolGrid(), 1),
                          caption(t.view().QuoteGrid(), 0)}),
             QStringList({"Symbol", "Name", "Date"}));
    const auto width = [&](QTableView* grid, int column) {
        return grid->horizontalHeader()->sectionSize(column);
    };
    const int defaultWidth = width(t.view().QuoteGrid(), 0);  // the rule itself is the logic test's
    t.view().QuoteGrid()->horizontalHeader()->resizeSection(0, defaultWidth + 23);
    t.view().SymbolGrid()->horizontalHeader()->resizeSection(1, 61);
    // Closing keeps the widths in one write of the settings file (each write is a synced
    // replacement of the whole file).
    int writes = s.FileWrites();
    t.frame->close();
    QCOMPARE(s.FileWrites() - writes, 1);
    QCOMPARE(s.GetProfileInt(QStringLiteral("QuoteGrid"), QStringLiteral("col0"), 0),
             defaultWidth + 23);
    QCOMPARE(s.GetProfileInt(QStringLiteral("SymbolGrid"), QStringLiteral("col1"), 0), 61);
    QVERIFY(t.start());
    QCOMPARE(width(t.view().QuoteGrid(), 0), defaultWidth + 23);
    QCOMPARE(width(t.view().SymbolGrid(), 1), 61);
    // Nothing changed: nothing written.
    writes = s.FileWrites();
    t.frame->close();
    QCOMPARE(s.FileWrites(), writes);
    // Widths that no longer fit give way to the defaults.
    s.WriteProfileInt(QStringLiteral("QuoteGrid"), QStringLiteral("col3"), 5000);
    QVERIFY(t.start());
    QCOMPARE(width(t.view().QuoteGrid(), 0), defaultWidth);

    for (QAction* a : t.frame->ToolBar()->actions())
        if (!a->isSeparator()) QVERIFY2(!a->icon().isNull(), qPrintable(a->text()));
    t.frame->Action(kCmdViewToolbar)->trigger();
    QVERIFY(!t.frame->ToolBar()->isVisible());
    t.frame->Action(kCmdViewStatusBar)->trigger();
    QVERIFY(!t.frame->statusBar()->isVisible());
    // Help Topics shows the program's own help page.
    t.frame->Action(kCmdHelpTopics)->trigger();
    auto* help = t.frame->findChild<QTextBrowser*>();
    QVERIFY(help && help->toPlainText().contains(QStringLiteral("Finding portfolios")));

    // Ctrl+Z brings a deleted security back, Ctrl+Y takes it out again (that the files come
    // back byte for byte, and that a file changed since is not overwritten, is the undo
    // history's own test).
    QVERIFY(!t.enabled(kCmdEditUndo));
    QCOMPARE(t.frame->Action(kCmdEditUndo)->text(), QStringLiteral("&Undo"));
    t.host.onDialog = [](QDialog&) { return true; };
    t.frame->Action(kCmdSymbolDelete)->trigger();
    QCOMPARE(t.symbolColumn(), (QStringList{"BOLT"}));
    QVERIFY(t.enabled(kCmdEditUndo));
    QCOMPARE(t.frame->Action(kCmdEditUndo)->text(), QStringLiteral("&Undo Delete of ACME"));
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
}

void ViewTest::iniImportedOnFirstRunOnlyAndAboutOpens() {
    QTemporaryDir dir;
    qputenv("BARWISE_SETTINGS", dir.filePath(QStringLiteral("Barwise.conf")).toLocal8Bit());
    qputenv("BARWISE_WINDIR", dir.path().toLocal8Bit());
    // The window is closed again before its start-up search begins.
    for (const std::string starter : {"old.txt", "changed.txt"}) {
        testing::WriteText(dir.filePath(QStringLiteral("Barwise.INI")).toStdString(),
                           "[XportSel]\r\nStarter=" + starter + "\r\n");
        CBarwiseApp app;
        QVERIFY(app.InitInstance());
        QCOMPARE(app.Settings().GetProfileString(QStringLiteral("XportSel"),
                                                 QStringLiteral("Starter"), QString()),
                 QStringLiteral("old.txt"));
        // Help > About opens the About box.
        QString about;
        QTimer::singleShot(0, app.MainFrame(), [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                about = box->windowTitle();
                box->close();
            }
        });
        app.MainFrame()->Action(kCmdAppAbout)->trigger();
        QCOMPARE(about, QStringLiteral("About Barwise"));
        app.ExitInstance();
    }
    qunsetenv("BARWISE_SETTINGS");
    qunsetenv("BARWISE_WINDIR");
}

QTEST_MAIN(ViewTest)
#include "view_test.moc"
