// The DAMAGED portfolio of the demo (barwise-cli make-demo DIR --damaged writes it to
// DIR/DAMAGED): one case of every kind of damage, suspect data and leftover the portfolio
// check names, each in a security of its own, so the Check window and barwise-cli check
// have something to show and mend. Deterministic except for the newer backup's time.
#pragma once

#include <filesystem>

#include "demo/demodb.h"

namespace barwise {

inline constexpr std::string_view kDamagedPortfolioName = "DAMAGED";

// Writes the portfolio into dir (created when missing; what it held before is removed).
DemoResult WriteDamagedPortfolio(const fs::path& dir);

}  // namespace barwise
