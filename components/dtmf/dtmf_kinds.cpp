#include "dtmf_kinds.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "dtmf_generator.h"
#include "dtmf_recognizer.h"

namespace qel::dtmf {
namespace {

constexpr int kCustomPairs = 9;

class GeneratorKind final : public effects::Processor {
 public:
  GeneratorKind() : inner_(MakeDtmfGenerator()) {}

  bool SetParam(int index, const effects::ParamValue& value) override {
    if (index != kCustomPairs) return inner_->SetParam(index, value);
    const auto* pairs = std::get_if<std::vector<double>>(&value);
    if (!pairs) return false;
    std::vector<int32_t> hz;
    for (double f : *pairs) {
      if (!std::isfinite(f)) return false;
      hz.push_back(static_cast<int32_t>(std::lround(f)));
    }
    AsDtmfGenerator(inner_.get())->SetCustomSignals(hz);
    return true;
  }
  void Start(const effects::StreamSetup& setup) override { inner_->Start(setup); }
  void Process(std::span<const double> in, const effects::BlockInfo& info,
               std::vector<double>& out) override {
    inner_->Process(in, info, out);
  }

 private:
  std::unique_ptr<effects::Processor> inner_;
};

class RecognizerKind final : public effects::FrameProcessor {
 public:
  bool SetParam(int index, const effects::ParamValue& value) override {
    double v = 0;
    if (!effects::AsNumber(value, v) || !std::isfinite(v) || index < 1 || index > 3) return false;
    const int n = static_cast<int>(std::lround(v));
    if (index == 3)
      positions_ = n != 0;
    else
      (index == 1 ? method_ : quality_) = n;
    return true;
  }
  void Start(const effects::PcmFormat& format) override {
    recognizer_.Start(format.sampleRate, format.channels, format.bitsPerSample, method_, quality_);
  }
  void Process(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) override {
    recognizer_.Process(in);
    if (last) recognizer_.Finish();
    for (const DtmfDetection& d : recognizer_.TakeDetections()) {
      const auto symbol = static_cast<int32_t>(d.symbol);
      const size_t at = out.size();
      out.resize(at + sizeof symbol + (positions_ ? sizeof d.position : 0));
      std::memcpy(out.data() + at, &symbol, sizeof symbol);
      if (positions_) std::memcpy(out.data() + at + sizeof symbol, &d.position, sizeof d.position);
    }
  }

 private:
  DtmfRecognizer recognizer_;
  int method_ = 0;
  int quality_ = 1;
  bool positions_ = false;  // P3: each symbol followed by its first frame (int64)
};

}  // namespace

std::unique_ptr<effects::Processor> MakeDtmfGeneratorKind() {
  return std::make_unique<GeneratorKind>();
}

std::unique_ptr<effects::FrameProcessor> MakeDtmfRecognizerKind() {
  return std::make_unique<RecognizerKind>();
}

}  // namespace qel::dtmf
