#include "date_utilities.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "nc_test_support.hpp"

namespace {
using rn::stamp_difference;
using rn::advance_stamp;
using rn::test::outcome_of;

// Expects `body` to end the program with a plain stop, failure status, after
// writing exactly `out` on standard output.
template <typename F>
void expect_stop(F&& body, const std::string& out) {
  const auto o = outcome_of(body);
  EXPECT_TRUE(o.ended);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.stop, "");
  EXPECT_EQ(o.out, out);
}

TEST(NewDate, CarriesAndBorrowsAcrossYearEnd) {
  EXPECT_EQ(advance_stamp("2015-12-31_22:00:00", 7200), "2016-01-01_00:00:00");
  EXPECT_EQ(advance_stamp("2015-12-31_22:00:00", -7200), "2015-12-31_20:00:00");
  EXPECT_EQ(advance_stamp("2016-01-01_00:00:00", -1), "2015-12-31_23:59:59");
  EXPECT_EQ(advance_stamp("2015-12-31_23:59", 1), "2016-01-01_00:00");
  EXPECT_EQ(advance_stamp("2015123122", 2), "2016010100");
  EXPECT_EQ(advance_stamp("20160101000000", -1), "20151231235959");
  EXPECT_EQ(advance_stamp("2015-06-15", 0), "2015-06-15");
}

TEST(NewDate, FollowsTheLeapRule) {
  EXPECT_EQ(advance_stamp("2016-02-28", 1), "2016-02-29");
  EXPECT_EQ(advance_stamp("2100-02-28", 1), "2100-03-01");
  EXPECT_EQ(advance_stamp("2000-02-28", 1), "2000-02-29");
  EXPECT_EQ(advance_stamp("7200-02-28", 1), "7200-03-01");
  EXPECT_EQ(advance_stamp("2016-03-01_00", -1), "2016-02-29_23");
  EXPECT_EQ(advance_stamp("2016-03-01", 365), "2017-03-01");
  // One whole leap cycle of 3600 years is 1314872 days.
  EXPECT_EQ(advance_stamp("2000-01-01", 1314872), "5600-01-01");
  EXPECT_EQ(advance_stamp("5600-01-01", -1314872), "2000-01-01");
  EXPECT_EQ(rn::february_days(2000), 29);
  EXPECT_EQ(rn::february_days(2024), 29);
  EXPECT_EQ(rn::february_days(1900), 28);
  EXPECT_EQ(rn::february_days(2023), 28);
  EXPECT_EQ(rn::february_days(7200), 28);
}

TEST(NewDate, FractionsOfASecond) {
  EXPECT_EQ(advance_stamp("2015-01-01_00:00:00.5", 7), "2015-01-01_00:00:01.2");
  EXPECT_EQ(advance_stamp("2015-01-01_00:00:00.5", -7), "2014-12-31_23:59:59.8");
  EXPECT_EQ(advance_stamp("2015-01-01_00:00:00.0001", 9999),
            "2015-01-01_00:00:01.0000");
  EXPECT_EQ(advance_stamp("201501010000005", 7), "201501010000012");
  // The fraction value is written unscaled into the new length's digits.
  EXPECT_EQ(advance_stamp("2015-01-01_00:00:00.5", 0, 24),
            "2015-01-01_00:00:00.0005");
}

TEST(NewDate, NewLengthChoosesTheFieldsAndKeepsTheSeparator) {
  EXPECT_EQ(advance_stamp("2015-12-31_22:00:00", 7200, 13), "2016-01-01_00");
  EXPECT_EQ(advance_stamp("2015-12-31_22:00:00", 7200, 10), "2016-01-01");
  EXPECT_EQ(advance_stamp("2015-12-31", 1, 19), "2016-01-01_00:00:00");
  EXPECT_EQ(advance_stamp("2015123122", 2, 8), "20160101");
  EXPECT_EQ(advance_stamp("2015-12-31T22:00:00", 7200), "2016-01-01T00:00:00");
  EXPECT_EQ(advance_stamp("2015-12-31 22", 2), "2016-01-01 00");
  EXPECT_EQ(advance_stamp("2015-12-31T22", 2, 16), "2016-01-01T00:00");
  // Years are 4-character fields: right-aligned, asterisks beyond.
  EXPECT_EQ(advance_stamp(" 999-12-31", 1), "1000-01-01");
  EXPECT_EQ(advance_stamp("1000-01-01", -1), " 999-12-31");
  EXPECT_EQ(advance_stamp("9999-12-31", 1), "****-01-01");
}

