// The Split Search window driven through a fake view and the scripted host.
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "demo/demodb.h"
#include "discovery/symbollist.h"
#include "splitsearch/splitsearchdlg.h"
#include "testsupport/dailyseries.h"
#include "testsupport/tempdir.h"
#include "ui/fakecommandview.h"
#include "ui/scripteduihost.h"

using namespace barwise;

namespace {

using Shown = decltype(FakeCommandView::shown);

// `count` daily quotes from 1 March 1999 at a close of 50; with `splitAt` > 0 the close
// halves from that quote on, with a wide gap between the two days' ranges.
DemoSeries Series(int fileNumber, const std::string& symbol, int count, int splitAt = 0) {
    return barwise::testing::DailySeries(
        fileNumber, symbol, symbol, 28, MakeDate(1999, 3, 1), count, [&](int i) {
            const float close = splitAt > 0 && i >= splitAt ? 25.0f : 50.0f;
            return DemoQuote{0, 0, close, close + 1, close - 1, close, 0, 0};
        });
}

}  // namespace

class SplitSearchDlgTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        DemoPortfolio p;
        p.series = {Series(1, "AAA", 20, 14), Series(2, "BBB", 1), Series(3, "CCC", 30),
                    Series(4, "DDD", 500, 450), Series(5, "EEE", 30)};
        QVERIFY(WritePortfolio(dir(), p));
        view = FakeCommandView();
        host = ScriptedUiHost();
        view.portfolioDir = dir().string();
        List(dir());
    }

    // BBB has too few quotes and EEE's data file is gone: both are named in the window, not
    // in a box that holds the scan up, and the search goes on.
    void searchListsHitsAndAppendsOnEverySearch() {
        fs::remove(dir() / "F5.DAT");
        CSplitSearchDlg* w = OpenSplitSearch(view, host, nullptr);
        QVERIFY(view.splitSearchOpen);
        auto* saveAs = w->findChild<QPushButton*>(QStringLiteral("ctl3"));
        QVERIFY(!saveAs->isEnabled());
        w->OnSearch();
        const QStringList once = {QStringLiteral("AAA possible 2 for 1 split on 03/15/99"),
                                  QStringLiteral("DDD possible 2 for 1 split on 05/24/00")};
        QCOMPARE(w->Lines(), once);
        QCOMPARE(w->StatusText(), QStringLiteral("Done search, 2 skipped"));
        QCOMPARE(host.countBeeps(UiHost::Beep::Asterisk), 1);
        const QStringList skipped = w->Notices();
        QCOMPARE(skipped.size(), 2);
        QCOMPARE(skipped[0], QStringLiteral("For symbol BBB SplitSearch cannot perform search as "
                                            "there are fewer than 2 quotes."));
        QVERIFY(skipped[1].startsWith(QStringLiteral("For symbol EEE ")));
        QVERIFY(skipped[1].contains(QStringLiteral("F5.DAT")));
        QVERIFY(host.messages.empty());
        QVERIFY(saveAs->isEnabled());
        w->OnSearch();
        QCOMPARE(w->Lines(), once + once);
        QCOMPARE(w->Notices(), skipped + skipped);

        // Saved as CR LF lines, nothing else; a file that cannot be written is named.
        barwise::testing::TempDir out;
        host.saveAnswer = QString::fromStdString((out.path() / "result.txt").string());
        w->OnSaveAs();
        const std::string one = once.join(QStringLiteral("\r\n")).toStdString() + "\r\n";
        QCOMPARE(barwise::testing::ReadText(out.path() / "result.txt"), one + one);
        host.saveAnswer = QString::fromStdString((out.path() / "missing" / "result.txt").string());
        host.messages.clear();
        w->OnSaveAs();
        QCOMPARE(host.messages.size(), std::size_t{1});
        QVERIFY(host.messages[0].text.contains(host.saveAnswer));

        // A line shows its security and the split day in the main window.
        w->OnShowLine(1);
        QCOMPARE(view.shown, (Shown{{view.symbols[3].id, MakeDate(1999, 3, 1) + 450}}));

        w->reject();
        QVERIFY(!view.splitSearchOpen);
        QTest::qWait(0);
    }

    void nothingFoundSaysSoAfterTheBeep() {
        view.symbols = {view.symbols[2]};  // CCC
        CSplitSearchDlg* w = OpenSplitSearch(view, host, nullptr);
        w->OnSearch();
        QVERIFY(w->Lines().isEmpty());
        QCOMPARE(host.countBeeps(UiHost::Beep::Asterisk), 1);
        QCOMPARE(host.messageTexts(), QStringList{QStringLiteral("No candidate splits found")});
        QVERIFY(!w->findChild<QPushButton*>(QStringLiteral("ctl3"))->isEnabled());
        w->reject();
    }

    void closingDuringASearchStopsItAtTheNextSymbol() {
        view.symbols = {view.symbols[0], view.symbols[3]};  // AAA, DDD
        QPointer<CSplitSearchDlg> w = OpenSplitSearch(view, host, nullptr);
        // Reached while the scan lets the window take input after its first symbol.
        QTimer::singleShot(0, w, [w] {
            QVERIFY(w->Searching());
            w->reject();
        });
        w->OnSearch();
        QCOMPARE(w->Lines(), QStringList{QStringLiteral("AAA possible 2 for 1 split on 03/15/99")});
        QCOMPARE(host.countBeeps(UiHost::Beep::Asterisk), 0);
        QVERIFY(!view.splitSearchOpen);
        QTRY_VERIFY(w.isNull());
    }

    // With many symbols to skip, Stop (the Search button while a search runs) is reached
    // between symbols: no box stands in the way, and the scan ends at once. (Close during a
    // search: closingDuringASearchStopsItAtTheNextSymbol.)
    void stopAndCloseEndAScanOfManySkippedSymbols() {
        DemoPortfolio p;
        for (int i = 1; i <= 13; ++i) p.series.push_back(Series(i, "S" + std::to_string(i), 1));
        p.series.push_back(Series(14, "ZHIT", 20, 14));  // listed last
        const fs::path many = dir() / "MANY";
        QVERIFY(WritePortfolio(many, p));
        List(many);
        QPointer<CSplitSearchDlg> w = OpenSplitSearch(view, host, nullptr);
        auto* search = w->findChild<QPushButton*>(QStringLiteral("ctl1024"));
        int clicked = 0;
        QTimer::singleShot(0, w, [&] {
            QVERIFY(w->Searching());
            QCOMPARE(search->text(), QStringLiteral("Stop"));
            search->click();
            ++clicked;
        });
        w->OnSearch();
        QCOMPARE(clicked, 1);
        QVERIFY(host.messages.empty());
        QCOMPARE(w->StatusText(), QStringLiteral("Search stopped"));
        QVERIFY(w->Notices().size() < 13);  // stopped before the last symbols
        QVERIFY(w->Lines().isEmpty());
        QCOMPARE(search->text(), QStringLiteral("Search"));
        QVERIFY(view.splitSearchOpen);  // Stop leaves the window open
        w->reject();
    }

    // A security only XMASTER lists is scanned by its own entry (its record 1 is not
    // MASTER's record 1), and its line shows that entry.
    void xmasterSecuritiesAreScannedAndShown() {
        const fs::path ext = dir() / "EXT";
        QCOMPARE(WriteExtendedPortfolio(ext, 257, 3).status, kSuccess);
        QVERIFY(WriteDatFile(ext / "F257.MWD", Series(257, "X0257", 20, 14)));
        List(ext);
        QCOMPARE(view.symbols.size(), std::size_t{257});
        view.portfolioDir = ext.string();
        view.symbolRow = 0;
        CSplitSearchDlg* w = OpenSplitSearch(view, host, nullptr);
        w->OnSearch();
        QCOMPARE(w->Lines(),
                 QStringList{QStringLiteral("X0257 possible 2 for 1 split on 03/15/99")});
        QVERIFY2(host.messages.empty(), qPrintable(host.messageTexts().join(QLatin1Char('|'))));
        w->OnShowLine(0);
        const SecurityId& shown = view.symbols[static_cast<std::size_t>(view.symbolRow)].id;
        QVERIFY(shown.inXmaster() && shown.fileNumber == 257);
        QCOMPARE(view.shown, (Shown{{shown, MakeDate(1999, 3, 15)}}));
        w->reject();
    }

private:
    fs::path dir() const { return fs::path(tmp.path().toStdString()); }
    // The window's symbol list: the securities of a portfolio.
    void List(const fs::path& portfolio) {
        view.symbols.clear();
        for (const SymbolRow& row : ListSymbols(portfolio / "MASTER").rows)
            view.symbols.push_back({row.id, row.symbol, row.name});
    }

    QTemporaryDir tmp;
    FakeCommandView view;
    ScriptedUiHost host;
};

QTEST_MAIN(SplitSearchDlgTest)
#include "splitsearchdlg_test.moc"
