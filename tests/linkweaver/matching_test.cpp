// Slot lists, order lookups, the record walk, the order search and the
// entry gathering.
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

constexpr const char* kFirstWarning = " Warning: order does not match. Search neighbour grids.\n";

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

Plink links(std::vector<std::int32_t> ids, std::vector<std::int32_t> orders) {
  Plink p;
  p.nlinks = static_cast<std::int32_t>(ids.size());
  p.link = std::move(ids);
  p.order = std::move(orders);
  return p;
}

// `count` perimeter cells with the given slot lists (ids and orders).
Inter with_lists(int count, const std::vector<std::vector<std::pair<int, int>>>& lists) {
  Inter inter;
  inter.gridNum = count;
  inter.slots.allocate(count);
  for (int n = 1; n <= count; ++n) {
    inter.ci.push_back(n);
    inter.cj.push_back(1);
    inter.corder.push_back(1);
  }
  for (std::size_t n = 0; n < lists.size(); ++n) {
    for (std::size_t s = 0; s < lists[n].size(); ++s) {
      const std::size_t at = SlotLists::at(static_cast<int>(n + 1), static_cast<int>(s + 1));
      inter.slots.id[at] = lists[n][s].first;
      inter.slots.order[at] = lists[n][s].second;
      inter.slots.weight[at] = 0.5f;
    }
  }
  return inter;
}

TEST(Pushtoarray, KeepsTheFirstWeightAndFillsWithoutGaps) {
  SlotLists slots;
  slots.allocate(1);
  std::int32_t slot = -1;
  EXPECT_EQ(pushtoarray(slots.ids_of(1), slots.weights_of(1), 7, 0.25f, slot), Push::stored);
  EXPECT_EQ(slot, 0);
  EXPECT_EQ(pushtoarray(slots.ids_of(1), slots.weights_of(1), 7, 0.75f, slot), Push::kept);
  EXPECT_EQ(slots.weight[0], 0.25f);
  EXPECT_EQ(pushtoarray(slots.ids_of(1), slots.weights_of(1), 8, 0.5f, slot), Push::stored);
  EXPECT_EQ(slot, 1);
  for (int id = 9; id <= 26; ++id) {
    EXPECT_EQ(pushtoarray(slots.ids_of(1), slots.weights_of(1), id, 0.5f, slot), Push::stored);
  }
  EXPECT_EQ(pushtoarray(slots.ids_of(1), slots.weights_of(1), 27, 0.5f, slot), Push::full);
  EXPECT_EQ(pushtoarray(slots.ids_of(1), slots.weights_of(1), 26, 0.5f, slot), Push::kept);
}

TEST(Pushtoarray, ANonPositiveIdentifierCountsAsAnEmptySlot) {
  SlotLists slots;
  slots.allocate(1);
  std::int32_t slot = -1;
  EXPECT_EQ(pushtoarray(slots.ids_of(1), slots.weights_of(1), 0, 0.5f, slot), Push::kept);
  EXPECT_EQ(pushtoarray(slots.ids_of(1), slots.weights_of(1), -4, 0.5f, slot), Push::stored);
  EXPECT_EQ(pushtoarray(slots.ids_of(1), slots.weights_of(1), 5, 0.5f, slot), Push::stored);
  EXPECT_EQ(slot, 0);  // took the slot of -4
  EXPECT_EQ(slots.id[0], 5);
}

TEST(Getorder, FirstOccurrenceAndWarningsInOrder) {
  const Plink p = links({10, 20, 10, 30}, {1, 2, 3, 4});
  std::vector<std::int32_t> orders;
  const Ending e = ending_of([&] {
    const std::vector<std::int32_t> ids{10, 99, 30, 10, 77, 99};
    orders = getorders(p, ids);
  });
  EXPECT_EQ(orders, (std::vector<std::int32_t>{1, -999, 4, 1, -999, -999}));
  EXPECT_EQ(e.out,
            " Warning: id not matched. \n input Id from mapping file is           99\n"
            " Warning: id not matched. \n input Id from mapping file is           77\n"
            " Warning: id not matched. \n input Id from mapping file is           99\n");
  EXPECT_EQ(getorder(p, 20), 2);
}

TEST(OverlapCounts, NegativeOrTooManyAreRejected) {
  const std::vector<std::int32_t> ok{3, 0, 4};
  EXPECT_FALSE(ending_of([&] { check_overlap_counts("f.nc", ok, 7); }).ended);
  const std::vector<std::int32_t> negative{3, -1, 5};
  Ending e = ending_of([&] { check_overlap_counts("f.nc", negative, 7); });
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP In mapping() - polygon 2 of f.nc has a negative overlaps count: -1");
  // A sum that wraps around in 32 bits is still too large.
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::vector<std::int32_t> huge{kMax, kMax, 4};
  e = ending_of([&] { check_overlap_counts("f.nc", huge, 7); });
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP In mapping() - the overlaps of f.nc add up to 4294967298 records, "
                    "more than its 7");
}

