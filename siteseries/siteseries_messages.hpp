// Every text that siteseries writes on standard output or the error stream
// (besides the shared records of command_line.hpp, the readers' and the
// date routines'), in one table.
//
// FIXED OUTPUT: scripts that chain the programs match these texts.  Do not
// change a byte (blanks and spelling included).
#pragma once

namespace rn::siteseries::msg {

// ---- the entry (siteseries_main.cpp)
inline constexpr char kUsage[] = "Usage: usArea,latlonType,startDate,Hrs,suffix,inDir,pointFile";
inline constexpr char kAreaArgument[] = "usArea";
inline constexpr char kGridArgument[] = "latlonType";
inline constexpr char kHoursArgument[] = "Hrs";

// ---- set-up (site_setup.cpp, site_location.cpp)
inline constexpr char kSiteListHead[] = "Error: site list ";
inline constexpr char kNoSiteList[] = " does not exist";
inline constexpr char kSiteListUnreadable[] = "Error: site list: ";
inline constexpr char kReason[] = ": ";
inline constexpr char kStartFileOpen[] = "checkRainType failed to open the netcdf file: ";
inline constexpr char kRainOnly[] = " check rainOnly ";
inline constexpr char kNoDimension[] = "Error: getting file dimension";
/// The dimensions named in the failure line when neither grid is there.
inline constexpr char kGridDimensions[] = "lat_0 or xgrid_0";
inline constexpr char kSecondDimensionHead[] = "Error: getting file dimension ";
inline constexpr char kSecondDimensionMid[] = " (the file has ";
inline constexpr char kSecondDimensionTail[] = ")";
inline constexpr char kNoSpacing[] =
    "Error: lat_0 and lon_0 need two points each to give the grid spacing";

}  // namespace rn::siteseries::msg
