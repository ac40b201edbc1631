#include "commands/datafacts/datafactscommand.h"

#include "commands/datafacts/datafactsdlg.h"
#include "datafiles/datafacts.h"
#include "ui/commandview.h"
#include "ui/latin1.h"
#include "ui/uihost.h"

namespace barwise {

void ShowDataFacts(CommandView& view, UiHost& host) {
    const std::optional<SymbolSelection> security = view.SelectedSecurity();
    if (!security) return;
    DataFacts facts;
    if (const DataStatus status = ReadDataFacts(security->id, facts); status != kSuccess) {
        host.messageBox(
            QStringLiteral("The facts of %1 cannot be read: its MASTER entry, its "
                           "layout or its data file is missing or damaged (%2).")
                .arg(Latin1(security->symbol).trimmed(), Latin1(DataStatusName(status))));
        return;
    }
    CDataFactsDlg dialog(security->id, facts, view.DialogParent());
    host.runDialog(dialog);
}

}  // namespace barwise
