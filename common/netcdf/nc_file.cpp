#include "nc_file.hpp"

#include <limits>
#include <utility>

#include "nc_input_check.hpp"

namespace rn {

namespace {

// The library takes names as C strings; names are short, so one copy per
// call costs nothing next to the file access itself.
std::string c_name(std::string_view name) { return std::string(name); }

int get_all(int ncid, int varid, std::int32_t* p) { return nc_get_var_int(ncid, varid, p); }
int get_all(int ncid, int varid, float* p) { return nc_get_var_float(ncid, varid, p); }
int get_all(int ncid, int varid, double* p) { return nc_get_var_double(ncid, varid, p); }

int get_part(int ncid, int varid, const std::size_t* s, const std::size_t* c, std::int32_t* p) {
  return nc_get_vara_int(ncid, varid, s, c, p);
}
int get_part(int ncid, int varid, const std::size_t* s, const std::size_t* c, float* p) {
  return nc_get_vara_float(ncid, varid, s, c, p);
}
int get_part(int ncid, int varid, const std::size_t* s, const std::size_t* c, double* p) {
  return nc_get_vara_double(ncid, varid, s, c, p);
}
int get_part(int ncid, int varid, const std::size_t* s, const std::size_t* c, std::byte* p) {
  return nc_get_vara(ncid, varid, s, c, p);
}

}  // namespace

std::string nc_error_text(int status) {
  switch (status) {
    case kCountMismatch:
      return "Variable holds another number of values than the array";
    case kCountOverflow:
      return "Variable holds more values than memory can address";
    case kShapeMismatch:
      return "Requested part does not fit the variable's shape";
    case kTruncated:
      return "File is shorter than its header says (truncated): the variable's data are missing";
    case kRefusedInput:
      return refusal_text();
    default:
      return nc_strerror(status);
  }
}

bool checked_count(std::span<const std::size_t> lengths, std::size_t& count) {
  std::size_t n = 1;
  for (std::size_t len : lengths) {
    if (len == 0) {
      count = 0;
      return true;
    }
  }
  for (std::size_t len : lengths) {
    if (n > std::numeric_limits<std::size_t>::max() / len) return false;
    n *= len;
  }
  count = n;
  return true;
}

NcFile::~NcFile() {
  if (ncid_ >= 0) nc_close(ncid_);
}

NcFile::NcFile(NcFile&& other) noexcept
    : ncid_(std::exchange(other.ncid_, -1)),
      data_ends_(std::move(other.data_ends_)),
      file_size_(other.file_size_) {}

NcFile& NcFile::operator=(NcFile&& other) noexcept {
  if (this != &other) {
    if (ncid_ >= 0) nc_close(ncid_);
    ncid_ = std::exchange(other.ncid_, -1);
    data_ends_ = std::move(other.data_ends_);
    file_size_ = other.file_size_;
  }
  return *this;
}

int NcFile::open(const std::string& path) {
  if (ncid_ >= 0) close();
  // The library parses a header as it finds it: check it first.
  InputCheck check = check_nc_input(path);
  if (check.outcome == InputCheck::Outcome::refused) {
    report_refused_input(path, check.reason);
    return kRefusedInput;
  }
  if (check.outcome == InputCheck::Outcome::library_error) return check.library_status;
  int id = -1;
  // A buffer larger than the file would be allocated (and cleared) for
  // nothing on every open: small files get one of their own size.
  std::size_t chunk = kIoChunkBytes;
  if (check.file_bytes > 0 && check.file_bytes < chunk) {
    chunk = static_cast<std::size_t>((check.file_bytes + kIoChunkStep - 1) /
                                     kIoChunkStep * kIoChunkStep);
  }
  const int status = nc__open(path.c_str(), NC_NOWRITE, &chunk, &id);
  if (status != NC_NOERR) return status;
  ncid_ = id;
  // The library reads a classic file past its end as zeros: keep where
  // each variable's data end, to refuse reads of data that are not there
  // (the file may have been cut since it was checked).
  if (check.data_ends) {
    data_ends_ = std::move(*check.data_ends);
    file_size_ = check.file_bytes;
  }
  return NC_NOERR;
}

int NcFile::close() {
  if (ncid_ < 0) return NC_EBADID;
  data_ends_.clear();
  const int status = nc_close(std::exchange(ncid_, -1));
  return status;
}

int NcFile::check_present(int varid) const {
  if (varid < 0 || static_cast<std::size_t>(varid) >= data_ends_.size()) return NC_NOERR;
  return data_ends_[static_cast<std::size_t>(varid)] > file_size_ ? kTruncated : NC_NOERR;
}

int NcFile::dim_id(std::string_view name, int& id) const {
  return nc_inq_dimid(ncid_, c_name(name).c_str(), &id);
}

int NcFile::dim_length(int dimid, std::size_t& length) const {
  return nc_inq_dimlen(ncid_, dimid, &length);
}

int NcFile::dim_length(std::string_view name, std::size_t& length) const {
  int id = -1;
  const int status = dim_id(name, id);
  return status != NC_NOERR ? status : dim_length(id, length);
}

int NcFile::var_id(std::string_view name, int& id) const {
  return nc_inq_varid(ncid_, c_name(name).c_str(), &id);
}

bool NcFile::has_var(std::string_view name) const {
  int id = -1;
  return var_id(name, id) == NC_NOERR;
}

int NcFile::var_type(int varid, nc_type& type) const { return nc_inq_vartype(ncid_, varid, &type); }

int NcFile::var_dims(int varid, std::vector<int>& dimids) const {
  int ndims = 0;
  int status = nc_inq_varndims(ncid_, varid, &ndims);
  if (status != NC_NOERR) return status;
  dimids.assign(static_cast<std::size_t>(ndims), -1);
  return ndims == 0 ? NC_NOERR : nc_inq_vardimid(ncid_, varid, dimids.data());
}

int NcFile::var_shape(int varid, std::vector<std::size_t>& lengths) const {
  std::vector<int> dimids;
  int status = var_dims(varid, dimids);
  if (status != NC_NOERR) return status;
  lengths.assign(dimids.size(), 0);
  for (std::size_t k = 0; k < dimids.size(); ++k) {
    status = dim_length(dimids[k], lengths[k]);
    if (status != NC_NOERR) return status;
  }
  return NC_NOERR;
}

int NcFile::var_count(int varid, std::size_t& count) const {
  std::vector<std::size_t> lengths;
  const int status = var_shape(varid, lengths);
  if (status != NC_NOERR) return status;
  return checked_count(lengths, count) ? NC_NOERR : kCountOverflow;
}

// Whole-variable read.
// Contract: reads every value of `varid` into `values` in file order (last
// dimension fastest), converted by the library.  Reads nothing unless
// `values.size()` equals the variable's element count, so the caller's
// array is never overrun.  Cost: one shape inquiry plus one library read.
template <typename T>
int NcFile::read_whole(int varid, std::span<T> values) const {
  std::size_t count = 0;
  const int status = var_count(varid, count);
  if (status != NC_NOERR) return status;
  if (count != values.size()) return kCountMismatch;
  if (count == 0) return NC_NOERR;  // nothing to read; the library may refuse a null buffer
  if (const int present = check_present(varid); present != NC_NOERR) return present;
  return get_all(ncid_, varid, values.data());
}

int NcFile::read(int varid, std::span<std::int32_t> values) const { return read_whole(varid, values); }
int NcFile::read(int varid, std::span<float> values) const { return read_whole(varid, values); }
int NcFile::read(int varid, std::span<double> values) const { return read_whole(varid, values); }

int NcFile::read_stored(int varid, std::span<std::byte> bytes) const {
  std::size_t count = 0;
  int status = var_count(varid, count);
  nc_type type = NC_NAT;
  if (status == NC_NOERR) status = var_type(varid, type);
  std::size_t size = 0;
  if (status == NC_NOERR) status = nc_inq_type(ncid_, type, nullptr, &size);
  if (status != NC_NOERR) return status;
  const std::size_t sizes[] = {count, size};
  std::size_t total = 0;
  if (!checked_count(sizes, total)) return kCountOverflow;
  if (total != bytes.size()) return kCountMismatch;
  if (total == 0) return NC_NOERR;
  if (const int present = check_present(varid); present != NC_NOERR) return present;
  return nc_get_var(ncid_, varid, bytes.data());
}

// Hyperslab read.
// Contract: start and count hold one entry per dimension of the variable
// (CDL order); every start + count stays within its dimension (checked here
// without overflow, so that no request can make the library read beyond the
// variable); `values` holds exactly the product of the counts.  Cost: one
// shape inquiry plus one library read.
template <typename T>
int NcFile::read_part(int varid, std::span<const std::size_t> start,
                      std::span<const std::size_t> count, std::span<T> values,
                      std::size_t value_bytes) const {
  std::vector<std::size_t> lengths;
  const int status = var_shape(varid, lengths);
  if (status != NC_NOERR) return status;
  if (start.size() != lengths.size() || count.size() != lengths.size()) return kShapeMismatch;
  for (std::size_t k = 0; k < lengths.size(); ++k) {
    if (start[k] > lengths[k] || count[k] > lengths[k] - start[k]) return kShapeMismatch;
  }
  std::size_t n = 0;
  if (!checked_count(count, n)) return kCountOverflow;
  const std::size_t parts[] = {n, value_bytes};
  if (!checked_count(parts, n)) return kCountOverflow;
  if (n != values.size()) return kCountMismatch;
  if (n == 0) return NC_NOERR;
  if (const int present = check_present(varid); present != NC_NOERR) return present;
  return get_part(ncid_, varid, start.data(), count.data(), values.data());
}

int NcFile::read_slab(int varid, std::span<const std::size_t> start,
                      std::span<const std::size_t> count, std::span<std::int32_t> values) const {
  return read_part(varid, start, count, values);
}
int NcFile::read_slab(int varid, std::span<const std::size_t> start,
                      std::span<const std::size_t> count, std::span<float> values) const {
  return read_part(varid, start, count, values);
}
int NcFile::read_slab(int varid, std::span<const std::size_t> start,
                      std::span<const std::size_t> count, std::span<double> values) const {
  return read_part(varid, start, count, values);
}

// Row-range read of a gridded field: builds the hyperslab (0, ..., 0,
// first_row, 0) + (1, ..., 1, row_count, columns) and reads it.  Requires at
// least two dimensions and every leading one of length 1.
template <typename T>
int NcFile::read_row_range(int varid, std::size_t first_row, std::size_t row_count,
                           std::span<T> values, std::size_t value_bytes) const {
  std::vector<std::size_t> lengths;
  const int status = var_shape(varid, lengths);
  if (status != NC_NOERR) return status;
  const std::size_t rank = lengths.size();
  if (rank < 2) return kShapeMismatch;
  std::vector<std::size_t> start(rank, 0);
  std::vector<std::size_t> count(rank, 1);
  for (std::size_t k = 0; k + 2 < rank; ++k) {
    if (lengths[k] != 1) return kShapeMismatch;
  }
  start[rank - 2] = first_row;
  count[rank - 2] = row_count;
  count[rank - 1] = lengths[rank - 1];
  return read_part<T>(varid, start, count, values, value_bytes);
}

int NcFile::read_rows(int varid, std::size_t first_row, std::size_t row_count,
                      std::span<std::int32_t> values) const {
  return read_row_range(varid, first_row, row_count, values);
}
int NcFile::read_rows(int varid, std::size_t first_row, std::size_t row_count,
                      std::span<float> values) const {
  return read_row_range(varid, first_row, row_count, values);
}
int NcFile::read_stored_rows(int varid, std::size_t first_row, std::size_t row_count,
                             std::span<std::byte> bytes) const {
  nc_type type = NC_NAT;
  int status = var_type(varid, type);
  std::size_t size = 0;
  if (status == NC_NOERR) status = nc_inq_type(ncid_, type, nullptr, &size);
  if (status != NC_NOERR) return status;
  return read_row_range(varid, first_row, row_count, bytes, size);
}

// Reads the first value of a numeric attribute.  The library writes every
// value of the attribute into the buffer, so the buffer is sized from the
// attribute's length first: a multi-valued attribute never overruns `value`.
int NcFile::att_real(int varid, std::string_view name, float& value) const {
  const std::string att = c_name(name);
  std::size_t length = 0;
  int status = nc_inq_attlen(ncid_, varid, att.c_str(), &length);
  if (status != NC_NOERR) return status;
  if (length == 0) return NC_ENOTATT;
  std::vector<float> values(length);
  status = nc_get_att_float(ncid_, varid, att.c_str(), values.data());
  if (status != NC_NOERR) return status;
  value = values[0];
  return NC_NOERR;
}

int NcFile::var_att_real(int varid, std::string_view name, float& value) const {
  return att_real(varid, name, value);
}

int NcFile::global_att_real(std::string_view name, float& value) const {
  return att_real(NC_GLOBAL, name, value);
}

int NcFile::att_text(int varid, std::string_view name, std::string& text) const {
  const std::string att = c_name(name);
  nc_type type = NC_NAT;
  std::size_t length = 0;
  int status = nc_inq_att(ncid_, varid, att.c_str(), &type, &length);
  if (status != NC_NOERR) return status;
  if (type != NC_CHAR) return NC_ECHAR;
  std::string value(length, '\0');
  status = nc_get_att_text(ncid_, varid, att.c_str(), value.data());
  if (status != NC_NOERR) return status;
  // Some writers count a closing NUL in the length.
  while (!value.empty() && value.back() == '\0') value.pop_back();
  text = std::move(value);
  return NC_NOERR;
}

}  // namespace rn
