#include "index_cache.hpp"

#include <bit>
#include <cstddef>
#include <limits>
#include <span>

#include "nc_file.hpp"
#include "reachfeed_messages.hpp"

namespace rn::nesting {
namespace {

std::string num(long long value) { return std::to_string(value); }

// Length of a dimension that must fit a 32-bit integer; false with `what`
// set when it cannot be had.
bool read_dim(const NcFile& file, std::string_view name, std::int32_t& length,
              std::string& what) {
  std::size_t n = 0;
  const int status = file.dim_length(name, n);
  if (status != NC_NOERR) {
    what = std::string(name) + reachfeed_msg::kReason + nc_error_text(status);
    return false;
  }
  if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    what = std::string(name) + reachfeed_msg::kLengthHead + std::to_string(n) +
           reachfeed_msg::kLengthTail;
    return false;
  }
  length = static_cast<std::int32_t>(n);
  return true;
}

// Reads a whole variable that must hold exactly `count` values.
template <typename T>
bool read_var(const NcFile& file, std::string_view name, std::int32_t count,
              std::vector<T>& values, std::string& what) {
  int id = -1;
  std::size_t held = 0;
  int status = file.var_id(name, id);
  if (status == NC_NOERR) status = file.var_count(id, held);
  // Sized only once the variable is known to hold `count` values.
  if (status == NC_NOERR && held != static_cast<std::size_t>(count)) status = kCountMismatch;
  if (status == NC_NOERR) {
    values.assign(static_cast<std::size_t>(count), T{});
    status = file.read(id, std::span<T>(values));
  }
  if (status != NC_NOERR) {
    what = std::string(name) + reachfeed_msg::kReason + nc_error_text(status);
    return false;
  }
  return true;
}

// Index of the first element that differs (reals compared bit for bit, so
// that a stored NaN equals itself), or -1.
template <typename T>
long long first_difference(const std::vector<T>& a, const std::vector<T>& b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    bool same;
    if constexpr (std::is_same_v<T, float>) {
      same = std::bit_cast<std::uint32_t>(a[i]) == std::bit_cast<std::uint32_t>(b[i]);
    } else {
      same = a[i] == b[i];
    }
    if (!same) return static_cast<long long>(i);
  }
  return -1;
}

// Why the copies in the cache differ from mapping.nc, or an empty text.
std::string copy_difference(const MappingArrays& cache, const MappingArrays& map) {
  if (cache.ndata != map.ndata) {
    return reachfeed_msg::kNdataIs + num(cache.ndata) + reachfeed_msg::kInCacheBut +
           num(map.ndata) + reachfeed_msg::kInMapping;
  }
  if (cache.gridnum != map.gridnum) {
    return reachfeed_msg::kGridNumIs + num(cache.gridnum) + reachfeed_msg::kInCacheBut +
           num(map.gridnum) + reachfeed_msg::kInMapping;
  }
  struct Copy {
    const char* name;
    const char* item;
    long long at;
  };
  const Copy copies[] = {
      {"childIndex", reachfeed_msg::kEntry, first_difference(cache.childindex, map.childindex)},
      {"weight", reachfeed_msg::kEntry, first_difference(cache.weight, map.weight)},
      {"ci_grid", reachfeed_msg::kNode, first_difference(cache.ci_grid, map.ci_grid)},
      {"cj_grid", reachfeed_msg::kNode, first_difference(cache.cj_grid, map.cj_grid)},
  };
  for (const Copy& c : copies) {
    if (c.at >= 0) {
      return std::string(c.name) + reachfeed_msg::kEntryOf + c.item + reachfeed_msg::kBlank +
             num(c.at + 1) + reachfeed_msg::kDiffers;
    }
  }
  return {};
}

