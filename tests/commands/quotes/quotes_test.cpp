// The quote-editing commands in the window: the two edit controls' keystroke rules, and
// what each dialog refuses, keeps in the settings and leaves selected, driven through the
// scripted UiHost and a fake view. What the checks take is the Qt-free quoteedits test's;
// what each change does to the files is the rewrite engine's.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "commands/quotes/dateedit.h"
#include "commands/quotes/numberedit.h"
#include "commands/quotes/quotecommands.h"
#include "commands/quotes/quotedialogs.h"
#include "commands/quotes/quoteedits.h"
#include "commands/symbols/symboltestdb.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/series.h"
#include "testsupport/testdb.h"
#include "ui/fakecommandview.h"
#include "ui/scripteduihost.h"
#include "ui/settingsstore.h"

using namespace barwise;
namespace bt = barwise::testing;

namespace {

template <class T>
T* Child(QDialog& d, int id) {
    return d.findChild<T*>(QStringLiteral("ctl%1").arg(id));
}

// Whether the layout, one within it or one of a widget it places, places w.
bool Places(const QLayout* l, const QWidget* w) {
    for (int i = 0; l && i < l->count(); ++i) {
        const QWidget* placed = l->itemAt(i)->widget();
        if (placed == w || Places(l->itemAt(i)->layout(), w) ||
            (placed && Places(placed->layout(), w)))
            return true;
    }
    return false;
}

// Presses OK; true when the dialog closed accepted. Every field is first seen placed by the
// dialog's layout: one left out would be drawn over the others in a corner.
bool PressOk(QDialog& d) {
    for (const QLineEdit* e : d.findChildren<QLineEdit*>())
        QTest::qVerify(Places(d.layout(), e), "Places", qPrintable(e->objectName()), __FILE__,
                       __LINE__);
    Child<QPushButton>(d, 1)->click();  // through the button, as a user does
    return d.result() == QDialog::Accepted;
}

// A portfolio of one daily series "ABC" (file 1: DATE OPEN HIGH LOW CLOSE VOL OI), shown
// by a fake view, with a settings file of its own.
struct Portfolio {
    bt::TempDir tmp;
    QTemporaryDir settingsDir;
    SettingsStore settings;
    ScriptedUiHost host;
    FakeCommandView view;

    explicit Portfolio(const std::vector<std::vector<float>>& rows) {
        qputenv("BARWISE_SETTINGS",
                settingsDir.filePath(QStringLiteral("Barwise.conf")).toLocal8Bit());
        bool created = false;
        settings.OpenBaseKey(created, QString::fromLatin1(kBaseKeyPath));
        bt::WriteDat(tmp.path() / "F1.DAT", 28, rows);
        bt::WriteMaster(tmp.path(),
                        {bt::Entry(1, "ABC", "ABC CORP", 28, 7, rows.front()[0], rows.back()[0])});
        view.portfolioDir = tmp.str();
        view.masterPath = (tmp.path() / "MASTER").string();
        view.symbols.push_back({bt::IdOf(tmp.path(), "ABC"), "ABC", {}});
        view.onRefill = [this](FakeCommandView::Refill, int) { Load(); };
        Load();
    }
    ~Portfolio() { qunsetenv("BARWISE_SETTINGS"); }

