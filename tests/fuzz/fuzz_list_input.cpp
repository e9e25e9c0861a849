// Fuzz target: records of free-format list input.
//
// Input layout (fuzz_formats.hpp): a count byte, one byte per item choosing
// its kind and text width, then the list text.  The text is read
// record by record with that layout until the end of the text or an error,
// and then once more as a station list.
//
// Invariants: every read ends (ok, end of file or error, with a message
// exactly when not ok); a record read moves on to a later line or to the
// end; a record never counts more values than it has items; texts keep their
// field width; station names are at most 80 characters without trailing
// blanks.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_formats.hpp"
#include "fuzz_support.hpp"
#include "list_input.hpp"

namespace {

using rn::fuzz::check;
using rn::fuzz::ItemChoice;

// Lines of the text, the last one counted even without its line feed.
std::size_t line_count(std::string_view text) {
  return 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void check_result(const rn::ReadResult& r, std::size_t items) {
  check(r.ok() == r.message.empty(), "a read has a message exactly when it fails");
  check(r.values <= items, "a record counts no more values than it has items");
}

void read_records(std::string_view text, const std::vector<ItemChoice>& layout) {
  std::vector<float> reals(layout.size());
  std::vector<std::int32_t> ints(layout.size());
  std::vector<std::string> texts(layout.size());
  std::vector<rn::ListItem> items;
  for (std::size_t k = 0; k < layout.size(); ++k) {
    switch (layout[k].kind) {
      case rn::ListItem::Kind::real: items.push_back(rn::real_item(reals[k])); break;
      case rn::ListItem::Kind::integer: items.push_back(rn::int_item(ints[k])); break;
      case rn::ListItem::Kind::text:
        texts[k].assign(layout[k].width, ' ');
        items.push_back(rn::text_item(texts[k], layout[k].width));
        break;
    }
  }
  rn::ListReader reader(text);
  const std::size_t lines = line_count(text);
  for (std::size_t records = 1;; ++records) {
    const rn::ReadResult r = reader.read_record(items.data(), items.size());
    check_result(r, items.size());
    for (std::size_t k = 0; k < items.size(); ++k) {
      if (layout[k].kind == rn::ListItem::Kind::text) {
        check(texts[k].size() == layout[k].width, "a text keeps its field width");
      }
    }
    if (r.status == rn::ReadStatus::end_of_file) {
      check(reader.at_end(), "the end of the file is reported only at the end");
      break;
    }
    check(records <= lines, "every record read moves on to a later line");
    if (r.status == rn::ReadStatus::error) break;
  }
}

void read_stations(std::string_view text) {
  rn::StationReader reader(text);
  rn::Station s;
  std::size_t stations = 0;
  const std::size_t lines = line_count(text);
  while (true) {
    const rn::ReadResult r = reader.next(s);
    check_result(r, 6);
    if (!r.ok()) break;
    check(++stations <= lines, "no more stations than lines");
    check(s.name.size() <= rn::kStationNameWidth, "a station name is at most 80 characters");
    check(s.name.empty() || s.name.back() != ' ', "a station name has no trailing blanks");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rn::fuzz::Bytes in(data, size);
  std::vector<ItemChoice> layout(1 + in.u8() % 8);
  for (ItemChoice& item : layout) item = rn::fuzz::decode_item(in.u8());
  const std::string_view text = in.rest();
  read_records(text, layout);
  read_stations(text);
  return 0;
}
