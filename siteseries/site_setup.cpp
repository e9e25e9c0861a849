// The set-up of the module: arguments, site list, forcing content, grid size.
#include <netcdf.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "command_line.hpp"
#include "file_names.hpp"
#include "list_input.hpp"
#include "nc_file.hpp"
#include "nc_readers.hpp"
#include "program_end.hpp"
#include "siteseries.hpp"
#include "siteseries_messages.hpp"
#include "text_record.hpp"

namespace rn::siteseries {

namespace {

// A text cut or blank-padded to `width` characters.
std::string fixed_width(std::string_view text, std::size_t width) {
  std::string s(text.substr(0, width));
  s.resize(width, ' ');
  return s;
}

}  // namespace

std::string forcing_file(const SiteSeries& m, std::string_view label) {
  std::string name(trim_right(m.indir));
  name += '/';
  name += label;
  name += m.suffix;
  return trim_name(name);
}

void set_up(SiteSeries& m, const Arguments& args) {
  m.indir = args.indir;
  m.usarea = args.usarea;
  m.latlontype = args.latlontype;
  m.startdate = fixed_width(args.startdate, kStartDateWidth);
  m.pointfile = args.pointfile;
  m.hrs = args.hrs;
  m.suffix = fixed_width(args.suffix, kSuffixWidth);

  count_sites(m);
  detect_rain_only(m);
  read_grid_shape(m);
  read_site_list(m);
  if (m.latlontype == 1) {
    place_on_latlon_grid(m);
  } else {
    place_on_lambert_grid(m);
  }
  plan_rows(m);
}

// Counts the sites of the list: one value per line that holds one, the
// header included.  A list that does not exist is reported by name (it is
// never created).
void count_sites(SiteSeries& m) {
  const std::string path = trim_name(m.pointfile);
  if (!file_exists(path)) fail(msg::kSiteListHead + path + msg::kNoSiteList);
  const ReadResult read = read_text_file(path, m.site_list_text);
  if (!read.ok()) fail(msg::kSiteListUnreadable + read.message);
  const SiteCount count = count_site_values(m.site_list_text);
  if (!count.result.ok()) fail(msg::kSiteListHead + path + msg::kReason + count.result.message);
  m.datasize = count.datasize();
}

void detect_rain_only(SiteSeries& m) {
  const std::string file = forcing_file(m, std::string_view(m.startdate).substr(0, kLabelWidth));
  NcFile nc;
  if (const int status = nc.open(file); status != NC_NOERR) {
    note_failure_place(file, {}, nc_error_text(status));
    out().record(trim_name(msg::kStartFileOpen + file));
    plain_stop(kFailure);
  }
  m.rain_only = nc.has_var("T2") ? 0 : 1;
  nc.close();
  out().record(msg::kRainOnly, m.rain_only);
}

// The grid's shape from the start hour's dimensions.  No field is allocated
// here: a field gets its values only when a file shows its variable with
// columns * rows values (Field::values_for), so dimensions that no variable
// uses cost no memory.
void read_grid_shape(SiteSeries& m) {
  const std::string file = forcing_file(m, std::string_view(m.startdate).substr(0, kLabelWidth));
  // The second dimension of a pair must be there once the first is: a grid
  // of unknown size cannot be read.
  const auto second = [&](std::string_view dim, std::string_view first, std::int32_t& length) {
    std::int32_t found = 0;
    site_readers::get_file_dimension0(file, dim, length, found);
    if (found != 1) {
      note_failure_place(file, dim, nc_error_text(NC_EBADDIM));
      text_stop(msg::kSecondDimensionHead + std::string(dim) + msg::kSecondDimensionMid +
                std::string(first) + msg::kSecondDimensionTail);
    }
  };
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  std::int32_t found = 0;
  site_readers::get_file_dimension0(file, "lat_0", rows, found);
  if (found == 1) {
    second("lon_0", "lat_0", columns);
  } else {
    site_readers::get_file_dimension0(file, "xgrid_0", columns, found);
    if (found != 1) {
      note_failure_place(file, msg::kGridDimensions, nc_error_text(NC_EBADDIM));
      text_stop(msg::kNoDimension);
    }
    second("ygrid_0", "xgrid_0", rows);
  }

  m.shape = {static_cast<std::size_t>(columns), static_cast<std::size_t>(rows)};
  if (m.rain_only == 1) {
    m.pcp.name = "RAIN";
    m.pcp.per_second = false;
  }
}

void read_site_list(SiteSeries& m) {
  const SiteLayout layout = m.usarea == 1 ? SiteLayout::us : SiteLayout::world;
  SiteReadResult read = read_sites(m.site_list_text, layout, m.datasize);
  if (!read.result.ok()) {
    fail(msg::kSiteListHead + trim_name(m.pointfile) + msg::kReason + read.result.message);
  }
  m.sites = std::move(read.sites);
  m.site_list_text.clear();
  m.site_list_text.shrink_to_fit();
}

}  // namespace rn::siteseries
