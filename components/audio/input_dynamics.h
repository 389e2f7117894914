// What the recorder does to its input before the samples become blocks:
// sound-activated accumulation and automatic gain control. Plain C++, run on
// the capture thread one chunk (10 ms) at a time.
//
// Levels are in dB relative to full scale (0 is full scale, -40 a hundredth of
// it); positive values count as 0. Times are in milliseconds.
//
// Accumulation keeps only what is sounding: closed at the start, it opens once
// the chunks' peaks have stayed at or above the attack level for the attack
// time (those chunks are kept, so the onset is not cut), and closes once they
// have stayed below the release level for the release time (those chunks are
// kept too, as the tail). While closed, nothing is kept.
//
// Automatic gain control scales the samples by a gain that starts at 100 %:
// a chunk whose peak would exceed the high level lowers the gain at once so
// that it does not; peaks that stay below the low level for the attack time
// raise it by 1 dB, up to +24 dB. Samples are clipped to their range.
#pragma once

#include <cstdint>
#include <vector>

namespace qel::audio {

struct AccumulationSettings {
  bool enabled = false;
  int32_t attackMs = 10;
  int32_t attackLevelDb = -40;
  int32_t releaseMs = 500;
  int32_t releaseLevelDb = -45;
};

struct GainControlSettings {
  bool enabled = false;
  int32_t lowLevelDb = -20;
  int32_t highLevelDb = -3;
  int32_t attackMs = 500;
};

class InputDynamics {
 public:
  InputDynamics(int32_t rate, int32_t channels, int32_t bits, AccumulationSettings accumulation,
                GainControlSettings gain);

  // Processes one chunk of whole frames: appends to *kept what is to be
  // recorded (possibly earlier chunks held back during the attack time).
  // Returns the new gain in percent when it changed, else -1.
  int32_t Process(std::vector<uint8_t>& chunk, std::vector<uint8_t>* kept);
  int32_t GainPercent() const;

 private:
  // Peak of the chunk as a fraction of full scale.
  double Peak(const std::vector<uint8_t>& chunk) const;
  void Scale(std::vector<uint8_t>& chunk, double gain) const;

  int32_t rate_;
  int32_t channels_;
  int32_t bits_;
  AccumulationSettings accumulation_;
  GainControlSettings gainControl_;
  double gainDb_ = 0;
  double quietMs_ = 0;  // how long the peaks have stayed below the low level
  bool open_ = false;
  double runMs_ = 0;  // how long the peaks have been above attack (closed) or below release (open)
  std::vector<uint8_t> held_;  // chunks of a possible onset, while closed
};

}  // namespace qel::audio
