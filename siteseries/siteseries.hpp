// siteseries: hourly forcing values interpolated at the sites of a
// site list.
//
// The set-up (`set_up`) reads the site list, tells a precipitation-only
// forcing series from a full one, finds the grid size and places every site
// on the grid.  The run (`run_hours`) then walks the hourly forcing files from the
// start hour, reads the fields of every hour whose file exists and writes,
// for every hour whose text file does not exist yet, one fixed-width line per
// usable site into <YYYYMMDDHH>.txt in the current folder.
//
// Only the grid rows that the sites' 4 x 4 interpolation blocks touch are
// read from the forcing files; the other rows of the fields are never used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interpolation.hpp"
#include "site_list.hpp"
#include "terrain_readers.hpp"

namespace rn::siteseries {

inline constexpr std::size_t kStartDateWidth = 19;
inline constexpr std::size_t kSuffixWidth = 80;
inline constexpr std::size_t kLabelWidth = 10;  // YYYYMMDDHH

/// The command-line arguments as the program entry hands them over (texts
/// trimmed of trailing blanks).
struct Arguments {
  std::int32_t usarea = 0;      ///< 1: US site list; any other value: world list
  std::int32_t latlontype = 0;  ///< 1: latitude-longitude grid; any other value: Lambert grid
  std::string startdate;        ///< YYYYMMDDHH in its first 10 characters
  std::int32_t hrs = 0;         ///< number of hourly steps
  std::string suffix;           ///< file-name tail after the date
  std::string indir;            ///< folder of the forcing files
  std::string pointfile;        ///< site list
};

/// One gridded forcing field.  It has no values (and takes no memory) until
/// a file shows its variable with the grid's number of values; then the
/// values come all 0 and the rows read fill them.  Between two reads it holds
/// the values of the last hourly file that had the variable; `pending` names that file while
/// its values have not been fetched yet (hours whose output already exists
/// are only looked at, and read only if a later hour needs their values).
struct Field {
  explicit Field(std::string_view variable, bool rate = false) : name(variable), per_second(rate) {}

  std::string_view name;      ///< variable read ("U10", "RAINRATE", ...)
  bool per_second = false;    ///< values just read are multiplied by 3600 (rain rate)
  FieldGrid grid;             ///< the values, row by row
  std::string pending;        ///< file still to be read for the current values, or empty

  /// Gives the field `columns` by `rows` values, all 0.  The memory comes
  /// zeroed from the system and is only touched where rows are read, so rows
  /// that no site needs cost nothing.
  void allocate(std::size_t columns, std::size_t rows) { grid = FieldGrid(columns, rows); }
  /// The values, allocated for `shape` at the first call.
  std::span<float> values_for(GridShape shape) {
    if (grid.empty()) allocate(shape.columns, shape.rows);
    return grid.values();
  }
  /// The value at grid position (x, y) (interpolate_at); a field without
  /// values is 0 everywhere.
  float at(GridShape shape, float x, float y) const {
    if (grid.empty()) return interior(x, y, shape) ? 0.0f : kMissingValue;
    return interpolate_at(grid, x, y);
  }
};

/// The module state: configuration, sites, grid and fields.
struct SiteSeries {
  // Configuration.
  std::int32_t usarea = 0;
  std::int32_t latlontype = 0;
  std::string startdate;  ///< 19 characters, blank-padded
  std::int32_t hrs = 0;
  std::string suffix;     ///< 80 characters, blank-padded
  std::string indir;
  std::string pointfile;

  // Derived values.
  std::string site_list_text;  ///< text of the site list, kept from counting to reading
  std::int32_t datasize = 0;   ///< number of sites (-1 for an empty list file)
  std::int32_t rain_only = 0;  ///< 1: precipitation only ("RAIN"); 0: full set

  std::vector<Site> sites;     ///< in list order
  std::vector<float> site_x;   ///< fractional grid column of each site (1 = first point)
  std::vector<float> site_y;   ///< fractional grid row of each site

  Field pcp{"RAINRATE", true};
  Field u10{"U10"};
  Field v10{"V10"};
  Field t2{"T2"};
  Field q2{"Q2"};

  /// Grid rows (1-based, inclusive, ascending, disjoint) that the sites'
  /// interpolation blocks touch: the only rows read from the hourly files.
  std::vector<site_readers::RowWindow> rows;

  /// The forcing grid's shape (the start hour's dimensions), which every
  /// field takes once it has values.
  GridShape shape;
};

// ---- set-up (site_setup.cpp, site_location.cpp) ----

/// The whole set-up sequence: store the arguments, count the sites, test the
/// forcing content, read the grid's shape, read the sites, place them
/// on the grid and plan the rows to read.
void set_up(SiteSeries& m, const Arguments& args);

/// Name of the forcing file of the hour `label` (10 characters): the forcing
/// folder, "/", the label and the 80-character suffix, cut at 256
/// characters, trailing blanks removed.
std::string forcing_file(const SiteSeries& m, std::string_view label);

void count_sites(SiteSeries& m);
void detect_rain_only(SiteSeries& m);
void read_grid_shape(SiteSeries& m);
void read_site_list(SiteSeries& m);  ///< in the US or the world layout, by `usarea`
void place_on_latlon_grid(SiteSeries& m);
void place_on_lambert_grid(SiteSeries& m);

// ---- run (time_loop.cpp, hourly_fields.cpp, hourly_output.cpp) ----

/// The hourly loop over `hrs` steps from the start hour, writing the
/// hourly text files.
void run_hours(SiteSeries& m);

/// The same hours written as one CF time-series file `path` (series_file.cpp).
void run_series(SiteSeries& m, const std::string& path);

/// Visits the `hrs` hours from the start hour in order: their label
/// (YYYYMMDDHH) and the name of their forcing file.
using HourVisit = std::function<void(const std::string& label, const std::string& input)>;
void walk_hours(const SiteSeries& m, const HourVisit& visit);

/// Takes in the fields of the hour's forcing file `input` (read_hour, or
/// read_hour_rain when `rain_only` = 1).
void read_forcing(SiteSeries& m, const std::string& input);

/// The rows to read for the current site positions (sets `m.rows`).
void plan_rows(SiteSeries& m);

/// Reads the fields of one hourly file: "U10", "V10", "T2", "Q2",
/// "RAINRATE" (x 3600), or "RAIN" alone when `rain_only` = 1.
void read_hour(SiteSeries& m, const std::string& file);
void read_hour_rain(SiteSeries& m, const std::string& file);
/// Looks the fields of an hourly file up without reading their values (an
/// hour whose output exists): the same messages and stops as a read; the
/// values are fetched later, only if an output needs them.
void note_hour(SiteSeries& m, const std::string& file);

/// Writes the text file of one hour (created whole or not at all).
void write_hour(const SiteSeries& m, const std::string& file, std::string_view label);

/// Longest output line: 183 characters and the line feed.
inline constexpr std::size_t kMaxLineBytes = 184;

/// Writes the output line of site `i` (0-based) with its interpolated
/// values, line feed included, at `out` (room for kMaxLineBytes); returns
/// the end.  The site must have positive `site_x` and `site_y`.
char* put_site_line(char* out, const SiteSeries& m, std::size_t i, std::string_view label);

/// The fields an hourly file provides, in reading order: "U10", "V10",
/// "T2", "Q2", "RAINRATE"; or "RAIN" alone when `rain_only` = 1.
std::vector<Field*> hourly_fields(SiteSeries& m);

}  // namespace rn::siteseries
