// Where the data of each variable of a classic-format file end: exactly
// there, in all three classic formats, with fixed-size and record
// variables (a file cut at a variable's end holds it whole, one byte less
// loses it); a file cut short of any variable's end is refused.
#include "classic_extent.hpp"

#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <string>
#include <vector>

#include "nc_file.hpp"
#include "test_support.hpp"

namespace rn::test {
namespace {

namespace fs = std::filesystem;

// Values whose last stored byte is never 0, so that a byte read as zero
// past the end of a file changes them.
constexpr const char* kMixed = R"(netcdf mixed {
dimensions:
  rec = UNLIMITED ;
  x = 3 ;
  y = 5 ;
variables:
  short s(x) ;
  int a(y, x) ;
  double d(x) ;
  short rs(rec, x) ;
  float rf(rec) ;
  byte b(y) ;
data:
  s = 257, 513, 771 ;
  a = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 ;
  d = 1.1, 2.2, 3.3 ;
  rs = 1, 2, 3, 4, 5, 6, 7, 8, 9 ;
  rf = 1.1, 2.2, 3.3 ;
  b = 1, 2, 3, 4, 5 ;
}
)";

// A sole record variable: its records are not padded to 4 bytes.
constexpr const char* kSoleRecord = R"(netcdf sole {
dimensions:
  rec = UNLIMITED ;
  x = 3 ;
variables:
  int fixed(x) ;
  short only(rec, x) ;
data:
  fixed = 7, 8, 9 ;
  only = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 ;
}
)";

// The values as the library alone reads them (past the end of the file:
// zeros, no error).
std::vector<double> raw_values_of(const fs::path& path, int varid, std::size_t count) {
  int id = -1;
  std::vector<double> values(count);
  if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) return {};
  nc_get_var_double(id, varid, values.data());
  nc_close(id);
  return values;
}

std::vector<double> values_of(const fs::path& path, int varid, int& status) {
  NcFile nc;
  status = nc.open(path.string());
  if (status != NC_NOERR) return {};
  std::size_t count = 0;
  status = nc.var_count(varid, count);
  std::vector<double> values(count);
  if (status == NC_NOERR) status = nc.read(varid, std::span<double>(values));
  return values;
}

TEST(ClassicExtent, EveryVariableEndsWhereItsDataEnd) {
  ScratchDir dir;
  for (const char* kind : {"nc3", "nc6", "nc5"}) {  // CDF-1, CDF-2, CDF-5
    for (const char* cdl : {kMixed, kSoleRecord}) {
      SCOPED_TRACE(std::string(kind) + "\n" + cdl);
      const fs::path whole = dir / "whole.nc";
      write_cdl(whole, cdl, kind);
      const auto ends = classic_variable_ends(whole.string());
      ASSERT_TRUE(ends.has_value());
      const auto size = static_cast<std::uint64_t>(fs::file_size(whole));
      EXPECT_EQ(*std::max_element(ends->begin(), ends->end()), size);

      for (std::size_t v = 0; v < ends->size(); ++v) {
        SCOPED_TRACE("variable " + std::to_string(v));
        int status = 0;
        const std::vector<double> expected = values_of(whole, static_cast<int>(v), status);
        ASSERT_EQ(status, NC_NOERR);
        const fs::path cut = dir / "cut.nc";
        fs::copy_file(whole, cut, fs::copy_options::overwrite_existing);
        fs::resize_file(cut, (*ends)[v]);
        EXPECT_EQ(raw_values_of(cut, static_cast<int>(v), expected.size()), expected);
        // One byte less: the variable's last byte is gone (the library
        // alone would read it as zero) and the file is refused.
        fs::resize_file(cut, (*ends)[v] - 1);
        EXPECT_NE(raw_values_of(cut, static_cast<int>(v), expected.size()), expected);
        values_of(cut, static_cast<int>(v), status);
        EXPECT_EQ(status, kRefusedInput);
      }
    }
  }
}

