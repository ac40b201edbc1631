#include "check/checkrepair.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <optional>
#include <set>
#include <system_error>
#include <tuple>

#include "commands/symbols/symbolops.h"
#include "datafiles/ascii.h"
#include "datafiles/extindex.h"
#include "datafiles/layout.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/series.h"
#include "datafiles/textrule.h"
#include "discovery/symbollist.h"

namespace barwise {
namespace {

fs::path DirPath(const std::string& dir) {
    return dir.empty() ? fs::path(".") : fs::path(dir);
}

// Runs `op` on a recording of `fs`; when it fails, what it had changed is put back, so a
// repair either is made whole or leaves every file (backups included) as it was.
template <class Op>
DataStatus AllOrNothing(FileSystem& fs, Op&& op) {
    RecordingFileSystem recording(fs);
    const DataStatus s = op(static_cast<FileSystem&>(recording));
    if (s != kSuccess) (void)UndoChanges(recording.changes(), fs);
    return s;
}

// Replaces `path` (its link target where it is a link) by `bytes`, keeping `old` as the
// file's .BAK beside it; writes `bytes` as a new file when there was none.
DataStatus ReplaceFile(FileSystem& fs, const fs::path& path, const std::vector<std::uint8_t>& bytes,
                       const std::optional<std::vector<std::uint8_t>>& old) {
    if (!old) return WriteFileChecked(fs, path, bytes);
    const fs::path target = RewriteTarget(path);
    fs::path temporary = path;
    temporary += ".NEW";
    fs::path backup = path;
    backup += ".BAK";
    return ReplaceKeepingBackup(fs, path, BesideTarget(path, target, temporary),
                                BesideTarget(path, target, backup), bytes, *old);
}

// EMASTER as MASTER says it should be: one record per MASTER record within its header's
// count. Where the old EMASTER has a record of the same file number at the same position,
// that record's bytes (its long name among them) are the starting point.
DataStatus BuildEmaster(const std::string& dirSep, const std::vector<std::uint8_t>& master,
                        const std::vector<std::uint8_t>& old, std::vector<std::uint8_t>& out) {
    if (master.size() < kMasterRecordSize) return kFileRead;
    const int count = MasterCount(master.data());
    if (count < 0 || (static_cast<std::size_t>(count) + 1) * kMasterRecordSize > master.size())
        return kInvalidParm;  // MASTER's count first
    out.assign((static_cast<std::size_t>(count) + 1) * kEmasterRecordSize, 0);
    if (old.size() >= kEmasterRecordSize) std::memcpy(out.data(), old.data(), kEmasterRecordSize);
    std::memset(out.data(), 0, 4);
    out[kEmasterCountOffset] = static_cast<std::uint8_t>(count & 0xFF);
    out[kEmasterCountOffset + 1] = static_cast<std::uint8_t>(count >> 8);
    out[kEmasterCounterOffset] = master[kMasterCounterOffset];
    out[kEmasterCounterOffset + 1] = master[kMasterCounterOffset + 1];
    std::memcpy(out.data() + 49, master.data() + 49, 4);
    const DirectoryIndex index(dirSep);
    for (int k = 1; k <= count; ++k) {
        const std::uint8_t* m = master.data() + static_cast<std::size_t>(k) * kMasterRecordSize;
        std::uint8_t* e = out.data() + static_cast<std::size_t>(k) * kEmasterRecordSize;
        const std::size_t oldAt = static_cast<std::size_t>(k) * kEmasterRecordSize;
        const bool keep = oldAt + kEmasterRecordSize <= old.size() &&
                          old[oldAt + kEmasterFileNumberOffset] == m[0];
        if (keep) std::memcpy(e, old.data() + oldAt, kEmasterRecordSize);
        MasterRecord record;
        std::memcpy(record.bytes.data(), m, kMasterRecordSize);
        e[kEmasterFileNumberOffset] = m[kMasterFileNumberOffset];
        e[kEmasterFieldCountOffset] = m[kMasterFieldCountOffset];
        SeriesFiles sf;
        const SecurityId id{IndexFile::kMaster, dirSep, k, m[0]};
        if (!record.isSubdirEntry() && OpenSeriesFiles(id, record, sf, &index) == kSuccess)
            e[kEmasterFieldBitsOffset] = FieldBitsOf(sf.columns);
        else if (!keep)
            e[kEmasterFieldBitsOffset] = kFieldBitDate;
        PutZeroPadded(e + kEmasterSymbolOffset, kEmasterSymbolSize,
                      TrimPadding(record.symbolField()).substr(0, kEmasterSymbolSize));
        PutZeroPadded(e + kEmasterNameOffset, kEmasterNameSize, TrimPadding(record.nameField()));
        e[kEmasterPeriodOffset] = m[kMasterPeriodOffset];
        const float first = MbfToFloat(m + kMasterFirstDateOffset);
        const float last = MbfToFloat(m + kMasterLastDateOffset);
        PutIeeeFloat(e + kEmasterFirstDateOffset, first);
        PutIeeeFloat(e + kEmasterLastDateOffset, last);
        const std::int32_t ymd = YmdFromDateReal(first);
        PutI32(e + kEmasterFirstDateIntOffset, ymd != 0 ? ymd : kNoIndexDate);
        if (!keep) std::memset(e + kEmasterLongNameOffset, 0, kEmasterLongNameSize);
    }
    return kSuccess;
}

struct QuoteKey {
    DateCode date;
    TimeCode time;
    friend bool operator<(const QuoteKey& a, const QuoteKey& b) {
        return std::tie(a.date, a.time) < std::tie(b.date, b.time);
    }
};

// Whether the index files that hold `id` give these first and last dates.
bool IndexDatesAgree(const SecurityId& id, const MasterRecord& record, DateCode first,
                     DateCode last) {
    if (id.inXmaster()) {
        const ExtIndexFile x = ReadXmasterFile(id.directory);
        if (!x.sound() || id.position > x.count) return true;  // nothing the rewrite would keep
        const XmasterFields f = DecodeXmasterRecord(x.record(id.position, kXmasterRecordSize));
        auto ymd = [](std::int32_t v) { return MakeDate(v / 10000, v / 100 % 100, v % 100); };
        return ymd(f.firstDate) == first && ymd(f.lastDate) == last;
    }
    if (DateFromReal(MbfToFloat(record.bytes.data() + kMasterFirstDateOffset)) != first ||
        DateFromReal(MbfToFloat(record.bytes.data() + kMasterLastDateOffset)) != last)
        return false;
    const auto master = ReadWholeFile(MasterPathOf(id.directory));
    if (!master) return true;
    const ExtIndexFile e = ReadEmasterFile(id.directory, *master);
    if (!e.sound() || id.position > e.count) return true;
    const std::uint8_t* r = e.record(id.position, kEmasterRecordSize);
    float fd = 0, ld = 0;
    std::memcpy(&fd, r + kEmasterFirstDateOffset, 4);
    std::memcpy(&ld, r + kEmasterLastDateOffset, 4);
    return DateFromReal(fd) == first && DateFromReal(ld) == last;
}

// The quote file of an entry as read under the lock.
struct QuoteFile {
    MasterRecord record;
    SeriesFiles files;
    std::vector<std::uint8_t> bytes;
    std::size_t rl = 0;
    int header = 0;          // quotes the header counts
    std::int64_t whole = 0;  // whole quotes the file holds
    std::size_t cut = 0;     // bytes of a cut last record
    QuoteKey key(int i) const {
        const std::uint8_t* r = bytes.data() + (static_cast<std::size_t>(i) + 1) * rl;
        const FieldLayout& L = files.columns;
        QuoteKey k{DateFromReal(MbfToFloat(r + (L.column[kFieldDate] - 1) * 4)), 0};
        if (L.has(kFieldTime))
            k.time = TimeFromReal(MbfToFloat(r + (L.column[kFieldTime] - 1) * 4));
        return k;
    }
};

DataStatus ReadQuoteFile(const SecurityId& id, QuoteFile& q) {
    if (DataStatus s = ReadMasterEntry(id, q.record); s != kSuccess) return s;
    if (DataStatus s = OpenSeriesFiles(id, q.record, q.files); s != kSuccess) return s;
    auto bytes = ReadWholeFile(q.files.datPath);
    if (!bytes) return kFileOpen;
    q.bytes = std::move(*bytes);
    q.rl = static_cast<std::size_t>(q.files.recordLength);
    if (q.bytes.size() < q.rl) return kFileRead;
    q.header = std::max(DatLastRecord(q.bytes.data()) - 1, 0);
    q.whole = static_cast<std::int64_t>(q.bytes.size() / q.rl) - 1;
    q.cut = q.bytes.size() % q.rl;
    return kSuccess;
}

DataStatus SetDatesFromQuotes(const SecurityId& id, const QuoteFile& q, int quotes,
                              FileSystem& fs) {
    if (quotes <= 0) return kSuccess;
    const DateCode first = q.key(0).date, last = q.key(quotes - 1).date;
    if (first == kNoDate || last == kNoDate) return kInvalidParm;
    if (IndexDatesAgree(id, q.record, first, last)) return kSuccess;
    return SetMasterDates(id, DateToMbfReal(first), DateToMbfReal(last), fs);
}

}  // namespace

bool IsRepairable(const Finding& f) {
    if (!f.mendable) return false;
    if (f.kind != FindingKind::kUnlistedDataFile) return IsRepairable(f.kind);
    std::string ext;
    return DataFileNumber(ToUpperAscii(f.file), &ext) > 0 && ext != "DOP";
}

SecurityNames SuggestedNames(const Finding& f) {
    const int n = DataFileNumber(ToUpperAscii(f.file));
    SecurityNames names{"F" + std::to_string(n), f.file};
    const std::string dirSep = WithTrailingSeparator(f.directory);
    const auto master = ReadWholeFile(MasterPathOf(dirSep));
    const fs::path emasterPath = FindNoCase(DirPath(f.directory), kEmasterFileName);
    const auto emaster = emasterPath.empty() ? std::nullopt : ReadWholeFile(emasterPath);
    if (n <= 0 || n > 255 || !master || !emaster) return names;
    for (std::size_t at = kEmasterRecordSize; at + kEmasterRecordSize <= emaster->size();
         at += kEmasterRecordSize) {
        const std::uint8_t* e = emaster->data() + at;
        if (e[kEmasterFileNumberOffset] != n) continue;
        // A record MASTER has at the same place with that number lists the file already.
        const std::size_t m = at / kEmasterRecordSize * kMasterRecordSize;
        if (m + kMasterRecordSize <= master->size() && (*master)[m + kMasterFileNumberOffset] == n)
            continue;
        const std::string symbol = ZeroPaddedText(e + kEmasterSymbolOffset, kEmasterSymbolSize);
        if (symbol.empty()) continue;
        // The names as the user reads and gives them: UTF-8.
        names.symbol = Latin1ToUtf8(symbol);
        const std::string name = EmasterName(e);
        if (!name.empty()) names.name = Latin1ToUtf8(name);
        break;
    }
    return names;
}

bool IsRepairable(FindingKind kind) {
    switch (kind) {
        case FindingKind::kMasterCount:
        case FindingKind::kEmasterDisagrees:
        case FindingKind::kDatCount:
        case FindingKind::kOutOfOrder:
        case FindingKind::kRepeatedQuote:
        case FindingKind::kIndexDate:
        case FindingKind::kBlankSymbol:
        case FindingKind::kTemporaryFile:
        case FindingKind::kUnlistedDataFile:
            return true;
        default:
            return false;
    }
}

DataStatus RepairMasterCount(const std::string& directory, FileSystem& fs) {
    const PortfolioLock lock(directory);
    if (!lock.held()) return kPortfolioBusy;
    const std::string dirSep = WithTrailingSeparator(directory);
    return AllOrNothing(fs, [&](FileSystem& rfs) {
        return RewriteIndexFiles(
            MasterPathOf(dirSep),
            [&](IndexContents& c) {
                if (c.master.size() < kMasterRecordSize) return kFileRead;
                const std::size_t whole = c.master.size() / kMasterRecordSize - 1;
                if (whole > 32767) return kInvalidParm;
                PutI16(c.master.data() + kMasterCountOffset, static_cast<std::int16_t>(whole));
                // An EMASTER kept up to date follows MASTER's new count.
                if (!c.emaster.empty()) {
                    std::vector<std::uint8_t> rebuilt;
                    if (DataStatus s = BuildEmaster(dirSep, c.master, c.emaster, rebuilt);
                        s != kSuccess)
                        return s;
                    c.emaster = std::move(rebuilt);
                }
                return kSuccess;
            },
            rfs);
    });
}

DataStatus RebuildEmaster(const std::string& directory, FileSystem& fs) {
    const PortfolioLock lock(directory);
    if (!lock.held()) return kPortfolioBusy;
    const std::string dirSep = WithTrailingSeparator(directory);
    const auto master = ReadWholeFile(MasterPathOf(dirSep));
    if (!master) return kFileOpen;
    const ExtIndexFile current = ReadEmasterFile(dirSep, *master);
    if (current.sound()) return kSuccess;
    const fs::path path =
        current.path.empty() ? DirPath(directory) / std::string(kEmasterFileName) : current.path;
    std::optional<std::vector<std::uint8_t>> old;
    if (!current.path.empty()) {
        old = ReadWholeFile(path);
        if (!old) return kFileOpen;
    }
    std::vector<std::uint8_t> bytes;
    if (DataStatus s =
            BuildEmaster(dirSep, *master, old ? *old : std::vector<std::uint8_t>{}, bytes);
        s != kSuccess)
        return s;
    if (DataStatus s = CheckNotReadOnly(path); s != kSuccess) return s;
    return AllOrNothing(fs, [&](FileSystem& rfs) { return ReplaceFile(rfs, path, bytes, old); });
}

DataStatus RepairQuoteFile(const SecurityId& id, bool count, bool order, FileSystem& fs) {
    const PortfolioLock lock(id.directory);
    if (!lock.held()) return kPortfolioBusy;
    QuoteFile q;
    if (DataStatus s = ReadQuoteFile(id, q); s != kSuccess) return s;
    const bool countWrong = q.whole != q.header || q.cut != 0;
    const bool fixCount = count && countWrong;
    // Without the count mended only the quotes both the header and the size agree on move.
    const int n = static_cast<int>(fixCount ? q.whole : std::min<std::int64_t>(q.header, q.whole));
    if (n + 1 > 65535) return kInvalidParm;

    std::vector<int> keep(static_cast<std::size_t>(n));
    std::iota(keep.begin(), keep.end(), 0);
    if (order) {
        std::vector<QuoteKey> keys(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            keys[static_cast<std::size_t>(i)] = q.key(i);
            if (keys[static_cast<std::size_t>(i)].date == kNoDate)
                return kInvalidParm;  // no day to sort by
        }
        std::stable_sort(keep.begin(), keep.end(), [&](int a, int b) {
            return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
        });
        std::vector<int> single;
        for (int i : keep) {
            if (!single.empty()) {
                const std::uint8_t* a =
                    q.bytes.data() + (static_cast<std::size_t>(single.back()) + 1) * q.rl;
                const std::uint8_t* b = q.bytes.data() + (static_cast<std::size_t>(i) + 1) * q.rl;
                if (std::equal(a, a + q.rl, b)) continue;  // the same quote twice
            }
            single.push_back(i);
        }
        keep = std::move(single);
    }

    std::vector<std::uint8_t> out(q.bytes.begin(),
                                  q.bytes.begin() + static_cast<std::ptrdiff_t>(q.rl));
    SetDatLastRecord(out.data(), static_cast<int>(keep.size()) + 1);
    out.reserve(q.bytes.size());
    for (int i : keep) {
        const auto at =
            q.bytes.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(i) + 1) * q.rl);
        out.insert(out.end(), at, at + static_cast<std::ptrdiff_t>(q.rl));
    }
    const std::size_t used = (static_cast<std::size_t>(n) + 1) * q.rl;
    std::vector<std::uint8_t> trailer;
    if (fixCount) {
        trailer.assign(q.bytes.begin() + static_cast<std::ptrdiff_t>(used), q.bytes.end());
    } else {
        out.insert(out.end(), q.bytes.begin() + static_cast<std::ptrdiff_t>(used), q.bytes.end());
    }
    const int f = q.record.fileNumber();
    const fs::path trl = SeriesFilePath(id.directory, f, "TRL");
    std::error_code ec;
    if (!trailer.empty() && fs::exists(fs::symlink_status(trl, ec))) return kFileExists;
    if (DataStatus s = CheckRewritable(fs, q.files.datPath, out.size()); s != kSuccess) return s;

    QuoteFile after = q;
    after.bytes = out;
    const bool changeData = out != q.bytes;
    return AllOrNothing(fs, [&](FileSystem& rfs) {
        if (!trailer.empty()) {
            if (DataStatus s = WriteFileChecked(rfs, trl, trailer); s != kSuccess) return s;
        }
        if (changeData) {
            if (DataStatus s = ReplaceKeepingBackup(
                    rfs, q.files.datPath, SeriesFilePath(id.directory, f, "NEW"),
                    SeriesFilePath(id.directory, f, "BAK"), out, q.bytes);
                s != kSuccess)
                return s;
        }
        return SetDatesFromQuotes(id, after, static_cast<int>(keep.size()), rfs);
    });
}

