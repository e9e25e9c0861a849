// Depression filling with persistent lakes and drainage classes.
//
// What the plain repeated search does, in terms that do not depend on the
// order of its visits (each fact is what the fast form below builds on):
//
//  1. A search from s succeeds exactly when s *drains*: some path that never
//     climbs leads from s to the ring or a water cell (cells marked as
//     draining drain, so reaching one is the same).  Which cells a
//     successful search marks never changes a later outcome, only saves work.
//  2. A failed search visits the whole set R(s) of cells reachable from s by
//     never-climbing steps; `minv` = min over v in R(s), n neighbour of v
//     with h(n) > h(v), of h(n) (capped by 9999999.0).
//  3. Call *pit* a maximal connected flat region with no strictly lower
//     neighbour.  Every cell of R(s) leads downhill to a pit in R(s), so
//     `minv` = min over the pits P in R(s) of rim(P), the lowest (non-NaN)
//     outer neighbour of P.  The cells of R(s) below `minv` are exactly the
//     cells of the pits of R(s) whose level is below `minv`: the fill raises
//     those pits, whole, to `minv`, nothing else.
//  4. A raise to `minv` never lifts a cell above any neighbour (`minv` is at
//     most each raised pit's rim), so no never-climbing step is ever lost:
//     drainage only spreads, and R(s) only grows.
//  5. After a raise, a pit whose rim equals its new level joins the cells of
//     its rim at that level (and the lakes there): the lake *absorbs* them.
//     A lake with a strictly lower neighbour has *spilled*; it then leads to
//     the pits below that neighbour, or drains.
//
// So the run is a process on pits, and this file keeps them between searches
// and between start cells:
//
//  - `drain` flags, exact at all times: a reverse search from the ring and
//    the water cells (climbing or level steps), extended from every point
//    where a lake meets a draining cell.  A start cell that drains is passed
//    over at once (fact 1).
//  - Lakes: a union-find over cells, one level per lake (raising a whole
//    lake costs O(1)), a pairing heap of rim candidates (neighbours above the
//    level, keyed by their height, which cannot change while they wait:
//    fact 4), and the list of lower neighbours met while absorbing (outlets;
//    an outlet raised to the level later is dropped).
//  - Drainage classes: a union-find over labels that give every explored
//    cell the set of pits it leads to.  A class is a pit, a junction (the
//    union of its successor classes), or drained.  Pit sets change only at a
//    pit (a spill replaces it by the pits below, a merge by the merged lake),
//    so cells with equal pit sets keep equal pit sets and classes are only
//    ever joined, never split.  A class with one distinct successor is
//    joined to it; slope cells with the same successors share one junction;
//    a junction takes over its junction successors' lists while the list
//    stays short (at most 256), so walks reach the pits in a step or two.
//    Each cell is explored (labelled) once in the whole run.
//  - Per start cell: the pits of R(s) (a walk over the classes from the
//    start cell's label), a heap of those pits by rim, and raise groups: the
//    pits raised by one fill share a level from then on within this start
//    cell, so a union-find over them raises all of them in O(1).  A fill is:
//    minv = lowest rim; record; raise the groups below minv; record; flood
//    every pit whose rim equals minv (it takes in the cells and lakes at
//    minv); only then settle each grown lake (pit again, spilled - its new
//    pits join - or drained), so that each is judged on its whole flat.
//
// Bits: values that compare equal have equal bits except +0 and -0.  A cell
// of a lake shows the lake's level bits when it lies below its own joining
// height (it was raised), else its own bits.  When the grid holds both
// zeros, the bits of a zero `minv` are taken from the first candidate of
// the plain search order (a plain search of R(s) for that fill only), and
// lakes that meet at level zero with different level bits keep their raised
// cells' bits explicitly.
//
// Cost: every cell is labelled once and absorbed into a lake at most once;
// each rim candidate is pushed once per lake it borders; lakes, classes and
// raise groups are joined by union-find; so the run is O(N log N) plus, per
// start cell that needs fills, the walk over its classes and pits (short:
// see the classes above).  Memory: about 17 bytes per cell plus the lakes,
// classes and heaps.  Nothing recurses: every search keeps its own stack.
#include "depression_fill.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::bedcarve {
namespace {

using Cell = std::int32_t;

enum CellFlag : std::uint8_t { kDrain = 1, kRing = 2 };
enum LakeState : std::uint8_t { kPit = 0, kSpilled = 1, kDrained = 2 };
enum ClassKind : std::uint8_t { kPitClass = 0, kJunction = 1, kDrainClass = 2 };

constexpr std::int32_t kUnlabelled = -1;
constexpr std::int32_t kInProgress = -2;

// Neighbour order of the search: N, NW, W, SW, S, SE, E, NE (j grows
// northward, i eastward).
constexpr int kDi[8] = {0, -1, -1, -1, 0, 1, 1, 1};
constexpr int kDj[8] = {1, 1, 0, -1, -1, -1, 0, 1};

/// A min-heap entry keyed by a height.
struct Keyed {
  float key;
  std::int32_t id;
};
struct KeyedAbove {
  bool operator()(const Keyed& a, const Keyed& b) const { return a.key > b.key; }
};

class MinHeap {
 public:
  void clear() { v_.clear(); }
  bool empty() const { return v_.empty(); }
  const Keyed& top() const { return v_.front(); }
  void push(float key, std::int32_t id) {
    v_.push_back({key, id});
    std::push_heap(v_.begin(), v_.end(), KeyedAbove{});
  }
  void pop() {
    std::pop_heap(v_.begin(), v_.end(), KeyedAbove{});
    v_.pop_back();
  }

