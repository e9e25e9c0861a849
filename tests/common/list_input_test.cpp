#include "list_input.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "program_end.hpp"
#include "site_list.hpp"
#include "test_support.hpp"

namespace {
using rn::ReadStatus;
using rn::test::bits_of;
using rn::test::read_file;
using rn::test::read_tsv;
using rn::test::unescape;
using rn::test::vectors_dir;

// ---------------------------------------------------------------------------
// Reference station lists: every file of the index, every status.

struct StationRun {
  std::vector<rn::Station> stations;
  rn::ReadResult last;
};

StationRun read_stations(const std::string& text) {
  StationRun run;
  rn::StationReader reader(text);
  rn::Station s;
  while ((run.last = reader.next(s)).ok()) run.stations.push_back(s);
  return run;
}

TEST(StationList, ReproducesEveryReferenceFile) {
  const auto dir = vectors_dir() / "station_lists";
  const auto index = read_tsv(dir / "index.tsv");
  ASSERT_GT(index.size(), 25u);
  for (std::size_t r = 1; r < index.size(); ++r) {
    const auto& row = index[r];
    const std::string file = row[0];
    SCOPED_TRACE(file + " (" + row[3] + ")");
    const StationRun run = read_stations(read_file(dir / file));
    const auto expected = read_tsv(dir / (file.substr(0, file.size() - 4) + ".expected.tsv"));
    ASSERT_EQ(run.stations.size(), expected.size() - 1);
    EXPECT_EQ(std::to_string(run.stations.size()), row[1]);
    EXPECT_EQ(run.last.status, row[2] == "end" ? ReadStatus::end_of_file : ReadStatus::error)
        << run.last.message;
    for (std::size_t k = 0; k < run.stations.size(); ++k) {
      const auto& s = run.stations[k];
      const auto& e = expected[k + 1];
      EXPECT_EQ(bits_of(s.lat), e[0]) << "station " << k + 1;
      EXPECT_EQ(bits_of(s.lon), e[1]) << "station " << k + 1;
      EXPECT_EQ(s.name, unescape(e[2])) << "station " << k + 1;
      EXPECT_EQ(std::to_string(s.number), e[3]) << "station " << k + 1;
      EXPECT_EQ(std::to_string(s.column), e[4]) << "station " << k + 1;
      EXPECT_EQ(std::to_string(s.row), e[5]) << "station " << k + 1;
    }
  }
}

TEST(StationList, ErrorMessageNamesValueAndLine) {
  const StationRun run = read_stations("1 2 A 1 2 3\n\n4o.3 -105.75 Third 7 8 9\n");
  EXPECT_EQ(run.stations.size(), 1u);
  ASSERT_EQ(run.last.status, ReadStatus::error);
  EXPECT_EQ(run.last.message, "line 3: \"4o.3\" is not a real (latitude)");
  EXPECT_EQ(read_stations("1 2 'A'x 1 2 3\n").last.message,
            "line 1: characters after the closing quote of the station name");
  EXPECT_EQ(read_stations("1 2 A 1 2147483648 3\n").last.message,
            "line 1: \"2147483648\" is not an integer (grid column)");
}

// ---------------------------------------------------------------------------
// Reference site lists.

struct SiteOutcome {
  ReadStatus status = ReadStatus::ok;
  std::int32_t site = 0;
  rn::SiteStage stage = rn::SiteStage::header;
};

// "ok", "end_of_file at header", "read_error at site 2 (converting the
// latitude text)", "end_of_file at site 3 (reading the line)".
SiteOutcome parse_outcome(const std::string& text) {
  SiteOutcome o;
  if (text == "ok") return o;
  o.status = text.rfind("end_of_file", 0) == 0 ? ReadStatus::end_of_file : ReadStatus::error;
  const auto at_site = text.find("at site ");
  if (at_site != std::string::npos) o.site = std::stoi(text.substr(at_site + 8));
  if (text.find("latitude") != std::string::npos) o.stage = rn::SiteStage::latitude;
  else if (text.find("longitude") != std::string::npos) o.stage = rn::SiteStage::longitude;
  else if (text.find("line") != std::string::npos) o.stage = rn::SiteStage::line;
  return o;
}

TEST(SiteList, ReproducesEveryReferenceFile) {
  const auto dir = vectors_dir() / "site_lists";
  const auto index = read_tsv(dir / "index.tsv");
  ASSERT_GT(index.size(), 14u);
  for (std::size_t r = 1; r < index.size(); ++r) {
    const auto& row = index[r];
    const std::string file = row[0];
    SCOPED_TRACE(file + " (" + row[6] + ")");
    const std::string text = read_file(dir / file);
    const rn::SiteCount count = rn::count_site_values(text);
    ASSERT_TRUE(count.result.ok()) << count.result.message;
    EXPECT_EQ(std::to_string(count.values), row[2]);
    EXPECT_EQ(std::to_string(count.datasize()), row[3]);

    const auto layout = row[1] == "us" ? rn::SiteLayout::us : rn::SiteLayout::world;
    const rn::SiteReadResult read = rn::read_sites(text, layout, count.datasize());
    const SiteOutcome want = parse_outcome(row[5]);
    EXPECT_EQ(read.result.status, want.status) << read.result.message;
    if (want.status != ReadStatus::ok) {
      EXPECT_EQ(read.failed_site, want.site);
      EXPECT_EQ(read.stage, want.stage);
    }
    const auto expected = read_tsv(dir / (file.substr(0, file.size() - 4) + ".expected.tsv"));
    ASSERT_EQ(read.sites.size(), expected.size() - 1);
    EXPECT_EQ(std::to_string(read.sites.size()), row[4]);
    for (std::size_t k = 0; k < read.sites.size(); ++k) {
      const auto& s = read.sites[k];
      const auto& e = expected[k + 1];
      EXPECT_EQ(s.zip.size(), rn::kZipWidth);
      EXPECT_EQ(rn::trim_right(s.zip), e[1]) << "site " << e[0];
      EXPECT_EQ(rn::trim_right(s.city), unescape(e[2])) << "site " << e[0];
      EXPECT_EQ(rn::trim_right(s.state_or_country), unescape(e[3])) << "site " << e[0];
      EXPECT_EQ(bits_of(s.lat), e[4]) << "site " << e[0];
      EXPECT_EQ(bits_of(s.lon), e[5]) << "site " << e[0];
    }
  }
}

TEST(SiteList, FailureMessagesSayWhere) {
  const std::string text = "h\n1 2 3 A B\n2 north 3 C D\n";
  const auto read = rn::read_sites(text, rn::SiteLayout::us, 2);
  EXPECT_EQ(read.result.message,
            "site 2, converting its latitude text: cannot read a real from latitude \"north\"");
  EXPECT_EQ(rn::read_sites("", rn::SiteLayout::us, -1).result.message,
            "reading the header line: end of file");
  EXPECT_EQ(rn::read_sites("h\n1 2 3\n", rn::SiteLayout::us, 1).result.message,
            "site 1, reading its line: end of file");
  // A count that cannot read a value is an error, not a short count.
  const auto count = rn::count_site_values("h\n'a'b\n");
  EXPECT_EQ(count.result.status, ReadStatus::error);
}

TEST(SiteList, LongitudeShiftIn32Bits) {
  EXPECT_EQ(bits_of(rn::shift_longitude(-97.5f)), bits_of(262.5f));
  EXPECT_EQ(bits_of(rn::shift_longitude(-0.0f)), "80000000");
  EXPECT_EQ(bits_of(rn::shift_longitude(-1e-8f)), bits_of(360.0f));
  EXPECT_EQ(bits_of(rn::shift_longitude(-400.0f)), bits_of(-40.0f));
}

// ---------------------------------------------------------------------------
// Record rules beyond the reference files.

TEST(ListReader, NullsSlashAndRepeatsKeepOrSetValues) {
  std::int32_t a = 1, b = 2, c = 3;
  rn::ListReader reader("5,,7\n/\n2*9 extra\n3*\n,8\n1 2*\n");
  auto read = [&] { return reader.read_record({rn::int_item(a), rn::int_item(b), rn::int_item(c)}); };
  auto r = read();
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.values, 2u);
  EXPECT_EQ((std::vector{a, b, c}), (std::vector<std::int32_t>{5, 2, 7}));
  r = read();  // a lone slash: nothing changes
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.values, 0u);
  EXPECT_EQ((std::vector{a, b, c}), (std::vector<std::int32_t>{5, 2, 7}));
  r = read();  // 2*9 then "extra" is the third value: not an integer
  EXPECT_EQ(r.status, ReadStatus::error);
  r = read();  // 3*: three nulls
  EXPECT_TRUE(r.ok());
  EXPECT_EQ((std::vector{a, b, c}), (std::vector<std::int32_t>{9, 9, 7}));
  r = read();  // leading comma: the first item is null; the record goes on
  EXPECT_TRUE(r.ok());
  EXPECT_EQ((std::vector{a, b, c}), (std::vector<std::int32_t>{9, 8, 1}));
  EXPECT_EQ(read().status, ReadStatus::end_of_file);  // "2*" was the rest of that line
}

