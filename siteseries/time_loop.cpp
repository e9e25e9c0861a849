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

// Contract: for k = 1 .. hrs handles the start hour plus k - 1 hours: when
// that hour's forcing file exists, its fields are taken in (read, or only
// looked at when the hour's text file already exists, which is never
// touched) and a missing text file is written.  Hours without a forcing
// file pass silently.  Each stamp is the previous one advanced by one hour,
// which is the start plus k hours.  Cost: per hour, one existence test per
// file, the reads of the planned rows and the output lines.
void run_hours(SiteSeries& m) {
  std::string stamp = start_stamp(m.startdate);
  std::string label = m.startdate.substr(0, kLabelWidth);
  for (std::int32_t k = 1; k <= m.hrs; ++k) {
    const std::string input = forcing_file(m, label);
    const std::string output = label + ".txt";
    if (file_exists(input)) {
      if (file_exists(output)) {
        note_hour(m, input);
      } else {
        if (m.rain_only == 1) {
          read_hour_rain(m, input);
        } else {
          read_hour(m, input);
        }
        write_hour(m, output, label);
      }
    }
    stamp = advance_stamp(stamp, kSecondsPerHour);
    label = hour_label(stamp);
  }
}

}  // namespace rn::siteseries
