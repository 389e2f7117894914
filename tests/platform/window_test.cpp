// The headless window: what the control's handler receives when a test drives it.
#include <gtest/gtest.h>

#include "platform/window.h"

namespace qel::platform {
namespace {

struct Event {
  std::string kind;
  uint32_t keys = 0;
  int x = 0, y = 0;
  bool operator==(const Event&) const = default;
};

class RecordingHandler : public WindowMessageHandler {
 public:
  std::vector<Event> events;
  uint32_t fill = 0;
  void OnSize(int w, int h) override { events.push_back({"size", 0, w, h}); }
  void OnPaint(const PixelBuffer& target) override {
    for (int y = 0; y < target.height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(target.data + y * target.stride);
      std::fill(row, row + target.width, fill);
    }
    events.push_back({"paint", 0, target.width, target.height});
  }
  void OnMouseDown(MouseButton, uint32_t keys, int x, int y) override {
    events.push_back({"down", keys, x, y});
  }
  void OnMouseUp(MouseButton, uint32_t keys, int x, int y) override {
    events.push_back({"up", keys, x, y});
  }
  void OnMouseMove(uint32_t keys, int x, int y) override { events.push_back({"move", keys, x, y}); }
  void OnTimer(uintptr_t id) override { events.push_back({"timer", 0, static_cast<int>(id), 0}); }
};

class HeadlessWindowTest : public ::testing::Test {
 protected:
  HeadlessWindowTest() : window(queue, 200, 100) { window.SetHandler(&handler); }
  MessageQueue queue;
  HeadlessWindow window;
  RecordingHandler handler;
};

TEST_F(HeadlessWindowTest, MouseDownCarriesItsOwnButtonWithTheModifiers) {
  window.SendMouseDown(MouseButton::Left, MK_SHIFT, 10, 20);
  EXPECT_EQ(handler.events.back(), (Event{"down", MK_LBUTTON | MK_SHIFT, 10, 20}));
}

TEST_F(HeadlessWindowTest, MouseUpNoLongerCarriesTheReleasedButton) {
  window.SendMouseDown(MouseButton::Right, 0, 10, 20);
  window.SendMouseDown(MouseButton::Left, 0, 10, 20);
  window.SendMouseUp(MouseButton::Left, MK_CONTROL, 10, 20);
  EXPECT_EQ(handler.events.back(), (Event{"up", MK_RBUTTON | MK_CONTROL, 10, 20}));
}

TEST_F(HeadlessWindowTest, MoveOutsideTheWindowIsDroppedWithoutCapture) {
  window.SendMouseMove(0, 250, 50);
  EXPECT_TRUE(handler.events.empty());
}

TEST_F(HeadlessWindowTest, MoveOutsideTheWindowArrivesWithCapture) {
  window.SetCapture();
  window.SendMouseMove(0, -5, 50);
  EXPECT_EQ(handler.events.back(), (Event{"move", 0, -5, 50}));
}

TEST_F(HeadlessWindowTest, ResizeReportsTheNewSizeAndAsksForAPaint) {
  window.Resize(320, 240);
  EXPECT_EQ(handler.events.back(), (Event{"size", 0, 320, 240}));
  EXPECT_TRUE(window.IsInvalid());
}

TEST_F(HeadlessWindowTest, PaintDrawsIntoAPictureOfTheWindowSize) {
  handler.fill = 0xFF336699;
  window.Paint();
  EXPECT_EQ(window.PixelAt(199, 99), 0xFF336699u);
}

TEST_F(HeadlessWindowTest, WindowTimerReachesTheHandlerWithItsId) {
  window.SetTimer(42, 10);
  ASSERT_TRUE(RunMessageLoop(
      queue, [&] { return !handler.events.empty(); }, std::chrono::milliseconds(10000)));
  EXPECT_EQ(handler.events.front(), (Event{"timer", 0, 42, 0}));
}

TEST_F(HeadlessWindowTest, DestroyedWindowLeavesNoTimerBehind) {
  {
    HeadlessWindow other(queue, 10, 10);
    other.SetTimer(1, 10);
  }
  EXPECT_FALSE(queue.TimeUntilNextTimer().has_value());
}

}  // namespace
}  // namespace qel::platform
