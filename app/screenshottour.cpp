#include "app/screenshottour.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "app/barwiseview.h"
#include "app/commandids.h"
#include "app/gridmodels.h"
#include "app/mainframe.h"
#include "app/portfoliopane.h"
#include "chart/chartwidget.h"
#include "commands/quotes/quotedialogs.h"
#include "import/importdlg.h"

namespace {

struct Shot {
    int command;  // 0: the main window itself
    const char* file;
};

constexpr Shot kShots[] = {
    {0, "main-window.png"},
    {barwise::kCmdSymbolAbout, "data-facts.png"},
    {barwise::kCmdAppAbout, "about-box.png"},
    {barwise::kCmdSearchFilter, "search-filter.png"},
    {barwise::kCmdSymbolEdit, "symbol-edit.png"},
    {barwise::kCmdSymbolDelete, "symbol-delete.png"},
    {barwise::kCmdSymbolMove, "symbol-move.png"},
    {barwise::kCmdSymbolCopy, "symbol-copy.png"},
    {barwise::kCmdSplitSearch, "split-search.png"},
    {barwise::kCmdPortfolioCheck, "portfolio-check.png"},
    {barwise::kCmdQuoteEdit, "quote-edit.png"},
    {barwise::kCmdQuoteSplit, "quote-split.png"},
    {barwise::kCmdQuoteAdjust, "quote-adjust.png"},
    {barwise::kCmdQuoteDelete, "quote-delete.png"},
    {barwise::kCmdQuoteAdd, "quote-add.png"},
    {barwise::kCmdExport, "export.png"},
    {barwise::kCmdImport, "import.png"},
};

void Save(QWidget* widget, const QString& folder, const char* file) {
    if (widget) widget->grab().save(QDir(folder).filePath(QString::fromLatin1(file)));
}

// The chart on the demo's portfolios: a security by the end of its portfolio's path and
// its symbol; a split is pictured with the split search's candidates marked.
struct ChartShot {
    const char* portfolio;
    const char* symbol;
    const char* file;
    bool splitSearch;
};

constexpr ChartShot kChartShots[] = {
    {"STOCKS", "GLBX", "chart-daily.png", false},
    {"HISTORY", "CLBA", "chart-negative-prices.png", false},
    {"FUTURES", "ESM", "chart-intraday.png", false},
    {"HISTORY", "IDX28", "chart-1928.png", false},
    {"STOCKS", "ACME", "chart-split.png", true},
};

void TakeChartShot(CMainFrame* frame, QString folder, std::size_t index) {
    if (index >= std::size(kChartShots)) {
        frame->close();
        return;
    }
    const ChartShot& shot = kChartShots[index];
    QListWidget* portfolios = frame->View().PortfolioPane().PortfolioList();
    for (int i = 0; i < portfolios->count(); ++i)
        if (portfolios->item(i)->text().endsWith(QLatin1String(shot.portfolio))) {
            if (portfolios->currentRow() != i) portfolios->setCurrentRow(i);
            break;
        }
    const auto& symbols = frame->View().SymbolModel();
    for (int r = 0; r < symbols.rowCount(); ++r)
        if (symbols.row(r).symbol == shot.symbol) {
            frame->View().SymbolGrid()->selectRow(r);
            frame->View().SettleSelection();
            break;
        }
    frame->Chart().Model().fitAll();
    if (shot.splitSearch) {
        frame->Action(barwise::kCmdSplitSearch)->trigger();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("dlg109"))
                if (auto* search = w->findChild<QPushButton*>(QStringLiteral("ctl1024")))
                    search->click();
    }
    QTimer::singleShot(
        400, frame, [frame, folder, index, split = shot.splitSearch, file = shot.file] {
            Save(frame, folder, file);
            if (split)
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* window = qobject_cast<QDialog*>(w);
                        window && window->objectName() == QLatin1String("dlg109"))
                        window->reject();
            QTimer::singleShot(200, frame,
                               [frame, folder, index] { TakeChartShot(frame, folder, index + 1); });
        });
}

