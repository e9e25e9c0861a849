// Fuzz target: bedcarve's run on a fuzzed terrain file.  The terrain file is
// built from the input (fuzz_netcdf.hpp); then bedcarve's own run
// (`condition_terrain`: its readers and their ends, the memory check before
// the grid is allocated, the fill and the output) goes in process on it.
//
// Invariants: as every fuzz target (fuzz_support.hpp): the run completes
// (bedcarve's "finish" stop, status 0) or ends with a failure status and a
// message; no crash, no sanitizer report, no hang, memory within the
// fuzzer's limits.
#include <cstdint>

#include "fuzz_netcdf.hpp"
#include "terrain_conditioning.hpp"

namespace {

const rn::fuzz::FileLayout kTerrain{{{"south_north", 4}, {"west_east", 5}},
                                  {{"HGT_M", NC_FLOAT, {0, 1}}, {"LANDMASK", NC_FLOAT, {0, 1}}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rn::fuzz::work_dir();
  rn::fuzz::Bytes in(data, size);
  rn::fuzz::write_fuzzed_file(kTerrain, in, "terrain.nc");
  rn::fuzz::run_program_input([&] { rn::bedcarve::condition_terrain("terrain.nc", "conditioned.nc"); });
  return 0;
}
