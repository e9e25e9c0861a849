// Every text that the five globe tools write on standard output or the
// error stream (besides the shared records of command_line.hpp and the
// readers'), in one table.  The KML documents' own lines belong to the
// document writer (kml_document.*).
//
// FIXED OUTPUT: scripts that chain the programs match these texts.  Do not
// change a byte (blanks and spelling included).
#pragma once

namespace rn::kml::msg {

// ---- usage records of a wrong argument count
inline constexpr char kStreamflowUsage[] =
    "Usage: inFile outputFile order jumpInt seg_info.nc, obsFile(or dumy)";
inline constexpr char kNodeUsage[] = "Usage: inFile outputFile order interval(jump points)";
inline constexpr char kSegmentUsage[] = "Usage: seg_info.nc outputFile order obsFile(opt)";
inline constexpr char kStationUsage[] = "Usage: outputFile obsFile(station_list.txt)";

// ---- names of the numeric arguments in the message of one that is no integer
inline constexpr char kOrderArgument[] = "order";
inline constexpr char kJumpArgument[] = "jumpInt";
inline constexpr char kIntervalArgument[] = "interval";

// ---- failures
inline constexpr char kZeroJump[] =
    "Error: jumpInt must not be 0 (1 keeps every point, n every n-th grid column and row)";
inline constexpr char kCannotCreateHead[] = "Error: cannot create output file ";
inline constexpr char kReason[] = ": ";
inline constexpr char kError[] = "Error: ";
inline constexpr char kStationListHead[] = "Error: station list ";
inline constexpr char kUnknownTool[] = "Error: unknown tool ";
inline constexpr char kCannotWriteHead[] = "Error: cannot write output file ";
inline constexpr char kPackageNameHead[] = "Error: --kmz writes a KMZ package: the output name must end in .kmz: ";

// ---- a missing station list (first item of the record, the name follows)
inline constexpr char kStreamflowMissingList[] = "warning: obsFile does not exist. ";
inline constexpr char kMissingList[] = "obsFile does not exist. ";

// ---- routine names that the shared reader ends put into their messages
inline constexpr char kRealReader[] = "get1d_real";
inline constexpr char kIntReader[] = "get1d_int";

}  // namespace rn::kml::msg
