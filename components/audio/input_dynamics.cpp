#include "input_dynamics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qel::audio {

namespace {

constexpr double kMaxGainDb = 24;
constexpr double kGainStepDb = 1;

double FromDb(int32_t db) {
  return std::pow(10.0, std::min(db, 0) / 20.0);
}

// Sample i of the chunk in the range of a 32-bit integer, and back.
int64_t Load(const uint8_t* p, int32_t bits) {
  switch (bits) {
    case 8:
      return (static_cast<int64_t>(p[0]) - 128) << 24;
    case 16:
      return static_cast<int64_t>(static_cast<int16_t>(p[0] | p[1] << 8)) << 16;
    case 24:
      return static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 |
                                                       static_cast<uint32_t>(p[1]) << 16 |
                                                       static_cast<uint32_t>(p[2]) << 24));
    default: {
      int32_t s;
      std::memcpy(&s, p, 4);
      return s;
    }
  }
}

void Store(uint8_t* p, int32_t bits, int64_t v) {
  v = std::clamp<int64_t>(v, INT32_MIN, INT32_MAX);
  const auto s = static_cast<uint32_t>(static_cast<int32_t>(v));
  switch (bits) {
    case 8:
      p[0] = static_cast<uint8_t>((s >> 24) ^ 0x80);
      break;
    case 16:
      p[0] = static_cast<uint8_t>(s >> 16);
      p[1] = static_cast<uint8_t>(s >> 24);
      break;
    case 24:
      p[0] = static_cast<uint8_t>(s >> 8);
      p[1] = static_cast<uint8_t>(s >> 16);
      p[2] = static_cast<uint8_t>(s >> 24);
      break;
    default:
      std::memcpy(p, &s, 4);
  }
}

}  // namespace

InputDynamics::InputDynamics(int32_t rate, int32_t channels, int32_t bits,
                             AccumulationSettings accumulation, GainControlSettings gain)
    : rate_(rate),
      channels_(channels),
      bits_(bits),
      accumulation_(accumulation),
      gainControl_(gain) {}

int32_t InputDynamics::GainPercent() const {
  return static_cast<int32_t>(std::lround(std::pow(10.0, gainDb_ / 20.0) * 100));
}

double InputDynamics::Peak(const std::vector<uint8_t>& chunk) const {
  const size_t step = static_cast<size_t>(bits_ / 8);
  int64_t peak = 0;
  for (size_t i = 0; i + step <= chunk.size(); i += step)
    peak = std::max(peak, std::abs(Load(chunk.data() + i, bits_)));
  return static_cast<double>(peak) / 2147483648.0;
}

void InputDynamics::Scale(std::vector<uint8_t>& chunk, double gain) const {
  const size_t step = static_cast<size_t>(bits_ / 8);
  for (size_t i = 0; i + step <= chunk.size(); i += step)
    Store(chunk.data() + i, bits_,
          std::llround(static_cast<double>(Load(chunk.data() + i, bits_)) * gain));
}

int32_t InputDynamics::Process(std::vector<uint8_t>& chunk, std::vector<uint8_t>* kept) {
  const size_t frameBytes = static_cast<size_t>(bits_ / 8 * channels_);
  const double ms = chunk.size() / static_cast<double>(frameBytes) * 1000.0 / rate_;
  int32_t changed = -1;
  if (gainControl_.enabled) {
    const double before = gainDb_;
    const double gain = std::pow(10.0, gainDb_ / 20.0);
    const double peak = Peak(chunk) * gain;
    const double high = FromDb(gainControl_.highLevelDb);
    if (peak > high) {
      gainDb_ += 20.0 * std::log10(high / peak);
      quietMs_ = 0;
    } else if (peak < FromDb(gainControl_.lowLevelDb)) {
      quietMs_ += ms;
      if (quietMs_ >= gainControl_.attackMs) {
        gainDb_ = std::min(kMaxGainDb, gainDb_ + kGainStepDb);
        quietMs_ = 0;
      }
    } else {
      quietMs_ = 0;
    }
    if (gainDb_ != 0.0) Scale(chunk, std::pow(10.0, gainDb_ / 20.0));
    if (gainDb_ != before) changed = GainPercent();
  }
  if (!accumulation_.enabled) {
    kept->insert(kept->end(), chunk.begin(), chunk.end());
    return changed;
  }
  const double peak = Peak(chunk);
  if (!open_) {
    if (peak >= FromDb(accumulation_.attackLevelDb)) {
      runMs_ += ms;
      held_.insert(held_.end(), chunk.begin(), chunk.end());
      if (runMs_ >= accumulation_.attackMs) {
        open_ = true;
        runMs_ = 0;
        kept->insert(kept->end(), held_.begin(), held_.end());
        held_.clear();
      }
    } else {
      runMs_ = 0;
      held_.clear();
    }
    return changed;
  }
  kept->insert(kept->end(), chunk.begin(), chunk.end());
  runMs_ = peak < FromDb(accumulation_.releaseLevelDb) ? runMs_ + ms : 0;
  if (runMs_ >= accumulation_.releaseMs) {
    open_ = false;
    runMs_ = 0;
  }
  return changed;
}

}  // namespace qel::audio
