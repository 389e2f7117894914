#include "riff.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string_view>

#include "com/bstr.h"
#include "wave_format.h"

namespace qel::media {

namespace {

// Chunks the scan loads into memory are bounded, so that a damaged or hostile
// size field cannot ask for gigabytes.
constexpr uint32_t kMaxLoadedChunk = 16u << 20;
constexpr int kMaxChunks = 100000;
constexpr std::string_view kAttributePrefix = "Marker_Text=";

bool IsId(const uint8_t* p, const char (&id)[5]) {
  return std::memcmp(p, id, 4) == 0;
}

bool ReadAt(std::FILE* file, uint64_t offset, void* into, size_t size) {
  if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return std::fread(into, 1, size, file) == size;
}

bool ValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    auto c = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    if (c >= 0xF0 && c <= 0xF4)
      extra = 3;
    else if (c >= 0xE0 && c < 0xF0)
      extra = 2;
    else if (c >= 0xC2 && c < 0xE0)
      extra = 1;
    else if (c >= 0x80)
      return false;
    if (i + extra >= text.size() && extra > 0) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

// Text up to the first terminator inside the field.
std::u16string FieldText(const uint8_t* p, size_t size) {
  const auto* text = reinterpret_cast<const char*>(p);
  return DecodeChunkText(text, strnlen(text, size));
}

RiffFormat ParseFormat(const std::vector<uint8_t>& chunk) {
  RiffFormat f;
  const uint8_t* p = chunk.data();
  f.tag = LE16(p);
  f.channels = LE16(p + 2);
  f.rate = LE32(p + 4);
  f.bits = LE16(p + 14);
  f.validBits = f.bits;
  if (f.tag == kWaveFormatExtensible && chunk.size() >= kExtensibleRecordSize) {
    f.validBits = LE16(p + 18);
    f.mask = LE32(p + 20);
    f.tag = LE16(p + 24);
  }
  return f;
}

struct AdtlEntries {
  std::map<uint32_t, std::u16string> labels, notes, attributes;
  std::map<uint32_t, uint32_t> lengths;
};

void ParseAdtl(const std::vector<uint8_t>& list, AdtlEntries& out) {
  size_t pos = 4;  // after the list type
  while (pos + 8 <= list.size()) {
    const uint8_t* head = list.data() + pos;
    size_t size = LE32(head + 4);
    if (size > list.size() - pos - 8) break;
    const uint8_t* body = head + 8;
    if (size >= 4) {
      uint32_t id = LE32(body);
      if (IsId(head, "labl")) {
        out.labels[id] = FieldText(body + 4, size - 4);
      } else if (IsId(head, "note")) {
        out.notes[id] = FieldText(body + 4, size - 4);
      } else if (IsId(head, "ltxt") && size >= 20) {
        out.lengths[id] = LE32(body + 4);
        std::string_view text(reinterpret_cast<const char*>(body + 20),
                              strnlen(reinterpret_cast<const char*>(body + 20), size - 20));
        if (text.starts_with(kAttributePrefix)) {
          text.remove_prefix(kAttributePrefix.size());
          out.attributes[id] = DecodeChunkText(text.data(), text.size());
        }
      }
    }
    pos += 8 + size + (size & 1);
  }
}

std::u16string ParseInfoComment(const std::vector<uint8_t>& list) {
  size_t pos = 4;
  while (pos + 8 <= list.size()) {
    const uint8_t* head = list.data() + pos;
    size_t size = LE32(head + 4);
    if (size > list.size() - pos - 8) break;
    if (IsId(head, "ICMT")) return FieldText(head + 8, size);
    pos += 8 + size + (size & 1);
  }
  return {};
}

void AppendChunk(std::vector<uint8_t>& out, const char (&id)[5], const std::vector<uint8_t>& body) {
  size_t at = out.size();
  out.resize(at + 8);
  std::memcpy(out.data() + at, id, 4);
  PutLE32(out.data() + at + 4, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) out.push_back(0);
}

std::vector<uint8_t> TextEntry(uint32_t id, const std::u16string& text) {
  std::string utf8 = com::Utf16ToUtf8(text);
  std::vector<uint8_t> body(4);
  PutLE32(body.data(), id);
  body.insert(body.end(), utf8.begin(), utf8.end());
  body.push_back(0);
  return body;
}

}  // namespace

std::u16string DecodeChunkText(const char* text, size_t size) {
  std::string_view view(text, size);
  if (ValidUtf8(view)) return com::Utf8ToUtf16(view);
  std::u16string latin1;
  latin1.reserve(size);
  for (char c : view)
    latin1.push_back(static_cast<unsigned char>(c));
  return latin1;
}

std::optional<RiffInfo> ScanRiff(std::FILE* file) {
  struct stat st {};
  if (fstat(fileno(file), &st) != 0) return std::nullopt;
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  uint8_t header[12];
  if (!ReadAt(file, 0, header, sizeof header) || !IsId(header + 8, "WAVE")) return std::nullopt;
  RiffInfo info;
  if (IsId(header, "RF64") || IsId(header, "BW64"))
    info.rf64 = true;
  else if (!IsId(header, "RIFF"))
    return std::nullopt;

  uint64_t ds64DataSize = 0;
  std::vector<std::pair<uint32_t, uint32_t>> cues;  // id, frame
  AdtlEntries adtl;
  uint64_t pos = 12;
  for (int n = 0; n < kMaxChunks && pos + 8 <= fileSize; ++n) {
    uint8_t head[8];
    if (!ReadAt(file, pos, head, sizeof head)) break;
    uint64_t size = LE32(head + 4);
    if (IsId(head, "data")) {
      if (info.rf64 && size == 0xFFFFFFFF) size = ds64DataSize;
      if (!info.hasData) {
        info.hasData = true;
        info.dataOffset = pos + 8;
        info.dataBytes = std::min(size, fileSize - pos - 8);
      }
      // A data chunk cut short by the end of the file holds what is there.
      if (size > fileSize - pos - 8) break;
    } else if (size > fileSize - pos - 8) {
      break;
    } else if (size <= kMaxLoadedChunk) {
      bool wanted = IsId(head, "fmt ") || IsId(head, "cue ") || IsId(head, "LIST") ||
                    (IsId(head, "ds64") && info.rf64);
      if (wanted) {
        std::vector<uint8_t> body(static_cast<size_t>(size));
        if (!ReadAt(file, pos + 8, body.data(), body.size())) break;
        if (IsId(head, "fmt ") && body.size() >= 16) {
          info.format = ParseFormat(body);
        } else if (IsId(head, "ds64") && body.size() >= 16) {
          ds64DataSize = LE64(body.data() + 8);
        } else if (IsId(head, "cue ") && body.size() >= 4) {
          uint64_t count = std::min<uint64_t>(LE32(body.data()), (body.size() - 4) / 24);
          for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* point = body.data() + 4 + i * 24;
            cues.emplace_back(LE32(point), LE32(point + 20));
          }
        } else if (IsId(head, "LIST") && body.size() >= 4) {
          if (IsId(body.data(), "adtl"))
            ParseAdtl(body, adtl);
          else if (IsId(body.data(), "INFO"))
            info.comment = ParseInfoComment(body);
        }
      }
    }
    pos += 8 + size + (size & 1);
  }

