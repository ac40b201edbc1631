#include "commands/quotes/quoteedits.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "datafiles/fileio.h"
#include "datafiles/layout.h"
#include "datafiles/series.h"
#include "discovery/quoteloader.h"

namespace barwise {

std::string DateExistsMessage(std::string_view dateText) {
    return "Date " + std::string(dateText) + " already exists.";
}

std::string OutOfOrderMessage(std::string_view newDateText, std::string_view fromDateText) {
    return "A quote dated " + std::string(newDateText) + " cannot be added before " +
           std::string(fromDateText) + ": an earlier quote of the series is dated on or after " +
           std::string(newDateText) +
           ", so the new quote would be out of date order.\nNothing has been changed.";
}

std::string DeleteQuestion(std::string_view dateText) {
    return "You are about to delete the data for date\n" + std::string(dateText) +
           "\nAre you sure?";
}

std::string QuoteWhenText(DateCode date, TimeCode time, bool hasTime) {
    std::string text = FormatDateMdy(date);
    if (hasTime) text += ' ' + FormatTime(time);
    return text;
}

DataStatus ReadSeriesQuotes(const SecurityId& id, SeriesQuotes& out) {
    out = {};
    SeriesQuotesRead read;
    if (DataStatus s = ReadAllQuotes(id, read); s != kSuccess) return s;
    out.present = read.present;
    out.hasTime = read.hasTime;
    out.quotes.reserve(read.quotes.size());
    for (const LoadedQuote& q : read.quotes)
        out.quotes.push_back({q.date, read.hasTime ? q.time : 0, q.values});
    return kSuccess;
}

std::string QuoteValueText(int field, float value, bool present) {
    if (!present) return "N/A";
    char buf[64];
    std::snprintf(buf, sizeof buf, field < 4 ? "%.4f" : "%.0f", static_cast<double>(value));
    return buf;
}

std::optional<float> ReadNumber(std::string_view text) {
    // The characters a decimal number is written with; from_chars takes the rest apart
    // (it would also read "inf", "nan" and, after "0", stop before an "x").
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'))
            return std::nullopt;
    if (text.size() > 1 && text[0] == '+' && text[1] != '+' && text[1] != '-')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Whole, but beyond even a double: no float holds it.
        if (end != text.data() + text.size()) return std::nullopt;
        return std::numeric_limits<float>::quiet_NaN();
    }
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max()))
        return std::numeric_limits<float>::quiet_NaN();
    const auto f = static_cast<float>(value);
    // A number other than 0 that no float holds but as 0 (or a subnormal, which the files
    // store as 0): not storable.
    if (value != 0.0 && (f == 0.0f || std::fpclassify(f) == FP_SUBNORMAL))
        return std::numeric_limits<float>::quiet_NaN();
    return f;
}

std::optional<float> EditedValue(std::string_view text, std::string_view shown, float stored) {
    if (text == shown) return stored;
    return ReadNumber(text);
}

std::optional<EditRequest> EditQuoteRequest(const QuoteRow& quote,
                                            const std::array<std::string, 6>& texts,
                                            const std::array<bool, 6>& present, int* wrongField) {
    EditRequest r;
    r.op = EditOp::kSet;
    r.from = r.to = quote.date;
    r.time = quote.time;
    r.oneQuote = true;
    for (std::size_t i = 0; i < 6; ++i) {
        if (!present[i]) continue;
        const std::string shown = QuoteValueText(static_cast<int>(i), quote.values[i], true);
        const std::optional<float> v = EditedValue(texts[i], shown, quote.values[i]);
        if (!v || (texts[i] != shown && !MbfHoldsValue(*v))) {
            if (wrongField) *wrongField = static_cast<int>(i);
            return std::nullopt;
        }
        r.values[i] = *v;
        r.keep[i] = texts[i] == shown;
    }
    return r;
}

bool ValuesStorable(const EditRequest& request, int* wrongField) {
    for (std::size_t i = 0; i < request.values.size(); ++i) {
        if (!MbfHoldsValue(request.values[i])) {
            if (wrongField) *wrongField = static_cast<int>(i);
            return false;
        }
    }
    return true;
}

std::string InvalidFieldMessage(std::string_view field) {
    return std::string(kInvalidDataMessage) + "\n\n" + std::string(field);
}

bool IsWholeDateText(std::string_view text) {
    return (text.size() == 8 || text.size() == 10) && text.find(' ') == std::string_view::npos;
}

DateCode DateFromText(std::string_view text, DateCode shown) {
    if (shown != kNoDate && text == FormatDateMdy(shown)) return shown;
    return ParseDateText(text);
}

bool WideDateFields(DateCode first, DateCode last) {
    return !HasTwoDigitYear(first) || !HasTwoDigitYear(last);
}

namespace {

// A factor or share count: a number above 0 that the files can hold.
std::optional<float> Factor(std::string_view text) {
    const std::optional<float> v = ReadNumber(text);
    if (!v || !(*v > 0.0f) || !MbfHoldsValue(*v)) return std::nullopt;
    return v;
}

DateCode DateWithin(std::string_view text, DateCode shown, DateCode first, DateCode last) {
    if (!IsWholeDateText(text)) return kNoDate;
    const DateCode d = DateFromText(text, shown);
    if (d == kNoDate || d < first || d > last) return kNoDate;
    return d;
}

// Stores the index of the first failed check.
struct FirstWrong {
    int* out;
    bool any = false;
    void check(bool ok, int field) {
        if (ok || any) return;
        any = true;
        if (out) *out = field;
    }
};

}  // namespace

