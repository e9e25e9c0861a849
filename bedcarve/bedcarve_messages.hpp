// Every text that `bedcarve` itself writes: its records and its stop texts.
//
// FIXED OUTPUT: scripts that chain the programs match these texts on standard
// output and on the error stream.  Not a byte of them may change, blanks
// included.  (The terrain readers' own messages live with the readers.)
#pragma once

#include <string_view>

namespace rn::bedcarve::messages {

/// Record of a fill before the raise: "step 5" i j minv height(i, j).
inline constexpr std::string_view kFillBefore = "step 5";
/// Record of the same fill after the raise: "step 6" i j minv height(i, j).
inline constexpr std::string_view kFillAfter = "step 6";

/// Text stop of a completed run (status 0).
inline constexpr std::string_view kFinish = "finish";
/// Text stop of a search that found no higher neighbour (status 1).
inline constexpr std::string_view kBigMinv = "wrong big minv for modify height";
/// Text stop of a fill height of exactly -999.0 (status 1).
inline constexpr std::string_view kSmallMinv = "wrong small minv for modify height";

/// Second record of a terrain field that cannot be read, before code stop
/// 999: kReadStop joined with the reader's message.
inline constexpr std::string_view kReadStop = "Stoped du to ";

/// Refusal of a grid without cells: kNoCells + file + kNoCellsWestEast + ix +
/// kNoCellsSouthNorth + jx + ")" (one line on the error stream, status 1).
inline constexpr std::string_view kNoCells = "Error: terrain grid ";
inline constexpr std::string_view kNoCellsWestEast = " has no cells (west_east ";
inline constexpr std::string_view kNoCellsSouthNorth = ", south_north ";
/// Refusal of a grid that needs more memory than the machine has:
/// kTooLarge + cells + kTooLargeNeeds + GiB needed + kTooLargeHas + GiB
/// usable + kTooLargeEnd (one line on the error stream, status 1).
inline constexpr std::string_view kTooLarge = "Error: terrain grid of ";
inline constexpr std::string_view kTooLargeNeeds = " cells is too large: it needs about ";
inline constexpr std::string_view kTooLargeHas = " GiB of memory, ";
inline constexpr std::string_view kTooLargeEnd = " GiB usable here";

/// Added to the reason of the failure-place line when a netCDF file lacks
/// the grid's dimensions or variables but holds exactly one grid:
/// reason + kSingleGrid + "name(dim, dim)" + kTryDem.  (The records and the
/// stop before and after it are those of any such failure.)
inline constexpr std::string_view kSingleGrid = " (the file holds one grid, ";
inline constexpr std::string_view kTryDem = ": bedcarve --dem reads it as a DEM)";

/// Record of a raster input, after the "ixrt = " record: kReadingRaster +
/// file name.
inline constexpr std::string_view kReadingRaster = " reading raster band 1 of ";

/// Refusals of a raster input or output (one line on the error stream,
/// status 1): kRasterUnreadable + file + ": " + reason, and so on.
inline constexpr std::string_view kRasterUnreadable = "Error: cannot read raster ";
inline constexpr std::string_view kRasterSeveral = " holds several rasters; name one of them: ";
inline constexpr std::string_view kRasterNoBand = " holds no raster band";
inline constexpr std::string_view kRasterType = ": band 1 holds values that are not real numbers (";
inline constexpr std::string_view kRasterTooWide = ": more than 2147483647 columns or rows";
inline constexpr std::string_view kRasterUnwritable = "Error: cannot write output file ";

/// The option that reads a netCDF input as a raster DEM.
inline constexpr std::string_view kDemOption = "--dem";

}  // namespace rn::bedcarve::messages
