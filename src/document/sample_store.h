// The sample store: every version of the document is one temporary file holding
// a wave-format header and then the interleaved PCM frames. The header is the
// 18-byte wave-format record, or its 40-byte extensible form when the channel
// mask says more than plain mono or front-left/front-right stereo. There is no
// length field: the data runs to the end of the file. CSampleStoreFile reads and
// writes such a file; positions are byte offsets into the data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "external/wave_record.h"
#include "platform/files.h"

namespace qel::document {

using external::kExtensibleExtraSize;
using external::kWaveFormatExtensible;
using external::kWaveFormatPcm;
inline constexpr uint32_t kPcmHeaderSize = external::kPlainRecordSize;
inline constexpr uint32_t kExtensibleHeaderSize = external::kExtensibleRecordSize;
// The most channels a document has; flags, lanes and processors exist for
// this many.
inline constexpr int32_t kMaxChannels = 18;
// Longest file name the store accepts (bytes, without terminator).
inline constexpr size_t kMaxFileNameLength = 1023;

// The header record of a sample-store file.
using WaveFormat = external::WaveRecord;

// The header a new file of this format gets: the extensible tag when there are
// at least two channels and a mask other than 0 or 3 (front left + front right),
// with valid bits 0 and a zero sub-format; the plain PCM tag otherwise (the mask
// is then kept in memory only).
WaveFormat MakeWaveFormat(uint32_t sampleRate, uint16_t channels, uint16_t bitsPerSample,
                          uint32_t channelMask);

// Open modes of a sample-store file.
inline constexpr int32_t kModeClosed = 0;
inline constexpr int32_t kModeRead = 1;
inline constexpr int32_t kModeReadWrite = 2;
inline constexpr int32_t kModeCreated = 3;

class CSampleStoreFile;

// Copies `count` data bytes of source starting at data position `from` into
// target at data position `to`, as a plain byte copy in large blocks (within the
// kernel where the file system allows). Afterwards source is positioned after
// the bytes read and target after the bytes written; target's data size grows to
// cover them. True when exactly count bytes were copied; false when source has
// fewer, when either file is not open suitably, or on an I/O error. *copied
// (optional) receives what was copied either way.
bool CopySampleData(CSampleStoreFile& source, uint64_t from, CSampleStoreFile& target, uint64_t to,
                    uint64_t count, uint64_t* copied = nullptr);

class CSampleStoreFile {
 public:
  CSampleStoreFile() = default;
  ~CSampleStoreFile() = default;  // the handle closes itself
  CSampleStoreFile(CSampleStoreFile&&) noexcept = default;
  CSampleStoreFile& operator=(CSampleStoreFile&&) noexcept = default;
  CSampleStoreFile(const CSampleStoreFile&) = delete;
  CSampleStoreFile& operator=(const CSampleStoreFile&) = delete;

  // Creates (or empties) name for writing, writes the header, and keeps the file
  // open at data position 0 in mode 3. rate > 0; channels 1 to 18; bits 8, 16,
  // 24 or 32. On any failure (bad format, bad path, disk full) returns false and
  // no file of that name is left behind.
  bool Create(std::string_view name, int32_t sampleRate, int32_t channels, int32_t bitsPerSample,
              uint32_t channelMask);
  // Opens an existing file in mode 1 (read) or 2 (read and write) at data
  // position 0. False when it cannot be opened, its header is cut short, or for
  // any other mode.
  bool Open(std::string_view name, int32_t mode);
  // Reads min(count, data size - position) bytes at the position and advances
  // it; returns the bytes read (0 at the end of the data or on an error).
  size_t Read(void* buffer, size_t count);
  // Writes count bytes at the position, advances it and grows the data size to
  // cover it. True when the whole block was written (an empty block trivially
  // is); a short write (disk full) keeps what reached the file counted and
  // returns false.
  bool Write(const void* buffer, size_t count);
  // Moves to data position `position` (>= 0; beyond the end is allowed and a
  // later write fills the gap with zeros).
  bool Seek(int64_t position);
  // Cuts the data back to `size` bytes (no longer than it is): what a write
  // that ran out of room left behind. The position stays.
  bool Truncate(uint64_t size);
  // Closes the file; position and data size 0, mode 0. False when the close
  // reported a lost write.
  bool Close();

  const std::string& FileName() const { return fileName_; }
  int32_t Mode() const { return mode_; }
  bool IsOpen() const { return mode_ != kModeClosed; }
  const WaveFormat& Format() const { return format_; }
  int32_t SampleRate() const { return static_cast<int32_t>(format_.samplesPerSec); }
  int32_t Channels() const { return format_.channels; }
  int32_t SampleSize() const { return format_.bitsPerSample; }
  uint32_t ChannelsMask() const { return format_.channelMask; }
  int32_t BlockAlign() const { return format_.blockAlign; }
  uint32_t HeaderSize() const { return headerSize_; }
  uint64_t DataSize() const { return dataSize_; }
  uint64_t Position() const { return position_; }

  // Why the last failing call failed.
  std::error_code LastError() const { return error_; }

 private:
  friend bool CopySampleData(CSampleStoreFile& source, uint64_t from, CSampleStoreFile& target,
                             uint64_t to, uint64_t count, uint64_t* copied);

  bool Fail(std::error_code error);
  bool FailFromFile();
  void Reset();

  platform::File file_;
  std::string fileName_;
  WaveFormat format_;
  uint32_t headerSize_ = 0;
  uint64_t position_ = 0;
  uint64_t dataSize_ = 0;
  int32_t mode_ = kModeClosed;
  std::error_code error_;
};

}  // namespace qel::document
