#include "date_utilities.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "command_line.hpp"
#include "program_end.hpp"
#include "list_input.hpp"
#include "text_record.hpp"

namespace rn {
namespace {

constexpr std::string_view kMonthAbbr = "JanFebMarAprMayJunJulAugSepOctNovDec";
constexpr std::array<std::int32_t, 12> kMonthDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};

// The leap rule repeats every 3600 years; a whole cycle holds this many days.
constexpr std::int64_t kCycleYears = 3600;

constexpr std::int32_t feb_days(std::int64_t year) {
  if (year % 4 != 0) return 28;
  if (year % 100 != 0) return 29;
  if (year % 400 != 0) return 28;
  if (year % 3600 != 0) return 29;
  return 28;
}

constexpr std::int64_t year_days(std::int64_t year) {
  return 337 + feb_days(year);
}

constexpr std::int64_t cycle_days() {
  std::int64_t days = 0;
  for (std::int64_t y = 0; y < kCycleYears; ++y) days += year_days(y);
  return days;
}
constexpr std::int64_t kCycleDays = cycle_days();
static_assert(kCycleDays == 3600 * 365 + 900 - 36 + 9 - 1);

// Length of month `month` (1-12) of `year`.
std::int32_t month_days(std::int32_t month, std::int64_t year) {
  return month == 2 ? feb_days(year) : kMonthDays[month - 1];
}

bool is_dashed(std::string_view stamp) {
  return stamp.size() >= 5 && stamp[4] == '-';
}

// Level of a stamp of `length` characters in the given layout: 1 day,
// 2 hour, 3 minute, 4 second, 5-8 fraction with level - 4 digits; 0 for a
// length the layout does not know.
int stamp_level(bool dashed, std::size_t length) {
  if (dashed) {
    switch (length) {
      case 10: return 1;
      case 13: return 2;
      case 16: return 3;
      case 19: return 4;
      case 21: case 22: case 23: case 24: return static_cast<int>(length) - 16;
      default: return 0;
    }
  }
  switch (length) {
    case 8: return 1;
    case 10: return 2;
    case 12: return 3;
    case 14: return 4;
    case 15: case 16: case 17: case 18: return static_cast<int>(length) - 10;
    default: return 0;
  }
}

// Fraction units per second at a level: 10^(level - 4) from level 5, else 1.
std::int64_t fraction_units(int level) {
  std::int64_t f = 1;
  for (int i = 4; i < level; ++i) f *= 10;
  return f;
}

// Integer field of fixed width: leading and embedded blanks are ignored, an
// optional sign may lead, an all-blank field is 0.  Anything else (a letter,
// a sign without digits) is unreadable.  Fields are at most 4 characters.
std::optional<std::int32_t> read_int_field(std::string_view field) {
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  if (i == field.size()) return 0;
  std::int32_t sign = 1;
  if (field[i] == '+' || field[i] == '-') {
    if (field[i] == '-') sign = -1;
    ++i;
  }
  std::int32_t value = 0;
  bool digits = false;
  for (; i < field.size(); ++i) {
    const char c = field[i];
    if (c == ' ') continue;
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    digits = true;
  }
  if (!digits) return std::nullopt;
  return sign * value;
}

// Start (0-based) of month, day, hour, minute, second and fraction in a
// stamp of the given layout; the year always fills the first 4 characters.
const std::array<std::size_t, 6>& field_starts(bool dashed) {
  static constexpr std::array<std::size_t, 6> kDashed = {5, 8, 11, 14, 17, 20};
  static constexpr std::array<std::size_t, 6> kCompact = {4, 6, 8, 10, 12, 14};
  return dashed ? kDashed : kCompact;
}

// Separators written before month, day, hour, minute, second and fraction
// in the dashed layout.
constexpr std::array<char, 6> kSeparators = {'-', '-', '_', ':', ':', '.'};

// The fields of a stamp; fields beyond its level are 0.
struct Stamp {
  std::int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0,
               second = 0, fraction = 0;
  bool readable = true;
};

// Reads the fields a stamp of the given layout and level holds.
Stamp read_stamp(std::string_view s, bool dashed, int level) {
  const auto& at = field_starts(dashed);
  Stamp st;
  const auto take = [&](std::int32_t& field, std::optional<std::int32_t> v) {
    if (v) {
      field = *v;
    } else {
      st.readable = false;
    }
  };
  take(st.year, read_int_field(s.substr(0, 4)));
  const std::array<std::int32_t*, 5> fields = {&st.month, &st.day, &st.hour,
                                               &st.minute, &st.second};
  for (int i = 0; i < std::min(level, 4) + 1; ++i) {
    take(*fields[i], read_int_field(s.substr(at[i], 2)));
  }
  if (level >= 5) {
    // The fraction is read as one free-format list value.
    std::int32_t fraction = 0;
    take(st.fraction, read_int_text(s.substr(at[5]), fraction).ok()
                          ? std::optional<std::int32_t>(fraction)
                          : std::nullopt);
  }
  return st;
}

// A stamp whose fields name a real instant: month 1-12, day within its
// month, hour 0-23, minute and second 0-59, fraction within its units.
bool possible(const Stamp& st, int level) {
  if (!st.readable) return false;
  if (st.month < 1 || st.month > 12) return false;
  if (st.day < 1 || st.day > month_days(st.month, st.year)) return false;
  if (st.hour < 0 || st.hour > 23) return false;
  if (st.minute < 0 || st.minute > 59) return false;
  if (st.second < 0 || st.second > 59) return false;
  return st.fraction >= 0 && st.fraction < fraction_units(level);
}

// Days from 1 January of `year` to the stamp's date.
std::int64_t day_of_year(const Stamp& st) {
  std::int64_t days = st.day - 1;
  for (std::int32_t m = 1; m < st.month; ++m) days += month_days(m, st.year);
  return days;
}

// Moves a possible date by `delta` days (either sign).
// Contract: st holds a possible date; afterwards it holds the date `delta`
// days later (earlier when negative) in the calendar of `february_days`, the same
// date that stepping one day at a time gives.  Whole 3600-year cycles are
// jumped at once, so the cost is O(years moved mod 3600 + 12).
void shift_days(Stamp& st, std::int64_t delta) {
  std::int64_t year = st.year;
  std::int64_t pos = day_of_year(st) + delta;  // days after 1 January of year
  const std::int64_t cycles = pos / kCycleDays;
  year += cycles * kCycleYears;
  pos -= cycles * kCycleDays;
  while (pos < 0) {
    --year;
    pos += year_days(year);
  }
  while (pos >= year_days(year)) {
    pos -= year_days(year);
    ++year;
  }
  std::int32_t month = 1;
  while (pos >= month_days(month, year)) {
    pos -= month_days(month, year);
    ++month;
  }
  st.year = static_cast<std::int32_t>(year);
  st.month = month;
  st.day = static_cast<std::int32_t>(pos) + 1;
}

// Adds (sign +1) or subtracts (sign -1) `amount` to a field that counts
// modulo `base`, with the carry or borrow `carry` from the unit below;
// returns the carry or borrow into the unit above.  |amount| < base.
std::int32_t step_field(std::int32_t& field, std::int64_t amount,
                        std::int64_t base, int sign, std::int32_t carry) {
  std::int64_t v = field + sign * (amount + carry);
  std::int32_t out_carry = 0;
  if (v >= base) {
    v -= base;
    out_carry = 1;
  } else if (v < 0) {
    v += base;
    out_carry = 1;
  }
  field = static_cast<std::int32_t>(v);
  return out_carry;
}

void put_two_digits(std::string& s, std::int32_t v) {
  s.push_back(static_cast<char>('0' + v / 10));
  s.push_back(static_cast<char>('0' + v % 10));
}

// Writes the fields of `st` that a stamp of `level` holds, in the given
// layout: year right-aligned in 4 characters (asterisks beyond), the other
// fields as two digits, then the last level - 4 digits of the fraction.
std::string write_stamp(const Stamp& st, bool dashed, int level) {
  std::string s;
  char year[4];
  put_int_width(year, st.year, 4);
  s.append(year, 4);
  const std::array<std::int32_t, 5> fields = {st.month, st.day, st.hour,
                                               st.minute, st.second};
  for (int i = 0; i < std::min(level, 4) + 1; ++i) {
    if (dashed) s.push_back(kSeparators[i]);
    put_two_digits(s, fields[i]);
  }
  if (level >= 5) {
    if (dashed) s.push_back(kSeparators[5]);
    const std::string digits = std::to_string(st.fraction + 1000000000);
    s.append(digits, digits.size() - static_cast<std::size_t>(level - 4));
  }
  return s;
}

}  // namespace

