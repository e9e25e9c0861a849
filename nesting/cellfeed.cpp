#include "cellfeed.hpp"

#include <string>

#include "cellfeed_messages.hpp"
#include "child_boundary.hpp"
#include "index_cache.hpp"
#include "nc_readers.hpp"
#include "text_record.hpp"

namespace rn::nesting {

void CellInflow::read_inputs(std::string_view input) {
  const ModuleReaders readers(DimensionForm::plain);
  const std::string map_file(kMappingFile);
  gridnum = readers.get_file_dimension(map_file, "childNodeNum");
  record_count = readers.get_file_dimension(input, "recNum");
  out().record(cellfeed_msg::kCounts, record_count, cellfeed_msg::kGridNum, gridnum);
  out().flush();

  // Each array is sized once its variable is known to hold that many values.
  const auto nodes = static_cast<std::size_t>(gridnum);
  readers.get1d_real_and_missing(input, "streamflow", streamflow, missing,
                                 static_cast<std::size_t>(record_count));
  readers.get1d_real(map_file, "weight", weight, nodes);
  readers.get1d_int(map_file, "ci_grid", ci_grid, nodes);
  readers.get1d_int(map_file, "cj_grid", cj_grid, nodes);
  readers.get1d_int(map_file, "fcstIndex", parent_records, nodes);
}

// Weighted parent streamflow per child node.
//
// Every node is written, in node order: weight times the streamflow of its
// parent record (32-bit product; a weight of 0 gives 0), or -9999.0 with a
// "k = " record when the record position lies outside 1..record_count, or
// -9999.0 when the record's value is missing (counted in one record after
// the walk).  Cost: O(gridnum).
void CellInflow::write_inflow(std::string_view output) const {
  std::vector<float> qstream(static_cast<std::size_t>(gridnum));
  std::size_t lost_nodes = 0;
  for (std::size_t k = 0; k < qstream.size(); ++k) {
    const std::int32_t p = parent_records[k];
    if (p < 1 || p > record_count) {
      out().record(cellfeed_msg::kNode, static_cast<std::int32_t>(k + 1),
                   cellfeed_msg::kRecordOutOfRange, p);
      qstream[k] = kNoInflow;
    } else if (missing[static_cast<std::size_t>(p) - 1] != 0) {
      qstream[k] = kNoInflow;
      ++lost_nodes;
    } else {
      qstream[k] = weight[k] * streamflow[static_cast<std::size_t>(p) - 1];
    }
  }
  if (lost_nodes > 0) {
    const std::string n = std::to_string(lost_nodes);
    out().record(cellfeed_msg::kMissingHead + n + cellfeed_msg::kMissingTail + n);
  }
  write_child_boundary(output, qstream, ci_grid, cj_grid, origin);
}

void cellfeed(std::string_view input, std::string_view output) {
  run_feed<CellInflow>(input, output);
}

}  // namespace rn::nesting
