#include "import/quotetext.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <span>
#include <system_error>
#include <thread>

#include "datafiles/ascii.h"

namespace barwise {
namespace {

struct ColumnName {
    std::string_view key;  // upper case, without brackets, blanks and underscores
    ImportColumn column;
};
constexpr ColumnName kColumnNames[] = {
    {"DATE", ImportColumn::kDate},
    {"DTYYYYMMDD", ImportColumn::kDate},
    {"TIME", ImportColumn::kTime},
    {"OPEN", ImportColumn::kOpen},
    {"HIGH", ImportColumn::kHigh},
    {"LOW", ImportColumn::kLow},
    {"CLOSE", ImportColumn::kClose},
    {"VOLUME", ImportColumn::kVol},
    {"VOL", ImportColumn::kVol},
    {"OPENINTEREST", ImportColumn::kOi},
    {"OPENINT", ImportColumn::kOi},
    {"OI", ImportColumn::kOi},
    {"SYMBOL", ImportColumn::kSymbol},
    {"TICKER", ImportColumn::kSymbol},
    {"NAME", ImportColumn::kName},
    {"SKIP", ImportColumn::kSkip},
    // Known titles of columns that are not read.
    {"PER", ImportColumn::kSkip},
    {"PERIOD", ImportColumn::kSkip},
    {"ADJCLOSE", ImportColumn::kSkip},
};

std::string TitleKey(std::string_view title) {
    std::string key;
    for (char c : title) {
        if (c == '<' || c == '>' || c == ' ' || c == '_' || c == '\t') continue;
        key += c;
    }
    return ToUpperAscii(key);
}

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view s) {
    int v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

// The three parts of "a<sep>b<sep>c", each all digits of the widths allowed.
bool SplitThree(std::string_view text, char sep, std::string_view& a, std::string_view& b,
                std::string_view& c) {
    const std::size_t p = text.find(sep);
    if (p == std::string_view::npos) return false;
    const std::size_t q = text.find(sep, p + 1);
    if (q == std::string_view::npos) return false;
    a = text.substr(0, p);
    b = text.substr(p + 1, q - p - 1);
    c = text.substr(q + 1);
    return AllDigits(a) && AllDigits(b) && AllDigits(c);
}

bool IsSlashDateShape(std::string_view text) {
    std::string_view a, b, c;
    return SplitThree(text, '/', a, b, c) && a.size() == 2 && b.size() == 2 &&
           (c.size() == 2 || c.size() == 4);
}

// Whether a text has the shape of a date in some form (digits where a form has them).
bool LooksLikeDate(std::string_view text) {
    for (DateForm f :
         {DateForm::kYyyymmdd, DateForm::kIso, DateForm::kMdy, DateForm::kDmy, DateForm::kDmyDot})
        if (ParseDateIn(text, f) != kNoDate) return true;
    return false;
}

bool LooksLikeTime(std::string_view text) {
    return text.find(':') != std::string_view::npos && ParseTimeText(text).has_value();
}

bool IsBlank(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// The lines of a text that are not blank, one after another, with their 1-based numbers
// (a byte-order mark ahead of the first is skipped). A copy goes on from where it was taken.
class LineCursor {
public:
    explicit LineCursor(std::string_view text)
        : text_(text), at_(text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0) {}
    // From byte `at` (the start of a line) of `text`, with `linesBefore` lines ahead of it.
    LineCursor(std::string_view text, std::size_t at, int linesBefore)
        : text_(text), at_(at), number_(linesBefore) {}
    bool next(int& number, std::string_view& line) {
        while (at_ < text_.size()) {
            ++number_;
            std::size_t nl = text_.find('\n', at_);
            if (nl == std::string_view::npos) nl = text_.size();
            std::size_t end = nl;
            if (end > at_ && text_[end - 1] == '\r') --end;
            line = text_.substr(at_, end - at_);
            at_ = nl + 1;
            if (!IsBlank(line)) {
                number = number_;
                return true;
            }
        }
        return false;
    }
    // Where the next line starts (the end of the text after its last line).
    std::size_t offset() const { return std::min(at_, text_.size()); }
    int linesBefore() const { return number_; }

private:
    std::string_view text_;
    std::size_t at_;
    int number_ = 0;
};

// Calls each(number, line) for every line of a text that is not blank, with its 1-based
// number and without its line end (a UTF-8 byte-order mark at the start skipped), until each
// returns false.
template <class Each>
void ForEachLine(std::string_view text, Each each) {
    LineCursor lines(text);
    int number = 0;
    std::string_view line;
    while (lines.next(number, line))
        if (!each(number, line)) return;
}

int ValueIndex(ImportColumn c) {
    switch (c) {
        case ImportColumn::kOpen:
            return 0;
        case ImportColumn::kHigh:
            return 1;
        case ImportColumn::kLow:
            return 2;
        case ImportColumn::kClose:
            return 3;
        case ImportColumn::kVol:
            return 4;
        case ImportColumn::kOi:
            return 5;
        default:
            return -1;
    }
}

// The columns a line without a title row stands for: [SYMBOL] DATE [TIME] OPEN HIGH LOW CLOSE
// [VOL [OI]]; empty when the shape says nothing.
std::vector<ImportColumn> GuessColumns(std::span<const std::string_view> fields) {
    std::vector<ImportColumn> cols;
    std::size_t at = 0;
    if (fields.size() > 1 && !LooksLikeDate(fields[0]) && LooksLikeDate(fields[1])) {
        cols.push_back(ImportColumn::kSymbol);
        at = 1;
    }
    if (at >= fields.size() || !LooksLikeDate(fields[at])) return {};
    cols.push_back(ImportColumn::kDate);
    ++at;
    if (at < fields.size() && LooksLikeTime(fields[at])) {
        cols.push_back(ImportColumn::kTime);
        ++at;
    }
    const std::size_t values = fields.size() - at;
    if (values < 4 || values > 6) return {};
    const ImportColumn order[] = {ImportColumn::kOpen,  ImportColumn::kHigh, ImportColumn::kLow,
                                  ImportColumn::kClose, ImportColumn::kVol,  ImportColumn::kOi};
    for (std::size_t i = 0; i < values; ++i) cols.push_back(order[i]);
    return cols;
}

// The one form of a file's dates, voted line by line: the first date names YYYYMMDD, ISO or
// dotted dates; slash dates are MM/DD unless a date rules it out (a month above 12) and DD/MM
// is not ruled out the same way; ambiguous when both read every date and some date reads
// differently.
struct FormVerdict {
    DateForm form = DateForm::kDetect;
    std::string refusal;
};
class DateFormVote {
public:
    void add(std::string_view d) {
        if (first_.empty()) {
            if (d.empty()) return;
            first_ = std::string(d);  // a copy: the caller's line buffers are reused
            if (ParseDateIn(d, DateForm::kYyyymmdd) != kNoDate || (AllDigits(d) && d.size() == 8))
                form_ = DateForm::kYyyymmdd;
            else if (d.find('-') != std::string_view::npos)
                form_ = DateForm::kIso;
            else if (d.find('.') != std::string_view::npos)
                form_ = DateForm::kDmyDot;
        }
        if (decided() || !IsSlashDateShape(d)) return;
        const DateCode m = ParseDateIn(d, DateForm::kMdy);
        const DateCode e = ParseDateIn(d, DateForm::kDmy);
        if (m == kNoDate && e != kNoDate) mdyOut_ = true;
        if (e == kNoDate && m != kNoDate) dmyOut_ = true;
        if (m != kNoDate && e != kNoDate && m != e && example_.empty()) example_ = std::string(d);
    }
    // The first date named a form that no later date can change.
    bool decided() const { return form_ != DateForm::kDetect; }
    FormVerdict verdict() const {
        FormVerdict v;
        if (first_.empty()) {
            v.refusal = "no line holds a date";
        } else if (decided()) {
            v.form = form_;
        } else if (mdyOut_ && dmyOut_) {
            v.refusal =
                "the dates are neither all MM/DD/YYYY nor all DD/MM/YYYY; choose the date form";
        } else if (mdyOut_) {
            v.form = DateForm::kDmy;
        } else if (dmyOut_ || example_.empty()) {
            v.form = DateForm::kMdy;
        } else {
            v.refusal = "the dates can be read as MM/DD/YYYY or as DD/MM/YYYY (" + example_ +
                        "); choose the date form";
        }
        return v;
    }

private:
    std::string first_, example_;
    DateForm form_ = DateForm::kDetect;
    bool mdyOut_ = false, dmyOut_ = false;
};

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text.substr(0, 40)) out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    if (text.size() > 40) out += "...";
    return out + "\"";
}

}  // namespace

