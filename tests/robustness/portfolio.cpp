#include "robustness/portfolio.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <system_error>
#include <tuple>

#include "commands/quotes/quoteedits.h"
#include "commands/symbols/symbolops.h"
#include "datafiles/ascii.h"
#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "demo/demodb.h"
#include "discovery/symbollist.h"
#include "testsupport/testdb.h"

namespace barwise::robustness {

namespace {

using Values = std::array<float, 6>;
constexpr Values kOnes = {1, 1, 1, 1, 1, 1};
constexpr Values kHalve = {0.5f, 0.5f, 0.5f, 0.5f, 2.0f, 1.0f};

EditRequest Request(EditOp op, DateCode from, DateCode to, Values values = kOnes) {
    return testing::MakeEdit(op, from, to, values);
}

// A RewriteSeries of the security `key`; `writes` as RewriteCase has them.
RewriteCase SeriesCase(std::string name, DirectoryContent before, std::string key,
                       EditRequest request, std::vector<std::string> writes) {
    const Rewrite run = [key, request](const fs::path& dir, FileSystem& fsys) {
        return RewriteSeries(request, dir.string(), key, fsys);
    };
    return RewriteCase{std::move(name), std::move(before), run, std::move(writes)};
}

// The files of a real database holding `mustHave`; empty when it is not there.
DirectoryContent RealFiles(const fs::path& realDb, const char* name, const char* mustHave) {
    std::error_code ec;
    if (realDb.empty() || !fs::exists(realDb / name / mustHave, ec)) return {};
    return ReadDirectory(realDb / name);
}

// The date of a series' first (from 0) or last (from -1) quote; 0 when it does not read.
DateCode EndDate(const fs::path& dir, const std::string& key, int from) {
    QuoteSeries s;
    const bool read =
        AllocSeries(s, 1) == kSuccess && ReadSeries(s, dir.string(), key, from, 1) == kSuccess;
    return read && s.count == 1 ? s.date(0) : 0;
}

// `quotes` weekday quotes from QuoteDate(0) on, of record length 24 or 28 (DATE OPEN HIGH
// LOW CLOSE VOL OI; 24: DATE HIGH LOW CLOSE VOL and a spare field).
Bytes DatFile(int quotes, int recordLength, float base) {
    std::vector<std::vector<float>> rows;
    for (int i = 0; i < quotes; ++i) {
        const float close = base + static_cast<float>(i % 50) * 0.25f;
        const float volume = 1000.0f + static_cast<float>(i);
        const float date = DateToReal(QuoteDate(i));
        if (recordLength == 28) {
            rows.push_back({date, close - 0.5f, close + 1.0f, close - 1.0f, close, volume, 50});
        } else {
            rows.push_back({date, close + 1.0f, close - 1.0f, close, volume, 0});
        }
    }
    return testing::DatBytes(recordLength, rows);
}

DirectoryContent Prefixed(const DirectoryContent& content, const std::string& prefix) {
    DirectoryContent out;
    for (const auto& [name, bytes] : content) out[prefix + name] = bytes;
    return out;
}

SecurityId Lookup(const fs::path& dir, const std::string& symbol) {
    MasterRecord record;
    SecurityId id;
    return FindSymbol(dir.string(), symbol, record, id) == kSuccess ? id : SecurityId{};
}

// A move of `symbol` from the portfolio "src" into "dst", reported as the other rewrites
// report their status.
Rewrite MoveSecurity(const std::string& symbol) {
    return [symbol](const fs::path& dir, FileSystem& fsys) {
        const SecurityId id = Lookup(dir / "src", symbol);
        if (!id.valid()) return kFileNotFound;
        const TransferOutcome out = TransferSecurity(id, (dir / "dst").string(), true, {}, fsys);
        if (out.end == TransferEnd::kDone) return kSuccess;
        return out.status != kSuccess ? out.status : kFileWrite;
    };
}

}  // namespace

void WriteDirectory(const fs::path& dir, const DirectoryContent& content) {
    for (const auto& [name, bytes] : content) testing::WriteBytes(dir / name, bytes);
}

void EmptyDirectory(const fs::path& dir) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

DateCode QuoteDate(int i) {
    // Monday 2 January 2006, then every weekday.
    const int monday = MakeDate(2006, 1, 2);
    return static_cast<DateCode>(monday + (i / 5) * 7 + i % 5);
}

DirectoryContent MakePortfolio(int quotes) {
    using testing::Entry;
    const float first = DateToReal(QuoteDate(0)), last = DateToReal(QuoteDate(quotes - 1));
    DirectoryContent p;
    p["MASTER"] =
        testing::MasterBytes({Entry(1, "AAA", "AAA INDUSTRIES", 28, 7, first, last),
                              Entry(2, "BBB", "BBB HOLDINGS", 24, 6, first, last),
                              // Deleting F3's only quote sets both dates to that quote's
                              // date; the last date already holds it, so only the first
                              // date changes and a kill between the two MASTER updates
                              // leaves the old or the new file.
                              Entry(3, "", "THIRD CORP", 28, 7, DateToReal(QuoteDate(3)), first)});
    for (std::size_t i = 4; i < kMasterRecordSize; ++i)
        p["MASTER"][i] = static_cast<std::uint8_t>(i);
    p["F1.DAT"] = DatFile(quotes, 28, 20.0f);
    p["F2.DAT"] = DatFile(quotes, 24, 75.0f);
    const std::string dop =
        "\"DATE\",0,0\r\n\"HIGH\",2,2\r\n\"LOW\",2,2\r\n\"CLOSE\",2,2\r\n\"VOL\",1000,1000\r\n";
    p["F2.DOP"] = Bytes(dop.begin(), dop.end());
    p["f3.dat"] = DatFile(1, 28, 5.0f);
    return p;
}

std::vector<RewriteCase> RewriteCases(int quotes, const fs::path& realDb) {
    const DirectoryContent made = MakePortfolio(quotes);
    const DateCode end = QuoteDate(quotes - 1), middle = QuoteDate(quotes / 2);
    const std::vector<std::string> one = {"F1.DAT"}, dated = {"F1.DAT", "MASTER"};
    const std::vector<std::string> two = {"F2.DAT"}, twoDated = {"F2.DAT", "MASTER"};
    std::vector<RewriteCase> cases = {
        SeriesCase("set", made, "AAA",
                   Request(EditOp::kSet, QuoteDate(7), QuoteDate(7), {1, 2, 3, 4, 5, 6}), one),
        SeriesCase("scale", made, "aaa", Request(EditOp::kScale, kFirstDay, kLastDay, kHalve), one),
        SeriesCase("scale_dop", made, "BBB",
                   Request(EditOp::kScale, QuoteDate(3), end, {2, 2, 2, 2, 0.5f, 1}), two),
        SeriesCase("delete_first", made, "AAA",
                   Request(EditOp::kDelete, QuoteDate(0), QuoteDate(0)), dated),
        SeriesCase("delete_middle", made, "AAA", Request(EditOp::kDelete, middle, middle), one),
        SeriesCase("delete_last", made, "BBB", Request(EditOp::kDelete, end, end), twoDated),
        SeriesCase("delete_only", made, "THIRD CORP",
                   Request(EditOp::kDelete, QuoteDate(0), QuoteDate(0)), {"f3.dat", "MASTER"}),
        // Quote 0 is a Monday: its copy is dated the Friday before, ahead of every quote.
        SeriesCase("insert", made, "AAA", Request(EditOp::kInsert, QuoteDate(0), QuoteDate(0)),
                   one),
    };

    // The rewrites of MASTER alone.
    const std::pair<const char*, Rewrite> masterOnly[] = {
        {"master_date",
         [](const fs::path& dir, FileSystem& fsys) {
             return SetMasterDate(dir / "MASTER", DateToMbfReal(QuoteDate(2)), 1, 0, fsys);
         }},
        {"master_rename",
         [](const fs::path& dir, FileSystem& fsys) {
             return RenameMasterEntry(dir / "MASTER", 2, "BBB.NEW", "BBB RENAMED INC", fsys);
         }},
        {"master_repair",
         [](const fs::path& dir, FileSystem& fsys) {
             return RepairMasterSymbols(dir / "MASTER", fsys);
         }},
    };
    for (const auto& [name, run] : masterOnly)
        cases.push_back(RewriteCase{name, made, run, {"MASTER"}});

    // A real database: 24-byte records with a DOP, the ticker in the name field.
    if (const DirectoryContent dop = RealFiles(realDb, "mininge-dop", "MASTER"); !dop.empty()) {
        const MasterFile master = ReadMasterFile((realDb / "mininge-dop").string());
        const std::string key = TrimPadding(master.entries.at(0).record.nameField());
        const std::string dat = "F" + std::to_string(master.entries.at(0).id.fileNumber) + ".DAT";
        const DateCode first = EndDate(realDb / "mininge-dop", key, 0);
        cases.push_back(SeriesCase("real_scale", dop, key,
                                   Request(EditOp::kScale, kFirstDay, kLastDay, kHalve), {dat}));
        cases.push_back(SeriesCase("real_delete_first", dop, key,
                                   Request(EditOp::kDelete, first, first), {dat, "MASTER"}));
    }
    // A real intraday series (two quotes of one day, a TIME column): the edit, delete and
    // add of one quote named by its date and time.
    if (const DirectoryContent intraday = RealFiles(realDb, "stooq-intraday", "MASTER");
        !intraday.empty()) {
        const DateCode day = MakeDate(2013, 11, 15);
        EditRequest r = Request(EditOp::kSet, day, day, {1, 2, 3, 4, 5, 6});
        r.time = MakeTime(9, 15, 0);
        cases.push_back(SeriesCase("real_intraday_set", intraday, "2HR.DE", r, one));
        r.op = EditOp::kDelete;
        cases.push_back(SeriesCase("real_intraday_delete", intraday, "2HR.DE", r, dated));
        r.op = EditOp::kInsert;
        cases.push_back(SeriesCase("real_intraday_insert", intraday, "2HR.DE", r, one));
    }
    // A database with EMASTER and XMASTER: the date upkeep of a Delete and a rename reach
    // EMASTER beside MASTER, or XMASTER; the index files are one step.
    const DirectoryContent mini = RealFiles(realDb, "equis-xmaster-mini", "XMASTER");
    if (mini.empty()) return cases;
    for (const auto& [name, key, dat, index] :
         {std::tuple{"emaster_delete_last", ".FCHI", "F2.DAT", "MASTER"},
          std::tuple{"xmaster_delete_last", "AZM.L", "F256.MWD", "XMASTER"}}) {
        const DateCode last = EndDate(realDb / "equis-xmaster-mini", key, -1);
        cases.push_back(
            SeriesCase(name, mini, key, Request(EditOp::kDelete, last, last), {dat, index}));
    }
    for (const SecurityId& id :
         {SecurityId{IndexFile::kMaster, "", 2, 2}, SecurityId{IndexFile::kXMaster, "", 1, 256}}) {
        const Rewrite run = [id](const fs::path& dir, FileSystem& fsys) {
            SecurityId at = id;
            at.directory = dir.string() + "/";
            return RenameMasterEntry(at, "RENAMED", "A NAME LONGER THAN MASTER HOLDS", fsys);
        };
        const std::string index = id.inXmaster() ? "XMASTER" : "MASTER";
        cases.push_back(
            RewriteCase{id.inXmaster() ? "xmaster_rename" : "emaster_rename", mini, run, {index}});
    }
    return cases;
}

DirectoryContent ReadTree(const fs::path& dir) {
    DirectoryContent content;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        auto bytes = ReadWholeFile(it->path());
        content[it->path().lexically_relative(dir).generic_string()] =
            bytes ? std::move(*bytes) : Bytes{};
    }
    return content;
}