struct Walk {
  OverlapRecords records;
  void polygon(std::int32_t id, std::vector<std::tuple<int, int, double>> rows) {
    records.polyid.push_back(id);
    records.overlaps.push_back(static_cast<std::int32_t>(rows.size()));
    for (auto [i, j, w] : rows) {
      records.i_index.push_back(i);
      records.j_index.push_back(j);
      records.regridweight.push_back(w);
    }
  }
};

TEST(AttachLinks, CellsSharingAParentCellGetTheSameList) {
  // Perimeter cells 1..4 in parent cells (5,5), (5,5), (6,5), (6,6).
  const std::vector<std::int32_t> pi{5, 5, 6, 6}, pj{5, 5, 5, 6};
  const ParentCellIndex index(pi, pj);
  Inter inter;
  inter.gridNum = 4;
  inter.slots.allocate(4);
  Walk w;
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  w.polygon(11, {{5, 5, 0.25}, {5, 5, 0.5}, {kMin, kMin, 1.0}});  // twice in one cell
  w.polygon(12, {{7, 7, 1.0}, {6, 5, 0.125}});
  w.polygon(13, {{5, 5, 0.75}});
  const Plink p = links({13, 11}, {2, 4});
  const Ending e = ending_of([&] { attach_links(w.records, index, p, inter); });
  EXPECT_FALSE(e.ended);
  for (int n : {1, 2}) {
    EXPECT_EQ(inter.slots.id[SlotLists::at(n, 1)], 11);
    EXPECT_EQ(inter.slots.weight[SlotLists::at(n, 1)], 0.25f);
    EXPECT_EQ(inter.slots.order[SlotLists::at(n, 1)], 4);
    EXPECT_EQ(inter.slots.id[SlotLists::at(n, 2)], 13);
    EXPECT_EQ(inter.slots.order[SlotLists::at(n, 2)], 2);
    EXPECT_EQ(inter.slots.id[SlotLists::at(n, 3)], 0);
  }
  EXPECT_EQ(inter.slots.id[SlotLists::at(3, 1)], 12);
  EXPECT_EQ(inter.slots.order[SlotLists::at(3, 1)], -999);
  EXPECT_EQ(inter.slots.id[SlotLists::at(4, 1)], 0);
  EXPECT_EQ(inter.pairNum, 5);
  EXPECT_EQ(e.out, " Warning: id not matched. \n input Id from mapping file is           12\n");
}

TEST(AttachLinks, TwentyFirstLinkStopsAfterTheEarlierWarnings) {
  const std::vector<std::int32_t> pi{1}, pj{1};
  const ParentCellIndex index(pi, pj);
  Inter inter;
  inter.gridNum = 1;
  inter.slots.allocate(1);
  Walk w;
  for (int id = 1; id <= 21; ++id) w.polygon(id, {{1, 1, 0.5}});
  const Plink p = links({2}, {1});
  const Ending e = ending_of([&] { attach_links(w.records, index, p, inter); });
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP in pushToArray: size of 20 is too small. ");
  EXPECT_EQ(count_of(e.out, "Warning: id not matched."), 19u);
  EXPECT_EQ(e.out.rfind("input Id from mapping file is           20\n"),
            e.out.size() - std::string("input Id from mapping file is           20\n").size());
}

TEST(OrderSearch, OwnCellFirstThenNearestLowerFirst) {
  // Cell 5 is searched; cells 3 and 7 both match at distance 2.
  Inter inter = with_lists(9, {{}, {}, {{30, 4}}, {{40, 9}}, {{50, 9}}, {{60, 9}}, {{70, 4}}});
  const OrderChoice c = choose_order_cell(inter, 4, 5, 0);
  EXPECT_EQ(c.cell, 3);
  EXPECT_EQ(c.outcome, OrderChoice::Outcome::neighbour);
  EXPECT_EQ(choose_order_cell(inter, 9, 5, 0).cell, 5);
  EXPECT_EQ(choose_order_cell(inter, 9, 5, 0).outcome, OrderChoice::Outcome::own);
  EXPECT_EQ(choose_order_cell(inter, 8, 5, 1).cell, 5);   // |8 - 9| <= 1
  EXPECT_EQ(choose_order_cell(inter, 9, 5, -1).outcome, OrderChoice::Outcome::none);
}

