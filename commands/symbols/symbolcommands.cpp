#include "commands/symbols/symbolcommands.h"

#include <QString>
#include <QStringList>

#include "commands/symbols/deletesymboldlg.h"
#include "commands/symbols/editsymboldlg.h"
#include "commands/symbols/movesymboldlg.h"
#include "commands/symbols/symbolops.h"
#include "datafiles/portfoliolock.h"
#include "ui/commandview.h"
#include "ui/latin1.h"
#include "ui/uihost.h"
#include "undo/undoable.h"

namespace barwise {
namespace {

// MASTER texts are single-byte; the dialogs show and take them as Latin-1.
QString FromField(const std::string& text) {
    return Latin1(text);
}
std::string ToField(const QString& text) {
    return ToLatin1(text);
}

QString FromPath(const std::string& path) {
    return QString::fromStdString(path);
}

// Why a MASTER rewrite failed, for the messages.
QString RewriteFailure(const std::string& masterPath, DataStatus status) {
    if (status == kFileNotFound)
        return QStringLiteral("The symbol is no longer where it was listed in\n%1")
            .arg(FromPath(masterPath));
    if (status == kPortfolioBusy)
        return QStringLiteral("%1 is as it was: %2.")
            .arg(FromPath(masterPath), QString::fromLatin1(kPortfolioBusyMessage.data()));
    return QStringLiteral("%1 could not be written (%2).\nIt is as it was.")
        .arg(FromPath(masterPath), QString::fromLatin1(DataStatusName(status).data()));
}

// Adds a change just made to the history; says so when the history could not keep it.
void Remember(UiHost& host, UndoableChange& change, const std::string& label) {
    if (const DataStatus kept = change.commit(label); kept != kSuccess)
        host.messageBox(QString::fromStdString(NotUndoableMessage(kept)), UiHost::Buttons::Ok,
                        UiHost::Icon::Warning);
}

}  // namespace

void OnSymbolEdit(CommandView& view, UiHost& host) {
    const std::optional<SymbolSelection> security = view.SelectedSecurity();
    if (!security) return;
    const int row = view.SelectedSymbolRow();
    // The whole symbol and name as stored, not the grid's texts (the symbol up to its first
    // blank, 16 name characters): OK without a change must not shorten either.
    MasterRecord record;
    const bool read = ReadMasterEntry(security->id, record) == kSuccess;
    const std::string shownSymbol = read ? DisplayText(record.symbolField()) : security->symbol;
    const std::string shownName = read ? SecurityName(record) : DisplayText(security->name);
    CEditSymbolDlg dialog(host, view.DialogParent());
    dialog.SetLimits(EntryTextLimits(security->id));
    dialog.SetData(FromField(shownSymbol), FromField(shownName));
    dialog.SetEntry(security->id);
    if (!host.runDialog(dialog)) return;

    const std::string symbol = ToField(dialog.Symbol());
    const std::string name = ToField(dialog.Name());
    // The dialog's checks are made again under the lock: another writer may have given a
    // second security that symbol while the dialog was open.
    const PortfolioLock lock(security->id.directory);
    std::string problem;
    if (lock.held())
        problem = CheckRename(security->id, CodePointsOfLatin1(symbol), CodePointsOfLatin1(name));
    if (!problem.empty()) {
        host.messageBox(
            QStringLiteral("The symbol was not changed.\n\n") + QString::fromStdString(problem),
            UiHost::Buttons::Ok, UiHost::Icon::Stop);
        return;
    }
    UndoableChange change(security->id.directory);
    const DataStatus status =
        lock.held() ? RenameMasterEntry(security->id, symbol, name, change.fs()) : lock.status();
    Remember(host, change,
             ChangeLabel("Rename", Latin1ToUtf8(HistoryNameOf(shownSymbol, shownName)),
                         "to " + Latin1ToUtf8(symbol)));
    if (status != kSuccess) {
        host.messageBox(QStringLiteral("The symbol was not changed.\n\n") +
                            RewriteFailure(MasterPathOf(security->id.directory).string(), status),
                        UiHost::Buttons::Ok, UiHost::Icon::Stop);
        if (status == kFileNotFound) view.RefillSymbols(0);
        return;
    }
    // The grid shows MASTER's 16 blank-padded name bytes, or a longer name whole.
    std::string padded = name;
    if (padded.size() < kMasterNameSize) padded.resize(kMasterNameSize, ' ');
    view.SetSymbolRowTexts(row, symbol, padded);
}

void OnSymbolDelete(CommandView& view, UiHost& host) {
    const std::optional<SymbolSelection> security = view.SelectedSecurity();
    if (!security) return;
    CDeleteSymbolDlg dialog(view.DialogParent());
    dialog.SetSymbol(FromField(security->symbol));
    host.beep(UiHost::Beep::Question);
    if (!host.runDialog(dialog)) return;

    DeleteOutcome outcome;
    {
        WaitCursor wait(host);
        UndoableChange change(security->id.directory);
        outcome = DeleteSecurity(security->id, change.fs());
        Remember(
            host, change,
            ChangeLabel("Delete", Latin1ToUtf8(HistoryNameOf(security->symbol, security->name))));
    }
    if (outcome.status != kSuccess) {
        host.messageBox(
            QStringLiteral("The symbol was not deleted.\n\n") +
                RewriteFailure(MasterPathOf(security->id.directory).string(), outcome.status),
            UiHost::Buttons::Ok, UiHost::Icon::Stop);
        if (outcome.status == kFileNotFound) view.RefillSymbols(0);
        return;
    }
    if (!outcome.notRemoved.empty()) {
        QStringList files;
        for (const fs::path& p : outcome.notRemoved) files << FromPath(p.string());
        host.messageBox(
            QStringLiteral("The symbol was deleted, but these files could not be removed:\n") +
                files.join(QLatin1Char('\n')),
            UiHost::Buttons::Ok, UiHost::Icon::Warning);
    }
    view.RefillSymbols(0);
}

void OnSymbolMove(CommandView& view, UiHost& host, bool move) {
    const std::optional<SymbolSelection> security = view.SelectedSecurity();
    if (!security) return;
    CMoveSymbolDlg dialog(view.DialogParent());
    dialog.SetMove(move);
    dialog.SetData(FromField(security->symbol), FromField(DisplayText(security->name)),
                   FromPath(view.PortfolioDir()), view.Portfolios(), view.CurrentPortfolio());
    if (!host.runDialog(dialog) || dialog.Destination().empty()) return;
    const std::string destination = dialog.Destination();

    TransferQuestions questions;
    questions.replaceStrayFiles = [&](const std::vector<fs::path>& strays) {
        QStringList files;
        for (const fs::path& p : strays) files << FromPath(p.filename().string());
        return host.messageBox(
                   QStringLiteral("The portfolio\n%1\nholds %2, which its MASTER does not list.\n"
                                  "Replace with the data of %3?")
                       .arg(FromPath(destination), files.join(QStringLiteral(" and ")),
                            FromField(security->symbol)),
                   UiHost::Buttons::YesNo, UiHost::Icon::Question) == UiHost::Answer::Yes;
    };
    TransferOutcome outcome;
    {
        WaitCursor wait(host);
        UndoableChange change(security->id.directory, destination);
        outcome = TransferSecurity(security->id, destination, move, questions, change.fs());
        Remember(host, change,
                 ChangeLabel(move ? "Move" : "Copy",
                             Latin1ToUtf8(HistoryNameOf(security->symbol, security->name)),
                             "to " + PortfolioName(destination)));
    }
    switch (outcome.end) {
        case TransferEnd::kDone:
            if (move) view.RefillSymbols(0);
            break;
        case TransferEnd::kRefused:
        case TransferEnd::kFailed:
        case TransferEnd::kIncomplete:
            host.messageBox(
                QString::fromStdString(outcome.message), UiHost::Buttons::Ok,
                outcome.end == TransferEnd::kRefused ? UiHost::Icon::Warning : UiHost::Icon::Stop);
            break;
        case TransferEnd::kNotFound:
        case TransferEnd::kDeclined:
            break;
    }
}

}  // namespace barwise
