#include "utf8.hpp"

#include <cstdint>

namespace rn {

std::size_t utf8_sequence(std::string_view text, std::size_t k) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char c = byte(k);
  if (c < 0x80) return 1;
  std::size_t extra = 0;
  std::uint32_t code = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    extra = 1, code = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    extra = 2, code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    extra = 3, code = c & 0x07;
  } else {
    return 0;
  }
  if (k + extra >= text.size()) return 0;
  for (std::size_t j = 1; j <= extra; ++j) {
    const unsigned char cont = byte(k + j);
    if ((cont & 0xC0) != 0x80) return 0;
    code = (code << 6) | (cont & 0x3F);
  }
  if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (extra == 3 && (code < 0x10000 || code > 0x10FFFF))) {
    return 0;
  }
  return extra + 1;
}

bool is_utf8(std::string_view text) {
  for (std::size_t k = 0; k < text.size();) {
    const std::size_t n = utf8_sequence(text, k);
    if (n == 0) return false;
    k += n;
  }
  return true;
}

}  // namespace rn
