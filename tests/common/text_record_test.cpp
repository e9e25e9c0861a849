#include "text_record.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_support.hpp"

namespace {
using rn::test::float_from_bits;
using rn::test::read_tsv;
using rn::test::vectors_dir;

std::string real_field(float v) {
  char buf[16];
  rn::put_real_field(buf, v);
  return {buf, 16};
}

std::string fixed_field(float v, int w, int d) {
  char buf[40];
  rn::put_fixed_field(buf, v, w, d);
  return {buf, static_cast<size_t>(w)};
}

TEST(RealField, MatchesEveryReferenceRendering) {
  const auto rows = read_tsv(vectors_dir() / "real_field.tsv");
  ASSERT_GT(rows.size(), 2900u);
  int checked = 0;
  for (size_t r = 1; r < rows.size(); ++r) {
    const auto& row = rows[r];
    ASSERT_EQ(row.size(), 5u) << "row " << r;
    EXPECT_EQ(real_field(float_from_bits(row[0])), row[2])
        << "bits " << row[0] << " class " << row[3] << " group " << row[4];
    ++checked;
  }
  EXPECT_EQ(checked, static_cast<int>(rows.size()) - 1);
}

TEST(IntField, MatchesEveryReferenceRendering) {
  const auto rows = read_tsv(vectors_dir() / "int_field.tsv");
  ASSERT_GT(rows.size(), 100u);
  for (size_t r = 1; r < rows.size(); ++r) {
    char buf[11];
    rn::put_int_field(buf, static_cast<std::int32_t>(std::stoll(rows[r][0])));
    EXPECT_EQ(std::string(buf, 11), rows[r][1]) << rows[r][0];
  }
}

// Composes a record from the vectors' item notation (T:, I:, R: items
// separated by |) through the item-by-item writer.
std::string compose(const std::string& items) {
  std::string captured;
  {
    rn::TextOut out(&captured);
    out.begin_record();
    size_t start = 0;
    while (true) {
      const size_t bar = items.find('|', start);
      const std::string p = items.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
      const std::string value = p.substr(2);
      if (p[0] == 'T') out.add_text(rn::test::unescape(value, true));
      else if (p[0] == 'I') out.add_int(static_cast<std::int32_t>(std::stoll(value)));
      else out.add_real(float_from_bits(value));
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
    out.end_record();
  }
  captured.pop_back();  // line feed
  return captured;
}

TEST(TextRecord, MatchesEveryReferenceRecord) {
  const auto rows = read_tsv(vectors_dir() / "records.tsv");
  ASSERT_EQ(rows.size(), 301u);
  for (size_t r = 1; r < rows.size(); ++r) {
    const std::string expected = rn::test::unescape(rows[r][2]);
    EXPECT_EQ(compose(rows[r][1]), expected) << "record " << rows[r][0];
    EXPECT_EQ(expected.size(), std::stoul(rows[r][3])) << "record " << rows[r][0];
  }
}

TEST(TextRecord, JoinRuleOfTheVariadicWriter) {
  std::string s;
  {
    rn::TextOut out(&s);
    out.record("<Placemark>");
    out.record("<name>", std::int32_t{5}, "</name>");
    out.record("k=", std::int32_t{12}, " ,orderin=,", std::int32_t{3}, " ,streamflow=", 12.5f);
    out.record(-105.25f, ",", 40.1f);
    out.record("<name>", "Gauge 7", "</name>");
    out.record(std::int32_t{1}, "");
    out.record("", std::int32_t{1});
    out.record("");
    out.record(std::int32_t{1}, std::int32_t{2});
  }
  EXPECT_EQ(s,
            " <Placemark>\n"
            " <name>           5 </name>\n"
            " k=          12  ,orderin=,           3  ,streamflow=   12.5000000    \n"
            "  -105.250000     ,   40.0999985    \n"
            " <name>Gauge 7</name>\n"
            "           1 \n"
            "            1\n"
            " \n"
            "           1           2\n");
}

/// Collects the blocks that a TextOut hands over, giving back new buffers.
struct CollectingSink : rn::TextBlockSink {
  std::string bytes;
  std::size_t blocks = 0;
  char* exchange(char* block, std::size_t size, std::size_t capacity) override {
    bytes.append(block, size);
    ++blocks;
    std::free(block);
    return static_cast<char*>(std::malloc(capacity));
  }
};

TEST(TextRecord, LongRecordsAreNeverWrappedAndBuffersGrow) {
  std::string s;
  {
    rn::TextOut out(&s);
    const std::string big(100000, 'x');
    out.record(big, std::int32_t{7});
  }
  ASSERT_EQ(s.size(), 1 + 100000 + 1 + 11 + 1u);
  EXPECT_EQ(s.substr(100001), "           7\n");

  // Handed over in whole buffers: the same bytes, a buffer grown for the
  // long record and later ones in the grown buffer.
  CollectingSink sink;
  {
    rn::TextOut out(&sink, 256);
    out.record("short", std::int32_t{1});
    out.record(std::string(100000, 'x'), std::int32_t{7});
    for (int k = 0; k < 100; ++k) out.record("k=", k);
  }
  std::string expected;
  {
    rn::TextOut out(&expected);
    out.record("short", std::int32_t{1});
    out.record(std::string(100000, 'x'), std::int32_t{7});
    for (int k = 0; k < 100; ++k) out.record("k=", k);
  }
  EXPECT_EQ(sink.bytes, expected);
  EXPECT_GE(sink.blocks, 2u);
}

TEST(TextRecord, CaptureRedirectsStandardOutputRecords) {
  std::string s;
  {
    rn::CaptureStdout capture(&s);
    rn::out().record("ixrt = ", std::int32_t{4}, " jxrt =", std::int32_t{3});
  }
  EXPECT_EQ(s, " ixrt =            4  jxrt =           3\n");
}

TEST(FixedField, MatchesEveryReferenceRendering) {
  const auto rows = read_tsv(vectors_dir() / "fixed_fields.tsv");
  ASSERT_GT(rows.size(), 600u);
  for (size_t r = 1; r < rows.size(); ++r) {
    const auto& row = rows[r];
    const std::string& format = row[3];
    std::string got;
    if (row[0] == "real") {
      const float v = float_from_bits(row[1]);
      got = format == "w12d6" ? fixed_field(v, 12, 6) : fixed_field(v, 12, 1);
    } else {
      char buf[8];
      rn::put_int_width(buf, static_cast<std::int32_t>(std::stoll(row[1])), 8);
      got.assign(buf, 8);
    }
    EXPECT_EQ(got, row[4]) << row[0] << " " << row[1] << " " << format << " group " << row[5];
  }
}

TEST(FixedField, DecimalsOutsideZeroToTwelveGiveAsterisks) {
  // Found by fuzzing: the decimals indexed the table of powers of ten before
  // they were checked, reading outside it for negative or large counts.
  EXPECT_EQ(fixed_field(1.5f, 12, -1), "************");
  EXPECT_EQ(fixed_field(1.5f, 12, 13), "************");
  EXPECT_EQ(fixed_field(1.5f, 20, 12), "      1.500000000000");
}

TEST(RealField, NonFiniteRendering) {
  EXPECT_EQ(real_field(std::numeric_limits<float>::infinity()), "        Infinity");
  EXPECT_EQ(real_field(-std::numeric_limits<float>::infinity()), "       -Infinity");
  EXPECT_EQ(real_field(-std::numeric_limits<float>::quiet_NaN()), "             NaN");
  EXPECT_EQ(fixed_field(std::numeric_limits<float>::quiet_NaN(), 12, 6), "         NaN");
}

}  // namespace
