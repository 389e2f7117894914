#include "gtk_window_host.h"

#include <cmath>
#include <cstdlib>

namespace qel::gtkhost {

using platform::MouseButton;

namespace {

// GDK's button number to the control's button; false for the side buttons.
bool ButtonOf(guint number, MouseButton* button) {
  switch (number) {
    case GDK_BUTTON_PRIMARY:
      *button = MouseButton::Left;
      return true;
    case GDK_BUTTON_MIDDLE:
      *button = MouseButton::Middle;
      return true;
    case GDK_BUTTON_SECONDARY:
      *button = MouseButton::Right;
      return true;
    default:
      return false;
  }
}

uint32_t ModifierKeys(GdkModifierType state) {
  uint32_t keys = 0;
  if (state & GDK_SHIFT_MASK) keys |= platform::MK_SHIFT;
  if (state & GDK_CONTROL_MASK) keys |= platform::MK_CONTROL;
  return keys;
}

// The names of the freedesktop cursor theme for the standard shapes.
const char* CursorName(int cursor) {
  switch (static_cast<platform::Cursor>(cursor)) {
    case platform::Cursor::Cross:
      return "crosshair";
    case platform::Cursor::IBeam:
      return "text";
    case platform::Cursor::Hand:
      return "pointer";
    case platform::Cursor::SizeWE:
      return "ew-resize";
    case platform::Cursor::SizeNS:
      return "ns-resize";
    case platform::Cursor::SizeAll:
      return "move";
    case platform::Cursor::Wait:
      return "wait";
    default:
      return "default";
  }
}

}  // namespace

GtkWindowHost::GtkWindowHost(platform::MessageQueue& queue) : queue_(queue) {
  area_ = gtk_drawing_area_new();
  g_object_ref_sink(area_);
  gtk_widget_set_hexpand(area_, TRUE);
  gtk_widget_set_vexpand(area_, TRUE);
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(area_), &GtkWindowHost::Draw, this, nullptr);
  g_signal_connect(area_, "resize", G_CALLBACK(&GtkWindowHost::Resized), this);
  GtkEventController* legacy = gtk_event_controller_legacy_new();
  g_signal_connect(legacy, "event", G_CALLBACK(&GtkWindowHost::Event), this);
  gtk_widget_add_controller(area_, legacy);
  gtk_widget_set_has_tooltip(area_, TRUE);
  g_signal_connect(area_, "query-tooltip", G_CALLBACK(&GtkWindowHost::QueryTooltip), this);
}

GtkWindowHost::~GtkWindowHost() {
  for (auto& [id, timer] : timers_)
    g_source_remove(timer->source);
  timers_.clear();
  g_signal_handlers_disconnect_by_data(area_, this);
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(area_), nullptr, nullptr, nullptr);
  g_object_unref(area_);
}

void GtkWindowHost::Invalidate() {
  gtk_widget_queue_draw(area_);
}

void GtkWindowHost::Draw(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer data) {
  auto* self = static_cast<GtkWindowHost*>(data);
  if (width <= 0 || height <= 0) return;
  cairo_surface_t* surface = self->surface_.get();
  if (!surface || cairo_image_surface_get_width(surface) != width ||
      cairo_image_surface_get_height(surface) != height) {
    self->surface_.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    surface = self->surface_.get();
  }
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return;
  if (self->handler_) {
    cairo_surface_flush(surface);
    const platform::PixelBuffer target{cairo_image_surface_get_data(surface), width, height,
                                       cairo_image_surface_get_stride(surface)};
    self->handler_->OnPaint(target);
    cairo_surface_mark_dirty(surface);
  }
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_paint(cr);
}

void GtkWindowHost::Resized(GtkDrawingArea*, int width, int height, gpointer data) {
  auto* self = static_cast<GtkWindowHost*>(data);
  if (width == self->width_ && height == self->height_) return;
  self->width_ = width;
  self->height_ = height;
  if (self->handler_) self->handler_->OnSize(width, height);
  self->Invalidate();
}

// ---- timers ----

void GtkWindowHost::SetTimer(uintptr_t id, uint32_t milliseconds) {
  KillTimer(id);
  auto timer = std::make_unique<TimerSource>(TimerSource{this, id, 0});
  timer->source = g_timeout_add(milliseconds, &GtkWindowHost::TimerTick, timer.get());
  timers_[id] = std::move(timer);
}

