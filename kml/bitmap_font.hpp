// A tiny built-in bitmap font (5 x 7 pixels, one pixel of spacing) for the
// legend pictures: digits, lower-case letters, the capitals and signs the
// legends use.
#pragma once

#include <array>
#include <cstdint>

namespace rn::kml {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6;

/// The rows of character `c`, top first, bit 4 the leftmost pixel; null when
/// the font has no such character.
const std::array<std::uint8_t, kGlyphHeight>* glyph(char c);

}  // namespace rn::kml
