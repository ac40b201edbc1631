// The rules of the main window that need no window: settings semantics and the INI import,
// command enabling, window placement and column widths, the search filter, grid texts.
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/commandenabling.h"
#include "app/commandids.h"
#include "app/gridmodels.h"
#include "app/placement.h"
#include "app/searchfilter.h"
#include "ui/settingsstore.h"

using namespace barwise;

Q_DECLARE_METATYPE(barwise::ViewState)

namespace {

// A store kept in a file of its own.
struct TempStore {
    QTemporaryDir dir;
    SettingsStore store;
    bool createdNew = false;
    bool opened = false;

    TempStore() {
        qputenv("BARWISE_SETTINGS", dir.filePath(QStringLiteral("Barwise.conf")).toLocal8Bit());
        opened = store.OpenBaseKey(createdNew, QString::fromLatin1(kBaseKeyPath));
    }
    ~TempStore() { qunsetenv("BARWISE_SETTINGS"); }
};

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class LogicTest : public QObject {
    Q_OBJECT
private slots:
    // ----- settings -----
    void profileIntReadsLeadingNumber_data();
    void profileIntReadsLeadingNumber();
    void longValuesCountAsAbsent();
    void storeIsNewOnlyOnce();
    void unwritableStoreKeepsDefaults();
    void iniImport_data();
    void iniImport();
    void iniLongLineArrivesInPieces();

    // ----- command enabling -----
    void enabling_data();
    void enabling();

    // ----- placement and columns -----
    void defaultPlacement_data();
    void defaultPlacement();
    void usablePlacement_data();
    void usablePlacement();
    void storedPlacementClampsPosition();
    void symbolColumns_data();
    void symbolColumns();
    void quoteColumns_data();
    void quoteColumns();

    // ----- search filter -----
    void filterAccepted_data();
    void filterAccepted();
    void filterChanged_data();
    void filterChanged();

    // ----- grid models -----
    void quoteTexts_data();
    void quoteTexts();
};

// ----- settings -----

void LogicTest::profileIntReadsLeadingNumber_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("number") << "12" << 12;
    QTest::newRow("digits then letters") << "12abc" << 12;
    QTest::newRow("letters") << "abc" << -7;
    QTest::newRow("empty") << "" << -7;
    QTest::newRow("leading blanks") << "  42" << 42;
    QTest::newRow("negative") << "-3" << -3;
    QTest::newRow("plus sign") << "+5" << 5;
    QTest::newRow("too large for an int") << "99999999999" << -7;
}

void LogicTest::profileIntReadsLeadingNumber() {
    QFETCH(QString, stored);
    QFETCH(int, expected);
    TempStore t;
    QVERIFY(t.opened);
    QVERIFY(t.store.WriteProfileString(QStringLiteral("Screen"), QStringLiteral("x"), stored));
    QCOMPARE(t.store.GetProfileInt(QStringLiteral("Screen"), QStringLiteral("x"), -7), expected);
}

void LogicTest::longValuesCountAsAbsent() {
    TempStore t;
    const QString fits(SettingsStore::kMaxValueBytes - 1, QLatin1Char('a'));
    const QString tooLong(SettingsStore::kMaxValueBytes, QLatin1Char('a'));
    t.store.WriteProfileString(QStringLiteral("Search"), QStringLiteral("Name"), fits);
    t.store.WriteProfileString(QStringLiteral("Search"), QStringLiteral("Other"), tooLong);
    QCOMPARE(t.store.GetProfileString(QStringLiteral("Search"), QStringLiteral("Name"), QStringLiteral("d")), fits);
    QCOMPARE(t.store.GetProfileString(QStringLiteral("Search"), QStringLiteral("Other"), QStringLiteral("d")),
             QStringLiteral("d"));
    QCOMPARE(t.store.GetProfileString(QStringLiteral("Search"), QStringLiteral("Missing"), QStringLiteral("d")),
             QStringLiteral("d"));
}

void LogicTest::storeIsNewOnlyOnce() {
    TempStore t;
    QVERIFY(t.opened);
    QVERIFY(t.createdNew);
    QVERIFY(QFile::exists(t.store.FileName()));
    // A second run finds the store, even one with nothing written to it yet.
    SettingsStore again;
    bool createdNew = true;
    QVERIFY(again.OpenBaseKey(createdNew, QString::fromLatin1(kBaseKeyPath)));
    QVERIFY(!createdNew);
}

