// `flowglobe_drv1` and `flowglobe_seg`: the channel network itself as
// uncoloured point placemarks named by their position in the input file.
#include <string>

#include "channel_input.hpp"
#include "command_line.hpp"
#include "document_file.hpp"
#include "kml_messages.hpp"
#include "kml_tools.hpp"
#include "list_input.hpp"
#include "nc_readers.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::kml {

// Contract: of the points with order(j) >= order0, counted in file order,
// writes the interval0-th, 2*interval0-th, ... as node placemarks named j
// (an interval of 1 or less writes every one).  Points below order0 do not
// advance the count.  Assumes lat, lon and order of equal length.
// Cost: one pass, O(points).
void write_node_placemarks(const ChannelPoints& points, std::int32_t order0, std::int32_t interval0,
                           PlacemarkSink& doc) {
  std::int32_t c = 0;
  const std::size_t point_count = points.order.size();
  for (std::size_t j = 0; j < point_count; ++j) {
    if (points.order[j] < order0) continue;
    ++c;
    if (c >= interval0) {
      doc.write_node_placemark(points.lat[j], points.lon[j], points.order[j],
                               static_cast<std::int32_t>(j + 1));
      c = 0;
    }
  }
}

// Contract: writes a segment placemark named k for every point k with
// order(k) >= order0, in file order; no thinning, no value test.  Assumes
// the five arrays of equal length.  Cost: one pass, O(points).
void write_segment_placemarks(const ChannelPoints& points, std::int32_t order0, PlacemarkSink& doc) {
  const std::size_t point_count = points.order.size();
  for (std::size_t k = 0; k < point_count; ++k) {
    if (points.order[k] < order0) continue;
    doc.write_segment_placemark(points.lat[k], points.lon[k], points.order[k], points.chanxi[k],
                                points.chanyj[k], static_cast<std::int32_t>(k + 1));
  }
}

ChannelPoints read_node_points(const std::string& in_file) {
  const ModuleReaders readers(DimensionForm::file_echo);
  // The streamflow values are not shown, but the variable must be there.
  return read_points(readers, in_file, "recNum",
                     {{"streamflow", &ChannelPoints::values},
                      {"latitude", &ChannelPoints::lat},
                      {"longitude", &ChannelPoints::lon},
                      {"order", &ChannelPoints::order}});
}

ChannelPoints read_segment_points(const std::string& seg_file) {
  const ModuleReaders readers(DimensionForm::file_echo);
  return read_points(readers, seg_file, "n",
                     {{"chlat", &ChannelPoints::lat},
                      {"chlon", &ChannelPoints::lon},
                      {"order", &ChannelPoints::order},
                      {"chanxi", &ChannelPoints::chanxi},
                      {"chanyj", &ChannelPoints::chanyj}});
}

void write_node_globe(const std::string& in_file, const std::string& output_file,
                      std::int32_t order0, std::int32_t interval0, OutputForm form) {
  echo_file_names(in_file, output_file);
  GlobeOutput output(output_file, form);
  const ChannelPoints p = read_node_points(in_file);
  output.complete(kFlowglobeDrv1Variant, kNetworkLook,
                  [&](PlacemarkSink& doc) { write_node_placemarks(p, order0, interval0, doc); });
}

void write_segment_globe(const std::string& seg_file, const std::string& output_file,
                         std::int32_t order0, const std::string& obs_file, OutputForm form) {
  echo_file_names(seg_file, output_file);
  GlobeOutput output(output_file, form);
  const ChannelPoints p = read_segment_points(seg_file);
  output.complete(
      kFlowglobeSegVariant, kNetworkLook,
      [&](PlacemarkSink& doc) { write_segment_placemarks(p, order0, doc); }, obs_file);
}

void flowglobe_drv1_main(int argc, char** argv, OutputForm form) {
  if (argc - 1 != 4) {
    out().record(msg::kNodeUsage);
    plain_stop(kFailure);
  }
  const std::int32_t order0 = int_argument(argument(argc, argv, 3), msg::kOrderArgument);
  const std::int32_t interval0 = int_argument(argument(argc, argv, 4), msg::kIntervalArgument);
  write_node_globe(argument(argc, argv, 1), argument(argc, argv, 2), order0, interval0, form);
}

void flowglobe_seg_main(int argc, char** argv, OutputForm form) {
  const std::int32_t narg = argc - 1;
  echo_argument_count(argc);
  if (narg < 3) {
    out().record(msg::kSegmentUsage);
    plain_stop(kFailure);
  }
  const std::int32_t order0 = int_argument(argument(argc, argv, 3), msg::kOrderArgument);
  write_segment_globe(argument(argc, argv, 1), argument(argc, argv, 2), order0,
                      argument(argc, argv, 4), form);
}

}  // namespace rn::kml
