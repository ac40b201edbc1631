// The main window on copies of real databases, driven through its actions as a user
// reaches them: intraday bars to the second, a MASTER that cannot be listed, the Edit
// Symbol dialog's room for long names, and what closing the window writes.
#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <filesystem>

#include "app/commandids.h"
#include "datafiles/encoding.h"
#include "tests/app/viewtestbed.h"

using namespace barwise;
namespace fsys = std::filesystem;

namespace {

QByteArray ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const std::string& path, const QByteArray& bytes) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A real database copied below the tree, its files writable as a user's own are.
bool CopyRealDb(const ViewTestbed& t, const char* name, const std::string& relative) {
    const fsys::path from = fsys::path(BARWISE_REALDB_DIR) / name;
    std::error_code ec;
    if (!fsys::is_directory(from, ec)) return false;
    fsys::copy(from, t.dir(relative), fsys::copy_options::recursive, ec);
    if (ec) return false;
    for (const auto& e : fsys::recursive_directory_iterator(t.dir(relative)))
        fsys::permissions(e.path(), fsys::perms::owner_read | fsys::perms::owner_write, fsys::perm_options::add, ec);
    return !ec;
}

float FieldAt(const QByteArray& dat, int recordLength, int quote, int field) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(dat.constData()) + (quote + 1) * recordLength + field * 4;
    return MbfToFloat(p);
}

void SetFieldAt(QByteArray& dat, int recordLength, int quote, int field, float value) {
    const MbfBytes m = FloatToMbf(value);
    for (int i = 0; i < 4; ++i) dat[(quote + 1) * recordLength + field * 4 + i] = static_cast<char>(m[static_cast<std::size_t>(i)]);
}

QString SelectedQuoteRow(ViewTestbed& t) {
    const QModelIndexList rows = t.view().QuoteGrid()->selectionModel()->selectedRows();
    return rows.size() == 1 ? QString::number(rows.front().row()) : QStringLiteral("none");
}

// The row is drawn within the grid's viewport.
bool RowInView(ViewTestbed& t, int row) {
    QTableView* grid = t.view().QuoteGrid();
    return grid->viewport()->rect().contains(grid->visualRect(t.quotes().index(row, 0)).center());
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(barwise); }
    void intradayBarsKeepTheirSeconds();
    void editedQuoteStaysSelectedAndInView();
    void unlistableMasterIsNotRepaired();
    void editSymbolDialogShowsLongNamesWhole();
    void closingWritesTheSettingsOnce();
};

