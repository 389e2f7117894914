// The effects of the Effects menu: for each, the transform member it calls and
// its parameters in call order, from which one generic dialog is built and the
// dispatch arguments are made. Adding an effect is adding a row.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace qel::gtkhost {

// How a parameter is asked for and what it is passed as.
enum class ParameterKind : uint8_t {
  kNumber,      // a double, from a spin button
  kWhole,       // a long, from a spin button without decimals
  kToggle,      // a VARIANT_BOOL, from a check box
  kChoice,      // a long, the listed value of the drop-down's chosen item
  kText,        // a BSTR, from an entry (empty allowed)
  kNumberList,  // a SAFEARRAY of doubles, typed as "0, 500, 1000"
  kWholeList,   // a SAFEARRAY of ints, typed the same way
  // A SAFEARRAY of 18 × 18 doubles (output by input): the document's own
  // channels are typed, one output row after another.
  kGainMatrix,
  // Values the member takes but the control does not use: not shown.
  kFixed,        // a long
  kFixedNumber,  // a double
};

struct Choice {
  std::string_view label;
  int32_t value;
};

struct EffectParameter {
  std::string_view label;  // an underscore marks the mnemonic
  ParameterKind kind = ParameterKind::kNumber;
  double minimum = 0;  // numbers; and for lists, each value (when below maximum)
  double maximum = 0;
  double initial = 0;  // numbers, toggles (non-zero: on), choices and fixed values
  double step = 1;
  int digits = 0;                     // decimals shown
  std::span<const Choice> choices{};  // kChoice
  std::string_view text{};            // what a text or list field starts with
  int sameCountAs = -1;               // a list with as many values as that parameter's
};

constexpr EffectParameter Number(std::string_view label, double minimum, double maximum,
                                 double initial, double step = 1, int digits = 0) {
  return {label, ParameterKind::kNumber, minimum, maximum, initial, step, digits};
}
constexpr EffectParameter Whole(std::string_view label, double minimum, double maximum,
                                double initial, double step = 1) {
  return {label, ParameterKind::kWhole, minimum, maximum, initial, step};
}
constexpr EffectParameter Toggle(std::string_view label, bool on) {
  return {.label = label, .kind = ParameterKind::kToggle, .initial = on ? 1.0 : 0.0};
}
constexpr EffectParameter Pick(std::string_view label, std::span<const Choice> choices,
                               int32_t initial) {
  return {.label = label,
          .kind = ParameterKind::kChoice,
          .initial = double(initial),
          .choices = choices};
}
constexpr EffectParameter Text(std::string_view label, std::string_view initial) {
  return {.label = label, .kind = ParameterKind::kText, .text = initial};
}
constexpr EffectParameter Numbers(std::string_view label, std::string_view initial, double minimum,
                                  double maximum, int sameCountAs = -1) {
  return {.label = label,
          .kind = ParameterKind::kNumberList,
          .minimum = minimum,
          .maximum = maximum,
          .text = initial,
          .sameCountAs = sameCountAs};
}
constexpr EffectParameter Wholes(std::string_view label, std::string_view initial, double minimum,
                                 double maximum) {
  return {.label = label,
          .kind = ParameterKind::kWholeList,
          .minimum = minimum,
          .maximum = maximum,
          .text = initial};
}
constexpr EffectParameter Fixed(std::string_view label, int32_t value) {
  return {.label = label, .kind = ParameterKind::kFixed, .initial = double(value)};
}
constexpr EffectParameter FixedNumber(std::string_view label, double value) {
  return {.label = label, .kind = ParameterKind::kFixedNumber, .initial = value};
}

// The Effects menu's submenus, in menu order.
enum class EffectMenu : uint8_t { kLevel, kDelay, kPitchTime, kFilters, kGenerate, kAnalyse };
inline constexpr std::array<std::string_view, 6> kEffectMenuTitles{
    "_Level", "_Delay and Modulation", "_Pitch and Time", "_Filters", "_Generate", "_Analyse"};

struct Effect {
  std::string_view id;         // the action's target
  std::string_view title;      // menu and dialog
  std::u16string_view member;  // the transform object's method
  EffectMenu menu;
  std::span<const EffectParameter> parameters;
  bool preview = true;  // the control can play it instead of writing it
  bool dtmf = false;    // the control makes tones only while DTMFEnabled is on
  bool tempo = false;   // an analysis: the tempo it finds is read with GetBPM and shown
};

