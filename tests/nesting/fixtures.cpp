#include "fixtures.hpp"

namespace nesting_test {

std::string join(const std::vector<int>& values) {
  std::string s;
  for (std::size_t i = 0; i < values.size(); ++i) s += (i ? ", " : "") + std::to_string(values[i]);
  return s;
}

namespace {
std::string join(const std::vector<std::string>& values) {
  std::string s;
  for (std::size_t i = 0; i < values.size(); ++i) s += (i ? ", " : "") + values[i];
  return s;
}
}  // namespace

std::string dim_line(const std::string& name, std::size_t n) {
  return "  " + name + " = " + (n == 0 ? std::string("UNLIMITED") : std::to_string(n)) + " ;\n";
}

std::string data_line(const std::string& name, const std::string& values) {
  return values.empty() ? std::string() : "  " + name + " = " + values + " ;\n";
}

std::string EntryMapping::cdl() const {
  return "netcdf mapping {\ndimensions:\n" + dim_line("ndata", pnodeid.size()) +
         dim_line("gridNum", ci_grid.size()) +
         "variables:\n  int PnodeId(ndata) ;\n  int pOrder(ndata) ;\n  int cOrder(ndata) ;\n"
         "  float weight(ndata) ;\n  int childIndex(ndata) ;\n  int ci_grid(gridNum) ;\n"
         "  int cj_grid(gridNum) ;\ndata:\n" +
         data_line("PnodeId", join(pnodeid)) + data_line("weight", join(weight)) +
         data_line("childIndex", join(childindex)) + data_line("ci_grid", join(ci_grid)) +
         data_line("cj_grid", join(cj_grid)) + "}\n";
}

std::string reach_output_cdl(const std::vector<int>& ids, const std::string& type,
                             const std::string& values, const std::string& attributes) {
  return "netcdf parent {\ndimensions:\n" + dim_line("feature_id", ids.size()) +
         "  time = 1 ;\nvariables:\n  int feature_id(feature_id) ;\n  " + type +
         " streamflow(time, feature_id) ;\n" + attributes + "data:\n" +
         data_line("feature_id", join(ids)) + data_line("streamflow", values) + "}\n";
}

std::string NodeMapping::cdl() const {
  return "netcdf mapping {\ndimensions:\n" + dim_line("childNodeNum", weight.size()) +
         "variables:\n  float weight(childNodeNum) ;\n  int ci_grid(childNodeNum) ;\n"
         "  int cj_grid(childNodeNum) ;\n  int fcstIndex(childNodeNum) ;\ndata:\n" +
         data_line("weight", join(weight)) + data_line("ci_grid", join(ci_grid)) +
         data_line("cj_grid", join(cj_grid)) + data_line("fcstIndex", join(fcstindex)) + "}\n";
}

std::string record_output_cdl(std::size_t records, const std::string& type,
                              const std::string& values, const std::string& attributes) {
  return "netcdf parent {\ndimensions:\n" + dim_line("recNum", records) + "variables:\n  " +
         type + " streamflow(recNum) ;\n" + attributes + "data:\n" +
         data_line("streamflow", values) + "}\n";
}

}  // namespace nesting_test
