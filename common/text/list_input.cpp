#include "list_input.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "program_end.hpp"

namespace rn {
namespace {

constexpr std::size_t npos = std::string_view::npos;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_comma(char c) { return c == ',' || c == ';'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_quote(char c) { return c == '\'' || c == '"'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Characters that end an unquoted value (besides the end of the text).
bool ends_value(char c) { return is_blank(c) || is_comma(c) || c == '/' || c == '\n'; }

// First position at or after `pos` that ends an unquoted value.
std::size_t value_end(std::string_view text, std::size_t pos) {
  while (pos < text.size() && !ends_value(text[pos])) ++pos;
  return pos;
}

const char* kind_word(ListItem::Kind kind) {
  switch (kind) {
    case ListItem::Kind::real: return "a real";
    case ListItem::Kind::integer: return "an integer";
    case ListItem::Kind::text: return "a text";
  }
  return "a value";
}

// `value` cut or blank-padded to `width` characters.
void store_text(std::string& target, std::string_view value, std::size_t width) {
  target.assign(value.substr(0, width));
  target.resize(width, ' ');
}

// The 32-bit real nearest to 0.`digits` * 10^`exp10` (digits without a
// leading zero, possibly empty), `sticky` standing for nonzero digits cut off
// after them.  Keeping 200 digits plus one sticky digit cannot change the
// rounding: a 32-bit real, or a halfway point between two of them, never has
// more than 113 significant decimal digits.
float scaled_digits(const std::string& digits, bool sticky, long long exp10, bool negative) {
  float value = 0.0f;
  if (!digits.empty()) {
    // Beyond +-99999 the result is an infinity or a zero either way.
    const long long e = std::clamp(exp10, -99999LL, 99999LL);
    const std::string s = "0." + digits + (sticky ? "1" : "") + "e" + std::to_string(e);
    const auto res = std::from_chars(s.data(), s.data() + s.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
      value = e > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    }
  }
  return negative ? -value : value;
}

}  // namespace

// ---------------------------------------------------------------------------
// Token conversions

std::string message_text(std::string_view text) {
  constexpr std::size_t kMax = 40;
  std::string s(1, '"');
  for (char c : text.substr(0, kMax)) {
    s += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  }
  if (text.size() > kMax) s += "...";
  s += '"';
  return s;
}

bool parse_int32(std::string_view token, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  if (i == token.size()) return false;
  constexpr long long kLimit = 2147483648LL;  // |INT32_MIN|
  long long v = 0;
  for (; i < token.size(); ++i) {
    if (!is_digit(token[i])) return false;
    v = v * 10 + (token[i] - '0');
    if (v > kLimit) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

// Contract: reads a whole token as a 32-bit real.  Accepts [sign] digits
// [. digits] [exponent] (at least one digit; exponent E/D/Q in any case with
// optional sign, or a bare sign, then digits) and the words Inf, Infinity,
// NaN in any case.  The value is the decimal text rounded once to binary32,
// ties to even; out-of-range values become a signed infinity or zero.
// Linear in the token length; the text given to the final conversion is
// bounded (about 220 characters) whatever the token.
bool parse_real32(std::string_view token, float& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  const std::string_view rest = token.substr(i);
  auto is_word = [&rest](std::string_view word) {
    if (rest.size() != word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
      if (lower(rest[k]) != word[k]) return false;
    }
    return true;
  };
  if (is_word("inf") || is_word("infinity")) {
    value = negative ? -std::numeric_limits<float>::infinity()
                     : std::numeric_limits<float>::infinity();
    return true;
  }
  if (is_word("nan")) {
    value = std::numeric_limits<float>::quiet_NaN();  // never signed
    return true;
  }

  // Significand: integer digits, optional point, fraction digits.
  const std::size_t int_start = i;
  while (i < token.size() && is_digit(token[i])) ++i;
  const std::size_t int_digits = i - int_start;
  std::size_t frac_start = i;
  std::size_t frac_digits = 0;
  if (i < token.size() && token[i] == '.') {
    frac_start = ++i;
    while (i < token.size() && is_digit(token[i])) ++i;
    frac_digits = i - frac_start;
  }
  if (int_digits + frac_digits == 0) return false;

  // Exponent, saturated far beyond the 32-bit range and beyond any shift of
  // the point that a text held in memory can make.
  constexpr long long kExponentCap = 1000000000000000LL;
  long long exponent = 0;
  bool plain = token[0] != '+';  // a form the standard conversion reads as it stands
  if (i < token.size()) {
    const char c = lower(token[i]);
    plain = plain && c == 'e';
    if (c == 'e' || c == 'd' || c == 'q') ++i;
    else if (c != '+' && c != '-') return false;
    bool exp_negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) exp_negative = token[i++] == '-';
    const std::size_t exp_start = i;
    while (i < token.size() && is_digit(token[i])) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (token[i] - '0');
      ++i;
    }
    if (i == exp_start || i != token.size()) return false;
    if (exp_negative) exponent = -exponent;
  }

  // Short plain texts go straight to the (correctly rounding) standard
  // conversion; anything it does not take whole, or takes as out of range,
  // is rewritten below.
  if (plain && token.size() <= 40) {
    const auto res = std::from_chars(token.data(), token.data() + token.size(), value);
    if (res.ec == std::errc() && res.ptr == token.data() + token.size()) return true;
  }

  // Significant digits without leading zeros:
  // value = 0.digits * 10^(point_shift + exponent).
  constexpr std::size_t kKeep = 200;
  std::string digits;
  bool sticky = false;
  long long point_shift = 0;
  auto take = [&](std::string_view part, bool before_point) {
    for (char c : part) {
      if (digits.empty() && c == '0') {
        if (!before_point) --point_shift;
        continue;
      }
      if (before_point) ++point_shift;
      if (digits.size() < kKeep) digits += c;
      else sticky = sticky || c != '0';
    }
  };
  take(token.substr(int_start, int_digits), true);
  take(token.substr(frac_start, frac_digits), false);
  value = scaled_digits(digits, sticky, point_shift + exponent, negative);
  return true;
}

std::size_t scan_quoted(std::string_view text, std::size_t pos, std::size_t width,
                        std::string& out) {
  const char mark = text[pos];
  std::size_t kept = 0;
  auto keep = [&](char c) {
    if (kept < width) {
      out += c;
      ++kept;
    }
  };
  for (std::size_t i = pos + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == mark) {
      if (i + 1 < text.size() && text[i + 1] == mark) {
        keep(mark);
        ++i;
        continue;
      }
      return i + 1;
    }
    if (c == '\n') continue;                                           // line break dropped
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // CR of a CR LF
    keep(c);
  }
  return npos;
}

// ---------------------------------------------------------------------------
// Records

// Contract: fills the items of one record from the reader's position (the
// start of a line), following the rules of the header; leaves the position at
// the start of the line after the one where the record ended.  Each byte is
// looked at a bounded number of times, except the value of a repeat count,
// which is converted once per item it serves (at most the item count).
class ListReader::Scan {
 public:
  explicit Scan(ListReader& r) : r_(r), text_(r.text_) {}

