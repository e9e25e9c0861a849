#include "missing_values.hpp"

#include <netcdf.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
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

// Whether a stored T becomes the 32-bit real that the library's conversion
// gives by a plain conversion: every integer type and float itself.  A
// double is range-checked by the library (a value beyond the 32-bit range
// is a read error), so it is left to the library.
template <typename T>
constexpr bool converts_plainly = !std::is_same_v<T, double>;

// Marking in storage type T.
// Contract: `missing` holds the variable's element count; T is the C type
// of the variable's storage type and `default_fill` the library's default
// fill of it.  Reads the stored values once, compares each with the
// declared (else default) fill values byte for byte and marks NaNs; with
// `reals` (as long as `missing`, only where `converts_plainly<T>`) also
// stores each value as the 32-bit real the library's conversion gives.
// Cost: one read, O(values * fill values).
template <typename T>
int mark_missing(const NcFile& nc, int varid, nc_type var_type, T default_fill,
                 std::span<std::uint8_t> missing, std::size_t& count,
                 std::span<float> reals = {}) {
  std::vector<T> fills;
  bool declared = false;
  for (const char* name : kMissingAttributes) {
    declared = attribute_values(nc.ncid(), varid, var_type, name, fills) || declared;
  }
  if (!declared) fills.push_back(default_fill);

  // Compared as bits: integers so compare by value, reals bit for bit.
  using Bits = std::conditional_t<sizeof(T) == 1, std::uint8_t,
               std::conditional_t<sizeof(T) == 2, std::uint16_t,
               std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
  std::vector<Bits> fill_bits;
  for (const T& f : fills) fill_bits.push_back(std::bit_cast<Bits>(f));
  // An attribute whose values the storage cannot hold declares nothing.
  const bool has_fill = !fill_bits.empty();
  const Bits first = has_fill ? fill_bits.front() : Bits{};

  const std::size_t n = missing.size();
  // The stored values go straight into the reals' memory when they fit
  // there (every storage type of 4 bytes or less), and are converted in
  // place after the marking: a national output is read into one array, not
  // two.  Otherwise into a buffer of their own, overwritten whole by the
  // read, so not cleared first.  Values are loaded and stored through
  // memcpy: the memory holds T's bits before it holds floats.
  const bool in_place = converts_plainly<T> && sizeof(T) <= sizeof(float) && !reals.empty();
  std::unique_ptr<T[]> own;
  std::byte* stored = nullptr;
  if (in_place) {
    stored = reinterpret_cast<std::byte*>(reals.data());
  } else {
    own.reset(new T[n]);
    stored = reinterpret_cast<std::byte*>(own.get());
  }
  const int status = nc.read_stored(varid, std::span<std::byte>(stored, n * sizeof(T)));
  if (status != NC_NOERR) return status;
  const auto value = [stored](std::size_t i) {
    T v;
    std::memcpy(&v, stored + i * sizeof(T), sizeof(T));
    return v;
  };
  // Plain loops, each of one kind, so that the compiler can run them over
  // several values at a time: national outputs hold millions.
  const auto bits = [&value](std::size_t i) { return std::bit_cast<Bits>(value(i)); };
  if (fill_bits.size() == 1) {
    for (std::size_t i = 0; i < n; ++i) missing[i] = bits(i) == first ? 1 : 0;
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      bool is_missing = has_fill && bits(i) == first;
      for (std::size_t k = 1; k < fill_bits.size(); ++k) is_missing = is_missing || bits(i) == fill_bits[k];
      missing[i] = is_missing ? 1 : 0;
    }
  }
  if constexpr (std::is_floating_point_v<T>) {
    for (std::size_t i = 0; i < n; ++i) missing[i] = missing[i] | (value(i) != value(i) ? 1 : 0);
  }
  if constexpr (converts_plainly<T>) {
    if (in_place) {
      // Last to first: a value narrower than a float is read before the
      // float written over its bytes.
      for (std::size_t i = n; i-- > 0;) {
        const float f = static_cast<float>(value(i));
        std::memcpy(stored + i * sizeof(float), &f, sizeof(float));
      }
    } else {
      for (std::size_t i = 0; i < reals.size(); ++i) reals[i] = static_cast<float>(value(i));
    }
  }
  std::size_t marked = 0;
  for (std::size_t i = 0; i < n; ++i) marked += missing[i];
  count = marked;
  return NC_NOERR;
}

// Status of a variable whose storage type holds no numbers (a netCDF
// status is 0 or negative).
constexpr int kHoldsNoNumbers = 1;

