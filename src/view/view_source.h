// What the waveform view reads from the control that owns it. The control
// implements ViewSource (see control_adapter.cpp); tests implement it with a
// document in memory. Positions are byte offsets into the interleaved sample
// data, as the control keeps them; the view turns them into frames.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/peak_overview.h"
#include "document/sample_store.h"

typedef struct _cairo_surface cairo_surface_t;

namespace qel::view {

using document::kMaxChannels;

struct DocumentState {
  bool open = false;
  int32_t sampleRate = 8000;
  int32_t channels = 1;
  int32_t sampleSize = 16;  // bits
  uint32_t channelsMask = 0;
  int64_t lengthBytes = 0;
  // The version's sample-store file: a new one after every edit, undo or redo.
  std::string sampleFile;

  int32_t BytesPerSample() const { return sampleSize / 8; }
  int32_t BlockAlign() const { return sampleSize / 8 * channels; }
  int64_t Frames() const { return BlockAlign() > 0 ? lengthBytes / BlockAlign() : 0; }
  bool operator==(const DocumentState&) const = default;
};

// The current zoom level's view range and selection, and the play position.
struct ViewPositions {
  int64_t startView = 0;
  int64_t endView = 0;
  int64_t startSelect = 0;
  int64_t endSelect = 0;
  bool selected = false;
  int64_t playPosition = 0;
  bool operator==(const ViewPositions&) const = default;
};

struct MarkerMark {
  int64_t position = 0;  // bytes
  int64_t length = 0;    // bytes; 0 for a cue marker
  uint32_t color = 0;    // OLE colour (red in the low byte)
  std::u16string label;
  bool operator==(const MarkerMark&) const = default;
};

// Reads the current version's sample data.
class SampleReader {
 public:
  virtual ~SampleReader() = default;
  // Reads up to count bytes at data position `position`; the bytes read.
  virtual size_t ReadAt(int64_t position, void* buffer, size_t count) = 0;
};

// The colours of the view in the order of ColorSettings::Index, as ARGB.
struct ColorSettings {
  enum Index {
    kSelect,
    kFontMarker,
    kFont,
    kScales,
    kPlayCursor,
    kGrid,
    kDigitalWaveform,
    kCursor,
    kCenterLine,
    kBoundary,
    kBackground,
    kAnalogWaveform,
    kCueMarker,
    kRangeMarker,
    kRangeMarkerBackground,
    kEnvelopeWaveform,
    kEnvelopeBorder,
    kSlider,
    kUnSelectedChannel,
    kCount
  };
  std::array<uint32_t, kCount> argb{};
  int32_t spectralLow = 35;
  int32_t spectralHigh = 135;
  bool operator==(const ColorSettings&) const = default;
};

struct VisualSettings {
  int32_t borderType = 1;
  int32_t viewType = 0;  // 0 waveform, 1 spectral, 2 envelope
  int32_t recordType = 2;
  int32_t markerType = 0;
  bool markerBarEnabled = true;
  bool markerBackgroundEnabled = true;
  bool markerToolTipEnabled = false;
  bool markerPointEnabled = true;
  bool markerLabelEnabled = false;
  bool channelLabelEnabled = false;
  int32_t channelsInterval = 4;
  bool boundaryEnabled = true;
  bool centerLineEnabled = true;
  bool operator==(const VisualSettings&) const = default;
};

// A font as the font object describes it: face, size in points and style.
struct FontDescription {
  std::string name = "Arial";
  double size = 5.0;  // points
  int32_t weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
  bool operator==(const FontDescription&) const = default;
};

struct ScaleSettings {
  bool present = true;  // false when the host removed the scale object
  FontDescription font;
  int32_t type = 1;
  bool visible = true;
  bool grid = true;
  int32_t orientation = 1;
  double frameRate = 25.0;
  bool operator==(const ScaleSettings&) const = default;
};

enum class Unit { Sample, Hz, Hms, Frame, Db };

class ViewSource {
 public:
  virtual ~ViewSource() = default;

  virtual DocumentState Document() const = 0;
  virtual ViewPositions Positions() const = 0;
  virtual int32_t VerticalZoom() const = 0;  // percent, 10 to 1000
  virtual int32_t Status() const = 0;
  virtual void SetStatus(int32_t status) = 0;
  virtual bool ChannelVisible(int channel) const = 0;
  virtual bool ChannelOperated(int channel) const = 0;
  // Markers sorted by position.
  virtual std::vector<MarkerMark> Markers() const = 0;
  virtual std::u16string UnitLabel(Unit unit) const = 0;
  // A reader of the current version's samples; null when there is none.
  virtual std::unique_ptr<SampleReader> OpenSamples() const = 0;
  // The host's spectrogram bitmaps (ARGB32 image surfaces the host keeps
  // alive), or null.
  virtual cairo_surface_t* HostBitmap(bool dark) const = 0;

  virtual ColorSettings Colors() const = 0;
  virtual VisualSettings Visual() const = 0;
  virtual ScaleSettings Scale(bool vertical) const = 0;

  // The peak overview of the current version, null when none is loaded. The
  // view draws from it only when its length is the document's.
  virtual const document::PeakOverview* Overview() const = 0;
  // Keeps a freshly built overview for the current version (and its cache file).
  virtual void AdoptOverview(document::PeakOverview overview) = 0;
};

}  // namespace qel::view
