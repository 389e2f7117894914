// The control's window. The control implements WindowMessageHandler to receive
// size, paint, mouse and timer messages, and talks back through WindowHost
// (invalidate, timers, mouse capture, cursor, tooltip). HeadlessWindow is the
// host without a screen: a test or the Python host drives it by calling Send*()
// and Paint(), and reads the picture from its pixel buffer.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_queue.h"

namespace qel::platform {

// Key-state flags of a mouse message, with their Windows values.
inline constexpr uint32_t MK_LBUTTON = 0x0001;
inline constexpr uint32_t MK_RBUTTON = 0x0002;
inline constexpr uint32_t MK_SHIFT = 0x0004;
inline constexpr uint32_t MK_CONTROL = 0x0008;
inline constexpr uint32_t MK_MBUTTON = 0x0010;
inline constexpr uint32_t MK_XBUTTON1 = 0x0020;

// One notch of the mouse wheel.
inline constexpr int WHEEL_DELTA = 120;

enum class MouseButton { Left, Right, Middle };

// The key-state flag that says `button` is down.
constexpr uint32_t ButtonFlag(MouseButton button) {
  return button == MouseButton::Left    ? MK_LBUTTON
         : button == MouseButton::Right ? MK_RBUTTON
                                        : MK_MBUTTON;
}

// Standard cursor shapes; the control's own cursors use ids from kFirstCustomCursor up.
enum class Cursor : int { Arrow = 0, Cross, IBeam, Hand, SizeWE, SizeNS, SizeAll, Wait };
inline constexpr int kFirstCustomCursor = 100;

// A cursor picture a control defines for one of its own cursor numbers, so
// that a host with a screen can show it: premultiplied ARGB, row by row.
struct CursorShape {
  int width = 0;
  int height = 0;
  int hotX = 0;
  int hotY = 0;
  std::vector<uint32_t> pixels;
};

// A 32-bit premultiplied ARGB picture in native byte order (Cairo's ARGB32).
struct PixelBuffer {
  uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes per row
};

class WindowMessageHandler {
 public:
  virtual ~WindowMessageHandler() = default;
  virtual void OnSize(int /*width*/, int /*height*/) {}
  // Draw the whole client area into target.
  virtual void OnPaint(const PixelBuffer& /*target*/) {}
  // keys: the MK_* flags after the event (a button-down message includes its own
  // button, a button-up message no longer does). x, y: client coordinates.
  virtual void OnMouseDown(MouseButton /*button*/, uint32_t /*keys*/, int /*x*/, int /*y*/) {}
  virtual void OnMouseUp(MouseButton /*button*/, uint32_t /*keys*/, int /*x*/, int /*y*/) {}
  virtual void OnMouseMove(uint32_t /*keys*/, int /*x*/, int /*y*/) {}
  virtual void OnDoubleClick(MouseButton /*button*/, uint32_t /*keys*/, int /*x*/, int /*y*/) {}
  // delta: multiples of WHEEL_DELTA, positive away from the user.
  virtual void OnMouseWheel(int /*delta*/, uint32_t /*keys*/, int /*x*/, int /*y*/) {}
  virtual void OnTimer(uintptr_t /*id*/) {}
  // The window lost the mouse capture (released, or taken by someone else).
  virtual void OnCaptureLost() {}
};

// What the control may ask of its window.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // The handler receives every message; null detaches it. Not owned.
  virtual void SetHandler(WindowMessageHandler* handler) = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Asks for a paint message soon.
  virtual void Invalidate() = 0;
  // Window timers: OnTimer(id) every `milliseconds` until killed.
  virtual void SetTimer(uintptr_t id, uint32_t milliseconds) = 0;
  virtual bool KillTimer(uintptr_t id) = 0;
  // With the capture, mouse messages keep coming while the pointer is outside.
  virtual void SetCapture() = 0;
  virtual void ReleaseCapture() = 0;
  virtual bool HasCapture() const = 0;
  virtual void SetCursor(int cursor) = 0;
  void SetCursor(Cursor cursor) { SetCursor(static_cast<int>(cursor)); }
  // The picture of a cursor number of the control's own (from
  // kFirstCustomCursor up); a host without pictures may ignore it.
  virtual void DefineCursor(int /*cursor*/, const CursorShape& /*shape*/) {}
  virtual bool HasCursorShape(int /*cursor*/) const { return false; }
  // A tooltip with text near (x, y); HideTooltip removes it.
  virtual void ShowTooltip(std::string_view text, int x, int y) = 0;
  virtual void HideTooltip() = 0;
  // The queue of the thread the window belongs to.
  virtual MessageQueue& Queue() = 0;
};

