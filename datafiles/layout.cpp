#include "datafiles/layout.h"

#include <climits>
#include <string>
#include <vector>

#include "datafiles/ascii.h"
#include "datafiles/encoding.h"

namespace barwise {

namespace {

// Decimal conversion as the DOP reader does it: leading blanks, an optional sign, digits
// up to the first non-digit; no digits give 0. Clamped to the 16-bit range of the codes.
std::int16_t ParseCode(std::string_view item) {
    std::size_t i = 0;
    while (i < item.size() && (item[i] == ' ' || item[i] == '\t')) ++i;
    bool negative = false;
    if (i < item.size() && (item[i] == '-' || item[i] == '+')) negative = item[i++] == '-';
    long value = 0;
    while (i < item.size() && item[i] >= '0' && item[i] <= '9') {
        value = value * 10 + (item[i++] - '0');
        if (value > 100000) value = 100000;
    }
    if (negative) value = -value;
    if (value > SHRT_MAX) value = SHRT_MAX;
    if (value < SHRT_MIN) value = SHRT_MIN;
    return static_cast<std::int16_t>(value);
}

// Index of the field a DOP name stands for: the first field name that is a prefix of it,
// ignoring letter case; -1 for none.
int FieldOfName(std::string_view name) {
    for (int f = 0; f < kQuoteFieldCount; ++f) {
        const std::string_view dop = kDopFieldNames[static_cast<std::size_t>(f)];
        if (name.size() < dop.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < dop.size() && same; ++i) same = UpperAscii(name[i]) == dop[i];
        if (same) return f;
    }
    return -1;
}

void ParseDop(const std::vector<std::uint8_t>& bytes, FieldLayout& layout) {
    // DOP files are small; a huge one is not a DOP and is read no further than this.
    constexpr std::size_t kMaxDopBytes = 1 << 20;
    const std::size_t size = bytes.size() < kMaxDopBytes ? bytes.size() : kMaxDopBytes;
    int nextColumn = 1;
    std::size_t pos = 0;
    while (pos < size) {
        std::size_t end = pos;
        while (end < size && bytes[end] != '\n') ++end;
        std::string line(reinterpret_cast<const char*>(bytes.data() + pos), end - pos);
        pos = end + 1;
        if (line.size() > static_cast<std::size_t>(kMaxDopLine)) line.resize(kMaxDopLine);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (line.empty() || line[0] != '"') continue;

        std::vector<std::string_view> items;
        std::string_view rest(line);
        rest.remove_prefix(1);  // the opening quote
        for (;;) {
            const std::size_t comma = rest.find(',');
            items.push_back(rest.substr(0, comma));
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
        const int field = FieldOfName(items[0]);
        if (field < 0) continue;
        const auto f = static_cast<std::size_t>(field);
        layout.column[f] = static_cast<std::int16_t>(nextColumn);
        // A line without codes has codes 0.
        layout.inputFormat[f] = items.size() > 1 ? ParseCode(items[1]) : 0;
        layout.displayFormat[f] = items.size() > 2 ? ParseCode(items[2]) : 0;
        if (nextColumn < SHRT_MAX) ++nextColumn;
    }
}

void SetColumns(FieldLayout& layout, std::initializer_list<std::pair<QuoteField, int>> columns) {
    for (const auto& [field, column] : columns) {
        layout.column[static_cast<std::size_t>(field)] = static_cast<std::int16_t>(column);
    }
}

}  // namespace

namespace {

DataStatus DefaultLayout(const fs::path& dopPath, int recordLength, char period,
                         FieldLayout& layout) {
    layout = FieldLayout{};
    // Intraday series written without a DOP keep the time of each bar in column 2.
    if (period == 'I' && recordLength == 28) {
        SetColumns(layout, {{kFieldDate, 1},
                            {kFieldTime, 2},
                            {kFieldOpen, 3},
                            {kFieldHigh, 4},
                            {kFieldLow, 5},
                            {kFieldClose, 6},
                            {kFieldVol, 7}});
        return kSuccess;
    }
    switch (recordLength) {
        case 12:
            SetColumns(layout, {{kFieldDate, 1}, {kFieldClose, 2}, {kFieldVol, 3}});
            break;
        case 16:
            SetColumns(layout,
                       {{kFieldDate, 1}, {kFieldHigh, 2}, {kFieldLow, 3}, {kFieldClose, 4}});
            break;
        case 18:
            SetColumns(layout, {{kFieldDate, 1}, {kFieldClose, 2}});
            break;
        case 20: {
            // The first quote tells whether the fifth field is a price or a volume.
            const fs::path datPath =
                FindNoCase(dopPath.parent_path(), dopPath.stem().string() + ".DAT");
            InputFile dat(datPath);
            if (!dat.isOpen()) return kNoLayout;
            std::uint8_t header[20];
            std::uint8_t quote[20] = {};
            if (dat.read(header, sizeof header) && !dat.read(quote, sizeof quote)) {
                std::fill(std::begin(quote), std::end(quote), std::uint8_t{0});
            }
            const float second = MbfToFloat(quote + 4);
            const float fifth = MbfToFloat(quote + 16);
            if (fifth == 0.0f || fifth > 2.0f * second) {
                SetColumns(layout, {{kFieldDate, 1},
                                    {kFieldHigh, 2},
                                    {kFieldLow, 3},
                                    {kFieldClose, 4},
                                    {kFieldVol, 5}});
            } else {
                SetColumns(layout, {{kFieldDate, 1},
                                    {kFieldOpen, 2},
                                    {kFieldHigh, 3},
                                    {kFieldLow, 4},
                                    {kFieldClose, 5}});
            }
            break;
        }
        case 24:
            SetColumns(layout, {{kFieldDate, 1},
                                {kFieldOpen, 2},
                                {kFieldHigh, 3},
                                {kFieldLow, 4},
                                {kFieldClose, 5},
                                {kFieldVol, 6}});
            break;
        case 28:
            SetColumns(layout, {{kFieldDate, 1},
                                {kFieldOpen, 2},
                                {kFieldHigh, 3},
                                {kFieldLow, 4},
                                {kFieldClose, 5},
                                {kFieldVol, 6},
                                {kFieldOi, 7}});
            break;
        case 32:
            SetColumns(layout, {{kFieldDate, 1},
                                {kFieldTime, 2},
                                {kFieldOpen, 3},
                                {kFieldHigh, 4},
                                {kFieldLow, 5},
                                {kFieldClose, 6},
                                {kFieldVol, 7},
                                {kFieldOi, 8}});
            break;
        default:
            return kNoLayout;
    }
    return kSuccess;
}

// A DOP that names no date, or a column beyond the record's fields (fieldCount 0: not
// known), describes some other file.
bool IsTrustworthyDop(const FieldLayout& layout, int fieldCount) {
    if (layout.column[kFieldDate] == 0) return false;
    if (fieldCount <= 0) return true;
    for (auto c : layout.column) {
        if (c > fieldCount) return false;
    }
    return true;
}

}  // namespace

DataStatus ReadLayout(const fs::path& dopPath, int recordLength, int fieldCount, char period,
                      FieldLayout& layout, bool* dopIgnored, bool dopListed) {
    if (dopIgnored) *dopIgnored = false;
    layout = FieldLayout{};
    if (auto dop = dopListed ? ReadWholeFile(dopPath) : std::nullopt) {
        ParseDop(*dop, layout);
        if (IsTrustworthyDop(layout, fieldCount)) return kSuccess;
        FieldLayout fallback;
        // Without a default for the record length the DOP is all there is.
        if (DefaultLayout(dopPath, recordLength, period, fallback) != kSuccess) return kSuccess;
        layout = fallback;
        if (dopIgnored) *dopIgnored = true;
        return kSuccess;
    }
    return DefaultLayout(dopPath, recordLength, period, layout);
}

DataStatus ReadLayout(const fs::path& dopPath, int recordLength, FieldLayout& layout) {
    return ReadLayout(dopPath, recordLength, 0, 'D', layout, nullptr);
}

FieldLayout ColumnsWithin(const FieldLayout& layout, int fieldCount) {
    FieldLayout out = layout;
    for (auto& c : out.column) {
        if (c < 0 || c > fieldCount) c = 0;
    }
    return out;
}

std::string_view FormatCodeName(int code) {
    switch (code) {
        case -7:
            return "128ths";
        case -6:
            return "64ths";
        case -5:
            return "32nds";
        case -4:
            return "16ths";
        case -3:
            return "8ths";
        case -2:
            return "4ths";
        case -1:
            return "Halves";
        case 0:
            return "Whole Num.";
        case 1:
            return "10ths";
        case 2:
            return "100ths";
        case 3:
            return "1,000ths";
        case 4:
            return "10,000ths";
        case 5:
            return "100,000ths";
        case 100:
            return "100s";
        case 1000:
            return "1,000s";
        default:
            return {};
    }
}

}  // namespace barwise
