// The engine of the depression fill (depression_fill.cpp explains what it
// computes and how): its state and its small helpers.  Its work lives in
// four files, by what it does:
//  - fill_sweep.cpp: the sweep over the start cells and the spread of
//    drainage;
//  - fill_explore.cpp: labelling cells with their drainage classes, and the
//    natural pits found on the way;
//  - fill_start_cell.cpp: the fills of one start cell and the pass of start
//    cells whose pits it shares;
//  - fill_flood.cpp: what a fill does to the lakes it raises (floods,
//    merges, spills, drains).
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "cell_array.hpp"
#include "cell_bits.hpp"
#include "cell_queue.hpp"
#include "depression_fill.hpp"
#include "drainage_classes.hpp"
#include "grid2d.hpp"
#include "height_heaps.hpp"
#include "lakes.hpp"
#include "raise_groups.hpp"

namespace rn::bedcarve::detail {

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
inline constexpr int kDi[8] = {0, -1, -1, -1, 0, 1, 1, 1};
inline constexpr int kDj[8] = {1, 1, 0, -1, -1, -1, 0, 1};

inline std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

/// `Cell` numbers cells (32 bits below 2^31 cells, else 64); `Id` numbers
/// lakes, classes and raise groups (32 bits: more than 2^31 of them is
/// refused with std::length_error).
template <typename Cell, typename Id>
class FillEngine {
  static constexpr Id kUnlabelled = -1;
  static constexpr Id kInProgress = -2;
  /// Spilled lakes of at most this many cells keep no rim.
  static constexpr Cell kSmallLake = 256;

 public:
  FillEngine(Grid2D<float>& h, const CellBits& water, const FillRecorder& record,
             const FillTuning& tuning)
      : h_(h.values()),
        ix_(static_cast<Cell>(h.columns())),
        jx_(static_cast<Cell>(h.rows())),
        n_(static_cast<Cell>(h.size())),
        record_(record),
        state_(static_cast<std::size_t>(n_), 0),
        tag_(static_cast<std::size_t>(n_), kUnlabelled),
        classes_(tuning.flat_list) {
    for (int k = 0; k < 8; ++k) off_[k] = kDi[k] + kDj[k] * ix_;
    for (int d = 0; d < 8; ++d) {  // see look_
      int at = 0;
      for (int pass = 0; pass < 2; ++pass) {
        for (int k = 0; k < 8; ++k) {
          const int di = kDi[k] + kDi[d], dj = kDj[k] + kDj[d];
          if (di == 0 && dj == 0) continue;  // back to the cell it came from
          const bool next_to_both = di >= -1 && di <= 1 && dj >= -1 && dj <= 1;
          if (next_to_both == (pass == 0)) look_[d][at++] = static_cast<std::uint8_t>(k);
        }
      }
    }
    bool pos_zero = false, neg_zero = false;
    for (float v : h_) {
      if (v == 0.0f) (std::signbit(v) ? neg_zero : pos_zero) = true;
    }
    mixed_zero_ = pos_zero && neg_zero;
    init_drainage(water);
  }

  FillResult run(const SweepProgress& progress);

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
  /// taken in its neighbour `c` (n = c + off_[d]), unless it waits there
  /// already.
  /// Every cell that joins a lake puts its higher neighbours on the lake's
  /// rim (rims merge with their lakes, and a neighbour popped at the level
  /// joins the lake), so a cell above the level with a neighbour in `p`
  /// other than `c` is on p's rim.  kOnRim spares that look for cells on no
  /// rim at all; it is set on every push and cleared when a rim gives the
  /// cell up, so a stale bit only costs the look.
  void flood_candidate(Id p, Cell n, int d, float v);
  void clear_rim_marks() {
    for (Cell n : rim_marked_) state_[n] &= static_cast<std::uint8_t>(~kRimMark);
    rim_marked_.clear();
  }

  // ---- drainage ----------------------------------------------------------

  /// Marks the ring and the water cells as draining, and every cell that
  /// reaches one of them by never-climbing steps.  Each source is spread
  /// from in turn, so the queue holds one frontier, not every source at
  /// once.  Assumes no lakes yet.  Cost: the ring, the water bits a word at
  /// a time, and the cells that drain.
  void init_drainage(const CellBits& water);

  /// Marks every cell that reaches a queued draining cell by never-climbing
  /// steps (a breadth-first search up the terrain).  Each cell is marked
  /// once in the whole run.
  void spread_drainage();

  // ---- lakes -------------------------------------------------------------

  /// Level of a lake root: its raise group's level while it takes part in
  /// the current pass's fills, else its own.
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
  void explore(Cell start);

