// Interleaved PCM test signals for the whole-frame kinds, and running a
// FrameProcessor over them in blocks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <span>
#include <vector>

#include "processor.h"
#include "processors.h"

namespace qel::effects::analysis_test {

// Samples as signed integers of the sample size, frame after frame
// (interleaved); encoded to bytes by Pcm().
using Frames = std::vector<int32_t>;

inline PcmFormat Format(int32_t channels, int32_t bits, double rate = 44100) {
  PcmFormat f;
  f.sampleRate = rate;
  f.channels = channels;
  f.bitsPerSample = bits;
  return f;
}

inline std::vector<uint8_t> Pcm(const Frames& samples, int32_t bits) {
  std::vector<uint8_t> bytes;
  bytes.reserve(samples.size() * static_cast<size_t>(bits / 8));
  for (int32_t s : samples) {
    if (bits == 8) {
      bytes.push_back(static_cast<uint8_t>(s + 128));
      continue;
    }
    const auto u = static_cast<uint32_t>(s);
    for (int b = 0; b < bits / 8; ++b)
      bytes.push_back(static_cast<uint8_t>(u >> (8 * b)));
  }
  return bytes;
}

// `frames` frames of a sine on every channel (channel c shifted by c·30°), at
// `peak` integer units.
inline Frames Tone(size_t frames, int32_t channels, double peak, double hz = 440,
                   double rate = 44100) {
  Frames x;
  x.reserve(frames * static_cast<size_t>(channels));
  for (size_t t = 0; t < frames; ++t) {
    for (int32_t c = 0; c < channels; ++c) {
      const double phase = 2 * std::numbers::pi * hz * static_cast<double>(t) / rate + c * 0.5236;
      x.push_back(static_cast<int32_t>(std::lround(peak * std::sin(phase))));
    }
  }
  return x;
}

inline Frames Silence(size_t frames, int32_t channels) {
  return Frames(frames * static_cast<size_t>(channels), 0);
}

inline Frames Join(std::initializer_list<Frames> parts) {
  Frames all;
  for (const Frames& p : parts)
    all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Runs the bytes through in blocks of `blockFrames` frames (all at once when
// 0), the final block marked last.
inline std::vector<uint8_t> RunFrames(FrameProcessor& p, const PcmFormat& format,
                                      std::span<const uint8_t> bytes, size_t blockFrames = 0) {
  p.Start(format);
  const size_t align = static_cast<size_t>(format.BlockAlign());
  const size_t block = blockFrames == 0 ? std::max<size_t>(bytes.size(), 1) : blockFrames * align;
  std::vector<uint8_t> result;
  std::vector<uint8_t> out;
  size_t at = 0;
  do {
    const size_t n = std::min(block, bytes.size() - at);
    out.clear();
    p.Process(bytes.subspan(at, n), at + n == bytes.size(), out);
    result.insert(result.end(), out.begin(), out.end());
    at += n;
  } while (at < bytes.size());
  return result;
}

}  // namespace qel::effects::analysis_test
