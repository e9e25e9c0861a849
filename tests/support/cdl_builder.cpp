#include "cdl_builder.hpp"

#include <cstdio>

namespace rn::test {

void Cdl::dim(std::string_view name, std::size_t length) {
  dims_ << "  " << name << " = " << (length ? std::to_string(length) : "UNLIMITED") << " ;\n";
}

void Cdl::var(std::string_view type, std::string_view name, std::string_view shape,
              const std::vector<std::string>& values) {
  vars_ << "  " << type << " " << name << "(" << shape << ") ;\n";
  if (values.empty()) return;
  data_ << "  " << name << " =";
  for (std::size_t k = 0; k < values.size(); ++k) data_ << (k ? ", " : " ") << values[k];
  data_ << " ;\n";
}

void Cdl::lines(std::string_view cdl_lines) { vars_ << cdl_lines; }

std::string Cdl::text(std::string_view name) const {
  return "netcdf " + std::string(name) + " {\ndimensions:\n" + dims_.str() + "variables:\n" +
         vars_.str() + "data:\n" + data_.str() + "}\n";
}

std::string Cdl::number_text(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace rn::test