// Two bars one second apart (09:05:16 and 09:05:17) are two quotes: shown, edited and
// deleted each as itself.
void WindowTest::intradayBarsKeepTheirSeconds() {
    ViewTestbed t;
    if (!CopyRealDb(t, "stooq-intraday", "bars")) QSKIP("the real databases are not here");
    const std::string datPath = t.dir("bars") + "/F1.DAT";
    QByteArray dat = ReadAll(datPath);
    constexpr int len = 28;  // DATE, TIME, OPEN, HIGH, LOW, CLOSE, VOL
    const int n = static_cast<int>(dat.size() / len) - 1;
    QCOMPARE(n, 2);
    QCOMPARE(FieldAt(dat, len, n - 2, 0), FieldAt(dat, len, n - 1, 0));  // one day
    // The file holds whole minutes; the last two bars become one second apart.
    const float minute = FieldAt(dat, len, n - 2, 1);
    QVERIFY(static_cast<int>(minute) % 100 == 0);
    SetFieldAt(dat, len, n - 2, 1, minute + 16);
    SetFieldAt(dat, len, n - 1, 1, minute + 17);
    QVERIFY(WriteAll(datPath, dat));
    const TimeCode even = TimeFromReal(minute + 16), odd = TimeFromReal(minute + 17);
    const QString oddText = QString::fromStdString(FormatTime(odd));
    QVERIFY(oddText.endsWith(QStringLiteral(":17")));

    QVERIFY(t.start());
    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    QCOMPARE(t.quotes().rowCount(), n);
    QCOMPARE(t.quotes().cellText(0, QuoteGridModel::kTimeColumn), oddText);
    QCOMPARE(t.quotes().cellText(1, QuoteGridModel::kTimeColumn), QString::fromStdString(FormatTime(even)));

    const QString day = t.quotes().cellText(0, 0);

    // An edit of the newest bar changes that bar alone.
    t.host.onDialog = [](QDialog& d) {
        d.findChild<QLineEdit*>(QStringLiteral("ctl1010"))->setText(QStringLiteral("12.5"));
        d.accept();
        return d.result() == QDialog::Accepted;
    };
    t.frame->Action(kCmdQuoteEdit)->trigger();
    QVERIFY2(t.host.messages.empty(), qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
    const QByteArray edited = ReadAll(datPath);
    QCOMPARE(FieldAt(edited, len, n - 1, 5), 12.5f);
    QCOMPARE(edited.left((n) * len), dat.left((n) * len));  // every other bar as it was

    // The Delete dialog and its question name the bar by its time; the bar of that second goes.
    QString shown;
    t.host.onDialog = [&](QDialog& d) {
        shown = d.findChild<QLabel*>(QStringLiteral("ctl1022"))->text();
        d.accept();
        return d.result() == QDialog::Accepted;
    };
    t.frame->Action(kCmdQuoteDelete)->trigger();
    QCOMPARE(shown, day + QLatin1Char(' ') + oddText);
    QCOMPARE(t.host.messageTexts().size(), 1);
    QVERIFY2(t.host.messages.front().text.contains(day + QLatin1Char(' ') + oddText),
             qPrintable(t.host.messages.front().text));
    const QByteArray after = ReadAll(datPath);
    QCOMPARE(after.size(), dat.size() - len);
    QCOMPARE(after.mid(len), dat.mid(len, (n - 1) * len));  // the bar a second earlier stays
    QCOMPARE(t.quotes().cellText(0, QuoteGridModel::kTimeColumn), QString::fromStdString(FormatTime(even)));
}

// After Edit, Split and Adjust the quote acted on stays selected and in view, however far
// from the newest; after Delete the next older quote takes its place.
void WindowTest::editedQuoteStaysSelectedAndInView() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "LONG", "LONG HISTORY", 600)}));
    QVERIFY(t.start());
    const int row = 450;
    QTableView* grid = t.view().QuoteGrid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(t.quotes().index(0, 0)).center());
    grid->scrollTo(t.quotes().index(row, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(t.quotes().index(row, 0)).center());
    QCOMPARE(t.view().SelectedQuoteRow(), row);
    const QString date = t.quotes().cellText(row, 0);

    struct Step {
        int command;
        std::function<bool(QDialog&)> dialog;
        int selected;  // the row selected afterwards
    } const steps[] = {
        {kCmdQuoteEdit,
         [](QDialog& d) {
             d.findChild<QLineEdit*>(QStringLiteral("ctl1010"))->setText(QStringLiteral("77.25"));
             d.accept();
             return d.result() == QDialog::Accepted;
         },
         row},
        {kCmdQuoteSplit,
         [](QDialog& d) {
             d.findChild<QLineEdit*>(QStringLiteral("ctl1015"))->setText(QStringLiteral("2"));
             d.accept();
             return d.result() == QDialog::Accepted;
         },
         row},
        {kCmdQuoteDelete,
         [](QDialog& d) {
             d.accept();
             return d.result() == QDialog::Accepted;
         },
         row},
    };
    for (const Step& s : steps) {
        grid->scrollToTop();
        t.host.onDialog = s.dialog;
        t.host.messages.clear();
        t.frame->Action(s.command)->trigger();
        t.settle();
        QVERIFY2(t.host.messages.size() <= 1, qPrintable(t.host.messageTexts().join(QLatin1Char('|'))));
        QCOMPARE(SelectedQuoteRow(t), QString::number(s.selected));
        if (s.command == kCmdQuoteEdit) QCOMPARE(t.quotes().cellText(s.selected, 4), QStringLiteral("77.2500"));
        QCOMPARE(t.view().SelectedQuoteRow(), s.selected);
        QVERIFY(RowInView(t, s.selected));
    }
    QCOMPARE(t.quotes().rowCount(), 599);
    QVERIFY(t.quotes().cellText(row, 0) != date);  // the deleted day's older neighbour
}