// ---- the parameters ----

inline constexpr std::array<Choice, 5> kEnvelopeCurves{
    {{"Linear", 0}, {"Cubic", 1}, {"Akima", 2}, {"Cardinal", 3}, {"Monotone", 4}}};
inline constexpr std::array<Choice, 4> kSpectralCurves{
    {{"Linear", 0}, {"Cubic", 1}, {"Akima", 2}, {"Monotone", 3}}};
inline constexpr std::array<Choice, 4> kWindows{
    {{"Rectangular", 0}, {"Hann", 1}, {"Hamming", 2}, {"Blackman", 3}}};
inline constexpr std::array<Choice, 8> kFftSizes{{{"256", 256},
                                                  {"512", 512},
                                                  {"1024", 1024},
                                                  {"2048", 2048},
                                                  {"4096", 4096},
                                                  {"8192", 8192},
                                                  {"16384", 16384},
                                                  {"32768", 32768}}};
inline constexpr std::array<Choice, 2> kLfoShapes{{{"Sine", 0}, {"Triangle", 1}}};
inline constexpr std::array<Choice, 3> kResamplers{
    {{"Linear interpolation", 0}, {"Sinc, fast", 1}, {"Sinc, best", 2}}};
inline constexpr std::array<Choice, 3> kNoises{{{"White", 0}, {"Pink", 2}, {"Brown", 3}}};
inline constexpr std::array<Choice, 3> kWaves{{{"Sine", 1}, {"Square", 2}, {"Sawtooth", 3}}};
inline constexpr std::array<Choice, 2> kDtmfPairs{{{"Keypad tones", 0}, {"Custom pairs", 1}}};

inline constexpr double kTopHz = 96000;  // the processors clamp to the document's own limit
inline constexpr double kLongMs = 3600000;

inline constexpr std::array kAmplifyParameters{Number("_Gain (%)", 0, 1000, 150)};
inline constexpr std::array kNormalizeParameters{
    Number("Peak _level (%)", 1, 100, 98),
    Toggle("Remove _DC offset", false),
};
inline constexpr std::array kFadeParameters{
    Number("_Start level (%)", 0, 1000, 0),
    Number("_End level (%)", 0, 1000, 100),
    Number("D_uration (ms, 0: the selection)", 0, kLongMs, 0, 10),
};
inline constexpr std::array kCompressorParameters{
    Number("_Threshold (dB)", -150, 0, -20, 0.5, 1),
    Number("_Make-up gain (dB)", -60, 60, 0, 0.5, 1),
    Number("_Ratio (R:1)", 1, 100, 4, 0.1, 1),
    Number("RMS _window (ms)", 0.1, 10000, 50, 1, 1),
};
inline constexpr std::array kExpanderParameters{
    Number("_Threshold (dB)", -150, 0, -40, 0.5, 1),
    Number("_Make-up gain (dB)", -60, 60, 0, 0.5, 1),
    Number("_Ratio (1:R)", 1, 100, 2, 0.1, 1),
    Number("RMS _window (ms)", 0.1, 10000, 50, 1, 1),
};
inline constexpr std::array kEnvelopeParameters{
    Numbers("_Times (ms)", "0, 500, 1000", -1e9, 1e9),
    Numbers("_Levels (%)", "100, 30, 100", 0, 100000, 0),
    Pick("C_urve", kEnvelopeCurves, 0),
    Whole("_Steepness (%, cardinal curve)", 0, 100, 0),
};
inline constexpr std::array kDeleteSilenceParameters{
    Number("_Threshold (dB)", -150, 0, -50, 0.5, 1),
    Number("RMS _window (ms)", 1, 10000, 20),
};
inline constexpr std::array kMixChannelsParameters{EffectParameter{
    .label = "_Gains (%, a row of inputs per output)", .kind = ParameterKind::kGainMatrix}};

