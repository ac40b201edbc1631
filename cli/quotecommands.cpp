#include "cli/quotecommands.h"

#include <CLI/CLI.hpp>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/clicommon.h"
#include "commands/quotes/quoteedits.h"
#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/rewrite.h"
#include "datafiles/status.h"

namespace barwise {
namespace {

int Fail(const CliStreams& io, std::string_view text) {
    return Failure(io, text);
}

int Usage(const CliStreams& io, std::string_view command, std::string_view text) {
    return UsageFailure(io, std::string(command) + ": " + std::string(text));
}

// A command's failure message, the file at fault and why (when one can be named), and the
// engine's status.
int EngineFail(const CliStreams& io, std::string_view message, DataStatus status,
               const SecurityId& id = {}) {
    std::string text(message);
    if (const std::string problem = QuoteFileProblem(id, status); !problem.empty())
        text += ": " + problem;
    return Fail(io, text + " (" + std::string(DataStatusName(status)) + ")");
}

// A security that could not be found or read: the file at fault and why, else the status.
int OpenFail(const CliStreams& io, const std::string& what, DataStatus status, const SecurityId& id,
             const std::string& dir) {
    std::string problem = QuoteFileProblem(id, status);
    if (problem.empty() && (status == kFileOpen || status == kFileRead))
        problem = UnreadableFileProblem(MasterPathOf(dir));
    if (problem.empty()) return Fail(io, what + ": " + std::string(DataStatusName(status)));
    return Fail(io, what + ": " + problem + " (" + std::string(DataStatusName(status)) + ")");
}

// MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD, of a day that exists.
DateCode ParseCliDate(const std::string& text) {
    return ParseDateText(text);
}

// A refused value or factor: "Invalid Data Entered" and the option or argument at fault.
int InvalidData(const CliStreams& io, std::string_view what) {
    return Fail(io, InvalidFieldMessage(what));
}

// HH:MM:SS or HH:MM, the whole text, a time of the day; nothing otherwise.
std::optional<TimeCode> ParseCliTime(const std::string& text) {
    if (text.size() != 5 && text.size() != 8) return std::nullopt;
    int parts[3] = {0, 0, 0};
    for (std::size_t p = 0; p * 3 < text.size(); ++p) {
        const std::size_t at = p * 3;
        if (at > 0 && text[at - 1] != ':') return std::nullopt;
        if (text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9')
            return std::nullopt;
        parts[p] = (text[at] - '0') * 10 + (text[at + 1] - '0');
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return std::nullopt;
    return MakeTime(parts[0], parts[1], parts[2]);
}

// The arguments every subcommand shares: DIR, then SYMBOL unless --file N names the
// security, then the subcommand's own positional arguments; --time picks one bar of an
// intraday day (without it, the day's first).
struct Args {
    std::vector<std::string> positional;
    std::optional<int> fileNumber;
    std::optional<std::string> time;
};

struct Security {
    // The portfolio stays locked from the lookup to the rewrite: no other writer comes
    // between what was read and what is written.
    std::unique_ptr<PortfolioLock> lock;
    SecurityId id;
    std::string symbol;  // how the undo history names it (UTF-8)
    SeriesQuotes series;
};

// Locks the portfolio, looks the security up (by its text, or by its file number so that
// entries whose texts read the same stay apart) and reads its quotes. On failure the exit
// status is set.
std::optional<Security> Open(const CliStreams& io, const std::string& dir,
                             const std::optional<std::string>& symbol,
                             std::optional<int> fileNumber, int& status) {
    Security s;
    s.lock = std::make_unique<PortfolioLock>(dir);
    if (!s.lock->held()) {
        status =
            Fail(io, dir + ": " + std::string(kPortfolioBusyMessage) + "; nothing was changed");
        return std::nullopt;
    }
    const auto selected =
        SelectSecurity(io, dir, symbol.value_or(std::string()), fileNumber, status);
    if (!selected) return std::nullopt;
    s.id = selected->id;
    s.symbol = HistoryName(selected->record);
    if (DataStatus st = ReadSeriesQuotes(s.id, s.series); st != kSuccess) {
        status = OpenFail(io, "symbol " + (symbol ? *symbol : "F" + std::to_string(*fileNumber)),
                          st, s.id, dir);
        return std::nullopt;
    }
    return s;
}

// The grid row (0 = newest) of the first quote dated `date` (at `time`, when given); -1
// when there is none.
int RowOf(const SeriesQuotes& series, DateCode date, std::optional<TimeCode> time = std::nullopt) {
    for (int i = 0; i < series.count(); ++i) {
        const QuoteRow& q = series.quotes[static_cast<std::size_t>(i)];
        if (q.date == date && (!time || q.time == *time)) return series.count() - 1 - i;
    }
    return -1;
}

// How a message names a quote of the series.
std::string When(const SeriesQuotes& series, const QuoteRow& quote) {
    return QuoteWhenText(quote.date, quote.time, series.hasTime);
}

// The --time of the arguments, checked: false (status set) when it is not a time or the
// series has no times to pick from.
bool TakeTime(const CliStreams& io, const Args& a, std::string_view command,
              const SeriesQuotes& series, std::optional<TimeCode>& time, int& status) {
    if (!a.time) return true;
    time = ParseCliTime(*a.time);
    if (!time) {
        status = Usage(io, command, "not a time (HH:MM:SS): " + *a.time);
        return false;
    }
    if (!series.hasTime) {
        status = Fail(io, std::string(command) + ": the series has no times; give the date alone");
        return false;
    }
    return true;
}

// "no quote dated 05/01/20" (" at 09:30:00").
std::string NoQuoteText(DateCode date, std::optional<TimeCode> time) {
    return "no quote dated " + FormatDateMdy(date) +
           (time ? " at " + FormatTime(*time) : std::string());
}

// Splits the positional arguments into SYMBOL (when no --file) and the rest; false when
// their number is wrong.
bool TakeSymbol(const Args& a, std::size_t rest, std::optional<std::string>& symbol,
                std::vector<std::string>& tail) {
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

constexpr const char* kValueOptionNames[6] = {"--open",  "--high", "--low",
                                              "--close", "--vol",  "--oi"};

struct ValueOptions {
    std::array<std::optional<std::string>, 6> values;  // open, high, low, close, vol, oi
};

int RunEdit(const CliStreams& io, const Args& a, const ValueOptions& v) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 1, symbol, tail))
        return Usage(io, "edit-quote", "give DIR, SYMBOL (or --file N) and DATE");
    const DateCode date = ParseCliDate(tail[0]);
    if (date == kNoDate) return Usage(io, "edit-quote", "not a date: " + tail[0]);
    std::array<std::string, 6> texts;
    for (std::size_t i = 0; i < 6; ++i) {
        if (!v.values[i]) continue;
        if (!ReadNumber(*v.values[i]))
            return Usage(io, "edit-quote", "not a number: " + *v.values[i]);
        texts[i] = *v.values[i];
    }
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    std::optional<TimeCode> time;
    if (!TakeTime(io, a, "edit-quote", s->series, time, status)) return status;
    const int row = RowOf(s->series, date, time);
    if (row < 0) return Fail(io, std::string(kEditFailedMessage) + ": " + NoQuoteText(date, time));
    const QuoteRow& quote = s->series.row(row);
    // A field not given keeps its stored value: its text is the one the dialog would show.
    for (std::size_t i = 0; i < 6; ++i)
        if (!v.values[i]) texts[i] = QuoteValueText(static_cast<int>(i), quote.values[i], true);
    int wrong = 0;
    const std::optional<EditRequest> request =
        EditQuoteRequest(quote, texts, s->series.present, &wrong);
    if (!request) return InvalidData(io, kValueOptionNames[static_cast<std::size_t>(wrong)]);
    UndoableChange change(s->id.directory);
    const DataStatus st = RewriteSeries(*request, s->id, change.fs());
    RememberChange(io, change, ChangeLabel("Edit", s->symbol, When(s->series, quote)));
    if (st == kInvalidParm) return InvalidData(io, "a value the quote file cannot hold");
    if (st != kSuccess) return EngineFail(io, kEditFailedMessage, st, s->id);
    return kExitOk;
}

int RunSplit(const CliStreams& io, const Args& a) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 3, symbol, tail))
        return Usage(io, "split", "give DIR, SYMBOL (or --file N), DATE, NEW and OLD");
    const DateCode date = ParseCliDate(tail[0]);
    if (date == kNoDate) return Usage(io, "split", "not a date: " + tail[0]);
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    if (s->series.count() == 0) return Fail(io, kInvalidDataMessage);
    int wrong = 0;
    const auto in = CheckSplit(FormatDateMdy(date), date, tail[1], tail[2],
                               s->series.quotes.front().date, s->series.quotes.back().date, &wrong);
    static const char* const kSplitFields[3] = {"DATE (not a date of the series)", "NEW", "OLD"};
    if (!in) return InvalidData(io, kSplitFields[wrong]);
    UndoableChange change(s->id.directory);
    const DataStatus st = RewriteSeries(SplitRequest(*in), s->id, change.fs());
    RememberChange(io, change, ChangeLabel("Split", s->symbol, "from " + FormatDateMdy(in->date)));
    if (st == kInvalidParm)
        return InvalidData(io, "NEW and OLD (a price or volume would not fit the quote file)");
    if (st != kSuccess) return EngineFail(io, kSplitFailedMessage, st, s->id);
    return kExitOk;
}

