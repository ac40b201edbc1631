// Checks against databases written by other quote software: every security reads, values
// read off their bytes by hand, EMASTER and XMASTER as read and when damaged, and that
// every rewrite of an entry leaves the three index files agreeing (checked by a decoding
// made without the library).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <tuple>

#include "datafiles/ascii.h"
#include "datafiles/extindex.h"
#include "datafiles/master.h"
#include "datafiles/rewrite.h"
#include "datafiles/series.h"
#include "testsupport/indexcheck.h"
#include "testsupport/snapshot.h"
#include "testsupport/testdb.h"

namespace barwise {
namespace {

using testing::DecodeIndexFiles;
using testing::MbfValue;
using testing::ReadBytes;
using testing::TempDir;
using testing::Ymd;

const std::string kRealDb = testing::RealDbDir();

// A copy of a real database to change.
struct DbCopy {
    TempDir tmp;
    bool copied;
    explicit DbCopy(const std::string& name) : copied(testing::CopyRealDb(name, tmp.path())) {}
    std::string dir() const { return tmp.str() + "/"; }
    testing::Files files() const { return testing::Snapshot(tmp.path()); }
    std::vector<std::string> changedSince(const testing::Files& before) const {
        return testing::ChangedSince(tmp.path(), before);
    }
    // The first place where the three index files disagree; empty when they agree.
    std::string disagreement() const {
        const auto all = testing::IndexDisagreements(tmp.path());
        return all.empty() ? "" : all.front();
    }
};

// Tests of the real databases, skipped where they are not found.
class RealDb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_directory(kRealDb)) GTEST_SKIP() << "real databases not found at " << kRealDb;
    }
};
class ExtIndexRead : public RealDb {};
class ExtIndexRewrite : public RealDb {};

class RealDbTest : public ::testing::TestWithParam<const char*> {};

// Every security a real database lists reads by its identity (but one whose data file is
// missing), and a Scale by 1 of all its quotes leaves every file byte for byte.
TEST_P(RealDbTest, EverySecurityReadsAndAScaleByOneChangesNoByte) {
    DbCopy db(GetParam());
    if (!db.copied) GTEST_SKIP() << "real databases not found at " << kRealDb;
    const MasterFile m = ReadMasterFile(db.dir());
    ASSERT_EQ(m.status, kSuccess);
    ASSERT_FALSE(m.entries.empty());
    const auto before = db.files();
    const EditRequest scale =
        testing::MakeEdit(EditOp::kScale, kFirstDay, kLastDay, {1, 1, 1, 1, 1, 1});
    int read = 0;
    for (const MasterEntry& e : m.entries) {
        SCOPED_TRACE("F" + std::to_string(e.id.fileNumber));
        const char* ext = e.id.inXmaster() ? "MWD" : "DAT";
        const bool held = fs::exists(SeriesFilePath(db.dir(), e.id.fileNumber, ext));
        QuoteSeries s;
        ASSERT_EQ(AllocSeries(s, 16000), kSuccess);
        // An all-zero record past MASTER's count names no file at all.
        const DataStatus expected = e.id.fileNumber == 0 ? kFileNotFound : kFileOpen;
        ASSERT_EQ(ReadSeries(s, e.id, 0, -1), held ? kSuccess : expected);
        if (!held) continue;
        ++read;
        EXPECT_EQ(s.count, std::min(s.total, kMaxQuotesPerRead));
        for (int i = 0; i < s.count; ++i) ASSERT_NE(s.date(i), 0) << "quote " << i;
        EXPECT_EQ(RewriteSeries(scale, e.id), kSuccess);
    }
    EXPECT_GT(read, 0);
    EXPECT_EQ(db.changedSince(before), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Databases, RealDbTest,
                         ::testing::Values("equis-italy", "mininge-dop", "equis-xmaster-mini",
                                           "bbfinance-inconsistent", "stooq-intraday",
                                           "equis-italy-intraday"),
                         [](const auto& info) { return testing::CaseName(info.param); });

// A security of a real database read (from quote `start`, `count` of them) beside the
// bytes of its data file, whose column c of quote i is Raw(i, c).
class RealDbValues : public RealDb {
protected:
    QuoteSeries s;
    std::vector<std::uint8_t> raw;
    int length = 0;
    bool Read(const std::string& db, const char* file, const char* key, int recordLength,
              int start = 0, int count = -1) {
        raw = ReadBytes(kRealDb + "/" + db + "/" + file);
        length = recordLength;
        return (s.capacity > 0 || AllocSeries(s, 16000) == kSuccess) &&
               ReadSeries(s, kRealDb + "/" + db, key, start, count) == kSuccess;
    }
    double Raw(int i, int column) const {
        return MbfValue(raw.data() + (i + 1) * length + 4 * column);
    }
};

// ASR (F1.DAT, listed by MASTER) and RCF (F256.MWD, listed by XMASTER) of equis-italy:
// 28-byte records, D O H L C V OI (for RCF the columns its field bits 0x7F give); their
// first quotes are 4 and 5 January 2010.
TEST_F(RealDbValues, EquisItalyQuotesMatchTheRawBytes) {
    for (const auto& [file, key, first] :
         {std::tuple{"F1.DAT", "ASR", "01/04/10"}, std::tuple{"F256.MWD", "RCF", "01/05/10"}}) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(Read("equis-italy", file, key, 28));
        ASSERT_EQ(s.total, static_cast<int>(raw.size() / 28) - 1);
        for (int i : {0, 1, s.count / 2, s.count - 1}) {
            EXPECT_EQ(Ymd(s.date(i)), 19000000 + static_cast<int>(Raw(i, 0))) << i;
            for (int f = kFieldOpen; f <= kFieldOi; ++f)
                EXPECT_EQ(s.value(f, i), Raw(i, f - kFieldOpen + 1)) << i << " " << f;
        }
        EXPECT_EQ(FormatDateMdy(s.date(0)), first);
    }
}

