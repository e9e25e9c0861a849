#include "linkweaver.hpp"

#include "child_grid.hpp"
#include "configuration.hpp"
#include "mapping_file.hpp"
#include "slot_lists.hpp"

namespace rn::linkweaver {

void linkweaver(MappingState& state) {
  readnamelist(state.nlst);
  init_child(state.nlst, state.child, state.inter);
  mapping(state.nlst, state.plink, state.child, state.inter);
  output_file(state, state.inter.pairNum, state.child.nodeNum);
}

}  // namespace rn::linkweaver