int RunAdjust(const CliStreams& io, const Args& a, const std::string& price, const std::string& vol,
              const std::string& oi) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 2, symbol, tail))
        return Usage(io, "adjust", "give DIR, SYMBOL (or --file N), FROM and TO");
    const DateCode from = ParseCliDate(tail[0]);
    const DateCode to = ParseCliDate(tail[1]);
    if (from == kNoDate) return Usage(io, "adjust", "not a date: " + tail[0]);
    if (to == kNoDate) return Usage(io, "adjust", "not a date: " + tail[1]);
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    if (s->series.count() == 0) return Fail(io, kInvalidDataMessage);
    int wrong = 0;
    const auto in =
        CheckAdjust(FormatDateMdy(from), from, FormatDateMdy(to), to, price, vol, oi,
                    s->series.quotes.front().date, s->series.quotes.back().date, &wrong);
    static const char* const kAdjustFields[5] = {"FROM (not a date of the series)",
                                                 "TO (not a date of the series)", "--price",
                                                 "--vol", "--oi"};
    if (!in) return InvalidData(io, kAdjustFields[wrong]);
    UndoableChange change(s->id.directory);
    const DataStatus st = RewriteSeries(AdjustRequest(*in), s->id, change.fs());
    RememberChange(io, change,
                   ChangeLabel("Adjust", s->symbol,
                               "from " + FormatDateMdy(in->from) + " to " + FormatDateMdy(in->to)));
    if (st == kInvalidParm)
        return InvalidData(io, "a factor whose result would not fit the quote file");
    if (st != kSuccess) return EngineFail(io, kAdjustFailedMessage, st, s->id);
    return kExitOk;
}

