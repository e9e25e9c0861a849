// The file of a KML document, stored on a second thread while the records
// are composed.
//
// The records are composed on the calling thread into large blocks (the
// text output of this file); each full block goes through a bounded queue to
// a writer thread, which stores the blocks in order with plain writes.  So
// composing the next block and storing the last one go on at once, and
// memory stays a few blocks whatever the size of the document.
//
// The file appears whole or not at all (AtomicOutput).  A write that fails
// ends the program with "Error: cannot write output file <name>: <system
// error>" and status 1, at the next hand-over of a block or at the commit; a
// document that is not committed is dropped, blocks still queued unwritten.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "atomic_output.hpp"
#include "text_record.hpp"

namespace rn::kml {

class DocumentFile final : private TextBlockSink {
 public:
  /// Creates the temporary beside `target` (ends the program when it
  /// cannot).  The writer thread starts with the first full block.
  explicit DocumentFile(std::string_view target);
  /// Drops the document unless committed; the thread does not outlive it.
  ~DocumentFile();
  DocumentFile(const DocumentFile&) = delete;
  DocumentFile& operator=(const DocumentFile&) = delete;

  /// Record writer onto the document.
  TextOut& text() { return *text_; }

  /// Stores the last block, waits for every block to be stored and renames
  /// the document into place.  A write error ends the program (status 1)
  /// and leaves no file behind.
  void commit();

  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
  static constexpr std::size_t kBlocksInFlight = 4;

 private:
  struct FreeBytes {
    void operator()(char* p) const { std::free(p); }
  };
  struct Block {
    std::unique_ptr<char, FreeBytes> bytes;
    std::size_t size = 0;
    std::size_t capacity = 0;
  };

  char* exchange(char* block, std::size_t size, std::size_t capacity) override;
  /// An empty buffer of at least `capacity` bytes: a stored block or a new one.
  std::unique_ptr<char, FreeBytes> empty_block(std::size_t capacity);
  void run();          ///< the writer thread
  void stop_writer();  ///< lets the thread finish the queue and joins it

  AtomicOutput output_;
  const int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  /// Blocks waiting to be stored, in order: a ring of ready_count_ from first_.
  std::array<Block, kBlocksInFlight> ready_;
  std::size_t first_ = 0;
  std::size_t ready_count_ = 0;
  std::size_t in_flight_ = 0;  ///< blocks handed over and not yet stored
  std::vector<Block> spare_;   ///< stored blocks, for reuse (room reserved)
  bool closing_ = false;
  bool dropping_ = false;  ///< the document is abandoned: store nothing more
  int write_error_ = 0;    ///< errno of the first failed write
  std::thread thread_;
  std::unique_ptr<TextOut> text_;
};

}  // namespace rn::kml