 private:
  std::vector<Keyed> v_;
};

/// Pairing heaps of rim candidates in one node pool (meld in O(1)).
class RimHeaps {
 public:
  static constexpr std::int32_t kNone = -1;

  float key(std::int32_t root) const { return nodes_[root].key; }
  Cell cell(std::int32_t root) const { return nodes_[root].cell; }

  std::int32_t push(std::int32_t root, float key, Cell cell) {
    std::int32_t n;
    if (free_ != kNone) {
      n = free_;
      free_ = nodes_[n].next;
      nodes_[n] = {key, cell, kNone, kNone};
    } else {
      n = static_cast<std::int32_t>(nodes_.size());
      nodes_.push_back({key, cell, kNone, kNone});
    }
    return meld(root, n);
  }

  std::int32_t meld(std::int32_t a, std::int32_t b) {
    if (a == kNone) return b;
    if (b == kNone) return a;
    if (nodes_[b].key < nodes_[a].key) std::swap(a, b);
    nodes_[b].next = nodes_[a].child;
    nodes_[a].child = b;
    return a;
  }

  /// Removes the root; returns the new root.  Two-pass pairing.
  std::int32_t pop(std::int32_t root) {
    std::int32_t child = nodes_[root].child;
    nodes_[root].next = free_;
    free_ = root;
    pairs_.clear();
    while (child != kNone) {
      std::int32_t a = child;
      std::int32_t b = nodes_[a].next;
      if (b == kNone) {
        nodes_[a].next = kNone;
        pairs_.push_back(a);
        break;
      }
      child = nodes_[b].next;
      nodes_[a].next = kNone;
      nodes_[b].next = kNone;
      pairs_.push_back(meld(a, b));
    }
    std::int32_t result = kNone;
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) result = meld(result, *it);
    return result;
  }

  std::size_t pool_size() const { return nodes_.size(); }

 private:
  struct Node {
    float key;
    Cell cell;
    std::int32_t child;
    std::int32_t next;
  };
  std::vector<Node> nodes_;
  std::vector<std::int32_t> pairs_;
  std::int32_t free_ = kNone;
};

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

/// Root of `x` in a union-find held as a parent array (path halving).
std::int32_t find_root(std::vector<std::int32_t>& parent, std::int32_t x) {
  while (parent[x] != x) {
    parent[x] = parent[parent[x]];
    x = parent[x];
  }
  return x;
}

class Engine {
 public:
  Engine(std::span<float> h, std::span<const std::int32_t> channel, std::int32_t ix,
         std::int32_t jx, const FillTuning& tuning)
      : h_(h),
        ix_(ix),
        jx_(jx),
        n_(static_cast<Cell>(static_cast<std::int64_t>(ix) * jx)),
        flat_list_(tuning.flat_list) {
    for (int k = 0; k < 8; ++k) off_[k] = kDi[k] + kDj[k] * ix_;
    flags_.assign(static_cast<std::size_t>(n_), 0);
    lake_of_.assign(static_cast<std::size_t>(n_), -1);
    label_.assign(static_cast<std::size_t>(n_), kUnlabelled);
    rim_owner_.assign(static_cast<std::size_t>(n_), -1);
    bool pos_zero = false, neg_zero = false;
    for (float v : h_) {
      if (v == 0.0f) (std::signbit(v) ? neg_zero : pos_zero) = true;
    }
    mixed_zero_ = pos_zero && neg_zero;
    init_drainage(channel);
  }

  FillCounts run() {
    for (std::int32_t i0 = 0; i0 < ix_; ++i0) {
      for (std::int32_t j0 = 0; j0 < jx_; ++j0) {
        const Cell s = i0 + j0 * ix_;
        if (flags_[s] & kDrain) continue;
        process_start(s);
      }
    }
    // Lake cells take their lake's level (see cell_height).
    for (Cell c = 0; c < n_; ++c) {
      if (lake_of_[c] >= 0) h_[c] = cell_height(c);
    }
    counts_.lakes = lakes_created_;
    return counts_;
  }

