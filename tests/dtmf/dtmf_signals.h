// Making dial strings with the generator, turning them into PCM (with noise
// when asked) and reading them back with the recogniser.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dtmf_generator.h"
#include "dtmf_recognizer.h"
#include "processor.h"

namespace qel::dtmf::test {

inline constexpr double kFullScale16 = 32768;
inline const std::u16string kAllSymbols = u"0123456789*#ABCD";
// Peak of one tone: −9 dBFS.
inline double ToneAmplitude(double fullScale = kFullScale16) {
  return fullScale * std::pow(10.0, -9.0 / 20.0);
}

struct Dial {
  std::u16string digits = kAllSymbols;
  double toneMs = 50;
  double breakMs = 50;
  double pauseMs = 500;
  std::u16string pauseCharacter = u",";
  double type = 0;
  std::vector<int32_t> custom;  // pairs for TypeSignals 1, when given
};

inline std::unique_ptr<effects::Processor> MakeGenerator(const Dial& dial, double rate,
                                                         double fullScale = kFullScale16) {
  auto p = MakeDtmfGenerator();
  p->SetParam(4, dial.breakMs);
  p->SetParam(5, dial.pauseCharacter);
  p->SetParam(3, dial.pauseMs);
  p->SetParam(2, dial.toneMs);
  p->SetParam(1, dial.type);
  p->SetParam(6, dial.digits);
  if (!dial.custom.empty()) AsDtmfGenerator(p.get())->SetCustomSignals(dial.custom);
  p->Start(effects::StreamSetup{rate, 16, fullScale});
  return p;
}

// Chunks of `chunk` frames (the last one shorter), zeros in, as the control
// asks a generator.
inline std::vector<double> Generate(effects::Processor& p, size_t frames, size_t chunk) {
  std::vector<double> result;
  std::vector<double> out;
  for (size_t done = 0; done < frames;) {
    const size_t n = std::min(chunk, frames - done);
    const std::vector<double> zeros(n, 0.0);
    out.clear();
    p.Process(zeros, effects::BlockInfo{static_cast<int64_t>(done), 0, false}, out);
    result.insert(result.end(), out.begin(), out.end());
    done += n;
  }
  return result;
}

inline std::vector<double> Generate(const Dial& dial, double rate, size_t frames,
                                    double fullScale = kFullScale16) {
  return Generate(*MakeGenerator(dial, rate, fullScale), frames,
                  static_cast<size_t>(rate));  // one-second chunks
}

// How long the dial string lasts (symbols only), plus 200 ms of silence.
inline size_t DialFrames(const Dial& dial, double rate) {
  const double ms = static_cast<double>(dial.digits.size()) * (dial.toneMs + dial.breakMs) + 200;
  return static_cast<size_t>(std::llround(ms * rate / 1000));
}

// White Gaussian noise whose power is `snrDb` below that of two −9 dBFS tones.
inline void AddNoise(std::vector<double>& x, double snrDb, uint32_t seed,
                     double fullScale = kFullScale16) {
  const double a = ToneAmplitude(fullScale);
  const double tonePower = a * a;  // two sines of peak a: 2 · a²/2
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0.0, std::sqrt(tonePower * std::pow(10, -snrDb / 10)));
  for (double& v : x)
    v += normal(random);
}

// Little-endian PCM of `bits` bits (8-bit offset by 128), samples given in the
// 16-bit scale, rounded and clipped; every channel carries the same signal.
inline std::vector<uint8_t> ToPcm(std::span<const double> x, int bits, int channels = 1) {
  const int bytes = bits / 8;
  const double scale = std::ldexp(1.0, bits - 16);
  const double top = std::ldexp(1.0, bits - 1) - 1;
  std::vector<uint8_t> pcm;
  pcm.reserve(x.size() * static_cast<size_t>(bytes * channels));
  for (double v : x) {
    const auto s = static_cast<int64_t>(std::clamp(std::round(v * scale), -top - 1, top));
    for (int c = 0; c < channels; ++c) {
      if (bits == 8) {
        pcm.push_back(static_cast<uint8_t>(s + 128));
        continue;
      }
      for (int b = 0; b < bytes; ++b)
        pcm.push_back(static_cast<uint8_t>((static_cast<uint64_t>(s) >> (8 * b)) & 0xff));
    }
  }
  return pcm;
}

struct Reading {
  double rate = 8000;
  int channels = 1;
  int bits = 16;
  int method = 0;
  int quality = 1;
  size_t piece = 0;  // bytes per Process call; 0: all at once
};

inline std::vector<DtmfDetection> Recognise(std::span<const uint8_t> pcm, const Reading& r) {
  DtmfRecognizer recognizer;
  recognizer.Start(r.rate, r.channels, r.bits, r.method, r.quality);
  const size_t piece = r.piece == 0 ? pcm.size() : r.piece;
  for (size_t at = 0; at < pcm.size(); at += piece)
    recognizer.Process(pcm.subspan(at, std::min(piece, pcm.size() - at)));
  recognizer.Finish();
  return recognizer.TakeDetections();
}

inline std::string Symbols(const std::vector<DtmfDetection>& found) {
  std::string s;
  for (const auto& d : found)
    s += DtmfRecognizer::Symbol(d.symbol);
  return s;
}

inline std::string RecogniseSymbols(std::span<const double> x, const Reading& r) {
  return Symbols(Recognise(ToPcm(x, r.bits, r.channels), r));
}

// Peak amplitude of the sinusoid at `hz` in x[from, from + frames): exact when
// every frequency present completes whole cycles in the window.
inline double AmplitudeAt(std::span<const double> x, double hz, double rate, size_t from,
                          size_t frames) {
  std::complex<double> sum = 0;
  const double w = 2 * std::numbers::pi * hz / rate;
  for (size_t i = 0; i < frames; ++i)
    sum += x[from + i] * std::polar(1.0, -w * static_cast<double>(i));
  return 2.0 * std::abs(sum) / static_cast<double>(frames);
}

inline double Db(double ratio) {
  return 20 * std::log10(ratio);
}

}  // namespace qel::dtmf::test
