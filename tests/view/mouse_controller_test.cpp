// The mouse state machine without a control: a fake control keeps positions,
// channel flags and markers in frames and logs every change and event, and a
// headless window stands for the screen (capture, cursor, timers, tooltip).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/message_queue.h"
#include "view/mouse_controller.h"

namespace qel::view {
namespace {

using platform::MK_CONTROL;
using platform::MK_LBUTTON;
using platform::MK_SHIFT;
using platform::MouseButton;

constexpr int kWidth = 800;
constexpr int kHeight = 400;

class FakeControl final : public MouseActions {
 public:
  explicit FakeControl(int channels = 1, int64_t frames = 80000) {
    LayoutInput in;
    in.width = kWidth;
    in.height = kHeight;
    in.fontX = {11, 7.0f};
    in.fontY = {11, 7.0f};
    EXPECT_TRUE(ComputeLayout(in, &scene.layout));
    scene.open = true;
    scene.frames = frames;
    scene.channels = channels;
    scene.endView = frames;
    LaneSet lanes;
    lanes.channels = channels;
    for (int c = 0; c < channels; ++c) {
      lanes.visible[c] = scene.visible[c] = scene.operated[c] = true;
      scene.speakers[c] = 1u << c;
    }
    SplitLanesEqually(scene.layout, lanes);
    scene.laneTops = LaneTops(scene.layout, lanes);
    scene.pointerCursor = 200;
  }

  void ShowFrames(int64_t start, int64_t end) {
    scene.startView = start;
    scene.endView = end;
  }
  // Client x of a frame and the frame of a client x in the current view.
  int X(int64_t frame) const { return ColumnOf(scene, frame); }
  int64_t FramesPerColumn() const { return (scene.endView - scene.startView) / Layout().width; }
  const view::Layout& Layout() const { return scene.layout; }
  int LaneMiddle(int c) const { return scene.laneTops[c] + scene.layout.laneHeight[c] / 2; }
  bool Logged(const std::string& entry) const {
    for (const std::string& e : log)
      if (e == entry) return true;
    return false;
  }

  // MouseActions
  MouseScene Scene() override {
    MouseScene s = scene;
    s.markers = markers;
    ComputeSceneColumns(s);
    return s;
  }
  platform::WindowHost* Window() override { return &window; }
  bool MouseEventsEnabled() const override { return mouseEvents; }
  bool MarkerMouseEventsEnabled() const override { return markerEvents; }
  void SetSelection(int64_t start, int64_t end, bool selected) override {
    scene.startSelect = start;
    scene.endSelect = end;
    scene.selected = selected;
  }
  void SetView(int64_t start, int64_t end) override {
    scene.startView = start;
    scene.endView = end;
    log.push_back("view " + std::to_string(start) + " " + std::to_string(end));
  }
  void Zoom(int64_t start, int64_t end) override {
    log.push_back("zoom " + std::to_string(start) + " " + std::to_string(end));
  }
  void SetOperated(int channel, bool on) override { scene.operated[channel] = on; }
  void SelectMarker(int32_t number) override { current = number; }
  void MoveMarker(int64_t position, int64_t length) override {
    markers[current - 1].position = position;
    markers[current - 1].length = length;
  }
  int32_t InsertMarker(int64_t position, int64_t length, std::u16string label) override {
    markers.push_back({static_cast<int32_t>(markers.size() + 1), position, length, u""});
    labels.push_back(std::move(label));
    return static_cast<int32_t>(markers.size());
  }
  void DeleteMarker() override {
    markers.erase(markers.begin() + (current - 1));
    for (size_t i = 0; i < markers.size(); ++i)
      markers[i].number = static_cast<int32_t>(i + 1);
  }
  void ResizeLanes(int upper, int upperHeight, int lower, int lowerHeight, bool done) override {
    scene.layout.laneHeight[upper] = upperHeight;
    scene.layout.laneHeight[lower] = lowerHeight;
    scene.laneTops[lower] = scene.laneTops[upper] + upperHeight + scene.channelsInterval;
    if (done) log.push_back("lanes done");
  }
  void MouseDown(int b, int s, int x, int y) override { Log("MouseDown", b, s, x, y); }
  void MouseUp(int b, int s, int x, int y) override { Log("MouseUp", b, s, x, y); }
  void MouseMove(int b, int s, int x, int y) override { Log("MouseMove", b, s, x, y); }
  void DblClick() override { log.push_back("DblClick"); }
  void ScaleXClick() override { log.push_back("ScaleXClick"); }
  void ScaleYClick() override { log.push_back("ScaleYClick"); }
  void WaveformRClick() override { log.push_back("WaveformRClick"); }
  void ChangePosition() override { log.push_back("ChangePosition"); }
  void MarkerClick(int32_t n) override { log.push_back("MarkerClick " + std::to_string(n)); }
  void NewMarker(int32_t n) override { log.push_back("NewMarker " + std::to_string(n)); }
  void ChangeMarker(int32_t n) override { log.push_back("ChangeMarker " + std::to_string(n)); }
  void SelectChannel() override { log.push_back("SelectChannel"); }

