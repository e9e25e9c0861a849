#include "raster_terrain.hpp"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "atomic_output.hpp"
#include "bedcarve_messages.hpp"
#include "program_end.hpp"
#include "terrain_readers.hpp"
#include "text_record.hpp"

namespace rn::bedcarve {
namespace {

// Values read at a time from a band that is not held as 32-bit reals.
constexpr std::size_t kBlockValues = std::size_t{1} << 20;

// Registers the formats once, keeps the library's own messages off the
// error stream (the run reports them in its own lines) and keeps it from
// writing side files beside the outputs.
void use_raster_library() {
  static const bool ready = [] {
    CPLSetErrorHandler(CPLQuietErrorHandler);
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    GDALAllRegister();
    return true;
  }();
  (void)ready;
}

std::string library_reason() {
  const char* text = CPLGetLastErrorMsg();
  return text != nullptr && *text != '\0' ? text : "the raster library gives no reason";
}

struct DatasetCloser {
  void operator()(void* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

Dataset open_raster(const std::string& name) {
  CPLErrorReset();
  return Dataset(GDALOpenEx(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr,
                            nullptr));
}

[[noreturn]] void refuse(const std::string& file, std::string_view what) {
  fail(std::string(messages::kRasterUnreadable) + file + std::string(what));
}

// The one raster of a file of several (the variables of a netCDF file):
// opened when there is exactly one, else the run is refused with their names.
Dataset single_raster(Dataset ds, const std::string& file) {
  if (GDALGetRasterCount(ds.get()) > 0) return ds;
  std::vector<std::string> names;
  for (char** item = GDALGetMetadata(ds.get(), "SUBDATASETS"); item != nullptr && *item; ++item) {
    const std::string entry(*item);
    const std::size_t eq = entry.find('=');
    if (eq != std::string::npos && entry.compare(eq - 5, 5, "_NAME") == 0) {
      names.push_back(entry.substr(eq + 1));
    }
  }
  if (names.empty()) refuse(file, messages::kRasterNoBand);
  if (names.size() > 1) {
    std::string list;
    for (const std::string& n : names) {
      if (!list.empty()) list += ", ";
      list += n;
    }
    refuse(file, std::string(messages::kRasterSeveral) + list);
  }
  Dataset one = open_raster(names.front());
  if (!one || GDALGetRasterCount(one.get()) == 0) refuse(file, ": " + library_reason());
  return one;
}

// "m" for metres, else the unit's own name.
std::string unit_name(const char* name) {
  if (name == nullptr) return {};
  const std::string n(name);
  return n == "metre" || n == "meter" || n == "Meter" || n == "m" ? "m" : n;
}

RasterFrame frame_of(GDALDatasetH ds, GDALRasterBandH band) {
  RasterFrame f;
  f.has_transform = GDALGetGeoTransform(ds, f.transform.data()) == CE_None;
  if (!f.has_transform) f.transform = {0, 1, 0, 0, 0, 1};
  if (OGRSpatialReferenceH srs = GDALGetSpatialRef(ds)) {
    // The current WKT form keeps the system's identifiers and extent, so that
    // readers of the output find the same system as in the input.
    char* wkt = nullptr;
    const char* const options[] = {"FORMAT=WKT2_2019", nullptr};
    if (OSRExportToWktEx(srs, &wkt, options) == OGRERR_NONE && wkt != nullptr) f.crs_wkt = wkt;
    CPLFree(wkt);
    f.geographic = OSRIsGeographic(srs) != 0;
    if (!f.geographic) {
      char* units = nullptr;
      OSRGetLinearUnits(srs, &units);
      f.linear_units = unit_name(units);
    }
  }
  if (const char* units = GDALGetRasterUnitType(band)) f.height_units = units;
  return f;
}

// The test for no-data of a band held as T: its value in T (a real no-data
// value rounded to T; an integer one only when T holds it exactly), or any
// NaN for a NaN no-data value.
template <typename T>
struct NoData {
  bool any = false;
  bool nan = false;
  T value{};
  bool operator()(T v) const {
    if constexpr (std::is_floating_point_v<T>) {
      if (nan) return std::isnan(v);
    }
    return any && v == value;
  }
};

template <typename T>
NoData<T> no_data_of(GDALRasterBandH band, RasterFrame& frame) {
  NoData<T> test;
  int has = 0;
  if constexpr (std::is_same_v<T, std::int64_t>) {
    const std::int64_t v = GDALGetRasterNoDataValueAsInt64(band, &has);
    if (has) test = {true, false, v};
  } else if constexpr (std::is_same_v<T, std::uint64_t>) {
    const std::uint64_t v = GDALGetRasterNoDataValueAsUInt64(band, &has);
    if (has) test = {true, false, v};
  } else {
    const double d = GDALGetRasterNoDataValue(band, &has);
    if (has) {
      if constexpr (std::is_floating_point_v<T>) {
        if (std::isnan(d)) {
          test.nan = true;
        } else if (std::fabs(d) <= static_cast<double>(std::numeric_limits<T>::max()) ||
                   std::isinf(d)) {
          test = {true, false, static_cast<T>(d)};
        }
      } else {
        const double low = static_cast<double>(std::numeric_limits<T>::min());
        const double high = static_cast<double>(std::numeric_limits<T>::max());
        if (d >= low && d <= high && std::trunc(d) == d) test = {true, false, static_cast<T>(d)};
      }
    }
  }
  if (test.any || test.nan) {
    frame.has_nodata = true;
    frame.nodata = test.nan ? std::numeric_limits<double>::quiet_NaN()
                            : static_cast<double>(static_cast<float>(test.value));
  }
  return test;
}

GDALDataType gdal_type_of(double) { return GDT_Float64; }
GDALDataType gdal_type_of(std::uint8_t) { return GDT_Byte; }
GDALDataType gdal_type_of(std::int16_t) { return GDT_Int16; }
GDALDataType gdal_type_of(std::uint16_t) { return GDT_UInt16; }
GDALDataType gdal_type_of(std::int32_t) { return GDT_Int32; }
GDALDataType gdal_type_of(std::uint32_t) { return GDT_UInt32; }
GDALDataType gdal_type_of(std::int64_t) { return GDT_Int64; }
GDALDataType gdal_type_of(std::uint64_t) { return GDT_UInt64; }

// Band 1 held as T into the heights, its no-data cells into `water`.
// Contract: `t.height` and `t.water` have the raster's shape.  32-bit reals
// are read straight into the grid; other types in blocks of rows, compared
// with the no-data value in their own type and converted to 32-bit reals.
// Cost: one pass over the band.
template <typename T>
void read_band(GDALRasterBandH band, Terrain& t, RasterFrame& frame, const std::string& file) {
  const NoData<T> no_data = no_data_of<T>(band, frame);
  const std::size_t columns = t.height.columns(), rows = t.height.rows();
  const int width = static_cast<int>(columns);
  const std::span<float> heights = t.height.values();
  if constexpr (std::is_same_v<T, float>) {
    if (GDALRasterIO(band, GF_Read, 0, 0, width, static_cast<int>(rows), heights.data(), width,
                     static_cast<int>(rows), GDT_Float32, 0, 0) != CE_None) {
      refuse(file, ": " + library_reason());
    }
    if (no_data.any || no_data.nan) {
      for (std::size_t c = 0; c < heights.size(); ++c) {
        if (no_data(heights[c])) t.mark_no_data(c);
      }
    }
  } else {
    const std::size_t block = std::max<std::size_t>(1, kBlockValues / columns);
    std::vector<T> values;
    for (std::size_t first = 0; first < rows; first += block) {
      const std::size_t count = std::min(block, rows - first);
      values.resize(count * columns);
      if (GDALRasterIO(band, GF_Read, 0, static_cast<int>(first), width, static_cast<int>(count),
                       values.data(), width, static_cast<int>(count), gdal_type_of(T{}), 0,
                       0) != CE_None) {
        refuse(file, ": " + library_reason());
      }
      const std::size_t base = first * columns;
      for (std::size_t k = 0; k < values.size(); ++k) {
        heights[base + k] = static_cast<float>(values[k]);
        if (no_data(values[k])) t.mark_no_data(base + k);
      }
    }
  }
}

bool netcdf_signature(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  char head[8] = {};
  if (!in.read(head, sizeof head)) return false;
  const bool classic = std::memcmp(head, "CDF", 3) == 0 &&
                       (head[3] == 1 || head[3] == 2 || head[3] == 5);
  return classic || std::memcmp(head, "\x89HDF\r\n\x1a\n", 8) == 0;
}

}  // namespace

bool is_raster(const std::string& file) {
  if (netcdf_signature(file)) return false;
  use_raster_library();
  return GDALIdentifyDriverEx(file.c_str(), GDAL_OF_RASTER, nullptr, nullptr) != nullptr;
}

Terrain read_raster(const std::string& file, RasterFrame& frame) {
  use_raster_library();
  Dataset ds = open_raster(file);
  if (!ds) refuse(file, ": " + library_reason());
  ds = single_raster(std::move(ds), file);
  GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
  const int width = GDALGetRasterXSize(ds.get()), height = GDALGetRasterYSize(ds.get());
  if (width < 1 || height < 1) refuse(file, messages::kRasterNoBand);
  terrain::echo_dims(width, height);
  out().record(messages::kReadingRaster, file);
  const GDALDataType type = GDALGetRasterDataType(band);
  if (GDALDataTypeIsComplex(type) || type == GDT_Unknown) {
    refuse(file, std::string(messages::kRasterType) + GDALGetDataTypeName(type) + ")");
  }
  frame = frame_of(ds.get(), band);
  const auto columns = static_cast<std::size_t>(width), rows = static_cast<std::size_t>(height);
  require_memory(columns * rows);
  Terrain t;
  t.height = Grid2D<float>(columns, rows);
  t.water = CellBits(t.height.size());
  switch (type) {
    case GDT_Byte: read_band<std::uint8_t>(band, t, frame, file); break;
    case GDT_Int16: read_band<std::int16_t>(band, t, frame, file); break;
    case GDT_UInt16: read_band<std::uint16_t>(band, t, frame, file); break;
    case GDT_Int32: read_band<std::int32_t>(band, t, frame, file); break;
    case GDT_UInt32: read_band<std::uint32_t>(band, t, frame, file); break;
    case GDT_Int64: read_band<std::int64_t>(band, t, frame, file); break;
    case GDT_UInt64: read_band<std::uint64_t>(band, t, frame, file); break;
    case GDT_Float64: read_band<double>(band, t, frame, file); break;
    default: read_band<float>(band, t, frame, file); break;
  }
  return t;
}

// Contract: `height` holds the heights of `file` in file order, as read.
// The library is asked for the height variable; its rows are compared with
// the grid's from both ends until one order alone matches (a grid that reads
// the same both ways needs no decision).  Cost: usually one row read.
RasterFrame netcdf_terrain_frame(const std::string& file, const Grid2D<float>& height,
                                 bool& reversed) {
  use_raster_library();
  reversed = false;
  Dataset ds;
  for (const char* name : {"HGT_M", "HGT_M_M"}) {
    ds = open_raster("NETCDF:\"" + file + "\":" + name);
    if (ds) break;
  }
  if (!ds || GDALGetRasterCount(ds.get()) < 1 ||
      static_cast<std::size_t>(GDALGetRasterXSize(ds.get())) != height.columns() ||
      static_cast<std::size_t>(GDALGetRasterYSize(ds.get())) != height.rows()) {
    return {};
  }
  GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
  RasterFrame frame = frame_of(ds.get(), band);
  int has = 0;
  const double nodata = GDALGetRasterNoDataValue(band, &has);
  if (has) {
    frame.has_nodata = true;
    frame.nodata = std::isnan(nodata) ? nodata : static_cast<double>(static_cast<float>(nodata));
  }
  const std::size_t columns = height.columns(), rows = height.rows();
  std::vector<float> row(columns);
  const auto same = [&](std::size_t r) {
    return std::memcmp(row.data(), height.values().data() + r * columns, columns * sizeof(float)) == 0;
  };
  for (std::size_t r = 0; r < rows / 2; ++r) {
    if (GDALRasterIO(band, GF_Read, 0, static_cast<int>(r), static_cast<int>(columns), 1,
                     row.data(), static_cast<int>(columns), 1, GDT_Float32, 0, 0) != CE_None) {
      break;
    }
    const bool forward = same(r), backward = same(rows - 1 - r);
    if (forward != backward) {
      reversed = backward;
      break;
    }
  }
  return frame;
}

// Contract: `height` is the conditioned grid; the frame's transform is that
// of the rows as the raster library delivers them, so with `reversed` the
// grid's last row is written first.  Cost: one pass over the grid through
// the library's compressor.
void write_geotiff(const std::string& file, const Grid2D<float>& height, const RasterFrame& frame,
                   bool reversed) {
  use_raster_library();
  const auto fail_write = [&file] {
    fail(std::string(messages::kRasterUnwritable) + file + ": " + library_reason());
  };
  AtomicOutput output(file, nullptr, Temporary::named);
  const std::string path = output.path_for_writer();
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  if (driver == nullptr) fail_write();
  char** options = nullptr;
  options = CSLSetNameValue(options, "TILED", "YES");
  options = CSLSetNameValue(options, "COMPRESS", "DEFLATE");
  options = CSLSetNameValue(options, "PREDICTOR", "3");
  options = CSLSetNameValue(options, "BIGTIFF", "IF_SAFER");
  const int width = static_cast<int>(height.columns()), rows = static_cast<int>(height.rows());
  CPLErrorReset();
  Dataset ds(GDALCreate(driver, path.c_str(), width, rows, 1, GDT_Float32, options));
  CSLDestroy(options);
  if (!ds) fail_write();
  bool ok = true;
  if (frame.has_transform) {
    std::array<double, 6> t = frame.transform;
    ok = GDALSetGeoTransform(ds.get(), t.data()) == CE_None;
  }
  if (ok && !frame.crs_wkt.empty()) ok = GDALSetProjection(ds.get(), frame.crs_wkt.c_str()) == CE_None;
  GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
  if (ok && frame.has_nodata) ok = GDALSetRasterNoDataValue(band, frame.nodata) == CE_None;
  if (ok && !frame.height_units.empty()) ok = GDALSetRasterUnitType(band, frame.height_units.c_str()) == CE_None;
  float* values = const_cast<float*>(height.values().data());
  if (ok && !reversed) {
    ok = GDALRasterIO(band, GF_Write, 0, 0, width, rows, values, width, rows, GDT_Float32, 0, 0) ==
         CE_None;
  }
  for (int r = 0; ok && reversed && r < rows; ++r) {
    float* row = values + static_cast<std::size_t>(rows - 1 - r) * height.columns();
    ok = GDALRasterIO(band, GF_Write, 0, r, width, 1, row, width, 1, GDT_Float32, 0, 0) == CE_None;
  }
  if (ok) GDALFlushCache(ds.get());
  ds.reset();
  if (!ok || CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal) fail_write();
  output.commit();
}

}  // namespace rn::bedcarve
