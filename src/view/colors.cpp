#include "view/colors.h"

#include <array>

namespace qel::view {

namespace {

// 0xRRGGBB of the system colours 0 ... 30.
constexpr std::array<uint32_t, 31> kSystemRgb = {
    0xC8C8C8,  // scroll bar
    0x000000,  // desktop
    0x99B4D1,  // active caption
    0xBFCDDB,  // inactive caption
    0xF0F0F0,  // menu
    0xFFFFFF,  // window
    0x646464,  // window frame
    0x000000,  // menu text
    0x000000,  // window text
    0x000000,  // caption text
    0xB4B4B4,  // active border
    0xF4F7FC,  // inactive border
    0xABABAB,  // application workspace
    0x0078D7,  // highlight
    0xFFFFFF,  // highlight text
    0xF0F0F0,  // button face
    0xA0A0A0,  // button shadow
    0x6D6D6D,  // grey text
    0x000000,  // button text
    0x000000,  // inactive caption text
    0xFFFFFF,  // button highlight
    0x696969,  // 3-D dark shadow
    0xE3E3E3,  // 3-D light
    0x000000,  // tooltip text
    0xFFFFE1,  // tooltip background
    0xB5B5B5,  // (unused slot)
    0x0066CC,  // hot-tracked item
    0xB9D1EA,  // active caption gradient
    0xD7E4F2,  // inactive caption gradient
    0x3399FF,  // menu highlight
    0xF0F0F0,  // menu bar
};

}  // namespace

std::optional<uint32_t> SystemColor(int index) {
  if (index < 0 || index >= static_cast<int>(kSystemRgb.size())) return std::nullopt;
  const uint32_t rgb = kSystemRgb[static_cast<size_t>(index)];
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

ColorSettings DefaultColorSettings() {
  ColorSettings s;
  auto& c = s.argb;
  c[ColorSettings::kSelect] = 0x64FFFFFF;  // white, alpha 100
  c[ColorSettings::kFontMarker] = 0xFFFFFFFF;
  c[ColorSettings::kFont] = 0xFF505050;
  c[ColorSettings::kScales] = OleToArgb(*SystemColor(kSystemButtonFace), 254);
  c[ColorSettings::kPlayCursor] = 0xFFFFFFFF;
  c[ColorSettings::kGrid] = 0xFF042C4F;
  c[ColorSettings::kDigitalWaveform] = 0xFF1CF0AB;
  c[ColorSettings::kCursor] = 0xFFFFFF00;
  c[ColorSettings::kCenterLine] = 0xFFA42626;
  c[ColorSettings::kBoundary] = 0xFF6F879F;
  c[ColorSettings::kBackground] = 0xFF000000;
  c[ColorSettings::kAnalogWaveform] = 0xFF007E56;
  c[ColorSettings::kCueMarker] = 0xFFFF7D7D;
  c[ColorSettings::kRangeMarker] = 0xFF24BCFF;
  c[ColorSettings::kRangeMarkerBackground] = 0xFF414141;
  c[ColorSettings::kEnvelopeWaveform] = 0xFF0000A0;
  c[ColorSettings::kEnvelopeBorder] = 0xFF80FFFF;
  c[ColorSettings::kSlider] = 0xFF1CF0AB;
  c[ColorSettings::kUnSelectedChannel] = 0xFF4A494A;
  s.spectralLow = 35;
  s.spectralHigh = 135;
  return s;
}

std::optional<uint32_t> TranslateOleColor(uint32_t ole) {
  if ((ole & 0xFF000000u) == 0x80000000u) return SystemColor(static_cast<int>(ole & 0xFFFF));
  return ole & 0x00FFFFFFu;
}

}  // namespace qel::view
