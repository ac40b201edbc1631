// The rules of the main window that need no window: settings semantics and the INI import,
// command enabling, window placement and column widths, the search filter, grid texts.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/commandenabling.h"
#include "app/commandids.h"
#include "app/gridmodels.h"
#include "app/placement.h"
#include "app/searchfilter.h"
#include "ui/settingsstore.h"

using namespace barwise;

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

class LogicTest : public QObject {
    Q_OBJECT
private slots:
    void store();
    void unwritableStoreKeepsDefaults();
    void iniImport();
    void iniLongLineArrivesInPieces();
    void enabling();
    void placement();
    void columnWidths();
    void searchFilter();
    void quoteTexts();
};

// ----- settings -----

void LogicTest::store() {
    TempStore t;
    QVERIFY(t.opened);
    QVERIFY(t.createdNew);
    QVERIFY(QFile::exists(t.store.FileName()));
    {
        // A second run finds the store, even one with nothing written to it yet.
        SettingsStore again;
        bool createdNew = true;
        QVERIFY(again.OpenBaseKey(createdNew, QString::fromLatin1(kBaseKeyPath)));
        QVERIFY(!createdNew);
    }

    // A number is read from the leading digits of the text stored.
    const std::pair<const char*, int> rows[] = {
        {"12", 12}, {"12abc", 12}, {"abc", -7}, {"", -7}, {"  42", 42}, {"-3", -3}, {"+5", 5},
        {"99999999999", -7},  // too large for an int
    };
    for (const auto& [stored, expected] : rows) {
        QVERIFY(t.store.WriteProfileString(QStringLiteral("Screen"), QStringLiteral("x"), QString::fromLatin1(stored)));
        QCOMPARE(t.store.GetProfileInt(QStringLiteral("Screen"), QStringLiteral("x"), -7), expected);
    }

    // A value too long to read back counts as absent.
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

void LogicTest::iniImport() {
    const struct {
        const char* ini;
        const char* section;
        const char* entry;
        const char* expected;  // "<absent>" when the entry must not exist
    } rows[] = {
        {"[Screen]\nx=10\n", "Screen", "x", "10"},
        {"[Screen]\r\nx=10\r\n", "Screen", "x", "10"},
        {"[Screen]\nx = 10\n", "Screen", "x ", " 10"},  // blanks around '=' belong to name and value
        {"[Screen]\nx = 10\n", "Screen", "x", "<absent>"},
        {"[Search]\nName=a=b\n", "Search", "Name", "a=b"},
        {"  [ Screen ]  \ny=4\n", "Screen", "y", "4"},
        {"[Screen] old\nx=10\n", "Screen", "x", "<absent>"},  // text after the bracket: no header
        {"x=10\n[Screen]\n", "Screen", "x", "<absent>"},      // before any section: dropped
        {"[Screen]\nx=1\n[Search]\nx=2\n", "Search", "x", "2"},
        {"[Screen]\njunk\nx=3\n", "Screen", "x", "3"},
        {"[Screen]\ncx=640", "Screen", "cx", "640"},  // last line without newline
    };
    for (const auto& r : rows) {
        TempStore t;
        const QString path = t.dir.filePath(QStringLiteral("BARWISE.ini"));
        WriteFile(path, r.ini);
        t.store.ImportIniFile(path);
        const QString got = t.store.GetProfileString(QString::fromLatin1(r.section), QString::fromLatin1(r.entry),
                                                     QStringLiteral("<absent>"));
        QVERIFY2(got == QLatin1String(r.expected), r.ini);
    }
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

void LogicTest::enabling() {
    const QList<int> quoteCommands = {kCmdQuoteEdit, kCmdQuoteSplit, kCmdQuoteAdjust, kCmdQuoteDelete,
                                      kCmdQuoteAdd,  kCmdExport,     kCmdSplitSearch};
    const QList<int> symbolCommands = {kCmdSymbolDelete, kCmdSymbolEdit, kCmdSymbolAbout};
    const QList<int> transfers = {kCmdSymbolMove, kCmdSymbolCopy};
    const QList<int> portfolioCommands = {kCmdPortfolioCheck, kCmdImport};  // need a portfolio
    ViewState open = Found(2, 7, 250, 0), noCount = open, lost = open;
    open.splitSearchOpen = true;
    noCount.symbolCount = 0;
    lost.portfoliosFound = false;
    const struct {
        const char* name;
        ViewState state;
        QList<int> disabled;  // every other command is enabled
    } rows[] = {
        {"nothing found", ViewState{}, quoteCommands + symbolCommands + transfers + portfolioCommands},
        {"one portfolio, newest quote selected", Found(1, 7, 250, 0), transfers},
        {"two portfolios", Found(2, 7, 250, 3), {}},
        {"oldest quote selected", Found(2, 7, 250, 249), {kCmdQuoteAdd}},
        {"symbols without quotes", Found(2, 3, 0), quoteCommands},
        {"no symbols", Found(2, 0, 0), quoteCommands + symbolCommands + transfers},
        {"split search open", open, {kCmdSplitSearch, kCmdSymbolEdit}},
        {"symbol count zero", noCount, {kCmdExport}},
        {"rows left but nothing found", lost, quoteCommands + symbolCommands + portfolioCommands},
    };
    for (const auto& r : rows)
        for (int id : kAllCommands)
            QVERIFY2(IsCommandEnabled(id, r.state) == !r.disabled.contains(id),
                     qPrintable(QStringLiteral("%1: command %2").arg(QLatin1String(r.name)).arg(id)));
}

// ----- placement and columns -----

void LogicTest::placement() {
    const std::pair<QSize, QRect> defaults[] = {{{1024, 768}, {26, 19, 972, 729}},
                                                {{1920, 1080}, {48, 27, 1824, 1026}},
                                                {{801, 601}, {20, 15, 760, 570}}};
    for (const auto& [screen, expected] : defaults) {
        const WindowPlacement p = DefaultPlacement(screen.width(), screen.height());
        QCOMPARE(QRect(p.x, p.y, p.cx, p.cy), expected);
    }
    // On a 1024x768 screen.
    const std::pair<QRect, bool> stored[] = {
        {{10, 10, 800, 600}, true},   {{0, 0, 1024, 768}, true},   {{1000, 700, 800, 600}, true},
        {{0, 0, 0, 0}, false},        {{10, 10, 0, 600}, false},   {{0, 0, 1025, 600}, false},
        {{0, 0, 800, 769}, false},    {{-1, 0, 800, 600}, false},  {{1025, 0, 800, 600}, false},
    };
    for (const auto& [r, usable] : stored)
        QVERIFY2(IsUsablePlacement({r.x(), r.y(), r.width(), r.height()}, 1024, 768) == usable,
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())));
    QCOMPARE(PlacementToStore(-8, -30, 900, 700), (WindowPlacement{0, 0, 900, 700}));
    QCOMPARE(PlacementToStore(12, 40, 900, 700), (WindowPlacement{12, 40, 900, 700}));
}

