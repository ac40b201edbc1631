#include "cli/importcommands.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/clicommon.h"
#include "import/quoteimport.h"
#include "import/quotetext.h"

namespace barwise {
namespace {

struct ImportArgs {
    std::string dir;
    std::vector<std::string> rest;  // FILE... and, last, SYMBOL
    std::optional<int> fileNumber;
    std::string columns, delim, dateFormat;
    bool replace = false, create = false, skipBad = false, dryRun = false, checkHighLow = false;
};

std::optional<char> DelimiterOf(const std::string& text) {
    if (text.empty()) return char{0};
    if (text == "comma" || text == ",") return ',';
    if (text == "semicolon" || text == ";") return ';';
    if (text == "tab" || text == "\t") return '\t';
    if (text == "space" || text == " ") return ' ';
    return std::nullopt;
}

std::string DelimiterName(char d) {
    switch (d) {
        case ',':
            return "comma";
        case ';':
            return "semicolon";
        case '\t':
            return "tab";
        case ' ':
            return "space";
        default:
            return "none";
    }
}

int RunImport(const CliStreams& io, const ImportArgs& a) {
    TextFormat format;
    const auto delim = DelimiterOf(a.delim);
    if (!delim) return UsageFailure(io, "import: --delim takes comma, semicolon, tab or space");
    format.delimiter = *delim;
    if (!a.columns.empty()) {
        std::string bad;
        const auto cols = ParseColumnList(a.columns, &bad);
        if (!cols)
            return UsageFailure(
                io, "import: --columns: \"" + bad +
                        "\" is not a column (date, time, open, high, low, close, vol, oi, symbol, "
                        "name, skip)");
        format.columns = *cols;
    }
    if (!a.dateFormat.empty()) {
        const auto form = DateFormOfName(a.dateFormat);
        if (!form)
            return UsageFailure(
                io,
                "import: --date-format takes YYYYMMDD, YYYY-MM-DD, MM/DD/YYYY, DD/MM/YYYY or "
                "DD.MM.YYYY");
        format.dateForm = *form;
    }
    format.checkHighLow = a.checkHighLow;

    // FILE... [SYMBOL]: the last argument is the symbol when it names no file.
    std::vector<std::string> files = a.rest;
    std::string symbol;
    std::error_code ec;
    if (!a.fileNumber && files.size() >= 2 && !fs::exists(files.back(), ec)) {
        symbol = files.back();
        files.pop_back();
    }
    if (files.empty()) return UsageFailure(io, "import: give at least one FILE");

    ImportOptions options;
    options.replace = a.replace;
    options.create = a.create;
    options.skipBad = a.skipBad;
    options.dryRun = a.dryRun;
    if (a.fileNumber || !symbol.empty()) {
        int status = kExitDataFailure;
        // A symbol the portfolio lacks is made with --create; --file N must exist.
        std::ostringstream quiet;
        CliStreams probe{io.in, io.out, quiet, io.inIsTerminal};
        const auto selected = SelectSecurity(a.fileNumber || !a.create ? io : probe, a.dir, symbol,
                                             a.fileNumber, status);
        if (selected) {
            options.into = selected->id;
        } else if (a.fileNumber || !a.create) {
            return status;
        } else {
            options.symbol = Utf8ToLatin1(symbol);
        }
    }

    std::vector<QuoteText> texts;
    texts.reserve(files.size());
    for (const std::string& f : files) {
        texts.push_back(ReadQuoteFile(f, format));
        const QuoteText& t = texts.back();
        if (!t.refusal.empty()) continue;
        if (t.columnsGuessed || a.dryRun)
            io.err << kProgram << ": " << t.file << ": " << DelimiterName(t.delimiter)
                   << "-delimited, "
                   << (t.titleRow         ? "title row, "
                       : t.columnsGuessed ? "columns from the first line: "
                                          : "columns ")
                   << ColumnListText(t.columns) << ", dates " << DateFormName(t.dateForm) << '\n';
    }
    UndoableChange change(a.dir);
    const ImportReport report = ImportQuotes(a.dir, texts, options, change.fs());
    RememberChange(io, change, ImportLabel(texts));
    io.out << ImportSummaryText(report, a.dryRun);
    if (!report.failure.empty()) {
        io.err << kProgram << ": "
               << (a.dryRun ? "the import would stop: " : "nothing was written: ") << report.failure
               << '\n';
        return kExitDataFailure;
    }
    for (const SecurityImport& s : report.securities)
        if (!s.refusal.empty()) return kExitDataFailure;
    return kExitOk;
}

int RunNewPortfolio(const CliStreams& io, const std::string& dir, bool extended) {
    std::error_code ec;
    fs::create_directories(dir, ec);  // the lock file goes in it
    UndoableChange change(dir);
    const ChangeResult r = WriteNewPortfolio(dir, extended, change.fs());
    RememberChange(io, change, "New portfolio " + PortfolioName(dir));
    if (r.status == kFileExists)
        return Failure(io, dir + " already holds a portfolio; nothing was written");
    if (r.status != kSuccess) return DataFailure(io, dir, r.status, "new portfolio");
    io.out << "New portfolio " << dir << (extended ? " (MASTER, EMASTER, XMASTER)" : " (MASTER)")
           << '\n';
    return kExitOk;
}

}  // namespace

void DefineImport(CLI::App& c, const CommandSetup& setup) {
    auto a = std::make_shared<ImportArgs>();
    c.add_option("DIR", a->dir, "Portfolio directory")->required();
    c.add_option("FILE", a->rest,
                 "Text files of quotes, then optionally the SYMBOL every quote goes to (when it "
                 "names no file)")
        ->required();
    c.add_option("--file", a->fileNumber, "Every quote goes to the security with file number N")
        ->check(WholeNumberCheck);
    c.add_option("--columns", a->columns,
                 "The columns in order: a comma list of "
                 "date,time,open,high,low,close,vol,oi,symbol,name,skip");
    c.add_option("--delim", a->delim,
                 "Field delimiter: comma, semicolon, tab or space (detected when absent)");
    c.add_option(
        "--date-format", a->dateFormat,
        "YYYYMMDD, YYYY-MM-DD, MM/DD/YYYY, DD/MM/YYYY or DD.MM.YYYY (detected when absent)");
    c.add_flag("--replace", a->replace,
               "Write the file's values over quotes held with other values");
    c.add_flag("--create", a->create, "Add securities the portfolio lacks");
    c.add_flag("--skip-bad", a->skipBad,
               "Write the good lines when some lines are bad, listing the bad ones");
    c.add_flag("--dry-run", a->dryRun,
               "Say what would be added, skipped and in conflict; write nothing");
    c.add_flag("--check-high-low", a->checkHighLow, "A line whose high is below its low is bad");
    c.callback([a, setup] { setup.run = [a, &io = setup.io] { return RunImport(io, *a); }; });
}

void DefineNewPortfolio(CLI::App& c, const CommandSetup& setup) {
    struct Args {
        std::string dir;
        bool extended = false;
    };
    auto a = std::make_shared<Args>();
    c.add_option("DIR", a->dir, "Directory of the new portfolio (made when missing)")->required();
    c.add_flag("--extended", a->extended, "Also EMASTER and XMASTER, for more than 255 securities");
    c.callback([a, setup] {
        setup.run = [a, &io = setup.io] { return RunNewPortfolio(io, a->dir, a->extended); };
    });
}

}  // namespace barwise
