#include "document/markers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace qel::document {

namespace {

// "Color:" or "Play:" followed by a number in the next 8 characters.
int64_t ReadAttribute(std::u16string_view text, std::u16string_view key, int64_t otherwise) {
  const size_t at = text.find(key);
  if (at == std::u16string_view::npos) return otherwise;
  std::string digits;
  for (char16_t c : text.substr(at + key.size(), 8))
    digits += c < 128 ? static_cast<char>(c) : '?';
  return std::strtol(digits.c_str(), nullptr, 10);
}

int64_t Trunc(double value) {
  return static_cast<int64_t>(value);
}

}  // namespace

std::vector<MarkerLayoutEntry> MarkerLayout(const HistoryStep& step, int64_t align) {
  std::vector<MarkerLayoutEntry> layout;
  int32_t number = 0;
  for (const Marker& m : step.markers)
    layout.push_back(
        {m.position * align, m.length * align, m.color, m.playList, m.label, ++number});
  std::stable_sort(layout.begin(), layout.end(),
                   [](const MarkerLayoutEntry& a, const MarkerLayoutEntry& b) {
                     return a.position < b.position;
                   });
  return layout;
}

std::u16string MarkerAttributeText(const Marker& marker) {
  char text[64];
  std::snprintf(text, sizeof text, "Color:%-8u Play:%-8d", static_cast<unsigned>(marker.color),
                static_cast<int>(marker.playList));
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

void AddMarker(HistoryStep& step, int64_t documentFrames, int64_t position, int64_t length,
               std::u16string label, std::u16string note, std::u16string attributes) {
  if (position > documentFrames) return;
  Marker m;
  m.position = position;
  m.length = length;
  m.label = std::move(label);
  m.note = std::move(note);
  m.color = static_cast<uint32_t>(ReadAttribute(attributes, u"Color:", kDefaultMarkerColor));
  m.playList = static_cast<int32_t>(ReadAttribute(attributes, u"Play:", 0));
  m.attributes = std::move(attributes);
  step.markers.push_back(std::move(m));
  if (step.currentMarker == 0) step.currentMarker = 1;
}

void CarryMarkers(const HistoryStep& previous, HistoryStep& current,
                  const std::function<void(int32_t)>& changed) {
  current.markers = previous.markers;
  current.currentMarker = previous.currentMarker;
  // Frames of the selections, counted in the previous step's frame size.
  const int64_t frameBytes =
      std::max<int64_t>(int64_t{previous.format.sampleSize / 8} * previous.format.channels, 1);
  const ViewStack& pv = previous.view;
  const ViewStack& cv = current.view;
  const int64_t p0 = pv.startSelect[pv.zoom] / frameBytes;
  const int64_t p1 = pv.endSelect[pv.zoom] / frameBytes;
  const int64_t c0 = cv.startSelect[cv.zoom] / frameBytes;
  const int64_t c1 = cv.endSelect[cv.zoom] / frameBytes;
  const int64_t d0 = p1 - p0;
  const int64_t d1 = c1 - c0;
  const bool deleted = d1 == 0;
  const bool rateChanged = previous.format.sampleRate != current.format.sampleRate;
  const double r = rateChanged ? static_cast<double>(current.format.sampleRate) /
                                     static_cast<double>(previous.format.sampleRate)
                   : deleted || d0 == 0 ? 0.0
                                        : static_cast<double>(d1) / static_cast<double>(d0);

  for (size_t i = 0; i < current.markers.size(); ++i) {
    Marker& m = current.markers[i];
    const int64_t p = m.position, l = m.length, e = p + l;
    int64_t np = p, nl = l;
    bool fire = false;
    if (rateChanged) {
      np = Trunc(static_cast<double>(p) * r + 0.5);
      nl = Trunc(static_cast<double>(l) * r + 0.5);
    } else if (p >= p1) {
      np = p + d1 - d0;
    } else if (p < p0) {
      if (e > p0 && e < p1)
        nl = deleted ? p0 - p
                     : Trunc(static_cast<double>(p0 - p) + static_cast<double>(e - p0) * r + 0.5);
      else if (e > p1)
        nl = deleted ? l - d0 : l - d0 + Trunc(static_cast<double>(d0) * r + 0.5);
    } else if (p > p0) {  // p0 < p < p1
      if (e < p1) {
        if (deleted) {
          fire = true;  // the stored values stay, but the marker was in the deleted range
        } else {
          np = p0 + Trunc(static_cast<double>(p - p0) * r + 0.5);
          nl = Trunc(static_cast<double>(l) * r + 0.5);
        }
      } else if (e == p1) {
        if (deleted) np = p0, nl = 0;
      } else {
        if (deleted) {
          np = p0;
          nl = e - p1;
        } else {
          np = p0 + Trunc(static_cast<double>(p - p0) * r + 0.5);
          nl = Trunc(static_cast<double>(l) - static_cast<double>(p1 - p) * (1.0 - r) + 0.5);
        }
      }
    }
    // A value is only taken when it is not negative.
    if (np >= 0) m.position = np;
    if (nl >= 0) m.length = nl;
    if (m.position != p || m.length != l) fire = true;
    if (fire && changed) changed(static_cast<int32_t>(i) + 1);
  }
}

}  // namespace qel::document
