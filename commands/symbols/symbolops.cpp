#include "commands/symbols/symbolops.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <set>
#include <system_error>

#include "datafiles/ascii.h"
#include "datafiles/extindex.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/series.h"
#include "discovery/symbollist.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace barwise {
namespace {

constexpr std::string_view kAdditionFailed = "The Symbol addition failed.\n\nReason: ";

using EmasterBytes = std::array<std::uint8_t, kEmasterRecordSize>;
using XmasterBytes = std::array<std::uint8_t, kXmasterRecordSize>;

MasterRecord RecordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    MasterRecord r;
    std::memcpy(r.bytes.data(), bytes.data() + offset, kMasterRecordSize);
    return r;
}

int HeaderCounter(const std::uint8_t* header) {
    return GetI16(header + kMasterCounterOffset);
}

// Lowers (or raises) both header words, never below 0.
void AdjustHeader(std::vector<std::uint8_t>& bytes, int delta) {
    const int count = std::max(0, MasterCount(bytes.data()) + delta);
    const int counter = std::max(0, HeaderCounter(bytes.data()) + delta);
    PutI16(bytes.data() + kMasterCountOffset, static_cast<std::int16_t>(count));
    PutI16(bytes.data() + kMasterCounterOffset, static_cast<std::int16_t>(counter));
}

// EMASTER's header follows MASTER's: the record count and the file-number counter.
void FollowMasterHeader(IndexContents& c) {
    if (c.emaster.size() < kEmasterRecordSize || c.master.size() < kMasterRecordSize) return;
    std::memcpy(c.emaster.data() + kEmasterCountOffset, c.master.data() + kMasterCountOffset, 2);
    std::memcpy(c.emaster.data() + kEmasterCounterOffset, c.master.data() + kMasterCounterOffset,
                2);
}

int XmasterCount(const std::vector<std::uint8_t>& x) {
    return GetI32(x.data() + kXmasterCountOffset);
}

// Raises (or lowers) both copies of XMASTER's record count.
void AdjustXmasterCount(std::vector<std::uint8_t>& x, int delta) {
    const std::int32_t count = std::max(0, XmasterCount(x) + delta);
    PutI32(x.data() + kXmasterCountOffset, count);
    PutI32(x.data() + kXmasterCountCopyOffset, count);
}

