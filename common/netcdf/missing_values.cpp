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
  bool declared = false;
  for (const char* name : kMissingAttributes) {
    declared = attribute_values(nc.ncid(), varid, var_type, name, fills) || declared;
  }
  if (!declared) fills.push_back(default_fill);

  std::vector<T> values(missing.size());
  const int status = nc.read_stored(varid, std::as_writable_bytes(std::span<T>(values)));
  if (status != NC_NOERR) return status;
  count = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const T v = values[i];
    bool is_missing = false;
    if constexpr (std::is_floating_point_v<T>) is_missing = std::isnan(v);
    for (const T& f : fills) is_missing = is_missing || std::memcmp(&f, &v, sizeof(T)) == 0;
    missing[i] = is_missing ? 1 : 0;
    count += is_missing ? 1 : 0;
  }
  return NC_NOERR;
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
  switch (type) {
    case NC_BYTE:
      return mark_missing<signed char>(nc, varid, type, NC_FILL_BYTE, missing, count);
    case NC_UBYTE:
      return mark_missing<unsigned char>(nc, varid, type, NC_FILL_UBYTE, missing, count);
    case NC_SHORT:
      return mark_missing<short>(nc, varid, type, NC_FILL_SHORT, missing, count);
    case NC_USHORT:
      return mark_missing<unsigned short>(nc, varid, type, NC_FILL_USHORT, missing, count);
    case NC_INT:
      return mark_missing<int>(nc, varid, type, NC_FILL_INT, missing, count);
    case NC_UINT:
      return mark_missing<unsigned int>(nc, varid, type, NC_FILL_UINT, missing, count);
    case NC_INT64:
      return mark_missing<long long>(nc, varid, type, NC_FILL_INT64, missing, count);
    case NC_UINT64:
      return mark_missing<unsigned long long>(nc, varid, type, NC_FILL_UINT64, missing, count);
    case NC_FLOAT:
      return mark_missing<float>(nc, varid, type, NC_FILL_FLOAT, missing, count);
    case NC_DOUBLE:
      return mark_missing<double>(nc, varid, type, NC_FILL_DOUBLE, missing, count);
    default:
      // Text and user-defined types hold no numbers: nothing is missing.
      std::fill(missing.begin(), missing.end(), std::uint8_t{0});
      count = 0;
      return NC_NOERR;
  }
}

}  // namespace rn
