// Fuzz target: the terrain readers, through bedcarve.  The terrain file is
// built from the input (fuzz_netcdf.hpp); bedcarve then runs in process on
// it (dimensions, height and land mask readers, the fill, the output).
//
// Invariants: as every fuzz target (fuzz_support.hpp): the run completes
// or ends with a failure status and a message; no crash, no sanitizer
// report, no hang, memory within the fuzzer's limits.
#include <cstdint>

#include "fuzz_netcdf.hpp"
#include "module_bedcarve.hpp"

namespace {

const rn::fuzz::FileSpec kTerrain{{{"south_north", 4}, {"west_east", 5}},
                                  {{"HGT_M", NC_FLOAT, {0, 1}}, {"LANDMASK", NC_FLOAT, {0, 1}}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rn::fuzz::work_dir();
  rn::fuzz::Bytes in(data, size);
  rn::fuzz::write_fuzzed_file(kTerrain, in, "terrain.nc");
  rn::fuzz::run_program_input([&] { rn::bedcarve::bedcarve_drv("terrain.nc", "filled.nc"); });
  return 0;
}
