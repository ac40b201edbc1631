// The look of the symbols and quotes grids, and the column widths the user leaves them.
#pragma once

#include <QElapsedTimer>
#include <memory>

class QProgressBar;
class QStatusBar;
class QTableView;
class QWidget;

namespace barwise {
class SettingsStore;
}

// A grid as the view shows one: whole rows, one at a time, read-only, no row header.
QTableView* MakeGrid(QWidget* parent, const char* objectName);

// Sets the grids' column widths from the settings (the defaults fit the grids' widths);
// called once the grids have their size.
void RestoreColumnWidths(QTableView* symbols, QTableView* quotes, barwise::SettingsStore& settings);
// Keeps the grids' column widths in the settings (one write of the file).
void StoreColumnWidths(const QTableView* symbols, const QTableView* quotes,
                       barwise::SettingsStore& settings);

// The progress of a quotes fill: a bar over the status bar's first pane while the quotes
// load, gone with the object. Without a status bar or quotes it shows nothing.
class LoadProgress {
public:
    // The bar moves in steps of this many quotes, at most once per interval: each change
    // repaints it at once, and a few changes a second are enough.
    static constexpr int kStep = 10;
    static constexpr int kIntervalMs = 40;

    LoadProgress(QStatusBar* statusBar, QWidget* firstPane, int total);
    ~LoadProgress();
    LoadProgress(const LoadProgress&) = delete;
    LoadProgress& operator=(const LoadProgress&) = delete;

    void show(int loaded);

private:
    std::unique_ptr<QProgressBar> m_bar;
    QElapsedTimer m_sinceShown;
};
