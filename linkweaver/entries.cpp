#include "entries.hpp"

#include <cstdlib>

#include "linkweaver_messages.hpp"
#include "text_record.hpp"

namespace rn::linkweaver {

namespace {
// Farthest neighbour, in perimeter numbers, whose list a boundary node may take.
constexpr std::int32_t kSearchReach = 10;
}  // namespace

bool order_scan(const SlotLists& slots, std::int32_t q, std::int32_t c, std::int32_t order_diff) {
  for (std::int32_t s = 1; s <= kSlotCapacity; ++s) {
    const std::int32_t order = slots.order[SlotLists::at(q, s)];
    if (order < 1) return false;
    // 64-bit difference: orders read from files may be any 32-bit value.
    if (std::llabs(static_cast<long long>(c) - order) <= order_diff) return true;
  }
  return false;
}

// Nearest perimeter cell with an order match.
// Contract: 1 <= n <= gridNum.  Tie-breaks: the cell itself, then nearer
// before farther, and at equal distance the lower number first; numbers
// outside 1..gridNum are skipped, never wrapped.  Without a match the cell
// itself is chosen.  Cost: at most 21 scans of 20 slots.
OrderChoice choose_order_cell(const PerimeterMatch& match, std::int32_t c, std::int32_t n,
                              std::int32_t order_diff) {
  const SlotLists& slots = match.slots;
  if (order_scan(slots, n, c, order_diff)) return {n, OrderChoice::Outcome::own};
  for (std::int32_t d = 1; d <= kSearchReach; ++d) {
    if (n - d >= 1 && order_scan(slots, n - d, c, order_diff)) {
      return {n - d, OrderChoice::Outcome::neighbour};
    }
    if (static_cast<std::int64_t>(n) + d <= match.gridNum &&
        order_scan(slots, n + d, c, order_diff)) {
      return {n + d, OrderChoice::Outcome::neighbour};
    }
  }
  return {n, OrderChoice::Outcome::none};
}

void write_search_warnings(const PerimeterMatch& match, std::int32_t c, std::int32_t n,
                           const OrderChoice& choice) {
  if (choice.outcome == OrderChoice::Outcome::own) return;
  out().record(msg::kOrderMismatch);
  if (choice.outcome == OrderChoice::Outcome::none) {
    out().record(msg::kNoNeighbourMatch);
    out().record(msg::kNodeK, n, msg::kNodeI, match.ci[n - 1], msg::kNodeJ, match.cj[n - 1],
                 msg::kNodeOrder, c);
  }
}

// Entry gathering.
// Contract: the slot lists are filled and every perimeter cell's child cell
// lies on the child ring.  The search gives the same cell before every slot,
// so it runs once per boundary node and its records are repeated once per
// slot visited: the filled slots of the chosen list and the empty slot that
// ends it (20 visits for a full list).  Entries come in perimeter order, and
// within a node in slot order; every gathered entry is kept, however many
// nodes take the same list.  Cost: O(gridNum) searches plus the entries.
Entries gather_entries(const ChildGrid& child, const PerimeterMatch& match,
                       std::int32_t order_diff) {
  Entries entries;
  const SlotLists& slots = match.slots;
  for (std::int32_t n = 1; n <= match.gridNum; ++n) {
    if (child.nodeIndex.at(child.ring, match.ci[n - 1], match.cj[n - 1]) <= 0) continue;
    const std::int32_t c = match.corder[n - 1];
    const OrderChoice choice = choose_order_cell(match, c, n, order_diff);
    const std::int32_t m = choice.cell;
    for (std::int32_t s = 1; s <= kSlotCapacity; ++s) {
      write_search_warnings(match, c, n, choice);
      const std::size_t at = SlotLists::at(m, s);
      if (slots.id[at] < 1) break;
      entries.PnodeId.push_back(slots.id[at]);
      entries.pOrder.push_back(slots.order[at]);
      entries.cOrder.push_back(c);
      entries.weight.push_back(slots.weight[at]);
      entries.childIndex.push_back(n);
    }
  }
  return entries;
}

}  // namespace rn::linkweaver
