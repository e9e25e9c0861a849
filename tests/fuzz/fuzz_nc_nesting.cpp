// Fuzz target: the input path of the nesting programs.  The first byte
// picks the program (reachfeed or cellfeed) and which of its two netCDF
// inputs is built from the rest (fuzz_netcdf.hpp); the other is written
// sound.  The module's set-up then reads both in process.
//
// Invariants: the set-up completes or ends the program with a failure
// status and a message (fuzz_support.hpp); no crash, no sanitizer report,
// no hang, memory within the fuzzer's limits.
#include <cstdint>
#include <cstdio>

#include "fuzz_netcdf.hpp"
#include "cellfeed.hpp"
#include "reachfeed.hpp"

namespace {

using rn::fuzz::FileLayout;

const FileLayout kReach{{{"time", 1}, {"feature_id", 6}},
                      {{"time", NC_INT, {0}},
                       {"feature_id", NC_INT, {1}},
                       {"streamflow", NC_INT, {1}, {{"scale_factor", NC_FLOAT, 0.01}, {"add_offset", NC_FLOAT, 0.0}}}}};
const FileLayout kReachMapping{{{"ndata", 4}, {"gridNum", 4}},
                             {{"PnodeId", NC_INT, {0}}, {"pOrder", NC_INT, {0}}, {"cOrder", NC_INT, {0}},
                              {"weight", NC_FLOAT, {0}}, {"childIndex", NC_INT, {0}},
                              {"ci_grid", NC_INT, {1}}, {"cj_grid", NC_INT, {1}}}};
const FileLayout kCellMapping{{{"childNodeNum", 4}},
                            {{"weight", NC_FLOAT, {0}}, {"ci_grid", NC_INT, {0}}, {"cj_grid", NC_INT, {0}},
                             {"fcstIndex", NC_INT, {0}}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rn::fuzz::work_dir();
  rn::fuzz::Bytes in(data, size);
  rn::fuzz::Bytes none(nullptr, 0);
  const std::uint8_t pick = in.u8() % 4;
  const bool reach = pick < 2;
  const FileLayout& input = reach ? kReach : rn::fuzz::kChannelPoints;
  const FileLayout& mapping = reach ? kReachMapping : kCellMapping;
  rn::fuzz::write_fuzzed_file(input, pick % 2 == 0 ? in : none, "input.nc");
  rn::fuzz::write_fuzzed_file(mapping, pick % 2 == 1 ? in : none, "mapping.nc");
  std::remove("mapping_index.nc");  // the cache of an earlier input
  rn::fuzz::run_program_input([&] {
    if (reach) {
      rn::nesting::ReachInflow m;
      m.read_inputs("input.nc");
    } else {
      rn::nesting::CellInflow m;
      m.read_inputs("input.nc");
    }
  });
  return 0;
}
