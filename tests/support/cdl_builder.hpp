// CDL text of a netCDF fixture, built item by item, for write_cdl.
#pragma once

#include <cstddef>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace rn::test {

/// Dimensions, variables (with attribute lines among them) and data of one
/// CDL file.  A dimension of length 0 is the unlimited one; a variable given
/// no values gets no data line, so that it holds no records over an
/// unlimited dimension (or the fill value over a fixed one).
class Cdl {
 public:
  void dim(std::string_view name, std::size_t length);

  /// Declares `type name(shape)` with values as CDL texts ("0.25", "1e-3").
  void var(std::string_view type, std::string_view name, std::string_view shape,
           const std::vector<std::string>& values = {});

  /// The same with numbers, written with all the digits they hold.
  template <typename T>
    requires std::is_arithmetic_v<T>
  void var(std::string_view type, std::string_view name, std::string_view shape,
           const std::vector<T>& values) {
    std::vector<std::string> texts;
    texts.reserve(values.size());
    for (const T v : values) texts.push_back(number_text(static_cast<double>(v)));
    var(type, name, shape, texts);
  }

  /// Appends lines as they stand to the variables section (attributes, e.g.
  /// "    streamflow:scale_factor = 0.01f ;\n").
  void lines(std::string_view cdl_lines);

  /// The whole text, `netcdf <name> { ... }`.
  std::string text(std::string_view name = "f") const;

 private:
  static std::string number_text(double value);

  std::ostringstream dims_, vars_, data_;
};

}  // namespace rn::test