DataStatus RepairIndexDates(const SecurityId& id, FileSystem& fs) {
    const PortfolioLock lock(id.directory);
    if (!lock.held()) return kPortfolioBusy;
    QuoteFile q;
    if (DataStatus s = ReadQuoteFile(id, q); s != kSuccess) return s;
    const int n = static_cast<int>(std::min<std::int64_t>(q.header, q.whole));
    return AllOrNothing(fs, [&](FileSystem& rfs) { return SetDatesFromQuotes(id, q, n, rfs); });
}

DataStatus RemoveLeftovers(const std::string& directory, FileSystem& fs) {
    const PortfolioLock lock(directory);
    if (!lock.held()) return kPortfolioBusy;
    return AllOrNothing(fs, [&](FileSystem& rfs) {
        // An index rewrite stopped between its renames is finished rather than undone.
        FinishInterruptedIndexRewrite(WithTrailingSeparator(directory), rfs);
        std::error_code ec;
        std::vector<fs::path> temporaries;
        for (fs::directory_iterator it(DirPath(directory), ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code e2;
            if (it->is_regular_file(e2) && IsTemporaryFileName(it->path().filename().string()))
                temporaries.push_back(it->path());
        }
        std::sort(temporaries.begin(), temporaries.end());
        for (const fs::path& p : temporaries)
            if (!rfs.remove(p)) return kFileWrite;
        return kSuccess;
    });
}

DataStatus AdoptDataFile(const std::string& directory, const std::string& fileName,
                         const SecurityNames& names, FileSystem& fs, std::string* refusal) {
    auto refuse = [&](DataStatus s, std::string why) {
        if (refusal) *refusal = std::move(why);
        return s;
    };
    std::string ext;
    const int n = DataFileNumber(ToUpperAscii(fileName), &ext);
    if (n <= 0 || ext == "DOP" || (ext == "DAT" && n > 255) || (ext == "MWD" && n < 256))
        return refuse(kInvalidParm, "not the name of a data file a record can list");
    const bool inXmaster = ext == "MWD";
    const PortfolioLock lock(directory);
    if (!lock.held()) return kPortfolioBusy;
    const std::string dirSep = WithTrailingSeparator(directory);
    // The texts as a rename would take them, in the limits of the index files that list it.
    const std::u32string symbol = CodePointsOfUtf8(names.symbol),
                         name = CodePointsOfUtf8(names.name);
    const auto master = ReadWholeFile(MasterPathOf(dirSep));
    if (!master) return kFileOpen;
    const bool extended = inXmaster || ReadEmasterFile(dirSep, *master).sound();
    const TextLimits limits = TextLimitsFor(extended);
    if (std::string why = CheckRenameTexts(symbol, name, "", "", limits); !why.empty())
        return refuse(kInvalidParm, why);
    const fs::path data = FindNoCase(DirPath(directory), fileName);
    const auto bytes = data.empty() ? std::nullopt : ReadWholeFile(data);
    if (!bytes) return refuse(kFileOpen, fileName + " cannot be read");

    // The record length from the header's last record number and the size.
    const int lastRecord = bytes->size() >= 4 ? DatLastRecord(bytes->data()) : 0;
    const std::size_t rl =
        lastRecord > 0 ? bytes->size() / static_cast<std::size_t>(lastRecord) : 0;
    if (lastRecord <= 0 || bytes->size() % static_cast<std::size_t>(lastRecord) != 0 ||
        rl % 4 != 0 || rl < 8 || rl > static_cast<std::size_t>(kMaxRecordLength))
        return refuse(kInvalidParm,
                      "its record length cannot be told from its size and its header");
    const int fields = static_cast<int>(rl / 4);
    FieldLayout layout;
    fs::path dop = DirPath(directory) / ("F" + std::to_string(n) + ".DOP");
    if (const fs::path found = FindNoCase(DirPath(directory), dop.filename().string());
        !found.empty())
        dop = found;
    // An XMASTER security has no DOP: its field bits name the default layout of its length.
    bool dopIgnored = false;
    if (ReadLayout(inXmaster ? fs::path() : dop, static_cast<int>(rl), fields, 'D', layout,
                   &dopIgnored) != kSuccess)
        return refuse(kInvalidParm,
                      "no layout of " + std::to_string(rl) + "-byte records is known");
    if (!layout.has(kFieldDate)) return refuse(kInvalidParm, "its layout has no date");

    MasterRecord r;
    r.bytes[kMasterRecordLengthOffset] = static_cast<std::uint8_t>(rl);
    r.bytes[kMasterFieldCountOffset] = static_cast<std::uint8_t>(fields);
    r.bytes[kMasterPeriodOffset] = static_cast<std::uint8_t>(layout.has(kFieldTime) ? 'I' : 'D');
    const std::string latin1Symbol = Latin1OfCodePoints(symbol),
                      latin1Name = Latin1OfCodePoints(name);
    PutBlankPadded(r.bytes.data() + kMasterSymbolOffset, kMasterSymbolSize, latin1Symbol);
    PutBlankPadded(r.bytes.data() + kMasterNameOffset, kMasterNameSize, latin1Name);
    if (latin1Name.size() > kMasterNameSize) r.longName = latin1Name;
    if (lastRecord > 1) {
        auto dateOf = [&](int record) {
            return bytes->data() + static_cast<std::size_t>(record) * rl +
                   (layout.column[kFieldDate] - 1) * 4;
        };
        std::memcpy(r.bytes.data() + kMasterFirstDateOffset, dateOf(1), 4);
        std::memcpy(r.bytes.data() + kMasterLastDateOffset, dateOf(lastRecord - 1), 4);
    }
    if (!inXmaster) r.bytes[kMasterFileNumberOffset] = static_cast<std::uint8_t>(n);
    const std::uint8_t bits = FieldBitsOf(layout);

    return AllOrNothing(fs, [&](FileSystem& rfs) {
        return RewriteIndexFiles(
            MasterPathOf(dirSep),
            [&](IndexContents& c) {
                if (c.master.size() < kMasterRecordSize) return kFileRead;
                const int count = MasterCount(c.master.data());
                // Read again under the lock: a record that lists the number by now ends it.
                for (int k = 1;
                     k <= count &&
                     (static_cast<std::size_t>(k) + 1) * kMasterRecordSize <= c.master.size();
                     ++k)
                    if (!inXmaster && c.master[static_cast<std::size_t>(k) * kMasterRecordSize +
                                               kMasterFileNumberOffset] == n)
                        return kFileExists;
                if (inXmaster) {
                    if (c.xmaster.empty()) return kInvalidParm;
                    const std::int32_t xcount = GetI32(c.xmaster.data() + kXmasterCountOffset);
                    for (std::int32_t k = 1; k <= xcount; ++k) {
                        const std::size_t at = static_cast<std::size_t>(k) * kXmasterRecordSize;
                        if (at + kXmasterRecordSize > c.xmaster.size()) return kInvalidParm;
                        if (DecodeXmasterRecord(c.xmaster.data() + at).fileNumber == n)
                            return kFileExists;
                    }
                    const auto x = XmasterRecordOf(r, n, bits);
                    c.xmaster.resize((static_cast<std::size_t>(xcount) + 1) * kXmasterRecordSize);
                    c.xmaster.insert(c.xmaster.end(), x.begin(), x.end());
                    PutI32(c.xmaster.data() + kXmasterCountOffset, xcount + 1);
                    PutI32(c.xmaster.data() + kXmasterCountCopyOffset, xcount + 1);
                    PutI32(c.xmaster.data() + kXmasterNextNumberOffset,
                           std::max(XmasterNextNumber(c.xmaster.data()), n + 1));
                    return kSuccess;
                }
                if (count >= 255) return kInvalidParm;
                const std::size_t at = kMasterRecordSize * (static_cast<std::size_t>(count) + 1);
                if (at > c.master.size()) return kInvalidParm;
                c.master.insert(c.master.begin() + static_cast<std::ptrdiff_t>(at), r.bytes.begin(),
                                r.bytes.end());
                PutI16(c.master.data() + kMasterCountOffset, static_cast<std::int16_t>(count + 1));
                PutI16(
                    c.master.data() + kMasterCounterOffset,
                    static_cast<std::int16_t>(GetI16(c.master.data() + kMasterCounterOffset) + 1));
                if (!c.emaster.empty()) {
                    const auto e = EmasterRecordOf(r, n, bits);
                    const std::size_t eat =
                        kEmasterRecordSize * (static_cast<std::size_t>(count) + 1);
                    if (c.emaster.size() < eat) return kInvalidParm;
                    c.emaster.resize(eat);
                    c.emaster.insert(c.emaster.end(), e.begin(), e.end());
                    std::memcpy(c.emaster.data() + kEmasterCountOffset,
                                c.master.data() + kMasterCountOffset, 2);
                    std::memcpy(c.emaster.data() + kEmasterCounterOffset,
                                c.master.data() + kMasterCounterOffset, 2);
                }
                return kSuccess;
            },
            rfs, kMasterTempSuffix);
    });
}

std::string RepairLabel(std::size_t findings) {
    return "Repair of " + std::to_string(findings) + (findings == 1 ? " finding" : " findings");
}

RepairOutcome RepairFindings(const std::vector<Finding>& findings, FileSystem& fs,
                             const NamesForFile& names) {
    RepairOutcome outcome;
    struct SeriesWork {
        SecurityId id;
        std::string label;
        bool count = false, order = false, dates = false;
    };
    std::vector<std::string> leftovers, counts, emasters, symbols;
    std::vector<SeriesWork> series;
    // The names of new securities are settled before anything is written (a stray EMASTER
    // record that gives them may go with the EMASTER rebuild).
    std::vector<std::pair<const Finding*, SecurityNames>> unlisted;
    auto once = [](std::vector<std::string>& v, const std::string& d) {
        if (std::find(v.begin(), v.end(), d) == v.end()) v.push_back(d);
    };
    for (const Finding& f : findings) {
        switch (f.kind) {
            case FindingKind::kTemporaryFile:
                once(leftovers, f.directory);
                break;
            case FindingKind::kMasterCount:
                once(counts, f.directory);
                break;
            case FindingKind::kEmasterDisagrees:
                once(emasters, f.directory);
                break;
            case FindingKind::kBlankSymbol:
                if (f.mendable) once(symbols, f.directory);
                break;
            case FindingKind::kUnlistedDataFile:
                if (!IsRepairable(f)) break;
                if (std::optional<SecurityNames> given = names ? names(f) : SuggestedNames(f))
                    unlisted.emplace_back(&f, std::move(*given));
                break;
            case FindingKind::kDatCount:
            case FindingKind::kOutOfOrder:
            case FindingKind::kRepeatedQuote:
            case FindingKind::kIndexDate: {
                if (!f.id.valid()) break;
                auto it = std::find_if(series.begin(), series.end(),
                                       [&](const SeriesWork& w) { return w.id == f.id; });
                if (it == series.end()) {
                    series.push_back({f.id, f.symbol});
                    it = series.end() - 1;
                }
                if (f.kind == FindingKind::kDatCount)
                    it->count = true;
                else if (f.kind == FindingKind::kIndexDate)
                    it->dates = true;
                else
                    it->order = true;
                break;
            }
            default:
                break;
        }
    }
    auto run = [&](const std::string& what, auto&& op) {
        ChangeResult r = RecordChanges(fs, op);
        if (r.status != kSuccess) {
            outcome.failures.push_back(what + ": " + std::string(DataStatusName(r.status)));
            if (outcome.result.status == kSuccess) outcome.result.status = r.status;
        } else if (!r.changes.empty()) {
            ++outcome.repaired;
        }
        for (FileChange& c : r.changes) outcome.result.changes.push_back(std::move(c));
    };
    for (const std::string& d : leftovers)
        run(d + ": leftovers", [&](FileSystem& rfs) { return RemoveLeftovers(d, rfs); });
    for (const std::string& d : counts)
        run(d + ": MASTER count", [&](FileSystem& rfs) { return RepairMasterCount(d, rfs); });
    for (const std::string& d : emasters)
        run(d + ": EMASTER", [&](FileSystem& rfs) { return RebuildEmaster(d, rfs); });
    for (const std::string& d : symbols)
        run(d + ": blank symbols", [&](FileSystem& rfs) {
            const PortfolioLock lock(d);
            if (!lock.held()) return kPortfolioBusy;
            return AllOrNothing(rfs, [&](FileSystem& inner) {
                return RepairMasterSymbols(MasterPathOf(WithTrailingSeparator(d)), inner);
            });
        });
    // New securities come after MASTER's count and EMASTER are mended, so they are added to
    // index files that agree.
    for (const auto& entry : unlisted) {
        const Finding* f = entry.first;  // named, not bound: a lambda below captures them
        const SecurityNames& given = entry.second;
        std::string refusal;
        run(f->directory + " " + f->file, [&](FileSystem& rfs) {
            return AdoptDataFile(f->directory, f->file, given, rfs, &refusal);
        });
        if (!refusal.empty() && !outcome.failures.empty())
            outcome.failures.back() += " (" + refusal + ")";
    }
    for (const SeriesWork& w : series) {
        const std::string what = w.id.directory + " " + w.label;
        if (w.count || w.order)
            run(what,
                [&](FileSystem& rfs) { return RepairQuoteFile(w.id, w.count, w.order, rfs); });
        else
            run(what, [&](FileSystem& rfs) { return RepairIndexDates(w.id, rfs); });
    }
    return outcome;
}

}  // namespace barwise
