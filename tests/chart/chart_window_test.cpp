// The chart in the main window, driven as a user drives it: a click on a bar selects its
// row in the quotes grid, the grid's selection moves the chart's mark, a double-click edits
// the quote and the chart shows what the edit wrote, the pane's place is kept, the chart is
// saved as a picture, and the split search's candidates and the check's suspect quotes are
// marked.
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QtTest>

#include "app/commandids.h"
#include "chart/chartwidget.h"
#include "check/checkdlg.h"
#include "datafiles/encoding.h"
#include "tests/app/viewtestbed.h"

using namespace barwise;

namespace {

int GridRow(ViewTestbed& t) {
    const QModelIndexList rows = t.view().QuoteGrid()->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.front().row() : -1;
}

// A daily series whose prices halve from quote `from` on: a 2-for-1 split not recorded.
DemoSeries SplitSeries(int from) {
    DemoSeries s = MakeSeries(2, "SPLT", "SPLIT UNRECORDED", 200);
    for (int i = from; i < 200; ++i) {
        DemoQuote& q = s.quotes[static_cast<std::size_t>(i)];
        q.open /= 2;
        q.high /= 2;
        q.low /= 2;
        q.close /= 2;
    }
    return s;
}

}  // namespace

class ChartWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(barwise); }
    void clickSelectsTheBarsRow_data();
    void clickSelectsTheBarsRow();
    void gridSelectionAndDoubleClick();
    void placeAndVisibilityAreKept();
    void saveChartAs_data();
    void saveChartAs();
    void splitCandidatesAreMarked();
    void suspectQuotesOfTheCheckAreMarked();
};

void ChartWindowTest::clickSelectsTheBarsRow_data() {
    QTest::addColumn<int>("bars");
    QTest::addColumn<int>("first");  // -1: every bar in view
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("bar");
    QTest::newRow("zoomed in, oldest bar") << 300 << 0 << 20 << 0;
    QTest::newRow("zoomed in, middle") << 300 << 140 << 25 << 151;
    QTest::newRow("zoomed in, newest bar") << 300 << 280 << 20 << 299;
    QTest::newRow("every bar, more bars than pixels") << 2000 << -1 << 0 << 1234;
}

void ChartWindowTest::clickSelectsTheBarsRow() {
    QFETCH(int, bars);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(int, bar);
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A SERIES", bars)}));
    QVERIFY(t.start());
    CChartWidget& chart = t.frame->Chart();
    QVERIFY(chart.isVisible());
    QCOMPARE(chart.Model().barCount(), bars);
    if (first >= 0) chart.Model().setRange(first, count);
    const QPoint at = chart.BarPoint(bar);
    // Zoomed out a pixel holds several bars: the one drawn there is the one selected.
    const int hit = chart.BarAtPoint(at);
    if (first >= 0) QCOMPARE(hit, bar);
    else QCOMPARE(chart.Model().columnOfBar(hit), chart.Model().columnOfBar(bar));
    QTest::mouseClick(&chart, Qt::LeftButton, {}, at);
    t.settle();
    QCOMPARE(GridRow(t), bars - 1 - hit);
    QCOMPARE(t.view().SelectedQuoteRow(), bars - 1 - hit);
    QCOMPARE(chart.Model().selectedBar(), hit);
    const auto quote = t.view().SelectedQuote();
    QVERIFY(quote);
    QCOMPARE(quote->date, chart.Model().bar(hit).date);
}

