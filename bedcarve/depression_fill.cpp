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
//    lake costs O(1)), a binary heap of rim candidates (neighbours above the
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
// each rim candidate is pushed about once per lake it borders; lakes,
// classes and raise groups are joined by union-find; so the run is
// O(N log N) plus, per start cell that needs fills, the walk over its
// classes and pits (short: see the classes above).  Nothing recurses: every
// search keeps its own stack.
//
// Memory: a state byte and a 4-byte tag per cell (the tag is a cell's
// drainage class, or its lake once it lies in one: a lake cell's class is its
// lake's); besides that only what the lakes, classes, heaps and queues hold,
// which grows with the depressions, not with the grid.  Cells are numbered
// with 32 bits below 2^31 cells and with 64 above; lakes and classes always
// with 32.  Rim candidates are kept unique per lake and operation
// with a mark bit instead of a per-cell owner.
//
// The pieces: lakes.hpp (lakes, their rims and outlets), drainage_classes.hpp
// (the classes), raise_groups.hpp (one start cell's raise groups),
// height_heaps.hpp and union_find.hpp (the heaps and forests they use).
#include "depression_fill.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "cell_queue.hpp"
#include "drainage_classes.hpp"
#include "height_heaps.hpp"
#include "lakes.hpp"
#include "raise_groups.hpp"

namespace rn::bedcarve {
namespace {

enum CellState : std::uint8_t {
  kDrain = 1,     ///< drains: a never-climbing path leads to the ring or water
  kRing = 2,      ///< on the outermost ring of the grid
  kLake = 4,      ///< lies in a lake: its tag is a lake id, not a class
  kRimMark = 8,   ///< scratch: already a rim candidate in this operation
  kVisitMark = 16,  ///< scratch: visited by the current one-off search
  kOnRim = 32,    ///< may wait on a lake's rim (a hint: see flood_candidate)
};

// Neighbour order of the search: N, NW, W, SW, S, SE, E, NE (j grows
// northward, i eastward).
constexpr int kDi[8] = {0, -1, -1, -1, 0, 1, 1, 1};
constexpr int kDj[8] = {1, 1, 0, -1, -1, -1, 0, 1};

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

/// `Cell` numbers cells (32 bits below 2^31 cells, else 64); `Id` numbers
/// lakes, classes and raise groups (32 bits: more than 2^31 of them is
/// refused with std::length_error).
template <typename Cell, typename Id>
class Engine {
  static constexpr Id kUnlabelled = -1;
  static constexpr Id kInProgress = -2;
  /// Spilled lakes of at most this many cells keep no rim.
  static constexpr Cell kSmallLake = 256;

 public:
  Engine(Grid2D<float>& h, const CellBits& water, const FillRecorder& record,
         const FillTuning& tuning)
      : h_(h.values()),
        ix_(static_cast<Cell>(h.columns())),
        jx_(static_cast<Cell>(h.rows())),
        n_(static_cast<Cell>(h.size())),
        record_(record),
        classes_(tuning.flat_list) {
    for (int k = 0; k < 8; ++k) off_[k] = kDi[k] + kDj[k] * ix_;
    state_.assign(static_cast<std::size_t>(n_), 0);
    tag_.assign(static_cast<std::size_t>(n_), kUnlabelled);
    bool pos_zero = false, neg_zero = false;
    for (float v : h_) {
      if (v == 0.0f) (std::signbit(v) ? neg_zero : pos_zero) = true;
    }
    mixed_zero_ = pos_zero && neg_zero;
    init_drainage(water);
  }

  FillResult run(const SweepProgress& progress) {
    FillResult result;
    for (Cell i0 = 0; i0 < ix_ && result.stop == FillStop::none; ++i0) {
      for (Cell j0 = 0; j0 < jx_; ++j0) {
        const Cell s = i0 + j0 * ix_;
        if (state_[s] & kDrain) continue;
        result.stop = process_start(s);
        if (result.stop != FillStop::none) break;
      }
      if (progress) progress(static_cast<std::size_t>(i0) + 1, static_cast<std::size_t>(ix_));
    }
    if (result.stop == FillStop::none) {
      end_pass();
      // Lake cells take their lake's level (see cell_height).
      for (Cell c = 0; c < n_; ++c) {
        if (state_[c] & kLake) h_[c] = cell_height(c);
      }
    }
    counts_.lakes = lakes_.count();
    result.counts = counts_;
    return result;
  }