TEST(NewDate, WholeRangeOfCountsRoundTripsThroughDifference) {
  const std::vector<std::string> stamps = {
      "2015-12-31_22:00:00", "2016-02-29", "1999-12-31_23", "2000-02-29_12:30",
      "2015-01-01_00:00:00.5", "2015-01-01_00:00:00.0099", "20160229",
      "201602291259", "201512312359590", "2016-02-29T23:59:59.99"};
  const std::vector<std::int32_t> counts = {
      1, -1, 59, -61, 1439, 86401, -86401, 1000000, -1000000, 123456789,
      -123456789, INT32_MAX, INT32_MIN};
  int checked = 0;
  for (const auto& s : stamps) {
    for (std::int32_t n : counts) {
      const std::string moved = advance_stamp(s, n);
      // Years beyond 9999 or before year 0 leave the 4-digit stamp range.
      if (moved.find_first_of("*-") < 4) continue;
      EXPECT_EQ(stamp_difference(moved, s), n) << s << " + " << n << " = " << moved;
      ++checked;
    }
  }
  EXPECT_GT(checked, 110);
  EXPECT_EQ(advance_stamp("2000-01-01_00:00:00", INT32_MIN), "1931-12-13_20:45:52");
}

TEST(NewDate, RejectsImpossibleStampsAndLengths) {
  for (const std::string bad :
       {"2015-13-01_00", "2015-00-01_00", "2015-02-29_00", "2016-04-31_00",
        "2015-01-00_00", "2015-01-01_24", "2015-1a-01_00", "20x5-01-01_00",
        "2015-01-01_-1", "2015- 1-01_0 "}) {
    if (bad == "2015- 1-01_0 ") {
      // Blanks in a field are ignored: month 1, hour 0.
      EXPECT_EQ(advance_stamp(bad, 1, 13), "2015-01-01_01");
      continue;
    }
    expect_stop([&] { advance_stamp(bad, 1); },
                " Screwy ODATE: " + bad + "\n In geth_newdate() - Screwy ODATE\n");
  }
  expect_stop([] { advance_stamp("2015-01-01_00:60", 1); },
              " Screwy ODATE: 2015-01-01_00:60\n In geth_newdate() - Screwy ODATE\n");
  expect_stop([] { advance_stamp("2015-01-01_00:00:60", 1); },
              " Screwy ODATE: 2015-01-01_00:00:60\n In geth_newdate() - Screwy ODATE\n");
  expect_stop([] { advance_stamp("2015-01-01_00:00:00.x", 1); },
              " Screwy ODATE: 2015-01-01_00:00:00.x\n In geth_newdate() - Screwy ODATE\n");
  expect_stop([] { advance_stamp("2015-01-01_00:00:00.-1", 1); },
              " Screwy ODATE: 2015-01-01_00:00:00.-1\n In geth_newdate() - Screwy ODATE\n");
  expect_stop([] { advance_stamp("2015-01-01_", 1); },
              " ERROR: geth_newdate:  odd length: #2015-01-01_#\n"
              " In geth_newdate() odd length\n");
  expect_stop([] { advance_stamp("2015-01-01 ", 1); },
              " ERROR: geth_newdate:  odd length: #2015-01-01#\n"
              " In geth_newdate() odd length\n");
  expect_stop([] { advance_stamp("201501010", 1); },
              " ERROR: geth_newdate:  odd length: #201501010#\n"
              " In geth_newdate() - odd length\n");
  expect_stop([] { advance_stamp("", 1); },
              " ERROR: geth_newdate:  odd length: ##\n"
              " In geth_newdate() - odd length\n");
  // A new length of the other layout, or of none.
  expect_stop([] { advance_stamp("2015-01-01_00:00:00", 1, 14); },
              " ERROR: geth_newdate:  odd new date length: #14#\n"
              " In geth_newdate() - odd new date length\n");
  expect_stop([] { advance_stamp("20150101000000", 1, 20); },
              " ERROR: geth_newdate:  odd new date length: #20#\n"
              " In geth_newdate() - odd new date length\n");
}

