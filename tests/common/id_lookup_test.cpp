#include "id_lookup.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace {

using rn::first_positions;

// The plain scan the hash match must agree with.
std::vector<std::int32_t> scan(const std::vector<std::int32_t>& wanted,
                               const std::vector<std::int32_t>& ids) {
  std::vector<std::int32_t> result;
  for (std::int32_t w : wanted) {
    std::int32_t pos = -1;
    for (std::size_t j = 0; j < ids.size(); ++j) {
      if (ids[j] == w) {
        pos = static_cast<std::int32_t>(j + 1);
        break;
      }
    }
    result.push_back(pos);
  }
  return result;
}

TEST(FirstPositions, DuplicatesMissingAndRepeatedWantedIds) {
  const std::vector<std::int32_t> ids = {22, 11, 33, 11, 22};
  const std::vector<std::int32_t> wanted = {11, 22, 99, 33, 11, 0};
  EXPECT_EQ(first_positions(wanted, ids), (std::vector<std::int32_t>{2, 1, -1, 3, 2, -1}));
}

TEST(FirstPositions, ExtremeIdsIncludingTheTableMarker) {
  const std::int32_t lo = std::numeric_limits<std::int32_t>::min();
  const std::int32_t hi = std::numeric_limits<std::int32_t>::max();
  const std::vector<std::int32_t> ids = {hi, 0, lo, -1, lo};
  EXPECT_EQ(first_positions(std::vector<std::int32_t>{lo, hi, -1, 0, 5}, ids), (std::vector<std::int32_t>{3, 1, 4, 2, -1}));
  // The marker value is not found when it is not wanted, even though the
  // table is full of it.
  EXPECT_EQ(first_positions(std::vector<std::int32_t>{7}, ids), (std::vector<std::int32_t>{-1}));
}

TEST(FirstPositions, LongListsKeepTheFirstOfDuplicatesFarApart) {
  std::vector<std::int32_t> ids(20000);
  for (std::size_t j = 0; j < ids.size(); ++j) ids[j] = static_cast<std::int32_t>(j * 7 + 3);
  ids[15000] = ids[6000];  // a later duplicate in another stretch of the list
  ids[19999] = 42;         // only at the very end
  const std::vector<std::int32_t> wanted = {ids[6000], 42, ids[4096], ids[0], 5};
  EXPECT_EQ(first_positions(wanted, ids), (std::vector<std::int32_t>{6001, 20000, 4097, 1, -1}));
}

TEST(FirstPositions, EmptyInputs) {
  EXPECT_TRUE(first_positions({}, std::vector<std::int32_t>{1, 2}).empty());
  EXPECT_EQ(first_positions(std::vector<std::int32_t>{1, 2}, {}), (std::vector<std::int32_t>{-1, -1}));
}

TEST(FirstPositions, AgreesWithTheScanOnRandomLists) {
  std::mt19937 gen(12345);
  for (int round = 0; round < 20; ++round) {
    // Narrow id ranges give many duplicates and collisions; the longer
    // lists span several blocks of the filtered pass.
    std::uniform_int_distribution<std::int32_t> id(-50 * (round + 1), 50 * (round + 1));
    std::vector<std::int32_t> ids(round % 4 == 3 ? 9000 + 100 * round : 500 + 40 * round);
    std::vector<std::int32_t> wanted(100 + 10 * round);
    for (auto& v : ids) v = id(gen);
    for (auto& v : wanted) v = id(gen);
    ASSERT_EQ(first_positions(wanted, ids), scan(wanted, ids)) << "round " << round;
  }
}

}  // namespace
