#include "nc_out.hpp"

#include <cerrno>
#include <string>

#include "program_end.hpp"

namespace sb {

// netCDF-4 files are created by the HDF5 library, which cannot create one
// through /proc/self/fd: they get a named temporary.
NcOut::NcOut(std::string_view path, NcFormat format)
    : output_(path, nullptr,
              format == NcFormat::classic ? rn::Temporary::unnamed_where_possible
                                                : rn::Temporary::named),
      format_(format) {
  // The library creates the file by name, over the temporary itself.
  const std::string temporary = output_.path_for_writer();
  const int mode = format == NcFormat::classic ? NC_CLOBBER : (NC_CLOBBER | NC_NETCDF4);
  int id = -1;
  check(nc_create(temporary.c_str(), mode, &id), "create");
  ncid_ = id;
  // Classic files are written whole: pre-filling would write them twice.
  // Compressed ones keep the library's fill, so that the rows of a chunk
  // left unwritten read as the fill value.
  if (format == NcFormat::classic) {
    int previous = 0;
    check(nc_set_fill(ncid_, NC_NOFILL, &previous), "set fill mode");
  }
}

NcOut::~NcOut() {
  if (ncid_ >= 0) nc_abort(ncid_);
}

void NcOut::check(int status, std::string_view what) const {
  if (status == NC_NOERR) return;
  rn::fail("Error: cannot write " + output_.target() + " (" + std::string(what) + "): " +
           nc_strerror(status));
}

int NcOut::dim(std::string_view name, std::size_t length) {
  int id = -1;
  check(nc_def_dim(ncid_, std::string(name).c_str(), length, &id), "define dimension " + std::string(name));
  if (static_cast<std::size_t>(id) >= dim_length_.size()) dim_length_.resize(static_cast<std::size_t>(id) + 1, 0);
  dim_length_[static_cast<std::size_t>(id)] = length;
  return id;
}

int NcOut::var(std::string_view name, nc_type type, std::initializer_list<int> dims) {
  const std::string n(name);
  int id = -1;
  check(nc_def_var(ncid_, n.c_str(), type, static_cast<int>(dims.size()), dims.begin(), &id),
        "define variable " + n);
  if (format_ == NcFormat::compressed && dims.size() > 0) {
    // Chunks of whole rows, about 64 thousand values each: small enough
    // for the library's chunk cache, large enough to compress well.
    std::vector<std::size_t> chunk;
    std::size_t room = std::size_t{1} << 16;
    for (auto it = dims.end(); it != dims.begin();) {
      --it;
      const std::size_t len = std::max<std::size_t>(1, dim_length_[static_cast<std::size_t>(*it)]);
      const std::size_t take = std::max<std::size_t>(1, std::min(len, room));
      chunk.insert(chunk.begin(), take);
      room = std::max<std::size_t>(1, room / take);
    }
    check(nc_def_var_chunking(ncid_, id, NC_CHUNKED, chunk.data()), "chunk variable " + n);
    check(nc_def_var_deflate(ncid_, id, 1, 1, 1), "compress variable " + n);
  }
  return id;
}

void NcOut::att(int varid, std::string_view name, std::string_view text) {
  check(nc_put_att_text(ncid_, varid, std::string(name).c_str(), text.size(), text.data()),
        "attribute " + std::string(name));
}

void NcOut::att(int varid, std::string_view name, float value) {
  check(nc_put_att_float(ncid_, varid, std::string(name).c_str(), NC_FLOAT, 1, &value),
        "attribute " + std::string(name));
}

void NcOut::att(int varid, std::string_view name, std::int32_t value) {
  check(nc_put_att_int(ncid_, varid, std::string(name).c_str(), NC_INT, 1, &value),
        "attribute " + std::string(name));
}

void NcOut::enddef() { check(nc_enddef(ncid_), "end definitions"); }

void NcOut::put(int varid, std::span<const float> values) {
  if (!values.empty()) check(nc_put_var_float(ncid_, varid, values.data()), "write variable");
}

void NcOut::put(int varid, std::span<const std::int32_t> values) {
  if (!values.empty()) check(nc_put_var_int(ncid_, varid, values.data()), "write variable");
}

void NcOut::put(int varid, std::span<const double> values) {
  if (!values.empty()) check(nc_put_var_double(ncid_, varid, values.data()), "write variable");
}

namespace {

// Start and count of `rows` rows from `first_row` of a variable whose last
// two dimensions are rows and columns; leading dimensions take index 0.
int slab(int ncid, int varid, std::size_t first_row, std::size_t rows, std::size_t columns,
         std::vector<std::size_t>& start, std::vector<std::size_t>& count) {
  int ndims = 0;
  const int status = nc_inq_varndims(ncid, varid, &ndims);
  if (status != NC_NOERR) return status;
  if (ndims < 2) return NC_EINVALCOORDS;
  const auto n = static_cast<std::size_t>(ndims);
  start.assign(n, 0);
  count.assign(n, 1);
  start[n - 2] = first_row;
  count[n - 2] = rows;
  count[n - 1] = columns;
  return NC_NOERR;
}

}  // namespace

void NcOut::put_rows(int varid, std::size_t first_row, std::size_t rows, std::size_t columns,
                     const float* values) {
  std::vector<std::size_t> start, count;
  check(slab(ncid_, varid, first_row, rows, columns, start, count), "shape of a 2-D variable");
  check(nc_put_vara_float(ncid_, varid, start.data(), count.data(), values), "write rows");
}

void NcOut::put_rows(int varid, std::size_t first_row, std::size_t rows, std::size_t columns,
                     const std::int32_t* values) {
  std::vector<std::size_t> start, count;
  check(slab(ncid_, varid, first_row, rows, columns, start, count), "shape of a 2-D variable");
  check(nc_put_vara_int(ncid_, varid, start.data(), count.data(), values), "write rows");
}

void NcOut::commit() {
  const int id = ncid_;
  ncid_ = -1;
  check(nc_close(id), "close");
  output_.commit();
}

}  // namespace sb
