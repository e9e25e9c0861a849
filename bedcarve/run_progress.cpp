#include "run_progress.hpp"

#include <unistd.h>

#include <cstdio>

#include "text_record.hpp"

namespace rn::bedcarve {

bool error_stream_is_terminal() { return isatty(STDERR_FILENO) == 1; }

RunProgress::RunProgress(bool shown) : shown_(shown) {}

RunProgress::~RunProgress() {
  if (open_line_) draw("\n", false);
}

void RunProgress::draw(std::string_view text, bool records_first) {
  // Standard output first where its records and these lines share the
  // terminal, so that both read in the order they were made; not during
  // the sweep, whose records another thread writes.
  if (records_first) out().flush();
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void RunProgress::begin(std::string_view stage) {
  if (!shown_) return;
  draw("bedcarve: " + std::string(stage) + "\n", true);
}

SweepProgress RunProgress::sweep() {
  if (!shown_) return {};
  percent_ = -1;
  return [this](std::size_t done, std::size_t columns) {
    const int percent = columns == 0 ? 100 : static_cast<int>(done * 100 / columns);
    if (percent == percent_) return;
    percent_ = percent;
    char line[48];
    std::snprintf(line, sizeof line, "\rbedcarve: filling %3d %%", percent);
    draw(line, false);
    open_line_ = percent < 100;
    if (!open_line_) draw("\n", false);
  };
}

}  // namespace rn::bedcarve
