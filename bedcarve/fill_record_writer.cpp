#include "fill_record_writer.hpp"

#include <utility>

#include "bedcarve_messages.hpp"
#include "text_record.hpp"

namespace rn::bedcarve {

FillRecordWriter::FillRecordWriter(TextOut& out) : out_(out) { current_.reserve(kBlock); }

FillRecordWriter::~FillRecordWriter() {
  try {
    finish();
  } catch (...) {
    // Only while a failure unwinds (out of memory): the run ends with that
    // failure anyway, but the thread must not outlive the writer.
    stop_thread();
  }
}

void FillRecordWriter::hand_over() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return in_flight_ < kBlocks; });
  ready_.push_back(std::move(current_));
  ++in_flight_;
  if (!spare_.empty()) {
    current_ = std::move(spare_.back());
    spare_.pop_back();
  } else {
    current_ = {};
    current_.reserve(kBlock);
  }
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  lock.unlock();
  changed_.notify_all();
}

void FillRecordWriter::finish() {
  if (!thread_.joinable()) {
    write(current_);  // a few fills only: no thread needed
    current_.clear();
    return;
  }
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return in_flight_ < kBlocks; });
    if (!current_.empty()) {
      ready_.push_back(std::move(current_));
      ++in_flight_;
    }
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void FillRecordWriter::stop_thread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void FillRecordWriter::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !ready_.empty() || closing_; });
    if (ready_.empty()) return;
    std::vector<FillRecord> block = std::move(ready_.front());
    ready_.pop_front();
    lock.unlock();
    write(block);
    block.clear();
    lock.lock();
    spare_.push_back(std::move(block));
    --in_flight_;
    changed_.notify_all();
  }
}

void FillRecordWriter::write(const std::vector<FillRecord>& block) {
  for (const FillRecord& f : block) {
    out_.record(messages::kFillBefore, f.i, f.j, f.minv, f.before);
    out_.record(messages::kFillAfter, f.i, f.j, f.minv, f.after);
  }
}

}  // namespace rn::bedcarve