std::int32_t february_days(std::int32_t year) { return feb_days(year); }

// Advances a stamp by a signed count of units of its level.
// Contract: odate has a length of its layout's table and names a possible
// instant, otherwise the program ends with a message naming it; ndate_length
// must be a length of odate's layout.  The count is split into days, hours,
// minutes, seconds and fraction, added (or subtracted) from the smallest unit
// up with carries, then the date moves by whole days.  Character 11 of a
// dashed odate survives into a long enough ndate.  Cost O(1) apart from the
// year walk of `shift_days`.
std::string advance_stamp(std::string_view odate, std::int32_t idt, std::size_t ndate_length) {
  const bool dashed = is_dashed(odate);
  const int level = stamp_level(dashed, odate.size());
  if (level == 0) {
    out().record("ERROR: geth_newdate:  odd length: #", trim_right(odate), "#");
    record_stop(dashed ? "In geth_newdate() odd length"
                            : "In geth_newdate() - odd length");
  }
  const int new_level = stamp_level(dashed, ndate_length);
  if (new_level == 0) {
    out().record("ERROR: geth_newdate:  odd new date length: #",
                 std::to_string(ndate_length), "#");
    record_stop("In geth_newdate() - odd new date length");
  }
  Stamp st = read_stamp(odate, dashed, level);
  if (!possible(st, level)) {
    out().record("Screwy ODATE: ", odate);
    record_stop("In geth_newdate() - Screwy ODATE");
  }

  // Split |idt| into days, hours, minutes, seconds and fraction units.
  const std::int64_t f = fraction_units(level);
  const std::int64_t count = idt < 0 ? -static_cast<std::int64_t>(idt) : idt;
  std::int64_t per_day = 1;  // units of the level per day
  if (level >= 2) per_day *= 24;
  if (level >= 3) per_day *= 60;
  if (level >= 4) per_day *= 60 * f;
  std::int64_t days = count / per_day;
  std::int64_t rest = count % per_day;
  std::int64_t hours = 0, minutes = 0, seconds = 0, fraction = 0;
  if (level >= 2) {
    const std::int64_t per_hour = per_day / 24;
    hours = rest / per_hour;
    rest %= per_hour;
  }
  if (level >= 3) {
    const std::int64_t per_minute = per_day / 1440;
    minutes = rest / per_minute;
    rest %= per_minute;
  }
  if (level >= 4) {
    seconds = rest / f;
    fraction = rest % f;
  }

  const int sign = idt < 0 ? -1 : 1;
  std::int32_t carry = step_field(st.fraction, fraction, f, sign, 0);
  carry = step_field(st.second, seconds, 60, sign, carry);
  carry = step_field(st.minute, minutes, 60, sign, carry);
  carry = step_field(st.hour, hours, 24, sign, carry);
  days += carry;
  shift_days(st, sign * days);

  std::string ndate = write_stamp(st, dashed, new_level);
  if (dashed && odate.size() > 10 && ndate.size() > 10) ndate[10] = odate[10];
  return ndate;
}

