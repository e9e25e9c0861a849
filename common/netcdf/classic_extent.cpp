#include "classic_extent.hpp"

#include "utf8.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <set>
#include <utility>

namespace rn {

namespace {

// Where the walk reads the file from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  /// Reads `n` bytes at `offset` into `out`; false when the source holds fewer.
  virtual bool read(std::uint64_t offset, std::size_t n, unsigned char* out) = 0;
};

constexpr std::uint32_t kAbsent = 0x00;
constexpr std::uint32_t kDimensionTag = 0x0A;
constexpr std::uint32_t kVariableTag = 0x0B;
constexpr std::uint32_t kAttributeTag = 0x0C;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kMaxName = 256;     // longest name the library takes
constexpr std::uint64_t kMaxRank = 1024;    // most dimensions of one variable
constexpr std::uint64_t kOverflowVsize = 0xFFFFFFFFu;  // CDF-1/2 vsize of a 4 GiB variable

std::uint64_t add_sat(std::uint64_t a, std::uint64_t b) { return a > kMax - b ? kMax : a + b; }
std::uint64_t mul_sat(std::uint64_t a, std::uint64_t b) {
  return a != 0 && b > kMax / a ? kMax : a * b;
}
std::uint64_t pad4(std::uint64_t n) { return add_sat(n, (4 - n % 4) % 4); }

// Bytes per value of an external type of `version`, 0 for one it lacks.
std::uint64_t type_size(std::uint64_t type, int version) {
  switch (type) {
    case 1: case 2: return 1;            // byte, char
    case 3: return 2;                    // short
    case 4: case 5: return 4;            // int, float
    case 6: return 8;                    // double
    default: break;
  }
  if (version != 5) return 0;
  switch (type) {
    case 7: return 1;                    // ubyte
    case 8: return 2;                    // ushort
    case 9: return 4;                    // uint
    case 10: case 11: return 8;          // int64, uint64
    default: return 0;
  }
}

// Why a name is not one the format allows, or empty.  The rules: UTF-8,
// first a letter, digit, '_' or multibyte character; then any of those or
// a printable ASCII character other than '/'; no trailing blank.
std::string name_problem(std::string_view name) {
  if (name.empty()) return "an empty name";
  if (name.size() > kMaxName) return "a name longer than 256 bytes";
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(name[k]); };
  const unsigned char first = byte(0);
  const bool alnum = (first >= '0' && first <= '9') || (first >= 'A' && first <= 'Z') ||
                     (first >= 'a' && first <= 'z');
  if (first < 0x80 && !alnum && first != '_') {
    return "a name that begins with a character other than a letter, digit or '_'";
  }
  for (std::size_t k = 0; k < name.size();) {
    const unsigned char c = byte(k);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F || c == '/') return "a name holding a control character or '/'";
      ++k;
      continue;
    }
    const std::size_t sequence = utf8_sequence(name, k);
    if (sequence == 0) return "a name that is not UTF-8";
    k += sequence;
  }
  if (name.back() == ' ') return "a name with a trailing blank";
  return {};
}

// Thrown by the walk at the first fault; caught in check_classic_header.
struct HeaderFault {
  std::string what;
};

// Sequential big-endian reader of a header.  Every count it returns has
// been checked against the bytes left in the source, so that no loop or
// allocation driven by a count can outgrow the file.
class HeaderReader {
 public:
  HeaderReader(ByteSource& source, int version)
      : source_(source),
        size_(source.size()),
        wide_counts_(version == 5),
        wide_offsets_(version != 1),
        version_(version) {}

  std::uint64_t position() const { return pos_; }
  std::uint64_t left() const { return size_ - pos_; }
  int version() const { return version_; }

