#include "view/waveform_view.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "pcm/sample_io.h"
#include "view/drawing_font.h"

namespace qel::view {

namespace {

// Status values of the control that the view reacts to.
constexpr int32_t kIdle = 0;
constexpr int32_t kRecording = 2;
constexpr int32_t kRecordPaused = 17;
constexpr int32_t kOverviewStatus = 8;

}  // namespace

int Scene::VisibleCount() const {
  int n = 0;
  for (int c = 0; c < Channels(); ++c)
    if (visible[c]) ++n;
  return n;
}

int Scene::OperatedCount() const {
  int n = 0;
  for (int c = 0; c < Channels(); ++c)
    if (operated[c]) ++n;
  return n;
}

int64_t Scene::Frames(int64_t bytes) const {
  const int64_t b = doc.BytesPerSample();
  return b > 0 && doc.channels > 0 ? bytes / b / doc.channels : 0;
}

void Pens::Recolor(const ColorSettings& c) {
  using I = ColorSettings;
  grid.color = c.argb[I::kGrid];
  grid.dashes.assign(18, 3.0);
  scales.color = c.argb[I::kScales];
  analog.color = c.argb[I::kAnalogWaveform];
  digital.color = c.argb[I::kDigitalWaveform];
  center.color = c.argb[I::kCenterLine];
  font.color = c.argb[I::kFont];
  envelope.color = c.argb[I::kEnvelopeBorder];
  unselected.color = c.argb[I::kUnSelectedChannel];
  separator.color = 0xFFBEBEBE;
  grey.color = 0xFF808080;
  window.color = 0xFFFFFFFF;
  boundary.color = c.argb[I::kBoundary];
  cursor.color = c.argb[I::kCursor];
  play.color = c.argb[I::kPlayCursor];
}

WaveformView::WaveformView(std::unique_ptr<ViewSource> source) : source_(std::move(source)) {
  hann_ = HannWindow(fftSize_);
  fft_ = std::make_unique<SpectrumAnalyzer>(fftSize_);
  scene_ = ReadScene();
  pens_.Recolor(scene_.colors);
}

WaveformView::~WaveformView() {
  if (window_) window_->SetHandler(nullptr);
}

void WaveformView::AttachWindow(platform::WindowHost* window) {
  if (window_ == window) return;
  if (window_) window_->SetHandler(nullptr);
  window_ = window;
  if (!window_) return;
  window_->SetHandler(this);
  window_->SetCursor(pointerCursor_);
  Resize(window_->Width(), window_->Height());
  window_->Invalidate();
}

// ---- requests ----

void WaveformView::Request(unsigned work) {
  pending_ |= work;
  if (window_ && !painting_) window_->Invalidate();
}

void WaveformView::Resize(int width, int height) {
  if (width == clientWidth_ && height == clientHeight_) return Request(kPresent);
  clientWidth_ = width;
  clientHeight_ = height;
  Request(kLayout);
}

void WaveformView::RequestRelayout() {
  Request(kLayout);
}
void WaveformView::RequestViewRebuild() {
  Request(kData);
}
void WaveformView::RequestBase() {
  Request(kBase);
}
void WaveformView::RequestLanes() {
  Request(kLanes);
}
void WaveformView::RequestTrace() {
  Request(kTrace);
}
void WaveformView::RequestCompose() {
  Request(kCompose);
}
void WaveformView::RequestSpectralColors() {
  Request(kSpectralImage);
}
void WaveformView::RequestPresent() {
  Request(kPresent);
}
void WaveformView::RequestSelection() {
  Request(kPresent);
}
void WaveformView::Recompose() {
  Request(kCompose);
}

void WaveformView::SetSpectralResolution(int resolution) {
  const int n = FftSizeForResolution(resolution);
  if (n == fftSize_) return;
  fftSize_ = n;
  hann_ = HannWindow(n);
  fft_ = std::make_unique<SpectrumAnalyzer>(n);
  for (auto& columns : spectrum_)
    columns.clear();
  Request(kLayout);
}

void WaveformView::SetCurveMode(int mode) {
  if (mode == curveMode_) return;
  curveMode_ = mode;
  Request(kData);
}

void WaveformView::SetOpenProgress(int percent) {
  openProgress_ = std::clamp(percent, 0, 100);
  Request(kCompose);
}

void WaveformView::SplitLanesEqually() {
  Request(kSplit);
}

void WaveformView::SetPointerCursor(int cursor) {
  pointerCursor_ = cursor;
  if (window_) window_->SetCursor(cursor);
}

// ---- the overview while a file opens ----

void WaveformView::BeginOverviewFold(const DocumentState& format, int64_t frames) {
  fold_.reset();
  if (frames <= kOverviewThreshold) return;  // short documents have none
  fold_ = std::make_unique<document::PeakOverviewBuilder>(format.channels, format.sampleSize);
  // Room for the expected blocks up front: growing the arrays block by block
  // costs more than the scan. The length comes from the file's stated duration,
  // which may be wrong, so the room is capped (64 MB of peaks); a longer file
  // only grows the arrays.
  const int64_t capFrames =
      (int64_t{64} << 20) / 8 / std::max(format.channels, 1) * document::PeakOverview::kBlockFrames;
  fold_->Reserve(std::min(frames + frames / 64, capFrames));
}

void WaveformView::FoldSamples(const uint8_t* data, size_t bytes) {
  if (fold_) fold_->Feed(data, bytes);
}

void WaveformView::EndOverviewFold() {
  if (!fold_) return;
  source_->AdoptOverview(fold_->Finish());
  fold_.reset();
  Request(kData);
}

void WaveformView::CancelOverviewFold() {
  fold_.reset();
}

// ---- what changed ----

Scene WaveformView::ReadScene() const {
  Scene s;
  s.doc = source_->Document();
  if (s.doc.open) s.pos = source_->Positions();
  s.verticalZoom = source_->VerticalZoom();
  s.status = source_->Status();
  for (int c = 0; c < kMaxChannels; ++c) {
    s.visible[c] = source_->ChannelVisible(c);
    s.operated[c] = source_->ChannelOperated(c);
  }
  s.colors = source_->Colors();
  s.visual = source_->Visual();
  s.scaleX = source_->Scale(false);
  s.scaleY = source_->Scale(true);
  for (ScaleSettings* scale : {&s.scaleX, &s.scaleY}) {
    scale->type = std::clamp(scale->type, 1, 3);
    scale->orientation = std::clamp(scale->orientation, 1, 2);
  }
  if (s.doc.open) s.markers = source_->Markers();
  s.hostBright = source_->HostBitmap(false);
  s.hostDark = source_->HostBitmap(true);
  s.hasOverview = source_->Overview() != nullptr;
  return s;
}

unsigned WaveformView::Compare(const Scene& a, const Scene& b) const {
  if (!built_) return kLayout | kSplit;
  unsigned work = 0;
  if (!(a.scaleX == b.scaleX) || !(a.scaleY == b.scaleY) ||
      a.visual.viewType != b.visual.viewType || a.doc.sampleSize != b.doc.sampleSize ||
      a.doc.sampleRate != b.doc.sampleRate)
    work |= kLayout;
  if (a.doc.open != b.doc.open || a.doc.channels != b.doc.channels || a.visible != b.visible)
    work |= kLayout | kSplit;
  if (a.visual.channelsInterval != b.visual.channelsInterval) work |= kLanes;
  if (a.visual.borderType != b.visual.borderType) work |= kBase;
  if (a.verticalZoom != b.verticalZoom) work |= kLevels | kBase;
  using I = ColorSettings;
  for (int i :
       {I::kBackground, I::kFont, I::kScales, I::kGrid, I::kDigitalWaveform, I::kAnalogWaveform,
        I::kCenterLine, I::kEnvelopeBorder, I::kUnSelectedChannel, I::kSelect})
    if (a.colors.argb[i] != b.colors.argb[i]) work |= kBase;
  if (a.colors.spectralLow != b.colors.spectralLow ||
      a.colors.spectralHigh != b.colors.spectralHigh || a.hostBright != b.hostBright ||
      a.hostDark != b.hostDark)
    work |= kSpectralImage;
  if (!(a.doc == b.doc) || a.pos.startView != b.pos.startView || a.pos.endView != b.pos.endView ||
      a.hasOverview != b.hasOverview)
    work |= kData;
  // The cursors live in the present bitmap only.
  ColorSettings before = a.colors, now = b.colors;
  for (ColorSettings* c : {&before, &now})
    c->argb[I::kCursor] = c->argb[I::kPlayCursor] = 0;
  if (!(before == now) || !(a.visual == b.visual) || a.markers != b.markers ||
      a.operated != b.operated || a.status != b.status)
    work |= kCompose;
  if (!(a.pos == b.pos) || !(a.colors == b.colors)) work |= kPresent;
  return work;
}

// ---- the update ----

void WaveformView::Update() {
  Scene now = ReadScene();
  pending_ |= Compare(scene_, now);
  scene_ = std::move(now);
  pens_.Recolor(scene_.colors);
  status_ = Status::Ok;
  if (clientWidth_ < 2 && clientHeight_ < 2) return;

  if (pending_ & kLayout) {
    DoRelayout();
    pending_ |= kLanes | kLevels | kData | kBase;
  }
  if (pending_ & kSplit) {
    lanes_.interval = scene_.visual.channelsInterval;
    view::SplitLanesEqually(layout_, lanes_);
    pending_ |= kLanes | kLevels | kData | kBase;
  }
  if (pending_ & kLanes) {
    DoLanes();
    pending_ |= kLevels | kData | kBase;
  }
  if (pending_ & kLevels) {
    DoLevels();
    pending_ |= kBase;
  }
  if (pending_ & kData) {
    RebuildData();
    pending_ |= kCompose;
  }
  if (pending_ & kSpectralImage) {
    PaintSpectralImages();
    pending_ |= kCompose;
  }
  if (pending_ & kBase) BuildBase();
  if (pending_ & (kBase | kTrace)) BuildTrace();
  if (pending_ & (kBase | kTrace | kCompose)) Compose();
  Present();
  pending_ = 0;
  built_ = true;
}

void WaveformView::MakeFonts() {
  auto make = [](const ScaleSettings& s) {
    if (!s.present) return Font("Arial", 8);
    const DrawingFont d = ToDrawingFont(s.font);
    return Font(d.face, d.emPoints, d.style);
  };
  fontX_ = make(scene_.scaleX);
  fontY_ = make(scene_.scaleY);
}

void WaveformView::DoRelayout() {
  ++counts_.layout;
  MakeFonts();
  auto metrics = [](const Font& f) {
    ScaleFontMetrics m;
    m.cellHeight = static_cast<int>(f.Height() + 0.5);
    if (m.cellHeight < 0) m.cellHeight = 15;
    m.emSize = f.EmSize();
    return m;
  };
  LayoutInput in;
  in.width = clientWidth_;
  in.height = clientHeight_;
  in.scaleXVisible = scene_.scaleX.visible;
  in.scaleYVisible = scene_.scaleY.visible;
  in.scaleYType = scene_.scaleY.type;
  in.scaleYOrientation = scene_.scaleY.orientation;
  in.viewType = scene_.visual.viewType;
  in.sampleRate = scene_.doc.sampleRate;
  in.sampleSize = scene_.doc.sampleSize;
  in.fontX = metrics(*fontX_);
  in.fontY = metrics(*fontY_);
  const std::array<double, kMaxChannels> fractions = layout_.fraction;
  if (!ComputeLayout(in, &layout_)) return;
  layout_.fraction = fractions;
  lanes_.channels = scene_.Channels();
  lanes_.visible = scene_.visible;
  lanes_.interval = scene_.visual.channelsInterval;
}

void WaveformView::DoLanes() {
  lanes_.channels = scene_.Channels();
  lanes_.visible = scene_.visible;
  lanes_.interval = scene_.visual.channelsInterval;
  ComputeLaneHeights(layout_, lanes_);
}

void WaveformView::DoLevels() {
  const bool shown = scene_.scaleY.visible && layout_.levelScaleWidth > 0;
  if (!shown || !fontY_) return;
  LevelScaleInput in;
  in.viewType = scene_.visual.viewType;
  in.type = scene_.scaleY.type;
  in.sampleSize = scene_.doc.sampleSize;
  in.verticalZoom = scene_.verticalZoom;
  in.sampleRate = scene_.doc.sampleRate;
  in.waveformHeight = layout_.height;
  in.cellHeight = layout_.fontY.cellHeight;
  in.anyVisible = lanes_.VisibleCount() > 0;
  for (int c = 0; c < lanes_.channels; ++c) {
    if (!lanes_.visible[c]) continue;
    in.fraction = layout_.fraction[c];
    levelScales_[c] = ComputeLevelScale(in);
  }
}

std::array<int, kMaxChannels> WaveformView::LaneTops() const {
  return view::LaneTops(layout_, lanes_);
}

const document::PeakOverview* WaveformView::CurrentOverview() const {
  const document::PeakOverview* overview = source_->Overview();
  // One of another length belongs to another version (or to a document still
  // growing while it records).
  return overview && overview->Frames() == scene_.doc.Frames() ? overview : nullptr;
}

const document::PeakOverview* WaveformView::EnsureOverview() {
  if (const document::PeakOverview* overview = CurrentOverview()) return overview;
  const DocumentState& doc = scene_.doc;
  if (doc.Frames() <= kOverviewThreshold || scene_.status != kIdle || fold_) return nullptr;
  std::unique_ptr<SampleReader> reader = source_->OpenSamples();
  if (!reader) return nullptr;
  source_->SetStatus(kOverviewStatus);
  document::PeakOverview overview;
  const bool ok = BuildOverview(*reader, doc, &overview);
  source_->SetStatus(kIdle);
  if (!ok) return nullptr;
  source_->AdoptOverview(std::move(overview));
  scene_.hasOverview = source_->Overview() != nullptr;
  return CurrentOverview();
}

void WaveformView::RebuildData() {
  ++counts_.data;
  const DocumentState& doc = scene_.doc;
  const int w = layout_.width;
  columns_.Reset(doc.open ? scene_.Channels() : 0, std::max(w, 0));
  detail_ = 0;
  if (w < 1) return;
  const bool recordingFlat = (scene_.status == kRecording || scene_.status == kRecordPaused) &&
                             scene_.visual.recordType == 3;
  TimeScaleInput t;
  t.type = scene_.scaleX.type;
  t.frameRate = scene_.scaleX.frameRate;
  t.width = w;
  t.emSize = layout_.fontX.emSize;
  if (!doc.open || doc.BlockAlign() <= 0) {
    if (scene_.scaleX.visible && layout_.timeScaleHeight >= 1) timeScale_ = ComputeTimeScale(t);
    return;
  }
  const int64_t b = doc.BytesPerSample();
  int64_t vs = scene_.pos.startView / b * b;
  int64_t ve = scene_.pos.endView / b * b;
  if (ve <= vs) ve = vs + doc.BlockAlign();
  t.documentLoaded = true;
  t.viewStart = scene_.Frames(vs);
  t.viewEnd = scene_.Frames(ve);
  t.sampleRate = doc.sampleRate;
  t.documentSeconds = static_cast<double>(doc.Frames()) / std::max(doc.sampleRate, 1);
  if (scene_.scaleX.visible && layout_.timeScaleHeight >= 1 && !recordingFlat)
    timeScale_ = ComputeTimeScale(t);
  detail_ = DetailLevel(ve - vs, w, doc.channels, doc.sampleRate);
  if (scene_.visual.viewType == 1) {
    RebuildSpectrum();
    return;
  }
  bool fromOverview = false;
  const int64_t viewFrames = scene_.Frames(ve - vs);
  if (viewFrames > kOverviewThreshold) {
    // Every column must hold at least one whole block of the overview.
    const document::PeakOverview* overview = EnsureOverview();
    if (overview && viewFrames / w >= document::PeakOverview::kBlockFrames) {
      ColumnsFromOverview(*overview, scene_.Frames(vs), scene_.Frames(ve), columns_);
      fromOverview = true;
    }
  } else if (doc.Frames() > kOverviewThreshold) {
    EnsureOverview();  // kept for the next full view
  }
  if (!fromOverview) {
    if (std::unique_ptr<SampleReader> reader = source_->OpenSamples())
      PeaksFromSamples(*reader, doc, vs, ve, columns_);
  }
  if (detail_ >= 1) BuildCurves(columns_, doc.sampleSize, curveMode_);
}

void WaveformView::RebuildSpectrum() {
  const DocumentState& doc = scene_.doc;
  const int w = layout_.width;
  const int n = fftSize_;
  if (!fft_ || !fft_->Valid() || w < 1) return;
  const int channels = scene_.Channels();
  const int align = doc.BlockAlign();
  const int bytes = doc.BytesPerSample();
  for (int c = 0; c < kMaxChannels; ++c) {
    auto& columns = spectrum_[c];
    if (c >= channels || !scene_.visible[c]) {
      columns.clear();
      continue;
    }
    columns.resize(static_cast<size_t>(w));
    for (auto& bins : columns)
      bins.assign(static_cast<size_t>(n / 2 + 1), -20);
  }
  std::unique_ptr<SampleReader> reader = source_->OpenSamples();
  if (reader) {
    std::vector<uint8_t> block(static_cast<size_t>(n) * align);
    const int64_t vs = scene_.Frames(scene_.pos.startView);
    const int64_t ve = std::max(scene_.Frames(scene_.pos.endView), vs + 1);
    const float scale = SampleScale(doc.sampleSize);
    for (int x = 0; x < w; ++x) {
      const int64_t start = std::max<int64_t>(vs + x * (ve - vs) / w - n / 2, 0);
      const size_t got = reader->ReadAt(start * align, block.data(), block.size());
      std::fill(block.begin() + static_cast<std::ptrdiff_t>(got / align * align), block.end(),
                doc.sampleSize == 8 ? 128 : 0);
      for (int c = 0; c < channels; ++c) {
        if (!scene_.visible[c]) continue;
        float* in = fft_->Input();
        for (int i = 0; i < n; ++i) {
          const int32_t v =
              PCM_CODEC::ReadWideSample(block.data() + i * align + c * bytes, doc.sampleSize);
          in[i] = static_cast<float>(v) * hann_[i] * scale;
        }
        fft_->Transform(spectrum_[c][x].data());
      }
    }
  }
  PaintSpectralImages();
}

void WaveformView::PaintSpectralImages() {
  if (scene_.visual.viewType != 1) return;
  const int w = layout_.width;
  int total = 0;
  for (int c = 0; c < lanes_.channels; ++c)
    if (lanes_.visible[c]) total += layout_.laneHeight[c];
  if (w < 1 || total < 1) return;
  if (bright_.Width() != w || bright_.Height() != total) bright_ = Bitmap(w, total);
  if (dark_.Width() != w || dark_.Height() != total) dark_ = Bitmap(w, total);
  const auto brightPalette =
      SpectralPalette(true, scene_.colors.spectralLow, scene_.colors.spectralHigh);
  const auto darkPalette =
      SpectralPalette(false, scene_.colors.spectralLow, scene_.colors.spectralHigh);
  int band = 0;
  for (int c = 0; c < lanes_.channels; ++c) {
    if (!lanes_.visible[c]) continue;
    const int h = layout_.laneHeight[c];
    PaintSpectralBand(bright_, band, h, fftSize_, spectrum_[c], brightPalette);
    PaintSpectralBand(dark_, band, h, fftSize_, spectrum_[c], darkPalette);
    band += h;
  }
}

// ---- layers ----

namespace {

void Fit(Bitmap& b, int width, int height) {
  if (b.Width() != width || b.Height() != height) b = Bitmap(width, height);
}

void Note(Status& status, const Graphics& g) {
  if (g.LastStatus() != Status::Ok) status = g.LastStatus();
}

}  // namespace

void WaveformView::BuildBase() {
  ++counts_.base;
  Fit(base_, clientWidth_, clientHeight_);
  if (!base_.Valid()) {
    status_ = Status::OutOfMemory;
    return;
  }
  Graphics g(base_);
  g.Clear(scene_.colors.argb[ColorSettings::kBackground]);
  DrawFrame(g);
  Note(status_, g);
}

void WaveformView::BuildTrace() {
  ++counts_.trace;
  Fit(trace_, clientWidth_, clientHeight_);
  if (!trace_.Valid() || !base_.Valid()) return;
  Graphics g(trace_);
  g.Copy(base_);
  DrawLevelScales(g);
  Note(status_, g);
}

void WaveformView::Compose() {
  ++counts_.compose;
  Fit(composed_, clientWidth_, clientHeight_);
  if (!composed_.Valid() || !trace_.Valid()) return;
  Graphics g(composed_);
  g.Copy(trace_);
  const DocumentState& doc = scene_.doc;
  ComputeSlider(layout_, scene_.Frames(scene_.pos.startView), scene_.Frames(scene_.pos.endView),
                doc.open ? doc.Frames() : 0);
  DrawTimeScale(g);
  DrawRangeBackgrounds(g);
  DrawSliderStrip(g);
  const std::array<int, kMaxChannels> tops = LaneTops();
  for (int c = 0; c < lanes_.channels; ++c) {
    if (!lanes_.visible[c] || tops[c] < 0) continue;
    DrawBoundary(g, c, tops[c]);
    DrawLane(g, c, tops[c]);
  }
  DrawMarkers(g);
  DrawChannelIcons(g);
  Note(status_, g);
}

void WaveformView::Present() {
  ++counts_.present;
  if (!composed_.Valid()) {
    if (window_ && !painting_) window_->Invalidate();
    return;
  }
  Fit(present_, clientWidth_, clientHeight_);
  if (!present_.Valid()) return;
  const int64_t vs = scene_.Frames(scene_.pos.startView);
  const int64_t ve = scene_.Frames(scene_.pos.endView);
  ComputeSelectionColumns(layout_, scene_.Frames(scene_.pos.startSelect),
                          scene_.Frames(scene_.pos.endSelect), vs, ve);
  Graphics g(present_);
  g.Copy(composed_);
  DrawCursorLayer(g);
  Note(status_, g);
  if (window_ && !painting_) window_->Invalidate();
}

// ---- window messages ----

void WaveformView::OnSize(int width, int height) {
  Resize(width, height);
}

void WaveformView::OnPaint(const platform::PixelBuffer& target) {
  painting_ = true;
  Update();
  painting_ = false;
  if (!target.data || !present_.Valid()) return;
  present_.Flush();
  const int w = std::min(target.width, present_.Width());
  const int h = std::min(target.height, present_.Height());
  for (int y = 0; y < h; ++y)
    std::memcpy(target.data + static_cast<size_t>(y) * target.stride,
                present_.Data() + static_cast<size_t>(y) * present_.Stride(),
                static_cast<size_t>(w) * 4);
}

void WaveformView::OnMouseMove(uint32_t keys, int x, int y) {
  if (mouse_) return mouse_->OnMouseMove(keys, x, y);
  UpdateMarkerTooltip(x, y);
}

void WaveformView::OnMouseDown(platform::MouseButton button, uint32_t keys, int x, int y) {
  if (mouse_) mouse_->OnMouseDown(button, keys, x, y);
}

void WaveformView::OnMouseUp(platform::MouseButton button, uint32_t keys, int x, int y) {
  if (mouse_) mouse_->OnMouseUp(button, keys, x, y);
}

void WaveformView::OnDoubleClick(platform::MouseButton button, uint32_t keys, int x, int y) {
  if (mouse_) mouse_->OnDoubleClick(button, keys, x, y);
}

void WaveformView::OnMouseWheel(int delta, uint32_t keys, int x, int y) {
  if (mouse_) mouse_->OnMouseWheel(delta, keys, x, y);
}

void WaveformView::OnTimer(uintptr_t id) {
  if (mouse_) mouse_->OnTimer(id);
}

void WaveformView::OnCaptureLost() {
  if (mouse_) mouse_->OnCaptureLost();
}

void WaveformView::SetLaneHeights(int upper, int upperHeight, int lower, int lowerHeight) {
  for (auto [c, h] : {std::pair{upper, upperHeight}, std::pair{lower, lowerHeight}}) {
    if (c < 0 || c >= kMaxChannels) continue;
    layout_.laneHeight[c] = h;
    layout_.fraction[c] = layout_.laneSpace > 0 ? static_cast<double>(h) / layout_.laneSpace : 0.0;
  }
  // Heights are kept as given (not recomputed from the shares, which would
  // truncate a pixel away); the level scales follow the new heights.
  Request(kLevels);
}

}  // namespace qel::view
