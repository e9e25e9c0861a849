// Date-time arithmetic on stamps held as text.
//
// Two layouts, told apart by character 5 ("-" dashed, anything else
// compact):
//   dashed   YYYY-MM-DD_HH:MM:SS.ffff   lengths 10, 13, 16, 19, 21..24
//   compact  YYYYMMDDHHMMSSffff         lengths  8, 10, 12, 14, 15..18
// The length of a stamp sets the unit of a count: day, hour, minute, second,
// then 1/10^k second with k fraction digits.  Character 11 of a dashed stamp
// (the date-time separator, "_", "T" or a blank) is carried over unchanged.
//
// Year fields are 4-character integer fields, month to second 2-character
// ones (leading and embedded blanks ignored, an optional sign); the fraction
// is read as a free-format integer.  Every failure writes its diagnostic
// lines on standard output and ends the program through `record_stop`; no
// routine returns an error.
//
// siteseries calls `advance_stamp`; the other routines complete the date
// arithmetic that any program may use (no program calls them today).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rn {

/// `odate` advanced by `idt` units of its level, written in `odate`'s layout
/// with `ndate_length` characters (any length of that layout's table; the
/// fields the length holds are written).  A stamp of another length, an
/// impossible date or time in `odate`, or an `ndate_length` that the layout
/// does not know ends the program.
std::string advance_stamp(std::string_view odate, std::int32_t idt, std::size_t ndate_length);

/// Same, with the new stamp as long as `odate`.
std::string advance_stamp(std::string_view odate, std::int32_t idt);

/// `newdate` - `olddate` in units of their common level.  The stamps must
/// have the same length and layout and hold possible dates; a difference
/// beyond the 32-bit range ends the program.
std::int32_t stamp_difference(std::string_view newdate, std::string_view olddate);

/// Days of February in `year`: 29 in years divisible by 4, except those
/// divisible by 100, except those divisible by 400, except those divisible
/// by 3600.
std::int32_t february_days(std::int32_t year);

/// True when the first ten characters of `label` are digits forming a date
/// and hour YYYYMMDDHH of this calendar (month 1-12, day within the month,
/// hour 0-23); what follows them is not looked at.
bool is_hour_label(std::string_view label);

/// Days in the month of a dashed stamp (its first 7 characters, YYYY-MM).
/// A month outside 1-12 ends the program.
std::int32_t days_in_month(std::string_view hdate);

/// Three-letter abbreviation ("Jan" .. "Dec") of month `mm` (1-12); any
/// other number ends the program.
std::string month_abbreviation(std::int32_t mm);

/// Month number (1-12) of a three-letter abbreviation, case-sensitive
/// (the first three characters of `mon` count); no match ends the program.
std::int32_t month_number(std::string_view mon);

/// `indate` converted to the other layout, cut or padded with blanks to
/// `outdate_length` characters.  A length that neither layout knows ends
/// the program.
std::string convert_stamp_layout(std::string_view indate, std::size_t outdate_length);

}  // namespace rn
