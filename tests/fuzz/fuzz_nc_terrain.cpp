// Fuzz target: the terrain readers.  The terrain file is built from the
// input (fuzz_netcdf.hpp); then bedcarve's readers run in process on it:
// its dimensions, the heights and the land mask (fatal on failure, as
// bedcarve reads them).
//
// Invariants: as every fuzz target (fuzz_support.hpp): the run completes
// or ends with a failure status and a message; no crash, no sanitizer
// report, no hang, memory within the fuzzer's limits.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_netcdf.hpp"
#include "terrain_readers.hpp"

namespace {

const rn::fuzz::FileLayout kTerrain{{{"south_north", 4}, {"west_east", 5}},
                                  {{"HGT_M", NC_FLOAT, {0, 1}}, {"LANDMASK", NC_FLOAT, {0, 1}}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rn::fuzz::work_dir();
  rn::fuzz::Bytes in(data, size);
  rn::fuzz::write_fuzzed_file(kTerrain, in, "terrain.nc");
  rn::fuzz::run_program_input([&] {
    std::int32_t ix = 0, jx = 0;
    rn::terrain::get_dim("terrain.nc", ix, jx);
    const std::size_t cells = static_cast<std::size_t>(std::max(ix, 0)) * static_cast<std::size_t>(std::max(jx, 0));
    std::vector<float> height(cells);
    std::vector<std::int32_t> mask(cells);
    rn::terrain::readrt2d_real("HGT_M", height, ix, jx, "terrain.nc", 1);
    rn::terrain::readrt2d_int("LANDMASK", mask, ix, jx, "terrain.nc", 1);
  });
  return 0;
}