std::string_view ImportColumnName(ImportColumn column) {
    switch (column) {
        case ImportColumn::kSkip:
            return "skip";
        case ImportColumn::kSymbol:
            return "symbol";
        case ImportColumn::kName:
            return "name";
        case ImportColumn::kDate:
            return "date";
        case ImportColumn::kTime:
            return "time";
        case ImportColumn::kOpen:
            return "open";
        case ImportColumn::kHigh:
            return "high";
        case ImportColumn::kLow:
            return "low";
        case ImportColumn::kClose:
            return "close";
        case ImportColumn::kVol:
            return "vol";
        case ImportColumn::kOi:
            return "oi";
    }
    return "skip";
}

std::optional<ImportColumn> ImportColumnOfTitle(std::string_view title) {
    const std::string key = TitleKey(title);
    for (const ColumnName& n : kColumnNames)
        if (n.key == key) return n.column;
    return std::nullopt;
}

std::optional<std::vector<ImportColumn>> ParseColumnList(std::string_view list, std::string* bad) {
    std::vector<ImportColumn> out;
    for (const std::string& word : SplitFields(list, ',')) {
        const auto c = ImportColumnOfTitle(word);
        if (!c || word.empty()) {
            if (bad) *bad = word;
            return std::nullopt;
        }
        out.push_back(*c);
    }
    return out;
}

