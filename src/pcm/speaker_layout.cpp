#include "pcm/speaker_layout.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "pcm/pcm_format.h"

namespace PCM_CODEC {

namespace {

constexpr double kSpeedOfSound = 343.0;  // m/s
// Rooms can be given any size; beyond 34 m of path difference a delay is no longer
// a calibration, and capping it bounds the delay lines.
constexpr double kMaxCalibrationDelayMs = 100.0;

struct Direction {
  double azimuthDeg;
  double elevationDeg;
};

// Named speakers: front pair at ±30°, surround pair at ±135°, sides at ±90°.
constexpr std::array<Direction, 18> kDirections = {{
    {-30, 0},    // front left
    {30, 0},     // front right
    {0, 0},      // front centre
    {0, 0},      // low frequency (no direction of its own)
    {-135, 0},   // back left
    {135, 0},    // back right
    {-15, 0},    // front left of centre
    {15, 0},     // front right of centre
    {180, 0},    // back centre
    {-90, 0},    // side left
    {90, 0},     // side right
    {0, 90},     // top centre
    {-30, 45},   // top front left
    {0, 45},     // top front centre
    {30, 45},    // top front right
    {-135, 45},  // top back left
    {180, 45},   // top back centre
    {135, 45},   // top back right
}};

double Wrap(double a) {  // to [0, 2π)
  const double two = 2.0 * std::numbers::pi;
  a = std::fmod(a, two);
  return a < 0 ? a + two : a;
}

double AngularDistance(double a, double b) {
  const double d = Wrap(a - b);
  return std::min(d, 2.0 * std::numbers::pi - d);
}

}  // namespace

std::vector<int> SpeakersOf(std::uint32_t mask, int channels) {
  std::vector<int> speakers;
  std::uint64_t used = 0;
  for (int k = 0; k < 18 && static_cast<int>(speakers.size()) < channels; ++k) {
    if (mask & Bit(k)) {
      speakers.push_back(k);
      used |= std::uint64_t{1} << k;
    }
  }
  for (int k = 0; k < kMatrixSize && static_cast<int>(speakers.size()) < channels; ++k) {
    if (!(used & (std::uint64_t{1} << k))) {
      speakers.push_back(k);
      used |= std::uint64_t{1} << k;
    }
  }
  return speakers;
}

SpeakerGeometry Locate(int speaker, const Room& room, const Listener& listener) {
  const Direction d = speaker < static_cast<int>(kDirections.size())
                          ? kDirections[static_cast<std::size_t>(speaker)]
                          : Direction{0, 0};
  const double az = d.azimuthDeg * std::numbers::pi / 180.0;
  const double el = d.elevationDeg * std::numbers::pi / 180.0;
  SpeakerGeometry g;
  g.x = room.width / 2.0 * std::sin(az) * std::cos(el);
  g.y = room.height / 2.0 * std::cos(az) * std::cos(el);
  g.z = std::min(room.width, room.height) / 2.0 * std::sin(el);
  const double lx = listener.x / 100.0 * room.width / 2.0;
  const double ly = listener.y / 100.0 * room.height / 2.0;
  const double dx = g.x - lx;
  const double dy = g.y - ly;
  g.distance = std::sqrt(dx * dx + dy * dy + g.z * g.z);
  const double horizontal = std::hypot(dx, dy);
  g.overhead = horizontal < 1e-9 * std::max(1.0, g.distance);
  g.azimuth = g.overhead ? 0.0 : std::atan2(dx, dy);
  return g;
}

Calibration Calibrate(const std::vector<int>& outputs, const Room& room, const Listener& listener) {
  Calibration c;
  c.gain.fill(1.0);
  double farthest = 0.0;
  for (int s : outputs) {
    if (s != kLowFrequency) farthest = std::max(farthest, Locate(s, room, listener).distance);
  }
  if (farthest <= 0.0) return c;
  for (int s : outputs) {
    if (s == kLowFrequency) continue;
    const double d = Locate(s, room, listener).distance;
    const double lag = std::min((farthest - d) / kSpeedOfSound * 1000.0, kMaxCalibrationDelayMs);
    // Differences from rounding in the geometry are not delays.
    c.delayMs[static_cast<std::size_t>(s)] = lag < 1e-9 ? 0.0 : lag;
    const double g = d / farthest;
    c.gain[static_cast<std::size_t>(s)] = std::abs(1.0 - g) < 1e-12 ? 1.0 : g;
  }
  return c;
}

void FillPositionalMatrix(GainMatrix& m, const std::vector<int>& inputs,
                          const std::vector<int>& outputs, const Room& room,
                          const Listener& listener) {
  struct Target {
    int speaker;
    double azimuth;
  };
  std::vector<Target> targets;
  for (int o : outputs) {
    if (o != kLowFrequency) targets.push_back({o, Locate(o, room, listener).azimuth});
  }
  if (targets.empty()) return;
  std::sort(targets.begin(), targets.end(),
            [](const Target& a, const Target& b) { return a.azimuth < b.azimuth; });

  auto nearest = [&](double azimuth) {
    std::size_t best = 0;
    for (std::size_t k = 1; k < targets.size(); ++k) {
      if (AngularDistance(targets[k].azimuth, azimuth) <
          AngularDistance(targets[best].azimuth, azimuth)) {
        best = k;
      }
    }
    return best;
  };

  for (int i : inputs) {
    if (i == kLowFrequency) continue;
    const auto col = static_cast<std::size_t>(i);
    bool covered = false;
    for (int o : outputs)
      covered = covered || m[static_cast<std::size_t>(o)][col] != 0.0;
    if (covered) continue;

    std::array<double, kMatrixSize> gains{};
    const bool present = std::find(outputs.begin(), outputs.end(), i) != outputs.end();
    const SpeakerGeometry source = Locate(i, room, listener);
    if (present) {
      gains[col] = 1.0;
    } else if (targets.size() == 1) {
      gains[static_cast<std::size_t>(targets[0].speaker)] = 1.0;
    } else if (source.overhead) {
      for (const auto& t : targets)
        gains[static_cast<std::size_t>(t.speaker)] = 1.0;
    } else {
      // The pair (a, b) going round in increasing azimuth with the source between.
      std::size_t a = targets.size() - 1;
      for (std::size_t k = 0; k < targets.size(); ++k) {
        if (targets[k].azimuth <= source.azimuth) a = k;
      }
      const std::size_t b = (a + 1) % targets.size();
      const double span = Wrap(targets[b].azimuth - targets[a].azimuth);
      const double t = span > 0 ? Wrap(source.azimuth - targets[a].azimuth) / span : 0.0;
      const double ga = std::cos(t * std::numbers::pi / 2.0);
      const double gb = std::sin(t * std::numbers::pi / 2.0);
      const std::size_t pair[2] = {a, b};
      const double share[2] = {ga, gb};
      for (int p = 0; p < 2; ++p) {
        gains[static_cast<std::size_t>(targets[pair[p]].speaker)] += share[p];
      }
      for (int p = 0; p < 2; ++p) {
        const std::size_t mirror = nearest(-targets[pair[p]].azimuth);
        if (mirror != a && mirror != b) {
          gains[static_cast<std::size_t>(targets[mirror].speaker)] += kCrossFeed * share[p];
        }
      }
    }
    double power = 0.0;
    for (double g : gains)
      power += g * g;
    const double scale = power > 0 ? 1.0 / std::sqrt(power) : 0.0;
    for (int o : outputs) {
      m[static_cast<std::size_t>(o)][col] = gains[static_cast<std::size_t>(o)] * scale;
    }
  }
}

}  // namespace PCM_CODEC
