// Finds DTMF symbols in interleaved PCM: Goertzel filters on the eight keypad
// frequencies over short frames, tests of level, twist, dominance, energy
// share and second harmonics per frame, then a symbol reported once it has
// lasted long enough after a long enough gap. Algorithm and settings are
// described in README.md.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <span>
#include <vector>

#include "dtmf_tones.h"

namespace qel::dtmf {

struct DtmfDetection {
  int symbol = 0;        // index in kAlphabet, "0123456789*#abcd"
  int64_t position = 0;  // first frame of the analysis frame where the tone was first found
};

class DtmfRecognizer {
 public:
  // method: 0 = 10 ms frames one after the other, 1 = 10 ms frames every 5 ms
  // (finer timing, for short tones and breaks). quality 0…3: the minimum tone
  // and gap durations and the strictness of the tests (README.md). Out-of-range
  // values are clamped; a sample rate that is not a positive number is taken
  // as 8000 Hz, fewer than one channel as one, sample sizes other than
  // 8/16/24/32 bits as 16.
  void Start(double sampleRate, int channels, int bitsPerSample, int method, int quality);
  // Whole frames or any piece of them (a partial frame waits for the next call).
  void Process(std::span<const uint8_t> interleavedPcm);
  // Analyses what remains (the last frames completed with silence). A partial
  // frame of bytes is dropped. Process does nothing more until the next Start.
  void Finish();

  // Everything found since Start, in order.
  const std::vector<DtmfDetection>& Detections() const { return detections_; }
  // Hands over what was found so far and forgets it.
  std::vector<DtmfDetection> TakeDetections();

  static constexpr char Symbol(int index) { return kAlphabet[static_cast<size_t>(index)]; }

  // The settings behind one quality value; durations in ms, levels in dB.
  struct Strictness {
    double toneMs;       // span of consecutive frames holding the symbol
    double gapMs;        // frames without the last symbol before it may count again
    double minDbfs;      // peak level of each tone at least
    double twistLowDb;   // row power over column power, at least
    double twistHighDb;  // … and at most
    double dominanceDb;  // each tone above what is left in the other bins of its group
    double energyShare;  // the two tones' share of the frame's power, at least
    double harmonicDb;   // second harmonic re its fundamental, at most
  };
  static Strictness StrictnessOf(int quality);

 private:
  using Complex = std::complex<double>;
  // One analysed frequency: its Goertzel filter and what turns the filter's
  // output into the DFT of the frame there.
  struct Bin {
    double hz = 0;
    bool usable = false;
    double coefficient = 0;  // 2 cos ω
    Complex lastTap;         // e^{−jω}
    Complex toDft;           // e^{−jω(N−1)}
    // The peak amplitude of a lone sinusoid at ω from the DFT there.
    std::array<double, 4> inverse{};
  };
  // What a sinusoid Re(a·e^{jω_s·n}) adds to a frame's DFT at ω_t, as a real
  // 2×2 matrix acting on (Re a, Im a): a short frame lets every tone spill
  // into the neighbouring bins.
  using Spill = std::array<double, 4>;

  Bin MakeBin(double hz) const;
  Spill MakeSpill(double sourceHz, double targetHz) const;
  Complex Dft(const Bin& bin, const double* x) const;
  static Complex Apply(const std::array<double, 4>& m, Complex z);
  void Append(std::span<const uint8_t> bytes);
  void AnalyseReadyFrames();
  int Classify(const double* x) const;
  void Decide(int symbol, int64_t frameStart);

  double rate_ = 8000;
  int channels_ = 1;
  int bytesPerSample_ = 2;
  int frameLength_ = 80;  // N, samples per analysis frame
  int hop_ = 80;
  Strictness strictness_{};
  int toneFrames_ = 3;  // consecutive analysis frames
  int gapFrames_ = 2;

  std::array<Bin, 8> fundamentals_{};                         // rows, then columns
  std::array<Bin, 8> harmonics_{};                            // their second harmonics
  std::array<std::array<Spill, 8>, 8> spillToFundamental_{};  // [target][source]
  std::array<std::array<Spill, 8>, 8> spillToHarmonic_{};     // [target][source]
  // For each row·4 + column: the 4×4 inverse giving both tones' amplitudes
  // from the DFTs at their two frequencies.
  std::array<std::array<double, 16>, 16> pairInverse_{};

  std::vector<uint8_t> carry_;   // bytes of an incomplete frame
  std::vector<double> samples_;  // mono, from frame sampleBase_ on
  int64_t sampleBase_ = 0;
  int64_t received_ = 0;   // frames received since Start
  int64_t nextFrame_ = 0;  // first sample of the next analysis frame
  bool finished_ = false;

  int candidate_ = -1;
  int run_ = 0;
  int64_t runStart_ = 0;
  int last_ = -1;  // the symbol last reported
  bool armed_ = true;
  int gap_ = 0;
  std::vector<DtmfDetection> detections_;
};

}  // namespace qel::dtmf
