// Fuzz target: the readers of linkweaver's four netCDF inputs.  The first
// byte picks the file (parent geo, route links, overlap, child grid) built
// from the rest (fuzz_netcdf.hpp); the readers of that file then run in
// process as linkweaver runs them (the child grid's with a sound geo file).
//
// Invariants: as every fuzz target (fuzz_support.hpp): the readers
// complete or end with a failure status and a message; no crash, no
// sanitizer report, no hang, memory within the fuzzer's limits.
#include <cstdint>

#include "child_grid.hpp"
#include "configuration.hpp"
#include "fuzz_netcdf.hpp"
#include "parent_network.hpp"
#include "slot_lists.hpp"
#include "state.hpp"

namespace {

using rn::fuzz::AttLayout;
using rn::fuzz::FileLayout;

const std::vector<AttLayout> kProjection{{"TRUELAT1", NC_FLOAT, 33.0}, {"TRUELAT2", NC_FLOAT, 45.0},
                                       {"CEN_LAT", NC_FLOAT, 40.0}, {"CEN_LON", NC_FLOAT, -100.0},
                                       {"STAND_LON", NC_FLOAT, -100.0}};
const FileLayout kGeo{{{"Time", 1}, {"south_north", 4}, {"west_east", 5}},
                    {{"XLAT_M", NC_FLOAT, {0, 1, 2}}, {"XLONG_M", NC_FLOAT, {0, 1, 2}},
                     {"HGT_M", NC_FLOAT, {0, 1, 2}}, {"LANDMASK", NC_FLOAT, {0, 1, 2}}},
                    kProjection};
const FileLayout kLinks{{{"linkDim", 5}},
                      {{"link", NC_INT, {0}}, {"order", NC_INT, {0}}, {"to", NC_INT, {0}},
                       {"lat", NC_FLOAT, {0}}, {"lon", NC_FLOAT, {0}}}};
const FileLayout kOverlap{{{"polyid", 3}, {"data", 6}},
                        {{"polyid", NC_INT, {0}}, {"overlaps", NC_INT, {0}}, {"i_index", NC_INT, {1}},
                         {"j_index", NC_INT, {1}}, {"regridweight", NC_DOUBLE, {1}}}};
const FileLayout kChild{{{"x", 5}, {"y", 4}},
                      {{"x", NC_DOUBLE, {0}}, {"y", NC_DOUBLE, {1}}, {"CHANNELGRID", NC_INT, {1, 0}},
                       {"FLOWDIRECTION", NC_INT, {1, 0}}, {"STREAMORDER", NC_INT, {1, 0}},
                       {"LATITUDE", NC_FLOAT, {1, 0}}, {"LONGITUDE", NC_FLOAT, {1, 0}}},
                      kProjection};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace lw = rn::linkweaver;
  rn::fuzz::work_dir();
  rn::fuzz::Bytes in(data, size);
  rn::fuzz::Bytes none(nullptr, 0);
  const int pick = in.u8() % 4;
  const FileLayout* layouts[] = {&kGeo, &kLinks, &kOverlap, &kChild};
  const char* names[] = {"geo.nc", "links.nc", "overlap.nc", "child.nc"};
  rn::fuzz::write_fuzzed_file(*layouts[pick], in, names[pick]);
  if (pick == 3) rn::fuzz::write_fuzzed_file(kGeo, none, "geo.nc");
  rn::fuzz::run_program_input([&] {
    lw::NestingConfig config;
    config.mapproject = "LC";
    config.dxkm = 1.0f;
    config.geo_parent_f = "geo.nc";
    config.fulldom_child_f = "child.nc";
    switch (pick) {
      case 0: {
        std::int32_t ix = 0, jx = 0;
        float lat0 = 0.0f, lon0 = 0.0f;
        lw::read_projection_attributes(config);
        lw::read_geo_dimensions("geo.nc", ix, jx);
        lw::read_parent_anchor("geo.nc", lat0, lon0);
        break;
      }
      case 1: {
        lw::ParentLinks links;
        lw::read_parent_links("links.nc", links);
        break;
      }
      case 2: {
        std::int32_t ndata = 0, npid = 0;
        lw::read_overlap_dimensions("overlap.nc", ndata, npid);
        lw::OverlapRecords records;
        lw::read_overlap_records("overlap.nc", ndata, npid, records);
        lw::check_overlap_counts("overlap.nc", records.overlaps, ndata);
        break;
      }
      default: {
        lw::read_projection_attributes(config);
        lw::ChildGrid child;
        lw::PerimeterMatch match;
        lw::read_child_grid(config, child, match);
        break;
      }
    }
  });
  return 0;
}
