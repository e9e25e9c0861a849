// Slot lists, order lookups, overlap checks, the record walk, the order
// search and the entry gathering.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "entries.hpp"
#include "fixtures.hpp"
#include "parent_network.hpp"
#include "slot_lists.hpp"

namespace rn::linkweaver::test {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr const char* kFirstWarning = " Warning: order does not match. Search neighbour grids.\n";

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

ParentLinks links(std::vector<std::int32_t> ids, std::vector<std::int32_t> orders) {
  return ParentLinks{static_cast<std::int32_t>(ids.size()), std::move(orders), std::move(ids)};
}

// `count` perimeter cells; `lists[n - 1]` holds the (id, order) pairs of cell n.
PerimeterMatch with_lists(int count, const std::vector<std::vector<std::pair<int, int>>>& lists) {
  PerimeterMatch match;
  match.gridNum = count;
  match.slots.allocate(count);
  for (int n = 1; n <= count; ++n) {
    match.ci.push_back(n);
    match.cj.push_back(1);
    match.corder.push_back(1);
  }
  for (std::size_t n = 0; n < lists.size(); ++n) {
    for (std::size_t s = 0; s < lists[n].size(); ++s) {
      const std::size_t at = SlotLists::at(static_cast<int>(n + 1), static_cast<int>(s + 1));
      match.slots.id[at] = lists[n][s].first;
      match.slots.order[at] = lists[n][s].second;
    }
  }
  return match;
}

TEST(OfferLink, FirstWeightStaysNonPositiveIdsAreOverwrittenTwentyFit) {
  SlotLists slots;
  slots.allocate(1);
  std::int32_t slot = -1;
  auto push = [&](std::int32_t id, float w) {
    return offer_link(slots.ids_of(1), slots.weights_of(1), id, w, slot);
  };
  EXPECT_EQ(push(0, 0.5f), Push::kept);  // 0 equals the empty slot
  EXPECT_EQ(push(-4, 0.5f), Push::stored);
  EXPECT_EQ(push(7, 0.25f), Push::stored);
  EXPECT_EQ(slot, 0);  // took the slot of -4
  EXPECT_EQ(push(7, 0.75f), Push::kept);
  EXPECT_EQ(slots.weight[0], 0.25f);
  for (int id = 8; id <= 26; ++id) EXPECT_EQ(push(id, 0.5f), Push::stored);
  EXPECT_EQ(slot, 19);
  EXPECT_EQ(push(27, 0.5f), Push::full);
  EXPECT_EQ(push(26, 0.5f), Push::kept);
}

TEST(StreamOrders, FirstOccurrenceAndWarningsInOrder) {
  const ParentLinks p = links({10, 20, 10, 30}, {1, 2, 3, 4});
  std::vector<std::int32_t> orders;
  const Ending e = ending_of([&] { orders = stream_orders(p, std::vector<std::int32_t>{10, 99, 30, 10, 77}); });
  EXPECT_EQ(orders, (std::vector<std::int32_t>{1, -999, 4, 1, -999}));
  EXPECT_EQ(e.out,
            " Warning: id not matched. \n input Id from mapping file is           99\n"
            " Warning: id not matched. \n input Id from mapping file is           77\n");
}

TEST(OverlapCounts, NegativeOrTooManyAreRejected) {
  EXPECT_FALSE(ending_of([] { check_overlap_counts("f.nc", std::vector<std::int32_t>{3, 0, 4}, 7); }).ended);
  Ending e = ending_of([] { check_overlap_counts("f.nc", std::vector<std::int32_t>{3, -1, 5}, 7); });
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP In mapping() - polygon 2 of f.nc has a negative overlaps count: -1");
  // A sum that wraps around in 32 bits is still too large.
  e = ending_of([] { check_overlap_counts("f.nc", std::vector<std::int32_t>{kMax, kMax, 4}, 7); });
  EXPECT_EQ(e.stop, "STOP In mapping() - the overlaps of f.nc add up to 4294967298 records, "
                    "more than its 7");
}

TEST(AttachLinks, CellsSharingAParentCellGetTheSameListAndStrayRecordsAreSkipped) {
  // Perimeter cells 1..3 in parent cells (5,5), (5,5), (6,5).
  const ParentCellIndex index(std::vector<std::int32_t>{5, 5, 6}, std::vector<std::int32_t>{5, 5, 5});
  PerimeterMatch match;
  match.gridNum = 3;
  match.slots.allocate(3);
  OverlapRecords r;
  r.polyid = {11, 12, 13};
  r.overlaps = {3, 2, 1};
  r.i_index = {5, 5, kMin, kMax, 6, 5};
  r.j_index = {5, 5, kMin, 7, 5, 5};
  r.regridweight = {0.25, 0.5, 1.0, 1.0, 0.125, 0.75};
  const Ending e = ending_of([&] { attach_links(r, index, links({13, 11}, {2, 4}), match); });
  for (int n : {1, 2}) {
    EXPECT_EQ(match.slots.id[SlotLists::at(n, 1)], 11);
    EXPECT_EQ(match.slots.weight[SlotLists::at(n, 1)], 0.25f);
    EXPECT_EQ(match.slots.order[SlotLists::at(n, 1)], 4);
    EXPECT_EQ(match.slots.id[SlotLists::at(n, 2)], 13);
    EXPECT_EQ(match.slots.order[SlotLists::at(n, 2)], 2);
  }
  EXPECT_EQ(match.slots.id[SlotLists::at(3, 1)], 12);
  EXPECT_EQ(match.slots.order[SlotLists::at(3, 1)], -999);
  EXPECT_EQ(match.pairNum, 5);
  EXPECT_EQ(e.out, " Warning: id not matched. \n input Id from mapping file is           12\n");
}

TEST(OrderSearch, OwnCellThenNearestLowerFirstWithinTenNoWrap) {
  // Cells 3 and 7 both match order 4 at distance 2 from cell 5.
  const PerimeterMatch a = with_lists(9, {{}, {}, {{30, 4}}, {{40, 9}}, {{50, 9}}, {{60, 9}}, {{70, 4}}});
  EXPECT_EQ(choose_order_cell(a, 4, 5, 0).cell, 3);
  EXPECT_EQ(choose_order_cell(a, 4, 5, 0).outcome, OrderChoice::Outcome::neighbour);
  EXPECT_EQ(choose_order_cell(a, 8, 5, 1).outcome, OrderChoice::Outcome::own);  // |8 - 9| <= 1
  EXPECT_EQ(choose_order_cell(a, 9, 5, -1).outcome, OrderChoice::Outcome::none);

  std::vector<std::vector<std::pair<int, int>>> lists(15);
  lists[14] = {{150, 3}};  // only cell 15 matches
  const PerimeterMatch b = with_lists(15, lists);
  EXPECT_EQ(choose_order_cell(b, 3, 5, 0).cell, 15);  // distance 10
  EXPECT_EQ(choose_order_cell(b, 3, 4, 0).outcome, OrderChoice::Outcome::none);
  EXPECT_EQ(choose_order_cell(b, 3, 1, 0).outcome, OrderChoice::Outcome::none);  // 2..11 only

  // An order below 1 ends the scan; orders far apart do not overflow.
  EXPECT_FALSE(order_scan(with_lists(1, {{{10, -999}, {11, 3}}}).slots, 1, 3, 5));
  EXPECT_FALSE(order_scan(with_lists(1, {{{10, kMax}}}).slots, 1, kMin, 5));
}

TEST(GatherEntries, NodesSharingAFullListGiveMoreEntriesThanPairs) {
  std::vector<std::vector<std::pair<int, int>>> lists(4);
  for (int s = 0; s < 20; ++s) lists[1].push_back({100 + s, 3});  // a full list at cell 2
  PerimeterMatch match = with_lists(4, lists);
  match.corder = {3, 3, 3, 3};
  ChildGrid child;
  child.ring = Ring(4, 1);
  child.nodeIndex.values.assign(4, 1);  // every cell a boundary node
  Entries entries;
  const Ending e = ending_of([&] { entries = gather_entries(child, match, 0); });
  EXPECT_EQ(entries.size(), 80u);
  EXPECT_EQ(entries.childIndex.front(), 1);
  EXPECT_EQ(entries.childIndex.back(), 4);
  EXPECT_EQ(entries.PnodeId[79], 119);
  // Cells 1, 3 and 4 borrow; a full list is visited 20 times, not 21.
  EXPECT_EQ(count_of(e.out, kFirstWarning), 60u);
}

}  // namespace
}  // namespace rn::linkweaver::test