 private:
  // ---- cells -------------------------------------------------------------

  bool in_lake(Cell c) const { return state_[c] & kLake; }

  template <typename F>
  void for_neighbours(Cell c, F&& f) const {
    if (!(state_[c] & kRing)) {
      for (int k = 0; k < 8; ++k) f(c + off_[k]);
      return;
    }
    const Cell i0 = c % ix_, j0 = c / ix_;
    for (int k = 0; k < 8; ++k) {
      const Cell ii = i0 + kDi[k], jj = j0 + kDj[k];
      if (ii >= 0 && ii < ix_ && jj >= 0 && jj < jx_) f(ii + jj * ix_);
    }
  }

  /// Current height value of a cell.
  float value(Cell c) { return in_lake(c) ? level_of(lakes_.find(tag_[c])) : h_[c]; }

  /// Current height of a cell, bits included.
  float cell_height(Cell c) {
    if (!in_lake(c)) return h_[c];
    const float level = level_of(lakes_.find(tag_[c]));
    return h_[c] < level ? level : h_[c];
  }

  /// Drainage class of an explored cell (a lake cell's is its lake's).
  Id class_of(Cell c) { return in_lake(c) ? lakes_[lakes_.find(tag_[c])].cls : tag_[c]; }

  /// Puts `n` on the rim of the new lake root `l` unless this operation
  /// already has (the lake's cells are being tagged all at once).
  void rim_candidate(Id l, Cell n, float v) {
    if (state_[n] & kRimMark) return;
    state_[n] |= kRimMark | kOnRim;
    rim_marked_.push_back(n);
    lakes_.rim_push(l, n, v);
  }

  /// Puts `n` (above the level) on the rim of lake root `p`, which has just
  /// taken in its neighbour `c`, unless it waits there already.
  /// Every cell that joins a lake puts its higher neighbours on the lake's
  /// rim (rims merge with their lakes, and a neighbour popped at the level
  /// joins the lake), so a cell above the level with a neighbour in `p`
  /// other than `c` is on p's rim.  kOnRim spares that look for cells on no
  /// rim at all; it is set on every push and cleared when a rim gives the
  /// cell up, so a stale bit only costs the look.
  void flood_candidate(Id p, Cell n, Cell c, float v) {
    if (state_[n] & kOnRim) {
      bool waits = false;
      for_neighbours(n, [&](Cell y) {
        waits = waits || (y != c && in_lake(y) && lakes_.find(tag_[y]) == p);
      });
      if (waits) return;
    }
    state_[n] |= kOnRim;
    lakes_.rim_push(p, n, v);
  }
  void clear_rim_marks() {
    for (Cell n : rim_marked_) state_[n] &= static_cast<std::uint8_t>(~kRimMark);
    rim_marked_.clear();
  }

  // ---- drainage ----------------------------------------------------------

  /// Marks the ring and the water cells as draining, and every cell that
  /// reaches one of them by never-climbing steps.  Each source is spread
  /// from as the row-by-row scan meets it, so the queue holds one frontier,
  /// not every source at once.  Assumes no lakes yet.
  void init_drainage(const CellBits& water) {
    for (Cell j = 0; j < jx_; ++j) {
      const bool edge_row = j == 0 || j == jx_ - 1;
      for (Cell i = 0; i < ix_; ++i) {
        const Cell c = i + j * ix_;
        if (edge_row || i == 0 || i == ix_ - 1) state_[c] |= kRing;
      }
    }
    for (Cell c = 0; c < n_; ++c) {
      if (state_[c] & kDrain) continue;
      if ((state_[c] & kRing) || water.test(static_cast<std::size_t>(c))) {
        state_[c] |= kDrain;
        queue_.push(c);
        spread_drainage();
      }
    }
  }