std::string ColumnListText(const std::vector<ImportColumn>& columns) {
    std::string out;
    for (ImportColumn c : columns) {
        if (!out.empty()) out += ',';
        out += ImportColumnName(c);
    }
    return out;
}

std::string_view DateFormName(DateForm form) {
    switch (form) {
        case DateForm::kDetect:
            return "detect";
        case DateForm::kYyyymmdd:
            return "YYYYMMDD";
        case DateForm::kIso:
            return "YYYY-MM-DD";
        case DateForm::kMdy:
            return "MM/DD/YYYY";
        case DateForm::kDmy:
            return "DD/MM/YYYY";
        case DateForm::kDmyDot:
            return "DD.MM.YYYY";
    }
    return "detect";
}

std::optional<DateForm> DateFormOfName(std::string_view name) {
    const std::string n = ToUpperAscii(name);
    if (n == "DETECT") return DateForm::kDetect;
    if (n == "YYYYMMDD") return DateForm::kYyyymmdd;
    if (n == "YYYY-MM-DD") return DateForm::kIso;
    if (n == "MM/DD/YYYY" || n == "MM/DD/YY") return DateForm::kMdy;
    if (n == "DD/MM/YYYY" || n == "DD/MM/YY") return DateForm::kDmy;
    if (n == "DD.MM.YYYY") return DateForm::kDmyDot;
    return std::nullopt;
}

