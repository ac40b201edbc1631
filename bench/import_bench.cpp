// The import's two speed figures, each a ratio measured in one run (the best of three tries
// for the day file; of seven for the rows, which take a few milliseconds and so vary more,
// tried in turn with the export so that a busy moment of the machine weighs on both alike):
//   1. a day file of one quote for each of the 3,000 securities of bench/extended_db.h
//      imported into a copy of that portfolio, against copying the portfolio's files and
//      syncing them (the least a daily update that rewrites every data file can cost);
//   2. one file of 65,534 rows imported into an empty security, against exporting the same
//      rows to a file and syncing it.
//   import_bench [day|rows]   runs one of the two (both by default)
// Every run starts from a fresh copy, so what one import wrote never meets the next.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "datafiles/master.h"
#include "datafiles/quotefiles.h"
#include "datafiles/rewrite.h"
#include "demo/demodb.h"
#include "export/exportwriter.h"
#include "extended_db.h"
#include "import/quoteimport.h"
#include "import/quotetext.h"

namespace fs = std::filesystem;
using namespace barwise;

namespace {

double Seconds(const std::function<void()>& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Best(int runs, const std::function<void()>& prepare, const std::function<void()>& measured) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        prepare();
        best = std::min(best, Seconds(measured));
    }
    return best;
}

// Copies every file of `from` into `to` (made empty first), each synced, then the directory.
void CopyAndSync(const fs::path& from, const fs::path& to) {
    std::vector<char> buffer(256 * 1024);
    for (const auto& e : fs::directory_iterator(from)) {
        if (!e.is_regular_file()) continue;
        const int in = ::open(e.path().c_str(), O_RDONLY);
        const int out =
            ::open((to / e.path().filename()).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0) std::abort();
        for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;)
            if (::write(out, buffer.data(), static_cast<std::size_t>(n)) != n) std::abort();
        ::fsync(out);
        ::close(out);
        ::close(in);
    }
    const int d = ::open(to.c_str(), O_RDONLY | O_DIRECTORY);
    ::fsync(d);
    ::close(d);
}

void Fresh(const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
}

