// Main-window benchmarks, offscreen: filling the quotes grid with the longest series a
// file can hold (target: under 100 ms in a Release build), filling the symbols grid for
// the 3,000-security portfolio of extended_db.h (MASTER, EMASTER and XMASTER; the rows
// listed are printed as a counter), and start-up on the demo database from the window's
// appearance to the first quotes shown (target: under 300 ms).
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <memory>

#include "app/barwiseview.h"
#include "app/gridmodels.h"
#include "app/mainframe.h"
#include "demo/demodb.h"
#include "extended_db.h"
#include "ui/settingsstore.h"
#include "ui/uihost.h"

using namespace barwise;

namespace {

// Answers every question with its default and stays silent.
class SilentHost final : public UiHost {
public:
    Answer messageBox(const QString&, Buttons, Icon) override {
        ++messages;
        return Answer::Ok;
    }
    bool runDialog(QDialog&) override { return false; }
    QString saveFileName(const QString&, const QString&, const QString&, int) override {
        return {};
    }
    QStringList openFileNames(const QString&, const QString&) override { return {}; }
    void beep(Beep) override {}
    bool openWithShell(const QString&) override { return false; }
    void beginWaitCursor() override {}
    void endWaitCursor() override {}
    int messages = 0;
};

// A settings file of its own, so the benchmark leaves the user's settings alone.
struct Settings {
    QTemporaryDir dir;
    SettingsStore store;
    Settings() {
        qputenv("BARWISE_SETTINGS", dir.filePath(QStringLiteral("Barwise.conf")).toLocal8Bit());
        bool createdNew = false;
        store.OpenBaseKey(createdNew, QString::fromLatin1(kBaseKeyPath));
    }
};

DemoSeries LongestSeries() {
    DemoSeries s;
    s.fileNumber = 1;
    s.symbol = "LONG";
    s.name = "LONGEST SERIES";
    s.columns = DefaultColumns(28);
    const DateCode first = MakeDate(1961, 1, 2);
    for (int i = 0; i < kMaxQuotesPerFile; ++i) {
        DemoQuote q;
        q.date = static_cast<DateCode>(first + i);
        q.open = 10.0f + static_cast<float>(i % 997) / 8;
        q.high = q.open + 1;
        q.low = q.open - 1;
        q.close = q.open + 0.25f;
        q.volume = 100000.0f + static_cast<float>(i);
        q.openInterest = 5000.0f;
        s.quotes.push_back(q);
    }
    return s;
}

void BM_FillQuotesGrid(benchmark::State& state) {
    Settings settings;
    QTemporaryDir tree;
    DemoPortfolio portfolio;
    portfolio.series.push_back(LongestSeries());
    const std::string dir = tree.path().toStdString();
    if (!WritePortfolio(dir, portfolio)) {
        state.SkipWithError("cannot write the series");
        return;
    }
    SilentHost host;
    CMainFrame frame(settings.store, host);
    frame.show();
    QCoreApplication::processEvents();
    CBarwiseView& view = frame.View();
    view.SelectPortfolio(dir + "/MASTER");
    view.FillSymbolsGrid(0);
    if (view.QuoteModel().rowCount() != kMaxQuotesPerFile) {
        state.SkipWithError("the series did not load");
        return;
    }
    for (auto _ : state) {
        view.FillQuotesGrid(0);
        benchmark::DoNotOptimize(view.QuoteModel().rowCount());
    }
    state.counters["quotes"] = kMaxQuotesPerFile;
}
BENCHMARK(BM_FillQuotesGrid)->Unit(benchmark::kMillisecond);

void BM_FillSymbolsGridExtended(benchmark::State& state) {
    Settings settings;
    const std::filesystem::path dir = bench::ExtendedBenchDb();
    if (dir.empty()) {
        state.SkipWithError("cannot write the portfolio");
        return;
    }
    SilentHost host;
    CMainFrame frame(settings.store, host);
    frame.show();
    QCoreApplication::processEvents();
    CBarwiseView& view = frame.View();
    view.SelectPortfolio((dir / "MASTER").string());
    for (auto _ : state) {
        view.FillSymbolsGrid(0);
        benchmark::DoNotOptimize(view.SymbolModel().rowCount());
    }
    state.counters["securities"] = bench::kExtendedSecurities;
    state.counters["rows"] = view.SymbolModel().rowCount();
    state.counters["messages"] = host.messages;
    if (view.SymbolModel().rowCount() == 0) state.SetLabel("the grid was left empty");
}
BENCHMARK(BM_FillSymbolsGridExtended)->Unit(benchmark::kMillisecond);

void BM_StartupToFirstQuotes(benchmark::State& state) {
    QTemporaryDir tree;
    const std::string root = tree.filePath(QStringLiteral("demo")).toStdString();
    if (WriteDemoDatabase(root, false).status != kSuccess) {
        state.SkipWithError("cannot write the demo database");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto settings = std::make_unique<Settings>();
        // As ./run starts it: the search keeps to the demo's path on the real drive list.
        settings->store.WriteProfileString(QStringLiteral("Search"), QStringLiteral("Name"),
                                           QString::fromStdString(root));
        SilentHost host;
        auto frame = std::make_unique<CMainFrame>(settings->store, host);
        frame->show();
        QCoreApplication::processEvents();  // the window has appeared
        state.ResumeTiming();

        frame->View().FinishStartup();  // what the start-up timer runs
        QCoreApplication::processEvents();

        state.PauseTiming();
        if (frame->View().QuoteModel().rowCount() == 0 || host.messages != 0)
            state.SkipWithError("no quotes shown");
        frame.reset();
        settings.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupToFirstQuotes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(barwise);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
