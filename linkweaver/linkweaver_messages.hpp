// Every text that linkweaver writes on standard output or the error stream,
// in one table.
//
// FIXED OUTPUT: scripts that chain the programs match these texts.  Do not
// change a byte (blanks, spelling and the routine names inside them
// included), whatever the code that writes them is called today.  Pieces
// of composed messages are named ...Head / ...Mid / ...Tail in the order
// they are joined.
#pragma once

namespace rn::linkweaver::msg {

// ---- configuration (configuration.cpp)
inline constexpr char kUnrecognizedProjection[] = "Unrecognized project:  ";
inline constexpr char kDxkmRecord[] = "dxkm = ";
inline constexpr char kDxkmStop[] =
    "In readnamelist() - dxkm must be a positive, finite parent grid spacing in km";
// Warning on the error stream when the parent geo file states another
// spacing: head + dxkm + differs + file + of + (DX = v m (km km) | DX_KM =
// v km) + tail.
inline constexpr char kSpacingHead[] = "Warning: dxkm = ";
inline constexpr char kSpacingDiffers[] =
    " km in namelist.nesting differs by more than 0.1 % from the grid spacing of ";
inline constexpr char kSpacingOf[] = ", ";
inline constexpr char kSpacingDx[] = "DX = ";
inline constexpr char kSpacingMetres[] = " m (";
inline constexpr char kSpacingKmClose[] = " km)";
inline constexpr char kSpacingDxKm[] = "DX_KM = ";
inline constexpr char kSpacingKm[] = " km";
inline constexpr char kSpacingTail[] = "; the mapping uses dxkm";

// ---- child routing grid (child_grid.cpp)
inline constexpr char kChildSize[] = "ixrt, jxrt";
inline constexpr char kNoChildCells[] = "In init_child() - the child routing grid has no cells";
inline constexpr char kTooManyPerimeterCells[] =
    "In init_child() - the child routing grid has too many perimeter cells";
inline constexpr char kCornerHead[] = "In init_child() - corner cell (";
inline constexpr char kCornerMid[] = ", ";
inline constexpr char kCornerTail[] = ") of the child grid has no place on the parent grid";
inline constexpr char kWindowColumns[] = "istart, iend ";
inline constexpr char kWindowRows[] = "jstart, jend ";
inline constexpr char kNodeCount[] = "child%nodeNum = ";

// ---- routine names that the shared reader ends put into their messages
// ---- ("In <name>() - ...")
inline constexpr char kChildDimensionReader[] = "get_file_dimension";
inline constexpr char kGeoDimensionReader[] = "get_geo_dimension";
inline constexpr char kRealGridReader[] = "get2d_real";
inline constexpr char kIntGridReader[] = "get2d_int";
inline constexpr char kLinkReader[] = "read_p_link";
inline constexpr char kOverlapReader[] = "get_dimensionNHD";

// ---- grid readers (grid_readers.cpp)
inline constexpr char kChildOpenRecord[] = "Error in reading file : ";
inline constexpr char kGeoOpenRecord[] = "failed to open";
inline constexpr char kGridOpenStop[] = "In get_file_dimension() - Problem opening file";
inline constexpr char kColumnsLookupStop[] =
    "In get_file_dimension() - nf_inq_dimid: west_east problem";
inline constexpr char kColumnsLengthStop[] =
    "In get_file_dimension() - nf_inq_dimlen: west_east problem";
inline constexpr char kRowsLookupStop[] =
    "In get_file_dimension() - nf_inq_dimid: south_north problem.";
inline constexpr char kRowsLengthStop[] =
    "In get_file_dimension() - nf_inq_dimlen: south_north problem";
inline constexpr char kRealReadStop[] = " error reading variable , nf_get_var_real";
inline constexpr char kFieldOpenStop[] = "failed to read the integer ";
inline constexpr char kVariableNotFound[] = "failed to read the variabe: ";
inline constexpr char kFileOfVariable[] = "failed to read the netcdf file: ";
inline constexpr char kReadFailureHead[] = "Error: failed to read variable ";
inline constexpr char kNoValuesHead[] = "Error: variable ";
inline constexpr char kIn[] = " in ";
inline constexpr char kReason[] = ": ";
inline constexpr char kNoValuesTail[] = " holds no values";
inline constexpr char kNoValuesReason[] = "holds no values";

// ---- parent network (parent_network.cpp)
inline constexpr char kLinkOpenStop[] = "read_p_link- Problem opening mapping";
inline constexpr char kLinkDimRecord[] = "nf_inq_dimid:  linkDim";
inline constexpr char kLinkLengthStop[] = "In read_p_link - nf_inq_dimid";
inline constexpr char kLinkCount[] = " check read in plink%nlinks = ";
inline constexpr char kIdNotMatched[] = "Warning: id not matched. ";
inline constexpr char kUnmatchedId[] = "input Id from mapping file is ";
inline constexpr char kOverlapDimRecord[] = "nf_inq_dimid:  ";
inline constexpr char kOverlapLengthStop[] = "In get_dimensionNDH() - nf_inq_dimlen:  ";
inline constexpr char kOverlapOpenStop[] = "In get_dimensionNDH() - Problem opening mapping";
inline constexpr char kPolyidStop[] = "In get_dimension() - nf_inq_dimid:  polyid";
inline constexpr char kDataStop[] = "In get_file_dimension() - nf_inq_dimid:  data";
inline constexpr char kGeoSize[] = "ix, jx ";
inline constexpr char kAnchor[] = "lat0 , lon0 ";
inline constexpr char kAnchorHead[] = "In get_geo_latlon0() - cell (1, 1) of ";
inline constexpr char kAnchorTail[] = " has no valid latitude and longitude";

// ---- perimeter (perimeter.cpp): a cell outside the parent window has no
// ---- text; the entry ends the run with code stop 999.

// ---- slot lists (slot_lists.cpp)
inline constexpr char kNegativeCountHead[] = "In mapping() - polygon ";
inline constexpr char kNegativeCountMid[] = " of ";
inline constexpr char kNegativeCountTail[] = " has a negative overlaps count: ";
inline constexpr char kOverlapTotalHead[] = "In mapping() - the overlaps of ";
inline constexpr char kOverlapTotalMid[] = " add up to ";
inline constexpr char kOverlapTotalTail[] = " records, more than its ";
inline constexpr char kTooManyPairs[] = "In mapping() - more link pairs than a 32-bit count holds";
inline constexpr char kSlotsFull[] = "in pushToArray: size of 20 is too small. ";
inline constexpr char kBeforeOverlap[] = "before, call get_dimensionNHD ";
inline constexpr char kOverlapSize[] = "ndata, npid =";

// ---- entries (entries.cpp)
inline constexpr char kOrderMismatch[] = "Warning: order does not match. Search neighbour grids.";
inline constexpr char kNoNeighbourMatch[] =
    "Warning: order does not match from neighbour grids. river node is ";
inline constexpr char kNodeK[] = "k=";
inline constexpr char kNodeI[] = " i=";
inline constexpr char kNodeJ[] = " j=";
inline constexpr char kNodeOrder[] = "order=";

// ---- mapping file (mapping_file.cpp)
inline constexpr char kDefined[] = " finish define nectdf variables.";
inline constexpr char kCreate[] = " create mapping.nc";
inline constexpr char kEntryCount[] = "ndata = ";
inline constexpr char kNodeNumber[] = "node=";
inline constexpr char kPerimeterCount[] = "inter%gridNum=";

}  // namespace rn::linkweaver::msg
