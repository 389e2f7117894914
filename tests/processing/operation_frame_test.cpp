// The operation frame on small documents in a scratch folder: what the new
// version holds, where it puts the selection and the view, and that a cancelled
// or failing operation leaves the document, its history and the temporary
// folder exactly as they were.
#include "processing/operation_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/file_size_limit.h"
#include "support/recording_observer.h"
#include "support/sample_documents.h"
#include "support/scratch_dir.h"

namespace qel::processing {
namespace {

using document::HistoryStep;
using document::ViewStack;
using Outcome = OperationFrame::Outcome;
using test::FileSizeLimit;
using test::Frames;
using test::Joined;
using test::Samples;

constexpr int64_t kFrames = 100;
constexpr int64_t kAlign = 2;  // mono, 16 bits
constexpr int32_t kCode = opcode::kAmplify;

// Replaces frames [from, to) of a mono 16-bit document by `middle` through a frame.
Outcome ReplaceFrames(document::Document& doc, document::OperationObserver& observer, int64_t from,
                      int64_t to, const Samples& middle) {
  test::SelectFrames(doc, from, to);
  OperationFrame frame(doc, observer, kCode);
  if (const Outcome began = frame.Begin(); began != Outcome::kDone) return began;
  const std::vector<uint8_t> bytes = test::ToBytes(middle);
  if (!frame.Destination().Write(bytes.data(), bytes.size())) return Outcome::kFailed;
  return frame.Finish(frame.SelectionEnd());
}

class OperationFrameTest : public ::testing::Test {
 protected:
  test::ScratchDir dir;
  document::Document doc{dir.Path()};
  test::RecordingObserver observer;
  const Samples original = test::Ramp(kFrames, 1);

  void SetUp() override {
    const std::string name = test::WriteStore(dir.Path(), {8000, 1, 16, 0}, original);
    ASSERT_FALSE(name.empty());
    test::BeginDocument(doc, name);
  }

  // Everything an operation that did not happen must leave as it was.
  struct State {
    std::string file;
    int64_t length;
    int32_t depth;
    size_t steps;
    std::vector<int32_t> undoCodes;
    int64_t startSelect, endSelect, startView, endView;
    int32_t zoom;
    std::vector<document::Marker> markers;
    std::vector<std::string> folder;
    bool operator==(const State&) const = default;
    friend void PrintTo(const State& s, std::ostream* os) {
      *os << "{" << s.file << ", length " << s.length << ", depth " << s.depth << " of " << s.steps
          << ", selection " << s.startSelect << "-" << s.endSelect << ", view " << s.startView
          << "-" << s.endView << " at level " << s.zoom << ", " << s.markers.size() << " markers, "
          << s.folder.size() << " files}";
    }
  };
  State Snapshot() const {
    const HistoryStep& step = *doc.Current();
    const ViewStack& v = step.view;
    return {step.sampleFile,
            doc.length,
            doc.history.Depth(),
            doc.history.StepCount(),
            doc.history.UndoCodes(),
            v.startSelect[v.zoom],
            v.endSelect[v.zoom],
            v.startView[v.zoom],
            v.endView[v.zoom],
            v.zoom,
            step.markers,
            test::FolderListing(dir.Path())};
  }

  Outcome Replace(int64_t from, int64_t to, const Samples& middle) {
    return ReplaceFrames(doc, observer, from, to, middle);
  }

  // Begins a frame over frames 20 ... 40 and writes five frames of output.
  void BeginAndWrite(OperationFrame& frame) {
    ASSERT_EQ(frame.Begin(), Outcome::kDone);
    const std::vector<uint8_t> middle = test::ToBytes(Samples(5, 1));
    ASSERT_TRUE(frame.Destination().Write(middle.data(), middle.size()));
  }

