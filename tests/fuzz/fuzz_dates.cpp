// Fuzz target: date-time arithmetic on stamps held as text.  The first byte
// chooses the routine, the rest are its arguments (fuzz_formats.hpp).
//
// Besides ending cleanly (a value, or a program end with its message), the
// routines must agree with each other on every stamp they accept in its
// written form (the form `advance_stamp` writes, i.e. the stamp advanced by
// zero is itself):
//   * the new stamp has the length asked for;
//   * stamp_difference(advance_stamp(d, n), d) == n when the new year fits its field;
//   * stamp_difference(a, b) == -stamp_difference(b, a), and advance_stamp(b, stamp_difference(a, b))
//     is a (apart from the date-time separator, which comes from b);
//   * convert_stamp_layout to the other layout and back gives the stamp again;
//   * days_in_month is 28 to 31; month numbers and abbreviations convert both ways.
#include <cstdint>
#include <string>
#include <string_view>

#include "date_utilities.hpp"
#include "fuzz_formats.hpp"
#include "fuzz_support.hpp"

namespace {

using rn::fuzz::Bytes;
using rn::fuzz::check;
using rn::fuzz::run_input;

bool is_dashed(std::string_view s) { return s.size() >= 5 && s[4] == '-'; }

// A stamp accepted by advance_stamp and written exactly as it would write it.
bool written_form(std::string_view stamp) {
  std::string same;
  return run_input([&] { same = rn::advance_stamp(stamp, 0); }) && same == stamp;
}

// The year field holds a number (not the asterisks of a year beyond 4 digits).
bool year_fits(std::string_view stamp) { return stamp.substr(0, 4).find('*') == std::string_view::npos; }

// The length of the same stamp in the other layout; 0 for an unknown length.
std::size_t other_length(bool dashed, std::size_t n) {
  if (dashed) {
    switch (n) {
      case 10: return 8;
      case 13: return 10;
      case 16: return 12;
      case 19: return 14;
      default: return n >= 21 && n <= 24 ? n - 6 : 0;
    }
  }
  switch (n) {
    case 8: return 10;
    case 10: return 13;
    case 12: return 16;
    case 14: return 19;
    default: return n >= 15 && n <= 18 ? n + 6 : 0;
  }
}

void new_date(Bytes& in) {
  const std::int32_t idt = in.i32();
  const std::size_t length = in.u8() % 32;
  const std::string_view odate = in.rest();
  std::string ndate;
  if (!run_input([&] { ndate = rn::advance_stamp(odate, idt, length); })) return;
  check(ndate.size() == length, "the new stamp has the length asked for");
  if (length != odate.size() || !year_fits(ndate) || !written_form(odate)) return;
  std::int32_t back = 0;
  check(run_input([&] { back = rn::stamp_difference(ndate, odate); }), "a stamp and its advance have a difference");
  check(back == idt, "the difference of a stamp and its advance is the count");
}

void difference(Bytes& in) {
  const std::string_view a = in.text(in.u8());
  const std::string_view b = in.rest();
  std::int32_t ab = 0, ba = 0;
  const bool ran_ab = run_input([&] { ab = rn::stamp_difference(a, b); });
  const bool ran_ba = run_input([&] { ba = rn::stamp_difference(b, a); });
  if (ran_ab && ran_ba) check(static_cast<std::int64_t>(ab) == -static_cast<std::int64_t>(ba), "the difference is antisymmetric");
  if (!ran_ab || !year_fits(a) || !year_fits(b) || !written_form(a) || !written_form(b)) return;
  std::string again;
  check(run_input([&] { again = rn::advance_stamp(b, ab); }), "a stamp advanced by a difference is a stamp");
  if (is_dashed(a) && a.size() > 10) again[10] = a[10];
  check(again == a, "a stamp advanced by its difference to another is that other");
}

void swap(Bytes& in) {
  const std::size_t length = in.u8() % 32;
  const std::string_view s = in.rest();
  std::string t;
  if (!run_input([&] { t = rn::convert_stamp_layout(s, length); })) return;
  check(t.size() == length, "the converted stamp has the length asked for");
  const bool dashed = is_dashed(s);
  if (length != other_length(dashed, s.size()) || is_dashed(t) == dashed) return;
  if (dashed) {  // only the written separators come back
    static constexpr std::string_view kSeparators = "--_::.";
    for (std::size_t k = 0; k < kSeparators.size(); ++k) {
      const std::size_t at = 4 + 3 * k;
      if (at < s.size() && s[at] != kSeparators[k]) return;
    }
  }
  std::string back;
  check(run_input([&] { back = rn::convert_stamp_layout(t, s.size()); }), "a converted stamp converts back");
  check(back == s, "a stamp converted to the other layout and back is itself");
}

void month_days(Bytes& in) {
  std::int32_t days = 0;
  if (run_input([&] { days = rn::days_in_month(in.rest()); })) check(days >= 28 && days <= 31, "a month has 28 to 31 days");
}

void month_number(Bytes& in) {
  const std::string_view mon = in.rest();
  std::int32_t mm = 0;
  if (!run_input([&] { mm = rn::month_number(mon); })) return;
  check(mm >= 1 && mm <= 12, "a month number is 1 to 12");
  check(rn::month_abbreviation(mm) == mon.substr(0, 3), "a month number gives back its abbreviation");
}

void month_abbr(Bytes& in) {
  const std::int32_t mm = in.i32();
  const std::int32_t feb = rn::february_days(mm);
  check(feb == 28 || feb == 29, "February has 28 or 29 days in any year");
  std::string abbr;
  const bool ran = run_input([&] { abbr = rn::month_abbreviation(mm); });
  check(ran == (mm >= 1 && mm <= 12), "only months 1 to 12 have an abbreviation");
  if (ran) check(rn::month_number(abbr) == mm, "an abbreviation gives back its month number");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in(data, size);
  using rn::fuzz::DateOp;
  switch (static_cast<DateOp>(in.u8() % static_cast<std::uint8_t>(DateOp::count))) {
    case DateOp::new_date: new_date(in); break;
    case DateOp::difference: difference(in); break;
    case DateOp::swap: swap(in); break;
    case DateOp::month_days: month_days(in); break;
    case DateOp::month_number: month_number(in); break;
    case DateOp::month_abbr: month_abbr(in); break;
    case DateOp::count: break;
  }
  return 0;
}