void WriteTree(const fs::path& dir, const DirectoryContent& content) {
    for (const auto& [name, bytes] : content) {
        const fs::path file = dir / fs::path(name);
        fs::create_directories(file.parent_path());
        testing::WriteBytes(file, bytes);
    }
}

std::vector<IndexRewriteCase> IndexRewriteCases(const fs::path& realDb) {
    // A move between two portfolios of MASTER alone.
    IndexRewriteCase plain{"master_move",  Prefixed(MakePortfolio(kTestQuotes), "src/"),
                           {"src", "dst"}, "AAA",
                           false,          MoveSecurity("AAA")};
    const float day = DateToReal(QuoteDate(0));
    plain.before["dst/MASTER"] =
        testing::MasterBytes({testing::Entry(1, "ZZZ", "ZED", 28, 7, day, day)});
    plain.before["dst/F1.DAT"] = testing::DatBytes(28, {{day, 1, 2, 0.5f, 1.5f, 100, 0}});
    std::vector<IndexRewriteCase> cases = {plain};

    const DirectoryContent mini = RealFiles(realDb, "equis-xmaster-mini", "XMASTER");
    if (mini.empty()) return cases;
    for (const auto& [name, symbol] :
         {std::pair{"xmaster_delete", "AZM.L"}, std::pair{"emaster_delete", ".FCHI"}}) {
        const Rewrite run = [symbol = std::string(symbol)](const fs::path& dir, FileSystem& fsys) {
            const SecurityId id = Lookup(dir, symbol);
            return id.valid() ? DeleteSecurity(id, fsys).status : kFileNotFound;
        };
        cases.push_back(IndexRewriteCase{name, mini, {""}, symbol, true, run});
    }

    // The destination as the common software writes one with a full MASTER: 255 securities
    // in MASTER and EMASTER, one in XMASTER, few quotes each to keep the runs short.
    ScratchDir full("barwise-full");
    if (WriteExtendedPortfolio(full.path(), 256, 3).status != kSuccess) return cases;
    DirectoryContent both = Prefixed(mini, "src/");
    both.merge(Prefixed(ReadDirectory(full.path()), "dst/"));
    cases.push_back(IndexRewriteCase{
        "xmaster_move", both, {"src", "dst"}, ".FCHI", false, MoveSecurity(".FCHI")});
    return cases;
}

