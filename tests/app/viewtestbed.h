// A main window on a temporary tree of portfolios, with its own settings file and a
// scripted UiHost; the drive list holds the tree's root alone.
#pragma once

#include <QAbstractItemModelTester>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/barwiseview.h"
#include "app/gridmodels.h"
#include "app/mainframe.h"
#include "app/portfoliopane.h"
#include "demo/demodb.h"
#include "testsupport/dailyseries.h"
#include "testsupport/tempdir.h"
#include "ui/scripteduihost.h"
#include "ui/settingsstore.h"

// A daily series of `count` quotes from 3 January 2000, one per day; quote i opens at
// 10 + i / 4.
inline barwise::DemoSeries MakeSeries(int fileNumber, const std::string& symbol,
                                      const std::string& name, int count, int recordLength = 28) {
    const auto quote = [](int i) {
        const float n = static_cast<float>(i), open = 10.0f + n / 4;
        return barwise::DemoQuote{0, 0, open, open + 1, open - 1, open + 0.5f, 1000 + n, 500 + n};
    };
    return barwise::testing::DailySeries(fileNumber, symbol, name, recordLength,
                                         barwise::MakeDate(2000, 1, 3), count, quote);
}

class ViewTestbed {
public:
    ViewTestbed() {
        root = tree.path().toStdString();
        qputenv("BARWISE_SETTINGS",
                settingsDir.filePath(QStringLiteral("Barwise.conf")).toLocal8Bit());
        qputenv("BARWISE_WINDIR", settingsDir.path().toLocal8Bit());
        qputenv("BARWISE_HISTORY_DIR",
                settingsDir.filePath(QStringLiteral("history")).toLocal8Bit());
        settings = std::make_unique<barwise::SettingsStore>();
        bool createdNew = false;
        settings->OpenBaseKey(createdNew, QString::fromLatin1(barwise::kBaseKeyPath));
        // Search the whole tree.
        settings->WriteProfileInt(QStringLiteral("Search"), QStringLiteral("Limit"), 0);
    }
    ~ViewTestbed() {
        symbolTester.reset();
        quoteTester.reset();
        frame.reset();
        settings.reset();
        qunsetenv("BARWISE_SETTINGS");
        qunsetenv("BARWISE_WINDIR");
        qunsetenv("BARWISE_HISTORY_DIR");
    }

    // The path of a directory below the tree's root.
    std::string dir(const std::string& relative) const { return root + "/" + relative; }

    bool addPortfolio(const std::string& relative, const std::vector<barwise::DemoSeries>& series) {
        return barwise::WritePortfolio(dir(relative), {{}, series, {}});  // no <DIR> records
    }

    // Shows the main window and waits until its first search has ended (with a beep).
    bool start() {
        host.beeps.clear();
        symbolTester.reset();
        quoteTester.reset();
        frame = std::make_unique<CMainFrame>(*settings, host);
        view().PortfolioPane().SetDriveLister([r = root] {
            return std::vector<barwise::Drive>{{r, r}};
        });
        symbolTester = std::make_unique<QAbstractItemModelTester>(
            &view().SymbolModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        quoteTester = std::make_unique<QAbstractItemModelTester>(
            &view().QuoteModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        frame->resize(1000, 760);
        frame->show();
        const bool searched = QTest::qWaitFor([this] { return !host.beeps.empty(); }, 5000);
        QCoreApplication::processEvents();  // the command states follow at once
        return searched;
    }

    CBarwiseView& view() { return frame->View(); }
    barwise::SymbolGridModel& symbols() { return view().SymbolModel(); }
    barwise::QuoteGridModel& quotes() { return view().QuoteModel(); }
    // The texts of one column of a grid, top to bottom.
    static QStringList column(const QAbstractItemModel& m, int c) {
        QStringList out;
        for (int r = 0; r < m.rowCount(); ++r) out << m.data(m.index(r, c)).toString();
        return out;
    }
    QStringList symbolColumn() { return column(symbols(), 0); }
    QStringList quoteColumn(int c) { return column(quotes(), c); }
    // Lets the frame follow the view's StateChanged (the command states and the panes are
    // brought up to date only through it).
    void settle() { QCoreApplication::processEvents(); }
    bool enabled(int id) {
        settle();
        return frame->Action(id)->isEnabled();
    }

    QTemporaryDir tree;
    QTemporaryDir settingsDir;
    std::string root;
    ScriptedUiHost host;
    std::unique_ptr<barwise::SettingsStore> settings;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<QAbstractItemModelTester> symbolTester;
    std::unique_ptr<QAbstractItemModelTester> quoteTester;
};

inline QByteArray ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Selects a symbols-grid row as a click does and shows its quotes.
inline void ShowRow(ViewTestbed& t, int row) {
    t.view().SymbolGrid()->selectRow(row);
    t.view().SettleSelection();
    t.settle();
}

// A dialog callback that sets the line edit `control` (when the dialog has it) and presses OK.
inline std::function<bool(QDialog&)> TypeAndAccept(const char* control, const QString& text) {
    return [control, text](QDialog& d) {
        if (auto* edit = d.findChild<QLineEdit*>(QString::fromLatin1(control))) edit->setText(text);
        d.accept();
        return d.result() == QDialog::Accepted;
    };
}

// Presses the dialog's OK button; true when it closed accepted.
inline bool ClickOk(QDialog& d) {
    d.findChild<QPushButton*>(QStringLiteral("ctl1"))->click();
    return d.result() == QDialog::Accepted;
}

// Clicks the middle of a grid cell, as the user does.
inline void ClickCell(QTableView* grid, int row, int column = 0) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, column)).center());
}

inline QString Joined(const QStringList& texts) {
    return texts.join(QLatin1Char('|'));
}