DateCode ParseDateIn(std::string_view text, DateForm form) {
    // Every form has its digits and separators at fixed places.
    auto at = [text](std::size_t from, std::size_t count) { return DigitsAt(text, from, count); };
    // A year of four digits is written out: "0099" is not 1999.
    auto year4 = [&at](std::size_t from) {
        const int y = at(from, 4);
        return y >= 1900 ? y : -1;
    };
    auto separated = [text](char sep) { return text[2] == sep && text[5] == sep; };
    switch (form) {
        case DateForm::kYyyymmdd:
            if (text.size() != 8) return kNoDate;
            return ExistingDate(year4(0), at(4, 2), at(6, 2));
        case DateForm::kIso:
            if (text.size() != 10 || text[4] != '-' || text[7] != '-') return kNoDate;
            return ExistingDate(year4(0), at(5, 2), at(8, 2));
        case DateForm::kMdy:
        case DateForm::kDmy: {
            if ((text.size() != 8 && text.size() != 10) || !separated('/')) return kNoDate;
            const int first = at(0, 2), second = at(3, 2);
            const int year = text.size() == 10 ? year4(6) : at(6, 2);
            if (year < 0) return kNoDate;
            const int fullYear =
                text.size() == 10 ? year : year + (year >= kFirstTwoDigitYear % 100 ? 1900 : 2000);
            return form == DateForm::kMdy ? ExistingDate(fullYear, first, second)
                                          : ExistingDate(fullYear, second, first);
        }
        case DateForm::kDmyDot:
            if (text.size() != 10 || !separated('.')) return kNoDate;
            return ExistingDate(year4(6), at(3, 2), at(0, 2));
        case DateForm::kDetect:
            break;
    }
    return kNoDate;
}

std::optional<TimeCode> ParseTimeText(std::string_view text) {
    int h = 0, m = 0, s = 0;
    if (text.size() == 6 && AllDigits(text)) {
        h = Number(text.substr(0, 2));
        m = Number(text.substr(2, 2));
        s = Number(text.substr(4, 2));
    } else if ((text.size() == 5 || text.size() == 8) && text[2] == ':') {
        const std::string_view hh = text.substr(0, 2), mm = text.substr(3, 2);
        if (!AllDigits(hh) || !AllDigits(mm)) return std::nullopt;
        h = Number(hh);
        m = Number(mm);
        if (text.size() == 8) {
            if (text[5] != ':' || !AllDigits(text.substr(6, 2))) return std::nullopt;
            s = Number(text.substr(6, 2));
        }
    } else {
        return std::nullopt;
    }
    if (h > 23 || m > 59 || s > 59) return std::nullopt;
    return MakeTime(h, m, s);
}

namespace {

// The value of a plain decimal text ("-12.375", "1500"): at most 15 digits, read through one
// division, which gives what from_chars gives and several times faster; nothing for any other
// text, which from_chars reads. When the digits and the power of ten are both exact floats,
// one float division rounds once, to the float nearest the text. Otherwise the quotient is a
// double, and rounding it once more to float gives the float nearest the text unless it lies
// exactly on the midpoint of two floats (a text with many fraction digits can round to one
// without being it): that case is left to from_chars too.
std::optional<float> PlainDecimal(std::string_view t) {
    static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const bool negative = !t.empty() && t[0] == '-';
    const char* p = t.data() + (negative ? 1 : 0);
    const char* const end = t.data() + t.size();
    // The digits before the point, then those after it (a mantissa past 15 digits is
    // thrown away below, whatever it wrapped to).
    std::uint64_t mantissa = 0;
    const char* const whole = p;
    for (; p < end && static_cast<unsigned char>(*p - '0') < 10; ++p)
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    const auto wholeDigits = p - whole;
    if (wholeDigits == 0) return std::nullopt;
    int fraction = 0;
    if (p < end) {
        if (*p != '.') return std::nullopt;
        const char* const after = ++p;
        for (; p < end && static_cast<unsigned char>(*p - '0') < 10; ++p)
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        fraction = static_cast<int>(p - after);
        if (fraction == 0 || p != end) return std::nullopt;
    }
    if (wholeDigits + fraction > 15) return std::nullopt;
    static constexpr float kFloatTens[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                           1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    if (mantissa < (1u << 24) && fraction <= 10) {
        const float f = static_cast<float>(mantissa) / kFloatTens[fraction];
        return negative ? -f : f;
    }
    const double d = static_cast<double>(mantissa) / kTens[fraction];
    // A midpoint of two normal floats, as a double: the first of the 29 mantissa bits a float
    // drops is set and the others are clear.
    if (d != 0 && (std::bit_cast<std::uint64_t>(d) & 0x1FFFFFFFull) == 0x10000000ull)
        return std::nullopt;
    const float f = static_cast<float>(d);
    return negative ? -f : f;
}

}  // namespace

ValueField ParseValueText(std::string_view text) {
    ValueField v;
    if (text == "N/A") return v;
    // A plain decimal of at most 15 digits is 0 or lies between 1e-15 and 1e15: well inside
    // what a quote file holds.
    if (const std::optional<float> plain = PlainDecimal(text)) {
        v.present = true;
        v.value = *plain;
        return v;
    }
    float f = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), f, std::chars_format::general);
    if (text.empty() || ec == std::errc::invalid_argument || end != text.data() + text.size()) {
        v.problem = Quoted(text) + " is not a number";
        return v;
    }
    if (ec == std::errc::result_out_of_range || !HasMbfForm(f)) {
        v.problem = Quoted(text) + " has no form in a quote file (too large or not a number)";
        return v;
    }
    if (!MbfHoldsValue(f)) {
        v.problem = Quoted(text) + " is too small for a quote file: it would be stored as 0";
        return v;
    }
    v.present = true;
    v.value = f;
    return v;
}

