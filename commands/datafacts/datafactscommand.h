// The Data Facts command ("About Selected Quote Series"): the facts of the selected
// security, or a message when they cannot be read.
#pragma once

namespace barwise {
class CommandView;
class UiHost;

void ShowDataFacts(CommandView& view, UiHost& host);

}  // namespace barwise
