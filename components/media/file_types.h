// The component's numbering of file types, as `FileType` reports it after an
// open and takes it before `CreateFile`. The control passes the number through
// (37 is what it assumes for a new document); components/media/README.md has the
// table with what each type writes.
#pragma once

#include <cstdint>

namespace qel::media {

enum FileType : int32_t {
  kFileTypeNone = 0,        // nothing open
  kFileTypeWav = 37,        // RIFF WAVE, PCM (extensible when needed; RF64 past 4 GiB)
  kFileTypeRf64 = 38,       // RF64 WAVE, always with the 64-bit header
  kFileTypeWave64 = 39,     // Sony Wave64, PCM
  kFileTypeAiff = 40,       // AIFF, big-endian PCM
  kFileTypeFlac = 41,       // FLAC
  kFileTypeMp3 = 42,        // MPEG-1/2 layer III
  kFileTypeOggVorbis = 43,  // Vorbis in Ogg
  kFileTypeOpus = 44,       // Opus in Ogg
  kFileTypeAac = 45,        // AAC in ADTS
  kFileTypeM4a = 46,        // AAC in an MPEG-4 audio file
  kFileTypeRaw = 47,        // headerless PCM, format given by an AudioFormat put
  kFileTypeMp4 = 60,        // MPEG-4 with video (AAC audio)
  kFileTypeMov = 61,        // QuickTime movie (PCM audio)
  kFileTypeMkv = 62,        // Matroska (PCM audio)
  kFileTypeAvi = 63,        // AVI (PCM audio)
  kFileTypeOther = 99,      // any other container FFmpeg reads; not writable
};

// Whether the type can be written, and whether it can carry a copied video stream.
constexpr bool IsWritable(int32_t type) {
  return (type >= kFileTypeWav && type <= kFileTypeRaw) ||
         (type >= kFileTypeMp4 && type <= kFileTypeAvi);
}
constexpr bool CarriesVideo(int32_t type) {
  return type >= kFileTypeMp4 && type <= kFileTypeAvi;
}

}  // namespace qel::media
