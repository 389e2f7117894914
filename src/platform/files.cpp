#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <utility>

namespace qel::platform {

namespace {

// Where a file name gets its number. Random rather than counted, so that names
// do not repeat across processes or threads even after their empty file has been
// deleted again (callers usually delete it and use a sibling name); the exclusive
// create is what makes a name certain.
uint64_t RandomNameNumber() {
  uint64_t value = 0;
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
    // No entropy yet (very early boot): the clock and the thread still separate callers.
    value = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<uint64_t>(gettid()) << 40) ^ reinterpret_cast<uintptr_t>(&value);
  }
  return value;
}

constexpr uint64_t kNameNumberMask = 0xFFFFFFFFFFFFull;  // 12 hex digits
constexpr int kNameAttempts = 1000;

// The first three characters of prefix, never cutting a UTF-8 sequence in half.
std::string_view ShortPrefix(std::string_view prefix) {
  size_t end = 0;
  for (int chars = 0; chars < 3 && end < prefix.size(); ++chars) {
    ++end;
    while (end < prefix.size() && (static_cast<unsigned char>(prefix[end]) & 0xC0) == 0x80)
      ++end;
  }
  return prefix.substr(0, end);
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

int OpenFlags(FileAccess access) {
  switch (access) {
    case FileAccess::Read:
      return O_RDONLY;
    case FileAccess::ReadWrite:
      return O_RDWR;
    case FileAccess::Write:
      return O_WRONLY;
    case FileAccess::CreateTruncate:
      return O_RDWR | O_CREAT | O_TRUNC;
    case FileAccess::CreateWrite:
      return O_WRONLY | O_CREAT | O_TRUNC;
  }
  return O_RDONLY;
}

// The armed faults: per kind of call, the calls seen since arming, which one
// fails and how.
struct IoFaultTable {
  struct Entry {
    bool armed = false;
    bool persistent = false;
    int64_t nth = 0;
    int error = 0;
    int64_t seen = 0;
  };
  std::mutex lock;
  std::array<Entry, static_cast<size_t>(IoCall::kCount)> entries;
};

IoFaultTable& Faults() {
  static IoFaultTable table;
  return table;
}

// The fault check with errno set as the failing system call would set it.
bool Injected(IoCall call) {
  if (int error = InjectedIoFault(call)) {
    errno = error;
    return true;
  }
  return false;
}

}  // namespace

namespace detail {

std::atomic<bool> ioFaultsArmed{false};

int NextIoFault(IoCall call) {
  IoFaultTable& table = Faults();
  std::lock_guard<std::mutex> hold(table.lock);
  IoFaultTable::Entry& e = table.entries[static_cast<size_t>(call)];
  if (!e.armed) return 0;
  const int64_t n = ++e.seen;
  return (n == e.nth || (e.persistent && n > e.nth)) ? e.error : 0;
}

}  // namespace detail

void InjectIoFault(IoCall call, int64_t nth, int error, bool persistent) {
  if (call >= IoCall::kCount) return;
  IoFaultTable& table = Faults();
  std::lock_guard<std::mutex> hold(table.lock);
  table.entries[static_cast<size_t>(call)] = {true, persistent, nth, error, 0};
  detail::ioFaultsArmed.store(true, std::memory_order_relaxed);
}

void ClearIoFaults() {
  IoFaultTable& table = Faults();
  std::lock_guard<std::mutex> hold(table.lock);
  detail::ioFaultsArmed.store(false, std::memory_order_relaxed);
  table.entries = {};
}

int64_t IoCallsSeen(IoCall call) {
  if (call >= IoCall::kCount) return 0;
  IoFaultTable& table = Faults();
  std::lock_guard<std::mutex> hold(table.lock);
  return table.entries[static_cast<size_t>(call)].seen;
}

bool IoCallFromName(std::string_view name, IoCall* call) {
  static constexpr std::array<std::string_view, static_cast<size_t>(IoCall::kCount)> kNames = {
      "open", "create", "read", "write", "seek", "rename", "truncate", "unlink", "close"};
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == name) {
      *call = static_cast<IoCall>(i);
      return true;
    }
  }
  return false;
}

std::string SystemTempDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = (tmp && *tmp) ? tmp : "/tmp";
  return WithTrailingSlash(dir);
}

std::string WithTrailingSlash(std::string_view directory) {
  std::string out(directory);
  if (!out.empty() && out.back() != '/') out.push_back('/');
  return out;
}

PathParts SplitPath(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {std::string(), std::string(path)};
  return {std::string(path.substr(0, slash + 1)), std::string(path.substr(slash + 1))};
}

bool IsUsableDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

bool GetTempFileName(std::string_view directory, std::string_view prefix, std::string* out) {
  if (!out || prefix.find('/') != std::string_view::npos) {
    errno = EINVAL;
    return false;
  }
  const std::string base = WithTrailingSlash(directory) + std::string(ShortPrefix(prefix));
  uint64_t number = RandomNameNumber();
  if (Injected(IoCall::Create)) return false;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt, ++number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%012llX",
                  static_cast<unsigned long long>(number & kNameNumberMask));
    std::string candidate = base + digits + ".tmp";
    int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      *out = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  errno = EEXIST;
  return false;
}

