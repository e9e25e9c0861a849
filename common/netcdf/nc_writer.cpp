#include "nc_writer.hpp"

#include <netcdf.h>

#include <cerrno>
#include <string>

#include "nc_file.hpp"
#include "nc_readers.hpp"
#include "program_end.hpp"

namespace rn {

namespace {

// The create failure of the nesting and mapping outputs: the naming line on
// the error stream, then the library-error report of the system's text.
[[noreturn]] void end_as_library_error(std::string_view line, int errno_value) {
  note_failure_line(line);
  handle_err(errno_value);
}

int put_all(int ncid, int varid, const std::int32_t* p) { return nc_put_var_int(ncid, varid, p); }
int put_all(int ncid, int varid, const float* p) { return nc_put_var_float(ncid, varid, p); }
int put_all(int ncid, int varid, const double* p) { return nc_put_var_double(ncid, varid, p); }
int put_all(int ncid, int varid, const char* p) { return nc_put_var_text(ncid, varid, p); }

int put_slab_values(int ncid, int varid, const std::size_t* start, const std::size_t* count,
                    const float* p) {
  return nc_put_vara_float(ncid, varid, start, count, p);
}
int put_slab_values(int ncid, int varid, const std::size_t* start, const std::size_t* count,
                    const std::int32_t* p) {
  return nc_put_vara_int(ncid, varid, start, count, p);
}
int put_slab_values(int ncid, int varid, const std::size_t* start, const std::size_t* count,
                    const double* p) {
  return nc_put_vara_double(ncid, varid, start, count, p);
}

nc_type external_type(NcVarType type) {
  switch (type) {
    case NcVarType::int32: return NC_INT;
    case NcVarType::real32: return NC_FLOAT;
    case NcVarType::real64: return NC_DOUBLE;
    case NcVarType::text: return NC_CHAR;
  }
  return NC_NAT;
}

}  // namespace

NcWriter::NcWriter(std::string_view path) : NcWriter(path, kIoChunkBytes) {}

NcWriter::NcWriter(std::string_view path, std::size_t io_chunk_bytes,
                   CreateFailure on_create_failure, NcFormat format)
    : output_(path,
              on_create_failure == CreateFailure::library_error ? end_as_library_error : nullptr,
              // The netCDF-4 storage layer cannot create a file through the
              // unnamed file's /proc name; it writes under a named temporary.
              format == NcFormat::netcdf4 ? Temporary::named : Temporary::unnamed_where_possible) {
  // The library creates the file by name, over the temporary itself.
  const std::string temporary = output_.path_for_writer();
  int id = -1;
  std::size_t chunk = io_chunk_bytes;
  int mode = NC_CLOBBER;
  if (format == NcFormat::offset64) mode |= NC_64BIT_OFFSET;
  if (format == NcFormat::data64) mode |= NC_64BIT_DATA;
  if (format == NcFormat::netcdf4) mode |= NC_NETCDF4;
  check(nc__create(temporary.c_str(), mode, 0, &chunk, &id));
  ncid_ = id;
  // Every variable of a classic-family file is written whole, so pre-filling would
  // only write the data area twice.  A netCDF-4 file keeps the library's
  // fill: a chunk never written costs nothing and reads as the variable's
  // fill value, and a chunk written whole is not pre-filled.
  if (format != NcFormat::netcdf4) {
    int previous = 0;
    check(nc_set_fill(ncid_, NC_NOFILL, &previous));
  }
}

void NcWriter::check(int status) const {
  if (status == NC_NOERR) return;
  note_failure_place(target(), {}, nc_error_text(status));
  handle_err(status);
}

NcWriter::~NcWriter() {
  // An unfinished file: the library closes it (deleting a file still in
  // define mode), then the temporary's owner removes whatever is left.
  if (ncid_ >= 0) nc_abort(ncid_);
}

int NcWriter::def_dim(std::string_view name, std::size_t length) {
  int id = -1;
  check(nc_def_dim(ncid_, std::string(name).c_str(), length == 0 ? NC_UNLIMITED : length, &id));
  if (static_cast<std::size_t>(id) >= dim_lengths_.size()) dim_lengths_.resize(id + 1, 0);
  dim_lengths_[id] = length;
  return id;
}

int NcWriter::def_var(std::string_view name, NcVarType type, std::initializer_list<int> dimids) {
  return def_var(name, type, std::span<const int>(dimids.begin(), dimids.size()));
}

int NcWriter::def_var(std::string_view name, NcVarType type, std::span<const int> dimids) {
  int id = -1;
  const nc_type t = external_type(type);
  check(nc_def_var(ncid_, std::string(name).c_str(), t, static_cast<int>(dimids.size()),
                   dimids.data(), &id));
  // The library has accepted the dimension ids, so they index dim_lengths_.
  std::vector<std::size_t> lengths;
  for (int d : dimids) lengths.push_back(dim_lengths_[d]);
  std::size_t count = 0;
  if (!checked_count(lengths, count)) {
    fail("Error: variable " + std::string(name) + " of " + target() + " is too large");
  }
  if (static_cast<std::size_t>(id) >= var_counts_.size()) {
    var_counts_.resize(id + 1, 0);
    written_.resize(id + 1, false);
  }
  var_counts_[id] = count;  // 0 for a variable of the unlimited dimension
  return id;
}

void NcWriter::put_att(int varid, std::string_view name, std::string_view text) {
  check(nc_put_att_text(ncid_, varid, std::string(name).c_str(), text.size(), text.data()));
}
void NcWriter::put_att(int varid, std::string_view name, float value) {
  check(nc_put_att_float(ncid_, varid, std::string(name).c_str(), NC_FLOAT, 1, &value));
}
void NcWriter::put_att(int varid, std::string_view name, double value) {
  check(nc_put_att_double(ncid_, varid, std::string(name).c_str(), NC_DOUBLE, 1, &value));
}
void NcWriter::put_att(int varid, std::string_view name, std::int32_t value) {
  check(nc_put_att_int(ncid_, varid, std::string(name).c_str(), NC_INT, 1, &value));
}

void NcWriter::def_chunking(int varid, std::span<const std::size_t> chunk) {
  check(nc_def_var_chunking(ncid_, varid, NC_CHUNKED, chunk.data()));
}

void NcWriter::enddef() { check(nc_enddef(ncid_)); }

// Contract: writes all values of variable `varid`, which must have been
// defined here and hold exactly `values.size()` values (none for a variable
// of the unlimited dimension); a failing library call ends the program
// through handle_err.  Cost: one library write.
template <typename T>
void NcWriter::put_values(int varid, std::span<const T> values) {
  if (varid < 0 || static_cast<std::size_t>(varid) >= var_counts_.size()) check(NC_ENOTVAR);
  const std::size_t expected = var_counts_[varid];
  if (values.size() != expected) {
    char name[NC_MAX_NAME + 1] = {};
    nc_inq_varname(ncid_, varid, name);
    fail("Error: variable " + std::string(name) + " of " + target() + " takes " +
         std::to_string(expected) + " values, " + std::to_string(values.size()) + " given");
  }
  if (expected > 0) check(put_all(ncid_, varid, values.data()));
  written_[varid] = true;
}

void NcWriter::put(int varid, std::span<const std::int32_t> values) { put_values(varid, values); }
void NcWriter::put(int varid, std::span<const float> values) { put_values(varid, values); }
void NcWriter::put(int varid, std::span<const double> values) { put_values(varid, values); }
void NcWriter::put(int varid, std::span<const char> values) { put_values(varid, values); }

// Contract: writes the hyperslab start..start+count-1 of `varid` from
// `values`, which must hold exactly the product of `count` values (else
// the library's edge error); marks the variable written.  Cost: one library
// write.
template <typename T>
void NcWriter::put_part(int varid, std::span<const std::size_t> start,
                        std::span<const std::size_t> count, std::span<const T> values) {
  std::size_t n = 0;
  if (!checked_count(count, n) || n != values.size()) check(NC_EEDGE);
  if (n > 0) check(put_slab_values(ncid_, varid, start.data(), count.data(), values.data()));
  if (varid >= 0 && static_cast<std::size_t>(varid) < written_.size()) written_[varid] = true;
}

void NcWriter::put_slab(int varid, std::span<const std::size_t> start,
                        std::span<const std::size_t> count, std::span<const float> values) {
  put_part(varid, start, count, values);
}
void NcWriter::put_slab(int varid, std::span<const std::size_t> start,
                        std::span<const std::size_t> count, std::span<const std::int32_t> values) {
  put_part(varid, start, count, values);
}
void NcWriter::put_slab(int varid, std::span<const std::size_t> start,
                        std::span<const std::size_t> count, std::span<const double> values) {
  put_part(varid, start, count, values);
}

int NcWriter::lookup(std::string_view name) const {
  int id = -1;
  check(nc_inq_varid(ncid_, std::string(name).c_str(), &id));
  return id;
}

void NcWriter::put(std::string_view name, std::span<const std::int32_t> values) {
  put_values(lookup(name), values);
}
void NcWriter::put(std::string_view name, std::span<const float> values) {
  put_values(lookup(name), values);
}
void NcWriter::put(std::string_view name, std::span<const char> values) {
  put_values(lookup(name), values);
}

void NcWriter::commit() {
  if (ncid_ < 0) return;
  for (std::size_t id = 0; id < var_counts_.size(); ++id) {
    if (var_counts_[id] > 0 && !written_[id]) {
      char name[NC_MAX_NAME + 1] = {};
      nc_inq_varname(ncid_, static_cast<int>(id), name);
      fail("Error: variable " + std::string(name) + " of " + target() + " was not written");
    }
  }
  const int id = ncid_;
  ncid_ = -1;
  check(nc_close(id));
  output_.commit();
}

}  // namespace rn