void LogicTest::unwritableStoreKeepsDefaults() {
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("file"));
    WriteFile(blocker, "x");
    qputenv("BARWISE_SETTINGS", (blocker + QStringLiteral("/Barwise.conf")).toLocal8Bit());
    SettingsStore store;
    bool createdNew = false;
    QVERIFY(!store.OpenBaseKey(createdNew, QString::fromLatin1(kBaseKeyPath)));
    qunsetenv("BARWISE_SETTINGS");
    QVERIFY(!store.WriteProfileInt(QStringLiteral("Screen"), QStringLiteral("x"), 5));
    QCOMPARE(store.GetProfileInt(QStringLiteral("Screen"), QStringLiteral("x"), 3), 3);
}

void LogicTest::iniImport_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");  // "<absent>" when the entry must not exist

    QTest::newRow("plain entry") << QByteArray("[Screen]\nx=10\n") << "Screen" << "x" << "10";
    QTest::newRow("CR LF lines") << QByteArray("[Screen]\r\nx=10\r\n") << "Screen" << "x" << "10";
    QTest::newRow("blanks around '=' belong to name and value")
        << QByteArray("[Screen]\nx = 10\n") << "Screen" << "x " << " 10";
    QTest::newRow("blanks around '=': x itself absent")
        << QByteArray("[Screen]\nx = 10\n") << "Screen" << "x" << "<absent>";
    QTest::newRow("value keeps later '='") << QByteArray("[Search]\nName=a=b\n") << "Search" << "Name" << "a=b";
    QTest::newRow("header with blanks inside brackets")
        << QByteArray("  [ Screen ]  \ny=4\n") << "Screen" << "y" << "4";
    QTest::newRow("text after the bracket is no header")
        << QByteArray("[Screen] old\nx=10\n") << "Screen" << "x" << "<absent>";
    QTest::newRow("entry before any section is dropped")
        << QByteArray("x=10\n[Screen]\n") << "Screen" << "x" << "<absent>";
    QTest::newRow("later section takes later entries")
        << QByteArray("[Screen]\nx=1\n[Search]\nx=2\n") << "Search" << "x" << "2";
    QTest::newRow("line without '=' ignored")
        << QByteArray("[Screen]\njunk\nx=3\n") << "Screen" << "x" << "3";
    QTest::newRow("last line without newline") << QByteArray("[Screen]\ncx=640") << "Screen" << "cx" << "640";
}

void LogicTest::iniImport() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, section);
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    TempStore t;
    const QString path = t.dir.filePath(QStringLiteral("BARWISE.ini"));
    WriteFile(path, ini);
    t.store.ImportIniFile(path);
    const QString got = t.store.GetProfileString(section, entry, QStringLiteral("<absent>"));
    QCOMPARE(got, expected);
}

void LogicTest::iniLongLineArrivesInPieces() {
    // A line longer than the reader's buffer is cut after 519 characters; the rest is read
    // as a line of its own.
    TempStore t;
    QByteArray line = "k=" + QByteArray(SettingsStore::kIniLinePiece - 2, 'v');
    line += "b=2";
    qputenv("BARWISE_WINDIR", t.dir.path().toLocal8Bit());
    WriteFile(t.dir.filePath(QStringLiteral("barwise.INI")), "[Long]\n" + line + "\n");
    t.store.ImportIniFile();  // found in any letter case
    qunsetenv("BARWISE_WINDIR");
    QCOMPARE(t.store.GetProfileString(QStringLiteral("Long"), QStringLiteral("b"), QString()), QStringLiteral("2"));
    // The first piece's value is too long to be read back.
    QCOMPARE(t.store.GetProfileString(QStringLiteral("Long"), QStringLiteral("k"), QStringLiteral("-")),
             QStringLiteral("-"));
}

// ----- command enabling -----

namespace {

ViewState Found(int portfolios, int symbols, int quotes, int selQuoteRow = 0) {
    ViewState s;
    s.portfoliosFound = true;
    s.portfolioRows = portfolios;
    s.symbolRows = symbols;
    s.symbolCount = symbols;
    s.quoteRows = quotes;
    s.selQuoteRow = selQuoteRow;
    return s;
}

}  // namespace

