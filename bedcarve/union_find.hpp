// Union-find over dense integer ids: the lakes, the drainage classes and the
// raise groups of the depression fill are each one such forest.
#pragma once

namespace rn::bedcarve {

/// Root of `x` in a forest whose parent links `parent_of(id)` gives as a
/// reference (parent_of(r) == r at a root).
/// Contract: every parent chain ends at a root.  Halves the path on the way
/// (each visited id is pointed at its grandparent), so repeated finds cost
/// amortised near-constant time.
template <typename Id, typename ParentOf>
Id find_root(Id x, ParentOf&& parent_of) {
  for (;;) {
    Id& up = parent_of(x);
    const Id p = up;
    if (p == x) return x;
    const Id grand = parent_of(p);
    if (grand == p) return p;
    up = grand;
    x = grand;
  }
}

}  // namespace rn::bedcarve
