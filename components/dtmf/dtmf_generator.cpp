#include "dtmf_generator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "dtmf_tones.h"

namespace qel::dtmf {
namespace {

using effects::BlockInfo;
using effects::ParamValue;
using effects::StreamSetup;

constexpr int kParams = 8;
constexpr int kTypeParam = 1;
constexpr int kToneParam = 2;
constexpr int kPauseParam = 3;
constexpr int kBreakParam = 4;
constexpr int kPauseCharacterParam = 5;
constexpr int kDialStringParam = 6;
constexpr int kWetParam = 7;
constexpr int kDryParam = 8;

// Each of the two tones peaks at this level re full scale, so their sum stays
// 3 dB below clipping whatever their phases.
constexpr double kToneDbfs = -9.0;
// Raised-cosine edges of every tone: long enough to keep the spectrum of the
// switching inside the DTMF band, short against a 40 ms tone.
constexpr double kRampMs = 2.0;
// Mix changes while previewing glide over this long.
constexpr double kGlideMs = 10.0;
constexpr double kMaxToneMs = 60'000;
constexpr double kMaxPauseMs = 600'000;

// A gain that moves linearly to a new value over a fixed number of frames,
// stepped per frame so that it does not depend on where blocks begin.
class Glide {
 public:
  void Reset(double value) {
    value_ = target_ = value;
    left_ = 0;
  }
  void SetTarget(double target, int64_t frames) {
    if (target == target_) return;
    target_ = target;
    left_ = std::max<int64_t>(1, frames);
    step_ = (target_ - value_) / static_cast<double>(left_);
  }
  bool Moving() const { return left_ > 0; }
  double value() const { return value_; }
  double Next() {
    if (left_ > 0) {
      value_ += step_;
      if (--left_ == 0) value_ = target_;
    }
    return value_;
  }

 private:
  double value_ = 0;
  double target_ = 0;
  double step_ = 0;
  int64_t left_ = 0;
};

// One tone of the laid-out dial string; everything between tones is silence.
struct ToneSpan {
  int64_t start = 0;  // first frame
  int64_t frames = 0;
  double lowStep = 0;  // radians per frame
  double highStep = 0;
};

class Generator final : public DtmfGenerator {
 public:
  Generator() {
    numbers_ = {0, 100, 500, 100, 0, 0, 100, 0};
    for (int i = 0; i < kSymbols; ++i) {
      const KeyPlace key = kKeyPlaces[static_cast<size_t>(i)];
      customHz_[static_cast<size_t>(2 * i)] = kRowHz[static_cast<size_t>(key.row)];
      customHz_[static_cast<size_t>(2 * i + 1)] = kColumnHz[static_cast<size_t>(key.column)];
    }
  }

  bool SetParam(int index, const ParamValue& value) override;
  void Start(const StreamSetup& setup) override;
  void Process(std::span<const double> in, const BlockInfo& info,
               std::vector<double>& out) override;
  void SetCustomSignals(std::span<const int32_t> pairs) override;

 private:
  double Param(int index) const { return numbers_[static_cast<size_t>(index - 1)]; }
  int64_t MsToFrames(double ms, double high) const {
    return std::llround(std::clamp(ms, 0.0, high) * setup_.sampleRate / 1000.0);
  }
  void Layout();
  double WetTarget() const { return std::clamp(Param(kWetParam), 0.0, 100.0) / 100.0; }
  double DryTarget() const { return std::clamp(Param(kDryParam), 0.0, 100.0) / 100.0; }
  void Render(std::span<double> y, int64_t position) const;
  double EdgeGain(int64_t offset, int64_t frames) const;

  std::array<double, kParams> numbers_{};  // P5 and P6 are texts, kept apart
  std::u16string pauseCharacter_ = u",";
  std::u16string dialString_;
  std::array<double, 2 * kSymbols> customHz_{};
  bool changed_ = false;  // set since the layout was made

