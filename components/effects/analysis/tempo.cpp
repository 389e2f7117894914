#include "tempo.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "pcm.h"
#include "planner_lock.h"
#include "processors.h"
#include "spectral_flux.h"

namespace qel::effects {

std::unique_ptr<FrameProcessor> MakeTempo() {
  return std::make_unique<analysis::Tempo>();
}

namespace analysis {
namespace {

// A slice is sound when its RMS is above this and at most kActiveRangeDb
// under the loudest slice of the selection.
constexpr double kSilenceDb = -90.0;
constexpr double kActiveRangeDb = 50.0;
// A beat is heard when sound lies within this many slices of it (±46 ms at
// 44.1 kHz: the tracker places beats up to ~35 ms off the onsets).
constexpr int64_t kNearSlices = 8;
// The refined period is searched within this share of the tracker's, which
// is quantised to its hop and off by up to ~2 %.
constexpr double kSearch = 0.04;
// The comb reaches this many beat periods: the precision grows with it.
constexpr int kCombs = 8;

// The periods at the beats near which some sound was heard: the tracker
// keeps predicting beats through silence (and between sparse clicks, at
// double time) at its own period.
std::vector<double> HeardPeriods(std::span<const float> sliceRms, std::span<const double> frames,
                                 std::span<const double> periods) {
  if (sliceRms.empty()) return {};
  const double loudest = *std::max_element(sliceRms.begin(), sliceRms.end());
  const double floor =
      std::max(loudest * std::pow(10.0, -kActiveRangeDb / 20), std::pow(10.0, kSilenceDb / 20));
  if (loudest < floor) return {};
  // Running count of sound slices, for a count over any span in O(1).
  const auto slices = static_cast<int64_t>(sliceRms.size());
  std::vector<int64_t> sound(sliceRms.size() + 1, 0);
  for (size_t s = 0; s < sliceRms.size(); ++s)
    sound[s + 1] = sound[s] + (sliceRms[s] >= floor ? 1 : 0);
  std::vector<double> heard;
  for (size_t b = 0; b < frames.size(); ++b) {
    const auto at = static_cast<int64_t>(frames[b]) / Tempo::kSlice;
    const auto from = static_cast<size_t>(std::clamp<int64_t>(at - kNearSlices, 0, slices));
    const auto to = static_cast<size_t>(std::clamp<int64_t>(at + kNearSlices + 1, 0, slices));
    if (sound[to] > sound[from]) heard.push_back(periods[b]);
  }
  return heard;
}

double Median(std::vector<double> values) {
  const auto middle = values.begin() + static_cast<ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// The beat period (in slices) near `coarse` that best fits the onsets: the
// maximum over a fine grid of Σ_m A(m·L), m = 1…kCombs, where A is the
// autocorrelation of the spectral flux per overlapping pair, read between
// integer lags by linear interpolation.
double RefinePeriod(std::span<const float> flux, double coarse) {
  const size_t n = flux.size();
  const double low = coarse * (1 - kSearch);
  const double high = coarse * (1 + kSearch);
  const int combs = std::min<int>(kCombs, static_cast<int>(static_cast<double>(n) / (2 * high)));
  if (combs < 1 || low < 2) return coarse;

  // The autocorrelation at every integer lag the comb can reach (0: not
  // computed, as no lag in between is needed).
  const auto maxLag = static_cast<size_t>(std::ceil(high * combs)) + 1;
  std::vector<double> acf(maxLag + 1, 0.0);
  for (int m = 1; m <= combs; ++m) {
    const auto from = static_cast<size_t>(std::floor(low * m));
    const auto to = std::min(static_cast<size_t>(std::ceil(high * m)) + 1, n - 1);
    for (size_t lag = from; lag <= to; ++lag) {
      double sum = 0;
      for (size_t s = 0; s + lag < n; ++s)
        sum += static_cast<double>(flux[s]) * flux[s + lag];
      acf[lag] = sum / static_cast<double>(n - lag);
    }
  }
  auto at = [&](double lag) {
    const auto whole = static_cast<size_t>(lag);
    const double part = lag - static_cast<double>(whole);
    return acf[whole] * (1 - part) + acf[whole + 1] * part;
  };

  // A grid finer than the comb's own resolution (1/combs of a slice).
  const int steps = static_cast<int>(std::ceil((high - low) * combs * 8));
  double best = coarse;
  double bestScore = 0;
  for (int i = 0; i <= steps; ++i) {
    const double period = low + (high - low) * i / steps;
    double score = 0;
    for (int m = 1; m <= combs; ++m)
      score += at(period * m);
    if (score > bestScore) {
      bestScore = score;
      best = period;
    }
  }
  return best;
}

}  // namespace

// aubio's beat tracker with its input and output vectors, and the onset
// function of the refinement.
struct Tempo::Tracker {
  explicit Tracker(uint32_t sampleRate) : flux(kWindow, kSlice) {
    std::lock_guard<std::mutex> guard(PlannerLock());
    tempo = new_aubio_tempo("default", kWindow, kHop, sampleRate);
    in = new_fvec(kHop);
    out = new_fvec(1);
  }
  ~Tracker() {
    std::lock_guard<std::mutex> guard(PlannerLock());
    if (tempo != nullptr) del_aubio_tempo(tempo);
    if (in != nullptr) del_fvec(in);
    if (out != nullptr) del_fvec(out);
  }
  Tracker(const Tracker&) = delete;
  Tracker& operator=(const Tracker&) = delete;
  bool Ready() const { return tempo != nullptr && in != nullptr && out != nullptr && flux.Ready(); }

