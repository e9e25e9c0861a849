// bedcarve on raster DEMs, as a user runs it: GeoTIFFs and a VRT mosaic made
// here with the raster tools, the conditioned heights and the frame read
// back with them, a desktop GIS's depression fill as the judge, and the
// progress a terminal shows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <type_traits>
#include <random>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using rn::test::run;
using rn::test::ScratchDir;

constexpr float kNoData = -9999.0f;

// A rough DEM of `columns` x `rows` cells (north row first) with a no-data
// border of two cells and a no-data hole inside: random heights on a
// gentle slope, so that it holds many small pits.
std::vector<float> rough_dem(int columns, int rows, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> roughness(0.0f, 20.0f);
  std::vector<float> h(static_cast<std::size_t>(columns * rows));
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const bool border = r < 2 || c < 2 || r >= rows - 2 || c >= columns - 2;
      const bool hole = (r - rows / 2) * (r - rows / 2) + (c - columns / 2) * (c - columns / 2) < 3;
      const float v = 100.0f + roughness(random) + 0.25f * static_cast<float>(c);
      h[static_cast<std::size_t>(r * columns + c)] = border || hole ? kNoData : v;
    }
  }
  return h;
}

// Writes raw cell values (north row first; ENVI type 4: 32-bit reals,
// 3: 32-bit integers) as a GeoTIFF of band type `type` (UTM, 30 m cells,
// no-data `nodata`) with the raster tools.
template <typename T>
void write_raster(const std::filesystem::path& tif, const std::vector<T>& cells, int columns,
                  int rows, const std::string& type, const std::string& nodata) {
  const std::string stem = (tif.parent_path() / tif.stem()).string();
  rn::test::write_file(stem + ".raw", std::string(reinterpret_cast<const char*>(cells.data()),
                                                   cells.size() * sizeof(T)));
  rn::test::write_file(stem + ".hdr", "ENVI\nsamples = " + std::to_string(columns) +
                                          "\nlines = " + std::to_string(rows) +
                                          "\nbands = 1\nheader offset = 0\ndata type = " +
                                          (std::is_integral_v<T> ? "3" : "4") +
                                          "\ninterleave = bsq\nbyte order = 0\n");
  const std::string top = std::to_string(4000000 + 30 * rows);
  const std::string right = std::to_string(500000 + 30 * columns);
  const auto r = run("/usr/bin/gdal_translate",
                     {"-q", "-ot", type, "-a_srs", "EPSG:32633", "-a_ullr", "500000", top, right,
                      "4000000", "-a_nodata", nodata, stem + ".raw", tif.string()},
                     tif.parent_path());
  ASSERT_EQ(r.status, 0) << r.err;
}

void write_dem(const std::filesystem::path& tif, const std::vector<float>& heights, int columns,
               int rows) {
  write_raster(tif, heights, columns, rows, "Float32", "-9999");
}

// Band 1 of a raster as 32-bit reals, north row first.
std::vector<float> raster_values(const std::filesystem::path& dir, const std::string& raster) {
  const auto r = run("/usr/bin/gdal_translate", {"-q", "-ot", "Float32", "-of", "ENVI", raster, "values.bin"},
                     dir);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string bytes = rn::test::read_file(dir / "values.bin");
  std::vector<float> v(bytes.size() / sizeof(float));
  std::memcpy(v.data(), bytes.data(), v.size() * sizeof(float));
  return v;
}