  StreamSetup setup_;
  std::vector<ToneSpan> tones_;
  int64_t rampFrames_ = 1;
  double amplitude_ = 0;  // peak of each tone in sample units
  Glide wet_;
  Glide dry_;
  int64_t glideFrames_ = 441;
  std::vector<double> scratch_;
};

bool Generator::SetParam(int index, const ParamValue& value) {
  if (index == kPauseCharacterParam || index == kDialStringParam) {
    const auto* text = std::get_if<std::u16string>(&value);
    if (text == nullptr) return false;
    (index == kDialStringParam ? dialString_ : pauseCharacter_) = *text;
    changed_ = true;
    return true;
  }
  double number = 0;
  if (index < 1 || index > kParams || !effects::AsNumber(value, number) || !std::isfinite(number)) {
    return false;
  }
  if (index == kTypeParam && number != 0 && number != 1) return false;
  numbers_[static_cast<size_t>(index - 1)] = number;
  changed_ = true;
  return true;
}

void Generator::SetCustomSignals(std::span<const int32_t> pairs) {
  const size_t n = std::min(pairs.size(), customHz_.size());
  for (size_t i = 0; i < n; ++i)
    customHz_[i] = static_cast<double>(pairs[i]);
  changed_ = true;
}

void Generator::Layout() {
  const double rate = setup_.sampleRate;
  const bool custom = Param(kTypeParam) == 1;
  const int64_t toneFrames = std::max<int64_t>(1, MsToFrames(Param(kToneParam), kMaxToneMs));
  const int64_t breakFrames = MsToFrames(Param(kBreakParam), kMaxToneMs);
  const int64_t pauseFrames = MsToFrames(Param(kPauseParam), kMaxPauseMs);
  // Only the first character of the text counts; an empty text means the
  // dial string has no pauses.
  const bool hasPause = !pauseCharacter_.empty();
  const char16_t pause = hasPause ? pauseCharacter_.front() : u'\0';
  const double radiansPerHz = 2.0 * std::numbers::pi / rate;

  tones_.clear();
  int64_t t = 0;
  for (const char16_t c : dialString_) {
    // The pause character wins over a symbol: the user picked it.
    if (hasPause && c == pause) {
      t += pauseFrames;
      continue;
    }
    const int symbol = SymbolIndex(c);
    if (symbol < 0) continue;  // spaces, dashes and the like are skipped
    double low = 0, high = 0;
    if (custom) {
      low = std::clamp(customHz_[static_cast<size_t>(2 * symbol)], 0.0, rate / 2);
      high = std::clamp(customHz_[static_cast<size_t>(2 * symbol + 1)], 0.0, rate / 2);
    } else {
      const KeyPlace key = kKeyPlaces[static_cast<size_t>(symbol)];
      low = kRowHz[static_cast<size_t>(key.row)];
      high = kColumnHz[static_cast<size_t>(key.column)];
    }
    tones_.push_back({t, toneFrames, low * radiansPerHz, high * radiansPerHz});
    t += toneFrames + breakFrames;
  }
  rampFrames_ = std::clamp<int64_t>(std::llround(kRampMs * rate / 1000.0), 1,
                                    std::max<int64_t>(1, toneFrames / 2));
  changed_ = false;
}

void Generator::Start(const StreamSetup& setup) {
  setup_ = setup;
  if (!std::isfinite(setup_.sampleRate) || setup_.sampleRate < 1000) setup_.sampleRate = 44100;
  if (!std::isfinite(setup_.fullScale) || setup_.fullScale <= 0) setup_.fullScale = 32768;
  amplitude_ = setup_.fullScale * std::pow(10.0, kToneDbfs / 20.0);
  glideFrames_ = std::max<int64_t>(1, std::llround(kGlideMs * setup_.sampleRate / 1000.0));
  Layout();
  wet_.Reset(WetTarget());
  dry_.Reset(DryTarget());
}

double Generator::EdgeGain(int64_t offset, int64_t frames) const {
  const int64_t edge = std::min(offset, frames - 1 - offset);
  if (edge >= rampFrames_) return 1.0;
  // Half-frame offsets make the rise and the fall mirror images.
  const double x = (static_cast<double>(edge) + 0.5) / static_cast<double>(rampFrames_);
  return 0.5 - 0.5 * std::cos(std::numbers::pi * x);
}

void Generator::Render(std::span<double> y, int64_t position) const {
  std::fill(y.begin(), y.end(), 0.0);
  const int64_t end = position + static_cast<int64_t>(y.size());
  // The first tone that has not ended before this block.
  auto tone = std::partition_point(tones_.begin(), tones_.end(), [&](const ToneSpan& s) {
    return s.start + s.frames <= position;
  });
  for (; tone != tones_.end() && tone->start < end; ++tone) {
    const int64_t from = std::max(position, tone->start);
    const int64_t to = std::min(end, tone->start + tone->frames);
    for (int64_t p = from; p < to; ++p) {
      // The phase is a function of the frame's place in the tone alone, so a
      // tone is the same however the blocks fall.
      const int64_t offset = p - tone->start;
      const double k = static_cast<double>(offset);
      const double v = std::sin(tone->lowStep * k) + std::sin(tone->highStep * k);
      y[static_cast<size_t>(p - position)] = amplitude_ * EdgeGain(offset, tone->frames) * v;
    }
  }
}

void Generator::Process(std::span<const double> in, const BlockInfo& info,
                        std::vector<double>& out) {
  if (changed_) {
    // Set while running: the new layout holds from this block on, as if it
    // had been there from the start; the mixes glide to their new values.
    Layout();
    wet_.SetTarget(WetTarget(), glideFrames_);
    dry_.SetTarget(DryTarget(), glideFrames_);
  }
  const size_t n = in.size();
  out.resize(n);
  scratch_.resize(n);
  Render(scratch_, info.position);
  const double* x = in.data();
  const double* tones = scratch_.data();
  double* y = out.data();
  if (wet_.Moving() || dry_.Moving()) {
    for (size_t i = 0; i < n; ++i)
      y[i] = dry_.Next() * x[i] + wet_.Next() * tones[i];
  } else {
    const double dry = dry_.value();
    const double wet = wet_.value();
    for (size_t i = 0; i < n; ++i)
      y[i] = dry * x[i] + wet * tones[i];
  }
}

}  // namespace

std::unique_ptr<effects::Processor> MakeDtmfGenerator() {
  return std::make_unique<Generator>();
}

}  // namespace qel::dtmf