  aubio_tempo_t* tempo = nullptr;
  fvec_t* in = nullptr;
  fvec_t* out = nullptr;
  SpectralFlux flux;  // at half the tracker's hop
};

Tempo::Tempo() = default;
Tempo::~Tempo() = default;

bool Tempo::SetParam(int /*index*/, const ParamValue& /*value*/) {
  return false;
}

void Tempo::Start(const PcmFormat& format) {
  format_ = format;
  tracker_.reset();
  filled_ = 0;
  lastBeat_ = 0;
  wraps_ = 0;
  sliceRms_.clear();
  sliceFlux_.clear();
  beatFrames_.clear();
  beatPeriods_.clear();
  result_ = 0;
  if (!SupportedPcm(format) || !std::isfinite(format.sampleRate) || format.sampleRate < 1000 ||
      format.sampleRate > 1e6) {
    return;
  }
  auto tracker = std::make_unique<Tracker>(static_cast<uint32_t>(std::lround(format.sampleRate)));
  if (tracker->Ready()) tracker_ = std::move(tracker);
}

void Tempo::RunHop() {
  for (uint32_t half = 0; half < kHop; half += kSlice) {
    const std::span<const float> slice(tracker_->in->data + half, kSlice);
    sliceFlux_.push_back(static_cast<float>(tracker_->flux.Next(slice)));
    double energy = 0;
    for (float x : slice)
      energy += static_cast<double>(x) * x;
    sliceRms_.push_back(static_cast<float>(std::sqrt(energy / kSlice)));
  }
  aubio_tempo_do(tracker_->tempo, tracker_->in, tracker_->out);
  filled_ = 0;
  // The tracker marks a beat by moving its last-beat time; the beat flag in
  // its output reads 0 for a beat placed on a hop boundary or in a quiet hop.
  // Its frame counter is 32-bit: unwrapped here for runs over 27 hours.
  const uint32_t last = aubio_tempo_get_last(tracker_->tempo);
  if (last != lastBeat_) {
    if (last < lastBeat_) wraps_ += uint64_t{1} << 32;
    lastBeat_ = last;
    const double bpm = aubio_tempo_get_bpm(tracker_->tempo);
    if (bpm > 0) {
      beatFrames_.push_back(static_cast<double>(wraps_ + last));
      beatPeriods_.push_back(60.0 * format_.sampleRate / bpm);
    }
  }
}

template <int Bits>
void Tempo::Read(std::span<const uint8_t> in) {
  constexpr size_t kBytes = Bits / 8;
  const auto channels = static_cast<size_t>(format_.channels);
  const size_t align = channels * kBytes;
  const size_t frames = in.size() / align;
  // The mean of the channels, full scale at ±1.
  const double scale = 1.0 / (PcmFullScale(Bits) * static_cast<double>(channels));
  float* hop = tracker_->in->data;
  const uint8_t* frame = in.data();
  for (size_t f = 0; f < frames; ++f, frame += align) {
    int64_t sum = 0;
    for (size_t c = 0; c < channels; ++c)
      sum += ReadSample<Bits>(frame + c * kBytes);
    hop[filled_] = static_cast<float>(static_cast<double>(sum) * scale);
    if (++filled_ == kHop) RunHop();
  }
}

void Tempo::Finish() {
  if (filled_ > 0) {
    std::fill(tracker_->in->data + filled_, tracker_->in->data + kHop, 0.0f);
    RunHop();
  }
  tracker_.reset();
  const auto heard = HeardPeriods(sliceRms_, beatFrames_, beatPeriods_);
  if (heard.empty()) return;
  // The median is robust to the tracker's first guesses and to a passage
  // where it loses the beat.
  const double coarse = Median(heard) / kSlice;
  result_ = 60.0 * format_.sampleRate / (RefinePeriod(sliceFlux_, coarse) * kSlice);
}

void Tempo::Process(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& /*out*/) {
  if (!tracker_) return;
  WithBits(format_.bitsPerSample, [&](auto bits) { Read<decltype(bits)::value>(in); });
  if (last) Finish();
}

}  // namespace analysis
}  // namespace qel::effects