int RunAdd(const CliStreams& io, const Args& a) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 1, symbol, tail))
        return Usage(io, "add-quote", "give DIR, SYMBOL (or --file N) and DATE");
    const DateCode date = ParseCliDate(tail[0]);
    if (date == kNoDate) return Usage(io, "add-quote", "not a date: " + tail[0]);
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    std::optional<TimeCode> time;
    if (!TakeTime(io, a, "add-quote", s->series, time, status)) return status;
    const int row = RowOf(s->series, date, time);
    if (row < 0) return Fail(io, std::string(kAddFailedMessage) + ": " + NoQuoteText(date, time));
    const AddPlan plan = PlanAdd(s->series, row);
    const std::string newText = FormatDateMdy(plan.newDate);
    const QuoteRow& source = s->series.row(row);
    const std::string fromText = When(s->series, source);
    switch (plan.verdict) {
        case AddPlan::Verdict::kOldest:
            return Fail(io, std::string(kAddFailedMessage) + ": " + fromText +
                                " is the oldest quote; no day is added before it");
        case AddPlan::Verdict::kExists:
            return Fail(io, DateExistsMessage(newText));
        case AddPlan::Verdict::kOutOfOrder:
            return Fail(io, OutOfOrderMessage(newText, fromText));
        case AddPlan::Verdict::kOk:
            break;
    }
    UndoableChange change(s->id.directory);
    const DataStatus st = RewriteSeries(plan.request, s->id, change.fs());
    RememberChange(
        io, change,
        ChangeLabel("Add", s->symbol, QuoteWhenText(plan.newDate, source.time, s->series.hasTime)));
    if (st == kInsertOutOfOrder) return Fail(io, OutOfOrderMessage(newText, fromText));
    if (st != kSuccess) return EngineFail(io, kAddFailedMessage, st, s->id);
    // The copy keeps the time of the bar it copies.
    io.err << "Added " << QuoteWhenText(plan.newDate, source.time, s->series.hasTime)
           << ", a copy of " << fromText << '\n';
    return kExitOk;
}

