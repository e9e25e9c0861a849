#include "slot_lists.hpp"

#include <limits>
#include <string>

#include "configuration.hpp"
#include "linkweaver_messages.hpp"
#include "nc_readers.hpp"
#include "parent_network.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::linkweaver {

void SlotLists::allocate(std::int32_t gridNum) {
  const std::size_t slots = static_cast<std::size_t>(gridNum) * kSlotCapacity;
  id.assign(slots, 0);
  order.assign(slots, kMissingOrder);
  weight.assign(slots, 0.0f);
}

Push offer_link(std::span<std::int32_t> ids, std::span<float> weights, std::int32_t id,
                float weight, std::int32_t& slot) {
  for (std::size_t s = 0; s < ids.size(); ++s) {
    if (ids[s] == id) return Push::kept;
    if (ids[s] <= 0) {
      ids[s] = id;
      weights[s] = weight;
      slot = static_cast<std::int32_t>(s);
      return Push::stored;
    }
  }
  return Push::full;
}

void read_overlap_records(std::string_view file, std::int32_t ndata, std::int32_t npid,
                          OverlapRecords& records) {
  const auto data = static_cast<std::size_t>(ndata);
  const auto polygons = static_cast<std::size_t>(npid);
  const ModuleReaders readers;
  readers.get1d_real8(file, "regridweight", records.regridweight, data);
  readers.get1d_int(file, "polyid", records.polyid, polygons);
  readers.get1d_int(file, "overlaps", records.overlaps, polygons);
  readers.get1d_int(file, "i_index", records.i_index, data);
  readers.get1d_int(file, "j_index", records.j_index, data);
}

void check_overlap_counts(std::string_view file, std::span<const std::int32_t> overlaps,
                          std::int32_t ndata) {
  std::int64_t total = 0;
  for (std::size_t p = 0; p < overlaps.size(); ++p) {
    if (overlaps[p] < 0) {
      text_stop(msg::kNegativeCountHead + std::to_string(p + 1) + msg::kNegativeCountMid +
                std::string(file) + msg::kNegativeCountTail + std::to_string(overlaps[p]));
    }
    total += overlaps[p];
  }
  if (total > ndata) {
    text_stop(msg::kOverlapTotalHead + std::string(file) + msg::kOverlapTotalMid +
              std::to_string(total) + msg::kOverlapTotalTail + std::to_string(ndata));
  }
}

namespace {

// Stored links wait here for their orders, which are looked up together
// (one pass over the route-link identifiers per batch).  The warnings of
// unknown links come out in the order the links were stored, as a lookup at
// each store would write them; only warnings are written during the walk.
class PendingOrders {
 public:
  PendingOrders(const ParentLinks& links, SlotLists& slots) : plink_(links), slots_(slots) {}

  void add(std::size_t position, std::int32_t id) {
    positions_.push_back(position);
    ids_.push_back(id);
    if (ids_.size() >= kBatch) settle();
  }

  void settle() {
    if (ids_.empty()) return;
    const std::vector<std::int32_t> orders = stream_orders(plink_, ids_);
    for (std::size_t k = 0; k < orders.size(); ++k) slots_.order[positions_[k]] = orders[k];
    positions_.clear();
    ids_.clear();
  }

 private:
  // Bounds the memory of a walk that stores very many links.
  static constexpr std::size_t kBatch = std::size_t{1} << 20;

  const ParentLinks& plink_;
  SlotLists& slots_;
  std::vector<std::size_t> positions_;
  std::vector<std::int32_t> ids_;
};

}  // namespace

// The record walk.
// Contract: the overlap counts have passed check_overlap_counts (so the walk
// stays within the records), the slot lists are allocated for
// match.gridNum cells, and `index` lists the perimeter cells by parent cell.
// Record k of polygon p reaches every perimeter cell in parent cell
// (i_index(k), j_index(k)), in ascending perimeter number, exactly as a scan
// of all perimeter cells per record would, and records whose parent cell
// holds none are skipped (every placed cell lies inside the parent window,
// so the window test is implied).  Cost: O(ndata + stored pairs) plus one
// pass over the route-link identifiers per batch of stored pairs.
void attach_links(const OverlapRecords& records, const ParentCellIndex& index,
                  const ParentLinks& links, PerimeterMatch& match) {
  SlotLists& slots = match.slots;
  PendingOrders pending(links, slots);
  std::int64_t pairs = 0;
  std::size_t k = 0;
  for (std::size_t p = 0; p < records.polyid.size(); ++p) {
    const std::int32_t id = records.polyid[p];
    for (std::int32_t c = 0; c < records.overlaps[p]; ++c, ++k) {
      const std::span<const std::int32_t> cells =
          index.cells(records.i_index[k], records.j_index[k]);
      for (const std::int32_t n : cells) {
        std::int32_t slot = 0;
        const auto weight = static_cast<float>(records.regridweight[k]);
        switch (offer_link(slots.ids_of(n), slots.weights_of(n), id, weight, slot)) {
          case Push::kept:
            break;
          case Push::stored:
            pending.add(SlotLists::at(n, slot + 1), id);
            if (++pairs > std::numeric_limits<std::int32_t>::max()) {
              pending.settle();
              text_stop(msg::kTooManyPairs);
            }
            break;
          case Push::full:
            pending.settle();
            match.pairNum = static_cast<std::int32_t>(pairs);
            text_stop(msg::kSlotsFull);
        }
      }
    }
  }
  pending.settle();
  match.pairNum = static_cast<std::int32_t>(pairs);
}

Placement match_links(const NestingConfig& config, ParentLinks& links, ChildGrid& child,
                      PerimeterMatch& match) {
  read_parent_links(config.routinelin_p_f, links);
  const Placement placement =
      place_perimeter(ParentProjection(config, match.lat0, match.lon0), child, match);
  if (placement != Placement::inside) return placement;
  child.streamorder = {};
  child.latitude = {};
  child.longitude = {};
  match.slots.allocate(match.gridNum);

  out().record(msg::kBeforeOverlap);
  std::int32_t ndata = 0;
  std::int32_t npid = 0;
  read_overlap_dimensions(config.nhd_map_f, ndata, npid);
  out().record(msg::kOverlapSize, ndata, npid);

  OverlapRecords records;
  read_overlap_records(config.nhd_map_f, ndata, npid, records);
  check_overlap_counts(config.nhd_map_f, records.overlaps, ndata);
  const ParentCellIndex index(match.pi, match.pj);
  attach_links(records, index, links, match);
  return placement;
}

}  // namespace rn::linkweaver
