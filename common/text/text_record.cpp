#include "text_record.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace rn {
namespace {

// Exact powers of ten as doubles, 10^-4 .. 10^9 (the negative ones are the
// nearest doubles; only used as decade thresholds, see decade_of).
constexpr double kDecade[] = {1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4,
                              1e5,  1e6,  1e7,  1e8,  1e9};
constexpr int kDecadeLow = -4;

// 10^p, exact in double, for the scaling below.
constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,
                             1e7, 1e8, 1e9, 1e10, 1e11, 1e12};

void fill_blanks(char* out, int n) { std::memset(out, ' ', static_cast<std::size_t>(n)); }

// "00" .. "99": numbers are rendered two digits at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void put_pair(char* out, std::uint32_t two_digits) {
  std::memcpy(out, kDigitPairs + 2 * two_digits, 2);
}

// The nine digits of n < 10^9, leading zeros included.
void put_nine(char* out, std::uint32_t n) {
  out[0] = static_cast<char>('0' + n / 100000000);
  const std::uint32_t low8 = n % 100000000;
  const std::uint32_t high4 = low8 / 10000, low4 = low8 % 10000;
  put_pair(out + 1, high4 / 100);
  put_pair(out + 3, high4 % 100);
  put_pair(out + 5, low4 / 100);
  put_pair(out + 7, low4 % 100);
}

// The nine digits with the point after the first `Whole` of them.
template <int Whole>
void put_point_after(char* out, const char* digits) {
  std::memcpy(out, digits, Whole);
  out[Whole] = '.';
  std::memcpy(out + Whole + 1, digits + Whole, 9 - Whole);
}
using PointPlacer = void (*)(char*, const char*);
constexpr PointPlacer kPointAfter[] = {put_point_after<1>, put_point_after<2>, put_point_after<3>,
                                       put_point_after<4>, put_point_after<5>, put_point_after<6>,
                                       put_point_after<7>, put_point_after<8>, put_point_after<9>};

// Right-aligns `len` bytes of `text` in `width` characters at `out`.
char* right_align(char* out, const char* text, int len, int width) {
  fill_blanks(out, width - len);
  std::memcpy(out + width - len, text, static_cast<std::size_t>(len));
  return out + width;
}

char* put_nonfinite(char* out, float value, int width) {
  const char* text = std::isnan(value) ? "NaN" : (value < 0 ? "-Infinity" : "Infinity");
  const int len = static_cast<int>(std::strlen(text));
  if (len > width) {
    std::memset(out, '*', static_cast<std::size_t>(width));
    return out + width;
  }
  return right_align(out, text, len, width);
}

// Nine significant digits of |v| (v finite, non-zero): digits[0..8] and the
// decimal exponent k of the first digit (v ~ d.dddddddd * 10^k), rounded to
// nearest with ties to even on the exact binary value.
//
// Fast path, 1e-4 <= |v| < 1e9: |v| * 10^(8-k) is exact in double because
// |v| carries 24 significant bits and 10^p = 2^p * 5^p adds at most
// 2.33 * 12 bits for p <= 12, well inside the 53-bit significand; rint()
// then rounds it ties-to-even.  Elsewhere the library's exact conversion.
void nine_digits(float v, char digits[9], int& k) {
  const double a = std::fabs(static_cast<double>(v));
  if (a >= kDecade[0] && a < kDecade[13]) {
    int d = 0;  // the last decade that a reaches, counted without branches
    for (int i = 1; i < 14; ++i) d += a >= kDecade[i] ? 1 : 0;
    k = d + kDecadeLow;
    const int p = 8 - k;
    double scaled = a * kPow10[p];  // exact (see above)
    auto n = static_cast<std::uint64_t>(std::rint(scaled));
    if (n >= 1000000000u) {  // a carry into the next decade (cannot happen
      n /= 10;               // for 32-bit inputs, kept for safety)
      ++k;
    }
    put_nine(digits, static_cast<std::uint32_t>(n));
    return;
  }
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 8);
  // buf: d.ddddddddE[+-]xx[x]
  digits[0] = buf[0];
  std::memcpy(digits + 1, buf + 2, 8);
  k = 0;
  for (const char* c = buf + 12; c < res.ptr; ++c) k = k * 10 + (*c - '0');
  if (buf[11] == '-') k = -k;
}

}  // namespace

