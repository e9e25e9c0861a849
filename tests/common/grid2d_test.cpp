// The grid type: shape, row order, and the zeroed storage of fields read in
// part.
#include "grid2d.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

template <typename Grid>
void expect_rows_in_file_order(Grid g) {
  EXPECT_EQ(g.columns(), 3u);
  EXPECT_EQ(g.rows(), 2u);
  EXPECT_TRUE(std::all_of(g.values().begin(), g.values().end(), [](auto v) { return v == 0; }));
  g(2, 1) = 7;  // last column of the second row: the last value stored
  EXPECT_EQ(g.at(2, 1), 5u);
  EXPECT_EQ(g[5], 7);
  EXPECT_EQ(g.values().back(), 7);
}

TEST(Grid2D, ZeroedRowsInFileOrderWhateverTheStorage) {
  expect_rows_in_file_order(rn::Grid2D<std::int32_t>(3, 2));
  expect_rows_in_file_order(rn::Grid2D<float, rn::ZeroedAllocator<float>>(3, 2));
  // A fill value is written into every cell with either storage.
  const rn::Grid2D<float, rn::ZeroedAllocator<float>> filled(2, 2, -9999.0f);
  EXPECT_TRUE(std::all_of(filled.values().begin(), filled.values().end(),
                          [](float v) { return v == -9999.0f; }));
  // An empty grid holds nothing; giving up the storage leaves a grid empty.
  rn::Grid2D<float> g(4, 1, 2.5f);
  EXPECT_EQ(g.release().size(), 4u);
  EXPECT_TRUE(g.empty());
  EXPECT_EQ(g.columns() + g.rows(), 0u);
}

}  // namespace