std::string BadLineText(const BadLine& bad) {
    return bad.file + ", line " + std::to_string(bad.line) + ": " + bad.reason;
}

bool QuoteText::has(ImportColumn c) const {
    return std::find(columns.begin(), columns.end(), c) != columns.end();
}

std::vector<std::string> SplitFields(std::string_view line, char delimiter) {
    std::vector<std::string> fields;
    std::string field;
    bool inQuotes = false, quotedField = false;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size()) {
            fields.push_back(field);
            break;
        }
        const char c = line[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                field += c;
            }
        } else if (c == delimiter) {
            fields.push_back(field);
            field.clear();
            quotedField = false;
        } else if (c == '"' && field.empty() && !quotedField) {
            inQuotes = quotedField = true;
        } else {
            field += c;
        }
    }
    return fields;
}

char DetectDelimiter(std::string_view text) {
    std::vector<std::string_view> sample;
    ForEachLine(text, [&](int, std::string_view line) {
        sample.push_back(line);
        return sample.size() < 20;
    });
    if (sample.empty()) return 0;
    // The first delimiter that splits most of the lines as it splits the first (a bad line
    // among them is reported as such, not taken for another delimiter).
    for (char d : {'\t', ';', ',', ' '}) {
        const std::size_t n = SplitFields(sample[0], d).size();
        if (n < 2) continue;
        const auto alike = std::count_if(sample.begin(), sample.end(), [&](std::string_view l) {
            return SplitFields(l, d).size() == n;
        });
        if (static_cast<std::size_t>(alike) * 2 > sample.size()) return d;
    }
    return 0;
}

// Splits line after line into fields, reusing its buffers: a file of many lines is read
// without an allocation per line or field. The views of one split are valid until the next.
class FieldSplitter {
public:
    explicit FieldSplitter(char delimiter) : delimiter_(delimiter) {}
    std::span<const std::string_view> split(std::string_view line) {
        fields_.clear();
        if (delimiter_ == 0) {
            fields_.push_back(line);
            return fields_;
        }
        if (std::memchr(line.data(), '"', line.size()) != nullptr) {
            unquoted_ = SplitFields(line, delimiter_);
            fields_.assign(unquoted_.begin(), unquoted_.end());
            return fields_;
        }
        // One pass over the characters (fields are short: a search per field costs more).
        std::size_t at = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == delimiter_) {
                fields_.push_back(line.substr(at, i - at));
                at = i + 1;
            }
        }
        fields_.push_back(line.substr(at));
        return fields_;
    }

