#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

#include "cli/checkcommand.h"
#include "cli/clicommon.h"
#include "cli/importcommands.h"
#include "cli/quotecommands.h"
#include "cli/symbolcommands.h"
#include "cli/undocommands.h"
#include "commands/datafacts/facttexts.h"
#include "commands/symbols/symbolops.h"
#include "datafiles/ascii.h"
#include "datafiles/datafacts.h"
#include "datafiles/encoding.h"
#include "datafiles/fileio.h"
#include "datafiles/master.h"
#include "datafiles/quotefiles.h"
#include "datafiles/status.h"
#include "demo/damageddb.h"
#include "demo/demodb.h"
#include "discovery/pathfilter.h"
#include "discovery/portfoliosearch.h"
#include "discovery/seriescursor.h"
#include "discovery/symbollist.h"
#include "export/exportwriter.h"
#include "export/outputfile.h"
#include "splitsearch/splitscan.h"

namespace barwise {
namespace {

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

std::string DateText(const std::uint8_t* mbf) {
    const float real = MbfToFloat(mbf);
    return FormatDateMdy(DateFromReal(real));
}

// A DAT file that holds another number of whole quotes than its header says: Barwise
// shows the quotes both agree on and says nothing, so this is a warning, not a failure.
void NoteQuoteCount(const CliStreams& io, const std::string& datFile, std::int64_t held,
                    int header) {
    if (held < 0 || held == header) return;
    io.err << kProgram << ": " << datFile << " holds " << held << " quote" << (held == 1 ? "" : "s")
           << ", its header says " << header << '\n';
}

// The text a symbols-grid row stands for as a key: the symbol text, or for a record
// listed under its name, the name without its trailing blanks (FindSymbol compares names
// so, and barwise-cli never repairs MASTER).
std::string RowKey(const SymbolRow& row) {
    return SymbolText(row.record).empty() ? TrimPadding(row.symbol) : row.symbol;
}

// ----- portfolios -----

int RunPortfolios(const CliStreams& io, const std::string& rootArg,
                  const std::optional<std::string>& filter) {
    const std::string root = NormalizeSearchRoot(rootArg);
    std::error_code ec;
    fs::path check(root);
    // A bare drive ("P:") stands for its root directory.
    if (check.has_root_name() && !check.has_root_directory() && check.relative_path().empty())
        check /= "\\";
    if (!fs::is_directory(check, ec))
        return DataFailure(io, root, kFileNotFound, "not a directory");
    const SearchOptions options =
        VolumeSearchOptions(root, filter.has_value(), ToUpperAscii(filter.value_or("")));
    std::vector<std::string> found;
    SearchDirectory(root, found, options);
    if (found.empty()) {
        io.err << "No master files found under " << root
               << "\n\n(Is your Portfolio Search Filter setting correct?)\n";
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

int RunSymbols(const CliStreams& io, const std::string& dir) {
    const fs::path master = MasterPathOf(dir);
    const SymbolListing listing = ListSymbols(master);
    if (listing.status != kSuccess) return DataFailure(io, master.string(), listing.status);
    if (const std::string notice = OverLimitText(listing.headerCount); !notice.empty())
        io.err << notice << '\n';
    std::string text = "SYMBOL,NAME,FILE,RECLEN,FIELDS,FIRST,LAST,PERIOD,INDEX\n";
    for (const SymbolRow& row : listing.rows) {
        const MasterRecord& r = row.record;
        text += CsvField(Latin1ToUtf8(RowKey(row)));
        text += ',' + CsvField(Latin1ToUtf8(SecurityName(r)));
        text += ',' + std::to_string(r.fileNumber());
        text += ',' + std::to_string(r.recordLength());
        text += ',' + std::to_string(r.fieldCount());
        text += ',' + DateText(&r.bytes[kMasterFirstDateOffset]);
        text += ',' + DateText(&r.bytes[kMasterLastDateOffset]);
        const char period = r.period();
        text += ',' + CsvField(Latin1ToUtf8(static_cast<unsigned char>(period) > 0x20
                                                ? std::string(1, period)
                                                : std::string()));
        text += row.id.inXmaster() ? ",XMASTER\n" : ",MASTER\n";
    }
    io.out << text;
    return NoteMasterCount(io, ReadMasterFile(dir, 0)) ? kExitDataFailure : kExitOk;
}

// ----- facts -----

int RunFacts(const CliStreams& io, const std::string& dir, const std::string& symbolArg) {
    // An empty key would find the first entry whose symbol field is blank: a typing slip.
    if (symbolArg.empty()) return UsageFailure(io, "facts: SYMBOL must not be empty");
    const std::string key = Utf8ToLatin1(symbolArg);
    NoteMasterCount(io, ReadMasterFile(dir, 0));  // a warning here: one security is looked up
    DataFacts facts;
    if (ReadDataFacts(dir, key, facts) != kSuccess) {
        // Find the step that failed, to name its file and status.
        SeriesCursor cursor;
        const DataStatus status = cursor.openKey(dir, key);
        const std::string file =
            cursor.datPath().empty() ? MasterPathOf(dir).string() : cursor.datPath().string();
        return DataFailure(io, file, status == kSuccess ? kFileRead : status,
                           "symbol " + symbolArg);
    }
    std::string text;
    for (const FactLine& f : FactLines(facts)) {
        // "Path:" carries its colon in the dialog already.
        const bool colon = !f.label.empty() && f.label.back() == ':';
        text += f.label + (colon ? " " : ": ") + Latin1ToUtf8(f.text) + "\n";
    }
    MasterRecord record;
    SecurityId id;
    const bool found = FindSymbol(dir, key, record, id) == kSuccess;
    if (found) {
        text += "Data file: " + facts.dataFile + "\n";
        text += std::string("Listed in: ") + (id.inXmaster() ? "XMASTER" : "MASTER") + "\n";
    }
    io.out << text;
    if (found) {
        NoteQuoteCount(
            io, SeriesFilePath(id.directory, record.fileNumber(), DataExtensionOf(id)).string(),
            facts.quotesInFile, facts.quoteCount);
    }
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
    bool time = false;
    bool fullPrecision = false;
};

// The name itself or the file a link of that name leads to.
bool NamesQuoteData(const std::string& output) {
    return IsQuoteDataFileName(output);
}

// What writing an output file came to: the status of what produced the content (a read
// failure, say) and the status of the output itself.
struct Written {
    DataStatus content = kSuccess;
    DataStatus output = kSuccess;
};

// Writes an output file (OutputFile: safe for regular files, direct for devices and FIFOs).
// Nothing is put in place unless `write` succeeded and everything was written.
Written WriteOutput(const fs::path& path, const std::function<DataStatus(std::ostream&)>& write) {
    Written w;
    OutputFile file(path);
    w.output = file.open();
    if (w.output != kSuccess) return w;
    w.content = write(file.stream());
    if (w.content == kFileWrite) {  // the stream failed: the output's fault
        w.content = kSuccess;
        w.output = kFileWrite;
    }
    if (w.content != kSuccess || w.output != kSuccess) {
        file.abandon();
        if (w.output == kSuccess) w.output = kFileWrite;  // nothing was put in place
        return w;
    }
    w.output = file.commit();
    return w;
}

// "barwise-cli: <output>: File Write (...)" for a failed output.
int OutputFailure(const CliStreams& io, const std::string& output, DataStatus status) {
    std::error_code ec;
    if (status == kFileOpen && fs::is_fifo(fs::status(output, ec)))
        return DataFailure(io, output, status, "a pipe that no program reads from");
    if (status == kReadOnly) return DataFailure(io, output, status, "is read-only");
    return DataFailure(io, output, status,
                       status == kFileOpen ? "cannot be created" : "file export error");
}

int RunExport(const CliStreams& io, const ExportArgs& a) {
    const int chosen = (!a.symbol.empty() ? 1 : 0) + (a.fileNumber ? 1 : 0) + (a.all ? 1 : 0);
    if (chosen != 1)
        return UsageFailure(io, "export: give exactly one of SYMBOL, --file N and --all");
    ExportOptions options;
    options.delimiter = a.delim == "comma" ? ',' : a.delim == "tab" ? '\t' : ' ';
    options.newestFirst = a.newestFirst;
    options.title = a.title;
    options.dateFormat = a.iso ? ExportDateFormat::kIso : ExportDateFormat::kMmDdYy;
    options.time = a.time;
    options.fullPrecision = a.fullPrecision;
    if (!a.omit.empty()) {
        static const std::map<std::string, int> kNames = {
            {"open", kExportOpen},   {"high", kExportHigh}, {"low", kExportLow},
            {"close", kExportClose}, {"vol", kExportVol},   {"oi", kExportOi}};
        std::stringstream list(a.omit);
        std::string item;
        while (std::getline(list, item, ',')) {
            const auto it = kNames.find(item);
            if (it == kNames.end())
                return UsageFailure(
                    io, "export: --omit takes open,high,low,close,vol,oi, not '" + item + "'");
            options.omit[static_cast<std::size_t>(it->second)] = true;
        }
    }

    if (a.all) {
        if (a.output.empty() || a.output == "-")
            return UsageFailure(io, "export --all needs -o DIRECTORY");
        const fs::path outDir(a.output);
        std::error_code ec;
        fs::create_directories(outDir, ec);
        if (!fs::is_directory(outDir, ec))
            return DataFailure(io, outDir.string(), kFileOpen, "not a directory");
        // Every entry the file holds, as the symbols grid lists them, each by its identity.
        const MasterFile master = ReadMasterFile(a.dir);
        if (master.status != kSuccess) return DataFailure(io, master.path.string(), master.status);
        const bool countMismatch = NoteMasterCount(io, master, "not exported");
        int failures = 0;
        int files = 0;
        std::int64_t quotes = 0;
        std::set<int> done;
        for (const MasterEntry& e : master.entries) {
            const MasterRecord& r = e.record;
            if (r.isSubdirEntry() || !WithinCount(master, e.id)) continue;
            const std::string txt = "F" + std::to_string(r.fileNumber()) + ".txt";
            if (!done.insert(r.fileNumber()).second) {
                io.err << kProgram << ": " << master.path.string() << ": file number "
                       << r.fileNumber() << " appears more than once; " << txt
                       << " holds the first\n";
                continue;
            }
            const fs::path target = outDir / txt;
            if (NamesQuoteData(target.string())) {  // a link to a data file
                ++failures;
                io.err << kProgram
                       << ": refusing to write over a quote-data file: " << target.string() << '\n';
                continue;
            }
            ExportStats stats;
            const Written w = WriteOutput(target, [&](std::ostream& file) {
                return ExportRecord(e.id, r, options, file, &stats);
            });
            if (w.content != kSuccess) {
                ++failures;
                DataFailure(io, stats.datFile.empty() ? master.path.string() : stats.datFile,
                            w.content, SecurityLabel(r, e.id.position));
                continue;
            }
            if (w.output != kSuccess) {
                ++failures;
                OutputFailure(io, target.string(), w.output);
                continue;
            }
            NoteQuoteCount(io, stats.datFile, stats.quotesInFile, stats.headerQuotes);
            ++files;
            quotes += stats.quotes;
        }
        io.err << "Exported " << files << " securities, " << quotes << " quotes to "
               << outDir.string() << '\n';
        return failures == 0 && !countMismatch ? kExitOk : kExitDataFailure;
    }

    // One security, by key or by file number.
    int status = kExitOk;
    const auto selected = SelectSecurity(io, a.dir, a.symbol, a.fileNumber, status);
    if (!selected) return status;
    const bool toStdout = a.output.empty() || a.output == "-";
    if (!toStdout && NamesQuoteData(a.output)) {
        return UsageFailure(io,
                            "export: refusing to write over a quote-data file name: " + a.output);
    }
    ExportStats stats;
    auto exportTo = [&](std::ostream& stream) {
        return ExportRecord(selected->id, selected->record, options, stream, &stats);
    };
    Written w;
    if (toStdout) {
        w.content = exportTo(io.out);
        if (w.content == kFileWrite) w = {kSuccess, kFileWrite};
    } else {
        w = WriteOutput(fs::path(a.output), exportTo);
    }
    if (w.content != kSuccess) {
        const std::string what = a.fileNumber
                                     ? SecurityLabel(selected->record, selected->id.position)
                                     : "symbol " + a.symbol;
        const std::string where = !stats.datFile.empty() && w.content != kFileNotFound
                                      ? stats.datFile
                                      : MasterPathOf(selected->id.directory).string();
        return DataFailure(io, where, w.content, what);
    }
    if (w.output != kSuccess)
        return OutputFailure(io, toStdout ? std::string("standard output") : a.output, w.output);
    NoteQuoteCount(io, stats.datFile, stats.quotesInFile, stats.headerQuotes);
    return kExitOk;
}

// ----- split-search -----

int RunSplitSearch(const CliStreams& io, const std::string& dir, const std::string& output) {
    const bool toFile = !output.empty() && output != "-";
    if (toFile && NamesQuoteData(output)) {
        return UsageFailure(
            io, "split-search: refusing to write over a quote-data file name: " + output);
    }
    const fs::path master = MasterPathOf(dir);
    const SymbolListing listing = ListSymbols(master);
    if (listing.status != kSuccess) return DataFailure(io, master.string(), listing.status);
    const MasterFile file = ReadMasterFile(dir, 0);
    const bool countMismatch = NoteMasterCount(io, file, "not searched");
    // Each row by its identity; sub-directory entries are rows of the grid but hold no quotes
    // of their own.
    std::vector<SplitTarget> targets;
    for (const SymbolRow& row : listing.rows) {
        if (row.record.isSubdirEntry() || !WithinCount(file, row.id)) continue;
        std::string ticker = RowKey(row);
        if (ticker.empty()) ticker = "record " + std::to_string(row.position);
        targets.push_back({std::move(ticker), row.id, row.record});
    }

    std::string lines;
    SplitScanObserver observer;
    observer.result = [&](const std::string& line) {
        lines += Latin1ToUtf8(line) + (toFile ? "\r\n" : "\n");
    };
    observer.fewerThanTwo = [&](const std::string&, const std::string& message) {
        io.err << Latin1ToUtf8(message) << '\n';
    };
    observer.unreadable = [&](const std::string&, const std::string& message) {
        io.err << Latin1ToUtf8(message) << '\n';
    };
    observer.quoteCount = [&](const std::string&, const std::string& file, std::int64_t held,
                              int header) { NoteQuoteCount(io, file, held, header); };
    const SplitScanResult result = ScanForSplits(targets, observer);

    if (toFile && result.end != SplitScanEnd::kDone) {
        // A search that ended early writes no result file: an earlier one stays as it was.
        io.err << kProgram << ": " << output << ": nothing written, the search did not finish\n";
    } else if (toFile) {
        const Written w = WriteOutput(fs::path(output), [&](std::ostream& file) {
            file << lines;
            return file ? kSuccess : kFileWrite;
        });
        if (w.output != kSuccess) return OutputFailure(io, output, w.output);
    } else {
        io.out << lines;
    }
    switch (result.end) {
        case SplitScanEnd::kNoStorage:
            io.err << kTooManyBarsMessage << '\n';
            return kExitDataFailure;
        case SplitScanEnd::kReadError:
            io.err << kSplitReadErrorMessage << '\n';
            return DataFailure(io, result.failedFile, result.status,
                               (result.failedTicker.rfind("record ", 0) == 0 ? "" : "symbol ") +
                                   Latin1ToUtf8(result.failedTicker));
        case SplitScanEnd::kDone:
        case SplitScanEnd::kCancelled:
            break;
    }
    if (!result.found) io.err << kNoCandidatesMessage << '\n';
    return result.unreadable == 0 && !countMismatch ? kExitOk : kExitDataFailure;
}

// ----- make-demo -----

int RunMakeDemo(const CliStreams& io, const std::string& dir, bool large, bool damaged) {
    DemoResult result = WriteDemoDatabase(fs::path(dir), large);
    if (result.status == kSuccess && damaged) {
        // Beside the demo's portfolios, in the directory make-demo has just marked as its own.
        const DemoResult d =
            WriteDamagedPortfolio(fs::path(dir) / std::string(kDamagedPortfolioName));
        if (d.status != kSuccess) return DataFailure(io, d.file, d.status);
        result.portfolios += d.portfolios;
        result.securities += d.securities;
        result.quotes += d.quotes;
    }
    if (result.status == kFileExists) {
        return DataFailure(io, result.file, result.status,
                           "not empty and not written by make-demo; nothing written");
    }
    if (result.status != kSuccess) return DataFailure(io, result.file, result.status);
    io.err << "Wrote " << result.portfolios << " portfolio" << (result.portfolios == 1 ? "" : "s")
           << ", " << result.securities << " securities, " << result.quotes << " quotes into "
           << dir << '\n';
    return kExitOk;
}

// ----- the subcommands' arguments -----

void DefinePortfolios(CLI::App& c, const CommandSetup& setup) {
    struct Args {
        std::string root;
        std::optional<std::string> filter;
    };
    auto a = std::make_shared<Args>();
    c.add_option("ROOT", a->root, "Directory to search from")->required();
    c.add_option("--filter", a->filter,
                 "Search only paths like PATH (the Portfolio Search Filter)");
    c.callback([a, setup] {
        setup.run = [a, &io = setup.io] { return RunPortfolios(io, a->root, a->filter); };
    });
}

void DefineSymbols(CLI::App& c, const CommandSetup& setup) {
    auto dir = std::make_shared<std::string>();
    c.add_option("DIR", *dir, "Portfolio directory")->required();
    c.callback(
        [dir, setup] { setup.run = [dir, &io = setup.io] { return RunSymbols(io, *dir); }; });
}

void DefineExport(CLI::App& c, const CommandSetup& setup) {
    auto ex = std::make_shared<ExportArgs>();
    c.add_option("DIR", ex->dir, "Portfolio directory")->required();
    c.add_option("SYMBOL", ex->symbol, "Symbol or name, looked up as Barwise looks up a key");
    c.add_option("--file", ex->fileNumber, "Export the security with file number N (F<N>.DAT)")
        ->check(WholeNumberCheck);
    c.add_flag("--all", ex->all,
               "Export every security of DIR into the directory PATH, one F<n>.txt each");
    c.add_option("-o,--output", ex->output,
                 "Output file (standard output when absent or -); a directory with --all");
    c.add_option("--delim", ex->delim, "Column delimiter")
        ->check(CLI::IsMember({"space", "comma", "tab"}));
    c.add_option("--omit", ex->omit,
                 "Columns to leave out: a comma list of open,high,low,close,vol,oi");
    c.add_flag("--newest-first", ex->newestFirst, "Newest quote first (default oldest first)");
    c.add_flag("--title", ex->title, "Add the title row");
    c.add_flag("--iso", ex->iso, "Dates as YYYY-MM-DD instead of MM/DD/YY");
    c.add_flag("--time", ex->time,
               "A TIME column (HH:MM:SS) after the date, for a series that has times");
    c.add_flag("--full-precision", ex->fullPrecision,
               "Every value as the shortest text that reads back to the stored value");
    c.callback([ex, setup] { setup.run = [ex, &io = setup.io] { return RunExport(io, *ex); }; });
}

void DefineFacts(CLI::App& c, const CommandSetup& setup) {
    struct Args {
        std::string dir, symbol;
    };
    auto a = std::make_shared<Args>();
    c.add_option("DIR", a->dir, "Portfolio directory")->required();
    c.add_option("SYMBOL", a->symbol, "Symbol or name")->required();
    c.callback([a, setup] {
        setup.run = [a, &io = setup.io] { return RunFacts(io, a->dir, a->symbol); };
    });
}

void DefineSplitSearch(CLI::App& c, const CommandSetup& setup) {
    struct Args {
        std::string dir, output;
    };
    auto a = std::make_shared<Args>();
    c.add_option("DIR", a->dir, "Portfolio directory")->required();
    c.add_option("-o,--output", a->output, "Save the result lines to FILE (CR LF line ends)");
    c.callback([a, setup] {
        setup.run = [a, &io = setup.io] { return RunSplitSearch(io, a->dir, a->output); };
    });
}

void DefineMakeDemo(CLI::App& c, const CommandSetup& setup) {
    struct Args {
        std::string dir;
        bool large = false;
        bool damaged = false;
    };
    auto a = std::make_shared<Args>();
    c.add_option("DIR", a->dir, "Directory to write the demo database into")->required();
    c.add_flag("--large", a->large,
               "One portfolio of 255 securities of 8,000 quotes each, for benchmarks");
    c.add_flag("--damaged", a->damaged,
               "Also DIR/DAMAGED: one case of everything barwise-cli check finds");
    c.callback([a, setup] {
        setup.run = [a, &io = setup.io] { return RunMakeDemo(io, a->dir, a->large, a->damaged); };
    });
}

// Every subcommand: its name, what --help says of it, and its arguments and body.
const std::vector<CliCommand> kCommands = {
    {"portfolios", "List the portfolios (directories holding a MASTER file) at or below ROOT",
     DefinePortfolios},
    {"symbols", "List the symbols of the portfolio DIR as the symbols grid shows them",
     DefineSymbols},
    {"export", "Export the quotes of one security (or of all) as delimited text", DefineExport},
    {"facts", "Show the data facts of one security", DefineFacts},
    {"split-search", "Search the portfolio DIR for jumps that look like unrecorded splits",
     DefineSplitSearch},
    {"make-demo", "Write the demo database into DIR", DefineMakeDemo},
    {"rename-symbol", "Give a security a new symbol and name", DefineRenameSymbol},
    {"delete-symbol", "Take a security out of MASTER and remove its data files",
     DefineDeleteSymbol},
    {"move-symbol", "Move a security into the portfolio DESTDIR", DefineMoveSymbol},
    {"copy-symbol", "Copy a security into the portfolio DESTDIR", DefineCopySymbol},
    {"edit-quote", "Change the values of one day of a security", DefineEditQuote},
    {"split", "Record a split: scale every quote before DATE by the share ratio", DefineSplit},
    {"adjust", "Multiply prices, volume and open interest from FROM to TO", DefineAdjust},
    {"add-quote", "Add the weekday before DATE as a copy of DATE's quote", DefineAddQuote},
    {"delete-quote", "Delete the quote of DATE", DefineDeleteQuote},
    {"check", "Check a portfolio's files and quotes, and mend what is mechanical", DefineCheck},
    {"import", "Import quotes from delimited text files into the portfolio DIR", DefineImport},
    {"new-portfolio", "Write an empty portfolio into DIR", DefineNewPortfolio},
    {"undo", "Take back the last change made to the portfolio DIR (by the window or this tool)",
     DefineUndo},
    {"redo", "Make again the last change undone in the portfolio DIR", DefineRedo},
    {"history", "List the changes of the portfolio DIR that can be undone and redone",
     DefineHistory},
};

}  // namespace

const std::vector<CliCommand>& CliCommands() {
    return kCommands;
}

std::string WholeNumberCheck(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 9 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    return digits ? std::string() : "not a whole number: " + text;
}

std::string Utf8ToLatin1(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) |
                                     (static_cast<unsigned char>(text[i + 1]) & 0x3F));
            ++i;
        } else {
            return std::string(text);  // not Latin-1 in UTF-8: keep the bytes as typed
        }
    }
    return out;
}

