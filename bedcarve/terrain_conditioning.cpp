#include "terrain_conditioning.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstdint>
#include <string>

#include "bedcarve_messages.hpp"
#include "conditioned_file.hpp"
#include "file_names.hpp"
#include "fill_record_writer.hpp"
#include "missing_values.hpp"
#include "nc_file.hpp"
#include "program_end.hpp"
#include "run_progress.hpp"
#include "terrain_readers.hpp"
#include "text_record.hpp"

namespace rn::bedcarve {
namespace {

/// The one grid variable of a file that holds exactly one (a variable of at
/// least two dimensions), as "name(dim, dim)"; empty otherwise.  A DEM that
/// a raster tool wrote as netCDF looks like this: its own names, no land
/// mask.
std::string single_grid(const std::string& file) {
  NcFile nc;
  if (nc.open(file) != NC_NOERR) return {};
  int count = 0;
  if (nc_inq_nvars(nc.ncid(), &count) != NC_NOERR) return {};
  std::string found;
  for (int v = 0; v < count; ++v) {
    std::vector<int> dims;
    if (nc.var_dims(v, dims) != NC_NOERR || dims.size() < 2) continue;
    if (!found.empty()) return {};
    char name[NC_MAX_NAME + 1] = {};
    nc_inq_varname(nc.ncid(), v, name);
    found = std::string(name) + "(";
    for (std::size_t k = 0; k < dims.size(); ++k) {
      char dim[NC_MAX_NAME + 1] = {};
      nc_inq_dimname(nc.ncid(), dims[k], dim);
      if (k > 0) found += ", ";
      found += dim;
    }
    found += ")";
  }
  return found;
}

/// Ends the program on a terrain read that failed, with the records and the
/// stop that `bedcarve` has always given for it; the line before the stop
/// names the file, the dimension or variable and the library's reason, and,
/// for a file that lacks the grid's names but holds one grid, how to read
/// that grid as a DEM.
[[noreturn]] void end_on_read_failure(const terrain::ReadFailure& failure) {
  using Kind = terrain::ReadFailure::Kind;
  FailurePlace place = failure.place;
  if (failure.kind == Kind::dimension || failure.kind == Kind::field) {
    if (const std::string grid = single_grid(place.file); !grid.empty()) {
      place.reason += std::string(messages::kSingleGrid) + grid + std::string(messages::kTryDem);
    }
  }
  note_failure_place(place);
  switch (failure.kind) {
    case Kind::grid_file:
      out().line(failure.message);
      code_stop(888);
    case Kind::refused_file:
      out().line(failure.message);
      plain_stop(kFailure);
    case Kind::dimension:
      out().record(failure.message);
      code_stop(888);
    case Kind::field:
    case Kind::none:
      break;
  }
  out().record(failure.message);
  out().record(messages::kReadStop, failure.message);
  code_stop(999);
}

[[noreturn]] void end_on_fill_stop(FillStop stop) {
  text_stop(stop == FillStop::small_minv ? messages::kSmallMinv : messages::kBigMinv);
}

std::string gib(std::size_t bytes) {
  return std::to_string((bytes + (std::size_t{1} << 29)) >> 30);
}

/// Marks as water the cells whose stored height is a declared no-data value
/// (missing_values.hpp, declared values only).  The heights were read from
/// `file` just before, so the file, its height variable and their values
/// are known to be sound; a read that fails now ends the run like a failed
/// height read.
void mark_declared_no_data(const std::string& file, Terrain& t) {
  NcFile nc;
  int varid = -1;
  int status = nc.open(file);
  if (status == NC_NOERR && nc.var_id("HGT_M", varid) != NC_NOERR) {
    status = nc.var_id("HGT_M_M", varid);
  }
  bool declared = false;
  if (status == NC_NOERR) {
    status = find_declared_missing(nc, varid, [&](std::size_t c) { t.mark_no_data(c); }, declared);
  }
  if (status != NC_NOERR) {
    end_on_read_failure({terrain::ReadFailure::Kind::field,
                         "get2d_real: failed to read the variable: HGT_M or HGT_M_M in " + file,
                         {file, "HGT_M", nc_error_text(status)}});
  }
}

}  // namespace

std::size_t terrain_bytes(std::size_t cells) {
  // Heights, water bits and the fill's own bytes a cell; while LANDMASK is
  // read, its 4-byte values stand in for the fill's.
  const std::size_t per_cell = std::max<std::size_t>(4, fill_bytes_per_cell());
  return cells * (4 + per_cell) + cells / 8;
}

void require_memory(std::size_t cells) {
  const std::size_t need = terrain_bytes(cells);
  const std::size_t usable = usable_memory();
  if (need > usable) {
    fail(std::string(messages::kTooLarge) + std::to_string(cells) +
         std::string(messages::kTooLargeNeeds) + gib(need) + std::string(messages::kTooLargeHas) +
         gib(usable) + std::string(messages::kTooLargeEnd));
  }
}

std::size_t usable_memory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page = sysconf(_SC_PAGE_SIZE);
  std::size_t usable = pages > 0 && page > 0
                           ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(page)
                           : SIZE_MAX;
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    usable = std::min(usable, static_cast<std::size_t>(limit.rlim_cur));
  }
  return usable;
}

