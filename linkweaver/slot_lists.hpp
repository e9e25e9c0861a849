// Slot lists of the perimeter cells: the parent links whose polygons
// overlap the parent cell of a perimeter cell, with their overlap weights
// and stream orders, filled by walking the overlap records.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "perimeter.hpp"
#include "state.hpp"

namespace rn::linkweaver {

/// Outcome of `offer_link`.
enum class Push {
  kept,    ///< the link was already in the list; nothing changed
  stored,  ///< the link took the slot returned through `slot`
  full,    ///< every slot holds another link
};

/// Offers link `id` with `weight` to one perimeter cell's slot list
/// (`ids`, `weights`: its 20 slots).  Slots are examined in order: a slot
/// holding `id` keeps the list as it is (the first weight stays); the first
/// slot holding 0 or less takes the link.  The caller looks up the order of
/// a stored link and counts the pair.
Push offer_link(std::span<std::int32_t> ids, std::span<float> weights, std::int32_t id,
                float weight, std::int32_t& slot);

/// The variables of the overlap file, in the order the records use them.
struct OverlapRecords {
  std::vector<double> regridweight;  ///< per record
  std::vector<std::int32_t> polyid;  ///< link identifier per polygon
  std::vector<std::int32_t> overlaps;  ///< record count per polygon
  std::vector<std::int32_t> i_index;   ///< parent column per record
  std::vector<std::int32_t> j_index;   ///< parent row per record
};

/// Reads "regridweight", "polyid", "overlaps", "i_index" and "j_index", in
/// this order, each holding `npid` or `ndata` values.
void read_overlap_records(std::string_view file, std::int32_t ndata, std::int32_t npid,
                          OverlapRecords& records);

/// Ends the run (status 1) when a polygon has a negative record count or
/// the counts add up to more than the `ndata` records the file holds.
void check_overlap_counts(std::string_view file, std::span<const std::int32_t> overlaps,
                          std::int32_t ndata);

/// Walks the overlap records polygon by polygon and offers each record's
/// link to every perimeter cell in the record's parent cell, in ascending
/// perimeter number.  Fills the slot lists of `match` (allocated for
/// `gridNum` cells) and `pairNum`; the orders of stored links come from
/// `links`, with its warnings in the order the links were stored.  The 21st
/// distinct link of one perimeter cell ends the run with the text stop
/// "in pushToArray: size of 20 is too small. ".
void attach_links(const OverlapRecords& records, const ParentCellIndex& index,
                  const ParentLinks& links, PerimeterMatch& match);

/// The whole matching step (`mapping`): reads the route-link file, places
/// the perimeter, reads the overlap file and fills the slot lists, with the
/// records " check read in plink%nlinks = ", "before, call get_dimensionNHD "
/// and "ndata, npid =".  Releases the child fields it no longer needs.
/// Returns `outside_window`, with nothing read after the route-link file,
/// when the perimeter does not fit the parent window.
[[nodiscard]] Placement match_links(const NestingConfig& config, ParentLinks& links,
                                    ChildGrid& child, PerimeterMatch& match);

}  // namespace rn::linkweaver
