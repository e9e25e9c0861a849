// The parent network as the mapping builder reads it: the stream order of
// every parent link (route-link file), the sizes of the overlap file, and
// the parent grid's size and anchor cell (parent geo file).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "configuration.hpp"
#include "state.hpp"

namespace rn::linkweaver {

/// Fills `links` from the route-link file: the length of `linkDim`, then the
/// variables `link` and `order`.  Writes " check read in plink%nlinks = ".
void read_parent_links(std::string_view file, ParentLinks& links);

/// Stream orders of the links `ids`, in order: the order of the first link
/// of `links` with that identifier, or kMissingOrder when there is none, in
/// which case the records "Warning: id not matched. " and "input Id from
/// mapping file is " with the identifier are written (in the order of `ids`).
std::vector<std::int32_t> stream_orders(const ParentLinks& links,
                                        std::span<const std::int32_t> ids);

/// Lengths of the dimensions "data" (`ndata`) and "polyid" (`npid`) of the
/// overlap file.
void read_overlap_dimensions(std::string_view file, std::int32_t& ndata, std::int32_t& npid);

/// Lengths of `west_east` (`ix`) and `south_north` (`jx`) of the geo file.
void read_geo_dimensions(std::string_view file, std::int32_t& ix, std::int32_t& jx);

/// Latitude and longitude of parent cell (1, 1): the first values of XLAT_M
/// and XLONG_M.  Writes the records "ix, jx " and "lat0 , lon0 ".  A
/// latitude that is not within -90..90 or a non-finite longitude ends the
/// run (text stop, status 1).
void read_parent_anchor(std::string_view file, float& lat0, float& lon0);

/// Whether a point can be placed on a map: latitude within -90..90 (not a
/// fill value beyond the poles, not NaN) and a finite longitude.
bool valid_lat_lon(float lat, float lon);

/// A real converted to an integer by truncation toward zero.  A value
/// outside the 32-bit range, or not a number, gives the smallest 32-bit
/// integer, as the processor's own conversion does.
std::int32_t truncate_to_int(float value);

/// Parent grid cell (`i`, `j`) that holds a latitude and longitude: the
/// real grid coordinates plus 0.5, truncated toward zero.  Nothing is
/// clamped: points off the grid get indices below 1 or beyond its size.
void parent_cell_of(const ParentProjection& projection, float lat, float lon, std::int32_t& i,
                    std::int32_t& j);

}  // namespace rn::linkweaver
