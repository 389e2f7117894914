// The block loop of effects, driven with processors written here: what passes
// through them and what does not, Stop and cancellation, failing components,
// all-channel and backwards effects, tails mixed into what follows, and the
// sample conversions at the edges of each size's range.
#include "processing/effect_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "pcm/channel_samples.h"
#include "processing/mix_channels.h"
#include "support/recording_observer.h"
#include "support/sample_documents.h"
#include "support/scratch_dir.h"

namespace qel::processing {
namespace {

using PCM_CODEC::ChannelToDoubles;
using PCM_CODEC::DoublesToChannel;

using test::Samples;

constexpr int32_t kRate = 1000;  // one block = 1000 frames
constexpr int64_t kFrames = 5500;

// Multiplies by a gain; remembers what it was asked.
class GainProcessor : public ChannelProcessor {
 public:
  double gain = 2.0;
  int64_t tail = 0;  // frames appended to the final block (value `tailValue`)
  double tailValue = 100.0;
  bool reverse = false;
  bool measures = false;
  std::optional<int> failOnBlock;
  int blocks = 0;
  int measured = 0;
  std::vector<int> lastBlocks;  // block numbers told to be the last
  std::vector<double> timeStamps;
  bool lastPending = false;

  bool Measures() override { return measures; }
  bool Measure(std::span<const double>, const BlockPlace&) override {
    ++measured;
    return true;
  }
  bool SetLastBlock() override {
    lastBlocks.push_back(blocks);
    lastPending = true;
    return true;
  }
  bool Process(std::span<const double> in, const BlockPlace& place,
               std::span<const double>* out) override {
    if (failOnBlock && *failOnBlock == blocks) return false;
    ++blocks;
    timeStamps.push_back(place.timeStampMs);
    buffer.assign(in.begin(), in.end());
    for (double& v : buffer)
      v *= gain;
    if (reverse) std::reverse(buffer.begin(), buffer.end());
    if (latency > 0) {
      // Holds `latency` frames back and gives them at the end of the range.
      const bool end =
          lastPending ||
          place.timeStampMs + static_cast<double>(in.size()) * 1000.0 / kRate >= place.rangeMs;
      held.insert(held.end(), buffer.begin(), buffer.end());
      const size_t give =
          end ? held.size() : held.size() - std::min(held.size(), static_cast<size_t>(latency));
      buffer.assign(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(give));
      held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(give));
    }
    if (lastPending && tail > 0) buffer.insert(buffer.end(), static_cast<size_t>(tail), tailValue);
    lastPending = false;
    *out = {buffer.empty() ? &kNothing : buffer.data(), buffer.size()};
    return true;
  }
  bool Generate(double fromMs, double chunkMs, std::span<const double>* out) override {
    chunks.push_back(chunkMs);
    const auto frames = static_cast<size_t>(std::llround((fromMs + chunkMs) * kRate / 1000.0) -
                                            std::llround(fromMs * kRate / 1000.0));
    buffer.assign(frames, 1000.0);
    *out = buffer;
    return true;
  }

  int64_t latency = 0;
  std::vector<double> chunks;

 private:
  static constexpr double kNothing = 0;
  std::vector<double> buffer;
  std::vector<double> held;
};

class EffectFrameTest : public ::testing::Test {
 protected:
  test::ScratchDir dir;
  document::Document doc{dir.Path()};
  test::RecordingObserver observer;
  Samples original;
  GainProcessor left, right;
  int configured = 0;
  bool configureFails = false;

  // A ramp of `frames` frames with frames [from, to) selected.
  void Open(int channels, int64_t from, int64_t to, int64_t frames = kFrames) {
    original = test::Ramp(frames, channels);
    const std::string name = test::WriteStore(dir.Path(), {kRate, channels, 16, 0}, original);
    ASSERT_FALSE(name.empty());
    test::BeginDocument(doc, name);
    test::SelectFrames(doc, from, to);
  }