 private:
  // ---- cells -------------------------------------------------------------

  bool interior(Cell c) const { return !(flags_[c] & kRing); }

  template <typename F>
  void for_neighbours(Cell c, F&& f) const {
    if (interior(c)) {
      for (int k = 0; k < 8; ++k) f(c + off_[k]);
      return;
    }
    const std::int32_t i0 = c % ix_, j0 = c / ix_;
    for (int k = 0; k < 8; ++k) {
      const std::int32_t ii = i0 + kDi[k], jj = j0 + kDj[k];
      if (ii >= 0 && ii < ix_ && jj >= 0 && jj < jx_) f(ii + jj * ix_);
    }
  }

  /// Current height value of a cell.
  float value(Cell c) {
    const std::int32_t l = lake_of_[c];
    return l < 0 ? h_[c] : level_of(find_lake(l));
  }

  /// Current height of a cell, bits included.
  float cell_height(Cell c) {
    const std::int32_t l = lake_of_[c];
    if (l < 0) return h_[c];
    const float level = level_of(find_lake(l));
    return h_[c] < level ? level : h_[c];
  }

  // ---- drainage ----------------------------------------------------------

  void init_drainage(std::span<const std::int32_t> channel) {
    queue_.clear();
    for (Cell c = 0; c < n_; ++c) {
      const std::int32_t i0 = c % ix_, j0 = c / ix_;
      const bool ring = i0 == 0 || j0 == 0 || i0 == ix_ - 1 || j0 == jx_ - 1;
      if (ring) flags_[c] |= kRing;
      if (ring || channel[c] == 1) {
        flags_[c] |= kDrain;
        queue_.push_back(c);
      }
    }
    spread_drainage();
  }

  /// Marks every cell that reaches a queued draining cell by never-climbing
  /// steps.  Each cell is marked once in the whole run.
  void spread_drainage() {
    for (std::size_t q = 0; q < queue_.size(); ++q) {
      const Cell v = queue_[q];
      const float hv = value(v);
      for_neighbours(v, [&](Cell u) {
        if (flags_[u] & kDrain) return;
        if (value(u) >= hv) {
          flags_[u] |= kDrain;
          queue_.push_back(u);
        }
      });
    }
    queue_.clear();
  }

  void drain_from(Cell d) {
    queue_.clear();
    queue_.push_back(d);
    spread_drainage();
  }

  // ---- lakes -------------------------------------------------------------

  std::int32_t find_lake(std::int32_t l) { return find_root(lk_parent_, l); }

  /// Level of a lake root: its raise group's level while it takes part in
  /// the current start cell's fills, else its own.
  float level_of(std::int32_t r) {
    if (lk_stamp_[r] == run_id_ && lk_group_[r] >= 0) return gr_level_[find_group(lk_group_[r])];
    return lk_level_[r];
  }

  std::int32_t new_lake(float level, Cell seed, std::int32_t cls) {
    const auto l = static_cast<std::int32_t>(lk_parent_.size());
    lk_parent_.push_back(l);
    lk_size_.push_back(0);
    lk_level_.push_back(level);
    lk_rim_.push_back(RimHeaps::kNone);
    lk_out_head_.push_back(-1);
    lk_out_tail_.push_back(-1);
    lk_class_.push_back(cls);
    lk_stamp_.push_back(0);
    lk_group_.push_back(-1);
    lk_seed_.push_back(seed);
    lk_state_.push_back(kPit);
    ++lakes_created_;
    return l;
  }

  /// Adds `n` (height `key`, bits included) to the rim of lake root `l`
  /// unless it is already there.
  void rim_push(std::int32_t l, Cell n, float key) {
    const std::int32_t o = rim_owner_[n];
    if (o >= 0 && find_lake(o) == l) return;
    rim_owner_[n] = l;
    lk_rim_[l] = rim_.push(lk_rim_[l], key, n);
  }

  void add_outlet(std::int32_t l, Cell y) {
    const auto e = static_cast<std::int32_t>(out_cell_.size());
    out_cell_.push_back(y);
    out_next_.push_back(-1);
    if (lk_out_tail_[l] < 0) {
      lk_out_head_[l] = e;
    } else {
      out_next_[lk_out_tail_[l]] = e;
    }
    lk_out_tail_[l] = e;
  }

  /// True when lake root `l` (at `level`) still has a lower neighbour.
  /// Outlets that have been raised to the level are dropped for good.
  bool has_outlet(std::int32_t l, float level) {
    std::int32_t e = lk_out_head_[l];
    while (e >= 0) {
      if (value(out_cell_[e]) < level) break;
      e = out_next_[e];
    }
    lk_out_head_[l] = e;
    if (e < 0) lk_out_tail_[l] = -1;
    return e >= 0;
  }

