// `reachfeed`: child boundary inflow from a parent channel output keyed by
// feature id, through the entry mapping `mapping.nc` that `linkweaver`
// writes, with the matched positions cached in `mapping_index.nc`.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace rn::nesting {

/// The state of one run (0-based arrays; positions and indices stored in
/// them stay 1-based, as in the files).
struct ReachInflow {
  std::int32_t feature_count = 0;              ///< parent reaches (dimension `feature_id`)
  std::vector<std::int32_t> feature_ids;       ///< parent feature ids, in file order
  std::vector<float> streamflow;               ///< parent streamflow times its scale factor
  std::vector<std::uint8_t> missing;           ///< 1 where the parent value is missing
  std::int32_t ndata = 0;                      ///< mapping entries
  std::int32_t gridnum = 0;                    ///< child nodes
  std::vector<std::int32_t> parent_ids;        ///< parent id of each entry (search mode)
  std::vector<std::int32_t> parent_positions;  ///< its position in `feature_ids`, -1 unmatched
  std::vector<std::int32_t> entry_nodes;       ///< child node of each entry, 1..gridnum
  std::vector<float> weight;                   ///< weight of each entry
  std::vector<std::int32_t> ci_grid;           ///< child-grid column of each node
  std::vector<std::int32_t> cj_grid;           ///< child-grid row of each node

  /// Reads the parent file `input` and the mapping (the cache when it holds,
  /// else mapping.nc with an id search, after which the cache is rewritten).
  void read_inputs(std::string_view input);
  /// Writes `mapping_index.nc` from the state, atomically.
  void write_index_cache() const;
  /// Forms the weighted mean streamflow of every reached child node (missing
  /// parent values left out) and writes the child boundary file `output`.
  void write_inflow(std::string_view output) const;
};

/// The driver: records of the two names, `read_inputs`, `write_inflow`.
void reachfeed(std::string_view input, std::string_view output);

}  // namespace rn::nesting
