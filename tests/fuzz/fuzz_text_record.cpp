// Fuzz target: the text-record writer and its fields, with arbitrary reals,
// integers, texts, widths and decimals (item layout in fuzz_formats.hpp).
//
// Every field is written into a buffer of exactly its width, so that a write
// past it is a sanitizer report.  Checked:
//   * the real field is 16 characters; a finite value reads back to the same
//     float (through strtof and through the list reader) and matches the C
//     library's exact rendering in the row of its magnitude; non-finite values
//     are Infinity, -Infinity or NaN right-aligned;
//   * a fixed field or a width-limited integer is exactly its width and, for
//     the widths and decimals the hourly files use (up to 15 and 12), is the
//     C library's rendering or asterisks when that does not fit;
//   * a record is one blank, then the items joined by the record rule, then
//     a line feed, whether it goes to a string or through a small buffer to a
//     stream.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_formats.hpp"
#include "fuzz_support.hpp"
#include "list_input.hpp"
#include "text_record.hpp"

namespace {

using rn::fuzz::check;
using rn::fuzz::RecordTag;

// Calls `put(out)` on a heap buffer of exactly `width` characters and checks
// that it returns the buffer's end.
template <typename Put>
std::string field(int width, Put&& put) {
  const std::unique_ptr<char[]> buf(new char[static_cast<std::size_t>(width)]);
  check(put(buf.get()) == buf.get() + width, "a field writer returns the end of its field");
  return {buf.get(), static_cast<std::size_t>(width)};
}

std::string right_aligned(std::string_view text, std::size_t width) {
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + std::string(text);
}

// The C library's rendering of `v` by a format taking a width, a precision
// and the value (a double, or an int).
template <typename T>
std::string printed(const char* format, int width, int precision, T v) {
  char buf[512];
  const int n = std::snprintf(buf, sizeof buf, format, width, precision, v);
  return {buf, static_cast<std::size_t>(n)};
}

const char* nonfinite_word(float v) { return std::isnan(v) ? "NaN" : v < 0 ? "-Infinity" : "Infinity"; }

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string check_real_field(float v) {
  const std::string f = field(rn::kRealFieldWidth, [&](char* out) { return rn::put_real_field(out, v); });
  if (!std::isfinite(v)) {
    check(f == right_aligned(nonfinite_word(v), 16), "a non-finite real is its word right-aligned");
    return f;
  }
  std::string expected;
  if (v == 0.0f) {
    expected = right_aligned(std::signbit(v) ? "-0.00000000" : "0.00000000", 12) + "    ";
  } else {
    char e[32];
    std::snprintf(e, sizeof e, "%.8e", static_cast<double>(v));
    const int k = std::atoi(std::strchr(e, 'e') + 1);  // decade of the first digit
    expected = (k >= -1 && k <= 8) ? printed("%#*.*f", 12, 8 - k, static_cast<double>(v)) + "    "
                                   : printed("%*.*E", 16, 8, static_cast<double>(v));
  }
  check(f == expected, "a real field is the exact nine-digit rendering of its row");
  const std::size_t first = f.find_first_not_of(' ');
  const std::string text = f.substr(first, f.find(' ', first) - first);
  check(same_bits(std::strtof(text.c_str(), nullptr), v), "a real field reads back to the same float");
  float read = 0.0f;
  check(rn::parse_real32(text, read) && same_bits(read, v), "the list reader reads a real field back");
  return f;
}

std::string check_fixed_field(float v, int width, int decimals) {
  const std::string f = field(width, [&](char* out) { return rn::put_fixed_field(out, v, width, decimals); });
  const std::string stars(static_cast<std::size_t>(width), '*');
  if (decimals < 0 || decimals > 12 || width > 15) return f;  // beyond the fields in use: width only
  const std::string expected = std::isfinite(v) ? printed("%#*.*f", width, decimals, static_cast<double>(v)) : right_aligned(nonfinite_word(v), width);
  check(f == (expected.size() > static_cast<std::size_t>(width) ? stars : expected),
        "a fixed field is the exact rendering, or asterisks when it does not fit");
  return f;
}

std::string check_int_width(std::int32_t v, int width) {
  const std::string f = field(width, [&](char* out) { return rn::put_int_width(out, v, width); });
  const std::string expected = printed("%*.*d", width, 1, v);
  check(f == (expected.size() > static_cast<std::size_t>(width) ? std::string(width, '*') : expected),
        "an integer field is the number right-aligned, or asterisks when it does not fit");
  return f;
}

// One record item: its kind and its rendering as the record shows it.
struct Piece {
  bool number;
  std::string text;
  float real = 0.0f;
  std::int32_t integer = 0;
  enum class As { text, real, integer } as = As::text;
};

void write_items(rn::TextOut& out, const std::vector<Piece>& pieces) {
  out.begin_record();
  for (const Piece& p : pieces) {
    switch (p.as) {
      case Piece::As::text: out.add_text(p.text); break;
      case Piece::As::real: out.add_real(p.real); break;
      case Piece::As::integer: out.add_int(p.integer); break;
    }
  }
  out.end_record();
}

std::FILE* null_stream() {
  static std::FILE* stream = std::fopen("/dev/null", "w");
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rn::fuzz::Bytes in(data, size);
  std::vector<Piece> pieces;
  while (!in.empty()) {
    Piece p{};
    switch (static_cast<RecordTag>(in.u8() % static_cast<std::uint8_t>(RecordTag::count))) {
      case RecordTag::real:
        p.real = in.f32();
        p.text = check_real_field(p.real);
        p.number = true;
        p.as = Piece::As::real;
        break;
      case RecordTag::integer:
        p.integer = in.i32();
        p.text = field(rn::kIntFieldWidth, [&](char* out) { return rn::put_int_field(out, p.integer); });
        check(p.text == printed("%*.*d", 11, 1, p.integer), "an integer field is the number in 11 characters");
        p.number = true;
        p.as = Piece::As::integer;
        break;
      case RecordTag::text:
        p.text = in.text(in.u16() % 8192);
        break;
      case RecordTag::fixed: {
        const float v = in.f32();
        const int width = in.u8() % 41;
        p.text = check_fixed_field(v, width, in.u8() % 24 - 4);
        break;
      }
      case RecordTag::int_width: {
        const std::int32_t v = in.i32();
        p.text = check_int_width(v, in.u8() % 41);
        break;
      }
      case RecordTag::count: break;
    }
    pieces.push_back(std::move(p));
  }

  std::string expected = " ";
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    if (k > 0 && (pieces[k].number || pieces[k - 1].number)) expected += ' ';
    expected += pieces[k].text;
  }
  expected += '\n';
  std::string record;
  {
    rn::TextOut out(&record);
    write_items(out, pieces);
  }
  check(record == expected, "a record is a blank and its items joined by the record rule");
  if (std::FILE* stream = null_stream()) {
    rn::TextOut out(stream, 256);
    write_items(out, pieces);
    check(out.flush(), "a record goes through a small buffer to a stream");
  }
  return 0;
}
