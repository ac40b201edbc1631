// EMASTER and XMASTER: what the readers make of real and damaged files, and that every
// rewrite of an entry leaves the three index files agreeing (checked by a decoding made
// without the library).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <map>

#include "datafiles/ascii.h"
#include "datafiles/extindex.h"
#include "datafiles/master.h"
#include "datafiles/portfoliolock.h"
#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "testsupport/indexcheck.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::DecodeIndexFiles;
using testing::IndexDisagreements;
using testing::ReadBytes;
using testing::TempDir;

const std::string kRealDb = BARWISE_REALDB_DIR;

bool HaveRealDb() { return fs::is_directory(kRealDb); }

// A copy of a real database to change.
struct DbCopy {
    TempDir tmp;
    explicit DbCopy(const std::string& name) { testing::CopyRealDb(name, tmp.path()); }
    std::string dir() const { return tmp.str() + "/"; }
    using Files = std::map<std::string, std::vector<std::uint8_t>>;
    // Names of the files added, removed or changed since `before`.
    std::vector<std::string> changedSince(const Files& before) const {
        const Files now = files();
        std::vector<std::string> out;
        for (const auto& [name, bytes] : now)
            if (!before.count(name) || before.at(name) != bytes) out.push_back(name);
        for (const auto& [name, bytes] : before)
            if (!now.count(name)) out.push_back(name);
        return out;
    }
    Files files() const {
        Files out = testing::ReadFiles(tmp.path());
        out.erase(std::string(kLockFileName));
        return out;
    }
};

TEST(ExtIndexRead, EveryRealSecurityIsListedAsTheIndependentDecodingHasIt) {
    if (!HaveRealDb()) GTEST_SKIP();
    const struct {
        const char* db;
        int master, total;
    } cases[] = {{"equis-italy", 255, 462}, {"equis-xmaster-mini", 2, 4}, {"equis-italy-intraday", 1, 1}};
    for (const auto& c : cases) {
        const std::string dir = kRealDb + "/" + c.db;
        const MasterFile m = ReadMasterFile(dir);
        ASSERT_EQ(m.status, kSuccess) << c.db;
        EXPECT_TRUE(m.indexWarning.empty()) << c.db << ": " << m.indexWarning;
        EXPECT_EQ(m.masterEntries, c.master) << c.db;
        const auto decoded = DecodeIndexFiles(dir).securities;
        ASSERT_EQ(m.entries.size(), decoded.size()) << c.db;
        ASSERT_EQ(static_cast<int>(m.entries.size()), c.total) << c.db;
        for (std::size_t i = 0; i < decoded.size(); ++i) {
            const MasterEntry& e = m.entries[i];
            const auto& d = decoded[i];
            SCOPED_TRACE(std::string(c.db) + " F" + std::to_string(d.fileNumber));
            EXPECT_EQ(e.id.inXmaster(), d.index == testing::IndexKind::kXmaster);
            EXPECT_EQ(e.id.position, d.position);
            EXPECT_EQ(e.id.fileNumber, d.fileNumber);
            EXPECT_EQ(e.record.fileNumber(), d.fileNumber);
            EXPECT_EQ(DisplayText(e.record.symbolField()), d.symbol);
            EXPECT_EQ(SecurityName(e.record), d.fullName());
            EXPECT_EQ(e.record.fieldCount(), d.fieldCount);
            EXPECT_EQ(YmdFromDateReal(MbfToFloat(&e.record.bytes[kMasterFirstDateOffset])), d.firstDate);
            EXPECT_EQ(YmdFromDateReal(MbfToFloat(&e.record.bytes[kMasterLastDateOffset])), d.lastDate);
        }
    }
}

TEST(ExtIndexRead, XmasterSecuritiesAreFoundAndRead) {
    if (!HaveRealDb()) GTEST_SKIP();
    // Values read off the bytes of F256.MWD by hand: the first quote, 5 Jan 2010.
    MasterRecord record;
    SecurityId id;
    ASSERT_EQ(FindSymbol(kRealDb + "/equis-italy", "RCF", record, id), kSuccess);
    EXPECT_EQ(id.index, IndexFile::kXMaster);
    EXPECT_EQ(id.fileNumber, 256);
    EXPECT_EQ(id.position, 1);
    ASSERT_EQ(FindSymbol(kRealDb + "/equis-italy", "AUTOSTRADE MERIDIONALI", record, id), kSuccess);
    EXPECT_EQ(id.fileNumber, 334);

    QuoteSeries s;
    ASSERT_EQ(AllocSeries(s, 200), kSuccess);
    ASSERT_EQ(ReadSeries(s, SecurityId{IndexFile::kXMaster, kRealDb + "/equis-italy/", 1, 256}, 0, 200), kSuccess);
    ASSERT_GT(s.count, 0);
    EXPECT_EQ(s.date(0), MakeDate(2010, 1, 5));
    const auto bytes = ReadBytes(kRealDb + "/equis-italy/F256.MWD");
    for (int field = kFieldOpen; field <= kFieldClose; ++field) {
        // Columns DATE OPEN HIGH LOW CLOSE VOL OI from the field bits 0x7F.
        EXPECT_EQ(s.value(field, 0), MbfToFloat(bytes.data() + 28 + 4 * (field - kFieldOpen + 1))) << field;
    }
    // An identity whose XMASTER record now names another file is refused.
    EXPECT_EQ(ReadSeries(s, SecurityId{IndexFile::kXMaster, kRealDb + "/equis-italy/", 1, 257}, 0, 10), kFileNotFound);
}

