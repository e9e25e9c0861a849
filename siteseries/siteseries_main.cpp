// siteseries usArea latlonType startDate Hrs suffix inDir pointFile
#include <malloc.h>

#include "command_line.hpp"
#include "list_input.hpp"
#include "program_end.hpp"
#include "siteseries.hpp"
#include "siteseries_messages.hpp"
#include "text_record.hpp"

namespace {
constexpr const char* kHelp =
    "Usage: siteseries usArea latlonType startDate Hrs suffix inDir pointFile\n"
    "\n"
    "Interpolates hourly forcing fields at the sites of a site list and writes,\n"
    "for every hour whose forcing file inDir/<YYYYMMDDHH><suffix> exists, the\n"
    "text file <YYYYMMDDHH>.txt in the current folder (an existing one is kept).\n"
    "  usArea      1: US site list (zip, lat, lon, city, state); else world list\n"
    "              (city, a discarded value, lat, lon, country)\n"
    "  latlonType  1: grid given by lat_0/lon_0 in the files; else the fixed\n"
    "              3 km Lambert conformal grid (xgrid_0, ygrid_0)\n"
    "  startDate   first hour, YYYYMMDDHH\n"
    "  Hrs         number of hours\n"
    "  suffix      file-name tail after the date, e.g. .forcing.nc\n"
    "  inDir       folder of the hourly forcing files\n"
    "  pointFile   the site list (first line is a header)\n"
    "Files with T2 give precipitation (RAINRATE x 3600), U10, V10, T2, Q2 and\n"
    "relative humidity; files without it give precipitation (RAIN) alone.\n"
    "Reads: pointFile, inDir/<YYYYMMDDHH><suffix> for every hour.\n"
    "Writes: <YYYYMMDDHH>.txt in the current folder, each complete or not at all.\n"
    "\n"
    "Exit status:\n"
    "  0    success (also when no hour had a forcing file)\n"
    "  1    a reported failure: fewer than four arguments (usage line), a\n"
    "       number that cannot be read, a missing or unreadable site list, a\n"
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
    const std::int32_t narg = argc - 1;
    rn::echo_argument_count(argc);
    if (narg < 4) {
      rn::out().record(rn::siteseries::msg::kUsage);
      rn::plain_stop(rn::kFailure);
    }
    const auto text = [&](int k) { return rn::argument(argc, argv, k); };
    rn::siteseries::Arguments args;
    args.usarea = rn::int_argument(text(1), rn::siteseries::msg::kAreaArgument);
    args.latlontype = rn::int_argument(text(2), rn::siteseries::msg::kGridArgument);
    args.startdate = text(3);
    args.hrs = rn::int_argument(text(4), rn::siteseries::msg::kHoursArgument);
    args.suffix = text(5);
    args.indir = text(6);
    args.pointfile = text(7);

    rn::siteseries::SiteSeries m;
    rn::siteseries::set_up(m, args);
    rn::siteseries::run_hours(m);
  });
}