std::vector<std::string> FindFiles(const std::string& directory, const std::string& pattern) {
  std::vector<std::string> names;
  const std::string dirPath = directory.empty() ? std::string(".") : directory;
  std::unique_ptr<DIR, DirCloser> dir(opendir(dirPath.c_str()));
  if (!dir) return names;
  const std::string prefix = WithTrailingSlash(dirPath);
  while (const dirent* entry = readdir(dir.get())) {
    if (fnmatch(pattern.c_str(), entry->d_name, 0) != 0) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat st {};
      regular = stat((prefix + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    if (regular) names.emplace_back(entry->d_name);
  }
  return names;
}

bool DeleteFile(const std::string& path) {
  if (Injected(IoCall::Unlink)) return false;
  return unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
  if (Injected(IoCall::Rename)) return false;
  return rename(from.c_str(), to.c_str()) == 0;
}

// ---- File ------------------------------------------------------------------

File::~File() {
  if (fd_ >= 0) close(fd_);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::exchange(other.error_, {})) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    error_ = std::exchange(other.error_, {});
  }
  return *this;
}

bool File::Fail() {
  error_ = std::error_code(errno, std::generic_category());
  return false;
}

bool File::FailNothingMoved(size_t* done) {
  if (done) *done = 0;
  return Fail();
}

bool File::Open(const std::string& path, FileAccess access, FileHint hint) {
  if (fd_ >= 0) Close();
  error_.clear();
  const bool creating = access == FileAccess::CreateTruncate || access == FileAccess::CreateWrite;
  if (Injected(creating ? IoCall::Create : IoCall::Open)) return Fail();
  int fd;
  do {
    fd = open(path.c_str(), OpenFlags(access) | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail();
  fd_ = fd;
  // Only a hint: a failure (a pipe, say) changes nothing about correctness.
  if (hint == FileHint::SequentialScan) posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

// Moves count bytes through step(bytes moved so far), which returns what one
// system call moved or -1. Short transfers and EINTR are retried; a read that
// meets the end stops early without error, a write that moves nothing is a
// full disk.
template <class Step>
bool File::Transfer(size_t count, size_t* done, bool writing, Step step) {
  size_t total = 0;
  bool ok = true;
  while (total < count) {
    ssize_t n = step(total);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = Fail();
      break;
    }
    if (n == 0) {
      if (writing) {
        errno = ENOSPC;
        ok = Fail();
      }
      break;
    }
    total += static_cast<size_t>(n);
  }
  if (done) *done = total;
  return ok;
}

bool File::Read(void* buffer, size_t count, size_t* done) {
  if (Injected(IoCall::Read)) return FailNothingMoved(done);
  auto* bytes = static_cast<char*>(buffer);
  return Transfer(count, done, false, [&](size_t at) { return read(fd_, bytes + at, count - at); });
}

bool File::Write(const void* buffer, size_t count, size_t* done) {
  if (Injected(IoCall::Write)) return FailNothingMoved(done);
  const auto* bytes = static_cast<const char*>(buffer);
  return Transfer(count, done, true, [&](size_t at) { return write(fd_, bytes + at, count - at); });
}

bool File::ReadAt(int64_t offset, void* buffer, size_t count, size_t* done) {
  if (Injected(IoCall::Read)) return FailNothingMoved(done);
  auto* bytes = static_cast<char*>(buffer);
  return Transfer(count, done, false, [&](size_t at) {
    return pread(fd_, bytes + at, count - at, offset + static_cast<int64_t>(at));
  });
}

bool File::WriteAt(int64_t offset, const void* buffer, size_t count, size_t* done) {
  if (Injected(IoCall::Write)) return FailNothingMoved(done);
  const auto* bytes = static_cast<const char*>(buffer);
  return Transfer(count, done, true, [&](size_t at) {
    return pwrite(fd_, bytes + at, count - at, offset + static_cast<int64_t>(at));
  });
}

bool File::Seek(int64_t offset, SeekOrigin origin, int64_t* position) {
  int whence = origin == SeekOrigin::Begin     ? SEEK_SET
               : origin == SeekOrigin::Current ? SEEK_CUR
                                               : SEEK_END;
  if (Injected(IoCall::Seek)) return Fail();
  off_t result = lseek(fd_, offset, whence);
  if (result < 0) return Fail();
  if (position) *position = result;
  return true;
}

int64_t File::Size() {
  struct stat st {};
  if (fstat(fd_, &st) != 0) {
    Fail();
    return -1;
  }
  return st.st_size;
}

bool File::Truncate(int64_t size) {
  if (Injected(IoCall::Truncate)) return Fail();
  return ftruncate(fd_, size) == 0 || Fail();
}

bool File::IsRegular() {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return Fail();
  return S_ISREG(st.st_mode);
}

bool File::Close() {
  if (fd_ < 0) return true;
  // The descriptor is gone after close() whatever it returns (EINTR included),
  // so it is never retried.
  int rc = close(std::exchange(fd_, -1));
  if (rc == 0 && Injected(IoCall::Close)) rc = -1;  // closed, but a write was lost
  return rc == 0 || errno == EINTR || Fail();
}

int64_t File::CopyFrom(File& source, int64_t* sourceOffset, int64_t* offset, size_t count) {
  // A copy moves data into this file: it fails where a write would.
  if (Injected(IoCall::Write)) {
    Fail();
    return -1;
  }
  loff_t in = *sourceOffset, out = *offset;
  const ssize_t n = copy_file_range(source.fd_, &in, fd_, &out, count, 0);
  if (n < 0) {
    Fail();
    return -1;
  }
  *sourceOffset = in;
  *offset = out;
  return n;
}

}  // namespace qel::platform
