// Fuzz target: site lists of the point-extraction program.  The input is
// the list text: its sites are counted, then read in both layouts, with the
// counted number and with one more than that.
//
// Invariants: the count ends (with a message exactly when it fails); reading
// keeps the field widths, never returns more sites than asked for, and
// when it stops early names the site it stopped at (the one after the last
// site read, 0 for the header) with a message.
#include <cstdint>
#include <string_view>

#include "fuzz_support.hpp"
#include "site_list.hpp"

namespace {

using rn::fuzz::check;

void read_layout(std::string_view text, rn::SiteLayout layout, std::int32_t datasize) {
  const rn::SiteReadResult r = rn::read_sites(text, layout, datasize);
  check(r.sites.size() <= static_cast<std::size_t>(datasize < 0 ? 0 : datasize),
        "no more sites than asked for");
  for (const rn::Site& s : r.sites) {
    check(s.zip.size() == rn::kZipWidth, "a zip keeps its width");
    check(s.city.size() == rn::kSiteNameWidth, "a city keeps its width");
    check(s.state_or_country.size() == rn::kSiteNameWidth, "a state or country keeps its width");
  }
  if (r.result.ok()) {
    check(r.result.message.empty(), "a complete read has no message");
    check(r.sites.size() == static_cast<std::size_t>(datasize < 0 ? 0 : datasize),
          "a complete read holds every site asked for");
    return;
  }
  check(!r.result.message.empty(), "a read that stops says why");
  check(r.stage == rn::SiteStage::header ? r.failed_site == 0
                                         : r.failed_site == static_cast<std::int32_t>(r.sites.size()) + 1,
        "a read that stops names the site after the last one read");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const rn::SiteCount count = rn::count_site_values(text);
  check(count.result.ok() == count.result.message.empty(), "a count has a message exactly when it fails");
  check(count.values >= 0, "a count is never negative");
  for (std::int32_t datasize : {count.datasize(), count.datasize() + 1}) {
    read_layout(text, rn::SiteLayout::us, datasize);
    read_layout(text, rn::SiteLayout::world, datasize);
  }
  return 0;
}