  /// Marks every cell that reaches a queued draining cell by never-climbing
  /// steps (a breadth-first search up the terrain).  Each cell is marked
  /// once in the whole run.
  void spread_drainage() {
    while (!queue_.empty()) {
      const Cell v = queue_.pop();
      const float hv = value(v);
      for_neighbours(v, [&](Cell u) {
        if (state_[u] & kDrain) return;
        if (value(u) >= hv) {
          state_[u] |= kDrain;
          queue_.push(u);
        }
      });
    }
  }

  // ---- lakes -------------------------------------------------------------

  /// Level of a lake root: its raise group's level while it takes part in
  /// the current start cell's fills, else its own.
  float level_of(Id r) {
    const Lake<Cell, Id>& lake = lakes_[r];
    if (lake.group >= 0) return groups_.level(lake.group);
    return lake.level;
  }

  // ---- exploration (labelling) -------------------------------------------

  struct Frame {
    Cell flat_begin, low_begin, low_end, next;
    float level;
  };

  /// Labels `start` and every unlabelled cell below it with its drainage
  /// class, one flat region at a time, deepest first (explicit stack).
  /// A flat region without a lower neighbour becomes a new lake.
  /// Assumes `start` is unlabelled, does not drain and is not NaN.
  /// Cost: linear in the cells labelled (each cell is labelled once a run)
  /// and the successor lists they take over.
  void explore(Cell start) {
    ++explore_id_;
    frames_.clear();
    flat_.clear();
    low_.clear();
    open_frame(start);
    while (!frames_.empty()) {
      Frame& f = frames_.back();
      if (f.next < f.low_end) {
        const Cell n = low_[static_cast<std::size_t>(f.next++)];
        if (tag_[n] == kUnlabelled) open_frame(n);
        continue;
      }
      close_frame(f);
      flat_.resize(static_cast<std::size_t>(f.flat_begin));
      low_.resize(static_cast<std::size_t>(f.low_begin));
      frames_.pop_back();
    }
  }

  /// Gathers the flat region of `c` (its unlabelled cells at c's height)
  /// and the lower neighbours of that region, as a new frame.
  void open_frame(Cell c) {
    const float level = h_[c];
    Frame f{static_cast<Cell>(flat_.size()), static_cast<Cell>(low_.size()), 0, 0, level};
    tag_[c] = kInProgress;
    flat_.push_back(c);
    for (std::size_t k = static_cast<std::size_t>(f.flat_begin); k < flat_.size(); ++k) {
      const Cell x = flat_[k];
      for (int d = 0; d < 8; ++d) {
        const Cell n = x + off_[d];
        if (state_[n] & kDrain) continue;  // cannot border a cell that does not drain
        const float v = value(n);
        if (v == level) {
          if (tag_[n] == kUnlabelled) {
            tag_[n] = kInProgress;
            flat_.push_back(n);
          }
        } else if (v < level) {
          low_.push_back(n);
        }
      }
    }
    f.low_end = static_cast<Cell>(low_.size());
    f.next = f.low_begin;
    frames_.push_back(f);
  }

  /// Labels the flat region of a finished frame: a new pit lake when it
  /// has no lower neighbour, else the class of the pits below it.
  void close_frame(const Frame& f) {
    const auto fb = static_cast<std::size_t>(f.flat_begin);
    if (f.low_begin == f.low_end) {
      // A natural pit: a new lake.
      const Id cls = classes_.create(ClassKind::pit, -1);
      const Id l = lakes_.create(f.level, cls);
      classes_[cls].lake = l;
      for (std::size_t k = fb; k < flat_.size(); ++k) {
        tag_[flat_[k]] = l;
        state_[flat_[k]] |= kLake;
      }
      lakes_[l].size = static_cast<Cell>(flat_.size() - fb);
      for (std::size_t k = fb; k < flat_.size(); ++k) {
        const Cell x = flat_[k];
        for (int d = 0; d < 8; ++d) {
          const Cell n = x + off_[d];
          const float v = cell_height(n);
          if (v > f.level) rim_candidate(l, n, v);
        }
      }
      clear_rim_marks();
      return;
    }
    // Below it: one class, or a junction over several.
    low_labels_.clear();
    Id first = kUnlabelled;
    bool one = true;
    for (Cell k = f.low_begin; k < f.low_end; ++k) {
      const Id x = classes_.find(class_of(low_[static_cast<std::size_t>(k)]));
      if (first == kUnlabelled) first = x;
      one = one && x == first;
      low_labels_.push_back(x);
    }
    Id cls = first;
    if (!one) cls = junction_below();
    for (std::size_t k = fb; k < flat_.size(); ++k) tag_[flat_[k]] = cls;
  }

