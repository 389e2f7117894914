#include "document/sample_store.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "document/store_errors.h"

namespace qel::document {

namespace {

// The formats a store is made in: 8, 16, 24 or 32 bits, 1 to 18 channels, a
// positive 32-bit rate whose bytes per second fit the header's 32-bit field.
bool FormatInRange(int64_t sampleRate, int64_t channels, int64_t bitsPerSample) {
  const bool sizeOk =
      bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32;
  return sizeOk && channels >= 1 && channels <= kMaxChannels && sampleRate >= 1 &&
         sampleRate <= std::numeric_limits<int32_t>::max() &&
         static_cast<uint64_t>(sampleRate) * static_cast<uint64_t>(bitsPerSample / 8) *
                 static_cast<uint64_t>(channels) <=
             std::numeric_limits<uint32_t>::max();
}

uint16_t Get16Tag(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// A name the store can hand to the file system as it is.
std::error_code CheckFileName(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) {
    return make_error_code(StoreErrc::InvalidFileName);
  }
  if (name.size() > kMaxFileNameLength) return make_error_code(StoreErrc::FileNameTooLong);
  return {};
}

// Blocks for the read/write fallback of CopySampleData: large enough that the
// per-call cost vanishes, small enough to stay in the cache.
constexpr size_t kCopyBlock = 4 << 20;
// One copy_file_range call at most this much, so that signals are seen.
constexpr size_t kKernelCopyChunk = 1 << 30;

}  // namespace

WaveFormat MakeWaveFormat(uint32_t sampleRate, uint16_t channels, uint16_t bitsPerSample,
                          uint32_t channelMask) {
  const bool extensible = channels >= 2 && channelMask >= 1 && channelMask != 3;
  WaveFormat f =
      external::MakePcmRecord(sampleRate, channels, bitsPerSample, extensible, channelMask, 0, {});
  f.channelMask = channelMask;  // kept in memory; the 18-byte header has no place for it
  return f;
}

bool CSampleStoreFile::Fail(std::error_code error) {
  error_ = error;
  return false;
}

bool CSampleStoreFile::FailFromFile() {
  return Fail(file_.LastError());
}

void CSampleStoreFile::Reset() {
  position_ = 0;
  dataSize_ = 0;
  mode_ = kModeClosed;
}

bool CSampleStoreFile::Create(std::string_view name, int32_t sampleRate, int32_t channels,
                              int32_t bitsPerSample, uint32_t channelMask) {
  if (IsOpen()) Close();
  error_.clear();
  if (auto bad = CheckFileName(name)) return Fail(bad);
  if (!FormatInRange(sampleRate, channels, bitsPerSample))
    return Fail(make_error_code(StoreErrc::InvalidFormat));
  const WaveFormat format =
      MakeWaveFormat(static_cast<uint32_t>(sampleRate), static_cast<uint16_t>(channels),
                     static_cast<uint16_t>(bitsPerSample), channelMask);

  const std::string path(name);
  platform::File file;
  if (!file.Open(path, platform::FileAccess::CreateWrite, platform::FileHint::SequentialScan)) {
    return Fail(file.LastError());
  }
  if (!file.IsRegular()) {
    // A device or pipe is not a store; and it must not be deleted on the way out.
    return Fail(make_error_code(StoreErrc::NotARegularFile));
  }
  const std::vector<uint8_t> header = external::EncodeWaveRecord(format);
  size_t written = 0;
  if (!file.Write(header.data(), format.Size(), &written)) {
    std::error_code error = file.LastError();
    file.Close();
    platform::DeleteFile(path);  // no half-written header is left behind
    return Fail(error);
  }
  file_ = std::move(file);
  fileName_ = path;
  format_ = format;
  headerSize_ = format.Size();
  position_ = 0;
  dataSize_ = 0;
  mode_ = kModeCreated;
  return true;
}

bool CSampleStoreFile::Open(std::string_view name, int32_t mode) {
  if (IsOpen()) Close();
  error_.clear();
  if (mode != kModeRead && mode != kModeReadWrite)
    return Fail(make_error_code(StoreErrc::InvalidMode));
  if (auto bad = CheckFileName(name)) return Fail(bad);
  const std::string path(name);

  // The header first, through a handle of its own.
  WaveFormat format;
  int64_t fileSize;
  {
    platform::File header;
    if (!header.Open(path, platform::FileAccess::Read)) return Fail(header.LastError());
    uint8_t bytes[kExtensibleHeaderSize] = {};
    size_t got = 0;
    if (!header.Read(bytes, kPcmHeaderSize, &got)) return Fail(header.LastError());
    if (got < kPcmHeaderSize) return Fail(make_error_code(StoreErrc::HeaderTruncated));
    size_t known = 0;
    if (Get16Tag(bytes) == kWaveFormatExtensible) {
      // The extensible fields fill 22 bytes; a longer extra part is skipped.
      known =
          std::min<size_t>(static_cast<size_t>(bytes[16] | (bytes[17] << 8)), kExtensibleExtraSize);
      if (!header.Read(&bytes[kPcmHeaderSize], known, &got)) return Fail(header.LastError());
      if (got < known) return Fail(make_error_code(StoreErrc::HeaderTruncated));
    }
    format = *external::DecodeWaveRecord({bytes, kPcmHeaderSize + known});
    fileSize = header.Size();
    if (fileSize < 0) return Fail(header.LastError());
    if (static_cast<uint64_t>(fileSize) < format.Size()) {
      return Fail(make_error_code(StoreErrc::HeaderTruncated));
    }
  }

  platform::File file;
  auto access = mode == kModeRead ? platform::FileAccess::Read : platform::FileAccess::ReadWrite;
  if (!file.Open(path, access, platform::FileHint::SequentialScan)) return Fail(file.LastError());
  if (!file.Seek(format.Size(), platform::SeekOrigin::Begin)) return Fail(file.LastError());
  file_ = std::move(file);
  fileName_ = path;
  format_ = format;
  headerSize_ = format.Size();
  dataSize_ = static_cast<uint64_t>(fileSize) - headerSize_;
  position_ = 0;
  mode_ = mode;
  return true;
}

size_t CSampleStoreFile::Read(void* buffer, size_t count) {
  if (!IsOpen()) {
    Fail(make_error_code(StoreErrc::NotOpen));
    return 0;
  }
  if (position_ >= dataSize_) return 0;
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(count, dataSize_ - position_));
  size_t got = 0;
  if (!file_.Read(buffer, wanted, &got)) FailFromFile();
  position_ += got;
  return got;
}

