// Sample-type conversion of a whole document: one undo step in the new format
// with the markers carried, nothing at all for a change of the mask alone, and
// the document as it was after a cancelled or failing conversion.
#include "processing/convert_sample_type.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/file_size_limit.h"
#include "support/recording_observer.h"
#include "support/sample_documents.h"
#include "support/scratch_dir.h"

namespace qel::processing {
namespace {

using document::DocumentFormat;
using test::Samples;

constexpr int64_t kFrames = 8000;  // one second: ten conversion blocks

class ConvertSampleTypeTest : public ::testing::Test {
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

  document::Marker& AddMarker(int64_t position, int64_t length) {
    document::AddMarker(*doc.Current(), doc.Frames(), position, length, u"", u"", u"");
    return doc.Current()->markers.back();
  }
};

TEST_F(ConvertSampleTypeTest, ARateChangeIsOneUndoStepInTheNewFormat) {
  ASSERT_EQ(ConvertSampleType(doc, observer, {16000, 1, 16, 0}), kErrNone);
  EXPECT_EQ(doc.history.Depth(), 2);
  EXPECT_EQ(doc.history.UndoCodes(), std::vector<int32_t>{opcode::kConvertSampleType});
  // The mask of the new format is the converter's (normalised for one channel).
  const DocumentFormat stored = test::ReadStore(doc.Current()->sampleFile).format;
  for (const DocumentFormat& f : {doc.format, stored}) {
    EXPECT_EQ(f.sampleRate, 16000);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.sampleSize, 16);
  }
  EXPECT_EQ(observer.ended, 1);
  EXPECT_TRUE(doc.Idle());
}

TEST_F(ConvertSampleTypeTest, ARateChangeScalesTheLengthByTheRateRatio) {
  ASSERT_EQ(ConvertSampleType(doc, observer, {16000, 1, 16, 0}), kErrNone);
  // The resampler may hold back or add a frame or two at the edges.
  EXPECT_LE(std::llabs(doc.Frames() - 2 * kFrames), 2);
  EXPECT_EQ(doc.length, doc.Current()->length);
}

TEST_F(ConvertSampleTypeTest, ARateChangeScalesMarkerPositionsAndLengths) {
  AddMarker(301, 100);
  ASSERT_EQ(ConvertSampleType(doc, observer, {16000, 1, 16, 0}), kErrNone);
  const document::Marker& m = doc.Current()->markers.at(0);
  EXPECT_EQ(m.position, 602);
  EXPECT_EQ(m.length, 200);
  EXPECT_EQ(observer.changedMarkers, std::vector<int32_t>{1});
}

TEST_F(ConvertSampleTypeTest, ASizeChangeKeepsEveryFrameAtItsPlace) {
  AddMarker(300, 100);
  ASSERT_EQ(ConvertSampleType(doc, observer, {8000, 1, 8, 0}), kErrNone);
  EXPECT_EQ(doc.Frames(), kFrames);
  const test::StoreContents stored = test::ReadStore(doc.Current()->sampleFile);
  ASSERT_EQ(stored.data.size(), static_cast<size_t>(kFrames));
  // 8-bit samples are unsigned around 128; without dither the top byte remains
  // (rounded or cut: one step either way).
  for (size_t i = 0; i < stored.data.size(); i += 997)
    EXPECT_NEAR(stored.data[i] - 128, original[i] / 256.0, 1.0) << "frame " << i;
  EXPECT_EQ(doc.Current()->markers.at(0).position, 300);
  EXPECT_EQ(doc.Current()->markers.at(0).length, 100);
}

// A sample-size change moves no audio in time, so markers stay where they are
// whatever was selected.
TEST_F(ConvertSampleTypeTest, ASizeChangeKeepsMarkersWhereTheyAreWhateverIsSelected) {
  AddMarker(3000, 0);
  test::SelectFrames(doc, 1000, 2000);
  ASSERT_EQ(ConvertSampleType(doc, observer, {8000, 1, 8, 0}), kErrNone);
  EXPECT_EQ(doc.Current()->markers.at(0).position, 3000);
  EXPECT_TRUE(observer.changedMarkers.empty());
}

// A rate the converter does not reach (above 4 000 000 Hz) fails its
// preparation, which changes nothing and is no error.
TEST_F(ConvertSampleTypeTest, AConversionTheConverterCannotPrepareIsNoError) {
  const std::vector<std::string> folder = test::FolderListing(dir.Path());
  EXPECT_EQ(ConvertSampleType(doc, observer, {5000000, 1, 16, 0}), kErrNone);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(test::FolderListing(dir.Path()), folder);
}

TEST_F(ConvertSampleTypeTest, AChangeOfTheMaskAloneDoesNothing) {
  const std::vector<std::string> folder = test::FolderListing(dir.Path());
  ASSERT_EQ(ConvertSampleType(doc, observer, {8000, 1, 16, 0x4}), kErrNone);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(doc.format, (DocumentFormat{8000, 1, 16, 0}));
  EXPECT_EQ(test::FolderListing(dir.Path()), folder);
  EXPECT_EQ(observer.ended, 0);
  EXPECT_TRUE(observer.progress.empty());
}

TEST_F(ConvertSampleTypeTest, ACancelledConversionLeavesTheDocumentAndFolderAsTheyWere) {
  const std::string file = doc.Current()->sampleFile;
  const std::vector<std::string> folder = test::FolderListing(dir.Path());
  int reports = 0;
  observer.onProgress = [&](int32_t) {
    if (++reports == 3) doc.SetStatus(status::kIdle);  // the host's Stop, mid-way
  };
  EXPECT_EQ(ConvertSampleType(doc, observer, {16000, 1, 16, 0}), kErrNone);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(doc.Current()->sampleFile, file);
  EXPECT_EQ(doc.format, (DocumentFormat{8000, 1, 16, 0}));
  EXPECT_EQ(test::FolderListing(dir.Path()), folder);
  EXPECT_EQ(observer.ended, 1);
}

TEST_F(ConvertSampleTypeTest, AConversionThatCannotBeWrittenIsAFileAccessErrorAndChangesNothing) {
  const std::string file = doc.Current()->sampleFile;
  const std::vector<std::string> folder = test::FolderListing(dir.Path());
  ErrorNumber error;
  {
    // The converted document needs 32 000 bytes; a third of them fit.
    test::FileSizeLimit full(10000);
    error = ConvertSampleType(doc, observer, {16000, 1, 16, 0});
  }
  EXPECT_EQ(error, kErrFileAccess);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_EQ(doc.Current()->sampleFile, file);
  EXPECT_EQ(doc.format, (DocumentFormat{8000, 1, 16, 0}));
  EXPECT_EQ(test::FolderListing(dir.Path()), folder);
  EXPECT_TRUE(doc.Idle());
}

}  // namespace
}  // namespace qel::processing