TEST(ListReader, RecordsStartOnNewLinesAndSpanLines) {
  std::string t1(4, '?'), t2(4, '?');
  float x = 0;
  rn::ListReader reader("\n  \n'ab\ncd' ,\n\n 1.5 tail\nxy 2 3\n");
  auto r = reader.read_record({rn::text_item(t1, 4), rn::real_item(x)});
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(t1, "abcd");
  EXPECT_EQ(x, 1.5f);
  r = reader.read_record({rn::text_item(t2, 4), rn::real_item(x)});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(t2, "xy  ");
  EXPECT_EQ(x, 2.0f);
  EXPECT_TRUE(reader.at_end());
  EXPECT_EQ(reader.read_record({rn::real_item(x)}).status, ReadStatus::end_of_file);
}

TEST(ListReader, RepeatCountErrors) {
  std::int32_t a = 0;
  EXPECT_EQ(rn::ListReader("0*5\n").read_record({rn::int_item(a)}).status, ReadStatus::error);
  EXPECT_EQ(rn::ListReader("99999999999*5\n").read_record({rn::int_item(a)}).status, ReadStatus::error);
  std::string t(3, ' ');
  ASSERT_TRUE(rn::ListReader("2*'ab' x\n").read_record({rn::text_item(t, 3)}).ok());
  EXPECT_EQ(t, "ab ");
}

