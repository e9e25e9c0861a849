// CDL fixtures of the nesting programs' inputs.
#pragma once

#include <string>
#include <vector>

namespace nesting_test {

/// The entry mapping that linkweaver writes (`weights` as CDL reals).
struct EntryMapping {
  std::vector<int> pnodeid;
  std::vector<std::string> weight;
  std::vector<int> childindex;
  std::vector<int> ci_grid;
  std::vector<int> cj_grid;
  std::string cdl() const;
};

/// A parent output keyed by feature id: `feature_id`, and `streamflow`
/// behind a time dimension of 1, stored as `type` with `attributes` (CDL
/// attribute lines) and `values`.
std::string reach_output_cdl(const std::vector<int>& ids, const std::string& type,
                             const std::string& values, const std::string& attributes);

/// The per-node mapping that cellfeed reads.
struct NodeMapping {
  std::vector<std::string> weight;
  std::vector<int> ci_grid;
  std::vector<int> cj_grid;
  std::vector<int> fcstindex;
  std::string cdl() const;
};

/// A parent output addressed by record: `streamflow(recNum)` stored as `type`.
std::string record_output_cdl(std::size_t records, const std::string& type,
                              const std::string& values, const std::string& attributes);

}  // namespace nesting_test
