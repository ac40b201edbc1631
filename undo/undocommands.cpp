#include "undo/undocommands.h"

#include <algorithm>

#include "ui/commandview.h"
#include "ui/uihost.h"
#include "undo/history.h"

namespace barwise {

namespace {

// A label as a menu shows it: an ampersand is no mnemonic.
QString MenuText(const char* verb, const std::string& label) {
    QString text = QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QString::fromLatin1(verb) + QLatin1Char(' ') + text;
}

}  // namespace

UndoMenuState UndoMenuStateFor(const std::string& directory) {
    UndoMenuState state;
    if (directory.empty()) return state;
    const UndoHistory history(directory);
    if (const auto undo = history.nextUndo()) {
        state.canUndo = true;
        state.undoText = MenuText("&Undo", undo->label);
    }
    if (const auto redo = history.nextRedo()) {
        state.canRedo = true;
        state.redoText = MenuText("&Redo", redo->label);
    }
    return state;
}

void OnUndo(CommandView& view, UiHost& host, bool redo) {
    const std::string directory = view.PortfolioDir();
    if (directory.empty()) return;
    const int symbolRow = std::max(view.SelectedSymbolRow(), 0);
    const auto quote = view.SelectedQuote();
    UndoOutcome outcome;
    {
        WaitCursor wait(host);
        UndoHistory history(directory);
        outcome = redo ? history.redo() : history.undo();
    }
    if (outcome.end != UndoOutcome::End::kDone) {
        const std::string text = outcome.message(redo);
        const bool refused = outcome.end == UndoOutcome::End::kRefused ||
                             outcome.end == UndoOutcome::End::kBusy ||
                             outcome.end == UndoOutcome::End::kNothing;
        host.messageBox(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                        UiHost::Buttons::Ok, refused ? UiHost::Icon::Warning : UiHost::Icon::Stop);
        if (outcome.end != UndoOutcome::End::kIncomplete) return;
    }
    // Symbols may have come back or gone: the list is read again, then the quotes.
    view.RefillSymbols(symbolRow);
    if (symbolRow >= view.SymbolCount() && view.SymbolCount() > 0)
        view.RefillSymbols(view.SymbolCount() - 1);
    if (quote && quote->row > 0 && view.QuoteCount() > 0)
        view.RefillQuotes(std::min(quote->row, view.QuoteCount() - 1));
}

}  // namespace barwise
