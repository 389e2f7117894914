// Files as the control uses them: the temporary directory, unique temporary
// names, an owning file handle with the sequential-scan hint, find by pattern and
// delete. Paths are POSIX paths in UTF-8; directories handed out end in '/'.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace qel::platform {

// The system temporary directory: $TMPDIR when set and not empty, else "/tmp/".
// Always ends in '/'.
std::string SystemTempDirectory();

// directory with a '/' appended when it does not already end in one (an empty
// directory stays empty).
std::string WithTrailingSlash(std::string_view directory);

// A path split after its last '/': directory keeps the '/', name is the rest.
struct PathParts {
  std::string directory;
  std::string name;
};
PathParts SplitPath(std::string_view path);

// True when path names a directory that can be entered.
bool IsUsableDirectory(const std::string& path);

// Makes a unique name "<directory>/<prefix><hex number>.tmp" and creates the empty
// file of that name, so the name stays taken until someone deletes it. Only the
// first three characters of prefix are used. The file is created exclusively, so
// two callers (threads or processes) never get the same name. Returns false, with
// errno set, when the directory cannot take a new file.
bool GetTempFileName(std::string_view directory, std::string_view prefix, std::string* out);

// The names (not paths) of the regular files in directory that match a shell
// pattern such as "qel*.qelf", in directory order. Matching is case-sensitive.
// A directory that cannot be read gives no names.
std::vector<std::string> FindFiles(const std::string& directory, const std::string& pattern);

// Removes a file. Returns false, with errno set, when it could not be removed.
bool DeleteFile(const std::string& path);

// Gives the file at `from` the name `to`, replacing what was there (one step:
// readers of `to` see the old file or the new one). False, with errno set,
// when it could not be done.
bool RenameFile(const std::string& from, const std::string& to);

// ---- I/O fault injection -----------------------------------------------------
// Tests make the file calls above fail as a full disk or a failing device
// would, to prove that no failure loses the user's data. Unarmed (the normal
// state) a call pays one relaxed atomic load. The calls are counted per kind
// from the moment a fault is armed; the nth call of that kind (1-based) fails
// with `error`, and with `persistent` every later call of the kind as well.
// Process-wide, since a fault must reach whichever object makes the call.
enum class IoCall { Open, Create, Read, Write, Seek, Rename, Truncate, Unlink, Close, kCount };

void InjectIoFault(IoCall call, int64_t nth, int error, bool persistent);
void ClearIoFaults();
// How many calls of the kind were made since its fault was armed (0 unarmed).
int64_t IoCallsSeen(IoCall call);
// The kind named "open", "create", "read", "write", "seek", "rename",
// "truncate", "unlink" or "close"; false for any other name.
bool IoCallFromName(std::string_view name, IoCall* call);

namespace detail {
extern std::atomic<bool> ioFaultsArmed;
int NextIoFault(IoCall call);
}  // namespace detail

// The error the next call of this kind must fail with, or 0. Every file call
// of the platform layer asks first.
inline int InjectedIoFault(IoCall call) {
  if (!detail::ioFaultsArmed.load(std::memory_order_relaxed)) return 0;
  return detail::NextIoFault(call);
}

enum class FileAccess {
  Read,            // must exist; read only
  ReadWrite,       // must exist; read and write
  Write,           // must exist; write only
  CreateTruncate,  // created or emptied; read and write
  CreateWrite,     // created or emptied; write only
};

enum class FileHint { None, SequentialScan };

enum class SeekOrigin { Begin, Current, End };

// One open file descriptor, closed when the object goes away. Read and Write
// move whole blocks: they retry after interruptions and partial transfers, so a
// short result means end of file (Read) or an error (Write).
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens path, closing whatever this object held before. Files are created with
  // mode 0666 (less the umask) and are never inherited by child programs.
  bool Open(const std::string& path, FileAccess access, FileHint hint = FileHint::None);
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  // Reads up to count bytes at the file pointer; *done is what was read (fewer
  // than count only at end of file or on an error, which returns false).
  bool Read(void* buffer, size_t count, size_t* done);
  // Writes count bytes at the file pointer; *done is what reached the file.
  // Returns true only when all of them did.
  bool Write(const void* buffer, size_t count, size_t* done);
  // The same at an absolute offset, leaving the file pointer alone.
  bool ReadAt(int64_t offset, void* buffer, size_t count, size_t* done);
  bool WriteAt(int64_t offset, const void* buffer, size_t count, size_t* done);

  // Moves the file pointer; *position (optional) receives the new offset.
  bool Seek(int64_t offset, SeekOrigin origin, int64_t* position = nullptr);
  // Current size in bytes, or -1.
  int64_t Size();
  bool Truncate(int64_t size);
  // True when the file is a regular file (not a device, pipe or directory).
  bool IsRegular();

  // Copies up to count bytes from source at *sourceOffset to this file at
  // *offset within the kernel, advancing both offsets; returns what was copied,
  // 0 at the end of the source, -1 with errno set (EXDEV, ENOSYS, EOPNOTSUPP or
  // EINVAL when the files cannot be copied between this way).
  int64_t CopyFrom(File& source, int64_t* sourceOffset, int64_t* offset, size_t count);

  // Closes the descriptor. Returns false when the close reported an error (a
  // write that did not reach the disk); the object is closed either way.
  bool Close();

  // The error of the last call that failed.
  std::error_code LastError() const { return error_; }

 private:
  bool Fail();
  bool FailNothingMoved(size_t* done);
  template <class Step>
  bool Transfer(size_t count, size_t* done, bool writing, Step step);
  int fd_ = -1;
  std::error_code error_;
};

}  // namespace qel::platform
