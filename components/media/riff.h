// What the component reads from and writes into the chunks of a RIFF/RF64 wave
// file beyond the audio: the format chunk, the markers (`cue ` points with the
// `labl`, `note` and `ltxt` entries of a `LIST`/`adtl` chunk) and the comment
// (`ICMT` of a `LIST`/`INFO` chunk).
//
// A marker's attribute text travels in the text of its `ltxt` entry (purpose
// "rgn ", code page 65001) as "Marker_Text=" followed by the text; the entry's
// sample length is the marker's length. Labels and notes are UTF-8; texts that
// are not valid UTF-8 (older files) are read as Latin-1.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace qel::media {

struct FileMarker {
  int64_t position = 0;  // frames
  int64_t length = 0;    // frames
  std::u16string label, note, attributes;
};

struct RiffFormat {
  uint16_t tag = 0;  // the sub-format's tag for an extensible chunk
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint16_t bits = 0;             // container bits per sample
  uint16_t validBits = 0;        // extensible only, else = bits
  std::optional<uint32_t> mask;  // extensible only
};

struct RiffInfo {
  bool rf64 = false;
  std::optional<RiffFormat> format;
  // Where the samples are: the data chunk's payload, cut to what the file holds.
  uint64_t dataOffset = 0, dataBytes = 0;
  bool hasData = false;
  std::vector<FileMarker> markers;
  std::u16string comment;
};

inline constexpr char kMarkerTextName[] = "Marker_Text";

// Reads the chunks of a wave file; nullopt when the file is not RIFF/RF64 WAVE.
// Damaged chunk lists end the scan quietly with what was read so far.
std::optional<RiffInfo> ScanRiff(std::FILE* file);

// The `cue ` and `LIST` chunks that follow the data chunk of a written file
// (empty when there are no markers and no comment).
std::vector<uint8_t> MakeMarkerChunks(const std::vector<FileMarker>& markers,
                                      const std::u16string& comment);

// UTF-8 text as written in the chunks, and back (Latin-1 when not valid UTF-8).
std::u16string DecodeChunkText(const char* text, size_t size);

}  // namespace qel::media