TEST(ExtIndexRead, DamagedIndexFilesAreSetAsideAndMasterStillOpens) {
    if (!HaveRealDb()) GTEST_SKIP();
    {
        const MasterFile m = ReadMasterFile(kRealDb + "/bbfinance-inconsistent");
        ASSERT_EQ(m.status, kSuccess);
        EXPECT_EQ(m.emaster, ExtIndexState::kUnusable);
        EXPECT_EQ(m.xmaster, ExtIndexState::kUnusable);
        EXPECT_EQ(m.entries.size(), 40u);
        EXPECT_NE(m.indexWarning.find("EMASTER gives file number"), std::string::npos) << m.indexWarning;
        EXPECT_NE(m.indexWarning.find("XMASTER is shorter than its header"), std::string::npos) << m.indexWarning;
    }
    // Each damage to a copy of equis-italy's XMASTER or EMASTER sets that file aside.
    const struct {
        const char* file;
        std::size_t offset;
        std::uint8_t value;
        const char* says;
        std::size_t size = 0;  // the file cut to this size; 0: left whole
    } damages[] = {
        {"Xmaster", 1, 0x00, "does not begin as an XMASTER does"},
        {"Xmaster", 14, 0x01, "two different record counts"},
        // The next free number made 462, the largest number in use: a new security would
        // take F462.MWD from the one that has it.
        {"Xmaster", 18, 0xCE, "gives file number 462 at record 207, not below its next free number 462"},
        {"Emaster", 0, 0x10, "holds 49152 bytes for 16 records"},
        {"Emaster", 192 * 7 + 2, 0x63, "gives file number 99 at record 7"},
        // One record short, with a count that fits its own size.
        {"Emaster", 0, 0xFE, "lists 254 securities, MASTER 255", 192 * 255},
    };
    for (const auto& d : damages) {
        DbCopy db("equis-italy");
        auto bytes = ReadBytes(db.tmp.path() / d.file);
        bytes[d.offset] = d.value;
        if (d.size != 0) bytes.resize(d.size);
        testing::WriteBytes(db.tmp.path() / d.file, bytes);
        const MasterFile m = ReadMasterFile(db.dir());
        ASSERT_EQ(m.status, kSuccess);
        EXPECT_NE(m.indexWarning.find(d.says), std::string::npos) << d.file << " " << d.offset << ": " << m.indexWarning;
        EXPECT_EQ(m.masterEntries, 255);
        EXPECT_EQ(m.entries.size(), std::string(d.file) == "Xmaster" ? 255u : 462u);
    }
    {
        // A MASTER record after the header's count has no EMASTER twin to take a name from.
        DbCopy mini("equis-xmaster-mini");
        auto master = ReadBytes(mini.tmp.path() / "MASTER");
        master.insert(master.end(), master.end() - kMasterRecordSize, master.end());
        testing::WriteBytes(mini.tmp.path() / "MASTER", master);
        const MasterFile m = ReadMasterFile(mini.dir());
        EXPECT_EQ(m.masterEntries, 3);
        EXPECT_TRUE(m.entries.at(2).record.longName.empty());
    }
    // A cut XMASTER: sizes that do not fit the count.
    DbCopy db("equis-italy");
    fs::resize_file(db.tmp.path() / "Xmaster", 150 * 100 + 3);
    EXPECT_EQ(ReadMasterFile(db.dir()).entries.size(), 255u);
}

// The long name of MASTER's last record, given by its EMASTER twin, reaches both readers.
TEST(ExtIndexRead, TheLastRecordsLongNameIsRead) {
    if (!HaveRealDb()) GTEST_SKIP();
    DbCopy db("equis-xmaster-mini");
    auto emaster = ReadBytes(db.tmp.path() / "EMASTER");
    const std::string name = "CAC 40 INDICE DE PARIS";  // record 2's short name is "CAC 40 INDICE"
    std::memcpy(emaster.data() + 2 * kEmasterRecordSize + kEmasterLongNameOffset, name.c_str(), name.size() + 1);
    testing::WriteBytes(db.tmp.path() / "EMASTER", emaster);
    const MasterFile m = ReadMasterFile(db.dir());
    ASSERT_EQ(m.masterEntries, 2);
    EXPECT_EQ(SecurityName(m.entries.at(1).record), name);
    MasterRecord record;
    ASSERT_EQ(ReadMasterEntry(m.entries.at(1).id, record), kSuccess);
    EXPECT_EQ(SecurityName(record), name);
}

