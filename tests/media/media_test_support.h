// Helpers for the media-file tests: objects created by class identifier, a
// temporary folder, media made with the ffmpeg and sox tools, whole-file reads
// and writes through the media-file interface, and the wave-format record as a
// block carries it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "com/classtable.h"
#include "external/media.h"

namespace qel::test {

inline constexpr int32_t kFileAccess = static_cast<int32_t>(0x80040303);
inline constexpr int32_t kFileFormat = static_cast<int32_t>(0x80040304);
inline constexpr int32_t kVideoUnsupported = static_cast<int32_t>(0x80040305);
inline constexpr int32_t kAudioUnsupported = static_cast<int32_t>(0x80040306);
inline constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x80040308);
inline constexpr int32_t kQuickTimeContainer = static_cast<int32_t>(0x80040401);
inline constexpr int32_t kAviContainer = static_cast<int32_t>(0x80040501);

// File types of the component (components/media/file_types.h).
enum : int32_t {
  kWav = 37,
  kRf64 = 38,
  kWave64 = 39,
  kAiff = 40,
  kFlac = 41,
  kMp3 = 42,
  kOggVorbis = 43,
  kOpus = 44,
  kAac = 45,
  kM4a = 46,
  kRaw = 47,
  kMp4 = 60,
  kMov = 61,
  kMkv = 62,
  kAvi = 63
};

struct Format {
  int32_t rate = 44100, channels = 2, bits = 16;
  uint32_t mask = 3;
  int32_t BlockAlign() const { return bits / 8 * channels; }
  friend bool operator==(const Format&, const Format&) = default;
};

// What a block's wave-format record says.
struct Record {
  uint16_t tag = 0;
  size_t size = 0;
  Format format;
};

struct Decoded {
  Record record;  // of the first block
  std::vector<uint8_t> pcm;
  int blocks = 0;
  bool endedWithEmptyBlock = false;
};

class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }
  // Names in the folder (to find leftovers).
  std::vector<std::string> List() const;

 private:
  std::string path_;
};

// Runs a command through the shell; true when it exits with 0.
bool Shell(const std::string& command);
// ffmpeg with its banner and chatter silenced and overwriting allowed.
bool Ffmpeg(const std::string& arguments);
std::string Quote(const std::string& path);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Interleaved PCM that uses every bit: a fixed pseudo-random sequence.
std::vector<uint8_t> NoisePcm(const Format& format, int64_t frames, uint32_t seed = 1);

com::ComPtr<IMediaFile> NewMediaFile();
com::ComPtr<IAudioFormat> NewAudioFormat(const Format& format, int32_t tag = 1);
com::ComPtr<IExtraData> NewExtraData();
// A block for WriteAudio: the record the control puts in front (18 bytes for mono
// or mask 3, else 40) and the samples.
com::ComPtr<IAudioFrameData> NewBlock(const Format& format, const uint8_t* pcm, size_t bytes);
Record ParseRecord(IAudioFrameData* block);

// OpenFile's result for `path` on `file`.
int32_t Open(IMediaFile* file, const std::string& path);
// A new object that opened `path` (the test fails when it did not).
com::ComPtr<IMediaFile> Opened(const std::string& path);
// The value of an integer property.
int32_t Get(IMediaFile* file, com::HRESULT (IMediaFile::*getter)(int32_t*));
// A writer set up as the control sets one up, and CreateFile's result.
int32_t Create(IMediaFile* file, const std::string& path, int32_t type, const Format& format,
               int32_t videoTracks = 0);
// Every block of ReadAudio(blockMs) until the empty one.
Decoded ReadAll(IMediaFile* file, double blockMs = 4000);
// Opens and reads a whole file; fails the test when the open does.
Decoded Decode(const std::string& path, double blockMs = 4000);
// Writes `pcm` (in `format`) as a file of `type` in blocks of `blockFrames`,
// as the control's save does; returns CreateFile's result (then 0 = closed well).
int32_t Encode(const std::string& path, int32_t type, const Format& format,
               const std::vector<uint8_t>& pcm, IExtraData* extra = nullptr,
               size_t blockFrames = 4096);
std::string LastError(IMediaFile* file);

}  // namespace qel::test
