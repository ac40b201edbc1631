// The Symbol menu and the Split Search window in the main window: commands reached through
// their actions, the row renamed in place, the window's effect on the command states, and
// a split shown from the window's line.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

#include "app/commandids.h"
#include "app/viewtestbed.h"
#include "splitsearch/splitsearchdlg.h"

using namespace barwise;

class SymbolsViewTest : public QObject {
    Q_OBJECT
private slots:
    void symbolMenuThroughTheWindow() {
        ViewTestbed t;
        QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A", 3), MakeSeries(2, "BBB", "B", 3),
                                     MakeSeries(3, "CCC", "C", 3)}));
        QVERIFY(t.addPortfolio("q", {MakeSeries(1, "XXX", "X", 5)}));
        QVERIFY(t.start());
        CBarwiseView& v = t.view();
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "BBB", "CCC"}));

        // Edit: the new text stands in the old row's place.
        v.m_symbolGrid->selectRow(1);
        t.host.onDialog = [](QDialog& d) {
            d.findChild<QLineEdit*>(QStringLiteral("ctl1039"))->setText(QStringLiteral("ZED"));
            d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
            return d.result() == QDialog::Accepted;
        };
        QVERIFY(t.enabled(kCmdSymbolEdit));
        t.frame->Action(kCmdSymbolEdit)->trigger();
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "ZED", "CCC"}));
        QCOMPARE(v.m_selSymbol, std::string("ZED"));
        QCOMPARE(v.SelectedSymbolRow(), 1);
        QVERIFY(!v.QuotesPending());

        // The split search window takes Split Search and Symbol > Edit away while it is open.
        t.frame->Action(kCmdSplitSearch)->trigger();
        auto* window = t.frame->findChild<CSplitSearchDlg*>(QStringLiteral("dlg109"));
        QVERIFY(window && window->isVisible());
        QVERIFY(!t.enabled(kCmdSplitSearch));
        QVERIFY(!t.enabled(kCmdSymbolEdit));
        QVERIFY(t.enabled(kCmdSymbolDelete));
        window->reject();
        QVERIFY(t.enabled(kCmdSplitSearch));
        QVERIFY(t.enabled(kCmdSymbolEdit));

        // A line of the window shows its security, in another portfolio too, at its day.
        SecurityId xxx;
        xxx.directory = WithTrailingSeparator(t.dir("q"));
        xxx.position = 1;
        xxx.fileNumber = 1;
        const DateCode day = MakeDate(2000, 1, 3) + 2;
        QVERIFY(v.ShowSecurityQuote(xxx, day));
        QCOMPARE(v.PortfolioDir(), t.dir("q"));
        QCOMPARE(v.m_selSymbol, std::string("XXX"));
        QVERIFY(v.SelectedQuote());
        QCOMPARE(v.SelectedQuote()->date, day);
        xxx.fileNumber = 9;
        QVERIFY(!v.ShowSecurityQuote(xxx, day));

        // Delete and move in p.
        v.m_portfolioList->setCurrentRow(0);
        QCOMPARE(v.PortfolioDir(), t.dir("p"));
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "CCC", "ZED"}));  // sorted when read again
        v.m_symbolGrid->selectRow(1);
        t.host.onDialog = [](QDialog& d) {
            d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
            return d.result() == QDialog::Accepted;
        };
        t.frame->Action(kCmdSymbolDelete)->trigger();
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "ZED"}));
        v.m_symbolGrid->selectRow(0);
        t.frame->Action(kCmdSymbolMove)->trigger();
        QCOMPARE(t.symbolColumn(), (QStringList{"ZED"}));
        v.m_symbolGrid->selectRow(0);
        t.frame->Action(kCmdSymbolCopy)->trigger();
        QCOMPARE(t.symbolColumn(), (QStringList{"ZED"}));
        v.m_portfolioList->setCurrentRow(1);
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "XXX", "ZED"}));
        QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    }
};

QTEST_MAIN(SymbolsViewTest)
#include "symbolsview_test.moc"
