// A fixed-size array of one value a cell, for the depression fill's state
// bytes and tags.  On Linux a large one asks for transparent huge pages:
// filling a grid-sized array page by page costs a fault every 4 kB, which on
// a virtual machine can take as long as a tenth of the whole fill, and the
// fill's scattered reads then miss the address cache far less often.  The
// values and the memory are the same either way.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace rn::bedcarve {

/// Contract: `CellArray(n, v)` holds n copies of v (n may be 0); it is
/// neither copied nor resized.  Memory: n * sizeof(T).  Throws
/// std::bad_alloc when out of memory.
template <typename T>
class CellArray {
 public:
  CellArray() = default;
  CellArray(std::size_t n, T v) : size_(n) {
    if (n == 0) return;
    const std::size_t bytes = n * sizeof(T);
    void* p = nullptr;
    if (bytes >= kLarge) {
      // Aligned so that every whole 2 MiB of the array can be one page; the
      // tail that is not a whole one keeps small pages (no memory is added).
      if (posix_memalign(&p, kHuge, bytes) != 0) p = nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
      if (p) madvise(p, bytes, MADV_HUGEPAGE);  // a hint: refused, the pages stay small
#endif
    } else {
      p = std::malloc(bytes);
    }
    if (!p) throw std::bad_alloc();
    data_.reset(static_cast<T*>(p));
    for (std::size_t k = 0; k < n; ++k) data_[k] = v;
  }

  std::size_t size() const { return size_; }
  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  T& operator[](std::size_t k) { return data_[k]; }
  const T& operator[](std::size_t k) const { return data_[k]; }

 private:
  static constexpr std::size_t kHuge = std::size_t{1} << 21;
  static constexpr std::size_t kLarge = std::size_t{8} << 20;
  struct Free {
    void operator()(T* p) const { std::free(p); }
  };
  std::unique_ptr<T[], Free> data_;
  std::size_t size_ = 0;
};

}  // namespace rn::bedcarve
