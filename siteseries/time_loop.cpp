// The hourly loop: file names, labels and the order of reading and writing.
#include <string>

#include "date_utilities.hpp"
#include "file_names.hpp"
#include "siteseries.hpp"

namespace rn::siteseries {

namespace {

constexpr std::int32_t kSecondsPerHour = 3600;

// YYYY-MM-DD_HH:00:00 from YYYYMMDDHH.
std::string start_stamp(std::string_view date) {
  std::string stamp;
  stamp.append(date.substr(0, 4)).append("-").append(date.substr(4, 2)).append("-");
  stamp.append(date.substr(6, 2)).append("_").append(date.substr(8, 2)).append(":00:00");
  return stamp;
}

// YYYYMMDDHH from YYYY-MM-DD_HH:MM:SS.
std::string hour_label(std::string_view stamp) {
  std::string label;
  label.append(stamp.substr(0, 4)).append(stamp.substr(5, 2));
  label.append(stamp.substr(8, 2)).append(stamp.substr(11, 2));
  return label;
}

}  // namespace

// Contract: calls `visit(label, input)` for k = 1 .. hrs with the label of
// the start hour plus k - 1 hours and the name of its forcing file.  Each
// stamp is the previous one advanced by one hour, which is the start plus k
// hours.  Cost: one date step per hour besides the visits.
void walk_hours(const SiteSeries& m, const HourVisit& visit) {
  std::string stamp = start_stamp(m.startdate);
  std::string label = m.startdate.substr(0, kLabelWidth);
  for (std::int32_t k = 1; k <= m.hrs; ++k) {
    visit(label, forcing_file(m, label));
    stamp = advance_stamp(stamp, kSecondsPerHour);
    label = hour_label(stamp);
  }
}

void read_forcing(SiteSeries& m, const std::string& input) {
  if (m.rain_only == 1) {
    read_hour_rain(m, input);
  } else {
    read_hour(m, input);
  }
}

// Contract: for every hour whose forcing file exists, its fields are taken
// in (read, or only looked at when the hour's text file already exists,
// which is never touched) and a missing text file is written.  Hours
// without a forcing file pass silently.  Cost: per hour, one existence test
// per file, the reads of the planned rows and the output lines.
void run_hours(SiteSeries& m) {
  walk_hours(m, [&m](const std::string& label, const std::string& input) {
    const std::string output = label + ".txt";
    if (!file_exists(input)) return;
    if (file_exists(output)) {
      note_hour(m, input);
    } else {
      read_forcing(m, input);
      write_hour(m, output, label);
    }
  });
}

}  // namespace rn::siteseries