std::string advance_stamp(std::string_view odate, std::int32_t idt) {
  return advance_stamp(odate, idt, odate.size());
}

// Difference of two stamps in units of their common level.
// Contract: both stamps have the same length and layout and name possible
// instants, otherwise the program ends with the message naming the fault
// (the later stamp is examined first).  Whole years between the two are
// counted one by one (4-character years keep that short), then the day of
// the year, then hours down to fraction units.  The result must fit 32 bits.
std::int32_t stamp_difference(std::string_view newdate, std::string_view olddate) {
  if (newdate.size() != olddate.size()) {
    std::string line = "GETH_IDTS: NEWLEN /= OLDLEN: ";
    line.append(newdate).append("   ").append(olddate);
    out().line(line);
    record_stop("In geth_idts() - NEWLEN /= OLDLEN");
  }
  const bool backwards = olddate > newdate;
  const std::string_view later = backwards ? olddate : newdate;
  const std::string_view earlier = backwards ? newdate : olddate;
  const bool dashed = is_dashed(later);
  if (dashed != is_dashed(earlier)) {
    std::string line = "GETH_IDTS: Dates appear to be different formats: ";
    line.append(later).append("   ").append(earlier);
    out().line(line);
    record_stop("In geth_idts() - Dates appear to be different formats");
  }
  const int level = stamp_level(dashed, later.size());
  if (level == 0) {
    out().record("ERROR: geth_idts:  odd length: #", trim_right(earlier), "#");
    record_stop("In geth_idts() - odd length");
  }
  const Stamp l = read_stamp(later, dashed, level);
  const Stamp e = read_stamp(earlier, dashed, level);
  if (!possible(l, level)) {
    out().record("Screwy NDATE: ", later);
    record_stop("In geth_idts() - Screwy NDATE ");
  }
  if (!possible(e, level)) {
    out().record("Screwy ODATE: ", earlier);
    record_stop("In geth_idts() - Screwy ODATE ");
  }

  std::int64_t diff = 0;
  for (std::int64_t y = e.year; y < l.year; ++y) diff += year_days(y);
  // A year written with a sign or inner blanks ("-999", "1 99") can compare
  // as text in the other order than in time; its years then count back.
  for (std::int64_t y = l.year; y < e.year; ++y) diff -= year_days(y);
  diff += day_of_year(l) - day_of_year(e);
  if (level >= 2) diff = diff * 24 + (l.hour - e.hour);
  if (level >= 3) diff = diff * 60 + (l.minute - e.minute);
  if (level >= 4) diff = diff * 60 + (l.second - e.second);
  if (level >= 5) diff = diff * fraction_units(level) + (l.fraction - e.fraction);
  if (backwards) diff = -diff;
  if (diff < INT32_MIN || diff > INT32_MAX) {
    out().record("ERROR: geth_idts:  difference out of range: #", later,
                 "#   #", earlier, "#");
    record_stop("In geth_idts() - difference out of range");
  }
  return static_cast<std::int32_t>(diff);
}

