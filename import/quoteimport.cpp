#include "import/quoteimport.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>

#include "commands/symbols/symbolops.h"
#include "datafiles/ascii.h"
#include "datafiles/extindex.h"
#include "datafiles/layout.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/quotefiles.h"
#include "datafiles/series.h"
#include "discovery/symbollist.h"

namespace barwise {
namespace {

constexpr QuoteField kValueFields[kImportValues] = {kFieldOpen,  kFieldHigh, kFieldLow,
                                                    kFieldClose, kFieldVol,  kFieldOi};
constexpr std::string_view kValueNames[kImportValues] = {"OPEN",  "HIGH", "LOW",
                                                         "CLOSE", "VOL",  "OI"};

// Orders quotes by date, then time.
using QuoteKey = std::int64_t;
QuoteKey KeyOf(DateCode date, TimeCode time) {
    return (static_cast<std::int64_t>(date) << 20) | time;
}

// Passes every call on, but keeps the directory syncs of a run of rewrites for one sync per
// directory at the end (flush): each file is synced before its rename, so a stop before the
// flush leaves every file old or new; the flush makes the renames durable before the index
// files that describe them are rewritten.
class SharedSyncFileSystem final : public FileSystem {
public:
    explicit SharedSyncFileSystem(FileSystem& inner) : inner_(inner) {}
    std::unique_ptr<WritableFile> create(const fs::path& p) override { return inner_.create(p); }
    bool replace(const fs::path& from, const fs::path& to) override {
        return inner_.replace(from, to);
    }
    bool remove(const fs::path& p) override { return inner_.remove(p); }
    bool hardLink(const fs::path& e, const fs::path& l) override { return inner_.hardLink(e, l); }
    bool copyAttributes(const fs::path& from, const fs::path& to) override {
        return inner_.copyAttributes(from, to);
    }
    std::optional<std::uintmax_t> freeSpace(const fs::path& d) override {
        return inner_.freeSpace(d);
    }
    bool directoryWritable(const fs::path& d) override { return inner_.directoryWritable(d); }
    bool syncDirectory(const fs::path& d) override {
        pending_.insert(d.string());
        return true;
    }
    bool flush() {
        bool ok = true;
        for (const std::string& d : pending_) ok = inner_.syncDirectory(d) && ok;
        pending_.clear();
        return ok;
    }

private:
    FileSystem& inner_;
    std::set<std::string> pending_;
};

// One quote of a file with where it came from.
struct Source {
    const QuoteText* file = nullptr;
    const TextQuote* quote = nullptr;
};

// A security's share of the files, and what is decided for it.
struct Group {
    SecurityImport report;
    std::vector<Source> quotes;
    // Decided:
    bool exists = false;
    SeriesFiles files;                 // an existing security's series
    std::vector<std::uint8_t> before;  // its data file now (header and counted quotes)
    std::vector<std::uint8_t> after;   // the new content
    bool dataChanged = false;
    bool datesChanged = false;
    MbfBytes first{}, last{};
    // A new security:
    MasterRecord record;  // its MASTER record (MASTER form of the XMASTER one)
    std::vector<QuoteField> columns;
    bool writeDop = false;
    std::uint8_t fieldBits = 0;
};

std::string Upper(std::string_view s) {
    return ToUpperAscii(s);
}

std::string FileStemSymbol(const std::string& file) {
    std::string stem = fs::path(file).filename().string();
    const std::size_t dot = stem.find('.');
    if (dot != std::string::npos && dot > 0) stem.resize(dot);
    return Upper(stem);
}

// The column layout a new security gets: DATE [TIME] and the value columns the file has.
std::vector<QuoteField> ColumnsFor(bool time, const std::array<bool, kImportValues>& present) {
    std::vector<QuoteField> cols{kFieldDate};
    if (time) cols.push_back(kFieldTime);
    for (int v = 0; v < kImportValues; ++v)
        if (present[static_cast<std::size_t>(v)]) cols.push_back(kValueFields[v]);
    return cols;
}

// Whether readers take these columns from the record length and period alone (no DOP).
bool IsDefaultLayout(const std::vector<QuoteField>& cols, char period) {
    using V = std::vector<QuoteField>;
    switch (cols.size() * 4) {
        case 24:
            return cols == V{kFieldDate, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol};
        case 28:
            return period == 'I' ? cols == V{kFieldDate, kFieldTime,  kFieldOpen, kFieldHigh,
                                             kFieldLow,  kFieldClose, kFieldVol}
                                 : cols == V{kFieldDate,  kFieldOpen, kFieldHigh, kFieldLow,
                                             kFieldClose, kFieldVol,  kFieldOi};
        case 32:
            return cols == V{kFieldDate, kFieldTime,  kFieldOpen, kFieldHigh,
                             kFieldLow,  kFieldClose, kFieldVol,  kFieldOi};
        default:
            return false;
    }
}

FieldLayout LayoutOf(const std::vector<QuoteField>& cols) {
    FieldLayout l;
    for (std::size_t i = 0; i < cols.size(); ++i)
        l.column[static_cast<std::size_t>(cols[i])] = static_cast<std::int16_t>(i + 1);
    return l;
}

// The data-record bytes of one file quote in a layout.
// The time is written only when `withTime` (the series has a TIME field and the quote a time).
void FillRecord(std::uint8_t* rec, const FieldLayout& layout, const TextQuote& q, bool withTime) {
    auto put = [&](QuoteField f, float value) {
        const int c = layout.column[static_cast<std::size_t>(f)];
        if (c == 0) return;
        const MbfBytes b = FloatToMbf(value);
        std::memcpy(rec + (c - 1) * 4, b.data(), 4);
    };
    if (const int c = layout.column[kFieldDate]; c != 0) {
        const MbfBytes d = DateToMbfReal(q.date);
        std::memcpy(rec + (c - 1) * 4, d.data(), 4);
    }
    if (withTime) put(kFieldTime, TimeToReal(q.time));
    for (int v = 0; v < kImportValues; ++v)
        if (q.has[static_cast<std::size_t>(v)])
            put(kValueFields[v], q.values[static_cast<std::size_t>(v)]);
}

// Quotes of a group in the order they are taken: a file whose last quote is dated before
// its first was written newest first and is read from its end.
std::vector<Source> InTakingOrder(const std::vector<Source>& quotes) {
    std::vector<Source> out;
    out.reserve(quotes.size());
    std::size_t i = 0;
    while (i < quotes.size()) {
        std::size_t j = i;
        while (j < quotes.size() && quotes[j].file == quotes[i].file) ++j;
        const TextQuote& a = *quotes[i].quote;
        const TextQuote& b = *quotes[j - 1].quote;
        const bool newestFirst = KeyOf(b.date, b.time) < KeyOf(a.date, a.time);
        if (newestFirst)
            for (std::size_t k = j; k > i; --k) out.push_back(quotes[k - 1]);
        else
            out.insert(out.end(), quotes.begin() + static_cast<std::ptrdiff_t>(i),
                       quotes.begin() + static_cast<std::ptrdiff_t>(j));
        i = j;
    }
    return out;
}

// Decides the merge of a group into its existing series: fills before/after and the counts.
// Empty on success, else the refusal.
std::string PlanMerge(Group& g, const ImportOptions& options) {
    const SeriesFiles& sf = g.files;
    const FieldLayout& lay = sf.columns;
    const auto len = static_cast<std::size_t>(sf.recordLength);
    if (lay.column[kFieldDate] == 0) return "its layout has no DATE column";
    const auto data = ReadWholeFile(sf.datPath);
    if (!data) return sf.datPath.string() + " cannot be read";
    if (data->size() < len) return sf.datPath.string() + " is shorter than its header record";
    const int last = DatLastRecord(data->data());
    const std::size_t inFile = data->size() / len - 1;
    const std::size_t counted = static_cast<std::size_t>(std::max(last - 1, 0));
    if (inFile != counted || data->size() % len != 0)
        return sf.datPath.string() + " holds " + std::to_string(inFile) +
               " quotes, its header says " + std::to_string(counted) +
               "; check it before importing into it";
    g.before = *data;
    const bool timed = lay.column[kFieldTime] != 0;
    auto heldKey = [&](const std::uint8_t* rec) {
        const DateCode d = DateFromReal(MbfToFloat(rec + (lay.column[kFieldDate] - 1) * 4));
        const TimeCode t =
            timed ? TimeFromReal(MbfToFloat(rec + (lay.column[kFieldTime] - 1) * 4)) : 0;
        return KeyOf(d, t);
    };
    std::vector<std::uint8_t> held(g.before.begin() + static_cast<std::ptrdiff_t>(len),
                                   g.before.end());
    QuoteKey maxHeld = std::numeric_limits<QuoteKey>::min();
    for (std::size_t i = 0; i < counted; ++i)
        maxHeld = std::max(maxHeld, heldKey(held.data() + i * len));
    std::unordered_map<QuoteKey, std::size_t> index;  // made when first needed
    bool indexed = false;

    // Columns the file has and the layout lacks are named.
    std::array<bool, kImportValues> given{};
    bool givenTime = false;
    for (const Source& s : g.quotes) {
        for (int v = 0; v < kImportValues; ++v)
            given[static_cast<std::size_t>(v)] |= s.quote->has[static_cast<std::size_t>(v)];
        givenTime |= s.quote->hasTime && s.quote->time != 0;
    }
    for (int v = 0; v < kImportValues; ++v)
        if (given[static_cast<std::size_t>(v)] &&
            lay.column[static_cast<std::size_t>(kValueFields[v])] == 0)
            g.report.notes.push_back("the file's " + std::string(kValueNames[v]) +
                                     " values are not written: " + sf.datPath.filename().string() +
                                     " has no " + std::string(kValueNames[v]) + " field");
    if (givenTime && !timed)
        g.report.notes.push_back(
            "the file's times are not written: " + sf.datPath.filename().string() +
            " has no TIME field, so quotes are matched by date alone");

    // The quotes to add, by key; their records are filled in where they land.
    std::vector<QuoteKey> addedKeys;
    std::vector<const TextQuote*> addedQuotes;
    addedKeys.reserve(g.quotes.size());
    addedQuotes.reserve(g.quotes.size());
    for (const Source& s : InTakingOrder(g.quotes)) {
        const TextQuote& q = *s.quote;
        const QuoteKey key = KeyOf(q.date, timed && q.hasTime ? q.time : 0);
        std::size_t at = SIZE_MAX;
        if (key <= maxHeld) {
            if (!indexed) {
                for (std::size_t i = counted; i > 0; --i)
                    index[heldKey(held.data() + (i - 1) * len)] = i - 1;
                indexed = true;
            }
            if (const auto it = index.find(key); it != index.end()) at = it->second;
        }
        if (at == SIZE_MAX) {
            addedKeys.push_back(key);
            addedQuotes.push_back(&q);
            continue;
        }
        std::uint8_t* h = held.data() + at * len;
        ImportConflict conflict;
        bool differs = false;
        for (int v = 0; v < kImportValues; ++v) {
            const int c = lay.column[static_cast<std::size_t>(kValueFields[v])];
            if (c == 0 || !q.has[static_cast<std::size_t>(v)]) continue;
            const MbfBytes b = FloatToMbf(q.values[static_cast<std::size_t>(v)]);
            const std::uint8_t* field = h + (c - 1) * 4;
            conflict.held[static_cast<std::size_t>(v)] = MbfToFloat(field);
            conflict.given[static_cast<std::size_t>(v)] = q.values[static_cast<std::size_t>(v)];
            if (std::memcmp(field, b.data(), 4) != 0) {
                // Two zeros are the same value, whatever stray bits the held one carries.
                if (MbfToFloat(field) == 0.0f && q.values[static_cast<std::size_t>(v)] == 0.0f)
                    continue;
                conflict.differs[static_cast<std::size_t>(v)] = differs = true;
            }
        }
        if (!differs) {
            ++g.report.skipped;
            continue;
        }
        ++g.report.conflicts;
        conflict.file = s.file->file;
        conflict.line = q.line;
        conflict.date = q.date;
        conflict.time = q.time;
        conflict.hasTime = timed && q.hasTime;
        if (options.replace) {
            for (int v = 0; v < kImportValues; ++v) {
                const int c = lay.column[static_cast<std::size_t>(kValueFields[v])];
                if (c == 0 || !conflict.differs[static_cast<std::size_t>(v)]) continue;
                const MbfBytes b = FloatToMbf(q.values[static_cast<std::size_t>(v)]);
                std::memcpy(h + (c - 1) * 4, b.data(), 4);
            }
            ++g.report.replaced;
        } else {
            g.report.lines.push_back(q.line);
            if (g.report.file.empty()) g.report.file = s.file->file;
        }
        g.report.conflictList.push_back(std::move(conflict));
    }
    g.report.added = static_cast<int>(addedKeys.size());
    const std::size_t total = counted + addedKeys.size();
    if (total > static_cast<std::size_t>(kMaxQuotesPerFile))
        return "it would hold " + std::to_string(total) + " quotes; a quote file holds at most " +
               std::to_string(kMaxQuotesPerFile);
    g.report.quotesAfter = static_cast<int>(total);

    // Held and added quotes merged by date: an added quote goes before the first held quote
    // dated after it; added quotes keep the file's order among themselves.
    g.after.assign(len * (total + 1), std::uint8_t{0});
    std::memcpy(g.after.data(), g.before.data(), len);
    std::size_t i = 0, j = 0;
    for (std::uint8_t* to = g.after.data() + len; i < counted || j < addedKeys.size(); to += len) {
        if (j < addedKeys.size() &&
            (i >= counted || addedKeys[j] < heldKey(held.data() + i * len))) {
            const TextQuote& q = *addedQuotes[j++];
            FillRecord(to, lay, q, timed && q.hasTime);
        } else {
            std::memcpy(to, held.data() + (i++) * len, len);
        }
    }
    SetDatLastRecord(g.after.data(), static_cast<int>(total + 1));
    g.dataChanged = g.after != g.before;
    if (g.dataChanged && total > 0) {
        const int dc = lay.column[kFieldDate];
        std::memcpy(g.first.data(), g.after.data() + len + (dc - 1) * 4, 4);
        std::memcpy(g.last.data(), g.after.data() + total * len + (dc - 1) * 4, 4);
        g.datesChanged =
            std::memcmp(g.first.data(), g.files.record.bytes.data() + kMasterFirstDateOffset, 4) !=
                0 ||
            std::memcmp(g.last.data(), g.files.record.bytes.data() + kMasterLastDateOffset, 4) != 0;
    }
    return {};
}

// The portfolio's securities by symbol and by name, upper case: MASTER's within its count,
// then XMASTER's, the first of equal texts kept.
struct Lookup {
    std::unordered_map<std::string, const MasterEntry*> bySymbol, byName;
    const MasterEntry* find(const std::string& key) const {
        const std::string k = Upper(key);
        if (auto it = bySymbol.find(k); it != bySymbol.end()) return it->second;
        if (auto it = byName.find(k); it != byName.end()) return it->second;
        return nullptr;
    }
};
Lookup MakeLookup(const MasterFile& master) {
    Lookup l;
    for (const MasterEntry& e : master.entries) {
        if (e.record.isSubdirEntry()) continue;
        if (!e.id.inXmaster() && e.id.position > master.headerCount) continue;
        const std::string symbol = Upper(DisplayText(e.record.symbolField()));
        if (!symbol.empty()) l.bySymbol.emplace(symbol, &e);
        const std::string name = Upper(SecurityName(e.record));
        if (!name.empty()) l.byName.emplace(name, &e);
    }
    return l;
}

// Where new securities go: the next MASTER or XMASTER place, numbers taken one by one.
struct Places {
    const MasterFile* master = nullptr;
    std::string directory;
    int count = 0, counter = 0;
    std::set<int> used;
    bool xmasterSound = false;
    int xmasterCount = 0, xmasterNext = 0;
    int newInMaster = 0, newInXmaster = 0;
    bool emasterSound = false;