inline constexpr std::array kDelayParameters{
    Number("_Delay (ms)", 0, 10000, 500),
    Number("_Mix (%)", 0, 100, 50),
    Number("_Feedback (%)", -99, 99, 30),
};
inline constexpr std::array kFlangerParameters{
    Number("_Delay (ms)", 0, 100, 1, 0.1, 1),       Number("_Mix (%)", 0, 100, 70),
    Number("_Feedback (%)", -95, 95, 50),           Number("S_weep depth (ms)", 0, 100, 3, 0.1, 1),
    Number("Sweep _rate (Hz)", 0, 50, 0.5, 0.1, 2), Number("Start p_hase (°)", 0, 360, 0),
};
inline constexpr std::array kChorusParameters{
    Number("_Delay (ms)", 0, 100, 15, 0.1, 1),
    Number("_Mix (%)", 0, 100, 50),
    Number("_Feedback (%)", -95, 95, 0),
    Number("S_weep depth (ms)", 0, 100, 10, 0.1, 1),
    Number("Sweep _rate (Hz)", 0, 50, 0.8, 0.1, 2),
    Number("Start p_hase (°)", 0, 360, 0),
};
inline constexpr std::array kPhaserParameters{
    Number("_Base frequency (Hz)", 10, kTopHz, 200, 10),
    Number("D_ry level (%)", 0, 100, 50),
    Number("_Wet level (%)", 0, 100, 50),
    Number("_Feedback (%)", -95, 95, 40),
    Number("Dep_th (%)", 0, 100, 70),
    Number("_Speed (Hz)", 0, 40, 0.5, 0.1, 2),
    Whole("St_ages", 2, 24, 4, 2),
    Toggle("_Invert dry", false),
    Toggle("Invert w_et", false),
    Toggle("Feedback o_n", true),
    Pick("S_hape", kLfoShapes, 0),
};
inline constexpr std::array kReverbParameters{
    Number("Pre-_delay (ms)", 0, 1000, 20),
    Number("_Mix (%)", 0, 100, 30),
    Number("_Feedback (%, sets the decay)", 0, 98, 80),
    Number("_Reverberation level (%)", 0, 200, 100),
    Number("D_amping (Hz)", 20, kTopHz, 5000, 100),
    Whole("_Early reflections", 0, 64, 4),
};
inline constexpr std::array kVibratoParameters{
    Number("_Depth (% of the pitch)", 0, 20, 1, 0.1, 1),
    Number("_Frequency (Hz)", 0, 50, 5, 0.1, 1),
    Number("Start p_hase (°)", 0, 360, 0),
};
inline constexpr std::array kWahWahParameters{
    Number("_Depth (%)", 0, 100, 70),
    Number("_LFO frequency (Hz)", 0, 50, 1.5, 0.1, 2),
    Number("Start p_hase (°)", 0, 360, 0),
    Number("_Resonance (Q)", 0.1, 50, 2.5, 0.1, 2),
    Number("_Base frequency (Hz)", 10, kTopHz, 300, 10),
};

inline constexpr std::array kResampleParameters{
    Whole("_Rate (Hz)", 1000, 768000, 22050, 50),
    Toggle("_Filter before", true),
    Toggle("Filter _after", true),
    Pick("_Method", kResamplers, 2),
};
inline constexpr std::array kPitchShiftParameters{
    Number("_Ratio (2: an octave up)", 0.25, 4, 1.189, 0.001, 3)};
inline constexpr std::array kTimeStretchParameters{
    Number("_Speed (1.25: a quarter faster)", 0.25, 4, 1.25, 0.01, 3)};