    // The fake view shows the selected security's quotes as the file now holds them.
    void Load() {
        const SeriesQuotes s = Quotes();
        view.quotes.clear();
        for (int r = 0; r < s.count(); ++r)
            view.quotes.push_back({r, s.row(r).date, s.row(r).time, s.row(r).values});
    }
    SeriesQuotes Quotes() {
        SeriesQuotes s;
        const SecurityId& id = view.symbols[static_cast<std::size_t>(view.symbolRow)].id;
        [&] { QVERIFY(ReadSeriesQuotes(id, s) == kSuccess); }();
        return s;
    }
    QString Setting(const char* section, const char* key) {
        return settings.GetProfileString(QString::fromLatin1(section), QString::fromLatin1(key),
                                         QStringLiteral("<none>"));
    }
};

// Monday 3 .. Friday 7, then Tuesday 11 January 2000 (Monday 10 missing); a price with
// more decimals than the dialog shows, fractional volume.
std::vector<std::vector<float>> DailyRows() {
    return {{1000103.0f, 10.0f, 11.0f, 9.0f, 10.5f, 1000.0f, 3.0f},
            {1000104.0f, 20.0f, 21.0f, 19.0f, 20.5f, 2000.0f, 3.0f},
            {1000105.0f, 30.0f, 31.0f, 29.0f, 0.00084f, 14.28571f, 3.0f},
            {1000106.0f, 40.0f, 41.0f, 39.0f, 40.5f, 4000.0f, 3.0f},
            {1000107.0f, 50.0f, 51.0f, 49.0f, 50.5f, 5000.0f, 3.0f},
            {1000111.0f, 60.0f, 61.0f, 59.0f, 60.5f, 6000.0f, 3.0f}};
}

}  // namespace

class QuotesTest : public QObject {
    Q_OBJECT
private slots:
    void editControlsTakeWholeTextsOnly();

    void editSession();
    void splitNamesRefusedFieldsThenScalesEarlierQuotes();
    void adjustScalesTheRange();
    void deleteAsksFirst();
    void addProposesTheDayBeforeAndOpensEdit();
    void addToAFullSeriesIsRefused();
    void editWhileAnotherWriterHoldsThePortfolio();
};

// Keys typed or a text pasted into the date field (D) or a number field (N a volume, N- a
// price): the text and the beeps, and for the date field, whose cursor keys are taken and do
// nothing, the selection left (where given).
void QuotesTest::editControlsTakeWholeTextsOnly() {
    const struct {
        const char* control;
        const char* initial;
        int selStart, selEnd;
        const char* text;  // "\b": a backspace
        bool paste;
        const char* expected;
        int beeps, endStart = -1, endLength = 0;
    } rows[] = {
        {"D", "01/01/00", 0, 8, "031599", false, "03/15/99", 0, 0, 2},  // six digits: MM/DD/YY
        {"D", "01/01/1900", 0, 10, "03151928", false, "03/15/1928", 0, 0, 2},  // MM/DD/YYYY
        {"D", "01/01/00", 0, 8, "x", false, "01/01/00", 1, 0, 8},              // a letter beeps
        {"D", "01/01/00", 0, 8, "\b", false, "01/01/00", 1, 0, 8},             // so does backspace
        {"D", "01/01/00", 4, 4, "7", false, "01/71/00", 0, 4, 1},              // between day digits
        {"D", "01/01/00", 5, 5, "7", false, "01/01/00", 1, 0, 2},              // on a separator
        {"D", "01/01/1900", 8, 8, "7", false, "01/01/1900", 1, 6, 4},          // in the long year
        {"D", "01/01/00", 0, 8, "12", true, "12/01/00", 0, 3, 2},         // pasted digits are typed
        {"D", "01/01/00", 0, 8, "2008-05-07", true, "05/07/08", 0},       // ISO into the short form
        {"D", "01/01/00", 0, 8, "05/07/2008\n", true, "05/07/08", 0},     // long into short
        {"D", "01/01/1950", 0, 10, "1949-12-31", true, "12/31/1949", 0},  // ISO into the long
        {"D", "01/01/1950", 0, 10, "03/04/05", true, "03/04/2005", 0},    // short into long
        {"D", "01/01/00", 0, 8, "1950-01-01", true, "01/01/00", 1},  // a year the short form lacks
        {"D", "01/01/00", 0, 8, "20080507", true, "01/01/00", 1},    // digits typed across
        {"D", "01/01/00", 0, 8, "02/30/2020", true, "01/01/00", 1},  // a day that does not exist
        {"D", "01/01/00", 0, 8, "1e40", true, "01/01/00", 1},
        {"N", "", 0, 0, "12.5", false, "12.5", 0},
        {"N", "", 0, 0, "1a2", false, "12", 1},             // a letter beeps
        {"N", "", 0, 0, "-3", false, "3", 1},               // no minus in volume
        {"N-", "", 0, 0, "-3.25", false, "-3.25", 0},       // a leading minus in a price
        {"N-", "", 0, 0, "-3-", false, "-3", 1},            // a second minus refused
        {"N", "", 0, 0, "1.2.3", false, "1.23", 1},         // a second point refused
        {"N", "", 0, 0, "1234.5\r\n", true, "1234.5", 0},   // a paste is taken whole
        {"N", "", 0, 0, "1,234.5x", true, "", 1},           // or refused whole
        {"N", "", 0, 0, "1e40", true, "", 1},               // an exponent is not trimmed away
        {"N", "", 0, 0, "12345678901234567", true, "", 1},  // longer than the field
    };
    for (const auto& r : rows) {
        ScriptedUiHost host;
        CDateEdit date(host);
        CNumberEdit number(host);
        number.setAllowMinus(r.control == std::string_view("N-"));
        number.setMaxLength(16);
        const bool isDate = *r.control == 'D';
        QLineEdit& edit = isDate ? static_cast<QLineEdit&>(date) : number;
        edit.setText(QString::fromLatin1(r.initial));
        edit.setSelection(r.selStart, r.selEnd - r.selStart);
        if (r.paste) {
            QGuiApplication::clipboard()->setText(QString::fromLatin1(r.text));
            QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        } else if (r.text == std::string_view("\b")) {
            QTest::keyClick(&edit, Qt::Key_Backspace);
        } else {
            QTest::keyClicks(&edit, QString::fromLatin1(r.text));
        }
        if (isDate) {
            QTest::keyClick(&edit, Qt::Key_Left);
            QTest::keyClick(&edit, Qt::Key_Delete);
        }
        const int start = edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
        const bool selection =
            r.endStart < 0 || (start == r.endStart && edit.selectedText().size() == r.endLength);
        QVERIFY2(edit.text() == QLatin1String(r.expected) && selection &&
                     host.countBeeps(UiHost::Beep::Default) == r.beeps,
                 qPrintable(QLatin1String(r.text) + QStringLiteral(": ") + edit.text()));
    }
}

