#include "nc_readers.hpp"

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "file_names.hpp"
#include "missing_values.hpp"
#include "nc_file.hpp"
#include "program_end.hpp"
#include "terrain_readers.hpp"
#include "text_record.hpp"

namespace rn {

namespace {

// Width of the library's error text in the "Error: " record.
constexpr std::size_t kErrorTextWidth = 80;

// Message texts of one module reader.
struct ReaderTexts {
  std::string_view name;         // routine name, for the messages of failed reads and closes
  std::string_view open_record;  // record before the open-failure stop, joined with the file name
  std::string_view open_stop;
  std::string_view find_stop;
};

constexpr std::string_view kIntOpenRecord = "FATAL ERROR: Failed to open the netcdf file: ";
constexpr std::string_view kRealOpenRecord = "failed to open the netcdf file: ";
constexpr std::string_view kRealOpenStop = "In get1d_real8() - failed to open the netcdf file.";
constexpr std::string_view kRealFindStop = "In get1d_real8() - failed to read netcdf varialbe name. ";

constexpr ReaderTexts kGet1dInt{"get1d_int", kIntOpenRecord,
                                "In get1d_int() -  Failed to open the netcdf file",
                                "In get1d_int() - failed to read netcdf variable name."};
constexpr ReaderTexts kGet2dInt{"get2d_int", kIntOpenRecord,
                                "In get2d_int() -  Failed to open the netcdf file",
                                "In get2d_int() - failed to read netcdf variable name."};
constexpr ReaderTexts kGet1dReal{"get1d_real", kRealOpenRecord, kRealOpenStop, kRealFindStop};
constexpr ReaderTexts kGet1dReal8{"get1d_real8", kRealOpenRecord, kRealOpenStop, kRealFindStop};
constexpr ReaderTexts kGetVarAttReal{"getvarattreal", kRealOpenRecord, kRealOpenStop,
                                     kRealFindStop};

constexpr std::string_view kDimensionOpenStop = "In get_file_dimension() - Problem opening file";
constexpr std::string_view kDimensionFindStop = "In get_file_dimension() - nf_inq_dimid: ";
constexpr std::string_view kDimensionLengthStop = "In get_file_dimension() - nf_inq_dimlen:m";
// Tail of the failure place of a length beyond a 32-bit count.
constexpr char kBeyond32Bits[] = ", more than a 32-bit integer holds";

[[noreturn]] void reader_stop(std::string_view reader, std::string_view what) {
  text_stop("In " + std::string(reader) + "() - " + std::string(what));
}

// An open file with the variable found in it.
struct OpenVariable {
  NcFile nc;
  int varid = -1;
};

// Open and lookup steps of a module reader, with its messages and stops.
OpenVariable open_variable(const ReaderTexts& texts, const std::string& file,
                           const std::string& var) {
  OpenVariable v;
  if (const int status = v.nc.open(file); status != NC_NOERR) {
    note_failure_place(file, {}, nc_error_text(status));
    out().record(texts.open_record, file);
    text_stop(texts.open_stop);
  }
  if (const int status = v.nc.var_id(var, v.varid); status != NC_NOERR) {
    note_failure_place(file, var, nc_error_text(status));
    out().record("Read Variable Error file: ", file);
    out().record("Read Error: could not find ", var);
    text_stop(texts.find_stop);
  }
  return v;
}

void close_checked(std::string_view reader, NcFile& nc, const std::string& file) {
  const int status = nc.close();
  if (status != NC_NOERR) stop_close_failure(reader, file, status);
}

// A module data reader.
// Contract: opens `file` read-only, finds `var`, checks that it holds exactly
// `values.size()` values, reads it whole in the element type of `values`,
// closes the file.  Every failure writes its records and ends the program;
// on return `values` holds the variable in file order.  Cost: one open, a
// few inquiries, one whole-variable read.
// With a vector, it is sized to `count` only after the check, so that a
// dimension that the variable does not use costs no memory.
template <typename T>
void read_variable(const ReaderTexts& texts, std::string_view file_name,
                   std::string_view var_name, std::size_t count,
                   const std::function<std::span<T>()>& storage) {
  const std::string file = trim_name(file_name);
  const std::string var = trim_name(var_name);
  OpenVariable v = open_variable(texts, file, var);
  require_count(texts.name, v.nc, v.varid, file, var, count);
  const int status = v.nc.read(v.varid, storage());
  if (status != NC_NOERR) stop_read_failure(texts.name, file, var, status);
  close_checked(texts.name, v.nc, file);
}

template <typename T>
void read_variable(const ReaderTexts& texts, std::string_view file, std::string_view var,
                   std::span<T> values) {
  read_variable<T>(texts, file, var, values.size(), [values] { return values; });
}

template <typename T>
void read_variable(const ReaderTexts& texts, std::string_view file, std::string_view var,
                   std::vector<T>& values, std::size_t count) {
  read_variable<T>(texts, file, var, count, [&values, count] {
    values.assign(count, T{});
    return std::span<T>(values);
  });
}

}  // namespace

void handle_err(int status) {
  std::string text = nc_error_text(status);
  text.resize(kErrorTextWidth, ' ');
  out().record("Error: ", text);
  code_stop(2);
}

void stop_count_mismatch(std::string_view reader, std::string_view file, std::string_view var,
                         std::size_t count, std::size_t expected) {
  note_failure_place(file, var,
                     "holds " + std::to_string(count) + " values, " + std::to_string(expected) +
                         " expected");
  out().record("Error: variable ", var, " in ", file, " holds ", std::to_string(count),
               " values, the array holds ", std::to_string(expected));
  reader_stop(reader, "variable size does not match the array");
}

void stop_read_failure(std::string_view reader, std::string_view file, std::string_view var,
                       int status) {
  note_failure_place(file, var, nc_error_text(status));
  out().record("Error: failed to read variable ", var, " in ", file, ": ", nc_error_text(status));
  reader_stop(reader, "failed to read the netcdf variable");
}

void stop_close_failure(std::string_view reader, std::string_view file, int status) {
  note_failure_place(file, {}, nc_error_text(status));
  out().record("Error: failed to close the netcdf file ", file, ": ", nc_error_text(status));
  reader_stop(reader, "failed to close the netcdf file");
}

void stop_long_dimension(std::string_view reader, std::string_view file, std::string_view dim,
                         std::size_t length) {
  note_failure_place(file, dim, "length " + std::to_string(length) + kBeyond32Bits);
  out().record("Error: dimension ", dim, " in ", file, " has length ", std::to_string(length),
               ", more than a 32-bit integer holds");
  reader_stop(reader, "dimension too long");
}

void stop_long_variable(std::string_view reader, std::string_view file, std::string_view var,
                        std::size_t count) {
  note_failure_place(file, var, "holds " + std::to_string(count) + " values" + kBeyond32Bits);
  out().record("Error: variable ", var, " in ", file, " holds ", std::to_string(count),
               " values, more than a 32-bit integer holds");
  reader_stop(reader, "variable too long");
}

void require_count(std::string_view reader, const NcFile& nc, int varid, std::string_view file,
                   std::string_view var, std::size_t expected) {
  std::size_t count = 0;
  const int status = nc.var_count(varid, count);
  if (status != NC_NOERR) stop_read_failure(reader, file, var, status);
  if (count != expected) stop_count_mismatch(reader, file, var, count, expected);
}

std::int32_t int32_length(std::string_view reader, std::string_view file, std::string_view dim,
                          std::size_t length) {
  if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    stop_long_dimension(reader, file, dim, length);
  }
  return static_cast<std::int32_t>(length);
}

