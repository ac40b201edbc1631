#include "cli/quotecommands.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/quotes/quoteedits.h"
#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "datafiles/status.h"

namespace barwise {
namespace {

constexpr std::string_view kProgram = "barwise-cli";

struct Io {
    std::ostream& out;
    std::ostream& err;
};

int Fail(Io& io, std::string_view text) {
    io.err << kProgram << ": " << text << '\n';
    return kExitDataFailure;
}

int Usage(Io& io, std::string_view command, std::string_view text) {
    io.err << kProgram << ": " << command << ": " << text << '\n';
    return kExitUsage;
}

// A command's failure message, the file at fault and why (when one can be named), and the
// engine's status.
int EngineFail(Io& io, std::string_view message, DataStatus status, const SecurityId& id = {}) {
    std::string text(message);
    if (const std::string problem = QuoteFileProblem(id, status); !problem.empty()) text += ": " + problem;
    return Fail(io, text + " (" + std::string(DataStatusName(status)) + ")");
}

// A security that could not be found or read: the file at fault and why, else the status.
int OpenFail(Io& io, const std::string& what, DataStatus status, const SecurityId& id, const std::string& dir) {
    std::string problem = QuoteFileProblem(id, status);
    if (problem.empty() && (status == kFileOpen || status == kFileRead))
        problem = UnreadableFileProblem(MasterPathOf(dir));
    if (problem.empty()) return Fail(io, what + ": " + std::string(DataStatusName(status)));
    return Fail(io, what + ": " + problem + " (" + std::string(DataStatusName(status)) + ")");
}

// MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD.
DateCode ParseCliDate(const std::string& text) {
    if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
        for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
            if (text[i] < '0' || text[i] > '9') return kNoDate;
        const int y = std::stoi(text.substr(0, 4)), m = std::stoi(text.substr(5, 2)), d = std::stoi(text.substr(8, 2));
        const DateCode code = MakeDate(y, m, d);
        const DateParts back = SplitDate(code);
        return code != kNoDate && back.year + 1900 == y && back.month == m && back.day == d ? code : kNoDate;
    }
    if (!IsWholeDateText(text)) return kNoDate;
    return ParseDate(text, kDateStyleMmDdYy);
}

// The arguments every subcommand shares: DIR, then SYMBOL unless --file N names the
// security, then the subcommand's own positional arguments.
struct Args {
    std::vector<std::string> positional;
    std::optional<int> fileNumber;
};

struct Security {
    SecurityId id;
    SeriesQuotes series;
};

// Looks the security up (by its text, or by its file number so that entries whose texts
// read the same stay apart) and reads its quotes. On failure the exit status is set.
std::optional<Security> Open(Io& io, const std::string& dir, const std::optional<std::string>& symbol,
                             std::optional<int> fileNumber, int& status) {
    Security s;
    if (fileNumber) {
        const MasterFile master = ReadMasterFile(dir);
        if (master.status != kSuccess) {
            status = Fail(io, master.path.string() + ": " + std::string(DataStatusName(master.status)));
            return std::nullopt;
        }
        bool found = false;
        for (const MasterEntry& e : master.entries) {
            if (!e.record.isSubdirEntry() && e.record.fileNumber() == *fileNumber) {
                s.id = e.id;
                found = true;
                break;
            }
        }
        if (!found) {
            status = Fail(io, master.path.string() + ": no record with file number " + std::to_string(*fileNumber));
            return std::nullopt;
        }
    } else {
        MasterRecord record;
        if (DataStatus st = FindSymbol(dir, Utf8ToLatin1(*symbol), record, s.id); st != kSuccess) {
            status = OpenFail(io, "symbol " + *symbol, st, {}, dir);
            return std::nullopt;
        }
    }
    if (DataStatus st = ReadSeriesQuotes(s.id, s.series); st != kSuccess) {
        status = OpenFail(io, "symbol " + (symbol ? *symbol : "F" + std::to_string(*fileNumber)), st, s.id, dir);
        return std::nullopt;
    }
    return s;
}

// The grid row (0 = newest) of the first quote dated `date`; -1 when there is none.
int RowOf(const SeriesQuotes& series, DateCode date) {
    for (int i = 0; i < series.count(); ++i)
        if (series.quotes[static_cast<std::size_t>(i)].date == date) return series.count() - 1 - i;
    return -1;
}

// Splits the positional arguments into SYMBOL (when no --file) and the rest; false when
// their number is wrong.
bool TakeSymbol(const Args& a, std::size_t rest, std::optional<std::string>& symbol, std::vector<std::string>& tail) {
    const std::size_t want = 1 + (a.fileNumber ? 0 : 1) + rest;
    if (a.positional.size() != want) return false;
    std::size_t i = 1;
    if (!a.fileNumber) {
        symbol = a.positional[1];
        if (symbol->empty()) return false;
        ++i;
    }
    tail.assign(a.positional.begin() + static_cast<std::ptrdiff_t>(i), a.positional.end());
    return true;
}

struct ValueOptions {
    std::array<std::optional<std::string>, 6> values;  // open, high, low, close, vol, oi
};

int RunEdit(Io& io, const Args& a, const ValueOptions& v) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 1, symbol, tail)) return Usage(io, "edit-quote", "give DIR, SYMBOL (or --file N) and DATE");
    const DateCode date = ParseCliDate(tail[0]);
    if (date == kNoDate) return Usage(io, "edit-quote", "not a date: " + tail[0]);
    std::array<std::string, 6> texts;
    for (std::size_t i = 0; i < 6; ++i) {
        if (!v.values[i]) continue;
        if (!ReadNumber(*v.values[i])) return Usage(io, "edit-quote", "not a number: " + *v.values[i]);
        texts[i] = *v.values[i];
    }
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    const int row = RowOf(s->series, date);
    if (row < 0) return Fail(io, std::string(kEditFailedMessage) + ": no quote dated " + FormatDateMdy(date));
    const QuoteRow& quote = s->series.row(row);
    // A field not given keeps its stored value: its text is the one the dialog would show.
    for (std::size_t i = 0; i < 6; ++i)
        if (!v.values[i]) texts[i] = QuoteValueText(static_cast<int>(i), quote.values[i], true);
    const EditRequest request = EditQuoteRequest(quote, texts, s->series.present);
    if (!ValuesStorable(request)) return Fail(io, kInvalidDataMessage);
    if (DataStatus st = RewriteSeries(request, s->id); st != kSuccess) return EngineFail(io, kEditFailedMessage, st, s->id);
    return kExitOk;
}

