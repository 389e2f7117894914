// Copy, Cut, Paste, DeleteSelect and Trim on small documents of known samples
// in a scratch folder; undo and redo of their results; and edits that are
// cancelled or whose writes fail, which must leave the document, its history
// and the temporary folder exactly as they were.
#include "editing/clip_operations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "editing/marker_edits.h"
#include "editing_test.h"
#include "support/file_size_limit.h"

namespace qel::editing {
namespace {

using test::Joined;
using test::Samples;
using Range = std::pair<int64_t, int64_t>;

constexpr int64_t kFrames = 1000;
constexpr int64_t kAlign = 4;  // stereo, 16 bits

class ClipOperationsTest : public EditingTest {
 protected:
  void SetUp() override { Open(kFrames); }

  test::StoreContents Clipboard() const { return test::ReadStore(doc.ClipboardFile()); }
};

TEST_F(ClipOperationsTest, CopyOfOneEnabledChannelOfStereoWritesThatChannelAsMono) {
  OperateOnlyOn(1);
  Select(10, 60);
  ASSERT_EQ(Copy(doc, observer), kErrNone);
  const test::StoreContents clip = Clipboard();
  EXPECT_EQ(clip.format.channels, 1);
  Samples right;
  for (int64_t f = 10; f < 60; ++f)
    right.push_back(original[f * 2 + 1]);
  EXPECT_EQ(clip.Samples16(), right);
}

TEST_F(ClipOperationsTest, EditingWithoutASelectionDoesNothing) {
  const std::vector<std::string> folder = test::FolderListing(dir.Path());
  for (auto edit : {Copy, Cut, DeleteSelect, Trim})
    EXPECT_EQ(edit(doc, observer), kErrNone);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(test::FolderListing(dir.Path()), folder);
  EXPECT_EQ(observer.ended, 0);
}

TEST_F(ClipOperationsTest, CutTakesEveryChannelEvenWithOneEnabled) {
  OperateOnlyOn(0);
  Select(300, 400);
  ASSERT_EQ(Cut(doc, observer), kErrNone);
  EXPECT_EQ(Clipboard().Samples16(), Part(300, 400));
  EXPECT_EQ(test::CurrentSamples(doc), Joined({Part(0, 300), Part(400, kFrames)}));
  EXPECT_EQ(doc.history.UndoCodes(), std::vector<int32_t>{opcode::kCut});
}

TEST_F(ClipOperationsTest, PasteAtACursorInsertsTheClipAndSelectsIt) {
  Select(0, 40);
  ASSERT_EQ(Copy(doc, observer), kErrNone);
  Cursor(100);
  ASSERT_EQ(Paste(doc, observer), kErrNone);
  EXPECT_EQ(test::CurrentSamples(doc), Joined({Part(0, 100), Part(0, 40), Part(100, kFrames)}));
  EXPECT_EQ(Selection(), Range(100, 140));
  EXPECT_EQ(doc.View()->selected, 1);
  EXPECT_EQ(doc.history.UndoCodes(), std::vector<int32_t>{opcode::kPaste});
}

TEST_F(ClipOperationsTest, PasteOverASelectionReplacesIt) {
  Select(0, 50);
  ASSERT_EQ(Copy(doc, observer), kErrNone);
  Select(100, 300);
  ASSERT_EQ(Paste(doc, observer), kErrNone);
  EXPECT_EQ(test::CurrentSamples(doc), Joined({Part(0, 100), Part(0, 50), Part(300, kFrames)}));
  EXPECT_EQ(Selection(), Range(100, 150));
}

TEST_F(ClipOperationsTest, AMonoClipboardOverlaysOnlyTheEnabledChannel) {
  OperateOnlyOn(0);
  Select(0, 30);
  ASSERT_EQ(Copy(doc, observer), kErrNone);  // the left channel, mono
  Cursor(200);
  ASSERT_EQ(Paste(doc, observer), kErrNone);
  Samples expected = original;
  for (int64_t f = 0; f < 30; ++f)
    expected[(200 + f) * 2] = original[f * 2];
  EXPECT_EQ(test::CurrentSamples(doc), expected);
}

TEST_F(ClipOperationsTest, PasteWithSmoothingCrossFadesFromTheDocumentIntoTheClip) {
  // 1000 Hz: 10 ms of smoothing are 10 frames.
  OpenSamples(Samples(200, 1000), 1, 1000);
  Select(0, 50);
  ASSERT_EQ(Copy(doc, observer), kErrNone);
  OpenSamples(Samples(200, -1000), 1, 1000);
  doc.smoothing = {1, 10.0, 10.0};
  Cursor(100);
  ASSERT_EQ(Paste(doc, observer), kErrNone);
  const Samples out = test::CurrentSamples(doc);
  // The ten frames after the cursor are consumed by the fade.
  ASSERT_EQ(out.size(), 200u + 50 - 10);
  for (int k = 0; k < 10; ++k) {
    const double w = std::sin(k * std::numbers::pi / 20);
    EXPECT_NEAR(out[100 + k], 1000 * w - 1000 * (1 - w), 1.0) << "frame " << k;
  }
  EXPECT_EQ(out[110], 1000);
  EXPECT_EQ(out[149], 1000);
  EXPECT_EQ(out[150], -1000);
}

TEST_F(ClipOperationsTest, DeleteSelectRemovesExactlyTheSelectedFramesAndLeavesACursor) {
  Select(100, 200);
  ASSERT_EQ(DeleteSelect(doc, observer), kErrNone);
  EXPECT_EQ(test::CurrentSamples(doc), Joined({Part(0, 100), Part(200, kFrames)}));
  EXPECT_EQ(Selection(), Range(100, 100));
  EXPECT_EQ(doc.View()->selected, 0);
  EXPECT_EQ(doc.history.UndoCodes(), std::vector<int32_t>{opcode::kDeleteSelect});
  EXPECT_EQ(observer.ended, 1);
}

TEST_F(ClipOperationsTest, TrimKeepsOnlyTheSelectionSelectedAtTheFullView) {
  Select(100, 300);
  ASSERT_EQ(Trim(doc, observer), kErrNone);
  EXPECT_EQ(test::CurrentSamples(doc), Part(100, 300));
  EXPECT_EQ(Selection(), Range(0, 200));
  EXPECT_EQ(ViewRange(), Range(0, 200));
  EXPECT_EQ(doc.View()->selected, 1);
}

TEST_F(ClipOperationsTest, UndoBringsBackTheEarlierSamplesAndRedoTheEditedOnes) {
  Select(100, 200);
  ASSERT_EQ(DeleteSelect(doc, observer), kErrNone);
  const Samples edited = test::CurrentSamples(doc);
  Undo(doc, observer, 1);
  EXPECT_EQ(test::CurrentSamples(doc), original);
  EXPECT_EQ(doc.Frames(), kFrames);
  EXPECT_EQ(Selection(), Range(100, 200));
  Redo(doc, observer, 1);
  EXPECT_EQ(test::CurrentSamples(doc), edited);
  EXPECT_EQ(doc.Frames(), kFrames - 100);
}

TEST_F(ClipOperationsTest, ACopyThatCannotBeWrittenKeepsTheEarlierClipboard) {
  Select(0, 50);
  ASSERT_EQ(Copy(doc, observer), kErrNone);
  const std::vector<uint8_t> earlier = test::ScratchDir::Contents(doc.ClipboardFile());
  const std::vector<std::string> folder = test::FolderListing(dir.Path());
  Select(100, 900);
  ErrorNumber error;
  {
    test::FileSizeLimit full(document::kPcmHeaderSize + 100 * kAlign);
    error = Copy(doc, observer);
  }
  EXPECT_EQ(error, kErrMemory);
  EXPECT_EQ(test::ScratchDir::Contents(doc.ClipboardFile()), earlier);
  EXPECT_EQ(test::FolderListing(dir.Path()), folder);
}

// The cut frames reach the clipboard only once the document without them is
// written: a cut whose write fails leaves both as they were.
TEST_F(ClipOperationsTest, ACutWhoseDocumentCannotBeWrittenKeepsTheEarlierClipboard) {
  Select(0, 50);
  ASSERT_EQ(Copy(doc, observer), kErrNone);
  const std::vector<uint8_t> earlier = test::ScratchDir::Contents(doc.ClipboardFile());
  Select(100, 200);
  ErrorNumber error;
  {
    // The 100 cut frames fit on the "disk", the 900 that remain do not.
    test::FileSizeLimit full(document::kPcmHeaderSize + 500 * kAlign);
    error = Cut(doc, observer);
  }
  ASSERT_EQ(error, kErrMemory);
  EXPECT_EQ(test::ScratchDir::Contents(doc.ClipboardFile()), earlier);
}

// ---- edits that do not happen ----

// What an edit that did not happen must leave exactly as it was.
struct DocumentState {
  std::string file;
  Samples samples;
  int64_t length;
  FramePositions positions;
  int16_t selected;
  std::vector<document::Marker> markers;
  int32_t depth;
  std::vector<int32_t> undoCodes;
  std::vector<std::string> folder;
  int32_t status;