    bool dataFilesFree(int number, std::string_view ext) const {
        std::error_code ec;
        return !fs::exists(SeriesFilePath(directory, number, ext), ec) &&
               !fs::exists(SeriesFilePath(directory, number, "DOP"), ec);
    }
    // The next place; false when there is none.
    bool take(SecurityId& id) {
        id.directory = directory;
        if (count + newInMaster < kMaxFileNumber && counter + newInMaster < kMaxFileNumber) {
            int n = 1;
            while (n <= kMaxFileNumber && (used.count(n) != 0 || !dataFilesFree(n, "DAT"))) ++n;
            if (n <= kMaxFileNumber) {
                used.insert(n);
                ++newInMaster;
                id.index = IndexFile::kMaster;
                id.position = count + newInMaster;
                id.fileNumber = n;
                return true;
            }
        }
        if (!xmasterSound) return false;
        while (xmasterNext <= 0xFFFF && !dataFilesFree(xmasterNext, kXmasterDataExtension))
            ++xmasterNext;
        if (xmasterNext < kMaxFileNumber + 1 || xmasterNext > 0xFFFF) return false;
        ++newInXmaster;
        id.index = IndexFile::kXMaster;
        id.position = xmasterCount + newInXmaster;
        id.fileNumber = xmasterNext++;
        return true;
    }
};

// Decides a new security: its place, record, layout and data. Empty on success, else the
// refusal.
std::string PlanNew(Group& g, Places& places) {
    const std::string& symbol = g.report.symbol;
    if (const std::string r = TextRuleRefusal(CodePointsOfUtf8(symbol), TextField::kSymbol);
        !r.empty())
        return r;
    SecurityId id;
    if (!places.take(id))
        return "the portfolio has no room for a new security (MASTER holds 255" +
               std::string(places.xmasterSound ? " and XMASTER no further number"
                                               : " and there is no XMASTER") +
               ")";
    const TextLimits limits = TextLimitsFor(id.inXmaster() || places.emasterSound);
    const std::size_t symbolLimit = limits.symbol;
    const std::size_t nameLimit = limits.name;
    if (symbol.size() > symbolLimit) {
        // Give the place back: it is the last one taken.
        if (id.inXmaster()) {
            --places.newInXmaster;
            --places.xmasterNext;
        } else {
            --places.newInMaster;
            places.used.erase(id.fileNumber);
        }
        return "the symbol has " + std::to_string(symbol.size()) +
               " characters; this portfolio holds symbols of up to " + std::to_string(symbolLimit);
    }
    std::string name;
    for (const Source& s : g.quotes)
        if (const std::string& n = s.file->nameOf(*s.quote); !n.empty()) {
            name = n;
            break;
        }
    std::string latin1 = symbol;
    if (!name.empty()) {
        const std::u32string points = CodePointsOfUtf8(name);
        if (const std::string r = TextRuleRefusal(points, TextField::kName); !r.empty()) {
            g.report.notes.push_back(r + "; the symbol is its name");
        } else {
            latin1 = Latin1OfCodePoints(points);
        }
    }
    if (latin1.size() > nameLimit) {
        g.report.notes.push_back("the name is cut to " + std::to_string(nameLimit) + " characters");
        latin1.resize(nameLimit);
    }

    std::array<bool, kImportValues> present{};
    bool time = false;
    for (const Source& s : g.quotes) {
        for (int v = 0; v < kImportValues; ++v)
            present[static_cast<std::size_t>(v)] |= s.quote->has[static_cast<std::size_t>(v)];
        time |= s.quote->hasTime;
    }
    g.columns = ColumnsFor(time, present);
    const char period = time ? 'I' : 'D';
    const FieldLayout lay = LayoutOf(g.columns);
    const int fields = static_cast<int>(g.columns.size());
    const std::size_t len = static_cast<std::size_t>(fields) * 4;
    g.writeDop = !id.inXmaster() && !IsDefaultLayout(g.columns, period);
    g.fieldBits = FieldBitsOf(lay);

    const std::vector<Source> ordered = InTakingOrder(g.quotes);
    if (ordered.size() > static_cast<std::size_t>(kMaxQuotesPerFile))
        return "the file holds " + std::to_string(ordered.size()) +
               " quotes for it; a quote file holds at most " + std::to_string(kMaxQuotesPerFile);
    g.after.assign(len * (ordered.size() + 1), 0);
    SetDatLastRecord(g.after.data(), static_cast<int>(ordered.size() + 1));
    for (std::size_t i = 0; i < ordered.size(); ++i)
        FillRecord(g.after.data() + (i + 1) * len, lay, *ordered[i].quote,
                   ordered[i].quote->hasTime);
    g.report.added = static_cast<int>(ordered.size());
    g.report.quotesAfter = g.report.added;

    MasterRecord& r = g.record;
    r.bytes[kMasterRecordLengthOffset] = static_cast<std::uint8_t>(len);
    r.bytes[kMasterFieldCountOffset] = static_cast<std::uint8_t>(fields);
    PutBlankPadded(r.bytes.data() + kMasterNameOffset, kMasterNameSize, latin1);
    if (!ordered.empty()) {
        const MbfBytes first = DateToMbfReal(ordered.front().quote->date);
        const MbfBytes last = DateToMbfReal(ordered.back().quote->date);
        std::memcpy(r.bytes.data() + kMasterFirstDateOffset, first.data(), 4);
        std::memcpy(r.bytes.data() + kMasterLastDateOffset, last.data(), 4);
    }
    r.bytes[kMasterPeriodOffset] = static_cast<std::uint8_t>(period);
    PutBlankPadded(r.bytes.data() + kMasterSymbolOffset, kMasterSymbolSize, symbol);
    if (latin1.size() > kMasterNameSize) r.longName = latin1;
    if (!id.inXmaster())
        r.bytes[kMasterFileNumberOffset] = static_cast<std::uint8_t>(id.fileNumber);
    g.report.id = id;
    g.report.created = true;
    g.report.dataFile = SeriesFilePath(id.directory, id.fileNumber, DataExtensionOf(id)).string();
    return {};
}

DataStatus WriteImport(const std::string& directory, std::vector<Group>& groups, FileSystem& fsys,
                       const ImportProgress& progress, const Places& places, std::string& failure) {
    SharedSyncFileSystem shared(fsys);
    // One listing of the directory finds every F<n> name in any letter case; a lookup by
    // FindNoCase would list the directory again for each name not there (every temporary).
    const DirectoryIndex names(directory);
    auto named = [&](int number, std::string_view ext) {
        return names.find("F" + std::to_string(number) + "." + std::string(ext));
    };
    int done = 0;
    int total = 0;
    for (const Group& g : groups) total += g.report.changes() ? 1 : 0;
    for (Group& g : groups) {
        if (!g.report.changes()) continue;
        if (progress && !progress(done, total)) {
            failure = "stopped";
            return kFileWrite;
        }
        ++done;
        const SecurityId& id = g.report.id;
        const fs::path data =
            g.exists ? g.files.datPath : named(id.fileNumber, DataExtensionOf(id));
        DataStatus s = kSuccess;
        if (g.exists) {
            if (!g.dataChanged) continue;
            s = ReplaceKeepingBackup(shared, data, named(id.fileNumber, "NEW"),
                                     named(id.fileNumber, "BAK"), g.after, g.before);
        } else {
            s = WriteFileChecked(shared, data, g.after);
            if (s == kSuccess && g.writeDop)
                s = WriteDopFile(shared, named(id.fileNumber, "DOP"), g.columns, {});
        }
        if (s != kSuccess) {
            failure = data.string() + " could not be written";
            return s == kReadOnly ? kReadOnly : kFileWrite;
        }
    }
    if (progress && !progress(done, total)) {
        failure = "stopped";
        return kFileWrite;
    }
    if (!shared.flush()) {
        failure = directory + " could not be synced";
        return kFileWrite;
    }

    bool indexChange = false;
    for (const Group& g : groups)
        indexChange |= g.report.changes() && (g.datesChanged || g.report.created);
    if (!indexChange) return kSuccess;
    const DataStatus s = RewriteIndexFiles(
        MasterPathOf(directory),
        [&](IndexContents& c) {
            // The index files as they were read when the import was decided, or nothing.
            if (c.master.size() < kMasterRecordSize ||
                MasterCount(c.master.data()) != places.count ||
                GetI16(c.master.data() + kMasterCounterOffset) != places.counter)
                return kFileExists;
            if (places.newInXmaster > 0 &&
                (c.xmaster.empty() ||
                 GetI32(c.xmaster.data() + kXmasterCountOffset) != places.xmasterCount))
                return kFileExists;
            if (places.newInMaster > 0 && c.emaster.empty() == places.emasterSound)
                return kFileExists;
            for (const Group& g : groups) {
                if (!g.report.changes() || !g.exists || !g.datesChanged) continue;
                if (DataStatus e = SetEntryDatesIn(c, g.report.id, g.first, g.last); e != kSuccess)
                    return e;
            }
            int xmasterNext = c.xmaster.empty() ? 0 : XmasterNextNumber(c.xmaster.data());
            std::size_t masterAt = kMasterRecordSize * static_cast<std::size_t>(places.count + 1);
            for (const Group& g : groups) {
                if (!g.report.changes() || !g.report.created) continue;
                const SecurityId& id = g.report.id;
                if (id.inXmaster()) {
                    const auto x = XmasterRecordOf(g.record, id.fileNumber, g.fieldBits);
                    c.xmaster.insert(c.xmaster.end(), x.begin(), x.end());
                    const std::int32_t count = GetI32(c.xmaster.data() + kXmasterCountOffset) + 1;
                    PutI32(c.xmaster.data() + kXmasterCountOffset, count);
                    PutI32(c.xmaster.data() + kXmasterCountCopyOffset, count);
                    xmasterNext = std::max(xmasterNext, id.fileNumber + 1);
                    PutI32(c.xmaster.data() + kXmasterNextNumberOffset, xmasterNext);
                    continue;
                }
                c.master.insert(c.master.begin() + static_cast<std::ptrdiff_t>(masterAt),
                                g.record.bytes.begin(), g.record.bytes.end());
                masterAt += kMasterRecordSize;
                PutI16(c.master.data() + kMasterCountOffset,
                       static_cast<std::int16_t>(MasterCount(c.master.data()) + 1));
                PutI16(
                    c.master.data() + kMasterCounterOffset,
                    static_cast<std::int16_t>(GetI16(c.master.data() + kMasterCounterOffset) + 1));
                if (places.emasterSound) {
                    const auto e = EmasterRecordOf(g.record, id.fileNumber, g.fieldBits);
                    const std::size_t at =
                        kEmasterRecordSize * static_cast<std::size_t>(id.position);
                    if (c.emaster.size() != at) return kFileExists;
                    c.emaster.insert(c.emaster.end(), e.begin(), e.end());
                    std::memcpy(c.emaster.data() + kEmasterCountOffset,
                                c.master.data() + kMasterCountOffset, 2);
                    std::memcpy(c.emaster.data() + kEmasterCounterOffset,
                                c.master.data() + kMasterCounterOffset, 2);
                }
            }
            return kSuccess;
        },
        fsys, kMasterTempSuffix);
    if (s != kSuccess)
        failure = MasterPathOf(directory).string() + " could not be written (" +
                  std::string(DataStatusName(s)) + ")";
    return s;
}

std::string DateTimeText(DateCode date, TimeCode time, bool hasTime) {
    std::string t = FormatDateMdy(date, true);
    if (hasTime) t += " " + FormatTime(time);
    return t;
}

// The shortest text that reads back to the value.
std::string ValueText(float v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string LinesText(const std::vector<int>& lines) {
    std::string out;
    const std::size_t shown = std::min<std::size_t>(lines.size(), 20);
    for (std::size_t i = 0; i < shown; ++i) out += (i ? ", " : "") + std::to_string(lines[i]);
    if (lines.size() > shown) out += " and " + std::to_string(lines.size() - shown) + " more";
    return out;
}

}  // namespace

int ImportReport::added() const {
    int n = 0;
    for (const SecurityImport& s : securities) n += s.refusal.empty() ? s.added : 0;
    return n;
}
int ImportReport::skipped() const {
    int n = 0;
    for (const SecurityImport& s : securities) n += s.skipped;
    return n;
}
int ImportReport::conflicts() const {
    int n = 0;
    for (const SecurityImport& s : securities) n += s.conflicts;
    return n;
}
int ImportReport::replaced() const {
    int n = 0;
    for (const SecurityImport& s : securities) n += s.replaced;
    return n;
}

ImportReport ImportQuotes(const std::string& directory, const std::vector<QuoteText>& files,
                          const ImportOptions& options, FileSystem& fsys,
                          const ImportProgress& progress) {
    ImportReport report;
    // The security named may stand in a sub-directory's portfolio: that one is written.
    const std::string dir =
        WithTrailingSeparator(options.into ? options.into->directory : directory);
    for (const QuoteText& f : files) {
        if (!f.refusal.empty()) report.fileRefusals.push_back(f.file + ": " + f.refusal);
        report.bad.insert(report.bad.end(), f.bad.begin(), f.bad.end());
    }
    auto fail = [&](DataStatus status, std::string why) {
        report.change.status = status;
        report.failure = std::move(why);
        return report;
    };

    std::optional<PortfolioLock> lock;
    if (!options.dryRun) {
        lock.emplace(dir);
        if (!lock->held()) return fail(kPortfolioBusy, std::string(kPortfolioBusyMessage));
        FinishInterruptedIndexRewrite(dir, fsys);
    }
    const MasterFile master = ReadMasterFile(dir);
    if (master.status != kSuccess)
        return fail(master.status, master.path.string() + " cannot be read");

    // Which security each quote goes to.
    static const std::string kNoSymbol;
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t> byKey;
    for (const QuoteText& f : files) {
        if (!f.refusal.empty()) continue;
        const std::string stem = FileStemSymbol(f.file);
        const bool oneSecurity =
            options.into || !options.symbol.empty() || !f.has(ImportColumn::kSymbol);
        const std::string* lastSymbol = nullptr;  // the symbol of the quote before, and its group
        std::size_t lastGroup = 0;
        for (const TextQuote& q : f.quotes) {
            const std::string& symbol = options.into              ? kNoSymbol
                                        : !options.symbol.empty() ? options.symbol
                                        : q.symbol != 0           ? f.symbolOf(q)
                                                                  : stem;
            // Lines of one security mostly follow each other: those need no lookup.
            if (lastSymbol == nullptr || symbol != *lastSymbol) {
                const std::string key = Upper(symbol);
                auto it = byKey.find(key);
                if (it == byKey.end()) {
                    it = byKey.emplace(key, groups.size()).first;
                    groups.emplace_back();
                    groups.back().report.symbol = symbol;
                    groups.back().report.file = f.file;
                }
                lastSymbol = &symbol;
                lastGroup = it->second;
            }
            std::vector<Source>& groupQuotes = groups[lastGroup].quotes;
            // A file without a symbol column goes to one security whole.
            if (groupQuotes.empty() && oneSecurity) groupQuotes.reserve(f.quotes.size());
            groupQuotes.push_back({&f, &q});
        }
    }

    const Lookup lookup = MakeLookup(master);
    // The data and layout files of every security, found in one listing of the directory.
    const DirectoryIndex names(dir);
    Places places;
    places.master = &master;
    places.directory = dir;
    places.count = master.headerCount;
    places.counter = GetI16(master.header.data() + kMasterCounterOffset);
    places.used.insert(0);
    for (int i = 0; i < master.masterEntries; ++i)
        places.used.insert(master.entries[static_cast<std::size_t>(i)].record.fileNumber());
    places.emasterSound = master.emaster == ExtIndexState::kSound;
    if (master.xmaster == ExtIndexState::kSound) {
        const ExtIndexFile x = ReadXmasterFile(dir);
        if (x.sound()) {
            places.xmasterSound = true;
            places.xmasterCount = x.count;
            places.xmasterNext = std::max(XmasterNextNumber(x.bytes.data()), kMaxFileNumber + 1);
        }
    }

    for (Group& g : groups) {
        std::optional<MasterEntry> entry;
        if (options.into) {
            MasterRecord record;
            if (ReadMasterEntry(*options.into, record) != kSuccess)
                return fail(kFileNotFound, "the security is no longer in " + master.path.string());
            entry = MasterEntry{*options.into, record};
            g.report.symbol = DisplayText(record.symbolField());
            if (g.report.symbol.empty()) g.report.symbol = DisplayText(record.nameField());
        } else if (const MasterEntry* e = lookup.find(g.report.symbol)) {
            entry = *e;
        }
        std::string refusal;
        if (entry) {
            g.exists = true;
            g.report.id = entry->id;
            if (const DataStatus s = OpenSeriesFiles(entry->id, entry->record, g.files, &names);
                s != kSuccess) {
                refusal =
                    "its quote file cannot be opened (" + std::string(DataStatusName(s)) + ")";
            } else {
                g.report.dataFile = g.files.datPath.string();
                refusal = PlanMerge(g, options);
                if (refusal.empty() && g.dataChanged && !options.dryRun) {
                    if (DataStatus s = CheckNotReadOnly(g.files.datPath); s != kSuccess)
                        refusal = g.files.datPath.string() + " is read-only";
                }
            }
        } else if (!options.create) {
            refusal = "not in the portfolio (create it to import it)";
        } else if (master.countMismatch()) {
            refusal =
                MasterCountText(master.path.string(), master.recordsInFile, master.headerCount) +
                "; no security is added to it";
        } else {
            refusal = PlanNew(g, places);
        }
        if (!refusal.empty()) {
            g.report.refusal = refusal;
            g.report.lines.clear();
            g.report.file = g.quotes.empty() ? std::string() : g.quotes.front().file->file;
            for (const Source& s : g.quotes)
                if (s.file->file == g.report.file) g.report.lines.push_back(s.quote->line);
        }
    }
    for (Group& g : groups) report.securities.push_back(g.report);

    // What stops the whole import.
    if (!report.fileRefusals.empty())
        return fail(kInvalidParm, std::to_string(report.fileRefusals.size()) +
                                      " file(s) cannot be read as quotes");
    if (!report.bad.empty() && !options.skipBad)
        return fail(kInvalidParm,
                    std::to_string(report.bad.size()) +
                        " bad line(s); nothing is written unless the bad lines are skipped");
    if (options.dryRun) return report;

    // Room on the disk for every new file and the index rewrite.
    std::uintmax_t bytes = 0;
    bool masterChange = false, xmasterChange = false;
    for (const Group& g : groups) {
        if (!g.report.changes()) continue;
        bytes += g.after.size();
        if (g.datesChanged || g.report.created)
            (g.report.id.inXmaster() ? xmasterChange : masterChange) = true;
    }
    fs::path atFault;
    for (bool x : {false, true}) {
        if (!(x ? xmasterChange : masterChange)) continue;
        if (DataStatus s = CheckIndexRewrite(dir, x, bytes, fsys, &atFault); s != kSuccess)
            return fail(s, atFault.string() + ": " + std::string(DataStatusName(s)) +
                               "; nothing was changed");
    }
    if (!masterChange && !xmasterChange && bytes > 0) {
        if (DataStatus s = CheckRewritable(fsys, fs::path(dir) / "MASTER", bytes); s == kNoSpace)
            return fail(s, "not enough disk space; nothing was changed");
    }

    std::string failure;
    report.change = RecordChanges(fsys, [&](FileSystem& recording) {
        return WriteImport(dir, groups, recording, progress, places, failure);
    });
    if (report.change.status != kSuccess) {
        // Whole or not at all: what was already changed is put back.
        const DataStatus undone = UndoChanges(report.change.changes, fsys);
        report.failure =
            failure.empty() ? std::string(DataStatusName(report.change.status)) : failure;
        if (undone == kSuccess) {
            report.change.changes.clear();
            report.failure += "; nothing was changed";
        } else {
            report.failure += "; some files could not be put back (each keeps its .BAK)";
            report.written = true;
        }
        return report;
    }
    report.written = !report.change.changes.empty();
    return report;
}

std::string ImportSummaryText(const ImportReport& report, bool dryRun) {
    std::string out;
    for (const std::string& r : report.fileRefusals) out += r + "\n";
    for (const SecurityImport& s : report.securities) {
        out += s.symbol.empty() ? std::string("(no symbol)") : s.symbol;
        if (s.created)
            out += dryRun || !report.written
                       ? " (new security)"
                       : " (new security, F" + std::to_string(s.id.fileNumber) +
                             (s.id.inXmaster() ? " in XMASTER)" : " in MASTER)");
        if (!s.refusal.empty()) {
            out += ": not imported: " + s.refusal;
            if (!s.lines.empty())
                out += "\n  lines not written (" + s.file + "): " + LinesText(s.lines);
            out += "\n";
            continue;
        }
        out += ": " + std::to_string(s.added) + (dryRun ? " to add, " : " added, ") +
               std::to_string(s.skipped) + " already held, " + std::to_string(s.conflicts) +
               " in conflict";
        if (s.replaced > 0)
            out += ", " + std::to_string(s.replaced) + (dryRun ? " to replace" : " replaced");
        out += "\n";
        for (const std::string& n : s.notes) out += "  note: " + n + "\n";
        std::size_t shown = 0;
        for (const ImportConflict& c : s.conflictList) {
            if (++shown > 20) {
                out += "  ... " + std::to_string(s.conflictList.size() - 20) + " more conflicts\n";
                break;
            }
            out += "  conflict: " + c.file + ", line " + std::to_string(c.line) + ", " +
                   DateTimeText(c.date, c.time, c.hasTime) + ":";
            for (int v = 0; v < kImportValues; ++v) {
                if (!c.differs[static_cast<std::size_t>(v)]) continue;
                out += " " + std::string(kValueNames[v]) + " held " +
                       ValueText(c.held[static_cast<std::size_t>(v)]) + ", file " +
                       ValueText(c.given[static_cast<std::size_t>(v)]);
            }
            out += report.written && s.replaced > 0 ? " (replaced)\n" : "\n";
        }
    }
    for (const BadLine& b : report.bad) out += "bad line: " + BadLineText(b) + "\n";
    if (!report.failure.empty()) out += "Nothing was written: " + report.failure + "\n";
    return out;
}

std::string ImportLabel(const std::vector<QuoteText>& files) {
    if (files.size() == 1) return "Import of " + fs::path(files.front().file).filename().string();
    return "Import of " + std::to_string(files.size()) + " files";
}

ChangeResult WriteNewPortfolio(const fs::path& directory, bool extended, FileSystem& fsys) {
    ChangeResult result;
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (!fs::is_directory(directory, ec)) {
        result.status = kFileWrite;
        return result;
    }
    for (std::string_view name : {kMasterFileName, kEmasterFileName, kXmasterFileName}) {
        if (fs::exists(FindNoCase(directory, name), ec)) {
            result.status = kFileExists;
            return result;
        }
    }
    const PortfolioLock lock(directory.string());
    if (!lock.held()) {
        result.status = kPortfolioBusy;
        return result;
    }
    result = RecordChanges(fsys, [&](FileSystem& recording) {
        std::vector<std::uint8_t> master(kMasterRecordSize, 0);
        if (extended) {
            std::vector<std::uint8_t> emaster(kEmasterRecordSize, 0);
            std::vector<std::uint8_t> xmaster(kXmasterRecordSize, 0);
            std::memcpy(xmaster.data(), kXmasterMagic, sizeof kXmasterMagic);
            PutI32(xmaster.data() + kXmasterNextNumberOffset, kMaxFileNumber + 1);
            if (DataStatus s =
                    WriteFileChecked(recording, directory / std::string(kEmasterFileName), emaster);
                s != kSuccess)
                return s;
            if (DataStatus s =
                    WriteFileChecked(recording, directory / std::string(kXmasterFileName), xmaster);
                s != kSuccess)
                return s;
        }
        // MASTER last: a folder with a MASTER is a portfolio.
        return WriteFileChecked(recording, directory / std::string(kMasterFileName), master);
    });
    if (result.status != kSuccess && UndoChanges(result.changes, fsys) == kSuccess)
        result.changes.clear();
    return result;
}

}  // namespace barwise
