#include "flows.hpp"

#include <algorithm>
#include <cmath>

#include "det_math.hpp"

namespace sb {

namespace {
constexpr double kSmallest = 0.3;   // m3/s from a single cell
constexpr double kLargest = 4500.0; // m3/s at the largest river
}  // namespace

FlowModel::FlowModel(std::int64_t largest_area) {
  const double a = std::max<double>(2.0, static_cast<double>(largest_area));
  exponent_ = det_log(kLargest / kSmallest) / det_log(a);
  scale_ = kSmallest;
}

float FlowModel::streamflow(double area, int hour) const {
  // A slow recession after the flood: a few per cent an hour.
  const double recession = 1.0 - 0.03 * hour;
  return static_cast<float>(scale_ * det_pow(std::max(area, 1.0), exponent_) * recession);
}

float FlowModel::peak(double area) const {
  return static_cast<float>(1.8 * scale_ * det_pow(std::max(area, 1.0), exponent_));
}

}  // namespace sb
