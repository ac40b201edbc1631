// The labels of the chart's time axis. A label stands at the first bar of a period (a
// year, a month, a week, a day, an hour, minutes): the finest kind of period whose labels
// fit the plot at least `minSpacing` pixels apart is chosen. A label names the largest unit
// that changed at its bar ("1999" at the first bar of a year, "Mar" at a month's, "Mar 15"
// at a day's, "09:30" within a day), and where two would crowd each other the one of the
// larger unit is kept. Years are written in full: a series may run from 1900 to 2199.
#pragma once

#include <string>
#include <vector>

#include "chart/chartmodel.h"

namespace barwise {

struct AxisLabel {
    int bar = 0;
    int x = 0;     // pixel of the label's tick, within the plot
    int rank = 0;  // 4 year, 3 month, 2 day, 1 time of day
    std::string text;
};

std::vector<AxisLabel> TimeAxisLabels(const ChartModel& model, int minSpacing);

}  // namespace barwise
