// Documents made from known samples for tests of the document model and the
// operations on it: sample-store files written and read back, a document begun
// on such a file without the control, and the listing of a temporary folder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "document/codes.h"
#include "document/document.h"
#include "document/sample_store.h"
#include "document/temp_names.h"

namespace qel::test {

// Interleaved 16-bit samples, frame after frame.
using Samples = std::vector<int16_t>;

// Every sample differs from its neighbours in time and across channels (sample
// c of frame f is 8 f + c + 1, wrapping before 30000), so a frame that lands in
// the wrong place, or a channel taken for another, shows.
inline Samples Ramp(int64_t frames, int channels) {
  Samples out;
  out.reserve(static_cast<size_t>(frames * channels));
  for (int64_t f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c)
      out.push_back(static_cast<int16_t>((f * 8 + c + 1) % 30000));
  return out;
}

inline std::vector<uint8_t> ToBytes(const Samples& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  if (!samples.empty()) std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

inline Samples FromBytes(const std::vector<uint8_t>& bytes) {
  Samples samples(bytes.size() / 2);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

// Frames [from, to) of interleaved samples.
inline Samples Frames(const Samples& samples, int channels, int64_t from, int64_t to) {
  return Samples(samples.begin() + from * channels, samples.begin() + to * channels);
}

inline Samples Joined(std::initializer_list<Samples> parts) {
  Samples out;
  for (const Samples& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Writes a sample-store file under one of the control's own temporary names in
// dir; returns its name (empty when it could not be written).
inline std::string WriteStore(const std::string& dir, const document::DocumentFormat& format,
                              const std::vector<uint8_t>& data) {
  std::string name;
  document::CSampleStoreFile file;
  if (!document::MakeTempFileName(dir, &name) ||
      !file.Create(name, format.sampleRate, format.channels, format.sampleSize,
                   format.channelsMask) ||
      !file.Write(data.data(), data.size()) || !file.Close())
    return {};
  return name;
}

inline std::string WriteStore(const std::string& dir, const document::DocumentFormat& format,
                              const Samples& samples) {
  return WriteStore(dir, format, ToBytes(samples));
}

struct StoreContents {
  bool opened = false;
  document::DocumentFormat format;
  std::vector<uint8_t> data;
  Samples Samples16() const { return FromBytes(data); }
};

inline StoreContents ReadStore(const std::string& name) {
  StoreContents out;
  document::CSampleStoreFile file;
  if (!file.Open(name, document::kModeRead)) return out;
  out.opened = true;
  out.format = {file.SampleRate(), file.Channels(), file.SampleSize(), file.ChannelsMask()};
  out.data.resize(file.DataSize());
  out.data.resize(file.Read(out.data.data(), out.data.size()));
  return out;
}

// The samples of the document's current version.
inline Samples CurrentSamples(const document::Document& doc) {
  return ReadStore(doc.Current()->sampleFile).Samples16();
}

// Begins a document on an existing sample-store file with the document model
// alone, the way a new document starts: the first version shows everything,
// with a cursor at the start, and the channel counts follow its format.
inline void BeginDocument(document::Document& doc, const std::string& sampleFile) {
  document::CSampleStoreFile file;
  file.Open(sampleFile, document::kModeRead);
  doc.format = {file.SampleRate(), file.Channels(), file.SampleSize(), file.ChannelsMask()};
  doc.length = static_cast<int64_t>(file.DataSize());
  file.Close();
  document::HistoryStep first;
  first.sampleFile = sampleFile;
  first.format = doc.format;
  first.length = doc.length;
  first.view.endView[0] = doc.length;
  doc.history.TakeStep(std::move(first), opcode::kNone);
  doc.RecountChannels();
  doc.BuildChannelOrder();
  doc.RecomputeOperationMask();
}

// The names of the files in dir, sorted.
inline std::vector<std::string> FolderListing(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Selects frames [from, to) at the current zoom level (an empty range is a
// cursor), as the host's puts would leave it.
inline void SelectFrames(document::Document& doc, int64_t from, int64_t to) {
  document::ViewStack& view = *doc.View();
  const int64_t align = doc.format.BlockAlign();
  view.startSelect[view.zoom] = from * align;
  view.endSelect[view.zoom] = to * align;
  view.selected = from != to ? 1 : 0;
}

}  // namespace qel::test
