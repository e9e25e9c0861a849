// The per-point arrays of a channel output or a segment-information file,
// read whole through the module readers (their messages and program ends on
// failure).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nc_readers.hpp"

namespace rn::kml {

/// The per-point arrays of one input file, point i at index i - 1.  Arrays a
/// tool does not read stay empty.
struct ChannelPoints {
  std::vector<float> values;
  std::vector<float> lat;
  std::vector<float> lon;
  std::vector<std::int32_t> order;
  std::vector<std::int32_t> chanxi;
  std::vector<std::int32_t> chanyj;
};

/// One per-point variable of a file: its name and the array it fills (a
/// real or an integer array of ChannelPoints).
struct PointVariable {
  PointVariable(std::string_view n, std::vector<float> ChannelPoints::*r) : name(n), reals(r) {}
  PointVariable(std::string_view n, std::vector<std::int32_t> ChannelPoints::*i)
      : name(n), ints(i) {}
  std::string_view name;
  std::vector<float> ChannelPoints::*reals = nullptr;
  std::vector<std::int32_t> ChannelPoints::*ints = nullptr;
};

/// Reads the length of `dimension` (in the readers' form), then every
/// variable in the order given, each of which must hold exactly that many
/// values.
ChannelPoints read_points(const ModuleReaders& readers, const std::string& file,
                          std::string_view dimension,
                          std::initializer_list<PointVariable> variables);

/// Reads variable `var` of `file` whole as 32-bit reals.  With a `count`, the
/// variable must hold exactly that many values (the readers end the run with
/// a message otherwise); without one, it is read at whatever size it has.
std::vector<float> read_reals(const ModuleReaders& readers, const std::string& file,
                              std::string_view var, std::optional<std::int32_t> count);

/// The same as 32-bit integers.
std::vector<std::int32_t> read_ints(const ModuleReaders& readers, const std::string& file,
                                    std::string_view var, std::optional<std::int32_t> count);

}  // namespace rn::kml