  void bytes(std::size_t n, unsigned char* out, const char* what) {
    if (n > left() || !source_.read(pos_, n, out)) {
      throw HeaderFault{std::string("the header ends inside ") + what +
                        " (the file has " + std::to_string(size_) + " bytes)"};
    }
    pos_ += n;
  }
  std::uint64_t word(int n, const char* what) {
    unsigned char b[8] = {};
    bytes(static_cast<std::size_t>(n), b, what);
    std::uint64_t v = 0;
    for (int k = 0; k < n; ++k) v = (v << 8) | b[k];
    return v;
  }
  std::uint64_t tag(const char* what) { return word(4, what); }
  // A NON_NEG count: 32-bit signed in CDF-1/2, 64-bit signed in CDF-5.
  std::uint64_t non_neg(const char* what) {
    const std::uint64_t v = word(wide_counts_ ? 8 : 4, what);
    const std::uint64_t limit = wide_counts_ ? (kMax >> 1) : 0x7FFFFFFFu;
    if (v > limit) throw HeaderFault{std::string("a negative ") + what};
    return v;
  }
  std::uint64_t vsize() { return word(wide_counts_ ? 8 : 4, "a variable's size"); }
  std::uint64_t offset() {
    const std::uint64_t v = word(wide_offsets_ ? 8 : 4, "a variable's offset");
    if (v > (wide_offsets_ ? (kMax >> 1) : 0x7FFFFFFFu)) {
      throw HeaderFault{"a negative variable offset"};
    }
    return v;
  }
  void skip(std::uint64_t n, const char* what) {
    if (n > left()) {
      throw HeaderFault{std::string("the header ends inside ") + what +
                        " (the file has " + std::to_string(size_) + " bytes)"};
    }
    pos_ += n;
  }

  // A count of entries of at least `min_bytes` each: more than the rest of
  // the file can hold is a fault.
  std::uint64_t entries(const char* what, std::uint64_t min_bytes) {
    const std::uint64_t n = non_neg(what);
    if (n > left() / min_bytes) {
      throw HeaderFault{std::string("a count of ") + std::to_string(n) + " " + what +
                        " that the file's " + std::to_string(size_) + " bytes cannot hold"};
    }
    return n;
  }

  // A list header: its entry count (0 for an absent list).  The tag of an
  // empty list is not looked at: the library reads such a list as empty
  // whatever its tag, and so does the walk.
  std::uint64_t list(std::uint32_t expected, const char* what, std::uint64_t min_bytes) {
    const std::uint64_t t = tag(what);
    const std::uint64_t n = entries(what, min_bytes);
    if (n != 0 && t != expected) {
      throw HeaderFault{std::string(t == kAbsent ? "an absent list of " : "a wrong tag before the ") + what +
                        (t == kAbsent ? " with a count" : "")};
    }
    return n;
  }

  std::string name(const char* owner) {
    const std::uint64_t n = non_neg("name length");
    if (n == 0 || n > kMaxName) {
      throw HeaderFault{std::string(owner) + " has a name of " + std::to_string(n) + " bytes"};
    }
    std::string text(static_cast<std::size_t>(n), '\0');
    bytes(text.size(), reinterpret_cast<unsigned char*>(text.data()), "a name");
    skip(pad4(n) - n, "a name's padding");
    if (const std::string p = name_problem(text); !p.empty()) {
      throw HeaderFault{std::string(owner) + " has " + p};
    }
    return text;
  }

  // Smallest bytes of one entry: name length word, a 4-byte name, and the
  // two words that follow every name at least.
  std::uint64_t min_entry() const { return (wide_counts_ ? 8 : 4) * 2 + 4 + 4; }

  void attributes(const std::string& owner) {
    const std::uint64_t n = list(kAttributeTag, "attributes", min_entry());
    std::set<std::string> names;
    for (std::uint64_t a = 0; a < n; ++a) {
      const std::string att = name(("an attribute of " + owner).c_str());
      if (!names.insert(att).second) throw HeaderFault{owner + " has two attributes " + att};
      const std::uint64_t type = tag("an attribute's type");
      const std::uint64_t size = type_size(type, version_);
      if (size == 0) {
        throw HeaderFault{"attribute " + att + " of " + owner + " has an unknown type " +
                          std::to_string(type)};
      }
      const std::uint64_t values = non_neg("attribute length");
      skip(pad4(mul_sat(values, size)), "an attribute's values");
    }
  }

 private:
  ByteSource& source_;
  std::uint64_t size_;
  std::uint64_t pos_ = 4;  // past the magic
  bool wide_counts_;
  bool wide_offsets_;
  int version_;
};

struct Variable {
  std::string name;
  std::vector<std::uint64_t> dimids;
  std::uint64_t type_bytes = 0;
  std::uint64_t vsize = 0;
  std::uint64_t begin = 0;
  std::uint64_t bytes = 0;  // of the whole variable, or of one record of it
  bool record = false;
};

std::string var_text(const Variable& v) { return "variable " + v.name; }

