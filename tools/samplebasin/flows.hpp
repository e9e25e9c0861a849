// Streamflow of the parent channel outputs: a power law of the upstream
// area, so that flow grows strictly downstream, scaled so that the smallest
// channel carries a fraction of a cubic metre a second and the largest
// river several thousand, with a gentle change from hour to hour.
#pragma once

#include <cstdint>

namespace sb {

class FlowModel {
 public:
  /// `largest_area` is the greatest accumulation (cells) of any channel.
  explicit FlowModel(std::int64_t largest_area);

  /// Streamflow (m3/s) of a channel cell or link outlet of `area` cells at
  /// output hour `hour` (0-based).
  float streamflow(double area, int hour) const;
  /// The greatest streamflow so far in the model run (an earlier flood).
  float peak(double area) const;

 private:
  double exponent_ = 1.0;
  double scale_ = 1.0;  // flow of one cell
};

}  // namespace sb
