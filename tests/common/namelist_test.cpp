#include "namelist.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "program_end.hpp"
#include "test_support.hpp"

namespace {
using rn::NestingNamelist;
using rn::test::bits_of;
using rn::test::read_file;
using rn::test::read_tsv;
using rn::test::ScratchDir;
using rn::test::unescape;
using rn::test::vectors_dir;

std::string parse(const std::string& text, NestingNamelist& v) {
  return rn::parse_namelist_nesting(text, v);
}

// The value of a key as the reference's expected.tsv writes it.
std::string rendered(const NestingNamelist& v, const std::string& key) {
  auto text = [](const std::string& field) {
    EXPECT_EQ(field.size(), rn::kNamelistTextWidth);
    return std::string(NestingNamelist::text(field));
  };
  if (key == "mapproject") return text(v.mapproject);
  if (key == "fulldom_child_f") return text(v.fulldom_child_f);
  if (key == "fulldom_parent_f") return text(v.fulldom_parent_f);
  if (key == "routinelin_p_f") return text(v.routinelin_p_f);
  if (key == "geo_parent_f") return text(v.geo_parent_f);
  if (key == "nhd_map_f") return text(v.nhd_map_f);
  if (key == "dxkm") return bits_of(v.dxkm);
  if (key == "flowin_out") return v.flowin_out ? "T" : "F";
  if (key == "order_diff") return std::to_string(v.order_diff);
  ADD_FAILURE() << "unknown key " << key;
  return {};
}

TEST(Namelist, ReproducesEveryReferenceCase) {
  const auto dir = vectors_dir() / "namelists";
  const auto index = read_tsv(dir / "index.tsv");
  ASSERT_GT(index.size(), 17u);
  for (std::size_t r = 1; r < index.size(); ++r) {
    const std::string name = index[r][0];
    const std::string outcome = index[r][1];
    SCOPED_TRACE(name + " (" + index[r][2] + ")");
    NestingNamelist v;
    const std::string problem = parse(read_file(dir / name / "namelist.nesting"), v);
    if (outcome == "rejected") {
      EXPECT_FALSE(problem.empty());
      continue;
    }
    const auto expected = read_tsv(dir / name / "expected.tsv");
    bool all_set = true;
    for (std::size_t k = 1; k < expected.size(); ++k) all_set = all_set && expected[k][2] != "(unset)";
    if (!all_set) {
      // The rules give no default: a key left unset is rejected, by name.
      EXPECT_NE(problem.find("no value given for fulldom_child_f"), std::string::npos) << problem;
      continue;
    }
    ASSERT_EQ(problem, "");
    for (std::size_t k = 1; k < expected.size(); ++k) {
      const auto& e = expected[k];
      const std::string want = e[1] == "real" ? e[3] : unescape(e[2]);
      EXPECT_EQ(rendered(v, e[0]), want) << e[0];
      if (e[1] == "text") {
        EXPECT_EQ("length " + std::to_string(want.size()), e[3]) << e[0];
      }
    }
  }
}

const std::string kComplete =
    "&namelist_nesting\n"
    " mapproject = 'LC', fulldom_child_f = 'c.nc', fulldom_parent_f = 'p.nc'\n"
    " routinelin_p_f = 'r.nc', geo_parent_f = 'g.nc', nhd_map_f = 'o.nc'\n"
    " dxkm = 2.0, flowin_out = T, order_diff = 1\n";

TEST(Namelist, EmptyValueKeepsTheEarlierOne) {
  NestingNamelist v;
  ASSERT_EQ(parse(kComplete + " dxkm = , order_diff =\n flowin_out = /\n", v), "");
  EXPECT_EQ(v.dxkm, 2.0f);
  EXPECT_EQ(v.order_diff, 1);
  EXPECT_TRUE(v.flowin_out);
}

TEST(Namelist, LogicalForms) {
  for (const char* word : {"T", "t", ".true.", ".T.", "true", "Tuesday"}) {
    NestingNamelist v;
    ASSERT_EQ(parse(kComplete + " flowin_out = F flowin_out = " + word + "/", v), "") << word;
    EXPECT_TRUE(v.flowin_out) << word;
  }
  for (const char* word : {"F", ".false.", ".f", "false"}) {
    NestingNamelist v;
    ASSERT_EQ(parse(kComplete + " flowin_out = " + word + "\n/", v), "") << word;
    EXPECT_FALSE(v.flowin_out) << word;
  }
  NestingNamelist v;
  EXPECT_NE(parse(kComplete + " flowin_out = .\n/", v), "");
}

TEST(Namelist, MessagesNameTheProblem) {
  NestingNamelist v;
  EXPECT_EQ(parse(kComplete + " bogus_key = 1\n/\n", v),
            "line 5: unknown key \"bogus_key\" in group namelist_nesting");
  EXPECT_EQ(parse(kComplete + " dxkm = abc\n/\n", v), "line 5: \"abc\" is not a real (dxkm)");
  EXPECT_EQ(parse(kComplete + " order_diff = 1.5\n/\n", v),
            "line 5: \"1.5\" is not an integer (order_diff)");
  EXPECT_EQ(parse(kComplete + " mapproject = LC\n/\n", v),
            "line 5: the text value of mapproject must be in quotes");
  EXPECT_EQ(parse(kComplete + " mapproject = 'LC\n/\n", v),
            "line 5: the quoted value of mapproject is never closed");
  EXPECT_EQ(parse(kComplete, v), "group &namelist_nesting has no closing slash");
  EXPECT_EQ(parse("&other\n/\n", v), "no group &namelist_nesting");
  EXPECT_EQ(parse("&namelist_nesting dxkm = 1.0 /\n", v),
            "no value given for mapproject, fulldom_child_f, fulldom_parent_f, routinelin_p_f, "
            "geo_parent_f, nhd_map_f, flowin_out, order_diff");
}

TEST(Namelist, ReadingEndsTheProgramOnFailure) {
  ScratchDir dir;
  const auto path = (dir / "namelist.nesting").string();
  auto status_of = [&](const std::string& file) {
    try {
      rn::read_namelist_nesting(file);
    } catch (const rn::ProgramEnd& end) {
      EXPECT_FALSE(end.stop_text.empty());
      return end.status;
    }
    return 0;
  };
  EXPECT_EQ(status_of(path), rn::kFailure);  // missing file
  rn::test::write_file(path, kComplete + "/\n");
  EXPECT_EQ(status_of(path), 0);
  EXPECT_EQ(rn::read_namelist_nesting(path).order_diff, 1);
  rn::test::write_file(path, kComplete + " dxkm = x\n/\n");
  EXPECT_EQ(status_of(path), rn::kFailure);
}

TEST(Namelist, ArbitraryBytesEndCleanly) {
  std::mt19937 gen(777);
  const std::string alphabet = "&namelist_nesting mapproject=dxkm 'x\"1.5,/!\nTF.";
  for (int round = 0; round < 3000; ++round) {
    std::string text = (round % 2) ? "&namelist_nesting\n" : "";
    const std::size_t n = gen() % 300;
    for (std::size_t k = 0; k < n; ++k) {
      text += (gen() % 5 == 0) ? static_cast<char>(gen() % 256) : alphabet[gen() % alphabet.size()];
    }
    NestingNamelist v;
    parse(text, v);
  }
}

}  // namespace