  /// The class of a flat region whose lower neighbours have the classes
  /// `low_labels_` (roots, at least two distinct).  Neighbouring slope cells
  /// mostly meet the same few classes below them, so the answers of one
  /// exploration are remembered by their set of classes below (no class is
  /// joined while an exploration runs, so they stay right).
  Id junction_below() {
    std::sort(low_labels_.begin(), low_labels_.end());
    low_labels_.erase(std::unique(low_labels_.begin(), low_labels_.end()), low_labels_.end());
    std::uint64_t key = low_labels_.size();
    for (Id y : low_labels_) key = (key ^ static_cast<std::uint64_t>(y)) * 0x9E3779B97F4A7C15ULL;
    Known& known = known_[(key >> 56) & (kKnown - 1)];
    if (known.explore == explore_id_ && known.count == low_labels_.size() &&
        std::equal(low_labels_.begin(), low_labels_.end(), known.below)) {
      return known.cls;
    }
    classes_.successor_list(low_labels_, -1, succ_scratch_);
    const Id cls =
        succ_scratch_.size() == 1 ? succ_scratch_[0] : classes_.shared_junction(succ_scratch_);
    if (low_labels_.size() <= 8) {
      known.explore = explore_id_;
      known.count = low_labels_.size();
      std::copy(low_labels_.begin(), low_labels_.end(), known.below);
      known.cls = cls;
    }
    return cls;
  }

  // ---- the current start cell ---------------------------------------------

  /// Adds lake `l` (a pit) to the pits of the current start cell.
  void add_pit(Id l) {
    const Id r = lakes_.find(l);
    Lake<Cell, Id>& lake = lakes_[r];
    if (lake.group >= 0 || lake.state != LakeState::pit) return;  // in the pass already, or no pit
    lake.group = groups_.create(lake.level);
    if (lakes_.has_rim(r)) pit_heap_.push(lakes_.rim_key(r), r);
    pits_.push_back(r);
  }

  /// Walks the classes below `x0` and adds their pits to the pass; returns
  /// whether the walk met class root `target`.  A junction with a single
  /// distinct successor is joined to it on the way.
  /// Cost: linear in the classes walked (each at most once per pass).
  bool collect(Id x0, Id target) {
    bool met = false;
    walk_.clear();
    walk_.push_back(x0);
    while (!walk_.empty()) {
      const Id x = classes_.find(walk_.back());
      walk_.pop_back();
      met = met || x == target;
      if (classes_[x].stamp == run_id_) continue;
      classes_[x].stamp = run_id_;
      if (classes_[x].kind == ClassKind::pit) {
        add_pit(classes_[x].lake);
      } else if (classes_[x].kind == ClassKind::junction) {
        classes_.compact(x);
        if (classes_.succ_size(x) == 1) {
          const Id y = classes_.succ(x)[0];
          classes_[x].parent = y;
          classes_.drop_succ(x);
          walk_.push_back(y);
        } else if (classes_.succ_size(x) > 1) {
          for (Id y : classes_.succ(x)) {
            if (classes_[y].stamp != run_id_ || classes_.find(y) == target) walk_.push_back(y);
          }
        }
      }
    }
    return met;
  }

  bool valid_pit_entry(const Keyed<Id>& e) {
    const Id l = e.id;
    const Lake<Cell, Id>& lake = lakes_[l];
    return lakes_.find(l) == l && lake.group >= 0 && lake.state == LakeState::pit &&
           lakes_.has_rim(l) && lakes_.rim_key(l) == e.key;
  }