  ReadResult run(const ListItem* items, std::size_t count) {
    ReadResult result;
    for (std::size_t k = 0; k < count; ++k) {
      const ListItem& item = items[k];
      if (repeat_left_ > 0) {
        --repeat_left_;
        if (!repeat_null_) {
          std::size_t end = 0;
          if (!convert(repeat_pos_, item, end, result)) return finish(result);
          ++result.values;
        }
        continue;
      }
      if (complete_) continue;
      if (!find_value(result)) return finish(result);
      if (complete_) continue;
      const char c = text_[r_.pos_];
      if (is_comma(c)) {  // a null value; this comma is the separator after it
        ++r_.pos_;
        continue;
      }
      std::size_t start = r_.pos_;
      std::int32_t repeat = 0;
      if (!repeat_count(start, repeat, result)) return finish(result);
      if (repeat > 0) {  // n* (n nulls) or n*value: this item and n-1 more
        repeat_left_ = repeat - 1;
        repeat_null_ = start >= text_.size() || ends_value(text_[start]);
        repeat_pos_ = start;
        if (repeat_null_) {
          r_.pos_ = start;
          need_separator_ = true;
          continue;
        }
      }
      std::size_t end = 0;
      if (!convert(start, item, end, result)) return finish(result);
      ++result.values;
      r_.pos_ = end;
      need_separator_ = true;
    }
    skip_rest_of_line();
    return result;
  }

 private:
  // Moves to the start of the next value, over blanks, line ends and the one
  // comma that may separate it from the previous value; a slash there ends
  // the record (complete_).  False at the end of the text.
  bool find_value(ReadResult& result) {
    skip_space();
    if (need_separator_ && r_.pos_ < text_.size() && is_comma(text_[r_.pos_])) {
      ++r_.pos_;
      skip_space();
    }
    need_separator_ = false;
    if (r_.pos_ >= text_.size()) {
      result.status = ReadStatus::end_of_file;
      result.message = "end of file";
      return false;
    }
    if (text_[r_.pos_] == '/') {
      ++r_.pos_;
      complete_ = true;
    }
    return true;
  }

  void skip_space() {
    while (r_.pos_ < text_.size() && (is_blank(text_[r_.pos_]) || text_[r_.pos_] == '\n')) ++r_.pos_;
  }

  void skip_rest_of_line() {
    const std::size_t nl = text_.find('\n', r_.pos_);
    r_.pos_ = nl == npos ? text_.size() : nl + 1;
  }

  // A repeat count "n*" at `start`: sets `repeat` (> 0) and moves `start`
  // past the star.  Without a star `repeat` stays 0 and `start` unmoved.
  bool repeat_count(std::size_t& start, std::int32_t& repeat, ReadResult& result) {
    std::size_t i = start;
    while (i < text_.size() && is_digit(text_[i])) ++i;
    if (i == start || i >= text_.size() || text_[i] != '*') return true;
    const std::string_view digits = text_.substr(start, i - start);
    if (!parse_int32(digits, repeat) || repeat <= 0) {
      std::string what = "bad repeat count ";
      what += message_text(std::string(digits) + "*");
      return fail(result, start, what);
    }
    start = i + 1;
    return true;
  }

