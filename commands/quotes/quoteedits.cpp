#include "commands/quotes/quoteedits.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "datafiles/layout.h"
#include "datafiles/series.h"
#include "discovery/quoteloader.h"

namespace barwise {

std::string DateExistsMessage(std::string_view dateText) {
    return "Date " + std::string(dateText) + " already exists.";
}

std::string OutOfOrderMessage(std::string_view newDateText, std::string_view fromDateText) {
    return "A quote dated " + std::string(newDateText) + " cannot be added before " + std::string(fromDateText) +
           ": an earlier quote of the series is dated on or after " + std::string(newDateText) +
           ", so the new quote would be out of date order.\nNothing has been changed.";
}

std::string DeleteQuestion(std::string_view dateText) {
    return "You are about to delete the data for date\n" + std::string(dateText) + "\nAre you sure?";
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
    for (const LoadedQuote& q : read.quotes) out.quotes.push_back({q.date, read.hasTime ? q.time : 0, q.values});
    return kSuccess;
}

std::string QuoteValueText(int field, float value, bool present) {
    if (!present) return "N/A";
    char buf[64];
    std::snprintf(buf, sizeof buf, field < 4 ? "%.4f" : "%.0f", static_cast<double>(value));
    return buf;
}

std::optional<float> ReadNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // The number proper: digits, one point, an exponent. A text such as "N/A" or "." has none.
    std::size_t j = i;
    bool digits = false;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j, digits = true;
    if (j < text.size() && text[j] == '.') {
        ++j;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j, digits = true;
    }
    if (!digits) return std::nullopt;
    if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
        if (k < text.size() && text[k] >= '0' && text[k] <= '9') {
            while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k;
            j = k;
        }
    }
    float value = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + j, value);
    if (ec == std::errc::result_out_of_range) value = HUGE_VALF;  // refused later: no MBF form
    else if (ec != std::errc() || end != text.data() + j) return std::nullopt;
    return negative ? -value : value;
}

float EditedValue(std::string_view text, std::string_view shown, float stored) {
    if (text == shown) return stored;
    const std::optional<float> v = ReadNumber(text);
    return v ? *v : stored;
}

EditRequest EditQuoteRequest(const QuoteRow& quote, const std::array<std::string, 6>& texts,
                             const std::array<bool, 6>& present) {
    EditRequest r;
    r.op = EditOp::kSet;
    r.from = r.to = quote.date;
    r.time = quote.time;
    for (std::size_t i = 0; i < 6; ++i) {
        if (!present[i]) continue;
        const std::string shown = QuoteValueText(static_cast<int>(i), quote.values[i], true);
        r.values[i] = EditedValue(texts[i], shown, quote.values[i]);
    }
    return r;
}

bool ValuesStorable(const EditRequest& request) {
    for (float v : request.values)
        if (!HasMbfForm(v)) return false;
    return true;
}

bool IsWholeDateText(std::string_view text) {
    return (text.size() == 8 || text.size() == 10) && text.find(' ') == std::string_view::npos;
}

DateCode DateFromText(std::string_view text, DateCode shown) {
    if (shown != kNoDate && text == FormatDateMdy(shown)) return shown;
    return ParseDate(text, kDateStyleMmDdYy);
}

namespace {

// A factor or share count: a number other than 0 (and storable).
std::optional<float> Factor(std::string_view text) {
    const std::optional<float> v = ReadNumber(text);
    if (!v || *v == 0.0f || !HasMbfForm(*v)) return std::nullopt;
    return v;
}

DateCode DateWithin(std::string_view text, DateCode shown, DateCode first, DateCode last) {
    if (!IsWholeDateText(text)) return kNoDate;
    const DateCode d = DateFromText(text, shown);
    if (d == kNoDate || d < first || d > last) return kNoDate;
    return d;
}

}  // namespace

std::optional<SplitInput> CheckSplit(std::string_view dateText, DateCode shownDate, std::string_view newText,
                                     std::string_view oldText, DateCode first, DateCode last) {
    SplitInput in;
    in.date = DateWithin(dateText, shownDate, first, last);
    const auto n = Factor(newText);
    const auto o = Factor(oldText);
    if (in.date == kNoDate || !n || !o) return std::nullopt;
    in.newShares = *n;
    in.oldShares = *o;
    if (!ValuesStorable(SplitRequest(in))) return std::nullopt;
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

std::optional<AdjustInput> CheckAdjust(std::string_view fromText, DateCode shownFrom, std::string_view toText,
                                       DateCode shownTo, std::string_view priceText, std::string_view volumeText,
                                       std::string_view oiText, DateCode first, DateCode last) {
    AdjustInput in;
    in.from = DateWithin(fromText, shownFrom, first, last);
    in.to = DateWithin(toText, shownTo, first, last);
    const auto p = Factor(priceText);
    const auto v = Factor(volumeText);
    const auto o = Factor(oiText);
    if (in.from == kNoDate || in.to == kNoDate || !p || !v || !o) return std::nullopt;
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
    if (first > 0 && series.quotes[first - 1].date >= plan.newDate) plan.verdict = AddPlan::Verdict::kOutOfOrder;
    return plan;
}

}  // namespace barwise