  EffectJob Job(int32_t code) {
    EffectJob job;
    job.effect = *FindEffect(code);
    job.configure = [this](int32_t, const SmoothingSent&) {
      ++configured;
      return !configureFails;
    };
    job.adjust = [](int32_t) { return true; };
    job.processor = [this](int32_t c) -> ChannelProcessor* { return c == 0 ? &left : &right; };
    job.play = [] { return false; };
    return job;
  }

  EffectResult Run(int32_t code) { return RunEffect(doc, observer, Job(code)); }

  void Disable(int channel) {
    doc.channels.SetOperation(channel, 0);
    doc.RecountChannels();
  }

  EffectOutcome Generate(double ms) {
    EffectJob job = Job(opcode::kGenerateSilence);
    job.generateMs = ms;
    return RunEffect(doc, observer, job).outcome;
  }

  // Expected samples: frames [from, to) of channel c multiplied by gain.
  Samples Scaled(const Samples& in, int channels, int64_t from, int64_t to,
                 std::initializer_list<int> scaledChannels, double gain = 2.0) {
    Samples out = in;
    for (int64_t f = from; f < to; ++f)
      for (int c : scaledChannels) {
        const double v = std::trunc(in[static_cast<size_t>(f * channels + c)] * gain);
        out[static_cast<size_t>(f * channels + c)] =
            static_cast<int16_t>(std::clamp(v, -32767.0, 32767.0));
      }
    return out;
  }
};

TEST_F(EffectFrameTest, OnlyTheSelectionPassesThroughTheProcessorsInOneSecondBlocks) {
  Open(1, 1200, 4300);
  ASSERT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kDone);
  EXPECT_EQ(test::CurrentSamples(doc), Scaled(original, 1, 1200, 4300, {0}));
  // Blocks are one second, stamped with their place in the selection.
  EXPECT_EQ(left.timeStamps, (std::vector<double>{0, 1000, 2000, 3000}));
  EXPECT_EQ(doc.history.UndoCodes(), std::vector<int32_t>{opcode::kAmplify});
  EXPECT_EQ(observer.ended, 1);
  EXPECT_TRUE(doc.Idle());
}

TEST_F(EffectFrameTest, ChannelsOutsideTheOperationComeOutBitIdentical) {
  Open(2, 0, 0);
  original[1] = -32768;  // would become -32767 through the conversion
  const std::string name = test::WriteStore(dir.Path(), {kRate, 2, 16, 0}, original);
  doc.Reset();
  test::BeginDocument(doc, name);
  Disable(1);
  test::SelectFrames(doc, 0, kFrames);
  ASSERT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kDone);
  EXPECT_EQ(test::CurrentSamples(doc), Scaled(original, 2, 0, kFrames, {0}));
  EXPECT_EQ(right.blocks, 0);
}

TEST_F(EffectFrameTest, AnAllChannelEffectProcessesDisabledChannelsAndRestoresTheFlags) {
  Open(2, 0, 2000);
  Disable(1);
  ASSERT_EQ(Run(opcode::kCompressor).outcome, EffectOutcome::kDone);
  EXPECT_EQ(test::CurrentSamples(doc), Scaled(original, 2, 0, 2000, {0, 1}));
  EXPECT_EQ(doc.channels.Operation(1), 0);
  EXPECT_EQ(doc.channels.OperationCount(), 1);
}

TEST_F(EffectFrameTest, StopInTheFirstBlockKeepsOneProcessedSecondAndTheRestUnchanged) {
  Open(1, 500, 4500);
  bool inLoop = false;
  observer.onProgress = [&](int32_t) {
    if (left.blocks == 1 && !inLoop) {
      inLoop = true;
      doc.RequestStop();
    }
  };
  ASSERT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kDone);
  EXPECT_EQ(test::CurrentSamples(doc), Scaled(original, 1, 500, 1500, {0}));
  EXPECT_EQ(doc.history.Depth(), 2);
  // The new selection covers what was processed.
  EXPECT_EQ(doc.View()->endSelect[doc.View()->zoom], 1500 * 2);
}

