#include "missing_values.hpp"

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "nc_file.hpp"

namespace rn {

namespace {

// The attributes that declare a variable's missing values.
constexpr const char* kMissingAttributes[] = {"_FillValue", "missing_value"};

// True when `d` converts to T without change.
template <typename T>
bool holds_exactly(double d) {
  if constexpr (std::is_floating_point_v<T>) {
    if (std::isnan(d)) return false;
    if (std::fabs(d) > static_cast<double>(std::numeric_limits<T>::max())) return std::isinf(d);
    return static_cast<double>(static_cast<T>(d)) == d;
  } else {
    // max + 1 is a power of two, exact as a double even where max is not.
    const double low = static_cast<double>(std::numeric_limits<T>::min());
    const double high = static_cast<double>(std::numeric_limits<T>::max());
    return d >= low && d < high + 1.0 && std::trunc(d) == d;
  }
}

// The values of one declaring attribute in the variable's storage type T;
// false when the variable has no such attribute.
template <typename T>
bool attribute_values(int ncid, int varid, nc_type var_type, const char* name,
                      std::vector<T>& fills) {
  nc_type type = NC_NAT;
  std::size_t length = 0;
  if (nc_inq_att(ncid, varid, name, &type, &length) != NC_NOERR) return false;
  if (type == var_type) {
    std::vector<T> values(length);
    if (length > 0 && nc_get_att(ncid, varid, name, values.data()) == NC_NOERR) {
      fills.insert(fills.end(), values.begin(), values.end());
    }
    return true;
  }
  std::vector<double> values(length);
  if (length > 0 && nc_get_att_double(ncid, varid, name, values.data()) == NC_NOERR) {
    for (double d : values) {
      if (holds_exactly<T>(d)) fills.push_back(static_cast<T>(d));
    }
  }
  return true;
}

// True when stored value `v` is one of `fills` (byte for byte), or a NaN
// where NaNs count as missing.
template <typename T>
bool is_missing_value(T v, const std::vector<T>& fills, bool nan_missing) {
  if constexpr (std::is_floating_point_v<T>) {
    if (nan_missing && std::isnan(v)) return true;
  }
  for (const T& f : fills) {
    if (std::memcmp(&f, &v, sizeof(T)) == 0) return true;
  }
  return false;
}

// The declared missing values of a variable in its storage type T; false
// when it declares none.
template <typename T>
bool declared_values(const NcFile& nc, int varid, nc_type var_type, std::vector<T>& fills) {
  bool declared = false;
  for (const char* name : kMissingAttributes) {
    declared = attribute_values(nc.ncid(), varid, var_type, name, fills) || declared;
  }
  return declared;
}

// Marking in storage type T.
// Contract: `missing` holds the variable's element count; T is the C type
// of the variable's storage type and `default_fill` the library's default
// fill of it.  Reads the stored values once, compares each with the
// declared (else default) fill values byte for byte and marks NaNs.  Cost:
// one read, O(values * fill values).
template <typename T>
int mark_missing(const NcFile& nc, int varid, nc_type var_type, T default_fill,
                 std::span<std::uint8_t> missing, std::size_t& count) {
  std::vector<T> fills;
  if (!declared_values(nc, varid, var_type, fills)) fills.push_back(default_fill);

  std::vector<T> values(missing.size());
  const int status = nc.read_stored(varid, std::as_writable_bytes(std::span<T>(values)));
  if (status != NC_NOERR) return status;
  count = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const bool is_missing = is_missing_value(values[i], fills, true);
    missing[i] = is_missing ? 1 : 0;
    count += is_missing ? 1 : 0;
  }
  return NC_NOERR;
}

// Values read at a time by the block-wise marking.
constexpr std::size_t kBlockValues = std::size_t{1} << 20;

// Declared-only marking in storage type T.
// Contract: as find_declared_missing.  Reads the variable as stored in
// blocks of whole rows (or whole, when it is not a gridded field), compares
// every value with the declared ones.  Cost: one read of the variable,
// O(values * declared values), a block of at most kBlockValues values (or
// one row) in memory.
template <typename T>
int mark_declared(const NcFile& nc, int varid, nc_type var_type,
                  const std::function<void(std::size_t)>& mark, bool& declared) {
  std::vector<T> fills;
  declared = declared_values(nc, varid, var_type, fills);
  if (!declared) return NC_NOERR;
  bool nan_declared = false;
  if constexpr (std::is_floating_point_v<T>) {
    nan_declared = std::any_of(fills.begin(), fills.end(), [](T f) { return std::isnan(f); });
  }
  std::vector<std::size_t> shape;
  int status = nc.var_shape(varid, shape);
  if (status != NC_NOERR) return status;
  const bool gridded = shape.size() >= 2 &&
                       std::all_of(shape.begin(), shape.end() - 2, [](std::size_t n) { return n == 1; });
  std::size_t total = 0;
  if (!checked_count(shape, total)) return kCountOverflow;
  const std::size_t columns = gridded ? std::max<std::size_t>(shape.back(), 1) : total;
  const std::size_t rows = gridded ? shape[shape.size() - 2] : 1;
  const std::size_t block = gridded ? std::max<std::size_t>(1, kBlockValues / columns) : 1;
  std::vector<T> values;
  for (std::size_t first = 0; first < rows; first += block) {
    const std::size_t count = std::min(block, rows - first);
    values.resize(count * columns);
    const auto bytes = std::as_writable_bytes(std::span<T>(values));
    status = gridded ? nc.read_stored_rows(varid, first, count, bytes) : nc.read_stored(varid, bytes);
    if (status != NC_NOERR) return status;
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (is_missing_value(values[k], fills, nan_declared)) mark(first * columns + k);
    }
  }
  return NC_NOERR;
}

