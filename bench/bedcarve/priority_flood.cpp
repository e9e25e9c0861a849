#include "priority_flood.hpp"

#include <cstddef>
#include <queue>
#include <vector>

#include "cell_queue.hpp"

namespace rn::bench {
namespace {

using Cell = std::int64_t;

struct Open {
  float level;
  Cell cell;
  bool operator>(const Open& o) const { return level > o.level; }
};

}  // namespace

void priority_flood_wei2018(std::span<float> h, const rn::bedcarve::CellBits& water,
                            std::int64_t ix, std::int64_t jx) {
  const std::size_t n = static_cast<std::size_t>(ix * jx);
  std::vector<std::uint8_t> closed(n, 0);
  std::priority_queue<Open, std::vector<Open>, std::greater<Open>> open;
  rn::bedcarve::CellQueue<Cell> depression, slope;
  const Cell off[8] = {ix, ix - 1, -1, -ix - 1, -ix, -ix + 1, 1, ix + 1};

  // Outlets: the ring and the water cells.  Ring cells are closed as 2:
  // only they need their neighbours bounds-checked.
  for (Cell j = 0; j < jx; ++j) {
    for (Cell i = 0; i < ix; ++i) {
      const Cell c = i + j * ix;
      const bool ring = i == 0 || j == 0 || i == ix - 1 || j == jx - 1;
      if (ring || water.test(static_cast<std::size_t>(c))) closed[c] = ring ? 2 : 1;
    }
  }
  auto neighbours = [&](Cell c, auto&& f) {
    if (closed[c] != 2) {
      for (Cell d : off) f(c + d);
      return;
    }
    const Cell i = c % ix, j = c / ix;
    for (Cell dj = -1; dj <= 1; ++dj) {
      for (Cell di = -1; di <= 1; ++di) {
        const Cell ii = i + di, jj = j + dj;
        if ((di || dj) && ii >= 0 && jj >= 0 && ii < ix && jj < jx) f(ii + jj * ix);
      }
    }
  };
  // A neighbour met from a cell at `level`: raised and queued as part of the
  // depression, or queued as a slope cell that drains through it.
  auto meet = [&](Cell m, float level) {
    closed[m] = 1;
    if (h[m] <= level) {
      h[m] = level;
      depression.push(m);
    } else {
      slope.push(m);
    }
  };

  // Only outlets next to an open cell go on the priority queue (the open
  // sea needs no queue at all).
  for (Cell c = 0; c < static_cast<Cell>(n); ++c) {
    if (!closed[c]) continue;
    bool open_next = false;
    neighbours(c, [&](Cell m) { open_next = open_next || !closed[m]; });
    if (open_next) open.push({h[c], c});
  }

  for (;;) {
    if (!depression.empty()) {
      const Cell c = depression.pop();
      const float level = h[c];
      neighbours(c, [&](Cell m) {
        if (!closed[m]) meet(m, level);
      });
    } else if (!slope.empty()) {
      // Keeps its height; its higher neighbours drain through it.  An open
      // lower neighbour may belong to another depression: the cell then
      // waits on the priority queue until its level comes up.
      const Cell c = slope.pop();
      const float level = h[c];
      bool lower_open = false;
      neighbours(c, [&](Cell m) {
        if (closed[m]) return;
        if (h[m] >= level) {
          closed[m] = 1;
          slope.push(m);
        } else {
          lower_open = true;
        }
      });
      if (lower_open) open.push({level, c});
    } else if (!open.empty()) {
      const Open top = open.top();
      open.pop();
      neighbours(top.cell, [&](Cell m) {
        if (!closed[m]) meet(m, top.level);
      });
    } else {
      break;
    }
  }
}

}  // namespace rn::bench
