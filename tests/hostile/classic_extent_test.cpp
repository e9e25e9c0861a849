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
}

}  // namespace
}  // namespace rn::test