std::string PortfolioProblem(const fs::path& dir) {
    const MasterFile m = ReadMasterFile(dir.string());
    if (m.status != kSuccess) return dir.string() + ": MASTER cannot be read";
    if (m.countMismatch()) return dir.string() + ": MASTER's header disagrees with its records";
    std::set<std::pair<bool, int>> numbers;
    std::set<std::string> symbols;
    for (const barwise::MasterEntry& e : m.entries) {
        if (e.record.isSubdirEntry()) continue;
        const std::string symbol = DisplayText(e.record.symbolField());
        if (!numbers.insert({e.id.inXmaster(), e.record.fileNumber()}).second ||
            !symbols.insert(symbol).second)
            return dir.string() + ": " + symbol + " or its file number is listed twice";
        SeriesQuotes q;
        if (ReadSeriesQuotes(e.id, q) != kSuccess)
            return dir.string() + ": " + symbol + " is listed but its quotes cannot be read";
    }
    return {};
}

std::string IndexRewriteProblem(const IndexRewriteCase& c, const fs::path& dir,
                                const DirectoryContent& after) {
    const DirectoryContent now = ReadTree(dir);
    for (const auto& [key, was] : c.before) {
        const std::string name = ToUpperAscii(fs::path(key).filename().string());
        if (name != kMasterFileName && name != kEmasterFileName && name != kXmasterFileName)
            continue;
        const auto is = now.find(key), becomes = after.find(key);
        if (is == now.end()) return key + " is missing";
        if (is->second != was && (becomes == after.end() || is->second != becomes->second))
            return key + " is neither as it was nor as the rewrite makes it";
    }
    bool listed = false;
    for (const std::string& p : c.portfolios) {
        const fs::path portfolio = p.empty() ? dir : dir / p;
        if (std::string problem = PortfolioProblem(portfolio); !problem.empty()) return problem;
        listed = listed || Lookup(portfolio, c.symbol).valid();
    }
    if (!listed && !c.removes) return c.symbol + " is listed nowhere";
    return {};
}