void LogicTest::enabling_data() {
    QTest::addColumn<ViewState>("state");
    QTest::addColumn<QList<int>>("disabled");  // every other command is enabled

    const QList<int> quoteCommands = {kCmdQuoteEdit, kCmdQuoteSplit, kCmdQuoteAdjust,
                                      kCmdQuoteDelete, kCmdQuoteAdd, kCmdExport, kCmdSplitSearch};
    QTest::newRow("nothing found")
        << ViewState{} << (quoteCommands + QList<int>{kCmdSymbolDelete, kCmdSymbolEdit, kCmdSymbolAbout,
                                                        kCmdSymbolMove, kCmdSymbolCopy, kCmdPortfolioCheck});
    QTest::newRow("one portfolio, newest quote selected") << Found(1, 7, 250, 0)
                                                          << QList<int>{kCmdSymbolMove, kCmdSymbolCopy};
    QTest::newRow("two portfolios") << Found(2, 7, 250, 3) << QList<int>{};
    QTest::newRow("oldest quote selected") << Found(2, 7, 250, 249) << QList<int>{kCmdQuoteAdd};
    QTest::newRow("symbols without quotes") << Found(2, 3, 0) << quoteCommands;
    QTest::newRow("no symbols") << Found(2, 0, 0)
                                << (quoteCommands + QList<int>{kCmdSymbolDelete, kCmdSymbolEdit,
                                                               kCmdSymbolAbout, kCmdSymbolMove,
                                                               kCmdSymbolCopy});
    ViewState open = Found(2, 7, 250, 0);
    open.splitSearchOpen = true;
    QTest::newRow("split search open") << open << QList<int>{kCmdSplitSearch, kCmdSymbolEdit};
    ViewState noCount = Found(2, 7, 250, 0);
    noCount.symbolCount = 0;
    QTest::newRow("symbol count zero") << noCount << QList<int>{kCmdExport};
    ViewState lost = Found(2, 7, 250, 0);
    lost.portfoliosFound = false;
    QTest::newRow("rows left but nothing found")
        << lost << (quoteCommands + QList<int>{kCmdSymbolDelete, kCmdSymbolEdit, kCmdSymbolAbout, kCmdPortfolioCheck});
}

void LogicTest::enabling() {
    QFETCH(ViewState, state);
    QFETCH(QList<int>, disabled);
    for (int id : kAllCommands) {
        const bool expected = !disabled.contains(id);
        if (IsCommandEnabled(id, state) != expected)
            QFAIL(qPrintable(QStringLiteral("command %1 should be %2").arg(id).arg(expected ? "enabled" : "disabled")));
    }
}

// ----- placement and columns -----

void LogicTest::defaultPlacement_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("1024x768") << QSize(1024, 768) << QRect(26, 19, 972, 729);
    QTest::newRow("1920x1080") << QSize(1920, 1080) << QRect(48, 27, 1824, 1026);
    QTest::newRow("odd sizes") << QSize(801, 601) << QRect(20, 15, 760, 570);
}

void LogicTest::defaultPlacement() {
    QFETCH(QSize, screen);
    QFETCH(QRect, expected);
    const WindowPlacement p = DefaultPlacement(screen.width(), screen.height());
    QCOMPARE(QRect(p.x, p.y, p.cx, p.cy), expected);
}

void LogicTest::usablePlacement_data() {
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<bool>("usable");
    QTest::newRow("inside") << QRect(10, 10, 800, 600) << true;
    QTest::newRow("whole screen") << QRect(0, 0, 1024, 768) << true;
    QTest::newRow("partly off to the right") << QRect(1000, 700, 800, 600) << true;
    QTest::newRow("never stored") << QRect(0, 0, 0, 0) << false;
    QTest::newRow("zero width") << QRect(10, 10, 0, 600) << false;
    QTest::newRow("wider than the screen") << QRect(0, 0, 1025, 600) << false;
    QTest::newRow("taller than the screen") << QRect(0, 0, 800, 769) << false;
    QTest::newRow("left of the screen") << QRect(-1, 0, 800, 600) << false;
    QTest::newRow("corner off the screen") << QRect(1025, 0, 800, 600) << false;
}

void LogicTest::usablePlacement() {
    QFETCH(QRect, stored);
    QFETCH(bool, usable);
    const WindowPlacement p{stored.x(), stored.y(), stored.width(), stored.height()};
    QCOMPARE(IsUsablePlacement(p, 1024, 768), usable);
}

void LogicTest::storedPlacementClampsPosition() {
    QCOMPARE(PlacementToStore(-8, -30, 900, 700), (WindowPlacement{0, 0, 900, 700}));
    QCOMPARE(PlacementToStore(12, 40, 900, 700), (WindowPlacement{12, 40, 900, 700}));
}

void LogicTest::symbolColumns_data() {
    QTest::addColumn<int>("c0");
    QTest::addColumn<int>("c1");
    QTest::addColumn<int>("e0");
    QTest::addColumn<int>("e1");
    QTest::addColumn<int>("fit");
    // Client width 400: the symbol column at most 180 by default, the name the rest.
    QTest::newRow("stored and fitting") << 100 << 250 << 100 << 250 << 120;
    QTest::newRow("exactly the width") << 150 << 250 << 150 << 250 << 120;
    QTest::newRow("together too wide") << 200 << 250 << 120 << 280 << 120;
    QTest::newRow("zero") << 0 << 100 << 120 << 280 << 120;
    QTest::newRow("negative") << -20 << 100 << 120 << 280 << 120;
    QTest::newRow("one wider than the grid") << 401 << 10 << 120 << 280 << 120;
    QTest::newRow("symbols wider than 9/20") << 0 << 0 << 180 << 220 << 260;
}