int RunDelete(const CliStreams& io, const Args& a) {
    std::optional<std::string> symbol;
    std::vector<std::string> tail;
    if (!TakeSymbol(a, 1, symbol, tail))
        return Usage(io, "delete-quote", "give DIR, SYMBOL (or --file N) and DATE");
    const DateCode date = ParseCliDate(tail[0]);
    if (date == kNoDate) return Usage(io, "delete-quote", "not a date: " + tail[0]);
    int status = kExitOk;
    auto s = Open(io, a.positional[0], symbol, a.fileNumber, status);
    if (!s) return status;
    std::optional<TimeCode> time;
    if (!TakeTime(io, a, "delete-quote", s->series, time, status)) return status;
    const int row = RowOf(s->series, date, time);
    QuoteRow quote;
    quote.date = date;
    quote.time = time.value_or(0);
    if (row >= 0) quote = s->series.row(row);
    UndoableChange change(s->id.directory);
    const DataStatus st = RewriteSeries(DeleteQuoteRequest(quote), s->id, change.fs());
    RememberChange(io, change, ChangeLabel("Delete", s->symbol, When(s->series, quote)));
    if (st == kDeleteNotFound) {
        io.err << kProgram << ": " << kDeleteNotFoundMessage << '\n';
        return EngineFail(io, kDeleteFailedMessage, st, s->id);
    }
    // An intraday bar is named by its time: the day holds others.
    if (st == kDeletedMasterStale)
        return Fail(io, (s->series.hasTime ? When(s->series, quote) + ": " : std::string()) +
                            std::string(kDeletedMasterStaleMessage));
    if (st != kSuccess) return EngineFail(io, kDeleteFailedMessage, st, s->id);
    if (s->series.hasTime) io.err << "Deleted " << When(s->series, quote) << '\n';
    return kExitOk;
}

}  // namespace

namespace {

const char* const kDateForms = "DATE is MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD";

// What a quote subcommand's arguments fill in; lives as long as the App's callbacks may use it.
struct QuoteArgs {
    Args args;
    ValueOptions values;
    std::string price = "1", vol = "1", oi = "1";
};

// Declares DIR, SYMBOL, the subcommand's own positional arguments and --file (and --time
// when the subcommand picks one bar), and sets the body once parsed.
void DefineQuote(CLI::App& c, const CommandSetup& setup, const char* positional, bool withTime,
                 const std::shared_ptr<QuoteArgs>& a,
                 int (*body)(const CliStreams&, const QuoteArgs&)) {
    c.add_option("ARGS", a->args.positional, positional)->required();
    AddFileOption(c, a->args.fileNumber);
    if (withTime) {
        c.add_option("--time", a->args.time,
                     "HH:MM:SS: the bar of DATE at that time, in a series with times "
                     "(else the first bar of DATE)");
    }
    c.footer(kDateForms);
    c.callback(
        [a, setup, body] { setup.run = [a, &io = setup.io, body] { return body(io, *a); }; });
}

}  // namespace

void DefineEditQuote(CLI::App& c, const CommandSetup& setup) {
    auto a = std::make_shared<QuoteArgs>();
    DefineQuote(c, setup, "DIR SYMBOL DATE", true, a, [](const CliStreams& io, const QuoteArgs& q) {
        return RunEdit(io, q.args, q.values);
    });
    for (std::size_t i = 0; i < 6; ++i)
        c.add_option(kValueOptionNames[i], a->values.values[i], "New value (else the stored one)");
}

void DefineSplit(CLI::App& c, const CommandSetup& setup) {
    DefineQuote(c, setup, "DIR SYMBOL DATE NEW OLD", false, std::make_shared<QuoteArgs>(),
                [](const CliStreams& io, const QuoteArgs& q) { return RunSplit(io, q.args); });
}

void DefineAdjust(CLI::App& c, const CommandSetup& setup) {
    auto a = std::make_shared<QuoteArgs>();
    DefineQuote(c, setup, "DIR SYMBOL FROM TO", false, a,
                [](const CliStreams& io, const QuoteArgs& q) {
                    return RunAdjust(io, q.args, q.price, q.vol, q.oi);
                });
    c.add_option("--price", a->price, "Price factor (default 1)");
    c.add_option("--vol", a->vol, "Volume factor (default 1)");
    c.add_option("--oi", a->oi, "Open interest factor (default 1)");
    c.footer("FROM and TO are MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD");
}

void DefineAddQuote(CLI::App& c, const CommandSetup& setup) {
    DefineQuote(c, setup, "DIR SYMBOL DATE", true, std::make_shared<QuoteArgs>(),
                [](const CliStreams& io, const QuoteArgs& q) { return RunAdd(io, q.args); });
}

void DefineDeleteQuote(CLI::App& c, const CommandSetup& setup) {
    DefineQuote(c, setup, "DIR SYMBOL DATE", true, std::make_shared<QuoteArgs>(),
                [](const CliStreams& io, const QuoteArgs& q) { return RunDelete(io, q.args); });
}

}  // namespace barwise
