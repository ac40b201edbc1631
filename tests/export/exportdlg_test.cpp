// Quotes > Export through the scripted UiHost: the text written for the dialog's choices,
// the overwrite question, failures that leave no file, and the settings kept only after an
// export that succeeded.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "discovery/symbollist.h"
#include "export/exportdlg.h"
#include "testsupport/testdb.h"
#include "ui/fakecommandview.h"
#include "ui/scripteduihost.h"
#include "ui/settingsstore.h"

using namespace barwise;
namespace bt = barwise::testing;

namespace {

template <class T>
T* Child(QDialog& d, const QString& name) {
    return d.findChild<T*>(name);
}
QString Ctl(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

// "ABC": two daily quotes, all seven fields; "TICK": intraday, DATE TIME CLOSE VOL only.
struct Fixture {
    bt::TempDir tmp;
    QTemporaryDir settingsDir;
    SettingsStore settings;
    ScriptedUiHost host;
    FakeCommandView view;
    QString out;

    Fixture() {
        qputenv("BARWISE_SETTINGS",
                settingsDir.filePath(QStringLiteral("Barwise.conf")).toLocal8Bit());
        bool created = false;
        settings.OpenBaseKey(created, QString::fromLatin1(kBaseKeyPath));
        bt::WriteDat(tmp.path() / "F1.DAT", 28,
                     {{990315.0f, 12.5f, 13.0f, 12.25f, 12.875f, 1500.0f, 3.0f},
                      {990316.0f, -1.5f, 2.0f, 1.0f, 0.00084f, 14.28571f, 4.0f}});
        bt::WriteDat(
            tmp.path() / "F2.DAT", 16,
            {{1131115.0f, 90500.0f, 8.65f, 1713.0f}, {1131115.0f, 91500.0f, 8.59f, 296.0f}});
        bt::WriteText(tmp.path() / "F2.DOP",
                      "\"DATE\",0,0\n\"TIME\",0,0\n\"CLOSE\",2,2\n\"VOL\",0,0\n");
        bt::WriteMaster(tmp.path(),
                        {bt::Entry(1, "ABC", "ABC CORP", 28, 7, 990315.0f, 990316.0f),
                         bt::Entry(2, "TICK", "TICKS", 16, 4, 1131115.0f, 1131115.0f, 'I')});
        for (const SymbolRow& row : ListSymbols(tmp.path() / "MASTER").rows)
            view.symbols.push_back({row.id, row.symbol, row.name});
        out = QString::fromStdString((tmp.path() / "out.txt").string());
    }
    ~Fixture() { qunsetenv("BARWISE_SETTINGS"); }
    QByteArray Written() {
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }
    QString Starter() {
        return settings.GetProfileString(QStringLiteral("XportSel"), QStringLiteral("Starter"),
                                         QStringLiteral("<none>"));
    }
};

}  // namespace

class ExportDlgTest : public QObject {
    Q_OBJECT
private slots:
    void exportText_data();
    void exportText();
    void choicesComeBackFromTheSettings();
    void overwriteQuestionAndFailuresWriteNothing();
};

void ExportDlgTest::exportText_data() {
    QTest::addColumn<int>("symbol");
    QTest::addColumn<QStringList>("ticks");  // object names of boxes and buttons to tick
    QTest::addColumn<int>("dateFormat");
    QTest::addColumn<QByteArray>("expected");
    // Every choice of the dialog reaches the text: the delimiter, the columns left out, the
    // order, the title, the precision, the date format and, for an intraday series only,
    // the time (with N/A for the fields it lacks).
    // Boxes 1047 to 1052 leave out OPEN, HIGH, CLOSE, LOW, VOL and OI.
    const QString full = QStringLiteral("fullPrecision"), time = QStringLiteral("includeTime");
    QTest::newRow("daily, comma, newest first, title, full precision, ISO dates")
        << 0 << QStringList{Ctl(1010), Ctl(1013), Ctl(1053), Ctl(1048),
                            Ctl(1049), Ctl(1051), Ctl(1052), full}
        << 1 << QByteArray("DATE,OPEN,LOW\r\n1999-03-16,-1.5,1\r\n1999-03-15,12.5,12.25\r\n");
    QTest::newRow("intraday, tab, title, time")
        << 1 << QStringList{Ctl(1011), time, Ctl(1053), Ctl(1047), Ctl(1050)} << 0
        << QByteArray(
               "DATE\tTIME\tHIGH\tCLOSE\tVOL\tOI\r\n"
               "11/15/13\t09:05:00\tN/A\t8.6500\t1713.00\tN/A\r\n"
               "11/15/13\t09:15:00\tN/A\t8.5900\t296.00\tN/A\r\n");
}

void ExportDlgTest::exportText() {
    QFETCH(int, symbol);
    QFETCH(QStringList, ticks);
    QFETCH(int, dateFormat);
    QFETCH(QByteArray, expected);
    Fixture f;
    f.view.symbolRow = symbol;
    bool timeOffered = false;
    f.host.onDialog = [&](QDialog& d) {
        Child<QLineEdit>(d, Ctl(1007))->setText(f.out);
        timeOffered = Child<QCheckBox>(d, QStringLiteral("includeTime"))->isEnabled();
        for (const QString& name : ticks) Child<QAbstractButton>(d, name)->setChecked(true);
        Child<QComboBox>(d, QStringLiteral("dateFormat"))->setCurrentIndex(dateFormat);
        return true;
    };
    QCOMPARE(f.Starter(), QStringLiteral("<none>"));
    OnExport(f.view, f.host, f.settings);
    QCOMPARE(f.Written(), expected);
    QCOMPARE(timeOffered, symbol == 1);
    QVERIFY(f.host.messages.empty());
    QCOMPARE(f.host.countBeeps(UiHost::Beep::Asterisk), 1);
    QCOMPARE(f.Starter(), f.out);
}

void ExportDlgTest::choicesComeBackFromTheSettings() {
    Fixture f;
    // Delimiter 7 is not a choice: a blank.
    for (const auto& [key, value] : {std::pair{"Delim", 7}, {"OmitLow", 1}, {"DateFormat", 1}})
        f.settings.WriteProfileInt(QStringLiteral("XportSel"), QString::fromLatin1(key), value);
    f.host.saveAnswer = f.out;
    QStringList seen;
    f.host.onDialog = [&](QDialog& d) {
        if (Child<QRadioButton>(d, Ctl(1009))->isChecked()) seen << QStringLiteral("space");
        if (Child<QCheckBox>(d, Ctl(1050))->isChecked()) seen << QStringLiteral("omit low");
        if (Child<QComboBox>(d, QStringLiteral("dateFormat"))->currentIndex() == 1)
            seen << QStringLiteral("iso");
        seen << Child<QLineEdit>(d, Ctl(1007))->text();
        Child<QPushButton>(d, Ctl(1008))->click();  // Browse: the chosen path fills the field
        return true;
    };
    OnExport(f.view, f.host, f.settings);
    QCOMPARE(seen, (QStringList{QStringLiteral("space"), QStringLiteral("omit low"),
                                QStringLiteral("iso"), QStringLiteral("output.txt")}));
    QCOMPARE(f.Written(), QByteArray("1999-03-15 12.5000 13.0000 12.8750 1500.00 3.00\r\n"
                                     "1999-03-16 -1.5000 2.0000 0.0008 14.29 4.00\r\n"));
    QCOMPARE(f.settings.GetProfileInt(QStringLiteral("XportSel"), QStringLiteral("Delim"), -1), 0);
}

void ExportDlgTest::overwriteQuestionAndFailuresWriteNothing() {
    Fixture f;
    QString target;
    f.host.onDialog = [&](QDialog& d) {
        Child<QLineEdit>(d, Ctl(1007))->setText(target);
        return true;
    };
    // An existing file: No keeps it as it was.
    bt::WriteText(f.out.toStdString(), "earlier");
    target = f.out;
    f.host.answers = {UiHost::Answer::No};
    OnExport(f.view, f.host, f.settings);
    QCOMPARE(f.host.messageTexts(),
             QStringList{f.out +
                         QStringLiteral("\nThis file already exists\n\nReplace existing file?")});
    QCOMPARE(f.Written(), QByteArray("earlier"));

    // Files that cannot be written: "file export error", nothing left behind, no settings.
    const QString missingDir =
        QString::fromStdString((f.tmp.path() / "no" / "such" / "out.txt").string());
    for (const QString& bad : {QString(), missingDir, QStringLiteral("/dev/full")}) {
        f.host.messages.clear();
        target = bad;
        OnExport(f.view, f.host, f.settings);
        // (/dev/full exists: the overwrite question comes first.)
        QCOMPARE(f.host.messageTexts().value(f.host.messageTexts().size() - 1),
                 QStringLiteral("file export error"));
        QVERIFY(!QFile::exists(missingDir));
    }
    // A quote-data file is never written over.
    f.host.messages.clear();
    target = QString::fromStdString((f.tmp.path() / "F1.DAT").string());
    const auto before = bt::ReadBytes(f.tmp.path() / "F1.DAT");
    OnExport(f.view, f.host, f.settings);
    QCOMPARE(f.host.messages.size(), std::size_t{1});
    QCOMPARE(bt::ReadBytes(f.tmp.path() / "F1.DAT"), before);
    QCOMPARE(f.Starter(), QStringLiteral("<none>"));
    QCOMPARE(f.host.countBeeps(UiHost::Beep::Asterisk), 0);
}

QTEST_MAIN(ExportDlgTest)
#include "exportdlg_test.moc"
