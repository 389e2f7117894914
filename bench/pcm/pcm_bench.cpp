// Conversion speed on in-memory material fed in 100 ms blocks, as the control
// feeds a document. With --wav=FILE the samples of a 16-bit stereo wave file
// are used (run.sh makes one with sox and times sox on the same file);
// otherwise a minute of synthetic material.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "pcm/pcm_convert.h"

namespace {

struct Material {
  std::vector<std::uint8_t> bytes;  // 16-bit stereo, 44.1 kHz
  double seconds = 0;
};

// The data chunk of a PCM wave file (16-bit stereo 44.1 kHz is assumed).
bool LoadWave(const std::string& path, Material& m) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  char riff[12];
  f.read(riff, 12);
  if (!f || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    return false;
  for (;;) {
    char id[4];
    std::uint32_t size = 0;
    f.read(id, 4);
    f.read(reinterpret_cast<char*>(&size), 4);
    if (!f) return false;
    if (std::memcmp(id, "data", 4) == 0) {
      m.bytes.resize(size);
      f.read(reinterpret_cast<char*>(m.bytes.data()), size);
      m.bytes.resize(static_cast<std::size_t>(f.gcount()) / 4 * 4);
      m.seconds = static_cast<double>(m.bytes.size()) / (44100.0 * 4);
      return true;
    }
    f.seekg(size + (size & 1), std::ios::cur);
  }
}

Material Synthesise(double seconds) {
  Material m;
  const auto frames = static_cast<std::size_t>(seconds * 44100);
  m.bytes.resize(frames * 4);
  std::uint32_t noise = 12345;
  for (std::size_t t = 0; t < frames; ++t) {
    for (int c = 0; c < 2; ++c) {
      noise = noise * 1664525u + 1013904223u;
      const double v = 6000 * std::sin(2 * std::numbers::pi * (220.0 + 110 * c) * t / 44100) +
                       3000 * std::sin(2 * std::numbers::pi * 3520.0 * t / 44100) +
                       (static_cast<double>(noise >> 16) - 32768) * 0.05;
      const auto s = static_cast<std::int16_t>(std::lrint(v));
      std::memcpy(&m.bytes[(t * 2 + static_cast<std::size_t>(c)) * 2], &s, 2);
    }
  }
  m.seconds = seconds;
  return m;
}

Material g_material;  // loaded once in main, read-only while benchmarks run

void Run(benchmark::State& state, int outRate, int outBits, const PCM_CODEC::ConvertSettings& s,
         unsigned threads = 0) {
  const std::size_t block = 4410 * 4;  // 100 ms of 44.1 kHz stereo 16-bit
  std::int64_t produced = 0;
  for (auto _ : state) {
    PCM_CODEC::CPcmConvert c;
    c.Configure(s);
    c.SetResampleThreads(threads);
    c.SetInputFormat(44100, 2, 16, 0x3);
    c.SetOutputFormat(outRate, 2, outBits, 0x3);
    if (!c.Init()) {
      state.SkipWithError("Init failed");
      return;
    }
    produced = 0;
    for (std::size_t pos = 0; pos < g_material.bytes.size(); pos += block) {
      const std::size_t n = std::min(block, g_material.bytes.size() - pos);
      const auto out = c.Convert(g_material.bytes.data() + pos, static_cast<std::int64_t>(n));
      benchmark::DoNotOptimize(out.data);
      produced += out.length;
    }
  }
  state.counters["x_realtime"] =
      benchmark::Counter(g_material.seconds, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["out_MB"] = static_cast<double>(produced) / 1e6;
}

void LinearTo48k(benchmark::State& state) {
  Run(state, 48000, 16, {}, static_cast<unsigned>(state.range(0)));
}

void HighQualityTo48k(benchmark::State& state) {
  PCM_CODEC::ConvertSettings s;
  s.highQualityResampling = true;
  Run(state, 48000, 16, s, static_cast<unsigned>(state.range(0)));
}

void DitherShapeTo8Bit(benchmark::State& state) {
  PCM_CODEC::ConvertSettings s;
  s.ditheringEnabled = true;
  s.ditheringType = 1;  // triangular
  s.ditheringNoiseShapingEnabled = true;
  Run(state, 44100, 8, s);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  std::string wav;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--wav=", 0) == 0) {
      wav = a.substr(6);
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (!wav.empty()) {
    if (!LoadWave(wav, g_material)) {
      std::cerr << "cannot read " << wav << "\n";
      return 1;
    }
  } else {
    g_material = Synthesise(60.0);
  }
  // Long material: one pass is already seconds of work.
  const int iterations = g_material.seconds >= 600 ? 1 : 3;
  // The argument is the number of resampling threads (0: one per core).
  for (auto [name, fn, threads] :
       {std::tuple{"linear_44k1_to_48k", &LinearTo48k, std::vector<std::int64_t>{0, 1}},
        std::tuple{"high_quality_44k1_to_48k", &HighQualityTo48k, std::vector<std::int64_t>{0, 1}},
        std::tuple{"dither_shaped_16_to_8bit", &DitherShapeTo8Bit, std::vector<std::int64_t>{0}}}) {
    auto* b = benchmark::RegisterBenchmark(name, fn);
    for (std::int64_t t : threads)
      b->Arg(t);
    b->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(iterations);
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