std::uint32_t bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// What locates a raster, from the raster tools' own description: the
// transform, the coordinate system and the no-data value.
std::string frame_of(const std::filesystem::path& dir, const std::string& raster) {
  const auto r = run("/usr/bin/gdalinfo", {"-json", raster}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto item = [&](const std::string& key, char end) {
    const std::size_t at = r.out.find("\"" + key + "\":");
    return at == std::string::npos ? std::string("none") : r.out.substr(at, r.out.find(end, at) - at);
  };
  return item("geoTransform", ']') + item("wkt", '\n') + item("noDataValue", '\n');
}

class BedcarveDem : public ::testing::Test {
 protected:
  ScratchDir dir_;
};

TEST_F(BedcarveDem, NoDataCellsAreKeptBitForBitAndTheFrameStays) {
  const int columns = 24, rows = 18;
  const std::vector<float> dem = rough_dem(columns, rows, 3);
  write_dem(dir_ / "dem.tif", dem, columns, rows);
  for (const std::string out : {"filled.tif", "filled.nc"}) {
    SCOPED_TRACE(out);
    const auto r = run("bedcarve", {"dem.tif", out}, dir_.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "STOP finish\n");  // no progress without a terminal
    EXPECT_EQ(r.out.substr(0, r.out.find("step") - 1),
              " ixrt =           24  jxrt =          18\n  reading raster band 1 of dem.tif\n");
    EXPECT_NE(r.out.find(" step 5"), std::string::npos);
    const std::string raster = out == "filled.nc" ? "NETCDF:filled.nc:HGT_M" : out;
    EXPECT_EQ(frame_of(dir_.path(), raster), frame_of(dir_.path(), "dem.tif"));
    const std::vector<float> filled = raster_values(dir_.path(), raster);
    ASSERT_EQ(filled.size(), dem.size());
    for (std::size_t k = 0; k < dem.size(); ++k) {
      if (dem[k] == kNoData) {
        ASSERT_EQ(bits(filled[k]), bits(kNoData)) << k;
      } else {
        ASSERT_GE(filled[k], dem[k]) << k;
      }
    }
    // A second pass makes no fill, on the GeoTIFF and on the netCDF
    // terrain layout alike.
    const auto again = run("bedcarve", {out, "again.tif"}, dir_.path());
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out.find("step 5"), std::string::npos) << again.out;
    EXPECT_EQ(raster_values(dir_.path(), "again.tif"), filled);
  }
}

TEST_F(BedcarveDem, HeightsEqualTheDesktopGisFill) {
  const int columns = 40, rows = 30;
  const std::vector<float> dem = rough_dem(columns, rows, 11);
  write_dem(dir_ / "dem.tif", dem, columns, rows);
  const auto gis = run("/usr/bin/saga_cmd", {"ta_preprocessor", "4", "-ELEV", "dem.tif", "-FILLED",
                                             "gis.sdat", "-MINSLOPE", "0"},
                       dir_.path());
  ASSERT_EQ(gis.status, 0) << gis.out << gis.err;
  ASSERT_EQ(run("bedcarve", {"dem.tif", "filled.tif"}, dir_.path()).status, 0);
  const std::vector<float> theirs = raster_values(dir_.path(), "gis.sdat");
  const std::vector<float> ours = raster_values(dir_.path(), "filled.tif");
  ASSERT_EQ(theirs.size(), dem.size());
  ASSERT_EQ(ours.size(), dem.size());
  std::size_t raised = 0;
  for (std::size_t k = 0; k < dem.size(); ++k) {
    if (dem[k] == kNoData) continue;  // the GIS writes its own no-data value
    EXPECT_EQ(bits(ours[k]), bits(theirs[k])) << "cell " << k % columns << ", " << k / columns;
    raised += ours[k] != dem[k] ? 1 : 0;
  }
  EXPECT_GT(raised, 100u);  // a real test: the DEM had many pits
}

TEST_F(BedcarveDem, VrtOfFourTilesGivesTheResultOfTheMergedGrid) {
  const int columns = 30, rows = 20;
  write_dem(dir_ / "merged.tif", rough_dem(columns, rows, 5), columns, rows);
  std::vector<std::string> vrt = {"-q", "tiles.vrt"};
  for (const auto& [x, y] : {std::pair{0, 0}, {13, 0}, {0, 9}, {13, 9}}) {
    const std::string tile = "tile" + std::to_string(x) + "_" + std::to_string(y) + ".tif";
    const std::string w = std::to_string(x == 0 ? 13 : columns - 13);
    const std::string h = std::to_string(y == 0 ? 9 : rows - 9);
    ASSERT_EQ(run("/usr/bin/gdal_translate",
                  {"-q", "-srcwin", std::to_string(x), std::to_string(y), w, h, "merged.tif", tile},
                  dir_.path()).status, 0);
    vrt.push_back(tile);
  }
  ASSERT_EQ(run("/usr/bin/gdalbuildvrt", vrt, dir_.path()).status, 0);
  const auto merged = run("bedcarve", {"merged.tif", "merged_filled.tif"}, dir_.path());
  const auto tiles = run("bedcarve", {"tiles.vrt", "tiles_filled.tif"}, dir_.path());
  ASSERT_EQ(tiles.status, 0) << tiles.err;
  const auto records = [](const std::string& out) { return out.substr(out.find(" step")); };
  EXPECT_EQ(records(tiles.out), records(merged.out));
  EXPECT_EQ(raster_values(dir_.path(), "tiles_filled.tif"),
            raster_values(dir_.path(), "merged_filled.tif"));
}