inline constexpr std::array kLowPassParameters{
    Number("Cut-off _frequency (Hz)", 10, kTopHz, 2000, 10),
    Number("_Steepness (Q)", 0.1, 20, 0.707, 0.01, 3),
};
inline constexpr std::array kHighPassParameters{
    Number("Cut-off _frequency (Hz)", 10, kTopHz, 200, 10),
    Number("_Steepness (Q)", 0.1, 20, 0.707, 0.01, 3),
};
inline constexpr std::array kBandParameters{
    Number("Centre _frequency (Hz)", 10, kTopHz, 1000, 10),
    Number("_Steepness (Q)", 0.1, 100, 1, 0.01, 3),
};
inline constexpr std::array kPeakParameters{
    Number("_Gain (dB)", -60, 60, 6, 0.5, 1),
    Number("Centre _frequency (Hz)", 10, kTopHz, 1000, 10),
    Number("_Steepness (Q)", 0.1, 100, 1, 0.01, 3),
};
inline constexpr std::array kLowShelfParameters{
    Number("_Gain (dB)", -60, 60, 6, 0.5, 1),
    Number("Corner _frequency (Hz)", 10, kTopHz, 200, 10),
    Number("_Slope", 0.01, 1, 1, 0.01, 2),
};
inline constexpr std::array kHighShelfParameters{
    Number("_Gain (dB)", -60, 60, 6, 0.5, 1),
    Number("Corner _frequency (Hz)", 10, kTopHz, 4000, 10),
    Number("_Slope", 0.01, 1, 1, 0.01, 2),
};
inline constexpr std::array kEqualizerParameters{
    Numbers("_Gains (dB)", "6, 0, -6", -60, 60),
    Numbers("_Frequencies (Hz)", "250, 1000, 4000", 1, kTopHz, 0),
    Fixed("Base filter", 2),
};
inline constexpr std::array kFftFilterParameters{
    Numbers("_Gains (dB)", "0, -12, 6", -120, 60),
    Numbers("_Frequencies (Hz)", "200, 1000, 5000", 1, kTopHz, 0),
    Pick("FFT _size", kFftSizes, 4096),
    Pick("_Window", kWindows, 1),
    Pick("C_urve", kSpectralCurves, 1),
};
inline constexpr std::array kFirFilterParameters{
    Numbers("_Gains (dB)", "0, -12, 6", -120, 60),
    Numbers("_Frequencies (Hz)", "200, 1000, 5000", 1, kTopHz, 0),
    Numbers("_Weights (empty: equal)", "", 0, 0),
    Whole("_Quality (taps 2^(Q+6)+1)", 0, 8, 4),
    Fixed("Curve", 0),
};
inline constexpr std::array kNoiseRemoveParameters{
    Number("_Reduction (dB)", 0, 100, 12, 0.5, 1),
    Pick("FFT _length", std::span(kFftSizes).first(7), 2048),
    Text("Noise _profile file", ""),
};

inline constexpr std::array kGenerateSilenceParameters{
    Number("_Duration (ms)", 0, kLongMs, 1000, 10)};
inline constexpr std::array kGenerateNoiseParameters{
    Number("_Duration (ms)", 0, kLongMs, 1000, 10),
    Number("_Level (dB)", -150, 0, -6, 0.5, 1),
    Pick("_Colour", kNoises, 0),
    FixedNumber("Dry mix", 0),
    FixedNumber("Wet mix", 100),
};
inline constexpr std::array kGenerateSignalParameters{
    Number("_Duration (ms)", 0, kLongMs, 1000, 10),
    Number("_Level (dB)", -150, 0, -6, 0.5, 1),
    Number("_Frequency (Hz)", 0, kTopHz, 440, 1, 1),
    Toggle("Fade _in", false),
    Number("Fade _start level (dB)", -150, 0, -60, 0.5, 1),
    Number("Fade _time (ms)", 0, kLongMs, 1000, 10),
    Toggle("_Modulate", false),
    Number("Modulation f_requency (Hz)", 0, kTopHz, 2, 0.1, 1),
    Number("Modulation d_epth (%)", 0, 100, 50),
    Pick("_Wave", kWaves, 1),
    Number("Dr_y mix (%)", 0, 100, 0),
    Number("Wet mi_x (%)", 0, 100, 100),
};
inline constexpr std::array kGenerateChirpParameters{
    Number("_Duration (ms)", 0, kLongMs, 2000, 10),
    Number("_Level (dB)", -150, 0, -6, 0.5, 1),
    Number("Start _frequency (Hz)", 0, kTopHz, 440, 1, 1),
    Number("E_nd frequency (Hz)", 0, kTopHz, 880, 1, 1),
    Number("Sweep ti_me (ms)", 0, kLongMs, 2000, 10),
    Toggle("Fade _in", false),
    Number("Fade _start level (dB)", -150, 0, -60, 0.5, 1),
    Number("Fade _time (ms)", 0, kLongMs, 1000, 10),
    Toggle("Mod_ulate", false),
    Number("Modulation f_requency (Hz)", 0, kTopHz, 2, 0.1, 1),
    Number("Modulation d_epth (%)", 0, 100, 50),
    Number("Dr_y mix (%)", 0, 100, 0),
    Number("Wet mi_x (%)", 0, 100, 100),
};
inline constexpr std::array kGenerateDtmfParameters{
    Text("_Dial string", "123"),
    Number("_Break after each tone (ms)", 0, 60000, 100),
    Text("Pa_use character (empty: none)", ","),
    Number("Pause _length (ms)", 0, 600000, 500),
    Number("_Tone length (ms)", 0, 60000, 100),
    Pick("_Frequencies", kDtmfPairs, 0),
    Wholes("Custom _pairs (Hz: low, high per symbol)", "", 0, kTopHz),
    Number("Dr_y mix (%)", 0, 100, 0),
    Number("_Wet mix (%)", 0, 100, 100),
};

