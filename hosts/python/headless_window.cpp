// The control placed in a platform::HeadlessWindow. The control repaints into
// it as into a real host's window: changes invalidate the window, and the
// picture is painted when someone looks (snapshot, pixel, paint) as a host's
// event loop would paint an invalid window.
#include "headless_window.h"

#include <cairo.h>

#include <memory>
#include <string>

#include "core/audio_editor.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "view/waveform_view.h"

namespace py = pybind11;
using namespace qel;

namespace qelaudio {

namespace {

class PyHeadlessWindow {
 public:
  PyHeadlessWindow(com::IDispatch* control, int width, int height)
      : window_(queue_, width, height) {
    if (!control || com::Failed(control->QueryInterface(IAudioEditor::kIID, editor_.OutVoid())))
      throw py::type_error("HeadlessWindow needs an audio-editor control");
    // The control's class is the only implementation of IAudioEditor.
    view_ = static_cast<CAudioEditor*>(editor_.get())->Waveform();
    if (view_) view_->AttachWindow(&window_);
  }
  ~PyHeadlessWindow() {
    if (view_) view_->AttachWindow(nullptr);
  }
  PyHeadlessWindow(const PyHeadlessWindow&) = delete;
  PyHeadlessWindow& operator=(const PyHeadlessWindow&) = delete;

  int Width() const { return window_.Width(); }
  int Height() const { return window_.Height(); }
  void Resize(int width, int height) { window_.Resize(width, height); }
  bool Paint() { return window_.PaintIfInvalid(); }

  void Snapshot(const std::string& path) {
    window_.PaintIfInvalid();
    platform::PixelBuffer pixels = window_.Pixels();
    if (!pixels.data) throw py::value_error("the window has no pixels");
    const view::SurfacePtr surface(cairo_image_surface_create_for_data(
        pixels.data, CAIRO_FORMAT_ARGB32, pixels.width, pixels.height, pixels.stride));
    const cairo_status_t status = cairo_surface_write_to_png(surface.get(), path.c_str());
    if (status != CAIRO_STATUS_SUCCESS)
      throw py::value_error("cannot write " + path + ": " + cairo_status_to_string(status));
  }

  // 0xAARRGGBB (premultiplied) of the current picture.
  uint32_t Pixel(int x, int y) {
    window_.PaintIfInvalid();
    return window_.PixelAt(x, y);
  }

  void MouseDown(int button, uint32_t keys, int x, int y) {
    window_.SendMouseDown(ButtonOf(button), keys, x, y);
  }
  void MouseUp(int button, uint32_t keys, int x, int y) {
    window_.SendMouseUp(ButtonOf(button), keys, x, y);
  }
  void MouseMove(uint32_t keys, int x, int y) { window_.SendMouseMove(keys, x, y); }
  void DoubleClick(int button, uint32_t keys, int x, int y) {
    window_.SendDoubleClick(ButtonOf(button), keys, x, y);
  }
  void Wheel(int delta, uint32_t keys, int x, int y) { window_.SendMouseWheel(delta, keys, x, y); }

  void Timer(uintptr_t id) { window_.SendTimer(id); }
  void CaptureLost() { window_.TakeCapture(); }
  py::dict Timers() const {
    py::dict timers;
    for (const auto& [id, ms] : window_.Timers())
      timers[py::int_(id)] = ms;
    return timers;
  }
  bool HasCapture() const { return window_.HasCapture(); }
  // (width, height, hot x, hot y, premultiplied ARGB bytes) of a cursor
  // picture the control defined, or None.
  py::object CursorImage(int cursor) const {
    const platform::CursorShape* shape = window_.CursorShapeOf(cursor);
    if (!shape) return py::none();
    return py::make_tuple(shape->width, shape->height, shape->hotX, shape->hotY,
                          py::bytes(reinterpret_cast<const char*>(shape->pixels.data()),
                                    shape->pixels.size() * sizeof(uint32_t)));
  }

  int Cursor() const { return window_.CurrentCursor(); }
  py::object Tooltip() const {
    const auto& t = window_.Tooltip();
    if (!t.visible) return py::none();
    return py::make_tuple(t.text, t.x, t.y);
  }

 private:
  static platform::MouseButton ButtonOf(int button) {
    return button == 2   ? platform::MouseButton::Right
           : button == 3 ? platform::MouseButton::Middle
                         : platform::MouseButton::Left;
  }

  com::ComPtr<IAudioEditor> editor_;  // keeps the control alive as long as its window
  platform::MessageQueue queue_;
  platform::HeadlessWindow window_;
  view::WaveformView* view_ = nullptr;
};

}  // namespace

void RegisterHeadlessWindow(py::module_& m, std::function<com::IDispatch*(py::handle)> dispatchOf) {
  py::class_<PyHeadlessWindow>(m, "HeadlessWindow",
                               "A window of a given size for a control, without a screen")
      .def(py::init([dispatchOf](py::object control, int width, int height) {
             return std::make_unique<PyHeadlessWindow>(dispatchOf(control), width, height);
           }),
           py::arg("control"), py::arg("width"), py::arg("height"))
      .def_property_readonly("width", &PyHeadlessWindow::Width)
      .def_property_readonly("height", &PyHeadlessWindow::Height)
      .def("resize", &PyHeadlessWindow::Resize, py::arg("width"), py::arg("height"))
      .def("paint", &PyHeadlessWindow::Paint, "Paints when something invalidated the window")
      .def("snapshot", &PyHeadlessWindow::Snapshot, py::arg("path"),
           "Writes the window's picture as PNG")
      .def("pixel", &PyHeadlessWindow::Pixel, py::arg("x"), py::arg("y"), "The pixel as 0xAARRGGBB")
      .def("mouse_down", &PyHeadlessWindow::MouseDown, py::arg("button"), py::arg("keys"),
           py::arg("x"), py::arg("y"))
      .def("mouse_up", &PyHeadlessWindow::MouseUp, py::arg("button"), py::arg("keys"), py::arg("x"),
           py::arg("y"))
      .def("mouse_move", &PyHeadlessWindow::MouseMove, py::arg("keys"), py::arg("x"), py::arg("y"))
      .def("double_click", &PyHeadlessWindow::DoubleClick, py::arg("button"), py::arg("keys"),
           py::arg("x"), py::arg("y"))
      .def("wheel", &PyHeadlessWindow::Wheel, py::arg("delta"), py::arg("keys"), py::arg("x"),
           py::arg("y"))
      .def("timer", &PyHeadlessWindow::Timer, py::arg("id") = 1,
           "Delivers one tick of window timer `id` now")
      .def("capture_lost", &PyHeadlessWindow::CaptureLost,
           "Takes the mouse capture away from the control")
      .def_property_readonly("timers", &PyHeadlessWindow::Timers,
                             "{timer id: interval in ms} of the timers the control has set")
      .def_property_readonly("has_capture", &PyHeadlessWindow::HasCapture)
      .def("cursor_image", &PyHeadlessWindow::CursorImage, py::arg("cursor"),
           "(width, height, hot_x, hot_y, ARGB bytes) of a cursor the control defined, or None")
      .def_property_readonly("cursor", &PyHeadlessWindow::Cursor,
                             "The window cursor the control asks for: platform shapes below "
                             "100, MousePointer cursors from 200, zone cursors 1000 + resource")
      .def_property_readonly("tooltip", &PyHeadlessWindow::Tooltip,
                             "(text, x, y) of the visible tooltip, or None");
}

}  // namespace qelaudio