TEST(Difference, CountsInTheUnitOfTheLength) {
  EXPECT_EQ(stamp_difference("2016-03-01_00", "2016-02-28_00"), 48);
  EXPECT_EQ(stamp_difference("2016-02-28_00", "2016-03-01_00"), -48);
  EXPECT_EQ(stamp_difference("2016-02-28_00", "2016-02-28_00"), 0);
  EXPECT_EQ(stamp_difference("2017-01-01", "2016-01-01"), 366);
  EXPECT_EQ(stamp_difference("2101-01-01", "2100-01-01"), 365);
  EXPECT_EQ(stamp_difference("2016-01-01_00:01", "2015-12-31_23:59"), 2);
  EXPECT_EQ(stamp_difference("2015-01-01_00:00:01.2", "2015-01-01_00:00:00.5"), 7);
  EXPECT_EQ(stamp_difference("20160301", "20160228"), 2);
  EXPECT_EQ(stamp_difference("2016-03-01T00", "2016-02-29_23"), 1);
}

TEST(Difference, YearsWhoseTextOrderIsNotTheirTimeOrder) {
  // "-999" compares above "  -1" as text though it is earlier: the years
  // between must still be counted (they were dropped, giving 0).
  const std::string early = "-999-01-01", late = "  -1-01-01";
  const std::int32_t days = stamp_difference(late, early);
  EXPECT_EQ(advance_stamp(early, days), late);
  EXPECT_EQ(stamp_difference(early, late), -days);
  EXPECT_EQ(stamp_difference("1 99-01-01", "0200-01-01"), -365);
}

TEST(Difference, ReportsMismatchedAndImpossibleStamps) {
  expect_stop([] { stamp_difference("2016-03-01_00", "2016-03-01_00:00"); },
              "GETH_IDTS: NEWLEN /= OLDLEN: 2016-03-01_00   2016-03-01_00:00\n"
              " In geth_idts() - NEWLEN /= OLDLEN\n");
  expect_stop([] { stamp_difference("2015-01-01", "2015010100"); },
              "GETH_IDTS: Dates appear to be different formats: "
              "2015010100   2015-01-01\n"
              " In geth_idts() - Dates appear to be different formats\n");
  expect_stop([] { stamp_difference("2015-01-01_", "2015-01-01_"); },
              " ERROR: geth_idts:  odd length: #2015-01-01_#\n"
              " In geth_idts() - odd length\n");
  // The message names the later stamp, whichever argument it is.
  const std::string screwy_later =
      " Screwy NDATE: 2015-13-01_00\n In geth_idts() - Screwy NDATE \n";
  expect_stop([] { stamp_difference("2015-13-01_00", "2015-12-01_00"); }, screwy_later);
  expect_stop([] { stamp_difference("2015-12-01_00", "2015-13-01_00"); }, screwy_later);
  expect_stop([] { stamp_difference("2015-12-01_00", "2015-02-30_00"); },
              " Screwy ODATE: 2015-02-30_00\n In geth_idts() - Screwy ODATE \n");
  expect_stop([] { stamp_difference("2015-12-01_0x", "2015-02-01_00"); },
              " Screwy NDATE: 2015-12-01_0x\n In geth_idts() - Screwy NDATE \n");
  // 100 years in seconds do not fit 32 bits.
  expect_stop([] { stamp_difference("2000-01-01_00:00:00", "1900-01-01_00:00:00"); },
              " ERROR: geth_idts:  difference out of range: "
              "#2000-01-01_00:00:00#   #1900-01-01_00:00:00#\n"
              " In geth_idts() - difference out of range\n");
}

