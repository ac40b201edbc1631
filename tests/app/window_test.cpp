// The quote and symbol commands through the main window's actions, as a user reaches
// them: which quote and which security they act on, what the dialogs take, and the window
// on copies of real databases with EMASTER and XMASTER. What the rewrites do to the files
// is the data-file tests'.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QtTest>

#include "app/commandids.h"
#include "tests/app/viewtestbed.h"
#include "testsupport/testdb.h"

using namespace barwise;

namespace {

// The grid row of the security the index file lists with this file number; -1 when none.
int RowOf(ViewTestbed& t, IndexFile index, int fileNumber) {
    for (int r = 0; r < t.symbols().rowCount(); ++r) {
        const SecurityId& id = t.symbols().row(r).id;
        if (id.index == index && id.fileNumber == fileNumber) return r;
    }
    return -1;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(barwise); }
    void quoteCommandsAndTheirDialogs();
    void indexFilesThroughTheWindow();
};

// Two bars one second apart (09:05:16 and 09:05:17) are two quotes: shown, edited and
// deleted each as itself (what the rewrites do to the file's bytes is the rewrite's test).
// After Edit and Split the quote acted on stays selected and in view, however far from the
// newest; after Delete the next older quote takes its place.
// The date fields open selected (typing replaces the date) and in the ten-character form
// where the series reaches before 1960, so a range can end before it; text the index files
// cannot hold is refused with its field selected and the dialog left open, and MASTER is
// not written. The refusal rules and their messages are the quote and symbol commands'
// tests.
void WindowTest::quoteCommandsAndTheirDialogs() {
    ViewTestbed t;
    DemoSeries bars = MakeSeries(1, "BARS", "ONE DAY", 3, 32);
    for (std::size_t i = 0; i < 3; ++i) {
        bars.quotes[i].date = bars.quotes[0].date;
        bars.quotes[i].time = MakeTime(9, 5, 15 + static_cast<int>(i));
    }
    DemoSeries old = MakeSeries(3, "OLD", "OLD CORP", 10);
    old.quotes[0].date = MakeDate(1950, 1, 3);
    QVERIFY(t.addPortfolio("p", {bars, MakeSeries(2, "LONG", "LONG HISTORY", 600), old}));
    QVERIFY(t.start());
    // The Time column stands right after the date.
    QVERIFY(!t.view().QuoteGrid()->isColumnHidden(QuoteGridModel::kTimeColumn));
    QCOMPARE(t.view().QuoteGrid()->horizontalHeader()->visualIndex(QuoteGridModel::kTimeColumn), 1);
    QCOMPARE(t.quoteColumn(QuoteGridModel::kTimeColumn),
             (QStringList{"09:05:17", "09:05:16", "09:05:15"}));

    // An edit of the newest bar changes that bar alone.
    t.host.onDialog = TypeAndAccept("ctl1010", QStringLiteral("12.5"));
    t.frame->Action(kCmdQuoteEdit)->trigger();
    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    QCOMPARE(t.quoteColumn(4), (QStringList{"12.5000", "10.7500", "10.5000"}));

    // The Delete dialog and its question name the bar by its time; the bar of that second goes.
    const QString when = t.quotes().cellText(0, 0) + QStringLiteral(" 09:05:17");
    QString shown;
    t.host.onDialog = [&](QDialog& d) {
        shown = d.findChild<QLabel*>(QStringLiteral("ctl1022"))->text();
        return ClickOk(d);
    };
    t.frame->Action(kCmdQuoteDelete)->trigger();
    QCOMPARE(shown, when);
    QVERIFY2(t.host.messages.size() == 1 && t.host.messages.front().text.contains(when),
             qPrintable(Joined(t.host.messageTexts())));
    QCOMPARE(t.quoteColumn(QuoteGridModel::kTimeColumn), (QStringList{"09:05:16", "09:05:15"}));

    ShowRow(t, 1);
    const int row = 450;
    QTableView* grid = t.view().QuoteGrid();
    grid->scrollTo(t.quotes().index(row, 0));
    ClickCell(grid, row);
    QCOMPARE(t.view().SelectedQuoteRow(), row);
    const QString date = t.quotes().cellText(row, 0);
    const std::pair<int, std::function<bool(QDialog&)>> steps[] = {
        {kCmdQuoteEdit, TypeAndAccept("ctl1010", QStringLiteral("77.25"))},
        {kCmdQuoteSplit, TypeAndAccept("ctl1015", QStringLiteral("2"))},
        {kCmdQuoteDelete, TypeAndAccept("none", {})},
    };
    for (const auto& [command, dialog] : steps) {
        grid->scrollToTop();
        t.host.onDialog = dialog;
        t.host.messages.clear();
        t.frame->Action(command)->trigger();
        t.settle();
        QVERIFY2(t.host.messages.size() <= 1, qPrintable(Joined(t.host.messageTexts())));
        QCOMPARE(grid->selectionModel()->selectedRows(), QModelIndexList{t.quotes().index(row, 0)});
        if (command == kCmdQuoteEdit)
            QCOMPARE(t.quotes().cellText(row, 4), QStringLiteral("77.2500"));
        QCOMPARE(t.view().SelectedQuoteRow(), row);
        QVERIFY(
            grid->viewport()->rect().contains(grid->visualRect(t.quotes().index(row, 0)).center()));
    }
    QCOMPARE(t.quotes().rowCount(), 599);
    QVERIFY(t.quotes().cellText(row, 0) != date);  // the deleted day's older neighbour

    ShowRow(t, 2);
    t.host.messages.clear();
    const QByteArray master = ReadAll(t.dir("p") + "/MASTER");
    QStringList seen;
    t.host.onDialog = [&](QDialog& d) {
        auto* field = d.findChild<QLineEdit*>(QStringLiteral("ctl1018"));
        seen << field->text() << field->selectedText();
        QTest::keyClicks(field, QStringLiteral("01051950"));
        seen << field->text();
        return false;
    };
    t.frame->Action(kCmdQuoteSplit)->trigger();
    QCOMPARE(seen, (QStringList{"01/12/2000", "01/12/2000", "01/05/1950"}));
    seen.clear();
    t.host.onDialog = [&](QDialog& d) {
        auto* to = d.findChild<QLineEdit*>(QStringLiteral("ctl1020"));
        seen << d.findChild<QLineEdit*>(QStringLiteral("ctl1019"))->text() << to->selectedText();
        QTest::keyClicks(to, QStringLiteral("12311950"));
        d.findChild<QLineEdit*>(QStringLiteral("ctl1024"))->setText(QStringLiteral("2"));
        return ClickOk(d);
    };
    t.frame->Action(kCmdQuoteAdjust)->trigger();
    QCOMPARE(seen, (QStringList{"01/03/1950", "01/12/2000"}));
    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    // 500 doubled on the range's last day, 501 after it.
    QCOMPARE(t.quoteColumn(6).mid(8, 2), (QStringList{"501", "1000"}));

    QString refused;
    t.host.onDialog = [&](QDialog& d) {
        auto* name = d.findChild<QLineEdit*>(QStringLiteral("ctl1040"));
        name->setText(QStringLiteral("AAA \u20AC"));  // pasted text beyond Latin-1
        if (ClickOk(d)) return true;
        refused = name->selectedText();
        return false;
    };
    t.frame->Action(kCmdSymbolEdit)->trigger();
    QCOMPARE(t.host.messages.size(), std::size_t{1});
    QVERIFY2(t.host.messages.front().text.contains(QStringLiteral("\"\u20AC\" (U+20AC)")),
             qPrintable(t.host.messages.front().text));
    QCOMPARE(refused, QStringLiteral("AAA \u20AC"));
    QCOMPARE(ReadAll(t.dir("p") + "/MASTER"), master);
}