int RunCli(int argc, const char* const* argv, const CliStreams& io) {
    CLI::App app{
        "Barwise command-line tool: portfolios, symbols, export, data facts and split search "
        "of MetaStock-format quote databases.",
        std::string(kProgram)};
    app.require_subcommand(1);
    app.fallthrough(false);

    std::function<int()> run;
    const CommandSetup setup{io, run};
    for (const CliCommand& c : kCommands)
        c.define(*app.add_subcommand(std::string(c.name), std::string(c.help)), setup);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, io.out, io.err);
        return code == 0 ? kExitOk : kExitUsage;
    }
    if (!run) return kExitUsage;
    int status = kExitDataFailure;
    try {
        status = run();
    } catch (const std::exception& e) {
        io.err << kProgram << ": " << e.what() << '\n';
    }
    // Results that did not reach standard output (a full disk, a closed pipe) are a failure.
    io.out.flush();
    if (!io.out && status == kExitOk) {
        io.err << kProgram << ": standard output: " << DataStatusName(kFileWrite) << '\n';
        return kExitDataFailure;
    }
    return io.out ? status : kExitDataFailure;
}

int RunCli(const std::vector<std::string>& args, const CliStreams& io) {
    std::vector<const char*> argv;
    argv.push_back(kProgram.data());
    for (const std::string& a : args) argv.push_back(a.c_str());
    return RunCli(static_cast<int>(argv.size()), argv.data(), io);
}

}  // namespace barwise
