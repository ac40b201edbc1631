// The real databases of ../shared/data/realdb exported with --all, and a few rows compared
// with values decoded here by hand from the raw bytes (not through the library).
#include <gtest/gtest.h>

#include <filesystem>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "cli/clirun.h"
#include "datafiles/ascii.h"
#include "discovery/testtree.h"

namespace barwise {
namespace {

using testing::Cli;
using testing::Lines;
using testing::ReadBytes;
using testing::TempDir;

const std::string kRealDb = BARWISE_REALDB_DIR;

// MBF: byte 3 the exponent (0 = zero), byte 2 bit 7 the sign, 23 mantissa bits with a
// hidden leading 1: value = 0.1mmm (binary) * 2^(exponent - 128).
double MbfByHand(const std::uint8_t* b) {
    if (b[3] == 0) return 0.0;
    const std::uint32_t mantissa = 0x800000u | (static_cast<std::uint32_t>(b[2] & 0x7F) << 16) |
                                   (static_cast<std::uint32_t>(b[1]) << 8) | b[0];
    const double v = std::ldexp(static_cast<double>(mantissa), b[3] - 128 - 24);
    return (b[2] & 0x80) ? -v : v;
}

// A date real YYYMMDD (years since 1900) as MM/DD/YY.
std::string DateByHand(double real) {
    const long v = static_cast<long>(real);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02ld/%02ld/%02ld", (v / 100) % 100, v % 100, (v / 10000) % 100);
    return buf;
}

// The file of a name in any letter case.
std::filesystem::path Find(const std::string& dir, const std::string& name) {
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (EqualNoCase(e.path().filename().string(), name)) return e.path();
    }
    return {};
}

// The quote file of security n: XMASTER's securities (256 and up) have F<n>.MWD.
std::string DataFile(int n) { return "F" + std::to_string(n) + (n > 255 ? ".MWD" : ".DAT"); }

// The expected export line of quote q of F<n>.DAT, whose columns hold the fields named in
// `fields` ("D" date, "O" "H" "L" "C" prices, "V" "I" volume and open interest, "T" or "-"
// not exported).
std::string LineByHand(const std::string& dir, int n, int recordLength, const std::string& fields, int q) {
    const auto dat = ReadBytes(Find(dir, DataFile(n)));
    const std::uint8_t* rec = dat.data() + static_cast<std::size_t>(q + 1) * recordLength;
    std::string date;
    double values[6] = {-1, -1, -1, -1, -1, -1};
    for (std::size_t c = 0; c < fields.size(); ++c) {
        const double v = MbfByHand(rec + c * 4);
        switch (fields[c]) {
            case 'D': date = DateByHand(v); break;
            case 'O': values[0] = v; break;
            case 'H': values[1] = v; break;
            case 'L': values[2] = v; break;
            case 'C': values[3] = v; break;
            case 'V': values[4] = v; break;
            case 'I': values[5] = v; break;
            default: break;
        }
    }
    std::string line = date;
    for (int i = 0; i < 6; ++i) {
        char buf[64];
        if (values[i] < 0) {
            std::strcpy(buf, "N/A");
        } else {
            std::snprintf(buf, sizeof buf, i < 4 ? "%.4f" : "%.2f", values[i]);
        }
        line += ' ';
        line += buf;
    }
    return line + "\r";
}

int QuotesByHeader(const std::string& dir, int n) {
    const auto dat = ReadBytes(Find(dir, DataFile(n)));
    return (dat[2] | (dat[3] << 8)) - 1;  // the last record number, unsigned
}

struct Case {
    const char* db;
    int expectedStatus;
    int files;
};

TEST(CliRealDb, ExportAllOfEveryDatabase) {
    if (!std::filesystem::is_directory(kRealDb)) GTEST_SKIP() << "no real databases at " << kRealDb;
    const Case cases[] = {
        // A record after its header's count: the 25 records it counts, and a failure.
        {"mininge-dop", 1, 25},
        {"equis-italy", 0, 462},  // 255 in MASTER, 207 only in XMASTER
        {"bbfinance-inconsistent", 0, 40},
        {"equis-xmaster-mini", 0, 4},
        {"stooq-intraday", 0, 1},
        {"equis-italy-intraday", 0, 1},  // 32-byte intraday records, more than 32767 quotes
    };
    for (const Case& c : cases) {
        TempDir out;
        const auto r = Cli({"export", kRealDb + "/" + c.db, "--all", "-o", out.str()});
        EXPECT_EQ(r.status, c.expectedStatus) << c.db << "\n" << r.err;
        const auto count = std::distance(std::filesystem::directory_iterator(out.path()), std::filesystem::directory_iterator());
        EXPECT_EQ(count, c.files) << c.db;
        if (c.expectedStatus != 0) {
            EXPECT_NE(r.err.find("MASTER holds 26 records, its header says 25"), std::string::npos) << r.err;
        }
    }
}

TEST(CliRealDb, RowsMatchValuesDecodedByHand) {
    if (!std::filesystem::is_directory(kRealDb)) GTEST_SKIP() << "no real databases at " << kRealDb;
    struct Series {
        const char* db;
        int file;
        int recordLength;
        const char* fields;
    } series[] = {
        {"mininge-dop", 1, 24, "DOHLCV"},        // named by its DOP file
        {"mininge-dop", 2, 28, "DOHLCVI"},
        {"equis-italy", 1, 28, "DOHLCVI"},       // no DOP: the 28-byte default
        {"equis-italy", 200, 28, "DOHLCVI"},
        {"equis-italy", 256, 28, "DOHLCVI"},     // XMASTER: the field bits give the columns
        {"equis-italy", 462, 28, "DOHLCVI"},
        {"equis-xmaster-mini", 2853, 28, "DOHLCVI"},
        {"stooq-intraday", 1, 28, "DTOHLCV"},    // intraday without a DOP: the TIME column is no price
        {"equis-italy-intraday", 1, 32, "DTOHLCVI"},
        {"bbfinance-inconsistent", 1, 28, "DOHLCVI"},
    };
    for (const Series& s : series) {
        const std::string dir = kRealDb + "/" + s.db;
        const auto r = Cli({"export", dir, "--file", std::to_string(s.file)});
        ASSERT_EQ(r.status, 0) << s.db << " " << s.file << "\n" << r.err;
        const auto lines = Lines(r.out);
        const int total = QuotesByHeader(dir, s.file);
        const auto datSize = std::filesystem::file_size(Find(dir, DataFile(s.file)));
        const int held = std::min(total, static_cast<int>(datSize / s.recordLength) - 1);
        ASSERT_EQ(static_cast<int>(lines.size()), held) << s.db << " " << s.file;
        for (int q : {0, 1, held / 2, held - 1}) {
            if (q < 0 || q >= held) continue;
            EXPECT_EQ(lines[static_cast<std::size_t>(q)], LineByHand(dir, s.file, s.recordLength, s.fields, q))
                << s.db << " F" << s.file << " quote " << q;
        }
    }
}

TEST(CliRealDb, OtherCommands) {
    if (!std::filesystem::is_directory(kRealDb)) GTEST_SKIP() << "no real databases at " << kRealDb;
    const auto sym = Cli({"symbols", kRealDb + "/equis-italy"});
    EXPECT_EQ(sym.status, 0);
    EXPECT_EQ(Lines(sym.out).size(), 463u);  // a heading and 462 securities
    EXPECT_NE(sym.out.find("\nRCF,RCF GROUP,256,28,7,01/05/10,07/09/10,D,XMASTER\n"), std::string::npos);
    EXPECT_NE(sym.out.find("\nAUTME,AUTOSTRADE MERIDIONALI,334,"), std::string::npos);
    EXPECT_NE(sym.out.find(",FERROVIE NORD MILANO,151,28,7,01/04/10,07/09/10,D,MASTER\n"), std::string::npos);
    // mininge-dop holds a record after its header's count: the grid refuses it.
    const auto mininge = Cli({"symbols", kRealDb + "/mininge-dop"});
    EXPECT_EQ(mininge.status, 1);
    EXPECT_NE(mininge.err.find("MASTER holds 26 records, its header says 25"), std::string::npos);
    EXPECT_NE(mininge.out.find("\nAPX,APX,1,24,6,01/01/85,10/29/21,D,MASTER\n"), std::string::npos);

    const auto xfacts = Cli({"facts", kRealDb + "/equis-italy", "AUTME"});
    EXPECT_EQ(xfacts.status, 0) << xfacts.err;
    for (const char* line : {"\nFile number: 334\n", "\nName of issue: AUTOSTRADE MERIDIONALI\n",
                             "\nData file: F334.MWD\n", "\nListed in: XMASTER\n"})
        EXPECT_NE(xfacts.out.find(line), std::string::npos) << line << xfacts.out;

    const auto facts = Cli({"facts", kRealDb + "/mininge-dop", "AR"});
    EXPECT_EQ(facts.status, 0);
    EXPECT_NE(facts.out.find("Close Input: 10,000ths\n"), std::string::npos);
    EXPECT_NE(Cli({"facts", kRealDb + "/mininge-dop", "APX"}).out.find("Vol Input: 1,000s\n"), std::string::npos);

    const auto split = Cli({"split-search", kRealDb + "/equis-italy"});
    EXPECT_EQ(split.status, 0) << split.err;
    EXPECT_NE(split.out.find("CPR possible 2 for 1 split on 05/10/10\n"), std::string::npos);

    const auto portfolios = Cli({"portfolios", kRealDb});
    EXPECT_EQ(portfolios.status, 0);
    EXPECT_EQ(Lines(portfolios.out).size(), 6u);
}

}  // namespace
}  // namespace barwise
