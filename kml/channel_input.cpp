#include "channel_input.hpp"

#include <limits>

#include "kml_messages.hpp"
#include "nc_file.hpp"

namespace rn::kml {
namespace {

/// Number of values to read: `count` when given, else the variable's own
/// element count.  When the probe fails (no file, no variable), 0: the
/// reader called next then reports the failure in its own words.  A
/// variable of more values than a 32-bit count ends the run before anything
/// is allocated: a file of a few kilobytes can claim billions of points.
std::size_t values_to_read(std::string_view reader, const std::string& file,
                           std::string_view var, std::optional<std::int32_t> count) {
  if (count) return static_cast<std::size_t>(*count < 0 ? 0 : *count);
  NcFile f;
  int id = -1;
  std::size_t n = 0;
  if (f.open(file) != 0 || f.var_id(var, id) != 0 || f.var_count(id, n) != 0) return 0;
  if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    stop_long_variable(reader, file, var, n);
  }
  return n;
}

// The reader sizes the vector once the variable is known to hold that many
// values.
template <typename T, typename Read>
std::vector<T> read_values(std::string_view reader, const std::string& file,
                           std::string_view var, std::optional<std::int32_t> count, Read read) {
  std::vector<T> values;
  read(values, values_to_read(reader, file, var, count));
  return values;
}

}  // namespace

std::vector<float> read_reals(const ModuleReaders& readers, const std::string& file,
                              std::string_view var, std::optional<std::int32_t> count) {
  return read_values<float>(msg::kRealReader, file, var, count,
                            [&](std::vector<float>& v, std::size_t n) { readers.get1d_real(file, var, v, n); });
}

std::vector<std::int32_t> read_ints(const ModuleReaders& readers, const std::string& file,
                                    std::string_view var, std::optional<std::int32_t> count) {
  return read_values<std::int32_t>(
      msg::kIntReader, file, var, count,
      [&](std::vector<std::int32_t>& v, std::size_t n) { readers.get1d_int(file, var, v, n); });
}

ChannelPoints read_points(const ModuleReaders& readers, const std::string& file,
                          std::string_view dimension,
                          std::initializer_list<PointVariable> variables) {
  const std::int32_t point_count = readers.get_file_dimension(file, dimension);
  ChannelPoints p;
  for (const PointVariable& v : variables) {
    if (v.reals != nullptr) p.*v.reals = read_reals(readers, file, v.name, point_count);
    if (v.ints != nullptr) p.*v.ints = read_ints(readers, file, v.name, point_count);
  }
  return p;
}

}  // namespace rn::kml