void EraseRecord(std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t size) {
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

// True when a record of the directory's index file `index` names this file number.
bool FileNumberListed(const std::string& directory, IndexFile index, int fileNumber) {
    const MasterFile master = ReadMasterFile(directory);
    // Unreadable now: keep the files rather than guess.
    if (master.status != kSuccess) return true;
    if (index == IndexFile::kXMaster && master.xmaster == ExtIndexState::kUnusable) return true;
    return std::any_of(master.entries.begin(), master.entries.end(), [&](const MasterEntry& e) {
        return e.id.index == index && !e.record.isSubdirEntry() &&
               e.record.fileNumber() == fileNumber;
    });
}

// Removes the data files of a file number that no record names any more.
void RemoveDataFiles(const std::string& directory, int fileNumber, std::string_view dataExtension,
                     FileSystem& fsys, std::vector<fs::path>& removed,
                     std::vector<fs::path>& notRemoved) {
    for (std::string_view ext : {dataExtension, std::string_view("DOP"), std::string_view("BAK")}) {
        const fs::path file = SeriesFilePath(directory, fileNumber, ext);
        if (!Exists(file)) continue;
        (fsys.remove(file) ? removed : notRemoved).push_back(file);
    }
}

// The text the security is known by: its symbol text, or for a blank symbol field its name.
std::string KeyOf(const MasterRecord& record) {
    std::string key = SymbolText(record);
    if (key.empty()) key = DisplayText(record.nameField());
    return key;
}

// The whole symbol and name of a security, as EMASTER and XMASTER store them.
std::string WholeSymbol(const MasterRecord& record) {
    return DisplayText(record.symbolField());
}
std::string WholeName(const MasterRecord& record) {
    return SecurityName(record);
}

std::int32_t YmdOf(const std::uint8_t* mbfDate) {
    return YmdFromDateReal(MbfToFloat(mbfDate));
}

// The EMASTER record of a MASTER record that has none yet.
EmasterBytes MakeEmasterRecord(const MasterRecord& m, int number, std::uint8_t fieldBits) {
    EmasterBytes e{};
    std::uint8_t* p = e.data();
    p[kEmasterFileNumberOffset] = static_cast<std::uint8_t>(number);
    p[kEmasterFieldCountOffset] = static_cast<std::uint8_t>(m.fieldCount());
    p[kEmasterFieldBitsOffset] = fieldBits;
    const std::string name = WholeName(m);
    PutZeroPadded(p + kEmasterSymbolOffset, kEmasterSymbolSize, WholeSymbol(m));
    PutZeroPadded(p + kEmasterNameOffset, kEmasterNameSize,
                  std::string_view(name).substr(0, kEmasterNameSize));
    p[kEmasterPeriodOffset] = static_cast<std::uint8_t>(m.period());
    const float first = MbfToFloat(m.bytes.data() + kMasterFirstDateOffset);
    PutIeeeFloat(p + kEmasterFirstDateOffset, first);
    PutIeeeFloat(p + kEmasterLastDateOffset, MbfToFloat(m.bytes.data() + kMasterLastDateOffset));
    const std::int32_t ymd = YmdFromDateReal(first);
    PutI32(p + kEmasterFirstDateIntOffset, ymd != 0 ? ymd : kNoIndexDate);
    if (name.size() > kEmasterNameSize)
        PutZeroPadded(p + kEmasterLongNameOffset, kEmasterLongNameSize, name);
    return e;
}

// The XMASTER record of a security that comes from a MASTER.
XmasterBytes MakeXmasterRecord(const MasterRecord& m, int number, std::uint8_t fieldBits) {
    XmasterBytes x{};
    std::uint8_t* p = x.data();
    p[0] = 0x01;
    PutZeroPadded(p + kXmasterSymbolOffset, kXmasterSymbolSize, WholeSymbol(m));
    PutZeroPadded(p + kXmasterNameOffset, kXmasterNameSize, WholeName(m));
    p[kXmasterPeriodOffset] = static_cast<std::uint8_t>(m.period());
    PutI16(p + kXmasterFileNumberOffset,
           static_cast<std::int16_t>(static_cast<std::uint16_t>(number)));
    p[kXmasterFieldBitsOffset] = fieldBits;
    const std::int32_t first = YmdOf(m.bytes.data() + kMasterFirstDateOffset);
    PutI32(p + kXmasterStartDateOffset, first != 0 ? first : kNoIndexDate);
    PutI32(p + kXmasterFirstDateOffset, first);
    PutI32(p + kXmasterLastDateOffset, YmdOf(m.bytes.data() + kMasterLastDateOffset));
    return x;
}

// A security's entry as its index files hold it now.
struct SourceEntry {
    MasterRecord record;                  // MASTER form (dates MBF)
    std::optional<EmasterBytes> emaster;  // its EMASTER record, when a sound EMASTER holds one
    std::optional<XmasterBytes> xmaster;  // its XMASTER record (XMASTER securities)
};

DataStatus ReadSourceEntry(const SecurityId& id, SourceEntry& out) {
    if (DataStatus s = ReadMasterEntry(id, out.record); s != kSuccess) return s;
    if (id.inXmaster()) {
        const ExtIndexFile x = ReadXmasterFile(id.directory);
        if (!x.sound() || id.position > x.count) return kFileNotFound;
        XmasterBytes bytes;
        std::memcpy(bytes.data(), x.record(id.position, kXmasterRecordSize), bytes.size());
        out.xmaster = bytes;
        return kSuccess;
    }
    if (const auto master = ReadWholeFile(MasterPathOf(id.directory))) {
        const ExtIndexFile e = ReadEmasterFile(id.directory, *master);
        if (e.sound() && id.position <= e.count) {
            EmasterBytes bytes;
            std::memcpy(bytes.data(), e.record(id.position, kEmasterRecordSize), bytes.size());
            out.emaster = bytes;
        }
    }
    return kSuccess;
}

// Takes the records `drop` chooses out of MASTER (and their EMASTER twins), lowering the
// headers. The caller's `drop` tells whether the record it is after was among them.
void DropMasterRecords(IndexContents& c, const std::function<bool(int, const MasterRecord&)>& drop,
                       std::vector<int>& dropped, std::set<int>& stillListed) {
    dropped.clear();
    stillListed.clear();
    const int count = MasterCount(c.master.data());
    const bool twins = !c.emaster.empty();
    std::vector<std::uint8_t> kept(c.master.begin(), c.master.begin() + kMasterRecordSize);
    std::vector<std::uint8_t> keptTwins;
    if (twins) keptTwins.assign(c.emaster.begin(), c.emaster.begin() + kEmasterRecordSize);
    std::size_t off = kMasterRecordSize;
    for (int pos = 1; off + kMasterRecordSize <= c.master.size(); off += kMasterRecordSize, ++pos) {
        const MasterRecord r = RecordAt(c.master, off);
        const std::size_t twin = static_cast<std::size_t>(pos) * kEmasterRecordSize;
        if (pos <= count && !r.isSubdirEntry() && drop(pos, r)) {
            dropped.push_back(r.fileNumber());
            continue;
        }
        kept.insert(kept.end(), c.master.begin() + static_cast<std::ptrdiff_t>(off),
                    c.master.begin() + static_cast<std::ptrdiff_t>(off + kMasterRecordSize));
        if (twins && twin + kEmasterRecordSize <= c.emaster.size())
            keptTwins.insert(
                keptTwins.end(), c.emaster.begin() + static_cast<std::ptrdiff_t>(twin),
                c.emaster.begin() + static_cast<std::ptrdiff_t>(twin + kEmasterRecordSize));
        if (!r.isSubdirEntry()) stillListed.insert(r.fileNumber());
    }
    kept.insert(kept.end(), c.master.begin() + static_cast<std::ptrdiff_t>(off), c.master.end());
    c.master = std::move(kept);
    AdjustHeader(c.master, -static_cast<int>(dropped.size()));
    if (twins) {
        c.emaster = std::move(keptTwins);
        FollowMasterHeader(c);
    }
}

// The same for XMASTER records; both count copies lowered, the next free number kept.
void DropXmasterRecords(IndexContents& c, const std::function<bool(int, const std::uint8_t*)>& drop,
                        std::vector<int>& dropped, std::set<int>& stillListed) {
    dropped.clear();
    stillListed.clear();
    const int count = XmasterCount(c.xmaster);
    std::vector<std::uint8_t> kept(c.xmaster.begin(), c.xmaster.begin() + kXmasterRecordSize);
    for (int pos = 1; pos <= count; ++pos) {
        const std::size_t off = static_cast<std::size_t>(pos) * kXmasterRecordSize;
        const std::uint8_t* r = c.xmaster.data() + off;
        const int number = DecodeXmasterRecord(r).fileNumber;
        if (drop(pos, r)) {
            dropped.push_back(number);
            continue;
        }
        kept.insert(kept.end(), r, r + kXmasterRecordSize);
        stillListed.insert(number);
    }
    c.xmaster = std::move(kept);
    AdjustXmasterCount(c.xmaster, -static_cast<int>(dropped.size()));
}

}  // namespace

