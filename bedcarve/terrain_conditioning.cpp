#include "terrain_conditioning.hpp"

#include <string>

#include "bedcarve_messages.hpp"
#include "file_names.hpp"
#include "nc_writer.hpp"
#include "program_end.hpp"
#include "terrain_readers.hpp"
#include "text_record.hpp"

namespace rn::bedcarve {
namespace {

/// Ends the program on a terrain read that failed, with the records and the
/// stop that `bedcarve` has always given for it.
[[noreturn]] void end_on_read_failure(const terrain::ReadFailure& failure) {
  using Kind = terrain::ReadFailure::Kind;
  switch (failure.kind) {
    case Kind::grid_file:
      out().line(failure.message);
      code_stop(888);
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

}  // namespace

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
  if (!grid_fits(ix, jx)) {
    fail(std::string(messages::kTooLarge) + std::to_string(static_cast<std::int64_t>(ix) * jx) +
         std::string(messages::kTooLargeLimit));
  }
  Terrain t;
  t.height = Grid2D<float>(static_cast<std::size_t>(ix), static_cast<std::size_t>(jx), 0.0f);
  t.channel = Grid2D<std::int32_t>(static_cast<std::size_t>(ix), static_cast<std::size_t>(jx), 0);
  if (auto failure = terrain::readrt2d_real("HGT_M", t.height.values(), ix, jx, file)) {
    end_on_read_failure(failure);
  }
  if (auto failure = terrain::readrt2d_int("LANDMASK", t.channel.values(), ix, jx, file)) {
    end_on_read_failure(failure);
  }
  for (std::int32_t& c : t.channel.values()) c = c == 0 ? 1 : -999;
  return t;
}

FillCounts fill_with_records(std::span<float> height, std::span<const std::int32_t> channel,
                             std::int32_t ix, std::int32_t jx, const FillTuning& tuning) {
  const FillRecorder record = [](const FillRecord& f) {
    out().record(messages::kFillBefore, f.i, f.j, f.minv, f.before);
    out().record(messages::kFillAfter, f.i, f.j, f.minv, f.after);
  };
  const FillResult result = fill_depressions(height, channel, ix, jx, record, tuning);
  if (result.stop != FillStop::none) end_on_fill_stop(result.stop);
  return result.counts;
}

void write_conditioned(const std::string& file, const Terrain& terrain) {
  NcWriter nc(file);
  const int we = nc.def_dim("west_east", terrain.height.columns());
  const int sn = nc.def_dim("south_north", terrain.height.rows());
  const int hgt = nc.def_var("HGT_M", NcVarType::real32, {sn, we});
  nc.enddef();
  nc.put(hgt, terrain.height.values());
  nc.commit();
}

void condition_terrain(std::string_view infile, std::string_view outfile) {
  const std::string in = trim_name(infile);
  const std::string out_name = trim_name(outfile);
  Terrain t = read_terrain(in);
  fill_with_records(t.height.values(), t.channel.values(), t.ix(), t.jx());
  write_conditioned(out_name, t);
  text_stop(messages::kFinish, 0);
}

}  // namespace rn::bedcarve