  /// All fills from start cell `s` (which does not drain yet): at most 100,
  /// each reported, until `s` drains.  Returns the stop that ends the run,
  /// if one does.
  FillStop process_start(Cell s) {
    if (std::isnan(h_[s])) return FillStop::big_minv;
    if (tag_[s] == kUnlabelled) explore(s);
    begin_start(class_of(s));

    const auto i = static_cast<std::int32_t>(s % ix_ + 1);
    const auto j = static_cast<std::int32_t>(s / ix_ + 1);
    ++counts_.start_cells;
    int k = 0;
    for (; k < kMaxFills; ++k) {
      while (!pit_heap_.empty() && !valid_pit_entry(pit_heap_.top())) pit_heap_.pop();
      float minv = kBigMinv;
      if (!pit_heap_.empty() && pit_heap_.top().key < kBigMinv) minv = pit_heap_.top().key;
      if (minv == kBigMinv) return FillStop::big_minv;
      if (minv == kSmallMinv) return FillStop::small_minv;
      if (mixed_zero_ && minv == 0.0f) minv = first_candidate(s, minv);

      const float before = cell_height(s);
      groups_.raise_below(minv);
      record_({i, j, minv, before, cell_height(s)});
      ++counts_.fills;

      absorb_.clear();
      while (!pit_heap_.empty() && pit_heap_.top().key == minv) {
        if (valid_pit_entry(pit_heap_.top())) absorb_.push_back(pit_heap_.top().id);
        pit_heap_.pop();
      }
      met_class_.clear();
      met_outlet_.clear();
      met_drain_.clear();
      for (Id l : absorb_) flood(l, minv);
      settle(minv);
      if (state_[s] & kDrain) break;
    }
    if (k == kMaxFills) ++counts_.capped;
    return FillStop::none;
  }

  /// Makes the pits of the current pass those of class `c`, the class of
  /// the next start cell.  A pass is a run of start cells whose pit sets
  /// each hold the pits of the start cells before them in the pass: their
  /// fills raise every pit of the pass below the fill height, so the raise
  /// groups stay right, and a start cell that enters the same basin as the
  /// one before it costs nothing here, however many pits the basin holds.
  /// Otherwise the pass ends and a new one collects the pits of `c`.
  /// Cost: linear in the classes walked that the pass had not reached.
  void begin_start(Id c) {
    const Id x = classes_.find(c);
    if (pass_root_ >= 0) {
      const Id r = classes_.find(pass_root_);
      if (x == r || collect(x, r)) {
        pass_root_ = x;
        return;
      }
      end_pass();
    }
    if (++run_id_ == 0) {  // the counter came round: no stamp may match by chance
      classes_.reset_stamps();
      run_id_ = 1;
    }
    groups_.clear();
    pit_heap_.clear();
    pits_.clear();
    collect(x, -1);
    pass_root_ = x;
  }

  /// The raise groups end with the pass: every pit keeps its level.
  void end_pass() {
    for (Id l : pits_) {
      const Id r = lakes_.find(l);
      Lake<Cell, Id>& lake = lakes_[r];
      if (lake.group >= 0) {
        lake.level = groups_.level(lake.group);
        lake.group = -1;
      }
    }
    pass_root_ = -1;
  }

  /// Lake root `b`, whose cell `c` the flood has reached, is merged into the
  /// lake of the current absorption (root `a`, at `level`); returns the new
  /// root.
  Id merge_lakes(Id a, Id b, float level, Cell c) {
    if (lakes_[b].rim_dropped) rebuild_rim(b, c);
    const float level_b = level_of(b);
    if (bits(level_b) != bits(level)) keep_raised_bits(b, c, level_b);
    // The merged lake rises with `a`'s raise group; `b`'s group (same
    // level) rises with it anyway whenever it rises again.
    const Id group_a = lakes_[a].group;
    const Id class_a = lakes_[a].cls;
    const Id big = lakes_.unite(a, b);
    Lake<Cell, Id>& lake = lakes_[big];
    lake.level = level;
    lake.group = group_a;
    lake.cls = class_a;
    lake.state = LakeState::pit;
    return big;
  }

