// Every text that cellfeed writes on standard output (besides the shared
// records of command_line.hpp and the readers'), in one table.
//
// FIXED OUTPUT: scripts that chain the programs match these texts.  Do not
// change a byte (blanks and spelling included).
#pragma once

namespace rn::nesting::cellfeed_msg {

inline constexpr char kCounts[] = " fcstn = ";
inline constexpr char kGridNum[] = "gridNum=";
inline constexpr char kNode[] = "k = ";
inline constexpr char kRecordOutOfRange[] = "fcst index = ";
// After the walk, when parent values were missing: head + nodes + tail + nodes.
inline constexpr char kMissingHead[] =
    "Warning: nodes whose parent streamflow is missing (fill value or NaN): ";
inline constexpr char kMissingTail[] = "; nodes set to -9999.0 for it: ";

}  // namespace rn::nesting::cellfeed_msg