  int64_t SelectionStartFrame() const {
    const ViewStack& v = *doc.View();
    return v.startSelect[v.zoom] / kAlign;
  }
  int64_t SelectionEndFrame() const {
    const ViewStack& v = *doc.View();
    return v.endSelect[v.zoom] / kAlign;
  }
};

TEST_F(OperationFrameTest, TheNewVersionIsTheHeadThenTheOutputThenTheTail) {
  const Samples middle(5, 7777);
  ASSERT_EQ(Replace(20, 40, middle), Outcome::kDone);
  EXPECT_EQ(test::CurrentSamples(doc),
            Joined({Frames(original, 1, 0, 20), middle, Frames(original, 1, 40, kFrames)}));
  EXPECT_EQ(doc.length, (kFrames - 20 + 5) * kAlign);
}

TEST_F(OperationFrameTest, TheNewVersionIsOneUndoStepUnderTheOperationsCodeWithTheOutputSelected) {
  const std::string before = doc.Current()->sampleFile;
  ASSERT_EQ(Replace(20, 40, Samples(5, 1)), Outcome::kDone);
  EXPECT_EQ(doc.history.Depth(), 2);
  EXPECT_EQ(doc.history.UndoCodes(), std::vector<int32_t>{kCode});
  EXPECT_NE(doc.Current()->sampleFile, before);
  EXPECT_TRUE(std::filesystem::exists(before));  // the earlier version stays for undo
  EXPECT_EQ(SelectionStartFrame(), 20);
  EXPECT_EQ(SelectionEndFrame(), 25);
  EXPECT_EQ(doc.View()->selected, 1);
}

TEST_F(OperationFrameTest, AZoomedViewStretchesByTheChangeInLength) {
  ViewStack& view = *doc.View();
  view.zoom = 2;
  view.startView[2] = 10 * kAlign;
  view.endView[2] = 60 * kAlign;
  ASSERT_EQ(Replace(20, 40, Samples(5, 1)), Outcome::kDone);
  const ViewStack& after = *doc.View();
  EXPECT_EQ(after.zoom, 1);
  EXPECT_EQ(after.startView[1], 10 * kAlign);
  EXPECT_EQ(after.endView[1], (60 - 20 + 5) * kAlign);
  EXPECT_EQ(after.endView[0], doc.length);  // level 0 still shows everything
}

TEST_F(OperationFrameTest, TheStatusWordIsTheOperationsCodeUntilTheEnd) {
  std::vector<int32_t> seen;
  observer.onProgress = [&](int32_t) { seen.push_back(doc.Status()); };
  ASSERT_EQ(Replace(20, 40, Samples(5, 1)), Outcome::kDone);
  ASSERT_FALSE(seen.empty());
  for (int32_t status : seen)
    EXPECT_EQ(status, kCode);
  EXPECT_TRUE(doc.Idle());
  EXPECT_EQ(observer.ended, 1);
}

TEST_F(OperationFrameTest, MarkersFollowTheEditAndThoseThatMovedAreReported) {
  HistoryStep& step = *doc.Current();
  document::AddMarker(step, kFrames, 10, 0, u"before", u"", u"");
  document::AddMarker(step, kFrames, 50, 5, u"after", u"", u"");
  ASSERT_EQ(Replace(20, 40, {}), Outcome::kDone);
  const std::vector<document::Marker>& markers = doc.Current()->markers;
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_EQ(markers[0].position, 10);
  EXPECT_EQ(markers[1].position, 30);
  EXPECT_EQ(markers[1].length, 5);
  EXPECT_EQ(observer.changedMarkers, std::vector<int32_t>{2});
  // The earlier version keeps its own markers for undo.
  EXPECT_EQ(doc.history.Depth(), 2);
  doc.history.Undo(1);
  EXPECT_EQ(doc.Current()->markers[1].position, 50);
}

TEST_F(OperationFrameTest, CancellingDuringTheHeadCopyLeavesEverythingAsBefore) {
  test::SelectFrames(doc, 20, 40);
  const State before = Snapshot();
  observer.onProgress = [&](int32_t) { doc.SetStatus(status::kIdle); };  // the host's Stop
  OperationFrame frame(doc, observer, kCode);
  EXPECT_EQ(frame.Begin(), Outcome::kCancelled);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(doc.Idle());
  EXPECT_EQ(observer.ended, 1);
}

TEST_F(OperationFrameTest, CancellingDuringTheTailCopyLeavesEverythingAsBefore) {
  test::SelectFrames(doc, 20, 40);
  const State before = Snapshot();
  OperationFrame frame(doc, observer, kCode);
  BeginAndWrite(frame);
  observer.onProgress = [&](int32_t) { doc.SetStatus(status::kIdle); };
  EXPECT_EQ(frame.Finish(frame.SelectionEnd()), Outcome::kCancelled);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(observer.ended, 1);
}

TEST_F(OperationFrameTest, AFrameLeftUnfinishedDeletesItsNewFile) {
  test::SelectFrames(doc, 20, 40);
  const State before = Snapshot();
  {
    OperationFrame frame(doc, observer, kCode);
    ASSERT_EQ(frame.Begin(), Outcome::kDone);
    EXPECT_EQ(test::FolderListing(dir.Path()).size(), before.folder.size() + 1);
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(OperationFrameTest, ABeginInAVanishedTempFolderFailsAndChangesNothing) {
  const std::string temp = dir / "temp";
  std::filesystem::create_directory(temp);
  doc.SetTempDirectory(temp);
  std::filesystem::remove(temp);
  test::SelectFrames(doc, 20, 40);
  const State before = Snapshot();
  OperationFrame frame(doc, observer, kCode);
  EXPECT_EQ(frame.Begin(), Outcome::kFailed);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(doc.Idle());
  EXPECT_EQ(observer.ended, 1);
}

TEST_F(OperationFrameTest, AHeadThatCannotBeWrittenFailsAndLeavesNoFile) {
  test::SelectFrames(doc, 20, 40);
  const State before = Snapshot();
  OperationFrame frame(doc, observer, kCode);
  Outcome began;
  {
    // Room for the header and half the head.
    FileSizeLimit full(document::kPcmHeaderSize + 10 * kAlign);
    began = frame.Begin();
  }
  EXPECT_EQ(began, Outcome::kFailed);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(doc.Idle());
}

TEST_F(OperationFrameTest, ATailThatCannotBeWrittenFailsAndLeavesNoFile) {
  test::SelectFrames(doc, 20, 40);
  const State before = Snapshot();
  OperationFrame frame(doc, observer, kCode);
  BeginAndWrite(frame);
  Outcome finished;
  {
    // Head and middle fit, the 60 frames of the tail do not.
    FileSizeLimit full(document::kPcmHeaderSize + (20 + 5 + 30) * kAlign);
    finished = frame.Finish(frame.SelectionEnd());
  }
  EXPECT_EQ(finished, Outcome::kFailed);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(observer.ended, 1);
}

// The block copy every operation's copies go through. Ten-second blocks of
// 8000 Hz mono 16-bit are 160 000 bytes.
class CopyInBlocksTest : public ::testing::Test {
 protected:
  static constexpr int64_t kBytes = 400000;  // 25 seconds
  const document::DocumentFormat format{8000, 1, 16, 0};
  test::ScratchDir dir;
  document::CSampleStoreFile source, target;

  void SetUp() override {
    const std::string name = test::WriteStore(dir.Path(), format, test::Ramp(kBytes / kAlign, 1));
    ASSERT_FALSE(name.empty());
    ASSERT_TRUE(source.Open(name, document::kModeRead));
    ASSERT_TRUE(target.Create(dir / "target.qelf", 8000, 1, 16, 0));
  }
};

// A cancelled copy is no failure: what was copied stays, and the caller decides.
TEST_F(CopyInBlocksTest, ACancelledCopyStopsAfterTheBlockInWhichItWasCancelled) {
  int blocks = 0;
  EXPECT_TRUE(CopyInBlocks(
      source, 0, target, kBytes, format, [&](int64_t) { ++blocks; }, [] { return true; }));
  EXPECT_EQ(blocks, 1);
  EXPECT_EQ(target.DataSize(), 160000u);
}

// A document long enough for many overview blocks, with its overview in memory
// as the picture leaves it.
class CarriedOverviewTest : public ::testing::Test {
 protected:
  static constexpr int64_t kLong = 20 * document::PeakOverview::kBlockFrames + 77;
  test::ScratchDir dir;
  document::Document doc{dir.Path()};
  test::RecordingObserver observer;
  // Noise rather than a ramp: a misplaced block shows in its extremes.
  Samples original = [] {
    Samples s(kLong);
    uint32_t x = 12345;
    for (int16_t& v : s)
      v = static_cast<int16_t>((x = x * 1103515245u + 12345u) >> 16);
    return s;
  }();

  void SetUp() override {
    test::BeginDocument(doc, test::WriteStore(dir.Path(), {8000, 1, 16, 0}, original));
    document::CSampleStoreFile file;
    ASSERT_TRUE(file.Open(doc.Current()->sampleFile, document::kModeRead));
    document::PeakOverview built;
    ASSERT_TRUE(document::BuildPeakOverview(file, &built));
    doc.KeepOverview(std::move(built));
  }

  Outcome Replace(int64_t from, int64_t to, const Samples& middle) {
    return ReplaceFrames(doc, observer, from, to, middle);
  }

  // The true extremes of the current version's samples [first, last).
  document::Peak Exact(int64_t first, int64_t last) const {
    const Samples now = test::CurrentSamples(doc);
    const auto [lo, hi] = std::minmax_element(now.begin() + first, now.begin() + last);
    return {*lo, *hi};
  }
};

TEST_F(CarriedOverviewTest, AnEditCarriesTheOverviewWhoseExtremesMatchTheNewSamples) {
  const int64_t head = 3 * document::PeakOverview::kBlockFrames + 100;  // not on a block edge
  const Samples middle(333, 31000);
  ASSERT_EQ(Replace(head, head + 1200, middle), Outcome::kDone);
  ASSERT_TRUE(doc.overviewLoaded);
  const int64_t frames = kLong - 1200 + 333;
  ASSERT_EQ(doc.overview.Frames(), frames);
  // Whatever the carried blocks are, each holds the true extremes of the new
  // samples it covers: a range is answered from the blocks it touches.
  for (const auto& [first, last] : {std::pair<int64_t, int64_t>{0, head},
                                    {head, head + 333},
                                    {head + 333, frames},
                                    {0, frames},
                                    {frames - 700, frames}}) {
    const std::optional<document::Peak> carried = doc.overview.Extremes(0, first, last);
    ASSERT_TRUE(carried.has_value());
    const int64_t from = doc.overview.BlockAt(first).first;
    const int64_t to = doc.overview.BlockAt(last - 1).last;
    EXPECT_EQ(*carried, Exact(from, to)) << first << "-" << last;
  }
}

TEST_F(CarriedOverviewTest, UndoBringsBackTheOverviewOfTheEarlierVersion) {
  const document::PeakOverview before = doc.overview;
  ASSERT_EQ(Replace(1000, 3000, Samples(10, 1)), Outcome::kDone);
  doc.history.Undo(1);
  document::RefreshFromCurrentStep(doc, observer);
  ASSERT_TRUE(doc.overviewLoaded);
  EXPECT_EQ(doc.overview, before);
}

TEST_F(CarriedOverviewTest, AWholeRewriteLeavesNoStaleOverview) {
  test::SelectFrames(doc, 0, 10);
  OperationFrame frame(doc, observer, kCode);
  ASSERT_EQ(frame.Begin(doc.format, 0), Outcome::kDone);
  const std::vector<uint8_t> bytes = test::ToBytes(Samples(100, 5));
  ASSERT_TRUE(frame.Destination().Write(bytes.data(), bytes.size()));
  ASSERT_EQ(frame.FinishWhole(ViewStack{}), Outcome::kDone);
  EXPECT_FALSE(doc.overviewLoaded);
}

}  // namespace
}  // namespace qel::processing
