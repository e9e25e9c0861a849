// The perimeter of the child grid: its cells numbered counter-clockwise from
// the south-west corner, each placed in the parent grid cell that holds it,
// and an index from parent cell to the perimeter cells it holds.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "configuration.hpp"
#include "state.hpp"

namespace rn::linkweaver {

/// Calls `visit(i, j)` for every perimeter cell in numbering order: row 1
/// west to east, column `ixrt` from row 2 north, row `jxrt` from column
/// `ixrt` - 1 west, column 1 from row `jxrt` - 1 south to row 2.  For
/// grids of at least 2 by 2 this visits every ring cell once.
template <typename Visit>
void walk_perimeter(std::int32_t ixrt, std::int32_t jxrt, Visit&& visit) {
  for (std::int32_t i = 1; i <= ixrt; ++i) visit(i, 1);
  for (std::int32_t j = 2; j <= jxrt; ++j) visit(ixrt, j);
  for (std::int32_t i = ixrt - 1; i >= 1; --i) visit(i, jxrt);
  for (std::int32_t j = jxrt - 1; j >= 2; --j) visit(1, j);
}

/// Numbers the perimeter cells and places each in the parent grid: fills
/// `ci`, `cj`, `pi`, `pj`, `corder` and `gridNum` of `match`.  Returns
/// `outside_window` at the first perimeter cell whose parent cell lies
/// outside the parent window (the perimeter is then incomplete); writes
/// nothing and never ends the program.
[[nodiscard]] Placement place_perimeter(const ParentProjection& projection, const ChildGrid& child,
                                        PerimeterMatch& match);

/// For a parent cell, the numbers of the perimeter cells placed in it.
class ParentCellIndex {
 public:
  /// Index of perimeter cells n = 1..size with parent cells (pi[n-1], pj[n-1]).
  ParentCellIndex(std::span<const std::int32_t> pi, std::span<const std::int32_t> pj);

  /// The perimeter cells in parent cell (ii, jj), in ascending number;
  /// empty when it holds none.
  std::span<const std::int32_t> cells(std::int32_t ii, std::int32_t jj) const {
    std::size_t slot = 0;
    if (dense_) {
      const std::uint64_t di = static_cast<std::uint64_t>(static_cast<std::int64_t>(ii) - i0_);
      const std::uint64_t dj = static_cast<std::uint64_t>(static_cast<std::int64_t>(jj) - j0_);
      if (di >= width_ || dj >= height_) return {};
      slot = static_cast<std::size_t>(dj * width_ + di);
    } else if (!find_sparse(ii, jj, slot)) {
      return {};
    }
    return {members_.data() + first_[slot], members_.data() + first_[slot + 1]};
  }

 private:
  bool find_sparse(std::int32_t ii, std::int32_t jj, std::size_t& slot) const;

  bool dense_ = true;
  std::int64_t i0_ = 0;   // south-west parent cell of the bounding box
  std::int64_t j0_ = 0;
  std::uint64_t width_ = 0;
  std::uint64_t height_ = 0;
  std::vector<std::uint64_t> keys_;    // sparse form: occupied parent cells, ascending
  std::vector<std::uint32_t> first_;   // start of each slot's run in members_, plus the end
  std::vector<std::int32_t> members_;  // perimeter numbers grouped by parent cell
};

}  // namespace rn::linkweaver