TEST(OrderSearch, NoWrapAndReachOfTen) {
  // 15 cells; only cell 15 matches.  Cell 1 searches 2..11 and finds nothing.
  std::vector<std::vector<std::pair<int, int>>> lists(15);
  lists[14] = {{150, 3}};
  const Inter inter = with_lists(15, lists);
  EXPECT_EQ(choose_order_cell(inter, 3, 1, 0).outcome, OrderChoice::Outcome::none);
  EXPECT_EQ(choose_order_cell(inter, 3, 5, 0).cell, 15);  // distance 10
  EXPECT_EQ(choose_order_cell(inter, 3, 4, 0).outcome, OrderChoice::Outcome::none);
}

TEST(OrderSearch, OrderBelowOneHidesLaterSlots) {
  const Inter inter = with_lists(1, {{{10, -999}, {11, 3}}});
  EXPECT_FALSE(order_scan(inter.slots, 1, 3, 5));
  const Inter empty_first = with_lists(1, {{{10, 0}, {11, 3}}});
  EXPECT_FALSE(order_scan(empty_first.slots, 1, 3, 5));
  const Inter extreme = with_lists(1, {{{10, std::numeric_limits<std::int32_t>::max()}}});
  EXPECT_FALSE(order_scan(extreme.slots, 1, std::numeric_limits<std::int32_t>::min(), 5));
}

TEST(SearchOrder, RecordsOfAFailedSearch) {
  Inter inter = with_lists(2, {});
  inter.ci = {7, 8};
  inter.cj = {3, 3};
  std::int32_t m = 0;
  const Ending e = ending_of([&] { m = searchorder(inter, 4, 2, 1); });
  EXPECT_EQ(m, 2);
  EXPECT_EQ(e.out, std::string(kFirstWarning) +
                       " Warning: order does not match from neighbour grids. river node is \n"
                       " k=           2  i=           8  j=           3 order=           4\n");
}

// Boundary nodes at perimeter cells `nodes` of a one-row child grid of
// `count` cells whose ring holds them all.
Child child_with_nodes(int count, const std::vector<int>& nodes) {
  Child c;
  c.ixrt = count;
  c.jxrt = 1;
  c.ring = Ring(count, 1);
  c.nodeIndex.values.assign(c.ring.size(), kNoNode);
  for (int n : nodes) c.nodeIndex.at(c.ring, n, 1) = 1;
  return c;
}

TEST(GatherEntries, BorrowedListOfThreeWarnsBeforeEverySlotVisited) {
  Inter inter = with_lists(3, {{{10, 2}, {11, 5}, {12, -999}}, {}, {}});
  inter.corder = {2, 2, 9};
  const Child child = child_with_nodes(3, {2, 3});
  Entries entries;
  const Ending e = ending_of([&] { entries = gather_entries(child, inter, 0); });
  // Node 2 borrows cell 1's three links with its own order and number;
  // node 3 matches nowhere and its own list is empty.
  EXPECT_EQ(entries.PnodeId, (std::vector<std::int32_t>{10, 11, 12}));
  EXPECT_EQ(entries.pOrder, (std::vector<std::int32_t>{2, 5, -999}));
  EXPECT_EQ(entries.cOrder, (std::vector<std::int32_t>{2, 2, 2}));
  EXPECT_EQ(entries.childIndex, (std::vector<std::int32_t>{2, 2, 2}));
  EXPECT_EQ(entries.weight, (std::vector<float>{0.5f, 0.5f, 0.5f}));
  EXPECT_EQ(count_of(e.out, kFirstWarning), 4u + 1u);
  EXPECT_EQ(count_of(e.out, "river node is"), 1u);
}

TEST(GatherEntries, SeveralNodesTakingOneListGiveMoreEntriesThanPairs) {
  std::vector<std::vector<std::pair<int, int>>> lists(4);
  for (int s = 0; s < 20; ++s) lists[1].push_back({100 + s, 3});  // a full list at cell 2
  Inter inter = with_lists(4, lists);
  inter.corder = {3, 3, 3, 3};
  const Child child = child_with_nodes(4, {1, 2, 3, 4});
  Entries entries;
  const Ending e = ending_of([&] { entries = gather_entries(child, inter, 0); });
  EXPECT_EQ(entries.size(), 80u);
  EXPECT_EQ(entries.childIndex.front(), 1);
  EXPECT_EQ(entries.childIndex.back(), 4);
  EXPECT_EQ(entries.PnodeId[79], 119);
  // Cells 1, 3 and 4 borrow; a full list is visited 20 times.
  EXPECT_EQ(count_of(e.out, kFirstWarning), 60u);
}

}  // namespace
}  // namespace rn::linkweaver::test