// XMASTER and EMASTER keep dates as YYYYMMDD, MASTER as date reals; no date is 0 in both.
TEST(ExtIndexDates, YyyymmddAndDateRealsConvertBothWays) {
    const struct {
        float real;
        std::int32_t ymd;
    } both[] = {{0.0f, 0}, {1100104.0f, 20100104}, {281001.0f, 19281001}, {2991231.0f, 21991231}, {1.0f, 19000001}};
    for (const auto& c : both) {
        EXPECT_EQ(YmdFromDateReal(c.real), c.ymd) << c.real;
        EXPECT_EQ(DateRealFromYmd(c.ymd), c.real) << c.ymd;
    }
    for (float bad : {-1.0f, 3000001.0f, std::numeric_limits<float>::quiet_NaN()}) EXPECT_EQ(YmdFromDateReal(bad), 0) << bad;
    for (std::int32_t bad : {19000000, 18991231, -5}) EXPECT_EQ(DateRealFromYmd(bad), 0.0f) << bad;
}

// The first and last date of a security as the independent decoding reads them.
std::pair<int, int> DecodedDates(const std::string& dir, int fileNumber) {
    for (const auto& s : DecodeIndexFiles(dir).securities)
        if (s.fileNumber == fileNumber) return {s.firstDate, s.lastDate};
    return {0, 0};
}

TEST(ExtIndexRewrite, EveryEntryRewriteKeepsTheThreeFilesAgreeing) {
    if (!HaveRealDb()) GTEST_SKIP();
    const SecurityId master{IndexFile::kMaster, "", 151, 151};
    const SecurityId xmaster{IndexFile::kXMaster, "", 79, 334};
    const MbfBytes first = DateToMbfReal(MakeDate(2009, 12, 31));
    const MbfBytes last = DateToMbfReal(MakeDate(2011, 2, 3));
    for (const SecurityId& base : {master, xmaster}) {
        DbCopy db("equis-italy");
        SecurityId id = base;
        id.directory = db.dir();
        const auto before = db.files();
        ASSERT_EQ(SetMasterDates(id, first, last), kSuccess);
        EXPECT_EQ(DecodedDates(db.dir(), id.fileNumber), std::make_pair(20091231, 20110203));
        EXPECT_TRUE(IndexDisagreements(db.tmp.path()).empty()) << IndexDisagreements(db.tmp.path()).front();

        ASSERT_EQ(RenameMasterEntry(id, "NEWSYM", "A NAME LONGER THAN SIXTEEN LETTERS"), kSuccess);
        EXPECT_TRUE(IndexDisagreements(db.tmp.path()).empty()) << IndexDisagreements(db.tmp.path()).front();
        MasterRecord record;
        SecurityId found;
        ASSERT_EQ(FindSymbol(db.dir(), "NEWSYM", record, found), kSuccess);
        EXPECT_EQ(found, id);
        ASSERT_EQ(ReadMasterEntry(id, record), kSuccess);
        EXPECT_EQ(SecurityName(record), "A NAME LONGER THAN SIXTEEN LETTERS");
        // A name that fits in 16 clears the long name.
        ASSERT_EQ(RenameMasterEntry(id, "NEWSYM", "SHORT NAME"), kSuccess);
        ASSERT_EQ(ReadMasterEntry(id, record), kSuccess);
        EXPECT_EQ(SecurityName(record), "SHORT NAME");
        // What EMASTER and XMASTER cannot hold is refused before anything is written.
        const auto now = db.files();
        EXPECT_EQ(RenameMasterEntry(id, "FIFTEEN-LETTERS", "X"), kInvalidParm);
        EXPECT_EQ(RenameMasterEntry(id, "X", std::string(46, 'N')), kInvalidParm);
        EXPECT_TRUE(db.changedSince(now).empty());

        // Only the files of the index that lists the entry changed, and their backups hold
        // them as they were.
        const auto after = db.files();
        for (const auto& [name, bytes] : before) {
            const bool index = name == "Master" || name == "Emaster" || name == "Xmaster";
            if (!index) {
                EXPECT_TRUE(after.at(name) == bytes) << name;
            }
        }
        // Backup names in any letter case: Windows names them as the program asked.
        const auto backups = [&](const std::string& upper) {
            return std::count_if(after.begin(), after.end(), [&](const auto& f) { return ToUpperAscii(f.first) == upper; });
        };
        EXPECT_EQ(backups("MASTER.BAK"), id.inXmaster() ? 0 : 1);
        EXPECT_EQ(backups("XMASTER.BAK"), id.inXmaster() ? 1 : 0);
        EXPECT_EQ(backups("EMASTER.BAK"), id.inXmaster() ? 0 : 1);
    }
}

