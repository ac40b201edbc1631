#include "cli/quotecommands.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "commands/quotes/quoteedits.h"
#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
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

// MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD, of a day that exists.
DateCode ParseCliDate(const std::string& text) { return ParseDateText(text); }

// A refused value or factor: "Invalid Data Entered" and the option or argument at fault.
int InvalidData(Io& io, std::string_view what) { return Fail(io, InvalidFieldMessage(what)); }

// HH:MM:SS or HH:MM, the whole text, a time of the day; nothing otherwise.
std::optional<TimeCode> ParseCliTime(const std::string& text) {
    if (text.size() != 5 && text.size() != 8) return std::nullopt;
    int parts[3] = {0, 0, 0};
    for (std::size_t p = 0; p * 3 < text.size(); ++p) {
        const std::size_t at = p * 3;
        if (at > 0 && text[at - 1] != ':') return std::nullopt;
        if (text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9') return std::nullopt;
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
    SeriesQuotes series;
};

// Looks the security up (by its text, or by its file number so that entries whose texts
// read the same stay apart) and reads its quotes. On failure the exit status is set.
std::optional<Security> Open(Io& io, const std::string& dir, const std::optional<std::string>& symbol,
                             std::optional<int> fileNumber, int& status) {
    Security s;
    s.lock = std::make_unique<PortfolioLock>(dir);
    if (!s.lock->held()) {
        status = Fail(io, dir + ": " + std::string(kPortfolioBusyMessage) + "; nothing was changed");
        return std::nullopt;
    }
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
bool TakeTime(Io& io, const Args& a, std::string_view command, const SeriesQuotes& series,
              std::optional<TimeCode>& time, int& status) {
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
    return "no quote dated " + FormatDateMdy(date) + (time ? " at " + FormatTime(*time) : std::string());
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

constexpr const char* kValueOptionNames[6] = {"--open", "--high", "--low", "--close", "--vol", "--oi"};

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
    std::optional<TimeCode> time;
    if (!TakeTime(io, a, "edit-quote", s->series, time, status)) return status;
    const int row = RowOf(s->series, date, time);
    if (row < 0) return Fail(io, std::string(kEditFailedMessage) + ": " + NoQuoteText(date, time));
    const QuoteRow& quote = s->series.row(row);
    // A field not given keeps its stored value: its text is the one the dialog would show.
    for (std::size_t i = 0; i < 6; ++i)
        if (!v.values[i]) texts[i] = QuoteValueText(static_cast<int>(i), quote.values[i], true);
    int wrong = 0;
    const std::optional<EditRequest> request = EditQuoteRequest(quote, texts, s->series.present, &wrong);
    if (!request) return InvalidData(io, kValueOptionNames[static_cast<std::size_t>(wrong)]);
    const DataStatus st = RewriteSeries(*request, s->id);
    if (st == kInvalidParm) return InvalidData(io, "a value the quote file cannot hold");
    if (st != kSuccess) return EngineFail(io, kEditFailedMessage, st, s->id);
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
    int wrong = 0;
    const auto in = CheckSplit(FormatDateMdy(date), date, tail[1], tail[2], s->series.quotes.front().date,
                               s->series.quotes.back().date, &wrong);
    static const char* const kSplitFields[3] = {"DATE (not a date of the series)", "NEW", "OLD"};
    if (!in) return InvalidData(io, kSplitFields[wrong]);
    const DataStatus st = RewriteSeries(SplitRequest(*in), s->id);
    if (st == kInvalidParm) return InvalidData(io, "NEW and OLD (a price or volume would not fit the quote file)");
    if (st != kSuccess) return EngineFail(io, kSplitFailedMessage, st, s->id);
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
    int wrong = 0;
    const auto in = CheckAdjust(FormatDateMdy(from), from, FormatDateMdy(to), to, price, vol, oi,
                                s->series.quotes.front().date, s->series.quotes.back().date, &wrong);
    static const char* const kAdjustFields[5] = {"FROM (not a date of the series)", "TO (not a date of the series)",
                                                 "--price", "--vol", "--oi"};
    if (!in) return InvalidData(io, kAdjustFields[wrong]);
    const DataStatus st = RewriteSeries(AdjustRequest(*in), s->id);
    if (st == kInvalidParm) return InvalidData(io, "a factor whose result would not fit the quote file");
    if (st != kSuccess) return EngineFail(io, kAdjustFailedMessage, st, s->id);
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
        case AddPlan::Verdict::kExists: return Fail(io, DateExistsMessage(newText));
        case AddPlan::Verdict::kOutOfOrder: return Fail(io, OutOfOrderMessage(newText, fromText));
        case AddPlan::Verdict::kOk: break;
    }
    const DataStatus st = RewriteSeries(plan.request, s->id);
    if (st == kInsertOutOfOrder) return Fail(io, OutOfOrderMessage(newText, fromText));
    if (st != kSuccess) return EngineFail(io, kAddFailedMessage, st, s->id);
    // The copy keeps the time of the bar it copies.
    io.err << "Added " << QuoteWhenText(plan.newDate, source.time, s->series.hasTime) << ", a copy of " << fromText
           << '\n';
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
    std::optional<TimeCode> time;
    if (!TakeTime(io, a, "delete-quote", s->series, time, status)) return status;
    const int row = RowOf(s->series, date, time);
    QuoteRow quote;
    quote.date = date;
    quote.time = time.value_or(0);
    if (row >= 0) quote = s->series.row(row);
    const DataStatus st = RewriteSeries(DeleteQuoteRequest(quote), s->id);
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
        c->add_option("--file", st->args.fileNumber, "The security with file number N (F<N>.DAT) instead of SYMBOL")
            ->check(WholeNumberCheck);
    };
    const char* const kDateForms = "DATE is MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD";
    const auto timeOption = [&](CLI::App* c) {
        c->add_option("--time", st->args.time, "HH:MM:SS: the bar of DATE at that time, in a series with times "
                                               "(else the first bar of DATE)");
    };
    {
        auto* c = app.add_subcommand(std::string(kEditQuoteCommand.name), std::string(kEditQuoteCommand.help));
        common(c, "DIR SYMBOL DATE");
        timeOption(c);
        for (std::size_t i = 0; i < 6; ++i)
            c->add_option(kValueOptionNames[i], st->values.values[i], "New value (else the stored one)");
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
        timeOption(c);
        c->footer(kDateForms);
        c->callback([st, &run] { run = [st] { return RunAdd(st->io, st->args); }; });
    }
    {
        auto* c = app.add_subcommand(std::string(kDeleteQuoteCommand.name), std::string(kDeleteQuoteCommand.help));
        common(c, "DIR SYMBOL DATE");
        timeOption(c);
        c->footer(kDateForms);
        c->callback([st, &run] { run = [st] { return RunDelete(st->io, st->args); }; });
    }
}

}  // namespace barwise
