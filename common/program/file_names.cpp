#include "file_names.hpp"

#include <sys/stat.h>

#include "command_line.hpp"

namespace rn {

std::string trim_name(std::string_view name) {
  return std::string(trim_right(name.substr(0, kNameWidth)));
}

bool file_exists(std::string_view name) {
  struct stat info {};
  const std::string path = trim_name(name);
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

}  // namespace rn