  for (const auto& [id, frame] : cues) {
    FileMarker m;
    m.position = frame;
    if (auto it = adtl.lengths.find(id); it != adtl.lengths.end()) m.length = it->second;
    if (auto it = adtl.labels.find(id); it != adtl.labels.end()) m.label = it->second;
    if (auto it = adtl.notes.find(id); it != adtl.notes.end()) m.note = it->second;
    if (auto it = adtl.attributes.find(id); it != adtl.attributes.end()) m.attributes = it->second;
    info.markers.push_back(std::move(m));
  }
  return info;
}

std::vector<uint8_t> MakeMarkerChunks(const std::vector<FileMarker>& markers,
                                      const std::u16string& comment) {
  std::vector<uint8_t> out;
  if (!markers.empty()) {
    std::vector<uint8_t> cue(4 + 24 * markers.size(), 0);
    PutLE32(cue.data(), static_cast<uint32_t>(markers.size()));
    std::vector<uint8_t> adtl = {'a', 'd', 't', 'l'};
    for (size_t i = 0; i < markers.size(); ++i) {
      const FileMarker& m = markers[i];
      uint32_t id = static_cast<uint32_t>(i + 1);
      auto frame = static_cast<uint32_t>(std::clamp<int64_t>(m.position, 0, 0xFFFFFFFF));
      uint8_t* point = cue.data() + 4 + 24 * i;
      PutLE32(point, id);
      PutLE32(point + 4, frame);
      std::memcpy(point + 8, "data", 4);
      PutLE32(point + 20, frame);
      if (!m.label.empty()) AppendChunk(adtl, "labl", TextEntry(id, m.label));
      if (!m.note.empty()) AppendChunk(adtl, "note", TextEntry(id, m.note));
      if (m.length > 0 || !m.attributes.empty()) {
        std::vector<uint8_t> ltxt(20, 0);
        PutLE32(ltxt.data(), id);
        PutLE32(ltxt.data() + 4,
                static_cast<uint32_t>(std::clamp<int64_t>(m.length, 0, 0xFFFFFFFF)));
        std::memcpy(ltxt.data() + 8, "rgn ", 4);
        PutLE16(ltxt.data() + 18, 65001);  // code page: UTF-8
        if (!m.attributes.empty()) {
          std::string text = std::string(kAttributePrefix) + com::Utf16ToUtf8(m.attributes);
          ltxt.insert(ltxt.end(), text.begin(), text.end());
          ltxt.push_back(0);
        }
        AppendChunk(adtl, "ltxt", ltxt);
      }
    }
    AppendChunk(out, "cue ", cue);
    AppendChunk(out, "LIST", adtl);
  }
  if (!comment.empty()) {
    std::vector<uint8_t> info = {'I', 'N', 'F', 'O'};
    std::string utf8 = com::Utf16ToUtf8(comment);
    std::vector<uint8_t> text(utf8.begin(), utf8.end());
    text.push_back(0);
    AppendChunk(info, "ICMT", text);
    AppendChunk(out, "LIST", info);
  }
  return out;
}

}  // namespace qel::media
