// The mapping builder's own readers of gridded files: the dimension pair of
// a grid (child `x`/`y`, parent `west_east`/`south_north`), the outer ring of
// a child routing-grid variable, and the first cell of a parent geo field.
//
// Failures write their records on standard output and end the run (text
// stops, exit status 1).  Messages of the 2-D readers:
//   file cannot be opened       text stop "failed to read the integer "
//   variable not found          records "failed to read the variabe: " + name
//                               and "failed to read the netcdf file: " + file,
//                               then for reals the text stop " error reading
//                               variable , nf_get_var_real", for integers the
//                               read-failure end naming file and variable
//   variable holds another      the shared count-mismatch end (file, variable,
//     number of values than       both counts)
//     the grid
//   read fails                  the record "Error: failed to read variable
//                               <name> in <file>: <library text>", then for
//                               reals the text stop above, for integers the
//                               shared read-failure stop
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "state.hpp"

namespace rn::linkweaver {

/// Which dimension pair a grid file names, and the record written when the
/// file cannot be opened.
struct GridDimensionNames {
  std::string_view reader;       ///< routine name for the too-long message
  std::string_view open_record;  ///< joined with the file path
  std::string_view columns;      ///< dimension of the columns
  std::string_view rows;         ///< dimension of the rows
};

/// Child routing grid: `x` and `y` (`read_child_dimensions`).
extern const GridDimensionNames kChildDimensions;
/// Parent geo file: `west_east` and `south_north` (`read_geo_dimensions`).
extern const GridDimensionNames kGeoDimensions;

/// Lengths of the column and row dimensions of a grid file.  A missing
/// dimension or a failed length read ends the run with the texts of the
/// dimension readers; a length beyond a 32-bit integer is refused.
void read_grid_dimensions(const GridDimensionNames& names, std::string_view file,
                          std::int32_t& columns, std::int32_t& rows);

/// Reads the ring cells of a child grid variable stored north to south
///: `values[ring.index(i, j)]` receives cell
/// (i, j) with j counted from the south, i.e. file row `jxrt` - j + 1.
/// `values` is sized to `ring.size()` elements once the variable is known to
/// hold the grid's number of values.
void read_ring(std::string_view file, std::string_view var, const Ring& ring,
               std::vector<std::int32_t>& values);
void read_ring(std::string_view file, std::string_view var, const Ring& ring,
               std::vector<float>& values);

/// Value of cell (1, 1), the first stored, of a real field that holds
/// `ix` * `jx` values.
float read_first_real(std::string_view file, std::string_view var, std::int32_t ix,
                      std::int32_t jx);

}  // namespace rn::linkweaver
