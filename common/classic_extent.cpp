#include "classic_extent.hpp"

#include <cstdio>
#include <limits>
#include <memory>

namespace rn {

namespace {

constexpr std::uint32_t kAbsent = 0x00;
constexpr std::uint32_t kDimensionTag = 0x0A;
constexpr std::uint32_t kVariableTag = 0x0B;
constexpr std::uint32_t kAttributeTag = 0x0C;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

std::uint64_t add_sat(std::uint64_t a, std::uint64_t b) { return a > kMax - b ? kMax : a + b; }
std::uint64_t mul_sat(std::uint64_t a, std::uint64_t b) {
  return a != 0 && b > kMax / a ? kMax : a * b;
}
std::uint64_t pad4(std::uint64_t n) { return add_sat(n, (4 - n % 4) % 4); }

// Bytes per value of an external type, 0 for an unknown one.
std::uint64_t type_size(std::uint32_t type) {
  switch (type) {
    case 1: case 2: case 7: return 1;   // byte, char, ubyte
    case 3: case 8: return 2;           // short, ushort
    case 4: case 5: case 9: return 4;   // int, float, uint
    case 6: case 10: case 11: return 8; // double, int64, uint64
    default: return 0;
  }
}

// Sequential big-endian reader of a header; any read past the end of the
// file makes it fail, and it stays failed.
class HeaderReader {
 public:
  explicit HeaderReader(std::FILE* f) : f_(f) {}

  bool ok() const { return ok_; }
  void set_version(int version) {
    wide_counts_ = version == 5;
    wide_offsets_ = version != 1;
  }

  std::uint64_t word(int bytes) {
    unsigned char b[8] = {};
    if (!ok_ || std::fread(b, 1, static_cast<std::size_t>(bytes), f_) != static_cast<std::size_t>(bytes)) {
      ok_ = false;
      return 0;
    }
    std::uint64_t v = 0;
    for (int k = 0; k < bytes; ++k) v = (v << 8) | b[k];
    return v;
  }
  std::uint32_t tag() { return static_cast<std::uint32_t>(word(4)); }
  std::uint64_t count() { return word(wide_counts_ ? 8 : 4); }
  std::uint64_t offset() { return word(wide_offsets_ ? 8 : 4); }

  void skip(std::uint64_t bytes) {
    if (!ok_) return;
    if (bytes > static_cast<std::uint64_t>(std::numeric_limits<long>::max()) ||
        std::fseek(f_, static_cast<long>(bytes), SEEK_CUR) != 0) {
      ok_ = false;
    }
  }
  void skip_name() { skip(pad4(count())); }

  // A list header: its element count, or 0 for an absent list; a tag that
  // is neither fails the reader.
  std::uint64_t list(std::uint32_t expected) {
    const std::uint32_t t = tag();
    const std::uint64_t n = count();
    if (t == kAbsent && n == 0) return 0;
    if (t != expected) ok_ = false;
    return ok_ ? n : 0;
  }

  void skip_attributes() {
    const std::uint64_t n = list(kAttributeTag);
    for (std::uint64_t a = 0; a < n && ok_; ++a) {
      skip_name();
      const std::uint64_t size = type_size(tag());
      const std::uint64_t values = count();
      if (size == 0) ok_ = false;
      skip(pad4(mul_sat(values, size)));
    }
  }

 private:
  std::FILE* f_;
  bool ok_ = true;
  bool wide_counts_ = false;
  bool wide_offsets_ = false;
};

struct Variable {
  std::vector<std::uint64_t> dimids;
  std::uint64_t size = 0;   // bytes per value
  std::uint64_t begin = 0;
  std::uint64_t bytes = 0;  // of the whole variable, or of one record of it
  bool record = false;      // first dimension of length 0 in the header
};

}  // namespace

// Header walk.
// Contract: reads the header of `path` as the classic formats lay it out
// (magic, record count, dimensions, global attributes, variables with their
// types and offsets), skipping names and attribute values; trusts nothing:
// every count is bounded by the bytes the file holds, since the walk fails
// at the first read past its end.  Cost: one pass over the header.
std::optional<std::vector<std::uint64_t>> classic_variable_ends(const std::string& path) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) return std::nullopt;
  HeaderReader h(file.get());
  unsigned char magic[4] = {};
  if (std::fread(magic, 1, 4, file.get()) != 4 || magic[0] != 'C' || magic[1] != 'D' ||
      magic[2] != 'F' || (magic[3] != 1 && magic[3] != 2 && magic[3] != 5)) {
    return std::nullopt;
  }
  h.set_version(magic[3]);
  const std::uint64_t numrecs = h.count();
  const std::uint64_t streaming = magic[3] == 5 ? kMax : 0xFFFFFFFFu;
  if (!h.ok() || numrecs == streaming) return std::nullopt;

  std::vector<std::uint64_t> dim_lengths;
  const std::uint64_t ndims = h.list(kDimensionTag);
  for (std::uint64_t d = 0; d < ndims && h.ok(); ++d) {
    h.skip_name();
    dim_lengths.push_back(h.count());
  }
  h.skip_attributes();

  std::vector<Variable> vars;
  const std::uint64_t nvars = h.list(kVariableTag);
  for (std::uint64_t v = 0; v < nvars && h.ok(); ++v) {
    Variable var;
    h.skip_name();
    const std::uint64_t rank = h.count();
    for (std::uint64_t k = 0; k < rank && h.ok(); ++k) var.dimids.push_back(h.count());
    h.skip_attributes();
    var.size = type_size(h.tag());
    h.count();  // vsize: may overflow in the format, recomputed from the shape
    var.begin = h.offset();
    if (var.size == 0) return std::nullopt;
    vars.push_back(std::move(var));
  }
  if (!h.ok()) return std::nullopt;

  // Bytes of each variable (per record for a record variable) and the
  // size of one record.
  std::uint64_t record_size = 0;
  std::size_t record_vars = 0;
  for (Variable& var : vars) {
    var.bytes = var.size;
    for (std::size_t k = 0; k < var.dimids.size(); ++k) {
      if (var.dimids[k] >= dim_lengths.size()) {
        var.bytes = kMax;
        break;
      }
      const std::uint64_t length = dim_lengths[var.dimids[k]];
      if (k == 0 && length == 0) {
        var.record = true;
        continue;
      }
      var.bytes = mul_sat(var.bytes, length);
    }
    if (var.record) {
      record_size = add_sat(record_size, pad4(var.bytes));
      ++record_vars;
    }
  }
  std::vector<std::uint64_t> ends;
  ends.reserve(vars.size());
  for (const Variable& var : vars) {
    // A sole record variable's records are not padded.
    if (var.record && record_vars == 1) record_size = var.bytes;
    if (!var.record) {
      ends.push_back(add_sat(var.begin, var.bytes));
    } else if (numrecs == 0) {
      ends.push_back(var.begin);
    } else {
      ends.push_back(add_sat(add_sat(var.begin, mul_sat(numrecs - 1, record_size)), var.bytes));
    }
  }
  return ends;
}

}  // namespace rn