// 64,885 one-minute bars in 32-byte records without a DOP: DATE TIME OPEN HIGH LOW CLOSE VOL
// OI, and a header last record number (64,886) beyond the signed 16-bit range. First bar
// 2 January 2003 09:16 opening at 23,785, last 4 July 2003 17:39 closing at 24,920.
TEST_F(RealDbValues, EquisItalyIntradayReadsEveryBar) {
    ASSERT_TRUE(Read("equis-italy-intraday", "F1.DAT", "FIB30", 32, 0, 0));
    ASSERT_EQ(s.total, 64885);
    ASSERT_EQ(static_cast<int>(raw.size() / 32) - 1, 64885);
    for (int i : {0, 1, 40000, 64884}) {
        ASSERT_TRUE(Read("equis-italy-intraday", "F1.DAT", "FIB30", 32, i, 1)) << i;
        EXPECT_EQ(s.time(0), TimeFromReal(static_cast<float>(Raw(i, 1)))) << i;
        for (int f = kFieldOpen; f <= kFieldOi; ++f)
            EXPECT_EQ(s.value(f, 0), Raw(i, f)) << i << " " << f;
    }
    EXPECT_EQ(std::tuple(FormatDateMdy(s.date(0)), s.time(0), s.close(0)),
              std::tuple("07/04/03", MakeTime(17, 39, 0), 24920.0f));
    ASSERT_TRUE(Read("equis-italy-intraday", "F1.DAT", "FIB30", 32, 0, 1));
    EXPECT_EQ(std::tuple(FormatDateMdy(s.date(0)), s.time(0), s.open(0)),
              std::tuple("01/02/03", MakeTime(9, 16, 0), 23785.0f));
}

// APX of mininge-dop, found by its name (its symbol field is blank); DOP: D O H L C V.
TEST_F(RealDbValues, MiningeDopLayoutAndBlankSymbols) {
    ASSERT_TRUE(Read("mininge-dop", "F1.DAT", "apx", 24));
    ASSERT_EQ(s.info->layout.inputFormat[kFieldVol], 1000);
    ASSERT_GT(s.count, 2);
    for (int i : {0, s.count - 1}) {
        EXPECT_EQ(std::tuple(s.close(i), s.volume(i), s.openInterest(i)),
                  std::tuple(Raw(i, 4), Raw(i, 5), -1.0f))
            << i;
    }
}

