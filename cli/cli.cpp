#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

#include "demo/demodb.h"
#include "datafiles/datafacts.h"
#include "datafiles/encoding.h"
#include "datafiles/fileio.h"
#include "datafiles/master.h"
#include "datafiles/status.h"
#include "discovery/pathfilter.h"
#include "discovery/portfoliosearch.h"
#include "discovery/seriescursor.h"
#include "discovery/symbollist.h"
#include "export/exportwriter.h"
#include "splitsearch/splitscan.h"

namespace barwise {
namespace {

constexpr std::string_view kProgram = "barwise-cli";

struct Streams {
    std::ostream& out;
    std::ostream& err;
};

// "barwise-cli: <file>: <status name>" on standard error; exit status 1.
int DataFailure(Streams& io, std::string_view file, DataStatus status, std::string_view what = {}) {
    io.err << kProgram << ": " << file << ": " << DataStatusName(status);
    if (!what.empty()) io.err << " (" << what << ")";
    io.err << '\n';
    return kExitDataFailure;
}

int UsageFailure(Streams& io, std::string_view text) {
    io.err << kProgram << ": " << text << '\n';
    return kExitUsage;
}

// A MASTER text field for display: trailing blanks and NULs removed.
std::string TrimRight(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

// A field of a comma-separated line, quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

fs::path MasterOf(const std::string& dir) { return FindNoCase(fs::path(dir.empty() ? "." : dir), kMasterFileName); }

std::string DateText(const std::uint8_t* mbf) {
    const float real = MbfToFloat(mbf);
    return FormatDateMdy(DateFromReal(real));
}

// The records 1..count of a MASTER file, the ones the symbol lookup reads (not cut at
// 255), or a failure status. `beyond` receives the number of further whole records.
DataStatus ReadMasterRecords(const fs::path& master, std::vector<MasterRecord>& records, int* beyond = nullptr) {
    const auto bytes = ReadWholeFile(master);
    if (!bytes) return kFileOpen;
    if (bytes->size() < kMasterRecordSize) return kFileRead;
    const int count = MasterCount(bytes->data());
    const int held = static_cast<int>(bytes->size() / kMasterRecordSize) - 1;
    if (beyond != nullptr) *beyond = std::max(held - std::max(count, 0), 0);
    const std::size_t end = kMasterRecordSize * (static_cast<std::size_t>(std::clamp(count, 0, held)) + 1);
    for (std::size_t at = kMasterRecordSize; at + kMasterRecordSize <= end; at += kMasterRecordSize) {
        MasterRecord r;
        std::copy_n(bytes->begin() + static_cast<std::ptrdiff_t>(at), kMasterRecordSize, r.bytes.begin());
        records.push_back(r);
    }
    return kSuccess;
}

// The text a symbols-grid row stands for as a key: the symbol text, or for a record
// listed under its name, the name without its trailing blanks (FindSymbol compares names
// so, and barwise-cli never repairs MASTER).
std::string RowKey(const SymbolRow& row) { return SymbolText(row.record).empty() ? TrimRight(row.symbol) : row.symbol; }

// ----- portfolios -----

int RunPortfolios(Streams& io, const std::string& rootArg, const std::optional<std::string>& filter) {
    const std::string root = NormalizeSearchRoot(rootArg);
    std::error_code ec;
    fs::path check(root);
    // A bare drive ("P:") stands for its root directory.
    if (check.has_root_name() && !check.has_root_directory() && check.relative_path().empty()) check /= "\\";
    if (!fs::is_directory(check, ec)) return DataFailure(io, root, kFileNotFound, "not a directory");
    const SearchOptions options = VolumeSearchOptions(root, filter.has_value(), ToUpperAscii(filter.value_or("")));
    std::vector<std::string> found;
    SearchDirectory(root, found, options);
    if (found.empty()) {
        io.err << "No master files found under " << root << "\n\n(Is your Portfolio Search Filter setting correct?)\n";
        return kExitOk;
    }
    std::string text;
    for (const std::string& p : SortPortfolios(std::move(found))) {
        text += p;
        text += '\n';
    }
    io.out << text;
    return kExitOk;
}

// ----- symbols -----

int RunSymbols(Streams& io, const std::string& dir) {
    const fs::path master = MasterOf(dir);
    const SymbolListing listing = ListSymbols(master);
    if (listing.status != kSuccess) return DataFailure(io, master.string(), listing.status);
    if (listing.headerCount > kMaxSymbolRows) {
        io.err << "File has " << listing.headerCount << " symbols.\nWill only display the first " << kMaxSymbolRows
               << " symbols\n";
    }
    std::string text = "SYMBOL,NAME,FILE,RECLEN,FIELDS,FIRST,LAST,PERIOD\n";
    for (const SymbolRow& row : listing.rows) {
        const MasterRecord& r = row.record;
        text += CsvField(Latin1ToUtf8(RowKey(row)));
        text += ',' + CsvField(Latin1ToUtf8(TrimRight(row.name)));
        text += ',' + std::to_string(r.fileNumber());
        text += ',' + std::to_string(r.recordLength());
        text += ',' + std::to_string(r.fieldCount());
        text += ',' + DateText(&r.bytes[kMasterFirstDateOffset]);
        text += ',' + DateText(&r.bytes[kMasterLastDateOffset]);
        const char period = r.period();
        text += ',' + CsvField(Latin1ToUtf8(static_cast<unsigned char>(period) > 0x20 ? std::string(1, period) : std::string()));
        text += '\n';
    }
    io.out << text;
    if (listing.countMismatch()) {
        io.err << kProgram << ": " << master.string() << ": the header counts " << listing.headerCount
               << " records, the file holds " << listing.rows.size()
               << (listing.rows.size() >= static_cast<std::size_t>(kMaxSymbolRows) ? " or more" : "")
               << " (the program shows \"Failure while filling symbols grid\")\n";
        return kExitDataFailure;
    }
    return kExitOk;
}

// ----- facts -----

int RunFacts(Streams& io, const std::string& dir, const std::string& symbolArg) {
    const std::string key = Utf8ToLatin1(symbolArg);
    DataFacts facts;
    if (ReadDataFacts(dir, key, facts) != 0) {
        // Find the step that failed, to name its file and status.
        SeriesCursor cursor;
        const DataStatus status = cursor.openKey(dir, key);
        const std::string file = cursor.datPath().empty() ? MasterOf(dir).string() : cursor.datPath().string();
        return DataFailure(io, file, status == kSuccess ? kFileRead : status, "symbol " + symbolArg);
    }
    std::string text;
    for (const FactText& f : DataFactsTexts(facts)) {
        // "Path:" carries its colon in the dialog already.
        const bool colon = !f.label.empty() && f.label.back() == ':';
        text += f.label + (colon ? " " : ": ") + Latin1ToUtf8(f.text) + "\n";
    }
    io.out << text;
    return kExitOk;
}

// ----- export -----

struct ExportArgs {
    std::string dir;
    std::string symbol;
    std::optional<int> fileNumber;
    bool all = false;
    std::string output;
    std::string delim = "space";
    std::string omit;
    bool newestFirst = false;
    bool title = false;
    bool iso = false;
};

// True when a file name is one of the quote-data files an export must never replace.
bool IsQuoteDataName(const fs::path& path) {
    std::string name = ToUpperAscii(path.filename().string());
    if (name == "MASTER" || name == "EMASTER" || name == "XMASTER") return true;
    if (name.size() < 6 || name[0] != 'F') return false;
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos || dot < 2) return false;
    if (!std::all_of(name.begin() + 1, name.begin() + static_cast<std::ptrdiff_t>(dot), [](char c) { return c >= '0' && c <= '9'; })) return false;
    const std::string ext = name.substr(dot + 1);
    return ext == "DAT" || ext == "DOP" || ext == "MWD" || ext == "BAK" || ext == "NEW";
}

// Writes a text file through a temporary sibling that is renamed over the target only
// when everything was written: a failed export leaves no partial file and an earlier
// export of the same name as it was.
DataStatus WriteThroughTemporary(const fs::path& target, std::vector<char>& buffer,
                                 const std::function<DataStatus(std::ostream&)>& write) {
    fs::path temporary = target;
    temporary += ".part";
    std::ofstream file;
    file.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    file.open(temporary, std::ios::binary | std::ios::trunc);
    if (!file) return kFileOpen;
    DataStatus status = write(file);
    file.close();
    if (status == kSuccess && !file) status = kFileWrite;
    std::error_code ec;
    if (status == kSuccess) {
        fs::rename(temporary, target, ec);
        if (ec) status = kFileWrite;
    }
    if (status != kSuccess) fs::remove(temporary, ec);
    return status;
}

int RunExport(Streams& io, const ExportArgs& a) {
    const int chosen = (!a.symbol.empty() ? 1 : 0) + (a.fileNumber ? 1 : 0) + (a.all ? 1 : 0);
    if (chosen != 1) return UsageFailure(io, "export: give exactly one of SYMBOL, --file N and --all");
    ExportOptions options;
    options.delimiter = a.delim == "comma" ? ',' : a.delim == "tab" ? '\t' : ' ';
    options.newestFirst = a.newestFirst;
    options.title = a.title;
    options.dateFormat = a.iso ? ExportDateFormat::kIso : ExportDateFormat::kMmDdYy;
    if (!a.omit.empty()) {
        static const std::map<std::string, int> kNames = {{"open", kExportOpen}, {"high", kExportHigh},
                                                          {"low", kExportLow},   {"close", kExportClose},
                                                          {"vol", kExportVol},   {"oi", kExportOi}};
        std::stringstream list(a.omit);
        std::string item;
        while (std::getline(list, item, ',')) {
            const auto it = kNames.find(item);
            if (it == kNames.end()) return UsageFailure(io, "export: --omit takes open,high,low,close,vol,oi, not '" + item + "'");
            options.omit[static_cast<std::size_t>(it->second)] = true;
        }
    }

    if (a.all) {
        if (a.output.empty() || a.output == "-") return UsageFailure(io, "export --all needs -o DIRECTORY");
        const fs::path outDir(a.output);
        std::error_code ec;
        fs::create_directories(outDir, ec);
        if (!fs::is_directory(outDir, ec)) return DataFailure(io, outDir.string(), kFileOpen, "not a directory");
        const fs::path master = MasterOf(a.dir);
        std::vector<MasterRecord> records;
        int beyond = 0;
        const DataStatus read = ReadMasterRecords(master, records, &beyond);
        if (read != kSuccess) return DataFailure(io, master.string(), read);
        if (beyond > 0) {
            io.err << kProgram << ": " << master.string() << ": " << beyond << " record" << (beyond == 1 ? "" : "s")
                   << " after the header's count of " << records.size() << " not exported (no lookup reads them)\n";
        }
        int failures = 0;
        int files = 0;
        std::int64_t quotes = 0;
        std::set<int> done;
        std::vector<char> buffer(1 << 20);
        for (const MasterRecord& r : records) {
            if (r.isSubdirEntry()) continue;
            if (!done.insert(r.fileNumber()).second) {
                io.err << kProgram << ": " << master.string() << ": file number " << r.fileNumber()
                       << " appears more than once; F" << r.fileNumber() << ".txt holds the first\n";
                continue;
            }
            std::string name = "F";
            name += std::to_string(r.fileNumber());
            name += ".txt";
            const fs::path target = outDir / name;
            ExportStats stats;
            DataStatus status = kSuccess;
            const DataStatus written = WriteThroughTemporary(target, buffer, [&](std::ostream& file) {
                status = ExportRecord(a.dir, r, options, file, &stats);
                return status;
            });
            if (written != kSuccess) {
                ++failures;
                DataFailure(io, status != kSuccess ? stats.datFile : target.string(), written,
                            status != kSuccess ? "symbol " + Latin1ToUtf8(SymbolText(r)) : "file export error");
                continue;
            }
            ++files;
            quotes += stats.quotes;
        }
        io.err << "Exported " << files << " securities, " << quotes << " quotes to " << outDir.string() << '\n';
        return failures == 0 ? kExitOk : kExitDataFailure;
    }

    // One security, by key or by file number.
    std::optional<MasterRecord> byNumber;
    if (a.fileNumber) {
        const fs::path master = MasterOf(a.dir);
        std::vector<MasterRecord> records;
        const DataStatus read = ReadMasterRecords(master, records);
        if (read != kSuccess) return DataFailure(io, master.string(), read);
        for (const MasterRecord& r : records) {
            if (!r.isSubdirEntry() && r.fileNumber() == *a.fileNumber) {
                byNumber = r;
                break;
            }
        }
        if (!byNumber) return DataFailure(io, master.string(), kFileNotFound, std::string("no record with file number ").append(std::to_string(*a.fileNumber)));
    }
    const bool toStdout = a.output.empty() || a.output == "-";
    if (!toStdout && IsQuoteDataName(a.output)) {
        return UsageFailure(io, "export: refusing to write over a quote-data file name: " + a.output);
    }
    ExportStats stats;
    DataStatus status = kSuccess;
    auto exportTo = [&](std::ostream& stream) {
        status = byNumber ? ExportRecord(a.dir, *byNumber, options, stream, &stats)
                          : ExportSymbol(a.dir, Utf8ToLatin1(a.symbol), options, stream, &stats);
        return status;
    };
    std::vector<char> buffer(1 << 20);
    const DataStatus written = toStdout ? exportTo(io.out) : WriteThroughTemporary(fs::path(a.output), buffer, exportTo);
    if (status != kSuccess) {
        const std::string what = byNumber ? std::string("file number ").append(std::to_string(*a.fileNumber)) : "symbol " + a.symbol;
        const std::string where = !stats.datFile.empty() && status != kFileNotFound ? stats.datFile : MasterOf(a.dir).string();
        return DataFailure(io, status == kFileWrite ? (toStdout ? std::string("standard output") : a.output) : where, status, what);
    }
    if (written != kSuccess) return DataFailure(io, a.output, written, "file export error");
    return kExitOk;
}

// ----- split-search -----

int RunSplitSearch(Streams& io, const std::string& dir, const std::string& output) {
    if (!output.empty() && output != "-" && IsQuoteDataName(output)) {
        return UsageFailure(io, "split-search: refusing to write over a quote-data file name: " + output);
    }
    const fs::path master = MasterOf(dir);
    const SymbolListing listing = ListSymbols(master);
    if (listing.status != kSuccess) return DataFailure(io, master.string(), listing.status);
    // Sub-directory entries are rows of the grid but hold no quotes of their own.
    std::vector<std::string> tickers;
    for (const SymbolRow& row : listing.rows) {
        if (!row.record.isSubdirEntry()) tickers.push_back(RowKey(row));
    }

    std::string lines;
    SplitScanObserver observer;
    observer.result = [&](const std::string& line) { lines += Latin1ToUtf8(line) + (output.empty() ? "\n" : "\r\n"); };
    observer.fewerThanTwo = [&](const std::string&, const std::string& message) { io.err << Latin1ToUtf8(message) << '\n'; };
    observer.unreadable = [&](const std::string&, const std::string& message) { io.err << Latin1ToUtf8(message) << '\n'; };
    const SplitScanResult result = ScanForSplits(dir, tickers, observer);

    if (!output.empty() && output != "-") {
        std::vector<char> buffer(1 << 16);
        const DataStatus written = WriteThroughTemporary(fs::path(output), buffer, [&](std::ostream& file) {
            file << lines;
            return kSuccess;
        });
        if (written != kSuccess) return DataFailure(io, output, written);
    } else {
        if (!output.empty()) {  // "-": lines as the terminal wants them
            std::string plain;
            for (char c : lines) if (c != '\r') plain += c;
            lines = plain;
        }
        io.out << lines;
    }
    switch (result.end) {
        case SplitScanEnd::kNoStorage:
            io.err << kTooManyBarsMessage << '\n';
            return kExitDataFailure;
        case SplitScanEnd::kReadError:
            io.err << kSplitReadErrorMessage << '\n';
            return DataFailure(io, result.failedFile, result.status, "symbol " + Latin1ToUtf8(result.failedTicker));
        case SplitScanEnd::kDone:
            break;
    }
    if (!result.found) io.err << kNoCandidatesMessage << '\n';
    return result.unreadable == 0 ? kExitOk : kExitDataFailure;
}

// ----- make-demo -----

int RunMakeDemo(Streams& io, const std::string& dir, bool large) {
    const DemoResult result = WriteDemoDatabase(fs::path(dir), large);
    if (result.status == kFileExists) {
        return DataFailure(io, result.file, result.status, "not empty and not written by make-demo; nothing written");
    }
    if (result.status != kSuccess) return DataFailure(io, result.file, result.status);
    io.err << "Wrote " << result.portfolios << " portfolio" << (result.portfolios == 1 ? "" : "s") << ", "
           << result.securities << " securities, " << result.quotes << " quotes into " << dir << '\n';
    return kExitOk;
}

const std::vector<CliCommand> kCommands = {
    {"portfolios", "List the portfolios (directories holding a MASTER file) at or below ROOT"},
    {"symbols", "List the symbols of the portfolio DIR as the symbols grid shows them"},
    {"export", "Export the quotes of one security (or of all) as delimited text"},
    {"facts", "Show the data facts of one security"},
    {"split-search", "Search the portfolio DIR for jumps that look like unrecorded splits"},
    {"make-demo", "Write the demo database into DIR"},
};

std::string_view HelpOf(std::string_view name) {
    for (const CliCommand& c : kCommands) {
        if (c.name == name) return c.help;
    }
    return {};
}

}  // namespace

const std::vector<CliCommand>& CliCommands() { return kCommands; }

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToLatin1(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
            ++i;
        } else {
            return std::string(text);  // not Latin-1 in UTF-8: keep the bytes as typed
        }
    }
    return out;
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    Streams io{out, err};
    CLI::App app{"Barwise command-line tool: portfolios, symbols, export, data facts and split search "
                 "of MetaStock-format quote databases.",
                 std::string(kProgram)};
    app.require_subcommand(1);
    app.fallthrough(false);

    std::function<int()> run;

    std::string root;
    std::optional<std::string> filter;
    {
        auto* c = app.add_subcommand("portfolios", std::string(HelpOf("portfolios")));
        c->add_option("ROOT", root, "Directory to search from")->required();
        c->add_option("--filter", filter, "Search only paths like PATH (the Portfolio Search Filter)");
        c->callback([&] { run = [&] { return RunPortfolios(io, root, filter); }; });
    }
    std::string symbolsDir;
    {
        auto* c = app.add_subcommand("symbols", std::string(HelpOf("symbols")));
        c->add_option("DIR", symbolsDir, "Portfolio directory")->required();
        c->callback([&] { run = [&] { return RunSymbols(io, symbolsDir); }; });
    }
    ExportArgs ex;
    {
        auto* c = app.add_subcommand("export", std::string(HelpOf("export")));
        c->add_option("DIR", ex.dir, "Portfolio directory")->required();
        c->add_option("SYMBOL", ex.symbol, "Symbol or name, looked up as the program looks up a key");
        c->add_option("--file", ex.fileNumber, "Export the security with file number N (F<N>.DAT)");
        c->add_flag("--all", ex.all, "Export every security of DIR into the directory PATH, one F<n>.txt each");
        c->add_option("-o,--output", ex.output, "Output file (standard output when absent or -); a directory with --all");
        c->add_option("--delim", ex.delim, "Column delimiter")->check(CLI::IsMember({"space", "comma", "tab"}));
        c->add_option("--omit", ex.omit, "Columns to leave out: a comma list of open,high,low,close,vol,oi");
        c->add_flag("--newest-first", ex.newestFirst, "Newest quote first (default oldest first)");
        c->add_flag("--title", ex.title, "Add the title row");
        c->add_flag("--iso", ex.iso, "Dates as YYYY-MM-DD instead of MM/DD/YY");
        c->callback([&] { run = [&] { return RunExport(io, ex); }; });
    }
    std::string factsDir, factsSymbol;
    {
        auto* c = app.add_subcommand("facts", std::string(HelpOf("facts")));
        c->add_option("DIR", factsDir, "Portfolio directory")->required();
        c->add_option("SYMBOL", factsSymbol, "Symbol or name")->required();
        c->callback([&] { run = [&] { return RunFacts(io, factsDir, factsSymbol); }; });
    }
    std::string splitDir, splitOutput;
    {
        auto* c = app.add_subcommand("split-search", std::string(HelpOf("split-search")));
        c->add_option("DIR", splitDir, "Portfolio directory")->required();
        c->add_option("-o,--output", splitOutput, "Save the result lines to FILE (CR LF line ends)");
        c->callback([&] { run = [&] { return RunSplitSearch(io, splitDir, splitOutput); }; });
    }
    std::string demoDir;
    bool demoLarge = false;
    {
        auto* c = app.add_subcommand("make-demo", std::string(HelpOf("make-demo")));
        c->add_option("DIR", demoDir, "Directory to write the demo database into")->required();
        c->add_flag("--large", demoLarge, "One portfolio of 255 securities of 8,000 quotes each, for benchmarks");
        c->callback([&] { run = [&] { return RunMakeDemo(io, demoDir, demoLarge); }; });
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (!run) return kExitUsage;
    try {
        return run();
    } catch (const std::exception& e) {
        io.err << kProgram << ": " << e.what() << '\n';
        return kExitDataFailure;
    }
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<const char*> argv;
    argv.push_back(kProgram.data());
    for (const std::string& a : args) argv.push_back(a.c_str());
    return RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
}

}  // namespace barwise
