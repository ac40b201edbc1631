// Window placement and grid column widths: the arithmetic behind what the main window
// restores from its settings.
#pragma once

#include <array>

namespace barwise {

struct WindowPlacement {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    bool operator==(const WindowPlacement&) const = default;
};

// True when a stored placement can be used on a screen of the given size: a positive
// size no larger than the screen and a top-left corner on it.
bool IsUsablePlacement(const WindowPlacement& p, int screenWidth, int screenHeight);

// The first-start placement: 95 % of the screen, centred. The factor is taken in single
// precision and the sizes truncated, so a 1024 x 768 screen gives 26, 19, 972, 729.
WindowPlacement DefaultPlacement(int screenWidth, int screenHeight);

// The placement stored after a move or resize: a position left or above the screen is
// stored as 0, the size as it is.
WindowPlacement PlacementToStore(int x, int y, int cx, int cy);

// Column widths of the symbols grid (2 columns) in a grid of client width W: the stored
// ones when each is non-zero and fits in W and both together fit, else the defaults.
// The defaults give the symbol column `symbolFit` (the width its longest symbols need), at
// most W * 9 / 20, and the name column the rest of W: names run to 45 characters.
std::array<int, 2> SymbolColumnWidths(int clientWidth, int stored0, int stored1, int symbolFit);
std::array<int, 2> DefaultSymbolColumnWidths(int clientWidth, int symbolFit);

// Column widths of the quotes grid (7 columns): the stored ones when each is non-zero and
// fits in W and all of them together fit, else W * 9 / 70 each.
std::array<int, 7> QuoteColumnWidths(int clientWidth, const std::array<int, 7>& stored);
int DefaultQuoteColumnWidth(int clientWidth);

}  // namespace barwise
