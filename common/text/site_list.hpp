// Site lists of the point-extraction program: counting the sites and reading
// the US and world layouts through the free-format list reader.
//
// A site list is a text file whose first line is a header.  Each site is one
// free-format record of five values starting on a new line:
//   US:    zip (7), latitude text (50), longitude text (50), city (20), state (20)
//   world: city (20), a code (50, which the hourly text files leave out),
//          latitude text, longitude text, country (20)
// The latitude and longitude texts are converted by a second free-format read
// of the text; a longitude below zero then gets 360 added once (negative zero
// is not below zero and stays as it is).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "list_input.hpp"

namespace rn {

inline constexpr std::size_t kZipWidth = 7;
inline constexpr std::size_t kSiteNameWidth = 20;  // city, state, country
inline constexpr std::size_t kSiteTextWidth = 50;  // latitude/longitude texts, counting

enum class SiteLayout { us, world };

/// One site.  Texts keep their field width, blank-padded (use `trim_right`).
struct Site {
  std::string zip = std::string("00000") + "  ";  ///< US layout only; "00000" padded otherwise
  std::string city = std::string(kSiteNameWidth, ' ');
  std::string state_or_country = std::string(kSiteNameWidth, ' ');  ///< state (US) or country (world)
  std::string code;  ///< world layout only: the second value, kSiteTextWidth wide
  float lat = 0.0f;
  float lon = 0.0f;  ///< after the +360 rule
};

/// The site count of a list: the number of successful
/// free-format reads of one text value of up to 50 characters, each taking
/// its value from the next line that holds one, until the end of the text.
/// The number of sites (`datasize`) is this count minus 1 (the header).
struct SiteCount {
  ReadResult result;        ///< ok, or error when a value could not be read
  std::int32_t values = 0;  ///< successful reads
  std::int32_t datasize() const { return values - 1; }
};
SiteCount count_site_values(std::string_view text);

/// Where the reading of a site list stopped.
enum class SiteStage { header, line, latitude, longitude };

/// Result of `read_sites`: the sites read; when `result` is not ok, the
/// reading stopped at site `failed_site` (1-based, 0 for the header) in
/// `stage`, and `result.message` says so.
struct SiteReadResult {
  ReadResult result;
  std::vector<Site> sites;
  std::int32_t failed_site = 0;
  SiteStage stage = SiteStage::header;
};

/// Skips the header line and reads `datasize` sites (none when datasize is
/// 0 or negative) in the given layout.
SiteReadResult read_sites(std::string_view text, SiteLayout layout, std::int32_t datasize);

/// 360 added once to a longitude below zero, in 32-bit arithmetic.
float shift_longitude(float lon);

}  // namespace rn
