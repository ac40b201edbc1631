// Paints a ChartModel with QPainter: a title line, the price pane with its scale on the
// right, the volume pane below it on its own scale, the time axis, the selected bar, the
// marks and the crosshair. The same painting serves the widget, the saved PNG and SVG
// files and the benchmark.
#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

#include "chart/chartmodel.h"

class QFontMetrics;
class QPainter;

namespace barwise {

// Where the parts of the chart lie in the area it is painted in.
struct ChartLayout {
    QRect title;   // the line above the panes
    QRect price;   // the price pane (its width is the model's width)
    QRect volume;  // the volume pane; empty when the series has no volume
    QRect axis;    // the time axis below the panes
    QRect scale;   // the price scale right of the panes
    // The plot's x of a pixel of the area, and back.
    int plotX(int x) const { return x - price.left(); }
};

ChartLayout LayOutChart(const QRect& area, const QFontMetrics& fm, bool hasVolume);

struct ChartLook {
    BarStyle style = BarStyle::kBars;
    QString title;    // the security
    QString note;     // shown right of the title (a scale that was refused, ...)
    QString message;  // shown in the middle when there is nothing to draw
    // The pointer, in the area's pixels, when it is over the chart: the crosshair.
    std::optional<QPoint> pointer;
};

// Sets the model's width to the price pane's and paints.
void PaintChart(QPainter& painter, const QRect& area, ChartModel& model, const ChartLook& look);

}  // namespace barwise
