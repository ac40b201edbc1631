#include "check/portfoliocheck.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "datafiles/ascii.h"
#include "datafiles/extindex.h"
#include "datafiles/fileio.h"
#include "datafiles/layout.h"
#include "datafiles/master.h"
#include "datafiles/series.h"
#include "datafiles/textrule.h"
#include "discovery/portfoliosearch.h"
#include "discovery/symbollist.h"
#include "splitsearch/splitscan.h"

namespace barwise {
namespace {

struct KindInfo {
    FindingKind kind;
    FindingClass cls;
    std::string_view name;
};

constexpr KindInfo kKinds[] = {
    {FindingKind::kMasterCount, FindingClass::kDamage, "master-count"},
    {FindingKind::kMasterCutRecord, FindingClass::kDamage, "master-cut-record"},
    {FindingKind::kEmasterDisagrees, FindingClass::kDamage, "emaster-disagrees"},
    {FindingKind::kXmasterBroken, FindingClass::kDamage, "xmaster-broken"},
    {FindingKind::kMissingDataFile, FindingClass::kDamage, "missing-data-file"},
    {FindingKind::kUnreadableDataFile, FindingClass::kDamage, "unreadable-data-file"},
    {FindingKind::kUnlistedDataFile, FindingClass::kDamage, "unlisted-data-file"},
    {FindingKind::kSharedFileNumber, FindingClass::kDamage, "shared-file-number"},
    {FindingKind::kBlankSymbol, FindingClass::kDamage, "blank-symbol"},
    {FindingKind::kDuplicateSymbol, FindingClass::kDamage, "duplicate-symbol"},
    {FindingKind::kUnfitText, FindingClass::kDamage, "unfit-text"},
    {FindingKind::kDatCount, FindingClass::kDamage, "dat-count"},
    {FindingKind::kNoLayout, FindingClass::kDamage, "no-layout"},
    {FindingKind::kRecordShape, FindingClass::kDamage, "record-shape"},
    {FindingKind::kDopIgnored, FindingClass::kDamage, "dop-ignored"},
    {FindingKind::kOutOfOrder, FindingClass::kDamage, "out-of-order"},
    {FindingKind::kRepeatedQuote, FindingClass::kDamage, "repeated-quote"},
    {FindingKind::kRepeatedDate, FindingClass::kDamage, "repeated-date"},
    {FindingKind::kDateOutOfRange, FindingClass::kDamage, "date-out-of-range"},
    {FindingKind::kNoRealForm, FindingClass::kDamage, "no-real-form"},
    {FindingKind::kIndexDate, FindingClass::kDamage, "index-date"},
    {FindingKind::kHighBelowLow, FindingClass::kSuspect, "high-below-low"},
    {FindingKind::kOutsideRange, FindingClass::kSuspect, "outside-range"},
    {FindingKind::kZeroPrice, FindingClass::kSuspect, "zero-price"},
    {FindingKind::kNegativeClose, FindingClass::kSuspect, "negative-close"},
    {FindingKind::kNegativeVolume, FindingClass::kSuspect, "negative-volume"},
    {FindingKind::kGap, FindingClass::kSuspect, "gap"},
    {FindingKind::kSplitCandidate, FindingClass::kSuspect, "split-candidate"},
    {FindingKind::kTemporaryFile, FindingClass::kLeftover, "temporary-file"},
    {FindingKind::kNewerBackup, FindingClass::kLeftover, "newer-backup"},
};

const KindInfo& InfoOf(FindingKind kind) {
    for (const KindInfo& k : kKinds)
        if (k.kind == kind) return k;
    return kKinds[0];
}

std::string DateText(DateCode code) {
    return FormatDateMdy(code, true);
}

std::string CharText(unsigned char c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "byte 0x%02X", c);
    return buf;
}

// An MBF field no writer makes, tested on its word: an exponent byte of 1 or 2 (no value at
// all, read as 0), or of 0 (the value 0) with mantissa or sign bits set, i.e. an exponent of
// 0, 1 or 2 in anything but the word 0.
inline bool LacksRealForm(std::uint32_t w) {
    return w - 1u < 0x02FFFFFFu;
}

std::string ValueText(float v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.6g", static_cast<double>(v));
    return buf;
}

std::string UpperName(const fs::path& p) {
    return ToUpperAscii(p.filename().string());
}

bool IsTemporaryUpper(const std::string& upper) {
    for (std::string_view suffix : {std::string_view(".NEW"), std::string_view(".~NU")}) {
        if (upper.size() > suffix.size() &&
            upper.compare(upper.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
        // A temporary made beside another writer's: "<name>.NEW-<n>".
        const std::size_t at = upper.rfind(std::string(suffix) + "-");
        if (at != std::string::npos && at > 0) {
            const std::string digits = upper.substr(at + suffix.size() + 1);
            if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos)
                return true;
        }
    }
    return false;
}

// One quote as the check reads it.
struct Bar {
    DateCode date = kNoDate;
    TimeCode time = 0;
    std::array<float, 6> v{};  // open .. open interest; -1 where not held
    bool real = true;          // every field a real number, the date a day
};

class Checker {
public:
    Checker(const std::string& directory, const CheckOptions& options, CheckReport& report)
        : dir_(directory), options_(options), report_(report) {}

    void run(const CheckObserver& observer);

private:
    Finding& add(FindingKind kind, std::string file) {
        Finding f;
        f.kind = kind;
        f.cls = ClassOf(kind);
        f.directory = dir_;
        f.file = std::move(file);
        report_.findings.push_back(std::move(f));
        return report_.findings.back();
    }
    Finding& addFor(FindingKind kind, const MasterEntry& e, std::string file) {
        Finding& f = add(kind, std::move(file));
        f.id = e.id;
        f.symbol = Label(e);
        return f;
    }
    static std::string Label(const MasterEntry& e) {
        const std::string s = SymbolText(e.record);
        if (!s.empty()) return s;
        const std::string name = TrimPadding(SecurityName(e.record));
        if (!name.empty()) return name;
        return (e.id.inXmaster() ? "XMASTER record " : "record ") + std::to_string(e.id.position);
    }
    std::string indexName(IndexFile which) const {
        return which == IndexFile::kXMaster ? xmasterName_ : masterName_;
    }

    void checkIndexFiles(const std::vector<std::uint8_t>& masterBytes);
    void checkEntries();
    void checkSeries(const MasterEntry& e);
    void checkQuotes(const MasterEntry& e, const SeriesFiles& sf,
                     const std::vector<std::uint8_t>& bytes, int quotes, bool countSound);
    void checkIndexDate(const MasterEntry& e, const std::string& file, int record, bool last,
                        DateCode stored, DateCode actual, int quote);
    void checkDirectory();

    std::string dir_;
    std::string dirSep_;
    CheckOptions options_;
    CheckReport& report_;
    MasterFile master_;
    ExtIndexFile emaster_;
    ExtIndexFile xmaster_;
    std::string masterName_ = "MASTER";
    std::string emasterName_ = "EMASTER";
    std::string xmasterName_ = "XMASTER";
    std::unique_ptr<DirectoryIndex> index_;
    std::set<int> listedNumbers_;
    std::vector<Bar> bars_;                // the quotes of the series being checked
    std::vector<std::uint8_t> fileBytes_;  // its quote file
};

void Checker::run(const CheckObserver& observer) {
    dirSep_ = WithTrailingSeparator(dir_);
    report_.directory = dir_;
    master_ = ReadMasterFile(dirSep_);
    if (master_.status != kSuccess) {
        report_.status = master_.status;
        report_.masterFile = master_.path.string();
        return;
    }
    report_.masterFile = master_.path.string();
    masterName_ = master_.path.filename().string();
    const auto masterBytes = ReadWholeFile(master_.path);
    if (!masterBytes) {
        report_.status = kFileOpen;
        return;
    }
    index_ = std::make_unique<DirectoryIndex>(dirSep_);
    emaster_ = ReadEmasterFile(dirSep_, *masterBytes);
    xmaster_ = ReadXmasterFile(dirSep_);
    if (!emaster_.path.empty()) emasterName_ = emaster_.path.filename().string();
    if (!xmaster_.path.empty()) xmasterName_ = xmaster_.path.filename().string();

    checkIndexFiles(*masterBytes);
    checkEntries();
    // The quote files of a broken XMASTER's records are its own, not files nothing lists.
    if (xmaster_.state == ExtIndexState::kUnusable) {
        for (std::size_t at = kXmasterRecordSize; at + kXmasterRecordSize <= xmaster_.bytes.size();
             at += kXmasterRecordSize)
            listedNumbers_.insert(DecodeXmasterRecord(xmaster_.bytes.data() + at).fileNumber);
    }

    int total = 0;
    for (const MasterEntry& e : master_.entries)
        if (!e.record.isSubdirEntry()) ++total;
    report_.securities = total;
    int done = 0;
    for (const MasterEntry& e : master_.entries) {
        if (e.record.isSubdirEntry()) continue;
        if (observer.cancelled && observer.cancelled()) {
            report_.cancelled = true;
            return;
        }
        checkSeries(e);
        ++done;
        if (observer.progress) observer.progress(done, total);
    }
    checkDirectory();
}

void Checker::checkIndexFiles(const std::vector<std::uint8_t>& masterBytes) {
    if (master_.countMismatch()) {
        Finding& f = add(FindingKind::kMasterCount, masterName_);
        f.what = "header count disagrees with the records the file holds";
        f.expected = std::to_string(master_.recordsInFile) + " records";
        f.found = std::to_string(master_.headerCount) + " in the header";
    }
    if (const std::size_t cut = masterBytes.size() % kMasterRecordSize; cut != 0) {
        Finding& f = add(FindingKind::kMasterCutRecord, masterName_);
        f.record = master_.recordsInFile + 1;
        f.what = "the file ends in part of a record";
        f.expected = "whole records of " + std::to_string(kMasterRecordSize) + " bytes";
        f.found = std::to_string(cut) + " bytes after the last whole record";
    }
    if (emaster_.state == ExtIndexState::kUnusable) {
        Finding& f = add(FindingKind::kEmasterDisagrees, emasterName_);
        f.what = "set aside: " + emaster_.problem;
        f.expected = "one record per MASTER record, with its file number";
        f.found = emaster_.problem;
    }
    if (xmaster_.state == ExtIndexState::kUnusable) {
        Finding& f = add(FindingKind::kXmasterBroken, xmasterName_);
        f.what = "set aside: " + xmaster_.problem;
        f.expected = "a sound XMASTER";
        f.found = xmaster_.problem;
    }
}

void Checker::checkEntries() {
    std::map<int, const MasterEntry*> numbers;
    std::unordered_map<std::string, const MasterEntry*> symbols;
    for (const MasterEntry& e : master_.entries) {
        if (e.record.isSubdirEntry()) continue;
        const std::string file = indexName(e.id.index);
        const int n = e.record.fileNumber();
        listedNumbers_.insert(n);
        if (auto [it, fresh] = numbers.emplace(n, &e); !fresh) {
            Finding& f = addFor(FindingKind::kSharedFileNumber, e, file);
            f.record = e.id.position;
            f.what = "names a file number another record names";
            f.expected = "a file number of its own";
            f.found = "F" + std::to_string(n) + ", also in " + indexName(it->second->id.index) +
                      " record " + std::to_string(it->second->id.position);
        }
        const std::string symbol = SymbolText(e.record);
        if (symbol.empty()) {
            Finding& f = addFor(FindingKind::kBlankSymbol, e, file);
            f.record = e.id.position;
            f.what = "has no symbol";
            // The repair takes the symbol from the name, in MASTER only.
            MasterRecord named = e.record;
            std::copy_n(e.record.bytes.begin() + kMasterNameOffset, kMasterSymbolSize,
                        named.bytes.begin() + kMasterSymbolOffset);
            f.mendable = !e.id.inXmaster() && !SymbolText(named).empty();
            f.expected =
                f.mendable ? "a symbol" : "a symbol (the record has no name to take one from)";
            f.found = "\"" + TrimPadding(e.record.symbolField()) + "\"";
        } else if (auto [it, fresh] = symbols.emplace(ToUpperAscii(symbol), &e); !fresh) {
            Finding& f = addFor(FindingKind::kDuplicateSymbol, e, file);
            f.record = e.id.position;
            f.what = "has the symbol of another record";
            f.expected = "a symbol of its own";
            f.found = symbol + ", also " + indexName(it->second->id.index) + " record " +
                      std::to_string(it->second->id.position);
        }
        const std::string symbolField = TrimPadding(e.record.symbolField());
        const std::string name = TrimPadding(SecurityName(e.record));
        const std::size_t badSymbol = symbol.empty()
                                          ? std::string::npos
                                          : FirstUnfitChar<char>(symbolField, TextField::kSymbol);
        const std::size_t badName = FirstUnfitChar<char>(name, TextField::kName);
        if (badSymbol != std::string::npos || badName != std::string::npos) {
            Finding& f = addFor(FindingKind::kUnfitText, e, file);
            f.record = e.id.position;
            const bool inSymbol = badSymbol != std::string::npos;
            const std::string& text = inSymbol ? symbolField : name;
            const std::size_t at = inSymbol ? badSymbol : badName;
            f.what = std::string(inSymbol ? "symbol" : "name") +
                     " holds a byte the index files cannot show";
            f.expected = inSymbol ? "printable ASCII" : "printable Latin-1";
            f.found = CharText(static_cast<unsigned char>(text[at])) + " at character " +
                      std::to_string(at + 1);
        }
    }
}

void Checker::checkIndexDate(const MasterEntry& e, const std::string& file, int record, bool last,
                             DateCode stored, DateCode actual, int quote) {
    if (stored == actual) return;
    Finding& f = addFor(FindingKind::kIndexDate, e, file);
    f.record = record;
    f.quote = quote;
    f.date = actual;
    f.what = std::string(last ? "last" : "first") + " date disagrees with the " +
             (last ? "last" : "first") + " quote";
    f.expected = DateText(actual);
    f.found = stored == kNoDate ? "no date" : DateText(stored);
}

void Checker::checkSeries(const MasterEntry& e) {
    const int n = e.record.fileNumber();
    const std::string ext(DataExtensionOf(e.id));
    const fs::path datPath = index_->find("F" + std::to_string(n) + "." + ext);
    const std::string datName = datPath.filename().string();
    if (!index_->has(datName)) {
        Finding& f = addFor(FindingKind::kMissingDataFile, e, indexName(e.id.index));
        f.record = e.id.position;
        f.what = "its quote file is missing";
        f.expected = datName;
        f.found = "no such file";
        return;
    }
    SeriesFiles sf;
    const DataStatus s = OpenSeriesFiles(e.id, e.record, sf, index_.get());
    if (s == kNoLayout) {
        Finding& f = addFor(FindingKind::kNoLayout, e, datName);
        f.record = e.id.position;
        f.what = "no layout for its records";
        f.expected = "a DOP file or a record length with a default layout";
        f.found = std::to_string(e.record.recordLength()) + "-byte records, no DOP";
        return;
    }
    if (s != kSuccess) {
        Finding& f = addFor(FindingKind::kRecordShape, e, indexName(e.id.index));
        f.record = e.id.position;
        f.what = "record shape the readers refuse";
        f.expected = "1 to 76 bytes, 1 to 19 fields of 4 bytes";
        f.found = std::to_string(e.record.recordLength()) + " bytes, " +
                  std::to_string(e.record.fieldCount()) + " fields (" +
                  std::string(DataStatusName(s)) + ")";
        return;
    }
    if (sf.dopIgnored) {
        Finding& f = addFor(FindingKind::kDopIgnored, e, sf.dopPath.filename().string());
        f.what = "the layout file is set aside";
        f.expected =
            "a DATE column within the record's " + std::to_string(sf.fieldCount) + " fields";
        f.found = "no DATE, or a column beyond the record";
    }
    if (!ReadWholeFileInto(sf.datPath, fileBytes_)) {
        Finding& f = addFor(FindingKind::kUnreadableDataFile, e, datName);
        f.what = "the quote file cannot be read";
        f.expected = "a readable file";
        f.found = "read failure";
        return;
    }
    const auto rl = static_cast<std::size_t>(sf.recordLength);
    if (fileBytes_.size() < rl) {
        Finding& f = addFor(FindingKind::kDatCount, e, datName);
        f.what = "shorter than its header record";
        f.expected = "at least " + std::to_string(rl) + " bytes";
        f.found = std::to_string(fileBytes_.size()) + " bytes";
        return;
    }
    const int lastRecord = DatLastRecord(fileBytes_.data());
    const int header = std::max(lastRecord - 1, 0);
    const auto whole = static_cast<std::int64_t>(fileBytes_.size() / rl) - 1;
    const std::size_t cut = fileBytes_.size() % rl;
    const bool countSound = whole == header && cut == 0;
    if (!countSound) {
        Finding& f = addFor(FindingKind::kDatCount, e, datName);
        f.what = "the header's quote count disagrees with the file's size";
        f.expected = "last record number " + std::to_string(whole + 1) + " (" +
                     std::to_string(whole) + " whole quotes" +
                     (cut != 0 ? " and " + std::to_string(cut) + " bytes of a cut record" : "") +
                     ")";
        f.found = "last record number " + std::to_string(lastRecord);
    }
    checkQuotes(e, sf, fileBytes_, static_cast<int>(std::min<std::int64_t>(header, whole)),
                countSound);
}

void Checker::checkQuotes(const MasterEntry& e, const SeriesFiles& sf,
                          const std::vector<std::uint8_t>& bytes, int quotes, bool countSound) {
    const std::string datName = sf.datPath.filename().string();
    const auto rl = static_cast<std::size_t>(sf.recordLength);
    const std::uint8_t* base = bytes.data() + rl;  // quote 0
    auto record = [&](int i) { return base + static_cast<std::size_t>(i) * rl; };

    std::array<int, kQuoteFieldCount> at{};  // byte offset of each field held, -1 for none
    for (int fld = 0; fld < kQuoteFieldCount; ++fld)
        at[static_cast<std::size_t>(fld)] =
            sf.columns.has(fld) ? (sf.columns.column[static_cast<std::size_t>(fld)] - 1) * 4 : -1;
    const bool hasTime = at[kFieldTime] >= 0;

    // Every quote decoded once.
    std::vector<Bar>& bars = bars_;
    auto quoteFinding = [&](FindingKind kind, int i) -> Finding& {
        Finding& f = addFor(kind, e, datName);
        f.quote = i;
        f.date = bars[static_cast<std::size_t>(i)].date;
        f.time = bars[static_cast<std::size_t>(i)].time;
        f.hasTime = hasTime;
        return f;
    };
    // A value field not held reads -1 (the MBF word of -1.0 stands in for it), so every
    // quote decodes the same six fields.
    constexpr std::uint32_t kMinusOne = 0x81800000u;
    std::array<bool, 6> valueHeld{};
    std::array<int, 6> valueAt{};
    for (int k = 0; k < 6; ++k) {
        valueAt[static_cast<std::size_t>(k)] =
            std::max(at[static_cast<std::size_t>(kFieldOpen + k)], 0);
        valueHeld[static_cast<std::size_t>(k)] = at[static_cast<std::size_t>(kFieldOpen + k)] >= 0;
    }
    bars.resize(static_cast<std::size_t>(quotes));
    std::array<int, 6> zeros{};
    int negativeCloses = 0;  // of the real quotes
    MbfDateRun readDate;
    const int dateAt = at[kFieldDate];
    const int timeAt = at[kFieldTime];
    for (int i = 0; i < quotes; ++i) {
        const std::uint8_t* r = record(i);
        Bar& b = bars[static_cast<std::size_t>(i)];
        b.real = true;
        b.date = kNoDate;  // as a finding on an unreadable field names it
        b.time = 0;
        const std::uint32_t dateWord = MbfWord(r + dateAt);
        const std::uint32_t timeWord = hasTime ? MbfWord(r + timeAt) : 0u;
        bool lacking = LacksRealForm(dateWord);
        lacking |= LacksRealForm(timeWord);
        // The six fields spelt out, so each count stays in a register.
        auto decode = [&](auto k) {
            const std::uint32_t w = valueHeld[k] ? MbfWord(r + valueAt[k]) : kMinusOne;
            lacking |= LacksRealForm(w);
            zeros[k] += (w >> 24) == 0;
            b.v[k] = MbfWordToFloat(w);
        };
        [&]<std::size_t... K>(std::index_sequence<K...>) {
            (decode(std::integral_constant<std::size_t, K>{}), ...);
        }
        (std::make_index_sequence<6>{});
        if (lacking) {
            for (int fld = 0; fld < kQuoteFieldCount; ++fld) {
                const int off = at[static_cast<std::size_t>(fld)];
                if (off < 0 || !LacksRealForm(MbfWord(r + off))) continue;
                b.real = false;
                Finding& f = quoteFinding(FindingKind::kNoRealForm, i);
                char buf[40];
                std::snprintf(buf, sizeof buf, "bytes %02X %02X %02X %02X", r[off], r[off + 1],
                              r[off + 2], r[off + 3]);
                f.what = std::string(kDopFieldNames[static_cast<std::size_t>(fld)]) +
                         " is no real number";
                f.expected = "an MBF real";
                f.found = buf;
                break;
            }
        }
        b.date = readDate(dateWord);
        b.time = hasTime ? TimeFromReal(MbfWordToFloat(timeWord)) : 0;
        if (b.real && b.date == kNoDate) {
            b.real = false;
            Finding& f = quoteFinding(FindingKind::kDateOutOfRange, i);
            f.what = "date outside 1900-2199";
            f.expected = "a day from 01/01/1900 to 12/31/2199";
            f.found = "date real " + ValueText(MbfToFloat(r + dateAt));
        }
        negativeCloses += b.real & (b.v[kFieldClose - kFieldOpen] < 0);
    }
    // A price or volume field that is 0 in most quotes is one its writer does not fill (an
    // open the exchange does not give, say): it is taken as not held, as an absent field is.
    for (int k = 0; k < 6; ++k) {
        if (at[static_cast<std::size_t>(kFieldOpen + k)] < 0 ||
            zeros[static_cast<std::size_t>(k)] * 2 <= quotes)
            continue;
        at[static_cast<std::size_t>(kFieldOpen + k)] = -1;
        for (Bar& b : bars) b.v[static_cast<std::size_t>(k)] = -1.0f;
    }
    const int negatives = at[kFieldClose] >= 0 ? negativeCloses : 0;

    auto place = [&](int q) {
        std::string t = DateText(bars[static_cast<std::size_t>(q)].date);
        if (hasTime) t += " " + FormatTime(bars[static_cast<std::size_t>(q)].time);
        return t;
    };
    // Order: each quote against the one before it.
    int prev = -1;
    for (int i = 0; i < quotes; ++i) {
        const Bar& b = bars[static_cast<std::size_t>(i)];
        if (!b.real) continue;
        if (prev >= 0) {
            const Bar& a = bars[static_cast<std::size_t>(prev)];
            if (b.date < a.date || (b.date == a.date && b.time < a.time)) {
                Finding& f = quoteFinding(FindingKind::kOutOfOrder, i);
                f.what = "dated before the quote ahead of it";
                f.expected = "after " + place(prev);
                f.found = place(i);
            } else if (b.date == a.date && b.time == a.time) {
                const bool same = std::equal(record(prev), record(prev) + rl, record(i));
                Finding& f = quoteFinding(
                    same ? FindingKind::kRepeatedQuote : FindingKind::kRepeatedDate, i);
                f.what = same ? "the quote ahead of it repeated"
                              : "the date of the quote ahead of it, other values";
                f.expected = "one quote of " + place(i);
                f.found = same ? "two identical quotes" : "two quotes with different values";
            }
        }
        prev = i;
    }

    // Index against data.
    if (countSound && quotes > 0 && bars[0].real &&
        bars[static_cast<std::size_t>(quotes - 1)].real) {
        const DateCode first = bars[0].date;
        const DateCode last = bars[static_cast<std::size_t>(quotes - 1)].date;
        if (e.id.inXmaster()) {
            if (xmaster_.sound() && e.id.position <= xmaster_.count) {
                const XmasterFields x =
                    DecodeXmasterRecord(xmaster_.record(e.id.position, kXmasterRecordSize));
                auto ymd = [](std::int32_t v) {
                    return MakeDate(v / 10000, v / 100 % 100, v % 100);
                };
                checkIndexDate(e, xmasterName_, e.id.position, false, ymd(x.firstDate), first, 0);
                checkIndexDate(e, xmasterName_, e.id.position, true, ymd(x.lastDate), last,
                               quotes - 1);
            }
        } else {
            const auto& m = e.record.bytes;
            checkIndexDate(e, masterName_, e.id.position, false,
                           DateFromReal(MbfToFloat(m.data() + kMasterFirstDateOffset)), first, 0);
            checkIndexDate(e, masterName_, e.id.position, true,
                           DateFromReal(MbfToFloat(m.data() + kMasterLastDateOffset)), last,
                           quotes - 1);
            if (emaster_.sound() && e.id.position <= emaster_.count) {
                const std::uint8_t* r = emaster_.record(e.id.position, kEmasterRecordSize);
                float fd = 0, ld = 0;
                std::memcpy(&fd, r + kEmasterFirstDateOffset, 4);
                std::memcpy(&ld, r + kEmasterLastDateOffset, 4);
                checkIndexDate(e, emasterName_, e.id.position, false, DateFromReal(fd), first, 0);
                checkIndexDate(e, emasterName_, e.id.position, true, DateFromReal(ld), last,
                               quotes - 1);
            }
        }
    }

    // Quote sanity.
    const bool otherwisePositive = negatives > 0 && negatives * 20 < quotes;
    const bool daily = e.record.period() == 'D' && !hasTime;
    const bool hasOpen = at[kFieldOpen] >= 0, hasHigh = at[kFieldHigh] >= 0,
               hasLow = at[kFieldLow] >= 0, hasClose = at[kFieldClose] >= 0,
               hasVol = at[kFieldVol] >= 0, hasOi = at[kFieldOi] >= 0;
    prev = -1;
    for (int i = 0; i < quotes; ++i) {
        const Bar& b = bars[static_cast<std::size_t>(i)];
        if (!b.real) continue;
        const float o = b.v[0], h = b.v[1], l = b.v[2], c = b.v[3], v = b.v[4], oi = b.v[5];
        // Whether the quote has anything to report, without a branch per test: nearly every
        // quote has not.
        const bool zero = (hasOpen & (o == 0.0f)) | (hasHigh & (h == 0.0f)) |
                          (hasLow & (l == 0.0f)) | (hasClose & (c == 0.0f));
        const bool hasRange = hasHigh & hasLow;
        const bool suspect =
            zero | (otherwisePositive & (c < 0)) | (hasRange & (h < l)) |
            (hasRange & ((hasOpen & ((o < l) | (o > h))) | (hasClose & ((c < l) | (c > h))))) |
            (hasVol & (v < 0)) | (hasOi & (oi < 0));
        if (suspect) {
            bool rangeDone = true;
            if (zero) {
                std::string fields;
                const std::pair<bool, float> prices[] = {
                    {hasOpen, o}, {hasHigh, h}, {hasLow, l}, {hasClose, c}};
                for (int k = 0; k < 4; ++k) {
                    if (!prices[k].first || prices[k].second != 0.0f) continue;
                    if (!fields.empty()) fields += ", ";
                    fields += kDopFieldNames[static_cast<std::size_t>(kFieldOpen + k)];
                }
                Finding& f = quoteFinding(FindingKind::kZeroPrice, i);
                f.what = "zero price";
                f.expected = "prices other than 0";
                f.found = fields + " = 0";
            } else if (otherwisePositive && c < 0) {
                Finding& f = quoteFinding(FindingKind::kNegativeClose, i);
                f.what = "negative close in a series otherwise positive";
                f.expected = "a close of 0 or more";
                f.found = "CLOSE = " + ValueText(c);
            } else if (hasHigh && hasLow && h < l) {
                Finding& f = quoteFinding(FindingKind::kHighBelowLow, i);
                f.what = "high below low";
                f.expected = "HIGH >= LOW";
                f.found = "HIGH = " + ValueText(h) + ", LOW = " + ValueText(l);
            } else {
                rangeDone = false;
            }
            if (!rangeDone && hasHigh && hasLow &&
                ((hasOpen && (o < l || o > h)) || (hasClose && (c < l || c > h)))) {
                std::string out;
                if (hasOpen && (o < l || o > h)) out = "OPEN = " + ValueText(o);
                if (hasClose && (c < l || c > h))
                    out += (out.empty() ? "" : ", ") + ("CLOSE = " + ValueText(c));
                Finding& f = quoteFinding(FindingKind::kOutsideRange, i);
                f.what = "open or close outside the day's range";
                f.expected = "within LOW " + ValueText(l) + " .. HIGH " + ValueText(h);
                f.found = out;
            }
            if ((hasVol && v < 0) || (hasOi && oi < 0)) {
                std::string negative;
                if (hasVol && v < 0) negative = "VOL = " + ValueText(v);
                if (hasOi && oi < 0)
                    negative += (negative.empty() ? "" : ", ") + ("OI = " + ValueText(oi));
                Finding& f = quoteFinding(FindingKind::kNegativeVolume, i);
                f.what = "negative volume or open interest";
                f.expected = "0 or more";
                f.found = negative;
            }
        }
        if (prev >= 0) {
            const Bar& a = bars[static_cast<std::size_t>(prev)];
            // No more weekdays than days lie between two days.
            if (daily && b.date - a.date - 1 > options_.maxGapWeekdays) {
                const int gap = WeekdaysBetween(a.date, b.date);
                if (gap > options_.maxGapWeekdays) {
                    Finding& f = quoteFinding(FindingKind::kGap, i);
                    f.what = "weekdays without a quote since " + DateText(a.date);
                    f.expected = "at most " + std::to_string(options_.maxGapWeekdays) + " weekdays";
                    f.found = std::to_string(gap) + " weekdays";
                }
            }
            // The pair test hits only where the close moves by a third or more; most pairs
            // are passed over before it, without a division where both closes are
            // positive and well inside the band.
            const float ca = a.v[3];
            const bool near = c > 0.0f && ca > 0.75f * c && ca < 1.33f * c;
            if (options_.splitCandidates && hasClose && !near && ca != 0.0f && c != 0.0f &&
                !(ca / c > 0.74f && ca / c < 1.34f)) {
                const SplitDay da{ca, a.v[1], a.v[2]};
                const SplitDay db{c, h, l};
                if (const auto ratio = TestSplitPair(da, db)) {
                    Finding& f = quoteFinding(FindingKind::kSplitCandidate, i);
                    f.what = "possible " + std::to_string(ratio->p) + " for " +
                             std::to_string(ratio->q) + " split not recorded";
                    f.expected = "a close near " + ValueText(ca);
                    f.found = "CLOSE = " + ValueText(c);
                }
            }
        }
        prev = i;
    }
}

void Checker::checkDirectory() {
    std::error_code ec;
    std::vector<fs::path> names;
    for (fs::directory_iterator it(dirSep_.empty() ? fs::path(".") : fs::path(dirSep_), ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (!it->is_regular_file(e2)) continue;
        names.push_back(it->path());
    }
    std::sort(names.begin(), names.end());
    for (const fs::path& p : names) {
        const std::string upper = UpperName(p);
        std::string ext;
        const int n = DataFileNumber(upper, &ext);
        if (n > 0 && !listedNumbers_.count(n)) {
            Finding& f = add(FindingKind::kUnlistedDataFile, p.filename().string());
            f.what = "no record lists this file";
            f.expected = "a record with file number " + std::to_string(n);
            f.found = "none in " + masterName_ +
                      (xmaster_.state != ExtIndexState::kAbsent ? " or " + xmasterName_ : "");
            continue;
        }
        if (IsTemporaryUpper(upper)) {
            Finding& f = add(FindingKind::kTemporaryFile, p.filename().string());
            f.what = "temporary file of a change that did not finish";
            f.expected = "no temporary file";
            f.found = std::to_string(fs::file_size(p, ec)) + " bytes";
        }
    }
    for (const std::string& name : {masterName_, emasterName_, xmasterName_}) {
        const fs::path file = index_->find(name);
        const fs::path bak = FindNoCase(dirSep_.empty() ? fs::path(".") : fs::path(dirSep_),
                                        ToUpperAscii(name) + ".BAK");
        std::error_code e1, e2;
        if (!fs::is_regular_file(file, e1) || !fs::is_regular_file(bak, e2)) continue;
        const auto tf = fs::last_write_time(file, e1);
        const auto tb = fs::last_write_time(bak, e2);
        if (e1 || e2 || tb <= tf) continue;
        Finding& f = add(FindingKind::kNewerBackup, bak.filename().string());
        f.what = "backup newer than the file it backs";
        f.expected = "older than " + file.filename().string();
        f.found = "newer";
    }
}

std::string JsonText(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else if (c >= 0x80) {  // Latin-1 as UTF-8
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

}  // namespace

int DataFileNumber(const std::string& upper, std::string* ext) {
    if (upper.size() < 6 || upper[0] != 'F') return -1;
    const std::size_t dot = upper.find('.');
    if (dot == std::string::npos || dot < 2) return -1;
    const std::string e = upper.substr(dot + 1);
    if (e != "DAT" && e != "MWD" && e != "DOP") return -1;
    int n = 0;
    const char* first = upper.data() + 1;
    const char* last = upper.data() + dot;
    const auto r = std::from_chars(first, last, n);
    if (r.ec != std::errc() || r.ptr != last || n <= 0 || upper[1] == '0') return -1;
    if (ext) *ext = e;
    return n;
}

FindingClass ClassOf(FindingKind kind) {
    return InfoOf(kind).cls;
}

std::string_view ClassName(FindingClass cls) {
    switch (cls) {
        case FindingClass::kDamage:
            return "damage";
        case FindingClass::kSuspect:
            return "suspect";
        case FindingClass::kLeftover:
            return "leftover";
    }
    return "damage";
}

std::string_view KindName(FindingKind kind) {
    return InfoOf(kind).name;
}

bool IsTemporaryFileName(std::string_view name) {
    return IsTemporaryUpper(ToUpperAscii(name));
}

int WeekdaysBetween(DateCode earlier, DateCode later) {
    if (later <= earlier + 1) return 0;
    // Weekdays in days 1..d counted from a Sunday; day 1 (1 January 1961) was a Sunday.
    auto upTo = [](long long d) {
        const long long shifted =
            d + 7LL * 100000;  // keep it positive; 100,000 weeks is a multiple of 7
        const long long weeks = shifted / 7, rest = shifted % 7;
        // rest days after a whole week starting Sunday: Sunday (rest 1) is no weekday.
        return weeks * 5 + std::max(0LL, std::min(rest - 1, 5LL));
    };
    return static_cast<int>(upTo(later - 1) - upTo(earlier));
}

CheckReport CheckPortfolio(const std::string& directory, const CheckOptions& options,
                           const CheckObserver& observer) {
    CheckReport report;
    Checker(directory, options, report).run(observer);
    return report;
}

std::vector<std::string> PortfoliosBelow(const std::string& root) {
    std::vector<std::string> found;
    const std::string start = NormalizeSearchRoot(root);
    SearchDirectory(start, found, VolumeSearchOptions(start, false, {}));
    return SortPortfolios(found);
}

std::string FindingPlace(const Finding& f) {
    if (f.quote >= 0) {
        std::string t = "quote " + std::to_string(f.quote + 1);
        if (f.date != kNoDate) {
            t += " (" + FormatDateMdy(f.date, true);
            if (f.hasTime) t += " " + FormatTime(f.time);
            t += ")";
        }
        return t;
    }
    if (f.record > 0) return "record " + std::to_string(f.record);
    return {};
}

std::string FindingLine(const Finding& f) {
    std::string line = std::string(ClassName(f.cls)) + "  " + f.file;
    if (!f.symbol.empty()) line += "  " + f.symbol;
    if (const std::string place = FindingPlace(f); !place.empty()) line += " " + place;
    line += ": " + f.what;
    if (!f.expected.empty() || !f.found.empty())
        line += ": expected " + f.expected + ", found " + f.found;
    return line;
}

std::string FindingJson(const Finding& f) {
    std::string out = "{";
    auto field = [&](std::string_view name, const std::string& value) {
        if (out.size() > 1) out += ",";
        out += JsonText(name) + ":" + value;
    };
    field("class", JsonText(ClassName(f.cls)));
    field("kind", JsonText(KindName(f.kind)));
    field("directory", JsonText(f.directory));
    field("file", JsonText(f.file));
    if (f.id.valid()) {
        field("index", JsonText(f.id.inXmaster() ? "XMASTER" : "MASTER"));
        field("fileNumber", std::to_string(f.id.fileNumber));
        field("symbol", JsonText(f.symbol));
    }
    if (f.record > 0) field("record", std::to_string(f.record));
    if (f.quote >= 0) {
        field("quote", std::to_string(f.quote + 1));
        if (f.date != kNoDate) {
            const DateParts d = SplitDate(f.date);
            char buf[32];
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year + 1900, d.month, d.day);
            field("date", JsonText(buf));
        }
        if (f.hasTime) field("time", JsonText(FormatTime(f.time)));
    }
    field("what", JsonText(f.what));
    field("expected", JsonText(f.expected));
    field("found", JsonText(f.found));
    return out + "}";
}

std::string EditQuoteHint(const Finding& f) {
    if (f.quote < 0 || f.date == kNoDate || !f.id.valid()) return {};
    std::string dir = f.directory.empty() ? "." : f.directory;
    if (dir.find_first_of(" \t'\"") != std::string::npos) dir = "'" + dir + "'";
    std::string t = "edit-quote " + dir + " --file " + std::to_string(f.id.fileNumber) + " " +
                    FormatDateMdy(f.date, true);
    if (f.hasTime) t += " --time " + FormatTime(f.time);
    return t;
}

}  // namespace barwise
