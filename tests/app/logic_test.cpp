// The rules of the main window that need no window: settings semantics and the INI import,
// command enabling, window placement and column widths, the search filter, grid texts.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <tuple>

#include "app/commandenabling.h"
#include "app/commandids.h"
#include "app/gridmodels.h"
#include "app/placement.h"
#include "app/searchfilter.h"
#include "testsupport/tempdir.h"
#include "ui/settingsstore.h"

using namespace barwise;

namespace {

const auto L = [](const char* text) { return QString::fromLatin1(text); };

// A store kept in a file of its own.
struct TempStore {
    QTemporaryDir dir;
    SettingsStore store;
    bool createdNew = false, opened = false;

    TempStore() {
        qputenv("BARWISE_SETTINGS", dir.filePath(QStringLiteral("Barwise.conf")).toLocal8Bit());
        opened = store.OpenBaseKey(createdNew, QString::fromLatin1(kBaseKeyPath));
    }
    ~TempStore() { qunsetenv("BARWISE_SETTINGS"); }
    QString get(const char* section, const char* entry, const char* absent = "<absent>") const {
        return store.GetProfileString(L(section), L(entry), L(absent));
    }
};

// Portfolios found; as many symbols counted as rows shown.
ViewState Found(int portfolios, int symbols, int quotes, int selQuoteRow = 0) {
    return {portfolios, symbols, quotes, symbols, selQuoteRow, true};
}

}  // namespace

class LogicTest : public QObject {
    Q_OBJECT
private slots:
    void store();
    void iniImport();
    void enabling();
    void placementAndColumnWidths();
    void searchFilter();
    void quoteTexts();
};

// ----- settings -----

void LogicTest::store() {
    TempStore t;
    QVERIFY(t.opened && t.createdNew && QFile::exists(t.store.FileName()));
    {
        // A second run finds the store, even one with nothing written to it yet.
        SettingsStore again;
        bool createdNew = true;
        QVERIFY(again.OpenBaseKey(createdNew, QString::fromLatin1(kBaseKeyPath)) && !createdNew);
    }

    // A number is read from the leading digits of the text stored.
    // The last is too large for an int.
    const std::pair<const char*, int> rows[] = {
        {"12", 12},   {"12abc", 12}, {"abc", -7}, {"", -7},
        {"  42", 42}, {"-3", -3},    {"+5", 5},   {"99999999999", -7},
    };
    for (const auto& [stored, expected] : rows) {
        QVERIFY(t.store.WriteProfileString(L("Screen"), L("x"), L(stored)));
        QCOMPARE(t.store.GetProfileInt(L("Screen"), L("x"), -7), expected);
    }

    // A value too long to read back counts as absent.
    const QString fits(SettingsStore::kMaxValueBytes - 1, QLatin1Char('a'));
    t.store.WriteProfileString(L("Search"), L("Name"), fits);
    t.store.WriteProfileString(L("Search"), L("Other"),
                               QString(SettingsStore::kMaxValueBytes, 'a'));
    QCOMPARE(t.get("Search", "Name"), fits);
    QCOMPARE(t.get("Search", "Other"), L("<absent>"));
    QCOMPARE(t.get("Search", "Missing"), L("<absent>"));

    // A store that cannot be made keeps the defaults.
    const QString blocker = t.dir.filePath(QStringLiteral("file"));
    testing::WriteText(blocker.toStdString(), "x");
    qputenv("BARWISE_SETTINGS", (blocker + QStringLiteral("/Barwise.conf")).toLocal8Bit());
    SettingsStore store;
    bool createdNew = false;
    QVERIFY(!store.OpenBaseKey(createdNew, QString::fromLatin1(kBaseKeyPath)));
    qunsetenv("BARWISE_SETTINGS");
    QVERIFY(!store.WriteProfileInt(L("Screen"), L("x"), 5));
    QCOMPARE(store.GetProfileInt(L("Screen"), L("x"), 3), 3);
}