void ModuleReaders::get1d_int(std::string_view file, std::string_view var,
                              std::span<std::int32_t> values) const {
  read_variable(kGet1dInt, file, var, values);
}

void ModuleReaders::get1d_real(std::string_view file, std::string_view var,
                               std::span<float> values) const {
  read_variable(kGet1dReal, file, var, values);
}

void ModuleReaders::get1d_real8(std::string_view file, std::string_view var,
                                std::span<double> values) const {
  read_variable(kGet1dReal8, file, var, values);
}

void ModuleReaders::get1d_int(std::string_view file, std::string_view var,
                              std::vector<std::int32_t>& values, std::size_t count) const {
  read_variable(kGet1dInt, file, var, values, count);
}

void ModuleReaders::get1d_real(std::string_view file, std::string_view var,
                               std::vector<float>& values, std::size_t count) const {
  read_variable(kGet1dReal, file, var, values, count);
}

void ModuleReaders::get1d_real8(std::string_view file, std::string_view var,
                                std::vector<double>& values, std::size_t count) const {
  read_variable(kGet1dReal8, file, var, values, count);
}

void ModuleReaders::get2d_int(std::string_view file, std::string_view var,
                              std::span<std::int32_t> values) const {
  read_variable(kGet2dInt, file, var, values);
}

