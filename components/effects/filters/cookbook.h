// Second-order filter designs after the well-known audio-EQ cookbook (bilinear
// transform of the analog prototypes, with w0 mapped exactly).
#pragma once

#include "filters/biquad.h"

namespace qel::effects::filters {

enum class FilterType {
  kLowPass = 1,
  kHighPass = 2,
  kNotch = 3,
  kBandPass = 4,  // constant 0 dB peak gain
  kLowShelf = 5,
  kHighShelf = 6,
  kPeaking = 7,
};

inline bool IsShelf(FilterType type) {
  return type == FilterType::kLowShelf || type == FilterType::kHighShelf;
}

// w0: centre or corner in radians per sample, in (0, π). steepness: Q, or the
// shelf slope S for the shelves (S = 1 is the steepest shelf without
// overshoot). gainDb: used by the peaking filter and the shelves only.
Biquad DesignCookbook(FilterType type, double w0, double steepness, double gainDb);

// Q of a peaking filter whose half-gain points lie `octaves` apart (digital
// bandwidth, so the band keeps its width near half the sample rate).
double QFromOctaves(double octaves, double w0);

}  // namespace qel::effects::filters