bool GtkWindowHost::KillTimer(uintptr_t id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  g_source_remove(it->second->source);
  timers_.erase(it);
  return true;
}

gboolean GtkWindowHost::TimerTick(gpointer data) {
  // The handler may kill or reset this very timer: keep nothing of it past the call.
  const TimerSource timer = *static_cast<TimerSource*>(data);
  GtkWindowHost* self = timer.host;
  if (self->handler_) self->handler_->OnTimer(timer.id);
  auto it = self->timers_.find(timer.id);
  const bool alive = it != self->timers_.end() && it->second->source == timer.source;
  return alive ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

// ---- cursors and tooltips ----

void GtkWindowHost::ReleaseCapture() {
  const bool had = capture_;
  capture_ = false;
  if (had && handler_) handler_->OnCaptureLost();
}

void GtkWindowHost::DefineCursor(int cursor, const platform::CursorShape& shape) {
  shapes_[cursor] = shape;
  cursors_.erase(cursor);
  if (cursor == cursor_) {
    cursor_ = -1;
    SetCursor(cursor);
  }
}

void GtkWindowHost::SetCursor(int cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  auto it = cursors_.find(cursor);
  if (it == cursors_.end()) {
    GdkCursor* made = nullptr;
    auto shape = shapes_.find(cursor);
    if (shape != shapes_.end() && shape->second.width > 0 && shape->second.height > 0 &&
        shape->second.pixels.size() ==
            static_cast<size_t>(shape->second.width) * shape->second.height) {
      const platform::CursorShape& s = shape->second;
      // Premultiplied ARGB words in native order are BGRA bytes on this machine.
      GBytes* bytes = g_bytes_new(s.pixels.data(), s.pixels.size() * sizeof(uint32_t));
      GdkTexture* texture = gdk_memory_texture_new(
          s.width, s.height,
          G_BYTE_ORDER == G_LITTLE_ENDIAN ? GDK_MEMORY_B8G8R8A8_PREMULTIPLIED
                                          : GDK_MEMORY_A8R8G8B8_PREMULTIPLIED,
          bytes, static_cast<gsize>(s.width) * sizeof(uint32_t));
      g_bytes_unref(bytes);
      GObjectPtr<GdkCursor> fallback(gdk_cursor_new_from_name("default", nullptr));
      made = gdk_cursor_new_from_texture(texture, s.hotX, s.hotY, fallback.get());
      g_object_unref(texture);
    } else {
      made = gdk_cursor_new_from_name(CursorName(cursor), nullptr);
    }
    it = cursors_.emplace(cursor, GObjectPtr<GdkCursor>(made)).first;
  }
  gtk_widget_set_cursor(area_, it->second.get());
}

void GtkWindowHost::ShowTooltip(std::string_view text, int x, int y) {
  tooltipText_ = std::string(text);
  tooltipX_ = x;
  tooltipY_ = y;
  gtk_widget_trigger_tooltip_query(area_);
}

void GtkWindowHost::HideTooltip() {
  if (tooltipText_.empty()) return;
  tooltipText_.clear();
  gtk_widget_trigger_tooltip_query(area_);
}

gboolean GtkWindowHost::QueryTooltip(GtkWidget*, int, int, gboolean, GtkTooltip* tooltip,
                                     gpointer data) {
  auto* self = static_cast<GtkWindowHost*>(data);
  if (self->tooltipText_.empty()) return FALSE;
  gtk_tooltip_set_text(tooltip, self->tooltipText_.c_str());
  const GdkRectangle near{self->tooltipX_, self->tooltipY_, 1, 1};
  gtk_tooltip_set_tip_area(tooltip, &near);
  return TRUE;
}

// ---- pointer ----

bool GtkWindowHost::Position(GdkEvent* event, int* x, int* y) const {
  double ex = 0, ey = 0;
  if (!gdk_event_get_position(event, &ex, &ey)) return false;
  GtkNative* native = gtk_widget_get_native(area_);
  if (!native) return false;
  double sx = 0, sy = 0;
  gtk_native_get_surface_transform(native, &sx, &sy);
  double ax = 0, ay = 0;
  if (!gtk_widget_translate_coordinates(GTK_WIDGET(native), area_, ex - sx, ey - sy, &ax, &ay))
    return false;
  *x = static_cast<int>(std::floor(ax));
  *y = static_cast<int>(std::floor(ay));
  return true;
}

gboolean GtkWindowHost::Event(GtkEventControllerLegacy*, GdkEvent* event, gpointer data) {
  return static_cast<GtkWindowHost*>(data)->HandleEvent(event) ? TRUE : FALSE;
}

bool GtkWindowHost::HandleEvent(GdkEvent* event) {
  if (!handler_) return false;
  const GdkEventType type = gdk_event_get_event_type(event);
  if (type == GDK_GRAB_BROKEN) {
    buttons_ = 0;
    if (capture_) ReleaseCapture();
    return false;
  }
  int x = 0, y = 0;
  if (type == GDK_ENTER_NOTIFY && Position(event, &x, &y)) {
    lastX_ = x;
    lastY_ = y;
  }
  if (type != GDK_BUTTON_PRESS && type != GDK_BUTTON_RELEASE && type != GDK_MOTION_NOTIFY &&
      type != GDK_SCROLL)
    return false;
  if (Position(event, &x, &y)) {
    lastX_ = x;
    lastY_ = y;
  } else if (type == GDK_SCROLL) {
    // Scroll events carry no position here: the wheel turns where the pointer last was.
    x = lastX_;
    y = lastY_;
  } else {
    return false;
  }
  const uint32_t modifiers = ModifierKeys(gdk_event_get_modifier_state(event));
  switch (type) {
    case GDK_BUTTON_PRESS: {
      MouseButton button;
      if (!ButtonOf(gdk_button_event_get_button(event), &button)) return false;
      buttons_ |= platform::ButtonFlag(button);
      const uint32_t now = gdk_event_get_time(event);
      int doubleTime = 400, doubleDistance = 5;
      g_object_get(gtk_widget_get_settings(area_), "gtk-double-click-time", &doubleTime,
                   "gtk-double-click-distance", &doubleDistance, nullptr);
      const bool isDouble = !lastPressWasDouble_ && button == lastPressButton_ &&
                            lastPressTime_ != 0 && now - lastPressTime_ <= uint32_t(doubleTime) &&
                            std::abs(x - lastPressX_) <= doubleDistance &&
                            std::abs(y - lastPressY_) <= doubleDistance;
      lastPressTime_ = now;
      lastPressX_ = x;
      lastPressY_ = y;
      lastPressButton_ = button;
      lastPressWasDouble_ = isDouble;
      if (isDouble)
        handler_->OnDoubleClick(button, modifiers | buttons_, x, y);
      else
        handler_->OnMouseDown(button, modifiers | buttons_, x, y);
      break;
    }
    case GDK_BUTTON_RELEASE: {
      MouseButton button;
      if (!ButtonOf(gdk_button_event_get_button(event), &button)) return false;
      buttons_ &= ~platform::ButtonFlag(button);
      handler_->OnMouseUp(button, modifiers | buttons_, x, y);
      break;
    }
    case GDK_MOTION_NOTIFY:
      // Outside the area only a captured pointer counts, as on any desktop.
      if (!capture_ && (x < 0 || y < 0 || x >= width_ || y >= height_)) return false;
      handler_->OnMouseMove(modifiers | buttons_, x, y);
      break;
    case GDK_SCROLL: {
      double notches = 0;
      switch (gdk_scroll_event_get_direction(event)) {
        case GDK_SCROLL_UP:
          notches = 1;
          break;
        case GDK_SCROLL_DOWN:
          notches = -1;
          break;
        case GDK_SCROLL_SMOOTH: {
          double dx = 0, dy = 0;
          gdk_scroll_event_get_deltas(event, &dx, &dy);
          wheelRemainder_ -= dy;
          notches = std::trunc(wheelRemainder_);
          wheelRemainder_ -= notches;
          break;
        }
        default:
          return false;
      }
      if (notches == 0) return true;
      handler_->OnMouseWheel(static_cast<int>(notches) * platform::WHEEL_DELTA,
                             modifiers | buttons_, x, y);
      break;
    }
    default:
      return false;
  }
  AfterMouse();
  return true;
}

void GtkWindowHost::AfterMouse() {
  if (afterMouse_) afterMouse_();
}

}  // namespace qel::gtkhost