// Calls `marker.template operator()<T>(default fill)` with T the C type of
// storage type `type`; false for text and user-defined types, which hold no
// numbers.
template <typename Marker>
bool by_storage_type(nc_type type, Marker&& marker, int& status) {
  switch (type) {
    case NC_BYTE: status = marker.template operator()<signed char>(NC_FILL_BYTE); return true;
    case NC_UBYTE: status = marker.template operator()<unsigned char>(NC_FILL_UBYTE); return true;
    case NC_SHORT: status = marker.template operator()<short>(NC_FILL_SHORT); return true;
    case NC_USHORT: status = marker.template operator()<unsigned short>(NC_FILL_USHORT); return true;
    case NC_INT: status = marker.template operator()<int>(NC_FILL_INT); return true;
    case NC_UINT: status = marker.template operator()<unsigned int>(NC_FILL_UINT); return true;
    case NC_INT64: status = marker.template operator()<long long>(NC_FILL_INT64); return true;
    case NC_UINT64:
      status = marker.template operator()<unsigned long long>(NC_FILL_UINT64);
      return true;
    case NC_FLOAT: status = marker.template operator()<float>(NC_FILL_FLOAT); return true;
    case NC_DOUBLE: status = marker.template operator()<double>(NC_FILL_DOUBLE); return true;
    default: return false;
  }
}

}  // namespace

int find_missing(const NcFile& nc, int varid, std::span<std::uint8_t> missing,
                 std::size_t& count) {
  std::size_t values = 0;
  int status = nc.var_count(varid, values);
  if (status != NC_NOERR) return status;
  if (values != missing.size()) return kCountMismatch;
  nc_type type = NC_NAT;
  status = nc.var_type(varid, type);
  if (status != NC_NOERR) return status;
  const auto marker = [&]<typename T>(T default_fill) {
    return mark_missing<T>(nc, varid, type, default_fill, missing, count);
  };
  if (!by_storage_type(type, marker, status)) {
    // Text and user-defined types hold no numbers: nothing is missing.
    std::fill(missing.begin(), missing.end(), std::uint8_t{0});
    count = 0;
    return NC_NOERR;
  }
  return status;
}

int find_declared_missing(const NcFile& nc, int varid,
                          const std::function<void(std::size_t)>& mark, bool& declared) {
  declared = false;
  nc_type type = NC_NAT;
  int status = nc.var_type(varid, type);
  if (status != NC_NOERR) return status;
  const auto marker = [&]<typename T>(T) {
    return mark_declared<T>(nc, varid, type, mark, declared);
  };
  by_storage_type(type, marker, status);
  return status;
}

}  // namespace rn
