// The Import dialog on the demo: the preview and its column mapping, the date form chosen
// where the file cannot tell it, Check writing nothing, Import writing and saying so.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest>

#include "datafiles/master.h"
#include "demo/demodb.h"
#include "import/importdlg.h"
#include "testsupport/tempdir.h"
#include "ui/scripteduihost.h"

using namespace barwise;

class ImportDialogTest : public QObject {
    Q_OBJECT
private:
    testing::TempDir m_root;
    std::string m_stocks;
    SecurityId m_acme;

    QString Write(const char* name, const std::string& text) {
        const fs::path p = m_root.path() / name;
        testing::WriteText(p, text);
        return QString::fromStdString(p.string());
    }
    static QString Summary(CImportDlg& d) {
        return d.findChild<QPlainTextEdit*>("summary")->toPlainText();
    }
    static QString Status(CImportDlg& d) { return d.findChild<QLabel*>("previewStatus")->text(); }
    static QTableWidget* Preview(CImportDlg& d) { return d.findChild<QTableWidget*>("preview"); }
    static void Click(CImportDlg& d, const char* name) { d.findChild<QPushButton*>(name)->click(); }

private slots:
    void initTestCase() {
        QVERIFY(WriteDemoDatabase(m_root.path() / "demo", false).status == kSuccess);
        m_stocks = (m_root.path() / "demo" / "STOCKS").string();
        MasterRecord r;
        QCOMPARE(FindSymbol(m_stocks, "ACME", r, m_acme), kSuccess);
    }

    void previewShowsEachRowAsRead() {
        ScriptedUiHost host;
        CImportDlg d(host, m_stocks, m_acme, QStringLiteral("ACME"));
        d.AddFiles({Write("day.csv", "Symbol,Date,Close\nACME,20300102,5\nBOLT,20300230,6\n")});
        QTableWidget* t = Preview(d);
        QCOMPARE(t->columnCount(), 4);  // three fields and "Read as"
        // The first row maps the fields; the "Read as" column says how each line is read.
        QCOMPARE(qobject_cast<QComboBox*>(t->cellWidget(0, 0))->currentText(),
                 QStringLiteral("symbol"));
        QCOMPARE(t->item(1, 3)->text(), QStringLiteral("title row"));
        QVERIFY(t->item(2, 3)->text().contains(QStringLiteral("01/02/2030")));
        QVERIFY(t->item(3, 3)->text().startsWith(QStringLiteral("bad")));
        QVERIFY(Status(d).contains(QStringLiteral("bad line")));
        // The mapping changed by the user holds for the import: the third field left out.
        qobject_cast<QComboBox*>(t->cellWidget(0, 2))->setCurrentText(QStringLiteral("skip"));
        QCOMPARE(ColumnListText(d.Format().columns), std::string("symbol,date,skip"));
        QVERIFY(Status(d).contains(QStringLiteral("no column holds a price")));
    }

    void anAmbiguousDateFormWaitsForTheUsersChoice() {
        ScriptedUiHost host;
        CImportDlg d(host, m_stocks, m_acme, QStringLiteral("ACME"));
        d.AddFiles({Write("amb.csv", "Date,Close\n01/02/2031,1\n03/04/2031,2\n")});
        QVERIFY(Status(d).contains(QStringLiteral("choose the date form")));
        Click(d, "check");
        QVERIFY(Summary(d).contains(QStringLiteral("choose the date form")));
        d.findChild<QComboBox*>("dateForm")->setCurrentText(QStringLiteral("DD/MM/YYYY"));
        QVERIFY(Status(d).contains(QStringLiteral("DD/MM/YYYY")));
        QVERIFY(Preview(d)->item(2, 2)->text().contains(QStringLiteral("02/01/2031")));
    }

    // The files come from the file dialog and can be taken off the list again; Check writes
    // nothing, Import writes and says so.
    void checkWritesNothingAndImportWrites() {
        ScriptedUiHost host;
        host.openAnswer = {Write("other.csv", "DATE,CLOSE\n2032-01-05,9\n"),
                           Write("acme.csv", "DATE,CLOSE\n2032-01-05,5\n2032-01-06,6\n")};
        CImportDlg d(host, m_stocks, m_acme, QStringLiteral("ACME"));
        auto* files = d.findChild<QListWidget*>("importFiles");
        QVERIFY(!d.findChild<QPushButton*>("import")->isEnabled());
        Click(d, "addFiles");
        QCOMPARE(files->count(), 2);
        QVERIFY(d.findChild<QPushButton*>("import")->isEnabled());
        Click(d, "removeFile");
        QCOMPARE(files->count(), 1);
        const auto acme = [&] {
            return ReadWholeFile(SeriesFilePath(m_stocks, m_acme.fileNumber, "DAT"));
        };
        const auto before = acme();
        Click(d, "check");
        QVERIFY2(Summary(d).contains(QStringLiteral("2 to add")), qPrintable(Summary(d)));
        QVERIFY(acme() == before && !d.Written());
        Click(d, "import");
        QVERIFY2(Summary(d).contains(QStringLiteral("2 added")), qPrintable(Summary(d)));
        QVERIFY(acme() != before && d.Written());
    }

    void newSecuritiesOnlyWhenAsked() {
        ScriptedUiHost host;
        CImportDlg d(host, m_stocks, std::nullopt, QString());
        QVERIFY(!d.findChild<QRadioButton*>("intoSelected")->isEnabled());
        d.AddFiles({Write("newco.csv", "<TICKER>,<DATE>,<CLOSE>\nNEWCO,20300102,5\n")});
        Click(d, "import");
        QVERIFY2(Summary(d).contains(QStringLiteral("not in the portfolio")),
                 qPrintable(Summary(d)));
        d.findChild<QCheckBox*>("create")->setChecked(true);
        Click(d, "import");
        QVERIFY2(Summary(d).contains(QStringLiteral("new security")), qPrintable(Summary(d)));
        MasterRecord r;
        SecurityId id;
        QCOMPARE(FindSymbol(m_stocks, "NEWCO", r, id), kSuccess);
    }
};

QTEST_MAIN(ImportDialogTest)
#include "importdlg_test.moc"