  /// Calls `inside(x)` for every cell x of lake root `b`, reached from its
  /// cell `start` through its cells, and `outside(n)` for each neighbour n
  /// of them that is not in it (once per cell it borders).
  /// Cost: linear in the lake's cells.
  template <typename Inside, typename Outside>
  void walk_lake(Id b, Cell start, Inside&& inside, Outside&& outside) {
    scratch_.clear();
    scratch_.push_back(start);
    state_[start] |= kVisitMark;
    for (std::size_t q = 0; q < scratch_.size(); ++q) {
      const Cell x = scratch_[q];
      inside(x);
      for (int d = 0; d < 8; ++d) {  // a lake cell is never on the ring
        const Cell n = x + off_[d];
        if (state_[n] & kVisitMark) continue;
        if (in_lake(n) && lakes_.find(tag_[n]) == b) {
          state_[n] |= kVisitMark;
          scratch_.push_back(n);
        } else {
          outside(n);
        }
      }
    }
    for (Cell x : scratch_) state_[x] &= static_cast<std::uint8_t>(~kVisitMark);
  }

  /// The rim of lake root `b` (with cell `c`), dropped when it spilled:
  /// every neighbour of its cells above its level.  Those heights have not
  /// changed since (a cell above a lake and next to it is never raised
  /// while the lake is lower), so this is the rim the lake would have kept.
  /// Cost: linear in the lake's cells (at most kSmallLake).
  void rebuild_rim(Id b, Cell c) {
    const float level = level_of(b);
    walk_lake(b, c, [](Cell) {}, [&](Cell n) {
      const float v = cell_height(n);
      if (v > level) rim_candidate(b, n, v);
    });
    clear_rim_marks();
    lakes_[b].rim_dropped = false;
  }

  /// Lake `b` (with cell `c`, at `level_b`, a zero) is about to take other
  /// level bits: its raised cells keep the bits they have.
  void keep_raised_bits(Id b, Cell c, float level_b) {
    walk_lake(b, c, [&](Cell x) {
      if (h_[x] < level_b) h_[x] = level_b;
    }, [](Cell) {});
  }

  /// Lake `l` of the current start cell was raised to `level`, which its
  /// lowest rim candidate reaches: it takes in the cells and lakes at that
  /// level around it (its flat grows to the whole flat region at `level`).
  /// What it met is noted for `settle`: the classes of the lakes it took
  /// in, its new outlets and any draining cell it touched.  Settling waits
  /// until every pit raised by this fill has grown, so that each lake is
  /// judged on its whole flat region.
  void flood(Id l, float level) {
    Id p = lakes_.find(l);
    {
      const Lake<Cell, Id>& lake = lakes_[p];
      if (lake.state != LakeState::pit || lake.group < 0 || !lakes_.has_rim(p) ||
          !(lakes_.rim_key(p) == level)) {
        return;
      }
    }
    met_class_.push_back({p, 0, lakes_[p].cls});
    work_.clear();
    for (;;) {
      while (lakes_.has_rim(p) && lakes_.rim_key(p) == level) {
        const Cell r = lakes_.rim_cell(p);
        state_[r] &= static_cast<std::uint8_t>(~kOnRim);
        work_.push_back(r);
        lakes_.rim_pop(p);
      }
      if (work_.empty()) break;
      const Cell c = work_.back();
      work_.pop_back();
      const Id q = in_lake(c) ? lakes_.find(tag_[c]) : -1;
      if (q == p) continue;
      if (state_[c] & kDrain) {
        met_drain_.push_back({p, 0, c});
        continue;
      }
      if (q >= 0) {
        met_class_.push_back({p, 0, lakes_[q].cls});
        p = merge_lakes(p, q, level, c);
        continue;
      }
      // A plain cell at the level.  Its class from now on is the lake's
      // (its own pits are among the lake's: its lower neighbours become
      // the lake's outlets).
      tag_[c] = p;
      state_[c] |= kLake;
      ++lakes_[p].size;
      for (int d = 0; d < 8; ++d) {
        const Cell n = c + off_[d];
        float v = h_[n];
        if (in_lake(n)) {
          const Id r = lakes_.find(tag_[n]);
          if (r == p) continue;  // already in: at the level
          const float lake_level = level_of(r);
          if (v < lake_level) v = lake_level;
        }
        if (v > level) {
          flood_candidate(p, n, c, v);
        } else if (v == level) {
          work_.push_back(n);
        } else if (v < level) {
          if (state_[n] & kDrain) {
            met_drain_.push_back({p, 0, n});
          } else {
            lakes_.add_outlet(p, n);
            met_outlet_.push_back({p, 0, n});
          }
        }
      }
    }
  }

