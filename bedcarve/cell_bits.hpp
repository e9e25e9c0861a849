// One bit per cell of a grid (the water cells of a terrain): an eighth of a
// byte a cell, 64-bit positions.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace rn::bedcarve {

class CellBits {
 public:
  CellBits() = default;
  explicit CellBits(std::size_t cells) : words_((cells + 63) / 64, 0), size_(cells) {}

  std::size_t size() const { return size_; }
  bool test(std::size_t c) const { return (words_[c >> 6] >> (c & 63)) & 1u; }
  void set(std::size_t c) { words_[c >> 6] |= std::uint64_t{1} << (c & 63); }
  /// Calls `f(c)` for every set bit c, in increasing order, passing over
  /// 64 clear bits at a time.
  template <typename F>
  void for_each_set(F&& f) const {
    for (std::size_t w = 0; w < words_.size(); ++w) {
      for (std::uint64_t bits = words_[w]; bits != 0; bits &= bits - 1) {
        f(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
      }
    }
  }

 private:
  std::vector<std::uint64_t> words_;
  std::size_t size_ = 0;
};

}  // namespace rn::bedcarve