  /// Gathers the flat region of `c` (its unlabelled cells at c's height)
  /// and the lower neighbours of that region, as a new frame.
  void open_frame(Cell c);

  /// Labels the flat region of a finished frame: a new pit lake when it
  /// has no lower neighbour, else the class of the pits below it.
  void close_frame(const Frame& f);

  /// The class of a flat region whose lower neighbours have the classes
  /// `low_labels_` (roots, at least two distinct).  Neighbouring slope cells
  /// mostly meet the same few classes below them, so the answers of one
  /// exploration are remembered by their set of classes below (no class is
  /// joined while an exploration runs, so they stay right).
  Id junction_below();

  // ---- the current start cell and its pass --------------------------------

  /// Adds lake `l` (a pit) to the pits of the current pass.
  void add_pit(Id l);

  /// Walks the classes below `x0` and adds their pits to the pass; returns
  /// whether the walk met class root `target`.  A junction with a single
  /// distinct successor is joined to it on the way.
  /// Cost: linear in the classes walked (each at most once per pass).
  bool collect(Id x0, Id target);

  bool valid_pit_entry(const Keyed<Id>& e);

  /// All fills from start cell `s` (which does not drain yet): at most 100,
  /// each reported, until `s` drains.  Returns the stop that ends the run,
  /// if one does.
  FillStop process_start(Cell s);

  /// Makes the pits of the current pass those of class `c`, the class of
  /// the next start cell.  A pass is a run of start cells whose pit sets
  /// each hold the pits of the start cells before them in the pass: their
  /// fills raise every pit of the pass below the fill height, so the raise
  /// groups stay right, and a start cell that enters the same basin as the
  /// one before it costs nothing here, however many pits the basin holds.
  /// Otherwise the pass ends and a new one collects the pits of `c`.
  /// Cost: linear in the classes walked that the pass had not reached.
  void begin_start(Id c);

  /// The raise groups end with the pass: every pit keeps its level.
  void end_pass();

  /// Lake root `b`, whose cell `c` the flood has reached, is merged into the
  /// lake of the current absorption (root `a`, at `level`); returns the new
  /// root.
  Id merge_lakes(Id a, Id b, float level, Cell c);

  /// Calls `inside(x)` for every cell x of lake root `b`, reached from its
  /// cell `start` through its cells, and `outside(n)` for each neighbour n
  /// of them that is not in it (once per cell it borders).
  /// Cost: linear in the lake's cells.
  template <typename Inside, typename Outside>
  void walk_lake(Id b, Cell start, Inside&& inside, Outside&& outside);

  /// The rim of lake root `b` (with cell `c`), dropped when it spilled:
  /// every neighbour of its cells above its level.  Those heights have not
  /// changed since (a cell above a lake and next to it is never raised
  /// while the lake is lower), so this is the rim the lake would have kept.
  /// Cost: linear in the lake's cells (at most kSmallLake).
  void rebuild_rim(Id b, Cell c);

  /// Lake `b` (with cell `c`, at `level_b`, a zero) is about to take other
  /// level bits: its raised cells keep the bits they have.
  void keep_raised_bits(Id b, Cell c, float level_b);

  /// Lake `l` of the current pass was raised to `level`, which its
  /// lowest rim candidate reaches: it takes in the cells and lakes at that
  /// level around it (its flat grows to the whole flat region at `level`).
  /// What it met is noted for `settle`: the classes of the lakes it took
  /// in, its new outlets and any draining cell it touched.  Settling waits
  /// until every pit raised by this fill has grown, so that each lake is
  /// judged on its whole flat region.
  void flood(Id l, float level);

  /// After the floods of one fill: every lake that grew is a pit again,
  /// has spilled (its new pits join the current pass's), or drains.
  void settle(float level);

  /// Bits of a zero `minv` when the grid holds both zeros: the first
  /// candidate of the plain search from `s` (depth first in the neighbour
  /// order, each cell's higher neighbours scanned after its subtree).
  float first_candidate(Cell s, float minv);

  std::span<float> h_;
  Cell ix_, jx_;
  Cell n_;
  const FillRecorder& record_;
  Cell off_[8];
  /// For a cell n reached from c in direction d: the directions from n to
  /// its neighbours other than c, those next to c as well first.
  std::uint8_t look_[8][7];
  bool mixed_zero_ = false;

  // Cells.
  CellArray<std::uint8_t> state_;  ///< CellState bits
  CellArray<Id> tag_;              ///< class (or lake, in a lake) of an explored cell
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

}  // namespace rn::bedcarve::detail