// XMASTER securities are found by symbol and by name; an identity whose XMASTER record
// now names another file is refused.
TEST_F(ExtIndexRead, XmasterSecuritiesAreFoundAndAStaleIdentityRefused) {
    const std::string dir = kRealDb + "/equis-italy/";
    MasterRecord record;
    SecurityId id;
    ASSERT_EQ(FindSymbol(dir, "RCF", record, id), kSuccess);
    EXPECT_EQ(id, (SecurityId{IndexFile::kXMaster, dir, 1, 256}));
    ASSERT_EQ(FindSymbol(dir, "AUTOSTRADE MERIDIONALI", record, id), kSuccess);
    EXPECT_EQ(id.fileNumber, 334);
    QuoteSeries s;
    ASSERT_EQ(AllocSeries(s, 10), kSuccess);
    const SecurityId stale{IndexFile::kXMaster, dir, 1, 257};
    EXPECT_EQ(ReadSeries(s, stale, 0, 10), kFileNotFound);
}

TEST_F(ExtIndexRead, EveryRealSecurityIsListedAsTheIndependentDecodingHasIt) {
    const struct {
        const char* db;
        int master, total;
    } cases[] = {
        {"equis-italy", 255, 462}, {"equis-xmaster-mini", 2, 4}, {"equis-italy-intraday", 1, 1}};
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
            const std::uint8_t* dates = e.record.bytes.data();
            EXPECT_EQ(std::tuple(e.id.inXmaster(), e.id.position, e.id.fileNumber,
                                 e.record.fileNumber(), DisplayText(e.record.symbolField()),
                                 SecurityName(e.record), e.record.fieldCount(),
                                 YmdFromDateReal(MbfToFloat(dates + kMasterFirstDateOffset)),
                                 YmdFromDateReal(MbfToFloat(dates + kMasterLastDateOffset))),
                      std::tuple(d.index == testing::IndexKind::kXmaster, d.position, d.fileNumber,
                                 d.fileNumber, d.symbol, d.fullName(), d.fieldCount, d.firstDate,
                                 d.lastDate));
        }
    }
}

