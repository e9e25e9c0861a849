#include "perimeter.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

#include "parent_network.hpp"

namespace rn::linkweaver {

Placement place_perimeter(const ParentProjection& projection, const ChildGrid& child,
                          PerimeterMatch& match) {
  match.ci.clear();
  match.cj.clear();
  match.pi.clear();
  match.pj.clear();
  match.corder.clear();
  Placement placement = Placement::inside;
  walk_perimeter(child.ring.columns(), child.ring.rows(), [&](std::int32_t i, std::int32_t j) {
    if (placement != Placement::inside) return;
    std::int32_t a = 0;
    std::int32_t b = 0;
    parent_cell_of(projection, child.latitude.at(child.ring, i, j),
                   child.longitude.at(child.ring, i, j), a, b);
    if (a < match.istart || a > match.iend || b < match.jstart || b > match.jend) {
      placement = Placement::outside_window;
      return;
    }
    match.ci.push_back(i);
    match.cj.push_back(j);
    match.pi.push_back(a);
    match.pj.push_back(b);
    match.corder.push_back(child.streamorder.at(child.ring, i, j));
  });
  match.gridNum = static_cast<std::int32_t>(match.ci.size());
  return placement;
}

namespace {

std::uint64_t cell_key(std::int32_t ii, std::int32_t jj) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(jj)) << 32) |
         static_cast<std::uint32_t>(ii);
}

// A bounding box up to this many parent cells (or 8 per perimeter cell, if
// more) is indexed densely: one lookup per overlap record, no search.
constexpr std::uint64_t kDenseCells = std::uint64_t{1} << 22;

}  // namespace

// Parent-cell index of the perimeter cells.
// Contract: pi and pj have the same length (the perimeter cells 1..size).
// Guarantees: cells(ii, jj) lists exactly the n with (pi[n-1], pj[n-1]) =
// (ii, jj), ascending.  Over the bounding box of the placed cells the index
// is a dense table of offsets when the box is small enough, otherwise a
// sorted list of the occupied parent cells.  Cost: O(size + box) time and
// memory to build (dense), O(size log size) (sparse); a lookup is O(1)
// (dense) or O(log size) (sparse).
ParentCellIndex::ParentCellIndex(std::span<const std::int32_t> pi,
                                 std::span<const std::int32_t> pj) {
  const std::size_t count = pi.size();
  first_.assign(1, 0);
  if (count == 0) {
    width_ = height_ = 0;
    return;
  }
  const auto [imin, imax] = std::minmax_element(pi.begin(), pi.end());
  const auto [jmin, jmax] = std::minmax_element(pj.begin(), pj.end());
  i0_ = *imin;
  j0_ = *jmin;
  width_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(*imax) - i0_ + 1);
  height_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(*jmax) - j0_ + 1);
  const std::uint64_t limit = std::max<std::uint64_t>(kDenseCells, 8 * std::uint64_t{count});
  dense_ = width_ <= limit && height_ <= limit && width_ * height_ <= limit;

  members_.resize(count);
  if (dense_) {
    // Counting sort by parent cell; perimeter order is kept within a cell.
    const std::size_t slots = static_cast<std::size_t>(width_ * height_);
    first_.assign(slots + 1, 0);
    auto slot_of = [&](std::size_t n) {
      return static_cast<std::size_t>(static_cast<std::uint64_t>(pj[n] - j0_) * width_ +
                                      static_cast<std::uint64_t>(pi[n] - i0_));
    };
    for (std::size_t n = 0; n < count; ++n) ++first_[slot_of(n) + 1];
    std::partial_sum(first_.begin(), first_.end(), first_.begin());
    std::vector<std::uint32_t> next(first_.begin(), first_.end() - 1);
    for (std::size_t n = 0; n < count; ++n) {
      members_[next[slot_of(n)]++] = static_cast<std::int32_t>(n + 1);
    }
    return;
  }
  std::vector<std::pair<std::uint64_t, std::int32_t>> placed(count);
  for (std::size_t n = 0; n < count; ++n) {
    placed[n] = {cell_key(pi[n], pj[n]), static_cast<std::int32_t>(n + 1)};
  }
  std::sort(placed.begin(), placed.end());
  for (std::size_t n = 0; n < count; ++n) {
    if (n == 0 || placed[n].first != placed[n - 1].first) {
      keys_.push_back(placed[n].first);
      first_.back() = static_cast<std::uint32_t>(n);
      first_.push_back(0);
    }
    members_[n] = placed[n].second;
  }
  first_.back() = static_cast<std::uint32_t>(count);
}

bool ParentCellIndex::find_sparse(std::int32_t ii, std::int32_t jj, std::size_t& slot) const {
  const std::uint64_t key = cell_key(ii, jj);
  const auto at = std::lower_bound(keys_.begin(), keys_.end(), key);
  if (at == keys_.end() || *at != key) return false;
  slot = static_cast<std::size_t>(at - keys_.begin());
  return true;
}

}  // namespace rn::linkweaver
