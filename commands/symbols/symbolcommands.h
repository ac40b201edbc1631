// The handlers of Symbol > Edit, Delete, Move and Copy. Each acts on the security whose
// row is selected in the symbols grid, by its identity, and shows the data again through
// the view afterwards.
#pragma once

namespace barwise {

class CommandView;
class UiHost;

// Symbol > Edit: a new symbol and name for the selected security; the grid row shows them
// at once, in its place.
void OnSymbolEdit(CommandView& view, UiHost& host);
// Symbol > Delete: asks, then takes the security out of MASTER, removes its data files
// and lists the symbols again.
void OnSymbolDelete(CommandView& view, UiHost& host);
// Symbol > Move (move true) and Symbol > Copy: into another portfolio of the list.
void OnSymbolMove(CommandView& view, UiHost& host, bool move);

}  // namespace barwise