  bool operator==(const DocumentState& o) const {
    return file == o.file && samples == o.samples && length == o.length &&
           positions.startSelect == o.positions.startSelect &&
           positions.endSelect == o.positions.endSelect &&
           positions.startView == o.positions.startView &&
           positions.endView == o.positions.endView && selected == o.selected &&
           markers == o.markers && depth == o.depth && undoCodes == o.undoCodes &&
           folder == o.folder && status == o.status;
  }
};

void PrintTo(const DocumentState& s, std::ostream* os) {
  *os << "{" << s.file << ", " << s.samples.size() << " samples, length " << s.length
      << ", selection " << s.positions.startSelect << "-" << s.positions.endSelect << " ("
      << s.selected << "), view " << s.positions.startView << "-" << s.positions.endView << ", "
      << s.markers.size() << " markers, depth " << s.depth << ", " << s.folder.size()
      << " files, status " << s.status << "}";
}

struct EditCase {
  const char* name;
  std::function<ErrorNumber(document::Document&, document::OperationObserver&)> edit;
  int64_t from, to;    // the selection; from == to places a cursor
  int64_t roomFrames;  // frames the "disk" holds beyond the header
};

void PrintTo(const EditCase& c, std::ostream* os) {
  *os << c.name;
}

class UnfinishedEditTest : public EditingTest, public ::testing::WithParamInterface<EditCase> {
 protected:
  void SetUp() override {
    Open(kFrames);
    InsertMarker(doc, observer, 150, 20, u"a", u"");
    InsertMarker(doc, observer, 600, 0, u"b", u"");
    // Something on the clipboard for Paste (Cut would put the same there).
    Select(100, 200);
    ASSERT_EQ(Copy(doc, observer), kErrNone);
    const EditCase& c = GetParam();
    if (c.from == c.to)
      Cursor(c.from);
    else
      Select(c.from, c.to);
    observer.Clear();
  }