  // Converts the value at `start` into `item`; `end` is where it stops.
  bool convert(std::size_t start, const ListItem& item, std::size_t& end, ReadResult& result) {
    if (item.kind == ListItem::Kind::text && is_quote(text_[start])) {
      std::string value;
      end = scan_quoted(text_, start, item.width, value);
      if (end == npos) {
        r_.pos_ = text_.size();
        result.status = ReadStatus::end_of_file;
        result.message = "end of file inside a quoted text";
        return false;
      }
      if (end < text_.size() && !ends_value(text_[end])) {
        return fail(result, end,
                    std::string("characters after the closing quote of the ") +
                        std::string(item.name));
      }
      store_text(*static_cast<std::string*>(item.target), value, item.width);
      return true;
    }
    end = value_end(text_, start);
    const std::string_view token = text_.substr(start, end - start);
    bool good = true;
    switch (item.kind) {
      case ListItem::Kind::text:
        store_text(*static_cast<std::string*>(item.target), token, item.width);
        break;
      case ListItem::Kind::integer:
        good = parse_int32(token, *static_cast<std::int32_t*>(item.target));
        break;
      case ListItem::Kind::real:
        good = parse_real32(token, *static_cast<float*>(item.target));
        break;
    }
    if (good) return true;
    return fail(result, start,
                message_text(token) + " is not " + kind_word(item.kind) + " (" +
                    std::string(item.name) + ")");
  }

  bool fail(ReadResult& result, std::size_t at, const std::string& what) {
    result.status = ReadStatus::error;
    result.message = "line " + std::to_string(line_of(at)) + ": " + what;
    return false;
  }

  std::size_t line_of(std::size_t at) const {
    at = std::min(at, text_.size());
    return 1 + static_cast<std::size_t>(std::count(text_.begin(), text_.begin() + at, '\n'));
  }

  ReadResult finish(ReadResult& result) {
    if (result.status == ReadStatus::error) skip_rest_of_line();
    return result;
  }

  ListReader& r_;
  std::string_view text_;
  bool need_separator_ = false;  // a value was read; one comma may follow
  bool complete_ = false;        // a slash ended the record
  std::int32_t repeat_left_ = 0;
  bool repeat_null_ = false;
  std::size_t repeat_pos_ = 0;
};

ReadResult ListReader::read_record(std::initializer_list<ListItem> items) {
  return read_record(items.begin(), items.size());
}

ReadResult ListReader::read_record(const ListItem* items, std::size_t count) {
  if (count == 0) return skip_line();
  Scan scan(*this);
  return scan.run(items, count);
}

ReadResult ListReader::skip_line() {
  ReadResult result;
  if (at_end()) {
    result.status = ReadStatus::end_of_file;
    result.message = "end of file";
    return result;
  }
  const std::size_t nl = text_.find('\n', pos_);
  pos_ = nl == npos ? text_.size() : nl + 1;
  return result;
}

// ---------------------------------------------------------------------------
// One-value conversions

namespace {

ReadResult read_one(std::string_view text, const ListItem& item) {
  ListReader reader(text);
  ReadResult result = reader.read_record(&item, 1);
  const std::string what = std::string(item.name) + " " + message_text(trim_right(text));
  if (result.status == ReadStatus::end_of_file) {
    result.message = "no value in " + what;
  } else if (result.status == ReadStatus::error) {
    result.message = "cannot read " + std::string(kind_word(item.kind)) + " from " + what;
  } else if (result.values == 0) {
    result.status = ReadStatus::error;
    result.message = "no value in " + what;
  }
  return result;
}

}  // namespace

ReadResult read_int_text(std::string_view text, std::int32_t& value, std::string_view name) {
  return read_one(text, int_item(value, name));
}

ReadResult read_real_text(std::string_view text, float& value, std::string_view name) {
  return read_one(text, real_item(value, name));
}

std::int32_t int_argument(std::string_view text, std::string_view name) {
  std::int32_t value = 0;
  const ReadResult result = read_int_text(text, value, name);
  if (!result.ok()) fail("Error: " + result.message);
  return value;
}

ReadResult read_text_file(const std::string& path, std::string& text) {
  ReadResult result;
  text.clear();
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (file) {
    char buffer[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, n);
    if (!std::ferror(file.get())) return result;
  }
  const int code = errno;
  result.status = ReadStatus::error;
  result.message = "cannot read " + path + ": " + std::strerror(code);
  text.clear();
  return result;
}

// ---------------------------------------------------------------------------
// Station lists

ReadResult StationReader::next(Station& station) {
  const ReadResult result = reader_.read_record({
      real_item(current_.lat, "latitude"),
      real_item(current_.lon, "longitude"),
      text_item(name_, kStationNameWidth, "station name"),
      int_item(current_.number, "station number"),
      int_item(current_.column, "grid column"),
      int_item(current_.row, "grid row"),
  });
  if (result.ok()) {
    station = current_;
    station.name.assign(trim_right(name_));
  }
  return result;
}

}  // namespace rn
