// The look of the symbols and quotes grids, and the column widths the user leaves them.
#pragma once

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
void StoreColumnWidths(const QTableView* symbols, const QTableView* quotes, barwise::SettingsStore& settings);