// A MASTER holding more records than its header says is refused before anything is
// written: its blank symbols are not repaired, and the message says what disagrees.
void WindowTest::unlistableMasterIsNotRepaired() {
    ViewTestbed t;
    if (!CopyRealDb(t, "mininge-dop", "mininge")) QSKIP("the real databases are not here");
    const std::string dir = t.dir("mininge");
    const QByteArray master = ReadAll(dir + "/MASTER");
    QVERIFY(!master.isEmpty());
    QVERIFY(t.start());
    QCOMPARE(t.host.messageTexts(),
             QStringList{QStringLiteral("Failure while filling symbols grid\n\n%1 holds 26 records, its header says 25")
                             .arg(QString::fromStdString(dir + "/MASTER"))});
    QCOMPARE(ReadAll(dir + "/MASTER"), master);
    QVERIFY(!QFile::exists(QString::fromStdString(dir + "/MASTER.BAK")));
    QCOMPARE(t.symbols().rowCount(), 0);
}

// Where XMASTER holds the entry, a name takes 45 characters; the dialog shows them whole.
void WindowTest::editSymbolDialogShowsLongNamesWhole() {
    ViewTestbed t;
    if (!CopyRealDb(t, "equis-italy", "italy")) QSKIP("the real databases are not here");
    QVERIFY(t.start());
    int row = -1;
    for (int r = 0; r < t.symbols().rowCount() && row < 0; ++r)
        if (t.symbols().row(r).id.inXmaster()) row = r;
    QVERIFY(row >= 0);
    t.view().SymbolGrid()->selectRow(row);
    t.view().SettleSelection();
    t.settle();
    int maxLength = 0, room = 0, needed = 0;
    t.host.onDialog = [&](QDialog& d) {
        auto* name = d.findChild<QLineEdit*>(QStringLiteral("ctl1040"));
        d.show();
        QCoreApplication::processEvents();
        maxLength = name->maxLength();
        room = name->contentsRect().width();
        needed = name->fontMetrics().horizontalAdvance(QString(45, QLatin1Char('X')));
        return false;
    };
    t.frame->Action(kCmdSymbolEdit)->trigger();
    QCOMPARE(maxLength, 45);
    QVERIFY2(room >= needed + 4, qPrintable(QStringLiteral("%1 px for %2 px").arg(room).arg(needed)));
}

// Closing the window keeps the column widths in one write of the settings file (each
// write is a synced replacement of the whole file), and none when nothing changed.
void WindowTest::closingWritesTheSettingsOnce() {
    ViewTestbed t;
    QVERIFY(t.addPortfolio("p", {MakeSeries(1, "AAA", "A", 5)}));
    QVERIFY(t.start());
    t.view().QuoteGrid()->horizontalHeader()->resizeSection(2, 93);
    t.view().SymbolGrid()->horizontalHeader()->resizeSection(0, 71);
    const int before = t.settings->FileWrites();
    t.frame->close();
    QCOMPARE(t.settings->FileWrites() - before, 1);
    QCOMPARE(t.settings->GetProfileInt(QStringLiteral("QuoteGrid"), QStringLiteral("col2"), 0), 93);
    QCOMPARE(t.settings->GetProfileInt(QStringLiteral("SymbolGrid"), QStringLiteral("col0"), 0), 71);

    t.host.beeps.clear();
    QVERIFY(t.start());
    t.view().QuoteGrid()->horizontalHeader()->resizeSection(2, 93);
    const int again = t.settings->FileWrites();
    t.frame->close();
    QCOMPARE(t.settings->FileWrites(), again);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
