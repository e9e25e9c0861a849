#include "dem_conditioning.hpp"

#include <algorithm>
#include <cctype>
#include <string>

#include "bedcarve_messages.hpp"
#include "conditioned_file.hpp"
#include "file_names.hpp"
#include "program_end.hpp"
#include "raster_terrain.hpp"
#include "run_progress.hpp"
#include "terrain_conditioning.hpp"

namespace rn::bedcarve {

bool geotiff_name(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.ends_with(".tif") || lower.ends_with(".tiff");
}

void condition_dem(std::string_view infile, std::string_view outfile, bool dem) {
  const std::string in = trim_name(infile);
  const std::string out = trim_name(outfile);
  const bool raster_in = dem || is_raster(in);
  const bool raster_out = geotiff_name(out);
  if (!raster_in && !raster_out) {
    condition_terrain(in, out);  // ends the run
    return;
  }

  RunProgress progress;
  progress.begin("reading " + in);
  RasterFrame frame;
  bool reversed = false;
  Terrain t = raster_in ? read_raster(in, frame) : read_terrain(in);
  if (!raster_in) frame = netcdf_terrain_frame(in, t.height, reversed);
  fill_terrain(t, progress.sweep());
  progress.begin("writing " + out);
  if (raster_out) {
    write_geotiff(out, t.height, frame, reversed);
  } else {
    write_raster_conditioned(out, t.height, t.water, frame);
  }
  text_stop(messages::kFinish, 0);
}

}  // namespace rn::bedcarve