void LogicTest::iniImport() {
    // The INI text, then the section, the entry and the value it holds.
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        {"[Screen]\nx=10\n", "Screen", "x", "10"},
        {"[Screen]\r\nx=10\r\n", "Screen", "x", "10"},
        // Blanks around '=' belong to the name and the value.
        {"[Screen]\nx = 10\n", "Screen", "x ", " 10"},
        {"[Screen]\nx = 10\n", "Screen", "x", "<absent>"},
        {"[Search]\nName=a=b\n", "Search", "Name", "a=b"},
        {"  [ Screen ]  \ny=4\n", "Screen", "y", "4"},
        {"[Screen] old\nx=10\n", "Screen", "x", "<absent>"},  // text after the bracket: no header
        {"x=10\n[Screen]\n", "Screen", "x", "<absent>"},      // before any section: dropped
        {"[Screen]\nx=1\n[Search]\nx=2\n", "Search", "x", "2"},
        {"[Screen]\njunk\nx=3\n", "Screen", "x", "3"},
        {"[Screen]\ncx=640", "Screen", "cx", "640"},  // last line without newline
    };
    for (const auto& [ini, section, entry, expected] : rows) {
        TempStore t;
        const QString path = t.dir.filePath(QStringLiteral("BARWISE.ini"));
        testing::WriteText(path.toStdString(), ini);
        t.store.ImportIniFile(path);
        QVERIFY2(t.get(section, entry) == L(expected), ini);
    }

    // A line longer than the reader's buffer is cut after 519 characters; the rest is read
    // as a line of its own.
    TempStore t;
    const std::string line = "k=" + std::string(SettingsStore::kIniLinePiece - 2, 'v') + "b=2";
    qputenv("BARWISE_WINDIR", t.dir.path().toLocal8Bit());
    testing::WriteText(t.dir.filePath(QStringLiteral("barwise.INI")).toStdString(),
                       "[Long]\n" + line + "\n");
    t.store.ImportIniFile();  // found in any letter case
    qunsetenv("BARWISE_WINDIR");
    QCOMPARE(t.get("Long", "b"), L("2"));
    QCOMPARE(t.get("Long", "k"), L("<absent>"));  // the first piece's value is too long to read
}

// ----- command enabling -----

void LogicTest::enabling() {
    const QList<int> quoteCommands = {kCmdQuoteEdit,   kCmdQuoteSplit, kCmdQuoteAdjust,
                                      kCmdQuoteDelete, kCmdQuoteAdd,   kCmdExport,
                                      kCmdSplitSearch};
    const QList<int> symbolCommands = {kCmdSymbolDelete, kCmdSymbolEdit, kCmdSymbolAbout};
    const QList<int> transfers = {kCmdSymbolMove, kCmdSymbolCopy};
    const QList<int> portfolioCommands = {kCmdPortfolioCheck, kCmdImport};  // need a portfolio
    // The states not made by Found: portfolio, symbol and quote rows, the symbol count, the
    // selected quote row, portfolios found and the split search open.
    const struct {
        const char* name;
        ViewState state;
        QList<int> disabled;  // every other command is enabled
    } rows[] = {
        {"nothing found", {}, quoteCommands + symbolCommands + transfers + portfolioCommands},
        {"one portfolio, newest quote selected", Found(1, 7, 250, 0), transfers},
        {"two portfolios", Found(2, 7, 250, 3), {}},
        {"oldest quote selected", Found(2, 7, 250, 249), {kCmdQuoteAdd}},
        {"symbols without quotes", Found(2, 3, 0), quoteCommands},
        {"no symbols", Found(2, 0, 0), quoteCommands + symbolCommands + transfers},
        {"split search open", {2, 7, 250, 7, 0, true, true}, {kCmdSplitSearch, kCmdSymbolEdit}},
        {"symbol count zero", {2, 7, 250, 0, 0, true}, {kCmdExport}},
        {"rows left but nothing found",
         {2, 7, 250, 7, 0, false},
         quoteCommands + symbolCommands + portfolioCommands},
    };
    for (const auto& r : rows)
        for (int id : kAllCommands)
            QVERIFY2(IsCommandEnabled(id, r.state) == !r.disabled.contains(id),
                     qPrintable(L(r.name) + QStringLiteral(": command ") + QString::number(id)));
}

// ----- placement and columns -----

