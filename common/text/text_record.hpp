// Text records: the line format of every diagnostic line and of every KML line
// but the first.
//
// A record starts with one blank; its items follow in order with one blank
// between two consecutive items, except that two consecutive text items are
// joined with nothing between them.  A 32-bit integer fills a right-aligned
// field of 11 characters, a 32-bit real the 16-character real field
// (`put_real_field`).  Records are never wrapped.
//
// Non-finite reals (chosen rendering): "Infinity", "-Infinity" and "NaN",
// right-aligned in the 16-character field; a NaN is never signed.
#pragma once

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace rn {

inline constexpr int kIntFieldWidth = 11;
inline constexpr int kRealFieldWidth = 16;

/// Writes the 11-character integer field at `out`; returns the end.
char* put_int_field(char* out, std::int32_t value);

/// Writes the 16-character real field at `out`; returns the end.
/// Nine significant digits, rounded to nearest (ties to even) from the exact
/// 32-bit value:
///   zero                      "0.00000000" (or "-0.00000000") in 12, 4 blanks
///   0.1 <= |v| < 1            "0.ddddddddd" in 12, 4 blanks
///   1 <= |v| < 1e9            fixed with 9-n decimals in 12, 4 blanks
///   otherwise                 "d.ddddddddE+xx" in 16
char* put_real_field(char* out, float value);

/// Writes a real right-aligned in `width` characters with `decimals` digits
/// after the point, rounded to nearest (ties to even) from the exact value,
/// a 0 before the point below 1 in magnitude, a minus sign kept even when the
/// value rounds to zero; a value that does not fit fills the field with
/// asterisks.  Non-finite values: "Infinity", "-Infinity", "NaN" right-aligned
/// (asterisks when the width is too small).
char* put_fixed_field(char* out, float value, int width, int decimals);

/// Writes an integer right-aligned in `width` characters, or asterisks when
/// it does not fit.
char* put_int_width(char* out, std::int32_t value, int width);

/// Receiver of the full buffers of a TextOut, for an output that another
/// thread writes: the TextOut hands its buffer over whole instead of writing
/// it and goes on in the buffer it gets back.
class TextBlockSink {
 public:
  /// Takes the `size` bytes at `block`, a std::malloc buffer of `capacity`
  /// bytes that now belongs to the sink, and returns an empty std::malloc
  /// buffer of at least `capacity` bytes for the TextOut to go on in.
  virtual char* exchange(char* block, std::size_t size, std::size_t capacity) = 0;

 protected:
  ~TextBlockSink() = default;
};

/// Buffered text output onto a C stream, into a string (tests) or in whole
/// buffers to a block sink.
/// Records are composed in place in the buffer: no allocation per record.
class TextOut {
 public:
  explicit TextOut(std::FILE* stream, std::size_t buffer_bytes = 1 << 16);
  explicit TextOut(std::string* sink);
  TextOut(TextBlockSink* sink, std::size_t buffer_bytes);
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;
  ~TextOut();

  /// Writes one text record of the given items and a line feed.
  /// Items: texts (anything convertible to std::string_view), 32-bit integers
  /// (`std::int32_t`), 32-bit reals (`float`).  Wider types are refused at
  /// compile time so that no value is rendered from a widened copy.
  template <typename... Items>
  void record(const Items&... items) {
    begin_record();
    (put_item(items), ...);
    end_line();
  }

  /// Item-by-item form of `record`, for records whose items are chosen at
  /// run time: begin_record(), add_*()..., end_record().  The record
  /// vectors' tests and the fuzzer drive records this way.
  void begin_record();
  void add_text(std::string_view text) { put_text(text); }
  void add_int(std::int32_t value) { put_int(value); }
  void add_real(float value) { put_real(value); }
  void end_record() { end_line(); }

  /// Writes `line` and a line feed as it stands (no record blank).
  void line(std::string_view text);

  /// Writes raw bytes.
  void write(std::string_view bytes);

  /// Hands the buffered bytes to the stream (or string, or block sink).
  /// Returns false when the stream reported an error, now or before.
  bool flush();

  /// True when a write to the stream has failed.
  bool failed() const { return failed_; }

  /// The stream written to (null for a string sink).
  std::FILE* stream() const { return stream_; }

 private:
  enum class Kind { none, text, number };

  void end_line();
  void hand_on();  // gives the buffered bytes to the stream, string or sink
  void put_text(std::string_view text);
  void put_int(std::int32_t value);
  void put_real(float value);
  char* reserve(std::size_t n);  // room for n more bytes at the buffer end

  template <typename T>
  void put_item(const T& item) {
    if constexpr (std::is_same_v<T, float>) {
      put_real(item);
    } else if constexpr (std::is_same_v<T, std::int32_t>) {
      put_int(item);
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
      put_text(std::string_view(item));
    } else {
      static_assert(sizeof(T) == 0,
                    "text record items are texts, std::int32_t or float");
    }
  }

  std::FILE* stream_ = nullptr;
  std::string* sink_ = nullptr;
  TextBlockSink* block_sink_ = nullptr;
  char* buf_ = nullptr;
  std::size_t cap_ = 0;
  std::size_t len_ = 0;
  Kind last_ = Kind::none;
  bool failed_ = false;
};

/// The standard-output record stream of the program.
TextOut& out();

/// While alive, standard-output records go into `sink` instead (tests).
class CaptureStdout {
 public:
  explicit CaptureStdout(std::string* sink);
  ~CaptureStdout();
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;

 private:
  TextOut* previous_;
  TextOut capture_;
};

}  // namespace rn
