#include "pcm/dither_random.h"

#include <cmath>

namespace PCM_CODEC::DITHERNG {

double UniformRandom::Next() {
  const double u1 = Uniform01();
  const double u2 = Uniform01();
  return u1 + u2 - 1.0;
}

double TriangleRandom::Next() {
  const double u1 = Uniform01();
  const double u2 = Uniform01();
  return u2 > u1 ? u1 : -u2;
}

double GaussRandom::Next() {
  double p;
  double s;
  do {
    p = 2.0 * Uniform01() - 1.0;
    const double q = 2.0 * Uniform01() - 1.0;
    s = p * p + q * q;
  } while (s > 1.0);
  return p * std::sqrt(-2.0 * std::log(s) / s);
}

namespace {

// Rows by sample rate band; see ForSampleRate for the band limits.
constexpr ColoredRandom::Coefficients kColoured[] = {
    {{0.006579161334, -0.001289437187, 0.01265549954, -0.004525591461, 0.01265549954,
      -0.001289437187, 0.006579161334},
     {1.0, 3.949477416, 7.658600496, 8.892695114, 6.478092137, 2.803797491, 0.5736520739}},
    {{0.03830750087, -0.1396422934, 0.2732723383, -0.3356277421, 0.2732723383, -0.1396422934,
      0.03830750087},
     {1.0, 0.89143107, 2.083576015, 1.614467774, 1.532145433, 0.7422412826, 0.3812418725}},
    {{0.04986154585, -0.2011192754, 0.4093119376, -0.5101109485, 0.4093119376, -0.2011192754,
      0.04986154585},
     {1.0, 0.3357511056, 1.750775367, 0.8944264578, 1.181271406, 0.4747758244, 0.3588341067}},
    {{0.1839301034, -1.001182973, 2.364796729, -3.094653707, 2.364796729, -1.001182973,
      0.1839301034},
     {1.0, -2.680172233, 3.964176542, -3.410630244, 2.150297028, -0.8922879449, 0.302512317}},
    {{0.2077659124, -1.149270512, 2.7395135, -3.595728315, 2.7395135, -1.149270512, 0.2077659124},
     {1.0, -2.97882163, 4.577114965, -4.136828407, 2.585875723, -1.065727787, 0.3077938787}},
    {{0.3814294423, -2.236307787, 5.514290809, -7.318812055, 5.514290809, -2.236307787,
      0.3814294423},
     {1.0, -4.499248368, 8.850223636, -9.739288852, 6.391483058, -2.410870633, 0.4205720993}},
    {{0.4035067564, -2.374405006, 5.867506962, -7.793209271, 5.867506962, -2.374405006,
      0.4035067564},
     {1.0, -4.641939229, 9.349500534, -10.46699452, 6.92709854, -2.603069353, 0.4435555909}},
};

}  // namespace

const ColoredRandom::Coefficients& ColoredRandom::ForSampleRate(int sampleRate) {
  if (sampleRate < 88200) return kColoured[0];
  if (sampleRate < 96000) return kColoured[1];
  if (sampleRate < 176400) return kColoured[2];
  if (sampleRate < 192000) return kColoured[3];
  if (sampleRate < 352800) return kColoured[4];
  if (sampleRate < 384000) return kColoured[5];
  return kColoured[6];
}

ColoredRandom::ColoredRandom(int sampleRate) : coefficients_(&ForSampleRate(sampleRate)) {
  // Let the filter settle a little before the first value is used.
  for (int k = 0; k < 6; ++k)
    Next();
}

double ColoredRandom::Next() {
  const auto& c = *coefficients_;
  double w0 = source_.Next();
  for (int k = 1; k <= 6; ++k)
    w0 -= c.a[k] * w_[k];
  w_[0] = w0;
  double out = 0.0;
  for (int k = 0; k <= 6; ++k)
    out += c.b[k] * w_[k];
  for (int k = 6; k >= 1; --k)
    w_[k] = w_[k - 1];
  return out;
}

}  // namespace PCM_CODEC::DITHERNG