// Header walk and layout check.
// Contract: `source` holds a whole file whose first four bytes are a
// classic magic.  Reads the header entry by entry (see the header's
// comment for every rule), then sizes each variable from its shape and
// checks vsize, begin and the data's end against the file's length.
// Throws HeaderFault at the first fault.  Cost: one pass over the header
// plus O(n log n) for the name sets.
ClassicLayout walk(ByteSource& source, int version) {
  HeaderReader h(source, version);
  const std::uint64_t file_bytes = source.size();
  ClassicLayout layout;
  layout.version = version;

  const std::uint64_t streaming_marker = version == 5 ? kMax : 0xFFFFFFFFu;
  const std::uint64_t raw_numrecs = h.word(version == 5 ? 8 : 4, "the record count");
  const bool streaming = raw_numrecs == streaming_marker;
  if (!streaming && raw_numrecs > (version == 5 ? (kMax >> 1) : 0x7FFFFFFFu)) {
    throw HeaderFault{"a negative record count"};
  }
  std::uint64_t numrecs = streaming ? 0 : raw_numrecs;

  // Dimensions.
  std::vector<std::uint64_t> dims;
  std::set<std::string> dim_names;
  std::uint64_t record_dim = kMax;
  const std::uint64_t ndims = h.list(kDimensionTag, "dimensions", h.min_entry() - 4);
  for (std::uint64_t d = 0; d < ndims; ++d) {
    const std::string name = h.name("a dimension");
    if (!dim_names.insert(name).second) throw HeaderFault{"two dimensions are named " + name};
    const std::uint64_t length = h.non_neg("dimension length");
    if (length == 0) {
      if (record_dim != kMax) throw HeaderFault{"more than one record (unlimited) dimension"};
      record_dim = d;
    } else if (length > file_bytes) {
      throw HeaderFault{"dimension " + name + " has length " + std::to_string(length) +
                        ", more than the file's " + std::to_string(file_bytes) + " bytes can hold"};
    }
    dims.push_back(length);
  }
  h.attributes("the file (global)");

  // Variables.
  std::vector<Variable> vars;
  std::set<std::string> var_names;
  const std::uint64_t nvars = h.list(kVariableTag, "variables", h.min_entry() + 8);
  for (std::uint64_t v = 0; v < nvars; ++v) {
    Variable var;
    var.name = h.name("a variable");
    if (!var_names.insert(var.name).second) throw HeaderFault{"two variables are named " + var.name};
    const std::uint64_t rank = h.entries("dimension ids", version == 5 ? 8 : 4);
    if (rank > kMaxRank) {
      throw HeaderFault{var_text(var) + " has " + std::to_string(rank) + " dimensions"};
    }
    for (std::uint64_t k = 0; k < rank; ++k) {
      const std::uint64_t id = h.non_neg("dimension id");
      if (id >= dims.size()) {
        throw HeaderFault{var_text(var) + " uses dimension id " + std::to_string(id) +
                          ", the file has " + std::to_string(dims.size()) + " dimensions"};
      }
      if (id == record_dim && k != 0) {
        throw HeaderFault{var_text(var) + " has the record dimension in place " +
                          std::to_string(k + 1) + ", not first"};
      }
      var.dimids.push_back(id);
    }
    h.attributes(var_text(var));
    const std::uint64_t type = h.tag("a variable's type");
    var.type_bytes = type_size(type, version);
    if (var.type_bytes == 0) {
      throw HeaderFault{var_text(var) + " has an unknown type " + std::to_string(type)};
    }
    var.vsize = h.vsize();
    var.begin = h.offset();
    vars.push_back(std::move(var));
  }
  layout.header_bytes = h.position();

  // Sizes from the shapes; the size of one record.
  std::uint64_t record_bytes = 0;
  std::size_t record_vars = 0;
  for (Variable& var : vars) {
    var.record = !var.dimids.empty() && var.dimids[0] == record_dim;
    var.bytes = var.type_bytes;
    for (std::size_t k = var.record ? 1 : 0; k < var.dimids.size(); ++k) {
      var.bytes = mul_sat(var.bytes, dims[var.dimids[k]]);
    }
    if (var.bytes == kMax) throw HeaderFault{var_text(var) + " is larger than any file"};
    const bool overflow_marker = version != 5 && var.vsize == kOverflowVsize &&
                                 pad4(var.bytes) >= kOverflowVsize - 3;
    if (var.vsize != pad4(var.bytes) && var.vsize != var.bytes && !overflow_marker) {
      throw HeaderFault{var_text(var) + " has vsize " + std::to_string(var.vsize) +
                        ", its shape takes " + std::to_string(pad4(var.bytes)) + " bytes"};
    }
    if (var.begin < layout.header_bytes) {
      throw HeaderFault{var_text(var) + " begins at byte " + std::to_string(var.begin) +
                        ", inside the header (which ends at byte " +
                        std::to_string(layout.header_bytes) + ")"};
    }
    if (var.record) {
      record_bytes = add_sat(record_bytes, pad4(var.bytes));
      ++record_vars;
    }
  }
  // A sole record variable's records are not padded.
  if (record_vars == 1) {
    for (const Variable& var : vars) {
      if (var.record) record_bytes = var.bytes;
    }
  }

  // Where the records start: the first record variable's offset.
  std::uint64_t records_begin = layout.header_bytes;
  for (const Variable& var : vars) {
    if (var.record) {
      records_begin = var.begin;
      break;
    }
  }
  if (streaming) {
    numrecs = record_bytes == 0 || records_begin >= file_bytes
                  ? 0
                  : (file_bytes - records_begin) / record_bytes;
  } else if (record_vars == 0 && numrecs > file_bytes) {
    throw HeaderFault{"a record count of " + std::to_string(numrecs) +
                      " with no record variable, more than the file's " +
                      std::to_string(file_bytes) + " bytes"};
  }

  for (const Variable& var : vars) {
    std::uint64_t end = 0;
    if (!var.record) {
      end = add_sat(var.begin, var.bytes);
    } else if (numrecs == 0) {
      // No record yet: the offset is where the first will go, which the
      // library may place past the end of the file.
      layout.data_ends.push_back(var.begin);
      continue;
    } else {
      end = add_sat(add_sat(var.begin, mul_sat(numrecs - 1, record_bytes)), var.bytes);
    }
    if (end > file_bytes) {
      throw HeaderFault{"shorter than its header says (truncated): the data of " + var_text(var) +
                        " end at byte " + std::to_string(end) + ", the file has " +
                        std::to_string(file_bytes) + " bytes"};
    }
    layout.data_ends.push_back(end);
  }
  return layout;
}

