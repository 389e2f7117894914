// The effects of the Effects menu: for each, the transform member it calls and
// its parameters in call order, from which one generic dialog is built. Adding
// an effect is adding a row.
#pragma once

#include <array>
#include <span>
#include <string_view>

namespace qel::gtkhost {

struct EffectParameter {
  std::string_view label;
  double minimum = 0;
  double maximum = 0;
  double initial = 0;
  double step = 1;
  int digits = 0;       // decimals shown
  bool toggle = false;  // a check box, passed as a VARIANT_BOOL
};

struct Effect {
  std::string_view id;         // the action's target
  std::string_view title;      // menu and dialog
  std::u16string_view member;  // the transform object's method
  std::span<const EffectParameter> parameters;
};

inline constexpr std::array<EffectParameter, 1> kAmplifyParameters{{
    {"Gain (%)", 0, 1000, 150, 1},
}};
inline constexpr std::array<EffectParameter, 2> kNormalizeParameters{{
    {"Peak level (%)", 1, 100, 98, 1},
    {"Remove DC offset", 0, 1, 0, 1, 0, true},
}};
inline constexpr std::array<EffectParameter, 3> kFadeParameters{{
    {"Start level (%)", 0, 1000, 0, 1},
    {"End level (%)", 0, 1000, 100, 1},
    {"Duration (ms, 0: the selection)", 0, 3600000, 0, 10},
}};
inline constexpr std::array<EffectParameter, 2> kLowPassParameters{{
    {"Cut-off frequency (Hz)", 10, 96000, 2000, 10},
    {"Steepness (Q)", 0.1, 20, 0.707, 0.01, 3},
}};

inline constexpr std::array<Effect, 4> kEffects{{
    {"amplify", "Amplify", u"Amplify", kAmplifyParameters},
    {"normalize", "Normalize", u"Normalize", kNormalizeParameters},
    {"fade", "Fade", u"Fade", kFadeParameters},
    {"lowpass", "Low-pass Filter", u"LowPassFilter", kLowPassParameters},
}};

}  // namespace qel::gtkhost
