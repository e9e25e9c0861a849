// Signs of life of a long run for a person at a terminal: the stage the run
// is in (reading, filling, writing) and how far the fill's sweep has come,
// on the error stream, and only when the error stream is a terminal.  A run
// whose error stream is a file or a pipe writes nothing here, so scripts
// and checked outputs see exactly what they always saw.
//
//     bedcarve: reading dem.tif
//     bedcarve: filling  37 %          (redrawn in place)
//     bedcarve: writing dem_filled.tif
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "depression_fill.hpp"

namespace rn::bedcarve {

/// True when the error stream (descriptor 2) is a terminal.
bool error_stream_is_terminal();

class RunProgress {
 public:
  /// Draws only when `shown`.
  explicit RunProgress(bool shown = error_stream_is_terminal());
  /// Ends a line left open (a run that ends during the sweep), so that the
  /// stop text starts on a line of its own.
  ~RunProgress();
  RunProgress(const RunProgress&) = delete;
  RunProgress& operator=(const RunProgress&) = delete;

  /// The line "bedcarve: <stage>" (e.g. "reading dem.tif").
  void begin(std::string_view stage);

  /// The sweep's callback: redraws "bedcarve: filling  NN %" whenever the
  /// whole percentage changes (at most 101 times a run) and ends the line
  /// at 100 %.  Empty when nothing is shown, which costs the sweep nothing.
  SweepProgress sweep();

 private:
  void draw(std::string_view text, bool records_first);

  bool shown_;
  bool open_line_ = false;
  int percent_ = -1;
};

}  // namespace rn::bedcarve
