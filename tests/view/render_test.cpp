// The picture, checked pixel by pixel where a rule decides it: upright 24-bit
// samples, the overview's use, markers at the view's edges, marker colours in
// the waveform, the lane extent of one operated channel, the envelope, the
// spectral colours, boundary lines; and which change rebuilds which layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/message_queue.h"
#include "view/memory_source.h"

namespace qel::view {
namespace {

using test::MemorySource;
using test::ViewHarness;

constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kDigital = 0xFF1CF0AB;

// Nothing but the waveform, the markers and the cursors in the lanes.
void Quiet(MemorySource& s) {
  s.visual.boundaryEnabled = false;
  s.visual.centerLineEnabled = false;
  s.scaleX.grid = false;
  s.scaleY.grid = false;
}

std::vector<int32_t> Constant(size_t frames, int channels, int32_t value) {
  return std::vector<int32_t>(frames * channels, value);
}

struct Lane {
  int top;
  int height;
  int Centre() const { return top + height / 2; }
};

Lane LaneOf(const WaveformView& v, int channel) {
  return {v.LaneTops()[channel], v.GetLayout().laneHeight[channel]};
}

// A view of its own over an in-memory document.
class ViewTest : public ::testing::Test {
 protected:
  ViewHarness h;
};
using Envelope = ViewTest;
using Overview = ViewTest;
using Spectral = ViewTest;
using Waveform = ViewTest;

TEST_F(Waveform, TwentyFourBitSamplesAreDrawnUprightLikeSixteenBitOnes) {
  ViewHarness& a = h;
  ViewHarness b;
  for (ViewHarness* each : {&a, &b}) {
    Quiet(*each->source);
    each->source->scaleY.visible = false;  // the labels differ; the lanes must not
  }
  // Half scale and silence in turn: every column runs from the centre up.
  std::vector<int32_t> sixteen(20000, 0), twentyFour(20000, 0);
  for (size_t i = 0; i < sixteen.size(); i += 2) {
    sixteen[i] = 16384;
    twentyFour[i] = 0x400000;
  }
  a.source->Load(44100, 16, 1, sixteen);
  b.source->Load(44100, 24, 1, twentyFour);
  a.view.Update();
  b.view.Update();
  ASSERT_EQ(a.view.Detail(), 0);
  const Layout& l = a.view.GetLayout();
  const Lane lane = LaneOf(a.view, 0);
  EXPECT_EQ(b.view.Picture().Pixel(l.left + 20, lane.Centre() - 10), kDigital);  // above the centre
  EXPECT_EQ(b.view.Picture().Pixel(l.left + 20, lane.Centre() + 10), kBlack);
  for (int y = lane.top; y < lane.top + lane.height; ++y)
    for (int x = l.left + 20; x < l.right; ++x)
      ASSERT_EQ(a.view.Picture().Pixel(x, y), b.view.Picture().Pixel(x, y)) << x << "," << y;
}

TEST_F(Waveform, AnEmptyDocumentShowsOnlyTheCentreLine) {
  h.source->Load(44100, 16, 1, {});
  h.source->visual.boundaryEnabled = false;
  h.source->scaleY.grid = h.source->scaleX.grid = false;
  h.view.Update();
  const Layout& l = h.view.GetLayout();
  const Lane lane = LaneOf(h.view, 0);
  for (int y = lane.top; y < lane.top + lane.height; ++y)
    EXPECT_EQ(h.view.Picture().Pixel(l.left + 100, y), y == lane.Centre() ? 0xFFA42626 : kBlack)
        << y;
}

TEST_F(Waveform, WhileAFileOpensTheLanesShowTheProgressWave) {
  Quiet(*h.source);
  h.source->Load(44100, 16, 1, Constant(20000, 1, 0));
  h.source->status = 3;
  h.view.SetOpenProgress(50);
  h.view.Update();
  const Layout& l = h.view.GetLayout();
  const Lane lane = LaneOf(h.view, 0);
  auto lit = [&](int column) {
    for (int y = lane.top; y < lane.top + lane.height; ++y)
      if (h.view.Picture().Pixel(l.left + column, y) == kDigital) return true;
    return false;
  };
  EXPECT_TRUE(lit(l.width / 4));
  EXPECT_FALSE(lit(l.width / 2 + 10));
}

TEST_F(Waveform, BoundaryLinesMarkFullScaleAndVanishBelowAZoomOfAbout94) {
  h.source->Load(44100, 16, 1, Constant(20000, 1, 0));
  h.source->scaleX.grid = h.source->scaleY.grid = false;
  h.view.Update();
  const Lane lane = LaneOf(h.view, 0);
  const int half = lane.height / 2;
  const int offset = static_cast<int>(32767.0 / 35060 * half);  // F' = trunc(1.07 x 32767)
  const int x = h.view.GetLayout().left + 100;
  EXPECT_EQ(h.view.Picture().Pixel(x, lane.Centre() - offset), 0xFF6F879F);
  EXPECT_EQ(h.view.Picture().Pixel(x, lane.Centre() + offset), 0xFF6F879F);
  h.source->zoom = 93;
  h.view.Update();
  for (int y = lane.top; y < lane.Centre(); ++y)
    EXPECT_NE(h.view.Picture().Pixel(x, y), 0xFF6F879Fu) << y;
}

TEST_F(Envelope, ColumnsWithoutNegativeSamplesHaveNothingBelowTheCentre) {
  Quiet(*h.source);
  h.source->visual.viewType = 2;
  h.source->Load(44100, 16, 1, Constant(20000, 1, 16000));
  h.view.Update();
  const int x = h.view.GetLayout().left + 150;
  const Lane lane = LaneOf(h.view, 0);
  EXPECT_EQ(h.view.Picture().Pixel(x, lane.Centre() - 10), 0xFF0000A0);  // the envelope fill
  EXPECT_EQ(h.view.Picture().Pixel(x, lane.Centre() + 3), kBlack);
}

TEST_F(Spectral, BinsAreColouredByTheirDecibelsFromThePaletteOfTheirLane) {
  // A tone in bin 8 of 64 on both channels; only the left one takes part.
  h.source->visual.viewType = 1;
  std::vector<int32_t> tone;
  for (int i = 0; i < 20000; ++i) {
    const int32_t v = static_cast<int32_t>(10000 * std::sin(2 * M_PI * 8 * i / 64.0));
    tone.push_back(v);
    tone.push_back(v);
  }
  h.source->Load(44100, 16, 2, tone);
  h.source->operated = {true, false};
  h.view.Update();
  const int x = 100;
  for (int c : {0, 1}) {
    const Lane lane = LaneOf(h.view, c);
    const int32_t db = h.view.Spectrum(c)[x][8];
    EXPECT_GT(db, 80);
    const auto palette = SpectralPalette(c == 0, 35, 135);
    const int row = lane.height - lane.height / 4;  // bin 8: 8 x 2h / 64 rows up
    EXPECT_EQ(h.view.Picture().Pixel(h.view.GetLayout().left + x, lane.top + row),
              palette[std::clamp(static_cast<int>(db - 20 + 0.5), 0, 99)])
        << c;
  }
}

TEST_F(Spectral, TheSameResolutionAgainChangesNothing) {
  h.source->Load(44100, 16, 1, Constant(100, 1, 0));
  h.view.Update();
  const int layouts = h.view.Counts().layout;
  h.view.SetSpectralResolution(2);  // 64 points, the size in use
  h.view.Update();
  EXPECT_EQ(h.view.Counts().layout, layouts);
  h.view.SetSpectralResolution(0);
  h.view.Update();
  EXPECT_EQ(h.view.FftSize(), 4);
  EXPECT_EQ(h.view.Counts().layout, layouts + 1);
}

TEST_F(Spectral, HostBitmapsAreCopiedIntoTheLanesAsTheyAre) {
  h.source->visual.viewType = 1;
  h.source->Load(44100, 16, 1, Constant(20000, 1, 0));
  Bitmap host(400, 200);
  {
    Graphics g(host);
    g.Clear(0xFF336699);
  }
  h.source->hostBright = host.Surface();
  h.view.Update();
  const Lane lane = LaneOf(h.view, 0);
  EXPECT_EQ(h.view.Picture().Pixel(h.view.GetLayout().left + 100, lane.Centre()), 0xFF336699u);
}

// ---- the peak overview ----

std::vector<uint8_t> LongEightBit(int64_t frames) {
  std::vector<uint8_t> bytes(static_cast<size_t>(frames), 128);
  for (size_t i = 0; i < bytes.size(); i += 997)
    bytes[i] = static_cast<uint8_t>(i % 256);
  return bytes;
}

// The overview of 8-bit mono bytes built in one go.
document::PeakOverview OverviewOf(const std::vector<uint8_t>& bytes) {
  document::PeakOverviewBuilder builder(1, 8);
  builder.Feed(bytes.data(), bytes.size());
  return builder.Finish();
}

// A view of a long 8-bit document, drawn once.
void ShowLong(ViewHarness& h, int64_t frames = 3'000'001) {
  h.source->LoadBytes(8000, 8, 1, LongEightBit(frames));
  h.view.Update();
}

TEST_F(Overview, ALongDocumentGetsItsOverviewOnceWithStatusEightMeanwhileAndEachNewVersionAnother) {
  ShowLong(h, 3'000'000);  // short documents have none
  EXPECT_EQ(h.source->overviewsAdopted, 0);
  ShowLong(h);
  EXPECT_EQ(h.source->overviewsAdopted, 1);
  EXPECT_EQ(h.source->statusSeen, (std::vector<int32_t>{8, 0}));
  ASSERT_TRUE(h.source->overview);
  EXPECT_EQ(h.source->overview->Frames(), 3'000'001);
  h.view.RequestViewRebuild();
  h.view.Update();
  EXPECT_EQ(h.source->overviewsAdopted, 1);
  ShowLong(h, 3'000'002);  // drops the old overview
  EXPECT_EQ(h.source->overviewsAdopted, 2);
}

TEST_F(Overview, AViewOfMoreThanThreeMillionFramesIsDrawnFromTheOverviewANarrowerOneFromSamples) {
  ShowLong(h);
  h.source->bytesRead = 0;
  h.view.RequestViewRebuild();
  h.view.Update();
  EXPECT_EQ(h.source->bytesRead, 0);
  h.source->ShowFrames(0, 1'000'000);
  h.view.Update();
  EXPECT_GT(h.source->bytesRead, 0);
}

TEST_F(Overview, NothingIsBuiltWhileAnotherOperationRuns) {
  h.source->LoadBytes(8000, 8, 1, LongEightBit(3'000'001));
  h.source->status = 1;
  h.view.Update();
  EXPECT_EQ(h.source->overviewsAdopted, 0);
}

TEST_F(Overview, AFileBeingOpenedIsFoldedInBlockByBlock) {
  h.view.Update();
  DocumentState format;
  format.sampleRate = 8000;
  format.channels = 1;
  format.sampleSize = 8;
  const std::vector<uint8_t> bytes = LongEightBit(3'000'001);
  h.view.BeginOverviewFold(format, 3'000'001);
  for (size_t at = 0; at < bytes.size(); at += 32000)
    h.view.FoldSamples(bytes.data() + at, std::min<size_t>(32000, bytes.size() - at));
  h.view.EndOverviewFold();
  ASSERT_EQ(h.source->overviewsAdopted, 1);
  EXPECT_EQ(*h.source->overview, OverviewOf(bytes));
}

TEST_F(Overview, AnOverviewOfAnotherLengthIsReplacedBeforeItIsDrawnFrom) {
  h.source->LoadBytes(8000, 8, 1, LongEightBit(3'100'000));
  h.source->overview = OverviewOf(LongEightBit(3'000'001));
  h.view.Update();
  EXPECT_EQ(h.source->overviewsAdopted, 1);
  EXPECT_EQ(h.source->overview->Frames(), 3'100'000);
}

// ---- markers and cursors ----

struct MarkerScene {
  MarkerScene() {
    Quiet(*h.source);
    h.source->Load(44100, 16, 1, Constant(10000, 1, 0));
    h.source->ShowFrames(1000, 2000);
  }
  int Column(int64_t frame) const {
    return h.view.GetLayout().left + PositionToColumn(frame, 1000, 2000, h.view.GetLayout().width);
  }
  uint32_t At(int x, int y) const { return h.view.Picture().Pixel(x, y); }
  ViewHarness h;
};

TEST(Markers, ARangeReachingIntoTheViewDrawsItsEndAndItsBackgroundFromColumnZero) {
  MarkerScene m;
  m.h.source->AddMarker(500, 1000);  // 500 ... 1500
  m.h.view.Update();
  const LaneExtent e = m.h.view.Extent();
  const int left = m.h.view.GetLayout().left;
  const int y = e.top + m.h.view.GetLayout().laneMargin + 3;
  EXPECT_EQ(m.At(left + 20, y), 0xFF414141u);                   // background from column 0
  EXPECT_EQ(m.At(m.Column(1600), y), kBlack);                   // and no further than the end
  EXPECT_EQ(m.At(m.Column(1500) - 1, e.top + 1), 0xFF24BCFFu);  // the end's point
  EXPECT_EQ(m.h.view.FirstMarkerInView(), 0);
}

TEST(Markers, ACueMarkerAtTheViewEndIsDrawnAtColumnWAndOneOutsideOnlyMarksTheStrip) {
  MarkerScene m;
  m.h.source->AddMarker(5000, 0);
  m.h.view.Update();
  EXPECT_EQ(m.h.view.FirstMarkerInView(), -1);
  const Layout& l = m.h.view.GetLayout();
  EXPECT_EQ(m.At(l.left + 5000 * l.width / 10000, l.stripHeight), 0xFFFF7D7Du);
  m.h.source->AddMarker(2000, 0);
  m.h.view.Recompose();
  m.h.view.Update();
  EXPECT_EQ(m.At(l.left + l.width, m.h.view.Extent().top + 1), 0xFFFF7D7Du);
}

TEST(Markers, TypeTwoWithoutLabelsColoursTheWaveformInsteadOfDrawingInTheLanes) {
  MarkerScene m;
  m.h.source->Load(44100, 16, 1, Constant(10000, 1, 8000));
  m.h.source->ShowFrames(1000, 2000);
  m.h.source->visual.markerType = 2;
  m.h.source->AddMarker(1200, 300, 0x0000FF);  // OLE red
  m.h.view.Update();
  const Lane lane = LaneOf(m.h.view, 0);
  const int row = lane.Centre() - static_cast<int>(8000 / (32767 * 1.07) * (lane.height / 2));
  // The waveform inside the range is red, outside it keeps the digital colour.
  EXPECT_EQ(m.At(m.Column(1350), row), 0xFFFF0000u);
  EXPECT_EQ(m.At(m.Column(1800), row), kDigital);
  // No points or lines in the lanes.
  EXPECT_NE(m.At(m.Column(1200), m.h.view.Extent().top + 1), 0xFFFF0000u);
}

TEST(Markers, ColoursComeFromTheSettingsAtTypeZeroAndFromTheMarkerFromTypeOne) {
  for (int type : {0, 1}) {
    MarkerScene m;
    m.h.source->visual.markerType = type;
    m.h.source->colors.argb[ColorSettings::kCueMarker] = 0xFF123456;
    m.h.source->AddMarker(1500, 0, 0x00FF00);  // OLE green
    m.h.view.Update();
    EXPECT_EQ(m.At(m.Column(1500), m.h.view.Extent().top + 1),
              type == 0 ? 0xFF123456u : 0xFF00FF00u)
        << "type " << type;
  }
}

TEST(Markers, TheTooltipShowsTheLabelOfTheMarkerUnderTheMouse) {
  MarkerScene m;
  m.h.source->AddMarker(1500, 0, 0, u"chorus");
  platform::MessageQueue queue;
  platform::HeadlessWindow window(queue, 400, 200);
  m.h.view.AttachWindow(&window);
  window.Paint();
  const int y = (m.h.view.Extent().top + m.h.view.Extent().bottom) / 2;
  window.SendMouseMove(0, m.Column(1500) + 1, y);
  EXPECT_FALSE(window.Tooltip().visible);  // tooltips are off by default
  m.h.source->visual.markerToolTipEnabled = true;
  m.h.view.Recompose();
  window.Paint();
  window.SendMouseMove(0, m.Column(1500) + 1, y);
  ASSERT_TRUE(window.Tooltip().visible);
  EXPECT_EQ(window.Tooltip().text, "chorus");
  m.h.view.AttachWindow(nullptr);
}

TEST(Selection, WithOnlyTheRightChannelOperatedTheSelectionCoversTheLowerLane) {
  // The default selection colour is translucent: over black it shows as 0x646464.
  ViewHarness h;
  Quiet(*h.source);
  h.source->Load(44100, 16, 2, Constant(1000, 2, 0));
  h.source->operated = {false, true};
  h.source->SelectFrames(100, 300);
  h.view.Update();
  const int x = h.view.GetLayout().left + PositionToColumn(200, 0, 1000, h.view.GetLayout().width);
  EXPECT_EQ(h.view.Picture().Pixel(x, LaneOf(h.view, 0).Centre() + 3), kBlack);
  EXPECT_EQ(h.view.Picture().Pixel(x, LaneOf(h.view, 1).Centre() + 3), 0xFF646464u);
}

TEST(LaneExtent, OneOperatedChannelBoundsTheExtentByItsLaneAndOneThatIsHiddenHasNone) {
  Layout l;
  l.top = 13;
  l.height = 200;
  l.bottom = 213;
  l.laneMargin = 8;
  l.laneHeight[0] = 90;
  l.laneHeight[1] = 90;
  Scene s;
  s.doc.channels = 2;
  s.visible = {true, true};
  s.operated = {true, false};
  EXPECT_EQ(ComputeLaneExtent(l, s).bottom, 13 + 90 + 8 + 1);
  s.operated = {false, true};
  EXPECT_EQ(ComputeLaneExtent(l, s).top, 213 - 90 - 8 - 1);
  // With only the right lane visible, it alone spans the whole height.
  s.visible = {false, true};
  const LaneExtent e = ComputeLaneExtent(l, s);
  EXPECT_FALSE(e.empty);
  EXPECT_EQ(e.top, 13 + 8 + 1);
  EXPECT_EQ(e.bottom, 13 + 200 - 8 - 1);
  s.operated = {true, false};
  EXPECT_TRUE(ComputeLaneExtent(l, s).empty);
}

// ---- which change rebuilds what ----

// How many times each layer was rebuilt after one change; -1 is "not checked".
struct Rebuilt {
  int layout = -1, data = -1, base = -1, trace = -1, compose = -1, present = -1;
};

struct Change {
  const char* what;
  void (*make)(ViewHarness&);
  void (WaveformView::*request)();  // what the control says after the change, if anything
  Rebuilt expected;
};

// The layers rebuilt by one Update after `change`, checked where expected.
void ExpectRebuilt(const Change& change) {
  SCOPED_TRACE(change.what);
  ViewHarness h;
  h.source->Load(44100, 16, 2, Constant(5000, 2, 100));
  h.view.Update();
  const WaveformView::WorkCounts before = h.view.Counts();
  change.make(h);
  if (change.request) (h.view.*change.request)();
  h.view.Update();
  const WaveformView::WorkCounts& after = h.view.Counts();
  const Rebuilt& e = change.expected;
  const std::pair<int, int> layers[] = {
      {e.layout, after.layout - before.layout},    {e.data, after.data - before.data},
      {e.base, after.base - before.base},          {e.trace, after.trace - before.trace},
      {e.compose, after.compose - before.compose}, {e.present, after.present - before.present}};
  for (int i = 0; i < 6; ++i)
    if (layers[i].first >= 0) {
      EXPECT_EQ(layers[i].second, layers[i].first) << "layer " << i;
    }
}

TEST(RebuildTable, EachChangeRebuildsItsOwnLayerAndThoseAboveOnly) {
  using V = WaveformView;
  const Change changes[] = {
      {"a cursor colour only presents again",
       [](ViewHarness& h) { h.source->colors.argb[ColorSettings::kCursor] = 0xFF00FFFF; },
       &V::RequestPresent,
       {.compose = 0, .present = 1}},
      {"moving the selection only presents again",
       [](ViewHarness& h) { h.source->SelectFrames(10, 20); },
       &V::RequestSelection,
       {.data = 0, .compose = 0, .present = 1}},
      {"a marker colour recomposes without the layers below",
       [](ViewHarness& h) { h.source->colors.argb[ColorSettings::kCueMarker] = 0xFF00FFFF; },
       &V::Recompose,
       {.data = 0, .base = 0, .compose = 1}},
      {"a background colour rebuilds the base and everything above",
       [](ViewHarness& h) { h.source->colors.argb[ColorSettings::kBackground] = 0xFF202020; },
       &V::RequestBase,
       {0, 0, 1, 1, 1, 1}},
      {"a new view range rebuilds the data but not the base",
       [](ViewHarness& h) { h.source->ShowFrames(100, 200); },
       &V::RequestViewRebuild,
       {.data = 1, .base = 0, .compose = 1}},
      // The control only says "recompose" for the vertical zoom.
      {"the vertical zoom rebuilds the layers without a layout",
       [](ViewHarness& h) { h.source->zoom = 50; },
       &V::Recompose,
       {.layout = 0, .data = 0, .base = 1}},
      {"the channels interval rebuilds lanes, data and base",
       [](ViewHarness& h) { h.source->visual.channelsInterval = 10; },
       &V::RequestLanes,
       {.layout = 0, .data = 1, .base = 1}},
      {"hiding a channel lays the view out again",
       [](ViewHarness& h) { h.source->visible[1] = false; },
       &V::Recompose,
       {.layout = 1}},
      {"a new size lays out again",
       [](ViewHarness& h) { h.view.Resize(500, 200); },
       nullptr,
       {.layout = 1}},
      {"a burst of changes costs one redraw",
       [](ViewHarness& h) {
         for (void (V::*request)() : {&V::RequestRelayout, &V::RequestBase, &V::RequestViewRebuild})
           (h.view.*request)();
       },
       &V::RequestCompose,
       {.layout = 1, .data = 1, .compose = 1}},
  };
  for (const Change& change : changes)
    ExpectRebuilt(change);
}

}  // namespace
}  // namespace qel::view