int RunSplit(Io& io, const Args& a) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 3, symbol, tail)) return Usage(io, "split", "give DIR, SYMBOL (or --file N), DATE, NEW and OLD");
    const DateCode date = ParseCliDate(tail[0]);
    if (date == kNoDate) return Usage(io, "split", "not a date: " + tail[0]);
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    if (s->series.count() == 0) return Fail(io, kInvalidDataMessage);
    const auto in = CheckSplit(FormatDateMdy(date), date, tail[1], tail[2], s->series.quotes.front().date,
                               s->series.quotes.back().date);
    if (!in) return Fail(io, kInvalidDataMessage);
    if (DataStatus st = RewriteSeries(SplitRequest(*in), s->id); st != kSuccess)
        return EngineFail(io, kSplitFailedMessage, st, s->id);
    return kExitOk;
}

int RunAdjust(Io& io, const Args& a, const std::string& price, const std::string& vol, const std::string& oi) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 2, symbol, tail)) return Usage(io, "adjust", "give DIR, SYMBOL (or --file N), FROM and TO");
    const DateCode from = ParseCliDate(tail[0]);
    const DateCode to = ParseCliDate(tail[1]);
    if (from == kNoDate) return Usage(io, "adjust", "not a date: " + tail[0]);
    if (to == kNoDate) return Usage(io, "adjust", "not a date: " + tail[1]);
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    if (s->series.count() == 0) return Fail(io, kInvalidDataMessage);
    const auto in = CheckAdjust(FormatDateMdy(from), from, FormatDateMdy(to), to, price, vol, oi,
                                s->series.quotes.front().date, s->series.quotes.back().date);
    if (!in) return Fail(io, kInvalidDataMessage);
    if (DataStatus st = RewriteSeries(AdjustRequest(*in), s->id); st != kSuccess)
        return EngineFail(io, kAdjustFailedMessage, st, s->id);
    return kExitOk;
}

