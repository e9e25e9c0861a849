// A growing array stored in chunks of 2^14 elements, for the lakes and
// drainage classes of the depression fill: growing never copies what is
// there (so references stay valid) and never holds twice the elements, as a
// doubling vector does for a while and may keep for good.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace rn::bedcarve {

template <typename T>
class ChunkedVector {
  static constexpr unsigned kShift = 14;
  static constexpr std::size_t kChunk = std::size_t{1} << kShift;

 public:
  std::size_t size() const { return size_; }
  T& operator[](std::size_t k) { return chunks_[k >> kShift][k & (kChunk - 1)]; }
  const T& operator[](std::size_t k) const { return chunks_[k >> kShift][k & (kChunk - 1)]; }

  void push_back(const T& v) {
    // Not zeroed: every element is written before it is read, and a chunk's
    // untouched pages then take no memory.
    if ((size_ >> kShift) == chunks_.size()) {
      chunks_.push_back(std::make_unique_for_overwrite<T[]>(kChunk));
    }
    (*this)[size_++] = v;
  }

  template <typename F>
  void for_each(F&& f) {
    for (std::size_t k = 0; k < size_; ++k) f((*this)[k]);
  }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace rn::bedcarve