  DocumentState State() const {
    return {doc.Current()->sampleFile,
            test::CurrentSamples(doc),
            doc.length,
            GetFramePositions(doc),
            doc.View()->selected,
            doc.Current()->markers,
            doc.history.Depth(),
            doc.history.UndoCodes(),
            test::FolderListing(dir.Path()),
            doc.Status()};
  }
};

const EditCase kEditCases[] = {
    // An insertion of 100 frames: the new version outgrows the old one.
    {"Paste", Paste, 500, 500, kFrames + 20},
    {"DeleteSelect", DeleteSelect, 100, 200, 500},
    {"Cut", Cut, 100, 200, 500},
    {"Trim", Trim, 100, 900, 250},
};

TEST_P(UnfinishedEditTest, AnEditWhoseWriteFailsIsAMemoryErrorAndChangesNothing) {
  const DocumentState before = State();
  ErrorNumber error;
  {
    test::FileSizeLimit full(document::kPcmHeaderSize + GetParam().roomFrames * kAlign);
    error = GetParam().edit(doc, observer);
  }
  EXPECT_EQ(error, kErrMemory);
  EXPECT_EQ(State(), before);
  EXPECT_GE(observer.ended, 1);
}

TEST_P(UnfinishedEditTest, AnEditCancelledAtItsFirstProgressReportChangesNothing) {
  const DocumentState before = State();
  observer.onProgress = [&](int32_t) { doc.SetStatus(status::kIdle); };  // the host's Stop
  EXPECT_EQ(GetParam().edit(doc, observer), kErrNone);
  EXPECT_FALSE(observer.progress.empty());
  EXPECT_EQ(State(), before);
}

INSTANTIATE_TEST_SUITE_P(Edits, UnfinishedEditTest, ::testing::ValuesIn(kEditCases),
                         [](const ::testing::TestParamInfo<EditCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace qel::editing
