#include "robustness/portfolio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <tuple>

#include "datafiles/ascii.h"
#include "datafiles/encoding.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "commands/symbols/symbolops.h"
#include "demo/demodb.h"
#include "testsupport/testdb.h"
#include "discovery/symbollist.h"

namespace barwise::robustness {

namespace {

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

RewriteCase SeriesCase(std::string name, DirectoryContent before, std::string key, EditRequest request,
                       bool updatesMaster, std::string datName) {
    RewriteCase c;
    c.name = std::move(name);
    c.before = std::move(before);
    c.writes = {std::move(datName)};
    if (updatesMaster) c.writes.push_back("MASTER");
    c.run = [key, request](const fs::path& dir, FileSystem& fsys) {
        return RewriteSeries(request, dir.string(), key, fsys);
    };
    return c;
}

EditRequest Request(EditOp op, DateCode from, DateCode to,
                    std::array<float, 6> values = {1, 1, 1, 1, 1, 1}) {
    EditRequest r;
    r.op = op;
    r.from = from;
    r.to = to;
    r.values = values;
    return r;
}

}  // namespace

void WriteDirectory(const fs::path& dir, const DirectoryContent& content) {
    for (const auto& [name, bytes] : content) {
        std::FILE* f = std::fopen((dir / name).string().c_str(), "wb");
        if (f == nullptr) throw std::runtime_error("cannot write " + (dir / name).string());
        const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        std::fclose(f);
        if (!ok) throw std::runtime_error("cannot write " + (dir / name).string());
    }
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

namespace {

// `quotes` weekday quotes from QuoteDate(0) on, of record length 24 or 28 (DATE OPEN HIGH
// LOW CLOSE VOL OI; 24: DATE HIGH LOW CLOSE VOL and a spare field).
Bytes DatFile(int quotes, int recordLength, float base) {
    std::vector<std::vector<float>> rows;
    for (int i = 0; i < quotes; ++i) {
        const float close = base + static_cast<float>(i % 50) * 0.25f, volume = 1000.0f + static_cast<float>(i);
        const float date = DateToReal(QuoteDate(i));
        rows.push_back(recordLength == 28 ? std::vector<float>{date, close - 0.5f, close + 1.0f, close - 1.0f, close, volume, 50}
                                          : std::vector<float>{date, close + 1.0f, close - 1.0f, close, volume, 0});
    }
    return testing::DatBytes(recordLength, rows);
}

}  // namespace

DirectoryContent MakePortfolio(int quotes) {
    using testing::Entry;
    const float first = DateToReal(QuoteDate(0)), last = DateToReal(QuoteDate(quotes - 1));
    DirectoryContent p;
    p["MASTER"] = testing::MasterBytes({Entry(1, "AAA", "AAA INDUSTRIES", 28, 7, first, last),
                                        Entry(2, "BBB", "BBB HOLDINGS", 24, 6, first, last),
                                        // Deleting F3's only quote sets both dates to that quote's
                                        // date; the last date already holds it, so only the first
                                        // date changes and a kill between the two MASTER updates
                                        // leaves the old or the new file.
                                        Entry(3, "", "THIRD CORP", 28, 7, DateToReal(QuoteDate(3)), first)});
    for (std::size_t i = 4; i < kMasterRecordSize; ++i) p["MASTER"][i] = static_cast<std::uint8_t>(i);
    p["F1.DAT"] = DatFile(quotes, 28, 20.0f);
    p["F2.DAT"] = DatFile(quotes, 24, 75.0f);
    p["F2.DOP"] = Text("\"DATE\",0,0\r\n\"HIGH\",2,2\r\n\"LOW\",2,2\r\n\"CLOSE\",2,2\r\n\"VOL\",1000,1000\r\n");
    p["f3.dat"] = DatFile(1, 28, 5.0f);
    return p;
}

std::vector<RewriteCase> RewriteCases(int quotes, const fs::path& realDb) {
    const DirectoryContent made = MakePortfolio(quotes);
    const DateCode end = QuoteDate(quotes - 1);
    std::vector<RewriteCase> cases;
    cases.push_back(SeriesCase("set", made, "AAA", Request(EditOp::kSet, QuoteDate(7), QuoteDate(7), {1, 2, 3, 4, 5, 6}),
                               false, "F1.DAT"));
    cases.push_back(SeriesCase("scale", made, "aaa",
                               Request(EditOp::kScale, kFirstDay, kLastDay, {0.5f, 0.5f, 0.5f, 0.5f, 2.0f, 1.0f}), false,
                               "F1.DAT"));
    cases.push_back(SeriesCase("scale_dop", made, "BBB",
                               Request(EditOp::kScale, QuoteDate(3), end, {2, 2, 2, 2, 0.5f, 1}), false, "F2.DAT"));
    cases.push_back(SeriesCase("delete_first", made, "AAA", Request(EditOp::kDelete, QuoteDate(0), QuoteDate(0)),
                               true, "F1.DAT"));
    cases.push_back(SeriesCase("delete_middle", made, "AAA",
                               Request(EditOp::kDelete, QuoteDate(quotes / 2), QuoteDate(quotes / 2)), false,
                               "F1.DAT"));
    cases.push_back(SeriesCase("delete_last", made, "BBB", Request(EditOp::kDelete, end, end), true, "F2.DAT"));
    cases.push_back(SeriesCase("delete_only", made, "THIRD CORP",
                               Request(EditOp::kDelete, QuoteDate(0), QuoteDate(0)), true, "f3.dat"));
    // Quote 0 is a Monday: its copy is dated the Friday before, ahead of every quote.
    cases.push_back(SeriesCase("insert", made, "AAA", Request(EditOp::kInsert, QuoteDate(0), QuoteDate(0)), false,
                               "F1.DAT"));

    // The rewrites of MASTER alone.
    const std::pair<const char*, std::function<DataStatus(const fs::path&, FileSystem&)>> masterOnly[] = {
        {"master_date",
         [](const fs::path& dir, FileSystem& fsys) {
             return SetMasterDate(dir / "MASTER", DateToMbfReal(QuoteDate(2)), 1, 0, fsys);
         }},
        {"master_rename",
         [](const fs::path& dir, FileSystem& fsys) {
             return RenameMasterEntry(dir / "MASTER", 2, "BBB.NEW", "BBB RENAMED INC", fsys);
         }},
        {"master_repair", [](const fs::path& dir, FileSystem& fsys) { return RepairMasterSymbols(dir / "MASTER", fsys); }},
    };
    for (const auto& [name, run] : masterOnly) cases.push_back(RewriteCase{name, made, run, {"MASTER"}});

    // A real database: 24-byte records with a DOP, the ticker in the name field.
    const fs::path real = realDb.empty() ? fs::path() : realDb / "mininge-dop";
    std::error_code ec;
    if (!real.empty() && fs::exists(real, ec)) {
        const DirectoryContent db = ReadDirectory(real);
        MasterRecord record;
        const auto masterBytes = ReadWholeFile(FindNoCase(real, "MASTER"));
        if (masterBytes && masterBytes->size() >= 2 * kMasterRecordSize) {
            std::memcpy(record.bytes.data(), masterBytes->data() + kMasterRecordSize, kMasterRecordSize);
            const std::string key = TrimPadding(record.nameField());
            QuoteSeries series;
            if (AllocSeries(series, 1) == kSuccess && ReadSeries(series, real.string(), key, 0, 1) == kSuccess &&
                series.count == 1) {
                const std::string dat = SeriesFilePath(real.string(), record.fileNumber(), "DAT").filename().string();
                cases.push_back(SeriesCase("real_scale", db, key,
                                           Request(EditOp::kScale, kFirstDay, kLastDay, {0.5f, 0.5f, 0.5f, 0.5f, 2.0f, 1.0f}),
                                           false, dat));
                cases.push_back(SeriesCase("real_delete_first", db, key,
                                           Request(EditOp::kDelete, series.date(0), series.date(0)), true, dat));
            }
        }
    }
    // A real intraday series (two quotes of one day, a TIME column): the edit, delete and
    // add of one quote named by its date and time.
    const fs::path intraday = realDb.empty() ? fs::path() : realDb / "stooq-intraday";
    if (!intraday.empty() && fs::exists(intraday / "MASTER", ec)) {
        const DirectoryContent db = ReadDirectory(intraday);
        const DateCode day = MakeDate(2013, 11, 15);
        EditRequest r = Request(EditOp::kSet, day, day, {1, 2, 3, 4, 5, 6});
        r.time = MakeTime(9, 15, 0);
        cases.push_back(SeriesCase("real_intraday_set", db, "2HR.DE", r, false, "F1.DAT"));
        r.op = EditOp::kDelete;
        cases.push_back(SeriesCase("real_intraday_delete", db, "2HR.DE", r, true, "F1.DAT"));
        r.op = EditOp::kInsert;
        cases.push_back(SeriesCase("real_intraday_insert", db, "2HR.DE", r, false, "F1.DAT"));
    }
    // A database with EMASTER and XMASTER: the date upkeep of a Delete and a rename reach
    // EMASTER beside MASTER, or XMASTER; the index files are one step.
    const fs::path mini = realDb.empty() ? fs::path() : realDb / "equis-xmaster-mini";
    if (!mini.empty() && fs::exists(mini / "XMASTER", ec)) {
        const DirectoryContent db = ReadDirectory(mini);
        for (const auto& [name, key, dat] : {std::tuple{"emaster_delete_last", ".FCHI", "F2.DAT"},
                                             std::tuple{"xmaster_delete_last", "AZM.L", "F256.MWD"}}) {
            QuoteSeries series;
            if (AllocSeries(series, 1) != kSuccess || ReadSeries(series, mini.string(), key, -1, 1) != kSuccess ||
                series.count != 1)
                continue;
            RewriteCase c = SeriesCase(name, db, key, Request(EditOp::kDelete, series.date(0), series.date(0)), true, dat);
            if (std::string_view(dat).ends_with(".MWD")) c.writes.back() = "XMASTER";
            cases.push_back(std::move(c));
        }
        for (const auto& renamed : {std::pair{"emaster_rename", SecurityId{IndexFile::kMaster, "", 2, 2}},
                                    std::pair{"xmaster_rename", SecurityId{IndexFile::kXMaster, "", 1, 256}}}) {
            // clang 14 lets no lambda capture a structured binding: the parts get plain names.
            const char* name = renamed.first;
            const SecurityId id = renamed.second;
            RewriteCase c;
            c.name = name;
            c.before = db;
            c.writes = {id.inXmaster() ? "XMASTER" : "MASTER"};
            c.run = [id](const fs::path& dir, FileSystem& fsys) {
                SecurityId at = id;
                at.directory = dir.string() + "/";
                return RenameMasterEntry(at, "RENAMED", "A NAME LONGER THAN MASTER HOLDS", fsys);
            };
            cases.push_back(std::move(c));
        }
    }
    return cases;
}

DirectoryContent ReadTree(const fs::path& dir) {
    DirectoryContent content;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        auto bytes = ReadWholeFile(it->path());
        content[it->path().lexically_relative(dir).generic_string()] = bytes ? std::move(*bytes) : Bytes{};
    }
    return content;
}

void WriteTree(const fs::path& dir, const DirectoryContent& content) {
    for (const auto& [name, bytes] : content) {
        const fs::path file = dir / fs::path(name);
        fs::create_directories(file.parent_path());
        WriteDirectory(file.parent_path(), {{file.filename().string(), bytes}});
    }
}

namespace {

DirectoryContent Prefixed(const DirectoryContent& content, const std::string& prefix) {
    DirectoryContent out;
    for (const auto& [name, bytes] : content) out[prefix + name] = bytes;
    return out;
}

// The status a transfer reports as the other rewrites do.
DataStatus TransferStatus(const TransferOutcome& out) {
    if (out.end == TransferEnd::kDone) return kSuccess;
    return out.status != kSuccess ? out.status : kFileWrite;
}

SecurityId Lookup(const fs::path& dir, const std::string& symbol) {
    MasterRecord record;
    SecurityId id;
    return FindSymbol(dir.string(), symbol, record, id) == kSuccess ? id : SecurityId{};
}

}  // namespace

std::vector<IndexRewriteCase> IndexRewriteCases(const fs::path& realDb) {
    std::vector<IndexRewriteCase> cases;
    // A move between two portfolios of MASTER alone.
    IndexRewriteCase plain;
    plain.name = "master_move";
    plain.before = Prefixed(MakePortfolio(kTestQuotes), "src/");
    const float day = DateToReal(QuoteDate(0));
    plain.before["dst/MASTER"] = testing::MasterBytes({testing::Entry(1, "ZZZ", "ZED", 28, 7, day, day)});
    plain.before["dst/F1.DAT"] = testing::DatBytes(28, {{day, 1, 2, 0.5f, 1.5f, 100, 0}});
    plain.portfolios = {"src", "dst"};
    plain.symbol = "AAA";
    plain.run = [](const fs::path& dir, FileSystem& fsys) {
        const SecurityId id = Lookup(dir / "src", "AAA");
        return id.valid() ? TransferStatus(TransferSecurity(id, (dir / "dst").string(), true, {}, fsys)) : kFileNotFound;
    };
    cases.push_back(std::move(plain));

    std::error_code ec;
    const fs::path mini = realDb.empty() ? fs::path() : realDb / "equis-xmaster-mini";
    if (mini.empty() || !fs::exists(mini, ec)) return cases;
    const DirectoryContent miniFiles = ReadDirectory(mini);

    for (const auto& [name, symbol] : {std::pair{"xmaster_delete", "AZM.L"}, std::pair{"emaster_delete", ".FCHI"}}) {
        IndexRewriteCase c;
        c.name = name;
        c.before = miniFiles;
        c.portfolios = {""};
        c.symbol = symbol;
        c.removes = true;
        c.run = [symbol = std::string(symbol)](const fs::path& dir, FileSystem& fsys) {
            const SecurityId id = Lookup(dir, symbol);
            return id.valid() ? DeleteSecurity(id, fsys).status : kFileNotFound;
        };
        cases.push_back(std::move(c));
    }

    // The destination as the common software writes one with a full MASTER: 255 securities
    // in MASTER and EMASTER, one in XMASTER, few quotes each to keep the runs short.
    ScratchDir full("barwise-full");
    if (WriteExtendedPortfolio(full.path(), 256, 3).status != kSuccess) return cases;
    IndexRewriteCase move;
    move.name = "xmaster_move";
    move.before = Prefixed(miniFiles, "src/");
    for (auto& [file, bytes] : Prefixed(ReadDirectory(full.path()), "dst/")) move.before[file] = std::move(bytes);
    move.portfolios = {"src", "dst"};
    move.symbol = ".FCHI";
    move.run = [](const fs::path& dir, FileSystem& fsys) {
        const SecurityId id = Lookup(dir / "src", ".FCHI");
        if (!id.valid()) return kFileNotFound;
        return TransferStatus(TransferSecurity(id, (dir / "dst").string(), true, {}, fsys));
    };
    cases.push_back(std::move(move));
    return cases;
}

std::string IndexRewriteProblem(const IndexRewriteCase& c, const fs::path& dir, const DirectoryContent& after) {
    const DirectoryContent now = ReadTree(dir);
    bool listed = false;
    for (const std::string& p : c.portfolios) {
        const fs::path portfolio = p.empty() ? dir : dir / p;
        const std::string prefix = p.empty() ? std::string() : p + "/";
        for (std::string_view index : {kMasterFileName, kEmasterFileName, kXmasterFileName}) {
            const fs::path file = FindNoCase(portfolio, index);
            const std::string key = prefix + file.filename().string();
            const auto was = c.before.find(key);
            if (was == c.before.end()) continue;
            const auto is = now.find(key);
            if (is == now.end()) return key + " is missing";
            const auto becomes = after.find(key);
            if (is->second != was->second && (becomes == after.end() || is->second != becomes->second))
                return key + " is neither as it was nor as the rewrite makes it (" + std::to_string(is->second.size()) +
                       " bytes)";
        }
        const MasterFile master = ReadMasterFile(portfolio.string());
        if (master.status != kSuccess) return prefix + "MASTER cannot be read";
        for (const barwise::MasterEntry& e : master.entries) {
            if (e.record.isSubdirEntry()) continue;
            QuoteSeries series;
            if (AllocSeries(series, 1) != kSuccess || ReadSeries(series, e.id, 0, 1) != kSuccess)
                return prefix + "F" + std::to_string(e.record.fileNumber()) + " is listed but cannot be read";
        }
        listed = listed || Lookup(portfolio, c.symbol).valid();
    }
    if (!listed && !c.removes) return c.symbol + " is listed nowhere";
    return {};
}

bool IsComparedFile(const std::string& name) {
    const std::string upper = ToUpperAscii(name);
    // The writer lock's file holds nothing and is made by the first writer.
    return !upper.ends_with(".BAK") && !upper.ends_with(".NEW") && !upper.ends_with(".~NU") &&
           !upper.ends_with("BARWISE.LCK");
}

std::vector<std::string> TemporaryFiles(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string(), upper = ToUpperAscii(name);
        if (upper.ends_with(".NEW") || upper.ends_with(".~NU")) names.push_back(name);
    }
    return names;
}

DirectoryContent Compared(const DirectoryContent& content) {
    DirectoryContent out;
    for (const auto& [name, bytes] : content) {
        if (IsComparedFile(name)) out[name] = bytes;
    }
    return out;
}

}  // namespace barwise::robustness