TEST_F(BedcarveDem, NoDataOfIntegerAndNaNBandsIsComparedInTheBandsType) {
  // A pit at (2, 2) of a 5 x 4 grid whose only low neighbour is a no-data
  // cell: it drains there, and the no-data cell keeps its value.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> reals(20, 9.0f);
  reals[6] = 2.0f;
  for (const auto& [type, nodata] : {std::pair{"Int16", -32768.0f}, {"Float32", nan}}) {
    SCOPED_TRACE(type);
    reals[12] = nodata;
    write_raster(dir_ / "dem.tif", reals, 5, 4, type, std::isnan(nodata) ? "nan" : "-32768");
    const auto r = run("bedcarve", {"dem.tif", "filled.tif"}, dir_.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("step 5"), std::string::npos) << r.out;
    const std::vector<float> filled = raster_values(dir_.path(), "filled.tif");
    EXPECT_EQ(filled[6], 2.0f);
    EXPECT_EQ(bits(filled[12]), bits(nodata));
  }
  // A 32-bit integer band: 16777216 beside the no-data value 16777217 is a
  // height (as 32-bit reals the two are equal), and so land.
  std::vector<std::int32_t> integers(20, 9);
  integers[12] = 16777216;
  integers[13] = 16777217;
  write_raster(dir_ / "dem.tif", integers, 5, 4, "Int32", "16777217");
  const auto r = run("bedcarve", {"dem.tif", "filled.nc"}, dir_.path());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string mask = rn::test::ncdump(dir_ / "filled.nc", "-v LANDMASK");
  EXPECT_NE(mask.find("1, 1, 1, 1, 1,\n  1, 1, 1, 1, 1,\n  1, 1, 1, 0, 1,"), std::string::npos) << mask;
}

TEST_F(BedcarveDem, CfNetcdfDemIsReadWithTheDemOption) {
  write_dem(dir_ / "dem.tif", rough_dem(12, 10, 2), 12, 10);
  ASSERT_EQ(run("/usr/bin/gdal_translate", {"-q", "-of", "netCDF", "dem.tif", "dem.nc"}, dir_.path()).status, 0);
  // Without the option: the records and stop of a file without the grid's
  // dimensions, and a line that says what to do.
  const auto plain = run("bedcarve", {"dem.nc", "out.nc"}, dir_.path());
  EXPECT_EQ(plain.status, 888 % 256);
  EXPECT_EQ(plain.out, " problem in nf_inq_dimidx:  x\n");
  EXPECT_EQ(plain.err,
            "bedcarve: dem.nc: west_east: NetCDF: Invalid dimension ID or name (the file holds "
            "one grid, Band1(y, x): bedcarve --dem reads it as a DEM)\nSTOP 888\n");
  const auto dem = run("bedcarve", {"--dem", "dem.nc", "filled.tif"}, dir_.path());
  ASSERT_EQ(dem.status, 0) << dem.err;
  const auto tif = run("bedcarve", {"dem.tif", "filled_too.tif"}, dir_.path());
  EXPECT_EQ(dem.out.substr(dem.out.find(" step")), tif.out.substr(tif.out.find(" step")));
  EXPECT_EQ(frame_of(dir_.path(), "filled.tif"), frame_of(dir_.path(), "dem.tif"));
}

TEST_F(BedcarveDem, ProgressShowsOnlyOnATerminal) {
  write_dem(dir_ / "dem.tif", rough_dem(12, 10, 4), 12, 10);
  const std::string command = (rn::test::bin_dir() / "bedcarve").string() + " dem.tif filled.tif";
  const auto r = run("/usr/bin/script", {"-qec", command, "/dev/null"}, dir_.path());
  // script runs the command on a pseudo-terminal and copies what it shows.
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("bedcarve: reading dem.tif\r\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bedcarve: filling 100 %"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bedcarve: writing filled.tif\r\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("STOP finish"), std::string::npos) << r.out;
}

}  // namespace