void LogicTest::placementAndColumnWidths() {
    const std::pair<QSize, QRect> screens[] = {{{1024, 768}, {26, 19, 972, 729}},
                                               {{1920, 1080}, {48, 27, 1824, 1026}},
                                               {{801, 601}, {20, 15, 760, 570}}};
    for (const auto& [screen, expected] : screens) {
        const WindowPlacement p = DefaultPlacement(screen.width(), screen.height());
        QCOMPARE(QRect(p.x, p.y, p.cx, p.cy), expected);
    }
    // On a 1024x768 screen.
    const std::pair<QRect, bool> placements[] = {
        {{10, 10, 800, 600}, true}, {{0, 0, 1024, 768}, true},  {{1000, 700, 800, 600}, true},
        {{0, 0, 0, 0}, false},      {{10, 10, 0, 600}, false},  {{0, 0, 1025, 600}, false},
        {{0, 0, 800, 769}, false},  {{-1, 0, 800, 600}, false}, {{1025, 0, 800, 600}, false},
    };
    for (const auto& [r, usable] : placements) {
        const bool got = IsUsablePlacement({r.x(), r.y(), r.width(), r.height()}, 1024, 768);
        QCOMPARE(std::make_pair(r, got), std::make_pair(r, usable));
    }
    QCOMPARE(PlacementToStore(-8, -30, 900, 700), (WindowPlacement{0, 0, 900, 700}));
    QCOMPARE(PlacementToStore(12, 40, 900, 700), (WindowPlacement{12, 40, 900, 700}));

    // Client width 400: the symbol column at most 180 by default, the name the rest.
    const struct {
        int stored0, stored1, fit, expected0, expected1;
    } symbols[] = {
        // Together too wide, one wider than the grid, the symbols wider than 9/20.
        {100, 250, 120, 100, 250}, {150, 250, 120, 150, 250}, {200, 250, 120, 120, 280},
        {0, 100, 120, 120, 280},   {-20, 100, 120, 120, 280}, {401, 10, 120, 120, 280},
        {0, 0, 260, 180, 220},
    };
    for (const auto& r : symbols) {
        const auto w = SymbolColumnWidths(400, r.stored0, r.stored1, r.fit);
        QCOMPARE(std::make_tuple(r.stored0, w[0], w[1]),
                 std::make_tuple(r.stored0, r.expected0, r.expected1));
    }
    // Client width 700: the default is 90 each.
    const std::array<int, 7> defaults{90, 90, 90, 90, 90, 90, 90};
    const std::pair<std::array<int, 7>, bool> quotes[] = {
        {{80, 90, 90, 90, 90, 100, 100}, true},
        {{100, 100, 100, 100, 100, 100, 101}, false},  // all together too wide
        {{80, 0, 90, 90, 90, 100, 100}, false},
        {{701, 1, 1, 1, 1, 1, 1}, false},
    };
    for (const auto& [stored, kept] : quotes)
        QVERIFY(QuoteColumnWidths(700, stored) == (kept ? stored : defaults));
}

// ----- search filter -----

void LogicTest::searchFilter() {
    const std::vector<Drive> drives = {{"/", "/"}, {"/media/usb", "/media/usb"}};
    // Limited or not, the path typed, and whether it is taken.
    const std::tuple<bool, const char*, bool> accepted[] = {
        {true, "/home/user/data", true}, {true, "/", true},
        {true, "data/ms", false},        {true, "", false},
        {true, "q:\\data", false},       {false, "", true},
        {false, "q:\\data", true},
    };
    for (const auto& [limit, path, taken] : accepted)
        QVERIFY2(FilterPathAccepted(limit, path, drives) == taken, path);
    // The old filter, the new one, and whether it changed. A change of letter case alone is
    // none; switching the limit off is one.
    const std::tuple<bool, const char*, bool, const char*, bool> changes[] = {
        {true, "/DATA", true, "/DATA", false},   {true, "/DATA", true, "/data", false},
        {true, "/DATA", true, "/DATA/MS", true}, {true, "/DATA", false, "/DATA", true},
        {false, "/DATA", true, "/DATA", true},   {false, "/DATA", false, "/OTHER", false},
    };
    for (const auto& [oldLimit, oldKey, newLimit, newKey, changed] : changes)
        QVERIFY2(FilterChanged(oldLimit, oldKey, newLimit, newKey) == changed, newKey);
}

// ----- grid models -----

// Back-adjusted futures hold negative prices: a number, never "N/A".
void LogicTest::quoteTexts() {
    // The value, a price or not, present or not, and its text.
    const std::tuple<float, bool, bool, const char*> rows[] = {
        {12.5f, true, true, "12.5000"}, {1234.6f, false, true, "1235"},
        {0.0f, true, true, "0.0000"},   {-1.0f, true, false, "N/A"},
        {-1.0f, false, false, "N/A"},   {-6.352f, true, true, "-6.3520"},
        {-1.0f, true, true, "-1.0000"},
    };
    for (const auto& [value, price, present, text] : rows)
        QCOMPARE(QuoteValueText(value, price, present), L(text));
}

QTEST_GUILESS_MAIN(LogicTest)
#include "logic_test.moc"
