// `gaugeglobe`: the stations of a station list as red-dot placemarks.
#include <string>

#include "command_line.hpp"
#include "document_file.hpp"
#include "kml_messages.hpp"
#include "kml_tools.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::kml {

void write_station_globe(const std::string& output_file, const std::string& obs_file,
                         OutputForm form) {
  GlobeOutput output(output_file, form);
  output.complete(kGaugeglobeVariant, kStationLook, [](PlacemarkSink&) {}, obs_file);
}

void gaugeglobe_main(int argc, char** argv, OutputForm form) {
  const std::int32_t narg = argc - 1;
  echo_argument_count(argc);
  if (narg != 2) {
    out().record(msg::kStationUsage);
    plain_stop(kFailure);
  }
  write_station_globe(argument(argc, argv, 1), argument(argc, argv, 2), form);
}

}  // namespace rn::kml
