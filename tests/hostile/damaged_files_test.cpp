// Damaged netCDF inputs, every program: a variable of the wrong size, text
// where numbers are due, a dimension without values, dimensions whose
// product passes 32 bits, dimensions as long as the file that no variable
// uses, a file cut short, and the other on-disk format.
// Each run ends with its message and status and leaves no partial output,
// or completes where the damage is one the program handles as it says.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "hostile_support.hpp"

namespace rn::test::hostile {
namespace {

enum class Kind { wrong_count, text, empty, huge, unused, truncated, other_format };

struct Row {
  const char* name;     // program case
  Kind kind;
  const char* file;     // damaged input, relative to the work area
  const char* what;     // variable, dimension, "dim=length,..." (huge, unused), fraction kept (truncated)
  int status;           // expected exit status; 0: the run completes
  const char* message;  // expected on the error stream or standard output
};

constexpr const char* kGeo = "parent/parent_geo.nc";
constexpr const char* kLinks = "parent/parent_links.nc";
constexpr const char* kOverlap = "parent/parent_overlap.nc";
constexpr const char* kChild = "child/child_grid.nc";
constexpr const char* kReach = "channel/reach_2016010100.nc";
constexpr const char* kPoints = "channel/points_2016010100.nc";
constexpr const char* kCellMapping = "cellfeed/mapping.nc";
constexpr const char* kLatLon = "forcing/latlon_full/2016010100.forcing.nc";
constexpr const char* kLambert = "forcing/lambert_rain/2016010103.forcing.nc";
constexpr const char* kTerrain = "child/terrain.nc";

constexpr const char* kSizeStop = "variable size does not match the array";
constexpr const char* kReadStop = "failed to read the netcdf variable";
constexpr const char* kTextReason = "NetCDF: Attempt to convert between text & numbers";
// A classic file shorter than its header says is refused when it is opened.
constexpr const char* kTruncatedReason = "refused: shorter than its header says (truncated)";
constexpr const char* kTooLong = "more than a 32-bit integer holds";
constexpr const char* kUnopenable = "In get_file_dimension() - Problem opening file";
constexpr const char* kFiveBillion = "5000000000";

const std::vector<Row>& rows() {
  using K = Kind;
  static const std::vector<Row> all = {
      // linkweaver: four inputs, each read by its own kind of reader.
      {"linkweaver", K::wrong_count, kOverlap, "i_index", 1, "In get1d_int() - variable size does not match"},
      {"linkweaver", K::wrong_count, kChild, "LATITUDE", 1, "In get2d_real() - variable size does not match"},
      {"linkweaver", K::text, kOverlap, "regridweight", 1, "In get1d_real8() - failed to read the netcdf variable"},
      {"linkweaver", K::text, kGeo, "XLONG_M", 1,
       "Error: failed to read variable XLONG_M in parent/parent_geo.nc: NetCDF: Attempt to convert"},
      {"linkweaver", K::empty, kChild, "y", 1, "In init_child() - the child routing grid has no cells"},
      {"linkweaver", K::empty, kOverlap, "data", 1, "add up to 1478 records, more than its 0"},
      {"linkweaver", K::empty, kGeo, "south_north", 1, "Error: variable XLAT_M in parent/parent_geo.nc holds no values"},
      // Only the ring of the child grid and the first geo cell are read:
      // they hold fill values, which place nothing.
      {"linkweaver", K::huge, kChild, "x=70000,y=70000", 1,
       "corner cell (1, 1) of the child grid has no place on the parent grid"},
      {"linkweaver", K::huge, kGeo, "west_east=70000,south_north=70000", 1,
       "cell (1, 1) of parent/parent_geo.nc has no valid latitude and longitude"},
      {"linkweaver", K::huge, kOverlap, "data=5000000000", 1, kTooLong},
      {"linkweaver", K::unused, kChild, "x=16000,y=16000", 1, kSizeStop},
      {"linkweaver", K::truncated, kGeo, "0.5", 1, kTruncatedReason},
      {"linkweaver", K::truncated, kOverlap, "0.5", 1, kTruncatedReason},
      {"linkweaver", K::other_format, kChild, "", 0, ""},

      {"reachfeed", K::wrong_count, kReach, "streamflow", 1, kSizeStop},
      {"reachfeed", K::text, kReach, "streamflow", 1, kTextReason},
      // No feature ids: every entry is unmatched and warned about.
      {"reachfeed", K::empty, kReach, "feature_id", 0, "Warning: the node could not find from fcst output"},
      {"reachfeed", K::empty, "mapping.nc", "gridNum", 1, "has childIndex 3, outside 1 to gridNum = 0"},
      {"reachfeed", K::huge, kReach, "feature_id=5000000000", 1, kFiveBillion},
      {"reachfeed", K::unused, kReach, "feature_id=16000", 1, kSizeStop},
      {"reachfeed", K::truncated, kReach, "0.5", 1, kUnopenable},
      {"reachfeed", K::truncated, "mapping.nc", "0.5", 1, kTruncatedReason},
      {"reachfeed", K::other_format, kReach, "", 0, ""},

      {"cellfeed", K::wrong_count, kCellMapping, "fcstIndex", 1, kSizeStop},
      {"cellfeed", K::text, kPoints, "streamflow", 1, kTextReason},
      // No parent records: every node is outside and gets -9999.
      {"cellfeed", K::empty, kPoints, "recNum", 0, "fcst index ="},
      {"cellfeed", K::huge, kPoints, "recNum=5000000000", 1, kFiveBillion},
      {"cellfeed", K::unused, kCellMapping, "childNodeNum=16000", 1, kSizeStop},
      {"cellfeed", K::truncated, kCellMapping, "0.9", 1, kTruncatedReason},
      {"cellfeed", K::other_format, kCellMapping, "", 0, ""},

      {"flowglobe", K::wrong_count, kPoints, "latitude", 1, kSizeStop},
      // The segment file's columns and rows are read at any size, then dropped.
      {"flowglobe", K::wrong_count, "seg_info.nc", "chanxi", 0, ""},
      {"flowglobe", K::text, "seg_info.nc", "chanyj", 1, kTextReason},
      {"flowglobe", K::empty, kPoints, "recNum", 0, ""},
      {"flowglobe", K::huge, "seg_info.nc", "n=5000000000", 1, "In get1d_int() - variable too long"},
      {"flowglobe", K::unused, kPoints, "recNum=16000", 1, kSizeStop},
      {"flowglobe", K::truncated, "seg_info.nc", "0.5", 1, kTruncatedReason},
      {"flowglobe", K::other_format, kPoints, "", 0, ""},

      {"flowglobe_max", K::wrong_count, kPoints, "acc_streamflowMax", 1, kSizeStop},
      {"flowglobe_max", K::text, kPoints, "chanyj", 1, kTextReason},
      {"flowglobe_max", K::empty, kPoints, "recNum", 0, ""},
      {"flowglobe_max", K::huge, kPoints, "recNum=5000000000", 1, kFiveBillion},
      {"flowglobe_max", K::unused, kPoints, "recNum=16000", 1, kSizeStop},
      {"flowglobe_max", K::truncated, kPoints, "0.5", 1, kUnopenable},
      {"flowglobe_max", K::other_format, "seg_info.nc", "", 0, ""},

      {"flowglobe_drv1", K::wrong_count, kPoints, "longitude", 1, kSizeStop},
      {"flowglobe_drv1", K::text, kPoints, "order", 1, kTextReason},
      {"flowglobe_drv1", K::empty, kPoints, "recNum", 0, ""},
      {"flowglobe_drv1", K::huge, kPoints, "recNum=5000000000", 1, kFiveBillion},
      {"flowglobe_drv1", K::unused, kPoints, "recNum=16000", 1, kSizeStop},
      {"flowglobe_drv1", K::truncated, kPoints, "0.5", 1, kUnopenable},
      {"flowglobe_drv1", K::other_format, kPoints, "", 0, ""},

      {"flowglobe_seg", K::wrong_count, "seg_info.nc", "chlat", 1, kSizeStop},
      {"flowglobe_seg", K::text, "seg_info.nc", "order", 1, kTextReason},
      {"flowglobe_seg", K::empty, "seg_info.nc", "n", 0, ""},
      {"flowglobe_seg", K::huge, "seg_info.nc", "n=5000000000", 1, kFiveBillion},
      {"flowglobe_seg", K::unused, "seg_info.nc", "n=16000", 1, kSizeStop},
      {"flowglobe_seg", K::truncated, "seg_info.nc", "0.5", 1, kTruncatedReason},
      {"flowglobe_seg", K::other_format, "seg_info.nc", "", 0, ""},

      {"siteseries", K::wrong_count, kLatLon, "U10", 1, "In get2d_real() - variable size does not match"},
      // A field that cannot be read keeps its earlier values (none yet: 0).
      {"siteseries", K::text, kLatLon, "T2", 0,
       "get2d_real: failed to read the variable: T2 or T2_M in ../forcing/latlon_full/2016010100.forcing.nc"},
      {"siteseries", K::text, kLatLon, "lon_0", 1, kTextReason},
      {"siteseries", K::empty, kLatLon, "lat_0", 1, "lat_0 and lon_0 need two points each"},
      // Whole grids are reserved (only the rows the sites need are read):
      // refused under an address-space limit of 2 GiB.
      {"siteseries", K::huge, kLatLon, "lat_0=65536,lon_0=65537", 1, "Error: out of memory"},
      {"siteseries", K::unused, kLatLon, "lat_0=16000,lon_0=16000", 1, kSizeStop},
      {"siteseries", K::truncated, kLatLon, "0.5", 1, "checkRainType failed to open the netcdf file"},
      {"siteseries", K::other_format, kLatLon, "", 0, ""},

      {"siteseries_rain", K::wrong_count, kLambert, "RAIN", 1, kSizeStop},
      {"siteseries_rain", K::text, kLambert, "RAIN", 0, "get2d_real: failed to read the variable: RAIN or RAIN_M"},
      // No rows: every site is too near the edge and gets asterisks.
      {"siteseries_rain", K::empty, kLambert, "ygrid_0", 0, ""},
      {"siteseries_rain", K::huge, kLambert, "ygrid_0=65536,xgrid_0=65537", 1, "Error: out of memory"},
      {"siteseries_rain", K::unused, kLambert, "ygrid_0=16000,xgrid_0=16000", 1, kSizeStop},
      {"siteseries_rain", K::truncated, kLambert, "0.5", 1, "checkRainType failed to open the netcdf file"},
      {"siteseries_rain", K::other_format, kLambert, "", 0, ""},

      {"bedcarve", K::wrong_count, kTerrain, "HGT_M", 1, kSizeStop},
      {"bedcarve", K::text, kTerrain, "LANDMASK", 231, "get2d_int: failed to read the variable: LANDMASK in child/terrain.nc"},
      {"bedcarve", K::empty, kTerrain, "west_east", 1, "Error: terrain grid child/terrain.nc has no cells"},
      {"bedcarve", K::huge, kTerrain, "west_east=65536,south_north=65537", 1, "cells is too large: it needs about"},
      {"bedcarve", K::unused, kTerrain, "west_east=16000,south_north=16000", 1, kSizeStop},
      {"bedcarve", K::truncated, kTerrain, "0.5", 1, kTruncatedReason},
      {"bedcarve", K::other_format, kTerrain, "", 0, ""},
  };
  return all;
}

// Failures that a program's own check of the values read finds (or memory
// that runs out): their messages say what is wrong.  Every other failure is
// a reader's, and the line before its stop names the program, the file and
// the library's reason.
bool found_by_a_check(const Row& row) {
  for (const char* check : {"has no cells", "add up to", "outside 1 to gridNum", "need two points",
                            "out of memory", "too large", "no place on", "no valid latitude"}) {
    if (std::string_view(row.message).find(check) != std::string_view::npos) return true;
  }
  return false;
}

// "a=1,b=2" as dimension lengths.
std::map<std::string, std::size_t> dimension_lengths(const std::string& text) {
  std::map<std::string, std::size_t> dims;
  std::istringstream items(text);
  for (std::string item; std::getline(items, item, ',');) {
    const auto eq = item.find('=');
    dims[item.substr(0, eq)] = std::stoull(item.substr(eq + 1));
  }
  return dims;
}

void damage(const Workspace& w, const Row& row) {
  const fs::path file = w / row.file;
  NcEdit edit;
  switch (row.kind) {
    case Kind::wrong_count: edit.recount_var = row.what; break;
    case Kind::text: edit.text_var = row.what; break;
    case Kind::empty: edit.empty_dim = row.what; break;
    case Kind::huge: edit.huge_dims = dimension_lengths(row.what); break;
    case Kind::unused: edit.unused_dims = dimension_lengths(row.what); break;
    case Kind::truncated: truncate_file(file, std::stod(row.what)); return;
    case Kind::other_format:
      edit.kind = nc_kind_name(file) == "classic" ? NcKind::netcdf4 : NcKind::classic;
      break;
  }
  damage_nc(file, edit);
}

// Runs every row of one kind; every program that reads netCDF has one.
void run_rows(Kind kind, const Launch& how = {}) {
  std::set<std::string> covered;
  for (const Row& row : rows()) {
    if (row.kind != kind) continue;
    const ProgramCase& c = program_case(row.name);
#if defined(__SANITIZE_ADDRESS__)
    // Reserves whole grids: AddressSanitizer cannot run under the
    // address-space limit that keeps such a run small.
    if (kind == Kind::huge && c.program == "siteseries") {
      covered.insert(row.name);
      continue;
    }
#endif
    SCOPED_TRACE(std::string(row.name) + ": " + row.file + " " + row.what);
    covered.insert(row.name);
    Workspace w(c);
    damage(w, row);
    const Outcome o = w.run(how);
    expect_end(w, o, row.status, row.message);
    if (kind == Kind::unused) {
      // A grid of 16000 x 16000 would take gigabytes: nothing of that size
      // is allocated before the variable's size is known.
      EXPECT_LT(o.peak_rss_kb, 256L * 1024) << "peak resident size";
    }
    if (row.status != 0 && !found_by_a_check(row)) {
      // "<program>: <file>: [<dimension or variable>: ]<reason>"
      const std::string place = "\n" + c.program + ": ";
      const auto at = ("\n" + o.result.err).find(place);
      ASSERT_NE(at, std::string::npos) << describe(o);
      EXPECT_NE(o.result.err.find(fs::path(row.file).filename().string(), at), std::string::npos)
          << describe(o);
    }
  }
  for (const std::string& name : netcdf_case_names()) {
    EXPECT_EQ(covered.count(name), 1u) << "no damaged input of this kind for " << name;
  }
}

TEST(DamagedInput, WrongElementCount) { run_rows(Kind::wrong_count); }
TEST(DamagedInput, TextWhereNumbersAreDue) { run_rows(Kind::text); }
TEST(DamagedInput, ZeroLengthDimension) { run_rows(Kind::empty); }
TEST(DamagedInput, TruncatedFile) { run_rows(Kind::truncated); }
TEST(DamagedInput, OtherFormat) { run_rows(Kind::other_format); }

// Dimensions whose product passes 32 bits, in netCDF-4 files of a few
// kilobytes without data: refused before anything that size is allocated.
// The runs get an address-space limit, so that a program that tried would
// fail at once instead of taking the machine's memory (not under
// AddressSanitizer, which needs far more address space than any limit).
Launch within_two_gib() {
  Launch limited;
#if !defined(__SANITIZE_ADDRESS__)
  limited.address_space_limit = 2L << 30;
#endif
  return limited;
}

TEST(DamagedInput, DimensionsBeyondThirtyTwoBits) { run_rows(Kind::huge, within_two_gib()); }

// Classic files whose grid dimensions (each about as long as the file, as
// the check allows) are used by no variable: every program ends on the
// variable's size before allocating anything by the dimensions, in a few
// megabytes, under the same address-space limit as above (siteseries
// reserved whole grids by the dimensions before).
TEST(DamagedInput, DimensionsNoVariableUses) { run_rows(Kind::unused, within_two_gib()); }

// A damaged file of a later hour: the hours before it stay whole, the
// damaged hour gets no file.
TEST(DamagedLaterHour, EarlierHoursStayWhole) {
  ProgramCase two_hours = program_case("siteseries");
  const std::string later = "forcing/latlon_full/2016010101.forcing.nc";
  two_hours.inputs.push_back(later);
  two_hours.args.at(3) = std::string(1, '2');  // Hrs
  Workspace reference(two_hours);
  ASSERT_EQ(reference.run().result.status, 0);
  const std::string first_hour = read_file(reference / "out/2016010100.txt");

  struct Damage {
    const char* label;
    std::function<void(const fs::path&)> apply;
    const char* message;
  };
  const Damage damages[] = {
      {"truncated", [](const fs::path& f) { truncate_file(f); },
       "get2d_real: failed to open the netcdf file: ../forcing/latlon_full/2016010101.forcing.nc"},
      {"T2 of another size",
       [](const fs::path& f) {
         NcEdit e;
         e.recount_var = "T2";
         damage_nc(f, e);
       },
       "In get2d_real() - variable size does not match the array"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.label);
    Workspace w(two_hours);
    d.apply(w / later);
    const Outcome o = w.run();
    expect_refused(w, o, 1, d.message, {"out/2016010100.txt"});
    EXPECT_EQ(read_file(w / "out/2016010100.txt"), first_hour);
    EXPECT_FALSE(fs::exists(w / "out/2016010101.txt"));
  }
}

}  // namespace
}  // namespace rn::test::hostile
