#include "view/icons.h"

#include <cmath>

namespace qel::view {

namespace {

struct SpeakerIcon {
  uint32_t bit;
  int resource;
  const char* name;
};

constexpr SpeakerIcon kIcons[] = {
    {1, 221, "L"},   {2, 227, "R"},    {4, 222, "C"},    {8, 226, "LFE"},   {16, 224, "BL"},
    {32, 228, "BR"}, {256, 223, "BC"}, {512, 225, "SL"}, {1024, 229, "SR"},
};

}  // namespace

int IconResourceForSpeaker(uint32_t speakerBit) {
  for (const SpeakerIcon& icon : kIcons)
    if (icon.bit == speakerBit) return icon.resource;
  return 0;
}

std::array<uint32_t, kMaxChannels> SpeakersOf(uint32_t mask) {
  std::array<uint32_t, kMaxChannels> speakers{};
  size_t n = 0;
  for (uint32_t bit = 0; bit < 32 && n < speakers.size(); ++bit)
    if (mask & (1u << bit)) speakers[n++] = 1u << bit;
  return speakers;
}

Bitmap MakeSpeakerIcon(int resource) {
  Bitmap icon(32, 32);
  const SpeakerIcon* found = nullptr;
  for (const SpeakerIcon& i : kIcons)
    if (i.resource == resource) found = &i;
  if (!found || !icon.Valid()) return icon;
  Graphics g(icon);
  // A dark plate keeps the icon readable over any waveform colour.
  g.FillRectangle(Brush{0xC0202020}, 1, 4, 30, 24);
  const Brush body{0xFFE8E8E8};
  g.FillRectangle(body, 3, 12, 4, 8);
  const PointF cone[] = {{7, 12}, {12, 7}, {12, 24}, {7, 19}};
  g.FillPolygon(body, cone);
  // Two sound waves.
  const Pen wave{0xFFE8E8E8, 1.0f, {}};
  for (int r : {3, 6}) {
    std::vector<PointF> arc;
    for (int a = -50; a <= 50; a += 10) {
      const double t = a * M_PI / 180.0;
      arc.push_back({13 + r * std::cos(t), 15.5 + r * std::sin(t)});
    }
    g.DrawLines(wave, arc);
  }
  const Font font("Arial", std::string_view(found->name).size() > 2 ? 5.5f : 7.0f, kFontBold);
  g.DrawString(found->name, font, RectF{17, 4, 15, 24}, TextFormat{Align::Center, Align::Center},
               Brush{0xFFFFFFFF});
  return icon;
}

}  // namespace qel::view
