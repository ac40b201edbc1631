// Edit > Undo and Edit > Redo in the window: they act on the history of the portfolio the
// view shows, which the command line shares.
#pragma once

#include <QString>
#include <string>

namespace barwise {
class CommandView;
class UiHost;

// The menu texts of Undo and Redo for the portfolio `directory` ("&Undo Split of ACME from
// 02/05/20"; "&Undo" alone when there is nothing to undo) and whether each can be done.
struct UndoMenuState {
    QString undoText = QStringLiteral("&Undo");
    QString redoText = QStringLiteral("&Redo");
    bool canUndo = false;
    bool canRedo = false;
};
UndoMenuState UndoMenuStateFor(const std::string& directory);

// Takes back (redo: does again) the change the menu names, says why when it cannot, and
// shows the portfolio's files as they are now.
void OnUndo(CommandView& view, UiHost& host, bool redo);

}  // namespace barwise
