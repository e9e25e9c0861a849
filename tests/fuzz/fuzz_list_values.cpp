// Fuzz target: single values of free-format list input, as read from a
// numeric command-line argument or a latitude text.  The input is the text.
//
// Checked against independent conversions of the C library: a token that
// the integer reader takes must be the decimal integer strtoll reads; a token
// that the real reader takes must give the float strtof gives for the same
// number (the D, Q and bare-sign exponents written as E), bit for bit; and
// every plain decimal token that strtof reads whole must be taken.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "list_input.hpp"

namespace {

using rn::fuzz::check;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// strtoll as the reference: [sign] digits only, in the 32-bit range.
void check_int(std::string_view token) {
  std::int32_t value = 0;
  const bool taken = rn::parse_int32(token, value);
  std::size_t i = (!token.empty() && (token[0] == '+' || token[0] == '-')) ? 1 : 0;
  bool digits_only = i < token.size();
  for (; i < token.size(); ++i) digits_only = digits_only && is_digit(token[i]);
  if (!digits_only) {
    check(!taken, "an integer token holds only a sign and digits");
    return;
  }
  const std::string s(token);
  errno = 0;
  const long long ref = std::strtoll(s.c_str(), nullptr, 10);
  const bool in_range = errno == 0 && ref >= INT32_MIN && ref <= INT32_MAX;
  check(taken == in_range, "an integer token is taken exactly when it is in the 32-bit range");
  if (taken) check(value == ref, "an integer token reads as its decimal value");
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The token with its exponent written the way strtof reads it.
std::string with_e_exponent(std::string_view token) {
  std::size_t i = (!token.empty() && (token[0] == '+' || token[0] == '-')) ? 1 : 0;
  while (i < token.size() && (is_digit(token[i]) || token[i] == '.')) ++i;
  std::string s(token.substr(0, i));
  if (i < token.size()) {
    s += 'e';
    if (is_letter(token[i])) ++i;
    s += token.substr(i);
  }
  return s;
}

void check_real(std::string_view token) {
  float value = 0.0f;
  const bool taken = rn::parse_real32(token, value);
  const std::size_t sign = (!token.empty() && (token[0] == '+' || token[0] == '-')) ? 1 : 0;
  if (sign < token.size() && is_letter(token[sign])) {  // the words Inf, Infinity, NaN
    if (!taken) return;
    check(std::isinf(value) || (std::isnan(value) && !std::signbit(value)),
          "a word reads as an infinity or an unsigned NaN");
    if (std::isinf(value)) check(std::signbit(value) == (token[0] == '-'), "an infinity keeps its sign");
    return;
  }
  if (taken) {
    const std::string s = with_e_exponent(token);
    char* end = nullptr;
    const float ref = std::strtof(s.c_str(), &end);
    check(end == s.c_str() + s.size(), "a real token taken is a number strtof reads whole");
    check(same_bits(value, ref), "a real token rounds once to the nearest float, like strtof");
    return;
  }
  bool plain = true;  // digits, point, sign and E only: strtof's own forms
  for (char c : token) plain = plain && (is_digit(c) || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E');
  if (!plain || token.empty()) return;
  const std::string s(token);
  char* end = nullptr;
  std::strtof(s.c_str(), &end);
  check(end != s.c_str() + s.size(), "a plain decimal token that strtof reads whole is taken");
}

// The one-value conversions: ok means one value set; int_argument agrees
// with read_int_text and ends the program only when that fails.
void check_one_value(std::string_view text) {
  std::int32_t iv = 0;
  const rn::ReadResult ir = rn::read_int_text(text, iv, "count");
  check(ir.ok() ? ir.values == 1 && ir.message.empty() : !ir.message.empty(),
        "an integer text gives one value or a message");
  float rv = 0.0f;
  const rn::ReadResult rr = rn::read_real_text(text, rv, "latitude");
  check(rr.ok() ? rr.values == 1 && rr.message.empty() : !rr.message.empty(),
        "a real text gives one value or a message");

  std::int32_t arg = 0;
  const bool ran = rn::fuzz::run_input([&] { arg = rn::int_argument(text, "count"); });
  check(ran == ir.ok(), "int_argument ends the program exactly when the text holds no integer");
  if (ran) check(arg == iv, "int_argument gives the value of read_int_text");

  const std::string shown = rn::message_text(text);
  check(shown.size() <= 45, "a message shows at most 40 bytes of input");
  for (char c : shown) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, "a message shows no control characters");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_int(text);
  check_real(text);
  check_one_value(text);
  return 0;
}