TEST(ExtIndexRewrite, QuoteEditsOfBothKindsOfSecurity) {
    if (!HaveRealDb()) GTEST_SKIP();
    for (const SecurityId& base : {SecurityId{IndexFile::kMaster, "", 1, 1}, SecurityId{IndexFile::kXMaster, "", 1, 256}}) {
        DbCopy db("equis-italy");
        SecurityId id = base;
        id.directory = db.dir();
        SCOPED_TRACE(id.fileNumber);
        // A Scale by 1 over every date changes no byte of any file.
        const auto before = db.files();
        EditRequest scale;
        scale.op = EditOp::kScale;
        scale.values = {1, 1, 1, 1, 1, 1};
        ASSERT_EQ(RewriteSeries(scale, id), kSuccess);
        EXPECT_TRUE(db.changedSince(before).empty()) << db.changedSince(before).front();

        // Deleting the first and the last quote moves both dates in every index file.
        QuoteSeries s;
        ASSERT_EQ(AllocSeries(s, 400), kSuccess);
        ASSERT_EQ(ReadSeries(s, id, 0, 400), kSuccess);
        ASSERT_GT(s.count, 3);
        const DateCode second = s.date(1), beforeLast = s.date(s.count - 2);
        for (DateCode d : {s.date(0), s.date(s.count - 1)}) {
            EditRequest del;
            del.op = EditOp::kDelete;
            del.from = d;
            ASSERT_EQ(RewriteSeries(del, id), kSuccess);
        }
        const auto ymd = [](DateCode d) {
            const DateParts p = SplitDate(d);
            return (p.year + 1900) * 10000 + p.month * 100 + p.day;
        };
        EXPECT_EQ(DecodedDates(db.dir(), id.fileNumber), std::make_pair(ymd(second), ymd(beforeLast)));
        EXPECT_TRUE(IndexDisagreements(db.tmp.path()).empty()) << IndexDisagreements(db.tmp.path()).front();
        const std::string data = id.inXmaster() ? "F256.MWD" : "F1.DAT";
        EXPECT_EQ(db.files().count(id.inXmaster() ? "F256.BAK" : "F1.BAK"), 1u);
        EXPECT_TRUE(db.files().at(data) != before.at(data));
    }
}

TEST(ExtIndexRewrite, AnIndexFileSetAsideIsNeverWritten) {
    if (!HaveRealDb()) GTEST_SKIP();
    DbCopy db("bbfinance-inconsistent");
    const auto emaster = ReadBytes(db.tmp.path() / "EMASTER");
    const auto xmaster = ReadBytes(db.tmp.path() / "XMASTER");
    const MasterFile m = ReadMasterFile(db.dir());
    const SecurityId id = m.entries.at(3).id;
    ASSERT_EQ(RenameMasterEntry(id, "RENAMED", "A NAME"), kSuccess);  // MASTER alone: 16 each
    ASSERT_EQ(SetMasterDate(id, DateToMbfReal(MakeDate(2014, 1, 2)), 0), kSuccess);
    EXPECT_EQ(ReadBytes(db.tmp.path() / "EMASTER"), emaster);
    EXPECT_EQ(ReadBytes(db.tmp.path() / "XMASTER"), xmaster);
    EXPECT_FALSE(fs::exists(db.tmp.path() / "EMASTER.BAK"));
    EXPECT_EQ(RenameMasterEntry(id, "SIXTEEN-LETTERS!", "A NAME"), kSuccess);
}

TEST(ExtIndexRewrite, AChangeThatWouldBreakAgreementIsRefused) {
    if (!HaveRealDb()) GTEST_SKIP();
    DbCopy db("equis-xmaster-mini");
    const auto before = db.files();
    const fs::path masterPath = db.tmp.path() / "MASTER";
    // MASTER loses a record but EMASTER keeps it; XMASTER's two counts made to differ.
    EXPECT_EQ(RewriteIndexFiles(masterPath,
                                [](IndexContents& c) {
                                    c.master.resize(c.master.size() - kMasterRecordSize);
                                    c.master[0] = 1;
                                    return kSuccess;
                                }),
              kInvalidParm);
    EXPECT_EQ(RewriteIndexFiles(masterPath,
                                [](IndexContents& c) {
                                    c.xmaster[kXmasterCountOffset] = 3;
                                    return kSuccess;
                                }),
              kInvalidParm);
    EXPECT_TRUE(db.changedSince(before).empty());
}

}  // namespace
}  // namespace barwise