// The grid's selection moves the chart's mark; a double-click edits the quote and the chart
// shows what the edit wrote.
void ChartWindowTest::gridSelectionAndDoubleClick() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A SERIES", 500)}));
    QVERIFY(t.start());
    CChartWidget& chart = t.frame->Chart();
    QCOMPARE(chart.Model().selectedBar(), 499);  // row 0, the newest quote
    chart.Model().setRange(0, 40);
    for (const int row : {3, 250, 499}) {
        QTableView* grid = t.view().QuoteGrid();
        grid->selectionModel()->select(t.quotes().index(row, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        t.settle();
        const int bar = 499 - row;
        QCOMPARE(chart.Model().selectedBar(), bar);
        // Scrolled into view.
        QVERIFY(bar >= chart.Model().first() && bar < chart.Model().first() + chart.Model().visibleCount());
        QCOMPARE(chart.Model().visibleCount(), 40);
    }

    chart.Model().setRange(50, 20);
    QString edited;
    t.host.onDialog = [&](QDialog& d) {
        auto* close = d.findChild<QLineEdit*>(QStringLiteral("ctl1010"));
        if (!close) return false;
        edited = d.windowTitle();
        close->setText(QStringLiteral("99.5"));
        d.accept();
        return true;
    };
    QTest::mouseDClick(&chart, Qt::LeftButton, {}, chart.BarPoint(60));
    t.settle();
    QVERIFY2(!edited.isEmpty(), "no edit dialog");
    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    QCOMPARE(t.quotes().cellText(499 - 60, 4), QStringLiteral("99.5000"));
    // The chart read the quotes again: the bar shows the new close, and the range and the
    // mark stayed.
    QCOMPARE(chart.Model().bar(60).values[kChartClose], 99.5f);
    QCOMPARE(chart.Model().first(), 50);
    QCOMPARE(chart.Model().visibleCount(), 20);
}

void ChartWindowTest::placeAndVisibilityAreKept() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A SERIES", 50)}));
    QVERIFY(t.start());
    QSplitter* area = t.view().QuoteArea();
    QCOMPARE(area->orientation(), Qt::Horizontal);
    emit t.frame->Chart().PlaceRequested(true);
    QCOMPARE(area->orientation(), Qt::Vertical);
    QAction* toggle = t.frame->Action(kCmdViewChart);
    QVERIFY(toggle->isChecked());
    toggle->trigger();
    QVERIFY(t.frame->Chart().isHidden());
    t.frame->close();
    QCOMPARE(t.settings->GetProfileInt(QStringLiteral("Chart"), QStringLiteral("Show"), -1), 0);
    QCOMPARE(t.settings->GetProfileInt(QStringLiteral("Chart"), QStringLiteral("Below"), -1), 1);

    t.host.beeps.clear();
    QVERIFY(t.start());
    QVERIFY(t.frame->Chart().isHidden());
    QVERIFY(!t.frame->Action(kCmdViewChart)->isChecked());
    QCOMPARE(t.view().QuoteArea()->orientation(), Qt::Vertical);
    t.frame->Action(kCmdViewChart)->trigger();
    QVERIFY(t.frame->Chart().isVisible());
    // Shown again, it takes the share of the area it had.
    const QList<int> sizes = t.view().QuoteArea()->sizes();
    QVERIFY(sizes.size() == 2 && sizes[0] > 0 && sizes[1] > 0);
}

void ChartWindowTest::saveChartAs_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("starts");  // empty: refused
    QTest::addColumn<QString>("message");
    QTest::newRow("png") << QStringLiteral("chart.png") << QByteArray("\x89PNG") << QString();
    QTest::newRow("svg") << QStringLiteral("chart.SVG") << QByteArray("<?xml") << QString();
    QTest::newRow("other picture") << QStringLiteral("chart.jpg") << QByteArray() << QStringLiteral(".png or an .svg");
    QTest::newRow("a folder") << QStringLiteral("folder.png") << QByteArray() << QStringLiteral("cannot be created");
}

