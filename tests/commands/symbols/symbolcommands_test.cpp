// The Symbol menu's handlers and dialogs, driven through a fake view and the scripted host.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "commands/symbols/movesymboldlg.h"
#include "commands/symbols/symbolcommands.h"
#include "discovery/symbollist.h"
#include "symboltestdb.h"
#include "ui/fakecommandview.h"
#include "ui/scripteduihost.h"

using namespace barwise;
using barwise::testing::FileNumbers;
using barwise::testing::IdOf;
using barwise::testing::Portfolio;
using barwise::testing::ReadBytes;
using barwise::testing::Series;
using barwise::testing::WriteBytes;

namespace {

// The view showing portfolio `dir` with the row of file number `selected` chosen.
void Show(FakeCommandView& view, const fs::path& dir, int selected) {
    view.portfolioDir = dir.string();
    view.masterPath = (dir / "MASTER").string();
    view.symbols.clear();
    for (const SymbolRow& row : ListSymbols(dir / "MASTER").rows) {
        if (row.id.fileNumber == selected) view.symbolRow = static_cast<int>(view.symbols.size());
        view.symbols.push_back({row.id, row.symbol, row.name});
    }
}

template <typename W>
W* Child(QDialog& d, const char* name) {
    W* w = d.findChild<W*>(QString::fromLatin1(name));
    if (!w) qFatal("no %s", name);
    return w;
}

}  // namespace

class SymbolCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        fs::remove_all(dir("p"));
        fs::remove_all(dir("q"));
        QVERIFY(
            Portfolio(dir("p"), {Series(1, "AAA"), Series(2, "BBB", 5, true), Series(3, "CCC")}));
        QVERIFY(Portfolio(dir("q"), {Series(1, "X1")}));
        view = FakeCommandView();
        host = ScriptedUiHost();
        Show(view, dir("p"), 2);
        view.portfolios = {dir("p").string(), dir("q").string()};
        view.currentPortfolio = 0;
    }

    void editRenamesInPlaceAndRefusesAnEmptySymbol() {
        QString shownSymbol, shownName;
        int maxLength = 0;
        host.onDialog = [&](QDialog& d) -> bool {
            shownSymbol = Child<QLineEdit>(d, "ctl1039")->text();
            shownName = Child<QLineEdit>(d, "ctl1040")->text();
            maxLength = Child<QLineEdit>(d, "ctl1039")->maxLength();
            Child<QLineEdit>(d, "ctl1039")->setText(QString());
            Child<QPushButton>(d, "ctl1")->click();
            if (d.result() == QDialog::Accepted) return true;  // must not happen: empty symbol
            Child<QLineEdit>(d, "ctl1039")->setText(QStringLiteral("ABCDEFGHIJKLMNOP"));
            Child<QLineEdit>(d, "ctl1040")->setText(QStringLiteral("Beta"));
            Child<QPushButton>(d, "ctl1")->click();
            return d.result() == QDialog::Accepted;
        };
        OnSymbolEdit(view, host);
        QCOMPARE(host.dialogs, std::vector<QString>{QStringLiteral("Edit Symbol")});
        QCOMPARE(shownSymbol, QStringLiteral("BBB"));
        QCOMPARE(shownName, QStringLiteral("BBB CORP"));
        QCOMPARE(maxLength, 16);
        QCOMPARE(host.messageTexts(), QStringList{QStringLiteral("You must enter a symbol")});
        MasterRecord r;
        QCOMPARE(ReadMasterEntry(IdOf(dir("p"), 2), r), kSuccess);
        QCOMPARE(r.symbolField(), std::string("ABCDEFGHIJKLMNOP"));
        QCOMPARE(r.nameField(), std::string("Beta            "));
        // The row, in its place; nothing read again.
        QCOMPARE(view.symbols[1].symbol, std::string("ABCDEFGHIJKLMNOP"));
        QVERIFY(view.refills.empty());
    }

    void editThatFailsLeavesTheRow() {
        // The entry has changed under the grid: the rename finds it no longer there.
        Show(view, dir("p"), 2);
        QVERIFY(Portfolio(dir("p"), {Series(1, "AAA"), Series(3, "CCC")}));
        const auto master = ReadBytes(dir("p") / "MASTER");
        host.onDialog = [](QDialog& d) {
            d.findChild<QLineEdit*>(QStringLiteral("ctl1039"))->setText(QStringLiteral("ZZZ"));
            d.accept();
            return true;
        };
        OnSymbolEdit(view, host);
        QCOMPARE(host.messages.size(), std::size_t{1});
        QCOMPARE(view.symbols[1].symbol, std::string("BBB"));
        QCOMPARE(ReadBytes(dir("p") / "MASTER"), master);
    }

    void deleteAsksWithNoAsDefault() {
        bool noIsDefault = false;
        QString shown;
        host.onDialog = [&](QDialog& d) {
            noIsDefault = Child<QPushButton>(d, "ctl2")->isDefault();
            shown = Child<QLabel>(d, "ctl1044")->text();
            return false;
        };
        OnSymbolDelete(view, host);
        QVERIFY(noIsDefault);
        QCOMPARE(shown, QStringLiteral("BBB"));
        QCOMPARE(host.beeps, std::vector<UiHost::Beep>{UiHost::Beep::Question});
        QCOMPARE(FileNumbers(dir("p")), (std::vector<int>{1, 2, 3}));
        QVERIFY(view.refills.empty());

        host.onDialog = [](QDialog& d) {
            d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
            return d.result() == QDialog::Accepted;
        };
        OnSymbolDelete(view, host);
        QCOMPARE(FileNumbers(dir("p")), (std::vector<int>{1, 3}));
        QVERIFY(!fs::exists(dir("p") / "F2.DAT") && !fs::exists(dir("p") / "F2.DOP"));
        QVERIFY(fs::exists(dir("p") / "MASTER.BAK"));
        QCOMPARE(view.refills, (std::vector<std::pair<FakeCommandView::Refill, int>>{
                                   {FakeCommandView::Refill::Symbols, 0}}));
        QVERIFY(host.messages.empty());
    }

    void moveAndCopyOfferTheOtherPortfolios_data() {
        QTest::addColumn<bool>("move");
        QTest::newRow("move") << true;
        QTest::newRow("copy") << false;
    }
    void moveAndCopyOfferTheOtherPortfolios() {
        QFETCH(bool, move);
        QString title;
        QStringList offered;
        int extent = 0;
        QString symbolText, portfolioText;
        host.onDialog = [&](QDialog& d) -> bool {
            title = d.windowTitle();
            auto* list = Child<QListWidget>(d, "ctl1040");
            for (int i = 0; i < list->count(); ++i) offered << list->item(i)->text();
            extent = static_cast<CMoveSymbolDlg&>(d).HorizontalExtent();
            symbolText = Child<QLabel>(d, "ctl1041")->text();
            portfolioText = Child<QLabel>(d, "ctl1043")->text();
            Child<QPushButton>(d, "ctl1")->click();
            return d.result() == QDialog::Accepted;
        };
        OnSymbolMove(view, host, move);
        QCOMPARE(title, move ? QStringLiteral("Move Symbol") : QStringLiteral("Copy Symbol"));
        QCOMPARE(offered, QStringList{QString::fromStdString(dir("q").string())});
        QVERIFY(extent > 0);
        QCOMPARE(symbolText, QStringLiteral("BBB"));
        QCOMPARE(portfolioText, QString::fromStdString(dir("p").string()));
        QVERIFY(host.messages.empty());
        QCOMPARE(FileNumbers(dir("q")), (std::vector<int>{1, 2}));
        QCOMPARE(FileNumbers(dir("p")),
                 move ? (std::vector<int>{1, 3}) : (std::vector<int>{1, 2, 3}));
        QCOMPARE(view.refills.size(), std::size_t{move ? 1u : 0u});

        if (move) return;
        // Again: the destination has it now.
        OnSymbolMove(view, host, move);
        QCOMPARE(host.messages.size(), std::size_t{1});
        QVERIFY(host.messages[0].text.contains(QStringLiteral("Symbol BBB already exists in")));
        QCOMPARE(FileNumbers(dir("q")), (std::vector<int>{1, 2}));
    }

    void strayFilesAreReplacedOnlyAfterAsking() {
        WriteBytes(dir("q") / "F2.DAT", {7, 7});
        host.answers = {UiHost::Answer::No};
        host.onDialog = [](QDialog& d) {
            d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
            return true;
        };
        OnSymbolMove(view, host, true);
        QCOMPARE(host.messages.size(), std::size_t{1});
        QCOMPARE(host.messages[0].buttons, UiHost::Buttons::YesNo);
        QVERIFY(host.messages[0].text.contains(QStringLiteral("F2.DAT")));
        QCOMPARE(ReadBytes(dir("q") / "F2.DAT"), (std::vector<std::uint8_t>{7, 7}));
        QCOMPARE(FileNumbers(dir("p")), (std::vector<int>{1, 2, 3}));
    }

private:
    fs::path dir(const char* name) const { return fs::path(tmp.path().toStdString()) / name; }

    QTemporaryDir tmp;
    FakeCommandView view;
    ScriptedUiHost host;
};

QTEST_MAIN(SymbolCommandsTest)
#include "symbolcommands_test.moc"