  /// After the floods of one fill: every lake that grew is a pit again,
  /// has spilled (its new pits join the current start cell's), or drains.
  void settle(float level) {
    // Groups the notes by lake root, each lake's in the order they were
    // made (mostly one lake floods: then nothing moves).
    auto by_lake = [this](std::vector<Met>& v) {
      bool sorted = true;
      for (std::size_t k = 0; k < v.size(); ++k) {
        v[k].lake = lakes_.find(v[k].lake);
        v[k].seq = static_cast<std::uint32_t>(k);
        sorted = sorted && (k == 0 || !(v[k].lake < v[k - 1].lake));
      }
      if (sorted) return;
      std::sort(v.begin(), v.end(), [](const Met& a, const Met& b) {
        return a.lake < b.lake || (a.lake == b.lake && a.seq < b.seq);
      });
    };
    by_lake(met_class_);
    by_lake(met_outlet_);
    by_lake(met_drain_);
    // The entries of lake p in a sorted list: [first, last).
    auto range = [](std::vector<Met>& v, Id p) {
      auto first = std::lower_bound(v.begin(), v.end(), p,
                                    [](const Met& m, Id l) { return m.lake < l; });
      auto last = first;
      while (last != v.end() && last->lake == p) ++last;
      return std::pair{first, last};
    };
    for (auto it = met_class_.begin(); it != met_class_.end();) {
      const Id p = it->lake;
      Id cls = classes_.find(static_cast<Id>(it->id));
      for (++it; it != met_class_.end() && it->lake == p; ++it) {
        cls = classes_.join(cls, static_cast<Id>(it->id));
      }
      cls = classes_.find(cls);
      lakes_[p].cls = cls;
      const auto [drain_first, drain_last] = range(met_drain_, p);
      if (drain_first != drain_last) {
        Lake<Cell, Id>& lake = lakes_[p];
        lake.state = LakeState::drained;
        lake.level = level;
        lake.group = -1;
        lakes_.release_rim(p);
        lakes_.release_outlets(p);
        classes_.settle_as(cls, ClassKind::drained);
        for (auto m = drain_first; m != drain_last; ++m) queue_.push(m->id);
        spread_drainage();
        continue;
      }
      if (!lakes_.has_outlet(p, level, [this](Cell c) { return value(c); })) {
        lakes_[p].state = LakeState::pit;
        classes_.settle_as(cls, ClassKind::pit);
        classes_[cls].lake = p;
        if (lakes_.has_rim(p)) pit_heap_.push(lakes_.rim_key(p), p);
        continue;
      }
      // Spilled: the lake leads to the classes below its outlets.
      {
        Lake<Cell, Id>& lake = lakes_[p];
        lake.state = LakeState::spilled;
        lake.level = level;
        lake.group = -1;
        // A small spilled lake keeps no rim: should a flood reach it, its
        // rim is found again from its few cells (rebuild_rim).
        if (lake.size <= kSmallLake) lakes_.drop_rim(p);
      }
      const auto [out_first, out_last] = range(met_outlet_, p);
      for (auto m = out_first; m != out_last; ++m) {
        if (tag_[m->id] == kUnlabelled) explore(m->id);
      }
      if (classes_[cls].kind != ClassKind::junction) {
        classes_[cls].kind = ClassKind::junction;
        classes_.drop_succ(cls);
      }
      for (auto m = out_first; m != out_last; ++m) {
        const Id below = class_of(m->id);
        classes_.add_succ(cls, below);
      }
      classes_[cls].stamp = 0;
      collect(cls, -1);
    }
  }