void LogicTest::symbolColumns() {
    QFETCH(int, c0);
    QFETCH(int, c1);
    QFETCH(int, e0);
    QFETCH(int, e1);
    QFETCH(int, fit);
    const auto w = SymbolColumnWidths(400, c0, c1, fit);
    QCOMPARE(w[0], e0);
    QCOMPARE(w[1], e1);
}

void LogicTest::quoteColumns_data() {
    QTest::addColumn<QList<int>>("stored");
    QTest::addColumn<bool>("kept");
    // Client width 700: the default is 90 each.
    QTest::newRow("fits") << QList<int>{80, 90, 90, 90, 90, 100, 100} << true;
    QTest::newRow("all together too wide") << QList<int>{100, 100, 100, 100, 100, 100, 101} << false;
    QTest::newRow("a zero") << QList<int>{80, 0, 90, 90, 90, 100, 100} << false;
    QTest::newRow("one wider than the grid") << QList<int>{701, 1, 1, 1, 1, 1, 1} << false;
}

void LogicTest::quoteColumns() {
    QFETCH(QList<int>, stored);
    QFETCH(bool, kept);
    std::array<int, 7> in{};
    std::copy(stored.begin(), stored.end(), in.begin());
    const auto out = QuoteColumnWidths(700, in);
    std::array<int, 7> defaults{};
    defaults.fill(90);
    QCOMPARE(out == in, kept);
    if (!kept) QVERIFY(out == defaults);
}

// ----- search filter -----

void LogicTest::filterAccepted_data() {
    QTest::addColumn<bool>("limit");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("on a listed volume") << true << "/home/user/data" << true;
    QTest::newRow("the root") << true << "/" << true;
    QTest::newRow("relative") << true << "data/ms" << false;
    QTest::newRow("empty with the switch on") << true << "" << false;
    QTest::newRow("drive letter where there are none") << true << "q:\\data" << false;
    QTest::newRow("switch off, empty") << false << "" << true;
    QTest::newRow("switch off, anything") << false << "q:\\data" << true;
}

void LogicTest::filterAccepted() {
    QFETCH(bool, limit);
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    const std::vector<Drive> drives = {{"/", "/"}, {"/media/usb", "/media/usb"}};
    QCOMPARE(FilterPathAccepted(limit, path.toStdString(), drives), accepted);
}

void LogicTest::filterChanged_data() {
    QTest::addColumn<bool>("oldLimit");
    QTest::addColumn<QString>("oldKey");
    QTest::addColumn<bool>("newLimit");
    QTest::addColumn<QString>("newKey");
    QTest::addColumn<bool>("changed");
    QTest::newRow("same") << true << "/DATA" << true << "/DATA" << false;
    QTest::newRow("case only") << true << "/DATA" << true << "/data" << false;
    QTest::newRow("other path") << true << "/DATA" << true << "/DATA/MS" << true;
    QTest::newRow("switched off, same path") << true << "/DATA" << false << "/DATA" << true;
    QTest::newRow("switched on") << false << "/DATA" << true << "/DATA" << true;
    QTest::newRow("off, path edited") << false << "/DATA" << false << "/OTHER" << false;
}

void LogicTest::filterChanged() {
    QFETCH(bool, oldLimit);
    QFETCH(QString, oldKey);
    QFETCH(bool, newLimit);
    QFETCH(QString, newKey);
    QFETCH(bool, changed);
    QCOMPARE(FilterChanged(oldLimit, oldKey.toStdString(), newLimit, newKey.toStdString()), changed);
}

// ----- grid models -----

void LogicTest::quoteTexts_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("price");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("text");
    QTest::newRow("close 12.5") << 12.5f << true << true << "12.5000";
    QTest::newRow("volume 1234.6") << 1234.6f << false << true << "1235";
    QTest::newRow("zero price") << 0.0f << true << true << "0.0000";
    QTest::newRow("absent price") << -1.0f << true << false << "N/A";
    QTest::newRow("absent volume") << -1.0f << false << false << "N/A";
    // Back-adjusted futures hold negative prices: a number, never "N/A".
    QTest::newRow("negative price") << -6.352f << true << true << "-6.3520";
    QTest::newRow("minus one as a price") << -1.0f << true << true << "-1.0000";
}

void LogicTest::quoteTexts() {
    QFETCH(float, value);
    QFETCH(bool, price);
    QFETCH(bool, present);
    QFETCH(QString, text);
    QCOMPARE(QuoteValueText(value, price, present), text);
}

QTEST_GUILESS_MAIN(LogicTest)
#include "logic_test.moc"