char* put_int_field(char* out, std::int32_t value) {
  // Digits from the right end of the field; -2147483648 fills all 11.
  std::memcpy(out, "           ", kIntFieldWidth);
  std::uint32_t m = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                              : static_cast<std::uint32_t>(value);
  char* p = out + kIntFieldWidth;
  for (; m >= 100; m /= 100) {
    p -= 2;
    put_pair(p, m % 100);
  }
  if (m >= 10) {
    p -= 2;
    put_pair(p, m);
  } else {
    *--p = static_cast<char>('0' + m);
  }
  if (value < 0) *--p = '-';
  return out + kIntFieldWidth;
}

char* put_int_width(char* out, std::int32_t value, int width) {
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  const int len = static_cast<int>(res.ptr - buf);
  if (len > width) {
    std::memset(out, '*', static_cast<std::size_t>(width));
    return out + width;
  }
  return right_align(out, buf, len, width);
}

char* put_real_field(char* out, float value) {
  if (!std::isfinite(value)) return put_nonfinite(out, value, kRealFieldWidth);
  const bool negative = std::signbit(value);
  char text[20];
  int len = 0;
  if (negative) text[len++] = '-';
  if (value == 0.0f) {
    std::memcpy(text + len, "0.00000000", 10);
    len += 10;
    right_align(out, text, len, 12);
    fill_blanks(out + 12, 4);
    return out + kRealFieldWidth;
  }
  char d[9];
  int k = 0;
  nine_digits(value, d, k);
  if (k >= -1 && k <= 8) {
    // The sign, the digits and the point end at column 12 (ten characters
    // after the sign, eleven with the "0." below 1); four blanks follow.
    std::memcpy(out, "                ", kRealFieldWidth);
    char* p = out + (k == -1 ? 1 : 2) - (negative ? 1 : 0);
    if (negative) *p++ = '-';
    if (k == -1) {  // 0.1 <= |v| < 1: a zero, the point, nine decimals
      p[0] = '0';
      p[1] = '.';
      std::memcpy(p + 2, d, 9);
    } else {  // 1 <= |v| < 1e9: k+1 digits, the point, 8-k decimals
      kPointAfter[k](p, d);
    }
    return out + kRealFieldWidth;
  }
  text[len++] = d[0];
  text[len++] = '.';
  std::memcpy(text + len, d + 1, 8);
  len += 8;
  text[len++] = 'E';
  text[len++] = k < 0 ? '-' : '+';
  const int e = k < 0 ? -k : k;
  text[len++] = static_cast<char>('0' + e / 10);
  text[len++] = static_cast<char>('0' + e % 10);
  return right_align(out, text, len, kRealFieldWidth);
}

