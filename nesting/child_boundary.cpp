#include "child_boundary.hpp"

#include <netcdf.h>

#include <string>

#include "cf_metadata.hpp"
#include "command_line.hpp"
#include "nc_file.hpp"
#include "nc_writer.hpp"
#include "program_end.hpp"

namespace rn::nesting {

BoundaryOrigin boundary_origin(const std::string& input, std::string_view title) {
  BoundaryOrigin origin;
  origin.title = std::string(title);
  NcFile file;
  if (file.open(input) != NC_NOERR) return origin;
  file.att_text(NC_GLOBAL, "history", origin.history);
  int time = -1;
  std::size_t count = 0;
  double value = 0.0;
  if (file.var_id("time", time) == NC_NOERR && file.var_count(time, count) == NC_NOERR &&
      count == 1 && file.read(time, std::span<double>(&value, 1)) == NC_NOERR) {
    origin.time = value;
    file.att_text(time, "units", origin.time_units);
    file.att_text(time, "calendar", origin.time_calendar);
  }
  return origin;
}

void write_child_boundary(std::string_view path, std::span<const float> qstream,
                          std::span<const std::int32_t> ci, std::span<const std::int32_t> cj,
                          const BoundaryOrigin& origin) {
  NcWriter file(path, kSmallIoChunkBytes, CreateFailure::library_error);
  const int node_num = file.def_dim("nodeNum", qstream.size());
  const int qstream_id = file.def_var("qstream", NcVarType::real32, {node_num});
  const int ci_id = file.def_var("ci", NcVarType::int32, {node_num});
  const int cj_id = file.def_var("cj", NcVarType::int32, {node_num});
  put_cf_globals(file, origin.title, origin.history);
  describe(file, qstream_id, "inflow at the child boundary cell", "m3 s-1");
  file.put_att(qstream_id, "_FillValue", kNoInflow);
  describe(file, ci_id, "child grid column of the boundary cell");
  describe(file, cj_id, "child grid row of the boundary cell, counted from the south");
  int time_id = -1;
  if (origin.time) {
    time_id = file.def_var("time", NcVarType::real64, {});
    file.put_att(time_id, "standard_name", "time");
    describe(file, time_id, "time", origin.time_units);
    if (!origin.time_calendar.empty()) file.put_att(time_id, "calendar", origin.time_calendar);
    // No `coordinates = "time"` on qstream: a listed coordinate is one that
    // NCO's ncecat copies instead of stacking, so a day of hourly files would
    // keep the first hour's time only.  Unlisted, ncecat stacks it into
    // time(time), and xarray and CDO find it by its name and standard_name.
  }
  file.enddef();
  file.put(qstream_id, qstream);
  file.put(ci_id, ci);
  file.put(cj_id, cj);
  if (origin.time) file.put(time_id, std::span<const double>(&*origin.time, 1));
  file.commit();
}

int nesting_main(int argc, char** argv, std::string_view program, std::string_view help,
                 void (*driver)(std::string_view input, std::string_view output)) {
  return run_entry(program, help, argc, argv, [&] {
    const std::string input = argument(argc, argv, 1);
    const std::string output = argument(argc, argv, 2);
    driver(input, output);
  });
}

}  // namespace rn::nesting