// The storage types, each as its C type: calls `f(default_fill)` with the
// library's default fill of the variable's type in that type, or returns
// `other` for a type that holds no numbers.
template <typename F>
int by_stored_type(nc_type type, F&& f, int other) {
  switch (type) {
    case NC_BYTE: return f(static_cast<signed char>(NC_FILL_BYTE));
    case NC_UBYTE: return f(static_cast<unsigned char>(NC_FILL_UBYTE));
    case NC_SHORT: return f(static_cast<short>(NC_FILL_SHORT));
    case NC_USHORT: return f(static_cast<unsigned short>(NC_FILL_USHORT));
    case NC_INT: return f(static_cast<int>(NC_FILL_INT));
    case NC_UINT: return f(static_cast<unsigned int>(NC_FILL_UINT));
    case NC_INT64: return f(static_cast<long long>(NC_FILL_INT64));
    case NC_UINT64: return f(static_cast<unsigned long long>(NC_FILL_UINT64));
    case NC_FLOAT: return f(static_cast<float>(NC_FILL_FLOAT));
    case NC_DOUBLE: return f(static_cast<double>(NC_FILL_DOUBLE));
    default: return other;
  }
}

// Checks that variable `varid` holds as many values as `missing` and gives
// its storage type.
int stored_type(const NcFile& nc, int varid, std::size_t expected, nc_type& type) {
  std::size_t values = 0;
  int status = nc.var_count(varid, values);
  if (status != NC_NOERR) return status;
  if (values != expected) return kCountMismatch;
  return nc.var_type(varid, type);
}

int no_numbers(std::span<std::uint8_t> missing, std::size_t& count) {
  std::fill(missing.begin(), missing.end(), std::uint8_t{0});
  count = 0;
  return NC_NOERR;
}

// Values read at a time by the block-wise marking.
constexpr std::size_t kBlockValues = std::size_t{1} << 20;

// Declared-only marking in storage type T.
// Contract: as find_declared_missing.  Reads the variable as stored in
// blocks of whole rows (or whole, when it is not a gridded field), compares
// every value with the declared ones byte for byte (a NaN only where one is
// declared).  Cost: one read of the variable, O(values * declared values),
// a block of at most kBlockValues values (or one row) in memory.
template <typename T>
int mark_declared(const NcFile& nc, int varid, nc_type var_type,
                  const std::function<void(std::size_t)>& mark, bool& declared) {
  std::vector<T> fills;
  declared = false;
  for (const char* name : kMissingAttributes) {
    declared = attribute_values(nc.ncid(), varid, var_type, name, fills) || declared;
  }
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
      bool is_missing = false;
      if constexpr (std::is_floating_point_v<T>) is_missing = nan_declared && std::isnan(values[k]);
      for (const T& f : fills) is_missing = is_missing || std::memcmp(&f, &values[k], sizeof(T)) == 0;
      if (is_missing) mark(first * columns + k);
    }
  }
  return NC_NOERR;
}

}  // namespace

int find_missing(const NcFile& nc, int varid, std::span<std::uint8_t> missing,
                 std::size_t& count) {
  nc_type type = NC_NAT;
  const int status = stored_type(nc, varid, missing.size(), type);
  if (status != NC_NOERR) return status;
  const auto mark = [&](auto default_fill) {
    return mark_missing(nc, varid, type, default_fill, missing, count);
  };
  const int marked = by_stored_type(type, mark, kHoldsNoNumbers);
  // Text and user-defined types hold no numbers: nothing is missing.
  return marked == kHoldsNoNumbers ? no_numbers(missing, count) : marked;
}

int read_reals_and_missing(const NcFile& nc, int varid, std::span<float> reals,
                           std::span<std::uint8_t> missing, std::size_t& count) {
  if (reals.size() != missing.size()) return kCountMismatch;
  nc_type type = NC_NAT;
  const int status = stored_type(nc, varid, missing.size(), type);
  if (status != NC_NOERR) return status;
  const auto mark_and_convert = [&](auto default_fill) {
    using T = decltype(default_fill);
    if constexpr (converts_plainly<T>) {
      return mark_missing(nc, varid, type, default_fill, missing, count, reals);
    } else {
      const int read = nc.read(varid, reals);
      return read != NC_NOERR ? read : mark_missing(nc, varid, type, default_fill, missing, count);
    }
  };
  const int marked = by_stored_type(type, mark_and_convert, kHoldsNoNumbers);
  if (marked != kHoldsNoNumbers) return marked;
  // No numbers: the library's own read as reals gives its verdict.
  no_numbers(missing, count);
  return nc.read(varid, reals);
}

int find_declared_missing(const NcFile& nc, int varid,
                          const std::function<void(std::size_t)>& mark, bool& declared) {
  declared = false;
  nc_type type = NC_NAT;
  const int status = nc.var_type(varid, type);
  if (status != NC_NOERR) return status;
  const auto marker = [&](auto default_fill) {
    return mark_declared<decltype(default_fill)>(nc, varid, type, mark, declared);
  };
  // Text and user-defined types hold no numbers, and so no missing values.
  return by_stored_type(type, marker, NC_NOERR);
}

}  // namespace rn