std::optional<SplitInput> CheckSplit(std::string_view dateText, DateCode shownDate,
                                     std::string_view newText, std::string_view oldText,
                                     DateCode first, DateCode last, int* wrongField) {
    SplitInput in;
    in.date = DateWithin(dateText, shownDate, first, last);
    const auto n = Factor(newText);
    const auto o = Factor(oldText);
    FirstWrong wrong{wrongField};
    wrong.check(in.date != kNoDate, 0);
    wrong.check(n.has_value(), 1);
    wrong.check(o.has_value(), 2);
    if (wrong.any) return std::nullopt;
    in.newShares = *n;
    in.oldShares = *o;
    const EditRequest r = SplitRequest(in);
    wrong.check(ValuesStorable(r), 1);
    if (wrong.any) return std::nullopt;
    return in;
}

EditRequest SplitRequest(const SplitInput& in) {
    EditRequest r;
    r.op = EditOp::kScale;
    const float price = in.oldShares / in.newShares;
    const float volume = in.newShares / in.oldShares;
    r.values = {price, price, price, price, volume, volume};
    r.from = kFirstDay;
    r.to = in.date - 1;
    return r;
}

std::optional<AdjustInput> CheckAdjust(std::string_view fromText, DateCode shownFrom,
                                       std::string_view toText, DateCode shownTo,
                                       std::string_view priceText, std::string_view volumeText,
                                       std::string_view oiText, DateCode first, DateCode last,
                                       int* wrongField) {
    AdjustInput in;
    in.from = DateWithin(fromText, shownFrom, first, last);
    in.to = DateWithin(toText, shownTo, first, last);
    const auto p = Factor(priceText);
    const auto v = Factor(volumeText);
    const auto o = Factor(oiText);
    FirstWrong wrong{wrongField};
    wrong.check(in.from != kNoDate, 0);
    wrong.check(in.to != kNoDate, 1);
    wrong.check(p.has_value(), 2);
    wrong.check(v.has_value(), 3);
    wrong.check(o.has_value(), 4);
    if (wrong.any) return std::nullopt;
    in.price = *p;
    in.volume = *v;
    in.openInterest = *o;
    return in;
}

EditRequest AdjustRequest(const AdjustInput& in) {
    EditRequest r;
    r.op = EditOp::kScale;
    r.values = {in.price, in.price, in.price, in.price, in.volume, in.openInterest};
    r.from = in.from;
    r.to = in.to;
    return r;
}

EditRequest DeleteQuoteRequest(const QuoteRow& quote) {
    EditRequest r;
    r.op = EditOp::kDelete;
    r.from = r.to = quote.date;
    r.time = quote.time;
    return r;
}

AddPlan PlanAdd(const SeriesQuotes& series, int row) {
    AddPlan plan;
    if (row < 0 || row >= series.count() - 1) {
        plan.verdict = AddPlan::Verdict::kOldest;
        return plan;
    }
    const QuoteRow& q = series.row(row);
    plan.newDate = PreviousWeekday(q.date);
    plan.request.op = EditOp::kInsert;
    plan.request.from = plan.request.to = q.date;
    plan.request.time = q.time;
    // The copy goes before the first quote dated as the selected one.
    std::size_t first = 0;
    while (first < series.quotes.size() && series.quotes[first].date != q.date) ++first;
    plan.newRow = series.count() - static_cast<int>(first);
    for (const QuoteRow& other : series.quotes) {
        if (other.date == plan.newDate) {
            plan.verdict = AddPlan::Verdict::kExists;
            return plan;
        }
    }
    if (first > 0 && series.quotes[first - 1].date >= plan.newDate)
        plan.verdict = AddPlan::Verdict::kOutOfOrder;
    return plan;
}

std::string UnreadableFileProblem(const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) return path.string() + ": missing";
    if (!fs::is_regular_file(st)) return path.string() + " is not a regular file";
    InputFile in(path);
    if (!in.isOpen()) return path.string() + " cannot be read";
    return {};
}

std::string QuoteFileProblem(const SecurityId& id, DataStatus status) {
    if (status == kSuccess || !id.valid()) return {};
    const fs::path dat = SeriesFilePath(id.directory, id.fileNumber, DataExtensionOf(id));
    if (std::string unreadable = UnreadableFileProblem(dat); !unreadable.empty()) return unreadable;
    switch (status) {
        case kReadOnly: {
            if (CheckNotReadOnly(dat) != kSuccess) return dat.string() + " is read-only";
            fs::path atFault;
            if (CheckIndexRewrite(id.directory, id.inXmaster(), 0, RealFileSystem(), &atFault) ==
                kReadOnly)
                return atFault.string() + " is read-only";
            return {};
        }
        case kNoSpace:
            return "the disk of " + dat.string() + " has too little free space";
        case kFileWrite: {
            const fs::path dir = RewriteTarget(dat).parent_path();
            if (!RealFileSystem().directoryWritable(dir))
                return dir.string() + " cannot be written";
            return dat.string() + " could not be written; it is unchanged";
        }
        case kFileRead:
            return dat.string() + " cannot be read whole";
        case kNoLayout:
            return "the layout of " + dat.string() + " cannot be told (no " +
                   SeriesFilePath(id.directory, id.fileNumber, "DOP").filename().string() + ")";
        default:
            return {};
    }
}

std::string QuoteFailureText(std::string_view message, const SecurityId& id, DataStatus status) {
    std::string text(message);
    if (const std::string problem = QuoteFileProblem(id, status); !problem.empty())
        text += "\n\n" + problem;
    return text;
}

}  // namespace barwise