// ---------------------------------------------------------------------------
// Conversions.

float real_of(const std::string& token) {
  float v = -1.0f;
  EXPECT_TRUE(rn::parse_real32(token, v)) << token;
  return v;
}

TEST(RealConversion, RoundsDecimalTextOnceToNearestEven) {
  // Exact halfway between 1 and its successor, then a hair above and below:
  // the long tails must not be lost to a cut.
  const std::string half = "1.000000059604644775390625";
  EXPECT_EQ(bits_of(real_of(half)), "3F800000");
  EXPECT_EQ(bits_of(real_of(half + std::string(300, '0') + "1")), "3F800001");
  EXPECT_EQ(bits_of(real_of("1.0000000596046447753906249" + std::string(300, '9'))), "3F800000");
  // Leading zeros of any length, before and after the point.
  EXPECT_EQ(bits_of(real_of(std::string(5000, '0') + "40.1")), "42206666");
  EXPECT_EQ(bits_of(real_of("0." + std::string(5000, '0') + "1e5000")), bits_of(0.1f));
  EXPECT_EQ(bits_of(real_of("1e99999999999999999999")), "7F800000");
  EXPECT_EQ(bits_of(real_of("-1e-99999999999999999999")), "80000000");
  // An exponent beyond a million must not be cut while the point moves
  // further than that: 0.1e-1499999 * 10^15000005 is far above the range.
  EXPECT_EQ(bits_of(real_of("0." + std::string(1499999, '0') + "1e15000005")), "7F800000");
  EXPECT_EQ(bits_of(real_of("0." + std::string(1499999, '0') + "1e1500000")), bits_of(1.0f));
  EXPECT_EQ(bits_of(real_of("1.5+3")), bits_of(1500.0f));
  EXPECT_EQ(bits_of(real_of("2.5d-1")), bits_of(0.25f));
  EXPECT_EQ(bits_of(real_of("-nan")), "7FC00000");
  EXPECT_EQ(bits_of(real_of("-INFINITY")), "FF800000");
}

