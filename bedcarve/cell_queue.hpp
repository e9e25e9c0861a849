// A first-in first-out queue of cells on a ring buffer that grows as needed:
// it holds as many cells as wait at once, not every cell ever pushed (a
// breadth-first search over a grid keeps one frontier).
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace rn::bedcarve {

template <typename Cell>
class CellQueue {
 public:
  bool empty() const { return size_ == 0; }
  void push(Cell c) {
    if (size_ == buf_.size()) grow();
    buf_[(head_ + size_) & (buf_.size() - 1)] = c;
    ++size_;
  }
  Cell pop() {
    const Cell c = buf_[head_];
    head_ = (head_ + 1) & (buf_.size() - 1);
    --size_;
    return c;
  }

 private:
  // Doubles the buffer (a power of two), the waiting cells first in order.
  void grow() {
    std::vector<Cell> bigger(std::max<std::size_t>(1024, buf_.size() * 2));
    for (std::size_t k = 0; k < size_; ++k) bigger[k] = buf_[(head_ + k) & (buf_.size() - 1)];
    buf_.swap(bigger);
    head_ = 0;
  }
  std::vector<Cell> buf_;
  std::size_t head_ = 0, size_ = 0;
};

}  // namespace rn::bedcarve
