// Colour conversions between the automation surface (OLE colours: red in the
// low byte, system colours as 0x80000000 | index) and the ARGB the view draws
// with.
#pragma once

#include <cstdint>
#include <optional>

#include "view/view_source.h"

namespace qel::view {

// System colour indices the view itself uses.
inline constexpr int kSystemWindow = 5;
inline constexpr int kSystemButtonFace = 15;

// The RGB value (0x00BBGGRR) of a system colour index; none for an unknown one.
// These are the desktop's stock colours; a host that follows a theme can
// translate before it hands colours over.
std::optional<uint32_t> SystemColor(int index);

// Resolves a system colour reference to its RGB value (0x00BBGGRR); other
// colours keep their three low bytes. None for an unknown system index.
std::optional<uint32_t> TranslateOleColor(uint32_t ole);

// The colours a new colours object starts with.
ColorSettings DefaultColorSettings();

// 0x00BBGGRR to ARGB with the given alpha, and back (alpha dropped).
constexpr uint32_t OleToArgb(uint32_t ole, uint8_t alpha = 255) {
  return (uint32_t{alpha} << 24) | ((ole & 0xFF) << 16) | (ole & 0xFF00) | ((ole >> 16) & 0xFF);
}
constexpr uint32_t ArgbToOle(uint32_t argb) {
  return ((argb >> 16) & 0xFF) | (argb & 0xFF00) | ((argb & 0xFF) << 16);
}

}  // namespace qel::view
