// Colours as the drawing layer takes them: 0xAARRGGBB words, not premultiplied.
// Kept apart from the drawing calls so that code without Cairo can use them.
#pragma once

#include <cstdint>

namespace qel::view {

// 0xAARRGGBB, not premultiplied.
using Argb = uint32_t;

constexpr Argb MakeArgb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  return (Argb{a} << 24) | (Argb{r} << 16) | (Argb{g} << 8) | Argb{b};
}
constexpr uint8_t AlphaOf(Argb c) {
  return static_cast<uint8_t>(c >> 24);
}
constexpr Argb WithAlpha(Argb c, uint8_t alpha) {
  return (c & 0x00FFFFFFu) | (Argb{alpha} << 24);
}

}  // namespace qel::view