private:
    char delimiter_;
    std::vector<std::string_view> fields_;
    std::vector<std::string> unquoted_;
};

// How the data lines of a file are read, once its columns and date form are decided.
struct LineReading {
    const std::vector<ImportColumn>* columns = nullptr;
    DateForm form = DateForm::kDetect;
    char delimiter = 0;
    std::string_view file;
    int dateAt = -1, timeAt = -1, symbolAt = -1, nameAt = -1;
    bool checkHighLow = false;
};

std::size_t LineEnds(std::string_view text) {
    std::size_t n = 0;
    for (const char *at = text.data(), *end = at + text.size();
         (at = static_cast<const char*>(
              std::memchr(at, '\n', static_cast<std::size_t>(end - at)))) != nullptr;
         ++at)
        ++n;
    return n;
}

// Reads the lines a cursor gives into out's quotes, bad lines, texts and line count.
void ReadLines(const LineReading& r, LineCursor data, QuoteText& out) {
    const std::vector<ImportColumn>& columns = *r.columns;
    FieldSplitter splitter(r.delimiter);
    // A text equal to the one the line before kept shares its entry.
    std::uint32_t lastSymbol = 0;
    std::uint32_t lastName = 0;
    auto keep = [&out](std::string_view text, std::uint32_t& last) {
        if (text.empty()) return std::uint32_t{0};
        if (last == 0 || out.texts[last] != text) {
            last = static_cast<std::uint32_t>(out.texts.size());
            out.texts.emplace_back(text);
        }
        return last;
    };
    int lineNo = 0;
    for (std::string_view line; data.next(lineNo, line);) {
        const std::span<const std::string_view> f = splitter.split(line);
        ++out.lines;
        // The quote is built in place and taken back when its line is bad.
        auto bad = [&](std::string reason) {
            out.quotes.pop_back();
            out.bad.push_back({std::string(r.file), lineNo, std::move(reason)});
        };
        TextQuote& q = out.quotes.emplace_back();
        if (f.size() != columns.size()) {
            bad(std::to_string(f.size()) + " fields where the columns are " +
                std::to_string(columns.size()));
            continue;
        }
        q.line = lineNo;
        const std::string_view dateText = f[static_cast<std::size_t>(r.dateAt)];
        q.date = ParseDateIn(dateText, r.form);
        if (q.date == kNoDate) {
            bad(Quoted(dateText) + " is not a day in the form " +
                std::string(DateFormName(r.form)));
            continue;
        }
        if (r.timeAt >= 0) {
            const auto t = ParseTimeText(f[static_cast<std::size_t>(r.timeAt)]);
            if (!t) {
                bad(Quoted(f[static_cast<std::size_t>(r.timeAt)]) +
                    " is not a time (HHMMSS, HH:MM or HH:MM:SS)");
                continue;
            }
            q.time = *t;
            q.hasTime = true;
        }
        if (r.symbolAt >= 0) {
            const std::string_view symbol = f[static_cast<std::size_t>(r.symbolAt)];
            if (symbol.empty()) {
                bad("no symbol");
                continue;
            }
            q.symbol = keep(symbol, lastSymbol);
        }
        if (r.nameAt >= 0) q.name = keep(f[static_cast<std::size_t>(r.nameAt)], lastName);
        std::string problem;
        for (std::size_t c = 0; c < columns.size() && problem.empty(); ++c) {
            const int v = ValueIndex(columns[c]);
            if (v < 0) continue;
            const ValueField field = ParseValueText(f[c]);
            if (!field.problem.empty()) {
                problem = std::string(ImportColumnName(columns[c])) + ": " + field.problem;
                break;
            }
            q.has[static_cast<std::size_t>(v)] = field.present;
            q.values[static_cast<std::size_t>(v)] = field.value;
        }
        if (problem.empty() && r.checkHighLow && q.has[1] && q.has[2] && q.values[1] < q.values[2])
            problem = "the high is below the low";
        if (!problem.empty()) bad(problem);
    }
}

