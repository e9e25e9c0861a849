#include "module_bedcarve.hpp"

#include <string>

#include "file_names.hpp"
#include "nc_writer.hpp"
#include "program_end.hpp"
#include "terrain_readers.hpp"

namespace rn::bedcarve {

void setinivalue(Module& m, std::string_view infile, std::string_view outfile) {
  m.infile = trim_name(infile);
  m.outfile = trim_name(outfile);
}

void inimodule(Module& m) {
  terrain::get_dim(m.infile, m.ixrt, m.jxrt);
  // Refused before anything is allocated: a file of a few bytes may claim a
  // grid of billions of cells, and a grid without cells has nothing to
  // condition (nor a shape the output format can hold).
  if (m.ixrt < 1 || m.jxrt < 1) {
    fail("Error: terrain grid " + m.infile + " has no cells (west_east " + std::to_string(m.ixrt) +
         ", south_north " + std::to_string(m.jxrt) + ")");
  }
  check_grid_cells(m.ixrt, m.jxrt);
  const auto cells = static_cast<std::size_t>(m.ixrt) * static_cast<std::size_t>(m.jxrt);
  m.height.assign(cells, 0.0f);
  m.lake.assign(cells, 0);
  terrain::readrt2d_real("HGT_M", m.height, m.ixrt, m.jxrt, m.infile, 1);
  terrain::readrt2d_int("LANDMASK", m.lake, m.ixrt, m.jxrt, m.infile, 1);
  m.channel.assign(cells, -999);
  for (std::size_t c = 0; c < cells; ++c) {
    if (m.lake[c] == 0) m.channel[c] = 1;
  }
}

void run(Module& m) { m.counts = fill_depressions(m.height, m.channel, m.ixrt, m.jxrt); }

void output(const Module& m) {
  NcWriter file(m.outfile);
  const int we = file.def_dim("west_east", static_cast<std::size_t>(m.ixrt));
  const int sn = file.def_dim("south_north", static_cast<std::size_t>(m.jxrt));
  const int hgt = file.def_var("HGT_M", NcVarType::real32, {sn, we});
  file.enddef();
  file.put(hgt, m.height);
  file.commit();
}

void bedcarve_drv(std::string_view infile, std::string_view outfile) {
  Module m;
  setinivalue(m, infile, outfile);
  inimodule(m);
  run(m);
  output(m);
  text_stop("finish", 0);
}

}  // namespace rn::bedcarve
