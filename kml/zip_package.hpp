// The file of a globe package: a zip archive whose documents are deflated
// while the next ones are composed.
//
// Each document handed over joins a queue that a second thread deflates; the
// composing thread deflates the oldest one itself whenever the queue is full,
// and at the end helps to empty it.  The archive is written when every entry
// is ready (the deflated data stored as it is), into an AtomicOutput: the
// package appears whole or not at all.  Entries keep the order they were
// added in; every entry carries the same fixed time stamp, so the same
// entries give the same bytes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "atomic_output.hpp"

namespace rn::kml {

class ZipPackage {
 public:
  /// Creates the package's temporary beside `target` (ends the program with
  /// the output's create message when it cannot).
  explicit ZipPackage(std::string_view target);
  /// Drops the package unless committed; the thread does not outlive it.
  ~ZipPackage();
  ZipPackage(const ZipPackage&) = delete;
  ZipPackage& operator=(const ZipPackage&) = delete;

  /// Adds a document to be deflated.
  void add_deflated(std::string name, std::string bytes);
  /// Adds data stored as it is (pictures, already compressed).
  void add_stored(std::string name, std::string bytes);

  /// Waits for every entry, writes the archive and puts it in place.  A
  /// write error ends the program ("Error: cannot write output file ...",
  /// status 1) and leaves no file.
  void commit();

  /// Deflate level of the documents.
  static constexpr int kLevel = 6;
  /// Documents waiting for the second thread before this one helps.
  static constexpr std::size_t kQueued = 4;

 private:
  struct Entry {
    std::string name;
    std::string bytes;  ///< the data, deflated once `ready` for a deflated entry
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool deflated = false;
    bool ready = false;
  };

  void deflate_entry(Entry& entry);
  void run();  ///< the second thread
  void stop_thread();
  /// Takes the oldest queued entry, or null when none is queued.
  Entry* take_queued(std::unique_lock<std::mutex>& lock);
  void write_archive();

  AtomicOutput output_;
  std::deque<Entry> entries_;  ///< stable addresses while growing
  std::deque<Entry*> queue_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closing_ = false;
  bool failed_ = false;  ///< the second thread ran out of memory
  std::thread thread_;
};

}  // namespace rn::kml
