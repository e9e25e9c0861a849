// Where the data of each variable of a classic-format netCDF file ends, read
// from the file's own header.
//
// The library reads the classic formats (CDF-1, CDF-2 and CDF-5) by seeking
// to each variable's offset, and a read past the end of the file yields
// zeros without any error: a file cut short by a full disk or an
// interrupted copy would be read as valid data.  Comparing the byte where a
// variable's data ends with the file's length tells the missing data apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rn {

/// The byte just past the data of every variable (indexed by variable id)
/// of the classic-format file `path`: for a fixed-size variable its offset
/// plus its size, for a record variable the end of its part of the last
/// record (its offset when there are no records).  Sizes come from the
/// shapes, not from the header's own size fields, which the format lets
/// overflow.  Empty when the file is not of a classic format, its header
/// cannot be read whole, or its number of records is left to the reader
/// (streaming).
std::optional<std::vector<std::uint64_t>> classic_variable_ends(const std::string& path);

}  // namespace rn