void LogicTest::columnWidths() {
    // Client width 400: the symbol column at most 180 by default, the name the rest.
    const struct {
        int stored0, stored1, fit, expected0, expected1;
    } symbols[] = {
        {100, 250, 120, 100, 250}, {150, 250, 120, 150, 250}, {200, 250, 120, 120, 280},  // together too wide
        {0, 100, 120, 120, 280},   {-20, 100, 120, 120, 280}, {401, 10, 120, 120, 280},   // one wider than the grid
        {0, 0, 260, 180, 220},                                                          // symbols wider than 9/20
    };
    for (const auto& r : symbols) {
        const auto w = SymbolColumnWidths(400, r.stored0, r.stored1, r.fit);
        QVERIFY2(w[0] == r.expected0 && w[1] == r.expected1, qPrintable(QString::number(r.stored0)));
    }
    // Client width 700: the default is 90 each.
    std::array<int, 7> defaults{};
    defaults.fill(90);
    const std::pair<std::array<int, 7>, bool> quotes[] = {
        {{80, 90, 90, 90, 90, 100, 100}, true},
        {{100, 100, 100, 100, 100, 100, 101}, false},  // all together too wide
        {{80, 0, 90, 90, 90, 100, 100}, false},
        {{701, 1, 1, 1, 1, 1, 1}, false},
    };
    for (const auto& [stored, kept] : quotes) QVERIFY(QuoteColumnWidths(700, stored) == (kept ? stored : defaults));
}

// ----- search filter -----

void LogicTest::searchFilter() {
    const std::vector<Drive> drives = {{"/", "/"}, {"/media/usb", "/media/usb"}};
    const struct {
        bool limit;
        const char* path;
        bool accepted;
    } accepted[] = {
        {true, "/home/user/data", true}, {true, "/", true},   {true, "data/ms", false}, {true, "", false},
        {true, "q:\\data", false},       {false, "", true},   {false, "q:\\data", true},
    };
    for (const auto& r : accepted) QVERIFY2(FilterPathAccepted(r.limit, r.path, drives) == r.accepted, r.path);
    const struct {
        bool oldLimit;
        const char* oldKey;
        bool newLimit;
        const char* newKey;
        bool changed;
    } changes[] = {
        {true, "/DATA", true, "/DATA", false},  {true, "/DATA", true, "/data", false},   // letter case only
        {true, "/DATA", true, "/DATA/MS", true}, {true, "/DATA", false, "/DATA", true},  // switched off
        {false, "/DATA", true, "/DATA", true},  {false, "/DATA", false, "/OTHER", false},
    };
    for (const auto& r : changes)
        QVERIFY2(FilterChanged(r.oldLimit, r.oldKey, r.newLimit, r.newKey) == r.changed, r.newKey);
}

// ----- grid models -----

void LogicTest::quoteTexts() {
    const struct {
        float value;
        bool price, present;
        const char* text;
    } rows[] = {
        {12.5f, true, true, "12.5000"}, {1234.6f, false, true, "1235"}, {0.0f, true, true, "0.0000"},
        {-1.0f, true, false, "N/A"},    {-1.0f, false, false, "N/A"},
        // Back-adjusted futures hold negative prices: a number, never "N/A".
        {-6.352f, true, true, "-6.3520"}, {-1.0f, true, true, "-1.0000"},
    };
    for (const auto& r : rows) QCOMPARE(QuoteValueText(r.value, r.price, r.present), QString::fromLatin1(r.text));
}

QTEST_GUILESS_MAIN(LogicTest)
#include "logic_test.moc"
