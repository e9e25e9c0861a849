// The metadata that users' own tools read on every netCDF output: the
// global attributes `Conventions`, `title`, `source` and `history`, and the
// per-variable `long_name`, `units` and `_FillValue`.
//
// `history` holds one line per program that made or changed the file, the
// newest first, as the common netCDF operators write it:
//   "2016-01-01T00:00:00Z: reachfeed in.nc out.nc"
// An output made from one input takes that input's history below its own
// line.  The time stamp is UTC; when SOURCE_DATE_EPOCH holds a whole number
// of seconds it is used instead of the clock, so that two runs on the same
// inputs give the same bytes.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "nc_writer.hpp"

namespace rn {

inline constexpr char kConventions[] = "CF-1.8";

/// Remembers the program and its arguments for the history line of every
/// output of this run.  The entries of the programs that write netCDF call
/// it once, first.
void note_invocation(std::string_view program, int argc, char** argv);

/// "<program> <version>" of this run ("rivernest" before note_invocation).
std::string source_attribute();

/// The time of this run's history lines: SOURCE_DATE_EPOCH when it is set
/// to a whole number of seconds (0 up to year 9999), else the clock.
std::time_t history_time();

/// "YYYY-MM-DDTHH:MM:SSZ" of `t`, UTC.
std::string utc_stamp(std::time_t t);

/// This run's history line, stamp, ": ", the program and its arguments
/// joined by blanks, followed by the lines of `earlier` (an input's
/// history) when there are any.
std::string history_with(std::string_view earlier = {});

/// Writes the four global attributes: Conventions, `title`, source and
/// history (this run's line above `earlier_history`).
void put_cf_globals(NcWriter& nc, std::string_view title, std::string_view earlier_history = {});

/// Writes `long_name` and, when given, `units` of a variable.
void describe(NcWriter& nc, int varid, std::string_view long_name, std::string_view units = {});

/// Describes the perimeter-cell variables `ci_grid` and `cj_grid` that
/// mapping.nc and mapping_index.nc share.
void describe_perimeter(NcWriter& nc, int ci_grid, int cj_grid);

/// The text of the global attribute `name` of the netCDF file `path`;
/// empty when the file cannot be opened or has no such text attribute.
/// Never ends the program.
std::string global_text_of(const std::string& path, std::string_view name);

}  // namespace rn
