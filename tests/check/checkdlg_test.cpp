// The Check Portfolio window: it lists what the check finds grouped by class, mends the
// selected findings after asking, shows a quote finding's quote in the main window and
// saves the report.
#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QtTest>

#include "check/checkbed.h"
#include "check/checkdlg.h"
#include "discovery/symbollist.h"
#include "testsupport/tempdir.h"
#include "ui/fakecommandview.h"
#include "ui/scripteduihost.h"

using namespace barwise;

class CheckDlgTest : public QObject {
    Q_OBJECT
private slots:
    void listsShowsSavesAndMendsFindings();
};

namespace {

int ViewRowOf(CCheckDlg& dlg, FindingKind kind) {
    QAbstractItemModel* model = dlg.Table()->model();
    auto* proxy = static_cast<QSortFilterProxyModel*>(model);
    for (int r = 0; r < model->rowCount(); ++r) {
        const int source = proxy->mapToSource(model->index(r, 0)).row();
        if (dlg.Findings()[static_cast<std::size_t>(source)].kind == kind) return r;
    }
    return -1;
}

}  // namespace

// One window on one planted portfolio (a suspect quote in F1, F2's quotes out of order, a
// leftover F1.NEW, a file F9 no record lists): the list, a finding's quote shown, the report
// saved, the selected findings mended after asking, and the window following the main window
// to another portfolio.
void CheckDlgTest::listsShowsSavesAndMendsFindings() {
    barwise::testing::TempDir dir, second, out;
    checktest::CopyPortfolio(checktest::Base::kPlain, dir.path());
    checktest::Mbf("F1.DAT", checktest::QuoteField(28, 15, 6), -5)(dir.path());
    checktest::SwapQuotes("F2.DAT", 24, 10, 11)(dir.path());
    fs::copy_file(dir.path() / "F1.DAT", dir.path() / "F1.NEW");
    fs::copy_file(dir.path() / "F3.DAT", dir.path() / "F9.DAT");
    checktest::CopyPortfolio(checktest::Base::kPlain, second.path());
    FakeCommandView view;
    view.portfolioDir = dir.str();
    view.masterPath = (dir.path() / "MASTER").string();
    ScriptedUiHost host;
    host.saveAnswer = QString::fromStdString((out.path() / "report.txt").string());
    CCheckDlg dlg(view, host);
    QAbstractItemModelTester tester(dlg.Table()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    dlg.findChild<QPushButton*>("check")->click();
    QCOMPARE(dlg.Findings().size(), std::size_t{4});
    // Damage first, then suspect data, then leftovers, whatever order they were found in.
    QAbstractItemModel* model = dlg.Table()->model();
    QStringList classes;
    for (int r = 0; r < 4; ++r) classes << model->index(r, 0).data().toString().section(' ', 0, 0);
    QCOMPARE(classes, (QStringList{"Damage", "Damage", "Suspect", "Leftover"}));
    QVERIFY(dlg.StatusText().contains("4 findings"));
    // Sorting by another column and back.
    dlg.Table()->sortByColumn(CheckFindingsModel::kFile, Qt::DescendingOrder);
    QCOMPARE(model->index(0, CheckFindingsModel::kFile).data().toString(),
             QStringLiteral("F9.DAT"));

    // A double-click on a quote finding shows its quote in the main window.
    const int row = ViewRowOf(dlg, FindingKind::kNegativeVolume);
    const Finding f = dlg.Findings()[static_cast<std::size_t>(
        static_cast<QSortFilterProxyModel*>(model)->mapToSource(model->index(row, 0)).row())];
    view.symbols.push_back({f.id, "AAA", "ALPHA CORP"});
    dlg.OnShowRow(row);
    QCOMPARE(view.shown.size(), std::size_t{1});
    QCOMPARE(std::make_pair(view.shown[0].first.fileNumber, view.shown[0].second),
             std::make_pair(1, checktest::PlainDate(15)));
    QVERIFY(host.messages.empty());
    // A leftover names no security: nothing to show.
    dlg.OnShowRow(ViewRowOf(dlg, FindingKind::kTemporaryFile));
    QCOMPARE(view.shown.size(), std::size_t{1});

    dlg.OnSaveReport();
    const std::string text = barwise::testing::ReadText(out.path() / "report.txt");
    for (const char* part :
         {"suspect  F1.DAT  AAA quote 16", "to edit: barwise-cli edit-quote", "\r\n"})
        QVERIFY2(text.find(part) != std::string::npos, part);

    // Repair: declined first, then made; the unlisted file is added under the names typed.
    const auto before = checktest::Bytes(dir.path() / "F2.DAT");
    host.answers = {UiHost::Answer::No, UiHost::Answer::Yes};
    QStringList offered;
    host.onDialog = [&](QDialog& d) {
        auto* symbol = d.findChild<QLineEdit*>("symbol");
        auto* name = d.findChild<QLineEdit*>("name");
        if (!symbol || !name) return false;
        offered << symbol->text();
        symbol->setText(QStringLiteral("NINE"));
        name->setText(QStringLiteral("NINE FROM F9"));
        return true;
    };
    auto* repair = dlg.findChild<QPushButton*>("repair");
    dlg.Table()->selectionModel()->select(
        dlg.Table()->model()->index(row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(!repair->isEnabled());  // suspect data is not repaired
    dlg.Table()->selectAll();
    QVERIFY(repair->isEnabled());
    dlg.OnRepairSelected();
    QCOMPARE(dlg.Findings().size(), std::size_t{4});
    QVERIFY(checktest::Bytes(dir.path() / "F2.DAT") == before);
    QVERIFY(view.refills.empty());
    dlg.OnRepairSelected();
    QCOMPARE(host.messages.size(), std::size_t{2});
    QVERIFY(host.messages[1].text.contains("Repair 3 selected findings"));
    QCOMPARE(offered, QStringList{QStringLiteral("F9")});
    // What is left is the suspect quote; the main window shows the files as they are now.
    QCOMPARE(dlg.Findings().size(), std::size_t{1});
    QCOMPARE(dlg.Findings()[0].kind, FindingKind::kNegativeVolume);
    QVERIFY(!fs::exists(dir.path() / "F1.NEW"));
    QVERIFY(!view.refills.empty());
    QVERIFY(!dlg.LastChanges().empty());
    const SymbolListing listing = ListSymbols(MasterPathOf(dir.str() + "/"));
    QVERIFY(std::any_of(listing.rows.begin(), listing.rows.end(), [](const SymbolRow& r) {
        return r.symbol.rfind("NINE", 0) == 0 && SecurityName(r.record) == "NINE FROM F9" &&
               r.record.fileNumber() == 9;
    }));

    // The main window shows another portfolio: the window says which it checked, and checks
    // the new one.
    view.portfolioDir = second.str();
    dlg.OnViewChanged();
    auto* label = dlg.findChild<QLabel*>("portfolio");
    QVERIFY(label->text().contains(QString::fromStdString(second.str())));
    QVERIFY(label->text().contains(QString::fromStdString(dir.str())));
    dlg.OnCheck();
    QVERIFY(dlg.Findings().empty());
    QVERIFY(dlg.StatusText().contains("clean"));
}

QTEST_MAIN(CheckDlgTest)
#include "checkdlg_test.moc"