  // ---- drainage classes ---------------------------------------------------

  std::int32_t find_class(std::int32_t x) { return find_root(cl_parent_, x); }

  std::int32_t new_class(ClassKind kind, std::int32_t lake) {
    const auto x = static_cast<std::int32_t>(cl_parent_.size());
    cl_parent_.push_back(x);
    cl_kind_.push_back(kind);
    cl_lake_.push_back(lake);
    cl_succ_.emplace_back();
    cl_stamp_.push_back(0);
    cl_mark_.push_back(0);
    return x;
  }

  /// Joins class roots `a` and `b`; the root kept is the one with the longer
  /// successor list, which receives the other's list.
  std::int32_t join_classes(std::int32_t a, std::int32_t b) {
    a = find_class(a);
    b = find_class(b);
    if (a == b) return a;
    if (cl_succ_[a].size() < cl_succ_[b].size()) std::swap(a, b);
    cl_parent_[b] = a;
    auto& from = cl_succ_[b];
    cl_succ_[a].insert(cl_succ_[a].end(), from.begin(), from.end());
    std::vector<std::int32_t>().swap(from);
    return a;
  }

  /// Successor list of a junction: the distinct class roots of `from`
  /// (`self` excluded), each junction among them replaced by its own
  /// successors while the list stays within `flat_list_` entries.  A
  /// junction's pit set is the union of its successors', so either form
  /// names the same pits; the flat one is walked faster.

  void successor_list(std::span<const std::int32_t> from, std::int32_t self,
                      std::vector<std::int32_t>& to) {
    ++mark_;
    direct_.clear();
    for (std::int32_t y : from) {
      y = find_class(y);
      if (y == self || cl_mark_[y] == mark_) continue;
      cl_mark_[y] = mark_;
      direct_.push_back(y);
    }
    to.clear();
    ++mark_;
    for (std::int32_t y : direct_) {
      if (cl_kind_[y] == kJunction && cl_succ_[y].size() <= flat_list_) {
        for (std::int32_t z : cl_succ_[y]) {
          z = find_class(z);
          if (z == self || cl_mark_[z] == mark_) continue;
          cl_mark_[z] = mark_;
          to.push_back(z);
        }
      } else if (cl_mark_[y] != mark_) {
        cl_mark_[y] = mark_;
        to.push_back(y);
      }
      if (to.size() > flat_list_) {
        to = direct_;
        return;
      }
    }
  }

  /// Rewrites the successor list of junction `x` (see successor_list).
  void compact(std::int32_t x) {
    successor_list(cl_succ_[x], x, list_scratch_);
    cl_succ_[x].swap(list_scratch_);
  }

  // ---- exploration (labelling) -------------------------------------------

  struct Frame {
    std::int32_t flat_begin, low_begin, low_end, next;
    float level;
  };

  /// Labels `start` and every unlabelled cell below it with its drainage
  /// class, one flat region at a time, deepest first (explicit stack).
  /// A flat region without a lower neighbour becomes a new lake.
  /// Assumes `start` is unlabelled, does not drain and is not NaN.
  void explore(Cell start) {
    frames_.clear();
    flat_.clear();
    low_.clear();
    open_frame(start);
    while (!frames_.empty()) {
      Frame& f = frames_.back();
      if (f.next < f.low_end) {
        const Cell n = low_[static_cast<std::size_t>(f.next++)];
        if (label_[n] == kUnlabelled) open_frame(n);
        continue;
      }
      close_frame(f);
      flat_.resize(static_cast<std::size_t>(f.flat_begin));
      low_.resize(static_cast<std::size_t>(f.low_begin));
      frames_.pop_back();
    }
  }

  void open_frame(Cell c) {
    const float level = h_[c];
    Frame f{static_cast<std::int32_t>(flat_.size()), static_cast<std::int32_t>(low_.size()), 0,
            0, level};
    label_[c] = kInProgress;
    flat_.push_back(c);
    for (std::size_t k = static_cast<std::size_t>(f.flat_begin); k < flat_.size(); ++k) {
      const Cell x = flat_[k];
      for (int d = 0; d < 8; ++d) {
        const Cell n = x + off_[d];
        if (flags_[n] & kDrain) continue;  // cannot border a cell that does not drain
        const float v = value(n);
        if (v == level) {
          if (label_[n] == kUnlabelled && lake_of_[n] < 0) {
            label_[n] = kInProgress;
            flat_.push_back(n);
          }
        } else if (v < level) {
          low_.push_back(n);
        }
      }
    }
    f.low_end = static_cast<std::int32_t>(low_.size());
    f.next = f.low_begin;
    frames_.push_back(f);
  }