void ChartWindowTest::saveChartAs() {
    QFETCH(QString, file);
    QFETCH(QByteArray, starts);
    QFETCH(QString, message);
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A SERIES", 80)}));
    QVERIFY(t.start());
    QVERIFY(QDir(t.settingsDir.path()).mkpath(QStringLiteral("folder.png")));
    const QString path = QDir(t.settingsDir.path()).filePath(file);
    t.host.saveAnswer = path;
    QVERIFY(t.enabled(kCmdSaveChart));
    t.frame->Action(kCmdSaveChart)->trigger();
    if (starts.isEmpty()) {
        QCOMPARE(t.host.messages.size(), std::size_t{1});
        QVERIFY2(t.host.messages.front().text.contains(message), qPrintable(t.host.messages.front().text));
        QVERIFY(!QFileInfo(path).isFile());
        return;
    }
    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith(starts));
    if (file.endsWith(QLatin1String("SVG"))) QVERIFY(bytes.contains("<svg"));
}

void ChartWindowTest::splitCandidatesAreMarked() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A SERIES", 200), SplitSeries(120)}));
    QVERIFY(t.start());
    // Show the split series.
    QTableView* symbols = t.view().SymbolGrid();
    const int row = t.symbolColumn().indexOf(QStringLiteral("SPLT"));
    QVERIFY(row >= 0);
    QTest::mouseClick(symbols->viewport(), Qt::LeftButton, {}, symbols->visualRect(t.symbols().index(row, 0)).center());
    t.settle();
    CChartWidget& chart = t.frame->Chart();
    QCOMPARE(chart.Title().left(4), QStringLiteral("SPLT"));
    QVERIFY(chart.Model().marks().empty());

    t.frame->Action(kCmdSplitSearch)->trigger();
    QDialog* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("dlg109")) window = qobject_cast<QDialog*>(w);
    QVERIFY(window);
    window->findChild<QPushButton*>(QStringLiteral("ctl1024"))->click();
    t.settle();
    QCOMPARE(chart.Model().marks().size(), std::size_t{1});
    QCOMPARE(chart.Model().marks().front().bar, 120);
    QCOMPARE(chart.Model().marks().front().kind, MarkKind::kSplitCandidate);
    QVERIFY(QString::fromStdString(chart.Model().marks().front().text).contains(QStringLiteral("2 for 1")));
    // The other security has none.
    QTest::mouseClick(symbols->viewport(), Qt::LeftButton, {},
                      symbols->visualRect(t.symbols().index(t.symbolColumn().indexOf(QStringLiteral("AAA")), 0)).center());
    t.settle();
    QVERIFY(chart.Model().marks().empty());
    // Closed, the window takes its candidates with it.
    QTest::mouseClick(symbols->viewport(), Qt::LeftButton, {}, symbols->visualRect(t.symbols().index(row, 0)).center());
    t.settle();
    QCOMPARE(chart.Model().marks().size(), std::size_t{1});
    window->reject();
    QTRY_VERIFY(chart.Model().marks().empty());
}

void ChartWindowTest::suspectQuotesOfTheCheckAreMarked() {
    ViewTestbed t;
    DemoSeries bad = MakeSeries(1, "BAD", "HIGH BELOW LOW", 200);
    std::swap(bad.quotes[50].high, bad.quotes[50].low);
    QVERIFY(t.addPortfolio("p", {bad}));
    QVERIFY(t.start());
    CChartWidget& chart = t.frame->Chart();
    QCOMPARE(chart.Title().left(3), QStringLiteral("BAD"));
    QVERIFY(chart.Model().marks().empty());

    t.frame->Action(kCmdPortfolioCheck)->trigger();
    CCheckDlg* check = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* c = qobject_cast<CCheckDlg*>(w)) check = c;
    QVERIFY(check);
    check->OnCheck();
    t.settle();
    bool marked = false;
    for (const PlacedMark& m : chart.Model().marks()) {
        QCOMPARE(m.kind, MarkKind::kSuspectData);
        if (m.bar == 50) marked = QString::fromStdString(m.text).contains(QStringLiteral("high"), Qt::CaseInsensitive);
    }
    QVERIFY(marked);
    check->reject();
    QTRY_VERIFY(chart.Model().marks().empty());
}

QTEST_MAIN(ChartWindowTest)
#include "chart_window_test.moc"
