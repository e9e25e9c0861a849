// Writes the seed corpora of the fuzz targets from the reference vectors:
//   fuzz_seeds <vectors folder> <output folder>
// makes one folder per target (named as the target without "fuzz_") holding
// one file per seed input.  Station, site and namelist files are taken as
// they are; the value, field and record tables are encoded in the targets'
// input layouts (fuzz_formats.hpp); date stamps are a fixed handful.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_formats.hpp"
#include "fuzz_support.hpp"
#include "test_support.hpp"

namespace fs = std::filesystem;
using rn::ListItem;
using rn::fuzz::ByteWriter;
using rn::fuzz::DateOp;
using rn::fuzz::RecordTag;
using rn::fuzz::encode_item;
using rn::test::float_from_bits;
using rn::test::read_file;
using rn::test::read_tsv;

namespace {

class Corpus {
 public:
  Corpus(const fs::path& root, const std::string& target) : dir_(root / target) {
    fs::create_directories(dir_);
  }
  void add(const std::string& bytes) { rn::test::write_file(dir_ / std::to_string(count_++), bytes); }
  int count() const { return count_; }

 private:
  fs::path dir_;
  int count_ = 0;
};

std::vector<fs::path> files_ending(const fs::path& dir, const std::string& suffix) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
        name.find(".expected.") == std::string::npos) {
      out.push_back(e.path());
    }
  }
  return out;
}

std::string layout_prefix(const std::vector<std::uint8_t>& items) {
  ByteWriter w;
  w.u8(static_cast<std::uint8_t>(items.size() - 1));
  for (std::uint8_t b : items) w.u8(b);
  return w.bytes();
}

void list_seeds(const fs::path& vectors, const fs::path& out) {
  Corpus input(out, "list_input"), sites(out, "site_list"), names(out, "namelist");
  const auto real = encode_item(ListItem::Kind::real);
  const auto integer = encode_item(ListItem::Kind::integer);
  const auto text = [](std::size_t width) { return encode_item(ListItem::Kind::text, width); };
  const std::string station = layout_prefix({real, real, text(80), integer, integer, integer});
  const std::string us = layout_prefix({text(7), text(50), text(50), text(20), text(20)});
  const std::string world = layout_prefix({text(20), text(50), text(50), text(50), text(20)});
  for (const fs::path& f : files_ending(vectors / "station_lists", ".txt")) input.add(station + read_file(f));
  for (const fs::path& f : files_ending(vectors / "site_lists", ".txt")) {
    const std::string list = read_file(f);
    sites.add(list);
    input.add((f.filename().string().rfind("world", 0) == 0 ? world : us) + list);
  }
  for (const fs::path& f : files_ending(vectors / "namelists", "namelist.nesting")) names.add(read_file(f));
}

void value_seeds(const fs::path& vectors, const fs::path& out) {
  Corpus values(out, "list_values");
  for (const char* token : {"1.5+3", "1d5", "-2.5Q-3", "-0", "+7", ".5", "5.", "Infinity", "-inf", "NaN",
                            "3*", "2*4.5", "'quoted, text'", " 12 ", ",5", "/", "2147483648", "-2147483648",
                            "1e39", "1e-46", "0.000000000000000000000000000000000000000000001401298464324817"}) {
    values.add(token);
  }
  const auto table = [&](const char* file, std::size_t column) {
    const auto rows = read_tsv(vectors / file);
    for (std::size_t r = 1; r < rows.size(); ++r) values.add(rows[r][column]);
  };
  table("real_field.tsv", 1);
  table("int_field.tsv", 0);
}