  void close_frame(const Frame& f) {
    const auto fb = static_cast<std::size_t>(f.flat_begin);
    std::int32_t cls;
    if (f.low_begin == f.low_end) {
      // A natural pit: a new lake.
      cls = new_class(kPitClass, -1);
      const std::int32_t l = new_lake(f.level, flat_[fb], cls);
      cl_lake_[cls] = l;
      for (std::size_t k = fb; k < flat_.size(); ++k) {
        lake_of_[flat_[k]] = l;
        label_[flat_[k]] = cls;
      }
      lk_size_[l] = static_cast<std::int32_t>(flat_.size() - fb);
      for (std::size_t k = fb; k < flat_.size(); ++k) {
        const Cell x = flat_[k];
        for (int d = 0; d < 8; ++d) {
          const Cell n = x + off_[d];
          const float v = cell_height(n);
          if (v > f.level) rim_push(l, n, v);
        }
      }
      return;
    }
    low_labels_.clear();
    for (std::int32_t k = f.low_begin; k < f.low_end; ++k) {
      low_labels_.push_back(label_[low_[static_cast<std::size_t>(k)]]);
    }
    successor_list(low_labels_, -1, succ_scratch_);
    if (succ_scratch_.size() == 1) {
      cls = succ_scratch_[0];
    } else {
      cls = shared_junction(succ_scratch_);
    }
    for (std::size_t k = fb; k < flat_.size(); ++k) label_[flat_[k]] = cls;
  }

  /// A junction over the classes `list`: an existing one with the same
  /// successors when there is one (slope cells that lead to the same pits
  /// share one class), else a new one.
  std::int32_t shared_junction(std::vector<std::int32_t>& list) {
    std::sort(list.begin(), list.end());
    std::uint64_t key = list.size();
    for (std::int32_t y : list) {
      key = (key ^ static_cast<std::uint32_t>(y)) * 0x9E3779B97F4A7C15ULL;
      key ^= key >> 29;
    }
    auto [it, fresh] = junctions_.try_emplace(key, -1);
    if (!fresh) {
      const std::int32_t j = it->second;
      if (find_class(j) == j && cl_kind_[j] == kJunction && same_roots(cl_succ_[j], list)) {
        return j;
      }
    }
    const std::int32_t j = new_class(kJunction, -1);
    cl_succ_[j] = list;
    it->second = j;
    return j;
  }

  /// True when `v` (any class ids) resolves to exactly the sorted roots `roots`.
  bool same_roots(const std::vector<std::int32_t>& v, const std::vector<std::int32_t>& roots) {
    if (v.size() != roots.size()) return false;
    for (std::int32_t y : v) {
      if (!std::binary_search(roots.begin(), roots.end(), find_class(y))) return false;
    }
    return true;
  }

  // ---- the current start cell ---------------------------------------------

  std::int32_t find_group(std::int32_t g) { return find_root(gr_parent_, g); }

  /// Adds lake `l` (a pit) to the pits of the current start cell.
  void add_pit(std::int32_t l) {
    const std::int32_t r = find_lake(l);
    if (lk_stamp_[r] == run_id_) return;
    lk_stamp_[r] = run_id_;
    lk_group_[r] = -1;
    if (lk_state_[r] != kPit) return;
    const auto g = static_cast<std::int32_t>(gr_parent_.size());
    gr_parent_.push_back(g);
    gr_level_.push_back(lk_level_[r]);
    lk_group_[r] = g;
    group_heap_.push(lk_level_[r], g);
    if (lk_rim_[r] != RimHeaps::kNone) pit_heap_.push(rim_.key(lk_rim_[r]), r);
    pits_.push_back(r);
  }

  /// Walks the classes below `x0` and adds their pits.  A junction with a
  /// single distinct successor is joined to it on the way.
  void collect(std::int32_t x0) {
    walk_.clear();
    walk_.push_back(x0);
    while (!walk_.empty()) {
      const std::int32_t x = find_class(walk_.back());
      walk_.pop_back();
      if (cl_stamp_[x] == run_id_) continue;
      cl_stamp_[x] = run_id_;
      if (cl_kind_[x] == kPitClass) {
        add_pit(cl_lake_[x]);
      } else if (cl_kind_[x] == kJunction) {
        compact(x);
        auto& v = cl_succ_[x];
        if (v.size() == 1) {
          const std::int32_t y = v[0];
          cl_parent_[x] = y;
          std::vector<std::int32_t>().swap(v);
          walk_.push_back(y);
        } else {
          for (std::int32_t y : v) {
            if (cl_stamp_[y] != run_id_) walk_.push_back(y);
          }
        }
      }
    }
  }

  bool valid_pit_entry(const Keyed& e) {
    const std::int32_t l = e.id;
    return find_lake(l) == l && lk_stamp_[l] == run_id_ && lk_state_[l] == kPit &&
           lk_rim_[l] != RimHeaps::kNone && rim_.key(lk_rim_[l]) == e.key;
  }

