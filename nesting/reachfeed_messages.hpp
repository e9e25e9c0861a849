// Every text that reachfeed writes on standard output or the error stream
// (besides the shared records of command_line.hpp and the readers'), in one
// table.
//
// FIXED OUTPUT: scripts that chain the programs match these texts.  Do not
// change a byte (blanks and spelling included).  Pieces of composed messages
// are named ...Head / ...Mid / ...Tail in the order they are joined.
#pragma once

namespace rn::nesting::reachfeed_msg {

// ---- reading the inputs (reachfeed.cpp)
inline constexpr char kUsingIndex[] = "Using the file mapping_index.nc";
inline constexpr char kUsingMapping[] = "Using the file mapping.nc";
inline constexpr char kNoMapping[] = "Error: no mapping.nc file found. ";
inline constexpr char kCounts[] = " fcstn = ";
inline constexpr char kGridNum[] = "gridNum=";
inline constexpr char kReadingIndex[] = "reading pNodeIndex ";
inline constexpr char kReadingIds[] = "reading pNodeId ";
inline constexpr char kEntryHead[] = "Error: entry ";
inline constexpr char kEntryOf[] = " of ";
inline constexpr char kChildIndexMid[] = " has childIndex ";
inline constexpr char kChildIndexTail[] = ", outside 1 to gridNum = ";
inline constexpr char kPositionMid[] = " has pNodeIndex ";
inline constexpr char kBeyondThe[] = ", beyond the ";
inline constexpr char kFeatureIdsOf[] = " feature ids of ";
inline constexpr char kUnmatched[] = "Warning: the node could not find from fcst output";
inline constexpr char kDefined[] = " finish define nectdf variables.";
inline constexpr char kEntryStreamflow[] = "streamflow of vorl = ";
// After the walk, when parent values were missing: head + entries + tail + nodes.
inline constexpr char kMissingHead[] =
    "Warning: mapping entries whose parent streamflow is missing (fill value or NaN), left out: ";
inline constexpr char kMissingTail[] = "; nodes set to -9999.0 for it: ";

// ---- the cache check (index_cache.cpp)
inline constexpr char kStaleHead[] = "Warning: the file mapping_index.nc does not match: ";
inline constexpr char kStaleTail[] = "; rebuilding it from mapping.nc";
inline constexpr char kMappingUnreadable[] = "mapping.nc cannot be read (";
inline constexpr char kCacheUnreadable[] = "it cannot be read (";
inline constexpr char kUnreadableTail[] = ")";
inline constexpr char kReason[] = ": ";
inline constexpr char kLengthHead[] = ": length ";
inline constexpr char kLengthTail[] = " too large";
inline constexpr char kNdataIs[] = "ndata is ";
inline constexpr char kGridNumIs[] = "gridNum is ";
inline constexpr char kInCacheBut[] = " in mapping_index.nc but ";
inline constexpr char kInMapping[] = " in mapping.nc";
inline constexpr char kEntry[] = "entry";
inline constexpr char kNode[] = "node";
inline constexpr char kCopyOf[] = " of ";
inline constexpr char kBlank[] = " ";
inline constexpr char kDiffers[] = " differs from mapping.nc";
inline constexpr char kPositionOfEntry[] = "pNodeIndex of entry ";
inline constexpr char kIs[] = " is ";
inline constexpr char kBeyondInput[] = " feature ids of the input file";
inline constexpr char kFeatureAt[] = "feature_id at pNodeIndex ";
inline constexpr char kOfEntry[] = " of entry ";
inline constexpr char kNotItsId[] = ", not its PnodeId ";

}  // namespace rn::nesting::reachfeed_msg
