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
//  - Per pass of start cells: the pits of R(s) (a walk over the classes
//    from the start cell's label), a heap of those pits by rim, and raise
//    groups: the pits raised by one fill share a level from then on, so a
//    union-find over them raises all of them in O(1).  The groups stay right
//    as long as every later start cell's pit set holds all of them (its
//    fills raise every pit of the set below the fill height), so a pass goes
//    on while the next start cell's class is the pass's or a walk from it
//    meets the pass's: a start cell in the same basin as the one before it
//    (the common case where start cells need 100 fills each) costs nothing
//    before its first fill, however many pits the basin holds.  A fill is:
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
// O(N log N) plus, per pass of start cells, the walk over its classes and
// pits (short: see the classes above); a fill's own cost does not grow with
// the pits of R(s).  Nothing recurses: every search keeps its own stack.
//
// Memory: a state byte and a 4-byte tag per cell (the tag is a cell's
// drainage class, or its lake once it lies in one: a lake cell's class is its
// lake's), in arrays that ask for huge pages (cell_array.hpp); besides
// that only what the lakes, classes, heaps and queues hold, which grows
// with the depressions, not with the grid: a lake is 32 bytes
// and a class 16, both kept in chunks that growing never copies; rims,
// successor lists and outlets live in pools whose freed parts are reused;
// a lake that drains gives back its rim and outlets, and a spilled lake of
// at most 256 cells its rim (rebuilt from its cells should a flood reach
// it).  Cells are numbered with 32 bits below 2^31 cells and with 64
// above; lakes and classes always with 32.  Rim candidates are kept unique
// per lake and operation with a mark bit instead of a per-cell owner.
//
// The pieces: fill_engine.hpp (the engine's state, and which of
// fill_sweep.cpp, fill_explore.cpp, fill_start_cell.cpp and fill_flood.cpp
// does what), lakes.hpp (lakes, their rims and outlets), drainage_classes.hpp
// and block_lists.hpp (the classes and their successor lists),
// raise_groups.hpp (one pass's raise groups), height_heaps.hpp,
// union_find.hpp and chunked_vector.hpp (the heaps, forests and arrays they
// use), cell_array.hpp (the arrays of a value a cell).
#include "depression_fill.hpp"

#include <cstddef>
#include <cstdint>

#include "fill_engine.hpp"

namespace rn::bedcarve {
namespace {

/// Grids of this many cells or more number them with 64-bit integers.
constexpr std::size_t kWideCells = std::size_t{1} << 31;

}  // namespace

std::size_t fill_bytes_per_cell() { return 5; }

FillResult fill_depressions(Grid2D<float>& height, const CellBits& water,
                            const FillRecorder& record, const FillTuning& tuning,
                            const SweepProgress& progress) {
  if (height.empty()) return {};
  if (tuning.wide_index || height.size() >= kWideCells) {
    detail::FillEngine<std::int64_t, std::int32_t> engine(height, water, record, tuning);
    return engine.run(progress);
  }
  detail::FillEngine<std::int32_t, std::int32_t> engine(height, water, record, tuning);
  return engine.run(progress);
}

}  // namespace rn::bedcarve
