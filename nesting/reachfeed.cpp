#include "reachfeed.hpp"

#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>

#include "cf_metadata.hpp"
#include "child_boundary.hpp"
#include "file_names.hpp"
#include "id_lookup.hpp"
#include "index_cache.hpp"
#include "nc_readers.hpp"
#include "nc_writer.hpp"
#include "program_end.hpp"
#include "reachfeed_messages.hpp"
#include "text_record.hpp"

namespace rn::nesting {
namespace {

const ModuleReaders kReaders(DimensionForm::plain);

// A variable already read during the cache check, or else read now through
// the module readers (which end the run on any fault).
template <typename T>
void take_or_read(std::vector<T>& dest, std::vector<T>* preloaded, const std::string& file,
                  std::string_view var, std::int32_t count) {
  if (preloaded != nullptr) {
    dest = std::move(*preloaded);
    return;
  }
  const auto n = static_cast<std::size_t>(count);
  if constexpr (std::is_same_v<T, float>) {
    kReaders.get1d_real(file, var, dest, n);
  } else {
    kReaders.get1d_int(file, var, dest, n);
  }
}

template <typename T>
std::vector<T>* field(std::optional<MappingArrays>& m, std::vector<T> MappingArrays::*member) {
  return m ? &((*m).*member) : nullptr;
}

}  // namespace

// Reads the parent file and the mapping into the state.
//
// Mode: index mode when mapping_index.nc exists (and, with mapping.nc beside
// it, still matches both files: otherwise one warning record and search
// mode); search mode when only mapping.nc exists; else the run ends.
// Records, in order: "Using the file ...", the counts, "reading pNodeId " or
// "reading pNodeIndex ", then in search mode one warning per unmatched entry
// and the cache writer's record.  Ends the run when a childIndex lies
// outside 1..gridNum, or (index mode) a cached position beyond feature_count.
// Guarantees on return: every entry_nodes in 1..gridnum, every parent_positions
// either <= 0 or a position in 1..feature_count.  Cost: reading the files once,
// O(ndata + feature_count) for the match (first_positions).
void ReachInflow::read_inputs(std::string_view input) {
  const bool has_index = file_exists(kIndexFile);
  const bool has_mapping = file_exists(kMappingFile);
  bool index_mode = has_index;
  CacheCheck check;
  if (has_index && has_mapping) {
    check = check_index_cache(input);
    if (check.verdict == CacheCheck::Verdict::stale) {
      out().record(stale_cache_warning(check.reason));
      index_mode = false;
    } else if (check.verdict == CacheCheck::Verdict::unchecked) {
      check = CacheCheck{};  // read everything through the readers, which stop on the fault
    }
  }
  if (index_mode) {
    out().record(reachfeed_msg::kUsingIndex);
  } else if (has_mapping) {
    out().record(reachfeed_msg::kUsingMapping);
  } else {
    text_stop(reachfeed_msg::kNoMapping);
  }
  const std::string map_file(index_mode ? kIndexFile : kMappingFile);
  const std::string in_file(input);
  std::optional<MappingArrays>& pre = check.mapping;

  ndata = pre ? pre->ndata : kReaders.get_file_dimension(map_file, "ndata");
  gridnum = pre ? pre->gridnum : kReaders.get_file_dimension(map_file, "gridNum");
  feature_count = check.feature_ids ? static_cast<std::int32_t>(check.feature_ids->size())
                                    : kReaders.get_file_dimension(in_file, "feature_id");
  out().record(reachfeed_msg::kCounts, feature_count, reachfeed_msg::kGridNum, gridnum, ndata);
  out().flush();

  take_or_read(feature_ids, check.feature_ids ? &*check.feature_ids : nullptr, in_file,
               "feature_id", feature_count);
  // Missing values are told by their stored form, before the scaling; one
  // read gives both.
  kReaders.get1d_real_and_missing(in_file, "streamflow", streamflow, missing,
                                  static_cast<std::size_t>(feature_count));
  // Unpacked data carry no scale factor: a factor of 1 leaves them as read.
  float scale_factor = 1.0f;
  kReaders.getvarattreal(in_file, "streamflow", "scale_factor", scale_factor);
  for (float& q : streamflow) q *= scale_factor;

  parent_positions.assign(static_cast<std::size_t>(ndata), -1);
  if (index_mode) {
    out().record(reachfeed_msg::kReadingIndex);
    take_or_read(parent_positions, pre ? &check.positions : nullptr, map_file, "pNodeIndex", ndata);
  } else {
    out().record(reachfeed_msg::kReadingIds);
    take_or_read(parent_ids, field(pre, &MappingArrays::links), map_file, "PnodeId", ndata);
  }
  take_or_read(entry_nodes, field(pre, &MappingArrays::childindex), map_file, "childIndex", ndata);
  take_or_read(weight, field(pre, &MappingArrays::weight), map_file, "weight", ndata);
  take_or_read(ci_grid, field(pre, &MappingArrays::ci_grid), map_file, "ci_grid", gridnum);
  take_or_read(cj_grid, field(pre, &MappingArrays::cj_grid), map_file, "cj_grid", gridnum);

  for (std::size_t e = 0; e < entry_nodes.size(); ++e) {
    const std::int32_t k = entry_nodes[e];
    if (k < 1 || k > gridnum) {
      text_stop(reachfeed_msg::kEntryHead + std::to_string(e + 1) + reachfeed_msg::kEntryOf +
                map_file + reachfeed_msg::kChildIndexMid + std::to_string(k) +
                reachfeed_msg::kChildIndexTail + std::to_string(gridnum));
    }
  }

  if (index_mode) {
    for (std::size_t e = 0; e < parent_positions.size(); ++e) {
      const std::int32_t p = parent_positions[e];
      if (p > feature_count) {
        text_stop(reachfeed_msg::kEntryHead + std::to_string(e + 1) + reachfeed_msg::kEntryOf +
                  map_file + reachfeed_msg::kPositionMid + std::to_string(p) +
                  reachfeed_msg::kBeyondThe + std::to_string(feature_count) +
                  reachfeed_msg::kFeatureIdsOf + in_file);
      }
    }
    return;
  }

  const std::vector<std::int32_t> found = first_positions(parent_ids, feature_ids);
  for (std::size_t e = 0; e < found.size(); ++e) {
    if (found[e] > 0) {
      parent_positions[e] = found[e];
    } else {
      out().record(reachfeed_msg::kUnmatched, parent_ids[e]);
    }
  }
  write_index_cache();
}

void ReachInflow::write_index_cache() const {
  NcWriter file(kIndexFile, kSmallIoChunkBytes, CreateFailure::library_error);
  const int nd = file.def_dim("ndata", static_cast<std::size_t>(ndata));
  const int gn = file.def_dim("gridNum", static_cast<std::size_t>(gridnum));
  const int index_id = file.def_var("pNodeIndex", NcVarType::int32, {nd});
  const int weight_id = file.def_var("weight", NcVarType::real32, {nd});
  const int child_id = file.def_var("childIndex", NcVarType::int32, {nd});
  const int ci_id = file.def_var("ci_grid", NcVarType::int32, {gn});
  const int cj_id = file.def_var("cj_grid", NcVarType::int32, {gn});
  put_cf_globals(file, "reachfeed cache: positions of the mapping's parent links among the "
                       "parent output's feature ids");
  describe(file, index_id, "position of the parent link among the feature ids, 1-based");
  file.put_att(index_id, "_FillValue", std::int32_t{-1});
  describe(file, weight_id, "overlap weight of the parent link in the parent cell", "1");
  describe(file, child_id, "perimeter cell fed by the entry, 1 to gridNum");
  describe_perimeter(file, ci_id, cj_id);
  out().flush();
  file.enddef();
  out().record(reachfeed_msg::kDefined);
  file.put(index_id, std::span<const std::int32_t>(parent_positions));
  file.put(weight_id, std::span<const float>(weight));
  file.put(child_id, std::span<const std::int32_t>(entry_nodes));
  file.put(ci_id, std::span<const std::int32_t>(ci_grid));
  file.put(cj_id, std::span<const std::int32_t>(cj_grid));
  file.commit();
}

// Weighted mean parent streamflow per child node.
//
// Assumes the guarantees of `read_inputs` (child indices in range, positions in
// range or <= 0).  Writes one "streamflow of vorl = " record per valid
// entry in entry order; sums and the division are 32-bit, accumulated in
// entry order.  An entry whose parent value is missing reaches its node
// but adds neither to its sum nor to its weight.  Nodes reached by no
// matched entry are left out; a reached node whose weights add up to 0 or
// less gets -9999.0.  When values were missing, one record after the walk
// counts them and the nodes that got -9999.0 for it.  Reached nodes are
// written in ascending node number.  Cost: O(ndata + gridnum).
void ReachInflow::write_inflow(std::string_view output) const {
  const std::size_t nodes = static_cast<std::size_t>(gridnum);
  std::vector<float> outbuf(nodes, 0.0f);
  std::vector<float> ww(nodes, 0.0f);
  std::vector<std::int32_t> mask(nodes, -999);
  std::vector<std::uint8_t> lost_value(nodes, 0);
  std::size_t missing_entries = 0;
  // Gather the entries' streamflows first: scattered reads over a national
  // parent file overlap in a tight loop, not between record writes.
  std::vector<float> entry_q(entry_nodes.size(), 0.0f);
  for (std::size_t i = 0; i < entry_q.size(); ++i) {
    const std::int32_t p = parent_positions[i];
    if (p > 0) entry_q[i] = streamflow[static_cast<std::size_t>(p) - 1];
  }
  for (std::size_t i = 0; i < entry_nodes.size(); ++i) {
    const std::int32_t p = parent_positions[i];
    if (p <= 0) continue;
    const std::size_t k = static_cast<std::size_t>(entry_nodes[i]) - 1;
    if (missing[static_cast<std::size_t>(p) - 1] != 0) {
      mask[k] = 1;
      lost_value[k] = 1;
      ++missing_entries;
      continue;
    }
    const float q = entry_q[i];
    out().record(reachfeed_msg::kEntryStreamflow, q);
    const float wq = weight[i] * q;
    outbuf[k] += wq;
    ww[k] += weight[i];
    mask[k] = 1;
  }

  std::vector<float> qstream;
  std::vector<std::int32_t> ci;
  std::vector<std::int32_t> cj;
  std::size_t lost_nodes = 0;
  for (std::size_t k = 0; k < nodes; ++k) {
    if (mask[k] <= 0) continue;
    const bool has_weight = ww[k] > 0.0f;
    qstream.push_back(has_weight ? outbuf[k] / ww[k] : kNoInflow);
    if (!has_weight && lost_value[k] != 0) ++lost_nodes;
    ci.push_back(ci_grid[k]);
    cj.push_back(cj_grid[k]);
  }
  if (missing_entries > 0) {
    out().record(reachfeed_msg::kMissingHead + std::to_string(missing_entries) +
                 reachfeed_msg::kMissingTail + std::to_string(lost_nodes));
  }
  write_child_boundary(output, qstream, ci, cj, origin);
}

void reachfeed(std::string_view input, std::string_view output) {
  run_feed<ReachInflow>(input, output);
}

}  // namespace rn::nesting