std::array<std::uint8_t, kEmasterRecordSize> EmasterRecordOf(const MasterRecord& record, int number,
                                                             std::uint8_t fieldBits) {
    return MakeEmasterRecord(record, number, fieldBits);
}

std::array<std::uint8_t, kXmasterRecordSize> XmasterRecordOf(const MasterRecord& record, int number,
                                                             std::uint8_t fieldBits) {
    return MakeXmasterRecord(record, number, fieldBits);
}

std::string CheckSymbolTexts(std::string_view symbol, std::string_view name,
                             const TextLimits& limits) {
    if (symbol.empty()) return std::string(kEnterSymbolMessage);
    if (symbol.size() > limits.symbol)
        return "A symbol holds at most " + std::to_string(limits.symbol) + " characters";
    if (name.size() > limits.name)
        return "A name holds at most " + std::to_string(limits.name) + " characters";
    return {};
}

std::u32string CodePointsOfUtf8(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int more = c < 0x80             ? 0
                         : (c & 0xE0) == 0xC0 ? 1
                         : (c & 0xF0) == 0xE0 ? 2
                         : (c & 0xF8) == 0xF0 ? 3
                                              : -1;
        char32_t cp = more == 0   ? c
                      : more == 1 ? (c & 0x1Fu)
                      : more == 2 ? (c & 0x0Fu)
                                  : (c & 0x07u);
        bool whole = more >= 0 && i + static_cast<std::size_t>(more) < text.size();
        for (int k = 1; whole && k <= more; ++k) {
            const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((b & 0xC0) != 0x80) whole = false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond Unicode are no UTF-8 either.
        static constexpr char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
        if (whole && more > 0 &&
            (cp < kLeast[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            whole = false;
        if (!whole) {
            out += static_cast<char32_t>(0xDC00u + c);
            ++i;
            continue;
        }
        out += cp;
        i += static_cast<std::size_t>(more) + 1;
    }
    return out;
}

std::u32string CodePointsOfLatin1(std::string_view text) {
    std::u32string out;
    for (char c : text) out += static_cast<char32_t>(static_cast<unsigned char>(c));
    return out;
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Latin1OfCodePoints(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) out += c <= 0xFF ? static_cast<char>(c) : '?';
    return out;
}

namespace {

std::string Utf8Of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

std::string Utf8OfLatin1(std::string_view text) {
    std::string out;
    for (char c : text) out += Utf8Of(static_cast<unsigned char>(c));
    return out;
}

std::string Hex(unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return out;
}

}  // namespace

std::string TextRuleRefusal(std::u32string_view text, TextField field) {
    const std::size_t at = FirstUnfitChar(text, field);
    if (at == std::u32string_view::npos) return {};
    const char32_t c = text[at];
    const std::string_view what = field == TextField::kSymbol ? "symbol" : "name";
    if (at == 0 && c == U' ') return "A " + std::string(what) + " cannot begin with a blank";
    std::string named;
    if (c >= 0xDC80 && c <= 0xDCFF)
        named = "the byte 0x" + Hex(c - 0xDC00, 2) + " (not UTF-8 text)";
    else if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        named = "the control character U+" + Hex(c, 4);
    else
        named = "\"" + Utf8Of(c) + "\" (U+" + Hex(c, c > 0xFFFF ? 6 : 4) + ")";
    std::string message = "The " + std::string(what) + " cannot hold " + named;
    if (field == TextField::kSymbol)
        message += ": a symbol holds letters, digits and the printable ASCII characters";
    else
        message += ": a name holds printable Latin-1 characters";
    return message;
}

std::string CheckRenameTexts(std::u32string_view symbol, std::u32string_view name,
                             std::string_view oldSymbol, std::string_view oldName,
                             const TextLimits& limits, TextField* field) {
    const auto refuse = [&](TextField f, std::string message) {
        if (field) *field = f;
        return message;
    };
    if (symbol != CodePointsOfLatin1(oldSymbol))
        if (std::string m = TextRuleRefusal(symbol, TextField::kSymbol); !m.empty())
            return refuse(TextField::kSymbol, m);
    if (name != CodePointsOfLatin1(oldName))
        if (std::string m = TextRuleRefusal(name, TextField::kName); !m.empty())
            return refuse(TextField::kName, m);
    const std::string s = Latin1OfCodePoints(symbol), n = Latin1OfCodePoints(name);
    std::string m = CheckSymbolTexts(s, n, limits);
    if (!m.empty())
        return refuse(s.empty() || s.size() > limits.symbol ? TextField::kSymbol : TextField::kName,
                      m);
    return {};
}

std::string CheckRename(const SecurityId& id, std::u32string_view symbol, std::u32string_view name,
                        TextField* field) {
    MasterRecord record;
    const bool read = ReadMasterEntry(id, record) == kSuccess;
    const std::string oldSymbol = read ? DisplayText(record.symbolField()) : std::string();
    const std::string oldName = read ? SecurityName(record) : std::string();
    std::string m = CheckRenameTexts(symbol, name, oldSymbol, oldName, EntryTextLimits(id), field);
    if (!m.empty() || symbol == CodePointsOfLatin1(oldSymbol)) return m;
    // Another security of these index files that a lookup of the new symbol would find.
    const std::string key = Latin1OfCodePoints(symbol);
    const MasterFile master = ReadMasterFile(id.directory);
    for (const MasterEntry& e : master.entries) {
        if (e.record.isSubdirEntry() || (e.id.index == id.index && e.id.position == id.position))
            continue;
        if (!MasterRecordMatches(e.record, key)) continue;
        if (field) *field = TextField::kSymbol;
        const std::string other = SymbolText(e.record);
        return "Symbol " + Utf8OfLatin1(key) + " is already used by " +
               (other.empty() ? "record " + std::to_string(e.id.position) : Utf8OfLatin1(other)) +
               " (F" + std::to_string(e.record.fileNumber()) + ") in\n" + master.path.string() +
               "\nTwo securities that answer to one symbol cannot be told apart.";
    }
    return {};
}

std::string SymbolExistsMessage(std::string_view symbol, std::string_view destination) {
    std::string text(kAdditionFailed);
    text += "Symbol ";
    text += symbol;
    text += " already exists in\n";
    text += destination;
    return text;
}

// ----- delete -----

DeleteOutcome DeleteSecurity(const SecurityId& id, FileSystem& fsys, bool alone) {
    DeleteOutcome out;
    // The whole delete under the portfolio's lock: the entry read, the index files
    // rewritten and the data files removed, so no other writer comes between.
    const PortfolioLock lock(id.directory);
    if (!lock.held()) {
        out.status = kPortfolioBusy;
        return out;
    }
    FinishInterruptedIndexRewrite(id.directory, fsys);
    MasterRecord selected;
    out.status = ReadMasterEntry(id, selected);
    if (out.status != kSuccess) return out;
    const std::string text = SymbolText(selected);

    std::vector<int> dropped;
    std::set<int> stillListed;
    out.status = RewriteIndexFiles(
        MasterPathOf(id.directory),
        [&](IndexContents& c) {
            bool selectedFound = false;
            if (id.inXmaster()) {
                if (c.xmaster.empty()) return kFileNotFound;
                DropXmasterRecords(
                    c,
                    [&](int pos, const std::uint8_t* r) {
                        if (pos == id.position)
                            return selectedFound =
                                       DecodeXmasterRecord(r).fileNumber == id.fileNumber;
                        // The same symbol listed again; a record without a symbol text is
                        // never taken for another.
                        return !alone && !text.empty() &&
                               SymbolText(MasterFormOfXmaster(r)) == text;
                    },
                    dropped, stillListed);
            } else {
                DropMasterRecords(
                    c,
                    [&](int pos, const MasterRecord& r) {
                        if (pos == id.position)
                            return selectedFound = r.fileNumber() == id.fileNumber;
                        return !alone && !text.empty() && SymbolText(r) == text;
                    },
                    dropped, stillListed);
            }
            return selectedFound ? kSuccess : kFileNotFound;
        },
        fsys, kMasterTempSuffix);
    if (out.status != kSuccess) return out;

    out.dropped = static_cast<int>(dropped.size());
    out.fileNumbers = dropped;
    std::set<int> done;
    for (int n : dropped) {
        if (stillListed.count(n) || !done.insert(n).second) continue;
        RemoveDataFiles(id.directory, n, DataExtensionOf(id), fsys, out.removed, out.notRemoved);
    }
    return out;
}

// ----- move and copy -----

namespace {

// Whether the destination reads the copied quote file as the source reads its own: the same
// record shape and columns.
bool ReadsTheSame(const SeriesFiles& source, const SecurityId& id, const MasterRecord& record) {
    SeriesFiles there;
    if (OpenSeriesFiles(id, record, there) != kSuccess) return false;
    return there.recordLength == source.recordLength && there.fieldCount == source.fieldCount &&
           there.columns.column == source.columns.column;
}

// Takes the entry out of the source's index file that lists it, when it still stands there
// as it was read.
DataStatus DropFromSource(const SecurityId& source, const SourceEntry& entry, FileSystem& fsys) {
    return RewriteIndexFiles(
        MasterPathOf(source.directory),
        [&](IndexContents& c) {
            if (source.inXmaster()) {
                const std::size_t off =
                    kXmasterRecordSize * static_cast<std::size_t>(source.position);
                if (c.xmaster.empty() || !entry.xmaster ||
                    off + kXmasterRecordSize > c.xmaster.size() ||
                    std::memcmp(c.xmaster.data() + off, entry.xmaster->data(),
                                kXmasterRecordSize) != 0)
                    return kFileNotFound;
                EraseRecord(c.xmaster, off, kXmasterRecordSize);
                AdjustXmasterCount(c.xmaster, -1);
                return kSuccess;
            }
            const std::size_t off = kMasterRecordSize * static_cast<std::size_t>(source.position);
            if (off + kMasterRecordSize > c.master.size() ||
                source.position > MasterCount(c.master.data()) ||
                std::memcmp(c.master.data() + off, entry.record.bytes.data(), kMasterRecordSize) !=
                    0)
                return kFileNotFound;
            EraseRecord(c.master, off, kMasterRecordSize);
            AdjustHeader(c.master, -1);
            if (!c.emaster.empty()) {
                const std::size_t twin =
                    kEmasterRecordSize * static_cast<std::size_t>(source.position);
                if (twin + kEmasterRecordSize > c.emaster.size()) return kFileNotFound;
                EraseRecord(c.emaster, twin, kEmasterRecordSize);
                FollowMasterHeader(c);
            }
            return kSuccess;
        },
        fsys, kMasterTempSuffix);
}

// Whether two directories lie on one file system (so that what is written in one takes
// room from the other).
bool OnOneDisk(const std::string& a, const std::string& b) {
#ifdef _WIN32
    std::error_code ec;
    const fs::path x = fs::absolute(a.empty() ? fs::path(".") : fs::path(a), ec);
    const fs::path y = fs::absolute(b.empty() ? fs::path(".") : fs::path(b), ec);
    return ToUpperAscii(x.root_name().string()) == ToUpperAscii(y.root_name().string());
#else
    struct stat x {
    }, y{};
    if (::stat(a.empty() ? "." : a.c_str(), &x) != 0 ||
        ::stat(b.empty() ? "." : b.c_str(), &y) != 0)
        return true;
    return x.st_dev == y.st_dev;
#endif
}

// "<file> is read-only" and the like, for a refusal decided before anything is written.
std::string CannotChange(const fs::path& file, DataStatus status) {
    switch (status) {
        case kReadOnly:
            return file.string() + " is read-only";
        case kNoSpace:
            return "the disk of " + file.string() + " has too little free space";
        case kFileWrite:
            return file.string() + " cannot be written";
        default:
            return file.string() + ": " + std::string(DataStatusName(status));
    }
}

}  // namespace

TransferOutcome TransferSecurity(const SecurityId& source, const std::string& destination,
                                 bool move, const TransferQuestions& questions, FileSystem& fsys) {
    TransferOutcome out;
    const auto fail = [&](TransferEnd end, std::string message, const fs::path& file = {},
                          DataStatus status = kFileWrite) {
        out.end = end;
        out.message = std::move(message);
        out.failedFile = file;
        out.status = status;
        return out;
    };

    // Both portfolios stay locked from the first read to the last removal.
    const PortfolioLock lock(source.directory, destination);
    if (!lock.held())
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + std::string(kPortfolioBusyMessage) +
                        "; nothing was changed",
                    {}, kPortfolioBusy);
    FinishInterruptedIndexRewrite(source.directory, fsys);
    FinishInterruptedIndexRewrite(destination, fsys);

    SourceEntry entry;
    const DataStatus found = ReadSourceEntry(source, entry);
    const MasterRecord& record = entry.record;
    if (found == kFileNotFound) return fail(TransferEnd::kNotFound, {}, {}, found);
    const fs::path sourceMaster = MasterPathOf(source.directory);
    if (found != kSuccess)
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + sourceMaster.string() + " cannot be read",
                    sourceMaster, found);

    // Every refusal first.
    const std::string symbol = ToUpperAscii(KeyOf(record));
    if (!symbol.empty()) {
        MasterRecord existing;
        std::string where;
        if (FindSymbol(destination, symbol, existing, where) == kSuccess)
            return fail(TransferEnd::kRefused, SymbolExistsMessage(symbol, destination));
    }
    const MasterFile dest = ReadMasterFile(destination);
    if (dest.status != kSuccess)
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + dest.path.string() + " cannot be read",
                    dest.path, dest.status);
    const int count = dest.headerCount;
    const int counter = HeaderCounter(dest.header.data());
    if (dest.countMismatch() || count < 0) {
        return fail(TransferEnd::kRefused, std::string(kAdditionFailed) + dest.path.string() +
                                               " holds " + std::to_string(dest.recordsInFile) +
                                               " records, its header says " +
                                               std::to_string(count));
    }
    // MASTER while it has room; then XMASTER, when the destination keeps a sound one.
    const bool masterFull = count >= kMaxFileNumber || counter >= kMaxFileNumber;
    const bool intoXmaster = masterFull && dest.xmaster == ExtIndexState::kSound;
    const bool withEmaster = !intoXmaster && dest.emaster == ExtIndexState::kSound;
    if (masterFull && !intoXmaster)
        return fail(TransferEnd::kRefused, std::string(kMaxSymbolsMessage));
    int number = 1;
    int xmasterCount = 0;
    if (intoXmaster) {
        const ExtIndexFile x = ReadXmasterFile(destination);
        if (!x.sound())
            return fail(TransferEnd::kFailed,
                        std::string(kAdditionFailed) + x.path.string() + " cannot be read", x.path,
                        kFileRead);
        xmasterCount = x.count;
        number = XmasterNextNumber(x.bytes.data());
        if (number < kMaxFileNumber + 1 || number > 0xFFFF)
            return fail(TransferEnd::kRefused, std::string(kMaxSymbolsMessage));
    } else {
        std::set<int> used{0};
        for (int i = 0; i < dest.masterEntries; ++i)
            used.insert(dest.entries[static_cast<std::size_t>(i)].record.fileNumber());
        while (number <= kMaxFileNumber && used.count(number)) ++number;
        if (number > kMaxFileNumber)
            return fail(TransferEnd::kRefused, std::string(kMaxSymbolsMessage));
    }
    const SecurityId placed{intoXmaster ? IndexFile::kXMaster : IndexFile::kMaster,
                            WithTrailingSeparator(destination),
                            intoXmaster ? xmasterCount + 1 : count + 1, number};

    // The destination holds the symbol and name whole, or the transfer is refused: a
    // shortened text would be a silent change of the security.
    const std::string wholeSymbol = WholeSymbol(record);
    const std::string wholeName = WholeName(record);
    const TextLimits limits = TextLimitsFor(intoXmaster || withEmaster);
    if (wholeSymbol.size() > limits.symbol)
        return fail(TransferEnd::kRefused,
                    std::string(kAdditionFailed) + "The symbol " + wholeSymbol + " has " +
                        std::to_string(wholeSymbol.size()) + " characters;\n" + destination +
                        "\nholds symbols of up to " + std::to_string(limits.symbol) + ".");
    if (wholeName.size() > limits.name)
        return fail(TransferEnd::kRefused,
                    std::string(kAdditionFailed) + "The name " + wholeName + " has " +
                        std::to_string(wholeName.size()) + " characters;\n" + destination +
                        "\nkeeps names of up to " + std::to_string(limits.name) +
                        ". Shorten the name first.");

    // Between MASTER and XMASTER the layout is told by other means (record length and DOP,
    // or field bits): the quote file's layout must be known to carry it over.
    const bool changesIndex = source.inXmaster() != intoXmaster;
    SeriesFiles sourceFiles;
    const bool layoutKnown = OpenSeriesFiles(source, record, sourceFiles) == kSuccess;
    if (changesIndex && !layoutKnown)
        return fail(TransferEnd::kRefused, std::string(kAdditionFailed) +
                                               "the layout of the quote file of " + symbol +
                                               " cannot be told, so it cannot be listed in " +
                                               (intoXmaster ? "XMASTER" : "MASTER"));
    const std::uint8_t fieldBits = source.inXmaster() ? record.fieldBits
                                   : layoutKnown      ? FieldBitsOf(sourceFiles.columns)
                                                      : std::uint8_t{0};

    const int old = record.fileNumber();
    const fs::path sourceData = SeriesFilePath(source.directory, old, DataExtensionOf(source));
    const fs::path sourceDop = SeriesFilePath(source.directory, old, "DOP");
    // The data files are copied block by block, never held whole; here only whether they
    // can be read.
    std::int64_t dataSize = 0;
    {
        InputFile dat(sourceData);
        dataSize = dat.isOpen() ? dat.size() : -1;
        if (dataSize < 0)
            return fail(TransferEnd::kFailed,
                        std::string(kAdditionFailed) + sourceData.string() +
                            (dat.notRegular() ? " is not a regular file" : " cannot be read"),
                        sourceData, kFileRead);
    }
    const bool dop = Exists(sourceDop);
    if (dop && !InputFile(sourceDop).isOpen())
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + sourceDop.string() + " cannot be read",
                    sourceDop, kFileRead);

    // What the destination gains on its disk: the data files.
    std::error_code sizeError;
    const std::uintmax_t dopSize = dop ? fs::file_size(sourceDop, sizeError) : 0;
    const auto copied = static_cast<std::uintmax_t>(dataSize) + (sizeError ? 0 : dopSize);

    // A move changes the source too: it must be able to drop the security (its index files
    // writable, their disk with room for the rewrite, after the copies where both
    // portfolios share a disk; the data file not made read-only) before the first byte goes
    // to the destination.
    if (move) {
        fs::path atFault;
        const std::uintmax_t before = OnOneDisk(source.directory, destination) ? copied : 0;
        DataStatus s =
            CheckIndexRewrite(source.directory, source.inXmaster(), before, fsys, &atFault);
        if (s == kSuccess && CheckNotReadOnly(sourceData) != kSuccess) {
            s = kReadOnly;
            atFault = sourceData;
        }
        if (s != kSuccess)
            return fail(TransferEnd::kRefused,
                        "The symbol " + symbol + " was not moved: " + CannotChange(atFault, s) +
                            ".\nNothing was changed in either portfolio.",
                        atFault, s);
    }
    // The destination takes the data files and its index rewrite, or nothing is written.
    {
        fs::path atFault;
        const DataStatus s = CheckIndexRewrite(destination, intoXmaster, copied, fsys, &atFault);
        if (s != kSuccess)
            return fail(
                TransferEnd::kRefused,
                std::string(kAdditionFailed) + CannotChange(atFault, s) + "; nothing was changed",
                atFault, s);
    }

    // The records the destination gains.
    MasterRecord added;  // MASTER form: the MASTER record, or the XMASTER record's form
    XmasterBytes xadded{};
    EmasterBytes eadded{};
    if (intoXmaster) {
        if (entry.xmaster) {
            xadded = *entry.xmaster;
            PutI16(xadded.data() + kXmasterFileNumberOffset,
                   static_cast<std::int16_t>(static_cast<std::uint16_t>(number)));
        } else {
            xadded = MakeXmasterRecord(record, number, fieldBits);
        }
        added = MasterFormOfXmaster(xadded.data());
    } else {
        added.bytes = record.bytes;
        added.bytes[kMasterFileNumberOffset] = static_cast<std::uint8_t>(number);
        if (withEmaster) {
            if (entry.emaster) {
                eadded = *entry.emaster;
                eadded[kEmasterFileNumberOffset] = static_cast<std::uint8_t>(number);
            } else {
                eadded = MakeEmasterRecord(record, number, fieldBits);
            }
        }
    }

    // Files under the new number that the destination does not list: an earlier security's
    // leftovers. A stray layout file would be read as this security's layout, so it goes too.
    const fs::path destData = SeriesFilePath(destination, number, DataExtensionOf(placed));
    const fs::path destDop = SeriesFilePath(destination, number, "DOP");
    std::vector<fs::path> strays;
    for (const fs::path& p : {destData, destDop})
        if (Exists(p)) strays.push_back(p);
    if (!strays.empty() && (!questions.replaceStrayFiles || !questions.replaceStrayFiles(strays)))
        return fail(TransferEnd::kDeclined, {}, {}, kFileExists);

    // 1. The data files reach the destination, complete and synced.
    const auto undoData = [&] {
        fsys.remove(destData);
        if (dop) fsys.remove(destDop);
    };
    // The copies keep the source files' permissions.
    if (CopyFileChecked(fsys, sourceData, destData) != kSuccess)
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + destData.string() + " cannot be written",
                    destData);
    if (dop ? CopyFileChecked(fsys, sourceDop, destDop) != kSuccess
            : Exists(destDop) && !fsys.remove(destDop)) {
        fsys.remove(destData);
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + destDop.string() + " cannot be written",
                    destDop);
    }
    if (changesIndex && !ReadsTheSame(sourceFiles, placed, added)) {
        undoData();
        return fail(TransferEnd::kRefused,
                    std::string(kAdditionFailed) + "the fields of the quote file of " + symbol +
                        " cannot be described in " + (intoXmaster ? "XMASTER" : "MASTER") +
                        " as they are read now; nothing was changed");
    }

    // 2. The destination lists it.
    const DataStatus listed = RewriteIndexFiles(
        dest.path,
        [&](IndexContents& c) {
            // The index files as checked above, or nothing is written.
            if (MasterCount(c.master.data()) != count ||
                HeaderCounter(c.master.data()) != counter ||
                c.master.size() < kMasterRecordSize * static_cast<std::size_t>(count + 1))
                return kFileExists;
            if (intoXmaster) {
                if (c.xmaster.empty() || XmasterCount(c.xmaster) != xmasterCount ||
                    XmasterNextNumber(c.xmaster.data()) != number)
                    return kFileExists;
                c.xmaster.insert(c.xmaster.end(), xadded.begin(), xadded.end());
                AdjustXmasterCount(c.xmaster, +1);
                PutI32(c.xmaster.data() + kXmasterNextNumberOffset, number + 1);
                return kSuccess;
            }
            if (c.emaster.empty() == withEmaster) return kFileExists;
            const std::size_t at = kMasterRecordSize * static_cast<std::size_t>(count + 1);
            for (std::size_t off = kMasterRecordSize; off + kMasterRecordSize <= at;
                 off += kMasterRecordSize)
                if (c.master[off] == number) return kFileExists;
            c.master.insert(c.master.begin() + static_cast<std::ptrdiff_t>(at), added.bytes.begin(),
                            added.bytes.end());
            AdjustHeader(c.master, +1);
            if (withEmaster) {
                c.emaster.insert(c.emaster.end(), eadded.begin(), eadded.end());
                FollowMasterHeader(c);
            }
            return kSuccess;
        },
        fsys, kMasterTempSuffix);
    if (listed != kSuccess) {
        undoData();
        return fail(TransferEnd::kFailed,
                    std::string(kAdditionFailed) + dest.path.string() +
                        " could not be written; nothing was changed",
                    dest.path, listed);
    }
    out.newFileNumber = number;
    if (!move) return out;

    // 3. The source no longer lists it.
    const DataStatus dropped = DropFromSource(source, entry, fsys);
    if (dropped != kSuccess) {
        out.end = TransferEnd::kIncomplete;
        out.failedFile = sourceMaster;
        out.status = dropped;
        out.message = "The symbol " + symbol + " was copied to\n" + destination +
                      "\nbut could not be taken out of\n" + sourceMaster.string() +
                      "\nIt is now in both portfolios.";
        return out;
    }

    // 4. Last, the source's files, unless another record still names them.
    if (!FileNumberListed(source.directory, source.index, old)) {
        std::vector<fs::path> removed, notRemoved;
        RemoveDataFiles(source.directory, old, DataExtensionOf(source), fsys, removed, notRemoved);
    }
    return out;
}

}  // namespace barwise
