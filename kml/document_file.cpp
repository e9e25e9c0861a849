#include "document_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

namespace rn::kml {
namespace {

/// Writes `size` bytes at `bytes` to `fd`, resuming after partial writes and
/// interruptions.  Returns 0, or the errno of the write that failed.
int write_fully(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

}  // namespace

DocumentFile::DocumentFile(std::string_view target) : output_(target), fd_(output_.fd()) {
  // The TextOut's buffer, the blocks in flight and one more: no block is
  // stored without room in the spares.
  spare_.reserve(kBlocksInFlight + 1);
  text_ = std::make_unique<TextOut>(static_cast<TextBlockSink*>(this), kBlockBytes);
}

DocumentFile::~DocumentFile() {
  {
    std::lock_guard lock(mutex_);
    dropping_ = true;
  }
  text_.reset();  // its last bytes come back unstored
  stop_writer();
  // `output_` removes the temporary unless committed.
}

std::unique_ptr<char, DocumentFile::FreeBytes> DocumentFile::empty_block(std::size_t capacity) {
  while (!spare_.empty()) {
    Block block = std::move(spare_.back());
    spare_.pop_back();
    if (block.capacity >= capacity) return std::move(block.bytes);
  }
  std::unique_ptr<char, FreeBytes> bytes(static_cast<char*>(std::malloc(capacity)));
  if (!bytes) throw std::bad_alloc();
  return bytes;
}

// Contract: runs on the composing thread.  Queues `block` behind the blocks
// already handed over (waiting while kBlocksInFlight are), starting the
// writer thread with the first, and returns an empty block of at least
// `capacity` bytes.  Anything that throws does so before `block` changes
// hands.  An abandoned document takes nothing and returns `block` itself.
char* DocumentFile::exchange(char* block, std::size_t size, std::size_t capacity) {
  std::unique_lock lock(mutex_);
  if (dropping_) return block;
  changed_.wait(lock, [&] { return in_flight_ < kBlocksInFlight || write_error_ != 0; });
  if (write_error_ != 0) {
    const int error = write_error_;
    lock.unlock();
    output_.fail_write(error);
  }
  std::unique_ptr<char, FreeBytes> next = empty_block(capacity);
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  Block& slot = ready_[(first_ + ready_count_) % kBlocksInFlight];
  slot.bytes.reset(block);
  slot.size = size;
  slot.capacity = capacity;
  ++ready_count_;
  ++in_flight_;
  lock.unlock();
  changed_.notify_all();
  return next.release();
}

void DocumentFile::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return ready_count_ > 0 || closing_; });
    if (ready_count_ == 0) return;
    Block block = std::move(ready_[first_]);
    first_ = (first_ + 1) % kBlocksInFlight;
    --ready_count_;
    const bool store = !dropping_ && write_error_ == 0;
    lock.unlock();
    const int error = store ? write_fully(fd_, block.bytes.get(), block.size) : 0;
    lock.lock();
    if (write_error_ == 0) write_error_ = error;
    spare_.push_back(std::move(block));
    --in_flight_;
    changed_.notify_all();
  }
}

void DocumentFile::stop_writer() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void DocumentFile::commit() {
  if (!text_) return;  // already committed
  text_->flush();      // the last block joins the queue
  text_.reset();
  stop_writer();
  if (write_error_ != 0) output_.fail_write(write_error_);
  output_.commit();
}

}  // namespace rn::kml
