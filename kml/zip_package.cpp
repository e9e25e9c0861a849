#include "zip_package.hpp"

#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "kml_messages.hpp"
#include "program_end.hpp"

namespace rn::kml {
namespace {

/// The entries' time stamp: 1 January 1980, 00:00, the first a zip holds.
constexpr zip_uint16_t kDosTime = 0;
constexpr zip_uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;

/// The archive's destination for libzip: positional writes into the
/// output's descriptor.  Records the errno of a failed write.
struct ArchiveFile {
  int fd;
  zip_int64_t at = 0;
  int write_errno = 0;
  zip_error_t error{};
};

zip_int64_t archive_callback(void* user, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto& file = *static_cast<ArchiveFile*>(user);
  switch (command) {
    case ZIP_SOURCE_SUPPORTS:
      return ZIP_SOURCE_SUPPORTS_WRITABLE | ZIP_SOURCE_MAKE_COMMAND_BITMASK(ZIP_SOURCE_ACCEPT_EMPTY);
    case ZIP_SOURCE_ACCEPT_EMPTY:
      return 1;
    case ZIP_SOURCE_STAT: {
      // A new archive: nothing to read.
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &file.error);
      if (st == nullptr) return -1;
      zip_stat_init(st);
      st->size = 0;
      st->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_READ:
    case ZIP_SOURCE_SEEK:
    case ZIP_SOURCE_TELL:
    case ZIP_SOURCE_BEGIN_WRITE:
    case ZIP_SOURCE_COMMIT_WRITE:
    case ZIP_SOURCE_ROLLBACK_WRITE:
    case ZIP_SOURCE_REMOVE:
    case ZIP_SOURCE_FREE:
      return 0;
    case ZIP_SOURCE_WRITE: {
      const char* bytes = static_cast<const char*>(data);
      zip_uint64_t left = length;
      while (left > 0) {
        const ssize_t n = ::pwrite(file.fd, bytes, left, file.at);
        if (n < 0) {
          if (errno == EINTR) continue;
          file.write_errno = errno;
          zip_error_set(&file.error, ZIP_ER_WRITE, errno);
          return -1;
        }
        bytes += n;
        left -= static_cast<zip_uint64_t>(n);
        file.at += n;
      }
      return static_cast<zip_int64_t>(length);
    }
    case ZIP_SOURCE_SEEK_WRITE: {
      auto* seek = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &file.error);
      if (seek == nullptr) return -1;
      if (seek->whence == SEEK_SET) {
        file.at = seek->offset;
      } else if (seek->whence == SEEK_CUR) {
        file.at += seek->offset;
      } else {
        zip_error_set(&file.error, ZIP_ER_SEEK, EINVAL);
        return -1;
      }
      return 0;
    }
    case ZIP_SOURCE_TELL_WRITE:
      return file.at;
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&file.error, data, length);
    default:
      zip_error_set(&file.error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

/// One entry's data for libzip: deflated bytes with their size and check
/// sum, or bytes to store.
struct EntryData {
  const std::string* bytes;
  std::uint64_t size;
  std::uint32_t crc;
  bool deflated;
  zip_uint64_t at = 0;
  zip_error_t error{};
};

zip_int64_t entry_callback(void* user, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto& entry = *static_cast<EntryData*>(user);
  switch (command) {
    case ZIP_SOURCE_SUPPORTS:
      return ZIP_SOURCE_SUPPORTS_READABLE;
    case ZIP_SOURCE_OPEN:
      entry.at = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      const zip_uint64_t n = std::min<zip_uint64_t>(length, entry.bytes->size() - entry.at);
      std::memcpy(data, entry.bytes->data() + entry.at, n);
      entry.at += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &entry.error);
      if (st == nullptr) return -1;
      zip_stat_init(st);
      st->size = entry.size;
      st->comp_size = entry.bytes->size();
      st->crc = entry.crc;
      st->comp_method = entry.deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE;
      st->valid |= ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&entry.error, data, length);
    case ZIP_SOURCE_FREE:
      return 0;
    default:
      zip_error_set(&entry.error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

std::uint32_t crc_of(const std::string& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
  for (std::size_t left = bytes.size(); left > 0;) {
    const uInt n = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
    crc = crc32(crc, p, n);
    p += n;
    left -= n;
  }
  return static_cast<std::uint32_t>(crc);
}

}  // namespace

ZipPackage::ZipPackage(std::string_view target) : output_(target) {}

ZipPackage::~ZipPackage() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
  }
  stop_thread();
}

// Contract: replaces the entry's bytes by their raw deflate stream at
// kLevel and notes their size and check sum.  Deterministic (the same
// bytes give the same stream).  Cost: linear in the bytes.
void ZipPackage::deflate_entry(Entry& entry) {
  entry.size = entry.bytes.size();
  entry.crc = crc_of(entry.bytes);
  z_stream stream{};
  if (deflateInit2(&stream, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::bad_alloc();
  }
  std::string out(deflateBound(&stream, static_cast<uLong>(entry.bytes.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(entry.bytes.data());
  stream.avail_in = static_cast<uInt>(entry.bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, Z_FINISH);
  const std::size_t written = stream.total_out;
  deflateEnd(&stream);
  if (status != Z_STREAM_END) throw std::bad_alloc();
  out.resize(written);
  entry.bytes = std::move(out);
  entry.deflated = true;
}

void ZipPackage::add_deflated(std::string name, std::string bytes) {
  std::unique_lock lock(mutex_);
  entries_.push_back({std::move(name), std::move(bytes)});
  queue_.push_back(&entries_.back());
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  changed_.notify_all();
  // A full queue: deflate the oldest entry here rather than wait.
  while (queue_.size() > kQueued) {
    Entry* entry = take_queued(lock);
    lock.unlock();
    deflate_entry(*entry);
    lock.lock();
    entry->ready = true;
  }
}

void ZipPackage::add_stored(std::string name, std::string bytes) {
  std::lock_guard lock(mutex_);
  entries_.push_back({std::move(name), std::move(bytes)});
  Entry& entry = entries_.back();
  entry.size = entry.bytes.size();
  entry.crc = crc_of(entry.bytes);
  entry.ready = true;
}

ZipPackage::Entry* ZipPackage::take_queued(std::unique_lock<std::mutex>&) {
  if (queue_.empty()) return nullptr;
  Entry* entry = queue_.front();
  queue_.pop_front();
  return entry;
}

void ZipPackage::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
    Entry* entry = take_queued(lock);
    if (entry == nullptr) return;
    lock.unlock();
    bool ok = true;
    try {
      deflate_entry(*entry);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
    lock.lock();
    entry->ready = ok;
    failed_ = failed_ || !ok;
  }
}

void ZipPackage::stop_thread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ZipPackage::commit() {
  std::unique_lock lock(mutex_);
  while (Entry* entry = take_queued(lock)) {
    lock.unlock();
    deflate_entry(*entry);
    lock.lock();
    entry->ready = true;
  }
  lock.unlock();
  stop_thread();
  if (failed_) throw std::bad_alloc();
  write_archive();
  output_.commit();
}

// Contract: writes every entry, in order, as a zip archive into the
// output's temporary, with the fixed time stamp.  A failed write ends the
// program through the output (its message, status 1).  Cost: one copy of
// the entries' stored bytes.
void ZipPackage::write_archive() {
  ArchiveFile file{output_.fd()};
  zip_error_init(&file.error);
  zip_error_t error{};
  zip_error_init(&error);
  zip_source_t* destination = zip_source_function_create(archive_callback, &file, &error);
  zip_t* archive = destination ? zip_open_from_source(destination, ZIP_TRUNCATE, &error) : nullptr;
  if (archive == nullptr) {
    if (destination != nullptr) zip_source_free(destination);
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    fail(msg::kCannotWriteHead + output_.target() + msg::kReason + text);
  }
  zip_error_fini(&error);
  std::deque<EntryData> data;
  const auto give_up = [&] {
    const std::string text = zip_strerror(archive);
    zip_discard(archive);
    if (file.write_errno != 0) output_.fail_write(file.write_errno);
    fail(msg::kCannotWriteHead + output_.target() + msg::kReason + text);
  };
  for (const Entry& entry : entries_) {
    data.push_back({&entry.bytes, entry.size, entry.crc, entry.deflated});
    zip_error_init(&data.back().error);
    zip_source_t* source = zip_source_function(archive, entry_callback, &data.back());
    if (source == nullptr) give_up();
    const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      give_up();
    }
    const auto at = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(archive, at, entry.deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0) != 0 ||
        zip_file_set_dostime(archive, at, kDosTime, kDosDate, 0) != 0) {
      give_up();
    }
  }
  if (zip_close(archive) != 0) give_up();
}

}  // namespace rn::kml
