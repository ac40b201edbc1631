#include "chart/chartpainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <vector>

#include "chart/timeaxis.h"

namespace barwise {

namespace {

const QColor kBackground(255, 255, 255);
const QColor kFrame(190, 190, 190);
const QColor kGrid(236, 236, 236);
const QColor kText(40, 40, 40);
const QColor kBar(20, 40, 90);
const QColor kUp(30, 140, 70);
const QColor kDown(200, 45, 45);
const QColor kVolume(150, 160, 180);
const QColor kSelected(255, 214, 90, 150);
const QColor kCrosshair(90, 90, 90);
const QColor kMarkColours[kMarkKinds] = {QColor(230, 120, 0), QColor(200, 0, 160)};

constexpr int kAxisLabelSpacing = 70;

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

// A price with the decimals its neighbours on the scale need.
QString ScaleText(double v, double step) {
    int decimals = 0;
    while (decimals < 4 && step * std::pow(10.0, decimals) < 0.999) ++decimals;
    return QString::number(v, 'f', decimals);
}

void PaintPriceScale(QPainter& p, const ChartLayout& l, const ChartModel& m) {
    const ValueSpan span{m.yToPrice(l.price.height(), l.price.height()),
                         m.yToPrice(0, l.price.height())};
    const std::vector<double> ticks =
        PriceTicks(span.low, span.high, std::max(2, l.price.height() / 40), m.scale());
    const double step = ticks.size() >= 2 ? std::abs(ticks[1] - ticks[0]) : 1.0;
    const QFontMetrics fm = p.fontMetrics();
    for (const double v : ticks) {
        const int y =
            l.price.top() + static_cast<int>(std::lround(m.priceToY(v, l.price.height())));
        if (y < l.price.top() || y > l.price.bottom()) continue;
        p.setPen(kGrid);
        p.drawLine(l.price.left(), y, l.price.right(), y);
        p.setPen(kText);
        const double shownStep = m.scale() == PriceScale::kLog ? std::min(step, v) : step;
        p.drawText(l.scale.left() + 4, y + fm.ascent() / 2, ScaleText(v, shownStep));
    }
}

void PaintTimeAxis(QPainter& p, const ChartLayout& l, const ChartModel& m) {
    const QFontMetrics fm = p.fontMetrics();
    const int bottom = l.volume.isEmpty() ? l.price.bottom() : l.volume.bottom();
    for (const AxisLabel& label : TimeAxisLabels(m, kAxisLabelSpacing)) {
        const int x = l.price.left() + label.x;
        p.setPen(label.rank >= 4 ? kFrame : kGrid);
        p.drawLine(x, l.price.top(), x, bottom);
        p.setPen(kText);
        const QString text = Text(label.text);
        QFont font = p.font();
        font.setBold(label.rank >= 4);
        p.setFont(font);
        const int w = QFontMetrics(font).horizontalAdvance(text);
        const int left = std::clamp(x - w / 2, l.axis.left(), l.axis.right() - w);
        p.drawText(left, l.axis.top() + 2 + fm.ascent(), text);
        font.setBold(false);
        p.setFont(font);
    }
}

void PaintSelection(QPainter& p, const ChartLayout& l, const ChartModel& m) {
    const int bar = m.selectedBar();
    if (bar < m.first() || bar >= m.first() + m.visibleCount()) return;
    const int x = l.price.left() + m.columnOfBar(bar);
    const int w = std::max(m.barSpan(bar), 3);
    const int left = m.barSpan(bar) >= 3 ? x : x - 1;
    const int bottom = l.volume.isEmpty() ? l.price.bottom() : l.volume.bottom();
    p.fillRect(QRect(left, l.price.top(), w, bottom - l.price.top() + 1), kSelected);
}

void PaintPrices(QPainter& p, const ChartLayout& l, const ChartModel& m, BarStyle style) {
    const std::vector<ChartColumn>& cols = m.columns();
    const int top = l.price.top();
    const int h = l.price.height();
    const auto y = [&](double v) { return top + m.priceToY(v, h); };
    const int left = l.price.left();
    std::vector<QLineF> lines;
    lines.reserve(cols.size() * 3);

    if (m.shape() == PriceShape::kLine) {
        QPolygonF line;
        line.reserve(static_cast<int>(cols.size()));
        for (const ChartColumn& c : cols) {
            const double x = left + c.x + c.width / 2.0;
            if (c.firstBar != c.lastBar) lines.emplace_back(x, y(c.low), x, y(c.high));
            line << QPointF(x, y(c.close));
        }
        p.setPen(QPen(kBar, 1));
        p.drawLines(lines.data(), static_cast<int>(lines.size()));
        p.setRenderHint(QPainter::Antialiasing, true);
        p.drawPolyline(line);
        p.setRenderHint(QPainter::Antialiasing, false);
        return;
    }

    const bool opens = m.has(kChartOpen);
    const bool closes = m.has(kChartClose);
    const bool candles = style == BarStyle::kCandles && opens && closes;
    std::vector<QRectF> up, down;
    for (const ChartColumn& c : cols) {
        if (c.width < 3) {
            // Bars share the column or stand one pixel apart: the range alone.
            const double x = left + c.x + 0.5;
            lines.emplace_back(x, y(c.high), x, y(c.low) + 0.5);
            continue;
        }
        const double half = std::floor((c.width - 1) / 2.0);
        const double mid = left + c.x + half + 0.5;
        if (candles) {
            const double body = std::max(1.0, half - 1);
            lines.emplace_back(mid, y(c.high), mid, y(c.low));
            const double yo = y(c.open);
            const double yc = y(c.close);
            QRectF rect(mid - body, std::min(yo, yc), 2 * body, std::max(std::abs(yc - yo), 1.0));
            (c.close >= c.open ? up : down).push_back(rect);
            continue;
        }
        lines.emplace_back(mid, y(c.high), mid, y(c.low) + 0.5);
        const double tick = std::min(half, 6.0);
        if (opens) lines.emplace_back(mid - tick, y(c.open), mid, y(c.open));
        if (closes) lines.emplace_back(mid, y(c.close), mid + tick, y(c.close));
    }
    p.setPen(QPen(kBar, 1));
    p.drawLines(lines.data(), static_cast<int>(lines.size()));
    if (candles) {
        p.setPen(QPen(kUp, 1));
        p.setBrush(Qt::white);
        p.drawRects(up.data(), static_cast<int>(up.size()));
        p.setPen(QPen(kDown, 1));
        p.setBrush(kDown);
        p.drawRects(down.data(), static_cast<int>(down.size()));
        p.setBrush(Qt::NoBrush);
    }
}

void PaintVolume(QPainter& p, const ChartLayout& l, const ChartModel& m) {
    if (l.volume.isEmpty()) return;
    const ValueSpan span = m.volumeSpan();
    p.setPen(kFrame);
    p.drawRect(l.volume.adjusted(0, 0, -1, -1));
    if (span.high <= 0) return;
    std::vector<QRectF> rects;
    rects.reserve(m.columns().size());
    const double h = l.volume.height() - 2;
    for (const ChartColumn& c : m.columns()) {
        if (c.volume <= 0) continue;
        const double top = l.volume.bottom() - c.volume / span.high * h;
        const double w = c.width < 3 ? 1.0 : c.width - 2.0;
        rects.emplace_back(l.volume.left() + c.x + (c.width < 3 ? 0 : 1), top, w,
                           l.volume.bottom() - top);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kVolume);
    p.drawRects(rects.data(), static_cast<int>(rects.size()));
    p.setBrush(Qt::NoBrush);
    p.setPen(kText);
    p.drawText(l.scale.left() + 4, l.volume.top() + p.fontMetrics().ascent(),
               Text(ChartVolumeText(span.high)));
}

void PaintMarks(QPainter& p, const ChartLayout& l, const ChartModel& m) {
    const int end = m.first() + m.visibleCount();
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const PlacedMark& mark : m.marks()) {
        if (mark.bar < m.first() || mark.bar >= end) continue;
        const double x =
            l.price.left() + m.columnOfBar(mark.bar) + std::max(m.barSpan(mark.bar), 1) / 2.0;
        const QColor colour = kMarkColours[static_cast<int>(mark.kind)];
        p.setPen(QPen(colour, 1, Qt::DashLine));
        p.drawLine(QPointF(x, l.price.top() + 9), QPointF(x, l.price.bottom()));
        QPolygonF triangle;
        triangle << QPointF(x - 5, l.price.top() + 1) << QPointF(x + 5, l.price.top() + 1)
                 << QPointF(x, l.price.top() + 9);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPolygon(triangle);
        p.setBrush(Qt::NoBrush);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
}

void PaintCrosshair(QPainter& p, const ChartLayout& l, const ChartModel& m, QPoint at) {
    const int bottom = l.volume.isEmpty() ? l.price.bottom() : l.volume.bottom();
    if (at.x() < l.price.left() || at.x() > l.price.right() || at.y() < l.price.top() ||
        at.y() > bottom)
        return;
    p.setPen(QPen(kCrosshair, 1, Qt::DotLine));
    p.drawLine(at.x(), l.price.top(), at.x(), bottom);
    const QFontMetrics fm = p.fontMetrics();
    // The date (and time) of the bar under the pointer, on the time axis, kept inside it.
    const QString date = Text(m.barDateText(m.barAt(l.plotX(at.x()))));
    if (!date.isEmpty()) {
        const int w = fm.horizontalAdvance(date) + 8;
        const int left =
            std::clamp(at.x() - w / 2, l.axis.left(), std::max(l.axis.left(), l.axis.right() - w));
        const QRect box(left, l.axis.top() + 1, w, std::min(fm.height() + 2, l.axis.height() - 1));
        p.fillRect(box, kCrosshair);
        p.setPen(Qt::white);
        p.drawText(box, Qt::AlignCenter, date);
        p.setPen(QPen(kCrosshair, 1, Qt::DotLine));
    }
    if (at.y() > l.price.bottom()) return;
    p.drawLine(l.price.left(), at.y(), l.price.right(), at.y());
    const QString price =
        Text(ChartPriceText(m.yToPrice(at.y() - l.price.top(), l.price.height())));
    const QRect box(l.scale.left(), at.y() - fm.height() / 2, l.scale.width(), fm.height());
    p.fillRect(box, kCrosshair);
    p.setPen(Qt::white);
    p.drawText(box.adjusted(4, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, price);
}

}  // namespace

ChartLayout LayOutChart(const QRect& area, const QFontMetrics& fm, bool hasVolume) {
    ChartLayout l;
    const int line = fm.height() + 6;
    const int scaleWidth = fm.horizontalAdvance(QStringLiteral("-000000.0000")) + 8;
    l.title = QRect(area.left(), area.top(), area.width(), line);
    const int left = area.left() + 4;
    const int right = std::max(left + 1, area.right() - scaleWidth);
    const int top = l.title.bottom() + 1;
    const int bottom = std::max(top + 1, area.bottom() - line);
    l.axis = QRect(QPoint(left, bottom + 1), QPoint(right, area.bottom()));
    l.scale = QRect(QPoint(right + 1, top), QPoint(area.right(), bottom));
    const int height = bottom - top + 1;
    if (hasVolume && height > 80) {
        const int volume = height / 5;
        l.price = QRect(QPoint(left, top), QPoint(right, bottom - volume - 4));
        l.volume = QRect(QPoint(left, bottom - volume + 1), QPoint(right, bottom));
    } else {
        l.price = QRect(QPoint(left, top), QPoint(right, bottom));
    }
    return l;
}

void PaintChart(QPainter& p, const QRect& area, ChartModel& m, const ChartLook& look) {
    const ChartLayout l = LayOutChart(area, p.fontMetrics(), m.hasVolume());
    m.setWidth(l.price.width());
    p.fillRect(area, kBackground);

    // Title line: the security, then the bar under the pointer (else the selected one).
    int shown = -1;
    if (look.pointer && look.pointer->x() >= l.price.left() && look.pointer->x() <= l.price.right())
        shown = m.barAt(l.plotX(look.pointer->x()));
    if (shown < 0) shown = m.selectedBar();
    p.setPen(kText);
    QFont bold = p.font();
    bold.setBold(true);
    p.setFont(bold);
    const QRect titleText = l.title.adjusted(4, 0, -4, 0);
    p.drawText(titleText, Qt::AlignVCenter | Qt::AlignLeft, look.title);
    const int titleWidth = QFontMetrics(bold).horizontalAdvance(look.title) + 16;
    bold.setBold(false);
    p.setFont(bold);
    const QString detail = Text(m.barText(shown));
    p.drawText(titleText.adjusted(titleWidth, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, detail);
    if (!look.note.isEmpty()) {
        p.setPen(kDown);
        p.drawText(titleText, Qt::AlignVCenter | Qt::AlignRight, look.note);
    }

    p.setPen(kFrame);
    p.drawRect(l.price.adjusted(0, 0, -1, -1));
    if (m.barCount() == 0 || m.shape() == PriceShape::kNone) {
        p.setPen(kText);
        QString message = look.message;
        if (message.isEmpty() && m.barCount() > 0)
            message = QStringLiteral("This series has no prices to draw.");
        p.drawText(l.price, Qt::AlignCenter | Qt::TextWordWrap, message);
        if (m.barCount() == 0) return;
    }

    p.save();
    p.setClipRect(l.price.united(l.volume).united(l.scale).united(l.axis));
    PaintSelection(p, l, m);
    if (m.shape() != PriceShape::kNone) {
        PaintPriceScale(p, l, m);
        PaintTimeAxis(p, l, m);
        p.setClipRect(l.price.adjusted(1, 1, -1, -1));
        PaintPrices(p, l, m, look.style);
        PaintMarks(p, l, m);
        p.setClipRect(l.price.united(l.volume).united(l.scale).united(l.axis));
    } else {
        PaintTimeAxis(p, l, m);
    }
    PaintVolume(p, l, m);
    if (look.pointer) PaintCrosshair(p, l, m, *look.pointer);
    p.restore();
}

}  // namespace barwise