// Why the cached positions do not fit the parent file's feature ids, or an
// empty text.
std::string position_difference(const std::vector<std::int32_t>& positions,
                                const std::vector<std::int32_t>& parent_ids,
                                const std::vector<std::int32_t>& feature_ids) {
  const std::size_t feature_count = feature_ids.size();
  for (std::size_t e = 0; e < positions.size(); ++e) {
    const std::int32_t p = positions[e];
    if (p <= 0) continue;
    if (static_cast<std::size_t>(p) > feature_count) {
      return reachfeed_msg::kPositionOfEntry + num(static_cast<long long>(e) + 1) +
             reachfeed_msg::kIs + num(p) + reachfeed_msg::kBeyondThe +
             num(static_cast<long long>(feature_count)) + reachfeed_msg::kBeyondInput;
    }
    if (feature_ids[static_cast<std::size_t>(p) - 1] != parent_ids[e]) {
      return reachfeed_msg::kFeatureAt + num(p) + reachfeed_msg::kOfEntry +
             num(static_cast<long long>(e) + 1) + reachfeed_msg::kIs +
             num(feature_ids[static_cast<std::size_t>(p) - 1]) + reachfeed_msg::kNotItsId +
             num(parent_ids[e]);
    }
  }
  return {};
}

CacheCheck stale(CacheCheck&& check, std::string reason) {
  check.verdict = CacheCheck::Verdict::stale;
  check.reason = std::move(reason);
  return std::move(check);
}

}  // namespace

std::string read_mapping_arrays(const std::string& path, std::string_view links_var,
                                MappingArrays& a) {
  NcFile file;
  const int status = file.open(path);
  if (status != NC_NOERR) return nc_error_text(status);
  std::string what;
  const bool ok = read_dim(file, "ndata", a.ndata, what) &&
                  read_dim(file, "gridNum", a.gridnum, what) &&
                  read_var(file, links_var, a.ndata, a.links, what) &&
                  read_var(file, "childIndex", a.ndata, a.childindex, what) &&
                  read_var(file, "weight", a.ndata, a.weight, what) &&
                  read_var(file, "ci_grid", a.gridnum, a.ci_grid, what) &&
                  read_var(file, "cj_grid", a.gridnum, a.cj_grid, what);
  return ok ? std::string() : what;
}

CacheCheck check_index_cache(std::string_view input) {
  CacheCheck check;
  MappingArrays map;
  std::string what = read_mapping_arrays(std::string(kMappingFile), "PnodeId", map);
  if (!what.empty())
    return stale(std::move(check),
                 reachfeed_msg::kMappingUnreadable + what + reachfeed_msg::kUnreadableTail);
  const MappingArrays& m = check.mapping.emplace(std::move(map));

  MappingArrays cache;
  what = read_mapping_arrays(std::string(kIndexFile), "pNodeIndex", cache);
  if (!what.empty())
    return stale(std::move(check),
                 reachfeed_msg::kCacheUnreadable + what + reachfeed_msg::kUnreadableTail);
  what = copy_difference(cache, m);
  if (!what.empty()) return stale(std::move(check), what);

  // The parent file: a fault here is the run's own failure, reported by the
  // readers when the run reads the file.
  NcFile file;
  std::int32_t feature_count = 0;
  std::vector<std::int32_t> feature_ids;
  if (file.open(std::string(input)) != NC_NOERR ||
      !read_dim(file, "feature_id", feature_count, what) ||
      !read_var(file, "feature_id", feature_count, feature_ids, what)) {
    check.verdict = CacheCheck::Verdict::unchecked;
    return check;
  }
  what = position_difference(cache.links, m.links, feature_ids);
  check.feature_ids = std::move(feature_ids);
  if (!what.empty()) return stale(std::move(check), what);
  check.verdict = CacheCheck::Verdict::valid;
  check.positions = std::move(cache.links);
  return check;
}

std::string stale_cache_warning(std::string_view reason) {
  return reachfeed_msg::kStaleHead + std::string(reason) + reachfeed_msg::kStaleTail;
}

}  // namespace rn::nesting
