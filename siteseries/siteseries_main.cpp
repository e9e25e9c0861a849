// siteseries [--series FILE.nc] usArea latlonType startDate Hrs suffix inDir pointFile
#include <malloc.h>

#include <string>
#include <string_view>

#include "date_utilities.hpp"

#include "command_line.hpp"
#include "list_input.hpp"
#include "program_end.hpp"
#include "siteseries.hpp"
#include "siteseries_messages.hpp"
#include "text_record.hpp"

namespace {
constexpr const char* kHelp =
    "Usage: siteseries [--series FILE.nc] usArea latlonType startDate Hrs suffix inDir pointFile\n"
    "\n"
    "Hourly forcing interpolated at sites.\n"
    "\n"
    "Interpolates hourly forcing fields at the sites of a site list and writes,\n"
    "for every hour whose forcing file inDir/<YYYYMMDDHH><suffix> exists, the\n"
    "text file <YYYYMMDDHH>.txt in the current folder (an existing one is kept).\n"
    "With --series FILE.nc it writes instead one netCDF-4 file of every hour at\n"
    "every site (CF time series: station, time), replaced only when complete.\n"
    "  usArea      1: US site list (zip, lat, lon, city, state); else world list\n"
    "              (city, a discarded value, lat, lon, country)\n"
    "  latlonType  1: grid given by lat_0/lon_0 in the files; else the fixed\n"
    "              3 km Lambert conformal grid (xgrid_0, ygrid_0)\n"
    "  startDate   first hour, YYYYMMDDHH (what follows the ten digits is ignored)\n"
    "  Hrs         number of hours, 1 or more\n"
    "  suffix      file-name tail after the date, e.g. .forcing.nc\n"
    "  inDir       folder of the hourly forcing files\n"
    "  pointFile   the site list (first line is a header)\n"
    "Files with T2 give precipitation (RAINRATE x 3600), U10, V10, T2, Q2 and\n"
    "relative humidity; files without it give precipitation (RAIN) alone.\n"
    "Reads: pointFile, inDir/<YYYYMMDDHH><suffix> for every hour.\n"
    "Writes: <YYYYMMDDHH>.txt in the current folder, each complete or not at all;\n"
    "or FILE.nc: precipitation, u10, v10, t2, q2, relative_humidity over (time,\n"
    "station), the fill value -1e+33 where an hour has no forcing file or a site\n"
    "lies outside the grid's interior.\n"
    "\n"
    "Examples:\n"
    "In a folder written by samplebasin --preset small:\n"
    "  siteseries 1 1 2016010100 24 .forcing.nc forcing/latlon_full sites_us.txt\n"
    "  siteseries --series us.nc 1 1 2016010100 24 .forcing.nc forcing/latlon_full sites_us.txt\n"
    "\n"
    "Exit status:\n"
    "  0    success (also when no hour had a forcing file)\n"
    "  1    a reported failure: fewer than four arguments (usage line), a\n"
    "       number that cannot be read, a startDate that is no date and hour, an\n"
    "       Hrs below 1, a missing or unreadable site list, a\n"
    "       start-hour file that cannot be opened or lacks its grid\n"
    "       dimensions, an hourly file that cannot be written\n";
}  // namespace

int main(int argc, char** argv) {
  // The netCDF library allocates a buffer of a few megabytes for every
  // compressed chunk it reads and frees it again; kept in the heap instead of
  // being mapped afresh each time, they cost no page faults after the first
  // hour (a fifth of the reading time of a national grid).
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  return rn::run_entry("siteseries", kHelp, argc, argv, [&] {
    namespace msg = rn::siteseries::msg;
    // The option comes before the positional arguments, which then count
    // from the one after the file name.
    int skip = 0;
    std::string series;
    if (argc > 1 && std::string_view(argv[1]) == msg::kSeriesOption) {
      if (argc < 3) rn::fail(msg::kSeriesWithoutFile);
      series = rn::argument(argc, argv, 2);
      skip = 2;
    }
    const std::int32_t narg = argc - 1 - skip;
    rn::echo_argument_count(narg + 1);
    if (narg < 4) {
      rn::out().record(msg::kUsage);
      rn::plain_stop(rn::kFailure);
    }
    const auto text = [&](int k) { return rn::argument(argc, argv, k + skip); };
    rn::siteseries::Arguments args;
    args.usarea = rn::int_argument(text(1), msg::kAreaArgument);
    args.latlontype = rn::int_argument(text(2), msg::kGridArgument);
    args.startdate = text(3);
    // The start hour names the first forcing file and the time axis: refused
    // before any file is opened when it is no date and hour.
    if (!rn::is_hour_label(args.startdate)) {
      rn::fail(msg::kBadStartHead + args.startdate + msg::kBadStartTail);
    }
    args.hrs = rn::int_argument(text(4), msg::kHoursArgument);
    if (args.hrs < 1) rn::fail(msg::kBadHours + std::to_string(args.hrs));
    args.suffix = text(5);
    args.indir = text(6);
    args.pointfile = text(7);

    rn::siteseries::SiteSeries m;
    rn::siteseries::set_up(m, args);
    if (series.empty()) {
      rn::siteseries::run_hours(m);
    } else {
      rn::siteseries::run_series(m, series);
    }
  });
}
