// Price-chart benchmarks, offscreen: one frame of the longest series a quote file holds
// (65,534 daily quotes) fully zoomed out, a pan step and a zoom step each followed by its
// frame, and a frame zoomed in to a few hundred bars. Target: at most 16 ms per frame on a
// 1600 x 600 chart, in a Release build.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "chart/chartmodel.h"
#include "chart/chartpainter.h"
#include "datafiles/series.h"

using namespace barwise;

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 600;

ChartModel LongestSeries() {
    std::vector<LoadedQuote> quotes;
    quotes.reserve(kMaxQuotesPerFile);
    const DateCode first = MakeDate(1928, 10, 1);
    for (int i = 0; i < kMaxQuotesPerFile; ++i) {
        LoadedQuote q;
        q.date = first + i + i / 5 * 2;  // weekdays
        const float close =
            100 + 40 * std::sin(static_cast<float>(i) / 900) + static_cast<float>(i % 17);
        q.values = {close - 1,
                    close + 2,
                    close - 2.5f,
                    close,
                    static_cast<float>(10000 + (i * 7919) % 50000),
                    -1};
        quotes.push_back(q);
    }
    ChartModel m;
    m.setSeries(std::move(quotes), {true, true, true, true, true, false}, false);
    m.fitAll();
    return m;
}

struct Frame {
    QImage image{kWidth, kHeight, QImage::Format_RGB32};
    ChartLook look;
    Frame() { look.title = QStringLiteral("LONG  LONGEST SERIES"); }
    void paint(ChartModel& m) {
        QPainter p(&image);
        PaintChart(p, image.rect(), m, look);
    }
};

void BM_FrameZoomedOut(benchmark::State& state) {
    ChartModel m = LongestSeries();
    Frame f;
    f.look.pointer = QPoint(kWidth / 2, kHeight / 2);
    for (auto _ : state) {
        m.fitAll();
        m.setWidth(1);  // the columns are gathered again, as after new data
        f.paint(m);
    }
    state.counters["columns"] = static_cast<double>(m.columns().size());
}
BENCHMARK(BM_FrameZoomedOut)->Unit(benchmark::kMillisecond);

void BM_PanStep(benchmark::State& state) {
    ChartModel m = LongestSeries();
    m.setRange(10000, 30000);
    Frame f;
    int direction = 1;
    for (auto _ : state) {
        m.panBars(direction * 3000);
        if (m.first() == 0 || m.first() + m.visibleCount() == m.barCount()) direction = -direction;
        f.paint(m);
    }
}
BENCHMARK(BM_PanStep)->Unit(benchmark::kMillisecond);

void BM_ZoomStep(benchmark::State& state) {
    ChartModel m = LongestSeries();
    Frame f;
    double factor = 1.25;
    for (auto _ : state) {
        m.zoomAt(kWidth / 3, factor);
        if (m.visibleCount() <= 200 || m.visibleCount() == m.barCount()) factor = 1 / factor;
        f.paint(m);
    }
}
BENCHMARK(BM_ZoomStep)->Unit(benchmark::kMillisecond);

void BM_FrameZoomedIn(benchmark::State& state) {
    ChartModel m = LongestSeries();
    m.setRange(40000, 300);
    Frame f;
    f.look.style = BarStyle::kCandles;
    for (auto _ : state) f.paint(m);
}
BENCHMARK(BM_FrameZoomedIn)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
