// The control's window on a GTK 4 desktop: a GtkDrawingArea whose picture the
// control paints into a Cairo image surface, and whose pointer, wheel and size
// messages reach the control as window messages with the Windows key-state
// flags. Timers run on GLib timeouts, cursors are GdkCursors (the control's own
// pictures become texture cursors), tooltips the widget's own.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/window.h"

namespace qel::gtkhost {

// Holds one GObject reference.
template <class T>
struct GObjectUnref {
  void operator()(T* p) const {
    if (p) g_object_unref(p);
  }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref<T>>;

class GtkWindowHost final : public platform::WindowHost {
 public:
  explicit GtkWindowHost(platform::MessageQueue& queue);
  ~GtkWindowHost() override;
  GtkWindowHost(const GtkWindowHost&) = delete;
  GtkWindowHost& operator=(const GtkWindowHost&) = delete;

  // The drawing area to put into a window.
  GtkWidget* Widget() const { return area_; }
  // The MK_*BUTTON flags of the mouse buttons held down over the picture.
  uint32_t ButtonsDown() const { return buttons_; }
  // Called after every mouse message the control handled (the host refreshes
  // what depends on the selection).
  void SetAfterMouse(std::function<void()> after) { afterMouse_ = std::move(after); }

  // WindowHost
  void SetHandler(platform::WindowMessageHandler* handler) override { handler_ = handler; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void Invalidate() override;
  void SetTimer(uintptr_t id, uint32_t milliseconds) override;
  bool KillTimer(uintptr_t id) override;
  void SetCapture() override { capture_ = true; }
  void ReleaseCapture() override;
  bool HasCapture() const override { return capture_; }
  void SetCursor(int cursor) override;
  using WindowHost::SetCursor;
  void DefineCursor(int cursor, const platform::CursorShape& shape) override;
  bool HasCursorShape(int cursor) const override { return shapes_.count(cursor) != 0; }
  void ShowTooltip(std::string_view text, int x, int y) override;
  void HideTooltip() override;
  platform::MessageQueue& Queue() override { return queue_; }

 private:
  struct TimerSource {
    GtkWindowHost* host;
    uintptr_t id;
    guint source;
  };

  static void Draw(GtkDrawingArea* area, cairo_t* cr, int width, int height, gpointer self);
  static void Resized(GtkDrawingArea* area, int width, int height, gpointer self);
  static gboolean Event(GtkEventControllerLegacy* controller, GdkEvent* event, gpointer self);
  static gboolean TimerTick(gpointer timer);
  static gboolean QueryTooltip(GtkWidget* widget, int x, int y, gboolean keyboard,
                               GtkTooltip* tooltip, gpointer self);

  bool HandleEvent(GdkEvent* event);
  // The event's position in the drawing area's coordinates.
  bool Position(GdkEvent* event, int* x, int* y) const;
  void AfterMouse();

  platform::MessageQueue& queue_;
  platform::WindowMessageHandler* handler_ = nullptr;
  GtkWidget* area_ = nullptr;  // a reference of ours
  std::string tooltipText_;    // empty: no tooltip
  int tooltipX_ = 0, tooltipY_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool capture_ = false;
  uint32_t buttons_ = 0;       // MK_*BUTTON flags of the buttons down
  int lastX_ = 0, lastY_ = 0;  // where the pointer was last seen
  // The last press, to tell a double click.
  uint32_t lastPressTime_ = 0;
  int lastPressX_ = 0, lastPressY_ = 0;
  platform::MouseButton lastPressButton_ = platform::MouseButton::Left;
  bool lastPressWasDouble_ = false;
  double wheelRemainder_ = 0;
  int cursor_ = -1;
  std::map<uintptr_t, std::unique_ptr<TimerSource>> timers_;
  std::map<int, platform::CursorShape> shapes_;
  std::map<int, GObjectPtr<GdkCursor>> cursors_;
  std::function<void()> afterMouse_;
  // The picture the control paints into, kept between paints of one size.
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_{
      nullptr, cairo_surface_destroy};
};

}  // namespace qel::gtkhost
