// CMixer maps interleaved PCM from one speaker layout to another through a gain
// matrix built from the two channel masks, in double precision, with a
// per-block overload normalisation. On top of the matrix it can derive a
// low-frequency channel, delay and weight speakers (presets and listener
// calibration) and add a room reverb.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "pcm/mixer_effects.h"
#include "pcm/speaker_layout.h"

namespace PCM_CODEC {

class CMixer {
 public:
  static constexpr double kG = 0.7071067811865476;

  CMixer();
  ~CMixer();
  CMixer(const CMixer&) = delete;
  CMixer& operator=(const CMixer&) = delete;

  // ---- settings (any value is accepted; see the README for the presets) ----
  void SetAsIsEnabled(bool on) { asIs_ = on; }
  void SetDelayPreset(std::int32_t preset) { delayPreset_ = preset; }
  void SetDbGainPreset(std::int32_t preset) { gainPreset_ = preset; }
  void SetReverbPreset(std::int32_t preset) { reverbPreset_ = preset; }
  void SetLfeEnabled(bool on) { lfeEnabled_ = on; }
  void SetLfeFrequency(std::int32_t hz) { lfeFrequency_ = hz; }
  // Each coordinate is clamped to -100…100 (percent of half the room).
  void SetListenerOffset(std::int32_t x, std::int32_t y);
  // Stored as the whole-metre diagonal (at least 1) and the aspect width/height;
  // the aspect changes only when height > 0 and it is at least 0.001.
  void SetRoom(std::int32_t width, std::int32_t height);

  bool AsIsEnabled() const { return asIs_; }
  bool LfeEnabled() const { return lfeEnabled_; }
  std::int32_t LfeFrequency() const { return lfeFrequency_; }
  Listener ListenerOffset() const { return listener_; }
  int RoomDiagonal() const { return diagonal_; }
  double RoomAspect() const { return aspect_; }

  // ---- layouts ----
  void SetInput(std::uint32_t mask, int channels);
  void SetOutput(std::uint32_t mask, int channels);
  // The rate of the material being mixed (for the low-pass, delays and reverb).
  void SetSampleRate(int rate) { sampleRate_ = rate > 0 ? rate : 44100; }

  // Builds the matrix, the speaker factors and delays, and clears every filter,
  // delay line and reverb: the start of a conversion.
  void ComputeMatrix();

  double Coefficient(int out, int in) const;
  // True when no rule covered the layouts and the positional matrix was used.
  bool UsesPositionalMatrix() const { return positional_; }
  // True when the low-frequency output is derived from the other channels.
  bool DerivesLfe() const { return deriveLfe_; }
  // Total delay (ms) and gain an output speaker gets after the matrix.
  double SpeakerDelayMs(int speaker) const;
  double SpeakerGain(int speaker) const;
  double LfeCutoff() const { return lfe_.Cutoff(); }

  // Mixes whole frames of interleaved input (`bits` 8, 16, 24 or 32) to the
  // output layout. The result stays valid until the next call; when nothing is
  // to be done it is the input itself.
  std::span<const std::uint8_t> Mix(std::span<const std::uint8_t> in, int bits);

 private:
  struct Layout {
    std::uint32_t mask = 0x3;
    int channels = 2;
    std::vector<int> speakers;
    std::uint64_t set = 0;  // bit per speaker actually used
    bool Has(int speaker) const { return (set >> speaker) & 1u; }
  };

  bool ApplyAsIsRules();
  bool ApplyStandardRules();
  void Set(int out, int in, double value);
  Room RoomShape() const;

  // settings
  bool asIs_ = false;
  std::int32_t delayPreset_ = 0;
  std::int32_t gainPreset_ = 0;
  std::int32_t reverbPreset_ = 0;
  bool lfeEnabled_ = true;
  std::int32_t lfeFrequency_ = 200;
  Listener listener_;
  int diagonal_ = 5;  // trunc(sqrt(4² + 4²))
  double aspect_ = 1.0;
  bool positionalDirty_ = true;
  int sampleRate_ = 44100;

  // layouts and matrix
  Layout in_;
  Layout out_;
  std::unique_ptr<GainMatrix> m_;
  bool ruleSet_ = false;
  bool positional_ = false;
  bool deriveLfe_ = false;
  Calibration calibration_;
  std::array<double, kMatrixSize> fixedGain_{};
  std::array<double, kMatrixSize> presetGain_{};
  std::array<double, kMatrixSize> presetDelayMs_{};

  // per-conversion signal state
  CLowPass lfe_;
  std::vector<CDelayLine> delays_;  // per output channel
  bool delaysActive_ = false;
  const ReverbPreset* reverb_ = nullptr;
  std::vector<CReverb> reverbs_;        // per channel of the side the reverb runs on
  std::vector<std::vector<double>> x_;  // input work buffers (+1 for a derived LFE)
  std::vector<std::vector<double>> y_;  // output work buffers
  std::vector<std::uint8_t> bytes_;
};

// The level presets: dB added to front (0, 1), centre (2), low frequency (3) and
// surround (4, 5, 8, 9, 10) speakers. Values outside 1…7 leave every speaker at 0 dB.
double GainPresetDb(std::int32_t preset, int speaker);
// The delay presets: ms of delay for the surround speakers. Values outside 1…4 mean none.
double DelayPresetMs(std::int32_t preset, int speaker);

}  // namespace PCM_CODEC
