#include "parent_network.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "file_names.hpp"
#include "grid_readers.hpp"
#include "id_lookup.hpp"
#include "linkweaver_messages.hpp"
#include "nc_file.hpp"
#include "nc_readers.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::linkweaver {

void read_parent_links(std::string_view file_name, ParentLinks& links) {
  const std::string file = trim_name(file_name);
  NcFile nc;
  if (const int status = nc.open(file); status != NC_NOERR) {
    note_failure_place(file, {}, nc_error_text(status));
    text_stop(msg::kLinkOpenStop);
  }
  int dimid = -1;
  if (const int status = nc.dim_id("linkDim", dimid); status != NC_NOERR) {
    note_failure_place(file, "linkDim", nc_error_text(status));
    out().record(msg::kLinkDimRecord);
    text_stop(msg::kPolyidStop);
  }
  std::size_t length = 0;
  if (const int status = nc.dim_length(dimid, length); status != NC_NOERR) {
    note_failure_place(file, "linkDim", nc_error_text(status));
    text_stop(msg::kLinkLengthStop);
  }
  links.nlinks = int32_length(msg::kLinkReader, file, "linkDim", length);
  const int status = nc.close();
  if (status != NC_NOERR) stop_close_failure(msg::kLinkReader, file, status);
  out().record(msg::kLinkCount, links.nlinks);

  const auto count = static_cast<std::size_t>(links.nlinks);
  const ModuleReaders readers;
  readers.get1d_int(file, "link", links.link, count);
  readers.get1d_int(file, "order", links.order, count);
}

// Stream orders of many links at once.
// Contract: any identifiers, duplicates included, in `ids` and in
// `links.link`.  The result equals a scan of `links.link` from its first
// element for each identifier in turn (first occurrence wins), and the
// warnings of unknown identifiers come in the order of `ids`.  Cost: that of
// first_positions, one pass over the links that ends once every wanted
// identifier is found: O(|ids| + nlinks) expected time, memory O(|ids|)
// beyond the input.
std::vector<std::int32_t> stream_orders(const ParentLinks& links,
                                        std::span<const std::int32_t> ids) {
  const std::vector<std::int32_t> first = first_positions(ids, links.link);
  std::vector<std::int32_t> orders(ids.size());
  for (std::size_t n = 0; n < ids.size(); ++n) {
    if (first[n] != kIdAbsent) {
      orders[n] = links.order[static_cast<std::size_t>(first[n]) - 1];
    } else {
      out().record(msg::kIdNotMatched);
      out().record(msg::kUnmatchedId, ids[n]);
      orders[n] = kMissingOrder;
    }
  }
  return orders;
}

namespace {

// Length of one dimension of the overlap file, with its messages.
std::int32_t overlap_dimension(const NcFile& nc, const std::string& file, std::string_view dim,
                               std::string_view stop_text) {
  int dimid = -1;
  if (const int status = nc.dim_id(dim, dimid); status != NC_NOERR) {
    note_failure_place(file, dim, nc_error_text(status));
    out().record(msg::kOverlapDimRecord, dim);
    text_stop(stop_text);
  }
  std::size_t length = 0;
  if (const int status = nc.dim_length(dimid, length); status != NC_NOERR) {
    note_failure_place(file, dim, nc_error_text(status));
    text_stop(msg::kOverlapLengthStop + std::string(dim));
  }
  return int32_length(msg::kOverlapReader, file, dim, length);
}

}  // namespace

void read_overlap_dimensions(std::string_view file_name, std::int32_t& ndata, std::int32_t& npid) {
  const std::string file = trim_name(file_name);
  NcFile nc;
  if (const int status = nc.open(file); status != NC_NOERR) {
    note_failure_place(file, {}, nc_error_text(status));
    text_stop(msg::kOverlapOpenStop);
  }
  npid = overlap_dimension(nc, file, "polyid", msg::kPolyidStop);
  ndata = overlap_dimension(nc, file, "data", msg::kDataStop);
  const int status = nc.close();
  if (status != NC_NOERR) stop_close_failure(msg::kOverlapReader, file, status);
}

void read_geo_dimensions(std::string_view file, std::int32_t& ix, std::int32_t& jx) {
  read_grid_dimensions(kGeoDimensions, file, ix, jx);
}

void read_parent_anchor(std::string_view file, float& lat0, float& lon0) {
  std::int32_t ix = 0;
  std::int32_t jx = 0;
  read_geo_dimensions(file, ix, jx);
  out().record(msg::kGeoSize, ix, jx);
  lat0 = read_first_real(file, "XLAT_M", ix, jx);
  lon0 = read_first_real(file, "XLONG_M", ix, jx);
  out().record(msg::kAnchor, lat0, lon0);
  // Cell (1, 1) anchors the projection of every child cell: a latitude
  // beyond the poles (a fill value, say) or a non-finite longitude would
  // place the child grid anywhere.
  if (!valid_lat_lon(lat0, lon0)) {
    text_stop(msg::kAnchorHead + trim_name(file) + msg::kAnchorTail);
  }
}

bool valid_lat_lon(float lat, float lon) {
  return std::fabs(lat) <= 90.0f && std::isfinite(lon);
}

std::int32_t truncate_to_int(float value) {
  // 2^31 is exact in 32 bits; every float from -2^31 up to below 2^31
  // truncates into range.
  constexpr float kLimit = 2147483648.0f;
  if (!(value >= -kLimit && value < kLimit)) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

void parent_cell_of(const ParentProjection& projection, float lat, float lon, std::int32_t& i,
                    std::int32_t& j) {
  float x = 0.0f;
  float y = 0.0f;
  projection.to_xy(lat, lon, x, y);
  i = truncate_to_int(x + 0.5f);
  j = truncate_to_int(y + 0.5f);
}

}  // namespace rn::linkweaver