  [[noreturn]] static void stop(const char* text) { text_stop(text); }

  void process_start(Cell s) {
    if (std::isnan(h_[s])) stop("wrong big minv for modify height");
    ++run_id_;
    gr_parent_.clear();
    gr_level_.clear();
    group_heap_.clear();
    pit_heap_.clear();
    pits_.clear();
    if (label_[s] == kUnlabelled) explore(s);
    collect(label_[s]);

    const std::int32_t i = s % ix_ + 1, j = s / ix_ + 1;
    ++counts_.start_cells;
    int k = 0;
    for (; k < kMaxFills; ++k) {
      while (!pit_heap_.empty() && !valid_pit_entry(pit_heap_.top())) pit_heap_.pop();
      float minv = kBigMinv;
      if (!pit_heap_.empty() && pit_heap_.top().key < kBigMinv) minv = pit_heap_.top().key;
      if (minv == kBigMinv) stop("wrong big minv for modify height");
      if (minv == kSmallMinv) stop("wrong small minv for modify height");
      if (mixed_zero_ && minv == 0.0f) minv = first_candidate(s, minv);

      out().record("step 5", i, j, minv, cell_height(s));
      raise_below(minv);
      out().record("step 6", i, j, minv, cell_height(s));
      ++counts_.fills;

      absorb_.clear();
      while (!pit_heap_.empty() && pit_heap_.top().key == minv) {
        if (valid_pit_entry(pit_heap_.top())) absorb_.push_back(pit_heap_.top().id);
        pit_heap_.pop();
      }
      met_class_.clear();
      met_outlet_.clear();
      met_drain_.clear();
      for (std::int32_t l : absorb_) flood(l, minv);
      settle(minv);
      if (flags_[s] & kDrain) break;
    }
    if (k == kMaxFills) ++counts_.capped;
    // The raise groups end with this start cell: every pit keeps its level.
    for (std::int32_t l : pits_) {
      const std::int32_t r = find_lake(l);
      if (lk_stamp_[r] == run_id_ && lk_group_[r] >= 0) {
        lk_level_[r] = gr_level_[find_group(lk_group_[r])];
        lk_group_[r] = -1;
      }
    }
  }

  /// Raises every raise group below `minv` to `minv`, as one group.
  void raise_below(float minv) {
    std::int32_t merged = -1;
    while (!group_heap_.empty() && group_heap_.top().key < minv) {
      const Keyed e = group_heap_.top();
      group_heap_.pop();
      if (gr_parent_[e.id] != e.id || !(gr_level_[e.id] == e.key)) continue;
      if (merged < 0) {
        merged = e.id;
      } else {
        gr_parent_[e.id] = merged;
      }
    }
    if (merged >= 0) {
      gr_level_[merged] = minv;
      group_heap_.push(minv, merged);
    }
  }

  /// Lake root `b` is merged into the lake of the current absorption (root
  /// `a`, at `level`); returns the new root.
  std::int32_t merge_lakes(std::int32_t a, std::int32_t b, float level) {
    const float level_b = level_of(b);
    if (bits(level_b) != bits(level)) keep_raised_bits(b, level_b);
    // The merged lake rises with `a`'s raise group; `b`'s group (same
    // level) rises with it anyway whenever it rises again.
    const std::int32_t group_a = lk_group_[a];
    std::int32_t big = a, small = b;
    if (lk_size_[big] < lk_size_[small]) std::swap(big, small);
    lk_parent_[small] = big;
    lk_size_[big] += lk_size_[small];
    lk_rim_[big] = rim_.meld(lk_rim_[big], lk_rim_[small]);
    lk_rim_[small] = RimHeaps::kNone;
    if (lk_out_head_[small] >= 0) {
      if (lk_out_tail_[big] < 0) {
        lk_out_head_[big] = lk_out_head_[small];
      } else {
        out_next_[lk_out_tail_[big]] = lk_out_head_[small];
      }
      lk_out_tail_[big] = lk_out_tail_[small];
    }
    lk_level_[big] = level;
    lk_stamp_[big] = run_id_;
    lk_group_[big] = group_a;
    lk_class_[big] = lk_class_[a];
    lk_state_[big] = kPit;
    return big;
  }

  /// Lake `b` (at `level_b`, a zero) is about to take other level bits:
  /// its raised cells keep the bits they have.
  void keep_raised_bits(std::int32_t b, float level_b) {
    scratch_.clear();
    scratch_.push_back(lk_seed_[b]);
    ++visit_token_;
    if (visit_.empty()) visit_.assign(static_cast<std::size_t>(n_), 0);
    visit_[lk_seed_[b]] = visit_token_;
    for (std::size_t q = 0; q < scratch_.size(); ++q) {
      const Cell x = scratch_[q];
      if (h_[x] < level_b) h_[x] = level_b;
      for (int d = 0; d < 8; ++d) {
        const Cell n = x + off_[d];
        if (visit_[n] != visit_token_ && lake_of_[n] >= 0 && find_lake(lake_of_[n]) == b) {
          visit_[n] = visit_token_;
          scratch_.push_back(n);
        }
      }
    }
  }