TEST(ClassicExtent, OtherFilesHaveNoClassicLayout) {
  ScratchDir dir;
  write_cdl(dir / "four.nc", kMixed, "nc4");
  EXPECT_FALSE(classic_variable_ends((dir / "four.nc").string()).has_value());
  write_file(dir / "text.nc", "CDF\x01 but nothing more");
  EXPECT_FALSE(classic_variable_ends((dir / "text.nc").string()).has_value());
  EXPECT_FALSE(classic_variable_ends((dir / "absent.nc").string()).has_value());
  // A header cut inside its variable list.
  write_cdl(dir / "whole.nc", kMixed, "nc3");
  fs::resize_file(dir / "whole.nc", 120);
  EXPECT_FALSE(classic_variable_ends((dir / "whole.nc").string()).has_value());

  // How the open ends: the library's own status for what it declines
  // cleanly (a missing file, text), a refusal for what it must not see.
  NcFile nc;
  EXPECT_EQ(nc.open((dir / "absent.nc").string()), ENOENT);
  write_file(dir / "plain.nc", "no netCDF at all");
  EXPECT_EQ(nc.open((dir / "plain.nc").string()), NC_ENOTNC);
  for (const char* shorter_than_a_signature : {"", "\x89HD"}) {  // declined without a probe
    write_file(dir / "short.nc", shorter_than_a_signature);
    EXPECT_EQ(nc.open((dir / "short.nc").string()), NC_ENOTNC);
  }
  EXPECT_EQ(nc.open((dir / "text.nc").string()), kRefusedInput);
  EXPECT_EQ(nc.open(dir.path().string()), kRefusedInput);
  EXPECT_EQ(nc.open((dir / "whole.nc").string()), kRefusedInput);
  EXPECT_EQ(nc.open((dir / "four.nc").string()), NC_NOERR);
}

}  // namespace
}  // namespace rn::test