// From the newest quote: Next and Last off; First goes to the oldest, losing what was typed;
// a value the files cannot hold keeps the dialog open and names its field; a field left as
// shown keeps the stored value; the shown texts go to the settings.
void QuotesTest::editSession() {
    Portfolio p(DailyRows());
    p.view.quoteRow = 0;
    QStringList seen;
    p.host.onDialog = [&](QDialog& d) {
        auto* next = Child<QPushButton>(d, 1014);
        auto* previous = Child<QPushButton>(d, 1013);
        // Next, Last, Previous: on the newest quote only Previous is on.
        seen << QStringLiteral("%1%2%3")
                    .arg(next->isEnabled())
                    .arg(Child<QPushButton>(d, 1016)->isEnabled())
                    .arg(previous->isEnabled());
        Child<QLineEdit>(d, 1010)->setText(QStringLiteral("99"));
        Child<QPushButton>(d, 1015)->click();  // First
        seen << Child<QLabel>(d, 1006)->text() << QString::number(previous->isEnabled());
        next->click();
        next->click();  // Wednesday 5th: close 0.00084, volume 14.28571
        seen << Child<QLineEdit>(d, 1010)->text();
        auto* volume = Child<QLineEdit>(d, 1011);
        const QString shownVolume = volume->text();
        volume->setText(QStringLiteral("1e39"));
        if (PressOk(d)) return true;
        volume->setText(shownVolume);
        Child<QLineEdit>(d, 1007)->setText(QStringLiteral("-12.5"));
        return PressOk(d);
    };
    CQuoteCommands(p.view, p.host, p.settings).OnQuoteEdit();
    QCOMPARE(seen, (QStringList{"001", "01/03/00", "0", "0.0008"}));
    QCOMPARE(p.host.messageTexts(), QStringList{QStringLiteral("Invalid Data Entered\n\nVolume")});
    const SeriesQuotes s = p.Quotes();
    QCOMPARE(s.quotes[2].values,
             (std::array<float, 6>{-12.5f, 31.0f, 29.0f, 0.00084f, 14.28571f, 3.0f}));
    QCOMPARE(s.quotes[0].values[3], 10.5f);
    QCOMPARE(s.quotes[5].values[3], 60.5f);
    QCOMPARE(p.Setting("Edit", "Close"), QStringLiteral("0.0008"));
    QCOMPARE(p.Setting("Edit", "Vol"), QStringLiteral("14"));
    QCOMPARE(p.Setting("Edit", "Date"), QStringLiteral("01/05/00"));
}