TEST(Months, DaysAbbreviationsAndNumbers) {
  EXPECT_EQ(rn::days_in_month("2016-02"), 29);
  EXPECT_EQ(rn::days_in_month("2100-02-15_00"), 28);
  EXPECT_EQ(rn::days_in_month("2015-04-01"), 30);
  EXPECT_EQ(rn::days_in_month("2015-12"), 31);
  for (const std::string bad : {"2015-13-01", "2015-00", "2015-0", "2015-ab"}) {
    expect_stop([&] { rn::days_in_month(bad); },
                " Screwy HDATE: " + bad + "\n In nmdays() - Screwy HDATE\n");
  }
  for (std::int32_t mm = 1; mm <= 12; ++mm) {
    EXPECT_EQ(rn::month_number(rn::month_abbreviation(mm)), mm);
  }
  EXPECT_EQ(rn::month_abbreviation(9), "Sep");
  EXPECT_EQ(rn::month_number("Decimal"), 12);
  for (std::int32_t bad : {0, 13, -1, INT32_MIN}) {
    expect_stop([&] { rn::month_abbreviation(bad); },
                " In mm_to_monthabbr() - mm_to_monthabbr\n");
  }
  expect_stop([] { rn::month_number("jan"); },
              "Function monthabbr_to_mm:  mon = <jan>\n"
              " Function monthabbr_to_mm:  Unrecognized mon\n"
              " In monthabbr_to_mm() - Unrecognized mon\n");
  expect_stop([] { rn::month_number("Ja"); },
              "Function monthabbr_to_mm:  mon = <Ja >\n"
              " Function monthabbr_to_mm:  Unrecognized mon\n"
              " In monthabbr_to_mm() - Unrecognized mon\n");
}

TEST(ConvertStampLayout, MovesCharactersBetweenLayouts) {
  EXPECT_EQ(rn::convert_stamp_layout("2016-02-29_23", 10), "2016022923");
  EXPECT_EQ(rn::convert_stamp_layout("2016022923", 13), "2016-02-29_23");
  EXPECT_EQ(rn::convert_stamp_layout("2016-02-29T23", 10), "2016022923");
  EXPECT_EQ(rn::convert_stamp_layout("2016-02-29", 8), "20160229");
  EXPECT_EQ(rn::convert_stamp_layout("20160229", 10), "2016-02-29");
  EXPECT_EQ(rn::convert_stamp_layout("201602292359", 16), "2016-02-29_23:59");
  EXPECT_EQ(rn::convert_stamp_layout("2016-02-29_23:59:58", 14), "20160229235958");
  EXPECT_EQ(rn::convert_stamp_layout("2016-02-29_23:59:58.125", 17),
            "20160229235958125");
  EXPECT_EQ(rn::convert_stamp_layout("20160229235958125", 23),
            "2016-02-29_23:59:58.125");
  // Cut or padded to the wanted length.
  EXPECT_EQ(rn::convert_stamp_layout("2016-02-29_23", 6), "201602");
  EXPECT_EQ(rn::convert_stamp_layout("2016-02-29_23", 12), "2016022923  ");
  expect_stop([] { rn::convert_stamp_layout("2016-02-29_2", 10); },
              "Unrecognized length: <2016-02-29_2>\n"
              " In swap_date_format() - Unrecognized length\n");
  expect_stop([] { rn::convert_stamp_layout("2016", 10); },
              "Unrecognized length: <2016>\n"
              " In swap_date_format() - Unrecognized length\n");
}

}  // namespace
