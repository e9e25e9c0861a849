// Fuzz target: siteseries' forcing reader.  The first byte picks the grid
// (latitude-longitude with the full set of fields, or the Lambert grid with
// rain only); the start hour's forcing file is built from the rest
// (fuzz_netcdf.hpp) and siteseries runs one hour in process on a two-site
// list.
//
// Invariants: as every fuzz target (fuzz_support.hpp): the run completes
// or ends with a failure status and a message; no crash, no sanitizer
// report, no hang, memory within the fuzzer's limits.
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "fuzz_netcdf.hpp"
#include "siteseries.hpp"

namespace {

using rn::fuzz::FileLayout;

const FileLayout kLatLon{{{"lat_0", 4}, {"lon_0", 5}},
                       {{"lat_0", NC_FLOAT, {0}}, {"lon_0", NC_FLOAT, {1}}, {"U10", NC_FLOAT, {0, 1}},
                        {"V10", NC_FLOAT, {0, 1}}, {"T2", NC_FLOAT, {0, 1}}, {"Q2", NC_FLOAT, {0, 1}},
                        {"RAINRATE", NC_FLOAT, {0, 1}}}};
const FileLayout kLambertRain{{{"ygrid_0", 4}, {"xgrid_0", 5}}, {{"RAIN", NC_FLOAT, {0, 1}}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool made = [] {
    rn::fuzz::work_dir();
    std::filesystem::create_directories("forcing");
    rn::fuzz::write_text("sites.txt", "zip lat lon city state\n23574 2.5 2.5 Stonebridge NM\n"
                                      "47308 22.0407 -122.7141 Stonebridge CO\n");
    return true;
  }();
  (void)made;
  rn::fuzz::Bytes in(data, size);
  const bool latlon = (in.u8() & 1) == 0;
  rn::fuzz::write_fuzzed_file(latlon ? kLatLon : kLambertRain, in, "forcing/2016010100.forcing.nc");
  std::remove("2016010100.txt");  // an hour already written would only be looked at
  rn::fuzz::run_program_input([&] {
    rn::siteseries::Arguments args;
    args.usarea = 1;
    args.latlontype = latlon ? 1 : 0;
    args.startdate = "2016010100";
    args.hrs = 1;
    args.suffix = ".forcing.nc";
    args.indir = "forcing";
    args.pointfile = "sites.txt";
    rn::siteseries::SiteSeries m;
    rn::siteseries::set_up(m, args);
    rn::siteseries::run_hours(m);
  });
  return 0;
}
