#include "fixtures.hpp"

#include "cdl_builder.hpp"

namespace nesting_test {

using rn::test::Cdl;

namespace {

// A variable's values as one CDL text ("1, 2"); none when empty.
std::vector<std::string> as_values(const std::string& joined) {
  return joined.empty() ? std::vector<std::string>{} : std::vector<std::string>{joined};
}

}  // namespace

std::string EntryMapping::cdl() const {
  Cdl c;
  c.dim("ndata", pnodeid.size());
  c.dim("gridNum", ci_grid.size());
  c.var("int", "PnodeId", "ndata", pnodeid);
  c.var("int", "pOrder", "ndata");
  c.var("int", "cOrder", "ndata");
  c.var("float", "weight", "ndata", weight);
  c.var("int", "childIndex", "ndata", childindex);
  c.var("int", "ci_grid", "gridNum", ci_grid);
  c.var("int", "cj_grid", "gridNum", cj_grid);
  return c.text("mapping");
}

std::string reach_output_cdl(const std::vector<int>& ids, const std::string& type,
                             const std::string& values, const std::string& attributes) {
  Cdl c;
  c.dim("feature_id", ids.size());
  c.dim("time", 1);
  c.var("int", "feature_id", "feature_id", ids);
  c.var(type, "streamflow", "time, feature_id", as_values(values));
  c.lines(attributes);
  return c.text("parent");
}

std::string NodeMapping::cdl() const {
  Cdl c;
  c.dim("childNodeNum", weight.size());
  c.var("float", "weight", "childNodeNum", weight);
  c.var("int", "ci_grid", "childNodeNum", ci_grid);
  c.var("int", "cj_grid", "childNodeNum", cj_grid);
  c.var("int", "fcstIndex", "childNodeNum", fcstindex);
  return c.text("mapping");
}

std::string record_output_cdl(std::size_t records, const std::string& type,
                              const std::string& values, const std::string& attributes) {
  Cdl c;
  c.dim("recNum", records);
  c.var(type, "streamflow", "recNum", as_values(values));
  c.lines(attributes);
  return c.text("parent");
}

}  // namespace nesting_test
