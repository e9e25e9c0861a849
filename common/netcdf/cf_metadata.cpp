#include "cf_metadata.hpp"

#include <netcdf.h>

#include <cstdlib>
#include <string>

#include "command_line.hpp"
#include "nc_file.hpp"

namespace rn {

namespace {

struct Invocation {
  std::string program = "rivernest";
  std::string arguments;  // each preceded by a blank
};

Invocation& invocation() {
  static Invocation run;
  return run;
}

// Seconds of 9999-12-31T23:59:59Z: a later stamp would not keep four digits.
constexpr long long kLastStampSeconds = 253402300799LL;

// SOURCE_DATE_EPOCH as a whole number of seconds, or -1.
long long source_date_epoch() {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (text == nullptr || *text == '\0') return -1;
  long long seconds = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return -1;
    seconds = seconds * 10 + (*p - '0');
    if (seconds > kLastStampSeconds) return -1;
  }
  return seconds;
}

}  // namespace

void note_invocation(std::string_view program, int argc, char** argv) {
  Invocation& run = invocation();
  run.program = std::string(program);
  run.arguments.clear();
  for (int k = 1; k < argc; ++k) {
    run.arguments += ' ';
    run.arguments += argv[k];
  }
}

std::string source_attribute() {
  return invocation().program + " " + std::string(toolkit_version());
}

std::time_t history_time() {
  const long long epoch = source_date_epoch();
  return epoch >= 0 ? static_cast<std::time_t>(epoch) : std::time(nullptr);
}

std::string utc_stamp(std::time_t t) {
  std::tm parts{};
  gmtime_r(&t, &parts);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string history_with(std::string_view earlier) {
  const Invocation& run = invocation();
  std::string line = utc_stamp(history_time()) + ": " + run.program + run.arguments;
  if (!earlier.empty()) {
    line += '\n';
    line += earlier;
  }
  return line;
}

void put_cf_globals(NcWriter& nc, std::string_view title, std::string_view earlier_history) {
  nc.put_att(kGlobalAttributes, "Conventions", kConventions);
  nc.put_att(kGlobalAttributes, "title", title);
  nc.put_att(kGlobalAttributes, "source", source_attribute());
  nc.put_att(kGlobalAttributes, "history", history_with(earlier_history));
}

void describe(NcWriter& nc, int varid, std::string_view long_name, std::string_view units) {
  nc.put_att(varid, "long_name", long_name);
  if (!units.empty()) nc.put_att(varid, "units", units);
}

void describe_perimeter(NcWriter& nc, int ci_grid, int cj_grid) {
  describe(nc, ci_grid, "child grid column of the perimeter cell");
  describe(nc, cj_grid, "child grid row of the perimeter cell, counted from the south");
}

std::string global_text_of(const std::string& path, std::string_view name) {
  NcFile file;
  std::string text;
  if (file.open(path) != NC_NOERR || file.att_text(NC_GLOBAL, name, text) != NC_NOERR) return {};
  return text;
}

}  // namespace rn
