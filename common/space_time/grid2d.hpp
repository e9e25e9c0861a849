// A two-dimensional model grid: its shape and its values in one object.
//
// Cell (i, j) is column i along the file's fastest-varying dimension
// (`west_east`, `x`, `lon_0`) and row j along the next one (`south_north`,
// `y`, `lat_0`).  Values are stored row by row, i varying fastest, exactly in
// the order of a netCDF variable with the CDL dimensions (rows, columns), so a
// whole-variable read fills `values()` without any transposition and row 0 is
// the first row stored in the file, whatever its geographic direction.
//
// Indices here are 0-based; the 1-based cells of messages and files are the
// caller's business.  Sizes and flat positions are 64-bit, so grids of more
// than 2^31 cells index correctly.
//
// The storage is a std::vector with the given allocator.  `ZeroedAllocator`
// serves grids that are read in part (siteseries reads only the rows its
// sites need): their memory comes zeroed from the system and pages that are
// never written are never touched.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace rn {

/// An allocator whose memory comes zeroed (calloc) and whose elements made
/// without a value are left as the memory holds them, i.e. zero, for types
/// that need no construction.  A vector of n such elements is n zeros that
/// cost no page until written.
template <typename T>
struct ZeroedAllocator {
  using value_type = T;
  ZeroedAllocator() = default;
  template <typename U>
  ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    void* p = std::calloc(n == 0 ? 1 : n, sizeof(T));
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) noexcept { std::free(p); }

  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0 && std::is_trivially_default_constructible_v<U>) {
      ::new (static_cast<void*>(p)) U;  // the zero the memory came with
    } else {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  }

  template <typename U>
  bool operator==(const ZeroedAllocator<U>&) const noexcept { return true; }
};

template <typename T, typename Allocator = std::allocator<T>>
class Grid2D {
 public:
  Grid2D() = default;
  /// A grid of `columns` by `rows` cells, every one zero (T{}).
  Grid2D(std::size_t columns, std::size_t rows)
      : columns_(columns), rows_(rows), values_(columns * rows) {}
  /// A grid of `columns` by `rows` cells, every one set to `fill`.
  Grid2D(std::size_t columns, std::size_t rows, const T& fill)
      : columns_(columns), rows_(rows), values_(columns * rows, fill) {}

  std::size_t columns() const { return columns_; }
  std::size_t rows() const { return rows_; }
  std::size_t size() const { return values_.size(); }
  bool empty() const { return values_.empty(); }

  /// Flat position of cell (i, j): j * columns + i.
  std::size_t at(std::size_t i, std::size_t j) const { return j * columns_ + i; }

  T& operator()(std::size_t i, std::size_t j) { return values_[at(i, j)]; }
  const T& operator()(std::size_t i, std::size_t j) const { return values_[at(i, j)]; }
  T& operator[](std::size_t flat) { return values_[flat]; }
  const T& operator[](std::size_t flat) const { return values_[flat]; }

  /// All values, row by row (the order of a whole-variable read).
  std::span<T> values() { return values_; }
  std::span<const T> values() const { return values_; }
  T* data() { return values_.data(); }
  const T* data() const { return values_.data(); }

  /// Gives up the storage (for handing the values to a writer or another
  /// owner); the grid is left empty.
  std::vector<T, Allocator> release() {
    columns_ = rows_ = 0;
    return std::exchange(values_, {});
  }

 private:
  std::size_t columns_ = 0;
  std::size_t rows_ = 0;
  std::vector<T, Allocator> values_;
};

}  // namespace rn