// ---- the effects, in menu order ----

using M = EffectMenu;
inline constexpr std::array<Effect, 38> kEffects{{
    {"amplify", "Amplify", u"Amplify", M::kLevel, kAmplifyParameters},
    {"normalize", "Normalize", u"Normalize", M::kLevel, kNormalizeParameters},
    {"fade", "Fade", u"Fade", M::kLevel, kFadeParameters},
    {"envelope", "Envelope", u"Envelope", M::kLevel, kEnvelopeParameters},
    {"compressor", "Compressor", u"Compressor", M::kLevel, kCompressorParameters},
    {"expander", "Expander", u"Expander", M::kLevel, kExpanderParameters},
    {"silence", "Silence", u"Silence", M::kLevel, {}},
    {"invert", "Invert", u"Invert", M::kLevel, {}},
    {"reverse", "Reverse", u"Reverse", M::kLevel, {}},
    {"delete-silence", "Delete Silence", u"DeleteSilence", M::kLevel, kDeleteSilenceParameters,
     false},
    {"mix-channels", "Mix Channels", u"MixChannels", M::kLevel, kMixChannelsParameters, false},

    {"delay", "Delay", u"Delay", M::kDelay, kDelayParameters},
    {"flanger", "Flanger", u"Flanger", M::kDelay, kFlangerParameters},
    {"chorus", "Chorus", u"Chorus", M::kDelay, kChorusParameters},
    {"phaser", "Phaser", u"Phaser", M::kDelay, kPhaserParameters},
    {"reverb", "Reverb", u"Reverb", M::kDelay, kReverbParameters},
    {"vibrato", "Vibrato", u"Vibrato", M::kDelay, kVibratoParameters},
    {"wahwah", "Wah-wah", u"WahWah", M::kDelay, kWahWahParameters},

    {"resample", "Resample", u"Resample", M::kPitchTime, kResampleParameters},
    {"pitch-shift", "Pitch Shift", u"PitchShift", M::kPitchTime, kPitchShiftParameters},
    {"time-stretch", "Time Stretch", u"TimeStretch", M::kPitchTime, kTimeStretchParameters},

    {"lowpass", "Low-pass Filter", u"LowPassFilter", M::kFilters, kLowPassParameters},
    {"highpass", "High-pass Filter", u"HighPassFilter", M::kFilters, kHighPassParameters},
    {"bandpass", "Band-pass Filter", u"BandPassFilter", M::kFilters, kBandParameters},
    {"notch", "Notch Filter", u"NotchFilter", M::kFilters, kBandParameters},
    {"peak-eq", "Peaking EQ", u"PeakEQFilter", M::kFilters, kPeakParameters},
    {"low-shelf", "Low Shelf", u"LowShelfFilter", M::kFilters, kLowShelfParameters},
    {"high-shelf", "High Shelf", u"HighShelfFilter", M::kFilters, kHighShelfParameters},
    {"equalizer", "Equalizer", u"Equalizer", M::kFilters, kEqualizerParameters},
    {"fft-filter", "FFT Filter", u"FFTFilter", M::kFilters, kFftFilterParameters},
    {"fir-filter", "FIR Filter", u"FIRFilter", M::kFilters, kFirFilterParameters},
    {"noise-remove", "Noise Removal", u"NoiseRemove", M::kFilters, kNoiseRemoveParameters},

    {"generate-silence", "Silence", u"GenerateSilence", M::kGenerate, kGenerateSilenceParameters},
    {"generate-noise", "Noise", u"GenerateNoise", M::kGenerate, kGenerateNoiseParameters},
    {"generate-signal", "Tone", u"GenerateSignal", M::kGenerate, kGenerateSignalParameters},
    {"generate-chirp", "Chirp", u"GenerateChirp", M::kGenerate, kGenerateChirpParameters},
    {"generate-dtmf", "DTMF Tones", u"GenerateDTMFSignal", M::kGenerate, kGenerateDtmfParameters,
     true, true},

    {"tempo", "Tempo (BPM)", u"BPMAnalyse", M::kAnalyse, {}, false, false, true},
}};

}  // namespace qel::gtkhost
