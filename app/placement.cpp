#include "app/placement.h"

#include <algorithm>

namespace barwise {

bool IsUsablePlacement(const WindowPlacement& p, int w, int h) {
    return p.cx > 0 && p.cy > 0 && p.x >= 0 && p.y >= 0 && p.cx <= w && p.cy <= h && p.x <= w &&
           p.y <= h;
}

WindowPlacement DefaultPlacement(int w, int h) {
    constexpr float kShare = 0.95f;
    WindowPlacement p;
    p.cx = static_cast<int>(static_cast<float>(w) * kShare);
    p.cy = static_cast<int>(static_cast<float>(h) * kShare);
    p.x = (w - p.cx) / 2;
    p.y = (h - p.cy) / 2;
    return p;
}

WindowPlacement PlacementToStore(int x, int y, int cx, int cy) {
    return {x < 0 ? 0 : x, y < 0 ? 0 : y, cx, cy};
}

std::array<int, 2> DefaultSymbolColumnWidths(int w, int symbolFit) {
    const int symbol = std::clamp(symbolFit, 1, std::max(1, w * 9 / 20));
    return {symbol, std::max(1, w - symbol)};
}

std::array<int, 2> SymbolColumnWidths(int w, int c0, int c1, int symbolFit) {
    const bool bad = c0 <= 0 || c0 > w || c1 <= 0 || c1 > w || c0 + c1 > w;
    if (bad) return DefaultSymbolColumnWidths(w, symbolFit);
    return {c0, c1};
}

int DefaultQuoteColumnWidth(int clientWidth) {
    return clientWidth * 9 / 70;
}

std::array<int, 7> QuoteColumnWidths(int w, const std::array<int, 7>& stored) {
    bool bad = false;
    long long total = 0;
    for (int c : stored) {
        if (c <= 0 || c > w) bad = true;
        total += c;
    }
    if (bad || total > w) {
        std::array<int, 7> d;
        d.fill(DefaultQuoteColumnWidth(w));
        return d;
    }
    return stored;
}

}  // namespace barwise