char* put_fixed_field(char* out, float value, int width, int decimals) {
  if (!std::isfinite(value)) return put_nonfinite(out, value, width);
  const bool negative = std::signbit(value);
  const double a = std::fabs(static_cast<double>(value));
  // Exact for the widths in use: 24 significant bits times 5^decimals
  // (decimals <= 12) stays inside a double's 53 bits.  Anything of 1e15 or
  // more after scaling cannot fit a field narrower than 16 characters.
  char text[40];
  int len = 0;
  // The decimals are checked before they index the table of powers.
  if (decimals < 0 || decimals > 12 || width > 30 || a * kPow10[decimals] >= 1e15) {
    std::memset(out, '*', static_cast<std::size_t>(width));
    return out + width;
  }
  const double scaled = a * kPow10[decimals];
  auto n = static_cast<std::uint64_t>(std::rint(scaled));
  char digits[24];
  int nd = 0;
  do {
    digits[nd++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (nd < decimals + 1) digits[nd++] = '0';  // a 0 before the point
  if (negative) text[len++] = '-';
  for (int i = nd - 1; i >= decimals; --i) text[len++] = digits[i];
  text[len++] = '.';
  for (int i = decimals - 1; i >= 0; --i) text[len++] = digits[i];
  if (len > width) {
    std::memset(out, '*', static_cast<std::size_t>(width));
    return out + width;
  }
  return right_align(out, text, len, width);
}

// ---------------------------------------------------------------- TextOut

TextOut::TextOut(std::FILE* stream, std::size_t buffer_bytes)
    : stream_(stream), cap_(buffer_bytes < 256 ? 256 : buffer_bytes) {
  buf_ = static_cast<char*>(std::malloc(cap_));
  if (buf_ == nullptr) throw std::bad_alloc();
}

TextOut::TextOut(std::string* sink) : sink_(sink), cap_(4096) {
  buf_ = static_cast<char*>(std::malloc(cap_));
  if (buf_ == nullptr) throw std::bad_alloc();
}

TextOut::TextOut(TextBlockSink* sink, std::size_t buffer_bytes)
    : block_sink_(sink), cap_(buffer_bytes < 256 ? 256 : buffer_bytes) {
  buf_ = static_cast<char*>(std::malloc(cap_));
  if (buf_ == nullptr) throw std::bad_alloc();
}

TextOut::~TextOut() {
  flush();
  std::free(buf_);
}

// The buffer's bytes go on to their destination, the C stream left unflushed.
// A block sink takes the buffer itself and gives back another (an exchange
// that throws leaves the buffer and its bytes here).
void TextOut::hand_on() {
  if (len_ == 0) return;
  if (sink_ != nullptr) {
    sink_->append(buf_, len_);
  } else if (block_sink_ != nullptr) {
    buf_ = block_sink_->exchange(buf_, len_, cap_);
  } else if (stream_ != nullptr) {
    if (std::fwrite(buf_, 1, len_, stream_) != len_) failed_ = true;
  }
  len_ = 0;
}

bool TextOut::flush() {
  hand_on();
  if (stream_ != nullptr && std::fflush(stream_) != 0) failed_ = true;
  return !failed_;
}

char* TextOut::reserve(std::size_t n) {
  if (len_ + n > cap_) {
    hand_on();
    if (n > cap_) {
      char* bigger = static_cast<char*>(std::realloc(buf_, n));
      if (bigger == nullptr) throw std::bad_alloc();
      buf_ = bigger;
      cap_ = n;
    }
  }
  return buf_ + len_;
}

void TextOut::begin_record() {
  *reserve(1) = ' ';
  ++len_;
  last_ = Kind::none;
}

void TextOut::end_line() {
  *reserve(1) = '\n';
  ++len_;
}

void TextOut::put_text(std::string_view text) {
  const bool sep = last_ == Kind::number;
  char* p = reserve(text.size() + 1);
  if (sep) *p++ = ' ';
  std::memcpy(p, text.data(), text.size());
  len_ += text.size() + (sep ? 1 : 0);
  last_ = Kind::text;
}

void TextOut::put_int(std::int32_t value) {
  const bool sep = last_ != Kind::none;
  char* p = reserve(kIntFieldWidth + 1);
  if (sep) *p++ = ' ';
  put_int_field(p, value);
  len_ += kIntFieldWidth + (sep ? 1 : 0);
  last_ = Kind::number;
}

void TextOut::put_real(float value) {
  const bool sep = last_ != Kind::none;
  char* p = reserve(kRealFieldWidth + 1);
  if (sep) *p++ = ' ';
  put_real_field(p, value);
  len_ += kRealFieldWidth + (sep ? 1 : 0);
  last_ = Kind::number;
}

void TextOut::line(std::string_view text) {
  char* p = reserve(text.size() + 1);
  std::memcpy(p, text.data(), text.size());
  p[text.size()] = '\n';
  len_ += text.size() + 1;
}

void TextOut::write(std::string_view bytes) {
  char* p = reserve(bytes.size());
  std::memcpy(p, bytes.data(), bytes.size());
  len_ += bytes.size();
}

// --------------------------------------------------------- standard output

namespace {
TextOut*& current_out() {
  static TextOut stdout_records(stdout, 1 << 16);
  static TextOut* current = &stdout_records;
  return current;
}
}  // namespace

TextOut& out() { return *current_out(); }

CaptureStdout::CaptureStdout(std::string* sink) : previous_(current_out()), capture_(sink) {
  current_out() = &capture_;
}

CaptureStdout::~CaptureStdout() {
  capture_.flush();
  current_out() = previous_;
}

}  // namespace rn
