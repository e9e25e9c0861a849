// Input layouts of the fuzz targets that take more than a plain text, shared
// by the targets (which decode them) and the seed-corpus writer (which
// encodes the reference vectors in them).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "list_input.hpp"

namespace rn::fuzz {

// ---------------------------------------------------------------------------
// fuzz_list_input: a count byte (1 + n % 8 items), one layout byte per item,
// then the list text.

inline constexpr std::array<std::size_t, 7> kItemWidths = {0, 1, 7, 20, 50, 80, 256};

struct ItemChoice {
  ListItem::Kind kind;
  std::size_t width;  ///< text items only
};

/// Kind (byte % 3: real, integer, text) and text width (byte / 3, from
/// `kItemWidths`) of an item.
inline ItemChoice decode_item(std::uint8_t b) {
  static constexpr ListItem::Kind kKinds[] = {ListItem::Kind::real, ListItem::Kind::integer,
                                              ListItem::Kind::text};
  return {kKinds[b % 3], kItemWidths[(b / 3) % kItemWidths.size()]};
}

/// The layout byte of an item; `width` must be one of `kItemWidths`.
inline std::uint8_t encode_item(ListItem::Kind kind, std::size_t width = 0) {
  std::size_t w = 0;
  while (w + 1 < kItemWidths.size() && kItemWidths[w] != width) ++w;
  const std::size_t k = kind == ListItem::Kind::real ? 0 : kind == ListItem::Kind::integer ? 1 : 2;
  return static_cast<std::uint8_t>(k + 3 * w);
}

// ---------------------------------------------------------------------------
// fuzz_text_record: a sequence of items, each a tag byte (value % 5) and its
// operands:
//   real       4 bytes, the float's bits (little-endian)
//   integer    4 bytes
//   text       2 bytes length (% 8192), then the bytes
//   fixed      4 bytes float bits, 1 byte width (% 41), 1 byte decimals
//              (% 24 - 4, so that widths and decimals beyond the sane
//              ones are tried too)
//   int_width  4 bytes integer, 1 byte width (% 41)
enum class RecordTag : std::uint8_t { real, integer, text, fixed, int_width, count };

// ---------------------------------------------------------------------------
// fuzz_dates: an operation byte (value % 6), then its operands:
//   new_date      4 bytes count, 1 byte new length (% 32), the stamp
//   difference    1 byte length of the new stamp, the new stamp, the old stamp
//   swap          1 byte out length (% 32), the stamp
//   month_days    the stamp
//   month_number  the text
//   month_abbr    4 bytes month number
enum class DateOp : std::uint8_t { new_date, difference, swap, month_days, month_number, month_abbr, count };

}  // namespace rn::fuzz