  MouseScene scene;
  std::vector<MouseMarker> markers;
  std::vector<std::u16string> labels;
  int32_t current = 0;
  bool mouseEvents = true;
  bool markerEvents = true;
  std::vector<std::string> log;
  platform::MessageQueue queue;
  platform::HeadlessWindow window{queue, kWidth, kHeight};

 private:
  void Log(const char* what, int b, int s, int x, int y) {
    log.push_back(std::string(what) + " " + std::to_string(b) + " " + std::to_string(s) + " " +
                  std::to_string(x) + " " + std::to_string(y));
  }
};

struct Mouse {
  explicit Mouse(FakeControl& c) : control(c), machine(c) { c.window.SetHandler(&machine); }
  void Down(int x, int y, uint32_t keys = 0) {
    control.window.SendMouseDown(MouseButton::Left, keys, x, y);
  }
  void Move(int x, int y, uint32_t keys = 0) { control.window.SendMouseMove(keys, x, y); }
  void Up(int x, int y, uint32_t keys = 0) {
    control.window.SendMouseUp(MouseButton::Left, keys, x, y);
  }
  FakeControl& control;
  MouseController machine;
};

// A one-channel control of 80000 frames with the mouse machine on its window.
class MouseTest : public ::testing::Test {
 protected:
  FakeControl c;
  Mouse mouse{c};
};
using MouseMarkers = MouseTest;
using MouseScroll = MouseTest;
using MouseSelect = MouseTest;
using MouseSlider = MouseTest;

// ---- selecting ----

TEST_F(MouseSelect, DraggingTowardTheStartSelectsBackwardFromThePress) {
  const int y = c.LaneMiddle(0);
  mouse.Down(c.X(50000), y);
  mouse.Move(c.X(20000), y, MK_LBUTTON);
  mouse.Up(c.X(20000), y);
  EXPECT_NEAR(c.scene.startSelect, 20000, c.FramesPerColumn());
  EXPECT_NEAR(c.scene.endSelect, 50000, c.FramesPerColumn());
}

// ---- scrolling while selecting ----

// The step, the 50 ms timer and release are covered end to end by
// test_selecting_past_the_left_side_scrolls_and_each_timer_tick_scrolls_on.
TEST_F(MouseScroll, TheScrollTimerStopsWhenThePointerComesBackIntoTheLanes) {
  c.ShowFrames(40000, 48000);
  const int y = c.LaneMiddle(0);
  mouse.Down(c.X(44000), y);
  mouse.Move(c.Layout().left - 10, y, MK_LBUTTON);
  ASSERT_TRUE(mouse.machine.ScrollTimerRunning());
  EXPECT_NEAR(c.scene.endSelect, 44000, c.FramesPerColumn());
  mouse.Move(c.X(45000), y, MK_LBUTTON);
  EXPECT_FALSE(mouse.machine.ScrollTimerRunning());
}

TEST_F(MouseScroll, AtTheDocumentStartTheViewStaysAndNoTimerRuns) {
  c.scene.endView = 8000;
  mouse.Down(c.X(4000), c.LaneMiddle(0));
  mouse.Move(c.Layout().left - 10, c.LaneMiddle(0), MK_LBUTTON);
  EXPECT_EQ(c.scene.startView, 0);
  EXPECT_FALSE(mouse.machine.ScrollTimerRunning());
  EXPECT_EQ(c.scene.startSelect, 0);
}

TEST_F(MouseScroll, WhenTheViewHitsTheDocumentStartTheTimerSlowsTo25MsAColumn) {
  c.scene.startView = 15;  // less than two columns' worth from the start
  c.scene.endView = 8015;
  mouse.Down(c.X(4000), c.LaneMiddle(0));
  mouse.Move(c.Layout().left - 10, c.LaneMiddle(0), MK_LBUTTON);
  EXPECT_EQ(c.scene.startView, 0);
  // 15 frames round to one column of the 8000-frame view.
  EXPECT_EQ(c.window.Timers().at(kScrollTimerId), 25u);
}

TEST_F(MouseSelect, AReleaseWithoutAPressOrAPressWithoutADocumentOnlyFiresTheEvent) {
  const std::string y = std::to_string(c.LaneMiddle(0));
  mouse.Up(300, c.LaneMiddle(0));
  c.scene.open = false;
  mouse.Down(300, c.LaneMiddle(0));
  EXPECT_EQ(c.log, (std::vector<std::string>{"MouseUp 1 0 300 " + y, "MouseDown 1 0 300 " + y}));
  EXPECT_FALSE(c.window.HasCapture());
  EXPECT_EQ(c.scene.endSelect, 0);
}

// ---- slider and time scale ----

TEST_F(MouseSlider, TheSliderStopsAtTheDocumentEnd) {
  c.ShowFrames(60000, 70000);
  const MouseScene s = c.Scene();
  const int x = s.layout.sliderLeft + s.layout.sliderWidth / 2;
  mouse.Down(x, 2);
  mouse.Move(x + 400, 2, MK_LBUTTON);
  EXPECT_EQ(c.scene.endView, 80000);
  EXPECT_EQ(c.scene.startView, 70000);
}

TEST(MouseSliderEdges, DraggingAnEdgeOfTheSliderZoomsThatEndOfTheView) {
  // Within one column of the document (80000 frames over the strip).
  for (const bool right : {true, false}) {
    SCOPED_TRACE(right ? "right edge" : "left edge");
    FakeControl c;
    Mouse mouse(c);
    c.ShowFrames(right ? 0 : 40000, right ? 40000 : 80000);
    const MouseScene s = c.Scene();
    mouse.Down(right ? s.layout.sliderLeft + s.layout.sliderWidth + 1 : s.layout.sliderLeft - 1, 2);
    EXPECT_EQ(mouse.machine.Mode(), right ? DragMode::SliderRight : DragMode::SliderLeft);
    mouse.Move(c.Layout().left + c.Layout().width / 4 + (right ? 1 : -1), 2, MK_LBUTTON);
    const int64_t column = c.scene.frames / c.Layout().width + 1;
    EXPECT_NEAR(right ? c.scene.endView : c.scene.startView, 20000, column);
    EXPECT_EQ(right ? c.scene.startView : c.scene.endView, right ? 0 : 80000);
  }
}

TEST_F(MouseSlider, DraggingTheTimeScaleMovesTheViewAgainstThePointer) {
  c.ShowFrames(40000, 48000);
  const int y = kHeight - 3;
  mouse.Down(400, y);
  EXPECT_EQ(mouse.machine.Mode(), DragMode::TimeScale);
  mouse.Move(480, y, MK_LBUTTON);
  const auto shift = static_cast<int64_t>(8000.0 * 80 / c.Layout().width + 0.5);
  EXPECT_EQ(c.scene.startView, 40000 - shift);
}

TEST_F(MouseSlider, APressOnTheSelectionInTheTimeScaleMovesTheSelection) {
  c.SetSelection(20000, 30000, true);
  const int y = kHeight - 3;
  mouse.Down(c.X(25000), y);
  EXPECT_EQ(mouse.machine.Mode(), DragMode::MoveSelection);
  mouse.Move(c.X(35000), y, MK_LBUTTON);
  EXPECT_NEAR(c.scene.startSelect, 30000, c.FramesPerColumn());
  EXPECT_EQ(c.scene.endSelect - c.scene.startSelect, 10000);
}

TEST_F(MouseSelect, ASelectionEdgeGrabbedInTheMarginFollowsThePointer) {
  c.SetSelection(20000, 30000, true);
  const int y = c.Layout().top + 2;
  mouse.Down(c.X(30000) + c.Layout().laneMargin / 2, y);
  EXPECT_EQ(mouse.machine.Mode(), DragMode::SelectionEdge);
  mouse.Move(c.X(50000), y, MK_LBUTTON);
  EXPECT_EQ(c.scene.startSelect, 20000);
  EXPECT_NEAR(c.scene.endSelect, 50000, c.FramesPerColumn());
}

// ---- channels and lanes ----

TEST(MouseChannels, APressInTheOtherLaneAddsItsChannelBack) {
  FakeControl c(2);
  c.scene.operated[1] = false;
  Mouse mouse(c);
  mouse.Down(300, c.LaneMiddle(1));
  EXPECT_TRUE(c.scene.operated[0]);
  EXPECT_TRUE(c.scene.operated[1]);
}

TEST(MouseChannels, ControlPressTogglesTheLanesChannel) {
  FakeControl c(3);
  Mouse mouse(c);
  mouse.Down(300, c.LaneMiddle(2), MK_CONTROL);
  EXPECT_FALSE(c.scene.operated[2]);
  EXPECT_TRUE(c.scene.operated[1]);
}

TEST(MouseChannels, ShiftDragOnTheBandBetweenLanesResizesThemUntilALaneWouldBe19Pixels) {
  FakeControl c(2);
  Mouse mouse(c);
  const int band = c.scene.laneTops[0] + c.Layout().laneHeight[0] + 1;
  const int upper = c.Layout().laneHeight[0], lower = c.Layout().laneHeight[1];
  mouse.Down(300, band, MK_SHIFT);
  EXPECT_EQ(mouse.machine.Mode(), DragMode::LaneResize);
  mouse.Move(300, band + 30, MK_LBUTTON | MK_SHIFT);
  EXPECT_EQ(c.Layout().laneHeight[0], upper + 30);
  EXPECT_EQ(c.Layout().laneHeight[1], lower - 30);
  mouse.Up(300, band + 30);
  EXPECT_TRUE(c.Logged("lanes done"));
  // Leaving the lower lane 19 pixels ends the resize where it stood.
  mouse.Down(300, band + 30, MK_SHIFT);
  mouse.Move(300, band + lower - 19, MK_LBUTTON | MK_SHIFT);
  EXPECT_EQ(mouse.machine.Mode(), DragMode::None);
  EXPECT_EQ(c.Layout().laneHeight[1], lower - 30);
}

// ---- markers ----

TEST_F(MouseMarkers, ADoubleClickWithASelectionMakesARangeMarkerOverIt) {
  c.SetSelection(10000, 25000, true);
  c.window.SendDoubleClick(MouseButton::Left, 0, c.X(60000), c.Layout().bottom - 2);
  ASSERT_EQ(c.markers.size(), 1u);
  EXPECT_EQ(c.markers[0].position, 10000);
  EXPECT_EQ(c.markers[0].length, 15000);
}

TEST_F(MouseMarkers, ADoubleClickInTheLanesOnlyFiresDblClick) {
  c.window.SendDoubleClick(MouseButton::Left, 0, 300, c.LaneMiddle(0));
  EXPECT_TRUE(c.markers.empty());
  EXPECT_EQ(c.log, std::vector<std::string>{"DblClick"});
}

TEST_F(MouseMarkers, DraggingARangeEndMovesItAndFiresChangeMarker) {
  c.markers = {{1, 10000, 0, u""}, {2, 30000, 10000, u""}};
  const int y = c.Layout().top + 2;
  mouse.Down(c.X(40000), y);
  EXPECT_EQ(mouse.machine.Mode(), DragMode::RangeEnd);
  EXPECT_TRUE(c.Logged("MarkerClick 2"));
  mouse.Move(c.X(50000), y, MK_LBUTTON);
  EXPECT_EQ(c.markers[1].position, 30000);
  EXPECT_NEAR(c.markers[1].length, 20000, c.FramesPerColumn());
  EXPECT_TRUE(c.Logged("ChangeMarker 2"));
}

TEST_F(MouseMarkers, MarkersIgnoreTheMouseWhenMarkerEventsAreOff) {
  c.markerEvents = false;
  c.markers = {{1, 10000, 0, u""}};
  mouse.Down(c.X(10000), c.Layout().top + 2);
  EXPECT_EQ(mouse.machine.Mode(), DragMode::None);
  EXPECT_FALSE(c.Logged("MarkerClick 1"));
}

// ---- right button, cursors ----

TEST_F(MouseSelect, ARightClickOnTheLanesFiresWaveformRClick) {
  c.window.SendMouseDown(MouseButton::Right, 0, 300, c.LaneMiddle(0));
  c.window.SendMouseUp(MouseButton::Right, 0, 300, c.LaneMiddle(0));
  EXPECT_EQ(c.log.front(), "WaveformRClick");
  EXPECT_EQ(c.log.back(), "MouseUp 2 0 300 " + std::to_string(c.LaneMiddle(0)));
}

TEST(MouseCursor, EachZoneAsksForItsCursor) {
  FakeControl c(2);
  c.ShowFrames(20000, 30000);
  Mouse mouse(c);
  const MouseScene s = c.Scene();
  mouse.Move(s.layout.sliderLeft + s.layout.sliderWidth / 2, 2);
  EXPECT_EQ(c.window.CurrentCursor(), ZoneCursorId(zone_cursor::kScrollable));
  mouse.Move(300, c.Layout().top + 1);
  EXPECT_EQ(c.window.CurrentCursor(), ZoneCursorId(zone_cursor::kHandles));
  mouse.Move(300, c.scene.laneTops[0] + 1);
  EXPECT_EQ(c.window.CurrentCursor(), ZoneCursorId(zone_cursor::kLeftOnly));
  mouse.Move(300, c.LaneMiddle(1), MK_CONTROL);
  EXPECT_EQ(c.window.CurrentCursor(), ZoneCursorId(zone_cursor::kFrontRight));
  mouse.Move(300, c.LaneMiddle(0));
  EXPECT_EQ(c.window.CurrentCursor(), 200);
}

}  // namespace
}  // namespace qel::view