TEST_F(EffectFrameTest, StopBeforeAnyBlockWasProcessedCancels) {
  Open(1, 20000, 25000, 25000);  // a head of 20 s is copied in two reported blocks
  observer.onProgress = [&](int32_t) { doc.RequestStop(); };
  EXPECT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kCancelled);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(left.blocks, 0);
  EXPECT_EQ(observer.ended, 1);
}

TEST_F(EffectFrameTest, CancellingInTheLoopLeavesTheDocumentAndFolderAsTheyWere) {
  Open(2, 0, kFrames);
  const auto before = test::FolderListing(dir.Path());
  observer.onProgress = [&](int32_t) {
    if (left.blocks == 2) doc.SetStatus(status::kIdle);
  };
  EXPECT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kCancelled);
  EXPECT_EQ(test::CurrentSamples(doc), original);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(test::FolderListing(dir.Path()), before);
  EXPECT_EQ(observer.ended, 1);
  EXPECT_EQ(doc.channels.OperationCount(), 2);
}

TEST_F(EffectFrameTest, AFailingProcessorEndsTheRunWithNothingChanged) {
  Open(2, 0, kFrames);
  Disable(0);
  const auto before = test::FolderListing(dir.Path());
  right.failOnBlock = 2;
  EXPECT_EQ(Run(opcode::kReverse).outcome, EffectOutcome::kComponentFailed);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(test::FolderListing(dir.Path()), before);
  EXPECT_TRUE(doc.Idle());
  EXPECT_EQ(observer.ended, 1);
  // The all-channel effect's flags are back as the host left them.
  EXPECT_EQ(doc.channels.Operation(0), 0);
}

TEST_F(EffectFrameTest, AProcessorThatCannotBeConfiguredFailsBeforeAnyEvent) {
  Open(1, 0, 100);
  configureFails = true;
  EXPECT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kComponentFailed);
  EXPECT_EQ(observer.ended, 0);
  EXPECT_TRUE(observer.progress.empty());
  EXPECT_TRUE(doc.Idle());
}

TEST_F(EffectFrameTest, NothingHappensWithoutASelectionOrAnEnabledChannel) {
  Open(1, 100, 100);
  EXPECT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kNothing);
  test::SelectFrames(doc, 100, 200);
  Disable(0);
  EXPECT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kNothing);
  EXPECT_EQ(configured, 0);
  EXPECT_EQ(observer.ended, 0);
}

TEST_F(EffectFrameTest, ReverseReadsTheSelectionBackwardsAcrossBlocks) {
  Open(1, 700, 3950);
  left.gain = 1.0;
  left.reverse = true;
  ASSERT_EQ(Run(opcode::kReverse).outcome, EffectOutcome::kDone);
  Samples expected = original;
  std::reverse(expected.begin() + 700, expected.begin() + 3950);
  EXPECT_EQ(test::CurrentSamples(doc), expected);
  EXPECT_EQ(left.blocks, 4);
}

TEST_F(EffectFrameTest, ATailIsMixedIntoWhatFollowsTheSelection) {
  Open(1, 1000, 2000);
  left.tail = 300;
  ASSERT_EQ(Run(opcode::kReverb).outcome, EffectOutcome::kDone);
  Samples expected = Scaled(original, 1, 1000, 2000, {0});
  for (int64_t f = 2000; f < 2300; ++f)
    expected[static_cast<size_t>(f)] += 100;
  EXPECT_EQ(test::CurrentSamples(doc), expected);
  EXPECT_EQ(doc.Frames(), kFrames);
}

TEST_F(EffectFrameTest, ATailPastTheEndOfTheDocumentIsAppended) {
  Open(1, 5000, kFrames);
  left.tail = 800;
  ASSERT_EQ(Run(opcode::kReverb).outcome, EffectOutcome::kDone);
  const Samples got = test::CurrentSamples(doc);
  ASSERT_EQ(static_cast<int64_t>(got.size()), kFrames + 800);
  EXPECT_EQ(got[kFrames - 1], static_cast<int16_t>(original[kFrames - 1] * 2));
  EXPECT_EQ(got[kFrames], 100);  // silence with the tail on it
  EXPECT_EQ(got.back(), 100);
}

