#include "pcm/pcm_convert.h"

#include <algorithm>
#include <thread>

#include "pcm/sample_io.h"

namespace PCM_CODEC {

CPcmConvert::CPcmConvert() {
  dither_.SetEnabled(false);
  dither_.SetNoiseShapingEnabled(false);
}

CPcmConvert::~CPcmConvert() = default;

void CPcmConvert::Configure(const ConvertSettings& s) {
  SetDitheringEnabled(s.ditheringEnabled);
  SetNoiseShapingEnabled(s.ditheringNoiseShapingEnabled);
  if (s.ditheringEnabled) SetDitheringType(s.ditheringType - 1);
  if (s.ditheringNoiseShapingEnabled) SetNoiseShapingType(s.ditheringNoiseShapingType);
  SetHighQualityResampling(s.highQualityResampling);
  mixer_.SetAsIsEnabled(s.mixerAsIsEnabled);
  mixer_.SetDbGainPreset(s.mixerDbGainPreset);
  mixer_.SetDelayPreset(s.mixerDelayPreset);
  mixer_.SetLfeEnabled(s.mixerLfeEnabled);
  mixer_.SetLfeFrequency(s.mixerLfeFrequency);
  mixer_.SetReverbPreset(s.mixerReverbPreset);
  mixer_.SetListenerOffset(s.listenerOffsetX, s.listenerOffsetY);
  mixer_.SetRoom(s.roomWidth, s.roomHeight);
}

void CPcmConvert::SetInputFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits,
                                 std::uint32_t mask) {
  in_ = MakeSourceFormat(rate, channels, bits, mask);
  initialised_ = false;
}

void CPcmConvert::SetOutputFormat(std::int32_t rate, std::int32_t channels, std::int32_t bits,
                                  std::uint32_t mask) {
  out_ = MakeFormat(rate, channels, bits, mask);
  outRequested_ = {rate, channels, bits};
  initialised_ = false;
}

bool CPcmConvert::Init() {
  initialised_ = false;
  const bool inOk = in_.Channels() >= 1 && in_.Channels() <= kMaxChannels && in_.Bits() <= 32 &&
                    in_.Rate() <= kMaxSampleRate;
  const bool outOk = outRequested_.rate >= 1 && outRequested_.rate <= kMaxSampleRate &&
                     outRequested_.channels >= 1 && outRequested_.channels <= kMaxChannels &&
                     IsSupportedBits(static_cast<int>(outRequested_.bits));
  if (!inOk || !outOk) return false;

  const int inRate = in_.Rate();
  const int outRate = out_.Rate();
  const int inCh = in_.Channels();
  const int outCh = out_.Channels();
  const int inBits = in_.Bits();
  const int outBits = out_.Bits();

  // Filters start from silence.
  if (resetFilters_) resampler_.ClearFilterState();
  needed_ = outRate != inRate || outCh != inCh || outBits != inBits;
  // Linear upsampling by 1000 Hz or more gets the anti-imaging filter.
  resampler_.SetRates(inRate, outRate);
  if (static_cast<std::int64_t>(outRate) - inRate >= 1000) {
    if (resetFilters_) resampler_.DesignAntiImaging();
  } else {
    resampler_.DisableAntiImaging();
  }
  // The mixer runs before resampling when it removes channels, after it otherwise.
  mixer_.SetInput(in_.channelMask, inCh);
  mixer_.SetOutput(out_.channelMask, outCh);
  mixer_.SetSampleRate(outCh < inCh ? inRate : outRate);
  mixer_.ComputeMatrix();
  resampler_.Reset();
  if (inRate != outRate) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned wanted = threads_ == 0 ? cores : threads_;
    resampler_.SetThreads(std::min<unsigned>(wanted, static_cast<unsigned>(std::min(inCh, outCh))));
  }
  // The bit-depth stage runs first when widening (or reading an odd size),
  // last when narrowing: it sees that side's channels and rate.
  if (inBits != outBits) {
    const bool first = outBits > inBits || inBits % 8 != 0;
    dither_.SetChannels(first ? inCh : outCh);
    dither_.SetSampleRate(first ? inRate : outRate);
    dither_.SetInputBits(inBits);
    dither_.SetOutputBits(outBits);
    dither_.Prepare();
  }
  initialised_ = true;
  return true;
}

ConvertedBlock CPcmConvert::Convert(const void* data, std::int64_t bytes) {
  if (!initialised_ || data == nullptr || bytes <= 0) return {};
  const auto* begin = static_cast<const std::uint8_t*>(data);
  const std::int64_t frame = static_cast<std::int64_t>(ContainerBytes(in_.Bits())) * in_.Channels();
  bytes -= bytes % frame;
  if (!needed_) return {begin, bytes};

  const int inBits = in_.Bits();
  const int outBits = out_.Bits();
  const int outCh = out_.Channels();
  std::span<const std::uint8_t> current(begin, static_cast<std::size_t>(bytes));
  int bits = inBits;
  int channels = in_.Channels();

  if (outBits > inBits || inBits % 8 != 0) {
    current = dither_.Process(current);
    bits = outBits;
  }
  if (outCh < channels) {
    current = mixer_.Mix(current, bits);
    channels = outCh;
  }
  if (in_.Rate() != out_.Rate()) current = resampler_.Process(current, channels, bits);
  if (channels != outCh) {
    current = mixer_.Mix(current, bits);
    channels = outCh;
  }
  if (bits != outBits) current = dither_.Process(current);
  return {current.data(), static_cast<std::int64_t>(current.size())};
}

}  // namespace PCM_CODEC
