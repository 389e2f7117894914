// WaveformView: the control's picture. It reads the document, positions and
// settings through a ViewSource and keeps a stack of layers, each rebuilt from
// the one below it:
//
//   base      background, frame, separator          (layout, border, pens)
//   trace     base + the level scale of every lane   (lane resize)
//   composed  trace + time scale, markers, lanes    (data and most settings)
//   present   composed + selection and cursors      (every present)
//
// Changes are requested, not executed: each request marks what must be rebuilt
// and invalidates the window; Update() (called from the window's paint, or by
// a test) does the pending work bottom-up once, so a burst of changes costs one
// redraw. Update() also compares what it reads from the source with what the
// picture was built from, so a change the control only reports as "recompose"
// still rebuilds the layers it touches.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/window.h"
#include "view/graphics.h"
#include "view/layout.h"
#include "view/peaks.h"
#include "view/scales.h"
#include "view/spectrum.h"
#include "view/view_source.h"

namespace qel::view {

// Everything a drawing pass reads from the source, taken once per update.
struct Scene {
  DocumentState doc;
  ViewPositions pos;
  int32_t verticalZoom = 100;
  int32_t status = 0;
  std::array<bool, kMaxChannels> visible{};
  std::array<bool, kMaxChannels> operated{};
  ColorSettings colors;
  VisualSettings visual;
  ScaleSettings scaleX;
  ScaleSettings scaleY;
  std::vector<MarkerMark> markers;
  cairo_surface_t* hostBright = nullptr;
  cairo_surface_t* hostDark = nullptr;
  bool hasOverview = false;

  int VisibleCount() const;
  int OperatedCount() const;
  int Channels() const { return std::min(doc.channels, kMaxChannels); }
  int64_t Frames(int64_t bytes) const;
  // A lane is drawn as taking part in operations when its channel's flag is
  // set or the document has one channel.
  bool LaneSelected(int channel) const { return doc.channels == 1 || operated[channel]; }
};

// The pens and brushes of a pass, coloured from the settings.
struct Pens {
  Pen grid, scales, analog, digital, center, font, envelope, unselected, separator, grey, window,
      boundary, cursor, play;
  void Recolor(const ColorSettings& colors);
};

// The rows of lane marks (marker lines, selection, cursors); empty when no lane
// shows them.
struct LaneExtent {
  int top = 0;
  int bottom = 0;
  bool empty = true;
};
LaneExtent ComputeLaneExtent(const Layout& layout, const Scene& scene);

class WaveformView final : public platform::WindowMessageHandler {
 public:
  explicit WaveformView(std::unique_ptr<ViewSource> source);
  ~WaveformView() override;
  WaveformView(const WaveformView&) = delete;
  WaveformView& operator=(const WaveformView&) = delete;

  // The window the picture goes to; the view becomes its message handler and
  // takes its size. Null detaches.
  void AttachWindow(platform::WindowHost* window);
  platform::WindowHost* Window() const { return window_; }

  // ---- requests (what changed) ----
  // The container's rectangle: a relayout when the size differs, else only a
  // present.
  void Resize(int width, int height);
  // Scale settings or fonts, ViewType, SpectralResolution, visible channels:
  // layout, view data and every layer.
  void RequestRelayout();
  // Positions, the document, undo and redo: view data, compose, present.
  void RequestViewRebuild();
  // A colour that feeds a pen (also BorderType, ZoomVertical): base and above.
  void RequestBase();
  // ChannelsInterval: lanes, view data and base.
  void RequestLanes();
  // Lane resize: the level scales again.
  void RequestTrace();
  // Markers, marker settings and colours that only fill: compose and present.
  void RequestCompose();
  // SpectralLow, SpectralHigh: the spectral image again (with a document, while
  // idle), compose.
  void RequestSpectralColors();
  // Cursor colours, the play position: present only.
  void RequestPresent();
  // The selection moved: its columns again, present.
  void RequestSelection();
  // The control's "recompose": compose, plus whatever the source's state says.
  void Recompose();

  // SpectralResolution put: the FFT size for R (4 ... 4096); a size already in
  // use changes nothing.
  void SetSpectralResolution(int resolution);
  int FftSize() const { return fftSize_; }
  // Curve mode while playing (quadratic) or otherwise (spline).
  void SetCurveMode(int mode);
  // Percent of a file being opened (status 3 shows the progress wave).
  void SetOpenProgress(int percent);
  // Shares the lane space equally again (a document opened or created).
  void SplitLanesEqually();
  // The default mouse pointer's window cursor number; applied at once.
  void SetPointerCursor(int cursor);
  int PointerCursor() const { return pointerCursor_; }

  // ---- the overview while a file opens ----
  // frames: the expected length; blocks of whole frames follow in order.
  void BeginOverviewFold(const DocumentState& format, int64_t frames);
  void FoldSamples(const uint8_t* data, size_t bytes);
  // Hands the folded overview to the source (which keeps its cache file).
  void EndOverviewFold();
  void CancelOverviewFold();

  // Runs the pending work and presents.
  void Update();