TEST_F(EffectFrameTest, AMeasuringProcessorSeesTheWholeSelectionFirst) {
  Open(1, 0, 3500);
  left.measures = true;
  ASSERT_EQ(Run(opcode::kNormalize).outcome, EffectOutcome::kDone);
  EXPECT_EQ(left.measured, 4);
  EXPECT_EQ(test::CurrentSamples(doc), Scaled(original, 1, 0, 3500, {0}));
}

TEST_F(EffectFrameTest, APreviewConfiguresAndAsksForPlaybackWithoutTouchingTheDocument) {
  Open(1, 0, 100);
  EffectJob job = Job(opcode::kAmplify);
  job.previewMode = 1;
  bool played = false;
  job.play = [&] { return played = true; };
  EXPECT_EQ(RunEffect(doc, observer, job).outcome, EffectOutcome::kPreview);
  EXPECT_TRUE(played);
  EXPECT_EQ(doc.Status(), opcode::kAmplify);
  EXPECT_EQ(RunEffect(doc, observer, job).outcome, EffectOutcome::kAdjusted);
  EXPECT_EQ(doc.history.Depth(), 1);
}

TEST_F(EffectFrameTest, ChannelsLeftAloneStayInStepWithAProcessorThatHoldsFramesBack) {
  Open(2, 300, 5000);
  Disable(1);
  left.latency = 250;
  ASSERT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kDone);
  EXPECT_EQ(test::CurrentSamples(doc), Scaled(original, 2, 300, 5000, {0}));
}

TEST_F(EffectFrameTest, StopWithFramesHeldBackCopiesThemUnchangedInsteadOfLosingThem) {
  Open(1, 0, kFrames);
  left.latency = 250;
  observer.onProgress = [&](int32_t) {
    if (left.blocks == 2) doc.RequestStop();
  };
  ASSERT_EQ(Run(opcode::kAmplify).outcome, EffectOutcome::kDone);
  // Two blocks were read and 1750 frames given back; the rest is as it was.
  EXPECT_EQ(test::CurrentSamples(doc), Scaled(original, 1, 0, 1750, {0}));
}

TEST_F(EffectFrameTest, AStoppedReverseIsCancelled) {
  Open(1, 0, kFrames);
  left.reverse = true;
  observer.onProgress = [&](int32_t) {
    if (left.blocks == 1) doc.RequestStop();
  };
  EXPECT_EQ(Run(opcode::kReverse).outcome, EffectOutcome::kCancelled);
  EXPECT_EQ(test::CurrentSamples(doc), original);
}

TEST_F(EffectFrameTest, AGeneratorWorksInSecondsAndTheWholeMillisecondsLeft) {
  Open(1, 1000, 1000);
  ASSERT_EQ(Generate(2500.7), EffectOutcome::kDone);
  EXPECT_EQ(left.chunks, (std::vector<double>{1000, 1000, 500}));
  // Inserted at the cursor: 2500 frames at 1 kHz.
  const Samples got = test::CurrentSamples(doc);
  ASSERT_EQ(static_cast<int64_t>(got.size()), kFrames + 2500);
  EXPECT_EQ(got[999], original[999]);
  EXPECT_EQ(got[1000], 1000);
  EXPECT_EQ(got[3499], 1000);
  EXPECT_EQ(got[3500], original[1000]);
}

TEST_F(EffectFrameTest, AGeneratorReplacesTheSelection) {
  Open(1, 1000, 4000);
  ASSERT_EQ(Generate(500), EffectOutcome::kDone);
  const Samples got = test::CurrentSamples(doc);
  ASSERT_EQ(static_cast<int64_t>(got.size()), kFrames - 3000 + 500);
  EXPECT_EQ(got[1500], original[4000]);
  EXPECT_EQ(doc.View()->endSelect[doc.View()->zoom], 1500 * 2);
}

