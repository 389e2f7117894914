// The noise remover: a spectral gate. The measuring pass learns the noise's
// spectrum from the quietest frames of the selection; processing lowers, in
// each short-time spectrum, the bins that do not stand clearly above it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "processor.h"
#include "spectral/fft.h"

namespace qel::effects::spectral {

class NoiseRemover final : public Processor {
 public:
  static constexpr std::size_t kMinLength = 256;
  static constexpr std::size_t kMaxLength = 16384;
  static constexpr double kDefaultLength = 2048;
  static constexpr double kDefaultReduction = 12;  // dB
  static constexpr double kMaxReduction = 100;     // dB

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  bool Measures() const override { return true; }
  void Measure(std::span<const double> in) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;

 private:
  // Learning: a histogram of the frames' levels in 1 dB classes, each class
  // keeping the sum of its frames' power spectra (allocated when first used),
  // so the memory does not grow with the selection.
  void LearnFrame(const double* samples, std::size_t count);
  void FinishProfile();
  // Processing: one analysis frame, gated and added into the output.
  void ProcessFrame();
  // Gives out the finished outputs below `limit` and moves on by one hop.
  void Release(int64_t limit, std::vector<double>& out);
  void ResetStream();

  double lengthParam_ = kDefaultLength;
  double reduction_ = kDefaultReduction;

  double sampleRate_ = 44100;
  double fullScale_ = 32768;
  std::size_t length_ = 2048;  // of this run
  std::size_t hop_ = 512;
  std::size_t bins_ = 1025;
  std::vector<double> window_;
  double windowEnergy_ = 0;  // Σ w²
  RealFft fft_;

  std::vector<double> learnBuffer_;
  std::size_t learnFill_ = 0;
  std::vector<std::vector<double>> classSums_;
  std::vector<int64_t> classCounts_;
  bool profileDone_ = false;
  std::vector<double> threshold_;  // per bin, against the five-bin mean power

  std::vector<double> input_;  // the frame being gathered
  std::size_t inputFill_ = 0;
  std::vector<double> output_;  // overlap-add of the frames, from outputStart_
  int64_t outputStart_ = 0;
  int64_t received_ = 0;
  bool ended_ = false;
  std::vector<double> gains_;  // per bin, after attack and release
  std::vector<double> power_;
  double floorGain_ = 1;
  double releaseStep_ = 1;
};

}  // namespace qel::effects::spectral
