// The cache `mapping_index.nc` of `reachfeed` and its check against
// `mapping.nc` and the parent channel output.
//
// The cache holds, for every mapping entry, the position of the entry's
// parent link among the feature ids of the parent file it was built from
// (-1 when the link was not there), with copies of `childIndex`, `weight`,
// `ci_grid` and `cj_grid`.  A cache built from another parent file (other
// feature order) or from an older `mapping.nc` (other entries or weights)
// would silently give wrong streamflow, so when `mapping.nc` stands beside
// it the cache is used only when it still describes both files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rn::nesting {

inline constexpr std::string_view kMappingFile = "mapping.nc";
inline constexpr std::string_view kIndexFile = "mapping_index.nc";

/// The variables of one mapping file, as read.
struct MappingArrays {
  std::int32_t ndata = 0;
  std::int32_t gridnum = 0;
  std::vector<std::int32_t> links;  ///< `PnodeId` of mapping.nc or `pNodeIndex` of the cache
  std::vector<std::int32_t> childindex;
  std::vector<float> weight;
  std::vector<std::int32_t> ci_grid;
  std::vector<std::int32_t> cj_grid;
};

/// Reads `ndata`, `gridNum`, `links_var`, `childIndex`, `weight`, `ci_grid`
/// and `cj_grid` of a mapping file without ending the program.  Returns an
/// empty text on success, else what could not be read and why.
std::string read_mapping_arrays(const std::string& path, std::string_view links_var,
                                MappingArrays& arrays);

/// Outcome of the check of the cache.
struct CacheCheck {
  enum class Verdict {
    valid,      ///< the cache describes mapping.nc and the parent file
    stale,      ///< it does not (`reason` says why): search again
    unchecked,  ///< the parent file's feature ids could not be read
  };
  Verdict verdict = Verdict::unchecked;
  std::string reason;

  /// What was read on the way, so that nothing is read twice: mapping.nc
  /// (when it could be read), the cache's positions (when valid) and the
  /// parent file's feature ids (when they could be read).
  std::optional<MappingArrays> mapping;
  std::vector<std::int32_t> positions;
  std::optional<std::vector<std::int32_t>> feature_ids;
};

/// Checks `mapping_index.nc` against `mapping.nc` and the feature ids of
/// the parent file `input`, all in the working directory.
///
/// Contract: both mapping files exist.  The cache is valid when `ndata` and
/// `gridNum` agree with mapping.nc, `childIndex`, `weight`, `ci_grid` and
/// `cj_grid` are the same values (bit for bit), and every entry with a
/// position of 1 or more points into 1..`feature_count` at a feature id equal to
/// its `PnodeId`; entries of 0 or less (unmatched) are taken as they are.
/// A mapping file that cannot be read makes the cache stale (the search
/// then reports the fault through the readers); a parent file whose feature
/// ids cannot be read leaves it unchecked (the run then stops on it).
/// Never ends the program.  Cost: one read of each file's variables and
/// O(ndata + gridNum) comparisons; the feature ids are read only when the
/// mapping variables agree.
CacheCheck check_index_cache(std::string_view input);

/// The warning record text for a stale cache:
///   "Warning: the file mapping_index.nc does not match: <reason>; rebuilding
///   it from mapping.nc"
/// with the first fault found as the reason, one of
///   "mapping.nc cannot be read (<name>: <library text>)"
///   "it cannot be read (<name>: <library text>)"
///   "ndata is <n> in mapping_index.nc but <m> in mapping.nc" (also gridNum)
///   "<childIndex|weight> of entry <e> differs from mapping.nc"
///   "<ci_grid|cj_grid> of node <k> differs from mapping.nc"
///   "pNodeIndex of entry <e> is <p>, beyond the <n> feature ids of the input file"
///   "feature_id at pNodeIndex <p> of entry <e> is <id>, not its PnodeId <pid>"
/// (entries and nodes counted from 1; <name> is the variable or dimension
/// that failed, and is left out with its colon when the file does not open).
std::string stale_cache_warning(std::string_view reason);

}  // namespace rn::nesting