TEST_F(ExtIndexRead, DamagedIndexFilesAreSetAsideAndMasterStillOpens) {
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
        {"Xmaster", 18, 0xCE, "file number 462 at record 207, not below its next free number 462"},
        {"Emaster", 0, 0x10, "holds 49152 bytes for 16 records"},
        {"Emaster", 192 * 7 + 2, 0x63, "gives file number 99 at record 7"},
        // One record short, with a count that fits its own size.
        {"Emaster", 0, 0xFE, "lists 254 securities, MASTER 255", 192 * 255},
    };
    for (const auto& d : damages) {
        SCOPED_TRACE(std::string(d.file) + " " + std::to_string(d.offset));
        DbCopy db("equis-italy");
        auto bytes = ReadBytes(db.tmp.path() / d.file);
        bytes[d.offset] = d.value;
        if (d.size != 0) bytes.resize(d.size);
        testing::WriteBytes(db.tmp.path() / d.file, bytes);
        const MasterFile m = ReadMasterFile(db.dir());
        ASSERT_EQ(m.status, kSuccess);
        EXPECT_NE(m.indexWarning.find(d.says), std::string::npos) << m.indexWarning;
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
// Then index rewrites that would break agreement are refused, writing nothing: MASTER loses
// a record but EMASTER keeps it; XMASTER's two counts made to differ.
TEST_F(ExtIndexRead, TheLastRecordsLongNameIsReadAndRewritesThatBreakAgreementRefused) {
    DbCopy db("equis-xmaster-mini");
    auto emaster = ReadBytes(db.tmp.path() / "EMASTER");
    const std::string name = "CAC 40 INDICE DE PARIS";  // record 2's short name: "CAC 40 INDICE"
    const std::size_t at = 2 * kEmasterRecordSize + kEmasterLongNameOffset;
    std::memcpy(emaster.data() + at, name.c_str(), name.size() + 1);
    testing::WriteBytes(db.tmp.path() / "EMASTER", emaster);
    const MasterFile m = ReadMasterFile(db.dir());
    ASSERT_EQ(m.masterEntries, 2);
    EXPECT_EQ(SecurityName(m.entries.at(1).record), name);
    MasterRecord record;
    ASSERT_EQ(ReadMasterEntry(m.entries.at(1).id, record), kSuccess);
    EXPECT_EQ(SecurityName(record), name);

    const auto before = db.files();
    const fs::path masterPath = db.tmp.path() / "MASTER";
    const auto shorter = [](IndexContents& c) {
        c.master.resize(c.master.size() - kMasterRecordSize);
        c.master[0] = 1;
        return kSuccess;
    };
    const auto counts = [](IndexContents& c) {
        c.xmaster[kXmasterCountOffset] = 3;
        return kSuccess;
    };
    EXPECT_EQ(RewriteIndexFiles(masterPath, shorter), kInvalidParm);
    EXPECT_EQ(RewriteIndexFiles(masterPath, counts), kInvalidParm);
    EXPECT_TRUE(db.changedSince(before).empty());
}

// XMASTER and EMASTER keep dates as YYYYMMDD, MASTER as date reals; no date is 0 in both.
TEST(ExtIndexDates, YyyymmddAndDateRealsConvertBothWays) {
    const std::pair<float, std::int32_t> both[] = {
        {0.0f, 0},        {1100104.0f, 20100104}, {281001.0f, 19281001}, {2991231.0f, 21991231},
        {1.0f, 19000001},
    };
    for (const auto& [real, ymd] : both) {
        EXPECT_EQ(YmdFromDateReal(real), ymd) << real;
        EXPECT_EQ(DateRealFromYmd(ymd), real) << ymd;
    }
    for (float bad : {-1.0f, 3000001.0f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_EQ(YmdFromDateReal(bad), 0) << bad;
    for (std::int32_t bad : {19000000, 18991231, -5}) EXPECT_EQ(DateRealFromYmd(bad), 0.0f) << bad;
}

// The first and last date of a security as the independent decoding reads them.
std::pair<int, int> DecodedDates(const std::string& dir, int fileNumber) {
    for (const auto& s : DecodeIndexFiles(dir).securities)
        if (s.fileNumber == fileNumber) return {s.firstDate, s.lastDate};
    return {0, 0};
}

TEST_F(ExtIndexRewrite, EveryEntryRewriteKeepsTheThreeFilesAgreeing) {
    const MbfBytes first = DateToMbfReal(MakeDate(2009, 12, 31));
    const MbfBytes last = DateToMbfReal(MakeDate(2011, 2, 3));
    const std::string longName = "A NAME LONGER THAN SIXTEEN LETTERS";
    for (const SecurityId& base : {SecurityId{IndexFile::kMaster, "", 151, 151},
                                   SecurityId{IndexFile::kXMaster, "", 79, 334}}) {
        DbCopy db("equis-italy");
        SecurityId id = base;
        id.directory = db.dir();
        const auto before = db.files();
        ASSERT_EQ(SetMasterDates(id, first, last), kSuccess);
        EXPECT_EQ(DecodedDates(db.dir(), id.fileNumber), std::make_pair(20091231, 20110203));
        EXPECT_EQ(db.disagreement(), "");

        ASSERT_EQ(RenameMasterEntry(id, "NEWSYM", longName), kSuccess);
        EXPECT_EQ(db.disagreement(), "");
        MasterRecord record;
        SecurityId found;
        ASSERT_EQ(FindSymbol(db.dir(), "NEWSYM", record, found), kSuccess);
        EXPECT_EQ(found, id);
        ASSERT_EQ(ReadMasterEntry(id, record), kSuccess);
        EXPECT_EQ(SecurityName(record), longName);
        // A name that fits in 16 clears the long name.
        ASSERT_EQ(RenameMasterEntry(id, "NEWSYM", "SHORT NAME"), kSuccess);
        ASSERT_EQ(ReadMasterEntry(id, record), kSuccess);
        EXPECT_EQ(SecurityName(record), "SHORT NAME");
        // What EMASTER and XMASTER cannot hold is refused before anything is written.
        const auto now = db.files();
        EXPECT_EQ(RenameMasterEntry(id, "FIFTEEN-LETTERS", "X"), kInvalidParm);
        EXPECT_EQ(RenameMasterEntry(id, "X", std::string(46, 'N')), kInvalidParm);
        EXPECT_TRUE(db.changedSince(now).empty());

        // Only the files of the index that lists the entry changed, with a backup each
        // (named in any letter case: Windows names them as the program asked).
        std::set<std::string> changed;
        for (const std::string& name : db.changedSince(before)) changed.insert(ToUpperAscii(name));
        using Names = std::set<std::string>;
        EXPECT_EQ(changed,
                  (id.inXmaster() ? Names{"XMASTER", "XMASTER.BAK"}
                                  : Names{"EMASTER", "EMASTER.BAK", "MASTER", "MASTER.BAK"}));
    }
}

// Deleting the first and the last quote of a security of either index moves both its dates
// in every index file, which still agree.
TEST_F(ExtIndexRewrite, DeletesMoveTheDatesOfBothKindsOfSecurity) {
    for (const SecurityId& base :
         {SecurityId{IndexFile::kMaster, "", 1, 1}, SecurityId{IndexFile::kXMaster, "", 1, 256}}) {
        DbCopy db("equis-italy");
        SecurityId id = base;
        id.directory = db.dir();
        SCOPED_TRACE(id.fileNumber);
        QuoteSeries s;
        ASSERT_EQ(AllocSeries(s, 400), kSuccess);
        ASSERT_EQ(ReadSeries(s, id, 0, 400), kSuccess);
        ASSERT_GT(s.count, 3);
        const DateCode second = s.date(1), beforeLast = s.date(s.count - 2);
        for (DateCode d : {s.date(0), s.date(s.count - 1)})
            ASSERT_EQ(RewriteSeries(testing::MakeEdit(EditOp::kDelete, d, d), id), kSuccess);
        EXPECT_EQ(DecodedDates(db.dir(), id.fileNumber),
                  std::make_pair(Ymd(second), Ymd(beforeLast)));
        EXPECT_EQ(db.disagreement(), "");
        EXPECT_EQ(db.files().count(id.inXmaster() ? "F256.BAK" : "F1.BAK"), 1u);
    }
}

// bbfinance-inconsistent's EMASTER and XMASTER are set aside (MASTER still opens), and
// never written by a rename or a date change.
TEST_F(ExtIndexRewrite, AnIndexFileSetAsideIsNeverWritten) {
    DbCopy db("bbfinance-inconsistent");
    const MasterFile m = ReadMasterFile(db.dir());
    ASSERT_EQ(m.status, kSuccess);
    EXPECT_EQ(std::tuple(m.emaster, m.xmaster, m.entries.size()),
              std::tuple(ExtIndexState::kUnusable, ExtIndexState::kUnusable, 40u));
    const std::string& w = m.indexWarning;
    EXPECT_NE(w.find("EMASTER gives file number"), std::string::npos) << w;
    EXPECT_NE(w.find("XMASTER is shorter than its header"), std::string::npos) << w;

    const auto emaster = ReadBytes(db.tmp.path() / "EMASTER");
    const auto xmaster = ReadBytes(db.tmp.path() / "XMASTER");
    const SecurityId id = m.entries.at(3).id;
    ASSERT_EQ(RenameMasterEntry(id, "RENAMED", "A NAME"), kSuccess);  // MASTER alone: 16 each
    ASSERT_EQ(SetMasterDate(id, DateToMbfReal(MakeDate(2014, 1, 2)), 0), kSuccess);
    EXPECT_EQ(ReadBytes(db.tmp.path() / "EMASTER"), emaster);
    EXPECT_EQ(ReadBytes(db.tmp.path() / "XMASTER"), xmaster);
    EXPECT_FALSE(fs::exists(db.tmp.path() / "EMASTER.BAK"));
    EXPECT_EQ(RenameMasterEntry(id, "SIXTEEN-LETTERS!", "A NAME"), kSuccess);
}

}  // namespace
}  // namespace barwise
