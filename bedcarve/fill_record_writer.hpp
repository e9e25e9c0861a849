// Writes the fill records on a second thread while the fill goes on.
//
// The fill hands each fill over as a small fixed record (`add`); a writer
// thread renders it as its "step 5" and "step 6" text records onto the
// record stream, in the order the fills were made.  Records travel in blocks
// through a bounded set of buffers: the fill waits only when every buffer is
// still being written, so memory stays a few hundred kilobytes whatever the
// number of fills.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "depression_fill.hpp"

namespace rn {
class TextOut;
}

namespace rn::bedcarve {

class FillRecordWriter {
 public:
  /// Records go to `out`, which nothing else may write to until `finish`
  /// returns.  The thread starts with the first block.
  explicit FillRecordWriter(TextOut& out);
  /// Finishes (see `finish`) if that has not been done.
  ~FillRecordWriter();
  FillRecordWriter(const FillRecordWriter&) = delete;
  FillRecordWriter& operator=(const FillRecordWriter&) = delete;

  /// Queues one fill.
  void add(const FillRecord& record) {
    current_.push_back(record);
    if (current_.size() == kBlock) hand_over();
  }

  /// Writes every queued fill and stops the thread; `out` is free again.
  void finish();

 private:
  static constexpr std::size_t kBlock = 4096;  ///< fills per block
  static constexpr std::size_t kBlocks = 4;    ///< blocks in flight at most

  void hand_over();
  void stop_thread();  ///< lets the thread write what it has and joins it
  void run();
  void write(const std::vector<FillRecord>& block);

  TextOut& out_;
  std::vector<FillRecord> current_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<FillRecord>> ready_;  ///< blocks waiting to be written
  std::vector<std::vector<FillRecord>> spare_;  ///< written blocks for reuse
  std::size_t in_flight_ = 0;                   ///< blocks handed over, not yet written
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace rn::bedcarve