TEST(SmoothingFlag, IsOnOnlyForSelectionsAsLongAsBothEdges) {
  const document::Smoothing smoothing{1, 10.0, 20.0};
  EXPECT_FALSE(SmoothingApplies(smoothing, 881, 44100));
  EXPECT_TRUE(SmoothingApplies(smoothing, 882, 44100));
  EXPECT_FALSE(SmoothingApplies({0, 10.0, 10.0}, 100000, 44100));
}

// ---- conversions ----

double Through(int32_t bits, std::vector<uint8_t> bytes, double scale = 0) {
  double v = 0;
  ChannelToDoubles(bytes.data(), 1, 0, {bits, 1, scale}, &v);
  return v;
}

std::vector<uint8_t> Back(int32_t bits, double v, double scale = 0) {
  std::vector<uint8_t> bytes(static_cast<size_t>(bits / 8));
  DoublesToChannel(&v, 1, 0, {bits, 1, scale}, bytes.data());
  return bytes;
}

TEST(EffectSamples, EightBitMidpointIsZeroAndComesBackUnchanged) {
  EXPECT_EQ(Through(8, {0x80}), 0.0);
  EXPECT_EQ(Back(8, 0.0), std::vector<uint8_t>{0x80});
  EXPECT_EQ(Back(8, 300.0), std::vector<uint8_t>{0xFF});
  EXPECT_EQ(Back(8, -0.9), std::vector<uint8_t>{0x7F});  // 127.1 truncated
}

TEST(EffectSamples, TwentyFourBitSamplesTravelInTheUpperBytesOrScaled) {
  const std::vector<uint8_t> sample{0x56, 0x34, 0x12};
  EXPECT_EQ(Through(24, sample), 0x12345600 * 1.0);
  EXPECT_EQ(Through(24, sample, 256.0), 0x123456 * 1.0);
  EXPECT_EQ(Back(24, 0x123456, 256.0), sample);
  EXPECT_EQ(Back(24, 0x12345600), sample);
}

TEST(EffectSamples, ThirtyTwoBitSamplesScaledBy65536LoseTheirFraction) {
  const std::vector<uint8_t> sample{0x78, 0x56, 0x34, 0x12};
  EXPECT_EQ(Through(32, sample, 65536.0), 0x12345678 / 65536.0);
  EXPECT_EQ(Back(32, 0x12345678 / 65536.0, 65536.0), (std::vector<uint8_t>{0, 0, 0x34, 0x12}));
  EXPECT_EQ(Back(32, -3e9), (std::vector<uint8_t>{0x01, 0, 0, 0x80}));
}

// ---- channel mixing ----

TEST_F(EffectFrameTest, MixingChannelsSwapsThemWithUnitGains) {
  Open(2, 0, kFrames);
  ChannelGains gains{};
  gains[0 * 18 + 1] = 1.0;
  gains[1 * 18 + 0] = 1.0;
  ASSERT_EQ(MixChannels(doc, observer, gains, 0, [] { return false; }).outcome,
            EffectOutcome::kDone);
  Samples expected = original;
  for (size_t f = 0; f < expected.size(); f += 2)
    std::swap(expected[f], expected[f + 1]);
  EXPECT_EQ(test::CurrentSamples(doc), expected);
  EXPECT_EQ(doc.history.UndoCodes(), std::vector<int32_t>{opcode::kMixChannels});
}

TEST_F(EffectFrameTest, MixingRoundsToNearestAndClips) {
  Open(2, 0, 3, 3);
  ChannelGains gains{};
  gains[0] = 0.5;          // left = left / 2, rounded
  gains[18 + 0] = 5000.0;  // right = 5000 × left, clipped
  gains[18 + 1] = 0.0;
  MixChannels(doc, observer, gains, 0, [] { return false; });
  const Samples got = test::CurrentSamples(doc);
  EXPECT_EQ(got[0], static_cast<int16_t>(std::nearbyint(original[0] * 0.5)));
  EXPECT_EQ(got[3], 32767);
}

}  // namespace
}  // namespace qel::processing
