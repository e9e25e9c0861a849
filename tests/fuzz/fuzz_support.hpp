// Shared pieces of the fuzz targets: a reader of the fuzzer's bytes (and the
// matching writer used to build seed inputs), the invariant check, and the
// frame every target runs its input in.
//
// A program end (`rn::ProgramEnd`) is an accepted outcome of any input: the
// routine has written its message and ended the program as it should.  A
// broken invariant aborts, which libFuzzer reports as a crash with the input
// that caused it; so do sanitizer reports, hangs and any other exception.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::fuzz {

/// Consumes the fuzzer's bytes from the front.  Past the end every number
/// is 0 and every text empty, so any input decodes to something.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size)
      : data_(reinterpret_cast<const char*>(data)), size_(size) {}

  bool empty() const { return pos_ >= size_; }

  std::uint8_t u8() { return pos_ < size_ ? static_cast<std::uint8_t>(data_[pos_++]) : 0; }

  std::uint16_t u16() {
    const std::uint16_t lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
  }

  std::uint32_t u32() {
    const std::uint32_t lo = u16();
    return lo | (static_cast<std::uint32_t>(u16()) << 16);
  }

  std::int32_t i32() {
    const std::uint32_t v = u32();
    std::int32_t out;
    std::memcpy(&out, &v, sizeof out);
    return out;
  }

  float f32() {
    const std::uint32_t v = u32();
    float out;
    std::memcpy(&out, &v, sizeof out);
    return out;
  }

  /// The next `n` bytes (fewer at the end).
  std::string_view text(std::size_t n) {
    const std::size_t k = pos_ < size_ ? std::min(n, size_ - pos_) : 0;
    const std::string_view out(data_ + pos_, k);
    pos_ += k;
    return out;
  }

  /// Everything not yet consumed.
  std::string_view rest() { return text(size_); }

 private:
  const char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

/// Builds inputs in the layout that `Bytes` reads (seed corpora).
class ByteWriter {
 public:
  ByteWriter& u8(std::uint8_t v) {
    bytes_.push_back(static_cast<char>(v));
    return *this;
  }
  ByteWriter& u16(std::uint16_t v) { return u8(v & 0xff).u8(v >> 8); }
  ByteWriter& u32(std::uint32_t v) { return u16(v & 0xffff).u16(v >> 16); }
  ByteWriter& i32(std::int32_t v) {
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    return u32(u);
  }
  ByteWriter& f32(float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    return u32(u);
  }
  ByteWriter& text(std::string_view t) {
    bytes_.append(t);
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

/// Aborts with `what` on the error stream when an invariant does not hold.
inline void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

/// The records written to standard output while the fuzzer runs: captured
/// once for the whole run (a capture per input would cost an allocation and
/// its page faults every time) and emptied before every input.
inline std::string& captured_records() {
  static std::string records;
  static CaptureStdout capture(&records);
  return records;
}

/// Runs `body` with standard-output records captured (the fuzzer stays
/// quiet).  A program end is accepted; it must report a failure status and
/// tell the user why (message records before it, or a stop text).  Returns
/// true when the body ran to its end.
template <typename Body>
bool run_input(Body&& body) {
  std::string& records = captured_records();
  out().flush();
  records.clear();
  try {
    body();
    return true;
  } catch (const ProgramEnd& end) {
    out().flush();
    check(end.status != 0, "a program end after bad input reports a failure status");
    check(!records.empty() || !end.stop_text.empty(), "a program end after bad input says why");
    return false;
  }
}

}  // namespace rn::fuzz