std::size_t ModuleReaders::get1d_real_and_missing(std::string_view file_name,
                                                  std::string_view var_name,
                                                  std::vector<float>& values,
                                                  std::vector<std::uint8_t>& missing,
                                                  std::size_t count) const {
  const std::string file = trim_name(file_name);
  const std::string var = trim_name(var_name);
  OpenVariable v = open_variable(kGet1dReal, file, var);
  require_count(kGet1dReal.name, v.nc, v.varid, file, var, count);
  values.assign(count, 0.0f);
  missing.assign(count, 0);
  std::size_t missing_count = 0;
  const int status = read_reals_and_missing(v.nc, v.varid, values, missing, missing_count);
  if (status != NC_NOERR) stop_read_failure(kGet1dReal.name, file, var, status);
  close_checked(kGet1dReal.name, v.nc, file);
  return missing_count;
}

bool ModuleReaders::getvarattreal(std::string_view file_name, std::string_view var_name,
                                  std::string_view att_name, float& result) const {
  const std::string file = trim_name(file_name);
  const std::string var = trim_name(var_name);
  OpenVariable v = open_variable(kGetVarAttReal, file, var);
  const int status = v.nc.var_att_real(v.varid, trim_name(att_name), result);
  // A missing attribute is not an error: the caller keeps its own value.
  if (status != NC_NOERR && status != NC_ENOTATT) {
    stop_read_failure(kGetVarAttReal.name, file, var + ":" + trim_name(att_name), status);
  }
  close_checked(kGetVarAttReal.name, v.nc, file);
  return status == NC_NOERR;
}

namespace {

// `get_file_dimension` in its three forms, and the point-extraction
// program's `get_file_dimension0`.
// Contract: opens the file, finds the dimension (in the "size" fallback form
// the dimension "size" when `dim` is absent), stores its length and returns
// true.  An absent dimension ends the program unless `absent_ok`, when the
// file is closed, false returned and `length` left untouched.  Other
// failures write their records and end the program.  Cost: one open and two
// inquiries.
bool file_dimension(DimensionForm form, std::string_view file_name, std::string_view dim_name,
                    bool absent_ok, std::int32_t& length) {
  const std::string file = trim_name(file_name);
  const std::string dim = trim_name(dim_name);
  NcFile nc;
  if (const int status = nc.open(file); status != NC_NOERR) {
    note_failure_place(file, {}, nc_error_text(status));
    if (form != DimensionForm::plain) out().record(" file= ", file);
    text_stop(kDimensionOpenStop);
  }
  int dimid = -1;
  std::string found = dim;
  if (const int status = nc.dim_id(dim, dimid); status != NC_NOERR) {
    found = "size";
    if (form != DimensionForm::size_fallback || nc.dim_id(found, dimid) != NC_NOERR) {
      if (!absent_ok) {
        note_failure_place(file, dim, nc_error_text(status));
        text_stop(kDimensionFindStop);
      }
      close_checked("get_file_dimension", nc, file);
      return false;
    }
  }
  std::size_t stored = 0;
  if (const int status = nc.dim_length(dimid, stored); status != NC_NOERR) {
    note_failure_place(file, found, nc_error_text(status));
    text_stop(kDimensionLengthStop);
  }
  const std::int32_t result = int32_length("get_file_dimension", file, found, stored);
  close_checked("get_file_dimension", nc, file);
  length = result;
  return true;
}

}  // namespace

std::int32_t ModuleReaders::get_file_dimension(std::string_view file,
                                               std::string_view dim) const {
  std::int32_t length = 0;
  file_dimension(form_, file, dim, false, length);
  return length;
}

namespace site_readers {

void get_file_dimension0(std::string_view file, std::string_view dim, std::int32_t& length,
                         std::int32_t& found) {
  found = file_dimension(DimensionForm::plain, file, dim, true, length) ? 1 : -1;
}

}  // namespace site_readers

}  // namespace rn
