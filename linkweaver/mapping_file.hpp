// `mapping.nc`: the entries (parent link, orders, weight, perimeter cell)
// and the child cell of every perimeter cell.
#pragma once

#include <cstdint>
#include <string>

#include "state.hpp"

namespace rn::linkweaver {

/// Writes `path` (classic netCDF, replaced atomically): dimensions `ndata`
/// (the entry count; 0 makes it the unlimited dimension) and `gridNum`;
/// variables PnodeId, pOrder, cOrder (int), weight (float), childIndex (int)
/// over `ndata`, ci_grid and cj_grid (int) over `gridNum`; no attributes.
/// Writes the record " finish define nectdf variables." once the layout is
/// defined.  A failing library call ends the run through `handle_err`.
void write_mapping_file(const std::string& path, const Entries& entries,
                        const PerimeterMatch& match);

/// `write_mapping`: gathers the entries, writes the records " create
/// mapping.nc", "ndata = " with `pairNum` and "node=" with `nodeNum`, and
/// "inter%gridNum=", then writes `mapping.nc` in the working directory.
void write_mapping(const MappingState& state, std::int32_t pairNum, std::int32_t nodeNum);

}  // namespace rn::linkweaver