bool CSampleStoreFile::Write(const void* buffer, size_t count) {
  if (!IsOpen()) return Fail(make_error_code(StoreErrc::NotOpen));
  size_t written = 0;
  const bool ok = file_.Write(buffer, count, &written);
  position_ += written;
  dataSize_ = std::max(dataSize_, position_);
  return ok || FailFromFile();
}

bool CSampleStoreFile::Seek(int64_t position) {
  if (!IsOpen()) return Fail(make_error_code(StoreErrc::NotOpen));
  if (position < 0 || position > std::numeric_limits<int64_t>::max() - headerSize_) {
    return Fail(make_error_code(StoreErrc::InvalidPosition));
  }
  int64_t filePointer = 0;
  if (!file_.Seek(position + headerSize_, platform::SeekOrigin::Begin, &filePointer)) {
    return FailFromFile();
  }
  position_ = static_cast<uint64_t>(filePointer) - headerSize_;
  return true;
}

bool CSampleStoreFile::Truncate(uint64_t size) {
  if (!IsOpen()) return Fail(make_error_code(StoreErrc::NotOpen));
  if (size >= dataSize_) return true;
  if (!file_.Truncate(static_cast<int64_t>(headerSize_ + size))) return FailFromFile();
  dataSize_ = size;
  return true;
}

bool CSampleStoreFile::Close() {
  const bool ok = file_.Close();
  if (!ok) FailFromFile();
  Reset();
  return ok;
}

bool CopySampleData(CSampleStoreFile& source, uint64_t from, CSampleStoreFile& target, uint64_t to,
                    uint64_t count, uint64_t* copied) {
  if (copied) *copied = 0;
  if (!source.IsOpen() || !target.IsOpen()) return target.Fail(make_error_code(StoreErrc::NotOpen));
  if (&source == &target) return target.Fail(make_error_code(StoreErrc::InvalidPosition));
  constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / 2);
  if (from > kMaxOffset || to > kMaxOffset || count > kMaxOffset) {
    return target.Fail(make_error_code(StoreErrc::InvalidPosition));
  }

  const uint64_t available = from < source.dataSize_ ? source.dataSize_ - from : 0;
  const uint64_t wanted = std::min(count, available);
  int64_t sourceOffset = static_cast<int64_t>(source.headerSize_ + from);
  int64_t targetOffset = static_cast<int64_t>(target.headerSize_ + to);
  uint64_t done = 0;
  std::error_code error;

  // Within the kernel first: no copy through user space, and on file systems
  // that share extents no data copy at all.
  bool kernel = true;
  while (done < wanted && kernel) {
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(wanted - done, kKernelCopyChunk));
    const int64_t n = target.file_.CopyFrom(source.file_, &sourceOffset, &targetOffset, chunk);
    if (n > 0) {
      done += static_cast<uint64_t>(n);
    } else if (n == 0) {
      break;  // the source ended before its recorded size
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
      kernel = false;  // not possible between these files: copy through a buffer
    } else {
      error = std::error_code(errno, std::generic_category());
      break;
    }
  }

  if (!kernel) {
    std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(wanted - done, kCopyBlock)));
    while (done < wanted) {
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(wanted - done, block.size()));
      size_t got = 0;
      if (!source.file_.ReadAt(sourceOffset, block.data(), chunk, &got)) {
        error = source.file_.LastError();
        break;
      }
      if (got == 0) break;
      size_t put = 0;
      const bool ok = target.file_.WriteAt(targetOffset, block.data(), got, &put);
      done += put;
      sourceOffset += static_cast<int64_t>(put);
      targetOffset += static_cast<int64_t>(put);
      if (!ok) {
        error = target.file_.LastError();
        break;
      }
      if (got < chunk) break;
    }
  }

  target.dataSize_ = std::max(target.dataSize_, to + done);
  if (copied) *copied = done;
  // Both files continue after the copied range, as if it had been read and written.
  const bool placed = source.Seek(static_cast<int64_t>(from + done)) &&
                      target.Seek(static_cast<int64_t>(to + done));
  if (error) return target.Fail(error);
  if (!placed) return false;
  if (done < count) return target.Fail(make_error_code(StoreErrc::SourceTooShort));
  return true;
}

}  // namespace qel::document