std::size_t DefaultHalvedFrom() {
    return std::thread::hardware_concurrency() > 1 ? std::size_t{512} * 1024 : SIZE_MAX;
}

QuoteText ReadQuoteText(std::string_view text, const TextFormat& format, std::string file,
                        std::size_t halvedFrom) {
    QuoteText out;
    out.file = std::move(file);
    out.delimiter = format.delimiter != 0 ? format.delimiter : DetectDelimiter(text);
    // The lines are walked again for each pass (the first, the date form, the quotes)
    // rather than kept: walking is cheaper than holding a view of every line.
    LineCursor lines(text);
    LineCursor start = lines;  // where the data begins
    int headNumber = 0;
    std::string_view headLine;
    if (!lines.next(headNumber, headLine)) {
        out.refusal = "the file holds no quotes";
        return out;
    }
    if (out.delimiter == 0) {
        out.refusal =
            "no delimiter (comma, semicolon, tab or blank) splits its lines alike; give the "
            "delimiter";
        return out;
    }

    // The title row: a first line naming a known column.
    FieldSplitter splitter(out.delimiter);
    const std::span<const std::string_view> head = splitter.split(headLine);
    std::vector<ImportColumn> titled;
    bool anyKnown = false;
    for (std::string_view f : head) {
        const auto c = ImportColumnOfTitle(f);
        titled.push_back(c.value_or(ImportColumn::kSkip));
        if (c && !f.empty()) anyKnown = true;
    }
    // A line with a date in it is data, whatever its other fields say (a ticker LOW).
    const bool dated =
        std::any_of(head.begin(), head.end(), [](std::string_view f) { return LooksLikeDate(f); });
    if (anyKnown && !dated) {
        out.titleRow = true;
        out.titles.assign(head.begin(), head.end());
        start = lines;
    }
    if (!format.columns.empty()) {
        out.columns = format.columns;
    } else if (out.titleRow) {
        out.columns = titled;
    } else {
        out.columns = GuessColumns(head);
        out.columnsGuessed = true;
        if (out.columns.empty()) {
            out.refusal =
                "no title row names the columns and the first line does not show them; give the "
                "columns";
            return out;
        }
    }
    auto indexOf = [&](ImportColumn c) {
        const auto it = std::find(out.columns.begin(), out.columns.end(), c);
        return it == out.columns.end() ? -1 : static_cast<int>(it - out.columns.begin());
    };
    for (ImportColumn c : out.columns) {
        if (c == ImportColumn::kSkip) continue;
        if (std::count(out.columns.begin(), out.columns.end(), c) > 1) {
            out.refusal = "the column " + std::string(ImportColumnName(c)) + " is named twice";
            return out;
        }
    }
    const int dateAt = indexOf(ImportColumn::kDate);
    if (dateAt < 0) {
        out.refusal = "no column holds the date";
        return out;
    }
    if (indexOf(ImportColumn::kOpen) < 0 && indexOf(ImportColumn::kHigh) < 0 &&
        indexOf(ImportColumn::kLow) < 0 && indexOf(ImportColumn::kClose) < 0 &&
        indexOf(ImportColumn::kVol) < 0 && indexOf(ImportColumn::kOi) < 0) {
        out.refusal = "no column holds a price, volume or open interest";
        return out;
    }

    // One date form for the whole file.
    out.dateForm = format.dateForm;
    if (out.dateForm == DateForm::kDetect) {
        DateFormVote vote;
        LineCursor voting = start;
        int number = 0;
        for (std::string_view line; !vote.decided() && voting.next(number, line);) {
            const std::span<const std::string_view> f = splitter.split(line);
            if (static_cast<std::size_t>(dateAt) < f.size())
                vote.add(f[static_cast<std::size_t>(dateAt)]);
        }
        const FormVerdict verdict = vote.verdict();
        if (!verdict.refusal.empty()) {
            out.refusal = verdict.refusal;
            return out;
        }
        out.dateForm = verdict.form;
    }

    LineReading reading;
    reading.columns = &out.columns;
    reading.form = out.dateForm;
    reading.delimiter = out.delimiter;
    reading.file = out.file;
    reading.dateAt = dateAt;
    reading.timeAt = indexOf(ImportColumn::kTime);
    reading.symbolAt = indexOf(ImportColumn::kSymbol);
    reading.nameAt = indexOf(ImportColumn::kName);
    reading.checkHighLow = format.checkHighLow;

    // A long text is read in two halves at once, split after the first line end past the
    // middle of its data.
    const std::size_t from = start.offset();
    const std::size_t nl = text.size() - from >= halvedFrom
                               ? text.find('\n', from + (text.size() - from) / 2)
                               : std::string_view::npos;
    if (nl == std::string_view::npos || nl + 1 >= text.size()) {
        out.quotes.reserve(LineEnds(text.substr(from)) + 1);
        ReadLines(reading, start, out);
        return out;
    }
    const std::size_t split = nl + 1;
    const std::string_view firstHalf = text.substr(0, split), secondHalf = text.substr(split);
    // Each half's line ends counted once: they number the second half and make room for both.
    const std::size_t firstEnds = LineEnds(firstHalf.substr(from)),
                      secondEnds = LineEnds(secondHalf);
    const int linesBefore = start.linesBefore() + static_cast<int>(firstEnds);
    QuoteText second;
    std::exception_ptr failed;
    std::thread other([&] {
        try {
            second.quotes.reserve(secondEnds + 1);
            ReadLines(reading, LineCursor(text, split, linesBefore), second);
        } catch (...) {
            failed = std::current_exception();
        }
    });
    try {
        out.quotes.reserve(firstEnds + secondEnds + 1);
        ReadLines(reading, LineCursor(firstHalf, from, start.linesBefore()), out);
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (failed) std::rethrow_exception(failed);
    // The second half's texts follow the first half's (both start with the empty text).
    const auto shift = static_cast<std::uint32_t>(out.texts.size() - 1);
    out.texts.insert(out.texts.end(), std::make_move_iterator(second.texts.begin() + 1),
                     std::make_move_iterator(second.texts.end()));
    for (TextQuote& q : second.quotes) {
        if (q.symbol != 0) q.symbol += shift;
        if (q.name != 0) q.name += shift;
    }
    out.quotes.insert(out.quotes.end(), second.quotes.begin(), second.quotes.end());
    out.bad.insert(out.bad.end(), std::make_move_iterator(second.bad.begin()),
                   std::make_move_iterator(second.bad.end()));
    out.lines += second.lines;
    return out;
}

QuoteText ReadQuoteFile(const fs::path& path, const TextFormat& format) {
    InputFile in(path);
    // Not a std::string: resizing one would first fill it with zeros, only to read over them.
    std::unique_ptr<char[]> text;
    std::size_t size = 0;
    bool read = false;
    if (in.isOpen()) {
        if (const std::int64_t n = in.size(); n >= 0) {
            size = static_cast<std::size_t>(n);
            text.reset(new char[size + 1]);
            read = size == 0 || in.read(text.get(), size);
        }
    }
    if (!read) {
        QuoteText out;
        out.file = path.string();
        out.refusal = in.notRegular() ? "not a regular file" : "cannot be read";
        return out;
    }
    return ReadQuoteText(std::string_view(text.get(), size), format, path.string());
}

std::vector<std::vector<std::string>> PreviewRows(std::string_view text, char delimiter, int rows) {
    std::vector<std::vector<std::string>> out;
    if (rows <= 0) return out;
    ForEachLine(text, [&](int, std::string_view line) {
        out.push_back(delimiter != 0 ? SplitFields(line, delimiter)
                                     : std::vector<std::string>{std::string(line)});
        return static_cast<int>(out.size()) < rows;
    });
    return out;
}

}  // namespace barwise
