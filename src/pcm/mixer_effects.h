// Signal pieces the channel mixer adds on top of its matrix: the low-pass that
// derives a low-frequency channel, speaker delay lines and a small room reverb.
// Each keeps its state across blocks, so a document mixed in blocks sounds the
// same as one mixed at once.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace PCM_CODEC {

// Linkwitz-Riley low-pass of 4th order (two identical 2nd-order Butterworth
// sections): -6 dB at the cut-off, 24 dB per octave beyond it, and a flat sum
// with the matching high-pass, which is what bass management expects.
class CLowPass {
 public:
  // The cut-off is kept between 10 Hz (or less for very low rates) and 0.45 of
  // the sample rate, so every value a host passes gives a stable filter.
  void Design(double cutoffHz, double sampleRate);
  void Reset();
  void Process(std::span<double> samples);
  double Cutoff() const { return cutoff_; }

 private:
  struct Section {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double s1 = 0, s2 = 0;  // transposed direct form II state
  };
  std::array<Section, 2> sections_;
  double cutoff_ = 0.0;
};

// A fixed delay of whole samples that carries its tail to the next block.
class CDelayLine {
 public:
  void SetDelay(std::size_t samples);
  std::size_t Delay() const { return line_.size(); }
  void Process(std::span<double> samples);

 private:
  std::vector<double> line_;  // the last Delay() inputs, oldest first
  std::vector<double> scratch_;
};

// Schroeder reverb per channel: four damped feedback combs in parallel and two
// all-passes in series, added to the dry signal.
struct ReverbPreset {
  const char* name;
  double size;      // scales the comb and all-pass delays
  double decaySec;  // time to fall by 60 dB
  double damping;   // 0…1, high-frequency loss per pass through a comb
  double wet;       // level of the reverberated signal added to the dry one
};

// Presets 1 to 4; any other value means no reverb.
const ReverbPreset* FindReverbPreset(std::int32_t preset);

class CReverb {
 public:
  void Configure(const ReverbPreset& preset, double sampleRate, int channel);
  void Reset();
  void Process(std::span<double> samples);

 private:
  struct Comb {
    std::vector<double> buffer;
    std::size_t pos = 0;
    double feedback = 0;
    double store = 0;
  };
  struct AllPass {
    std::vector<double> buffer;
    std::size_t pos = 0;
  };
  std::array<Comb, 4> combs_;
  std::array<AllPass, 2> allPasses_;
  double damping_ = 0;
  double wet_ = 0;
};

}  // namespace PCM_CODEC