  /// Bits of a zero `minv` when the grid holds both zeros: the first
  /// candidate of the plain search from `s` (depth first in the neighbour
  /// order, each cell's higher neighbours scanned after its subtree).
  float first_candidate(Cell s, float minv) {
    struct Step {
      Cell c;
      int k;
    };
    std::vector<Step> stack;
    scratch_.clear();
    stack.push_back({s, 0});
    state_[s] |= kVisitMark;
    scratch_.push_back(s);
    float found = minv;
    while (!stack.empty()) {
      Step& t = stack.back();
      const float h0 = value(t.c);
      if (t.k < 8) {
        const Cell n = t.c + off_[t.k++];
        if (value(n) <= h0 && !(state_[n] & kVisitMark)) {
          state_[n] |= kVisitMark;
          scratch_.push_back(n);
          stack.push_back({n, 0});
        }
        continue;
      }
      bool done = false;
      for (int d = 0; d < 8 && !done; ++d) {
        const Cell n = t.c + off_[d];
        const float v = value(n);
        if (v > h0 && v == minv) {
          found = cell_height(n);
          done = true;
        }
      }
      if (done) break;
      stack.pop_back();
    }
    for (Cell x : scratch_) state_[x] &= static_cast<std::uint8_t>(~kVisitMark);
    return found;
  }

  std::span<float> h_;
  Cell ix_, jx_;
  Cell n_;
  const FillRecorder& record_;
  Cell off_[8];
  bool mixed_zero_ = false;

  // Cells.
  std::vector<std::uint8_t> state_;  ///< CellState bits
  std::vector<Id> tag_;              ///< class (or lake, in a lake) of an explored cell
  CellQueue<Cell> queue_;
  std::vector<Cell> rim_marked_;

  Lakes<Cell, Id> lakes_;
  DrainageClasses<Id> classes_;

  // Exploration scratch.
  struct Known {
    std::int64_t explore = 0;  ///< the exploration it belongs to
    std::size_t count = 0;
    Id below[8];               ///< the distinct classes below, sorted
    Id cls;
  };
  static constexpr std::size_t kKnown = 256;
  std::int64_t explore_id_ = 0;
  std::vector<Known> known_ = std::vector<Known>(kKnown);
  std::vector<Frame> frames_;
  std::vector<Cell> flat_, low_;
  std::vector<Id> succ_scratch_, low_labels_;

  // Current pass of start cells (see begin_start).
  std::uint32_t run_id_ = 0;
  Id pass_root_ = -1;  ///< the class whose pits the pass holds, -1: no pass
  RaiseGroups<Id> groups_;
  MinHeap<Id> pit_heap_;
  struct Met {
    Id lake;  ///< the flooding lake (a root once settling starts)
    std::uint32_t seq;  ///< its place among the notes (for a stable grouping)
    Cell id;  ///< a class, or a cell
  };
  std::vector<Id> pits_, walk_, absorb_;
  std::vector<Met> met_class_, met_outlet_, met_drain_;
  std::vector<Cell> work_, scratch_;

  FillCounts counts_;
};

/// Grids of this many cells or more number them with 64-bit integers.
constexpr std::size_t kWideCells = std::size_t{1} << 31;

}  // namespace

std::size_t fill_bytes_per_cell() { return 5; }

FillResult fill_depressions(Grid2D<float>& height, const CellBits& water,
                            const FillRecorder& record, const FillTuning& tuning,
                            const SweepProgress& progress) {
  if (height.empty()) return {};
  if (tuning.wide_index || height.size() >= kWideCells) {
    Engine<std::int64_t, std::int32_t> engine(height, water, record, tuning);
    return engine.run(progress);
  }
  Engine<std::int32_t, std::int32_t> engine(height, water, record, tuning);
  return engine.run(progress);
}

}  // namespace rn::bedcarve