void record_seeds(const fs::path& vectors, const fs::path& out) {
  Corpus records(out, "text_record");
  const auto tag = [](ByteWriter& w, RecordTag t) -> ByteWriter& { return w.u8(static_cast<std::uint8_t>(t)); };
  for (const auto& row : read_tsv(vectors / "real_field.tsv")) {
    if (row[0] == "bits") continue;
    ByteWriter w;
    tag(w, RecordTag::real).f32(float_from_bits(row[0]));
    records.add(w.bytes());
  }
  for (const auto& row : read_tsv(vectors / "fixed_fields.tsv")) {
    if (row[0] == "type") continue;
    ByteWriter w;
    if (row[0] == "real") {
      const int decimals = row[3] == "w12d1" ? 1 : 6;
      tag(w, RecordTag::fixed).f32(float_from_bits(row[1])).u8(12).u8(static_cast<std::uint8_t>(decimals + 4));
    } else {
      tag(w, RecordTag::int_width).i32(static_cast<std::int32_t>(std::stoll(row[1]))).u8(8);
    }
    records.add(w.bytes());
  }
  // Whole records: T:<text>, I:<decimal>, R:<bits> items separated by '|'.
  for (const auto& row : read_tsv(vectors / "records.tsv")) {
    if (row[0] == "id") continue;
    ByteWriter w;
    std::size_t start = 0;
    while (start <= row[1].size()) {
      const std::size_t bar = std::min(row[1].find('|', start), row[1].size());
      const std::string item = row[1].substr(start, bar - start);
      const std::string value = item.size() > 2 ? item.substr(2) : "";
      if (item.rfind("T:", 0) == 0) {
        const std::string t = rn::test::unescape(value, true);
        tag(w, RecordTag::text).u16(static_cast<std::uint16_t>(t.size())).text(t);
      } else if (item.rfind("I:", 0) == 0) {
        tag(w, RecordTag::integer).i32(static_cast<std::int32_t>(std::stoll(value)));
      } else if (item.rfind("R:", 0) == 0) {
        tag(w, RecordTag::real).f32(float_from_bits(value));
      }
      start = bar + 1;
    }
    records.add(w.bytes());
  }
}

void date_seeds(const fs::path& out) {
  Corpus dates(out, "dates");
  const auto op = [](DateOp o) { return ByteWriter().u8(static_cast<std::uint8_t>(o)); };
  const char* stamps[] = {"2015-12-31_22:00:00", "2016-02-28", "2016-03-01_00", "2000-02-28T12:30",
                          "2015-01-01_00:00:00.5", "2015-01-01 00:00:00.1234", "20151231220000",
                          "20160228", "2016030100", "201601011230", "201501010000005", "201501010000001234"};
  for (const char* s : stamps) {
    const std::string stamp = s;
    for (std::int32_t idt : {1, -1, 7200, -7200, 86400 * 366}) {
      dates.add(op(DateOp::new_date).i32(idt).u8(static_cast<std::uint8_t>(stamp.size())).text(stamp).bytes());
    }
    for (std::uint8_t length : {8, 10, 13, 14, 19, 24}) dates.add(op(DateOp::swap).u8(length).text(stamp).bytes());
    dates.add(op(DateOp::month_days).text(stamp).bytes());
  }
  dates.add(op(DateOp::difference).u8(13).text("2016-03-01_002016-02-28_00").bytes());
  dates.add(op(DateOp::difference).u8(8).text("2100030120991231").bytes());
  for (const char* mon : {"Jan", "Feb", "Dec", "jan", "Ja"}) dates.add(op(DateOp::month_number).text(mon).bytes());
  for (std::int32_t mm : {0, 1, 12, 13, -1}) dates.add(op(DateOp::month_abbr).i32(mm).bytes());
}

// The netCDF input targets: every choice of file (first byte) in every
// on-disk format (second byte), the described file unedited; then one
// with a few header bytes changed.
void netcdf_seeds(const fs::path& out) {
  const struct {
    const char* target;
    int picks;
  } targets[] = {{"nc_nesting", 4}, {"nc_kml", 8}, {"nc_linkweaver", 4}, {"nc_siteseries", 2}, {"nc_terrain", 1}};
  for (const auto& t : targets) {
    Corpus seeds(out, t.target);
    for (int pick = 0; pick < t.picks; ++pick) {
      for (int format = 0; format < 8; ++format) {
        ByteWriter w;
        if (t.picks > 1) w.u8(static_cast<std::uint8_t>(pick));
        seeds.add(w.u8(static_cast<std::uint8_t>(format)).bytes());
      }
      ByteWriter damaged;
      if (t.picks > 1) damaged.u8(static_cast<std::uint8_t>(pick));
      seeds.add(damaged.u8(0xC0).u8(3).u16(9).u8(0).u16(40).u8(0xFF).u16(30).u8(1).bytes());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seeds <vectors folder> <output folder>\n");
    return 2;
  }
  const fs::path vectors = argv[1], out = argv[2];
  try {
    list_seeds(vectors, out);
    value_seeds(vectors, out);
    record_seeds(vectors, out);
    date_seeds(out);
    netcdf_seeds(out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}
