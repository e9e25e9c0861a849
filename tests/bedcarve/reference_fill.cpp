#include "reference_fill.hpp"

#include <vector>

#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::bedcarve::test {

std::int64_t reference_fill(std::span<float> height, std::span<const std::int32_t> channel,
                            std::int32_t ix, std::int32_t jx) {
  const int di[8] = {0, -1, -1, -1, 0, 1, 1, 1};
  const int dj[8] = {1, 1, 0, -1, -1, -1, 0, 1};
  const std::int64_t n = static_cast<std::int64_t>(ix) * jx;
  std::vector<std::int32_t> mask(static_cast<std::size_t>(n), -999);
  std::vector<std::int32_t> mask_search(static_cast<std::size_t>(n), -999);
  std::vector<std::int64_t> visited;
  auto at = [&](std::int32_t i, std::int32_t j) {
    return static_cast<std::size_t>((i - 1) + static_cast<std::int64_t>(j - 1) * ix);
  };
  auto terminal = [&](std::int32_t i, std::int32_t j) {
    return i == 1 || i == ix || j == 1 || j == jx || channel[at(i, j)] == 1 ||
           mask[at(i, j)] == 1;
  };
  auto visit = [&](std::size_t c) {
    if (mask_search[c] != 1) {
      mask_search[c] = 1;
      visited.push_back(static_cast<std::int64_t>(c));
    }
  };
  float minv = 0.0f;
  int flag = 0;
  struct Frame {
    std::int32_t i, j;
    int k;
  };
  std::vector<Frame> stack;

  // findnext: the recursive search, one frame per cell on the current path.
  auto findnext = [&](std::int32_t i0, std::int32_t j0) {
    auto enter = [&](std::int32_t i, std::int32_t j) {
      if (terminal(i, j)) {
        visit(at(i, j));
        mask[at(i, j)] = 1;
        flag = 1;
        return;
      }
      if (mask_search[at(i, j)] == 1) {
        flag = -999;
        return;
      }
      visit(at(i, j));
      stack.push_back({i, j, 0});
    };
    stack.clear();
    enter(i0, j0);
    while (!stack.empty()) {
      Frame& f = stack.back();
      const float h0 = height[at(f.i, f.j)];
      if (flag > 0) {  // step 5: a neighbour led to a terminal cell
        visit(at(f.i, f.j));
        mask[at(f.i, f.j)] = 1;
        flag = 1;
        stack.pop_back();
        continue;
      }
      if (f.k < 8) {  // step 3
        const std::int32_t ni = f.i + di[f.k], nj = f.j + dj[f.k];
        ++f.k;
        if (height[at(ni, nj)] <= h0) {
          if (mask_search[at(ni, nj)] != 1) {
            enter(ni, nj);
            visit(at(ni, nj));
          }
        }
        continue;
      }
      for (int k = 0; k < 8; ++k) {  // step 4
        const float v = height[at(f.i + di[k], f.j + dj[k])];
        if (v > h0 && v < minv) minv = v;
      }
      stack.pop_back();
    }
  };

  std::int64_t fills = 0;
  for (std::int32_t i = 1; i <= ix; ++i) {
    for (std::int32_t j = 1; j <= jx; ++j) {
      for (int iter = 0; iter < 100; ++iter) {
        flag = -999;
        minv = 9999999.0f;
        for (std::int64_t c : visited) mask_search[static_cast<std::size_t>(c)] = -999;
        visited.clear();
        if (mask[at(i, j)] >= 0 || channel[at(i, j)] >= -1) break;
        findnext(i, j);
        if (flag >= 0) break;
        // modheight
        if (minv == 9999999.0f) text_stop("wrong big minv for modify height");
        if (minv == -999.0f) text_stop("wrong small minv for modify height");
        out().record("step 5", i, j, minv, height[at(i, j)]);
        for (std::int64_t c : visited) {
          float& h = height[static_cast<std::size_t>(c)];
          if (mask_search[static_cast<std::size_t>(c)] > 0 && h < minv) h = minv;
        }
        out().record("step 6", i, j, minv, height[at(i, j)]);
        ++fills;
      }
    }
  }
  return fills;
}

}  // namespace rn::bedcarve::test
