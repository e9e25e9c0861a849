// Missing values of a netCDF variable, as the file that holds it declares
// them.
//
// A stored value is missing when
//   * it equals the variable's `_FillValue` or one of the values of its
//     `missing_value` attribute, or, when the variable has neither
//     attribute, the library's default fill value of its storage type;
//   * or it is a NaN (real storage types).
// Values are compared in the variable's own storage type, before any
// scaling: integers exactly, reals bit for bit.  So an integer fill of
// -999900 beside a `scale_factor` of 0.01 matches the stored -999900 and no
// neighbour (a 32-bit integer read as a 32-bit real would round, and
// -2147483647, the default integer fill, would then also match its
// neighbours).  An attribute value of another type than the variable
// counts when the storage type holds it exactly; one that it cannot hold
// matches nothing.  Text variables hold no numbers and no missing values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace rn {

class NcFile;

/// Sets `missing[i]` to 1 when value i of variable `varid` (file order) is
/// missing, else to 0, and `count` to the number of missing values.
/// `missing` must hold exactly the variable's element count (else
/// kCountMismatch, nothing marked).  Returns the library status of the
/// stored values' read.  Cost: one read of the variable as stored (its
/// element count times its type's size in memory) and a pass over it.
int find_missing(const NcFile& nc, int varid, std::span<std::uint8_t> missing,
                 std::size_t& count);

/// `find_missing` and the values read as 32-bit reals from one read of the
/// stored values: `reals` holds, bit for bit, what the library's own read
/// as 32-bit reals gives (for integer and float storage the plain
/// conversion; a double variable, which the library range-checks, is read
/// a second time through the library).  `reals` and `missing` must both
/// hold exactly the variable's element count (else kCountMismatch).
/// Returns the library status of the read (the library's status for a
/// variable that holds no numbers, whose values it cannot give as reals).
/// Cost: one read of the variable as stored and a pass over it.
int read_reals_and_missing(const NcFile& nc, int varid, std::span<float> reals,
                           std::span<std::uint8_t> missing, std::size_t& count);

/// The stricter reading of a gridded field that has no room for a default
/// (a terrain's heights, where a NaN is a fault of the grid): only the
/// values that `_FillValue` and `missing_value` declare are missing, and a
/// NaN only when one of them is a NaN.  Calls `mark(k)` for the position k
/// (file order) of every such value and sets `declared` to whether the
/// variable declares any; a variable without either attribute is not read.
/// Same comparison in the storage type as above.  A gridded variable (every
/// dimension before the last two of length 1) is read in blocks of rows of
/// a few megabytes, so that the stored copy costs no memory beside the
/// caller's field; any other shape is read whole.  Returns the library
/// status of the reads.
int find_declared_missing(const NcFile& nc, int varid,
                          const std::function<void(std::size_t)>& mark, bool& declared);

}  // namespace rn