int RunAdd(Io& io, const Args& a) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 1, symbol, tail)) return Usage(io, "add-quote", "give DIR, SYMBOL (or --file N) and DATE");
    const DateCode date = ParseCliDate(tail[0]);
    if (date == kNoDate) return Usage(io, "add-quote", "not a date: " + tail[0]);
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    const int row = RowOf(s->series, date);
    if (row < 0) return Fail(io, std::string(kAddFailedMessage) + ": no quote dated " + FormatDateMdy(date));
    const AddPlan plan = PlanAdd(s->series, row);
    const std::string newText = FormatDateMdy(plan.newDate);
    switch (plan.verdict) {
        case AddPlan::Verdict::kOldest:
            return Fail(io, std::string(kAddFailedMessage) + ": " + FormatDateMdy(date) +
                                " is the oldest quote; no day is added before it");
        case AddPlan::Verdict::kExists: return Fail(io, DateExistsMessage(newText));
        case AddPlan::Verdict::kOutOfOrder: return Fail(io, OutOfOrderMessage(newText, FormatDateMdy(date)));
        case AddPlan::Verdict::kOk: break;
    }
    const DataStatus st = RewriteSeries(plan.request, s->id);
    if (st == kInsertOutOfOrder) return Fail(io, OutOfOrderMessage(newText, FormatDateMdy(date)));
    if (st != kSuccess) return EngineFail(io, kAddFailedMessage, st, s->id);
    io.err << "Added " << newText << ", a copy of " << FormatDateMdy(date) << '\n';
    return kExitOk;
}

int RunDelete(Io& io, const Args& a) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 1, symbol, tail)) return Usage(io, "delete-quote", "give DIR, SYMBOL (or --file N) and DATE");
    const DateCode date = ParseCliDate(tail[0]);
    if (date == kNoDate) return Usage(io, "delete-quote", "not a date: " + tail[0]);
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    const int row = RowOf(s->series, date);
    QuoteRow quote;
    quote.date = date;
    if (row >= 0) quote = s->series.row(row);
    const DataStatus st = RewriteSeries(DeleteQuoteRequest(quote), s->id);
    if (st == kDeleteNotFound) {
        io.err << kProgram << ": " << kDeleteNotFoundMessage << '\n';
        return EngineFail(io, kDeleteFailedMessage, st, s->id);
    }
    if (st == kDeletedMasterStale) return Fail(io, kDeletedMasterStaleMessage);
    if (st != kSuccess) return EngineFail(io, kDeleteFailedMessage, st, s->id);
    return kExitOk;
}

}  // namespace

void AddQuoteSubcommands(CLI::App& app, std::function<int()>& run, std::ostream& out, std::ostream& err) {
    // The parsed values live as long as the App's callbacks may use them.
    struct State {
        Io io;
        Args args;
        ValueOptions values;
        std::string price = "1", vol = "1", oi = "1";
    };
    auto st = std::make_shared<State>(State{{out, err}, {}, {}});
    const auto common = [&](CLI::App* c, const char* positional) {
        c->add_option("ARGS", st->args.positional, positional)->required();
        c->add_option("--file", st->args.fileNumber, "The security with file number N (F<N>.DAT) instead of SYMBOL");
    };
    const char* const kDateForms = "DATE is MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD";
    {
        auto* c = app.add_subcommand(std::string(kEditQuoteCommand.name), std::string(kEditQuoteCommand.help));
        common(c, "DIR SYMBOL DATE");
        static const char* const kNames[6] = {"--open", "--high", "--low", "--close", "--vol", "--oi"};
        for (std::size_t i = 0; i < 6; ++i) c->add_option(kNames[i], st->values.values[i], "New value (else the stored one)");
        c->footer(kDateForms);
        c->callback([st, &run] { run = [st] { return RunEdit(st->io, st->args, st->values); }; });
    }
    {
        auto* c = app.add_subcommand(std::string(kSplitCommand.name), std::string(kSplitCommand.help));
        common(c, "DIR SYMBOL DATE NEW OLD");
        c->footer(kDateForms);
        c->callback([st, &run] { run = [st] { return RunSplit(st->io, st->args); }; });
    }
    {
        auto* c = app.add_subcommand(std::string(kAdjustCommand.name), std::string(kAdjustCommand.help));
        common(c, "DIR SYMBOL FROM TO");
        c->add_option("--price", st->price, "Price factor (default 1)");
        c->add_option("--vol", st->vol, "Volume factor (default 1)");
        c->add_option("--oi", st->oi, "Open interest factor (default 1)");
        c->footer("FROM and TO are MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD");
        c->callback([st, &run] { run = [st] { return RunAdjust(st->io, st->args, st->price, st->vol, st->oi); }; });
    }
    {
        auto* c = app.add_subcommand(std::string(kAddQuoteCommand.name), std::string(kAddQuoteCommand.help));
        common(c, "DIR SYMBOL DATE");
        c->footer(kDateForms);
        c->callback([st, &run] { run = [st] { return RunAdd(st->io, st->args); }; });
    }
    {
        auto* c = app.add_subcommand(std::string(kDeleteQuoteCommand.name), std::string(kDeleteQuoteCommand.help));
        common(c, "DIR SYMBOL DATE");
        c->footer(kDateForms);
        c->callback([st, &run] { run = [st] { return RunDelete(st->io, st->args); }; });
    }
}

}  // namespace barwise