TEST(RealConversion, RejectsMalformedTokens) {
  for (const char* bad : {"", "+", ".", "-.", "e5", "1e", "1e+", "1.5.5", "0x10", "1,5", "4o.3",
                          "1e5x", "infin", "nan1", "--1", "1 "}) {
    float v = 7.0f;
    EXPECT_FALSE(rn::parse_real32(bad, v)) << '"' << bad << '"';
    EXPECT_EQ(v, 7.0f);
  }
}

TEST(IntConversion, LimitsAndForms) {
  std::int32_t v = 0;
  EXPECT_TRUE(rn::parse_int32("-2147483648", v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_TRUE(rn::parse_int32("+0002147483647", v));
  EXPECT_EQ(v, INT32_MAX);
  for (const char* bad : {"", "-", "2147483648", "-2147483649", "1.0", "1e3", "12a", "99999999999999999999"}) {
    EXPECT_FALSE(rn::parse_int32(bad, v)) << bad;
  }
}

TEST(IntArgument, FirstValueOfTheTextOrAFailure) {
  std::int32_t v = 0;
  EXPECT_TRUE(rn::read_int_text("   12 34", v).ok());
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(rn::read_int_text("7,x", v).ok());
  EXPECT_EQ(v, 7);
  EXPECT_EQ(rn::read_int_text("    ", v).status, ReadStatus::end_of_file);
  EXPECT_EQ(rn::read_int_text(",5", v).status, ReadStatus::error);  // null: no value
  EXPECT_EQ(rn::read_int_text("1.5", v).status, ReadStatus::error);
  EXPECT_EQ(rn::int_argument(" 3", "usArea"), 3);
  try {
    rn::int_argument("abc", "usArea");
    FAIL() << "no program end";
  } catch (const rn::ProgramEnd& end) {
    EXPECT_EQ(end.status, rn::kFailure);
    EXPECT_EQ(end.stop_text, "Error: cannot read an integer from usArea \"abc\"");
  }
}

TEST(TextFile, MissingFileIsReportedByName) {
  std::string text = "x";
  const auto r = rn::read_text_file("/nonexistent/stations.txt", text);
  EXPECT_EQ(r.status, ReadStatus::error);
  EXPECT_EQ(r.message, "cannot read /nonexistent/stations.txt: No such file or directory");
  EXPECT_TRUE(text.empty());
}

// Arbitrary bytes never crash, hang or read out of bounds (run under the
// sanitizers for the bounds); every read moves forward.
TEST(ListReader, ArbitraryBytesEndCleanly) {
  std::mt19937 gen(12345);
  const std::string alphabet = "0123456789+-.eEdD*,;/'\" \t\r\nabcTF!&=";
  for (int round = 0; round < 3000; ++round) {
    std::string text(gen() % 200, ' ');
    for (char& c : text) {
      c = (gen() % 4 == 0) ? static_cast<char>(gen() % 256) : alphabet[gen() % alphabet.size()];
    }
    rn::StationReader stations(text);
    rn::Station s;
    int records = 0;
    while (stations.next(s).ok()) ASSERT_LT(++records, 1000);
    rn::count_site_values(text);
    rn::read_sites(text, rn::SiteLayout::world, 50);
    std::int32_t v = 0;
    rn::read_int_text(text, v);
  }
}

}  // namespace
