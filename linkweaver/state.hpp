// The state of one mapping run: the configuration `config`, the parent links
// `links`, the child routing grid `child` and the matching record `match`.
// Each is filled once by its step of the run and read by the later ones.
//
// Indices follow the grid conventions of the toolkit: child cells (i, j) are
// 1-based, i west to east, j counted from the south; perimeter cells and
// slots are 1-based in the accessors below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rn::linkweaver {

/// Stream order of a link that the route-link file lacks, and of an empty slot.
inline constexpr std::int32_t kMissingOrder = -999;
/// Number of parent links a perimeter cell can hold.
inline constexpr std::int32_t kSlotCapacity = 20;
/// `nodeIndex` of a cell that is no boundary node.
inline constexpr std::int32_t kNoNode = -99;

/// Configuration of the run (`namelist.nesting` and the parent geo file's
/// projection attributes).  Paths are held trimmed of trailing blanks.
struct NestingConfig {
  std::string mapproject;  ///< projection code; its first two characters count
  std::string fulldom_parent_f;
  std::string fulldom_child_f;
  std::string geo_parent_f;
  std::string nhd_map_f;
  std::string routinelin_p_f;
  float truelat1 = 0.0f;
  float truelat2 = 0.0f;
  float cen_lat = 0.0f;
  float cen_lon = 0.0f;
  float dxkm = 0.0f;
  float stand_lon = 0.0f;
  bool flowin_out = false;
  std::int32_t order_diff = 0;
};

/// Parent links as the route-link file lists them: `order[k]` and `link[k]`
/// describe link k + 1.
struct ParentLinks {
  std::int32_t nlinks = 0;
  std::vector<std::int32_t> order;
  std::vector<std::int32_t> link;
};

/// The shape of the child routing grid and the storage positions of the
/// cells on its outer ring, for a grid of `columns` by `rows` cells (both at
/// least 1).  Every ring cell has exactly one position, so a grid one cell
/// wide or high shares the cells of its opposite edges.  The mapping never
/// looks at an interior cell, so the child grid is never held whole: the
/// ring is its only grid type.
class Ring {
 public:
  Ring() = default;
  Ring(std::int32_t columns, std::int32_t rows);

  std::int32_t columns() const { return columns_; }
  std::int32_t rows() const { return rows_; }
  /// Number of distinct ring cells.
  std::size_t size() const { return size_; }
  /// Position of ring cell (i, j); (i, j) must lie on the ring.
  std::size_t index(std::int32_t i, std::int32_t j) const {
    if (j == 1) return static_cast<std::size_t>(i - 1);
    if (j == rows_) return north_ + static_cast<std::size_t>(i - 1);
    if (i == 1) return west_ + static_cast<std::size_t>(j - 2);
    return east_ + static_cast<std::size_t>(j - 2);
  }

 private:
  std::int32_t columns_ = 0;
  std::int32_t rows_ = 0;
  std::size_t north_ = 0;  // first position of the last row
  std::size_t west_ = 0;   // first position of column 1, rows 2..rows-1
  std::size_t east_ = 0;   // first position of the last column, rows 2..rows-1
  std::size_t size_ = 0;
};

/// A field known on the ring cells of the child grid only: the mapping never
/// looks at an interior cell.
template <typename T>
struct RingField {
  std::vector<T> values;
  T& at(const Ring& ring, std::int32_t i, std::int32_t j) { return values[ring.index(i, j)]; }
  const T& at(const Ring& ring, std::int32_t i, std::int32_t j) const {
    return values[ring.index(i, j)];
  }
};

/// The child routing grid, rows counted from the south.
struct ChildGrid {
  Ring ring;  ///< the grid's shape (`x` by `y`) and its ring cells
  std::int32_t nodeNum = 0;
  RingField<std::int32_t> nodeIndex;  ///< boundary node number, kNoNode elsewhere
  RingField<std::int32_t> streamorder;
  RingField<float> latitude;
  RingField<float> longitude;
};

/// Slot lists of the perimeter cells: up to 20 parent links per cell, filled
/// from slot 1 upward without gaps.  Cell n, slot s are 1-based.
struct SlotLists {
  std::vector<std::int32_t> id;      ///< 0 in an empty slot
  std::vector<std::int32_t> order;   ///< kMissingOrder in an empty slot
  std::vector<float> weight;         ///< 0 in an empty slot

  void allocate(std::int32_t gridNum);
  static std::size_t at(std::int32_t n, std::int32_t s) {
    return static_cast<std::size_t>(n - 1) * kSlotCapacity + static_cast<std::size_t>(s - 1);
  }
  std::span<std::int32_t> ids_of(std::int32_t n) { return {id.data() + at(n, 1), kSlotCapacity}; }
  std::span<float> weights_of(std::int32_t n) {
    return {weight.data() + at(n, 1), kSlotCapacity};
  }
};

/// The parent window, the perimeter cells and their slot lists.
struct PerimeterMatch {
  std::int32_t istart = 0;
  std::int32_t jstart = 0;
  std::int32_t iend = 0;
  std::int32_t jend = 0;
  float lat0 = 0.0f;
  float lon0 = 0.0f;
  std::vector<std::int32_t> ci, cj;  ///< child cell of perimeter cell n (index n - 1)
  std::vector<std::int32_t> pi, pj;  ///< parent cell that holds it
  std::vector<std::int32_t> corder;  ///< child stream order at it
  SlotLists slots;
  std::int32_t pairNum = 0;
  std::int32_t gridNum = 0;
};

/// The gathered rows of `mapping.nc`, in five parallel arrays.
struct Entries {
  std::vector<std::int32_t> PnodeId;
  std::vector<std::int32_t> pOrder;
  std::vector<std::int32_t> cOrder;
  std::vector<float> weight;
  std::vector<std::int32_t> childIndex;

  std::size_t size() const { return PnodeId.size(); }
};

/// How the perimeter placement (and with it the whole run) ended.
enum class Placement {
  inside,          ///< every perimeter cell lies in the parent window
  outside_window,  ///< a perimeter cell lies outside it: no mapping can be made
};

/// Everything one run holds.
struct MappingState {
  NestingConfig config;
  ParentLinks links;
  ChildGrid child;
  PerimeterMatch match;
};

}  // namespace rn::linkweaver
