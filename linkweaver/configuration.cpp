#include "configuration.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "linkweaver_messages.hpp"
#include "map_projection.hpp"
#include "namelist.hpp"
#include "nc_file.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::linkweaver {

namespace {

// A spacing as a user writes it: up to seven significant digits, no
// trailing zeros ("1", "0.5", "3000").
std::string short_real(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", value);
  return text;
}

}  // namespace

void check_projection_code(std::string_view mapproject) {
  std::string code(mapproject.substr(0, 2));
  if (code == "ME" || code == "CE" || code == "LC" || code == "ST") return;
  code.resize(2, ' ');
  out().record(msg::kUnrecognizedProjection, code);
  plain_stop(kFailure);
}

void check_grid_spacing(float dxkm) {
  if (dxkm > 0.0f && std::isfinite(dxkm)) return;
  out().record(msg::kDxkmRecord, dxkm);
  text_stop(msg::kDxkmStop);
}

void read_configuration(NestingConfig& config) {
  const NestingNamelist values = read_namelist_nesting("namelist.nesting");
  config.mapproject = NestingNamelist::text(values.mapproject);
  config.fulldom_child_f = NestingNamelist::text(values.fulldom_child_f);
  config.fulldom_parent_f = NestingNamelist::text(values.fulldom_parent_f);
  config.routinelin_p_f = NestingNamelist::text(values.routinelin_p_f);
  config.dxkm = values.dxkm;
  config.geo_parent_f = NestingNamelist::text(values.geo_parent_f);
  config.nhd_map_f = NestingNamelist::text(values.nhd_map_f);
  config.flowin_out = values.flowin_out;
  config.order_diff = values.order_diff;
  // An unknown code would leave the parent window undefined: refuse it
  // before any grid is read.
  check_projection_code(values.mapproject);
  // Every parent grid coordinate is a distance divided by dxkm: a spacing
  // of 0, below 0, infinite or NaN would place the whole child grid in one
  // cell (or nowhere) and still give a mapping.
  check_grid_spacing(values.dxkm);
  read_projection_attributes(config);
}

void read_projection_attributes(NestingConfig& config) {
  NcFile nc;
  if (nc.open(config.geo_parent_f) != NC_NOERR) return;
  nc.global_att_real("TRUELAT1", config.truelat1);
  nc.global_att_real("TRUELAT2", config.truelat2);
  nc.global_att_real("CEN_LAT", config.cen_lat);
  nc.global_att_real("CEN_LON", config.cen_lon);
  nc.global_att_real("STAND_LON", config.stand_lon);
  warn_on_spacing_mismatch(nc, config);
}

std::optional<FileSpacing> file_spacing(const NcFile& geo, std::string_view mapproject) {
  if (mapproject.substr(0, 2) == "CE") return std::nullopt;
  FileSpacing s;
  if (geo.global_att_real("DX_KM", s.value) == NC_NOERR) {
    s.km = s.value;
  } else if (geo.global_att_real("DX", s.value) == NC_NOERR) {
    s.metres = true;
    s.km = static_cast<double>(s.value) / 1000.0;
  } else {
    return std::nullopt;
  }
  if (!(s.km > 0.0) || !std::isfinite(s.km)) return std::nullopt;
  return s;
}

void warn_on_spacing_mismatch(const NcFile& geo, const NestingConfig& config) {
  const std::optional<FileSpacing> s = file_spacing(geo, config.mapproject);
  if (!s) return;
  constexpr double kTolerance = 0.001;
  if (std::fabs(static_cast<double>(config.dxkm) - s->km) <= kTolerance * s->km) return;
  std::string stated = s->metres ? msg::kSpacingDx + short_real(s->value) + msg::kSpacingMetres +
                                       short_real(s->km) + msg::kSpacingKmClose
                                 : msg::kSpacingDxKm + short_real(s->value) + msg::kSpacingKm;
  warn(msg::kSpacingHead + short_real(config.dxkm) + msg::kSpacingDiffers + config.geo_parent_f +
       msg::kSpacingOf + stated + msg::kSpacingTail);
}

ParentProjection::ParentProjection(const NestingConfig& config, float lat0, float lon0)
    : code_(config.mapproject.substr(0, 2)),
      spec_{.code = {},
            .dx = config.dxkm,
            .lat_orig = lat0,
            .lon_orig = lon0,
            .x_orig = 1.0f,
            .y_orig = 1.0f,
            .stand_lon = config.stand_lon,
            .truelat1 = config.truelat1,
            .truelat2 = config.truelat2} {}

ProjectionSpec ParentProjection::spec() const {
  ProjectionSpec s = spec_;
  s.code = code_;
  return s;
}

void ParentProjection::to_xy(float lat, float lon, float& x, float& y) const {
  const GridXY<float> p = latlon_to_grid(lat, lon, spec());
  x = p.x;
  y = p.y;
}

}  // namespace rn::linkweaver