namespace rn::test {
namespace {

// A classic header written byte by byte, to put in faults that no library
// would write.
struct HandVar {
  std::string name;
  std::vector<std::uint32_t> dims;
  std::uint32_t type;
  std::uint32_t vsize;
  std::uint32_t begin;
  std::uint32_t att_type = 0;  // an attribute "a" of one value of this type; 0: none
};
struct HandFile {
  std::uint32_t numrecs = 2;         // the header's record count
  std::uint32_t stored_records = 2;  // records the file holds
  std::vector<std::pair<std::string, std::uint32_t>> dims{{"x", 3}, {"rec", 0}};
  std::vector<HandVar> vars{{"v", {0}, 4, 12, 0}, {"r", {1, 0}, 3, 8, 0}};
  std::uint32_t var_count_extra = 0;  // added to the variable count
  std::size_t cut = 0;                // bytes cut off the end
};

std::string be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}
std::string hand_name(const std::string& n) {
  return be32(static_cast<std::uint32_t>(n.size())) + n + std::string((4 - n.size() % 4) % 4, '\0');
}

// The file's bytes; begins of 0 are laid out after the header (fixed
// variables, then the records), data bytes are 0x11.
std::string hand_bytes(HandFile f) {
  const auto header = [&] {
    std::string h = std::string("CDF\x01", 4) + be32(f.numrecs) + be32(0x0A) +
                    be32(static_cast<std::uint32_t>(f.dims.size()));
    for (const auto& [name, length] : f.dims) h += hand_name(name) + be32(length);
    h += be32(0) + be32(0) + be32(0x0B) + be32(static_cast<std::uint32_t>(f.vars.size()) + f.var_count_extra);
    for (const HandVar& v : f.vars) {
      h += hand_name(v.name) + be32(static_cast<std::uint32_t>(v.dims.size()));
      for (std::uint32_t d : v.dims) h += be32(d);
      h += v.att_type == 0 ? be32(0) + be32(0)
                           : be32(0x0C) + be32(1) + hand_name("a") + be32(v.att_type) + be32(1) + be32(0);
      h += be32(v.type) + be32(v.vsize) + be32(v.begin);
    }
    return h;
  };
  std::uint32_t at = static_cast<std::uint32_t>(header().size());
  std::uint32_t records = 0;
  for (HandVar& v : f.vars) {
    if (v.begin != 0) continue;
    const bool record = !v.dims.empty() && f.dims[v.dims[0] % f.dims.size()].second == 0;
    if (!record) {
      v.begin = at;
      at += v.vsize;
    } else {
      records += v.vsize;
    }
  }
  for (HandVar& v : f.vars) {
    if (v.begin == 0) {
      v.begin = at;
      at += v.vsize;
    }
  }
  std::string bytes = header();
  bytes.resize(at - records + f.stored_records * records, '\x11');
  bytes.resize(bytes.size() - std::min(f.cut, bytes.size()));
  return bytes;
}

TEST(ClassicHeaderCheck, SoundHandWrittenHeaderPasses) {
  const ClassicCheck check = check_classic_header(hand_bytes({}));
  ASSERT_TRUE(check.layout.has_value()) << check.problem;
  EXPECT_EQ(check.layout->data_ends.size(), 2u);
}

TEST(ClassicHeaderCheck, EveryFaultIsNamed) {
  struct Case {
    const char* label;
    void (*apply)(HandFile&);
    const char* problem;
  };
  const Case cases[] = {
      {"two record dimensions (the library divides by zero)",
       [](HandFile& f) { f.dims[0].second = 0; }, "more than one record (unlimited) dimension"},
      {"dimension id out of range", [](HandFile& f) { f.vars[0].dims[0] = 7; },
       "variable v uses dimension id 7, the file has 2 dimensions"},
      {"record dimension not first", [](HandFile& f) { f.vars[1].dims = {0, 1}; },
       "variable r has the record dimension in place 2"},
      {"a zero byte in a name", [](HandFile& f) { f.vars[0].name = std::string("v\0w", 3); },
       "a variable has a name holding a control character"},
      {"a name that is not UTF-8", [](HandFile& f) { f.dims[0].first = "\xC3("; },
       "a dimension has a name that is not UTF-8"},
      {"two variables of one name", [](HandFile& f) { f.vars[1].name = f.vars[0].name; }, "two variables are named v"},
      {"a variable count the file cannot hold", [](HandFile& f) { f.var_count_extra = 0x7FFFFFF0; },
       "that the file's"},
      {"a negative count", [](HandFile& f) { f.var_count_extra = 0x80000000u; }, "a negative variables"},
      {"an unknown attribute type", [](HandFile& f) { f.vars[0].att_type = 9; },
       "attribute a of variable v has an unknown type 9"},
      {"an unknown variable type", [](HandFile& f) { f.vars[0].type = 12; },
       "variable v has an unknown type 12"},
      {"vsize unlike the shape", [](HandFile& f) { f.vars[0].vsize = 16; },
       "variable v has vsize 16, its shape takes 12 bytes"},
      {"data inside the header", [](HandFile& f) { f.vars[0].begin = 8; }, "variable v begins at byte 8"},
      {"a dimension longer than the file", [](HandFile& f) { f.dims[0].second = 1u << 30; },
       "dimension x has length 1073741824, more than the file's"},
      {"more records than the file holds", [](HandFile& f) { f.numrecs = 1000; },
       "shorter than its header says (truncated): the data of variable r"},
      {"a file cut short", [](HandFile& f) { f.cut = 5; }, "shorter than its header says (truncated)"},
      {"a header cut short", [](HandFile& f) { f.cut = 40; }, "the header ends inside"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    HandFile f;
    c.apply(f);
    const ClassicCheck check = check_classic_header(hand_bytes(f));
    EXPECT_FALSE(check.layout.has_value());
    EXPECT_NE(check.problem.find(c.problem), std::string::npos) << check.problem;
  }
}

}  // namespace
}  // namespace rn::test
