// Record layouts: the records of one placemark composed once and filled in
// for every point.
//
// From one placemark of a kind to the next only the numbers and a few texts
// (a style id, a station name) change.  A number fills a field of fixed
// width, and the blanks between the items of a record depend on the kinds of
// the items alone, never on their values.  A layout is such a group of
// records rendered once by the text-record writer with every changing item
// left as a slot; writing it copies the fixed bytes and renders each value
// into its slot.  The bytes are those that writing the records item by item
// gives, at a fraction of the cost.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "text_record.hpp"

namespace rn::kml {

/// Items of a layout's records that change from one placemark to the next:
/// a 32-bit integer, a 32-bit real, a text.
struct IntSlot {};
struct RealSlot {};
struct TextSlot {};

class RecordLayout {
 public:
  /// Appends one record of fixed texts and slots, joined and spaced as
  /// TextOut::record joins and spaces texts and numbers.
  template <typename... Items>
  RecordLayout& record(const Items&... items) {
    TextOut composer(&bytes_);
    composer.begin_record();
    (add(composer, items), ...);
    composer.end_record();
    return *this;
  }

  // Contract: writes the layout's records onto `out` with `values` in the
  // slots, in slot order: a std::int32_t for an IntSlot, a float for a
  // RealSlot, a text for a TextSlot.  The bytes are those of TextOut::record
  // called with the same items (the join rule depends on the kinds alone and
  // the fields are rendered by the same routines).  Values of another number
  // or kind are a programming error (std::logic_error).  Cost: one pass over
  // the layout's bytes and the texts, one field rendering per number.
  template <typename... Values>
  void write(TextOut& out, const Values&... values) const {
    if (sizeof...(Values) != slots_.size()) throw std::logic_error("record layout: slot count");
    const std::size_t size = bytes_.size() + (text_size(values) + ... + 0);
    std::string spill;
    char local[1024];
    char* const start = size <= sizeof local ? local : (spill.resize(size), spill.data());
    Filler filler{bytes_.data(), start};
    const Slot* slot = slots_.data();
    (filler.put(*slot++, values), ...);
    filler.copy_to(bytes_.size());
    out.write(std::string_view(start, size));
  }

 private:
  enum class Kind : std::uint8_t { integer, real, text };
  struct Slot {
    Kind kind;
    std::uint32_t at;  ///< where the slot's field or text starts in bytes_
  };

  /// Copies the fixed bytes up to each slot and renders the slot's value.
  struct Filler {
    const char* fixed;
    char* out;
    std::size_t from = 0;  ///< fixed bytes copied so far

    void copy_to(std::size_t at) {
      std::memcpy(out, fixed + from, at - from);
      out += at - from;
      from = at;
    }
    template <typename T>
    void put(const Slot& slot, const T& value) {
      copy_to(slot.at);
      if constexpr (std::is_same_v<T, std::int32_t>) {
        expect(slot, Kind::integer);
        out = put_int_field(out, value);
        from += kIntFieldWidth;
      } else if constexpr (std::is_same_v<T, float>) {
        expect(slot, Kind::real);
        out = put_real_field(out, value);
        from += kRealFieldWidth;
      } else {
        expect(slot, Kind::text);
        const std::string_view text(value);
        if (text.empty()) return;  // an empty view may have no data at all
        std::memcpy(out, text.data(), text.size());
        out += text.size();
      }
    }
    static void expect(const Slot& slot, Kind kind) {
      if (slot.kind != kind) throw std::logic_error("record layout: value of another kind");
    }
  };

  template <typename T>
  static std::size_t text_size(const T& value) {
    if constexpr (std::is_same_v<T, std::int32_t> || std::is_same_v<T, float>) {
      return 0;
    } else {
      return std::string_view(value).size();
    }
  }

  template <typename T>
  void add(TextOut& composer, const T& item) {
    if constexpr (std::is_same_v<T, IntSlot>) {
      composer.add_int(0);
      mark(composer, Kind::integer, kIntFieldWidth);
    } else if constexpr (std::is_same_v<T, RealSlot>) {
      composer.add_real(0.0f);
      mark(composer, Kind::real, kRealFieldWidth);
    } else if constexpr (std::is_same_v<T, TextSlot>) {
      composer.add_text("");
      mark(composer, Kind::text, 0);
    } else {
      composer.add_text(std::string_view(item));
    }
  }

  /// Notes a slot whose field of `width` bytes the composer has just written.
  void mark(TextOut& composer, Kind kind, int width) {
    composer.flush();
    slots_.push_back({kind, static_cast<std::uint32_t>(bytes_.size() - width)});
  }

  std::string bytes_;  ///< the records with zero numbers and empty texts
  std::vector<Slot> slots_;
};

}  // namespace rn::kml