void CopyQuietly(const fs::path& from, const fs::path& to) {
    Fresh(to);
    for (const auto& e : fs::directory_iterator(from))
        if (e.is_regular_file()) fs::copy_file(e.path(), to / e.path().filename());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    const fs::path db = bench::ExtendedBenchDb();
    if (db.empty()) {
        std::fprintf(stderr, "cannot write the benchmark portfolio\n");
        return 1;
    }
    const fs::path work = fs::temp_directory_path() / "barwise-import-bench";
    const fs::path copy = work / "copy";
    const fs::path target = work / "target";
    fs::create_directories(work);

    // 1. The day file: each security's next weekday after its last quote.
    if (only.empty() || only == "day") {
        std::string day = "<TICKER>,<DATE>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n";
        for (int n = 1; n <= bench::kExtendedSecurities; ++n) {
            const DemoSeries s = ExtendedPortfolioSeries(n, bench::kExtendedQuotesEach);
            const DateParts p = SplitDate(s.quotes.back().date + 3);
            char line[160];
            std::snprintf(line, sizeof line, "%s,%04d%02d%02d,10.5,11,10,10.75,12345,7\n",
                          s.symbol.c_str(), p.year + 1900, p.month, p.day);
            day += line;
        }
        const fs::path dayFile = work / "day.csv";
        std::ofstream(dayFile, std::ios::binary) << day;

        const double copyTime = Best(
            3, [&] { Fresh(copy); }, [&] { CopyAndSync(db, copy); });
        int added = 0;
        const double dayTime = Best(
            3, [&] { CopyQuietly(db, target); },
            [&] {
                const QuoteText text = ReadQuoteFile(dayFile, {});
                const ImportReport r = ImportQuotes(target.string(), {text}, {});
                if (r.change.status != kSuccess) {
                    std::fprintf(stderr, "day import failed: %s\n", r.failure.c_str());
                    std::exit(1);
                }
                added = r.added();
            });
        std::printf(
            "day file of %d symbols into the %d-security portfolio: %.3f s (%d quotes added)\n",
            bench::kExtendedSecurities, bench::kExtendedSecurities, dayTime, added);
        std::printf("copying and syncing the portfolio's files:             %.3f s\n", copyTime);
        std::printf("ratio day import / copy+sync: %.2f (at most 3)\n\n", dayTime / copyTime);
    }
    if (!only.empty() && only != "rows") {
        fs::remove_all(work);
        return 0;
    }

    // 2. 65,534 rows: exported from a full series, imported into an empty one.
    const fs::path full = work / "full";
    Fresh(full);
    // A full series of weekdays ending in 2199, so every date is one the text forms hold
    // (the extended portfolio's own series would run past 2199).
    DemoSeries s = ExtendedPortfolioSeries(1, kMaxQuotesPerFile);
    DateCode when = PreviousWeekday(MakeDate(2199, 12, 31));
    for (auto it = s.quotes.rbegin(); it != s.quotes.rend(); ++it, when = PreviousWeekday(when))
        it->date = when;
    DemoPortfolio portfolio;
    portfolio.series = {s};
    if (!WritePortfolio(full, portfolio)) return 1;
    MasterRecord record;
    SecurityId id;
    if (FindSymbol(full.string(), s.symbol, record, id) != kSuccess) return 1;
    ExportOptions eo;
    eo.delimiter = ',';
    eo.title = true;
    eo.dateFormat = ExportDateFormat::kIso;
    const fs::path rows = work / "rows.csv";
    auto exportRows = [&] {
        {
            std::ofstream out(rows, std::ios::binary);
            if (ExportSecurity(id, eo, out) != kSuccess) std::exit(1);
        }
        const int fd = ::open(rows.c_str(), O_RDONLY);
        ::fsync(fd);
        ::close(fd);
    };
    const fs::path empty = work / "empty";
    auto makeEmpty = [&] {
        Fresh(empty);
        MasterRecord m = MakeMasterRecord(
            DemoSeries{1, "EMPTY", "EMPTY", 'D', 28, DefaultColumns(28), false, {}, {}});
        if (!WriteMasterFile(empty / "MASTER", {m}, 1)) std::exit(1);
        if (WriteDatFile(RealFileSystem(), empty / "F1.DAT", 28, 7, DefaultColumns(28), {}) !=
            kSuccess)
            std::exit(1);
    };
    auto importRows = [&] {
        std::vector<QuoteText> texts;
        texts.push_back(ReadQuoteFile(rows, {}));
        ImportOptions o;
        MasterRecord r;
        SecurityId into;
        if (FindSymbol(empty.string(), "EMPTY", r, into) != kSuccess) std::exit(1);
        o.into = into;
        const ImportReport rep = ImportQuotes(empty.string(), texts, o);
        if (rep.change.status != kSuccess || rep.added() != kMaxQuotesPerFile) {
            std::fprintf(stderr, "rows import failed: %s (%d added)%s%s\n", rep.failure.c_str(),
                         rep.added(), rep.bad.empty() ? "" : "; first: ",
                         rep.bad.empty() ? "" : BadLineText(rep.bad.front()).c_str());
            std::exit(1);
        }
    };
    double exportTime = 1e30, rowsTime = 1e30;
    for (int i = 0; i < 7; ++i) {
        fs::remove(rows);
        exportTime = std::min(exportTime, Seconds(exportRows));
        makeEmpty();
        rowsTime = std::min(rowsTime, Seconds(importRows));
    }
    std::printf("%d rows into an empty security: %.3f s\n", kMaxQuotesPerFile, rowsTime);
    std::printf("exporting the same rows:          %.3f s\n", exportTime);
    std::printf("ratio import / export: %.2f (at most 2)\n", rowsTime / exportTime);
    fs::remove_all(work);
    return 0;
}
