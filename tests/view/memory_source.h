// A document in memory behind the view: the ViewSource the view tests and
// benchmarks draw from, with every setting at its default.
#pragma once

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "view/colors.h"
#include "view/store_reader.h"
#include "view/waveform_view.h"

namespace qel::view::test {

class MemorySource final : public ViewSource {
 public:
  MemorySource() {
    visible.fill(true);
    operated.fill(true);
  }

  // Interleaved samples in their own scale (8-bit as 0 ... 255, 24-bit as the
  // 24-bit value), stored the way the sample store keeps them, nothing selected.
  void Load(int rate, int bits, int channels, const std::vector<int32_t>& interleaved,
            uint32_t mask = 0) {
    const int b = bits / 8;
    std::vector<uint8_t> bytes(interleaved.size() * b, 0);
    for (size_t i = 0; i < interleaved.size(); ++i)
      for (int k = 0; k < b; ++k)
        bytes[i * b + k] = static_cast<uint8_t>(static_cast<uint32_t>(interleaved[i]) >> (8 * k));
    LoadBytes(rate, bits, channels, std::move(bytes));
    doc.channelsMask = mask;
    SelectFrames(0, 0);
  }
  // Raw bytes of a document already in store layout, shown whole.
  void LoadBytes(int rate, int bits, int channels, std::vector<uint8_t> bytes) {
    doc.open = true;
    doc.sampleRate = rate;
    doc.sampleSize = bits;
    doc.channels = channels;
    doc.sampleFile = "memory-" + std::to_string(++version);
    data = std::move(bytes);
    doc.lengthBytes = static_cast<int64_t>(data.size());
    overview.reset();
    ShowFrames(0, doc.Frames());
  }
  void ShowFrames(int64_t start, int64_t end) {
    pos.startView = start * doc.BlockAlign();
    pos.endView = end * doc.BlockAlign();
  }
  void SelectFrames(int64_t start, int64_t end) {
    pos.startSelect = start * doc.BlockAlign();
    pos.endSelect = end * doc.BlockAlign();
    pos.selected = end > start;
  }
  void AddMarker(int64_t startFrame, int64_t lengthFrames, uint32_t oleColor = 0x0000FF,
                 std::u16string label = u"") {
    markers.push_back(MarkerMark{startFrame * doc.BlockAlign(), lengthFrames * doc.BlockAlign(),
                                 oleColor, std::move(label)});
  }

  // ViewSource
  DocumentState Document() const override { return doc; }
  ViewPositions Positions() const override { return pos; }
  int32_t VerticalZoom() const override { return zoom; }
  int32_t Status() const override { return status; }
  void SetStatus(int32_t s) override {
    status = s;
    statusSeen.push_back(s);
  }
  bool ChannelVisible(int c) const override { return c < doc.channels && visible[c]; }
  bool ChannelOperated(int c) const override { return c < doc.channels && operated[c]; }
  std::vector<MarkerMark> Markers() const override { return markers; }
  std::u16string UnitLabel(Unit unit) const override {
    switch (unit) {
      case Unit::Sample:
        return u"smpl";
      case Unit::Hz:
        return u"Hz";
      case Unit::Hms:
        return u"hms";
      case Unit::Frame:
        return u"frm";
      case Unit::Db:
        return u"dB";
    }
    return {};
  }
  std::unique_ptr<SampleReader> OpenSamples() const override {
    if (!doc.open) return nullptr;
    if (!file.empty()) {
      auto reader = std::make_unique<StoreReader>();
      if (!reader->Open(file)) return nullptr;
      return reader;
    }
    return std::make_unique<Reader>(this);
  }
  cairo_surface_t* HostBitmap(bool dark) const override { return dark ? hostDark : hostBright; }
  ColorSettings Colors() const override { return colors; }
  VisualSettings Visual() const override { return visual; }
  ScaleSettings Scale(bool vertical) const override { return vertical ? scaleY : scaleX; }
  const document::PeakOverview* Overview() const override {
    return overview ? &*overview : nullptr;
  }
  void AdoptOverview(document::PeakOverview o) override {
    overview = std::move(o);
    ++overviewsAdopted;
  }

  DocumentState doc;
  ViewPositions pos;
  int32_t zoom = 100;
  int32_t status = 0;
  std::array<bool, kMaxChannels> visible{};
  std::array<bool, kMaxChannels> operated{};
  std::vector<uint8_t> data;
  std::string file;  // when set, samples come from this sample-store file
  ColorSettings colors = DefaultColorSettings();
  VisualSettings visual;
  ScaleSettings scaleX;
  ScaleSettings scaleY;
  std::vector<MarkerMark> markers;
  std::optional<document::PeakOverview> overview;
  cairo_surface_t* hostBright = nullptr;
  cairo_surface_t* hostDark = nullptr;
  int overviewsAdopted = 0;
  mutable int64_t bytesRead = 0;
  std::vector<int32_t> statusSeen;
  int version = 0;

 private:
  class Reader final : public SampleReader {
   public:
    explicit Reader(const MemorySource* s) : s_(s) {}
    size_t ReadAt(int64_t position, void* buffer, size_t count) override {
      const int64_t size = static_cast<int64_t>(s_->data.size());
      if (position < 0 || position >= size) return 0;
      const size_t n = static_cast<size_t>(std::min<int64_t>(size - position, count));
      std::memcpy(buffer, s_->data.data() + position, n);
      s_->bytesRead += static_cast<int64_t>(n);
      return n;
    }

   private:
    const MemorySource* s_;
  };
};

// A view over a MemorySource, with the source kept at hand.
struct ViewHarness {
  explicit ViewHarness(int width = 400, int height = 200)
      : source(new MemorySource), view(std::unique_ptr<ViewSource>(source)) {
    view.Resize(width, height);
  }
  MemorySource* source;  // owned by the view
  WaveformView view;
};

}  // namespace qel::view::test
