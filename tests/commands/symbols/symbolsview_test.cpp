// The Symbol menu's dialogs and handlers and the Split Search window in the main window,
// reached through their actions and answered by the scripted host.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

#include "app/commandids.h"
#include "app/viewtestbed.h"
#include "commands/symbols/symbolops.h"
#include "splitsearch/splitsearchdlg.h"
#include "testsupport/tempdir.h"

using namespace barwise;

namespace {

template <typename W>
W* Child(QDialog& d, const char* name) {
    W* w = d.findChild<W*>(QString::fromLatin1(name));
    if (!w) qFatal("no %s", name);
    return w;
}

}  // namespace

class SymbolsViewTest : public QObject {
    Q_OBJECT
private slots:
    void symbolMenuThroughTheWindow() {
        ViewTestbed t;
        QVERIFY(
            t.addPortfolio("p", {MakeSeries(1, "AAA", "A", 3), MakeSeries(2, "BBB", "B CORP", 3),
                                 MakeSeries(3, "CCC", "C", 3)}));
        QVERIFY(t.addPortfolio("q", {MakeSeries(1, "XXX", "X", 5)}));
        QVERIFY(t.start());
        CBarwiseView& v = t.view();
        const fs::path p(t.dir("p"));

        // Edit: an empty symbol is refused with the dialog left open; the new texts stand in
        // the old row's place.
        v.SymbolGrid()->selectRow(1);
        QString shown;
        t.host.onDialog = [&](QDialog& d) {
            auto* symbol = Child<QLineEdit>(d, "ctl1039");
            shown = symbol->text() + QLatin1Char('|') + Child<QLineEdit>(d, "ctl1040")->text();
            symbol->clear();
            if (ClickOk(d)) return true;
            symbol->setText(QStringLiteral("ZED"));
            return ClickOk(d);
        };
        t.frame->Action(kCmdSymbolEdit)->trigger();
        QCOMPARE(shown, QStringLiteral("BBB|B CORP"));
        QCOMPARE(t.host.messageTexts(), QStringList{QStringLiteral("You must enter a symbol")});
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "ZED", "CCC"}));
        QCOMPARE(v.SelectedSecurity()->symbol, std::string("ZED"));  // MASTER's: see below

        // A rename whose MASTER cannot be rewritten (its backup name is taken by a directory)
        // leaves MASTER and the row as they were.
        const auto master = testing::ReadBytes(p / "MASTER");
        fs::remove(p / "MASTER.BAK");
        fs::create_directories(p / "MASTER.BAK" / "x");
        t.host.messages.clear();
        t.host.onDialog = [](QDialog& d) {
            Child<QLineEdit>(d, "ctl1039")->setText(QStringLiteral("NEVER"));
            return ClickOk(d);
        };
        t.frame->Action(kCmdSymbolEdit)->trigger();
        QCOMPARE(t.host.messages.size(), std::size_t{1});
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "ZED", "CCC"}));
        QCOMPARE(testing::ReadBytes(p / "MASTER"), master);
        fs::remove_all(p / "MASTER.BAK");

        // The split search window takes Split Search and Symbol > Edit away while it is open.
        t.frame->Action(kCmdSplitSearch)->trigger();
        auto* window = t.frame->findChild<CSplitSearchDlg*>(QStringLiteral("dlg109"));
        QVERIFY(window && window->isVisible());
        QVERIFY(!t.enabled(kCmdSplitSearch) && !t.enabled(kCmdSymbolEdit) &&
                t.enabled(kCmdSymbolDelete));
        window->reject();
        QVERIFY(t.enabled(kCmdSplitSearch) && t.enabled(kCmdSymbolEdit));

        // A line of the window shows its security, in another portfolio too, at its day.
        SecurityId xxx{IndexFile::kMaster, WithTrailingSeparator(t.dir("q")), 1, 1};
        const DateCode day = MakeDate(2000, 1, 3) + 2;
        QVERIFY(v.ShowSecurityQuote(xxx, day));
        QCOMPARE(v.PortfolioDir(), t.dir("q"));
        QVERIFY(v.SelectedQuote() && v.SelectedQuote()->date == day);
        xxx.fileNumber = 9;
        QVERIFY(!v.ShowSecurityQuote(xxx, day));
        v.PortfolioPane().PortfolioList()->setCurrentRow(0);
        // Read again from MASTER, which holds the new symbol, and sorted.
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "CCC", "ZED"}));

        // Delete names the symbol and has "No" as the default; Yes takes it and its data.
        t.host.messages.clear();
        v.SymbolGrid()->selectRow(1);
        t.host.onDialog = [&](QDialog& d) {
            shown = Child<QLabel>(d, "ctl1044")->text() + QLatin1Char('|') +
                    QString::number(Child<QPushButton>(d, "ctl2")->isDefault());
            return false;
        };
        t.frame->Action(kCmdSymbolDelete)->trigger();
        QCOMPARE(shown, QStringLiteral("CCC|1"));  // No is the default
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "CCC", "ZED"}));
        t.host.onDialog = ClickOk;
        t.frame->Action(kCmdSymbolDelete)->trigger();
        QCOMPARE(t.symbolColumn(), (QStringList{"AAA", "ZED"}));
        QVERIFY(!fs::exists(p / "F3.DAT"));

        // Move offers the other portfolio only; Copy again finds the symbol there.
        QStringList offered;
        t.host.onDialog = [&](QDialog& d) {
            shown = d.windowTitle() + QLatin1Char('|') + Child<QLabel>(d, "ctl1041")->text() +
                    QLatin1Char('|') + Child<QLabel>(d, "ctl1043")->text();
            auto* list = Child<QListWidget>(d, "ctl1040");
            offered.clear();
            for (int i = 0; i < list->count(); ++i) offered << list->item(i)->text();
            return ClickOk(d);
        };
        v.SymbolGrid()->selectRow(0);
        t.frame->Action(kCmdSymbolMove)->trigger();
        QCOMPARE(shown, QStringLiteral("Move Symbol|AAA|") + QString::fromStdString(t.dir("p")));
        QCOMPARE(offered, QStringList{QString::fromStdString(t.dir("q"))});
        QCOMPARE(t.symbolColumn(), (QStringList{"ZED"}));
        QVERIFY(t.host.messages.empty());
        v.SymbolGrid()->selectRow(0);
        t.frame->Action(kCmdSymbolCopy)->trigger();
        t.frame->Action(kCmdSymbolCopy)->trigger();
        QVERIFY(shown.startsWith(QStringLiteral("Copy Symbol|ZED|")));
        QCOMPARE(t.host.messageTexts(),
                 QStringList{QString::fromStdString(SymbolExistsMessage("ZED", t.dir("q")))});

        // Files the destination does not list are replaced only after a Yes.
        v.SymbolGrid()->selectRow(0);
        // ZED's copy leaves q's MASTER; an F3.DAT is left behind.
        testing::WriteBytes(fs::path(t.dir("q")) / "F3.DAT", {7});
        QVERIFY(t.addPortfolio("q", {MakeSeries(1, "XXX", "X", 5), MakeSeries(2, "AAA", "A", 3)}));
        t.host.messages.clear();
        t.host.answers = {UiHost::Answer::No};
        t.frame->Action(kCmdSymbolMove)->trigger();
        QCOMPARE(t.host.messages.size(), std::size_t{1});
        QCOMPARE(t.host.messages[0].buttons, UiHost::Buttons::YesNo);
        QVERIFY(t.host.messages[0].text.contains(QStringLiteral("F3.DAT")));
        QCOMPARE(testing::ReadBytes(fs::path(t.dir("q")) / "F3.DAT"), std::vector<std::uint8_t>{7});
        QCOMPARE(t.symbolColumn(), (QStringList{"ZED"}));
    }
};

QTEST_MAIN(SymbolsViewTest)
#include "symbolsview_test.moc"