void TakeShot(CMainFrame* frame, QString folder, std::size_t index) {
    if (index >= std::size(kShots)) {
        TakeChartShot(frame, folder, 0);
        return;
    }
    const Shot& shot = kShots[index];
    if (shot.command == 0) {
        Save(frame, folder, shot.file);
    } else if (shot.command == barwise::kCmdSplitSearch) {
        // A window beside the main one: search the portfolio shown, picture it, close it.
        frame->Action(shot.command)->trigger();
        QTimer::singleShot(200, frame, [folder, file = shot.file] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* window = qobject_cast<QDialog*>(w);
                if (!window || window->objectName() != QLatin1String("dlg109")) continue;
                if (auto* search = window->findChild<QPushButton*>(QStringLiteral("ctl1024")))
                    search->click();
                Save(window, folder, file);
                window->reject();
            }
        });
    } else if (shot.command == barwise::kCmdPortfolioCheck) {
        // The Check window beside the main one: check the portfolio shown, picture it, close it.
        frame->Action(shot.command)->trigger();
        QTimer::singleShot(200, frame, [folder, file = shot.file] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* window = qobject_cast<QDialog*>(w);
                if (!window || window->objectName() != QLatin1String("checkPortfolio")) continue;
                if (auto* check = window->findChild<QPushButton*>(QStringLiteral("check")))
                    check->click();
                Save(window, folder, file);
                window->reject();
            }
        });
    } else if (shot.command == barwise::kCmdQuoteAdd) {
        // The demo's quotes lie on every weekday, so Add on any of them says the day before
        // exists: the dialog is pictured as it would show the day before the newest quote.
        const auto quote = frame->View().SelectedQuote();
        const QString date = QString::fromStdString(barwise::FormatDateMdy(
            barwise::PreviousWeekday(quote ? quote->date : barwise::MakeDate(2024, 7, 2))));
        auto dialog = std::make_shared<CAddQuoteDlg>(date, frame);
        dialog->show();
        QTimer::singleShot(200, frame, [dialog, folder, file = shot.file] {
            Save(dialog.get(), folder, file);
            dialog->close();
        });
    } else if (shot.command == barwise::kCmdImport) {
        // The dialog with a day file of the portfolio's symbols (a day after the demo's
        // last), checked: the preview and what an import would do.
        auto dir = std::make_shared<QTemporaryDir>();
        const QString file = dir->filePath(QStringLiteral("day.csv"));
        {
            std::ofstream out(QFile::encodeName(file).toStdString(), std::ios::binary);
            out << "<TICKER>,<DATE>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>\r\n";
            for (const barwise::SymbolSelection& s : frame->View().Symbols())
                if (!s.symbol.empty())
                    out << s.symbol << ",20300102,10.5,11.25,10.25,11,125000\r\n";
            out << "NEWCO,20300102,5,5.5,4.75,5.25,98000\r\n";
        }
        auto dialog = std::make_shared<CImportDlg>(frame->Host(), frame->View().PortfolioDir(),
                                                   std::nullopt, QString(), frame);
        dialog->AddFiles({file});
        dialog->show();
        QTimer::singleShot(200, frame, [dialog, dir, folder, file = shot.file] {
            if (auto* check = dialog->findChild<QPushButton*>(QStringLiteral("check")))
                check->click();
            Save(dialog.get(), folder, file);
            dialog->close();
        });
    } else {
        // The dialog runs modally; picture it once it is up, then close it.
        QTimer::singleShot(600, frame, [folder, file = shot.file] {
            QWidget* dialog = QApplication::activeModalWidget();
            Save(dialog, folder, file);
            if (dialog) dialog->close();
        });
        frame->Action(shot.command)->trigger();
    }
    QTimer::singleShot(300, frame, [frame, folder, index] { TakeShot(frame, folder, index + 1); });
}

}  // namespace

void StartScreenshotTour(CMainFrame& frame, const QString& folder) {
    QDir().mkpath(folder);
    // Once the first search has ended, show the second portfolio (the demo's stocks), then
    // start.
    QTimer::singleShot(2000, &frame, [f = &frame, folder] {
        QListWidget* portfolios = f->View().PortfolioPane().PortfolioList();
        if (portfolios->count() > 1) portfolios->setCurrentRow(1);
        QTimer::singleShot(500, f, [f, folder] { TakeShot(f, folder, 0); });
    });
}
