#include "child_boundary.hpp"

#include <string>

#include "command_line.hpp"
#include "nc_writer.hpp"
#include "program_end.hpp"

namespace rn::nesting {

void write_child_boundary(std::string_view path, std::span<const float> qstream,
                          std::span<const std::int32_t> ci, std::span<const std::int32_t> cj) {
  NcWriter file(path, kSmallIoChunkBytes, CreateFailure::library_error);
  const int node_num = file.def_dim("nodeNum", qstream.size());
  const int qstream_id = file.def_var("qstream", NcVarType::real32, {node_num});
  const int ci_id = file.def_var("ci", NcVarType::int32, {node_num});
  const int cj_id = file.def_var("cj", NcVarType::int32, {node_num});
  file.enddef();
  file.put(qstream_id, qstream);
  file.put(ci_id, ci);
  file.put(cj_id, cj);
  file.commit();
}

int nesting_main(int argc, char** argv, std::string_view program, std::string_view help,
                 void (*driver)(std::string_view input, std::string_view output)) {
  return run_entry(program, help, argc, argv, [&] {
    const std::string input = argument(argc, argv, 1);
    const std::string output = argument(argc, argv, 2);
    driver(input, output);
  });
}

}  // namespace rn::nesting
