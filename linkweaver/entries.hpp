// Entry gathering: for every perimeter cell that is a boundary node, the
// slot list of the nearest perimeter cell (itself first) that holds a link
// of compatible stream order.
#pragma once

#include <cstdint>

#include "state.hpp"

namespace rn::linkweaver {

/// Order scan of perimeter cell `q` against child order `c`: true at the
/// first slot whose order differs from `c` by at most `order_diff`; the
/// scan ends without a match at the first slot whose order is below 1.
bool order_scan(const SlotLists& slots, std::int32_t q, std::int32_t c, std::int32_t order_diff);

/// Where a boundary node takes its links from, and what the search says.
struct OrderChoice {
  enum class Outcome {
    own,        ///< its own list matches; no warning
    neighbour,  ///< a neighbour matches; the first warning
    none,       ///< nothing matches within ten cells; both warnings, own list
  };
  std::int32_t cell = 0;  ///< perimeter cell whose list is taken
  Outcome outcome = Outcome::own;
};

/// The search for the perimeter cell whose list a boundary node takes: the
/// cell itself, then for d = 1..10 the cell d below and the cell d above it,
/// within 1..`gridNum` (no wrap).  Writes nothing.
OrderChoice choose_order_cell(const PerimeterMatch& match, std::int32_t c, std::int32_t n,
                              std::int32_t order_diff);

/// Writes the records of one search of perimeter cell `n` with child order
/// `c` that ended with `choice`.
void write_search_warnings(const PerimeterMatch& match, std::int32_t c, std::int32_t n,
                           const OrderChoice& choice);

/// Gathers the entries of every boundary node in perimeter order, each
/// taking every link of its chosen list in slot order, and writes the
/// search records as a search before each slot visited would.
Entries gather_entries(const ChildGrid& child, const PerimeterMatch& match,
                       std::int32_t order_diff);

}  // namespace rn::linkweaver
