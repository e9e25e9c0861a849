#include "terrain_conditioning.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "bedcarve_messages.hpp"
#include "conditioned_file.hpp"
#include "file_names.hpp"
#include "fill_record_writer.hpp"
#include "program_end.hpp"
#include "terrain_readers.hpp"
#include "text_record.hpp"

namespace rn::bedcarve {
namespace {

/// Ends the program on a terrain read that failed, with the records and the
/// stop that `bedcarve` has always given for it; the line before the stop
/// names the file, the dimension or variable and the library's reason.
[[noreturn]] void end_on_read_failure(const terrain::ReadFailure& failure) {
  using Kind = terrain::ReadFailure::Kind;
  note_failure_place(failure.place);
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

}  // namespace

std::size_t terrain_bytes(std::size_t cells) {
  // Heights, water bits and the fill's own bytes a cell; while LANDMASK is
  // read, its 4-byte values stand in for the fill's.
  const std::size_t per_cell = std::max<std::size_t>(4, fill_bytes_per_cell());
  return cells * (4 + per_cell) + cells / 8;
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
    const std::size_t need = terrain_bytes(columns * rows);
    const std::size_t usable = usable_memory();
    if (need > usable) {
      fail(std::string(messages::kTooLarge) + std::to_string(columns * rows) +
           std::string(messages::kTooLargeNeeds) + gib(need) + std::string(messages::kTooLargeHas) +
           gib(usable) + std::string(messages::kTooLargeEnd));
    }
    t.height = Grid2D<float>(columns, rows, 0.0f);
    return t.height.values();
  };
  if (auto failure = terrain::readrt2d_real("HGT_M", heights, ix, jx, file)) {
    end_on_read_failure(failure);
  }
  Grid2D<std::int32_t> mask;
  const auto land = [&] {
    mask = Grid2D<std::int32_t>(columns, rows, 0);
    return mask.values();
  };
  if (auto failure = terrain::readrt2d_int("LANDMASK", land, ix, jx, file)) {
    end_on_read_failure(failure);
  }
  t.water = CellBits(mask.size());
  for (std::size_t c = 0; c < mask.size(); ++c) {
    if (mask[c] == 0) t.water.set(c);
  }
  return t;
}

FillCounts fill_with_records(Grid2D<float>& height, const CellBits& water,
                             const FillTuning& tuning) {
  FillRecordWriter writer(out());
  const FillRecorder record = [&writer](const FillRecord& f) { writer.add(f); };
  const FillResult result = fill_depressions(height, water, record, tuning);
  writer.finish();
  if (result.stop != FillStop::none) end_on_fill_stop(result.stop);
  return result.counts;
}

void condition_terrain(std::string_view infile, std::string_view outfile) {
  const std::string in = trim_name(infile);
  const std::string out_name = trim_name(outfile);
  Terrain t = read_terrain(in);
  fill_with_records(t.height, t.water);
  t.water = CellBits();
  write_conditioned(out_name, t.height, in);
  text_stop(messages::kFinish, 0);
}

}  // namespace rn::bedcarve