// A file read in blocks through one descriptor.
class FileSource final : public ByteSource {
 public:
  FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t offset, std::size_t n, unsigned char* out) override {
    while (n > 0) {
      if (offset < block_start_ || offset >= block_start_ + block_.size()) {
        if (!load(offset)) return false;
      }
      const std::size_t at = static_cast<std::size_t>(offset - block_start_);
      const std::size_t take = std::min(n, block_.size() - at);
      std::memcpy(out, block_.data() + at, take);
      out += take;
      offset += take;
      n -= take;
    }
    return true;
  }

 private:
  bool load(std::uint64_t offset) {
    block_.resize(kBlock);
    std::size_t got = 0;
    while (got < kBlock) {
      const ssize_t r = ::pread(fd_, block_.data() + got, kBlock - got,
                                static_cast<off_t>(offset + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    block_.resize(got);
    block_start_ = offset;
    return got > 0;
  }

  static constexpr std::size_t kBlock = 64 * 1024;
  int fd_;
  std::uint64_t size_;
  std::vector<unsigned char> block_;
  std::uint64_t block_start_ = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, std::size_t n, unsigned char* out) override {
    if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
    std::memcpy(out, bytes_.data() + offset, n);
    return true;
  }

 private:
  std::string_view bytes_;
};

}  // namespace

bool has_classic_magic(std::string_view bytes) {
  return bytes.size() >= 4 && bytes.substr(0, 3) == "CDF" &&
         (bytes[3] == 1 || bytes[3] == 2 || bytes[3] == 5);
}

namespace {

ClassicCheck check_source(ByteSource& source) {
  unsigned char magic[4] = {};
  if (source.size() < 4 || !source.read(0, 4, magic) ||
      !has_classic_magic(std::string_view(reinterpret_cast<const char*>(magic), 4))) {
    return {std::nullopt, "no classic-format magic"};
  }
  try {
    return {walk(source, magic[3]), {}};
  } catch (const HeaderFault& fault) {
    return {std::nullopt, fault.what};
  }
}

}  // namespace

ClassicCheck check_classic_file(int fd, std::uint64_t size) {
  FileSource source(fd, size);
  return check_source(source);
}

ClassicCheck check_classic_header(std::string_view bytes) {
  MemorySource source(bytes);
  return check_source(source);
}

std::optional<std::vector<std::uint64_t>> classic_variable_ends(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::vector<std::uint64_t>> ends;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    ClassicCheck check = check_classic_file(fd, static_cast<std::uint64_t>(st.st_size));
    if (check.layout) ends = std::move(check.layout->data_ends);
  }
  ::close(fd);
  return ends;
}

}  // namespace rn
