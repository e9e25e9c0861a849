#include "mapping_file.hpp"

#include <span>

#include "entries.hpp"
#include "linkweaver_messages.hpp"
#include "nc_file.hpp"
#include "nc_writer.hpp"
#include "text_record.hpp"

namespace rn::linkweaver {

void write_mapping_file(const std::string& path, const Entries& entries,
                        const PerimeterMatch& match) {
  NcWriter nc(path, kIoChunkBytes, CreateFailure::library_error);
  const int ndata = nc.def_dim("ndata", entries.size());
  const int grid = nc.def_dim("gridNum", static_cast<std::size_t>(match.gridNum));
  nc.def_var("PnodeId", NcVarType::int32, {ndata});
  nc.def_var("pOrder", NcVarType::int32, {ndata});
  nc.def_var("cOrder", NcVarType::int32, {ndata});
  nc.def_var("weight", NcVarType::real32, {ndata});
  nc.def_var("childIndex", NcVarType::int32, {ndata});
  nc.def_var("ci_grid", NcVarType::int32, {grid});
  nc.def_var("cj_grid", NcVarType::int32, {grid});
  nc.enddef();
  out().record(msg::kDefined);

  using Ints = std::span<const std::int32_t>;
  nc.put("PnodeId", Ints(entries.PnodeId));
  nc.put("pOrder", Ints(entries.pOrder));
  nc.put("cOrder", Ints(entries.cOrder));
  nc.put("weight", std::span<const float>(entries.weight));
  nc.put("childIndex", Ints(entries.childIndex));
  nc.put("ci_grid", Ints(match.ci));
  nc.put("cj_grid", Ints(match.cj));
  nc.commit();
}

void write_mapping(const MappingState& state, std::int32_t pairNum, std::int32_t nodeNum) {
  const Entries entries = gather_entries(state.child, state.match, state.config.order_diff);
  out().record(msg::kCreate);
  out().record(msg::kEntryCount, pairNum, msg::kNodeNumber, nodeNum);
  out().record(msg::kPerimeterCount, state.match.gridNum);
  write_mapping_file("mapping.nc", entries, state.match);
}

}  // namespace rn::linkweaver