// Old shares of 0, then a 2:1 split that would push a volume past what the files hold: each
// refused naming its field, nothing written; then a 1:2 split scales the quotes before the
// split date only.
void QuotesTest::splitNamesRefusedFieldsThenScalesEarlierQuotes() {
    auto rows = DailyRows();
    rows[0][5] = 1.0e38f;
    Portfolio p(rows);
    p.view.quoteRow = 1;  // Friday 7th: the split date
    const auto before = bt::ReadBytes(p.tmp.path() / "F1.DAT");
    bool unchanged = false;
    p.host.onDialog = [&](QDialog& d) {
        auto* newShares = Child<QLineEdit>(d, 1015);
        auto* oldShares = Child<QLineEdit>(d, 1016);
        oldShares->setText(QStringLiteral("0"));
        if (PressOk(d)) return true;
        oldShares->setText(QStringLiteral("1"));
        newShares->setText(QStringLiteral("2"));
        if (PressOk(d)) return true;
        unchanged = bt::ReadBytes(p.tmp.path() / "F1.DAT") == before && p.view.refills.empty();
        newShares->setText(QStringLiteral("1"));
        oldShares->setText(QStringLiteral("2"));
        return PressOk(d);
    };
    CQuoteCommands(p.view, p.host, p.settings).OnQuoteSplit();
    QCOMPARE(p.host.messageTexts(),
             (QStringList{QStringLiteral("Invalid Data Entered\n\nOld Shares"),
                          QStringLiteral("Invalid Data Entered\n\nNew Shares")}));
    QVERIFY(unchanged);
    const SeriesQuotes s = p.Quotes();
    // The first close and volume, and the split date's close, untouched.
    QCOMPARE(std::make_tuple(s.quotes[0].values[3], s.quotes[0].values[4], s.quotes[4].values[3]),
             std::make_tuple(21.0f, rows[0][5] / 2, 50.5f));
    QCOMPARE(p.Setting("Split", "New") + p.Setting("Split", "Old"), QStringLiteral("12"));
}

// A typed start, a pasted end: the range between scaled, its ends included.
void QuotesTest::adjustScalesTheRange() {
    Portfolio p(DailyRows());
    p.host.onDialog = [&](QDialog& d) {
        auto* from = Child<CDateEdit>(d, 1019);
        from->setSelection(0, 8);
        QTest::keyClicks(from, QStringLiteral("010400"));
        Child<QLineEdit>(d, 1020)->setText(QStringLiteral("01/06/00"));
        Child<QLineEdit>(d, 1022)->setText(QStringLiteral("10"));
        Child<QLineEdit>(d, 1024)->setText(QStringLiteral("2"));
        return PressOk(d);
    };
    CQuoteCommands(p.view, p.host, p.settings).OnQuoteAdjust();
    const SeriesQuotes s = p.Quotes();
    // The closes before, at the start of and after the range, and the open interest at its end.
    QCOMPARE(std::make_tuple(s.quotes[0].values[3], s.quotes[1].values[3], s.quotes[4].values[3],
                             s.quotes[3].values[5]),
             std::make_tuple(10.5f, 205.0f, 50.5f, 6.0f));
    QCOMPARE(p.Setting("Adjust", "Date1"), QStringLiteral("01/04/00"));
}