  /// Lake `l` of the current start cell was raised to `level`, which its
  /// lowest rim candidate reaches: it takes in the cells and lakes at that
  /// level around it (its flat grows to the whole flat region at `level`).
  /// What it met is noted for `settle`: the classes of the lakes it took
  /// in, its new outlets and any draining cell it touched.  Settling waits
  /// until every pit raised by this fill has grown, so that each lake is
  /// judged on its whole flat region.
  void flood(std::int32_t l, float level) {
    std::int32_t p = find_lake(l);
    if (lk_state_[p] != kPit || lk_stamp_[p] != run_id_ || lk_rim_[p] == RimHeaps::kNone ||
        !(rim_.key(lk_rim_[p]) == level)) {
      return;
    }
    met_class_.push_back({p, lk_class_[p]});
    work_.clear();
    for (;;) {
      while (lk_rim_[p] != RimHeaps::kNone && rim_.key(lk_rim_[p]) == level) {
        work_.push_back(rim_.cell(lk_rim_[p]));
        lk_rim_[p] = rim_.pop(lk_rim_[p]);
      }
      if (work_.empty()) break;
      const Cell c = work_.back();
      work_.pop_back();
      const std::int32_t q = lake_of_[c] >= 0 ? find_lake(lake_of_[c]) : -1;
      if (q == p) continue;
      if (flags_[c] & kDrain) {
        met_drain_.push_back({p, c});
        continue;
      }
      if (q >= 0) {
        met_class_.push_back({p, lk_class_[q]});
        p = merge_lakes(p, q, level);
        continue;
      }
      // A plain cell at the level.
      lake_of_[c] = p;
      ++lk_size_[p];
      if (label_[c] == kUnlabelled) label_[c] = lk_class_[p];
      for (int d = 0; d < 8; ++d) {
        const Cell n = c + off_[d];
        const float v = cell_height(n);
        if (v > level) {
          rim_push(p, n, v);
        } else if (v == level) {
          if (lake_of_[n] < 0 || find_lake(lake_of_[n]) != p) work_.push_back(n);
        } else if (v < level) {
          if (flags_[n] & kDrain) {
            met_drain_.push_back({p, n});
          } else {
            add_outlet(p, n);
            met_outlet_.push_back({p, n});
          }
        }
      }
    }
  }

  /// After the floods of one fill: every lake that grew is a pit again,
  /// has spilled (its new pits join the current start cell's), or drains.
  void settle(float level) {
    auto by_lake = [this](std::vector<Met>& v) {
      for (auto& m : v) m.lake = find_lake(m.lake);
      std::stable_sort(v.begin(), v.end(),
                       [](const Met& a, const Met& b) { return a.lake < b.lake; });
    };
    by_lake(met_class_);
    by_lake(met_outlet_);
    by_lake(met_drain_);
    // The entries of lake p in a sorted list: [first, last).
    auto range = [](std::vector<Met>& v, std::int32_t p) {
      auto first = std::lower_bound(v.begin(), v.end(), p,
                                    [](const Met& m, std::int32_t l) { return m.lake < l; });
      auto last = first;
      while (last != v.end() && last->lake == p) ++last;
      return std::pair{first, last};
    };
    for (auto it = met_class_.begin(); it != met_class_.end();) {
      const std::int32_t p = it->lake;
      std::int32_t cls = find_class(it->id);
      for (++it; it != met_class_.end() && it->lake == p; ++it) cls = join_classes(cls, it->id);
      cls = find_class(cls);
      lk_class_[p] = cls;
      const auto [drain_first, drain_last] = range(met_drain_, p);
      if (drain_first != drain_last) {
        lk_state_[p] = kDrained;
        lk_level_[p] = level;
        lk_group_[p] = -1;
        cl_kind_[cls] = kDrainClass;
        std::vector<std::int32_t>().swap(cl_succ_[cls]);
        queue_.clear();
        for (auto m = drain_first; m != drain_last; ++m) queue_.push_back(m->id);
        spread_drainage();
        continue;
      }
      if (!has_outlet(p, level)) {
        lk_state_[p] = kPit;
        cl_kind_[cls] = kPitClass;
        cl_lake_[cls] = p;
        std::vector<std::int32_t>().swap(cl_succ_[cls]);
        if (lk_rim_[p] != RimHeaps::kNone) pit_heap_.push(rim_.key(lk_rim_[p]), p);
        continue;
      }
      // Spilled: the lake leads to the classes below its outlets.
      lk_state_[p] = kSpilled;
      lk_level_[p] = level;
      lk_group_[p] = -1;
      const auto [out_first, out_last] = range(met_outlet_, p);
      for (auto m = out_first; m != out_last; ++m) {
        if (label_[m->id] == kUnlabelled) explore(m->id);
      }
      if (cl_kind_[cls] != kJunction) {
        cl_kind_[cls] = kJunction;
        cl_succ_[cls].clear();
      }
      for (auto m = out_first; m != out_last; ++m) cl_succ_[cls].push_back(label_[m->id]);
      cl_stamp_[cls] = 0;
      collect(cls);
    }
  }

