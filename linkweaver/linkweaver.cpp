#include "linkweaver.hpp"

#include "child_grid.hpp"
#include "configuration.hpp"
#include "mapping_file.hpp"
#include "slot_lists.hpp"

namespace rn::linkweaver {

Placement build_mapping(MappingState& state) {
  read_configuration(state.config);
  read_child_grid(state.config, state.child, state.match);
  const Placement placement = match_links(state.config, state.links, state.child, state.match);
  if (placement != Placement::inside) return placement;
  write_mapping(state, state.match.pairNum, state.child.nodeNum);
  return placement;
}

}  // namespace rn::linkweaver