namespace {
bool IsTemporary(const std::string& name) {
    const std::string upper = ToUpperAscii(name);
    return upper.ends_with(".NEW") || upper.ends_with(".~NU");
}
}  // namespace

std::vector<std::string> TemporaryFiles(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : ReadDirectory(dir))
        if (IsTemporary(name)) names.push_back(name);
    return names;
}

DirectoryContent Compared(const DirectoryContent& content) {
    DirectoryContent out;
    for (const auto& [name, bytes] : content) {
        const std::string upper = ToUpperAscii(name);
        // The writer lock's file holds nothing and is made by the first writer.
        if (!upper.ends_with(".BAK") && !IsTemporary(name) && !upper.ends_with("BARWISE.LCK"))
            out[name] = bytes;
    }
    return out;
}

PortfolioRun::PortfolioRun(fs::path dir, DirectoryContent start, Rewrite rewrite)
    : dir_(std::move(dir)),
      start_(std::move(start)),
      before_(Compared(start_)),
      rewrite_(std::move(rewrite)) {}

void PortfolioRun::reset(const DirectoryContent& extra) const {
    EmptyDirectory(dir_);
    WriteTree(dir_, start_);
    WriteTree(dir_, extra);
}

DataStatus PortfolioRun::finish(FileSystem& fs) {
    reset();
    const DataStatus status = run(fs);
    after_ = now();
    return status;
}

std::vector<std::string> PortfolioRun::temporaries() const {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : ReadTree(dir_))
        if (IsTemporary(fs::path(name).filename().string())) names.push_back(name);
    return names;
}

std::string PortfolioRun::rerunProblem() const {
    if (const DataStatus status = run(RealFileSystem()); status != kSuccess)
        return "the rewrite run again failed: " + std::string(DataStatusName(status));
    if (now() != after_) return "the rewrite run again gave other files";
    const std::vector<std::string> left = temporaries();
    return left.empty() ? std::string() : "the rewrite run again left " + left.front();
}

std::string OldOrNewInOrder(const RewriteCase& c, const PortfolioRun& r) {
    const DirectoryContent now = r.now();
    if (now.size() != r.before().size()) return "files missing or added";
    for (const auto& [name, bytes] : now) {
        const auto old = r.before().find(name), made = r.after().find(name);
        if (old == r.before().end() || made == r.after().end()) return name + " appeared";
        if (bytes != old->second && bytes != made->second)
            return name + " is neither the old nor the new file (" + std::to_string(bytes.size()) +
                   " bytes)";
    }
    // The written files in order: each as it was only once the one before it is as well.
    for (std::size_t i = 1; i < c.writes.size(); ++i) {
        if (now.at(c.writes[i]) == r.after().at(c.writes[i]) &&
            now.at(c.writes[i - 1]) != r.after().at(c.writes[i - 1]))
            return c.writes[i] + " was updated before " + c.writes[i - 1];
    }
    return {};
}

}  // namespace barwise::robustness
