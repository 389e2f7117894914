#include "vocabulary.h"

#include <array>

#include "processors.h"

namespace qel::effects::batch {
namespace {

constexpr double kBig = 1e9;

constexpr Attribute kAmplify[] = {{"percent", 1, -100000, 100000, true}};
constexpr Attribute kFade[] = {{"from", 1, -100000, 100000, true},
                               {"to", 2, -100000, 100000, true},
                               {"duration", 3, 0, kBig, false}};
constexpr Attribute kEnvelope[] = {{"times", 1, 0, kBig, true, true},
                                   {"levels", 2, 0, 100000, true, true},
                                   {"shape", 3, 0, 4, false},
                                   {"steepness", 4, 0, 100, false}};
constexpr Attribute kDynamics[] = {{"threshold", 1, -150, 0, true},
                                   {"ratio", 2, 1, 100, true},
                                   {"rms", 3, 0.1, 10000, false},
                                   {"makeup", 5, -60, 60, false}};
constexpr Fixed kCompressor[] = {{4, 1}};
constexpr Fixed kExpander[] = {{4, 2}};
constexpr Attribute kDelay[] = {
    {"time", 1, 0, 10000, true}, {"mix", 2, 0, 100, true}, {"feedback", 3, -99, 99, false}};
constexpr Fixed kDelayMode[] = {{4, 1}};
constexpr Attribute kSwept[] = {{"delay", 1, 0, 100, true},      {"mix", 2, 0, 100, true},
                                {"feedback", 3, -95, 95, false}, {"depth", 4, 0, 100, true},
                                {"rate", 5, 0, 50, true},        {"phase", 6, -360, 360, false}};
constexpr Fixed kFlanger[] = {{7, 1}};
constexpr Fixed kChorus[] = {{7, 2}};
constexpr Attribute kVibrato[] = {
    {"depth", 1, 0, 20, true}, {"frequency", 2, 0, 50, true}, {"phase", 3, -360, 360, false}};
constexpr Attribute kPhaser[] = {{"frequency", 4, 1, 20000, true},
                                 {"dry", 5, 0, 100, false},
                                 {"wet", 6, 0, 100, false},
                                 {"feedback", 9, -100, 100, false},
                                 {"depth", 7, 0, 100, false},
                                 {"speed", 2, 0, 50, true},
                                 {"stages", 8, 2, 24, false},
                                 {"invertdry", 11, 0, 1, false, false, true},
                                 {"invertwet", 10, 0, 1, false, false, true},
                                 {"shape", 3, -1, 1, false}};
constexpr Attribute kWahWah[] = {{"depth", 1, 0, 100, true},
                                 {"frequency", 2, 0, 50, true},
                                 {"phase", 3, -360, 360, false},
                                 {"resonance", 4, 0.1, 50, false},
                                 {"offset", 5, 1, 20000, true}};
constexpr Attribute kReverb[] = {{"delay", 1, 0, 1000, false},     {"mix", 2, 0, 100, true},
                                 {"feedback", 3, 0, 98, true},     {"level", 4, 0, 200, false},
                                 {"damping", 5, 1, 100000, false}, {"taps", 6, 0, 64, false}};
constexpr Attribute kFilter[] = {{"frequency", 1, 1, 1000000, true},
                                 {"steepness", 2, 0.01, 100, false}};
constexpr Attribute kGainFilter[] = {{"gain", 4, -60, 60, true},
                                     {"frequency", 1, 1, 1000000, true},
                                     {"steepness", 2, 0.01, 100, false}};
constexpr Fixed kLowPass[] = {{3, 1}};
constexpr Fixed kHighPass[] = {{3, 2}};
constexpr Fixed kNotch[] = {{3, 3}};
constexpr Fixed kBandPass[] = {{3, 4}};
constexpr Fixed kLowShelf[] = {{3, 5}};
constexpr Fixed kHighShelf[] = {{3, 6}};
constexpr Fixed kPeak[] = {{3, 7}};
constexpr Attribute kEqualizer[] = {{"gains", 1, -60, 60, true, true},
                                    {"frequencies", 2, 1, 1000000, true, true}};
constexpr Fixed kEqualizerBase[] = {{3, 2}};
constexpr Attribute kRate[] = {{"rate", 1, 0.25, 4, true}};
constexpr Attribute kResample[] = {{"frequency", 1, 1000, 768000, true},
                                   {"prefilter", 2, 0, 1, false, false, true},
                                   {"postfilter", 3, 0, 1, false, false, true},
                                   {"method", 4, 0, 2, false}};
constexpr Attribute kFftFilter[] = {{"frequencies", 1, 0, 1000000, true, true},
                                    {"gains", 4, -120, 60, true, true},
                                    {"spline", 2, 0, 2, false},
                                    {"size", 3, 16, 65536, false},
                                    {"window", 5, 0, 3, false}};
constexpr Attribute kFirFilter[] = {{"frequencies", 1, 0, 1000000, true, true},
                                    {"gains", 2, -120, 60, true, true},
                                    {"weights", 3, 0, kBig, false, true},
                                    {"quality", 4, 0, 20, false}};

constexpr std::array kElements{
    Element{"amplify", MakeAmplify, {}, kAmplify},
    Element{"fade", MakeFade, {}, kFade},
    Element{"invert", MakeInvert, {}, {}},
    Element{"silence", MakeSilence, {}, {}},
    Element{"envelope", MakeEnvelope, {}, kEnvelope},
    Element{"compressor", MakeDynamics, kCompressor, kDynamics, 256.0},
    Element{"expander", MakeDynamics, kExpander, kDynamics, 256.0},
    Element{"delay", MakeDelay, kDelayMode, kDelay},
    Element{"flanger", MakeModulatedDelay, kFlanger, kSwept},
    Element{"chorus", MakeModulatedDelay, kChorus, kSwept},
    Element{"vibrato", MakeVibrato, {}, kVibrato},
    Element{"phaser", MakePhaser, {}, kPhaser},
    Element{"wahwah", MakeWahWah, {}, kWahWah},
    Element{"reverb", MakeReverb, {}, kReverb},
    Element{"lowpass", MakeFilter, kLowPass, kFilter},
    Element{"highpass", MakeFilter, kHighPass, kFilter},
    Element{"bandpass", MakeFilter, kBandPass, kFilter},
    Element{"notch", MakeFilter, kNotch, kFilter},
    Element{"peak", MakeFilter, kPeak, kGainFilter},
    Element{"lowshelf", MakeFilter, kLowShelf, kGainFilter},
    Element{"highshelf", MakeFilter, kHighShelf, kGainFilter},
    Element{"equalizer", MakeEqualizer, kEqualizerBase, kEqualizer},
    Element{"pitchshift", MakePitchShifter, {}, kRate, 65536.0, 65536.0},
    Element{"timestretch", MakeTimeStretcher, {}, kRate, 65536.0, 65536.0},
    Element{"resample", MakeResampler, {}, kResample},
    Element{"fftfilter", MakeFftFilter, {}, kFftFilter},
    Element{"firfilter", MakeFirFilter, {}, kFirFilter},
};

}  // namespace

std::span<const Element> Elements() {
  return kElements;
}

const Element* FindElement(std::string_view name) {
  for (const Element& e : kElements)
    if (e.name == name) return &e;
  return nullptr;
}

}  // namespace qel::effects::batch
