#include "site_list.hpp"

#include <limits>

namespace rn {

float shift_longitude(float lon) { return lon < 0.0f ? lon + 360.0f : lon; }

// Contract: counts the successful one-text reads of the whole text (each
// from the next line holding a value, rest of that line ignored) until the
// end of the text; an unreadable value (a closing quote followed by other
// characters) stops the count with an error.  Linear in the text.
SiteCount count_site_values(std::string_view text) {
  SiteCount count;
  ListReader reader(text);
  std::string value;
  const ListItem item = text_item(value, kSiteTextWidth, "site list value");
  while (true) {
    ReadResult result = reader.read_record(&item, 1);
    if (result.status == ReadStatus::end_of_file) break;
    if (!result.ok() || count.values == std::numeric_limits<std::int32_t>::max()) {
      count.result = std::move(result);
      if (count.result.ok()) {
        count.result.status = ReadStatus::error;
        count.result.message = "too many sites";
      }
      break;
    }
    ++count.values;
  }
  return count;
}

namespace {

SiteReadResult& stop(SiteReadResult& out, ReadResult result, std::int32_t site, SiteStage stage) {
  static constexpr const char* kStage[] = {"reading the header line", "reading its line",
                                          "converting its latitude text",
                                          "converting its longitude text"};
  const std::string where = site == 0 ? std::string(kStage[0])
                                      : "site " + std::to_string(site) + ", " +
                                            kStage[static_cast<int>(stage)];
  out.result = std::move(result);
  out.result.message = where + ": " + out.result.message;
  out.failed_site = site;
  out.stage = stage;
  return out;
}

}  // namespace

// Contract: skips one header line, then reads `datasize` five-value records
// in `layout`, converts the latitude and longitude texts and applies the
// +360 rule.  Stops at the first record or conversion that fails, keeping the
// sites before it.  Linear in the text read.
SiteReadResult read_sites(std::string_view text, SiteLayout layout, std::int32_t datasize) {
  SiteReadResult out;
  ListReader reader(text);
  ReadResult header = reader.skip_line();
  if (!header.ok()) return stop(out, std::move(header), 0, SiteStage::header);

  for (std::int32_t i = 1; i <= datasize; ++i) {
    Site site;
    std::string lat_text(kSiteTextWidth, ' ');
    std::string lon_text(kSiteTextWidth, ' ');
    ReadResult line =
        layout == SiteLayout::us
            ? reader.read_record({text_item(site.zip, kZipWidth, "zip code"),
                                  text_item(lat_text, kSiteTextWidth, "latitude"),
                                  text_item(lon_text, kSiteTextWidth, "longitude"),
                                  text_item(site.city, kSiteNameWidth, "city"),
                                  text_item(site.state_or_country, kSiteNameWidth, "state")})
            : reader.read_record({text_item(site.city, kSiteNameWidth, "city"),
                                  text_item(site.code, kSiteTextWidth, "second field"),
                                  text_item(lat_text, kSiteTextWidth, "latitude"),
                                  text_item(lon_text, kSiteTextWidth, "longitude"),
                                  text_item(site.state_or_country, kSiteNameWidth, "country")});
    if (!line.ok()) return stop(out, std::move(line), i, SiteStage::line);
    ReadResult lat = read_real_text(lat_text, site.lat, "latitude");
    if (!lat.ok()) return stop(out, std::move(lat), i, SiteStage::latitude);
    ReadResult lon = read_real_text(lon_text, site.lon, "longitude");
    if (!lon.ok()) return stop(out, std::move(lon), i, SiteStage::longitude);
    site.lon = shift_longitude(site.lon);
    out.sites.push_back(std::move(site));
  }
  return out;
}

}  // namespace rn
