// libFuzzer target for the batch chain's XML: the input (after two bytes that
// choose the channel count and the sample size) is the chain's text. Text the
// chain accepts is then run over a short block of a tone, as the control would
// run it, so that every element and attribute combination the fuzzer finds is
// also processed, not only parsed.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "batch/chain.h"

using namespace qel::effects;

namespace {

constexpr int32_t kSizes[] = {8, 16, 24, 32};
constexpr size_t kFrames = 2205;  // 50 ms at 44.1 kHz: long enough for every element's state

std::vector<uint8_t> Tone(const PcmFormat& format) {
  const int bytes = format.bitsPerSample / 8;
  std::vector<uint8_t> block(kFrames * static_cast<size_t>(format.BlockAlign()));
  uint8_t* at = block.data();
  for (size_t n = 0; n < kFrames; ++n) {
    const double v = std::sin(static_cast<double>(n) * 0.0627) * 0.5;
    for (int32_t c = 0; c < format.channels; ++c) {
      const auto s = static_cast<int64_t>(v * std::ldexp(1.0, format.bitsPerSample - 1));
      const int64_t stored = format.bitsPerSample == 8 ? s + 128 : s;
      for (int b = 0; b < bytes; ++b)
        *at++ = static_cast<uint8_t>(static_cast<uint64_t>(stored) >> (8 * b));
    }
  }
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  PcmFormat format;
  format.channels = 1 + data[0] % 2;
  format.bitsPerSample = kSizes[data[1] % 4];
  // Bytes as UTF-16 code units: the chain receives what a host's string holds.
  std::u16string xml(data + 2, data + size);
  auto chain = MakeBatch();
  if (!chain->SetParam(1, xml)) {
    // A refusal must say why.
    if (chain->Problem().empty()) __builtin_trap();
    return 0;
  }
  chain->Start(format);
  const std::vector<uint8_t> block = Tone(format);
  std::vector<uint8_t> out;
  chain->Process(block, false, out);
  chain->Process(block, true, out);
  if (out.size() % static_cast<size_t>(format.BlockAlign()) != 0) __builtin_trap();
  return 0;
}