bool is_hour_label(std::string_view label) {
  if (label.size() < 10) return false;
  std::int32_t v[4] = {};  // year, month, day, hour
  const std::size_t widths[4] = {4, 2, 2, 2};
  std::size_t at = 0;
  for (int f = 0; f < 4; ++f) {
    for (std::size_t k = 0; k < widths[f]; ++k, ++at) {
      if (label[at] < '0' || label[at] > '9') return false;
      v[f] = v[f] * 10 + (label[at] - '0');
    }
  }
  if (v[1] < 1 || v[1] > 12 || v[3] > 23) return false;
  return v[2] >= 1 && v[2] <= month_days(v[1], v[0]);
}

std::int32_t days_in_month(std::string_view hdate) {
  std::optional<std::int32_t> year, month;
  if (hdate.size() >= 7) {
    year = read_int_field(hdate.substr(0, 4));
    month = read_int_field(hdate.substr(5, 2));
  }
  if (!year || !month || *month < 1 || *month > 12) {
    out().record("Screwy HDATE: ", hdate);
    record_stop("In nmdays() - Screwy HDATE");
  }
  return month_days(*month, *year);
}

std::string month_abbreviation(std::int32_t mm) {
  if (mm < 1 || mm > 12) {
    record_stop("In mm_to_monthabbr() - mm_to_monthabbr");
  }
  return std::string(kMonthAbbr.substr(3 * static_cast<std::size_t>(mm - 1), 3));
}

std::int32_t month_number(std::string_view mon) {
  std::string abbr(mon.substr(0, 3));
  abbr.resize(3, ' ');
  for (std::int32_t mm = 1; mm <= 12; ++mm) {
    if (kMonthAbbr.substr(3 * static_cast<std::size_t>(mm - 1), 3) == abbr) {
      return mm;
    }
  }
  out().line("Function monthabbr_to_mm:  mon = <" + abbr + ">");
  out().record("Function monthabbr_to_mm:  Unrecognized mon");
  record_stop("In monthabbr_to_mm() - Unrecognized mon");
}

// Converts a stamp to the other layout by moving its characters: separators
// are dropped going to the compact layout and written as "-", "_", ":" and
// "." going to the dashed one; the fraction digits are copied as they
// stand.  The result is cut or blank-padded to outdate_length.  O(length).
std::string convert_stamp_layout(std::string_view indate, std::size_t outdate_length) {
  const bool dashed = is_dashed(indate);
  const int level = stamp_level(dashed, indate.size());
  if (level == 0) {
    std::string line = "Unrecognized length: <";
    line.append(indate).append(">");
    out().line(line);
    record_stop("In swap_date_format() - Unrecognized length");
  }
  const auto& at = field_starts(dashed);
  const int fields = level < 5 ? level + 1 : 6;  // month, day, ... present
  std::string outdate(indate.substr(0, 4));
  for (int i = 0; i < fields; ++i) {
    if (!dashed) outdate.push_back(kSeparators[i]);
    outdate.append(indate.substr(at[i], i < 5 ? 2 : std::string_view::npos));
  }
  outdate.resize(outdate_length, ' ');
  return outdate;
}

}  // namespace rn
