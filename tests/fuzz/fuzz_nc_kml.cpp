// Fuzz target: the channel input of the globe exporters.  The first byte
// picks the program (flowglobe, flowglobe_max, flowglobe_drv1,
// flowglobe_seg) and which netCDF input (channel points or segment file) is
// built from the rest (fuzz_netcdf.hpp); the other is written sound.  The
// program then runs in process on a two-station list.
//
// Invariants: as every fuzz target (fuzz_support.hpp): the run completes
// or ends with a failure status and a message; no crash, no sanitizer
// report, no hang, memory within the fuzzer's limits.
#include <cstdint>

#include "fuzz_netcdf.hpp"
#include "kml_tools.hpp"

namespace {

using rn::fuzz::FileLayout;

const FileLayout kSegments{{{"n", 6}},
                         {{"chlat", NC_FLOAT, {0}}, {"chlon", NC_FLOAT, {0}}, {"order", NC_INT, {0}},
                          {"chanxi", NC_INT, {0}}, {"chanyj", NC_INT, {0}}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool stations = [] {
    rn::fuzz::work_dir();
    rn::fuzz::write_text("station_list.txt",
                         "40.04063 -99.87600 'Otter River at Kingsley' 1001 3 2\n"
                         "39.95925 -99.87614 'Cedar Creek' 1002 4 5\n");
    return true;
  }();
  (void)stations;
  rn::fuzz::Bytes in(data, size);
  rn::fuzz::Bytes none(nullptr, 0);
  const std::uint8_t pick = in.u8();
  const int program = pick % 4;
  const bool segments = program == 3 || (program < 2 && (pick & 4) != 0);
  rn::fuzz::write_fuzzed_file(rn::fuzz::kChannelPoints, segments ? none : in, "points.nc");
  rn::fuzz::write_fuzzed_file(kSegments, segments ? in : none, "seg_info.nc");
  rn::fuzz::run_program_input([&] {
    switch (program) {
      case 0: rn::kml::write_streamflow_globe(rn::kml::kFlowglobe, "points.nc", "out.kml", 1, "seg_info.nc", "station_list.txt", 2); break;
      case 1: rn::kml::write_streamflow_globe(rn::kml::kFlowglobeMax, "points.nc", "out.kml", 1, "seg_info.nc", "station_list.txt", 2); break;
      case 2: rn::kml::write_node_globe("points.nc", "out.kml", 2, 3); break;
      default: rn::kml::write_segment_globe("seg_info.nc", "out.kml", 2, "station_list.txt"); break;
    }
  });
  return 0;
}