// No to "Are you sure?" keeps the dialog open; Cancel then changes nothing.
void QuotesTest::deleteAsksFirst() {
    Portfolio p(DailyRows());
    p.host.answers = {UiHost::Answer::No};
    bool cancelled = false;
    p.host.onDialog = [&](QDialog& d) {
        if (PressOk(d)) return true;
        QObject::connect(&d, &QDialog::rejected, [&] { cancelled = true; });
        Child<QPushButton>(d, 2)->click();
        return false;
    };
    CQuoteCommands(p.view, p.host, p.settings).OnQuoteDelete();
    QCOMPARE(std::make_pair(p.Quotes().count(), cancelled), std::make_pair(6, true));
    QCOMPARE(p.host.messageTexts().value(0),
             QStringLiteral("You are about to delete the data for date\n01/11/00\nAre you sure?"));
    CQuoteCommands(p.view, p.host, p.settings).OnQuoteDelete();
    QCOMPARE(p.Quotes().count(), 5);
    QCOMPARE(p.Setting("Delete", "Date"), QStringLiteral("01/11/00"));
}

// Add on Tuesday 11th proposes the missing Monday 10th and opens Edit on the copy. (Where
// the day before is held already is the add plan's test, and the CLI's refusal table's.)
void QuotesTest::addProposesTheDayBeforeAndOpensEdit() {
    Portfolio p(DailyRows());
    p.view.quoteRow = 0;
    QStringList shown;
    p.host.onDialog = [&](QDialog& d) {
        shown << Child<QLabel>(d, d.objectName() == QLatin1String("dlg136") ? 1043 : 1006)->text();
        return d.objectName() == QLatin1String("dlg136") && PressOk(d);
    };
    CQuoteCommands(p.view, p.host, p.settings).OnQuoteAdd();
    QCOMPARE(shown, (QStringList{QStringLiteral("01/10/00"), QStringLiteral("01/10/00")}));
    const SeriesQuotes s = p.Quotes();
    QCOMPARE(std::make_tuple(s.count(), s.quotes[5].date, s.quotes[5].values),
             std::make_tuple(7, MakeDate(2000, 1, 10), s.quotes[6].values));
    QCOMPARE(p.view.refills.back().second, 1);
    QCOMPARE(p.Setting("Add", "Date"), QStringLiteral("01/10/00"));
}

// A series that holds all a data file can is told so before any dialog, and keeps its file.
void QuotesTest::addToAFullSeriesIsRefused() {
    Portfolio p(std::vector<std::vector<float>>(kMaxQuotesPerFile, {1000110.0f, 1, 1, 1, 1, 1, 1}));
    const auto before = bt::ReadBytes(p.tmp.path() / "F1.DAT");
    p.view.quoteRow = 0;
    CQuoteCommands(p.view, p.host, p.settings).OnQuoteAdd();
    QCOMPARE(p.host.messageTexts(), QStringList{QString::fromLatin1(kSeriesFullMessage.data())});
    QVERIFY(p.host.dialogs.empty());
    QCOMPARE(bt::ReadBytes(p.tmp.path() / "F1.DAT"), before);
}

// Another writer holds the portfolio: the user is told, nothing is written or remembered.
void QuotesTest::editWhileAnotherWriterHoldsThePortfolio() {
    Portfolio p(DailyRows());
    const auto before = bt::ReadBytes(p.tmp.path() / "F1.DAT");
    SetPortfolioLockWait(std::chrono::milliseconds(100));
    std::atomic<bool> holding{false}, done{false};
    std::thread other([&] {
        const PortfolioLock lock(p.tmp.str());
        holding = true;
        while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    p.host.onDialog = [&](QDialog& d) {
        Child<QLineEdit>(d, 1010)->setText(QStringLiteral("99"));
        return PressOk(d);
    };
    CQuoteCommands(p.view, p.host, p.settings).OnQuoteEdit();
    done = true;
    other.join();
    SetPortfolioLockWait(std::chrono::milliseconds(5000));
    QCOMPARE(bt::ReadBytes(p.tmp.path() / "F1.DAT"), before);
    QCOMPARE(p.host.messageTexts().size(), 1);
    QVERIFY(p.host.messageTexts().front().contains(
        QStringLiteral("another program is changing this portfolio")));
    QCOMPARE(p.Setting("Edit", "Close"), QStringLiteral("<none>"));
}

QTEST_MAIN(QuotesTest)
#include "quotes_test.moc"