  /// Bits of a zero `minv` when the grid holds both zeros: the first
  /// candidate of the plain search from `s` (depth first in the neighbour
  /// order, each cell's higher neighbours scanned after its subtree).
  float first_candidate(Cell s, float minv) {
    if (visit_.empty()) visit_.assign(static_cast<std::size_t>(n_), 0);
    ++visit_token_;
    struct Step {
      Cell c;
      int k;
    };
    std::vector<Step> stack;
    stack.push_back({s, 0});
    visit_[s] = visit_token_;
    while (!stack.empty()) {
      Step& t = stack.back();
      const float h0 = value(t.c);
      if (t.k < 8) {
        const Cell n = t.c + off_[t.k++];
        if (value(n) <= h0 && visit_[n] != visit_token_) {
          visit_[n] = visit_token_;
          stack.push_back({n, 0});
        }
        continue;
      }
      for (int d = 0; d < 8; ++d) {
        const Cell n = t.c + off_[d];
        const float v = value(n);
        if (v > h0 && v == minv) return cell_height(n);
      }
      stack.pop_back();
    }
    return minv;
  }

  std::span<float> h_;
  std::int32_t ix_, jx_;
  Cell n_;
  std::size_t flat_list_;
  int off_[8];
  bool mixed_zero_ = false;

  std::vector<std::uint8_t> flags_;
  std::vector<std::int32_t> lake_of_;
  std::vector<std::int32_t> label_;
  std::vector<std::int32_t> rim_owner_;
  std::vector<Cell> queue_;

  // Lakes.
  std::vector<std::int32_t> lk_parent_, lk_size_, lk_rim_, lk_out_head_, lk_out_tail_,
      lk_class_, lk_stamp_, lk_group_, lk_seed_;
  std::vector<float> lk_level_;
  std::vector<std::uint8_t> lk_state_;
  RimHeaps rim_;
  std::vector<Cell> out_cell_;
  std::vector<std::int32_t> out_next_;

  // Drainage classes.
  std::vector<std::int32_t> cl_parent_, cl_lake_, cl_stamp_, cl_mark_;
  std::vector<std::uint8_t> cl_kind_;
  std::vector<std::vector<std::int32_t>> cl_succ_;
  std::int32_t mark_ = 0;
  std::unordered_map<std::uint64_t, std::int32_t> junctions_;

  // Exploration scratch.
  std::vector<Frame> frames_;
  std::vector<Cell> flat_, low_;
  std::vector<std::int32_t> succ_scratch_, low_labels_, direct_, list_scratch_;

  // Current start cell.
  std::int32_t run_id_ = 0;
  std::vector<std::int32_t> gr_parent_;
  std::vector<float> gr_level_;
  MinHeap group_heap_, pit_heap_;
  struct Met {
    std::int32_t lake;  ///< the flooding lake (a root once settling starts)
    std::int32_t id;    ///< a class, or a cell
  };
  std::vector<std::int32_t> pits_, walk_, absorb_;
  std::vector<Met> met_class_, met_outlet_, met_drain_;
  std::vector<Cell> work_, scratch_;
  std::vector<std::int32_t> visit_;
  std::int32_t visit_token_ = 0;

  FillCounts counts_;
  std::int64_t lakes_created_ = 0;
};

}  // namespace

void check_grid_cells(std::int32_t ix, std::int32_t jx) {
  const std::int64_t cells = static_cast<std::int64_t>(ix) * jx;
  if (cells >= std::numeric_limits<std::int32_t>::max()) {
    fail("Error: terrain grid of " + std::to_string(cells) + " cells is too large (limit 2^31)");
  }
}

FillCounts fill_depressions(std::span<float> height, std::span<const std::int32_t> channel,
                            std::int32_t ix, std::int32_t jx, const FillTuning& tuning) {
  if (ix <= 0 || jx <= 0) return {};
  check_grid_cells(ix, jx);
  Engine engine(height, channel, ix, jx, tuning);
  return engine.run();
}

}  // namespace rn::bedcarve
