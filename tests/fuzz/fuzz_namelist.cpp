// Fuzz target: the `namelist.nesting` reader.  The input is the file's text.
//
// Invariants: parsing ends with either no message and every text value
// exactly 256 characters, or a message; parsing the same text again gives
// the same outcome and values (no state is carried between files).
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "namelist.hpp"

namespace {

using rn::fuzz::check;

bool same_values(const rn::NestingNamelist& a, const rn::NestingNamelist& b) {
  return a.mapproject == b.mapproject && a.fulldom_child_f == b.fulldom_child_f &&
         a.fulldom_parent_f == b.fulldom_parent_f && a.routinelin_p_f == b.routinelin_p_f &&
         std::memcmp(&a.dxkm, &b.dxkm, sizeof a.dxkm) == 0 && a.geo_parent_f == b.geo_parent_f &&
         a.nhd_map_f == b.nhd_map_f && a.flowin_out == b.flowin_out && a.order_diff == b.order_diff;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  rn::NestingNamelist values;
  const std::string problem = rn::parse_namelist_nesting(text, values);
  if (problem.empty()) {
    for (const std::string* t : {&values.mapproject, &values.fulldom_child_f, &values.fulldom_parent_f,
                                 &values.routinelin_p_f, &values.geo_parent_f, &values.nhd_map_f}) {
      check(t->size() == rn::kNamelistTextWidth, "an accepted text value holds exactly 256 characters");
    }
  }
  rn::NestingNamelist again;
  again.order_diff = 12345;  // stale values must not leak into the result
  again.mapproject = "stale";
  check(rn::parse_namelist_nesting(text, again) == problem, "the same text gives the same outcome");
  if (problem.empty()) check(same_values(values, again), "the same text gives the same values");
  return 0;
}