// A portfolio whose EMASTER disagrees with MASTER and whose XMASTER is broken is named once:
// neither on a refill nor when the portfolio is opened again; that it is listed from MASTER
// alone is the index readers' test. In a portfolio whose MASTER is full: the row and the
// panes of a security MASTER and EMASTER list and of one only XMASTER lists; it stays
// selected through a quote edit; the Edit Symbol dialog has room for its 45-character name,
// and a long new name shows whole in its row, which keeps its place. What the edit and the
// rename write into the quote and index files is the quote and symbol commands' test.
void WindowTest::indexFilesThroughTheWindow() {
    ViewTestbed t;
    if (!barwise::testing::CopyRealDb("bbfinance-inconsistent", t.dir("bb")) ||
        !barwise::testing::CopyRealDb("equis-italy", t.dir("italy")))
        QSKIP("the real databases are not here");
    const QByteArray master = ReadAll(t.dir("italy") + "/Master");
    QVERIFY(t.start());
    QCOMPARE(t.view().PortfolioDir(), t.dir("bb"));
    QCOMPARE(t.host.messages.size(), std::size_t(1));
    const QString warning = t.host.messages.front().text;
    QVERIFY2(
        warning.contains(QStringLiteral("EMASTER")) && warning.contains(QStringLiteral("XMASTER")),
        qPrintable(warning));
    QCOMPARE(t.host.messages.front().icon, UiHost::Icon::Information);
    t.view().FillSymbolsGrid(0);
    QListWidget* portfolios = t.view().PortfolioPane().PortfolioList();
    portfolios->setCurrentRow(1);
    portfolios->setCurrentRow(0);
    QCOMPARE(t.host.messages.size(), std::size_t(1));

    t.host.messages.clear();
    portfolios->setCurrentRow(1);
    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    QCOMPARE(t.view().SymbolCount(), 462);
    // The index file, the file number, the name and the security pane after the name.
    const std::tuple<IndexFile, int, const char*, const char*> rows[] = {
        {IndexFile::kMaster, 151, "FERROVIE NORD MILANO", "F151.DAT in MASTER"},
        {IndexFile::kXMaster, 334, "AUTOSTRADE MERIDIONALI", "F334.MWD in XMASTER"},
    };
    int row = -1;
    for (const auto& [index, fileNumber, name, pane] : rows) {
        row = RowOf(t, index, fileNumber);
        QVERIFY(row >= 0);
        QCOMPARE(t.column(t.symbols(), 1).value(row), QLatin1String(name));
        ShowRow(t, row);
        QCOMPARE(t.view().SelectedSecurity()->id, t.symbols().row(row).id);
        QCOMPARE(t.frame->SecurityPaneText(),
                 QStringLiteral("%1 - %2").arg(QLatin1String(name), QLatin1String(pane)));
        QCOMPARE(t.frame->SymbolPaneText(), QStringLiteral("Symbol %1 of 462").arg(row + 1));
    }

    // The XMASTER security stays selected; its edit leaves MASTER alone.
    t.host.onDialog = TypeAndAccept("ctl1010", QStringLiteral("12.5"));
    t.frame->Action(kCmdQuoteEdit)->trigger();
    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    QCOMPARE(t.quotes().cellText(0, 4), QStringLiteral("12.5000"));
    QCOMPARE(t.view().SelectedSecurity()->id, t.symbols().row(row).id);
    QCOMPARE(ReadAll(t.dir("italy") + "/Master"), master);

    const QString longName = QStringLiteral("AUTOSTRADE MERIDIONALI HOLDING SPA");
    int maxLength = 0, room = 0, needed = 0;
    t.host.onDialog = [&](QDialog& d) {
        auto* name = d.findChild<QLineEdit*>(QStringLiteral("ctl1040"));
        d.show();
        QCoreApplication::processEvents();
        maxLength = name->maxLength();
        room = name->contentsRect().width();
        needed = name->fontMetrics().horizontalAdvance(QString(45, QLatin1Char('X')));
        name->setText(longName);
        return ClickOk(d);
    };
    t.frame->Action(kCmdSymbolEdit)->trigger();
    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    QCOMPARE(maxLength, 45);
    QVERIFY2(room >= needed + 4,
             qPrintable(QStringLiteral("%1 px for %2 px").arg(room).arg(needed)));
    QCOMPARE(RowOf(t, IndexFile::kXMaster, 334), row);
    QCOMPARE(t.column(t.symbols(), 1).value(row), longName);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
