#include "platform/window.h"

#include <algorithm>

namespace qel::platform {

HeadlessWindow::HeadlessWindow(MessageQueue& queue, int width, int height) : queue_(queue) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixels_.assign(static_cast<size_t>(width_) * height_, 0);
}

HeadlessWindow::~HeadlessWindow() {
  // The queue outlives windows; their timers must not.
  for (uintptr_t id : timers_)
    queue_.KillTimer(id, this);
}

void HeadlessWindow::SetTimer(uintptr_t id, uint32_t milliseconds) {
  queue_.SetTimer(
      id, milliseconds,
      [this, id] {
        if (handler_) handler_->OnTimer(id);
      },
      this);
  if (std::find(timers_.begin(), timers_.end(), id) == timers_.end()) timers_.push_back(id);
  timerIntervals_[id] = milliseconds;
}

bool HeadlessWindow::KillTimer(uintptr_t id) {
  timers_.erase(std::remove(timers_.begin(), timers_.end(), id), timers_.end());
  timerIntervals_.erase(id);
  return queue_.KillTimer(id, this);
}

void HeadlessWindow::ReleaseCapture() {
  if (!capture_) return;
  capture_ = false;
  if (handler_) handler_->OnCaptureLost();
}

void HeadlessWindow::ShowTooltip(std::string_view text, int x, int y) {
  tooltip_ = TooltipState{true, std::string(text), x, y};
}

void HeadlessWindow::Resize(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixels_.assign(static_cast<size_t>(width_) * height_, 0);
  invalid_ = true;
  if (handler_) handler_->OnSize(width_, height_);
}

bool HeadlessWindow::Reaches(int x, int y) const {
  return capture_ || (x >= 0 && y >= 0 && x < width_ && y < height_);
}

void HeadlessWindow::SendMouseDown(MouseButton button, uint32_t keys, int x, int y) {
  if (!Reaches(x, y)) return;
  buttons_ |= ButtonFlag(button);
  if (handler_) handler_->OnMouseDown(button, Keys(keys), x, y);
}

void HeadlessWindow::SendMouseUp(MouseButton button, uint32_t keys, int x, int y) {
  // A release is always the end of a press this window saw; with the capture it
  // arrives from anywhere, without it only over the window.
  bool reaches = Reaches(x, y);
  buttons_ &= ~ButtonFlag(button);
  if (reaches && handler_) handler_->OnMouseUp(button, Keys(keys), x, y);
}

void HeadlessWindow::SendMouseMove(uint32_t keys, int x, int y) {
  if (Reaches(x, y) && handler_) handler_->OnMouseMove(Keys(keys), x, y);
}

void HeadlessWindow::SendDoubleClick(MouseButton button, uint32_t keys, int x, int y) {
  if (!Reaches(x, y)) return;
  buttons_ |= ButtonFlag(button);
  if (handler_) handler_->OnDoubleClick(button, Keys(keys), x, y);
}

void HeadlessWindow::SendMouseWheel(int delta, uint32_t keys, int x, int y) {
  if (Reaches(x, y) && handler_) handler_->OnMouseWheel(delta, Keys(keys), x, y);
}

void HeadlessWindow::SendTimer(uintptr_t id) {
  if (handler_) handler_->OnTimer(id);
}

void HeadlessWindow::TakeCapture() {
  ReleaseCapture();
}

PixelBuffer HeadlessWindow::Pixels() {
  return PixelBuffer{reinterpret_cast<uint8_t*>(pixels_.data()), width_, height_,
                     width_ * static_cast<int>(sizeof(uint32_t))};
}

void HeadlessWindow::Paint() {
  invalid_ = false;
  if (handler_) handler_->OnPaint(Pixels());
}

bool HeadlessWindow::PaintIfInvalid() {
  if (!invalid_) return false;
  Paint();
  return true;
}

uint32_t HeadlessWindow::PixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<size_t>(y) * width_ + x];
}

}  // namespace qel::platform