  // ---- reading the picture and its geometry ----
  const Bitmap& Picture() const { return present_; }
  const Bitmap& ComposedLayer() const { return composed_; }
  const Layout& GetLayout() const { return layout_; }
  const ColumnData& Columns() const { return columns_; }
  int Detail() const { return detail_; }
  const TimeScale& GetTimeScale() const { return timeScale_; }
  const LevelScale& GetLevelScale(int channel) const { return levelScales_[channel]; }
  std::array<int, kMaxChannels> LaneTops() const;
  LaneExtent Extent() const { return ComputeLaneExtent(layout_, scene_); }
  const std::vector<std::vector<int32_t>>& Spectrum(int channel) const {
    return spectrum_[channel];
  }
  // First and last marker (list index) drawn in the view; -1 when none.
  int FirstMarkerInView() const { return firstMarker_; }
  int LastMarkerInView() const { return lastMarker_; }
  // Status of the last failing drawing call of the last update.
  Status LastStatus() const { return status_; }
  // How often each step ran: what a change costs shows in which counts move.
  struct WorkCounts {
    int layout = 0;
    int data = 0;
    int base = 0;
    int trace = 0;
    int compose = 0;
    int present = 0;
  };
  const WorkCounts& Counts() const { return counts_; }

  // Shows the marker tooltip when (x, y) is over a marker's line or strip mark
  // and tooltips are on; hides it otherwise.
  void UpdateMarkerTooltip(int x, int y);

  // The control's mouse interaction (view/mouse_controller.h) receives the
  // mouse, timer and capture messages; without one the view only keeps its
  // marker tooltip. Not owned; null detaches.
  void SetMouseHandler(platform::WindowMessageHandler* handler) { mouse_ = handler; }
  // A lane resize by the mouse: two lanes' heights, their shares of the lane
  // space follow; the level scales and the picture are rebuilt.
  void SetLaneHeights(int upper, int upperHeight, int lower, int lowerHeight);

  // ---- window messages ----
  void OnSize(int width, int height) override;
  void OnPaint(const platform::PixelBuffer& target) override;
  void OnMouseMove(uint32_t keys, int x, int y) override;
  void OnMouseDown(platform::MouseButton button, uint32_t keys, int x, int y) override;
  void OnMouseUp(platform::MouseButton button, uint32_t keys, int x, int y) override;
  void OnDoubleClick(platform::MouseButton button, uint32_t keys, int x, int y) override;
  void OnMouseWheel(int delta, uint32_t keys, int x, int y) override;
  void OnTimer(uintptr_t id) override;
  void OnCaptureLost() override;

 private:
  enum : unsigned {
    kLayout = 1u << 0,
    kLanes = 1u << 1,
    kLevels = 1u << 2,
    kData = 1u << 3,
    kBase = 1u << 4,
    kTrace = 1u << 5,
    kCompose = 1u << 6,
    kPresent = 1u << 7,
    kSplit = 1u << 8,
    kSpectralImage = 1u << 9,
  };
  void Request(unsigned work);
  Scene ReadScene() const;
  unsigned Compare(const Scene& before, const Scene& now) const;

  void DoRelayout();
  void MakeFonts();
  void DoLanes();
  void DoLevels();
  void RebuildData();
  void RebuildSpectrum();
  void PaintSpectralImages();
  void BuildBase();
  void BuildTrace();
  void Compose();
  void Present();
  // The source's overview when it fits the document.
  const document::PeakOverview* CurrentOverview() const;
  // The same, built first (and handed to the source) when a long document has
  // none and the control is idle; null otherwise.
  const document::PeakOverview* EnsureOverview();

  // Drawing passes (render.cpp, scales_draw.cpp, marks_draw.cpp).
  void DrawFrame(Graphics& g);
  void DrawLevelScales(Graphics& g);
  void DrawTimeScale(Graphics& g);
  void DrawRangeBackgrounds(Graphics& g);
  void DrawSliderStrip(Graphics& g);
  void DrawLane(Graphics& g, int channel, int top);
  void DrawBoundary(Graphics& g, int channel, int top);
  void DrawWaveformLane(Graphics& g, int channel, int top, const std::vector<Argb>& markerColor);
  void DrawEnvelopeLane(Graphics& g, int channel, int top);
  void DrawCurveLane(Graphics& g, int channel, int top, const std::vector<Argb>& markerColor);
  void DrawSpectralLane(Graphics& g, int channel, int top);
  void DrawProgressLane(Graphics& g, int channel, int top);
  void DrawMarkers(Graphics& g);
  void DrawChannelIcons(Graphics& g);
  void DrawCursorLayer(Graphics& g);
  std::vector<Argb> MarkerColumnColors() const;
  Argb MarkerColor(const MarkerMark& m) const;
  const Bitmap& Icon(int resource);

  std::unique_ptr<ViewSource> source_;
  platform::WindowHost* window_ = nullptr;
  platform::WindowMessageHandler* mouse_ = nullptr;
  bool painting_ = false;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  unsigned pending_ = kLayout | kSplit;
  bool built_ = false;  // a scene has been drawn
  Scene scene_;         // what the layers were built from

  Layout layout_;
  LaneSet lanes_;
  std::optional<Font> fontX_;
  std::optional<Font> fontY_;
  Font infinityFont_{"Arial", 10};
  Pens pens_;

  ColumnData columns_;
  int detail_ = 0;
  int curveMode_ = kCurveSpline;
  TimeScale timeScale_;
  std::array<LevelScale, kMaxChannels> levelScales_{};

  int fftSize_ = 64;
  std::vector<float> hann_;
  std::unique_ptr<SpectrumAnalyzer> fft_;
  std::array<std::vector<std::vector<int32_t>>, kMaxChannels> spectrum_;
  Bitmap bright_;
  Bitmap dark_;

  Bitmap base_;
  Bitmap trace_;
  Bitmap composed_;
  Bitmap present_;
  Status status_ = Status::Ok;

  std::unique_ptr<document::PeakOverviewBuilder> fold_;
  int openProgress_ = 0;
  int firstMarker_ = -1;
  int lastMarker_ = -1;
  int pointerCursor_ = 0;
  std::map<int, Bitmap> icons_;
  WorkCounts counts_;
};

}  // namespace qel::view
