// `cellfeed`: child boundary inflow from a parent channel output addressed
// by record position (`recNum`), through a per-node mapping `mapping.nc`
// (`childNodeNum`, `weight`, `ci_grid`, `cj_grid`, `fcstIndex`).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace rn::nesting {

/// The state of one run (0-based arrays; positions stored in them stay
/// 1-based, as in the files).
struct CellInflow {
  std::int32_t record_count = 0;             ///< parent records (dimension `recNum`)
  std::vector<float> streamflow;              ///< parent streamflow as stored, never scaled
  std::vector<std::uint8_t> missing;          ///< 1 where the parent value is missing
  std::int32_t gridnum = 0;                   ///< child nodes (dimension `childNodeNum`)
  std::vector<float> weight;                  ///< weight of each child node
  std::vector<std::int32_t> ci_grid;          ///< child-grid column of each node
  std::vector<std::int32_t> cj_grid;          ///< child-grid row of each node
  std::vector<std::int32_t> parent_records;   ///< parent record feeding each node, 1..record_count

  /// Reads the per-node mapping and the parent streamflow.
  void read_inputs(std::string_view input);
  /// Writes, for every child node, its weight times the streamflow of its
  /// parent record (-9999.0 when that record does not exist or its value is
  /// missing).
  void write_inflow(std::string_view output) const;
};

/// The driver: records of the two names, `read_inputs`, `write_inflow`.
void cellfeed(std::string_view input, std::string_view output);

}  // namespace rn::nesting
