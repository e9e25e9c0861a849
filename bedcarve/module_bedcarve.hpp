// `bedcarve`: conditions a terrain height grid so that water runs off every
// land cell.  Reads `HGT_M` and `LANDMASK` of one grid file, fills the closed
// depressions (depression_fill.hpp) and writes the conditioned heights.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "depression_fill.hpp"

namespace rn::bedcarve {

/// The program's state, created once per run.
struct Module {
  std::string infile, outfile;   ///< trimmed input and output file names
  std::int32_t ixrt = 0, jxrt = 0;
  std::vector<float> height;     ///< HGT_M, raised in place
  std::vector<std::int32_t> lake;     ///< LANDMASK as read
  std::vector<std::int32_t> channel;  ///< 1 at water cells (LANDMASK 0), -999 elsewhere
  FillCounts counts;
};

/// Stores the file names (cut at 256 characters, trailing blanks removed).
void setinivalue(Module& m, std::string_view infile, std::string_view outfile);
/// Reads the grid ("ixrt = " and the two " reading variable " records).
void inimodule(Module& m);
/// The sweep over all start cells ("step 5"/"step 6" records).
void run(Module& m);
/// Writes the output file: `west_east`, `south_north`, float `HGT_M`.
void output(const Module& m);
/// The whole program: the four steps above, then the text stop "finish"
/// (status 0).
void bedcarve_drv(std::string_view infile, std::string_view outfile);

}  // namespace rn::bedcarve
