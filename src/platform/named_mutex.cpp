#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/files.h"

namespace qel::platform {

namespace {

// Lock-file names keep the characters a mutex name usually has ("{GUID}") and
// escape the rest, so that any name maps to one file and never to a path.
std::string EscapeName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                 c == '{' || c == '}' || c == '-' || c == '_' || c == '.';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  // File names stop at 255 bytes: long names keep a prefix and a hash of the whole.
  constexpr size_t kMaxEscaped = 200;
  if (out.size() > kMaxEscaped) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : name)
      hash = (hash ^ c) * 1099511628211ull;
    char tail[24];
    std::snprintf(tail, sizeof tail, "#%016llX", static_cast<unsigned long long>(hash));
    out.resize(kMaxEscaped - 17);
    out += tail;
  }
  return out;
}

bool SetLock(int fd, short type, bool wait) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // the whole file
  lock.l_pid = 0;  // required for open-file-description locks
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

int OpenLockFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0 && errno == EACCES) {
    // In a sticky directory such as /tmp the kernel may refuse O_CREAT on a file
    // another user made (protected_regular); opening it as it is still works.
    fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  }
  if (fd >= 0) {
    // Other users must be able to join the same mutex; only the owner of the file
    // can widen its mode, and for everyone else it already is as wide.
    fchmod(fd, 0666);
  }
  return fd;
}

}  // namespace

std::string NamedMutex::LockFilePath(std::string_view name) {
  const char* dir = std::getenv("QEL_LOCK_DIR");
  return WithTrailingSlash((dir && *dir) ? dir : "/tmp") + "qel-mutex-" + EscapeName(name) +
         ".lock";
}

NamedMutex::~NamedMutex() {
  Close();
}

NamedMutex::NamedMutex(NamedMutex&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_) {}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
  }
  return *this;
}

void NamedMutex::Close() {
  // Closing the descriptor drops its lock.
  if (fd_ >= 0) close(std::exchange(fd_, -1));
}

bool NamedMutex::Create(std::string_view name, bool* alreadyExisted) {
  Close();
  error_.clear();
  int fd = OpenLockFile(LockFilePath(name));
  if (fd < 0) {
    error_ = std::error_code(errno, std::generic_category());
    return false;
  }
  bool existed;
  if (SetLock(fd, F_WRLCK, false)) {
    // Nobody else holds it. Turning the exclusive lock into a shared one is atomic
    // for these locks, so there is no moment without a lock.
    existed = false;
    if (!SetLock(fd, F_RDLCK, false)) {
      error_ = std::error_code(errno, std::generic_category());
      close(fd);
      return false;
    }
  } else if (errno == EAGAIN || errno == EACCES) {
    // Somebody holds it. A newcomer holds the exclusive lock only for the instant
    // before it shares it, so waiting for the shared lock is brief.
    existed = true;
    if (!SetLock(fd, F_RDLCK, true)) {
      error_ = std::error_code(errno, std::generic_category());
      close(fd);
      return false;
    }
  } else {
    error_ = std::error_code(errno, std::generic_category());
    close(fd);
    return false;
  }
  fd_ = fd;
  if (alreadyExisted) *alreadyExisted = existed;
  return true;
}

bool NamedMutex::HoldAlone() {
  if (fd_ < 0) return false;
  // Converting this description's own shared lock conflicts only with the
  // locks of other holders.
  if (SetLock(fd_, F_WRLCK, false)) return true;
  if (errno != EAGAIN && errno != EACCES) error_ = std::error_code(errno, std::generic_category());
  return false;
}

void NamedMutex::Share() {
  if (fd_ >= 0 && !SetLock(fd_, F_RDLCK, false))
    error_ = std::error_code(errno, std::generic_category());
}

}  // namespace qel::platform
