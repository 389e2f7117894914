// Where speakers stand. Speaker k is bit k of a channel mask; the named ones sit
// on an ellipse that fills the room (so in a square room every speaker is the
// same distance from its centre), top speakers raised above it. From these
// positions and the listener's place the mixer derives arrival-time and level
// calibration, and, for layouts no rule covers, a positional gain matrix.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace PCM_CODEC {

inline constexpr int kMatrixSize = 64;
using GainMatrix = std::array<std::array<double, kMatrixSize>, kMatrixSize>;  // [out][in]

enum Speaker : int {
  kFrontLeft = 0,
  kFrontRight = 1,
  kFrontCenter = 2,
  kLowFrequency = 3,
  kBackLeft = 4,
  kBackRight = 5,
  kFrontLeftOfCenter = 6,
  kFrontRightOfCenter = 7,
  kBackCenter = 8,
  kSideLeft = 9,
  kSideRight = 10,
  kTopCenter = 11,
};

inline constexpr std::uint32_t Bit(int speaker) {
  return 1u << speaker;
}

// The speakers of a mask in channel order. Channels beyond the speakers the
// mask names are given the lowest speaker numbers not yet used (18 and up are
// unnamed positions straight ahead), so every channel has a speaker.
std::vector<int> SpeakersOf(std::uint32_t mask, int channels);

struct Room {
  double width = 4.0;
  double height = 4.0;  // front to back
};

struct Listener {
  double x = 0.0;  // -100…100: percent of half the room width, right positive
  double y = 0.0;  // -100…100: percent of half the room depth, front positive
};

struct SpeakerGeometry {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  double azimuth = 0.0;  // seen from the listener, radians, 0 ahead, right positive
  double distance = 0.0;
  bool overhead = false;  // straight above the listener: no direction
};

SpeakerGeometry Locate(int speaker, const Room& room, const Listener& listener);

// Per output speaker: delay in milliseconds and gain that make every speaker of
// the layout arrive at the listener at the same time and level (the nearer
// speakers wait and play softer). The low-frequency speaker is left alone.
struct Calibration {
  std::array<double, kMatrixSize> delayMs{};
  std::array<double, kMatrixSize> gain{};
};
Calibration Calibrate(const std::vector<int>& outputs, const Room& room, const Listener& listener);

// Share of a source the speaker mirrored across the listener's front-back axis
// receives in the positional matrix, so that a source panned to one side still
// reaches both ears as it would in a room.
inline constexpr double kCrossFeed = 0.3;

// Fills the column of every input speaker (other than low frequency) that has no
// coefficient yet: a source on its own speaker goes to the same output speaker,
// any other is panned with constant power between the two output speakers whose
// directions enclose it, each of them feeding kCrossFeed of its share to its
// mirror speaker; the column is then scaled back to unit power.
void FillPositionalMatrix(GainMatrix& m, const std::vector<int>& inputs,
                          const std::vector<int>& outputs, const Room& room,
                          const Listener& listener);

}  // namespace PCM_CODEC
