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

// The top-level window of this kind.
template <typename W>
W* TopLevel(const char* objectName = nullptr) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!objectName || w->objectName() == QLatin1String(objectName))
            if (auto* found = qobject_cast<W*>(w)) return found;
    return nullptr;
}

}  // namespace

class ChartWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(barwise); }
    void clicksMarksPlaceAndPictures();
};

// A click on a bar selects its row in the quotes grid, zoomed in or with more bars than
// pixels; the grid's selection moves the chart's mark and scrolls it into view; a
// double-click edits the quote and the chart shows what the edit wrote. The split search's
// candidates and the check's suspect quotes are marked on the security they were found in,
// and go with the window that found them. The pane's place and whether it shows are kept for
// the next start; the chart is saved as a PNG or an SVG picture, and any other name is
// refused.
void ChartWindowTest::clicksMarksPlaceAndPictures() {
    ViewTestbed t;
    // A daily series whose prices halve from quote 120 on: a 2-for-1 split not recorded.
    DemoSeries split = MakeSeries(4, "SPLT", "SPLIT UNRECORDED", 200);
    for (std::size_t i = 120; i < 200; ++i) {
        DemoQuote& q = split.quotes[i];
        for (float* v : {&q.open, &q.high, &q.low, &q.close}) *v /= 2;
    }
    DemoSeries bad = MakeSeries(3, "BAD", "HIGH BELOW LOW", 200);
    std::swap(bad.quotes[50].high, bad.quotes[50].low);
    QVERIFY(t.addPortfolio(
        "p", {MakeSeries(1, "AAA", "A SERIES", 500), MakeSeries(2, "BBB", "B", 2000), bad, split}));
    QVERIFY(t.start());
    CChartWidget& chart = t.frame->Chart();
    QVERIFY(chart.isVisible());
    // The symbols-grid row, its bars, the range shown (count 0: every bar) and the bar clicked.
    const std::tuple<int, int, int, int, int> rows[] = {
        {2, 2000, 0, 0, 1234}, {0, 500, 0, 20, 0}, {0, 500, 140, 25, 151}, {0, 500, 480, 20, 499}};
    for (const auto& [symbolRow, bars, first, count, bar] : rows) {
        ShowRow(t, symbolRow);
        QCOMPARE(chart.Model().barCount(), bars);
        if (count > 0) chart.Model().setRange(first, count);
        const QPoint at = chart.BarPoint(bar);
        // Zoomed out a pixel holds several bars: the one drawn there is the one selected.
        const int hit = chart.BarAtPoint(at);
        if (count > 0) QCOMPARE(hit, bar);
        QCOMPARE(chart.Model().columnOfBar(hit), chart.Model().columnOfBar(bar));
        QTest::mouseClick(&chart, Qt::LeftButton, {}, at);
        t.settle();
        const auto quote = t.view().SelectedQuote();
        QCOMPARE(std::make_tuple(GridRow(t), t.view().SelectedQuoteRow(),
                                 chart.Model().selectedBar(), quote ? quote->date : kNoDate),
                 std::make_tuple(bars - 1 - hit, bars - 1 - hit, hit, chart.Model().bar(hit).date));
    }

    chart.Model().setRange(0, 40);
    for (const int row : {3, 250, 499}) {
        t.view().QuoteGrid()->selectionModel()->select(
            t.quotes().index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        t.settle();
        const int bar = 499 - row;
        QCOMPARE(chart.Model().selectedBar(), bar);
        QVERIFY(bar >= chart.Model().first() &&
                bar < chart.Model().first() + chart.Model().visibleCount());
        QCOMPARE(chart.Model().visibleCount(), 40);
    }

    chart.Model().setRange(50, 20);
    t.host.onDialog = TypeAndAccept("ctl1010", QStringLiteral("99.5"));
    QTest::mouseDClick(&chart, Qt::LeftButton, {}, chart.BarPoint(60));
    t.settle();
    QCOMPARE(t.host.dialogs.size(), std::size_t{1});
    QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
    QCOMPARE(t.quotes().cellText(499 - 60, 4), QStringLiteral("99.5000"));
    // The chart read the quotes again: the bar shows the new close, and the range stayed.
    QCOMPARE(chart.Model().bar(60).values[kChartClose], 99.5f);
    QCOMPARE(std::make_pair(chart.Model().first(), chart.Model().visibleCount()),
             std::make_pair(50, 20));

    t.host.onDialog = nullptr;
    const std::vector<PlacedMark>& marks = chart.Model().marks();
    ShowRow(t, 3);
    QCOMPARE(chart.Title().left(4), QStringLiteral("SPLT"));
    QVERIFY(marks.empty());
    t.frame->Action(kCmdSplitSearch)->trigger();
    auto* search = TopLevel<QDialog>("dlg109");
    QVERIFY(search);
    search->findChild<QPushButton*>(QStringLiteral("ctl1024"))->click();
    t.settle();
    QCOMPARE(marks.size(), std::size_t{1});
    QCOMPARE(std::make_pair(marks.front().bar, marks.front().kind),
             std::make_pair(120, MarkKind::kSplitCandidate));
    QVERIFY(QString::fromStdString(marks.front().text).contains(QStringLiteral("2 for 1")));
    // The other security has none; back on this one they are shown again until the window closes.
    ShowRow(t, 1);
    QCOMPARE(chart.Title().left(3), QStringLiteral("BAD"));
    QVERIFY(marks.empty());
    ShowRow(t, 3);
    QCOMPARE(marks.size(), std::size_t{1});
    search->reject();
    QTRY_VERIFY(marks.empty());

    ShowRow(t, 1);
    t.frame->Action(kCmdPortfolioCheck)->trigger();
    CCheckDlg* check = TopLevel<CCheckDlg>();
    QVERIFY(check);
    check->OnCheck();
    t.settle();
    bool marked = false;
    for (const PlacedMark& m : marks) {
        QCOMPARE(m.kind, MarkKind::kSuspectData);
        if (m.bar == 50)
            marked = QString::fromStdString(m.text).contains(QStringLiteral("high"),
                                                             Qt::CaseInsensitive);
    }
    QVERIFY(marked);
    check->reject();
    QTRY_VERIFY(marks.empty());

    const QDir out(t.settingsDir.path());
    QVERIFY(out.mkpath(QStringLiteral("folder.png")));
    // The file chosen, how it starts (empty: refused) and the refusal's words.
    const std::tuple<const char*, QByteArray, const char*> pictures[] = {
        {"chart.png", "\x89PNG", nullptr},
        {"chart.SVG", "<?xml version", nullptr},
        {"chart.jpg", {}, ".png or an .svg"},
        {"folder.png", {}, "cannot be created"},
    };
    for (const auto& [file, starts, message] : pictures) {
        t.host.messages.clear();
        t.host.saveAnswer = out.filePath(QLatin1String(file));
        QVERIFY(t.enabled(kCmdSaveChart));
        t.frame->Action(kCmdSaveChart)->trigger();
        if (starts.isEmpty()) {
            QCOMPARE(t.host.messages.size(), std::size_t{1});
            QVERIFY2(t.host.messages.front().text.contains(QLatin1String(message)), file);
            QVERIFY(!QFileInfo(t.host.saveAnswer).isFile());
            continue;
        }
        QVERIFY2(t.host.messages.empty(), qPrintable(Joined(t.host.messageTexts())));
        const QByteArray bytes = ReadAll(t.host.saveAnswer.toStdString());
        QVERIFY2(bytes.startsWith(starts), file);
        if (starts.startsWith('<')) QVERIFY(bytes.contains("<svg"));
    }

    QSplitter* area = t.view().QuoteArea();
    QCOMPARE(area->orientation(), Qt::Horizontal);
    emit t.frame->Chart().PlaceRequested(true);
    QCOMPARE(area->orientation(), Qt::Vertical);
    QAction* toggle = t.frame->Action(kCmdViewChart);
    QVERIFY(toggle->isChecked());
    toggle->trigger();
    QVERIFY(t.frame->Chart().isHidden());
    t.frame->close();

    // Started again, it stays hidden and below the grid.
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

QTEST_MAIN(ChartWindowTest)
#include "chart_window_test.moc"
