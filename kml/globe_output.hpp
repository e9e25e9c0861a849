// The output of a globe tool: its plain KML document, or with `--kmz` its
// viewer-ready package.  Created before the inputs are read (a target that
// cannot be created ends the run first), completed once the points are
// known; either appears whole or not at all.
#pragma once

#include <optional>
#include <string_view>

#include "document_file.hpp"
#include "kml_document.hpp"
#include "kmz_package.hpp"
#include "zip_package.hpp"

namespace rn::kml {

enum class OutputForm { document, package };

class GlobeOutput {
 public:
  GlobeOutput(std::string_view target, OutputForm form) {
    if (form == OutputForm::package) {
      package_.emplace(target);
    } else {
      document_.emplace(target);
    }
  }

  /// Writes the points that `points` sends to its PlacemarkSink, the
  /// station list `obs_file` where the variant has one, and the end; then
  /// puts the output in place.
  template <typename Points>
  void complete(const Variant& variant, const PackageLook& look, Points points,
                std::string_view obs_file = {}) {
    if (document_) {
      complete_document(*document_, variant, points, obs_file);
    } else {
      complete_package(*package_, look, variant, points, obs_file);
    }
  }

 private:
  std::optional<DocumentFile> document_;
  std::optional<ZipPackage> package_;
};

}  // namespace rn::kml