Terrain read_terrain(const std::string& file) {
  std::int32_t ix = 0, jx = 0;
  if (auto failure = terrain::get_dim(file, ix, jx)) end_on_read_failure(failure);
  // Refused before anything is allocated: a file of a few bytes may claim a
  // grid of billions of cells, and a grid without cells has nothing to
  // condition (nor a shape the output format can hold).
  if (ix < 1 || jx < 1) {
    fail(std::string(messages::kNoCells) + file + std::string(messages::kNoCellsWestEast) +
         std::to_string(ix) + std::string(messages::kNoCellsSouthNorth) + std::to_string(jx) +
         ")");
  }
  const auto columns = static_cast<std::size_t>(ix), rows = static_cast<std::size_t>(jx);
  // The readers ask for a field's memory only once its variable holds ix * jx
  // values, so dimensions that no variable uses cost nothing; the grid's
  // memory need is judged then, before the heights are allocated.
  Terrain t;
  const auto heights = [&] {
    require_memory(columns * rows);
    t.height = Grid2D<float>(columns, rows, 0.0f);
    return t.height.values();
  };
  if (auto failure = terrain::readrt2d_real("HGT_M", heights, ix, jx, file)) {
    end_on_read_failure(failure);
  }
  t.water = CellBits(t.height.size());
  mark_declared_no_data(file, t);
  Grid2D<std::int32_t> mask;
  const auto land = [&] {
    mask = Grid2D<std::int32_t>(columns, rows, 0);
    return mask.values();
  };
  if (auto failure = terrain::readrt2d_int("LANDMASK", land, ix, jx, file)) {
    end_on_read_failure(failure);
  }
  for (std::size_t c = 0; c < mask.size(); ++c) {
    if (mask[c] == 0) t.water.set(c);
  }
  return t;
}

FillCounts fill_with_records(Grid2D<float>& height, const CellBits& water,
                             const FillTuning& tuning, const SweepProgress& progress) {
  FillRecordWriter writer(out());
  const FillRecorder record = [&writer](const FillRecord& f) { writer.add(f); };
  const FillResult result = fill_depressions(height, water, record, tuning, progress);
  writer.finish();
  if (result.stop != FillStop::none) end_on_fill_stop(result.stop);
  return result.counts;
}

void Terrain::mark_no_data(std::size_t c) {
  water.set(c);
  const float h = height.values()[c];
  if (!std::isnan(h)) return;
  if (nan_no_data.size() == 0) {
    nan_no_data = CellBits(height.size());
    nan_value = h;
  }
  nan_no_data.set(c);
}

FillCounts fill_terrain(Terrain& t, const SweepProgress& progress) {
  const std::span<float> h = t.height.values();
  for (std::size_t c = 0; c < t.nan_no_data.size(); ++c) {
    if (t.nan_no_data.test(c)) h[c] = -std::numeric_limits<float>::infinity();
  }
  const FillCounts counts = fill_with_records(t.height, t.water, {}, progress);
  for (std::size_t c = 0; c < t.nan_no_data.size(); ++c) {
    if (t.nan_no_data.test(c)) h[c] = t.nan_value;
  }
  return counts;
}

void condition_terrain(std::string_view infile, std::string_view outfile) {
  const std::string in = trim_name(infile);
  const std::string out_name = trim_name(outfile);
  RunProgress progress;
  progress.begin("reading " + in);
  Terrain t = read_terrain(in);
  fill_terrain(t, progress.sweep());
  t.water = CellBits();
  progress.begin("writing " + out_name);
  write_conditioned(out_name, t.height, in);
  text_stop(messages::kFinish, 0);
}

}  // namespace rn::bedcarve
