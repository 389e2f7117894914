// Runs of the single components that see whole frames: what they give back
// replaces the selection, a Stop cancels, and the tempo run changes nothing.
#include "processing/frame_run.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/recording_observer.h"
#include "support/sample_documents.h"
#include "support/scratch_dir.h"

namespace qel::processing {
namespace {

using test::Samples;

// Keeps only the frames whose first sample is odd; counts what it saw.
class OddFrames : public FrameComponent {
 public:
  int blocks = 0;
  bool toldLast = false;
  bool lastBeforeFinalBlock = false;
  int64_t bytesSeen = 0;
  bool SetLastBlock() override {
    toldLast = true;
    return true;
  }
  bool Process(std::span<const uint8_t> frames, double, double,
               std::span<const uint8_t>* out) override {
    ++blocks;
    bytesSeen += static_cast<int64_t>(frames.size());
    if (toldLast) lastBeforeFinalBlock = true;
    kept.clear();
    for (size_t f = 0; f + 2 <= frames.size(); f += 2) {
      int16_t v;
      std::memcpy(&v, &frames[f], 2);
      if (v % 2 != 0) kept.insert(kept.end(), frames.begin() + f, frames.begin() + f + 2);
    }
    *out = {kept.empty() ? &none : kept.data(), kept.size()};
    return true;
  }

 private:
  std::vector<uint8_t> kept;
  uint8_t none = 0;
};

class FrameRunTest : public ::testing::Test {
 protected:
  test::ScratchDir dir;
  document::Document doc{dir.Path()};
  test::RecordingObserver observer;
  Samples original;
  OddFrames component;

  void SetUp() override {
    for (int i = 0; i < 3000; ++i)
      original.push_back(static_cast<int16_t>(i));
    const std::string name = test::WriteStore(dir.Path(), {1000, 1, 16, 0}, original);
    ASSERT_FALSE(name.empty());
    test::BeginDocument(doc, name);
    test::SelectFrames(doc, 500, 2500);
  }

  EffectResult Run(FrameRunKind kind) {
    FrameJob job;
    job.kind = kind;
    job.component = &component;
    job.configure = [] { return EffectResult{EffectOutcome::kDone}; };
    job.play = [] { return false; };
    return RunFrames(doc, observer, job);
  }
};

TEST_F(FrameRunTest, WhatTheComponentKeepsReplacesTheSelection) {
  ASSERT_EQ(Run(FrameRunKind::kDeleteSilence).outcome, EffectOutcome::kDone);
  Samples expected(original.begin(), original.begin() + 500);
  for (int i = 500; i < 2500; ++i)
    if (i % 2) expected.push_back(static_cast<int16_t>(i));
  expected.insert(expected.end(), original.begin() + 2500, original.end());
  EXPECT_EQ(test::CurrentSamples(doc), expected);
  EXPECT_EQ(doc.history.UndoCodes(), std::vector<int32_t>{opcode::kDeleteSilence});
  // The selection covers what was kept.
  EXPECT_EQ(doc.View()->endSelect[doc.View()->zoom], (500 + 1000) * 2);
  EXPECT_TRUE(component.lastBeforeFinalBlock);
}

TEST_F(FrameRunTest, AStopCancelsAndLeavesTheDocumentAsItWas) {
  observer.onProgress = [&](int32_t) { doc.RequestStop(); };
  EXPECT_EQ(Run(FrameRunKind::kBatch).outcome, EffectOutcome::kCancelled);
  EXPECT_EQ(test::CurrentSamples(doc), original);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(observer.ended, 1);
}

TEST_F(FrameRunTest, TheTempoRunReadsTheSelectionAndChangesNothing) {
  ASSERT_EQ(Run(FrameRunKind::kTempo).outcome, EffectOutcome::kDone);
  EXPECT_EQ(component.bytesSeen, 2000 * 2);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(observer.ended, 1);
  EXPECT_TRUE(doc.Idle());
}

TEST_F(FrameRunTest, NothingRunsWithoutASelection) {
  test::SelectFrames(doc, 100, 100);
  EXPECT_EQ(Run(FrameRunKind::kDeleteSilence).outcome, EffectOutcome::kNothing);
  EXPECT_EQ(component.blocks, 0);
}

}  // namespace
}  // namespace qel::processing