class HeadlessWindow final : public WindowHost {
 public:
  struct TooltipState {
    bool visible = false;
    std::string text;
    int x = 0;
    int y = 0;
  };

  explicit HeadlessWindow(MessageQueue& queue, int width = 0, int height = 0);
  ~HeadlessWindow() override;
  HeadlessWindow(const HeadlessWindow&) = delete;
  HeadlessWindow& operator=(const HeadlessWindow&) = delete;

  // WindowHost
  void SetHandler(WindowMessageHandler* handler) override { handler_ = handler; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void Invalidate() override { invalid_ = true; }
  void SetTimer(uintptr_t id, uint32_t milliseconds) override;
  bool KillTimer(uintptr_t id) override;
  void SetCapture() override { capture_ = true; }
  void ReleaseCapture() override;
  bool HasCapture() const override { return capture_; }
  void SetCursor(int cursor) override { cursor_ = cursor; }
  using WindowHost::SetCursor;
  void ShowTooltip(std::string_view text, int x, int y) override;
  void HideTooltip() override { tooltip_.visible = false; }
  void DefineCursor(int cursor, const CursorShape& shape) override { shapes_[cursor] = shape; }
  bool HasCursorShape(int cursor) const override { return shapes_.count(cursor) != 0; }
  // The picture defined for a cursor number, or null.
  const CursorShape* CursorShapeOf(int cursor) const {
    auto it = shapes_.find(cursor);
    return it == shapes_.end() ? nullptr : &it->second;
  }
  MessageQueue& Queue() override { return queue_; }

  // Driving the window. Resize resizes the pixel buffer, sends OnSize and
  // invalidates. Mouse messages at a point outside the client area reach the
  // handler only while the window has the capture, as on a screen; the pressed
  // buttons are tracked, so keys carry only the modifiers (MK_SHIFT, MK_CONTROL,
  // and MK_XBUTTON1, the 0x20 flag).
  void Resize(int width, int height);
  void SendMouseDown(MouseButton button, uint32_t keys, int x, int y);
  void SendMouseUp(MouseButton button, uint32_t keys, int x, int y);
  void SendMouseMove(uint32_t keys, int x, int y);
  // The second press of a double click (send SendMouseUp after it, as a screen would).
  void SendDoubleClick(MouseButton button, uint32_t keys, int x, int y);
  void SendMouseWheel(int delta, uint32_t keys, int x, int y);
  // A tick of timer `id` now, as the queue would deliver it (whether or not it
  // is set), so tests need not wait for the clock.
  void SendTimer(uintptr_t id);
  // Someone else takes the mouse capture.
  void TakeCapture();
  // Paints now (whether or not invalidated) and clears the invalid flag.
  void Paint();
  // Paints only when something invalidated the window; true when it painted.
  bool PaintIfInvalid();

  bool IsInvalid() const { return invalid_; }
  int CurrentCursor() const { return cursor_; }
  const TooltipState& Tooltip() const { return tooltip_; }
  uint32_t ButtonsDown() const { return buttons_; }
  // The timers set and not killed, with their intervals in milliseconds.
  const std::map<uintptr_t, uint32_t>& Timers() const { return timerIntervals_; }
  // The picture of the last paint.
  PixelBuffer Pixels();
  // One pixel of the last paint as 0xAARRGGBB (premultiplied); 0 outside.
  uint32_t PixelAt(int x, int y) const;

 private:
  bool Reaches(int x, int y) const;
  uint32_t Keys(uint32_t modifiers) const {
    return (modifiers & (MK_SHIFT | MK_CONTROL | MK_XBUTTON1)) | buttons_;
  }

  MessageQueue& queue_;
  WindowMessageHandler* handler_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
  bool invalid_ = true;
  bool capture_ = false;
  uint32_t buttons_ = 0;
  int cursor_ = static_cast<int>(Cursor::Arrow);
  TooltipState tooltip_;
  std::vector<uintptr_t> timers_;
  std::map<uintptr_t, uint32_t> timerIntervals_;
  std::map<int, CursorShape> shapes_;
};

}  // namespace qel::platform
