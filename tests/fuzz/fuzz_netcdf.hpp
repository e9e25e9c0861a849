// Structure-aware netCDF inputs for the fuzz targets of the programs' input
// paths.  A target describes the file its readers expect (dimensions,
// variables, attributes, as the sample basin writes it, with small
// lengths); the fuzzer's bytes then choose the on-disk format and a few
// edits of that description (a dimension's length, a variable's type, name
// or dimensions, an attribute added or changed, a variable dropped, values
// such as NaN, infinities and out-of-range numbers), the file is written
// through the library, and at times a few bytes of its header are changed
// afterwards, the way a damaged disk block changes them.  An empty input
// gives the described file in the classic format, so seeds start sound.
// Built with RN_FUZZ_NETCDF4, the bytes choose between the two netCDF-4
// formats only (the fuzz_nc4_* targets); otherwise between the classic,
// 64-bit offset and 64-bit data formats.
#pragma once

#include <netcdf.h>

#include <cstddef>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "nc_input_check.hpp"

namespace rn::fuzz {

struct DimLayout {
  const char* name;
  std::size_t length;  ///< 0: the unlimited (record) dimension
};

struct AttLayout {
  const char* name;
  nc_type type;
  double value;
};

struct VarLayout {
  const char* name;
  nc_type type;
  std::vector<int> dims;  ///< indices into FileLayout::dims
  std::vector<AttLayout> atts = {};
};

struct FileLayout {
  std::vector<DimLayout> dims;
  std::vector<VarLayout> vars;
  std::vector<AttLayout> global_atts = {};
  std::size_t records = 2;  ///< records written when a dimension is unlimited
};

/// The parent channel output by channel cell (cellfeed and the globe
/// exporters read it).
extern const FileLayout kChannelPoints;

/// Writes the file that `layout` and the bytes of `in` describe at `path`
/// (replacing it).  A description the library cannot store in the chosen
/// format loses the parts it refuses.
void write_fuzzed_file(const FileLayout& layout, Bytes& in, const std::string& path);

/// Runs a program's input path on the files written: like `run_input`,
/// except that a program end with status 0 (a program that stops when its
/// work is done) is a complete run.
template <typename Body>
void run_program_input(Body&& body) {
  // Every input writes new files: a verdict kept from an earlier input never
  // applies, and one kept would look like a leak to the fuzzer.
  forget_input_verdicts();
  run_input([&] {
    try {
      body();
    } catch (const ProgramEnd& end) {
      if (end.status != 0) throw;
    }
  });
}

/// Writes `text` to the file `path` (replacing it).
void write_text(const std::string& path, const std::string& text);

/// A fresh folder (on /dev/shm when there is one), made the current folder
/// at the first call and removed when the fuzzer ends.
const std::string& work_dir();

}  // namespace rn::fuzz
